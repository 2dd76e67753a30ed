#include "send/PreflightCheck.h"

#include "mailings/MailEvent.h"
#include "messages/MessageStore.h"
#include "messages/MimeAssembly.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace PreflightCheck {

namespace {

constexpr qsizetype MaxLine = 998;
constexpr qint64 ListSizeForUnsubscribe = 1000;

Finding error(const QString& concerns, const QString& text) {
    return {Severity::Error, concerns, text};
}
Finding warning(const QString& concerns, const QString& text) {
    return {Severity::Warning, concerns, text};
}

bool hasField(const QByteArray& head, QByteArrayView name) {
    for (const QByteArray& line : head.split('\n'))
        if (line.size() > name.size() && line.at(name.size()) == ':' &&
            QByteArrayView(line).first(name.size()).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Every boundary a Content-Type declares has its delimiter and its closing delimiter.
QStringList mimeProblems(const QByteArray& text) {
    QStringList problems;
    static const QRegularExpression declared(QStringLiteral("boundary=\"?([^\";\\r\\n]+)\"?"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QString all = QString::fromLatin1(text);
    for (auto match = declared.globalMatch(all); match.hasNext();) {
        const QString boundary = match.next().captured(1);
        if (!all.contains(QStringLiteral("\r\n--") + boundary + QStringLiteral("\r\n")))
            problems << QStringLiteral("the multipart boundary ") + boundary +
                            QStringLiteral(" opens no part");
        if (!all.contains(QStringLiteral("\r\n--") + boundary + QStringLiteral("--")))
            problems << QStringLiteral("the multipart boundary ") + boundary +
                            QStringLiteral(" is never closed");
    }
    return problems;
}

} // namespace

QString severityText(Severity severity) {
    return severity == Severity::Error ? QStringLiteral("error") : QStringLiteral("warning");
}

static QString copyName(int number, const SMTPSocket::Copy& copy) {
    return QStringLiteral("copy ") + QString::number(number) + QStringLiteral(" (") +
           copy.recipients.join(QStringLiteral(", ")) + u')';
}

QList<Finding> inspectSize(int number, const SMTPSocket::Copy& copy, qint64 announcedSize,
                           const QString& server) {
    if (announcedSize <= 0 || copy.text.size() <= announcedSize)
        return {};
    return {warning(copyName(number, copy),
                    QStringLiteral("the copy has ") + QString::number(copy.text.size()) +
                        QStringLiteral(" octets, more than the ") + QString::number(announcedSize) +
                        QStringLiteral(" the server ") + server + QStringLiteral(" takes (SIZE)"))};
}

QList<Finding> inspectCopy(int number, const SMTPSocket::Copy& copy) {
    QList<Finding> findings;
    const QString concerns = copyName(number, copy);
    const qsizetype split = copy.text.indexOf("\r\n\r\n");
    if (split < 0) {
        findings << error(concerns, QStringLiteral("the copy has no end of its header"));
        return findings;
    }
    const QByteArray head = copy.text.left(split + 2);
    for (const QString& problem : mimeProblems(copy.text))
        findings << error(concerns, QStringLiteral("it does not parse as MIME: ") + problem);
    int lineNumber = 0;
    for (const QByteArray& line : copy.text.split('\n')) {
        ++lineNumber;
        const qsizetype length = line.size() - (line.endsWith('\r') ? 1 : 0);
        if (length > MaxLine) {
            findings << error(concerns, QStringLiteral("line ") + QString::number(lineNumber) +
                                            QStringLiteral(" has ") + QString::number(length) +
                                            QStringLiteral(" characters; mail lines may have at most 998"));
            break;
        }
    }
    for (const char* name : {"Date", "From", "To", "Message-ID"})
        if (!hasField(head, name))
            findings << error(concerns, QStringLiteral("the header field ") + QLatin1StringView(name) +
                                            QStringLiteral(" is missing"));
    for (const char c : head) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            findings << error(concerns, QStringLiteral("the header holds 8-bit text that is not encoded"));
            break;
        }
    }
    static const QRegularExpression tag(QStringLiteral("(<<|&lt;&lt;)([^<>&\\r\\n]{1,64})(>>|&gt;&gt;)"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto match = tag.match(QString::fromUtf8(copy.text)); match.hasMatch())
        findings << error(concerns, QStringLiteral("the merge tag ") + match.captured(0) +
                                        QStringLiteral(" is left in the text"));
    return findings;
}

QList<Finding> inspectMessage(const MessageRecord& message, const MailEvent& options, qint64 listSize) {
    QList<Finding> findings;
    const bool hasHtml = message.SendType == 1 || message.SendType == 2;
    for (const QString& piece : message.Attachments.split(u';')) {
        const QString path = piece.trimmed();
        if (!path.isEmpty() && !QFileInfo(path).isFile())
            findings << warning(QStringLiteral("attachment ") + path,
                                QStringLiteral("the file does not exist; the run leaves it out"));
    }
    if (hasHtml) {
        for (const QString& reference : GetUniqueEntries(GetImages(message.HTMLText))) {
            const QString path = QString(reference).remove(u'"').trimmed();
            if (!path.isEmpty() && !path.contains(QStringLiteral("://")) && !QFileInfo(path).isFile())
                findings << warning(QStringLiteral("image ") + path,
                                    QStringLiteral("the file does not exist; the run leaves it out"));
        }
    }
    // Such a line reaches no receiver as written: the run has to encode the whole part.
    const struct {
        bool used;
        const QString& text;
        const char* name;
    } parts[] = {{message.SendType != 1, message.MessageText, "text"}, {hasHtml, message.HTMLText, "HTML"}};
    for (const auto& part : parts) {
        if (!part.used)
            continue;
        const QStringList lines =
            QString(part.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(u'\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].size() > MaxLine) {
                findings << warning(QStringLiteral("message"),
                                    QStringLiteral("line ") + QString::number(i + 1) +
                                        QStringLiteral(" of the ") + QLatin1StringView(part.name) +
                                        QStringLiteral(" has ") + QString::number(lines[i].size()) +
                                        QStringLiteral(" characters; the run has to send the part encoded"));
                break;
            }
        }
    }
    if (message.SendType == 1)
        findings << warning(QStringLiteral("message"),
                            QStringLiteral("the HTML has no plain-text alternative"));
    if (hasHtml) {
        static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
        static const QRegularExpression images(QStringLiteral("<img\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
        const qsizetype text = QString(message.HTMLText).remove(tags).simplified().size();
        qsizetype imageCount = 0;
        for (auto match = images.globalMatch(message.HTMLText); match.hasNext(); match.next())
            ++imageCount;
        if (imageCount > 0 && text < 200 * imageCount)
            findings << warning(QStringLiteral("message"),
                                QStringLiteral("the HTML is mostly images (") + QString::number(imageCount) +
                                    QStringLiteral(" images, ") + QString::number(text) +
                                    QStringLiteral(" characters of text)"));
    }
    const QString subject = message.Subject.trimmed();
    qsizetype letters = 0;
    for (const QChar c : subject)
        letters += c.isLetter() ? 1 : 0;
    if (letters >= 4 && subject == subject.toUpper())
        findings << warning(QStringLiteral("message"), QStringLiteral("the subject is written in capitals"));
    if (listSize > ListSizeForUnsubscribe && options.UnsubscribeAddress.trimmed().isEmpty())
        findings << warning(QStringLiteral("delivery options"),
                            QStringLiteral("the list has ") + QString::number(listSize) +
                                QStringLiteral(" addresses and the copies offer no List-Unsubscribe"));
    return findings;
}

} // namespace PreflightCheck
