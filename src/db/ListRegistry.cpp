// The registry of saved lists (table List of the central database) and the files it names.
#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/ListEvents.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

const QString Module = QStringLiteral(" in DataTank");

void logFailure(const char* procedure, const db::DbError& error) {
    LogError(QString::fromLatin1(procedure) + Module, {error.number, error.text});
}

DataTank::ListInUseQuery& listInUseQuery() {
    static DataTank::ListInUseQuery query;
    return query;
}

void removeJournals(const QString& path) {
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

bool isSameFile(const QString& source, const QString& target) {
    if (source == target)
        return true;
    const QFileInfo a(source);
    const QFileInfo b(target);
    return a.exists() && b.exists() && a.canonicalFilePath() == b.canonicalFilePath();
}

// A consistent copy through the engine (the source may be open elsewhere), written beside the target
// and then moved over it in one step, so that a failed copy leaves the old target as it was.
bool copyListFile(const QString& source, const QString& target, db::DbError* error) {
    const db::Database from = db::Database::open(source, db::Database::OpenMode::ReadOnly, error);
    if (!from.isOpen())
        return false;
    const QString partial = target + QStringLiteral(".saving");
    QFile::remove(partial);
    removeJournals(partial);
    if (!from.copyTo(partial, error)) {
        QFile::remove(partial);
        return false;
    }
    removeJournals(target);
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(partial);
        if (error)
            *error = {1, QStringLiteral("Could not replace ") + target};
        return false;
    }
    return true;
}

} // namespace

QString DataTank::GetListPath(const QString& name) {
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    if (!central.isOpen()) {
        logFailure("GetListPath", error);
        return {};
    }
    const std::optional<QVariant> path =
        central.scalar(QStringLiteral("SELECT ListPath FROM List WHERE ListName = ?1"), {name}, &error);
    if (error.isError())
        logFailure("GetListPath", error);
    return path ? path->toString() : QString();
}

QString DataTank::registeredPath(const QString& listPath) {
    QString file = listPath;
    file.replace(u'\\', u'/');
    return appFolders().AddressListsFolder + file;
}

QString DataTank::OpenRegisteredList(const QString& name, Prompter& prompter) {
    const QString listPath = GetListPath(name);
    const QString path = listPath.isEmpty() ? appFolders().AddressListsFolder + name + QStringLiteral(".mdb")
                                            : registeredPath(listPath);
    if (listPath.isEmpty() || !QFileInfo(path).isFile()) {
        prompter.inform(AppTitle(), QStringLiteral("Could not locate ") + path, Prompter::Icon::Exclamation);
        return {};
    }
    return path;
}

bool DataTank::SaveListAs(const QString& sourcePath, const QString& newName, const QString& description,
                          bool openAfterwards, Prompter& prompter) {
    if (const QString refusal = NameRefusal(QStringLiteral("list name"), newName); !refusal.isEmpty()) {
        prompter.inform(AppTitle(), refusal, Prompter::Icon::Exclamation);
        return false;
    }
    // The name becomes a file name in the list folder: one that would leave it is never used.
    if (newName.trimmed().isEmpty() || !IsValidFileName(newName)) {
        LogError(QStringLiteral("SaveListAs") + Module, {1, QStringLiteral("Invalid list name: ") + newName});
        return false;
    }
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen()) {
        logFailure("SaveListAs", error);
        return false;
    }
    QString existingName;
    QString existingPath;
    {
        db::Statement row = central.prepare(
            QStringLiteral("SELECT ListName, ListPath FROM List WHERE ListName = ?1"), &error);
        row.bind(1, newName);
        if (row.next()) {
            existingName = row.text(0);
            existingPath = registeredPath(row.text(1));
        }
        if (!row.isValid() || row.error().isError()) {
            logFailure("SaveListAs", row.isValid() ? row.error() : error);
            return false;
        }
    }
    const bool replacing = !existingName.isEmpty();
    if (replacing &&
        prompter.ask(AppTitle(), QStringLiteral("This name already exists, would you like to overwrite it?"),
                     Prompter::Buttons::YesNo, Prompter::Icon::Question) != Prompter::Answer::Yes)
        return false;

    const QString fileName = newName + QStringLiteral(".mdb");
    const QString target = appFolders().AddressListsFolder + fileName;
    // The list replaced may be spelt in another case: on a file system that tells case apart that is
    // another file, which the replacement does away with too.
    const bool replacesOtherSpelling =
        replacing && existingPath != target && existingPath.compare(target, Qt::CaseInsensitive) == 0;
    ListEvents& events = ListEvents::instance();
    Q_EMIT events.closeWindowsOnFile(target);
    if (replacesOtherSpelling)
        Q_EMIT events.closeWindowsOnFile(existingPath);

    if (!isSameFile(sourcePath, target)) {
        if (!copyListFile(sourcePath, target, &error)) {
            logFailure("SaveListAs", error);
            prompter.inform(AppTitle(), QStringLiteral("Problem saving the new file! 0"),
                            Prompter::Icon::Exclamation);
            return false;
        }
        Q_EMIT events.listSaved(target);
        const bool registered =
            replacing ? central.exec(QStringLiteral(
                                         "UPDATE List SET ListName = ?1, ListPath = ?2, ListDescription = ?3 "
                                         "WHERE ListName = ?4"),
                                     {newName, fileName, description, existingName}, &error)
                      : central.exec(QStringLiteral("INSERT INTO List (ListName, ListPath, ListDescription) "
                                                    "VALUES (?1, ?2, ?3)"),
                                     {newName, fileName, description}, &error);
        if (!registered) {
            logFailure("SaveListAs", error);
            return false;
        }
        if (replacesOtherSpelling && QFile::remove(existingPath))
            removeJournals(existingPath);
    }
    central.close();

    if (openAfterwards) {
        const QString path = OpenRegisteredList(newName, prompter);
        if (!path.isEmpty())
            Q_EMIT events.openListWindow(path, newName);
    }
    if (!newName.contains(QLatin1String("No Addresses")))
        Q_EMIT events.listsChanged();
    return true;
}

int DataTank::RemoveInterruptedSaves() {
    const QDir folder(appFolders().AddressListsFolder);
    const QStringList leftovers =
        folder.entryList({QStringLiteral("*.saving"), QStringLiteral("*.saving-journal"),
                          QStringLiteral("*.saving-wal"), QStringLiteral("*.saving-shm")},
                         QDir::Files | QDir::Hidden | QDir::System);
    if (leftovers.isEmpty())
        return 0;
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement rows = central.prepare(QStringLiteral("SELECT ListPath FROM List"), &error);
    if (!rows.isValid()) {
        logFailure("RemoveInterruptedSaves", error);
        return 0;
    }
    QSet<QString> registered;
    while (rows.next())
        registered.insert(registeredPath(rows.text(0)));
    if (rows.error().isError()) {
        logFailure("RemoveInterruptedSaves", rows.error());
        return 0;
    }
    int removed = 0;
    for (const QString& name : leftovers) {
        const QString path = folder.filePath(name);
        const QString database = path.left(path.lastIndexOf(QStringLiteral(".saving")) + 7);
        if (!registered.contains(database) && QFile::remove(path))
            ++removed;
    }
    return removed;
}

void DataTank::setListInUseQuery(ListInUseQuery query) {
    listInUseQuery() = std::move(query);
}

bool DataTank::DeleteRegisteredList(const QString& name, Prompter& prompter) {
    const QString listPath = GetListPath(name);
    if (listPath.isEmpty())
        return false;
    if (const ListInUseQuery& query = listInUseQuery()) {
        const QString caption = query(name);
        if (!caption.isEmpty()) {
            prompter.inform(
                QStringLiteral("Cannot Delete List"),
                QStringLiteral("Cannot delete the '") + name + QStringLiteral("' list.\n") +
                    QStringLiteral("This list is currently being referenced by the '") + caption +
                    QStringLiteral("' message.  \n") +
                    QStringLiteral("Please first change the Mail Merge setting for this message, ") +
                    QStringLiteral("which is \n") +
                    QStringLiteral("currently open, before deleting the list."),
                Prompter::Icon::Exclamation);
            return false;
        }
    }
    const QString path = registeredPath(listPath);
    ListEvents& events = ListEvents::instance();
    Q_EMIT events.closeWindowsOnFile(path);
    if (QFileInfo(path).isFile()) {
        QFile::remove(path);
        removeJournals(path);
    }
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(QStringLiteral("DELETE FROM List WHERE ListName = ?1"), {name}, &error))
        logFailure("DeleteRegisteredList", error);
    central.close();
    Q_EMIT events.listsChanged();
    return true;
}
