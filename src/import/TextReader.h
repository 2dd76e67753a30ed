#pragma once

#include "import/CodePage.h"
#include "import/CsvParser.h"
#include "import/SourceReader.h"

#include <QFile>
#include <QStringDecoder>
#include <memory>

// Delimited text files (.csv, .txt): one table named after the file; the first record names the fields;
// every field is text. The delimiter (comma, semicolon or tab) and the encoding (UTF-8 with or without
// a byte-order mark, UTF-16 with one, else Windows-1252) are found from the file itself.
namespace importer {

class TextReader : public SourceReader {
public:
    bool open(const QString& path) override;
    QStringList tables() const override;
    QList<SourceField> fields(const QString& table) override;
    bool beginRows(const QString& table) override;
    ReadResult nextRow(SourceRow& row) override;

    QChar delimiter() const { return parser_.delimiter(); }
    TextEncoding encoding() const { return encoding_.encoding; }

private:
    bool startReading();
    // Reads the next piece of the file into the text buffer; false at the end of the file.
    bool readMore(qint64 bytes);
    // The next record, reading more of the file as it needs.
    CsvParser::Status nextRecord(QStringList& fields);

    QString path_;
    QString tableName_;
    QList<SourceField> fields_;
    TextEncodingGuess encoding_;
    CsvParser parser_;
    QFile file_;
    std::unique_ptr<QStringDecoder> decoder_;
    std::unique_ptr<CodePageDecoder> codePage_;
    QString buffer_;
    qsizetype pos_ = 0;
    bool atEnd_ = false;
    qint64 record_ = 0;
    bool opened_ = false;
};

} // namespace importer
