#include "db/ListSchema.h"

#include "db/Database.h"
#include "db/TypeMapping.h"

namespace ListSchema {

QString columnType() {
    return db::sqlType(db::EngineType::Text, 255);
}

const QStringList& blankListColumns() {
    static const QStringList columns = {
        QStringLiteral("EAddress"), QStringLiteral("FirstName"), QStringLiteral("LastName"),
        QStringLiteral("Keyword1"), QStringLiteral("Keyword2"),  QStringLiteral("Date"),
        QStringLiteral("Sent"),     QStringLiteral("Title"),
    };
    return columns;
}

const QStringList& addOrder() {
    static const QStringList columns = {
        QStringLiteral("FirstName"), QStringLiteral("LastName"), QStringLiteral("Title"),
        QStringLiteral("Sent"),      QStringLiteral("Date"),     QStringLiteral("Keyword1"),
        QStringLiteral("Keyword2"),
    };
    return columns;
}

bool isSystemColumn(const QString& name) {
    return blankListColumns().contains(name, Qt::CaseInsensitive);
}

QString columnDefinition(const QString& name, const QString& declaredType, bool isKey) {
    QString definition = db::quoteName(name) + u' ' + declaredType;
    if (isKey)
        definition += QStringLiteral(" NOT NULL ") + db::notEmptyCheck(name);
    return definition;
}

QString blankListSql() {
    QStringList parts;
    for (const QString& column : blankListColumns())
        parts << columnDefinition(column, columnType(), column == keyColumn());
    parts << QStringLiteral("CONSTRAINT ") + db::quoteName(keyConstraint()) +
                 QStringLiteral(" PRIMARY KEY (") + db::quoteName(keyColumn()) + u')';
    return QStringLiteral("CREATE TABLE ") + db::quoteName(table()) + QStringLiteral(" (") +
           parts.join(QStringLiteral(", ")) + u')';
}

QString addColumnSql(const QString& table, const QString& column) {
    return QStringLiteral("ALTER TABLE ") + db::quoteName(table) + QStringLiteral(" ADD COLUMN ") +
           db::quoteName(column) + u' ' + columnType();
}

} // namespace ListSchema
