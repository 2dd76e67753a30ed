#pragma once

#include "core/ui/WindowCommand.h"
#include "lists/ui/frmListOperations.h"

#include <QList>
#include <QObject>
#include <QPointer>

class frmFindReplace;
class frmList;

// The list windows of one main window: opening, creating, saving and closing them, and the list
// commands of its menus, toolbar and side bar.
class ListWindows : public QObject {
    Q_OBJECT
public:
    explicit ListWindows(Desk& desk);

    // The list commands, for the main window to place and run.
    QList<WindowCommand> commands();

    QList<frmList*> listWindows() const;
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
    // A builder's answer: a new list opens unsaved in a window; an empty result or a failure is said.
    void openResult(const QString& result);

    static QString dataErrorText(int number);
    static QString missingListFileText(const QString& name, const QString& path);

private:
    void openListsDialog();
    void deleteListsDialog();
    void saveActiveList(bool askName);
    void showFindReplace(bool replace);
    void runListOperation(frmListOperations::Operation operation);
    void showManageListsMenu();
    void filterActiveList();
    void exportActiveList();

    Desk& desk_;
    QPointer<frmFindReplace> findReplace_;
};
