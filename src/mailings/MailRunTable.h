#pragma once

#include "mailings/MailRuns.h"

#include <QAbstractTableModel>

// The runs of one mailing as a table: number, trigger, start, end, passed, failed, outcome.
class MailRunTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        RunColumn,
        TriggerColumn,
        StartColumn,
        EndColumn,
        PassedColumn,
        FailedColumn,
        OutcomeColumn,
        ColumnCount
    };

    explicit MailRunTable(QObject* parent = nullptr);

    void setRuns(const QList<MailRuns::Run>& runs);
    const QList<MailRuns::Run>& runs() const { return runs_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<MailRuns::Run> runs_;
};
