#pragma once

#include <QList>
#include <QString>
#include <optional>

// Where the characters of a rendered HTML document come from in its source. The source is cut into
// markup (tags, comments, declarations, the content of head, script, style and title) and text runs;
// each character of the rendering is matched to the character (or entity) of a run that produced it,
// allowing for the whitespace the renderer collapses and for the separators it adds between blocks.
// Edits of the rendering are answered as the smallest change to one run of the source; an edit that
// would touch markup or more than one run is refused.
class HtmlSourceMap {
public:
    // A text run: the source between two pieces of markup.
    struct Run {
        qsizetype start = 0;
        qsizetype end = 0;
    };
    // A change of the source: replace length characters at start by text.
    struct Edit {
        qsizetype start = 0;
        qsizetype length = 0;
        QString text;
        friend bool operator==(const Edit&, const Edit&) = default;
    };

    HtmlSourceMap() = default;
    // rendered: the characters of the rendered document by position (block and line separators, object
    // and frame characters included).
    HtmlSourceMap(const QString& source, const QString& rendered);

    const QList<Run>& runs() const { return runs_; }
    // The run that produced the rendered character at the position; -1 when none did.
    int runAt(qsizetype renderedPosition) const;
    // The source range of the rendered character at the position; nullopt when no run produced it.
    std::optional<Run> sourceOf(qsizetype renderedPosition) const;

    // Plain text typed or pasted at the rendered position (replacing the rendered range from..to when
    // they differ): escaped, line breaks as <br>.
    std::optional<Edit> replace(qsizetype from, qsizetype to, const QString& plainText) const;
    // Markup put in at the rendered position as it is (an image, a line break).
    std::optional<Edit> insertMarkup(qsizetype position, const QString& markup) const;
    // The rendered range wrapped in open ... close (bold, italic, a link).
    std::optional<Edit> wrap(qsizetype from, qsizetype to, const QString& open, const QString& close) const;

    // Follows an insertion of plain text without blanks or line breaks made by replace(position,
    // position, text) and shown by the renderer at the position: the map of the new source without a new
    // rendering. The run that takes the text, or -1 when the edit is not such an insertion.
    int followInsert(qsizetype position, const QString& plainText, const Edit& edit);
    // The run an insertion at the rendered position goes into; -1 when refused.
    int insertionRun(qsizetype position) const;

    // "<", ">" and "&" as entities, each line break as "<br>".
    static QString escapeText(const QString& plainText);
    // The status text of a refused edit.
    static QString refusalText();

private:
    struct Mapped {
        int run = -1;
        qsizetype start = 0;
        qsizetype end = 0;
        bool space = false;         // a collapsed whitespace character
        bool skippedBefore = false; // whitespace of the source was collapsed away just before it
    };
    std::optional<qsizetype> insertionPoint(qsizetype position) const;
    std::optional<Run> sourceRange(qsizetype from, qsizetype to) const;
    qsizetype endOfSpaces(qsizetype sourcePosition, int run) const;

    QString source_;
    QList<Run> runs_;
    QList<Mapped> rendered_;
};
