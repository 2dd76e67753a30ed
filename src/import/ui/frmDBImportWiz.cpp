#include "import/ui/frmDBImportWiz.h"

#include "core/AppInfo.h"
#include "core/ui/DisplayThrottle.h"
#include "core/ui/frmStatus.h"
#include "import/ui/FieldTrays.h"
#include "lists/ui/ListWindows.h"
#include "lists/ui/frmSQLQuery.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeView>
#include <QVBoxLayout>

using namespace importer;

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* sentence(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

const char* const TrayNames[] = {"lblEMail", "lblFirstName", "lblLastName", "lblTitle"};
const char* const TrayCaptions[] = {"Email Address", "First Name", "Last Name", "Title"};

void fillGrid(QTableWidget* grid, const QList<SourceField>& fields, const QList<SourceRow>& rows) {
    grid->clear();
    grid->setColumnCount(int(fields.size()));
    QStringList headings;
    for (const SourceField& field : fields)
        headings << field.name;
    grid->setHorizontalHeaderLabels(headings);
    grid->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size() && c < fields.size(); ++c)
            grid->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    grid->resizeColumnsToContents();
}

} // namespace

frmDBImportWiz::frmDBImportWiz(Prompter& prompter, ListWindows* lists, QWidget* parent)
    : frmWizard(prompter, parent), lists_(lists) {
    setObjectName(QStringLiteral("frmDBImportWiz"));
    buildTypePage();
    buildFilePage();
    buildTablePage();
    buildFieldsPage();
    buildFilterPage();
    buildBuildPage();
    resize(720, 500);
}

frmDBImportWiz::~frmDBImportWiz() {
    if (build_)
        build_->discard();
    discardResult();
}

// ---- Pages ----

void frmDBImportWiz::buildTypePage() {
    QWidget* page = addPage(title(), QStringLiteral("Import Data from a Contact Database"));
    lstDBTypes_ = named(new QListWidget(page), "lstDBTypes");
    for (const SourceType& type : sourceTypes())
        lstDBTypes_->addItem(type.filterText);
    lstDBTypes_->setCurrentRow(3); // dBase files are the common case
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(sentence(
        QStringLiteral("Use the list box to select the type of data you wish to import into a mailing list."),
        page));
    layout->addWidget(lstDBTypes_);
}

void frmDBImportWiz::buildFilePage() {
    QWidget* page = addPage(title(), QStringLiteral("Import Data from a Contact Database"));
    folders_ = new QFileSystemModel(this);
    folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    folders_->setRootPath(QDir::rootPath());
    dirSource_ = named(new QTreeView(page), "dirSource");
    dirSource_->setModel(folders_);
    for (int column = 1; column < folders_->columnCount(); ++column)
        dirSource_->hideColumn(column);
    dirSource_->setHeaderHidden(true);
    connect(dirSource_, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { setFolder(folders_->filePath(index)); });
    filSource_ = named(new QListWidget(page), "filSource");
    connect(filSource_, &QListWidget::currentTextChanged, this, [this](const QString& name) {
        if (!name.isEmpty())
            txtSourcePath_->setText(QDir(folder_).filePath(name));
    });
    txtSourcePath_ = named(new QLineEdit(page), "txtSourcePath");

    auto* layout = new QGridLayout(page);
    layout->addWidget(
        sentence(QStringLiteral("Use the folder list to find the database you wish to extract your "
                                "mailing list from, then select the file from the File list."),
                 page),
        0, 0, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Folders:"), page), 1, 0);
    layout->addWidget(new QLabel(QStringLiteral("Files:"), page), 1, 1);
    layout->addWidget(dirSource_, 2, 0);
    layout->addWidget(filSource_, 2, 1);
    layout->addWidget(txtSourcePath_, 3, 0, 1, 2);
}

void frmDBImportWiz::buildTablePage() {
    QWidget* page = addPage(title(), QStringLiteral("Import Data from a Contact Database"));
    lstTables_ = named(new QListWidget(page), "lstTables");
    lstTableFields_ = named(new QListWidget(page), "lstTableFields");
    lblFieldSample_ = named(new QLabel(page), "lblFieldSample");
    lblFieldSample_->setFrameShape(QFrame::StyledPanel);
    lblFieldSample_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grdPreview_ = named(new QTableWidget(page), "grdPreview");
    grdPreview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* view = named(new QPushButton(QStringLiteral("&View table"), page), "btnTableView");
    connect(lstTables_, &QListWidget::currentTextChanged, this, &frmDBImportWiz::tableChosen);
    connect(lstTableFields_, &QListWidget::currentTextChanged, this, &frmDBImportWiz::fieldChosen);
    connect(view, &QPushButton::clicked, this, &frmDBImportWiz::showTableView);

    auto* layout = new QGridLayout(page);
    layout->addWidget(
        sentence(QStringLiteral("Select a source table from the currently selected data base"), page), 0, 0);
    layout->addWidget(sentence(QStringLiteral("Select a field from the currently selected table"), page), 0,
                      1);
    layout->addWidget(lstTables_, 1, 0);
    layout->addWidget(lstTableFields_, 1, 1);
    auto* sample = new QHBoxLayout;
    sample->addWidget(new QLabel(QStringLiteral("Field data sample:"), page));
    sample->addWidget(lblFieldSample_, 1);
    sample->addWidget(view);
    layout->addLayout(sample, 2, 0, 1, 2);
    layout->addWidget(grdPreview_, 3, 0, 1, 2);
    layout->setRowStretch(3, 1);
}

void frmDBImportWiz::buildFieldsPage() {
    QWidget* page = addPage(title(), QStringLiteral("Import Data from a Contact Database"));
    lstFields_ = named(new FieldList(page), "lstFields");
    lstFields_->setHeaderLabels({QStringLiteral("Available fields"), QStringLiteral("Column")});
    lstFields_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstFields_, &QTreeWidget::itemChanged, this, &frmDBImportWiz::updateKeptColumns);
    // The list's pop-up menu puts the field on a tray, for those who do not drag.
    connect(lstFields_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = lstFields_->itemAt(at);
        if (!item)
            return;
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (int role = EmailRole; role <= TitleRole; ++role)
            menu->addAction(QString::fromLatin1(TrayCaptions[role]),
                            [this, role, field = item->text(0)] { assignField(Role(role), field); });
        menu->popup(lstFields_->viewport()->mapToGlobal(at));
    });

    auto* traysBox = new QVBoxLayout;
    for (int role = EmailRole; role <= TitleRole; ++role) {
        trays_[role] = new FieldTray(QString::fromLatin1(TrayCaptions[role]), page);
        trays_[role]->setObjectName(QString::fromLatin1(TrayNames[role]));
        connect(trays_[role], &FieldTray::fieldDropped, this,
                [this, role](const QString& field) { assignField(Role(role), field); });
        connect(trays_[role], &FieldTray::removeRequested, this,
                [this, role] { assignField(Role(role), {}); });
        traysBox->addWidget(trays_[role]);
    }
    traysBox->addStretch(1);

    auto* layout = new QGridLayout(page);
    layout->addWidget(
        sentence(QStringLiteral("Drag a field name from the list on the left and drop it onto one of "
                                "the trays on the right to identify key fields to Tamberlyn.  Check "
                                "the box next to any other field you want to include in your list.  "
                                "The Email Field is a requirement."),
                 page),
        0, 0, 1, 2);
    layout->addWidget(lstFields_, 1, 0);
    layout->addLayout(traysBox, 1, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
}

void frmDBImportWiz::buildFilterPage() {
    QWidget* page = addPage(title(), QStringLiteral("Import Data from a Contact Database"));
    auto* cmdFilter = named(new QPushButton(QStringLiteral("Filter the data..."), page), "cmdFilter");
    auto* cmdClear = named(new QPushButton(QStringLiteral("Clear filter"), page), "cmdClearFilter");
    txtFilter_ = named(new QLineEdit(page), "txtFilter");
    txtFilter_->setReadOnly(true);
    txtFilter_->setPlaceholderText(QStringLiteral("(no filter: every record is imported)"));
    connect(cmdFilter, &QPushButton::clicked, this, &frmDBImportWiz::openFilter);
    connect(cmdClear, &QPushButton::clicked, this, [this] { setFilter({}); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdFilter);
    buttons->addWidget(cmdClear);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(sentence(
        QStringLiteral("If you wish to import ALL your data, IGNORE this step and just press Next."), page));
    layout->addLayout(buttons);
    layout->addWidget(txtFilter_);
    layout->addStretch(1);
}

void frmDBImportWiz::buildBuildPage() {
    QWidget* page = addPage(title(), QStringLiteral("Import Data from a Contact Database"));
    cmdBuild_ = named(new QPushButton(QStringLiteral("Build List"), page), "cmdBuild");
    cmdInterrupt_ = named(new QPushButton(QStringLiteral("Interrupt"), page), "cmdInterrupt");
    cmdInterrupt_->setEnabled(false);
    lblCounter1_ = named(new QLabel(QStringLiteral("0"), page), "lblCounter1");
    progress_ = named(new QProgressBar(page), "prgImport");
    progress_->setValue(0);
    lblFinish_ = named(sentence(QString(), page), "lblFinish");
    connect(cmdBuild_, &QPushButton::clicked, this, &frmDBImportWiz::startBuild);
    connect(cmdInterrupt_, &QPushButton::clicked, this, [this] {
        if (build_)
            build_->interrupt();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdBuild_);
    buttons->addWidget(cmdInterrupt_);
    buttons->addStretch(1);
    auto* counter = new QHBoxLayout;
    counter->addWidget(new QLabel(QStringLiteral("Records"), page));
    counter->addWidget(lblCounter1_);
    counter->addStretch(1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(sentence(ImportText::readyToBuild(), page));
    layout->addLayout(buttons);
    layout->addLayout(counter);
    layout->addWidget(progress_);
    layout->addWidget(lblFinish_);
    layout->addStretch(1);
}

// ---- Moving between pages ----

bool frmDBImportWiz::checkPage(int page) {
    switch (page) {
    case TypePage: {
        const SourceType type = sourceTypeAt(lstDBTypes_->currentRow());
        if (type.family == SourceFamily::Btrieve) {
            prompter().inform(AppTitle(), btrieveUnsupportedText(), Prompter::Icon::Exclamation);
            return false;
        }
        if (type.index != type_.index) {
            type_ = type;
            folder_.clear();
            txtSourcePath_->clear();
        }
        return type_.isValid();
    }
    case FilePage: {
        const QString path = txtSourcePath_->text().trimmed();
        if (!checkSourceFile(path, prompter()))
            return false;
        if (path != openedPath_ || source_.type().index != type_.index || !source_.isOpen()) {
            openedPath_.clear();
            if (!source_.open(type_, path, prompter()))
                return false;
            openedPath_ = path;
            table_.clear();
            fields_.clear();
            lstTables_->clear();
            for (const QString& table : source_.tables(prompter()))
                lstTables_->addItem(table);
            if (lstTables_->count() == 1)
                lstTables_->setCurrentRow(0);
        }
        rememberImportFolder(type_, path);
        return true;
    }
    case TablePage:
        if (!checkSourceTable(table_, prompter()))
            return false;
        if (fields_.isEmpty())
            fields_ = source_.fields(table_, prompter()); // says why it cannot be read
        return !fields_.isEmpty();
    case FieldsPage:
        return checkFieldRoles(fieldRoles(), prompter());
    default:
        return true;
    }
}

void frmDBImportWiz::pageEntered(int page) {
    if (page == FilePage) {
        if (folder_.isEmpty())
            setFolder(defaultImportFolder(type_));
        else
            fillFiles();
    } else if (page == FieldsPage && fieldsTable_ != table_) {
        fillFields();
    }
}

// ---- File ----

void frmDBImportWiz::setFolder(const QString& folder) {
    folder_ = folder;
    const QModelIndex index = folders_->index(folder);
    if (index.isValid()) {
        dirSource_->setCurrentIndex(index);
        dirSource_->scrollTo(index);
    }
    fillFiles();
}

void frmDBImportWiz::fillFiles() {
    filSource_->clear();
    // Name filters of QDir ignore case: FILE.DDF and contacts.DBF are found alike.
    const QStringList files = QDir(folder_).entryList(fileListPatterns(type_), QDir::Files | QDir::Readable,
                                                      QDir::Name | QDir::IgnoreCase);
    filSource_->addItems(files);
}

// ---- Table ----

void frmDBImportWiz::tableChosen() {
    table_ = lstTables_->currentItem() ? lstTables_->currentItem()->text() : QString();
    lstTableFields_->clear();
    lblFieldSample_->clear();
    grdPreview_->clear();
    grdPreview_->setRowCount(0);
    grdPreview_->setColumnCount(0);
    fields_.clear();
    if (table_.isEmpty())
        return;
    fields_ = source_.fields(table_, prompter());
    for (const SourceField& field : std::as_const(fields_))
        lstTableFields_->addItem(field.name);
    if (!fields_.isEmpty())
        fillGrid(grdPreview_, fields_, source_.previewRows(table_, PreviewRows));
}

void frmDBImportWiz::fieldChosen() {
    const QListWidgetItem* item = lstTableFields_->currentItem();
    lblFieldSample_->setText(item ? source_.sampleValue(table_, item->text()) : QString());
}

void frmDBImportWiz::showTableView() {
    if (table_.isEmpty() || fields_.isEmpty())
        return;
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("frmSourceTable"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(table_);
    auto* grid = named(new QTableWidget(dialog), "grdTable");
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fillGrid(grid, fields_, source_.previewRows(table_, TableViewRows));
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(grid);
    dialog->resize(700, 420);
    dialog->open();
}

// ---- Fields ----

void frmDBImportWiz::fillFields() {
    fieldsTable_ = table_;
    const QSignalBlocker block(lstFields_);
    lstFields_->clear();
    for (FieldTray* tray : trays_)
        tray->setField({});
    for (const SourceField& field : std::as_const(fields_)) {
        auto* item = new QTreeWidgetItem(lstFields_, {field.name});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
        item->setCheckState(0, Qt::Unchecked);
    }
    const QString preset = presetEmailField(type_, fields_);
    if (!preset.isEmpty())
        assignField(EmailRole, preset);
    updateKeptColumns();
}

void frmDBImportWiz::assignField(Role role, const QString& field) {
    const QSignalBlocker block(lstFields_);
    // One field serves one purpose: taken from the other trays and from the kept fields.
    for (FieldTray* tray : trays_)
        if (!field.isEmpty() && tray->field().compare(field, Qt::CaseInsensitive) == 0)
            tray->setField({});
    const QString previous = trays_[role]->field();
    trays_[role]->setField(field);
    for (int i = 0; i < lstFields_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstFields_->topLevelItem(i);
        if (item->text(0).compare(field, Qt::CaseInsensitive) == 0) {
            item->setCheckState(0, Qt::Unchecked);
            item->setDisabled(true);
        } else if (item->text(0).compare(previous, Qt::CaseInsensitive) == 0) {
            item->setDisabled(false);
        }
    }
    updateKeptColumns();
}

void frmDBImportWiz::updateKeptColumns() {
    const QSignalBlocker block(lstFields_);
    QStringList kept;
    for (int i = 0; i < lstFields_->topLevelItemCount(); ++i)
        if (lstFields_->topLevelItem(i)->checkState(0) == Qt::Checked)
            kept << lstFields_->topLevelItem(i)->text(0);
    const QStringList columns = keptColumnNames(type_, kept);
    for (int i = 0; i < lstFields_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstFields_->topLevelItem(i);
        const qsizetype at = kept.indexOf(item->text(0));
        item->setText(1, at >= 0 ? columns.value(at) : QString());
    }
}

importer::FieldRoles frmDBImportWiz::fieldRoles() const {
    FieldRoles roles;
    roles.email = trays_[EmailRole]->field();
    roles.firstName = trays_[FirstNameRole]->field();
    roles.lastName = trays_[LastNameRole]->field();
    roles.title = trays_[TitleRole]->field();
    for (int i = 0; i < lstFields_->topLevelItemCount(); ++i)
        if (lstFields_->topLevelItem(i)->checkState(0) == Qt::Checked)
            roles.keep << lstFields_->topLevelItem(i)->text(0);
    return roles;
}

// ---- Filter ----

void frmDBImportWiz::openFilter() {
    QList<frmSQLQuery::Column> columns;
    for (const SourceField& field : std::as_const(fields_))
        columns.append({field.name, filterValueKind(field)});
    filterDialog_ = new frmSQLQuery(table_, columns, this);
    filterDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(filterDialog_, &QDialog::accepted, this,
            [this] { setFilter(filterDialog_->clause().trimmed()); });
    filterDialog_->open();
}

void frmDBImportWiz::setFilter(const QString& clause) {
    filter_ = clause;
    txtFilter_->setText(clause);
}

// ---- Build ----

void frmDBImportWiz::startBuild() {
    if (build_)
        return;
    discardResult();
    setFinishEnabled(false);
    lblFinish_->clear();
    lblCounter1_->setText(QStringLiteral("0"));
    progress_->setRange(0, 0);
    ImportRequest request;
    request.type = type_;
    request.path = openedPath_;
    request.table = table_;
    request.roles = fieldRoles();
    request.filter = filter_;
    build_ = new ImportBuild(request, prompter(), this);
    // The counter moves with every slice of the build; the window shows it a few times a second.
    auto* throttle = new DisplayThrottle(build_);
    connect(build_, &ImportBuild::progress, this,
            [this, throttle](ImportJob::Stage stage, qint64 done, qint64 total) {
                throttle->post(0, [this, stage, done, total] { showProgress(stage, done, total); });
            });
    connect(build_, &ImportBuild::finished, throttle, &DisplayThrottle::flush);
    connect(build_, &ImportBuild::finished, this, &frmDBImportWiz::buildFinished);
    setBusy(true);
    cmdBuild_->setEnabled(false);
    cmdInterrupt_->setEnabled(true);
    build_->start();
}

void frmDBImportWiz::showProgress(ImportJob::Stage stage, qint64 done, qint64 total) {
    if (stage == ImportJob::Stage::Copying)
        lblCounter1_->setText(QString::number(done));
    progress_->setFormat(stage == ImportJob::Stage::Reading ? QStringLiteral("Reading %v of %m")
                                                            : QStringLiteral("%v of %m"));
    if (total > 0) {
        progress_->setRange(0, int(qMin<qint64>(total, INT_MAX)));
        progress_->setValue(int(qMin(done, total)));
    } else {
        progress_->setRange(0, 0); // the source cannot tell its size
    }
}

void frmDBImportWiz::buildFinished() {
    result_ = build_->result();
    build_->deleteLater();
    build_ = nullptr;
    setBusy(false);
    cmdBuild_->setEnabled(true);
    cmdInterrupt_->setEnabled(false);
    progress_->setRange(0, 1);
    progress_->setValue(1);
    if (result_.listPath == ImportText::noRecords()) {
        // The wizard stays open: the filter may be loosened.
        prompter().inform(AppTitle(), noMatchingRecordsText(), Prompter::Icon::Information);
        return;
    }
    if (!result_.succeeded())
        return; // said already, or interrupted before any record
    lblCounter1_->setText(QString::number(result_.summary.recordsRead));
    lblFinish_->setText(ImportText::finishHint());
    setFinishEnabled(true);
}

bool frmDBImportWiz::finishWizard() {
    if (!result_.succeeded())
        return false;
    const ImportResult result = std::exchange(result_, {});
    if (lists_) {
        lists_->openResult(result.listPath);
        if (!result.nullEntries.newListPath.isEmpty())
            lists_->showList(result.nullEntries.newListPath, result.nullEntries.caption);
    }
    frmStatus::ShowStatus(ImportText::summaryTitle(),
                          {ImportText::summaryTitle(), summaryColumns(), summaryRows(result.summary)},
                          {QStringLiteral("OK")}, parentWidget());
    return true;
}

void frmDBImportWiz::abandonWork() {
    // The list being built, or built and not taken, goes with the wizard.
    if (build_)
        build_->discard();
    discardResult();
}

void frmDBImportWiz::discardResult() {
    // A list built and not taken goes.
    importer::discardResult(std::exchange(result_, {}));
}
