#include "SendFixture.h"
#include "db/CentralDatabase.h"
#include "mailings/MailingEvents.h"
#include "send/MailingRun.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace SendFixture;

// Mailing runs against the local outbox: the messages as they arrive, and faults on demand.
class TestMailingRun : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;
    std::unique_ptr<Outbox> outbox;
    QTemporaryDir outDir;

    void startOutbox(const OutboxOptions& options = {}) {
        outbox = SendFixture::startOutbox(outDir.path() + QStringLiteral("/mail"), options);
        QVERIFY(outbox);
        appSettings().SMTPPort = outbox->port();
    }

    QStringList sendLog() const {
        return QString::fromUtf8(readFileBytes(appFolders().sendLog())).split(QStringLiteral("\r\n"));
    }

    static QJsonArray parsed(const QStringList& files) {
        QProcess python;
        python.start(QStringLiteral("python3"),
                     QStringList{QStringLiteral(TAMBERLYN_SOURCE_DIR "/tests/send/header_check.py")} + files);
        if (!python.waitForFinished(30000) || python.exitCode() != 0)
            qWarning() << python.readAllStandardError();
        return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    }

    // Three recipients a, b and c of a plain message, with a mailing to hold the counts.
    qint32 threeRecipients(MailEvent& options) {
        if (!makeListAndMessage(*home, QStringLiteral("Three"),
                                {QStringLiteral("a@example.test"), QStringLiteral("b@example.test"),
                                 QStringLiteral("c@example.test")}) ||
            !options.storeMEP())
            return 0;
        return prepareMailing(*home, QStringLiteral("Three"), QStringLiteral("Three"), options.MailEventName);
    }

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
        appSettings().WordWrapSize = 76;
    }
    void cleanup() {
        outbox.reset();
        home.reset();
        QDir(outDir.path() + QStringLiteral("/mail")).removeRecursively();
    }

    void personalisedMessagesAreWellFormed() {
        startOutbox();
        QVERIFY(makeList(
            *home, QStringLiteral("Friends"),
            {person(QStringLiteral("ann@one.test"), QStringLiteral("Ann"), QStringLiteral("Lee")),
             person(QStringLiteral("not-an-address")),
             person(QStringLiteral("soren@two.test"), QStringLiteral("Søren"), QStringLiteral("Ødegård")),
             person(QStringLiteral("tom@textonly.test"), QStringLiteral("Tom"))}));
        MessageRecord message = plainMessage(QStringLiteral("News"));
        message.SendType = 2;
        message.Subject =
            QStringLiteral("Café news – a rather long subject line that goes on and on so that it "
                           "has to be folded somewhere");
        message.MessageText = QStringLiteral("Our news for <<FirstName>>.\r\n");
        message.HTMLText = QStringLiteral("<html><body><p>Our news for <<FirstName>>.</p></body></html>");
        message.From = QStringLiteral("Zoë's \"Shop\"");
        message.UseGreetingManager = true;
        message.UseFName = true;
        message.UseLName = true;
        message.AddressType = 1;
        message.GreetingType = 1;
        message.Salutation = QStringLiteral("Dear");
        message.Punctuation = QStringLiteral(",");
        QVERIFY(makeMessage(message));
        MailEvent options = plainOptions(QStringLiteral("Personal"));
        options.ErrorsTo = QStringLiteral("errors@example.test");
        options.X_URL = QStringLiteral("HTTPS://Example.test/news");
        QVERIFY(options.storeMEP());
        const qint32 id =
            prepareMailing(*home, QStringLiteral("Friends"), QStringLiteral("News"), options.MailEventName);
        appSettings().CheckIfDomainWantsTextOnly = true;
        appSettings().DomainsToCheck = QStringLiteral("nothing.test;;TEXTONLY.test");

        Run run(*home, options, QStringLiteral("Friends"), QStringLiteral("News"), id);
        QVERIFY(run.runToEnd());
        QVERIFY(run.completed);
        QVERIFY(run.socket->perRecipientMode());
        QCOMPARE(run.socket->passedCount(), 3);
        QCOMPARE(run.socket->failedCount(), 0);
        QVERIFY(run.lines.contains(QStringLiteral("ok To: soren@two.test")));
        QCOMPARE(markedCount(QStringLiteral("Friends")), 3);
        QCOMPARE(Mailings::find(id)->SentCount, 3);
        QVERIFY(!Mailings::find(id)->DateSent.isEmpty());

        const QStringList files = filesIn(outbox->directory(), QStringLiteral(".eml"));
        QCOMPARE(files.size(), 3);
        const QJsonArray messages = parsed(files);
        QCOMPARE(messages.size(), 3);
        QSet<QString> ids;
        for (const QJsonValue& value : messages) {
            const QJsonObject m = value.toObject();
            QVERIFY2(m[QStringLiteral("defects")].toArray().isEmpty(), qPrintable(QJsonDocument(m).toJson()));
            QVERIFY(!m[QStringLiteral("date")].toString().isEmpty());
            QCOMPARE(m[QStringLiteral("subject")].toString(), message.Subject);
            QCOMPARE(m[QStringLiteral("from")].toArray().first().toArray().at(0).toString(), message.From);
            QCOMPARE(m[QStringLiteral("url")].toString(), options.X_URL);
            ids.insert(m[QStringLiteral("messageId")].toString());
            QVERIFY(m[QStringLiteral("messageId")].toString().endsWith(QStringLiteral("@example.test>")));
        }
        QCOMPARE(ids.size(), 3);
        const auto to = [&](int i) {
            return messages[i].toObject()[QStringLiteral("to")].toArray().first().toArray();
        };
        QCOMPARE(to(0).at(0).toString(), QStringLiteral("Ann Lee"));
        QCOMPARE(to(0).at(1).toString(), QStringLiteral("ann@one.test"));
        QCOMPARE(to(1).at(0).toString(), QStringLiteral("Søren Ødegård"));
        QVERIFY(messages[1].toObject()[QStringLiteral("text")].toString().startsWith(
            QStringLiteral("Dear Søren Ødegård,\r\nOur news for Søren.")));
        QCOMPARE(messages[0].toObject()[QStringLiteral("types")].toArray().at(0).toString(),
                 QStringLiteral("multipart/alternative"));
        // The listed domain gets the text alone.
        QCOMPARE(messages[2].toObject()[QStringLiteral("types")].toArray(),
                 QJsonArray({QStringLiteral("text/plain")}));

        const QByteArray raw = readFileBytes(files.first());
        QVERIFY(!raw.contains("Reply-To:"));
        QVERIFY(raw.contains("\r\nErrors-To: errors@example.test\r\n"));
        QVERIFY(raw.startsWith("X-Mailer: Quenfold "));
        QVERIFY(raw.indexOf("\r\nDate: ") < raw.indexOf("\r\nMessage-ID: "));
        QVERIFY(raw.indexOf("\r\nMessage-ID: ") < raw.indexOf("\r\nFrom: "));

        const QStringList log = sendLog();
        const qsizetype start = log.indexOf(QStringLiteral("*** MAILING STARTS HERE "));
        QVERIFY(start > 0);
        QCOMPARE(log.mid(start - 5, 5),
                 QStringList({QString(), QString(), SendLog::stars(), SendLog::stars(), SendLog::stars()}));
        QVERIFY(log.contains(QStringLiteral("*** Group:             Tests")));
        QVERIFY(log.contains(QStringLiteral("*** Mailing List:      Friends")));
        QVERIFY(log.contains(QStringLiteral("*** SMTP Port:         ") + QString::number(outbox->port())));
        QVERIFY(log.contains(QStringLiteral("C: <CrLf>.<CrLf>")));
        const qsizetype end = log.indexOf(QStringLiteral("Mailing Complete...Sending QUIT"));
        QVERIFY(end > start);
        QCOMPARE(log.mid(end + 1, 4), QStringList({SendLog::stars(), SendLog::stars(), SendLog::stars(),
                                                   QStringLiteral("*** MAILING ENDS HERE ")}));
        QVERIFY(log.contains(QStringLiteral("*** Total Sent:        3")));
        QVERIFY(log.contains(QStringLiteral("*** Total Passed:      3")));
        QVERIFY(run.lines.contains(QStringLiteral("Total Failed:      0")));
    }

    void batchesShareOneMessage() {
        OutboxOptions refuse;
        refuse.refusePattern = QStringLiteral("^<?b07@");
        startOutbox(refuse);
        QVERIFY(makeList(*home, QStringLiteral("Batch"),
                         people(numbered(QStringLiteral("b%1@batch.test"), 1, 25, 2))));
        MessageRecord message = plainMessage(QStringLiteral("Bulletin"));
        message.Subject =
            QStringLiteral("A plain subject that is long enough to need folding when it goes out "
                           "in the header of the message");
        QVERIFY(makeMessage(message));
        MailEvent options = plainOptions(QStringLiteral("Batch"));
        options.X_URL = QStringLiteral("www.example.test/news");
        QVERIFY(options.storeMEP());
        appSettings().GroupMailBlockSize = 10;
        appSettings().ServerWantsBracket = true;

        Run run(*home, options, QStringLiteral("Batch"), QStringLiteral("Bulletin"));
        QVERIFY(run.runToEnd());
        QVERIFY(run.completed);
        QVERIFY(!run.socket->perRecipientMode());
        QCOMPARE(run.socket->passedCount(), 24);
        QCOMPARE(run.socket->failedCount(), 1);
        QVERIFY(run.lines.contains(QStringLiteral("fail To: <b07@batch.test>")));
        // The marks go to the bare addresses; the refused one stays unmarked.
        QCOMPARE(markedCount(QStringLiteral("Batch")), 24);
        QCOMPARE(marks(QStringLiteral("Batch")).value(QStringLiteral("b07@batch.test")), QString());

        const QStringList envelopes = filesIn(outbox->directory(), QStringLiteral(".env"));
        QCOMPARE(envelopes.size(), 3);
        QCOMPARE(recipientsOf(envelopes[0]).size(), 9);
        QCOMPARE(recipientsOf(envelopes[1]).size(), 10);
        QCOMPARE(recipientsOf(envelopes[2]).size(), 5);
        const QStringList files = filesIn(outbox->directory(), QStringLiteral(".eml"));
        const QByteArray raw = readFileBytes(files.first());
        QVERIFY(raw.contains("\r\nTo: \"Friends of the test\":;\r\n"));
        QVERIFY(raw.contains("\r\nX-URL: http://www.example.test/news\r\n"));
        QVERIFY(raw.contains(
            "\r\nSubject: A plain subject that is long enough to need folding when it goes out\r\n in"));
        const QJsonArray messages = parsed(files);
        for (const QJsonValue& value : messages) {
            const QJsonObject m = value.toObject();
            QVERIFY2(m[QStringLiteral("defects")].toArray().isEmpty(), qPrintable(QJsonDocument(m).toJson()));
            QCOMPARE(m[QStringLiteral("subject")].toString(), message.Subject);
            QCOMPARE(m[QStringLiteral("to")].toArray().first().toArray().at(0).toString(),
                     QStringLiteral("Friends of the test"));
        }
    }

    // A time-out in the data, a dropped connection and a port nobody listens on abort the run: only
    // messages the server took are marked, and no counts are stored.
    void faultsAbortTheRun_data() {
        QTest::addColumn<QString>("fault");
        for (const char* fault : {"silent", "dropped", "unreachable"})
            QTest::newRow(fault) << QString::fromLatin1(fault);
    }
    void faultsAbortTheRun() {
        QFETCH(QString, fault);
        OutboxOptions faults;
        faults.silentAfterMessages = fault == QLatin1String("silent") ? 1 : -1;
        faults.dropAfterMessages = fault == QLatin1String("dropped") ? 1 : -1;
        startOutbox(faults);
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        const qint32 id = threeRecipients(options);
        QVERIFY(id > 0);
        if (fault == QLatin1String("unreachable")) {
            QTcpServer closed; // a port nobody listens on once this is gone
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            appSettings().SMTPPort = closed.serverPort();
        }
        Run run(*home, options, QStringLiteral("Three"), QStringLiteral("Three"), id);
        QVERIFY(run.runToEnd());
        QVERIFY(!run.completed);
        QVERIFY(run.lines.contains(QStringLiteral("***** MAILING ABORTED *****")));
        QCOMPARE(markedCount(QStringLiteral("Three")), fault == QLatin1String("unreachable") ? 0 : 1);
        QCOMPARE(Mailings::find(id)->SentCount, 0);
        QVERIFY(Mailings::find(id)->DateSent.isEmpty());
        const QStringList log = sendLog();
        if (fault != QLatin1String("silent")) {
            QVERIFY(run.lines.last().startsWith(QStringLiteral("Reason: ")) && run.lines.last().size() > 8);
            QVERIFY(fault != QLatin1String("dropped") ||
                    log.contains(QStringLiteral("Mailing Aborted...Sending Quit")));
            return;
        }
        QCOMPARE(lastShown(*home),
                 QStringLiteral("No response from Mail Server|") + SMTPSocket::timeoutText());
        QCOMPARE(run.lines.last(), QStringLiteral("Server timed out."));
        QCOMPARE(marks(QStringLiteral("Three")).value(QStringLiteral("a@example.test")),
                 QStringLiteral("SENT"));
        const qsizetype timeout = log.indexOf(QStringLiteral("Server Timeout."));
        QVERIFY(timeout > 0);
        QVERIFY(log[timeout + 1].startsWith(QStringLiteral("Last Data recieved was : ")));
        QVERIFY(log[timeout + 2].startsWith(QStringLiteral("Last data transmitted : ")));
        QCOMPARE(log[timeout + 3], QStringLiteral("Mailing Aborted...Sending Quit"));
        QCOMPARE(log[timeout + 7], QStringLiteral("*** MAILING ENDS HERE "));
    }

    // A pause sends QUIT; resume reconnects for the rest, stop aborts.
    void pauseQuitsThenResumeOrStop_data() {
        QTest::addColumn<bool>("resume");
        QTest::newRow("resumed") << true;
        QTest::newRow("stopped") << false;
    }
    void pauseQuitsThenResumeOrStop() {
        QFETCH(bool, resume);
        startOutbox();
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        QVERIFY(threeRecipients(options) > 0);
        Run run(*home, options, QStringLiteral("Three"), QStringLiteral("Three"));
        bool pausing = false;
        connect(run.socket.get(), &SMTPSocket::AddMailed, this, [&](const QString&, bool picture, bool) {
            if (picture && run.socket->takenCount() == 1)
                run.socket->pause();
        });
        connect(run.socket.get(), &SMTPSocket::Progress, this,
                [&](const QString& text) { pausing = pausing || text == QLatin1String("Pausing"); });
        QVERIFY(run.start());
        QTRY_VERIFY_WITH_TIMEOUT(pausing, 10000);
        QTest::qWait(200);
        QCOMPARE(outbox->storedCount(), 1);
        QVERIFY(run.socket->isRunning());
        if (!resume) {
            run.socket->stop();
            QVERIFY(run.ended);
            QVERIFY(!run.completed);
            QVERIFY(run.lines.contains(QStringLiteral("***** MAILING ABORTED *****")));
            QCOMPARE(markedCount(QStringLiteral("Three")), 1);
            const QStringList log = sendLog();
            QCOMPARE(log[log.indexOf(QStringLiteral("Stopping")) + 1],
                     QStringLiteral("Mailing Aborted...Sending Quit"));
            return;
        }
        run.socket->resume();
        QVERIFY(run.waitForEnd());
        QVERIFY(run.completed);
        QCOMPARE(outbox->storedCount(), 3);
        QCOMPARE(markedCount(QStringLiteral("Three")), 3);
        const QStringList log = sendLog();
        const qsizetype paused = log.indexOf(QStringLiteral("Mailing is Paused... Sending Quit"));
        QVERIFY(paused > 0);
        const qsizetype resumed = log.indexOf(QStringLiteral("Resuming"));
        QVERIFY(resumed > log.indexOf(QStringLiteral("Pausing")));
        QCOMPARE(log.mid(paused, resumed - paused).count(QStringLiteral("C: QUIT")), 1);
        const qsizetype ehlo = log.indexOf(QRegularExpression(QStringLiteral("C: EHLO .*")), resumed);
        QVERIFY(ehlo > resumed && ehlo < log.indexOf(QStringLiteral("C: RCPT TO:<b@example.test>")));
    }

    // Stop while the server owes a reply ends the run within a second or so, with the abort's texts,
    // even when the server keeps silent or trickles a byte now and then (the time-out is 30 s here).
    void stopEndsAWaitingRun_data() {
        QTest::addColumn<bool>("trickle");
        QTest::newRow("silent") << false;
        QTest::newRow("trickling") << true;
    }
    void stopEndsAWaitingRun() {
        QFETCH(bool, trickle);
        OutboxOptions silent;
        silent.silentAfterMessages = 1;
        startOutbox(silent);
        TricklingServer trickling(100);
        if (trickle)
            appSettings().SMTPPort = trickling.port();
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        QVERIFY(threeRecipients(options) > 0);
        Run run(*home, options, QStringLiteral("Three"), QStringLiteral("Three"));
        run.socket->setTimeoutUnitMs(1000);
        QVERIFY(run.start());
        if (trickle)
            QTRY_VERIFY_WITH_TIMEOUT(trickling.trickling(), 10000);
        else
            QTRY_COMPARE_WITH_TIMEOUT(outbox->storedCount(), 1, 10000);
        QTest::qWait(300);
        QVERIFY(run.socket->isRunning());
        QElapsedTimer clock;
        clock.start();
        run.socket->stop();
        QVERIFY(run.waitForEnd(10000));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!run.completed);
        QVERIFY(run.lines.contains(QStringLiteral("***** MAILING ABORTED *****")));
        QCOMPARE(markedCount(QStringLiteral("Three")), trickle ? 0 : 1);
        const QStringList log = sendLog();
        const qsizetype aborted = log.indexOf(QStringLiteral("Mailing Aborted...Sending Quit"));
        QVERIFY(aborted > 0);
        QCOMPARE(log.value(aborted + 4), QStringLiteral("*** MAILING ENDS HERE "));
        QVERIFY(!log.contains(QStringLiteral("Server Timeout.")));
    }

    // Another program holds the list file's write lock during the run. A mark waits for it up to the busy
    // time-out; past it the run ends as failed and names the recipient who got the message unmarked.
    void lockedListDuringTheRun_data() {
        QTest::addColumn<int>("busyTimeoutMs");
        QTest::addColumn<double>("lockSeconds");
        QTest::newRow("lock longer than the time-out") << 300 << 3.0;
        QTest::newRow("lock shorter than the time-out") << 4000 << 0.5;
    }
    void lockedListDuringTheRun() {
        QFETCH(int, busyTimeoutMs);
        QFETCH(double, lockSeconds);
        OutboxOptions slow;
        slow.replyDelayMs = 20;
        startOutbox(slow);
        const QStringList addresses = numbered(QStringLiteral("k%1@example.test"), 1, 30, 2);
        QVERIFY(makeListAndMessage(*home, QStringLiteral("Locked"), addresses));
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        QVERIFY(options.storeMEP());
        // The locker connects first and takes the lock when told, so that it holds it in the middle of the
        // run.
        QProcess locker;
        locker.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sqlite3, sys, time\n"
                                     "print('ready', flush=True)\n"
                                     "sys.stdin.readline()\n"
                                     "c = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=20)\n"
                                     "c.execute('BEGIN IMMEDIATE')\n"
                                     "print('locked', flush=True)\n"
                                     "time.sleep(float(sys.argv[2]))\n"
                                     "c.execute('ROLLBACK')\n"
                                     "c.close()\n"
                                     "print('closed', flush=True)\n"),
                      listPath(QStringLiteral("Locked")), QString::number(lockSeconds)});
        QTRY_VERIFY_WITH_TIMEOUT(locker.canReadLine(), 20000);
        QCOMPARE(locker.readLine(), QByteArray("ready\n"));
        Run run(*home, options, QStringLiteral("Locked"), QStringLiteral("Locked"));
        run.source.setMarkBusyTimeoutMs(busyTimeoutMs);
        QVERIFY(run.start());
        QTRY_VERIFY_WITH_TIMEOUT(outbox->storedCount() >= 2, 10000);
        locker.write("go\n");
        QTRY_VERIFY_WITH_TIMEOUT(locker.canReadLine() || run.ended, 20000);
        QCOMPARE(locker.readLine(), QByteArray("locked\n"));
        QVERIFY(run.waitForEnd(30000));
        QVERIFY(locker.state() == QProcess::NotRunning || locker.waitForFinished(10000));
        QCOMPARE(locker.readAllStandardOutput(), QByteArray("closed\n"));
        QStringList served;
        for (const QString& envelope : filesIn(outbox->directory(), QStringLiteral(".env")))
            served << recipientsOf(envelope);
        const QMap<QString, QString> marked = marks(QStringLiteral("Locked"));
        QStringList unmarked;
        for (const QString& address : std::as_const(served))
            if (marked.value(address) != QLatin1String("SENT"))
                unmarked << address;
        if (busyTimeoutMs > lockSeconds * 1000) {
            QVERIFY(run.completed);
            QCOMPARE(served.size(), addresses.size());
            QCOMPARE(unmarked, QStringList());
            return;
        }
        QVERIFY(!run.completed);
        QCOMPARE(run.socket->unmarkedCount(), 1);
        QCOMPARE(unmarked.size(), 1);
        const QString line = QStringLiteral("Accepted by the server but not marked as sent: ") + unmarked[0];
        QVERIFY2(run.lines.contains(line), qPrintable(run.lines.join(u'\n')));
        QVERIFY(run.lines.contains(QStringLiteral("***** MAILING ABORTED *****")));
        QVERIFY(run.lines.contains(QStringLiteral("Not Marked:        1")));
        const QStringList log = sendLog();
        QVERIFY(log.contains(line));
        QVERIFY(log.contains(QStringLiteral("*** Not Marked:        1")));
        QVERIFY(served.size() < addresses.size());

        // The resumed run writes the owed mark before it selects anyone, so the unmarked recipient is not
        // mailed again, and its statistics say so.
        const qsizetype servedBefore = served.size();
        options.bSendInBlocks = true;
        options.bIfNotYetFlagged = true;
        Run resumed(*home, options, QStringLiteral("Locked"), QStringLiteral("Locked"));
        QVERIFY(resumed.runToEnd(30000));
        QVERIFY(resumed.completed);
        QVERIFY(resumed.lines.contains(QStringLiteral("Late Marks:        1")));
        QVERIFY(!QFile::exists(resumed.source.owedMarksPath()));
        QStringList all;
        for (const QString& envelope : filesIn(outbox->directory(), QStringLiteral(".env")))
            all << recipientsOf(envelope);
        QCOMPARE(all.size(), addresses.size());
        QCOMPARE(all.count(unmarked[0]), 1);
        QVERIFY(all.size() > servedBefore);
    }

    void timedBlocksPauseOnceAfterEachBlock() {
        startOutbox();
        QVERIFY(makeListAndMessage(*home, QStringLiteral("Timed"),
                                   numbered(QStringLiteral("t%1@example.test"), 1, 5)));
        MailEvent options = plainOptions(QStringLiteral("Timed"));
        options.bTimedBlocks = true;
        options.TimedBlockSize = 3;
        options.TimeIncrement = 1;
        options.bInsertTimeDelay = true;
        options.TimeDelay = 10;
        QVERIFY(options.storeMEP());
        Run run(*home, options, QStringLiteral("Timed"), QStringLiteral("Timed"));
        QVERIFY(run.runToEnd());
        QVERIFY(run.completed);
        QCOMPARE(outbox->storedCount(), 5);
        const QStringList log = sendLog();
        const QString pauseLine =
            QStringLiteral("Mailing is pausing after the block of 3 was sent. Sending Quit.");
        QCOMPARE(log.count(pauseLine), 1);
        const qsizetype pause = log.indexOf(pauseLine);
        QVERIFY(log.indexOf(QStringLiteral("C: RCPT TO:<t3@example.test>")) < pause);
        QCOMPARE(log[pause + 1], QStringLiteral("C: QUIT"));
        // After the pause: a new session, and recipient 4 without a second pause.
        const qsizetype ehlo = log.indexOf(QRegularExpression(QStringLiteral("C: EHLO .*")), pause);
        const qsizetype fourth = log.indexOf(QStringLiteral("C: RCPT TO:<t4@example.test>"));
        QVERIFY2(ehlo > pause && fourth > ehlo, qPrintable(log.mid(pause - 3, 20).join(u'\n')));
        QCOMPARE(log.mid(ehlo, fourth - ehlo).count(QStringLiteral("Ready for Send")), 1);
    }

    // An address holding a line break, written into the list file unchecked, never reaches the server:
    // it is counted as failed, left unmarked and named in the log, and the others are served.
    void addressesWithLineBreaksAreRefused_data() {
        QTest::addColumn<bool>("perRecipient");
        QTest::newRow("per recipient") << true;
        QTest::newRow("batch") << false;
    }
    void addressesWithLineBreaksAreRefused() {
        QFETCH(bool, perRecipient);
        startOutbox();
        QByteArray received;
        connect(outbox.get(), &Outbox::bytesReceived, this,
                [&](const QByteArray& bytes) { received += bytes; });
        const QString hostile = QStringLiteral("m@b.invalid\r\nDATA");
        QVERIFY(
            makeList(*home, QStringLiteral("Hostile"),
                     people({QStringLiteral("a@example.test"), hostile, QStringLiteral("z@example.test")})));
        MessageRecord message = plainMessage(QStringLiteral("Hostile"));
        message.AddressType = perRecipient ? 1 : 0;
        QVERIFY(makeMessage(message));
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        QVERIFY(options.storeMEP());
        Run run(*home, options, QStringLiteral("Hostile"), QStringLiteral("Hostile"));
        QVERIFY(run.runToEnd());
        QVERIFY(run.completed);
        QCOMPARE(run.socket->passedCount(), 2);
        QCOMPARE(run.socket->failedCount(), 1);
        QVERIFY(run.lines.contains(QStringLiteral("fail To: m@b.invalid\\r\\nDATA")));
        QCOMPARE(marks(QStringLiteral("Hostile")),
                 (QMap<QString, QString>{{QStringLiteral("a@example.test"), QStringLiteral("SENT")},
                                         {hostile.toLower(), QString()},
                                         {QStringLiteral("z@example.test"), QStringLiteral("SENT")}}));
        QVERIFY(sendLog().contains(
            QStringLiteral("Not sent to m@b.invalid\\r\\nDATA: the address holds a control character.")));
        const Transcript wire = transcriptOf(received);
        QVERIFY(!wire.bareLineBreak);
        QVERIFY2(onlyKnownCommands(wire), wire.commands.join('|').constData());
        QCOMPARE(wire.startingWith("RCPT"),
                 (QList<QByteArray>{"RCPT TO:<a@example.test>", "RCPT TO:<z@example.test>"}));
    }

    // Line breaks in header values, whatever their source, become blanks: nothing they hold turns into
    // a header or body line of its own.
    void headerValuesStayOnOneLine_data() {
        QTest::addColumn<bool>("perRecipient");
        QTest::newRow("per recipient") << true;
        QTest::newRow("batch") << false;
    }
    void headerValuesStayOnOneLine() {
        QFETCH(bool, perRecipient);
        startOutbox();
        QVERIFY(
            makeList(*home, QStringLiteral("One"),
                     {person(QStringLiteral("a@example.test"), QStringLiteral("Ann\r\nX-Injected: name"))}));
        MessageRecord message = plainMessage(QStringLiteral("Injected"));
        message.AddressType = perRecipient ? 1 : 0;
        message.UseGreetingManager = true;
        message.UseFName = true;
        message.Subject = QStringLiteral("News\r\nBcc: victim@example.test\r\n\r\nInjected body");
        message.From = QStringLiteral("Shop\r\nX-Injected: from");
        message.GroupAddress = QStringLiteral("Friends\nX-Injected: group");
        QVERIFY(makeMessage(message));
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        options.X_URL = QStringLiteral("example.test/\r\nX-Injected: url");
        QVERIFY(options.storeMEP());
        Run run(*home, options, QStringLiteral("One"), QStringLiteral("Injected"));
        QVERIFY(run.runToEnd());
        QCOMPARE(run.socket->passedCount(), 1);
        const QByteArray raw = readFileBytes(filesIn(outbox->directory(), QStringLiteral(".eml")).value(0));
        const QByteArray head = raw.left(raw.indexOf("\r\n\r\n") + 2);
        QVERIFY2(!head.contains("\r\nX-Injected") && !head.contains("\r\nBcc:"), head.constData());
        QVERIFY(!raw.contains("\r\nInjected body"));
        QVERIFY(head.contains("\r\nSubject: News  Bcc: victim@example.test    Injected body\r\n"));
        QVERIFY(head.contains("\r\nX-URL: http://example.test/  X-Injected: url\r\n"));
        QVERIFY(head.contains("\r\nFrom: \"Shop  X-Injected: from\" <sender@example.test>\r\n"));
        QVERIFY(head.contains(perRecipient ? "\r\nTo: \"Ann  X-Injected: name\" <a@example.test>\r\n"
                                           : "\r\nTo: \"Friends X-Injected: group\":;\r\n"));
        QCOMPARE(recipientsOf(filesIn(outbox->directory(), QStringLiteral(".env")).value(0)),
                 QStringList{QStringLiteral("a@example.test")});
    }

    void invalidAddressesRefuseTheRun() {
        startOutbox();
        MailEvent options = plainOptions(QStringLiteral("Opts"), QStringLiteral("no address"));
        QVERIFY(threeRecipients(options) > 0);
        {
            Run run(*home, options, QStringLiteral("Three"), QStringLiteral("Three"));
            QVERIFY(!run.start());
            QVERIFY(run.ended);
            QCOMPARE(lastShown(*home),
                     QStringLiteral("Invalid 'From' Address|The 'From:' address for this mailing is invalid. "
                                    "\r\n\r\nYou can correct this by opening the Mail Delivery Options for "
                                    "this mailing and\nmodifying this address."));
        }
        options.From = QStringLiteral("me@example.test");
        options.ReplyTo = QStringLiteral("broken@");
        Run run(*home, options, QStringLiteral("Three"), QStringLiteral("Three"));
        QVERIFY(!run.start());
        QCOMPARE(home->prompter.shown().last().title, QStringLiteral("Invalid 'Reply To' Address"));
        QCOMPARE(outbox->storedCount(), 0);
    }

    // A mailing started by its number: the recipient in hand follows the messages, the run's history
    // gets its row, its slices and its end, and a start that is refused records nothing.
    void startedByNumberWithItsHistory() {
        startOutbox();
        MailEvent options = plainOptions(QStringLiteral("Three"));
        const qint32 id = threeRecipients(options);
        QVERIFY(id > 0);
        QSignalSpy results(&MailingEvents::instance(), &MailingEvents::mailingResults);
        MailingRun run(home->prompter);
        run.recorder().setSliceMs(2);
        QStringList inHand;
        connect(&run.socket(), &SMTPSocket::AddMailed, this, [&](const QString& text, bool picture, bool) {
            if (picture)
                inHand << (QStringLiteral("To: ") + run.socket().recipientInHand() == text
                               ? QStringLiteral("same")
                               : text);
        });
        QSignalSpy finished(&run, &MailingRun::finished);
        QVERIFY(run.start(id, MailRuns::Trigger::Desktop));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().value<MailRuns::Outcome>(), MailRuns::Outcome::Completed);
        QCOMPARE(inHand, QStringList(3, QStringLiteral("same")));
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.first().first().toInt(), id);
        QList<MailRuns::Run> runs = MailRuns::of(id);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].Outcome + u'|' + runs[0].Trigger + u'|' + QString::number(runs[0].Passed),
                 QStringLiteral("completed|desktop|3"));
        QVERIFY(runs[0].RunEnd >= runs[0].RunStart);
        qint64 sliced = 0;
        for (const MailRuns::Slice& slice : MailRuns::slices(runs[0].RunID))
            sliced += slice.Passed;
        QCOMPARE(sliced, 3);

        // Sent before: the desktop and the command line ask first; a schedule does not.
        MailingRun again(home->prompter);
        home->prompter.answer(Prompter::Answer::Cancel);
        QVERIFY(!again.start(id, MailRuns::Trigger::Command));
        QCOMPARE(again.refusal(), MailingRun::Refusal::NotConfirmed);
        const qsizetype shown = home->prompter.shown().size();
        MailingRun scheduled(home->prompter);
        QSignalSpy scheduledEnd(&scheduled, &MailingRun::finished);
        QVERIFY(scheduled.start(id, MailRuns::Trigger::Schedule));
        QTRY_COMPARE_WITH_TIMEOUT(scheduledEnd.size(), 1, 20000);
        QCOMPARE(home->prompter.shown().size(), shown);
        runs = MailRuns::of(id);
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[1].Trigger, QStringLiteral("schedule"));

        MailingRun missing(home->prompter);
        QVERIFY(!missing.start(id + 100, MailRuns::Trigger::Desktop));
        QCOMPARE(missing.refusalText(), QStringLiteral("There is no mailing number %1.").arg(id + 100));
        QVERIFY(CentralDatabase::open().exec(QStringLiteral("DELETE FROM \"List\"")));
        MailingRun listless(home->prompter);
        QVERIFY(!listless.start(id, MailRuns::Trigger::Schedule));
        QCOMPARE(listless.refusal(), MailingRun::Refusal::ListDeleted);
        QCOMPARE(MailRuns::of(id).size(), 2);
    }

    // A run stopped by its host is recorded as stopped, with what it sent.
    void stoppedRunIsRecordedAsStopped() {
        startOutbox();
        MailEvent options = plainOptions(QStringLiteral("Three"));
        options.bInsertTimeDelay = true;
        options.TimeDelay = 3;
        const qint32 id = threeRecipients(options);
        MailingRun run(home->prompter);
        run.socket().setTenthMs(40);
        connect(&run.socket(), &SMTPSocket::AddMailed, this, [&](const QString&, bool picture, bool) {
            if (picture)
                run.stop();
        });
        QSignalSpy finished(&run, &MailingRun::finished);
        QVERIFY(run.start(id, MailRuns::Trigger::Desktop));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().value<MailRuns::Outcome>(), MailRuns::Outcome::Stopped);
        const MailRuns::Run recorded = MailRuns::of(id).value(0);
        QCOMPARE(recorded.Outcome, QStringLiteral("stopped"));
        QCOMPARE(recorded.Passed, outbox->storedCount());
        QVERIFY(recorded.Passed < 3);
    }
};

QTEST_GUILESS_MAIN(TestMailingRun)
#include "tst_mailingrun.moc"
