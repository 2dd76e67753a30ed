#pragma once

#include "db/Database.h"

#include <QRegularExpression>
#include <QString>
#include <QVariantList>
#include <optional>

struct sqlite3;

namespace db {

// A user-written condition turned into SQLite SQL: `sql` is one boolean expression with a `?` for
// every literal, `values` holds them in order. Wrap `sql` in parentheses when combining it with
// other conditions. The SQL calls the dialect's functions and collation: prepare it on a handle that
// went through registerDialectFunctions (prepareUserQuery does that).
struct TranslatedClause {
    QString sql;
    QVariantList values;
};

// The name of the case-insensitive (Unicode) collation the translator puts on comparisons.
inline constexpr char dialectCollation[] = "jet_nocase";

// Translates a WHERE clause written in the desktop engine's dialect (square-bracket names, text in
// double or single quotes, #date#, Like with * ? # [..], Is Null, = NULL, True/False, Between, In,
// isnull() and a few text functions). The leading WHERE is optional. Anything that is not exactly one
// condition is refused with nullopt and a one-sentence message in `error`.
std::optional<TranslatedClause> translateWhereClause(const QString& clause, QString* error = nullptr);

// The pattern of the dialect's Like as an anchored, case-insensitive regular expression: * any text,
// ? one character, # one digit, [abc] [a-c] [!a-c] one character of (or not of) a list. An invalid
// pattern (an unclosed [) gives an invalid expression and the reason in `error`.
QRegularExpression likePatternToRegex(const QString& pattern, QString* error = nullptr);
// Whether `value` matches the Like `pattern`, ignoring case.
bool matchesLike(const QString& value, const QString& pattern);

// Registers jet_like(value, pattern) and the jet_nocase collation on a connection. Cheap and
// idempotent: call it before preparing translated SQL.
void registerDialectFunctions(sqlite3* handle);

// Prepares a SELECT built around a translated clause under an authorizer that allows only reading
// rows and calling harmless functions; anything else (writes, ATTACH, PRAGMA, transactions, a second
// statement) fails with an error. Returns an invalid Statement on failure.
Statement prepareUserQuery(Database& db, const QString& selectSql, DbError* error = nullptr);

// "SELECT <columns> FROM "<table>" [WHERE (<translated clause>)] [ORDER BY <orderBy>]" prepared with
// prepareUserQuery and the clause's values bound. `columns` and `orderBy` are the caller's SQL, never
// user text; an empty `userClause` selects every row. nullopt on a refused clause (error->number is
// SQLITE_ERROR and error->text the translator's message) or a failed prepare.
std::optional<Statement> selectWhere(Database& db, const QString& table, const QString& columns,
                                     const QString& userClause, const QString& orderBy,
                                     DbError* error = nullptr);

} // namespace db
