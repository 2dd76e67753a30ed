#include "db/CentralSchema.h"

#include "db/Database.h"

#include <QStringList>

namespace CentralSchema {

namespace {

using db::EngineType;

Column text(const char* name, int size, bool notNull = false) {
    return {QString::fromLatin1(name), EngineType::Text, size, notNull, {}};
}
Column memo(const char* name, QVariant defaultValue = {}) {
    return {QString::fromLatin1(name), EngineType::Memo, 0, false, std::move(defaultValue)};
}
Column of(const char* name, EngineType type, QVariant defaultValue = {}) {
    return {QString::fromLatin1(name), type, 0, type == EngineType::Counter, std::move(defaultValue)};
}

QList<Table> buildTables() {
    const EngineType Integer = EngineType::Integer;
    const EngineType Long = EngineType::Long;
    const EngineType Counter = EngineType::Counter;
    const EngineType YesNo = EngineType::YesNo;
    const EngineType DateTime = EngineType::DateTime;
    const auto key = [](const char* name) {
        return QString::fromLatin1(name);
    };
    return {
        {key("Tamberlyn"),
         key("TamberlynName"),
         key("TamberlynName"),
         {text("TamberlynName", 100, true), memo("TamberlynDescription")}},
        {key("List"),
         key("ListName"),
         key("ListName"),
         {text("ListName", 100, true), text("ListPath", 255, true), memo("ListDescription"),
          text("EmailFieldName", 50), text("TitleFieldName", 50), text("FNameFieldName", 50),
          text("LNameFieldName", 50), text("Key1FieldName", 50), text("Key2FieldName", 50),
          text("DateFieldName", 50), text("SentFieldName", 50), text("SourcePath", 255)}},
        {key("MailEvent"),
         key("MailEventName"),
         key("MailEventName"),
         {of("MailEventName", Counter), text("TamberlynName", 100, true), of("CreationDate", DateTime),
          text("ListName", 100, true), text("MessageName", 100, true), text("Profile", 100, true),
          text("DateSent", 25), of("SentCount", Long, 0), of("SentCountFailed", Long, 0), of("Active", YesNo),
          of("ScheduledDate", DateTime), of("ScheduledTime", DateTime), of("MailingSent", YesNo)}},
        {key("Message"),
         key("MessageName"),
         key("MessageName"),
         {text("MessageName", 100, true),
          memo("MessageDescription"),
          of("MessageCreationDate", DateTime),
          text("Subject", 255),
          of("SendType", Integer, 0),
          memo("HTMLText"),
          memo("MessageText"),
          memo("Attachments"),
          text("MailingList", 100),
          of("UseGreetingManager", YesNo),
          text("GreetingDisplay", 50),
          text("Salutation", 50),
          text("Punctuation", 5),
          of("UseTitle", YesNo),
          of("UseFName", YesNo),
          of("UseLName", YesNo),
          of("AddressType", Integer, 0),
          of("GreetingType", Integer, 0),
          text("GroupAddress", 255),
          text("GroupGreeting", 255),
          of("MissingFNameOption", YesNo),
          of("MissingLNameOption", YesNo),
          text("GenericName", 50),
          text("From", 255),
          text("XTamberlyn", 255),
          memo("HTMLGreeting", QString())}},
        {key("ErrorTable"),
         key("ID"),
         key("ID"),
         {of("ID", Counter), of("Date", DateTime), of("Time", DateTime), text("ErrDescription", 255),
          text("ErrFunction", 255), text("ErrSQLStr", 255), of("ErrNumber", Long), text("ErrSource", 255)}},
        {key("Profile"),
         key("ProfileName"),
         key("ProfileName"),
         {text("ProfileName", 100, true),
          memo("ProfileDescription"),
          of("ProfileCreationDate", DateTime),
          text("From", 50),
          text("ReplyTo", 50),
          text("ErrorsTo", 50),
          text("X_URL", 200),
          memo("CourtesyMessage"),
          of("bSendFiltered", YesNo),
          memo("SQLFilter"),
          of("bFlagSends", YesNo),
          text("SentFlag", 50),
          of("bSendInBlocks", YesNo),
          of("SendBlockSize", Long, 1000),
          of("bIfNotYetFlagged", YesNo),
          text("SentFlagToCheck", 50),
          of("bTimedBlocks", YesNo),
          of("TimedBlockSize", Long, 100),
          of("TimeIncrement", Long, 1),
          of("bInsertTimeDelay", YesNo),
          of("TimeDelay", Long, 1),
          text("SmtpServer", 200),
          text("UnsubscribeAddress", 255),
          memo("UnsubscribeURL"),
          text("BounceAddress", 255),
          of("UseVERP", YesNo),
          text("DKIMDomain", 255),
          text("DKIMSelector", 63),
          memo("DKIMKeyFile"),
          of("Connections", Integer, 1),
          of("MaxPerHour", Long, 0),
          of("MaxPerDay", Long, 0)}},
        {key("POPAccounts"),
         key("AC_ID"),
         key("AccountID"),
         {text("AccountID", 255, true), text("UserName", 255), text("Password", 50), text("ServerName", 255),
          text("CertificateSHA256", 95), memo("CAFile")}},
        // The run history: one row per run of a mailing, and its counts per 10-second step from the start.
        {key("MailRun"),
         key("RunID"),
         key("RunID"),
         {of("RunID", Counter), of("MailEventName", Long), text("Trigger", 20), of("RunStart", DateTime),
          of("RunEnd", DateTime), of("Passed", Long, 0), of("Failed", Long, 0), text("Outcome", 20)}},
        {key("MailRunSlice"),
         key("SliceID"),
         key("SliceID"),
         {of("SliceID", Counter), of("RunID", Long), of("Step", Long), of("Passed", Long, 0),
          of("Failed", Long, 0)}},
        // The messages sent through each SMTP server per hour, across runs and processes, for the hourly
        // and daily limits.
        {key("SendLedger"),
         key("LedgerID"),
         key("LedgerID"),
         {of("LedgerID", Counter), text("Server", 200), of("Hour", DateTime), of("Count", Long, 0)}},
        {key("ProductVersion"),
         key("TamberlynVersion"),
         key("TamberlynVersion"),
         {text("TamberlynVersion", 10, true), text("ProductType", 20), of("TBFVersion", Integer)}},
    };
}

bool isText(EngineType type) {
    return type == EngineType::Text || type == EngineType::Memo;
}

// A column default as an SQL literal; the defaults are the schema's own constants, never user input.
QString defaultLiteral(const QVariant& value) {
    if (value.typeId() == QMetaType::QString)
        return u'\'' + value.toString().replace(u'\'', QStringLiteral("''")) + u'\'';
    return QString::number(value.toLongLong());
}

} // namespace

const QList<Table>& tables() {
    static const QList<Table> all = buildTables();
    return all;
}

const Table* table(const QString& name) {
    for (const Table& t : tables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

const Column* column(const Table& table, const QString& name) {
    for (const Column& c : table.columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

QString createTableSql(const Table& table, bool allowEmptyText) {
    QStringList parts;
    bool keyInline = false;
    for (const Column& c : table.columns) {
        QString part = db::quoteName(c.name) + u' ';
        if (c.type == EngineType::Counter) {
            // A counter is the table's key by itself, so its constraint goes on the column.
            part += QStringLiteral("INTEGER NOT NULL CONSTRAINT ") + db::quoteName(table.keyConstraint) +
                    QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
            keyInline = true;
        } else {
            part += db::sqlType(c.type, c.size);
            if (c.notNull)
                part += QStringLiteral(" NOT NULL");
        }
        if (c.defaultValue.isValid())
            part += QStringLiteral(" DEFAULT ") + defaultLiteral(c.defaultValue);
        if (!allowEmptyText && isText(c.type))
            part += u' ' + db::notEmptyCheck(c.name);
        parts << part;
    }
    if (!keyInline)
        parts << QStringLiteral("CONSTRAINT ") + db::quoteName(table.keyConstraint) +
                     QStringLiteral(" PRIMARY KEY (") + db::quoteName(table.keyColumn) + u')';
    return QStringLiteral("CREATE TABLE ") + db::quoteName(table.name) + QStringLiteral(" (") +
           parts.join(QStringLiteral(", ")) + u')';
}

QString insertSql(const QString& table, const QStringList& columns) {
    QStringList names;
    QStringList marks;
    for (const QString& c : columns) {
        names << db::quoteName(c);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO ") + db::quoteName(table) + QStringLiteral(" (") +
           names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
           marks.join(QStringLiteral(", ")) + u')';
}

QStringList columnNames(const Table& table) {
    QStringList names;
    for (const Column& c : table.columns)
        names << c.name;
    return names;
}

} // namespace CentralSchema
