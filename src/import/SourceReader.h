#pragma once

#include "import/SourceTypes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace importer {

// What a source field holds; decides how its values are written as text and how a filter compares them.
enum class FieldKind { Text, Memo, Number, Date, DateTime, Boolean, Binary };

struct SourceField {
    QString name;
    FieldKind kind = FieldKind::Text;
    QString typeName; // the source's own name for the type, e.g. "Character", "Long Integer"
    int size = 0;     // the stored size where the source has one
};

// One record: the values as text in field order; a null QString where the source has no value.
// Numbers are plain decimals ("1250.5"), dates "yyyy-MM-dd", date-times "yyyy-MM-dd HH:mm:ss",
// logical values "true" / "false".
using SourceRow = QStringList;

// One opened source file of one family: its user tables, their fields, and their records in order.
// Every call after a failed open() answers as empty. Readers never throw and never trust the file.
class SourceReader {
public:
    enum class ReadResult { Row, End, Failed };

    virtual ~SourceReader() = default;

    // False when the file cannot be opened as this kind of source; errorText() says why (for the log).
    virtual bool open(const QString& path) = 0;
    // The user tables (an Excel workbook's sheets, named with a final "$").
    virtual QStringList tables() const = 0;
    // The fields of a table; empty with errorText() when it cannot be read.
    virtual QList<SourceField> fields(const QString& table) = 0;
    // Starts reading the records of a table from the first.
    virtual bool beginRows(const QString& table) = 0;
    // The next record; Failed when the file turns out damaged (errorText() says where).
    virtual ReadResult nextRow(SourceRow& row) = 0;
    // The number of records the table says it has, or -1 when it cannot tell before reading.
    virtual qint64 rowCountHint() const { return -1; }

    QString errorText() const { return error_; }
    // Things the user should know that did not stop the reading (a missing memo file, cut records).
    QStringList warnings() const { return warnings_; }

protected:
    bool fail(const QString& text) {
        error_ = text;
        return false;
    }
    void warn(const QString& text) {
        if (!warnings_.contains(text))
            warnings_.append(text);
    }
    void clearError() { error_.clear(); }

private:
    QString error_;
    QStringList warnings_;
};

// A reader for the source type, chosen by its family and, for Excel, by the file's suffix; null for
// Btrieve and unknown types.
std::unique_ptr<SourceReader> createSourceReader(const SourceType& type, const QString& path);

// The field of that name (without regard to case), or -1.
int fieldIndex(const QList<SourceField>& fields, const QString& name);

// Field names as a table can hold them: blank names become "F" + position (from 1), repeated names get
// a number; the names keep their order.
QStringList uniqueFieldNames(const QStringList& names);

} // namespace importer
