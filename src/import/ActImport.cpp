#include "import/ActImport.h"

#include "core/AppInfo.h"
#include "core/ErrorLog.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "db/ListSchema.h"
#include "db/SqlDialect.h"

#include <QDir>
#include <QFile>
#include <optional>

namespace importer {

namespace {

void logFailure(const char* procedure, const db::DbError& error) {
    LogError(QString::fromLatin1(procedure) + QStringLiteral(" in mdlACT"), {error.number, error.text});
}

QString notTbError(const char* step) {
    return QStringLiteral("** NOT TB ERROR ** at codePos: ") + QString::fromLatin1(step);
}

} // namespace

QString ValidateFieldName(const QString& actFieldName) {
    QString name = actFieldName;
    name.remove(u'.');
    name.remove(u'[');
    name.remove(u']');
    const QString trimmed = name.trimmed();
    if (trimmed.compare(QLatin1String("First Name"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("FirstName");
    if (trimmed.compare(QLatin1String("Last Name"), Qt::CaseInsensitive) == 0 ||
        trimmed.compare(QLatin1String("Surname"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("LastName");
    for (const char* system : {"Keyword1", "Keyword2", "EAddress", "Date", "Sent"})
        if (trimmed.compare(QLatin1String(system), Qt::CaseInsensitive) == 0)
            return u'_' + QString::fromLatin1(system);
    return name;
}

void ActImport::AddMapping(const QString& actField, const QString& column) {
    for (Mapping& mapping : mappings_)
        if (mapping.column.compare(column, Qt::CaseInsensitive) == 0) {
            mapping.actField = actField;
            return;
        }
    mappings_.append({actField, column});
}

QStringList ActImport::requiredColumns() {
    return {QStringLiteral("EAddress"), QStringLiteral("FirstName"), QStringLiteral("LastName"),
            QStringLiteral("Title"),    QStringLiteral("Sent"),      QStringLiteral("Date"),
            QStringLiteral("Keyword1"), QStringLiteral("Keyword2")};
}

QList<QPair<qint64, qint64>> ActImport::DeleteDuplicates(db::Database& list, db::DbError* error) {
    QList<QPair<qint64, qint64>> removed;
    const auto failed = [&](const db::DbError& failure) {
        if (error)
            *error = failure;
        logFailure("DeleteDuplicates", failure);
        return QList<QPair<qint64, qint64>>{{-1, -1}};
    };
    db::DbError failure;
    // Addresses compare without regard to case, accented letters included.
    db::registerDialectFunctions(list.handle());
    const QString collation = QString::fromLatin1(db::dialectCollation);
    db::Transaction transaction(list);
    if (!transaction.isActive())
        return failed(list.lastError());
    if (!list.exec(QStringLiteral("CREATE INDEX \"ActAddress\" ON \"AddressList\" (\"EAddress\" COLLATE ") +
                       collation + QStringLiteral(")"),
                   {}, &failure))
        return failed(failure);
    db::Statement duplicates = list.prepare(
        QStringLiteral("SELECT a.rowid, (SELECT MIN(b.rowid) FROM \"AddressList\" b WHERE b.\"EAddress\" = "
                       "a.\"EAddress\" COLLATE %1) AS kept FROM \"AddressList\" a WHERE kept < a.rowid "
                       "ORDER BY a.rowid")
            .arg(collation),
        &failure);
    if (!duplicates.isValid())
        return failed(failure);
    while (duplicates.next())
        removed.append({duplicates.value(0).toLongLong(), duplicates.value(1).toLongLong()});
    if (duplicates.error().isError())
        return failed(duplicates.error());
    duplicates = db::Statement();
    db::Statement remove =
        list.prepare(QStringLiteral("DELETE FROM \"AddressList\" WHERE rowid = ?1"), &failure);
    for (const auto& pair : std::as_const(removed)) {
        remove.bind(1, pair.first);
        if (!remove.exec())
            return failed(remove.error());
    }
    remove = db::Statement();

    // The table again, sorted by address and keyed as a list is.
    QStringList definitions;
    QStringList names;
    for (const db::ColumnInfo& column : list.columns(QStringLiteral("AddressList"))) {
        const bool isKey = column.name.compare(ListSchema::keyColumn(), Qt::CaseInsensitive) == 0;
        definitions << ListSchema::columnDefinition(column.name, ListSchema::columnType(), isKey);
        names << db::quoteName(column.name);
    }
    definitions << QStringLiteral("CONSTRAINT ") + db::quoteName(ListSchema::keyConstraint()) +
                       QStringLiteral(" PRIMARY KEY (") + db::quoteName(ListSchema::keyColumn()) + u')';
    if (!list.exec(QStringLiteral("CREATE TABLE \"TEMPADDR\" (") + definitions.join(QStringLiteral(", ")) +
                       u')',
                   {}, &failure) ||
        !list.exec(QStringLiteral("INSERT INTO \"TEMPADDR\" (") + names.join(u',') +
                       QStringLiteral(") SELECT ") + names.join(u',') +
                       QStringLiteral(" FROM \"AddressList\" ORDER BY \"EAddress\""),
                   {}, &failure) ||
        !list.exec(QStringLiteral("DROP TABLE \"AddressList\""), {}, &failure) ||
        !list.exec(QStringLiteral("ALTER TABLE \"TEMPADDR\" RENAME TO \"AddressList\""), {}, &failure) ||
        !transaction.commit(&failure))
        return failed(failure);
    return removed;
}

// What one import holds between its slices.
struct ActImport::Work {
    ImportSource source;
    QString table;
    QList<SourceField> fields;
    db::Database list;
    QString path;
    db::Statement insert;
    std::optional<db::Transaction> transaction;
    QList<int> sources;
    int emailSource = -1;
    SourceRow row;
    qint64 record = 0;
};

ActImport::ActImport(Prompter& prompter) : prompter_(prompter) {}

ActImport::~ActImport() {
    if (work_)
        giveUp(QString());
}

bool ActImport::giveUp(const QString& text) {
    if (work_) {
        work_->transaction.reset();
        work_->insert = db::Statement();
        work_->list.close();
        if (!work_->path.isEmpty())
            QFile::remove(work_->path);
        work_.reset();
    }
    result_.listPath = QStringLiteral("<Error:");
    if (!text.isEmpty())
        prompter_.inform(AppTitle(), text, Prompter::Icon::Exclamation);
    return false;
}

qint64 ActImport::recordsTotal() const {
    return work_ ? work_->source.reader()->rowCountHint() : -1;
}

ImportResult ActImport::run(const ImportRequest& request) {
    if (begin(request))
        while (copy(1 << 20)) {
        }
    return finish();
}

bool ActImport::begin(const ImportRequest& request) {
    result_ = {};
    work_.reset();
    copied_ = false;
    mappings_.clear();
    listName_ = request.listName;
    auto work = std::make_unique<Work>();
    Work& w = *work;
    // OpenACT and GetActFields: the contact file and its fields.
    if (!w.source.open(request.type, request.path, prompter_))
        return giveUp(QString());
    w.table = w.source.resolveTable(request.table);
    if (w.table.isEmpty())
        return giveUp(ImportText::noSourceTable());
    w.fields = w.source.fields(w.table, prompter_);
    if (w.fields.isEmpty() || !checkFieldRoles(request.roles, prompter_))
        return giveUp(QString());
    result_.summary.source =
        QDir::toNativeSeparators(request.path) + QStringLiteral(" (table ") + w.table + u')';

    // The mapping: roles first, then every kept field under its validated name.
    const QList<SourceField>& fields = w.fields;
    QStringList missing;
    const auto map = [&](const QString& field, const QString& column) {
        if (field.trimmed().isEmpty())
            return;
        const int index = fieldIndex(fields, field.trimmed());
        if (index < 0) {
            missing << field.trimmed();
            return;
        }
        AddMapping(fields.at(index).name, column);
    };
    map(request.roles.email, QStringLiteral("EAddress"));
    map(request.roles.firstName, QStringLiteral("FirstName"));
    map(request.roles.lastName, QStringLiteral("LastName"));
    map(request.roles.title, QStringLiteral("Title"));
    for (const QString& field : request.roles.keep) {
        const int index = fieldIndex(fields, field.trimmed());
        if (index < 0) {
            missing << field.trimmed();
            continue;
        }
        const QString column = ValidateFieldName(fields.at(index).name);
        bool taken = false;
        for (const Mapping& mapping : std::as_const(mappings_))
            taken = taken || mapping.column.compare(column, Qt::CaseInsensitive) == 0;
        QString free = column;
        for (int n = 2; taken; ++n) {
            free = column + QString::number(n);
            taken = false;
            for (const Mapping& mapping : std::as_const(mappings_))
                taken = taken || mapping.column.compare(free, Qt::CaseInsensitive) == 0;
        }
        mappings_.append({fields.at(index).name, free});
    }
    if (!missing.isEmpty())
        return giveUp(QStringLiteral("The table %1 has no field named %2.")
                          .arg(w.table, missing.join(QStringLiteral(", "))));

    // CreateTargetDB, AddReqFields, CreateTargetFields.
    db::DbError error;
    w.list = DataTank::CreateTargetDatabase(false, &error);
    if (!w.list.isOpen()) {
        logFailure("CreateTargetDB", error);
        return giveUp(notTbError("CreateTargetDB"));
    }
    w.path = w.list.fileName();
    work_ = std::move(work);
    QStringList columns = requiredColumns();
    if (!w.list.exec(QStringLiteral("CREATE TABLE \"AddressList\" (\"EAddress\" ") +
                         ListSchema::columnType() + u')',
                     {}, &error)) {
        logFailure("CreateTargetDB", error);
        return giveUp(notTbError("CreateTargetDB"));
    }
    for (const QString& column : requiredColumns().mid(1))
        if (!w.list.exec(ListSchema::addColumnSql(ListSchema::table(), column), {}, &error)) {
            logFailure("AddReqFields", error);
            return giveUp(notTbError("AddReqFields"));
        }
    for (const Mapping& mapping : std::as_const(mappings_)) {
        if (columns.contains(mapping.column, Qt::CaseInsensitive))
            continue;
        if (!w.list.exec(ListSchema::addColumnSql(ListSchema::table(), mapping.column), {}, &error)) {
            logFailure("CreateTargetFields", error);
            return giveUp(QStringLiteral("ActImport while Creating Field ") + mapping.column +
                          QStringLiteral(" with error ") + QString::number(error.number) +
                          QStringLiteral(" -- ") + error.text +
                          QStringLiteral(" at codePos: CreateTargetFields"));
        }
        columns << mapping.column;
    }

    // CopyACTData: one row per record, its number as the rowid so the duplicates can be named afterwards.
    QStringList quoted = {QStringLiteral("rowid")};
    QStringList marks = {QStringLiteral("?")};
    for (const Mapping& mapping : std::as_const(mappings_)) {
        quoted << db::quoteName(mapping.column);
        marks << QStringLiteral("?");
        w.sources << fieldIndex(fields, mapping.actField);
    }
    w.emailSource = fieldIndex(fields, request.roles.email.trimmed());
    w.insert = w.list.prepare(QStringLiteral("INSERT INTO \"AddressList\" (") + quoted.join(u',') +
                                  QStringLiteral(") VALUES (") + marks.join(u',') + u')',
                              &error);
    if (!w.insert.isValid() || !w.source.reader()->beginRows(w.table)) {
        logFailure("CopyACTData",
                   w.insert.isValid() ? db::DbError{0, w.source.reader()->errorText()} : error);
        return giveUp(w.insert.isValid() ? ImportText::cannotRead() : notTbError("CopyACTData"));
    }
    w.transaction.emplace(w.list);
    if (!w.transaction->isActive()) {
        logFailure("CopyACTData", w.list.lastError());
        return giveUp(notTbError("CopyACTData"));
    }
    return true;
}

bool ActImport::copy(int budget) {
    if (!work_ || copied_)
        return false;
    Work& w = *work_;
    for (int done = 0; done < budget; ++done) {
        const SourceReader::ReadResult read = w.source.reader()->nextRow(w.row);
        if (read == SourceReader::ReadResult::End) {
            copied_ = true;
            return false;
        }
        if (read == SourceReader::ReadResult::Failed) {
            logFailure("CopyACTData", {0, w.source.reader()->errorText()});
            return giveUp(ImportText::cannotRead());
        }
        const qint64 record = ++w.record;
        QVariantList values = {record};
        for (const int index : std::as_const(w.sources)) {
            QString value = w.row.value(index);
            if (index == w.emailSource) {
                value = value.trimmed();
                if (value.isEmpty()) {
                    value = QStringLiteral("Unknown (record %1)").arg(record);
                    ++result_.summary.withoutAddress;
                    result_.summary.note(
                        QStringLiteral("Record %1: no e-mail address; imported as \"%2\" and "
                                       "moved to the \"(No Addresses)\" list.")
                            .arg(record)
                            .arg(value));
                } else if (!value.startsWith(QLatin1String("unknown"), Qt::CaseInsensitive) &&
                           !IsValidEmailAddress(value)) {
                    ++result_.summary.doubtfulAddresses;
                    result_.summary.note(
                        QStringLiteral("Record %1: the address %2 does not look like a usable "
                                       "e-mail address; it was imported as it stands.")
                            .arg(record)
                            .arg(value));
                }
            }
            values << (value.isNull() ? QVariant() : QVariant(value));
        }
        w.insert.bindAll(values);
        if (!w.insert.exec()) {
            logFailure("CopyACTData", w.insert.error());
            return giveUp(notTbError("CopyACTData"));
        }
        ++result_.summary.recordsRead;
    }
    return true;
}

ImportResult ActImport::finish() {
    if (!work_) {
        if (result_.listPath.isEmpty())
            result_.listPath = QStringLiteral("<Error:");
        return std::exchange(result_, {});
    }
    Work& w = *work_;
    result_.summary.interrupted = !copied_;
    w.insert = db::Statement();
    db::DbError error;
    if (!w.transaction->commit(&error)) {
        logFailure("CopyACTData", error);
        giveUp(notTbError("CopyACTData"));
        return std::exchange(result_, {});
    }
    w.transaction.reset();
    if (result_.summary.recordsRead == 0) {
        const bool interrupted = result_.summary.interrupted;
        giveUp(QString());
        result_.listPath = interrupted ? QStringLiteral("<Cancel") : ImportText::noRecords();
        return std::exchange(result_, {});
    }

    // DeleteDuplicates.
    const QList<QPair<qint64, qint64>> removed = DeleteDuplicates(w.list, &error);
    if (removed.size() == 1 && removed.first().first < 0) {
        giveUp(notTbError("DeleteDuplicates"));
        return std::exchange(result_, {});
    }
    for (const auto& pair : removed) {
        ++result_.summary.duplicates;
        result_.summary.note(
            QStringLiteral("Record %1: left out: its address is already in the list (record %2).")
                .arg(pair.first)
                .arg(pair.second));
    }
    result_.summary.rowsImported = result_.summary.recordsRead - removed.size();
    result_.summary.warnings = w.source.reader()->warnings();
    w.list.close();
    const QString path = w.path;
    work_.reset();

    result_.listPath = path;
    result_.nullEntries = DataTank::SaveNullEntries(path, listName_);
    if (result_.nullEntries.ok)
        result_.summary.rowsImported -= result_.nullEntries.count;
    return std::exchange(result_, {});
}

} // namespace importer
