#pragma once

#include "import/SourceReader.h"
#include "import/XBaseTable.h"

#include <QHash>

// GoldMine's dBase tables joined into one: every contact of CONTACT1 with each of its CONTSUPP records of
// kind "E-mail Address" gives one row, the address in CONTSUPREF followed by all contact fields. A contact
// without an address gives one row with CONTSUPREF empty, so that it is not lost.
namespace importer {

class GoldMineReader : public SourceReader {
public:
    // Opens CONTACT1.DBF and CONTSUPP.DBF in the folder of path (any file of that folder may be chosen).
    bool open(const QString& path) override;
    QStringList tables() const override;
    QList<SourceField> fields(const QString& table) override;
    bool beginRows(const QString& table) override;
    ReadResult nextRow(SourceRow& row) override;
    qint64 rowCountHint() const override { return contacts_.recordCount(); }

    static QString tableName() { return QStringLiteral("CONTACT1"); }
    static QString addressField() { return QStringLiteral("CONTSUPREF"); }

private:
    XBaseTable contacts_;
    QList<SourceField> fields_;
    int accountField_ = -1;
    QHash<QString, QStringList>
        addresses_; // account number (case-folded) -> its e-mail addresses in file order
    qint64 next_ = 0;
    SourceRow contact_;
    QStringList pending_; // addresses of the current contact still to give
    bool opened_ = false;
};

} // namespace importer
