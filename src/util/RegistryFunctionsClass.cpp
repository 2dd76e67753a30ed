#include "util/RegistryFunctionsClass.h"

#include "util/IniFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

RegistryFunctionsClass::RegistryFunctionsClass(QString storePath) : storePath_(std::move(storePath)) {
    if (storePath_.isEmpty())
        storePath_ = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                     QStringLiteral("/Tamberlyn/registry.ini");
}

QString RegistryFunctionsClass::ReadRegistry(const QString& root, const QString& keyPath) const {
    QString value = ZTrim(IniFile(storePath_).value(root, keyPath));
    while (value.endsWith(u' '))
        value.chop(1);
    return value;
}

void RegistryFunctionsClass::WriteRegistry(const QString& root, const QString& keyPath,
                                           const QString& value) {
    QDir().mkpath(QFileInfo(storePath_).absolutePath());
    IniFile(storePath_).write(root, keyPath, value.trimmed());
}

QString RegistryFunctionsClass::ZTrim(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString RegistryFunctionsClass::ProgramOfCommandLine(const QString& commandLine) {
    if (commandLine.startsWith(u'"')) {
        const qsizetype close = commandLine.indexOf(u'"', 1);
        return close < 0 ? commandLine.mid(1) : commandLine.mid(1, close - 1);
    }
    const qsizetype blank = commandLine.indexOf(u' ');
    return blank < 0 ? commandLine : commandLine.left(blank);
}

QString RegistryFunctionsClass::ExecOfDesktopEntry(const QString& desktopFilePath) {
    QFile file(desktopFilePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'['))
            inEntry = line == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line.startsWith(QStringLiteral("Exec="))) {
            static const QRegularExpression fieldCode(QStringLiteral("\\s*%[a-zA-Z%]"));
            return line.mid(5).remove(fieldCode).trimmed();
        }
    }
    return {};
}

QString RegistryFunctionsClass::GetDefaultBrowser() const {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(3000) || query.exitCode() != 0)
        return {};
    const QString entry = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (entry.isEmpty())
        return {};
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry);
    return path.isEmpty() ? QString() : ProgramOfCommandLine(ExecOfDesktopEntry(path));
}
