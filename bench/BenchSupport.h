#pragma once

// What every benchmark needs: an application folder of its own, a Prompter that answers safely, and
// processor time.
#include "core/AppSettings.h"
#include "core/Prompter.h"

#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

// A temporary application folder, made current and created, removed at the end.
class BenchHome {
public:
    explicit BenchHome(const QString& sub = QString()) {
        if (dir_.isValid()) {
            app().folders = AppFolders::under(sub.isEmpty() ? dir_.path() : dir_.filePath(sub));
            appFolders().createMissing();
        }
    }
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

// Answers every question safely and keeps what it was told; with printing on it also shows it.
class BenchPrompter : public Prompter {
public:
    explicit BenchPrompter(bool print = false) : print_(print) {}
    void inform(const QString& title, const QString& text, Icon) override {
        messages << (title.isEmpty() ? text : title + QStringLiteral(": ") + text);
        if (print_)
            std::fprintf(stderr, "  message: %s\n", qPrintable(messages.last()));
    }
    Answer ask(const QString&, const QString& text, Buttons buttons, Icon) override {
        if (print_)
            std::fprintf(stderr, "  question: %s\n", qPrintable(text));
        return safeAnswer(buttons);
    }
    std::optional<QString> askText(const QString&, const QString&, bool) override { return std::nullopt; }
    QStringList messages;

private:
    bool print_;
};

// Processor seconds (user and system) of this process (RUSAGE_SELF) or of its finished children
// (RUSAGE_CHILDREN).
inline double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
