#pragma once

#include <QDateTime>
#include <QString>

// The date texts of a mailing run, with English day and month names whatever the system's language.
namespace DateStamp {

// The moment's offset from UTC as sign and four digits: +0100, -0800, +0530.
QString zoneText(const QDateTime& moment);
// The text of the Date: header: "Sun, 06 Dec 2026  14:05:09 +0100".
QString dateHeaderText(const QDateTime& moment);
// The run's start as the mailing keeps it: "Dec 06 2026  02:05 PM".
QString startText(const QDateTime& moment);

} // namespace DateStamp
