#include "mailings/Schedules.h"

#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/TypeMapping.h"
#include "mailings/MailingEvents.h"

#include <QElapsedTimer>
#include <algorithm>

namespace Schedules {

namespace {

const QString ScheduleColumns = QStringLiteral(
    "SELECT \"MailEventName\", \"ScheduledDate\", \"ScheduledTime\", \"Active\", \"MailingSent\", "
    "\"TamberlynName\", \"ListName\", \"MessageName\" FROM \"MailEvent\"");

QList<Schedule> select(const QString& tail, const QVariantList& values) {
    QList<Schedule> found;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows = central.isOpen() ? central.prepare(ScheduleColumns + tail) : db::Statement();
    if (!rows.isValid())
        return found;
    rows.bindAll(values);
    while (rows.next()) {
        Schedule s;
        s.MailEventName = rows.value(0).toInt();
        s.date = db::fromStoredDate(rows.text(1)).date();
        s.time = db::fromStoredDate(rows.text(2)).time();
        s.Active = db::fromYesNo(rows.value(3));
        s.MailingSent = db::fromYesNo(rows.value(4));
        s.TamberlynName = rows.text(5);
        s.ListName = rows.text(6);
        s.MessageName = rows.text(7);
        found.append(s);
    }
    return found;
}

bool update(const char* caller, const QString& assignments, qint32 id, const QVariantList& values) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (central.isOpen() && central.exec(QStringLiteral("UPDATE \"MailEvent\" SET ") + assignments +
                                             QStringLiteral(" WHERE \"MailEventName\" = ?1"),
                                         QVariantList{id} + values, &error)) {
        if (central.changes() == 0)
            return false;
        Q_EMIT MailingEvents::instance().mailingsChanged();
        return true;
    }
    LogError(QString::fromLatin1(caller), {error.number, error.text});
    return false;
}

QVariant storedTime(const QTime& time) {
    return db::toStoredTime(QTime(time.hour(), time.minute(), time.second()));
}

std::function<QDateTime()>& clock() {
    static std::function<QDateTime()> set;
    return set;
}

} // namespace

QDateTime now() {
    if (clock())
        return clock()();
    if (!qEnvironmentVariableIsSet("TAMBERLYN_NOW"))
        return QDateTime::currentDateTime();
    const QDateTime given =
        QDateTime::fromString(qEnvironmentVariable("TAMBERLYN_NOW"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!given.isValid())
        return {};
    // The clock starts at the given moment when first read, and runs from there.
    static QElapsedTimer running;
    if (!running.isValid())
        running.start();
    return given.addMSecs(running.elapsed());
}

void setClock(std::function<QDateTime()> set) {
    clock() = std::move(set);
}

std::optional<Schedule> LoadValuesByID(qint32 id, const QDateTime& now) {
    if (select(QStringLiteral(" WHERE \"MailEventName\" = ?1"), {id}).isEmpty())
        return std::nullopt;
    update("LoadValuesByID in frmScheduler",
           QStringLiteral(
               "\"ScheduledDate\" = IFNULL(\"ScheduledDate\", ?2), "
               "\"ScheduledTime\" = IFNULL(\"ScheduledTime\", ?3), \"Active\" = IFNULL(\"Active\", ?4), "
               "\"MailingSent\" = IFNULL(\"MailingSent\", ?4)"),
           id, {db::toStoredDate(now.date()), storedTime(now.time()), db::yesNo(false)});
    const QList<Schedule> found = select(QStringLiteral(" WHERE \"MailEventName\" = ?1"), {id});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

bool save(const Schedule& loaded, const Schedule& edited) {
    const bool changed = loaded.date != edited.date || loaded.dueAt().time() != edited.dueAt().time() ||
                         loaded.Active != edited.Active;
    return update(
        "cmdOkCancel_Click in frmScheduler",
        QStringLiteral("\"ScheduledDate\" = ?2, \"ScheduledTime\" = ?3, \"Active\" = ?4, "
                       "\"MailingSent\" = CASE WHEN ?5 THEN ?6 ELSE IFNULL(\"MailingSent\", ?6) END"),
        edited.MailEventName,
        {db::toStoredDate(edited.date), storedTime(edited.time), db::yesNo(edited.Active), changed ? 1 : 0,
         db::yesNo(false)});
}

std::optional<Schedule> find(qint32 id) {
    const QList<Schedule> found = select(QStringLiteral(" WHERE \"MailEventName\" = ?1"), {id});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<Schedule> all() {
    return select(QStringLiteral(" WHERE \"ScheduledDate\" IS NOT NULL ORDER BY \"MailEventName\""), {});
}

QList<Schedule> due(const QDateTime& now) {
    QList<Schedule> found;
    for (const Schedule& s : all())
        if (s.Active && !s.MailingSent && s.date.isValid() && s.dueAt() <= now)
            found.append(s);
    std::stable_sort(found.begin(), found.end(),
                     [](const Schedule& a, const Schedule& b) { return a.dueAt() < b.dueAt(); });
    return found;
}

bool setActive(qint32 id, bool active) {
    return update("setActive in Schedules", QStringLiteral("\"Active\" = ?2"), id, {db::yesNo(active)});
}

bool setCarriedOut(qint32 id) {
    return update("setCarriedOut in Schedules", QStringLiteral("\"MailingSent\" = ?2"), id,
                  {db::yesNo(true)});
}

} // namespace Schedules
