#include "app/CommandLine.h"
#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "lists/ListResync.h"
#include "support/TestHome.h"

#include <QFile>
#include <QTest>

namespace {

QString listFolder() {
    return appFolders().AddressListsFolder;
}

// Registers a new list with a few addresses under name.
void registerList(const QString& name, int rows, Prompter& prompter) {
    DataTank writer;
    for (int i = 0; i < rows; ++i)
        writer.CommitTargetRecord(QStringLiteral("person%1@example.invalid").arg(i), {}, {}, {}, {}, {}, {});
    writer.closeTarget();
    QVERIFY(DataTank::SaveListAs(writer.targetPath(), name, QString(), false, prompter));
}

QStringList registeredNames() {
    QStringList names;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows =
        central.prepare(QStringLiteral("SELECT ListName, ListDescription FROM List ORDER BY ListName"));
    while (rows.next())
        names << rows.text(0) + u'|' + rows.text(1);
    return names;
}

void writeJunk(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(3000, 'j'));
}

} // namespace

class TestListResync : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void agreementShowsNothing() {
        TestHome home;
        QVERIFY(home.start());
        registerList("Customers", 3, home.prompter);
        const ListResync::Findings findings = ListResync::collect(home.prompter);
        QVERIFY(findings.isEmpty());
        gSyncronizeAddressLists(home.prompter);
        QVERIFY(home.prompter.shown().isEmpty());
    }

    void extraFilesAreOfferedAndRegistered() {
        TestHome home;
        QVERIFY(home.start());
        registerList("Customers", 2, home.prompter);
        QVERIFY(QFile::copy(listFolder() + "Customers.mdb", listFolder() + "New.mdb"));
        QVERIFY(QFile::copy(listFolder() + "Customers.mdb", listFolder() + "import copy of Old.mdb"));
        writeJunk(listFolder() + "Damaged.mdb");
        db::Database::create(listFolder() + "Other.mdb").exec("CREATE TABLE Notes (Text TEXT)");

        home.prompter.answer(Prompter::Answer::Yes);
        gSyncronizeAddressLists(home.prompter);
        const auto shown = home.prompter.shown();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0].text.startsWith("Error #"));
        QVERIFY(shown[0].text.contains(" In Synchronize Lists \n"));
        QVERIFY(shown[0].text.endsWith("\nThe database file may be damaged"));
        QCOMPARE(shown[1].title, QStringLiteral("Extra Mailing List Files"));
        QCOMPARE(shown[1].text, ListResync::explanationText(ListResync::Phase::Extra) + "\n\nNew.mdb");
        QCOMPARE(registeredNames(), (QStringList{"Customers|", "New|Added at startup"}));
    }

    void missingEntriesAreRemovedOnlyWhenChosen() {
        TestHome home;
        QVERIFY(home.start());
        registerList("Gone", 1, home.prompter);
        registerList("Kept", 1, home.prompter);
        db::Database central = CentralDatabase::open();
        QVERIFY(central.exec(
            "INSERT INTO MailEvent (TamberlynName, ListName, MessageName, Profile) VALUES (?, ?, ?, ?)",
            {"Spring", "Gone", "Letter", "Default Delivery Options"}));
        central.close();
        QVERIFY(QFile::remove(listFolder() + "Gone.mdb"));

        home.prompter.answer(Prompter::Answer::No);
        gSyncronizeAddressLists(home.prompter);
        QCOMPARE(home.prompter.shown().last().title, QStringLiteral("Missing Mailing List Files"));
        QVERIFY(home.prompter.shown().last().text.endsWith("\n\nGone.mdb"));
        QCOMPARE(registeredNames(), (QStringList{"Gone|", "Kept|"}));

        home.prompter.answer(Prompter::Answer::Yes);
        gSyncronizeAddressLists(home.prompter);
        QCOMPARE(registeredNames(), QStringList{"Kept|"});
        central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
        QCOMPARE(central.scalar("SELECT ListName FROM MailEvent WHERE TamberlynName = ?", {"Spring"})
                     .value_or(QVariant())
                     .toString(),
                 QStringLiteral("Gone"));
    }

    void startUpRepairsAndCommandsReport() {
        TestHome home;
        QVERIFY(home.start());
        registerList("Friends", 4, home.prompter);
        QVERIFY(QFile::copy(listFolder() + "Friends.mdb", listFolder() + "Club.mdb"));
        home.stop();
        // A command starts without the list checks and reports what it finds.
        QString in, out, err;
        QTextStream inStream(&in), outStream(&out), errStream(&err);
        CommandIo io{inStream, outStream, errStream, false};
        QCOMPARE(RunCommandLine({"tamberlyn", "--home", home.path(), "lists"}, io), 0);
        outStream.flush();
        QCOMPARE(out, QStringLiteral("Friends\t%1Friends.mdb\t4\n").arg(home.path() + "/AddressLists/"));

        out.clear();
        QCOMPARE(RunCommandLine({"tamberlyn", "--home", home.path(), "--yes", "resync"}, io), 0);
        outStream.flush();
        QVERIFY(out.contains("Extra Mailing List Files: "));
        out.clear();
        QCOMPARE(RunCommandLine({"tamberlyn", "--home", home.path(), "lists"}, io), 0);
        outStream.flush();
        QVERIFY(out.startsWith("Club\t"));
        QVERIFY(out.contains("Friends\t"));
    }
};

QTEST_GUILESS_MAIN(TestListResync)
#include "tst_listresync.moc"
