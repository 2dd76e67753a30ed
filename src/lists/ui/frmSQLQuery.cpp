#include "lists/ui/frmSQLQuery.h"

#include "lists/ui/frmAdvancedSQLQuery.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using QueryBuilder::ValueKind;

frmSQLQuery::frmSQLQuery(const QString& table, const QList<Column>& columns, QWidget* parent)
    : QDialog(parent), table_(table), columns_(columns), preview_(new QLabel(this)) {
    setObjectName(QStringLiteral("frmSQLQuery"));
    setWindowTitle(QStringLiteral("Query Builder"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Field"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Operator"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Value"), this), 0, 2);
    for (int row = 0; row < RowCount; ++row) {
        const QString index = QString::number(row);
        fields_[row] = new QComboBox(this);
        fields_[row]->setObjectName(QStringLiteral("lstField1_") + index);
        fields_[row]->setMinimumContentsLength(14);
        fields_[row]->addItem(QString()); // no column: no condition
        for (const Column& column : columns)
            fields_[row]->addItem(column.name);
        operators_[row] = new QComboBox(this);
        operators_[row]->setObjectName(QStringLiteral("lstLogic1_") + index);
        operators_[row]->addItem(QString()); // no operator: the bare column
        operators_[row]->addItems(QueryBuilder::operatorItems());
        values_[row] = new QLineEdit(this);
        values_[row]->setObjectName(QStringLiteral("txtValue1_") + index);
        const int line = 1 + row * 2;
        grid->addWidget(fields_[row], line, 0);
        grid->addWidget(operators_[row], line, 1);
        grid->addWidget(values_[row], line, 2);
        if (row < RowCount - 1) {
            joins_[row] = new QComboBox(this);
            joins_[row]->setObjectName(QStringLiteral("lstLogicalJoin_") + index);
            joins_[row]->addItems(QueryBuilder::joinItems());
            joins_[row]->setMaximumWidth(90);
            grid->addWidget(joins_[row], line + 1, 0);
            connect(joins_[row], &QComboBox::currentIndexChanged, this, &frmSQLQuery::rowsChanged);
        }
        connect(fields_[row], &QComboBox::currentIndexChanged, this, [this, row] {
            cleanValue(row);
            rowsChanged();
        });
        connect(operators_[row], &QComboBox::currentIndexChanged, this, &frmSQLQuery::rowsChanged);
        connect(values_[row], &QLineEdit::textChanged, this, [this, row] {
            cleanValue(row);
            rowsChanged();
        });
    }
    grid->setColumnStretch(2, 1);

    preview_->setObjectName(QStringLiteral("lblSQL"));
    preview_->setWordWrap(true);
    preview_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    preview_->setMinimumHeight(preview_->fontMetrics().height() * 3);
    preview_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    preview_->setFrameShape(QFrame::StyledPanel);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    QPushButton* advanced = buttons->addButton(QStringLiteral("&Advanced..."), QDialogButtonBox::ActionRole);
    advanced->setObjectName(QStringLiteral("cmdAdvanced"));
    connect(advanced, &QPushButton::clicked, this, &frmSQLQuery::showAdvanced);
    connect(buttons, &QDialogButtonBox::accepted, this, &frmSQLQuery::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmSQLQuery::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(preview_);
    layout->addWidget(buttons);
    resize(560, 0);
    rowsChanged();
}

QList<QueryBuilder::ConditionRow> frmSQLQuery::rows() const {
    QList<QueryBuilder::ConditionRow> rows;
    for (int row = 0; row < RowCount; ++row) {
        const int field = fields_[row]->currentIndex() - 1;
        QueryBuilder::ConditionRow condition;
        if (field >= 0 && field < columns_.size()) {
            condition.column = columns_[field].name;
            condition.kind = columns_[field].kind;
        }
        condition.operatorText = operators_[row]->currentText();
        condition.value = values_[row]->text();
        rows.append(condition);
    }
    return rows;
}

QStringList frmSQLQuery::joins() const {
    QStringList joins;
    for (QComboBox* join : joins_)
        joins << join->currentText();
    return joins;
}

QString frmSQLQuery::builtClause() const {
    return QueryBuilder::buildClause(table_, rows(), joins());
}

QString frmSQLQuery::clause() const {
    return useAdvanced_ ? advancedClause_ : builtClause();
}

frmAdvancedSQLQuery* frmSQLQuery::showAdvanced() {
    if (!advanced_) {
        advanced_ = new frmAdvancedSQLQuery(clause(), this);
        advanced_->setAttribute(Qt::WA_DeleteOnClose);
        connect(advanced_, &QDialog::accepted, this, [this] {
            advancedClause_ = advanced_->clause();
            useAdvanced_ = true;
            preview_->setText(advancedClause_);
        });
    }
    advanced_->open();
    return advanced_;
}

// A numeric column's value keeps only what a number holds. The text null (and what leads up to it)
// is let through: it asks for NULL on any column.
void frmSQLQuery::cleanValue(int row) {
    const int field = fields_[row]->currentIndex() - 1;
    if (field < 0 || field >= columns_.size() || !QueryBuilder::isNumeric(columns_[field].kind))
        return;
    QLineEdit* box = values_[row];
    const QString text = box->text();
    if (!text.isEmpty() && QStringLiteral("null").startsWith(text, Qt::CaseInsensitive))
        return;
    const QueryBuilder::NumericText cleaned =
        QueryBuilder::MakeTextBoxNumeric(text, columns_[field].kind == ValueKind::DecimalNumber);
    if (!cleaned.changed)
        return;
    QApplication::beep();
    const int removedBeforeCursor =
        int(box->cursorPosition() -
            QueryBuilder::MakeTextBoxNumeric(text.left(box->cursorPosition()),
                                             columns_[field].kind == ValueKind::DecimalNumber)
                .text.size());
    const int cursor = box->cursorPosition() - removedBeforeCursor;
    box->setText(cleaned.text);
    box->setCursorPosition(qBound(0, cursor, int(cleaned.text.size())));
    Q_EMIT valueCleaned(row);
}

// Editing a row rebuilds the clause: the text accepted in the advanced view no longer holds.
void frmSQLQuery::rowsChanged() {
    useAdvanced_ = false;
    preview_->setText(builtClause());
}
