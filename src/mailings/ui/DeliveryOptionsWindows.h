#pragma once

#include <QString>

class Desk;
class QWidget;
class frmTBProfileWiz;

// The delivery-options wizard as the other windows open it.
namespace DeliveryOptionsWindows {

// The wizard is modal to parent; without one, to the modal window open (a warning that offers it), else
// to the main window.

// Opens the wizard on a new set of delivery options.
frmTBProfileWiz* NewTBProfile(Desk& desk, QWidget* parent = nullptr);
// Opens the wizard on the named set at the given step; false, after saying so, when the set is missing.
bool OpenTBProfile(Desk& desk, const QString& name, int page = 1, QWidget* parent = nullptr);

} // namespace DeliveryOptionsWindows
