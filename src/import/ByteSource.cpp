#include "import/ByteSource.h"

#include "util/FileNameObject.h"

#include <cstring>

namespace importer {

bool FileByteSource::open(const QString& path) {
    // A memo file beside a table could be a FIFO: reading it would never end.
    if (!FileNameObject::IsRegularFile(path))
        return false;
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly))
        return false;
    size_ = file_.size();
    return true;
}

bool FileByteSource::readAt(qint64 offset, char* target, qint64 length) {
    if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset)
        return false;
    if (length == 0)
        return true;
    if (!file_.seek(offset))
        return false;
    return file_.read(target, length) == length;
}

bool MemoryByteSource::readAt(qint64 offset, char* target, qint64 length) {
    if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset)
        return false;
    if (length > 0)
        std::memcpy(target, data_ + offset, size_t(length));
    return true;
}

} // namespace importer
