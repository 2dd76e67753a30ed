#pragma once

#include "core/Prompter.h"

#include <QString>
#include <functional>
#include <memory>

// How a start-up runs: where, for whom, and how much it checks.
struct StartupOptions {
    QString appFolder;
    QString executableName; // as the platform reports it
    Prompter* prompter = nullptr;
    bool sampleData = false; // answers the sample-data question with Yes without asking
    // A full start also repairs the list registry and verifies every list file; commands that work on
    // a few lists skip that, so their start-up cost does not grow with the number of lists.
    bool fullStart = true;
    // Called when the main window is to appear: after the central database, before the lists are
    // checked (the desktop shows its window here; the command line has none).
    std::function<void()> showMainWindow = nullptr;
};

// What a start-up leaves running: it holds the application folder's instance lock until destroyed.
class StartedProgram {
public:
    virtual ~StartedProgram() = default;
    // False when the central database could neither be read nor built (the error was shown).
    virtual bool centralDatabaseReadable() const = 0;
};

// Runs the start-up with the options; nullptr when the start was refused (the reason was shown).
using StartupFunction = std::function<std::unique_ptr<StartedProgram>(const StartupOptions&)>;
