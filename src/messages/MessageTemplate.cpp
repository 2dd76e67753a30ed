#include "messages/MessageTemplate.h"

#include "messages/MimeEncoding.h"

namespace {

// An HTML part without any body tag, so no copy needs to look for one.
constexpr qsizetype NoBodyTag = -2;

void appendValue(QString& out, const QString& value, ValueLineBreaks lineBreaks) {
    if (!value.contains(u'\r') && !value.contains(u'\n'))
        out += value;
    else if (lineBreaks == ValueLineBreaks::CrLf)
        MimeEncoding::appendWithCrLf(out, value);
    else
        MimeEncoding::appendOnOneLine(out, value);
}

} // namespace

MessageParts PrepareMessageParts(const QString& html, const QString& attachments,
                                 const QString& fromAddress) {
    MessageParts parts;
    parts.html = html;
    parts.images = AssignContentIDs(GetUniqueEntries(GetImages(html)), ContentIdSuffix(fromAddress));
    Path2CID(parts.html, parts.images);
    parts.related = EncodeImages(parts.images, RelatedBoundary());
    parts.mixed = EncodeAttachments(attachments, MixedBoundary());
    return parts;
}

// ---- MessageTemplate ----

MessageTemplate MessageTemplate::build(const QString& headerTail, int sendType, const QString& text,
                                       const QString& html, const QString& related, const QString& mixed,
                                       const ListFieldSet& fields) {
    MessageTemplate t;
    t.sendType_ = sendType;

    // The pieces and where each one sits in the whole text, which is what the fields are looked for in.
    struct Span {
        Kind kind;
        QString text;
        qsizetype start;
    };
    QList<Span> spans;
    QString whole;
    const auto add = [&](Kind kind, const QString& pieceText) {
        if (kind == Kind::TextPart || kind == Kind::HtmlPart)
            whole += QLatin1StringView("\r\n\r\n"); // the part's header block ends as laid out
        spans.append({kind, pieceText, whole.size()});
        whole += pieceText;
    };
    if (!headerTail.isEmpty())
        add(Kind::Head, MimeEncoding::withCrLf(headerTail));
    for (const MimePiece& piece : LayOutMIMEBody(sendType, text, html, related, mixed)) {
        add(piece.kind == MimePiece::Kind::TextPart   ? Kind::TextPart
            : piece.kind == MimePiece::Kind::HtmlPart ? Kind::HtmlPart
                                                      : Kind::Literal,
            piece.text);
    }
    t.length_ = whole.size();
    const QList<MergeFieldTag> tags =
        GetFieldPosArray(whole, fields, MergeDelimiters::standard(), t.invalidFields_);
    whole.clear();

    for (const Span& span : spans) {
        // The tags inside this piece, placed relative to it; a tag across two pieces stays literal text.
        QList<MergeFieldTag> own;
        for (const MergeFieldTag& tag : tags) {
            const qsizetype start = qsizetype(tag.MergeFieldStart) - 1;
            if (start >= span.start && start + tag.MergeFieldLength <= span.start + span.text.size())
                own.append({tag.MergeFieldName, qint32(start - span.start + 1), tag.MergeFieldLength});
        }
        Piece piece;
        piece.kind = span.kind;
        piece.source = span.text;
        piece.segments = SegmentsFromTags(span.text, own, fields);
        const bool merged = HasMergeFields(piece.segments);
        t.hasMergeFields_ = t.hasMergeFields_ || merged;
        if (span.kind == Kind::Head && !merged) {
            piece.bytes = MimeEncoding::encodeHeaderBlock(span.text);
        } else if (span.kind == Kind::Literal && !merged) {
            piece.bytes = span.text.toUtf8();
            piece.segments = {MergeSegment()}; // the bytes stand for the text; no second copy is kept
            piece.source.clear();
        } else if (span.kind == Kind::HtmlPart) {
            piece.bodyTagOffset = BodyTagInsertPosition(piece.segments.first().LeadingText);
            if (piece.bodyTagOffset < 0 && !merged)
                piece.bodyTagOffset = NoBodyTag;
        }
        t.pieces_.append(std::move(piece));
    }
    return t;
}

QString MessageTemplate::assembledText() const {
    QString text;
    for (const Piece& piece : pieces_) {
        if (piece.kind == Kind::TextPart || piece.kind == Kind::HtmlPart)
            text += QLatin1StringView("\r\n\r\n");
        if (piece.kind == Kind::Literal && !HasMergeFields(piece.segments))
            text += QString::fromUtf8(piece.bytes);
        else
            text += piece.source;
    }
    return text;
}

bool MessageTemplate::hasTextPart() const {
    return std::any_of(pieces_.cbegin(), pieces_.cend(),
                       [](const Piece& p) { return p.kind == Kind::TextPart; });
}

bool MessageTemplate::hasHtmlPart() const {
    return std::any_of(pieces_.cbegin(), pieces_.cend(),
                       [](const Piece& p) { return p.kind == Kind::HtmlPart; });
}

// ---- Copies ----

CopyGreeting GreetingForCopy(int messageSendType, const QString& greeting, const HtmlGreetingTemplate& html) {
    CopyGreeting copy;
    if (greeting.isEmpty())
        return copy;
    if (messageSendType == 0 || messageSendType == 2)
        copy.text = greeting;
    if (messageSendType == 1 || messageSendType == 2)
        copy.html = html.fill(greeting);
    return copy;
}

PersonalCopy::PersonalCopy(const MessageTemplate& message) : message_(&message) {}

void PersonalCopy::mergePiece(const MessageTemplate::Piece& piece, const RecipientRecord* record,
                              QString& into, ValueLineBreaks lineBreaks, const QString& htmlGreeting) {
    const RecipientRecord& r = record ? *record : empty_;
    const bool greetHere = !htmlGreeting.isEmpty() && piece.bodyTagOffset >= 0;
    for (qsizetype i = 0; i < piece.segments.size(); ++i) {
        const MergeSegment& segment = piece.segments[i];
        if (i == 0 && greetHere) {
            into += QStringView(segment.LeadingText).left(piece.bodyTagOffset);
            MimeEncoding::appendWithCrLf(into, htmlGreeting);
            into += QStringView(segment.LeadingText).mid(piece.bodyTagOffset);
        } else {
            into += segment.LeadingText;
        }
        if (segment.FieldName.isEmpty())
            continue;
        int index = segment.FieldIndex;
        if (index < 0 || index >= r.size() ||
            r.columns()[index].compare(segment.FieldName, Qt::CaseInsensitive) != 0)
            index = r.indexOf(segment.FieldName);
        appendValue(into, r.value(index), lineBreaks);
    }
}

const QByteArray& PersonalCopy::make(const RecipientRecord* record, const CopyGreeting& greeting,
                                     int wrapWidth) {
    using Kind = MessageTemplate::Kind;
    out_.resize(0);
    if (message_->hasMergeFields_ && !record)
        return out_; // the merge of a recipient without a row is the empty text
    for (const MessageTemplate::Piece& piece : message_->pieces_) {
        switch (piece.kind) {
        case Kind::Head:
            if (!HasMergeFields(piece.segments)) {
                out_ += piece.bytes;
            } else {
                scratch_.resize(0);
                mergePiece(piece, record, scratch_, ValueLineBreaks::Blank);
                out_ += MimeEncoding::encodeHeaderBlock(scratch_);
            }
            break;
        case Kind::Literal:
            if (!HasMergeFields(piece.segments)) {
                out_ += piece.bytes;
            } else {
                scratch_.resize(0);
                mergePiece(piece, record, scratch_, ValueLineBreaks::CrLf);
                out_ += scratch_.toUtf8();
            }
            break;
        case Kind::TextPart:
            scratch_.resize(0);
            MimeEncoding::appendWithCrLf(scratch_, greeting.text);
            mergePiece(piece, record, scratch_, ValueLineBreaks::CrLf);
            if (wrapWidth > 0) {
                wrapped_.resize(0);
                AppendWordWrapped(wrapped_, scratch_, wrapWidth);
                AppendPartBody(out_, wrapped_);
            } else {
                AppendPartBody(out_, scratch_);
            }
            break;
        case Kind::HtmlPart:
            scratch_.resize(0);
            mergePiece(piece, record, scratch_, ValueLineBreaks::CrLf, greeting.html);
            if (!greeting.html.isEmpty() && piece.bodyTagOffset == -1) {
                const qsizetype at = BodyTagInsertPosition(scratch_);
                if (at >= 0)
                    scratch_.insert(at, MimeEncoding::withCrLf(greeting.html));
            }
            AppendPartBody(out_, scratch_);
            break;
        }
    }
    return out_;
}
