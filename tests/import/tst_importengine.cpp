// Building lists from every kind of source: the rows that come in, the ones split off or left out, the
// summary, filters, interruption, and the messages for files that cannot be read.
#include "FixtureRows.h"
#include "core/AppSettings.h"
#include "db/Database.h"
#include "import/ImportEngine.h"
#include "import/IsolatedReader.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace importer;

namespace {

using Row = QHash<QString, QString>; // column -> value ("" for NULL)

QList<Row> listRows(const QString& path) {
    QList<Row> rows;
    const db::Database list = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    db::Statement query = list.prepare(QStringLiteral("SELECT * FROM AddressList ORDER BY rowid"));
    while (query.next()) {
        Row row;
        for (int i = 0; i < query.columnCount(); ++i)
            row.insert(query.columnName(i), query.text(i));
        rows << row;
    }
    return rows;
}

QStringList listColumns(const QString& path) {
    QStringList names;
    for (const db::ColumnInfo& column :
         db::Database::open(path, db::Database::OpenMode::ReadOnly).columns(QStringLiteral("AddressList")))
        names << column.name;
    return names;
}

QStringList tempLists() {
    return QDir(appFolders().TempFolder)
        .entryList({QStringLiteral("*.mdb"), QStringLiteral("*.db")}, QDir::Files);
}

ImportRequest requestFor(const QString& type, const QString& file, const QString& email,
                         const QStringList& keep = {}, const QString& table = {}) {
    ImportRequest request;
    request.type = sourceTypeByCode(type);
    request.path = fixture::path(file);
    request.table = table;
    request.roles.email = email;
    request.roles.keep = keep;
    return request;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray fixtureBytes(const QString& relative) {
    return readFileBytes(fixture::path(relative));
}

} // namespace

class TestImportEngine : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;

private Q_SLOTS:
    // The readers built on C libraries run in a child: the program itself, not this test.
    void initTestCase() { importer::IsolatedReader::setProgram(QStringLiteral(TAMBERLYN_EXECUTABLE)); }
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
    }
    void cleanup() { home.reset(); }

    void sourceTypes_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("filter");
        QTest::newRow("0") << 0 << "DBACCESS"
                           << "Access MDBs (*.mdb)|*.mdb";
        QTest::newRow("2") << 2 << "DBBTRIEVE"
                           << "Btrieve DBs (FILE.DDF)|FILE.DDF";
        QTest::newRow("8") << 8 << "DBFOX25"
                           << "FoxPro-2.5 Files (dbf)|*.dbf";
        QTest::newRow("11") << 11 << "DBGOLD"
                            << "Goldmine Files (*.dbf)|*.dbf";
        QTest::newRow("15") << 15 << "DBTEXTFILE"
                            << "Text Files (*.txt,*.csv)|*.txt;*.csv";
        QTest::newRow("16") << 16 << "UNKNOWN"
                            << "|";
        QTest::newRow("-1") << -1 << "UNKNOWN"
                            << "|";
    }
    void sourceTypes() {
        QFETCH(int, index);
        QFETCH(QString, code);
        QFETCH(QString, filter);
        QCOMPARE(sourceTypeAt(index).code, code);
        QCOMPARE(sourceTypeAt(index).fileFilter(), filter);
        if (index >= 0 && index < 16) {
            QCOMPARE(sourceTypeByCode(code).index, index);
            QCOMPARE(sourceTypeByCode(sourceTypeAt(index).shortName()).index, index);
        }
    }
    void sourceTypeOrder() {
        QStringList codes;
        for (const SourceType& type : importer::sourceTypes())
            codes << type.code;
        QCOMPARE(codes, QStringList({"DBACCESS", "DBACT4", "DBBTRIEVE", "DBDBASE3", "DBDBASE4", "DBDBASE5",
                                     "DBEXCEL5", "DBFOX2", "DBFOX25", "DBFOX26", "DBFOX30", "DBGOLD",
                                     "DBPARADOX3", "DBPARADOX4", "DBPARADOX5", "DBTEXTFILE"}));
        QCOMPARE(sourceTypeByCode("dbase3").code, QString("DBDBASE3"));
        QCOMPARE(sourceTypeByCode("textfile").code, QString("DBTEXTFILE"));
        QVERIFY(!sourceTypeByCode("dbase7").isValid());
    }

    // Every fixture: all rows in, non-ASCII and memos intact, numbers and dates as text, the row without an
    // address split off, the second of two rows with one address (in other letter case) left out.
    void fixtures_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("key");

        QTest::newRow("dBase III memo") << "DBDBASE3"
                                        << "dbase/db3_memo/CONTACTS.DBF"
                                        << ""
                                        << "dbase/db3_memo/expected.csv"
                                        << "EMAIL"
                                        << "ID";
        QTest::newRow("dBase III") << "DBDBASE3"
                                   << "dbase/db3_nomemo/ADDRBOOK.DBF"
                                   << ""
                                   << "dbase/db3_nomemo/expected.csv"
                                   << "EMAIL"
                                   << "ID";
        QTest::newRow("dBase IV") << "DBDBASE4"
                                  << "dbase/db4_memo/CONTACT4.DBF"
                                  << ""
                                  << "dbase/db4_memo/expected.csv"
                                  << "EMAIL"
                                  << "ID";
        QTest::newRow("FoxPro 2.5") << "DBFOX25"
                                    << "dbase/foxpro2x/contacts.dbf"
                                    << ""
                                    << "dbase/foxpro2x/expected.csv"
                                    << "EMAIL"
                                    << "ID";
        QTest::newRow("Visual FoxPro") << "DBFOX30"
                                       << "dbase/vfp/contacts.dbf"
                                       << ""
                                       << "dbase/vfp/expected.csv"
                                       << "EMAIL"
                                       << "ID";
        QTest::newRow("Paradox 3") << "DBPARADOX3"
                                   << "paradox/contacts/CONTACTS.DB"
                                   << ""
                                   << "paradox/contacts/expected.csv"
                                   << "Email"
                                   << "ID";
        QTest::newRow("Access") << "DBACCESS"
                                << "access/contacts_jet4/contacts.mdb"
                                << "Contacts"
                                << "access/contacts_jet4/expected_Contacts.csv"
                                << "E-mail"
                                << "ID";
        QTest::newRow("xls") << "DBEXCEL5"
                             << "excel/workbook/contacts.xls"
                             << "Contacts$"
                             << "excel/workbook/expected_sheet1.csv"
                             << "E-mail"
                             << "ID";
        QTest::newRow("xlsx") << "DBEXCEL5"
                              << "excel/workbook/contacts.xlsx"
                              << "Contacts$"
                              << "excel/workbook/expected_sheet1.csv"
                              << "E-mail"
                              << "ID";
        QTest::newRow("csv") << "DBTEXTFILE"
                             << "text/utf8_comma/contacts.csv"
                             << ""
                             << "text/utf8_comma/expected.csv"
                             << "E-mail"
                             << "ID";
        QTest::newRow("csv semicolon") << "DBTEXTFILE"
                                       << "text/semicolon_de/kontakte.csv"
                                       << ""
                                       << "text/semicolon_de/expected.csv"
                                       << "E-Mail"
                                       << "Nr";
        QTest::newRow("csv 1252") << "DBTEXTFILE"
                                  << "text/cp1252/contacts_ansi.csv"
                                  << ""
                                  << "text/cp1252/expected.csv"
                                  << "E-mail"
                                  << "ID";
        QTest::newRow("csv BOM") << "DBTEXTFILE"
                                 << "text/utf8_bom/contacts_excel_utf8.csv"
                                 << ""
                                 << "text/utf8_bom/expected.csv"
                                 << "E-mail"
                                 << "ID";
        QTest::newRow("txt UTF-16") << "DBTEXTFILE"
                                    << "text/utf16_tab/contacts_unicode.txt"
                                    << ""
                                    << "text/utf16_tab/expected.csv"
                                    << "E-mail"
                                    << "ID";
    }
    void fixtures() {
        QFETCH(QString, type);
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, expected);
        QFETCH(QString, email);
        QFETCH(QString, key);

        const QList<QStringList> want = fixture::readCsv(expected);
        const QStringList header = want.first();
        ImportRequest request = requestFor(type, file, email, header, table);
        request.roles.firstName = header.at(1);
        request.roles.lastName = header.at(2);
        request.listName = QStringLiteral("Contacts");
        ImportJob job(request, home->prompter);
        const ImportResult result = job.run();
        QVERIFY2(result.succeeded(), qPrintable(home->prompter.texts().join(u'\n')));
        QVERIFY(home->prompter.shown().isEmpty());

        // The kept fields became user columns named after them; a key field named like ID stays ID.
        const QStringList columns = userColumnNames(header);
        QCOMPARE(listColumns(result.listPath).mid(8), columns);
        const qsizetype keyColumn = header.indexOf(key);
        const qsizetype emailColumn = header.indexOf(email);

        QHash<QString, Row> byKey;
        for (const Row& row : listRows(result.listPath))
            byKey.insert(row.value(columns.at(keyColumn)), row);
        QCOMPARE(byKey.size(), want.size() - 3); // 12 records less the duplicate and the one without address
        for (qsizetype r = 1; r < want.size(); ++r) {
            const QStringList& record = want.at(r);
            const QString id = record.at(keyColumn);
            if (id == QLatin1String("8") || id == QLatin1String("9")) {
                QVERIFY2(!byKey.contains(id), qPrintable(id));
                continue;
            }
            QVERIFY2(byKey.contains(id), qPrintable(id));
            const Row& row = byKey.value(id);
            QCOMPARE(row.value("EAddress"), record.at(emailColumn));
            QCOMPARE(row.value("FirstName"), record.at(1));
            QCOMPARE(row.value("LastName"), record.at(2));
            QCOMPARE(row.value("Date"), QString());
            for (qsizetype c = 0; c < columns.size(); ++c)
                QCOMPARE(row.value(columns.at(c)), record.at(c));
        }

        // The row without an address, under its placeholder, in the list split off.
        QCOMPARE(result.nullEntries.count, qint64(1));
        QVERIFY(result.nullEntries.caption.startsWith("Contacts"));
        const QList<Row> missing = listRows(result.nullEntries.newListPath);
        QCOMPARE(missing.size(), 1);
        QCOMPARE(missing.first().value("EAddress"), QString("Unknown (record 9)"));
        QCOMPARE(missing.first().value(columns.at(keyColumn)), QString("9"));
        QCOMPARE(missing.first().value("FirstName"), want.at(9).at(1));

        const ImportSummary& summary = result.summary;
        QCOMPARE(summary.recordsRead, qint64(12));
        QCOMPARE(summary.rowsImported, qint64(10));
        QCOMPARE(summary.withoutAddress, qint64(1));
        QCOMPARE(summary.duplicates, qint64(1));
        QCOMPARE(summary.doubtfulAddresses, qint64(0));
        QVERIFY(!summary.interrupted);
        const QString eight = want.at(8).at(emailColumn);
        QVERIFY2(summary.rowNotes.contains(
                     QStringLiteral("Record 8: left out: the address %1 is already in the list "
                                    "(record 7).")
                         .arg(eight)),
                 qPrintable(summary.rowNotes.join(u'\n')));
        QVERIFY(summary.rowNotes.contains(
            "Record 9: no e-mail address; imported as \"Unknown (record 9)\" and moved "
            "to the \"(No Addresses)\" list."));
        QVERIFY(summary.text().contains("Rows in the new list: 10"));
    }

    // GoldMine: one row per e-mail supplement record (the long address whole), contacts without one split
    // off.
    void goldMine() {
        ImportRequest request = requestFor("DBGOLD", "goldmine/contacts/CONTACT1.DBF", "CONTSUPREF",
                                           {"ACCOUNTNO", "CONTACT", "COMPANY"});
        request.roles.lastName = "LASTNAME";
        ImportJob job(request, home->prompter);
        const ImportResult result = job.run();
        QVERIFY2(result.succeeded(), qPrintable(home->prompter.texts().join(u'\n')));

        const QList<QStringList> want = fixture::readCsv("goldmine/contacts/expected.csv");
        QStringList expectedAddresses;
        QSet<QString> seen;
        for (qsizetype r = 1; r < want.size(); ++r) {
            const QString address = want.at(r).at(4);
            if (!address.isEmpty() && !seen.contains(address.toCaseFolded())) {
                expectedAddresses << address;
                seen.insert(address.toCaseFolded());
            }
        }
        QStringList addresses;
        for (const Row& row : listRows(result.listPath)) {
            addresses << row.value("EAddress");
            const auto match = std::find_if(want.begin() + 1, want.end(), [&](const QStringList& record) {
                return record.at(4) == row.value("EAddress");
            });
            QVERIFY(match != want.end());
            QCOMPARE(row.value("ACCOUNTNO"), match->at(0));
            QCOMPARE(row.value("CONTACT"), match->at(1));
            QCOMPARE(row.value("COMPANY"), match->at(2));
            QCOMPARE(row.value("LastName"), match->at(3));
        }
        QCOMPARE(addresses, expectedAddresses);
        QVERIFY(addresses.contains("dana.whitlock.customer-service@example.com"));
        QCOMPARE(result.summary.withoutAddress, qint64(2)); // Bruno Castellane and Grace Okafor
        QCOMPARE(result.summary.duplicates, qint64(1));     // the second Marta Kowalczyk
        QCOMPARE(result.nullEntries.count, qint64(2));
    }

    void tablesAndFields() {
        ImportSource source;
        QVERIFY(source.open(sourceTypeByCode("DBEXCEL5"), fixture::path("excel/workbook/contacts.xls"),
                            home->prompter));
        QCOMPARE(source.tables(home->prompter), QStringList({"Contacts$", "Suppliers$"}));
        QCOMPARE(source.resolveTable("suppliers$"), QString("Suppliers$"));
        QCOMPARE(source.resolveTable(QString()), QString()); // two sheets: one must be named
        QCOMPARE(source.fields("Suppliers$", home->prompter).size(), 6);
        QCOMPARE(source.sampleValue("Contacts$", "First Name"), QString("Alice"));
        QCOMPARE(source.sampleValue("Contacts$", "Customer Since"), QString("2019-03-14"));
        QVERIFY(home->prompter.shown().isEmpty());
    }

    void pageChecks() {
        QVERIFY(!checkSourceFile("  ", home->prompter));
        QVERIFY(!checkSourceTable({}, home->prompter));
        QVERIFY(!checkFieldRoles({}, home->prompter));
        QVERIFY(checkFieldRoles({"E-mail", {}, {}, {}, {}}, home->prompter));
        QCOMPARE(home->prompter.texts(),
                 QStringList(
                     {"You must select a source file before you can continue.",
                      "You must select a database with data, then select a source table before you can "
                      "continue.",
                      "You must select a field to represent E-Mail addresses before you can continue.\nDrag "
                      "a field name from the Field List onto a tray to the right to identify a specific "
                      "field."}));
    }

    void btrieve() {
        ImportSource source;
        QVERIFY(!source.open(sourceTypeByCode("DBBTRIEVE"), fixture::path("dbase/db3_memo/CONTACTS.DBF"),
                             home->prompter));
        QCOMPARE(home->prompter.texts(), QStringList{btrieveUnsupportedText()});
    }

    void userColumns() {
        QCOMPARE(userColumnNames({"Date", "EAddress", "City", "city", "_Date", "Sent"}),
                 QStringList({"_Date", "_EAddress", "City", "city2", "_Date2", "_Sent"}));
    }

    void rememberedFolder() {
        const SourceType dbase = sourceTypeByCode("DBDBASE3");
        QCOMPARE(defaultImportFolder(dbase), QDir::homePath());
        rememberImportFolder(dbase, fixture::path("dbase/db3_memo/CONTACTS.DBF"));
        const QString folder = QFileInfo(fixture::path("dbase/db3_memo/CONTACTS.DBF")).absolutePath();
        QCOMPARE(AppGetSetting("DefaultDirectories", "DBDBASE3", {}), folder);
        QCOMPARE(defaultImportFolder(dbase), folder);
        QCOMPARE(defaultImportFolder(sourceTypeByCode("DBTEXTFILE")), folder); // the last folder of any type
    }

    // The filter goes through the dialect translator on a staging table that keeps numbers as numbers.
    void filters_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<int>("records");
        // Text compared as text would put 99.99 above 100.
        QTest::newRow("number") << "DBDBASE3"
                                << "dbase/db3_memo/CONTACTS.DBF"
                                << "WHERE (([CONTACTS].[BALANCE] > 100))"
                                << QStringList{"1", "3", "7", "11", "12"} << 5;
        QTest::newRow("date") << "DBDBASE3"
                              << "dbase/db3_memo/CONTACTS.DBF"
                              << "[SINCE] >= #2020-01-01#" << QStringList{"2", "4", "6", "8", "11"} << 5;
        // Record 8 passes too, but its address is record 7's.
        QTest::newRow("text, case ignored")
            << "DBTEXTFILE"
            << "text/utf8_comma/contacts.csv"
            << "[contacts.csv].[City] = \"KÖLN\" OR [City] Like \"War*\"" << QStringList{"3", "7"} << 3;
        QTest::newRow("logical") << "DBFOX30"
                                 << "dbase/vfp/contacts.dbf"
                                 << "[ACTIVE] = \"false\"" << QStringList{"2", "5", "8", "10"} << 4;
        QTest::newRow("null") << "DBACCESS"
                              << "access/contacts_jet4/contacts.mdb"
                              << "[Notes] Is Null" << QStringList{"2", "11"} << 2;
    }
    void filters() {
        QFETCH(QString, type);
        QFETCH(QString, file);
        QFETCH(QString, filter);
        QFETCH(QStringList, ids);
        QFETCH(int, records);
        const QString key = QStringLiteral("ID");
        const bool mixedCase = type == QLatin1String("DBTEXTFILE") || type == QLatin1String("DBACCESS");
        ImportRequest request = requestFor(type, file, mixedCase ? "E-mail" : "EMAIL", {key},
                                           type == "DBACCESS" ? "Contacts" : "");
        request.filter = filter;
        ImportJob job(request, home->prompter);
        const ImportResult result = job.run();
        QVERIFY2(result.succeeded(), qPrintable(home->prompter.texts().join(u'\n')));
        QStringList got;
        for (const Row& row : listRows(result.listPath))
            got << row.value(key);
        QCOMPARE(got, ids);
        QCOMPARE(result.summary.recordsRead, qint64(records));
        QVERIFY(!QDir(appFolders().TempFolder).entryList({"ImportSource*"}).size());
    }

    // The clause the filter page builds with the query builder, from the kinds of the source's fields.
    void queryBuilderClause() {
        ImportSource source;
        QVERIFY(source.open(sourceTypeByCode("DBDBASE3"), fixture::path("dbase/db3_memo/CONTACTS.DBF"),
                            home->prompter));
        const QList<SourceField> fields = source.fields("CONTACTS", home->prompter);
        const SourceField balance = fields.at(fieldIndex(fields, "BALANCE"));
        const SourceField city = fields.at(fieldIndex(fields, "CITY"));
        QCOMPARE(filterValueKind(balance), QueryBuilder::ValueKind::DecimalNumber);
        QCOMPARE(filterValueKind(city), QueryBuilder::ValueKind::Quoted);
        const QList<QueryBuilder::ConditionRow> rows = {{"BALANCE", ">", "300", filterValueKind(balance)},
                                                        {"CITY", "<>", "Dublin", filterValueKind(city)}};
        ImportRequest request = requestFor("DBDBASE3", "dbase/db3_memo/CONTACTS.DBF", "EMAIL", {"ID"});
        request.filter = QueryBuilder::buildClause("CONTACTS", rows, {"AND", "", ""});
        const ImportResult result = ImportJob(request, home->prompter).run();
        QVERIFY2(result.succeeded(), qPrintable(request.filter + home->prompter.texts().join(u'\n')));
        QStringList ids;
        for (const Row& row : listRows(result.listPath))
            ids << row.value("ID");
        QCOMPARE(ids, QStringList({"1", "3", "7", "11", "12"}));
    }

    void filterRefused() {
        ImportRequest request = requestFor("DBDBASE3", "dbase/db3_memo/CONTACTS.DBF", "EMAIL");
        request.filter = "[CITY] = ";
        const QStringList before = tempLists();
        const ImportResult result = ImportJob(request, home->prompter).run();
        QCOMPARE(result.listPath, QString("<Error:"));
        QCOMPARE(home->prompter.shown().size(), 1);
        QVERIFY(home->prompter.texts().first().startsWith("The filter cannot be used: "));
        QCOMPARE(tempLists(), before);
    }

    void noRecords() {
        ImportRequest request = requestFor("DBDBASE3", "dbase/db3_memo/CONTACTS.DBF", "EMAIL");
        request.filter = "[CITY] = \"Atlantis\"";
        const QStringList before = tempLists();
        QCOMPARE(ImportJob(request, home->prompter).run().listPath, QString("<No Records"));
        QTemporaryDir dir;
        writeFile(dir.filePath("header.csv"), "Name,E-mail\r\n");
        request = requestFor("DBTEXTFILE", {}, "E-mail");
        request.path = dir.filePath("header.csv");
        QCOMPARE(ImportJob(request, home->prompter).run().listPath, QString("<No Records"));
        QCOMPARE(tempLists(), before);
        QVERIFY(home->prompter.shown().isEmpty());
    }

    void missingField() {
        const ImportRequest request =
            requestFor("DBDBASE3", "dbase/db3_memo/CONTACTS.DBF", "MAIL", {"TOWN", "CITY"});
        QCOMPARE(ImportJob(request, home->prompter).run().listPath, QString("<Error:"));
        QCOMPARE(home->prompter.texts(), QStringList{"The table CONTACTS has no field named MAIL, TOWN."});
    }

    // Files that are damaged, empty or of another kind: the message, no list, no crash.
    void unreadable_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QString invalid = QStringLiteral("is invalid for the current operation.");
        const QString cannot = QStringLiteral("Tamberlyn cannot read the selected file.");
        const QByteArray dbf = fixtureBytes("dbase/db3_memo/CONTACTS.DBF");
        const QByteArray csv = fixtureBytes("text/utf8_comma/contacts.csv");
        const QByteArray xls = fixtureBytes("excel/workbook/contacts.xls");
        const QByteArray xlsx = fixtureBytes("excel/workbook/contacts.xlsx");
        const QByteArray mdb = fixtureBytes("access/contacts_jet4/contacts.mdb");
        const QByteArray paradox = fixtureBytes("paradox/contacts/CONTACTS.DB");
        const QByteArray png =
            QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") + QByteArray(200, '\x01');

        QTest::newRow("dbf empty") << "DBDBASE3"
                                   << "a.dbf" << QByteArray() << invalid;
        QTest::newRow("dbf truncated in a record") << "DBDBASE3"
                                                   << "a.dbf" << dbf.left(dbf.size() - 300) << invalid;
        QTest::newRow("dbf truncated in the header") << "DBDBASE4"
                                                     << "a.dbf" << dbf.left(100) << invalid;
        QTest::newRow("dbf is a picture") << "DBFOX26"
                                          << "a.dbf" << png << invalid;
        QTest::newRow("dbf is a workbook") << "DBDBASE5"
                                           << "a.dbf" << xls << invalid;
        QTest::newRow("csv empty") << "DBTEXTFILE"
                                   << "a.csv" << QByteArray() << invalid;
        QTest::newRow("csv only a byte-order mark") << "DBTEXTFILE"
                                                    << "a.csv" << QByteArray("\xEF\xBB\xBF") << invalid;
        QTest::newRow("csv is a workbook") << "DBTEXTFILE"
                                           << "a.csv" << xls << invalid;
        QTest::newRow("csv cut in a quoted field")
            << "DBTEXTFILE"
            << "a.csv" << csv.left(csv.indexOf("Two-line") + 5) << cannot;
        QTest::newRow("xls empty") << "DBEXCEL5"
                                   << "a.xls" << QByteArray() << invalid;
        QTest::newRow("xls truncated") << "DBEXCEL5"
                                       << "a.xls" << xls.left(3000) << invalid;
        QTest::newRow("xls is text") << "DBEXCEL5"
                                     << "a.xls" << csv << invalid;
        QTest::newRow("xlsx truncated") << "DBEXCEL5"
                                        << "a.xlsx" << xlsx.left(xlsx.size() / 2) << invalid;
        QTest::newRow("mdb empty") << "DBACCESS"
                                   << "a.mdb" << QByteArray() << invalid;
        QTest::newRow("mdb cut at its end") << "DBACCESS"
                                            << "a.mdb" << mdb.left(mdb.size() - 360) << invalid;
        // What libmdb still finds in a file cut at a page boundary varies; some message is shown, and no list
        // made.
        QTest::newRow("mdb cut in its middle") << "DBACCESS"
                                               << "a.mdb" << mdb.left(65536) << QString();
        QTest::newRow("mdb is text") << "DBACCESS"
                                     << "a.mdb" << csv << invalid;
        QTest::newRow("mdb is a picture") << "DBACCESS"
                                          << "a.mdb" << png + QByteArray(8000, '\0') << invalid;
        QTest::newRow("paradox truncated") << "DBPARADOX4"
                                           << "a.db" << paradox.left(5000) << invalid;
        QTest::newRow("paradox is a table of dBase") << "DBPARADOX5"
                                                     << "a.db" << dbf << invalid;
        QTest::newRow("goldmine without CONTSUPP")
            << "DBGOLD"
            << "CONTACT1.DBF" << fixtureBytes("goldmine/contacts/CONTACT1.DBF") << invalid;
    }
    void unreadable() {
        QFETCH(QString, type);
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        writeFile(path, bytes);
        ImportRequest request = requestFor(type, {}, "E-mail");
        request.path = path;
        const QStringList before = tempLists();
        const ImportResult result = ImportJob(request, home->prompter).run();
        QCOMPARE(result.listPath, QString("<Error:"));
        QCOMPARE(home->prompter.shown().size(), 1);
        QVERIFY2(home->prompter.texts().first().contains(message),
                 qPrintable(home->prompter.texts().first()));
        QCOMPARE(tempLists(), before);
    }

    void invalidText() {
        QCOMPARE(
            ImportText::invalidFile("/data/x.dbf"),
            QString(
                "/data/x.dbf is invalid for the current operation.  \nIt may be corrupt, the wrong type of "
                "file, password protected or empty."));
        QCOMPARE(
            ImportText::cannotRead(),
            QString(
                "Tamberlyn cannot read the selected file.\nThe selected file may have no records, it may be "
                "opened exclusively by another application, or it may be an incorrect type or corrupt.\n"
                "Please correct the problem before trying to open the file with Tamberlyn"));
    }

    // Addresses that come in changed, or doubtful, are each named in the summary.
    void summaryNotes() {
        QTemporaryDir dir;
        writeFile(dir.filePath("people.csv"), "Name,Mail\n"
                                              "Ann,  ann@example.org \n"
                                              "Bob,bob at example\n"
                                              "Cy,unknown.cy@example.org\n"
                                              "Di,ANN@example.org\n"
                                              "Ed,\n");
        ImportRequest request = requestFor("DBTEXTFILE", {}, "Mail", {"Name"});
        request.path = dir.filePath("people.csv");
        const ImportResult result = ImportJob(request, home->prompter).run();
        QVERIFY(result.succeeded());
        QCOMPARE(result.summary.rowNotes,
                 QStringList(
                     {"Record 1: the blanks around the address ann@example.org were removed.",
                      "Record 2: the address bob at example does not look like a usable e-mail address; it "
                      "was imported as it stands.",
                      "Record 3: the address unknown.cy@example.org begins with \"Unknown\", so it was moved "
                      "to the \"(No Addresses)\" list with the rows without an address.",
                      "Record 4: left out: the address ANN@example.org is already in the list (record 1).",
                      "Record 5: no e-mail address; imported as \"Unknown (record 5)\" and moved to the "
                      "\"(No Addresses)\" list."}));
        QCOMPARE(result.summary.rowsImported, qint64(2));
        QCOMPARE(result.nullEntries.count, qint64(2));
        QCOMPARE(result.summary.doubtfulAddresses, qint64(1));
        QCOMPARE(result.summary.otherChanges, qint64(2));
        const QString text = result.summary.text();
        QVERIFY(text.startsWith("Source: " + QDir::toNativeSeparators(request.path) +
                                " (table people.csv)\n"
                                "Records read: 5\nRows in the new list: 2\n"));
        QVERIFY(text.contains("Rows left out because their address was already in the list: 1"));
        QVERIFY(text.endsWith("\"(No Addresses)\" list."));
    }

    // An address holding a line break or another control character would reach an SMTP session as
    // commands of its own: it counts as not usable and its note shows the characters, on one line.
    void controlCharactersInAddresses() {
        QTemporaryDir dir;
        writeFile(dir.filePath("hostile.csv"), QByteArray("Name,Mail\r\n"
                                                          "Ann,ann@example.org\r\n"
                                                          "Bob,\"bob@example.invalid\r\nDATA\"\r\n"
                                                          "Cy,\"cy@exam\tple.org\"\r\n"
                                                          "Di,di@example.org\x7F\r\n"
                                                          "Ed,ed@example.org\r\n"));
        ImportRequest request = requestFor("DBTEXTFILE", {}, "Mail", {"Name"});
        request.path = dir.filePath("hostile.csv");
        const ImportResult result = ImportJob(request, home->prompter).run();
        QVERIFY(result.succeeded());
        QCOMPARE(result.summary.doubtfulAddresses, qint64(3));
        const QString note = QStringLiteral(
            "Record %1: the address %2 does not look like a usable e-mail address; it was imported as it "
            "stands.");
        QCOMPARE(result.summary.rowNotes,
                 QStringList({note.arg(2).arg("bob@example.invalid\\r\\nDATA"),
                              note.arg(3).arg("cy@exam\\tple.org"), note.arg(4).arg("di@example.org\\x7F")}));
        QVERIFY(!result.summary.text().contains("\nDATA"));
        const QList<Row> rows = listRows(result.listPath);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.at(1).value("EAddress"), QString("bob@example.invalid\r\nDATA"));
        QCOMPARE(rows.at(4).value("EAddress"), QString("ed@example.org"));
    }

    // Interrupting keeps the rows written so far and ends the list there.
    void interrupt() {
        QTemporaryDir dir;
        QByteArray csv = "Mail\n";
        for (int i = 1; i <= 100; ++i)
            csv += "person" + QByteArray::number(i) + "@example.org\n";
        writeFile(dir.filePath("many.csv"), csv);
        ImportRequest request = requestFor("DBTEXTFILE", {}, "Mail");
        request.path = dir.filePath("many.csv");
        ImportJob job(request, home->prompter);
        job.setSliceSize(7);
        QSignalSpy counter(&job, &ImportJob::counterUpdate);
        QSignalSpy finished(&job, &ImportJob::finished);
        connect(&job, &ImportJob::counterUpdate, &job, [&job](qint64 records) {
            if (records >= 21)
                job.interrupt();
        });
        job.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.size(), 1);
        QVERIFY(job.isFinished());
        const ImportResult& result = job.result();
        QVERIFY(result.succeeded());
        QVERIFY(result.summary.interrupted);
        QCOMPARE(result.summary.recordsRead, qint64(21));
        QCOMPARE(listRows(result.listPath).size(), 21);
        QCOMPARE(counter.first().first().toLongLong(), qint64(7));
        QVERIFY(result.summary.text().contains(
            "The import was interrupted; the rows imported until then were kept."));
    }

    // With a filter the records are read before any is copied: an interrupt then still copies those read
    // that pass it, and the progress tells the stage.
    void interruptWhileReadingKeepsTheRecordsRead() {
        QTemporaryDir dir;
        QByteArray csv = "Mail\n";
        for (int i = 1; i <= 100; ++i)
            csv += "person" + QByteArray::number(i) + "@example.org\n";
        writeFile(dir.filePath("many.csv"), csv);
        ImportRequest request = requestFor("DBTEXTFILE", {}, "Mail");
        request.path = dir.filePath("many.csv");
        request.filter = "Mail <> 'person1@example.org'";
        ImportJob job(request, home->prompter);
        job.setSliceSize(10);
        QList<ImportJob::Stage> stages;
        connect(&job, &ImportJob::progress, &job, [&](ImportJob::Stage stage, qint64 done, qint64) {
            stages << stage;
            if (stage == ImportJob::Stage::Reading && done >= 30)
                job.interrupt();
        });
        QSignalSpy finished(&job, &ImportJob::finished);
        job.start();
        QVERIFY(finished.wait(5000));
        const ImportResult& result = job.result();
        QVERIFY(result.succeeded());
        QVERIFY(result.summary.interrupted);
        QCOMPARE(result.summary.recordsRead, qint64(29));
        QCOMPARE(listRows(result.listPath).size(), 29);
        QCOMPARE(stages.first(), ImportJob::Stage::Reading);
        QCOMPARE(stages.last(), ImportJob::Stage::Copying);
    }

    void asyncFailureFinishes() {
        ImportRequest request = requestFor("DBDBASE3", "dbase/db3_memo/CONTACTS.DBF", "NOPE");
        ImportJob job(request, home->prompter);
        QSignalSpy finished(&job, &ImportJob::finished);
        job.start();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(job.result().listPath, QString("<Error:"));
    }
};

QTEST_GUILESS_MAIN(TestImportEngine)
#include "tst_importengine.moc"
