// Every fixture written by other software reads back with exactly the rows of its expected file.
#include "FixtureRows.h"
#include "import/IsolatedReader.h"
#include "import/SourceReader.h"

#include <QTest>

using namespace importer;

namespace {

QList<QStringList> readAll(SourceReader& reader, const QString& table, QString* error) {
    QList<QStringList> rows;
    if (!reader.beginRows(table)) {
        *error = reader.errorText();
        return rows;
    }
    SourceRow row;
    for (;;) {
        const SourceReader::ReadResult result = reader.nextRow(row);
        if (result == SourceReader::ReadResult::End)
            break;
        if (result == SourceReader::ReadResult::Failed) {
            *error = reader.errorText();
            break;
        }
        QStringList texts;
        for (const QString& value : std::as_const(row))
            texts << (value.isNull() ? QString(u""_qs) : value);
        rows << texts;
    }
    return rows;
}

} // namespace

class TestSourceReaders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The readers built on C libraries run in a child: the program itself, not this test.
    void initTestCase() { importer::IsolatedReader::setProgram(QStringLiteral(TAMBERLYN_EXECUTABLE)); }
    void fixtureRows_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("expected");

        QTest::newRow("dBase III memo") << "DBDBASE3"
                                        << "dbase/db3_memo/CONTACTS.DBF"
                                        << "CONTACTS"
                                        << "dbase/db3_memo/expected.csv";
        QTest::newRow("dBase III") << "DBDBASE3"
                                   << "dbase/db3_nomemo/ADDRBOOK.DBF"
                                   << "ADDRBOOK"
                                   << "dbase/db3_nomemo/expected.csv";
        QTest::newRow("dBase IV memo") << "DBDBASE4"
                                       << "dbase/db4_memo/CONTACT4.DBF"
                                       << "CONTACT4"
                                       << "dbase/db4_memo/expected.csv";
        QTest::newRow("dBase 5") << "DBDBASE5"
                                 << "dbase/db4_memo/CONTACT4.DBF"
                                 << "CONTACT4"
                                 << "dbase/db4_memo/expected.csv";
        QTest::newRow("FoxPro 2.x") << "DBFOX26"
                                    << "dbase/foxpro2x/contacts.dbf"
                                    << "contacts"
                                    << "dbase/foxpro2x/expected.csv";
        QTest::newRow("FoxPro 2.0") << "DBFOX2"
                                    << "dbase/foxpro2x/contacts.dbf"
                                    << "contacts"
                                    << "dbase/foxpro2x/expected.csv";
        QTest::newRow("Visual FoxPro") << "DBFOX30"
                                       << "dbase/vfp/contacts.dbf"
                                       << "contacts"
                                       << "dbase/vfp/expected.csv";
        QTest::newRow("GoldMine CONTACT1 as dBase") << "DBDBASE3"
                                                    << "goldmine/contacts/CONTACT1.DBF"
                                                    << "CONTACT1"
                                                    << "goldmine/contacts/expected_CONTACT1.csv";
        QTest::newRow("GoldMine CONTSUPP as dBase") << "DBDBASE3"
                                                    << "goldmine/contacts/CONTSUPP.DBF"
                                                    << "CONTSUPP"
                                                    << "goldmine/contacts/expected_CONTSUPP.csv";
        QTest::newRow("text UTF-8 comma") << "DBTEXTFILE"
                                          << "text/utf8_comma/contacts.csv"
                                          << "contacts.csv"
                                          << "text/utf8_comma/expected.csv";
        QTest::newRow("text semicolon") << "DBTEXTFILE"
                                        << "text/semicolon_de/kontakte.csv"
                                        << "kontakte.csv"
                                        << "text/semicolon_de/expected.csv";
        QTest::newRow("text Windows-1252") << "textfile"
                                           << "text/cp1252/contacts_ansi.csv"
                                           << "contacts_ansi.csv"
                                           << "text/cp1252/expected.csv";
        QTest::newRow("text UTF-8 BOM") << "DBTEXTFILE"
                                        << "text/utf8_bom/contacts_excel_utf8.csv"
                                        << "contacts_excel_utf8.csv"
                                        << "text/utf8_bom/expected.csv";
        QTest::newRow("text UTF-16 tab") << "DBTEXTFILE"
                                         << "text/utf16_tab/contacts_unicode.txt"
                                         << "contacts_unicode.txt"
                                         << "text/utf16_tab/expected.csv";
        QTest::newRow("Access Jet 4 Contacts") << "DBACCESS"
                                               << "access/contacts_jet4/contacts.mdb"
                                               << "Contacts"
                                               << "access/contacts_jet4/expected_Contacts.csv";
        QTest::newRow("Access Jet 4 Call Log") << "access"
                                               << "access/contacts_jet4/contacts.mdb"
                                               << "Call Log"
                                               << "access/contacts_jet4/expected_Call_Log.csv";
        QTest::newRow("Access Jet 3 Table1") << "DBACCESS"
                                             << "access/sample_jet3/testV1997.mdb"
                                             << "Table1"
                                             << "access/sample_jet3/expected_Table1.csv";
        QTest::newRow("Access Jet 3 Table2") << "DBACCESS"
                                             << "access/sample_jet3/testV1997.mdb"
                                             << "Table2"
                                             << "access/sample_jet3/expected_Table2.csv";
        QTest::newRow("Access Jet 3 Table3") << "DBACCESS"
                                             << "access/sample_jet3/testV1997.mdb"
                                             << "Table3"
                                             << "access/sample_jet3/expected_Table3.csv";
        QTest::newRow("Access Jet 3 Table4") << "DBACCESS"
                                             << "access/sample_jet3/testV1997.mdb"
                                             << "Table4"
                                             << "access/sample_jet3/expected_Table4.csv";
        QTest::newRow("Access Jet 4 Unicode") << "DBACCESS"
                                              << "access/sample_jet4_unicode/testUnicodeCompV2003.mdb"
                                              << "Table"
                                              << "access/sample_jet4_unicode/expected_Table.csv";
        QTest::newRow("xls Contacts") << "DBEXCEL5"
                                      << "excel/workbook/contacts.xls"
                                      << "Contacts$"
                                      << "excel/workbook/expected_sheet1.csv";
        QTest::newRow("xls Suppliers") << "DBEXCEL5"
                                       << "excel/workbook/contacts.xls"
                                       << "Suppliers$"
                                       << "excel/workbook/expected_sheet2.csv";
        QTest::newRow("xlsx Contacts") << "DBEXCEL5"
                                       << "excel/workbook/contacts.xlsx"
                                       << "Contacts$"
                                       << "excel/workbook/expected_sheet1.csv";
        QTest::newRow("xlsx Suppliers") << "excel5"
                                        << "excel/workbook/contacts.xlsx"
                                        << "Suppliers$"
                                        << "excel/workbook/expected_sheet2.csv";
        QTest::newRow("Paradox") << "DBPARADOX5"
                                 << "paradox/contacts/CONTACTS.DB"
                                 << "CONTACTS"
                                 << "paradox/contacts/expected.csv";
    }

    void fixtureRows() {
        QFETCH(QString, type);
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, expected);

        const SourceType sourceType = sourceTypeByCode(type);
        QVERIFY(sourceType.isValid());
        std::unique_ptr<SourceReader> reader = createSourceReader(sourceType, fixture::path(file));
        QVERIFY(reader);
        QVERIFY2(reader->open(fixture::path(file)), qPrintable(reader->errorText()));
        QVERIFY2(reader->tables().contains(table), qPrintable(reader->tables().join(u'|')));

        const QList<QStringList> want = fixture::readCsv(expected);
        QVERIFY(!want.isEmpty());
        QStringList names;
        for (const SourceField& field : reader->fields(table))
            names << field.name;
        QVERIFY2(!names.isEmpty(), qPrintable(reader->errorText()));
        QCOMPARE(names, want.first());

        QString error;
        const QList<QStringList> rows = readAll(*reader, table, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), want.size() - 1);
        for (qsizetype i = 0; i < rows.size(); ++i)
            QCOMPARE(rows.at(i), want.at(i + 1));
        QVERIFY(reader->warnings().isEmpty());

        // A second pass reads the same rows again.
        QCOMPARE(readAll(*reader, table, &error).size(), rows.size());
    }

    void fieldKinds() {
        std::unique_ptr<SourceReader> reader = createSourceReader(sourceTypeByCode("DBFOX30"), {});
        QVERIFY(reader->open(fixture::path("dbase/vfp/contacts.dbf")));
        const QList<SourceField> fields = reader->fields("contacts");
        QCOMPARE(fields.size(), 11);
        QCOMPARE(fields.at(0).kind, FieldKind::Number);  // I
        QCOMPARE(fields.at(1).kind, FieldKind::Text);    // C
        QCOMPARE(fields.at(7).kind, FieldKind::Date);    // D
        QCOMPARE(fields.at(8).kind, FieldKind::Boolean); // L
        QCOMPARE(fields.at(9).kind, FieldKind::Number);  // Y
        QCOMPARE(fields.at(10).kind, FieldKind::Memo);   // M
        QCOMPARE(fields.at(9).typeName, QString("Currency"));
    }
};

QTEST_GUILESS_MAIN(TestSourceReaders)
#include "tst_sourcereaders.moc"
