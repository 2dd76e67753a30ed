#pragma once

#include "core/Prompter.h"

#include <QList>
#include <QString>
#include <QStringList>

// Subject phrases grouped in categories, one text file per category in the folder Search Files:
// "<name>.dat" holds a line per phrase, "1|phrase" when checked and "0|phrase" when not, and ends with the
// line "BN_EOF" (anything after it is ignored). The category "Defaults" always exists.
namespace SearchCategories {

struct Phrase {
    QString text;
    bool checked = true;
};
struct Category {
    QString name;
    QList<Phrase> phrases;
};

QString defaultsName(); // "Defaults"
QString endMarker();    // "BN_EOF"

// Every category, "Defaults" first (its file is created when missing), the others by name.
QList<Category> load();
// The category of that name (any case), read from its file; an empty category when there is none.
Category read(const QString& name);
// Writes the category's file; false after logging when it cannot be written.
bool save(const Category& category);

// New category: refused with "This category already exists." or for a name that cannot be a file name.
bool addCategory(const QString& name, Prompter& prompter);
// Asks, then deletes the file; "Cannot find the category to delete." when it is missing.
bool removeCategory(const QString& name, Prompter& prompter);
// Adds the phrase, checked, and rewrites the file; a phrase the category holds is only checked.
bool addPhrase(const QString& category, const QString& phrase);
// Asks, then removes the phrase and rewrites the file.
bool removePhrase(const QString& category, const QString& phrase, Prompter& prompter);
// Makes the category with the one checked phrase when no category of that name exists; a category the
// user has keeps what it holds. False when it could not be written.
bool addIfMissing(const QString& name, const QString& phrase);
// Checks or unchecks a phrase; false when the category lacks it.
bool setChecked(const QString& category, const QString& phrase, bool checked);

// The checked phrases of a category, or of every category when the name is empty.
QStringList checkedPhrases(const QString& category = {});

} // namespace SearchCategories
