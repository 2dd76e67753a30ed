#include "import/ParadoxReader.h"

#include "import/ValueText.h"
#include "import/XBaseTable.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

// pxlib's header declares C functions without saying so.
extern "C" {
#include <paradox.h>
}

namespace importer {

namespace {

constexpr qint64 MaxBlobBytes = 64 * 1024 * 1024;

quint32 le32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}
quint16 le16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint16(u[0] | (u[1] << 8));
}

// Paradox stores numbers big-endian with the sign bit flipped, so that they sort as bytes; all zero is
// no value.
bool isNull(const char* data, int length) {
    for (int i = 0; i < length; ++i)
        if (data[i] != 0)
            return false;
    return true;
}
quint64 flippedBits(const char* data, int length) {
    quint64 value = 0;
    for (int i = 0; i < length; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[i]);
    return value;
}
qint64 paradoxInteger(const char* data, int length) {
    const quint64 bits = flippedBits(data, length);
    const quint64 sign = quint64(1) << (length * 8 - 1);
    return (bits & sign) ? qint64(bits & ~sign) : qint64(bits) - qint64(sign);
}
double paradoxDouble(const char* data) {
    quint64 bits = flippedBits(data, 8);
    bits = (bits & (quint64(1) << 63)) ? bits & ~(quint64(1) << 63) : ~bits;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
QDate paradoxDate(qint64 days) {
    // Day 1 is 1 January of the year 1.
    return QDate(1, 1, 1).addDays(days - 1);
}

struct TypeInfo {
    FieldKind kind;
    const char* name;
};

TypeInfo typeOf(int type) {
    switch (type) {
    case pxfAlpha:
        return {FieldKind::Text, "Alpha"};
    case pxfDate:
        return {FieldKind::Date, "Date"};
    case pxfShort:
        return {FieldKind::Number, "Short"};
    case pxfLong:
        return {FieldKind::Number, "Long Integer"};
    case pxfAutoInc:
        return {FieldKind::Number, "Autoincrement"};
    case pxfCurrency:
        return {FieldKind::Number, "Money"};
    case pxfNumber:
        return {FieldKind::Number, "Number"};
    case pxfBCD:
        return {FieldKind::Number, "BCD"};
    case pxfLogical:
        return {FieldKind::Boolean, "Logical"};
    case pxfMemoBLOb:
        return {FieldKind::Memo, "Memo"};
    case pxfFmtMemoBLOb:
        return {FieldKind::Memo, "Formatted Memo"};
    case pxfTime:
        return {FieldKind::Text, "Time"};
    case pxfTimestamp:
        return {FieldKind::DateTime, "Timestamp"};
    case pxfBLOb:
        return {FieldKind::Binary, "BLOb"};
    case pxfOLE:
        return {FieldKind::Binary, "OLE"};
    case pxfGraphic:
        return {FieldKind::Binary, "Graphic"};
    case pxfBytes:
        return {FieldKind::Binary, "Bytes"};
    default:
        return {FieldKind::Binary, "Unknown"};
    }
}

// pxlib reports through this handler; the reader keeps the last message instead of printing it.
void collectError(pxdoc_t* doc, int type, const char* message, void* data) {
    Q_UNUSED(doc);
    Q_UNUSED(type);
    if (data && message)
        *static_cast<QString*>(data) = QString::fromLocal8Bit(message);
}

// pxlib follows the data blocks by their next-block numbers and never notices a chain that loops: each
// block must lie within the file and come up only once.
bool checkBlockChain(QFile& file, qint64 headerSize, qint64 blockSize, qint64 blocks, int firstBlock,
                     QString* error) {
    QList<bool> visited(blocks + 1, false);
    for (qint64 block = firstBlock; block != 0;) {
        if (block > blocks) {
            *error = QStringLiteral("data block %1 lies outside the file").arg(block);
            return false;
        }
        if (visited.at(block)) {
            *error = QStringLiteral("the chain of data blocks loops at block %1").arg(block);
            return false;
        }
        visited[block] = true;
        char next[2];
        if (!file.seek(headerSize + (block - 1) * blockSize) || file.read(next, 2) != 2) {
            *error = QStringLiteral("data block %1 cannot be read").arg(block);
            return false;
        }
        block = le16(next);
    }
    return true;
}

// The checks pxlib leaves out: a header that agrees with itself and a file as long as its header says.
bool checkHeader(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("the file cannot be opened");
        return false;
    }
    const QByteArray head = file.read(0x78);
    if (head.size() < 0x78) {
        *error = QStringLiteral("the file is shorter than a Paradox header");
        return false;
    }
    const char* h = head.constData();
    const int recordSize = le16(h);
    const int headerSize = le16(h + 2);
    const int fileType = static_cast<unsigned char>(h[4]);
    const int blockKb = static_cast<unsigned char>(h[5]);
    const qint64 records = le32(h + 6);
    const qint64 blocks = le16(h + 0x0C);
    const int fieldCount = le16(h + 0x21);
    const int version = static_cast<unsigned char>(h[0x39]);
    const bool blockSizeKnown =
        blockKb == 1 || blockKb == 2 || blockKb == 4 || blockKb == 8 || blockKb == 16 || blockKb == 32;
    if ((fileType != 0 && fileType != 2) || !blockSizeKnown || version < 3 || version > 12 ||
        fieldCount < 1 || fieldCount > 255 || recordSize < 1 || headerSize < 0x78 ||
        headerSize > file.size()) {
        *error = QStringLiteral("the header is not that of a Paradox table");
        return false;
    }
    const qint64 blockSize = qint64(blockKb) * 1024;
    if (headerSize + blocks * blockSize > file.size()) {
        *error = QStringLiteral("the file holds %1 bytes but its header calls for %2 (truncated)")
                     .arg(file.size())
                     .arg(headerSize + blocks * blockSize);
        return false;
    }
    if (records > blocks * ((blockSize - 6) / recordSize + 1)) {
        *error = QStringLiteral("the header counts more records than its blocks hold");
        return false;
    }
    return checkBlockChain(file, headerSize, blockSize, blocks, le16(h + 0x0E), error);
}

} // namespace

struct ParadoxReader::Document {
    pxdoc_t* doc = nullptr;
    QString lastError;
    ~Document() {
        if (doc) {
            PX_close(doc);
            PX_delete(doc);
        }
    }
};

ParadoxReader::ParadoxReader() = default;
ParadoxReader::~ParadoxReader() = default;

bool ParadoxReader::open(const QString& path) {
    clearError();
    doc_.reset();
    blobs_.reset();
    fields_.clear();
    QString error;
    if (!checkHeader(path, &error))
        return fail(error);

    static const bool booted = [] {
        PX_boot();
        return true;
    }();
    Q_UNUSED(booted);
    auto document = std::make_unique<Document>();
    document->doc = PX_new3(collectError, nullptr, nullptr, nullptr, &document->lastError);
    if (!document->doc)
        return fail(QStringLiteral("pxlib cannot start"));
    if (PX_open_file(document->doc, QFile::encodeName(path).constData()) < 0)
        return fail(QStringLiteral("pxlib cannot open the file: ") + document->lastError);
    pxhead_t* head = document->doc->px_head;
    if (!head || head->px_numfields < 1 || head->px_recordsize < 1)
        return fail(QStringLiteral("the table has no fields"));

    decoder_ = std::make_unique<CodePageDecoder>(head->px_doscodepage);
    QStringList names;
    int offset = 0;
    types_.clear();
    offsets_.clear();
    lengths_.clear();
    for (int i = 0; i < head->px_numfields; ++i) {
        const pxfield_t& field = head->px_fields[i];
        const TypeInfo info = typeOf(static_cast<unsigned char>(field.px_ftype));
        names << decoder_->decode(QByteArrayView(field.px_fname ? field.px_fname : ""));
        fields_.append({QString(), info.kind, QString::fromLatin1(info.name), field.px_flen});
        types_.append(static_cast<unsigned char>(field.px_ftype));
        offsets_.append(offset);
        lengths_.append(field.px_flen);
        offset += field.px_flen;
    }
    if (offset > head->px_recordsize)
        return fail(QStringLiteral("the fields are longer than the record"));
    const QStringList unique = uniqueFieldNames(names);
    for (qsizetype i = 0; i < fields_.size(); ++i)
        fields_[i].name = unique.at(i);
    recordCount_ = head->px_numrecords;
    record_ = QByteArray(head->px_recordsize, '\0');

    bool needsBlobs = false;
    for (const int type : std::as_const(types_))
        needsBlobs = needsBlobs || type == pxfMemoBLOb || type == pxfFmtMemoBLOb;
    if (needsBlobs) {
        const QString blobPath = siblingFile(path, QStringLiteral("mb"));
        auto blobs = std::make_unique<FileByteSource>();
        if (!blobPath.isEmpty() && blobs->open(blobPath))
            blobs_ = std::move(blobs);
        else
            warn(QStringLiteral(
                     "The memo file of %1 was not found; its memo texts longer than the part kept in "
                     "the table are left empty.")
                     .arg(QFileInfo(path).fileName()));
    }
    doc_ = std::move(document);
    tableName_ = QFileInfo(path).completeBaseName();
    return true;
}

QStringList ParadoxReader::tables() const {
    return doc_ ? QStringList{tableName_} : QStringList();
}

QList<SourceField> ParadoxReader::fields(const QString& table) {
    if (!doc_ || table.compare(tableName_, Qt::CaseInsensitive) != 0)
        return {};
    return fields_;
}

bool ParadoxReader::beginRows(const QString& table) {
    if (!doc_ || table.compare(tableName_, Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("there is no table %1").arg(table));
    next_ = 0;
    return true;
}

SourceReader::ReadResult ParadoxReader::nextRow(SourceRow& row) {
    if (!doc_)
        return ReadResult::Failed;
    while (next_ < recordCount_) {
        const int index = int(next_++);
        int deleted = 0;
        pxdatablockinfo_t info;
        if (!PX_get_record2(doc_->doc, index, record_.data(), &deleted, &info)) {
            fail(QStringLiteral("record %1 cannot be read: %2").arg(index + 1).arg(doc_->lastError));
            return ReadResult::Failed;
        }
        if (deleted)
            continue;
        row.clear();
        row.reserve(fields_.size());
        for (qsizetype i = 0; i < fields_.size(); ++i)
            row.append(valueOf(int(i), record_.constData() + offsets_.at(i)));
        return ReadResult::Row;
    }
    return ReadResult::End;
}

QString ParadoxReader::valueOf(int field, const char* data) {
    const int length = lengths_.at(field);
    switch (types_.at(field)) {
    case pxfAlpha: {
        // The text ends at the first NUL; the blanks before it are padding.
        int size = 0;
        while (size < length && data[size] != '\0')
            ++size;
        while (size > 0 && data[size - 1] == ' ')
            --size;
        return size > 0 ? decoder_->decode(QByteArrayView(data, size)) : QString();
    }
    case pxfDate:
        if (length != 4 || isNull(data, 4))
            return {};
        return dateText(paradoxDate(paradoxInteger(data, 4)));
    case pxfShort:
    case pxfLong:
    case pxfAutoInc:
        if ((length != 2 && length != 4) || isNull(data, length))
            return {};
        return numberText(paradoxInteger(data, length));
    case pxfCurrency:
    case pxfNumber:
        if (length != 8 || isNull(data, 8))
            return {};
        return numberText(paradoxDouble(data));
    case pxfLogical:
        if (length < 1 || data[0] == 0)
            return {};
        return boolText((static_cast<unsigned char>(data[0]) & 0x7F) != 0);
    case pxfTime: {
        if (length != 4 || isNull(data, 4))
            return {};
        const qint64 milliseconds = paradoxInteger(data, 4);
        if (milliseconds < 0 || milliseconds >= 86400000)
            return {};
        return QTime(0, 0).addMSecs(int(milliseconds)).toString(QStringLiteral("HH:mm:ss"));
    }
    case pxfTimestamp: {
        if (length != 8 || isNull(data, 8))
            return {};
        const double milliseconds = paradoxDouble(data);
        if (!(milliseconds >= 0 && milliseconds < 4e14))
            return {};
        const qint64 whole = qint64(milliseconds);
        const QDate date = paradoxDate(whole / 86400000);
        return dateTimeText(QDateTime(date, QTime(0, 0).addMSecs(int(whole % 86400000)), Qt::UTC));
    }
    case pxfBCD: {
        char* text = nullptr;
        QByteArray copy(data, length);
        if (PX_get_data_bcd(doc_->doc, reinterpret_cast<unsigned char*>(copy.data()), length, &text) <= 0 ||
            !text)
            return {};
        const QString value = normalizedNumber(QString::fromLatin1(text));
        doc_->doc->free(doc_->doc, text);
        return value;
    }
    case pxfMemoBLOb:
    case pxfFmtMemoBLOb:
        return memoText(data, length);
    default:
        return {};
    }
}

QString ParadoxReader::memoText(const char* data, int length) {
    if (length <= 10 || isNull(data, length))
        return {};
    const quint32 size = le32(data + length - 6);
    QByteArray bytes;
    if (size <= quint32(length - 10))
        bytes = QByteArray(data, int(size));
    else if (blobs_)
        bytes = readParadoxBlob(*blobs_, data, length);
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return bytes.isEmpty() ? QString() : decoder_->decode(bytes);
}

QByteArray readParadoxBlob(ByteSource& blobs, const char* field, int fieldLength) {
    if (fieldLength <= 10)
        return {};
    const char* pointer = field + fieldLength - 10;
    const quint32 offset = le32(pointer);
    const quint32 length = le32(pointer + 4);
    const int leader = fieldLength - 10;
    if (length == 0)
        return {};
    if (length <= quint32(leader))
        return QByteArray(field, int(length));
    if (length > MaxBlobBytes)
        return {};
    const qint64 block = qint64(offset & 0xFFFFFF00u);
    const int index = int(offset & 0xFFu);
    char head[12];
    if (!blobs.readAt(block, head, sizeof head))
        return {};
    const int type = static_cast<unsigned char>(head[0]);
    qint64 start = -1;
    if (type == 2 && index == 0xFF) {
        // One blob in blocks of its own: a 9-byte header, then the data.
        start = block + 9;
    } else if (type == 3 && index < 0xFF) {
        // Sub-allocated: a table of 5-byte entries after the 12-byte header; the first byte of an entry is
        // the data's offset in 16-byte units from the block start.
        char entry[5];
        if (!blobs.readAt(block + 12 + qint64(index) * 5, entry, sizeof entry))
            return {};
        start = block + qint64(static_cast<unsigned char>(entry[0])) * 16;
    } else {
        return {};
    }
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    if (!blobs.readAt(start, bytes.data(), length))
        return {};
    return bytes;
}

} // namespace importer
