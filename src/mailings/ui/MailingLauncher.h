#pragma once

#include <QtGlobal>
#include <functional>

class Desk;

// Sending a mailing from the desktop opens the send module's windows (the send-again warning, the send
// dialog), and that module sits above this one: it installs its launcher here when its windows are
// registered, and the mailing windows start mailings through it.
namespace MailingLauncher {

// Starts mailing id: the send-again warning first when the mailing was sent before, then the send
// dialog. whenCancelled runs when the user cancels the warning.
using Launch = std::function<void(Desk& desk, qint32 id, std::function<void()> whenCancelled)>;

void install(Launch launch);
// False, doing nothing, when no launcher is installed.
bool launch(Desk& desk, qint32 id, std::function<void()> whenCancelled = {});

} // namespace MailingLauncher
