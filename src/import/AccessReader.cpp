#include "import/AccessReader.h"

#include "import/ValueText.h"

#include <QFile>
#include <mdbtools.h>

namespace importer {

namespace {

// Room for one value: a memo of 64K characters in UTF-8 fits.
constexpr size_t BindSize = 256 * 1024;

struct TypeInfo {
    FieldKind kind;
    const char* name;
};

TypeInfo typeOf(int columnType) {
    switch (columnType) {
    case MDB_BOOL:
        return {FieldKind::Boolean, "Yes/No"};
    case MDB_BYTE:
        return {FieldKind::Number, "Byte"};
    case MDB_INT:
        return {FieldKind::Number, "Integer"};
    case MDB_LONGINT:
        return {FieldKind::Number, "Long Integer"};
    case MDB_MONEY:
        return {FieldKind::Number, "Currency"};
    case MDB_FLOAT:
        return {FieldKind::Number, "Single"};
    case MDB_DOUBLE:
        return {FieldKind::Number, "Double"};
    case MDB_NUMERIC:
        return {FieldKind::Number, "Decimal"};
    case MDB_DATETIME:
        return {FieldKind::DateTime, "Date/Time"};
    case MDB_TEXT:
        return {FieldKind::Text, "Text"};
    case MDB_MEMO:
        return {FieldKind::Memo, "Memo"};
    case MDB_REPID:
        return {FieldKind::Text, "Replication ID"};
    case MDB_OLE:
        return {FieldKind::Binary, "OLE Object"};
    case MDB_BINARY:
        return {FieldKind::Binary, "Binary"};
    default:
        return {FieldKind::Binary, "Other"};
    }
}

// Only the types whose text libmdb writes are bound; the others read as no value.
bool isBindable(int columnType) {
    return typeOf(columnType).kind != FieldKind::Binary;
}

} // namespace

struct AccessReader::Handles {
    MdbHandle* mdb = nullptr;
    MdbTableDef* table = nullptr;
};

AccessReader::AccessReader() : handles_(std::make_unique<Handles>()) {}

AccessReader::~AccessReader() {
    closeTable();
    if (handles_->mdb)
        mdb_close(handles_->mdb);
}

void AccessReader::closeTable() {
    if (handles_->table)
        mdb_free_tabledef(handles_->table);
    handles_->table = nullptr;
    rowCount_ = -1;
}

bool AccessReader::open(const QString& path) {
    clearError();
    closeTable();
    if (handles_->mdb)
        mdb_close(handles_->mdb);
    handles_->mdb = nullptr;
    tables_.clear();
    QFile probe(path);
    // libmdb needs at least the first page; shorter files are no database.
    if (!probe.open(QIODevice::ReadOnly) || probe.size() < 4096)
        return fail(QStringLiteral("the file is too short for an Access database"));
    const QByteArray head = probe.read(32);
    if (!head.mid(4).startsWith("Standard Jet DB") && !head.mid(4).startsWith("Standard ACE DB"))
        return fail(QStringLiteral("the file has no Access database signature"));
    // The file is whole pages (2 KB for Jet 3, 4 KB after); anything else was cut short.
    const qint64 pageSize = head.at(0x14) == 0 ? 2048 : 4096;
    if (probe.size() % pageSize != 0)
        return fail(QStringLiteral("the file is not a whole number of pages (truncated)"));
    probe.close();

    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return fail(QStringLiteral("libmdb cannot open the file"));
    handles_->mdb = mdb;
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_shortdate_fmt(mdb, "%Y-%m-%d");
    mdb_set_boolean_fmt_numbers(mdb);
    mdb_set_bind_size(mdb, BindSize);
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        return fail(QStringLiteral("the catalogue of tables cannot be read"));
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        const QString name = QString::fromUtf8(entry->object_name);
        if (name.startsWith(QLatin1String("MSys"), Qt::CaseInsensitive))
            continue;
        tables_.append(name);
    }
    return true;
}

QList<SourceField> AccessReader::fields(const QString& table) {
    if (!beginRows(table))
        return {};
    return fields_;
}

bool AccessReader::beginRows(const QString& table) {
    closeTable();
    fields_.clear();
    buffers_.clear();
    lengths_.clear();
    types_.clear();
    if (!handles_->mdb || !tables_.contains(table))
        return fail(QStringLiteral("there is no table %1").arg(table));
    QByteArray name = table.toUtf8();
    MdbTableDef* def = mdb_read_table_by_name(handles_->mdb, name.data(), MDB_TABLE);
    if (!def)
        return fail(QStringLiteral("the table %1 cannot be read").arg(table));
    handles_->table = def;
    if (!mdb_read_columns(def) || def->num_cols == 0 || def->num_cols > 4096) {
        closeTable();
        return fail(QStringLiteral("the columns of %1 cannot be read").arg(table));
    }
    const int count = int(def->num_cols);
    buffers_.resize(count);
    lengths_.resize(count);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
        const TypeInfo info = typeOf(column->col_type);
        names << QString::fromUtf8(column->name);
        fields_.append({QString(), info.kind, QString::fromLatin1(info.name), column->col_size});
        types_.append(column->col_type);
        if (isBindable(column->col_type)) {
            buffers_[i] = QByteArray(qsizetype(BindSize), '\0');
            mdb_bind_column(def, i + 1, buffers_[i].data(), &lengths_[i]);
        }
    }
    const QStringList unique = uniqueFieldNames(names);
    for (int i = 0; i < count; ++i)
        fields_[i].name = unique.at(i);
    rowCount_ = def->num_rows;
    mdb_rewind_table(def);
    return true;
}

SourceReader::ReadResult AccessReader::nextRow(SourceRow& row) {
    if (!handles_->table)
        return ReadResult::Failed;
    for (int& length : lengths_)
        length = 0;
    if (!mdb_fetch_row(handles_->table))
        return ReadResult::End;
    row.clear();
    row.reserve(fields_.size());
    for (qsizetype i = 0; i < fields_.size(); ++i) {
        const int length = lengths_.at(i);
        if (buffers_.at(i).isEmpty() || length <= 0) {
            row.append(QString());
            continue;
        }
        const QByteArray& buffer = buffers_.at(i);
        const int size = int(qMin<qsizetype>(length, qstrnlen(buffer.constData(), buffer.size())));
        const QString text = QString::fromUtf8(buffer.constData(), size);
        if (size_t(size) >= BindSize - 1)
            warn(QStringLiteral("Some values of the field %1 are longer than can be read; they were cut.")
                     .arg(fields_.at(i).name));
        switch (fields_.at(i).kind) {
        case FieldKind::Boolean:
            row.append(boolText(text.trimmed() != QLatin1String("0") && !text.trimmed().isEmpty()));
            break;
        case FieldKind::Number:
            row.append(normalizedNumber(text));
            break;
        case FieldKind::DateTime:
            row.append(text.endsWith(QLatin1String(" 00:00:00")) ? text.left(text.size() - 9) : text);
            break;
        default:
            row.append(text);
            break;
        }
    }
    return ReadResult::Row;
}

} // namespace importer
