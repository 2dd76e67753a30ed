#pragma once

#include "core/Prompter.h"
#include "db/Database.h"
#include "messages/Greetings.h"
#include "messages/MessageStore.h"
#include "messages/mdlMergeFields.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMap>
#include <QString>
#include <optional>

class MailEvent;

// The recipients and the message of one mailing run. The names are set by the caller before the run;
// the delivery options are read from the record handed to setOptions.
//
// The selected rows are streamed from one prepared statement, so memory does not grow with the list.
// Marks go through a second connection to the list file (write-ahead log, one commit per mark), so a
// mark is durable before the next message starts and never disturbs the statement being stepped.
class SendMDBList {
public:
    explicit SendMDBList(Prompter& prompter);
    ~SendMDBList();
    SendMDBList(const SendMDBList&) = delete;
    SendMDBList& operator=(const SendMDBList&) = delete;

    QString AddrListName;
    QString MsgName;
    QString MailOptionsName;
    QString Tamberlyn;
    QString MailOption;
    qint32 TotalSoFar = 0;
    qint32 MailEventID = 0;
    QString DateMailed;

    // The delivery options of the run; must outlive the run.
    void setOptions(const MailEvent* options) { options_ = options; }
    const MailEvent* options() const { return options_; }

    bool InitMailingDBSupport();
    void EndMailingDBSupport();
    void OpenTamberlynDB();
    void CloseTamberlynDB();
    bool OpenListFiltered();
    bool OpenList();
    void CloseList();

    // "*EOF*" when no recipient is left (and for every later call).
    // How many recipients the run's selection holds (its block at most), counted when the list was opened.
    qint64 selectionCount() const { return selectionCount_; }
    // The list was refused because every recipient it would select carries the sent mark checked for:
    // the list has rows, all of them marked.
    bool onlyMarkedRecipientsLeft() const { return onlyMarkedLeft_; }

    QString GetFirstAddr();
    QString GetNextAddr();
    // Moves to the first selected recipient whose address equals the given one (without regard to case).
    void PositionToAddress(const QString& address);
    QString CheckSentField() const;
    // Writes the delivery options' SentFlag into every row of the address; angle brackets are dropped.
    // False when the mark could not be written (the list stayed locked past the busy time-out).
    bool UpdateSuccessfulSentFlag(const QString& address);
    // The marks of one message's accepted recipients, committed together: all or none.
    bool UpdateSuccessfulSentFlags(const QStringList& addresses);
    // Counts the run's accepted recipients in the send ledger under this server; empty: no counting.
    void setLedgerServer(const QString& server) { ledgerServer_ = server; }
    // One message's accepted recipients: their marks (when marking, else none) and their count for the
    // send ledger. The marks commit at once; the counts go into the ledger at most once per ledger
    // interval (a ledger commit waits for the disk, a mark does not). False when the marks could not be
    // written.
    bool recordSent(const QStringList& marks, qint64 accepted);
    // Accepted recipients not yet in the ledger; a limit check counts them as in flight.
    qint64 uncountedSent() const;
    // Writes the uncounted recipients into the ledger now (a run pausing for a limit, or ending).
    bool writeCounts();
    void setLedgerIntervalMs(int ms) { ledgerIntervalMs_ = qMax(0, ms); }
    // Marks that could not be written are owed: they are kept in a file of the mailings folder, and the
    // next run over the same list writes them before it selects anyone, so nobody is mailed twice.
    bool keepOwedMarks(const QStringList& addresses);
    // How many owed marks of an earlier run this run wrote when it opened the list.
    qint64 owedMarksWritten() const { return owedMarksWritten_; }
    QString owedMarksPath() const;
    // How long a mark waits for a list locked by someone else; several seconds unless a test shortens it.
    void setMarkBusyTimeoutMs(int ms) { markBusyTimeoutMs_ = qMax(0, ms); }

    void GetMessageParams();
    QString GetAttachmentsString() const;
    QString GetSubject() const;
    QString GetMsgText() const;
    QString getHTMLText() const;
    qint16 getMessageType() const;
    bool CheckIfPersonalizedToAddress() const;
    // The To display for the current recipient: the personal name with a personal To (the bare address
    // when the name is blank), else the group To text.
    QString GetPersonalName(const GreetingSettings& greeting) const;
    QString GetGroupToAddress() const;
    const std::optional<MessageRecord>& CurMessageRS() const { return message_; }

    // The current recipient's row; empty before the first and after the last.
    const RecipientRecord& currentRecord() const { return record_; }
    bool atEnd() const { return atEnd_; }
    // The list file of the run (address-lists folder + ListPath).
    const QString& listPath() const { return listPath_; }
    // The columns of the list, read when the list was opened.
    const ListFieldSet& listFields() const { return fields_; }

    static QString endMarker() { return QStringLiteral("*EOF*"); }

    // The selection is taken up again after this many rows, so that no read of the list lasts the
    // whole run (tests make it small).
    void setRereadEvery(qint64 rows) { rereadEvery_ = qMax<qint64>(1, rows); }

private:
    bool resolveListPath();
    bool openListFiles();
    bool writeOwedMarks();
    // The selection: conditions joined with AND, in the order of the key column, at most limit rows.
    struct Selection {
        QStringList conditions;
        QVariantList values;
        bool byRowId = false; // key: the table's own order, else EAddress
        qint64 limit = -1;
        bool userQuery = false;
    };
    bool runSelection(const Selection& selection);
    // COUNT(*) of the selection with or without its not-yet-marked condition; -1 when it cannot be read.
    qint64 countSelected(const Selection& selection);
    // After an empty selection: whether it was empty only because of the sent mark.
    void noteOnlyMarkedLeft(Selection selection);
    // Prepares and steps the selection from the start, or after the given key with what is left of the
    // limit; the first row is read into record_.
    bool select(const QVariant& after);
    bool continueSelection();
    bool addUncounted(db::DbError* error);
    QString step(const char* caller);

    Prompter& prompter_;
    const MailEvent* options_ = nullptr;
    db::Database central_;
    db::Database reader_;
    db::Database writer_;
    db::Statement rows_;
    db::Statement mark_;
    RecipientRecord record_;
    ListFieldSet fields_;
    bool atEnd_ = true;
    bool firstPending_ = false; // the selection's first row is already in record_
    Selection selection_;
    qint64 handedOut_ = 0;    // rows read from the selection since its start
    qint64 sinceRestart_ = 0; // rows read by the statement in hand
    qint64 rereadEvery_ = 1000;
    int markBusyTimeoutMs_ = 10000;
    qint64 owedMarksWritten_ = 0;
    qint64 selectionCount_ = 0;
    bool onlyMarkedLeft_ = false;
    bool markCondition_ = false; // the selection's last condition is the not-yet-marked one
    QString listPath_;
    QString ledgerServer_;
    bool ledgerAttached_ = false;
    QMap<QDateTime, qint64> uncounted_; // by the hour they were accepted in
    QElapsedTimer countedAt_;
    int ledgerIntervalMs_ = 1000;
    std::optional<MessageRecord> message_;
};
