#include <gtest/gtest.h>

#include "workbench/StrKit.h"

namespace {

struct ScanCase {
    const char* s;
    const char* pattern;
    int start;
    int expected;
};

TEST(StrKit, ScanWild)
{
    const ScanCase cases[] = {
        {"abcabc", "c", 4, 6},
        {"abc", "B", 1, 0},
        {"abc", "B", -1, 2},
        {"abc", "a?c", 1, 1},
        {"abc", "?", 3, 3},
        {"abc", "abc", 1, 1},
        {"abc", "abcd", 1, 0},      // pattern longer than the text
        {"abc", "bc", 3, 0},        // fewer bytes left than the pattern
        {"abc", "c", 4, 0},         // start beyond the end
        {"abc", "a", 0, 0},         // start 0
        {"", "a", 1, 0},
        {"abc", "", 1, 0},
        {"xAx", "a", -1, 2},
        {"x\xC4x", "\xE4", -1, 0},  // no case rules beyond A-Z
        {"x[x", "{", -1, 0},        // '[' and '{' differ by the case bit but are not letters
        {"x@x", "`", -1, 0},
        {"aaa", "aa", -2, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScanWild(c.s, c.pattern, c.start), c.expected) << c.s << " / " << c.pattern << " / " << c.start;
}

struct ReplaceCase {
    const char* s;
    const char* find;
    const char* replace;
    bool ignoreCase;
    const char* expected;
    int count;
};

TEST(StrKit, ReplaceAll)
{
    const ReplaceCase cases[] = {
        {"a&b&c", "&", "%26", false, "a%26b%26c", 2},
        {"aaaa", "aa", "a", false, "aa", 2},
        {"abc", "x", "y", false, "abc", 0},
        {"a b  c", " ", "+", false, "a+b++c", 3},
        {"AbAB", "ab", "-", true, "--", 2},
        {"AbAB", "ab", "-", false, "AbAB", 0},
        {"12/31/2026", "/", "-", false, "12-31-2026", 2},
        {"abc", "", "x", false, "abc", 0},
        {"abc", "b", "", false, "ac", 1},
        {"a1b2c", "?", "", false, "", 5},
        {"xyx", "x", "xx", false, "xxyxx", 2},  // replaced text is never searched again
    };
    for (const auto& c : cases) {
        CodePageString s = c.s;
        EXPECT_EQ(ReplaceAll(s, c.find, c.replace, c.ignoreCase), c.count) << c.s << " / " << c.find;
        EXPECT_EQ(s, c.expected) << c.s << " / " << c.find;
    }
}

TEST(StrKit, ReplaceAllManyMatches)
{
    CodePageString s(100000, '&');
    EXPECT_EQ(ReplaceAll(s, "&", "%26", false), 100000);
    EXPECT_EQ(s.size(), 300000u);
    EXPECT_EQ(s.substr(0, 6), "%26%26");
}

}  // namespace
