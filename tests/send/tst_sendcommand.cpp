#include "SendFixture.h"
#include "db/CentralDatabase.h"
#include "support/CommandRun.h"
#include "support/TerminalRun.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
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
        QVERIFY(!appSettings().SMTPAllowInsecureAuth);
        home->stop();
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("GroupMailBlockSize"),
                       QStringLiteral("0"));
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("BracketOnFrom"),
                       QStringLiteral("False"));
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPAllowInsecureAuth"),
                       QStringLiteral("True"));
        QVERIFY(home->start());
        QCOMPARE(appSettings().GroupMailBlockSize, 1);
        QVERIFY(!appSettings().BracketOnFrom);
        QVERIFY(appSettings().SMTPAllowInsecureAuth);
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

    // An unreadable central database ends the command with start-up's verification message, not with
    // a mailing that seems not to exist.
    void unreadableCentralDatabaseFails() {
        QVERIFY(home->start());
        const QString central = CentralDatabase::path();
        home->stop();
        QFile file(central);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray noise(8192, '\0');
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char(QRandomGenerator::global()->bounded(256));
        file.write(noise);
        file.close();
        const CommandRun run = runCommandLine(
            {QStringLiteral("--home"), home->path(), QStringLiteral("send"), QString::number(id)});
        QCOMPARE(run.status, 1);
        const QString printed = run.out + run.err;
        QVERIFY2(printed.contains(QStringLiteral(" in TBFVerify\n")), qPrintable(printed));
        QVERIFY(!run.err.contains(QStringLiteral("There is no mailing number")));
        QCOMPARE(outbox->storedCount(), 0);
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

    // On a terminal one line counts the recipients in place of a line each; the run's own lines stand
    // above it. --verbose keeps the lines of a file.
    void aTerminalShowsOneProgressLine() {
        TerminalRun run = runOnTerminal(
            {QStringLiteral("--home"), home->path(), QStringLiteral("send"), QString::number(id)});
        QCOMPARE(run.status, 0);
        QCOMPARE(outbox->storedCount(), 30);
        const QString out = QString::fromUtf8(run.output);
        QVERIFY2(!out.contains(QStringLiteral("To: c01")), qPrintable(out));
        // The line ends with the run's last figures, and the end of the run starts on a line of its own.
        QVERIFY2(
            out.contains(QRegularExpression(QStringLiteral("\r\x1b\\[K30 / 30 recipients \\(100%\\)[^\r\n]* "
                                                           "elapsed\nMailing Complete. Send QUIT to "
                                                           "Server.\nMailing Statistics\n"))),
            qPrintable(out));
        QVERIFY(out.contains(QStringLiteral("Total Passed:      30\n")));

        QVERIFY(db::Database::open(listPath(QStringLiteral("Cmd")), db::Database::OpenMode::ReadWrite)
                    .exec(QStringLiteral("UPDATE AddressList SET Sent = NULL")));
        run = runOnTerminal({QStringLiteral("--home"), home->path(), QStringLiteral("--yes"),
                             QStringLiteral("send"), QString::number(id), QStringLiteral("--verbose")});
        QCOMPARE(run.status, 0);
        QVERIFY(!run.output.contains('\r'));
        QVERIFY(run.output.contains("[Ok]   To: c01@command.test\n"));
    }

    // CSV rows whose address holds CR LF and a command: the list imported by the import command is sent
    // by the send command, every clean row is served, and no command the server reads comes from inside
    // an address.
    void importedAddressesWithLineBreaksNeverReachTheServer() {
        QTemporaryDir csvDir;
        const QString csv = csvDir.filePath(QStringLiteral("people.csv"));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Email,Name\r\nann@example.test,Ann\r\n\"m@b.invalid\r\nDATA\",Mallory\r\n"
                   "bob@example.test,Bob\r\n\"x@b.invalid\r\nRCPT TO:<victim@example.test>\",Eve\r\n"
                   "cy@example.test,Cy\r\n");
        file.close();
        const CommandRun import = runCommandLine(
            {QStringLiteral("--home"), home->path(), QStringLiteral("import"), QStringLiteral("--type"),
             QStringLiteral("DBTEXTFILE"), QStringLiteral("--file"), csv, QStringLiteral("--email"),
             QStringLiteral("Email"), QStringLiteral("--name"), QStringLiteral("Imported")});
        QVERIFY2(import.status == 0, qPrintable(import.out + import.err));
        QVERIFY(home->start());
        QVERIFY(makeMessage(plainMessage(QStringLiteral("Imported"))));
        const MailEvent options = plainOptions(QStringLiteral("Imported"));
        QVERIFY(options.storeMEP());
        const qint32 mailing = prepareMailing(*home, QStringLiteral("Imported"), QStringLiteral("Imported"),
                                              options.MailEventName);
        QVERIFY(mailing > 0);
        home->stop();
        QByteArray received;
        connect(outbox.get(), &Outbox::bytesReceived, this,
                [&](const QByteArray& bytes) { received += bytes; });
        const CommandRun run = runCommandLine(
            {QStringLiteral("--home"), home->path(), QStringLiteral("send"), QString::number(mailing)});
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        const Transcript wire = transcriptOf(received);
        QVERIFY(!wire.bareLineBreak);
        QVERIFY2(onlyKnownCommands(wire), wire.commands.join('|').constData());
        QCOMPARE(wire.startingWith("RCPT"),
                 (QList<QByteArray>{"RCPT TO:<ann@example.test>", "RCPT TO:<bob@example.test>",
                                    "RCPT TO:<cy@example.test>"}));
        QCOMPARE(outbox->storedCount(), 1);
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

    // Ctrl-C while the server keeps a reply back ends the run within a second or so, with the abort in
    // the output and the log's end block; a second Ctrl-C ends the process at once.
    void interruptEndsARunWaitingForTheServer_data() {
        QTest::addColumn<int>("interrupts");
        QTest::newRow("once") << 1;
        QTest::newRow("twice") << 2;
    }
    void interruptEndsARunWaitingForTheServer() {
        QFETCH(int, interrupts);
        OutboxOptions silent;
        silent.silentAfterMessages = 2;
        outbox = startOutbox(outDir.path() + QStringLiteral("/mail"), silent);
        QVERIFY(outbox);
        QVERIFY(home->start());
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                       QString::number(outbox->port()));
        home->stop();
        QProcess program;
        program.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                      {QStringLiteral("--home"), home->path(), QStringLiteral("send"), QString::number(id)});
        QVERIFY(program.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(outbox->storedCount(), 2, 20000);
        QTest::qWait(300); // the third message's end of data is waiting for its reply
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(program.processId()), SIGINT);
        if (interrupts == 2) {
            QTest::qWait(100);
            ::kill(pid_t(program.processId()), SIGINT);
        }
        QVERIFY(program.waitForFinished(20000));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        if (interrupts == 2) {
            QCOMPARE(program.exitCode(), 128 + SIGINT);
            return;
        }
        QCOMPARE(program.exitCode(), 1);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("Stopping\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("***** MAILING ABORTED *****")), qPrintable(out));
        const QByteArray log = readFileBytes(home->file(QStringLiteral("sendlog.log")));
        QVERIFY(log.contains("Mailing Aborted...Sending Quit\r\n*****"));
        QVERIFY(log.contains("*** MAILING ENDS HERE "));
        QCOMPARE(markedCount(QStringLiteral("Cmd")), 2);
    }
};

QTEST_GUILESS_MAIN(TestSendCommand)
#include "tst_sendcommand.moc"
