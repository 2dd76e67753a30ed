#include "app/ui/NotBuiltYet.h"

QList<WindowCommand> notBuiltYetCommands() {
    const auto command = [](const char* id, const char* caption) {
        return WindowCommand(QString::fromLatin1(id), QString::fromLatin1(caption));
    };
    return {
        // Lists: the side bar's "Manage lists" is to open the list operations.
        command("id_ManageLists", "Manage Lists...")
            .onSideBar(SideBarGroup::Lists, 3, QStringLiteral("Manage lists")),
    };
}
