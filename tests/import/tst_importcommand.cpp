// "tamberlyn import" run in-process: looking inside a source, building and saving a list, and refusing.
#include "FixtureRows.h"
#include "app/CommandLine.h"
#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/Database.h"
#include "import/IsolatedReader.h"
#include "support/CommandRun.h"
#include "support/TestHome.h"

#include <QDir>
#include <QTest>

namespace {

// The registry row of a list: path, e-mail field and source; empty when there is none.
QStringList registryRow(const QString& name) {
    const db::Database central =
        db::Database::open(CentralDatabase::path(), db::Database::OpenMode::ReadOnly);
    db::Statement row = central.prepare(QStringLiteral(
        "SELECT ListPath, EmailFieldName, FNameFieldName, SourcePath FROM List WHERE ListName = ?1"));
    row.bind(1, name);
    if (!row.next())
        return {};
    return {row.text(0), row.text(1), row.text(2), row.text(3)};
}

QStringList addresses(const QString& listFile) {
    QStringList result;
    const db::Database list =
        db::Database::open(appFolders().AddressListsFolder + listFile, db::Database::OpenMode::ReadOnly);
    db::Statement query = list.prepare(QStringLiteral("SELECT EAddress FROM AddressList ORDER BY rowid"));
    while (query.next())
        result << query.text(0);
    return result;
}

// A first start has been made (its questions answered), so that the commands run on a ready folder.
bool prepared(TestHome& home) {
    const bool started = home.start();
    home.stop();
    return started;
}

} // namespace

class TestImportCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The readers built on C libraries run in a child: the program itself, not this test.
    void initTestCase() { importer::IsolatedReader::setProgram(QStringLiteral(TAMBERLYN_EXECUTABLE)); }
    void tablesAndFields() {
        TestHome home;
        QVERIFY(prepared(home));
        const CommandRun tables =
            runCommandLine({"--home", home.path(), "import", "--type", "DBACCESS", "--file",
                            fixture::path("access/contacts_jet4/contacts.mdb"), "--tables"});
        QCOMPARE(tables.status, 0);
        QCOMPARE(tables.out, QString("Contacts\nCall Log\n"));

        const CommandRun fields =
            runCommandLine({"--home", home.path(), "import", "--type", "dbase3", "--file",
                            fixture::path("dbase/db3_memo/CONTACTS.DBF"), "--fields", "contacts"});
        QCOMPARE(fields.status, 0);
        const QStringList lines = fields.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines.first(), QString("ID\tNumeric\tnumber"));
        QCOMPARE(lines.at(7), QString("SINCE\tDate\tdate"));
        QCOMPARE(lines.last(), QString("NOTES\tMemo\tmemo"));
    }

    void importSavesTheListAndTheRowsWithoutAddress() {
        TestHome home;
        QVERIFY(prepared(home));
        const QString file = fixture::path("text/utf8_comma/contacts.csv");
        const CommandRun run = runCommandLine(
            {"--home", home.path(), "import", "--type", "DBTEXTFILE", "--file", file, "--email", "E-mail",
             "--first", "First Name", "--last", "Last Name", "--keep", "City,Notes", "--name", "Customers"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.startsWith(
            "Imported 10 row(s) into the list 'Customers'.\n"
            "Number of invalid addresses: 1 (saved as the list 'Customers (No Addresses)').\n"
            "Contact Database Import Summary\n"));
        QVERIFY(
            run.out.contains("Record 8: left out: the address M.Kowalczyk@Example.NET is already in the list "
                             "(record 7)."));

        QVERIFY(home.start());
        QCOMPARE(registryRow("Customers"),
                 QStringList({"Customers.mdb", "E-mail", "First Name",
                              QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath())}));
        QCOMPARE(addresses("Customers.mdb").size(), 10);
        QCOMPARE(addresses("Customers (No Addresses).mdb"), QStringList{"Unknown (record 9)"});
        QCOMPARE(AppGetSetting("DefaultDirectories", "DBTEXTFILE", {}), QFileInfo(file).absolutePath());
        // Nothing is left in the temp folder.
        QCOMPARE(QDir(appFolders().TempFolder).entryList({"*.mdb"}, QDir::Files), QStringList());
    }

    void filteredImport() {
        TestHome home;
        QVERIFY(prepared(home));
        const CommandRun run =
            runCommandLine({"--home", home.path(), "import", "--type", "DBFOX30", "--file",
                            fixture::path("dbase/vfp/contacts.dbf"), "--email", "EMAIL", "--where",
                            "[contacts].[CITY] Like \"L*\"", "--name", "L towns"});
        QCOMPARE(run.status, 0);
        QVERIFY(home.start());
        QCOMPARE(addresses("L towns.mdb"),
                 QStringList({"chloe.lefevre@example.org"})); // Lyon; Lakeside has none
    }

    void existingNameKeptOnNo() {
        TestHome home;
        QVERIFY(prepared(home));
        const QStringList arguments = {
            "import",  "--type", "DBDBASE3", "--file", fixture::path("dbase/db3_nomemo/ADDRBOOK.DBF"),
            "--email", "EMAIL",  "--name",   "Book"};
        QCOMPARE(runCommandLine(QStringList{"--home", home.path()} + arguments).status, 0);
        const CommandRun again = runCommandLine(QStringList{"--home", home.path(), "--no"} + arguments);
        QCOMPARE(again.status, 1);
        QVERIFY(again.out.contains("This name already exists, would you like to overwrite it?"));
        QVERIFY(home.start());
        QCOMPARE(QDir(appFolders().TempFolder).entryList({"*.mdb"}, QDir::Files), QStringList());
    }

    void refusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString dbf = fixture::path("dbase/db3_memo/CONTACTS.DBF");
        const QString mdb = fixture::path("access/contacts_jet4/contacts.mdb");
        QTest::newRow("no type") << QStringList{"--file", dbf, "--tables"} << 2
                                 << "Give the source type with --type";
        QTest::newRow("unknown type") << QStringList{"--type", "DBASE7", "--file", dbf, "--tables"} << 2
                                      << "Give the source type with --type: one of DBACCESS, DBACT4,";
        QTest::newRow("no file") << QStringList{"--type", "DBDBASE3", "--tables"} << 2
                                 << "Give the source file";
        QTest::newRow("no e-mail field") << QStringList{"--type", "DBDBASE3", "--file", dbf, "--name", "X"}
                                         << 2 << "Give the e-mail field with --email";
        QTest::newRow("bad list name")
            << QStringList{"--type", "DBDBASE3", "--file", dbf, "--email", "EMAIL", "--name", "a/b"} << 2
            << "The list name 'a/b' holds a character";
        QTest::newRow("wrong type of file") << QStringList{"--type", "DBACCESS", "--file", dbf, "--tables"}
                                            << 1 << "is invalid for the current operation.";
        QTest::newRow("table not named")
            << QStringList{"--type", "DBACCESS", "--file", mdb, "--email", "E-mail", "--name", "X"} << 1
            << "You must select a database with data, then select a source table";
        QTest::newRow("unknown table")
            << QStringList{"--type", "DBACCESS", "--file", mdb, "--fields", "People"} << 1
            << "The source has no table named 'People'.";
        QTest::newRow("no records") << QStringList{"--type", "DBDBASE3", "--file",    dbf,      "--email",
                                                   "EMAIL",  "--where",  "[ID] > 99", "--name", "X"}
                                    << 1 << "<No Records";
        QTest::newRow("btrieve") << QStringList{"--type", "btrieve", "--file", dbf, "--tables"} << 1
                                 << "Btrieve databases cannot be read on this computer";
    }
    void refusals() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        TestHome home;
        QVERIFY(prepared(home));
        const CommandRun run = runCommandLine(QStringList{"--home", home.path(), "import"} + arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestImportCommand)
#include "tst_importcommand.moc"
