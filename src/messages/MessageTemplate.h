#pragma once

#include "messages/Greetings.h"
#include "messages/MimeAssembly.h"
#include "messages/mdlMerge.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A message made ready for a mailing run: assembled once and cut at its merge fields once, so that each
// recipient's copy costs only the merge, the greeting, the wrap and the encoding of the parts that need
// it (PersonalCopy).

// The parts of a message that are built once per run: the images found in the HTML with their content
// ids, the HTML rewritten to refer to them, and the encoded image and attachment parts.
struct MessageParts {
    QString html; // the HTML with its local image references made "cid:" references
    QList<ImageEntry> images;
    QString related; // the image parts
    QString mixed;   // the attachment parts
};
// GetImages, GetUniqueEntries, AssignContentIDs (suffix from the From address), Path2CID, EncodeImages
// and EncodeAttachments, in the order a run takes them.
MessageParts PrepareMessageParts(const QString& html, const QString& attachments, const QString& fromAddress);

class MessageTemplate {
public:
    MessageTemplate() = default;
    // headerTail: header lines that come before the MIME body, each ending in CR LF (they may hold merge
    // fields too); the rest as BuildMIMEBody takes it. The fields decide which tags are merge fields.
    static MessageTemplate build(const QString& headerTail, int sendType, const QString& text,
                                 const QString& html, const QString& related, const QString& mixed,
                                 const ListFieldSet& fields);

    // The text as it stands before any copy is made: the header tail and the laid-out body, with the parts
    // not yet encoded. This is the text the merge fields are looked for in.
    QString assembledText() const;
    // The invalid fields of the whole text, for the question before the run (ends with one empty element).
    const QStringList& invalidFields() const { return invalidFields_; }
    bool hasMergeFields() const { return hasMergeFields_; }
    int sendType() const { return sendType_; }
    bool hasTextPart() const;
    bool hasHtmlPart() const;
    // Characters of the assembled text, for the send log.
    qsizetype length() const { return length_; }

private:
    friend class PersonalCopy;
    enum class Kind { Head, Literal, TextPart, HtmlPart };
    struct Piece {
        Kind kind = Kind::Literal;
        MergeSegments segments;
        QByteArray bytes; // a Head or Literal without fields, ready to send
        QString source;   // the text as laid out, for assembledText(); empty where bytes stand for it
        // In an HTML part: where the greeting goes when the body tag comes before every field
        // (offset into segment 0's text), else -1 and the merged copy is searched.
        qsizetype bodyTagOffset = -1;
    };
    QList<Piece> pieces_;
    QStringList invalidFields_{QString()};
    int sendType_ = 0;
    bool hasMergeFields_ = false;
    qsizetype length_ = 0;
};

// The greeting for one copy, by the message's format: the text part gets the line for format 0, the HTML
// part the filled template for format 1, and both for format 2.
struct CopyGreeting {
    QString text;
    QString html;
};
CopyGreeting GreetingForCopy(int messageSendType, const QString& greeting, const HtmlGreetingTemplate& html);

// Makes the copies of one template. Its buffers are kept from copy to copy, so a run allocates little.
class PersonalCopy {
public:
    explicit PersonalCopy(const MessageTemplate& message);

    // One copy ready to send, in this order: merge with the record, greeting, word wrap of the text part
    // (wrapWidth above 0), then the transfer encoding of each part that is not plain short-lined ASCII and
    // encoded words for header lines that need them. Without a record a text with merge fields gives an
    // empty copy (its recipient was not found); a text without merge fields needs no record. The answer
    // stays valid until the next call.
    const QByteArray& make(const RecipientRecord* record, const CopyGreeting& greeting, int wrapWidth);

private:
    void mergePiece(const MessageTemplate::Piece& piece, const RecipientRecord* record, QString& into,
                    ValueLineBreaks lineBreaks, const QString& htmlGreeting = {});

    const MessageTemplate* message_;
    RecipientRecord empty_;
    QByteArray out_;
    QString scratch_;
    QString wrapped_;
};
