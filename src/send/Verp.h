#pragma once

#include <QString>

// Variable envelope return paths: the bounce address carries the recipient, so that returned mail names
// the recipient whatever the report says. bounce@example.org for ann@example.net becomes
// bounce+ann=example.net@example.org (the "+" and "=" convention most mail servers deliver to bounce).
namespace Verp {

QString encode(const QString& bounceAddress, const QString& recipient);
// The recipient an address of that form carries; empty when the address is not of that form or what it
// carries is no address.
QString decode(const QString& address);

} // namespace Verp
