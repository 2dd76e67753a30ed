#include "import/ActImport.h"

#include "core/AppInfo.h"
#include "core/ErrorLog.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "db/ListSchema.h"
#include "db/SqlDialect.h"

#include <QDir>
#include <QFile>

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

bool ActImport::fail(const QString& text, ImportResult& result) {
    result.listPath = QStringLiteral("<Error:");
    prompter_.inform(AppTitle(), text, Prompter::Icon::Exclamation);
    return false;
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

ImportResult ActImport::run(const ImportRequest& request) {
    ImportResult result;
    mappings_.clear();
    // OpenACT and GetActFields: the contact file and its fields.
    ImportSource source;
    if (!source.open(request.type, request.path, prompter_)) {
        result.listPath = QStringLiteral("<Error:");
        return result;
    }
    const QString table = source.resolveTable(request.table);
    if (table.isEmpty()) {
        fail(ImportText::noSourceTable(), result);
        return result;
    }
    const QList<SourceField> fields = source.fields(table, prompter_);
    if (fields.isEmpty() || !checkFieldRoles(request.roles, prompter_)) {
        result.listPath = QStringLiteral("<Error:");
        return result;
    }
    result.summary.source =
        QDir::toNativeSeparators(request.path) + QStringLiteral(" (table ") + table + u')';

    // The mapping: roles first, then every kept field under its validated name.
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
    if (!missing.isEmpty()) {
        fail(QStringLiteral("The table %1 has no field named %2.")
                 .arg(table, missing.join(QStringLiteral(", "))),
             result);
        return result;
    }

    // CreateTargetDB, AddReqFields, CreateTargetFields.
    db::DbError error;
    db::Database list = DataTank::CreateTargetDatabase(false, &error);
    if (!list.isOpen()) {
        logFailure("CreateTargetDB", error);
        fail(notTbError("CreateTargetDB"), result);
        return result;
    }
    const QString path = list.fileName();
    const auto giveUp = [&](const QString& text) {
        list.close();
        QFile::remove(path);
        fail(text, result);
        return result;
    };
    QStringList columns = requiredColumns();
    if (!list.exec(QStringLiteral("CREATE TABLE \"AddressList\" (\"EAddress\" ") + ListSchema::columnType() +
                       u')',
                   {}, &error)) {
        logFailure("CreateTargetDB", error);
        return giveUp(notTbError("CreateTargetDB"));
    }
    for (const QString& column : requiredColumns().mid(1))
        if (!list.exec(ListSchema::addColumnSql(ListSchema::table(), column), {}, &error)) {
            logFailure("AddReqFields", error);
            return giveUp(notTbError("AddReqFields"));
        }
    for (const Mapping& mapping : std::as_const(mappings_)) {
        if (columns.contains(mapping.column, Qt::CaseInsensitive))
            continue;
        if (!list.exec(ListSchema::addColumnSql(ListSchema::table(), mapping.column), {}, &error)) {
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
    QList<int> sources;
    for (const Mapping& mapping : std::as_const(mappings_)) {
        quoted << db::quoteName(mapping.column);
        marks << QStringLiteral("?");
        sources << fieldIndex(fields, mapping.actField);
    }
    const int emailSource = fieldIndex(fields, request.roles.email.trimmed());
    db::Statement insert = list.prepare(QStringLiteral("INSERT INTO \"AddressList\" (") + quoted.join(u',') +
                                            QStringLiteral(") VALUES (") + marks.join(u',') + u')',
                                        &error);
    if (!insert.isValid() || !source.reader()->beginRows(table)) {
        logFailure("CopyACTData", insert.isValid() ? db::DbError{0, source.reader()->errorText()} : error);
        return giveUp(insert.isValid() ? ImportText::cannotRead() : notTbError("CopyACTData"));
    }
    {
        db::Transaction transaction(list);
        SourceRow row;
        qint64 record = 0;
        for (;;) {
            const SourceReader::ReadResult read = source.reader()->nextRow(row);
            if (read == SourceReader::ReadResult::End)
                break;
            if (read == SourceReader::ReadResult::Failed) {
                logFailure("CopyACTData", {0, source.reader()->errorText()});
                return giveUp(ImportText::cannotRead());
            }
            ++record;
            QVariantList values = {record};
            for (const int index : std::as_const(sources)) {
                QString value = row.value(index);
                if (index == emailSource) {
                    value = value.trimmed();
                    if (value.isEmpty()) {
                        value = QStringLiteral("Unknown (record %1)").arg(record);
                        ++result.summary.withoutAddress;
                        result.summary.note(
                            QStringLiteral("Record %1: no e-mail address; imported as \"%2\" and "
                                           "moved to the \"(No Addresses)\" list.")
                                .arg(record)
                                .arg(value));
                    } else if (!value.startsWith(QLatin1String("unknown"), Qt::CaseInsensitive) &&
                               !IsValidEmailAddress(value)) {
                        ++result.summary.doubtfulAddresses;
                        result.summary.note(
                            QStringLiteral("Record %1: the address %2 does not look like a usable "
                                           "e-mail address; it was imported as it stands.")
                                .arg(record)
                                .arg(value));
                    }
                }
                values << (value.isNull() ? QVariant() : QVariant(value));
            }
            insert.bindAll(values);
            if (!insert.exec()) {
                logFailure("CopyACTData", insert.error());
                return giveUp(notTbError("CopyACTData"));
            }
            ++result.summary.recordsRead;
        }
        if (!transaction.commit(&error)) {
            logFailure("CopyACTData", error);
            return giveUp(notTbError("CopyACTData"));
        }
    }
    insert = db::Statement();
    if (result.summary.recordsRead == 0) {
        list.close();
        QFile::remove(path);
        result.listPath = ImportText::noRecords();
        return result;
    }

    // DeleteDuplicates.
    const QList<QPair<qint64, qint64>> removed = DeleteDuplicates(list, &error);
    if (removed.size() == 1 && removed.first().first < 0)
        return giveUp(notTbError("DeleteDuplicates"));
    for (const auto& pair : removed) {
        ++result.summary.duplicates;
        result.summary.note(
            QStringLiteral("Record %1: left out: its address is already in the list (record %2).")
                .arg(pair.first)
                .arg(pair.second));
    }
    result.summary.rowsImported = result.summary.recordsRead - removed.size();
    result.summary.warnings = source.reader()->warnings();
    list.close();

    result.listPath = path;
    result.nullEntries = DataTank::SaveNullEntries(path, request.listName);
    if (result.nullEntries.ok)
        result.summary.rowsImported -= result.nullEntries.count;
    return result;
}

} // namespace importer
