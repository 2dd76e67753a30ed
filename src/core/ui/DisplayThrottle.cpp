#include "core/ui/DisplayThrottle.h"

DisplayThrottle::DisplayThrottle(QObject* parent, int intervalMs) : QObject(parent), intervalMs_(intervalMs) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &DisplayThrottle::flush);
}

void DisplayThrottle::post(int key, std::function<void()> apply) {
    if (!timer_.isActive() && (!sinceShown_.isValid() || sinceShown_.elapsed() >= intervalMs_)) {
        apply();
        sinceShown_.start();
        return;
    }
    pending_[key] = std::move(apply);
    if (!timer_.isActive())
        timer_.start(int(qMax<qint64>(0, intervalMs_ - sinceShown_.elapsed())));
}

void DisplayThrottle::flush() {
    timer_.stop();
    // Taken out first: an update may post again.
    std::map<int, std::function<void()>> pending;
    pending.swap(pending_);
    for (auto& [key, apply] : pending)
        apply();
    sinceShown_.start();
}
