#include "lists/ui/frmFindReplace.h"

#include "lists/ListTableModel.h"
#include "lists/ui/frmList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmFindReplace::frmFindReplace(frmList* list, bool replace, QWidget* parent)
    : QDialog(parent), list_(list), field_(new QComboBox(this)), find_(new QLineEdit(this)),
      replace_(new QLineEdit(this)), exact_(new QCheckBox(QStringLiteral("Match e&xact string"), this)),
      replaceButton_(new QPushButton(QStringLiteral("Replace &All"), this)) {
    setObjectName(QStringLiteral("frmFindReplace"));
    field_->setObjectName(QStringLiteral("cboField"));
    find_->setObjectName(QStringLiteral("txtFind"));
    replace_->setObjectName(QStringLiteral("txtReplace"));
    exact_->setObjectName(QStringLiteral("chkExact"));
    replaceButton_->setObjectName(QStringLiteral("cmdReplace"));

    if (list_) {
        const ListTable& table = list_->model().table();
        field_->addItems(table.columns());
        field_->setCurrentIndex(list_->currentColumn());
    }

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Column:"), field_);
    form->addRow(QStringLiteral("Fi&nd what:"), find_);
    form->addRow(QStringLiteral("Re&place with:"), replace_);
    form->addRow(QString(), exact_);

    auto* next = new QPushButton(QStringLiteral("Find &Next"), this);
    next->setObjectName(QStringLiteral("cmdFindNext"));
    next->setDefault(true);
    auto* previous = new QPushButton(QStringLiteral("Find &Previous"), this);
    previous->setObjectName(QStringLiteral("cmdFindPrevious"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    connect(next, &QPushButton::clicked, this, &frmFindReplace::findNext);
    connect(previous, &QPushButton::clicked, this, &frmFindReplace::findPrevious);
    connect(replaceButton_, &QPushButton::clicked, this, &frmFindReplace::replaceAll);
    connect(close, &QPushButton::clicked, this, &frmFindReplace::close);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(next);
    buttons->addWidget(previous);
    buttons->addWidget(replaceButton_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(buttons);
    setReplaceMode(replace);
}

void frmFindReplace::setReplaceMode(bool replace) {
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Find"));
    replace_->setVisible(replace);
    if (auto* form = findChild<QFormLayout*>())
        if (QWidget* label = form->labelForField(replace_))
            label->setVisible(replace);
    replaceButton_->setVisible(replace);
}

int frmFindReplace::column() const {
    return field_->currentIndex();
}

bool frmFindReplace::findNext() {
    return list_ && list_->findNext(column(), find_->text(), exact_->isChecked(), true);
}

bool frmFindReplace::findPrevious() {
    return list_ && list_->findNext(column(), find_->text(), exact_->isChecked(), false);
}

bool frmFindReplace::replaceAll() {
    return list_ && list_->replaceAll(column(), find_->text(), replace_->text(), exact_->isChecked());
}
