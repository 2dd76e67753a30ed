#include "mailings/Mailings.h"

#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/DbHelpers.h"
#include "mailings/MailingEvents.h"
#include "mailings/mdlTBProfile.h"
#include "mailings/mdlTamberlynGroupOptions.h"

namespace Mailings {

namespace {

const QString MailingColumns = QStringLiteral(
    "SELECT \"MailEventName\", \"TamberlynName\", \"ListName\", \"MessageName\", \"Profile\", \"DateSent\", "
    "\"SentCount\", \"SentCountFailed\" FROM \"MailEvent\"");

Mailing mailingAt(const db::Statement& row) {
    Mailing m;
    m.MailEventName = qint32(row.value(0).toLongLong());
    m.TamberlynName = row.text(1);
    m.ListName = row.text(2);
    m.MessageName = row.text(3);
    m.Profile = row.text(4);
    m.DateSent = row.text(5);
    m.SentCount = qint32(row.value(6).toLongLong());
    m.SentCountFailed = qint32(row.value(7).toLongLong());
    return m;
}

QList<Mailing> select(const QString& tail, const QVariantList& values) {
    QList<Mailing> mailings;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows = central.isOpen() ? central.prepare(MailingColumns + tail) : db::Statement();
    if (!rows.isValid())
        return mailings;
    rows.bindAll(values);
    while (rows.next())
        mailings.append(mailingAt(rows));
    return mailings;
}

} // namespace

std::optional<Mailing> find(qint32 id) {
    const QList<Mailing> found = select(QStringLiteral(" WHERE \"MailEventName\" = ?1"), {id});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<Mailing> all() {
    return select(QStringLiteral(" ORDER BY \"TamberlynName\", \"ListName\", \"MessageName\", \"DateSent\""),
                  {});
}

qint32 PrepareMailing(const QString& group, const QString& list, const QString& message,
                      const QString& options) {
    const QString section = QStringLiteral("ApplicationDefaults");
    AppSaveSetting(section, QStringLiteral("MailEventProfile"), options);
    AppSaveSetting(section, QStringLiteral("CurTamberlyn"), group);
    AppSaveSetting(section, QStringLiteral("CurMessage"), message);
    AppSaveSetting(section, QStringLiteral("CurList"), list);
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (central.isOpen() &&
        central.exec(
            QStringLiteral("INSERT INTO \"MailEvent\" (\"TamberlynName\", \"ListName\", \"MessageName\", "
                           "\"Profile\", \"SentCount\") VALUES (?1, ?2, ?3, ?4, 0)"),
            {group, list, message, options}, &error)) {
        const qint32 id = qint32(central.lastInsertRowId());
        Q_EMIT MailingEvents::instance().mailingsChanged();
        return id;
    }
    LogError(QStringLiteral("PrepareMailing in frmTBCentral"), {error.number, error.text});
    return 0;
}

bool deleteMailing(Prompter& prompter, qint32 id, const QString& messageName) {
    const std::optional<Mailing> mailing = find(id);
    if (!mailing) {
        prompter.inform(QString(),
                        QStringLiteral("Cannot delete the mailing for '") +
                            (messageName.isEmpty() ? QString::number(id) : messageName) +
                            QStringLiteral("' message.  This mailing has already been deleted."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    const QString question =
        QStringLiteral("Delete the mailing for '") + mailing->MessageName +
        QStringLiteral("' message?\n\nNote this deletes only the mailing and not the list or "
                       "message.");
    if (prompter.ask(QStringLiteral("Delete Mailing"), question, Prompter::Buttons::OkCancel) !=
        Prompter::Answer::Ok)
        return false;
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (central.isOpen() &&
        central.exec(QStringLiteral("DELETE FROM \"MailEvent\" WHERE \"MailEventName\" = ?1"), {id},
                     &error)) {
        Q_EMIT MailingEvents::instance().mailingsChanged();
        return true;
    }
    LogError(QStringLiteral("Delete Mailing in frmTBCentral"), {error.number, error.text});
    return false;
}

bool ReturnMailResults(Prompter& prompter, qint32 id, qint32 passed, qint32 failed, const QString& dateText) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen()) {
        prompter.inform(QString(),
                        QStringLiteral("Could not update Mailing results into the MailEvent database."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    if (central.exec(QStringLiteral("UPDATE \"MailEvent\" SET \"DateSent\" = ?2, "
                                    "\"SentCount\" = IFNULL(\"SentCount\", 0) + ?3, "
                                    "\"SentCountFailed\" = IFNULL(\"SentCountFailed\", 0) + ?4 "
                                    "WHERE \"MailEventName\" = ?1"),
                     {id, dateText, passed, failed}, &error)) {
        if (central.changes() == 0)
            return false;
        Q_EMIT MailingEvents::instance().mailingResults(id);
        return true;
    }
    LogError(QStringLiteral("ReturnMailResults in frmTBCentral"), {error.number, error.text});
    return false;
}

bool checkBeforeSend(Prompter& prompter, const Mailing& mailing) {
    return checkList(prompter, mailing) && confirmSendAgain(prompter, mailing);
}

bool checkList(Prompter& prompter, const Mailing& mailing) {
    if (CountMatching(QStringLiteral("List"), QStringLiteral("ListName"), mailing.ListName) == 0) {
        prompter.inform(
            QString(),
            QStringLiteral("This mailing cannot be sent.  The '") + mailing.ListName +
                QStringLiteral("' mailing list has been deleted from Tamberlyn.  Please either "
                               "re-create this list or create another mailing using a valid list."),
            Prompter::Icon::Exclamation);
        return false;
    }
    return true;
}

bool confirmSendAgain(Prompter& prompter, const Mailing& mailing) {
    if (mailing.DateSent.isEmpty())
        return true;
    const QString warning =
        QStringLiteral("Message:        ") + mailing.MessageName + QStringLiteral("\nList:           ") +
        mailing.ListName + QStringLiteral("\nGroup:          ") + mailing.TamberlynName +
        QStringLiteral("\nDate Mailed:    ") + mailing.DateSent + QStringLiteral("\nTotal Mailed:   ") +
        QString::number(mailing.SentCount) + QStringLiteral("\n\n") + sendAgainExplanation();
    return prompter.ask(QStringLiteral("Send Mailing Again"), warning, Prompter::Buttons::OkCancel,
                        Prompter::Icon::Exclamation) == Prompter::Answer::Ok;
}

QString sendAgainExplanation() {
    return QStringLiteral(
        "If you send this mailing again the message will be either delivered to all of the "
        "addresses again or sent only to those addresses which are not marked with the current "
        "'Sent' flag.\n\nTo change or verify that go to step 5 of the delivery options wizard "
        "and modify the information there.");
}

namespace {

// Where each part of a mailing is kept: its table and name column.
std::pair<QString, QString> tableOf(Part part) {
    switch (part) {
    case Part::Group:
        return {QStringLiteral("Tamberlyn"), QStringLiteral("TamberlynName")};
    case Part::List:
        return {QStringLiteral("List"), QStringLiteral("ListName")};
    case Part::Message:
        return {QStringLiteral("Message"), QStringLiteral("MessageName")};
    case Part::Options:
        break;
    }
    return {QStringLiteral("Profile"), QStringLiteral("ProfileName")};
}

// Messages never saved carry this prefix until they get a name.
bool isUnsavedMessage(const QString& name) {
    return name.startsWith(QStringLiteral("%%NewMailMessage%%"), Qt::CaseInsensitive);
}

} // namespace

QStringList choices(Part part) {
    if (part == Part::Options)
        return mdlTBProfile::ProfileNames();
    if (part == Part::Group) {
        QStringList names;
        for (const mdlTamberlynGroupOptions::Group& group : mdlTamberlynGroupOptions::Groups())
            names << group.TamberlynName;
        return names;
    }
    const auto [table, column] = tableOf(part);
    QStringList names;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows =
        central.isOpen()
            ? central.prepare(QStringLiteral("SELECT \"%1\" FROM \"%2\" ORDER BY \"%1\"").arg(column, table))
            : db::Statement();
    while (rows.isValid() && rows.next()) {
        const QString name = rows.text(0);
        if (!(part == Part::Message && isUnsavedMessage(name)))
            names << name;
    }
    return names;
}

bool exists(Part part, const QString& name) {
    const auto [table, column] = tableOf(part);
    return !name.isEmpty() && CountMatching(table, column, name) > 0;
}

} // namespace Mailings
