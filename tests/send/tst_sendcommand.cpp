#include "SendFixture.h"
#include "support/CommandRun.h"

#include <QTemporaryDir>
#include <csignal>

using namespace SendFixture;

// tamberlyn send: its checks, its output, and Ctrl-C.
class TestSendCommand : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;
    QTemporaryDir outDir;
    std::unique_ptr<Outbox> outbox;
    qint32 id = 0;

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
        QVERIFY(makeListAndMessage(*home, QStringLiteral("Cmd"),
                                   numbered(QStringLiteral("c%1@command.test"), 1, 30, 2)));
        MailEvent options = plainOptions(QStringLiteral("Cmd"));
        options.bInsertTimeDelay = true;
        options.TimeDelay = 1;
        options.bSendInBlocks = true;
        options.bIfNotYetFlagged = true;
        QVERIFY(options.storeMEP());
        id = prepareMailing(*home, QStringLiteral("Cmd"), QStringLiteral("Cmd"), options.MailEventName);
        outbox = startOutbox(outDir.path() + QStringLiteral("/mail"));
        QVERIFY(outbox);
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                       QString::number(outbox->port()));
        home->stop();
        qputenv("TAMBERLYN_TENTH_MS", "1");
    }
    void cleanup() {
        outbox.reset();
        home.reset();
        QDir(outDir.path() + QStringLiteral("/mail")).removeRecursively();
    }

    // A headless run reads these from the settings file, with their defaults when the keys are missing.
    void sendingSettingsDefaults() {
        QVERIFY(home->start());
        QCOMPARE(appSettings().GroupMailBlockSize, 10);
        QVERIFY(appSettings().BracketOnFrom);
        home->stop();
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("GroupMailBlockSize"),
                       QStringLiteral("0"));
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("BracketOnFrom"),
                       QStringLiteral("False"));
        QVERIFY(home->start());
        QCOMPARE(appSettings().GroupMailBlockSize, 1);
        QVERIFY(!appSettings().BracketOnFrom);
        home->stop();
    }

    void refusesWhatCannotBeSent() {
        CommandRun run = runCommandLine({QStringLiteral("--home"), home->path(), QStringLiteral("send")});
        QCOMPARE(run.status, 2);
        run = runCommandLine(
            {QStringLiteral("--home"), home->path(), QStringLiteral("send"), QStringLiteral("99")});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral("There is no mailing number 99.\n"));
    }

    void sendsAndCountsOnce() {
        // The run needs the application's event loop, which the command line drives itself.
        CommandRun run = runCommandLine(
            {QStringLiteral("--home"), home->path(), QStringLiteral("send"), QString::number(id)});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains(QStringLiteral("[Ok]   To: c01@command.test\n")));
        QVERIFY(
            run.out.contains(QStringLiteral("Mailing Complete. Send QUIT to Server.\nMailing Statistics\n")));
        QVERIFY(run.out.contains(QStringLiteral("Total Passed:      30\n")));
        QCOMPARE(outbox->storedCount(), 30);

        // Sent before: --no answers the question; --quiet drops the per-recipient lines.
        run = runCommandLine({QStringLiteral("--home"), home->path(), QStringLiteral("--no"),
                              QStringLiteral("send"), QString::number(id)});
        QVERIFY2(run.status == 1, qPrintable(run.out + run.err));
        run = runCommandLine({QStringLiteral("--home"), home->path(), QStringLiteral("--yes"),
                              QStringLiteral("send"), QString::number(id), QStringLiteral("--quiet")});
        QCOMPARE(run.status, 1); // every recipient is marked: nothing to send
        QVERIFY(
            QString(run.out + run.err).contains(QStringLiteral("This List contains no email addresses.")));
        QVERIFY(!run.out.contains(QStringLiteral("To: c01")));
        QCOMPARE(outbox->storedCount(), 30);
    }

    void interruptStopsTheRun() {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAMBERLYN_TENTH_MS"), QStringLiteral("50"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                      {QStringLiteral("--home"), home->path(), QStringLiteral("send"), QString::number(id)});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(outbox->storedCount() >= 3, 20000);
        ::kill(pid_t(program.processId()), SIGINT);
        QDeadlineTimer deadline(20000);
        while (program.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(10);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("***** MAILING ABORTED *****")), qPrintable(out));
        QVERIFY(outbox->storedCount() < 30);
        const QByteArray log = readFileBytes(home->file(QStringLiteral("sendlog.log")));
        QVERIFY(log.contains("Mailing Aborted...Sending Quit\r\n*****"));
        QCOMPARE(markedCount(QStringLiteral("Cmd")), outbox->storedCount());
    }
};

QTEST_GUILESS_MAIN(TestSendCommand)
#include "tst_sendcommand.moc"
