#include "db/DbHelpers.h"

#include "core/AppInfo.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/ListSchema.h"
#include "util/StringFunctionsObject.h"

#include <QFile>

namespace {

const QString Module = QStringLiteral(" in DbHelpers");

void logFailure(const char* procedure, const db::DbError& error) {
    LogError(QString::fromLatin1(procedure) + Module, {error.number, error.text});
}

const QString SourceAlias = QStringLiteral("SourceList");

// Opens the target list with the other file attached as SourceAlias.
db::Database openWithSource(const QString& targetPath, const QString& sourceFile, db::DbError* error) {
    db::Database database = db::Database::open(targetPath, db::Database::OpenMode::ReadWrite, error);
    if (database.isOpen() && !database.attach(sourceFile, SourceAlias, error))
        database.close();
    return database;
}

} // namespace

qint64 CountField(const QString& databasePath, const QString& table, const QString& column) {
    return CountFieldIfReadable(databasePath, table, column).value_or(0);
}

std::optional<qint64> CountFieldIfReadable(const QString& databasePath, const QString& table,
                                           const QString& column) {
    db::DbError error;
    const db::Database database = db::Database::open(databasePath, db::Database::OpenMode::ReadOnly, &error);
    if (!database.isOpen()) {
        logFailure("CountField", error);
        return std::nullopt;
    }
    // A required column has no nulls, so its count is the row count, which SQLite takes from the
    // smallest index without reading the rows.
    const std::optional<db::ColumnInfo> info = database.column(table, column);
    const QString counted = info && info->required ? QStringLiteral("*") : db::quoteName(column);
    const std::optional<QVariant> count = database.scalar(
        QStringLiteral("SELECT COUNT(") + counted + QStringLiteral(") AS ") +
            db::quoteName(QStringLiteral("C_") + column) + QStringLiteral(" FROM ") + db::quoteName(table),
        {}, &error);
    if (!count) {
        logFailure("CountField", error);
        return std::nullopt;
    }
    return count->toLongLong();
}

qint64 CountMatching(const QString& table, const QString& column, const QString& value) {
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    const std::optional<QVariant> count =
        central.isOpen()
            ? central.scalar(QStringLiteral("SELECT COUNT(") + db::quoteName(column) +
                                 QStringLiteral(") FROM ") + db::quoteName(table) +
                                 QStringLiteral(" WHERE ") + db::quoteName(column) + QStringLiteral(" = ?1"),
                             {value}, &error)
            : std::nullopt;
    if (!count) {
        logFailure("CountMatching", error);
        return 0;
    }
    return count->toLongLong();
}

bool RecordExists(const QString& databasePath, const QString& column, const QString& table,
                  const QString& keyColumn, const QString& value) {
    db::DbError error;
    const db::Database database = db::Database::open(databasePath, db::Database::OpenMode::ReadOnly, &error);
    if (database.isOpen()) {
        const std::optional<QVariant> found =
            database.scalar(QStringLiteral("SELECT ") + db::quoteName(column) + QStringLiteral(" FROM ") +
                                db::quoteName(table) + QStringLiteral(" WHERE ") + db::quoteName(keyColumn) +
                                QStringLiteral(" = ?1 LIMIT 1"),
                            {value}, &error);
        if (!error.isError())
            return found.has_value();
    }
    logFailure("RecordExists", error);
    return false;
}

QString LookupDescription(const QString& column, const QString& table, const QString& keyColumn,
                          const QString& value) {
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    if (central.isOpen()) {
        const std::optional<QVariant> description = central.scalar(
            QStringLiteral("SELECT ") + db::quoteName(column) + QStringLiteral(" AS TBDescription FROM ") +
                db::quoteName(table) + QStringLiteral(" WHERE ") + db::quoteName(keyColumn) +
                QStringLiteral(" = ?1 LIMIT 1"),
            {value}, &error);
        if (!error.isError())
            return description ? description->toString() : QString();
    }
    logFailure("LookupDescription", error);
    return {};
}

db::Statement OpenSortedTable(const db::Database& database, const QString& table, const QString& sortColumn) {
    db::DbError error;
    db::Statement statement = database.prepare(QStringLiteral("SELECT * FROM ") + db::quoteName(table) +
                                                   QStringLiteral(" ORDER BY ") + db::quoteName(sortColumn),
                                               &error);
    if (!statement.isValid())
        logFailure("OpenSortedTable", error);
    return statement;
}

qint64 CopyAddressesIn(const QString& targetPath, const QString& targetTable, const QString& sourceTable,
                       const QString& sourceFile) {
    db::DbError error;
    db::Database database = openWithSource(targetPath, sourceFile, &error);
    const QString key = db::quoteName(ListSchema::keyColumn());
    // Rows the target refuses (an address it holds, an empty one) are left out, as the original engine did.
    if (database.isOpen() && database.exec(QStringLiteral("INSERT OR IGNORE INTO main.") +
                                               db::quoteName(targetTable) + QStringLiteral(" (") + key +
                                               QStringLiteral(") SELECT ") + key + QStringLiteral(" FROM ") +
                                               db::quoteName(SourceAlias) + u'.' + db::quoteName(sourceTable),
                                           {}, &error))
        return database.changes();
    logFailure("CopyAddressesIn", error);
    return -1;
}

qint64 DeleteAddressesIn(const QString& targetPath, const QString& targetTable, const QString& sourceTable,
                         const QString& sourceFile) {
    db::DbError error;
    db::Database database = openWithSource(targetPath, sourceFile, &error);
    const QString key = db::quoteName(ListSchema::keyColumn());
    if (database.isOpen() &&
        database.exec(QStringLiteral("DELETE FROM main.") + db::quoteName(targetTable) +
                          QStringLiteral(" WHERE ") + key + QStringLiteral(" IN (SELECT ") + key +
                          QStringLiteral(" FROM ") + db::quoteName(SourceAlias) + u'.' +
                          db::quoteName(sourceTable) + u')',
                      {}, &error))
        return database.changes();
    logFailure("DeleteAddressesIn", error);
    return -1;
}

QStringList SplitToArray(const QString& text, const QString& delimiter) {
    if (text.isEmpty())
        return {};
    if (delimiter.isEmpty())
        return {text};
    return text.split(delimiter, Qt::KeepEmptyParts);
}

QString BracketedFieldList(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        if (!name.isEmpty())
            quoted << db::quoteName(name);
    return quoted.join(u',');
}

void SplitPath(const QString& path, QString& folder, QString& file) {
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    if (cut < 0) {
        folder.clear();
        file = path;
        return;
    }
    folder = cut == 0 ? path.left(1) : path.left(cut);
    file = path.mid(cut + 1);
}

QString CreateList(const QStringList& sourceColumns, const QStringList& targetColumns,
                   const QString& sourceTable, const QString& sourceFile, Prompter& prompter) {
    const QString error = QStringLiteral("<Error:");
    const QString sources = BracketedFieldList(sourceColumns);
    if (sources.isEmpty()) {
        prompter.inform(AppTitle(), QStringLiteral("Could not Validate Selected Fields"),
                        Prompter::Icon::Exclamation);
        return error;
    }
    const QString targets = BracketedFieldList(targetColumns);
    QStringList wanted;
    for (const QString& name : targetColumns)
        if (!name.isEmpty())
            wanted << name;
    QStringList sourceNames;
    for (const QString& name : sourceColumns)
        if (!name.isEmpty())
            sourceNames << name;
    bool repeated = false;
    for (qsizetype i = 0; i < wanted.size(); ++i)
        for (qsizetype j = 0; j < i; ++j)
            repeated = repeated || wanted.at(i).compare(wanted.at(j), Qt::CaseInsensitive) == 0;
    if (wanted.isEmpty() || wanted.size() != sourceNames.size() || repeated) {
        prompter.inform(AppTitle(), QStringLiteral("Could not Validate Mapped Fields"),
                        Prompter::Icon::Exclamation);
        return error;
    }

    db::DbError failure;
    db::Database list = DataTank::CreateTargetDatabase(true, &failure);
    if (!list.isOpen()) {
        logFailure("CreateList", failure);
        return error;
    }
    const QString path = list.fileName();
    const auto give_up = [&](const char* text) {
        logFailure("CreateList", failure);
        if (text)
            prompter.inform(AppTitle(), QString::fromLatin1(text), Prompter::Icon::Exclamation);
        list.close();
        QFile::remove(path);
        return error;
    };
    for (const QString& name : wanted)
        if (!list.column(ListSchema::table(), name) &&
            !list.exec(ListSchema::addColumnSql(ListSchema::table(), name), {}, &failure))
            return give_up("Could Not Validate Field Addition");
    if (!list.attach(sourceFile, SourceAlias, &failure))
        return give_up(nullptr);
    if (!list.exec(QStringLiteral("INSERT OR IGNORE INTO main.") + db::quoteName(ListSchema::table()) +
                       QStringLiteral(" (") + targets + QStringLiteral(") SELECT ") + sources +
                       QStringLiteral(" FROM ") + db::quoteName(SourceAlias) + u'.' +
                       db::quoteName(sourceTable),
                   {}, &failure))
        return give_up(nullptr);
    list.detach(SourceAlias);
    return path;
}

bool IsValidEmailAddress(const QString& address) {
    const QString& a = address;
    if (a.isEmpty())
        return false;
    // Positions are counted from 0 here; "at least one character before" is index 1 or more.
    const qsizetype firstAt = a.indexOf(u'@');
    if (firstAt < 1)
        return false;
    if (a.contains(u'<') || a.contains(u'>'))
        return false;
    if (firstAt + 1 < a.size() && a.at(firstAt + 1) == u'@')
        return false;
    const qsizetype p = a.lastIndexOf(u'@');
    if (a.indexOf(u'.', p) < 0)
        return false;
    if (a.at(p - 1) == u'.')
        return false;
    for (const char* bad : {"@.", ".@", "?", ":", ",", "||", "!", "//", ".."})
        if (a.contains(QLatin1String(bad)))
            return false;
    qsizetype start = 0;
    qsizetype end = a.size();
    while (start < end && a.at(start) == u' ')
        ++start;
    while (end > start && a.at(end - 1) == u' ')
        --end;
    if (QStringView(a).mid(start, end - start).contains(u' '))
        return false;
    if (a.endsWith(u'.'))
        return false;
    // A control character would reach the SMTP envelope as a line break or worse.
    return !StringFunctionsObject::containsControlCharacter(a);
}
