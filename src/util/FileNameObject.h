#pragma once

#include <QString>

// One full file name split into directory, name and suffix. Stored paths may use "\" as well as "/";
// the split happens at the last of either.
class FileNameObject {
public:
    struct Parts {
        QString directory; // up to and including the last separator
        QString name;      // between the directory and the suffix's dot
        QString suffix;    // after the last "." of the rest, without the dot
    };

    QString FullFileName() const { return fullFileName_; }
    void setFullFileName(const QString& path);
    QString FileDirectory() const { return parts_.directory; }
    QString FileNameOnly() const { return parts_.name; }
    QString suffix() const { return parts_.suffix; }

    static Parts splitFullFileName(const QString& path);
    static QString GetFileNameOnly(const QString& path) { return splitFullFileName(path).name; }
    static QString GetFileSuffix(const QString& path) { return splitFullFileName(path).suffix; }

    // A name in directory that does not exist yet: prefix (at most four characters, "~bns" when empty),
    // a counter of at least four digits, and suffix (".tmp" when empty). An empty directory means
    // defaultDirectory. A start number above 0 resets the counter, which persists between calls.
    QString GetUniqueFileName(const QString& prefix, int startNumber, const QString& suffix,
                              const QString& directory);
    void setDefaultDirectory(const QString& directory) { defaultDirectory_ = directory; }

    static bool IsFile(const QString& name);
    // True only for a regular file (after following links): a FIFO, socket or device is not one, so
    // nothing blocks on opening or reading it.
    static bool IsRegularFile(const QString& name);
    static QString ForwardSlashesOnly(const QString& name);
    static QString BackSlashesOnly(const QString& name);
    static QString AddQuotes(const QString& name);
    // The user's home folder, ending in "/".
    static QString UserFilePath();
    // The directory with exactly one "/" at its end.
    static QString withTrailingSlash(const QString& directory);

private:
    QString fullFileName_;
    Parts parts_;
    QString defaultDirectory_;
    int counter_ = 0;
};
