#include "core/Command.h"

QList<Command> messageCommands() {
    return {};
}
