#pragma once

#include "core/Prompter.h"
#include "db/Database.h"
#include "mailbox/PopClient.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// One run over a POP3 mailbox: picks the messages whose subject matches, collects one address (with its
// names) from each into table POPTemp of a temporary database, one row per address whatever its case,
// and makes a temporary list of them. It can then delete the matched messages (KillMail). Every step is
// a continuation of a POP status event; nothing waits in a loop.
class ProcessEMail : public QObject {
    Q_OBJECT
public:
    enum class FilterMethod {
        All,           // every message
        Undeliverable, // returned mail: the failure phrases, and the failed recipient instead of the sender
        Phrases,       // the phrases given
    };
    enum class Outcome { Running, Completed, NoMessages, NothingFound, Stopped, ConnectionLost, ListFailed };

    explicit ProcessEMail(Prompter& prompter, QObject* parent = nullptr);
    ~ProcessEMail() override;

    PopClient& popMain() { return popMain_; }

    // Connects and logs in; answered by connectionEstablished or connectionNotEstablished. The host may
    // carry a security prefix and a port (PopServer); port, when not 0, wins over the host's.
    void connectToMailBox(const QString& host, const QString& userName, const QString& password, int port,
                          bool showProgress);
    bool isConnected() const { return connected_; }
    // The host name as the texts show it.
    QString hostName() const { return host_; }

    void setSearchVariables(const QStringList& phrases, FilterMethod method, bool deleteProcessed);
    // Runs over every message; ends with processingFinished.
    void processMailBox();
    // Deletes the matched messages and ends the session (the server removes them then); ends with
    // killFinished.
    void KillMail();
    // Ends the session without deleting anything; ends with sessionEnded.
    void endSession();
    // Ends the run: between requests after the current step, while a reply is awaited at once by dropping
    // the session (it cannot take QUIT in the middle of a reply). What was collected is still made into
    // the list.
    void stop();

    Outcome outcome() const { return outcome_; }
    // The temporary list made from POPTemp; empty when none was made.
    QString listPath() const { return listPath_; }
    int addressCount() const { return collected_; }
    const QList<int>& killList() const { return killList_; }
    int deletedCount() const { return deleted_; }
    // The DELE commands the server answered +OK in the last KillMail.
    int confirmedDeletions() const { return marked_; }
    // The messages passed over because they were larger than the client's caps.
    const QList<int>& skippedMessages() const { return skipped_; }

    // The texts of the run that take a value.
    static QString noMessagesText(const QString& host) {
        return QStringLiteral("No Messages Found on ") + host;
    }
    static QString connectionLostText(const QString& host);
    static QString tooLargeText(int number, bool header, qsizetype cap);
    static QString lineTooLongText(qsizetype cap);

public Q_SLOTS:
    void popMain_POPStatus(int code);

Q_SIGNALS:
    void connectionEstablished();
    void connectionNotEstablished();
    void showCurrentOperation(const QString& text);
    void TotalMessageNum(int count);
    void showCurrentMessageNum(const QString& text);
    // The message being read, of the mailbox's total.
    void messageProgress(int current, int total);
    void showAddressesCollected(int count);
    void processingFinished();
    void killFinished(bool allDeleted);
    void sessionEnded();

private:
    enum class Wait { None, Connect, Header, Message, Delete, Quit, EndQuit };

    void failure();
    void nextMessage();
    void onHeader();
    void onMessage();
    void collect(const QString& text, const QString& date, const QString& subject);
    void finishCollecting();
    void deleteNext();
    void killLost();
    void skipTooLarge(bool header);
    void operation(const QString& text) { Q_EMIT showCurrentOperation(text); }

    Prompter& prompter_;
    PopClient popMain_;
    QString host_;
    bool connected_ = false;
    Wait wait_ = Wait::None;
    bool commandPending_ = false;
    bool commandResult_ = false;

    QStringList phrases_;
    FilterMethod method_ = FilterMethod::Phrases;
    bool deleteProcessed_ = false;
    bool stopRequested_ = false;

    db::Database temp_;
    db::Statement insert_;
    QString tempPath_;
    int total_ = 0;
    int current_ = 0;
    int collected_ = 0;
    QString pendingDate_;
    QString pendingSubject_;
    QList<int> killList_;
    QList<int> skipped_;
    qsizetype killIndex_ = 0;
    int marked_ = 0;
    int deleted_ = 0;
    Outcome outcome_ = Outcome::Running;
    QString listPath_;
};
