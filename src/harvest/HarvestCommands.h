#pragma once

#include "core/Command.h"

#include <QList>

// The harvest command, which builds a list from files; the command line offers them in this order.
QList<Command> harvestCommands();
