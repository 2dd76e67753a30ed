#pragma once

#include <QPointer>
#include <QTextCursor>

class QPlainTextEdit;
class QTextDocument;
class QTextEdit;

// What find and replace works on: one body view of the message editor.
class BodyTarget {
public:
    virtual ~BodyTarget() = default;
    // The text searched (for the rendered HTML view: its rendered document, so only text runs).
    virtual QTextDocument* document() const = 0;
    virtual QTextCursor textCursor() const = 0;
    // Selects a hit and makes it visible.
    virtual void setTextCursor(const QTextCursor& cursor) = 0;
    // Replaces the selected text; false when the edit is refused.
    virtual bool replaceSelection(const QString& text) = 0;
    // Replace All is one undo step.
    virtual void beginUndoStep() = 0;
    virtual void endUndoStep() = 0;
};

// The target for a QPlainTextEdit or a QTextEdit edited as plain text (the text and HTML source views).
class TextEditTarget : public BodyTarget {
public:
    explicit TextEditTarget(QPlainTextEdit* edit);
    explicit TextEditTarget(QTextEdit* edit);

    QTextDocument* document() const override;
    QTextCursor textCursor() const override;
    void setTextCursor(const QTextCursor& cursor) override;
    bool replaceSelection(const QString& text) override;
    void beginUndoStep() override;
    void endUndoStep() override;

private:
    QPointer<QPlainTextEdit> plain_;
    QPointer<QTextEdit> rich_;
    QTextCursor step_; // open while an undo step is
};
