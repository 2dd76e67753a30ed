#pragma once

#include "core/Command.h"

#include <QList>

// The list commands; the command line offers them in this order.
QList<Command> listCommands();
