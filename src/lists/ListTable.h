#pragma once

#include "db/Database.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <optional>

// One table of a list file (or any table, read-only) as a grid sees it: its columns, the order of its
// rows as row ids, the values of given rows, and the edits, finds and clean-ups of the list window.
// The file stays open while the object lives; every value is bound.
class ListTable {
public:
    // nullptr and the reason in error when the file cannot be opened or has no such table.
    static std::unique_ptr<ListTable> open(const QString& path,
                                           const QString& table = QStringLiteral("AddressList"),
                                           bool readOnly = false, db::DbError* error = nullptr);

    const QString& path() const { return path_; }
    const QString& table() const { return table_; }
    bool isReadOnly() const { return readOnly_; }
    const QStringList& columns() const { return columns_; }
    // The column EAddress, or -1 when the table has none (a table that is not a list).
    int keyColumn() const { return keyColumn_; }
    // Whether EAddress carries its unique key; a list without it may hold an address twice.
    bool hasPrimaryKey() const { return hasPrimaryKey_; }
    // Reads the columns again after one was added or removed.
    bool reloadColumns(db::DbError* error = nullptr);

    // Every row id in display order: by the column (either way; ties in row order), or, for column -1,
    // by EAddress when the table has it and in table order otherwise.
    std::optional<QVector<qint64>> orderedRowIds(int column = -1, Qt::SortOrder order = Qt::AscendingOrder,
                                                 db::DbError* error = nullptr) const;
    // The values of the rows, each in column order; a row that has gone is missing from the answer.
    QHash<qint64, QVariantList> rowsById(const QVector<qint64>& ids, db::DbError* error = nullptr) const;

    // Writes one value; the empty text of a column other than the key is stored as NULL.
    bool updateValue(qint64 rowId, int column, const QVariant& value, db::DbError* error = nullptr);
    // Appends a row holding only the address; its row id, or nullopt (a duplicate fails on the key).
    std::optional<qint64> insertAddress(const QString& address, db::DbError* error = nullptr);
    bool deleteRows(const QVector<qint64>& ids, db::DbError* error = nullptr);
    static bool isConstraintFailure(const db::DbError& error);

    // Find: "[column] = "text"" exactly, "[column] Like "*text*"" otherwise, "[column] = NULL Or
    // [column] = """ for a blank text. The criterion is written in the desktop dialect, quotes doubled.
    static QString findCriterion(const QString& column, const QString& text, bool exact);
    // The row ids matching the criterion; nullopt and the reason when the criterion is refused.
    std::optional<QSet<qint64>> findRowIds(int column, const QString& text, bool exact,
                                           QString* error = nullptr) const;

    // Replace: the rows whose column equals oldValue without regard to case (and, for an empty
    // oldValue, the empty ones), counted and then given newValue in one transaction.
    qint64 countEqual(int column, const QString& oldValue) const;
    // The number of rows changed, or -1 on failure (nothing changed then).
    qint64 replaceEqual(int column, const QString& oldValue, const QString& newValue,
                        db::DbError* error = nullptr);

    // The address of every row whose address occurs more than once, in address order (one entry per row).
    QStringList duplicateAddressRows(int limit = -1) const;
    // Deletes every row of a repeated address, all copies; the number deleted, or -1 on failure.
    qint64 deleteDuplicateAddresses(db::DbError* error = nullptr);

private:
    ListTable() = default;
    QString quotedColumn(int column) const;

    db::Database database_;
    QString path_;
    QString table_;
    QStringList columns_;
    int keyColumn_ = -1;
    bool hasPrimaryKey_ = false;
    bool readOnly_ = false;
    mutable db::Statement rowById_;
};
