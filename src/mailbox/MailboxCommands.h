#pragma once

#include "core/Command.h"

#include <QList>

// The mailbox commands; the command line offers them in this order.
QList<Command> mailboxCommands();
