#include "harvest/AddrManager.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "db/ListEvents.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

// The bytes of a file scanned in one step.
constexpr qint64 SliceBytes = 32768;
// The time one slice of the build on the event loop may take.
constexpr qint64 SliceMs = 10;

} // namespace

QString AddrManager::noAddressesText(const QString& fileName) {
    return QStringLiteral("No addresses were extracted from the file ") + fileName + QStringLiteral(".") +
           QStringLiteral(
               "\nYou should check to ensure that your extraction options are correct. For instance, ") +
           QStringLiteral("\nthis may ") +
           QStringLiteral("be a text file and you may have indicated it to be a mailbox file, ") +
           QStringLiteral("\nand to look for addresses after \"FROM:\" ");
}

AddrManager::AddrManager(Prompter& prompter, QObject* parent)
    : QObject(parent), prompter_(prompter), parser_(writer_, prompter) {
    connect(&parser_, &EmailParser::FileLineRead, this, &AddrManager::ep1_FileLineRead);
    connect(&parser_, &EmailParser::rowCountChanged, this, &AddrManager::rowsExtracted);
}

AddrManager::~AddrManager() {
    if (fileOpen_)
        parser_.endScan();
}

// ---- Source files ----

bool AddrManager::SelectSourceFile(const QString& fileName, const QString& fileType) {
    EmailSrcFileObj file;
    file.fileName = fileName.trimmed();
    file.fileType = fileType;
    file.SetDefaults();
    if (files_.contains(file.fileName)) {
        prompter_.inform(AppTitle(), EmailSrcFileColl::duplicateText(), Prompter::Icon::Exclamation);
        return false;
    }
    return files_.Add(file);
}

QString AddrManager::GetFileType(bool mailboxOption) {
    return mailboxOption ? EmailSrcFileObj::mailboxType() : EmailSrcFileObj::textType();
}

EmailSrcFileObj AddrManager::GetSearchOptions(const QString& fileName) {
    if (const EmailSrcFileObj* file = files_.Item(fileName))
        return *file;
    EmailSrcFileObj defaults;
    defaults.fileName = fileName;
    defaults.SetDefaults();
    return defaults;
}

bool AddrManager::ChangeSearchOptions(const QString& fileName, const EmailSrcFileObj& options) {
    EmailSrcFileObj* file = files_.Item(fileName);
    if (!file)
        return false;
    const QString name = file->fileName;
    const QString type = file->fileType;
    *file = options;
    file->fileName = name;
    file->fileType = type;
    return true;
}

bool AddrManager::ChangeFileType(const QString& fileName, const QString& fileType) {
    EmailSrcFileObj* file = files_.Item(fileName);
    if (!file)
        return false;
    file->fileType = fileType;
    return true;
}

void AddrManager::ClearKeywords() {
    SetKeywords({}, {});
}

void AddrManager::SetKeywords(const QString& keyword1, const QString& keyword2) {
    const QString section = QStringLiteral("ApplicationDefaults");
    appSettings().KeyCategoryVal1 = keyword1;
    appSettings().KeyCategoryVal2 = keyword2;
    AppSaveSetting(section, QStringLiteral("KeyCategoryVal1"), keyword1);
    AppSaveSetting(section, QStringLiteral("KeyCategoryVal2"), keyword2);
}

// ---- The build ----

QString AddrManager::NewListInitiate() {
    if (writer_.CommitTargetRecord({}, {}, {}, {}, {}, {}, {}, QStringLiteral("INIT")) != DataTank::CommitOk)
        return {};
    return writer_.targetPath();
}

bool AddrManager::prepare() {
    if (building_)
        return false;
    result_ = {};
    if (files_.Count() == 0) {
        prompter_.inform(AppTitle(), noFilesText(), Prompter::Icon::Exclamation);
        return false;
    }
    Q_EMIT buildEnabled(false);
    parser_.setNameMode(nameMode_);
    parser_.clearInterrupt();
    parser_.resetRowCount();
    parser_.setKeywords(appSettings().KeyCategoryVal1, appSettings().KeyCategoryVal2);
    Q_EMIT ListEvents::instance().statusMessage(QStringLiteral("Converting..."));
    if (NewListInitiate().isEmpty()) {
        prompter_.inform(AppTitle(), QStringLiteral("The new list could not be created."),
                         Prompter::Icon::Critical);
        Q_EMIT buildEnabled(true);
        return false;
    }
    // On the event loop a commit is a pause of the window: smaller ones keep each pause short.
    writer_.setBatchSize(async_ ? 2000 : 10000);
    building_ = true;
    waiting_ = false;
    nextFile_ = 0;
    fileOpen_ = false;
    bytesTotal_ = 0;
    bytesOfClosedFiles_ = 0;
    for (const EmailSrcFileObj& file : files_)
        bytesTotal_ += QFileInfo(file.fileName).size();
    reportProgress();
    return true;
}

bool AddrManager::openNextFile() {
    while (nextFile_ < files_.Count() && !parser_.isInterrupted()) {
        const EmailSrcFileObj file = *files_.Item(nextFile_++);
        reader_.setFilename(file.fileName);
        Q_EMIT fileStarted(file.fileName);
        if (parser_.beginScan(reader_, file)) {
            fileOpen_ = true;
            return true;
        }
        // Reported by the parser; the build goes on with the next file.
        bytesOfClosedFiles_ += QFileInfo(file.fileName).size();
        result_.files << FileCount{file.fileName, -1};
        Q_EMIT fileFinished(file.fileName, -1);
    }
    return false;
}

void AddrManager::closeCurrentFile() {
    const QString name = files_.Item(nextFile_ - 1)->fileName;
    const int found = parser_.endScan();
    fileOpen_ = false;
    bytesOfClosedFiles_ += QFileInfo(name).size();
    reportProgress();
    result_.files << FileCount{name, found};
    Q_EMIT fileFinished(name, found);
    if (found == 0 && !parser_.isInterrupted())
        prompter_.inform(noAddressesTitle(), noAddressesText(name), Prompter::Icon::Exclamation);
}

bool AddrManager::step(qint64 byteBudget) {
    if (!fileOpen_ && !openNextFile()) {
        finish(parser_.isInterrupted());
        return true;
    }
    const EmailParser::ScanStatus status = parser_.scan(byteBudget);
    if (status != EmailParser::ScanStatus::Finished && status != EmailParser::ScanStatus::Interrupted)
        reportProgress();
    switch (status) {
    case EmailParser::ScanStatus::Running:
        return false;
    case EmailParser::ScanStatus::WaitingForAnswer:
        if (!async_)
            parser_.answerWithBestGuess(); // nobody to wait for
        else
            waiting_ = true;
        return false;
    case EmailParser::ScanStatus::Finished:
        closeCurrentFile();
        return false;
    case EmailParser::ScanStatus::Interrupted:
        closeCurrentFile();
        finish(true);
        return true;
    }
    return false;
}

void AddrManager::finish(bool interrupted) {
    writer_.closeTarget();
    building_ = false;
    waiting_ = false;
    result_.built = true;
    result_.interrupted = interrupted;
    result_.listPath = writer_.targetPath();
    result_.rows = parser_.rowsWritten();
    if (interrupted)
        prompter_.inform(AppTitle(), stoppedText(), Prompter::Icon::Information);
    Q_EMIT buildEnabled(true);
    Q_EMIT buildFinished(result_);
}

AddrManager::BuildResult AddrManager::BuildList() {
    async_ = false;
    if (!prepare())
        return result_;
    // A megabyte at a time, so that the progress is reported as the file is read.
    while (!step(1 << 20)) {
    }
    return result_;
}

bool AddrManager::startBuild() {
    async_ = true;
    if (!prepare())
        return false;
    scheduleStep();
    return true;
}

void AddrManager::scheduleStep() {
    QTimer::singleShot(0, this, [this] {
        // Steps until a slice of time is used: the window keeps its pace, and the loop's own costs stay
        // small beside the scan.
        QElapsedTimer slice;
        slice.start();
        while (building_ && !waiting_) {
            if (step(SliceBytes))
                return;
            if (slice.elapsed() >= SliceMs)
                break;
        }
        if (building_ && !waiting_)
            scheduleStep();
    });
}

void AddrManager::interrupt() {
    parser_.interrupt();
    if (building_ && waiting_) {
        // The address in question keeps the program's guess; the scan then stops before its next line.
        parser_.answerWithBestGuess();
        waiting_ = false;
        scheduleStep();
    }
}

void AddrManager::discardList() {
    if (building_) {
        parser_.interrupt();
        if (fileOpen_)
            parser_.endScan();
        fileOpen_ = false;
        building_ = false;
        waiting_ = false;
    }
    writer_.closeTarget();
    if (!writer_.targetPath().isEmpty())
        QFile::remove(writer_.targetPath());
}

void AddrManager::answerQuestion(const EmailParser::NameAnswer& answer) {
    if (!waiting_)
        return;
    parser_.answerQuestion(answer);
    waiting_ = false;
    scheduleStep();
}

void AddrManager::reportProgress() {
    const qint64 current = fileOpen_ ? reader_.BytesRead() : 0;
    // A rewritten copy of a file may read a little more than the file holds.
    Q_EMIT progress(qMin(bytesOfClosedFiles_ + current, bytesTotal_), bytesTotal_);
}

void AddrManager::ep1_FileLineRead(qint64 lines) {
    Q_EMIT linesProcessed(lines);
}
