#include "messages/MimeEncoding.h"

#include <QStringList>

namespace MimeEncoding {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
// Characters of a quoted-printable line, the soft break's "=" included.
constexpr qsizetype QpLineLength = 76;
// Bytes of UTF-8 per encoded word: 45 bytes give 60 Base64 characters, 72 with "=?utf-8?B?" and "?=".
constexpr qsizetype WordBytes = 45;

bool isLineBreak(char16_t c) {
    return c == u'\r' || c == u'\n';
}

// The UTF-8 bytes of one code point; returns how many were written.
int utf8Of(char32_t code, char* bytes) {
    if (code < 0x80) {
        bytes[0] = char(code);
        return 1;
    }
    if (code < 0x800) {
        bytes[0] = char(0xC0 | (code >> 6));
        bytes[1] = char(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        bytes[0] = char(0xE0 | (code >> 12));
        bytes[1] = char(0x80 | ((code >> 6) & 0x3F));
        bytes[2] = char(0x80 | (code & 0x3F));
        return 3;
    }
    bytes[0] = char(0xF0 | (code >> 18));
    bytes[1] = char(0x80 | ((code >> 12) & 0x3F));
    bytes[2] = char(0x80 | ((code >> 6) & 0x3F));
    bytes[3] = char(0x80 | (code & 0x3F));
    return 4;
}

// The code point at i and how many UTF-16 units it takes; a lone surrogate reads as U+FFFD.
char32_t codePointAt(QStringView text, qsizetype i, int& units) {
    const char16_t c = text[i].unicode();
    units = 1;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
        units = 2;
        return QChar::surrogateToUcs4(c, text[i + 1].unicode());
    }
    if (QChar::isSurrogate(c))
        return 0xFFFD;
    return c;
}

bool atLineEnd(QStringView text, qsizetype i) {
    return i >= text.size() || isLineBreak(text[i].unicode());
}

bool isAttrChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$&+-.^_`|~").contains(c);
}

} // namespace

QByteArray base64Lines(const QByteArray& data) {
    const QByteArray plain = data.toBase64();
    constexpr qsizetype Line = 76;
    QByteArray out;
    out.reserve(plain.size() + plain.size() / Line * 2 + 2);
    for (qsizetype i = 0; i < plain.size(); i += Line) {
        if (i > 0)
            out += "\r\n";
        out.append(plain.constData() + i, std::min(Line, plain.size() - i));
    }
    return out;
}

bool isAscii(QStringView text) {
    return QtPrivate::isAscii(text);
}

bool isWireSafe(QStringView text) {
    // ASCII without NUL in one pass the compiler can vectorise: c - 1 wraps NUL round to 0xFFFF.
    char16_t outside = 0;
    for (const QChar c : text)
        outside |= char16_t(char16_t(c.unicode() - 1) >= 0x7F);
    if (outside)
        return false;
    // Lines end at LF (the search is vectorised); a CR before it is not counted. A bare CR only makes
    // a line look longer, which errs on the safe side.
    qsizetype lineStart = 0;
    for (;;) {
        const qsizetype lf = text.indexOf(u'\n', lineStart);
        qsizetype end = lf < 0 ? text.size() : lf;
        if (lf > lineStart && text[lf - 1] == u'\r')
            --end;
        if (end - lineStart > MaxLineLength)
            return false;
        if (lf < 0)
            return true;
        lineStart = lf + 1;
    }
}

void appendAscii(QByteArray& out, QStringView text) {
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char* to = out.data() + start;
    const char16_t* from = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i)
        to[i] = char(from[i]);
}

void appendQuotedPrintable(QByteArray& out, QStringView text) {
    // Written through a pointer into room for the worst case, then cut to what was used: appending piece by
    // piece costs several times more. At most nine characters per UTF-16 unit, plus a three-character soft
    // break per eight such units.
    const qsizetype start = out.size();
    out.resize(start + text.size() * 10 + 16);
    char* const begin = out.data() + start;
    char* to = begin;
    qsizetype lineLength = 0;
    char token[12];
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t c = text[i].unicode();
        if (isLineBreak(c)) {
            *to++ = '\r';
            *to++ = '\n';
            lineLength = 0;
            i += (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
            continue;
        }
        const bool literal =
            (c >= 33 && c <= 126 && c != u'=') || ((c == u' ' || c == u'\t') && !atLineEnd(text, i + 1));
        if (literal) { // the common case, kept short
            if (lineLength == QpLineLength - 1) {
                *to++ = '=';
                *to++ = '\r';
                *to++ = '\n';
                lineLength = 0;
            }
            *to++ = char(c);
            ++lineLength;
            ++i;
            continue;
        }
        int units = 1;
        int tokenLength = 0;
        {
            char bytes[4];
            const int count = utf8Of(codePointAt(text, i, units), bytes);
            for (int b = 0; b < count; ++b) {
                const auto byte = static_cast<unsigned char>(bytes[b]);
                token[tokenLength++] = '=';
                token[tokenLength++] = HexDigits[byte >> 4];
                token[tokenLength++] = HexDigits[byte & 0x0F];
            }
        }
        if (lineLength + tokenLength > QpLineLength - 1) {
            *to++ = '=';
            *to++ = '\r';
            *to++ = '\n';
            lineLength = 0;
        }
        for (int t = 0; t < tokenLength; ++t)
            *to++ = token[t];
        lineLength += tokenLength;
        i += units;
    }
    out.resize(start + (to - begin));
}

QByteArray quotedPrintable(QStringView text) {
    QByteArray out;
    out.reserve(text.size() + text.size() / 8);
    appendQuotedPrintable(out, text);
    return out;
}

bool hasBareLineBreak(QStringView text) {
    for (qsizetype i = text.indexOf(u'\r'); i >= 0; i = text.indexOf(u'\r', i + 1)) {
        if (i + 1 >= text.size() || text[i + 1] != u'\n')
            return true;
    }
    for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', i + 1)) {
        if (i == 0 || text[i - 1] != u'\r')
            return true;
    }
    return false;
}

void appendWithCrLf(QString& out, QStringView text) {
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!isLineBreak(c))
            continue;
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i; // a proper pair stays as it is
            continue;
        }
        out += text.mid(from, i - from);
        out += QLatin1StringView("\r\n");
        from = i + 1;
    }
    out += text.mid(from);
}

QString withCrLf(const QString& text) {
    if (!hasBareLineBreak(text))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    appendWithCrLf(out, text);
    return out;
}

void appendOnOneLine(QString& out, QStringView text) {
    const qsizetype start = out.size();
    out += text;
    for (qsizetype i = start; i < out.size(); ++i) {
        if (isLineBreak(out[i].unicode()))
            out[i] = u' ';
    }
}

QByteArray encodedWords(QStringView text) {
    if (isAscii(text))
        return text.toLatin1();
    QByteArray out;
    QByteArray word;
    const auto flush = [&] {
        if (word.isEmpty())
            return;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?utf-8?B?" + word.toBase64() + "?=";
        word.clear();
    };
    for (qsizetype i = 0; i < text.size();) {
        int units = 1;
        char bytes[4];
        const int count = utf8Of(codePointAt(text, i, units), bytes);
        if (word.size() + count > WordBytes)
            flush();
        word.append(bytes, count);
        i += units;
    }
    flush();
    return out;
}

QByteArray encodeHeaderBlock(QStringView block) {
    if (isAscii(block))
        return block.toLatin1();
    QByteArray out;
    out.reserve(block.size() + 64);
    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype end = block.indexOf(QLatin1StringView("\r\n"), start);
        const qsizetype next = end < 0 ? block.size() : end + 2;
        if (end < 0)
            end = block.size();
        const QStringView line = block.mid(start, end - start);
        if (isAscii(line)) {
            out += line.toLatin1();
        } else {
            const qsizetype colon = line.indexOf(u':');
            if (colon > 0 && isAscii(line.left(colon))) {
                QStringView value = line.mid(colon + 1);
                if (value.startsWith(u' '))
                    value = value.mid(1);
                out += line.left(colon).toLatin1() + ": " + encodedWords(value);
            } else {
                out += ' ' + encodedWords(line.trimmed()); // a continuation line
            }
        }
        out += block.mid(end, next - end).toLatin1();
        start = next;
    }
    return out;
}

QString fileNameParameter(const QString& fileName) {
    bool plain = isAscii(fileName);
    for (const QChar c : fileName)
        plain = plain && c.unicode() >= 32 && c.unicode() != 127;
    if (plain) {
        QString escaped = fileName;
        escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        return QStringLiteral("filename=\"") + escaped + u'"';
    }
    QString out = QStringLiteral("filename*=utf-8''");
    for (const char byte : fileName.toUtf8()) {
        if (isAttrChar(byte)) {
            out += QLatin1Char(byte);
        } else {
            const auto b = static_cast<unsigned char>(byte);
            out += u'%';
            out += QLatin1Char(HexDigits[b >> 4]);
            out += QLatin1Char(HexDigits[b & 0x0F]);
        }
    }
    return out;
}

} // namespace MimeEncoding
