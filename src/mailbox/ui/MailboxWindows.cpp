#include "mailbox/ui/MailboxWindows.h"

#include "core/AppInfo.h"
#include "mailbox/ui/frmPOPWizard.h"

MailboxWindows::MailboxWindows(Desk& desk, ListWindows& lists)
    : QObject(desk.frame()), desk_(desk), lists_(lists) {}

QList<WindowCommand> MailboxWindows::commands() {
    const auto open = [this](PopWizardRun::Format format) {
        return [this, format] {
            LoadPOPWizard(PopWizardRun::formatText(format));
        };
    };
    return {
        WindowCommand(QStringLiteral("id_ToolsImportMailbox"), QStringLiteral("Import from &Mailbox..."),
                      open(PopWizardRun::Format::Importer))
            .inMenu(Menu::Tools, 1, 1),
        WindowCommand(QStringLiteral("id_ToolsSubscriptionManager"),
                      QStringLiteral("Subscription Manager..."), open(PopWizardRun::Format::Subscription))
            .inMenu(Menu::Tools, 1, 4),
        WindowCommand(QStringLiteral("id_ToolsReturnedMail"), QStringLiteral("Returned Mail Manager..."),
                      open(PopWizardRun::Format::Returned))
            .inMenu(Menu::Tools, 1, 5),
    };
}

void MailboxWindows::LoadPOPWizard(const QString& format) {
    const std::optional<PopWizardRun::Format> known = PopWizardRun::formatFromText(format);
    if (!known) {
        desk_.prompter().inform(AppTitle(), PopWizardRun::unknownFormatText(), Prompter::Icon::Exclamation);
        return;
    }
    auto* wizard = new frmPOPWizard(*known, desk_.prompter(), &lists_, desk_.frame());
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    wizard->LoadWizModal();
}
