#include "messages/HtmlSourceMap.h"

#include <QHash>

namespace {

// One character of a run as the renderer sees it, with the source it was written as.
struct Decoded {
    char32_t ch = 0;
    bool wildcard = false; // an entity whose character is not known here: matches any one character
    int run = -1;
    qsizetype start = 0;
    qsizetype end = 0;
};

bool isSpace(char32_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// What the renderer shows between blocks and lines and in place of objects: no source text.
bool isSeparator(QChar c) {
    return c == QChar::ParagraphSeparator || c == QChar::LineSeparator ||
           c == QChar::ObjectReplacementCharacter || c == QChar(0xfdd0) || c == QChar(0xfdd1) || c == u'\n';
}

const QHash<QString, char32_t>& namedEntities() {
    static const QHash<QString, char32_t> entities = {
        {QStringLiteral("amp"), U'&'},     {QStringLiteral("lt"), U'<'},
        {QStringLiteral("gt"), U'>'},      {QStringLiteral("quot"), U'"'},
        {QStringLiteral("apos"), U'\''},   {QStringLiteral("nbsp"), 0xa0},
        {QStringLiteral("copy"), 0xa9},    {QStringLiteral("reg"), 0xae},
        {QStringLiteral("trade"), 0x2122}, {QStringLiteral("hellip"), 0x2026},
        {QStringLiteral("mdash"), 0x2014}, {QStringLiteral("ndash"), 0x2013},
        {QStringLiteral("lsquo"), 0x2018}, {QStringLiteral("rsquo"), 0x2019},
        {QStringLiteral("ldquo"), 0x201c}, {QStringLiteral("rdquo"), 0x201d},
        {QStringLiteral("bull"), 0x2022},  {QStringLiteral("euro"), 0x20ac},
        {QStringLiteral("pound"), 0xa3},   {QStringLiteral("cent"), 0xa2},
        {QStringLiteral("yen"), 0xa5},     {QStringLiteral("sect"), 0xa7},
        {QStringLiteral("deg"), 0xb0},     {QStringLiteral("middot"), 0xb7},
        {QStringLiteral("laquo"), 0xab},   {QStringLiteral("raquo"), 0xbb},
        {QStringLiteral("times"), 0xd7},   {QStringLiteral("divide"), 0xf7},
        {QStringLiteral("para"), 0xb6},
    };
    return entities;
}

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u':';
}

// The position after the markup starting at i (a '<'); i itself when it starts none.
qsizetype skipMarkup(const QString& s, qsizetype i, QString& tagName, bool& closing) {
    tagName.clear();
    closing = false;
    const qsizetype n = s.size();
    if (s.mid(i, 4) == QLatin1StringView("<!--")) {
        const qsizetype end = s.indexOf(QLatin1StringView("-->"), i + 4);
        return end < 0 ? n : end + 3;
    }
    if (i + 1 < n && (s[i + 1] == u'!' || s[i + 1] == u'?')) {
        const qsizetype end = s.indexOf(u'>', i + 2);
        return end < 0 ? n : end + 1;
    }
    qsizetype j = i + 1;
    if (j < n && s[j] == u'/') {
        closing = true;
        ++j;
    }
    if (j >= n || !s[j].isLetter())
        return i;
    const qsizetype nameStart = j;
    while (j < n && isNameChar(s[j]))
        ++j;
    tagName = s.mid(nameStart, j - nameStart).toLower();
    // Attribute values in quotes may hold ">".
    QChar quote;
    for (; j < n; ++j) {
        const QChar c = s[j];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            return j + 1;
        }
    }
    return n;
}

// The character an entity at i stands for; consumed is its length. Not an entity: consumed 0.
std::optional<char32_t> entityAt(const QString& s, qsizetype i, qsizetype& consumed) {
    consumed = 0;
    const qsizetype semicolon = s.indexOf(u';', i + 1);
    if (semicolon < 0 || semicolon - i > 12)
        return std::nullopt;
    const QString body = s.mid(i + 1, semicolon - i - 1);
    if (body.isEmpty())
        return std::nullopt;
    if (body.startsWith(u'#')) {
        bool ok = false;
        const uint code = (body.size() > 1 && (body[1] == u'x' || body[1] == u'X'))
                              ? body.mid(2).toUInt(&ok, 16)
                              : body.mid(1).toUInt(&ok, 10);
        if (!ok)
            return std::nullopt;
        consumed = semicolon - i + 1;
        return char32_t(code);
    }
    for (const QChar c : body)
        if (!c.isLetterOrNumber())
            return std::nullopt;
    consumed = semicolon - i + 1;
    const auto found = namedEntities().constFind(body);
    if (found == namedEntities().constEnd())
        return char32_t(0); // known to the renderer perhaps, not here
    return *found;
}

} // namespace

HtmlSourceMap::HtmlSourceMap(const QString& source, const QString& rendered) : source_(source) {
    // ---- The runs of the source and their characters ----
    const qsizetype n = source.size();
    QList<Decoded> decoded;
    decoded.reserve(n);
    bool inHead = false;
    qsizetype i = 0;
    while (i < n) {
        if (source[i] == u'<') {
            QString tag;
            bool closing = false;
            const qsizetype after = skipMarkup(source, i, tag, closing);
            if (after != i) {
                i = after;
                if (tag == QLatin1StringView("head"))
                    inHead = !closing;
                else if (tag == QLatin1StringView("body"))
                    inHead = false;
                if (!closing && (tag == QLatin1StringView("script") || tag == QLatin1StringView("style") ||
                                 tag == QLatin1StringView("title") || tag == QLatin1StringView("textarea"))) {
                    // Their content is not shown: markup up to the closing tag.
                    const qsizetype end = source.indexOf(QStringLiteral("</") + tag, i, Qt::CaseInsensitive);
                    i = end < 0 ? n : end;
                }
                continue;
            }
        }
        // A text run up to the next markup.
        const qsizetype start = i;
        qsizetype j = i;
        while (j < n) {
            if (source[j] == u'<') {
                QString tag;
                bool closing = false;
                if (skipMarkup(source, j, tag, closing) != j)
                    break;
            }
            ++j;
        }
        if (inHead) {
            i = j;
            continue;
        }
        const int run = int(runs_.size());
        runs_.append({start, j});
        for (qsizetype k = start; k < j;) {
            qsizetype consumed = 0;
            std::optional<char32_t> entity;
            if (source[k] == u'&')
                entity = entityAt(source, k, consumed);
            if (entity) {
                if (*entity > 0xffff) {
                    // Two rendered characters: a surrogate pair.
                    const QString pair = QString::fromUcs4(&*entity, 1);
                    decoded.append({pair[0].unicode(), false, run, k, k + consumed});
                    decoded.append({pair[1].unicode(), false, run, k, k + consumed});
                } else {
                    decoded.append({*entity, *entity == 0, run, k, k + consumed});
                }
                k += consumed;
            } else {
                decoded.append({source[k].unicode(), false, run, k, k + 1});
                ++k;
            }
        }
        i = j;
    }

    // ---- The rendering matched against them ----
    rendered_.resize(rendered.size());
    qsizetype d = 0;
    const auto skipSpaces = [&] {
        bool skipped = false;
        while (d < decoded.size() && !decoded[d].wildcard && isSpace(decoded[d].ch)) {
            ++d;
            skipped = true;
        }
        return skipped;
    };
    bool collapsedAfterSpace = false;
    for (qsizetype r = 0; r < rendered.size(); ++r) {
        const QChar c = rendered[r];
        Mapped& m = rendered_[r];
        if (isSeparator(c)) {
            skipSpaces();
            continue;
        }
        if (c == u' ') {
            if (d < decoded.size() && !decoded[d].wildcard && isSpace(decoded[d].ch)) {
                m = {decoded[d].run, decoded[d].start, decoded[d].end, true, false};
                ++d;
                // Whitespace of the source collapsed into this blank: the next character follows it.
                collapsedAfterSpace = skipSpaces();
            }
            continue;
        }
        const bool skipped = skipSpaces() || collapsedAfterSpace;
        collapsedAfterSpace = false;
        // The renderer may leave out text it cannot show: look a little ahead for the character.
        qsizetype match = -1;
        for (qsizetype k = d; k < decoded.size() && k < d + 64; ++k) {
            if (decoded[k].wildcard || decoded[k].ch == c.unicode()) {
                match = k;
                break;
            }
        }
        if (match < 0)
            continue;
        m = {decoded[match].run, decoded[match].start, decoded[match].end, false, skipped || match != d};
        d = match + 1;
    }
}

int HtmlSourceMap::runAt(qsizetype renderedPosition) const {
    if (renderedPosition < 0 || renderedPosition >= rendered_.size())
        return -1;
    return rendered_[renderedPosition].run;
}

std::optional<HtmlSourceMap::Run> HtmlSourceMap::sourceOf(qsizetype renderedPosition) const {
    if (runAt(renderedPosition) < 0)
        return std::nullopt;
    const Mapped& m = rendered_[renderedPosition];
    return Run{m.start, m.end};
}

qsizetype HtmlSourceMap::endOfSpaces(qsizetype sourcePosition, int run) const {
    const qsizetype end = runs_[run].end;
    while (sourcePosition < end && isSpace(source_[sourcePosition].unicode()))
        ++sourcePosition;
    return sourcePosition;
}

std::optional<qsizetype> HtmlSourceMap::insertionPoint(qsizetype position) const {
    const int here = runAt(position);
    const int before = runAt(position - 1);
    // Text typed takes the place of the character before it, as the renderer's cursor does; at the start
    // of a run after collapsed whitespace, it goes in front of the character after it.
    if (here >= 0 && (before < 0 || before == here || rendered_[position].skippedBefore))
        return rendered_[position].start;
    if (before >= 0) {
        const Mapped& m = rendered_[position - 1];
        return m.space ? endOfSpaces(m.end, m.run) : m.end;
    }
    return std::nullopt;
}

int HtmlSourceMap::insertionRun(qsizetype position) const {
    const int here = runAt(position);
    const int before = runAt(position - 1);
    if (here >= 0 && (before < 0 || before == here || rendered_[position].skippedBefore))
        return here;
    return before;
}

int HtmlSourceMap::followInsert(qsizetype position, const QString& plainText, const Edit& edit) {
    const int run = insertionRun(position);
    if (run < 0 || edit.length != 0 || edit.text != escapeText(plainText) || position > rendered_.size())
        return -1;
    const qsizetype delta = edit.text.size();
    for (Mapped& m : rendered_) {
        if (m.run >= 0 && m.start >= edit.start) {
            m.start += delta;
            m.end += delta;
        }
    }
    for (int i = 0; i < runs_.size(); ++i) {
        Run& r = runs_[i];
        if (i == run) {
            r.end += delta;
        } else if (r.start >= edit.start) {
            r.start += delta;
            r.end += delta;
        }
    }
    source_.insert(edit.start, edit.text);
    // The new characters, each with the source its escaped form took.
    QList<Mapped> added;
    qsizetype at = edit.start;
    bool first = true;
    for (const QChar c : plainText) {
        const qsizetype length = escapeText(QString(c)).size();
        Mapped m{run, at, at + length, false, false};
        if (first && position < rendered_.size() && rendered_[position].run == run) {
            // Taken in front of the character after it: the collapsed whitespace now comes before it.
            m.skippedBefore = rendered_[position].skippedBefore;
            rendered_[position].skippedBefore = false;
        }
        first = false;
        added << m;
        at += length;
    }
    for (qsizetype i = 0; i < added.size(); ++i)
        rendered_.insert(position + i, added[i]);
    return run;
}

std::optional<HtmlSourceMap::Run> HtmlSourceMap::sourceRange(qsizetype from, qsizetype to) const {
    if (from > to)
        std::swap(from, to);
    const int run = runAt(from);
    if (run < 0 || to > rendered_.size())
        return std::nullopt;
    for (qsizetype r = from; r < to; ++r)
        if (rendered_[r].run != run)
            return std::nullopt;
    const Mapped& last = rendered_[to - 1];
    return Run{rendered_[from].start, last.space ? endOfSpaces(last.end, run) : last.end};
}

std::optional<HtmlSourceMap::Edit> HtmlSourceMap::replace(qsizetype from, qsizetype to,
                                                          const QString& plainText) const {
    if (from == to) {
        const std::optional<qsizetype> at = insertionPoint(from);
        if (!at || plainText.isEmpty())
            return std::nullopt;
        return Edit{*at, 0, escapeText(plainText)};
    }
    const std::optional<Run> range = sourceRange(from, to);
    if (!range)
        return std::nullopt;
    return Edit{range->start, range->end - range->start, escapeText(plainText)};
}

std::optional<HtmlSourceMap::Edit> HtmlSourceMap::insertMarkup(qsizetype position,
                                                               const QString& markup) const {
    const std::optional<qsizetype> at = insertionPoint(position);
    if (!at)
        return std::nullopt;
    return Edit{*at, 0, markup};
}

std::optional<HtmlSourceMap::Edit> HtmlSourceMap::wrap(qsizetype from, qsizetype to, const QString& open,
                                                       const QString& close) const {
    if (from == to)
        return std::nullopt;
    const std::optional<Run> range = sourceRange(from, to);
    if (!range)
        return std::nullopt;
    return Edit{range->start, range->end - range->start,
                open + source_.mid(range->start, range->end - range->start) + close};
}

QString HtmlSourceMap::escapeText(const QString& plainText) {
    QString out;
    out.reserve(plainText.size());
    for (qsizetype i = 0; i < plainText.size(); ++i) {
        const QChar c = plainText[i];
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else if (c == u'\r') {
            out += QStringLiteral("<br>");
            if (i + 1 < plainText.size() && plainText[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            out += QStringLiteral("<br>");
        else
            out += c;
    }
    return out;
}

QString HtmlSourceMap::refusalText() {
    return QStringLiteral("This change can only be made in the HTML source.");
}
