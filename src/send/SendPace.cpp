#include "send/SendPace.h"

#include <cmath>

void SendPace::begin(qint64 nowMs, qint64 total) {
    samples_ = {{nowMs, 0}};
    startMs_ = nowMs;
    total_ = total;
}

void SendPace::note(qint64 nowMs, qint64 done) {
    samples_.append({nowMs, done});
    // Keep one sample at or before the window's start, so the window is always covered.
    while (samples_.size() > 2 && samples_.at(1).atMs <= nowMs - WindowMs)
        samples_.removeFirst();
}

double SendPace::rate() const {
    if (samples_.size() < 2)
        return 0;
    const Sample& last = samples_.last();
    const Sample& first = samples_.first();
    const qint64 windowStart = qMax(first.atMs, last.atMs - WindowMs);
    double doneAtStart = double(first.done);
    if (first.atMs < windowStart) {
        // The count at the window's start, read between the two samples around it.
        const Sample& next = samples_.at(1);
        const double share = double(windowStart - first.atMs) / double(next.atMs - first.atMs);
        doneAtStart += share * double(next.done - first.done);
    }
    const qint64 spanMs = last.atMs - windowStart;
    return spanMs > 0 ? (double(last.done) - doneAtStart) * 1000.0 / double(spanMs) : 0;
}

std::optional<qint64> SendPace::remainingMs() const {
    const double perSecond = rate();
    if (perSecond <= 0)
        return std::nullopt;
    return qint64(std::llround(double(qMax<qint64>(0, total_ - done())) * 1000.0 / perSecond));
}
