#pragma once

#include "core/ui/WindowCommand.h"
#include "mailings/MailRuns.h"

#include <QList>
#include <QObject>
#include <functional>

class ScheduleCheck;
class frmSendMail;

// The send windows of one main window: the send dialog and its warnings, opened for a mailing through
// the launcher the mailing windows call, and the minute check that starts due mailings.
class SendWindows : public QObject {
    Q_OBJECT
public:
    explicit SendWindows(Desk& desk);
    ~SendWindows() override;

    // The send commands of the menus (none: sending starts from the mailing windows).
    QList<WindowCommand> commands() { return {}; }

    // Starts mailing id from the desktop: gone, "The selected mailing was not found."; its list must
    // exist; a mailing sent before shows the send-again warning (Cancel runs whenCancelled); then the
    // send dialog.
    static void launch(Desk& desk, qint32 id, const std::function<void()>& whenCancelled = {});
    // Opens the send dialog on mailing id, the send-again warning already dealt with or not needed.
    static frmSendMail* openSendMail(Desk& desk, qint32 id, MailRuns::Trigger trigger);
    // The send dialog open in the main window, or nullptr.
    static frmSendMail* openDialog(Desk& desk);

    ScheduleCheck& schedule() const { return *schedule_; }

private:
    ScheduleCheck* schedule_;
};
