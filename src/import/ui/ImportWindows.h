#pragma once

#include "core/ui/WindowCommand.h"

#include <QList>
#include <QObject>

class ListWindows;

// The window commands of the contact-database import.
class ImportWindows : public QObject {
    Q_OBJECT
public:
    ImportWindows(Desk& desk, ListWindows& lists);
    QList<WindowCommand> commands();

    void showImportWizard();

private:
    Desk& desk_;
    ListWindows& lists_;
};
