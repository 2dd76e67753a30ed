#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

// The SMTP and POP passwords in the desktop keyring (Secret Service or KWallet over D-Bus, through
// QtKeychain). The password never goes into the settings file: without a keyring nothing is stored,
// and the callers take their fall-backs (the environment, a question, the account's own column).
//
// The keyring answers asynchronously. Its jobs run in a thread of their own with its own event
// loop, so the caller's event loop is never entered again: the asynchronous lookup delivers its
// answer to the caller's thread, and the calls that must answer at once wait on the job's thread
// for at most a few seconds.
namespace SecretStore {

// Whose password: each service keeps its own entries.
enum class Service { Smtp, Pop };

// False once the keyring has failed to answer (or tests have turned it off); the calls then answer
// at once without it.
bool isAvailable();
// Tests turn the keyring off to take the fall-backs; turning it on again forgets an earlier failure.
void setEnabled(bool enabled);

// Shown when a password cannot be kept.
QString unavailableText();
// Said once, on the error output, when no keyring answers.
QString noKeyringText();

// Stores the password of user at server; false and the reason in error when it could not be kept.
bool storePassword(const QString& server, const QString& user, const QString& password,
                   QString* error = nullptr, Service service = Service::Smtp);
// The stored password, or nullopt when there is none or no keyring.
std::optional<QString> lookupPassword(const QString& server, const QString& user,
                                      Service service = Service::Smtp);
// The same answer delivered later to done in the application's thread; nothing is delivered once
// receiver is gone.
void lookupPassword(const QString& server, const QString& user, Service service, QObject* receiver,
                    std::function<void(std::optional<QString>)> done);
// Forgets the stored password; true when the keyring answered (also when there was none).
bool clearPassword(const QString& server, const QString& user, Service service = Service::Smtp);

} // namespace SecretStore
