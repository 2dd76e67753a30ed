#include "harvest/EmailSrcFileObj.h"

#include "harvest/mdlParser.h"

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool startsWithAsciiNoCase(QByteArrayView line, const char* prefix) {
    for (qsizetype i = 0; prefix[i] != 0; ++i) {
        if (i >= line.size())
            return false;
        const char a = line[i];
        const char b = prefix[i];
        if (a != b && !(isAsciiLetter(b) && (a | 0x20) == (b | 0x20)))
            return false;
    }
    return true;
}

} // namespace

void EmailSrcFileObj::SetDefaults() {
    scope = Scope::Headers;
    from = true;
    to = false;
    cc = false;
    bcc = false;
    userHeader = false;
    userHeaderText.clear();
}

bool EmailSrcFileObj::isMailbox() const {
    return fileType.compare(mailboxType(), Qt::CaseInsensitive) == 0;
}

bool EmailSrcFileObj::isTextLike() const {
    return fileType.compare(textType(), Qt::CaseInsensitive) == 0 ||
           fileType.compare(binaryType(), Qt::CaseInsensitive) == 0;
}

bool EmailSrcFileObj::isChosenHeader(QStringView line) const {
    if (line.isEmpty())
        return false;
    using mdlParser::startsWithAsciiNoCase;
    if ((from && startsWithAsciiNoCase(line, QLatin1StringView("From:"))) ||
        (to && startsWithAsciiNoCase(line, QLatin1StringView("To:"))) ||
        (cc && startsWithAsciiNoCase(line, QLatin1StringView("Cc:"))) ||
        (bcc && startsWithAsciiNoCase(line, QLatin1StringView("Bcc:"))))
        return true;
    // The user's own text may hold any letters; its first one is compared first, as most lines differ there.
    return userHeader && !userHeaderText.isEmpty() &&
           line.front().toCaseFolded() == userHeaderText.front().toCaseFolded() &&
           line.startsWith(userHeaderText, Qt::CaseInsensitive);
}

bool EmailSrcFileObj::mayBeChosenHeader(QByteArrayView line) const {
    if ((from && startsWithAsciiNoCase(line, "From:")) || (to && startsWithAsciiNoCase(line, "To:")) ||
        (cc && startsWithAsciiNoCase(line, "Cc:")) || (bcc && startsWithAsciiNoCase(line, "Bcc:")))
        return true;
    if (!userHeader || userHeaderText.isEmpty() || line.isEmpty())
        return false;
    // Only an ASCII first letter can be told from the bytes; anything else is decoded and compared.
    const QChar first = userHeaderText.front();
    if (first.unicode() >= 128)
        return true;
    const char c = static_cast<char>(first.unicode());
    return line.front() == c || (isAsciiLetter(c) && (line.front() | 0x20) == (c | 0x20));
}
