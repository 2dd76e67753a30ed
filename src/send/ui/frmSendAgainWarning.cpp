#include "send/ui/frmSendAgainWarning.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLineEdit* readOnlyBox(const char* name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    return box;
}

} // namespace

frmSendAgainWarning::frmSendAgainWarning(OpenOptions openOptions, QWidget* parent)
    : QDialog(parent), openOptions_(std::move(openOptions)), txtMessage_(readOnlyBox("txtMessage", this)),
      txtList_(readOnlyBox("txtList", this)), txtGroup_(readOnlyBox("txtGroup", this)),
      txtDateMailed_(readOnlyBox("txtDateMailed", this)),
      txtTotalMailed_(readOnlyBox("txtTotalMailed", this)) {
    setObjectName(QStringLiteral("frmSendAgainWarning"));
    setWindowTitle(QStringLiteral("Send Mailing Again"));

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto* heading = new QLabel(QStringLiteral("This mailing has been sent before."), this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(heading, 1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Message:"), txtMessage_);
    form->addRow(QStringLiteral("List:"), txtList_);
    form->addRow(QStringLiteral("Group:"), txtGroup_);
    form->addRow(QStringLiteral("Date Mailed:"), txtDateMailed_);
    form->addRow(QStringLiteral("Total Mailed:"), txtTotalMailed_);

    auto* explanation = new QLabel(Mailings::sendAgainExplanation(), this);
    explanation->setObjectName(QStringLiteral("lblExplanation"));
    explanation->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("cmdOK"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setDefault(true);
    QPushButton* options =
        buttons->addButton(QStringLiteral("&Delivery Options..."), QDialogButtonBox::ActionRole);
    options->setObjectName(QStringLiteral("cmdDeliveryOptions"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(options, &QPushButton::clicked, this, [this] {
        if (openOptions_)
            openOptions_(optionsName_, SentFlagPage);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(form);
    layout->addWidget(explanation);
    layout->addWidget(buttons);
    resize(480, layout->sizeHint().height());
}

void frmSendAgainWarning::SetupAndShowSendAgainWarning(const Mailing& mailing) {
    txtMessage_->setText(mailing.MessageName);
    txtList_->setText(mailing.ListName);
    txtGroup_->setText(mailing.TamberlynName);
    txtDateMailed_->setText(mailing.DateSent);
    txtTotalMailed_->setText(QString::number(mailing.SentCount));
    optionsName_ = mailing.Profile;
    open();
}

void frmSendAgainWarning::done(int result) {
    QDialog::done(result);
    if (answered_)
        return;
    answered_ = true;
    Q_EMIT answered(result == Accepted);
}
