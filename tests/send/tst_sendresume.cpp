#include "SendFixture.h"

#include <QTemporaryDir>

using namespace SendFixture;

// Killed twice while sending 1,000 recipients in blocks, then run to the end: each has the message,
// and only one in flight at a kill may have come twice.
class TestSendResume : public QObject {
    Q_OBJECT

    static constexpr int Recipients = 1000;

private Q_SLOTS:
    void killedRunResumesWhereItStopped() {
        TestHome home;
        QVERIFY(home.start());
        const QStringList addresses = numbered(QStringLiteral("r%1@resume.test"), 0, Recipients, 4);
        QVERIFY(makeListAndMessage(home, QStringLiteral("Many"), addresses));
        MailEvent options = plainOptions(QStringLiteral("Blocks"));
        options.bSendInBlocks = true;
        options.SendBlockSize = 400;
        options.bIfNotYetFlagged = true;
        options.bInsertTimeDelay = true;
        options.TimeDelay = 1;
        QVERIFY(options.storeMEP());
        const qint32 id =
            prepareMailing(home, QStringLiteral("Many"), QStringLiteral("Many"), options.MailEventName);
        QVERIFY(id > 0);

        QTemporaryDir outDir;
        std::unique_ptr<Outbox> outbox;
        // Slow replies while killing, so that a kill may catch a stored but unmarked message.
        const auto restartOutbox = [&](int replyDelayMs) {
            OutboxOptions outboxOptions;
            outboxOptions.replyDelayMs = replyDelayMs;
            outbox.reset();
            outbox = startOutbox(outDir.path(), outboxOptions);
            if (outbox)
                AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                               QString::number(outbox->port()));
            return outbox != nullptr;
        };
        QVERIFY(restartOutbox(2));
        home.stop(); // the program run below takes the folder's lock

        const auto runProgram = [&](int killAfterStored) {
            QProcess program;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("TAMBERLYN_TENTH_MS"), QStringLiteral("1"));
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                          {QStringLiteral("--home"), home.path(), QStringLiteral("--yes"),
                           QStringLiteral("send"), QString::number(id), QStringLiteral("--quiet")});
            if (!program.waitForStarted())
                return -2;
            const int storedBefore = outbox->storedCount();
            QDeadlineTimer deadline(120000);
            while (program.state() != QProcess::NotRunning && !deadline.hasExpired()) {
                QTest::qWait(1);
                if (killAfterStored > 0 && outbox->storedCount() - storedBefore >= killAfterStored) {
                    program.kill();
                    program.waitForFinished();
                    return -1;
                }
            }
            return program.exitCode();
        };

        QCOMPARE(runProgram(150), -1);
        QCOMPARE(runProgram(100), -1);
        QVERIFY(restartOutbox(0));
        int runs = 0;
        while (markedCount(QStringLiteral("Many")) < Recipients && runs++ < 6)
            QCOMPARE(runProgram(0), 0);
        QCOMPARE(markedCount(QStringLiteral("Many")), Recipients);

        QMap<QString, int> received;
        for (const QString& envelope : filesIn(outDir.path(), QStringLiteral(".env"))) {
            for (const QString& address : recipientsOf(envelope))
                ++received[address.toLower()];
        }
        int twice = 0;
        for (const QString& address : addresses) {
            QVERIFY2(received.value(address) >= 1, qPrintable(address + QStringLiteral(" was skipped")));
            QVERIFY2(received.value(address) <= 2, qPrintable(address + QStringLiteral(" came three times")));
            twice += received.value(address) == 2 ? 1 : 0;
        }
        QCOMPARE(received.size(), Recipients);
        qInfo() << "recipients that got the message twice:" << twice;
        QVERIFY2(twice <= 2, qPrintable(QString::number(twice) + QStringLiteral(" recipients got it twice")));
    }
};

QTEST_GUILESS_MAIN(TestSendResume)
#include "tst_sendresume.moc"
