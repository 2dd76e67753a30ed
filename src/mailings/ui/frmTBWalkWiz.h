#pragma once

#include "core/ui/frmWizard.h"

#include <QStringList>

class Desk;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The mailing wizard: nine steps through a group, a list, a message and a set of delivery options, then
// Finish prepares the mailing in the mailing centre and, when asked, sends it. What it creates on the
// way (a group, a list, a message, delivery options) is saved at once; Finish alone prepares the mailing.
// While the user makes a new list or message the wizard hides, and comes back when it is saved.
class frmTBWalkWiz : public frmWizard {
    Q_OBJECT
public:
    static constexpr int Steps = 9;
    enum Page {
        IntroPage,
        GroupPage,
        ListPage,
        NewListPage,
        MessageIntroPage,
        MessagePage,
        OptionsIntroPage,
        OptionsPage,
        FinishPage
    };
    static QString caption() { return QStringLiteral("Tamberlyn Wizard"); }
    static QString exitText();
    static QString usingDefaultText() { return QStringLiteral("Using Default Delivery Options"); }

    frmTBWalkWiz(Desk& desk, QWidget* parent = nullptr);

    // What the mailing is made of so far.
    QString groupName() const;
    QString listName() const;
    QString messageName() const;
    QString optionsName() const;
    bool sendChosen() const;

    // Shows step n (1 to 9) without the checks of the steps before it.
    void GoToPage(int n) { jumpToPage(n - 1); }

    // Hides the wizard while another window is used; Restore brings it back with its lists refreshed.
    void HideTBWalkWiz();
    void Restore();
    bool isWaiting() const { return waiting_ != Waiting::Nothing; }

protected:
    bool checkPage(int page) override;
    void pageEntered(int page) override;
    bool finishWizard() override;
    QString exitQuestion() const override { return exitText(); }

private:
    enum class Waiting { Nothing, List, Message };

    void buildPages();
    void refreshGroups(const QString& select = {});
    void refreshLists();
    void refreshMessages();
    void refreshOptions(const QString& select = {});
    void updateEnabled();
    void createList();
    void createMessage();
    void createOptions();
    void listsChanged();
    void messagesChanged();
    void updateListChoice();
    void updateOptionsLabel();
    bool refuse(const QString& text, QWidget* focus = nullptr);

    bool checkGroup();
    bool checkList();
    bool checkNewList();
    bool checkMessage();
    bool checkOptions();

    Desk& desk_;
    Waiting waiting_ = Waiting::Nothing;
    QStringList namesBefore_; // the lists or messages there were when the wizard hid
    QString savedListFile_;   // the file a list was last saved to while the wizard waited
    QString newList_;
    QString newMessage_;

    QRadioButton* optSSExistingTB_ = nullptr;
    QRadioButton* optSSNewTB_ = nullptr;
    QComboBox* cmbTamberlyn_ = nullptr;
    QLineEdit* txtTBNewName_ = nullptr;
    QLineEdit* txtTBDescription_ = nullptr;
    QRadioButton* optSSSelectList_ = nullptr;
    QRadioButton* optSSNewList_ = nullptr;
    QComboBox* cmbAddrList_ = nullptr;
    QLabel* lblListChoice_ = nullptr;
    QPushButton* cmdSSNewList_ = nullptr;
    QRadioButton* optSSExistingMsg_ = nullptr;
    QRadioButton* optSSNewMsg_ = nullptr;
    QComboBox* cmbMessageName_ = nullptr;
    QPushButton* cmdSSNewMessage_ = nullptr;
    QLabel* lblNewMessage_ = nullptr;
    QComboBox* cmbMailOptions_ = nullptr;
    QLabel* lblUsingDefault_ = nullptr;
    QLabel* lblSummary_ = nullptr;
    QRadioButton* optSSCreateMailing_ = nullptr;
    QRadioButton* optSSSendMailing_ = nullptr;
};
