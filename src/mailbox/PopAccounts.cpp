#include "mailbox/PopAccounts.h"

#include "core/AppInfo.h"
#include "core/ErrorLog.h"
#include "core/SecretStore.h"
#include "db/CentralDatabase.h"
#include "db/DbHelpers.h"
#include "util/StringFunctionsObject.h"

namespace PopAccounts {

namespace {

const QString Source = QStringLiteral(" in PopAccounts");

// Mixed into the stored bytes so that the column does not show the password at a glance.
const QByteArray Mask = QByteArrayLiteral("Tamberlyn POP account");
const QString EncodedPrefix = QStringLiteral("~");

QVariant orNull(const QString& text) {
    return text.isEmpty() ? QVariant() : QVariant(text);
}

void logFailure(const char* procedure, const db::DbError& error) {
    LogError(QLatin1String(procedure) + Source, {error.number, error.text});
}

std::optional<PopAccount> readRow(const QString& name, QString* storedColumn = nullptr) {
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement select = central.prepare(
        QStringLiteral("SELECT \"AccountID\", \"UserName\", \"Password\", \"ServerName\" FROM "
                       "\"POPAccounts\" WHERE \"AccountID\" = ?"),
        &error);
    if (!select.isValid()) {
        logFailure("find", error);
        return std::nullopt;
    }
    select.bind(1, name);
    if (!select.next())
        return std::nullopt;
    PopAccount account{select.text(0), select.text(1), {}, select.text(3)};
    if (storedColumn)
        *storedColumn = select.text(2);
    return account;
}

// Stores or forgets the password as "Remember Password" says; the value for the Password column.
QVariant storePassword(const PopAccount& account, bool remember) {
    if (!remember || account.Password.isEmpty()) {
        if (SecretStore::isAvailable())
            SecretStore::clearPassword(account.ServerName, account.UserName, SecretStore::Service::Pop);
        return {};
    }
    if (SecretStore::isAvailable() &&
        SecretStore::storePassword(account.ServerName, account.UserName, account.Password, nullptr,
                                   SecretStore::Service::Pop))
        return {};
    return encodePassword(account.Password);
}

// The size of the columns AccountID, UserName and ServerName.
constexpr qsizetype ColumnSize = 255;

bool fitsOneLine(const QString& text) {
    return text.size() <= ColumnSize && !StringFunctionsObject::containsControlCharacter(text);
}

bool exists(const QString& name) {
    return CountMatching(QStringLiteral("POPAccounts"), QStringLiteral("AccountID"), name) > 0;
}

} // namespace

QStringList names() {
    QStringList result;
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement select = central.prepare(
        QStringLiteral("SELECT \"AccountID\" FROM \"POPAccounts\" ORDER BY \"AccountID\""), &error);
    if (!select.isValid()) {
        logFailure("names", error);
        return result;
    }
    while (select.next())
        result << select.text(0);
    return result;
}

std::optional<PopAccount> find(const QString& name) {
    QString stored;
    std::optional<PopAccount> account = readRow(name, &stored);
    if (!account)
        return account;
    if (!stored.isEmpty())
        account->Password = decodePassword(stored);
    else if (SecretStore::isAvailable())
        account->Password =
            SecretStore::lookupPassword(account->ServerName, account->UserName, SecretStore::Service::Pop)
                .value_or(QString());
    return account;
}

std::optional<PopAccount> choose(const QString& name, Prompter& prompter) {
    std::optional<PopAccount> account = find(name);
    if (!account)
        prompter.inform(AppTitle(), QStringLiteral("Can't find the Account"), Prompter::Icon::Exclamation);
    return account;
}

QString nameProblem(const QString& name) {
    if (StringFunctionsObject::containsControlCharacter(name))
        return QStringLiteral(
            "An account name cannot hold a tab, a line break or another control character.");
    if (name.size() > ColumnSize)
        return QStringLiteral("An account name can have at most 255 characters.");
    return {};
}

bool validate(const PopAccount& account, Prompter& prompter) {
    // Both go into POP commands, where a line break would start a command of its own.
    if (!fitsOneLine(account.ServerName) || !fitsOneLine(account.UserName)) {
        prompter.inform(AppTitle(),
                        QStringLiteral("The POP host and the user name can have at most 255 characters each "
                                       "and cannot hold a tab, a line break or another control character."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    if (account.ServerName.trimmed().isEmpty()) {
        prompter.inform(AppTitle(), QStringLiteral("You need to give a POP host name for your POP account."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    if (account.UserName.trimmed().isEmpty()) {
        prompter.inform(AppTitle(),
                        QStringLiteral("You need to give a user name for your POP account.\n"
                                       "If you do not know your user name see your System Administrator\n"
                                       "or talk to your Internet Service Provider."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    return true;
}

bool add(const PopAccount& account, bool rememberPassword, Prompter& prompter) {
    const QString failed =
        QStringLiteral("Unable to add your new account. Verify the Account Name you typed in and try again.");
    if (account.AccountID.trimmed().isEmpty()) {
        prompter.inform(AppTitle(), failed, Prompter::Icon::Exclamation);
        return false;
    }
    if (const QString problem = nameProblem(account.AccountID); !problem.isEmpty()) {
        prompter.inform(AppTitle(), problem, Prompter::Icon::Exclamation);
        return false;
    }
    if (exists(account.AccountID)) {
        prompter.inform(AppTitle(),
                        QStringLiteral("This account already exists, please choose another name."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    if (!validate(account, prompter))
        return false;
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(
            QStringLiteral("INSERT INTO \"POPAccounts\" (\"AccountID\", \"UserName\", \"Password\", "
                           "\"ServerName\") VALUES (?, ?, ?, ?)"),
            {account.AccountID, orNull(account.UserName), QVariant(), orNull(account.ServerName)}, &error)) {
        logFailure("add", error);
        prompter.inform(AppTitle(), failed, Prompter::Icon::Exclamation);
        return false;
    }
    // The row first, so that a password is never kept for an account that does not exist.
    const QVariant stored = storePassword(account, rememberPassword);
    if (!stored.isNull() &&
        !central.exec(QStringLiteral("UPDATE \"POPAccounts\" SET \"Password\" = ? WHERE \"AccountID\" = ?"),
                      {stored, account.AccountID}, &error))
        logFailure("add", error);
    return true;
}

bool update(const PopAccount& account, bool rememberPassword, Prompter& prompter) {
    QString stored;
    const std::optional<PopAccount> old = readRow(account.AccountID, &stored);
    if (!old) {
        prompter.inform(AppTitle(), QStringLiteral("Can't find the Account"), Prompter::Icon::Exclamation);
        return false;
    }
    if (!validate(account, prompter))
        return false;
    // A password kept under the old server or user name goes with them.
    if ((old->ServerName != account.ServerName || old->UserName != account.UserName) &&
        SecretStore::isAvailable())
        SecretStore::clearPassword(old->ServerName, old->UserName, SecretStore::Service::Pop);
    const QVariant password = storePassword(account, rememberPassword);
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(QStringLiteral("UPDATE \"POPAccounts\" SET \"UserName\" = ?, \"Password\" = ?, "
                                     "\"ServerName\" = ? WHERE \"AccountID\" = ?"),
                      {orNull(account.UserName), password, orNull(account.ServerName), account.AccountID},
                      &error)) {
        logFailure("update", error);
        prompter.inform(AppTitle(), QStringLiteral("Unable to save the changes to the account."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    return true;
}

bool remove(const QString& name, Prompter& prompter) {
    const std::optional<PopAccount> account = readRow(name);
    if (!account) {
        prompter.inform(AppTitle(), QStringLiteral("Can't find the Account"), Prompter::Icon::Exclamation);
        return false;
    }
    if (prompter.ask(QStringLiteral("Delete Confirmation"),
                     QStringLiteral("Are you sure you want to delete the account:\n") + name,
                     Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return false;
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(QStringLiteral("DELETE FROM \"POPAccounts\" WHERE \"AccountID\" = ?"), {name},
                      &error)) {
        logFailure("remove", error);
        return false;
    }
    if (SecretStore::isAvailable())
        SecretStore::clearPassword(account->ServerName, account->UserName, SecretStore::Service::Pop);
    return true;
}

TlsTrust trustOf(const QString& name) {
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement select = central.prepare(QStringLiteral("SELECT \"CertificateSHA256\", \"CAFile\" FROM "
                                                          "\"POPAccounts\" WHERE \"AccountID\" = ?"),
                                           &error);
    if (!select.isValid()) {
        logFailure("trustOf", error);
        return {};
    }
    select.bind(1, name);
    if (!select.next())
        return {};
    return {select.text(0), select.text(1)};
}

bool setTrust(const QString& name, const TlsTrust& trust) {
    if (!exists(name))
        return false;
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (!central.isOpen() ||
        !central.exec(QStringLiteral("UPDATE \"POPAccounts\" SET \"CertificateSHA256\" = ?, \"CAFile\" = ? "
                                     "WHERE \"AccountID\" = ?"),
                      {orNull(trust.certificateSHA256.trimmed()), orNull(trust.caFile.trimmed()), name},
                      &error)) {
        logFailure("setTrust", error);
        return false;
    }
    return true;
}

QString passwordPlace(const QString& name) {
    QString stored;
    const std::optional<PopAccount> account = readRow(name, &stored);
    if (!account)
        return {};
    if (!stored.isEmpty())
        return QStringLiteral("database");
    if (SecretStore::isAvailable() &&
        SecretStore::lookupPassword(account->ServerName, account->UserName, SecretStore::Service::Pop))
        return QStringLiteral("keyring");
    return {};
}

QString encodePassword(const QString& password) {
    QByteArray bytes = password.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ Mask[i % Mask.size()]);
    return EncodedPrefix + QString::fromLatin1(bytes.toBase64());
}

QString decodePassword(const QString& stored) {
    if (!stored.startsWith(EncodedPrefix))
        return stored;
    QByteArray bytes = QByteArray::fromBase64(stored.mid(EncodedPrefix.size()).toLatin1());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ Mask[i % Mask.size()]);
    return QString::fromUtf8(bytes);
}

QString unencryptedPasswordText() {
    return QStringLiteral("No desktop keyring was found: the password is kept in the central database "
                          "(system/Tamberlyn.tbf) encoded, but not encrypted; anyone who can read that file "
                          "can recover it.");
}

QString namePrompt() {
    return QStringLiteral("Enter a name for your POP account:\n(eg: Work Email)");
}

} // namespace PopAccounts
