#pragma once

#include <QString>

// The error that is current when an entry is written; number 0 and no text when there is none.
struct CurrentError {
    int number = 0;
    QString description;
};

// Appends one diagnostic entry to Errors.log in the application folder: the version, the moment,
// "Called From: " and the caller's text, the current error, and an empty line. Never fails towards the
// caller: a log that cannot be written simply gets no entry.
void LogError(const QString& callerText, const CurrentError& error = {});
// The same, into a given file.
void LogErrorTo(const QString& logPath, const QString& callerText, const CurrentError& error = {});
