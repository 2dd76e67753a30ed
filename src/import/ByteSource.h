#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Random access to the bytes of a file or of a buffer, for the readers that parse formats themselves.
namespace importer {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual qint64 size() const = 0;
    // Reads length bytes at offset into target; false when they are not all there.
    virtual bool readAt(qint64 offset, char* target, qint64 length) = 0;
};

class FileByteSource : public ByteSource {
public:
    // False when the file cannot be opened for reading.
    bool open(const QString& path);
    qint64 size() const override { return size_; }
    bool readAt(qint64 offset, char* target, qint64 length) override;

private:
    QFile file_;
    qint64 size_ = 0;
};

// Reads from bytes the caller keeps alive.
class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const char* data, qint64 size) : data_(data), size_(size) {}
    qint64 size() const override { return size_; }
    bool readAt(qint64 offset, char* target, qint64 length) override;

private:
    const char* data_;
    qint64 size_;
};

} // namespace importer
