#pragma once

#include "util/FileNameObject.h"
#include "util/IniFilesObject.h"
#include "util/RegistryFunctionsClass.h"

#include <QString>
#include <QStringList>
#include <memory>

// The application folder and its sub-folders, each an absolute path ending in "/".
struct AppFolders {
    QString AppFolder;
    QString SystemFolder;
    QString AddressListsFolder;
    QString MailingsFolder;
    QString AttachFolder;
    QString MailEventProfilesFolder;
    QString MailboxesFolder;
    QString TempFolder;
    QString TemplatesFolder;
    QString SearchFilesFolder;

    static AppFolders under(const QString& appFolder);
    // In the order they are created at start-up.
    QStringList creationOrder() const;
    // Creates every folder that does not exist yet, in that order.
    void createMissing() const;

    QString settingsFile() const { return AppFolder + QStringLiteral("Tamberlyn.ini"); }
    QString helpFile() const { return AppFolder + QStringLiteral("Tamberlyn.hlp"); }
    QString errorLog() const { return AppFolder + QStringLiteral("Errors.log"); }
    QString sendLog() const { return AppFolder + QStringLiteral("sendlog.log"); }
    QString centralDatabase() const { return SystemFolder + QStringLiteral("Tamberlyn.tbf"); }
};

// The settings of section ApplicationDefaults, loaded once at start-up.
struct AppSettings {
    QString MailServer;
    qint32 SMTPPort = 0;
    qint32 WordWrapSize = 0; // 0: no wrapping
    bool CheckIfDomainWantsTextOnly = false;
    QString DomainsToCheck;
    QString SendersEmailAddress;
    QString KeyCategoryVal1;
    QString KeyCategoryVal2;
    QString MailEventProfile;
    bool ServerWantsBracket = false;
    bool BracketOnFrom = false;
    bool JogServer = false;
    qint16 StartMaximized = 0; // window state: 0 normal, 2 maximised
    // Sending: "None", "STARTTLS" or "SSL/TLS", and the SMTP log-in name (its password is kept in the
    // desktop keyring, never in the settings file).
    QString SMTPSecurity = QStringLiteral("None");
    QString SMTPUserName;
    qint32 GroupMailBlockSize = 10; // recipients per message in batch mode, at least 1
    // The SMTP password may go over an unencrypted connection to a server that is not on this machine.
    bool SMTPAllowInsecureAuth = false;
    // The SMTP server (MailServer at SMTPPort) is trusted with this pinned certificate or the certificates
    // of this CA file besides the system store.
    QString SMTPCertificateSHA256;
    QString SMTPCAFile;
};

// The process-wide state that start-up fixes: folders, settings and the shared utility instances.
struct Application {
    AppFolders folders;
    AppSettings settings;
    IniFilesObject ini;
    FileNameObject fileName;
    std::unique_ptr<RegistryFunctionsClass> registry;
    QString versionText;
    QString helpFile;
};

Application& app();
// Starts afresh; used by start-up and by tests that start more than once in one process.
void resetApplication();

inline const AppFolders& appFolders() {
    return app().folders;
}
inline AppSettings& appSettings() {
    return app().settings;
}

QString AppGetSetting(const QString& section, const QString& key, const QString& defaultValue);
void AppSaveSetting(const QString& section, const QString& key, const QString& value);

// Settings are stored as text; these read them the way the settings file has always been read.
// A Boolean is "True"/"False" or a number (0 false, anything else true).
bool settingToBool(const QString& text, bool fallback);
qint32 settingToInt(const QString& text, qint32 fallback);
QString boolSetting(bool value);
