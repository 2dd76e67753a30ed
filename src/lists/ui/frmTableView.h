#pragma once

#include "core/Prompter.h"

#include <QWidget>

class ListTableModel;
class QTableView;

// Shows the rows of one table read-only; with no rows, a line saying so instead of the grid.
class frmTableView : public QWidget {
    Q_OBJECT
public:
    // nullptr and the reason in error when the table cannot be read.
    static frmTableView* open(const QString& path, const QString& table, const QString& caption,
                              Prompter& prompter, QWidget* parent = nullptr, QString* error = nullptr);

    static QString emptyText() { return QStringLiteral("There are no records to display"); }
    ListTableModel* model() const { return model_; }

private:
    frmTableView(ListTableModel* model, const QString& caption, QWidget* parent);
    ListTableModel* model_;
};
