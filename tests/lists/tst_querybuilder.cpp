#include "db/SqlDialect.h"
#include "lists/QueryBuilder.h"

#include <QTest>

using namespace QueryBuilder;

Q_DECLARE_METATYPE(QueryBuilder::ValueKind)

namespace {

ConditionRow row(const QString& column, const QString& op, const QString& value,
                 ValueKind kind = ValueKind::Quoted) {
    return ConditionRow{column, op, value, kind};
}

} // namespace

class TestQueryBuilder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void condition_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("value");
        QTest::addColumn<ValueKind>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("like on text: the operator's blank and the value's blank")
            << "FirstName"
            << "Like"
            << "A*" << ValueKind::Quoted << "[AddressList].[FirstName] Like  \"A*\"";
        QTest::newRow("the first operator keeps its leading blanks")
            << "City" << operatorItems().first() << "Oslo" << ValueKind::Quoted
            << "[AddressList].[City]   =  \"Oslo\"";
        QTest::newRow("number as typed") << "Age"
                                         << ">="
                                         << "42" << ValueKind::WholeNumber << "[AddressList].[Age] >=  42";
        QTest::newRow("null on text is unquoted")
            << "Sent"
            << "<>"
            << "null" << ValueKind::Quoted << "[AddressList].[Sent] <> NULL";
        QTest::newRow("null in any case on a number")
            << "Age"
            << "="
            << "NuLL" << ValueKind::WholeNumber << "[AddressList].[Age] = NULL";
        QTest::newRow("no operator: the column alone")
            << "Title"
            << ""
            << "x" << ValueKind::Quoted << "[AddressList].[Title] ";
        QTest::newRow("no column: nothing") << ""
                                            << "="
                                            << "x" << ValueKind::Quoted << "";
        QTest::newRow("a quote in a text stays in the text")
            << "LastName"
            << "="
            << "say \"hi\"" << ValueKind::Quoted << "[AddressList].[LastName] =  \"say \"\"hi\"\"\"";
        QTest::newRow("apostrophe needs nothing")
            << "LastName"
            << "="
            << "O'Brien" << ValueKind::Quoted << "[AddressList].[LastName] =  \"O'Brien\"";
        QTest::newRow("a pasted text in a number box is cleaned")
            << "Age"
            << "="
            << "5 OR 1=1" << ValueKind::WholeNumber << "[AddressList].[Age] =  511";
        QTest::newRow("decimal keeps its point")
            << "Price"
            << "<"
            << "9.50" << ValueKind::DecimalNumber << "[AddressList].[Price] <  9.50";
    }
    void condition() {
        QFETCH(QString, column);
        QFETCH(QString, op);
        QFETCH(QString, value);
        QFETCH(ValueKind, kind);
        QFETCH(QString, expected);
        QCOMPARE(buildCondition(QStringLiteral("AddressList"), row(column, op, value, kind)), expected);
    }

    void clause_data() {
        QTest::addColumn<QList<ConditionRow>>("rows");
        QTest::addColumn<QStringList>("joins");
        QTest::addColumn<QString>("expected");
        const ConditionRow a = row("FirstName", "Like", "A*");
        const ConditionRow b = row("City", "=", "Oslo");
        const ConditionRow c = row("Age", ">", "30", ValueKind::WholeNumber);
        const ConditionRow d = row("Sent", "=", "null");
        const QString ca = buildCondition("AddressList", a);
        const QString cb = buildCondition("AddressList", b);
        const QString cc = buildCondition("AddressList", c);
        const QString cd = buildCondition("AddressList", d);
        QTest::newRow("one") << QList<ConditionRow>{a} << QStringList{} << "WHERE ((" + ca + "))";
        QTest::newRow("two") << QList<ConditionRow>{a, b} << QStringList{"AND"}
                             << "WHERE ((" + ca + " AND " + cb + "))";
        QTest::newRow("three") << QList<ConditionRow>{a, b, c} << QStringList{"AND", "OR"}
                               << "WHERE ((" + ca + " AND " + cb + ") OR (" + cc + "))";
        QTest::newRow("four") << QList<ConditionRow>{a, b, c, d} << QStringList{"AND", "OR", "AND"}
                              << "WHERE ((" + ca + " AND " + cb + ") OR (" + cc + " AND " + cd + "))";
        QTest::newRow("a join without a column in the next row adds nothing")
            << QList<ConditionRow>{a, row("", "=", "x")} << QStringList{"OR"} << "WHERE ((" + ca + "))";
        QTest::newRow("a blank join ignores the row after it")
            << QList<ConditionRow>{a, b} << QStringList{" "} << "WHERE ((" + ca + "))";
        QTest::newRow("rows one and three")
            << QList<ConditionRow>{a, ConditionRow{}, c} << QStringList{"AND", "OR"}
            << "WHERE ((" + ca + ") OR (" + cc + "))";
        QTest::newRow("no first column: no clause")
            << QList<ConditionRow>{ConditionRow{}, b} << QStringList{"AND"} << "";
    }
    void clause() {
        QFETCH(QList<ConditionRow>, rows);
        QFETCH(QStringList, joins);
        QFETCH(QString, expected);
        QCOMPARE(buildClause(QStringLiteral("AddressList"), rows, joins), expected);
    }

    // What the builder writes is what the filters accept: every clause translates, values stay values.
    void clausesTranslate() {
        const QString clause = buildClause(
            "AddressList",
            {row("LastName", "=", "say \"hi\" OR \"1\"=\"1"), row("Age", "<=", "12", ValueKind::WholeNumber),
             row("City", "Like", "Zür*"), row("Sent", operatorItems().first(), "null")},
            {"OR", "AND", "AND"});
        QString error;
        const auto translated = db::translateWhereClause(clause, &error);
        QVERIFY2(translated.has_value(), qPrintable(error));
        QVERIFY(translated->values.contains(QStringLiteral("say \"hi\" OR \"1\"=\"1")));
        QVERIFY(translated->values.contains(QStringLiteral("Zür*")));
    }

    void numericCleaning_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("decimal");
        QTest::addColumn<QString>("cleaned");
        QTest::addColumn<bool>("changed");
        QTest::newRow("digits stay") << "0123" << false << "0123" << false;
        QTest::newRow("letters go from a Long") << "12ab3" << false << "123" << true;
        QTest::newRow("point goes from a whole number") << "1.5" << false << "15" << true;
        QTest::newRow("first point stays for a decimal") << "1.5.2" << true << "1.52" << true;
        QTest::newRow("minus and blanks go") << "- 4" << true << "4" << true;
        QTest::newRow("other digits go") << "١٢3" << false << "3" << true;
        QTest::newRow("empty") << "" << true << "" << false;
    }
    void numericCleaning() {
        QFETCH(QString, typed);
        QFETCH(bool, decimal);
        QFETCH(QString, cleaned);
        QFETCH(bool, changed);
        const NumericText result = MakeTextBoxNumeric(typed, decimal);
        QCOMPARE(result.text, cleaned);
        QCOMPARE(result.changed, changed);
    }

    void numericTypes_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<ValueKind>("kind");
        for (const char* t : {"Byte", "INTEGER", "Long", "long integer", "BIGINT", "COUNTER",
                              "INTEGER PRIMARY KEY AUTOINCREMENT"})
            QTest::newRow(t) << t << ValueKind::WholeNumber;
        for (const char* t : {"Currency", "single", "DOUBLE", "Decimal(10,2)", "FLOAT", "NUMERIC"})
            QTest::newRow(t) << t << ValueKind::DecimalNumber;
        for (const char* t : {"TEXT(255)", "MEMO", "DATETIME", "YESNO", "BIT", "BOOLEAN", ""})
            QTest::newRow(t) << t << ValueKind::Quoted;
    }
    void numericTypes() {
        QFETCH(QString, type);
        QFETCH(ValueKind, kind);
        QCOMPARE(valueKindOf(type), kind);
    }

    void metaTypes() {
        QCOMPARE(valueKindOf(QMetaType::fromType<qint64>()), ValueKind::WholeNumber);
        QCOMPARE(valueKindOf(QMetaType::fromType<double>()), ValueKind::DecimalNumber);
        QCOMPARE(valueKindOf(QMetaType::fromType<bool>()), ValueKind::Quoted);
        QCOMPARE(valueKindOf(QMetaType::fromType<QString>()), ValueKind::Quoted);
    }

    void advancedMarks_data() {
        QTest::addColumn<QString>("clause");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("built clause")
            << R"c(WHERE (([AddressList].[Age] <>  5 and [AddressList].[City] like  "x")))c"
            << QStringList{"WHERE", "((", " <> ", " and", " like ", "))"};
        QTest::newRow("symbols exactly, words in any case")
            << "where [a] <= 1 Or [b] is null" << QStringList{"where", " <= ", " Or ", " null"};
        QTest::newRow("no blank, no mark") << "[a]<>1" << QStringList{};
    }
    void advancedMarks() {
        QFETCH(QString, clause);
        QFETCH(QStringList, marked);
        QStringList found;
        for (const TextRange& range : QueryBuilder::advancedMarks(clause))
            found << clause.mid(range.start, range.length);
        QCOMPARE(found, marked);
    }
};

QTEST_GUILESS_MAIN(TestQueryBuilder)
#include "tst_querybuilder.moc"
