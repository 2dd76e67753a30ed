#pragma once

// What every benchmark needs: an application folder of its own, a Prompter that answers safely, and
// processor time.
#include "core/AppSettings.h"
#include "core/Prompter.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
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

// The gaps between the ticks of a precise timer of the given interval: how long the event loop could not
// answer while the work ran.
class EventLoopGaps {
public:
    explicit EventLoopGaps(int intervalMs) {
        timer_.setInterval(intervalMs);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            gaps_.append(double(now - last_) / 1e6);
            last_ = now;
        });
    }
    void start() {
        gaps_.clear();
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double max() const { return gaps_.isEmpty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end()); }
    double percentile99() const {
        if (gaps_.isEmpty())
            return 0;
        QList<double> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        return sorted.at(qsizetype(double(sorted.size() - 1) * 0.99));
    }
    qsizetype over(double ms) const {
        return std::count_if(gaps_.begin(), gaps_.end(), [ms](double gap) { return gap >= ms; });
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    QList<double> gaps_;
};

// Processor seconds (user and system) of this process (RUSAGE_SELF) or of its finished children
// (RUSAGE_CHILDREN).
inline double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
