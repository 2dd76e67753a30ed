#include "db/Database.h"
#include "db/SqlDialect.h"

#include <QDateTime>
#include <QtTest>

using db::translateWhereClause;

namespace {
const QString Collate = QStringLiteral(" COLLATE jet_nocase");
}

class TstSqlDialect : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void translates_data();
    void translates();
    void refuses_data();
    void refuses();
    void likePatterns_data();
    void likePatterns();
    void selectsRows_data();
    void selectsRows();
    void userQueryAllowsOnlyReading_data();
    void userQueryAllowsOnlyReading();
    void selectWhereRefusesBadClause();

private:
    static db::Database listWithRows();
};

void TstSqlDialect::translates_data() {
    QTest::addColumn<QString>("clause");
    QTest::addColumn<QString>("sql"); // ~ stands for the collation put on comparisons
    QTest::addColumn<QVariantList>("values");
    const auto row = [](const char* name, const char* clause, const char* sql, const QVariantList& values) {
        QTest::newRow(name) << QString::fromUtf8(clause) << QString::fromUtf8(sql).replace(u'~', Collate)
                            << values;
    };

    // What the query builder writes: qualified bracketed names, values in double quotes.
    row("builder one Like", R"(WHERE (([AddressList].[FirstName] Like  "A*")))",
        R"(((jet_like("FirstName", ?))))", {"A*"});
    row("builder two", R"(WHERE (([AddressList].[Sent] = "SENT" AND [AddressList].[Keyword1] <> "vip")))",
        R"((("Sent"~ = ? AND "Keyword1"~ <> ?)))", {"SENT", "vip"});
    row("builder four",
        R"(WHERE (([AddressList].[City] = "Paris" OR [AddressList].[City] = "Lyon") AND )"
        R"(([AddressList].[Age] >= 18 AND [AddressList].[Age] < 65)))",
        R"((("City"~ = ? OR "City"~ = ?) AND ("Age"~ >= ? AND "Age"~ < ?)))",
        {"Paris", "Lyon", qint64(18), qint64(65)});
    row("builder null", R"(WHERE (([AddressList].[Title] = NULL)))",
        R"(((("Title" IS NULL OR "Title" = ''))))", {});
    row("not null text", "[Title] <> null", R"(("Title" IS NOT NULL AND "Title" <> ''))", {});
    // The list window's find criteria and the recipient source's sent test.
    row("find Like", R"([LastName] Like "*ann*")", R"((jet_like("LastName", ?)))", {"*ann*"});
    row("sent or isnull", R"([Sent] <> "SENT" OR isnull([sent]))", R"(("Sent"~ <> ? OR ("sent" IS NULL)))",
        {"SENT"});
    row("single quotes doubled", "LastName = 'O''Brien'", R"(("LastName"~ = ?))", {"O'Brien"});
    row("double quotes doubled", R"([Company] = "Say ""hi""")", R"(("Company"~ = ?))", {R"(Say "hi")"});
    row("statement words in a value", R"([Note] = "x; DROP TABLE AddressList --")", R"(("Note"~ = ?))",
        {"x; DROP TABLE AddressList --"});
    row("name with blank and quote", R"([First "Name"] = 1)", R"(("First ""Name"""~ = ?))", {qint64(1)});
    row("is null forms", "[Sent] Is Null Or [Sent] IS NOT NULL", R"(("Sent" IS NULL OR "Sent" IS NOT NULL))",
        {});
    row("true false", "[Active] = True AND [Gone] = false", R"(("Active"~ = ? AND "Gone"~ = ?))",
        {qint64(-1), qint64(0)});
    row("isnull compared with True", "IsNull([Title]) = True", R"(("Title" IS NULL))", {});
    row("isnull compared with False", "isnull([Title]) = False", R"((NOT ("Title" IS NULL)))", {});
    row("between", "[Age] not between 18 and 65.5", R"(("Age"~ NOT BETWEEN ? AND ?))", {qint64(18), 65.5});
    row("in", R"([City] In ("Paris", 'Lyon', 3))", R"(("City"~ IN (?, ?, ?)))", {"Paris", "Lyon", qint64(3)});
    row("not like, not", R"(where not [a] = -2 and [EAddress] not like "*@x.com")",
        R"((NOT "a"~ = ? AND NOT jet_like("EAddress", ?)))", {qint64(-2), "*@x.com"});
    row("dates", "[Date] >= #1/31/24# And [Date] < #2024-02-29 1:05 PM#", R"(("Date"~ >= ? AND "Date"~ < ?))",
        {QDate(2024, 1, 31), QDateTime(QDate(2024, 2, 29), QTime(13, 5))});
    row("bare qualified name, semicolon", "AddressList.EAddress = 'a@b.c';", R"(("EAddress"~ = ?))",
        {"a@b.c"});
    row("functions", R"(Len([EAddress]) > 5 OR Left([LastName], 1) = "S")",
        R"((length("EAddress")~ > ? OR substr("LastName", 1, ?)~ = ?))", {qint64(5), qint64(1), "S"});
}

void TstSqlDialect::translates() {
    QFETCH(QString, clause);
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    QString error;
    const auto result = translateWhereClause(clause, &error);
    QVERIFY2(result, qPrintable(error));
    QCOMPARE(result->sql, sql);
    QCOMPARE(result->values, values);
}

void TstSqlDialect::refuses_data() {
    QTest::addColumn<QString>("clause");
    QTest::addColumn<QString>("message");

    QTest::newRow("second statement") << "x = 1; DROP TABLE AddressList"
                                      << "The filter contains more than one statement.";
    QTest::newRow("drop") << "DROP TABLE AddressList"
                          << "The filter contains the command DROP, which is not allowed in a filter.";
    QTest::newRow("sub-query") << "[a] In (select EAddress from List)"
                               << "command SELECT";
    QTest::newRow("union") << "[a] = 1 union select 1"
                           << "command UNION";
    QTest::newRow("attach") << "ATTACH 'x.db' AS y"
                            << "command ATTACH";
    QTest::newRow("pragma") << "PRAGMA writable_schema = 1"
                            << "command PRAGMA";
    QTest::newRow("unterminated double quote") << R"([a] = "abc)"
                                               << "The filter has an unterminated text in quotes.";
    QTest::newRow("unterminated single quote") << "[a] = 'it''s"
                                               << "unterminated text";
    QTest::newRow("unterminated bracket") << "[a = 1"
                                          << "not closed";
    QTest::newRow("unterminated date") << "[d] = #1/2/2024"
                                       << "not closed";
    QTest::newRow("impossible date") << "[d] = #2/30/2024#"
                                     << "cannot be read: #2/30/2024#";
    QTest::newRow("breaking out of parentheses") << "1=1) OR (1=1"
                                                 << "closing parenthesis without";
    QTest::newRow("unclosed parenthesis") << "(([a] = 1)"
                                          << "more opening than closing";
    QTest::newRow("line comment") << "[a] = 1 -- and more"
                                  << "comment (--)";
    QTest::newRow("block comment") << "[a] = 1 /* x */"
                                   << "comment (/*)";
    QTest::newRow("unknown function") << "load_extension('x') = 1"
                                      << "function load_extension";
    QTest::newRow("wrong argument count") << "Left([a]) = 'x'"
                                          << "function Left";
    QTest::newRow("two conditions side by side") << "[a] = 1 [b] = 2"
                                                 << "unexpected text";
    QTest::newRow("missing value") << "[a] ="
                                   << "ends where a value";
    QTest::newRow("only WHERE") << " where "
                                << "no condition";
    QTest::newRow("empty") << ""
                           << "no condition";
    QTest::newRow("bad Like pattern") << R"([a] Like "[a-c")"
                                      << "[ that is not closed";
    QTest::newRow("odd character") << "[a] = @p"
                                   << "character @";
    QTest::newRow("hex number") << "[a] = 0x10"
                                << "number that cannot be read";
    QTest::newRow("deep nesting") << QString(100000, u'(') + "1" + QString(100000, u')')
                                  << "too many parentheses";
}

void TstSqlDialect::refuses() {
    QFETCH(QString, clause);
    QFETCH(QString, message);
    QString error;
    QVERIFY(!translateWhereClause(clause, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY2(error.startsWith(u"The ") && error.endsWith(u'.'), qPrintable(error));
}

void TstSqlDialect::likePatterns_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("matches");

    QTest::newRow("star") << "A*"
                          << "anna" << true;
    QTest::newRow("star no") << "A*"
                             << "Bob" << false;
    QTest::newRow("question") << "?ob"
                              << "BOB" << true;
    QTest::newRow("question is one") << "?ob"
                                     << "Blob" << false;
    QTest::newRow("digits") << "##*"
                            << "12 Main St" << true;
    QTest::newRow("digit not letter") << "#"
                                      << "a" << false;
    QTest::newRow("range ignores case") << "[a-c]*"
                                        << "Charles" << true;
    QTest::newRow("negated range") << "[!a-c]*"
                                   << "charles" << false;
    QTest::newRow("bracketed star") << "*[*]*"
                                    << "a*b" << true;
    QTest::newRow("bracketed star literal") << "*[*]*"
                                            << "ab" << false;
    QTest::newRow("regex characters are literal") << "a.c+"
                                                  << "abcc" << false;
    QTest::newRow("non-ASCII ignores case") << "é*"
                                            << "Émile" << true;
    QTest::newRow("apostrophe") << "o'*"
                                << "O'Brien" << true;
    QTest::newRow("star spans lines") << "a*b"
                                      << "a\r\nb" << true;
    QTest::newRow("empty brackets") << "a[]b"
                                    << "ab" << true;
    QTest::newRow("whole text only") << "bob"
                                     << "bobby" << false;
}

void TstSqlDialect::likePatterns() {
    QFETCH(QString, pattern);
    QFETCH(QString, value);
    QFETCH(bool, matches);
    QCOMPARE(db::matchesLike(value, pattern), matches);
}

db::Database TstSqlDialect::listWithRows() {
    db::DbError error;
    db::Database database = db::Database::openMemory(&error);
    if (!database.isOpen())
        return database;
    database.execScript(QStringLiteral(
        "CREATE TABLE AddressList (EAddress TEXT COLLATE NOCASE PRIMARY KEY, FirstName TEXT COLLATE NOCASE, "
        "LastName TEXT COLLATE NOCASE, Sent TEXT COLLATE NOCASE, Zip TEXT COLLATE NOCASE);"));
    const QList<QVariantList> rows = {
        {"anna@example.com", "Anna", "O'Brien", "SENT", "12345"},
        {"bob@example.org", "BOB", "Smith", QVariant(), "7a"},
        {"carl@example.com", "carl", "Åström", "", QVariant()},
        {"emile@example.fr", "Émile", "Zola", "sent", "00000"},
        {"nobody@example.net", QVariant(), "", QVariant(), "9"},
    };
    for (const QVariantList& row : rows)
        database.exec(QStringLiteral("INSERT INTO AddressList VALUES (?, ?, ?, ?, ?)"), row);
    return database;
}

void TstSqlDialect::selectsRows_data() {
    QTest::addColumn<QString>("clause");
    QTest::addColumn<QString>("selected"); // first letters of the addresses, in address order

    QTest::newRow("Like star") << R"(WHERE (([AddressList].[FirstName] Like  "a*")))"
                               << "a";
    QTest::newRow("Like question") << R"([FirstName] Like "?ob")"
                                   << "b";
    QTest::newRow("Like digits") << R"([Zip] Like "#####")"
                                 << "ae";
    QTest::newRow("Like list") << R"([FirstName] Like "[a-c]*")"
                               << "abc";
    QTest::newRow("Not Like skips nulls") << R"([FirstName] Not Like "[a-c]*")"
                                          << "e";
    QTest::newRow("= NULL is empty") << "[Sent] = NULL"
                                     << "bcn";
    QTest::newRow("<> NULL is not empty") << "[Sent] <> NULL"
                                          << "ae";
    QTest::newRow("Is Null is only null") << "[Sent] Is Null"
                                          << "bn";
    QTest::newRow("equality ignores case") << R"([Sent] = "sent")"
                                           << "ae";
    QTest::newRow("non-ASCII ignores case") << R"([FirstName] = "émile" OR [LastName] = 'ÅSTRÖM')"
                                            << "ce";
    QTest::newRow("apostrophe") << R"([LastName] = "o'brien")"
                                << "a";
    QTest::newRow("not yet sent") << R"([Sent] <> "SENT" OR isnull([Sent]))"
                                  << "bcn";
    QTest::newRow("in") << R"([FirstName] In ("anna", "BOB"))"
                        << "ab";
    QTest::newRow("between") << R"([Zip] Between "1" And "8")"
                             << "ab";
    QTest::newRow("statement in a value") << R"([LastName] = "x""; DROP TABLE AddressList; --")"
                                          << "";
}

void TstSqlDialect::selectsRows() {
    QFETCH(QString, clause);
    QFETCH(QString, selected);
    db::Database database = listWithRows();
    QVERIFY(database.isOpen());
    db::DbError error;
    auto statement = db::selectWhere(database, QStringLiteral("AddressList"), QStringLiteral("EAddress"),
                                     clause, QStringLiteral("EAddress"), &error);
    QVERIFY2(statement, qPrintable(error.text));
    QString got;
    while (statement->next())
        got += statement->text(0).at(0);
    QVERIFY2(!statement->error().isError(), qPrintable(statement->error().text));
    QCOMPARE(got, selected);
    QVERIFY(database.hasTable(QStringLiteral("AddressList")));
}

void TstSqlDialect::userQueryAllowsOnlyReading_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("select with dialect")
        << R"(SELECT count(*) FROM AddressList WHERE jet_like(EAddress, 'a*'))" << true;
    QTest::newRow("delete") << "DELETE FROM AddressList" << false;
    QTest::newRow("second statement") << "SELECT 1; DELETE FROM AddressList" << false;
    QTest::newRow("attach") << "ATTACH ':memory:' AS other" << false;
    QTest::newRow("pragma") << "PRAGMA user_version = 3" << false;
    QTest::newRow("pragma function") << "SELECT * FROM pragma_table_info('AddressList')" << false;
    QTest::newRow("transaction") << "BEGIN" << false;
    QTest::newRow("temp trigger") << "CREATE TEMP TRIGGER t AFTER INSERT ON AddressList BEGIN SELECT 1; END"
                                  << false;
    QTest::newRow("unlisted function") << "SELECT load_extension('x')" << false;
}

void TstSqlDialect::userQueryAllowsOnlyReading() {
    QFETCH(QString, sql);
    QFETCH(bool, allowed);
    db::Database database = listWithRows();
    QVERIFY(database.isOpen());
    db::DbError error;
    db::Statement statement = db::prepareUserQuery(database, sql, &error);
    QCOMPARE(statement.isValid(), allowed);
    QCOMPARE(error.isError(), !allowed);
    if (!allowed && !QByteArray(QTest::currentDataTag()).startsWith("second"))
        QCOMPARE(error.text, QStringLiteral("The query was refused because it does more than read rows."));
    if (allowed) {
        QVERIFY(statement.next());
        QCOMPARE(statement.value(0).toLongLong(), 1);
    }
    // The authorizer is gone afterwards: our own code may write again.
    QVERIFY(database.exec(QStringLiteral("DELETE FROM AddressList WHERE EAddress = ?"), {"bob@example.org"}));
    QCOMPARE(database.scalar(QStringLiteral("SELECT count(*) FROM AddressList"))->toLongLong(), 4);
}

void TstSqlDialect::selectWhereRefusesBadClause() {
    db::Database database = listWithRows();
    QVERIFY(database.isOpen());
    db::DbError error;
    QVERIFY(!db::selectWhere(database, QStringLiteral("AddressList"), QStringLiteral("*"),
                             QStringLiteral("x = 1; DROP TABLE AddressList"), QString(), &error));
    QVERIFY(error.isError());
    QCOMPARE(error.text, QStringLiteral("The filter contains more than one statement."));
    QVERIFY(database.hasTable(QStringLiteral("AddressList")));
}

QTEST_GUILESS_MAIN(TstSqlDialect)
#include "tst_sqldialect.moc"
