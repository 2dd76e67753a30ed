#pragma once

#include "core/ui/WindowCommand.h"

#include <QList>
#include <QObject>

class ListWindows;

// The window commands of the mailbox wizard: one per format.
class MailboxWindows : public QObject {
    Q_OBJECT
public:
    MailboxWindows(Desk& desk, ListWindows& lists);
    QList<WindowCommand> commands();

    // Opens the wizard in the format named ("POP Mail Importer", "Subscription Manager", "Returned Mail
    // Manager"); any other text is refused with "Unknown POP Wizard Format".
    void LoadPOPWizard(const QString& format);

private:
    Desk& desk_;
    ListWindows& lists_;
};
