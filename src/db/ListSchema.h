#pragma once

#include <QString>
#include <QStringList>

// The layout of a list file: one table AddressList, keyed on EAddress, every column text.
namespace ListSchema {

inline QString table() {
    return QStringLiteral("AddressList");
}
inline QString keyColumn() {
    return QStringLiteral("EAddress");
}
inline QString keyConstraint() {
    return QStringLiteral("MyPrKey");
}
// Every list column is text of up to 255 characters (the length is not enforced by SQLite).
QString columnType();

// The system columns in the order a blank list has them.
const QStringList& blankListColumns();
// The system columns other than the key, in the order verification adds the missing ones.
const QStringList& addOrder();
bool isSystemColumn(const QString& name);

// One column of CREATE TABLE: the key column is required and refuses the empty text, every other
// column takes NULL and the empty text.
QString columnDefinition(const QString& name, const QString& declaredType, bool isKey);
// CREATE TABLE for the blank list.
QString blankListSql();
// "ALTER TABLE table ADD COLUMN name TEXT(255) COLLATE NOCASE" for a user or system column.
QString addColumnSql(const QString& table, const QString& column);

} // namespace ListSchema
