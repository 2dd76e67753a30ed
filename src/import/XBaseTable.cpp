#include "import/XBaseTable.h"

#include "import/ValueText.h"

#include <QDir>
#include <QFileInfo>
#include <cstring>

namespace importer {

namespace {

constexpr int HeaderSize = 32;
constexpr int DescriptorSize = 32;
constexpr qint64 RecordBlockBytes = 256 * 1024;
// Far above any real memo; a damaged pointer or length never makes a larger allocation.
constexpr qint64 MaxMemoBytes = 64 * 1024 * 1024;

quint16 le16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint16(u[0] | (u[1] << 8));
}
quint32 le32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}
quint32 be32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}
quint16 be16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint16((u[0] << 8) | u[1]);
}
qint64 le64(const char* p) {
    return qint64(quint64(le32(p)) | (quint64(le32(p + 4)) << 32));
}

bool isVisualFoxPro(int version) {
    return version == 0x30 || version == 0x31 || version == 0x32;
}

bool isKnownVersion(int version) {
    // dBase III, IV and 5 (level 3 in the low bits), FoxBase (level 2), FoxPro and Visual FoxPro. Level 4
    // (dBase 7) has another header layout. 0x00 is what some writers put in FoxPro tables without memo.
    const int level = version & 0x07;
    return version == 0x00 || level == 2 || level == 3 || isVisualFoxPro(version) || version == 0xF5 ||
           version == 0xFB;
}

struct TypeInfo {
    FieldKind kind;
    const char* name;
};

bool describeType(char type, int length, bool visualFoxPro, TypeInfo* info) {
    switch (type) {
    case 'C':
        *info = {FieldKind::Text, "Character"};
        return true;
    case 'V':
        *info = {FieldKind::Text, "Varchar"};
        return true;
    case 'N':
        *info = {FieldKind::Number, "Numeric"};
        return true;
    case 'F':
        *info = {FieldKind::Number, "Float"};
        return true;
    case 'D':
        *info = {FieldKind::Date, "Date"};
        return true;
    case 'L':
        *info = {FieldKind::Boolean, "Logical"};
        return true;
    case 'M':
        *info = {FieldKind::Memo, "Memo"};
        return true;
    case 'I':
        *info = {FieldKind::Number, "Integer"};
        return length == 4;
    case 'Y':
        *info = {FieldKind::Number, "Currency"};
        return length == 8;
    case 'T':
        *info = {FieldKind::DateTime, "DateTime"};
        return length == 8;
    case 'B':
        if (visualFoxPro && length == 8)
            *info = {FieldKind::Number, "Double"};
        else
            *info = {FieldKind::Binary, "Binary"};
        return true;
    case 'G':
        *info = {FieldKind::Binary, "General"};
        return true;
    case 'P':
        *info = {FieldKind::Binary, "Picture"};
        return true;
    case 'Q':
        *info = {FieldKind::Binary, "Varbinary"};
        return true;
    case 'W':
        *info = {FieldKind::Binary, "Blob"};
        return true;
    case '0':
        *info = {FieldKind::Binary, "NullFlags"};
        return true;
    default:
        return false;
    }
}

bool isMemoType(const XBaseField& field) {
    return field.type == 'M' || field.type == 'G' || field.type == 'P' || field.type == 'W' ||
           (field.type == 'B' && field.kind == FieldKind::Binary);
}

bool isBlank(const char* data, int length) {
    for (int i = 0; i < length; ++i)
        if (data[i] != ' ' && data[i] != '\0')
            return false;
    return true;
}

} // namespace

bool XBaseTable::open(std::unique_ptr<ByteSource> table, QString* error) {
    const auto refuse = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    table_ = std::move(table);
    memo_.reset();
    fields_.clear();
    buffer_.clear();
    bufferFirst_ = -1;
    bufferCount_ = 0;
    if (!table_)
        return refuse(QStringLiteral("no table file"));

    const qint64 fileSize = table_->size();
    char header[HeaderSize];
    if (fileSize < HeaderSize || !table_->readAt(0, header, HeaderSize))
        return refuse(QStringLiteral("the file is shorter than a table header"));
    version_ = static_cast<unsigned char>(header[0]);
    if (!isKnownVersion(version_))
        return refuse(QStringLiteral("the first byte (0x%1) is not a dBase or FoxPro version")
                          .arg(version_, 2, 16, QLatin1Char('0')));
    visualFoxPro_ = isVisualFoxPro(version_);
    recordCount_ = le32(header + 4);
    headerLength_ = le16(header + 8);
    recordLength_ = le16(header + 10);
    const int month = static_cast<unsigned char>(header[2]);
    const int day = static_cast<unsigned char>(header[3]);
    if (month > 12 || day > 31)
        return refuse(QStringLiteral("the header's date is not a date"));
    if (headerLength_ < HeaderSize + DescriptorSize + 1 || headerLength_ > fileSize)
        return refuse(QStringLiteral("the header length %1 does not fit the file").arg(headerLength_));
    if (recordLength_ < 2)
        return refuse(QStringLiteral("the record length %1 is too small").arg(recordLength_));

    QByteArray descriptors(headerLength_ - HeaderSize, Qt::Uninitialized);
    if (!table_->readAt(HeaderSize, descriptors.data(), descriptors.size()))
        return refuse(QStringLiteral("the field descriptors cannot be read"));

    const int languageDriver = static_cast<unsigned char>(header[29]);
    decoder_ = std::make_unique<CodePageDecoder>(
        codePageOfLanguageDriver(static_cast<unsigned char>(languageDriver)));

    QStringList rawNames;
    QList<XBaseField> all;
    int offset = 1;
    int nullBit = 0;
    bool terminated = false;
    for (qsizetype at = 0; at + 1 <= descriptors.size(); at += DescriptorSize) {
        const char* d = descriptors.constData() + at;
        if (d[0] == '\r') {
            terminated = true;
            break;
        }
        if (at + DescriptorSize > descriptors.size())
            break;
        XBaseField field;
        const char* nameEnd = static_cast<const char*>(std::memchr(d, '\0', 11));
        const int nameLength = nameEnd ? int(nameEnd - d) : 11;
        field.name = decoder_->decode(QByteArrayView(d, nameLength)).trimmed();
        field.type = char(QChar::fromLatin1(d[11]).toUpper().toLatin1());
        field.length = static_cast<unsigned char>(d[16]);
        field.decimals = static_cast<unsigned char>(d[17]);
        const int flags = static_cast<unsigned char>(d[18]);
        if (field.type == 'C' && field.decimals > 0) {
            // Clipper and FoxPro keep the high byte of a long character field's length here.
            field.length += field.decimals * 256;
            field.decimals = 0;
        }
        TypeInfo info{};
        if (field.name.isEmpty() || field.length == 0 ||
            !describeType(field.type, field.length, visualFoxPro_, &info))
            return refuse(QStringLiteral("field %1 has an unknown type or no name").arg(all.size() + 1));
        field.kind = info.kind;
        field.typeName = QString::fromLatin1(info.name);
        field.offset = offset;
        offset += field.length;
        if (offset > recordLength_)
            return refuse(
                QStringLiteral("the fields are longer than the record length %1").arg(recordLength_));
        if (visualFoxPro_ && field.type != '0') {
            if (flags & 0x02)
                field.nullBit = nullBit++;
            if (field.type == 'V' || field.type == 'Q')
                field.lengthBit = nullBit++;
        }
        all.append(field);
    }
    if (!terminated && !visualFoxPro_)
        return refuse(QStringLiteral("the field list has no end mark"));
    if (all.isEmpty())
        return refuse(QStringLiteral("the table has no fields"));

    for (const XBaseField& field : std::as_const(all)) {
        if (field.type == '0') {
            nullFlagsOffset_ = field.offset;
            nullFlagsLength_ = field.length;
            continue;
        }
        fields_.append(field);
        rawNames.append(field.name);
    }
    if (fields_.isEmpty())
        return refuse(QStringLiteral("the table has no fields"));
    const QStringList names = uniqueFieldNames(rawNames);
    for (qsizetype i = 0; i < fields_.size(); ++i)
        fields_[i].name = names.at(i);

    // A file cut short loses records: refuse it rather than import part of it without saying so.
    const qint64 needed = qint64(headerLength_) + recordCount_ * qint64(recordLength_);
    if (needed > fileSize)
        return refuse(QStringLiteral("the file holds %1 bytes but its header calls for %2 (truncated)")
                          .arg(fileSize)
                          .arg(needed));

    foxProMemo_ = version_ == 0xF5 || version_ == 0xFB || visualFoxPro_;
    return true;
}

bool XBaseTable::attachMemo(std::unique_ptr<ByteSource> memo) {
    memo_.reset();
    if (!memo)
        return false;
    char memoHeader[32];
    if (!memo->readAt(0, memoHeader, sizeof memoHeader))
        return false;
    memoBlockSize_ = 512;
    if (foxProMemo_) {
        memoBlockSize_ = be16(memoHeader + 6);
    } else if (version_ != 0x83) {
        // dBase IV keeps its block length in the header; dBase III always uses 512.
        const int blockSize = le16(memoHeader + 20);
        if (blockSize >= 64)
            memoBlockSize_ = blockSize;
    }
    if (memoBlockSize_ <= 0)
        return false;
    memo_ = std::move(memo);
    return true;
}

QList<SourceField> XBaseTable::sourceFields() const {
    QList<SourceField> list;
    for (const XBaseField& field : fields_)
        list.append({field.name, field.kind, field.typeName, field.length});
    return list;
}

bool XBaseTable::hasMemoFields() const {
    for (const XBaseField& field : fields_)
        if (isMemoType(field))
            return true;
    return false;
}

QString XBaseTable::memoSuffix() const {
    return (version_ == 0xF5 || version_ == 0xFB || isVisualFoxPro(version_)) ? QStringLiteral("fpt")
                                                                              : QStringLiteral("dbt");
}

QString XBaseTable::text(const char* data, int length) const {
    while (length > 0 && (data[length - 1] == ' ' || data[length - 1] == '\0'))
        --length;
    if (length == 0)
        return {};
    return decoder_->decode(QByteArrayView(data, length));
}

XBaseTable::RecordState XBaseTable::readRecord(qint64 index, QStringList& values) {
    values.clear();
    if (!table_ || index < 0 || index >= recordCount_)
        return RecordState::Failed;
    if (bufferFirst_ < 0 || index < bufferFirst_ || index >= bufferFirst_ + bufferCount_) {
        const qint64 perBlock = qMax<qint64>(1, RecordBlockBytes / recordLength_);
        bufferFirst_ = index;
        bufferCount_ = qMin(perBlock, recordCount_ - index);
        buffer_.resize(bufferCount_ * recordLength_);
        if (!table_->readAt(headerLength_ + index * recordLength_, buffer_.data(), buffer_.size())) {
            bufferFirst_ = -1;
            return RecordState::Failed;
        }
    }
    const char* record = buffer_.constData() + (index - bufferFirst_) * recordLength_;
    if (record[0] == '*')
        return RecordState::Deleted;
    QByteArray nullFlags;
    if (nullFlagsOffset_ > 0)
        nullFlags = QByteArray(record + nullFlagsOffset_, nullFlagsLength_);
    values.reserve(fields_.size());
    for (const XBaseField& field : fields_)
        values.append(valueOf(field, record + field.offset, nullFlags));
    return RecordState::Live;
}

QString XBaseTable::valueOf(const XBaseField& field, const char* data, const QByteArray& nullFlags) {
    const auto bitSet = [&nullFlags](int bit) {
        return bit >= 0 && bit / 8 < nullFlags.size() &&
               (static_cast<unsigned char>(nullFlags[bit / 8]) >> (bit % 8)) & 1;
    };
    if (bitSet(field.nullBit))
        return {};
    switch (field.type) {
    case 'C':
        return text(data, field.length);
    case 'V': {
        int length = field.length;
        if (bitSet(field.lengthBit))
            length = qMin(int(static_cast<unsigned char>(data[field.length - 1])), field.length - 1);
        return text(data, length);
    }
    case 'N':
    case 'F':
        if (isBlank(data, field.length))
            return {};
        return normalizedNumber(QString::fromLatin1(data, field.length));
    case 'D': {
        if (isBlank(data, field.length) || QByteArrayView(data, field.length).count('0') == field.length)
            return {};
        // YYYYMMDD; anything else is kept as it stands.
        int parts[3] = {0, 0, 0};
        const int widths[3] = {4, 2, 2};
        bool digits = field.length == 8;
        for (int part = 0, at = 0; digits && part < 3; ++part)
            for (int i = 0; i < widths[part]; ++i, ++at) {
                digits = digits && data[at] >= '0' && data[at] <= '9';
                parts[part] = parts[part] * 10 + (data[at] - '0');
            }
        const QDate date = digits ? QDate(parts[0], parts[1], parts[2]) : QDate();
        return date.isValid() ? dateText(date) : QString::fromLatin1(data, field.length).trimmed();
    }
    case 'L':
        switch (data[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return boolText(true);
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return boolText(false);
        default:
            return {};
        }
    case 'I':
        return numberText(qint64(qint32(le32(data))));
    case 'Y':
        return scaledIntegerText(le64(data), 4);
    case 'T': {
        const qint64 day = qint32(le32(data));
        const qint64 milliseconds = qint32(le32(data + 4));
        if (day == 0 && milliseconds == 0)
            return {};
        const QDate date = QDate::fromJulianDay(day);
        if (!date.isValid() || milliseconds < 0 || milliseconds >= 86400000)
            return {};
        return dateTimeText(QDateTime(date, QTime(0, 0).addMSecs(int(milliseconds)), Qt::UTC));
    }
    case 'B':
        if (field.kind == FieldKind::Number) {
            const quint64 bits = quint64(le64(data));
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return numberText(value);
        }
        return {};
    case 'M':
        return memoText(field, data);
    default:
        return {};
    }
}

QString XBaseTable::memoText(const XBaseField& field, const char* data) {
    quint32 block = 0;
    if (field.length == 4) {
        block = le32(data);
    } else {
        const QByteArray digits = QByteArray(data, field.length).trimmed();
        bool ok = false;
        block = digits.toUInt(&ok);
        if (!ok)
            return {};
    }
    if (block == 0 || !memo_)
        return {};
    bool binary = false;
    QByteArray bytes = readMemo(block, &binary);
    if (binary)
        return {};
    while (!bytes.isEmpty() && (bytes.endsWith('\0') || bytes.endsWith('\x1a')))
        bytes.chop(1);
    if (bytes.isEmpty())
        return {};
    return decoder_->decode(bytes);
}

QByteArray XBaseTable::readMemo(quint32 block, bool* binary) {
    const qint64 start = qint64(block) * memoBlockSize_;
    const qint64 memoSize = memo_->size();
    if (start >= memoSize)
        return {};
    char head[8];
    if (foxProMemo_) {
        if (!memo_->readAt(start, head, 8))
            return {};
        *binary = be32(head) != 1;
        const qint64 length = be32(head + 4);
        if (length > MaxMemoBytes || length > memoSize - start - 8)
            return {};
        QByteArray bytes(length, Qt::Uninitialized);
        return memo_->readAt(start + 8, bytes.data(), length) ? bytes : QByteArray();
    }
    if (memo_->readAt(start, head, 8) && static_cast<unsigned char>(head[0]) == 0xFF &&
        static_cast<unsigned char>(head[1]) == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
        // dBase IV: the length counts the 8 bytes of the block header.
        qint64 length = le32(head + 4);
        length = length >= 8 ? length - 8 : length;
        length = qMin(length, memoSize - start - 8);
        if (length > MaxMemoBytes)
            return {};
        QByteArray bytes(length, Qt::Uninitialized);
        return memo_->readAt(start + 8, bytes.data(), length) ? bytes : QByteArray();
    }
    // dBase III: the text runs to the first end-of-file mark.
    QByteArray bytes;
    char chunk[512];
    for (qint64 at = start; at < memoSize && bytes.size() < MaxMemoBytes; at += qint64(sizeof chunk)) {
        const qint64 length = qMin<qint64>(sizeof chunk, memoSize - at);
        if (!memo_->readAt(at, chunk, length))
            break;
        const char* mark = static_cast<const char*>(std::memchr(chunk, 0x1A, size_t(length)));
        if (mark) {
            bytes.append(chunk, mark - chunk);
            break;
        }
        bytes.append(chunk, length);
    }
    return bytes;
}

// ---- Reader ----

QString siblingFile(const QString& path, const QString& suffix) {
    const QFileInfo info(path);
    const QString wanted = info.completeBaseName() + u'.' + suffix;
    const QStringList names = info.dir().entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return info.dir().filePath(name);
    return {};
}

bool XBaseReader::open(const QString& path) {
    opened_ = false;
    clearError();
    auto file = std::make_unique<FileByteSource>();
    if (!file->open(path))
        return fail(QStringLiteral("the file cannot be opened"));
    QString error;
    if (!table_.open(std::move(file), &error))
        return fail(error);
    if (table_.hasMemoFields()) {
        QString memoPath = siblingFile(path, table_.memoSuffix());
        if (memoPath.isEmpty())
            memoPath = siblingFile(path, table_.memoSuffix() == QLatin1String("dbt") ? QStringLiteral("fpt")
                                                                                     : QStringLiteral("dbt"));
        auto memoFile = std::make_unique<FileByteSource>();
        if (memoPath.isEmpty() || !memoFile->open(memoPath) || !table_.attachMemo(std::move(memoFile)))
            warn(QStringLiteral("The memo file of %1 was not found or cannot be read; its memo fields are "
                                "left empty.")
                     .arg(QFileInfo(path).fileName()));
    }
    tableName_ = QFileInfo(path).completeBaseName();
    opened_ = true;
    return true;
}

QStringList XBaseReader::tables() const {
    return opened_ ? QStringList{tableName_} : QStringList();
}

QList<SourceField> XBaseReader::fields(const QString& table) {
    if (!opened_ || table.compare(tableName_, Qt::CaseInsensitive) != 0)
        return {};
    return table_.sourceFields();
}

bool XBaseReader::beginRows(const QString& table) {
    if (!opened_ || table.compare(tableName_, Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("there is no table %1").arg(table));
    next_ = 0;
    return true;
}

SourceReader::ReadResult XBaseReader::nextRow(SourceRow& row) {
    if (!opened_)
        return ReadResult::Failed;
    while (next_ < table_.recordCount()) {
        const qint64 index = next_++;
        switch (table_.readRecord(index, row)) {
        case XBaseTable::RecordState::Live:
            return ReadResult::Row;
        case XBaseTable::RecordState::Deleted:
            continue;
        case XBaseTable::RecordState::Failed:
            fail(QStringLiteral("record %1 cannot be read").arg(index + 1));
            return ReadResult::Failed;
        }
    }
    return ReadResult::End;
}

} // namespace importer
