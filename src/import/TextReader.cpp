#include "import/TextReader.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>

namespace importer {

namespace {

constexpr qint64 ChunkBytes = 1 << 20;

// A file's encoding, remembered with the size and time that identify its version: the wizard opens the
// file to show its fields, then again to import it, and reading a large file twice to learn what is
// already known would hold the window up.
struct KnownEncoding {
    qint64 size = -1;
    QDateTime modified;
    TextEncodingGuess guess;
};

QHash<QString, KnownEncoding>& knownEncodings() {
    static QHash<QString, KnownEncoding> known;
    return known;
}

} // namespace

bool TextReader::open(const QString& path) {
    opened_ = false;
    clearError();
    path_ = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("the file cannot be opened"));
    const QByteArray head = file.peek(4);
    TextEncodingGuess guess = guessEncoding(head, true);
    const QFileInfo info(path);
    const KnownEncoding known = knownEncodings().value(info.absoluteFilePath());
    if (guess.bomLength == 0 && known.size == info.size() && known.modified == info.lastModified()) {
        guess = known.guess;
    } else if (guess.bomLength == 0) {
        // Without a byte-order mark the whole file decides between UTF-8 and Windows-1252; a NUL byte
        // means it is not text at all.
        Utf8Validator validator;
        QByteArray chunk;
        while (!(chunk = file.read(ChunkBytes)).isEmpty()) {
            if (chunk.contains('\0'))
                return fail(QStringLiteral("the file holds NUL bytes, so it is not a text file"));
            validator.feed(chunk);
        }
        guess = guessEncoding(head, validator.finish());
        knownEncodings().insert(info.absoluteFilePath(), {info.size(), info.lastModified(), guess});
    }
    encoding_ = guess;
    if (file.size() <= guess.bomLength)
        return fail(QStringLiteral("the file is empty"));
    file.close();

    if (!startReading())
        return false;
    // The first line decides the delimiter; the first record names the fields.
    while (!atEnd_ && !buffer_.contains(u'\n') && !buffer_.contains(u'\r') && readMore(ChunkBytes)) {
    }
    parser_ = CsvParser(CsvParser::detectDelimiter(buffer_));
    QStringList names;
    const CsvParser::Status status = nextRecord(names);
    if (status == CsvParser::Status::End)
        return fail(QStringLiteral("the file holds no text"));
    if (status == CsvParser::Status::Unterminated)
        return fail(QStringLiteral("the header line has a quoted name that is not closed"));
    for (QString& name : names)
        name = name.trimmed();
    fields_.clear();
    for (const QString& name : uniqueFieldNames(names))
        fields_.append({name, FieldKind::Text, QStringLiteral("Text"), 255});
    tableName_ = QFileInfo(path).fileName();
    opened_ = true;
    return true;
}

QStringList TextReader::tables() const {
    return opened_ ? QStringList{tableName_} : QStringList();
}

QList<SourceField> TextReader::fields(const QString& table) {
    if (!opened_ || table.compare(tableName_, Qt::CaseInsensitive) != 0)
        return {};
    return fields_;
}

bool TextReader::startReading() {
    file_.close();
    file_.setFileName(path_);
    if (!file_.open(QIODevice::ReadOnly) || !file_.seek(encoding_.bomLength))
        return fail(QStringLiteral("the file cannot be opened"));
    codePage_.reset();
    decoder_.reset();
    switch (encoding_.encoding) {
    case TextEncoding::Utf8:
        decoder_ = std::make_unique<QStringDecoder>(QStringConverter::Utf8);
        break;
    case TextEncoding::Utf16LE:
        decoder_ = std::make_unique<QStringDecoder>(QStringConverter::Utf16LE);
        break;
    case TextEncoding::Utf16BE:
        decoder_ = std::make_unique<QStringDecoder>(QStringConverter::Utf16BE);
        break;
    case TextEncoding::Windows1252:
        codePage_ = std::make_unique<CodePageDecoder>(1252);
        break;
    }
    buffer_.clear();
    pos_ = 0;
    atEnd_ = false;
    record_ = 0;
    return true;
}

bool TextReader::readMore(qint64 bytes) {
    if (atEnd_)
        return false;
    const QByteArray chunk = file_.read(bytes);
    if (pos_ > 0) {
        buffer_.remove(0, pos_);
        pos_ = 0;
    }
    if (chunk.isEmpty()) {
        atEnd_ = true;
        return false;
    }
    if (decoder_) {
        // Decoded straight into the buffer: a byte never gives more than one UTF-16 unit.
        const qsizetype used = buffer_.size();
        buffer_.resize(used + chunk.size());
        QChar* end = decoder_->appendToBuffer(buffer_.data() + used, chunk);
        buffer_.truncate(end - buffer_.constData());
    } else {
        buffer_ += codePage_->decode(chunk);
    }
    return true;
}

CsvParser::Status TextReader::nextRecord(QStringList& fields) {
    qint64 more = ChunkBytes;
    for (;;) {
        const CsvParser::Status status = parser_.parse(buffer_, pos_, atEnd_, fields);
        if (status != CsvParser::Status::NeedMore)
            return status;
        // A record longer than what is buffered: read in growing pieces so a long one costs linear time.
        readMore(more);
        more = qMin<qint64>(more * 2, qint64(1) << 30);
    }
}

bool TextReader::beginRows(const QString& table) {
    if (!opened_ || table.compare(tableName_, Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("there is no table %1").arg(table));
    if (!startReading())
        return false;
    QStringList header;
    return nextRecord(header) == CsvParser::Status::Record ||
           fail(QStringLiteral("the header cannot be read"));
}

SourceReader::ReadResult TextReader::nextRow(SourceRow& row) {
    if (!opened_)
        return ReadResult::Failed;
    switch (nextRecord(row)) {
    case CsvParser::Status::Record:
        break;
    case CsvParser::Status::End:
        return ReadResult::End;
    case CsvParser::Status::Unterminated:
        fail(QStringLiteral("record %1 opens a quoted field that the file never closes").arg(record_ + 1));
        return ReadResult::Failed;
    case CsvParser::Status::NeedMore:
        return ReadResult::Failed;
    }
    ++record_;
    if (row.size() > fields_.size()) {
        warn(QStringLiteral("Some records have more fields than the header line names; the extra fields were "
                            "not imported (first: record %1).")
                 .arg(record_));
        row.resize(fields_.size());
    }
    while (row.size() < fields_.size())
        row.append(QString());
    return ReadResult::Row;
}

} // namespace importer
