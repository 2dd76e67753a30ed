#pragma once

#include "core/ui/WindowCommand.h"

#include <QList>

// The commands the menus, toolbar and side bar show before their windows are built: without a handler,
// so they stay disabled. Building one moves its entry from here into its module's registration; no
// other command may stay without a handler.
QList<WindowCommand> notBuiltYetCommands();
