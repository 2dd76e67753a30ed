#pragma once

#include "core/Prompter.h"
#include "db/DataTank.h"
#include "import/SourceReader.h"
#include "import/SourceTypes.h"
#include "lists/QueryBuilder.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

// The record-copying engine of the contact-database import: opens a source with the wizard's messages,
// and builds a new temporary list from one of its tables with the fields the user mapped.
namespace importer {

// The texts the user sees.
namespace ImportText {
QString invalidFile(const QString& path); // "<path> is invalid for the current operation.  ..."
QString cannotRead();                     // "Tamberlyn cannot read the selected file." ...
QString noSourceFile();
QString noSourceTable();
QString noUserTables();
QString noEmailField();
QString unableToImport(); // "Unable to import the data"
QString noRecords();      // "<No Records"
QString summaryTitle();   // "Contact Database Import Summary"
QString readyToBuild();
QString exitQuestion();
QString finishHint(); // "Press the FINISH button to view your list"
} // namespace ImportText

// The folder offered for a source type: the one last used for it, else the one last used for any type,
// else the user's home folder; and remembering it (section DefaultDirectories).
QString defaultImportFolder(const SourceType& type);
void rememberImportFolder(const SourceType& type, const QString& filePath);

// An opened source, as the wizard's table and field pages see it.
class ImportSource {
public:
    ImportSource();
    ~ImportSource();

    // Opens the file with the type's reader. On failure shows the invalid-file message (Btrieve: the
    // sentence that it cannot be read here) and returns false.
    bool open(const SourceType& type, const QString& path, Prompter& prompter);
    bool isOpen() const { return reader_ != nullptr; }
    const SourceType& type() const { return type_; }
    QString path() const { return path_; }
    SourceReader* reader() const { return reader_.get(); }

    // The user tables; shows "There are no source tables ..." when there are none.
    QStringList tables(Prompter& prompter) const;
    // The table's fields; shows the cannot-read message when they cannot be read.
    QList<SourceField> fields(const QString& table, Prompter& prompter);
    // The value of a field in the table's first record (the field sample); empty when there is none.
    QString sampleValue(const QString& table, const QString& field);
    // The table's first records, up to count of them, in the order of its fields.
    QList<SourceRow> previewRows(const QString& table, int count);
    // The table that is meant: the one named (without regard to case), or the only one when name is empty.
    QString resolveTable(const QString& name) const;

private:
    SourceType type_;
    QString path_;
    std::unique_ptr<SourceReader> reader_;
};

// Which source fields fill the list: e-mail (required) to EAddress, first and last name and title to their
// system columns, and the kept fields as user columns (TEXT) named after them.
struct FieldRoles {
    QString email;
    QString firstName;
    QString lastName;
    QString title;
    QStringList keep;
};

// How the filter page writes a value for the field: numbers as typed, everything else in quotes.
QueryBuilder::ValueKind filterValueKind(const SourceField& field);

// The page checks: false, after the message, when the page may not be left.
bool checkSourceFile(const QString& path, Prompter& prompter);
bool checkSourceTable(const QString& table, Prompter& prompter);
bool checkFieldRoles(const FieldRoles& roles, Prompter& prompter);

// The column a kept field becomes: its name, with a leading underscore when that is a system column's
// name (Date becomes _Date), and a number added when an earlier column took it.
QStringList userColumnNames(const QStringList& fieldNames);

struct ImportRequest {
    SourceType type;
    QString path;
    QString table; // empty: the source's only table
    FieldRoles roles;
    QString filter;   // a WHERE clause in the query builder's dialect; empty imports every record
    QString listName; // shown in the caption of the no-address list
};

// Records in the registry row of a saved list which source fields fed its system columns and where the
// source was (the field-name columns and SourcePath of table List). False when the row cannot be updated.
bool recordImportSource(const QString& listName, const ImportRequest& request);

// What an import did, row by row where a row did not come in as it stood.
struct ImportSummary {
    QString source;
    qint64 recordsRead = 0;       // records that passed the filter
    qint64 rowsImported = 0;      // rows left in the new list
    qint64 withoutAddress = 0;    // given a placeholder and moved to the no-address list
    qint64 duplicates = 0;        // left out: the address was already in the list
    qint64 doubtfulAddresses = 0; // kept, but not a usable address
    qint64 otherChanges = 0; // blanks trimmed from an address, real addresses moved with the placeholders
    bool interrupted = false;
    QStringList rowNotes; // "Record 8: ..." (the first MaxRowNotes of them)
    qint64 rowNotesLeftOut = 0;
    QStringList warnings; // from the reader

    static constexpr int MaxRowNotes = 10000;
    void note(const QString& text);
    QString text() const;
};

struct ImportResult {
    // The new temporary list; or "<No Records" when no record came in, "<Error:" when the import failed
    // (the message was shown) and no list is left.
    QString listPath;
    DataTank::NullEntries nullEntries; // the rows without an address, split off into their own list
    ImportSummary summary;
    bool succeeded() const { return !listPath.isEmpty() && !listPath.startsWith(u'<'); }
};

// One import. run() does it all at once; start() does it in slices from the event loop so that the
// window stays responsive, and interrupt() stops it after the current record keeping the rows written.
class ImportJob : public QObject {
    Q_OBJECT
public:
    // A filtered import reads every record first, then copies those the filter lets through.
    enum class Stage { Reading, Copying };

    ImportJob(ImportRequest request, Prompter& prompter, QObject* parent = nullptr);
    ~ImportJob() override;

    ImportResult run();
    void start();
    void interrupt() { interruptRequested_ = true; }
    // Stops at once and removes the list being written: nothing is kept.
    void discard();
    bool isFinished() const { return phase_ == Phase::Done; }
    const ImportResult& result() const { return result_; }
    // Records per slice of start().
    void setSliceSize(int records) { sliceSize_ = qMax(1, records); }

Q_SIGNALS:
    void counterUpdate(qint64 records);
    // Records done in the stage, of total (-1 when the source cannot tell before it is read).
    void progress(importer::ImportJob::Stage stage, qint64 done, qint64 total);
    void finished();

private:
    enum class Phase { Idle, Staging, Copying, Done };
    class Work;

    bool prepare();
    // Does up to budget records of the current phase; false when the job is finished.
    bool step(int budget);
    bool copyRecord(qint64 recordNumber, QString& address);
    // The records are read: the filter picks those to copy. False when the job was abandoned.
    bool endStaging();
    void complete();
    // Ends the job without a list; shows message unless it is empty.
    void abandon(const QString& message);
    void announceFinished();
    void scheduleSlice();

    ImportRequest request_;
    Prompter& prompter_;
    std::unique_ptr<Work> work_;
    ImportResult result_;
    Phase phase_ = Phase::Idle;
    bool interruptRequested_ = false;
    bool finishedAnnounced_ = false;
    int sliceSize_ = 500;
};

} // namespace importer
