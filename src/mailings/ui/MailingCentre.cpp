#include "mailings/ui/MailingCentre.h"

#include "core/ui/WindowCommand.h"
#include "mailings/Mailings.h"
#include "mailings/ui/MailingWindows.h"
#include "mailings/ui/frmTBCentral.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace MailingCentre {

void StartTBCentral(Desk& desk) {
    if (frmTBCentral* open = frmTBCentral::of(desk)) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(open->parentWidget())) {
            sub->show();
            desk.mdiArea()->setActiveSubWindow(sub);
        }
        return;
    }
    MailingWindows* windows = MailingWindows::of(desk);
    auto* centre = new frmTBCentral(desk, windows ? windows->openers() : frmTBCentral::Openers{});
    if (windows) {
        QObject::connect(centre, &QObject::destroyed, windows, &MailingWindows::UncheckTBCentral);
        windows->checkTBCentral();
    }
    desk.addDocument(centre);
}

qint32 PrepareMailingUpdatingInterface(Desk& desk, const QString& group, const QString& list,
                                       const QString& message, const QString& options) {
    StartTBCentral(desk);
    frmTBCentral* centre = frmTBCentral::of(desk);
    return centre ? centre->PrepareMailingUpdatingInterface(group, list, message, options)
                  : Mailings::PrepareMailing(group, list, message, options);
}

void SendTamberlynIfPossible(Desk& desk) {
    StartTBCentral(desk);
    if (frmTBCentral* centre = frmTBCentral::of(desk))
        centre->SendTamberlynIfPossible();
}

} // namespace MailingCentre
