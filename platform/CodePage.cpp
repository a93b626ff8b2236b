#include "platform/CodePage.h"

#include <array>

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

int CharTo1252(char32_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return int(ch);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[size_t(i)] == ch)
            return 0x80 + i;
    return -1;
}

std::string Utf8ToCodePage(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[at]);
        if (lead < 0x80) {
            out += char(lead);
            ++at;
            continue;
        }
        // The sequence's length and the range of its second byte, which
        // shuts out overlong forms, surrogates and values past U+10FFFF.
        std::size_t more = 0;
        char32_t ch = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
            ch = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            ch = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            ch = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            out += '?';
            ++at;
            continue;
        }
        std::size_t next = at + 1;
        bool whole = true;
        for (std::size_t i = 0; i < more; ++i, ++next) {
            const unsigned char byte = next < utf8.size() ? static_cast<unsigned char>(utf8[next]) : 0;
            if (next >= utf8.size() || byte < low || byte > high) {
                whole = false;
                break;
            }
            ch = (ch << 6) | (byte & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        const int byte = whole ? CharTo1252(ch) : -1;
        out += byte < 0 ? '?' : char(byte);
        at = next;
    }
    return out;
}
