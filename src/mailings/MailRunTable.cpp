#include "mailings/MailRunTable.h"

namespace {

QString timeText(const QDateTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

} // namespace

MailRunTable::MailRunTable(QObject* parent) : QAbstractTableModel(parent) {}

void MailRunTable::setRuns(const QList<MailRuns::Run>& runs) {
    beginResetModel();
    runs_ = runs;
    endResetModel();
}

int MailRunTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(runs_.size());
}

int MailRunTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MailRunTable::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const MailRuns::Run& run = runs_.at(index.row());
    if (role == Qt::TextAlignmentRole)
        return index.column() == RunColumn || index.column() == PassedColumn || index.column() == FailedColumn
                   ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                   : QVariant();
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case RunColumn:
        return run.RunID;
    case TriggerColumn:
        return run.Trigger;
    case StartColumn:
        return timeText(run.RunStart);
    case EndColumn:
        return timeText(run.RunEnd);
    case PassedColumn:
        return run.Passed;
    case FailedColumn:
        return run.Failed;
    case OutcomeColumn:
        return run.Outcome;
    default:
        return {};
    }
}

QVariant MailRunTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList headings = {QStringLiteral("Run"),    QStringLiteral("Started by"),
                                         QStringLiteral("Start"),  QStringLiteral("End"),
                                         QStringLiteral("Passed"), QStringLiteral("Failed"),
                                         QStringLiteral("Outcome")};
    return section >= 0 && section < headings.size() ? QVariant(headings.at(section)) : QVariant();
}
