#pragma once

#include "db/CentralSchema.h"

#include <QDate>
#include <QString>

// A set of delivery options. The sending code reads only the fields that come from the Profile table;
// the others belong to the older file form of the record written by WriteMEPToFile.
class MailEvent {
public:
    QString AddressListName;
    QString MessageName;
    QString MailEventName;
    QString Description;
    QString From;
    QString ReplyTo;
    QString ErrorsTo;
    QString X_URL;
    bool bIfNoNameGenericName = false;
    QString GenericName;
    bool bUseSalutation = false;
    QString Salutation;
    bool bFirstNameOnly = false;
    bool bListAllInGroup = false;
    bool bUseGroupSalutation = false;
    QString GroupSalutation;
    bool bInfoMsg = false;
    bool bInfoBeforeAfter = false;
    QString InfoMsgTxt;
    bool bRemoveMsg = false;
    bool bRemoveBeforeAfter = false;
    bool bSendFiltered = false;
    QString SQLFilterText;
    bool bAndOrFlag = false;
    bool bFilterOnSource = false;
    QString SourceFilterText;
    bool bFilterOnKey = false;
    QString KeyFilterText;
    bool bFilterOnDate = false;
    QDate DateFilter;
    qint16 nBeforeOnAfter = 0;
    bool bFlagSends = false;
    QString SentFlag;
    QString SentFlagToPut;
    bool bSendInBlocks = false;
    qint32 SendBlockSize = 0;
    bool bIfNotYetFlagged = false;
    QString SentFlagToCheck;
    bool bTimedBlocks = false;
    qint32 TimedBlockSize = 0;
    qint16 TimeIncrement = 0;
    bool bInsertTimeDelay = false;
    qint32 TimeDelay = 0;
    QString SmtpServer;
    // Deliverability: all empty (and UseVERP off) leaves every message as it was without them.
    QString UnsubscribeAddress; // mailto target of List-Unsubscribe
    QString UnsubscribeURL;     // https target of List-Unsubscribe, may hold merge fields
    QString BounceAddress;      // envelope sender when set
    bool UseVERP = false;       // per-recipient envelope sender encoding the recipient
    QString DKIMDomain;
    QString DKIMSelector;
    QString DKIMKeyFile;
    // Throughput: SMTP sessions a run opens at once, and the messages the server takes per hour and per
    // day (0: no limit), counted in the send ledger across runs.
    qint32 Connections = 1;
    qint32 MaxPerHour = 0;
    qint32 MaxPerDay = 0;
    static constexpr int MaxConnections = 32;

    // Loads the set name from the Profile table. False, and the record unchanged, when there is no
    // such set or it cannot be read.
    bool GetMEPFromDB(const QString& name);
    // Writes the record as the set MailEventName. The new row replaces an old one of that name in one
    // transaction, so a failure keeps the old row. False on failure, and for a name NameRefusal refuses.
    bool storeMEP() const;
    // How the texts of NameRefusal call the name of a set.
    static QString nameKind() { return QStringLiteral("name of delivery options"); }

    // A run with these options passes over the recipients it marked: it marks each send, selects only
    // the unmarked, and checks for the very mark it writes. Such a run can be started again after an
    // early end without mailing anyone twice.
    bool skipsMarkedRecipients() const {
        return bFlagSends && bSendInBlocks && bIfNotYetFlagged && SentFlagToCheck == SentFlag;
    }
    // Timed blocks take effect only with a block size of at least 1.
    bool timedBlocksOn() const { return bTimedBlocks && TimedBlockSize > 0; }
    // The wait before each message in tenths of a second: 0 when off, at most MaxTimeDelay.
    int messageDelayTenths() const;
    static constexpr int MaxTimeDelay = 655;
    // The sessions of a run: Connections within 1 and MaxConnections.
    int sessionCount() const { return qBound(1, int(Connections), MaxConnections); }

    // Sets every field to its default and writes the record to "Default Mail Event" in the
    // mail-event profiles folder.
    void MakeDefaultMEP();
    void setDefaults();
    // Writes the record to section Profile of a settings file at path.
    void WriteMEPToFile(const QString& path) const;
};
