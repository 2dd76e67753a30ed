#include "db/Database.h"

#include "db/TypeMapping.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <limits>
#include <sqlite3.h>
#include <utility>

namespace db {

namespace {

constexpr int kBusyTimeoutMs = 2000;

DbError errorOf(sqlite3* handle, int rc) {
    const int code = handle ? sqlite3_extended_errcode(handle) : SQLITE_OK;
    if (code == SQLITE_OK)
        return {rc == SQLITE_OK ? SQLITE_ERROR : rc, QString::fromUtf8(sqlite3_errstr(rc))};
    return {code, QString::fromUtf8(sqlite3_errmsg(handle))};
}

// SQLite reads a name beginning with ":" as a special database; only absolute paths go to it.
QString absolutePath(const QString& path) {
    return path.startsWith(u'/') ? path : QDir::currentPath() + u'/' + path;
}

// Refuses what SQLite would accept too readily: a missing file, a folder, and an empty file (which it
// would take for an empty database and write into).
DbError checkExistingFile(const QString& absolute) {
    const QFileInfo info(absolute);
    if (!info.exists() || info.isDir())
        return {SQLITE_CANTOPEN, QStringLiteral("unable to open database file")};
    if (info.size() == 0)
        return {SQLITE_NOTADB, QStringLiteral("file is not a database")};
    return {};
}

bool runSql(sqlite3* handle, const char* sql, DbError* error) {
    const int rc = sqlite3_exec(handle, sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        return true;
    if (error)
        *error = errorOf(handle, rc);
    return false;
}

void closeHandle(sqlite3*& handle) {
    sqlite3_close_v2(handle);
    handle = nullptr;
}

// Opens a connection and sets it up the same way for every file. Reading the schema forces SQLite to
// read the header (it opens lazily), so a file that is not a database fails here and not later.
sqlite3* openHandle(const QString& absolute, int flags, DbError* error) {
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(absolute).constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        *error = errorOf(handle, rc);
        closeHandle(handle);
        return nullptr;
    }
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    // A misspelt "Column" must be an error, not silently a text literal.
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    if (!runSql(handle, "PRAGMA foreign_keys=OFF", error) ||
        !runSql(handle, "SELECT count(*) FROM sqlite_master", error)) {
        closeHandle(handle);
        return nullptr;
    }
    return handle;
}

// A file left in WAL mode by other software goes back to a single file with a rollback journal.
void leaveWalMode(sqlite3* handle) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(handle, "PRAGMA journal_mode", -1, &stmt, nullptr) != SQLITE_OK)
        return;
    bool wal = false;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        wal = qstricmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal") == 0;
    sqlite3_finalize(stmt);
    if (wal)
        sqlite3_exec(handle, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
}

// Creates the file itself (O_EXCL), so an existing file is never taken over, not even in a race.
DbError createEmptyFile(const QString& absolute) {
    QFile file(absolute);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return {};
    if (QFileInfo::exists(absolute))
        return {SQLITE_CANTOPEN, QStringLiteral("a file already exists at ") + absolute};
    return {SQLITE_CANTOPEN, QStringLiteral("unable to create database file: ") + file.errorString()};
}

// Only blanks, semicolons and comments may follow the one statement.
bool onlyTrivia(const char* text, const char* end) {
    while (text < end) {
        const char c = *text;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == ';') {
            ++text;
        } else if (c == '-' && text + 1 < end && text[1] == '-') {
            while (text < end && *text != '\n')
                ++text;
        } else if (c == '/' && text + 1 < end && text[1] == '*') {
            text += 2;
            while (text < end && !(text[0] == '*' && text + 1 < end && text[1] == '/'))
                ++text;
            text = text < end ? text + 2 : end;
        } else {
            return false;
        }
    }
    return true;
}

int bindText(sqlite3_stmt* stmt, int position, const QString& value) {
    const QByteArray bytes = value.toUtf8();
    return sqlite3_bind_text64(stmt, position, bytes.isNull() ? "" : bytes.constData(),
                               sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
}

int bindTextOrNull(sqlite3_stmt* stmt, int position, const QString& value) {
    return value.isEmpty() ? sqlite3_bind_null(stmt, position) : bindText(stmt, position, value);
}

// Binds one value; sets unsupported (and binds NULL) for a type with no column form.
int bindVariant(sqlite3_stmt* stmt, int position, const QVariant& value, bool* unsupported) {
    if (value.isNull())
        return sqlite3_bind_null(stmt, position);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return sqlite3_bind_int64(stmt, position, value.toBool() ? -1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return sqlite3_bind_int64(stmt, position, value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number > qulonglong(std::numeric_limits<qint64>::max()))
            return sqlite3_bind_double(stmt, position, double(number));
        return sqlite3_bind_int64(stmt, position, qint64(number));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(stmt, position, value.toDouble());
    case QMetaType::QString:
    case QMetaType::QChar:
        return bindText(stmt, position, value.toString());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        if (bytes.isEmpty())
            return sqlite3_bind_zeroblob(stmt, position, 0);
        return sqlite3_bind_blob64(stmt, position, bytes.constData(), sqlite3_uint64(bytes.size()),
                                   SQLITE_TRANSIENT);
    }
    case QMetaType::QDate:
        return bindTextOrNull(stmt, position, toStoredDate(value.toDate()));
    case QMetaType::QDateTime:
        return bindTextOrNull(stmt, position, toStoredDate(value.toDateTime()));
    case QMetaType::QTime:
        return bindTextOrNull(stmt, position, toStoredTime(value.toTime()));
    default:
        *unsupported = true;
        return sqlite3_bind_null(stmt, position);
    }
}

int parameterIndex(sqlite3_stmt* stmt, const QString& name) {
    const QByteArray bytes = name.toUtf8();
    if (bytes.isEmpty())
        return 0;
    if (bytes.front() == ':' || bytes.front() == '@' || bytes.front() == '$' || bytes.front() == '?')
        return sqlite3_bind_parameter_index(stmt, bytes.constData());
    for (const char prefix : {':', '@', '$'}) {
        const QByteArray prefixed = QByteArray(1, prefix) + bytes;
        const int index = sqlite3_bind_parameter_index(stmt, prefixed.constData());
        if (index > 0)
            return index;
    }
    return 0;
}

// The outer pair of parentheses, when they enclose the whole text.
bool enclosedInParentheses(const QString& text) {
    if (text.size() < 2 || !text.startsWith(u'(') || !text.endsWith(u')'))
        return false;
    int depth = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'(')
            ++depth;
        else if (text[i] == u')' && --depth == 0 && i != text.size() - 1)
            return false;
    }
    return true;
}

// A column default as SQLite keeps it (the SQL text of the expression) turned into its value; an
// expression that is not a plain literal comes back as written.
QVariant defaultValueOf(const QVariant& stored) {
    if (stored.isNull())
        return {};
    QString text = stored.toString().trimmed();
    while (enclosedInParentheses(text))
        text = text.mid(1, text.size() - 2).trimmed();
    if (text.compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0)
        return {};
    for (const QChar quote : {u'\'', u'"'}) {
        if (text.size() >= 2 && text.front() == quote && text.back() == quote)
            return text.mid(1, text.size() - 2).replace(QString(2, quote), QString(quote));
    }
    bool ok = false;
    const qint64 integer = text.toLongLong(&ok);
    if (ok)
        return integer;
    const double real = text.toDouble(&ok);
    if (ok)
        return real;
    if (text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
        return qint64(1);
    if (text.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
        return qint64(0);
    return text;
}

// True when the CREATE TABLE text holds CHECK (column <> '') for this column, in any identifier quoting.
bool refusesEmptyText(const QString& createSql, const QString& column) {
    const QString name = QRegularExpression::escape(column);
    const QString doubled = QRegularExpression::escape(QString(column).replace(u'"', QLatin1String("\"\"")));
    const QString identifier = QStringLiteral("(?:\"%1\"|\\[%2\\]|`%2`|\\b%2\\b)").arg(doubled, name);
    const QRegularExpression check(QStringLiteral("CHECK\\s*\\(\\s*") + identifier +
                                       QStringLiteral("\\s*(?:<>|!=)\\s*''\\s*\\)"),
                                   QRegularExpression::CaseInsensitiveOption);
    return check.match(createSql).hasMatch();
}

// The n of a declared type such as TEXT(50) or VARCHAR(50); 0 when there is none.
int sizeOf(const QString& declaredType) {
    static const QRegularExpression size(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
    if (!isTextType(declaredType))
        return 0;
    const QRegularExpressionMatch match = size.match(declaredType);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Statement

Statement::Statement(sqlite3_stmt* stmt, sqlite3* handle) : stmt_(stmt), handle_(handle) {}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), handle_(std::exchange(other.handle_, nullptr)),
      error_(std::move(other.error_)), bindError_(std::move(other.bindError_)),
      stepped_(std::exchange(other.stepped_, false)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = std::exchange(other.stmt_, nullptr);
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
        bindError_ = std::move(other.bindError_);
        stepped_ = std::exchange(other.stepped_, false);
    }
    return *this;
}

void Statement::setError(int rc) {
    error_ = errorOf(handle_, rc);
}

void Statement::failBind(int number, const QString& text) {
    if (!bindError_.isError())
        bindError_ = {number, text};
}

void Statement::bind(int position, const QVariant& value) {
    if (!stmt_)
        return;
    if (stepped_)
        reset();
    bool unsupported = false;
    const int rc = bindVariant(stmt_, position, value, &unsupported);
    if (unsupported)
        failBind(SQLITE_MISMATCH, QStringLiteral("cannot store a value of type %1 (parameter %2)")
                                      .arg(QString::fromLatin1(value.typeName()))
                                      .arg(position));
    else if (rc != SQLITE_OK)
        failBind(
            rc, QStringLiteral("%1 (parameter %2)").arg(QString::fromUtf8(sqlite3_errstr(rc))).arg(position));
}

void Statement::bind(const QString& name, const QVariant& value) {
    if (!stmt_)
        return;
    const int position = parameterIndex(stmt_, name);
    if (position == 0) {
        failBind(SQLITE_RANGE, QStringLiteral("no parameter named ") + name);
        return;
    }
    bind(position, value);
}

void Statement::bindAll(const QVariantList& values) {
    if (!stmt_)
        return;
    const int expected = sqlite3_bind_parameter_count(stmt_);
    if (values.size() != expected)
        failBind(SQLITE_RANGE,
                 QStringLiteral("%1 values given for %2 parameters").arg(values.size()).arg(expected));
    for (int i = 0; i < values.size() && i < expected; ++i)
        bind(i + 1, values[i]);
}

bool Statement::next() {
    if (!stmt_) {
        error_ = {SQLITE_MISUSE, QStringLiteral("no statement")};
        return false;
    }
    if (bindError_.isError()) {
        error_ = bindError_;
        return false;
    }
    stepped_ = true;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        error_ = {};
        return true;
    }
    if (rc == SQLITE_DONE) {
        error_ = {};
        return false;
    }
    setError(rc);
    sqlite3_reset(stmt_);
    return false;
}

bool Statement::exec() {
    if (!stmt_) {
        error_ = {SQLITE_MISUSE, QStringLiteral("no statement")};
        return false;
    }
    if (bindError_.isError()) {
        error_ = bindError_;
        return false;
    }
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(stmt_);
    if (rc != SQLITE_DONE) {
        setError(rc);
        sqlite3_reset(stmt_);
        return false;
    }
    // Reset at once so that the statement holds no lock between runs.
    sqlite3_reset(stmt_);
    error_ = {};
    return true;
}

void Statement::reset() {
    if (stmt_)
        sqlite3_reset(stmt_);
    stepped_ = false;
    error_ = {};
}

void Statement::clearBindings() {
    if (stmt_)
        sqlite3_clear_bindings(stmt_);
    bindError_ = {};
}

int Statement::columnCount() const {
    return stmt_ ? sqlite3_column_count(stmt_) : 0;
}

QString Statement::columnName(int index) const {
    if (!stmt_ || index < 0 || index >= sqlite3_column_count(stmt_))
        return {};
    return QString::fromUtf8(sqlite3_column_name(stmt_, index));
}

int Statement::columnIndex(const QString& name) const {
    const int count = columnCount();
    for (int i = 0; i < count; ++i) {
        if (columnName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant Statement::value(int index) const {
    if (!stmt_ || index < 0 || index >= sqlite3_data_count(stmt_))
        return {};
    switch (sqlite3_column_type(stmt_, index)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(stmt_, index));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt_, index);
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
        return QString::fromUtf8(text ? text : "", sqlite3_column_bytes(stmt_, index));
    }
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, index));
        const int size = sqlite3_column_bytes(stmt_, index);
        return size > 0 ? QByteArray(data, size) : QByteArray("");
    }
    default:
        return {};
    }
}

QVariant Statement::value(const QString& name) const {
    return value(columnIndex(name));
}

QString Statement::text(int index) const {
    const QVariant v = value(index);
    return v.isNull() ? QString() : v.toString();
}

bool Statement::readOnly() const {
    return stmt_ && sqlite3_stmt_readonly(stmt_) != 0;
}

// ---------------------------------------------------------------------------------------------------
// Database

Database::Database() = default;

Database::Database(sqlite3* handle, QString fileName) : handle_(handle), fileName_(std::move(fileName)) {}

Database::~Database() {
    close();
}

Database::Database(Database&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), fileName_(std::move(other.fileName_)),
      lastError_(std::move(other.lastError_)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        fileName_ = std::move(other.fileName_);
        lastError_ = std::move(other.lastError_);
    }
    return *this;
}

Database Database::create(const QString& path, DbError* error) {
    DbError failure;
    if (path.isEmpty())
        failure = {SQLITE_CANTOPEN, QStringLiteral("no file name given")};
    const QString absolute = absolutePath(path);
    if (!failure.isError())
        failure = createEmptyFile(absolute);
    if (!failure.isError()) {
        sqlite3* handle = openHandle(absolute, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &failure);
        // Writing the header now makes the new file a database on disk, not an empty file. It needs no
        // flush of its own: the first commit that must last flushes the file, header and all.
        if (handle && runSql(handle, "PRAGMA synchronous=OFF", &failure) &&
            runSql(handle, "PRAGMA user_version=0", &failure) &&
            runSql(handle, "PRAGMA synchronous=FULL", &failure))
            return Database(handle, path);
        if (handle)
            closeHandle(handle);
        QFile::remove(absolute);
    }
    if (error)
        *error = failure;
    return {};
}

Database Database::open(const QString& path, OpenMode mode, DbError* error) {
    const QString absolute = absolutePath(path);
    DbError failure = path.isEmpty() ? DbError{SQLITE_CANTOPEN, QStringLiteral("no file name given")}
                                     : checkExistingFile(absolute);
    sqlite3* handle = nullptr;
    if (!failure.isError()) {
        const int flags = mode == OpenMode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
        handle = openHandle(absolute, flags, &failure);
    }
    // SQLite quietly opens a file it may not write read-only; a caller asking to write is told instead.
    if (handle && mode != OpenMode::ReadOnly && sqlite3_db_readonly(handle, "main") == 1) {
        failure = {SQLITE_READONLY, QStringLiteral("the file is read-only")};
        closeHandle(handle);
    }
    if (handle && mode != OpenMode::ReadOnly)
        leaveWalMode(handle);
    // Exclusive mode keeps the lock once taken; taking it now makes the open fail when others hold it.
    if (handle && mode == OpenMode::Exclusive &&
        !(runSql(handle, "PRAGMA locking_mode=EXCLUSIVE", &failure) &&
          runSql(handle, "BEGIN EXCLUSIVE", &failure) && runSql(handle, "COMMIT", &failure)))
        closeHandle(handle);
    if (handle)
        return Database(handle, path);
    if (error)
        *error = failure;
    return {};
}

Database Database::openMemory(DbError* error) {
    DbError failure;
    sqlite3* handle =
        openHandle(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &failure);
    if (handle)
        return Database(handle, QString());
    if (error)
        *error = failure;
    return {};
}

void Database::close() {
    // close_v2 waits for statements still alive before it lets the connection go.
    if (handle_)
        closeHandle(handle_);
}

bool Database::isReadOnly() const {
    return handle_ && sqlite3_db_readonly(handle_, "main") == 1;
}

void Database::noteError(int rc, DbError* error) const {
    noteError(errorOf(handle_, rc), error);
}

void Database::noteError(const DbError& failure, DbError* error) const {
    lastError_ = failure;
    if (error)
        *error = failure;
}

Statement Database::prepare(const QString& sql, DbError* error) const {
    lastError_ = {};
    if (!handle_) {
        noteError({SQLITE_MISUSE, QStringLiteral("the database is not open")}, error);
        return {};
    }
    const QByteArray text = sql.toUtf8();
    const char* const end = text.constData() + text.size();
    const char* start = text.constData();
    sqlite3_stmt* stmt = nullptr;
    // Leading semicolons give no statement; go on past them.
    while (!stmt && start < end) {
        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v3(handle_, start, int(end - start), 0, &stmt, &tail);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            noteError(rc, error);
            return {};
        }
        if (!tail || tail <= start)
            break;
        start = tail;
    }
    if (!stmt) {
        noteError({SQLITE_MISUSE, QStringLiteral("no SQL statement given")}, error);
        return {};
    }
    if (!onlyTrivia(start, end)) {
        sqlite3_finalize(stmt);
        noteError({SQLITE_ERROR, QStringLiteral("more than one SQL statement given where one was expected")},
                  error);
        return {};
    }
    return Statement(stmt, handle_);
}

bool Database::exec(const QString& sql, const QVariantList& values, DbError* error) {
    Statement statement = prepare(sql, error);
    if (!statement.isValid())
        return false;
    statement.bindAll(values);
    if (!statement.exec()) {
        noteError(statement.error(), error);
        return false;
    }
    return true;
}

bool Database::execScript(const QString& sql, DbError* error) {
    lastError_ = {};
    if (!handle_) {
        noteError({SQLITE_MISUSE, QStringLiteral("the database is not open")}, error);
        return false;
    }
    const int rc = sqlite3_exec(handle_, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        noteError(rc, error);
        return false;
    }
    return true;
}

std::optional<QVariant> Database::scalar(const QString& sql, const QVariantList& values,
                                         DbError* error) const {
    Statement statement = prepare(sql, error);
    if (!statement.isValid())
        return std::nullopt;
    statement.bindAll(values);
    if (statement.next())
        return statement.value(0);
    if (statement.error().isError())
        noteError(statement.error(), error);
    return std::nullopt;
}

qint64 Database::changes() const {
    return handle_ ? sqlite3_changes64(handle_) : 0;
}

qint64 Database::lastInsertRowId() const {
    return handle_ ? sqlite3_last_insert_rowid(handle_) : 0;
}

bool Database::beginTransaction(DbError* error) {
    // IMMEDIATE takes the write lock at once, so two writers cannot deadlock half-way.
    return exec(isReadOnly() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"), {}, error);
}

bool Database::commit(DbError* error) {
    return exec(QStringLiteral("COMMIT"), {}, error);
}

bool Database::rollback() {
    return inTransaction() && exec(QStringLiteral("ROLLBACK"));
}

bool Database::inTransaction() const {
    return handle_ && sqlite3_get_autocommit(handle_) == 0;
}

QStringList Database::tables() const {
    QStringList names;
    Statement statement = prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                                 "name NOT LIKE 'sqlite!_%' ESCAPE '!' ORDER BY rowid"));
    while (statement.next())
        names << statement.text(0);
    return names;
}

bool Database::hasTable(const QString& table) const {
    return scalar(QStringLiteral(
                      "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE"),
                  {table})
        .has_value();
}

QList<ColumnInfo> Database::columns(const QString& table) const {
    QList<ColumnInfo> result;
    const QString createSql =
        scalar(
            QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE"),
            {table})
            .value_or(QVariant())
            .toString();
    Statement statement = prepare(QStringLiteral(
        "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1) ORDER BY cid"));
    statement.bind(1, table);
    while (statement.next()) {
        ColumnInfo column;
        column.name = statement.text(0);
        column.declaredType = statement.text(1);
        column.size = sizeOf(column.declaredType);
        column.required = statement.value(2).toLongLong() != 0;
        column.defaultValue = defaultValueOf(statement.value(3));
        column.primaryKey = statement.value(4).toLongLong() > 0;
        column.allowsEmpty = !refusesEmptyText(createSql, column.name);
        result << column;
    }
    return result;
}

std::optional<ColumnInfo> Database::column(const QString& table, const QString& name) const {
    for (const ColumnInfo& column : columns(table)) {
        if (column.name.compare(name, Qt::CaseInsensitive) == 0)
            return column;
    }
    return std::nullopt;
}

bool Database::attach(const QString& path, const QString& alias, DbError* error) {
    const QString absolute = absolutePath(path);
    const DbError failure = checkExistingFile(absolute);
    if (failure.isError()) {
        noteError(failure, error);
        return false;
    }
    if (!exec(QStringLiteral("ATTACH DATABASE ?1 AS ?2"), {absolute, alias}, error))
        return false;
    // As with open: only reading the attached schema shows whether the file is a database.
    DbError readFailure;
    scalar(QStringLiteral("SELECT count(*) FROM ") + quoteName(alias) + QStringLiteral(".sqlite_master"), {},
           &readFailure);
    if (readFailure.isError()) {
        exec(QStringLiteral("DETACH DATABASE ?1"), {alias});
        noteError(readFailure, error);
        return false;
    }
    return true;
}

bool Database::detach(const QString& alias, DbError* error) {
    return exec(QStringLiteral("DETACH DATABASE ?1"), {alias}, error);
}

bool Database::copyTo(const QString& path, DbError* error) const {
    lastError_ = {};
    if (!handle_) {
        noteError({SQLITE_MISUSE, QStringLiteral("the database is not open")}, error);
        return false;
    }
    const QString absolute = absolutePath(path);
    DbError failure = path.isEmpty() ? DbError{SQLITE_CANTOPEN, QStringLiteral("no file name given")}
                                     : createEmptyFile(absolute);
    if (failure.isError()) {
        noteError(failure, error);
        return false;
    }
    sqlite3* target = openHandle(absolute, SQLITE_OPEN_READWRITE, &failure);
    if (target) {
        sqlite3_backup* backup = sqlite3_backup_init(target, "main", handle_, "main");
        if (!backup) {
            failure = errorOf(target, SQLITE_ERROR);
        } else {
            // The whole copy in one step reads one consistent state. Another connection's commit in
            // progress makes it busy for a moment; this connection's own open write never ends meanwhile.
            QElapsedTimer waited;
            waited.start();
            int rc = sqlite3_backup_step(backup, -1);
            while ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && !inTransaction() &&
                   waited.elapsed() < kBusyTimeoutMs) {
                sqlite3_sleep(20);
                rc = sqlite3_backup_step(backup, -1);
            }
            const int finished = sqlite3_backup_finish(backup);
            if (rc != SQLITE_DONE) {
                if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && inTransaction())
                    failure = {rc, QStringLiteral("the database cannot be copied while a transaction is open "
                                                  "on this connection")};
                else
                    failure = {rc, QString::fromUtf8(sqlite3_errstr(rc))};
            } else if (finished != SQLITE_OK) {
                failure = errorOf(target, finished);
            }
        }
        closeHandle(target);
    }
    if (failure.isError()) {
        QFile::remove(absolute);
        noteError(failure, error);
        return false;
    }
    return true;
}

QString quoteName(const QString& name) {
    return u'"' + QString(name).replace(u'"', QLatin1String("\"\"")) + u'"';
}

// ---------------------------------------------------------------------------------------------------
// Transaction

Transaction::Transaction(Database& db) : db_(db), active_(db.beginTransaction()) {}

Transaction::~Transaction() {
    if (active_ && db_.inTransaction())
        db_.rollback();
}

bool Transaction::commit(DbError* error) {
    if (!active_) {
        if (error)
            *error = {SQLITE_MISUSE, QStringLiteral("no transaction is open")};
        return false;
    }
    const bool ok = db_.commit(error);
    // A commit refused as busy leaves the transaction open: it is still ours to roll back.
    active_ = !ok && db_.inTransaction();
    return ok;
}

} // namespace db
