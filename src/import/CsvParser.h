#pragma once

#include <QByteArrayView>
#include <QChar>
#include <QStringList>
#include <QStringView>

// Delimited text: records of fields separated by a delimiter, ended by LF, CR LF or CR; a field in double
// quotes may hold the delimiter, line breaks and doubled quotes. Text after a closing quote up to the next
// delimiter is kept as it stands; quotes inside an unquoted field are ordinary characters. Blank lines are
// skipped. Works on text that arrives in pieces: a record that runs past the end of the text given asks
// for more.
namespace importer {

class CsvParser {
public:
    enum class Status {
        Record,       // one record parsed into fields; pos is after it
        NeedMore,     // the record goes on past the end of the text: call again with more text
        End,          // no record left (only at the end of the input)
        Unterminated, // the input ends inside a quoted field
    };

    explicit CsvParser(QChar delimiter = u',') : delimiter_(delimiter.unicode()) {}
    QChar delimiter() const { return QChar(delimiter_); }

    // Parses the record that starts at pos. atEnd says that no text follows. Empty fields come out as null
    // texts. pos moves only when a record (or the end) is found.
    Status parse(QStringView text, qsizetype& pos, bool atEnd, QStringList& fields) const;

    // The delimiter of a header line: the one of tab, semicolon and comma found most often outside quotes
    // in the first line (ties go to tab, then semicolon); comma when none is there.
    static QChar detectDelimiter(QStringView text);

private:
    char16_t delimiter_;
};

// How a text file is encoded, told from its first bytes and whether the whole is valid UTF-8.
enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Windows1252 };

struct TextEncodingGuess {
    TextEncoding encoding = TextEncoding::Utf8;
    int bomLength = 0;
};
// From a byte-order mark when there is one; otherwise UTF-8 when validUtf8, else Windows-1252.
TextEncodingGuess guessEncoding(QByteArrayView head, bool validUtf8);

// Checks UTF-8 a piece at a time, carrying a sequence cut at the end of one piece into the next.
class Utf8Validator {
public:
    void feed(QByteArrayView bytes);
    // Call at the end of the input: a sequence left open makes the text invalid.
    bool finish();
    bool valid() const { return valid_; }

private:
    bool valid_ = true;
    int pending_ = 0;  // continuation bytes still expected
    unsigned min_ = 0; // smallest code point the open sequence may encode
    unsigned value_ = 0;
};

} // namespace importer
