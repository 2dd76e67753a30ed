#pragma once

#include "app/mdlMain.h"
#include "support/ScriptedPrompter.h"

#include <QTemporaryDir>

// A fresh application folder for one test, started the way the program starts.
class TestHome {
public:
    TestHome();
    // Fails the running test when a scripted answer was never asked for.
    ~TestHome();

    QString path() const { return dir_.path() + QStringLiteral("/home"); }
    QString file(const QString& relative) const { return path() + u'/' + relative; }
    // Runs start-up on the folder with the scripted prompter; keeps the instance lock until destroyed.
    bool start();
    // Ends the started program, releasing the instance lock, as when the program closes.
    void stop() { startup_.reset(); }

    ScriptedPrompter prompter;

private:
    QTemporaryDir dir_;
    std::unique_ptr<Startup> startup_;
};

// The whole content of a file, or a null array when it cannot be read.
QByteArray readFileBytes(const QString& path);
