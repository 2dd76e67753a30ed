#include "send/ScheduledStart.h"

#include "mailings/Mailings.h"
#include "send/MailingRun.h"

namespace ScheduledStart {
namespace {

const QString MarkedTwiceText = QStringLiteral(
    "its delivery options send to recipients already marked, so a new start would mail them twice.");

QString number(qint32 id) {
    return QStringLiteral("Mailing ") + QString::number(id);
}

void deactivate(qint32 id, const QString& why, const Report& report) {
    Schedules::setActive(id, false);
    report(number(id) + QStringLiteral(" is set inactive: ") + why);
}

// The mailing's last run was a scheduled run for this schedule that its process never ended.
bool interruptedBefore(const Schedules::Schedule& schedule) {
    const QList<MailRuns::Run> runs = MailRuns::of(schedule.MailEventName);
    if (runs.isEmpty())
        return false;
    const MailRuns::Run& last = runs.last();
    return last.Outcome == MailRuns::outcomeText(MailRuns::Outcome::Interrupted) &&
           last.Trigger == MailRuns::triggerText(MailRuns::Trigger::Schedule) &&
           last.RunStart >= schedule.dueAt();
}

} // namespace

bool mayStart(const Schedules::Schedule& schedule, const Report& report) {
    if (!interruptedBefore(schedule))
        return true;
    const qint32 id = schedule.MailEventName;
    const std::optional<Mailing> mailing = Mailings::find(id);
    MailEvent options;
    if (mailing && options.GetMEPFromDB(mailing->Profile) && !options.skipsMarkedRecipients()) {
        deactivate(id, QStringLiteral("its last run was interrupted, and ") + MarkedTwiceText, report);
        return false;
    }
    return true;
}

QString startingText(const Schedules::Schedule& schedule) {
    return QStringLiteral("Starting scheduled mailing ") + QString::number(schedule.MailEventName) +
           QStringLiteral(" (") + schedule.MessageName + QStringLiteral(" to ") + schedule.ListName +
           QStringLiteral(", due ") + schedule.dueAt().toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
           QStringLiteral(").");
}

void refused(const MailingRun& run, qint32 id, const Report& report) {
    if (!run.refusalText().isEmpty())
        report(run.refusalText());
    if (run.refusal() != MailingRun::Refusal::NoMailing)
        deactivate(id, QStringLiteral("it could not be started."), report);
}

bool ended(qint32 id, MailRuns::Outcome outcome, const MailEvent& options, const Report& report) {
    if (outcome == MailRuns::Outcome::Completed) {
        Schedules::setCarriedOut(id);
        return true;
    }
    if (options.skipsMarkedRecipients())
        report(number(id) + QStringLiteral(" ended early; the next call starts it again for the recipients "
                                           "not yet marked."));
    else
        deactivate(id, QStringLiteral("it ended early, and ") + MarkedTwiceText, report);
    return false;
}

} // namespace ScheduledStart
