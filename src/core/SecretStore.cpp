#include "core/SecretStore.h"

#include <QProcess>
#include <QStandardPaths>

namespace SecretStore {

namespace {

constexpr int TimeoutMs = 10000;

QString& configuredTool() {
    static QString path;
    return path;
}

// The attributes that identify the entry: one password per server and user name.
QStringList attributes(const QString& server, const QString& user, Service service) {
    return {QStringLiteral("service"),
            service == Service::Pop ? QStringLiteral("tamberlyn-pop") : QStringLiteral("tamberlyn-smtp"),
            QStringLiteral("server"),
            server,
            QStringLiteral("user"),
            user};
}

} // namespace

QString toolPath() {
    if (!configuredTool().isEmpty())
        return configuredTool();
    return QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
}

void setToolPath(const QString& path) {
    configuredTool() = path;
}

bool isAvailable() {
    return !toolPath().isEmpty();
}

QString unavailableText() {
    return QStringLiteral("No desktop keyring was found (the program secret-tool from the package "
                          "libsecret-tools is needed), so the password was not stored. Passwords are never "
                          "written to the settings file.");
}

bool storePassword(const QString& server, const QString& user, const QString& password, QString* error,
                   Service service) {
    const QString tool = toolPath();
    if (tool.isEmpty()) {
        if (error)
            *error = unavailableText();
        return false;
    }
    QProcess process;
    const QString label = service == Service::Pop ? QStringLiteral("--label=Tamberlyn POP password")
                                                  : QStringLiteral("--label=Tamberlyn SMTP password");
    process.start(tool, QStringList{QStringLiteral("store"), label} + attributes(server, user, service));
    if (process.waitForStarted(TimeoutMs)) {
        // secret-tool reads the secret from its input up to the end.
        process.write(password.toUtf8());
        process.closeWriteChannel();
        if (process.waitForFinished(TimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return true;
    }
    if (error) {
        const QString detail = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        *error = QStringLiteral("The keyring did not store the password") +
                 (detail.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + detail);
    }
    process.kill();
    process.waitForFinished(1000);
    return false;
}

std::optional<QString> lookupPassword(const QString& server, const QString& user, Service service) {
    const QString tool = toolPath();
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, QStringList{QStringLiteral("lookup")} + attributes(server, user, service));
    if (!process.waitForFinished(TimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool clearPassword(const QString& server, const QString& user, Service service) {
    const QString tool = toolPath();
    if (tool.isEmpty())
        return false;
    QProcess process;
    process.start(tool, QStringList{QStringLiteral("clear")} + attributes(server, user, service));
    if (process.waitForFinished(TimeoutMs) && process.exitStatus() == QProcess::NormalExit)
        return true;
    process.kill();
    process.waitForFinished(1000);
    return false;
}

} // namespace SecretStore
