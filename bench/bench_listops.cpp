// List operations on two 1,000,000-row lists beside the sqlite3 shell running the same statements on
// copies of the same files, and the export of a 1,000,000-row list.
#include "BenchSupport.h"
#include "core/AppSettings.h"
#include "core/Prompter.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "db/ListSchema.h"
#include "lists/ListOperations.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/resource.h>

namespace {

constexpr int Rows = 1000000;
constexpr int Runs = 3;

// A list of the system columns plus one user column. Person numbers first..first+Rows-1 in a scrambled
// order; with mixedCase every other address is written in capitals.
QString makeList(const QString& path, int first, const QString& userColumn, bool mixedCase) {
    db::Database list = db::Database::create(path);
    list.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
    list.exec(ListSchema::blankListSql());
    list.exec(ListSchema::addColumnSql(ListSchema::table(), userColumn));
    const QString address = QStringLiteral("'person' || k || '@example' || (k % 97) || '.org'");
    const QString sql =
        QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1), "
            "p(i, k) AS (SELECT i, %2 + (i * 7919) % %3 FROM n) "
            "INSERT INTO AddressList (EAddress, FirstName, LastName, Keyword1, Keyword2, Date, Title, %4) "
            "SELECT %5, 'First' || k, 'Last' || k, 'harvest', 'spring', '2024-05-01', 'Ms', "
            "'value ' || (k % 1000) FROM p")
            .arg(Rows - 1)
            .arg(first)
            .arg(Rows)
            .arg(db::quoteName(userColumn))
            .arg(mixedCase ? QStringLiteral("CASE WHEN i % 2 = 0 THEN upper(") + address +
                                 QStringLiteral(") ELSE ") + address + QStringLiteral(" END")
                           : address);
    if (!list.exec(sql))
        std::fprintf(stderr, "cannot fill %s: %s\n", qPrintable(path), qPrintable(list.lastError().text));
    return path;
}

qint64 rowsIn(const QString& path) {
    return CountField(path, QStringLiteral("AddressList"), QStringLiteral("EAddress"));
}

// The statements the operation runs, as one sqlite3 shell script on the result file.
QByteArray referenceScript(ListOperations::Operation operation, const QString& first, const QString& second) {
    const auto columnsOf = [](const QString& path) {
        QStringList names;
        const db::Database list = db::Database::open(path, db::Database::OpenMode::ReadOnly);
        for (const db::ColumnInfo& column : list.columns(QStringLiteral("AddressList")))
            names << column.name;
        return names;
    };
    const ListOperations::UnionColumns columns =
        ListOperations::unionColumns(columnsOf(first), columnsOf(second));
    QStringList script = ListOperations::resultFilePragmas();
    script << QStringLiteral("ATTACH '%1' AS \"FirstList\"").arg(first)
           << QStringLiteral("ATTACH '%1' AS \"SecondList\"").arg(second) << QStringLiteral("BEGIN")
           << ListOperations::createResultTableSql(operation, columns);
    script += ListOperations::fillStatements(operation, columns, QStringLiteral("FirstList"),
                                             QStringLiteral("SecondList"));
    script << QStringLiteral("COMMIT") << QString();
    return script.join(QStringLiteral(";\n")).toUtf8();
}

// Elapsed and processor seconds of one run; the processor time shows the work itself when the machine
// is busy with other things.
struct Timing {
    double wall = 1e9;
    double cpu = 1e9;
    void keepBest(const Timing& other) {
        wall = std::min(wall, other.wall);
        cpu = std::min(cpu, other.cpu);
    }
};

// Runs the script in the sqlite3 shell on a new result file; nullopt when it fails.
std::optional<Timing> runShell(const QString& sqlite3, const QString& database, const QByteArray& script) {
    QFile::remove(database);
    QProcess shell;
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    shell.start(sqlite3, {QStringLiteral("-bail"), database});
    if (!shell.waitForStarted())
        return std::nullopt;
    shell.write(script);
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    const Timing timing{timer.nsecsElapsed() / 1e9, cpuSeconds(RUSAGE_CHILDREN) - cpuBefore};
    const QByteArray errors = shell.readAllStandardError();
    if (shell.exitCode() != 0 || !errors.isEmpty()) {
        std::fprintf(stderr, "  sqlite3 failed: %s\n", errors.constData());
        return std::nullopt;
    }
    return timing;
}

void benchOperation(const char* name, ListOperations::Operation operation, const QString& first,
                    const QString& second, const QString& referenceFolder, const QString& sqlite3,
                    Prompter& prompter) {
    // The reference reads its own copies of the same files.
    const QString firstCopy = referenceFolder + QStringLiteral("/first.mdb");
    const QString secondCopy = referenceFolder + QStringLiteral("/second.mdb");
    QFile::remove(firstCopy);
    QFile::remove(secondCopy);
    QFile::copy(first, firstCopy);
    QFile::copy(second, secondCopy);
    const QString referenceResult = referenceFolder + QStringLiteral("/result.db");
    const QByteArray script = referenceScript(operation, firstCopy, secondCopy);

    Timing best;
    Timing bestReference;
    qint64 rows = -1;
    qint64 referenceRows = -1;
    for (int run = 0; run < Runs; ++run) {
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        QElapsedTimer timer;
        timer.start();
        QString result;
        switch (operation) {
        case ListOperations::Operation::Merge:
            result = ListOperations::gMergeLists(first, second, prompter);
            break;
        case ListOperations::Operation::Clean:
            result = ListOperations::gCleanList(first, second, prompter);
            break;
        case ListOperations::Operation::Duplicates:
            result = ListOperations::gFindDuplicates(first, second, prompter);
            break;
        }
        best.keepBest({timer.nsecsElapsed() / 1e9, cpuSeconds(RUSAGE_SELF) - cpuBefore});
        if (!ListOperations::isPath(result)) {
            std::printf("%s: failed with %s\n", name, qPrintable(result));
            return;
        }
        rows = rowsIn(result);
        QFile::remove(result);

        if (!sqlite3.isEmpty()) {
            if (const std::optional<Timing> timing = runShell(sqlite3, referenceResult, script)) {
                bestReference.keepBest(*timing);
                referenceRows = rowsIn(referenceResult);
            }
        }
    }
    if (sqlite3.isEmpty() || referenceRows < 0) {
        std::printf("%-10s %7lld rows in %.2f s (cpu %.2f s); no sqlite3 reference\n", name,
                    static_cast<long long>(rows), best.wall, best.cpu);
        return;
    }
    std::printf("%-10s %7lld rows in %.2f s (cpu %.2f s); sqlite3 shell %7lld rows in %.2f s (cpu %.2f s); "
                "ratio %.2f, cpu %.2f (target <= 1.5)\n",
                name, static_cast<long long>(rows), best.wall, best.cpu,
                static_cast<long long>(referenceRows), bestReference.wall, bestReference.cpu,
                best.wall / bestReference.wall, best.cpu / bestReference.cpu);
    if (rows != referenceRows)
        std::printf("  ERROR: the results differ in size\n");
}

void benchExport(const QString& list, const QString& folder, const QString& sqlite3, Prompter& prompter) {
    const QString target = folder + QStringLiteral("/export.csv");
    double best = 1e9;
    qint64 rows = 0;
    for (int run = 0; run < Runs; ++run) {
        QFile::remove(target);
        QElapsedTimer timer;
        timer.start();
        rows = ListOperations::gExportList(list, target, prompter);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    const double megabytes = QFileInfo(target).size() / 1e6;
    std::printf("export     %7lld rows, %.1f MB in %.2f s = %.0f MB/s\n", static_cast<long long>(rows),
                megabytes, best, megabytes / best);
    if (sqlite3.isEmpty())
        return;
    // For scale: the shell's own CSV output of the same table.
    const QString copy = folder + QStringLiteral("/export-source.mdb");
    QFile::remove(copy);
    QFile::copy(list, copy);
    double bestReference = 1e9;
    qint64 bytes = 0;
    for (int run = 0; run < Runs; ++run) {
        QProcess shell;
        shell.setStandardOutputFile(folder + QStringLiteral("/export-reference.csv"));
        QElapsedTimer timer;
        timer.start();
        shell.start(sqlite3, {QStringLiteral("-csv"), QStringLiteral("-header"), copy,
                              QStringLiteral("SELECT * FROM AddressList")});
        shell.waitForFinished(-1);
        bestReference = std::min(bestReference, timer.nsecsElapsed() / 1e9);
        bytes = QFileInfo(folder + QStringLiteral("/export-reference.csv")).size();
    }
    std::printf("  (sqlite3 -csv of the same table: %.1f MB in %.2f s = %.0f MB/s)\n", bytes / 1e6,
                bestReference, bytes / 1e6 / bestReference);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const BenchHome dir;
    if (!dir.isValid())
        return 1;
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty())
        std::printf("sqlite3 is not installed (scripts/deps.sh --bench installs it): no reference runs\n");

    BenchPrompter prompter(true);
    QElapsedTimer timer;
    timer.start();
    const QString made =
        makeList(dir.filePath(QStringLiteral("made-first.mdb")), 0, QStringLiteral("Company"), false);
    const QString madeSecond =
        makeList(dir.filePath(QStringLiteral("made-second.mdb")), Rows / 2, QStringLiteral("Zip"), true);
    // The lists measured are copies, as the reference's are.
    const QString first = dir.filePath(QStringLiteral("first.mdb"));
    const QString second = dir.filePath(QStringLiteral("second.mdb"));
    QFile::copy(made, first);
    QFile::copy(madeSecond, second);
    QFile::remove(made);
    QFile::remove(madeSecond);
    std::printf("two lists of %lld and %lld rows (half the addresses shared, half of the second list's in "
                "capitals) made in %.1f s\n",
                static_cast<long long>(rowsIn(first)), static_cast<long long>(rowsIn(second)),
                timer.nsecsElapsed() / 1e9);
    const QString referenceFolder = dir.filePath(QStringLiteral("reference"));
    QDir().mkpath(referenceFolder);

    benchOperation("merge", ListOperations::Operation::Merge, first, second, referenceFolder, sqlite3,
                   prompter);
    benchOperation("clean", ListOperations::Operation::Clean, first, second, referenceFolder, sqlite3,
                   prompter);
    benchOperation("duplicates", ListOperations::Operation::Duplicates, first, second, referenceFolder,
                   sqlite3, prompter);
    benchExport(first, dir.path(), sqlite3, prompter);
    return 0;
}
