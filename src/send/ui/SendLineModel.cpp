#include "send/ui/SendLineModel.h"

#include "send/ui/SendPictures.h"

void SendLineModel::addLines(const QList<Line>& lines) {
    if (lines.isEmpty())
        return;
    // Where the list would be emptied last while the lines go in one by one.
    qsizetype count = lines_.size();
    qsizetype lastEmptied = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (count > MaxLines) {
            count = 0;
            lastEmptied = i;
        }
        ++count;
    }
    if (lastEmptied >= 0) {
        beginResetModel();
        lines_ = lines.mid(lastEmptied);
        endResetModel();
        return;
    }
    const int first = int(lines_.size());
    beginInsertRows({}, first, first + int(lines.size()) - 1);
    lines_.append(lines);
    endInsertRows();
}

void SendLineModel::clear() {
    if (lines_.isEmpty())
        return;
    beginResetModel();
    lines_.clear();
    endResetModel();
}

int SendLineModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(lines_.size());
}

QVariant SendLineModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Line& line = lines_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return line.text;
    case Qt::DecorationRole:
        if (line.picture == Picture::None)
            return {};
        return SendPictures::picture(line.picture == Picture::Ok ? QStringLiteral("Ok")
                                                                 : QStringLiteral("Fail"));
    default:
        return {};
    }
}
