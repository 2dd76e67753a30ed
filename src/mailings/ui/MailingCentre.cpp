#include "mailings/ui/MailingCentre.h"

#include "mailings/Mailings.h"

// Placeholder until the centre's window lands: mailings are still created, nothing is shown.
namespace MailingCentre {

void StartTBCentral(Desk&) {}

qint32 PrepareMailingUpdatingInterface(Desk&, const QString& group, const QString& list,
                                       const QString& message, const QString& options) {
    return Mailings::PrepareMailing(group, list, message, options);
}

void SendTamberlynIfPossible(Desk&) {}

} // namespace MailingCentre
