#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// Turns SIGINT into a signal on the event loop while it lives (also when not on a terminal); the
// handler that was installed before comes back afterwards.
class SendInterrupt : public QObject {
    Q_OBJECT
public:
    explicit SendInterrupt(QObject* parent = nullptr);
    ~SendInterrupt() override;

Q_SIGNALS:
    void interrupted();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
