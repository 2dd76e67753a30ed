#include "app/ui/mdiMain.h"
#include "core/AppSettings.h"
#include "db/DataTank.h"
#include "lists/ui/frmAdvancedSQLQuery.h"
#include "lists/ui/frmList.h"
#include "lists/ui/frmListOperations.h"
#include "lists/ui/frmSQLQuery.h"
#include "support/DesktopTest.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

using db::Database;
using QueryBuilder::ValueKind;

namespace {

QString registerList(const QString& name, const QStringList& addresses, Prompter& prompter) {
    const QString temp = DataTank::CreateBlankDatabase();
    {
        Database database = Database::open(temp);
        for (const QString& address : addresses)
            database.exec(QStringLiteral("INSERT INTO AddressList (EAddress, FirstName) VALUES (?, ?)"),
                          {address, address.section(u'@', 0, 0)});
    }
    DataTank::SaveListAs(temp, name, QStringLiteral("test list"), false, prompter);
    return appFolders().AddressListsFolder + name + QStringLiteral(".mdb");
}

QStringList addressesOf(const QString& path) {
    const Database database = Database::open(path, Database::OpenMode::ReadOnly);
    QStringList addresses;
    db::Statement rows = database.prepare(QStringLiteral("SELECT EAddress FROM AddressList"));
    while (rows.next())
        addresses << rows.text(0).toLower();
    addresses.sort();
    return addresses;
}

void choose(QWidget* dialog, const QString& combo, const QString& text) {
    auto* box = dialog->findChild<QComboBox*>(combo);
    QVERIFY2(box, qPrintable(combo));
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    box->setCurrentIndex(index);
}

void click(QWidget* dialog, const QString& button) {
    auto* push = dialog->findChild<QPushButton*>(button);
    QVERIFY2(push, qPrintable(button));
    QTest::mouseClick(push, Qt::LeftButton);
}

void shoot(QWidget* widget, const QString& name) {
    const QString folder = QStringLiteral(TAMBERLYN_SOURCE_DIR) + QStringLiteral("/build/screenshots");
    QVERIFY(QDir().mkpath(folder));
    widget->show();
    QCoreApplication::processEvents();
    QVERIFY(widget->grab().save(folder + u'/' + name + QStringLiteral(".png")));
}

const QList<frmSQLQuery::Column> PeopleColumns = {{QStringLiteral("EAddress"), ValueKind::Quoted},
                                                  {QStringLiteral("FirstName"), ValueKind::Quoted},
                                                  {QStringLiteral("Age"), ValueKind::WholeNumber},
                                                  {QStringLiteral("Balance"), ValueKind::DecimalNumber}};

} // namespace

class TestListOperationDialogs : public QObject, public DesktopTest {
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(openDesktop()); }
    void cleanup() { closeDesktop(); }

    void mergeOpensTheUnionAsANewUnsavedList() {
        const QString first =
            registerList(QStringLiteral("Friends"), {"ann@x.org", "bob@x.org"}, home->prompter);
        registerList(QStringLiteral("Clients"), {"BOB@x.org", "carl@x.org"}, home->prompter);
        QVERIFY(window->ShowListFromName(QStringLiteral("Friends")));
        QVERIFY(window->dispatch(QStringLiteral("id_ToolsMergeLists")));
        auto* dialog = window->findChild<frmListOperations*>(QStringLiteral("frmListOperations"));
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Merge Lists"));
        QCOMPARE(dialog->firstPath(), first); // the active list comes first
        choose(dialog, QStringLiteral("cboListOperation_1"), QStringLiteral("Clients"));
        click(dialog, QStringLiteral("cmdOK"));

        frmList* result = window->activeList();
        QVERIFY(result);
        QVERIFY(result->isUnsaved());
        QVERIFY(result->caption().startsWith(QStringLiteral("Untitled Mailing List ")));
        QCOMPARE(window->listWindows().size(), 2);
        QCOMPARE(addressesOf(result->path()), QStringList({"ann@x.org", "bob@x.org", "carl@x.org"}));
        QCOMPARE(addressesOf(first), QStringList({"ann@x.org", "bob@x.org"})); // sources untouched
    }

    // The side bar's "Manage lists" offers the operations over registered lists, with no list open.
    void manageListsOffersTheListOperations() {
        registerList(QStringLiteral("Friends"), {"ann@x.org", "bob@x.org"}, home->prompter);
        registerList(QStringLiteral("Clients"), {"BOB@x.org", "carl@x.org"}, home->prompter);
        QVERIFY(window->listWindows().isEmpty());
        QVERIFY(window->dispatch(QStringLiteral("id_ManageLists")));
        auto* menu = window->findChild<QMenu*>(QStringLiteral("mnuManageLists"));
        QVERIFY(menu);
        QStringList captions;
        for (QAction* action : menu->actions())
            captions << action->text();
        QCOMPARE(captions, QStringList({"Merge &Lists...", "&Clean List...", "Find D&uplicates..."}));
        menu->actions().at(2)->trigger();
        auto* dialog = window->findChild<frmListOperations*>(QStringLiteral("frmListOperations"));
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Find Duplicates"));
        choose(dialog, QStringLiteral("cboListOperation_0"), QStringLiteral("Friends"));
        choose(dialog, QStringLiteral("cboListOperation_1"), QStringLiteral("Clients"));
        click(dialog, QStringLiteral("cmdOK"));
        frmList* result = window->activeList();
        QVERIFY(result);
        QCOMPARE(addressesOf(result->path()), QStringList({"bob@x.org"}));
    }

    void anEmptyResultIsReportedAndOpensNothing() {
        registerList(QStringLiteral("Friends"), {"ann@x.org"}, home->prompter);
        registerList(QStringLiteral("Clients"), {"carl@x.org"}, home->prompter);
        QVERIFY(window->ShowListFromName(QStringLiteral("Friends")));
        QVERIFY(window->dispatch(QStringLiteral("id_ToolsFindDuplicates")));
        auto* dialog = window->findChild<frmListOperations*>(QStringLiteral("frmListOperations"));
        QVERIFY(dialog);
        choose(dialog, QStringLiteral("cboListOperation_1"), QStringLiteral("Clients"));
        click(dialog, QStringLiteral("cmdOK"));
        QCOMPARE(home->prompter.texts().last(), frmListOperations::emptyResultText());
        QCOMPARE(window->listWindows().size(), 1);
    }

    void filterFromTheMenuOpensTheMatchingRows() {
        registerList(QStringLiteral("Friends"), {"ann@x.org", "andy@x.org", "bob@x.org"}, home->prompter);
        QVERIFY(window->ShowListFromName(QStringLiteral("Friends")));
        QVERIFY(window->dispatch(QStringLiteral("id_ToolsFilter")));
        auto* dialog = window->findChild<frmSQLQuery*>(QStringLiteral("frmSQLQuery"));
        QVERIFY(dialog);
        choose(dialog, QStringLiteral("lstField1_0"), QStringLiteral("FirstName"));
        choose(dialog, QStringLiteral("lstLogic1_0"), QStringLiteral("Like"));
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("txtValue1_0")), QStringLiteral("an*"));
        click(dialog, QStringLiteral("cmdOK"));
        frmList* result = window->activeList();
        QVERIFY(result && result->isUnsaved());
        QCOMPARE(addressesOf(result->path()), QStringList({"andy@x.org", "ann@x.org"}));
    }

    void exportFromTheMenuWritesTheChosenFile() {
        registerList(QStringLiteral("Friends"), {"ann@x.org", "bob@x.org"}, home->prompter);
        QVERIFY(window->ShowListFromName(QStringLiteral("Friends")));
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("friends.txt"));
        // The file picker is modal: answer it once it shows.
        QTimer::singleShot(0, this, [target] {
            auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(picker);
            picker->selectFile(target);
            static_cast<QDialog*>(picker)->accept();
        });
        QVERIFY(window->dispatch(QStringLiteral("id_ToolsExportList")));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("\"EAddress\"") || text.startsWith("EAddress"));
        QCOMPARE(text.count("@x.org"), 2);
    }

    void twoRowsMakeTheClauseAndAdvancedAcceptReplacesIt() {
        frmSQLQuery dialog(QStringLiteral("AddressList"), PeopleColumns);
        choose(&dialog, QStringLiteral("lstField1_0"), QStringLiteral("FirstName"));
        choose(&dialog, QStringLiteral("lstLogic1_0"), QStringLiteral("Like"));
        QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("txtValue1_0")), QStringLiteral("A*"));
        choose(&dialog, QStringLiteral("lstLogicalJoin_0"), QStringLiteral("OR"));
        choose(&dialog, QStringLiteral("lstField1_1"), QStringLiteral("Age"));
        choose(&dialog, QStringLiteral("lstLogic1_1"), QStringLiteral(">="));
        QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("txtValue1_1")), QStringLiteral("30"));
        // A column in row 2 without a join before it adds nothing.
        choose(&dialog, QStringLiteral("lstField1_2"), QStringLiteral("EAddress"));
        const QString built =
            QStringLiteral("WHERE (([AddressList].[FirstName] Like  \"A*\" OR [AddressList].[Age] >=  30))");
        QCOMPARE(dialog.clause(), built);
        shoot(&dialog, QStringLiteral("frmSQLQuery"));

        frmAdvancedSQLQuery* advanced = dialog.showAdvanced();
        QVERIFY(advanced);
        QTextEdit* editor = advanced->findChild<QTextEdit*>(QStringLiteral("rtfSQL"));
        QCOMPARE(editor->toPlainText(), built);
        QTextCursor cursor(editor->document());
        cursor.setPosition(1); // inside WHERE
        QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Bold));
        cursor.setPosition(12); // inside AddressList
        QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Normal));
        shoot(advanced, QStringLiteral("frmAdvancedSQLQuery"));
        const QString edited = QStringLiteral("WHERE (([AddressList].[Age] < 18))");
        editor->setPlainText(edited);
        click(advanced, QStringLiteral("cmdAccept"));
        QCOMPARE(dialog.clause(), edited);

        QSignalSpy accepted(&dialog, &QDialog::accepted);
        click(&dialog, QStringLiteral("cmdOK"));
        QCOMPARE(accepted.size(), 1);
        QCOMPARE(dialog.clause(), edited);
        // Changing a row again makes the rows the clause.
        choose(&dialog, QStringLiteral("lstLogicalJoin_0"), QStringLiteral("AND"));
        QVERIFY(dialog.clause().contains(QStringLiteral(" AND [AddressList].[Age]")));
    }

    void numericValueBoxesLoseWhatANumberCannotHold() {
        frmSQLQuery dialog(QStringLiteral("AddressList"), PeopleColumns);
        QSignalSpy cleaned(&dialog, &frmSQLQuery::valueCleaned);
        auto* value = dialog.findChild<QLineEdit*>(QStringLiteral("txtValue1_0"));
        choose(&dialog, QStringLiteral("lstField1_0"), QStringLiteral("Age"));
        QTest::keyClicks(value, QStringLiteral("1x2.5"));
        QCOMPARE(value->text(), QStringLiteral("125"));
        QCOMPARE(cleaned.size(), 2);

        // Decimal columns keep the first point; text columns keep everything.
        value->clear();
        choose(&dialog, QStringLiteral("lstField1_0"), QStringLiteral("Balance"));
        QTest::keyClicks(value, QStringLiteral("1.5.0a"));
        QCOMPARE(value->text(), QStringLiteral("1.50"));
        value->clear();
        choose(&dialog, QStringLiteral("lstField1_0"), QStringLiteral("FirstName"));
        QTest::keyClicks(value, QStringLiteral("x1.2.3"));
        QCOMPARE(value->text(), QStringLiteral("x1.2.3"));
        // Choosing a numeric column cleans what is there.
        choose(&dialog, QStringLiteral("lstField1_0"), QStringLiteral("Age"));
        QCOMPARE(value->text(), QStringLiteral("123"));

        // null asks for NULL on any column, numeric ones included.
        value->clear();
        choose(&dialog, QStringLiteral("lstLogic1_0"), QStringLiteral("<>"));
        QTest::keyClicks(value, QStringLiteral("Null"));
        QCOMPARE(dialog.clause(), QStringLiteral("WHERE (([AddressList].[Age] <> NULL))"));
    }

    void screenshotOfTheListOperationsDialog() {
        const QList<frmListOperations::Choice> lists = {
            {QStringLiteral("Customers"), QStringLiteral("a.mdb")},
            {QStringLiteral("Press"), QStringLiteral("b.mdb")}};
        frmListOperations merge(frmListOperations::Operation::Merge, lists, home->prompter);
        shoot(&merge, QStringLiteral("frmListOperations-merge"));
        frmListOperations clean(frmListOperations::Operation::Clean, lists, home->prompter);
        QCOMPARE(clean.windowTitle(), QStringLiteral("Clean List"));
        shoot(&clean, QStringLiteral("frmListOperations-clean"));
    }
};

QTEST_MAIN(TestListOperationDialogs)
#include "tst_listoperationdialogs.moc"
