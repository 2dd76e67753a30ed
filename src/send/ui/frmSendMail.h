#pragma once

#include "core/Prompter.h"
#include "mailings/MailRuns.h"
#include "mailings/Mailings.h"
#include "send/SendPace.h"
#include "send/ui/SendLineModel.h"
#include "send/ui/frmSendAgainWarning.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <memory>

class MailingRun;
class QLabel;
class QListView;
class QProgressBar;
class QPushButton;

// The send dialog of one mailing: what goes out, the buttons that start, pause, resume and stop its run
// (cmdSend_0..2), the run's progress and a line per recipient. Each run is a MailingRun; the dialog cannot
// be closed while one is sending or paused. Shown with open().
//
// Lines and labels are brought up to date every refresh period rather than at every message, so a fast
// run spends its time sending, not drawing.
class frmSendMail : public QDialog {
    Q_OBJECT
public:
    enum State { Idle = 0, Sending = 1, Paused = 2, Stopped = 3 };

    // trigger is the first run's (a later one in the same dialog is the user's). The mailing's send-again
    // warning is shown before a run when sendAgainConfirmed is false and the mailing was sent before, and
    // always before a run that follows a completed one in this dialog.
    frmSendMail(Prompter& prompter, qint32 mailingId, MailRuns::Trigger trigger, bool sendAgainConfirmed,
                QWidget* parent = nullptr);
    ~frmSendMail() override;

    // What the send-again warning's delivery-options button opens.
    void setOpenOptions(frmSendAgainWarning::OpenOptions openOptions) {
        openOptions_ = std::move(openOptions);
    }
    void setRefreshMs(int ms) { tmrProgress_.setInterval(qMax(1, ms)); }
    // Closes the dialog once a run has ended and its session closed (a run nobody watches).
    void setCloseWhenEnded(bool close) { closeWhenEnded_ = close; }

    State state() const { return state_; }
    qint32 mailingId() const { return mailingId_; }
    MailingRun* run() const { return run_.get(); }
    SendLineModel& lines() { return lines_; }

    // The press of button index of cmdSend: 0 send, 1 pause, 2 stop.
    void cmdSend_Click(int index);

    // A line for the list (see SendLineModel); it reaches the list at the next refresh.
    void AddMailed(const QString& SendStr, bool bPicture, bool bPass);
    // Moves the waiting lines into the list and shows the run's figures now.
    void refresh();

    // The state a button press leads to from a state.
    static State nextState(State from, int button);

Q_SIGNALS:
    // A run is about to start: the place to adjust it (time units, log) before it runs.
    void runCreated(MailingRun* run);
    // A run could not start (the reason was shown or is in the run's refusal).
    void runRefused();
    // A run ended; its history is written.
    void runFinished(MailRuns::Outcome outcome);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void enterState(State state);
    void startRun();
    void showSendAgainWarning();
    void onRunFinished(MailRuns::Outcome outcome);
    void afterRefusal();
    bool runActive() const;
    void setPictures();
    void CounterUpdate(qint64 nSent, qint64 nFailed);
    void MailOutComplete(qint64 nSent);
    void ResultString(const QString& ResultText);
    void sckState(const QString& sState);
    void ReenableSendButton();
    void closeAfterSession();

    Prompter& prompter_;
    const qint32 mailingId_;
    Mailing mailing_;
    MailRuns::Trigger trigger_;
    MailRuns::Trigger runTrigger_ = MailRuns::Trigger::Desktop;
    bool warnBeforeRun_;
    bool closeWhenEnded_ = false;
    frmSendAgainWarning::OpenOptions openOptions_;
    std::unique_ptr<MailingRun> run_;
    State state_ = Idle;

    SendLineModel lines_;
    QList<SendLineModel::Line> waitingLines_;
    SendPace pace_;
    QElapsedTimer clock_;
    qint64 passed_ = 0;
    qint64 failed_ = 0;
    QString statusText_;
    QString socketState_;
    bool pauseLit_ = false;
    int wizFrame_ = 0;

    QLabel* lblTamberlyn_;
    QLabel* lblList_;
    QLabel* lblMsg_;
    QLabel* lblMailOptions_;
    QLabel* lblMsgCount_;
    QLabel* lblFailedCount_;
    QLabel* lblMailingStatus_;
    QLabel* lblSocketState_;
    QLabel* lblWiz_;
    QProgressBar* prgSend_;
    QLabel* lblRate_;
    QLabel* lblElapsed_;
    QLabel* lblRemaining_;
    QLabel* lblCurrent_;
    QLabel* lblSessions_;
    QLabel* lblLimit_;
    QListView* lstMailing_;
    std::array<QPushButton*, 3> cmdSend_{};
    QPushButton* cmdClose_;
    QTimer tmrImages_;
    QTimer tmrWiz_;
    QTimer tmrProgress_;
    QTimer tmrCloseGrace_;
};
