// The small parsers of the import: delimited text (whole and in pieces), encodings, numbers and dates as
// text, spreadsheet cell references and number formats.
#include "import/CsvParser.h"
#include "import/ExcelReader.h"
#include "import/ValueText.h"

#include <QTest>

using namespace importer;

namespace {

// Every record of the text; "<null>" for an empty field; a last entry "!unterminated" when it ends inside
// quotes. Fed in pieces of pieceSize characters (0: all at once).
QList<QStringList> parseAll(const QString& text, QChar delimiter, int pieceSize = 0) {
    const CsvParser parser(delimiter);
    QList<QStringList> records;
    QString buffer;
    qsizetype pos = 0;
    qsizetype fed = 0;
    QStringList fields;
    for (;;) {
        const bool atEnd = fed >= text.size();
        const CsvParser::Status status = parser.parse(buffer, pos, atEnd, fields);
        if (status == CsvParser::Status::NeedMore) {
            const qsizetype piece = pieceSize > 0 ? pieceSize : text.size();
            buffer += text.mid(fed, piece);
            fed += piece;
            continue;
        }
        if (status == CsvParser::Status::End)
            break;
        if (status == CsvParser::Status::Unterminated) {
            records << QStringList{"!unterminated"};
            break;
        }
        QStringList shown;
        for (const QString& field : std::as_const(fields))
            shown << (field.isNull() ? QStringLiteral("<null>") : field);
        records << shown;
    }
    return records;
}

} // namespace

class TestTextParsing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void csv_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QList<QStringList>>("records");
        using Records = QList<QStringList>;
        QTest::newRow("plain") << "a,b,c\n1,2,3\n"
                               << "," << Records{{"a", "b", "c"}, {"1", "2", "3"}};
        QTest::newRow("no final line break") << "a,b\n1,2"
                                             << "," << Records{{"a", "b"}, {"1", "2"}};
        QTest::newRow("CR LF and CR") << "a,b\r\n1,2\r3,4\r\n"
                                      << "," << Records{{"a", "b"}, {"1", "2"}, {"3", "4"}};
        QTest::newRow("empty fields") << ",x,\n"
                                      << "," << Records{{"<null>", "x", "<null>"}};
        QTest::newRow("quoted delimiter") << "\"Harbor, Ltd.\",2\n"
                                          << "," << Records{{"Harbor, Ltd.", "2"}};
        QTest::newRow("doubled quotes") << "\"The \"\"Blue\"\" Door\",x\n"
                                        << "," << Records{{"The \"Blue\" Door", "x"}};
        QTest::newRow("line breaks inside quotes") << "\"one\r\ntwo\nthree\",z\n"
                                                   << "," << Records{{"one\r\ntwo\nthree", "z"}};
        QTest::newRow("quoted empty") << "\"\",a\n"
                                      << "," << Records{{"<null>", "a"}};
        QTest::newRow("text after closing quote") << "\"ab\"cd,e\n"
                                                  << "," << Records{{"abcd", "e"}};
        QTest::newRow("quote inside unquoted") << "O\"Brien,x\n"
                                               << "," << Records{{"O\"Brien", "x"}};
        QTest::newRow("blank lines skipped") << "\n\na\n\r\n\nb\n"
                                             << "," << Records{{"a"}, {"b"}};
        QTest::newRow("semicolon keeps commas") << "a;b, c\n"
                                                << ";" << Records{{"a", "b, c"}};
        QTest::newRow("tab") << "a\tb\n\"x\ty\"\tz\n"
                             << "\t" << Records{{"a", "b"}, {"x\ty", "z"}};
        QTest::newRow("ends with a delimiter") << "a,b,"
                                               << "," << Records{{"a", "b", "<null>"}};
        QTest::newRow("unterminated quote") << "a,\"open\nrest"
                                            << "," << Records{{"!unterminated"}};
        QTest::newRow("empty") << ""
                               << "," << Records{};
    }
    void csv() {
        QFETCH(QString, text);
        QFETCH(QString, delimiter);
        QFETCH(QList<QStringList>, records);
        QCOMPARE(parseAll(text, delimiter.at(0)), records);
        // The same records whatever the pieces the text arrives in.
        for (int piece = 1; piece <= 7; ++piece)
            QCOMPARE(parseAll(text, delimiter.at(0), piece), records);
    }

    void delimiter_data() {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("delimiter");
        QTest::newRow("comma") << "ID,First Name,E-mail\n1;2;3;4;5"
                               << ",";
        QTest::newRow("semicolon") << "Nr;Vorname;E-Mail\nx, y"
                                   << ";";
        QTest::newRow("tab") << "ID\tName\tE-mail, work"
                             << "\t";
        QTest::newRow("quoted separators do not count") << "\"a;b;c\",d,e"
                                                        << ",";
        QTest::newRow("one column") << "E-mail\nann@example.org"
                                    << ",";
    }
    void delimiter() {
        QFETCH(QString, header);
        QFETCH(QString, delimiter);
        QCOMPARE(CsvParser::detectDelimiter(header), delimiter.at(0));
    }

    void encodings_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("bomLength");
        QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBFID") << int(TextEncoding::Utf8) << 3;
        QTest::newRow("UTF-16LE") << QByteArray("\xFF\xFEI\0D\0", 6) << int(TextEncoding::Utf16LE) << 2;
        QTest::newRow("UTF-16BE") << QByteArray("\xFE\xFF\0I\0D", 6) << int(TextEncoding::Utf16BE) << 2;
        QTest::newRow("UTF-8") << QByteArray("Zo\xC3\xAB") << int(TextEncoding::Utf8) << 0;
        QTest::newRow("Windows-1252") << QByteArray("Zo\xEB") << int(TextEncoding::Windows1252) << 0;
    }
    void encodings() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(int, bomLength);
        Utf8Validator validator;
        validator.feed(bytes);
        const TextEncodingGuess guess = guessEncoding(bytes, validator.finish());
        QCOMPARE(int(guess.encoding), encoding);
        QCOMPARE(guess.bomLength, bomLength);
    }

    void utf8Validation_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ascii") << QByteArray("plain") << true;
        QTest::newRow("two, three, four bytes")
            << QByteArray("\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80") << true;
        QTest::newRow("lone continuation") << QByteArray("a\x80") << false;
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << false;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
        QTest::newRow("cut at the end") << QByteArray("ok\xE2\x82") << false;
        QTest::newRow("1252 euro") << QByteArray("\x80 5") << false;
    }
    void utf8Validation() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        for (int split = 0; split <= bytes.size(); ++split) {
            Utf8Validator validator;
            validator.feed(bytes.left(split));
            validator.feed(bytes.mid(split));
            QCOMPARE(validator.finish(), valid);
        }
    }

    void numbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("normalized");
        QTest::newRow("trailing zeros") << "1250.50"
                                        << "1250.5";
        QTest::newRow("whole") << "2000.00"
                               << "2000";
        QTest::newRow("zero") << "0.00"
                              << "0";
        QTest::newRow("negative zero") << "-0.000"
                                       << "0";
        QTest::newRow("padded") << "   -45.25"
                                << "-45.25";
        QTest::newRow("plus and leading zeros") << "+007"
                                                << "7";
        QTest::newRow("fraction only") << ".5"
                                       << "0.5";
        QTest::newRow("money") << "1250.5000"
                               << "1250.5";
        QTest::newRow("exponent") << "1.5E3"
                                  << "1500";
        QTest::newRow("small exponent") << "2.5e-7"
                                        << "0.00000025";
        QTest::newRow("not a number") << "n/a"
                                      << "n/a";
        QTest::newRow("blank") << "   " << QString();
    }
    void numbers() {
        QFETCH(QString, text);
        QFETCH(QString, normalized);
        QCOMPARE(normalizedNumber(text), normalized);
    }

    void numberTexts() {
        QCOMPARE(numberText(444.555), QString("444.555"));
        QCOMPARE(numberText(0.1 + 0.2), QString("0.3"));
        QCOMPARE(numberText(1e20), QString("100000000000000000000"));
        QCOMPARE(numberText(-3.0), QString("-3"));
        QCOMPARE(numberText(std::nan("")), QString());
        QCOMPARE(scaledIntegerText(-453000, 4), QString("-45.3"));
        QCOMPARE(scaledIntegerText(5, 4), QString("0.0005"));
        QCOMPARE(scaledIntegerText(std::numeric_limits<qint64>::min(), 4), QString("-922337203685477.5808"));
        QCOMPARE(scaledIntegerText(120000, 4), QString("12"));
    }

    void dates() {
        QCOMPARE(dateTimeText(serialToDateTime(43538)), QString("2019-03-14"));
        QCOMPARE(dateTimeText(serialToDateTime(43538.5)), QString("2019-03-14 12:00:00"));
        QCOMPARE(dateTimeText(serialToDateTime(0.99999999)), QString("1899-12-31"));
        QCOMPARE(dateTimeText(serialToDateTime(1e300)), QString());
        QCOMPARE(dateTimeText(serialToDateTime(0, QDate(1904, 1, 1))), QString("1904-01-01"));
    }

    void cellReferences() {
        QCOMPARE(cellColumn(u"A1"), 0);
        QCOMPARE(cellColumn(u"K13"), 10);
        QCOMPARE(cellColumn(u"AB7"), 27);
        QCOMPARE(cellColumn(u"XFD1"), 16383);
        QCOMPARE(cellColumn(u"ZZZZ1"), -1);
        QCOMPARE(cellColumn(u"12"), -1);
    }

    void dateFormats_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("isDate");
        QTest::newRow("iso") << "yyyy\\-mm\\-dd" << true;
        QTest::newRow("us") << "m/d/yy h:mm" << true;
        QTest::newRow("two decimals") << "0.00" << false;
        QTest::newRow("general") << "General" << false;
        QTest::newRow("logical") << "\"TRUE\";\"TRUE\";\"FALSE\"" << false;
        QTest::newRow("currency with locale") << "[$€-407]#,##0.00" << false;
        QTest::newRow("escaped d") << "0\\d" << false;
    }
    void dateFormats() {
        QFETCH(QString, format);
        QFETCH(bool, isDate);
        QCOMPARE(isDateFormat(format), isDate);
    }
};

QTEST_GUILESS_MAIN(TestTextParsing)
#include "tst_textparsing.moc"
