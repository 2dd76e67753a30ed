// Unsubscribe requests and bounces as they come back through the loopback Postfix and Dovecot after a
// mailing run (boxes 10-19: box10 takes the bounces, box11 the unsubscribe mail).

#include "MailboxFixture.h"
#include "core/AppSettings.h"
#include "db/Database.h"
#include "support/CommandRun.h"

#include <QRegularExpression>
#include <QTest>

using namespace MailboxFixture;

namespace {

constexpr int BounceBox = 10;
constexpr int UnsubscribeBox = 11;

QStringList listAddresses(const QString& home, const QString& list) {
    QStringList addresses;
    const db::Database database =
        db::Database::open(home + QStringLiteral("/AddressLists/") + list + QStringLiteral(".mdb"),
                           db::Database::OpenMode::ReadOnly);
    db::Statement query =
        database.prepare(QStringLiteral("SELECT EAddress FROM AddressList ORDER BY lower(EAddress)"));
    while (query.next())
        addresses << query.text(0);
    return addresses;
}

// A header field of a delivered message, unfolded.
QByteArray headerField(const QByteArray& message, const QByteArray& name) {
    const QByteArray head =
        message.left(message.indexOf("\r\n\r\n") < 0 ? message.indexOf("\n\n") : message.indexOf("\r\n\r\n"));
    const QRegularExpression field(
        QStringLiteral("^") + QString::fromLatin1(name) + QStringLiteral(":[ \\t]*(.*(?:\\r?\\n[ \\t].*)*)"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    QString value = field.match(QString::fromUtf8(head)).captured(1);
    return value.replace(QRegularExpression(QStringLiteral("\\r?\\n")), QString()).trimmed().toUtf8();
}

} // namespace

class TestDeliveryLoop : public QObject {
    Q_OBJECT

    Servers servers_ = MailboxFixture::servers();
    QString token_;

    static CommandRun tamberlyn(const TestHome& home, const QStringList& arguments) {
        const CommandRun run = runCommandLine(QStringList{"--home", home.path(), "--yes"} + arguments);
        if (run.status != 0)
            qWarning().noquote() << arguments.join(u' ') << run.status << run.err << run.out;
        return run;
    }

    // A home with the list, a message that greets each recipient by address, a mailing of both under
    // the delivery options given, and the server on port; the mailing's number.
    QString prepareMailing(TestHome& home, const QStringList& addresses, const QStringList& options,
                           int port) {
        if (tamberlyn(home, {"init"}).status != 0 || !home.start())
            return {};
        const bool listed = saveList(home, QStringLiteral("News"), addresses);
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                       QString::number(port));
        home.stop();
        const QString text = home.file(QStringLiteral("news.txt"));
        QFile file(text);
        if (!listed || !file.open(QIODevice::WriteOnly) || file.write("News for <<EAddress>>.\r\n") < 0)
            return {};
        file.close();
        if (tamberlyn(home,
                      {"message", "import", "--name", "News", "--subject", "News " + token_, "--text", text})
                    .status != 0 ||
            tamberlyn(home, QStringList{"options", "set", "Loop", "From=sender@example.test",
                                        "SmtpServer=127.0.0.1", "bFlagSends=False", "bSendInBlocks=False"} +
                                options)
                    .status != 0 ||
            tamberlyn(home, {"groups", "add", "Loop"}).status != 0)
            return {};
        return tamberlyn(home, {"mailing", "create", "--group", "Loop", "--list", "News", "--message", "News",
                                "--options", "Loop"})
            .out.trimmed();
    }

    bool addAccount(const TestHome& home, int box) {
        qputenv("TAMBERLYN_POP_PASSWORD", "testpw");
        const CommandRun run =
            tamberlyn(home, {"pop-account", "add", QStringLiteral("Box%1").arg(box), "--host",
                             QStringLiteral("127.0.0.1:%1").arg(servers_.popPort), "--user", boxAddress(box),
                             "--remember"});
        qunsetenv("TAMBERLYN_POP_PASSWORD");
        return run.status == 0;
    }

    // The files of the box that hold this run's token.
    QStringList delivered(int box) const {
        QStringList files;
        for (const QString& file : boxFiles(servers_, box))
            if (readFileBytes(file).contains(token_.toLatin1()))
                files << file;
        return files;
    }
    bool waitForDelivered(const QList<int>& boxes, int count) const {
        return QTest::qWaitFor(
            [&] {
                return std::all_of(boxes.begin(), boxes.end(),
                                   [&](int box) { return delivered(box).size() == count; });
            },
            30000);
    }

private Q_SLOTS:
    void initTestCase() {
        if (!servers_.available())
            QSKIP(skipReason());
    }
    void init() {
        token_ = QUuid::createUuid().toString(QUuid::WithoutBraces);
        for (int box = 10; box <= 19; ++box)
            clearBox(servers_, box);
    }

    // A reader answers the List-Unsubscribe of the copy delivered to them; the subscription run with the
    // category init made removes exactly that reader, and the next run of the mailing leaves them out.
    void unsubscribeMailClosesTheLoop() {
        TestHome home;
        const QStringList readers = {boxAddress(12), boxAddress(13), boxAddress(14)};
        const QString id = prepareMailing(home, readers, {"UnsubscribeAddress=" + boxAddress(UnsubscribeBox)},
                                          servers_.smtpPort);
        QVERIFY(!id.isEmpty());
        QCOMPARE(readFileBytes(home.file("Search Files/Unsubscribe.dat")),
                 QByteArray("1|unsubscribe\nBN_EOF\n"));
        QCOMPARE(tamberlyn(home, {"send", id, "--quiet"}).status, 0);
        QVERIFY2(waitForDelivered({12, 13, 14}, 1), "the mailing was not delivered");

        // The mail client's side: the mailto link of the copy box13 received, sent from box13.
        const QByteArray copy = readFileBytes(delivered(13).first());
        const QByteArray header = headerField(copy, "List-Unsubscribe");
        const QRegularExpressionMatch mailto =
            QRegularExpression(QStringLiteral("<mailto:([^?>]+)\\?subject=([^>]+)>"))
                .match(QString::fromLatin1(header));
        QVERIFY2(mailto.hasMatch(), header.constData());
        QCOMPARE(mailto.captured(1), boxAddress(UnsubscribeBox));
        QVERIFY(sendMail(servers_.smtpPort, boxAddress(13), mailto.captured(1),
                         message(boxAddress(13), mailto.captured(1), mailto.captured(2).toLatin1())));
        QVERIFY(waitForFiles(servers_, UnsubscribeBox, 1));

        QVERIFY(addAccount(home, UnsubscribeBox));
        const CommandRun pop =
            tamberlyn(home, {"pop", "--account", QStringLiteral("Box%1").arg(UnsubscribeBox), "--format",
                             "subscription", "--category", "Unsubscribe", "--remove-from", "News"});
        QCOMPARE(pop.status, 0);
        QVERIFY2(pop.out.contains("List Name\tRemoved\nNews\t1\n"), qPrintable(pop.out));
        QCOMPARE(listAddresses(home.path(), "News"), (QStringList{boxAddress(12), boxAddress(14)}));

        QCOMPARE(tamberlyn(home, {"send", id, "--quiet"}).status, 0);
        QVERIFY2(waitForDelivered({12, 14}, 2), "the second run was not delivered");
        QTest::qWait(500);
        QCOMPARE(delivered(13).size(), 1);
    }

    // Three unknown readers through the bouncing port, one of them rewritten by the server to another
    // unknown address: each bounce comes back to its own VERP address in the bounce box. A fourth reader's
    // mail is bounced later by a host it was forwarded to, whose report names only the forwarded address.
    // The returned-mail run removes exactly those four.
    void verpBouncesNameTheirRecipients() {
        TestHome home;
        const QStringList readers = {boxAddress(15), boxAddress(18), QStringLiteral("nosuch16@example.test"),
                                     QStringLiteral("nosuch17@example.test"),
                                     QStringLiteral("renamed19@example.test")};
        const QString id = prepareMailing(
            home, readers, {"BounceAddress=" + boxAddress(BounceBox), "UseVERP=Yes"}, servers_.bouncePort);
        QVERIFY(!id.isEmpty());
        QCOMPARE(tamberlyn(home, {"send", id, "--quiet"}).status, 0);
        QVERIFY2(waitForDelivered({15, 18}, 1), "the known readers got nothing");
        QVERIFY2(waitForDelivered({BounceBox}, 3), "the three bounces did not arrive");
        QStringList bouncedTo;
        for (const QString& file : delivered(BounceBox)) {
            const QByteArray bounce = readFileBytes(file);
            bouncedTo << QString::fromLatin1(headerField(bounce, "X-Original-To"));
            if (bounce.contains("renamed19=example.test"))
                QVERIFY2(bounce.contains("Final-Recipient: rfc822; moved19@example.test"),
                         bounce.constData());
        }
        bouncedTo.sort();
        QCOMPARE(bouncedTo, (QStringList{"box10+nosuch16=example.test@example.test",
                                         "box10+nosuch17=example.test@example.test",
                                         "box10+renamed19=example.test@example.test"}));

        // The forwarding host's bounce goes to the envelope sender of box18's copy.
        const QString box18Sender =
            QString::fromLatin1(headerField(readFileBytes(delivered(18).first()), "Return-Path"))
                .remove(u'<')
                .remove(u'>');
        QCOMPARE(box18Sender, QStringLiteral("box10+box18=example.test@example.test"));
        const QByteArray report =
            "--R\r\nContent-Type: text/plain\r\n\r\nYour message could not be delivered.\r\n--R\r\n"
            "Content-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; mx.elsewhere.test\r\n\r\n"
            "Final-Recipient: rfc822; reader@elsewhere.test\r\nAction: failed\r\nStatus: 5.1.1\r\n\r\n"
            "--R\r\nContent-Type: text/rfc822-headers\r\n\r\nSubject: News " +
            token_.toLatin1() + "\r\n\r\n--R--\r\n";
        QVERIFY(sendMail(servers_.smtpPort, QString(), box18Sender,
                         message("MAILER-DAEMON@mx.elsewhere.test", box18Sender,
                                 "Undelivered Mail Returned to Sender",
                                 "MIME-Version: 1.0\r\nContent-Type: multipart/report; "
                                 "report-type=delivery-status; boundary=\"R\"\r\n",
                                 report)));
        QVERIFY2(waitForDelivered({BounceBox}, 4), "the forwarded bounce did not arrive");

        QVERIFY(addAccount(home, BounceBox));
        const CommandRun pop = tamberlyn(home, {"pop", "--account", QStringLiteral("Box%1").arg(BounceBox),
                                                "--format", "returned", "--remove-from", "News"});
        QCOMPARE(pop.status, 0);
        QVERIFY2(pop.out.contains("List Name\tRemoved\nNews\t4\n"), qPrintable(pop.out));
        QCOMPARE(listAddresses(home.path(), "News"), QStringList{boxAddress(15)});
    }
};

QTEST_GUILESS_MAIN(TestDeliveryLoop)
#include "tst_deliveryloop.moc"
