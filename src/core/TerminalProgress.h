#pragma once

#include "core/Prompter.h"

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>
#include <functional>

// The one self-updating line a long command shows on a terminal instead of a line per item: done of
// total, the rate, the time elapsed and the time left. The line is redrawn in place ("\r", then erase
// to the end of the line) at most ten times a second; lines of their own (a pause, a resume, a
// warning) are printed above it with print(), and finish() leaves it as the last state and ends it.
//
// A command decides whether to show it (its standard output is a terminal and --verbose was not
// given). When it is not shown, update() and finish() do nothing and print() writes the line as the
// command always has, so output that goes to a file or a pipe stays as it was.
class TerminalProgress {
public:
    // What done and total count: items named by the unit ("messages"), or bytes, shown in MB.
    enum class Measure { Items, Bytes };
    // Milliseconds since some fixed point; tests give their own.
    using Clock = std::function<qint64()>;

    TerminalProgress(QTextStream& out, bool shown, const QString& unit, Measure measure = Measure::Items,
                     Clock clock = {});
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    bool isShown() const { return shown_; }
    void setUnit(const QString& unit) { unit_ = unit; }
    // done of total so far; a total of 0 or less is unknown (no share, no time left).
    void update(qint64 done, qint64 total);
    // A line of its own: above the progress line when it is shown, else simply written.
    void print(const QString& text);
    // Takes the progress line off the screen until the next update (before a question is asked).
    void clear();
    // Draws the last state and ends the line; nothing when nothing was drawn.
    void finish();

    // The text of the line for these figures (without the redraw control characters).
    static QString lineText(qint64 done, qint64 total, qint64 elapsedMs, const QString& unit,
                            Measure measure);

    // The shortest redraw interval.
    static constexpr qint64 RedrawIntervalMs = 100;

private:
    void draw();
    qint64 now() const;

    QTextStream& out_;
    bool shown_;
    QString unit_;
    Measure measure_;
    Clock clock_;
    QElapsedTimer timer_;
    qint64 startMs_ = 0;
    qint64 done_ = 0;
    qint64 total_ = 0;
    bool started_ = false;  // update() was called
    bool onScreen_ = false; // the line is drawn and not cleared
    qint64 lastDrawMs_ = 0;
};

// A Prompter that takes the progress line off the screen before every message or question, so that
// they start on a line of their own; the progress line comes back at the next update.
class ProgressPrompter : public Prompter {
public:
    ProgressPrompter(Prompter& inner, TerminalProgress& progress) : inner_(inner), progress_(progress) {}

    void inform(const QString& title, const QString& text, Icon icon = Icon::Information) override;
    Answer ask(const QString& title, const QString& text, Buttons buttons,
               Icon icon = Icon::Question) override;
    std::optional<QString> askText(const QString& title, const QString& text, bool secret = false) override;

private:
    Prompter& inner_;
    TerminalProgress& progress_;
};
