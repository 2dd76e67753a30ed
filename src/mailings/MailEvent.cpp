#include "mailings/MailEvent.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/TypeMapping.h"
#include "mailings/MailingEvents.h"
#include "util/StringFunctionsObject.h"

#include <QList>
#include <utility>

void MailEvent::setDefaults() {
    const AppSettings& settings = appSettings();
    *this = MailEvent();
    AddressListName = QStringLiteral("YourList.ISD");
    MessageName = QStringLiteral("YourMsg");
    MailEventName = QString::fromLatin1(DefaultMailEventName);
    From = settings.SendersEmailAddress;
    X_URL = QStringLiteral("http://www.example.invalid/");
    bIfNoNameGenericName = true;
    GenericName = QStringLiteral("Our Valued Customers");
    bUseSalutation = true;
    Salutation = QStringLiteral("Dear");
    bListAllInGroup = true;
    bUseGroupSalutation = true;
    GroupSalutation = QStringLiteral("Dear Valued Customer,");
    bInfoBeforeAfter = true;
    InfoMsgTxt = QStringLiteral("Visit our web site for more news:\r\nhttp://www.example.invalid/");
    bRemoveBeforeAfter = true;
    SourceFilterText = QStringLiteral("ListSource");
    KeyFilterText = QStringLiteral("AKey");
    DateFilter = QDate(1997, 9, 30);
    bFlagSends = true;
    SentFlagToPut = QStringLiteral("SentOct10");
    SendBlockSize = 2000;
    bIfNotYetFlagged = true;
    SentFlagToCheck = QStringLiteral("SentSep30");
    TimedBlockSize = 500;
    TimeIncrement = 5;
    SmtpServer = settings.MailServer;
}

void MailEvent::MakeDefaultMEP() {
    setDefaults();
    WriteMEPToFile(appFolders().MailEventProfilesFolder + QString::fromLatin1(DefaultMailEventName));
}

void MailEvent::WriteMEPToFile(const QString& path) const {
    const QList<std::pair<const char*, QString>> keys = {
        {"AddressList", AddressListName},
        {"MessageFile", MessageName},
        {"MailEventName", MailEventName},
        {"From", From},
        {"ReplyTo", ReplyTo},
        {"ErrorsTo", ErrorsTo},
        {"X_URL", X_URL},
        {"IfNoNameGenericName", boolSetting(bIfNoNameGenericName)},
        {"GenericName", GenericName},
        {"UseSalutation", boolSetting(bUseSalutation)},
        {"Salutation", Salutation},
        {"FirstNameOnly", boolSetting(bFirstNameOnly)},
        {"ListAllInGroup", boolSetting(bListAllInGroup)},
        {"UseGroupSalutation", boolSetting(bUseGroupSalutation)},
        {"GroupSalutation", GroupSalutation},
        {"IfInfoMsg", boolSetting(bInfoMsg)},
        {"InfoBeforeAfter", boolSetting(bInfoBeforeAfter)},
        {"IfRemoveMsg", boolSetting(bRemoveMsg)},
        {"RemoveBeforeAfter", boolSetting(bRemoveBeforeAfter)},
        {"IfSendFiltered", boolSetting(bSendFiltered)},
        {"AndOrFlag", boolSetting(bAndOrFlag)},
        {"IfFilterOnSource", boolSetting(bFilterOnSource)},
        {"SourceFilterText", SourceFilterText},
        {"IfFilterOnKey", boolSetting(bFilterOnKey)},
        {"KeyFilterText", KeyFilterText},
        {"IfFilterOnDate", boolSetting(bFilterOnDate)},
        {"DateFilter", shortDateText(DateFilter)},
        {"BeforeOnAfterDate", QString::number(nBeforeOnAfter)},
        {"IfFlagSends", boolSetting(bFlagSends)},
        {"SentFlagToPut", SentFlagToPut},
        {"IfSendInBlocks", boolSetting(bSendInBlocks)},
        {"SendBlockSize", QString::number(SendBlockSize)},
        {"IfNotYetFlagged", boolSetting(bIfNotYetFlagged)},
        {"SentFlagToCheck", SentFlagToCheck},
        {"SMTPServer", SmtpServer},
        {"IfTimedBlocks", boolSetting(bTimedBlocks)},
        {"TimedBlockSize", QString::number(TimedBlockSize)},
        {"TimeIncrement", QString::number(TimeIncrement)},
        {"UnsubscribeAddress", UnsubscribeAddress},
        {"UnsubscribeURL", UnsubscribeURL},
        {"BounceAddress", BounceAddress},
        {"UseVERP", boolSetting(UseVERP)},
        {"DKIMDomain", DKIMDomain},
        {"DKIMSelector", DKIMSelector},
        {"DKIMKeyFile", DKIMKeyFile},
        {"Connections", QString::number(Connections)},
        {"MaxPerHour", QString::number(MaxPerHour)},
        {"MaxPerDay", QString::number(MaxPerDay)},
    };
    IniFilesObject file;
    file.setInitializationFileName(path);
    for (const auto& [key, value] : keys)
        file.WriteKeyName(QStringLiteral("Profile"), QString::fromLatin1(key), value);
}

namespace {

// The Profile columns the record loads and stores, in table order.
const QStringList ProfileColumns = {QStringLiteral("ProfileName"),
                                    QStringLiteral("ProfileDescription"),
                                    QStringLiteral("From"),
                                    QStringLiteral("ReplyTo"),
                                    QStringLiteral("ErrorsTo"),
                                    QStringLiteral("X_URL"),
                                    QStringLiteral("bSendFiltered"),
                                    QStringLiteral("SQLFilter"),
                                    QStringLiteral("bFlagSends"),
                                    QStringLiteral("SentFlag"),
                                    QStringLiteral("bSendInBlocks"),
                                    QStringLiteral("SendBlockSize"),
                                    QStringLiteral("bIfNotYetFlagged"),
                                    QStringLiteral("SentFlagToCheck"),
                                    QStringLiteral("bTimedBlocks"),
                                    QStringLiteral("TimedBlockSize"),
                                    QStringLiteral("TimeIncrement"),
                                    QStringLiteral("bInsertTimeDelay"),
                                    QStringLiteral("TimeDelay"),
                                    QStringLiteral("SmtpServer"),
                                    QStringLiteral("UnsubscribeAddress"),
                                    QStringLiteral("UnsubscribeURL"),
                                    QStringLiteral("BounceAddress"),
                                    QStringLiteral("UseVERP"),
                                    QStringLiteral("DKIMDomain"),
                                    QStringLiteral("DKIMSelector"),
                                    QStringLiteral("DKIMKeyFile"),
                                    QStringLiteral("Connections"),
                                    QStringLiteral("MaxPerHour"),
                                    QStringLiteral("MaxPerDay")};

QString columnList() {
    QStringList quoted;
    for (const QString& column : ProfileColumns)
        quoted << db::quoteName(column);
    return quoted.join(QStringLiteral(", "));
}

} // namespace

bool MailEvent::GetMEPFromDB(const QString& name) {
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement row = central.isOpen() ? central.prepare(QStringLiteral("SELECT ") + columnList() +
                                                               QStringLiteral(" FROM \"Profile\" WHERE "
                                                                              "\"ProfileName\" = ?1 LIMIT 1"),
                                                           &error)
                                         : db::Statement();
    if (!row.isValid())
        return false;
    row.bind(1, name);
    if (!row.next())
        return false;
    const auto text = [&row](int i) {
        return row.text(i);
    };
    const auto number = [&row](int i) {
        return row.value(i).toLongLong();
    };
    const auto flag = [&row](int i) {
        return row.value(i).toLongLong() != 0;
    };
    MailEventName = text(0);
    Description = text(1);
    From = text(2);
    ReplyTo = text(3);
    ErrorsTo = text(4);
    X_URL = text(5);
    bSendFiltered = flag(6);
    SQLFilterText = text(7);
    bFlagSends = flag(8);
    SentFlag = text(9);
    bSendInBlocks = flag(10);
    SendBlockSize = qint32(number(11));
    bIfNotYetFlagged = flag(12);
    SentFlagToCheck = text(13);
    bTimedBlocks = flag(14);
    TimedBlockSize = qint32(number(15));
    TimeIncrement = qint16(number(16));
    bInsertTimeDelay = flag(17);
    TimeDelay = qint32(number(18));
    SmtpServer = text(19);
    UnsubscribeAddress = text(20);
    UnsubscribeURL = text(21);
    BounceAddress = text(22);
    UseVERP = flag(23);
    DKIMDomain = text(24);
    DKIMSelector = text(25);
    DKIMKeyFile = text(26);
    // A file upgraded from before the setting holds 0: one session, as before.
    Connections = qint32(qBound(qint64(1), number(27), qint64(MaxConnections)));
    MaxPerHour = qint32(number(28));
    MaxPerDay = qint32(number(29));
    return true;
}

bool MailEvent::storeMEP() const {
    if (const QString refusal = NameRefusal(nameKind(), MailEventName); !refusal.isEmpty()) {
        LogError(QStringLiteral("storeMEP in MailEvent"), {1, refusal});
        return false;
    }
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen()) {
        LogError(QStringLiteral("storeMEP in MailEvent"), {error.number, error.text});
        return false;
    }
    const QVariantList values = {MailEventName,
                                 Description,
                                 From,
                                 ReplyTo,
                                 ErrorsTo,
                                 X_URL,
                                 db::yesNo(bSendFiltered),
                                 SQLFilterText,
                                 db::yesNo(bFlagSends),
                                 SentFlag,
                                 db::yesNo(bSendInBlocks),
                                 SendBlockSize,
                                 db::yesNo(bIfNotYetFlagged),
                                 SentFlagToCheck,
                                 db::yesNo(bTimedBlocks),
                                 TimedBlockSize,
                                 TimeIncrement,
                                 db::yesNo(bInsertTimeDelay),
                                 TimeDelay,
                                 SmtpServer,
                                 UnsubscribeAddress,
                                 UnsubscribeURL,
                                 BounceAddress,
                                 db::yesNo(UseVERP),
                                 DKIMDomain,
                                 DKIMSelector,
                                 DKIMKeyFile,
                                 Connections,
                                 MaxPerHour,
                                 MaxPerDay};
    QStringList parameters;
    for (qsizetype i = 1; i <= ProfileColumns.size(); ++i)
        parameters << u'?' + QString::number(i);
    db::Transaction transaction(central);
    const bool stored =
        central.exec(QStringLiteral("DELETE FROM \"Profile\" WHERE \"ProfileName\" = ?1"), {MailEventName},
                     &error) &&
        central.exec(QStringLiteral("INSERT INTO \"Profile\" (") + columnList() +
                         QStringLiteral(") VALUES (") + parameters.join(QStringLiteral(", ")) + u')',
                     values, &error) &&
        transaction.commit(&error);
    if (!stored)
        LogError(QStringLiteral("storeMEP in MailEvent"), {error.number, error.text});
    else
        Q_EMIT MailingEvents::instance().profilesChanged();
    return stored;
}

int MailEvent::messageDelayTenths() const {
    if (!bInsertTimeDelay || TimeDelay <= 0)
        return 0;
    return qMin(TimeDelay, qint32(MaxTimeDelay));
}
