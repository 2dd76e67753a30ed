#include "mailings/MailingEvents.h"

MailingEvents& MailingEvents::instance() {
    static MailingEvents events;
    return events;
}
