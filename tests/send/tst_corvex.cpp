#include "send/Corvex.h"
#include "send/Outbox.h"

#include <QDir>
#include <QDirIterator>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

namespace {

struct Message {
    QString from;
    QStringList to;
    QByteArray body;
    bool batch = false;
};

// Drives a Corvex as the session engine does: answers every event from a list of messages and
// records what the component reports.
class Owner : public QObject {
public:
    explicit Owner(Corvex& smtp) : smtp_(smtp) {
        connect(&smtp, &Corvex::Connected, this, [this] { smtp_.hello(QStringLiteral("client.test")); });
        connect(&smtp, &Corvex::Ready, this, [this] { onReady(); });
        connect(&smtp, &Corvex::SENDFrom, this, [this] { smtp_.sender(current_.from); });
        connect(&smtp, &Corvex::SENDTo, this, [this] { smtp_.recipient({current_.to.value(0), false}); });
        connect(&smtp, &Corvex::SENDToArray, this, [this] {
            QList<RecipientResult> batch;
            for (const QString& address : std::as_const(current_.to))
                batch.append({address, false});
            smtp_.recipients(batch);
        });
        connect(&smtp, &Corvex::SENDBody, this, [this] { smtp_.body(current_.body); });
        connect(&smtp, &Corvex::SENT, this, [this](const RecipientResult& r) { results << QList{r}; });
        connect(&smtp, &Corvex::SENTBlock, this, [this](const QList<RecipientResult>& r) { results << r; });
        connect(&smtp, &Corvex::DataRecieved, this, [this](const QString& sent, const QString& received) {
            log << QStringLiteral("C: ") + sent << QStringLiteral("S: ") + received;
        });
        connect(&smtp, &Corvex::State, this, [this](int n) {
            states << n;
            if (n == int(Corvex::ConnectionState::Closing))
                orderlyAtClosing << smtp_.orderlyClose();
        });
        connect(&smtp, &Corvex::Disconnected, this, [this] { ++disconnected; });
        connect(&smtp, &Corvex::Timeout, this, [this] {
            ++timeouts;
            smtp_.quit();
        });
    }

    void onReady() {
        ++ready;
        if (queue.isEmpty()) {
            if (quitWhenDone)
                smtp_.quit();
            return;
        }
        current_ = queue.takeFirst();
        if (current_.batch)
            smtp_.sendMessageToBatch();
        else
            smtp_.sendMessage();
    }

    QString logText() const { return log.join(u'\n'); }

    QList<Message> queue;
    bool quitWhenDone = true;
    QList<QList<RecipientResult>> results;
    QStringList log;
    QList<int> states;
    QList<bool> orderlyAtClosing;
    int ready = 0;
    int disconnected = 0;
    int timeouts = 0;

private:
    Corvex& smtp_;
    Message current_;
};

SslSocketFactory trusting(const QList<QSslCertificate>& certificates) {
    return [certificates] {
        auto socket = std::make_unique<QSslSocket>();
        QSslConfiguration configuration = socket->sslConfiguration();
        configuration.addCaCertificates(certificates);
        socket->setSslConfiguration(configuration);
        return socket;
    };
}

QList<bool> accepted(const QList<RecipientResult>& results) {
    QList<bool> flags;
    for (const RecipientResult& r : results)
        flags << r.Accepted;
    return flags;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A server with canned replies for what the outbox never does (refusing EHLO, offering nothing);
// it keeps every chunk it read, so a test can see what came in one write.
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
        while (true) {
            if (inData_) {
                const qsizetype end = input_.indexOf("\r\n.\r\n");
                if (end < 0)
                    return;
                input_.remove(0, end + 5);
                inData_ = false;
                client_->write("250 stored\r\n");
                continue;
            }
            const qsizetype nl = input_.indexOf("\r\n");
            if (nl < 0)
                return;
            const QByteArray line = input_.left(nl);
            input_.remove(0, nl + 2);
            for (const auto& [prefix, reply] : std::as_const(replies_)) {
                if (line.startsWith(prefix)) {
                    client_->write(reply + "\r\n");
                    inData_ = reply.startsWith("354");
                    break;
                }
            }
        }
    }

    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    QList<QPair<QByteArray, QByteArray>> replies_;
    QByteArray input_;
    bool inData_ = false;
};

// Files in a test maildir (new and cur) that hold the text.
int deliveredWith(const QString& mailbox, const QByteArray& text, const QByteArray& alsoText = {}) {
    int count = 0;
    QDirIterator it(mailbox, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if ((path.contains(QLatin1String("/new/")) || path.contains(QLatin1String("/cur/"))) &&
            fileBytes(path).contains(text) && fileBytes(path).contains(alsoText))
            ++count;
    }
    return count;
}

const QByteArray simpleBody = "Subject: test\r\n\r\nHello.\r\n";

} // namespace

class TestCorvex : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    std::unique_ptr<Outbox> outbox(OutboxOptions options = {}) {
        static int number = 0;
        options.directory = dir_.filePath(QStringLiteral("outbox%1").arg(++number));
        options.certificateDir = dir_.filePath(QStringLiteral("certificate"));
        auto box = std::make_unique<Outbox>();
        QString error;
        if (!box->start(options, &error))
            qWarning() << error;
        return box;
    }

    static void point(Corvex& smtp, quint16 port) {
        smtp.setRemoteHost(QStringLiteral("127.0.0.1"));
        smtp.setRemotePort(QString::number(port));
        smtp.setTimeout(30);
        smtp.setTimeoutUnitMs(100);
    }

    static bool haveMailServers() { return qEnvironmentVariableIsSet("TAMBERLYN_TEST_SMTP_PORT"); }

private Q_SLOTS:
    void deliversOneMessageAndQuits() {
        auto box = outbox();
        Corvex smtp;
        Owner owner(smtp);
        owner.queue << Message{
            QStringLiteral("sender@client.test"), {QStringLiteral("a@example.test")}, simpleBody};
        point(smtp, box->port());
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);

        QCOMPARE(owner.results.size(), 1);
        QCOMPARE(owner.results[0][0].Address, QStringLiteral("a@example.test"));
        QVERIFY(owner.results[0][0].Accepted);
        QCOMPARE(owner.orderlyAtClosing, QList<bool>{true});
        QVERIFY(smtp.orderlyClose());
        QCOMPARE(owner.states.mid(0, 4), (QList<int>{4, 5, 6, 7}));
        QCOMPARE(owner.states.last(), int(Corvex::ConnectionState::Closed));
        // The greeting comes with nothing sent; every command with its own reply.
        QCOMPARE(owner.log.value(0), QStringLiteral("C: "));
        QVERIFY(owner.log.value(1).startsWith(QLatin1String("S: 220 ")));
        QCOMPARE(owner.log.value(2), QStringLiteral("C: EHLO client.test"));
        QVERIFY(owner.logText().contains(QLatin1String("C: RCPT TO:<a@example.test>\nS: 250 2.1.5 Ok")));
        QVERIFY(owner.logText().contains(QLatin1String("C: \r\n.\r\n\nS: 250 2.0.0 Ok: queued as 000001")));
        QVERIFY(owner.logText().endsWith(QLatin1String("C: QUIT\nS: 221 2.0.0 Bye")));
        QCOMPARE(smtp.lastSent(), QStringLiteral("QUIT"));
        QCOMPARE(owner.ready, 2);
        QCOMPARE(fileBytes(box->directory() + QStringLiteral("/000001.eml")), simpleBody);
        QCOMPARE(fileBytes(box->directory() + QStringLiteral("/000001.env")),
                 QByteArray("MAIL FROM:<sender@client.test>\nRCPT TO:<a@example.test>\n"));
    }

    // A batch goes out pipelined; a refused recipient does not stop the others. Addresses already
    // in brackets keep them; when all of a message's recipients are refused it is reset, not sent.
    void batchesWithRefusedRecipients() {
        OutboxOptions options;
        options.refusePattern = QStringLiteral("^refused");
        auto box = outbox(options);
        Corvex smtp;
        Owner owner(smtp);
        owner.queue
            << Message{QStringLiteral("<sender@client.test>"),
                       {QStringLiteral("a@example.test"), QStringLiteral("REFUSED@example.test"),
                        QStringLiteral("<b@example.test>")},
                       simpleBody,
                       true}
            << Message{QStringLiteral("sender@client.test"),
                       {QStringLiteral("refused1@example.test"), QStringLiteral("refused2@example.test")},
                       simpleBody,
                       true}
            << Message{QStringLiteral("sender@client.test"), {QStringLiteral("c@example.test")}, simpleBody};
        point(smtp, box->port());
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);

        QCOMPARE(owner.results.size(), 3);
        QCOMPARE(accepted(owner.results[0]), (QList<bool>{true, false, true}));
        QCOMPARE(owner.results[0][2].Address, QStringLiteral("<b@example.test>"));
        QCOMPARE(accepted(owner.results[1]), (QList<bool>{false, false}));
        QCOMPARE(accepted(owner.results[2]), QList<bool>{true});
        QCOMPARE(box->storedCount(), 2);
        QCOMPARE(fileBytes(box->directory() + QStringLiteral("/000001.env")),
                 QByteArray(
                     "MAIL FROM:<sender@client.test>\nRCPT TO:<a@example.test>\nRCPT TO:<b@example.test>\n"));
        const QString log = owner.logText();
        QVERIFY(log.contains(QLatin1String("C: MAIL FROM:<sender@client.test> SIZE=")));
        QVERIFY(
            log.contains(QLatin1String("C: DATA\nS: 554 5.5.1 Error: no valid recipients\nC: RSET\nS: 250")));
        QCOMPARE(log.count(QLatin1String("C: \r\n.\r\n")), 2);
    }

    void normalisesLineEndsAndStuffsDots_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("ends in CR LF")
            << QByteArray("A: b\r\n\r\ntext\r\n") << QByteArray("A: b\r\n\r\ntext\r\n");
        QTest::newRow("no line end at the end")
            << QByteArray("A: b\r\n\r\ntext") << QByteArray("A: b\r\n\r\ntext\r\n");
        QTest::newRow("bare LF and bare CR")
            << QByteArray("A: b\n\ntwo\rlines\n") << QByteArray("A: b\r\n\r\ntwo\r\nlines\r\n");
        QTest::newRow("dots") << QByteArray("A: b\r\n\r\n.\r\n..two\n.x\r\nend.\r\n.")
                              << QByteArray("A: b\r\n\r\n.\r\n..two\r\n.x\r\nend.\r\n.\r\n");
        QTest::newRow("ends in an empty line")
            << QByteArray("A: b\r\n\r\ntext\r\n\r\n") << QByteArray("A: b\r\n\r\ntext\r\n\r\n");
    }
    void normalisesLineEndsAndStuffsDots() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, stored);
        auto box = outbox();
        Corvex smtp;
        Owner owner(smtp);
        owner.queue << Message{QStringLiteral("s@client.test"), {QStringLiteral("a@example.test")}, body};
        point(smtp, box->port());
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(fileBytes(box->directory() + QStringLiteral("/000001.eml")), stored);
        QVERIFY(!owner.logText().contains(QLatin1String("text")));
    }

    void asksForEightBitTransportOnlyForEightBitBodies() {
        auto box = outbox();
        Corvex smtp;
        Owner owner(smtp);
        const QByteArray eightBit = QStringLiteral("Subject: x\r\n\r\nGrüße\r\n").toUtf8();
        owner.queue << Message{QStringLiteral("s@client.test"),
                               {QStringLiteral("a@example.test")},
                               simpleBody}
                    << Message{QStringLiteral("s@client.test"), {QStringLiteral("a@example.test")}, eightBit};
        point(smtp, box->port());
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(
            owner.log.filter(QStringLiteral("BODY=8BITMIME")),
            QStringList{
                QStringLiteral("C: MAIL FROM:<s@client.test> SIZE=%1 BODY=8BITMIME").arg(eightBit.size())});
        QCOMPARE(fileBytes(box->directory() + QStringLiteral("/000002.eml")), eightBit);
    }

    void securesTheConnectionAndMasksAuthentication_data() {
        QTest::addColumn<int>("security");
        QTest::addColumn<int>("method");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("STARTTLS, PLAIN")
            << int(SmtpSecurity::StartTls) << int(SmtpAuthMethod::Auto)
            << QStringList{QStringLiteral("C: STARTTLS"), QStringLiteral("C: AUTH PLAIN ****")};
        QTest::newRow("STARTTLS, LOGIN")
            << int(SmtpSecurity::StartTls) << int(SmtpAuthMethod::Login)
            << QStringList{QStringLiteral("C: STARTTLS"), QStringLiteral("C: AUTH LOGIN"),
                           QStringLiteral("C: ****"), QStringLiteral("C: ****")};
    }
    void securesTheConnectionAndMasksAuthentication() {
        QFETCH(int, security);
        QFETCH(int, method);
        QFETCH(QStringList, expected);
        auto box = outbox();
        Corvex smtp;
        Owner owner(smtp);
        owner.queue << Message{
            QStringLiteral("s@client.test"), {QStringLiteral("a@example.test")}, simpleBody};
        point(smtp, box->port());
        smtp.setSecurity(SmtpSecurity(security));
        smtp.setAuthMethod(SmtpAuthMethod(method));
        smtp.setCredentials(QStringLiteral("someone"), QStringLiteral("s3cret-pw"));
        smtp.setSocketFactory(trusting({box->certificate()}));
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(box->storedCount(), 1);
        QVERIFY(owner.results.value(0).value(0).Accepted);
        const QStringList sent =
            owner.log.filter(QRegularExpression(QStringLiteral("^C: (STARTTLS|AUTH|\\*)")));
        QCOMPARE(sent, expected);
        QCOMPARE(owner.log.filter(QStringLiteral("C: EHLO")).size(), 2);
        for (const QByteArray& secret :
             {QByteArray("s3cret-pw"), QByteArray("s3cret-pw").toBase64(), QByteArray("someone").toBase64(),
              QByteArray("\0someone\0s3cret-pw", 18).toBase64()})
            QVERIFY(!owner.logText().contains(QString::fromLatin1(secret)));
    }

    // Certificates are checked unless the socket factory trusts them.
    void refusesAnUntrustedCertificate() {
        auto box = outbox();
        Corvex smtp;
        Owner owner(smtp);
        owner.queue << Message{
            QStringLiteral("s@client.test"), {QStringLiteral("a@example.test")}, simpleBody};
        point(smtp, box->port());
        smtp.setSecurity(SmtpSecurity::StartTls);
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(owner.orderlyAtClosing, QList<bool>{false});
        QVERIFY(owner.results.isEmpty());
        QCOMPARE(box->storedCount(), 0);
        QVERIFY(!smtp.lastReply().isEmpty());
    }

    void fallsBackToHeloAndSendsStepByStepWithoutPipelining() {
        CannedServer server({{"EHLO", "502 5.5.2 not here"},
                             {"HELO", "250 canned"},
                             {"MAIL", "250 ok"},
                             {"RCPT TO:<x", "550 no"},
                             {"RCPT", "250 ok"},
                             {"DATA", "354 go"},
                             {"QUIT", "221 bye"}});
        Corvex smtp;
        Owner owner(smtp);
        owner.queue << Message{QStringLiteral("s@client.test"),
                               {QStringLiteral("a@example.test"), QStringLiteral("x@example.test")},
                               QByteArray("Grüße"),
                               true};
        point(smtp, server.port());
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(accepted(owner.results.value(0)), (QList<bool>{true, false}));
        QVERIFY(owner.logText().contains(
            QLatin1String("C: EHLO client.test\nS: 502 5.5.2 not here\nC: HELO client.test")));
        // Nothing offered: no SIZE, no BODY, and one command per write.
        QVERIFY(owner.log.contains(QStringLiteral("C: MAIL FROM:<s@client.test>")));
        for (const QByteArray& chunk : std::as_const(server.chunks))
            QVERIFY2(!(chunk.contains("MAIL") && chunk.contains("RCPT")), chunk.constData());
    }

    void pipelinesTheEnvelopeInOneWrite() {
        CannedServer server({{"EHLO", "250-canned\r\n250-PIPELINING\r\n250 "},
                             {"MAIL", "250 ok"},
                             {"RCPT", "250 ok"},
                             {"DATA", "354 go"},
                             {"QUIT", "221 bye"}});
        Corvex smtp;
        Owner owner(smtp);
        owner.queue << Message{QStringLiteral("s@client.test"),
                               {QStringLiteral("a@example.test"), QStringLiteral("b@example.test")},
                               simpleBody,
                               true};
        point(smtp, server.port());
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(accepted(owner.results.value(0)), (QList<bool>{true, true}));
        QVERIFY(
            server.chunks.contains(QByteArray("MAIL FROM:<s@client.test>\r\nRCPT TO:<a@example.test>\r\nRCPT "
                                              "TO:<b@example.test>\r\nDATA\r\n")));
    }

    // 421 closes the channel: the session ends as a drop with that reply as the reason.
    void endsOnServiceClosing() {
        CannedServer server({{"EHLO", "250-canned\r\n250 PIPELINING"},
                             {"MAIL", "250 ok"},
                             {"RCPT", "421 4.7.0 too many errors"},
                             {"DATA", "503 no"}});
        Corvex smtp;
        Owner owner(smtp);
        owner.queue << Message{
            QStringLiteral("s@client.test"), {QStringLiteral("a@example.test")}, simpleBody};
        point(smtp, server.port());
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(owner.orderlyAtClosing, QList<bool>{false});
        QCOMPARE(smtp.lastReply(), QStringLiteral("421 4.7.0 too many errors"));
        QVERIFY(owner.results.isEmpty());
    }

    // A silent server: Timeout once, the message is not counted, quit closes in an orderly way.
    void timesOutOnceWhenTheServerGoesSilent() {
        OutboxOptions options;
        options.silentAfterMessages = 1;
        auto box = outbox(options);
        Corvex smtp;
        Owner owner(smtp);
        for (int i = 0; i < 3; ++i)
            owner.queue << Message{
                QStringLiteral("s@client.test"), {QStringLiteral("a@example.test")}, simpleBody};
        point(smtp, box->port());
        smtp.setTimeout(3);
        smtp.setTimeoutUnitMs(50);
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QTest::qWait(300);
        QCOMPARE(owner.timeouts, 1);
        QCOMPARE(owner.results.size(), 1);
        QCOMPARE(smtp.lastSent(), QStringLiteral("QUIT"));
        QCOMPARE(owner.orderlyAtClosing, QList<bool>{true});
        QCOMPARE(box->storedCount(), 1);
    }

    // A dropped connection closes with the orderly flag false and a reason; a quit one is
    // orderly, and the component connects again after it.
    void tellsDropsFromQuitsAndReconnects() {
        OutboxOptions options;
        options.dropAfterMessages = 1;
        auto box = outbox(options);
        Corvex smtp;
        Owner owner(smtp);
        owner.queue
            << Message{QStringLiteral("s@client.test"), {QStringLiteral("a@example.test")}, simpleBody}
            << Message{QStringLiteral("s@client.test"), {QStringLiteral("b@example.test")}, simpleBody};
        point(smtp, box->port());
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(owner.orderlyAtClosing, QList<bool>{false});
        QVERIFY(!smtp.orderlyClose());
        QCOMPARE(smtp.lastReply(), QStringLiteral("The server closed the connection."));
        QCOMPARE(owner.results.size(), 1);
        QCOMPARE(owner.states.mid(owner.states.size() - 2),
                 (QList<int>{int(Corvex::ConnectionState::Closing), int(Corvex::ConnectionState::Closed)}));

        owner.queue << Message{
            QStringLiteral("s@client.test"), {QStringLiteral("c@example.test")}, simpleBody};
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 2);
        QCOMPARE(owner.orderlyAtClosing, (QList<bool>{false, true}));
        QCOMPARE(owner.results.size(), 2);
        QVERIFY(owner.results[1][0].Accepted);

        owner.queue << Message{
            QStringLiteral("s@client.test"), {QStringLiteral("d@example.test")}, simpleBody};
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 3);
        QCOMPARE(owner.orderlyAtClosing, (QList<bool>{false, true, true}));
        QCOMPARE(box->storedCount(), 3);
    }

    void refusedConnectionIsADrop() {
        QTcpServer unused;
        unused.listen(QHostAddress::LocalHost);
        const quint16 port = unused.serverPort();
        unused.close();
        Corvex smtp;
        Owner owner(smtp);
        point(smtp, port);
        smtp.connectToServer();
        QTRY_COMPARE(owner.disconnected, 1);
        QCOMPARE(owner.orderlyAtClosing, QList<bool>{false});
        QCOMPARE(smtp.lastReply(), QStringLiteral("Connection refused"));
    }

    // The real Postfix: per-recipient and batch delivery into the maildirs, an unknown user
    // refused; the body's bare line feeds would be refused by this strict server if sent.
    void deliversThroughPostfix() {
        if (!haveMailServers())
            QSKIP("TAMBERLYN_TEST_SMTP_PORT is not set: no test mail server");
        const QString maildir =
            qEnvironmentVariable("TAMBERLYN_TEST_MAIL_DIR") + QStringLiteral("/example.test/");
        const QByteArray token = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        const QByteArray body = "From: <sender@client.test>\nTo: <box01@example.test>\nSubject: " + token +
                                "\nDate: Sun, 06 Dec 2026 12:00:00 +0000\n\n.Dotted line\nbare LF\n";
        Corvex smtp;
        Owner owner(smtp);
        owner.queue
            << Message{QStringLiteral("sender@client.test"), {QStringLiteral("box01@example.test")}, body}
            << Message{QStringLiteral("sender@client.test"),
                       {QStringLiteral("box01@example.test"), QStringLiteral("nosuchuser@example.test"),
                        QStringLiteral("box02@example.test")},
                       body,
                       true};
        point(smtp, qEnvironmentVariableIntValue("TAMBERLYN_TEST_SMTP_PORT"));
        smtp.setTimeoutUnitMs(1000);
        smtp.connectToServer();
        QTRY_COMPARE_WITH_TIMEOUT(owner.disconnected, 1, 40000);
        QCOMPARE(owner.results.size(), 2);
        QCOMPARE(accepted(owner.results[0]), QList<bool>{true});
        QCOMPARE(accepted(owner.results[1]), (QList<bool>{true, false, true}));
        QVERIFY(owner.logText().contains(QLatin1String("S: 550 5.1.1 <nosuchuser@example.test>")));
        QTRY_COMPARE_WITH_TIMEOUT(deliveredWith(maildir + QStringLiteral("box01"), token), 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(deliveredWith(maildir + QStringLiteral("box02"), token), 1, 5000);
        QCOMPARE(deliveredWith(maildir + QStringLiteral("box02"), token, "\n.Dotted line\nbare LF\n"), 1);
    }

    void authenticatesWithPostfix_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("security");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("STARTTLS, PLAIN")
            << QStringLiteral("2587") << int(SmtpSecurity::StartTls) << int(SmtpAuthMethod::Auto)
            << QStringLiteral("box03@example.test") << QStringLiteral("testpw") << true;
        QTest::newRow("TLS, LOGIN") << QStringLiteral("2465") << int(SmtpSecurity::Tls)
                                    << int(SmtpAuthMethod::Login) << QStringLiteral("box04@example.test")
                                    << QStringLiteral("testpw") << true;
        QTest::newRow("wrong password")
            << QStringLiteral("2587") << int(SmtpSecurity::StartTls) << int(SmtpAuthMethod::Auto)
            << QStringLiteral("box05@example.test") << QStringLiteral("wrongpw") << false;
    }
    void authenticatesWithPostfix() {
        QFETCH(QString, port);
        QFETCH(int, security);
        QFETCH(int, method);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, delivered);
        if (!haveMailServers())
            QSKIP("TAMBERLYN_TEST_SMTP_PORT is not set: no test mail server");
        const QString maildir =
            qEnvironmentVariable("TAMBERLYN_TEST_MAIL_DIR") + QStringLiteral("/example.test/");
        const QByteArray token = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        Corvex smtp;
        Owner owner(smtp);
        owner.queue << Message{QStringLiteral("sender@client.test"),
                               {user},
                               "Subject: " + token + "\r\nFrom: <sender@client.test>\r\n\r\nHello\r\n"};
        point(smtp, port.toUShort());
        smtp.setTimeoutUnitMs(1000);
        smtp.setSecurity(SmtpSecurity(security));
        smtp.setAuthMethod(SmtpAuthMethod(method));
        smtp.setCredentials(user, password);
        smtp.setSocketFactory(
            trusting(QSslCertificate::fromPath(qEnvironmentVariable("TAMBERLYN_TEST_CERT"))));
        smtp.connectToServer();
        QTRY_COMPARE_WITH_TIMEOUT(owner.disconnected, 1, 40000);
        QVERIFY(!owner.logText().contains(password));
        if (!delivered) {
            // A refused login ends the session as a drop, with the server's reply as the reason.
            QCOMPARE(owner.orderlyAtClosing, QList<bool>{false});
            QVERIFY2(smtp.lastReply().startsWith(QLatin1String("535")), qPrintable(smtp.lastReply()));
            QVERIFY(owner.results.isEmpty());
            QCOMPARE(owner.ready, 0);
            return;
        }
        QVERIFY2(owner.orderlyAtClosing == QList<bool>{true}, qPrintable(owner.logText() + smtp.lastReply()));
        QCOMPARE(accepted(owner.results.value(0)), QList<bool>{true});
        QTRY_COMPARE_WITH_TIMEOUT(deliveredWith(maildir + user.section(u'@', 0, 0), token), 1, 5000);
    }
};

QTEST_GUILESS_MAIN(TestCorvex)
#include "tst_corvex.moc"
