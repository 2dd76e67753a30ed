#include "support/TestHome.h"

#include <QFile>

TestHome::TestHome() = default;

bool TestHome::start() {
    StartupOptions options;
    options.appFolder = path();
    options.executableName = QStringLiteral("tamberlyn");
    options.prompter = &prompter;
    startup_ = std::make_unique<Startup>(options);
    return startup_->run() == Startup::Result::Started;
}

QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
