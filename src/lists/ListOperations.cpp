#include "lists/ListOperations.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/DataTank.h"
#include "db/ListEvents.h"
#include "db/ListSchema.h"
#include "db/SqlDialect.h"
#include "db/TypeMapping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <sqlite3.h>

namespace {

qsizetype indexOfName(const QStringList& names, const QString& name) {
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString quotedList(const QStringList& names) {
    QStringList quoted;
    quoted.reserve(names.size());
    for (const QString& name : names)
        quoted << db::quoteName(name);
    return quoted.join(u',');
}

bool isKeyColumn(const QString& name) {
    return name.compare(ListSchema::keyColumn(), Qt::CaseInsensitive) == 0;
}

} // namespace

namespace ListOperations {

QString errorResult(const QString& description) {
    return description.isEmpty() ? QStringLiteral("<Error:") : QStringLiteral("<Error: ") + description;
}

QString cancelResult() {
    return QStringLiteral("<Cancel");
}

QString noRecordsResult() {
    return QStringLiteral("<No Records");
}

bool isError(const QString& result) {
    return result.startsWith(QLatin1String("<Error:"));
}

QString errorDescription(const QString& result) {
    return isError(result) ? result.mid(7).trimmed() : QString();
}

bool isPath(const QString& result) {
    return !result.isEmpty() && !isError(result) && result != cancelResult() && result != noRecordsResult();
}

UnionColumns unionColumns(const QStringList& firstColumns, const QStringList& secondColumns) {
    UnionColumns result;
    const auto kept = [](const QString& name) {
        return !name.contains(QLatin1String("MSys"));
    };
    for (const QString& name : firstColumns) {
        if (!kept(name) || indexOfName(result.columns, name) >= 0)
            continue;
        result.columns << name;
        result.firstSource << name;
    }
    for (const QString& name : secondColumns) {
        if (!kept(name) || indexOfName(result.secondSource, name) >= 0)
            continue;
        const qsizetype at = indexOfName(result.columns, name);
        if (at < 0)
            result.columns << name;
        result.secondSource << name;
        result.secondTarget << (at < 0 ? name : result.columns.at(at));
    }
    return result;
}

QStringList resultFilePragmas() {
    return {QStringLiteral("PRAGMA main.journal_mode=OFF"), QStringLiteral("PRAGMA main.synchronous=OFF"),
            QStringLiteral("PRAGMA main.cache_size=-65536")};
}

QString createResultTableSql(Operation operation, const UnionColumns& columns) {
    const bool keyed = operation != Operation::Clean;
    QStringList parts;
    for (const QString& name : columns.columns)
        parts << ListSchema::columnDefinition(name, ListSchema::columnType(), keyed && isKeyColumn(name));
    if (keyed)
        parts << QStringLiteral("CONSTRAINT ") + db::quoteName(ListSchema::keyConstraint()) +
                     QStringLiteral(" PRIMARY KEY (") + db::quoteName(ListSchema::keyColumn()) + u')';
    return QStringLiteral("CREATE TABLE ") + db::quoteName(ListSchema::table()) + QStringLiteral(" (") +
           parts.join(QStringLiteral(", ")) + u')';
}

QStringList fillStatements(Operation operation, const UnionColumns& columns, const QString& firstAlias,
                           const QString& secondAlias, const QString& rowCounter) {
    const QString table = db::quoteName(ListSchema::table());
    const QString key = db::quoteName(ListSchema::keyColumn());
    const QString target = QStringLiteral("main.") + table;
    const QString first = db::quoteName(firstAlias) + u'.' + table;
    const QString second = db::quoteName(secondAlias) + u'.' + table;
    const QString firstList = quotedList(columns.firstSource);
    // The keys compare without regard to case whatever collation the source files declare, and the
    // second list's key index serves the look-up.
    const QString inSecond = QStringLiteral("EXISTS (SELECT 1 FROM ") + second +
                             QStringLiteral(" AS d WHERE d.") + key + QStringLiteral(" = a.") + key +
                             QStringLiteral(" COLLATE NOCASE)");
    // The counter comes first in the condition, so that it sees every row read.
    const QString counted =
        rowCounter.isEmpty() ? QString() : db::quoteName(rowCounter) + QStringLiteral("()");
    const QString everyRow = counted.isEmpty() ? QString() : QStringLiteral(" WHERE ") + counted;
    const QString rowAnd = counted.isEmpty() ? QString() : counted + QStringLiteral(" AND ");
    switch (operation) {
    case Operation::Merge:
        // The key refuses the second list's rows for addresses already there: the first list's row wins.
        return {QStringLiteral("INSERT OR IGNORE INTO ") + target + QStringLiteral(" (") + firstList +
                    QStringLiteral(") SELECT ") + firstList + QStringLiteral(" FROM ") + first + everyRow,
                QStringLiteral("INSERT OR IGNORE INTO ") + target + QStringLiteral(" (") +
                    quotedList(columns.secondTarget) + QStringLiteral(") SELECT ") +
                    quotedList(columns.secondSource) + QStringLiteral(" FROM ") + second + everyRow};
    case Operation::Clean:
        return {QStringLiteral("INSERT INTO ") + target + QStringLiteral(" (") + firstList +
                QStringLiteral(") SELECT ") + firstList + QStringLiteral(" FROM ") + first +
                QStringLiteral(" AS a WHERE ") + rowAnd + QStringLiteral("NOT ") + inSecond +
                QStringLiteral(" ORDER BY a.") + key + QStringLiteral(" COLLATE NOCASE")};
    case Operation::Duplicates:
        return {QStringLiteral("INSERT OR IGNORE INTO ") + target + QStringLiteral(" (") + firstList +
                QStringLiteral(") SELECT ") + firstList + QStringLiteral(" FROM ") + first +
                QStringLiteral(" AS a WHERE ") + rowAnd + inSecond};
    }
    return {};
}

} // namespace ListOperations

// ---- The builders ----

namespace {

using ListOperations::Operation;

const QString Module = QStringLiteral(" in DataTank");
const QString FirstAlias = QStringLiteral("FirstList");
const QString SecondAlias = QStringLiteral("SecondList");

void logFailure(const QString& procedure, const db::DbError& error) {
    LogError(procedure + Module, {error.number, error.text});
}

bool makeScratch(db::Database& database, db::DbError* error) {
    for (const QString& pragma : ListOperations::resultFilePragmas())
        if (!database.exec(pragma, {}, error))
            return false;
    return true;
}

void discard(db::Database& database) {
    const QString path = database.fileName();
    database.close();
    if (!path.isEmpty())
        QFile::remove(path);
}

bool holdsRows(const db::Database& database, db::DbError* error = nullptr) {
    const std::optional<QVariant> any = database.scalar(
        QStringLiteral("SELECT 1 FROM ") + db::quoteName(ListSchema::table()) + QStringLiteral(" WHERE ") +
            db::quoteName(ListSchema::keyColumn()) + QStringLiteral(" IS NOT NULL LIMIT 1"),
        {}, error);
    return any.has_value();
}

// A source list as the common steps find it.
struct Source {
    enum State { Ready, Unreadable, NotAList, Empty } state = Unreadable;
    QStringList columns;
};

Source inspectSource(const QString& path, bool mustBeList) {
    Source source;
    const db::Database database = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    if (!database.isOpen())
        return source;
    if (mustBeList && !DataTank::IsTamberlynDB(database)) {
        source.state = Source::NotAList;
        return source;
    }
    // A file without the table (only possible here when the list check is skipped) counts as empty.
    if (!holdsRows(database)) {
        source.state = Source::Empty;
        return source;
    }
    for (const db::ColumnInfo& column : database.columns(ListSchema::table()))
        source.columns << column.name;
    source.state = Source::Ready;
    return source;
}

// The texts and rules of one of merge, clean and duplicates.
struct OperationTexts {
    QString procedure;
    bool mustBeList = true;
    bool showsOpenFailure = true; // duplicates returns its open failures instead
    QString notAList;
    QString empty;
    QString creationTitle;
    QString creationFailure; // shown; empty when the failure is returned instead
    QString progress;
};

OperationTexts textsFor(Operation operation) {
    OperationTexts texts;
    switch (operation) {
    case Operation::Merge:
        texts.procedure = QStringLiteral("gMergeLists");
        texts.notAList =
            QStringLiteral("Both elements of a Merge action must be valid Tamberlyn address lists");
        texts.empty = QStringLiteral("Both elements of a Merge operation must contain records.");
        texts.creationTitle = AppTitle() + QStringLiteral(" Error");
        texts.creationFailure = QStringLiteral("Error creating temporary merge file");
        texts.progress = QStringLiteral("Merging...");
        break;
    case Operation::Clean:
        texts.procedure = QStringLiteral("gCleanList");
        texts.notAList = QStringLiteral(
            "Both elements of a Clean action must be valid Tamberlyn address lists with records");
        texts.empty = texts.notAList;
        texts.creationTitle = AppTitle();
        texts.creationFailure = QStringLiteral("Unable to create target database");
        texts.progress = QStringLiteral("Scrubbing...");
        break;
    case Operation::Duplicates:
        texts.procedure = QStringLiteral("gFindDuplicates");
        texts.mustBeList = false;
        texts.showsOpenFailure = false;
        texts.empty = QStringLiteral(
            "Both elements of a Find Duplicates action must be valid Tamberlyn address lists with records");
        break;
    }
    return texts;
}

// The answer for a source that is not ready, after its message.
QString refuseSource(const Source& source, const QString& path, const OperationTexts& texts,
                     Prompter& prompter) {
    switch (source.state) {
    case Source::Unreadable:
        if (!texts.showsOpenFailure)
            return ListOperations::errorResult(QStringLiteral("Unable to open ") + path +
                                               QStringLiteral(" for input"));
        prompter.inform(AppTitle(), QStringLiteral("Error opening ") + path, Prompter::Icon::Exclamation);
        return ListOperations::errorResult();
    case Source::NotAList:
        prompter.inform(AppTitle(), texts.notAList, Prompter::Icon::Exclamation);
        return ListOperations::errorResult();
    case Source::Empty:
        prompter.inform(AppTitle(), texts.empty, Prompter::Icon::Exclamation);
        return ListOperations::cancelResult();
    case Source::Ready:
        break;
    }
    return {};
}

// Counts the source rows the fill statements read, as the SQL function RowCounter, and tells the
// progress every few thousand rows.
class RowTally {
public:
    static constexpr const char* Function = "RowCounter";

    RowTally(const ListOperations::RowProgress& progress, qint64 total)
        : progress_(progress), total_(total) {}

    bool install(sqlite3* handle) {
        return sqlite3_create_function_v2(handle, Function, 0, SQLITE_UTF8, this, &RowTally::count, nullptr,
                                          nullptr, nullptr) == SQLITE_OK;
    }
    void report() const { progress_(done_, total_); }

private:
    static void count(sqlite3_context* context, int, sqlite3_value**) {
        auto* tally = static_cast<RowTally*>(sqlite3_user_data(context));
        if (++tally->done_ % 4096 == 0)
            tally->report();
        sqlite3_result_int(context, 1);
    }

    const ListOperations::RowProgress& progress_;
    qint64 total_;
    qint64 done_ = 0;
};

// The rows of the sources' tables that the operation reads: both lists for a merge, else the first.
qint64 rowsToRead(const db::Database& result, Operation operation) {
    qint64 rows = 0;
    for (const QString& alias : {FirstAlias, SecondAlias}) {
        if (alias == SecondAlias && operation != Operation::Merge)
            break;
        rows += result
                    .scalar(QStringLiteral("SELECT count(*) FROM ") + db::quoteName(alias) + u'.' +
                            db::quoteName(ListSchema::table()))
                    .value_or(QVariant(0))
                    .toLongLong();
    }
    return rows;
}

QString runOperation(Operation operation, const QString& firstPath, const QString& secondPath,
                     Prompter& prompter, const ListOperations::RowProgress& progress) {
    const OperationTexts texts = textsFor(operation);
    const Source first = inspectSource(firstPath, texts.mustBeList);
    if (first.state != Source::Ready)
        return refuseSource(first, firstPath, texts, prompter);

    db::DbError error;
    db::Database result = DataTank::CreateTargetDatabase(false, &error);
    if (!result.isOpen() || !makeScratch(result, &error)) {
        logFailure(texts.procedure, error);
        discard(result);
        if (texts.creationFailure.isEmpty())
            return ListOperations::errorResult(QStringLiteral("Unable to open target database for output"));
        prompter.inform(texts.creationTitle, texts.creationFailure, Prompter::Icon::Critical);
        return ListOperations::errorResult();
    }
    if (!texts.progress.isEmpty())
        Q_EMIT ListEvents::instance().statusMessage(texts.progress);

    const Source second = inspectSource(secondPath, texts.mustBeList);
    if (second.state != Source::Ready) {
        discard(result);
        return refuseSource(second, secondPath, texts, prompter);
    }

    const ListOperations::UnionColumns columns = ListOperations::unionColumns(first.columns, second.columns);
    bool done =
        result.attach(firstPath, FirstAlias, &error) && result.attach(secondPath, SecondAlias, &error);
    // The sources are read through a memory map: a look-up of every address jumps about the other list's
    // key index, and a page read through the map costs no call into the system as a page read by
    // read() does. The sources are only read, and the statements hold their read locks throughout.
    for (const QString& alias : {FirstAlias, SecondAlias})
        done = done && result.exec(QStringLiteral("PRAGMA ") + db::quoteName(alias) +
                                       QStringLiteral(".mmap_size=1073741824"),
                                   {}, &error);
    std::optional<RowTally> tally;
    if (done && progress) {
        // Without the function the operation runs as well, only without its progress.
        tally.emplace(progress, rowsToRead(result, operation));
        if (tally->install(result.handle()))
            tally->report();
        else
            tally.reset();
    }
    if (done) {
        // A deferred transaction: the sources get read locks only, never the write lock an immediate one
        // would take on every attached file.
        done = result.exec(QStringLiteral("BEGIN"), {}, &error) &&
               result.exec(ListOperations::createResultTableSql(operation, columns), {}, &error);
        for (const QString& statement :
             ListOperations::fillStatements(operation, columns, FirstAlias, SecondAlias,
                                            tally ? QString::fromLatin1(RowTally::Function) : QString()))
            done = done && result.exec(statement, {}, &error);
        done = done && result.exec(QStringLiteral("COMMIT"), {}, &error);
        if (!done)
            result.rollback();
        else if (tally)
            tally->report();
    }
    result.detach(FirstAlias);
    result.detach(SecondAlias);
    const bool empty = done && !holdsRows(result, &error);
    if (!done || error.isError()) {
        logFailure(texts.procedure, error);
        discard(result);
        return ListOperations::errorResult(error.text);
    }
    if (empty) {
        discard(result);
        return ListOperations::noRecordsResult();
    }
    const QString path = result.fileName();
    result.close();
    return path;
}

// Whether the list's key column is kept unique by its primary key or a unique index of its own.
bool hasUniqueKey(const db::Database& database) {
    const std::optional<db::ColumnInfo> key = database.column(ListSchema::table(), ListSchema::keyColumn());
    if (key && key->primaryKey)
        return true;
    const std::optional<QVariant> found =
        database.scalar(QStringLiteral("SELECT 1 FROM pragma_index_list(?1) AS l WHERE l.\"unique\" AND "
                                       "(SELECT count(*) FROM pragma_index_info(l.name)) = 1 AND "
                                       "(SELECT name FROM pragma_index_info(l.name)) = ?2 COLLATE NOCASE"),
                        {ListSchema::table(), ListSchema::keyColumn()});
    return found.has_value();
}

// CREATE TABLE for a filter's output: the list's own columns and types, and its key when it has one.
QString filterTableSql(const db::Database& source, const QList<db::ColumnInfo>& columns) {
    const bool keyed = hasUniqueKey(source);
    QStringList parts;
    for (const db::ColumnInfo& column : columns) {
        const QString declared = column.declaredType.isEmpty() ? QStringLiteral("TEXT") : column.declaredType;
        const QString type =
            db::isTextType(declared) ? declared + QStringLiteral(" COLLATE NOCASE") : declared;
        parts << ListSchema::columnDefinition(column.name, type, isKeyColumn(column.name) && column.required);
    }
    if (keyed)
        parts << QStringLiteral("CONSTRAINT ") + db::quoteName(ListSchema::keyConstraint()) +
                     QStringLiteral(" PRIMARY KEY (") + db::quoteName(ListSchema::keyColumn()) + u')';
    return QStringLiteral("CREATE TABLE ") + db::quoteName(ListSchema::table()) + QStringLiteral(" (") +
           parts.join(QStringLiteral(", ")) + u')';
}

// Copies the rows the query yields into the output's table; the number copied, or -1.
qint64 copyRows(db::Statement& rows, db::Database& output, const QList<db::ColumnInfo>& columns,
                db::DbError* error) {
    QStringList names;
    QStringList marks;
    for (const db::ColumnInfo& column : columns) {
        names << column.name;
        marks << QStringLiteral("?");
    }
    db::Statement insert = output.prepare(
        QStringLiteral("INSERT INTO ") + db::quoteName(ListSchema::table()) + QStringLiteral(" (") +
            quotedList(names) + QStringLiteral(") VALUES (") + marks.join(u',') + u')',
        error);
    if (!insert.isValid())
        return -1;
    db::Transaction transaction(output);
    qint64 copied = 0;
    const int count = int(columns.size());
    while (rows.next()) {
        insert.reset();
        for (int i = 0; i < count; ++i)
            insert.bind(i + 1, rows.value(i));
        if (!insert.exec()) {
            if (error)
                *error = insert.error();
            return -1;
        }
        ++copied;
    }
    if (rows.error().isError()) {
        if (error)
            *error = rows.error();
        return -1;
    }
    return transaction.commit(error) ? copied : -1;
}

} // namespace

QString ListOperations::gMergeLists(const QString& firstPath, const QString& secondPath, Prompter& prompter,
                                    const RowProgress& progress) {
    return runOperation(Operation::Merge, firstPath, secondPath, prompter, progress);
}

QString ListOperations::gCleanList(const QString& listPath, const QString& removalPath, Prompter& prompter,
                                   int openListWindows, const RowProgress& progress) {
    if (openListWindows >= 0 && openListWindows < 2) {
        prompter.inform(AppTitle(), QStringLiteral("You must have twol lists open to perform this action."),
                        Prompter::Icon::Exclamation);
        return ListOperations::cancelResult();
    }
    return runOperation(Operation::Clean, listPath, removalPath, prompter, progress);
}

QString ListOperations::gFindDuplicates(const QString& firstPath, const QString& secondPath,
                                        Prompter& prompter, const RowProgress& progress) {
    return runOperation(Operation::Duplicates, firstPath, secondPath, prompter, progress);
}

QString ListOperations::gFilterList(const QString& listPath, Prompter& prompter,
                                    const std::optional<QString>& condition,
                                    const ConditionQuery& askCondition) {
    const QString procedure = QStringLiteral("gFilterList");
    const QString unableToOpen = ListOperations::errorResult(QStringLiteral("Unable to open ") + listPath +
                                                             QStringLiteral(" for input"));
    db::DbError error;
    db::Database source = db::Database::open(listPath, db::Database::OpenMode::ReadOnly, &error);
    if (!source.isOpen() || !DataTank::IsTamberlynDB(source)) {
        logFailure(procedure, error);
        return unableToOpen;
    }
    if (!holdsRows(source)) {
        prompter.inform(AppTitle(), QStringLiteral("There are no records to select from"),
                        Prompter::Icon::Exclamation);
        return ListOperations::cancelResult();
    }
    const QList<db::ColumnInfo> columns = source.columns(ListSchema::table());

    db::Database output = DataTank::CreateTargetDatabase(false, &error);
    if (!output.isOpen() || !makeScratch(output, &error)) {
        logFailure(procedure, error);
        discard(output);
        return ListOperations::errorResult(QStringLiteral("Cannot open database for output"));
    }

    QString clause;
    if (condition) {
        clause = *condition;
    } else {
        QStringList names;
        for (const db::ColumnInfo& column : columns)
            names << column.name;
        clause = askCondition ? askCondition(listPath, names) : QString();
        if (clause.trimmed().isEmpty()) {
            discard(output);
            return ListOperations::cancelResult();
        }
    }

    std::optional<db::Statement> rows =
        db::selectWhere(source, ListSchema::table(), QStringLiteral("*"), clause, QString(), &error);
    const qint64 copied = rows && output.exec(filterTableSql(source, columns), {}, &error)
                              ? copyRows(*rows, output, columns, &error)
                              : -1;
    rows.reset();
    source.close();
    if (copied < 0) {
        logFailure(procedure, error);
        discard(output);
        return ListOperations::errorResult(error.text);
    }
    if (copied == 0) {
        discard(output);
        return ListOperations::noRecordsResult();
    }
    const QString path = output.fileName();
    output.close();
    return path;
}

namespace {

// One value as the export writes it: text in double quotes with inner quotes doubled, numbers as they
// are, nothing for NULL.
void appendField(QByteArray& line, sqlite3_stmt* row, int column) {
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        line.append(reinterpret_cast<const char*>(sqlite3_column_text(row, column)),
                    sqlite3_column_bytes(row, column));
        return;
    default: {
        const auto* text = static_cast<const char*>(sqlite3_column_blob(row, column));
        const qsizetype size = sqlite3_column_bytes(row, column);
        line.append('"');
        const char* end = text + size;
        while (text < end) {
            const auto* quote = static_cast<const char*>(memchr(text, '"', size_t(end - text)));
            if (!quote) {
                line.append(text, end - text);
                break;
            }
            line.append(text, quote - text + 1);
            line.append('"');
            text = quote + 1;
        }
        line.append('"');
    }
    }
}

void appendName(QByteArray& line, const QString& name) {
    QByteArray bytes = name.toUtf8();
    bytes.replace('"', "\"\"");
    line.append('"').append(bytes).append('"');
}

} // namespace

namespace {

// The file a write to path ends in: links followed (a dangling one too, as writing through it creates
// its target), ".." resolved, and the folder canonical even where the file does not exist yet.
QString resolvedTarget(const QString& path) {
    QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    for (int hops = 0; info.isSymLink() && hops < 40; ++hops)
        info.setFile(info.symLinkTarget());
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

bool isInside(const QString& path, const QString& folder) {
    QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return path == canonical || path.startsWith(canonical + u'/');
}

// Why the list may not be written to exportPath; empty when it may. The program's own folders hold the
// central database, the lists and their temporary copies, which an export must never replace.
QString exportRefusal(const QString& listPath, const QString& exportPath) {
    const QString target = resolvedTarget(exportPath);
    if (target == resolvedTarget(listPath))
        return QStringLiteral("A list cannot be exported onto its own file.");
    const AppFolders& folders = appFolders();
    for (const QString& folder : {folders.SystemFolder, folders.AddressListsFolder, folders.TempFolder})
        if (!folder.isEmpty() && isInside(target, folder))
            return QStringLiteral("A list cannot be exported into ") + folder +
                   QStringLiteral(": that folder holds the program's own files.");
    return {};
}

} // namespace

QString ListOperations::exportReplaceQuestion(const QString& exportPath) {
    return exportPath + QStringLiteral(" already exists. Do you want to replace it?");
}

qint64 ListOperations::gExportList(const QString& listPath, const QString& exportPath, Prompter& prompter,
                                   ExistingExportFile existing) {
    const QString procedure = QStringLiteral("gExportList");
    if (const QString refusal = exportRefusal(listPath, exportPath); !refusal.isEmpty()) {
        prompter.inform(AppTitle(), refusal, Prompter::Icon::Exclamation);
        return -1;
    }
    db::DbError error;
    const db::Database list = db::Database::open(listPath, db::Database::OpenMode::ReadOnly, &error);
    if (!list.isOpen() || !DataTank::IsTamberlynDB(list)) {
        logFailure(procedure, error);
        prompter.inform(AppTitle(),
                        QStringLiteral("Unable to open ") + listPath + QStringLiteral(" for input"),
                        Prompter::Icon::Exclamation);
        return -1;
    }
    const std::optional<QVariant> any = list.scalar(
        QStringLiteral("SELECT 1 FROM ") + db::quoteName(ListSchema::table()) + QStringLiteral(" LIMIT 1"));
    if (!any) {
        prompter.inform(AppTitle(), QStringLiteral("There are no records to export"),
                        Prompter::Icon::Exclamation);
        return 0;
    }
    if (existing == ExistingExportFile::Ask && QFileInfo::exists(exportPath) &&
        prompter.ask(AppTitle(), exportReplaceQuestion(exportPath), Prompter::Buttons::YesNo,
                     Prompter::Icon::Question) != Prompter::Answer::Yes)
        return -1;

    // The fixed statement is stepped directly: the export moves every byte of the list, and the text
    // goes from the database to the file as UTF-8 without a round trip through QString.
    sqlite3_stmt* row = nullptr;
    const QByteArray sql = (QStringLiteral("SELECT * FROM ") + db::quoteName(ListSchema::table())).toUtf8();
    int rc = sqlite3_prepare_v2(list.handle(), sql.constData(), int(sql.size()), &row, nullptr);
    QSaveFile file(exportPath);
    qint64 written = 0;
    bool ok = rc == SQLITE_OK && file.open(QIODevice::WriteOnly);
    if (ok) {
        const int count = sqlite3_column_count(row);
        QByteArray buffer;
        constexpr qsizetype flushAt = 1 << 20;
        buffer.reserve(flushAt + 4096);
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                buffer.append(',');
            appendName(buffer, QString::fromUtf8(sqlite3_column_name(row, i)));
        }
        buffer.append("\r\n");
        while (ok && (rc = sqlite3_step(row)) == SQLITE_ROW) {
            for (int i = 0; i < count; ++i) {
                if (i > 0)
                    buffer.append(',');
                appendField(buffer, row, i);
            }
            buffer.append("\r\n");
            ++written;
            if (buffer.size() >= flushAt) {
                ok = file.write(buffer) == buffer.size();
                buffer.truncate(0); // keeps the capacity
            }
        }
        ok = ok && rc == SQLITE_DONE && file.write(buffer) == buffer.size();
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            error = {sqlite3_extended_errcode(list.handle()),
                     QString::fromUtf8(sqlite3_errmsg(list.handle()))};
    } else if (rc != SQLITE_OK) {
        error = {sqlite3_extended_errcode(list.handle()), QString::fromUtf8(sqlite3_errmsg(list.handle()))};
    }
    sqlite3_finalize(row);
    if (ok && file.commit())
        return written;
    file.cancelWriting();
    if (!error.isError())
        error = {-1, file.errorString()};
    logFailure(procedure, error);
    prompter.inform(AppTitle(),
                    QStringLiteral("Unable to open ") + exportPath + QStringLiteral(" for output"),
                    Prompter::Icon::Exclamation);
    return -1;
}
