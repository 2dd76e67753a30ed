#pragma once

#include "core/ui/frmWizard.h"
#include "mailings/MailEvent.h"

class QCheckBox;
class QDateTime;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QSpinBox;

// The delivery-options wizard: seven steps over one set of delivery options, stored by Finish.
// Steps: 1 introduction, 2 name, 3 addresses, 4 filter, 5 sent mark and blocks, 6 timing, 7 server.
class frmTBProfileWiz : public frmWizard {
    Q_OBJECT
public:
    static constexpr int Steps = 7;
    static QString newTitle() {
        return QStringLiteral("Create a New Set of Tamberlyn Mail Delivery Options");
    }
    static QString modifyTitle() {
        return QStringLiteral("View or Modify a Set of Tamberlyn Mail Delivery Options");
    }
    static QString missingSetText(const QString& name);
    static QString missingSetTitle() { return QStringLiteral("This Mail Delivery Option Set Not Available"); }
    static QString invalidNameText();
    static QString emptyNameText() {
        return QStringLiteral("Please enter a name for your delivery options.");
    }
    // "New  " and the time, the name a new set starts with.
    static QString newName(const QDateTime& now);

    explicit frmTBProfileWiz(Prompter& prompter, QWidget* parent = nullptr);

    // Starts on a new set: the default set's values under a new name.
    void NewProfile();
    // Loads the named set; false, after saying so, when it is missing.
    bool LoadProfile(const QString& name);
    // Shows step n (1 to 7) without the checks of the steps before it.
    void GoToPage(int n);
    // Closes at once, without the exit question and without storing.
    void ForceUnload();

    // The record the controls describe, on top of the set that was loaded.
    MailEvent record() const;
    QString profileName() const;

Q_SIGNALS:
    // Finish stored the set.
    void profileStored(const QString& name);

protected:
    bool checkPage(int page) override;
    bool finishWizard() override;

private:
    enum Page { IntroPage, NamePage, AddressPage, FilterPage, BlockPage, TimingPage, ServerPage };

    void buildIntroPage();
    void buildNamePage();
    void buildAddressPage();
    void buildFilterPage();
    void buildBlockPage();
    void buildTimingPage();
    void buildServerPage();
    void narrowNumberBoxes();
    void LoadProfileWizard();
    void setTitle(const QString& title);
    void updateEnabled();
    void applyFilter();
    // Leaving the name box: the file-name test, said at once.
    void checkNameBox();

    bool checkName();
    bool checkAddresses();
    bool checkAddress(QLineEdit* box, const QString& which, bool required);
    bool checkBlocks();
    bool checkTiming();
    bool checkCount(QLineEdit* box, int minimum, int maximum, const QString& text);

    MailEvent loaded_;
    QString loadedName_;         // the set being edited; empty for a new one
    QString confirmedOverwrite_; // the existing name the user agreed to overwrite

    QLabel* lblTitle_ = nullptr;
    QLabel* lblCurrentProfile_ = nullptr;
    QLineEdit* txtTBProfile_ = nullptr;
    QLineEdit* txtMEDescription_ = nullptr;
    QLineEdit* txtFromField_ = nullptr;
    QLineEdit* txtReplyTo_ = nullptr;
    QLineEdit* txtErrorsTo_ = nullptr;
    QLineEdit* txtURL_ = nullptr;
    QRadioButton* optSendAll_ = nullptr;
    QRadioButton* optSendFiltered_ = nullptr;
    QComboBox* cmbFilterList_ = nullptr;
    QPlainTextEdit* txtSQLFilter_ = nullptr;
    QCheckBox* chkFlagSends_ = nullptr;
    QLineEdit* txtSentFlag_ = nullptr;
    QRadioButton* optBlockSendAll_ = nullptr;
    QRadioButton* optBlockSendToN_ = nullptr;
    QLineEdit* txtBlockSendNumber_ = nullptr;
    QCheckBox* chkIfNotYetFlagged_ = nullptr;
    QLineEdit* txtSentFlagToCheck_ = nullptr;
    QCheckBox* chkSSTimedBlocks_ = nullptr;
    QLineEdit* txtTimedBlockSize_ = nullptr;
    QLineEdit* txtTimeIncr_ = nullptr;
    QCheckBox* chkSSInsertDelay_ = nullptr;
    QLineEdit* txtMsgDelay_ = nullptr;
    QLineEdit* txtSMTPServer_ = nullptr;
    QSpinBox* spnConnections_ = nullptr;
    QSpinBox* spnMaxPerHour_ = nullptr;
    QSpinBox* spnMaxPerDay_ = nullptr;
};
