#pragma once

#include "core/Prompter.h"
#include "messages/mdlMergeFields.h"

#include <QList>
#include <QString>
#include <QStringList>

// Merge fields in texts: finding the tags, checking them against a list, cutting the text into
// segments at the valid ones, and joining the segments with one recipient's values.

// One valid merge field found in a text. Positions count from 1.
struct MergeFieldTag {
    QString MergeFieldName;      // the name as written between the delimiters
    qint32 MergeFieldStart = 0;  // first character of the opening delimiter
    qint32 MergeFieldLength = 0; // through the last character of the closing delimiter
};

// One piece of a segmented text: literal text, then the value of FieldName (none when empty).
struct MergeSegment {
    QString LeadingText;
    QString FieldName;
    // Where FieldName was found among the list's columns when the text was cut; a look-up hint only.
    int FieldIndex = -1;
};
// Never empty; the last segment has no field; a text has merge fields exactly when element 0 has one.
using MergeSegments = QList<MergeSegment>;

// The two delimiter pairs, searched in this order and without regard to case.
struct MergeDelimiters {
    QString open1, close1, open2, close2;
    // "<<", ">>", "&lt;&lt;", "&gt;&gt;": what every caller uses.
    static const MergeDelimiters& standard();
};

// The valid tags of the text sorted by start; invalidFields is refilled with every invalid tag as
// "<<" + name + ">>" in the order found, followed by one empty element.
QList<MergeFieldTag> GetFieldPosArray(const QString& text, const QString& listPath, const QString& open1,
                                      const QString& close1, const QString& open2, const QString& close2,
                                      QStringList& invalidFields);
QList<MergeFieldTag> GetFieldPosArray(const QString& text, const ListFieldSet& fields,
                                      const MergeDelimiters& delimiters, QStringList& invalidFields);

// Sorts by MergeFieldStart, ascending; equal starts keep their order.
void SortMessagePosList(QList<MergeFieldTag>& tags);

// The text cut at its valid tags.
MergeSegments BuildMessageArray(const QString& text, const QString& listPath, const QString& open1,
                                const QString& close1, const QString& open2, const QString& close2,
                                QStringList& invalidFields);
MergeSegments BuildMessageArray(const QString& text, const ListFieldSet& fields,
                                const MergeDelimiters& delimiters, QStringList& invalidFields);
// The text cut at the given tags (sorted, as GetFieldPosArray gives them). A tag that overlaps the one
// before it is left in the text. The field hints are taken from fields.
MergeSegments SegmentsFromTags(const QString& text, const QList<MergeFieldTag>& tags,
                               const ListFieldSet& fields = {});

bool HasMergeFields(const MergeSegments& segments);

// The merged text for one recipient: the first row of the address in table order (compared without
// regard to case) fills the fields; no row gives "". Opens the list for this call.
QString MergeMessage(const MergeSegments& segments, const QString& listPath, const QString& emailAddress);

// What a merged value's line breaks become.
enum class ValueLineBreaks {
    CrLf,  // bare CR and LF become CR LF (message bodies)
    Blank, // every CR and LF becomes a blank (header lines, where a break would start a new header)
};
// Appends the segments joined with the record's values (a missing column merges as "").
void MergeInto(const MergeSegments& segments, const RecipientRecord& record, QString& out,
               ValueLineBreaks lineBreaks = ValueLineBreaks::CrLf);

// The question asked before a run whose message holds invalid fields.
QString InvalidFieldsTitle();
QString InvalidFieldsQuestion(const QStringList& invalidFields);
// True when the list's first element is not empty after trimming.
bool HasInvalidFields(const QStringList& invalidFields);
// Asks the question when there are invalid fields; true to go on (also when there are none).
bool ConfirmInvalidFields(const QStringList& invalidFields, Prompter& prompter);

// One list opened for a run: its columns for the name checks and one prepared look-up by address.
class MergeSource {
public:
    bool open(const QString& listPath, db::DbError* error = nullptr);
    bool isOpen() const { return list_.isOpen(); }
    void close();
    const ListFieldSet& fields() const { return fields_; }

    // Fills record with the first row of the address in table order, compared without regard to case.
    // False when there is none or the look-up fails (then logged); record is left as it was.
    bool find(const QString& address, RecipientRecord& record);

private:
    db::Database list_;
    db::Statement lookup_;
    ListFieldSet fields_;
};
