#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The files a message names or takes in: files to attach, text files put into the body, the images of
// its HTML.
namespace MessageFiles {

// The attachment box with one more path: ";" separates them.
QString appendAttachment(const QString& attachments, const QString& path);
// A path holding ";" cannot be stored in the attachment list.
bool isStorableAttachment(const QString& path);
QString semicolonRefusalText(const QString& path);

// The text to put into the body from a file: for the HTML body the body of an .html/.htm file or the
// file's text escaped; for the plain text the file's text. nullopt (and error) when it cannot be read
// or is no regular file.
std::optional<QString> textToInsert(const QString& path, bool intoHtml, QString* error = nullptr);

// The bytes of an image the HTML names (relative to the templates folder); empty for a reference to the
// web (never fetched), a missing file or one that is not a regular file.
QByteArray localImage(const QString& reference);
bool isRemoteReference(const QString& reference);

// The attachment and image files the message names that do not exist (sending leaves them out).
QStringList missingFiles(const QString& attachments, const QString& html);
QString missingFilesText(const QStringList& missing);

} // namespace MessageFiles
