#include "messages/ui/frmMessageFindReplace.h"

#include "core/Prompter.h"
#include "messages/ui/BodyTarget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString Title = QStringLiteral("Tamberlyn");

enum Direction { Down, Up, All };

} // namespace

frmMessageFindReplace::frmMessageFindReplace(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), find_(new QLineEdit(this)), replace_(new QLineEdit(this)),
      direction_(new QComboBox(this)), wholeWord_(new QCheckBox(QStringLiteral("Whole Word Only"), this)),
      matchCase_(new QCheckBox(QStringLiteral("Match Exact Case"), this)),
      findButton_(new QPushButton(QStringLiteral("Find"), this)),
      replaceButton_(new QPushButton(QStringLiteral("&Replace"), this)),
      replaceAllButton_(new QPushButton(QStringLiteral("Replace &All"), this)) {
    setObjectName(QStringLiteral("frmMessageFindReplace"));
    find_->setObjectName(QStringLiteral("txtFind"));
    replace_->setObjectName(QStringLiteral("txtReplace"));
    direction_->setObjectName(QStringLiteral("cboDirection"));
    wholeWord_->setObjectName(QStringLiteral("chkWholeWord"));
    matchCase_->setObjectName(QStringLiteral("chkMatchCase"));
    findButton_->setObjectName(QStringLiteral("cmdFind"));
    replaceButton_->setObjectName(QStringLiteral("cmdReplace"));
    replaceAllButton_->setObjectName(QStringLiteral("cmdReplaceAll"));
    direction_->addItems({QStringLiteral("Down"), QStringLiteral("Up"), QStringLiteral("All")});
    findButton_->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Fi&nd what:"), find_);
    form->addRow(QStringLiteral("Re&place with:"), replace_);
    form->addRow(QStringLiteral("&Direction:"), direction_);
    form->addRow(QString(), wholeWord_);
    form->addRow(QString(), matchCase_);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findButton_);
    buttons->addWidget(replaceButton_);
    buttons->addWidget(replaceAllButton_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(buttons);

    connect(find_, &QLineEdit::textChanged, this, [this] { findButton_->setText(QStringLiteral("Find")); });
    connect(findButton_, &QPushButton::clicked, this, &frmMessageFindReplace::findNext);
    connect(replaceButton_, &QPushButton::clicked, this, &frmMessageFindReplace::replaceCurrent);
    connect(replaceAllButton_, &QPushButton::clicked, this, &frmMessageFindReplace::replaceAll);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    showReplace(false);
}

void frmMessageFindReplace::setTarget(BodyTarget* target) {
    target_ = target;
}

void frmMessageFindReplace::showReplace(bool replace) {
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Find"));
    replace_->setVisible(replace);
    if (auto* form = findChild<QFormLayout*>())
        if (QWidget* label = form->labelForField(replace_))
            label->setVisible(replace);
    replaceButton_->setVisible(replace);
    replaceAllButton_->setVisible(replace);
}

QString frmMessageFindReplace::notFoundText() {
    return QStringLiteral("Tamberlyn was unable to find your search string.");
}

QString frmMessageFindReplace::replacementsText(int count) {
    return QStringLiteral("Tamberlyn made ") + QString::number(count) + QStringLiteral(" replacements.");
}

QString frmMessageFindReplace::openFailureText() {
    return QStringLiteral("There was a problem initiating the find dialog.");
}

QTextDocument::FindFlags frmMessageFindReplace::flags(bool backward) const {
    QTextDocument::FindFlags f;
    if (wholeWord_->isChecked())
        f |= QTextDocument::FindWholeWords;
    if (matchCase_->isChecked())
        f |= QTextDocument::FindCaseSensitively;
    if (backward)
        f |= QTextDocument::FindBackward;
    return f;
}

QTextCursor frmMessageFindReplace::search(const QTextCursor& from, bool backward) const {
    return target_->document()->find(find_->text(), from, flags(backward));
}

void frmMessageFindReplace::notFound() {
    prompter_.inform(Title, notFoundText(), Prompter::Icon::Information);
}

bool frmMessageFindReplace::findNext() {
    if (!target_ || !target_->document() || find_->text().isEmpty())
        return false;
    const int direction = direction_->currentIndex();
    const bool backward = direction == Up;
    QTextCursor hit = search(target_->textCursor(), backward);
    if (hit.isNull() && direction == All) // all: go round once from the top
        hit = search(QTextCursor(target_->document()), false);
    if (hit.isNull()) {
        notFound();
        return false;
    }
    target_->setTextCursor(hit);
    findButton_->setText(QStringLiteral("Find Next"));
    return true;
}

bool frmMessageFindReplace::selectionIsHit() const {
    const QTextCursor current = target_->textCursor();
    if (!current.hasSelection())
        return false;
    // The selection is a hit when a search from its start finds exactly it.
    QTextCursor start(target_->document());
    start.setPosition(current.selectionStart());
    const QTextCursor hit = search(start, false);
    return !hit.isNull() && hit.selectionStart() == current.selectionStart() &&
           hit.selectionEnd() == current.selectionEnd();
}

bool frmMessageFindReplace::replaceCurrent() {
    if (!target_ || !target_->document() || find_->text().isEmpty())
        return false;
    if (selectionIsHit() && !target_->replaceSelection(replace_->text()))
        return false;
    return findNext();
}

int frmMessageFindReplace::replaceAll() {
    if (!target_ || !target_->document() || find_->text().isEmpty())
        return 0;
    int count = 0;
    target_->beginUndoStep();
    int from = 0;
    for (;;) {
        QTextCursor start(target_->document());
        start.setPosition(std::min(from, target_->document()->characterCount() - 1));
        const QTextCursor hit = search(start, false);
        if (hit.isNull())
            break;
        const int hitStart = hit.selectionStart();
        target_->setTextCursor(hit);
        if (!target_->replaceSelection(replace_->text())) {
            from = hit.selectionEnd(); // a refused hit stays as it is
            continue;
        }
        ++count;
        // Go on after the replacement, so that one holding the search text is not searched again.
        from = hitStart + int(replace_->text().size());
    }
    target_->endUndoStep();
    if (count == 0)
        notFound();
    else
        prompter_.inform(Title, replacementsText(count), Prompter::Icon::Information);
    return count;
}
