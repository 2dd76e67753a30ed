// POP accounts with their passwords, and the phrase categories.

#include "core/AppSettings.h"
#include "core/SecretStore.h"
#include "db/CentralDatabase.h"
#include "mailbox/PopAccounts.h"
#include "mailbox/SearchCategories.h"
#include "support/CommandRun.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString storedColumn(const QString& name) {
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    return central.scalar(QStringLiteral("SELECT Password FROM POPAccounts WHERE AccountID = ?"), {name})
        .value_or(QVariant())
        .toString();
}

} // namespace

class TestMailboxRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SecretStore::setEnabled(true); }

    // Without a keyring a remembered password is kept encoded in the column, a forgotten one nowhere.
    void accountsKeepTheirNamesAndPasswords() {
        SecretStore::setEnabled(false);
        TestHome home;
        QVERIFY(home.start());
        QVERIFY(PopAccounts::add({"Work", "ann", "s3cret päss", "pop3s://pop.x.org"}, true, home.prompter));
        QVERIFY(!PopAccounts::add({"WORK", "bob", "x", "other.org"}, true, home.prompter));
        QCOMPARE(home.prompter.texts().last(),
                 QStringLiteral("This account already exists, please choose another name."));
        const QString column = storedColumn("Work");
        QVERIFY(!column.isEmpty() && !column.contains("s3cret"));
        std::optional<PopAccount> work = PopAccounts::find("Work");
        QVERIFY(work);
        QCOMPARE(work->UserName, QStringLiteral("ann"));
        QCOMPARE(work->ServerName, QStringLiteral("pop3s://pop.x.org"));
        QCOMPARE(work->Password, QStringLiteral("s3cret päss"));

        work->Password = "new";
        QVERIFY(PopAccounts::update(*work, false, home.prompter));
        QCOMPARE(storedColumn("Work"), QString());
        QCOMPARE(PopAccounts::find("Work")->Password, QString());

        QVERIFY(!PopAccounts::choose("Home", home.prompter));
        QCOMPARE(home.prompter.texts().last(), QStringLiteral("Can't find the Account"));
        QVERIFY(!PopAccounts::add({"Home", "", "", "h"}, false, home.prompter));
        QVERIFY(
            home.prompter.texts().last().startsWith("You need to give a user name for your POP account.\n"));

        home.prompter.answer(Prompter::Answer::No);
        QVERIFY(!PopAccounts::remove("Work", home.prompter));
        QCOMPARE(home.prompter.shown().last().title, QStringLiteral("Delete Confirmation"));
        QCOMPARE(home.prompter.shown().last().text,
                 QStringLiteral("Are you sure you want to delete the account:\nWork"));
        home.prompter.answer(Prompter::Answer::Yes);
        QVERIFY(PopAccounts::remove("Work", home.prompter));
        QCOMPARE(PopAccounts::names(), QStringList{});
    }

    // With a keyring the password goes there and the column stays empty; removal forgets it.
    void keyringHoldsRememberedPasswords() {
        if (!qEnvironmentVariableIsSet("TAMBERLYN_KEYRING_SESSION"))
            QSKIP("needs the keyring session of tests/support/with-keyring.sh");
        TestHome home;
        QVERIFY(home.start());
        QVERIFY(PopAccounts::add({"Work", "ann", "pw", "pop.x.org:995"}, true, home.prompter));
        QCOMPARE(storedColumn("Work"), QString());
        QCOMPARE(PopAccounts::passwordPlace("Work"), QStringLiteral("keyring"));
        QCOMPARE(PopAccounts::find("Work")->Password, QStringLiteral("pw"));
        home.prompter.answer(Prompter::Answer::Yes);
        QVERIFY(PopAccounts::remove("Work", home.prompter));
        QVERIFY(!SecretStore::lookupPassword("pop.x.org:995", "ann", SecretStore::Service::Pop));
    }

    // A name is one line within its column: account and category names with a control character, and
    // over-long ones, are refused with their texts; so are host and user names that would break a command.
    void namesAreOneLine_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QString control =
            QStringLiteral("An account name cannot hold a tab, a line break or another control character.");
        const QString unfit = QStringLiteral("The POP host and the user name can have at most 255 characters "
                                             "each and cannot hold a tab, a line break or another control "
                                             "character.");
        QTest::newRow("account with a tab") << "account"
                                            << "Work\tHome" << control;
        QTest::newRow("account with a line break") << "account"
                                                   << "Work\nHome" << control;
        QTest::newRow("account of 256 characters")
            << "account" << QString(256, u'a') << "An account name can have at most 255 characters.";
        QTest::newRow("user name with CR LF") << "user"
                                              << "ann\r\nDELE 1" << unfit;
        QTest::newRow("host of 256 characters") << "host" << QString(256, u'h') << unfit;
        QTest::newRow("category with a tab")
            << "category"
            << "Club\tNews"
            << "A category name cannot hold a tab, a line break or another control character.";
        QTest::newRow("category too long for a file name")
            << "category" << QString(100, QChar(0x00E9)) + QString(60, u'e')
            << "The category name is too long to be a file name.";
    }
    void namesAreOneLine() {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, text);
        TestHome home;
        QVERIFY(home.start());
        if (kind == "category") {
            QVERIFY(!SearchCategories::addCategory(name, home.prompter));
            QCOMPARE(SearchCategories::load().size(), 1);
        } else {
            PopAccount account{"Work", "ann", "pw", "pop.x.org"};
            (kind == "account" ? account.AccountID
             : kind == "user"  ? account.UserName
                               : account.ServerName) = name;
            QVERIFY(!PopAccounts::add(account, false, home.prompter));
            QCOMPARE(PopAccounts::names(), QStringList{});
        }
        QCOMPARE(home.prompter.texts().last(), text);
    }

    // Without a keyring the command says plainly that the remembered password is not encrypted.
    void rememberedPasswordWithoutKeyring() {
        SecretStore::setEnabled(false);
        TestHome home;
        QVERIFY(home.start());
        home.stop();
        qputenv("TAMBERLYN_POP_PASSWORD", "pw");
        const CommandRun run = runCommandLine({"--home", home.path(), "pop-account", "add", "Work", "--host",
                                               "pop.x.org", "--user", "ann", "--remember"});
        qunsetenv("TAMBERLYN_POP_PASSWORD");
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out,
                 QStringLiteral("Account 'Work' added.\nNo desktop keyring was found: the password is "
                                "kept in the central database (system/Tamberlyn.tbf) encoded, but not "
                                "encrypted; anyone who can read that file can recover it.\n"));
    }

    // With a central database that cannot be read, the POP commands end with the verification message and 1.
    void unreadableCentralDatabase_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("pop-account list") << QStringList{"pop-account", "list"};
        QTest::newRow("pop-account add")
            << QStringList{"pop-account", "add", "W", "--host", "h", "--user", "u"};
        QTest::newRow("pop") << QStringList{"pop",      "--account", "W",          "--format",
                                            "importer", "--all",     "--new-list", "L"};
    }
    void unreadableCentralDatabase() {
        QFETCH(QStringList, arguments);
        TestHome home;
        QVERIFY(home.start());
        home.stop();
        QByteArray noise(20000, 0);
        QRandomGenerator random(13);
        for (char& octet : noise)
            octet = static_cast<char>(random.bounded(256));
        QFile central(home.file("system/Tamberlyn.tbf"));
        QVERIFY(central.open(QIODevice::WriteOnly | QIODevice::Truncate));
        central.write(noise);
        central.close();
        qputenv("TAMBERLYN_POP_PASSWORD", "pw");
        const CommandRun run = runCommandLine(QStringList{"--home", home.path(), "--yes"} + arguments);
        qunsetenv("TAMBERLYN_POP_PASSWORD");
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral("Tamberlyn: Error 26 in TBFVerify\nfile is not a database\n"));
    }

    void categoriesKeepCheckedPhrases() {
        TestHome home;
        QVERIFY(home.start());
        const QList<SearchCategories::Category> first = SearchCategories::load();
        QCOMPARE(first.size(), 1);
        QCOMPARE(first.at(0).name, QStringLiteral("Defaults"));

        QVERIFY(SearchCategories::addCategory("Club", home.prompter));
        QVERIFY(!SearchCategories::addCategory("club", home.prompter));
        QCOMPARE(home.prompter.texts().last(), QStringLiteral("This category already exists."));
        QVERIFY(SearchCategories::addPhrase("Club", "subscribe"));
        QVERIFY(SearchCategories::addPhrase("Club", "join list"));
        QVERIFY(SearchCategories::addPhrase("Defaults", "remove me"));
        QVERIFY(SearchCategories::setChecked("Club", "join list", false));
        const QString file = appFolders().SearchFilesFolder + "Club.dat";
        QCOMPARE(readFileBytes(file), QByteArray("1|subscribe\n0|join list\nBN_EOF\n"));
        QCOMPARE(SearchCategories::checkedPhrases("Club"), QStringList{"subscribe"});
        QCOMPARE(SearchCategories::checkedPhrases(), (QStringList{"remove me", "subscribe"}));

        // Whatever follows the end line is not read.
        QFile append(file);
        QVERIFY(append.open(QIODevice::Append));
        append.write("1|stray\n");
        append.close();
        QCOMPARE(SearchCategories::read("Club").phrases.size(), 2);

        home.prompter.answer(Prompter::Answer::Yes);
        QVERIFY(SearchCategories::removePhrase("Club", "subscribe", home.prompter));
        QCOMPARE(home.prompter.texts().last(),
                 QStringLiteral("Are you sure you want to delete the phrase: \"subscribe\""));
        home.prompter.answer(Prompter::Answer::Yes);
        QVERIFY(SearchCategories::removeCategory("Club", home.prompter));
        QVERIFY(!QFile::exists(file));
        QVERIFY(!SearchCategories::removeCategory("Club", home.prompter));
        QCOMPARE(home.prompter.texts().last(), QStringLiteral("Cannot find the category to delete."));
    }
};

QTEST_GUILESS_MAIN(TestMailboxRules)
#include "tst_mailboxrules.moc"
