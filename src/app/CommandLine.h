#pragma once

#include "core/Command.h"

#include <QStringList>
#include <QTextStream>

// The streams a command line runs with; tests hand in buffers.
struct CommandIo {
    QTextStream& in;
    QTextStream& out;
    QTextStream& err;
    bool inputIsTerminal = false;
    bool outputIsTerminal = false;
};

// Runs "tamberlyn [--home DIR] [--yes|--no] COMMAND ..." (arguments[0] is the program) and returns the
// exit status: 0 on success, 1 when the work failed, was refused or was cancelled, 2 on a usage error.
int RunCommandLine(const QStringList& arguments, CommandIo io);

// True when the arguments name no command, so the desktop program should start.
bool WantsDesktop(const QStringList& arguments);
