#pragma once

#include <QByteArray>
#include <QStringList>

// One run of the program itself with a pseudo-terminal as its standard input, output and error. The
// terminal passes the bytes as written (no CR added before LF), so that the output is the program's own.
struct TerminalRun {
    int status = -1;
    QByteArray output;
};

// Runs "tamberlyn ARGUMENTS" on a terminal of 80 columns and waits for its end; the test's event loop
// keeps running meanwhile (a server of the test can answer the program).
TerminalRun runOnTerminal(const QStringList& arguments, int timeoutMs = 60000);
