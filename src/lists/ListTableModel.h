#pragma once

#include "core/Prompter.h"
#include "lists/ListTable.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QVector>
#include <memory>

// The grid model of a list window: the rows of a ListTable in display order. Only the row ids are
// held for every row; values are read a page at a time and kept in a small cache, so a list of a
// million rows opens at once and scrolls with bounded memory. Edits go to the file at once.
//
// An editable list ends in one empty row: typing an address there appends a row.
class ListTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Rows read together; the cache keeps at most CachedPages of them.
    static constexpr int PageSize = 128;
    static constexpr int CachedPages = 64;

    ListTableModel(std::unique_ptr<ListTable> table, Prompter& prompter, QObject* parent = nullptr);
    ~ListTableModel() override;

    ListTable& table() { return *table_; }
    const ListTable& table() const { return *table_; }
    // Rows of the list, the empty new row not counted.
    int recordCount() const { return int(ids_.size()); }
    bool hasNewRow() const;
    bool isNewRow(int row) const { return hasNewRow() && row == recordCount(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Refuses an empty or repeated address with the list window's texts and keeps the old value.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Deletes the given rows (positions, any order); false when the file refused.
    bool deleteRecords(QList<int> rows);
    // The next row at or after from (forward) or at or before it (backward) matching the find criterion;
    // -1 when there is none; nullopt and the reason when the criterion is refused.
    std::optional<int> findRow(int column, const QString& text, bool exact, int from, bool forward,
                               QString* error = nullptr) const;
    // Reads the columns and the rows again (after a column change, a replace, a clean-up).
    bool reload();
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }

    static QString blankAddressText();
    // An address is sent as part of an SMTP command line: no control character may reach it.
    static QString controlCharacterAddressText();
    static QString duplicateAddressText(const QString& address);
    static QString gridDuplicateText();

Q_SIGNALS:
    // The number of rows changed (insert, delete, reload).
    void recordCountChanged(int count);

private:
    using Page = QVector<QVariantList>;
    const Page* page(int number) const;
    void forgetPage(int row) const;
    bool setAddress(int row, const QString& address);
    bool appendAddress(const QString& address);

    std::unique_ptr<ListTable> table_;
    Prompter& prompter_;
    QVector<qint64> ids_;
    mutable QCache<int, Page> pages_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
