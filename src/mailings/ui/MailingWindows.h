#pragma once

#include "core/ui/WindowCommand.h"
#include "mailings/ui/frmTBCentral.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;

// The mailing centre and the mailing groups of one main window: their commands in its menus, toolbar
// and side bar. Lists and messages named by the centre's rows open through the given openers.
class MailingWindows : public QObject {
    Q_OBJECT
public:
    MailingWindows(Desk& desk, frmTBCentral::Openers openers);

    QList<WindowCommand> commands();

    // The mailing windows of the main window, or nullptr.
    static MailingWindows* of(Desk& desk);
    const frmTBCentral::Openers& openers() const { return openers_; }

    // The centre's entry in the menus is checked while the centre is open.
    void UncheckTBCentral();
    void checkTBCentral();

    void newGroupDialog();
    void openGroupDialog();
    void deleteGroupDialog();
    void showGroupOptions();

private:
    Desk& desk_;
    frmTBCentral::Openers openers_;
    QPointer<QAction> centralAction_;
};
