#include "mailings/ui/DeliveryOptionsWindows.h"

// Placeholder until the delivery-options wizard lands.
namespace DeliveryOptionsWindows {

void NewTBProfile(Desk&) {}

bool OpenTBProfile(Desk&, const QString&, int) {
    return false;
}

} // namespace DeliveryOptionsWindows
