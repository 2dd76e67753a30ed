#include "mailbox/MailHeaders.h"
#include "mailbox/PopClient.h"

#include <QTest>

class TestMailHeaders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void phrasesMatchAsWholeWords_data() {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QStringList>("phrases");
        QTest::addColumn<int>("expected");
        const QStringList subscribe{"subscribe"};
        QTest::newRow("any case") << "Please SUBSCRIBE me" << subscribe << 0;
        QTest::newRow("whole subject") << "subscribe" << subscribe << 0;
        QTest::newRow("inside a longer word") << "Unsubscribed" << subscribe << -1;
        QTest::newRow("followed by a colon") << "subscribe: now" << subscribe << -1;
        QTest::newRow("second occurrence stands alone") << "unsubscribe or subscribe" << subscribe << 0;
        QTest::newRow("first matching phrase decides")
            << "join list now" << QStringList{"x", "list", "join list"} << 1;
        QTest::newRow("phrase with blanks") << "please join  list" << QStringList{"join list"} << -1;
        QTest::newRow("failure phrase with colon")
            << "Undeliverable: hello" << MailHeaders::failurePhrases()
            << int(MailHeaders::failurePhrases().indexOf("Undeliverable:"));
        QTest::newRow("no phrases") << "anything" << QStringList{} << -1;
    }
    void phrasesMatchAsWholeWords() {
        QFETCH(QString, subject);
        QFETCH(QStringList, phrases);
        QFETCH(int, expected);
        QCOMPARE(MailHeaders::matchingPhrase(subject, phrases), expected);
    }

    void headersAreUnfoldedAndDecoded_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("from");
        QTest::newRow("base64 and quoted-printable")
            << QByteArray("Subject: =?UTF-8?B?Qml0dGUgc3Vic2NyaWJl?=\r\n"
                          "From: =?iso-8859-1?Q?J=FCrgen_M=FCller?= <j@x.org>\r\n\r\nbody: x\r\n")
            << "Bitte subscribe" << QStringLiteral("Jürgen Müller <j@x.org>");
        QTest::newRow("folded, adjacent encoded words")
            << QByteArray("subject: Please\r\n\tjoin =?utf-8?q?li?=\r\n =?utf-8?q?st?= now\nFROM: a@b.org\n")
            << "Please join list now"
            << "a@b.org";
        QTest::newRow("raw UTF-8 and a bad charset")
            << QByteArray("Subject: Grüße =?x-unknown?Q?ok?=\r\n") << QStringLiteral("Grüße ok") << QString();
    }
    void headersAreUnfoldedAndDecoded() {
        QFETCH(QByteArray, header);
        QFETCH(QString, subject);
        QFETCH(QString, from);
        const QList<MailHeaders::Field> fields = MailHeaders::parse(header);
        QCOMPARE(MailHeaders::value(fields, "Subject"), subject);
        QCOMPARE(MailHeaders::value(fields, "From"), from);
        QVERIFY(!MailHeaders::has(fields, "body"));
    }

    // The report's failed recipient wins; without one, the first "To: " line after the subject.
    void returnedMailNamesTheFailedRecipient() {
        const QByteArray report =
            "Subject: Undelivered Mail Returned to Sender\r\n"
            "Auto-Submitted: auto-replied\r\n"
            "Content-Type: multipart/report; report-type=delivery-status;\r\n\tboundary=\"B1\"\r\n\r\n"
            "--B1\r\nContent-Type: text/plain\r\n\r\nTo: someone-else@x.org\r\n\r\n"
            "--B1\r\nContent-Description: Delivery report\r\nContent-Type: message/delivery-status\r\n\r\n"
            "Reporting-MTA: dns; mail.example.test\r\n\r\n"
            "Final-Recipient: rfc822; ok@x.org\r\nAction: delivered\r\n\r\n"
            "Final-Recipient: rfc822; final@x.org\r\nOriginal-Recipient: rfc822;orig@x.org\r\n"
            "Action: failed\r\nStatus: 5.1.1\r\n\r\n--B1--\r\n";
        const QList<MailHeaders::Field> fields = MailHeaders::parse(report);
        QVERIFY(MailHeaders::isDeliveryReport(fields));
        QVERIFY(MailHeaders::isAutoReply(fields));
        QCOMPARE(MailHeaders::reportedRecipient(report), QStringLiteral("orig@x.org"));

        const QByteArray plain = "To: me@x.org\r\nSubject: Returned mail\r\n\r\nOriginal:\r\nCc: a@x.org\r\n"
                                 "To: Gone <gone@x.org>\r\n";
        QVERIFY(!MailHeaders::isDeliveryReport(MailHeaders::parse(plain)));
        QCOMPARE(MailHeaders::reportedRecipient(plain), QString());
        QCOMPARE(MailHeaders::toLineAfterSubject(plain), QStringLiteral("Gone <gone@x.org>"));
        QCOMPARE(MailHeaders::toLineAfterSubject("To: a@x.org\r\n"), QString());
        // The bounce's own To (the sender of the original) after its Subject is not the failed address.
        QCOMPARE(
            MailHeaders::toLineAfterSubject("Subject: Undeliverable\r\nTo: me@x.org\r\n\r\nFrom: me@x.org\r\n"
                                            "To: lost@x.org\r\nSubject: hi\r\n"),
            QStringLiteral("lost@x.org"));
    }

    void autoRepliesAreRecognised_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("autoReply");
        QTest::newRow("auto-replied") << QByteArray("Auto-Submitted: auto-replied\r\n") << true;
        QTest::newRow("auto-submitted no") << QByteArray("Auto-Submitted: no\r\nSubject: Mail\r\n") << false;
        QTest::newRow("out of office") << QByteArray("Subject: Out of Office: back Monday\r\n") << true;
        QTest::newRow("x-autoreply") << QByteArray("X-Autoreply: yes\r\n") << true;
        QTest::newRow("ordinary") << QByteArray("Subject: Returned mail\r\n") << false;
    }
    void autoRepliesAreRecognised() {
        QFETCH(QByteArray, header);
        QFETCH(bool, autoReply);
        QCOMPARE(MailHeaders::isAutoReply(MailHeaders::parse(header)), autoReply);
    }

    void serverTextsGiveHostPortAndSecurity_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("security");
        using S = PopServer::Security;
        QTest::newRow("bare") << "pop.x.org"
                              << "pop.x.org" << 110 << int(S::None);
        QTest::newRow("995 is TLS") << "pop.x.org:995"
                                    << "pop.x.org" << 995 << int(S::Tls);
        QTest::newRow("pop3s") << "POP3S://pop.x.org"
                               << "pop.x.org" << 995 << int(S::Tls);
        QTest::newRow("pop3s with port") << "pop3s://127.0.0.1:1995"
                                         << "127.0.0.1" << 1995 << int(S::Tls);
        QTest::newRow("starttls") << "pop3+starttls://h:1110"
                                  << "h" << 1110 << int(S::StartTls);
        QTest::newRow("plain prefix on 995") << "pop3://h:995"
                                             << "h" << 995 << int(S::None);
        QTest::newRow("bad port") << "h:70000"
                                  << "" << 0 << -1;
        QTest::newRow("empty") << "pop3s://"
                               << "" << 0 << -1;
    }
    void serverTextsGiveHostPortAndSecurity() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, security);
        const PopServer server = PopServer::parse(text);
        QCOMPARE(server.valid, security >= 0);
        if (!server.valid)
            return;
        QCOMPARE(server.host, host);
        QCOMPARE(int(server.port), port);
        QCOMPARE(int(server.security), security);
    }
};

QTEST_GUILESS_MAIN(TestMailHeaders)
#include "tst_mailheaders.moc"
