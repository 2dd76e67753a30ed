#pragma once

#include "core/Prompter.h"
#include "db/Database.h"
#include "messages/Greetings.h"
#include "messages/MessageStore.h"
#include "messages/mdlMergeFields.h"

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
    QString GetFirstAddr();
    QString GetNextAddr();
    // Moves to the first selected recipient whose address equals the given one (without regard to case).
    void PositionToAddress(const QString& address);
    QString CheckSentField() const;
    // Writes the delivery options' SentFlag into every row of the address; angle brackets are dropped.
    void UpdateSuccessfulSentFlag(const QString& address);

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

private:
    bool resolveListPath();
    bool openListFiles();
    bool runSelection(const QString& sql, const QVariantList& values, bool userQuery);
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
    QString listPath_;
    std::optional<MessageRecord> message_;
};
