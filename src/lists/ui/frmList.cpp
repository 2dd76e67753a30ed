#include "lists/ui/frmList.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "lists/ListTableModel.h"
#include "util/StringFunctionsObject.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSet>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The close-time message lists at most this many rows; a cleaned list of a million rows may hold far more.
constexpr int ListedDuplicates = 100;

} // namespace

frmList* frmList::open(const QString& path, const QString& caption, Prompter& prompter, QWidget* parent,
                       QString* error) {
    db::DbError failure;
    std::unique_ptr<ListTable> table = ListTable::open(path, QStringLiteral("AddressList"), false, &failure);
    if (!table) {
        if (error)
            *error = failure.text;
        return nullptr;
    }
    auto* model = new ListTableModel(std::move(table), prompter);
    return new frmList(model, path, caption, prompter, parent);
}

frmList::frmList(ListTableModel* model, const QString& path, const QString& caption, Prompter& prompter,
                 QWidget* parent)
    : QWidget(parent), model_(model), grid_(new QTableView(this)), path_(path), prompter_(prompter) {
    setObjectName(QStringLiteral("frmList"));
    setWindowTitle(caption);
    setProperty("tag", path);
    model_->setParent(this);

    grid_->setObjectName(QStringLiteral("grdList"));
    grid_->setModel(model_);
    grid_->setSortingEnabled(false); // sorting comes from the column menu and header clicks below
    grid_->setAlternatingRowColors(true);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setSectionsClickable(true);
    grid_->horizontalHeader()->setSortIndicatorShown(true);
    grid_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    grid_->horizontalHeader()->setDefaultSectionSize(140);
    connect(grid_->horizontalHeader(), &QHeaderView::customContextMenuRequested, this,
            &frmList::showHeaderMenu);
    connect(grid_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        const bool ascending = model_->sortColumn() != column || model_->sortOrder() == Qt::DescendingOrder;
        sortBy(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(model_, &ListTableModel::recordCountChanged, this, &frmList::recordCountChanged);
    if (model_->table().keyColumn() >= 0)
        grid_->setColumnWidth(model_->table().keyColumn(), 240);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid_);
    if (model_->rowCount() > 0)
        grid_->setCurrentIndex(model_->index(0, 0));
    resize(640, 400);
}

frmList::~frmList() = default;

int frmList::recordCount() const {
    return model_->recordCount();
}

bool frmList::isUnsaved() const {
    const QString temp = appFolders().TempFolder;
    return !temp.isEmpty() && path_.startsWith(temp);
}

int frmList::currentColumn() const {
    const QModelIndex current = grid_->currentIndex();
    return current.isValid() ? current.column() : 0;
}

void frmList::sortBy(int column, Qt::SortOrder order) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model_->sort(column, order);
    grid_->horizontalHeader()->setSortIndicator(column, order);
    QApplication::restoreOverrideCursor();
}

void frmList::showHeaderMenu(const QPoint& position) {
    const int column = grid_->horizontalHeader()->logicalIndexAt(position);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("mnuColumn"));
    if (column >= 0) {
        menu.addAction(QStringLiteral("Sort &Ascending"), this,
                       [this, column] { sortBy(column, Qt::AscendingOrder); });
        menu.addAction(QStringLiteral("Sort &Descending"), this,
                       [this, column] { sortBy(column, Qt::DescendingOrder); });
        menu.addSeparator();
    }
    menu.addAction(QStringLiteral("Add &Column..."), this, &frmList::promptAddColumn);
    menu.addAction(QStringLiteral("&Remove Column(s)"), this, [this, column] {
        if (column >= 0 && grid_->selectionModel()->selectedIndexes().isEmpty())
            grid_->selectColumn(column);
        removeSelectedColumns();
    });
    menu.exec(grid_->horizontalHeader()->mapToGlobal(position));
}

void frmList::promptAddColumn() {
    if (isUnsaved()) {
        prompter_.inform(AppTitle(), QStringLiteral("You must save your list before you can add a column."),
                         Prompter::Icon::Information);
        return;
    }
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, QStringLiteral("Add Column"),
                              QStringLiteral("Please enter the name of the column you wish to add."),
                              QLineEdit::Normal, QString(), &ok);
    if (ok)
        addColumn(name);
}

bool frmList::addColumn(const QString& name) {
    if (!DataTank::AddListColumn(path_, name, prompter_))
        return false;
    model_->reload();
    return true;
}

void frmList::removeSelectedColumns() {
    QSet<int> chosen;
    for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes())
        chosen.insert(index.column());
    QStringList user;
    int system = 0;
    for (const int column : chosen) {
        const QString name = model_->headerData(column, Qt::Horizontal).toString();
        if (DataTank::IsSystemColumn(name))
            ++system;
        else
            user << name;
    }
    if (!DataTank::ConfirmColumnRemoval(int(user.size()), system, prompter_))
        return;
    if (DataTank::RemoveListColumns(path_, user, prompter_) >= 0)
        model_->reload();
}

QList<int> frmList::selectedRecordRows() const {
    QSet<int> rows;
    for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes())
        if (!model_->isNewRow(index.row()))
            rows.insert(index.row());
    QList<int> sorted(rows.begin(), rows.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

bool frmList::deleteSelectedRows() {
    const QList<int> rows = selectedRecordRows();
    if (rows.isEmpty()) {
        prompter_.inform(QStringLiteral("Delete Row"),
                         QStringLiteral("Please select a row or rows for deletion."),
                         Prompter::Icon::Information);
        return false;
    }
    const QString question =
        QStringLiteral("You are about to delete ") + QString::number(rows.size()) +
        QStringLiteral(" record(s) from your\nlist.\n\nThis action cannot be undone.  Are "
                       "you sure\nyou wish to continue?");
    if (prompter_.ask(QStringLiteral("Deletion Confirmation"), question, Prompter::Buttons::YesNo,
                      Prompter::Icon::Question) != Prompter::Answer::Yes)
        return false;
    const int first = rows.first();
    if (!model_->deleteRecords(rows))
        return false;
    grid_->clearSelection();
    if (model_->rowCount() > 0)
        grid_->setCurrentIndex(model_->index(std::min(first, model_->rowCount() - 1), currentColumn()));
    return true;
}

QString frmList::notFoundText(bool exact) {
    QString text = QStringLiteral("Search String not found");
    if (exact)
        text += QStringLiteral("\nPerhaps turn off Matching the exact String would help");
    return text;
}

QString frmList::quoteRefusedText() {
    return QStringLiteral("Search String or Replace String cannot contain the   \"   character.");
}

QString frmList::addressExistsText() {
    return QStringLiteral(
        "Email Address field already exists.\nThe value you have chosen to insert into the\n"
        "EAddress column is already in your list.");
}

bool frmList::findNext(int column, const QString& text, bool exact, bool forward) {
    const QModelIndex current = grid_->currentIndex();
    const int from =
        current.isValid() ? current.row() + (forward ? 1 : -1) : (forward ? 0 : model_->recordCount() - 1);
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::optional<int> row = model_->findRow(column, text, exact, from, forward, &error);
    QApplication::restoreOverrideCursor();
    if (!row) {
        prompter_.inform(QStringLiteral("Find"), error, Prompter::Icon::Exclamation);
        return false;
    }
    if (*row < 0) {
        prompter_.inform(QStringLiteral("Find"), notFoundText(exact), Prompter::Icon::Information);
        return false;
    }
    const QModelIndex found = model_->index(*row, column);
    grid_->setCurrentIndex(found);
    grid_->scrollTo(found);
    return true;
}

bool frmList::replaceAll(int column, const QString& oldValue, const QString& newValue, bool exact) {
    if (oldValue.contains(u'"') || newValue.contains(u'"')) {
        prompter_.inform(QStringLiteral("Replace"), quoteRefusedText(), Prompter::Icon::Exclamation);
        return false;
    }
    ListTable& table = model_->table();
    const qint64 count = table.countEqual(column, oldValue);
    if (count == 0) {
        prompter_.inform(QStringLiteral("Replace"), notFoundText(exact), Prompter::Icon::Information);
        return false;
    }
    if (column == table.keyColumn()) {
        // Addresses are unique and never empty.
        if (newValue.trimmed().isEmpty()) {
            prompter_.inform(QStringLiteral("Replace"), ListTableModel::blankAddressText(),
                             Prompter::Icon::Exclamation);
            return false;
        }
        if (StringFunctionsObject::containsControlCharacter(newValue)) {
            prompter_.inform(QStringLiteral("Replace"), ListTableModel::controlCharacterAddressText(),
                             Prompter::Icon::Exclamation);
            return false;
        }
        const QString key = table.columns().at(column);
        if (newValue.compare(oldValue, Qt::CaseInsensitive) != 0 &&
            RecordExists(table.path(), key, table.table(), key, newValue)) {
            prompter_.inform(QStringLiteral("Replace"), addressExistsText(), Prompter::Icon::Exclamation);
            return false;
        }
    }
    const QString question = QStringLiteral("You are about to replace ") + QString::number(count) +
                             QStringLiteral(" value(s) with the new selected value.  Are you sure?");
    if (prompter_.ask(QStringLiteral("Replace"), question, Prompter::Buttons::YesNo,
                      Prompter::Icon::Question) != Prompter::Answer::Yes)
        return false;
    db::DbError error;
    if (table.replaceEqual(column, oldValue, newValue, &error) < 0) {
        prompter_.inform(QStringLiteral("Replace"),
                         ListTable::isConstraintFailure(error) ? ListTableModel::gridDuplicateText()
                                                               : error.text,
                         Prompter::Icon::Exclamation);
        return false;
    }
    model_->reload();
    return true;
}

void frmList::copy() {
    QModelIndexList cells = grid_->selectionModel()->selectedIndexes();
    if (cells.isEmpty() && grid_->currentIndex().isValid())
        cells << grid_->currentIndex();
    if (cells.isEmpty())
        return;
    std::sort(cells.begin(), cells.end());
    QString text;
    int row = cells.first().row();
    bool first = true;
    for (const QModelIndex& cell : cells) {
        if (!first)
            text += cell.row() != row ? u'\n' : u'\t';
        row = cell.row();
        text += cell.data(Qt::EditRole).toString();
        first = false;
    }
    QApplication::clipboard()->setText(text);
}

void frmList::cut() {
    copy();
    // The address cannot be left blank: cutting clears the other columns only.
    for (const QModelIndex& cell : grid_->selectionModel()->selectedIndexes())
        if (cell.column() != model_->table().keyColumn() && (cell.flags() & Qt::ItemIsEditable))
            model_->setData(cell, QString());
}

void frmList::paste() {
    const QModelIndex start = grid_->currentIndex();
    if (!start.isValid())
        return;
    const QStringList lines = QApplication::clipboard()->text().split(u'\n');
    int row = start.row();
    for (const QString& line : lines) {
        if (line.isEmpty() && &line == &lines.last())
            break;
        int column = start.column();
        for (const QString& value : line.split(u'\t')) {
            const QModelIndex cell = model_->index(row, column++);
            if (cell.isValid() && (cell.flags() & Qt::ItemIsEditable))
                model_->setData(cell, value);
        }
        ++row;
    }
}

void frmList::selectAll() {
    grid_->selectAll();
}

bool frmList::cleanUpDuplicates() {
    ListTable& table = model_->table();
    if (table.hasPrimaryKey() || table.keyColumn() < 0)
        return true;
    const QStringList repeated = table.duplicateAddressRows(ListedDuplicates + 1);
    if (repeated.isEmpty())
        return true;
    QString text =
        QStringLiteral("These fields are duplicates, To delete them and close your database click Yes. "
                       "To manually delete them, click No:\n");
    for (int i = 0; i < std::min<int>(int(repeated.size()), ListedDuplicates); ++i)
        text += QStringLiteral("     ") + repeated[i] + QStringLiteral(", ");
    if (repeated.size() > ListedDuplicates)
        text += QStringLiteral("     ...");
    if (prompter_.ask(QStringLiteral("Duplicate entries found."), text, Prompter::Buttons::YesNo,
                      Prompter::Icon::Exclamation) != Prompter::Answer::Yes)
        return false;
    if (table.deleteDuplicateAddresses() < 0)
        return false;
    model_->reload();
    return true;
}

void frmList::closeQuietly() {
    quiet_ = true;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

void frmList::closeEvent(QCloseEvent* event) {
    if (!quiet_) {
        if (!cleanUpDuplicates()) {
            event->ignore();
            return;
        }
        if (isUnsaved()) {
            const Prompter::Answer answer = prompter_.ask(
                caption(),
                QStringLiteral("Do you want to save the list '") + caption() + QStringLiteral("'?"),
                Prompter::Buttons::YesNoCancel, Prompter::Icon::Question);
            if (answer == Prompter::Answer::Cancel ||
                (answer == Prompter::Answer::Yes && (!saveRequest_ || !saveRequest_(this)))) {
                event->ignore();
                return;
            }
        }
    }
    // The next list window opens the way this one was left.
    const QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    appSettings().StartMaximized = frame->isMaximized() ? 2 : 0;
    event->accept();
}
