#pragma once

#include <QString>
#include <QStringList>

// Small text helpers shared across the program. Comparisons are exact.
namespace StringFunctionsObject {

// TAB, NUL, CR and LF become blanks, then the ends are trimmed of blanks; the argument is cleaned too.
QString supertrim(QString& text);
// Every occurrence of find, left to right without overlap, replaced.
QString replaceString(const QString& text, const QString& find, const QString& replacement);
// The text ends in exactly one CR LF; only its end is touched. The argument is changed too.
QString szLFToCRLF(QString& text);
// Field n (from 1) of text cut at a one-character delimiter; "" when there are fewer fields.
QString szParseString(const QString& text, const QString& delimiter, int n);
// One final CR LF, or else one final LF or CR, removed.
QString szTrimCRLF(const QString& text);
void ParseToArray(const QString& text, const QString& delimiter, QStringList& array);
// The text converts to a 32-bit whole number.
bool isLong(const QString& text);
QString fixDoubleQuotesInString(const QString& text);
// HTML to plain text with CR LF line breaks.
QString szStripHTML(const QString& html);
// True when the text holds a control character: below U+0020, or U+007F.
bool containsControlCharacter(QStringView text);
// The text with its control characters written out (\r, \n, \t, \xHH), so that it stays on one line of
// a log or a summary and shows what the source held.
QString visibleControlCharacters(const QString& text);
// CR and LF each replaced by a blank, for a value that must stay on one header or command line.
QString foldLineBreaks(QString text);

} // namespace StringFunctionsObject

class QDate;
class QDateTime;

// A moment in the system's general date form: the short date and the time with seconds.
QString generalDateText(const QDateTime& moment);
// A date in the system's short date form.
QString shortDateText(const QDate& date);
