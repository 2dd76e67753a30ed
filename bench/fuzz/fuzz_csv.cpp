// libFuzzer: delimited text from arbitrary bytes: encoding guess, decoding, delimiter detection, and parsing,
// once whole and once in pieces; the two must give the same records.
#include "import/CodePage.h"
#include "import/CsvParser.h"

#include <QStringDecoder>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace importer;

namespace {

QList<QStringList> parse(const QString& text, QChar delimiter, qsizetype piece, bool* unterminated) {
    const CsvParser parser(delimiter);
    QList<QStringList> records;
    QString buffer;
    qsizetype pos = 0;
    qsizetype fed = 0;
    QStringList fields;
    *unterminated = false;
    for (int guard = 0; guard < 1000000; ++guard) {
        const CsvParser::Status status = parser.parse(buffer, pos, fed >= text.size(), fields);
        if (status == CsvParser::Status::NeedMore) {
            if (fed >= text.size())
                std::abort(); // asking for more at the end would loop for ever
            buffer += text.mid(fed, piece);
            fed += piece;
            continue;
        }
        if (status == CsvParser::Status::End)
            return records;
        if (status == CsvParser::Status::Unterminated) {
            *unterminated = true;
            return records;
        }
        records.append(fields);
    }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const qsizetype piece = 1 + data[0] % 16;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    Utf8Validator validator;
    validator.feed(bytes.first(bytes.size() / 2));
    validator.feed(bytes.sliced(bytes.size() / 2));
    const TextEncodingGuess guess = guessEncoding(bytes, validator.finish());
    const QByteArrayView body = bytes.sliced(guess.bomLength);
    QString text;
    switch (guess.encoding) {
    case TextEncoding::Utf8:
        text = QStringDecoder(QStringConverter::Utf8).decode(body);
        break;
    case TextEncoding::Utf16LE:
        text = QStringDecoder(QStringConverter::Utf16LE).decode(body);
        break;
    case TextEncoding::Utf16BE:
        text = QStringDecoder(QStringConverter::Utf16BE).decode(body);
        break;
    case TextEncoding::Windows1252:
        text = CodePageDecoder(1252).decode(body);
        break;
    }
    const QChar delimiter = CsvParser::detectDelimiter(text);
    bool wholeUnterminated = false;
    bool piecesUnterminated = false;
    const QList<QStringList> whole = parse(text, delimiter, text.size() + 1, &wholeUnterminated);
    const QList<QStringList> pieces = parse(text, delimiter, piece, &piecesUnterminated);
    if (whole != pieces || wholeUnterminated != piecesUnterminated)
        std::abort();
    return 0;
}
