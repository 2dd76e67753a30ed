#pragma once

#include "import/ByteSource.h"
#include "import/CodePage.h"
#include "import/SourceReader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

// One dBase III / IV / 5, FoxPro 2.x or Visual FoxPro table (.dbf) with its memo file (.dbt / .fpt):
// the header, the field descriptors, the deleted flag, the language driver byte, and the values of
// character, numeric, float, date, logical, memo, integer, currency and date-time fields.
namespace importer {

struct XBaseField {
    QString name;
    char type = 'C';
    int offset = 0; // within the record, after the deleted flag
    int length = 0;
    int decimals = 0;
    int nullBit = -1;   // Visual FoxPro: the bit of _NullFlags that marks the value null
    int lengthBit = -1; // Visual FoxPro varchar: the bit that says the length is in the last byte
    FieldKind kind = FieldKind::Text;
    QString typeName;
};

class XBaseTable {
public:
    enum class RecordState { Live, Deleted, Failed };

    // Reads the header and the field descriptors. False with a reason when the bytes are not a table of
    // this family or the file is shorter than its header says.
    bool open(std::unique_ptr<ByteSource> table, QString* error);
    // Gives the table its memo file (.dbt / .fpt); false, and no memo file, when its header cannot be read.
    bool attachMemo(std::unique_ptr<ByteSource> memo);

    int version() const { return version_; }
    qint64 recordCount() const { return recordCount_; }
    int codePage() const { return decoder_ ? decoder_->codePage() : 0; }
    // The fields a user sees (Visual FoxPro's _NullFlags left out).
    const QList<XBaseField>& fields() const { return fields_; }
    QList<SourceField> sourceFields() const;
    // Whether a field keeps its values in the memo file.
    bool hasMemoFields() const;
    bool hasMemoFile() const { return memo_ != nullptr; }
    // The memo file name suffix the version calls for: "dbt" or "fpt".
    QString memoSuffix() const;

    // The values of record index (from 0); Deleted records leave values empty. Failed when the record
    // cannot be read.
    RecordState readRecord(qint64 index, QStringList& values);

private:
    QString valueOf(const XBaseField& field, const char* data, const QByteArray& nullFlags);
    QString memoText(const XBaseField& field, const char* data);
    QByteArray readMemo(quint32 block, bool* binary);
    QString text(const char* data, int length) const;

    std::unique_ptr<ByteSource> table_;
    std::unique_ptr<ByteSource> memo_;
    std::unique_ptr<CodePageDecoder> decoder_;
    QList<XBaseField> fields_;
    int version_ = 0;
    qint64 recordCount_ = 0;
    int headerLength_ = 0;
    int recordLength_ = 0;
    int nullFlagsOffset_ = -1;
    int nullFlagsLength_ = 0;
    bool visualFoxPro_ = false;
    bool foxProMemo_ = false;
    int memoBlockSize_ = 512;

    // Records are read a block at a time.
    QByteArray buffer_;
    qint64 bufferFirst_ = -1;
    qint64 bufferCount_ = 0;
};

// The reader of the dBase and FoxPro families (also ACT! contact files): one table, named after the file.
class XBaseReader : public SourceReader {
public:
    bool open(const QString& path) override;
    QStringList tables() const override;
    QList<SourceField> fields(const QString& table) override;
    bool beginRows(const QString& table) override;
    ReadResult nextRow(SourceRow& row) override;
    qint64 rowCountHint() const override { return table_.recordCount(); }

    const XBaseTable& table() const { return table_; }

private:
    XBaseTable table_;
    QString tableName_;
    qint64 next_ = 0;
    bool opened_ = false;
};

// The file beside path with the same base name and the given suffix, found without regard to case;
// empty when there is none.
QString siblingFile(const QString& path, const QString& suffix);

} // namespace importer
