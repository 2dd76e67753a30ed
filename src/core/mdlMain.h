#pragma once

#include "core/InstanceLock.h"
#include "core/Prompter.h"

#include <QString>
#include <functional>

// The application title, shown in captions and messages.
QString AppTitle();

// The title and a blank when withTitle is set, "Version " when withWord is set, then major.minor and,
// when the revision is not 0, "." and the revision.
QString VersionText(bool withTitle, bool withWord);

// False when the name begins with an apostrophe or holds a character that breaks a statement or a file
// name: " / \ ? : ; | *
bool IsValidFileName(const QString& name);

// The size of the name columns of the central database: lists, messages, groups, delivery options.
inline constexpr qsizetype MaxNameLength = 100;
// Why a name cannot be stored, or the empty text when it can. Names are listed one a line with their
// fields separated by tabs, so a name holds no control character (a tab or a line break among them);
// and it must fit its column. kind names the name in the text: "list name", "message name", ...
QString NameRefusal(const QString& kind, const QString& name, qsizetype maxLength = MaxNameLength);

// The application folder: the given one, else $TAMBERLYN_HOME, else ~/.local/share/Tamberlyn.
QString ResolveAppFolder(const QString& requested);

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

// The start-up sequence. It holds the application folder's instance lock for as long as it lives.
class Startup {
public:
    enum class Result { Started, Refused };

    explicit Startup(StartupOptions options);
    ~Startup();

    Result run();
    // False after a run that could neither read nor build the central database (the error was shown):
    // the desktop still opens, a command cannot do its work.
    bool centralDatabaseReadable() const { return centralDatabaseReadable_; }

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
