#include "send/DateStamp.h"

#include <QLocale>

namespace DateStamp {

QString zoneText(const QDateTime& moment) {
    // Taken from the zone's real offset, so that half-hour zones and offsets across midnight come out
    // right.
    int minutes = moment.offsetFromUtc() / 60;
    const QChar sign = minutes < 0 ? u'-' : u'+';
    minutes = qAbs(minutes);
    return sign +
           QStringLiteral("%1%2").arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString dateHeaderText(const QDateTime& moment) {
    const QDateTime local = moment.toLocalTime();
    return QLocale::c().toString(local, QStringLiteral("ddd, dd MMM yyyy  HH:mm:ss")) + u' ' +
           zoneText(local);
}

QString startText(const QDateTime& moment) {
    return QLocale::c().toString(moment.toLocalTime(), QStringLiteral("MMM dd yyyy  hh:mm AP"));
}

} // namespace DateStamp
