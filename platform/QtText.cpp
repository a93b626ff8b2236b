#include "platform/QtText.h"

#include <array>

// --- Windows-1252 -------------------------------------------------------------

namespace {

// 0x80..0x9F; the undefined bytes keep their own value as a control character.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

char16_t CharFrom1252(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return char16_t(byte);
}

int CharTo1252(char16_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return int(ch);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[size_t(i)] == ch)
            return 0x80 + i;
    return -1;
}

QString ToQString(const std::string& bytes)
{
    QString out;
    out.resize(qsizetype(bytes.size()));
    QChar* data = out.data();
    for (size_t i = 0; i < bytes.size(); ++i)
        data[i] = QChar(CharFrom1252(static_cast<unsigned char>(bytes[i])));
    return out;
}

std::string FromQString(const QString& text)
{
    std::string out;
    out.reserve(size_t(text.size()));
    for (QChar ch : text) {
        const int b = CharTo1252(ch.unicode());
        out.push_back(b < 0 ? '?' : char(b));
    }
    return out;
}
