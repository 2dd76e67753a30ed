#include "send/ui/SendWindows.h"

#include "mailings/Mailings.h"
#include "mailings/ui/DeliveryOptionsWindows.h"
#include "mailings/ui/MailingLauncher.h"
#include "send/ui/ScheduleCheck.h"
#include "send/ui/frmSendAgainWarning.h"
#include "send/ui/frmSendMail.h"

#include <QPointer>
#include <QWidget>

namespace {

frmSendAgainWarning::OpenOptions openOptionsOf(Desk& desk) {
    return [&desk](const QString& name, int page) {
        DeliveryOptionsWindows::OpenTBProfile(desk, name, page);
    };
}

} // namespace

SendWindows::SendWindows(Desk& desk) : QObject(desk.frame()), schedule_(new ScheduleCheck(desk, this)) {
    MailingLauncher::install(
        [](Desk& on, qint32 id, std::function<void()> whenCancelled) { launch(on, id, whenCancelled); });
    schedule_->start();
}

SendWindows::~SendWindows() = default;

frmSendMail* SendWindows::openDialog(Desk& desk) {
    for (frmSendMail* dialog : desk.frame()->findChildren<frmSendMail*>())
        if (dialog->isVisible())
            return dialog;
    return nullptr;
}

frmSendMail* SendWindows::openSendMail(Desk& desk, qint32 id, MailRuns::Trigger trigger) {
    auto* dialog = new frmSendMail(desk.prompter(), id, trigger, true, desk.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOpenOptions(openOptionsOf(desk));
    dialog->open();
    return dialog;
}

void SendWindows::launch(Desk& desk, qint32 id, const std::function<void()>& whenCancelled) {
    const std::optional<Mailing> mailing = Mailings::find(id);
    if (!mailing) {
        desk.prompter().inform(QString(), QStringLiteral("The selected mailing was not found."),
                               Prompter::Icon::Exclamation);
        return;
    }
    if (!Mailings::checkList(desk.prompter(), *mailing))
        return;
    if (mailing->DateSent.isEmpty()) {
        openSendMail(desk, id, MailRuns::Trigger::Desktop);
        return;
    }
    auto* warning = new frmSendAgainWarning(openOptionsOf(desk), desk.frame());
    warning->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(warning, &frmSendAgainWarning::answered, desk.frame(),
                     [&desk, id, whenCancelled](bool ok) {
                         if (ok)
                             openSendMail(desk, id, MailRuns::Trigger::Desktop);
                         else if (whenCancelled)
                             whenCancelled();
                     });
    warning->SetupAndShowSendAgainWarning(*mailing);
}
