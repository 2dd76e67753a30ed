#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

// The schedules of the mailings: the columns ScheduledDate, ScheduledTime, Active and MailingSent of
// their MailEvent rows. MailingSent means "this schedule was carried out": only a scheduled run that
// completed sets it, and a schedule changed since it was loaded is cleared again.
namespace Schedules {

struct Schedule {
    qint32 MailEventName = 0;
    QDate date;
    QTime time;
    bool Active = false;
    bool MailingSent = false;
    QString TamberlynName;
    QString ListName;
    QString MessageName;

    // The moment the mailing is due: the date of ScheduledDate with the time of ScheduledTime.
    QDateTime dueAt() const {
        return QDateTime(date,
                         time.isValid() ? QTime(time.hour(), time.minute(), time.second()) : QTime(0, 0));
    }
};

// The schedule as the scheduler shows it: the row's empty columns are filled and stored first (today,
// the present time, not active, not carried out). Nothing when there is no such mailing.
std::optional<Schedule> LoadValuesByID(qint32 id, const QDateTime& now);
// Writes date, time and Active of edited into its mailing (never adds a row). MailingSent is cleared
// when any of the three differs from loaded, else kept. False when the mailing is gone.
bool save(const Schedule& loaded, const Schedule& edited);
// The mailing's schedule as stored, empty columns left empty; nothing when there is no such mailing.
std::optional<Schedule> find(qint32 id);
// Every mailing with a schedule (ScheduledDate set), by mailing number.
QList<Schedule> all();
// The mailings to start at now: active, not carried out, due at or before now; the earliest first.
QList<Schedule> due(const QDateTime& now);
bool setActive(qint32 id, bool active);

// The present moment for the schedules: the clock set in-process, else the environment variable
// TAMBERLYN_NOW (YYYY-MM-DDTHH:MM:SS, local time: a clock that shows that moment when first read and runs
// on from there), else the system clock. An invalid TAMBERLYN_NOW gives an invalid QDateTime.
QDateTime now();
// Replaces the clock (tests); an empty function restores it.
void setClock(std::function<QDateTime()> clock);
bool setCarriedOut(qint32 id);

} // namespace Schedules
