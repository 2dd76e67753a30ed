// Start-up with many registered lists: the full start (registry re-synchronisation and the
// verification of every list file) and the light start that commands use.
#include "BenchLists.h"
#include "app/mdlMain.h"
#include "core/ConsolePrompter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int ListCount = 500;

double startSeconds(const QString& home, bool fullStart, Prompter& prompter) {
    QElapsedTimer timer;
    timer.start();
    Startup startup(StartupOptions{home, QStringLiteral("tamberlyn"), &prompter, false, fullStart});
    if (startup.run() != Startup::Result::Started)
        std::printf("  ERROR: start-up refused\n");
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QString none;
    QTextStream in(&none), out(&none), err(stderr);
    ConsolePrompter prompter(ConsolePrompter::Mode::AnswerNo, in, out, err, false);

    // The first start builds the central database; then 500 lists of 20 rows are registered.
    registerSmallLists(home, ListCount, prompter);

    const double full = startSeconds(home, true, prompter);
    const double again = startSeconds(home, true, prompter);
    const double light = startSeconds(home, false, prompter);
    std::printf("Full start with %d registered lists: %.3f s, again %.3f s (target < 1 s)\n", ListCount, full,
                again);
    std::printf("Light start (commands) with %d registered lists: %.3f s\n", ListCount, light);
    return 0;
}
