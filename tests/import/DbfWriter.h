#pragma once

// Small dBase / FoxPro tables built byte by byte, for the cases no fixture has.

#include <QByteArray>
#include <QList>

namespace dbf {

struct Field {
    QByteArray name;
    char type = 'C';
    int length = 10;
    int decimals = 0;
    int flags = 0; // Visual FoxPro field flags (0x02: may be null)
};

struct Record {
    QList<QByteArray> values; // raw bytes of each field, padded by the writer to the field's length
    bool deleted = false;
};

inline void putLe16(QByteArray& bytes, int at, int value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}
inline void putLe32(QByteArray& bytes, int at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

// A table: header, descriptors, the 0x0D end mark (and Visual FoxPro's 263-byte back link), records, 0x1A.
inline QByteArray table(int version, const QList<Field>& fields, const QList<Record>& records,
                        unsigned char languageDriver = 0x03) {
    const bool visualFoxPro = version == 0x30;
    int recordLength = 1;
    for (const Field& field : fields)
        recordLength += field.length;
    const int headerLength = 32 + 32 * int(fields.size()) + 1 + (visualFoxPro ? 263 : 0);
    QByteArray bytes(headerLength, '\0');
    bytes[0] = char(version);
    bytes[1] = char(124);
    bytes[2] = char(5);
    bytes[3] = char(17);
    putLe32(bytes, 4, quint32(records.size()));
    putLe16(bytes, 8, headerLength);
    putLe16(bytes, 10, recordLength);
    bytes[29] = char(languageDriver);
    int at = 32;
    int offset = 1;
    for (const Field& field : fields) {
        for (int i = 0; i < field.name.size() && i < 11; ++i)
            bytes[at + i] = field.name.at(i);
        bytes[at + 11] = field.type;
        putLe32(bytes, at + 12, quint32(offset));
        bytes[at + 16] = char(field.length & 0xFF);
        bytes[at + 17] = char(field.type == 'C' ? (field.length >> 8) : field.decimals);
        bytes[at + 18] = char(field.flags);
        offset += field.length;
        at += 32;
    }
    bytes[at] = '\r';
    for (const Record& record : records) {
        QByteArray row(1, record.deleted ? '*' : ' ');
        for (qsizetype i = 0; i < fields.size(); ++i) {
            QByteArray value = record.values.value(i);
            const char pad =
                (fields.at(i).type == 'C' || fields.at(i).type == 'N' || fields.at(i).type == 'M' ||
                 fields.at(i).type == 'D' || fields.at(i).type == 'L' || fields.at(i).type == 'F')
                    ? ' '
                    : '\0';
            value = value.left(fields.at(i).length);
            if (fields.at(i).type == 'N' || fields.at(i).type == 'F')
                value = QByteArray(fields.at(i).length - value.size(), pad) + value;
            else
                value += QByteArray(fields.at(i).length - value.size(), pad);
            row += value;
        }
        bytes += row;
    }
    bytes += '\x1A';
    return bytes;
}

// A dBase III memo file: 512-byte blocks, each text ended by 0x1A 0x1A; the block numbers come back in order.
inline QByteArray dbase3Memo(const QList<QByteArray>& texts, QList<int>* blocks) {
    QByteArray bytes(512, '\0');
    for (const QByteArray& text : texts) {
        blocks->append(int(bytes.size() / 512));
        QByteArray block = text + "\x1A\x1A";
        block += QByteArray((512 - block.size() % 512) % 512, '\0');
        bytes += block;
    }
    putLe32(bytes, 0, quint32(bytes.size() / 512));
    return bytes;
}

// A FoxPro memo file (big-endian header and block headers); type 1 is text, 0 a picture.
inline QByteArray foxProMemo(int blockSize, const QList<QPair<int, QByteArray>>& blocks,
                             QList<int>* numbers) {
    QByteArray bytes(512, '\0');
    bytes[6] = char((blockSize >> 8) & 0xFF);
    bytes[7] = char(blockSize & 0xFF);
    for (const auto& [type, data] : blocks) {
        numbers->append(int(bytes.size() / blockSize));
        QByteArray block(8, '\0');
        block[3] = char(type);
        const quint32 length = quint32(data.size());
        block[4] = char(length >> 24);
        block[5] = char(length >> 16);
        block[6] = char(length >> 8);
        block[7] = char(length);
        block += data;
        block += QByteArray((blockSize - block.size() % blockSize) % blockSize, '\0');
        bytes += block;
    }
    return bytes;
}

inline QByteArray le32(quint32 value) {
    QByteArray bytes(4, '\0');
    putLe32(bytes, 0, value);
    return bytes;
}

inline QByteArray le64(qint64 value) {
    QByteArray bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[i] = char((quint64(value) >> (8 * i)) & 0xFF);
    return bytes;
}

} // namespace dbf
