#include "mailings/mdlTBProfile.h"

#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/DbHelpers.h"
#include "mailings/MailingEvents.h"

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
        central.exec(QStringLiteral("DELETE FROM \"Profile\" WHERE \"ProfileName\" = ?1"), {name}, &error)) {
        Q_EMIT MailingEvents::instance().profilesChanged();
        return true;
    }
    LogError(QStringLiteral("DeleteTBProfile in mdlTBProfile"), {error.number, error.text});
    return false;
}

std::optional<QString> SentFlagOf(const QString& name) {
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement row = central.isOpen()
                            ? central.prepare(QStringLiteral(
                                  "SELECT \"SentFlag\" FROM \"Profile\" WHERE \"ProfileName\" = ?1"))
                            : db::Statement();
    if (!row.isValid())
        return std::nullopt;
    row.bind(1, name);
    if (!row.next())
        return std::nullopt;
    return row.text(0);
}

bool ChangeSentFlag(Prompter& prompter, const QString& name, const QString& newText) {
    const std::optional<QString> oldText = SentFlagOf(name);
    if (!oldText) {
        prompter.inform(QString(), QStringLiteral("This set of delivery options does not exist."),
                        Prompter::Icon::None);
        return false;
    }
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(QStringLiteral("UPDATE \"Profile\" SET \"SentFlag\" = ?2, \"SentFlagToCheck\" = ?2 "
                                     "WHERE \"ProfileName\" = ?1"),
                      {name, newText}, &error)) {
        LogError(QStringLiteral("ChangeSentFlag in mdlTBProfile"), {error.number, error.text});
        return false;
    }
    Q_EMIT MailingEvents::instance().profilesChanged();
    prompter.inform(QString(),
                    QStringLiteral("Changed 'Sent' text from                                ") + u'\t' +
                        *oldText + u'\t' + QStringLiteral("  to") + u'\t' + newText + u'.',
                    Prompter::Icon::None);
    return true;
}

} // namespace mdlTBProfile
