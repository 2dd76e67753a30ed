#include "app/CommandLine.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "mailings/MailEvent.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "messages/MessageStore.h"
#include "support/CommandRun.h"
#include "support/TestHome.h"

#include <QTest>

namespace {

const QString Tab = QStringLiteral("two\twords");
const QString Newline = QStringLiteral("two\nlines");
const QString Long = QString(300, u'n');

QString controlText(const QString& kind) {
    return "A " + kind + " may not hold a tab, a line break or another control character.";
}

QString lengthText(const QString& kind) {
    return "A " + kind + " has at most 100 characters.";
}

// Every name the listings show, so that a refused name is seen to be stored nowhere.
QString listings(const TestHome& home) {
    QString all;
    for (const QStringList& command :
         {QStringList{"lists"}, QStringList{"groups"}, QStringList{"options", "list"}})
        all += runCommandLine(QStringList{"--home", home.path()} + command).out;
    return all;
}

} // namespace

// Names are listed one a line with tab-separated fields, and stored in columns of 100 characters.
class TestNames : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void storesRefuseNamesThatAreNotOneShortLine_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        for (const char* kind : {"list name", "message name", "group name", "name of delivery options"}) {
            const QString k = QString::fromLatin1(kind);
            QTest::addRow("%s with a tab", kind) << k << Tab << controlText(k);
            QTest::addRow("%s with a line break", kind) << k << Newline << controlText(k);
            QTest::addRow("%s with a NUL", kind) << k << QString::fromLatin1("a\0b", 3) << controlText(k);
            QTest::addRow("%s of 300 characters", kind) << k << Long << lengthText(k);
        }
    }
    void storesRefuseNamesThatAreNotOneShortLine() {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, text);
        TestHome home;
        QVERIFY(home.start());
        bool stored = true;
        if (kind == "list name") {
            const QString list = DataTank::CreateBlankDatabase();
            QVERIFY(!list.isEmpty());
            stored = DataTank::SaveListAs(list, name, {}, false, home.prompter);
            QCOMPARE(DataTank::GetListPath(name), QString());
        } else if (kind == "message name") {
            const MessageStore::NewMessage draft = MessageStore::CreateNewMessage();
            QVERIFY(!draft.name.isEmpty());
            stored = MessageStore::RenameMessage(draft.name, name, {}, false, home.prompter) ||
                     MessageStore::CopyMessage(draft.name, name, {}, home.prompter);
            QVERIFY(!MessageStore::MessageExists(name));
            MessageRecord record;
            record.MessageName = name;
            db::DbError error;
            QVERIFY(!MessageStore::ImportMessage(record, &error));
            QCOMPARE(error.text, text);
            QVERIFY(!MessageStore::CheckSaveName(name, home.prompter));
        } else if (kind == "group name") {
            stored = mdlTamberlynGroupOptions::CreateTamberlynGroup(home.prompter, name, {});
            for (const mdlTamberlynGroupOptions::Group& group : mdlTamberlynGroupOptions::Groups())
                QVERIFY(group.TamberlynName != name);
        } else {
            MailEvent options;
            QVERIFY(options.GetMEPFromDB(QString::fromLatin1(DefaultDeliveryOptionsName)));
            options.MailEventName = name;
            stored = options.storeMEP();
            QVERIFY(!MailEvent().GetMEPFromDB(name));
        }
        QVERIFY(!stored);
        // Delivery options have no window yet to show the text; their command prints it.
        QCOMPARE(home.prompter.texts().isEmpty(), kind == "name of delivery options");
        for (const QString& shown : home.prompter.texts())
            QCOMPARE(shown, text);
    }

    void commandsRefuseThem_data() {
        QTest::addColumn<QStringList>("arguments"); // NAME stands for the name
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        const QList<std::tuple<const char*, QStringList, QString, int>> commands = {
            {"merge", {"merge", "A", "B", "--name", "NAME"}, "list name", 2},
            {"harvest", {"harvest", "--name", "NAME", "notes.txt"}, "list name", 2},
            {"message import", {"message", "import", "--name", "NAME", "--subject", "S"}, "message name", 1},
            {"groups add", {"groups", "add", "NAME", "about"}, "group name", 1},
            {"options set", {"options", "set", "NAME", "From=me@x.example"}, "name of delivery options", 2},
        };
        for (const auto& [label, arguments, kind, status] : commands) {
            QTest::addRow("%s, a tab", label)
                << QStringList(arguments).replaceInStrings("NAME", Tab) << kind << status;
            QTest::addRow("%s, a line break", label)
                << QStringList(arguments).replaceInStrings("NAME", Newline) << kind << status;
            QTest::addRow("%s, 300 characters", label)
                << QStringList(arguments).replaceInStrings("NAME", Long) << kind << status;
        }
    }
    void commandsRefuseThem() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, kind);
        QFETCH(int, status);
        TestHome home;
        QVERIFY(home.start());
        home.stop();
        const QString before = listings(home);
        const CommandRun run = runCommandLine(QStringList{"--home", home.path()} + arguments);
        QCOMPARE(run.status, status);
        // The message command kept its older wording for a name too long.
        const QString expected =
            arguments.contains(Long)
                ? (kind == "message name" ? "A message name has 1 to 100 characters." : lengthText(kind))
                : controlText(kind);
        QVERIFY2(run.err.contains(expected), qPrintable(run.err));
        QCOMPARE(listings(home), before);
    }
};

QTEST_GUILESS_MAIN(TestNames)
#include "tst_names.moc"
