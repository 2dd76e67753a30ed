#include "lists/ListResync.h"

#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <functional>

namespace ListResync {

namespace {

const QString ImportCopyPrefix = QStringLiteral("Import Copy of ");

QString syncErrorText(const db::DbError& error) {
    return QStringLiteral("Error #") + QString::number(error.number) +
           QStringLiteral(" In Synchronize Lists \n") + error.text +
           QStringLiteral("\nThe database file may be damaged");
}

// A file that cannot be read as a database is reported; a readable database that is no list is not.
bool isOfferableListFile(const QString& path, Prompter& prompter) {
    db::DbError error;
    const db::Database database = db::Database::open(path, db::Database::OpenMode::ReadOnly, &error);
    if (!database.isOpen()) {
        prompter.inform(QString(), syncErrorText(error), Prompter::Icon::Exclamation);
        return false;
    }
    return DataTank::IsTamberlynDB(database);
}

// Runs the changes in one transaction on the registry; a failure is shown and changes nothing.
bool changeRegistry(Prompter& prompter, const std::function<bool(db::Database&, db::DbError&)>& change) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (central.isOpen()) {
        db::Transaction transaction(central);
        if (change(central, error) && transaction.commit(&error))
            return true;
    }
    prompter.inform(QString(), syncErrorText(error), Prompter::Icon::Exclamation);
    return false;
}

Presenter& installedPresenter() {
    static Presenter presenter;
    return presenter;
}

} // namespace

void setPresenter(Presenter presenter) {
    installedPresenter() = std::move(presenter);
}

QString captionText(Phase phase) {
    return phase == Phase::Missing ? QStringLiteral("Missing Mailing List Files")
                                   : QStringLiteral("Extra Mailing List Files");
}

QString explanationText(Phase phase) {
    if (phase == Phase::Missing)
        return QStringLiteral(
                   "The following mailing list files are referenced in the Tamberlyn file, but are "
                   "missing from the mailing ") +
               QStringLiteral("list directory.  Check those mailing list references that should be removed "
                              "from Tamberlyn.");
    return QStringLiteral("The following extra mailing list files are present in the mailing list directory, "
                          "but are not referenced ") +
           QStringLiteral("in the Tamberlyn file.  Check those files that should be added to Tamberlyn.");
}

Findings collect(Prompter& prompter) {
    Findings findings;
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    if (!central.isOpen()) {
        prompter.inform(QString(), syncErrorText(error), Prompter::Icon::Exclamation);
        return findings;
    }
    QSet<QString> registered; // the file names of the registry, compared as the file system does
    db::Statement rows =
        central.prepare(QStringLiteral("SELECT \"ListPath\" FROM \"List\" ORDER BY rowid"), &error);
    while (rows.next()) {
        const QString listPath = rows.text(0);
        registered.insert(QFileInfo(FileNameObject::ForwardSlashesOnly(listPath)).fileName());
        if (!QFileInfo::exists(DataTank::registeredPath(listPath)))
            findings.missing.append(listPath);
    }
    if (rows.error().isError()) {
        prompter.inform(QString(), syncErrorText(rows.error()), Prompter::Icon::Exclamation);
        return {};
    }
    central.close();

    const QDir folder(appFolders().AddressListsFolder);
    const QStringList files = folder.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        if (file.startsWith(ImportCopyPrefix, Qt::CaseInsensitive) || registered.contains(file))
            continue;
        if (isOfferableListFile(folder.filePath(file), prompter))
            findings.extra.append(file);
    }
    return findings;
}

bool removeMissing(const QStringList& listPaths, Prompter& prompter) {
    return changeRegistry(prompter, [&](db::Database& central, db::DbError& error) {
        for (const QString& listPath : listPaths)
            if (!central.exec(QStringLiteral("DELETE FROM \"List\" WHERE \"ListPath\" = ?"), {listPath},
                              &error))
                return false;
        return true;
    });
}

bool registerExtra(const QStringList& fileNames, Prompter& prompter) {
    return changeRegistry(prompter, [&](db::Database& central, db::DbError& error) {
        for (const QString& file : fileNames) {
            if (file.endsWith(u'*'))
                continue;
            const QString name =
                file.endsWith(QStringLiteral(".mdb"), Qt::CaseInsensitive) ? file.chopped(4) : file;
            if (!central.exec(QStringLiteral("INSERT INTO \"List\" (\"ListName\", \"ListPath\", "
                                             "\"ListDescription\") VALUES (?, ?, ?)"),
                              {name, file, QStringLiteral("Added at startup")}, &error))
                return false;
        }
        return true;
    });
}

} // namespace ListResync

void gSyncronizeAddressLists(Prompter& prompter, const QString& listName) {
    Q_UNUSED(listName)
    using namespace ListResync;
    const Findings findings = collect(prompter);
    if (findings.isEmpty())
        return;
    if (const Presenter& presenter = installedPresenter()) {
        presenter(findings, prompter);
        return;
    }
    const auto offer = [&](Phase phase, const QStringList& entries) {
        if (entries.isEmpty())
            return false;
        const QString text = explanationText(phase) + QStringLiteral("\n\n") + entries.join(u'\n');
        return prompter.ask(captionText(phase), text, Prompter::Buttons::YesNo) == Prompter::Answer::Yes;
    };
    if (offer(Phase::Missing, findings.missing))
        removeMissing(findings.missing, prompter);
    if (offer(Phase::Extra, findings.extra))
        registerExtra(findings.extra, prompter);
}
