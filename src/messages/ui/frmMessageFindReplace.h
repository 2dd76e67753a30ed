#pragma once

#include <QDialog>
#include <QTextDocument>

class BodyTarget;
class Prompter;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// Find and replace in the message body. Modeless; the editor sets the target of the body view shown,
// and again whenever that changes.
class frmMessageFindReplace : public QDialog {
    Q_OBJECT
public:
    frmMessageFindReplace(Prompter& prompter, QWidget* parent);

    void setTarget(BodyTarget* target);
    BodyTarget* target() const { return target_; }
    // The Find layout, or the Replace layout with the replacement and its buttons.
    void showReplace(bool replace);

    // Selects the next hit in the chosen direction; false (and says so) without one.
    bool findNext();
    // Replaces the selected hit, then finds the next one.
    bool replaceCurrent();
    // Replaces every hit in the whole body as one undo step; the number replaced.
    int replaceAll();

    static QString notFoundText();
    static QString replacementsText(int count);
    // What the editor says when the window cannot be opened.
    static QString openFailureText();

private:
    QTextDocument::FindFlags flags(bool backward) const;
    bool selectionIsHit() const;
    QTextCursor search(const QTextCursor& from, bool backward) const;
    void notFound();

    Prompter& prompter_;
    BodyTarget* target_ = nullptr;
    QLineEdit* find_;
    QLineEdit* replace_;
    QComboBox* direction_;
    QCheckBox* wholeWord_;
    QCheckBox* matchCase_;
    QPushButton* findButton_;
    QPushButton* replaceButton_;
    QPushButton* replaceAllButton_;
};
