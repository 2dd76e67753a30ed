#include "send/ui/frmSendErrorNoAddr.h"

#include "mailings/mdlTBProfile.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* paragraph(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    return label;
}

} // namespace

QString frmSendErrorNoAddr::reasonText() {
    return QStringLiteral("This occurs if you have previously sent this mailing and the mailing list 'Sent' "
                          "field is currently marked with the current 'Sent' flag.");
}

QString frmSendErrorNoAddr::newMailingText() {
    return QStringLiteral(
        "If this is a new mailing then it is possible that you have asked it to check for a "
        "'Sent' flag that is the same as a flag you have used in a previous mailing.");
}

QString frmSendErrorNoAddr::changeText() {
    return QStringLiteral("You can change the current 'Sent' flag marker in the box provided below.");
}

frmSendErrorNoAddr::frmSendErrorNoAddr(Prompter& prompter, const QString& optionsName, QWidget* parent)
    : QDialog(parent), prompter_(prompter), optionsName_(optionsName), txtSentFlag_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("frmSendErrorNoAddr"));
    setWindowTitle(QStringLiteral("No Addresses to Send To"));

    txtSentFlag_->setObjectName(QStringLiteral("txtSentFlag"));
    txtSentFlag_->setText(mdlTBProfile::SentFlagOf(optionsName_).value_or(QString()));
    auto* change = new QPushButton(QStringLiteral("C&hange 'Sent' Flag"), this);
    change->setObjectName(QStringLiteral("cmdChange"));
    connect(change, &QPushButton::clicked, this, &frmSendErrorNoAddr::changeFlag);
    auto* flagRow = new QHBoxLayout;
    flagRow->addWidget(
        new QLabel(QStringLiteral("'Sent' flag of '") + optionsName_ + QStringLiteral("':"), this));
    flagRow->addWidget(txtSentFlag_, 1);
    flagRow->addWidget(change);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(paragraph(reasonText(), "lblReason", this));
    layout->addWidget(paragraph(newMailingText(), "lblNewMailing", this));
    layout->addWidget(paragraph(changeText(), "lblChange", this));
    layout->addLayout(flagRow);
    layout->addWidget(buttons);
    resize(460, layout->sizeHint().height());
}

void frmSendErrorNoAddr::changeFlag() {
    const QString newText = txtSentFlag_->text().trimmed();
    const std::optional<QString> oldText = mdlTBProfile::SentFlagOf(optionsName_);
    if (newText.isEmpty()) {
        // Unmarked rows have an empty Sent column: an empty flag would pass over every one of them.
        prompter_.inform(windowTitle(), QStringLiteral("Please enter a 'Sent' flag that is not empty."),
                         Prompter::Icon::Exclamation);
        return;
    }
    if (oldText && *oldText == newText)
        return;
    mdlTBProfile::ChangeSentFlag(prompter_, optionsName_, newText);
}
