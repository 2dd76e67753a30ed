#include "db/CentralDatabaseUpgrade.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/CentralSchema.h"
#include "db/Database.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <sqlite3.h>

namespace CentralDatabaseUpgrade {

QString temporaryPath() {
    return appFolders().SystemFolder + QStringLiteral("tbftemp.mdb");
}

QString backupPath() {
    return CentralDatabase::path() + QStringLiteral(".old");
}

QString versionErrorText(int number, const QString& description) {
    return QStringLiteral("Error ") + QString::number(number) + QStringLiteral(" in TBFVerify\n") +
           description;
}

} // namespace CentralDatabaseUpgrade

namespace {

using CentralDatabaseUpgrade::UnreadableVersion;

std::filesystem::path nativePath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

bool renameFile(const QString& from, const QString& to, db::DbError* error) {
    std::error_code code;
    std::filesystem::rename(nativePath(from), nativePath(to), code);
    if (code)
        *error = {SQLITE_IOERR, QStringLiteral("Could not rename ") + QFileInfo(from).fileName() +
                                    QStringLiteral(" to ") + QFileInfo(to).fileName() + QStringLiteral(": ") +
                                    QString::fromStdString(code.message())};
    return !code;
}

void makeWritable(const QString& path) {
    if (QFileInfo(path).isFile())
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOwner | QFile::WriteOwner);
}

void removeDatabaseFile(const QString& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QString::fromLatin1(suffix));
}

bool isCopied(const QString& table) {
    return !table.contains(QLatin1String("MSys"), Qt::CaseInsensitive) &&
           !table.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive) &&
           table.compare(QLatin1String("ProductVersion"), Qt::CaseInsensitive) != 0;
}

bool isRefusedRow(const db::DbError& error) {
    return (error.number & 0xff) == SQLITE_CONSTRAINT;
}

// Copies the rows of one source table into the target table of the same name. A row the target refuses
// is skipped and counted; any other failure stops the copy.
bool copyTable(db::Database& source, db::Database& target, const QString& name, int* skipped,
               db::DbError* error) {
    const CentralSchema::Table* table = CentralSchema::table(name);
    if (!table || !target.hasTable(table->name)) {
        LogError(QStringLiteral("RebuildCentralDatabase in TBFVerify: table ") + name +
                 QStringLiteral(" is not part of the current schema and was left behind"));
        return true;
    }
    db::Statement rows = source.prepare(QStringLiteral("SELECT * FROM ") + db::quoteName(name), error);
    db::Statement insert =
        target.prepare(CentralSchema::insertSql(table->name, CentralSchema::columnNames(*table)), error);
    if (!rows.isValid() || !insert.isValid())
        return false;
    while (rows.next()) {
        for (int i = 0; i < table->columns.size(); ++i) {
            const CentralSchema::Column& column = table->columns[i];
            const int from = rows.columnIndex(column.name);
            QVariant value = from >= 0 ? rows.value(from) : QVariant();
            // A counter without a value is numbered by the engine; every other column takes its default.
            if (value.isNull() && column.type != db::EngineType::Counter)
                value = DefaultForType(column.type);
            insert.bind(i + 1, value);
        }
        if (!insert.exec()) {
            if (!isRefusedRow(insert.error())) {
                *error = insert.error();
                return false;
            }
            ++*skipped;
            LogError(QStringLiteral("RebuildCentralDatabase in TBFVerify: a row of ") + name +
                         QStringLiteral(" was refused"),
                     {insert.error().number, insert.error().text});
        }
        insert.reset();
    }
    if (rows.error().isError()) {
        *error = rows.error();
        return false;
    }
    return true;
}

bool copyRows(const QString& targetPath, int* skipped, db::DbError* error) {
    db::Database source = CentralDatabase::open(db::Database::OpenMode::ReadOnly, error);
    if (!source.isOpen())
        return false;
    db::Database target = db::Database::open(targetPath, db::Database::OpenMode::ReadWrite, error);
    if (!target.isOpen())
        return false;
    // tables() cannot report a failure, so make sure the source reads at all first.
    if (!source.scalar(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"), {}, error))
        return false;
    db::Transaction transaction(target);
    for (const QString& name : source.tables())
        if (isCopied(name) && !copyTable(source, target, name, skipped, error))
            return false;
    return transaction.commit(error);
}

const QString NotUpgradedText =
    QStringLiteral("The main database could not be upgraded and has been left as it was.");

void reportFailure(Prompter& prompter, const db::DbError& error) {
    LogError(QStringLiteral("RebuildCentralDatabase in TBFVerify"), {error.number, error.text});
    prompter.inform(AppTitle(), NotUpgradedText + u'\n' + error.text, Prompter::Icon::Critical);
}

} // namespace

QVariant DefaultForType(db::EngineType type) {
    switch (type) {
    case db::EngineType::Integer:
    case db::EngineType::Long:
    case db::EngineType::Counter:
        return qint64(0);
    case db::EngineType::YesNo:
        return db::yesNo(false);
    case db::EngineType::DateTime:
        // Day 1.5 of the original engine's calendar.
        return db::toStoredDate(QDateTime(QDate(1899, 12, 31), QTime(12, 0)));
    case db::EngineType::Text:
    case db::EngineType::Memo:
        break;
    }
    return QStringLiteral("");
}

qint16 GetTBFVersion(Prompter& prompter) {
    db::DbError error;
    db::Database database = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    const auto fail = [&] {
        prompter.inform(AppTitle(), CentralDatabaseUpgrade::versionErrorText(error.number, error.text),
                        Prompter::Icon::Exclamation);
        return UnreadableVersion;
    };
    if (!database.isOpen() ||
        !database.scalar(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"), {}, &error))
        return fail();
    if (!database.hasTable(QStringLiteral("ProductVersion")))
        return database.column(QStringLiteral("List"), QStringLiteral("SourcePath")) ? 2 : 1;
    db::Statement row = database.prepare(QStringLiteral("SELECT * FROM \"ProductVersion\""), &error);
    if (!row.isValid())
        return fail();
    if (!row.next()) {
        if (row.error().isError()) {
            error = row.error();
            return fail();
        }
        return 0; // no stamp: rebuilt, which stamps it
    }
    return static_cast<qint16>(row.value(QStringLiteral("TBFVersion")).toInt());
}

bool RebuildCentralDatabase(const QString& temporaryPath, Prompter& prompter) {
    const QString central = CentralDatabase::path();
    const QString backup = CentralDatabaseUpgrade::backupPath();
    db::DbError error;
    int skipped = 0;
    if (!copyRows(temporaryPath, &skipped, &error)) {
        removeDatabaseFile(temporaryPath);
        reportFailure(prompter, error);
        return false;
    }
    // Both files are closed now. The rename replaces an earlier backup in one step.
    makeWritable(central);
    makeWritable(backup);
    if (!renameFile(central, backup, &error)) {
        removeDatabaseFile(temporaryPath);
        reportFailure(prompter, error);
        return false;
    }
    if (!renameFile(temporaryPath, central, &error)) {
        db::DbError restoreError;
        renameFile(backup, central, &restoreError);
        removeDatabaseFile(temporaryPath);
        reportFailure(prompter, error);
        return false;
    }
    if (skipped > 0)
        prompter.inform(AppTitle(),
                        QString::number(skipped) +
                            QStringLiteral(" record(s) could not be copied into the upgraded main database; "
                                           "they are kept in ") +
                            QFileInfo(backup).fileName() + u'.',
                        Prompter::Icon::Exclamation);
    return true;
}

bool VerifyCentralDatabase(Prompter& prompter, bool sampleData) {
    if (!QFileInfo::exists(CentralDatabase::path()))
        return BuildCentralDatabase(CentralDatabase::path(), true, true, prompter, sampleData);
    // A process that ended in the middle of a write leaves its rollback journal behind; a read-only
    // connection cannot roll it back and refuses the file, so a writing one does that first.
    if (QFileInfo::exists(CentralDatabase::path() + QStringLiteral("-journal"))) {
        const db::Database recovering = CentralDatabase::open(db::Database::OpenMode::ReadWrite);
        if (recovering.isOpen())
            recovering.scalar(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
    }
    const qint16 version = GetTBFVersion(prompter);
    if (version == UnreadableVersion)
        return false;
    if (version == CentralSchema::TBFVersion)
        return true;
    const QString temporary = CentralDatabaseUpgrade::temporaryPath();
    if (!BuildCentralDatabase(temporary, true, false, prompter)) {
        prompter.inform(AppTitle(), NotUpgradedText, Prompter::Icon::Critical);
        return true;
    }
    RebuildCentralDatabase(temporary, prompter);
    return true;
}
