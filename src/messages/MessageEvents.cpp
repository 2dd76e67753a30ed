#include "messages/MessageEvents.h"

MessageEvents& MessageEvents::instance() {
    static MessageEvents events;
    return events;
}
