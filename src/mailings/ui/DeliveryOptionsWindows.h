#pragma once

#include <QString>

class Desk;

// The delivery-options wizard as the other windows open it.
namespace DeliveryOptionsWindows {

// Opens the wizard on a new set of delivery options.
void NewTBProfile(Desk& desk);
// Opens the wizard on the named set at the given step; false, after saying so, when the set is missing.
bool OpenTBProfile(Desk& desk, const QString& name, int page = 1);

} // namespace DeliveryOptionsWindows
