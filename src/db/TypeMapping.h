#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

// How the column types of the system's schema are stored in SQLite. This is the one place that says so.
//
//  Type       Declared in SQLite                      Values held
//  ---------  --------------------------------------  ---------------------------------------------------
//  TEXT(n)    TEXT(n) COLLATE NOCASE                   text; "(n)" stays in the declared type so that
//                                                      ColumnInfo::size reports n (SQLite does not enforce
//                                                      it). TEXT without a size is TEXT(255).
//  MEMO       TEXT COLLATE NOCASE                      text of any length
//  INTEGER    INTEGER                                  64-bit integer (the 16-bit range is not enforced)
//  LONG       INTEGER                                  64-bit integer
//  COUNTER    INTEGER PRIMARY KEY AUTOINCREMENT        1, 2, 3 ...; never reused. The column is the table's
//                                                      key by itself: its constraint name goes inline,
//                                                      "ID" INTEGER CONSTRAINT "ID" PRIMARY KEY AUTOINCREMENT
//  YESNO      INTEGER                                  -1 (yes) or 0 (no); read any non-zero as yes
//  DATETIME   DATETIME                                 text "yyyy-MM-dd HH:mm:ss", or "yyyy-MM-dd" for a
//                                                      date alone, or "HH:mm:ss" for a time alone; ISO text
//                                                      sorts and compares in time order. (The NUMERIC
//                                                      affinity of DATETIME never converts these texts.)
//
// Text comparison ignores case, as the original engine did, because every text column is COLLATE NOCASE:
// a text primary key holding 'Ann@x.org' refuses 'ann@x.org'.
//
// Keys: a named primary key is written inside CREATE TABLE as  CONSTRAINT "Name" PRIMARY KEY ("Col").
// SQLite cannot add a constraint to an existing table, so an existing table gets the same uniqueness from
// a unique index named like the constraint (createKeyIndex).
//
// Empty text: a text column refuses the empty text with the column constraint  CHECK ("Col" <> '')
// (notEmptyCheck); Database::columns() reports such a column with allowsEmpty false. Without it a column
// accepts the empty text. NULL is refused only by NOT NULL.

namespace db {

class Database;
struct DbError;

enum class EngineType { Text, Memo, Integer, Long, Counter, YesNo, DateTime };

// The declared type for a column of the engine type; size is the n of TEXT(n) (255 when 0 or less).
QString sqlType(EngineType type, int size = 0);

// The CHECK constraint that makes a text column refuse the empty text.
QString notEmptyCheck(const QString& column);

// True when a column declared with this type holds text (SQLite's TEXT affinity: TEXT, MEMO, CHAR,
// VARCHAR, CLOB ...).
bool isTextType(const QString& declaredType);

// The YESNO values: -1 for yes, 0 for no; any non-zero number reads as yes.
QVariant yesNo(bool value);
bool fromYesNo(const QVariant& value);

// DATETIME values as stored; an invalid date gives the empty text.
QString toStoredDate(const QDateTime& value);
QString toStoredDate(const QDate& value);
QString toStoredTime(const QTime& value);
// Reads any of the stored forms (also with "T" between date and time); a time alone falls on
// 1899-12-30, the original engine's day zero. Anything else gives an invalid QDateTime.
QDateTime fromStoredDate(const QString& text);

// Gives an existing table a unique index on column, named indexName (the name a primary-key constraint
// would have had). Does nothing when that index already exists on that table; fails when the name is
// taken by another table's index or when the column holds duplicates.
bool createKeyIndex(Database& database, const QString& table, const QString& column, const QString& indexName,
                    DbError* error = nullptr);

} // namespace db
