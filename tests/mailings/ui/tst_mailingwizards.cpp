#include "../../messages/ListFixtures.h"
#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ui/frmOpenDelete.h"
#include "db/DataTank.h"
#include "lists/ui/ListWindows.h"
#include "lists/ui/frmSQLQuery.h"
#include "mailings/MailEvent.h"
#include "mailings/Mailings.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "mailings/ui/DeliveryOptionsWindows.h"
#include "mailings/ui/MailingWizardWindows.h"
#include "mailings/ui/frmTBProfileWiz.h"
#include "mailings/ui/frmTBWalkWiz.h"
#include "messages/MessageStore.h"
#include "messages/ui/MessageWindows.h"
#include "messages/ui/frmMessageEdit.h"
#include "support/DesktopTest.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

namespace {

// The settings section of the user's last choices.
QString defaultsSection() {
    return QStringLiteral("ApplicationDefaults");
}

// "name=text" fills a box or chooses a drop-down item (nothing when empty); "name:1" checks a button.
void apply(QWidget* wizard, const QStringList& edits) {
    for (const QString& edit : edits) {
        if (const qsizetype at = edit.indexOf(u'='); at > 0) {
            const QString name = edit.left(at), value = edit.mid(at + 1);
            if (auto* box = wizard->findChild<QComboBox*>(name))
                box->setCurrentIndex(box->findText(value));
            else
                child<QLineEdit>(wizard, name)->setText(value);
        } else {
            child<QAbstractButton>(wizard, edit.section(u':', 0, 0))->setChecked(edit.endsWith(u'1'));
        }
    }
}

template <typename W> W* visibleWizard(QWidget* frame) {
    for (W* wizard : frame->findChildren<W*>())
        if (wizard->isVisible())
            return wizard;
    return nullptr;
}

const QString invalidFrom = QStringLiteral(
    "The 'From' address is invalid.  Please re-enter using a valid email address format.  \nFor example: "
    "yourname@yourcompany.com");

} // namespace

class TestMailingWizards : public QObject, public DesktopTest {
    Q_OBJECT

    QString listFile_;

    // A registered list "Customers" of two rows and a saved message "Spring Sale".
    void addListAndMessage() {
        const QString temp = home->file(QStringLiteral("temp/fixture.mdb"));
        QVERIFY(ListFixtures::writeList(temp,
                                        {{{QStringLiteral("EAddress"), QStringLiteral("a@example.test")}},
                                         {{QStringLiteral("EAddress"), QStringLiteral("b@example.test")}}}));
        QVERIFY(DataTank::SaveListAs(temp, QStringLiteral("Customers"), QString(), false, home->prompter));
        listFile_ = DataTank::registeredPath(DataTank::GetListPath(QStringLiteral("Customers")));
        const MessageStore::NewMessage created = MessageStore::CreateNewMessage();
        QVERIFY(!created.name.isEmpty());
        QVERIFY(MessageStore::RenameMessage(created.name, QStringLiteral("Spring Sale"), QString(), true,
                                            home->prompter));
    }
    static void storeSet(const QString& name) {
        MailEvent set;
        QVERIFY(set.GetMEPFromDB(QStringLiteral("Default Delivery Options")));
        set.MailEventName = name;
        QVERIFY(set.storeMEP());
    }
    frmTBProfileWiz* newProfileWizard() {
        DeliveryOptionsWindows::NewTBProfile(*window);
        return visibleWizard<frmTBProfileWiz>(window.get());
    }
    frmTBWalkWiz* walkWizard() {
        window->dispatch(QStringLiteral("id_TBWiz"));
        return visibleWizard<frmTBWalkWiz>(window.get());
    }
    void next(frmWizard* wizard) { child<QPushButton>(wizard, QStringLiteral("cmdWizard_1"))->click(); }
    void closeWizards() {
        for (frmWizard* wizard : window->findChildren<frmWizard*>()) {
            home->prompter.answerAlways(qobject_cast<frmTBWalkWiz*>(wizard) ? frmTBWalkWiz::exitText()
                                                                            : frmWizard::exitQuestionText(),
                                        Prompter::Answer::Yes);
            wizard->close();
        }
    }

private Q_SLOTS:
    void init() { QVERIFY(openDesktop()); }
    void cleanup() {
        closeWizards();
        closeDesktop();
    }

    // Leaving a step with a fault says so and keeps the step.
    void eachPageCheckKeepsItsStep_data() {
        QTest::addColumn<bool>("walk");
        QTest::addColumn<int>("step");
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString app = AppTitle();
        QTest::newRow("options 2: no name") << false << 2 << QStringList{QStringLiteral("txtTBProfile=")}
                                            << app << frmTBProfileWiz::emptyNameText();
        QTest::newRow("options 2: not a file name")
            << false << 2 << QStringList{QStringLiteral("txtTBProfile=Big|Small")} << app
            << frmTBProfileWiz::invalidNameText();
        QTest::newRow("options 3: no sender")
            << false << 3 << QStringList{QStringLiteral("txtFromField=")} << app
            << QStringLiteral("The 'From' address is required. Please enter a valid "
                              "email address.");
        QTest::newRow("options 3: bad sender")
            << false << 3 << QStringList{QStringLiteral("txtFromField=nobody")}
            << QStringLiteral("Invalid 'From' Address") << invalidFrom;
        QTest::newRow("options 3: bad reply")
            << false << 3
            << QStringList{QStringLiteral("txtFromField=me@example.test"), QStringLiteral("txtReplyTo=me@")}
            << QStringLiteral("Invalid 'Reply To' Address")
            << QString(invalidFrom).replace(QStringLiteral("'From'"), QStringLiteral("'Reply To'"));
        QTest::newRow("options 3: bad errors")
            << false << 3
            << QStringList{QStringLiteral("txtFromField=me@example.test"), QStringLiteral("txtReplyTo="),
                           QStringLiteral("txtErrorsTo=@x")}
            << QStringLiteral("Invalid 'Errors To' Address")
            << QString(invalidFrom).replace(QStringLiteral("'From'"), QStringLiteral("'Errors To'"));
        const QString first = QStringLiteral("Please enter a number for 'Send to the First' addresses.");
        QTest::newRow("options 5: letters")
            << false << 5
            << QStringList{QStringLiteral("optBlockSendToN:1"), QStringLiteral("txtBlockSendNumber=ten")}
            << app << first;
        QTest::newRow("options 5: none")
            << false << 5
            << QStringList{QStringLiteral("optBlockSendToN:1"), QStringLiteral("txtBlockSendNumber=0")} << app
            << first;
        QTest::newRow("options 6: block size")
            << false << 6
            << QStringList{QStringLiteral("chkSSTimedBlocks:1"), QStringLiteral("txtTimedBlockSize=0")} << app
            << QStringLiteral("Please enter a number for 'Send in Blocks'.");
        QTest::newRow("options 6: minutes")
            << false << 6
            << QStringList{QStringLiteral("chkSSTimedBlocks:1"), QStringLiteral("txtTimedBlockSize=50"),
                           QStringLiteral("txtTimeIncr=1.5")}
            << app << QStringLiteral("Please enter a number for 'Wait __ Minutes'.");
        QTest::newRow("options 6: delay too long")
            << false << 6
            << QStringList{QStringLiteral("chkSSInsertDelay:1"), QStringLiteral("txtMsgDelay=656")} << app
            << QStringLiteral("Please enter a number for 'Insert a Delay'.");
        QTest::newRow("mailing 2: nothing")
            << true << 2 << QStringList{} << app
            << QStringLiteral("Please select a Tamberlyn or create a new Tamberlyn");
        QTest::newRow("mailing 2: no new name")
            << true << 2 << QStringList{QStringLiteral("optSSNewTB:1")} << app
            << QStringLiteral("Please supply a Tamberlyn name or select an existing Tamberlyn");
        QTest::newRow("mailing 3: no list")
            << true << 3 << QStringList{QStringLiteral("optSSSelectList:1"), QStringLiteral("cmbAddrList=")}
            << app << QStringLiteral("Please select an Address List.");
        QTest::newRow("mailing 4: no new list")
            << true << 4 << QStringList{QStringLiteral("optSSNewList:1")} << app
            << QStringLiteral("Please create or specify a mailing list for this Tamberlyn");
        QTest::newRow("mailing 6: no message")
            << true << 6
            << QStringList{QStringLiteral("optSSExistingMsg:1"), QStringLiteral("cmbMessageName=")} << app
            << QStringLiteral("Please select a message.");
        QTest::newRow("mailing 6: no new message")
            << true << 6 << QStringList{QStringLiteral("optSSNewMsg:1")} << app
            << QStringLiteral("Please select or create and name a new message");
        QTest::newRow("mailing 8: no options")
            << true << 8 << QStringList{QStringLiteral("cmbMailOptions=")} << app
            << QStringLiteral("Please select or create a mailing options set");
        QTest::newRow("mailing 8: no list") << true << 8 << QStringList{QStringLiteral("cmbAddrList=")} << app
                                            << QStringLiteral("Please select a mailing list");
    }
    void eachPageCheckKeepsItsStep() {
        QFETCH(bool, walk);
        QFETCH(int, step);
        QFETCH(QStringList, edits);
        QFETCH(QString, title);
        QFETCH(QString, text);
        addListAndMessage();
        frmWizard* wizard = nullptr;
        if (walk) {
            frmTBWalkWiz* mailing = walkWizard();
            QVERIFY(mailing);
            mailing->GoToPage(step);
            wizard = mailing;
        } else {
            frmTBProfileWiz* options = newProfileWizard();
            QVERIFY(options);
            options->GoToPage(step);
            wizard = options;
        }
        apply(wizard, edits);
        next(wizard);
        QVERIFY(!home->prompter.shown().isEmpty());
        QCOMPARE(home->prompter.shown().last().text, text);
        QCOMPARE(home->prompter.shown().last().title, title);
        QCOMPARE(wizard->currentPage(), step - 1);
        QVERIFY(wizard->windowTitle().endsWith(
            QStringLiteral(" - Step %1 of %2").arg(step).arg(wizard->pageCount())));
    }

    // Every other set of that name is asked about, one named "New ..." as well; the set being edited is not.
    void anExistingNameAsksBeforeOverwriting() {
        const QString newStyle = QStringLiteral("New  Dec-01-2026 10.00.00");
        storeSet(newStyle);
        storeSet(QStringLiteral("Weekly"));
        const QString question = QStringLiteral("That Delivery Options name is being used. Overwrite?");

        frmTBProfileWiz* wizard = newProfileWizard();
        QVERIFY(
            wizard->windowTitle().startsWith(frmTBProfileWiz::newTitle() + QStringLiteral(" - Step 1 of 7")));
        QVERIFY(child<QLineEdit>(wizard, QStringLiteral("txtTBProfile"))
                    ->text()
                    .contains(QRegularExpression(
                        QStringLiteral("^New  [A-Z][a-z]{2}-\\d\\d-\\d{4} \\d\\d\\.\\d\\d\\.\\d\\d$"))));
        for (const QString& name : {newStyle, QStringLiteral("Weekly")}) {
            wizard->GoToPage(2);
            apply(wizard, {QStringLiteral("txtTBProfile=") + name});
            home->prompter.answer(Prompter::Answer::No);
            next(wizard);
            QCOMPARE(home->prompter.shown().last().text, question);
            QCOMPARE(wizard->currentPage(), 1);
            home->prompter.answer(Prompter::Answer::Yes);
            next(wizard);
            QCOMPARE(wizard->currentPage(), 2);
        }
        const qsizetype asked = home->prompter.shown().size();
        wizard->ForceUnload();

        QVERIFY(DeliveryOptionsWindows::OpenTBProfile(*window, QStringLiteral("Weekly"), 2));
        wizard = visibleWizard<frmTBProfileWiz>(window.get());
        QVERIFY(wizard->windowTitle().startsWith(frmTBProfileWiz::modifyTitle()));
        next(wizard);
        QCOMPARE(wizard->currentPage(), 2);
        QCOMPARE(home->prompter.shown().size(), asked);
    }

    // The send-again warning's button opens the set at the step of its sent mark.
    void openingAtStepFiveShowsTheSentMark() {
        QDialog warning(window.get());
        warning.open();
        QVERIFY(
            DeliveryOptionsWindows::OpenTBProfile(*window, QStringLiteral("Default Delivery Options"), 5));
        frmTBProfileWiz* wizard = visibleWizard<frmTBProfileWiz>(window.get());
        QVERIFY(wizard);
        // On the modal window that opened it, which would otherwise block it.
        QCOMPARE(wizard->parentWidget(), &warning);
        QCOMPARE(wizard->windowTitle(), frmTBProfileWiz::modifyTitle() + QStringLiteral(" - Step 5 of 7"));
        QVERIFY(child<QWidget>(wizard, QStringLiteral("chkFlagSends"))->isVisible());
        QCOMPARE(child<QLineEdit>(wizard, QStringLiteral("txtSentFlag"))->text(), QStringLiteral("SENT"));
        QVERIFY(child<QWidget>(wizard, QStringLiteral("txtSentFlag"))->isVisible());
        wizard->GoToPage(1);
        QCOMPARE(child<QLabel>(wizard, QStringLiteral("lblCurrentProfile"))->text(),
                 QStringLiteral("Current Profile Name: Default Delivery Options"));
        // Closing otherwise than by Finish asks first; No keeps the wizard.
        home->prompter.answer(Prompter::Answer::No);
        child<QPushButton>(wizard, QStringLiteral("cmdWizard_3"))->click();
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral("Are you sure you wish to exit?  Any changes you made in the wizard will be "
                                "lost\nUse the finish button to save modifications."));
        QVERIFY(wizard->isVisible());
    }

    void aMissingSetIsSaidAndNoWizardStays() {
        QVERIFY(!DeliveryOptionsWindows::OpenTBProfile(*window, QStringLiteral("Gone"), 5));
        QCOMPARE(home->prompter.shown().last().title, frmTBProfileWiz::missingSetTitle());
        QCOMPARE(
            home->prompter.shown().last().text,
            QStringLiteral("The Mail Delivery Options named Gone is no longer available or is damaged. You "
                           "can either re-create it, or delete the reference to it and try another."));
        QVERIFY(!visibleWizard<frmTBProfileWiz>(window.get()));
    }

    void finishStoresTheSetAndRemembersIt() {
        frmTBProfileWiz* wizard = newProfileWizard();
        apply(wizard,
              {QStringLiteral("txtTBProfile=Weekly \"news\""), QStringLiteral("txtMEDescription=it's ours"),
               QStringLiteral("txtFromField=me@example.test"), QStringLiteral("txtReplyTo="),
               QStringLiteral("optSendFiltered:1"), QStringLiteral("optBlockSendToN:1"),
               QStringLiteral("txtBlockSendNumber=250"), QStringLiteral("txtSentFlag=WK"),
               QStringLiteral("chkSSTimedBlocks:1"), QStringLiteral("txtTimedBlockSize=40"),
               QStringLiteral("txtTimeIncr=2"), QStringLiteral("chkSSInsertDelay:1"),
               QStringLiteral("txtMsgDelay=3"), QStringLiteral("txtSMTPServer=smtp.example.test")});
        child<QSpinBox>(wizard, QStringLiteral("spnConnections"))->setValue(4);
        child<QSpinBox>(wizard, QStringLiteral("spnMaxPerHour"))->setValue(500);
        child<QSpinBox>(wizard, QStringLiteral("spnMaxPerDay"))->setValue(2000);
        // A double quote cannot stand in a name; the name step says so first.
        child<QPushButton>(wizard, QStringLiteral("cmdWizard_2"))->click();
        QCOMPARE(home->prompter.shown().last().text, frmTBProfileWiz::invalidNameText());
        QCOMPARE(wizard->currentPage(), 1);
        apply(wizard, {QStringLiteral("txtTBProfile=Weekly")});
        child<QPlainTextEdit>(wizard, QStringLiteral("txtSQLFilter"))
            ->setPlainText(QStringLiteral("WHERE (([AddressList].[FirstName] Like  \"A*\"))"));
        child<QPushButton>(wizard, QStringLiteral("cmdWizard_2"))->click();
        QVERIFY(!wizard->isVisible());

        MailEvent stored;
        QVERIFY(stored.GetMEPFromDB(QStringLiteral("Weekly")));
        QCOMPARE(stored.Description, QStringLiteral("it's ours"));
        QCOMPARE(stored.From, QStringLiteral("me@example.test"));
        QVERIFY(stored.bSendFiltered);
        QCOMPARE(stored.SQLFilterText, QStringLiteral("WHERE (([AddressList].[FirstName] Like  \"A*\"))"));
        QVERIFY(stored.bSendInBlocks);
        QCOMPARE(stored.SendBlockSize, 250);
        QCOMPARE(stored.SentFlag, QStringLiteral("WK"));
        QVERIFY(stored.bTimedBlocks);
        QCOMPARE(stored.TimedBlockSize, 40);
        QCOMPARE(stored.TimeIncrement, qint16(2));
        QCOMPARE(stored.TimeDelay, 3);
        QCOMPARE(stored.SmtpServer, QStringLiteral("smtp.example.test"));
        QCOMPARE(stored.Connections, 4);
        QCOMPARE(stored.MaxPerHour, 500);
        QCOMPARE(stored.MaxPerDay, 2000);
        QCOMPARE(AppGetSetting(defaultsSection(), QStringLiteral("MailEventProfile"), QString()),
                 QStringLiteral("Weekly"));
    }

    void theFilterButtonNeedsAnExistingList() {
        addListAndMessage();
        frmTBProfileWiz* wizard = newProfileWizard();
        wizard->GoToPage(4);
        apply(wizard, {QStringLiteral("optSendFiltered:1"), QStringLiteral("cmbFilterList=")});
        auto* button = child<QPushButton>(wizard, QStringLiteral("cmdSSApplyFilter"));
        button->click();
        QCOMPARE(home->prompter.shown().last().text, QStringLiteral("You must select a list first"));
        apply(wizard, {QStringLiteral("cmbFilterList=Customers")});
        button->click();
        auto* query = visibleWizard<frmSQLQuery>(wizard);
        QVERIFY(query);
        child<QComboBox>(query, QStringLiteral("lstField1_0"))->setCurrentText(QStringLiteral("EAddress"));
        query->accept();
        QVERIFY(child<QPlainTextEdit>(wizard, QStringLiteral("txtSQLFilter"))
                    ->toPlainText()
                    .startsWith(QStringLiteral("WHERE (([AddressList].[EAddress]")));
        QVERIFY(QFile::remove(listFile_));
        button->click();
        QCOMPARE(home->prompter.shown().last().text, QStringLiteral("List file not found"));
    }

    void theMailingWizardPreparesTheMailing() {
        addListAndMessage();
        frmTBWalkWiz* wizard = walkWizard();
        QCOMPARE(wizard->windowTitle(), QStringLiteral("Tamberlyn Wizard - Step 1 of 9"));
        next(wizard);
        apply(wizard, {QStringLiteral("optSSNewTB:1"), QStringLiteral("txtTBNewName=Spring"),
                       QStringLiteral("txtTBDescription=the spring sale")});
        next(wizard);
        QCOMPARE(AppGetSetting(defaultsSection(), QStringLiteral("CurTamberlyn"), QString()),
                 QStringLiteral("Spring"));
        apply(wizard, {QStringLiteral("cmbAddrList=Customers")});
        for (int step = 3; step < 8; ++step)
            next(wizard);
        apply(wizard, {QStringLiteral("cmbMessageName=Spring Sale")});
        QCOMPARE(wizard->currentPage(), int(frmTBWalkWiz::MessagePage));
        next(wizard);
        next(wizard);
        QCOMPARE(wizard->windowTitle(), QStringLiteral("Tamberlyn Wizard - Step 8 of 9"));
        QCOMPARE(wizard->optionsName(), QStringLiteral("Default Delivery Options"));
        QVERIFY(child<QLabel>(wizard, QStringLiteral("lblUsingDefault"))->isVisible());
        QCOMPARE(child<QLabel>(wizard, QStringLiteral("lblUsingDefault"))->text(),
                 QStringLiteral("Using Default Delivery Options"));
        next(wizard);
        QVERIFY(child<QAbstractButton>(wizard, QStringLiteral("optSSCreateMailing"))->isChecked());
        child<QPushButton>(wizard, QStringLiteral("cmdWizard_2"))->click();
        QVERIFY(!wizard->isVisible());

        const QList<Mailing> mailings = Mailings::all();
        QCOMPARE(mailings.size(), 1);
        QCOMPARE(mailings[0].TamberlynName, QStringLiteral("Spring"));
        QCOMPARE(mailings[0].ListName, QStringLiteral("Customers"));
        QCOMPARE(mailings[0].MessageName, QStringLiteral("Spring Sale"));
        QCOMPARE(mailings[0].Profile, QStringLiteral("Default Delivery Options"));
        QCOMPARE(AppGetSetting(defaultsSection(), QStringLiteral("CurMessage"), QString()),
                 QStringLiteral("Spring Sale"));
    }

    // Cancel keeps the group made on leaving step 2 and prepares nothing.
    void cancelKeepsTheNewGroup() {
        frmTBWalkWiz* wizard = walkWizard();
        wizard->GoToPage(2);
        apply(wizard, {QStringLiteral("optSSNewTB:1"), QStringLiteral("txtTBNewName=Autumn")});
        next(wizard);
        home->prompter.answer(Prompter::Answer::Yes);
        child<QPushButton>(wizard, QStringLiteral("cmdWizard_3"))->click();
        QCOMPARE(home->prompter.shown().last().text, frmTBWalkWiz::exitText());
        QVERIFY(!wizard->isVisible());
        QCOMPARE(mdlTamberlynGroupOptions::Groups().size(), 1);
        QCOMPARE(mdlTamberlynGroupOptions::Groups()[0].TamberlynName, QStringLiteral("Autumn"));
        QVERIFY(Mailings::all().isEmpty());
    }

    // A new list: the wizard steps aside for the list window and comes back with the list once it is saved.
    void aNewListBringsTheWizardBack() {
        frmTBWalkWiz* wizard = walkWizard();
        wizard->GoToPage(3);
        apply(wizard, {QStringLiteral("optSSNewList:1")});
        next(wizard);
        child<QPushButton>(wizard, QStringLiteral("cmdSSNewList"))->click();
        QVERIFY(!wizard->isVisible());
        QVERIFY(wizard->isWaiting());
        frmList* list = window->activeList();
        QVERIFY(list);
        QVERIFY(
            DataTank::SaveListAs(list->path(), QStringLiteral("Fresh"), QString(), false, home->prompter));
        QVERIFY(wizard->isVisible());
        QCOMPARE(wizard->listName(), QStringLiteral("Fresh"));
        QCOMPARE(wizard->currentPage(), int(frmTBWalkWiz::NewListPage));
        next(wizard);
        QCOMPARE(wizard->currentPage(), int(frmTBWalkWiz::MessageIntroPage));
    }

    // A new message likewise: the wizard comes back once the message is saved under a name.
    void aNewMessageBringsTheWizardBack() {
        frmTBWalkWiz* wizard = walkWizard();
        wizard->GoToPage(6);
        apply(wizard, {QStringLiteral("optSSNewMsg:1")});
        child<QPushButton>(wizard, QStringLiteral("cmdSSNewMessage"))->click();
        QVERIFY(!wizard->isVisible());
        frmMessageEdit* editor = window->messages().activeMessage();
        QVERIFY(editor);
        QVERIFY(MessageStore::RenameMessage(editor->messageName(), QStringLiteral("Fresh letter"), QString(),
                                            true, home->prompter));
        QVERIFY(wizard->isVisible());
        QCOMPARE(wizard->messageName(), QStringLiteral("Fresh letter"));
        next(wizard);
        QCOMPARE(wizard->currentPage(), int(frmTBWalkWiz::OptionsIntroPage));
    }

    void theOpenAndDeleteDialogsActOnTheChosenSet() {
        storeSet(QStringLiteral("Weekly"));
        frmOpenDelete* open = window->mailingWizards().openProfilesDialog();
        child<QTreeWidget>(open, QStringLiteral("lstItems"))
            ->findItems(QStringLiteral("Weekly"), Qt::MatchExactly)
            .first()
            ->setSelected(true);
        open->accept();
        frmTBProfileWiz* opened = visibleWizard<frmTBProfileWiz>(window.get());
        QVERIFY(opened);
        QCOMPARE(opened->profileName(), QStringLiteral("Weekly"));
        opened->ForceUnload();

        frmOpenDelete* dialog = window->mailingWizards().deleteProfilesDialog();
        auto* items = child<QTreeWidget>(dialog, QStringLiteral("lstItems"));
        const QList<QTreeWidgetItem*> found = items->findItems(QStringLiteral("Weekly"), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        found[0]->setSelected(true);
        home->prompter.answer(Prompter::Answer::Yes);
        dialog->accept();
        MailEvent gone;
        QVERIFY(!gone.GetMEPFromDB(QStringLiteral("Weekly")));
        QVERIFY(gone.GetMEPFromDB(QStringLiteral("Default Delivery Options")));
    }
};

QTEST_MAIN(TestMailingWizards)
#include "tst_mailingwizards.moc"
