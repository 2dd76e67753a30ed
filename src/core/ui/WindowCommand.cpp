#include "core/ui/WindowCommand.h"

QString Desk::limitNewText() {
    return QStringLiteral(
        "You must close some of your open lists and messages before creating any new ones.");
}

QString Desk::limitOpenText() {
    return QStringLiteral("You must close some of your open lists and messages before opening any new ones.");
}
