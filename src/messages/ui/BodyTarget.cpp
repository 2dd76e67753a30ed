#include "messages/ui/BodyTarget.h"

#include <QPlainTextEdit>
#include <QTextEdit>

TextEditTarget::TextEditTarget(QPlainTextEdit* edit) : plain_(edit) {}

TextEditTarget::TextEditTarget(QTextEdit* edit) : rich_(edit) {}

QTextDocument* TextEditTarget::document() const {
    if (plain_)
        return plain_->document();
    return rich_ ? rich_->document() : nullptr;
}

QTextCursor TextEditTarget::textCursor() const {
    if (plain_)
        return plain_->textCursor();
    return rich_ ? rich_->textCursor() : QTextCursor();
}

void TextEditTarget::setTextCursor(const QTextCursor& cursor) {
    if (plain_) {
        plain_->setTextCursor(cursor);
        plain_->ensureCursorVisible();
    } else if (rich_) {
        rich_->setTextCursor(cursor);
        rich_->ensureCursorVisible();
    }
}

bool TextEditTarget::replaceSelection(const QString& text) {
    if (!document() || (plain_ ? plain_->isReadOnly() : rich_->isReadOnly()))
        return false;
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    return true;
}

void TextEditTarget::beginUndoStep() {
    if (!document())
        return;
    step_ = QTextCursor(document());
    step_.beginEditBlock();
}

void TextEditTarget::endUndoStep() {
    if (!step_.isNull())
        step_.endEditBlock();
    step_ = QTextCursor();
}
