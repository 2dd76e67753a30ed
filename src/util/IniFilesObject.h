#pragma once

#include <QString>

// Settings-file access with the results of the Windows private-profile calls, including their buffer
// limits: GetValue returns up to 4,095 characters, INIGetSetting up to 254 and reads an empty value as
// the default, GetKeyNames returns the names each followed by a NUL.
class IniFilesObject {
public:
    QString InitializationFileName() const { return fileName_; }
    // A blank path keeps the previous one.
    void setInitializationFileName(const QString& path);

    void DeleteKeyName(const QString& section, const QString& key);
    void DeleteSection(const QString& section);
    QString GetKeyNames(const QString& section) const;
    QString GetValue(const QString& section, const QString& key) const;
    QString GetValueWithDefault(const QString& section, const QString& key,
                                const QString& defaultValue) const;
    void GetValueByRef(const QString& section, const QString& key, QString& value) const;
    qint16 KeyNameExists(const QString& section, const QString& key) const;
    static QString ParseAnyString(const QString& text, int index, QChar delimiter);
    // The folder the platform keeps its own settings in, ending in "/".
    static QString returnWindowsDirectory();
    QString SearchValues(const QString& section, const QString& value) const;
    void WriteKeyName(const QString& section, const QString& key, const QString& value);
    // Deletes the file; returns false when there was none to delete.
    bool KillINIFile();
    QString INIGetSetting(const QString& section, const QString& key, const QString& defaultValue) const;
    void INISaveSetting(const QString& section, const QString& key, const QString& value);

private:
    // The profile read with a key: the value or default, cut to bufferSize - 1 characters.
    QString profileRead(const QString& section, const QString& key, const QString& defaultValue,
                        int bufferSize) const;

    QString fileName_;
};
