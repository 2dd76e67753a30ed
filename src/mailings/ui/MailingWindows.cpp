#include "mailings/ui/MailingWindows.h"

#include "core/AppInfo.h"
#include "core/ui/frmOpenDelete.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "mailings/ui/MailingCentre.h"
#include "mailings/ui/frmTamberlynGroupOptions.h"

#include <QAction>
#include <QPushButton>

namespace {

QList<frmOpenDelete::Entry> groupEntries() {
    QList<frmOpenDelete::Entry> entries;
    for (const mdlTamberlynGroupOptions::Group& group : mdlTamberlynGroupOptions::Groups())
        entries.append({group.TamberlynName, group.TamberlynDescription});
    return entries;
}

} // namespace

MailingWindows::MailingWindows(Desk& desk, frmTBCentral::Openers openers)
    : QObject(desk.frame()), desk_(desk), openers_(std::move(openers)) {
    setObjectName(QStringLiteral("MailingWindows"));
}

MailingWindows* MailingWindows::of(Desk& desk) {
    return desk.frame()->findChild<MailingWindows*>(QStringLiteral("MailingWindows"),
                                                    Qt::FindDirectChildrenOnly);
}

QList<WindowCommand> MailingWindows::commands() {
    return {
        WindowCommand(QStringLiteral("id_NewTB"), QStringLiteral("New Mailing &Group"),
                      [this] { newGroupDialog(); })
            .inMenu(Menu::File, 1, 4),
        WindowCommand(QStringLiteral("id_OpenTB"), QStringLiteral("Open Mailing Gro&up..."),
                      [this] { openGroupDialog(); })
            .inMenu(Menu::File, 2, 4),
        WindowCommand(QStringLiteral("id_DeleteTB"), QStringLiteral("Delete Mailing G&roup..."),
                      [this] { deleteGroupDialog(); })
            .inMenu(Menu::File, 5, 4),
        WindowCommand(QStringLiteral("id_FileSendTamberlyn"), QStringLiteral("Sen&d Mailing..."),
                      [this] { MailingCentre::SendTamberlynIfPossible(desk_); })
            .inMenu(Menu::File, 6, 1)
            .onToolbar(3, 2)
            .withIcon(QStyle::SP_ArrowForward),
        WindowCommand(QStringLiteral("id_TBCentral"), QStringLiteral("Tamberlyn &Central"),
                      [this] { MailingCentre::StartTBCentral(desk_); })
            .inMenu(Menu::Central, 1, 1)
            .onToolbar(3, 1)
            .onSideBar(SideBarGroup::Central, 2, QStringLiteral("Tamberlyn Central"))
            .withIcon(QStyle::SP_ComputerIcon),
        // The side bar's entry for the group functions opens their window.
        WindowCommand(QStringLiteral("id_TBGroups"), QStringLiteral("Tamberlyn &Groups..."),
                      [this] { showGroupOptions(); })
            .onSideBar(SideBarGroup::Central, 4, QStringLiteral("Tamberlyn Groups")),
    };
}

void MailingWindows::checkTBCentral() {
    if (!centralAction_)
        centralAction_ = desk_.frame()->findChild<QAction*>(QStringLiteral("id_TBCentral"));
    if (centralAction_) {
        centralAction_->setCheckable(true);
        centralAction_->setChecked(true);
    }
}

void MailingWindows::UncheckTBCentral() {
    // Also called while the main window closes: no call on the window itself.
    if (centralAction_)
        centralAction_->setChecked(false);
}

void MailingWindows::showGroupOptions() {
    auto* window = new frmTamberlynGroupOptions({[this] { newGroupDialog(); }, [this] { openGroupDialog(); },
                                                 [this] {
                                                     deleteGroupDialog();
                                                 }},
                                                desk_.frame());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->open();
}

void MailingWindows::newGroupDialog() {
    auto* dialog = new frmOpenDelete(frmOpenDelete::Mode::Save,
                                     {QStringLiteral("New Tamberlyn Group"),
                                      QStringLiteral("Select a name to save your Tamberlyn Group as:"),
                                      {},
                                      {}},
                                     groupEntries(), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    Prompter& prompter = desk_.prompter();
    // The name test of the shared dialog first, then the group's own (a name taken keeps the dialog open).
    dialog->setNameCheck([&prompter, dialog](const QString& name, const QString& description) {
        if (name.isEmpty() || name.contains(u'\'') || !IsValidFileName(name)) {
            prompter.inform(dialog->windowTitle(), frmOpenDelete::invalidNameText(),
                            Prompter::Icon::Exclamation);
            return false;
        }
        return mdlTamberlynGroupOptions::CreateTamberlynGroup(prompter, name, description);
    });
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (frmTBCentral* centre = frmTBCentral::of(desk_))
            centre->selectGroup(dialog->newName());
    });
    dialog->open();
}

void MailingWindows::openGroupDialog() {
    auto* dialog = new frmOpenDelete(frmOpenDelete::Mode::Open,
                                     {QStringLiteral("Open Tamberlyn Group"),
                                      QStringLiteral("Select a Tamberlyn Group from the list to open:"),
                                      {},
                                      {}},
                                     groupEntries(), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const QStringList names = dialog->selectedNames();
        MailingCentre::StartTBCentral(desk_);
        if (frmTBCentral* centre = frmTBCentral::of(desk_); centre && !names.isEmpty())
            centre->selectGroup(names.first());
    });
    dialog->open();
}

void MailingWindows::deleteGroupDialog() {
    // The open dialog's list, asking about each group chosen.
    auto* dialog = new frmOpenDelete(frmOpenDelete::Mode::Open,
                                     {QStringLiteral("Delete Tamberlyn Group"),
                                      QStringLiteral("Select a Tamberlyn Group from the list to delete:"),
                                      {},
                                      {}},
                                     groupEntries(), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")))
        ok->setText(QStringLiteral("&Delete"));
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        Prompter& prompter = desk_.prompter();
        for (const QString& name : dialog->selectedNames())
            if (prompter.ask(AppTitle(),
                             QStringLiteral("Are you sure you wish to delete the group '") + name +
                                 QStringLiteral("'?"),
                             Prompter::Buttons::YesNo, Prompter::Icon::Question) == Prompter::Answer::Yes)
                mdlTamberlynGroupOptions::DeleteTamberlynGroup(prompter, name);
    });
    dialog->open();
}
