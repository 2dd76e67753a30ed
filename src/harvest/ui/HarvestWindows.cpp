#include "harvest/ui/HarvestWindows.h"

#include "harvest/ui/frmEmailWizard.h"
#include "lists/ui/ListWindows.h"

HarvestWindows::HarvestWindows(Desk& desk, ListWindows& lists)
    : QObject(desk.frame()), desk_(desk), lists_(lists) {}

QList<WindowCommand> HarvestWindows::commands() {
    return {
        WindowCommand(QStringLiteral("id_ToolsImportEPSFile"), QStringLiteral("&Build List from Files..."),
                      [this] { showEmailWizard(); })
            .inMenu(Menu::Tools, 1, 3),
    };
}

void HarvestWindows::showEmailWizard() {
    if (desk_.refuseOverLimit(Desk::limitNewText()))
        return;
    auto* wizard = new frmEmailWizard(
        desk_.prompter(), [this](const QString& result) { lists_.openResult(result); }, desk_.frame());
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    wizard->LoadWizModal();
}
