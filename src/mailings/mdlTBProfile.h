#pragma once

#include "core/Prompter.h"

#include <QString>
#include <QStringList>

// Sets of delivery options in the central database.
namespace mdlTBProfile {

// The names of every set, sorted.
QStringList ProfileNames();
// Removes the set; "This set of delivery options does not exist." when there is none. Mailings that
// name the set keep it.
bool DeleteTBProfile(Prompter& prompter, const QString& name);

} // namespace mdlTBProfile
