#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What a new mailing can be made of: the registered lists, the saved messages and the sets of delivery
// options, as the mailing windows offer them.
namespace MailingChoices {

struct NamedItem {
    QString name;
    QString description;
};

// The registered lists, in name order.
QStringList listNames();
// The file of a registered list; empty when the list is not registered.
QString listFile(const QString& name);
// The saved messages in name order; the temporary names of messages never saved are left out.
QStringList messageNames();
// The sets of delivery options with their descriptions, in name order.
QList<NamedItem> profiles();
bool profileExists(const QString& name);

// The set of delivery options every new central database holds.
inline QString defaultProfileName() {
    return QStringLiteral("Default Delivery Options");
}

} // namespace MailingChoices
