#pragma once

#include "core/Command.h"

#include <QList>

// The mailing-group and delivery-option commands; the command line offers them in this order.
QList<Command> mailingCommands();
