// The main window's own commands: closing documents, the options, exit, the Window menu and Help.
#include "app/ui/frmConfiguration.h"
#include "app/ui/mdiMain.h"
#include "core/AppInfo.h"
#include "core/ui/HelpFile.h"

#include <QAction>
#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

const QString ListWindow = QStringLiteral("frmList");
const QString MessageWindow = QStringLiteral("frmMessageEdit");

} // namespace

QList<WindowCommand> mdiMain::frameCommands() {
    const auto windowCommand = [](const char* id, const char* caption, std::function<void()> handler) {
        return WindowCommand(QString::fromLatin1(id), QString::fromLatin1(caption), std::move(handler));
    };
    return {
        WindowCommand(QStringLiteral("id_FileClose"), QStringLiteral("&Close"),
                      [this] {
                          if (QMdiSubWindow* sub = mdi_->activeSubWindow())
                              sub->close();
                      })
            .needing(Needs::AnyDocument)
            .inMenu(Menu::File, 3, 1),
        WindowCommand(QStringLiteral("id_FileCloseAll"), QStringLiteral("Close A&ll"),
                      [this] { mdi_->closeAllSubWindows(); })
            .needing(Needs::AnyDocument)
            .inMenu(Menu::File, 3, 2),
        WindowCommand(QStringLiteral("ID_Options"), QStringLiteral("Op&tions..."), [this] { showOptions(); })
            .inMenu(Menu::File, 7, 1)
            .onToolbar(4, 1)
            .withIcon(QStyle::SP_FileDialogDetailedView),
        WindowCommand(QStringLiteral("id_FileExit"), QStringLiteral("E&xit"), [this] { close(); })
            .inMenu(Menu::File, 8, 1),

        // One above the other at full width, or side by side at full height.
        windowCommand("id_WindowTileHorizontally", "Tile &Horizontally",
                      [this] { tileWindows(Qt::Vertical); }),
        windowCommand("id_WindowTileVertically", "Tile &Vertically", [this] { tileWindows(Qt::Horizontal); }),
        windowCommand("id_WindowCascade", "&Cascade", [this] { mdi_->cascadeSubWindows(); }),
        windowCommand("id_WindowArrangeIcons", "&Arrange Icons", [this] { arrangeIcons(); }),
        windowCommand("id_WindowHideListbar", "Hide List&bar",
                      [this] {
                          listbarDock_->hide();
                          setupMenus();
                      }),
        windowCommand("id_WindowShowListbar", "Show List&bar",
                      [this] {
                          listbarDock_->show();
                          setupMenus();
                      }),
        windowCommand("id_WindowHideLists", "Hide Lists",
                      [this] {
                          toggleDocuments(ListWindow, QStringLiteral("id_WindowHideLists"),
                                          QStringLiteral("Hide Lists"), QStringLiteral("Show Lists"));
                      }),
        windowCommand("id_WindowHideMessages", "Hide Messages",
                      [this] {
                          toggleDocuments(MessageWindow, QStringLiteral("id_WindowHideMessages"),
                                          QStringLiteral("Hide Messages"), QStringLiteral("Show Messages"));
                      }),

        WindowCommand(QStringLiteral("id_HelpTamberlynHelp"), QStringLiteral("Tamberlyn &Help"),
                      [this] { ShowHelpFile(prompter_); })
            .inMenu(Menu::Help, 1, 1)
            .onToolbar(4, 2)
            .withIcon(QStyle::SP_DialogHelpButton)
            .withShortcut(QKeySequence::HelpContents),
        WindowCommand(QStringLiteral("ID_HelpGettingStarted"), QStringLiteral("&Getting Started"),
                      [this] { ShowHelpFile(prompter_); })
            .inMenu(Menu::Help, 1, 2),
        WindowCommand(QStringLiteral("id_HelpAboutTamberlyn"), QStringLiteral("&About Tamberlyn"),
                      [this] { showAbout(); })
            .inMenu(Menu::Help, 2, 1),
    };
}

void mdiMain::toggleDocuments(const QString& objectName, const QString& id, const QString& hide,
                              const QString& show) {
    QAction* command = action(id);
    const bool hiding = command->text() == hide;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (sub->widget() && sub->widget()->objectName() == objectName)
            sub->setVisible(!hiding);
    command->setText(hiding ? show : hide);
}

void mdiMain::tileWindows(Qt::Orientation direction) {
    QList<QMdiSubWindow*> shown;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (sub->isVisible() && !sub->isMinimized())
            shown << sub;
    if (shown.isEmpty())
        return;
    const QRect area = mdi_->viewport()->rect();
    const int count = int(shown.size());
    for (int i = 0; i < count; ++i) {
        shown[i]->showNormal();
        if (direction == Qt::Vertical)
            shown[i]->setGeometry(0, i * (area.height() / count), area.width(), area.height() / count);
        else
            shown[i]->setGeometry(i * (area.width() / count), 0, area.width() / count, area.height());
    }
}

void mdiMain::arrangeIcons() {
    // Minimised windows in a row along the bottom.
    int x = 0;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (sub->isMinimized()) {
            sub->move(x, mdi_->viewport()->height() - sub->height());
            x += sub->width();
        }
}

void mdiMain::showOptions() {
    auto* dialog = new frmConfiguration(prompter_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void mdiMain::showAbout() {
    prompter_.inform(QStringLiteral("About ") + AppTitle(),
                     AppTitle() + u' ' + VersionText(false, true) +
                         QStringLiteral("\n\nA mailing-list manager and bulk e-mail sender."),
                     Prompter::Icon::Information);
}
