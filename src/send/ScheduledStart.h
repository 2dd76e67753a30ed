#pragma once

#include "mailings/MailEvent.h"
#include "mailings/MailRuns.h"
#include "mailings/Schedules.h"

#include <QString>
#include <functional>

class MailingRun;

// What a scheduled start decides around its run, shared by every host that starts due mailings (the
// command line's runner, the desktop's minute check). A run that completes carries its schedule out;
// one refused before its session is set inactive, since it would be refused again at every call; one
// that ends early is started again at the next call only when its delivery options pass over the
// recipients already marked, else it is set inactive.
namespace ScheduledStart {

// A line for the user about a start, a refusal or an end.
using Report = std::function<void(const QString& text)>;

// False, after setting the schedule inactive and saying why, when the mailing's last scheduled run for
// this schedule was interrupted and a new start would mail the recipients already served again.
bool mayStart(const Schedules::Schedule& schedule, const Report& report);
// "Starting scheduled mailing ..." for the schedule.
QString startingText(const Schedules::Schedule& schedule);
// After MailingRun::start refused the scheduled mailing.
void refused(const MailingRun& run, qint32 id, const Report& report);
// After the scheduled run ended; true when it completed.
bool ended(qint32 id, MailRuns::Outcome outcome, const MailEvent& options, const Report& report);

} // namespace ScheduledStart
