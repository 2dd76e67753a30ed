#include "core/ui/mdiMain.h"

#include "core/AppSettings.h"
#include "core/mdlMain.h"
#include "core/ui/HelpFile.h"
#include "core/ui/frmConfiguration.h"
#include "core/ui/frmOpenDelete.h"
#include "db/DataTank.h"
#include "db/ListEvents.h"
#include "lists/ListCatalog.h"
#include "lists/ListTableModel.h"
#include "lists/ui/frmFindReplace.h"
#include "lists/ui/frmList.h"
#include "lists/ui/frmListOperations.h"
#include "lists/ui/frmSQLQuery.h"
#include "lists/ui/frmTableView.h"
#include "util/FileNameObject.h"
#include "util/ui/FilePickers.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolBox>

namespace {

const QString Defaults = QStringLiteral("Defaults");
const QString AppDefaults = QStringLiteral("ApplicationDefaults");
const QString Listbar = QStringLiteral("Listbar");
const QString ListWindow = QStringLiteral("frmList");
const QString MessageWindow = QStringLiteral("frmMessageEdit");

struct ListbarGroup {
    QString title;
    QList<std::pair<QString, QString>> items; // caption, command id
};

// The side bar's groups in their first order; "Manage lists" opens the list operations.
const QList<ListbarGroup>& listbarGroups() {
    static const QList<ListbarGroup> groups = {
        {QStringLiteral("Lists"),
         {{QStringLiteral("New list"), QStringLiteral("id_FileNewList")},
          {QStringLiteral("Open existing list"), QStringLiteral("id_FileOpenList")},
          {QStringLiteral("Manage lists"), QStringLiteral("id_ManageLists")},
          {QStringLiteral("Delete list"), QStringLiteral("id_FileDeleteList")}}},
        {QStringLiteral("Messages"),
         {{QStringLiteral("New Message"), QStringLiteral("id_FileNewMessage")},
          {QStringLiteral("Open existing message"), QStringLiteral("id_FileOpenMessage")},
          {QStringLiteral("Delete Message"), QStringLiteral("id_FileDeleteMessage")}}},
        {QStringLiteral("Tamberlyn"),
         {{QStringLiteral("Tamberlyn Delivery Options"), QStringLiteral("id_FileOpenTamberlynSetup")},
          {QStringLiteral("Tamberlyn Central"), QStringLiteral("id_TBCentral")},
          {QStringLiteral("Tamberlyn Wizard"), QStringLiteral("id_TBWiz")},
          {QStringLiteral("Tamberlyn Groups"), QStringLiteral("id_OpenTB")}}},
    };
    return groups;
}

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

    buildMenus();
    buildToolbar();
    buildListbar();
    buildStatusbar();
    wireCommands();

    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] {
        setupMenus();
        UpdateStatusbarCount();
    });
    ListEvents& events = ListEvents::instance();
    connect(&events, &ListEvents::closeWindowsOnFile, this, [this](const QString& path) {
        for (frmList* list : listWindows())
            if (list->path().compare(path, Qt::CaseInsensitive) == 0)
                list->closeQuietly();
    });
    connect(&events, &ListEvents::openListWindow, this,
            [this](const QString& path, const QString& caption) { showList(path, caption); });
    connect(&events, &ListEvents::statusMessage, this, &mdiMain::setStatusText);

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
    for (QMdiSubWindow* sub : mdi_->findChildren<QMdiSubWindow*>())
        sub->disconnect(this);
    mdi_->disconnect(this);
    listbarDock_->disconnect(this);
}

// ---- Commands ----

QAction* mdiMain::addCommand(const QString& id, const QString& caption, Needs needs, QMenu* menu) {
    auto* action = new QAction(caption, this);
    action->setObjectName(id);
    action->setData(id);
    action->setEnabled(false);
    connect(action, &QAction::triggered, this, [this, id] { dispatch(id); });
    commands_.insert(id, {action, needs, {}});
    commandOrder_ << id;
    if (menu)
        menu->addAction(action);
    return action;
}

void mdiMain::buildMenus() {
    QStyle* s = style();
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    addCommand(QStringLiteral("id_FileNewList"), QStringLiteral("&New List"), Needs::Nothing, file)
        ->setIcon(s->standardIcon(QStyle::SP_FileIcon));
    addCommand(QStringLiteral("id_FileNewMessage"), QStringLiteral("New &Message"), Needs::Nothing, file);
    addCommand(QStringLiteral("id_FileNewTamberlynSetup"), QStringLiteral("New &Delivery Options"),
               Needs::Nothing, file);
    addCommand(QStringLiteral("id_NewTB"), QStringLiteral("New Mailing &Group"), Needs::Nothing, file);
    file->addSeparator();
    addCommand(QStringLiteral("id_FileOpenList"), QStringLiteral("&Open List..."), Needs::Nothing, file)
        ->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
    addCommand(QStringLiteral("id_FileOpenMessage"), QStringLiteral("Open M&essage..."), Needs::Nothing,
               file);
    addCommand(QStringLiteral("id_FileOpenTamberlynSetup"), QStringLiteral("Open Deli&very Options..."),
               Needs::Nothing, file);
    addCommand(QStringLiteral("id_OpenTB"), QStringLiteral("Open Mailing Gro&up..."), Needs::Nothing, file);
    file->addSeparator();
    addCommand(QStringLiteral("id_FileClose"), QStringLiteral("&Close"), Needs::AnyDocument, file);
    addCommand(QStringLiteral("id_FileCloseAll"), QStringLiteral("Close A&ll"), Needs::AnyDocument, file);
    file->addSeparator();
    addCommand(QStringLiteral("id_FileSave"), QStringLiteral("&Save"), Needs::ListOrMessage, file)
        ->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
    addCommand(QStringLiteral("id_FileSaveAs"), QStringLiteral("Save &As..."), Needs::ListOrMessage, file);
    file->addSeparator();
    addCommand(QStringLiteral("id_FileDeleteList"), QStringLiteral("Delete L&ist..."), Needs::Nothing, file);
    addCommand(QStringLiteral("id_FileDeleteMessage"), QStringLiteral("Delete Messa&ge..."), Needs::Nothing,
               file);
    addCommand(QStringLiteral("id_FileDeleteTamberlynSetup"), QStringLiteral("Delete Delivery O&ptions..."),
               Needs::Nothing, file);
    addCommand(QStringLiteral("id_DeleteTB"), QStringLiteral("Delete Mailing G&roup..."), Needs::Nothing,
               file);
    file->addSeparator();
    addCommand(QStringLiteral("id_FileSendTamberlyn"), QStringLiteral("Sen&d Mailing..."), Needs::Nothing,
               file);
    file->addSeparator();
    addCommand(QStringLiteral("ID_Options"), QStringLiteral("Op&tions..."), Needs::Nothing, file);
    file->addSeparator();
    addCommand(QStringLiteral("id_FileExit"), QStringLiteral("E&xit"), Needs::Nothing, file);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    addCommand(QStringLiteral("id_EditCut"), QStringLiteral("Cu&t"), Needs::ListOrMessage, edit)
        ->setShortcut(QKeySequence::Cut);
    addCommand(QStringLiteral("id_EditCopy"), QStringLiteral("&Copy"), Needs::ListOrMessage, edit)
        ->setShortcut(QKeySequence::Copy);
    addCommand(QStringLiteral("id_EditPaste"), QStringLiteral("&Paste"), Needs::ListOrMessage, edit)
        ->setShortcut(QKeySequence::Paste);
    addCommand(QStringLiteral("id_EditSelectAll"), QStringLiteral("Select &All"), Needs::ListOrMessage, edit)
        ->setShortcut(QKeySequence::SelectAll);
    edit->addSeparator();
    addCommand(QStringLiteral("id_EditFind"), QStringLiteral("&Find..."), Needs::ListOrMessage, edit)
        ->setShortcut(QKeySequence::Find);
    addCommand(QStringLiteral("id_EditReplace"), QStringLiteral("R&eplace..."), Needs::ListOrMessage, edit)
        ->setShortcut(QKeySequence::Replace);
    edit->addSeparator();
    addCommand(QStringLiteral("id_EditDeleteRecord"), QStringLiteral("&Delete Record(s)"), Needs::ListWindow,
               edit);
    edit->addSeparator();
    addCommand(QStringLiteral("id_EditCheckSpelling"), QStringLiteral("Check &Spelling"),
               Needs::MessageWindow, edit);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    addCommand(QStringLiteral("id_ToolsImportMailbox"), QStringLiteral("Import from &Mailbox..."),
               Needs::Nothing, tools);
    addCommand(QStringLiteral("id_ToolsImportContactDatabase"), QStringLiteral("Import Contact &Database..."),
               Needs::Nothing, tools);
    addCommand(QStringLiteral("id_ToolsImportEPSFile"), QStringLiteral("&Build List from Files..."),
               Needs::Nothing, tools);
    tools->addSeparator();
    addCommand(QStringLiteral("id_ToolsMergeLists"), QStringLiteral("Merge &Lists..."), Needs::ListWindow,
               tools);
    addCommand(QStringLiteral("id_ToolsCleanList"), QStringLiteral("&Clean List..."), Needs::ListWindow,
               tools);
    addCommand(QStringLiteral("id_ToolsFindDuplicates"), QStringLiteral("Find D&uplicates..."),
               Needs::ListWindow, tools);
    addCommand(QStringLiteral("id_ToolsFilter"), QStringLiteral("&Filter..."), Needs::ListWindow, tools);
    addCommand(QStringLiteral("id_ToolsExportList"), QStringLiteral("&Export List..."), Needs::ListWindow,
               tools);

    QMenu* message = menuBar()->addMenu(QStringLiteral("&Message"));
    message->setObjectName(QStringLiteral("mnuMessageTools"));
    addCommand(QStringLiteral("id_MessageToolsGreetingManager"), QStringLiteral("&Greeting Manager..."),
               Needs::MessageWindow, message);
    addCommand(QStringLiteral("id_MessageToolsMessagePreview"), QStringLiteral("Message &Preview"),
               Needs::MessageWindow, message);
    addCommand(QStringLiteral("id_MessageToolsInsertAttachment"), QStringLiteral("Insert &Attachment..."),
               Needs::MessageWindow, message);
    addCommand(QStringLiteral("id_MessageToolsInsertFile"), QStringLiteral("Insert &File..."),
               Needs::MessageWindow, message);
    addCommand(QStringLiteral("id_MessageToolsSpellCheck"), QStringLiteral("&Spell Check"),
               Needs::MessageWindow, message);

    QMenu* central = menuBar()->addMenu(QStringLiteral("Tam&berlyn"));
    central->setObjectName(QStringLiteral("mnuTamberlyn"));
    addCommand(QStringLiteral("id_TBCentral"), QStringLiteral("Tamberlyn &Central"), Needs::Nothing, central);
    addCommand(QStringLiteral("id_TBWiz"), QStringLiteral("Tamberlyn &Wizard..."), Needs::Nothing, central);

    windowMenu_ = menuBar()->addMenu(QStringLiteral("&Window"));
    windowMenu_->setObjectName(QStringLiteral("mnuWindow"));
    connect(windowMenu_, &QMenu::aboutToShow, this, &mdiMain::fillWindowMenu);
    // Not in a menu: the side bar's "Manage lists".
    addCommand(QStringLiteral("id_ManageLists"), QStringLiteral("Manage Lists..."), Needs::Nothing);
    addCommand(QStringLiteral("id_WindowTileHorizontally"), QStringLiteral("Tile &Horizontally"),
               Needs::Nothing);
    addCommand(QStringLiteral("id_WindowTileVertically"), QStringLiteral("Tile &Vertically"), Needs::Nothing);
    addCommand(QStringLiteral("id_WindowCascade"), QStringLiteral("&Cascade"), Needs::Nothing);
    addCommand(QStringLiteral("id_WindowArrangeIcons"), QStringLiteral("&Arrange Icons"), Needs::Nothing);
    addCommand(QStringLiteral("id_WindowHideListbar"), QStringLiteral("Hide List&bar"), Needs::Nothing);
    addCommand(QStringLiteral("id_WindowShowListbar"), QStringLiteral("Show List&bar"), Needs::Nothing);
    addCommand(QStringLiteral("id_WindowHideLists"), QStringLiteral("Hide Lists"), Needs::Nothing);
    addCommand(QStringLiteral("id_WindowHideMessages"), QStringLiteral("Hide Messages"), Needs::Nothing);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    addCommand(QStringLiteral("id_HelpTamberlynHelp"), QStringLiteral("Tamberlyn &Help"), Needs::Nothing,
               help)
        ->setShortcut(QKeySequence::HelpContents);
    addCommand(QStringLiteral("ID_HelpGettingStarted"), QStringLiteral("&Getting Started"), Needs::Nothing,
               help);
    help->addSeparator();
    addCommand(QStringLiteral("id_HelpAboutTamberlyn"), QStringLiteral("&About Tamberlyn"), Needs::Nothing,
               help);
}

void mdiMain::fillWindowMenu() {
    windowMenu_->clear();
    for (const char* id : {"id_WindowTileHorizontally", "id_WindowTileVertically", "id_WindowCascade",
                           "id_WindowArrangeIcons"})
        windowMenu_->addAction(action(QString::fromLatin1(id)));
    windowMenu_->addSeparator();
    const bool listbarShown = listbarDock_->isVisible();
    windowMenu_->addAction(action(listbarShown ? QStringLiteral("id_WindowHideListbar")
                                               : QStringLiteral("id_WindowShowListbar")));
    windowMenu_->addAction(action(QStringLiteral("id_WindowHideLists")));
    windowMenu_->addAction(action(QStringLiteral("id_WindowHideMessages")));
    // AddToWindowList: one entry per document window, the active one ticked.
    const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
    if (!windows.isEmpty())
        windowMenu_->addSeparator();
    int number = 0;
    for (QMdiSubWindow* sub : windows) {
        ++number;
        QAction* entry = windowMenu_->addAction(
            (number < 10 ? QStringLiteral("&%1 ").arg(number) : QStringLiteral("%1 ").arg(number)) +
            sub->windowTitle());
        entry->setCheckable(true);
        entry->setChecked(sub == mdi_->activeSubWindow());
        connect(entry, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
            if (sub) {
                sub->show();
                mdi_->setActiveSubWindow(sub);
            }
        });
    }
}

void mdiMain::buildToolbar() {
    QToolBar* bar = addToolBar(QStringLiteral("Standard"));
    bar->setObjectName(QStringLiteral("tbrMain"));
    bar->setIconSize(QSize(20, 20));
    QStyle* s = style();
    action(QStringLiteral("id_EditDeleteRecord"))->setIcon(s->standardIcon(QStyle::SP_TrashIcon));
    action(QStringLiteral("ID_Options"))->setIcon(s->standardIcon(QStyle::SP_FileDialogDetailedView));
    action(QStringLiteral("id_EditFind"))->setIcon(s->standardIcon(QStyle::SP_FileDialogContentsView));
    action(QStringLiteral("id_HelpTamberlynHelp"))->setIcon(s->standardIcon(QStyle::SP_DialogHelpButton));
    action(QStringLiteral("id_TBCentral"))->setIcon(s->standardIcon(QStyle::SP_ComputerIcon));
    action(QStringLiteral("id_FileSendTamberlyn"))->setIcon(s->standardIcon(QStyle::SP_ArrowForward));
    for (const char* id :
         {"id_FileNewList", "id_FileOpenList", "id_FileSave", "", "id_EditFind", "id_EditDeleteRecord", "",
          "id_TBCentral", "id_FileSendTamberlyn", "", "ID_Options", "id_HelpTamberlynHelp"}) {
        if (*id == '\0')
            bar->addSeparator();
        else
            bar->addAction(action(QString::fromLatin1(id)));
    }
}

void mdiMain::buildListbar() {
    listbarDock_ = new QDockWidget(QStringLiteral("Shortcuts"), this);
    listbarDock_->setObjectName(QStringLiteral("albMainDock"));
    listbarDock_->setFeatures(QDockWidget::DockWidgetClosable);
    listbar_ = new QToolBox(listbarDock_);
    listbar_->setObjectName(QStringLiteral("albMain"));
    listbar_->setMinimumWidth(180);
    listbar_->setContextMenuPolicy(Qt::CustomContextMenu);

    // The stored order: key "<group number>Order" holds the group's place.
    QList<std::pair<int, int>> order; // place, group
    for (int group = 0; group < listbarGroups().size(); ++group) {
        const int place =
            settingToInt(AppGetSetting(Listbar, QString::number(group + 1) + QStringLiteral("Order"),
                                       QString::number(group)),
                         group);
        order.append({place, group});
    }
    std::stable_sort(order.begin(), order.end());
    for (const auto& [place, group] : order) {
        Q_UNUSED(place)
        const ListbarGroup& definition = listbarGroups().at(group);
        auto* items = new QListWidget(listbar_);
        items->setObjectName(QStringLiteral("albGroup") + QString::number(group + 1));
        items->setProperty("groupNumber", group + 1);
        items->setIconSize(QSize(32, 32));
        items->setSpacing(4);
        for (const auto& [caption, id] : definition.items) {
            auto* item = new QListWidgetItem(caption, items);
            item->setData(Qt::UserRole, id);
            const QAction* command = action(id);
            item->setIcon(command && !command->icon().isNull() ? command->icon()
                                                               : style()->standardIcon(QStyle::SP_DirIcon));
        }
        connect(items, &QListWidget::itemClicked, this,
                [this](QListWidgetItem* item) { dispatch(item->data(Qt::UserRole).toString()); });
        listbar_->addItem(items, definition.title);
    }
    connect(listbar_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const int current = listbar_->currentIndex();
        QMenu menu(this);
        QAction* up = menu.addAction(QStringLiteral("Move Group &Up"));
        QAction* down = menu.addAction(QStringLiteral("Move Group &Down"));
        up->setEnabled(current > 0);
        down->setEnabled(current >= 0 && current < listbar_->count() - 1);
        const QAction* chosen = menu.exec(listbar_->mapToGlobal(at));
        if (chosen == up)
            moveListbarGroup(current, current - 1);
        else if (chosen == down)
            moveListbarGroup(current, current + 1);
    });
    listbarDock_->setWidget(listbar_);
    addDockWidget(Qt::LeftDockWidgetArea, listbarDock_);
    connect(listbarDock_, &QDockWidget::visibilityChanged, this, [this] { setupMenus(); });
}

void mdiMain::moveListbarGroup(int from, int to) {
    if (from < 0 || to < 0 || from >= listbar_->count() || to >= listbar_->count())
        return;
    QWidget* page = listbar_->widget(from);
    const QString title = listbar_->itemText(from);
    listbar_->removeItem(from);
    listbar_->insertItem(to, page, title);
    listbar_->setCurrentIndex(to);
}

QStringList mdiMain::listbarOrder() const {
    QStringList titles;
    for (int i = 0; i < listbar_->count(); ++i)
        titles << listbar_->itemText(i);
    return titles;
}

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

void mdiMain::wire(const QString& id, std::function<void()> work) {
    auto found = commands_.find(id);
    if (found == commands_.end())
        return;
    found->work = std::move(work);
    setupMenus();
}

bool mdiMain::isWired(const QString& id) const {
    const auto found = commands_.constFind(id);
    return found != commands_.constEnd() && bool(found->work);
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
    if (found == commands_.constEnd() || !found->work || !found->action->isEnabled())
        return false;
    const std::function<void()> work = found->work; // the work may rewire or close the window
    work();
    return true;
}

// The dispatcher's table. Commands whose windows come later stay unwired, and so disabled; wiring one
// is a line here, e.g. wire("id_ToolsMergeLists", [this] { MergeLists(); }).
void mdiMain::tileWindows(Qt::Orientation direction) {
    QList<QMdiSubWindow*> shown;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (sub->isVisible() && !sub->isMinimized())
            shown << sub;
    if (shown.isEmpty())
        return;
    const QRect area = mdi_->viewport()->rect();
    const int count = int(shown.size());
    for (int i = 0; i < count; ++i) {
        shown[i]->showNormal();
        if (direction == Qt::Vertical)
            shown[i]->setGeometry(0, i * (area.height() / count), area.width(), area.height() / count);
        else
            shown[i]->setGeometry(i * (area.width() / count), 0, area.width() / count, area.height());
    }
}

void mdiMain::wireCommands() {
    wire(QStringLiteral("id_FileNewList"), [this] { createEmptyList(); });
    wire(QStringLiteral("id_FileOpenList"), [this] {
        if (!refuseOverLimit(limitOpenText()))
            openListsDialog();
    });
    wire(QStringLiteral("id_FileDeleteList"), [this] { deleteListsDialog(); });
    wire(QStringLiteral("id_FileClose"), [this] {
        if (QMdiSubWindow* sub = mdi_->activeSubWindow())
            sub->close();
    });
    wire(QStringLiteral("id_FileCloseAll"), [this] { mdi_->closeAllSubWindows(); });
    wire(QStringLiteral("id_FileSave"), [this] { saveActiveList(false); });
    wire(QStringLiteral("id_FileSaveAs"), [this] { saveActiveList(true); });
    wire(QStringLiteral("ID_Options"), [this] {
        auto* dialog = new frmConfiguration(prompter_, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    wire(QStringLiteral("id_FileExit"), [this] { close(); });

    wire(QStringLiteral("id_EditCut"), [this] {
        if (frmList* list = activeList())
            list->cut();
    });
    wire(QStringLiteral("id_EditCopy"), [this] {
        if (frmList* list = activeList())
            list->copy();
    });
    wire(QStringLiteral("id_EditPaste"), [this] {
        if (frmList* list = activeList())
            list->paste();
    });
    wire(QStringLiteral("id_EditSelectAll"), [this] {
        if (frmList* list = activeList())
            list->selectAll();
    });
    wire(QStringLiteral("id_EditFind"), [this] { showFindReplace(false); });
    wire(QStringLiteral("id_EditReplace"), [this] { showFindReplace(true); });
    wire(QStringLiteral("id_EditDeleteRecord"), [this] { deleteRecords(); });

    // A list operation's result opens as a new unsaved list.
    const auto openResult = [this](const QString& result) {
        frmListOperations::ListSummary(result, prompter_, [this](const QString& path) {
            showList(path, QStringLiteral("Untitled Mailing List ") + QString::number(getCaptionNumber()));
        });
    };
    const auto listOperation = [this, openResult](frmListOperations::Operation operation) {
        if (refuseOverLimit(limitNewText()))
            return;
        auto* dialog = new frmListOperations(operation, frmListOperations::registeredChoices(), prompter_,
                                             int(listWindows().size()), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        if (frmList* list = activeList())
            dialog->selectFirst(list->path());
        connect(dialog, &QDialog::accepted, this, [dialog, openResult] { openResult(dialog->result()); });
        dialog->open();
    };
    wire(QStringLiteral("id_ToolsMergeLists"),
         [listOperation] { listOperation(frmListOperations::Operation::Merge); });
    wire(QStringLiteral("id_ToolsCleanList"),
         [listOperation] { listOperation(frmListOperations::Operation::Clean); });
    wire(QStringLiteral("id_ToolsFindDuplicates"),
         [listOperation] { listOperation(frmListOperations::Operation::Duplicates); });
    wire(QStringLiteral("id_ToolsFilter"), [this, openResult] {
        const frmList* list = activeList();
        if (!list || refuseOverLimit(limitNewText()))
            return;
        const QString path = list->path();
        auto* dialog = new frmSQLQuery(QStringLiteral("AddressList"), frmSQLQuery::tableColumns(path), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::accepted, this, [this, dialog, path, openResult] {
            // An empty condition cancels the filter.
            const QString clause = dialog->clause().trimmed();
            if (!clause.isEmpty())
                openResult(DataTank::gFilterList(path, prompter_, clause));
        });
        dialog->open();
    });
    wire(QStringLiteral("id_ToolsExportList"), [this] {
        const frmList* list = activeList();
        if (!list)
            return;
        const QString path = list->path();
        FileNameObject target;
        const QString file = GetNewFileName(target, FileNameObject::UserFilePath(),
                                            QStringLiteral("Text files (*.txt *.csv);;All files (*)"),
                                            list->caption() + QStringLiteral(".txt"), this);
        if (!file.isEmpty())
            // The save dialog has asked before replacing an existing file.
            DataTank::gExportList(path, file, prompter_, DataTank::ExistingExportFile::Replace);
    });

    // One above the other at full width, or side by side at full height.
    wire(QStringLiteral("id_WindowTileHorizontally"), [this] { tileWindows(Qt::Vertical); });
    wire(QStringLiteral("id_WindowTileVertically"), [this] { tileWindows(Qt::Horizontal); });
    wire(QStringLiteral("id_WindowCascade"), [this] { mdi_->cascadeSubWindows(); });
    wire(QStringLiteral("id_WindowArrangeIcons"), [this] {
        // Minimised windows in a row along the bottom.
        int x = 0;
        for (QMdiSubWindow* sub : mdi_->subWindowList())
            if (sub->isMinimized()) {
                sub->move(x, mdi_->viewport()->height() - sub->height());
                x += sub->width();
            }
    });
    wire(QStringLiteral("id_WindowHideListbar"), [this] {
        listbarDock_->hide();
        setupMenus();
    });
    wire(QStringLiteral("id_WindowShowListbar"), [this] {
        listbarDock_->show();
        setupMenus();
    });
    wire(QStringLiteral("id_WindowHideLists"), [this] {
        toggleDocuments(ListWindow, QStringLiteral("id_WindowHideLists"), QStringLiteral("Hide Lists"),
                        QStringLiteral("Show Lists"));
    });
    wire(QStringLiteral("id_WindowHideMessages"), [this] {
        toggleDocuments(MessageWindow, QStringLiteral("id_WindowHideMessages"),
                        QStringLiteral("Hide Messages"), QStringLiteral("Show Messages"));
    });

    wire(QStringLiteral("id_HelpTamberlynHelp"), [this] { ShowHelpFile(prompter_); });
    wire(QStringLiteral("ID_HelpGettingStarted"), [this] { ShowHelpFile(prompter_); });
    wire(QStringLiteral("id_HelpAboutTamberlyn"), [this] {
        prompter_.inform(QStringLiteral("About ") + AppTitle(),
                         AppTitle() + u' ' + VersionText(false, true) +
                             QStringLiteral("\n\nA mailing-list manager and bulk e-mail sender."),
                         Prompter::Icon::Information);
    });
}

void mdiMain::setupMenus() {
    const QString active = documentType(mdi_->activeSubWindow());
    const bool list = active == ListWindow;
    const bool message = active == MessageWindow;
    const bool any = !mdi_->subWindowList().isEmpty();
    for (const Command& command : std::as_const(commands_)) {
        bool fits = true;
        switch (command.needs) {
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
        command.action->setEnabled(bool(command.work) && fits);
    }
    if (listbarDock_) {
        const bool shown = !listbarDock_->isHidden();
        action(QStringLiteral("id_WindowHideListbar"))->setVisible(shown);
        action(QStringLiteral("id_WindowShowListbar"))->setVisible(!shown);
    }
    // The side bar follows the commands it stands for.
    if (listbar_)
        for (int page = 0; page < listbar_->count(); ++page)
            if (auto* items = qobject_cast<QListWidget*>(listbar_->widget(page)))
                for (int i = 0; i < items->count(); ++i) {
                    QListWidgetItem* item = items->item(i);
                    const QAction* command = action(item->data(Qt::UserRole).toString());
                    const bool enabled = command && command->isEnabled();
                    item->setFlags(enabled ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::NoItemFlags);
                }
}

void mdiMain::toggleDocuments(const QString& objectName, const QString& id, const QString& hide,
                              const QString& show) {
    QAction* command = action(id);
    const bool hiding = command->text() == hide;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (documentType(sub) == objectName)
            sub->setVisible(!hiding);
    command->setText(hiding ? show : hide);
}

// ---- Documents ----

QString mdiMain::limitNewText() {
    return QStringLiteral(
        "You must close some of your open lists and messages before creating any new ones.");
}

QString mdiMain::limitOpenText() {
    return QStringLiteral("You must close some of your open lists and messages before opening any new ones.");
}

QString mdiMain::dataErrorText(int number) {
    return QStringLiteral("datTamberlyn threw an Error event, number ") + QString::number(number);
}

QString mdiMain::missingListFileText(const QString& name, const QString& path) {
    return QStringLiteral("Cannot open the '") + name +
           QStringLiteral("' list.\nThe corresponding address file, '") + path +
           QStringLiteral("', was not found.");
}

QList<frmList*> mdiMain::listWindows() const {
    QList<frmList*> lists;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (auto* list = qobject_cast<frmList*>(sub->widget()))
            lists << list;
    return lists;
}

int mdiMain::CountListAndMessageWindows() const {
    int count = 0;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        const QString type = documentType(sub);
        if (type == ListWindow || type == MessageWindow)
            ++count;
    }
    return count;
}

frmList* mdiMain::activeList() const {
    QMdiSubWindow* sub = mdi_->activeSubWindow();
    return sub ? qobject_cast<frmList*>(sub->widget()) : nullptr;
}

frmList* mdiMain::LocateListWindow(const QString& path) const {
    for (frmList* list : listWindows())
        if (list->path().compare(path, Qt::CaseInsensitive) == 0)
            return list;
    return nullptr;
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

frmList* mdiMain::showList(const QString& path, const QString& caption) {
    if (frmList* open = LocateListWindow(path)) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(open->parentWidget())) {
            sub->show();
            mdi_->setActiveSubWindow(sub);
        }
        return open;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    frmList* list = frmList::open(path, caption, prompter_, nullptr, &error);
    QApplication::restoreOverrideCursor();
    if (!list) {
        prompter_.inform(AppTitle(),
                         QStringLiteral("Cannot open the list ") + path + QStringLiteral(":\n") + error,
                         Prompter::Icon::Exclamation);
        return nullptr;
    }
    list->setSaveRequest([this](frmList* l) { return !saveListAs(l).isEmpty(); });
    connect(list, &frmList::recordCountChanged, this, [this] { UpdateStatusbarCount(); });
    addDocument(list);
    return list;
}

bool mdiMain::ShowListFromName(const QString& name) {
    db::DbError error;
    const std::optional<RegisteredList> entry = FindRegisteredList(name, &error);
    if (error.isError()) {
        prompter_.inform(AppTitle(), dataErrorText(error.number), Prompter::Icon::Exclamation);
        return false;
    }
    if (!entry) {
        prompter_.inform(AppTitle(),
                         QStringLiteral("Could not locate ") + appFolders().AddressListsFolder + name +
                             QStringLiteral(".mdb"),
                         Prompter::Icon::Exclamation);
        return false;
    }
    const QString path = DataTank::registeredPath(entry->listPath);
    if (!QFileInfo(path).isFile()) {
        prompter_.inform(AppTitle(), missingListFileText(entry->name, path), Prompter::Icon::Exclamation);
        return false;
    }
    return showList(path, entry->name) != nullptr;
}

int mdiMain::getCaptionNumber() {
    QSet<QString> captions;
    for (frmList* list : listWindows())
        captions.insert(list->caption());
    int number = 1;
    while (captions.contains(QStringLiteral("Untitled Mailing List ") + QString::number(number)))
        ++number;
    return number;
}

frmList* mdiMain::createEmptyList() {
    if (refuseOverLimit(limitNewText()))
        return nullptr;
    db::DbError error;
    const QString path = DataTank::CreateBlankDatabase(&error);
    if (path.isEmpty()) {
        prompter_.inform(AppTitle(), QStringLiteral("A new list could not be created: ") + error.text,
                         Prompter::Icon::Exclamation);
        return nullptr;
    }
    return showList(path, QStringLiteral("Untitled Mailing List ") + QString::number(getCaptionNumber()));
}

QWidget* mdiMain::showTable(const QString& path, const QString& table, const QString& caption) {
    QString error;
    frmTableView* view = frmTableView::open(path, table, caption, prompter_, nullptr, &error);
    if (!view) {
        prompter_.inform(AppTitle(), error, Prompter::Icon::Exclamation);
        return nullptr;
    }
    addDocument(view);
    return view;
}

namespace {

QList<frmOpenDelete::Entry> listEntries() {
    QList<frmOpenDelete::Entry> entries;
    for (const RegisteredList& list : RegisteredLists())
        entries.append({list.name, list.description});
    return entries;
}

} // namespace

void mdiMain::openListsDialog() {
    auto* dialog =
        new frmOpenDelete(frmOpenDelete::Mode::Open, frmOpenDelete::listTexts(frmOpenDelete::Mode::Open),
                          listEntries(), prompter_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        for (const QString& name : dialog->selectedNames()) {
            if (!LocateListWindow(DataTank::registeredPath(DataTank::GetListPath(name))) &&
                refuseOverLimit(limitOpenText()))
                break;
            ShowListFromName(name);
        }
    });
    dialog->open();
}

void mdiMain::deleteListsDialog() {
    auto* dialog =
        new frmOpenDelete(frmOpenDelete::Mode::Delete, frmOpenDelete::listTexts(frmOpenDelete::Mode::Delete),
                          listEntries(), prompter_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        for (const QString& name : dialog->selectedNames())
            DataTank::DeleteRegisteredList(name, prompter_);
    });
    dialog->open();
}

QString mdiMain::saveListAs(frmList* list) {
    frmOpenDelete dialog(frmOpenDelete::Mode::Save, frmOpenDelete::listTexts(frmOpenDelete::Mode::Save),
                         listEntries(), prompter_, this);
    if (!list->isUnsaved())
        dialog.setNewName(list->caption());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QString source = list->path();
    const QString name = dialog.newName();
    setStatusText(QStringLiteral("Saving..."));
    const bool saved = DataTank::SaveListAs(source, name, dialog.newDescription(), true, prompter_);
    setStatusText(QString());
    return saved ? appFolders().AddressListsFolder + name + QStringLiteral(".mdb") : QString();
}

void mdiMain::saveActiveList(bool askName) {
    const QPointer<frmList> list = activeList();
    if (!list)
        return;
    if (!askName && !list->isUnsaved()) {
        // Every edit is already in the file.
        setStatusText(QStringLiteral("Saving..."));
        setStatusText(QString());
        return;
    }
    const QString oldPath = list->path();
    const QString target = saveListAs(list);
    // The saved list opened in its own window; the window on the old file goes.
    if (!target.isEmpty() && list && target.compare(oldPath, Qt::CaseInsensitive) != 0)
        list->closeQuietly();
}

void mdiMain::showFindReplace(bool replace) {
    frmList* list = activeList();
    if (!list)
        return;
    if (findReplace_ && findReplace_->list() != list) {
        findReplace_->close();
        findReplace_->deleteLater();
    }
    if (!findReplace_ || findReplace_->list() != list) {
        findReplace_ = new frmFindReplace(list, replace, this);
        findReplace_->setAttribute(Qt::WA_DeleteOnClose);
    }
    findReplace_->setReplaceMode(replace);
    findReplace_->show();
    findReplace_->raise();
    findReplace_->activateWindow();
}

void mdiMain::deleteRecords() {
    if (frmList* list = activeList())
        list->deleteSelectedRows();
}

// ---- Status bar ----

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
    if (frmList* list = activeList()) {
        recordsPanel_->setText(QStringLiteral("Records: ") + QString::number(list->model().recordCount()));
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

void mdiMain::closeEvent(QCloseEvent* event) {
    // Every list and message window may refuse (its save question answered Cancel).
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        const QString type = documentType(sub);
        if ((type == ListWindow || type == MessageWindow) && !sub->close()) {
            event->ignore();
            return;
        }
    }
    mdi_->closeAllSubWindows();
    if (findReplace_)
        findReplace_->close();
    writeSettings();
    event->accept();
}
