#include "mailbox/ui/frmPOPWizard.h"

#include "core/AppInfo.h"
#include "core/ui/DisplayThrottle.h"
#include "core/ui/frmStatus.h"
#include "lists/ListCatalog.h"
#include "lists/ui/ListWindows.h"
#include "mailbox/PopAccounts.h"
#include "mailbox/SearchCategories.h"
#include "mailbox/ui/frmPOPConfirmation.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QString indexed(const char* name, int index) {
    return QString::fromLatin1(name) + u'_' + QString::number(index);
}

} // namespace

frmPOPWizard::frmPOPWizard(PopWizardRun::Format format, Prompter& prompter, ListWindows* lists,
                           QWidget* parent)
    : frmWizard(prompter, parent), format_(format), lists_(lists), run_(prompter) {
    setObjectName(QStringLiteral("frmPOPWizard"));
    buildAccountPage();
    buildFilterPage();
    buildListsPage();
    buildRunPage();
    updateFormatControls();
    resize(680, 480);

    run_.setConfirm([this](const PopWizardRun::Confirmation& found) {
        confirmation_ = new frmPOPConfirmation(found, this);
        confirmation_->setAttribute(Qt::WA_DeleteOnClose);
        connect(confirmation_, &frmPOPConfirmation::answered, &run_, &PopWizardRun::answerConfirmation);
        confirmation_->open();
        return std::optional<bool>();
    });
    // The message counter, the bar and the address count move with every message; the window shows them a
    // few times a second. A status line waits for the counter before it, so the lines keep their order.
    throttle_ = new DisplayThrottle(this);
    connect(&run_, &PopWizardRun::showCurrentOperation, this, [this](const QString& text) {
        throttle_->flush();
        status(text);
    });
    connect(&run_, &PopWizardRun::showCurrentMessageNum, this,
            [this](const QString& text) { throttle_->post(0, [this, text] { showMessageCounter(text); }); });
    connect(&run_, &PopWizardRun::messageProgress, this, [this](int current, int total) {
        throttle_->post(1, [this, current, total] {
            progress_->setTextVisible(true);
            progress_->setRange(0, qMax(1, total));
            progress_->setValue(current);
        });
    });
    connect(&run_, &PopWizardRun::showAddressesCollected, this, [this](int count) {
        throttle_->post(2, [this, count] {
            lblStatus2_->setText(QStringLiteral("Addresses collected: ") + QString::number(count));
        });
    });
    connect(&run_, &PopWizardRun::reportReady, this, [this](const PopWizardRun::Report& report) {
        frmStatus::ShowStatus(report.title, {report.heading, report.columns, report.rows},
                              {QStringLiteral("OK")}, this);
    });
    connect(&run_, &PopWizardRun::finished, throttle_, &DisplayThrottle::flush);
    connect(&run_, &PopWizardRun::finished, this, &frmPOPWizard::runFinished);
}

// ---- Pages ----

void frmPOPWizard::buildAccountPage() {
    QWidget* page = addPage(title(), PopWizardRun::formatText(format_));
    ddAccountName_ = named(new QComboBox(page), QStringLiteral("ddAccountName"));
    txtPOPHostName_ = named(new QLineEdit(page), QStringLiteral("txtPOPHostName"));
    txtUserName_ = named(new QLineEdit(page), QStringLiteral("txtUserName"));
    txtPassword_ = named(new QLineEdit(page), QStringLiteral("txtPassword"));
    txtPassword_->setEchoMode(QLineEdit::Password);
    chkRememberPassword_ = named(new QCheckBox(QStringLiteral("Remember Password"), page),
                                 QStringLiteral("chkRememberPassword"));
    cmdAdd_ = named(new QPushButton(QStringLiteral("Add this Account"), page), QStringLiteral("cmdAdd"));
    cmdRemove_ = named(new QPushButton(QStringLiteral("&Remove"), page), QStringLiteral("cmdRemove"));
    cmdRemove_->setToolTip(QStringLiteral("Remove account entry."));

    connect(ddAccountName_, &QComboBox::currentIndexChanged, this, &frmPOPWizard::accountChosen);
    for (QLineEdit* edit : {txtPOPHostName_, txtUserName_, txtPassword_})
        connect(edit, &QLineEdit::textEdited, this, &frmPOPWizard::accountEdited);
    connect(chkRememberPassword_, &QCheckBox::toggled, this, &frmPOPWizard::accountEdited);
    connect(cmdAdd_, &QPushButton::clicked, this, &frmPOPWizard::saveAccount);
    connect(cmdRemove_, &QPushButton::clicked, this, &frmPOPWizard::removeAccount);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Select POP account for processing."), ddAccountName_);
    form->addRow(QStringLiteral("POP Mail Host:"), txtPOPHostName_);
    form->addRow(QStringLiteral("User Name:"), txtUserName_);
    form->addRow(QStringLiteral("Password:"), txtPassword_);
    form->addRow(QString(), chkRememberPassword_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdAdd_);
    buttons->addWidget(cmdRemove_);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStretch(1);
    fillAccounts({});
}

void frmPOPWizard::buildFilterPage() {
    QWidget* page = addPage(title(), PopWizardRun::formatText(format_));
    const QString captions[] = {QStringLiteral("Get ALL mail (no filtering)"),
                                QStringLiteral("Obtain UNDELIVERABLE mail"),
                                QStringLiteral("Search for mail based on a FILTER")};
    auto* methods = new QVBoxLayout;
    for (int i = 0; i < 3; ++i) {
        optFilterMethod_[i] = named(new QRadioButton(captions[i], page), indexed("optFilterMethod", i));
        methods->addWidget(optFilterMethod_[i]);
    }
    optFilterMethod_[2]->setChecked(true);

    tvSubjectLines_ = named(new QTreeWidget(page), QStringLiteral("tvSubjectLines"));
    tvSubjectLines_->setHeaderLabel(QStringLiteral("Categories \\ Phrases"));
    tvSubjectLines_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tvSubjectLines_, &QTreeWidget::itemChanged, this, &frmPOPWizard::phraseToggled);
    connect(tvSubjectLines_, &QTreeWidget::currentItemChanged, this, [this] {
        cmdDeleteCatagory_->setEnabled(
            selectedCategory().compare(SearchCategories::defaultsName(), Qt::CaseInsensitive) != 0);
    });
    connect(tvSubjectLines_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QStringLiteral("mnuPhrases"));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        const QString entries[] = {
            QStringLiteral("Select All Phrases"), QStringLiteral("UnSelect All Phrases"),
            QStringLiteral("Select All Categories"), QStringLiteral("UnSelect All Categories")};
        for (int i = 0; i < 4; ++i)
            menu->addAction(entries[i], this, [this, i] { selectPhrases(i); });
        menu->popup(tvSubjectLines_->viewport()->mapToGlobal(at));
    });

    auto* newCategory =
        named(new QPushButton(QStringLiteral("New Category"), page), QStringLiteral("cmdAddCatagory"));
    cmdDeleteCatagory_ =
        named(new QPushButton(QStringLiteral("Remove Category"), page), QStringLiteral("cmdDeleteCatagory"));
    auto* newPhrase =
        named(new QPushButton(QStringLiteral("New Phrase"), page), QStringLiteral("cmdSubjectAdd"));
    auto* removePhrase =
        named(new QPushButton(QStringLiteral("Remove Phrase"), page), QStringLiteral("cmdSubjectRemove"));
    connect(newCategory, &QPushButton::clicked, this, &frmPOPWizard::addCategory);
    connect(cmdDeleteCatagory_, &QPushButton::clicked, this, &frmPOPWizard::removeCategory);
    connect(newPhrase, &QPushButton::clicked, this, &frmPOPWizard::addPhrase);
    connect(removePhrase, &QPushButton::clicked, this, &frmPOPWizard::removePhrase);

    auto* side = new QVBoxLayout;
    for (QPushButton* b : {newCategory, cmdDeleteCatagory_, newPhrase, removePhrase})
        side->addWidget(b);
    side->addStretch(1);
    auto* grid = new QGridLayout(page);
    grid->addLayout(methods, 0, 0, 1, 2);
    grid->addWidget(tvSubjectLines_, 1, 0);
    grid->addLayout(side, 1, 1);
    for (QRadioButton* option : optFilterMethod_)
        connect(option, &QRadioButton::toggled, this,
                [this] { tvSubjectLines_->setEnabled(optFilterMethod_[2]->isChecked()); });
}

void frmPOPWizard::buildListsPage() {
    QWidget* page = addPage(title(), PopWizardRun::headingText(format_));
    optAction_[0] = named(new QRadioButton(QStringLiteral("Removing from the following list(s)"), page),
                          indexed("optAction", 0));
    optAction_[1] = named(new QRadioButton(QStringLiteral("Adding to the following list(s)"), page),
                          indexed("optAction", 1));
    optAction_[1]->setChecked(true);
    lstApplicableLists_ = named(new QListWidget(page), QStringLiteral("lstApplicableLists"));
    auto* all = named(new QPushButton(QStringLiteral("Select All"), page), QStringLiteral("cmdSelAll"));
    auto* none = named(new QPushButton(QStringLiteral("Deselect All"), page), QStringLiteral("cmdDeSelAll"));
    const auto checkAll = [this](Qt::CheckState state) {
        for (int i = 0; i < lstApplicableLists_->count(); ++i)
            lstApplicableLists_->item(i)->setCheckState(state);
    };
    connect(all, &QPushButton::clicked, this, [checkAll] { checkAll(Qt::Checked); });
    connect(none, &QPushButton::clicked, this, [checkAll] { checkAll(Qt::Unchecked); });
    optMethod_[0] =
        named(new QRadioButton(QStringLiteral("Automatically update existing mailing list(s)"), page),
              indexed("optMethod", 0));
    optMethod_[1] =
        named(new QRadioButton(QStringLiteral("Create a mailing list"), page), indexed("optMethod", 1));
    optMethod_[0]->setChecked(true);
    // Two choices on one page: each pair excludes only its own.
    for (QRadioButton* const* pair : {optAction_, optMethod_}) {
        auto* group = new QButtonGroup(page);
        group->addButton(pair[0]);
        group->addButton(pair[1]);
    }
    optAction_[1]->setChecked(true);
    chkSaveCreatedList_ =
        named(new QCheckBox(QStringLiteral("Also save retrieved addresses in a new list"), page),
              QStringLiteral("chkSaveCreatedList"));
    txtSavedListName_ = named(new QLineEdit(page), QStringLiteral("txtSavedListName"));
    txtSavedListName_->setPlaceholderText(QStringLiteral("name of the new list"));
    txtSavedListName_->setEnabled(false);
    connect(chkSaveCreatedList_, &QCheckBox::toggled, txtSavedListName_, &QLineEdit::setEnabled);
    chkDeleteMailFromServer_ = named(new QCheckBox(QStringLiteral("Delete Mail From Server"), page),
                                     QStringLiteral("chkDeleteMailFromServer"));
    for (QRadioButton* option : optMethod_)
        connect(option, &QRadioButton::toggled, this, &frmPOPWizard::updateFormatControls);

    auto* selection = new QHBoxLayout;
    selection->addWidget(all);
    selection->addWidget(none);
    selection->addStretch(1);
    auto* saved = new QHBoxLayout;
    saved->addWidget(chkSaveCreatedList_);
    saved->addWidget(txtSavedListName_, 1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(optAction_[0]);
    layout->addWidget(optAction_[1]);
    layout->addWidget(lstApplicableLists_, 1);
    layout->addLayout(selection);
    layout->addWidget(optMethod_[0]);
    layout->addWidget(optMethod_[1]);
    layout->addLayout(saved);
    layout->addWidget(chkDeleteMailFromServer_);
}

void frmPOPWizard::buildRunPage() {
    QWidget* page = addPage(title(), PopWizardRun::headingText(format_));
    lblRunState_ = named(new QLabel(PopWizardRun::notStartedText(), page), QStringLiteral("lblStatus1"));
    QFont bold = lblRunState_->font();
    bold.setBold(true);
    lblRunState_->setFont(bold);
    lblRunHint_ = named(new QLabel(PopWizardRun::pressStartText(), page), QStringLiteral("lblHint"));
    cmdBuild_ = named(new QPushButton(QStringLiteral("Start"), page), QStringLiteral("cmdBuild"));
    cmdCancel_ = named(new QPushButton(QStringLiteral("Cancel"), page), QStringLiteral("cmdCancel"));
    cmdCancel_->setEnabled(false);
    lstStatus_ = named(new QListWidget(page), QStringLiteral("lstStatus"));
    lblStatus2_ = named(new QLabel(page), QStringLiteral("lblStatus2"));
    progress_ = named(new QProgressBar(page), QStringLiteral("prgMessages"));
    progress_->setFormat(QStringLiteral("%v of %m"));
    progress_->setTextVisible(false);
    progress_->setValue(0);
    connect(cmdBuild_, &QPushButton::clicked, this, &frmPOPWizard::startRun);
    connect(cmdCancel_, &QPushButton::clicked, &run_, &PopWizardRun::stop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdBuild_);
    buttons->addWidget(cmdCancel_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(lblRunState_);
    layout->addWidget(lblRunHint_);
    layout->addLayout(buttons);
    layout->addWidget(lstStatus_, 1);
    layout->addWidget(progress_);
    layout->addWidget(lblStatus2_);
}

void frmPOPWizard::updateFormatControls() {
    using Format = PopWizardRun::Format;
    // The importer always makes a list; returned mail is always removed from lists.
    if (format_ == Format::Importer) {
        optMethod_[1]->setChecked(true);
        for (QWidget* w : {static_cast<QWidget*>(optAction_[0]), static_cast<QWidget*>(optAction_[1]),
                           static_cast<QWidget*>(optMethod_[0])})
            w->setEnabled(false);
    } else if (format_ == Format::Returned) {
        optFilterMethod_[1]->setChecked(true);
        for (QRadioButton* option : optFilterMethod_)
            option->setEnabled(false);
        optAction_[0]->setChecked(true);
        optAction_[1]->setEnabled(false);
        optMethod_[0]->setChecked(true);
        optMethod_[1]->setEnabled(false);
    }
    const bool update = optMethod_[0]->isChecked();
    lstApplicableLists_->setEnabled(update);
    chkSaveCreatedList_->setEnabled(update);
}

bool frmPOPWizard::checkPage(int page) {
    switch (page) {
    case AccountPage:
        return settleChanges() && PopAccounts::validate(settings().account, prompter());
    case FilterPage:
        if (optFilterMethod_[2]->isChecked() && SearchCategories::checkedPhrases().isEmpty()) {
            prompter().inform(AppTitle(), PopWizardRun::noPhraseText(), Prompter::Icon::Exclamation);
            return false;
        }
        return true;
    case ListsPage:
        return run_.validate(settings());
    default:
        return true;
    }
}

void frmPOPWizard::pageEntered(int page) {
    if (page == FilterPage) {
        fillCategories();
    } else if (page == ListsPage && lstApplicableLists_->count() == 0) {
        for (const RegisteredList& list : RegisteredLists()) {
            auto* item = new QListWidgetItem(list.name, lstApplicableLists_);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
}

PopWizardRun::Settings frmPOPWizard::settings() const {
    PopWizardRun::Settings settings;
    settings.format = format_;
    settings.account.AccountID = account_;
    settings.account.ServerName = txtPOPHostName_->text().trimmed();
    settings.account.UserName = txtUserName_->text().trimmed();
    settings.account.Password = txtPassword_->text();
    settings.filter = optFilterMethod_[0]->isChecked()   ? PopWizardRun::FilterMethod::All
                      : optFilterMethod_[1]->isChecked() ? PopWizardRun::FilterMethod::Undeliverable
                                                         : PopWizardRun::FilterMethod::Phrases;
    if (settings.filter == PopWizardRun::FilterMethod::Phrases)
        settings.phrases = SearchCategories::checkedPhrases();
    settings.action = optAction_[0]->isChecked() ? PopWizardRun::Action::Remove : PopWizardRun::Action::Add;
    settings.method =
        optMethod_[1]->isChecked() ? PopWizardRun::Method::CreateList : PopWizardRun::Method::UpdateLists;
    for (int i = 0; i < lstApplicableLists_->count(); ++i)
        if (lstApplicableLists_->item(i)->checkState() == Qt::Checked)
            settings.lists << lstApplicableLists_->item(i)->text();
    settings.saveCreatedList = chkSaveCreatedList_->isChecked();
    settings.savedListName = settings.saveCreatedList ? txtSavedListName_->text().trimmed() : QString();
    settings.deleteFromServer = chkDeleteMailFromServer_->isChecked();
    return settings;
}

// ---- Accounts ----

void frmPOPWizard::fillAccounts(const QString& select) {
    loading_ = true;
    ddAccountName_->clear();
    ddAccountName_->addItems(PopAccounts::names());
    ddAccountName_->addItem(newAccountEntry());
    const int index = select.isEmpty() ? -1 : ddAccountName_->findText(select);
    ddAccountName_->setCurrentIndex(index >= 0 ? index : ddAccountName_->count() - 1);
    loading_ = false;
    accountChosen();
}

void frmPOPWizard::accountChosen() {
    if (loading_)
        return;
    const QString chosen = ddAccountName_->currentText();
    // A changed account is offered for saving first; Cancel stays on it.
    if (!settleChanges()) {
        loading_ = true;
        ddAccountName_->setCurrentIndex(
            ddAccountName_->findText(account_.isEmpty() ? newAccountEntry() : account_));
        loading_ = false;
        return;
    }
    loading_ = true;
    PopAccount account;
    account_.clear();
    if (chosen != newAccountEntry()) {
        if (const std::optional<PopAccount> found = PopAccounts::choose(chosen, prompter())) {
            account = *found;
            account_ = chosen;
        }
    }
    txtPOPHostName_->setText(account.ServerName);
    txtUserName_->setText(account.UserName);
    txtPassword_->setText(account.Password);
    chkRememberPassword_->setChecked(!account.Password.isEmpty());
    chkRememberPassword_->setEnabled(!account.Password.isEmpty());
    loading_ = false;
    changed_ = false;
    cmdAdd_->setText(account_.isEmpty() ? QStringLiteral("Add this Account")
                                        : QStringLiteral("Update this Account"));
    cmdAdd_->setEnabled(account_.isEmpty());
    cmdRemove_->setEnabled(!account_.isEmpty());
}

void frmPOPWizard::accountEdited() {
    if (loading_)
        return;
    chkRememberPassword_->setEnabled(!txtPassword_->text().isEmpty());
    changed_ = true;
    cmdAdd_->setEnabled(true);
}

bool frmPOPWizard::settleChanges() {
    if (!changed_ || account_.isEmpty())
        return true;
    switch (prompter().ask(saveChangesTitle(), saveChangesText(account_), Prompter::Buttons::YesNoCancel)) {
    case Prompter::Answer::Yes:
        if (!PopAccounts::update(settings().account, chkRememberPassword_->isChecked(), prompter()))
            return false;
        changed_ = false;
        return true;
    case Prompter::Answer::No:
        changed_ = false;
        return true;
    default:
        return false;
    }
}

void frmPOPWizard::saveAccount() {
    PopAccount account = settings().account;
    if (!account_.isEmpty()) {
        if (PopAccounts::update(account, chkRememberPassword_->isChecked(), prompter())) {
            changed_ = false;
            cmdAdd_->setEnabled(false);
        }
        return;
    }
    const std::optional<QString> name = prompter().askText(AppTitle(), PopAccounts::namePrompt());
    if (!name || name->trimmed().isEmpty())
        return;
    account.AccountID = name->trimmed();
    const bool remember = chkRememberPassword_->isChecked();
    if (!PopAccounts::add(account, remember, prompter()))
        return;
    changed_ = false;
    fillAccounts(account.AccountID);
    // A password that is not remembered still serves this wizard's run.
    if (txtPassword_->text().isEmpty() && !account.Password.isEmpty()) {
        const QSignalBlocker block(chkRememberPassword_);
        txtPassword_->setText(account.Password);
        chkRememberPassword_->setEnabled(true);
        chkRememberPassword_->setChecked(remember);
    }
}

void frmPOPWizard::removeAccount() {
    if (account_.isEmpty() || !PopAccounts::remove(account_, prompter()))
        return;
    changed_ = false;
    account_.clear();
    fillAccounts({});
}

// ---- Categories and phrases ----

void frmPOPWizard::fillCategories() {
    const QString keep = selectedCategory();
    const QSignalBlocker block(tvSubjectLines_);
    tvSubjectLines_->clear();
    for (const SearchCategories::Category& category : SearchCategories::load()) {
        auto* top = new QTreeWidgetItem(tvSubjectLines_, {category.name});
        top->setFlags(top->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
        for (const SearchCategories::Phrase& phrase : category.phrases) {
            auto* item = new QTreeWidgetItem(top, {phrase.text});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, phrase.checked ? Qt::Checked : Qt::Unchecked);
        }
        if (category.phrases.isEmpty())
            top->setCheckState(0, Qt::Unchecked);
        top->setExpanded(true);
        if (category.name.compare(keep, Qt::CaseInsensitive) == 0)
            tvSubjectLines_->setCurrentItem(top);
    }
    if (!tvSubjectLines_->currentItem() && tvSubjectLines_->topLevelItemCount() > 0)
        tvSubjectLines_->setCurrentItem(tvSubjectLines_->topLevelItem(0));
    updateCategoryButtons();
}

void frmPOPWizard::updateCategoryButtons() {
    // "Defaults" always exists.
    cmdDeleteCatagory_->setEnabled(
        !selectedCategory().isEmpty() &&
        selectedCategory().compare(SearchCategories::defaultsName(), Qt::CaseInsensitive) != 0);
}

QString frmPOPWizard::selectedCategory() const {
    const QTreeWidgetItem* item = tvSubjectLines_->currentItem();
    if (!item)
        return {};
    return item->parent() ? item->parent()->text(0) : item->text(0);
}

void frmPOPWizard::addCategory() {
    const std::optional<QString> name = prompter().askText(QStringLiteral("New Subject Category"),
                                                           QStringLiteral("Create a New Subject Category:"));
    if (!name || name->trimmed().isEmpty() || !SearchCategories::addCategory(name->trimmed(), prompter()))
        return;
    fillCategories();
    const QList<QTreeWidgetItem*> found = tvSubjectLines_->findItems(name->trimmed(), Qt::MatchFixedString);
    if (!found.isEmpty())
        tvSubjectLines_->setCurrentItem(found.first());
}

void frmPOPWizard::removeCategory() {
    const QString category = selectedCategory();
    if (category.isEmpty() || category.compare(SearchCategories::defaultsName(), Qt::CaseInsensitive) == 0)
        return;
    if (SearchCategories::removeCategory(category, prompter()))
        fillCategories();
}

void frmPOPWizard::addPhrase() {
    const QString category = selectedCategory();
    if (category.isEmpty())
        return;
    const std::optional<QString> phrase = prompter().askText(
        QStringLiteral("New Subject Phrase"), QStringLiteral("Please Enter the New Subject Phrase:"));
    if (!phrase || phrase->trimmed().isEmpty())
        return;
    SearchCategories::addPhrase(category, phrase->trimmed());
    fillCategories();
}

void frmPOPWizard::removePhrase() {
    const QTreeWidgetItem* item = tvSubjectLines_->currentItem();
    if (!item || !item->parent())
        return;
    if (SearchCategories::removePhrase(item->parent()->text(0), item->text(0), prompter()))
        fillCategories();
}

void frmPOPWizard::phraseToggled(QTreeWidgetItem* item) {
    // A category's box sets its phrases (the tree does that); each phrase is saved at once.
    const QSignalBlocker block(tvSubjectLines_);
    if (item->parent()) {
        SearchCategories::setChecked(item->parent()->text(0), item->text(0),
                                     item->checkState(0) == Qt::Checked);
        return;
    }
    for (int i = 0; i < item->childCount(); ++i)
        SearchCategories::setChecked(item->text(0), item->child(i)->text(0),
                                     item->checkState(0) == Qt::Checked);
}

void frmPOPWizard::selectPhrases(int entry) {
    // Phrases: the selected category; categories: every one.
    const bool check = entry == 0 || entry == 2;
    for (int i = 0; i < tvSubjectLines_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tvSubjectLines_->topLevelItem(i);
        if (entry < 2 && top->text(0) != selectedCategory())
            continue;
        for (int c = 0; c < top->childCount(); ++c)
            top->child(c)->setCheckState(0, check ? Qt::Checked : Qt::Unchecked);
    }
}

// ---- The run ----

void frmPOPWizard::showMessageCounter(const QString& text) {
    // One line for the message counter, rewritten as it moves.
    QListWidgetItem* last = lstStatus_->item(lstStatus_->count() - 1);
    if (last && last->data(Qt::UserRole).toBool()) {
        last->setText(text);
        return;
    }
    auto* line = new QListWidgetItem(text, lstStatus_);
    line->setData(Qt::UserRole, true);
}

void frmPOPWizard::status(const QString& text) {
    lstStatus_->addItem(text);
    lstStatus_->scrollToBottom();
}

void frmPOPWizard::startRun() {
    if (running_)
        return;
    const PopWizardRun::Settings chosen = settings();
    if (!run_.validate(chosen))
        return;
    running_ = true;
    ran_ = false;
    lstStatus_->clear();
    lblStatus2_->clear();
    setFinishEnabled(false);
    setBusy(true);
    cmdBuild_->setEnabled(false);
    cmdCancel_->setEnabled(true);
    lblRunState_->setText(QStringLiteral("Mail Processing Has Started"));
    lblRunHint_->clear();
    run_.start(chosen);
}

void frmPOPWizard::runFinished(PopWizardRun::Outcome outcome) {
    running_ = false;
    ran_ = true;
    setBusy(false);
    cmdCancel_->setEnabled(false);
    cmdBuild_->setEnabled(true);
    lblRunState_->setText(PopWizardRun::outcomeText(outcome));
    lblRunHint_->setText(outcome == PopWizardRun::Outcome::Completed
                             ? QStringLiteral("Press Finish to Continue")
                             : QStringLiteral("Press Finish to Exit"));
    const PopWizardRun::Settings chosen = settings();
    createdList_ = chosen.method == PopWizardRun::Method::CreateList && !run_.report().rows.isEmpty()
                       ? run_.foundListPath()
                       : QString();
    setFinishEnabled(true);
}

bool frmPOPWizard::finishWizard() {
    // A list made and not saved under a name opens unsaved; otherwise it goes with the run.
    if (!createdList_.isEmpty() && lists_ && run_.foundListPath() == createdList_)
        lists_->openResult(run_.takeFoundList());
    return true;
}

bool frmPOPWizard::mayExit() {
    return settleChanges();
}

void frmPOPWizard::abandonWork() {
    if (confirmation_)
        confirmation_->reject();
    if (running_)
        run_.stop();
}
