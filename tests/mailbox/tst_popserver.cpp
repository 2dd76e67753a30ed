// Mailbox runs against the loopback Dovecot over mail delivered by the loopback Postfix (boxes 40-59).

#include "MailboxFixture.h"
#include "core/AppSettings.h"
#include "core/TlsTrust.h"
#include "db/Database.h"
#include "mailbox/PopAccounts.h"
#include "mailbox/PopWizardRun.h"
#include "send/SelfSignedCertificate.h"
#include "support/CommandRun.h"

#include <QSignalSpy>
#include <QTest>

using namespace MailboxFixture;

namespace {

// Every row of a saved list as "address|first|last", by address.
QStringList savedRows(const QString& home, const QString& list) {
    QStringList rows;
    const db::Database database =
        db::Database::open(home + QStringLiteral("/AddressLists/") + list + QStringLiteral(".mdb"),
                           db::Database::OpenMode::ReadOnly);
    db::Statement query = database.prepare(
        QStringLiteral("SELECT EAddress, FirstName, LastName FROM AddressList ORDER BY lower(EAddress)"));
    while (query.next())
        rows << QStringList{query.text(0), query.text(1), query.text(2)}.join(u'|');
    return rows;
}

// A registered list holding the addresses, made while the home is not in use.
void makeList(TestHome& home, const QString& name, const QStringList& addresses) {
    QVERIFY(home.start());
    QVERIFY(saveList(home, name, addresses));
    home.stop();
}

} // namespace

class TestPopServer : public QObject {
    Q_OBJECT

private:
    Servers servers_ = MailboxFixture::servers();

    // A first start of a new home, and an account for the box with its password remembered.
    void prepare(TestHome& home, int box, const QString& password = QStringLiteral("testpw")) {
        QVERIFY(home.start());
        home.stop();
        QVERIFY(addAccount(home, account(box), QStringLiteral("127.0.0.1:%1").arg(servers_.popPort), box,
                           password));
    }
    static bool addAccount(TestHome& home, const QString& name, const QString& host, int box,
                           const QString& password) {
        qputenv("TAMBERLYN_POP_PASSWORD", password.toUtf8());
        const CommandRun run = runCommandLine({"--home", home.path(), "pop-account", "add", name, "--host",
                                               host, "--user", boxAddress(box), "--remember"});
        qunsetenv("TAMBERLYN_POP_PASSWORD");
        return run.status == 0;
    }
    static QString account(int box) { return QStringLiteral("Box%1").arg(box); }

    void seed(int box, const QList<QPair<QString, QByteArray>>& mails, int expectFiles) {
        for (const auto& [from, text] : mails)
            QVERIFY(sendMail(servers_.smtpPort, from, boxAddress(box), text));
        QVERIFY2(waitForFiles(servers_, box, expectFiles), "the seeded mail was not delivered");
    }

    // Runs "pop" on the account in the format: true when it ends with the status and prints every text.
    static bool pop(TestHome& home, const QString& account, const QString& format, const QStringList& options,
                    const QStringList& texts, int status = 0) {
        const CommandRun run = runCommandLine(
            QStringList{"--home", home.path(), "--yes", "pop", "--account", account, "--format", format} +
            options);
        bool ok = run.status == status;
        for (const QString& text : texts)
            ok = ok && run.out.contains(text);
        if (!ok)
            qWarning().noquote() << run.status << run.err + run.out;
        return ok;
    }

private Q_SLOTS:
    void initTestCase() {
        if (!servers_.available())
            QSKIP(skipReason());
        for (int box = 40; box <= 48; ++box)
            clearBox(servers_, box);
    }

    // Encoded and folded subjects and names, one sender in two cases; deletion off, then on.
    void importerCollectsMatchingSenders() {
        const int box = 40;
        TestHome home;
        prepare(home, box);
        const QString to = boxAddress(box);
        seed(
            box,
            {{"ann@client.test", message("Ann Lee <ann@client.test>", to, "Subscribe me")},
             {"ANN@client.test", message("ANN@CLIENT.TEST", to, "please SUBSCRIBE")},
             {"carl@client.test", message("carl@client.test", to, "Unsubscribed yesterday")},
             {"juergen@client.test", message("=?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <juergen@client.test>", to,
                                             "=?UTF-8?B?" + QByteArray("Bitte subscribe").toBase64() + "?=")},
             {"gil@client.test", message("Gil Tan <gil@client.test>", to, "Please\r\n join list today")},
             {"dan@client.test", message("dan@client.test", to, "Weekly report")}},
            6);

        QVERIFY(pop(home, account(box), "importer",
                    {"--phrases", "subscribe;join list", "--new-list", "Subs"},
                    {"Found 6 Messages....Processing", "Processing Completed. 3 Addresses Found.",
                     "Messages will not be deleted from the server.",
                     "POP Import Summary\nList Name\tAdded\nSubs\t3\n", "Message Processing Has Completed"}));
        const QStringList rows = savedRows(home.path(), "Subs");
        QCOMPARE(rows.size(), 3);
        QVERIFY(rows.at(0).startsWith("ann@client.test|Ann|Lee", Qt::CaseInsensitive));
        QCOMPARE(rows.at(1), QStringLiteral("gil@client.test|Gil|Tan"));
        QCOMPARE(rows.at(2), QStringLiteral("juergen@client.test|Jürgen|Müller"));
        QCOMPARE(boxFiles(servers_, box).size(), 6);

        QVERIFY(pop(home, account(box), "importer",
                    {"--phrases", "subscribe;join list", "--new-list", "Subs2", "--delete-from-server"},
                    {"4 messages deleted from the server."}));
        QCOMPARE(savedRows(home.path(), "Subs2").size(), 3);
        QCOMPARE(boxFiles(servers_, box).size(), 2);
        QByteArray left;
        for (const QString& file : boxFiles(servers_, box))
            left += readFileBytes(file);
        QVERIFY(left.contains("Unsubscribed yesterday") && left.contains("Weekly report"));
    }

    // A Postfix bounce (DSN, also Auto-Submitted), a plain bounce, an auto-reply and ordinary mail:
    // only the two failed recipients leave the list.
    void returnedMailRemovesFailedRecipients() {
        const int box = 41;
        TestHome home;
        prepare(home, box);
        makeList(home, "Members",
                 {"nosuchuser@example.test", "gone@client.test", "eve@client.test", "frank@client.test"});
        const QString to = boxAddress(box);
        QVERIFY(sendMail(servers_.bouncePort, to, QStringLiteral("nosuchuser@example.test"),
                         message(to, "nosuchuser@example.test", "Our news")));
        seed(box,
             {{"eve@client.test", message("eve@client.test", to, "Out of office: Re: your mail",
                                          "Auto-Submitted: auto-replied\r\n")},
              {"mailer-daemon@client.test",
               message("MAILER-DAEMON@client.test", to, "Returned mail: User unknown", {},
                       "The original message follows.\r\n\r\nFrom: box41@example.test\r\nSubject: news\r\n"
                       "To: Gone Away <gone@client.test>\r\n\r\nHello.\r\n")},
              {"frank@client.test", message("frank@client.test", to, "Hello there")}},
             4);

        QVERIFY(pop(home, account(box), "returned", {"--remove-from", "Members", "--delete-from-server"},
                    {"Undeliverable Addresses Summary\nList Name\tRemoved\nMembers\t2\n"}));
        QCOMPARE(savedRows(home.path(), "Members"),
                 (QStringList{"eve@client.test||", "frank@client.test||"}));
        QCOMPARE(boxFiles(servers_, box).size(), 2);
    }

    // Adding to lists counts only the new addresses; removing an address a list lacks counts nothing.
    void subscriptionAddsAndRemoves() {
        const int box = 42;
        TestHome home;
        prepare(home, box);
        makeList(home, "Club", {"old@client.test"});
        makeList(home, "Other", {"zed@client.test"});
        const QString to = boxAddress(box);
        seed(box,
             {{"new@client.test", message("new@client.test", to, "subscribe")},
              {"old@client.test", message("old@client.test", to, "Subscribe")},
              {"old@client.test", message("old@client.test", to, "remove me")}},
             3);
        QVERIFY(pop(home, account(box), "subscription", {"--phrases", "subscribe", "--add-to", "Club"},
                    {"Subscription Manager Summary\nList Name\tAdded\nClub\t1\n"}));
        QCOMPARE(savedRows(home.path(), "Club"), (QStringList{"new@client.test||", "old@client.test||"}));

        QVERIFY(pop(home, account(box), "subscription",
                    {"--phrases", "remove me", "--remove-from", "Club,Other"},
                    {"List Name\tRemoved\nClub\t1\nOther\t0\n"}));
        QCOMPARE(savedRows(home.path(), "Club"), QStringList{"new@client.test||"});
        QCOMPARE(savedRows(home.path(), "Other"), QStringList{"zed@client.test||"});
        QCOMPARE(boxFiles(servers_, box).size(), 3);
    }

    // A wrong password, a closed port and an empty mailbox end with their texts; no list is made.
    void failuresChangeNothing() {
        const int box = 44;
        TestHome home;
        prepare(home, box, QStringLiteral("wrong"));
        seed(box, {{"ann@client.test", message("ann@client.test", boxAddress(box), "subscribe")}}, 1);
        QVERIFY(pop(home, account(box), "importer", {"--all", "--new-list", "Never", "--delete-from-server"},
                    {"User ok...Checking Password...\nPassword or Username failed, check both.\n",
                     "Message Processing Has Been Stopped"},
                    1));
        QVERIFY(!QFile::exists(home.file("AddressLists/Never.mdb")));
        QCOMPARE(boxFiles(servers_, box).size(), 1);

        QVERIFY(addAccount(home, "Closed", "127.0.0.1:1", box, "testpw"));
        QVERIFY(pop(home, "Closed", "importer", {"--all", "--new-list", "Never"},
                    {"Connecting to MailBox...\nNot Connected\n"}, 1));
        QVERIFY(!QFile::exists(home.file("AddressLists/Never.mdb")));

        QVERIFY(addAccount(home, account(43), QStringLiteral("127.0.0.1:%1").arg(servers_.popPort), 43,
                           "testpw"));
        QVERIFY(pop(home, account(43), "importer", {"--all", "--new-list", "Never"},
                    {"No Messages Found on 127.0.0.1", "Message Processing Found Nothing"}));
        QVERIFY(!QFile::exists(home.file("AddressLists/Never.mdb")));
    }

    // STLS and POP3S with the servers' certificate trusted; without it the TLS session is refused.
    void secureConnections() {
        const int box = 45;
        TestHome home;
        QVERIFY(home.start());
        const QString to = boxAddress(box);
        seed(box, {{"sec@client.test", message("Sec Ure <sec@client.test>", to, "subscribe")}}, 1);
        for (const QString& host : {QStringLiteral("pop3+starttls://127.0.0.1:%1").arg(servers_.popPort),
                                    QStringLiteral("pop3s://127.0.0.1:%1").arg(servers_.popsPort)}) {
            for (const bool trusted : {true, false}) {
                PopWizardRun run(home.prompter);
                if (trusted)
                    run.setSocketFactory(trustingSockets(servers_.cert));
                run.setConfirm([](const PopWizardRun::Confirmation& c) { return c.addresses.size() == 1; });
                QSignalSpy finished(&run, &PopWizardRun::finished);
                PopWizardRun::Settings settings;
                settings.format = PopWizardRun::Format::Importer;
                settings.account = {QStringLiteral("Secure"), to, QStringLiteral("testpw"), host};
                settings.filter = PopWizardRun::FilterMethod::All;
                run.start(settings);
                QVERIFY(finished.wait(10000));
                QCOMPARE(run.outcome(),
                         trusted ? PopWizardRun::Outcome::Completed : PopWizardRun::Outcome::Failed);
                QCOMPARE(run.addresses(), trusted ? QStringList{"sec@client.test"} : QStringList{});
            }
        }
        QCOMPARE(boxFiles(servers_, box).size(), 1);
    }

    // "trust" shows the server's certificate and pins it for the account: a session refused before is
    // read after it; once the server presents another certificate the session is refused naming both.
    void trustCommandPinsTheAccountsCertificate_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("flag");
        const QString pop = QStringLiteral("127.0.0.1:%1").arg(servers_.popPort);
        const QString pops = QStringLiteral("127.0.0.1:%1").arg(servers_.popsPort);
        QTest::newRow("STLS, from the account") << "pop3+starttls://" + pop << pop << "";
        QTest::newRow("STLS, asked for") << "pop3+starttls://" + pop << pop << "--starttls";
        QTest::newRow("POP3S") << "pop3s://" + pops << pops << "--tls";
    }
    void trustCommandPinsTheAccountsCertificate() {
        QFETCH(QString, host);
        QFETCH(QString, server);
        QFETCH(QString, flag);
        const int box = 48;
        clearBox(servers_, box);
        TestHome home;
        QVERIFY(home.start());
        home.stop();
        QVERIFY(addAccount(home, "Pinned", host, box, "testpw"));
        seed(box, {{"pin@client.test", message("pin@client.test", boxAddress(box), "subscribe")}}, 1);
        const QStringList read = {"--all", "--new-list", "Read"};
        QVERIFY(pop(home, "Pinned", "importer", read, {"Not Connected\n"}, 1));

        const QString fingerprint = TlsTrust::fingerprint(QSslCertificate::fromPath(servers_.cert).value(0));
        QStringList trust = {"--home", home.path(), "--no", "trust", server};
        if (!flag.isEmpty())
            trust << flag;
        CommandRun run = runCommandLine(trust);
        QCOMPARE(run.status, 1);
        for (const QString& line : QStringList{
                 server + QStringLiteral(" presents this certificate:"), QStringLiteral("Subject: localhost"),
                 QStringLiteral("Issuer: localhost"), QStringLiteral("SHA-256 fingerprint: ") + fingerprint,
                 QStringLiteral("Not trusted by the system: "),
                 QStringLiteral("Not trusted; nothing was changed.")})
            QVERIFY2(run.out.contains(line), qPrintable(run.out + run.err));
        QVERIFY(pop(home, "Pinned", "importer", read, {"Not Connected\n"}, 1));

        trust.replace(2, "--yes");
        run = runCommandLine(trust);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("Trusted for POP account Pinned: SHA-256 " + fingerprint),
                 qPrintable(run.out));
        QVERIFY(pop(home, "Pinned", "importer", read, {}));
        QCOMPARE(savedRows(home.path(), "Read"), QStringList{"pin@client.test||"});

        // The server's certificate replaced: the pin is of the old one.
        QTemporaryDir otherDir;
        const QString old =
            TlsTrust::fingerprint(SelfSignedCertificate::loadOrCreate(otherDir.path()).certificate);
        QVERIFY(home.start());
        QVERIFY(PopAccounts::setTrust("Pinned", {old, {}}));
        home.stop();
        QVERIFY(pop(home, "Pinned", "importer", {"--all", "--new-list", "Again"},
                    {"Not Connected\nThe certificate of " + server + " is not the one trusted for it", old,
                     fingerprint},
                    1));
        QCOMPARE(boxFiles(servers_, box).size(), 1);
    }

    // An account's CA file trusts the server's certificate, host name checked; one of another CA does not.
    void caFileTrustsTheAccountsServer() {
        const int box = 48;
        clearBox(servers_, box);
        TestHome home;
        QVERIFY(home.start());
        home.stop();
        const QString host = QStringLiteral("pop3s://127.0.0.1:%1").arg(servers_.popsPort);
        QTemporaryDir otherDir;
        QVERIFY(!SelfSignedCertificate::loadOrCreate(otherDir.path()).isNull());
        const QString otherCa = otherDir.filePath("outbox-cert.pem");
        qputenv("TAMBERLYN_POP_PASSWORD", "testpw");
        const auto add = [&](const QString& name, const QString& caFile) {
            return runCommandLine({"--home", home.path(), "pop-account", "add", name, "--host", host,
                                   "--user", boxAddress(box), "--remember", "--ca-file", caFile});
        };
        QCOMPARE(add("Own", servers_.cert).status, 0);
        QCOMPARE(add("Other", otherCa).status, 0);
        const CommandRun unreadable = add("Broken", otherDir.filePath("none.pem"));
        qunsetenv("TAMBERLYN_POP_PASSWORD");
        QCOMPARE(unreadable.status, 2);
        QCOMPARE(unreadable.err.trimmed(),
                 "The CA file " + otherDir.filePath("none.pem") +
                     " holds no certificate that can be read, so the server was not "
                     "trusted.");
        seed(box, {{"ca@client.test", message("ca@client.test", boxAddress(box), "subscribe")}}, 1);
        QVERIFY(pop(home, "Other", "importer", {"--all", "--new-list", "Never"}, {"Not Connected\n"}, 1));
        QVERIFY(pop(home, "Own", "importer", {"--all", "--new-list", "Read"}, {}));
        QCOMPARE(savedRows(home.path(), "Read"), QStringList{"ca@client.test||"});
    }

    // For the SMTP server of the settings the pin goes into the settings file; a server nothing uses is
    // not probed at all.
    void trustCommandPinsTheSmtpServer() {
        TestHome home;
        QVERIFY(home.start());
        AppSaveSetting("ApplicationDefaults", "MailServer", "127.0.0.1");
        AppSaveSetting("ApplicationDefaults", "SMTPPort", QString::number(servers_.smtpPort));
        AppSaveSetting("ApplicationDefaults", "SMTPSecurity", "STARTTLS");
        home.stop();
        CommandRun run = runCommandLine({"--home", home.path(), "--yes", "trust", "127.0.0.1:1"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err.trimmed(),
                 "127.0.0.1:1 is neither the SMTP server of the settings (MailServer and "
                 "SMTPPort) nor the server of a POP account, so there is nothing to trust it for.");

        const QString server = QStringLiteral("127.0.0.1:%1").arg(servers_.smtpPort);
        run = runCommandLine({"--home", home.path(), "--yes", "trust", server});
        QCOMPARE(run.status, 0);
        const QString fingerprint = TlsTrust::fingerprint(QSslCertificate::fromPath(servers_.cert).value(0));
        QVERIFY2(run.out.contains("Trusted for the SMTP server: SHA-256 " + fingerprint),
                 qPrintable(run.out + run.err));
        QVERIFY(home.start());
        QCOMPARE(appSettings().SMTPCertificateSHA256, fingerprint);
    }
};

QTEST_GUILESS_MAIN(TestPopServer)
#include "tst_popserver.moc"
