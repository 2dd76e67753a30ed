#include "messages/MessageFiles.h"

#include "messages/HtmlSourceMap.h"
#include "messages/MimeAssembly.h"
#include "util/FileNameObject.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace MessageFiles {

namespace {

QString unquoted(QString v) {
    v = v.trimmed();
    if (v.size() >= 2 && v.front() == u'\'' && v.back() == u'\'')
        v = v.mid(1, v.size() - 2);
    return v.remove(u'"').trimmed();
}

// A local file named by a reference: file: URLs and plain paths.
QString localPath(const QString& reference) {
    const QString v = unquoted(reference);
    if (v.startsWith(QLatin1StringView("file:"), Qt::CaseInsensitive))
        return QUrl(v).toLocalFile();
    return ResolveMessageFile(v);
}

// The body of an HTML document: between the end of its <body> tag and </body>; the whole text without.
QString htmlBody(const QString& html) {
    static const QRegularExpression open(QStringLiteral("<body\\b[^>]*>"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch start = open.match(html);
    if (!start.hasMatch())
        return html;
    const qsizetype from = start.capturedEnd();
    const qsizetype to = html.indexOf(QLatin1StringView("</body"), from, Qt::CaseInsensitive);
    return html.mid(from, to < 0 ? -1 : to - from);
}

} // namespace

QString appendAttachment(const QString& attachments, const QString& path) {
    return attachments.isEmpty() ? path : attachments + u';' + path;
}

bool isStorableAttachment(const QString& path) {
    return !path.contains(u';');
}

QString semicolonRefusalText(const QString& path) {
    return QStringLiteral("The file '") + path +
           QStringLiteral("' cannot be attached: its path holds a \";\", which separates attachments.");
}

std::optional<QString> textToInsert(const QString& path, bool intoHtml, QString* error) {
    if (!FileNameObject::IsRegularFile(path)) {
        if (error)
            *error = QStringLiteral("The file '") + path + QStringLiteral("' is not a regular file.");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    if (!intoHtml)
        return text;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1StringView("html") || suffix == QLatin1StringView("htm"))
        return htmlBody(text);
    return HtmlSourceMap::escapeText(text);
}

bool isRemoteReference(const QString& reference) {
    const QString v = unquoted(reference);
    return v.startsWith(QLatin1StringView("http:"), Qt::CaseInsensitive) ||
           v.startsWith(QLatin1StringView("https:"), Qt::CaseInsensitive) ||
           v.startsWith(QLatin1StringView("//")) ||
           v.startsWith(QLatin1StringView("ftp:"), Qt::CaseInsensitive);
}

QByteArray localImage(const QString& reference) {
    if (isRemoteReference(reference))
        return {};
    const QString path = localPath(reference);
    if (path.isEmpty() || !FileNameObject::IsRegularFile(path))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList missingFiles(const QString& attachments, const QString& html) {
    QStringList missing;
    for (const QString& attachment : attachments.split(u';', Qt::SkipEmptyParts)) {
        const QString path = ResolveMessageFile(attachment);
        if (!path.isEmpty() && !QFileInfo(path).isFile())
            missing << attachment.trimmed();
    }
    if (!html.isEmpty()) {
        for (const QString& image : GetUniqueEntries(GetImages(html))) {
            const QString path = localPath(image);
            if (!path.isEmpty() && !QFileInfo(path).isFile())
                missing << unquoted(image);
        }
    }
    return missing;
}

QString missingFilesText(const QStringList& missing) {
    return QStringLiteral("These files of the message were not found and will not be sent:\n") +
           missing.join(u'\n');
}

} // namespace MessageFiles
