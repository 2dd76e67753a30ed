#pragma once

#include "core/Prompter.h"
#include "core/StartupOptions.h"

#include <QCommandLineParser>
#include <QList>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

// What every command gets: the streams, the way to ask the user, and the start-up it runs.
struct CommandContext {
    Prompter& prompter;
    QTextStream& in;
    QTextStream& out;
    QTextStream& err;
    StartupOptions startup;
    // The application's start-up, given by the command line that runs the command.
    StartupFunction runStartup;
    std::unique_ptr<StartedProgram> started;
    // Standard output is a terminal: the long commands draw a progress line there (TerminalProgress).
    bool outputIsTerminal = false;

    // Starts the program for the command and keeps it started (with its instance lock) while the
    // context lives. A command that works on a few lists uses the light start. False when the start
    // was refused or the central database cannot be read.
    bool start(bool fullStart = false);
};

// Exit statuses of the command line.
enum ExitStatus { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// One sub-command: "tamberlyn [global options] NAME [its options]".
struct Command {
    const char* name;
    const char* summary;
    // arguments[0] is "tamberlyn NAME"; returns the exit status (ExitOk, ExitFailed, ExitUsage).
    std::function<int(CommandContext&, const QStringList&)> run;
};

// Parses a command's own options (and positional arguments when the command takes some); prints the
// usage error and returns false when they do not parse.
bool parseCommandOptions(QCommandLineParser& parser, const QStringList& arguments, CommandContext& ctx,
                         bool allowPositional = false);
// The --verbose option of the long commands: a line per item even on a terminal.
QCommandLineOption verboseOption();
// Whether a long command shows its progress line instead of a line per item: its output is a terminal
// and --verbose was not given.
bool showsProgressLine(const CommandContext& ctx, const QCommandLineParser& parser);
// An error text as one sentence without its closing full stop, for the caller to finish.
QString sentence(QString text);
