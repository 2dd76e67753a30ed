#pragma once

#include "core/ui/WindowCommand.h"
#include "core/ui/frmOpenDelete.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

class frmMessageEdit;
class frmMessageFindReplace;

// The message editors of one main window: creating, opening, saving, deleting and closing messages, and
// the message commands of its menus, toolbar and side bar. It also tells the list registry which list
// an open editor uses for its merge fields, so that such a list is not deleted.
class MessageWindows : public QObject {
    Q_OBJECT
public:
    explicit MessageWindows(Desk& desk);
    ~MessageWindows() override;

    QList<WindowCommand> commands();

    QList<frmMessageEdit*> messageWindows() const;
    frmMessageEdit* activeMessage() const;
    // The editor of the message (by its stored name), or nullptr.
    frmMessageEdit* LocateMessageWindow(const QString& name) const;
    // A new message in its editor; nullptr when refused or failed.
    frmMessageEdit* newMessage();
    // Opens (or brings forward) the message's editor.
    frmMessageEdit* OpenMessageByName(const QString& name, const QString& caption = {});
    // The caption of an open editor whose merge fields come from the list, or "".
    QString ListUsedInMailMergeForOpenMessage(const QString& listName) const;

    // The open and delete dialogs list saved messages by name and unsaved ones as "Unsaved message of "
    // and their date; the save dialog lists the saved ones.
    static frmOpenDelete::Texts messageTexts(frmOpenDelete::Mode mode);
    void openMessagesDialog();
    void deleteMessagesDialog();
    // The save dialog for the editor: rename (a message never saved) or copy (Save As).
    void askSaveName(frmMessageEdit* editor, bool asCopy, std::function<void(bool)> done);
    // Find and replace on the active editor's body view shown; it follows the editor's tabs.
    void showFindReplace(bool replace);
    frmMessageFindReplace* findReplace() const;

private:
    QList<frmOpenDelete::Entry> dialogEntries(bool withUnsaved);
    void show(frmMessageEdit* editor);
    void onActive(void (frmMessageEdit::*work)());

    Desk& desk_;
    // Dialog label of each unsaved message -> its stored name.
    QHash<QString, QString> unsavedNames_;
    QPointer<frmMessageFindReplace> findReplace_;
    QObject* findEditor_ = nullptr; // whose body find and replace works on
};
