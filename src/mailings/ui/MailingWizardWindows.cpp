#include "mailings/ui/MailingWizardWindows.h"

#include "core/ui/frmOpenDelete.h"
#include "mailings/MailingChoices.h"
#include "mailings/mdlTBProfile.h"
#include "mailings/ui/DeliveryOptionsWindows.h"
#include "mailings/ui/frmTBWalkWiz.h"

MailingWizardWindows::MailingWizardWindows(Desk& desk, MailingWindowServices::Services services)
    : QObject(desk.frame()), desk_(desk) {
    MailingWindowServices::install(std::move(services));
}

MailingWizardWindows::~MailingWizardWindows() {
    // The windows the services open go with this main window.
    MailingWindowServices::install({});
}

QList<WindowCommand> MailingWizardWindows::commands() {
    return {
        WindowCommand(QStringLiteral("id_FileNewTamberlynSetup"), QStringLiteral("New &Delivery Options"),
                      [this] { DeliveryOptionsWindows::NewTBProfile(desk_); })
            .inMenu(Menu::File, 1, 3),
        WindowCommand(QStringLiteral("id_FileOpenTamberlynSetup"),
                      QStringLiteral("Open Deli&very Options..."), [this] { openProfilesDialog(); })
            .inMenu(Menu::File, 2, 3)
            .onSideBar(SideBarGroup::Central, 1, QStringLiteral("Tamberlyn Delivery Options")),
        WindowCommand(QStringLiteral("id_FileDeleteTamberlynSetup"),
                      QStringLiteral("Delete Delivery O&ptions..."), [this] { deleteProfilesDialog(); })
            .inMenu(Menu::File, 5, 3),
        WindowCommand(QStringLiteral("id_TBWiz"), QStringLiteral("Tamberlyn &Wizard..."),
                      [this] { ShowTBWalkWiz(); })
            .inMenu(Menu::Central, 1, 2)
            .onSideBar(SideBarGroup::Central, 3, QStringLiteral("Tamberlyn Wizard")),
    };
}

frmTBWalkWiz* MailingWizardWindows::ShowTBWalkWiz() {
    if (walkWizard_) {
        walkWizard_->Restore();
        return walkWizard_;
    }
    walkWizard_ = new frmTBWalkWiz(desk_, desk_.frame());
    connect(walkWizard_, &QDialog::finished, walkWizard_, &QObject::deleteLater);
    walkWizard_->LoadWizModal();
    return walkWizard_;
}

namespace {

QList<frmOpenDelete::Entry> profileEntries() {
    QList<frmOpenDelete::Entry> entries;
    for (const MailingChoices::NamedItem& item : MailingChoices::profiles())
        entries.append({item.name, item.description});
    return entries;
}

} // namespace

frmOpenDelete* MailingWizardWindows::openProfilesDialog() {
    auto* dialog =
        new frmOpenDelete(frmOpenDelete::Mode::Open,
                          {openTitle(), QStringLiteral("Select a set of Delivery Options to open:"), {}, {}},
                          profileEntries(), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        // One wizard at a time: the first set chosen.
        const QStringList names = dialog->selectedNames();
        if (!names.isEmpty())
            DeliveryOptionsWindows::OpenTBProfile(desk_, names.first(), 1);
    });
    dialog->open();
    return dialog;
}

frmOpenDelete* MailingWizardWindows::deleteProfilesDialog() {
    auto* dialog = new frmOpenDelete(frmOpenDelete::Mode::Delete,
                                     {deleteTitle(), QStringLiteral("Select the Delivery Options to delete:"),
                                      QStringLiteral("Please select a set of Delivery Options to delete."),
                                      QStringLiteral("Delete the %1 set(s) of Delivery Options ?")},
                                     profileEntries(), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        for (const QString& name : dialog->selectedNames())
            mdlTBProfile::DeleteTBProfile(desk_.prompter(), name);
    });
    dialog->open();
    return dialog;
}
