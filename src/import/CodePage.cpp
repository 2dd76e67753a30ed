#include "import/CodePage.h"

#include <cerrno>
#include <iconv.h>

namespace importer {

namespace {

QByteArray iconvNameOf(int codePage) {
    switch (codePage) {
    case 932:
        return "CP932";
    case 936:
        return "GBK";
    case 949:
        return "CP949";
    case 950:
        return "BIG5";
    case 10000:
        return "MACINTOSH";
    case 10007:
        return "MAC-CYRILLIC";
    case 10029:
        return "MAC-CENTRALEUROPE";
    case 10006:
        return "MAC-GREEK";
    default:
        return "CP" + QByteArray::number(codePage);
    }
}

bool isMultiByte(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// Converts with iconv; nullopt when the code page is unknown. Bytes that do not convert become U+FFFD.
QString iconvDecode(const QByteArray& name, QByteArrayView bytes, bool* known) {
    iconv_t cd = iconv_open("UTF-16LE", name.constData());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        *known = false;
        return {};
    }
    *known = true;
    QString out;
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    char16_t buffer[512];
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer);
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(reinterpret_cast<const QChar*>(buffer), (sizeof buffer - outLeft) / 2);
        if (rc == size_t(-1) && errno != E2BIG) {
            // An invalid or cut sequence: one replacement character, then go on after the byte.
            out.append(QChar(0xFFFD));
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

CodePageDecoder::CodePageDecoder(int codePage) : codePage_(codePage > 0 ? codePage : 1252) {
    if (isMultiByte(codePage_)) {
        bool known = false;
        iconvDecode(iconvNameOf(codePage_), "A", &known);
        if (known) {
            singleByte_ = false;
            iconvName_ = iconvNameOf(codePage_);
            return;
        }
        codePage_ = 1252;
    }
    iconv_t cd = iconv_open("UTF-16LE", iconvNameOf(codePage_).constData());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        codePage_ = 1252;
        cd = iconv_open("UTF-16LE", "CP1252");
    }
    for (int byte = 0; byte < 256; ++byte) {
        // A byte the code page leaves undefined reads as the Latin-1 character of that number.
        table_[size_t(byte)] = char16_t(byte);
        if (cd == reinterpret_cast<iconv_t>(-1))
            continue;
        char source = char(byte);
        char16_t target[2] = {0, 0};
        char* in = &source;
        size_t inLeft = 1;
        char* out = reinterpret_cast<char*>(target);
        size_t outLeft = sizeof target;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != size_t(-1) && outLeft == 2)
            table_[size_t(byte)] = target[0];
    }
    if (cd != reinterpret_cast<iconv_t>(-1))
        iconv_close(cd);
}

CodePageDecoder::~CodePageDecoder() = default;

QString CodePageDecoder::decode(QByteArrayView bytes) const {
    if (!singleByte_) {
        bool known = false;
        return iconvDecode(iconvName_, bytes, &known);
    }
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* target = out.data();
    const unsigned char* source = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        target[i] = QChar(table_[source[i]]);
    return out;
}

int codePageOfLanguageDriver(unsigned char driver) {
    switch (driver) {
    case 0x01:
    case 0x09:
    case 0x0B:
    case 0x0D:
    case 0x0F:
    case 0x11:
    case 0x15:
    case 0x18:
    case 0x19:
    case 0x1B:
        return 437;
    case 0x02:
    case 0x0A:
    case 0x0E:
    case 0x10:
    case 0x12:
    case 0x14:
    case 0x16:
    case 0x1A:
    case 0x1D:
    case 0x25:
    case 0x37:
        return 850;
    case 0x03:
    case 0x57:
    case 0x58:
    case 0x59:
        return 1252;
    case 0x04:
        return 10000;
    case 0x08:
    case 0x17:
    case 0x66:
        return 865;
    case 0x13:
    case 0x7B:
        return 932;
    case 0x1C:
    case 0x6C:
        return 863;
    case 0x1F:
    case 0x22:
    case 0x23:
    case 0x40:
    case 0x64:
    case 0x87:
        return 852;
    case 0x24:
        return 860;
    case 0x26:
    case 0x65:
        return 866;
    case 0x4D:
    case 0x7A:
        return 936;
    case 0x4E:
    case 0x79:
        return 949;
    case 0x4F:
    case 0x78:
        return 950;
    case 0x50:
    case 0x7C:
        return 874;
    case 0x67:
        return 861;
    case 0x6A:
    case 0x86:
        return 737;
    case 0x6B:
    case 0x88:
        return 857;
    case 0x7D:
        return 1255;
    case 0x7E:
        return 1256;
    case 0x96:
        return 10007;
    case 0x97:
        return 10029;
    case 0x98:
        return 10006;
    case 0xC8:
        return 1250;
    case 0xC9:
        return 1251;
    case 0xCA:
        return 1254;
    case 0xCB:
        return 1253;
    case 0xCC:
        return 1257;
    default:
        return 0;
    }
}

} // namespace importer
