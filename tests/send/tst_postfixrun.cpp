#include "SendFixture.h"
#include "core/SecretStore.h"
#include "core/TlsTrust.h"
#include "send/SelfSignedCertificate.h"

#include <QUuid>

using namespace SendFixture;

// Mailing runs against the private Postfix (mailboxes box20 to box39).
class TestPostfixRun : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;
    QString token;

    bool waitForDelivery(const QStringList& boxes) const {
        return QTest::qWaitFor(
            [&] {
                return std::all_of(boxes.begin(), boxes.end(),
                                   [&](const QString& b) { return deliveredWith(b, token.toLatin1()) == 1; });
            },
            30000);
    }

    MessageRecord message(bool personal) {
        MessageRecord m =
            plainMessage(QStringLiteral("Postfix"), QStringLiteral("Delivered by Postfix.\r\n"));
        m.Subject = QStringLiteral("Run ") + token;
        m.AddressType = personal ? 1 : 0;
        return m;
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("TAMBERLYN_TEST_SMTP_PORT") ||
            qEnvironmentVariableIsEmpty("TAMBERLYN_TEST_MAIL_DIR"))
            QSKIP("TAMBERLYN_TEST_SMTP_PORT and TAMBERLYN_TEST_MAIL_DIR are not set: no test mail server "
                  "(./test starts one)");
    }
    void init() {
        token = QUuid::createUuid().toString(QUuid::WithoutBraces);
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
        appSettings().SMTPPort = qEnvironmentVariableIntValue("TAMBERLYN_TEST_SMTP_PORT");
    }
    void cleanup() { home.reset(); }

    void runsDeliverToKnownUsersAndMarkThem_data() {
        QTest::addColumn<bool>("personal");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("per recipient") << true << QStringList{"box20", "box21"};
        QTest::newRow("batch") << false << QStringList{"box22", "box23"};
    }
    void runsDeliverToKnownUsersAndMarkThem() {
        QFETCH(bool, personal);
        QFETCH(QStringList, boxes);
        QStringList addresses;
        for (const QString& box : boxes)
            addresses << box + QStringLiteral("@example.test");
        addresses.insert(1, QStringLiteral("nobody-here@example.test"));
        QVERIFY(makeList(*home, QStringLiteral("Real"), people(addresses)));
        QVERIFY(makeMessage(message(personal)));
        MailEvent options = plainOptions(QStringLiteral("Real"));
        QVERIFY(options.storeMEP());

        Run run(*home, options, QStringLiteral("Real"), QStringLiteral("Postfix"));
        run.socket->setTimeoutUnitMs(1000);
        QVERIFY(run.runToEnd(60000));
        QVERIFY(run.completed);
        QCOMPARE(run.socket->perRecipientMode(), personal);
        QCOMPARE(run.socket->passedCount(), 2);
        QCOMPARE(run.socket->failedCount(), 1);
        QVERIFY(run.lines.contains(QStringLiteral("fail To: nobody-here@example.test")));
        QCOMPARE(markedCount(QStringLiteral("Real")), 2);
        QCOMPARE(marks(QStringLiteral("Real")).value(QStringLiteral("nobody-here@example.test")), QString());
        QVERIFY2(waitForDelivery(boxes), "the messages did not arrive in the maildirs");
    }

    // Four sessions at once: each greets the server itself, and every mailbox gets its message once.
    void fourSessionsDeliverEachMessageOnce() {
        QStringList boxes;
        for (int i = 60; i < 68; ++i)
            boxes << QStringLiteral("box%1").arg(i);
        QStringList addresses;
        for (const QString& box : boxes)
            addresses << box + QStringLiteral("@example.test");
        QVERIFY(makeList(*home, QStringLiteral("Sessions"), people(addresses)));
        QVERIFY(makeMessage(message(true)));
        MailEvent options = plainOptions(QStringLiteral("Sessions"));
        options.Connections = 4;
        QVERIFY(options.storeMEP());

        Run run(*home, options, QStringLiteral("Sessions"), QStringLiteral("Postfix"));
        run.socket->setTimeoutUnitMs(1000);
        int mostOpen = 0;
        connect(run.socket.get(), &SMTPSocket::OpenSessionsChanged, this,
                [&](int open) { mostOpen = qMax(mostOpen, open); });
        QVERIFY(run.runToEnd(60000));
        QVERIFY(run.completed);
        QCOMPARE(mostOpen, 4);
        QCOMPARE(run.socket->passedCount(), 8);
        QCOMPARE(markedCount(QStringLiteral("Sessions")), 8);
        QVERIFY2(waitForDelivery(boxes), "the messages did not arrive in the maildirs once each");
        const QString log = QString::fromUtf8(readFileBytes(appFolders().sendLog()));
        QVERIFY(log.contains(QStringLiteral("\r\n[2] C: EHLO ")));
        QVERIFY(!log.contains(QStringLiteral("[5] ")));
    }

    void startTlsWithAuthentication() {
        if (qEnvironmentVariableIsEmpty("TAMBERLYN_TEST_CERT"))
            QSKIP("TAMBERLYN_TEST_CERT is not set");
        AppSettings& settings = appSettings();
        settings.SMTPPort = 2587; // STARTTLS required
        settings.SMTPSecurity = QStringLiteral("STARTTLS");
        settings.SMTPUserName = QStringLiteral("box24@example.test");
        SecretStore::setEnabled(false);
        qputenv("TAMBERLYN_SMTP_PASSWORD", "testpw");
        QVERIFY(makeList(*home, QStringLiteral("Secure"), people({QStringLiteral("box24@example.test")})));
        QVERIFY(makeMessage(message(true)));
        MailEvent options = plainOptions(QStringLiteral("Secure"));
        QVERIFY(options.storeMEP());

        Run run(*home, options, QStringLiteral("Secure"), QStringLiteral("Postfix"));
        run.socket->setTimeoutUnitMs(1000);
        run.socket->setSocketFactory(
            trusting(QSslCertificate::fromPath(qEnvironmentVariable("TAMBERLYN_TEST_CERT"))));
        QVERIFY(run.runToEnd(60000));
        qunsetenv("TAMBERLYN_SMTP_PASSWORD");
        SecretStore::setEnabled(true);
        QVERIFY(run.completed);
        QCOMPARE(run.socket->passedCount(), 1);
        const QByteArray log = readFileBytes(appFolders().sendLog());
        QVERIFY(log.contains("C: STARTTLS"));
        QVERIFY(log.contains("C: AUTH PLAIN ****") || log.contains("C: AUTH LOGIN"));
        QVERIFY(!log.contains("testpw"));
        QVERIFY(!log.contains(QByteArray("box24@example.test\0testpw", 25).toBase64()));
        QVERIFY2(waitForDelivery({QStringLiteral("box24")}), "the message did not arrive in the maildir");
    }

    // The server's self-signed certificate is refused until it is trusted by its pinned fingerprint or a
    // CA file; a pin of another certificate (the server's was replaced) is refused naming both.
    void certificateTrust_data() {
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("trust"); // none, pin, pin-hex, other-pin, ca, other-ca
        QTest::addColumn<bool>("delivered");
        for (const char* security : {"STARTTLS", "SSL/TLS"}) {
            const auto row = [&](const char* trust, bool delivered) {
                QTest::addRow("%s %s", security, trust) << security << trust << delivered;
            };
            row("none", false);
            row("pin", true);
            row("pin-hex", true);
            row("other-pin", false);
            row("ca", true);
            row("other-ca", false);
        }
    }
    void certificateTrust() {
        QFETCH(QString, security);
        QFETCH(QString, trust);
        QFETCH(bool, delivered);
        if (qEnvironmentVariableIsEmpty("TAMBERLYN_TEST_CERT"))
            QSKIP("TAMBERLYN_TEST_CERT is not set");
        const QString serverCertFile = qEnvironmentVariable("TAMBERLYN_TEST_CERT");
        const QSslCertificate server = QSslCertificate::fromPath(serverCertFile).value(0);
        QVERIFY(!server.isNull());
        QTemporaryDir other;
        const SelfSignedCertificate replaced = SelfSignedCertificate::loadOrCreate(other.path());
        QVERIFY(!replaced.isNull());

        AppSettings& settings = appSettings();
        const bool tls = security == QLatin1String("SSL/TLS");
        settings.SMTPPort = tls ? 2465 : 2525; // implicit TLS wants a log-in
        settings.SMTPSecurity = security;
        settings.MailServer = QStringLiteral("127.0.0.1");
        if (tls)
            settings.SMTPUserName = QStringLiteral("box25@example.test");
        SecretStore::setEnabled(false);
        qputenv("TAMBERLYN_SMTP_PASSWORD", "testpw");
        const QString pin = TlsTrust::fingerprint(server);
        const QString otherPin = TlsTrust::fingerprint(replaced.certificate);
        if (trust == QLatin1String("pin"))
            settings.SMTPCertificateSHA256 = pin;
        else if (trust == QLatin1String("pin-hex"))
            settings.SMTPCertificateSHA256 = pin.toLower().remove(u':');
        else if (trust == QLatin1String("other-pin"))
            settings.SMTPCertificateSHA256 = otherPin;
        else if (trust == QLatin1String("ca"))
            settings.SMTPCAFile = serverCertFile;
        else if (trust == QLatin1String("other-ca"))
            settings.SMTPCAFile = other.filePath(QStringLiteral("outbox-cert.pem"));

        QVERIFY(makeList(*home, QStringLiteral("Trust"), people({QStringLiteral("box25@example.test")})));
        QVERIFY(makeMessage(message(true)));
        MailEvent options = plainOptions(QStringLiteral("Trust"));
        QVERIFY(options.storeMEP());
        Run run(*home, options, QStringLiteral("Trust"), QStringLiteral("Postfix"));
        run.socket->setTimeoutUnitMs(1000);
        QVERIFY(run.runToEnd(60000));
        qunsetenv("TAMBERLYN_SMTP_PASSWORD");
        SecretStore::setEnabled(true);
        QCOMPARE(run.completed, delivered);
        QCOMPARE(run.socket->passedCount(), delivered ? 1 : 0);
        if (delivered)
            QVERIFY2(waitForDelivery({QStringLiteral("box25")}), "the message did not arrive in the maildir");
        else
            QCOMPARE(deliveredWith(QStringLiteral("box25"), token.toLatin1()), 0);
        if (trust == QLatin1String("other-pin")) {
            const QString reason = run.lines.filter(QStringLiteral("Reason: ")).value(0);
            QVERIFY2(reason.contains(otherPin) && reason.contains(pin) &&
                         reason.contains(QStringLiteral("127.0.0.1:") + QString::number(settings.SMTPPort)),
                     qPrintable(run.lines.join(u'\n')));
        }
    }
};

QTEST_GUILESS_MAIN(TestPostfixRun)
#include "tst_postfixrun.moc"
