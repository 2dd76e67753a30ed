#pragma once

#include "util/FileNameObject.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// One open file read line by line (any length, CR LF, LF or a lone CR ending a line), whole into a
// string, or in fixed-size segments; or written line by line or whole. Bytes are read as UTF-8 where they
// are valid UTF-8 and as Windows-1252 otherwise, so no byte ever stops a read. Progress goes out as
// signals. File-name work is forwarded to a FileNameObject.
class FileObject : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 DefaultSegmentSize = 524288;

    // What Readline and the other line readers answer at the end of the file.
    static QString EndOfFile() { return QStringLiteral("##EOF##"); }

    // Why the last open or save failed; number 0 when it did not.
    struct Failure {
        int number = 0;
        QString description;
        QString source;
    };

    explicit FileObject(QObject* parent = nullptr);
    ~FileObject() override;

    // ---- Properties ----

    qint16 FileNumber() const { return fileNumber_; }
    QString Filename() const { return names_.FullFileName(); }
    void setFilename(const QString& name) { names_.setFullFileName(name.trimmed()); }
    QString Mode() const { return mode_; }
    // Trimmed and lower-cased; kept only when it is input, output, append, binary or random.
    void setMode(const QString& mode);
    QString Access() const { return access_; }
    // Trimmed and lower-cased; kept only when it is read, write or "read write".
    void setAccess(const QString& access);
    qint16 RecordLength() const { return static_cast<qint16>(recordLength_.toInt()); }
    void setRecordLength(qint32 length);
    qint64 FileSize() const { return fileSize_; }
    qint64 BytesRead() const { return bytesRead_; }
    qint64 LinesRead() const { return linesRead_; }
    qint64 LinesWritten() const { return linesWritten_; }
    qint64 BytesRemaining() const { return bytesRemaining_; }
    QString FileString() const { return fileString_; }
    void setFileString(const QString& text) { fileString_ = text; }
    qint64 segmentSize() const { return segmentSize_; }
    // Kept only when greater than 0. Also the size of the blocks Readline reads the file in.
    void setSegmentSize(qint64 size);
    qint64 Segmentnumber() const { return segmentNumber_; }
    bool EndOfSegment() const { return endOfSegment_; }
    qint64 NumberOfFullSegments() const { return fullSegments_; }
    qint64 LastSegmentSize() const { return lastSegmentSize_; }
    qint64 SizeOfLastSegment() const { return lastSegmentSize_; }
    QString currentSegment() const { return segment_; }
    const Failure& lastFailure() const { return failure_; }
    bool isOpen() const { return fileNumber_ != 0; }
    // Readline has met the end of the file: its last "##EOF##" was the marker, not a line of the file.
    bool atEndOfFile() const { return endReached_; }

    // ---- Reading and writing ----

    // Opens the given file (or Filename) in Mode; the file number, or 0 when nothing was opened (no name, no
    // mode, an empty file for input, or a failure described by lastFailure()). Binary opens an existing
    // file for reading (and writing when it may be written); it never creates one.
    qint16 OpenFile(const QString& name = {});
    // The next line without its line break; EndOfFile() after the last; "" when no file is open.
    QString Readline();
    // Readline for a scanner that looks at most lines only briefly: a line that lies within the reader's
    // block comes as its bytes (valid until the next read), a longer one as its text.
    enum class LineKind { End, Bytes, Text };
    LineKind ReadLineBytes(QByteArrayView& bytes, QString& text);
    void closefile();
    // The whole file as text; "" for an empty or unreadable file.
    QString ReadFileIntoString(const QString& name = {});
    // The next line of FileString (a start position above 0, from 1, moves there first).
    QString ReadTextLineFromFullFileString(qint64 startPosition = 0);
    // Reads the next segment of up to size bytes (below 1: segmentSize) as the current segment; the
    // characters read. A UTF-8 character cut by the segment's end goes into the next segment.
    qint64 ReadSegment(qint64 size = 0);
    // The next line of the current segment; the rest of it when no line break follows (EndOfSegment is
    // then set), "" once past its end. A line that straddles two segments comes back in two parts.
    QString ReadTextLineFromSegment(qint64 startPosition = 0);
    // Writes the text and CR LF to the open file.
    void WriteTextLine(const QString& text);
    // Writes the lines to name (or Filename), appending when asked, leaving out blank ones when asked; the
    // number of lines written.
    int WriteStringArrayToFile(const QStringList& lines, const QString& name = {}, bool append = false,
                               bool skipBlank = false);
    // The file's lines; one empty line for an empty or unopenable file.
    void ReadFileToStringArray(QStringList& lines, const QString& name = {});
    // Writes the text as the whole file (replacing it); false with lastFailure() set when it cannot.
    bool SaveStringToFile(const QString& text, const QString& name = {});
    // Copies the file to backupName, by default beside it with the suffix ".bak", replacing an old copy.
    bool CreateBackup(const QString& backupName = {});

    // ---- File names (forwarded) ----

    // The host's file chooser: (title, directory, filter, existing file wanted) -> chosen path or "".
    using FilePicker = std::function<QString(const QString&, const QString&, const QString&, bool)>;
    static void setFilePicker(FilePicker picker);
    QString GetExistingFileName(const QString& directory = {}, const QString& filter = {},
                                const QString& title = {});
    QString GetNewFileName(const QString& directory = {}, const QString& filter = {},
                           const QString& title = {});
    QString GetUniqueFileName(const QString& prefix = QStringLiteral("~bns"), int number = 0);
    static bool IsFile(const QString& name) { return FileNameObject::IsFile(name); }
    QString FileNameOnly() const { return names_.FileNameOnly(); }
    QString suffix() const { return names_.suffix(); }
    QString Directory() const { return names_.FileDirectory(); }
    static QString ForwardSlashesOnly(const QString& name) {
        return FileNameObject::ForwardSlashesOnly(name);
    }
    static QString AddQuotes(const QString& name) { return FileNameObject::AddQuotes(name); }
    static QString UserFilePath() { return FileNameObject::UserFilePath(); }

Q_SIGNALS:
    void UpdateLineCounter(qint64 lines);
    void FileOpened(const QString& fileName, qint64 fileSize, const QString& mode);
    void SegmentsSet(qint64 segmentSize, qint64 fullSegments, qint64 lastSegmentSize);
    void StartingToReadSegment(qint64 segmentNumber, qint64 segmentSize);
    void FinishedReadingSegment(qint64 segmentNumber, qint64 charactersRead);
    void StartingToReadFileIntoString(qint64 fileSize, const QString& fileName);
    void FinishedReadingFileIntoString(qint64 bytesRead, const QString& fileName);
    void StartingToLoadStringToFile(qint64 count, const QString& fileName);
    void FInishedLoadingStringToFile(qint64 count, const QString& fileName);

private:
    void resetForOpen();
    void fail(int number, const QString& description, const QString& source);
    // Makes unread bytes available in buffer_; false at the end of the file.
    bool fillBuffer();
    QByteArray takeBytes(qint64 count);

    FileNameObject names_;
    QFile file_;
    qint16 fileNumber_ = 0;
    QString mode_;
    QString access_;
    QString recordLength_;
    qint64 fileSize_ = 0;
    qint64 bytesRead_ = 0;
    qint64 linesRead_ = 0;
    qint64 linesWritten_ = 0;
    qint64 bytesRemaining_ = 0;
    QString fileString_;
    qint64 fileStringPosition_ = 1;
    qint64 segmentSize_ = DefaultSegmentSize;
    qint64 segmentNumber_ = 0;
    qint64 segmentPosition_ = 1;
    qint64 segmentBytesRead_ = 0;
    QString segment_;
    QByteArray segmentCarry_; // the start of a UTF-8 character cut by the last segment's end
    bool endOfSegment_ = false;
    qint64 fullSegments_ = 0;
    qint64 lastSegmentSize_ = 0;
    Failure failure_;

    // Readline's window on the file.
    QByteArray buffer_;
    qsizetype bufferPos_ = 0;
    bool skipLineFeed_ = false; // the last line ended in CR at the buffer's end: a leading LF belongs to it
    bool endReached_ = false;
};

// Text from bytes: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeSourceText(QByteArrayView bytes);
