#include "app/ui/Desktop.h"

#include "app/CommandLine.h"
#include "app/mdlMain.h"
#include "app/ui/mdiMain.h"
#include "core/FileViewer.h"
#include "core/ui/GuiPrompter.h"
#include "lists/ListResync.h"
#include "lists/ui/ResyncLists.h"
#include "lists/ui/frmFileDisplay.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace {

bool displayAvailable() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// The desktop accepts the global options only: --home DIR, --yes, --no.
QString homeArgument(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QStringLiteral("--home") && i + 1 < argc)
            return QString::fromLocal8Bit(argv[i + 1]);
        if (a.startsWith(QStringLiteral("--home=")))
            return a.mid(7);
    }
    return {};
}

} // namespace

int RunDesktop(int argc, char* argv[]) {
    QTextStream err(stderr);
    if (!displayAvailable()) {
        err << "No display is available for the desktop program. To try it on this machine, start it on a "
               "virtual display: 'xvfb-run ./run' (Debian package xvfb), or run it from a desktop session. "
               "Without a window, use the commands instead, for example 'tamberlyn init --sample' "
               "(see tamberlyn --help)."
            << Qt::endl;
        return ExitFailed;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(AppTitle());
    QApplication::setApplicationVersion(VersionText(false, true));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tamberlyn.png")));
    QApplication::setDesktopFileName(QStringLiteral("tamberlyn"));

    GuiPrompter prompter;
    std::unique_ptr<mdiMain> window;
    // The desktop offers the registry repair in its window and shows text files in the viewer.
    ListResync::setPresenter([&window](const ListResync::Findings& findings, Prompter& asker) {
        // The start-up wait cursor would hide that the window waits for the user.
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        ResyncLists::ReSyncAddressLists(findings, asker, window.get());
        QApplication::restoreOverrideCursor();
    });
    setFileViewer([&window](const QString& path) {
        frmFileDisplay viewer(path, window.get());
        viewer.exec();
    });

    StartupOptions options;
    options.appFolder = ResolveAppFolder(homeArgument(argc, argv));
    options.executableName = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    options.prompter = &prompter;
    options.showMainWindow = [&window, &prompter] {
        window = std::make_unique<mdiMain>(prompter);
        window->show();
        QApplication::setOverrideCursor(Qt::WaitCursor);
    };
    Startup startup(options);
    const bool started = startup.run() == Startup::Result::Started;
    if (!started || !window) {
        ListResync::setPresenter({});
        return ExitFailed;
    }
    window->finishStartup();
    const int status = QApplication::exec();
    setFileViewer({});
    ListResync::setPresenter({});
    window.reset();
    return status == 0 ? ExitOk : ExitFailed;
}
