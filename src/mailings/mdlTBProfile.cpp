#include "mailings/mdlTBProfile.h"

#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/DbHelpers.h"

namespace mdlTBProfile {

QStringList ProfileNames() {
    QStringList names;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows =
        central.isOpen()
            ? central.prepare(QStringLiteral("SELECT \"ProfileName\" FROM \"Profile\" ORDER BY 1"))
            : db::Statement();
    while (rows.isValid() && rows.next())
        names << rows.text(0);
    return names;
}

bool DeleteTBProfile(Prompter& prompter, const QString& name) {
    if (CountMatching(QStringLiteral("Profile"), QStringLiteral("ProfileName"), name) == 0) {
        prompter.inform(QString(), QStringLiteral("This set of delivery options does not exist."),
                        Prompter::Icon::None);
        return false;
    }
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (central.isOpen() &&
        central.exec(QStringLiteral("DELETE FROM \"Profile\" WHERE \"ProfileName\" = ?1"), {name}, &error))
        return true;
    LogError(QStringLiteral("DeleteTBProfile in mdlTBProfile"), {error.number, error.text});
    return false;
}

} // namespace mdlTBProfile
