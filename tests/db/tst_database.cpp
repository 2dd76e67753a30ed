#include "db/Database.h"
#include "db/TypeMapping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

using namespace db;

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

qint64 count(const Database& database, const QString& table) {
    return database.scalar(QStringLiteral("SELECT count(*) FROM ") + quoteName(table))
        .value_or(-1)
        .toLongLong();
}

// A list-like table declared through the type mapping.
QString addressListSql() {
    return QStringLiteral("CREATE TABLE \"AddressList\" (\"EAddress\" ") + sqlType(EngineType::Text, 255) +
           QStringLiteral(" NOT NULL ") + notEmptyCheck(QStringLiteral("EAddress")) +
           QStringLiteral(", \"EAddress2\" ") + sqlType(EngineType::Text, 50) +
           QStringLiteral(", \"First Name\" ") + sqlType(EngineType::Text, 50) +
           QStringLiteral(" DEFAULT 'it''s', \"Notes\" ") + sqlType(EngineType::Memo) +
           QStringLiteral(", \"Count\" ") + sqlType(EngineType::Long) +
           QStringLiteral(" DEFAULT 0, \"Active\" ") + sqlType(EngineType::YesNo) +
           QStringLiteral(" DEFAULT -1, \"When\" ") + sqlType(EngineType::DateTime) +
           QStringLiteral(", CONSTRAINT \"MyPrKey\" PRIMARY KEY (\"EAddress\"))");
}

} // namespace

class TestDatabase : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    Database makeFile(const QString& name, int rows) {
        Database database = Database::create(path(name));
        database.exec(QStringLiteral("CREATE TABLE t (a TEXT COLLATE NOCASE PRIMARY KEY, b BLOB)"));
        Transaction transaction(database);
        for (int i = 0; i < rows; ++i)
            database.exec(QStringLiteral("INSERT INTO t VALUES (?, ?)"),
                          {QStringLiteral("row %1").arg(i), QByteArray(300, char('a' + i % 26))});
        transaction.commit();
        return database;
    }

private Q_SLOTS:
    void createOpenReopen() {
        DbError error;
        Database created = makeFile(QStringLiteral("list.mdb"), 3);
        QVERIFY(created.isOpen());
        created.close();
        QVERIFY(QFileInfo(path(QStringLiteral("list.mdb"))).size() > 0);

        // create() never takes over an existing file.
        QVERIFY(!Database::create(path(QStringLiteral("list.mdb")), &error).isOpen());
        QCOMPARE(error.number, SQLITE_CANTOPEN);

        Database reopened =
            Database::open(path(QStringLiteral("list.mdb")), Database::OpenMode::ReadWrite, &error);
        QVERIFY2(reopened.isOpen(), qPrintable(error.text));
        QCOMPARE(count(reopened, QStringLiteral("t")), 3);
        QVERIFY(!reopened.isReadOnly());
        reopened.close();

        Database readOnly = Database::open(path(QStringLiteral("list.mdb")), Database::OpenMode::ReadOnly);
        QVERIFY(readOnly.isReadOnly());
        QVERIFY(!readOnly.exec(QStringLiteral("DELETE FROM t"), {}, &error));
        QCOMPARE(error.number & 0xff, SQLITE_READONLY);
        QCOMPARE(count(readOnly, QStringLiteral("t")), 3);
        readOnly.close();

        // An exclusive open keeps others out until it closes.
        Database exclusive =
            Database::open(path(QStringLiteral("list.mdb")), Database::OpenMode::Exclusive, &error);
        QVERIFY2(exclusive.isOpen(), qPrintable(error.text));
        QVERIFY(!Database::open(path(QStringLiteral("list.mdb")), Database::OpenMode::ReadWrite, &error)
                     .isOpen());
        QCOMPARE(error.number & 0xff, SQLITE_BUSY);
        exclusive.close();
        QVERIFY(Database::open(path(QStringLiteral("list.mdb"))).isOpen());
    }

    void badFilesFailCleanly_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("random bytes") << QStringLiteral("random.mdb");
        QTest::newRow("truncated database") << QStringLiteral("truncated.mdb");
        QTest::newRow("empty file") << QStringLiteral("empty.mdb");
        QTest::newRow("missing file") << QStringLiteral("missing.mdb");
        QTest::newRow("directory") << QStringLiteral("folder.mdb");
    }
    void badFilesFailCleanly() {
        QFETCH(QString, name);
        QByteArray noise(8192, 0);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        writeBytes(path(QStringLiteral("random.mdb")), noise);
        writeBytes(path(QStringLiteral("empty.mdb")), {});
        QDir(dir_.path()).mkpath(QStringLiteral("folder.mdb"));
        if (!QFile::exists(path(QStringLiteral("truncated.mdb")))) {
            makeFile(QStringLiteral("whole.mdb"), 200).close();
            QFile whole(path(QStringLiteral("whole.mdb")));
            QVERIFY(whole.open(QIODevice::ReadOnly));
            writeBytes(path(QStringLiteral("truncated.mdb")), whole.read(whole.size() / 2));
        }

        for (const auto mode : {Database::OpenMode::ReadWrite, Database::OpenMode::ReadOnly}) {
            DbError error;
            const Database database = Database::open(path(name), mode, &error);
            QVERIFY(!database.isOpen());
            QVERIFY(error.isError());
            QVERIFY(!error.text.isEmpty());
        }
        Database host = Database::openMemory();
        DbError error;
        QVERIFY(!host.attach(path(name), QStringLiteral("other"), &error));
        QVERIFY(error.isError());
        QCOMPARE(host.scalar(QStringLiteral("SELECT count(*) FROM pragma_database_list")).value_or(0).toInt(),
                 1);
    }

    void readOnlyFile() {
        makeFile(QStringLiteral("locked.mdb"), 1).close();
        QFile::setPermissions(path(QStringLiteral("locked.mdb")), QFile::ReadOwner | QFile::ReadGroup);
        Database readOnly = Database::open(path(QStringLiteral("locked.mdb")), Database::OpenMode::ReadOnly);
        QVERIFY(readOnly.isOpen());
        QCOMPARE(count(readOnly, QStringLiteral("t")), 1);
        readOnly.close();
        QFile probe(path(QStringLiteral("locked.mdb")));
        if (probe.open(QIODevice::ReadWrite))
            QSKIP("running with rights that ignore file permissions");
        DbError error;
        QVERIFY(!Database::open(path(QStringLiteral("locked.mdb")), Database::OpenMode::ReadWrite, &error)
                     .isOpen());
        QCOMPARE(error.number, SQLITE_READONLY);
    }

    void boundValuesRoundTrip_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        const QString nasty = QStringLiteral("He said \"hi\"; O'Brien's [EAddress] -- ') DROP TABLE v; /*");
        QTest::newRow("quotes and brackets") << QVariant(nasty) << QVariant(nasty);
        const QString foreign = QStringLiteral("Zoë Łódź Straße 東京 😀");
        QTest::newRow("non-ASCII") << QVariant(foreign) << QVariant(foreign);
        QTest::newRow("empty text") << QVariant(QString()) << QVariant(QString(QLatin1String("")));
        QByteArray binary;
        for (int i = 1; i < 256; ++i)
            binary.append(char(i));
        QTest::newRow("binary") << QVariant(binary) << QVariant(binary);
        QTest::newRow("null") << QVariant() << QVariant();
        QTest::newRow("yes") << QVariant(true) << QVariant(qint64(-1));
        QTest::newRow("no") << QVariant(false) << QVariant(qint64(0));
        QTest::newRow("int") << QVariant(42) << QVariant(qint64(42));
        QTest::newRow("large") << QVariant(Q_INT64_C(9000000000)) << QVariant(Q_INT64_C(9000000000));
        QTest::newRow("double") << QVariant(2.5) << QVariant(2.5);
        QTest::newRow("date") << QVariant(QDate(2024, 2, 29)) << QVariant(QStringLiteral("2024-02-29"));
        QTest::newRow("date and time") << QVariant(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)))
                                       << QVariant(QStringLiteral("2024-01-02 03:04:05"));
    }
    void boundValuesRoundTrip() {
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        Database database = Database::openMemory();
        QVERIFY(database.exec(QStringLiteral("CREATE TABLE v (id INTEGER PRIMARY KEY, x)")));
        DbError error;
        QVERIFY2(database.exec(QStringLiteral("INSERT INTO v (x) VALUES (?)"), {value}, &error),
                 qPrintable(error.text));
        Statement byName = database.prepare(QStringLiteral("INSERT INTO v (x) VALUES (:value)"));
        byName.bind(QStringLiteral("value"), value);
        QVERIFY(byName.exec());

        Statement select = database.prepare(QStringLiteral("SELECT x AS \"Value\" FROM v ORDER BY id"));
        for (int row = 0; row < 2; ++row) {
            QVERIFY(select.next());
            const QVariant read = select.value(QStringLiteral("VALUE"));
            QCOMPARE(read.typeId(), expected.typeId());
            QCOMPARE(read, expected);
        }
        QVERIFY(!select.next());
        QVERIFY(!select.error().isError());
    }

    void statementReusedWithNewValues() {
        Database database = Database::openMemory();
        QVERIFY(database.exec(QStringLiteral("CREATE TABLE v (x)")));
        Statement insert = database.prepare(QStringLiteral("INSERT INTO v VALUES (?)"));
        for (int i = 0; i < 3; ++i) {
            insert.bind(1, i % 2);
            QVERIFY(insert.exec());
        }
        Statement select = database.prepare(QStringLiteral("SELECT count(*) FROM v WHERE x = ?"));
        select.bind(1, 0);
        QVERIFY(select.next());
        QCOMPARE(select.value(0), QVariant(qint64(2)));
        select.bind(1, 1); // mid-run
        QVERIFY(select.next());
        QCOMPARE(select.value(0), QVariant(qint64(1)));
        QVERIFY(!select.next());
        select.bind(1, 7); // after the end
        QVERIFY(select.next());
        QCOMPARE(select.value(0), QVariant(qint64(0)));
        database.close(); // the statements are finalized afterwards: no crash, no leak
    }

    void bindingMistakesAreErrors() {
        Database database = Database::openMemory();
        QVERIFY(database.exec(QStringLiteral("CREATE TABLE v (x)")));
        DbError error;
        QVERIFY(!database.exec(QStringLiteral("INSERT INTO v VALUES (?)"), {1, 2}, &error));
        QCOMPARE(error.number, SQLITE_RANGE);
        Statement statement = database.prepare(QStringLiteral("INSERT INTO v VALUES (:x)"));
        statement.bind(QStringLiteral("y"), 1);
        QVERIFY(!statement.exec());
        QCOMPARE(statement.error().number, SQLITE_RANGE);
        statement.clearBindings();
        statement.bind(QStringLiteral(":x"), QVariant::fromValue(QPoint(1, 2)));
        QVERIFY(!statement.exec());
        QCOMPARE(statement.error().number, SQLITE_MISMATCH);
        QCOMPARE(count(database, QStringLiteral("v")), 0);
        // A misspelt quoted column is an error, never a text literal.
        QVERIFY(!database.prepare(QStringLiteral("SELECT \"y\" FROM v"), &error).isValid());
        QVERIFY(error.text.contains(QLatin1String("no such column")));
    }

    void oneStatementAtATime() {
        Database database = Database::openMemory();
        QVERIFY(database.execScript(QStringLiteral("CREATE TABLE a (x); CREATE TABLE b (y);")));
        DbError error;
        QVERIFY(!database.prepare(QStringLiteral("SELECT 1; SELECT 2"), &error).isValid());
        QCOMPARE(error.number, SQLITE_ERROR);
        QVERIFY(!database.exec(QStringLiteral("INSERT INTO a VALUES (1); DROP TABLE b"), {}, &error));
        QVERIFY(database.lastError().isError());
        QCOMPARE(database.tables(), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(count(database, QStringLiteral("a")), 0);
        QVERIFY(!database.prepare(QStringLiteral(" ;-- nothing\n"), &error).isValid());
        QVERIFY(database.prepare(QStringLiteral(";SELECT 1; -- done\n/* end */ ;")).isValid());
        QVERIFY(!database.execScript(
            QStringLiteral("INSERT INTO a VALUES (1); INSERT INTO nowhere VALUES (2)"), &error));
        QVERIFY(error.text.contains(QLatin1String("nowhere")));
    }

    void schemaInspection() {
        Database database = Database::openMemory();
        DbError error;
        QVERIFY2(database.exec(addressListSql(), {}, &error), qPrintable(error.text));
        QVERIFY(database.exec(QStringLiteral("CREATE TABLE \"Other\" (x)")));
        QCOMPARE(database.tables(), QStringList({QStringLiteral("AddressList"), QStringLiteral("Other")}));
        QVERIFY(database.hasTable(QStringLiteral("addresslist")));
        QVERIFY(!database.hasTable(QStringLiteral("sqlite_master")));

        const QList<ColumnInfo> columns = database.columns(QStringLiteral("ADDRESSLIST"));
        QCOMPARE(columns.size(), 7);
        const ColumnInfo& key = columns[0];
        QCOMPARE(key.declaredType, QStringLiteral("TEXT(255)"));
        QCOMPARE(key.size, 255);
        QVERIFY(key.primaryKey && key.required && !key.allowsEmpty);
        QVERIFY(columns[1].allowsEmpty); // "EAddress2" is not "EAddress"
        const auto first = database.column(QStringLiteral("AddressList"), QStringLiteral("first name"));
        QVERIFY(first.has_value());
        QCOMPARE(first->size, 50);
        QCOMPARE(first->defaultValue, QVariant(QStringLiteral("it's")));
        QVERIFY(first->allowsEmpty && !first->required && !first->primaryKey);
        QCOMPARE(columns[3].size, 0);
        QVERIFY(isTextType(columns[3].declaredType));
        QCOMPARE(columns[4].defaultValue, QVariant(qint64(0)));
        QCOMPARE(columns[5].defaultValue, QVariant(qint64(-1)));
        QVERIFY(!isTextType(columns[5].declaredType));
        QVERIFY(!columns[6].defaultValue.isValid());
        QVERIFY(!isTextType(columns[6].declaredType));

        QVERIFY(!database.exec(QStringLiteral("INSERT INTO AddressList (EAddress) VALUES ('')"), {}, &error));
        QCOMPARE(error.number, SQLITE_CONSTRAINT_CHECK);
        QVERIFY(
            database.exec(QStringLiteral("INSERT INTO AddressList (EAddress, \"First Name\") VALUES (?, '')"),
                          {QStringLiteral("a@b.org")}));
    }

    void textKeysIgnoreCase() {
        Database database = Database::openMemory();
        QVERIFY(database.exec(addressListSql()));
        const QString insert = QStringLiteral("INSERT INTO AddressList (EAddress) VALUES (?)");
        QVERIFY(database.exec(insert, {QStringLiteral("Ann@x.org")}));
        DbError error;
        QVERIFY(!database.exec(insert, {QStringLiteral("ann@x.org")}, &error));
        QCOMPARE(error.number, SQLITE_CONSTRAINT_PRIMARYKEY);
        QCOMPARE(database.scalar(QStringLiteral("SELECT EAddress FROM AddressList WHERE EAddress = ?"),
                                 {QStringLiteral("ANN@X.ORG")}),
                 std::optional<QVariant>(QStringLiteral("Ann@x.org")));

        // The same uniqueness given to an existing table through a key index.
        QVERIFY(database.exec(QStringLiteral("CREATE TABLE plain (e TEXT COLLATE NOCASE)")));
        QVERIFY(database.exec(QStringLiteral("INSERT INTO plain VALUES ('Bo@x.org'), ('bo@X.org')")));
        QVERIFY(!createKeyIndex(database, QStringLiteral("plain"), QStringLiteral("e"),
                                QStringLiteral("MyPrKey"), &error));
        QCOMPARE(error.number, SQLITE_CONSTRAINT_UNIQUE);
        QVERIFY(database.exec(QStringLiteral("DELETE FROM plain WHERE e = 'bo@X.org' COLLATE BINARY")));
        QVERIFY(createKeyIndex(database, QStringLiteral("plain"), QStringLiteral("e"),
                               QStringLiteral("MyPrKey")));
        QVERIFY(createKeyIndex(database, QStringLiteral("plain"), QStringLiteral("e"),
                               QStringLiteral("MyPrKey")));
        QVERIFY(!database.exec(QStringLiteral("INSERT INTO plain VALUES ('BO@x.org')")));
        QVERIFY(!createKeyIndex(database, QStringLiteral("AddressList"), QStringLiteral("EAddress"),
                                QStringLiteral("MyPrKey"), &error));
    }

    void attachAnotherFile() {
        makeFile(QStringLiteral("source list.mdb"), 4).close();
        Database target = Database::create(path(QStringLiteral("target.mdb")));
        QVERIFY(target.exec(QStringLiteral("CREATE TABLE t (a TEXT COLLATE NOCASE PRIMARY KEY)")));
        DbError error;
        QVERIFY2(target.attach(path(QStringLiteral("source list.mdb")), QStringLiteral("my source"), &error),
                 qPrintable(error.text));
        QVERIFY(target.exec(QStringLiteral("INSERT INTO t SELECT a FROM \"my source\".t")));
        QCOMPARE(count(target, QStringLiteral("t")), 4);
        QVERIFY(target.detach(QStringLiteral("my source")));
        QVERIFY(!target.prepare(QStringLiteral("SELECT * FROM \"my source\".t")).isValid());
    }

    void copyWhileAnotherConnectionWrites() {
        Database reader = makeFile(QStringLiteral("busy.mdb"), 5);
        Database writer = Database::open(path(QStringLiteral("busy.mdb")));
        QVERIFY(writer.beginTransaction());
        QVERIFY(writer.exec(QStringLiteral("INSERT INTO t (a) VALUES ('uncommitted')")));

        DbError error;
        QVERIFY2(reader.copyTo(path(QStringLiteral("copy.mdb")), &error), qPrintable(error.text));
        QCOMPARE(count(Database::open(path(QStringLiteral("copy.mdb"))), QStringLiteral("t")), 5);
        // The writing connection itself cannot be copied mid-transaction: it says so at once.
        QVERIFY(!writer.copyTo(path(QStringLiteral("copy2.mdb")), &error));
        QVERIFY(error.text.contains(QLatin1String("transaction")));
        QVERIFY(!QFile::exists(path(QStringLiteral("copy2.mdb"))));
        QVERIFY(writer.commit());

        // An existing file is never overwritten.
        QVERIFY(!reader.copyTo(path(QStringLiteral("copy.mdb")), &error));
        QCOMPARE(count(Database::open(path(QStringLiteral("copy.mdb"))), QStringLiteral("t")), 5);
        QVERIFY(reader.copyTo(path(QStringLiteral("copy3.mdb"))));
        QCOMPARE(count(Database::open(path(QStringLiteral("copy3.mdb"))), QStringLiteral("t")), 6);
    }

    void transactionRollsBackOnScopeExit() {
        Database database = Database::openMemory();
        QVERIFY(database.exec(QStringLiteral("CREATE TABLE t (x)")));
        {
            Transaction transaction(database);
            QVERIFY(transaction.isActive() && database.inTransaction());
            QVERIFY(database.exec(QStringLiteral("INSERT INTO t VALUES (1)")));
        }
        QVERIFY(!database.inTransaction());
        QCOMPARE(count(database, QStringLiteral("t")), 0);
        {
            Transaction transaction(database);
            QVERIFY(database.exec(QStringLiteral("INSERT INTO t VALUES (2)")));
            QVERIFY(transaction.commit());
            QVERIFY(!transaction.commit());
        }
        QCOMPARE(count(database, QStringLiteral("t")), 1);
        QVERIFY(!database.rollback());
    }

    void storedDates() {
        const QDateTime moment(QDate(2023, 12, 31), QTime(23, 59, 58));
        QCOMPARE(toStoredDate(moment), QStringLiteral("2023-12-31 23:59:58"));
        QCOMPARE(fromStoredDate(toStoredDate(moment)), moment);
        QCOMPARE(fromStoredDate(QStringLiteral("2023-12-31")), QDateTime(QDate(2023, 12, 31), QTime(0, 0)));
        QVERIFY(!fromStoredDate(QStringLiteral("12/31/23")).isValid());
        QVERIFY(toStoredDate(QDate()).isEmpty());
        QVERIFY(fromYesNo(yesNo(true)) && !fromYesNo(yesNo(false)) && !fromYesNo(QVariant()));
        // Stored dates order as times do.
        Database database = Database::openMemory();
        QVERIFY(database.exec(QStringLiteral("CREATE TABLE d (w ") + sqlType(EngineType::DateTime) + u')'));
        for (const QDateTime& w : {moment, moment.addDays(-40), moment.addSecs(-3600)})
            QVERIFY(database.exec(QStringLiteral("INSERT INTO d VALUES (?)"), {w}));
        QCOMPARE(database.scalar(QStringLiteral("SELECT w FROM d ORDER BY w LIMIT 1")).value_or(QVariant()),
                 QVariant(toStoredDate(moment.addDays(-40))));
        QCOMPARE(database.scalar(QStringLiteral("SELECT typeof(w) FROM d LIMIT 1")).value_or(QVariant()),
                 QVariant(QStringLiteral("text")));
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
