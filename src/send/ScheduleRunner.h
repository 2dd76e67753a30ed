#pragma once

#include "core/Prompter.h"
#include "mailings/Schedules.h"
#include "send/MailingRun.h"

#include <QObject>
#include <QTimer>
#include <memory>

// Starts the mailings due at a moment one after another, each as a scheduled MailingRun, with the
// decisions of ScheduledStart around each run.
class ScheduleRunner : public QObject {
    Q_OBJECT
public:
    explicit ScheduleRunner(Prompter& prompter, QObject* parent = nullptr);
    ~ScheduleRunner() override;

    // Starts the first mailing due at now. False when none is due: nothing was started and finished()
    // does not come.
    bool start(const QDateTime& now);
    // Stops the run in hand; no further mailing is started.
    void stop();
    // A started run ended without completing.
    bool anyRunFailed() const { return anyFailed_; }
    // How long the end of a session (QUIT and its answer) may take before the next mailing starts.
    void setClosingGraceMs(int ms) { grace_.setInterval(ms); }

Q_SIGNALS:
    // A line for the user about a start, a refusal or an end.
    void report(const QString& text);
    // A run is about to start: the host connects to its socket here to show the run.
    void runCreated(MailingRun* run);
    // Every due mailing was dealt with (or the runner was stopped).
    void finished();

private:
    void startNext();
    void onRunFinished(MailRuns::Outcome outcome);
    void afterSession();

    Prompter& prompter_;
    QList<Schedules::Schedule> due_;
    std::unique_ptr<MailingRun> run_;
    Schedules::Schedule current_;
    QTimer grace_;
    bool stopped_ = false;
    bool anyFailed_ = false;
    bool waitingForSession_ = false;
};
