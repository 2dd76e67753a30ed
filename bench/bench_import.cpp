// Contact database import: a 1,000,000-row CSV and a 200,000-row dBase table into a new list, beside the
// sqlite3 shell's .import of the same CSV; and what reading through a child process costs the readers
// built on C libraries (Paradox, Excel .xls, Access), against reading the same files in this process.
#include "BenchSupport.h"
#include "core/AppSettings.h"
#include "core/Prompter.h"
#include "import/ImportEngine.h"
#include "import/IsolatedReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

using namespace importer;

namespace {

struct Timing {
    double wall = 0;
    double cpu = 0;
};

const QStringList Header = {"ID",   "First Name",     "Last Name", "Company", "E-mail", "Phone",
                            "City", "Customer Since", "Active",    "Balance", "Notes"};

QString writeCsv(const QString& path, int rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QByteArray chunk = Header.join(u',').toUtf8() + '\n';
    for (int i = 0; i < rows; ++i) {
        chunk += QByteArray::number(i) + ",First" + QByteArray::number(i) + ",Last" + QByteArray::number(i) +
                 ",\"Company " + QByteArray::number(i % 1000) + ", Ltd.\",person" + QByteArray::number(i) +
                 "@example.com,+1 555 " + QByteArray::number(i % 10000) + ",City" +
                 QByteArray::number(i % 500) + ",2019-03-" + QByteArray::number(i % 28 + 10) + ",TRUE," +
                 QByteArray::number(i % 5000) + ".50,Some note about contact " + QByteArray::number(i) + '\n';
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return path;
}

// A dBase III table of the same columns (no memo), written byte by byte.
QString writeDbf(const QString& path, int rows) {
    struct Field {
        const char* name;
        char type;
        int length;
        int decimals;
    };
    const Field fields[] = {{"ID", 'N', 8, 0},       {"FIRSTNAME", 'C', 20, 0}, {"LASTNAME", 'C', 25, 0},
                            {"COMPANY", 'C', 40, 0}, {"EMAIL", 'C', 60, 0},     {"PHONE", 'C', 20, 0},
                            {"CITY", 'C', 25, 0},    {"SINCE", 'D', 8, 0},      {"ACTIVE", 'L', 1, 0},
                            {"BALANCE", 'N', 10, 2}};
    const int count = int(std::size(fields));
    int recordLength = 1;
    for (const Field& field : fields)
        recordLength += field.length;
    const int headerLength = 32 + 32 * count + 1;
    QByteArray header(headerLength, '\0');
    header[0] = 0x03;
    header[1] = char(124);
    header[2] = 1;
    header[3] = 1;
    for (int i = 0; i < 4; ++i)
        header[4 + i] = char((quint32(rows) >> (8 * i)) & 0xFF);
    header[8] = char(headerLength & 0xFF);
    header[9] = char(headerLength >> 8);
    header[10] = char(recordLength & 0xFF);
    header[11] = char(recordLength >> 8);
    header[29] = 0x03;
    for (int f = 0; f < count; ++f) {
        char* d = header.data() + 32 + 32 * f;
        qstrncpy(d, fields[f].name, 11);
        d[11] = fields[f].type;
        d[16] = char(fields[f].length);
        d[17] = char(fields[f].decimals);
    }
    header[headerLength - 1] = '\r';
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(header);
    QByteArray chunk;
    for (int i = 0; i < rows; ++i) {
        const QByteArray values[] = {QByteArray::number(i),
                                     "First" + QByteArray::number(i),
                                     "Last" + QByteArray::number(i),
                                     "Company " + QByteArray::number(i % 1000) + ", Ltd.",
                                     "person" + QByteArray::number(i) + "@example.com",
                                     "+1 555 " + QByteArray::number(i % 10000),
                                     "City" + QByteArray::number(i % 500),
                                     "201903" + QByteArray::number(i % 18 + 10),
                                     "T",
                                     QByteArray::number(i % 5000) + ".50"};
        chunk += ' ';
        for (int f = 0; f < count; ++f) {
            const QByteArray pad(fields[f].length - values[f].size(), ' ');
            chunk += fields[f].type == 'N' ? pad + values[f] : values[f] + pad;
        }
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    chunk += '\x1A';
    file.write(chunk);
    return path;
}

Timing importFile(const SourceType& type, const QString& path, const QString& email, const QStringList& keep,
                  qint64* rows) {
    BenchPrompter prompter(true);
    ImportRequest request;
    request.type = type;
    request.path = path;
    request.roles.email = email;
    request.roles.keep = keep;
    QElapsedTimer timer;
    const double cpu = cpuSeconds(RUSAGE_SELF);
    timer.start();
    ImportJob job(request, prompter);
    const ImportResult result = job.run();
    const Timing timing{timer.nsecsElapsed() / 1e9, cpuSeconds(RUSAGE_SELF) - cpu};
    *rows = result.summary.rowsImported;
    QFile::remove(result.listPath);
    return timing;
}

// The sqlite3 shell's .import of the CSV into a new database; negative when the shell is not there.
Timing sqliteImport(const QString& csv, const QString& folder) {
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        return {-1, -1};
    const QString database = folder + QStringLiteral("/reference.db");
    QFile::remove(database);
    QProcess process;
    QElapsedTimer timer;
    const double cpu = cpuSeconds(RUSAGE_CHILDREN);
    timer.start();
    process.start(shell, {database});
    process.write(".mode csv\n.import '" + csv.toUtf8() + "' contacts\n.quit\n");
    process.closeWriteChannel();
    process.waitForFinished(-1);
    const Timing timing{timer.nsecsElapsed() / 1e9, cpuSeconds(RUSAGE_CHILDREN) - cpu};
    QFile::remove(database);
    return process.exitCode() == 0 ? timing : Timing{-1, -1};
}

quint16 le16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint16(u[0] | (u[1] << 8));
}
void putLe(char* p, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        p[i] = char((value >> (8 * i)) & 0xFF);
}

QByteArray fixtureBytes(const QString& relative) {
    QFile file(QStringLiteral(TAMBERLYN_FIXTURES_DIR "/import/") + relative);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A Paradox table of blocks copies of the fixture's one data block, chained in order, with its memo file.
QString writeParadox(const QString& folder, int blocks, qint64* records) {
    const QByteArray base = fixtureBytes(QStringLiteral("paradox/contacts/CONTACTS.DB"));
    const QByteArray memo = fixtureBytes(QStringLiteral("paradox/contacts/CONTACTS.MB"));
    if (base.size() < 0x78 || memo.isEmpty())
        return {};
    const int recordSize = le16(base.constData());
    const int headerSize = le16(base.constData() + 2);
    const int blockSize = static_cast<unsigned char>(base.at(5)) * 1024;
    const QByteArray block = base.mid(headerSize, blockSize);
    *records = qint64(blocks) * (le16(block.constData() + 4) / recordSize + 1);
    QByteArray header = base.left(headerSize);
    putLe(header.data() + 0x06, quint32(*records), 4);
    putLe(header.data() + 0x0A, quint32(blocks), 2);
    putLe(header.data() + 0x0C, quint32(blocks), 2);
    putLe(header.data() + 0x0E, 1, 2);
    putLe(header.data() + 0x10, quint32(blocks), 2);
    QFile table(folder + QStringLiteral("/BIG.DB"));
    QFile memoFile(folder + QStringLiteral("/BIG.MB"));
    if (!table.open(QIODevice::WriteOnly) || !memoFile.open(QIODevice::WriteOnly))
        return {};
    memoFile.write(memo);
    table.write(header);
    for (int b = 1; b <= blocks; ++b) {
        QByteArray copy = block;
        putLe(copy.data(), quint32(b < blocks ? b + 1 : 0), 2);
        putLe(copy.data() + 2, quint32(b - 1), 2);
        table.write(copy);
    }
    return table.fileName();
}

// Reads every row of the table repeats times, each time with a new reader (opening included).
Timing readRows(const std::function<std::unique_ptr<SourceReader>()>& make, const QString& path,
                const QString& table, int repeats, qint64* rows) {
    QElapsedTimer timer;
    const double cpu = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
    timer.start();
    *rows = 0;
    for (int i = 0; i < repeats; ++i) {
        const std::unique_ptr<SourceReader> reader = make();
        if (!reader->open(path) || !reader->beginRows(table)) {
            std::fprintf(stderr, "  cannot read %s: %s\n", qPrintable(path), qPrintable(reader->errorText()));
            return {-1, -1};
        }
        SourceRow row;
        while (reader->nextRow(row) == SourceReader::ReadResult::Row)
            ++*rows;
    }
    return {timer.nsecsElapsed() / 1e9, cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN) - cpu};
}

// The same reading in this process and through the child, side by side.
void compareIsolation(const char* what, const QString& code, const QString& path, const QString& table,
                      int repeats) {
    const SourceType type = sourceTypeByCode(code);
    qint64 rows = 0;
    const Timing here =
        readRows([&] { return createInProcessReader(type, path); }, path, table, repeats, &rows);
    const Timing child =
        readRows([&] { return std::make_unique<IsolatedReader>(type); }, path, table, repeats, &rows);
    if (here.wall < 0 || child.wall < 0)
        return;
    std::printf("%s, %d opening(s), %lld rows: in this process %.3f s (processor %.3f s); through the child "
                "%.3f s (processor %.3f s, this process and the child); %.2fx the time, %.1f ms more per "
                "opening\n",
                what, repeats, static_cast<long long>(rows), here.wall, here.cpu, child.wall, child.cpu,
                child.wall / here.wall, (child.wall - here.wall) * 1000 / repeats);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const BenchHome dir(QStringLiteral("home"));
    if (!dir.isValid())
        return 1;

    // Wall time depends on what else the machine does; processor time is the steadier comparison.
    const int csvRows = 1000000;
    const QString csv = writeCsv(dir.filePath(QStringLiteral("contacts.csv")), csvRows);
    const Timing reference = sqliteImport(csv, dir.path());
    if (reference.wall > 0)
        std::printf("sqlite3 shell .import of the CSV (the reference): %d rows in %.2f s = %.0f rows/s; "
                    "processor %.2f s\n",
                    csvRows, reference.wall, csvRows / reference.wall, reference.cpu);
    else
        std::printf("sqlite3 shell not found: no reference figure (apt-get install sqlite3)\n");

    const auto report = [&reference](const char* what, qint64 rows, const Timing& timing) {
        std::printf("%s: %lld rows in %.2f s = %.0f rows/s; processor %.2f s", what,
                    static_cast<long long>(rows), timing.wall, rows / timing.wall, timing.cpu);
        if (reference.wall > 0)
            std::printf(" (%.2fx the shell's time, %.2fx its processor time per row; target <= 2x)",
                        (timing.wall / rows) / (reference.wall / 1000000),
                        (timing.cpu / rows) / (reference.cpu / 1000000));
        std::printf("\n");
    };
    qint64 rows = 0;
    const SourceType text = sourceTypeByCode(QStringLiteral("DBTEXTFILE"));
    QStringList others = Header;
    others.removeAll(QStringLiteral("E-mail"));
    const Timing wide = importFile(text, csv, QStringLiteral("E-mail"), others, &rows);
    report("Import of the CSV, every column kept", rows, wide);
    const Timing narrow = importFile(text, csv, QStringLiteral("E-mail"),
                                     {QStringLiteral("First Name"), QStringLiteral("Last Name")}, &rows);
    std::printf("  (address and names only: %.2f s = %.0f rows/s; processor %.2f s)\n", narrow.wall,
                rows / narrow.wall, narrow.cpu);
    QFile::remove(csv);

    const int dbfRows = 200000;
    const QString table = writeDbf(dir.filePath(QStringLiteral("CONTACTS.DBF")), dbfRows);
    const QStringList fields = {"ID",   "FIRSTNAME", "LASTNAME", "COMPANY", "PHONE",
                                "CITY", "SINCE",     "ACTIVE",   "BALANCE"};
    const Timing dbase = importFile(sourceTypeByCode(QStringLiteral("DBDBASE3")), table,
                                    QStringLiteral("EMAIL"), fields, &rows);
    report("Import of the dBase table, every column kept", rows, dbase);
    QFile::remove(table);

    IsolatedReader::setProgram(QStringLiteral(TAMBERLYN_EXECUTABLE));
    qint64 paradoxRows = 0;
    const QString paradox = writeParadox(dir.path(), 1000, &paradoxRows);
    if (!paradox.isEmpty())
        compareIsolation("Paradox table", QStringLiteral("DBPARADOX5"), paradox, QStringLiteral("BIG"), 1);
    compareIsolation("Paradox fixture", QStringLiteral("DBPARADOX5"),
                     QStringLiteral(TAMBERLYN_FIXTURES_DIR "/import/paradox/contacts/CONTACTS.DB"),
                     QStringLiteral("CONTACTS"), 100);
    compareIsolation("Excel .xls fixture", QStringLiteral("DBEXCEL5"),
                     QStringLiteral(TAMBERLYN_FIXTURES_DIR "/import/excel/workbook/contacts.xls"),
                     QStringLiteral("Contacts$"), 100);
    compareIsolation("Access fixture", QStringLiteral("DBACCESS"),
                     QStringLiteral(TAMBERLYN_FIXTURES_DIR "/import/access/contacts_jet4/contacts.mdb"),
                     QStringLiteral("Contacts"), 100);
    return 0;
}
