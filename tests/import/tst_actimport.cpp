// ACT! 4 through its contact file: field names, the target columns, the copy, and the duplicates taken out.
#include "DbfWriter.h"
#include "app/CommandLine.h"
#include "db/DataTank.h"
#include "db/Database.h"
#include "import/ActImport.h"
#include "import/ImportBuild.h"
#include "support/TestHome.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace importer;

namespace {

QString writeContacts(const QTemporaryDir& dir) {
    const QList<dbf::Field> fields = {{"E-MAIL", 'C', 30}, {"FIRST NAME", 'C', 10}, {"SURNAME", 'C', 10},
                                      {"DATE", 'D', 8},    {"COMPANY", 'C', 12},    {"TITLE", 'C', 4}};
    const QList<dbf::Record> records = {
        {{"b@example.org", "Ann", "Lee", "20240101", "Acme", "Ms"}},
        {{"a@example.org", "Bob", "Ray", "20230615", "Bolt", "Mr"}},
        {{"B@EXAMPLE.ORG", "Ann", "Lee", "20240102", "Acme", "Ms"}},
        {{"", "Cy", "Day", "", "Cogs", ""}},
        {{"c@example.org", "Di", "Eve", "", "", "Dr"}},
    };
    const QString path = dir.filePath("CONTACTS.DBF");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(dbf::table(0x03, fields, records));
    return path;
}

QList<QStringList> rowsOf(const QString& path, const QStringList& columns) {
    QList<QStringList> rows;
    QStringList quoted;
    for (const QString& column : columns)
        quoted << db::quoteName(column);
    const db::Database list = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    db::Statement query = list.prepare(QStringLiteral("SELECT ") + quoted.join(u',') +
                                       QStringLiteral(" FROM AddressList ORDER BY rowid"));
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < columns.size(); ++i)
            row << query.text(i);
        rows << row;
    }
    return rows;
}

} // namespace

class TestActImport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fieldNames_data() {
        QTest::addColumn<QString>("act");
        QTest::addColumn<QString>("column");
        QTest::newRow("first name") << "First Name"
                                    << "FirstName";
        QTest::newRow("last name") << "Last Name"
                                   << "LastName";
        QTest::newRow("surname") << "Surname"
                                 << "LastName";
        QTest::newRow("date") << "Date"
                              << "_Date";
        QTest::newRow("sent") << "Sent"
                              << "_Sent";
        QTest::newRow("address") << "EAddress"
                                 << "_EAddress";
        QTest::newRow("keyword 1") << "Keyword1"
                                   << "_Keyword1";
        QTest::newRow("keyword 2") << "KEYWORD2"
                                   << "_Keyword2";
        QTest::newRow("dots and brackets") << "Ph.No [2]"
                                           << "PhNo 2";
        QTest::newRow("title stays") << "Title"
                                     << "Title";
        QTest::newRow("other") << "Company"
                               << "Company";
    }
    void fieldNames() {
        QFETCH(QString, act);
        QFETCH(QString, column);
        QCOMPARE(ValidateFieldName(act), column);
    }

    void mappings() {
        TestHome home;
        ActImport import(home.prompter);
        import.AddMapping("E-MAIL", "EAddress");
        import.AddMapping("PHONE", "Phone");
        import.AddMapping("EMAIL 2", "EAddress"); // a column is filled by one field: the later mapping wins
        QCOMPARE(import.mappings().size(), 2);
        QCOMPARE(import.mappings().first().actField, QString("EMAIL 2"));
    }

    void importsTheContactFile() {
        TestHome home;
        QVERIFY(home.start());
        QTemporaryDir dir;
        ImportRequest request;
        request.type = sourceTypeByCode("DBACT4");
        request.path = writeContacts(dir);
        request.roles.email = "E-MAIL";
        request.roles.keep = {"FIRST NAME", "SURNAME", "DATE", "COMPANY", "TITLE"};
        request.listName = "Act";
        ActImport import(home.prompter);
        const ImportResult result = import.run(request);
        QVERIFY2(result.succeeded(), qPrintable(home.prompter.texts().join(u'\n')));

        const db::Database list = db::Database::open(result.listPath, db::Database::OpenMode::ReadOnly);
        QStringList columns;
        for (const db::ColumnInfo& column : list.columns("AddressList"))
            columns << column.name;
        QCOMPARE(columns, QStringList({"EAddress", "FirstName", "LastName", "Title", "Sent", "Date",
                                       "Keyword1", "Keyword2", "_Date", "COMPANY"}));
        QVERIFY(list.column("AddressList", "EAddress")->primaryKey);
        QVERIFY(DataTank::IsTamberlynDB(list));

        // Sorted by address, the first of the two rows with one address kept, the system Date left empty.
        QCOMPARE(rowsOf(result.listPath,
                        {"EAddress", "FirstName", "LastName", "Title", "Date", "_Date", "COMPANY"}),
                 QList<QStringList>({{"a@example.org", "Bob", "Ray", "Mr", "", "2023-06-15", "Bolt"},
                                     {"b@example.org", "Ann", "Lee", "Ms", "", "2024-01-01", "Acme"},
                                     {"c@example.org", "Di", "Eve", "Dr", "", "", ""}}));
        QCOMPARE(result.nullEntries.count, qint64(1));
        QCOMPARE(rowsOf(result.nullEntries.newListPath, {"EAddress", "FirstName", "COMPANY"}),
                 QList<QStringList>({{"Unknown (record 4)", "Cy", "Cogs"}}));
        QCOMPARE(result.summary.recordsRead, qint64(5));
        QCOMPARE(result.summary.rowsImported, qint64(3));
        QCOMPARE(result.summary.duplicates, qint64(1));
        QVERIFY(result.summary.rowNotes.contains(
            "Record 3: left out: its address is already in the list (record 1)."));
        QCOMPARE(import.mappings().size(), 6);
    }

    // Letter case is ignored beyond ASCII too; the later rows go.
    void deleteDuplicates() {
        TestHome home;
        QVERIFY(home.start());
        db::Database list = DataTank::CreateTargetDatabase(false);
        QVERIFY(list.isOpen());
        QVERIFY(list.exec("CREATE TABLE AddressList (EAddress TEXT, FirstName TEXT)"));
        for (const auto& [address, name] : QList<QPair<QString, QString>>{{"zoë@example.org", "1"},
                                                                          {"b@example.org", "2"},
                                                                          {"ZOË@EXAMPLE.ORG", "3"},
                                                                          {"Zoë@Example.org", "4"}})
            QVERIFY(list.exec("INSERT INTO AddressList VALUES (?1, ?2)", {address, name}));
        const QList<QPair<qint64, qint64>> removed = ActImport::DeleteDuplicates(list);
        QCOMPARE(removed, (QList<QPair<qint64, qint64>>{{3, 1}, {4, 1}}));
        const QString path = list.fileName();
        list.close();
        QCOMPARE(rowsOf(path, {"EAddress", "FirstName"}),
                 QList<QStringList>({{"b@example.org", "2"}, {"zoë@example.org", "1"}}));
    }

    // The wizard's build copies in slices; an interrupt keeps the records copied, without duplicates.
    void interruptKeepsTheRecordsCopied() {
        TestHome home;
        QVERIFY(home.start());
        QTemporaryDir dir;
        QList<dbf::Record> records;
        for (int i = 1; i <= 3000; ++i)
            records.append({{QByteArray("p") + QByteArray::number(i % 2500) + "@example.org"}});
        QFile file(dir.filePath("CONTACTS.DBF"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(dbf::table(0x03, {{"E-MAIL", 'C', 30}}, records));
        file.close();
        ImportRequest request;
        request.type = sourceTypeByCode("DBACT4");
        request.path = file.fileName();
        request.roles.email = "E-MAIL";
        ImportBuild build(request, home.prompter);
        build.setSliceSize(100);
        qint64 total = 0;
        connect(&build, &ImportBuild::progress, this, [&](ImportJob::Stage, qint64 done, qint64 of) {
            total = of;
            if (done >= 2600)
                build.interrupt();
        });
        QSignalSpy finished(&build, &ImportBuild::finished);
        build.start();
        QVERIFY(finished.wait(60000));
        const ImportResult& result = build.result();
        QVERIFY2(result.succeeded(), qPrintable(result.listPath));
        QCOMPARE(total, qint64(3000));
        QVERIFY(result.summary.interrupted);
        QCOMPARE(result.summary.recordsRead, qint64(2600));
        QCOMPARE(result.summary.duplicates, qint64(100)); // p0..p99 came twice
        QCOMPARE(rowsOf(result.listPath, {"EAddress"}).size(), 2500);
        QVERIFY(home.prompter.texts().isEmpty());
    }

    void missingEmailField() {
        TestHome home;
        QVERIFY(home.start());
        QTemporaryDir dir;
        ImportRequest request;
        request.type = sourceTypeByCode("DBACT4");
        request.path = writeContacts(dir);
        request.roles.email = "EMAIL";
        ActImport import(home.prompter);
        QCOMPARE(import.run(request).listPath, QString("<Error:"));
        QCOMPARE(home.prompter.texts(), QStringList{"The table CONTACTS has no field named EMAIL."});
    }

    void commandLine() {
        TestHome home;
        QVERIFY(home.start());
        home.stop();
        QTemporaryDir dir;
        QString output;
        QString input;
        QTextStream in(&input);
        QTextStream out(&output);
        QTextStream err(&output);
        const int status =
            RunCommandLine({"tamberlyn", "--home", home.path(), "import", "--type", "act4", "--file",
                            writeContacts(dir), "--email", "E-MAIL", "--keep", "SURNAME", "--name", "Act"},
                           {in, out, err, false});
        out.flush();
        QCOMPARE(status, 0);
        QVERIFY2(output.startsWith("Imported 3 row(s) into the list 'Act'."), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestActImport)
#include "tst_actimport.moc"
