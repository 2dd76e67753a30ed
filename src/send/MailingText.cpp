#include "send/MailingText.h"

#include "messages/MimeAssembly.h"
#include "messages/MimeEncoding.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace {

const QLatin1StringView CrLf("\r\n");

QString oneLine(QStringView text) {
    QString line;
    MimeEncoding::appendOnOneLine(line, text);
    return line;
}

QByteArray displayPhrase(const QString& display) {
    const QString text = oneLine(display).trimmed();
    if (!MimeEncoding::isAscii(text))
        return MimeEncoding::encodedWords(text);
    QString quoted = text;
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return '"' + quoted.toLatin1() + '"';
}

} // namespace

QString MailingText::foldHeaderLine(const QString& line) {
    constexpr qsizetype Limit = 78;
    if (line.size() <= Limit || !MimeEncoding::isAscii(line))
        return line;
    QString out;
    qsizetype start = 0;
    while (line.size() - start > Limit) {
        // The last blank that keeps this piece within the limit; a longer word stays whole.
        qsizetype cut = line.lastIndexOf(u' ', start + Limit);
        if (cut <= start) {
            cut = line.indexOf(u' ', start + Limit);
            if (cut < 0)
                break;
        }
        out += QStringView(line).mid(start, cut - start) + CrLf;
        start = cut; // the blank opens the continuation line
    }
    out += QStringView(line).mid(start);
    return out;
}

QByteArray MailingText::mailboxLine(const char* name, const QString& display, const QString& address) {
    QByteArray line = QByteArray(name) + ": ";
    if (!oneLine(display).trimmed().isEmpty())
        line += displayPhrase(display) + ' ';
    line += '<' + address.toUtf8() + ">\r\n";
    return line;
}

QByteArray MailingText::groupLine(const QString& text) {
    if (oneLine(text).trimmed().isEmpty())
        return QByteArrayLiteral("To: undisclosed-recipients:;\r\n");
    return "To: " + displayPhrase(text) + ":;\r\n";
}

void MailingText::build(const Setup& setup, const ListFieldSet& fields) {
    sendType_ = setup.sendType;
    wrapWidth_ = setup.wrapWidth;
    greeting_ = setup.greeting;
    htmlGreeting_ = HtmlGreetingTemplate(setup.greeting);
    fromAddress_ = setup.fromAddress;
    idDomain_ = setup.fromAddress.section(u'@', 1).trimmed();
    if (idDomain_.isEmpty())
        idDomain_ = QStringLiteral("localhost");
    idStem_ = QString::number(QDateTime::currentMSecsSinceEpoch(), 36) + u'.' +
              QString::number(QRandomGenerator::global()->generate64(), 36);
    idCounter_ = 0;

    fixedHead_ = "X-Mailer: Quenfold " + setup.version.toUtf8() +
                 "\r\nX-Sender: " + setup.fromAddress.toUtf8() + "\r\nDate: " + setup.dateHeader.toUtf8() +
                 "\r\n";
    QStringList unused;
    fromSegments_ = BuildMessageArray(setup.fromName.trimmed(), fields, MergeDelimiters::standard(), unused);

    full_ = MessageTemplate::build(setup.headerTail, setup.sendType, setup.text, setup.html, setup.related,
                                   setup.mixed, fields);
    textOnly_ = MessageTemplate::build(setup.headerTail, 0, setup.text, {}, {}, setup.mixed, fields);
    unsubscribe_.build(setup.unsubscribeAddress, setup.unsubscribeUrl, fields);
    fullCopy_.emplace(full_);
    textOnlyCopy_.emplace(textOnly_);
    batchBody_.clear();
    batchReady_ = false;
}

bool MailingText::hasMergeFields() const {
    return HasMergeFields(fromSegments_) || full_.hasMergeFields();
}

QString MailingText::nextMessageId() {
    return u'<' + idStem_ + u'.' + QString::number(++idCounter_) + u'@' + idDomain_ + u'>';
}

QByteArray MailingText::head(const QString& fromName) {
    QByteArray out = fixedHead_;
    out += "Message-ID: " + nextMessageId().toUtf8() + "\r\n";
    out += mailboxLine("From", fromName, fromAddress_);
    return out;
}

QByteArray MailingText::personal(const RecipientRecord& record, const QString& toText, bool textOnly) {
    scratch_.resize(0);
    MergeInto(fromSegments_, record, scratch_, ValueLineBreaks::Blank);
    QByteArray out = head(scratch_);
    out += mailboxLine("To", toText, record.value(QStringLiteral("EAddress")));
    out += unsubscribe_.personal(record);
    const QString greeting = BuildPersonalGreeting(&record, greeting_, true);
    const CopyGreeting copyGreeting = GreetingForCopy(textOnly ? 0 : sendType_, greeting, htmlGreeting_);
    out += (textOnly ? *textOnlyCopy_ : *fullCopy_).make(&record, copyGreeting, wrapWidth_);
    return out;
}

QByteArray MailingText::batch(const QString& groupToText) {
    if (!batchReady_) {
        // No merge fields in batch mode: one wrapped body serves every batch of the run.
        batchBody_ = fullCopy_->make(nullptr, {}, wrapWidth_);
        batchReady_ = true;
    }
    scratch_.resize(0);
    MergeInto(fromSegments_, RecipientRecord(), scratch_, ValueLineBreaks::Blank);
    QByteArray out = head(scratch_);
    out += groupLine(groupToText);
    out += unsubscribe_.batch();
    out += batchBody_;
    return out;
}
