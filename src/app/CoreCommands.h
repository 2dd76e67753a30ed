#pragma once

#include "core/Command.h"

#include <QList>

// The application's own commands (init); the command line offers them in this order.
QList<Command> coreCommands();
