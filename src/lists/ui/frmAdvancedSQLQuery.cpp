#include "lists/ui/frmAdvancedSQLQuery.h"

#include "lists/QueryBuilder.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

frmAdvancedSQLQuery::frmAdvancedSQLQuery(const QString& clause, QWidget* parent)
    : QDialog(parent), editor_(new QTextEdit(this)) {
    setObjectName(QStringLiteral("frmAdvancedSQLQuery"));
    setWindowTitle(QStringLiteral("Advanced SQL"));

    editor_->setObjectName(QStringLiteral("rtfSQL"));
    editor_->setAcceptRichText(false);
    editor_->setPlainText(clause);
    markWords();
    connect(editor_, &QTextEdit::textChanged, this, &frmAdvancedSQLQuery::markWords);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* accept = buttons->addButton(QStringLiteral("Accept"), QDialogButtonBox::AcceptRole);
    accept->setObjectName(QStringLiteral("cmdAccept"));
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmAdvancedSQLQuery::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmAdvancedSQLQuery::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor_);
    layout->addWidget(buttons);
    resize(520, 260);
}

QString frmAdvancedSQLQuery::clause() const {
    return editor_->toPlainText();
}

// Marks again after every edit, so a keyword typed in turns bold and a broken one plain.
void frmAdvancedSQLQuery::markWords() {
    if (marking_)
        return;
    marking_ = true;
    QTextCursor cursor(editor_->document());
    cursor.beginEditBlock();
    QTextCharFormat plain;
    plain.setFontWeight(QFont::Normal);
    cursor.select(QTextCursor::Document);
    cursor.mergeCharFormat(plain);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (const QueryBuilder::TextRange& range : QueryBuilder::advancedMarks(editor_->toPlainText())) {
        cursor.setPosition(int(range.start));
        cursor.setPosition(int(range.start + range.length), QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(bold);
    }
    cursor.endEditBlock();
    // What the user types next follows the text around it, not the last mark.
    QTextCharFormat current = editor_->currentCharFormat();
    current.setFontWeight(QFont::Normal);
    editor_->setCurrentCharFormat(current);
    marking_ = false;
}
