#include "util/StringFunctionsObject.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

namespace StringFunctionsObject {

QString supertrim(QString& text) {
    for (const QChar c : {QChar(u'\t'), QChar(u'\0'), QChar(u'\r'), QChar(u'\n')})
        text.replace(c, u' ');
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text[start] == u' ')
        ++start;
    while (end > start && text[end - 1] == u' ')
        --end;
    text = text.mid(start, end - start);
    return text;
}

QString replaceString(const QString& text, const QString& find, const QString& replacement) {
    if (find.isEmpty())
        return text;
    QString result = text;
    return result.replace(find, replacement, Qt::CaseSensitive);
}

QString szLFToCRLF(QString& text) {
    if (text.endsWith(QStringLiteral("\r\n")))
        return text;
    if (text.endsWith(u'\n'))
        text.insert(text.size() - 1, u'\r');
    else if (text.endsWith(u'\r'))
        text += u'\n';
    else
        text += QStringLiteral("\r\n");
    return text;
}

QString szParseString(const QString& text, const QString& delimiter, int n) {
    if (n < 1 || delimiter.isEmpty())
        return n == 1 ? text : QString();
    const QChar cut = delimiter.front();
    qsizetype start = 0;
    for (int field = 1; field < n; ++field) {
        const qsizetype found = text.indexOf(cut, start);
        if (found < 0)
            return {};
        start = found + 1;
    }
    const qsizetype end = text.indexOf(cut, start);
    return end < 0 ? text.mid(start) : text.mid(start, end - start);
}

QString szTrimCRLF(const QString& text) {
    if (text.endsWith(QStringLiteral("\r\n")))
        return text.left(text.size() - 2);
    if (text.endsWith(u'\n') || text.endsWith(u'\r'))
        return text.left(text.size() - 1);
    return text;
}

void ParseToArray(const QString& text, const QString& delimiter, QStringList& array) {
    if (delimiter.isEmpty()) {
        array.append(text);
        return;
    }
    array.append(text.split(delimiter));
}

bool isLong(const QString& text) {
    bool ok = false;
    text.trimmed().toInt(&ok);
    return ok;
}

QString fixDoubleQuotesInString(const QString& text) {
    return replaceString(text, QStringLiteral("\""), QStringLiteral("\"\""));
}

QString szStripHTML(const QString& html) {
    QString text = html;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    static const QRegularExpression hr(QStringLiteral("<\\s*hr\\b[^>]*>"),
                                       QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression br(QStringLiteral("<\\s*br\\b[^>]*>"),
                                       QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression paragraph(QStringLiteral("<\\s*(p|/h[1-5]|dl)\\b[^>]*>"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    text.replace(hr, QStringLiteral("\n") + QString(50, u'-') + QStringLiteral("\n"));
    text.replace(br, QStringLiteral("\n"));
    text.replace(paragraph, QStringLiteral("\n\n"));
    text.remove(tag);
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    text.replace(u'\r', u'\n');
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

bool containsControlCharacter(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

QString visibleControlCharacters(const QString& text) {
    if (!containsControlCharacter(text))
        return text;
    QString shown;
    for (const QChar c : text) {
        if (c == u'\r')
            shown += QLatin1String("\\r");
        else if (c == u'\n')
            shown += QLatin1String("\\n");
        else if (c == u'\t')
            shown += QLatin1String("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown +=
                QLatin1String("\\x") + QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        else
            shown += c;
    }
    return shown;
}

QString foldLineBreaks(QString text) {
    for (QChar& c : text)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    return text;
}

} // namespace StringFunctionsObject

QString generalDateText(const QDateTime& moment) {
    const QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QStringLiteral("ss")))
        timeFormat.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return locale.toString(moment.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(moment.time(), timeFormat);
}

QString shortDateText(const QDate& date) {
    return QLocale::system().toString(date, QLocale::ShortFormat);
}
