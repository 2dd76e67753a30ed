#pragma once

#include <QString>

// The application's name, version and the name and folder rules every module shares.

// The application title, shown in captions and messages.
QString AppTitle();

// The title and a blank when withTitle is set, "Version " when withWord is set, then major.minor and,
// when the revision is not 0, "." and the revision.
QString VersionText(bool withTitle, bool withWord);

// False when the name begins with an apostrophe or holds a character that breaks a statement or a file
// name: " / \ ? : ; | *
bool IsValidFileName(const QString& name);

// The application folder: the given one, else $TAMBERLYN_HOME, else ~/.local/share/Tamberlyn.
QString ResolveAppFolder(const QString& requested);
