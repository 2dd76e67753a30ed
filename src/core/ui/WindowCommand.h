#pragma once

#include "core/Prompter.h"

#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStyle>
#include <functional>
#include <optional>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

// What the main window offers the window commands of the modules: its document area, its status bar
// and the way to ask the user.
class Desk {
public:
    // New and open commands for lists and messages are refused above this many document windows.
    static constexpr int MaxDocumentWindows = 40;
    static QString limitNewText();
    static QString limitOpenText();

    virtual ~Desk() = default;
    virtual Prompter& prompter() = 0;
    // The main window, parent of the dialogs.
    virtual QWidget* frame() = 0;
    virtual QMdiArea* mdiArea() const = 0;
    // Shows a document window in the area and makes it the active one.
    virtual QMdiSubWindow* addDocument(QWidget* document) = 0;
    // True, after saying the text, when more than MaxDocumentWindows lists and messages are open.
    virtual bool refuseOverLimit(const QString& text) = 0;
    virtual void setStatusText(const QString& text) = 0;
    // Counts the open windows and the active list's records again.
    virtual void UpdateStatusbarCount() = 0;
    // Work to do when the main window closes, after its document windows have closed.
    virtual void whenClosing(std::function<void()> work) = 0;
    // True while the main window asks its document windows to close (the program is ending).
    virtual bool isClosing() const = 0;
};

// What must be active for a window command to be enabled.
enum class Needs { Nothing, AnyDocument, ListWindow, MessageWindow, ListOrMessage };

// The menus of the main window, in their order on the menu bar; the Window menu lists its own commands.
enum class Menu { None, File, Edit, Tools, Message, Central, Help };
// The groups of the side bar; their numbers name them in the settings.
enum class SideBarGroup { Lists = 1, Messages = 2, Central = 3 };

// Where an entry stands: entries sort by group, then order; a separator parts two groups.
struct Place {
    int group = 0;
    int order = 0;
};

// One command of the main window as a module registers it. Several modules may register one id (Save
// works on lists and on messages): the first registration gives text and places, every handler runs
// and acts on its own kind of window.
struct WindowCommand {
    QString id; // the action's object name, e.g. "id_FileNewList"
    QString caption;
    std::function<void()> handler; // empty: the command stays disabled
    Needs needs = Needs::Nothing;
    Menu menu = Menu::None;
    Place menuPlace;
    std::optional<Place> toolbarPlace;
    std::optional<SideBarGroup> sideBarGroup;
    int sideBarOrder = 0;
    QString sideBarCaption;
    std::optional<QStyle::StandardPixmap> icon;
    std::optional<QKeySequence::StandardKey> shortcut;

    WindowCommand() = default;
    WindowCommand(QString id, QString caption, std::function<void()> handler = {})
        : id(std::move(id)), caption(std::move(caption)), handler(std::move(handler)) {}
    WindowCommand& needing(Needs what) {
        needs = what;
        return *this;
    }
    WindowCommand& inMenu(Menu where, int group, int order) {
        menu = where;
        menuPlace = {group, order};
        return *this;
    }
    WindowCommand& onToolbar(int group, int order) {
        toolbarPlace = Place{group, order};
        return *this;
    }
    WindowCommand& onSideBar(SideBarGroup group, int order, QString itemCaption) {
        sideBarGroup = group;
        sideBarOrder = order;
        sideBarCaption = std::move(itemCaption);
        return *this;
    }
    WindowCommand& withIcon(QStyle::StandardPixmap pixmap) {
        icon = pixmap;
        return *this;
    }
    WindowCommand& withShortcut(QKeySequence::StandardKey key) {
        shortcut = key;
        return *this;
    }
};
