#pragma once

#include "db/TypeMapping.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The tables of the central database, as every file of the current schema holds them.
namespace CentralSchema {

// The schema version stamped into ProductVersion.TBFVersion of a file this program builds.
inline constexpr int TBFVersion = 12;

struct Column {
    QString name;
    db::EngineType type;
    int size = 0; // the n of TEXT(n)
    bool notNull = false;
    QVariant defaultValue; // invalid: no default
};

struct Table {
    QString name;
    QString keyConstraint; // the name of the primary key constraint
    QString keyColumn;
    QList<Column> columns; // in table order
};

// Every table, in the order a new file creates them.
const QList<Table>& tables();
// The table of that name (compared without regard to case), or nullptr.
const Table* table(const QString& name);
const Column* column(const Table& table, const QString& name);

// CREATE TABLE for one table. Without allowEmptyText every text column refuses the empty text.
QString createTableSql(const Table& table, bool allowEmptyText);
// INSERT INTO table (columns) VALUES (?, ...): one parameter per column, in that order.
QString insertSql(const QString& table, const QStringList& columns);
// The names of a table's columns, in table order.
QStringList columnNames(const Table& table);

} // namespace CentralSchema

// The names of the default sets the central database and the application folder start with: the
// delivery options of the DeliveryOptions table and the mail-event profile file.
inline constexpr const char* DefaultMailEventName = "Default Mail Event";
inline constexpr const char* DefaultDeliveryOptionsName = "Default Delivery Options";
