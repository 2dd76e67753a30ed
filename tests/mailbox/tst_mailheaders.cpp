#include "mailbox/MailHeaders.h"
#include "mailbox/PopClient.h"
#include "send/Verp.h"

#include <QTest>

class TestMailHeaders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void phrasesMatchAsWholeWords() {
        const QStringList subscribe{"subscribe"};
        const QList<std::tuple<QString, QStringList, int>> cases{
            {"Please SUBSCRIBE me", subscribe, 0},            // any case
            {"subscribe", subscribe, 0},                      // the whole subject
            {"Unsubscribed", subscribe, -1},                  // inside a longer word
            {"subscribe: now", subscribe, -1},                // followed by a colon
            {"unsubscribe or subscribe", subscribe, 0},       // a second occurrence that stands alone
            {"join list now", {"x", "list", "join list"}, 1}, // the first matching phrase decides
            {"please join  list", {"join list"}, -1},
            {"Undeliverable: hello", MailHeaders::failurePhrases(),
             int(MailHeaders::failurePhrases().indexOf("Undeliverable:"))},
            {"anything", {}, -1}};
        for (const auto& [subject, phrases, expected] : cases)
            QVERIFY2(MailHeaders::matchingPhrase(subject, phrases) == expected, qPrintable(subject));
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

    // The recipient a VERP bounce address carries, encoded as the sending side encodes it.
    void verpAddressesCarryTheRecipient_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("recipient");
        QTest::newRow("delivered-to first")
            << QByteArray("To: b+x=y.org@e.org\r\nDelivered-To: b+ann=x.net@e.org\r\n") << "ann@x.net";
        QTest::newRow("x-original-to")
            << QByteArray("X-Original-To: <b+ann+news=x.net@e.org>\r\n") << "ann+news@x.net";
        QTest::newRow("to with a name")
            << QByteArray("To: \"Bounces\" <b+a=b=x.net@e.org>\r\n") << "a=b@x.net";
        QTest::newRow("a plain address carries none") << QByteArray("Delivered-To: bounce@e.org\r\n") << "";
        QTest::newRow("a sub-address carries none") << QByteArray("To: me+news@e.org\r\n") << "";
        QTest::newRow("nothing after the =") << QByteArray("To: b+ann=@e.org\r\n") << "";
    }
    void verpAddressesCarryTheRecipient() {
        QFETCH(QByteArray, header);
        QFETCH(QString, recipient);
        QCOMPARE(MailHeaders::verpRecipient(MailHeaders::parse(header)), recipient);
        if (!recipient.isEmpty())
            QCOMPARE(Verp::decode(Verp::encode(QStringLiteral("bounce@example.org"), recipient)), recipient);
    }

    void autoRepliesAreRecognised() {
        const QList<QPair<QByteArray, bool>> cases{{"Auto-Submitted: auto-replied\r\n", true},
                                                   {"Auto-Submitted: no\r\nSubject: Mail\r\n", false},
                                                   {"Subject: Out of Office: back Monday\r\n", true},
                                                   {"X-Autoreply: yes\r\n", true},
                                                   {"Subject: Returned mail\r\n", false}};
        for (const auto& [header, autoReply] : cases)
            QVERIFY2(MailHeaders::isAutoReply(MailHeaders::parse(header)) == autoReply, header.constData());
    }

    void serverTextsGiveHostPortAndSecurity() {
        using S = PopServer::Security;
        const struct {
            QString text, host;
            int port;
            S security;
        } valid[] = {{"pop.x.org", "pop.x.org", 110, S::None},
                     {"pop.x.org:995", "pop.x.org", 995, S::Tls},
                     {"POP3S://pop.x.org", "pop.x.org", 995, S::Tls},
                     {"pop3s://127.0.0.1:1995", "127.0.0.1", 1995, S::Tls},
                     {"pop3+starttls://h:1110", "h", 1110, S::StartTls},
                     {"pop3://h:995", "h", 995, S::None}};
        for (const auto& c : valid) {
            const PopServer server = PopServer::parse(c.text);
            QVERIFY2(server.valid && server.host == c.host && server.port == c.port &&
                         server.security == c.security,
                     qPrintable(c.text));
        }
        QVERIFY(!PopServer::parse("h:70000").valid);
        QVERIFY(!PopServer::parse("pop3s://").valid);
    }
};

QTEST_GUILESS_MAIN(TestMailHeaders)
#include "tst_mailheaders.moc"
