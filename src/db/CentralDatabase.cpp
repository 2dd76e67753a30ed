#include "db/CentralDatabase.h"

#include "Version.h"
#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/CentralSchema.h"
#include "db/SampleData.h"
#include "db/TypeMapping.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <sqlite3.h>

namespace CentralDatabase {

QString path() {
    return appFolders().centralDatabase();
}

db::Database open(db::Database::OpenMode mode, db::DbError* error) {
    return db::Database::open(path(), mode, error);
}

QString sampleDataQuestion() {
    return QStringLiteral(
        "Tamberlyn is now creating the main database, would you like it to create sample data "
        "that you can view, edit and send to?");
}

QString defaultProfileMissingText() {
    return QStringLiteral(
        "A default Delivery Options set was not found.  \nThe Delivery Options Wizard will now "
        "be called so you can supply the default values needed");
}

bool insertDefaultDeliveryOptions(db::Database& database, db::DbError* error) {
    const QVariant empty = QStringLiteral("");
    const QVariantList values = {
        QString::fromLatin1(DefaultDeliveryOptionsName), empty, QVariant(),
        QStringLiteral("you@example.invalid"), QStringLiteral("replies@example.invalid"), empty, empty, empty,
        db::yesNo(false), empty, db::yesNo(true), QStringLiteral("SENT"), db::yesNo(true), 1000,
        db::yesNo(true), QStringLiteral("SENT"), db::yesNo(false), 100, 1, db::yesNo(true), 1,
        QStringLiteral("mail.example.invalid"),
        // no List-Unsubscribe, bounce address, VERP or DKIM signature
        empty, empty, empty, db::yesNo(false), empty, empty, empty,
        // one session, no hourly or daily limit
        1, 0, 0};
    const CentralSchema::Table& profile = *CentralSchema::table(QStringLiteral("Profile"));
    return database.exec(CentralSchema::insertSql(profile.name, CentralSchema::columnNames(profile)), values,
                         error);
}

} // namespace CentralDatabase

namespace {

std::filesystem::path nativePath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString programVersion() {
    return QStringLiteral("%1.%2.%3").arg(Version::Major).arg(Version::Minor).arg(Version::Revision);
}

// The tables, the default delivery options and the version row, in one transaction.
bool createSchema(db::Database& database, bool allowEmptyText, bool withDefaults, db::DbError* error) {
    db::Transaction transaction(database);
    for (const CentralSchema::Table& table : CentralSchema::tables())
        if (!database.exec(CentralSchema::createTableSql(table, allowEmptyText), {}, error))
            return false;
    if (withDefaults && !CentralDatabase::insertDefaultDeliveryOptions(database, error))
        return false;
    const CentralSchema::Table& version = *CentralSchema::table(QStringLiteral("ProductVersion"));
    if (!database.exec(CentralSchema::insertSql(version.name, CentralSchema::columnNames(version)),
                       {programVersion(), QStringLiteral("Tamberlyn"), CentralSchema::TBFVersion}, error))
        return false;
    return transaction.commit(error);
}

void removeDatabaseFile(const QString& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QString::fromLatin1(suffix));
}

} // namespace

bool BuildCentralDatabase(const QString& path, bool allowEmptyText, bool withDefaults, Prompter& prompter,
                          bool sampleData) {
    // Built beside its place and moved there once complete, so a failure never leaves half a file
    // that a later start would take for an old one.
    const QString building = path + QStringLiteral(".part");
    removeDatabaseFile(building);
    db::DbError error;
    bool ok = false;
    {
        db::Database database = db::Database::create(building, &error);
        ok = database.isOpen() && createSchema(database, allowEmptyText, withDefaults, &error);
        if (ok && withDefaults) {
            const bool wanted = sampleData || prompter.ask(AppTitle(), CentralDatabase::sampleDataQuestion(),
                                                           Prompter::Buttons::YesNo,
                                                           Prompter::Icon::Question) == Prompter::Answer::Yes;
            if (wanted)
                SampleData::write(database, prompter);
        }
    }
    if (ok) {
        std::error_code code;
        std::filesystem::rename(nativePath(building), nativePath(path), code);
        if (code) {
            error = {SQLITE_IOERR, QString::fromStdString(code.message())};
            ok = false;
        }
    }
    if (!ok) {
        removeDatabaseFile(building);
        LogError(QStringLiteral("BuildCentralDatabase in DataTank"), {error.number, error.text});
        prompter.inform(AppTitle(),
                        QStringLiteral("Tamberlyn could not create the main database ") +
                            QFileInfo(path).fileName() + QStringLiteral(".\n") + error.text,
                        Prompter::Icon::Critical);
    }
    return ok;
}

bool CreateTamberlynDatabase(Prompter& prompter, bool sampleData) {
    return BuildCentralDatabase(CentralDatabase::path(), true, true, prompter, sampleData);
}

void VerifyDefaultProfile(Prompter& prompter) {
    const QVariant name = QString::fromLatin1(DefaultDeliveryOptionsName);
    db::DbError error;
    {
        db::Database database = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
        const std::optional<QVariant> count =
            database.isOpen() ? database.scalar(QStringLiteral("SELECT COUNT(*) FROM \"Profile\" WHERE "
                                                               "\"ProfileName\" = ?"),
                                                {name}, &error)
                              : std::nullopt;
        if (!count) {
            LogError(QStringLiteral("VerifyDefaultProfile in DataTank"), {error.number, error.text});
            return;
        }
        if (count->toLongLong() > 0)
            return;
    }
    prompter.inform(AppTitle(), CentralDatabase::defaultProfileMissingText(), Prompter::Icon::Information);
    db::Database database = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!database.isOpen() || !CentralDatabase::insertDefaultDeliveryOptions(database, &error)) {
        LogError(QStringLiteral("VerifyDefaultProfile in DataTank"), {error.number, error.text});
        prompter.inform(AppTitle(),
                        QStringLiteral("The default Delivery Options could not be written.\n") + error.text,
                        Prompter::Icon::Critical);
    }
}
