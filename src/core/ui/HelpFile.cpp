#include "core/ui/HelpFile.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

void ShowHelpFile(Prompter& prompter) {
    const QString path = app().helpFile.isEmpty() ? appFolders().helpFile() : app().helpFile;
    if (!QFileInfo(path).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        prompter.inform(AppTitle(),
                        QStringLiteral("The help file ") + path + QStringLiteral(" could not be opened."),
                        Prompter::Icon::Information);
}
