#include "app/ui/frmConfiguration.h"
#include "app/ui/mdiMain.h"
#include "core/AppSettings.h"
#include "core/SecretStore.h"
#include "core/ui/frmOpenDelete.h"
#include "db/DataTank.h"
#include "lists/ui/frmList.h"
#include "support/DesktopTest.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBox>
#include <QTreeWidget>

namespace {

QString registerList(const QString& name, Prompter& prompter) {
    const QString temp = DataTank::CreateBlankDatabase();
    DataTank::SaveListAs(temp, name, name + QStringLiteral(" list"), false, prompter);
    return appFolders().AddressListsFolder + name + QStringLiteral(".mdb");
}

void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

class TestMainWindow : public QObject, public DesktopTest {
    Q_OBJECT

private:
    QLabel* panel(const char* name) { return window->findChild<QLabel*>(QString::fromLatin1(name)); }

private Q_SLOTS:
    void init() { QVERIFY(openDesktop()); }
    void cleanup() {
        closeDesktop();
        SecretStore::setEnabled(true);
    }

    void theWindowLimitRefusesNewAndOpenAbove40() {
        for (int i = 0; i < mdiMain::MaxDocumentWindows; ++i)
            QVERIFY(window->dispatch(QStringLiteral("id_FileNewList")));
        QCOMPARE(window->CountListAndMessageWindows(), 40);
        // With 40 open a new one is allowed ...
        QVERIFY(window->dispatch(QStringLiteral("id_FileNewList")));
        QCOMPARE(window->CountListAndMessageWindows(), 41);
        QVERIFY(!home->prompter.texts().contains(mdiMain::limitNewText()));
        // ... with 41 open, new and open are refused.
        window->dispatch(QStringLiteral("id_FileNewList"));
        QCOMPARE(window->CountListAndMessageWindows(), 41);
        QCOMPARE(home->prompter.shown().last().text, mdiMain::limitNewText());
        window->dispatch(QStringLiteral("id_FileOpenList"));
        QCOMPARE(home->prompter.shown().last().text, mdiMain::limitOpenText());
        QVERIFY(!window->findChild<frmOpenDelete*>());
        QCOMPARE(panel("pnlLists")->text(), QStringLiteral("Lists: 41"));
    }

    void closingAllDocumentWindowsHidesBothPanels() {
        window->dispatch(QStringLiteral("id_FileNewList"));
        window->dispatch(QStringLiteral("id_FileNewList"));
        QVERIFY(panel("pnlLists")->isVisible());
        QCOMPARE(panel("pnlLists")->text(), QStringLiteral("Lists: 2"));
        QVERIFY(!panel("pnlMessages")->isVisible());
        // The two empty untitled lists ask to be saved: No.
        home->prompter.answer(Prompter::Answer::No);
        home->prompter.answer(Prompter::Answer::No);
        QVERIFY(window->dispatch(QStringLiteral("id_FileCloseAll")));
        settle();
        QCOMPARE(window->CountListAndMessageWindows(), 0);
        QVERIFY(!panel("pnlLists")->isVisible());
        QVERIFY(!panel("pnlMessages")->isVisible());
        QVERIFY(!window->action(QStringLiteral("id_FileSave"))->isEnabled());
    }

    void commandsFollowTheActiveWindow() {
        QVERIFY(!window->action(QStringLiteral("id_EditCopy"))->isEnabled());
        QVERIFY(!window->action(QStringLiteral("id_FileClose"))->isEnabled());
        QVERIFY(window->action(QStringLiteral("id_FileNewList"))->isEnabled());
        window->dispatch(QStringLiteral("id_FileNewList"));
        for (const char* id : {"id_EditCopy", "id_EditFind", "id_EditDeleteRecord", "id_FileSave",
                               "id_FileSaveAs", "id_FileClose", "id_FileCloseAll", "id_ToolsMergeLists",
                               "id_ToolsFilter", "id_ToolsExportList"})
            QVERIFY2(window->action(QString::fromLatin1(id))->isEnabled(), id);
        QVERIFY(!window->action(QStringLiteral("id_MessageToolsMessagePreview"))->isEnabled());
        // The side bar's shortcuts need no active window.
        auto* lists = window->listbar()->findChild<QListWidget*>(QStringLiteral("albGroup1"));
        QCOMPARE(lists->item(0)->text(), QStringLiteral("New list"));
        QVERIFY(lists->item(0)->flags() & Qt::ItemIsEnabled);
        QCOMPARE(lists->item(2)->text(), QStringLiteral("Manage lists"));
        QVERIFY(lists->item(2)->flags() & Qt::ItemIsEnabled);
    }

    void theWindowMenuHidesAndShowsLists() {
        window->dispatch(QStringLiteral("id_FileNewList"));
        QAction* hide = window->action(QStringLiteral("id_WindowHideLists"));
        QCOMPARE(hide->text(), QStringLiteral("Hide Lists"));
        window->dispatch(QStringLiteral("id_WindowHideLists"));
        QCOMPARE(hide->text(), QStringLiteral("Show Lists"));
        QVERIFY(window->mdiArea()->subWindowList().first()->isHidden());
        window->dispatch(QStringLiteral("id_WindowHideLists"));
        QCOMPARE(hide->text(), QStringLiteral("Hide Lists"));
        QVERIFY(!window->mdiArea()->subWindowList().first()->isHidden());
        QCOMPARE(window->action(QStringLiteral("id_WindowHideMessages"))->text(),
                 QStringLiteral("Hide Messages"));
        window->dispatch(QStringLiteral("id_WindowHideListbar"));
        QVERIFY(!window->action(QStringLiteral("id_WindowHideListbar"))->isVisible());
        QVERIFY(window->action(QStringLiteral("id_WindowShowListbar"))->isVisible());
    }

    void closingWritesPositionAndSettings() {
        window->resize(900, 650);
        appSettings().StartMaximized = 2;
        QVERIFY(window->close());
        const auto value = [](const char* section, const char* key) {
            return AppGetSetting(QString::fromLatin1(section), QString::fromLatin1(key), QStringLiteral("?"));
        };
        QCOMPARE(value("Defaults", "MainWinWidth"), QStringLiteral("900"));
        QCOMPARE(value("Defaults", "MainWinHeight"), QStringLiteral("650"));
        QCOMPARE(value("Defaults", "MainWinState"), QStringLiteral("0"));
        QCOMPARE(value("ApplicationDefaults", "StartMaximized"), QStringLiteral("2"));
        QCOMPARE(value("ApplicationDefaults", "GroupMailBlockSize"), QStringLiteral("10"));
        QCOMPARE(value("Listbar", "1Order"), QStringLiteral("0"));
        QCOMPARE(value("Listbar", "3Order"), QStringLiteral("2"));
        // The side bar comes back in its stored order.
        AppSaveSetting(QStringLiteral("Listbar"), QStringLiteral("1Order"), QStringLiteral("2"));
        AppSaveSetting(QStringLiteral("Listbar"), QStringLiteral("3Order"), QStringLiteral("0"));
        mdiMain again(home->prompter);
        QCOMPARE(again.listbarOrder(), (QStringList{"Tamberlyn", "Messages", "Lists"}));
    }

    void openAndDeleteDialogs() {
        registerList(QStringLiteral("Alpha"), home->prompter);
        registerList(QStringLiteral("Beta"), home->prompter);
        QVERIFY(window->dispatch(QStringLiteral("id_FileOpenList")));
        auto* open = window->findChild<frmOpenDelete*>(QStringLiteral("frmOpenDelete"));
        QVERIFY(open);
        QCOMPARE(open->findChild<QLabel*>(QStringLiteral("lblPrompt"))->text(),
                 QStringLiteral("Select a list or lists from the list to open:"));
        auto* items = open->findChild<QTreeWidget*>(QStringLiteral("lstItems"));
        QCOMPARE(items->topLevelItemCount(), 2);
        items->topLevelItem(1)->setSelected(true);
        open->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        QCOMPARE(window->activeList()->caption(), QStringLiteral("Beta"));
        settle();

        QVERIFY(window->dispatch(QStringLiteral("id_FileDeleteList")));
        auto* remove = window->findChild<frmOpenDelete*>(QStringLiteral("frmOpenDelete"));
        QVERIFY(remove);
        remove->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral("Please select a list or lists to delete."));
        remove->findChild<QTreeWidget*>(QStringLiteral("lstItems"))->topLevelItem(1)->setSelected(true);
        home->prompter.answer(Prompter::Answer::Yes);
        remove->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        QCOMPARE(home->prompter.shown().last().text, QStringLiteral("Delete the 1 list(s) ?"));
        QVERIFY(DataTank::GetListPath(QStringLiteral("Beta")).isEmpty());
        QVERIFY(!QFile::exists(appFolders().AddressListsFolder + QStringLiteral("Beta.mdb")));
        settle();
        // Its open window went with it.
        QCOMPARE(window->listWindows().size(), 0);
    }

    void aListWhoseFileIsMissingIsReported() {
        const QString path = registerList(QStringLiteral("Lost"), home->prompter);
        QFile::remove(path);
        QVERIFY(!window->ShowListFromName(QStringLiteral("Lost")));
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral("Cannot open the 'Lost' list.\nThe corresponding address file, '") + path +
                     QStringLiteral("', was not found."));
        QVERIFY(!window->ShowListFromName(QStringLiteral("Nobody")));
        QVERIFY(home->prompter.shown().last().text.startsWith(QStringLiteral("Could not locate ")));
        QCOMPARE(mdiMain::dataErrorText(14), QStringLiteral("datTamberlyn threw an Error event, number 14"));
    }

    void settingsDialogValidatesAndWrites() {
        QVERIFY(window->dispatch(QStringLiteral("ID_Options")));
        auto* dialog = window->findChild<frmConfiguration*>(QStringLiteral("frmConfiguration"));
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Tamberlyn Options"));
        auto* wrap = dialog->findChild<QLineEdit*>(QStringLiteral("txtWordWrap"));
        auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"));
        wrap->setText(QStringLiteral("-5"));
        ok->click();
        QCOMPARE(home->prompter.shown().last().text, frmConfiguration::negativeText());
        QVERIFY(dialog->isVisible());
        wrap->setText(QStringLiteral("abc"));
        ok->click();
        QCOMPARE(home->prompter.shown().last().text, frmConfiguration::notANumberText());
        // Letters typed into the box are discarded; digits go in.
        wrap->clear();
        QTest::keyClicks(wrap, QStringLiteral("7x2"));
        QCOMPARE(wrap->text(), QStringLiteral("72"));
        wrap->setText(QStringLiteral("5000"));
        QCOMPARE(wrap->text(), QString::number(frmConfiguration::WordWrapMaximum));
        wrap->setText(QStringLiteral("0"));

        dialog->findChild<QLineEdit*>(QStringLiteral("SmtpPort"))->clear();
        dialog->findChild<QLineEdit*>(QStringLiteral("SmtpServer"))
            ->setText(QStringLiteral("  smtp.example.test "));
        dialog->findChild<QRadioButton*>(QStringLiteral("optTextOnly_0"))->setChecked(true);
        auto* domain = dialog->findChild<QLineEdit*>(QStringLiteral("txtDomain"));
        domain->setText(QStringLiteral("aol.com"));
        dialog->addDomain();
        dialog->addDomain();
        domain->setText(QStringLiteral("example.org"));
        dialog->addDomain();
        QCOMPARE(dialog->findChild<QListWidget*>(QStringLiteral("lstDomains"))->count(), 2);
        dialog->findChild<QLineEdit*>(QStringLiteral("txtSMTPUserName"))->setText(QStringLiteral("me"));
        ok->click();
        QVERIFY(!dialog->isVisible());
        const auto value = [](const char* key) {
            return AppGetSetting(QStringLiteral("ApplicationDefaults"), QString::fromLatin1(key),
                                 QStringLiteral("?"));
        };
        QCOMPARE(value("SMTPPort"), QStringLiteral("25"));
        QCOMPARE(value("MailServer"), QStringLiteral("smtp.example.test"));
        QCOMPARE(value("WordWrapSize"), QStringLiteral("0"));
        QCOMPARE(value("DomainsToCheck"), QStringLiteral("aol.com;example.org"));
        QCOMPARE(value("CheckIfDomainWantsTextOnly"), QStringLiteral("True"));
        QCOMPARE(value("BracketOnFrom"), QStringLiteral("True"));
        QCOMPARE(value("StartTBCentral"), QStringLiteral("1"));
        QCOMPARE(value("SMTPUserName"), QStringLiteral("me"));
        QCOMPARE(appSettings().SMTPPort, 25);
        QCOMPARE(appSettings().WordWrapSize, 0);
    }

    void domainsLoadWithoutEmptyPieces() {
        appSettings().DomainsToCheck = QStringLiteral(";;aol.com;");
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("DomainsToCheck"),
                       QStringLiteral("x"));
        frmConfiguration dialog(home->prompter);
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("lstDomains"));
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("aol.com"));
        dialog.findChild<QRadioButton*>(QStringLiteral("optTextOnly_1"))->setChecked(true);
        QVERIFY(!list->isEnabled());
        list->setCurrentRow(0);
        dialog.removeDomain();
        QVERIFY(dialog.save());
        QCOMPARE(app().ini.GetValue(QStringLiteral("ApplicationDefaults"), QStringLiteral("DomainsToCheck")),
                 QString());
        QCOMPARE(appSettings().DomainsToCheck, QString());
    }

    // The password goes to the keyring and never to the settings file; without a keyring the dialog
    // refuses it and keeps nothing.
    void thePasswordGoesToTheKeyringOrIsRefused() {
        const auto tryPassword = [&](const QString& password) {
            frmConfiguration dialog(home->prompter);
            dialog.findChild<QLineEdit*>(QStringLiteral("txtSMTPUserName"))->setText(QStringLiteral("me"));
            dialog.findChild<QLineEdit*>(QStringLiteral("txtSMTPPassword"))->setText(password);
            return dialog.save();
        };
        SecretStore::setEnabled(false);
        QVERIFY(!tryPassword(QStringLiteral("s3cret")));
        QCOMPARE(home->prompter.shown().last().text, SecretStore::unavailableText());
        QVERIFY(!readFileBytes(appFolders().settingsFile()).contains("s3cret"));

        if (!qEnvironmentVariableIsSet("TAMBERLYN_KEYRING_SESSION"))
            QSKIP("needs the keyring session of tests/support/with-keyring.sh");
        SecretStore::setEnabled(true);
        QVERIFY(tryPassword(QStringLiteral("s3cret")));
        QCOMPARE(SecretStore::lookupPassword(appSettings().MailServer, QStringLiteral("me")),
                 QStringLiteral("s3cret"));
        QVERIFY(!readFileBytes(appFolders().settingsFile()).contains("s3cret"));
        QVERIFY(SecretStore::clearPassword(appSettings().MailServer, QStringLiteral("me")));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
