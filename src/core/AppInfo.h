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

// The size of the name columns of the central database: lists, messages, groups, delivery options.
inline constexpr qsizetype MaxNameLength = 100;
// Why a name cannot be stored, or the empty text when it can. Names are listed one a line with their
// fields separated by tabs, so a name holds no control character (a tab or a line break among them);
// and it must fit its column. kind names the name in the text: "list name", "message name", ...
QString NameRefusal(const QString& kind, const QString& name, qsizetype maxLength = MaxNameLength);

// The application folder: the given one, else $TAMBERLYN_HOME, else ~/.local/share/Tamberlyn.
QString ResolveAppFolder(const QString& requested);
