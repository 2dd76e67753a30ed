#pragma once

#include "core/ui/WindowCommand.h"

#include <QList>
#include <QObject>

class ListWindows;

// The window commands of list building from files.
class HarvestWindows : public QObject {
    Q_OBJECT
public:
    HarvestWindows(Desk& desk, ListWindows& lists);
    QList<WindowCommand> commands();

    // Opens the list-building wizard.
    void showEmailWizard();

private:
    Desk& desk_;
    ListWindows& lists_;
};
