// The string type and the exceptions the system's code is written against,
// with number and text conversions, trims, case, comparison, Pos and Copy,
// and line splitting. Text is bytes; positions the system shows or passes
// around count from 1.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Single-byte text in the program's code page: a byte per character, as
// files, the network and the controls exchange it.
using CodePageString = std::string;

// Root of the class library's exceptions. Message is what the user sees.
class Exception : public std::exception {
public:
    explicit Exception(CodePageString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    CodePageString Message;
};

// A text that is not a number (StrToInt and friends).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// --- strings -------------------------------------------------------------

CodePageString IntToStr(long long value);
// Decimal, optional sign, surrounding blanks refused; "$" prefix for hex as the
// class library accepts it. Throws EConvertError: "'<s>' is not a valid integer value".
int StrToInt(const CodePageString& s);
int StrToIntDef(const CodePageString& s, int fallback);
bool TryStrToInt(const CodePageString& s, int& value);

// a * b / c in 64 bits, rounded half away from zero; -1 when c is 0 or the
// result does not fit in 32 bits, as the platform's MulDiv answers.
int MulDiv(int a, int b, int c);

CodePageString Trim(const CodePageString& s);       // cuts bytes <= ' ' at both ends
std::string_view TrimView(std::string_view s);  // the same, without a copy
// Calls line(view) for each line of text, without its line end. Lines end
// with CR LF, LF or CR; a trailing line break ends the last line without
// starting an empty one.
template <class F>
void ForEachLine(std::string_view text, F&& line)
{
    std::size_t start = 0;
    const std::size_t n = text.size();
    while (start < n) {
        std::size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n')
            ++end;
        line(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            end += 2;
        else if (end < n)
            end += 1;
        start = end;
    }
}
CodePageString TrimLeft(const CodePageString& s);
CodePageString TrimRight(const CodePageString& s);
CodePageString UpperCase(const CodePageString& s);  // ASCII only
CodePageString LowerCase(const CodePageString& s);  // ASCII only

// ASCII case folded, then byte order: <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
// The letter upper-cased as CompareText and SameText fold it (ASCII only).
inline char UpCase(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool SameText(std::string_view a, std::string_view b);
int CompareStr(const CodePageString& a, const CodePageString& b);

// 1-based position of sub in s, 0 when absent.
int Pos(const CodePageString& sub, const CodePageString& s);
// Copy(s, index, count) with a 1-based index; out-of-range parts are cut, never thrown.
CodePageString Copy(const CodePageString& s, int index, int count);
