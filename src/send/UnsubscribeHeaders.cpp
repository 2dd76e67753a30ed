#include "send/UnsubscribeHeaders.h"

#include <QUrl>

namespace {

// What stays as written in the URL's own text: its structure, and escapes already made.
const QByteArray UrlStructure = ":/?#[]@!$&'()*+,;=%";

QString encoded(const QString& text, const QByteArray& keep = {}) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, keep));
}

// The entries on one line, or one per line when together they pass 78 characters.
QByteArray headerLines(const QStringList& entries, bool oneClick) {
    const QString name = QStringLiteral("List-Unsubscribe: ");
    const QString oneLine = name + entries.join(QStringLiteral(", "));
    QByteArray out =
        (oneLine.size() <= 78 ? oneLine : name + entries.join(QStringLiteral(",\r\n "))).toUtf8() + "\r\n";
    if (oneClick)
        out += "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n";
    return out;
}

} // namespace

void UnsubscribeHeaders::build(const QString& address, const QString& url, const ListFieldSet& fields) {
    const QString to = address.trimmed();
    mailto_ = to.isEmpty() ? QString()
                           : QStringLiteral("<mailto:") + encoded(to, "@!$'()*+,;:.") +
                                 QStringLiteral("?subject=") + mailSubject() + u'>';
    const QString link = url.trimmed();
    hasUrl_ = !mailto_.isEmpty() && !link.isEmpty();
    QStringList unused;
    url_ = hasUrl_ ? BuildMessageArray(link, fields, MergeDelimiters::standard(), unused) : MergeSegments();
    for (MergeSegment& segment : url_)
        segment.LeadingText = encoded(segment.LeadingText, UrlStructure);
}

QByteArray UnsubscribeHeaders::personal(const RecipientRecord& record) const {
    if (!hasUrl_)
        return batch();
    QString link = QStringLiteral("<");
    for (const MergeSegment& segment : url_) {
        link += segment.LeadingText;
        if (!segment.FieldName.isEmpty())
            link += encoded(record.value(segment.FieldName));
    }
    link += u'>';
    // A link that cannot stand within one header line is left out; the mail form still serves.
    if (QStringLiteral("List-Unsubscribe: ").size() + link.size() + 2 > MaxLine)
        return batch();
    return headerLines({link, mailto_}, true);
}

QByteArray UnsubscribeHeaders::batch() const {
    return isEmpty() ? QByteArray() : headerLines({mailto_}, false);
}
