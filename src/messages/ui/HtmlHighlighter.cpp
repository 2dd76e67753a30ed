#include "messages/ui/HtmlHighlighter.h"

#include <QRegularExpression>

namespace {

enum State { Normal = 0, InComment = 1, InTag = 2 };

} // namespace

HtmlHighlighter::HtmlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    tagFormat.setForeground(QColor(0x80, 0x00, 0x80));
    tagFormat.setFontWeight(QFont::Bold);
    attributeFormat.setForeground(QColor(0xa0, 0x50, 0x00));
    valueFormat.setForeground(QColor(0x00, 0x00, 0xc0));
    entityFormat.setForeground(QColor(0x00, 0x80, 0x80));
    commentFormat.setForeground(QColor(0x70, 0x70, 0x70));
    commentFormat.setFontItalic(true);
    mergeFieldFormat.setForeground(QColor(0xc0, 0x00, 0x00));
    mergeFieldFormat.setBackground(QColor(0xff, 0xf4, 0xc0));
}

void HtmlHighlighter::highlightBlock(const QString& text) {
    static const QRegularExpression entity(
        QStringLiteral("&(#\\d+|#[xX][0-9a-fA-F]+|[A-Za-z][A-Za-z0-9]*);"));
    static const QRegularExpression mergeField(QStringLiteral("(<<|&lt;&lt;)[^<>&\\n]+?(>>|&gt;&gt;)"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attribute(
        QStringLiteral("([A-Za-z_:][-A-Za-z0-9_:.]*)(\\s*=\\s*(\"[^\"]*\"?|'[^']*'?|[^\\s>]+))?"));

    const qsizetype n = text.size();
    qsizetype i = 0;
    int state = previousBlockState() < 0 ? Normal : previousBlockState();
    while (i < n) {
        if (state == InComment) {
            const qsizetype end = text.indexOf(QLatin1StringView("-->"), i);
            const qsizetype stop = end < 0 ? n : end + 3;
            setFormat(int(i), int(stop - i), commentFormat);
            i = stop;
            if (end >= 0)
                state = Normal;
            continue;
        }
        if (state == InTag) {
            // Attributes up to the end of the tag.
            const qsizetype close = text.indexOf(u'>', i);
            const qsizetype stop = close < 0 ? n : close;
            const QString inside = text.mid(i, stop - i);
            for (auto it = attribute.globalMatch(inside); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                setFormat(int(i + m.capturedStart(1)), int(m.capturedLength(1)), attributeFormat);
                if (m.capturedLength(3) > 0)
                    setFormat(int(i + m.capturedStart(3)), int(m.capturedLength(3)), valueFormat);
            }
            if (close >= 0) {
                setFormat(int(close), 1, tagFormat);
                state = Normal;
            }
            i = close < 0 ? n : close + 1;
            continue;
        }
        if (text.mid(i, 4) == QLatin1StringView("<!--")) {
            state = InComment;
            continue;
        }
        if (text[i] == u'<' && i + 1 < n &&
            (text[i + 1].isLetter() || text[i + 1] == u'/' || text[i + 1] == u'!')) {
            qsizetype j = i + 1;
            while (j < n &&
                   (text[j].isLetterOrNumber() || text[j] == u'/' || text[j] == u'!' || text[j] == u'-'))
                ++j;
            setFormat(int(i), int(j - i), tagFormat);
            i = j;
            state = InTag;
            continue;
        }
        ++i;
    }
    setCurrentBlockState(state);
    // Entities and merge fields in the text between tags.
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (format(int(m.capturedStart())) == commentFormat)
            continue;
        setFormat(int(m.capturedStart()), int(m.capturedLength()), entityFormat);
    }
    for (auto it = mergeField.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (format(int(m.capturedStart())) == commentFormat)
            continue;
        setFormat(int(m.capturedStart()), int(m.capturedLength()), mergeFieldFormat);
    }
}
