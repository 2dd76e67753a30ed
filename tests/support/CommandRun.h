#pragma once

#include <QString>
#include <QStringList>

// One in-process run of the command line with buffered streams.
struct CommandRun {
    int status = -1;
    QString out;
    QString err;
};

// Runs "tamberlyn ARGUMENTS"; input, when given, is typed on a terminal.
CommandRun runCommandLine(const QStringList& arguments, const QString& input = {});
