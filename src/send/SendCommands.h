#pragma once

#include "core/Command.h"

#include <QList>

// The sending commands; the command line offers them in this order.
QList<Command> sendCommands();
