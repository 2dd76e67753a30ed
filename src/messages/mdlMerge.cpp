#include "messages/mdlMerge.h"

#include "core/ErrorLog.h"
#include "db/ListSchema.h"
#include "messages/MimeEncoding.h"

#include <algorithm>

namespace {

const QString CrLf = QStringLiteral("\r\n");

void scanPair(const QString& text, const QString& open, const QString& close, const ListFieldSet& fields,
              QList<MergeFieldTag>& tags, QStringList& invalidFields) {
    if (open.isEmpty() || close.isEmpty())
        return;
    qsizetype p = 0;
    for (;;) {
        const qsizetype opening = text.indexOf(open, p, Qt::CaseInsensitive);
        if (opening < 0)
            return;
        const qsizetype nameStart = opening + open.size();
        qsizetype closing = text.indexOf(close, opening, Qt::CaseInsensitive);
        if (closing >= 0 && closing < nameStart) // a closer that shares characters with the opener
            closing = text.indexOf(close, nameStart, Qt::CaseInsensitive);
        if (closing < 0)
            return;
        const QString name = text.mid(nameStart, closing - nameStart);
        if (fields.isField(name))
            tags.append({name, qint32(opening + 1), qint32(closing + close.size() - opening)});
        else
            invalidFields.append(MakeMergeFieldTag(name));
        // Resume inside the tag just read: <<A<<FirstName>> yields A<<FirstName, then FirstName.
        p = nameStart;
    }
}

} // namespace

const MergeDelimiters& MergeDelimiters::standard() {
    static const MergeDelimiters delimiters{QStringLiteral("<<"), QStringLiteral(">>"),
                                            QStringLiteral("&lt;&lt;"), QStringLiteral("&gt;&gt;")};
    return delimiters;
}

QList<MergeFieldTag> GetFieldPosArray(const QString& text, const ListFieldSet& fields,
                                      const MergeDelimiters& delimiters, QStringList& invalidFields) {
    invalidFields.clear();
    QList<MergeFieldTag> tags;
    scanPair(text, delimiters.open1, delimiters.close1, fields, tags, invalidFields);
    scanPair(text, delimiters.open2, delimiters.close2, fields, tags, invalidFields);
    SortMessagePosList(tags);
    invalidFields.append(QString());
    return tags;
}

QList<MergeFieldTag> GetFieldPosArray(const QString& text, const QString& listPath, const QString& open1,
                                      const QString& close1, const QString& open2, const QString& close2,
                                      QStringList& invalidFields) {
    return GetFieldPosArray(text, ListFieldSet::read(listPath, ListSchema::table()),
                            {open1, close1, open2, close2}, invalidFields);
}

void SortMessagePosList(QList<MergeFieldTag>& tags) {
    // Starts are distinct in practice (the two pairs begin with different characters); stable either way.
    std::stable_sort(tags.begin(), tags.end(), [](const MergeFieldTag& a, const MergeFieldTag& b) {
        return a.MergeFieldStart < b.MergeFieldStart;
    });
}

MergeSegments SegmentsFromTags(const QString& text, const QList<MergeFieldTag>& tags,
                               const ListFieldSet& fields) {
    MergeSegments segments;
    segments.reserve(tags.size() + 1);
    qsizetype done = 0; // 0-based position just after the last tag taken
    for (const MergeFieldTag& tag : tags) {
        const qsizetype start = qsizetype(tag.MergeFieldStart) - 1;
        if (start < done || start + tag.MergeFieldLength > text.size())
            continue; // overlaps the tag before: it stays literal text
        segments.append(
            {text.mid(done, start - done), tag.MergeFieldName, fields.indexOf(tag.MergeFieldName)});
        done = start + tag.MergeFieldLength;
    }
    segments.append({text.mid(done), QString(), -1});
    return segments;
}

MergeSegments BuildMessageArray(const QString& text, const ListFieldSet& fields,
                                const MergeDelimiters& delimiters, QStringList& invalidFields) {
    return SegmentsFromTags(text, GetFieldPosArray(text, fields, delimiters, invalidFields), fields);
}

MergeSegments BuildMessageArray(const QString& text, const QString& listPath, const QString& open1,
                                const QString& close1, const QString& open2, const QString& close2,
                                QStringList& invalidFields) {
    return BuildMessageArray(text, ListFieldSet::read(listPath, ListSchema::table()),
                             {open1, close1, open2, close2}, invalidFields);
}

bool HasMergeFields(const MergeSegments& segments) {
    return !segments.isEmpty() && !segments.first().FieldName.isEmpty();
}

void MergeInto(const MergeSegments& segments, const RecipientRecord& record, QString& out,
               ValueLineBreaks lineBreaks) {
    for (const MergeSegment& segment : segments) {
        out += segment.LeadingText;
        if (segment.FieldName.isEmpty())
            continue;
        int index = segment.FieldIndex;
        if (index < 0 || index >= record.size() ||
            record.columns()[index].compare(segment.FieldName, Qt::CaseInsensitive) != 0)
            index = record.indexOf(segment.FieldName);
        const QString& value = record.value(index);
        if (!value.contains(u'\r') && !value.contains(u'\n'))
            out += value;
        else if (lineBreaks == ValueLineBreaks::CrLf)
            MimeEncoding::appendWithCrLf(out, value);
        else
            MimeEncoding::appendOnOneLine(out, value);
    }
}

QString MergeMessage(const MergeSegments& segments, const QString& listPath, const QString& emailAddress) {
    MergeSource source;
    db::DbError error;
    if (!source.open(listPath, &error)) {
        LogError(QStringLiteral("MergeMessage in mdlMerge"), {error.number, error.text});
        return {};
    }
    RecipientRecord record;
    if (!source.find(emailAddress, record))
        return {};
    QString merged;
    MergeInto(segments, record, merged);
    return merged;
}

QString InvalidFieldsTitle() {
    return QStringLiteral("Invalid Fields");
}

QString InvalidFieldsQuestion(const QStringList& invalidFields) {
    QString text =
        QStringLiteral("The following fields were found to be invalid in your message: ") + CrLf + CrLf;
    // Every entry but the trailing empty one.
    for (qsizetype i = 0; i + 1 < invalidFields.size(); ++i)
        text += QStringLiteral("   ") + invalidFields[i] + CrLf;
    return text + CrLf + CrLf + QStringLiteral("Do you want to continue?");
}

bool HasInvalidFields(const QStringList& invalidFields) {
    return !invalidFields.isEmpty() && !invalidFields.first().trimmed().isEmpty();
}

bool ConfirmInvalidFields(const QStringList& invalidFields, Prompter& prompter) {
    if (!HasInvalidFields(invalidFields))
        return true;
    return prompter.ask(InvalidFieldsTitle(), InvalidFieldsQuestion(invalidFields), Prompter::Buttons::YesNo,
                        Prompter::Icon::Question) == Prompter::Answer::Yes;
}

// ---- MergeSource ----

bool MergeSource::open(const QString& listPath, db::DbError* error) {
    close();
    list_ = db::Database::open(listPath, db::Database::OpenMode::ReadOnly, error);
    if (!list_.isOpen())
        return false;
    // A run looks up rows all over the list: mapping the file spares a read call per page.
    list_.exec(QStringLiteral("PRAGMA mmap_size = 1073741824"));
    fields_ = ListFieldSet::read(list_, ListSchema::table());
    // Index order for equal keys is rowid order, so the first row returned is the first in the table.
    lookup_ = list_.prepare(QStringLiteral("SELECT * FROM ") + db::quoteName(ListSchema::table()) +
                                QStringLiteral(" WHERE ") + db::quoteName(ListSchema::keyColumn()) +
                                QStringLiteral(" = ?1 COLLATE NOCASE ORDER BY rowid LIMIT 1"),
                            error);
    if (!lookup_.isValid()) {
        close();
        return false;
    }
    return true;
}

void MergeSource::close() {
    lookup_ = db::Statement();
    list_.close();
    fields_ = {};
}

bool MergeSource::find(const QString& address, RecipientRecord& record) {
    if (!lookup_.isValid())
        return false;
    lookup_.bind(1, address);
    const bool found = lookup_.next();
    if (found)
        record.readFrom(lookup_);
    else if (lookup_.error().isError())
        LogError(QStringLiteral("MergeMessage in mdlMerge"), {lookup_.error().number, lookup_.error().text});
    lookup_.reset();
    return found;
}
