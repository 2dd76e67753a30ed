#include "lists/ListTableModel.h"

#include "core/AppInfo.h"
#include "db/DbHelpers.h"
#include "util/StringFunctionsObject.h"

#include <algorithm>

ListTableModel::ListTableModel(std::unique_ptr<ListTable> table, Prompter& prompter, QObject* parent)
    : QAbstractTableModel(parent), table_(std::move(table)), prompter_(prompter), pages_(CachedPages) {
    if (auto ids = table_->orderedRowIds())
        ids_ = std::move(*ids);
}

ListTableModel::~ListTableModel() = default;

QString ListTableModel::controlCharacterAddressText() {
    return QStringLiteral(
        "The EAddress field cannot hold a tab, a line break or another control character.\n\n"
        "If you're editing an existing record,\nthe old address will be restored;\n"
        "If you're entering a new record,\nplease enter a valid email address.");
}

QString ListTableModel::blankAddressText() {
    return QStringLiteral(
        "The EAddress field cannot be left blank.\n\nIf you're editing an existing record,\n"
        "the old address will be restored;\nIf your're entering a new record,\n"
        "please enter a valid email address.");
}

QString ListTableModel::duplicateAddressText(const QString& address) {
    return QStringLiteral("This email address already exists in your address\nlist: \"") + address +
           QStringLiteral(
               "\"\nIf you were editing a new row in the list, The old\nvalue will be substituted in "
               "it's place.  If you were\nadding a new row then the action has been\ncanceled.");
}

QString ListTableModel::gridDuplicateText() {
    return QStringLiteral(
        "You have tried to enter a duplicate Email address.  Please correct it or press escape.");
}

bool ListTableModel::hasNewRow() const {
    return !table_->isReadOnly() && table_->keyColumn() >= 0;
}

int ListTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return recordCount() + (hasNewRow() ? 1 : 0);
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(table_->columns().size());
}

const ListTableModel::Page* ListTableModel::page(int number) const {
    if (const Page* cached = pages_.object(number))
        return cached;
    const int first = number * PageSize;
    const int last = std::min(first + PageSize, recordCount());
    if (first >= last)
        return nullptr;
    const QVector<qint64> ids = ids_.mid(first, last - first);
    const QHash<qint64, QVariantList> rows = table_->rowsById(ids);
    auto* loaded = new Page;
    loaded->reserve(ids.size());
    for (const qint64 id : ids)
        loaded->append(rows.value(id)); // a row deleted elsewhere shows empty
    pages_.insert(number, loaded);
    return loaded;
}

void ListTableModel::forgetPage(int row) const {
    pages_.remove(row / PageSize);
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    if (isNewRow(index.row()))
        return role == Qt::EditRole ? QVariant(QString()) : QVariant();
    const Page* rows = page(index.row() / PageSize);
    if (!rows)
        return {};
    const QVariantList& values = rows->at(index.row() % PageSize);
    const QVariant value = values.value(index.column());
    if (role == Qt::EditRole && value.isNull())
        return QString();
    return value;
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return table_->columns().value(section);
    if (section < 0 || section >= rowCount())
        return {};
    return isNewRow(section) ? QVariant(QStringLiteral("*")) : QVariant(section + 1);
}

Qt::ItemFlags ListTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (table_->isReadOnly())
        return flags;
    // The new row takes its address first: every other column needs a row to write to.
    if (isNewRow(index.row()) && index.column() != table_->keyColumn())
        return flags;
    return flags | Qt::ItemIsEditable;
}

bool ListTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid) ||
        !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int row = index.row();
    if (index.column() == table_->keyColumn()) {
        const QString address = value.toString().trimmed();
        return isNewRow(row) ? appendAddress(address) : setAddress(row, address);
    }
    const QVariant old = data(index, Qt::EditRole);
    if (old.toString() == value.toString())
        return true;
    db::DbError error;
    if (!table_->updateValue(ids_[row], index.column(), value, &error)) {
        prompter_.inform(AppTitle(), error.text, Prompter::Icon::Exclamation);
        return false;
    }
    forgetPage(row);
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool ListTableModel::setAddress(int row, const QString& address) {
    const QString old = data(index(row, table_->keyColumn()), Qt::EditRole).toString();
    if (address == old)
        return true;
    if (address.isEmpty()) {
        prompter_.inform(AppTitle(), blankAddressText(), Prompter::Icon::Exclamation);
        return false;
    }
    if (StringFunctionsObject::containsControlCharacter(address)) {
        prompter_.inform(AppTitle(), controlCharacterAddressText(), Prompter::Icon::Exclamation);
        return false;
    }
    // A change of case only is the same address and no duplicate of itself.
    const bool sameAddress = address.compare(old, Qt::CaseInsensitive) == 0;
    const QString key = table_->columns().at(table_->keyColumn());
    if (!sameAddress && RecordExists(table_->path(), key, table_->table(), key, address)) {
        prompter_.inform(AppTitle(), duplicateAddressText(address), Prompter::Icon::Exclamation);
        return false;
    }
    db::DbError error;
    if (!table_->updateValue(ids_[row], table_->keyColumn(), address, &error)) {
        prompter_.inform(AppTitle(), ListTable::isConstraintFailure(error) ? gridDuplicateText() : error.text,
                         Prompter::Icon::Exclamation);
        return false;
    }
    forgetPage(row);
    const QModelIndex changed = index(row, table_->keyColumn());
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool ListTableModel::appendAddress(const QString& address) {
    if (address.isEmpty())
        return false; // nothing typed: no row was begun
    if (StringFunctionsObject::containsControlCharacter(address)) {
        prompter_.inform(AppTitle(), controlCharacterAddressText(), Prompter::Icon::Exclamation);
        return false;
    }
    const QString key = table_->columns().at(table_->keyColumn());
    if (RecordExists(table_->path(), key, table_->table(), key, address)) {
        prompter_.inform(AppTitle(), duplicateAddressText(address), Prompter::Icon::Exclamation);
        return false;
    }
    db::DbError error;
    const std::optional<qint64> id = table_->insertAddress(address, &error);
    if (!id) {
        prompter_.inform(AppTitle(), ListTable::isConstraintFailure(error) ? gridDuplicateText() : error.text,
                         Prompter::Icon::Exclamation);
        return false;
    }
    const int row = recordCount();
    beginInsertRows({}, row, row);
    ids_.append(*id);
    forgetPage(row);
    endInsertRows();
    Q_EMIT recordCountChanged(recordCount());
    return true;
}

bool ListTableModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count <= 0 || row + count > recordCount())
        return false;
    QList<int> rows;
    for (int i = row; i < row + count; ++i)
        rows << i;
    return deleteRecords(rows);
}

bool ListTableModel::deleteRecords(QList<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([this](int row) { return row < 0 || row >= recordCount(); });
    if (rows.isEmpty())
        return false;
    QVector<qint64> ids;
    for (const int row : rows)
        ids << ids_[row];
    if (!table_->deleteRows(ids))
        return false;
    // From the bottom up, one contiguous run at a time.
    int end = int(rows.size()) - 1;
    while (end >= 0) {
        int start = end;
        while (start > 0 && rows[start - 1] == rows[start] - 1)
            --start;
        beginRemoveRows({}, rows[start], rows[end]);
        ids_.remove(rows[start], rows[end] - rows[start] + 1);
        pages_.clear(); // pages hold positions, which moved
        endRemoveRows();
        end = start - 1;
    }
    Q_EMIT recordCountChanged(recordCount());
    return true;
}

void ListTableModel::sort(int column, Qt::SortOrder order) {
    if (column >= columnCount())
        return;
    std::optional<QVector<qint64>> ids = table_->orderedRowIds(column, order);
    if (!ids)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Rows keep no persistent identity here beyond their position; views re-read what they show.
    const QModelIndexList persistent = persistentIndexList();
    QHash<qint64, int> newRow;
    if (!persistent.isEmpty())
        for (int i = 0; i < ids->size(); ++i)
            newRow.insert(ids->at(i), i);
    QModelIndexList moved;
    for (const QModelIndex& index : persistent) {
        int row = index.row();
        if (!isNewRow(row))
            row = newRow.value(ids_[row], row);
        moved << this->index(row, index.column());
    }
    ids_ = std::move(*ids);
    pages_.clear();
    sortColumn_ = column;
    sortOrder_ = order;
    changePersistentIndexList(persistent, moved);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::optional<int> ListTableModel::findRow(int column, const QString& text, bool exact, int from,
                                           bool forward, QString* error) const {
    const std::optional<QSet<qint64>> matches = table_->findRowIds(column, text, exact, error);
    if (!matches)
        return std::nullopt;
    if (matches->isEmpty())
        return -1;
    if (forward) {
        for (int row = std::max(from, 0); row < recordCount(); ++row)
            if (matches->contains(ids_[row]))
                return row;
    } else {
        for (int row = std::min(from, recordCount() - 1); row >= 0; --row)
            if (matches->contains(ids_[row]))
                return row;
    }
    return -1;
}

bool ListTableModel::reload() {
    beginResetModel();
    pages_.clear();
    const bool columnsRead = table_->reloadColumns();
    std::optional<QVector<qint64>> ids =
        columnsRead ? table_->orderedRowIds(sortColumn_ < columnCount() ? sortColumn_ : -1, sortOrder_)
                    : std::nullopt;
    if (ids)
        ids_ = std::move(*ids);
    else
        ids_.clear();
    if (sortColumn_ >= columnCount())
        sortColumn_ = -1;
    endResetModel();
    Q_EMIT recordCountChanged(recordCount());
    return ids.has_value();
}
