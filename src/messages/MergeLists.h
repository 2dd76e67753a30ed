#pragma once

#include <QString>
#include <QStringList>

// The lists a message editor offers as the source of its merge fields, and their fields.
namespace MergeLists {

// The choice that names no list.
QString noListText(); // "<no list>"
// The registered lists by name.
QStringList registeredListNames();
// The columns of the list's AddressList table; none for an unknown or unreadable list.
QStringList fieldNames(const QString& listName);

} // namespace MergeLists
