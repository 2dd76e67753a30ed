#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>
#include <memory>

// Text in the code pages of old desktop databases (DOS and Windows code pages) turned into Unicode.
namespace importer {

class CodePageDecoder {
public:
    // Windows-1252 when the code page is 0 or unknown to the platform.
    explicit CodePageDecoder(int codePage = 1252);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    int codePage() const { return codePage_; }
    QString decode(QByteArrayView bytes) const;

private:
    int codePage_ = 1252;
    bool singleByte_ = true;
    std::array<char16_t, 256> table_{};
    QByteArray iconvName_; // multi-byte code pages go through iconv each time
};

// The code page a dBase / FoxPro language driver byte (header offset 29) stands for; 0 when the byte is 0
// or not known.
int codePageOfLanguageDriver(unsigned char driver);

} // namespace importer
