#include "send/ScheduleRunner.h"

namespace {

const QString MarkedTwiceText = QStringLiteral(
    "its delivery options send to recipients already marked, so a new start would mail them twice.");

QString number(qint32 id) {
    return QStringLiteral("Mailing ") + QString::number(id);
}

} // namespace

ScheduleRunner::ScheduleRunner(Prompter& prompter, QObject* parent) : QObject(parent), prompter_(prompter) {
    grace_.setSingleShot(true);
    grace_.setInterval(3000);
    connect(&grace_, &QTimer::timeout, this, &ScheduleRunner::afterSession);
}

ScheduleRunner::~ScheduleRunner() = default;

bool ScheduleRunner::start(const QDateTime& now) {
    due_ = Schedules::due(now);
    if (due_.isEmpty())
        return false;
    // Starting from the event loop keeps every run's start and end on the same footing.
    QTimer::singleShot(0, this, &ScheduleRunner::startNext);
    return true;
}

void ScheduleRunner::stop() {
    stopped_ = true;
    due_.clear();
    if (run_)
        run_->stop();
}

void ScheduleRunner::deactivate(qint32 id, const QString& why) {
    Schedules::setActive(id, false);
    Q_EMIT report(number(id) + QStringLiteral(" is set inactive: ") + why);
}

bool ScheduleRunner::interruptedBefore(const Schedules::Schedule& schedule) const {
    const QList<MailRuns::Run> runs = MailRuns::of(schedule.MailEventName);
    if (runs.isEmpty())
        return false;
    const MailRuns::Run& last = runs.last();
    return last.Outcome == MailRuns::outcomeText(MailRuns::Outcome::Interrupted) &&
           last.Trigger == MailRuns::triggerText(MailRuns::Trigger::Schedule) &&
           last.RunStart >= schedule.dueAt();
}

void ScheduleRunner::startNext() {
    run_.reset();
    if (stopped_ || due_.isEmpty()) {
        Q_EMIT finished();
        return;
    }
    current_ = due_.takeFirst();
    const qint32 id = current_.MailEventName;
    if (interruptedBefore(current_)) {
        std::optional<Mailing> mailing = Mailings::find(id);
        MailEvent options;
        if (mailing && options.GetMEPFromDB(mailing->Profile) && !options.skipsMarkedRecipients()) {
            deactivate(id, QStringLiteral("its last run was interrupted, and ") + MarkedTwiceText);
            QTimer::singleShot(0, this, &ScheduleRunner::startNext);
            return;
        }
    }
    Q_EMIT report(QStringLiteral("Starting scheduled mailing ") + QString::number(id) + QStringLiteral(" (") +
                  current_.MessageName + QStringLiteral(" to ") + current_.ListName +
                  QStringLiteral(", due ") + current_.dueAt().toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
                  QStringLiteral(")."));
    run_ = std::make_unique<MailingRun>(prompter_);
    connect(run_.get(), &MailingRun::finished, this, &ScheduleRunner::onRunFinished);
    connect(&run_->socket(), &SMTPSocket::SessionClosed, this, &ScheduleRunner::afterSession);
    Q_EMIT runCreated(run_.get());
    if (run_->start(id, MailRuns::Trigger::Schedule)) {
        return;
    }
    if (run_->refusal() != MailingRun::Refusal::NoMailing) {
        if (!run_->refusalText().isEmpty())
            Q_EMIT report(run_->refusalText());
        deactivate(id, QStringLiteral("it could not be started."));
    } else {
        Q_EMIT report(run_->refusalText());
    }
    QTimer::singleShot(0, this, &ScheduleRunner::startNext);
}

void ScheduleRunner::onRunFinished(MailRuns::Outcome outcome) {
    const qint32 id = current_.MailEventName;
    if (outcome == MailRuns::Outcome::Completed) {
        Schedules::setCarriedOut(id);
    } else {
        anyFailed_ = true;
        if (run_->options().skipsMarkedRecipients())
            Q_EMIT report(number(id) + QStringLiteral(" ended early; the next call starts it again for the "
                                                      "recipients not yet marked."));
        else
            deactivate(id, QStringLiteral("it ended early, and ") + MarkedTwiceText);
    }
    waitingForSession_ = true;
    grace_.start();
}

void ScheduleRunner::afterSession() {
    if (!waitingForSession_)
        return;
    waitingForSession_ = false;
    grace_.stop();
    // The socket that ended the session is still on the stack: the run goes from the event loop.
    QTimer::singleShot(0, this, &ScheduleRunner::startNext);
}
