#include "send/TerminationSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = {-1, -1};
volatile sig_atomic_t signalsSeen = 0;
volatile sig_atomic_t secondEndsProcess = 0;
struct sigaction previousInt;
struct sigaction previousTerm;

// Only async-signal-safe work here: the number goes through a pipe to the event loop.
void onSignal(int number) {
    if (signalsSeen != 0 && secondEndsProcess != 0)
        ::_exit(128 + number);
    signalsSeen = 1;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signalsSeen = 0;
    secondEndsProcess = 0;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(pipeEnds[0], &byte, 1) == 1) {
            // Two signals sent together may both pass the handler's test before either is counted.
            if (++delivered_ > 1 && secondEndsProcess != 0)
                ::_exit(128 + static_cast<unsigned char>(byte));
            Q_EMIT received(static_cast<unsigned char>(byte));
        }
    });
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_)
        return;
    notifier_.reset();
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void TerminationSignals::endProcessOnSecondSignal() {
    secondEndsProcess = 1;
}

bool TerminationSignals::isActive() const {
    return notifier_ != nullptr;
}
