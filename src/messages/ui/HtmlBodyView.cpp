#include "messages/ui/HtmlBodyView.h"

#include "messages/MessageFiles.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

namespace {

// An image that cannot be shown: a framed box with its name, never a fetch from the web.
QImage placeholderImage(const QString& name) {
    QImage image(160, 40, QImage::Format_ARGB32);
    image.fill(QColor(0xee, 0xee, 0xee));
    QPainter painter(&image);
    painter.setPen(Qt::darkGray);
    painter.drawRect(0, 0, image.width() - 1, image.height() - 1);
    painter.drawText(image.rect().adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(name, Qt::ElideMiddle, image.width() - 8));
    return image;
}

} // namespace

HtmlBodyView::HtmlBodyView(QPlainTextEdit* source, QWidget* parent)
    : QTextEdit(parent), source_(source), renderTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("htmlView"));
    // The rendering is never edited directly: keys are turned into source edits below.
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setAcceptDrops(false);
    setTabChangesFocus(true);
    renderTimer_->setSingleShot(true);
    renderTimer_->setInterval(RenderDelayMs);
    connect(renderTimer_, &QTimer::timeout, this, &HtmlBodyView::renderIfStale);
    connect(source_->document(), &QTextDocument::contentsChanged, this, &HtmlBodyView::sourceChanged);
}

void HtmlBodyView::sourceChanged() {
    if (applying_)
        return;
    stale_ = true;
    // Only a shown view is rendered; showing it renders what is stale.
    if (isVisible())
        renderTimer_->start();
}

void HtmlBodyView::showEvent(QShowEvent* event) {
    QTextEdit::showEvent(event);
    renderIfStale();
}

void HtmlBodyView::renderIfStale() {
    if (stale_)
        render();
}

void HtmlBodyView::render() {
    renderTimer_->stop();
    const int scroll = verticalScrollBar()->value();
    const int position = textCursor().position();
    const QString html = source_->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    // Laid out once, when the whole rendering is in, not as the engine builds it.
    document()->setLayoutEnabled(false);
    document()->clear();
    setHtml(html);
    document()->setLayoutEnabled(true);
    renderedSource_ = html;
    map_.reset();
    stale_ = false;
    QTextCursor cursor(document());
    cursor.setPosition(std::min(position, document()->characterCount() - 1));
    setTextCursor(cursor);
    verticalScrollBar()->setValue(scroll);
}

HtmlSourceMap& HtmlBodyView::map() const {
    if (!map_) {
        map_.emplace(renderedSource_, document()->toRawText());
        renderedSource_.clear();
    }
    return *map_;
}

QVariant HtmlBodyView::loadResource(int type, const QUrl& name) {
    if (type != QTextDocument::ImageResource)
        return QTextEdit::loadResource(type, name);
    const QString reference = name.toString();
    const QByteArray bytes = MessageFiles::localImage(reference);
    QImage image;
    if (bytes.isEmpty() || !image.loadFromData(bytes))
        image = placeholderImage(reference);
    return image;
}

bool HtmlBodyView::apply(const std::optional<HtmlSourceMap::Edit>& edit, qsizetype from, qsizetype to) {
    if (!edit) {
        Q_EMIT editRefused(HtmlSourceMap::refusalText());
        return false;
    }
    renderIfStale();
    applying_ = true;
    QTextCursor cursor(source_->document());
    cursor.setPosition(int(edit->start));
    cursor.setPosition(int(edit->start + edit->length), QTextCursor::KeepAnchor);
    cursor.insertText(edit->text);
    applying_ = false;
    render();
    QTextCursor shown(document());
    const int last = document()->characterCount() - 1;
    shown.setPosition(int(std::min<qsizetype>(from, last)));
    shown.setPosition(int(std::min<qsizetype>(to, last)), QTextCursor::KeepAnchor);
    setTextCursor(shown);
    return true;
}

bool HtmlBodyView::replaceSelection(const QString& plainText) {
    renderIfStale();
    const QTextCursor cursor = textCursor();
    const qsizetype from = cursor.selectionStart();
    const qsizetype to = cursor.selectionEnd();
    if (from == to && plainText.isEmpty())
        return true;
    if (from == to && followTyping(from, plainText))
        return true;
    // Each line break becomes one line separator of the rendering.
    QString shown = plainText;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const qsizetype end = from + shown.size();
    return apply(map().replace(from, to, plainText), end, end);
}

bool HtmlBodyView::followTyping(qsizetype at, const QString& plainText) {
    // Characters without blanks change no whitespace around them: the rendering takes them as the
    // renderer would, without a new rendering of the whole source.
    for (const QChar c : plainText)
        if (c.isSpace() || !c.isPrint())
            return false;
    const std::optional<HtmlSourceMap::Edit> edit = map().replace(at, at, plainText);
    const int run = map().insertionRun(at);
    if (!edit || run < 0)
        return false;
    applying_ = true;
    QTextCursor source(source_->document());
    source.setPosition(int(edit->start));
    source.insertText(edit->text);
    applying_ = false;
    // The format of the run the text went into.
    QTextCursor shown(document());
    const bool intoNext = map().runAt(at) == run && map().runAt(at - 1) != run;
    shown.setPosition(int(intoNext ? at + 1 : at));
    const QTextCharFormat format = shown.charFormat();
    shown.setPosition(int(at));
    shown.insertText(plainText, format);
    map().followInsert(at, plainText, *edit);
    setTextCursor(shown);
    return true;
}

bool HtmlBodyView::wrapSelection(const QString& open, const QString& close) {
    renderIfStale();
    const QTextCursor cursor = textCursor();
    return apply(map().wrap(cursor.selectionStart(), cursor.selectionEnd(), open, close),
                 cursor.selectionStart(), cursor.selectionEnd());
}

bool HtmlBodyView::insertMarkup(const QString& markup) {
    renderIfStale();
    const qsizetype at = textCursor().position();
    return apply(map().insertMarkup(at, markup), at + 1, at + 1);
}

bool HtmlBodyView::pasteFromClipboard() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasText() && replaceSelection(data->text());
}

bool HtmlBodyView::deleteForward() {
    renderIfStale();
    const QTextCursor cursor = textCursor();
    const qsizetype from = cursor.selectionStart();
    qsizetype to = cursor.selectionEnd();
    if (from == to)
        to = from + 1;
    if (to >= document()->characterCount())
        return false;
    return apply(map().replace(from, to, QString()), from, from);
}

void HtmlBodyView::beginUndoStep() {
    if (undoDepth_++ == 0) {
        undoStep_ = new QTextCursor(source_->document());
        undoStep_->beginEditBlock();
    }
}

void HtmlBodyView::endUndoStep() {
    if (undoDepth_ == 0 || --undoDepth_ > 0)
        return;
    undoStep_->endEditBlock();
    delete undoStep_;
    undoStep_ = nullptr;
}

void HtmlBodyView::keyPressEvent(QKeyEvent* event) {
    const QTextCursor cursor = textCursor();
    const qsizetype from = cursor.selectionStart();
    const qsizetype to = cursor.selectionEnd();
    const auto removeRange = [&](qsizetype a, qsizetype b) {
        if (a < 0 || a == b)
            return;
        apply(map().replace(a, b, QString()), a, a);
    };
    if (event == QKeySequence::Undo || event == QKeySequence::Redo) {
        if (event == QKeySequence::Undo)
            source_->undo();
        else
            source_->redo();
        render();
        return;
    }
    if (event == QKeySequence::Paste) {
        pasteFromClipboard();
        return;
    }
    if (event == QKeySequence::Cut) {
        if (from != to) {
            copy();
            removeRange(from, to);
        }
        return;
    }
    if (event == QKeySequence::Bold) {
        wrapSelection(QStringLiteral("<b>"), QStringLiteral("</b>"));
        return;
    }
    if (event == QKeySequence::Italic) {
        wrapSelection(QStringLiteral("<i>"), QStringLiteral("</i>"));
        return;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
        renderIfStale();
        removeRange(from != to ? from : from - 1, to);
        return;
    case Qt::Key_Delete:
        deleteForward();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        replaceSelection(QStringLiteral("\n"));
        return;
    default:
        break;
    }
    const QString text = event->text();
    const bool typed = !text.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
                       text.front().isPrint();
    if (typed) {
        replaceSelection(text);
        return;
    }
    // Moving and selecting: the read-only view does only that.
    QTextEdit::keyPressEvent(event);
}

bool HtmlBodyView::canInsertFromMimeData(const QMimeData* source) const {
    return source && source->hasText();
}

void HtmlBodyView::insertFromMimeData(const QMimeData* source) {
    // Only the text of what is pasted: its markup would be the clipboard's, not the message's.
    if (source && source->hasText())
        replaceSelection(source->text());
}

void HtmlBodyView::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selection = textCursor().hasSelection();
    menu->addAction(QStringLiteral("&Copy"), this, &QTextEdit::copy)->setEnabled(selection);
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    menu->addAction(QStringLiteral("&Paste"), this, &HtmlBodyView::pasteFromClipboard)
        ->setEnabled(clipboard && clipboard->hasText());
    menu->addAction(QStringLiteral("&Delete"), this, &HtmlBodyView::deleteForward)->setEnabled(selection);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Select &All"), this, &QTextEdit::selectAll);
    menu->popup(event->globalPos());
}

// ---- Find and replace ----

QTextDocument* HtmlViewTarget::document() const {
    if (!view_)
        return nullptr;
    view_->renderIfStale();
    return view_->document();
}

QTextCursor HtmlViewTarget::textCursor() const {
    return view_ ? view_->textCursor() : QTextCursor();
}

void HtmlViewTarget::setTextCursor(const QTextCursor& cursor) {
    if (!view_)
        return;
    view_->setTextCursor(cursor);
    view_->ensureCursorVisible();
}

bool HtmlViewTarget::replaceSelection(const QString& text) {
    return view_ && view_->replaceSelection(text);
}

void HtmlViewTarget::beginUndoStep() {
    if (view_)
        view_->beginUndoStep();
}

void HtmlViewTarget::endUndoStep() {
    if (view_)
        view_->endUndoStep();
}
