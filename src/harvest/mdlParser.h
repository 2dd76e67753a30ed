#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// The rules that find a mail address in a line of text and the owner's name around it. EmailParser scans
// files with them (and may ask the user about a doubtful name); parseEmailAddress below is the form the
// mailbox processing uses, which never asks and writes nothing.
namespace mdlParser {

// The characters that end an address: " ,<[(\":;\\>])?{}'=" then TAB, LF, CR and NUL.
const QString& delimiters();
bool isDelimiter(QChar c);

// Where one address candidate lies in a text.
struct Located {
    enum class Status {
        NoMore,   // no further "@" to look at; the position became 0
        Rejected, // a candidate that is not an address; the position moved past it
        Found,    // a valid address; the position moved past it
    };
    Status status = Status::NoMore;
    qsizetype start = -1; // the address, [start, end) from 0
    qsizetype end = -1;
    qsizetype delimiterAt = -1; // the character that ended the backward scan, -1 when none
    bool angleBracket = false;  // that character was "<"
    QString address;
    QString userName; // the part before the "@"
};

// Looks for the next address in text at or after position (from 1), the caller's cursor: on return it is
// past the candidate examined, or 0 when the text holds no further address.
Located locateAddress(QStringView text, qsizetype& position);
// The same without the validity test: Found means a candidate was cut out, for a caller that knows some
// addresses to be valid already (the test does not depend on letter case).
Located locateCandidate(QStringView text, qsizetype& position);

// The pieces of a header value split at commas, keeping a display name that holds a comma ("Berg, Ann"
// and the address after it) in one piece.
QList<QStringView> splitAddressPieces(QStringView text);

// A line beginning with "Message-Id" (any case) and a colon: it names a message, not a person.
bool isMessageIdLine(QStringView line);

// Comparisons that ignore the case of ASCII letters only; quicker than the general ones on every line.
bool startsWithAsciiNoCase(QStringView text, QLatin1StringView prefix);
bool containsAsciiNoCase(QStringView text, QLatin1StringView word);

// Why a name is doubtful; each has its own question text.
enum class Doubt {
    None,
    EmbeddedAt,
    TooLong,
    CannotSplit,
    Guessed,
    Unmatched,
    UserNameUnderscore,
    UserNameDot,
};
QString doubtMessage(Doubt doubt);

struct NameGuess {
    QString firstName = QStringLiteral("not_found"); // "not_found": no name
    QString lastName;
    Doubt doubt = Doubt::None;
    bool found() const { return firstName != QLatin1String("not_found"); }
};

// The line without its first form of address ("Mr. ", "Ms. ", "Mrs. ", "Miss. ", "Dr. ", tried in that
// order, any case, only at the start of a word); removedAt/removedLength tell where the cut was.
QString removeTitle(const QString& line, qsizetype* removedAt = nullptr, qsizetype* removedLength = nullptr);

// The first and last name of the address found at [start, end) of line; delimiterAt and angleBracket as
// locateAddress found them. The title is cut from the line first (removeTitle). commaFields: a line holding a
// comma and an "@" is read as comma-separated fields (text source files; always in the module form).
NameGuess ParseFirstLastName(QStringView line, qsizetype start, qsizetype end, bool angleBracket,
                             qsizetype delimiterAt, QStringView userName, bool commaFields);

// The checks and the split of a name text into first and last name.
NameGuess splitNameText(const QString& nameText, Doubt earlierDoubt = Doubt::None);
// A guess from a user name such as first_last or first.last.
NameGuess guessFromUserName(const QString& userName);

// The module form for mailbox processing: the address at or after position with its names (never asked;
// "not_found" comes back as ""), or "" (position as locateAddress leaves it; 0 for a Message-Id line).
QString parseEmailAddress(const QString& text, qsizetype& position, QString& firstName, QString& lastName);

} // namespace mdlParser
