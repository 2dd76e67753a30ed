#include "harvest/ui/frmEmailWizard.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/FileViewer.h"
#include "core/ui/DisplayThrottle.h"
#include "harvest/ui/frmQueryUserReName.h"
#include "harvest/ui/frmSearchOptions.h"
#include "util/FileNameObject.h"

#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* wrapped(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

frmEmailWizard::frmEmailWizard(Prompter& prompter, std::function<void(const QString&)> openList,
                               QWidget* parent)
    : frmWizard(prompter, parent), manager_(prompter), openList_(std::move(openList)) {
    setObjectName(QStringLiteral("frmEmailWizard"));
    setAcceptDrops(true);
    buildFilesPage();
    buildNamesPage();
    buildKeywordsPage();
    buildBuildPage();
    resize(620, 440);

    manager_.setNameAsker([this](const EmailParser::NameQuestion& question) {
        askName(question);
        return std::optional<EmailParser::NameAnswer>();
    });
    connect(&manager_, &AddrManager::buildEnabled, cmdBuild_, &QPushButton::setEnabled);
    // The counters move with every slice of the build; the window shows them a few times a second.
    auto* throttle = new DisplayThrottle(this);
    connect(&manager_, &AddrManager::linesProcessed, lblCounter1_, [this, throttle](qint64 lines) {
        throttle->post(0, [this, lines] { lblCounter1_->setText(QString::number(lines)); });
    });
    connect(&manager_, &AddrManager::rowsExtracted, lblCounter2_, [this, throttle](int rows) {
        throttle->post(1, [this, rows] { lblCounter2_->setText(QString::number(rows)); });
    });
    connect(&manager_.parser(), &EmailParser::UpdateDescriptor1, lblLines_, &QLabel::setText);
    connect(&manager_.parser(), &EmailParser::UpdateDescriptor2, lblAddrs_, &QLabel::setText);
    connect(&manager_, &AddrManager::progress, progress_, [this, throttle](qint64 done, qint64 total) {
        throttle->post(2, [this, done, total] {
            // Kilobytes keep a large file within the bar's range.
            progress_->setRange(0, int(qMax<qint64>(1, total / 1024)));
            progress_->setValue(int(done / 1024));
        });
    });
    connect(&manager_, &AddrManager::buildFinished, throttle, &DisplayThrottle::flush);
    connect(&manager_, &AddrManager::buildFinished, this, &frmEmailWizard::buildFinished);
}

frmEmailWizard::~frmEmailWizard() {
    // A list built but not handed over is no one's.
    if (!builtList_.isEmpty() || manager_.isBuilding())
        manager_.discardList();
}

// ---- Pages ----

void frmEmailWizard::buildFilesPage() {
    QWidget* page = addPage(title(), QStringLiteral("Select Source Files"));
    auto* type = new QGroupBox(QStringLiteral("File type"), page);
    optAscii_ = named(new QRadioButton(QStringLiteral("Text file"), type), "optAscii");
    optMailBox_ = named(new QRadioButton(QStringLiteral("Mailbox file"), type), "optMailBox");
    optAscii_->setChecked(true);
    auto* typeLayout = new QVBoxLayout(type);
    typeLayout->addWidget(optAscii_);
    typeLayout->addWidget(optMailBox_);
    connect(optMailBox_, &QRadioButton::toggled, this, &frmEmailWizard::fileTypeChosen);

    lstSelected_ = named(new QListWidget(page), "lstSelected");
    connect(lstSelected_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (!item)
            return;
        const bool mailbox = manager_.GetSearchOptions(item->data(Qt::UserRole).toString()).isMailbox();
        QSignalBlocker block(optMailBox_);
        (mailbox ? optMailBox_ : optAscii_)->setChecked(true);
    });

    auto* cmdSelect = named(new QPushButton(QStringLiteral("Select file..."), page), "cmdSelect");
    auto* cmdView = named(new QPushButton(QStringLiteral("View..."), page), "cmdViewFile");
    auto* cmdRemove = named(new QPushButton(QStringLiteral("Remove"), page), "cmdRemoveFile");
    auto* cmdOptions = named(new QPushButton(QStringLiteral("Options"), page), "cmdSrcOptions");
    connect(cmdSelect, &QPushButton::clicked, this, &frmEmailWizard::selectSourceFiles);
    connect(cmdView, &QPushButton::clicked, this, &frmEmailWizard::viewFile);
    connect(cmdRemove, &QPushButton::clicked, this, &frmEmailWizard::removeFile);
    connect(cmdOptions, &QPushButton::clicked, this, &frmEmailWizard::showSearchOptions);

    auto* side = new QVBoxLayout;
    side->addWidget(type);
    for (QPushButton* b : {cmdSelect, cmdView, cmdRemove, cmdOptions})
        side->addWidget(b);
    side->addStretch(1);
    auto* grid = new QGridLayout(page);
    grid->addWidget(
        wrapped(QStringLiteral("Choose the text and mailbox files to take addresses from, or drop "
                               "them here. Options sets how a mailbox file is searched."),
                page),
        0, 0, 1, 2);
    grid->addWidget(lstSelected_, 1, 0);
    grid->addLayout(side, 1, 1);
}

void frmEmailWizard::buildNamesPage() {
    QWidget* page = addPage(title(), QStringLiteral("Extract Personal Names"));
    optNoNames_ = named(new QRadioButton(QStringLiteral("Disable name checking -- Slightly faster"), page),
                        "optExtractNoNames");
    optGuess_ = named(
        new QRadioButton(QStringLiteral("Extract names with program's best guess -- don't ask me."), page),
        "optExtractGuess");
    optAskMe_ = named(
        new QRadioButton(QStringLiteral("Extract first and last names -- ask me when ambiguous."), page),
        "optExtractAskMe");
    optGuess_->setChecked(true);
    auto* layout = new QVBoxLayout(page);
    for (QRadioButton* option : {optNoNames_, optGuess_, optAskMe_})
        layout->addWidget(option);
    layout->addStretch(1);
}

void frmEmailWizard::buildKeywordsPage() {
    QWidget* page = addPage(title(), QStringLiteral("Keywords"));
    txtKeyword1_ = named(new QLineEdit(page), "txtKeyword1");
    txtKeyword2_ = named(new QLineEdit(page), "txtKeyword2");
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(wrapped(QStringLiteral("Every address of the new list can carry two keywords, for "
                                             "instance where it came from. Leave them empty for none."),
                              page));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Keyword &1:"), txtKeyword1_);
    form->addRow(QStringLiteral("Keyword &2:"), txtKeyword2_);
    layout->addLayout(form);
    layout->addStretch(1);
}

void frmEmailWizard::buildBuildPage() {
    QWidget* page = addPage(title(), QStringLiteral("Build the List"));
    cmdBuild_ = named(new QPushButton(QStringLiteral("Build List"), page), "cmdBuild");
    cmdInterrupt_ = named(new QPushButton(QStringLiteral("Interrupt"), page), "cmdInterrupt");
    cmdInterrupt_->setEnabled(false);
    lblLines_ = named(new QLabel(QStringLiteral("Lines read"), page), "lblLines");
    lblAddrs_ = named(new QLabel(QStringLiteral("Unique Email Addresses Extracted"), page), "lblAddrs");
    lblCounter1_ = named(new QLabel(QStringLiteral("0"), page), "lblCounter1");
    lblCounter2_ = named(new QLabel(QStringLiteral("0"), page), "lblCounter2");
    lblResult_ = named(wrapped(QString(), page), "lblResult");
    progress_ = named(new QProgressBar(page), "prgBuild");
    progress_->setFormat(QStringLiteral("%v of %m KB"));
    progress_->setValue(0);
    connect(cmdBuild_, &QPushButton::clicked, this, &frmEmailWizard::startBuild);
    connect(cmdInterrupt_, &QPushButton::clicked, this, [this] {
        if (question_)
            question_->dismiss(); // the build takes the best guess for it
        manager_.interrupt();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdBuild_);
    buttons->addWidget(cmdInterrupt_);
    buttons->addStretch(1);
    auto* counters = new QGridLayout;
    counters->addWidget(lblLines_, 0, 0);
    counters->addWidget(lblCounter1_, 0, 1);
    counters->addWidget(lblAddrs_, 1, 0);
    counters->addWidget(lblCounter2_, 1, 1);
    counters->setColumnStretch(0, 1);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(buttons);
    layout->addLayout(counters);
    layout->addWidget(progress_);
    layout->addWidget(lblResult_);
    layout->addStretch(1);
}

bool frmEmailWizard::checkPage(int page) {
    switch (page) {
    case FilesPage:
        if (manager_.sourceFiles().Count() == 0) {
            prompter().inform(noSourceFilesTitle(), noSourceFilesText(), Prompter::Icon::Exclamation);
            return false;
        }
        return true;
    case NamesPage:
        manager_.setNameMode(optNoNames_->isChecked() ? AddrManager::NameMode::NoNames
                             : optAskMe_->isChecked() ? AddrManager::NameMode::AskMe
                                                      : AddrManager::NameMode::BestGuess);
        return true;
    case KeywordsPage:
        AddrManager::SetKeywords(txtKeyword1_->text().trimmed(), txtKeyword2_->text().trimmed());
        return true;
    default:
        return true;
    }
}

void frmEmailWizard::pageEntered(int page) {
    if (page == KeywordsPage) {
        // The keywords of an earlier build do not carry over.
        AddrManager::ClearKeywords();
        txtKeyword1_->clear();
        txtKeyword2_->clear();
    }
}

// ---- Files ----

QString frmEmailWizard::selectedFile() const {
    const QListWidgetItem* item = lstSelected_->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toString() : QString();
}

bool frmEmailWizard::addSourceFile(const QString& path) {
    const QString type = AddrManager::GetFileType(optMailBox_->isChecked());
    if (!manager_.SelectSourceFile(path, type))
        return false;
    auto* item = new QListWidgetItem(QFileInfo(path).fileName(), lstSelected_);
    item->setData(Qt::UserRole, EmailSrcFileColl::keyOf(path));
    item->setToolTip(path);
    return true;
}

void frmEmailWizard::selectSourceFiles() {
    if (fileDialog_)
        return;
    fileDialog_ = new QFileDialog(this, QStringLiteral("Select source file for addresses"),
                                  FileNameObject::UserFilePath(), QStringLiteral("All Files (*)"));
    fileDialog_->setObjectName(QStringLiteral("dlgSelectSource"));
    fileDialog_->setFileMode(QFileDialog::ExistingFile);
    fileDialog_->setOption(QFileDialog::DontUseNativeDialog);
    fileDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(fileDialog_, &QFileDialog::fileSelected, this, &frmEmailWizard::addSourceFile);
    fileDialog_->open();
}

void frmEmailWizard::viewFile() {
    const QString file = selectedFile();
    if (file.isEmpty()) {
        prompter().inform(noFileSelectedTitle(), selectToViewText(), Prompter::Icon::Exclamation);
        return;
    }
    ViewFile(file);
}

void frmEmailWizard::removeFile() {
    const QString file = selectedFile();
    if (file.isEmpty()) {
        prompter().inform(noFileSelectedTitle(), selectToRemoveText(), Prompter::Icon::Exclamation);
        return;
    }
    manager_.sourceFiles().Remove(file);
    delete lstSelected_->currentItem();
    lstSelected_->setCurrentItem(nullptr);
}

void frmEmailWizard::showSearchOptions() {
    const QString file = selectedFile();
    if (file.isEmpty()) {
        prompter().inform(noFileSelectedTitle(), selectForOptionsText(), Prompter::Icon::Exclamation);
        return;
    }
    const EmailSrcFileObj options = manager_.GetSearchOptions(file);
    // Text files are searched line by line: they have no options.
    if (!options.isMailbox()) {
        prompter().inform(AppTitle(), optionsRefusedText(), Prompter::Icon::Exclamation);
        return;
    }
    searchOptions_ = new frmSearchOptions(options, this);
    searchOptions_->setAttribute(Qt::WA_DeleteOnClose);
    connect(searchOptions_, &QDialog::accepted, this,
            [this, file] { manager_.ChangeSearchOptions(file, searchOptions_->RememberOptions()); });
    searchOptions_->open();
}

void frmEmailWizard::fileTypeChosen() {
    const QString file = selectedFile();
    if (!file.isEmpty())
        manager_.ChangeFileType(file, AddrManager::GetFileType(optMailBox_->isChecked()));
}

void frmEmailWizard::dragEnterEvent(QDragEnterEvent* event) {
    if (currentPage() == FilesPage && !isBusy() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void frmEmailWizard::dropEvent(QDropEvent* event) {
    if (currentPage() != FilesPage || isBusy())
        return;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            addSourceFile(url.toLocalFile());
    event->acceptProposedAction();
}

// ---- Build ----

void frmEmailWizard::startBuild() {
    if (manager_.isBuilding())
        return;
    // A list built before and not taken is replaced by the new one.
    if (!builtList_.isEmpty()) {
        manager_.discardList();
        builtList_.clear();
    }
    setFinishEnabled(false);
    lblResult_->clear();
    lblCounter1_->setText(QStringLiteral("0"));
    lblCounter2_->setText(QStringLiteral("0"));
    if (!manager_.startBuild())
        return;
    setBusy(true);
    cmdInterrupt_->setEnabled(true);
}

void frmEmailWizard::askName(const EmailParser::NameQuestion& question) {
    question_ = new frmQueryUserReName(question, this);
    question_->setAttribute(Qt::WA_DeleteOnClose);
    connect(question_, &frmQueryUserReName::answered, this,
            [this](const EmailParser::NameAnswer& answer) { manager_.answerQuestion(answer); });
    question_->open();
}

void frmEmailWizard::buildFinished(const AddrManager::BuildResult& result) {
    setBusy(false);
    cmdInterrupt_->setEnabled(false);
    if (!result.built)
        return;
    builtList_ = result.listPath;
    lblResult_->setText(QString::number(result.rows) +
                        QStringLiteral(" addresses are in the new list. Press Finish to view it."));
    setFinishEnabled(true);
}

bool frmEmailWizard::finishWizard() {
    if (builtList_.isEmpty())
        return false;
    const QString list = std::exchange(builtList_, QString());
    if (openList_)
        openList_(list);
    return true;
}

void frmEmailWizard::abandonWork() {
    if (question_)
        question_->dismiss();
    manager_.discardList();
    builtList_.clear();
}
