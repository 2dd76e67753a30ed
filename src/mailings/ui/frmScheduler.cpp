#include "mailings/ui/frmScheduler.h"

#include "core/AppInfo.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

frmScheduler::frmScheduler(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), dtDateToSend_(new QDateEdit(this)),
      dtTimeToSend_(new QTimeEdit(this)),
      chkActive_(new QCheckBox(QStringLiteral("&Active: send the mailing at this date and time"), this)) {
    setObjectName(QStringLiteral("frmScheduler"));
    setWindowTitle(QStringLiteral("Tamberlyn Schduler"));
    dtDateToSend_->setObjectName(QStringLiteral("dtDateToSend"));
    dtDateToSend_->setCalendarPopup(true);
    dtDateToSend_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dtTimeToSend_->setObjectName(QStringLiteral("dtTimeToSend"));
    dtTimeToSend_->setDisplayFormat(QStringLiteral("HH:mm"));
    chkActive_->setObjectName(QStringLiteral("chkActive"));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOkCancel_0"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &frmScheduler::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdOkCancel_1"));
    connect(cancel, &QPushButton::clicked, this, &frmScheduler::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Date to send:"), dtDateToSend_);
    form->addRow(QStringLiteral("&Time to send:"), dtTimeToSend_);
    form->addRow(chkActive_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

bool frmScheduler::LoadValuesByID(qint32 id) {
    loaded_ = {};
    loaded_.MailEventName = id;
    setWindowTitle(QStringLiteral("Schedule Mailing # ") + QString::number(id));
    const std::optional<Schedules::Schedule> schedule = Schedules::LoadValuesByID(id, Schedules::now());
    if (!schedule) {
        prompter_.inform(AppTitle(), QStringLiteral("The selected mailing was not found."),
                         Prompter::Icon::Exclamation);
        return false;
    }
    loaded_ = *schedule;
    dtDateToSend_->setDate(loaded_.date);
    dtTimeToSend_->setTime(loaded_.time);
    chkActive_->setChecked(loaded_.Active);
    return true;
}

void frmScheduler::accept() {
    Schedules::Schedule edited = loaded_;
    edited.date = dtDateToSend_->date();
    edited.time = dtTimeToSend_->time();
    edited.Active = chkActive_->isChecked();
    if (loaded_.MailEventName == 0 || !Schedules::save(loaded_, edited)) {
        prompter_.inform(AppTitle(), QStringLiteral("The selected mailing was not found."),
                         Prompter::Icon::Exclamation);
        reject();
        return;
    }
    QDialog::accept();
}
