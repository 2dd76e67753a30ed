// Harvesting addresses from files: a 200 MB mailbox (headers From, To and Cc, names guessed) beside the
// pipeline rg -o ... | sort -u on the same file; then the robustness runs: a 300 MB mailbox, a 50 MB file
// of one line, a binary file with NUL bytes, and an empty file. Peak memory is the process's VmHWM,
// reset before each run.
#include "BenchSupport.h"
#include "core/AppSettings.h"
#include "core/Prompter.h"
#include "harvest/AddrManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

// A small fast generator, so the input is the same on every run.
class Dice {
public:
    quint32 next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<quint32>(state_ >> 32);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<quint32>(n)); }

private:
    quint64 state_ = 0x9E3779B97F4A7C15ull;
};

const char* const FirstNames[] = {"Ann",  "Bob",  "Cleo", "Dan",  "Eve",  "Fay",  "Gil",  "Hal",
                                  "Ivy",  "Jon",  "Kim",  "Lou",  "May",  "Ned",  "Ola",  "Pat",
                                  "Quin", "Rosa", "Sam",  "Tess", "Uma",  "Vic",  "Wes",  "Xena",
                                  "Yves", "Zoe",  "Abel", "Bea",  "Carl", "Dora", "Emil", "Flora"};
const char* const LastNames[] = {"Lee",   "Stone", "Berg",   "Moss",  "Hart",  "Day",   "Ford",  "Grant",
                                 "Hale",  "Irwin", "Jones",  "Kerr",  "Lamb",  "Marsh", "Nash",  "Owen",
                                 "Price", "Quill", "Rowe",   "Shaw",  "Tate",  "Upton", "Vance", "Wade",
                                 "Young", "Zell",  "Archer", "Blake", "Crane", "Drake", "Ellis", "Frost"};
const char* const Words[] = {"meeting",  "report", "the",  "budget", "and",   "please", "review", "draft",
                             "attached", "thanks", "for",  "your",   "quick", "reply",  "about",  "project",
                             "schedule", "next",   "week", "we",     "will",  "send",   "notes",  "agenda"};

constexpr int People = 200000;

QByteArray addressOf(int person) {
    const QByteArray first = QByteArray(FirstNames[person % 32]).toLower();
    const QByteArray last = QByteArray(LastNames[(person / 32) % 32]).toLower();
    const QByteArray number = QByteArray::number(person / 1024);
    const QByteArray domain = "mail" + QByteArray::number(person % 97) + ".example";
    switch (person % 3) {
    case 0:
        return first + '.' + last + number + '@' + domain;
    case 1:
        return first + '_' + last + number + '@' + domain;
    default:
        return first.left(1) + last + number + '@' + domain;
    }
}

QByteArray mentionOf(int person, Dice& dice) {
    const QByteArray first = FirstNames[person % 32];
    const QByteArray last = LastNames[(person / 32) % 32];
    const QByteArray address = addressOf(person);
    switch (dice.below(4)) {
    case 0:
        return first + ' ' + last + " <" + address + '>';
    case 1:
        return '"' + last + ", " + first + "\" <" + address + '>';
    case 2:
        return address + " (" + first + ' ' + last + ')';
    default:
        return address;
    }
}

// A mailbox of about bytes bytes: messages with From, To (sometimes continued), Cc, other headers and a body.
bool writeMailbox(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    Dice dice;
    QByteArray out;
    qint64 written = 0;
    for (int message = 0; written < bytes; ++message) {
        const int sender = dice.below(People);
        out += "From " + addressOf(sender) + " Mon Jan  1 10:00:00 2024\n";
        out += "Return-Path: <" + addressOf(sender) + ">\n";
        out += "Received: from relay" + QByteArray::number(dice.below(50)) +
               ".example by mx.example with SMTP id " + QByteArray::number(dice.next()) +
               "; Mon, 1 Jan 2024 10:00:00 +0000\n";
        out += "From: " + mentionOf(sender, dice) + '\n';
        const int recipients = 1 + dice.below(4);
        out += "To: ";
        for (int r = 0; r < recipients; ++r) {
            if (r > 0)
                out += r == 2 ? ",\n\t" : ", ";
            out += mentionOf(dice.below(People), dice);
        }
        out += '\n';
        if (dice.below(2) == 0)
            out += "Cc: " + mentionOf(dice.below(People), dice) + ", " + mentionOf(dice.below(People), dice) +
                   '\n';
        out += "Subject: Re: " + QByteArray(Words[dice.below(24)]) + ' ' + QByteArray::number(message) + '\n';
        out += "Date: Mon, 1 Jan 2024 10:00:00 +0000\n";
        out += "Message-Id: <" + QByteArray::number(dice.next()) + '.' + QByteArray::number(message) +
               "@mail.example>\n";
        out += "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n\n";
        const int lines = 15 + dice.below(25);
        for (int l = 0; l < lines; ++l) {
            if (dice.below(12) == 0) {
                out += "Please write to " + addressOf(dice.below(People)) + " for the details.\n";
                continue;
            }
            for (int w = 0; w < 11; ++w) {
                out += Words[dice.below(24)];
                out += w < 10 ? ' ' : '\n';
            }
        }
        out += '\n';
        if (out.size() >= (1 << 20)) {
            if (file.write(out) != out.size())
                return false;
            written += out.size();
            out.clear();
        }
    }
    return file.write(out) == out.size();
}

bool writeOneLine(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    for (int i = 0; chunk.size() < (1 << 20); ++i)
        chunk += "word" + QByteArray::number(i) + ", ";
    qint64 written = 0;
    if (file.write("lead.in@first.example ") < 0)
        return false;
    while (written < bytes) {
        if (file.write(chunk) != chunk.size())
            return false;
        written += chunk.size();
    }
    return file.write("tail@last.example") > 0;
}

bool writeBinary(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    Dice dice;
    qint64 written = 0;
    for (int block = 0; written < bytes; ++block) {
        QByteArray chunk(1 << 16, Qt::Uninitialized);
        for (char& c : chunk)
            c = static_cast<char>(dice.below(8) == 0 ? 0 : dice.below(256));
        chunk += '\0' + QByteArray("bin") + QByteArray::number(block) + "@data.example" + '\0';
        if (file.write(chunk) != chunk.size())
            return false;
        written += chunk.size();
    }
    return true;
}

void resetPeakMemory() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

double peakMemoryMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

struct Harvest {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMb = 0;
    AddrManager::BuildResult result;
    QStringList messages;
};

Harvest harvest(const EmailSrcFileObj& file, bool onEventLoop = false) {
    BenchPrompter prompter;
    AddrManager manager(prompter);
    manager.setNameMode(AddrManager::NameMode::BestGuess);
    manager.SelectSourceFile(file.fileName, file.fileType);
    manager.ChangeSearchOptions(file.fileName, file);
    Harvest run;
    resetPeakMemory();
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    if (onEventLoop) {
        QObject::connect(&manager, &AddrManager::buildFinished, &manager,
                         [&run](const AddrManager::BuildResult& result) {
                             run.result = result;
                             QCoreApplication::exit(0);
                         });
        manager.startBuild();
        QCoreApplication::exec();
    } else {
        run.result = manager.BuildList();
    }
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.cpuSeconds = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    run.peakMb = peakMemoryMb();
    run.messages = prompter.messages;
    QFile::remove(run.result.listPath);
    return run;
}

EmailSrcFileObj mailboxFile(const QString& path) {
    EmailSrcFileObj file;
    file.fileName = path;
    file.fileType = EmailSrcFileObj::mailboxType();
    file.scope = EmailSrcFileObj::Scope::Headers;
    file.from = file.to = file.cc = true;
    return file;
}

double mb(const QString& path) {
    return QFileInfo(path).size() / (1024.0 * 1024.0);
}

void benchMailbox(const QString& folder, bool harvestOnly) {
    const QString path = folder + QStringLiteral("/bench.mbox");
    if (!writeMailbox(path, 200ll * 1024 * 1024)) {
        std::printf("ERROR: cannot write %s\n", qPrintable(path));
        return;
    }
    const double size = mb(path);
    if (harvestOnly) {
        const Harvest run = harvest(mailboxFile(path));
        std::printf("harvest: %.2f s = %.1f MB/s, %d rows\n", run.seconds, size / run.seconds,
                    run.result.rows);
        return;
    }

    QProcess pipeline;
    const QString command =
        QStringLiteral("rg -o '[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+' '%1' | sort -u | wc -l").arg(path);
    QElapsedTimer timer;
    timer.start();
    const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN);
    pipeline.start(QStringLiteral("bash"), {QStringLiteral("-c"), command});
    pipeline.waitForFinished(-1);
    const double referenceSeconds = timer.nsecsElapsed() / 1e9;
    const double referenceCpu = cpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
    const QByteArray unique = pipeline.readAllStandardOutput().trimmed();
    if (pipeline.exitCode() != 0 || unique.isEmpty())
        std::printf("  (reference failed: %s; install ripgrep)\n",
                    pipeline.readAllStandardError().constData());

    const Harvest run = harvest(mailboxFile(path));
    const Harvest looped = harvest(mailboxFile(path), true);
    std::printf("Harvest of a %.0f MB mailbox (headers From/To/Cc, names guessed):\n", size);
    std::printf(
        "  harvest:   %.2f s = %.1f MB/s (CPU %.2f s), %d addresses found, %d rows, peak memory %.0f MB\n",
        run.seconds, size / run.seconds, run.cpuSeconds, run.result.files.value(0).addresses, run.result.rows,
        run.peakMb);
    std::printf("  on the event loop (yielding every 64 KB): %.2f s = %.1f MB/s, %d rows\n", looped.seconds,
                size / looped.seconds, looped.result.rows);
    std::printf(
        "  reference rg -o ... | sort -u: %.2f s = %.1f MB/s (CPU %.2f s; %s unique matches, whole file)\n",
        referenceSeconds, size / referenceSeconds, referenceCpu, unique.constData());
    std::printf("  ratio harvest / reference: %.2f (target <= 2); CPU time ratio %.2f\n",
                run.seconds / referenceSeconds, run.cpuSeconds / referenceCpu);
    QFile::remove(path);
}

void benchRobustness(const QString& folder) {
    std::printf("Robustness:\n");
    const QString big = folder + QStringLiteral("/big.mbox");
    if (writeMailbox(big, 300ll * 1024 * 1024)) {
        const Harvest run = harvest(mailboxFile(big));
        std::printf("  %.0f MB mailbox: %.2f s, %d rows, peak memory %.0f MB\n", mb(big), run.seconds,
                    run.result.rows, run.peakMb);
        QFile::remove(big);
    }
    const QString line = folder + QStringLiteral("/oneline.txt");
    if (writeOneLine(line, 50ll * 1024 * 1024)) {
        EmailSrcFileObj text;
        text.fileName = line;
        const Harvest run = harvest(text);
        std::printf("  %.0f MB single line (text): %.2f s, %d rows, peak memory %.0f MB\n", mb(line),
                    run.seconds, run.result.rows, run.peakMb);
        EmailSrcFileObj whole = mailboxFile(line);
        whole.scope = EmailSrcFileObj::Scope::All;
        const Harvest all = harvest(whole);
        std::printf("  the same as a mailbox searched whole: %.2f s, %d rows, peak memory %.0f MB\n",
                    all.seconds, all.result.rows, all.peakMb);
        QFile::remove(line);
    }
    const QString binary = folder + QStringLiteral("/data.bin");
    if (writeBinary(binary, 100ll * 1024 * 1024)) {
        EmailSrcFileObj file;
        file.fileName = binary;
        file.fileType = EmailSrcFileObj::binaryType();
        const Harvest run = harvest(file);
        std::printf("  %.0f MB binary file with NUL bytes: %.2f s, %d rows, peak memory %.0f MB\n",
                    mb(binary), run.seconds, run.result.rows, run.peakMb);
        QFile::remove(binary);
    }
    const QString empty = folder + QStringLiteral("/empty.txt");
    QFile(empty).open(QIODevice::WriteOnly);
    EmailSrcFileObj file;
    file.fileName = empty;
    const Harvest run = harvest(file);
    std::printf("  empty file: %.3f s, message: %s\n", run.seconds,
                qPrintable(run.messages.join(QStringLiteral(" | "))));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const BenchHome dir;
    if (!dir.isValid())
        return 1;
    // --harvest-only: the 200 MB harvest alone, for profiling.
    const bool harvestOnly = application.arguments().contains(QStringLiteral("--harvest-only"));
    benchMailbox(dir.path(), harvestOnly);
    if (!harvestOnly)
        benchRobustness(dir.path());
    return 0;
}
