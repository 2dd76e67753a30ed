#pragma once

#include "core/Prompter.h"
#include "db/Database.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

struct GreetingSettings;

// One row of table Message. Reading maps NULL to "" and no, SendType and AddressType to 0 and
// GreetingType to -1 (no greeting).
struct MessageRecord {
    QString MessageName;
    QString MessageDescription;
    QDateTime MessageCreationDate;
    QString Subject;
    qint32 SendType = 0; // 0 plain text, 1 HTML, 2 HTML with a plain-text alternative
    QString HTMLText;
    QString MessageText;
    QString Attachments; // paths separated by ";"
    QString MailingList;
    bool UseGreetingManager = false;
    QString GreetingDisplay;
    QString Salutation;
    QString Punctuation;
    bool UseTitle = false;
    bool UseFName = false;
    bool UseLName = false;
    qint32 AddressType = 0;   // 0 group To text, 1 personal name
    qint32 GreetingType = -1; // 1 personal, 0 group, -1 none
    QString GroupAddress;
    QString GroupGreeting;
    bool MissingFNameOption = false;
    bool MissingLNameOption = false;
    QString GenericName;
    QString From;
    QString XTamberlyn;
    QString HTMLGreeting;
};

// What the message editor writes and reads.
struct MessageContent {
    QString MessageText;
    QString Subject;
    QString GreetingDisplay; // the To summary
    QString Attachments;
    qint32 SendType = 0;
    QString HTMLText;
    QString From;
};

// The message store: messages live in table Message of the central database; each operation opens
// it, works and closes it again. Window effects go out through MessageEvents.
namespace MessageStore {

// ---- New messages ----

struct NewMessage {
    QString name;    // the temporary name of the new row; empty when it could not be written
    int number = 0;  // the untitled counter's value
    QString caption; // "Untitled Message " + number
};
// Adds a row under a temporary name with the greeting defaults; the counter starts at 0 each time the
// program starts.
NewMessage CreateNewMessage();
// Starts the untitled counter afresh, as a new start of the program does.
void resetUntitledCounter();
QString temporaryNamePrefix();
bool isTemporaryName(const QString& name);
QString untitledCaption(int number);

// ---- Content ----

// Writes the editor's content into the row; false when there is no such row or the write fails.
bool WriteMessageTextToDB(const QString& name, const MessageContent& content);
std::optional<MessageContent> ReadMessageTextFromDB(const QString& name);
// The whole row; nullopt when there is none.
std::optional<MessageRecord> ReadMessage(const QString& name);
bool MessageExists(const QString& name);
// Every message name, in name order.
QStringList MessageNames();

// A message as the open, save and delete dialogs list it.
struct MessageEntry {
    QString name;
    QString description;
    QDateTime created;
};
// The saved messages with their descriptions, in name order; rows under a temporary name are left out.
QList<MessageEntry> MessageListing();
// The rows under a temporary name that hold something: messages never saved, left by an earlier run.
QList<MessageEntry> UnsavedMessages();
// How the dialogs name such a row: "Unsaved message of " + its creation date and time.
QString unsavedCaption(const QDateTime& created);
// Deletes the rows under a temporary name that hold nothing (at start-up); the number deleted.
int PurgeEmptyTemporaryMessages();
// The editor's Save: its content, the mailing list of its merge fields and the greeting settings, in
// one transaction. False when there is no such row or the write fails.
bool SaveMessage(const QString& name, const MessageContent& content, const QString& mailingList,
                 const GreetingSettings& greeting);
// Writes the greeting and To settings of the greeting window into the row.
bool WriteGreetingSettings(const QString& name, const GreetingSettings& settings);
// Creates the message, or replaces the row of that name (any case), with the greeting defaults.
bool ImportMessage(const MessageRecord& message, db::DbError* error = nullptr);

// ---- Names ----

// The save dialog's check: a name, at most MaxNameLength characters, not a temporary name, and no
// apostrophe, double quote, slash, backslash, question mark, colon,
// semicolon, vertical bar or asterisk.
bool IsValidMessageName(const QString& name);
QString invalidNameText();
QString emptyNameText();
QString temporaryNameText();
// Says why and answers false for a name the save dialog refuses.
bool CheckSaveName(const QString& name, Prompter& prompter);
QString renameConflictText();
QString copyConflictText();

// ---- Rename, copy, delete ----

// Renames a message (the save of a message under its temporary name). A name already taken is
// reported and changes nothing. Editors captioned with the old name close; refreshCentre announces the
// change to the mailing centre and wizard.
bool RenameMessage(const QString& oldName, const QString& newName, const QString& newDescription,
                   bool refreshCentre, Prompter& prompter);
// Save as: a copy of every column under the new name and description, in one transaction.
bool CopyMessage(const QString& oldName, const QString& newName, const QString& newDescription,
                 Prompter& prompter);
// Closes the editors captioned with the name, deletes the row and announces its removal. Mailings
// naming the message are left as they are.
bool DeleteMessageByName(const QString& name);
// The row of an editor that closes without anything worth keeping.
bool DeleteMessageBeforeUnload(const QString& name);
// Whether closing the editor should just delete its row: an unsaved message with every field empty.
bool IsDiscardableOnClose(const QString& name, const MessageContent& content);

// ---- Dialog texts ----

QString savePrompt();
QString openPrompt();
QString deletePrompt();
QString nothingSelectedText();
QString deleteQuestion(int count);

} // namespace MessageStore
