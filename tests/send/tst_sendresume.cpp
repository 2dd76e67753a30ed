#include "SendFixture.h"
#include "send/Outbox.h"

#include <QTemporaryDir>

using namespace SendFixture;

// A run killed in the middle resumes exactly: the program is killed (SIGKILL) while it sends a
// 1,000-recipient mailing in blocks with not-yet-flagged on, and run again until every recipient is
// marked. Every recipient then has the message, and only the message in flight at a kill may have
// arrived twice.
class TestSendResume : public QObject {
    Q_OBJECT

    static constexpr int Recipients = 1000;

private Q_SLOTS:
    void killedRunResumesWhereItStopped() {
        TestHome home;
        QVERIFY(home.start());
        QStringList addresses;
        for (int i = 0; i < Recipients; ++i)
            addresses << QStringLiteral("r%1@resume.test").arg(i, 4, 10, QChar(u'0'));
        QVERIFY(makeList(home, QStringLiteral("Many"), people(addresses)));
        MessageRecord message = plainMessage(QStringLiteral("Resume"));
        message.AddressType = 1; // one message per recipient
        QVERIFY(makeMessage(message));
        MailEvent options = plainOptions(QStringLiteral("Blocks"));
        options.bSendInBlocks = true;
        options.SendBlockSize = 400;
        options.bIfNotYetFlagged = true;
        options.bInsertTimeDelay = true;
        options.TimeDelay = 1;
        QVERIFY(options.storeMEP());
        QVERIFY(mdlTamberlynGroupOptions::CreateTamberlynGroup(home.prompter, QStringLiteral("Tests"), {}));
        const qint32 id = Mailings::PrepareMailing(QStringLiteral("Tests"), QStringLiteral("Many"),
                                                   QStringLiteral("Resume"), options.MailEventName);
        QVERIFY(id > 0);

        QTemporaryDir outDir;
        auto outbox = std::make_unique<Outbox>();
        // While the runs are killed, slow replies leave a stored message unanswered for a moment, so that
        // a kill may catch one in flight: stored by the server, not yet marked by the program.
        const auto startOutbox = [&](int replyDelayMs) {
            outbox = std::make_unique<Outbox>();
            OutboxOptions outboxOptions;
            outboxOptions.directory = outDir.path(); // the numbering goes on after the files there
            outboxOptions.replyDelayMs = replyDelayMs;
            if (!outbox->start(outboxOptions))
                return false;
            AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                           QString::number(outbox->port()));
            return true;
        };
        QVERIFY(startOutbox(2));
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
        QVERIFY(startOutbox(0));
        int runs = 0;
        while (markedCount(QStringLiteral("Many")) < Recipients && runs++ < 6)
            QCOMPARE(runProgram(0), 0);
        QCOMPARE(markedCount(QStringLiteral("Many")), Recipients);

        QMap<QString, int> received;
        for (const QString& envelope : filesIn(outDir.path(), QStringLiteral(".env"))) {
            for (const QString& line : QString::fromUtf8(readFileBytes(envelope)).split(u'\n')) {
                if (line.startsWith(QStringLiteral("RCPT TO:<")))
                    ++received[line.trimmed().mid(9).chopped(1).toLower()];
            }
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
