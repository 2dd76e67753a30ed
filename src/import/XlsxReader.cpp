#include "import/ExcelReader.h"
#include "import/ValueText.h"

#include <QFile>
#include <QIODevice>
#include <QXmlStreamReader>
#include <zip.h>

namespace importer {

namespace {

qint64 partSizeLimit = qint64(1) << 30;

// One part of the package read as it inflates, so that memory follows what the parser keeps rather than
// the part's size; reading stops with an error once the part has given more than the limit.
class ZipPartStream : public QIODevice {
public:
    ZipPartStream(zip_file_t* file, qint64 limit) : file_(file), limit_(limit) { open(QIODevice::ReadOnly); }
    ~ZipPartStream() override { zip_fclose(file_); }
    bool isSequential() const override { return true; }
    bool overLimit() const { return overLimit_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (overLimit_)
            return -1;
        const zip_int64_t read = zip_fread(file_, data, zip_uint64_t(maxSize));
        if (read < 0)
            return -1;
        inflated_ += read;
        if (inflated_ > limit_) {
            overLimit_ = true;
            return -1;
        }
        return read;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    zip_file_t* file_;
    qint64 limit_;
    qint64 inflated_ = 0;
    bool overLimit_ = false;
};

// A stream of one part; null when the part is missing or says it inflates beyond the limit.
std::unique_ptr<ZipPartStream> openPart(zip_t* archive, const QString& name) {
    const QByteArray entry = name.toUtf8();
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(archive, entry.constData(), ZIP_FL_NOCASE, &stat) != 0 ||
        ((stat.valid & ZIP_STAT_SIZE) && stat.size > zip_uint64_t(partSizeLimit)))
        return nullptr;
    zip_file_t* file = zip_fopen(archive, entry.constData(), ZIP_FL_NOCASE);
    if (!file)
        return nullptr;
    return std::make_unique<ZipPartStream>(file, partSizeLimit);
}

// A part name relative to xl/ made absolute within the package ("worksheets/sheet1.xml" -> "xl/...").
QString partName(const QString& target) {
    if (target.startsWith(u'/'))
        return target.mid(1);
    QStringList parts = QStringLiteral("xl").split(u'/');
    for (const QString& piece : target.split(u'/', Qt::SkipEmptyParts)) {
        if (piece == QLatin1String(".."))
            parts.removeLast();
        else if (piece != QLatin1String("."))
            parts.append(piece);
        if (parts.isEmpty())
            return {};
    }
    return parts.join(u'/');
}

// Built-in number formats that show dates and times.
bool isBuiltInDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) ||
           (id >= 50 && id <= 58);
}

struct ZipArchive {
    zip_t* archive = nullptr;
    ~ZipArchive() {
        if (archive)
            zip_discard(archive);
    }
};

} // namespace

int cellColumn(QStringView reference) {
    int column = 0;
    qsizetype i = 0;
    while (i < reference.size() && reference.at(i).isLetter() && reference.at(i).unicode() < 128) {
        column = column * 26 + (reference.at(i).toUpper().unicode() - u'A' + 1);
        if (column > 16384)
            return -1;
        ++i;
    }
    return i == 0 ? -1 : column - 1;
}

bool isDateFormat(QStringView formatCode) {
    bool quoted = false;
    bool bracket = false;
    for (qsizetype i = 0; i < formatCode.size(); ++i) {
        const QChar c = formatCode.at(i);
        if (quoted) {
            quoted = c != u'"';
            continue;
        }
        if (bracket) {
            bracket = c != u']';
            continue;
        }
        if (c == u'"')
            quoted = true;
        else if (c == u'[')
            bracket = true;
        else if (c == u'\\' || c == u'_' || c == u'*')
            ++i; // the next character is shown as it is
        else if (QStringLiteral("dmyhsDMYHS").contains(c))
            return true;
    }
    return false;
}

// The sheet being read: the package stays open while its part streams into the XML reader.
struct XlsxReader::Parser {
    ZipArchive zip;
    std::unique_ptr<ZipPartStream> part;
    QXmlStreamReader reader;
    int columns = 0;
};

void XlsxReader::setPartSizeLimit(qint64 bytes) {
    partSizeLimit = bytes;
}

XlsxReader::XlsxReader() = default;
XlsxReader::~XlsxReader() = default;

bool XlsxReader::open(const QString& path) {
    clearError();
    sheets_.clear();
    sharedStrings_.clear();
    dateStyles_.clear();
    date1904_ = false;
    path_ = path;
    ZipArchive zip;
    int error = 0;
    zip.archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!zip.archive)
        return fail(QStringLiteral("the file is not a zip package (libzip error %1)").arg(error));

    const std::unique_ptr<ZipPartStream> workbook = openPart(zip.archive, QStringLiteral("xl/workbook.xml"));
    if (!workbook)
        return fail(QStringLiteral("the package has no workbook, or it is too large"));
    const std::unique_ptr<ZipPartStream> relations =
        openPart(zip.archive, QStringLiteral("xl/_rels/workbook.xml.rels"));
    QHash<QString, QString> targets;
    QXmlStreamReader rels(relations.get());
    while (relations && rels.readNextStartElement()) {
        if (rels.name() == QLatin1String("Relationship"))
            targets.insert(rels.attributes().value(QLatin1String("Id")).toString(),
                           rels.attributes().value(QLatin1String("Target")).toString());
        if (rels.name() != QLatin1String("Relationships"))
            rels.skipCurrentElement();
    }

    QXmlStreamReader book(workbook.get());
    while (!book.atEnd()) {
        if (book.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (book.name() == QLatin1String("workbookPr")) {
            const QStringView value = book.attributes().value(QLatin1String("date1904"));
            date1904_ = value == QLatin1String("1") || value == QLatin1String("true");
        } else if (book.name() == QLatin1String("sheet")) {
            QString id;
            for (const QXmlStreamAttribute& attribute : book.attributes())
                if (attribute.name() == QLatin1String("id"))
                    id = attribute.value().toString();
            const QString part = partName(targets.value(id));
            if (!part.isEmpty())
                sheets_.append({book.attributes().value(QLatin1String("name")).toString(), part});
        }
    }
    if (book.hasError() || workbook->overLimit() || (relations && relations->overLimit()))
        return fail(QStringLiteral("the workbook part is not well-formed XML or too large"));

    // Shared strings: the text of every <si>, runs joined, phonetic hints left out.
    if (const std::unique_ptr<ZipPartStream> strings =
            openPart(zip.archive, QStringLiteral("xl/sharedStrings.xml"))) {
        QXmlStreamReader xml(strings.get());
        QString current;
        int phonetic = 0;
        bool inText = false;
        while (!xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::StartElement:
                if (xml.name() == QLatin1String("si"))
                    current.clear();
                else if (xml.name() == QLatin1String("rPh"))
                    ++phonetic;
                else if (xml.name() == QLatin1String("t"))
                    inText = phonetic == 0;
                break;
            case QXmlStreamReader::EndElement:
                if (xml.name() == QLatin1String("si"))
                    sharedStrings_.append(current);
                else if (xml.name() == QLatin1String("rPh"))
                    --phonetic;
                else if (xml.name() == QLatin1String("t"))
                    inText = false;
                break;
            case QXmlStreamReader::Characters:
                if (inText)
                    current += xml.text();
                break;
            default:
                break;
            }
        }
        if (strings->overLimit())
            return fail(QStringLiteral("the shared strings inflate beyond %1 bytes").arg(partSizeLimit));
        if (xml.hasError())
            return fail(QStringLiteral("the shared strings are not well-formed XML"));
    }

    // Styles: which cell formats show dates.
    if (const std::unique_ptr<ZipPartStream> styles =
            openPart(zip.archive, QStringLiteral("xl/styles.xml"))) {
        QXmlStreamReader xml(styles.get());
        QSet<int> dateFormats;
        bool inCellXfs = false;
        int xfIndex = 0;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("cellXfs"))
                inCellXfs = false;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("numFmt")) {
                if (isDateFormat(xml.attributes().value(QLatin1String("formatCode"))))
                    dateFormats.insert(xml.attributes().value(QLatin1String("numFmtId")).toInt());
            } else if (xml.name() == QLatin1String("cellXfs")) {
                inCellXfs = true;
            } else if (inCellXfs && xml.name() == QLatin1String("xf")) {
                const int format = xml.attributes().value(QLatin1String("numFmtId")).toInt();
                if (dateFormats.contains(format) || isBuiltInDateFormat(format))
                    dateStyles_.insert(xfIndex);
                ++xfIndex;
            }
        }
    }
    if (sheets_.isEmpty())
        return fail(QStringLiteral("the workbook has no sheets"));
    return true;
}

QStringList XlsxReader::tables() const {
    QStringList names;
    for (const Sheet& sheet : sheets_)
        names << sheet.name + u'$';
    return names;
}

bool XlsxReader::loadSheet(const QString& table) {
    parser_.reset();
    fields_.clear();
    const Sheet* sheet = nullptr;
    for (const Sheet& candidate : sheets_)
        if (candidate.name + u'$' == table)
            sheet = &candidate;
    if (!sheet)
        return fail(QStringLiteral("there is no sheet %1").arg(table));
    auto parser = std::make_unique<Parser>();
    int error = 0;
    parser->zip.archive = zip_open(QFile::encodeName(path_).constData(), ZIP_RDONLY, &error);
    if (parser->zip.archive)
        parser->part = openPart(parser->zip.archive, sheet->part);
    if (!parser->part)
        return fail(QStringLiteral("the sheet %1 cannot be read, or it is too large").arg(table));
    parser->reader.setDevice(parser->part.get());
    parser_ = std::move(parser);
    return true;
}

QList<SourceField> XlsxReader::fields(const QString& table) {
    if (!beginRows(table))
        return {};
    return fields_;
}

bool XlsxReader::beginRows(const QString& table) {
    if (!loadSheet(table))
        return false;
    // The first row names the fields; the sheet's dimension may reach further to the right.
    SourceRow names;
    int columns = 0;
    QXmlStreamReader& xml = parser_->reader;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("dimension")) {
            const QStringView ref = xml.attributes().value(QLatin1String("ref"));
            const qsizetype colon = ref.indexOf(u':');
            if (colon > 0)
                columns = qMax(columns, cellColumn(ref.mid(colon + 1)) + 1);
        } else if (xml.name() == QLatin1String("sheetData")) {
            break;
        }
    }
    parser_->columns = 0;
    const ReadResult first = nextRow(names);
    if (first == ReadResult::Failed)
        return false;
    columns = qMax(columns, int(names.size()));
    if (first == ReadResult::End || columns == 0)
        return fail(QStringLiteral("the sheet %1 is empty").arg(table));
    names.resize(columns);
    for (QString& name : names)
        name = name.trimmed();
    for (const QString& name : uniqueFieldNames(names))
        fields_.append({name, FieldKind::Text, QStringLiteral("Cell"), 255});
    parser_->columns = columns;
    return true;
}

SourceReader::ReadResult XlsxReader::sheetFailed() {
    if (parser_->part->overLimit())
        fail(QStringLiteral("the sheet inflates beyond %1 bytes").arg(partSizeLimit));
    else
        fail(QStringLiteral("the sheet is not well-formed XML: ") + parser_->reader.errorString());
    return ReadResult::Failed;
}

SourceReader::ReadResult XlsxReader::nextRow(SourceRow& row) {
    if (!parser_)
        return ReadResult::Failed;
    QXmlStreamReader& xml = parser_->reader;
    for (;;) {
        // The next <row>.
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::StartElement && xml.name() == QLatin1String("row"))
                break;
            if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("sheetData"))
                return ReadResult::End;
        }
        if (xml.hasError())
            return sheetFailed();
        if (xml.atEnd())
            return ReadResult::End;

        row.clear();
        if (parser_->columns > 0)
            row.resize(parser_->columns);
        bool any = false;
        int nextColumn = 0;
        while (xml.readNextStartElement()) {
            if (xml.name() != QLatin1String("c")) {
                xml.skipCurrentElement();
                continue;
            }
            const QXmlStreamAttributes attributes = xml.attributes();
            int column = cellColumn(attributes.value(QLatin1String("r")));
            if (column < 0)
                column = nextColumn;
            nextColumn = column + 1;
            const QString type = attributes.value(QLatin1String("t")).toString();
            const int style = attributes.value(QLatin1String("s")).toInt();
            QString value;
            bool hasValue = false;
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("v")) {
                    value = xml.readElementText();
                    hasValue = true;
                } else if (xml.name() == QLatin1String("is")) {
                    // Inline string: the text of every <t> inside.
                    while (xml.readNextStartElement()) {
                        if (xml.name() == QLatin1String("t"))
                            value += xml.readElementText(QXmlStreamReader::IncludeChildElements);
                        else if (xml.name() == QLatin1String("r")) {
                            while (xml.readNextStartElement()) {
                                if (xml.name() == QLatin1String("t"))
                                    value += xml.readElementText();
                                else
                                    xml.skipCurrentElement();
                            }
                        } else
                            xml.skipCurrentElement();
                    }
                    hasValue = true;
                } else {
                    xml.skipCurrentElement();
                }
            }
            QString text;
            if (hasValue) {
                if (type == QLatin1String("s")) {
                    bool ok = false;
                    const int index = value.trimmed().toInt(&ok);
                    text = ok ? sharedStrings_.value(index) : QString();
                } else if (type == QLatin1String("b")) {
                    text = boolText(value.trimmed() == QLatin1String("1"));
                } else if (type == QLatin1String("e")) {
                    text.clear();
                } else if (type == QLatin1String("str") || type == QLatin1String("inlineStr") ||
                           type == QLatin1String("d")) {
                    text = value;
                } else if (dateStyles_.contains(style)) {
                    bool ok = false;
                    const double serial = value.toDouble(&ok);
                    // The 1900 system counts a 29 February 1900 that never was: days before it start a day
                    // later.
                    const QDate zero = date1904_ ? QDate(1904, 1, 1)
                                                 : (serial < 61 ? QDate(1899, 12, 31) : QDate(1899, 12, 30));
                    text = ok ? dateTimeText(serialToDateTime(serial, zero)) : value;
                } else {
                    text = normalizedNumber(value);
                }
            }
            if (text.isEmpty())
                continue;
            any = true;
            if (parser_->columns > 0 && column >= parser_->columns)
                continue;
            if (column >= row.size()) {
                if (column > 16384)
                    continue;
                row.resize(column + 1);
            }
            row[column] = text;
        }
        if (xml.hasError())
            return sheetFailed();
        if (any || parser_->columns == 0)
            return ReadResult::Row;
    }
}

} // namespace importer
