#include "mailings/mdlTamberlynGroupOptions.h"

#include "core/AppInfo.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/DbHelpers.h"
#include "mailings/MailingEvents.h"

namespace mdlTamberlynGroupOptions {

namespace {

bool groupExists(const QString& name) {
    return CountMatching(QStringLiteral("Tamberlyn"), QStringLiteral("TamberlynName"), name) > 0;
}

void showMissing(Prompter& prompter, const QString& name) {
    prompter.inform(QString(),
                    QStringLiteral("The Tamberlyn Group '") + name +
                        QStringLiteral("' does not exist, it could have been deleted already."),
                    Prompter::Icon::None);
}

bool execute(const char* caller, const QString& sql, const QVariantList& values) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (central.isOpen() && central.exec(sql, values, &error)) {
        Q_EMIT MailingEvents::instance().groupsChanged();
        return true;
    }
    LogError(QString::fromLatin1(caller), {error.number, error.text});
    return false;
}

} // namespace

QList<Group> Groups() {
    QList<Group> groups;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows =
        central.isOpen()
            ? central.prepare(QStringLiteral("SELECT \"TamberlynName\", \"TamberlynDescription\" "
                                             "FROM \"Tamberlyn\" ORDER BY 1"))
            : db::Statement();
    while (rows.isValid() && rows.next())
        groups.append({rows.text(0), rows.text(1)});
    return groups;
}

bool CreateTamberlynGroup(Prompter& prompter, const QString& name, const QString& description) {
    if (const QString refusal = NameRefusal(QStringLiteral("group name"), name); !refusal.isEmpty()) {
        prompter.inform(QString(), refusal, Prompter::Icon::Exclamation);
        return false;
    }
    if (groupExists(name)) {
        prompter.inform(
            QString(),
            QStringLiteral("A Tamberlyn Group with this name already exists.  Please choose a new name."),
            Prompter::Icon::None);
        return false;
    }
    return execute("CreateTamberlynGroup in mdlTamberlynGroupOptions",
                   QStringLiteral("INSERT INTO \"Tamberlyn\" (\"TamberlynName\", \"TamberlynDescription\") "
                                  "VALUES (?1, ?2)"),
                   {name, description});
}

bool UpdateTamberlynGroup(Prompter& prompter, const QString& name, const QString& description) {
    if (!groupExists(name)) {
        showMissing(prompter, name);
        return false;
    }
    return execute(
        "UpdateTamberlynGroup in mdlTamberlynGroupOptions",
        QStringLiteral("UPDATE \"Tamberlyn\" SET \"TamberlynDescription\" = ?2 WHERE \"TamberlynName\" = ?1"),
        {name, description});
}

bool DeleteTamberlynGroup(Prompter& prompter, const QString& name) {
    if (!groupExists(name)) {
        showMissing(prompter, name);
        return false;
    }
    return execute("DeleteTamberlynGroup in mdlTamberlynGroupOptions",
                   QStringLiteral("DELETE FROM \"Tamberlyn\" WHERE \"TamberlynName\" = ?1"), {name});
}

} // namespace mdlTamberlynGroupOptions
