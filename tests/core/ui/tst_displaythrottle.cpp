#include "core/ui/DisplayThrottle.h"

#include <QObject>
#include <QStringList>
#include <QtTest>

// Progress displays: the first update shows at once, a burst shows only its last value of each display,
// and nothing is lost at the end.
class tst_DisplayThrottle : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void burstShowsFirstAndLastOfEachDisplay() {
        QObject owner;
        DisplayThrottle throttle(&owner, 40);
        QStringList shown;
        for (int i = 1; i <= 100; ++i) {
            throttle.post(0, [&shown, i] { shown << QStringLiteral("count %1").arg(i); });
            throttle.post(1, [&shown, i] { shown << QStringLiteral("bar %1").arg(i); });
        }
        QCOMPARE(shown, QStringList{QStringLiteral("count 1")});
        QTRY_COMPARE(shown, (QStringList{QStringLiteral("count 1"), QStringLiteral("count 100"),
                                         QStringLiteral("bar 100")}));
    }

    void quietDisplayShowsAtOnceAndFlushEmpties() {
        QObject owner;
        DisplayThrottle throttle(&owner, 30);
        int value = 0;
        throttle.post(0, [&value] { value = 1; });
        QCOMPARE(value, 1);
        throttle.post(0, [&value] { value = 2; });
        QCOMPARE(value, 1);
        throttle.flush();
        QCOMPARE(value, 2);
        QTest::qWait(60);
        throttle.post(0, [&value] { value = 3; });
        QCOMPARE(value, 3);
        // Nothing waits after a flush: a late timer shows nothing twice.
        int calls = 0;
        throttle.post(0, [&calls] { ++calls; });
        throttle.flush();
        QTest::qWait(60);
        QCOMPARE(calls, 1);
    }
};

QTEST_GUILESS_MAIN(tst_DisplayThrottle)
#include "tst_displaythrottle.moc"
