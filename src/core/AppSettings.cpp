#include "core/AppSettings.h"

#include <QDir>
#include <QFileInfo>

namespace {
Application* current = nullptr;
} // namespace

AppFolders AppFolders::under(const QString& appFolder) {
    AppFolders f;
    f.AppFolder = FileNameObject::withTrailingSlash(FileNameObject::ForwardSlashesOnly(appFolder));
    f.SystemFolder = f.AppFolder + QStringLiteral("system/");
    f.AddressListsFolder = f.AppFolder + QStringLiteral("AddressLists/");
    f.MailingsFolder = f.AppFolder + QStringLiteral("Mailings/");
    f.AttachFolder = f.AppFolder + QStringLiteral("Attach/");
    f.MailEventProfilesFolder = f.AppFolder + QStringLiteral("MailEventProfiles/");
    f.MailboxesFolder = f.AppFolder + QStringLiteral("Mailboxes/");
    f.TempFolder = f.AppFolder + QStringLiteral("temp/");
    f.TemplatesFolder = f.AppFolder + QStringLiteral("Templates/");
    f.SearchFilesFolder = f.AppFolder + QStringLiteral("Search Files/");
    return f;
}

QStringList AppFolders::creationOrder() const {
    return {TemplatesFolder, AddressListsFolder, SystemFolder,      AttachFolder, MailEventProfilesFolder,
            MailboxesFolder, MailingsFolder,     SearchFilesFolder, TempFolder};
}

void AppFolders::createMissing() const {
    for (const QString& folder : creationOrder())
        if (!QFileInfo::exists(folder))
            QDir().mkpath(folder);
}

Application& app() {
    if (!current)
        resetApplication();
    return *current;
}

void resetApplication() {
    delete current;
    current = new Application;
}

QString AppGetSetting(const QString& section, const QString& key, const QString& defaultValue) {
    return app().ini.INIGetSetting(section, key, defaultValue);
}

void AppSaveSetting(const QString& section, const QString& key, const QString& value) {
    app().ini.INISaveSetting(section, key, value);
}

bool settingToBool(const QString& text, bool fallback) {
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = t.toDouble(&ok);
    return ok ? number != 0 : fallback;
}

qint32 settingToInt(const QString& text, qint32 fallback) {
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok);
    return ok ? value : fallback;
}

QString boolSetting(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
