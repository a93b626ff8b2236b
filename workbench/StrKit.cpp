#include "workbench/StrKit.h"

#include <array>
#include <cstdlib>

namespace {

// Each ASCII letter maps to its other case, every other byte to itself.
constexpr std::array<unsigned char, 256> MakeCaseFlip()
{
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c) {
        table[c] = static_cast<unsigned char>(c - 'A' + 'a');
        table[c - 'A' + 'a'] = static_cast<unsigned char>(c);
    }
    return table;
}

constexpr std::array<unsigned char, 256> CaseFlip = MakeCaseFlip();

bool MatchesAt(const CodePageString& s, std::size_t at, const CodePageString& pattern, bool ignoreCase)
{
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const auto p = static_cast<unsigned char>(pattern[i]);
        const auto t = static_cast<unsigned char>(s[at + i]);
        if (p == '?' || p == t || (ignoreCase && CaseFlip[p] == t))
            continue;
        return false;
    }
    return true;
}

}  // namespace

int ScanWild(const CodePageString& s, const CodePageString& pattern, int start)
{
    if (s.empty() || pattern.empty() || start == 0)
        return 0;
    const bool ignoreCase = start < 0;
    const std::size_t from = static_cast<std::size_t>(std::llabs(static_cast<long long>(start))) - 1;
    if (from >= s.size() || s.size() - from < pattern.size())
        return 0;
    const std::size_t last = s.size() - pattern.size();
    for (std::size_t at = from; at <= last; ++at) {
        if (MatchesAt(s, at, pattern, ignoreCase))
            return static_cast<int>(at) + 1;
    }
    return 0;
}

int ReplaceAll(CodePageString& s, const CodePageString& find, const CodePageString& replace, bool ignoreCase)
{
    if (find.empty())
        return 0;
    CodePageString result;
    int count = 0;
    int pos = 1;
    for (;;) {
        const int found = ScanWild(s, find, ignoreCase ? -pos : pos);
        if (found < 1)
            break;
        const std::size_t needed = result.size() + static_cast<std::size_t>(found - pos) + replace.size();
        if (needed > result.capacity())
            result.reserve(needed * 2);
        result.append(s, static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(found - pos));
        result += replace;
        pos = found + static_cast<int>(find.size());
        ++count;
    }
    if (count > 0) {
        if (static_cast<std::size_t>(pos - 1) < s.size())
            result.append(s, static_cast<std::size_t>(pos - 1), CodePageString::npos);
        result.shrink_to_fit();
        s = std::move(result);
    }
    return count;
}
