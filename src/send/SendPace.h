#pragma once

#include <QList>
#include <QtGlobal>
#include <optional>

// The pace of a run as the send dialog shows it: messages per second over the last half minute, and the
// time left for the rest of the recipients at that pace. Fed with the count of recipients done at
// moments in milliseconds; a pause lowers the pace as it happens.
class SendPace {
public:
    static constexpr qint64 WindowMs = 30000;

    void begin(qint64 nowMs, qint64 total);
    void note(qint64 nowMs, qint64 done);

    qint64 total() const { return total_; }
    qint64 done() const { return samples_.isEmpty() ? 0 : samples_.last().done; }
    qint64 elapsedMs() const { return samples_.isEmpty() ? 0 : samples_.last().atMs - startMs_; }
    // Messages per second over the last WindowMs (over the whole run while it is younger); 0 at the start.
    double rate() const;
    // Nothing while there is no pace to go by.
    std::optional<qint64> remainingMs() const;

private:
    struct Sample {
        qint64 atMs;
        qint64 done;
    };
    QList<Sample> samples_;
    qint64 startMs_ = 0;
    qint64 total_ = 0;
};
