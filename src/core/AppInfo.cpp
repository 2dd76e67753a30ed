#include "core/AppInfo.h"

#include "Version.h"

#include <QDir>
#include <QtGlobal>

QString AppTitle() {
    return QString::fromLatin1(Version::Title);
}

QString VersionText(bool withTitle, bool withWord) {
    QString text;
    if (withTitle)
        text += AppTitle() + u' ';
    if (withWord)
        text += QStringLiteral("Version ");
    text += QString::number(Version::Major) + u'.' + QString::number(Version::Minor);
    if (Version::Revision != 0)
        text += u'.' + QString::number(Version::Revision);
    return text;
}

bool IsValidFileName(const QString& name) {
    if (name.startsWith(u'\''))
        return false;
    static const QString forbidden = QStringLiteral("\"/\\?:;|*");
    for (const QChar c : name)
        if (forbidden.contains(c))
            return false;
    return true;
}

QString ResolveAppFolder(const QString& requested) {
    if (!requested.isEmpty())
        return QDir(requested).absolutePath();
    const QString fromEnvironment = qEnvironmentVariable("TAMBERLYN_HOME");
    if (!fromEnvironment.isEmpty())
        return QDir(fromEnvironment).absolutePath();
    return QDir::homePath() + QStringLiteral("/.local/share/Tamberlyn");
}
