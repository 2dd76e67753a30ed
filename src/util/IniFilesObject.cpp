#include "util/IniFilesObject.h"

#include "util/IniFile.h"

#include <QDir>
#include <QFile>

namespace {
constexpr int ValueBufferSize = 4095;
constexpr int SettingBufferSize = 255;
constexpr int ExistsBufferSize = 3;
} // namespace

void IniFilesObject::setInitializationFileName(const QString& path) {
    const QString trimmed = path.trimmed();
    if (!trimmed.isEmpty())
        fileName_ = trimmed;
}

QString IniFilesObject::profileRead(const QString& section, const QString& key, const QString& defaultValue,
                                    int bufferSize) const {
    bool found = false;
    const QString value = IniFile(fileName_).value(section, key, &found);
    return (found ? value : defaultValue).left(bufferSize - 1);
}

void IniFilesObject::DeleteKeyName(const QString& section, const QString& key) {
    IniFile(fileName_).removeKey(section, key);
}

void IniFilesObject::DeleteSection(const QString& section) {
    IniFile(fileName_).removeSection(section);
}

QString IniFilesObject::GetKeyNames(const QString& section) const {
    QString names;
    const QStringList keys = IniFile(fileName_).keys(section);
    for (const QString& key : keys)
        names += key + QChar(u'\0');
    // The platform fits the list and its final NUL into the buffer.
    if (names.size() > ValueBufferSize - 1)
        names.truncate(ValueBufferSize - 1);
    return names + QChar(u'\0');
}

QString IniFilesObject::GetValue(const QString& section, const QString& key) const {
    return profileRead(section, key, QString(), ValueBufferSize);
}

QString IniFilesObject::GetValueWithDefault(const QString& section, const QString& key,
                                            const QString& defaultValue) const {
    return profileRead(section, key, defaultValue, ValueBufferSize);
}

void IniFilesObject::GetValueByRef(const QString& section, const QString& key, QString& value) const {
    value = GetValue(section, key);
}

qint16 IniFilesObject::KeyNameExists(const QString& section, const QString& key) const {
    return static_cast<qint16>(profileRead(section, key, QString(), ExistsBufferSize).size());
}

QString IniFilesObject::ParseAnyString(const QString& text, int index, QChar delimiter) {
    if (text.isEmpty())
        return {};
    qsizetype start = 0;
    int field = 0;
    for (;;) {
        qsizetype found = text.indexOf(delimiter, start);
        if (found < 0)
            found = text.size();
        if (field == index)
            return text.mid(start, found - start);
        start = found + 1;
        ++field;
        if (start >= text.size())
            return {};
    }
}

QString IniFilesObject::returnWindowsDirectory() {
    return QStringLiteral("/etc/");
}

QString IniFilesObject::SearchValues(const QString& section, const QString& value) const {
    const QString names = GetKeyNames(section);
    QString match;
    for (int i = 0;; ++i) {
        const QString key = ParseAnyString(names, i, QChar(u'\0'));
        if (key.isEmpty())
            break;
        if (GetValue(section, key) == value)
            match = key;
    }
    return match;
}

void IniFilesObject::WriteKeyName(const QString& section, const QString& key, const QString& value) {
    IniFile(fileName_).write(section, key, value);
}

bool IniFilesObject::KillINIFile() {
    return QFile::remove(fileName_);
}

QString IniFilesObject::INIGetSetting(const QString& section, const QString& key,
                                      const QString& defaultValue) const {
    const QString value = profileRead(section, key, defaultValue, SettingBufferSize);
    return value.isEmpty() ? defaultValue : value;
}

void IniFilesObject::INISaveSetting(const QString& section, const QString& key, const QString& value) {
    WriteKeyName(section, key, value);
}
