#pragma once

#include "import/ByteSource.h"
#include "import/CodePage.h"
#include "import/SourceReader.h"

#include <QByteArray>
#include <memory>

// Paradox tables (.db, versions 3 to 7) through pxlib, with the memo texts read from the .mb file beside
// them. One table, named after the file.
namespace importer {

class ParadoxReader : public SourceReader {
public:
    ParadoxReader();
    ~ParadoxReader() override;

    bool open(const QString& path) override;
    QStringList tables() const override;
    QList<SourceField> fields(const QString& table) override;
    bool beginRows(const QString& table) override;
    ReadResult nextRow(SourceRow& row) override;
    qint64 rowCountHint() const override { return recordCount_; }

private:
    struct Document;
    QString valueOf(int field, const char* data);
    QString memoText(const char* data, int length);

    std::unique_ptr<Document> doc_;
    std::unique_ptr<FileByteSource> blobs_;
    std::unique_ptr<CodePageDecoder> decoder_;
    QString tableName_;
    QList<SourceField> fields_;
    QList<int> types_;
    QList<int> offsets_;
    QList<int> lengths_;
    QByteArray record_;
    qint64 recordCount_ = 0;
    qint64 next_ = 0;
};

// The bytes of a Paradox memo or BLOb: the field's last 10 bytes point into the .mb file (offset with the
// sub-block index in its low byte, length, modification number); a value no longer than the leader before
// them is held in the leader alone. Empty when the pointer leads outside the file.
QByteArray readParadoxBlob(ByteSource& blobs, const char* field, int fieldLength);

} // namespace importer
