// libFuzzer: a dBase / FoxPro table and its memo file from arbitrary bytes. The first two bytes choose where
// the table ends and the memo file begins, and which memo layout the table claims.
#include "import/XBaseTable.h"

#include <cstddef>
#include <cstdint>

using namespace importer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const size_t split = 2 + (size_t(data[0]) | (size_t(data[1]) << 8)) % (size - 1);
    const char* table = reinterpret_cast<const char*>(data + 2);
    const qint64 tableSize = qint64(split - 2);
    const char* memo = reinterpret_cast<const char*>(data + split);
    const qint64 memoSize = qint64(size - split);

    XBaseTable reader;
    QString error;
    if (!reader.open(std::make_unique<MemoryByteSource>(table, tableSize), &error))
        return 0;
    reader.attachMemo(std::make_unique<MemoryByteSource>(memo, memoSize));
    reader.sourceFields();
    QStringList values;
    // The header may claim millions of records in a short file only when they are all there; a few thousand
    // cover every path.
    for (qint64 i = 0; i < reader.recordCount() && i < 4096; ++i)
        if (reader.readRecord(i, values) == XBaseTable::RecordState::Failed)
            break;
    return 0;
}
