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
#include "classlib/Dates.h"
#include "platform/Hooks.h"

TEST(Dates, DatesEncodeAndDecode)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
    EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);

    int y, m, d, h, n, s, ms;
    DecodeDate(-1.25, y, m, d);
    DecodeTime(-1.25, h, n, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n}), (std::vector<int>{1899, 12, 29, 6, 0}));
    // A hair before midnight rounds to the next day, not to 24:00.
    const TDateTime almost = EncodeDate(2000, 1, 1) - 1e-10;
    DecodeDate(almost, y, m, d);
    DecodeTime(almost, h, n, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, ms}), (std::vector<int>{2000, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(DayOfWeek(EncodeDate(2003, 7, 4)), 6);  // a Friday

    GetHooks().now = [] { return 36526.75; };
    EXPECT_EQ(Now(), 36526.75);
    EXPECT_EQ(Date(), 36526.0);
    EXPECT_EQ(Time(), 0.75);
    ResetHooks();
}

class FormatDateTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TFormatSettings& fs = FormatSettings();
        fs = TFormatSettings();
        fs.DateSeparator = '-';
        fs.TimeSeparator = '.';
        fs.TimePMString = "nachm.";
        fs.ShortTimeFormat = "hh:nn";
    }
    void TearDown() override { ResetFormatSettings(); }
};

TEST_F(FormatDateTimeTest, PatternLetters)
{
    const TDateTime afternoon = EncodeDate(2003, 7, 4) + EncodeTime(15, 5, 9, 45);
    const TDateTime midnight = EncodeDate(2010, 12, 25);
    const struct {
        const char* format;
        TDateTime when;
        const char* expected;
    } cases[] = {
        {"d dd ddd dddd", afternoon, "4 04 Fri Friday"},
        {"m mm mmm mmmm", afternoon, "7 07 Jul July"},
        {"yy yyyy", afternoon, "03 2003"},
        {"h hh n nn s ss z zzz", afternoon, "15 15 5 05 9 09 45 045"},
        {"hh:mm", afternoon, "15.05"},  // m after h is minutes
        {"yyyy/mm/dd", afternoon, "2003-07-04"},
        {"h:nn am/pm", afternoon, "3.05 pm"},
        {"h:nn AM/PM", afternoon, "3.05 PM"},
        {"h a/p", afternoon, "3 p"},
        {"hh ampm", afternoon, "03 nachm."},
        {"h ampm", midnight, "12 AM"},
        {"'mm' \"dd\" m", afternoon, "mm dd 7"},
        {"c", afternoon, "7-4-2003 3.05.09 nachm."},
        {"c", midnight, "12-25-2010"},
        {"", midnight, "12-25-2010"},
        {"ddddd t", afternoon, "7-4-2003 15.05"},
        {"tt", afternoon, "3.05.09 nachm."},
        {"dddddd", midnight, "Saturday, December 25, 2010"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.format, c.when), c.expected) << c.format;

    FormatSettings().ShortDateFormat = "dd/mm/yy";
    EXPECT_EQ(DateToStr(afternoon), "04-07-03");
}

TEST_F(FormatDateTimeTest, LocaleFormatsConvert)
{
    const struct {
        const char* posix;
        bool isTime;
        const char* pattern;
        char separator;
    } cases[] = {
        {"%d.%m.%Y", false, "dd/mm/yyyy", '.'}, {"%m/%d/%y", false, "mm/dd/yy", '/'},
        {"%Y-%m-%d", false, "yyyy/mm/dd", '-'}, {"%D", false, "mm/dd/yy", '/'},
        {"%H:%M:%S", true, "hh:nn:ss", ':'},    {"%r", true, "hh:nn:ss AMPM", ':'},
        {"%Q", false, "", 0},
    };
    for (const auto& c : cases) {
        char separator = 'x';
        EXPECT_EQ(PatternFromPosixFormat(c.posix, c.isTime, separator), c.pattern) << c.posix;
        EXPECT_EQ(separator, c.separator) << c.posix;
    }
    // Literal letters are quoted so they stay letters.
    char separator = 0;
    const CodePageString pattern = PatternFromPosixFormat("%e de %B", false, separator);
    EXPECT_EQ(FormatDateTime(pattern, EncodeDate(2003, 7, 4)), "4 de July");
}

TEST_F(FormatDateTimeTest, CLocaleGivesTheDefaults)
{
    const char* saved = std::getenv("LC_ALL");
    const std::string keep = saved ? saved : "";
    setenv("LC_ALL", "C", 1);
    ResetFormatSettings();
    EXPECT_EQ(FormatSettings().ShortDateFormat, TFormatSettings().ShortDateFormat);
    EXPECT_EQ(FormatSettings().LongTimeFormat, TFormatSettings().LongTimeFormat);
    EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
    if (saved)
        setenv("LC_ALL", keep.c_str(), 1);
    else
        unsetenv("LC_ALL");
}
