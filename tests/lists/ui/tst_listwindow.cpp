#include "app/ui/mdiMain.h"
#include "core/AppSettings.h"
#include "core/FileViewer.h"
#include "core/ui/frmOpenDelete.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "lists/ListTableModel.h"
#include "lists/ui/ResyncLists.h"
#include "lists/ui/frmFileDisplay.h"
#include "lists/ui/frmFindReplace.h"
#include "lists/ui/frmList.h"
#include "lists/ui/frmTableView.h"
#include "support/DesktopTest.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using db::Database;

namespace {

// A registered list of the addresses (first names optional); its file path.
QString registerList(const QString& name, const QList<QStringList>& rows, Prompter& prompter,
                     bool keyed = true) {
    const QString temp = DataTank::CreateBlankDatabase();
    {
        Database database = Database::open(temp);
        if (!keyed) {
            database.exec(QStringLiteral("DROP TABLE AddressList"));
            database.exec(
                QStringLiteral("CREATE TABLE AddressList (EAddress TEXT(255) COLLATE NOCASE NOT NULL, "
                               "FirstName TEXT(255) COLLATE NOCASE)"));
        }
        db::Transaction transaction(database);
        for (const QStringList& row : rows)
            database.exec(QStringLiteral("INSERT INTO AddressList (EAddress, FirstName) VALUES (?, ?)"),
                          {row.value(0), row.value(1)});
        transaction.commit();
    }
    DataTank::SaveListAs(temp, name, QStringLiteral("test list"), false, prompter);
    return appFolders().AddressListsFolder + name + QStringLiteral(".mdb");
}

qint64 rowCountOf(const QString& path) {
    const Database database = Database::open(path, Database::OpenMode::ReadOnly);
    return database.scalar(QStringLiteral("SELECT count(*) FROM AddressList"))->toLongLong();
}

// Types into a grid cell through its editor and commits with Enter.
void typeInto(QTableView* grid, const QModelIndex& index, const QString& text) {
    grid->setCurrentIndex(index);
    grid->edit(index);
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits on the next turn of the event loop.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestListWindow : public QObject, public DesktopTest {
    Q_OBJECT

private:
    frmList* openList(const QString& name) {
        if (!window->ShowListFromName(name))
            return nullptr;
        frmList* list = window->activeList();
        if (list)
            new QAbstractItemModelTester(&list->model(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest, list);
        return list;
    }

private Q_SLOTS:
    void init() { QVERIFY(openDesktop()); }
    void cleanup() { closeDesktop(); }

    void typingADuplicateAddressRestoresTheOldValue() {
        registerList(QStringLiteral("Friends"), {{"ann@x.org", "Ann"}, {"bob@x.org", "Bob"}}, home->prompter);
        frmList* list = openList(QStringLiteral("Friends"));
        QVERIFY(list);
        auto* grid = list->findChild<QTableView*>(QStringLiteral("grdList"));
        QVERIFY(grid);
        typeInto(grid, grid->model()->index(1, 0), QStringLiteral("ANN@x.org"));
        QCOMPARE(grid->model()->index(1, 0).data().toString(), QStringLiteral("bob@x.org"));
        QCOMPARE(home->prompter.shown().last().text, ListTableModel::duplicateAddressText("ANN@x.org"));
        typeInto(grid, grid->model()->index(1, 0), QStringLiteral("carl@x.org"));
        QCOMPARE(grid->model()->index(1, 0).data().toString(), QStringLiteral("carl@x.org"));
    }

    void deletingRowsAsksFirst() {
        const QString path =
            registerList(QStringLiteral("Three"), {{"a@x.org"}, {"b@x.org"}, {"c@x.org"}}, home->prompter);
        frmList* list = openList(QStringLiteral("Three"));
        QVERIFY(list);
        list->grid()->clearSelection();
        QVERIFY(!window->dispatch(QStringLiteral("id_EditDeleteRecord")) || rowCountOf(path) == 3);
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral("Please select a row or rows for deletion."));
        QCOMPARE(home->prompter.shown().last().title, QStringLiteral("Delete Row"));

        list->grid()->selectRow(0);
        list->grid()->selectionModel()->select(list->grid()->model()->index(2, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
        home->prompter.answer(Prompter::Answer::No);
        QVERIFY(window->dispatch(QStringLiteral("id_EditDeleteRecord")));
        QCOMPARE(home->prompter.shown().last().title, QStringLiteral("Deletion Confirmation"));
        QVERIFY(home->prompter.shown().last().text.startsWith(QStringLiteral(
            "You are about to delete 2 record(s) from your\nlist.\n\nThis action cannot be undone.")));
        QCOMPARE(rowCountOf(path), 3);

        home->prompter.answer(Prompter::Answer::Yes);
        QVERIFY(window->dispatch(QStringLiteral("id_EditDeleteRecord")));
        QCOMPARE(rowCountOf(path), 1);
        QCOMPARE(list->model().index(0, 0).data().toString(), QStringLiteral("b@x.org"));
    }

    void closingAListWithRepeatedAddressesOffersToDeleteEveryCopy() {
        const QString path =
            registerList(QStringLiteral("Cleaned"), {{"a@x.org"}, {"dup@x.org"}, {"DUP@x.org"}, {"b@x.org"}},
                         home->prompter, false);
        frmList* list = openList(QStringLiteral("Cleaned"));
        QVERIFY(list);
        auto* sub = qobject_cast<QMdiSubWindow*>(list->parentWidget());
        home->prompter.answer(Prompter::Answer::No);
        QVERIFY(!sub->close());
        const ScriptedPrompter::Shown asked = home->prompter.shown().last();
        QCOMPARE(asked.title, QStringLiteral("Duplicate entries found."));
        QCOMPARE(asked.icon, Prompter::Icon::Exclamation);
        QVERIFY(asked.text.startsWith(
            QStringLiteral("These fields are duplicates, To delete them and close your "
                           "database click Yes. To manually delete them, click No:\n")));
        QVERIFY(asked.text.contains(QStringLiteral("     dup@x.org, ")));
        QCOMPARE(rowCountOf(path), 4);

        home->prompter.answer(Prompter::Answer::Yes);
        QVERIFY(sub->close());
        QCOMPARE(rowCountOf(path), 2);
    }

    void sortingKeepsEveryRow() {
        registerList(QStringLiteral("Sorted"), {{"c@x.org", "Zed"}, {"a@x.org", "Max"}, {"b@x.org", ""}},
                     home->prompter);
        frmList* list = openList(QStringLiteral("Sorted"));
        list->sortBy(1, Qt::DescendingOrder);
        QStringList names;
        QStringList addresses;
        for (int row = 0; row < list->model().recordCount(); ++row) {
            names << list->model().index(row, 1).data().toString();
            addresses << list->model().index(row, 0).data().toString();
        }
        QCOMPARE(names, (QStringList{"Zed", "Max", ""}));
        addresses.sort();
        QCOMPARE(addresses, (QStringList{"a@x.org", "b@x.org", "c@x.org"}));
    }

    void findAndReplaceWithoutAHitSaysSoAndChangesNothing() {
        const QString path = registerList(QStringLiteral("Empty"), {}, home->prompter);
        frmList* list = openList(QStringLiteral("Empty"));
        QVERIFY(window->dispatch(QStringLiteral("id_EditReplace")));
        auto* dialog = window->findChild<frmFindReplace*>(QStringLiteral("frmFindReplace"));
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Replace"));
        dialog->findChild<QComboBox*>(QStringLiteral("cboField"))->setCurrentIndex(1);
        dialog->findChild<QLineEdit*>(QStringLiteral("txtFind"))->setText(QStringLiteral("Ann"));
        dialog->findChild<QLineEdit*>(QStringLiteral("txtReplace"))->setText(QStringLiteral("Anna"));
        dialog->findChild<QCheckBox*>(QStringLiteral("chkExact"))->setChecked(true);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdReplace"))->click();
        QCOMPARE(
            home->prompter.shown().last().text,
            QStringLiteral("Search String not found\nPerhaps turn off Matching the exact String would help"));
        QCOMPARE(rowCountOf(path), 0);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdFindNext"))->click();
        QCOMPARE(home->prompter.shown().last().text, frmList::notFoundText(true));
        // A double quote is refused before anything is looked at.
        dialog->findChild<QLineEdit*>(QStringLiteral("txtReplace"))->setText(QStringLiteral("A\"nna"));
        dialog->findChild<QPushButton*>(QStringLiteral("cmdReplace"))->click();
        QCOMPARE(home->prompter.shown().last().text, frmList::quoteRefusedText());
        Q_UNUSED(list)
    }

    void findAndReplaceWithHits() {
        const QString path =
            registerList(QStringLiteral("Names"),
                         {{"a@x.org", "Ann"}, {"b@x.org", "Bob"}, {"c@x.org", "ann"}}, home->prompter);
        frmList* list = openList(QStringLiteral("Names"));
        list->grid()->setCurrentIndex(list->model().index(0, 0));
        QVERIFY(list->findNext(1, QStringLiteral("ann"), true, true));
        QCOMPARE(list->grid()->currentIndex().row(), 2);
        QVERIFY(list->findNext(1, QStringLiteral("o"), false, false));
        QCOMPARE(list->grid()->currentIndex().row(), 1);
        home->prompter.answer(Prompter::Answer::Yes);
        QVERIFY(list->replaceAll(1, QStringLiteral("ANN"), QStringLiteral("Anna"), true));
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral(
                     "You are about to replace 2 value(s) with the new selected value.  Are you sure?"));
        QCOMPARE(list->model().index(2, 1).data().toString(), QStringLiteral("Anna"));
        // An address the list holds cannot replace another.
        QVERIFY(!list->replaceAll(0, QStringLiteral("a@x.org"), QStringLiteral("B@x.org"), true));
        QCOMPARE(home->prompter.shown().last().text, frmList::addressExistsText());
        QCOMPARE(rowCountOf(path), 3);
        // Nor can one with a control character.
        QVERIFY(!list->replaceAll(0, QStringLiteral("a@x.org"), QStringLiteral("a@x.org\r\nDATA"), true));
        QCOMPARE(home->prompter.shown().last().text, ListTableModel::controlCharacterAddressText());
        // A tab cannot be typed into the cell, but can be pasted there.
        list->model().setData(list->model().index(1, 0), QStringLiteral("b@x.org\tc@x.org"));
        QCOMPARE(home->prompter.shown().last().text, ListTableModel::controlCharacterAddressText());
        QCOMPARE(list->model().index(0, 0).data().toString(), QStringLiteral("a@x.org"));
        QCOMPARE(list->model().index(1, 0).data().toString(), QStringLiteral("b@x.org"));
    }

    void columnsAreAddedAndRemovedOnSavedListsOnly() {
        registerList(QStringLiteral("Columns"), {{"a@x.org"}}, home->prompter);
        frmList* list = openList(QStringLiteral("Columns"));
        QVERIFY(list->addColumn(QStringLiteral("City")));
        QCOMPARE(list->model().columnCount(), 9);
        list->grid()->clearSelection();
        list->grid()->selectionModel()->select(list->model().index(0, 8), QItemSelectionModel::Select);
        list->grid()->selectionModel()->select(list->model().index(0, 1), QItemSelectionModel::Select);
        home->prompter.answer(Prompter::Answer::Yes);
        list->removeSelectedColumns();
        QVERIFY(home->prompter.shown().last().text.startsWith(
            QStringLiteral("You have selected 2 column(s) for removal.")));
        QCOMPARE(list->model().columnCount(), 8);

        frmList* unsaved = window->createEmptyList();
        QVERIFY(unsaved);
        unsaved->promptAddColumn();
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral("You must save your list before you can add a column."));
        QVERIFY(!unsaved->addColumn(QStringLiteral("City")));
        QCOMPARE(unsaved->model().columnCount(), 8);
    }

    void anUnsavedListAsksToBeSavedOnClosing() {
        frmList* list = window->createEmptyList();
        QVERIFY(list);
        QVERIFY(list->isUnsaved());
        QCOMPARE(list->caption(), QStringLiteral("Untitled Mailing List 1"));
        QVERIFY(list->model().setData(list->model().index(0, 0), QStringLiteral("new@x.org")));
        auto* sub = qobject_cast<QMdiSubWindow*>(list->parentWidget());
        home->prompter.answer(Prompter::Answer::Cancel);
        QVERIFY(!sub->close());

        // Yes: the save dialog names it; the saved list opens in its own window.
        home->prompter.answer(Prompter::Answer::Yes);
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<frmOpenDelete*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Save Email List"));
            dialog->findChild<QLineEdit*>(QStringLiteral("txtName"))->setText(QStringLiteral("Bad;Name"));
            dialog->accept(); // refused: stays open
            QVERIFY(dialog->isVisible());
            dialog->findChild<QLineEdit*>(QStringLiteral("txtName"))->setText(QStringLiteral("Kept"));
            dialog->accept();
        });
        QVERIFY(sub->close());
        QVERIFY(home->prompter.texts().contains(frmOpenDelete::invalidNameText()));
        QTRY_VERIFY(window->LocateListWindow(appFolders().AddressListsFolder + QStringLiteral("Kept.mdb")));
        QCOMPARE(rowCountOf(appFolders().AddressListsFolder + QStringLiteral("Kept.mdb")), 1);
        QCOMPARE(appSettings().StartMaximized, qint16(0));
    }

    void tableViewAndFileDisplay() {
        const QString path = registerList(QStringLiteral("Shown"), {{"a@x.org"}}, home->prompter);
        auto* view =
            qobject_cast<frmTableView*>(window->showTable(path, QStringLiteral("AddressList"), "Shown"));
        QVERIFY(view);
        QCOMPARE(view->windowTitle(), QStringLiteral("Shown (Read Only)"));
        QAbstractItemModelTester tester(view->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(view->findChild<QTableView*>(QStringLiteral("grdTable")));
        const QString empty = registerList(QStringLiteral("None"), {}, home->prompter);
        auto* none = window->showTable(empty, QStringLiteral("AddressList"), QStringLiteral("None"));
        QCOMPARE(none->findChild<QLabel*>(QStringLiteral("lblEmpty"))->text(),
                 QStringLiteral("There are no records to display"));

        const QString text = home->file(QStringLiteral("notes.txt"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("line one\nline two\n");
        file.close();
        bool shown = false;
        setFileViewer([&](const QString& p) {
            frmFileDisplay display(p);
            QCOMPARE(display.findChild<QLabel*>(QStringLiteral("lblHeading"))->text(),
                     QStringLiteral("Contents of file:"));
            QCOMPARE(display.findChild<QLabel*>(QStringLiteral("lblFileName"))->text(), text);
            QCOMPARE(display.text(), QStringLiteral("line one\nline two\n"));
            shown = true;
        });
        ViewFile(QStringLiteral("   "));
        QVERIFY(!shown);
        ViewFile(QStringLiteral("  ") + text + QStringLiteral(" "));
        QVERIFY(shown);
        QCOMPARE(FileToView(), text);
        setFileViewer({});
    }

    void theResyncWindowAppliesTheTickedEntries() {
        registerList(QStringLiteral("Gone"), {{"a@x.org"}}, home->prompter);
        QFile::remove(appFolders().AddressListsFolder + QStringLiteral("Gone.mdb"));
        QFile::copy(registerList(QStringLiteral("Source"), {{"a@x.org"}}, home->prompter),
                    appFolders().AddressListsFolder + QStringLiteral("New.mdb"));
        const ListResync::Findings findings = ListResync::collect(home->prompter);
        QCOMPARE(findings.missing, QStringList{"Gone.mdb"});
        QCOMPARE(findings.extra, QStringList{"New.mdb"});

        ResyncLists missing(ListResync::Phase::Missing, findings.missing, home->prompter);
        QCOMPARE(missing.findChild<QLabel*>(QStringLiteral("lblCaption"))->text(),
                 QStringLiteral("Missing Mailing List Files"));
        QCOMPARE(missing.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 ListResync::explanationText(ListResync::Phase::Missing));
        missing.findChild<QPushButton*>(QStringLiteral("cmdClose"))->click(); // nothing ticked: kept
        QVERIFY(!DataTank::GetListPath(QStringLiteral("Gone")).isEmpty());

        ResyncLists extra(ListResync::Phase::Extra, findings.extra, home->prompter);
        QCOMPARE(extra.findChild<QLabel*>(QStringLiteral("lblCaption"))->text(),
                 QStringLiteral("Extra Mailing List Files"));
        extra.findChild<QPushButton*>(QStringLiteral("cmdSelectAll"))->click();
        QCOMPARE(extra.tickedEntries(), QStringList{"New.mdb"});
        extra.findChild<QPushButton*>(QStringLiteral("cmdClose"))->click();
        QCOMPARE(DataTank::GetListPath(QStringLiteral("New")), QStringLiteral("New.mdb"));

        // At start-up the desktop's presenter shows the windows; the missing one is ticked and removed.
        ListResync::setPresenter([](const ListResync::Findings& f, Prompter& p) {
            QTimer::singleShot(0, [] {
                auto* shown = qobject_cast<ResyncLists*>(QApplication::activeModalWidget());
                QVERIFY(shown);
                QCOMPARE(shown->phase(), ListResync::Phase::Missing);
                shown->findChild<QListWidget*>(QStringLiteral("lstSync"))
                    ->item(0)
                    ->setCheckState(Qt::Checked);
                shown->applyAndClose();
            });
            ResyncLists::ReSyncAddressLists(f, p);
        });
        gSyncronizeAddressLists(home->prompter);
        ListResync::setPresenter({});
        QVERIFY(DataTank::GetListPath(QStringLiteral("Gone")).isEmpty());
    }
};

QTEST_MAIN(TestListWindow)
#include "tst_listwindow.moc"
