// The POP client and runs against a scripted server, for faults a real server will not make.

#include "MailboxFixture.h"
#include "db/Database.h"
#include "mailbox/PopClient.h"
#include "mailbox/PopWizardRun.h"
#include "mailbox/ProcessEMail.h"
#include "support/CommandRun.h"
#include "support/TestHome.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <csignal>

namespace {

// A POP3 server on 127.0.0.1 over messages held in memory; it records every command.
class FakePopServer : public QObject {
public:
    QList<QByteArray> messages;
    QList<QByteArray> commands;
    QByteArray greeting = "+OK ready";
    bool refuseUser = false;
    QByteArray silentAt; // from the command that starts so, nothing more is answered
    QByteArray hangUpAt; // at the command that starts so, the connection is closed
    QByteArray cutAt; // at the command that starts so, part of the reply is sent, then the connection closed
    qsizetype cutAfter = 0;
    QByteArray
        trickleAt; // from the command that starts so, "+OK" and then one octet every trickleMs, for ever
    int trickleMs = 50;
    QByteArray paceAt; // at the command that starts so, the reply goes out in 64 KiB steps every paceMs
    int paceMs = 50;
    QMap<QByteArray, QByteArray> rawReplies; // command -> the octets sent instead of its reply

    FakePopServer() {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            client_ = server_.nextPendingConnection();
            write(rawReplies.value("greeting", greeting + "\r\n"));
            connect(client_, &QTcpSocket::readyRead, this, &FakePopServer::serve);
        });
    }
    quint16 port() const { return server_.serverPort(); }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

private:
    // What follows a "<pause>" in a reply goes out a moment later, as a packet of its own.
    void write(const QByteArray& reply) {
        const qsizetype pause = reply.indexOf("<pause>");
        client_->write(pause < 0 ? reply : reply.left(pause));
        if (pause >= 0)
            QTimer::singleShot(50, client_,
                               [socket = client_, rest = reply.mid(pause + 7)] { socket->write(rest); });
    }

    void serve() {
        while (client_ && client_->canReadLine()) {
            const QByteArray command = client_->readLine().trimmed();
            commands << command;
            if (!silentAt.isEmpty() && command.startsWith(silentAt))
                silent_ = true;
            if (silent_)
                continue;
            if (!trickleAt.isEmpty() && command.startsWith(trickleAt)) {
                client_->write("+OK\r\n");
                trickle_.callOnTimeout(client_, [socket = client_] { socket->write("x"); });
                trickle_.start(trickleMs);
                silent_ = true;
                continue;
            }
            if (!paceAt.isEmpty() && command.startsWith(paceAt)) {
                pace(reply(command));
                continue;
            }
            const bool cut = !cutAt.isEmpty() && command.startsWith(cutAt);
            const bool hangUp = cut || (!hangUpAt.isEmpty() && command.startsWith(hangUpAt));
            if (cut)
                client_->write(reply(command).left(cutAfter));
            else if (!hangUp)
                write(rawReplies.value(command, reply(command)));
            if (hangUp || command == "QUIT") {
                client_->disconnectFromHost();
                client_ = nullptr;
            }
        }
    }

    void pace(QByteArray rest) {
        constexpr qsizetype step = 64 * 1024;
        client_->write(rest.left(step));
        if (rest.size() > step)
            QTimer::singleShot(paceMs, client_, [this, rest = rest.mid(step)] { pace(rest); });
    }

    static QByteArray multiLine(const QByteArray& text) {
        QByteArray out = "+OK\r\n";
        for (QByteArray line : text.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            out += (line.startsWith('.') ? "." : "") + line + "\r\n";
        }
        return out + ".\r\n";
    }

    QByteArray reply(const QByteArray& command) {
        const QList<QByteArray> words = command.split(' ');
        const QByteArray verb = words.value(0);
        const int n = words.value(1).toInt();
        if (verb == "USER")
            return refuseUser ? "-ERR no USER here\r\n" : "+OK\r\n";
        if (verb == "PASS" || verb == "APOP" || verb == "DELE" || verb == "QUIT")
            return "+OK\r\n";
        if (verb == "STAT")
            return "+OK " + QByteArray::number(messages.size()) + " 0\r\n";
        if (verb == "LIST") {
            QByteArray list;
            for (qsizetype i = 0; i < messages.size(); ++i)
                list += QByteArray::number(i + 1) + ' ' + QByteArray::number(messages.at(i).size()) + '\n';
            list.chop(1);
            return messages.isEmpty() ? "+OK\r\n.\r\n" : multiLine(list);
        }
        if ((verb == "TOP" || verb == "RETR") && n >= 1 && n <= messages.size()) {
            const QByteArray& text = messages.at(n - 1);
            return multiLine(verb == "TOP" ? text.left(text.indexOf("\r\n\r\n")) : text);
        }
        return "-ERR what?\r\n";
    }

    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    QTimer trickle_;
    bool silent_ = false;
};

QByteArray mail(const QByteArray& from, const QByteArray& subject, const QByteArray& body = "Hi.\r\n") {
    return "From: " + from + "\r\nSubject: " + subject + "\r\n\r\n" + body;
}

void connectClient(PopClient& client, quint16 port, const QString& user, const QString& password) {
    client.setHost("127.0.0.1");
    client.setPort(QString::number(port));
    client.setUserName(user);
    client.setPassword(password);
    client.connectToServer();
}

int lastCode(const QSignalSpy& status) {
    return status.isEmpty() ? 0 : status.last().at(0).toInt();
}

// Returned mail whose first "To: " line after the subject names the failed recipient.
QByteArray bounce(const QByteArray& failed, const QByteArray& extra = {}) {
    return mail("MAILER-DAEMON@x.org", "Returned mail: User unknown",
                "The original message follows.\r\n\r\nFrom: me@x.org\r\nSubject: news\r\nTo: " + failed +
                    "\r\n\r\nHello.\r\n" + extra);
}

QStringList listAddresses(const QString& name) {
    QStringList addresses;
    const db::Database list = db::Database::open(DataTank::registeredPath(DataTank::GetListPath(name)),
                                                 db::Database::OpenMode::ReadOnly);
    db::Statement select = list.prepare("SELECT EAddress FROM AddressList ORDER BY EAddress");
    while (select.next())
        addresses << select.text(0);
    return addresses;
}

// An account of the home for the scripted server, its password left to TAMBERLYN_POP_PASSWORD.
bool addAccount(TestHome& home, const QString& name, const QString& host) {
    return runCommandLine({"--home", home.path(), "pop-account", "add", name, "--host", host, "--user", "u"})
               .status == 0;
}

QStringList operations(const QSignalSpy& spy) {
    QStringList texts;
    for (const QList<QVariant>& args : spy)
        texts << args.at(0).toString();
    return texts;
}

} // namespace

class TestPopClient : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
    }
    void cleanup() { home.reset(); }

    // The exact commands of a session; dotted lines come back as written; APOP when USER is refused.
    void retrievesWithDotsUnstuffed() {
        FakePopServer server;
        server.messages = {mail("a@x.org", "one", ".hidden\r\n..double\r\n.\r\nend\r\n"),
                           mail("b@x.org", "two")};
        PopClient client;
        QSignalSpy status(&client, &PopClient::POPStatus);
        connectClient(client, server.port(), "u", "p");
        QTRY_VERIFY(status.size() >= 5);
        QCOMPARE(status.last().at(0).toInt(), int(PopClient::MessageListRetrieved));
        QCOMPARE(client.messageCount(), 2);
        client.requestMessage(1);
        QTRY_COMPARE(status.last().at(0).toInt(), int(PopClient::MessageArrived));
        QCOMPARE(client.text(), mail("a@x.org", "one", ".hidden\r\n..double\r\n.\r\nend\r\n") + "\r\n");
        client.requestHeader(2);
        QTRY_COMPARE(status.last().at(0).toInt(), int(PopClient::HeaderArrived));
        QCOMPARE(client.text(), QByteArray("From: b@x.org\r\nSubject: two\r\n"));
        client.requestMessage(9);
        QTRY_COMPARE(status.last().at(0).toInt(), int(PopClient::CommandFailed));
        client.quit();
        QTRY_COMPARE(status.last().at(0).toInt(), int(PopClient::CommandOk));
        QCOMPARE(server.commands, (QList<QByteArray>{"USER u", "PASS p", "STAT", "LIST", "RETR 1", "TOP 2 0",
                                                     "RETR 9", "QUIT"}));
        QCOMPARE(operations(status).mid(0, 5), (QStringList{"1", "24", "10", "19", "5"}));

        // USER refused: APOP, as in the example of the POP3 standard.
        FakePopServer apop;
        apop.greeting = "+OK POP3 ready <1896.697170952@dbc.mtview.ca.us>";
        apop.refuseUser = true;
        PopClient apopClient;
        QSignalSpy apopStatus(&apopClient, &PopClient::POPStatus);
        connectClient(apopClient, apop.port(), "mrose", "tanstaaf");
        QTRY_VERIFY(!apopStatus.isEmpty() &&
                    apopStatus.last().at(0).toInt() == PopClient::MessageListRetrieved);
        QCOMPARE(apop.commands.at(1), QByteArray("APOP mrose c4c9334bac560ecc979e58001b3e22fb"));
    }

    // Silence while connecting, and while reading (what was read still makes the list).
    void serverThatStopsAnswering() {
        for (const QByteArray& silentAt : {QByteArray("PASS"), QByteArray("TOP 2")}) {
            FakePopServer server;
            server.messages = {mail("Ann Lee <ann@x.org>", "subscribe"), mail("bob@x.org", "subscribe")};
            server.silentAt = silentAt;
            ProcessEMail process(home->prompter);
            process.popMain().setTimeoutUnitMs(2);
            QSignalSpy texts(&process, &ProcessEMail::showCurrentOperation);
            QSignalSpy failed(&process, &ProcessEMail::connectionNotEstablished);
            QSignalSpy connected(&process, &ProcessEMail::connectionEstablished);
            QSignalSpy finished(&process, &ProcessEMail::processingFinished);
            process.connectToMailBox(server.host(), "u", "p", 0, true);
            QTRY_VERIFY(!failed.isEmpty() || !connected.isEmpty());
            if (silentAt == "PASS") {
                QVERIFY(connected.isEmpty());
                QCOMPARE(
                    operations(texts).mid(operations(texts).size() - 2),
                    (QStringList{"The connection has timed out.", "Verify your connection and try again."}));
                continue;
            }
            process.setSearchVariables({"subscribe"}, ProcessEMail::FilterMethod::Phrases, true);
            process.processMailBox();
            QTRY_COMPARE(finished.size(), 1);
            QCOMPARE(process.outcome(), ProcessEMail::Outcome::ConnectionLost);
            QCOMPARE(home->prompter.texts().last(),
                     QStringLiteral("Connection to host '127.0.0.1' was lost."));
            QVERIFY(operations(texts).contains("The connection has timed out."));
            QCOMPARE(process.addressCount(), 1);
            QVERIFY(QFile::exists(process.listPath()));
        }
    }

    // A hang-up between deletions: nothing counts as deleted, as POP3 deletes only at QUIT.
    void connectionLostWhileDeleting() {
        FakePopServer server;
        server.messages = {mail("a@x.org", "subscribe"), mail("b@x.org", "subscribe")};
        server.hangUpAt = "DELE 2";
        ProcessEMail process(home->prompter);
        QSignalSpy connected(&process, &ProcessEMail::connectionEstablished);
        QSignalSpy finished(&process, &ProcessEMail::processingFinished);
        QSignalSpy killed(&process, &ProcessEMail::killFinished);
        process.connectToMailBox(server.host(), "u", "p", 0, false);
        QTRY_COMPARE(connected.size(), 1);
        process.setSearchVariables({}, ProcessEMail::FilterMethod::All, true);
        process.processMailBox();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(process.killList(), (QList<int>{1, 2}));
        process.KillMail();
        QTRY_COMPARE(killed.size(), 1);
        QCOMPARE(killed.at(0).at(0).toBool(), false);
        QCOMPARE(home->prompter.texts().last(),
                 QStringLiteral("The connection has been lost.\nTamberlyn deleted the first 0 before the "
                                "connection was lost."));
        QVERIFY(!server.commands.contains("QUIT"));
    }

    // Over its cap a status line ends the session at once; a header or message is read to its end and
    // dropped, holding no more than the cap, and the session goes on.
    void repliesOverTheirCaps_data() {
        QTest::addColumn<QByteArray>("command"); // whose reply is replaced ("greeting" for the greeting)
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("text");
        const QByteArray x300(300, 'x');
        QTest::newRow("greeting without a line end")
            << QByteArray("greeting") << QByteArray(5000, 'x') << int(PopClient::LineTooLong) << QByteArray();
        QTest::newRow("long STAT line") << QByteArray("STAT") << "+OK 2 " + x300 + "\r\n"
                                        << int(PopClient::LineTooLong) << QByteArray();
        QTest::newRow("header over its cap")
            << QByteArray("TOP 1 0") << "+OK\r\nSubject: " + x300 + "\r\n.\r\n"
            << int(PopClient::TooLarge) << QByteArray();
        QTest::newRow("message of many lines")
            << QByteArray("RETR 1") << "+OK\r\n" + QByteArray("a line\r\n").repeated(100) + ".\r\n"
            << int(PopClient::TooLarge) << QByteArray();
        QTest::newRow("message line still without its end")
            << QByteArray("RETR 1") << "+OK\r\n" + QByteArray(3000, 'y') + "<pause>\r\n.\r\n"
            << int(PopClient::TooLarge) << QByteArray();
        QTest::newRow("terminator in two packets")
            << QByteArray("RETR 1") << QByteArray("+OK\r\nshort\r\n.<pause>\r\n")
            << int(PopClient::MessageArrived) << QByteArray("short\r\n");
    }
    void repliesOverTheirCaps() {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, raw);
        QFETCH(int, code);
        QFETCH(QByteArray, text);
        FakePopServer server;
        server.messages = {mail("a@x.org", "one"), mail("b@x.org", "two")};
        server.rawReplies[command] = raw;
        PopClient client;
        client.setLimits({64, 100, 400});
        QSignalSpy status(&client, &PopClient::POPStatus);
        connectClient(client, server.port(), "u", "p");
        // The client's time-out is 30 seconds: every answer below comes well before it.
        if (code == PopClient::LineTooLong) {
            QTRY_COMPARE_WITH_TIMEOUT(lastCode(status), code, 5000);
            QVERIFY(!client.isConnected());
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(lastCode(status), int(PopClient::MessageListRetrieved), 5000);
        if (command.startsWith("TOP"))
            client.requestHeader(1);
        else
            client.requestMessage(1);
        QTRY_COMPARE_WITH_TIMEOUT(lastCode(status), code, 5000);
        QCOMPARE(client.text(), text);
        const qsizetype answered = status.size();
        client.requestMessage(2);
        QTRY_VERIFY_WITH_TIMEOUT(status.size() > answered, 5000);
        QCOMPARE(lastCode(status), int(PopClient::MessageArrived));
        QCOMPARE(client.text(), mail("b@x.org", "two") + "\r\n");
    }

    // A message over the cap is reported and left on the server; the run takes the others.
    void oversizedMessagesAreSkipped() {
        FakePopServer server;
        server.messages = {bounce("gone@x.org"), bounce("big@x.org", QByteArray("padding\r\n").repeated(200)),
                           bounce("last@x.org")};
        ProcessEMail process(home->prompter);
        process.popMain().setLimits({4096, 1024, 600});
        QSignalSpy texts(&process, &ProcessEMail::showCurrentOperation);
        QSignalSpy connected(&process, &ProcessEMail::connectionEstablished);
        QSignalSpy finished(&process, &ProcessEMail::processingFinished);
        process.connectToMailBox(server.host(), "u", "p", 0, false);
        QTRY_COMPARE(connected.size(), 1);
        process.setSearchVariables({}, ProcessEMail::FilterMethod::Undeliverable, true);
        process.processMailBox();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(process.outcome(), ProcessEMail::Outcome::Completed);
        QCOMPARE(process.addressCount(), 2);
        QCOMPARE(process.killList(), (QList<int>{1, 3}));
        QCOMPARE(process.skippedMessages(), QList<int>{2});
        QVERIFY(operations(texts).contains("Message 2 is larger than 600 octets; it was skipped and left on "
                                           "the server."));
        QVERIFY(!server.commands.contains("RETR 2"));
        QCOMPARE(ProcessEMail::tooLargeText(4, true, 1024 * 1024),
                 QStringLiteral("The header of message 4 is larger than 1 MiB; the message was skipped and "
                                "left on the server."));
    }

    // A reply has a deadline: octets trickling in do not put it off.
    void tricklingReplyTimesOut() {
        FakePopServer server;
        server.messages = {mail("a@x.org", "one")};
        server.trickleAt = "TOP 1";
        server.trickleMs = 20;
        PopClient client;
        client.setTimeout(10);
        client.setTimeoutUnitMs(20);
        QSignalSpy status(&client, &PopClient::POPStatus);
        connectClient(client, server.port(), "u", "p");
        QTRY_COMPARE(lastCode(status), int(PopClient::MessageListRetrieved));
        QElapsedTimer clock;
        clock.start();
        client.requestHeader(1);
        QTRY_COMPARE_WITH_TIMEOUT(lastCode(status), int(PopClient::TimedOut), 5000);
        QVERIFY(clock.elapsed() < 2000);
    }

    // A long message arriving at a steady pace may take longer than one time-out; a trickle may not.
    void steadyLongMessageIsNotCutOff() {
        FakePopServer server;
        // 48 steps 30 ms apart take longer than the one-second time-out, yet each comes well within it.
        server.messages = {mail("a@x.org", "big", QByteArray(3 * 1024 * 1024, 'm') + "\r\n")};
        server.paceAt = "RETR 1";
        server.paceMs = 30;
        PopClient client;
        client.setTimeout(20);
        client.setTimeoutUnitMs(50);
        QSignalSpy status(&client, &PopClient::POPStatus);
        connectClient(client, server.port(), "u", "p");
        QTRY_COMPARE(lastCode(status), int(PopClient::MessageListRetrieved));
        client.requestMessage(1);
        QTRY_COMPARE_WITH_TIMEOUT(lastCode(status), int(PopClient::MessageArrived), 10000);
        QCOMPARE(client.text(), server.messages.first() + "\r\n");
    }

    // Stop ends a run that waits for a silent or trickling server at once, not after the 30 second
    // time-out; what was collected is kept.
    void stopWhileAwaitingAReply_data() {
        QTest::addColumn<bool>("trickling");
        QTest::newRow("silent") << false;
        QTest::newRow("trickling") << true;
    }
    void stopWhileAwaitingAReply() {
        QFETCH(bool, trickling);
        FakePopServer server;
        server.messages = {mail("Ann Lee <ann@x.org>", "subscribe"), mail("bob@x.org", "subscribe")};
        (trickling ? server.trickleAt : server.silentAt) = "TOP 2";
        server.trickleMs = 200;
        ProcessEMail process(home->prompter);
        QSignalSpy connected(&process, &ProcessEMail::connectionEstablished);
        QSignalSpy finished(&process, &ProcessEMail::processingFinished);
        process.connectToMailBox(server.host(), "u", "p", 0, false);
        QTRY_COMPARE(connected.size(), 1);
        process.setSearchVariables({"subscribe"}, ProcessEMail::FilterMethod::Phrases, false);
        process.processMailBox();
        QTRY_VERIFY(server.commands.contains("TOP 2 0"));
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        process.stop();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(process.outcome(), ProcessEMail::Outcome::Stopped);
        QCOMPARE(process.addressCount(), 1);
        QVERIFY(QFile::exists(process.listPath()));
        QVERIFY(!process.isConnected());
    }

    // Ctrl-C stops the command as Stop does and it ends with its texts; a second signal ends it at once.
    // (Two SIGINTs sent together arrive as one: the second is a SIGTERM, and either may come first.)
    void interruptStopsTheCommand_data() {
        QTest::addColumn<int>("interrupts");
        QTest::addColumn<QList<int>>("status");
        QTest::newRow("once") << 1 << QList<int>{1};
        QTest::newRow("twice") << 2 << QList<int>{128 + SIGINT, 128 + SIGTERM};
    }
    void interruptStopsTheCommand() {
        QFETCH(int, interrupts);
        QFETCH(QList<int>, status);
        FakePopServer server;
        server.messages = {mail("Ann Lee <ann@x.org>", "subscribe"), mail("bob@x.org", "subscribe")};
        server.silentAt = "TOP 2";
        home->stop();
        QVERIFY(addAccount(*home, "Fake", server.host()));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TAMBERLYN_POP_PASSWORD", "p");
        program.setProcessEnvironment(environment);
        program.start(TAMBERLYN_EXECUTABLE, {"--home", home->path(), "--yes", "pop", "--account", "Fake",
                                             "--format", "importer", "--all", "--new-list", "Caught"});
        QTRY_VERIFY_WITH_TIMEOUT(server.commands.contains("TOP 2 0"), 30000);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < interrupts; ++i)
            ::kill(static_cast<pid_t>(program.processId()), i == 0 ? SIGINT : SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 5000);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(status.contains(program.exitCode()), qPrintable(QString::number(program.exitCode())));
        if (interrupts == 1) {
            const QString out = QString::fromUtf8(program.readAllStandardOutput());
            QVERIFY2(out.contains("Stopping\n") && out.contains("Message Processing Has Been Stopped"),
                     qPrintable(out));
            QVERIFY(QFile::exists(home->file("AddressLists/Caught.mdb")));
        }
    }

    // A session lost before the mailbox was read to its end changes no list and deletes nothing; the
    // addresses collected are reported.
    void lostSessionChangesNoList() {
        QVERIFY(MailboxFixture::saveList(*home, "Members", {"gone@x.org", "lost@x.org", "stay@x.org"}));
        FakePopServer server;
        server.messages = {bounce("gone@x.org"), bounce("lost@x.org")};
        server.cutAt = "RETR 2";
        server.cutAfter = 40;
        PopWizardRun run(home->prompter);
        bool asked = false;
        run.setConfirm([&asked](const PopWizardRun::Confirmation&) { return asked = true; });
        QSignalSpy finished(&run, &PopWizardRun::finished);
        PopWizardRun::Settings settings;
        settings.format = PopWizardRun::Format::Returned;
        settings.account = {"Fake", "u", "p", server.host()};
        settings.lists = {"Members"};
        settings.deleteFromServer = true;
        QVERIFY(run.validate(settings));
        run.start(settings);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(run.outcome(), PopWizardRun::Outcome::Failed);
        QVERIFY(!asked);
        QCOMPARE(listAddresses("Members"), (QStringList{"gone@x.org", "lost@x.org", "stay@x.org"}));
        QCOMPARE(home->prompter.texts().last(),
                 QStringLiteral("The mailbox could not be read to its end: no list was changed and no mail "
                                "was deleted from the server.\nAddresses collected before the failure: 1\n"
                                "gone@x.org"));
        for (const QByteArray& command : std::as_const(server.commands))
            QVERIFY2(!command.startsWith("DELE"), command.constData());
    }

    // Deletions that the session does not see through fail the run with the count the server confirmed.
    void failedDeletionFailsTheRun_data() {
        QTest::addColumn<QByteArray>("hangUpAt");
        QTest::addColumn<QByteArray>("silentAt");
        QTest::addColumn<int>("confirmed");
        QTest::newRow("hang-up at the second DELE") << QByteArray("DELE 2") << QByteArray() << 1;
        QTest::newRow("QUIT never answered") << QByteArray() << QByteArray("QUIT") << 2;
    }
    void failedDeletionFailsTheRun() {
        QFETCH(QByteArray, hangUpAt);
        QFETCH(QByteArray, silentAt);
        QFETCH(int, confirmed);
        FakePopServer server;
        server.messages = {mail("a@x.org", "subscribe"), mail("b@x.org", "subscribe")};
        server.hangUpAt = hangUpAt;
        server.silentAt = silentAt;
        PopWizardRun run(home->prompter);
        run.setConfirm([](const PopWizardRun::Confirmation&) { return true; });
        run.setTimeoutUnitMs(5);
        QSignalSpy finished(&run, &PopWizardRun::finished);
        PopWizardRun::Settings settings;
        settings.format = PopWizardRun::Format::Importer;
        settings.account = {"Fake", "u", "p", server.host()};
        settings.filter = PopWizardRun::FilterMethod::All;
        settings.newListName = "Senders";
        settings.deleteFromServer = true;
        run.start(settings);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(run.outcome(), PopWizardRun::Outcome::Failed);
        QCOMPARE(listAddresses("Senders").size(), 2);
        QCOMPARE(
            home->prompter.texts().last(),
            QStringLiteral("Deleting mail from the server did not complete: the server confirmed %1 of 2 "
                           "deletions.")
                .arg(confirmed));
    }

    // The command line says so and exits 1.
    void commandLineReportsFailedDeletion() {
        FakePopServer server;
        server.messages = {mail("a@x.org", "subscribe"), mail("b@x.org", "subscribe")};
        server.hangUpAt = "DELE 2";
        home->stop();
        qputenv("TAMBERLYN_POP_PASSWORD", "p");
        QVERIFY(addAccount(*home, "Fake", server.host()));
        const CommandRun run =
            runCommandLine({"--home", home->path(), "--yes", "pop", "--account", "Fake", "--format",
                            "importer", "--all", "--new-list", "Senders", "--delete-from-server"});
        qunsetenv("TAMBERLYN_POP_PASSWORD");
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("the server confirmed 1 of 2 deletions."), qPrintable(run.err));
        QVERIFY(!run.out.contains("Message Processing Has Completed"));
    }

    // Nothing is deleted when the list cannot be written or the confirmation is declined.
    void nothingIsDeletedUnlessTheListsWereWritten() {
        QVERIFY(MailboxFixture::saveList(*home, "Club", {"old@x.org"}));
        for (const bool confirm : {false, true}) {
            FakePopServer server;
            server.messages = {mail("new@x.org", "subscribe"), mail("x@x.org", "other")};
            if (confirm) {
                // The list file is damaged behind the registry's back.
                QFile file(DataTank::registeredPath(DataTank::GetListPath("Club")));
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
                file.write("not a database at all, just some text that is long enough");
            }
            PopWizardRun run(home->prompter);
            run.setConfirm([confirm](const PopWizardRun::Confirmation& c) {
                return confirm && c.title == "Confirm POP Retrieval Action" &&
                       c.text.startsWith(" Unique e-mail addresses found:  1\nnew@x.org");
            });
            QSignalSpy finished(&run, &PopWizardRun::finished);
            PopWizardRun::Settings settings;
            settings.format = PopWizardRun::Format::Subscription;
            settings.account = {"Fake", "u", "p", server.host()};
            settings.phrases = {"subscribe"};
            settings.method = PopWizardRun::Method::UpdateLists;
            settings.action = PopWizardRun::Action::Add;
            settings.lists = {"Club"};
            settings.deleteFromServer = true;
            QVERIFY(run.validate(settings));
            run.start(settings);
            QTRY_COMPARE(finished.size(), 1);
            QCOMPARE(run.outcome(), confirm ? PopWizardRun::Outcome::Failed : PopWizardRun::Outcome::Stopped);
            for (const QByteArray& command : std::as_const(server.commands))
                QVERIFY2(!command.startsWith("DELE"), command.constData());
        }
        QCOMPARE(
            home->prompter.texts().last(),
            QStringLiteral("The list 'Club' could not be changed; no mail was deleted from the server."));
    }

    void settingsAreCheckedFirst() {
        PopWizardRun run(home->prompter);
        PopWizardRun::Settings settings;
        settings.account = {"A", "u", "p", ""};
        QVERIFY(!run.validate(settings));
        settings.account.ServerName = "h";
        QVERIFY(!run.validate(settings));
        settings.phrases = {"x"};
        settings.format = PopWizardRun::Format::Returned;
        QVERIFY(!run.validate(settings));
        settings.format = PopWizardRun::Format::Subscription;
        settings.method = PopWizardRun::Method::UpdateLists;
        QVERIFY(!run.validate(settings));
        QCOMPARE(home->prompter.texts(),
                 (QStringList{
                     "You need to give a POP host name for your POP account.",
                     "You need to select at least one search phrase for you search.",
                     "You need to select a list or lists to remove the undeliverable addresses from.",
                     "You need to select a list or lists to add or remove the collected addresses from."}));
        QVERIFY(!PopWizardRun::formatFromText("POP Mail importer"));
        QCOMPARE(PopWizardRun::formatFromText("Returned Mail Manager"), PopWizardRun::Format::Returned);
    }
};

QTEST_GUILESS_MAIN(TestPopClient)
#include "tst_popclient.moc"
