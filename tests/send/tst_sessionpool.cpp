#include "SendFixture.h"
#include "db/CentralDatabase.h"
#include "mailings/Schedules.h"
#include "send/SendLedger.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace SendFixture;

// Runs over several SMTP sessions at once against the local outbox: every recipient once, marks only
// after acceptance, faults of one session, pacing, blocks and the hourly and daily limits.
class TestSessionPool : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;
    std::unique_ptr<Outbox> outbox;
    QTemporaryDir outDir;

    void startOutbox(OutboxOptions options = {}) {
        outbox = SendFixture::startOutbox(outDir.path() + QStringLiteral("/mail"), options);
        QVERIFY(outbox);
        appSettings().SMTPPort = outbox->port();
    }

    // Options for count recipients r000@pool.test... of a per-recipient message, all called name.
    MailEvent prepare(const QString& name, int count, int connections) {
        MailEvent options = plainOptions(name);
        options.Connections = connections;
        if (!makeListAndMessage(*home, name, numbered(QStringLiteral("r%1@pool.test"), 0, count, 3)))
            return {};
        return options;
    }

    // How often each recipient is in the outbox's envelopes.
    QMap<QString, int> received() const {
        QMap<QString, int> counts;
        for (const QString& envelope : filesIn(outbox->directory(), QStringLiteral(".env")))
            for (const QString& address : recipientsOf(envelope))
                ++counts[address.toLower()];
        return counts;
    }

    QString sendLog() const { return QString::fromUtf8(readFileBytes(appFolders().sendLog())); }

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
    }
    void cleanup() {
        Schedules::setClock({});
        outbox.reset();
        home.reset();
        QDir(outDir.path() + QStringLiteral("/mail")).removeRecursively();
    }

    void everyRecipientOnceOverSeveralSessions_data() {
        QTest::addColumn<bool>("personal");
        QTest::newRow("per recipient") << true;
        QTest::newRow("batches of 3") << false;
    }
    void everyRecipientOnceOverSeveralSessions() {
        QFETCH(bool, personal);
        OutboxOptions slow;
        slow.replyDelayMs = 3;
        startOutbox(slow);
        MailEvent options = prepare(QStringLiteral("Pool"), 40, 4);
        // Each personal copy names its own recipient, however the sessions interleave.
        MessageRecord message =
            plainMessage(QStringLiteral("Pool"),
                         personal ? QStringLiteral("For <<EAddress>>.\r\n") : QStringLiteral("For all.\r\n"));
        message.AddressType = personal ? 1 : 0;
        QVERIFY(makeMessage(message));
        if (!personal)
            appSettings().GroupMailBlockSize = 3;
        Run run(*home, options, QStringLiteral("Pool"), QStringLiteral("Pool"));
        int mostOpen = 0;
        connect(run.socket.get(), &SMTPSocket::OpenSessionsChanged, this,
                [&](int open) { mostOpen = qMax(mostOpen, open); });
        QVERIFY(run.runToEnd());
        QVERIFY(run.completed);
        QCOMPARE(run.socket->perRecipientMode(), personal);
        QCOMPARE(mostOpen, 4);
        QCOMPARE(run.socket->passedCount(), 40);
        QCOMPARE(markedCount(QStringLiteral("Pool")), 40);
        const QMap<QString, int> counts = received();
        QCOMPARE(counts.size(), 40);
        QVERIFY(std::all_of(counts.cbegin(), counts.cend(), [](int n) { return n == 1; }));
        if (personal) {
            for (const QString& envelope : filesIn(outbox->directory(), QStringLiteral(".env"))) {
                const QByteArray text = readFileBytes(envelope.chopped(4) + QStringLiteral(".eml"));
                QVERIFY(text.contains(QByteArray("For " + recipientsOf(envelope).value(0).toLatin1() + ".")));
            }
        }
        // One end block, and the sessions beyond the first named in their lines.
        const QString log = sendLog();
        QCOMPARE(log.count(QStringLiteral("Mailing Complete...Sending QUIT")), 1);
        for (const char* prefix : {"\r\n[2] C: EHLO", "\r\n[2] C: MAIL FROM", "\r\n[3] S: 250"})
            QVERIFY2(log.contains(QLatin1StringView(prefix)), prefix);
        QVERIFY(!log.contains(QStringLiteral("[1] ")));
    }

    // One session's fault leaves its message unmarked for another; the run completes on the others.
    void faultOfOneSessionLosesNobody_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("dropped") << "drop";
        QTest::newRow("silent") << "silent";
        QTest::newRow("421") << "close";
    }
    void faultOfOneSessionLosesNobody() {
        QFETCH(QString, fault);
        OutboxOptions faulty;
        faulty.replyDelayMs = 2;
        (fault == "drop"     ? faulty.dropAfterMessages
         : fault == "silent" ? faulty.silentAfterMessages
                             : faulty.closeAfterMessages) = 10;
        startOutbox(faulty);
        MailEvent options = prepare(QStringLiteral("Faults"), 40, 4);
        QVERIFY(options.storeMEP());
        Run run(*home, options, QStringLiteral("Faults"), QStringLiteral("Faults"));
        run.socket->setReopenDelayMs(20);
        run.socket->setTimeoutUnitMs(20);
        QVERIFY(run.runToEnd());
        QVERIFY(run.completed);
        QCOMPARE(run.socket->passedCount(), 40);
        QVERIFY(home->prompter.shown().isEmpty());
        const QMap<QString, QString> sent = marks(QStringLiteral("Faults"));
        const QMap<QString, int> counts = received();
        for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
            QCOMPARE(it.value(), QStringLiteral("SENT"));
            QVERIFY2(counts.value(it.key()) >= 1, qPrintable(it.key()));
        }
        // Only a message the server stored before its session failed may have come twice.
        int twice = 0;
        for (int n : counts)
            twice += n - 1;
        QVERIFY(twice <= 1);
        QVERIFY(sendLog().contains(QStringLiteral("Session lost; opening it again.")));
    }

    // When every session has failed twice, the run ends with the one session's texts.
    void everySessionFailingEndsTheRun_data() {
        QTest::addColumn<bool>("silent");
        QTest::newRow("refused") << false;
        QTest::newRow("silent") << true;
    }
    void everySessionFailingEndsTheRun() {
        QFETCH(bool, silent);
        QTcpServer server;
        QList<QTcpSocket*> accepted;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this,
                [&] { accepted << server.nextPendingConnection(); });
        appSettings().SMTPPort = server.serverPort();
        if (!silent)
            server.close(); // nothing listens on the port
        MailEvent options = prepare(QStringLiteral("Down"), 5, 3);
        Run run(*home, options, QStringLiteral("Down"), QStringLiteral("Down"));
        run.socket->setReopenDelayMs(10);
        run.socket->setTimeoutUnitMs(10);
        QVERIFY(run.runToEnd());
        QVERIFY(!run.completed);
        QCOMPARE(markedCount(QStringLiteral("Down")), 0);
        QVERIFY(run.lines.contains(QStringLiteral("***** MAILING ABORTED *****")));
        if (silent) {
            QCOMPARE(lastShown(*home),
                     QStringLiteral("No response from Mail Server|") + SMTPSocket::timeoutText());
            QCOMPARE(run.lines.last(), QStringLiteral("Server timed out."));
            QCOMPARE(accepted.size(), 6); // three sessions, each opened twice
        } else {
            QVERIFY(run.lines.last().startsWith(QStringLiteral("Reason: ")));
        }
        QCOMPARE(sendLog().count(QStringLiteral("Mailing Aborted...Sending Quit")), 1);
    }

    // A pause lets every session finish its message and quit; resume opens them all again, stop ends the
    // run once.
    void pauseQuitsEverySessionThenResumeOrStop_data() {
        QTest::addColumn<bool>("resume");
        QTest::newRow("resume") << true;
        QTest::newRow("stop") << false;
    }
    void pauseQuitsEverySessionThenResumeOrStop() {
        QFETCH(bool, resume);
        OutboxOptions slow;
        slow.replyDelayMs = 5;
        startOutbox(slow);
        MailEvent options = prepare(QStringLiteral("Paused"), 40, 4);
        Run run(*home, options, QStringLiteral("Paused"), QStringLiteral("Paused"));
        QStringList progress;
        connect(run.socket.get(), &SMTPSocket::Progress, this,
                [&](const QString& text) { progress << text; });
        QVERIFY(run.start());
        QVERIFY(QTest::qWaitFor([&] { return outbox->storedCount() >= 8; }, 20000));
        run.socket->pause();
        QVERIFY(QTest::qWaitFor([&] { return run.socket->openSessions() == 0; }, 20000));
        const int stored = outbox->storedCount();
        QTest::qWait(200);
        QCOMPARE(outbox->storedCount(), stored);
        QCOMPARE(markedCount(QStringLiteral("Paused")), stored);
        QCOMPARE(progress.count(QStringLiteral("Pausing")), 1);
        if (resume) {
            run.socket->resume();
            QVERIFY(run.waitForEnd());
            QVERIFY(run.completed);
            QCOMPARE(markedCount(QStringLiteral("Paused")), 40);
            QCOMPARE(received().size(), 40);
            QCOMPARE(outbox->storedCount(), 40);
        } else {
            run.socket->stop();
            QVERIFY(run.waitForEnd());
            QVERIFY(!run.completed);
            QCOMPARE(progress.last(), QStringLiteral("Stopping"));
            QCOMPARE(markedCount(QStringLiteral("Paused")), stored);
        }
        QCOMPARE(sendLog().count(QStringLiteral("*** MAILING ENDS HERE")), 1);
    }

    void refusedRecipientAffectsOnlyItself() {
        OutboxOptions refusing;
        refusing.refusePattern = QStringLiteral("^r007@");
        startOutbox(refusing);
        MailEvent options = prepare(QStringLiteral("Refuse"), 20, 4);
        Run run(*home, options, QStringLiteral("Refuse"), QStringLiteral("Refuse"));
        QVERIFY(run.runToEnd());
        QVERIFY(run.completed);
        QCOMPARE(run.socket->passedCount(), 19);
        QCOMPARE(run.socket->failedCount(), 1);
        QVERIFY(run.lines.contains(QStringLiteral("fail To: r007@pool.test")));
        QCOMPARE(markedCount(QStringLiteral("Refuse")), 19);
        QCOMPARE(marks(QStringLiteral("Refuse")).value(QStringLiteral("r007@pool.test")), QString());
    }

    // The delay paces the whole run and blocks count its messages, however many sessions.
    void delayAndBlocksCountTheWholeRun() {
        startOutbox();
        MailEvent options = prepare(QStringLiteral("Paced"), 50, 4);
        options.bInsertTimeDelay = true;
        options.TimeDelay = 2;
        options.bTimedBlocks = true;
        options.TimedBlockSize = 10;
        options.TimeIncrement = 1;
        Run run(*home, options, QStringLiteral("Paced"), QStringLiteral("Paced"));
        run.socket->setTenthMs(20);
        run.socket->setMinuteMs(300);
        QList<qint64> takenAtBlocks;
        QList<qint64> takenInBlocks;
        connect(run.socket.get(), &SMTPSocket::Progress, this, [&](const QString& text) {
            if (!text.startsWith(QStringLiteral("Mailing is pausing after the block of 10")))
                return;
            takenAtBlocks << run.socket->takenCount();
            // No session takes another message while the block's pause (a minute) lasts.
            QTimer::singleShot(150, this, [&] { takenInBlocks << run.socket->takenCount(); });
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(run.runToEnd(60000));
        QVERIFY(run.completed);
        QVERIFY2(clock.elapsed() >= 49 * 2 * 20, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(takenAtBlocks, (QList<qint64>{10, 20, 30, 40, 50}));
        QCOMPARE(takenInBlocks, takenAtBlocks);
        QCOMPARE(markedCount(QStringLiteral("Paced")), 50);
    }

    // A limit pauses the run with its text until the next hour or day of the clock, and the ledger counts
    // the accepted recipients per server.
    void limitsPauseUntilTheNextHourOrDay_data() {
        QTest::addColumn<bool>("daily");
        QTest::addColumn<QString>("text");
        QTest::newRow("hourly") << false << "Hourly limit of 30 reached; sending resumes at 14:00.";
        QTest::newRow("daily") << true << "Daily limit of 30 reached; sending resumes at 00:00.";
    }
    void limitsPauseUntilTheNextHourOrDay() {
        QFETCH(bool, daily);
        QFETCH(QString, text);
        QDateTime now(QDate(2026, 3, 2), QTime(13, 20));
        Schedules::setClock([&now] { return now; });
        startOutbox();
        MailEvent options = prepare(QStringLiteral("Capped"), 70, 4);
        (daily ? options.MaxPerDay : options.MaxPerHour) = 30;
        Run run(*home, options, QStringLiteral("Capped"), QStringLiteral("Capped"));
        run.socket->setLimitCheckMs(5);
        QStringList states;
        connect(run.socket.get(), &SMTPSocket::LimitState, this,
                [&](bool paused, const QString& shown, const QDateTime& resumeAt) {
                    states << (paused ? shown + u' ' + resumeAt.toString(Qt::ISODate) : QStringLiteral("on"));
                });
        QVERIFY(run.start());
        QVERIFY(QTest::qWaitFor([&] { return states.size() == 1; }, 20000));
        const QDateTime resume =
            daily ? QDateTime(QDate(2026, 3, 3), QTime(0, 0)) : QDateTime(now.date(), QTime(14, 0));
        QCOMPARE(states.first(), text + u' ' + resume.toString(Qt::ISODate));
        QVERIFY(run.socket->limitPaused());
        QVERIFY(QTest::qWaitFor([&] { return run.socket->openSessions() == 0; }, 5000));
        QTest::qWait(50);
        QCOMPARE(outbox->storedCount(), 30);
        db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
        QCOMPARE(SendLedger::sentInHour(central, QStringLiteral("127.0.0.1"), now), 30);

        now = resume.addSecs(1);
        QVERIFY(QTest::qWaitFor([&] { return states.size() == 3; }, 20000));
        QCOMPARE(states[1], QStringLiteral("on"));
        QTest::qWait(100);
        QCOMPARE(outbox->storedCount(), 60);
        now = now.addDays(1);
        QVERIFY(run.waitForEnd());
        QVERIFY(run.completed);
        QCOMPARE(markedCount(QStringLiteral("Capped")), 70);
        QCOMPARE(SendLedger::sentOnDay(central, QStringLiteral("127.0.0.1"), resume.addSecs(1)),
                 daily ? 30 : 60);
        QVERIFY(sendLog().contains(text));
    }

    // Killed in the middle of 2,000 recipients over 8 sessions, then run again: the second run sends to
    // the unmarked only; everyone has the message, at most one per session in flight twice.
    void killedRunOfEightSessionsResumesExactly() {
        constexpr int Recipients = 2000;
        OutboxOptions slow;
        slow.replyDelayMs = 1;
        startOutbox(slow);
        MailEvent options = prepare(QStringLiteral("Many"), Recipients, 8);
        options.bSendInBlocks = true;
        options.SendBlockSize = Recipients;
        options.bIfNotYetFlagged = true;
        QVERIFY(options.storeMEP());
        const qint32 id =
            prepareMailing(*home, QStringLiteral("Many"), QStringLiteral("Many"), options.MailEventName);
        QVERIFY(id > 0);
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                       QString::number(outbox->port()));
        home->stop(); // the program takes the folder's lock

        const auto runProgram = [&](int killAfterStored) {
            QProcess program;
            program.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                          {QStringLiteral("--home"), home->path(), QStringLiteral("--yes"),
                           QStringLiteral("send"), QString::number(id), QStringLiteral("--quiet")});
            if (!program.waitForStarted())
                return -2;
            QDeadlineTimer deadline(240000);
            while (program.state() != QProcess::NotRunning && !deadline.hasExpired()) {
                QTest::qWait(1);
                if (killAfterStored > 0 && outbox->storedCount() >= killAfterStored) {
                    program.kill();
                    program.waitForFinished();
                    return -1;
                }
            }
            return program.exitCode();
        };
        QCOMPARE(runProgram(700), -1);
        QTest::qWait(500); // the outbox stores what the killed program had sent in full
        const int markedAtKill = markedCount(QStringLiteral("Many"));
        const int storedAtKill = outbox->storedCount();
        QVERIFY(markedAtKill > 0 && markedAtKill < Recipients);
        QCOMPARE(runProgram(0), 0);
        QCOMPARE(markedCount(QStringLiteral("Many")), Recipients);
        // The second run sent to the recipients left unmarked, and to no one else.
        QCOMPARE(outbox->storedCount() - storedAtKill, Recipients - markedAtKill);

        const QMap<QString, int> counts = received();
        QCOMPARE(counts.size(), Recipients);
        int twice = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            QVERIFY2(it.value() <= 2, qPrintable(it.key()));
            twice += it.value() - 1;
        }
        qInfo() << "recipients that got the message twice:" << twice;
        QVERIFY(twice <= 8);
    }

    // A second process counts the ledger the first one wrote: with the hour's limit used up, it pauses at
    // once with the limit's text.
    void secondProcessCountsTheSameLedger() {
        startOutbox();
        MailEvent options = prepare(QStringLiteral("Second"), 5, 2);
        options.MaxPerHour = 30;
        QVERIFY(options.storeMEP());
        const qint32 id =
            prepareMailing(*home, QStringLiteral("Second"), QStringLiteral("Second"), options.MailEventName);
        const QDateTime now(QDate(2026, 3, 2), QTime(9, 15));
        {
            db::Database central = CentralDatabase::open();
            QVERIFY(SendLedger::add(central, {}, QStringLiteral("127.0.0.1"), now, 29));
        }
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                       QString::number(outbox->port()));
        home->stop();
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAMBERLYN_NOW"),
                           now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                      {QStringLiteral("--home"), home->path(), QStringLiteral("--yes"),
                       QStringLiteral("send"), QString::number(id), QStringLiteral("--quiet")});
        QVERIFY(program.waitForStarted());
        QByteArray out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                out += program.readAllStandardOutput();
                return out.contains("Hourly limit of 30 reached; sending resumes at 10:00.\n");
            },
            30000));
        QTest::qWait(200);
        QCOMPARE(outbox->storedCount(), 1);
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(markedCount(QStringLiteral("Second")), 1);
    }
};

QTEST_MAIN(TestSessionPool)
#include "tst_sessionpool.moc"
