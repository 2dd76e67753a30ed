#pragma once

#include "core/Prompter.h"

#include <QString>
#include <QStringList>
#include <functional>

// Brings the list registry (table List) back in line with the list folder: registry rows whose file has
// gone, and list files that no row registers.
namespace ListResync {

struct Findings {
    QStringList missing; // ListPath of each registry row without its file, in table order
    QStringList extra;   // file names of unregistered list files, in name order
    bool isEmpty() const { return missing.isEmpty() && extra.isEmpty(); }
};

// The two phases of the repair, with the texts their window shows.
enum class Phase { Missing, Extra };
QString captionText(Phase phase);
QString explanationText(Phase phase);

// Compares registry and folder. A file that cannot be opened is reported through the prompter and not
// offered.
Findings collect(Prompter& prompter);

// Deletes the registry rows of the ticked missing entries.
bool removeMissing(const QStringList& listPaths, Prompter& prompter);
// Registers the ticked extra files under their names, described "Added at startup".
bool registerExtra(const QStringList& fileNames, Prompter& prompter);

// How gSyncronizeAddressLists offers the repair when registry and folder differ: the desktop installs
// its window here; without one the questions below are asked. The presenter applies what the user
// chooses through removeMissing and registerExtra. An empty presenter restores the questions.
using Presenter = std::function<void(const Findings& findings, Prompter& prompter)>;
void setPresenter(Presenter presenter);

} // namespace ListResync

// The whole repair; without a presenter, one question per phase, listing its entries; Yes applies them all.
// Nothing is asked when registry and folder agree. listName is accepted for callers that name the list
// they work on; the comparison always covers every list.
void gSyncronizeAddressLists(Prompter& prompter, const QString& listName = {});
