#include "import/ExcelReader.h"
#include "import/ValueText.h"

#include <QFile>
#include <freexl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

namespace importer {

namespace {

constexpr qint64 MaxStreamBytes = 512 * 1024 * 1024;
enum Special { LogicalFalse = 0, LogicalTrue = 1, ErrorValue = 2 };

quint16 le16(const unsigned char* p) {
    return quint16(p[0] | (p[1] << 8));
}
quint32 le32(const unsigned char* p) {
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// The workbook stream of the compound file, or empty.
QByteArray workbookStream(const QString& path) {
    static const bool initialised = [] {
        gsf_init();
        return true;
    }();
    Q_UNUSED(initialised);
    QByteArray bytes;
    GsfInput* input = gsf_input_stdio_new(QFile::encodeName(path).constData(), nullptr);
    if (!input)
        return bytes;
    GsfInfile* container = gsf_infile_msole_new(input, nullptr);
    g_object_unref(input);
    if (!container)
        return bytes;
    GsfInput* stream = gsf_infile_child_by_name(container, "Workbook");
    if (!stream)
        stream = gsf_infile_child_by_name(container, "Book");
    if (stream) {
        const gsf_off_t size = gsf_input_size(stream);
        if (size > 0 && size <= MaxStreamBytes) {
            bytes.resize(qsizetype(size));
            if (!gsf_input_read(stream, size_t(size), reinterpret_cast<guint8*>(bytes.data())))
                bytes.clear();
        }
        g_object_unref(stream);
    }
    g_object_unref(container);
    return bytes;
}

// The sheet name of a BOUNDSHEET record (BIFF8: length, flags, then Latin-1 or UTF-16; BIFF5: length, bytes).
QString boundSheetName(const unsigned char* data, int length) {
    if (length < 8)
        return {};
    const int count = data[6];
    if (length >= 8 + count && (data[7] == 0 || data[7] == 1)) {
        if (data[7] == 0)
            return QString::fromLatin1(reinterpret_cast<const char*>(data + 8), count);
        if (length >= 8 + 2 * count) {
            QString name;
            for (int i = 0; i < count; ++i)
                name.append(QChar(le16(data + 8 + 2 * i)));
            return name;
        }
    }
    return QString::fromLatin1(reinterpret_cast<const char*>(data + 7), qMin(count, length - 7));
}

// The logical and error cells of every worksheet, found by walking the BIFF records.
QHash<QString, QHash<quint64, int>> specialCells(const QByteArray& stream) {
    QHash<QString, QHash<quint64, int>> cells;
    QHash<quint32, QString> sheetAt; // stream offset of a worksheet's BOF -> its name
    const auto* bytes = reinterpret_cast<const unsigned char*>(stream.constData());
    const qint64 size = stream.size();
    QString current;
    for (qint64 at = 0; at + 4 <= size;) {
        const int type = le16(bytes + at);
        const int length = le16(bytes + at + 2);
        if (at + 4 + length > size)
            break;
        const unsigned char* data = bytes + at + 4;
        if (type == 0x0085 && length >= 6 && data[5] == 0) {
            sheetAt.insert(le32(data), boundSheetName(data, length));
        } else if (type == 0x0809) {
            current = sheetAt.value(quint32(at));
        } else if (type == 0x0205 && length >= 8 && !current.isEmpty()) {
            const quint64 key = (quint64(le16(data)) << 16) | le16(data + 2);
            cells[current].insert(key, data[7] ? ErrorValue : (data[6] ? LogicalTrue : LogicalFalse));
        }
        at += 4 + length;
    }
    return cells;
}

} // namespace

XlsReader::XlsReader() = default;

XlsReader::~XlsReader() {
    if (handle_)
        freexl_close(handle_);
}

bool XlsReader::open(const QString& path) {
    clearError();
    if (handle_)
        freexl_close(handle_);
    handle_ = nullptr;
    tables_.clear();
    special_.clear();
    sheetCells_ = nullptr;
    const void* handle = nullptr;
    const int rc = freexl_open(QFile::encodeName(path).constData(), &handle);
    if (rc != FREEXL_OK) {
        if (handle)
            freexl_close(handle);
        return fail(QStringLiteral("FreeXL cannot open the workbook (error %1)").arg(rc));
    }
    handle_ = handle;
    unsigned int info = 0;
    if (freexl_get_info(handle_, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        return fail(QStringLiteral("the workbook is protected by a password"));
    unsigned int sheets = 0;
    if (freexl_get_info(handle_, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK)
        return fail(QStringLiteral("the workbook's sheets cannot be counted"));
    for (unsigned int i = 0; i < sheets && i < 0xFFFF; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle_, static_cast<unsigned short>(i), &name) == FREEXL_OK && name)
            tables_.append(QString::fromUtf8(name) + u'$');
    }
    special_ = specialCells(workbookStream(path));
    return true;
}

bool XlsReader::selectSheet(const QString& table) {
    const qsizetype index = tables_.indexOf(table);
    if (!handle_ || index < 0)
        return fail(QStringLiteral("there is no sheet %1").arg(table));
    if (freexl_select_active_worksheet(handle_, static_cast<unsigned short>(index)) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle_, &rows_, &columns_) != FREEXL_OK)
        return fail(QStringLiteral("the sheet %1 cannot be read").arg(table));
    const auto cells = special_.constFind(table.chopped(1));
    sheetCells_ = cells != special_.constEnd() ? &cells.value() : nullptr;
    return true;
}

QString XlsReader::cellText(unsigned int row, unsigned short column) {
    if (sheetCells_) {
        const auto special = sheetCells_->constFind((quint64(row) << 16) | column);
        if (special != sheetCells_->constEnd())
            return special.value() == ErrorValue ? QString() : boolText(special.value() == LogicalTrue);
    }
    FreeXL_CellValue cell;
    if (freexl_get_cell_value(handle_, row, column, &cell) != FREEXL_OK)
        return {};
    switch (cell.type) {
    case FREEXL_CELL_INT:
        return numberText(qint64(cell.value.int_value));
    case FREEXL_CELL_DOUBLE:
        return numberText(cell.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_TIME: {
        const QString text = cell.value.text_value ? QString::fromUtf8(cell.value.text_value) : QString();
        return text.isEmpty() ? QString() : text;
    }
    case FREEXL_CELL_DATETIME: {
        const QString text = cell.value.text_value ? QString::fromUtf8(cell.value.text_value) : QString();
        return text.endsWith(QLatin1String(" 00:00:00")) ? text.chopped(9) : text;
    }
    default:
        return {};
    }
}

QList<SourceField> XlsReader::fields(const QString& table) {
    fields_.clear();
    if (!selectSheet(table))
        return {};
    if (rows_ == 0 || columns_ == 0) {
        fail(QStringLiteral("the sheet %1 is empty").arg(table));
        return {};
    }
    QStringList names;
    for (unsigned short column = 0; column < columns_; ++column)
        names << cellText(0, column).trimmed();
    for (const QString& name : uniqueFieldNames(names))
        fields_.append({name, FieldKind::Text, QStringLiteral("Cell"), 255});
    return fields_;
}

bool XlsReader::beginRows(const QString& table) {
    if (fields(table).isEmpty())
        return false;
    next_ = 1;
    return true;
}

SourceReader::ReadResult XlsReader::nextRow(SourceRow& row) {
    if (!handle_ || fields_.isEmpty())
        return ReadResult::Failed;
    while (next_ < rows_) {
        const unsigned int current = next_++;
        row.clear();
        bool any = false;
        for (unsigned short column = 0; column < columns_; ++column) {
            const QString text = cellText(current, column);
            any = any || !text.isEmpty();
            row.append(text);
        }
        if (any)
            return ReadResult::Row;
    }
    return ReadResult::End;
}

} // namespace importer
