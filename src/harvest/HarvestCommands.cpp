#include "core/Command.h"

QList<Command> harvestCommands() {
    return {};
}
