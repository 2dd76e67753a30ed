#include "mailings/ui/frmTBWalkWiz.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ui/WindowCommand.h"
#include "db/ListEvents.h"
#include "mailings/MailingChoices.h"
#include "mailings/MailingEvents.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "mailings/ui/DeliveryOptionsWindows.h"
#include "mailings/ui/MailingCentre.h"
#include "mailings/ui/MailingWindowServices.h"
#include "mailings/ui/frmTBProfileWiz.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The settings section of the user's last choices.
QString defaultsSection() {
    return QStringLiteral("ApplicationDefaults");
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

// Fills a drop-down with names, keeping the one shown when it is still there, else showing select.
void fill(QComboBox* box, const QStringList& names, const QString& select) {
    const QString keep = select.isEmpty() ? box->currentText() : select;
    box->clear();
    box->addItems(names);
    box->setCurrentIndex(box->findText(keep));
}

QString setting(const char* key) {
    return AppGetSetting(defaultsSection(), QString::fromLatin1(key), QString());
}

} // namespace

QString frmTBWalkWiz::exitText() {
    return QStringLiteral("Are you sure you wish to exit?  Any changes you made in the wizard will be ") +
           QStringLiteral("lost, although any created items are already saved.  Use the finish button to ") +
           QStringLiteral("save modifications.");
}

frmTBWalkWiz::frmTBWalkWiz(Desk& desk, QWidget* parent) : frmWizard(desk.prompter(), parent), desk_(desk) {
    setObjectName(QStringLiteral("frmTBWalkWiz"));
    buildPages();
    refreshGroups(setting("CurTamberlyn"));
    optSSExistingTB_->setChecked(cmbTamberlyn_->currentIndex() >= 0);
    refreshLists();
    cmbAddrList_->setCurrentIndex(cmbAddrList_->findText(setting("CurList")));
    optSSSelectList_->setChecked(true);
    refreshMessages();
    cmbMessageName_->setCurrentIndex(cmbMessageName_->findText(setting("CurMessage")));
    optSSExistingMsg_->setChecked(true);
    QString options = setting("MailEventProfile");
    refreshOptions(options);
    if (cmbMailOptions_->currentIndex() < 0)
        refreshOptions(MailingChoices::defaultProfileName());
    optSSCreateMailing_->setChecked(true);
    updateEnabled();

    connect(&ListEvents::instance(), &ListEvents::listSaved, this, [this](const QString& path) {
        if (waiting_ == Waiting::List)
            savedListFile_ = path;
    });
    connect(&ListEvents::instance(), &ListEvents::listsChanged, this, &frmTBWalkWiz::listsChanged);
    if (const auto& watch = MailingWindowServices::services().whenMessagesChange)
        watch(this, [this] { messagesChanged(); });
    connect(&MailingEvents::instance(), &MailingEvents::groupsChanged, this, [this] { refreshGroups(); });
    connect(&MailingEvents::instance(), &MailingEvents::profilesChanged, this, [this] { refreshOptions(); });
    resize(620, 440);
}

void frmTBWalkWiz::buildPages() {
    QWidget* page = addPage(caption(), QStringLiteral("Welcome to the Tamberlyn Wizard"));
    auto* intro = new QVBoxLayout(page);
    intro->addWidget(
        note(QStringLiteral("This wizard sets up a mailing step by step: the Tamberlyn group that "
                            "keeps it, the mailing list it goes to, the message it sends and the "
                            "delivery options that say how it is sent. At the end it prepares the "
                            "mailing in Tamberlyn Central and, if you wish, sends it at once."),
             page));
    intro->addWidget(
        note(QStringLiteral("Whatever you create on the way (a group, a list, a message, a set of "
                            "delivery options) is saved as soon as it is made."),
             page));
    intro->addStretch(1);

    page =
        addPage(caption(), QStringLiteral("Choose a Tamberlyn group for the mailing, or create a new one"));
    auto* group = new QGridLayout(page);
    optSSExistingTB_ =
        named(new QRadioButton(QStringLiteral("Use an &existing Tamberlyn:"), page), "optSSExistingTB");
    cmbTamberlyn_ = named(new QComboBox(page), "cmbTamberlyn");
    optSSNewTB_ =
        named(new QRadioButton(QStringLiteral("Create a &new Tamberlyn named:"), page), "optSSNewTB");
    txtTBNewName_ = named(new QLineEdit(page), "txtTBNewName");
    txtTBNewName_->setMaxLength(int(MaxNameLength));
    txtTBDescription_ = named(new QLineEdit(page), "txtTBDescription");
    group->addWidget(optSSExistingTB_, 0, 0);
    group->addWidget(cmbTamberlyn_, 0, 1);
    group->addWidget(optSSNewTB_, 1, 0);
    group->addWidget(txtTBNewName_, 1, 1);
    group->addWidget(new QLabel(QStringLiteral("Description:"), page), 2, 0, Qt::AlignRight);
    group->addWidget(txtTBDescription_, 2, 1);
    group->setRowStretch(3, 1);
    group->setColumnStretch(1, 1);

    page = addPage(caption(), QStringLiteral("Which mailing list receives the mailing?"));
    auto* list = new QGridLayout(page);
    optSSSelectList_ =
        named(new QRadioButton(QStringLiteral("&Select an existing list:"), page), "optSSSelectList");
    cmbAddrList_ = named(new QComboBox(page), "cmbAddrList");
    optSSNewList_ = named(new QRadioButton(QStringLiteral("Create a &new list"), page), "optSSNewList");
    list->addWidget(optSSSelectList_, 0, 0);
    list->addWidget(cmbAddrList_, 0, 1);
    list->addWidget(optSSNewList_, 1, 0, 1, 2);
    list->setRowStretch(2, 1);
    list->setColumnStretch(1, 1);

    page = addPage(caption(), QStringLiteral("The mailing list"));
    auto* newList = new QVBoxLayout(page);
    lblListChoice_ = named(note(QString(), page), "lblListChoice");
    cmdSSNewList_ = named(new QPushButton(QStringLiteral("&Create the New List..."), page), "cmdSSNewList");
    newList->addWidget(lblListChoice_);
    newList->addWidget(cmdSSNewList_, 0, Qt::AlignLeft);
    newList->addStretch(1);

    page = addPage(caption(), QStringLiteral("The message"));
    auto* messageIntro = new QVBoxLayout(page);
    messageIntro->addWidget(
        note(QStringLiteral("Next, choose the message the mailing sends, or write a new one. A "
                            "message may use the columns of the mailing list as merge fields, "
                            "so that each recipient gets a personal copy."),
             page));
    messageIntro->addStretch(1);

    page = addPage(caption(), QStringLiteral("Which message does the mailing send?"));
    auto* message = new QGridLayout(page);
    optSSExistingMsg_ =
        named(new QRadioButton(QStringLiteral("Use an &existing message:"), page), "optSSExistingMsg");
    cmbMessageName_ = named(new QComboBox(page), "cmbMessageName");
    optSSNewMsg_ = named(new QRadioButton(QStringLiteral("Write a &new message"), page), "optSSNewMsg");
    cmdSSNewMessage_ =
        named(new QPushButton(QStringLiteral("&Write the New Message..."), page), "cmdSSNewMessage");
    lblNewMessage_ = named(note(QString(), page), "lblNewMessage");
    message->addWidget(optSSExistingMsg_, 0, 0);
    message->addWidget(cmbMessageName_, 0, 1);
    message->addWidget(optSSNewMsg_, 1, 0);
    message->addWidget(cmdSSNewMessage_, 1, 1, Qt::AlignLeft);
    message->addWidget(lblNewMessage_, 2, 0, 1, 2);
    message->setRowStretch(3, 1);
    message->setColumnStretch(1, 1);

    page = addPage(caption(), QStringLiteral("Delivery options"));
    auto* optionsIntro = new QVBoxLayout(page);
    optionsIntro->addWidget(note(
        QStringLiteral("A set of delivery options says how the mailing is sent: the sender "
                       "and reply addresses, the mail server, which addresses of the list "
                       "receive it, how served recipients are marked and how fast the "
                       "messages go out. The set \"") +
            MailingChoices::defaultProfileName() + QStringLiteral("\" serves when you have made no other."),
        page));
    optionsIntro->addStretch(1);

    page = addPage(caption(), QStringLiteral("How is the mailing delivered?"));
    auto* options = new QGridLayout(page);
    cmbMailOptions_ = named(new QComboBox(page), "cmbMailOptions");
    auto* newOptions =
        named(new QPushButton(QStringLiteral("&New Delivery Options..."), page), "cmdSSNewOptions");
    lblUsingDefault_ = named(new QLabel(usingDefaultText(), page), "lblUsingDefault");
    auto* optionsLabel = new QLabel(QStringLiteral("&Delivery options:"), page);
    optionsLabel->setBuddy(cmbMailOptions_);
    options->addWidget(optionsLabel, 0, 0);
    options->addWidget(cmbMailOptions_, 0, 1);
    options->addWidget(newOptions, 0, 2);
    options->addWidget(lblUsingDefault_, 1, 1, 1, 2);
    options->setRowStretch(2, 1);
    options->setColumnStretch(1, 1);

    page = addPage(caption(), QStringLiteral("Ready to prepare the mailing"));
    auto* finish = new QVBoxLayout(page);
    lblSummary_ = named(note(QString(), page), "lblSummary");
    lblSummary_->setTextFormat(Qt::PlainText);
    optSSCreateMailing_ =
        named(new QRadioButton(QStringLiteral("&Prepare the mailing in Tamberlyn Central"), page),
              "optSSCreateMailing");
    optSSSendMailing_ = named(new QRadioButton(QStringLiteral("Prepare the mailing and &send it now"), page),
                              "optSSSendMailing");
    finish->addWidget(lblSummary_);
    finish->addSpacing(12);
    finish->addWidget(optSSCreateMailing_);
    finish->addWidget(optSSSendMailing_);
    finish->addWidget(note(QStringLiteral("Press Finish."), page));
    finish->addStretch(1);

    for (QRadioButton* option :
         {optSSExistingTB_, optSSNewTB_, optSSSelectList_, optSSNewList_, optSSExistingMsg_, optSSNewMsg_})
        connect(option, &QRadioButton::toggled, this, &frmTBWalkWiz::updateEnabled);
    connect(cmdSSNewList_, &QPushButton::clicked, this, &frmTBWalkWiz::createList);
    connect(cmdSSNewMessage_, &QPushButton::clicked, this, &frmTBWalkWiz::createMessage);
    connect(newOptions, &QPushButton::clicked, this, &frmTBWalkWiz::createOptions);
    connect(cmbMailOptions_, &QComboBox::currentTextChanged, this, &frmTBWalkWiz::updateOptionsLabel);
}

// ---- Choices ----

QString frmTBWalkWiz::groupName() const {
    return optSSExistingTB_->isChecked() ? cmbTamberlyn_->currentText() : QString();
}

QString frmTBWalkWiz::listName() const {
    if (optSSSelectList_->isChecked())
        return cmbAddrList_->currentText();
    return optSSNewList_->isChecked() ? newList_ : QString();
}

QString frmTBWalkWiz::messageName() const {
    if (optSSExistingMsg_->isChecked())
        return cmbMessageName_->currentText();
    return optSSNewMsg_->isChecked() ? newMessage_ : QString();
}

QString frmTBWalkWiz::optionsName() const {
    return cmbMailOptions_->currentText();
}

bool frmTBWalkWiz::sendChosen() const {
    return optSSSendMailing_->isChecked();
}

void frmTBWalkWiz::refreshGroups(const QString& select) {
    QStringList names;
    for (const mdlTamberlynGroupOptions::Group& group : mdlTamberlynGroupOptions::Groups())
        names << group.TamberlynName;
    fill(cmbTamberlyn_, names, select);
}

void frmTBWalkWiz::refreshLists() {
    fill(cmbAddrList_, MailingChoices::listNames(), {});
}

void frmTBWalkWiz::refreshMessages() {
    fill(cmbMessageName_, MailingChoices::messageNames(), {});
}

void frmTBWalkWiz::refreshOptions(const QString& select) {
    QStringList names;
    for (const MailingChoices::NamedItem& item : MailingChoices::profiles())
        names << item.name;
    fill(cmbMailOptions_, names, select);
    updateOptionsLabel();
}

void frmTBWalkWiz::updateEnabled() {
    cmbTamberlyn_->setEnabled(optSSExistingTB_->isChecked());
    txtTBNewName_->setEnabled(optSSNewTB_->isChecked());
    txtTBDescription_->setEnabled(optSSNewTB_->isChecked());
    cmbAddrList_->setEnabled(optSSSelectList_->isChecked());
    cmbMessageName_->setEnabled(optSSExistingMsg_->isChecked());
    cmdSSNewMessage_->setEnabled(optSSNewMsg_->isChecked());
    lblNewMessage_->setText(newMessage_.isEmpty() ? QString()
                                                  : QStringLiteral("New message: ") + newMessage_);
}

void frmTBWalkWiz::updateListChoice() {
    const bool creating = optSSNewList_->isChecked();
    cmdSSNewList_->setVisible(creating);
    if (!creating)
        lblListChoice_->setText(QStringLiteral("The mailing goes to the list '") + listName() +
                                QStringLiteral("'. Press Next to choose its message."));
    else if (newList_.isEmpty())
        lblListChoice_->setText(
            QStringLiteral("Press the button below to open a new, empty list. Type or paste "
                           "the addresses into it and save it under a name: the wizard then "
                           "comes back with the new list chosen."));
    else
        lblListChoice_->setText(QStringLiteral("The mailing goes to the new list '") + newList_ +
                                QStringLiteral("'."));
}

void frmTBWalkWiz::updateOptionsLabel() {
    lblUsingDefault_->setVisible(optionsName() == MailingChoices::defaultProfileName());
}

// ---- Creating on the way ----

void frmTBWalkWiz::HideTBWalkWiz() {
    hide();
}

void frmTBWalkWiz::Restore() {
    waiting_ = Waiting::Nothing;
    refreshLists();
    refreshMessages();
    updateEnabled();
    updateListChoice();
    LoadWizModal();
    raise();
    activateWindow();
}

void frmTBWalkWiz::createList() {
    const auto& create = MailingWindowServices::services().createEmptyList;
    if (!create)
        return;
    namesBefore_ = MailingChoices::listNames();
    savedListFile_.clear();
    waiting_ = Waiting::List;
    HideTBWalkWiz();
    if (!create())
        Restore();
}

void frmTBWalkWiz::createMessage() {
    const auto& create = MailingWindowServices::services().newMessage;
    if (!create)
        return;
    namesBefore_ = MailingChoices::messageNames();
    waiting_ = Waiting::Message;
    HideTBWalkWiz();
    if (!create())
        Restore();
}

void frmTBWalkWiz::createOptions() {
    frmTBProfileWiz* wizard = DeliveryOptionsWindows::NewTBProfile(desk_, this);
    connect(wizard, &frmTBProfileWiz::profileStored, this,
            [this](const QString& name) { refreshOptions(name); });
}

void frmTBWalkWiz::listsChanged() {
    refreshLists();
    if (waiting_ != Waiting::List)
        return;
    const QStringList names = MailingChoices::listNames();
    QString saved;
    for (const QString& name : names)
        if (!namesBefore_.contains(name))
            saved = name;
    // A list saved over an existing name adds no name: its file tells which it is.
    for (const QString& name : names)
        if (saved.isEmpty() && !savedListFile_.isEmpty() && MailingChoices::listFile(name) == savedListFile_)
            saved = name;
    if (saved.isEmpty())
        return;
    newList_ = saved;
    Restore();
}

void frmTBWalkWiz::messagesChanged() {
    refreshMessages();
    if (waiting_ != Waiting::Message)
        return;
    for (const QString& name : MailingChoices::messageNames()) {
        if (!namesBefore_.contains(name)) {
            newMessage_ = name;
            Restore();
            return;
        }
    }
}

// ---- Steps ----

void frmTBWalkWiz::pageEntered(int page) {
    if (page == NewListPage)
        updateListChoice();
    if (page == OptionsPage)
        updateOptionsLabel();
    if (page == FinishPage)
        lblSummary_->setText(QStringLiteral("Tamberlyn: ") + groupName() + u'\n' + QStringLiteral("List: ") +
                             listName() + u'\n' + QStringLiteral("Message: ") + messageName() + u'\n' +
                             QStringLiteral("Delivery options: ") + optionsName());
    setFinishEnabled(page == FinishPage);
}

bool frmTBWalkWiz::refuse(const QString& text, QWidget* focus) {
    prompter().inform(AppTitle(), text, Prompter::Icon::Exclamation);
    if (focus)
        focus->setFocus();
    return false;
}

bool frmTBWalkWiz::checkPage(int page) {
    switch (page) {
    case GroupPage:
        return checkGroup();
    case ListPage:
        return checkList();
    case NewListPage:
        return checkNewList();
    case MessagePage:
        return checkMessage();
    case OptionsPage:
        return checkOptions();
    default:
        return true;
    }
}

bool frmTBWalkWiz::checkGroup() {
    if (optSSNewTB_->isChecked()) {
        const QString name = txtTBNewName_->text().trimmed();
        if (name.isEmpty())
            return refuse(QStringLiteral("Please supply a Tamberlyn name or select an existing Tamberlyn"),
                          txtTBNewName_);
        // The new group is made now and kept whatever follows; from here on it is an existing one.
        if (!mdlTamberlynGroupOptions::CreateTamberlynGroup(prompter(), name, txtTBDescription_->text())) {
            txtTBNewName_->setFocus();
            return false;
        }
        refreshGroups(name);
        optSSExistingTB_->setChecked(true);
        txtTBNewName_->clear();
        txtTBDescription_->clear();
    }
    if (groupName().isEmpty())
        return refuse(QStringLiteral("Please select a Tamberlyn or create a new Tamberlyn"), cmbTamberlyn_);
    AppSaveSetting(defaultsSection(), QStringLiteral("CurTamberlyn"), groupName());
    return true;
}

bool frmTBWalkWiz::checkList() {
    if (optSSSelectList_->isChecked() && cmbAddrList_->currentText().isEmpty())
        return refuse(QStringLiteral("Please select an Address List."), cmbAddrList_);
    if (!optSSSelectList_->isChecked() && !optSSNewList_->isChecked())
        return refuse(QStringLiteral("Please select an Address List."));
    return true;
}

bool frmTBWalkWiz::checkNewList() {
    if (listName().isEmpty())
        return refuse(QStringLiteral("Please create or specify a mailing list for this Tamberlyn"));
    return true;
}

bool frmTBWalkWiz::checkMessage() {
    if (optSSExistingMsg_->isChecked() && cmbMessageName_->currentText().isEmpty())
        return refuse(QStringLiteral("Please select a message."), cmbMessageName_);
    if (messageName().isEmpty())
        return refuse(QStringLiteral("Please select or create and name a new message"));
    AppSaveSetting(defaultsSection(), QStringLiteral("CurMessage"), messageName());
    return true;
}

bool frmTBWalkWiz::checkOptions() {
    if (optionsName().isEmpty())
        return refuse(QStringLiteral("Please select or create a mailing options set"), cmbMailOptions_);
    if (listName().isEmpty())
        return refuse(QStringLiteral("Please select a mailing list"));
    return true;
}

bool frmTBWalkWiz::finishWizard() {
    const qint32 id = MailingCentre::PrepareMailingUpdatingInterface(desk_, groupName(), listName(),
                                                                     messageName(), optionsName());
    if (id == 0) {
        prompter().inform(AppTitle(),
                          QStringLiteral("The mailing could not be prepared; the error log says why."),
                          Prompter::Icon::Critical);
        return false;
    }
    if (sendChosen()) {
        // Sent once the wizard has gone, so the send dialog is not stacked under it.
        Desk* desk = &desk_;
        QTimer::singleShot(0, desk_.frame(), [desk] { MailingCentre::SendTamberlynIfPossible(*desk); });
    }
    return true;
}
