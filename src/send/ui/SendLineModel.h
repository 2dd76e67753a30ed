#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

// The lines of the send dialog's list: a text with the "Ok" picture, the "Fail" picture or none. The
// list never holds much more than MaxLines: a line that arrives when it holds more is added to an
// emptied list. Lines come in batches, so a fast run costs one view update per batch, not per line.
class SendLineModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int MaxLines = 5000;
    enum class Picture { None, Ok, Fail };
    struct Line {
        QString text;
        Picture picture = Picture::None;
    };

    using QAbstractListModel::QAbstractListModel;

    // Adds the lines in order, emptying the list wherever a line finds it over MaxLines.
    void addLines(const QList<Line>& lines);
    void clear();
    const Line& line(int row) const { return lines_.at(row); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<Line> lines_;
};
