#include "import/GoldMineReader.h"

#include <QDir>
#include <QFileInfo>

namespace importer {

namespace {

// The file of that name in the folder, found without regard to case.
QString fileInFolder(const QDir& folder, const QString& name) {
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden);
    for (const QString& candidate : names)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return folder.filePath(candidate);
    return {};
}

bool openTable(XBaseTable& table, const QString& path, QString* error) {
    auto file = std::make_unique<FileByteSource>();
    if (path.isEmpty() || !file->open(path)) {
        *error = QStringLiteral("%1 cannot be opened").arg(QFileInfo(path).fileName());
        return false;
    }
    if (!table.open(std::move(file), error))
        return false;
    if (table.hasMemoFields()) {
        auto memo = std::make_unique<FileByteSource>();
        const QString memoPath = siblingFile(path, table.memoSuffix());
        if (!memoPath.isEmpty() && memo->open(memoPath))
            table.attachMemo(std::move(memo));
    }
    return true;
}

int indexOf(const XBaseTable& table, const char* name) {
    const QList<XBaseField>& fields = table.fields();
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (fields.at(i).name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

} // namespace

bool GoldMineReader::open(const QString& path) {
    opened_ = false;
    clearError();
    addresses_.clear();
    fields_.clear();
    const QDir folder = QFileInfo(path).absoluteDir();
    QString error;
    if (!openTable(contacts_, fileInFolder(folder, QStringLiteral("CONTACT1.DBF")), &error))
        return fail(QStringLiteral("CONTACT1: ") + error);
    XBaseTable supplement;
    if (!openTable(supplement, fileInFolder(folder, QStringLiteral("CONTSUPP.DBF")), &error))
        return fail(QStringLiteral("CONTSUPP: ") + error);
    accountField_ = indexOf(contacts_, "ACCOUNTNO");
    const int supplementAccount = indexOf(supplement, "ACCOUNTNO");
    const int kind = indexOf(supplement, "CONTACT");
    const int reference = indexOf(supplement, "CONTSUPREF");
    const int overflow = indexOf(supplement, "ADDRESS1");
    if (accountField_ < 0 || supplementAccount < 0 || kind < 0 || reference < 0)
        return fail(
            QStringLiteral("CONTACT1 and CONTSUPP lack the fields ACCOUNTNO, CONTACT and CONTSUPREF"));

    // The e-mail records of every account. GoldMine puts the part of a long address that does not fit
    // CONTSUPREF into ADDRESS1.
    QStringList values;
    for (qint64 i = 0; i < supplement.recordCount(); ++i) {
        const XBaseTable::RecordState state = supplement.readRecord(i, values);
        if (state == XBaseTable::RecordState::Failed)
            return fail(QStringLiteral("CONTSUPP record %1 cannot be read").arg(i + 1));
        if (state == XBaseTable::RecordState::Deleted)
            continue;
        if (values.value(kind).trimmed().compare(QLatin1String("E-mail Address"), Qt::CaseInsensitive) != 0)
            continue;
        QString address = values.value(reference);
        if (overflow >= 0)
            address += values.value(overflow);
        addresses_[values.value(supplementAccount).trimmed().toCaseFolded()].append(address.trimmed());
    }

    fields_.append({addressField(), FieldKind::Text, QStringLiteral("Character"), 35});
    QStringList names = {addressField()};
    for (const SourceField& field : contacts_.sourceFields()) {
        fields_.append(field);
        names << field.name;
    }
    const QStringList unique = uniqueFieldNames(names);
    for (qsizetype i = 0; i < fields_.size(); ++i)
        fields_[i].name = unique.at(i);
    opened_ = true;
    return true;
}

QStringList GoldMineReader::tables() const {
    return opened_ ? QStringList{tableName()} : QStringList();
}

QList<SourceField> GoldMineReader::fields(const QString& table) {
    if (!opened_ || table.compare(tableName(), Qt::CaseInsensitive) != 0)
        return {};
    return fields_;
}

bool GoldMineReader::beginRows(const QString& table) {
    if (!opened_ || table.compare(tableName(), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("there is no table %1").arg(table));
    next_ = 0;
    pending_.clear();
    contact_.clear();
    return true;
}

SourceReader::ReadResult GoldMineReader::nextRow(SourceRow& row) {
    if (!opened_)
        return ReadResult::Failed;
    if (pending_.isEmpty()) {
        for (;;) {
            if (next_ >= contacts_.recordCount())
                return ReadResult::End;
            const qint64 index = next_++;
            const XBaseTable::RecordState state = contacts_.readRecord(index, contact_);
            if (state == XBaseTable::RecordState::Failed) {
                fail(QStringLiteral("CONTACT1 record %1 cannot be read").arg(index + 1));
                return ReadResult::Failed;
            }
            if (state == XBaseTable::RecordState::Live)
                break;
        }
        pending_ = addresses_.value(contact_.value(accountField_).trimmed().toCaseFolded());
        if (pending_.isEmpty())
            pending_.append(QString());
    }
    const QString address = pending_.takeFirst();
    row = SourceRow{address.isEmpty() ? QString() : address} + contact_;
    return ReadResult::Row;
}

} // namespace importer
