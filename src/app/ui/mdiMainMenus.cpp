// The main window's bars, built from the registered commands: the menus, the toolbar and the side bar.
#include "app/ui/mdiMain.h"
#include "core/AppSettings.h"

#include <QAction>
#include <QDockWidget>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStyle>
#include <QToolBar>
#include <QToolBox>
#include <algorithm>

namespace {

const QString Listbar = QStringLiteral("Listbar");

struct MenuFrame {
    Menu menu;
    const char* title;
    const char* objectName;
};

// The menus before the Window menu, in their order; Help follows it.
const QList<MenuFrame>& menusBeforeWindow() {
    static const QList<MenuFrame> menus = {
        {Menu::File, "&File", "mnuFile"},
        {Menu::Edit, "&Edit", "mnuEdit"},
        {Menu::Tools, "&Tools", "mnuTools"},
        {Menu::Message, "&Message", "mnuMessageTools"},
        {Menu::Central, "Tam&berlyn", "mnuTamberlyn"},
    };
    return menus;
}

// The side bar's groups in their first order; the number is the group's name in the settings.
const QList<std::pair<SideBarGroup, QString>>& listbarGroups() {
    static const QList<std::pair<SideBarGroup, QString>> groups = {
        {SideBarGroup::Lists, QStringLiteral("Lists")},
        {SideBarGroup::Messages, QStringLiteral("Messages")},
        {SideBarGroup::Central, QStringLiteral("Tamberlyn")},
    };
    return groups;
}

bool before(const Place& a, const Place& b) {
    return a.group != b.group ? a.group < b.group : a.order < b.order;
}

} // namespace

void mdiMain::createActions() {
    for (const QString& id : std::as_const(commandOrder_)) {
        Command& command = commands_[id];
        auto* action = new QAction(command.definition.caption, this);
        action->setObjectName(id);
        action->setData(id);
        action->setEnabled(false);
        if (command.definition.icon)
            action->setIcon(style()->standardIcon(*command.definition.icon));
        if (command.definition.shortcut)
            action->setShortcut(*command.definition.shortcut);
        connect(action, &QAction::triggered, this, [this, id] { dispatch(id); });
        command.action = action;
    }
}

void mdiMain::buildMenus() {
    const auto addMenu = [this](const MenuFrame& frame) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(frame.title));
        menu->setObjectName(QString::fromLatin1(frame.objectName));
        QList<const Command*> entries;
        for (const QString& id : std::as_const(commandOrder_))
            if (commands_[id].definition.menu == frame.menu)
                entries << &commands_[id];
        std::stable_sort(entries.begin(), entries.end(), [](const Command* a, const Command* b) {
            return before(a->definition.menuPlace, b->definition.menuPlace);
        });
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (i > 0 && entries[i]->definition.menuPlace.group != entries[i - 1]->definition.menuPlace.group)
                menu->addSeparator();
            menu->addAction(entries[i]->action);
        }
    };
    for (const MenuFrame& frame : menusBeforeWindow())
        addMenu(frame);
    windowMenu_ = menuBar()->addMenu(QStringLiteral("&Window"));
    windowMenu_->setObjectName(QStringLiteral("mnuWindow"));
    connect(windowMenu_, &QMenu::aboutToShow, this, &mdiMain::fillWindowMenu);
    addMenu({Menu::Help, "&Help", "mnuHelp"});
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
    QList<const Command*> buttons;
    for (const QString& id : std::as_const(commandOrder_))
        if (commands_[id].definition.toolbarPlace)
            buttons << &commands_[id];
    std::stable_sort(buttons.begin(), buttons.end(), [](const Command* a, const Command* b) {
        return before(*a->definition.toolbarPlace, *b->definition.toolbarPlace);
    });
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        if (i > 0 &&
            buttons[i]->definition.toolbarPlace->group != buttons[i - 1]->definition.toolbarPlace->group)
            bar->addSeparator();
        bar->addAction(buttons[i]->action);
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
        const auto& [groupId, title] = listbarGroups().at(group);
        QList<const Command*> entries;
        for (const QString& id : std::as_const(commandOrder_))
            if (commands_[id].definition.sideBarGroup == groupId)
                entries << &commands_[id];
        std::stable_sort(entries.begin(), entries.end(), [](const Command* a, const Command* b) {
            return a->definition.sideBarOrder < b->definition.sideBarOrder;
        });
        auto* items = new QListWidget(listbar_);
        items->setObjectName(QStringLiteral("albGroup") + QString::number(group + 1));
        items->setProperty("groupNumber", group + 1);
        items->setIconSize(QSize(32, 32));
        items->setSpacing(4);
        for (const Command* command : std::as_const(entries)) {
            auto* item = new QListWidgetItem(command->definition.sideBarCaption, items);
            item->setData(Qt::UserRole, command->definition.id);
            item->setIcon(!command->action->icon().isNull() ? command->action->icon()
                                                            : style()->standardIcon(QStyle::SP_DirIcon));
        }
        connect(items, &QListWidget::itemClicked, this,
                [this](QListWidgetItem* item) { dispatch(item->data(Qt::UserRole).toString()); });
        listbar_->addItem(items, title);
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

void mdiMain::updateListbarItems() {
    if (!listbar_)
        return;
    for (int page = 0; page < listbar_->count(); ++page)
        if (auto* items = qobject_cast<QListWidget*>(listbar_->widget(page)))
            for (int i = 0; i < items->count(); ++i) {
                QListWidgetItem* item = items->item(i);
                const QAction* command = action(item->data(Qt::UserRole).toString());
                const bool enabled = command && command->isEnabled();
                item->setFlags(enabled ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::NoItemFlags);
            }
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
