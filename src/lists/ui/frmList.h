#pragma once

#include "core/Prompter.h"

#include <QWidget>
#include <functional>

class ListTableModel;
class QTableView;

// The list window: one list file in an editable grid, with sorting, find and replace, columns added
// and removed, rows deleted, and the clean-up and save questions on closing. Its caption is the list's
// name, its tag (path()) the file.
class frmList : public QWidget {
    Q_OBJECT
    // The main window's status bar shows it for the active document window.
    Q_PROPERTY(int recordCount READ recordCount NOTIFY recordCountChanged)
public:
    // The window on the file, or nullptr with the reason in error when the file cannot be opened.
    static frmList* open(const QString& path, const QString& caption, Prompter& prompter,
                         QWidget* parent = nullptr, QString* error = nullptr);
    ~frmList() override;

    QString path() const { return path_; }
    QString caption() const { return windowTitle(); }
    // A list in the temp folder has not been saved under a name yet.
    bool isUnsaved() const;
    ListTableModel& model() { return *model_; }
    int recordCount() const;
    QTableView* grid() const { return grid_; }
    int currentColumn() const;

    // Saves the list under a name (the main window's save dialog); true when saved.
    using SaveRequest = std::function<bool(frmList* list)>;
    void setSaveRequest(SaveRequest request) { saveRequest_ = std::move(request); }

    void sortBy(int column, Qt::SortOrder order);
    // Asks for the name, adds the column and shows it.
    void promptAddColumn();
    bool addColumn(const QString& name);
    // Removes the user columns among the selected cells' columns, after asking.
    void removeSelectedColumns();
    // Deletes the selected rows after asking; false when nothing was deleted.
    bool deleteSelectedRows();

    // Find: from the current row on (forward) or back; moves to the row found, else says so.
    bool findNext(int column, const QString& text, bool exact, bool forward);
    // Replace: every value of the column equal to oldValue becomes newValue, after asking.
    bool replaceAll(int column, const QString& oldValue, const QString& newValue, bool exact);
    static QString notFoundText(bool exact);
    static QString quoteRefusedText();
    static QString addressExistsText();

    void copy();
    void cut();
    void paste();
    void selectAll();

    // Closes without any question: the file is being replaced or deleted.
    void closeQuietly();

Q_SIGNALS:
    void recordCountChanged(int count);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    frmList(ListTableModel* model, const QString& path, const QString& caption, Prompter& prompter,
            QWidget* parent);
    bool cleanUpDuplicates();
    void showHeaderMenu(const QPoint& position);
    QList<int> selectedRecordRows() const;

    ListTableModel* model_;
    QTableView* grid_;
    QString path_;
    Prompter& prompter_;
    SaveRequest saveRequest_;
    bool quiet_ = false;
};
