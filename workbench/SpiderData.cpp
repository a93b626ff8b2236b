#include "workbench/SpiderData.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "classlib/Strings.h"
#include "transport/HttpUtil.h"

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr const char* HrefMarker = "HREF=";
constexpr std::size_t HrefLength = 5;

struct TUrlParts {
    CodePageString proto, user, password, host, port, path;
};

TUrlParts Split(const CodePageString& url)
{
    TUrlParts parts;
    SplitURL(url, parts.proto, parts.user, parts.password, parts.host, parts.port, parts.path);
    return parts;
}

}  // namespace

// --- links of a page -----------------------------------------------------------------

void TLinkExtractor::Feed(const char* data, std::size_t length, const TFound& found)
{
    FText.Append(data, length);
    Scan(false, found);
    Trim();
}

void TLinkExtractor::Finish(const TFound& found)
{
    Scan(true, found);
    FScanned = FText.End();
    FText.DropBefore(FScanned);
    FPending = false;
}

void TLinkExtractor::Scan(bool pageEnded, const TFound& found)
{
    // At the end of the page an unended value is given up at once when its
    // terminator occurs nowhere after it; this keeps a page of many unended
    // values from being searched to its end once per value.
    const std::size_t lastQuote = pageEnded ? FText.FindLast('"') : npos;
    const std::size_t lastBracket = pageEnded ? FText.FindLast('>') : npos;
    for (;;) {
        if (!FPending) {
            const std::size_t at = FText.Find(HrefMarker, FScanned);
            if (at == npos) {
                const std::size_t end = FText.End();
                FScanned = std::max(FScanned, end >= HrefLength ? end - HrefLength + 1 : 0);
                return;
            }
            FPending = true;
            FDecided = false;
            FValueAt = at + HrefLength;
        }
        if (!FDecided) {
            // Whether the value is quoted depends on its length so far: wait
            // for three bytes, or for the page's end.
            const std::size_t available = FText.End() - FValueAt;
            if (available <= 2 && !pageEnded)
                return;
            const bool quoted = available > 2 && FText.At(FValueAt) == '"';
            FLinkAt = quoted ? FValueAt + 1 : FValueAt;
            FTerminator = quoted ? '"' : '>';
            FEndSearched = FLinkAt;
            FDecided = true;
        }
        std::size_t end = npos;
        const std::size_t last = FTerminator == '"' ? lastQuote : lastBracket;
        if (!pageEnded || (last != npos && last >= FEndSearched)) {
            const char terminator[] = {FTerminator, '\0'};
            end = FText.FindFirstOf(terminator, FEndSearched);
        }
        if (end != npos) {
            found(FText.Text(FLinkAt, end));
            FScanned = end + 1;
            FPending = false;
            continue;
        }
        if (!pageEnded) {
            FEndSearched = FText.End();
            return;
        }
        // No link from this HREF=; the search goes on right after it.
        FScanned = FValueAt;
        FPending = false;
    }
}

void TLinkExtractor::Trim()
{
    FText.DropBefore(FPending ? FValueAt : FScanned);
}

CodePageString CleanLink(const CodePageString& raw)
{
    return raw.substr(0, raw.find(' '));
}

namespace {

bool Unreserved(unsigned char c)
{
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// A path as one address: "%2E" and the other escapes of unreserved
// characters decoded (a server reads "%2e%2e" as ".."), repeated "/"
// collapsed, then "." and ".." segments taken out.
std::string NormalPath(std::string_view path)
{
    std::string plain;
    plain.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        const auto hex = [&](std::size_t at) { return std::isxdigit(static_cast<unsigned char>(path[at])) != 0; };
        if (c == '%' && i + 2 < path.size() && hex(i + 1) && hex(i + 2)) {
            const auto decoded = static_cast<unsigned char>(std::stoi(std::string(path.substr(i + 1, 2)), nullptr, 16));
            // An escape is kept as written where its character would make a
            // new escape with a stray "%" before it ("%2%65" is not "%2e"),
            // so that an address read twice is the same address.
            const auto isHex = [](char h) { return std::isxdigit(static_cast<unsigned char>(h)) != 0; };
            const std::size_t n = plain.size();
            const bool makesEscape =
                isHex(static_cast<char>(decoded)) &&
                ((n >= 2 && plain[n - 2] == '%' && isHex(plain[n - 1])) ||
                 (n >= 1 && plain[n - 1] == '%' && i + 3 < path.size() && hex(i + 3)));
            if (Unreserved(decoded) && !makesEscape) {
                plain += static_cast<char>(decoded);
                i += 2;
                continue;
            }
        }
        if (c == '/' && !plain.empty() && plain.back() == '/')
            continue;
        plain += c;
    }
    return RemoveDotSegments(plain);
}

// The authority in lower case, without an empty or default port (each of
// them, should a hostile link write several).
std::string NormalAuthority(std::string_view authority, std::string_view scheme)
{
    std::string normal = LowerCase(CodePageString(authority));
    for (;;) {
        const std::size_t colon = normal.rfind(':');
        if (colon == npos || normal.find(']', colon) != npos)
            return normal;
        const std::string_view port = std::string_view(normal).substr(colon + 1);
        if (!port.empty() && (port != "80" || scheme != "http"))
            return normal;
        normal.erase(colon);
    }
}

}  // namespace

TPageAddress PageAddressOf(const CodePageString& pageUrl)
{
    // The client fetches every address over http, whatever stands before a
    // "://" that is no scheme.
    const std::size_t separator = pageUrl.find("://");
    const bool schemed = separator != npos && separator > 0 && SchemeOf(pageUrl).size() == separator;
    const std::string absolute =
        schemed ? std::string(pageUrl) : "http://" + pageUrl.substr(separator == npos ? 0 : separator + 3);
    const TUrlReference url = SplitReference(absolute);
    TPageAddress page;
    page.scheme = LowerCase(CodePageString(url.scheme));
    page.authority = NormalAuthority(url.authority, page.scheme);
    page.path = NormalPath(url.path);
    if (page.path.empty() || page.path[0] != '/')
        page.path.insert(0, 1, '/');
    page.query = CodePageString(url.query);
    return page;
}

CodePageString ResolveLink(const CodePageString& link, const TPageAddress& page)
{
    if (link.empty())
        return link;
    const TUrlReference ref = SplitReference(link);
    const CodePageString scheme = LowerCase(CodePageString(ref.scheme));
    // "http:x.htm" is read as a relative link, as browsers read it.
    const bool relative = scheme.empty() || (scheme == page.scheme && !ref.hasAuthority);
    if (!relative && !ref.hasAuthority)
        return link;
    CodePageString resolved = relative ? page.scheme : scheme;
    resolved += "://";
    if (ref.hasAuthority) {
        resolved += NormalAuthority(ref.authority, resolved.substr(0, resolved.size() - 3));
        resolved += ref.path.empty() ? std::string("/") : NormalPath(ref.path);
        resolved += ref.query;
    } else if (ref.path.empty()) {
        resolved += page.authority + page.path;
        resolved += ref.query.empty() ? std::string_view(page.query) : ref.query;
    } else if (ref.path[0] == '/') {
        resolved += page.authority + NormalPath(ref.path);
        resolved += ref.query;
    } else {
        const std::size_t slash = page.path.rfind('/');
        std::string merged = page.path.substr(0, slash + 1);
        merged += ref.path;
        resolved += page.authority + NormalPath(merged);
        resolved += ref.query;
    }
    resolved += ref.fragment;
    return resolved;
}

CodePageString NormaliseLink(const CodePageString& link)
{
    CodePageString normal = link;
    if (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    for (const char* cut : {"/index.", "/default."}) {
        const std::size_t at = normal.find(cut);
        if (at != npos)
            normal.erase(at);
    }
    return normal;
}

// --- the site ---------------------------------------------------------------------------

TSpiderSite SpiderSiteOf(const CodePageString& startUrl)
{
    const TPageAddress start = PageAddressOf(startUrl);
    const TUrlParts url = Split(start.scheme + "://" + start.authority);
    TSpiderSite site;
    site.scheme = start.scheme;
    site.host = url.host;
    site.port = url.port.empty() ? CodePageString("80") : url.port;
    const CodePageString& path = start.path;
    const std::size_t lastSlash = path.rfind('/');
    if (lastSlash != npos && lastSlash > 0)
        site.folder = path.substr(0, lastSlash);
    else if (lastSlash == 0 && path.find('.') == npos && path.size() > 1)
        site.folder = path;
    else
        site.folder.assign(1, '/');
    return site;
}

bool OnSpiderSite(const CodePageString& link, const TSpiderSite& site)
{
    if (link.find("://") == npos)
        return false;
    const TUrlParts url = Split(link);
    if (LowerCase(url.proto) != site.scheme || LowerCase(url.host) != site.host ||
        (url.port.empty() ? CodePageString("80") : url.port) != site.port)
        return false;
    if (site.folder == "/")
        return true;
    const CodePageString& path = url.path;
    return path.compare(0, site.folder.size(), site.folder) == 0 &&
           (path.size() == site.folder.size() || path[site.folder.size()] == '/');
}

int TFoundLinks::IndexOf(const CodePageString& link) const
{
    const auto found = FIndex.find(NormaliseLink(link));
    return found == FIndex.end() ? -1 : found->second;
}

int TFoundLinks::Add(const CodePageString& link)
{
    FLinks.push_back(link);
    const int index = Count() - 1;
    FIndex.emplace(NormaliseLink(link), index);
    return index;
}

void TFoundLinks::AddAlias(const CodePageString& alias, int index)
{
    FIndex.emplace(NormaliseLink(alias), index);
}

void TFoundLinks::Clear()
{
    FLinks.clear();
    FIndex.clear();
}

TLinkVerdict JudgeLink(const CodePageString& link, const TSpiderSite& site, const TFoundLinks& found, int& duplicateIndex)
{
    duplicateIndex = found.IndexOf(link);
    if (!OnSpiderSite(link, site))
        return TLinkVerdict::OtherSite;
    const CodePageString upper = UpperCase(link);
    for (const char* text : SpiderExcludedTexts)
        if (upper.find(text) != npos)
            return TLinkVerdict::Excluded;
    for (const char c : link)
        if (static_cast<unsigned char>(c) < ' ' || c == '\x7f')
            return TLinkVerdict::Excluded;
    if (duplicateIndex >= 0)
        return TLinkVerdict::Duplicate;
    if (link.size() >= SpiderLinkLimit)
        return TLinkVerdict::TooLong;
    return TLinkVerdict::Follow;
}

// --- project names -------------------------------------------------------------------------

CodePageString SpiderSiteWord(const CodePageString& host)
{
    CodePageString word = host.find("www.") != npos ? host.substr(std::min<std::size_t>(4, host.size())) : host;
    const std::size_t dot = word.find('.');
    return dot == npos ? CodePageString() : word.substr(0, dot);
}

TNameNumbers::TNameNumbers(const CodePageString& word) : FWord(word), FUpperWord(UpperCase(word)) {}

void TNameNumbers::Take(const CodePageString& name)
{
    // Every number that word + number occurs as: each occurrence of the word
    // followed by digits takes every leading part of those digits that is a
    // number ("SHOP12" takes 1 and 12).
    constexpr std::size_t MaxDigits = 18;
    const CodePageString upper = UpperCase(name);
    for (std::size_t at = upper.find(FUpperWord); at != npos; at = upper.find(FUpperWord, at + 1)) {
        std::size_t digit = at + FUpperWord.size();
        if (digit >= upper.size() || upper[digit] == '0')
            continue;
        long long number = 0;
        for (std::size_t n = 0; digit < upper.size() && n < MaxDigits && upper[digit] >= '0' && upper[digit] <= '9';
             ++digit, ++n) {
            number = number * 10 + (upper[digit] - '0');
            if (number >= FFirst)
                FTaken.insert(number);
        }
    }
}

long long TNameNumbers::FirstFree()
{
    while (FTaken.erase(FFirst) > 0)
        ++FFirst;
    return FFirst;
}

long long FirstFreeNumber(const CodePageString& word, const std::vector<CodePageString>& names)
{
    TNameNumbers numbers(word);
    for (const CodePageString& name : names)
        numbers.Take(name);
    return numbers.FirstFree();
}
