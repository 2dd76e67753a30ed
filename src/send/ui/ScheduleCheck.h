#pragma once

#include "core/ui/WindowCommand.h"
#include "mailings/Schedules.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class frmSendMail;

// The desktop's schedule check (tmrSchedule): each period it starts the earliest due mailing in a send
// dialog of its own, one at a time, with the decisions of ScheduledStart around the run. It waits while
// a send dialog or any other modal window is open, so it never starts a run beside the user's, nor
// behind a question the user has not answered. A dialog it opened closes itself once its run has ended;
// after a completed run the next due mailing starts at once.
class ScheduleCheck : public QObject {
    Q_OBJECT
public:
    ScheduleCheck(Desk& desk, QObject* parent = nullptr);

    void start() { tmrSchedule_.start(); }
    void stop() { tmrSchedule_.stop(); }
    void setPeriodMs(int ms) { tmrSchedule_.setInterval(qMax(1, ms)); }
    // The clock of the schedules; Schedules::now unless set.
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    // The work of one period; the dialog it opened, or nullptr when it started nothing.
    frmSendMail* check();
    frmSendMail* current() const { return current_; }

Q_SIGNALS:
    // A line about a start, a refusal or an end (also shown in the status bar).
    void report(const QString& text);
    // A send dialog for a due mailing was opened; the place to adjust its runs (tests).
    void dialogOpened(frmSendMail* dialog);

private:
    bool busy() const;
    void say(const QString& text);

    Desk& desk_;
    QTimer tmrSchedule_;
    std::function<QDateTime()> clock_;
    QPointer<frmSendMail> current_;
};
