#pragma once

#include "core/Prompter.h"
#include "core/ui/WindowCommand.h"

#include <QHash>
#include <QMainWindow>
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
class HarvestWindows;
class ImportWindows;
class MailboxWindows;
class MailingWizardWindows;
class ListWindows;
class MessageWindows;
class frmList;

// The main window: the document windows in an MDI area, the menus, toolbar and side bar built from the
// commands the modules register (each with a text id, run through one dispatcher), and the status bar.
class mdiMain : public QMainWindow, public Desk {
    Q_OBJECT
public:
    explicit mdiMain(Prompter& prompter, QWidget* parent = nullptr);
    ~mdiMain() override;

    // ---- Commands ----
    // Runs the work of a command id; an unknown or disabled id does nothing. False when nothing ran.
    bool dispatch(const QString& id);
    QAction* action(const QString& id) const;
    // Replaces a command's work; commands without work stay disabled.
    void wire(const QString& id, std::function<void()> work);
    bool isWired(const QString& id) const;
    QStringList commandIds() const;

    // ---- Desk ----
    Prompter& prompter() override { return prompter_; }
    QWidget* frame() override { return this; }
    QMdiArea* mdiArea() const override { return mdi_; }
    QMdiSubWindow* addDocument(QWidget* document) override;
    bool refuseOverLimit(const QString& text) override;
    void setStatusText(const QString& text) override;
    void UpdateStatusbarCount() override;
    void whenClosing(std::function<void()> work) override;
    bool isClosing() const override { return closing_; }

    // ---- Documents ----
    // Open list and message windows together.
    int CountListAndMessageWindows() const;
    // The list windows (see ListWindows).
    ListWindows& lists() const { return *lists_; }
    // The list-building wizard (see HarvestWindows).
    HarvestWindows& harvest() const { return *harvest_; }
    // The contact-database import wizard (see ImportWindows).
    ImportWindows& imports() const { return *imports_; }
    // The mailbox wizard (see MailboxWindows).
    MailboxWindows& mailbox() const { return *mailbox_; }
    // The mailing wizards (see MailingWizardWindows).
    MailingWizardWindows& mailingWizards() const { return *mailingWizards_; }
    // The message editors (see MessageWindows).
    MessageWindows& messages() const { return *messages_; }
    QList<frmList*> listWindows() const;
    frmList* activeList() const;
    frmList* LocateListWindow(const QString& path) const;
    frmList* showList(const QString& path, const QString& caption);
    bool ShowListFromName(const QString& name);
    frmList* createEmptyList();
    QString saveListAs(frmList* list);
    QWidget* showTable(const QString& path, const QString& table, const QString& caption);
    int getCaptionNumber();
    static QString dataErrorText(int number);
    static QString missingListFileText(const QString& name, const QString& path);

    // ---- Status bar and start-up ----
    // The last step of start-up: clears the first panel, restores the cursor, starts the one-shot timers.
    void finishStartup();
    QToolBox* listbar() const { return listbar_; }
    QStringList listbarOrder() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Command {
        WindowCommand definition;
        QAction* action = nullptr;
        QList<std::function<void()>> work;
    };
    // Adds the registrations; a second one of an id adds its handler to the first.
    void registerCommands(const QList<WindowCommand>& commands);
    // The frame's own commands: closing, options, exit, the Window menu and Help.
    QList<WindowCommand> frameCommands();
    void createActions();
    void buildMenus();
    void buildToolbar();
    void buildListbar();
    void buildStatusbar();
    void setupMenus(); // enables the commands that fit the active window
    // The side bar follows the commands it stands for.
    void updateListbarItems();
    void showOptions();
    void showAbout();
    void toggleDocuments(const QString& objectName, const QString& id, const QString& hide,
                         const QString& show);
    void fillWindowMenu();
    // Lays the visible document windows out one after another in the direction.
    void tileWindows(Qt::Orientation direction);
    void arrangeIcons();
    void moveListbarGroup(int from, int to);
    void restoreGeometryFromSettings();
    void writeSettings();

    Prompter& prompter_;
    QMdiArea* mdi_;
    ListWindows* lists_ = nullptr;
    HarvestWindows* harvest_ = nullptr;
    ImportWindows* imports_ = nullptr;
    MailboxWindows* mailbox_ = nullptr;
    MailingWizardWindows* mailingWizards_ = nullptr;
    MessageWindows* messages_ = nullptr;
    QHash<QString, Command> commands_;
    QStringList commandOrder_;
    QList<std::function<void()>> closingWork_;
    QMenu* windowMenu_ = nullptr;
    QDockWidget* listbarDock_ = nullptr;
    QToolBox* listbar_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QLabel* recordsPanel_ = nullptr;
    QLabel* listsPanel_ = nullptr;
    QLabel* messagesPanel_ = nullptr;
    QTimer* tmrTBCShow_ = nullptr;
    QTimer* tmrListStatUpdate_ = nullptr;
    int groupMailBlockSize_ = 10;
    bool closing_ = false;
};
