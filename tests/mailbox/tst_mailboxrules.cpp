// POP accounts with their passwords, and the phrase categories.

#include "core/AppSettings.h"
#include "core/SecretStore.h"
#include "db/CentralDatabase.h"
#include "mailbox/PopAccounts.h"
#include "mailbox/SearchCategories.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
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

private:
    QTemporaryDir keyring_;

    // A stand-in for secret-tool that keeps each secret in a file named after its attributes.
    QString fakeSecretTool() {
        const QString path = keyring_.filePath(QStringLiteral("secret-tool"));
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly))
            return {};
        script.write("#!/bin/sh\ncmd=$1; shift; [ \"$cmd\" = store ] && shift\n"
                     "f=\"" +
                     keyring_.path().toUtf8() +
                     "/$(echo \"$@\" | tr ' /:' '___')\"\n"
                     "case $cmd in store) cat > \"$f\";; lookup) [ -f \"$f\" ] || exit 1; cat \"$f\";;"
                     " clear) rm -f \"$f\";; esac\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

private Q_SLOTS:
    void cleanup() { SecretStore::setToolPath({}); }

    // Without a keyring a remembered password is kept encoded in the column, a forgotten one nowhere.
    void accountsKeepTheirNamesAndPasswords() {
        SecretStore::setToolPath(keyring_.filePath("no-such-tool"));
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
        const QString tool = fakeSecretTool();
        QVERIFY(!tool.isEmpty());
        SecretStore::setToolPath(tool);
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
