#include "core/ui/Desktop.h"

#include "core/CommandLine.h"
#include "core/mdlMain.h"
#include "core/ui/GuiPrompter.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

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
        err << "No display is available for the desktop program; run a command instead, for example "
               "'tamberlyn init' (see tamberlyn --help)."
            << Qt::endl;
        return ExitFailed;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(AppTitle());
    QApplication::setApplicationVersion(VersionText(false, false));

    GuiPrompter prompter;
    StartupOptions options;
    options.appFolder = ResolveAppFolder(homeArgument(argc, argv));
    options.executableName = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    options.prompter = &prompter;
    Startup startup(options);
    if (startup.run() != Startup::Result::Started)
        return ExitFailed;

    QTextStream out(stdout);
    out << AppTitle() << " is set up in " << options.appFolder
        << ". The main window is not part of this version yet; use the commands (tamberlyn --help)."
        << Qt::endl;
    return ExitOk;
}
