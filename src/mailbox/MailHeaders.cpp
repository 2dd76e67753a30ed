#include "mailbox/MailHeaders.h"

#include "send/Verp.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <optional>

namespace MailHeaders {

namespace {

QString plainText(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QByteArray decodeQ(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size()) {
            bool ok = false;
            const int byte = QByteArray(text.sliced(i + 1, 2).data(), 2).toInt(&ok, 16);
            if (ok) {
                out += static_cast<char>(byte);
                i += 2;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
    return out;
}

QString decodeCharset(const QByteArray& charset, const QByteArray& bytes) {
    // An RFC 2231 language suffix ("utf-8*en") is not part of the charset's name.
    QByteArray name = charset;
    if (const qsizetype star = name.indexOf('*'); star >= 0)
        name.truncate(star);
    QStringDecoder decoder(name.constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return plainText(bytes);
    return decoder(bytes);
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

QList<Field> parse(const QByteArray& message) {
    QList<Field> fields;
    qsizetype start = 0;
    while (start < message.size()) {
        qsizetype end = message.indexOf('\n', start);
        if (end < 0)
            end = message.size();
        QByteArrayView line(message.constData() + start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        start = end + 1;
        if (line.isEmpty())
            break;
        if (line.front() == ' ' || line.front() == '\t') {
            // A folded line continues the field before it.
            if (!fields.isEmpty())
                fields.last().value += ' ' + line.trimmed().toByteArray();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        fields.append(
            {line.first(colon).trimmed().toByteArray(), line.sliced(colon + 1).trimmed().toByteArray()});
    }
    return fields;
}

QString value(const QList<Field>& fields, QByteArrayView name) {
    for (const Field& field : fields)
        if (field.name.compare(name, Qt::CaseInsensitive) == 0)
            return decodeWords(field.value);
    return {};
}

bool has(const QList<Field>& fields, QByteArrayView name) {
    for (const Field& field : fields)
        if (field.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString decodeWords(QByteArrayView text) {
    static const QRegularExpression word(QStringLiteral("=\\?([^?\\s]+)\\?([BbQq])\\?([^?\\s]*)\\?="));
    const QString latin = QString::fromLatin1(text);
    QString out;
    qsizetype done = 0;
    bool lastWasEncoded = false;
    QRegularExpressionMatchIterator it = word.globalMatch(latin);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QByteArrayView between = text.sliced(done, match.capturedStart() - done);
        // Blanks between two encoded words only separate them.
        if (!(lastWasEncoded && between.trimmed().isEmpty()))
            out += plainText(between);
        const QByteArray payload = match.captured(3).toLatin1();
        const QByteArray bytes = match.captured(2).compare(QLatin1String("B"), Qt::CaseInsensitive) == 0
                                     ? QByteArray::fromBase64(payload)
                                     : decodeQ(payload);
        out += decodeCharset(match.captured(1).toLatin1(), bytes);
        done = match.capturedEnd();
        lastWasEncoded = true;
    }
    out += plainText(text.sliced(done));
    return out;
}

qsizetype matchingPhrase(const QString& subject, const QStringList& phrases) {
    for (qsizetype p = 0; p < phrases.size(); ++p) {
        const QString& phrase = phrases.at(p);
        if (phrase.isEmpty())
            continue;
        for (qsizetype at = subject.indexOf(phrase, 0, Qt::CaseInsensitive); at >= 0;
             at = subject.indexOf(phrase, at + 1, Qt::CaseInsensitive)) {
            const qsizetype end = at + phrase.size();
            if ((at == 0 || isBlank(subject.at(at - 1))) &&
                (end == subject.size() || isBlank(subject.at(end))))
                return p;
        }
    }
    return -1;
}

const QStringList& failurePhrases() {
    static const QStringList phrases = {"Delivery",
                                        "Mail",
                                        "Notice",
                                        "Failure",
                                        "Failed",
                                        "Error",
                                        "Rejected",
                                        "Message",
                                        "Undeliverable",
                                        "Return",
                                        "Returned",
                                        "Unrouteable",
                                        "Unresolvable",
                                        "Undelivered",
                                        "Nondeliverable",
                                        "Not",
                                        "Deliverable",
                                        "Delivered",
                                        "Returned Mail",
                                        "Warning",
                                        "Invalid Address",
                                        "Not Our Domain",
                                        "Could Not Deliver",
                                        "Could Not Send",
                                        "User Unknown",
                                        "No Such User",
                                        "Undeliverable:",
                                        "UnSent",
                                        "Returned to sender",
                                        "Unknown",
                                        "User",
                                        "Recipient",
                                        "Problems delivering your mail",
                                        "Non-delivery notification"};
    return phrases;
}

bool isDeliveryReport(const QList<Field>& fields) {
    const QString type = value(fields, "Content-Type").toLower();
    return type.contains(QLatin1String("multipart/report")) &&
           type.contains(QLatin1String("delivery-status"));
}

bool isAutoReply(const QList<Field>& fields) {
    const QString submitted = value(fields, "Auto-Submitted").trimmed();
    if (!submitted.isEmpty() && submitted.compare(QLatin1String("no"), Qt::CaseInsensitive) != 0)
        return true;
    if (has(fields, "X-Autoreply") || has(fields, "X-Autorespond"))
        return true;
    const QString precedence = value(fields, "Precedence").trimmed();
    if (precedence.compare(QLatin1String("auto_reply"), Qt::CaseInsensitive) == 0)
        return true;
    return value(fields, "Subject").contains(QLatin1String("Out of office"), Qt::CaseInsensitive);
}

QString reportedRecipient(const QByteArray& message) {
    // The delivery-status part: its own header names the type, its body is blocks of fields separated by
    // empty lines (the first block is about the message, the others about one recipient each).
    static const QRegularExpression partType(QStringLiteral("^Content-Type:\\s*message/delivery-status"),
                                             QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::MultilineOption);
    const QString text = QString::fromLatin1(message);
    const QRegularExpressionMatch match = partType.match(text);
    if (!match.hasMatch())
        return {};
    QString body = text.mid(match.capturedEnd());
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // Past the rest of the part header.
    const qsizetype bodyStart = body.indexOf(QLatin1String("\n\n"));
    if (bodyStart < 0)
        return {};
    body = body.mid(bodyStart + 2);
    if (const qsizetype boundary = body.indexOf(QLatin1String("\n--")); boundary >= 0)
        body.truncate(boundary);
    const QStringList blocks = body.split(QRegularExpression(QStringLiteral("\n\\s*\n")), Qt::SkipEmptyParts);
    for (const QString& block : blocks) {
        const QList<Field> fields = parse(block.toLatin1() + "\n\n");
        const QString action = value(fields, "Action").trimmed();
        if (!action.isEmpty() && action.compare(QLatin1String("failed"), Qt::CaseInsensitive) != 0)
            continue;
        QString recipient = value(fields, "Original-Recipient");
        if (recipient.isEmpty())
            recipient = value(fields, "Final-Recipient");
        if (recipient.isEmpty())
            continue;
        // "rfc822; user@example.org"
        if (const qsizetype semicolon = recipient.indexOf(u';'); semicolon >= 0)
            recipient = recipient.mid(semicolon + 1);
        return recipient.trimmed();
    }
    return {};
}

namespace {

// The rest of the first line at or after from that begins with prefix; nullopt when none.
std::optional<QString> lineValue(const QByteArray& message, QByteArrayView prefix, qsizetype from) {
    for (qsizetype at = message.indexOf(prefix, from); at >= 0; at = message.indexOf(prefix, at + 1)) {
        if (at > 0 && message.at(at - 1) != '\n')
            continue;
        qsizetype end = message.indexOf('\n', at);
        if (end < 0)
            end = message.size();
        return decodeWords(
            QByteArrayView(message).sliced(at + prefix.size(), end - at - prefix.size()).trimmed());
    }
    return std::nullopt;
}

} // namespace

QString toLineAfterSubject(const QByteArray& message) {
    // The returned mail's own header is addressed to the sender of the original, so the search starts in
    // its body, where the original message is quoted.
    qsizetype body = message.indexOf("\r\n\r\n");
    body = body >= 0 ? body + 4 : message.indexOf("\n\n");
    if (body < 0)
        return {};
    const qsizetype subject = message.indexOf("Subject: ", body);
    if (subject >= 0)
        if (const std::optional<QString> to = lineValue(message, "To: ", subject))
            return *to;
    // A quoted header whose To comes before its Subject.
    return lineValue(message, "To: ", body).value_or(QString());
}

} // namespace MailHeaders

namespace MailHeaders {

QString verpRecipient(const QList<Field>& fields) {
    for (const char* name : {"Delivered-To", "X-Original-To", "To"}) {
        for (const Field& field : fields) {
            if (field.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            // The address itself: the text between angle brackets when there are any.
            QString text = decodeWords(field.value).trimmed();
            if (const qsizetype open = text.lastIndexOf(u'<'); open >= 0)
                text = text.mid(open + 1).section(u'>', 0, 0);
            if (const QString carried = Verp::decode(text); !carried.isEmpty())
                return carried;
        }
    }
    return {};
}

} // namespace MailHeaders
