#include "util/FileNameObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

void FileNameObject::setFullFileName(const QString& path) {
    fullFileName_ = path.trimmed();
    parts_ = splitFullFileName(fullFileName_);
}

FileNameObject::Parts FileNameObject::splitFullFileName(const QString& path) {
    const QString full = path.trimmed();
    const qsizetype slash = std::max(full.lastIndexOf(u'/'), full.lastIndexOf(u'\\'));
    Parts parts;
    parts.directory = full.left(slash + 1);
    const QString rest = full.mid(slash + 1);
    const qsizetype dot = rest.lastIndexOf(u'.');
    if (dot < 0) {
        parts.name = rest;
    } else {
        parts.name = rest.left(dot);
        parts.suffix = rest.mid(dot + 1);
    }
    return parts;
}

QString FileNameObject::GetUniqueFileName(const QString& prefix, int startNumber, const QString& suffix,
                                          const QString& directory) {
    if (startNumber > 0)
        counter_ = startNumber;
    const QString folder = withTrailingSlash(directory.isEmpty() ? defaultDirectory_ : directory);
    QString stem = prefix.trimmed();
    if (stem.isEmpty())
        stem = QStringLiteral("~bns");
    stem.truncate(4);
    QString ending = suffix;
    if (ending.isEmpty())
        ending = QStringLiteral(".tmp");
    else if (!ending.startsWith(u'.'))
        ending.prepend(u'.');
    for (;; ++counter_) {
        const QString candidate =
            folder + stem + QStringLiteral("%1").arg(counter_, 4, 10, QLatin1Char('0')) + ending;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

bool FileNameObject::IsFile(const QString& name) {
    const QFileInfo info(name);
    return !name.isEmpty() && info.exists() && !info.isDir();
}

bool FileNameObject::IsRegularFile(const QString& name) {
    struct stat status {};
    return !name.isEmpty() && ::stat(QFile::encodeName(name).constData(), &status) == 0 &&
           S_ISREG(status.st_mode);
}

QString FileNameObject::ForwardSlashesOnly(const QString& name) {
    return QString(name).replace(u'\\', u'/');
}

QString FileNameObject::BackSlashesOnly(const QString& name) {
    return QString(name).replace(u'/', u'\\');
}

QString FileNameObject::AddQuotes(const QString& name) {
    if (name.contains(u' ') && !name.contains(u'"'))
        return u'"' + name + u'"';
    return name;
}

QString FileNameObject::UserFilePath() {
    return withTrailingSlash(QDir::homePath().trimmed());
}

QString FileNameObject::withTrailingSlash(const QString& directory) {
    if (directory.isEmpty() || directory.endsWith(u'/'))
        return directory;
    if (directory.endsWith(u'\\'))
        return directory.left(directory.size() - 1) + u'/';
    return directory + u'/';
}
