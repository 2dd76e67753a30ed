#pragma once

#include "core/ui/frmWizard.h"
#include "mailbox/PopWizardRun.h"
#include "mailbox/ui/frmPOPConfirmation.h"

#include <QPointer>

class DisplayThrottle;
class ListWindows;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

// The mailbox wizard in one of its formats: the POP account, which mail to pick (all, returned mail, or
// by subject phrases kept in categories), what to do with the addresses found, and the run, which reads
// the mailbox on the event loop, asks for confirmation and reports per list.
class frmPOPWizard : public frmWizard {
    Q_OBJECT
public:
    enum Page { AccountPage, FilterPage, ListsPage, RunPage };

    static QString title() { return QStringLiteral("POP Mail Management Wizard"); }
    static QString newAccountEntry() { return QStringLiteral("<New Account>"); }
    static QString saveChangesTitle() { return QStringLiteral("Save Changes"); }
    static QString saveChangesText(const QString& account) {
        return QStringLiteral("Do you want to save the changes to : '") + account + u'\'';
    }

    frmPOPWizard(PopWizardRun::Format format, Prompter& prompter, ListWindows* lists,
                 QWidget* parent = nullptr);

    PopWizardRun& run() { return run_; }
    PopWizardRun::Settings settings() const;
    frmPOPConfirmation* confirmation() const { return confirmation_; }
    // Opens the context menu entries of the phrase tree: 0..3 = select / unselect all phrases, select /
    // unselect all categories.
    void selectPhrases(int entry);

protected:
    bool checkPage(int page) override;
    void pageEntered(int page) override;
    bool finishWizard() override;
    bool mayExit() override;
    void abandonWork() override;

private:
    void buildAccountPage();
    void buildFilterPage();
    void buildListsPage();
    void buildRunPage();
    void fillAccounts(const QString& select);
    void accountChosen();
    void accountEdited();
    // Offers to save a changed account; false when the user cancelled.
    bool settleChanges();
    void saveAccount();
    void removeAccount();
    void fillCategories();
    QString selectedCategory() const;
    void updateCategoryButtons();
    void addCategory();
    void removeCategory();
    void addPhrase();
    void removePhrase();
    void phraseToggled(QTreeWidgetItem* item);
    void updateFormatControls();
    void startRun();
    void runFinished(PopWizardRun::Outcome outcome);
    void status(const QString& text);
    void showMessageCounter(const QString& text);

    PopWizardRun::Format format_;
    ListWindows* lists_;
    PopWizardRun run_;
    QString account_; // the account shown; empty for a new one
    bool changed_ = false;
    bool loading_ = false;
    bool running_ = false;
    bool ran_ = false;

    QComboBox* ddAccountName_ = nullptr;
    QLineEdit* txtPOPHostName_ = nullptr;
    QLineEdit* txtUserName_ = nullptr;
    QLineEdit* txtPassword_ = nullptr;
    QCheckBox* chkRememberPassword_ = nullptr;
    QPushButton* cmdAdd_ = nullptr;
    QPushButton* cmdRemove_ = nullptr;
    QRadioButton* optFilterMethod_[3] = {};
    QTreeWidget* tvSubjectLines_ = nullptr;
    QPushButton* cmdDeleteCatagory_ = nullptr;
    QRadioButton* optAction_[2] = {};
    QListWidget* lstApplicableLists_ = nullptr;
    QRadioButton* optMethod_[2] = {};
    QCheckBox* chkSaveCreatedList_ = nullptr;
    QLineEdit* txtSavedListName_ = nullptr;
    QCheckBox* chkDeleteMailFromServer_ = nullptr;
    QLabel* lblRunState_ = nullptr;
    QLabel* lblRunHint_ = nullptr;
    QPushButton* cmdBuild_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QListWidget* lstStatus_ = nullptr;
    QLabel* lblStatus2_ = nullptr;
    DisplayThrottle* throttle_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPointer<frmPOPConfirmation> confirmation_;
    QString createdList_;
};
