#include "messages/MimeAssembly.h"

#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "messages/Greetings.h"
#include "messages/MimeEncoding.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString CrLf = QStringLiteral("\r\n");

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

// An attribute value without its surrounding quotes and blanks.
QString unquoted(const QString& value) {
    QString v = value.trimmed();
    if (v.size() >= 2 && v.front() == u'\'' && v.back() == u'\'')
        v = v.mid(1, v.size() - 2);
    return v.remove(u'"').trimmed();
}

// A reference that a mail reader fetches or resolves itself rather than a local file.
bool isRemoteReference(const QString& value) {
    const QString v = unquoted(value);
    return v.contains(QLatin1StringView("http://"), Qt::CaseInsensitive) ||
           v.contains(QLatin1StringView("https://"), Qt::CaseInsensitive) ||
           v.startsWith(QLatin1StringView("cid:"), Qt::CaseInsensitive) ||
           v.startsWith(QLatin1StringView("data:"), Qt::CaseInsensitive);
}

// Collects the value of the attribute of every tag that opens with open; false when a tag lacks it
// and lacking it is a failure.
bool collectReferences(const QString& html, const QString& open, const QString& close,
                       const QString& attribute, bool missingIsFailure, QStringList& references) {
    qsizetype p = 0;
    for (;;) {
        const qsizetype opening = html.indexOf(open, p, Qt::CaseInsensitive);
        if (opening < 0)
            return true;
        const qsizetype closing = html.indexOf(close, opening, Qt::CaseInsensitive);
        if (closing < 0)
            return true;
        const QList<TagAttribute> pairs =
            ParseTagAttributes(html.mid(opening, closing + close.size() - opening));
        const int index = FindTagAttribute(attribute, pairs);
        if (index < 0) {
            if (missingIsFailure)
                return false;
        } else {
            const QString& value = pairs[index].value;
            if (!unquoted(value).isEmpty() && !isRemoteReference(value))
                references << value;
        }
        p = closing;
    }
}

QString fileNameOf(const QString& path) {
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

// The subtype for Content-Type: the extension of the file name as written, when it is a MIME token.
QString extensionOf(const QString& path) {
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    const QString extension = name.mid(dot + 1);
    for (const QChar c : extension) {
        if (c.unicode() <= 32 || c.unicode() >= 127 || QStringView(u"()<>@,;:\\\"/[]?=").contains(c))
            return {};
    }
    return extension;
}

bool readWhole(const QString& path, QByteArray& data, const char* procedure) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LogError(QString::fromLatin1(procedure),
                 {5, QStringLiteral("Cannot read ") + path + QStringLiteral(": ") + file.errorString()});
        return false;
    }
    data = file.readAll();
    return true;
}

const QString PlainPartHeaderEnd = QStringLiteral("\r\n\r\n");

} // namespace

QString MixedBoundary() {
    return QStringLiteral("QNFMixedMessage");
}

QString AlternativeBoundary() {
    return QStringLiteral("QNFAlternativeMessage");
}

QString RelatedBoundary() {
    return QStringLiteral("QNFRelatedMessage");
}

// ---- Images ----

QList<TagAttribute> ParseTagAttributes(const QString& tag) {
    QString t = tag.trimmed();
    t.chop(1); // the ">"
    if (std::none_of(t.cbegin(), t.cend(), isBlank))
        return {};
    QList<TagAttribute> pairs;
    const qsizetype n = t.size();
    QChar quote;
    for (qsizetype e = 0; e < n; ++e) {
        const QChar c = t[e];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (isQuote(c)) {
            quote = c;
            continue;
        }
        if (c != u'=')
            continue;
        // The name runs back from the "=" over any blanks to the blank before it.
        qsizetype j = e - 1;
        while (j >= 0 && isBlank(t[j]))
            --j;
        qsizetype k = j;
        while (k >= 0 && !isBlank(t[k]))
            --k;
        const QString name = t.mid(k + 1, j - k).trimmed();
        // The value runs from the "=" over any blanks to the next blank outside quotes.
        qsizetype v = e + 1;
        while (v < n && isBlank(t[v]))
            ++v;
        qsizetype w = v;
        QChar valueQuote;
        for (; w < n; ++w) {
            const QChar d = t[w];
            if (!valueQuote.isNull()) {
                if (d == valueQuote)
                    valueQuote = QChar();
            } else if (isQuote(d)) {
                valueQuote = d;
            } else if (isBlank(d)) {
                break;
            }
        }
        pairs.append({name, t.mid(v, w - v).trimmed()});
        e = w - 1; // the value's own "=" signs are not attributes
    }
    return pairs;
}

int FindTagAttribute(const QString& name, const QList<TagAttribute>& pairs) {
    for (int i = 0; i < pairs.size(); ++i) {
        if (pairs[i].name.contains(name, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

QStringList GetImages(const QString& html, const QString& close, const QString& open) {
    QStringList references;
    if (!collectReferences(html, open, close, QStringLiteral("src"), true, references)) {
        LogError(QStringLiteral("GetImages in mdlMerge"),
                 {5, QStringLiteral("An image tag has no src attribute; no image is embedded.")});
        return {};
    }
    collectReferences(html, QStringLiteral("<Table"), close, QStringLiteral("background"), false, references);
    return references;
}

QStringList GetUniqueEntries(const QStringList& list) {
    QStringList unique;
    for (const QString& entry : list) {
        if (!unique.contains(entry))
            unique << entry;
    }
    return unique;
}

QList<ImageEntry> AssignContentIDs(const QStringList& list, const QString& suffix) {
    QList<ImageEntry> entries;
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].isEmpty())
            entries.append(ImageEntry());
        else
            entries.append({list[i], QStringLiteral("qnf") + QString::number(i) + suffix});
    }
    return entries;
}

QString ContentIdSuffix(const QString& fromAddress) {
    return fromAddress + QStringLiteral("6497657");
}

void Path2CID(QString& html, const QList<ImageEntry>& entries) {
    for (const ImageEntry& entry : entries) {
        // A reference of nothing but quotes would match every empty attribute.
        if (unquoted(entry.ImagePath).isEmpty())
            continue;
        const QString replacement = QStringLiteral("cid:") + entry.ContentId;
        QString result;
        qsizetype done = 0;
        for (qsizetype at = html.indexOf(entry.ImagePath, 0, Qt::CaseInsensitive); at >= 0;
             at = html.indexOf(entry.ImagePath, done, Qt::CaseInsensitive)) {
            result += QStringView(html).mid(done, at - done);
            result += replacement;
            done = at + entry.ImagePath.size();
        }
        if (done > 0)
            html = result + QStringView(html).mid(done);
    }
}

QString ResolveMessageFile(const QString& path) {
    QString file = path.trimmed();
    file.replace(u'\\', u'/');
    if (file.isEmpty() || QFileInfo(file).isAbsolute())
        return file;
    return appFolders().TemplatesFolder + file;
}

QString EncodeImages(const QList<ImageEntry>& entries, const QString& boundary) {
    QString parts;
    for (const ImageEntry& entry : entries) {
        const QString path = ResolveMessageFile(unquoted(entry.ImagePath));
        if (path.isEmpty() || !QFileInfo(path).isFile())
            continue;
        QByteArray data;
        if (!readWhole(path, data, "Encode Images in mdlMerge"))
            continue;
        const QString extension = extensionOf(path);
        parts += CrLf + QStringLiteral("--") + boundary + CrLf + QStringLiteral("Content-ID: <") +
                 entry.ContentId + u'>' + CrLf +
                 (extension.isEmpty() ? QStringLiteral("Content-Type: Application/octet-stream")
                                      : QStringLiteral("Content-Type: IMAGE/") + extension) +
                 CrLf + QStringLiteral("Content-Transfer-Encoding: BASE64") + CrLf + CrLf +
                 QString::fromLatin1(MimeEncoding::base64Lines(data)) + CrLf + CrLf;
    }
    return parts;
}

QString EncodeAttachments(const QString& attachments, const QString& boundary) {
    QString parts;
    for (const QString& piece : attachments.split(u';')) {
        const QString written = piece.trimmed();
        const QString path = ResolveMessageFile(written);
        if (path.isEmpty() || !QFileInfo(path).isFile())
            continue;
        QByteArray data;
        if (!readWhole(path, data, "EncodeAttachments in mdlMerge"))
            continue;
        const QString extension = extensionOf(written);
        parts += CrLf + QStringLiteral("--") + boundary + CrLf +
                 QStringLiteral("Content-Type: Application/") +
                 (extension.isEmpty() ? QStringLiteral("octet-stream") : extension) + CrLf +
                 QStringLiteral("Content-Disposition: attachment; ") +
                 MimeEncoding::fileNameParameter(fileNameOf(written)) + CrLf +
                 QStringLiteral("Content-Transfer-Encoding: BASE64") + CrLf + CrLf +
                 QString::fromLatin1(MimeEncoding::base64Lines(data)) + CrLf;
    }
    return parts;
}

// ---- Layout ----

QList<MimePiece> LayOutMIMEBody(int sendType, const QString& text, const QString& html,
                                const QString& related, const QString& mixed) {
    const bool m = !mixed.trimmed().isEmpty();
    const bool q = !related.trimmed().isEmpty();
    const bool t = sendType == 0 || sendType == 2;
    const bool h = sendType == 1 || sendType == 2;
    const auto delimiter = [](const QString& boundary) -> QString {
        return QStringLiteral("--") + boundary + CrLf;
    };
    const auto multipart = [&](const char* kind, const QString& boundary) -> QString {
        return QStringLiteral("Content-Type: multipart/") + QLatin1StringView(kind) +
               QStringLiteral("; boundary=\"") + boundary + u'"' + CrLf + CrLf + delimiter(boundary);
    };

    QList<MimePiece> pieces;
    QString literal = QStringLiteral("MIME-Version: 1.0") + CrLf;
    if (m)
        literal += multipart("mixed", MixedBoundary());
    if (t && h)
        literal += multipart("alternative", AlternativeBoundary());
    if (t) {
        literal += QStringLiteral("Content-Type: text/plain");
        pieces.append({MimePiece::Kind::Literal, literal});
        // The part's body as the plain-text wrap sees it: it runs to the line break before the next
        // boundary line, or to the message's last line break.
        const bool last = !m && !h;
        pieces.append(
            {MimePiece::Kind::TextPart, MimeEncoding::withCrLf(text) + (last ? CrLf : CrLf + CrLf)});
        literal = last ? CrLf : QString();
    }
    if (t && h)
        literal += CrLf + delimiter(AlternativeBoundary());
    if (q && h)
        literal += multipart("related", RelatedBoundary());
    if (h) {
        literal += QStringLiteral("Content-Type: text/html");
        pieces.append({MimePiece::Kind::Literal, literal});
        pieces.append({MimePiece::Kind::HtmlPart, MimeEncoding::withCrLf(html)});
        literal = CrLf;
    }
    if (q && h)
        literal +=
            related + CrLf + QStringLiteral("--") + RelatedBoundary() + QStringLiteral("--") + CrLf + CrLf;
    if (t && h)
        literal += QStringLiteral("--") + AlternativeBoundary() + QStringLiteral("--") + CrLf;
    if (m)
        literal += mixed + CrLf + QStringLiteral("--") + MixedBoundary() + QStringLiteral("--") + CrLf + CrLf;
    if (!literal.isEmpty())
        pieces.append({MimePiece::Kind::Literal, literal});
    return pieces;
}

void AppendPartBody(QByteArray& out, QStringView body) {
    if (MimeEncoding::isWireSafe(body)) {
        out += "\r\n\r\n";
        MimeEncoding::appendAscii(out, body);
        return;
    }
    out += "; charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    MimeEncoding::appendQuotedPrintable(out, body);
}

QString BuildMIMEBody(int sendType, const QString& text, const QString& html, const QString& related,
                      const QString& mixed) {
    QByteArray out;
    for (const MimePiece& piece : LayOutMIMEBody(sendType, text, html, related, mixed)) {
        if (piece.kind == MimePiece::Kind::Literal)
            out += MimeEncoding::encodeHeaderBlock(piece.text);
        else
            AppendPartBody(out, piece.text);
    }
    return QString::fromLatin1(out);
}

// ---- Word wrap ----

void AppendWordWrapped(QString& out, QStringView input, int width) {
    if (width < 1) {
        out += input;
        return;
    }
    QString normalised;
    QStringView text = input;
    if (MimeEncoding::hasBareLineBreak(input)) {
        MimeEncoding::appendWithCrLf(normalised, input);
        text = normalised;
    }
    if (text.size() < width) {
        out += text;
        return;
    }
    const qsizetype n = text.size();
    for (qsizetype p = 0; p < n + width - 1;) {
        const qsizetype available = std::clamp<qsizetype>(n - p, 0, width);
        const QStringView chunk = text.mid(std::min(p, n), available);
        // The last CR LF in the chunk, counting a CR at its end whose LF comes next.
        qsizetype pair = chunk.lastIndexOf(QLatin1StringView("\r\n"));
        if (available > 0 && chunk.back() == u'\r' && p + available < n && text[p + available] == u'\n')
            pair = available - 1;
        if (pair >= 0) {
            out += chunk.left(pair + 1); // through the CR; the LF starts the next chunk
            p += pair + 1;
            continue;
        }
        const qsizetype blank = chunk.lastIndexOf(u' ');
        if (blank >= 0) {
            out += chunk.left(blank + 1);
            out += CrLf;
            p += blank + 1;
            continue;
        }
        // Cut at the width, but never between the two halves of a surrogate pair.
        qsizetype take = available;
        if (take == width && take > 1 && chunk.back().isHighSurrogate() && p + take < n &&
            text[p + take].isLowSurrogate())
            --take;
        out += chunk.left(take);
        out += CrLf;
        p += take == available ? width : take;
    }
}

QString WordWrap(const QString& text, int width) {
    if (width < 1)
        return text;
    QString out;
    out.reserve(text.size() + text.size() / width * 2 + 4);
    AppendWordWrapped(out, text, width);
    return out;
}

QString WrapTextPart(const QString& message, int width, bool bareText) {
    if (bareText)
        return WordWrap(message, width);
    const qsizetype start = TextPartBodyStart(message);
    if (start < 0 || width < 1)
        return message;
    qsizetype end = -1;
    for (const QString& boundary : {AlternativeBoundary(), MixedBoundary()}) {
        const qsizetype at = message.indexOf(QStringLiteral("--") + boundary, start);
        if (at >= 0 && (end < 0 || at < end))
            end = at;
    }
    if (end < 0)
        end = std::max(start, message.size() - 2);
    else if (end - 2 >= start && QStringView(message).mid(end - 2, 2) == CrLf)
        end -= 2; // the line break before the boundary line belongs to it
    QString result = message.left(start);
    AppendWordWrapped(result, QStringView(message).mid(start, end - start), width);
    return result + QStringView(message).mid(end);
}
