#include "import/AccessReader.h"
#include "import/ExcelReader.h"
#include "import/GoldMineReader.h"
#include "import/IsolatedReader.h"
#include "import/ParadoxReader.h"
#include "import/SourceReader.h"
#include "import/TextReader.h"
#include "import/XBaseTable.h"
#include "util/FileNameObject.h"

#include <QFile>
#include <QFileInfo>

namespace importer {

namespace {

// Workbooks saved by newer programs are zip packages whatever their suffix says.
bool isZipPackage(const QString& path) {
    QFile file(path);
    return FileNameObject::IsRegularFile(path) && file.open(QIODevice::ReadOnly) &&
           file.read(4) == QByteArrayView("PK\x03\x04");
}

bool isXlsxWorkbook(const QString& path) {
    return isZipPackage(path) ||
           QFileInfo(path).suffix().startsWith(QLatin1String("xlsx"), Qt::CaseInsensitive);
}

// The families read by third-party C libraries, which run in a child process; ours stay here.
bool needsChildProcess(const SourceType& type, const QString& path) {
    return type.family == SourceFamily::Access || type.family == SourceFamily::Paradox ||
           (type.family == SourceFamily::Excel && !isXlsxWorkbook(path));
}

} // namespace

std::unique_ptr<SourceReader> createInProcessReader(const SourceType& type, const QString& path) {
    switch (type.family) {
    case SourceFamily::Access:
        return std::make_unique<AccessReader>();
    case SourceFamily::XBase:
    case SourceFamily::ActContacts:
        return std::make_unique<XBaseReader>();
    case SourceFamily::GoldMine:
        return std::make_unique<GoldMineReader>();
    case SourceFamily::Excel:
        if (isXlsxWorkbook(path))
            return std::make_unique<XlsxReader>();
        return std::make_unique<XlsReader>();
    case SourceFamily::Paradox:
        return std::make_unique<ParadoxReader>();
    case SourceFamily::Text:
        return std::make_unique<TextReader>();
    case SourceFamily::Btrieve:
    case SourceFamily::Unknown:
        return nullptr;
    }
    return nullptr;
}

std::unique_ptr<SourceReader> createSourceReader(const SourceType& type, const QString& path) {
    if (needsChildProcess(type, path))
        return std::make_unique<IsolatedReader>(type);
    return createInProcessReader(type, path);
}

} // namespace importer
