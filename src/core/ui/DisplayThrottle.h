#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

// Coalesces the updates of a window's progress displays. Work on the event loop reports far more often
// than anyone can read, and each report that changes a widget costs a repaint, which is time taken from
// the work. An update is shown at once when the display has been quiet for an interval; otherwise only
// the latest update of each display is shown, once the interval has passed.
class DisplayThrottle : public QObject {
public:
    explicit DisplayThrottle(QObject* parent, int intervalMs = 100);

    // Shows the update of display `key` now or after the interval; a later one of the same key replaces it.
    void post(int key, std::function<void()> apply);
    // Shows every update still waiting (at the end of the work).
    void flush();

private:
    std::map<int, std::function<void()>> pending_;
    QTimer timer_;
    QElapsedTimer sinceShown_;
    int intervalMs_;
};
