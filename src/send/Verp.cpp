#include "send/Verp.h"

#include "db/DbHelpers.h"

namespace Verp {

QString encode(const QString& bounceAddress, const QString& recipient) {
    const qsizetype at = bounceAddress.lastIndexOf(u'@');
    const qsizetype recipientAt = recipient.lastIndexOf(u'@');
    if (at <= 0 || recipientAt <= 0)
        return bounceAddress;
    return bounceAddress.left(at) + u'+' + recipient.left(recipientAt) + u'=' +
           recipient.mid(recipientAt + 1) + bounceAddress.mid(at);
}

QString decode(const QString& address) {
    const QString bare = address.trimmed().remove(u'<').remove(u'>');
    const qsizetype at = bare.lastIndexOf(u'@');
    const qsizetype plus = bare.indexOf(u'+');
    if (at < 0 || plus <= 0 || plus > at)
        return {};
    // The recipient's own local part may hold "=" and "+": its domain follows the last "=".
    QString carried = bare.mid(plus + 1, at - plus - 1);
    const qsizetype equals = carried.lastIndexOf(u'=');
    if (equals <= 0 || equals == carried.size() - 1)
        return {};
    carried[equals] = u'@';
    return IsValidEmailAddress(carried) ? carried : QString();
}

} // namespace Verp
