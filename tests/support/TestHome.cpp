#include "support/TestHome.h"

#include <QFile>
#include <QTest>

TestHome::TestHome() = default;

TestHome::~TestHome() {
    // An answer nobody asked for means a question the test expected did not come. A test that has
    // already failed may have stopped before its questions.
    if (!QTest::currentTestFunction() || QTest::currentTestFailed() || prompter.allAnswersUsed())
        return;
    QTest::qFail("Scripted answers were left unused", __FILE__, __LINE__);
}

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
