#include "core/ErrorLog.h"

#include "Version.h"
#include "core/AppSettings.h"
#include "util/StringFunctionsObject.h"

#include <QDateTime>
#include <QFile>

void LogError(const QString& callerText, const CurrentError& error) {
    LogErrorTo(appFolders().errorLog(), callerText, error);
}

void LogErrorTo(const QString& logPath, const QString& callerText, const CurrentError& error) {
    const QString version =
        QStringLiteral("%1.%2.%3").arg(Version::Major).arg(Version::Minor).arg(Version::Revision);
    const QString entry = version + QStringLiteral("\r\n") + generalDateText(QDateTime::currentDateTime()) +
                          QStringLiteral("\r\nCalled From: ") + callerText + QStringLiteral("\r\n") +
                          QString::number(error.number) + QStringLiteral(" - ") + error.description +
                          QStringLiteral("\r\n\r\n");
    QFile file(logPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(entry.toUtf8());
}
