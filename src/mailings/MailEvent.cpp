#include "mailings/MailEvent.h"

#include "core/AppSettings.h"
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
    };
    IniFilesObject file;
    file.setInitializationFileName(path);
    for (const auto& [key, value] : keys)
        file.WriteKeyName(QStringLiteral("Profile"), QString::fromLatin1(key), value);
}
