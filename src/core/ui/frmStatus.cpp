#include "core/ui/frmStatus.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Sorts numbers by their value and everything else as text.
class StatusItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        bool leftNumber = false;
        bool rightNumber = false;
        const double left = text(column).toDouble(&leftNumber);
        const double right = other.text(column).toDouble(&rightNumber);
        if (leftNumber && rightNumber)
            return left < right;
        if (leftNumber != rightNumber)
            return leftNumber; // numbers before texts
        return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
    }
};

} // namespace

frmStatus::frmStatus(const QString& caption, const Table& table, const QStringList& buttonCaptions,
                     QWidget* parent)
    : QDialog(parent), view_(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("frmStatus"));
    setWindowTitle(caption);

    auto* heading = new QLabel(table.heading, this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    heading->setVisible(!table.heading.isEmpty());
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    view_->setObjectName(QStringLiteral("lvStatus"));
    view_->setRootIsDecorated(false);
    view_->setColumnCount(int(table.columns.size()));
    view_->setHeaderLabels(table.columns);
    view_->setAlternatingRowColors(true);
    QList<QTreeWidgetItem*> items;
    for (const QStringList& row : table.rows)
        items << new StatusItem(row);
    view_->addTopLevelItems(items);
    // The caller's order until a heading is clicked.
    view_->header()->setSortIndicator(-1, Qt::AscendingOrder);
    view_->setSortingEnabled(true);
    for (int i = 0; i < view_->columnCount(); ++i)
        view_->resizeColumnToContents(i);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (int i = 0; i < 3; ++i) {
        const QString text = i < buttonCaptions.size() ? buttonCaptions[i] : QString();
        auto* button = new QPushButton(text, this);
        button->setObjectName(QStringLiteral("cmdButton_") + QString::number(i));
        button->setVisible(!text.isEmpty());
        button->setDefault(i == 0);
        connect(button, &QPushButton::clicked, this, [this, text] {
            answer_ = text;
            answered_ = true;
            accept();
        });
        row->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(view_, 1);
    layout->addLayout(row);
    resize(520, 360);
}

frmStatus* frmStatus::ShowStatus(const QString& caption, const Table& table,
                                 const QStringList& buttonCaptions, QWidget* parent) {
    auto* status = new frmStatus(caption, table, buttonCaptions, parent);
    status->setAttribute(Qt::WA_DeleteOnClose);
    status->open();
    return status;
}

void frmStatus::done(int result) {
    if (!answered_)
        answer_.clear(); // the close box or Escape
    QDialog::done(result);
    Q_EMIT pressed(answer_);
}
