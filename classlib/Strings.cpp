#include "classlib/Strings.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "classlib/Classes.h"
#include "platform/Calendar.h"
#include "platform/Hooks.h"

namespace {

char LoCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlankByte(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = UpCase(c);
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decimal with an optional sign, or "$"/"0x" hex; hex takes the full 32-bit
// range and reads as the signed value with the same bits.
bool ParseInt(const CodePageString& s, int& value)
{
    const std::size_t n = s.size();
    std::size_t i = 0;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == n)
        return false;
    std::uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const int digit = hex ? HexDigit(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
        if (digit < 0)
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return false;
    }
    if (hex) {
        std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        value = static_cast<int>(bits);
        return true;
    }
    if (magnitude > (negative ? 2147483648ull : 2147483647ull))
        return false;
    const long long signedValue = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    value = static_cast<int>(signedValue);
    return true;
}

}  // namespace

// --- strings -------------------------------------------------------------

CodePageString IntToStr(long long value)
{
    return std::to_string(value);
}

int StrToInt(const CodePageString& s)
{
    int value = 0;
    if (!ParseInt(s, value))
        throw EConvertError("'" + s + "' is not a valid integer value");
    return value;
}

int StrToIntDef(const CodePageString& s, int fallback)
{
    int value = 0;
    return ParseInt(s, value) ? value : fallback;
}

bool TryStrToInt(const CodePageString& s, int& value)
{
    return ParseInt(s, value);
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long product = (long long)a * b;
    const long long divisor = c;
    long long quotient = product / divisor;
    const long long remainder = product % divisor;
    // Half away from zero: twice the remainder reaches the divisor.
    if (remainder != 0 && 2 * (remainder < 0 ? -remainder : remainder) >= (divisor < 0 ? -divisor : divisor))
        quotient += (product < 0) == (divisor < 0) ? 1 : -1;
    if (quotient > INT_MAX || quotient < INT_MIN)
        return -1;
    return int(quotient);
}

std::string_view TrimView(std::string_view s)
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && IsBlankByte(s[begin]))
        ++begin;
    while (end > begin && IsBlankByte(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

CodePageString Trim(const CodePageString& s)
{
    return CodePageString(TrimView(s));
}

CodePageString TrimLeft(const CodePageString& s)
{
    std::size_t begin = 0;
    while (begin < s.size() && IsBlankByte(s[begin]))
        ++begin;
    return s.substr(begin);
}

CodePageString TrimRight(const CodePageString& s)
{
    std::size_t end = s.size();
    while (end > 0 && IsBlankByte(s[end - 1]))
        --end;
    return s.substr(0, end);
}

CodePageString UpperCase(const CodePageString& s)
{
    CodePageString result = s;
    for (char& c : result)
        c = UpCase(c);
    return result;
}

CodePageString LowerCase(const CodePageString& s)
{
    CodePageString result = s;
    for (char& c : result)
        c = LoCase(c);
    return result;
}

int CompareText(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(UpCase(a[i]));
        const auto cb = static_cast<unsigned char>(UpCase(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(const CodePageString& a, const CodePageString& b)
{
    const int c = a.compare(b);  // char_traits<char> compares as unsigned bytes
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int Pos(const CodePageString& sub, const CodePageString& s)
{
    if (sub.empty())
        return 0;
    const std::size_t at = s.find(sub);
    return at == CodePageString::npos ? 0 : static_cast<int>(at) + 1;
}

CodePageString Copy(const CodePageString& s, int index, int count)
{
    const long long length = static_cast<long long>(s.size());
    long long start = index < 1 ? 0 : static_cast<long long>(index) - 1;
    if (start > length)
        start = length;
    long long n = count < 0 ? 0 : count;
    if (n > length - start)
        n = length - start;
    return s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(n));
}
