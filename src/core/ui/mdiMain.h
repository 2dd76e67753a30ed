#pragma once

#include "core/Prompter.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>

class QAction;
class QLabel;
class QListWidget;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBox;
class QDockWidget;
class frmFindReplace;
class frmList;

// The main window: the document windows in an MDI area, the menus, toolbar and side bar whose
// commands carry text ids and go through one dispatcher, and the status bar.
class mdiMain : public QMainWindow {
    Q_OBJECT
public:
    // New and open commands for lists and messages are refused above this many document windows.
    static constexpr int MaxDocumentWindows = 40;
    // What must be active for a command to be enabled.
    enum class Needs { Nothing, AnyDocument, ListWindow, MessageWindow, ListOrMessage };

    explicit mdiMain(Prompter& prompter, QWidget* parent = nullptr);
    ~mdiMain() override;

    // ---- Commands ----
    // Runs the work of a command id; an unknown or disabled id does nothing. False when nothing ran.
    bool dispatch(const QString& id);
    QAction* action(const QString& id) const;
    // Gives a command its work; commands without work stay disabled. One line per command.
    void wire(const QString& id, std::function<void()> work);
    bool isWired(const QString& id) const;
    QStringList commandIds() const;

    // ---- Documents ----
    QMdiArea* mdiArea() const { return mdi_; }
    QList<frmList*> listWindows() const;
    // Open list and message windows together.
    int CountListAndMessageWindows() const;
    frmList* activeList() const;
    // A list window on the file, or nullptr.
    frmList* LocateListWindow(const QString& path) const;
    // Opens (or brings forward) a list window on the file.
    frmList* showList(const QString& path, const QString& caption);
    // Opens a registered list by name; false (after saying why) when it cannot be shown.
    bool ShowListFromName(const QString& name);
    // A new empty list in a window captioned "Untitled Mailing List " and a number.
    frmList* createEmptyList();
    // Saves a list under a name chosen in the save dialog; the saved file, or empty when not saved.
    QString saveListAs(frmList* list);
    // Opens a table read-only in a document window.
    QWidget* showTable(const QString& path, const QString& table, const QString& caption);
    int getCaptionNumber();

    static QString limitNewText();
    static QString limitOpenText();
    static QString dataErrorText(int number);
    static QString missingListFileText(const QString& name, const QString& path);

    // ---- Status bar and start-up ----
    void UpdateStatusbarCount();
    void setStatusText(const QString& text);
    // The last step of start-up: clears the first panel, restores the cursor, starts the one-shot timers.
    void finishStartup();
    QToolBox* listbar() const { return listbar_; }
    QStringList listbarOrder() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Command {
        QAction* action = nullptr;
        Needs needs = Needs::Nothing;
        std::function<void()> work;
    };
    QAction* addCommand(const QString& id, const QString& caption, Needs needs, QMenu* menu = nullptr);
    void buildMenus();
    void buildToolbar();
    void buildListbar();
    void buildStatusbar();
    void wireCommands();
    void setupMenus(); // enables the commands that fit the active window
    bool refuseOverLimit(const QString& text);
    void openListsDialog();
    void deleteListsDialog();
    void saveActiveList(bool askName);
    void showFindReplace(bool replace);
    void deleteRecords();
    void toggleDocuments(const QString& objectName, const QString& id, const QString& hide,
                         const QString& show);
    void fillWindowMenu();
    // Lays the visible document windows out one after another in the direction.
    void tileWindows(Qt::Orientation direction);
    void moveListbarGroup(int from, int to);
    void restoreGeometryFromSettings();
    void writeSettings();
    QMdiSubWindow* addDocument(QWidget* document);

    Prompter& prompter_;
    QMdiArea* mdi_;
    QHash<QString, Command> commands_;
    QStringList commandOrder_;
    QMenu* windowMenu_ = nullptr;
    QDockWidget* listbarDock_ = nullptr;
    QToolBox* listbar_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QLabel* recordsPanel_ = nullptr;
    QLabel* listsPanel_ = nullptr;
    QLabel* messagesPanel_ = nullptr;
    QTimer* tmrTBCShow_ = nullptr;
    QTimer* tmrListStatUpdate_ = nullptr;
    QPointer<frmFindReplace> findReplace_;
    int captionCounter_ = 0;
    int groupMailBlockSize_ = 10;
};
