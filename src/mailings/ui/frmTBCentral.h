#pragma once

#include "mailings/Mailings.h"

#include <QSet>
#include <QWidget>
#include <functional>

class Desk;
class MailRunTable;
class MailingOutline;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTreeView;

// The mailing centre: every mailing in an outline of groups, lists and messages; the four choices of a
// new mailing; sending and scheduling the selected mailing; and the selected mailing's runs.
class frmTBCentral : public QWidget {
    Q_OBJECT
public:
    // Opening what a row names: a list or a message by name; false when it was not shown.
    struct Openers {
        std::function<bool(const QString& list)> openList;
        std::function<bool(const QString& message)> openMessage;
    };

    frmTBCentral(Desk& desk, Openers openers, QWidget* parent = nullptr);

    // The centre open in the main window, or nullptr.
    static frmTBCentral* of(Desk& desk);

    // Creates the mailing, shows it selected and answers its number (0 when it was not created).
    qint32 PrepareMailingUpdatingInterface(const QString& group, const QString& list, const QString& message,
                                           const QString& options);
    // Checks the selected mailing and starts it through the send module's launcher.
    void SendTamberlynIfPossible();
    void SetCancelSendFlagForTBCentral(bool flag) { cancelSend_ = flag; }
    bool cancelSendFlag() const { return cancelSend_; }

    // The row commands, on the selected row.
    void openSelected();
    void copySelectedToChoices();
    void showSelectedOptions();
    void deleteSelectedMailing();
    void deleteSelectedGroup();
    void openScheduler();

    // Selecting rows: false when the outline has no such row.
    bool SelectOutlineRow(qint32 mailing);
    bool selectGroup(const QString& group);
    // One outline level more or fewer shown.
    void expandOneLevel();
    void collapseOneLevel();

    MailingOutline& outline() const { return *outline_; }

    static QString selectMessageFirstText();
    static QString notFoundText();

private:
    void buildChoices(QWidget* box);
    QWidget* buildResults();
    void refillChoices();
    // Reloads the outline, keeping the rows shown open and the selection.
    void refreshOutline();
    void showResults();
    void showRun(int row);
    QModelIndex selectedRow() const;
    void selectIndex(const QModelIndex& index);
    void showContextMenu(const QPoint& at);
    void inform(const QString& text, bool exclamation = false);

    Desk& desk_;
    Openers openers_;
    MailingOutline* outline_;
    MailRunTable* runs_;
    QTreeView* grdFlex_;
    QLabel* lblHeading_;
    QComboBox* cboTamberlyn_;
    QComboBox* cboList_;
    QComboBox* cboMessage_;
    QComboBox* cboMailOptions_;
    QPushButton* cmdSSCreateMailing_;
    QPushButton* cmdSSSendTamberlyn_;
    QPushButton* cmdScheduler_;
    QLabel* lblTotals_;
    QLabel* lblSchedule_;
    QTableView* tblRuns_;
    QChartView* chtRun_;
    qint32 shownMailing_ = 0;
    bool cancelSend_ = false;
};
