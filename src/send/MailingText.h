#pragma once

#include "messages/Greetings.h"
#include "messages/MessageTemplate.h"
#include "messages/mdlMerge.h"
#include "send/UnsubscribeHeaders.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The text of every message of one run. The body is assembled and cut at its merge fields once; each
// message then costs the merge of the recipient's record, the greeting, the wrap and its own header
// lines (Message-ID, From, To).
class MailingText {
public:
    struct Setup {
        QString version;     // the X-Mailer's version text
        QString fromAddress; // the envelope sender, also X-Sender and the From address
        QString fromName;    // the message's From column: the display name, may hold merge fields
        QString dateHeader;  // the Date: value, the same for every message of the run
        QString headerTail;  // Subject, Reply-To, Errors-To and X-URL lines
        int sendType = 0;
        QString text;
        QString html;    // with its images already made "cid:" references
        QString related; // the image parts
        QString mixed;   // the attachment parts
        GreetingSettings greeting;
        int wrapWidth = 0;
        QString unsubscribeAddress; // List-Unsubscribe by mail; none when empty
        QString unsubscribeUrl;     // and by a link, in copies of their own
    };

    void build(const Setup& setup, const ListFieldSet& fields);

    // The invalid merge fields of the full text, for the question before the run.
    const QStringList& invalidFields() const { return full_.invalidFields(); }
    // The From display name or the full text holds a merge field.
    bool hasMergeFields() const;
    // Characters of the full text, for the send log.
    qsizetype size() const { return full_.length(); }
    int sendType() const { return sendType_; }

    // One recipient's message: record merged, personal greeting, word wrap. textOnly takes the form
    // made from the plain text alone.
    QByteArray personal(const RecipientRecord& record, const QString& toText, bool textOnly);
    // The message of a batch; its body is merged and wrapped once for the whole run.
    QByteArray batch(const QString& groupToText);

    // "Name: "display" <address>" with the display name quoted, or RFC 2047-encoded when not ASCII.
    static QByteArray mailboxLine(const char* name, const QString& display, const QString& address);
    // "To: "text":;" (an empty group, which shows the text without naming the recipients).
    static QByteArray groupLine(const QString& text);
    // Long ASCII header lines folded at blanks before 78 characters.
    static QString foldHeaderLine(const QString& line);

private:
    QByteArray head(const QString& fromName);
    QString nextMessageId();

    QByteArray fixedHead_; // X-Mailer, X-Sender, Date
    QString fromAddress_;
    QString idDomain_;
    QString idStem_;
    quint64 idCounter_ = 0;
    MergeSegments fromSegments_;
    MessageTemplate full_;
    MessageTemplate textOnly_;
    std::optional<PersonalCopy> fullCopy_;
    std::optional<PersonalCopy> textOnlyCopy_;
    GreetingSettings greeting_;
    HtmlGreetingTemplate htmlGreeting_;
    int sendType_ = 0;
    int wrapWidth_ = 0;
    UnsubscribeHeaders unsubscribe_;
    QByteArray batchBody_;
    bool batchReady_ = false;
    QString scratch_;
};
