#pragma once

#include "messages/HtmlSourceMap.h"
#include "messages/ui/BodyTarget.h"

#include <QTextEdit>
#include <optional>

class QPlainTextEdit;
class QTimer;

// The rendered view of the HTML source (htmlView): Qt's rich-text engine shows the source, no browser,
// no scripts, no network. The view never writes its rendering back: typing, deleting, pasting plain
// text, line breaks and formatting become the smallest change to the source text run they touch, made
// through the source editor, so that undo is the source's. An edit that would touch markup or more than
// one run is refused with refusalText().
class HtmlBodyView : public QTextEdit {
    Q_OBJECT
public:
    HtmlBodyView(QPlainTextEdit* source, QWidget* parent = nullptr);

    // Renders the source now when it changed since the last rendering.
    void renderIfStale();
    void render();
    bool isStale() const { return stale_; }
    const HtmlSourceMap& sourceMap() const { return map(); }

    // The selection (or the cursor) replaced by plain text; false when refused.
    bool replaceSelection(const QString& plainText);
    // The selection wrapped in markup (bold, italic, a link); false when refused.
    bool wrapSelection(const QString& open, const QString& close);
    // Markup put in at the cursor (an image); false when refused.
    bool insertMarkup(const QString& markup);
    // The clipboard's text at the cursor.
    bool pasteFromClipboard();
    // The Delete key: the selection, or else the character after the cursor.
    bool deleteForward();
    // Replace All and the like: the edits between form one undo step of the source.
    void beginUndoStep();
    void endUndoStep();

    // Debounce of the rendering while the source is typed in.
    static constexpr int RenderDelayMs = 250;

Q_SIGNALS:
    // An edit could not be made here; text says so (for the status bar).
    void editRefused(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    QVariant loadResource(int type, const QUrl& name) override;

private:
    // Applies the source edit, renders again and puts the cursor at from..to of the new rendering.
    bool apply(const std::optional<HtmlSourceMap::Edit>& edit, qsizetype from, qsizetype to);
    void sourceChanged();
    // Typing of plain characters: the source edit, and the same characters put into the rendering.
    bool followTyping(qsizetype at, const QString& plainText);
    // The map of the rendering shown, made when first asked for: showing the view needs none.
    HtmlSourceMap& map() const;

    QPlainTextEdit* source_;
    QTimer* renderTimer_;
    // The source of the rendering shown until its map is made; then the map, which follows typing.
    mutable QString renderedSource_;
    mutable std::optional<HtmlSourceMap> map_;
    bool stale_ = true;
    bool applying_ = false;
    int undoDepth_ = 0;
    QTextCursor* undoStep_ = nullptr;
};

// Find and replace on the rendered view: the rendered document is searched, so only text runs are;
// a replacement is a source edit like typing, refused across elements.
class HtmlViewTarget : public BodyTarget {
public:
    explicit HtmlViewTarget(HtmlBodyView* view) : view_(view) {}

    QTextDocument* document() const override;
    QTextCursor textCursor() const override;
    void setTextCursor(const QTextCursor& cursor) override;
    bool replaceSelection(const QString& text) override;
    void beginUndoStep() override;
    void endUndoStep() override;

private:
    QPointer<HtmlBodyView> view_;
};
