#include "app/ui/frmConfiguration.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/SecretStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString Defaults = QStringLiteral("ApplicationDefaults");

QLabel* explanation(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.92);
    label->setFont(small);
    return label;
}

} // namespace

UpDownControl::UpDownControl(int minimum, int maximum, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(maximum), value_(minimum) {
    auto* up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setAutoRepeat(true);
    auto* down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setAutoRepeat(true);
    for (QToolButton* button : {up, down}) {
        button->setFixedSize(18, 12);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(up, &QToolButton::clicked, this, [this] { setValue(value_ + 1); });
    connect(down, &QToolButton::clicked, this, [this] { setValue(value_ - 1); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up);
    layout->addWidget(down);
}

void UpDownControl::setValue(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_)
        return;
    value_ = value;
    Q_EMIT valueChanged(value_);
}

frmConfiguration::frmConfiguration(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), server_(new QLineEdit(this)), port_(new QLineEdit(this)),
      security_(new QComboBox(this)), userName_(new QLineEdit(this)), password_(new QLineEdit(this)),
      sender_(new QLineEdit(this)),
      rcptBracket_(new QCheckBox(QStringLiteral("Use \"<  >\" around address in RCPT TO:"), this)),
      fromBracket_(new QCheckBox(QStringLiteral("Use \"<  >\" around address in FROM:"), this)),
      tbCentral_(new QCheckBox(QStringLiteral("Start program with Tamberlyn Central open"), this)),
      wordWrap_(new QLineEdit(this)), wordWrapUpDown_(new UpDownControl(0, WordWrapMaximum, this)),
      textOnly_(new QRadioButton(
          QStringLiteral("Send only Text Messages to people with the following domains."), this)),
      editorSettings_(new QRadioButton(
          QStringLiteral("Send all mail with the settings specified in the Message Editor."), this)),
      domain_(new QLineEdit(this)), domains_(new QListWidget(this)),
      add_(new QPushButton(QStringLiteral("&Add"), this)),
      remove_(new QPushButton(QStringLiteral("Re&move"), this)) {
    setObjectName(QStringLiteral("frmConfiguration"));
    setWindowTitle(QStringLiteral("Tamberlyn Options"));
    server_->setObjectName(QStringLiteral("SmtpServer"));
    port_->setObjectName(QStringLiteral("SmtpPort"));
    security_->setObjectName(QStringLiteral("cboSMTPSecurity"));
    userName_->setObjectName(QStringLiteral("txtSMTPUserName"));
    password_->setObjectName(QStringLiteral("txtSMTPPassword"));
    sender_->setObjectName(QStringLiteral("txtSendersEmailAddress"));
    rcptBracket_->setObjectName(QStringLiteral("chkRCPTUseBracket"));
    fromBracket_->setObjectName(QStringLiteral("chkFROMUseBracket"));
    tbCentral_->setObjectName(QStringLiteral("chkTBCentral"));
    wordWrap_->setObjectName(QStringLiteral("txtWordWrap"));
    wordWrapUpDown_->setObjectName(QStringLiteral("updnWordWrap"));
    textOnly_->setObjectName(QStringLiteral("optTextOnly_0"));
    editorSettings_->setObjectName(QStringLiteral("optTextOnly_1"));
    domain_->setObjectName(QStringLiteral("txtDomain"));
    domains_->setObjectName(QStringLiteral("lstDomains"));
    add_->setObjectName(QStringLiteral("cmdAdd"));
    remove_->setObjectName(QStringLiteral("cmdRemove"));

    security_->addItems({QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    password_->setEchoMode(QLineEdit::Password);
    password_->setPlaceholderText(QStringLiteral("(unchanged)"));
    sender_->setReadOnly(true);
    wordWrap_->setMaximumWidth(60);
    wordWrap_->installEventFilter(this);

    // Server.
    auto* serverBox = new QGroupBox(QStringLiteral("Mail Server"), this);
    auto* serverLayout = new QVBoxLayout(serverBox);
    auto* serverForm = new QFormLayout;
    serverForm->addRow(QStringLiteral("&SMTP Server:"), server_);
    serverForm->addRow(QStringLiteral("SMTP Po&rt:"), port_);
    serverForm->addRow(QStringLiteral("Se&curity:"), security_);
    serverForm->addRow(QStringLiteral("&User name:"), userName_);
    serverForm->addRow(QStringLiteral("Pass&word:"), password_);
    serverForm->addRow(QStringLiteral("Sender's Email Address:"), sender_);
    server_->setMinimumWidth(220);
    serverLayout->addLayout(serverForm);
    serverLayout->addWidget(
        explanation(QStringLiteral("The password is kept in the desktop keyring, never in the "
                                   "settings file. Leave it empty to keep the stored one."),
                    serverBox));
    serverLayout->addWidget(explanation(
        QStringLiteral(
            "Specify the usual domain for your SMTP mail server.  (This domain can be overridden in "
            "the Mail Delivery Options, allowing you to easily send mailings through multiple "
            "servers.)  Most SMTP servers use port 25."),
        serverBox));

    // Brackets.
    auto* bracketBox = new QGroupBox(QStringLiteral("Address Brackets"), this);
    auto* bracketLayout = new QVBoxLayout(bracketBox);
    bracketLayout->addWidget(rcptBracket_);
    bracketLayout->addWidget(fromBracket_);
    bracketLayout->addWidget(explanation(
        QStringLiteral("Some servers require the RCPT TO address in angle brackets, while others refuse a "
                       "bracketed FROM address. Leave the FROM brackets off when the FROM address carries a "
                       "display name."),
        bracketBox));

    // Word wrap.
    auto* wrapBox = new QGroupBox(QStringLiteral("Word Wrap"), this);
    auto* wrapLayout = new QVBoxLayout(wrapBox);
    auto* wrapRow = new QHBoxLayout;
    wrapRow->addWidget(new QLabel(QStringLiteral("Automatically wrap text at"), wrapBox));
    wrapRow->addWidget(wordWrap_);
    wrapRow->addWidget(wordWrapUpDown_);
    wrapRow->addWidget(new QLabel(QStringLiteral("characters, when sending and previewing."), wrapBox));
    wrapRow->addStretch();
    wrapLayout->addLayout(wrapRow);
    wrapLayout->addWidget(
        explanation(QStringLiteral("To turn off word wrap enter 0 in the above value."), wrapBox));

    // Text-only domains.
    auto* textBox = new QGroupBox(QStringLiteral("Text Only Mail Settings"), this);
    auto* textLayout = new QVBoxLayout(textBox);
    textLayout->addWidget(textOnly_);
    auto* domainRow = new QHBoxLayout;
    domainRow->addWidget(domain_);
    domainRow->addWidget(add_);
    textLayout->addLayout(domainRow);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(domains_);
    listRow->addWidget(remove_, 0, Qt::AlignTop);
    domains_->setMaximumHeight(90);
    textLayout->addLayout(listRow);
    textLayout->addWidget(editorSettings_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmConfiguration::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmConfiguration::reject);

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(serverBox);
    left->addWidget(bracketBox);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(wrapBox);
    right->addWidget(textBox);
    right->addWidget(tbCentral_);
    right->addStretch();
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(buttons);

    connect(add_, &QPushButton::clicked, this, &frmConfiguration::addDomain);
    connect(remove_, &QPushButton::clicked, this, &frmConfiguration::removeDomain);
    connect(textOnly_, &QRadioButton::toggled, this, &frmConfiguration::textOnlyChosen);
    connect(wordWrap_, &QLineEdit::textChanged, this, &frmConfiguration::wordWrapTextChanged);
    connect(wordWrapUpDown_, &UpDownControl::valueChanged, this,
            [this](int value) { wordWrap_->setText(QString::number(value)); });
    load();
}

QString frmConfiguration::notANumberText() {
    return QStringLiteral(
        "You must enter a number for the Word Wrap.  If you want to turn word wrap off then "
        "enter 0 in the box.");
}

QString frmConfiguration::negativeText() {
    return QStringLiteral(
        "You must enter a number that is equal to 0 or more for the Word Wrap.  If you want "
        "to turn word wrap off then enter 0 in the box.");
}

void frmConfiguration::load() {
    const AppSettings& s = appSettings();
    server_->setText(s.MailServer);
    port_->setText(QString::number(s.SMTPPort));
    security_->setCurrentIndex(std::max(0, security_->findText(s.SMTPSecurity)));
    userName_->setText(s.SMTPUserName);
    sender_->setText(s.SendersEmailAddress);
    wordWrap_->setText(QString::number(s.WordWrapSize));
    for (const QString& piece : s.DomainsToCheck.split(u';'))
        if (!piece.trimmed().isEmpty())
            domains_->addItem(piece);
    rcptBracket_->setChecked(settingToBool(
        AppGetSetting(Defaults, QStringLiteral("ServerWantsBracket"), QStringLiteral("False")), false));
    fromBracket_->setChecked(settingToBool(
        AppGetSetting(Defaults, QStringLiteral("BracketOnFrom"), QStringLiteral("True")), true));
    tbCentral_->setChecked(settingToBool(
        AppGetSetting(Defaults, QStringLiteral("StartTBCentral"), QStringLiteral("true")), true));
    textOnly_->setChecked(s.CheckIfDomainWantsTextOnly);
    editorSettings_->setChecked(!s.CheckIfDomainWantsTextOnly);
    textOnlyChosen();
}

bool frmConfiguration::eventFilter(QObject* watched, QEvent* event) {
    if (watched == wordWrap_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool digit = text.size() == 1 && text.at(0).isDigit();
        // Digits and backspace type into the box; moving and leaving it still work.
        const bool allowed =
            digit || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
            key->key() == Qt::Key_Left || key->key() == Qt::Key_Right || key->key() == Qt::Key_Home ||
            key->key() == Qt::Key_End || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
            key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape;
        if (!allowed)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmConfiguration::wordWrapTextChanged(const QString& text) {
    if (text.isEmpty())
        return;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        return;
    // Above the range the box takes the maximum; a negative value stays for OK to refuse with its text.
    if (value > wordWrapUpDown_->maximum()) {
        wordWrap_->setText(QString::number(wordWrapUpDown_->maximum()));
        wordWrap_->setCursorPosition(int(wordWrap_->text().size()));
        return;
    }
    if (value < wordWrapUpDown_->minimum())
        return;
    const QSignalBlocker blocker(wordWrapUpDown_);
    wordWrapUpDown_->setValue(value);
}

void frmConfiguration::textOnlyChosen() {
    const bool on = textOnly_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{domain_, domains_, add_, remove_})
        w->setEnabled(on);
    const QString background =
        on ? QStringLiteral("background: white;") : QStringLiteral("background: #d4d0c8;");
    domain_->setStyleSheet(background);
    domains_->setStyleSheet(background);
}

void frmConfiguration::addDomain() {
    const QString domain = domain_->text().trimmed();
    if (domain.isEmpty())
        return;
    if (!domains_->findItems(domain, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        domain_->selectAll();
        return;
    }
    domains_->addItem(domain);
}

void frmConfiguration::removeDomain() {
    if (QListWidgetItem* item = domains_->currentItem(); item && item->isSelected())
        delete item;
}

bool frmConfiguration::save() {
    AppSettings& s = appSettings();
    // 1. Word wrap.
    bool ok = false;
    const int wrap = wordWrap_->text().trimmed().toInt(&ok);
    if (!ok) {
        prompter_.inform(windowTitle(), notANumberText(), Prompter::Icon::Information);
        return false;
    }
    if (wrap < 0) {
        prompter_.inform(windowTitle(), negativeText(), Prompter::Icon::Information);
        return false;
    }
    // The password goes to the keyring before anything is written, so a refusal changes nothing.
    if (!password_->text().isEmpty()) {
        QString error;
        if (!SecretStore::storePassword(server_->text().trimmed(), userName_->text().trimmed(),
                                        password_->text(), &error)) {
            prompter_.inform(windowTitle(), error, Prompter::Icon::Exclamation);
            password_->setFocus();
            password_->selectAll();
            return false;
        }
        password_->clear();
    }
    s.WordWrapSize = wordWrapUpDown_->value();
    // 2. Text-only domains.
    s.CheckIfDomainWantsTextOnly = textOnly_->isChecked();
    QString joined;
    for (int i = 0; i < domains_->count(); ++i)
        joined += u';' + domains_->item(i)->text();
    s.DomainsToCheck = joined.mid(1);
    // 3. Server and port.
    s.MailServer = server_->text().trimmed();
    if (port_->text().trimmed().isEmpty())
        port_->setText(QStringLiteral("25"));
    s.SMTPPort = settingToInt(port_->text().trimmed(), 25);
    // 4. Brackets; then the sending log-in.
    s.ServerWantsBracket = rcptBracket_->isChecked();
    s.BracketOnFrom = fromBracket_->isChecked();
    s.SMTPSecurity = security_->currentText();
    s.SMTPUserName = userName_->text().trimmed();
    // 5. Writes.
    AppSaveSetting(Defaults, QStringLiteral("MailServer"), s.MailServer);
    AppSaveSetting(Defaults, QStringLiteral("SMTPPort"), QString::number(s.SMTPPort));
    AppSaveSetting(Defaults, QStringLiteral("ServerWantsBracket"), boolSetting(s.ServerWantsBracket));
    AppSaveSetting(Defaults, QStringLiteral("BracketOnFrom"), boolSetting(s.BracketOnFrom));
    AppSaveSetting(Defaults, QStringLiteral("StartTBCentral"),
                   tbCentral_->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    AppSaveSetting(Defaults, QStringLiteral("WordWrapSize"), QString::number(s.WordWrapSize));
    AppSaveSetting(Defaults, QStringLiteral("CheckIfDomainWantsTextOnly"),
                   boolSetting(s.CheckIfDomainWantsTextOnly));
    AppSaveSetting(Defaults, QStringLiteral("DomainsToCheck"), s.DomainsToCheck);
    AppSaveSetting(Defaults, QStringLiteral("SMTPSecurity"), s.SMTPSecurity);
    AppSaveSetting(Defaults, QStringLiteral("SMTPUserName"), s.SMTPUserName);
    return true;
}

void frmConfiguration::accept() {
    if (save())
        QDialog::accept();
}
