#pragma once

#include "core/ui/frmWizard.h"
#include "import/ImportBuild.h"
#include "lists/ui/frmSQLQuery.h"

#include <QPointer>

class FieldList;
class FieldTray;
class ListWindows;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTreeView;

// Imports a table of another contact database into a new list: the type of database, the file, the
// table, the fields for the address, names and title and the fields to keep, an optional filter, and the
// build, which runs in slices on the event loop. Finish opens the list, the list of records without an
// address, and the import summary.
class frmDBImportWiz : public frmWizard {
    Q_OBJECT
public:
    enum Page { TypePage, FilePage, TablePage, FieldsPage, FilterPage, BuildPage };
    enum Role { EmailRole, FirstNameRole, LastNameRole, TitleRole };

    static QString title() { return QStringLiteral("Contact Database Import Wizard"); }
    static constexpr int PreviewRows = 20;
    static constexpr int TableViewRows = 1000;

    // lists opens the results; without it Finish only closes.
    frmDBImportWiz(Prompter& prompter, ListWindows* lists, QWidget* parent = nullptr);
    ~frmDBImportWiz() override;

    // The folder the file list shows.
    void setFolder(const QString& folder);
    FieldTray* tray(Role role) const { return trays_[role]; }
    // What the fields page says: the field of each tray and the kept fields.
    importer::FieldRoles fieldRoles() const;
    // Puts a field on a tray (as a drop does): it leaves the kept fields and any other tray.
    void assignField(Role role, const QString& field);
    frmSQLQuery* filterDialog() const { return filterDialog_; }
    QString filter() const { return filter_; }
    const importer::ImportResult& result() const { return result_; }

protected:
    bool checkPage(int page) override;
    void pageEntered(int page) override;
    bool finishWizard() override;
    void abandonWork() override;

private:
    void buildTypePage();
    void buildFilePage();
    void buildTablePage();
    void buildFieldsPage();
    void buildFilterPage();
    void buildBuildPage();
    void fillFiles();
    void tableChosen();
    void fieldChosen();
    void showTableView();
    void fillFields();
    void updateKeptColumns();
    void openFilter();
    void setFilter(const QString& clause);
    void startBuild();
    void showProgress(importer::ImportJob::Stage stage, qint64 done, qint64 total);
    void buildFinished();
    void discardResult();

    ListWindows* lists_;
    importer::SourceType type_;
    importer::ImportSource source_;
    QString openedPath_;
    QString table_;
    QString fieldsTable_; // the table the fields page was filled from
    QList<importer::SourceField> fields_;
    QString filter_;
    QPointer<importer::ImportBuild> build_;
    importer::ImportResult result_;

    QListWidget* lstDBTypes_ = nullptr;
    QTreeView* dirSource_ = nullptr;
    QFileSystemModel* folders_ = nullptr;
    QListWidget* filSource_ = nullptr;
    QLineEdit* txtSourcePath_ = nullptr;
    QString folder_;
    QListWidget* lstTables_ = nullptr;
    QListWidget* lstTableFields_ = nullptr;
    QLabel* lblFieldSample_ = nullptr;
    QTableWidget* grdPreview_ = nullptr;
    FieldList* lstFields_ = nullptr;
    FieldTray* trays_[4] = {};
    QLineEdit* txtFilter_ = nullptr;
    QPointer<frmSQLQuery> filterDialog_;
    QPushButton* cmdBuild_ = nullptr;
    QPushButton* cmdInterrupt_ = nullptr;
    QLabel* lblCounter1_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* lblFinish_ = nullptr;
};
