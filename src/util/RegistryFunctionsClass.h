#pragma once

#include <QString>

// Default values of keys under a root, kept in a small settings file of our own (one section per root),
// and the look-up of the desktop's default web browser.
class RegistryFunctionsClass {
public:
    // storePath: the file that holds the values; empty means the user's configuration folder.
    explicit RegistryFunctionsClass(QString storePath = {});

    QString ReadRegistry(const QString& root, const QString& keyPath) const;
    void WriteRegistry(const QString& root, const QString& keyPath, const QString& value);
    static QString ZTrim(const QString& text);

    // The program that opens HTML pages, from the desktop's default handler for text/html; "" when the
    // desktop names none.
    QString GetDefaultBrowser() const;
    // The program of a command line: the text between the first two double quotes when it starts with
    // one, otherwise the text up to the first blank.
    static QString ProgramOfCommandLine(const QString& commandLine);
    // The command line of a desktop entry's Exec key, its field codes (%u, %F ...) removed.
    static QString ExecOfDesktopEntry(const QString& desktopFilePath);

private:
    QString storePath_;
};
