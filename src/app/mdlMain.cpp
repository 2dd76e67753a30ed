#include "app/mdlMain.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/Resources.h"
#include "db/CentralDatabase.h"
#include "db/CentralDatabaseUpgrade.h"
#include "db/DataTank.h"
#include "lists/ListResync.h"
#include "mailings/MailEvent.h"
#include "mailings/MailRuns.h"
#include "messages/MessageStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QtGlobal>

namespace {
const QString Defaults = QStringLiteral("ApplicationDefaults");
} // namespace

Startup::Startup(StartupOptions options) : options_(std::move(options)) {}

Startup::~Startup() = default;

bool Startup::isExpectedExecutableName(const QString& name) {
    const bool windowsName = name.contains(QStringLiteral(".exe"), Qt::CaseInsensitive);
    const QString expected = windowsName ? QStringLiteral("Tamberlyn.exe") : QStringLiteral("Tamberlyn");
    return name.compare(expected, Qt::CaseInsensitive) == 0;
}

QString Startup::renamedText(const QString& name) {
    return QStringLiteral("The executable file name has been changed to '") + name +
           QStringLiteral("' , please change it back to 'Tamberlyn.exe'.  Thank you.");
}

QString Startup::alreadyRunningText() {
    const QString title = AppTitle();
    return title + QStringLiteral(" is already running. Only one copy may be open at the same time.") +
           QStringLiteral("\n\nNote: If this message appears to be inaccurate, hit Ctrl-Alt-Del to view your "
                          "current task list.\nYou should see another instance of this program in that list. "
                          "Terminate that process then\nlaunch ") +
           title + QStringLiteral(" again.");
}

Startup::Result Startup::run() {
    Prompter& prompter = *options_.prompter;
    if (!isExpectedExecutableName(options_.executableName)) {
        prompter.inform(AppTitle(), renamedText(options_.executableName), Prompter::Icon::Exclamation);
        return Result::Refused;
    }
    InitResources();
    resetApplication();
    app().registry = std::make_unique<RegistryFunctionsClass>();
    app().versionText = VersionText(false, true);

    app().folders = AppFolders::under(options_.appFolder);
    if (!acquireInstanceLock()) {
        prompter.inform(AppTitle(), alreadyRunningText(), Prompter::Icon::Exclamation);
        return Result::Refused;
    }
    appFolders().createMissing();

    app().ini.setInitializationFileName(appFolders().settingsFile());
    app().fileName.setDefaultDirectory(appFolders().AppFolder);

    bool ok = false;
    const int state =
        AppGetSetting(Defaults, QStringLiteral("StartMaximized"), QStringLiteral("0")).toShort(&ok);
    appSettings().StartMaximized = static_cast<qint16>(ok ? state : 2);

    if (!QFileInfo::exists(appFolders().settingsFile()))
        writeFirstStartSettings();
    loadSettings();
    ensureDefaultMailEvent();
    DataTank::PurgeTempLists();
    app().helpFile = appFolders().helpFile();
    clearCentralDatabaseAttributes();
    centralDatabaseReadable_ = VerifyCentralDatabase(prompter, options_.sampleData);
    if (!QFileInfo::exists(appFolders().centralDatabase()))
        centralDatabaseReadable_ = CreateTamberlynDatabase(prompter, options_.sampleData);
    if (centralDatabaseReadable_) {
        DataTank::RemoveInterruptedSaves();
        // Messages opened and left empty by an earlier run; the others stay, offered as unsaved.
        MessageStore::PurgeEmptyTemporaryMessages();
        // Under the folder's lock no run is going on: a run still open ended with its process.
        MailRuns::markInterrupted();
    }
    if (options_.showMainWindow)
        options_.showMainWindow();
    if (options_.fullStart) {
        gSyncronizeAddressLists(prompter);
        DataTank::VerifyListFolder();
    }
    VerifyDefaultProfile(prompter);
    return Result::Started;
}

bool Startup::acquireInstanceLock() {
    // The folder must exist to hold the lock; a missing one cannot have another copy running in it.
    QDir().mkpath(appFolders().AppFolder);
    return lock_.tryLock(appFolders().AppFolder + QStringLiteral(".tamberlyn.lock"));
}

void Startup::writeFirstStartSettings() {
    AppSettings& s = appSettings();
    s.MailServer = QStringLiteral("mail.example.invalid");
    s.SMTPPort = 25;
    s.SendersEmailAddress = QStringLiteral("you@example.invalid");
    s.MailEventProfile = QString::fromLatin1(DefaultMailEventName);
    s.ServerWantsBracket = false;
    const QList<std::pair<QString, QString>> keys = {
        {QStringLiteral("MailServer"), s.MailServer},
        {QStringLiteral("SMTPPort"), QString::number(s.SMTPPort)},
        {QStringLiteral("WordWrapSize"), QString::number(s.WordWrapSize)},
        {QStringLiteral("CheckIfDomainWantsTextOnly"), boolSetting(s.CheckIfDomainWantsTextOnly)},
        {QStringLiteral("DomainsToCheck"), s.DomainsToCheck},
        {QStringLiteral("SendersEmailAddress"), s.SendersEmailAddress},
        {QStringLiteral("KeyCategoryVal1"), s.KeyCategoryVal1},
        {QStringLiteral("KeyCategoryVal2"), s.KeyCategoryVal2},
        {QStringLiteral("MailEventProfile"), s.MailEventProfile},
        {QStringLiteral("ServerWantsBracket"), boolSetting(s.ServerWantsBracket)},
        {QStringLiteral("JogServer"), boolSetting(s.JogServer)},
        {QStringLiteral("CurTamberlyn"), QStringLiteral("DefaultTamberlyn")},
        {QStringLiteral("CurList"), QStringLiteral("DefaultList")},
        {QStringLiteral("CurMessage"), QStringLiteral("DefaultMessage")},
    };
    for (const auto& [key, value] : keys)
        app().ini.WriteKeyName(Defaults, key, value);
}

void Startup::loadSettings() {
    const IniFilesObject& ini = app().ini;
    AppSettings& s = appSettings();
    const auto withDefault = [&](const char* key, const char* fallback) {
        return ini.GetValueWithDefault(Defaults, QString::fromLatin1(key), QString::fromLatin1(fallback));
    };
    s.MailServer = ini.GetValue(Defaults, QStringLiteral("MailServer"));
    s.SendersEmailAddress = ini.GetValue(Defaults, QStringLiteral("SendersEmailAddress"));
    s.SMTPPort = settingToInt(withDefault("SMTPPort", "25"), 25);
    s.WordWrapSize = settingToInt(withDefault("WordWrapSize", "76"), 76);
    s.CheckIfDomainWantsTextOnly = settingToBool(withDefault("CheckIfDomainWantsTextOnly", "0"), false);
    s.DomainsToCheck = withDefault("DomainsToCheck", "");
    s.KeyCategoryVal1 = ini.GetValue(Defaults, QStringLiteral("KeyCategoryVal1"));
    s.KeyCategoryVal2 = ini.GetValue(Defaults, QStringLiteral("KeyCategoryVal2"));
    ini.GetValueByRef(Defaults, QStringLiteral("MailEventProfile"), s.MailEventProfile);
    s.ServerWantsBracket = settingToBool(withDefault("ServerWantsBracket", "False"), false);
    s.BracketOnFrom = settingToBool(withDefault("BracketOnFrom", "True"), true);
    s.JogServer = settingToBool(withDefault("JogServer", "False"), false);
    s.SMTPSecurity = withDefault("SMTPSecurity", "None");
    s.SMTPUserName = ini.GetValue(Defaults, QStringLiteral("SMTPUserName"));
    s.GroupMailBlockSize = qMax(1, settingToInt(withDefault("GroupMailBlockSize", "10"), 10));
    s.SMTPAllowInsecureAuth = settingToBool(withDefault("SMTPAllowInsecureAuth", "False"), false);
    s.SMTPCertificateSHA256 = ini.GetValue(Defaults, QStringLiteral("SMTPCertificateSHA256"));
    s.SMTPCAFile = ini.GetValue(Defaults, QStringLiteral("SMTPCAFile"));
}

void Startup::ensureDefaultMailEvent() {
    const QString name = QString::fromLatin1(DefaultMailEventName);
    if (QFileInfo::exists(appFolders().MailEventProfilesFolder + name))
        return;
    MailEvent().MakeDefaultMEP();
    appSettings().MailEventProfile = name;
    app().ini.WriteKeyName(Defaults, QStringLiteral("MailEventProfile"), name);
}

void Startup::clearCentralDatabaseAttributes() {
    const QString path = appFolders().centralDatabase();
    if (QFileInfo::exists(path))
        QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::ReadOwner);
}
