#include "harvest/mdlParser.h"

#include "db/DbHelpers.h"

#include <array>

namespace mdlParser {

namespace {

constexpr qsizetype LongestNameText = 40;
// Name texts longer than this are judged on the text itself, never copied: no trimming or unquoting could
// bring them down to a name.
constexpr qsizetype LargestNameTextHandled = 1024;

struct TitleCut {
    qsizetype at = -1;
    qsizetype length = 0;
};

std::array<bool, 128> delimiterTable() {
    std::array<bool, 128> table{};
    for (const QChar c : delimiters())
        table[c.unicode()] = true;
    return table;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QString capitalised(QString word) {
    if (!word.isEmpty())
        word[0] = word[0].toUpper();
    return word;
}

// An unescaped double quote: one not preceded by a backslash.
bool isQuoteAt(const QString& text, qsizetype i) {
    return text.at(i) == u'"' && (i == 0 || text.at(i - 1) != u'\\');
}

// Removes the double quotes around a name text; an odd number of quotes leaves the name doubtful.
QString unquoted(QString text, Doubt& doubt) {
    text = text.trimmed();
    qsizetype quotes = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (isQuoteAt(text, i))
            ++quotes;
    if (quotes % 2 != 0 && doubt == Doubt::None)
        doubt = Doubt::Unmatched;
    if (text.size() >= 2 && isQuoteAt(text, 0) && isQuoteAt(text, text.size() - 1))
        text = text.mid(1, text.size() - 2).trimmed();
    text.replace(QStringLiteral("\\\""), QStringLiteral("\""));
    return text;
}

// Where the name text starts once a leading header word is dropped (0 when there is none).
qsizetype headerWordEnd(QStringView text) {
    const qsizetype colon = text.indexOf(u':');
    if (colon <= 0)
        return 0;
    const QStringView word = text.first(colon).trimmed();
    if (word.isEmpty() || word.contains(u' ') || word.contains(u'\t'))
        return 0;
    static constexpr QLatin1String endings[] = {QLatin1String("om"), QLatin1String("OM"), QLatin1String("TO"),
                                                QLatin1String("To"), QLatin1String("CC"), QLatin1String("Cc"),
                                                QLatin1String("cc")};
    for (const QLatin1String ending : endings)
        if (word.endsWith(ending))
            return colon + 1;
    return 0;
}

// Drops a leading header word and its colon ("From:", "To:", "Cc:", "Bcc:", "Reply-To:"): the word before
// the first colon counts when it ends as those do. "Message-Id:" stays.
QString withoutHeaderWord(const QString& text) {
    return text.mid(headerWordEnd(text));
}

bool isSuffixOfGenerations(const QString& word) {
    return word == QLatin1String("II") || word == QLatin1String("III") || word == QLatin1String("IV");
}

bool hasFamilyMarker(const QString& text) {
    static constexpr QLatin1String markers[] = {QLatin1String("&"), QLatin1String(" and "),
                                                QLatin1String("Family"), QLatin1String("familey"),
                                                QLatin1String("family")};
    for (const QLatin1String marker : markers)
        if (text.contains(marker))
            return true;
    return false;
}

// Where the first form of address of the list lies in the line, at the start of a word.
TitleCut findTitle(QStringView line) {
    // Every title ends in ". ": a line without one has none.
    if (!line.contains(QLatin1String(". ")))
        return {};
    static constexpr QLatin1String titles[] = {QLatin1String("Mr. "), QLatin1String("Ms. "),
                                               QLatin1String("Mrs. "), QLatin1String("Miss. "),
                                               QLatin1String("Dr. ")};
    for (const QLatin1String word : titles) {
        // "Williams. " holds no title.
        for (qsizetype at = line.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
             at = line.indexOf(word, at + 1, Qt::CaseInsensitive))
            if (at == 0 || !line[at - 1].isLetterOrNumber())
                return {at, word.size()};
    }
    return {};
}

// The positions of the commas outside double quotes, up to max of them.
QList<qsizetype> fieldCommas(QStringView line, int max) {
    QList<qsizetype> commas;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size() && commas.size() < max; ++i) {
        if (line[i] == u'"' && (i == 0 || line[i - 1] != u'\\'))
            quoted = !quoted;
        else if (line[i] == u',' && !quoted)
            commas << i;
    }
    return commas;
}

// The text of line[from, to) with the title cut out when it lies inside.
QString regionText(QStringView line, qsizetype from, qsizetype to, const TitleCut& title) {
    if (title.at >= from && title.at + title.length <= to)
        return line.mid(from, title.at - from) +
               line.mid(title.at + title.length, to - title.at - title.length);
    return line.mid(from, to - from).toString();
}

// One name field: trimmed, without the quotes around it. A field too long for a name keeps what the list
// keeps of a name.
QString fieldName(QStringView line, qsizetype from, qsizetype to, const TitleCut& title) {
    QString field = to - from <= LargestNameTextHandled
                        ? regionText(line, from, to, title).trimmed()
                        : line.mid(from, to - from).trimmed().left(254).toString();
    if (field.startsWith(u'"'))
        field = field.mid(1, field.size() - 2);
    return field;
}

// Comma-separated fields: the address in one field, the names in the others.
bool nameFromFields(QStringView line, const TitleCut& title, NameGuess& guess) {
    if (!line.contains(u'@'))
        return false;
    const QList<qsizetype> commas = fieldCommas(line, 3);
    // A comma after the line's first character (the line as it is without its title).
    const qsizetype firstCharacter = title.at == 0 ? title.length : 0;
    if (commas.isEmpty() || commas.first() < firstCharacter + 1)
        return false;
    const auto from = [&](int n) {
        return n == 0 ? qsizetype(0) : commas[n - 1] + 1;
    };
    const auto to = [&](int n) {
        return n < commas.size() ? commas[n] : line.size();
    };
    const auto field = [&](int n) {
        return fieldName(line, from(n), to(n), title);
    };
    const bool addressFirst = line.first(to(0)).contains(u'@');
    const int firstField = addressFirst ? 1 : 0;
    guess.firstName = field(firstField);
    guess.lastName = commas.size() >= 2 ? field(firstField + 1) : QString();
    if (line.mid(from(firstField), to(firstField) - from(firstField)).contains(u'@') ||
        (commas.size() >= 2 &&
         line.mid(from(firstField + 1), to(firstField + 1) - from(firstField + 1)).contains(u'@')))
        guess.doubt = Doubt::EmbeddedAt;
    return true;
}

// A name text too long to be a name is not copied: what the checks would find is found on the view.
NameGuess oversizedNameText(QStringView text, Doubt doubt, bool countParentheses) {
    NameGuess guess;
    guess.doubt = doubt;
    const auto flag = [&guess](Doubt d) {
        if (guess.doubt == Doubt::None)
            guess.doubt = d;
    };
    if (countParentheses && text.count(u'(') != text.count(u')'))
        flag(Doubt::Unmatched);
    qsizetype quotes = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'"' && (i == 0 || text[i - 1] != u'\\'))
            ++quotes;
    if (quotes % 2 != 0)
        flag(Doubt::Unmatched);
    if (text.contains(u'@'))
        flag(Doubt::EmbeddedAt);
    flag(Doubt::TooLong);
    return guess;
}

// The text inside the parenthesis that opens at open, with nested pairs; -1 as end when it is not closed.
qsizetype matchingParenthesis(QStringView text, qsizetype open) {
    int depth = 0;
    for (qsizetype i = open; i < text.size(); ++i) {
        if (text.at(i) == u'(')
            ++depth;
        else if (text.at(i) == u')' && --depth == 0)
            return i;
    }
    return -1;
}

} // namespace

const QString& delimiters() {
    static const QString set =
        QStringLiteral(" ,<[(\":;\\>])?{}'=") + QChar(u'\t') + QChar(u'\n') + QChar(u'\r') + QChar(u'\0');
    return set;
}

bool isDelimiter(QChar c) {
    static const std::array<bool, 128> table = delimiterTable();
    const char16_t u = c.unicode();
    return u < 128 && table[u];
}

Located locateCandidate(QStringView text, qsizetype& position) {
    Located found;
    const qsizetype length = text.size();
    const qsizetype from = std::max<qsizetype>(position, 1) - 1;
    const qsizetype at = from + 1 < length ? text.indexOf(u'@', from) : -1;
    if (at < 0 || at == from) {
        position = 0;
        return found;
    }
    found.status = Located::Status::Rejected;
    const qsizetype skipAt = at + 3; // the "@" + 2, counted from 1

    // Backwards: the apostrophe belongs to names such as O'Brien.
    qsizetype start = from;
    for (qsizetype i = at - 1; i >= from; --i) {
        const QChar c = text.at(i);
        if (isDelimiter(c) && c != u'\'') {
            if (i == at - 1) {
                position = skipAt;
                return found;
            }
            start = i + 1;
            found.delimiterAt = i;
            found.angleBracket = c == u'<';
            break;
        }
    }
    // An apostrophe that opens the candidate is a quote around it, not part of the address.
    while (start < at && text.at(start) == u'\'')
        ++start;

    qsizetype end = length;
    for (qsizetype j = at + 1; j < length; ++j) {
        if (isDelimiter(text.at(j))) {
            if (j == at + 1) {
                position = skipAt;
                return found;
            }
            end = j;
            break;
        }
    }

    found.start = start;
    found.end = end;
    found.address = text.mid(start, end - start).toString();
    found.userName = text.mid(start, at - start).toString();
    position = end + 2;
    if (start < at)
        found.status = Located::Status::Found;
    return found;
}

Located locateAddress(QStringView text, qsizetype& position) {
    Located found = locateCandidate(text, position);
    if (found.status == Located::Status::Found && !IsValidEmailAddress(found.address))
        found.status = Located::Status::Rejected;
    return found;
}

QList<QStringView> splitAddressPieces(QStringView text) {
    QList<QStringView> pieces;
    qsizetype pos = 0;
    const qsizetype length = text.size();
    while (pos < length) {
        const qsizetype comma = text.indexOf(u',', pos);
        if (comma < 0) {
            pieces << text.mid(pos);
            break;
        }
        const qsizetype at = text.indexOf(u'@', pos);
        qsizetype end = comma;
        if (at < 0) {
            end = length; // no address follows: one last piece
        } else if (at > comma) {
            // A comma inside a display name ("Berg, Ann <ann@...>"): the piece runs past the address.
            end = text.indexOf(u',', at);
            if (end < 0)
                end = length;
        }
        pieces << text.mid(pos, end - pos);
        pos = end + 1;
    }
    return pieces;
}

bool startsWithAsciiNoCase(QStringView text, QLatin1StringView prefix) {
    if (text.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        const char16_t a = text[i].unicode();
        const char16_t b = static_cast<unsigned char>(prefix[i].toLatin1());
        const bool letter = (b >= u'a' && b <= u'z') || (b >= u'A' && b <= u'Z');
        if (a != b && !(letter && (a | 0x20) == (b | 0x20)))
            return false;
    }
    return true;
}

bool containsAsciiNoCase(QStringView text, QLatin1StringView word) {
    if (word.isEmpty())
        return true;
    const char16_t first = static_cast<unsigned char>(word[0].toLatin1()) | 0x20;
    for (qsizetype i = 0; i + word.size() <= text.size(); ++i)
        if ((text[i].unicode() | 0x20) == first && startsWithAsciiNoCase(text.mid(i), word))
            return true;
    return false;
}

bool isMessageIdLine(QStringView line) {
    qsizetype i = 0;
    while (i < line.size() && isBlank(line.at(i)))
        ++i;
    const QLatin1StringView word("message-id");
    if (!startsWithAsciiNoCase(line.mid(i), word))
        return false;
    i += word.size();
    while (i < line.size() && isBlank(line.at(i)))
        ++i;
    return i < line.size() && line.at(i) == u':';
}

QString doubtMessage(Doubt doubt) {
    const QString manually = QStringLiteral("a name manually if you can.");
    switch (doubt) {
    case Doubt::None:
        return {};
    case Doubt::EmbeddedAt:
        return QStringLiteral(
                   "This case is suspicious because of the embedded \"@\". It may not be a valid name.") +
               QStringLiteral(" Confirm it or extract a name manually if you can.");
    case Doubt::TooLong:
        return QStringLiteral("The name field is greater than ") + QString::number(LongestNameText) +
               QStringLiteral(" characters.  Extract ") + manually;
    case Doubt::CannotSplit:
        return QStringLiteral("Unable to guess at parsing a name. Extract ") + manually;
    case Doubt::Guessed:
        return QStringLiteral("The program guessed the following names. Confirm or extract ") + manually;
    case Doubt::Unmatched:
        return QStringLiteral("String seems to have unmatched parenthesis. Extract ") + manually;
    case Doubt::UserNameUnderscore:
        return QStringLiteral("No name was found but we may guess from \"_\" in the username.") +
               QStringLiteral(" Confirm the guess or extract a name manually if you can.");
    case Doubt::UserNameDot:
        return QStringLiteral("No name was found but we may guess from \".\" in the username.") +
               QStringLiteral(" Confirm the guess or extract a name manually if you can.");
    }
    return {};
}

QString removeTitle(const QString& line, qsizetype* removedAt, qsizetype* removedLength) {
    const TitleCut title = findTitle(line);
    if (removedAt)
        *removedAt = title.at;
    if (removedLength)
        *removedLength = title.length;
    return title.at < 0 ? line : line.left(title.at) + line.mid(title.at + title.length);
}

NameGuess guessFromUserName(const QString& userName) {
    NameGuess guess;
    for (const QChar separator : {QChar(u'_'), QChar(u'.')}) {
        const qsizetype at = userName.indexOf(separator);
        if (at < 1)
            continue;
        if (at == userName.size() - 1)
            return guess; // "ann_": no name
        guess.firstName = capitalised(userName.left(at));
        guess.lastName = capitalised(userName.mid(at + 1));
        guess.doubt = separator == u'_' ? Doubt::UserNameUnderscore : Doubt::UserNameDot;
        return guess;
    }
    return guess;
}

NameGuess splitNameText(const QString& nameText, Doubt earlierDoubt) {
    NameGuess guess;
    guess.doubt = earlierDoubt;
    const auto doubt = [&guess](Doubt d) {
        if (guess.doubt == Doubt::None)
            guess.doubt = d;
    };
    QString text = nameText.trimmed();
    if (text.contains(u'@'))
        doubt(Doubt::EmbeddedAt);
    if (text.size() > LongestNameText) {
        doubt(Doubt::TooLong);
        return guess;
    }
    if (text.endsWith(u','))
        text = text.left(text.size() - 1).trimmed();
    if (text.isEmpty())
        return guess;
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    const bool commaFirst = words.first().endsWith(u',');
    const auto withoutComma = [](QString word) {
        if (word.endsWith(u','))
            word.chop(1);
        return word;
    };
    switch (words.size()) {
    case 1:
        guess.firstName = words[0];
        guess.lastName.clear();
        break;
    case 2:
        // "Berg, Ann": the last name first.
        if (text.indexOf(u',') >= 0) {
            guess.firstName = words[1];
            guess.lastName = withoutComma(words[0]);
        } else {
            guess.firstName = words[0];
            guess.lastName = words[1];
        }
        break;
    case 3:
        // A suffix such as "Jr." stays with the last name; "Berg, Ann M." keeps the initial with the first.
        if (commaFirst) {
            guess.firstName = words[1] + u' ' + words[2];
            guess.lastName = withoutComma(words[0]);
        } else {
            guess.firstName = words[0];
            guess.lastName = words[1] + u' ' + words[2];
        }
        doubt(Doubt::Guessed);
        break;
    case 4:
        if (isSuffixOfGenerations(words[3])) {
            guess.firstName = words[0];
            guess.lastName = words.mid(1).join(u' ');
            doubt(Doubt::Guessed);
        } else {
            doubt(Doubt::CannotSplit);
        }
        break;
    default:
        doubt(Doubt::CannotSplit);
        break;
    }
    if (guess.found() && hasFamilyMarker(text))
        doubt(Doubt::Guessed);
    return guess;
}

NameGuess ParseFirstLastName(QStringView line, qsizetype start, qsizetype end, bool angleBracket,
                             qsizetype delimiterAt, QStringView userName, bool commaFields) {
    Q_UNUSED(start)
    // The title is cut from the line before anything else; the parts below are taken with it cut out.
    const TitleCut title = findTitle(line);

    NameGuess guess;
    if (commaFields && nameFromFields(line, title, guess))
        return guess;

    Doubt doubt = Doubt::None;
    QString nameText;
    if (angleBracket && delimiterAt >= 0) {
        if (delimiterAt <= LargestNameTextHandled) {
            nameText = withoutHeaderWord(regionText(line, 0, delimiterAt, title));
        } else {
            const qsizetype from = headerWordEnd(line.first(delimiterAt));
            if (delimiterAt - from > LargestNameTextHandled)
                return oversizedNameText(line.sliced(from, delimiterAt - from), doubt, true);
            nameText = regionText(line, from, delimiterAt, title);
        }
        if (nameText.count(u'(') != nameText.count(u')'))
            doubt = Doubt::Unmatched;
    } else {
        qsizetype i = end;
        while (i < line.size() && (isBlank(line[i]) || i == title.at))
            i += i == title.at ? title.length : 1;
        if (i >= line.size() || line[i] != u'(')
            return guessFromUserName(userName.toString());
        const qsizetype close = matchingParenthesis(line, i);
        if (close < 0)
            doubt = Doubt::Unmatched;
        const qsizetype stop = close < 0 ? line.size() : close;
        if (stop - i - 1 > LargestNameTextHandled)
            return oversizedNameText(line.sliced(i + 1, stop - i - 1), doubt, false);
        nameText = regionText(line, i + 1, stop, title);
    }

    nameText = unquoted(nameText, doubt);
    // An empty name text gives no name, and no guess from the user name either.
    if (nameText.isEmpty()) {
        guess.doubt = doubt;
        return guess;
    }
    return splitNameText(nameText, doubt);
}

QString parseEmailAddress(const QString& text, qsizetype& position, QString& firstName, QString& lastName) {
    const Located found = locateAddress(text, position);
    if (found.status != Located::Status::Found)
        return {};
    const NameGuess guess = ParseFirstLastName(text, found.start, found.end, found.angleBracket,
                                               found.delimiterAt, found.userName, true);
    if (isMessageIdLine(text) || guess.firstName.contains(QLatin1String("Message-Id")) ||
        guess.firstName.contains(QLatin1String("Message-ID"))) {
        position = 0;
        return {};
    }
    firstName = guess.found() ? guess.firstName : QString();
    lastName = guess.lastName;
    return found.address;
}

} // namespace mdlParser
