#include "mailings/ui/MailingWindowServices.h"

namespace MailingWindowServices {

namespace {
Services& installed() {
    static Services services;
    return services;
}
} // namespace

void install(Services services) {
    installed() = std::move(services);
}

const Services& services() {
    return installed();
}

} // namespace MailingWindowServices
