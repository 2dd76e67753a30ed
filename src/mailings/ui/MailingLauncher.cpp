#include "mailings/ui/MailingLauncher.h"

#include <utility>

namespace MailingLauncher {
namespace {

Launch& installed() {
    static Launch launch;
    return launch;
}

} // namespace

void install(Launch launch) {
    installed() = std::move(launch);
}

bool launch(Desk& desk, qint32 id, std::function<void()> whenCancelled) {
    if (!installed())
        return false;
    installed()(desk, id, std::move(whenCancelled));
    return true;
}

} // namespace MailingLauncher
