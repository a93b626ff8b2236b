// UTF-8 text in the program's code page: what 1252 holds comes through as its
// byte, everything else and every malformed sequence as one '?' each, the
// byte that breaks a sequence starting the next.
#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CodePage, Utf8InTheCodePage)
{
    const struct {
        const char* what;
        std::string utf8;
        std::string text;
    } cases[] = {
        {"ASCII, controls and all", "Plain\t text~\x7F", "Plain\t text~\x7F"},
        {"Latin-1 letters and the no-break space", "\xC3\xA9t\xC3\xA9\xC2\xA0\xC3\xBF", "\xE9t\xE9\xA0\xFF"},
        {"the 1252 signs of 0x80..0x9F", "\xE2\x82\xAC \xE2\x80\x94 \xE2\x80\x9C\xE2\x80\x9D \xC5\xB8 \xE2\x84\xA2",
         "\x80 \x97 \x93\x94 \x9F \x99"},
        {"the five undefined bytes' controls keep their byte, the other controls have none",
         "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xC2\x80\xC2\x9F", "\x81\x8D\x8F\x90\x9D??"},
        {"characters beyond 1252, of three and four bytes", "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80!",
         "?? ?!"},
        {"a sequence cut short by an ASCII byte, and at the end", "\xE2\x80" "a\xE2", "?a?"},
        {"stray continuation bytes and bytes that start nothing", "\x80\xBF\xC0\xC1\xF5\xFF", "??????"},
        {"overlong forms", "\xC0\xAF\xE0\x80\xAF\xF0\x80\x80\xAF", "?????????"},
        {"a surrogate and a value past U+10FFFF", "\xED\xA0\x80\xF4\x90\x80\x80", "???????"},
        {"the highest characters of each length", "\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF", "???"},
        {"NUL stays", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"nothing", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8ToCodePage(c.utf8), c.text) << c.what;
}

TEST(CodePage, EveryByteRoundTrips)
{
    for (int byte = 0; byte < 256; ++byte)
        EXPECT_EQ(CharTo1252(CharFrom1252(static_cast<unsigned char>(byte))), byte) << byte;
    EXPECT_EQ(CharTo1252(0x1F600), -1);
    EXPECT_EQ(CharTo1252(0x2014), 0x97);
}

}  // namespace
