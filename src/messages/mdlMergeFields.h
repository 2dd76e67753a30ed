#pragma once

#include "db/Database.h"

#include <QList>
#include <QString>
#include <QStringList>

// Merge-field names and values: the tag text, the columns a list offers, and one recipient's values.

// "<<" + name + ">>".
QString MakeMergeFieldTag(const QString& name);

// Appends the name of every column of the statement, in column order; clearFirst empties names first.
void FillMergeFieldList(const db::Statement& recordset, QStringList& names, bool clearFirst);

// The current row's value of the column as text; NULL, a missing column or any failure give "".
QString GetMergeFieldValue(const db::Statement& recordset, const QString& fieldName);

// True when the list file opens, has the table, and the column (any case) can be read in its first row.
// A table without rows therefore has no fields.
bool IsListField(const QString& fieldName, const QString& tableName, const QString& listPath);

// The columns of a list's table as the merge-field check sees them, read once so that checking many
// names costs no database work.
class ListFieldSet {
public:
    ListFieldSet() = default;
    // Reads the table's columns and whether it has a first row; an unreadable list gives no fields.
    static ListFieldSet read(const QString& listPath,
                             const QString& tableName = QStringLiteral("AddressList"));
    static ListFieldSet read(const db::Database& list,
                             const QString& tableName = QStringLiteral("AddressList"));
    static ListFieldSet fromColumns(QStringList columns, bool hasRow);

    // The IsListField answer for this list.
    bool isField(const QString& name) const { return hasRow_ && indexOf(name) >= 0; }
    // The column's position, matched without regard to case; -1 when absent.
    int indexOf(const QString& name) const;
    const QStringList& columns() const { return columns_; }
    bool hasRow() const { return hasRow_; }

private:
    QStringList columns_;
    bool hasRow_ = false;
};

// One recipient's row of a list: the column names and their values as text (NULL as "").
class RecipientRecord {
public:
    void setColumns(const QStringList& columns);
    const QStringList& columns() const { return columns_; }
    qsizetype size() const { return values_.size(); }
    bool isEmpty() const { return columns_.isEmpty(); }

    // Position of a column (any case), -1 when absent.
    int indexOf(const QString& column) const;
    // The value at a position; "" when out of range.
    const QString& value(int index) const;
    // The value of a column; "" when absent.
    const QString& value(const QString& column) const { return value(indexOf(column)); }
    void setValue(int index, const QString& value);
    void setValue(const QString& column, const QString& value);

    // Copies the statement's current row (the columns are taken from it when they differ).
    void readFrom(const db::Statement& row);

private:
    QStringList columns_;
    QStringList values_;
};

// The recipient's value of a column: "" when the record is missing or has no such column.
QString GetMergeFieldValue(const RecipientRecord* record, const QString& fieldName);
