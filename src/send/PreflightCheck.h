#pragma once

#include "send/SMTPSocket.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct MessageRecord;
class MailEvent;

// What a look at a mailing before its run finds: faults that would make copies wrong or refused
// (errors) and things receivers or their filters may hold against it (warnings).
namespace PreflightCheck {

enum class Severity { Error, Warning };

struct Finding {
    Severity severity = Severity::Error;
    QString concerns; // "copy 2 (ann@example.org)", "message", "attachment FILE", "delivery options"
    QString text;
};

QString severityText(Severity severity);

// The faults of one copy as it would be sent: MIME structure, line lengths, the required header fields,
// unencoded 8-bit header text, merge tags left in the text.
QList<Finding> inspectCopy(int number, const SMTPSocket::Copy& copy);

// The faults of the message and its options: missing image and attachment files, HTML without a text
// alternative or mostly images, a subject in capitals, no List-Unsubscribe on a list over 1,000
// addresses.
QList<Finding> inspectMessage(const MessageRecord& message, const MailEvent& options, qint64 listSize);

// A copy larger than the server announces it takes (its EHLO SIZE; 0 or less: no limit).
QList<Finding> inspectSize(int number, const SMTPSocket::Copy& copy, qint64 announcedSize,
                           const QString& server);

} // namespace PreflightCheck
