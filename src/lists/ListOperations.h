#pragma once

#include "core/Prompter.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The list operations: the builders (gMergeLists, gCleanList, gFindDuplicates, gFilterList), what they
// answer, the statements merge, clean and duplicates run on their result file, and the export.
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
// firstAlias and the second as secondAlias. Addresses are compared without regard to case. A rowCounter
// names a SQL function of no arguments, answering true, that the statements call once for each source
// row they read (to show the progress); empty for none.
//  Merge:      the first list's rows, then the second's whose address is new: the first list's row wins.
//  Clean:      the list's rows whose address the removal list lacks, sorted by address.
//  Duplicates: the first list's rows whose address the second list holds.
QStringList fillStatements(Operation operation, const UnionColumns& columns, const QString& firstAlias,
                           const QString& secondAlias, const QString& rowCounter = {});

// ---- Builders and export ----

// Each builder reads its source lists without changing them and answers with the path of a new
// temporary list, or with "<Error:...", "<Cancel" or "<No Records" (see above).
// Messages go through the prompter, progress texts to ListEvents::statusMessage. A RowProgress is told
// the source rows read of those the operation reads, every few thousand rows and at the end.
using RowProgress = std::function<void(qint64 rowsRead, qint64 rowsTotal)>;

// The rows of both lists, one per address; for an address in both, the first list's row.
QString gMergeLists(const QString& firstPath, const QString& secondPath, Prompter& prompter,
                    const RowProgress& progress = {});
// The rows of the list whose address the removal list lacks. openListWindows is the desktop's count
// of open list windows (fewer than two refuse the clean); a negative count skips that check.
QString gCleanList(const QString& listPath, const QString& removalPath, Prompter& prompter,
                   int openListWindows = -1, const RowProgress& progress = {});
// The rows of the first list whose address the second list also holds.
QString gFindDuplicates(const QString& firstPath, const QString& secondPath, Prompter& prompter,
                        const RowProgress& progress = {});
// Asks for a filter over the list's columns (the query builder); the clause, or empty to cancel.
using ConditionQuery = std::function<QString(const QString& listPath, const QStringList& columns)>;
// The rows of the list that satisfy the clause (written as the query builder writes it, with or
// without its leading WHERE); an empty one selects every row. Without a condition, askCondition is
// asked for one, and an empty answer cancels.
QString gFilterList(const QString& listPath, Prompter& prompter, const std::optional<QString>& condition,
                    const ConditionQuery& askCondition = {});
// Writes the list as comma-separated text (UTF-8, CR LF): a line of column names, then every row in
// the list's stored order, text in double quotes with inner quotes doubled. The number of rows
// written; 0 for an empty list (no file is written), -1 on failure or refusal (the message was
// shown). A target in the system, list or temp folder, or the list's own file, is refused (links and
// ".." resolved); an existing file is replaced only after a Yes to exportReplaceQuestion, unless the
// caller's own file dialog already asked (Replace).
enum class ExistingExportFile { Ask, Replace };
qint64 gExportList(const QString& listPath, const QString& exportPath, Prompter& prompter,
                   ExistingExportFile existing = ExistingExportFile::Ask);
QString exportReplaceQuestion(const QString& exportPath);

} // namespace ListOperations
