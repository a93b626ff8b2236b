#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "classlib/Classes.h"
#include "platform/Hooks.h"

TEST(Strings, StrToInt)
{
    const struct {
        const char* text;
        int value;
    } good[] = {
        {"0", 0},          {"-12", -12},   {"+7", 7},         {"007", 7},           {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1}, {"$FF", 255},     {"0x1f", 31},         {"0X10", 16},
        {"-$10", -16},     {"$FFFFFFFF", -1},
    };
    for (const auto& c : good) {
        EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
        int value = 0;
        EXPECT_TRUE(TryStrToInt(c.text, value));
    }
    for (const char* bad : {"", " 1", "1 ", "1 2", "\t5", "2147483648", "-2147483649", "abc", "$", "0x", "+", "-",
                            "1e3", "$100000000", "12abc", "--1"}) {
        EXPECT_THROW(StrToInt(bad), EConvertError) << '"' << bad << '"';
        EXPECT_EQ(StrToIntDef(bad, -99), -99) << bad;
    }
    try {
        StrToInt("abc");
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message, "'abc' is not a valid integer value");
    }
}

TEST(Strings, StringHelpers)
{
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0") << "only bytes up to the blank are cut";
    EXPECT_EQ(Copy("abcdef", 0, 2), "ab");
    EXPECT_EQ(Copy("abcdef", 5, 10), "ef");
    EXPECT_EQ(Copy("abc", 9, 1), "");
    EXPECT_EQ(Copy("abc", 2, -1), "");
    EXPECT_EQ(Pos("cd", "abcdcd"), 3);
    EXPECT_EQ(Pos("", "abc"), 0);
    EXPECT_LT(CompareText("a", "B"), 0);
    EXPECT_LT(CompareText("Z", "_"), 0);
    EXPECT_LT(CompareText("_", "\x80"), 0);
    EXPECT_EQ(CompareText("MiXed", "mixED"), 0);
    EXPECT_LT(CompareText("ab", "ABC"), 0);
    EXPECT_LT(CompareStr("B", "a"), 0);
    EXPECT_LT(CompareStr("a", "\xE9"), 0) << "bytes compare unsigned";
}
