// Contact database import: a 1,000,000-row CSV and a 200,000-row dBase table into a new list, beside the
// sqlite3 shell's .import of the same CSV.
#include "BenchSupport.h"
#include "core/AppSettings.h"
#include "core/Prompter.h"
#include "import/ImportEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
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
    return 0;
}
