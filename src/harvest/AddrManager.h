#pragma once

#include "core/Prompter.h"
#include "db/DataTank.h"
#include "harvest/EmailParser.h"
#include "harvest/EmailSrcFileColl.h"
#include "harvest/FileObject.h"

#include <QList>
#include <QObject>
#include <QString>

// Builds a new temporary list from the chosen source files: each is scanned in the order chosen and every
// address found goes into the list. The build runs to its end in one call (BuildList), or in slices on the
// event loop (startBuild), yielding after each segment of a file; interrupt() stops it before the next
// line, keeping every row written.
class AddrManager : public QObject {
    Q_OBJECT
public:
    using NameMode = EmailParser::NameMode;

    struct FileCount {
        QString fileName;
        int addresses = 0; // -1: the file could not be opened
    };
    struct BuildResult {
        bool built = false; // false: nothing was chosen, or the list could not be created
        bool interrupted = false;
        QString listPath;       // the temporary list
        int rows = 0;           // rows in it
        QList<FileCount> files; // the files scanned, in order (an interrupted build stops early)
    };

    static QString noFilesText() {
        return QStringLiteral("There are currently no files chosen to extract addresses from.");
    }
    static QString stoppedText() {
        return QStringLiteral(
            "List build was stopped by user. All the addresses extracted so far have been saved.");
    }
    static QString noAddressesTitle() {
        return QStringLiteral("No Addresses Extracted -- Check Extraction Options");
    }
    static QString noAddressesText(const QString& fileName);

    explicit AddrManager(Prompter& prompter, QObject* parent = nullptr);
    ~AddrManager() override;

    // ---- Source files ----

    EmailSrcFileColl& sourceFiles() { return files_; }
    // Adds a file of the type ("Text", "Mailbox" or "Binary") with the default search options; false after
    // the duplicate message when it is already chosen.
    bool SelectSourceFile(const QString& fileName, const QString& fileType = EmailSrcFileObj::textType());
    // The type the file-type option stands for.
    static QString GetFileType(bool mailboxOption);
    // The search options of a chosen file; the defaults for one that is not chosen.
    EmailSrcFileObj GetSearchOptions(const QString& fileName);
    // Stores a file's search options (its name and type stay); false when the file is not chosen.
    bool ChangeSearchOptions(const QString& fileName, const EmailSrcFileObj& options);
    // Gives a chosen file another type ("Text", "Mailbox" or "Binary"); false when it is not chosen.
    bool ChangeFileType(const QString& fileName, const QString& fileType);

    // The wizard's step 3: the keyword values the rows receive start empty, in memory and in the settings
    // file.
    static void ClearKeywords();
    // The keyword values the rows receive, in memory and in the settings file.
    static void SetKeywords(const QString& keyword1, const QString& keyword2);

    // ---- The build ----

    void setNameMode(NameMode mode) { nameMode_ = mode; }
    NameMode nameMode() const { return nameMode_; }
    // Who answers a doubtful name in AskMe mode; without one the best guess stands.
    void setNameAsker(EmailParser::NameAsker asker) { parser_.setNameAsker(std::move(asker)); }
    EmailParser& parser() { return parser_; }
    // Prepares a new target list; its path, empty on failure.
    QString NewListInitiate();
    // Builds the list to its end.
    BuildResult BuildList();
    // Starts the build on the event loop; false (after the message) when there is nothing to build.
    // buildFinished tells the end.
    bool startBuild();
    bool isBuilding() const { return building_; }
    // Stops the build before its next line.
    void interrupt();
    // Stops a running build without a word and removes the list it made: the user left without it.
    void discardList();
    // Goes on after the host answered the parser's pending question.
    void answerQuestion(const EmailParser::NameAnswer& answer);

Q_SIGNALS:
    void buildEnabled(bool enabled);
    void fileStarted(const QString& fileName);
    void fileFinished(const QString& fileName, int addresses);
    void linesProcessed(qint64 lines);
    void rowsExtracted(int rows);
    // The bytes of all chosen files scanned so far, and their total.
    void progress(qint64 bytesDone, qint64 bytesTotal);
    void buildFinished(const AddrManager::BuildResult& result);

private:
    bool prepare();
    // Opens the next file when none is open; false when none is left.
    bool openNextFile();
    void closeCurrentFile();
    // One slice of work; true when the build has ended.
    bool step(qint64 byteBudget);
    void finish(bool interrupted);
    void scheduleStep();
    void ep1_FileLineRead(qint64 lines);
    void reportProgress();

    Prompter& prompter_;
    DataTank writer_;
    EmailParser parser_;
    FileObject reader_;
    EmailSrcFileColl files_;
    NameMode nameMode_ = NameMode::BestGuess;

    bool building_ = false;
    bool async_ = false;
    bool waiting_ = false;
    qsizetype nextFile_ = 0;
    bool fileOpen_ = false;
    qint64 bytesTotal_ = 0;
    qint64 bytesOfClosedFiles_ = 0;
    BuildResult result_;
};
