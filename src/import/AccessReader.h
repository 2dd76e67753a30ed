#pragma once

#include "import/SourceReader.h"

#include <QByteArray>
#include <QList>
#include <memory>

// Access databases (.mdb, .accdb without encryption) through mdbtools' libmdb: the user tables (not the
// MSys system tables), their columns and rows.
namespace importer {

class AccessReader : public SourceReader {
public:
    AccessReader();
    ~AccessReader() override;

    bool open(const QString& path) override;
    QStringList tables() const override { return tables_; }
    QList<SourceField> fields(const QString& table) override;
    bool beginRows(const QString& table) override;
    ReadResult nextRow(SourceRow& row) override;
    qint64 rowCountHint() const override { return rowCount_; }

private:
    struct Handles;
    void closeTable();

    std::unique_ptr<Handles> handles_;
    QStringList tables_;
    QList<SourceField> fields_;
    QList<QByteArray> buffers_;
    QList<int> lengths_;
    QList<int> types_;
    qint64 rowCount_ = -1;
};

} // namespace importer
