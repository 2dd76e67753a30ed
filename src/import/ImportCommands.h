#pragma once

#include "core/Command.h"

#include <QList>

// The contact-database import command; the command line offers them in this order.
QList<Command> importCommands();
