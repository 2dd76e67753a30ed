#include "db/TypeMapping.h"

#include "db/Database.h"

#include <sqlite3.h>

namespace db {

namespace {

const QString kDateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kTimeFormat = QStringLiteral("HH:mm:ss");

} // namespace

QString sqlType(EngineType type, int size) {
    switch (type) {
    case EngineType::Text:
        return QStringLiteral("TEXT(%1) COLLATE NOCASE").arg(size > 0 ? size : 255);
    case EngineType::Memo:
        return QStringLiteral("TEXT COLLATE NOCASE");
    case EngineType::Integer:
    case EngineType::Long:
    case EngineType::YesNo:
        return QStringLiteral("INTEGER");
    case EngineType::Counter:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case EngineType::DateTime:
        return QStringLiteral("DATETIME");
    }
    return QStringLiteral("TEXT COLLATE NOCASE");
}

QString notEmptyCheck(const QString& column) {
    return QStringLiteral("CHECK (") + quoteName(column) + QStringLiteral(" <> '')");
}

bool isTextType(const QString& declaredType) {
    // SQLite's affinity rules: "INT" anywhere wins over the text words.
    const QString type = declaredType.toUpper();
    if (type.contains(QLatin1String("INT")))
        return false;
    return type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
           type.contains(QLatin1String("TEXT")) || type.contains(QLatin1String("MEMO"));
}

QVariant yesNo(bool value) {
    return QVariant(qint64(value ? -1 : 0));
}

bool fromYesNo(const QVariant& value) {
    if (value.isNull())
        return false;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
            return true;
        return text.toDouble() != 0.0;
    }
    return value.toDouble() != 0.0;
}

QString toStoredDate(const QDateTime& value) {
    return value.isValid() ? value.toString(kDateTimeFormat) : QString();
}

QString toStoredDate(const QDate& value) {
    return value.isValid() ? value.toString(kDateFormat) : QString();
}

QString toStoredTime(const QTime& value) {
    return value.isValid() ? value.toString(kTimeFormat) : QString();
}

QDateTime fromStoredDate(const QString& text) {
    const QString trimmed = text.trimmed();
    QDateTime result = QDateTime::fromString(trimmed, kDateTimeFormat);
    if (result.isValid())
        return result;
    result = QDateTime::fromString(trimmed, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (result.isValid())
        return result;
    const QDate date = QDate::fromString(trimmed, kDateFormat);
    if (date.isValid())
        return QDateTime(date, QTime(0, 0));
    const QTime time = QTime::fromString(trimmed, kTimeFormat);
    if (time.isValid())
        return QDateTime(QDate(1899, 12, 30), time);
    return {};
}

bool createKeyIndex(Database& database, const QString& table, const QString& column, const QString& indexName,
                    DbError* error) {
    DbError failure;
    const std::optional<QVariant> owner = database.scalar(
        QStringLiteral("SELECT tbl_name FROM sqlite_master WHERE type = 'index' AND name = ?1 "
                       "COLLATE NOCASE"),
        {indexName}, &failure);
    if (failure.isError()) {
        if (error)
            *error = failure;
        return false;
    }
    if (owner) {
        if (owner->toString().compare(table, Qt::CaseInsensitive) == 0)
            return true;
        if (error)
            *error = {SQLITE_ERROR, QStringLiteral("index name %1 is already used by table %2")
                                        .arg(quoteName(indexName), quoteName(owner->toString()))};
        return false;
    }
    return database.exec(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS ") + quoteName(indexName) +
                             QStringLiteral(" ON ") + quoteName(table) + QStringLiteral(" (") +
                             quoteName(column) + u')',
                         {}, error);
}

} // namespace db
