#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Assembly of the outgoing MIME message: embedded images, attachments, the part layout, and the word
// wrap of the plain-text part. All line breaks are CR LF.

QString MixedBoundary();       // "QNFMixedMessage"
QString AlternativeBoundary(); // "QNFAlternativeMessage"
QString RelatedBoundary();     // "QNFRelatedMessage"

struct ImageEntry {
    QString ImagePath; // the reference as found in the HTML, quotes included
    QString ContentId;
};

struct TagAttribute {
    QString name;
    QString value; // quotes kept
};

// The image references of the HTML: the src of every <IMG tag, then the background of every <Table
// tag, as written. References to the web (http://, https://, cid:, data:) stay links and are left out.
// An <IMG tag without a src attribute ends the search: the failure is logged and no image is returned.
QStringList GetImages(const QString& html, const QString& close = QStringLiteral(">"),
                      const QString& open = QStringLiteral("<IMG"));
QList<TagAttribute> ParseTagAttributes(const QString& tag);
// The first attribute whose name contains the wanted name (any case); -1 when none.
int FindTagAttribute(const QString& name, const QList<TagAttribute>& pairs);
QStringList GetUniqueEntries(const QStringList& list);
// Entry i gets the content id "qnf" + i + suffix; an empty reference gets an empty entry.
QList<ImageEntry> AssignContentIDs(const QStringList& list, const QString& suffix);
// The suffix of a run's content ids: the From address followed by "6497657".
QString ContentIdSuffix(const QString& fromAddress);
// Every occurrence of each reference (any case) becomes "cid:" + its content id, in one pass.
void Path2CID(QString& html, const QList<ImageEntry>& entries);

// The image parts for the entries whose files exist; each starts with its own delimiter line.
QString EncodeImages(const QList<ImageEntry>& entries, const QString& boundary);
// The attachment parts for the ";"-separated paths whose files exist.
QString EncodeAttachments(const QString& attachments, const QString& boundary);
// A path of a message's image or attachment as a file path: backslashes read as "/", and a relative path
// is taken from the templates folder.
QString ResolveMessageFile(const QString& path);

// The message laid out in pieces: literal text, and the bodies of the plain-text and HTML parts. The
// literal before a part ends with its "Content-Type: text/..." and the part's piece supplies the rest of
// its header block and its body, so that the body can be encoded once its content is final.
struct MimePiece {
    enum class Kind { Literal, TextPart, HtmlPart };
    Kind kind = Kind::Literal;
    QString text;
};
QList<MimePiece> LayOutMIMEBody(int sendType, const QString& text, const QString& html,
                                const QString& related, const QString& mixed);
// Appends the end of a part's header block and its body: unchanged when it is plain short-lined ASCII,
// else with charset="utf-8" and quoted-printable.
void AppendPartBody(QByteArray& out, QStringView body);
// The MIME-Version and Content-Type headers and the body, ready to send.
QString BuildMIMEBody(int sendType, const QString& text, const QString& html, const QString& related,
                      const QString& mixed);

// Cuts lines at blanks so that none passes width characters; every line ends in CR LF (bare CR and LF
// are made CR LF first). Below width 1, or for a text shorter than width, the text comes back unchanged.
QString WordWrap(const QString& text, int width);
// Appends WordWrap(text, width) to out.
void AppendWordWrapped(QString& out, QStringView text, int width);
// bareText: WordWrap of the whole text. Otherwise only the body of the plain-text part of an assembled
// message is wrapped.
QString WrapTextPart(const QString& message, int width, bool bareText);
