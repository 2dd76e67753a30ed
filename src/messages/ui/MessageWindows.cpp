#include "messages/ui/MessageWindows.h"

#include "core/AppInfo.h"
#include "db/DataTank.h"
#include "messages/MessageStore.h"
#include "messages/ui/frmMessageEdit.h"
#include "messages/ui/frmMessageFindReplace.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>

MessageWindows::MessageWindows(Desk& desk) : QObject(desk.frame()), desk_(desk) {
    // Find and replace follows the active editor.
    connect(desk_.mdiArea(), &QMdiArea::subWindowActivated, this, [this] {
        frmMessageEdit* editor = activeMessage();
        if (editor && findReplace_ && findReplace_->isVisible() &&
            static_cast<QObject*>(editor) != findEditor_) {
            findEditor_ = editor;
            findReplace_->setTarget(editor->bodyTarget());
        }
    });
    desk_.whenClosing([this] {
        if (findReplace_)
            findReplace_->close();
    });
    DataTank::setListInUseQuery(
        [this](const QString& listName) { return ListUsedInMailMergeForOpenMessage(listName); });
}

MessageWindows::~MessageWindows() {
    DataTank::setListInUseQuery({});
}

void MessageWindows::onActive(void (frmMessageEdit::*work)()) {
    if (frmMessageEdit* editor = activeMessage())
        (editor->*work)();
}

QList<WindowCommand> MessageWindows::commands() {
    const auto active = [this](void (frmMessageEdit::*work)()) {
        return [this, work] {
            onActive(work);
        };
    };
    return {
        WindowCommand(QStringLiteral("id_FileNewMessage"), QStringLiteral("New &Message"),
                      [this] { newMessage(); })
            .inMenu(Menu::File, 1, 2)
            .onSideBar(SideBarGroup::Messages, 1, QStringLiteral("New Message")),
        WindowCommand(QStringLiteral("id_FileOpenMessage"), QStringLiteral("Open M&essage..."),
                      [this] {
                          if (!desk_.refuseOverLimit(Desk::limitOpenText()))
                              openMessagesDialog();
                      })
            .inMenu(Menu::File, 2, 2)
            .onSideBar(SideBarGroup::Messages, 2, QStringLiteral("Open existing message")),
        WindowCommand(QStringLiteral("id_FileDeleteMessage"), QStringLiteral("Delete Messa&ge..."),
                      [this] { deleteMessagesDialog(); })
            .inMenu(Menu::File, 5, 2)
            .onSideBar(SideBarGroup::Messages, 3, QStringLiteral("Delete Message")),
        // Registered by the lists as well: each acts on its own kind of window.
        WindowCommand(QStringLiteral("id_FileSave"), QStringLiteral("&Save"),
                      [this] {
                          if (frmMessageEdit* editor = activeMessage())
                              editor->SaveMessage();
                      }),
        WindowCommand(QStringLiteral("id_FileSaveAs"), QStringLiteral("Save &As..."),
                      [this] {
                          if (frmMessageEdit* editor = activeMessage())
                              editor->saveMeAs();
                      }),
        WindowCommand(QStringLiteral("id_EditCut"), QStringLiteral("Cu&t"), active(&frmMessageEdit::cut)),
        WindowCommand(QStringLiteral("id_EditCopy"), QStringLiteral("&Copy"), active(&frmMessageEdit::copy)),
        WindowCommand(QStringLiteral("id_EditPaste"), QStringLiteral("&Paste"),
                      active(&frmMessageEdit::paste)),
        WindowCommand(QStringLiteral("id_EditSelectAll"), QStringLiteral("Select &All"),
                      active(&frmMessageEdit::selectAll)),
        WindowCommand(QStringLiteral("id_EditFind"), QStringLiteral("&Find..."),
                      [this] { showFindReplace(false); }),
        WindowCommand(QStringLiteral("id_EditReplace"), QStringLiteral("R&eplace..."),
                      [this] { showFindReplace(true); }),
        WindowCommand(QStringLiteral("id_EditCheckSpelling"), QStringLiteral("Check &Spelling"),
                      active(&frmMessageEdit::SpellCheckMailMessage))
            .needing(Needs::MessageWindow)
            .inMenu(Menu::Edit, 4, 1),
        WindowCommand(QStringLiteral("id_MessageToolsGreetingManager"),
                      QStringLiteral("&Greeting Manager..."),
                      active(&frmMessageEdit::ShowMessageGreetingManager))
            .needing(Needs::MessageWindow)
            .inMenu(Menu::Message, 1, 1),
        WindowCommand(QStringLiteral("id_MessageToolsMessagePreview"), QStringLiteral("Message &Preview"),
                      active(&frmMessageEdit::PreviewMessage))
            .needing(Needs::MessageWindow)
            .inMenu(Menu::Message, 1, 2),
        WindowCommand(QStringLiteral("id_MessageToolsSpellCheck"), QStringLiteral("&Spell Check"),
                      active(&frmMessageEdit::SpellCheckMailMessage))
            .needing(Needs::MessageWindow)
            .inMenu(Menu::Message, 1, 5),
        WindowCommand(QStringLiteral("id_MessageToolsInsertAttachment"),
                      QStringLiteral("Insert &Attachment..."),
                      [this] {
                          if (frmMessageEdit* editor = activeMessage())
                              editor->chooseAttachment();
                          else
                              desk_.prompter().inform(AppTitle(), frmMessageEdit::noMessageAttachText(),
                                                      Prompter::Icon::Exclamation);
                      })
            .needing(Needs::MessageWindow)
            .inMenu(Menu::Message, 1, 3),
        WindowCommand(QStringLiteral("id_MessageToolsInsertFile"), QStringLiteral("Insert &File..."),
                      active(&frmMessageEdit::chooseFileToInsert))
            .needing(Needs::MessageWindow)
            .inMenu(Menu::Message, 1, 4),
    };
}

// ---- Windows ----

QList<frmMessageEdit*> MessageWindows::messageWindows() const {
    QList<frmMessageEdit*> editors;
    for (QMdiSubWindow* sub : desk_.mdiArea()->subWindowList())
        if (auto* editor = qobject_cast<frmMessageEdit*>(sub->widget()))
            editors << editor;
    return editors;
}

frmMessageEdit* MessageWindows::activeMessage() const {
    // The current one stays while a dialog of the main window has the focus.
    QMdiSubWindow* sub = desk_.mdiArea()->currentSubWindow();
    return sub ? qobject_cast<frmMessageEdit*>(sub->widget()) : nullptr;
}

frmMessageEdit* MessageWindows::LocateMessageWindow(const QString& name) const {
    for (frmMessageEdit* editor : messageWindows())
        if (editor->messageName().compare(name, Qt::CaseInsensitive) == 0)
            return editor;
    return nullptr;
}

QString MessageWindows::ListUsedInMailMergeForOpenMessage(const QString& listName) const {
    for (frmMessageEdit* editor : messageWindows())
        if (!editor->mailingList().isEmpty() &&
            editor->mailingList().compare(listName, Qt::CaseInsensitive) == 0)
            return editor->caption();
    return {};
}

void MessageWindows::show(frmMessageEdit* editor) {
    editor->setSaveRequest([this](frmMessageEdit* e, bool asCopy, std::function<void(bool)> done) {
        // Asked while the program ends: once the message is stored, the program goes on ending.
        if (desk_.isClosing()) {
            done = [this, done = std::move(done)](bool saved) {
                done(saved);
                if (saved)
                    QTimer::singleShot(0, desk_.frame(), [this] { desk_.frame()->close(); });
            };
        }
        askSaveName(e, asCopy, std::move(done));
    });
    connect(editor, &frmMessageEdit::statusText, this,
            [this](const QString& text) { desk_.setStatusText(text); });
    connect(editor, &QWidget::windowTitleChanged, this, [this] { desk_.UpdateStatusbarCount(); });
    connect(editor, &frmMessageEdit::bodyTabChanged, this, [this, editor] {
        if (findReplace_ && findEditor_ == static_cast<QObject*>(editor))
            findReplace_->setTarget(editor->bodyTarget());
    });
    connect(editor, &QObject::destroyed, this, [this](QObject* gone) {
        // The editor's targets go with it.
        if (findEditor_ != gone)
            return;
        findEditor_ = nullptr;
        if (findReplace_)
            findReplace_->setTarget(nullptr);
    });
    desk_.addDocument(editor);
}

frmMessageEdit* MessageWindows::newMessage() {
    if (desk_.refuseOverLimit(Desk::limitNewText()))
        return nullptr;
    frmMessageEdit* editor = frmMessageEdit::CreateNewMessage(desk_.prompter());
    if (!editor) {
        desk_.prompter().inform(AppTitle(), QStringLiteral("A new message could not be created."),
                                Prompter::Icon::Exclamation);
        return nullptr;
    }
    show(editor);
    return editor;
}

frmMessageEdit* MessageWindows::OpenMessageByName(const QString& name, const QString& caption) {
    // Two editors on one row would overwrite each other's saves.
    if (frmMessageEdit* open = LocateMessageWindow(name)) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(open->parentWidget())) {
            sub->show();
            desk_.mdiArea()->setActiveSubWindow(sub);
        }
        return open;
    }
    frmMessageEdit* editor = frmMessageEdit::OpenMessage(name, caption, desk_.prompter());
    if (!editor) {
        desk_.prompter().inform(AppTitle(),
                                QStringLiteral("The message '") + (caption.isEmpty() ? name : caption) +
                                    QStringLiteral("' could not be opened."),
                                Prompter::Icon::Exclamation);
        return nullptr;
    }
    show(editor);
    return editor;
}

// ---- Dialogs ----

frmOpenDelete::Texts MessageWindows::messageTexts(frmOpenDelete::Mode mode) {
    switch (mode) {
    case frmOpenDelete::Mode::Open:
        return {QStringLiteral("Open Message"), MessageStore::openPrompt(), {}, {}};
    case frmOpenDelete::Mode::Delete:
        return {QStringLiteral("Delete Message"), MessageStore::deletePrompt(),
                MessageStore::nothingSelectedText(),
                MessageStore::deleteQuestion(0).replace(QStringLiteral(" 0 "), QStringLiteral(" %1 "))};
    case frmOpenDelete::Mode::Save:
        break;
    }
    return {QStringLiteral("Save Message"), MessageStore::savePrompt(), {}, {}};
}

QList<frmOpenDelete::Entry> MessageWindows::dialogEntries(bool withUnsaved) {
    QList<frmOpenDelete::Entry> entries;
    for (const MessageStore::MessageEntry& entry : MessageStore::MessageListing())
        entries.append({entry.name, entry.description});
    unsavedNames_.clear();
    if (withUnsaved) {
        for (const MessageStore::MessageEntry& entry : MessageStore::UnsavedMessages()) {
            QString label = MessageStore::unsavedCaption(entry.created);
            for (int n = 2; unsavedNames_.contains(label); ++n)
                label = MessageStore::unsavedCaption(entry.created) + QStringLiteral(" (") +
                        QString::number(n) + u')';
            unsavedNames_.insert(label, entry.name);
            entries.append({label, QString()});
        }
    }
    return entries;
}

void MessageWindows::openMessagesDialog() {
    auto* dialog = new frmOpenDelete(frmOpenDelete::Mode::Open, messageTexts(frmOpenDelete::Mode::Open),
                                     dialogEntries(true), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const QHash<QString, QString> unsaved = unsavedNames_;
    connect(dialog, &QDialog::accepted, this, [this, dialog, unsaved] {
        for (const QString& label : dialog->selectedNames()) {
            const QString name = unsaved.value(label, label);
            if (!LocateMessageWindow(name) && desk_.refuseOverLimit(Desk::limitOpenText()))
                break;
            OpenMessageByName(name, unsaved.contains(label) ? label : QString());
        }
    });
    dialog->open();
}

void MessageWindows::deleteMessagesDialog() {
    auto* dialog = new frmOpenDelete(frmOpenDelete::Mode::Delete, messageTexts(frmOpenDelete::Mode::Delete),
                                     dialogEntries(true), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const QHash<QString, QString> unsaved = unsavedNames_;
    connect(dialog, &QDialog::accepted, this, [dialog, unsaved] {
        // Open editors of a deleted message close unasked.
        for (const QString& label : dialog->selectedNames())
            MessageStore::DeleteMessageByName(unsaved.value(label, label));
    });
    dialog->open();
}

void MessageWindows::askSaveName(frmMessageEdit* editor, bool asCopy, std::function<void(bool)> done) {
    auto* dialog = new frmOpenDelete(frmOpenDelete::Mode::Save, messageTexts(frmOpenDelete::Mode::Save),
                                     dialogEntries(false), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<frmMessageEdit> target = editor;
    auto stored = std::make_shared<bool>(false);
    Prompter& prompter = desk_.prompter();
    // The name is stored when OK is pressed: a refused or taken name keeps the dialog open.
    dialog->setNameCheck(
        [target, asCopy, stored, &prompter](const QString& name, const QString& description) {
            if (!target || !MessageStore::CheckSaveName(name, prompter))
                return false;
            const QString old = target->messageName();
            if (asCopy) {
                if (!MessageStore::CopyMessage(old, name, description, prompter))
                    return false;
                target->adoptName(name);
                *stored = true;
                return true;
            }
            target->setHoldOpen(true);
            const bool renamed = MessageStore::RenameMessage(old, name, description, true, prompter);
            if (target)
                target->setHoldOpen(false);
            if (!renamed)
                return false;
            target->adoptName(name);
            *stored = target->WriteMessageTextToDB();
            return true;
        });
    connect(dialog, &QDialog::finished, this, [stored, done = std::move(done)] { done(*stored); });
    dialog->open();
}

void MessageWindows::showFindReplace(bool replace) {
    frmMessageEdit* editor = activeMessage();
    if (!editor)
        return;
    BodyTarget* target = editor->bodyTarget();
    if (!target) {
        desk_.prompter().inform(AppTitle(), frmMessageFindReplace::openFailureText(),
                                Prompter::Icon::Exclamation);
        return;
    }
    if (!findReplace_) {
        findReplace_ = new frmMessageFindReplace(desk_.prompter(), desk_.frame());
        findReplace_->setAttribute(Qt::WA_DeleteOnClose);
    }
    findEditor_ = editor;
    findReplace_->setTarget(target);
    findReplace_->showReplace(replace);
    findReplace_->show();
    findReplace_->raise();
    findReplace_->activateWindow();
}

frmMessageFindReplace* MessageWindows::findReplace() const {
    return findReplace_;
}
