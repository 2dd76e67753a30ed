#include "app/CommandLine.h"
#include "app/ui/Desktop.h"
#include "import/IsolatedReader.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // A child that reads one source file for the import (never named in the help).
    if (arguments.value(1) == importer::isolatedReaderCommand())
        return importer::runIsolatedReader(arguments.mid(2));
    if (WantsDesktop(arguments))
        return RunDesktop(argc, argv);

    QCoreApplication application(argc, argv);
    QTextStream in(stdin);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunCommandLine(arguments, {in, out, err, isatty(STDIN_FILENO) != 0, isatty(STDOUT_FILENO) != 0});
}
