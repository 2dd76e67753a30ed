#pragma once

#include "core/Prompter.h"
#include "messages/Greetings.h"
#include "send/Corvex.h"
#include "send/DkimSigner.h"
#include "send/MailingText.h"
#include "send/SendLog.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class MailEvent;
class SendMDBList;

// One mailing run over one SMTP connection: the run's set-up (sendEmailToList), the session engine that
// answers the SMTP component's events, the send log, and the end of the run. Everything is driven by the
// component's events and by timers on the one thread; pauses and delays are timers, never nested loops.
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
    // The address of the message in hand (the first of a group message's block); empty between messages.
    QString recipientInHand() const { return perRecipient_ ? currentBare_ : batchBare_.value(0); }

    // The text of the message in hand.
    QByteArray GetMsgBody();
    bool CheckDomain(const QString& address) const;
    void DateStampInit();
    QString DateStamp() const;
    void LogSend(const QString& SendStr, bool bStartMailing = false, bool bEndMailing = false);
    void MailingComplete();
    void AbortCleanup();
    void TimeoutAndCleanup();

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
    // The connection closed after the run had ended.
    void SessionClosed();

private:
    enum class Wait { None, Delay, Pause, BlockPause };

    bool refuseStart(bool closeSource = true);
    bool setUpSigning();
    bool startSession();
    void connectSession(const QString& user, const QString& password);
    void progress(const QString& text);
    void onReady();
    void continueAfterDelay();
    void sendNext();
    void onState(int number);
    void onSent(const RecipientResult& result);
    void onSentBlock(const QList<RecipientResult>& results);
    void onBlockMinute();
    void GetNewRecipient();
    QString nextUsableAddress();
    void refuseRecipient(const QString& address);
    QString bracketed(const QString& address) const;
    // MAIL FROM of the message in hand: the bounce address (for one recipient VERP-encoded when asked),
    // else the From address.
    QString envelopeSender() const;
    // The accepted recipients whose mark could not be written.
    QStringList MarkServedRecipients();
    void abortUnmarked(const QStringList& addresses);
    void beginPauseWait();

    SendMDBList& source_;
    const MailEvent& options_;
    Prompter& prompter_;
    Corvex* sckCorvex_;
    QTimer tmrStateClock_;
    QTimer tmrPauseEachMessage_;
    QTimer tmrPauseInBlocks_;
    QTimer tmrStopGrace_;
    SendLog log_;
    QString logPath_;
    SslSocketFactory socketFactory_;
    int minuteMs_ = 60000;
    int tenthMs_ = 100;
    int timeoutUnitMs_ = 1000;

    bool paused_ = false;
    bool stopped_ = false;
    bool started_ = false;
    bool ended_ = false;
    bool completed_ = false;
    Wait wait_ = Wait::None;
    QString fromAddress_;
    QString mailServer_;
    bool perRecipient_ = true;
    bool firstFetch_ = true;
    QString current_;     // the envelope address of the message in hand, or "*EOF*"
    QString currentBare_; // the record's EAddress of the message in hand
    QString toText_;
    RecipientResult single_;
    QList<RecipientResult> batch_;
    QStringList batchBare_;
    qint64 taken_ = 0;
    qint64 passed_ = 0;
    qint64 failed_ = 0;
    qint64 unmarked_ = 0;
    bool blockPaused_ = false;
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
