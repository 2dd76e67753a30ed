#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace db {
struct DbError;
}

// The logic of the filter dialogs: one condition per row, the WHERE clause they make together, the
// cleaning of numeric value boxes, and the words the advanced view marks. The dialogs only call these.
namespace QueryBuilder {

// How a column's value is written into a condition.
enum class ValueKind {
    Quoted,        // text, memo, date, yes/no and everything else: in double quotes
    WholeNumber,   // Byte, Integer, Long, 64-bit integer: as typed
    DecimalNumber, // Currency, Single, Double, Decimal, Float: as typed
};
// The kind for a column type named as a database reports it ("LONG", "TEXT(255)", "DOUBLE", "BIT" ...).
ValueKind valueKindOf(const QString& typeName);
// The kind for a value type read by Qt.
ValueKind valueKindOf(QMetaType type);
inline bool isNumeric(ValueKind kind) {
    return kind != ValueKind::Quoted;
}

// A column of a list a filter can test.
struct Column {
    QString name;
    ValueKind kind = ValueKind::Quoted;
};
// The columns of a table of a database file, in table order; empty (and the reason in error) when the
// file cannot be read.
QList<Column> tableColumns(const QString& path, const QString& table, db::DbError* error = nullptr);

// The operator list's items, in order; the first one carries leading blanks.
const QStringList& operatorItems();
// The join list's items: a blank (no further condition), "AND", "OR".
const QStringList& joinItems();

// One row of the dialog.
struct ConditionRow {
    QString column;       // empty when no column is chosen
    QString operatorText; // the chosen operator item as it stands in the list; empty when none
    QString value;        // the value box's text
    ValueKind kind = ValueKind::Quoted;
};

// "[table].[column] " followed, when an operator is chosen, by the operator, a blank and the value:
// NULL for the text null, else the number, else the text in double quotes (inner quotes doubled).
// Empty when no column is chosen.
QString buildCondition(const QString& table, const ConditionRow& row);

// The whole clause from up to four rows and the three joins between them: WHERE ((c0 j0 c1) j1 (c2 j2
// c3)) with the parts that are missing left out. Row k+1 counts only when join k is not blank; the
// clause is empty when the first row has no column.
QString buildClause(const QString& table, const QList<ConditionRow>& rows, const QStringList& joins);

// A numeric value box's text with every character removed that is not a digit 0-9, except, when
// decimals are allowed, the first ".". `changed` tells the dialog to beep and put the text back.
struct NumericText {
    QString text;
    bool changed = false;
};
NumericText MakeTextBoxNumeric(const QString& text, bool allowDecimal);

// The texts the advanced view shows in bold: words found without regard to case, symbols exactly.
const QStringList& advancedMarkWords();
struct TextRange {
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const TextRange&) const = default;
};
// Where those texts occur in the clause, in order, overlapping ranges joined.
QList<TextRange> advancedMarks(const QString& clause);

} // namespace QueryBuilder
