#include "messages/mdlMergeFields.h"

#include <QFileInfo>

QString MakeMergeFieldTag(const QString& name) {
    return QStringLiteral("<<") + name + QStringLiteral(">>");
}

void FillMergeFieldList(const db::Statement& recordset, QStringList& names, bool clearFirst) {
    if (clearFirst)
        names.clear();
    for (int i = 0; i < recordset.columnCount(); ++i)
        names << recordset.columnName(i);
}

QString GetMergeFieldValue(const db::Statement& recordset, const QString& fieldName) {
    const int index = recordset.columnIndex(fieldName);
    return index < 0 ? QString() : recordset.text(index);
}

bool IsListField(const QString& fieldName, const QString& tableName, const QString& listPath) {
    return ListFieldSet::read(listPath, tableName).isField(fieldName);
}

// ---- ListFieldSet ----

ListFieldSet ListFieldSet::read(const QString& listPath, const QString& tableName) {
    if (listPath.isEmpty() || !QFileInfo(listPath).isFile())
        return {};
    const db::Database list = db::Database::open(listPath, db::Database::OpenMode::ReadOnly);
    return read(list, tableName);
}

ListFieldSet ListFieldSet::read(const db::Database& list, const QString& tableName) {
    ListFieldSet fields;
    if (!list.isOpen())
        return fields;
    db::Statement first = list.prepare(QStringLiteral("SELECT * FROM ") + db::quoteName(tableName) +
                                       QStringLiteral(" LIMIT 1"));
    if (!first.isValid())
        return fields;
    fields.hasRow_ = first.next();
    FillMergeFieldList(first, fields.columns_, true);
    return fields;
}

ListFieldSet ListFieldSet::fromColumns(QStringList columns, bool hasRow) {
    ListFieldSet fields;
    fields.columns_ = std::move(columns);
    fields.hasRow_ = hasRow;
    return fields;
}

int ListFieldSet::indexOf(const QString& name) const {
    for (int i = 0; i < columns_.size(); ++i) {
        if (columns_[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// ---- RecipientRecord ----

void RecipientRecord::setColumns(const QStringList& columns) {
    columns_ = columns;
    values_ = QStringList(columns.size(), QString());
}

int RecipientRecord::indexOf(const QString& column) const {
    for (int i = 0; i < columns_.size(); ++i) {
        if (columns_[i].compare(column, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const QString& RecipientRecord::value(int index) const {
    static const QString none;
    return index >= 0 && index < values_.size() ? values_[index] : none;
}

void RecipientRecord::setValue(int index, const QString& value) {
    if (index >= 0 && index < values_.size())
        values_[index] = value;
}

void RecipientRecord::setValue(const QString& column, const QString& value) {
    setValue(indexOf(column), value);
}

void RecipientRecord::readFrom(const db::Statement& row) {
    const int count = row.columnCount();
    if (count != columns_.size()) {
        QStringList names;
        FillMergeFieldList(row, names, true);
        setColumns(names);
    }
    for (int i = 0; i < count; ++i)
        values_[i] = row.text(i);
}

QString GetMergeFieldValue(const RecipientRecord* record, const QString& fieldName) {
    return record ? record->value(fieldName) : QString();
}
