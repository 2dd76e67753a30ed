#include "core/AppInfo.h"

#include "Version.h"
#include "util/StringFunctionsObject.h"

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

QString NameRefusal(const QString& kind, const QString& name, qsizetype maxLength) {
    if (StringFunctionsObject::containsControlCharacter(name))
        return QStringLiteral("A ") + kind +
               QStringLiteral(" may not hold a tab, a line break or another control character.");
    if (name.size() > maxLength)
        return QStringLiteral("A ") + kind + QStringLiteral(" has at most ") + QString::number(maxLength) +
               QStringLiteral(" characters.");
    return {};
}

QString ResolveAppFolder(const QString& requested) {
    if (!requested.isEmpty())
        return QDir(requested).absolutePath();
    const QString fromEnvironment = qEnvironmentVariable("TAMBERLYN_HOME");
    if (!fromEnvironment.isEmpty())
        return QDir(fromEnvironment).absolutePath();
    return QDir::homePath() + QStringLiteral("/.local/share/Tamberlyn");
}
