#pragma once

#include "lists/QueryBuilder.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class frmAdvancedSQLQuery;

// The query builder: up to four conditions on the columns of a table, joined by AND or OR, make the
// WHERE clause that clause() answers once the dialog is accepted. Advanced edits that clause as text.
class frmSQLQuery : public QDialog {
    Q_OBJECT
public:
    static constexpr int RowCount = 4;
    using Column = QueryBuilder::Column;
    static QList<Column> tableColumns(const QString& path,
                                      const QString& table = QStringLiteral("AddressList"),
                                      db::DbError* error = nullptr) {
        return QueryBuilder::tableColumns(path, table, error);
    }

    frmSQLQuery(const QString& table, const QList<Column>& columns, QWidget* parent = nullptr);

    // The clause of the rows, or the text accepted in the advanced view since the rows last changed.
    QString clause() const;
    QString builtClause() const;
    QList<QueryBuilder::ConditionRow> rows() const;
    QStringList joins() const;

    // Opens the advanced view on the clause; its Accept puts the edited text back.
    frmAdvancedSQLQuery* showAdvanced();

Q_SIGNALS:
    // A numeric value box lost characters that a number cannot hold (the computer beeped).
    void valueCleaned(int row);

private:
    void cleanValue(int row);
    void rowsChanged();

    QString table_;
    QList<Column> columns_;
    QComboBox* fields_[RowCount];
    QComboBox* operators_[RowCount];
    QLineEdit* values_[RowCount];
    QComboBox* joins_[RowCount - 1];
    QLabel* preview_;
    QString advancedClause_;
    bool useAdvanced_ = false;
    QPointer<frmAdvancedSQLQuery> advanced_;
};
