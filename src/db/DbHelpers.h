#pragma once

#include "core/Prompter.h"
#include "db/Database.h"

#include <QString>
#include <QStringList>
#include <optional>

// Small helpers for counting and looking up rows, building column lists, moving addresses between list
// files, and testing addresses. Every value is bound; every helper opens its database, works, closes it.
// Failures are logged and answer as "nothing found".

// The number of rows whose column is not null.
qint64 CountField(const QString& databasePath, const QString& table, const QString& column);
// The same, or nullopt when the file cannot be opened or read (damaged, not a list), so that a caller
// can tell such a file from an empty one.
std::optional<qint64> CountFieldIfReadable(const QString& databasePath, const QString& table,
                                           const QString& column);
// The same in the central database, for rows whose column equals value (without regard to case).
qint64 CountMatching(const QString& table, const QString& column, const QString& value);
// Whether the table holds a row whose key column equals value (without regard to case).
bool RecordExists(const QString& databasePath, const QString& column, const QString& table,
                  const QString& keyColumn, const QString& value);
// The column of the first central-database row whose key column equals value; empty when none.
QString LookupDescription(const QString& column, const QString& table, const QString& keyColumn,
                          const QString& value);
// Every row of the table ordered by the sort column; invalid on failure. Lives as long as database.
db::Statement OpenSortedTable(const db::Database& database, const QString& table, const QString& sortColumn);

// Appends the addresses of sourceFile's sourceTable to the target list's table (addresses only); an
// address the target already holds is skipped. The number of rows added, or -1 on failure.
qint64 CopyAddressesIn(const QString& targetPath, const QString& targetTable, const QString& sourceTable,
                       const QString& sourceFile);
// Removes from the target list's table every address that sourceFile's sourceTable holds. The number of
// rows removed, or -1 on failure.
qint64 DeleteAddressesIn(const QString& targetPath, const QString& targetTable, const QString& sourceTable,
                         const QString& sourceFile);

// The pieces of text between delimiters, in order; the empty text gives none.
QStringList SplitToArray(const QString& text, const QString& delimiter = QStringLiteral(","));
// Every non-empty name quoted for SQL and joined with ",": a, "", b gives "a","b".
QString BracketedFieldList(const QStringList& names);
// Cuts the path at its last "/" or "\" into the folder (without the separator, "/" for the root) and
// the file name. A path without a separator is all file name.
void SplitPath(const QString& path, QString& folder, QString& file);

// Builds a new temporary list from sourceTable of sourceFile: sourceColumns[i] fills targetColumns[i];
// target columns the blank list lacks are added as text. The new list's path, or "<Error:" after the
// message was shown. Rows whose address is empty or already taken are left out.
QString CreateList(const QStringList& sourceColumns, const QStringList& targetColumns,
                   const QString& sourceTable, const QString& sourceFile, Prompter& prompter);

// The one test of whether a text is a usable mail address.
bool IsValidEmailAddress(const QString& address);
