#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

// An engine failure as the callers see it: a number (SQLite's extended result code; 0 = none) and a text.
struct DbError {
    int number = 0;
    QString text;
    bool isError() const { return number != 0; }
};

// One column of a table as the schema describes it.
struct ColumnInfo {
    QString name;
    QString declaredType; // as written in CREATE TABLE, e.g. "TEXT(50)", "INTEGER"
    int size = 0;         // the n of TEXT(n); 0 when none
    QVariant defaultValue;
    bool required = false;   // NOT NULL
    bool allowsEmpty = true; // a CHECK refusing '' makes this false
    bool primaryKey = false;
};

class Database;

// A prepared statement: bind values (positions from 1, or :names), step through the rows.
class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isValid() const { return stmt_ != nullptr; }
    // Binds a value: null QVariant -> NULL, bool -> -1/0 (YESNO), integers, doubles, QString -> TEXT,
    // QByteArray -> BLOB, QDateTime/QDate -> the stored date text. Binding ends a run in progress (reset).
    // A value that cannot be bound makes the next next()/exec() fail with its error.
    void bind(int position, const QVariant& value);
    void bind(const QString& name, const QVariant& value);
    void bindAll(const QVariantList& values);
    // Advances to the next row; false at the end or on an error (see error()).
    bool next();
    // Runs a statement that returns no rows; false on an error.
    bool exec();
    void reset(); // keeps the bindings
    void clearBindings();

    int columnCount() const;
    QString columnName(int index) const;
    int columnIndex(const QString& name) const; // -1 when absent; matched without regard to case
    QVariant value(int index) const;            // NULL -> null QVariant
    QVariant value(const QString& name) const;
    QString text(int index) const; // NULL -> ""
    bool readOnly() const;
    const DbError& error() const { return error_; }

private:
    friend class Database;
    Statement(sqlite3_stmt* stmt, sqlite3* handle);
    void setError(int rc);
    void failBind(int number, const QString& text);

    sqlite3_stmt* stmt_ = nullptr;
    sqlite3* handle_ = nullptr;
    DbError error_;
    DbError bindError_;    // the first value that could not be bound; next() and exec() refuse to run with it
    bool stepped_ = false; // stepped since the last reset: SQLite binds only to a reset statement
};

// One open database file. Movable, not copyable; closes on destruction.
class Database {
public:
    enum class OpenMode { ReadWrite, ReadOnly, Exclusive };

    Database();
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Creates a new, empty database file; fails when a file is already there.
    static Database create(const QString& path, DbError* error = nullptr);
    // Opens an existing database file; fails when it is missing or is not a database (also an empty file, a
    // folder, a truncated file). ReadWrite and Exclusive fail with SQLITE_READONLY on a file that cannot be
    // written; Exclusive fails with SQLITE_BUSY while another connection holds a lock on the file.
    static Database open(const QString& path, OpenMode mode = OpenMode::ReadWrite, DbError* error = nullptr);
    // A private in-memory database (tests, scratch work).
    static Database openMemory(DbError* error = nullptr);

    bool isOpen() const { return handle_ != nullptr; }
    void close();
    QString fileName() const { return fileName_; }
    bool isReadOnly() const;

    Statement prepare(const QString& sql, DbError* error = nullptr) const;
    // Runs one statement with bound values; false on an error.
    bool exec(const QString& sql, const QVariantList& values = {}, DbError* error = nullptr);
    // Runs several statements without values (schema scripts).
    bool execScript(const QString& sql, DbError* error = nullptr);
    // The first column of the first row, or nullopt when there is no row or an error.
    std::optional<QVariant> scalar(const QString& sql, const QVariantList& values = {},
                                   DbError* error = nullptr) const;
    qint64 changes() const;
    qint64 lastInsertRowId() const;

    bool beginTransaction(DbError* error = nullptr);
    bool commit(DbError* error = nullptr);
    bool rollback();
    bool inTransaction() const;

    QStringList tables() const; // user tables, in creation order
    bool hasTable(const QString& table) const;
    QList<ColumnInfo> columns(const QString& table) const;
    std::optional<ColumnInfo> column(const QString& table, const QString& name) const;

    // Makes another file's tables reachable as alias.table.
    bool attach(const QString& path, const QString& alias, DbError* error = nullptr);
    bool detach(const QString& alias, DbError* error = nullptr);

    // A consistent copy of the whole database into a new file (online backup); fails when a file is already
    // at path, and while this connection has a write transaction open.
    bool copyTo(const QString& path, DbError* error = nullptr) const;

    const DbError& lastError() const { return lastError_; } // empty when the last call succeeded
    sqlite3* handle() const { return handle_; }

private:
    explicit Database(sqlite3* handle, QString fileName);
    void noteError(int rc, DbError* error) const;
    void noteError(const DbError& failure, DbError* error) const;

    sqlite3* handle_ = nullptr;
    QString fileName_;
    mutable DbError lastError_;
};

// Quotes an identifier for SQL: "name" with inner quotes doubled.
QString quoteName(const QString& name);

// Begins a transaction and rolls it back on destruction unless commit() was called.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool isActive() const { return active_; }
    bool commit(DbError* error = nullptr);

private:
    Database& db_;
    bool active_ = false;
};

} // namespace db
