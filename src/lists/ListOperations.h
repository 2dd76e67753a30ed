#pragma once

#include <QString>
#include <QStringList>

// What the list builders of DataTank (gMergeLists, gCleanList, gFindDuplicates, gFilterList) answer, and
// the statements merge, clean and duplicates run on their result file.
namespace ListOperations {

// ---- Results ----

// A builder answers with the path of its temporary result list or with one of these texts.
QString errorResult(const QString& description = {}); // "<Error:" or "<Error: " + description
QString cancelResult();                               // "<Cancel": cancelled or a source was empty
QString noRecordsResult();                            // "<No Records": the result holds no row
bool isError(const QString& result);
// The text after "<Error:", trimmed; empty when the builder showed its own message.
QString errorDescription(const QString& result);
// True when the result is a path rather than one of the texts above.
bool isPath(const QString& result);

// ---- Statements ----

// The result table's columns: every column of the first list in its order, then every column of the
// second list whose name the first lacks (names compared without regard to case). Names containing
// "MSys" are left out.
struct UnionColumns {
    QStringList columns;      // the result table's columns
    QStringList firstSource;  // the first list's columns that are copied
    QStringList secondSource; // the second list's columns that are copied, in its order
    QStringList secondTarget; // the result column that each of secondSource fills
};
UnionColumns unionColumns(const QStringList& firstColumns, const QStringList& secondColumns);

enum class Operation { Merge, Clean, Duplicates };

// The settings of the connection that writes a temporary result: no journal and no syncing (a crash
// loses only the result, which nobody has seen yet), and a page cache that holds the key index of a
// large result. They name the main database only, so attached sources keep their own settings.
QStringList resultFilePragmas();

// CREATE TABLE for the result: every column text; merge and duplicates keyed on EAddress (so one row
// per address), clean without a key (a list that repeats an address keeps the repeats).
QString createResultTableSql(Operation operation, const UnionColumns& columns);

// The statements that fill the result table, run on the result file with the first list attached as
// firstAlias and the second as secondAlias. Addresses are compared without regard to case.
//  Merge:      the first list's rows, then the second's whose address is new: the first list's row wins.
//  Clean:      the list's rows whose address the removal list lacks, sorted by address.
//  Duplicates: the first list's rows whose address the second list holds.
QStringList fillStatements(Operation operation, const UnionColumns& columns, const QString& firstAlias,
                           const QString& secondAlias);

} // namespace ListOperations
