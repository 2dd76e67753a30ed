#include "lists/ListTable.h"

#include "core/ErrorLog.h"
#include "db/ListSchema.h"
#include "db/SqlDialect.h"

#include <sqlite3.h>

namespace {

void logFailure(const char* procedure, const db::DbError& error) {
    LogError(QString::fromLatin1(procedure) + QStringLiteral(" in ListTable"), {error.number, error.text});
}

void fail(db::DbError* error, const db::DbError& failure) {
    if (error)
        *error = failure;
}

// A text for a quoted literal of the desktop dialect: the quote doubled inside.
QString dialectText(const QString& text) {
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString dialectColumn(const QString& column) {
    return u'[' + column + u']';
}

} // namespace

std::unique_ptr<ListTable> ListTable::open(const QString& path, const QString& table, bool readOnly,
                                           db::DbError* error) {
    db::DbError failure;
    std::unique_ptr<ListTable> list(new ListTable);
    list->database_ = db::Database::open(
        path, readOnly ? db::Database::OpenMode::ReadOnly : db::Database::OpenMode::ReadWrite, &failure);
    if (!list->database_.isOpen()) {
        fail(error, failure);
        return nullptr;
    }
    if (!list->database_.hasTable(table)) {
        fail(error, {SQLITE_ERROR, QStringLiteral("The file has no table ") + table + u'.'});
        return nullptr;
    }
    list->path_ = path;
    list->table_ = table;
    list->readOnly_ = readOnly;
    if (!list->reloadColumns(error))
        return nullptr;
    return list;
}

bool ListTable::reloadColumns(db::DbError* error) {
    rowById_ = {};
    columns_.clear();
    keyColumn_ = -1;
    for (const db::ColumnInfo& column : database_.columns(table_))
        columns_ << column.name;
    if (columns_.isEmpty()) {
        fail(error,
             {SQLITE_ERROR, QStringLiteral("The table ") + table_ + QStringLiteral(" has no columns.")});
        return false;
    }
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i].compare(ListSchema::keyColumn(), Qt::CaseInsensitive) == 0)
            keyColumn_ = i;

    // The key is a unique index over EAddress alone: the table's primary key or one made later.
    hasPrimaryKey_ = false;
    if (keyColumn_ >= 0) {
        const std::optional<QVariant> keyed = database_.scalar(
            QStringLiteral("SELECT count(*) FROM pragma_index_list(?1) AS l WHERE l.\"unique\" = 1 "
                           "AND (SELECT count(*) FROM pragma_index_info(l.name)) = 1 "
                           "AND (SELECT name FROM pragma_index_info(l.name)) = ?2 COLLATE NOCASE"),
            {table_, columns_[keyColumn_]});
        hasPrimaryKey_ = keyed && keyed->toLongLong() > 0;
    }

    QStringList selected;
    for (int i = 0; i < columns_.size(); ++i)
        selected << quotedColumn(i);
    db::DbError failure;
    rowById_ = database_.prepare(QStringLiteral("SELECT ") + selected.join(u',') + QStringLiteral(" FROM ") +
                                     db::quoteName(table_) + QStringLiteral(" WHERE rowid = ?1"),
                                 &failure);
    if (!rowById_.isValid()) {
        fail(error, failure);
        return false;
    }
    return true;
}

QString ListTable::quotedColumn(int column) const {
    return db::quoteName(columns_.value(column));
}

std::optional<QVector<qint64>> ListTable::orderedRowIds(int column, Qt::SortOrder order,
                                                        db::DbError* error) const {
    QString sql = QStringLiteral("SELECT rowid FROM ") + db::quoteName(table_);
    const int sortColumn = column >= 0 ? column : keyColumn_;
    if (sortColumn >= 0 && sortColumn < columns_.size())
        sql += QStringLiteral(" ORDER BY ") + quotedColumn(sortColumn) +
               (order == Qt::DescendingOrder ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    // A million rows are read here: straight from the engine, without a QVariant per row.
    sqlite3* handle = database_.handle();
    sqlite3_stmt* raw = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &raw, nullptr) != SQLITE_OK) {
        fail(error, {sqlite3_extended_errcode(handle), QString::fromUtf8(sqlite3_errmsg(handle))});
        return std::nullopt;
    }
    QVector<qint64> ids;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
        ids.append(sqlite3_column_int64(raw, 0));
    if (rc != SQLITE_DONE) {
        fail(error, {rc, QString::fromUtf8(sqlite3_errmsg(handle))});
        sqlite3_finalize(raw);
        return std::nullopt;
    }
    sqlite3_finalize(raw);
    return ids;
}

QHash<qint64, QVariantList> ListTable::rowsById(const QVector<qint64>& ids, db::DbError* error) const {
    QHash<qint64, QVariantList> rows;
    rows.reserve(ids.size());
    for (const qint64 id : ids) {
        rowById_.bind(1, id);
        if (rowById_.next()) {
            QVariantList values;
            values.reserve(columns_.size());
            for (int i = 0; i < columns_.size(); ++i)
                values << rowById_.value(i);
            rows.insert(id, values);
        } else if (rowById_.error().isError()) {
            fail(error, rowById_.error());
            rowById_.reset();
            break;
        }
        rowById_.reset();
    }
    return rows;
}

bool ListTable::updateValue(qint64 rowId, int column, const QVariant& value, db::DbError* error) {
    if (readOnly_ || column < 0 || column >= columns_.size())
        return false;
    QVariant stored = value;
    if (column != keyColumn_ && value.toString().isEmpty())
        stored = QVariant();
    db::DbError failure;
    if (database_.exec(QStringLiteral("UPDATE ") + db::quoteName(table_) + QStringLiteral(" SET ") +
                           quotedColumn(column) + QStringLiteral(" = ?1 WHERE rowid = ?2"),
                       {stored, rowId}, &failure))
        return true;
    if (!isConstraintFailure(failure))
        logFailure("updateValue", failure);
    fail(error, failure);
    return false;
}

std::optional<qint64> ListTable::insertAddress(const QString& address, db::DbError* error) {
    if (readOnly_ || keyColumn_ < 0)
        return std::nullopt;
    db::DbError failure;
    if (database_.exec(QStringLiteral("INSERT INTO ") + db::quoteName(table_) + QStringLiteral(" (") +
                           quotedColumn(keyColumn_) + QStringLiteral(") VALUES (?1)"),
                       {address}, &failure))
        return database_.lastInsertRowId();
    if (!isConstraintFailure(failure))
        logFailure("insertAddress", failure);
    fail(error, failure);
    return std::nullopt;
}

bool ListTable::deleteRows(const QVector<qint64>& ids, db::DbError* error) {
    if (readOnly_)
        return false;
    db::DbError failure;
    db::Transaction transaction(database_);
    db::Statement remove = database_.prepare(QStringLiteral("DELETE FROM ") + db::quoteName(table_) +
                                                 QStringLiteral(" WHERE rowid = ?1"),
                                             &failure);
    bool ok = remove.isValid();
    for (const qint64 id : ids) {
        if (!ok)
            break;
        remove.bind(1, id);
        ok = remove.exec();
        if (!ok)
            failure = remove.error();
    }
    remove = {};
    if (ok && transaction.commit(&failure))
        return true;
    logFailure("deleteRows", failure);
    fail(error, failure);
    return false;
}

bool ListTable::isConstraintFailure(const db::DbError& error) {
    return (error.number & 0xff) == SQLITE_CONSTRAINT;
}

QString ListTable::findCriterion(const QString& column, const QString& text, bool exact) {
    const QString name = dialectColumn(column);
    if (text.isEmpty())
        return name + QStringLiteral(" = NULL Or ") + name + QStringLiteral(" = \"\"");
    if (exact)
        return name + QStringLiteral(" = ") + dialectText(text);
    return name + QStringLiteral(" Like ") + dialectText(u'*' + text + u'*');
}

std::optional<QSet<qint64>> ListTable::findRowIds(int column, const QString& text, bool exact,
                                                  QString* error) const {
    if (column < 0 || column >= columns_.size())
        return QSet<qint64>();
    db::DbError failure;
    db::Database& database = const_cast<db::Database&>(database_);
    std::optional<db::Statement> rows =
        db::selectWhere(database, table_, QStringLiteral("rowid"),
                        findCriterion(columns_[column], text, exact), QString(), &failure);
    if (!rows) {
        if (error)
            *error = failure.text;
        return std::nullopt;
    }
    QSet<qint64> ids;
    while (rows->next())
        ids.insert(rows->value(0).toLongLong());
    if (rows->error().isError()) {
        if (error)
            *error = rows->error().text;
        return std::nullopt;
    }
    return ids;
}

namespace {

QString equalCondition(const QString& column, const QString& value) {
    QString condition = column + QStringLiteral(" = ?1");
    if (value.isEmpty())
        condition += QStringLiteral(" OR ") + column + QStringLiteral(" IS NULL");
    return condition;
}

} // namespace

qint64 ListTable::countEqual(int column, const QString& oldValue) const {
    if (column < 0 || column >= columns_.size())
        return 0;
    db::DbError failure;
    const std::optional<QVariant> count =
        database_.scalar(QStringLiteral("SELECT count(*) FROM ") + db::quoteName(table_) +
                             QStringLiteral(" WHERE ") + equalCondition(quotedColumn(column), oldValue),
                         {oldValue}, &failure);
    if (failure.isError())
        logFailure("countEqual", failure);
    return count ? count->toLongLong() : 0;
}

qint64 ListTable::replaceEqual(int column, const QString& oldValue, const QString& newValue,
                               db::DbError* error) {
    if (readOnly_ || column < 0 || column >= columns_.size())
        return -1;
    QVariant stored = newValue;
    if (column != keyColumn_ && newValue.isEmpty())
        stored = QVariant();
    db::DbError failure;
    db::Transaction transaction(database_);
    if (database_.exec(QStringLiteral("UPDATE ") + db::quoteName(table_) + QStringLiteral(" SET ") +
                           quotedColumn(column) + QStringLiteral(" = ?2 WHERE ") +
                           equalCondition(quotedColumn(column), oldValue),
                       {oldValue, stored}, &failure)) {
        const qint64 changed = database_.changes();
        if (transaction.commit(&failure))
            return changed;
    }
    if (!isConstraintFailure(failure))
        logFailure("replaceEqual", failure);
    fail(error, failure);
    return -1;
}

namespace {

QString repeatedAddressCondition(const QString& table, const QString& key) {
    return key + QStringLiteral(" IN (SELECT ") + key + QStringLiteral(" FROM ") + table +
           QStringLiteral(" GROUP BY ") + key + QStringLiteral(" HAVING count(*) > 1)");
}

} // namespace

QStringList ListTable::duplicateAddressRows(int limit) const {
    QStringList addresses;
    if (keyColumn_ < 0)
        return addresses;
    const QString table = db::quoteName(table_);
    const QString key = quotedColumn(keyColumn_);
    QString sql = QStringLiteral("SELECT ") + key + QStringLiteral(" FROM ") + table +
                  QStringLiteral(" WHERE ") + repeatedAddressCondition(table, key) +
                  QStringLiteral(" ORDER BY ") + key;
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT ") + QString::number(limit);
    db::DbError failure;
    db::Statement rows = database_.prepare(sql, &failure);
    while (rows.next())
        addresses << rows.text(0);
    if (!rows.isValid() || rows.error().isError())
        logFailure("duplicateAddressRows", rows.isValid() ? rows.error() : failure);
    return addresses;
}

qint64 ListTable::deleteDuplicateAddresses(db::DbError* error) {
    if (readOnly_ || keyColumn_ < 0)
        return -1;
    const QString table = db::quoteName(table_);
    db::DbError failure;
    if (database_.exec(QStringLiteral("DELETE FROM ") + table + QStringLiteral(" WHERE ") +
                           repeatedAddressCondition(table, quotedColumn(keyColumn_)),
                       {}, &failure))
        return database_.changes();
    logFailure("deleteDuplicateAddresses", failure);
    fail(error, failure);
    return -1;
}
