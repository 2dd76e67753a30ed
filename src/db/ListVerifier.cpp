// Verification of list files: brings any list file to the layout the program relies on.
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/DataTank.h"
#include "db/ListEvents.h"
#include "db/ListSchema.h"
#include "db/TypeMapping.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

const QString TempColumn = QStringLiteral("STSLTEMP");

// One column as verification sees it.
struct Column {
    QString name;
    QString declaredType;
    QString collation;
    bool text = false;
    bool required = false;
    bool allowsEmpty = true;
};

// The state of the table, and the steps that bring it to the list layout. Each step runs inside its
// own savepoint of one enclosing transaction: a failed step is rolled back and skipped.
class ListVerifier {
public:
    ListVerifier(db::Database& database, QString table, QString key)
        : db_(database), table_(std::move(table)), key_(std::move(key)) {}

    bool readLayout();
    bool hasKeyColumn() const { return find(key_) != nullptr; }
    bool needsWork() const;
    bool run(DataTank::VerifyOutcome& outcome);

private:
    const Column* find(const QString& name) const;
    bool isKey(const Column& column) const { return column.name.compare(key_, Qt::CaseInsensitive) == 0; }
    bool hasWantedConstraints(const Column& column, bool withKey) const;
    QString tableName() const { return db::quoteName(table_); }

    bool step(const QString& name, const std::function<bool()>& body, DataTank::VerifyOutcome& outcome);
    bool exec(const QString& sql) { return db_.exec(sql, {}, &error_); }
    bool dropColumn(const QString& name);
    bool convertToText(const Column& column);
    bool addColumn(const QString& name);
    bool rebuild(bool keyConstraints);

    db::Database& db_;
    QString table_;
    QString key_;
    QList<Column> columns_;
    db::DbError error_;
    bool changed_ = false;
};

bool ListVerifier::readLayout() {
    columns_.clear();
    const QList<db::ColumnInfo> infos = db_.columns(table_);
    for (const db::ColumnInfo& info : infos) {
        Column column{info.name,     info.declaredType, {}, db::isTextType(info.declaredType),
                      info.required, info.allowsEmpty};
        const char* collation = nullptr;
        if (sqlite3_table_column_metadata(db_.handle(), "main", table_.toUtf8().constData(),
                                          info.name.toUtf8().constData(), nullptr, &collation, nullptr,
                                          nullptr, nullptr) == SQLITE_OK &&
            collation)
            column.collation = QString::fromUtf8(collation);
        columns_ << column;
    }
    return !columns_.isEmpty();
}

const Column* ListVerifier::find(const QString& name) const {
    for (const Column& column : columns_)
        if (column.name.compare(name, Qt::CaseInsensitive) == 0)
            return &column;
    return nullptr;
}

bool ListVerifier::hasWantedConstraints(const Column& column, bool withKey) const {
    if (isKey(column))
        return !withKey || (column.required && !column.allowsEmpty &&
                            (!column.text ||
                             column.collation.compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) == 0));
    if (column.required || !column.allowsEmpty)
        return false;
    return !column.text || column.collation.compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) == 0;
}

bool ListVerifier::needsWork() const {
    for (const Column& column : columns_)
        if (column.name.compare(TempColumn, Qt::CaseInsensitive) == 0 || !column.text ||
            !hasWantedConstraints(column, true))
            return true;
    for (const QString& name : ListSchema::addOrder())
        if (!find(name))
            return true;
    return false;
}

bool ListVerifier::step(const QString& name, const std::function<bool()>& body,
                        DataTank::VerifyOutcome& outcome) {
    if (!exec(QStringLiteral("SAVEPOINT verify_step")))
        return false;
    if (body()) {
        changed_ = true;
        return exec(QStringLiteral("RELEASE verify_step"));
    }
    outcome.failedSteps << name + QStringLiteral(": ") + error_.text;
    exec(QStringLiteral("ROLLBACK TO verify_step"));
    exec(QStringLiteral("RELEASE verify_step"));
    return false;
}

bool ListVerifier::dropColumn(const QString& name) {
    return exec(QStringLiteral("ALTER TABLE ") + tableName() + QStringLiteral(" DROP COLUMN ") +
                db::quoteName(name));
}

bool ListVerifier::addColumn(const QString& name) {
    return exec(ListSchema::addColumnSql(table_, name));
}

// The column's values as text under the same name, now the last column. A whole number held as a real
// reads as the number, not "5.0".
bool ListVerifier::convertToText(const Column& column) {
    const QString name = db::quoteName(column.name);
    const QString temp = db::quoteName(TempColumn);
    return addColumn(TempColumn) &&
           exec(QStringLiteral("UPDATE ") + tableName() + QStringLiteral(" SET ") + temp +
                QStringLiteral(" = CASE WHEN typeof(") + name + QStringLiteral(") = 'real' AND ") + name +
                QStringLiteral(" = CAST(") + name + QStringLiteral(" AS INTEGER) THEN CAST(CAST(") + name +
                QStringLiteral(" AS INTEGER) AS TEXT) ELSE CAST(") + name +
                QStringLiteral(" AS TEXT) END")) &&
           dropColumn(column.name) &&
           exec(QStringLiteral("ALTER TABLE ") + tableName() + QStringLiteral(" RENAME COLUMN ") + temp +
                QStringLiteral(" TO ") + name);
}

// SQLite cannot change a column's constraints: the table is built anew with the same columns, rows,
// key, unique constraints and indexes. Without keyConstraints the key column keeps what it has.
bool ListVerifier::rebuild(bool keyConstraints) {
    QStringList definitions;
    QStringList names;
    for (const Column& column : columns_) {
        const bool key = isKey(column);
        QString definition = db::quoteName(column.name) + u' ' + column.declaredType;
        if (key && !keyConstraints) {
            if (!column.collation.isEmpty())
                definition += QStringLiteral(" COLLATE ") + db::quoteName(column.collation);
            if (column.required)
                definition += QStringLiteral(" NOT NULL");
            if (!column.allowsEmpty)
                definition += u' ' + db::notEmptyCheck(column.name);
        } else {
            definition = ListSchema::columnDefinition(
                column.name,
                column.text ? column.declaredType + QStringLiteral(" COLLATE NOCASE") : column.declaredType,
                key);
        }
        definitions << definition;
        names << db::quoteName(column.name);
    }

    const auto namesOf = [this](const QString& sql, const QVariant& argument) {
        QStringList result;
        db::Statement query = db_.prepare(sql, &error_);
        if (!query.isValid())
            return result;
        query.bind(1, argument);
        while (query.next())
            result << query.text(0);
        return result;
    };
    const auto quoted = [](const QStringList& list) {
        QStringList result;
        for (const QString& name : list)
            result << db::quoteName(name);
        return result.join(u',');
    };
    const QStringList keyColumns =
        namesOf(QStringLiteral("SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk"), table_);
    if (!keyColumns.isEmpty())
        definitions << QStringLiteral("CONSTRAINT ") + db::quoteName(ListSchema::keyConstraint()) +
                           QStringLiteral(" PRIMARY KEY (") + quoted(keyColumns) + u')';
    const QStringList uniqueIndexes =
        namesOf(QStringLiteral("SELECT name FROM pragma_index_list(?1) WHERE origin = 'u'"), table_);
    for (const QString& index : uniqueIndexes)
        definitions << QStringLiteral("UNIQUE (") +
                           quoted(namesOf(
                               QStringLiteral("SELECT name FROM pragma_index_info(?1) ORDER BY seqno"),
                               index)) +
                           u')';
    QStringList indexSql;
    {
        db::Statement query =
            db_.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'index' AND "
                                       "tbl_name = ?1 COLLATE NOCASE AND sql IS NOT NULL"),
                        &error_);
        if (!query.isValid())
            return false;
        query.bind(1, table_);
        while (query.next())
            indexSql << query.text(0);
    }

    const QString rebuilt = db::quoteName(table_ + QStringLiteral("_STSLTEMP"));
    const QString columnList = names.join(u',');
    if (!exec(QStringLiteral("CREATE TABLE ") + rebuilt + QStringLiteral(" (") +
              definitions.join(QStringLiteral(", ")) + u')') ||
        !exec(QStringLiteral("INSERT INTO ") + rebuilt + QStringLiteral(" (") + columnList +
              QStringLiteral(") SELECT ") + columnList + QStringLiteral(" FROM ") + tableName()) ||
        !exec(QStringLiteral("DROP TABLE ") + tableName()) ||
        !exec(QStringLiteral("ALTER TABLE ") + rebuilt + QStringLiteral(" RENAME TO ") + tableName()))
        return false;
    for (const QString& sql : indexSql)
        if (!exec(sql))
            return false;
    return true;
}

bool ListVerifier::run(DataTank::VerifyOutcome& outcome) {
    // A column left over from an interrupted conversion goes first, so that conversions can use its name.
    const QList<Column> original = columns_;
    for (const Column& column : original)
        if (column.name.compare(TempColumn, Qt::CaseInsensitive) == 0)
            step(
                QStringLiteral("drop ") + column.name, [&] { return dropColumn(column.name); }, outcome);
    for (const Column& column : original)
        if (!column.text && column.name.compare(TempColumn, Qt::CaseInsensitive) != 0)
            step(
                QStringLiteral("convert ") + column.name, [&] { return convertToText(column); }, outcome);
    readLayout();
    for (const QString& name : ListSchema::addOrder())
        if (!find(name))
            step(
                QStringLiteral("add ") + name, [&] { return addColumn(name); }, outcome);
    readLayout();

    bool keyWanted = true;
    bool othersWanted = true;
    for (const Column& column : columns_) {
        if (!hasWantedConstraints(column, true))
            (isKey(column) ? keyWanted : othersWanted) = false;
    }
    if (!keyWanted || !othersWanted) {
        // Keys that are empty or repeat make the key's constraints fail; the other columns are still mended.
        if (!step(
                QStringLiteral("constraints"), [&] { return rebuild(true); }, outcome) &&
            !othersWanted)
            step(
                QStringLiteral("constraints without key"), [&] { return rebuild(false); }, outcome);
    }
    return changed_;
}

void logVerify(const QString& path, const db::DbError& error, const QString& what) {
    LogError(
        QStringLiteral("VerifyListFile in DataTank"),
        {error.number, what + QStringLiteral(": ") + path +
                           (error.text.isEmpty() ? QString() : QStringLiteral(" (") + error.text + u')')});
}

} // namespace

DataTank::VerifyOutcome DataTank::VerifyListFile(const QString& path, const QString& table,
                                                 const QString& key) {
    VerifyOutcome outcome;
    const QString file = path.trimmed();
    if (file.isEmpty()) {
        outcome.status = VerifyStatus::Skipped;
        return outcome;
    }
    Q_EMIT ListEvents::instance().statusMessage(QStringLiteral("Verifying: ") + file);

    db::DbError error;
    if (!QFileInfo(file).isFile()) {
        outcome.status = VerifyStatus::Unreadable;
        logVerify(file, error, QStringLiteral("No such file"));
        return outcome;
    }
    db::Database database = db::Database::open(file, db::Database::OpenMode::ReadWrite, &error);
    // A file that may not be written is still read: it is only a problem when it needs repair.
    bool readOnly = false;
    if (!database.isOpen() && (error.number & 0xff) == SQLITE_READONLY) {
        readOnly = true;
        database = db::Database::open(file, db::Database::OpenMode::ReadOnly, &error);
    }
    if (!database.isOpen() ||
        !database.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"), {}, &error)) {
        outcome.status = VerifyStatus::Unreadable;
        logVerify(file, error, QStringLiteral("Not a readable database"));
        return outcome;
    }
    ListVerifier verifier(database, table, key);
    if (!verifier.readLayout() || !verifier.hasKeyColumn()) {
        outcome.status = VerifyStatus::NotAList;
        logVerify(file, error, QStringLiteral("Not a list file"));
        return outcome;
    }
    if (!verifier.needsWork())
        return outcome;
    if (readOnly || database.isReadOnly()) {
        outcome.status = VerifyStatus::ReadOnly;
        logVerify(file, error, QStringLiteral("Read-only list file needs repair"));
        return outcome;
    }
    // Damage would only spread through a repair.
    const std::optional<QVariant> check = database.scalar(QStringLiteral("PRAGMA quick_check"), {}, &error);
    if (!check || check->toString() != QLatin1String("ok")) {
        outcome.status = VerifyStatus::Unreadable;
        logVerify(file, error, QStringLiteral("Damaged list file"));
        return outcome;
    }

    if (!database.beginTransaction(&error)) {
        outcome.status = database.isReadOnly() ? VerifyStatus::ReadOnly : VerifyStatus::Unreadable;
        logVerify(file, error, QStringLiteral("Cannot write"));
        return outcome;
    }
    const bool changed = verifier.run(outcome);
    if (!database.commit(&error)) {
        database.rollback();
        outcome.status = VerifyStatus::Unreadable;
        logVerify(file, error, QStringLiteral("Cannot write"));
        return outcome;
    }
    outcome.status = changed ? VerifyStatus::Repaired : VerifyStatus::Unchanged;
    for (const QString& failed : outcome.failedSteps)
        logVerify(file, {}, QStringLiteral("Skipped ") + failed);
    return outcome;
}

void DataTank::VerifyListFolder() {
    const QDir folder(appFolders().AddressListsFolder);
    const QStringList files =
        folder.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : files)
        VerifyListFile(folder.filePath(name));
}
