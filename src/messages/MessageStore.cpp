#include "messages/MessageStore.h"

#include "core/AppInfo.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/TypeMapping.h"
#include "messages/Greetings.h"
#include "messages/MessageEvents.h"
#include "util/StringFunctionsObject.h"

#include <QLocale>

namespace MessageStore {

namespace {

int untitledCounter = 0;

const QString Table = QStringLiteral("\"Message\"");

void logFailure(const char* procedure, const db::DbError& error) {
    LogError(QString::fromLatin1(procedure), {error.number, error.text});
}

QString timeText(const QTime& time) {
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("ss")))
        format.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return locale.toString(time, format);
}

// The greeting columns and their values as a new message gets them.
QVariantList greetingDefaults(QStringList& columns) {
    const GreetingSettings d = SetGreetingManagerDefaultValues();
    columns << "UseGreetingManager"
            << "UseTitle"
            << "UseFName"
            << "UseLName"
            << "MissingFNameOption"
            << "MissingLNameOption"
            << "GenericName"
            << "Punctuation"
            << "Salutation"
            << "AddressType"
            << "GreetingType"
            << "GroupAddress"
            << "GroupGreeting";
    return {db::yesNo(d.UseGreetingManager),
            db::yesNo(!d.TitleColumn.isEmpty()),
            db::yesNo(!d.FirstNameColumn.isEmpty()),
            db::yesNo(!d.LastNameColumn.isEmpty()),
            db::yesNo(d.MissingFNameOption),
            db::yesNo(d.MissingLNameOption),
            d.GenericName.isNull() ? QStringLiteral("") : d.GenericName,
            d.Punctuation,
            d.Salutation,
            d.AddressType,
            d.GreetingType,
            QStringLiteral(""),
            QStringLiteral("")};
}

QString insertStatement(const QStringList& columns) {
    QStringList names, marks;
    for (const QString& column : columns) {
        names << db::quoteName(column);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO ") + Table + QStringLiteral(" (") + names.join(u',') +
           QStringLiteral(") VALUES (") + marks.join(u',') + u')';
}

QString textOrEmpty(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

QString nameRefusal(const QString& name) {
    return NameRefusal(QStringLiteral("message name"), name);
}

} // namespace

// ---- New messages ----

QString temporaryNamePrefix() {
    return QStringLiteral("%%NewMailMessage%%");
}

bool isTemporaryName(const QString& name) {
    return name.startsWith(temporaryNamePrefix(), Qt::CaseInsensitive);
}

QString untitledCaption(int number) {
    return QStringLiteral("Untitled Message ") + QString::number(number);
}

void resetUntitledCounter() {
    untitledCounter = 0;
}

NewMessage CreateNewMessage() {
    NewMessage created;
    created.number = ++untitledCounter;
    created.caption = untitledCaption(created.number);
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen()) {
        logFailure("CreateNewMessage in frmMessageEdit", error);
        return created;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QString stamp = shortDateText(now.date()) + timeText(now.time());
    QStringList columns{"MessageName", "MessageCreationDate"};
    QVariantList values{QString(), db::toStoredDate(now)};
    values += greetingDefaults(columns);
    // The name holds the second and the counter; a row left from an earlier start in the same second
    // would collide, so the counter moves on past it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = temporaryNamePrefix() + stamp + QString::number(created.number);
        if (!MessageExists(name)) {
            values[0] = name;
            if (central.exec(insertStatement(columns), values, &error))
                created.name = name;
            else
                logFailure("CreateNewMessage in frmMessageEdit", error);
            return created;
        }
        created.number = ++untitledCounter;
        created.caption = untitledCaption(created.number);
    }
    return created;
}

// ---- Content ----

bool WriteMessageTextToDB(const QString& name, const MessageContent& content) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    const bool ok =
        central.isOpen() &&
        central.exec(QStringLiteral("UPDATE \"Message\" SET \"Subject\" = ?, \"GreetingDisplay\" = ?, "
                                    "\"Attachments\" = ?, \"MessageText\" = ?, \"HTMLText\" = ?, "
                                    "\"SendType\" = ?, \"From\" = ? WHERE \"MessageName\" = ?"),
                     {textOrEmpty(content.Subject), textOrEmpty(content.GreetingDisplay),
                      textOrEmpty(content.Attachments), textOrEmpty(content.MessageText),
                      textOrEmpty(content.HTMLText), content.SendType, textOrEmpty(content.From), name},
                     &error);
    if (!ok) {
        logFailure("WriteMessageTextToDB in frmMessageEdit", error);
        return false;
    }
    return central.changes() > 0;
}

std::optional<MessageRecord> ReadMessage(const QString& name) {
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement row = central.prepare(
        QStringLiteral("SELECT * FROM \"Message\" WHERE \"MessageName\" = ? ORDER BY rowid LIMIT 1"), &error);
    if (!row.isValid()) {
        logFailure("OpenMessage in frmMessageEdit", error);
        return std::nullopt;
    }
    row.bind(1, name);
    if (!row.next()) {
        if (row.error().isError())
            logFailure("OpenMessage in frmMessageEdit", row.error());
        return std::nullopt;
    }
    const auto text = [&](const char* column) {
        return row.text(row.columnIndex(QString::fromLatin1(column)));
    };
    const auto flag = [&](const char* column) {
        return db::fromYesNo(row.value(row.columnIndex(QString::fromLatin1(column))));
    };
    const auto number = [&](const char* column, qint32 ifNull) {
        const QVariant v = row.value(row.columnIndex(QString::fromLatin1(column)));
        return v.isNull() ? ifNull : v.toInt();
    };
    MessageRecord m;
    m.MessageName = text("MessageName");
    m.MessageDescription = text("MessageDescription");
    m.MessageCreationDate = db::fromStoredDate(text("MessageCreationDate"));
    m.Subject = text("Subject");
    m.SendType = number("SendType", 0);
    m.HTMLText = text("HTMLText");
    m.MessageText = text("MessageText");
    m.Attachments = text("Attachments");
    m.MailingList = text("MailingList");
    m.UseGreetingManager = flag("UseGreetingManager");
    m.GreetingDisplay = text("GreetingDisplay");
    m.Salutation = text("Salutation");
    m.Punctuation = text("Punctuation");
    m.UseTitle = flag("UseTitle");
    m.UseFName = flag("UseFName");
    m.UseLName = flag("UseLName");
    m.AddressType = number("AddressType", 0);
    m.GreetingType = number("GreetingType", -1);
    m.GroupAddress = text("GroupAddress");
    m.GroupGreeting = text("GroupGreeting");
    m.MissingFNameOption = flag("MissingFNameOption");
    m.MissingLNameOption = flag("MissingLNameOption");
    m.GenericName = text("GenericName");
    m.From = text("From");
    m.XTamberlyn = text("XTamberlyn");
    m.HTMLGreeting = text("HTMLGreeting");
    return m;
}

std::optional<MessageContent> ReadMessageTextFromDB(const QString& name) {
    const std::optional<MessageRecord> m = ReadMessage(name);
    if (!m)
        return std::nullopt;
    return MessageContent{m->MessageText, m->Subject, m->GreetingDisplay, m->Attachments, m->SendType,
                          m->HTMLText,    m->From};
}

bool MessageExists(const QString& name) {
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    return central
               .scalar(QStringLiteral("SELECT COUNT(*) FROM \"Message\" WHERE \"MessageName\" = ?"), {name})
               .value_or(QVariant(0))
               .toLongLong() > 0;
}

QStringList MessageNames() {
    QStringList names;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows =
        central.prepare(QStringLiteral("SELECT \"MessageName\" FROM \"Message\" ORDER BY \"MessageName\""));
    while (rows.next())
        names << rows.text(0);
    return names;
}

namespace {

const QString GreetingUpdate =
    QStringLiteral("UPDATE \"Message\" SET \"UseGreetingManager\" = ?, \"Salutation\" = ?, "
                   "\"Punctuation\" = ?, \"UseTitle\" = ?, \"UseFName\" = ?, \"UseLName\" = ?, "
                   "\"AddressType\" = ?, \"GreetingType\" = ?, \"GroupAddress\" = ?, "
                   "\"GroupGreeting\" = ?, \"MissingFNameOption\" = ?, \"MissingLNameOption\" = ?, "
                   "\"GenericName\" = ?, \"HTMLGreeting\" = ? WHERE \"MessageName\" = ?");

QVariantList greetingValues(const QString& name, const GreetingSettings& s) {
    return {db::yesNo(s.UseGreetingManager),
            textOrEmpty(s.Salutation),
            textOrEmpty(s.Punctuation),
            db::yesNo(!s.TitleColumn.isEmpty()),
            db::yesNo(!s.FirstNameColumn.isEmpty()),
            db::yesNo(!s.LastNameColumn.isEmpty()),
            s.AddressType,
            s.GreetingType,
            textOrEmpty(s.GroupAddress),
            textOrEmpty(s.GroupGreeting),
            db::yesNo(s.MissingFNameOption),
            db::yesNo(s.MissingLNameOption),
            textOrEmpty(s.GenericName),
            textOrEmpty(s.HTMLGreeting),
            name};
}

const QString ContentUpdate =
    QStringLiteral("UPDATE \"Message\" SET \"Subject\" = ?, \"GreetingDisplay\" = ?, "
                   "\"Attachments\" = ?, \"MessageText\" = ?, \"HTMLText\" = ?, "
                   "\"SendType\" = ?, \"From\" = ? WHERE \"MessageName\" = ?");

QVariantList contentValues(const QString& name, const MessageContent& content) {
    return {textOrEmpty(content.Subject),     textOrEmpty(content.GreetingDisplay),
            textOrEmpty(content.Attachments), textOrEmpty(content.MessageText),
            textOrEmpty(content.HTMLText),    content.SendType,
            textOrEmpty(content.From),        name};
}

// A temporary row (?1: the temporary prefix) with nothing the user wrote in it.
const QString EmptyTemporaryRow = QStringLiteral(
    "substr(\"MessageName\", 1, 18) = ?1 COLLATE NOCASE AND COALESCE(\"Subject\", '') = '' AND "
    "COALESCE(\"MessageText\", '') = '' AND COALESCE(\"HTMLText\", '') = '' AND "
    "COALESCE(\"Attachments\", '') = '' AND COALESCE(\"From\", '') = ''");

QList<MessageEntry> listing(const QString& condition) {
    QList<MessageEntry> entries;
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement rows = central.prepare(
        QStringLiteral("SELECT \"MessageName\", \"MessageDescription\", \"MessageCreationDate\" FROM "
                       "\"Message\" WHERE ") +
            condition + QStringLiteral(" ORDER BY \"MessageName\""),
        &error);
    if (!rows.isValid()) {
        logFailure("MessageListing in mdlMessageActions", error);
        return entries;
    }
    rows.bind(1, temporaryNamePrefix());
    while (rows.next())
        entries.append({rows.text(0), rows.text(1), db::fromStoredDate(rows.text(2))});
    return entries;
}

} // namespace

QList<MessageEntry> MessageListing() {
    return listing(QStringLiteral("substr(\"MessageName\", 1, 18) <> ?1 COLLATE NOCASE"));
}

QList<MessageEntry> UnsavedMessages() {
    return listing(QStringLiteral("substr(\"MessageName\", 1, 18) = ?1 COLLATE NOCASE AND NOT (") +
                   EmptyTemporaryRow + u')');
}

QString unsavedCaption(const QDateTime& created) {
    return QStringLiteral("Unsaved message of ") + QLocale::system().toString(created, QLocale::ShortFormat);
}

int PurgeEmptyTemporaryMessages() {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(QStringLiteral("DELETE FROM \"Message\" WHERE ") + EmptyTemporaryRow,
                      {temporaryNamePrefix()}, &error)) {
        logFailure("PurgeEmptyTemporaryMessages in mdlMessageActions", error);
        return 0;
    }
    return int(central.changes());
}

bool SaveMessage(const QString& name, const MessageContent& content, const QString& mailingList,
                 const GreetingSettings& greeting) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen()) {
        logFailure("SaveMessage in frmMessageEdit", error);
        return false;
    }
    db::Transaction transaction(central);
    bool ok = central.exec(ContentUpdate, contentValues(name, content), &error);
    const bool found = ok && central.changes() > 0;
    ok = ok && found &&
         central.exec(QStringLiteral("UPDATE \"Message\" SET \"MailingList\" = ? WHERE \"MessageName\" = ?"),
                      {textOrEmpty(mailingList), name}, &error) &&
         central.exec(GreetingUpdate, greetingValues(name, greeting), &error) && transaction.commit(&error);
    if (!ok && found)
        logFailure("SaveMessage in frmMessageEdit", error);
    return ok;
}

bool WriteGreetingSettings(const QString& name, const GreetingSettings& s) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    const bool ok =
        central.isOpen() &&
        central.exec(
            QStringLiteral("UPDATE \"Message\" SET \"UseGreetingManager\" = ?, \"Salutation\" = ?, "
                           "\"Punctuation\" = ?, \"UseTitle\" = ?, \"UseFName\" = ?, \"UseLName\" = ?, "
                           "\"AddressType\" = ?, \"GreetingType\" = ?, \"GroupAddress\" = ?, "
                           "\"GroupGreeting\" = ?, \"MissingFNameOption\" = ?, \"MissingLNameOption\" = ?, "
                           "\"GenericName\" = ?, \"HTMLGreeting\" = ? WHERE \"MessageName\" = ?"),
            {db::yesNo(s.UseGreetingManager), textOrEmpty(s.Salutation), textOrEmpty(s.Punctuation),
             db::yesNo(!s.TitleColumn.isEmpty()), db::yesNo(!s.FirstNameColumn.isEmpty()),
             db::yesNo(!s.LastNameColumn.isEmpty()), s.AddressType, s.GreetingType,
             textOrEmpty(s.GroupAddress), textOrEmpty(s.GroupGreeting), db::yesNo(s.MissingFNameOption),
             db::yesNo(s.MissingLNameOption), textOrEmpty(s.GenericName), textOrEmpty(s.HTMLGreeting), name},
            &error);
    if (!ok) {
        logFailure("ShowGreetingManager in frmMessageGreeting", error);
        return false;
    }
    return central.changes() > 0;
}

bool ImportMessage(const MessageRecord& message, db::DbError* error) {
    if (const QString refusal = nameRefusal(message.MessageName); !refusal.isEmpty()) {
        if (error)
            *error = {1, refusal};
        return false;
    }
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, error);
    if (!central.isOpen())
        return false;
    QStringList columns{"MessageName", "MessageDescription", "MessageCreationDate", "Subject",     "SendType",
                        "HTMLText",    "MessageText",        "Attachments",         "MailingList", "From",
                        "XTamberlyn",  "HTMLGreeting",       "GreetingDisplay"};
    const QDateTime created =
        message.MessageCreationDate.isValid() ? message.MessageCreationDate : QDateTime::currentDateTime();
    QVariantList values{message.MessageName,
                        textOrEmpty(message.MessageDescription),
                        db::toStoredDate(created),
                        textOrEmpty(message.Subject),
                        message.SendType,
                        textOrEmpty(message.HTMLText),
                        textOrEmpty(message.MessageText),
                        textOrEmpty(message.Attachments),
                        textOrEmpty(message.MailingList),
                        textOrEmpty(message.From),
                        textOrEmpty(message.XTamberlyn),
                        textOrEmpty(message.HTMLGreeting),
                        textOrEmpty(message.GreetingDisplay)};
    values += greetingDefaults(columns);
    db::Transaction transaction(central);
    const bool ok = central.exec(QStringLiteral("DELETE FROM \"Message\" WHERE \"MessageName\" = ?"),
                                 {message.MessageName}, error) &&
                    central.exec(insertStatement(columns), values, error) && transaction.commit(error);
    if (ok)
        Q_EMIT MessageEvents::instance().messagesChanged();
    return ok;
}

// ---- Names ----

bool IsValidMessageName(const QString& name) {
    static const QString refused = QStringLiteral("'\"/\\?:;|*");
    for (const QChar c : name) {
        if (refused.contains(c))
            return false;
    }
    return true;
}

QString invalidNameText() {
    return QStringLiteral("Please Enter a Valid Filename. A valid filename cannot conatain the following "
                          "characters:  \n    \"  *  ?  /  \\  |  :  ;");
}

bool CheckSaveName(const QString& name, Prompter& prompter) {
    if (name.trimmed().isEmpty()) {
        prompter.inform(AppTitle(), emptyNameText(), Prompter::Icon::Exclamation);
        return false;
    }
    if (isTemporaryName(name)) {
        prompter.inform(AppTitle(), temporaryNameText(), Prompter::Icon::Exclamation);
        return false;
    }
    if (const QString refusal = nameRefusal(name); !refusal.isEmpty()) {
        prompter.inform(AppTitle(), refusal, Prompter::Icon::Exclamation);
        return false;
    }
    if (IsValidMessageName(name))
        return true;
    prompter.inform(AppTitle(), invalidNameText(), Prompter::Icon::Exclamation);
    return false;
}

QString emptyNameText() {
    return QStringLiteral("Please enter a name for the message.");
}

QString temporaryNameText() {
    return QStringLiteral("A message name may not begin with \"") + temporaryNamePrefix() +
           QStringLiteral("\".");
}

QString renameConflictText() {
    return QStringLiteral("There is already a message with that name, please choose another.");
}

QString copyConflictText() {
    return QStringLiteral("The New Name already exists, please choose another.");
}

// ---- Rename, copy, delete ----

bool RenameMessage(const QString& oldName, const QString& newName, const QString& newDescription,
                   bool refreshCentre, Prompter& prompter) {
    if (const QString refusal = nameRefusal(newName); !refusal.isEmpty()) {
        prompter.inform(AppTitle(), refusal, Prompter::Icon::Exclamation);
        return false;
    }
    if (MessageExists(newName)) {
        prompter.inform(AppTitle(), renameConflictText(), Prompter::Icon::Exclamation);
        return false;
    }
    Q_EMIT MessageEvents::instance().closeEditors(oldName);
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    const bool ok = central.isOpen() &&
                    central.exec(QStringLiteral("UPDATE \"Message\" SET \"MessageName\" = ?, "
                                                "\"MessageDescription\" = ? WHERE \"MessageName\" = ?"),
                                 {newName, textOrEmpty(newDescription), oldName}, &error);
    if (!ok) {
        logFailure("RenameMessage in mdlMessageActions", error);
        return false;
    }
    if (refreshCentre)
        Q_EMIT MessageEvents::instance().messagesChanged();
    return central.changes() > 0;
}

bool CopyMessage(const QString& oldName, const QString& newName, const QString& newDescription,
                 Prompter& prompter) {
    if (const QString refusal = nameRefusal(newName); !refusal.isEmpty()) {
        prompter.inform(AppTitle(), refusal, Prompter::Icon::Exclamation);
        return false;
    }
    if (MessageExists(newName)) {
        prompter.inform(AppTitle(), copyConflictText(), Prompter::Icon::Exclamation);
        return false;
    }
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen()) {
        logFailure("CopyMessage in mdlMessageActions", error);
        return false;
    }
    // Every column the table has, so that columns added by an upgrade are copied too.
    QStringList targets, sources;
    for (const db::ColumnInfo& column : central.columns(QStringLiteral("Message"))) {
        const QString quoted = db::quoteName(column.name);
        targets << quoted;
        if (column.name.compare(QLatin1StringView("MessageName"), Qt::CaseInsensitive) == 0)
            sources << QStringLiteral("?1");
        else if (column.name.compare(QLatin1StringView("MessageDescription"), Qt::CaseInsensitive) == 0)
            sources << QStringLiteral("?2");
        else
            sources << quoted;
    }
    // One statement: the copy is written whole or not at all.
    const bool ok = central.exec(QStringLiteral("INSERT INTO \"Message\" (") + targets.join(u',') +
                                     QStringLiteral(") SELECT ") + sources.join(u',') +
                                     QStringLiteral(" FROM \"Message\" WHERE \"MessageName\" = ?3"),
                                 {newName, textOrEmpty(newDescription), oldName}, &error);
    if (!ok) {
        logFailure("CopyMessage in mdlMessageActions", error);
        return false;
    }
    if (central.changes() == 0)
        return false;
    Q_EMIT MessageEvents::instance().messagesChanged();
    return true;
}

bool DeleteMessageByName(const QString& name) {
    Q_EMIT MessageEvents::instance().closeEditors(name);
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(QStringLiteral("DELETE FROM \"Message\" WHERE \"MessageName\" = ?"), {name}, &error)) {
        logFailure("DeleteMessageByName in mdlMessageActions", error);
        return false;
    }
    const bool deleted = central.changes() > 0;
    Q_EMIT MessageEvents::instance().messageRemoved(name);
    return deleted;
}

bool DeleteMessageBeforeUnload(const QString& name) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(QStringLiteral("DELETE FROM \"Message\" WHERE \"MessageName\" = ?"), {name}, &error)) {
        logFailure("DeleteMessageBeforeUnload in frmMessageEdit", error);
        return false;
    }
    Q_EMIT MessageEvents::instance().messageRemoved(name);
    return true;
}

bool IsDiscardableOnClose(const QString& name, const MessageContent& content) {
    return isTemporaryName(name) && content.MessageText.isEmpty() && content.HTMLText.isEmpty() &&
           content.Subject.isEmpty() && content.From.isEmpty() && content.Attachments.isEmpty();
}

// ---- Dialog texts ----

QString savePrompt() {
    return QStringLiteral("Select a name to save your message as:");
}

QString openPrompt() {
    return QStringLiteral("Select a message or messages from the list to open:");
}

QString deletePrompt() {
    return QStringLiteral("Select a message or messages from the list to delete:");
}

QString nothingSelectedText() {
    return QStringLiteral("Please select a message or messages to delete.");
}

QString deleteQuestion(int count) {
    return QStringLiteral("Delete the ") + QString::number(count) + QStringLiteral(" message(s) ?");
}

} // namespace MessageStore
