#include "harvest/EmailSrcFileColl.h"

#include <QDir>
#include <QFileInfo>

QString EmailSrcFileColl::keyOf(const QString& fileName) {
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(fileName.trimmed())).absoluteFilePath());
}

qsizetype EmailSrcFileColl::indexOf(const QString& fileName) const {
    const QString key = keyOf(fileName);
    for (qsizetype i = 0; i < files_.size(); ++i)
        if (keyOf(files_[i].fileName) == key)
            return i;
    return -1;
}

bool EmailSrcFileColl::Add(const EmailSrcFileObj& file) {
    if (file.fileName.trimmed().isEmpty() || contains(file.fileName))
        return false;
    files_ << file;
    return true;
}

EmailSrcFileObj* EmailSrcFileColl::Item(qsizetype index) {
    return index >= 0 && index < files_.size() ? &files_[index] : nullptr;
}

EmailSrcFileObj* EmailSrcFileColl::Item(const QString& fileName) {
    return Item(indexOf(fileName));
}

bool EmailSrcFileColl::Remove(qsizetype index) {
    if (index < 0 || index >= files_.size())
        return false;
    files_.removeAt(index);
    return true;
}

bool EmailSrcFileColl::Remove(const QString& fileName) {
    return Remove(indexOf(fileName));
}
