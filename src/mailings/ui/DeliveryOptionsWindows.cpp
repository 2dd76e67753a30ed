#include "mailings/ui/DeliveryOptionsWindows.h"

#include "core/ui/WindowCommand.h"
#include "mailings/ui/frmTBProfileWiz.h"

#include <QApplication>

namespace DeliveryOptionsWindows {

namespace {

frmTBProfileWiz* makeWizard(Desk& desk, QWidget* parent) {
    // Over a modal window (the send-again warning opens the wizard) the wizard must sit on that window,
    // or the window would block it.
    if (!parent)
        parent = QApplication::activeModalWidget();
    auto* wizard = new frmTBProfileWiz(desk.prompter(), parent ? parent : desk.frame());
    QObject::connect(wizard, &QDialog::finished, wizard, &QObject::deleteLater);
    return wizard;
}

} // namespace

frmTBProfileWiz* NewTBProfile(Desk& desk, QWidget* parent) {
    frmTBProfileWiz* wizard = makeWizard(desk, parent);
    wizard->NewProfile();
    wizard->LoadWizModal();
    return wizard;
}

bool OpenTBProfile(Desk& desk, const QString& name, int page, QWidget* parent) {
    frmTBProfileWiz* wizard = makeWizard(desk, parent);
    if (!wizard->LoadProfile(name)) {
        delete wizard;
        return false;
    }
    if (page > 0)
        wizard->GoToPage(page);
    wizard->LoadWizModal();
    return true;
}

} // namespace DeliveryOptionsWindows
