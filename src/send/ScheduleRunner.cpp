#include "send/ScheduleRunner.h"

#include "send/ScheduledStart.h"

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

void ScheduleRunner::startNext() {
    run_.reset();
    if (stopped_ || due_.isEmpty()) {
        Q_EMIT finished();
        return;
    }
    current_ = due_.takeFirst();
    const qint32 id = current_.MailEventName;
    const ScheduledStart::Report report = [this](const QString& text) {
        Q_EMIT this->report(text);
    };
    if (!ScheduledStart::mayStart(current_, report)) {
        QTimer::singleShot(0, this, &ScheduleRunner::startNext);
        return;
    }
    Q_EMIT this->report(ScheduledStart::startingText(current_));
    run_ = std::make_unique<MailingRun>(prompter_);
    connect(run_.get(), &MailingRun::finished, this, &ScheduleRunner::onRunFinished);
    connect(&run_->socket(), &SMTPSocket::SessionClosed, this, &ScheduleRunner::afterSession);
    Q_EMIT runCreated(run_.get());
    if (run_->start(id, MailRuns::Trigger::Schedule))
        return;
    ScheduledStart::refused(*run_, id, report);
    QTimer::singleShot(0, this, &ScheduleRunner::startNext);
}

void ScheduleRunner::onRunFinished(MailRuns::Outcome outcome) {
    const ScheduledStart::Report report = [this](const QString& text) {
        Q_EMIT this->report(text);
    };
    if (!ScheduledStart::ended(current_.MailEventName, outcome, run_->options(), report))
        anyFailed_ = true;
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
