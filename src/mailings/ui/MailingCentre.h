#pragma once

#include <QString>
#include <QtGlobal>

class Desk;

// The mailing centre as the other mailing windows reach it: there is at most one per main window.
namespace MailingCentre {

// Opens the centre, or brings the open one forward.
void StartTBCentral(Desk& desk);
// Creates the mailing, opening the centre when needed, shows it there selected and returns its number.
qint32 PrepareMailingUpdatingInterface(Desk& desk, const QString& group, const QString& list,
                                       const QString& message, const QString& options);
// Checks and starts the mailing selected in the centre.
void SendTamberlynIfPossible(Desk& desk);

} // namespace MailingCentre
