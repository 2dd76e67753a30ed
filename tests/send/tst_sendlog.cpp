#include "send/DateStamp.h"
#include "send/SendLog.h"
#include "support/TestHome.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

// The send log's file handling and figures, and the date texts of a run.
class TestSendLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsAfreshAboveTheLimit() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sendlog.log"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(SendLog::RestartSize + 1, 'x'));
        }
        SendLog log;
        QVERIFY(log.open(path));
        log.writeLine(QStringLiteral("first\r\n"));
        log.writeLine(QStringLiteral("second\n\n"));
        log.flush();
        QCOMPARE(readFileBytes(path), QByteArray("first\r\nsecond\n\r\n"));

        // Also while open: the line after the one that passed the limit starts a new file.
        log.writeLine(QString(SendLog::RestartSize, u'y'));
        log.writeLine(QStringLiteral("after"));
        log.close();
        QCOMPARE(readFileBytes(path), QByteArray("after\r\n"));
    }

    void figuresOfTheEndBlock() {
        SendLogTotals totals;
        totals.start = QDateTime(QDate(2026, 3, 1), QTime(23, 59, 50));
        totals.end = totals.start; // a run within the same second
        totals.taken = 4;
        totals.passed = 3;
        totals.failed = 1;
        totals.messageSize = 1000;
        QCOMPARE(totals.messagesPerSecond(), QStringLiteral("0"));
        QCOMPARE(totals.statisticsLines(),
                 QStringList({"Mailing Statistics", "Total Time:        0 Seconds", "Total Sent:        4",
                              "Total Passed:      3", "Total Failed:      1", "Message Size:      1000 bytes",
                              "Messages / Sec:    0 (Approx)", "bytes / Sec:       0 (Approx)"}));
        // Across midnight the true duration counts.
        totals.end = QDateTime(QDate(2026, 3, 2), QTime(0, 0, 20));
        QCOMPARE(totals.totalSeconds(), 30);
        totals.taken = 10;
        QCOMPARE(totals.messagesPerSecond(), QStringLiteral("0.33333334"));
        QCOMPARE(totals.bytesPerSecond(), QStringLiteral("333.33334"));
    }

    void datesInEnglishWithTheRealOffset() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QDateTime kolkata(QDate(2026, 12, 6), QTime(14, 5, 9), QTimeZone("Asia/Kolkata"));
        QCOMPARE(DateStamp::zoneText(kolkata.toTimeZone(QTimeZone("Asia/Kolkata"))), QStringLiteral("+0530"));
        QCOMPARE(DateStamp::zoneText(QDateTime(QDate(2026, 1, 1), QTime(23, 0), QTimeZone(-8 * 3600))),
                 QStringLiteral("-0800"));
        qputenv("TZ", "America/Los_Angeles");
        const QDateTime late(QDate(2026, 7, 4), QTime(23, 30), Qt::LocalTime); // UTC is the next day
        QCOMPARE(DateStamp::dateHeaderText(late), QStringLiteral("Sat, 04 Jul 2026  23:30:00 -0700"));
        QCOMPARE(DateStamp::startText(late), QStringLiteral("Jul 04 2026  11:30 PM"));
        qunsetenv("TZ");
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_GUILESS_MAIN(TestSendLog)
#include "tst_sendlog.moc"
