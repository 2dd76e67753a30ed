#include "core/TerminalProgress.h"

#include <QTest>

namespace {

const QString Erase = QStringLiteral("\r\x1b[K");

// A progress line on a string, with a clock the test sets.
struct Screen {
    QString text;
    QTextStream stream{&text};
    qint64 clockMs = 0;
    TerminalProgress progress;

    explicit Screen(bool shown, TerminalProgress::Measure measure = TerminalProgress::Measure::Items)
        : progress(stream, shown, QStringLiteral("recipients"), measure, [this] { return clockMs; }) {}
    QString take() {
        stream.flush();
        return std::exchange(text, QString());
    }
};

} // namespace

class TestTerminalProgress : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lineText_data() {
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<bool>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("a quarter in ten seconds")
            << qint64(500) << qint64(2000) << qint64(10000) << false
            << "500 / 2000 recipients (25%), 50 recipients/s, 0:10 elapsed, 0:30 left";
        QTest::newRow("nothing done yet: no rate, no time left")
            << qint64(0) << qint64(10) << qint64(0) << false << "0 / 10 recipients (0%), 0:00 elapsed";
        QTest::newRow("unknown total: no share, no time left")
            << qint64(1200) << qint64(-1) << qint64(10000) << false
            << "1200 recipients, 120 recipients/s, 0:10 elapsed";
        QTest::newRow("slow: a decimal in the rate, minutes left")
            << qint64(3) << qint64(10003) << qint64(1000) << false
            << "3 / 10003 recipients (0%), 3.0 recipients/s, 0:01 elapsed, 55:33 left";
        QTest::newRow("over an hour elapsed")
            << qint64(7200) << qint64(14400) << qint64(7200000) << false
            << "7200 / 14400 recipients (50%), 1.0 recipients/s, 2:00:00 elapsed, 2:00:00 left";
        QTest::newRow("done: no time left") << qint64(10) << qint64(10) << qint64(2000) << false
                                            << "10 / 10 recipients (100%), 5.0 recipients/s, 0:02 elapsed";
        QTest::newRow("bytes in megabytes") << qint64(50000000) << qint64(200000000) << qint64(5000) << true
                                            << "50.0 / 200.0 MB (25%), 10 MB/s, 0:05 elapsed, 0:15 left";
    }

    void lineText() {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(qint64, elapsedMs);
        QFETCH(bool, bytes);
        QFETCH(QString, expected);
        QCOMPARE(TerminalProgress::lineText(done, total, elapsedMs, QStringLiteral("recipients"),
                                            bytes ? TerminalProgress::Measure::Bytes
                                                  : TerminalProgress::Measure::Items),
                 expected);
    }

    void aLineTooLongForATerminalIsCut() {
        const QString text = TerminalProgress::lineText(123456789, 987654321, 3600000,
                                                        QStringLiteral("records copied from the source"),
                                                        TerminalProgress::Measure::Items);
        QCOMPARE(text.size(), 79);
    }

    void redrawsInPlaceAtMostTenTimesASecond() {
        Screen screen(true);
        screen.progress.update(1, 100);
        QCOMPARE(screen.take(), Erase + "1 / 100 recipients (1%), 0:00 elapsed");
        screen.clockMs = 50;
        screen.progress.update(2, 100);
        screen.clockMs = 99;
        screen.progress.update(3, 100);
        QCOMPARE(screen.take(), QString());
        screen.clockMs = 100;
        screen.progress.update(4, 100);
        QCOMPARE(screen.take(), Erase + "4 / 100 recipients (4%), 40 recipients/s, 0:00 elapsed, 0:02 left");
        // The end shows the last figures even inside the interval, and ends the line.
        screen.clockMs = 120;
        screen.progress.update(100, 100);
        screen.progress.finish();
        QCOMPARE(screen.take(), Erase + "100 / 100 recipients (100%), 833 recipients/s, 0:00 elapsed\n");
        screen.progress.finish();
        QCOMPARE(screen.take(), QString());
    }

    void linesOfTheirOwnGoAboveTheProgressLine() {
        Screen screen(true);
        screen.progress.print(QStringLiteral("Ready for Send"));
        QCOMPARE(screen.take(), QStringLiteral("Ready for Send\n"));
        screen.clockMs = 1000;
        screen.progress.update(10, 40);
        screen.take();
        screen.clockMs = 1010;
        screen.progress.print(QStringLiteral("Hourly limit of 10 reached; sending resumes at 14:00."));
        QCOMPARE(screen.take(), Erase + "Hourly limit of 10 reached; sending resumes at 14:00.\n" + Erase +
                                    "10 / 40 recipients (25%), 9.9 recipients/s, 0:01 elapsed, 0:03 left");
        // A message of the prompter starts on a clean line; the next figures bring the line back at once.
        screen.progress.clear();
        QCOMPARE(screen.take(), Erase);
        screen.progress.update(11, 40);
        QVERIFY(screen.take().startsWith(Erase + "11 / 40"));
    }

    void notShownItWritesOnlyTheLinesOfTheirOwn() {
        Screen screen(false);
        screen.progress.update(1, 10);
        screen.progress.print(QStringLiteral("Pausing"));
        screen.progress.clear();
        screen.clockMs = 500;
        screen.progress.update(10, 10);
        screen.progress.finish();
        QCOMPARE(screen.take(), QStringLiteral("Pausing\n"));
    }

    void aCommandLeavingEarlyEndsTheLine() {
        QString text;
        {
            QTextStream stream(&text);
            TerminalProgress progress(stream, true, QStringLiteral("messages"),
                                      TerminalProgress::Measure::Items, [] { return qint64(0); });
            progress.update(3, 9);
        }
        QVERIFY(text.endsWith(QStringLiteral("0:00 elapsed\n")));
    }
};

QTEST_GUILESS_MAIN(TestTerminalProgress)
#include "tst_terminalprogress.moc"
