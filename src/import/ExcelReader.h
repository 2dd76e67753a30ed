#pragma once

#include "import/SourceReader.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <memory>

// Excel workbooks: every worksheet is a table named with a final "$" ("Contacts$"); its first row names the
// fields, the rows below are the records (rows without any value are passed over).
namespace importer {

// .xls (BIFF 5 and 8) through FreeXL. FreeXL reports logical cells as numbers; the workbook stream is
// scanned once (through libgsf) to know which cells hold logical values and which hold errors.
class XlsReader : public SourceReader {
public:
    XlsReader();
    ~XlsReader() override;

    bool open(const QString& path) override;
    QStringList tables() const override { return tables_; }
    QList<SourceField> fields(const QString& table) override;
    bool beginRows(const QString& table) override;
    ReadResult nextRow(SourceRow& row) override;
    qint64 rowCountHint() const override { return rows_ > 0 ? rows_ - 1 : -1; }

private:
    bool selectSheet(const QString& table);
    QString cellText(unsigned int row, unsigned short column);

    const void* handle_ = nullptr;
    QStringList tables_;
    QList<SourceField> fields_;
    unsigned int rows_ = 0;
    unsigned short columns_ = 0;
    unsigned int next_ = 0;
    // Per sheet name: the cells (row << 16 | column) holding logical values (true / false) and errors.
    QHash<QString, QHash<quint64, int>> special_;
    const QHash<quint64, int>* sheetCells_ = nullptr; // the selected sheet's part of special_
};

// .xlsx (Office Open XML) through libzip and Qt's XML reader.
class XlsxReader : public SourceReader {
public:
    XlsxReader();
    ~XlsxReader() override;

    bool open(const QString& path) override;
    QStringList tables() const override;
    QList<SourceField> fields(const QString& table) override;
    bool beginRows(const QString& table) override;
    ReadResult nextRow(SourceRow& row) override;

    // The most bytes one part of the package may inflate to (1 GiB); larger parts are refused.
    static void setPartSizeLimit(qint64 bytes);

private:
    struct Sheet {
        QString name;
        QString part; // the sheet's XML part inside the package
    };
    struct Parser;
    bool loadSheet(const QString& table);
    ReadResult sheetFailed();

    QString path_;
    QList<Sheet> sheets_;
    QStringList sharedStrings_;
    QSet<int> dateStyles_; // cellXfs indexes whose number format shows a date
    bool date1904_ = false;
    QList<SourceField> fields_;
    std::unique_ptr<Parser> parser_;
};

// The position of a cell reference's column ("A1" -> 0, "AB7" -> 27); -1 when it has none.
int cellColumn(QStringView reference);
// Whether an Excel number format shows a date or a time ("yyyy\-mm\-dd", "m/d/yy h:mm"): a d, m, y, h or s
// outside quotes, brackets and escapes.
bool isDateFormat(QStringView formatCode);

} // namespace importer
