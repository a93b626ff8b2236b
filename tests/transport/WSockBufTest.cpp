// The send chunk, the text helpers and the error texts.
#include <gtest/gtest.h>

#include "transport/WSockBuf.h"
#include "transport/WSocket.h"

namespace {

TEST(TBufferTest, SizeWriteRemove)
{
    EXPECT_EQ(TBuffer(0).Capacity(), 1514);
    EXPECT_EQ(TBuffer(-5).Capacity(), 1514);

    TBuffer chunk(1460);
    const std::string data(2000, 'x');
    EXPECT_EQ(chunk.Write(data.data(), 2000), 1460);
    EXPECT_EQ(chunk.Write(data.data(), 10), 0);

    TBuffer small(16);
    ASSERT_EQ(small.Write("abcd", 4), 4);
    int len = -1;
    const char* p = small.Peek(len);
    ASSERT_EQ(len, 4);
    EXPECT_EQ(std::string(p, 4), "abcd");
    EXPECT_EQ(small.Remove(1), 1);
    EXPECT_EQ(std::string(small.Peek(len), 3), "bcd");
    EXPECT_EQ(small.Remove(10), 3);
    EXPECT_EQ(small.ReadPos(), 0);
    EXPECT_EQ(small.WritePos(), 0);
    EXPECT_EQ(small.Peek(len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(small.Remove(1), 0);
    EXPECT_EQ(small.Write("0123456789abcdef", 16), 16) << "a drained chunk is reused from its start";
}

TEST(TBufferTest, ShrinkingBelowTheWrittenDataKeepsTheChunkConsistent)
{
    TBuffer chunk(100);
    const std::string data(80, 'y');
    chunk.Write(data.data(), 80);
    chunk.Remove(10);
    chunk.SetSize(30);
    EXPECT_EQ(chunk.Capacity(), 30);
    EXPECT_LE(chunk.WritePos(), chunk.Capacity());
    EXPECT_LE(chunk.ReadPos(), chunk.WritePos());
    int len = 0;
    const char* p = chunk.Peek(len);
    EXPECT_EQ(len, 20);
    EXPECT_EQ(std::string(p, len), std::string(20, 'y'));
    EXPECT_EQ(chunk.Write("z", 1), 0);

    chunk.SetSize(5);  // below the read position: nothing unread is left
    EXPECT_EQ(chunk.Peek(len), nullptr);
    EXPECT_EQ(chunk.Write("12345", 5), 5);
}

TEST(TextHelpersTest, ParseDecimal)
{
    EXPECT_EQ(ParseDecimal("  42abc"), 42);
    EXPECT_EQ(ParseDecimal("-1"), 0);
    EXPECT_EQ(ParseDecimal(""), 0);
    EXPECT_EQ(ParseDecimal("2147483647"), 2147483647);
    EXPECT_EQ(ParseDecimal("2147483648"), -1) << "overflow is told, not wrapped";
    EXPECT_EQ(ParseDecimal("99999999999999999999999"), -1);
}

TEST(TextHelpersTest, IsDottedAddress)
{
    struct Case {
        const char* text;
        bool dotted;
    };
    const Case cases[] = {
        {"10.1.2.3", true},       {"  10.1.2.3  ", true},  {"010.0.0.1", true},     {"1.2.3", false},
        {"1.2.3.4.5", false},     {"1.2.3.256", false},    {"1.2.3.", false},       {".1.2.3", false},
        {"1..2.3", false},        {"1.2.3.4x", false},     {"300.1.1.1", false},    {"", false},
        {"   ", false},           {"1.2.3.4 x", false},    {"255.255.255.255", true},
        {"1.2.3.99999999999999999999", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsDottedAddress(c.text), c.dotted) << '"' << c.text << '"';
}

TEST(TextHelpersTest, WinsockErrorTexts)
{
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10035, "Operation would block"},
        {10047, "Address family not supported by protocol family"},
        {10054, "Connection reset by peer"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10061, "Connection refused"},
        {10069, "Disc quota exceeded"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11004, "No Data"},
        {10000, "Not a WinSock error"},
        {12345, "Not a WinSock error"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WinsockErrorText(c.code), c.text) << c.code;
}

}  // namespace
