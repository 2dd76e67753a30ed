#pragma once

#include "core/Command.h"

#include <QList>

// The local outbox commands; the command line offers them in this order.
QList<Command> outboxCommands();
