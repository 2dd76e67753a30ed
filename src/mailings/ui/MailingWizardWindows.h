#pragma once

#include "core/ui/WindowCommand.h"
#include "mailings/ui/MailingWindowServices.h"
#include "mailings/ui/frmTBWalkWiz.h"

#include <QList>
#include <QObject>
#include <QPointer>

class frmOpenDelete;

// The window commands of the two mailing wizards: the mailing wizard, and new, open and delete for sets
// of delivery options.
class MailingWizardWindows : public QObject {
    Q_OBJECT
public:
    // services: the list and message windows the wizards open (installed for every mailing window).
    MailingWizardWindows(Desk& desk, MailingWindowServices::Services services);
    ~MailingWizardWindows() override;
    QList<WindowCommand> commands();

    // Starts the mailing wizard, or brings back the one waiting for a new list or message.
    frmTBWalkWiz* ShowTBWalkWiz();
    frmTBWalkWiz* walkWizard() const { return walkWizard_; }
    // The dialogs that choose a set of delivery options to open in the wizard, or sets to delete.
    frmOpenDelete* openProfilesDialog();
    frmOpenDelete* deleteProfilesDialog();

    static QString openTitle() { return QStringLiteral("Open Delivery Options"); }
    static QString deleteTitle() { return QStringLiteral("Delete Delivery Options"); }

private:
    Desk& desk_;
    QPointer<frmTBWalkWiz> walkWizard_;
};
