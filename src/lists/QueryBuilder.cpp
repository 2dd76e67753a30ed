#include "lists/QueryBuilder.h"

#include "db/Database.h"

#include <QSet>
#include <algorithm>

namespace QueryBuilder {

QList<Column> tableColumns(const QString& path, const QString& table, db::DbError* error) {
    QList<Column> columns;
    const db::Database database = db::Database::open(path, db::Database::OpenMode::ReadOnly, error);
    if (!database.isOpen())
        return columns;
    for (const db::ColumnInfo& column : database.columns(table))
        columns.append({column.name, valueKindOf(column.declaredType)});
    return columns;
}

ValueKind valueKindOf(const QString& typeName) {
    static const QSet<QString> whole = {QStringLiteral("BYTE"),
                                        QStringLiteral("TINYINT"),
                                        QStringLiteral("SHORT"),
                                        QStringLiteral("SMALLINT"),
                                        QStringLiteral("INT"),
                                        QStringLiteral("INTEGER"),
                                        QStringLiteral("INT2"),
                                        QStringLiteral("INT4"),
                                        QStringLiteral("INT8"),
                                        QStringLiteral("INTEGER1"),
                                        QStringLiteral("INTEGER2"),
                                        QStringLiteral("INTEGER4"),
                                        QStringLiteral("LONG"),
                                        QStringLiteral("LONG INTEGER"),
                                        QStringLiteral("MEDIUMINT"),
                                        QStringLiteral("BIGINT"),
                                        QStringLiteral("UNSIGNED BIG INT"),
                                        QStringLiteral("COUNTER"),
                                        QStringLiteral("AUTOINCREMENT")};
    static const QSet<QString> decimal = {
        QStringLiteral("CURRENCY"), QStringLiteral("MONEY"),      QStringLiteral("SINGLE"),
        QStringLiteral("REAL"),     QStringLiteral("FLOAT"),      QStringLiteral("FLOAT4"),
        QStringLiteral("FLOAT8"),   QStringLiteral("DOUBLE"),     QStringLiteral("DOUBLE PRECISION"),
        QStringLiteral("DECIMAL"),  QStringLiteral("DEC"),        QStringLiteral("NUMERIC"),
        QStringLiteral("NUMBER"),   QStringLiteral("IEEESINGLE"), QStringLiteral("IEEEDOUBLE")};
    // "DECIMAL(10,2)", "Long Integer", "INTEGER PRIMARY KEY AUTOINCREMENT": the type word comes first.
    QString name = typeName.section(u'(', 0, 0).simplified().toUpper();
    if (name.endsWith(QLatin1String(" PRIMARY KEY AUTOINCREMENT")))
        name.chop(26);
    if (whole.contains(name))
        return ValueKind::WholeNumber;
    if (decimal.contains(name))
        return ValueKind::DecimalNumber;
    return ValueKind::Quoted;
}

ValueKind valueKindOf(QMetaType type) {
    switch (type.id()) {
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return ValueKind::WholeNumber;
    case QMetaType::Float:
    case QMetaType::Double:
        return ValueKind::DecimalNumber;
    default:
        return ValueKind::Quoted;
    }
}

const QStringList& operatorItems() {
    static const QStringList items = {QStringLiteral("  ="), QStringLiteral("<>"), QStringLiteral("<"),
                                      QStringLiteral("<="),  QStringLiteral(">"),  QStringLiteral(">="),
                                      QStringLiteral("Like")};
    return items;
}

const QStringList& joinItems() {
    static const QStringList items = {QStringLiteral(" "), QStringLiteral("AND"), QStringLiteral("OR")};
    return items;
}

QString buildCondition(const QString& table, const ConditionRow& row) {
    if (row.column.isEmpty())
        return {};
    QString condition = u'[' + table + QStringLiteral("].[") + row.column + QStringLiteral("] ");
    if (row.operatorText.isEmpty())
        return condition;
    condition += row.operatorText + u' ';
    if (row.value.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0) {
        condition += QStringLiteral("NULL");
    } else if (isNumeric(row.kind)) {
        // The dialog cleans the box as it is typed in; cleaning again keeps a pasted text from
        // becoming a condition of its own.
        condition += u' ' + MakeTextBoxNumeric(row.value, row.kind == ValueKind::DecimalNumber).text;
    } else {
        // A quote inside the value is doubled, so it stays part of the value.
        QString value = row.value;
        value.replace(u'"', QStringLiteral("\"\""));
        condition += QStringLiteral(" \"") + value + u'"';
    }
    return condition;
}

QString buildClause(const QString& table, const QList<ConditionRow>& rows, const QStringList& joins) {
    const auto join = [&](int k) {
        return joins.value(k);
    };
    // Row k+1 is looked at only when the join before it is chosen.
    const auto condition = [&](int k) {
        if (k >= rows.size() || (k > 0 && join(k - 1).trimmed().isEmpty()))
            return QString();
        return buildCondition(table, rows.at(k));
    };
    const QString c0 = condition(0);
    if (c0.isEmpty())
        return {};
    const QString c1 = condition(1);
    const QString c2 = condition(2);
    const QString c3 = condition(3);
    QString clause = QStringLiteral("WHERE ((") + c0;
    if (!c1.isEmpty())
        clause += u' ' + join(0) + u' ' + c1 + u')';
    else
        clause += u')';
    if (!c2.isEmpty()) {
        clause += u' ' + join(1) + QStringLiteral(" (") + c2;
        if (!c3.isEmpty())
            clause += u' ' + join(2) + u' ' + c3 + u')';
        else
            clause += u')';
    }
    clause += u')';
    return clause;
}

NumericText MakeTextBoxNumeric(const QString& text, bool allowDecimal) {
    NumericText result;
    result.text.reserve(text.size());
    bool pointKept = false;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9') {
            result.text += c;
        } else if (allowDecimal && c == u'.' && !pointKept) {
            pointKept = true;
            result.text += c;
        } else {
            result.changed = true;
        }
    }
    return result;
}

const QStringList& advancedMarkWords() {
    static const QStringList words = {
        QStringLiteral("WHERE"), QStringLiteral("("),   QStringLiteral(")"),    QStringLiteral(" OR "),
        QStringLiteral(" AND"),  QStringLiteral(" = "), QStringLiteral(" <> "), QStringLiteral(" <= "),
        QStringLiteral(" >= "),  QStringLiteral(" < "), QStringLiteral(" > "),  QStringLiteral(" LIKE "),
        QStringLiteral(" NULL")};
    return words;
}

QList<TextRange> advancedMarks(const QString& clause) {
    QList<TextRange> found;
    for (const QString& word : advancedMarkWords()) {
        const bool isWord = std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetter(); });
        const Qt::CaseSensitivity cs = isWord ? Qt::CaseInsensitive : Qt::CaseSensitive;
        for (qsizetype at = clause.indexOf(word, 0, cs); at >= 0;
             at = clause.indexOf(word, at + word.size(), cs))
            found.append({at, word.size()});
    }
    std::sort(found.begin(), found.end(),
              [](const TextRange& a, const TextRange& b) { return a.start < b.start; });
    QList<TextRange> joined;
    for (const TextRange& range : found) {
        if (!joined.isEmpty() && range.start <= joined.last().start + joined.last().length) {
            TextRange& last = joined.last();
            last.length = std::max(last.start + last.length, range.start + range.length) - last.start;
        } else {
            joined.append(range);
        }
    }
    return joined;
}

} // namespace QueryBuilder
