#include "db/DataTank.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/ListSchema.h"
#include "db/TypeMapping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

const QString Module = QStringLiteral(" in DataTank");

void logFailure(const char* procedure, const db::DbError& error) {
    LogError(QString::fromLatin1(procedure) + Module, {error.number, error.text});
}

bool isConstraintFailure(const db::DbError& error) {
    return (error.number & 0xff) == SQLITE_CONSTRAINT;
}

// The SQLite companions of a database file; a stale journal must never meet another file of that name.
void removeJournals(const QString& path) {
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

quint16 tempCounter = 0;
QString currentTempName;

} // namespace

DataTank::DataTank() = default;

DataTank::~DataTank() {
    closeTarget();
}

// ---- Files ----

bool DataTank::IsTamberlynDB(const db::Database& database) {
    if (!database.isOpen())
        return false;
    db::DbError error;
    const std::optional<QVariant> found =
        database.scalar(QStringLiteral("SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE"),
                        {ListSchema::table(), ListSchema::keyColumn()}, &error);
    return !error.isError() && found.has_value();
}

bool DataTank::IsTamberlynDB(const QString& path) {
    if (!QFileInfo(path).isFile())
        return false;
    const db::Database database = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    return IsTamberlynDB(database);
}

QString DataTank::CreateBlankDatabase(db::DbError* error) {
    const QString path = NextTempListName();
    db::DbError failure;
    db::Database database = db::Database::create(path, &failure);
    // Whoever fills the list flushes its table with its rows; an empty list is not worth a flush.
    if (database.isOpen() && database.exec(QStringLiteral("PRAGMA synchronous=OFF"), {}, &failure) &&
        database.exec(ListSchema::blankListSql(), {}, &failure)) {
        database.close();
        return path;
    }
    database.close();
    QFile::remove(path);
    logFailure("CreateBlankDatabase", failure);
    if (error)
        *error = failure;
    return {};
}

db::Database DataTank::CreateTargetDatabase(bool wantTable, db::DbError* error) {
    if (wantTable) {
        const QString path = CreateBlankDatabase(error);
        if (path.isEmpty())
            return {};
        return db::Database::open(path, db::Database::OpenMode::ReadWrite, error);
    }
    QString path = NextTempListName();
    if (!path.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        path += QLatin1String(".mdb");
    QFile::remove(path);
    removeJournals(path);
    return db::Database::create(path, error);
}

bool DataTank::CreateKeyIndex(db::Database& database, const QString& table, const QString& column,
                              db::DbError* error) {
    return db::createKeyIndex(database, table, column, ListSchema::keyConstraint(), error);
}

// ---- Temporary lists ----

QString DataTank::NextTempListName() {
    const QString folder = appFolders().TempFolder;
    for (int attempt = 0; attempt <= 0xffff; ++attempt) {
        currentTempName =
            folder + QStringLiteral("NewMailingList") + QString::number(tempCounter) + QStringLiteral(".mdb");
        ++tempCounter; // 16 bits: wraps to 0
        if (!QFileInfo::exists(currentTempName))
            break;
    }
    return currentTempName;
}

QString DataTank::CurrentTempListName() {
    return currentTempName;
}

int DataTank::PurgeTempLists() {
    const QString folder = appFolders().TempFolder;
    if (folder.isEmpty())
        return 0;
    QDir dir(folder);
    int removed = 0;
    const QStringList lists =
        dir.entryList({QStringLiteral("*.mdb")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : lists)
        if (dir.remove(name))
            ++removed;
    const QStringList journals = dir.entryList(
        {QStringLiteral("*.mdb-journal"), QStringLiteral("*.mdb-wal"), QStringLiteral("*.mdb-shm")},
        QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : journals)
        dir.remove(name);
    return removed;
}

// ---- Record writer ----

bool DataTank::openTarget() {
    closeTarget();
    count_ = 0;
    db::DbError error;
    targetPath_ = CreateBlankDatabase(&error);
    if (targetPath_.isEmpty())
        return false;
    target_ = db::Database::open(targetPath_, db::Database::OpenMode::ReadWrite, &error);
    if (target_.isOpen()) {
        // The writer's list is a temporary one: a crash loses only it, so it is written without a journal.
        target_.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
        target_.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        target_.exec(QStringLiteral("PRAGMA cache_size=-16384"));
        const QString table = db::quoteName(ListSchema::table());
        const QString key = db::quoteName(ListSchema::keyColumn());
        QStringList columns;
        for (const char* name : {"EAddress", "FirstName", "LastName", "Keyword1", "Keyword2", "Date", "Sent"})
            columns << db::quoteName(QString::fromLatin1(name));
        insert_ = target_.prepare(QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") +
                                      columns.join(u',') + QStringLiteral(") VALUES (?,?,?,?,?,?,?)"),
                                  &error);
        if (insert_.isValid())
            lookup_ = target_.prepare(QStringLiteral("SELECT 1 FROM ") + table + QStringLiteral(" WHERE ") +
                                          key + QStringLiteral(" = ?1 LIMIT 1"),
                                      &error);
    }
    if (lookup_.isValid())
        return true;
    logFailure("CommitTargetRecord", error);
    closeTarget();
    return false;
}

bool DataTank::beginBatch() {
    if (target_.inTransaction())
        return true;
    db::DbError error;
    if (target_.beginTransaction(&error))
        return true;
    logFailure("CommitTargetRecord", error);
    return false;
}

bool DataTank::flush() {
    pending_ = 0;
    if (!target_.isOpen() || !target_.inTransaction())
        return true;
    db::DbError error;
    if (target_.commit(&error))
        return true;
    logFailure("CommitTargetRecord", error);
    target_.rollback();
    return false;
}

void DataTank::closeTarget() {
    if (!target_.isOpen())
        return;
    flush();
    insert_ = db::Statement();
    lookup_ = db::Statement();
    target_.close();
}

void DataTank::reportCount() {
    ++count_;
    if (count_ % 50 == 0 && counterCallback_)
        counterCallback_(count_);
}

qint16 DataTank::CommitTargetRecord(const QString& address, const QString& firstName, const QString& lastName,
                                    const QString& keyword1, const QString& keyword2, const QString& date,
                                    const QString& sent, const QString& command) {
    const QString order = command.trimmed();
    if (order.compare(QLatin1String("KILL"), Qt::CaseInsensitive) == 0 ||
        order.compare(QLatin1String("CLOSE"), Qt::CaseInsensitive) == 0) {
        closeTarget();
        return CommitOk;
    }
    const bool init = order.compare(QLatin1String("INIT"), Qt::CaseInsensitive) == 0;
    if (init || !target_.isOpen()) {
        if (!openTarget())
            return CommitFailed;
        if (init && address.isEmpty())
            return CommitOk;
    }

    reportCount();
    if (address.size() >= 255)
        return CommitRefused;
    if (!beginBatch())
        return CommitFailed;

    const auto cut = [](const QString& value) {
        return value.size() > 254 ? value.left(254) : value;
    };
    insert_.reset();
    insert_.bindAll({address, firstName == QLatin1String("not_found") ? QString() : cut(firstName),
                     cut(lastName), cut(keyword1), cut(keyword2), cut(date), cut(sent)});
    if (!insert_.exec()) {
        const db::DbError error = insert_.error();
        insert_.reset();
        if (isConstraintFailure(error))
            return CommitRefused;
        logFailure("CommitTargetRecord", error);
        return CommitFailed;
    }
    if (++pending_ >= batchSize_ && !flush())
        return CommitFailed;
    return CommitOk;
}

bool DataTank::GetTargetRecord(const QString& address) {
    if (!lookup_.isValid())
        return false;
    lookup_.reset();
    lookup_.bind(1, address);
    const bool found = lookup_.next();
    lookup_.reset();
    return found;
}

// ---- Rows without an address ----

DataTank::NullEntries DataTank::SaveNullEntries(const QString& listPath, const QString& listName) {
    NullEntries result;
    result.caption =
        listName.isEmpty() ? QStringLiteral("(No Addresses)") : listName + QStringLiteral(" (No Addresses)");
    const QString table = db::quoteName(ListSchema::table());
    const QString key = db::quoteName(ListSchema::keyColumn());
    const QString unknownRows = QStringLiteral(" WHERE ") + key + QStringLiteral(" LIKE 'Unknown%'");

    db::DbError error;
    db::Database source = db::Database::open(listPath, db::Database::OpenMode::ReadWrite, &error);
    const QList<db::ColumnInfo> columns =
        source.isOpen() ? source.columns(ListSchema::table()) : QList<db::ColumnInfo>();
    if (columns.isEmpty() || !IsTamberlynDB(source)) {
        result.ok = false;
        logFailure("SaveNullEntries", error);
        return result;
    }
    const std::optional<QVariant> found =
        source.scalar(QStringLiteral("SELECT COUNT(*) FROM ") + table + unknownRows, {}, &error);
    if (!found) {
        result.ok = false;
        logFailure("SaveNullEntries", error);
        return result;
    }
    if (found->toLongLong() == 0)
        return result;

    // The new list has the source's columns; the key only when the source has one, so that no row is lost.
    QStringList definitions;
    QStringList names;
    bool keyed = false;
    for (const db::ColumnInfo& column : columns) {
        const bool isKey = column.name.compare(ListSchema::keyColumn(), Qt::CaseInsensitive) == 0;
        keyed = keyed || (isKey && column.primaryKey);
        const QString type = db::isTextType(column.declaredType)
                                 ? column.declaredType + QStringLiteral(" COLLATE NOCASE")
                                 : column.declaredType;
        definitions << ListSchema::columnDefinition(column.name, type, isKey && column.required);
        names << db::quoteName(column.name);
    }
    if (keyed)
        definitions << QStringLiteral("CONSTRAINT ") + db::quoteName(ListSchema::keyConstraint()) +
                           QStringLiteral(" PRIMARY KEY (") + key + u')';

    const QString newPath = NextTempListName();
    {
        db::Database target = db::Database::create(newPath, &error);
        if (!target.isOpen() || !target.exec(QStringLiteral("CREATE TABLE ") + table + QStringLiteral(" (") +
                                                 definitions.join(QStringLiteral(", ")) + u')',
                                             {}, &error)) {
            result.ok = false;
            target.close();
            QFile::remove(newPath);
            logFailure("SaveNullEntries", error);
            return result;
        }
    }

    // Both files change in one transaction: the rows are either moved or left where they were.
    const QString alias = QStringLiteral("NoAddresses");
    bool moved = source.attach(newPath, alias, &error);
    if (moved) {
        const QString columnList = names.join(u',');
        db::Transaction transaction(source);
        moved = transaction.isActive() &&
                source.exec(QStringLiteral("INSERT INTO ") + db::quoteName(alias) + u'.' + table +
                                QStringLiteral(" (") + columnList + QStringLiteral(") SELECT ") + columnList +
                                QStringLiteral(" FROM main.") + table + unknownRows,
                            {}, &error);
        result.count = moved ? source.changes() : 0;
        moved = moved && source.exec(QStringLiteral("DELETE FROM main.") + table + unknownRows, {}, &error) &&
                transaction.commit(&error);
    }
    source.detach(alias);
    source.close();
    if (!moved) {
        result = {QString(), result.caption, 0, false};
        QFile::remove(newPath);
        logFailure("SaveNullEntries", error);
        return result;
    }
    result.newListPath = newPath;
    return result;
}

// ---- Columns ----

namespace {

bool isUnsavedList(const QString& listPath) {
    QString path = listPath;
    path.replace(u'\\', u'/');
    return path.contains(appFolders().TempFolder);
}

} // namespace

bool DataTank::AddListColumn(const QString& listPath, const QString& columnName, Prompter& prompter,
                             db::DbError* error) {
    if (isUnsavedList(listPath)) {
        prompter.inform(AppTitle(), QStringLiteral("You must save your list before you can add a column."),
                        Prompter::Icon::Information);
        return false;
    }
    const QString name = columnName.trimmed();
    if (name.isEmpty())
        return false;
    db::DbError failure;
    db::Database database = db::Database::open(listPath, db::Database::OpenMode::ReadWrite, &failure);
    if (database.isOpen() && database.exec(ListSchema::addColumnSql(ListSchema::table(), name), {}, &failure))
        return true;
    logFailure("AddListColumn", failure);
    if (error)
        *error = failure;
    return false;
}

int DataTank::RemoveListColumns(const QString& listPath, const QStringList& columnNames, Prompter& prompter) {
    if (isUnsavedList(listPath)) {
        prompter.inform(AppTitle(), QStringLiteral("You must save your list before you can remove a column."),
                        Prompter::Icon::Information);
        return -1;
    }
    db::DbError error;
    db::Database database = db::Database::open(listPath, db::Database::OpenMode::ReadWrite, &error);
    if (!database.isOpen()) {
        logFailure("RemoveListColumns", error);
        return 0;
    }
    int dropped = 0;
    for (const QString& name : columnNames) {
        if (IsSystemColumn(name))
            continue;
        if (database.exec(QStringLiteral("ALTER TABLE ") + db::quoteName(ListSchema::table()) +
                              QStringLiteral(" DROP COLUMN ") + db::quoteName(name),
                          {}, &error))
            ++dropped;
        else
            logFailure("RemoveListColumns", error);
    }
    return dropped;
}

bool DataTank::IsSystemColumn(const QString& name) {
    return ListSchema::isSystemColumn(name);
}

bool DataTank::ConfirmColumnRemoval(int userCount, int systemCount, Prompter& prompter) {
    const QString title = QStringLiteral("Column Removal Confirmation");
    if (userCount <= 0) {
        if (systemCount > 0)
            prompter.inform(AppTitle(),
                            QStringLiteral("You have selected ") + QString::number(systemCount) +
                                QStringLiteral(" system column(s).\nThe column(s) cannot be removed."),
                            Prompter::Icon::Information);
        return false;
    }
    QString text;
    if (systemCount <= 0)
        text = QStringLiteral("You have selected ") + QString::number(userCount) +
               QStringLiteral(" column(s) to remove from your list.\nThis action is irreversible.\n"
                              "Do you want to continue?");
    else
        text = QStringLiteral("You have selected ") + QString::number(userCount + systemCount) +
               QStringLiteral(" column(s) for removal.\n") + QString::number(systemCount) +
               QStringLiteral(" of these columns are System columns and cannot be removed\nThe other ") +
               QString::number(userCount) + QStringLiteral(" will be.\nDo you want to continue?");
    return prompter.ask(title, text, Prompter::Buttons::YesNo, Prompter::Icon::Question) ==
           Prompter::Answer::Yes;
}
