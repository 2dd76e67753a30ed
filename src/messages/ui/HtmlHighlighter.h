#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// Colours the HTML source: tags, attribute names and values, entities, comments (over several lines)
// and merge fields.
class HtmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit HtmlHighlighter(QTextDocument* document);

    // The formats, for tests to tell the parts apart.
    QTextCharFormat tagFormat, attributeFormat, valueFormat, entityFormat, commentFormat, mergeFieldFormat;

protected:
    void highlightBlock(const QString& text) override;
};
