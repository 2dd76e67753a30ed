// The xBase reader on tables built byte by byte: field types, code pages, memo files of each kind, and
// damaged headers.
#include "DbfWriter.h"
#include "import/XBaseTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace importer;

Q_DECLARE_METATYPE(dbf::Field)

namespace {

// Opens the bytes as a table (with memo bytes when given); the rows as texts, "<null>" for no value.
QList<QStringList> readTable(const QByteArray& table, const QByteArray& memo = {}, QString* error = nullptr,
                             QList<XBaseField>* fields = nullptr) {
    XBaseTable reader;
    QString failure;
    QList<QStringList> rows;
    if (!reader.open(std::make_unique<MemoryByteSource>(table.constData(), table.size()), &failure)) {
        if (error)
            *error = failure;
        return rows;
    }
    if (!memo.isNull())
        reader.attachMemo(std::make_unique<MemoryByteSource>(memo.constData(), memo.size()));
    if (fields)
        *fields = reader.fields();
    QStringList values;
    for (qint64 i = 0; i < reader.recordCount(); ++i) {
        const XBaseTable::RecordState state = reader.readRecord(i, values);
        if (state == XBaseTable::RecordState::Failed) {
            if (error)
                *error = QStringLiteral("record failed");
            break;
        }
        if (state == XBaseTable::RecordState::Deleted)
            continue;
        QStringList texts;
        for (const QString& value : std::as_const(values))
            texts << (value.isNull() ? QStringLiteral("<null>") : value);
        rows << texts;
    }
    return rows;
}

QList<QStringList> rows(std::initializer_list<QStringList> list) {
    return QList<QStringList>(list);
}

} // namespace

class TestXBase : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void values_data() {
        QTest::addColumn<dbf::Field>("field");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("value");
        const dbf::Field logical{"OK", 'L', 1};
        QTest::newRow("logical T") << logical << QByteArray("T") << "true";
        QTest::newRow("logical y") << logical << QByteArray("y") << "true";
        QTest::newRow("logical F") << logical << QByteArray("F") << "false";
        QTest::newRow("logical n") << logical << QByteArray("n") << "false";
        QTest::newRow("logical unknown") << logical << QByteArray("?") << "<null>";
        QTest::newRow("logical blank") << logical << QByteArray(" ") << "<null>";
        const dbf::Field date{"DAY", 'D', 8};
        QTest::newRow("date") << date << QByteArray("20240229") << "2024-02-29";
        QTest::newRow("date blank") << date << QByteArray("        ") << "<null>";
        QTest::newRow("date zeros") << date << QByteArray("00000000") << "<null>";
        QTest::newRow("date not a date") << date << QByteArray("20231341") << "20231341";
        const dbf::Field number{"N", 'N', 10, 2};
        QTest::newRow("number") << number << QByteArray("   1250.50") << "1250.5";
        QTest::newRow("number negative") << number << QByteArray("     -0.50") << "-0.5";
        QTest::newRow("number whole") << number << QByteArray("   2000.00") << "2000";
        QTest::newRow("number blank") << number << QByteArray("          ") << "<null>";
        QTest::newRow("number overflow") << number << QByteArray("**********") << "**********";
        QTest::newRow("float exponent") << dbf::Field{"F", 'F', 10, 0} << QByteArray("   1.5E+03") << "1500";
        QTest::newRow("character trailing blanks")
            << dbf::Field{"C", 'C', 8} << QByteArray("  ab   ") << "  ab";
        QTest::newRow("character blank") << dbf::Field{"C", 'C', 8} << QByteArray("        ") << "<null>";
    }
    void values() {
        QFETCH(dbf::Field, field);
        QFETCH(QByteArray, raw);
        QFETCH(QString, value);
        const QByteArray table = dbf::table(0x03, {field}, {{{raw}}});
        QString error;
        QCOMPARE(readTable(table, {}, &error), rows({{value}}));
        QVERIFY(error.isEmpty());
    }

    void deletedRecordsAreLeftOut() {
        const QByteArray table =
            dbf::table(0x03, {{"NAME", 'C', 5}}, {{{"ann"}}, {{"bob"}, true}, {{"cy"}}, {{"di"}, true}});
        QCOMPARE(readTable(table), rows({{"ann"}, {"cy"}}));
    }

    void codePages_data() {
        QTest::addColumn<int>("driver");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("DOS 437") << 0x01 << QByteArray("M\x81ller") << QString("Müller");
        QTest::newRow("DOS 850") << 0x02 << QByteArray("\x90ric") << QString("Éric");
        QTest::newRow("Windows 1252") << 0x03 << QByteArray("\x80 5 \x96 ok") << QString("€ 5 – ok");
        QTest::newRow("none given: Windows 1252") << 0x00 << QByteArray("Zo\xEB") << QString("Zoë");
        QTest::newRow("Windows 1251") << 0xC9 << QByteArray("\xC8\xE2\xE0\xED") << QString("Иван");
        QTest::newRow("Windows 1250") << 0xC8 << QByteArray("\x8A\x9A") << QString("Šš");
    }
    void codePages() {
        QFETCH(int, driver);
        QFETCH(QByteArray, raw);
        QFETCH(QString, text);
        const QByteArray table =
            dbf::table(0x03, {{"NAME", 'C', 20}}, {{{raw}}}, static_cast<unsigned char>(driver));
        QCOMPARE(readTable(table), rows({{text}}));
    }

    // Clipper and FoxPro keep the high byte of a long character field's length in the decimals byte.
    void longCharacterField() {
        const QByteArray text = QByteArray(299, 'x') + 'y';
        const QByteArray table = dbf::table(0x03, {{"LONG", 'C', 300}, {"N", 'N', 3}}, {{{text, "7"}}});
        QCOMPARE(readTable(table), rows({{QString::fromLatin1(text), "7"}}));
    }

    void dbase3Memo() {
        QList<int> blocks;
        const QByteArray longText = QByteArray(700, 'a') + "\r\nend";
        const QByteArray memo = dbf::dbase3Memo({"short note", longText}, &blocks);
        const QByteArray table = dbf::table(0x83, {{"ID", 'N', 2}, {"NOTES", 'M', 10}},
                                            {{{"1", QByteArray::number(blocks.at(0))}},
                                             {{"2", QByteArray::number(blocks.at(1))}},
                                             {{"3", ""}},
                                             {{"4", "999"}}}); // a block past the end of the memo file
        QCOMPARE(readTable(table, memo), rows({{"1", "short note"},
                                               {"2", QString::fromLatin1(longText)},
                                               {"3", "<null>"},
                                               {"4", "<null>"}}));
    }

    void dbase4Memo() {
        // Block header FF FF 08 00 and a length that counts the 8 header bytes; the block size in the header.
        QByteArray memo(256, '\0');
        dbf::putLe16(memo, 20, 256);
        QByteArray block = QByteArray::fromHex("ffff0800") + dbf::le32(8 + 5) + "hello";
        block += QByteArray(256 - block.size(), '\0');
        memo += block;
        const QByteArray table = dbf::table(0x8B, {{"NOTES", 'M', 10}}, {{{"1"}}});
        QCOMPARE(readTable(table, memo), rows({{"hello"}}));
    }

    void foxProMemo() {
        QList<int> numbers;
        const QByteArray memo = dbf::foxProMemo(
            64, {{1, "first text"}, {0, "\x89PNG picture"}, {1, QByteArray(200, 'z')}}, &numbers);
        const QByteArray table = dbf::table(0xF5, {{"NOTES", 'M', 10}},
                                            {{{QByteArray::number(numbers.at(0))}},
                                             {{QByteArray::number(numbers.at(1))}},
                                             {{QByteArray::number(numbers.at(2))}}});
        QCOMPARE(readTable(table, memo), rows({{"first text"}, {"<null>"}, {QString(200, u'z')}}));

        // Visual FoxPro keeps the block number as four binary bytes.
        const QByteArray vfp = dbf::table(0x30, {{"NOTES", 'M', 4}}, {{{dbf::le32(quint32(numbers.at(0)))}}});
        QCOMPARE(readTable(vfp, memo), rows({{"first text"}}));
    }

    void memoLengthBeyondTheFile() {
        QList<int> numbers;
        QByteArray memo = dbf::foxProMemo(64, {{1, "text"}}, &numbers);
        memo[512 + 4] = char(0x7F); // length far beyond the file
        const QByteArray table =
            dbf::table(0xF5, {{"NOTES", 'M', 10}}, {{{QByteArray::number(numbers.at(0))}}});
        QCOMPARE(readTable(table, memo), rows({{"<null>"}}));
    }

    void visualFoxProTypes() {
        // _NullFlags: bit 0 belongs to the first nullable field.
        const QList<dbf::Field> fields = {
            {"ID", 'I', 4},   {"PRICE", 'Y', 8},         {"AT", 'T', 8},
            {"RATE", 'B', 8}, {"NAME", 'C', 6, 0, 0x02}, {"_NullFlags", '0', 1}};
        const qint64 julian = QDate(2024, 3, 1).toJulianDay();
        double rate = 2.5;
        QByteArray rateBytes(8, '\0');
        std::memcpy(rateBytes.data(), &rate, 8);
        const QByteArray at = dbf::le32(quint32(julian)) + dbf::le32(quint32((9 * 3600 + 15 * 60) * 1000));
        const QByteArray table = dbf::table(
            0x30, fields,
            {{{dbf::le32(quint32(-42)), dbf::le64(-453000), at, rateBytes, "Ann", QByteArray(1, '\0')}},
             {{dbf::le32(7), dbf::le64(120000), QByteArray(8, '\0'), rateBytes, "x",
               QByteArray(1, '\x01')}}});
        QList<XBaseField> readFields;
        QCOMPARE(readTable(table, {}, nullptr, &readFields),
                 rows({{"-42", "-45.3", "2024-03-01 09:15:00", "2.5", "Ann"},
                       {"7", "12", "<null>", "2.5", "<null>"}}));
        QCOMPARE(readFields.size(), 5); // _NullFlags is not offered
    }

    void damaged_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray good = dbf::table(0x03, {{"NAME", 'C', 5}}, {{{"ann"}}, {{"bob"}}});
        QByteArray bytes = good;
        QTest::newRow("too short") << good.left(20) << "shorter than a table header";
        bytes = good;
        bytes[0] = char(0x45);
        QTest::newRow("unknown version") << bytes << "is not a dBase or FoxPro version";
        bytes = good;
        dbf::putLe32(bytes, 4, 3);
        QTest::newRow("more records than the file holds") << bytes << "truncated";
        bytes = good;
        dbf::putLe32(bytes, 4, 0xFFFFFFFF);
        QTest::newRow("huge record count") << bytes << "truncated";
        bytes = good;
        dbf::putLe16(bytes, 8, 0xFFFF);
        QTest::newRow("header longer than the file") << bytes << "header length";
        bytes = good;
        bytes[32 + 11] = 'Z';
        QTest::newRow("unknown field type") << bytes << "unknown type";
        bytes = good;
        bytes[64] = 'X';
        QTest::newRow("no end mark") << bytes << "no end mark";
        bytes = good;
        dbf::putLe16(bytes, 10, 3);
        QTest::newRow("fields longer than the record") << bytes << "longer than the record";
        bytes = good;
        bytes[2] = char(13);
        QTest::newRow("month 13") << bytes << "not a date";
    }
    void damaged() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(readTable(bytes, {}, &error).isEmpty());
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // From files: the memo file found beside the table whatever its letter case, and a missing one said.
    void memoFileBesideTheTable() {
        QTemporaryDir dir;
        QList<int> blocks;
        const QByteArray memo = dbf::dbase3Memo({"a note"}, &blocks);
        const QByteArray table =
            dbf::table(0x83, {{"NOTES", 'M', 10}}, {{{QByteArray::number(blocks.at(0))}}});
        QFile file(dir.filePath("people.DBF"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(table);
        file.close();

        XBaseReader withoutMemo;
        QVERIFY(withoutMemo.open(dir.filePath("people.DBF")));
        SourceRow row;
        QVERIFY(withoutMemo.beginRows("people"));
        QCOMPARE(withoutMemo.nextRow(row), SourceReader::ReadResult::Row);
        QCOMPARE(row, SourceRow{QString()});
        QCOMPARE(withoutMemo.warnings(),
                 QStringList{"The memo file of people.DBF was not found or cannot be read; its "
                             "memo fields are left empty."});

        QFile memoFile(dir.filePath("PEOPLE.dbt"));
        QVERIFY(memoFile.open(QIODevice::WriteOnly));
        memoFile.write(memo);
        memoFile.close();
        XBaseReader reader;
        QVERIFY(reader.open(dir.filePath("people.DBF")));
        QCOMPARE(reader.tables(), QStringList{"people"});
        QVERIFY(reader.beginRows("PEOPLE"));
        QCOMPARE(reader.nextRow(row), SourceReader::ReadResult::Row);
        QCOMPARE(row, SourceRow{"a note"});
        QCOMPARE(reader.nextRow(row), SourceReader::ReadResult::End);
        QVERIFY(reader.warnings().isEmpty());
    }

    void repeatedFieldNames() {
        const QByteArray table =
            dbf::table(0x03, {{"NAME", 'C', 3}, {"name", 'C', 3}, {"NAME2", 'C', 3}}, {{{"a", "b", "c"}}});
        QList<XBaseField> fields;
        QCOMPARE(readTable(table, {}, nullptr, &fields), rows({{"a", "b", "c"}}));
        QCOMPARE(fields.at(1).name, QString("name2"));
        QCOMPARE(fields.at(2).name, QString("NAME22"));
    }
};

QTEST_GUILESS_MAIN(TestXBase)
#include "tst_xbase.moc"
