#pragma once

#include "core/Command.h"

#include <QList>

// The message commands; the command line offers them in this order.
QList<Command> messageCommands();
