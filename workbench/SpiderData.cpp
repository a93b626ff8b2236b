#include "workbench/SpiderData.h"

#include <algorithm>

#include "transport/HttpUtil.h"

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr const char* HrefMarker = "HREF=";
constexpr std::size_t HrefLength = 5;

struct TUrlParts {
    AnsiString proto, user, password, host, port, path;
};

TUrlParts Split(const AnsiString& url)
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

AnsiString CleanLink(const AnsiString& raw)
{
    AnsiString link = raw.substr(0, raw.find(' '));
    if (link == "/")
        return {};
    if (link.size() > 1)
        link.erase(0, std::min(link.find_first_not_of('.'), link.size()));
    return link;
}

TPageAddress PageAddressOf(const AnsiString& pageUrl)
{
    const TUrlParts url = Split(pageUrl);
    TPageAddress page;
    page.origin = (url.proto.empty() ? AnsiString("http") : url.proto) + "://" + url.host;
    if (!url.port.empty())
        page.origin += ":" + url.port;
    // The folder: between the path's first character and its last "/".
    const std::size_t lastSlash = url.path.rfind('/');
    if (lastSlash != npos && lastSlash > 0) {
        page.folder = url.path.substr(1, lastSlash - 1);
        if (page.folder.size() > 1 && page.folder[0] == '/')
            page.folder.erase(0, 1);
    }
    return page;
}

AnsiString AbsoluteLink(const AnsiString& link, const TPageAddress& page)
{
    if (link.size() <= 1)
        return link;
    if (link[0] == '/')
        return page.origin + link;
    if (link.find("://") != npos)
        return link;
    if (page.folder.empty() || page.folder.find('.') != npos)
        return page.origin + "/" + link;
    return page.origin + "/" + page.folder + "/" + link;
}

AnsiString NormaliseLink(const AnsiString& link)
{
    AnsiString normal = link;
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

TSpiderSite SpiderSiteOf(const AnsiString& startUrl)
{
    const TUrlParts url = Split(startUrl);
    TSpiderSite site;
    site.scheme = LowerCase(url.proto.empty() ? AnsiString("http") : url.proto);
    site.host = LowerCase(url.host);
    site.port = url.port.empty() ? AnsiString("80") : url.port;
    const AnsiString& path = url.path;
    const std::size_t lastSlash = path.rfind('/');
    if (lastSlash != npos && lastSlash > 0)
        site.folder = path.substr(0, lastSlash);
    else if (lastSlash == 0 && path.find('.') == npos && path.size() > 1)
        site.folder = path;
    else
        site.folder.assign(1, '/');
    return site;
}

bool OnSpiderSite(const AnsiString& link, const TSpiderSite& site)
{
    if (link.find("://") == npos)
        return false;
    const TUrlParts url = Split(link);
    if (LowerCase(url.proto) != site.scheme || LowerCase(url.host) != site.host ||
        (url.port.empty() ? AnsiString("80") : url.port) != site.port)
        return false;
    if (site.folder == "/")
        return true;
    const AnsiString& path = url.path;
    return path.compare(0, site.folder.size(), site.folder) == 0 &&
           (path.size() == site.folder.size() || path[site.folder.size()] == '/');
}

int TFoundLinks::IndexOf(const AnsiString& link) const
{
    const auto found = FIndex.find(link);
    return found == FIndex.end() ? -1 : found->second;
}

int TFoundLinks::Add(const AnsiString& link)
{
    FLinks.push_back(link);
    const int index = Count() - 1;
    FIndex.emplace(link, index);
    return index;
}

void TFoundLinks::AddAlias(const AnsiString& alias, int index)
{
    FIndex.emplace(alias, index);
}

void TFoundLinks::Clear()
{
    FLinks.clear();
    FIndex.clear();
}

TLinkVerdict JudgeLink(const AnsiString& link, const TSpiderSite& site, const TFoundLinks& found, int& duplicateIndex)
{
    duplicateIndex = found.IndexOf(link);
    if (!OnSpiderSite(link, site))
        return TLinkVerdict::OtherSite;
    const AnsiString upper = UpperCase(link);
    for (const char* text : SpiderExcludedTexts)
        if (upper.find(text) != npos)
            return TLinkVerdict::Excluded;
    if (duplicateIndex >= 0)
        return TLinkVerdict::Duplicate;
    if (link.size() >= SpiderLinkLimit)
        return TLinkVerdict::TooLong;
    return TLinkVerdict::Follow;
}

// --- project names -------------------------------------------------------------------------

AnsiString SpiderSiteWord(const AnsiString& host)
{
    AnsiString word = host.find("www.") != npos ? host.substr(std::min<std::size_t>(4, host.size())) : host;
    const std::size_t dot = word.find('.');
    return dot == npos ? AnsiString() : word.substr(0, dot);
}

TNameNumbers::TNameNumbers(const AnsiString& word) : FWord(word), FUpperWord(UpperCase(word)) {}

void TNameNumbers::Take(const AnsiString& name)
{
    // Every number that word + number occurs as: each occurrence of the word
    // followed by digits takes every leading part of those digits that is a
    // number ("SHOP12" takes 1 and 12).
    constexpr std::size_t MaxDigits = 18;
    const AnsiString upper = UpperCase(name);
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

long long FirstFreeNumber(const AnsiString& word, const std::vector<AnsiString>& names)
{
    TNameNumbers numbers(word);
    for (const AnsiString& name : names)
        numbers.Take(name);
    return numbers.FirstFree();
}
