#include "import/ImportEngine.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/Database.h"
#include "db/DbHelpers.h"
#include "db/ListSchema.h"
#include "db/SqlDialect.h"
#include "util/FileNameObject.h"
#include "util/StringFunctionsObject.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringEncoder>
#include <QTimer>
#include <sqlite3.h>

namespace importer {

// ---- Texts ----

namespace ImportText {

QString invalidFile(const QString& path) {
    return QDir::toNativeSeparators(path) +
           QStringLiteral(
               " is invalid for the current operation.  \nIt may be corrupt, the wrong type of file, "
               "password protected or empty.");
}
QString cannotRead() {
    return QStringLiteral("Tamberlyn cannot read the selected file.\n"
                          "The selected file may have no records, it may be opened exclusively "
                          "by another application, or it may be an incorrect type or corrupt.\n"
                          "Please correct the problem before trying to open the file with Tamberlyn");
}
QString noSourceFile() {
    return QStringLiteral("You must select a source file before you can continue.");
}
QString noSourceTable() {
    return QStringLiteral(
        "You must select a database with data, then select a source table before you can continue.");
}
QString noUserTables() {
    return QStringLiteral("There are no source tables available in the currently selected database. ");
}
QString noEmailField() {
    return QStringLiteral("You must select a field to represent E-Mail addresses before you can continue.\n"
                          "Drag a field name from the Field List onto a tray to the right to identify a "
                          "specific field.");
}
QString unableToImport() {
    return QStringLiteral("Unable to import the data");
}
QString noRecords() {
    return QStringLiteral("<No Records");
}
QString summaryTitle() {
    return QStringLiteral("Contact Database Import Summary");
}
QString readyToBuild() {
    return QStringLiteral(
        "You are ready to build your new list.  If you wish to interrupt the process for any "
        "reason, the program will save all the records imported so far.");
}
QString finishHint() {
    return QStringLiteral("Press the FINISH button to view your list");
}
QString exitQuestion() {
    return QStringLiteral("Are you sure you wish to exit?  Any changes you made in the wizard will be lost\n"
                          "Use the finish button to save modifications.");
}

} // namespace ImportText

// ---- Folders ----

namespace {

const QString FoldersSection = QStringLiteral("DefaultDirectories");
const QString LastFolderKey = QStringLiteral("LastUsed");

void logFailure(const char* procedure, const QString& text, int number = 0) {
    LogError(QString::fromLatin1(procedure) + QStringLiteral(" in ImportEngine"), {number, text});
}

} // namespace

QString defaultImportFolder(const SourceType& type) {
    QString folder = type.isValid() ? AppGetSetting(FoldersSection, type.code, QString()) : QString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = AppGetSetting(FoldersSection, LastFolderKey, QString());
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return folder;
}

void rememberImportFolder(const SourceType& type, const QString& filePath) {
    const QString folder = QFileInfo(filePath).absolutePath();
    if (type.isValid())
        AppSaveSetting(FoldersSection, type.code, folder);
    AppSaveSetting(FoldersSection, LastFolderKey, folder);
}

// ---- Source ----

ImportSource::ImportSource() = default;
ImportSource::~ImportSource() = default;

bool ImportSource::open(const SourceType& type, const QString& path, Prompter& prompter) {
    reader_.reset();
    type_ = type;
    path_ = path;
    if (type.family == SourceFamily::Btrieve) {
        prompter.inform(AppTitle(), btrieveUnsupportedText(), Prompter::Icon::Exclamation);
        return false;
    }
    // A FIFO or device would block the first read for ever: only regular files reach a reader.
    if (!FileNameObject::IsRegularFile(path)) {
        logFailure("OpenSourceDatabase", path + QStringLiteral(": not a regular file"));
        prompter.inform(AppTitle(), ImportText::invalidFile(path), Prompter::Icon::Exclamation);
        return false;
    }
    std::unique_ptr<SourceReader> reader = createSourceReader(type, path);
    if (!reader || !reader->open(path)) {
        logFailure("OpenSourceDatabase",
                   path + QStringLiteral(": ") +
                       (reader ? reader->errorText() : QStringLiteral("unknown source type")));
        prompter.inform(AppTitle(), ImportText::invalidFile(path), Prompter::Icon::Exclamation);
        return false;
    }
    reader_ = std::move(reader);
    return true;
}

QStringList ImportSource::tables(Prompter& prompter) const {
    const QStringList names = reader_ ? reader_->tables() : QStringList();
    if (names.isEmpty())
        prompter.inform(AppTitle(), ImportText::noUserTables(), Prompter::Icon::Exclamation);
    return names;
}

QList<SourceField> ImportSource::fields(const QString& table, Prompter& prompter) {
    const QList<SourceField> list = reader_ ? reader_->fields(table) : QList<SourceField>();
    if (list.isEmpty()) {
        logFailure("GetFieldNames",
                   path_ + QStringLiteral(": ") + (reader_ ? reader_->errorText() : QString()));
        prompter.inform(AppTitle(), ImportText::cannotRead(), Prompter::Icon::Exclamation);
    }
    return list;
}

QString ImportSource::sampleValue(const QString& table, const QString& field) {
    if (!reader_)
        return {};
    const int index = fieldIndex(reader_->fields(table), field);
    SourceRow row;
    if (index < 0 || !reader_->beginRows(table) || reader_->nextRow(row) != SourceReader::ReadResult::Row)
        return {};
    return row.value(index);
}

QList<SourceRow> ImportSource::previewRows(const QString& table, int count) {
    QList<SourceRow> rows;
    SourceRow row;
    if (!reader_ || !reader_->beginRows(table))
        return rows;
    while (rows.size() < count && reader_->nextRow(row) == SourceReader::ReadResult::Row)
        rows.append(row);
    return rows;
}

QString ImportSource::resolveTable(const QString& name) const {
    const QStringList names = reader_ ? reader_->tables() : QStringList();
    if (name.trimmed().isEmpty())
        return names.size() == 1 ? names.first() : QString();
    for (const QString& table : names)
        if (table.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return table;
    return {};
}

// ---- Page checks ----

bool checkSourceFile(const QString& path, Prompter& prompter) {
    if (!path.trimmed().isEmpty())
        return true;
    prompter.inform(AppTitle(), ImportText::noSourceFile(), Prompter::Icon::Exclamation);
    return false;
}

bool checkSourceTable(const QString& table, Prompter& prompter) {
    if (!table.trimmed().isEmpty())
        return true;
    prompter.inform(AppTitle(), ImportText::noSourceTable(), Prompter::Icon::Exclamation);
    return false;
}

bool checkFieldRoles(const FieldRoles& roles, Prompter& prompter) {
    if (!roles.email.trimmed().isEmpty())
        return true;
    prompter.inform(AppTitle(), ImportText::noEmailField(), Prompter::Icon::Exclamation);
    return false;
}

QueryBuilder::ValueKind filterValueKind(const SourceField& field) {
    if (field.kind != FieldKind::Number)
        return QueryBuilder::ValueKind::Quoted;
    static const QStringList whole = {QStringLiteral("Integer"), QStringLiteral("Long Integer"),
                                      QStringLiteral("Short"), QStringLiteral("Byte"),
                                      QStringLiteral("Autoincrement")};
    return whole.contains(field.typeName) ? QueryBuilder::ValueKind::WholeNumber
                                          : QueryBuilder::ValueKind::DecimalNumber;
}

QStringList userColumnNames(const QStringList& fieldNames) {
    QStringList columns;
    QStringList taken = ListSchema::blankListColumns();
    for (const QString& field : fieldNames) {
        QString name = field;
        if (ListSchema::isSystemColumn(name))
            name.prepend(u'_');
        QString candidate = name;
        for (int n = 2; taken.contains(candidate, Qt::CaseInsensitive); ++n)
            candidate = name + QString::number(n);
        taken.append(candidate);
        columns.append(candidate);
    }
    return columns;
}

bool recordImportSource(const QString& listName, const ImportRequest& request) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    const FieldRoles& roles = request.roles;
    if (central.isOpen() &&
        central.exec(QStringLiteral("UPDATE \"List\" SET \"EmailFieldName\" = ?1, \"FNameFieldName\" = ?2, "
                                    "\"LNameFieldName\" = ?3, \"TitleFieldName\" = ?4, \"SourcePath\" = ?5 "
                                    "WHERE \"ListName\" = ?6"),
                     {roles.email, roles.firstName, roles.lastName, roles.title,
                      QDir::toNativeSeparators(request.path), listName},
                     &error) &&
        central.changes() == 1)
        return true;
    logFailure("recordImportSource", error.text, error.number);
    return false;
}

// ---- Summary ----

void ImportSummary::note(const QString& text) {
    if (rowNotes.size() < MaxRowNotes)
        rowNotes.append(text);
    else
        ++rowNotesLeftOut;
}

QString ImportSummary::text() const {
    QStringList lines;
    if (!source.isEmpty())
        lines << QStringLiteral("Source: ") + source;
    lines << QStringLiteral("Records read: ") + QString::number(recordsRead);
    lines << QStringLiteral("Rows in the new list: ") + QString::number(rowsImported);
    lines << QStringLiteral("Rows without an e-mail address (moved to the \"(No Addresses)\" list): ") +
                 QString::number(withoutAddress);
    lines << QStringLiteral("Rows left out because their address was already in the list: ") +
                 QString::number(duplicates);
    lines << QStringLiteral("Addresses that do not look usable (imported as they stand): ") +
                 QString::number(doubtfulAddresses);
    if (otherChanges > 0)
        lines << QStringLiteral("Other rows changed: ") + QString::number(otherChanges);
    if (interrupted)
        lines << QStringLiteral("The import was interrupted; the rows imported until then were kept.");
    for (const QString& warning : warnings)
        lines << warning;
    if (!rowNotes.isEmpty()) {
        lines << QString();
        lines += rowNotes;
        if (rowNotesLeftOut > 0)
            lines << QStringLiteral("... and %1 more rows like these.").arg(rowNotesLeftOut);
    }
    return lines.join(u'\n');
}

// ---- The job ----

namespace {

QString errorTextOf(sqlite3* handle) {
    return QString::fromUtf8(sqlite3_errmsg(handle));
}

// A prepared statement on a raw handle, for the loops that write every record.
class RawStatement {
public:
    RawStatement() = default;
    ~RawStatement() { sqlite3_finalize(stmt_); }
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;

    bool prepare(sqlite3* handle, const QString& sql) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        handle_ = handle;
        const QByteArray text = sql.toUtf8();
        return sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &stmt_, nullptr) == SQLITE_OK;
    }
    // Binds texts in order (a null text as NULL), runs, and resets; the SQLite result code. With a rowid,
    // that goes first. The texts are turned into UTF-8 in buffers kept from row to row, so that binding
    // allocates nothing once the buffers have grown.
    int execute(const QList<const QString*>& values) { return execute(-1, values); }
    int execute(qint64 rowid, const QList<const QString*>& values) {
        int position = 1;
        if (rowid >= 0)
            sqlite3_bind_int64(stmt_, position++, rowid);
        if (buffers_.size() < values.size())
            buffers_.resize(values.size());
        for (qsizetype i = 0; i < values.size(); ++i) {
            const QString* value = values.at(i);
            if (!value || value->isNull()) {
                sqlite3_bind_null(stmt_, position++);
                continue;
            }
            QByteArray& buffer = buffers_[i];
            buffer.resize(value->size() * 3);
            char* end = encoder_.appendToBuffer(buffer.data(), *value);
            sqlite3_bind_text(stmt_, position++, buffer.constData(), int(end - buffer.constData()),
                              SQLITE_STATIC);
        }
        const int rc = sqlite3_step(stmt_);
        sqlite3_reset(stmt_);
        return rc;
    }
    void finalize() {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
    sqlite3_stmt* handle() const { return stmt_; }
    QString errorText() const { return handle_ ? errorTextOf(handle_) : QString(); }

private:
    sqlite3* handle_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
    QStringEncoder encoder_{QStringConverter::Utf8};
    QList<QByteArray> buffers_;
};

bool execRaw(sqlite3* handle, const char* sql) {
    return sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// True for the everyday address (letters, digits and . _ % + - ' in two parts around one @, a dot after it,
// no two dots in a row, no dot next to the @ or at the end), which IsValidEmailAddress always accepts; the
// rest go to IsValidEmailAddress itself. Saves its many scans on the common case of a large import.
bool isPlainAddress(const QString& text) {
    qsizetype at = -1;
    bool dotAfterAt = false;
    char16_t previous = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'@') {
            if (at >= 0 || i == 0 || previous == u'.')
                return false;
            at = i;
        } else if (c == u'.') {
            if (previous == u'.' || previous == u'@')
                return false;
            dotAfterAt = dotAfterAt || at >= 0;
        } else if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                     c == u'_' || c == u'-' || c == u'+' || c == u'%' || c == u'\'')) {
            return false;
        }
        previous = c;
    }
    return at > 0 && dotAfterAt && previous != u'.';
}

bool isAscii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

QString placeholderFor(qint64 record) {
    return QStringLiteral("Unknown (record %1)").arg(record);
}

constexpr int RowsPerTransaction = 10000;
// The time one slice of the job on the event loop may take.
constexpr qint64 SliceMs = 10;
int stageCounter = 0;

} // namespace

class ImportJob::Work {
public:
    ImportSource source;
    QString table;
    QList<SourceField> fields;
    // The source fields that feed the list, in the order of the insert statement's columns.
    QList<int> feedFields;
    int emailField = -1;

    // The filter: every record goes into a staging table first, then comes back through the filter.
    QString stagePath;
    db::Database stage;
    RawStatement stageInsert;
    QString recordColumn;
    std::optional<db::Statement> filtered;
    qint64 staged = 0;

    db::Database target;
    RawStatement insert;
    qint64 pendingRows = 0;

    QHash<QString, qint64> foldedAddresses; // addresses beyond ASCII, case-folded -> record that brought them
    RawStatement findAddress;
    qint64 record = 0; // records read from the source (the record number)
    SourceRow row;
    QList<const QString*> values;

    // The record whose row holds the address (compared as the list's key compares); 0 when none.
    qint64 firstRecordWith(const QString& address) {
        sqlite3_stmt* stmt = findAddress.handle();
        if (!stmt)
            return 0;
        sqlite3_bind_text16(stmt, 1, address.utf16(), int(address.size() * 2), SQLITE_STATIC);
        const qint64 found = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
        sqlite3_reset(stmt);
        return found;
    }

    ~Work() {
        stageInsert.finalize();
        findAddress.finalize();
        filtered.reset();
        stage.close();
        if (!stagePath.isEmpty())
            QFile::remove(stagePath);
    }
};

ImportJob::ImportJob(ImportRequest request, Prompter& prompter, QObject* parent)
    : QObject(parent), request_(std::move(request)), prompter_(prompter) {}

ImportJob::~ImportJob() {
    // Destroyed while running: keep what was written, as an interrupt would.
    if (work_ && work_->target.isOpen()) {
        interruptRequested_ = true;
        complete();
    }
}

void ImportJob::discard() {
    if (work_)
        abandon(QString());
}

void ImportJob::announceFinished() {
    if (finishedAnnounced_)
        return;
    finishedAnnounced_ = true;
    Q_EMIT finished();
}

void ImportJob::abandon(const QString& message) {
    if (work_) {
        const QString path = work_->target.fileName();
        work_->insert.finalize();
        work_->findAddress.finalize();
        work_->target.close();
        if (!path.isEmpty())
            QFile::remove(path);
        work_.reset();
    }
    result_.listPath = QStringLiteral("<Error:");
    phase_ = Phase::Done;
    if (!message.isEmpty())
        prompter_.inform(AppTitle(), message, Prompter::Icon::Exclamation);
    announceFinished();
}

bool ImportJob::prepare() {
    result_ = {};
    interruptRequested_ = false;
    finishedAnnounced_ = false;
    work_ = std::make_unique<Work>();
    Work& w = *work_;
    // Each check shows its own message; abandon() then only ends the job.
    if (!w.source.open(request_.type, request_.path, prompter_)) {
        abandon(QString());
        return false;
    }
    w.table = w.source.resolveTable(request_.table);
    if (w.table.isEmpty()) {
        if (w.source.tables(prompter_).isEmpty())
            abandon(QString());
        else
            abandon(ImportText::noSourceTable());
        return false;
    }
    w.fields = w.source.fields(w.table, prompter_);
    if (w.fields.isEmpty() || !checkFieldRoles(request_.roles, prompter_)) {
        abandon(QString());
        return false;
    }
    result_.summary.source =
        QDir::toNativeSeparators(request_.path) + QStringLiteral(" (table ") + w.table + u')';

    // The mapped fields must exist in the table.
    const FieldRoles& roles = request_.roles;
    QStringList missing;
    const auto indexOf = [&](const QString& name) {
        if (name.trimmed().isEmpty())
            return -1;
        const int index = fieldIndex(w.fields, name.trimmed());
        if (index < 0)
            missing << name.trimmed();
        return index;
    };
    w.emailField = indexOf(roles.email);
    const int first = indexOf(roles.firstName);
    const int last = indexOf(roles.lastName);
    const int title = indexOf(roles.title);
    QList<int> kept;
    QStringList keptNames;
    for (const QString& name : roles.keep) {
        const int index = indexOf(name);
        if (index >= 0 && !kept.contains(index)) {
            kept << index;
            keptNames << w.fields.at(index).name;
        }
    }
    if (!missing.isEmpty()) {
        abandon(QStringLiteral("The table %1 has no field named %2.")
                    .arg(w.table, missing.join(QStringLiteral(", "))));
        return false;
    }

    // A filter that cannot be translated is refused before anything is read.
    if (!request_.filter.trimmed().isEmpty()) {
        QString message;
        if (!db::translateWhereClause(request_.filter, &message)) {
            abandon(QStringLiteral("The filter cannot be used: ") + message);
            return false;
        }
    }

    // The new list: the system columns and one text column per kept field.
    db::DbError error;
    w.target = DataTank::CreateTargetDatabase(true, &error);
    if (!w.target.isOpen()) {
        logFailure("CreateTargetDatabase", error.text, error.number);
        abandon(ImportText::unableToImport());
        return false;
    }
    // A list being built is a temporary file: no need to wait for the disk, and room for its key's index.
    execRaw(w.target.handle(), "PRAGMA synchronous=OFF");
    execRaw(w.target.handle(), "PRAGMA journal_mode=MEMORY");
    execRaw(w.target.handle(), "PRAGMA cache_size=-65536");
    QStringList columns = {QStringLiteral("EAddress"), QStringLiteral("FirstName"),
                           QStringLiteral("LastName"), QStringLiteral("Title")};
    w.feedFields = {w.emailField, first, last, title};
    const QStringList userColumns = userColumnNames(keptNames);
    for (qsizetype i = 0; i < userColumns.size(); ++i) {
        if (!w.target.exec(ListSchema::addColumnSql(ListSchema::table(), userColumns.at(i)), {}, &error)) {
            logFailure("CreateTargetFields", error.text, error.number);
            abandon(ImportText::unableToImport());
            return false;
        }
        columns << userColumns.at(i);
        w.feedFields << kept.at(i);
    }
    // The rowid is the record's number, so that a repeated address can name the record it repeats.
    QStringList quoted = {QStringLiteral("rowid")};
    QStringList marks = {QStringLiteral("?")};
    for (const QString& column : columns) {
        quoted << db::quoteName(column);
        marks << QStringLiteral("?");
    }
    if (!w.findAddress.prepare(w.target.handle(),
                               QStringLiteral("SELECT rowid FROM ") + db::quoteName(ListSchema::table()) +
                                   QStringLiteral(" WHERE ") + db::quoteName(ListSchema::keyColumn()) +
                                   QStringLiteral(" = ?1")) ||
        !w.insert.prepare(w.target.handle(), QStringLiteral("INSERT INTO ") +
                                                 db::quoteName(ListSchema::table()) + QStringLiteral(" (") +
                                                 quoted.join(u',') + QStringLiteral(") VALUES (") +
                                                 marks.join(u',') + u')') ||
        !execRaw(w.target.handle(), "BEGIN")) {
        logFailure("CopyRecords", errorTextOf(w.target.handle()));
        abandon(ImportText::unableToImport());
        return false;
    }

    if (!w.source.reader()->beginRows(w.table)) {
        logFailure("CopyRecords", w.source.reader()->errorText());
        abandon(ImportText::cannotRead());
        return false;
    }
    if (request_.filter.trimmed().isEmpty()) {
        phase_ = Phase::Copying;
        return true;
    }

    // Staging: the source's records in a table of their own, numbers as numbers so that a filter compares
    // them as the source would.
    w.stagePath =
        appFolders().TempFolder +
        QStringLiteral("ImportSource%1-%2.db").arg(QCoreApplication::applicationPid()).arg(++stageCounter);
    QFile::remove(w.stagePath);
    w.stage = db::Database::create(w.stagePath, &error);
    // The first column numbers the records as they were read, under a name no field has.
    QStringList names;
    for (const SourceField& field : std::as_const(w.fields))
        names << field.name;
    w.recordColumn = QStringLiteral("Record");
    for (int n = 2; names.contains(w.recordColumn, Qt::CaseInsensitive); ++n)
        w.recordColumn = QStringLiteral("Record") + QString::number(n);
    QStringList definitions = {db::quoteName(w.recordColumn) + QStringLiteral(" INTEGER PRIMARY KEY")};
    QStringList stageMarks = {QStringLiteral("?")};
    for (const SourceField& field : std::as_const(w.fields)) {
        definitions << db::quoteName(field.name) + (field.kind == FieldKind::Number
                                                        ? QStringLiteral(" NUMERIC")
                                                        : QStringLiteral(" TEXT COLLATE NOCASE"));
        stageMarks << QStringLiteral("?");
    }
    if (!w.stage.isOpen() ||
        !w.stage.exec(QStringLiteral("CREATE TABLE \"Source\" (") + definitions.join(QStringLiteral(", ")) +
                          u')',
                      {}, &error) ||
        !execRaw(w.stage.handle(), "PRAGMA journal_mode=OFF") ||
        !execRaw(w.stage.handle(), "PRAGMA synchronous=OFF") ||
        !w.stageInsert.prepare(w.stage.handle(), QStringLiteral("INSERT INTO \"Source\" VALUES (") +
                                                     stageMarks.join(u',') + u')') ||
        !execRaw(w.stage.handle(), "BEGIN")) {
        logFailure("StageSource",
                   error.text.isEmpty() && w.stage.isOpen() ? errorTextOf(w.stage.handle()) : error.text);
        abandon(ImportText::unableToImport());
        return false;
    }
    phase_ = Phase::Staging;
    return true;
}

bool ImportJob::step(int budget) {
    if (phase_ == Phase::Done || !work_)
        return false;
    Work& w = *work_;

    if (phase_ == Phase::Staging) {
        QList<const QString*> values;
        for (int done = 0; done < budget; ++done) {
            if (interruptRequested_)
                break;
            const SourceReader::ReadResult read = w.source.reader()->nextRow(w.row);
            if (read == SourceReader::ReadResult::Failed) {
                logFailure("StageSource", w.source.reader()->errorText());
                abandon(ImportText::cannotRead());
                return false;
            }
            if (read == SourceReader::ReadResult::End)
                return endStaging();
            values.clear();
            for (const QString& value : std::as_const(w.row))
                values << &value;
            const int rc = w.stageInsert.execute(w.staged + 1, values);
            if (rc != SQLITE_DONE) {
                logFailure("StageSource", w.stageInsert.errorText(), rc);
                abandon(ImportText::unableToImport());
                return false;
            }
            ++w.staged;
        }
        Q_EMIT counterUpdate(w.staged);
        Q_EMIT progress(Stage::Reading, w.staged, w.source.reader()->rowCountHint());
        if (interruptRequested_) {
            // The records read so far still go into the list, through the filter; the stop is kept.
            interruptRequested_ = false;
            result_.summary.interrupted = true;
            return endStaging();
        }
        return true;
    }

    // Copying.
    QString address;
    for (int done = 0; done < budget; ++done) {
        if (interruptRequested_) {
            result_.summary.interrupted = true;
            break;
        }
        if (w.filtered) {
            if (!w.filtered->next()) {
                if (w.filtered->error().isError()) {
                    logFailure("CopyRecords", w.filtered->error().text, w.filtered->error().number);
                    abandon(ImportText::unableToImport());
                    return false;
                }
                complete();
                return false;
            }
            w.record = w.filtered->value(0).toLongLong() - 1;
            w.row.resize(w.fields.size());
            for (qsizetype i = 0; i < w.fields.size(); ++i)
                w.row[i] = w.filtered->value(int(i) + 1).isNull() ? QString() : w.filtered->text(int(i) + 1);
        } else {
            const SourceReader::ReadResult read = w.source.reader()->nextRow(w.row);
            if (read == SourceReader::ReadResult::Failed) {
                logFailure("CopyRecords", w.source.reader()->errorText());
                abandon(ImportText::cannotRead());
                return false;
            }
            if (read == SourceReader::ReadResult::End) {
                complete();
                return false;
            }
        }
        // Records are numbered as they were read (the staging table keeps that order).
        const qint64 recordNumber = ++w.record;
        ++result_.summary.recordsRead;
        if (!copyRecord(recordNumber, address))
            return false;
    }
    Q_EMIT counterUpdate(result_.summary.recordsRead);
    Q_EMIT progress(Stage::Copying, w.record, w.filtered ? w.staged : w.source.reader()->rowCountHint());
    if (interruptRequested_) {
        result_.summary.interrupted = true;
        complete();
        return false;
    }
    return true;
}

bool ImportJob::endStaging() {
    Work& w = *work_;
    if (!execRaw(w.stage.handle(), "COMMIT")) {
        logFailure("StageSource", errorTextOf(w.stage.handle()));
        abandon(ImportText::unableToImport());
        return false;
    }
    db::DbError error;
    QStringList columns = {db::quoteName(w.recordColumn)};
    for (const SourceField& field : std::as_const(w.fields))
        columns << db::quoteName(field.name);
    w.filtered = db::selectWhere(w.stage, QStringLiteral("Source"), columns.join(u','), request_.filter,
                                 db::quoteName(w.recordColumn), &error);
    if (!w.filtered) {
        abandon(QStringLiteral("The filter cannot be used: ") + error.text);
        return false;
    }
    phase_ = Phase::Copying;
    return true;
}

// One record into the list: its address (or a placeholder), the mapped fields; a repeated address is left
// out. False when the list cannot be written (the job is then abandoned).
bool ImportJob::copyRecord(qint64 recordNumber, QString& address) {
    Work& w = *work_;
    const auto prefix = [recordNumber] {
        return QStringLiteral("Record %1: ").arg(recordNumber);
    };
    const QString& raw = w.row.at(w.emailField);
    address = raw.trimmed();
    const bool usePlaceholder = address.isEmpty();
    if (usePlaceholder) {
        address = placeholderFor(recordNumber);
    } else if (!isAscii(address)) {
        // The list's key ignores the case of ASCII letters only; other letters are compared here.
        const QString folded = address.toCaseFolded();
        const auto seen = w.foldedAddresses.constFind(folded);
        if (seen != w.foldedAddresses.constEnd()) {
            ++result_.summary.duplicates;
            result_.summary.note(
                prefix() + QStringLiteral("left out: the address %1 is already in the list (record %2).")
                               .arg(StringFunctionsObject::visibleControlCharacters(address))
                               .arg(seen.value()));
            return true;
        }
        w.foldedAddresses.insert(folded, recordNumber);
    }

    for (int attempt = 2;; ++attempt) {
        w.values.clear();
        for (const int field : std::as_const(w.feedFields))
            w.values << (field < 0 ? nullptr : (field == w.emailField ? &address : &w.row.at(field)));
        const int rc = w.insert.execute(recordNumber, w.values);
        if (rc == SQLITE_DONE)
            break;
        if ((rc & 0xff) != SQLITE_CONSTRAINT) {
            logFailure("CopyRecords", w.insert.errorText(), rc);
            abandon(ImportText::unableToImport());
            return false;
        }
        if (usePlaceholder) {
            // A source that holds this very placeholder as an address: number it on.
            address = placeholderFor(recordNumber) + QStringLiteral(" #") + QString::number(attempt);
            continue;
        }
        // The address is in the list already: the row that brought it has the record's number as rowid.
        const qint64 first = w.firstRecordWith(address);
        ++result_.summary.duplicates;
        result_.summary.note(prefix() +
                             QStringLiteral("left out: the address %1 is already in the list (record %2).")
                                 .arg(StringFunctionsObject::visibleControlCharacters(address))
                                 .arg(first));
        return true;
    }
    ++result_.summary.rowsImported;

    if (usePlaceholder) {
        ++result_.summary.withoutAddress;
        result_.summary.note(prefix() +
                             QStringLiteral("no e-mail address; imported as \"%1\" and moved to the "
                                            "\"(No Addresses)\" list.")
                                 .arg(StringFunctionsObject::visibleControlCharacters(address)));
    } else {
        if (address.size() != raw.size()) {
            ++result_.summary.otherChanges;
            result_.summary.note(prefix() +
                                 QStringLiteral("the blanks around the address %1 were removed.")
                                     .arg(StringFunctionsObject::visibleControlCharacters(address)));
        }
        if (address.startsWith(QLatin1String("unknown"), Qt::CaseInsensitive)) {
            ++result_.summary.otherChanges;
            result_.summary.note(prefix() +
                                 QStringLiteral("the address %1 begins with \"Unknown\", so it was moved "
                                                "to the \"(No Addresses)\" list with the rows "
                                                "without an address.")
                                     .arg(StringFunctionsObject::visibleControlCharacters(address)));
        } else if (!isPlainAddress(address) && !IsValidEmailAddress(address)) {
            ++result_.summary.doubtfulAddresses;
            result_.summary.note(prefix() +
                                 QStringLiteral("the address %1 does not look like a usable e-mail "
                                                "address; it was imported as it stands.")
                                     .arg(StringFunctionsObject::visibleControlCharacters(address)));
        }
    }

    if (++w.pendingRows >= RowsPerTransaction) {
        w.pendingRows = 0;
        if (!execRaw(w.target.handle(), "COMMIT") || !execRaw(w.target.handle(), "BEGIN")) {
            logFailure("CopyRecords", errorTextOf(w.target.handle()));
            abandon(ImportText::unableToImport());
            return false;
        }
    }
    return true;
}

void ImportJob::complete() {
    Work& w = *work_;
    const QString path = w.target.fileName();
    const bool committed = execRaw(w.target.handle(), "COMMIT");
    const QString commitError = committed ? QString() : errorTextOf(w.target.handle());
    w.insert.finalize();
    w.findAddress.finalize();
    w.target.close();
    result_.summary.warnings = w.source.reader()->warnings();
    const bool interrupted = interruptRequested_;
    work_.reset();
    phase_ = Phase::Done;
    if (!committed) {
        logFailure("CopyRecords", commitError);
        QFile::remove(path);
        result_.listPath = QStringLiteral("<Error:");
        prompter_.inform(AppTitle(), ImportText::unableToImport(), Prompter::Icon::Exclamation);
        announceFinished();
        return;
    }
    if (result_.summary.recordsRead == 0) {
        QFile::remove(path);
        result_.listPath = interrupted ? QStringLiteral("<Cancel") : ImportText::noRecords();
        announceFinished();
        return;
    }
    result_.listPath = path;
    result_.nullEntries = DataTank::SaveNullEntries(path, request_.listName);
    if (result_.nullEntries.ok)
        result_.summary.rowsImported -= result_.nullEntries.count;
    announceFinished();
}

ImportResult ImportJob::run() {
    // A few thousand records a step, so that the progress is reported as the import goes.
    if (prepare())
        while (step(4096)) {
        }
    if (phase_ == Phase::Done && result_.listPath.isEmpty())
        result_.listPath = QStringLiteral("<Error:");
    return result_;
}

void ImportJob::start() {
    if (prepare())
        scheduleSlice();
}

void ImportJob::scheduleSlice() {
    QTimer::singleShot(0, this, [this] {
        // Steps until a slice of time is used: the window keeps its pace, and the loop's own costs stay
        // small beside the copy.
        QElapsedTimer slice;
        slice.start();
        while (step(sliceSize_)) {
            if (slice.elapsed() >= SliceMs) {
                scheduleSlice();
                return;
            }
        }
    });
}

} // namespace importer
