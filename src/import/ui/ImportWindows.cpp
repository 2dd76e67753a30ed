#include "import/ui/ImportWindows.h"

#include "import/ui/frmDBImportWiz.h"

ImportWindows::ImportWindows(Desk& desk, ListWindows& lists)
    : QObject(desk.frame()), desk_(desk), lists_(lists) {}

QList<WindowCommand> ImportWindows::commands() {
    return {
        WindowCommand(QStringLiteral("id_ToolsImportContactDatabase"),
                      QStringLiteral("Import Contact &Database..."), [this] { showImportWizard(); })
            .inMenu(Menu::Tools, 1, 2),
    };
}

void ImportWindows::showImportWizard() {
    if (desk_.refuseOverLimit(Desk::limitNewText()))
        return;
    auto* wizard = new frmDBImportWiz(desk_.prompter(), &lists_, desk_.frame());
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    wizard->LoadWizModal();
}
