#pragma once

#include "core/Prompter.h"

#include <QString>
#include <QStringList>

// Mailing groups: rows of the Tamberlyn table.
namespace mdlTamberlynGroupOptions {

struct Group {
    QString TamberlynName;
    QString TamberlynDescription;
};

QList<Group> Groups();
bool CreateTamberlynGroup(Prompter& prompter, const QString& name, const QString& description);
bool UpdateTamberlynGroup(Prompter& prompter, const QString& name, const QString& description);
// Removes the group; its mailings stay.
bool DeleteTamberlynGroup(Prompter& prompter, const QString& name);

} // namespace mdlTamberlynGroupOptions
