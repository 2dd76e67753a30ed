#include "lists/ui/frmTableView.h"

#include "lists/ListTableModel.h"

#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

frmTableView* frmTableView::open(const QString& path, const QString& table, const QString& caption,
                                 Prompter& prompter, QWidget* parent, QString* error) {
    db::DbError failure;
    std::unique_ptr<ListTable> rows = ListTable::open(path, table, true, &failure);
    if (!rows) {
        if (error)
            *error = failure.text;
        return nullptr;
    }
    return new frmTableView(new ListTableModel(std::move(rows), prompter), caption, parent);
}

frmTableView::frmTableView(ListTableModel* model, const QString& caption, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("frmTableView"));
    setWindowTitle(caption + QStringLiteral(" (Read Only)"));
    model_->setParent(this);
    auto* layout = new QVBoxLayout(this);
    if (model_->rowCount() == 0) {
        auto* empty = new QLabel(emptyText(), this);
        empty->setObjectName(QStringLiteral("lblEmpty"));
        empty->setAlignment(Qt::AlignCenter);
        layout->addWidget(empty);
    } else {
        auto* grid = new QTableView(this);
        grid->setObjectName(QStringLiteral("grdTable"));
        grid->setModel(model_);
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid->setAlternatingRowColors(true);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(grid);
    }
    resize(600, 360);
}
