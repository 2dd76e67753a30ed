#pragma once

#include "core/Prompter.h"
#include "db/Database.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// List files: their creation, naming, verification and registry, their columns, and the record writer
// that list building appends rows through. One DataTank instance is one writer; everything else is
// static and opens the files it needs, works and closes them again.
class DataTank {
public:
    // The answers of CommitTargetRecord.
    enum CommitResult : qint16 {
        CommitOk = 0,
        CommitFailed = 1,  // the list could not be created or written; see the error log
        CommitRefused = 2, // the row was dropped: its address is empty, too long or already in the list
    };

    DataTank();
    // Commits what the writer holds and closes its list.
    ~DataTank();
    DataTank(const DataTank&) = delete;
    DataTank& operator=(const DataTank&) = delete;

    // ---- Files ----

    // True when the database has a table AddressList with a column EAddress; any failure gives false.
    static bool IsTamberlynDB(const db::Database& database);
    static bool IsTamberlynDB(const QString& path);
    // A new blank list at the next temporary name; its path, or the empty text on failure.
    static QString CreateBlankDatabase(db::DbError* error = nullptr);
    // With wantTable, a blank list opened; otherwise an empty database at the next temporary name (any
    // file there is deleted first) for the caller to define its own table. Not open on failure.
    static db::Database CreateTargetDatabase(bool wantTable, db::DbError* error = nullptr);
    // Gives an existing table its unique key on column, under the index name MyPrKey.
    static bool CreateKeyIndex(db::Database& database, const QString& table = QStringLiteral("AddressList"),
                               const QString& column = QStringLiteral("EAddress"),
                               db::DbError* error = nullptr);

    // ---- Temporary lists ----

    // TempFolder + "NewMailingList" + n + ".mdb", n counting from 0 for the whole process. A name whose
    // file already exists is passed over, so a list still open elsewhere is never overwritten.
    static QString NextTempListName();
    // The last name handed out; empty before the first.
    static QString CurrentTempListName();
    // Deletes every "*.mdb" file of the temp folder (and the journals SQLite may have left beside them);
    // returns how many list files went.
    static int PurgeTempLists();

    // ---- Record writer ----

    // Appends one row to the writer's list, creating the list at the first call or on "INIT" (an INIT
    // without an address only prepares a new list). "KILL" or "CLOSE" commits and closes the list.
    // Rows go in batches of one transaction each. A first name "not_found" is written empty; the
    // address must be shorter than 255 characters, the other values are cut to 254.
    qint16 CommitTargetRecord(const QString& address, const QString& firstName, const QString& lastName,
                              const QString& keyword1, const QString& keyword2, const QString& date,
                              const QString& sent, const QString& command = {});
    // Whether the writer's list already holds the address (without regard to case).
    bool GetTargetRecord(const QString& address);
    // Commits the rows written so far and closes the list (as "KILL"; also what an interrupt does).
    void closeTarget();
    // Commits the rows written so far and keeps the list open.
    bool flush();
    // The writer's list file; empty before the first row.
    QString targetPath() const { return targetPath_; }
    // Calls made since the list was created, refused rows included.
    int recordCount() const { return count_; }
    // Called with recordCount() after every 50th call, for the building window's progress label.
    void setCounterCallback(std::function<void(int)> callback) { counterCallback_ = std::move(callback); }
    // Rows per transaction; the default suits large builds.
    void setBatchSize(int rows) { batchSize_ = rows > 0 ? rows : 1; }

    // ---- Rows without an address ----

    struct NullEntries {
        QString newListPath; // the temporary list holding the moved rows; empty when none moved
        QString caption;     // the list window's caption for it
        qint64 count = 0;    // rows moved
        bool ok = true;      // false when the rows could not be moved (the source is then unchanged)
    };
    // The label the window shows the count under.
    static QString invalidAddressesLabel() { return QStringLiteral("Number of invalid addresses:"); }
    // Moves every row whose EAddress begins with "Unknown" from the list into a new temporary list.
    static NullEntries SaveNullEntries(const QString& listPath, const QString& listName = {});

    // ---- Verification ----

    enum class VerifyStatus {
        Unchanged,  // nothing needed doing
        Repaired,   // at least one step changed the file
        Skipped,    // empty path
        NotAList,   // a database without AddressList and its key column: left alone
        Unreadable, // missing, not a database, damaged: left alone
        ReadOnly,   // needs repair but cannot be written: left alone
    };
    struct VerifyOutcome {
        VerifyStatus status = VerifyStatus::Unchanged;
        QStringList failedSteps; // steps that failed and were skipped, for the log
    };
    // Brings a list file to the list layout: drops STSLTEMP, converts columns that are not text into
    // text columns of the same name at the end, adds the missing system columns, and makes the key
    // required and never empty while every other column takes the empty text. Each step runs on its
    // own and is skipped when it fails; the whole runs in one transaction, so an interruption leaves
    // the file as it was. Problems are logged, never shown.
    static VerifyOutcome VerifyListFile(const QString& path,
                                        const QString& table = QStringLiteral("AddressList"),
                                        const QString& key = QStringLiteral("EAddress"));
    // Every "*.mdb" file of the list folder, in name order; the start-up step.
    static void VerifyListFolder();

    // ---- Registry ----

    // The ListPath of the registered list, or the empty text.
    static QString GetListPath(const QString& name);
    // The file path of a registered list: the list folder + ListPath.
    static QString registeredPath(const QString& listPath);
    // The full path of the registered list when it exists; otherwise reports "Could not locate " and
    // the path and gives the empty text. The caller opens the window.
    static QString OpenRegisteredList(const QString& name, Prompter& prompter);
    // Copies the list to the list folder as name + ".mdb" and registers it (or replaces the registered
    // list of that name after asking). Saving a list onto its own file copies nothing. True when saved.
    static bool SaveListAs(const QString& sourcePath, const QString& newName, const QString& description,
                           bool openAfterwards, Prompter& prompter);
    // Deletes what a save cut short left in the list folder: "*.mdb.saving" copies and their journals
    // that no registered list names. The number of files deleted; nothing goes when the registry cannot
    // be read. A start-up step, run under the instance lock, so no save is in progress.
    static int RemoveInterruptedSaves();
    // Answers with the caption of an open message editor whose mail merge uses the list, or the empty
    // text; the message editor installs it.
    using ListInUseQuery = std::function<QString(const QString& listName)>;
    static void setListInUseQuery(ListInUseQuery query);
    // Deletes the registered list's file and its registry row; false when nothing is registered under the
    // name or an open message uses the list.
    static bool DeleteRegisteredList(const QString& name, Prompter& prompter);

    // ---- Columns ----

    // Adds a user column (TEXT(255), accepting the empty text). Refused for an unsaved list. The caller
    // releases its view of the file before and rebinds it after. An empty name does nothing.
    static bool AddListColumn(const QString& listPath, const QString& columnName, Prompter& prompter,
                              db::DbError* error = nullptr);
    // Drops the named user columns (system columns are never dropped); the number dropped, or -1 when
    // refused for an unsaved list.
    static int RemoveListColumns(const QString& listPath, const QStringList& columnNames, Prompter& prompter);
    static bool IsSystemColumn(const QString& name);
    // Asks before columns are removed; true when the user columns may go.
    static bool ConfirmColumnRemoval(int userCount, int systemCount, Prompter& prompter);

private:
    bool openTarget();
    bool beginBatch();
    void reportCount();

    db::Database target_;
    db::Statement insert_;
    db::Statement lookup_;
    QString targetPath_;
    std::function<void(int)> counterCallback_;
    int count_ = 0;
    int pending_ = 0;
    int batchSize_ = 10000;
};
