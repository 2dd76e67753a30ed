#pragma once

#include <QString>
#include <optional>

// The SMTP and POP passwords in the desktop keyring, through the secret-tool program (libsecret over
// D-Bus). The password never goes into the settings file: without a keyring nothing is stored.
namespace SecretStore {

// Whose password: each service keeps its own entries.
enum class Service { Smtp, Pop };

// The secret-tool program found on the path, or the one set for tests; empty when there is none.
QString toolPath();
// Replaces the program looked up (tests); an empty path looks it up on the path again.
void setToolPath(const QString& path);
bool isAvailable();

// Shown when a password cannot be kept.
QString unavailableText();

// Stores the password of user at server; false and the reason in error when it could not be kept.
bool storePassword(const QString& server, const QString& user, const QString& password,
                   QString* error = nullptr, Service service = Service::Smtp);
// The stored password, or nullopt when there is none or no keyring.
std::optional<QString> lookupPassword(const QString& server, const QString& user,
                                      Service service = Service::Smtp);
// Forgets the stored password; true when the keyring answered (also when there was none).
bool clearPassword(const QString& server, const QString& user, Service service = Service::Smtp);

} // namespace SecretStore
