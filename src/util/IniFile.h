#pragma once

#include <QString>
#include <QStringList>
#include <utility>

// A settings file of "[section]" headers followed by "key=value" lines, read and written the way the
// Windows private-profile functions do: section and key names match without regard to case, the first
// occurrence of a section or key wins, values are trimmed and lose one pair of surrounding quotes, and a
// write changes only its own line, keeping everything else (comments, junk lines, line ends, a BOM) as
// it was. Every call reads the file afresh; every write replaces the file atomically.
class IniFile {
public:
    explicit IniFile(QString path) : path_(std::move(path)) {}

    // The value of the key; found tells whether the key stands in the file at all.
    QString value(const QString& section, const QString& key, bool* found = nullptr) const;
    // Key names of the section in file order (only lines that hold an equals sign).
    QStringList keys(const QString& section) const;

    // Creates the file, the section and the key as needed; returns false when the file cannot be written.
    bool write(const QString& section, const QString& key, const QString& value);
    bool removeKey(const QString& section, const QString& key);
    bool removeSection(const QString& section);

private:
    struct Document;
    Document load() const;
    bool save(const Document& doc) const;

    QString path_;
};
