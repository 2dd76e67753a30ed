#pragma once

#include "core/Prompter.h"
#include "messages/Greetings.h"
#include "send/Corvex.h"
#include "send/DkimSigner.h"
#include "send/MailingText.h"
#include "send/SendLedger.h"
#include "send/SendLog.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <vector>

class MailEvent;
class SendMDBList;

// One mailing run over one SMTP connection, or over several at once when the delivery options ask for
// more Connections: the run's set-up (sendEmailToList), the session engine that answers the SMTP
// component's events, the send log, and the end of the run. Everything is driven by the component's
// events and by timers on the one thread; pauses and delays are timers, never nested loops.
//
// With several sessions each has its own greeting, STARTTLS and AUTH; the recipients are read in list
// order and handed to whichever session is idle, and each session marks its recipients as soon as the
// server accepts them. Pause, timed blocks, the per-message delay and the limits count the whole run.
// A session that fails leaves its message in hand unmarked for another session and is opened again
// once; the run ends with the failure only when every session has failed. The send log prefixes the
// lines of session k > 1 with "[k] ".
//
// The hourly and daily limits of the delivery options pause the run (quitting every session) until
// the hour or day of the schedules' clock is over, then it goes on by itself. The recipients of runs
// with a limit are counted in the send ledger of their server, with their marks.
//
// The host reads the run through the signals and steers it with pause(), resume() and stop(), which
// take effect at the next point where the run can wait (a finished message, a pause, a delay). A stop
// while the server owes a reply ends the run within a second even if that reply never comes.
//
// A list address holding a control character is not sent to the server: it counts as failed, stays
// unmarked and is named in the log. A sent mark that cannot be written ends the run as aborted, with
// every recipient the server accepted but the list does not show as sent named in the log.
class SMTPSocket : public QObject {
    Q_OBJECT
public:
    // The recipient source's names and the delivery options must be set before sendEmailToList; both
    // must outlive the run.
    SMTPSocket(SendMDBList& source, const MailEvent& options, Prompter& prompter, QObject* parent = nullptr);
    ~SMTPSocket() override;

    // Time units, so that tests run a paced mailing in milliseconds. Defaults: the environment variables
    // TAMBERLYN_MINUTE_MS (60000) and TAMBERLYN_TENTH_MS (100); the component's one-second unit.
    void setMinuteMs(int ms) { minuteMs_ = qMax(1, ms); }
    void setTenthMs(int ms) { tenthMs_ = qMax(0, ms); }
    void setTimeoutUnitMs(int ms) { timeoutUnitMs_ = qMax(1, ms); }
    void setSocketFactory(SslSocketFactory factory) { socketFactory_ = std::move(factory); }
    // The wait before a failed session of several is opened again (a few seconds).
    void setReopenDelayMs(int ms) { reopenDelayMs_ = qMax(0, ms); }
    // How often a run held by a limit looks at the clock.
    void setLimitCheckMs(int ms) { tmrLimit_.setInterval(qMax(1, ms)); }
    // The send log's file; the application folder's sendlog.log unless set before the run.
    void setLogPath(const QString& path);

    // Starts a run. False when it could not start (the reason was shown; ReenableSendButton was raised).
    bool sendEmailToList(const QString& FromAddress, const QString& ErrorsTo, const QString& ReplyTo,
                         const QString& X_URL, const QString& MailServer);

    // The set-up of a run without its session: false when it could not start (the reason was shown).
    bool prepareRun(const QString& FromAddress, const QString& ErrorsTo, const QString& ReplyTo,
                    const QString& X_URL, const QString& MailServer);
    // After prepareRun, instead of a session: the first count messages exactly as the run would send them,
    // with nothing sent and nothing marked; the run is over afterwards.
    struct Copy {
        QStringList recipients;
        QString envelopeSender;
        QByteArray text;
    };
    QList<Copy> buildCopies(int count);

    void pause();
    void resume();
    void stop();
    bool Paused() const { return paused_; }
    bool Stopped() const { return stopped_; }
    // The run reached the end of its recipients.
    bool completed() const { return completed_; }
    // Started and not yet ended.
    bool isRunning() const { return started_ && !ended_; }
    qint64 takenCount() const { return taken_; }
    qint64 passedCount() const { return passed_; }
    qint64 failedCount() const { return failed_; }
    // Recipients the server accepted whose sent mark could not be written.
    qint64 unmarkedCount() const { return unmarked_; }
    bool perRecipientMode() const { return perRecipient_; }
    // The address of the first session's message in hand (the first of a group message's block); empty
    // between messages.
    QString recipientInHand() const;
    // The sessions of the run that are connected now.
    int openSessions() const { return openSessions_; }
    // The run waits for the end of an hour or day (see LimitState).
    bool limitPaused() const { return limitWaiting_; }
    QDateTime limitResumesAt() const { return limitResumeAt_; }

    // The text of the first session's message in hand.
    QByteArray GetMsgBody();
    bool CheckDomain(const QString& address) const;
    void DateStampInit();
    QString DateStamp() const;
    void LogSend(const QString& SendStr, bool bStartMailing = false, bool bEndMailing = false);
    void MailingComplete();
    void AbortCleanup();
    void TimeoutAndCleanup() { TimeoutAndCleanup(first()); }

    static QString stateName(int number);
    static QString timeoutText();

Q_SIGNALS:
    void MailOutComplete(qint64 nSent);
    void ResultString(const QString& ResultText);
    void ReenableSendButton();
    void CounterUpdate(qint64 nSent, qint64 nFailed);
    void sckState(const QString& sState);
    void AddMailed(const QString& SendStr, bool bPicture, bool bPass);
    // The progress lines of the send log ("Opening Addresslist...", "Ready for Send", "Pausing", ...).
    void Progress(const QString& text);
    // The connection closed after the run had ended (the last one, with several sessions).
    void SessionClosed();
    // The number of connected sessions changed.
    void OpenSessionsChanged(int open);
    // A limit paused the run (text: "Hourly limit of 500 reached; sending resumes at 14:00.", resumeAt
    // on the schedules' clock), or the run goes on again (paused false, text and time empty).
    void LimitState(bool paused, const QString& text, const QDateTime& resumeAt);

private:
    // What a session waits for when it has no message in hand.
    enum class Wait { None, Delay, Pause, BlockPause, LimitPause, Drained, Reopen, Failed };

    // The recipients of one message as they were read from the list.
    struct Parcel {
        QString current; // the envelope address (per recipient), or "*EOF*"
        QString bare;    // the record's EAddress (per recipient)
        QString toText;
        RecipientRecord record;
        QList<RecipientResult> batch;
        QStringList batchBare;
        qint64 size() const { return batchBare.isEmpty() ? 1 : batchBare.size(); }
    };

    // One SMTP connection of the run and the message it has in hand.
    struct Session {
        int number = 1;
        Corvex* corvex = nullptr;
        QTimer timer; // the per-message delay, or the wait before it is opened again
        Wait wait = Wait::None;
        bool inHand = false;
        bool open = false;
        int failures = 0;
        Parcel parcel;
        RecipientResult single;
    };

    Session& addSession();
    bool several() const { return sessions_.size() > 1; }
    Session& first() const { return *sessions_.front(); }
    void logFor(const Session& session, const QString& text);
    void setOpen(Session& session, bool open);

    bool refuseStart(bool closeSource = true);
    bool setUpSigning();
    bool startSession();
    void connectSession(const QString& user, const QString& password);
    void progress(const QString& text);
    void onReady(Session& session);
    void continueAfterDelay(Session& session);
    void sendNext(Session& session);
    void onState(Session& session, int number);
    void onSent(Session& session, const RecipientResult& result);
    void onSentBlock(Session& session, const QList<RecipientResult>& results);
    void onBlockMinute();
    void GetNewRecipient(Parcel& parcel, qint64 most = -1);
    QString nextUsableAddress();
    void refuseRecipient(const QString& address);
    QString bracketed(const QString& address) const;
    // MAIL FROM of the message in hand: the bounce address (for one recipient VERP-encoded when asked),
    // else the From address.
    QString envelopeSender(const Session& session) const;
    QByteArray GetMsgBody(const Session& session);
    // The accepted recipients whose mark could not be written.
    QStringList MarkServedRecipients(Session& session);
    void abortUnmarked(const QStringList& addresses);
    void beginPauseWait(Session& session);
    void TimeoutAndCleanup(Session& session);

    // The hourly and daily limits: true when one is reached and the run now waits for it.
    bool beginLimitWait(Session& session);
    void onLimitTick();
    // The largest message the limits let go now; -1 without limits.
    qint64 limitAllowance();

    // Several sessions.
    void onReadySeveral(Session& session);
    void dispatch(Session& session);
    bool takeWork(Session& session);
    void park(Session& session, Wait wait);
    void reconnectParked(Wait wait);
    void sessionFailed(Session& session, bool timedOut);
    void reopen(Session& session);
    void wakeDrained();
    void completeIfDone();
    void abortIfIdle();
    bool anyInHand() const;
    void stopTimers();
    void quitAll();

    SendMDBList& source_;
    const MailEvent& options_;
    Prompter& prompter_;
    std::vector<std::unique_ptr<Session>> sessions_;
    QTimer tmrStateClock_;
    QTimer tmrPauseInBlocks_;
    QTimer tmrLimit_;
    QTimer tmrStopGrace_;
    SendLog log_;
    QString logPath_;
    SslSocketFactory socketFactory_;
    int minuteMs_ = 60000;
    int tenthMs_ = 100;
    int timeoutUnitMs_ = 1000;
    int reopenDelayMs_ = 3000;
    QString user_;
    QString password_;

    bool paused_ = false;
    bool stopped_ = false;
    bool started_ = false;
    bool ended_ = false;
    bool completed_ = false;
    QString fromAddress_;
    QString mailServer_;
    bool perRecipient_ = true;
    bool firstFetch_ = true;
    bool sourceEnded_ = false;
    QList<Parcel> requeued_; // the messages of failed sessions, handed out before the next from the list
    qint64 inFlight_ = 0;    // recipients handed out and not yet answered
    int openSessions_ = 0;
    bool pauseAnnounced_ = false;
    QElapsedTimer runClock_;
    qint64 nextStartMs_ = 0; // with several sessions, when the next message may start (the delay)
    SendLimits limits_;
    bool limitWaiting_ = false;
    QDateTime limitResumeAt_;
    qint64 taken_ = 0;
    qint64 passed_ = 0;
    qint64 failed_ = 0;
    qint64 unmarked_ = 0;
    qint64 lastBlockAt_ = -1; // taken_ when the last block pause began
    bool blockWaiting_ = false;
    int blockMinutes_ = 0;

    QDateTime startTime_;
    QDateTime endTime_;
    QString startText_;
    QString dateLine_;
    QStringList textOnlyDomains_;
    GreetingSettings greeting_;
    MailingText text_;
    DkimSigner signer_;
    qint64 messageSize_ = 0;
};
