// Mailbox runs against the loopback Dovecot over mail delivered by the loopback Postfix (boxes 40-59).

#include "MailboxFixture.h"
#include "db/DataTank.h"
#include "db/Database.h"
#include "mailbox/PopWizardRun.h"
#include "support/CommandRun.h"
#include "support/TestHome.h"

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

// A registered list holding the addresses.
void makeList(TestHome& home, const QString& name, const QStringList& addresses) {
    QVERIFY(home.start());
    {
        DataTank tank;
        for (const QString& address : addresses)
            QCOMPARE(tank.CommitTargetRecord(address, {}, {}, {}, {}, {}, {}), DataTank::CommitOk);
        tank.closeTarget();
        QVERIFY(DataTank::SaveListAs(tank.targetPath(), name, {}, false, home.prompter));
    }
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
        qputenv("TAMBERLYN_POP_PASSWORD", password.toUtf8());
        const CommandRun run = runCommandLine({"--home", home.path(), "pop-account", "add", account(box),
                                               "--host", QStringLiteral("127.0.0.1:%1").arg(servers_.popPort),
                                               "--user", boxAddress(box), "--remember"});
        qunsetenv("TAMBERLYN_POP_PASSWORD");
        QVERIFY2(run.status == 0, qPrintable(run.err + run.out));
    }
    static QString account(int box) { return QStringLiteral("Box%1").arg(box); }

    void seed(int box, const QList<QPair<QString, QByteArray>>& mails, int expectFiles) {
        for (const auto& [from, text] : mails)
            QVERIFY(sendMail(servers_.smtpPort, from, boxAddress(box), text));
        QVERIFY2(waitForFiles(servers_, box, expectFiles), "the seeded mail was not delivered");
    }

    CommandRun pop(TestHome& home, const QStringList& options) {
        return runCommandLine(QStringList{"--home", home.path(), "--yes", "pop"} + options);
    }

private Q_SLOTS:
    void initTestCase() {
        if (!servers_.available())
            QSKIP(skipReason());
        for (int box = 40; box <= 47; ++box)
            clearBox(servers_, box);
    }

    // Subscription requests: matching and non-matching subjects, an encoded subject and display name, a
    // folded subject, and the same sender in two letter cases. Deletion off keeps the mailbox; deletion
    // on removes exactly the matched messages.
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

        CommandRun run = pop(home, {"--account", account(box), "--format", "importer", "--phrases",
                                    "subscribe;join list", "--new-list", "Subs"});
        QVERIFY2(run.status == 0, qPrintable(run.err + run.out));
        QVERIFY(run.out.contains("Found 6 Messages....Processing"));
        QVERIFY(run.out.contains("Processing Completed. 3 Addresses Found."));
        QVERIFY(run.out.contains("Messages will not be deleted from the server."));
        QVERIFY(run.out.contains("POP Import Summary\nList Name\tAdded\nSubs\t3\n"));
        QVERIFY(run.out.contains("Message Processing Has Completed"));
        const QStringList rows = savedRows(home.path(), "Subs");
        QCOMPARE(rows.size(), 3);
        QVERIFY(rows.at(0).startsWith("ann@client.test|Ann|Lee", Qt::CaseInsensitive));
        QCOMPARE(rows.at(1), QStringLiteral("gil@client.test|Gil|Tan"));
        QCOMPARE(rows.at(2), QStringLiteral("juergen@client.test|Jürgen|Müller"));
        QCOMPARE(boxFiles(servers_, box).size(), 6);

        run = pop(home, {"--account", account(box), "--format", "importer", "--phrases",
                         "subscribe;join list", "--new-list", "Subs2", "--delete-from-server"});
        QVERIFY2(run.status == 0, qPrintable(run.err + run.out));
        QVERIFY(run.out.contains("4 messages deleted from the server."));
        QCOMPARE(savedRows(home.path(), "Subs2").size(), 3);
        QCOMPARE(boxFiles(servers_, box).size(), 2);
        QStringList left;
        for (const QString& file : boxFiles(servers_, box))
            left << QString::fromUtf8(readFileBytes(file));
        QVERIFY(left.join("").contains("Unsubscribed yesterday"));
        QVERIFY(left.join("").contains("Weekly report"));
    }

    // A real bounce from Postfix (a delivery-status report that also says Auto-Submitted), a bounce
    // without a report, an auto-reply and ordinary mail: only the two failed recipients leave the list.
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

        const CommandRun run = pop(home, {"--account", account(box), "--format", "returned", "--remove-from",
                                          "Members", "--delete-from-server"});
        QVERIFY2(run.status == 0, qPrintable(run.err + run.out));
        QVERIFY(run.out.contains("Undeliverable Addresses Summary\nList Name\tRemoved\nMembers\t2\n"));
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
        CommandRun run = pop(home, {"--account", account(box), "--format", "subscription", "--phrases",
                                    "subscribe", "--add-to", "Club"});
        QVERIFY2(run.status == 0, qPrintable(run.err + run.out));
        QVERIFY(run.out.contains("Subscription Manager Summary\nList Name\tAdded\nClub\t1\n"));
        QCOMPARE(savedRows(home.path(), "Club"), (QStringList{"new@client.test||", "old@client.test||"}));

        run = pop(home, {"--account", account(box), "--format", "subscription", "--phrases", "remove me",
                         "--remove-from", "Club,Other"});
        QVERIFY2(run.status == 0, qPrintable(run.err + run.out));
        QVERIFY(run.out.contains("List Name\tRemoved\nClub\t1\nOther\t0\n"));
        QCOMPARE(savedRows(home.path(), "Club"), QStringList{"new@client.test||"});
        QCOMPARE(savedRows(home.path(), "Other"), QStringList{"zed@client.test||"});
        QCOMPARE(boxFiles(servers_, box).size(), 3);
    }

    void emptyMailboxMakesNoList() {
        const int box = 43;
        TestHome home;
        prepare(home, box);
        const CommandRun run =
            pop(home, {"--account", account(box), "--format", "importer", "--all", "--new-list", "Nothing"});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains("No Messages Found on 127.0.0.1"));
        QVERIFY(run.out.contains("Message Processing Found Nothing"));
        QVERIFY(!QFile::exists(home.file("AddressLists/Nothing.mdb")));
    }

    // A wrong password and a closed port end the run with their texts; nothing is changed.
    void failuresChangeNothing() {
        const int box = 44;
        TestHome home;
        prepare(home, box, QStringLiteral("wrong"));
        const QString to = boxAddress(box);
        seed(box, {{"ann@client.test", message("ann@client.test", to, "subscribe")}}, 1);
        CommandRun run = pop(home, {"--account", account(box), "--format", "importer", "--all", "--new-list",
                                    "Never", "--delete-from-server"});
        QCOMPARE(run.status, 1);
        QVERIFY(
            run.out.contains("User ok...Checking Password...\nPassword or Username failed, check both.\n"));
        QVERIFY(run.out.contains("Message Processing Has Been Stopped"));
        QVERIFY(!QFile::exists(home.file("AddressLists/Never.mdb")));
        QCOMPARE(boxFiles(servers_, box).size(), 1);

        qputenv("TAMBERLYN_POP_PASSWORD", "testpw");
        QCOMPARE(runCommandLine({"--home", home.path(), "pop-account", "add", "Closed", "--host",
                                 "127.0.0.1:1", "--user", to})
                     .status,
                 0);
        run = pop(home, {"--account", "Closed", "--format", "importer", "--all", "--new-list", "Never"});
        qunsetenv("TAMBERLYN_POP_PASSWORD");
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.contains("Connecting to MailBox...\nNot Connected\n"));
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
};

QTEST_GUILESS_MAIN(TestPopServer)
#include "tst_popserver.moc"
