#include "app/ui/NotBuiltYet.h"

QList<WindowCommand> notBuiltYetCommands() {
    const auto command = [](const char* id, const char* caption) {
        return WindowCommand(QString::fromLatin1(id), QString::fromLatin1(caption));
    };
    return {
        // Mailings: delivery options, groups, sending
        command("id_NewTB", "New Mailing &Group").inMenu(Menu::File, 1, 4),
        command("id_OpenTB", "Open Mailing Gro&up...")
            .inMenu(Menu::File, 2, 4)
            .onSideBar(SideBarGroup::Central, 4, QStringLiteral("Tamberlyn Groups")),
        command("id_DeleteTB", "Delete Mailing G&roup...").inMenu(Menu::File, 5, 4),
        command("id_FileSendTamberlyn", "Sen&d Mailing...")
            .inMenu(Menu::File, 6, 1)
            .onToolbar(3, 2)
            .withIcon(QStyle::SP_ArrowForward),
        command("id_TBCentral", "Tamberlyn &Central")
            .inMenu(Menu::Central, 1, 1)
            .onToolbar(3, 1)
            .onSideBar(SideBarGroup::Central, 2, QStringLiteral("Tamberlyn Central"))
            .withIcon(QStyle::SP_ComputerIcon),

        // Lists: the side bar's "Manage lists" is to open the list operations.
        command("id_ManageLists", "Manage Lists...")
            .onSideBar(SideBarGroup::Lists, 3, QStringLiteral("Manage lists")),
    };
}
