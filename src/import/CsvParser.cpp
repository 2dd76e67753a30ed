#include "import/CsvParser.h"

#include <cstring>

namespace importer {

CsvParser::Status CsvParser::parse(QStringView text, qsizetype& pos, bool atEnd, QStringList& fields) const {
    const char16_t* data = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = pos;
    while (i < n && (data[i] == u'\n' || data[i] == u'\r'))
        ++i;
    if (i == n) {
        if (!atEnd)
            return Status::NeedMore;
        pos = i;
        return Status::End;
    }

    fields.clear();
    QString field;
    for (;;) {
        field.clear();
        const bool quoted = data[i] == u'"';
        if (quoted) {
            ++i;
            for (;;) {
                qsizetype q = i;
                while (q < n && data[q] != u'"')
                    ++q;
                if (q == n)
                    return atEnd ? Status::Unterminated : Status::NeedMore;
                field.append(QStringView(data + i, q - i));
                if (q + 1 == n && !atEnd)
                    return Status::NeedMore; // a doubled quote may follow
                if (q + 1 < n && data[q + 1] == u'"') {
                    field.append(u'"');
                    i = q + 2;
                    continue;
                }
                i = q + 1;
                break;
            }
        }
        qsizetype j = i;
        while (j < n && data[j] != delimiter_ && data[j] != u'\r' && data[j] != u'\n')
            ++j;
        if (j == n && !atEnd)
            return Status::NeedMore;
        if (!quoted)
            fields.append(j > i ? QString(reinterpret_cast<const QChar*>(data + i), j - i) : QString());
        else {
            if (j > i)
                field.append(QStringView(data + i, j - i));
            fields.append(field.isEmpty() ? QString() : field);
        }
        if (j == n) {
            pos = j;
            return Status::Record;
        }
        if (data[j] == delimiter_) {
            i = j + 1;
            if (i == n) {
                if (!atEnd)
                    return Status::NeedMore;
                fields.append(QString());
                pos = i;
                return Status::Record;
            }
            continue;
        }
        if (data[j] == u'\r') {
            if (j + 1 == n && !atEnd)
                return Status::NeedMore; // may be CR LF
            j += (j + 1 < n && data[j + 1] == u'\n') ? 2 : 1;
        } else {
            ++j;
        }
        pos = j;
        return Status::Record;
    }
}

QChar CsvParser::detectDelimiter(QStringView text) {
    int tabs = 0, semicolons = 0, commas = 0;
    bool inQuotes = false;
    for (const QChar c : text) {
        if (c == u'"') {
            inQuotes = !inQuotes;
            continue;
        }
        if (inQuotes)
            continue;
        if (c == u'\n' || c == u'\r')
            break;
        if (c == u'\t')
            ++tabs;
        else if (c == u';')
            ++semicolons;
        else if (c == u',')
            ++commas;
    }
    if (tabs > 0 && tabs >= semicolons && tabs >= commas)
        return u'\t';
    if (semicolons > 0 && semicolons >= commas)
        return u';';
    return u',';
}

TextEncodingGuess guessEncoding(QByteArrayView head, bool validUtf8) {
    const auto starts = [&head](std::initializer_list<unsigned char> bytes) {
        if (head.size() < qsizetype(bytes.size()))
            return false;
        qsizetype i = 0;
        for (unsigned char b : bytes)
            if (static_cast<unsigned char>(head[i++]) != b)
                return false;
        return true;
    };
    if (starts({0xEF, 0xBB, 0xBF}))
        return {TextEncoding::Utf8, 3};
    if (starts({0xFF, 0xFE}))
        return {TextEncoding::Utf16LE, 2};
    if (starts({0xFE, 0xFF}))
        return {TextEncoding::Utf16BE, 2};
    return {validUtf8 ? TextEncoding::Utf8 : TextEncoding::Windows1252, 0};
}

void Utf8Validator::feed(QByteArrayView bytes) {
    if (!valid_)
        return;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned c = p[i];
        if (pending_ > 0) {
            if ((c & 0xC0) != 0x80) {
                valid_ = false;
                return;
            }
            value_ = (value_ << 6) | (c & 0x3F);
            ++i;
            if (--pending_ == 0 &&
                (value_ < min_ || value_ > 0x10FFFF || (value_ >= 0xD800 && value_ <= 0xDFFF))) {
                valid_ = false;
                return;
            }
            continue;
        }
        if (c < 0x80) {
            // The common case: runs of ASCII, eight bytes at a time (a whole file is checked before the
            // import begins).
            ++i;
            for (quint64 word = 0; i + 8 <= n; i += 8) {
                std::memcpy(&word, p + i, 8);
                if (word & 0x8080808080808080ull)
                    break;
            }
            while (i < n && p[i] < 0x80)
                ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            pending_ = 1;
            min_ = 0x80;
            value_ = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            pending_ = 2;
            min_ = 0x800;
            value_ = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            pending_ = 3;
            min_ = 0x10000;
            value_ = c & 0x07;
        } else {
            valid_ = false;
            return;
        }
        ++i;
    }
}

bool Utf8Validator::finish() {
    if (pending_ > 0)
        valid_ = false;
    return valid_;
}

} // namespace importer
