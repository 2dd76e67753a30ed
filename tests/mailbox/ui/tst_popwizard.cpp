#include "../MailboxFixture.h"
#include "core/AppSettings.h"
#include "core/ui/frmStatus.h"
#include "lists/ListTableModel.h"
#include "mailbox/PopAccounts.h"
#include "mailbox/SearchCategories.h"
#include "mailbox/ui/MailboxWindows.h"
#include "mailbox/ui/frmPOPConfirmation.h"
#include "mailbox/ui/frmPOPWizard.h"
#include "support/DesktopTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTreeWidget>

using namespace MailboxFixture;

namespace {

void click(QWidget* parent, const QString& name) {
    child<QAbstractButton>(parent, name)->click();
}

void type(QWidget* parent, const QString& name, const QString& text) {
    auto* edit = child<QLineEdit>(parent, name);
    edit->clear();
    QTest::keyClicks(edit, text);
}

} // namespace

class TestPopWizard : public QObject, public DesktopTest {
    Q_OBJECT

    Servers servers_ = MailboxFixture::servers();
    QPointer<frmPOPWizard> wizard_;

    frmPOPWizard* openWizard(const char* command) {
        if (!window->dispatch(QString::fromLatin1(command)))
            return nullptr;
        wizard_ = nullptr;
        for (frmPOPWizard* wizard : window->findChildren<frmPOPWizard*>())
            if (wizard->isVisible())
                wizard_ = wizard;
        if (wizard_)
            wizard_->run().setSocketFactory(trustingSockets(servers_.cert));
        return wizard_;
    }
    // A new account on the box, added through the account page.
    void addAccount(int box, const QString& password = QStringLiteral("testpw")) {
        type(wizard_, QStringLiteral("txtPOPHostName"), QStringLiteral("127.0.0.1:%1").arg(servers_.popPort));
        type(wizard_, QStringLiteral("txtUserName"), boxAddress(box));
        type(wizard_, QStringLiteral("txtPassword"), password);
        home->prompter.answerText(QStringLiteral("Box%1").arg(box));
        click(wizard_, QStringLiteral("cmdAdd"));
        QCOMPARE(child<QComboBox>(wizard_, QStringLiteral("ddAccountName"))->currentText(),
                 QStringLiteral("Box%1").arg(box));
    }
    void usePhrases(const QStringList& checked, const QStringList& unchecked) {
        for (const QString& phrase : checked + unchecked) {
            SearchCategories::addPhrase(SearchCategories::defaultsName(), phrase);
            SearchCategories::setChecked(SearchCategories::defaultsName(), phrase, checked.contains(phrase));
        }
    }
    void seed(int box, const QList<QPair<QString, QByteArray>>& mails) {
        clearBox(servers_, box);
        for (const auto& [from, text] : mails)
            QVERIFY(sendMail(servers_.smtpPort, from, boxAddress(box), text));
        QVERIFY2(waitForFiles(servers_, box, int(mails.size())), "the seeded mail was not delivered");
    }
    // Starts the run and waits for it; answers the confirmation with go when one comes.
    PopWizardRun::Outcome runToEnd(bool go, QString* confirmationTitle = nullptr, QString* count = nullptr) {
        QSignalSpy finished(&wizard_->run(), &PopWizardRun::finished);
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            frmPOPConfirmation* confirmation = wizard_->confirmation();
            if (!confirmation || !confirmation->isVisible())
                return;
            if (confirmationTitle)
                *confirmationTitle = confirmation->windowTitle();
            if (count)
                *count = child<QLabel>(confirmation, QStringLiteral("lblCount"))->text() + u'|' +
                         child<QLabel>(confirmation, QStringLiteral("lblNotDeleted"))->text();
            click(confirmation, go ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"));
        });
        poll.start(5);
        click(wizard_, QStringLiteral("cmdBuild"));
        if (!finished.wait(60000))
            return PopWizardRun::Outcome::Failed;
        return finished.first().first().value<PopWizardRun::Outcome>();
    }

private Q_SLOTS:
    void init() { QVERIFY(openDesktop()); }
    void cleanup() {
        if (wizard_ && wizard_->isVisible()) {
            home->prompter.answer(Prompter::Answer::Yes);
            wizard_->close();
        }
        closeDesktop();
    }

    void anUnknownFormatIsRefused() {
        window->mailbox().LoadPOPWizard(QStringLiteral("Mail Sorter"));
        QVERIFY(!window->findChild<frmPOPWizard*>());
        QCOMPARE(home->prompter.texts(), QStringList{PopWizardRun::unknownFormatText()});
    }

    void accountsAreAddedCheckedChangedAndRemoved() {
        QVERIFY(openWizard("id_ToolsImportMailbox"));
        auto* accounts = child<QComboBox>(wizard_, QStringLiteral("ddAccountName"));
        QCOMPARE(accounts->currentText(), frmPOPWizard::newAccountEntry());
        QVERIFY(!wizard_->goNext()); // no host
        QVERIFY(home->prompter.texts().last().startsWith(QStringLiteral("You need to give a POP host name")));
        addAccount(60);
        QCOMPARE(child(wizard_, QStringLiteral("cmdAdd"))->text(), QStringLiteral("Update this Account"));
        QVERIFY(!child<QCheckBox>(wizard_, QStringLiteral("chkRememberPassword"))->isChecked() ||
                PopAccounts::find(QStringLiteral("Box60")));

        // The same name again is refused; the first account stays as it was.
        accounts->setCurrentIndex(accounts->findText(frmPOPWizard::newAccountEntry()));
        type(wizard_, QStringLiteral("txtPOPHostName"), QStringLiteral("other.host"));
        type(wizard_, QStringLiteral("txtUserName"), QStringLiteral("someone"));
        home->prompter.answerText(QStringLiteral("Box60"));
        click(wizard_, QStringLiteral("cmdAdd"));
        QCOMPARE(home->prompter.texts().last(),
                 QStringLiteral("This account already exists, please choose another name."));
        QCOMPARE(PopAccounts::find(QStringLiteral("Box60"))->UserName, boxAddress(60));

        // A changed account: No keeps the row, Yes writes it, Cancel stays.
        accounts->setCurrentIndex(accounts->findText(QStringLiteral("Box60")));
        type(wizard_, QStringLiteral("txtUserName"), QStringLiteral("changed"));
        home->prompter.answer(Prompter::Answer::Cancel);
        QVERIFY(!wizard_->goNext());
        QCOMPARE(wizard_->currentPage(), int(frmPOPWizard::AccountPage));
        home->prompter.answer(Prompter::Answer::No);
        accounts->setCurrentIndex(accounts->findText(frmPOPWizard::newAccountEntry()));
        QCOMPARE(PopAccounts::find(QStringLiteral("Box60"))->UserName, boxAddress(60));
        accounts->setCurrentIndex(accounts->findText(QStringLiteral("Box60")));
        child<QCheckBox>(wizard_, QStringLiteral("chkRememberPassword"))->toggle();
        type(wizard_, QStringLiteral("txtUserName"), QStringLiteral("changed"));
        home->prompter.answer(Prompter::Answer::Yes);
        QVERIFY(wizard_->goNext());
        QCOMPARE(PopAccounts::find(QStringLiteral("Box60"))->UserName, QStringLiteral("changed"));
        const QStringList asked = home->prompter.texts().filter(QStringLiteral("Do you want to save"));
        QCOMPARE(asked, QStringList(3, frmPOPWizard::saveChangesText(QStringLiteral("Box60"))));

        wizard_->goBack();
        home->prompter.answer(Prompter::Answer::Yes);
        click(wizard_, QStringLiteral("cmdRemove"));
        QVERIFY(!PopAccounts::find(QStringLiteral("Box60")));
        QCOMPARE(accounts->count(), 1);
    }

    // Closing with a changed account asks first: Cancel stays open, No and Yes close after the exit question.
    void closingWithAChangedAccountAsksToSaveIt_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("kept");
        QTest::newRow("Cancel stays") << int(Prompter::Answer::Cancel) << boxAddress(67);
        QTest::newRow("No drops the change") << int(Prompter::Answer::No) << boxAddress(67);
        QTest::newRow("Yes saves it") << int(Prompter::Answer::Yes) << QStringLiteral("changed");
    }
    void closingWithAChangedAccountAsksToSaveIt() {
        QFETCH(int, answer);
        QFETCH(QString, kept);
        QVERIFY(openWizard("id_ToolsImportMailbox"));
        addAccount(67);
        type(wizard_, QStringLiteral("txtUserName"), QStringLiteral("changed"));
        const auto given = Prompter::Answer(answer);
        home->prompter.answer(given);
        if (given != Prompter::Answer::Cancel)
            home->prompter.answer(Prompter::Answer::Yes);
        wizard_->close();
        const QStringList asked = home->prompter.texts();
        const qsizetype at = asked.indexOf(frmPOPWizard::saveChangesText(QStringLiteral("Box67")));
        QVERIFY(at >= 0);
        QCOMPARE(asked.size() - at, given == Prompter::Answer::Cancel ? 1 : 2);
        QCOMPARE(wizard_->isVisible(), given == Prompter::Answer::Cancel);
        QCOMPARE(PopAccounts::find(QStringLiteral("Box67"))->UserName, kept);
        if (given == Prompter::Answer::Cancel) {
            home->prompter.answer(Prompter::Answer::No);
            home->prompter.answer(Prompter::Answer::Yes);
            wizard_->close();
            QVERIFY(!wizard_->isVisible());
        }
        QVERIFY(home->prompter.allAnswersUsed());
    }

    void phrasesAreSavedAtOnceAndTheFilterPageNeedsOne() {
        QVERIFY(openWizard("id_ToolsSubscriptionManager"));
        addAccount(61);
        QVERIFY(wizard_->goNext());
        auto* tree = child<QTreeWidget>(wizard_, QStringLiteral("tvSubjectLines"));
        QCOMPARE(tree->topLevelItem(0)->text(0), SearchCategories::defaultsName());
        QVERIFY(!child(wizard_, QStringLiteral("cmdDeleteCatagory"))->isEnabled());
        QVERIFY(!wizard_->goNext());
        QCOMPARE(home->prompter.texts().last(), PopWizardRun::noPhraseText());

        home->prompter.answerText(QStringLiteral("News"));
        click(wizard_, QStringLiteral("cmdAddCatagory"));
        home->prompter.answerText(QStringLiteral("sign me up"));
        click(wizard_, QStringLiteral("cmdSubjectAdd"));
        const QByteArray file = readFileBytes(appFolders().SearchFilesFolder + QStringLiteral("News.dat"));
        QVERIFY2(file.contains("sign me up") && file.contains(SearchCategories::endMarker().toUtf8()),
                 file.constData());
        QCOMPARE(SearchCategories::checkedPhrases(QStringLiteral("News")), QStringList{"sign me up"});
        QTreeWidgetItem* news = tree->findItems(QStringLiteral("News"), Qt::MatchExactly).first();
        news->child(0)->setCheckState(0, Qt::Unchecked);
        QVERIFY(SearchCategories::checkedPhrases(QStringLiteral("News")).isEmpty());
        wizard_->selectPhrases(2); // Select All Categories
        QCOMPARE(SearchCategories::checkedPhrases(), QStringList{"sign me up"});
        QVERIFY(wizard_->goNext());
        QVERIFY(!wizard_->goNext()); // no list
        QCOMPARE(home->prompter.texts().last(), PopWizardRun::noListText(false));
    }

    void theImporterMakesAListOfTheMatchingSenders() {
        if (!servers_.available())
            QSKIP(skipReason());
        const int box = 62;
        const QString to = boxAddress(box);
        seed(box, {{"ann@client.test", message("Ann Lee <ann@client.test>", to, "Subscribe me")},
                   {"ANN@client.test", message("ANN@CLIENT.TEST", to, "please SUBSCRIBE")},
                   {"bob@client.test", message("Bob Ray <bob@client.test>", to, "subscribe")},
                   {"carl@client.test", message("carl@client.test", to, "Unsubscribed yesterday")},
                   {"dan@client.test", message("dan@client.test", to, "Weekly report")}});
        QVERIFY(openWizard("id_ToolsImportMailbox"));
        addAccount(box);
        usePhrases({QStringLiteral("subscribe")}, {QStringLiteral("weekly report")});
        while (wizard_->goNext()) {
        }
        QCOMPARE(wizard_->currentPage(), int(frmPOPWizard::RunPage));
        QCOMPARE(child<QLabel>(wizard_, QStringLiteral("lblStatus1"))->text(),
                 PopWizardRun::notStartedText());
        QString title;
        QString count;
        QCOMPARE(runToEnd(true, &title, &count), PopWizardRun::Outcome::Completed);
        QCOMPARE(title, QStringLiteral("Confirm POP Import"));
        QCOMPARE(count,
                 QStringLiteral("Unique e-mail addresses found:  2|Messages will not be deleted from the "
                                "server."));
        auto* report = window->findChild<frmStatus*>();
        QVERIFY(report && report->isVisible());
        QCOMPARE(report->windowTitle(), QStringLiteral("POP Email Action Status Report"));
        QCOMPARE(report->view()->topLevelItem(0)->text(1), QStringLiteral("2"));
        report->close();
        QCOMPARE(child<QLabel>(wizard_, QStringLiteral("lblHint"))->text(),
                 QStringLiteral("Press Finish to Continue"));
        QCOMPARE(boxFiles(servers_, box).size(), 5); // nothing deleted

        wizard_->button(frmWizard::Finish)->click();
        frmList* list = window->activeList();
        QVERIFY(list && list->isUnsaved());
        QCOMPARE(list->model().recordCount(), 2);
    }

    void subscriptionsRefreshTheOpenListAndDeleteOnlyMatchedMail() {
        if (!servers_.available())
            QSKIP(skipReason());
        const int box = 63;
        QVERIFY(saveList(*home, QStringLiteral("Club"), {QStringLiteral("old@client.test")}));
        QVERIFY(window->ShowListFromName(QStringLiteral("Club")));
        frmList* club = window->activeList();
        const QString to = boxAddress(box);
        seed(box, {{"new@client.test", message("new@client.test", to, "subscribe")},
                   {"zed@client.test", message("zed@client.test", to, "hello")}});
        QVERIFY(openWizard("id_ToolsSubscriptionManager"));
        addAccount(box);
        usePhrases({QStringLiteral("subscribe")}, {});
        QVERIFY(wizard_->goNext());
        QVERIFY(wizard_->goNext());
        auto* lists = child<QListWidget>(wizard_, QStringLiteral("lstApplicableLists"));
        click(wizard_, QStringLiteral("cmdSelAll"));
        QCOMPARE(lists->item(0)->checkState(), Qt::Checked);
        child<QCheckBox>(wizard_, QStringLiteral("chkDeleteMailFromServer"))->setChecked(true);
        QVERIFY(wizard_->goNext());
        QCOMPARE(runToEnd(true), PopWizardRun::Outcome::Completed);
        QCOMPARE(club->model().recordCount(), 2);
        QCOMPARE(boxFiles(servers_, box).size(), 1);
        QVERIFY(readFileBytes(boxFiles(servers_, box).first()).contains("hello"));
    }

    // A real bounce from Postfix names the failed recipient; only it leaves the open list, only the
    // bounce leaves the server.
    void returnedMailRemovesTheBouncedAddress() {
        if (!servers_.available())
            QSKIP(skipReason());
        const int box = 66;
        const QString to = boxAddress(box);
        QVERIFY(saveList(*home, QStringLiteral("Members"),
                         {QStringLiteral("nosuchuser@example.test"), QStringLiteral("eve@client.test"),
                          QStringLiteral("frank@client.test")}));
        QVERIFY(window->ShowListFromName(QStringLiteral("Members")));
        frmList* members = window->activeList();
        clearBox(servers_, box);
        QVERIFY(sendMail(servers_.bouncePort, to, QStringLiteral("nosuchuser@example.test"),
                         message(to, QStringLiteral("nosuchuser@example.test"), "Our news")));
        QVERIFY(sendMail(servers_.smtpPort, QStringLiteral("eve@client.test"), to,
                         message(QStringLiteral("eve@client.test"), to, "Hello there")));
        QVERIFY2(waitForFiles(servers_, box, 2, 30000), "no bounce arrived");

        QVERIFY(openWizard("id_ToolsReturnedMail"));
        addAccount(box);
        QVERIFY(wizard_->goNext());
        QVERIFY(wizard_->goNext());
        auto* lists = child<QListWidget>(wizard_, QStringLiteral("lstApplicableLists"));
        const QList<QListWidgetItem*> found = lists->findItems(QStringLiteral("Members"), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        found.first()->setCheckState(Qt::Checked);
        child<QCheckBox>(wizard_, QStringLiteral("chkDeleteMailFromServer"))->setChecked(true);
        QVERIFY(wizard_->goNext());
        QString title;
        QString count;
        QCOMPARE(runToEnd(true, &title, &count), PopWizardRun::Outcome::Completed);
        QCOMPARE(title, QStringLiteral("Confirm Removal of Undeliverables"));
        QCOMPARE(count.section(u'|', 0, 0), QStringLiteral("Unique e-mail addresses found:  1"));
        auto* report = window->findChild<frmStatus*>();
        QVERIFY(report && report->isVisible());
        QCOMPARE(report->view()->topLevelItem(0)->text(0), QStringLiteral("Members"));
        QCOMPARE(report->view()->topLevelItem(0)->text(1), QStringLiteral("1"));
        report->close();
        QCOMPARE(members->model().recordCount(), 2);
        QCOMPARE(boxFiles(servers_, box).size(), 1);
        QVERIFY(readFileBytes(boxFiles(servers_, box).first()).contains("Hello there"));
    }

    void cancelMidRunKeepsWhatWasCollected() {
        if (!servers_.available())
            QSKIP(skipReason());
        const int box = 65;
        QList<QPair<QString, QByteArray>> mails;
        for (int i = 1; i <= 10; ++i) {
            const QString from = QStringLiteral("p%1@client.test").arg(i);
            mails.append({from, message(from, boxAddress(box), "subscribe")});
        }
        seed(box, mails);
        QVERIFY(openWizard("id_ToolsImportMailbox"));
        addAccount(box);
        usePhrases({QStringLiteral("subscribe")}, {});
        while (wizard_->goNext()) {
        }
        connect(&wizard_->run(), &PopWizardRun::messageProgress, this, [this](int current, int) {
            if (current == 4)
                click(wizard_, QStringLiteral("cmdCancel"));
        });
        QString count;
        QCOMPARE(runToEnd(true, nullptr, &count), PopWizardRun::Outcome::Stopped);
        QVERIFY2(count.startsWith(QStringLiteral("Unique e-mail addresses found:  ")), qPrintable(count));
        const int found = count.section(u'|', 0, 0).split(u' ', Qt::SkipEmptyParts).last().toInt();
        QVERIFY2(found >= 3 && found < 10, qPrintable(count));
        QCOMPARE(child<QLabel>(wizard_, QStringLiteral("lblStatus1"))->text(),
                 QStringLiteral("Message Processing Has Been Stopped"));
        wizard_->button(frmWizard::Finish)->click();
        QCOMPARE(window->activeList()->model().recordCount(), found);
        QCOMPARE(boxFiles(servers_, box).size(), 10);
    }

    void aWrongPasswordOrADeclinedConfirmationChangesNothing_data() {
        QTest::addColumn<QString>("password");
        QTest::newRow("wrong password") << QStringLiteral("nope");
        QTest::newRow("declined") << QStringLiteral("testpw");
    }
    void aWrongPasswordOrADeclinedConfirmationChangesNothing() {
        if (!servers_.available())
            QSKIP(skipReason());
        QFETCH(QString, password);
        const int box = 64;
        QVERIFY(saveList(*home, QStringLiteral("Club"), {QStringLiteral("old@client.test")}));
        seed(box, {{"old@client.test", message("old@client.test", boxAddress(box), "remove me")}});
        QVERIFY(openWizard("id_ToolsSubscriptionManager"));
        addAccount(box, password);
        usePhrases({QStringLiteral("remove me")}, {});
        QVERIFY(wizard_->goNext());
        QVERIFY(wizard_->goNext());
        click(wizard_, QStringLiteral("optAction_0"));
        click(wizard_, QStringLiteral("cmdSelAll"));
        child<QCheckBox>(wizard_, QStringLiteral("chkDeleteMailFromServer"))->setChecked(true);
        QVERIFY(wizard_->goNext());
        const PopWizardRun::Outcome outcome = runToEnd(false);
        QVERIFY(outcome == PopWizardRun::Outcome::Failed || outcome == PopWizardRun::Outcome::Stopped);
        QCOMPARE(child<QLabel>(wizard_, QStringLiteral("lblStatus1"))->text(),
                 QStringLiteral("Message Processing Has Been Stopped"));
        QCOMPARE(child<QLabel>(wizard_, QStringLiteral("lblHint"))->text(),
                 QStringLiteral("Press Finish to Exit"));
        QCOMPARE(boxFiles(servers_, box).size(), 1);
        QVERIFY(window->ShowListFromName(QStringLiteral("Club")));
        QCOMPARE(window->activeList()->model().recordCount(), 1);
    }
};

QTEST_MAIN(TestPopWizard)
#include "tst_popwizard.moc"
