#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reading what mailbox processing needs from a message: its header fields (unfolded and with their
// encoded words decoded), the subject phrase test, and the address a returned mail reports as failed.
namespace MailHeaders {

// The header fields of a message (or of a header block alone), in order; a folded field is joined into
// one line. Parsing stops at the first empty line.
struct Field {
    QByteArray name;
    QByteArray value; // raw, unfolded, without the blank after the colon
};
QList<Field> parse(const QByteArray& message);

// The first field of that name (any case), decoded; empty when there is none.
QString value(const QList<Field>& fields, QByteArrayView name);
bool has(const QList<Field>& fields, QByteArrayView name);

// RFC 2047: every encoded word ("=?charset?B|Q?text?=") decoded, the blanks between two adjacent encoded
// words dropped; other bytes are read as UTF-8, or Latin-1 when they are not valid UTF-8.
QString decodeWords(QByteArrayView text);

// The index of the first phrase that stands in the subject as whole words (starting at its beginning or
// after a blank, ending at its end or before a blank), compared without regard to case; -1 when none.
qsizetype matchingPhrase(const QString& subject, const QStringList& phrases);
// The subject phrases of returned mail.
const QStringList& failurePhrases();

// A message the server built to report on a delivery: a multipart/report of report-type delivery-status.
bool isDeliveryReport(const QList<Field>& fields);
// An answer sent by a program without a delivery report: Auto-Submitted other than "no", the fields
// auto-responders add, or an "Out of office" subject.
bool isAutoReply(const QList<Field>& fields);

// The failed recipient of a delivery report: from the first recipient block of its message/delivery-status
// part whose Action is "failed" (or that has none), the Original-Recipient, else the Final-Recipient,
// without its address type. Empty when the message holds no such part.
QString reportedRecipient(const QByteArray& message);
// The recipient a VERP-encoded envelope recipient of the returned mail carries: from the first of
// Delivered-To, X-Original-To and To (each field of a name in order) that is of that form; empty when none.
QString verpRecipient(const QList<Field>& fields);
// The failed recipient named in the body of returned mail without a report: the rest of the first
// "To: " line after the quoted "Subject: " line, else of the body's first "To: " line; empty when none.
QString toLineAfterSubject(const QByteArray& message);

} // namespace MailHeaders
