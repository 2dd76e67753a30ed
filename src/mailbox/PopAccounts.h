#pragma once

#include "core/Prompter.h"
#include "core/TlsTrust.h"

#include <QString>
#include <QStringList>
#include <optional>

// A POP account: a row of POPAccounts. ServerName is kept as the user gave it, with its security prefix
// and port (PopServer::parse reads it).
struct PopAccount {
    QString AccountID;
    QString UserName;
    QString Password; // in memory always plain
    QString ServerName;
};

// The accounts of the central database. A remembered password goes into the desktop keyring when there
// is one; otherwise it is kept reversibly encoded in the Password column (an obscuring, not a secret). A
// password that is not remembered is stored nowhere.
namespace PopAccounts {

QStringList names();
// The account with its password as stored (empty when none); nullopt when there is no such row.
std::optional<PopAccount> find(const QString& name);
// The same, telling the user "Can't find the Account" when there is no row.
std::optional<PopAccount> choose(const QString& name, Prompter& prompter);

// Why the text cannot name an account (a control character, more than the column holds); "" when it can.
QString nameProblem(const QString& name);

// The host and user name an account needs, each one line within its column; false after the message
// when one is missing or unfit.
bool validate(const PopAccount& account, Prompter& prompter);

// Adds a new account; an existing name, an invalid account or a failed insert is refused after its message.
bool add(const PopAccount& account, bool rememberPassword, Prompter& prompter);
// Writes the changed fields of an existing account.
bool update(const PopAccount& account, bool rememberPassword, Prompter& prompter);
// Asks, then deletes the account and its stored password; false when refused or failed.
bool remove(const QString& name, Prompter& prompter);

// The certificate the account's server is trusted with besides the system store (columns CertificateSHA256
// and CAFile); empty when none is set or there is no such account.
TlsTrust trustOf(const QString& name);
// Writes the account's trust; false when there is no such account or the write failed (logged).
bool setTrust(const QString& name, const TlsTrust& trust);

// Where a remembered password of the account is kept, for listings: "keyring", "database" or "".
QString passwordPlace(const QString& name);

// The reversible encoding of the Password column.
QString encodePassword(const QString& password);
QString decodePassword(const QString& stored);

// Said when a remembered password had to go into the Password column.
QString unencryptedPasswordText();

// The question that asks for a new account's name.
QString namePrompt();

} // namespace PopAccounts
