#include "lists/ui/ListWindows.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ui/frmOpenDelete.h"
#include "db/DataTank.h"
#include "db/ListEvents.h"
#include "lists/ListCatalog.h"
#include "lists/ListOperations.h"
#include "lists/ListTableModel.h"
#include "lists/ui/frmFindReplace.h"
#include "lists/ui/frmList.h"
#include "lists/ui/frmSQLQuery.h"
#include "lists/ui/frmTableView.h"
#include "util/FileNameObject.h"
#include "util/ui/FilePickers.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSet>

namespace {

QString untitledCaption(int number) {
    return QStringLiteral("Untitled Mailing List ") + QString::number(number);
}

QList<frmOpenDelete::Entry> listEntries() {
    QList<frmOpenDelete::Entry> entries;
    for (const RegisteredList& list : RegisteredLists())
        entries.append({list.name, list.description});
    return entries;
}

} // namespace

ListWindows::ListWindows(Desk& desk) : QObject(desk.frame()), desk_(desk) {
    ListEvents& events = ListEvents::instance();
    connect(&events, &ListEvents::closeWindowsOnFile, this, [this](const QString& path) {
        for (frmList* list : listWindows())
            if (list->path().compare(path, Qt::CaseInsensitive) == 0)
                list->closeQuietly();
    });
    connect(&events, &ListEvents::openListWindow, this,
            [this](const QString& path, const QString& caption) { showList(path, caption); });
    // Rows added or removed elsewhere (a mailbox run) show in the list's open window.
    connect(&events, &ListEvents::listContentChanged, this, [this](const QString& path) {
        if (frmList* list = LocateListWindow(path)) {
            list->model().reload();
            desk_.UpdateStatusbarCount();
        }
    });
    connect(&events, &ListEvents::statusMessage, this,
            [this](const QString& text) { desk_.setStatusText(text); });
    desk_.whenClosing([this] {
        if (findReplace_)
            findReplace_->close();
    });
}

QList<WindowCommand> ListWindows::commands() {
    const auto onActiveList = [this](void (frmList::*work)()) {
        return [this, work] {
            if (frmList* list = activeList())
                (list->*work)();
        };
    };
    using Op = frmListOperations::Operation;
    return {
        WindowCommand(QStringLiteral("id_FileNewList"), QStringLiteral("&New List"),
                      [this] { createEmptyList(); })
            .inMenu(Menu::File, 1, 1)
            .onToolbar(1, 1)
            .onSideBar(SideBarGroup::Lists, 1, QStringLiteral("New list"))
            .withIcon(QStyle::SP_FileIcon),
        WindowCommand(QStringLiteral("id_FileOpenList"), QStringLiteral("&Open List..."),
                      [this] {
                          if (!desk_.refuseOverLimit(Desk::limitOpenText()))
                              openListsDialog();
                      })
            .inMenu(Menu::File, 2, 1)
            .onToolbar(1, 2)
            .onSideBar(SideBarGroup::Lists, 2, QStringLiteral("Open existing list"))
            .withIcon(QStyle::SP_DialogOpenButton),
        WindowCommand(QStringLiteral("id_FileSave"), QStringLiteral("&Save"),
                      [this] { saveActiveList(false); })
            .needing(Needs::ListOrMessage)
            .inMenu(Menu::File, 4, 1)
            .onToolbar(1, 3)
            .withIcon(QStyle::SP_DialogSaveButton),
        WindowCommand(QStringLiteral("id_FileSaveAs"), QStringLiteral("Save &As..."),
                      [this] { saveActiveList(true); })
            .needing(Needs::ListOrMessage)
            .inMenu(Menu::File, 4, 2),
        WindowCommand(QStringLiteral("id_FileDeleteList"), QStringLiteral("Delete L&ist..."),
                      [this] { deleteListsDialog(); })
            .inMenu(Menu::File, 5, 1)
            .onSideBar(SideBarGroup::Lists, 4, QStringLiteral("Delete list")),

        WindowCommand(QStringLiteral("id_EditCut"), QStringLiteral("Cu&t"), onActiveList(&frmList::cut))
            .needing(Needs::ListOrMessage)
            .inMenu(Menu::Edit, 1, 1)
            .withShortcut(QKeySequence::Cut),
        WindowCommand(QStringLiteral("id_EditCopy"), QStringLiteral("&Copy"), onActiveList(&frmList::copy))
            .needing(Needs::ListOrMessage)
            .inMenu(Menu::Edit, 1, 2)
            .withShortcut(QKeySequence::Copy),
        WindowCommand(QStringLiteral("id_EditPaste"), QStringLiteral("&Paste"), onActiveList(&frmList::paste))
            .needing(Needs::ListOrMessage)
            .inMenu(Menu::Edit, 1, 3)
            .withShortcut(QKeySequence::Paste),
        WindowCommand(QStringLiteral("id_EditSelectAll"), QStringLiteral("Select &All"),
                      onActiveList(&frmList::selectAll))
            .needing(Needs::ListOrMessage)
            .inMenu(Menu::Edit, 1, 4)
            .withShortcut(QKeySequence::SelectAll),
        WindowCommand(QStringLiteral("id_EditFind"), QStringLiteral("&Find..."),
                      [this] { showFindReplace(false); })
            .needing(Needs::ListOrMessage)
            .inMenu(Menu::Edit, 2, 1)
            .onToolbar(2, 1)
            .withIcon(QStyle::SP_FileDialogContentsView)
            .withShortcut(QKeySequence::Find),
        WindowCommand(QStringLiteral("id_EditReplace"), QStringLiteral("R&eplace..."),
                      [this] { showFindReplace(true); })
            .needing(Needs::ListOrMessage)
            .inMenu(Menu::Edit, 2, 2)
            .withShortcut(QKeySequence::Replace),
        WindowCommand(QStringLiteral("id_EditDeleteRecord"), QStringLiteral("&Delete Record(s)"),
                      [this] {
                          if (frmList* list = activeList())
                              list->deleteSelectedRows();
                      })
            .needing(Needs::ListWindow)
            .inMenu(Menu::Edit, 3, 1)
            .onToolbar(2, 2)
            .withIcon(QStyle::SP_TrashIcon),

        WindowCommand(QStringLiteral("id_ToolsMergeLists"), QStringLiteral("Merge &Lists..."),
                      [this] { runListOperation(Op::Merge); })
            .needing(Needs::ListWindow)
            .inMenu(Menu::Tools, 2, 1),
        WindowCommand(QStringLiteral("id_ToolsCleanList"), QStringLiteral("&Clean List..."),
                      [this] { runListOperation(Op::Clean); })
            .needing(Needs::ListWindow)
            .inMenu(Menu::Tools, 2, 2),
        WindowCommand(QStringLiteral("id_ToolsFindDuplicates"), QStringLiteral("Find D&uplicates..."),
                      [this] { runListOperation(Op::Duplicates); })
            .needing(Needs::ListWindow)
            .inMenu(Menu::Tools, 2, 3),
        WindowCommand(QStringLiteral("id_ManageLists"), QStringLiteral("Manage Lists..."),
                      [this] { showManageListsMenu(); })
            .onSideBar(SideBarGroup::Lists, 3, QStringLiteral("Manage lists")),
        WindowCommand(QStringLiteral("id_ToolsFilter"), QStringLiteral("&Filter..."),
                      [this] { filterActiveList(); })
            .needing(Needs::ListWindow)
            .inMenu(Menu::Tools, 2, 4),
        WindowCommand(QStringLiteral("id_ToolsExportList"), QStringLiteral("&Export List..."),
                      [this] { exportActiveList(); })
            .needing(Needs::ListWindow)
            .inMenu(Menu::Tools, 2, 5),
    };
}

// ---- Windows ----

QString ListWindows::dataErrorText(int number) {
    return QStringLiteral("datTamberlyn threw an Error event, number ") + QString::number(number);
}

QString ListWindows::missingListFileText(const QString& name, const QString& path) {
    return QStringLiteral("Cannot open the '") + name +
           QStringLiteral("' list.\nThe corresponding address file, '") + path +
           QStringLiteral("', was not found.");
}

QList<frmList*> ListWindows::listWindows() const {
    QList<frmList*> lists;
    for (QMdiSubWindow* sub : desk_.mdiArea()->subWindowList())
        if (auto* list = qobject_cast<frmList*>(sub->widget()))
            lists << list;
    return lists;
}

frmList* ListWindows::activeList() const {
    QMdiSubWindow* sub = desk_.mdiArea()->activeSubWindow();
    return sub ? qobject_cast<frmList*>(sub->widget()) : nullptr;
}

frmList* ListWindows::LocateListWindow(const QString& path) const {
    for (frmList* list : listWindows())
        if (list->path().compare(path, Qt::CaseInsensitive) == 0)
            return list;
    return nullptr;
}

frmList* ListWindows::showList(const QString& path, const QString& caption) {
    if (frmList* open = LocateListWindow(path)) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(open->parentWidget())) {
            sub->show();
            desk_.mdiArea()->setActiveSubWindow(sub);
        }
        return open;
    }
    Prompter& prompter = desk_.prompter();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    frmList* list = frmList::open(path, caption, prompter, nullptr, &error);
    QApplication::restoreOverrideCursor();
    if (!list) {
        prompter.inform(AppTitle(),
                        QStringLiteral("Cannot open the list ") + path + QStringLiteral(":\n") + error,
                        Prompter::Icon::Exclamation);
        return nullptr;
    }
    list->setSaveRequest([this](frmList* l) { return !saveListAs(l).isEmpty(); });
    connect(list, &frmList::recordCountChanged, this, [this] { desk_.UpdateStatusbarCount(); });
    desk_.addDocument(list);
    return list;
}

bool ListWindows::ShowListFromName(const QString& name) {
    Prompter& prompter = desk_.prompter();
    db::DbError error;
    const std::optional<RegisteredList> entry = FindRegisteredList(name, &error);
    if (error.isError()) {
        prompter.inform(AppTitle(), dataErrorText(error.number), Prompter::Icon::Exclamation);
        return false;
    }
    if (!entry) {
        prompter.inform(AppTitle(),
                        QStringLiteral("Could not locate ") + appFolders().AddressListsFolder + name +
                            QStringLiteral(".mdb"),
                        Prompter::Icon::Exclamation);
        return false;
    }
    const QString path = DataTank::registeredPath(entry->listPath);
    if (!QFileInfo(path).isFile()) {
        prompter.inform(AppTitle(), missingListFileText(entry->name, path), Prompter::Icon::Exclamation);
        return false;
    }
    return showList(path, entry->name) != nullptr;
}

int ListWindows::getCaptionNumber() {
    QSet<QString> captions;
    for (frmList* list : listWindows())
        captions.insert(list->caption());
    int number = 1;
    while (captions.contains(untitledCaption(number)))
        ++number;
    return number;
}

frmList* ListWindows::createEmptyList() {
    if (desk_.refuseOverLimit(Desk::limitNewText()))
        return nullptr;
    db::DbError error;
    const QString path = DataTank::CreateBlankDatabase(&error);
    if (path.isEmpty()) {
        desk_.prompter().inform(AppTitle(), QStringLiteral("A new list could not be created: ") + error.text,
                                Prompter::Icon::Exclamation);
        return nullptr;
    }
    return showList(path, untitledCaption(getCaptionNumber()));
}

QWidget* ListWindows::showTable(const QString& path, const QString& table, const QString& caption) {
    QString error;
    frmTableView* view = frmTableView::open(path, table, caption, desk_.prompter(), nullptr, &error);
    if (!view) {
        desk_.prompter().inform(AppTitle(), error, Prompter::Icon::Exclamation);
        return nullptr;
    }
    desk_.addDocument(view);
    return view;
}

// ---- Dialogs ----

void ListWindows::openListsDialog() {
    auto* dialog =
        new frmOpenDelete(frmOpenDelete::Mode::Open, frmOpenDelete::listTexts(frmOpenDelete::Mode::Open),
                          listEntries(), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        for (const QString& name : dialog->selectedNames()) {
            if (!LocateListWindow(DataTank::registeredPath(DataTank::GetListPath(name))) &&
                desk_.refuseOverLimit(Desk::limitOpenText()))
                break;
            ShowListFromName(name);
        }
    });
    dialog->open();
}

void ListWindows::deleteListsDialog() {
    auto* dialog =
        new frmOpenDelete(frmOpenDelete::Mode::Delete, frmOpenDelete::listTexts(frmOpenDelete::Mode::Delete),
                          listEntries(), desk_.prompter(), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        for (const QString& name : dialog->selectedNames())
            DataTank::DeleteRegisteredList(name, desk_.prompter());
    });
    dialog->open();
}

QString ListWindows::saveListAs(frmList* list) {
    frmOpenDelete dialog(frmOpenDelete::Mode::Save, frmOpenDelete::listTexts(frmOpenDelete::Mode::Save),
                         listEntries(), desk_.prompter(), desk_.frame());
    if (!list->isUnsaved())
        dialog.setNewName(list->caption());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QString source = list->path();
    const QString name = dialog.newName();
    desk_.setStatusText(QStringLiteral("Saving..."));
    const bool saved = DataTank::SaveListAs(source, name, dialog.newDescription(), true, desk_.prompter());
    desk_.setStatusText(QString());
    return saved ? appFolders().AddressListsFolder + name + QStringLiteral(".mdb") : QString();
}

void ListWindows::saveActiveList(bool askName) {
    const QPointer<frmList> list = activeList();
    if (!list)
        return;
    if (!askName && !list->isUnsaved()) {
        // Every edit is already in the file.
        desk_.setStatusText(QStringLiteral("Saving..."));
        desk_.setStatusText(QString());
        return;
    }
    const QString oldPath = list->path();
    const QString target = saveListAs(list);
    // The saved list opened in its own window; the window on the old file goes.
    if (!target.isEmpty() && list && target.compare(oldPath, Qt::CaseInsensitive) != 0)
        list->closeQuietly();
}

void ListWindows::showFindReplace(bool replace) {
    frmList* list = activeList();
    if (!list)
        return;
    if (findReplace_ && findReplace_->list() != list) {
        findReplace_->close();
        findReplace_->deleteLater();
    }
    if (!findReplace_ || findReplace_->list() != list) {
        findReplace_ = new frmFindReplace(list, replace, desk_.frame());
        findReplace_->setAttribute(Qt::WA_DeleteOnClose);
    }
    findReplace_->setReplaceMode(replace);
    findReplace_->show();
    findReplace_->raise();
    findReplace_->activateWindow();
}

// ---- List operations ----

void ListWindows::openResult(const QString& result) {
    frmListOperations::ListSummary(result, desk_.prompter(), [this](const QString& path) {
        showList(path, untitledCaption(getCaptionNumber()));
    });
}

// The side bar's "Manage lists": the operations over registered lists, which need no open list.
void ListWindows::showManageListsMenu() {
    using Op = frmListOperations::Operation;
    auto* menu = new QMenu(desk_.frame());
    menu->setObjectName(QStringLiteral("mnuManageLists"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Merge &Lists..."), this, [this] { runListOperation(Op::Merge); });
    menu->addAction(QStringLiteral("&Clean List..."), this, [this] { runListOperation(Op::Clean); });
    menu->addAction(QStringLiteral("Find D&uplicates..."), this,
                    [this] { runListOperation(Op::Duplicates); });
    menu->popup(QCursor::pos());
}

void ListWindows::runListOperation(frmListOperations::Operation operation) {
    if (desk_.refuseOverLimit(Desk::limitNewText()))
        return;
    auto* dialog = new frmListOperations(operation, frmListOperations::registeredChoices(), desk_.prompter(),
                                         int(listWindows().size()), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (frmList* list = activeList())
        dialog->selectFirst(list->path());
    connect(dialog, &QDialog::accepted, this, [this, dialog] { openResult(dialog->result()); });
    dialog->open();
}

void ListWindows::filterActiveList() {
    const frmList* list = activeList();
    if (!list || desk_.refuseOverLimit(Desk::limitNewText()))
        return;
    const QString path = list->path();
    auto* dialog =
        new frmSQLQuery(QStringLiteral("AddressList"), frmSQLQuery::tableColumns(path), desk_.frame());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, path] {
        // An empty condition cancels the filter.
        const QString clause = dialog->clause().trimmed();
        if (!clause.isEmpty())
            openResult(ListOperations::gFilterList(path, desk_.prompter(), clause));
    });
    dialog->open();
}

void ListWindows::exportActiveList() {
    const frmList* list = activeList();
    if (!list)
        return;
    const QString path = list->path();
    FileNameObject target;
    const QString file = GetNewFileName(target, FileNameObject::UserFilePath(),
                                        QStringLiteral("Text files (*.txt *.csv);;All files (*)"),
                                        list->caption() + QStringLiteral(".txt"), desk_.frame());
    if (!file.isEmpty())
        // The save dialog has asked before replacing an existing file.
        ListOperations::gExportList(path, file, desk_.prompter(),
                                    ListOperations::ExistingExportFile::Replace);
}
