#include "harvest/FileObject.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <cstring>

namespace {

// Windows-1252 at 0x80..0x9F; the five bytes it leaves undefined keep their Latin-1 code.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isAscii(QByteArrayView bytes) {
    unsigned char any = 0;
    for (const char c : bytes)
        any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

QString fromCp1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? Cp1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

// The number of bytes at the end that begin a UTF-8 character without finishing it (0 to 3).
qsizetype incompleteUtf8Tail(QByteArrayView bytes) {
    const qsizetype n = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= n; ++back) {
        const auto b = static_cast<unsigned char>(bytes[n - back]);
        if ((b & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for its lead
        const int needed = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return needed > back ? back : 0;
    }
    return 0;
}

// Finds the first CR or LF in [from, end); -1 when none.
qsizetype findLineBreak(const char* data, qsizetype from, qsizetype end) {
    const void* lf = std::memchr(data + from, '\n', static_cast<size_t>(end - from));
    const qsizetype lfAt = lf ? static_cast<const char*>(lf) - data : end;
    const void* cr = std::memchr(data + from, '\r', static_cast<size_t>(lfAt - from));
    if (cr)
        return static_cast<const char*>(cr) - data;
    return lf ? lfAt : -1;
}

qint16 nextFileNumber() {
    static qint16 next = 0;
    next = next >= 511 ? 1 : next + 1;
    return next;
}

FileObject::FilePicker& filePicker() {
    static FileObject::FilePicker picker;
    return picker;
}

const QString Eof = FileObject::EndOfFile();

} // namespace

QString decodeSourceText(QByteArrayView bytes) {
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromCp1252(bytes);
}

FileObject::FileObject(QObject* parent) : QObject(parent) {}

FileObject::~FileObject() {
    closefile();
}

// ---- Properties ----

void FileObject::setMode(const QString& mode) {
    const QString value = mode.trimmed().toLower();
    static const QStringList modes = {QStringLiteral("input"), QStringLiteral("output"),
                                      QStringLiteral("append"), QStringLiteral("binary"),
                                      QStringLiteral("random")};
    if (modes.contains(value))
        mode_ = value;
}

void FileObject::setAccess(const QString& access) {
    const QString value = access.trimmed().toLower();
    static const QStringList words = {QStringLiteral("read"), QStringLiteral("write"),
                                      QStringLiteral("read write")};
    if (words.contains(value))
        access_ = value;
}

void FileObject::setRecordLength(qint32 length) {
    if (length >= 0)
        recordLength_ = QString::number(length);
}

void FileObject::setSegmentSize(qint64 size) {
    if (size > 0)
        segmentSize_ = size;
}

// ---- Opening and closing ----

void FileObject::resetForOpen() {
    bytesRead_ = 0;
    linesRead_ = 0;
    linesWritten_ = 0;
    fileNumber_ = 0;
    fileStringPosition_ = 1;
    segmentPosition_ = 1;
    fileString_.clear();
    segment_.clear();
    segmentCarry_.clear();
    segmentNumber_ = 0;
    segmentBytesRead_ = 0;
    fullSegments_ = 0;
    lastSegmentSize_ = 0;
    segmentSize_ = DefaultSegmentSize;
    buffer_.clear();
    bufferPos_ = 0;
    skipLineFeed_ = false;
    endReached_ = false;
    failure_ = {};
}

void FileObject::fail(int number, const QString& description, const QString& source) {
    failure_ = {number, description, source};
}

qint16 FileObject::OpenFile(const QString& name) {
    closefile();
    resetForOpen();
    const QString path = name.trimmed().isEmpty() ? Filename().trimmed() : name.trimmed();
    if (path.isEmpty() || mode_.isEmpty())
        return 0;

    file_.setFileName(path);
    bool opened = false;
    const QFileInfo info(path);
    // Reads come in large blocks of their own: the device's buffer would only copy them once more.
    if (mode_ == QLatin1String("input")) {
        opened = info.isFile() && file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    } else if (mode_ == QLatin1String("output")) {
        opened = file_.open(QIODevice::WriteOnly | QIODevice::Truncate);
    } else if (mode_ == QLatin1String("append")) {
        opened = file_.open(QIODevice::WriteOnly | QIODevice::Append);
    } else if (mode_ == QLatin1String("binary")) {
        // Reading a source must not create it, and a file that may only be read is still read.
        opened = info.isFile() &&
                 ((info.isWritable() && file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) ||
                  file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    }
    if (!opened) {
        const bool missing =
            !info.exists() && mode_ != QLatin1String("output") && mode_ != QLatin1String("append");
        if (mode_ == QLatin1String("random"))
            fail(54, QStringLiteral("Bad file mode"), QStringLiteral("OpenFile"));
        else if (missing)
            fail(53, QStringLiteral("File not found"), QStringLiteral("OpenFile"));
        else
            fail(75, QStringLiteral("Path/File access error: ") + file_.errorString(),
                 QStringLiteral("OpenFile"));
        file_.close();
        return 0;
    }
    const qint64 length = file_.size();
    if (length == 0 && mode_ == QLatin1String("input")) {
        file_.close();
        return 0;
    }
    if (!name.trimmed().isEmpty())
        setFilename(path);
    fileSize_ = length;
    bytesRemaining_ = length;
    fileNumber_ = nextFileNumber();
    fullSegments_ = fileSize_ / segmentSize_;
    lastSegmentSize_ = fileSize_ % segmentSize_;
    Q_EMIT SegmentsSet(segmentSize_, fullSegments_, lastSegmentSize_);
    Q_EMIT FileOpened(Filename(), fileSize_, mode_);
    return fileNumber_;
}

void FileObject::closefile() {
    if (fileNumber_ == 0)
        return;
    file_.close();
    fileNumber_ = 0;
    bytesRead_ = 0;
    linesRead_ = 0;
    fileSize_ = 0;
    bytesRemaining_ = 0;
    buffer_.clear();
    bufferPos_ = 0;
}

// ---- Line reading ----

bool FileObject::fillBuffer() {
    while (bufferPos_ >= buffer_.size()) {
        if (!file_.isOpen() || !file_.isReadable())
            return false;
        Q_EMIT StartingToReadSegment(segmentNumber_, segmentSize_);
        buffer_.resize(static_cast<qsizetype>(segmentSize_));
        const qint64 got = file_.read(buffer_.data(), segmentSize_);
        buffer_.resize(got > 0 ? static_cast<qsizetype>(got) : 0);
        bufferPos_ = 0;
        Q_EMIT FinishedReadingSegment(segmentNumber_, buffer_.size());
        if (buffer_.isEmpty())
            return false;
        ++segmentNumber_;
        if (skipLineFeed_ && buffer_.at(0) == '\n') {
            bufferPos_ = 1;
            ++bytesRead_;
            bytesRemaining_ = fileSize_ - bytesRead_;
        }
        skipLineFeed_ = false;
    }
    return true;
}

FileObject::LineKind FileObject::ReadLineBytes(QByteArrayView& bytes, QString& text) {
    if (fileNumber_ == 0 || !fillBuffer()) {
        endReached_ = fileNumber_ != 0;
        return LineKind::End;
    }

    // A line within the buffer is handed out as it lies there; a longer one is decoded piece by piece as the
    // buffer moves on, so only its text is ever held whole.
    LineKind kind = LineKind::Bytes;
    QByteArray carry;
    text.clear();
    while (true) {
        const char* data = buffer_.constData();
        const qsizetype end = buffer_.size();
        const qsizetype brk = findLineBreak(data, bufferPos_, end);
        const qsizetype stop = brk < 0 ? end : brk;
        const QByteArrayView piece(data + bufferPos_, stop - bufferPos_);
        bytesRead_ += piece.size();
        if (brk >= 0) {
            qsizetype next = brk + 1;
            if (data[brk] == '\r') {
                if (next < end && data[next] == '\n')
                    ++next;
                else if (next == end)
                    skipLineFeed_ = true;
            }
            bytesRead_ += next - brk;
            bufferPos_ = next;
            if (kind == LineKind::Bytes) {
                bytes = piece;
            } else {
                carry.append(piece);
                text += decodeSourceText(carry);
            }
            break;
        }
        bufferPos_ = end;
        kind = LineKind::Text;
        carry.append(piece);
        const qsizetype tail = incompleteUtf8Tail(carry);
        text += decodeSourceText(QByteArrayView(carry).first(carry.size() - tail));
        carry = carry.right(tail);
        if (!fillBuffer()) {
            text += decodeSourceText(carry); // the last line of the file, without a line break
            break;
        }
    }
    bytesRemaining_ = fileSize_ - bytesRead_;
    ++linesRead_;
    if (linesRead_ % 10 == 0)
        Q_EMIT UpdateLineCounter(linesRead_);
    return kind;
}

QString FileObject::Readline() {
    if (fileNumber_ == 0)
        return {};
    QByteArrayView bytes;
    QString text;
    switch (ReadLineBytes(bytes, text)) {
    case LineKind::End:
        return Eof;
    case LineKind::Bytes:
        return decodeSourceText(bytes);
    case LineKind::Text:
        break;
    }
    return text;
}

QString FileObject::ReadFileIntoString(const QString& name) {
    if (!name.trimmed().isEmpty())
        setFilename(name);
    if (Filename().isEmpty())
        return {};
    setMode(QStringLiteral("binary"));
    if (OpenFile() == 0)
        return {};
    if (fileSize_ == 0) {
        closefile();
        return {};
    }
    Q_EMIT StartingToReadFileIntoString(fileSize_, Filename());
    const QByteArray bytes = file_.readAll();
    const QString text = decodeSourceText(bytes);
    const qint64 read = bytes.size();
    closefile();
    bytesRead_ = read;
    Q_EMIT FinishedReadingFileIntoString(read, Filename());
    return text;
}

QString FileObject::ReadTextLineFromFullFileString(qint64 startPosition) {
    if (startPosition > 0)
        fileStringPosition_ = startPosition;
    const qsizetype from = static_cast<qsizetype>(fileStringPosition_ - 1);
    QString line;
    if (from >= fileString_.size()) {
        fileStringPosition_ = bytesRead_ + 1;
        line = Eof;
    } else {
        qsizetype brk = from;
        while (brk < fileString_.size() && fileString_.at(brk) != u'\r' && fileString_.at(brk) != u'\n')
            ++brk;
        line = fileString_.mid(from, brk - from);
        qsizetype next = brk;
        if (next < fileString_.size())
            next += (fileString_.at(brk) == u'\r' && brk + 1 < fileString_.size() &&
                     fileString_.at(brk + 1) == u'\n')
                        ? 2
                        : 1;
        fileStringPosition_ = next + 1;
        bytesRead_ += next - from;
        ++linesRead_;
    }
    bytesRemaining_ = fileSize_ - bytesRead_;
    return line;
}

// ---- Segments ----

QByteArray FileObject::takeBytes(qint64 count) {
    QByteArray bytes;
    const qsizetype buffered = buffer_.size() - bufferPos_;
    if (buffered > 0) {
        const qsizetype n = static_cast<qsizetype>(std::min<qint64>(buffered, count));
        bytes = buffer_.mid(bufferPos_, n);
        bufferPos_ += n;
        count -= n;
    }
    if (count > 0 && file_.isOpen() && file_.isReadable())
        bytes += file_.read(count);
    return bytes;
}

qint64 FileObject::ReadSegment(qint64 size) {
    if (size >= 1)
        segmentSize_ = size;
    qint64 read = 0;
    if (mode_ == QLatin1String("input") || mode_ == QLatin1String("binary")) {
        Q_EMIT StartingToReadSegment(segmentNumber_, segmentSize_);
        QByteArray bytes = segmentCarry_ + takeBytes(segmentSize_ - segmentCarry_.size());
        const bool more = !file_.atEnd() || bufferPos_ < buffer_.size();
        const qsizetype tail = more ? incompleteUtf8Tail(bytes) : 0;
        segmentCarry_ = bytes.right(tail);
        bytes.chop(tail);
        segment_ = decodeSourceText(bytes);
        read = segment_.size();
    }
    Q_EMIT FinishedReadingSegment(segmentNumber_, read);
    if (read > 0) {
        ++segmentNumber_;
        segmentPosition_ = 1;
        segmentBytesRead_ = 0;
        endOfSegment_ = false;
    } else {
        endOfSegment_ = true;
    }
    return read;
}

QString FileObject::ReadTextLineFromSegment(qint64 startPosition) {
    if (startPosition > 0)
        segmentPosition_ = startPosition;
    const qsizetype from = static_cast<qsizetype>(segmentPosition_ - 1);
    if (from >= segment_.size()) {
        endOfSegment_ = true;
        return {};
    }
    qsizetype brk = from;
    while (brk < segment_.size() && segment_.at(brk) != u'\r' && segment_.at(brk) != u'\n')
        ++brk;
    const QString line = segment_.mid(from, brk - from);
    if (brk < segment_.size()) {
        const qsizetype next =
            brk + ((segment_.at(brk) == u'\r' && brk + 1 < segment_.size() && segment_.at(brk + 1) == u'\n')
                       ? 2
                       : 1);
        segmentBytesRead_ += next - from;
        segmentPosition_ = next + 1;
        ++linesRead_;
    } else {
        segmentBytesRead_ += line.size();
        endOfSegment_ = true;
        segmentPosition_ = segment_.size() + 1;
    }
    Q_EMIT UpdateLineCounter(linesRead_);
    return line;
}

// ---- Writing ----

void FileObject::WriteTextLine(const QString& text) {
    if (fileNumber_ == 0)
        return;
    file_.write(text.toUtf8());
    file_.write("\r\n", 2);
    ++linesWritten_;
}

int FileObject::WriteStringArrayToFile(const QStringList& lines, const QString& name, bool append,
                                       bool skipBlank) {
    if (!name.trimmed().isEmpty())
        setFilename(name);
    if (Filename().isEmpty())
        return 0;
    setMode(append ? QStringLiteral("append") : QStringLiteral("output"));
    if (OpenFile() == 0)
        return 0;
    int written = 0;
    for (const QString& line : lines) {
        if (skipBlank && line.trimmed().isEmpty())
            continue;
        WriteTextLine(line);
        ++written;
        Q_EMIT UpdateLineCounter(written);
    }
    closefile();
    return written;
}

void FileObject::ReadFileToStringArray(QStringList& lines, const QString& name) {
    lines.clear();
    if (!name.trimmed().isEmpty())
        setFilename(name);
    setMode(QStringLiteral("input"));
    if (OpenFile() == 0) {
        lines << QString();
        return;
    }
    for (QString line = Readline(); line != Eof || !atEndOfFile(); line = Readline())
        lines << line;
    if (lines.isEmpty())
        lines << QString();
    closefile();
}

bool FileObject::SaveStringToFile(const QString& text, const QString& name) {
    if (!name.trimmed().isEmpty())
        setFilename(name);
    failure_ = {};
    // Written beside the old file and put in its place at the end, so a failed write leaves it whole.
    QSaveFile out(Filename());
    const QByteArray bytes = text.toUtf8();
    if (Filename().isEmpty() || !out.open(QIODevice::WriteOnly)) {
        fail(75, QStringLiteral("Error saving character string to file"), QStringLiteral("SaveStringToFile"));
        return false;
    }
    Q_EMIT StartingToLoadStringToFile(bytes.size(), Filename());
    if (out.write(bytes) != bytes.size() || !out.commit()) {
        fail(75, QStringLiteral("Error saving character string to file"), QStringLiteral("SaveStringToFile"));
        return false;
    }
    Q_EMIT FInishedLoadingStringToFile(bytes.size(), Filename());
    return true;
}

bool FileObject::CreateBackup(const QString& backupName) {
    const QString source = Filename();
    if (source.isEmpty() || !QFileInfo(source).isFile())
        return false;
    const QString target = backupName.trimmed().isEmpty()
                               ? names_.FileDirectory() + names_.FileNameOnly() + QStringLiteral(".bak")
                               : backupName.trimmed();
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(source).absoluteFilePath())
        return false;
    QFile::remove(target);
    return QFile::copy(source, target);
}

// ---- File names ----

void FileObject::setFilePicker(FilePicker picker) {
    filePicker() = std::move(picker);
}

QString FileObject::GetExistingFileName(const QString& directory, const QString& filter,
                                        const QString& title) {
    const QString chosen = filePicker() ? filePicker()(title, directory, filter, true).trimmed() : QString();
    if (!chosen.isEmpty())
        setFilename(chosen);
    return chosen;
}

QString FileObject::GetNewFileName(const QString& directory, const QString& filter, const QString& title) {
    const QString chosen = filePicker() ? filePicker()(title, directory, filter, false).trimmed() : QString();
    if (!chosen.isEmpty())
        setFilename(chosen);
    return chosen;
}

QString FileObject::GetUniqueFileName(const QString& prefix, int number) {
    return names_.GetUniqueFileName(prefix.isEmpty() ? QStringLiteral("~bns") : prefix, number, {}, {});
}
