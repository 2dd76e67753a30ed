#include "core/TerminalProgress.h"

namespace {

// Back to the start of the line and erase it: the next text replaces the progress line.
constexpr const char* EraseLine = "\r\x1b[K";

// A terminal wraps a line longer than its width, and "\r" then returns to the wrapped part only.
constexpr qsizetype MaxLineLength = 79;

QString duration(qint64 ms) {
    const qint64 seconds = ms / 1000;
    const qint64 hours = seconds / 3600;
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2")
            .arg(hours > 0 ? (seconds / 60) % 60 : seconds / 60, hours > 0 ? 2 : 1, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + u':' + minutesAndSeconds : minutesAndSeconds;
}

QString amount(qint64 value, TerminalProgress::Measure measure) {
    if (measure == TerminalProgress::Measure::Bytes)
        return QString::number(double(value) / 1e6, 'f', 1);
    return QString::number(value);
}

} // namespace

TerminalProgress::TerminalProgress(QTextStream& out, bool shown, const QString& unit, Measure measure,
                                   Clock clock)
    : out_(out), shown_(shown), unit_(unit), measure_(measure), clock_(std::move(clock)) {
    timer_.start();
    startMs_ = now();
}

TerminalProgress::~TerminalProgress() {
    // A command that returns early must not leave the shell's prompt behind the progress line.
    if (onScreen_)
        out_ << '\n' << Qt::flush;
}

qint64 TerminalProgress::now() const {
    return clock_ ? clock_() : timer_.elapsed();
}

QString TerminalProgress::lineText(qint64 done, qint64 total, qint64 elapsedMs, const QString& unit,
                                   Measure measure) {
    const QString shownUnit = measure == Measure::Bytes ? QStringLiteral("MB") : unit;
    QString text = amount(done, measure);
    if (total > 0)
        text += QStringLiteral(" / ") + amount(total, measure);
    text += u' ' + shownUnit;
    if (total > 0)
        text += QStringLiteral(" (%1%)").arg(qMin<qint64>(100, done * 100 / total));
    const double seconds = double(elapsedMs) / 1000.0;
    const double rate = seconds > 0 ? double(done) / seconds : 0.0;
    if (rate > 0) {
        const double shownRate = measure == Measure::Bytes ? rate / 1e6 : rate;
        text += QStringLiteral(", %1 %2/s").arg(shownRate, 0, 'f', shownRate < 10 ? 1 : 0).arg(shownUnit);
    }
    text += QStringLiteral(", ") + duration(elapsedMs) + QStringLiteral(" elapsed");
    if (total > 0 && rate > 0 && done < total)
        text += QStringLiteral(", ") + duration(qint64(double(total - done) / rate * 1000.0)) +
                QStringLiteral(" left");
    return text.left(MaxLineLength);
}

void TerminalProgress::update(qint64 done, qint64 total) {
    if (!shown_)
        return;
    done_ = done;
    total_ = total;
    const bool first = !started_;
    started_ = true;
    if (first || !onScreen_ || now() - lastDrawMs_ >= RedrawIntervalMs)
        draw();
}

void TerminalProgress::draw() {
    lastDrawMs_ = now();
    out_ << EraseLine << lineText(done_, total_, lastDrawMs_ - startMs_, unit_, measure_) << Qt::flush;
    onScreen_ = true;
}

void TerminalProgress::print(const QString& text) {
    if (!shown_) {
        out_ << text << Qt::endl;
        return;
    }
    if (onScreen_)
        out_ << EraseLine;
    out_ << text << '\n';
    if (started_)
        draw();
    else
        out_ << Qt::flush;
}

void TerminalProgress::clear() {
    if (!onScreen_)
        return;
    out_ << EraseLine << Qt::flush;
    onScreen_ = false;
}

void TerminalProgress::finish() {
    if (!shown_ || !started_)
        return;
    draw();
    out_ << '\n' << Qt::flush;
    onScreen_ = false;
    started_ = false;
}

void ProgressPrompter::inform(const QString& title, const QString& text, Icon icon) {
    progress_.clear();
    inner_.inform(title, text, icon);
}

Prompter::Answer ProgressPrompter::ask(const QString& title, const QString& text, Buttons buttons,
                                       Icon icon) {
    progress_.clear();
    return inner_.ask(title, text, buttons, icon);
}

std::optional<QString> ProgressPrompter::askText(const QString& title, const QString& text, bool secret) {
    progress_.clear();
    return inner_.askText(title, text, secret);
}
