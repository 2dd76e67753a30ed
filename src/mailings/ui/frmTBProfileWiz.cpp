#include "mailings/ui/frmTBProfileWiz.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "db/DbHelpers.h"
#include "mailings/MailingChoices.h"
#include "mailings/ui/MailingWindowServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

namespace {

// The settings section of the user's last choices.
QString defaultsSection() {
    return QStringLiteral("ApplicationDefaults");
}

QString exampleAddress() {
    return QStringLiteral("yourname@yourcompany.com");
}

QLabel* note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString numberText(qint64 value) {
    return QString::number(value);
}

} // namespace

QString frmTBProfileWiz::missingSetText(const QString& name) {
    return QStringLiteral("The Mail Delivery Options named ") + name +
           QStringLiteral(" is no longer available or is damaged. ") +
           QStringLiteral("You can either re-create it, or delete the reference to it and try another.");
}

QString frmTBProfileWiz::invalidNameText() {
    return QStringLiteral("Please Enter a Valid Filename. A valid filename cannot conatain the following "
                          "characters:    \"  *  ?  /  \\  |  :  ;   the file must also begin with a letter "
                          "or a number.");
}

QString frmTBProfileWiz::newName(const QDateTime& now) {
    return QStringLiteral("New  ") + QLocale::c().toString(now, QStringLiteral("MMM-dd-yyyy HH.mm.ss"));
}

frmTBProfileWiz::frmTBProfileWiz(Prompter& prompter, QWidget* parent) : frmWizard(prompter, parent) {
    setObjectName(QStringLiteral("frmTBProfileWiz"));
    buildIntroPage();
    buildNamePage();
    buildAddressPage();
    buildFilterPage();
    buildBlockPage();
    buildTimingPage();
    buildServerPage();
    narrowNumberBoxes();
    setTitle(newTitle());
    // A set can be stored from any step: Finish checks every step first.
    setFinishEnabled(true);
    resize(640, 460);
}

void frmTBProfileWiz::buildIntroPage() {
    QWidget* page = addPage(newTitle());
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(
        note(QStringLiteral("A set of delivery options says how a mailing goes out: who sends it, "
                            "which addresses of the list receive it, how each served recipient is "
                            "marked, how many are served in one run and how fast the messages "
                            "leave."),
             page));
    lblCurrentProfile_ = named(new QLabel(page), "lblCurrentProfile");
    layout->addWidget(lblCurrentProfile_);
    layout->addWidget(
        note(QStringLiteral("Press Next to go through the steps, or Finish to save the set."), page));
    layout->addStretch(1);
}

void frmTBProfileWiz::buildNamePage() {
    QWidget* page =
        addPage(newTitle(), QStringLiteral("What do you want to call this set of Delivery Options?"));
    auto* form = new QFormLayout(page);
    txtTBProfile_ = named(new QLineEdit(page), "txtTBProfile");
    txtTBProfile_->setMaxLength(int(MaxNameLength));
    txtMEDescription_ = named(new QLineEdit(page), "txtMEDescription");
    form->addRow(QStringLiteral("&Name:"), txtTBProfile_);
    form->addRow(QStringLiteral("&Description:"), txtMEDescription_);
    connect(txtTBProfile_, &QLineEdit::editingFinished, this, &frmTBProfileWiz::checkNameBox);
}

void frmTBProfileWiz::buildAddressPage() {
    QWidget* page = addPage(newTitle(), QStringLiteral("Who sends the messages, and where do replies go?"));
    auto* form = new QFormLayout(page);
    txtFromField_ = named(new QLineEdit(page), "txtFromField");
    txtReplyTo_ = named(new QLineEdit(page), "txtReplyTo");
    txtErrorsTo_ = named(new QLineEdit(page), "txtErrorsTo");
    txtURL_ = named(new QLineEdit(page), "txtURL");
    form->addRow(QStringLiteral("&From:"), txtFromField_);
    form->addRow(QStringLiteral("&Reply To:"), txtReplyTo_);
    form->addRow(QStringLiteral("&Errors To:"), txtErrorsTo_);
    form->addRow(QStringLiteral("Web site (&URL):"), txtURL_);
    form->addRow(note(QStringLiteral("Reply To, Errors To and the web site may stay empty; each then adds no "
                                     "header to the messages."),
                      page));
}

void frmTBProfileWiz::buildFilterPage() {
    QWidget* page = addPage(newTitle(), QStringLiteral("Which addresses of the list receive the mailing?"));
    auto* layout = new QVBoxLayout(page);
    optSendAll_ =
        named(new QRadioButton(QStringLiteral("Send to &every address of the list"), page), "optSendAll");
    optSendFiltered_ =
        named(new QRadioButton(QStringLiteral("Send only to the addresses that match this &filter:"), page),
              "optSendFiltered");
    txtSQLFilter_ = named(new QPlainTextEdit(page), "txtSQLFilter");
    txtSQLFilter_->setTabChangesFocus(true);
    txtSQLFilter_->setMaximumHeight(txtSQLFilter_->fontMetrics().lineSpacing() * 6);
    cmbFilterList_ = named(new QComboBox(page), "cmbFilterList");
    auto* build = named(new QPushButton(QStringLiteral("&Build Filter..."), page), "cmdSSApplyFilter");
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Columns of the list:"), page));
    row->addWidget(cmbFilterList_, 1);
    row->addWidget(build);
    layout->addWidget(optSendAll_);
    layout->addWidget(optSendFiltered_);
    layout->addWidget(txtSQLFilter_);
    layout->addLayout(row);
    layout->addStretch(1);
    connect(optSendFiltered_, &QRadioButton::toggled, this, &frmTBProfileWiz::updateEnabled);
    connect(build, &QPushButton::clicked, this, &frmTBProfileWiz::applyFilter);
}

void frmTBProfileWiz::buildBlockPage() {
    QWidget* page = addPage(newTitle(), QStringLiteral("Marking the recipients, and sending in blocks"));
    auto* grid = new QGridLayout(page);
    chkFlagSends_ =
        named(new QCheckBox(QStringLiteral("&Mark each recipient the server accepted with:"), page),
              "chkFlagSends");
    txtSentFlag_ = named(new QLineEdit(page), "txtSentFlag");
    optBlockSendAll_ = named(new QRadioButton(QStringLiteral("Send to &all the addresses selected"), page),
                             "optBlockSendAll");
    optBlockSendToN_ = named(new QRadioButton(QStringLiteral("Send to the &first"), page), "optBlockSendToN");
    txtBlockSendNumber_ = named(new QLineEdit(page), "txtBlockSendNumber");
    chkIfNotYetFlagged_ =
        named(new QCheckBox(QStringLiteral("&Only to the addresses not yet marked with:"), page),
              "chkIfNotYetFlagged");
    txtSentFlagToCheck_ = named(new QLineEdit(page), "txtSentFlagToCheck");
    grid->addWidget(chkFlagSends_, 0, 0);
    grid->addWidget(txtSentFlag_, 0, 1);
    grid->addWidget(optBlockSendAll_, 1, 0, 1, 2);
    grid->addWidget(optBlockSendToN_, 2, 0);
    auto* count = new QHBoxLayout;
    count->addWidget(txtBlockSendNumber_);
    count->addWidget(new QLabel(QStringLiteral("addresses"), page));
    count->addStretch(1);
    grid->addLayout(count, 2, 1);
    grid->addWidget(chkIfNotYetFlagged_, 3, 0);
    grid->addWidget(txtSentFlagToCheck_, 3, 1);
    grid->addWidget(note(QStringLiteral("Marking the served recipients and sending only to those not yet "
                                        "marked lets a large list go out in several runs, none of them "
                                        "mailing anyone twice."),
                         page),
                    4, 0, 1, 2);
    grid->setRowStretch(5, 1);
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(chkFlagSends_), static_cast<QAbstractButton*>(optBlockSendToN_),
          static_cast<QAbstractButton*>(chkIfNotYetFlagged_)})
        connect(button, &QAbstractButton::toggled, this, &frmTBProfileWiz::updateEnabled);
}

void frmTBProfileWiz::buildTimingPage() {
    QWidget* page = addPage(newTitle(), QStringLiteral("Pacing the mailing"));
    auto* grid = new QGridLayout(page);
    chkSSTimedBlocks_ = named(new QCheckBox(QStringLiteral("Send in &blocks of"), page), "chkSSTimedBlocks");
    txtTimedBlockSize_ = named(new QLineEdit(page), "txtTimedBlockSize");
    txtTimeIncr_ = named(new QLineEdit(page), "txtTimeIncr");
    chkSSInsertDelay_ = named(new QCheckBox(QStringLiteral("Insert a &delay of"), page), "chkSSInsertDelay");
    txtMsgDelay_ = named(new QLineEdit(page), "txtMsgDelay");
    grid->addWidget(chkSSTimedBlocks_, 0, 0);
    grid->addWidget(txtTimedBlockSize_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("messages, then wait"), page), 0, 2);
    grid->addWidget(txtTimeIncr_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("minutes"), page), 0, 4);
    grid->addWidget(chkSSInsertDelay_, 1, 0);
    grid->addWidget(txtMsgDelay_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("tenths of a second before each message"), page), 1, 2, 1, 3);
    grid->addWidget(note(QStringLiteral("Pauses keep a mail server that limits how fast it accepts mail from "
                                        "refusing the mailing."),
                         page),
                    2, 0, 1, 6);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(5, 1);
    connect(chkSSTimedBlocks_, &QCheckBox::toggled, this, &frmTBProfileWiz::updateEnabled);
    connect(chkSSInsertDelay_, &QCheckBox::toggled, this, &frmTBProfileWiz::updateEnabled);
}

void frmTBProfileWiz::buildServerPage() {
    QWidget* page = addPage(newTitle(), QStringLiteral("Which mail server sends the mailing?"));
    auto* form = new QFormLayout(page);
    txtSMTPServer_ = named(new QLineEdit(page), "txtSMTPServer");
    form->addRow(QStringLiteral("&SMTP server:"), txtSMTPServer_);
    spnConnections_ = named(new QSpinBox(page), "spnConnections");
    spnConnections_->setRange(1, MailEvent::MaxConnections);
    form->addRow(QStringLiteral("Sessions at &once:"), spnConnections_);
    // Providers cap what a sender may send; 0 is no cap.
    const auto limitBox = [page](const char* name) {
        auto* box = named(new QSpinBox(page), name);
        box->setRange(0, 10000000);
        box->setSpecialValueText(QStringLiteral("No limit"));
        return box;
    };
    spnMaxPerHour_ = limitBox("spnMaxPerHour");
    form->addRow(QStringLiteral("At most per &hour:"), spnMaxPerHour_);
    spnMaxPerDay_ = limitBox("spnMaxPerDay");
    form->addRow(QStringLiteral("At most per &day:"), spnMaxPerDay_);
    form->addRow(
        note(QStringLiteral("Left empty, the server of the program's options is used. Press Finish to "
                            "save this set of delivery options."),
             page));
}

void frmTBProfileWiz::narrowNumberBoxes() {
    // Counts hold a few digits; a narrow box says so.
    const int width = fontMetrics().horizontalAdvance(QStringLiteral("0000000000"));
    for (QLineEdit* box : {txtBlockSendNumber_, txtTimedBlockSize_, txtTimeIncr_, txtMsgDelay_})
        box->setMaximumWidth(width);
}

void frmTBProfileWiz::setTitle(const QString& title) {
    for (int page = 0; page < pageCount(); ++page)
        setPageTitle(page, title);
    setHeading(IntroPage, title);
}

void frmTBProfileWiz::NewProfile() {
    MailEvent record;
    if (!record.GetMEPFromDB(MailingChoices::defaultProfileName()))
        record.setDefaults();
    record.MailEventName = newName(QDateTime::currentDateTime());
    record.Description.clear();
    loaded_ = record;
    loadedName_.clear();
    setTitle(newTitle());
    lblCurrentProfile_->hide();
    LoadProfileWizard();
}

bool frmTBProfileWiz::LoadProfile(const QString& name) {
    MailEvent record;
    if (!record.GetMEPFromDB(name)) {
        prompter().inform(missingSetTitle(), missingSetText(name), Prompter::Icon::Exclamation);
        return false;
    }
    loaded_ = record;
    loadedName_ = record.MailEventName;
    setTitle(modifyTitle());
    lblCurrentProfile_->setText(QStringLiteral("Current Profile Name:") + u' ' + loadedName_);
    lblCurrentProfile_->show();
    LoadProfileWizard();
    return true;
}

void frmTBProfileWiz::LoadProfileWizard() {
    const MailEvent& r = loaded_;
    txtTBProfile_->setText(r.MailEventName);
    txtTBProfile_->setModified(false);
    txtMEDescription_->setText(r.Description);
    txtFromField_->setText(r.From);
    txtReplyTo_->setText(r.ReplyTo);
    txtErrorsTo_->setText(r.ErrorsTo);
    txtURL_->setText(r.X_URL);
    (r.bSendFiltered ? optSendFiltered_ : optSendAll_)->setChecked(true);
    txtSQLFilter_->setPlainText(r.SQLFilterText);
    cmbFilterList_->clear();
    cmbFilterList_->addItem(QString());
    cmbFilterList_->addItems(MailingChoices::listNames());
    const QString currentList = AppGetSetting(defaultsSection(), QStringLiteral("CurList"), QString());
    if (const int index = cmbFilterList_->findText(currentList); index > 0)
        cmbFilterList_->setCurrentIndex(index);
    chkFlagSends_->setChecked(r.bFlagSends);
    txtSentFlag_->setText(r.SentFlag);
    (r.bSendInBlocks ? optBlockSendToN_ : optBlockSendAll_)->setChecked(true);
    txtBlockSendNumber_->setText(numberText(r.SendBlockSize));
    chkIfNotYetFlagged_->setChecked(r.bIfNotYetFlagged);
    txtSentFlagToCheck_->setText(r.SentFlagToCheck);
    chkSSTimedBlocks_->setChecked(r.bTimedBlocks);
    txtTimedBlockSize_->setText(numberText(r.TimedBlockSize));
    txtTimeIncr_->setText(numberText(r.TimeIncrement));
    chkSSInsertDelay_->setChecked(r.bInsertTimeDelay);
    txtMsgDelay_->setText(numberText(r.TimeDelay));
    txtSMTPServer_->setText(r.SmtpServer);
    spnConnections_->setValue(r.sessionCount());
    spnMaxPerHour_->setValue(qMax(0, int(r.MaxPerHour)));
    spnMaxPerDay_->setValue(qMax(0, int(r.MaxPerDay)));
    updateEnabled();
}

void frmTBProfileWiz::GoToPage(int n) {
    jumpToPage(n - 1);
}

void frmTBProfileWiz::ForceUnload() {
    done(QDialog::Rejected);
}

QString frmTBProfileWiz::profileName() const {
    return txtTBProfile_->text().trimmed();
}

MailEvent frmTBProfileWiz::record() const {
    MailEvent r = loaded_;
    const auto number = [](const QLineEdit* box, qint64 fallback) {
        bool ok = false;
        const qint64 value = box->text().trimmed().toLongLong(&ok);
        return ok ? value : fallback;
    };
    r.MailEventName = profileName();
    r.Description = txtMEDescription_->text();
    r.From = txtFromField_->text().trimmed();
    r.ReplyTo = txtReplyTo_->text().trimmed();
    r.ErrorsTo = txtErrorsTo_->text().trimmed();
    r.X_URL = txtURL_->text().trimmed();
    r.bSendFiltered = optSendFiltered_->isChecked();
    r.SQLFilterText = txtSQLFilter_->toPlainText().trimmed();
    r.bFlagSends = chkFlagSends_->isChecked();
    r.SentFlag = txtSentFlag_->text();
    r.bSendInBlocks = optBlockSendToN_->isChecked();
    r.SendBlockSize = qint32(number(txtBlockSendNumber_, loaded_.SendBlockSize));
    r.bIfNotYetFlagged = chkIfNotYetFlagged_->isChecked();
    r.SentFlagToCheck = txtSentFlagToCheck_->text();
    r.bTimedBlocks = chkSSTimedBlocks_->isChecked();
    r.TimedBlockSize = qint32(number(txtTimedBlockSize_, loaded_.TimedBlockSize));
    r.TimeIncrement = qint16(number(txtTimeIncr_, loaded_.TimeIncrement));
    r.bInsertTimeDelay = chkSSInsertDelay_->isChecked();
    r.TimeDelay = qint32(number(txtMsgDelay_, loaded_.TimeDelay));
    r.SmtpServer = txtSMTPServer_->text().trimmed();
    r.Connections = spnConnections_->value();
    r.MaxPerHour = spnMaxPerHour_->value();
    r.MaxPerDay = spnMaxPerDay_->value();
    return r;
}

void frmTBProfileWiz::updateEnabled() {
    const bool filtered = optSendFiltered_->isChecked();
    txtSQLFilter_->setEnabled(filtered);
    cmbFilterList_->setEnabled(filtered);
    findChild<QPushButton*>(QStringLiteral("cmdSSApplyFilter"))->setEnabled(filtered);
    txtSentFlag_->setEnabled(chkFlagSends_->isChecked());
    const bool blocks = optBlockSendToN_->isChecked();
    txtBlockSendNumber_->setEnabled(blocks);
    chkIfNotYetFlagged_->setEnabled(blocks);
    txtSentFlagToCheck_->setEnabled(blocks && chkIfNotYetFlagged_->isChecked());
    txtTimedBlockSize_->setEnabled(chkSSTimedBlocks_->isChecked());
    txtTimeIncr_->setEnabled(chkSSTimedBlocks_->isChecked());
    txtMsgDelay_->setEnabled(chkSSInsertDelay_->isChecked());
}

void frmTBProfileWiz::applyFilter() {
    const QString list = cmbFilterList_->currentText();
    if (list.isEmpty()) {
        prompter().inform(AppTitle(), QStringLiteral("You must select a list first"),
                          Prompter::Icon::Exclamation);
        return;
    }
    const QString file = MailingChoices::listFile(list);
    if (file.isEmpty() || !QFileInfo::exists(file)) {
        prompter().inform(AppTitle(), QStringLiteral("List file not found"), Prompter::Icon::Exclamation);
        return;
    }
    if (const auto& build = MailingWindowServices::services().buildFilter)
        build(this, file, [this](const QString& clause) {
            txtSQLFilter_->setPlainText(clause);
            optSendFiltered_->setChecked(true);
        });
}

void frmTBProfileWiz::checkNameBox() {
    // Only a name typed since the last look is judged: the message box itself takes the focus away.
    if (!txtTBProfile_->isModified())
        return;
    txtTBProfile_->setModified(false);
    const QString name = profileName();
    if (name.isEmpty())
        prompter().inform(AppTitle(), emptyNameText(), Prompter::Icon::Exclamation);
    else if (!IsValidFileName(name))
        prompter().inform(AppTitle(), invalidNameText(), Prompter::Icon::Exclamation);
}

bool frmTBProfileWiz::checkPage(int page) {
    switch (page) {
    case NamePage:
        return checkName();
    case AddressPage:
        return checkAddresses();
    case BlockPage:
        return checkBlocks();
    case TimingPage:
        return checkTiming();
    default:
        return true;
    }
}

bool frmTBProfileWiz::checkName() {
    const QString name = profileName();
    const auto refuse = [this](const QString& text) {
        prompter().inform(AppTitle(), text, Prompter::Icon::Exclamation);
        txtTBProfile_->setFocus();
        return false;
    };
    if (name.isEmpty())
        return refuse(emptyNameText());
    if (!IsValidFileName(name))
        return refuse(invalidNameText());
    if (const QString refusal = NameRefusal(MailEvent::nameKind(), name); !refusal.isEmpty())
        return refuse(refusal);
    // Every other existing set is asked about, those named "New ..." as well: saving replaces it.
    if (name != loadedName_ && name != confirmedOverwrite_ && MailingChoices::profileExists(name)) {
        if (prompter().ask(AppTitle(), QStringLiteral("That Delivery Options name is being used. Overwrite?"),
                           Prompter::Buttons::YesNo, Prompter::Icon::Question) != Prompter::Answer::Yes) {
            txtTBProfile_->setFocus();
            return false;
        }
        confirmedOverwrite_ = name;
    }
    return true;
}

bool frmTBProfileWiz::checkAddress(QLineEdit* box, const QString& which, bool required) {
    const QString address = box->text().trimmed();
    if (address.isEmpty() && !required)
        return true;
    if (address.isEmpty()) {
        prompter().inform(
            AppTitle(), QStringLiteral("The 'From' address is required. Please enter a valid email address."),
            Prompter::Icon::Exclamation);
    } else if (!IsValidEmailAddress(address)) {
        prompter().inform(QStringLiteral("Invalid '") + which + QStringLiteral("' Address"),
                          QStringLiteral("The '") + which + QStringLiteral("' address is invalid.  ") +
                              QStringLiteral("Please re-enter using a valid email address format.  ") +
                              u'\n' + QStringLiteral("For example: ") + exampleAddress(),
                          Prompter::Icon::Exclamation);
    } else {
        return true;
    }
    box->setFocus();
    box->selectAll();
    return false;
}

bool frmTBProfileWiz::checkAddresses() {
    return checkAddress(txtFromField_, QStringLiteral("From"), true) &&
           checkAddress(txtReplyTo_, QStringLiteral("Reply To"), false) &&
           checkAddress(txtErrorsTo_, QStringLiteral("Errors To"), false);
}

bool frmTBProfileWiz::checkCount(QLineEdit* box, int minimum, int maximum, const QString& text) {
    bool ok = false;
    const qint64 value = box->text().trimmed().toLongLong(&ok);
    if (ok && value >= minimum && value <= maximum)
        return true;
    prompter().inform(AppTitle(), text, Prompter::Icon::Exclamation);
    box->setFocus();
    box->selectAll();
    return false;
}

bool frmTBProfileWiz::checkBlocks() {
    // A count of 0 would serve nobody; the counts are whole numbers from 1.
    return !optBlockSendToN_->isChecked() ||
           checkCount(txtBlockSendNumber_, 1, std::numeric_limits<qint32>::max(),
                      QStringLiteral("Please enter a number for 'Send to the First' addresses."));
}

bool frmTBProfileWiz::checkTiming() {
    if (chkSSTimedBlocks_->isChecked() &&
        (!checkCount(txtTimedBlockSize_, 1, std::numeric_limits<qint32>::max(),
                     QStringLiteral("Please enter a number for 'Send in Blocks'.")) ||
         !checkCount(txtTimeIncr_, 1, std::numeric_limits<qint16>::max(),
                     QStringLiteral("Please enter a number for 'Wait __ Minutes'."))))
        return false;
    return !chkSSInsertDelay_->isChecked() ||
           checkCount(txtMsgDelay_, 0, MailEvent::MaxTimeDelay,
                      QStringLiteral("Please enter a number for 'Insert a Delay'."));
}

bool frmTBProfileWiz::finishWizard() {
    for (int page = NamePage; page <= TimingPage; ++page) {
        if (!checkPage(page)) {
            jumpToPage(page);
            return false;
        }
    }
    const MailEvent r = record();
    if (!r.storeMEP()) {
        prompter().inform(AppTitle(),
                          QStringLiteral("The delivery options '") + r.MailEventName +
                              QStringLiteral("' could not be saved; the error log says why."),
                          Prompter::Icon::Critical);
        return false;
    }
    AppSaveSetting(defaultsSection(), QStringLiteral("MailEventProfile"), r.MailEventName);
    loaded_ = r;
    loadedName_ = r.MailEventName;
    Q_EMIT profileStored(r.MailEventName);
    return true;
}
