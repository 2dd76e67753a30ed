#include "harvest/ui/frmSearchOptions.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

frmSearchOptions::frmSearchOptions(const EmailSrcFileObj& options, QWidget* parent)
    : QDialog(parent), options_(options) {
    setObjectName(QStringLiteral("frmSearchOptions"));
    setWindowTitle(QStringLiteral("Email Address Search Options"));

    auto* group = new QGroupBox(QStringLiteral("Specify how this file is to be searched"), this);
    optAll_ = named(new QRadioButton(QStringLiteral("Use all Email addresses found in this file"), group),
                    "optAll");
    optPredefined_ = named(new QRadioButton(QStringLiteral("Use addresses after:"), group), "optPredefined");
    chkFrom_ = named(new QCheckBox(QStringLiteral("FROM:"), group), "chkFrom");
    chkTo_ = named(new QCheckBox(QStringLiteral("TO:"), group), "chkTo");
    chkCC_ = named(new QCheckBox(QStringLiteral("CC:"), group), "chkCC");
    chkBCC_ = named(new QCheckBox(QStringLiteral("BCC:"), group), "chkBCC");
    optUserDefined_ = named(
        new QRadioButton(QStringLiteral("Use addresses after the following text:"), group), "optUserDefined");
    chkText_ = named(new QCheckBox(QStringLiteral("The following text:"), group), "chkText");
    txtLookAfter_ = named(new QLineEdit(group), "txtLookAfter");

    auto* grid = new QGridLayout(group);
    grid->addWidget(optAll_, 0, 0, 1, 3);
    grid->addWidget(optPredefined_, 1, 0, 1, 3);
    auto* headers = new QHBoxLayout;
    for (QCheckBox* box : {chkFrom_, chkTo_, chkCC_, chkBCC_})
        headers->addWidget(box);
    headers->addStretch(1);
    grid->addLayout(headers, 2, 1, 1, 2);
    grid->addWidget(optUserDefined_, 3, 0, 1, 3);
    grid->addWidget(chkText_, 4, 1);
    grid->addWidget(txtLookAfter_, 4, 2);
    grid->setColumnMinimumWidth(0, 20);

    for (QRadioButton* option : {optAll_, optPredefined_, optUserDefined_})
        connect(option, &QRadioButton::toggled, this, &frmSearchOptions::updateControls);
    connect(optUserDefined_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            chkText_->setChecked(true);
    });
    connect(chkText_, &QCheckBox::toggled, this, &frmSearchOptions::updateControls);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    load(options);
}

void frmSearchOptions::SetDefaults() {
    EmailSrcFileObj defaults = options_;
    defaults.SetDefaults();
    load(defaults);
}

void frmSearchOptions::load(const EmailSrcFileObj& options) {
    const bool headers = options.from || options.to || options.cc || options.bcc;
    if (options.scope == EmailSrcFileObj::Scope::All)
        optAll_->setChecked(true);
    else if (options.userHeader && !headers)
        optUserDefined_->setChecked(true);
    else
        optPredefined_->setChecked(true);
    chkFrom_->setChecked(options.from);
    chkTo_->setChecked(options.to);
    chkCC_->setChecked(options.cc);
    chkBCC_->setChecked(options.bcc);
    chkText_->setChecked(options.userHeader);
    txtLookAfter_->setText(options.userHeaderText);
    updateControls();
}

void frmSearchOptions::updateControls() {
    const bool predefined = optPredefined_->isChecked();
    for (QCheckBox* box : {chkFrom_, chkTo_, chkCC_, chkBCC_})
        box->setEnabled(predefined);
    const bool user = optUserDefined_->isChecked();
    chkText_->setVisible(user);
    txtLookAfter_->setVisible(user && chkText_->isChecked());
}

EmailSrcFileObj frmSearchOptions::RememberOptions() const {
    EmailSrcFileObj options = options_;
    options.scope = optAll_->isChecked() ? EmailSrcFileObj::Scope::All : EmailSrcFileObj::Scope::Headers;
    const bool predefined = optPredefined_->isChecked();
    options.from = predefined && chkFrom_->isChecked();
    options.to = predefined && chkTo_->isChecked();
    options.cc = predefined && chkCC_->isChecked();
    options.bcc = predefined && chkBCC_->isChecked();
    options.userHeader =
        optUserDefined_->isChecked() && chkText_->isChecked() && !txtLookAfter_->text().trimmed().isEmpty();
    options.userHeaderText = options.userHeader ? txtLookAfter_->text().trimmed() : QString();
    return options;
}
