#pragma once

#include "core/Prompter.h"
#include "harvest/AddressSet.h"
#include "harvest/EmailSrcFileObj.h"
#include "harvest/FileObject.h"
#include "harvest/mdlParser.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <optional>

class DataTank;

// Scans source files for mail addresses and the names around them and writes each address found as a
// row of the target list. A scan runs to the end in one call (FileEmailAddressesToISAM2), or in slices
// that the caller spreads over the event loop (beginScan / scan / endScan). A doubtful name may be put to
// the host as a question; without a host to ask, the best guess stands.
class EmailParser : public QObject {
    Q_OBJECT
public:
    enum class NameMode {
        NoNames,   // addresses only
        BestGuess, // names taken, never asked
        AskMe,     // names taken, doubtful ones put to the host
    };

    struct NameQuestion {
        QString message;
        QString address;
        QString line; // the text the names were inferred from
        QString firstName;
        QString lastName;
    };
    struct NameAnswer {
        enum class Choice {
            Confirm,        // the names given (as the user may have edited them)
            UseBestGuessOn, // the same, and no further question for the rest of the build
            NotFound,       // no name
        };
        Choice choice = Choice::Confirm;
        QString firstName;
        QString lastName;
    };
    // Answers at once, or returns nothing and answers later through answerQuestion(); the scan waits.
    using NameAsker = std::function<std::optional<NameAnswer>(const NameQuestion&)>;

    enum class ScanStatus {
        Running,          // more to scan: call scan() again
        WaitingForAnswer, // a question is out; answerQuestion() goes on
        Finished,
        Interrupted,
    };

    static QString unableToOpenText(const QString& fileName) {
        return QStringLiteral("Unable to open Email file, \"") + fileName +
               QStringLiteral("\". File may be empty");
    }

    EmailParser(DataTank& target, Prompter& prompter, QObject* parent = nullptr);
    ~EmailParser() override;

    // ---- Settings of the build ----

    bool AskIfAmbigous() const { return askIfAmbigous_; }
    void setAskIfAmbigous(bool ask) { askIfAmbigous_ = ask; }
    NameMode nameMode() const { return nameMode_; }
    // Also sets AskIfAmbigous (true only for AskMe).
    void setNameMode(NameMode mode);
    void setNameAsker(NameAsker asker) { asker_ = std::move(asker); }
    void setKeywords(const QString& keyword1, const QString& keyword2);
    QString SourceFileType() const { return source_.fileType; }
    // Asks the scan to stop before its next line; what was written stays.
    void interrupt() { interrupted_ = true; }
    void clearInterrupt() { interrupted_ = false; }
    bool isInterrupted() const { return interrupted_; }

    // ---- Results ----

    QString FirstName() const { return firstName_; }
    QString LastName() const { return lastName_; }
    void SetFLName(const QString& firstName, const QString& lastName);
    // Rows the target list took from this parser (refused rows not counted).
    int rowsWritten() const { return rowsWritten_; }
    qint64 linesRead() const { return linesRead_; }
    // Addresses found in the current (or last) file, those the list refused as repeats included.
    int addressesFound() const { return found_; }
    // The reader the parser's own scans use; its segment size starts at 65,536.
    FileObject& reader() { return reader_; }

    // ---- Scanning ----

    // The address in text at or after position (from 1), written to the target; "" when none. position
    // becomes the cursor past the candidate, or 0 when the text holds no further address; state carries
    // the writer's last answer. A question the host does not answer at once is settled by the best guess.
    QString parseEmailAddress(const QString& text, qsizetype& position, qint16& state);
    // Looks for one address in each comma-separated piece of text; the number of pieces whose look left a
    // non-zero position. pieces, when given, receives the pieces.
    int getMultipleAddress(const QString& text, QStringList* pieces = nullptr);
    // Scans one source file to its end (interrupt() stops it); the number of addresses found, or -1 when the
    // file could not be opened (already reported).
    int FileEmailAddressesToISAM2(FileObject& file, const EmailSrcFileObj& source);

    // The same in slices. beginScan opens the file (false when it cannot be opened: reported already).
    bool beginScan(FileObject& file, const EmailSrcFileObj& source);
    // Scans about byteBudget bytes of the file (at least one line); below 1 means to the end.
    ScanStatus scan(qint64 byteBudget);
    // The question the scan waits on.
    const std::optional<NameQuestion>& pendingQuestion() const { return pending_; }
    // Settles the pending question; the caller then goes on with scan().
    void answerQuestion(const NameAnswer& answer);
    // Settles it with the names the program guessed.
    void answerWithBestGuess();
    // A new target list: the row count and the memory of the addresses written start again.
    void resetRowCount() {
        rowsWritten_ = 0;
        written_.clear();
    }
    // Closes the file; the number of addresses found in it.
    int endScan();

    // The next line that is not empty after trimming, trimmed; "##EOF##" at the end.
    QString nextLine();

Q_SIGNALS:
    void FileLineRead(qint64 lines);
    void EmailAddressFound();
    void UpdateDescriptor1(const QString& text);
    void UpdateDescriptor2(const QString& text);
    void FileOpened(const QString& fileName, qint64 fileSize, const QString& mode);
    void FinishedReadingSegment(qint64 segmentNumber, qint64 charactersRead);
    void SegmentsSet(qint64 segmentSize, qint64 fullSegments, qint64 lastSegmentSize);
    void StartingToReadSegment(qint64 segmentNumber, qint64 segmentSize);
    // The number of rows in the target list changed.
    void rowCountChanged(int rows);

private:
    enum class Examined { Nothing, Found, Waiting };

    void connectReader(FileObject& file);
    void disconnectReader();
    // One look for an address in text (a line or a piece of one).
    Examined examine(QStringView text, qsizetype& position);
    // After the names are settled: the Message-Id rule, then the row.
    bool finishAddress(const QString& address);
    void applyAnswer(const NameAnswer& answer);
    // The texts of one line to look at, from the file's search options.
    void planLine(const QString& line);
    void addPieces(QStringView line);
    bool readLine(QString& line);
    // Whether the line's bytes can give an address or change the scan's state; the others are never decoded.
    bool worthReading(QByteArrayView line);

    DataTank& target_;
    Prompter& prompter_;
    FileObject reader_;
    QPointer<FileObject> file_;
    QList<QMetaObject::Connection> readerConnections_;
    NameAsker asker_;
    NameMode nameMode_ = NameMode::BestGuess;
    bool askIfAmbigous_ = true;
    bool interrupted_ = false;
    QString keyword1_;
    QString keyword2_;
    QString dateStamp_;
    QString firstName_ = QStringLiteral("not_found");
    QString lastName_;
    QString lastAddress_;

    // Which lines of the source are looked at, and how.
    enum class LineRule {
        FirstAddress, // text files: the first address of every line
        EveryAddress, // mailboxes searched whole: every address of every line
        HeaderLines,  // mailboxes: the chosen headers and their continuations
        Nothing,      // a file type that is not searched
    };

    EmailSrcFileObj source_;
    LineRule rule_ = LineRule::FirstAddress;
    qint64 linesRead_ = 0;
    int found_ = 0;
    int rowsWritten_ = 0;
    qint16 state_ = 0;
    bool planning_ = true;        // the scan reads lines for planLine and may pass over useless ones
    bool skippedBlank_ = false;   // nextLine passed over empty lines before the line it gave
    bool inContinuation_ = false; // the lines after a header with a comma
    QString line_;                // the current line
    QList<QStringView> texts_;    // what is left to look at of it
    qsizetype textIndex_ = 0;
    std::optional<NameQuestion> pending_;
    QString pendingAddress_; // the address the pending question is about
    QString reformatted_;    // the rewritten copy of a .pmm file, removed after its scan
    AddressSet written_;     // the addresses written
};
