#pragma once

#include "core/Prompter.h"

#include <QString>
#include <QStringList>
#include <optional>

// Sets of delivery options in the central database.
namespace mdlTBProfile {

// The names of every set, sorted.
QStringList ProfileNames();
// Removes the set; "This set of delivery options does not exist." when there is none. Mailings that
// name the set keep it.
bool DeleteTBProfile(Prompter& prompter, const QString& name);
// The SentFlag of the set; nothing when there is no such set.
std::optional<QString> SentFlagOf(const QString& name);
// Writes newText into both SentFlag and SentFlagToCheck of the set and tells the user the change, so a
// list whose rows all carry the old mark can be mailed again.
bool ChangeSentFlag(Prompter& prompter, const QString& name, const QString& newText);

} // namespace mdlTBProfile
