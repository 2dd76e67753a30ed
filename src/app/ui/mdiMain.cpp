#include "app/ui/mdiMain.h"

#include "app/ui/MailingServices.h"
#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "harvest/ui/HarvestWindows.h"
#include "import/ui/ImportWindows.h"
#include "lists/ui/ListWindows.h"
#include "mailbox/ui/MailboxWindows.h"
#include "mailings/ui/MailingWindows.h"
#include "mailings/ui/MailingWizardWindows.h"
#include "messages/ui/MessageWindows.h"
#include "send/ui/SendWindows.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTimer>
#include <QToolBox>

namespace {

const QString Defaults = QStringLiteral("Defaults");
const QString AppDefaults = QStringLiteral("ApplicationDefaults");
const QString Listbar = QStringLiteral("Listbar");
const QString ListWindow = QStringLiteral("frmList");
const QString MessageWindow = QStringLiteral("frmMessageEdit");

QString documentType(const QMdiSubWindow* sub) {
    return sub && sub->widget() ? sub->widget()->objectName() : QString();
}

} // namespace

mdiMain::mdiMain(Prompter& prompter, QWidget* parent)
    : QMainWindow(parent), prompter_(prompter), mdi_(new QMdiArea(this)) {
    setObjectName(QStringLiteral("mdiMain"));
    setWindowTitle(AppTitle() + u' ' +
                   (app().versionText.isEmpty() ? VersionText(false, true) : app().versionText));
    setWindowIcon(QIcon(QStringLiteral(":/tamberlyn.png")));
    mdi_->setObjectName(QStringLiteral("mdiArea"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);

    // Each module registers its window commands; the menus, toolbar and side bar are built from them.
    lists_ = new ListWindows(*this);
    registerCommands(lists_->commands());
    messages_ = new MessageWindows(*this);
    registerCommands(messages_->commands());
    harvest_ = new HarvestWindows(*this, *lists_);
    registerCommands(harvest_->commands());
    imports_ = new ImportWindows(*this, *lists_);
    registerCommands(imports_->commands());
    mailbox_ = new MailboxWindows(*this, *lists_);
    registerCommands(mailbox_->commands());
    registerCommands((new SendWindows(*this))->commands());
    // The mailing centre opens the lists and messages its rows name.
    auto* mailings =
        new MailingWindows(*this, {[this](const QString& name) { return lists_->ShowListFromName(name); },
                                   [this](const QString& name) {
                                       return messages_->OpenMessageByName(name) != nullptr;
                                   }});
    registerCommands(mailings->commands());
    mailingWizards_ = new MailingWizardWindows(*this, mailingServices(*lists_, *messages_));
    registerCommands(mailingWizards_->commands());
    registerCommands(frameCommands());
    createActions();
    buildMenus();
    buildToolbar();
    buildListbar();
    buildStatusbar();

    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] {
        setupMenus();
        UpdateStatusbarCount();
    });

    groupMailBlockSize_ = settingToInt(
        AppGetSetting(AppDefaults, QStringLiteral("GroupMailBlockSize"), QStringLiteral("10")), 10);
    tmrTBCShow_ = new QTimer(this);
    tmrTBCShow_->setObjectName(QStringLiteral("tmrTBCShow"));
    tmrTBCShow_->setSingleShot(true);
    tmrTBCShow_->setInterval(300);
    connect(tmrTBCShow_, &QTimer::timeout, this, [this] {
        if (settingToBool(
                AppGetSetting(AppDefaults, QStringLiteral("StartTBCentral"), QStringLiteral("true")), true))
            dispatch(QStringLiteral("id_TBCentral"));
    });
    tmrListStatUpdate_ = new QTimer(this);
    tmrListStatUpdate_->setObjectName(QStringLiteral("tmrListStatUpdate"));
    tmrListStatUpdate_->setSingleShot(true);
    tmrListStatUpdate_->setInterval(100);
    connect(tmrListStatUpdate_, &QTimer::timeout, this, &mdiMain::UpdateStatusbarCount);

    restoreGeometryFromSettings();
    setupMenus();
    UpdateStatusbarCount();
}

mdiMain::~mdiMain() {
    // The document windows go with the MDI area, after this part of the window: they must not call back.
    // Closed ones still waiting for deletion included.
    delete mailingWizards_;
    delete lists_;
    delete messages_;
    for (QMdiSubWindow* sub : mdi_->findChildren<QMdiSubWindow*>())
        sub->disconnect(this);
    mdi_->disconnect(this);
    listbarDock_->disconnect(this);
}

// ---- Commands ----

void mdiMain::registerCommands(const QList<WindowCommand>& commands) {
    for (const WindowCommand& command : commands) {
        auto found = commands_.find(command.id);
        if (found == commands_.end()) {
            found = commands_.insert(command.id, {command, nullptr, {}});
            commandOrder_ << command.id;
        }
        if (command.handler)
            found->work << command.handler;
    }
}

void mdiMain::wire(const QString& id, std::function<void()> work) {
    auto found = commands_.find(id);
    if (found == commands_.end())
        return;
    found->work.clear();
    if (work)
        found->work << std::move(work);
    setupMenus();
}

bool mdiMain::isWired(const QString& id) const {
    const auto found = commands_.constFind(id);
    return found != commands_.constEnd() && !found->work.isEmpty();
}

QStringList mdiMain::commandIds() const {
    return commandOrder_;
}

QAction* mdiMain::action(const QString& id) const {
    const auto found = commands_.constFind(id);
    return found == commands_.constEnd() ? nullptr : found->action;
}

bool mdiMain::dispatch(const QString& id) {
    const auto found = commands_.constFind(id);
    if (found == commands_.constEnd() || found->work.isEmpty() || !found->action->isEnabled())
        return false;
    const QList<std::function<void()>> work = found->work; // the work may rewire or close the window
    for (const std::function<void()>& step : work)
        step();
    return true;
}

void mdiMain::setupMenus() {
    const QString active = documentType(mdi_->activeSubWindow());
    const bool list = active == ListWindow;
    const bool message = active == MessageWindow;
    const bool any = !mdi_->subWindowList().isEmpty();
    for (const Command& command : std::as_const(commands_)) {
        bool fits = true;
        switch (command.definition.needs) {
        case Needs::Nothing:
            break;
        case Needs::AnyDocument:
            fits = any;
            break;
        case Needs::ListWindow:
            fits = list;
            break;
        case Needs::MessageWindow:
            fits = message;
            break;
        case Needs::ListOrMessage:
            fits = list || message;
            break;
        }
        command.action->setEnabled(!command.work.isEmpty() && fits);
    }
    if (listbarDock_) {
        const bool shown = !listbarDock_->isHidden();
        action(QStringLiteral("id_WindowHideListbar"))->setVisible(shown);
        action(QStringLiteral("id_WindowShowListbar"))->setVisible(!shown);
    }
    updateListbarItems();
}

// ---- Documents ----

int mdiMain::CountListAndMessageWindows() const {
    int count = 0;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        const QString type = documentType(sub);
        if (type == ListWindow || type == MessageWindow)
            ++count;
    }
    return count;
}

bool mdiMain::refuseOverLimit(const QString& text) {
    if (CountListAndMessageWindows() <= MaxDocumentWindows)
        return false;
    prompter_.inform(AppTitle(), text, Prompter::Icon::Exclamation);
    return true;
}

QMdiSubWindow* mdiMain::addDocument(QWidget* document) {
    QMdiSubWindow* sub = mdi_->addSubWindow(document);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(windowIcon());
    connect(sub, &QObject::destroyed, this, [this] {
        setupMenus();
        UpdateStatusbarCount();
    });
    if (appSettings().StartMaximized == 2)
        sub->showMaximized();
    else
        sub->show();
    mdi_->setActiveSubWindow(sub);
    setupMenus();
    UpdateStatusbarCount();
    return sub;
}

// The list windows belong to the lists module; these hand on to it.
QList<frmList*> mdiMain::listWindows() const {
    return lists_->listWindows();
}

frmList* mdiMain::activeList() const {
    return lists_->activeList();
}

frmList* mdiMain::LocateListWindow(const QString& path) const {
    return lists_->LocateListWindow(path);
}

frmList* mdiMain::showList(const QString& path, const QString& caption) {
    return lists_->showList(path, caption);
}

bool mdiMain::ShowListFromName(const QString& name) {
    return lists_->ShowListFromName(name);
}

frmList* mdiMain::createEmptyList() {
    return lists_->createEmptyList();
}

QString mdiMain::saveListAs(frmList* list) {
    return lists_->saveListAs(list);
}

QWidget* mdiMain::showTable(const QString& path, const QString& table, const QString& caption) {
    return lists_->showTable(path, table, caption);
}

int mdiMain::getCaptionNumber() {
    return lists_->getCaptionNumber();
}

QString mdiMain::dataErrorText(int number) {
    return ListWindows::dataErrorText(number);
}

QString mdiMain::missingListFileText(const QString& name, const QString& path) {
    return ListWindows::missingListFileText(name, path);
}

// ---- Status bar ----

void mdiMain::buildStatusbar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("staMain"));
    statusPanel_ = new QLabel(this);
    statusPanel_->setObjectName(QStringLiteral("pnlStatus"));
    statusPanel_->setMinimumWidth(96); // 1,440 twips
    recordsPanel_ = new QLabel(this);
    recordsPanel_->setObjectName(QStringLiteral("pnlRecords"));
    listsPanel_ = new QLabel(this);
    listsPanel_->setObjectName(QStringLiteral("pnlLists"));
    messagesPanel_ = new QLabel(this);
    messagesPanel_->setObjectName(QStringLiteral("pnlMessages"));
    bar->addWidget(statusPanel_, 1);
    bar->addPermanentWidget(recordsPanel_);
    bar->addPermanentWidget(listsPanel_);
    bar->addPermanentWidget(messagesPanel_);
}

void mdiMain::UpdateStatusbarCount() {
    int lists = 0;
    int messages = 0;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        const QString type = documentType(sub);
        lists += type == ListWindow;
        messages += type == MessageWindow;
    }
    listsPanel_->setText(QStringLiteral("Lists: ") + QString::number(lists));
    listsPanel_->setVisible(lists > 0);
    messagesPanel_->setText(QStringLiteral("Messages: ") + QString::number(messages));
    messagesPanel_->setVisible(messages > 0);
    // A document window that counts records says so in its recordCount property.
    const QMdiSubWindow* active = mdi_->activeSubWindow();
    const QVariant records =
        active && active->widget() ? active->widget()->property("recordCount") : QVariant();
    if (records.isValid()) {
        recordsPanel_->setText(QStringLiteral("Records: ") + QString::number(records.toInt()));
        recordsPanel_->setVisible(true);
    } else {
        recordsPanel_->setVisible(false);
    }
}

void mdiMain::setStatusText(const QString& text) {
    statusPanel_->setText(text);
}

void mdiMain::finishStartup() {
    setStatusText(QString());
    statusPanel_->setMinimumWidth(96);
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    tmrTBCShow_->start();
    tmrListStatUpdate_->start();
}

// ---- Position and closing ----

void mdiMain::restoreGeometryFromSettings() {
    const auto read = [](const char* key, int fallback) {
        return settingToInt(AppGetSetting(Defaults, QString::fromLatin1(key), QString::number(fallback)),
                            fallback);
    };
    const int width = read("MainWinWidth", 1024);
    const int height = read("MainWinHeight", 700);
    const int left = read("MainWinLeft", 60);
    const int top = read("MainWinTop", 40);
    resize(std::max(width, 400), std::max(height, 300));
    move(left, top);
    if (read("MainWinState", 0) == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void mdiMain::writeSettings() {
    const QRect normal = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    AppSaveSetting(Defaults, QStringLiteral("MainWinLeft"), QString::number(normal.x()));
    AppSaveSetting(Defaults, QStringLiteral("MainWinTop"), QString::number(normal.y()));
    AppSaveSetting(Defaults, QStringLiteral("MainWinWidth"), QString::number(normal.width()));
    AppSaveSetting(Defaults, QStringLiteral("MainWinHeight"), QString::number(normal.height()));
    AppSaveSetting(Defaults, QStringLiteral("MainWinState"),
                   QString::number(isMaximized()   ? 2
                                   : isMinimized() ? 1
                                                   : 0));
    AppSaveSetting(AppDefaults, QStringLiteral("GroupMailBlockSize"), QString::number(groupMailBlockSize_));
    AppSaveSetting(AppDefaults, QStringLiteral("StartMaximized"),
                   QString::number(appSettings().StartMaximized));
    AppSaveSetting(AppDefaults, QStringLiteral("WordWrapSize"), QString::number(appSettings().WordWrapSize));
    for (int place = 0; place < listbar_->count(); ++place) {
        const int group = listbar_->widget(place)->property("groupNumber").toInt();
        AppSaveSetting(Listbar, QString::number(group) + QStringLiteral("Order"), QString::number(place));
    }
}

void mdiMain::whenClosing(std::function<void()> work) {
    closingWork_ << std::move(work);
}

void mdiMain::closeEvent(QCloseEvent* event) {
    // Every list and message window may refuse (its save question answered Cancel).
    closing_ = true;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        const QString type = documentType(sub);
        if ((type == ListWindow || type == MessageWindow) && !sub->close()) {
            closing_ = false;
            event->ignore();
            return;
        }
    }
    closing_ = false;
    mdi_->closeAllSubWindows();
    for (const std::function<void()>& work : std::as_const(closingWork_))
        work();
    writeSettings();
    event->accept();
}
