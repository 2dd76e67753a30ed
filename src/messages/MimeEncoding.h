#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The transfer encodings outgoing mail needs: Base64 for files, quoted-printable for text parts that
// are not plain short-lined ASCII, and encoded words for header texts and file names.
namespace MimeEncoding {

// The longest line SMTP carries, without its CR LF.
inline constexpr qsizetype MaxLineLength = 998;

// Base64 of the data with CR LF after every 76 characters (and none after the last line).
QByteArray base64Lines(const QByteArray& data);

// True when the text can go out as it is: ASCII without NUL, no line longer than MaxLineLength.
// Line breaks are expected as CR LF; a bare CR or LF counts as a line break here.
bool isWireSafe(QStringView text);
bool isAscii(QStringView text);

// Appends a text known to be ASCII (each UTF-16 unit narrowed to one byte) without a temporary copy.
void appendAscii(QByteArray& out, QStringView text);

// Quoted-printable of the text's UTF-8 bytes (RFC 2045), appended to out. CR LF pairs stay hard line
// breaks; lines are kept to 76 characters with soft breaks.
void appendQuotedPrintable(QByteArray& out, QStringView text);
QByteArray quotedPrintable(QStringView text);

// Bare CR and bare LF become CR LF; a text that has none comes back unchanged.
QString withCrLf(const QString& text);
bool hasBareLineBreak(QStringView text);
// Appends the text with bare CR and LF made into CR LF.
void appendWithCrLf(QString& out, QStringView text);
// Appends the text with every CR and LF made into a blank, for values that go into a header line.
void appendOnOneLine(QString& out, QStringView text);

// The text as RFC 2047 encoded words (UTF-8, Base64) when it is not plain ASCII, folded so that no
// encoded word passes 75 characters; plain ASCII comes back as it is.
QByteArray encodedWords(QStringView text);
// A header block whose lines carry other characters than ASCII gets those values as encoded words:
// "Name: value" becomes "Name: " + encodedWords(value). ASCII lines are kept as they are.
QByteArray encodeHeaderBlock(QStringView block);

// The filename parameter of Content-Disposition: filename="name" for a plain ASCII name (quotes and
// backslashes escaped), else the RFC 2231 form filename*=utf-8''%XX...
QString fileNameParameter(const QString& fileName);

} // namespace MimeEncoding
