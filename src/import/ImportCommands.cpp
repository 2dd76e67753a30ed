#include "core/Command.h"

QList<Command> importCommands() {
    return {};
}
