#include "db/ListEvents.h"

ListEvents& ListEvents::instance() {
    static ListEvents events;
    return events;
}
