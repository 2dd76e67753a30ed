#pragma once

#include "core/AppInfo.h"
#include "core/InstanceLock.h"
#include "core/Prompter.h"
#include "core/StartupOptions.h"

#include <QString>

// The start-up sequence. It holds the application folder's instance lock for as long as it lives.
class Startup : public StartedProgram {
public:
    enum class Result { Started, Refused };

    explicit Startup(StartupOptions options);
    ~Startup() override;

    Result run();
    // False after a run that could neither read nor build the central database (the error was shown):
    // the desktop still opens, a command cannot do its work.
    bool centralDatabaseReadable() const override { return centralDatabaseReadable_; }

    static bool isExpectedExecutableName(const QString& name);
    static QString renamedText(const QString& name);
    static QString alreadyRunningText();

private:
    bool acquireInstanceLock();
    void writeFirstStartSettings();
    void loadSettings();
    void ensureDefaultMailEvent();
    void clearCentralDatabaseAttributes();

    StartupOptions options_;
    InstanceLock lock_;
    bool centralDatabaseReadable_ = false;
};
