#pragma once

#include "core/Command.h"

#include <QList>

// The schedule commands: list and set the schedules, and start the due mailings (for a timer).
QList<Command> scheduleCommands();
