#include "app/ui/NotBuiltYet.h"

QList<WindowCommand> notBuiltYetCommands() {
    const auto command = [](const char* id, const char* caption) {
        return WindowCommand(QString::fromLatin1(id), QString::fromLatin1(caption));
    };
    return {
        // Mailings: delivery options, groups, sending
        command("id_FileNewTamberlynSetup", "New &Delivery Options").inMenu(Menu::File, 1, 3),
        command("id_FileOpenTamberlynSetup", "Open Deli&very Options...")
            .inMenu(Menu::File, 2, 3)
            .onSideBar(SideBarGroup::Central, 1, QStringLiteral("Tamberlyn Delivery Options")),
        command("id_FileDeleteTamberlynSetup", "Delete Delivery O&ptions...").inMenu(Menu::File, 5, 3),
        command("id_TBWiz", "Tamberlyn &Wizard...")
            .inMenu(Menu::Central, 1, 2)
            .onSideBar(SideBarGroup::Central, 3, QStringLiteral("Tamberlyn Wizard")),

        // Lists: the side bar's "Manage lists" is to open the list operations.
        command("id_ManageLists", "Manage Lists...")
            .onSideBar(SideBarGroup::Lists, 3, QStringLiteral("Manage lists")),
    };
}
