#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop, for command-line runs
// that end or stop cleanly on Ctrl-C. While an instance lives it owns both signals; the previous
// handlers come back when it goes. One instance at a time.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool isActive() const;
    // A second signal ends the process at once (exit status 128 + its number), for when the first
    // one's clean stop takes too long for the user.
    void endProcessOnSecondSignal();

Q_SIGNALS:
    void received(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    int delivered_ = 0;
};
