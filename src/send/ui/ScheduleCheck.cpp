#include "send/ui/ScheduleCheck.h"

#include "send/MailingRun.h"
#include "send/ScheduledStart.h"
#include "send/ui/SendWindows.h"
#include "send/ui/frmSendMail.h"

#include <QApplication>
#include <QWidget>

ScheduleCheck::ScheduleCheck(Desk& desk, QObject* parent) : QObject(parent), desk_(desk) {
    setObjectName(QStringLiteral("ScheduleCheck"));
    tmrSchedule_.setObjectName(QStringLiteral("tmrSchedule"));
    tmrSchedule_.setInterval(60000);
    connect(&tmrSchedule_, &QTimer::timeout, this, &ScheduleCheck::check);
}

bool ScheduleCheck::busy() const {
    return current_ || QApplication::activeModalWidget() != nullptr ||
           SendWindows::openDialog(desk_) != nullptr;
}

void ScheduleCheck::say(const QString& text) {
    desk_.setStatusText(text);
    Q_EMIT report(text);
}

frmSendMail* ScheduleCheck::check() {
    if (busy() || desk_.isClosing())
        return nullptr;
    const QDateTime now = clock_ ? clock_() : Schedules::now();
    if (!now.isValid())
        return nullptr;
    const ScheduledStart::Report report = [this](const QString& text) {
        say(text);
    };
    for (const Schedules::Schedule& schedule : Schedules::due(now)) {
        if (!ScheduledStart::mayStart(schedule, report))
            continue;
        const qint32 id = schedule.MailEventName;
        say(ScheduledStart::startingText(schedule));
        frmSendMail* dialog = SendWindows::openSendMail(desk_, id, MailRuns::Trigger::Schedule);
        dialog->setCloseWhenEnded(true);
        current_ = dialog;
        const auto checkAgainAfter = [this, dialog] {
            connect(dialog, &QObject::destroyed, this,
                    [this] { QTimer::singleShot(0, this, &ScheduleCheck::check); });
        };
        // A refused mailing is set inactive: the next due one may start at once.
        connect(dialog, &frmSendMail::runRefused, this, [this, dialog, id, checkAgainAfter] {
            ScheduledStart::refused(*dialog->run(), id, [this](const QString& text) { say(text); });
            checkAgainAfter();
            dialog->close();
        });
        connect(dialog, &frmSendMail::runFinished, this,
                [this, dialog, id, checkAgainAfter](MailRuns::Outcome outcome) {
                    const bool completed = ScheduledStart::ended(id, outcome, dialog->run()->options(),
                                                                 [this](const QString& text) { say(text); });
                    // The next due mailing follows a completed one at once; after a failure it waits a
                    // period.
                    if (completed)
                        checkAgainAfter();
                });
        Q_EMIT dialogOpened(dialog);
        dialog->cmdSend_Click(0);
        return dialog;
    }
    return nullptr;
}
