#include "SendFixture.h"
#include "send/Corvex.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

using namespace SendFixture;

namespace {

struct Message {
    QString from;
    QStringList to;
    QByteArray body;
    bool batch = false;
};

QList<bool> accepted(const QList<RecipientResult>& results) {
    QList<bool> flags;
    for (const RecipientResult& r : results)
        flags << r.Accepted;
    return flags;
}

// Canned replies by command ("." ends the data); keeps every chunk read, to show what came in one write.
class CannedServer : public QObject {
public:
    explicit CannedServer(QList<QPair<QByteArray, QByteArray>> replies) : replies_(std::move(replies)) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            client_ = server_.nextPendingConnection();
            client_->write("220 canned\r\n");
            connect(client_, &QTcpSocket::readyRead, this, [this] { onRead(); });
        });
    }
    quint16 port() const { return server_.serverPort(); }
    QList<QByteArray> chunks;

private:
    void onRead() {
        const QByteArray chunk = client_->readAll();
        chunks << chunk;
        input_ += chunk;
        for (qsizetype end; (end = input_.indexOf("\r\n")) >= 0; input_.remove(0, end + 2)) {
            const QByteArray line = input_.left(end);
            for (const auto& [prefix, reply] : std::as_const(replies_)) {
                if (prefix == "." ? line == "." : line.startsWith(prefix)) {
                    client_->write(reply + lineEnd);
                    break;
                }
            }
        }
    }

    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    QList<QPair<QByteArray, QByteArray>> replies_;

public:
    QByteArray lineEnd = "\r\n"; // added to every reply

private:
    QByteArray input_;
};

const QByteArray simpleBody = "Subject: test\r\n\r\nHello.\r\n";

Message to(const QString& address, const QByteArray& body = simpleBody) {
    return Message{QStringLiteral("s@client.test"), {address}, body};
}
Message batch(const QStringList& addresses, const QByteArray& body = simpleBody) {
    return Message{QStringLiteral("s@client.test"), addresses, body, true};
}

// A Corvex aimed at a port on this host, driven as the session engine does from a queue of messages;
// it records what the component reports.
class Session : public QObject {
public:
    explicit Session(quint16 port, QList<Message> messages = {to(QStringLiteral("a@example.test"))})
        : queue(std::move(messages)) {
        smtp.setRemoteHost(QStringLiteral("127.0.0.1"));
        smtp.setRemotePort(QString::number(port));
        smtp.setTimeout(30);
        smtp.setTimeoutUnitMs(100);
        connect(&smtp, &Corvex::Connected, this, [this] { smtp.hello(QStringLiteral("client.test")); });
        connect(&smtp, &Corvex::Ready, this, [this] {
            ++ready;
            if (queue.isEmpty())
                return smtp.quit();
            current_ = queue.takeFirst();
            current_.batch ? smtp.sendMessageToBatch() : smtp.sendMessage();
        });
        connect(&smtp, &Corvex::SENDFrom, this, [this] { smtp.sender(current_.from); });
        connect(&smtp, &Corvex::SENDTo, this, [this] { smtp.recipient({current_.to.value(0), false}); });
        connect(&smtp, &Corvex::SENDToArray, this, [this] {
            QList<RecipientResult> batch;
            for (const QString& address : std::as_const(current_.to))
                batch.append({address, false});
            smtp.recipients(batch);
        });
        connect(&smtp, &Corvex::SENDBody, this, [this] { smtp.body(current_.body); });
        connect(&smtp, &Corvex::SENT, this, [this](const RecipientResult& r) { results << QList{r}; });
        connect(&smtp, &Corvex::SENTBlock, this, [this](const QList<RecipientResult>& r) { results << r; });
        connect(&smtp, &Corvex::DataRecieved, this, [this](const QString& sent, const QString& received) {
            log << QStringLiteral("C: ") + sent << QStringLiteral("S: ") + received;
        });
        connect(&smtp, &Corvex::State, this, [this](int n) {
            states << n;
            if (n == int(Corvex::ConnectionState::Closing))
                orderlyAtClosing << smtp.orderlyClose();
        });
        connect(&smtp, &Corvex::Disconnected, this, [this] { ++disconnected; });
        connect(&smtp, &Corvex::Timeout, this, [this] {
            ++timeouts;
            smtp.quit();
        });
    }

    // Connects and waits until the component has disconnected `ends` times in all.
    bool run(int ends = 1, int timeoutMs = 10000) {
        smtp.connectToServer();
        return QTest::qWaitFor([&] { return disconnected >= ends; }, timeoutMs);
    }
    QString logText() const { return log.join(u'\n'); }

    Corvex smtp;
    QList<Message> queue;
    QList<QList<RecipientResult>> results;
    QStringList log;
    QList<int> states;
    QList<bool> orderlyAtClosing;
    int ready = 0;
    int disconnected = 0;
    int timeouts = 0;

private:
    Message current_;
};

} // namespace

class TestCorvex : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    std::unique_ptr<Outbox> outbox(OutboxOptions options = {}) {
        static int number = 0;
        options.certificateDir = dir_.filePath(QStringLiteral("certificate"));
        return startOutbox(dir_.filePath(QStringLiteral("outbox%1").arg(++number)), options);
    }

    static bool haveMailServers() { return qEnvironmentVariableIsSet("TAMBERLYN_TEST_SMTP_PORT"); }

private Q_SLOTS:
    void deliversOneMessageAndQuits() {
        auto box = outbox();
        Session session(box->port());
        QVERIFY(session.run());
        QCOMPARE(session.results.size(), 1);
        QCOMPARE(session.results[0][0].Address, QStringLiteral("a@example.test"));
        QVERIFY(session.results[0][0].Accepted);
        QCOMPARE(session.orderlyAtClosing, QList<bool>{true});
        QVERIFY(session.smtp.orderlyClose());
        QCOMPARE(session.states.mid(0, 4), (QList<int>{4, 5, 6, 7}));
        QCOMPARE(session.states.last(), int(Corvex::ConnectionState::Closed));
        // The greeting comes with nothing sent; every command with its own reply.
        QCOMPARE(session.log.value(0), QStringLiteral("C: "));
        QVERIFY(session.log.value(1).startsWith(QLatin1String("S: 220 ")));
        QCOMPARE(session.log.value(2), QStringLiteral("C: EHLO client.test"));
        QVERIFY(session.logText().contains(QLatin1String("C: RCPT TO:<a@example.test>\nS: 250 2.1.5 Ok")));
        QVERIFY(session.logText().contains(QLatin1String("C: \r\n.\r\n\nS: 250 2.0.0 Ok: queued as 000001")));
        QVERIFY(session.logText().endsWith(QLatin1String("C: QUIT\nS: 221 2.0.0 Bye")));
        QCOMPARE(session.ready, 2);
        QCOMPARE(readFileBytes(box->directory() + QStringLiteral("/000001.eml")), simpleBody);
        QCOMPARE(readFileBytes(box->directory() + QStringLiteral("/000001.env")),
                 QByteArray("MAIL FROM:<s@client.test>\nRCPT TO:<a@example.test>\n"));
    }

    // One refusal does not stop a batch; bracketed addresses stay so; an all-refused batch is reset.
    void batchesWithRefusedRecipients() {
        OutboxOptions options;
        options.refusePattern = QStringLiteral("^refused");
        auto box = outbox(options);
        Session session(box->port(), {batch({"a@example.test", "REFUSED@example.test", "<b@example.test>"}),
                                      batch({"refused1@example.test", "refused2@example.test"}),
                                      to(QStringLiteral("c@example.test"))});
        session.queue[0].from = QStringLiteral("<s@client.test>");
        QVERIFY(session.run());
        const auto& results = session.results;
        QCOMPARE(results.size(), 3);
        QCOMPARE(accepted(results[0]), (QList<bool>{true, false, true}));
        QCOMPARE(results[0][2].Address, QStringLiteral("<b@example.test>"));
        QCOMPARE(accepted(results[1]), (QList<bool>{false, false}));
        QCOMPARE(accepted(results[2]), QList<bool>{true});
        QCOMPARE(box->storedCount(), 2);
        QCOMPARE(
            readFileBytes(box->directory() + QStringLiteral("/000001.env")),
            QByteArray("MAIL FROM:<s@client.test>\nRCPT TO:<a@example.test>\nRCPT TO:<b@example.test>\n"));
        const QString log = session.logText();
        QVERIFY(log.contains(QLatin1String("C: MAIL FROM:<s@client.test> SIZE=")));
        QVERIFY(
            log.contains(QLatin1String("C: DATA\nS: 554 5.5.1 Error: no valid recipients\nC: RSET\nS: 250")));
        QCOMPARE(log.count(QLatin1String("C: \r\n.\r\n")), 2);
    }

    // Line ends become CR LF, the data is stuffed, and only an 8-bit body asks for 8BITMIME.
    void normalisesBodies() {
        const QByteArray eightBit = QStringLiteral("Subject: x\r\n\r\nGrüße\r\n").toUtf8();
        const QList<QPair<QByteArray, QByteArray>> cases{
            {"A: b\r\n\r\ntext\r\n", "A: b\r\n\r\ntext\r\n"},
            {"A: b\r\n\r\ntext", "A: b\r\n\r\ntext\r\n"},
            {"A: b\n\ntwo\rlines\n", "A: b\r\n\r\ntwo\r\nlines\r\n"},
            {"A: b\r\n\r\n.\r\n..two\n.x\r\nend.\r\n.", "A: b\r\n\r\n.\r\n..two\r\n.x\r\nend.\r\n.\r\n"},
            {"A: b\r\n\r\ntext\r\n\r\n", "A: b\r\n\r\ntext\r\n\r\n"},
            {eightBit, eightBit}};
        auto box = outbox();
        QList<Message> messages;
        for (const auto& [body, stored] : cases)
            messages << to(QStringLiteral("a@example.test"), body);
        Session session(box->port(), messages);
        QVERIFY(session.run());
        for (qsizetype i = 0; i < cases.size(); ++i)
            QCOMPARE(
                readFileBytes(box->directory() + QStringLiteral("/%1.eml").arg(i + 1, 6, 10, QChar(u'0'))),
                cases[i].second);
        QVERIFY(!session.logText().contains(QLatin1String("text")));
        QCOMPARE(
            session.log.filter(QStringLiteral("BODY=8BITMIME")),
            QStringList{
                QStringLiteral("C: MAIL FROM:<s@client.test> SIZE=%1 BODY=8BITMIME").arg(eightBit.size())});
    }

    void securesTheConnectionAndMasksAuthentication_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("STARTTLS, PLAIN")
            << int(SmtpAuthMethod::Auto) << QStringList{"C: STARTTLS", "C: AUTH PLAIN ****"};
        QTest::newRow("STARTTLS, LOGIN") << int(SmtpAuthMethod::Login)
                                         << QStringList{"C: STARTTLS", "C: AUTH LOGIN", "C: ****", "C: ****"};
        // Certificates are checked unless the socket factory trusts them.
        QTest::newRow("untrusted certificate") << -1 << QStringList{"C: STARTTLS"};
    }
    void securesTheConnectionAndMasksAuthentication() {
        QFETCH(int, method);
        QFETCH(QStringList, expected);
        auto box = outbox();
        Session session(box->port());
        session.smtp.setSecurity(SmtpSecurity::StartTls);
        session.smtp.setCredentials(QStringLiteral("someone"), QStringLiteral("s3cret-pw"));
        if (method >= 0) {
            session.smtp.setAuthMethod(SmtpAuthMethod(method));
            session.smtp.setSocketFactory(trusting({box->certificate()}));
        }
        QVERIFY(session.run());
        QCOMPARE(session.log.filter(QRegularExpression(QStringLiteral("^C: (STARTTLS|AUTH|\\*)"))), expected);
        if (method < 0) {
            QCOMPARE(session.orderlyAtClosing, QList<bool>{false});
            QVERIFY(session.results.isEmpty());
            QCOMPARE(box->storedCount(), 0);
            QVERIFY(!session.smtp.lastReply().isEmpty());
            return;
        }
        QCOMPARE(box->storedCount(), 1);
        QVERIFY(session.results.value(0).value(0).Accepted);
        QCOMPARE(session.log.filter(QStringLiteral("C: EHLO")).size(), 2);
        for (const QByteArray& secret :
             {QByteArray("s3cret-pw"), QByteArray("s3cret-pw").toBase64(), QByteArray("someone").toBase64(),
              QByteArray("\0someone\0s3cret-pw", 18).toBase64()})
            QVERIFY(!session.logText().contains(QString::fromLatin1(secret)));
    }

    // The password goes over a plain connection only to a server on loopback or when that is allowed;
    // otherwise the session ends before AUTH and nothing of the password reaches the wire.
    void refusesUnencryptedAuthOffLoopback_data() {
        QTest::addColumn<bool>("remote");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<bool>("startTls");
        QTest::newRow("remote") << true << false << false;
        QTest::newRow("remote, allowed") << true << true << false;
        QTest::newRow("remote, STARTTLS") << true << false << true;
        QTest::newRow("loopback") << false << false << false;
    }
    void refusesUnencryptedAuthOffLoopback() {
        QFETCH(bool, remote);
        QFETCH(bool, allowed);
        QFETCH(bool, startTls);
        auto box = outbox();
        QByteArray wire;
        connect(box.get(), &Outbox::bytesReceived, this, [&](const QByteArray& bytes) { wire += bytes; });
        Session session(box->port());
        session.smtp.setCredentials(QStringLiteral("someone"), QStringLiteral("s3cret-pw"));
        session.smtp.setLoopbackCountsAsRemote(remote);
        session.smtp.setInsecureAuthAllowed(allowed);
        if (startTls) {
            session.smtp.setSecurity(SmtpSecurity::StartTls);
            session.smtp.setSocketFactory(trusting({box->certificate()}));
        }
        QVERIFY(session.run());
        if (remote && !allowed && !startTls) {
            QCOMPARE(session.smtp.lastReply(),
                     QStringLiteral("The connection is not encrypted, so the password was not sent. Choose "
                                    "STARTTLS or TLS, or allow an unencrypted log-in with "
                                    "SMTPAllowInsecureAuth=True."));
            QCOMPARE(session.orderlyAtClosing, QList<bool>{false});
            QVERIFY(session.results.isEmpty());
            QVERIFY(!wire.contains("AUTH"));
            QVERIFY(!wire.contains(QByteArray("\0someone\0s3cret-pw", 18).toBase64()));
            return;
        }
        QVERIFY(session.log.contains(QStringLiteral("C: AUTH PLAIN ****")));
        QCOMPARE(accepted(session.results.value(0)), QList<bool>{true});
    }

    // EHLO refused: HELO, no SIZE/BODY, one command a write. PIPELINING offered: one write for the envelope.
    void followsWhatTheServerOffers() {
        for (const bool pipelining : {false, true}) {
            CannedServer server(
                {{"EHLO", pipelining ? "250-canned\r\n250-PIPELINING\r\n250 " : "502 5.5.2 not here"},
                 {"HELO", "250 canned"},
                 {"MAIL", "250 ok"},
                 {"RCPT TO:<x", "550 no"},
                 {"RCPT", "250 ok"},
                 {"DATA", "354 go"},
                 {".", "250 stored"},
                 {"QUIT", "221 bye"}});
            Session session(server.port(), {batch({"a@example.test", "x@example.test"}, "Grüße")});
            QVERIFY(session.run());
            QCOMPARE(accepted(session.results.value(0)), (QList<bool>{true, false}));
            if (pipelining) {
                QVERIFY(server.chunks.contains(
                    QByteArray("MAIL FROM:<s@client.test>\r\nRCPT "
                               "TO:<a@example.test>\r\nRCPT TO:<x@example.test>\r\nDATA\r\n")));
                continue;
            }
            QVERIFY(session.logText().contains(
                QLatin1String("C: EHLO client.test\nS: 502 5.5.2 not here\nC: HELO client.test")));
            QVERIFY(session.log.contains(QStringLiteral("C: MAIL FROM:<s@client.test>")));
            for (const QByteArray& chunk : std::as_const(server.chunks))
                QVERIFY2(!(chunk.contains("MAIL") && chunk.contains("RCPT")), chunk.constData());
        }
    }

    // An unasked end (421, hang-up, nobody listening) is a drop with the last reply as its reason.
    void dropsGiveTheirReason() {
        CannedServer closing({{"EHLO", "250-canned\r\n250 PIPELINING"},
                              {"MAIL", "250 ok"},
                              {"RCPT", "421 4.7.0 too many errors"},
                              {"DATA", "503 no"}});
        OutboxOptions options;
        options.dropAfterMessages = 1;
        auto box = outbox(options);
        QTcpServer unused;
        unused.listen(QHostAddress::LocalHost);
        const quint16 closedPort = unused.serverPort();
        unused.close();
        const QList<QPair<quint16, QString>> cases{{closing.port(), "421 4.7.0 too many errors"},
                                                   {box->port(), "The server closed the connection."},
                                                   {closedPort, "Connection refused"}};
        for (const auto& [port, reason] : cases) {
            Session session(port,
                            {to(QStringLiteral("a@example.test")), to(QStringLiteral("b@example.test"))});
            QVERIFY(session.run());
            QCOMPARE(session.orderlyAtClosing, QList<bool>{false});
            QVERIFY(!session.smtp.orderlyClose());
            QCOMPARE(session.smtp.lastReply(), reason);
            QCOMPARE(session.results.size(), port == box->port() ? 1 : 0);
            QCOMPARE(
                session.states.mid(session.states.size() - 2),
                (QList<int>{int(Corvex::ConnectionState::Closing), int(Corvex::ConnectionState::Closed)}));
        }
    }

    // An address or sender holding a line break is refused without a word to the server, and the session
    // goes on with the rest: no line of the wire comes from inside an address.
    void refusesAddressesWithLineBreaks() {
        for (const bool pipelining : {false, true}) {
            CannedServer server({{"EHLO", pipelining ? "250-canned\r\n250 PIPELINING" : "250 canned"},
                                 {"MAIL", "250 ok"},
                                 {"RCPT", "250 ok"},
                                 {"DATA", "354 go"},
                                 {"RSET", "250 reset"},
                                 {".", "250 stored"},
                                 {"QUIT", "221 bye"}});
            Message badSender = to(QStringLiteral("f@example.test"));
            badSender.from = QStringLiteral("s@client.test>\r\nRSET\r\nMAIL FROM:<s@client.test");
            Session session(server.port(),
                            {batch({"a@example.test", "b@example.test\r\nDATA", "c@example.test"}),
                             to(QStringLiteral("d@example.test>\nRSET")), badSender,
                             to(QStringLiteral("e@example.test"))});
            QVERIFY(session.run());
            QCOMPARE(session.results.size(), 4);
            QCOMPARE(accepted(session.results[0]), (QList<bool>{true, false, true}));
            QCOMPARE(accepted(session.results[1]), QList<bool>{false});
            QCOMPARE(accepted(session.results[2]), QList<bool>{false});
            QCOMPARE(accepted(session.results[3]), QList<bool>{true});
            QVERIFY(session.smtp.orderlyClose());
            const Transcript wire = transcriptOf(server.chunks.join());
            QVERIFY(!wire.bareLineBreak);
            QVERIFY2(onlyKnownCommands(wire), wire.commands.join('|').constData());
            QCOMPARE(wire.startingWith("RCPT"),
                     (QList<QByteArray>{"RCPT TO:<a@example.test>", "RCPT TO:<c@example.test>",
                                        "RCPT TO:<e@example.test>"}));
            QCOMPARE(wire.startingWith("MAIL").size(), 2);
            QVERIFY(wire.startingWith("RSET").isEmpty());
        }
    }

    // A reply line of at most 4096 octets and a reply of at most 64 KiB are read; past either cap the
    // session ends with the cap named, whether or not the line or reply ever ends.
    void capsReplies_data() {
        QTest::addColumn<QByteArray>("ehloReply");
        QTest::addColumn<QString>("failure");
        const QByteArray line = "250-" + QByteArray(4090, 'x') + "\r\n"; // 4096 octets with its end
        const QString lineText = QStringLiteral("The server's reply line is longer than 4096 octets.");
        const QString replyText = QStringLiteral("The server's reply is longer than 65536 octets.");
        QTest::newRow("line at the cap") << "250 " + QByteArray(4092, 'x') + "\r\n" << QString();
        QTest::newRow("line over the cap") << "250 " + QByteArray(4093, 'x') + "\r\n" << lineText;
        QTest::newRow("line without end") << "250 " + QByteArray(200000, 'x') << lineText;
        QTest::newRow("reply at the cap") << line.repeated(15) + "250 " + QByteArray(4090, 'x') + "\r\n"
                                          << QString();
        QTest::newRow("reply over the cap") << line.repeated(16) + "250 x\r\n" << replyText;
        QTest::newRow("reply without end") << line.repeated(40) << replyText;
    }
    void capsReplies() {
        QFETCH(QByteArray, ehloReply);
        QFETCH(QString, failure);
        CannedServer server({{"EHLO", ehloReply},
                             {"MAIL", "250 ok\r\n"},
                             {"RCPT", "250 ok\r\n"},
                             {"DATA", "354 go\r\n"},
                             {".", "250 stored\r\n"},
                             {"QUIT", "221 bye\r\n"}});
        server.lineEnd.clear();
        Session session(server.port());
        QVERIFY(session.run());
        QCOMPARE(session.timeouts, 0);
        if (failure.isEmpty()) {
            QCOMPARE(accepted(session.results.value(0)), QList<bool>{true});
            return;
        }
        QCOMPARE(session.orderlyAtClosing, QList<bool>{false});
        QCOMPARE(session.smtp.lastReply(), failure);
        QVERIFY(session.results.isEmpty());
    }

    // The time-out is a deadline for each reply: a server that trickles a byte now and then without
    // finishing its reply still times out.
    void tricklingServerTimesOut() {
        TricklingServer server(50);
        Session session(server.port());
        session.smtp.setTimeout(6);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(session.run(1, 10000));
        QCOMPARE(session.timeouts, 1);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(session.results.isEmpty());
    }

    // A silent server: Timeout once, the message is not counted, quit closes in an orderly way.
    void timesOutOnceWhenTheServerGoesSilent() {
        OutboxOptions options;
        options.silentAfterMessages = 1;
        auto box = outbox(options);
        Session session(box->port(), QList<Message>(3, to(QStringLiteral("a@example.test"))));
        session.smtp.setTimeout(3);
        session.smtp.setTimeoutUnitMs(50);
        QVERIFY(session.run());
        QTest::qWait(300);
        QCOMPARE(session.timeouts, 1);
        QCOMPARE(session.results.size(), 1);
        QCOMPARE(session.smtp.lastSent(), QStringLiteral("QUIT"));
        QCOMPARE(session.orderlyAtClosing, QList<bool>{true});
        QCOMPARE(box->storedCount(), 1);
    }

    // After a drop and after a quit the component connects again.
    void reconnectsAfterADropAndAQuit() {
        OutboxOptions options;
        options.dropAfterMessages = 1;
        auto box = outbox(options);
        Session session(box->port(),
                        {to(QStringLiteral("a@example.test")), to(QStringLiteral("b@example.test"))});
        QVERIFY(session.run());
        for (const int end : {2, 3}) {
            session.queue << to(QStringLiteral("c@example.test"));
            QVERIFY(session.run(end));
        }
        QCOMPARE(session.orderlyAtClosing, (QList<bool>{false, true, true}));
        QCOMPARE(session.results.size(), 3);
        QVERIFY(session.results[1][0].Accepted);
        QCOMPARE(box->storedCount(), 3);
    }

    // Postfix with TLS and AUTH; it would refuse the body's bare line feeds if they were sent.
    void authenticatesWithPostfix_data() {
        QTest::addColumn<quint16>("port");
        QTest::addColumn<int>("security");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("STARTTLS, PLAIN") << quint16(2587) << int(SmtpSecurity::StartTls)
                                         << int(SmtpAuthMethod::Auto) << "box03@example.test"
                                         << "testpw";
        QTest::newRow("TLS, LOGIN") << quint16(2465) << int(SmtpSecurity::Tls) << int(SmtpAuthMethod::Login)
                                    << "box04@example.test"
                                    << "testpw";
        QTest::newRow("wrong password") << quint16(2587) << int(SmtpSecurity::StartTls)
                                        << int(SmtpAuthMethod::Auto) << "box05@example.test"
                                        << "wrongpw";
    }
    void authenticatesWithPostfix() {
        QFETCH(quint16, port);
        QFETCH(int, security);
        QFETCH(int, method);
        QFETCH(QString, user);
        QFETCH(QString, password);
        if (!haveMailServers())
            QSKIP("TAMBERLYN_TEST_SMTP_PORT is not set: no test mail server");
        const QByteArray token = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        Session session(
            port, {to(user, "From: <s@client.test>\nSubject: " + token + "\n\n.Dotted line\nbare LF\n")});
        session.smtp.setTimeoutUnitMs(1000);
        session.smtp.setSecurity(SmtpSecurity(security));
        session.smtp.setAuthMethod(SmtpAuthMethod(method));
        session.smtp.setCredentials(user, password);
        session.smtp.setSocketFactory(
            trusting(QSslCertificate::fromPath(qEnvironmentVariable("TAMBERLYN_TEST_CERT"))));
        QVERIFY(session.run(1, 40000));
        QVERIFY(!session.logText().contains(password));
        if (password != QLatin1String("testpw")) {
            // A refused login ends the session as a drop, with the server's reply as the reason.
            QCOMPARE(session.orderlyAtClosing, QList<bool>{false});
            QVERIFY2(session.smtp.lastReply().startsWith(QLatin1String("535")),
                     qPrintable(session.smtp.lastReply()));
            QVERIFY(session.results.isEmpty());
            QCOMPARE(session.ready, 0);
            return;
        }
        QVERIFY2(session.orderlyAtClosing == QList<bool>{true}, qPrintable(session.logText()));
        QCOMPARE(accepted(session.results.value(0)), QList<bool>{true});
        QTRY_COMPARE_WITH_TIMEOUT(
            deliveredWith(user.section(u'@', 0, 0), token, "\n\n.Dotted line\nbare LF\n"), 1, 5000);
    }
};

QTEST_GUILESS_MAIN(TestCorvex)
#include "tst_corvex.moc"
