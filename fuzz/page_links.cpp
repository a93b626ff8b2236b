// The spider's link extractor over arbitrary bytes: the page fed whole and
// fed in pieces of varying size must give the same links; every link then
// goes through cleaning, resolution against a page address taken from the
// input, the site filters and the project naming. A resolved link is its own
// resolution (one page has one address), and a followed one lies on the site.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "transport/HttpUtil.h"
#include "workbench/SpiderData.h"

namespace {

std::vector<CodePageString> Links(const std::string& page, unsigned seed)
{
    std::vector<CodePageString> links;
    TLinkExtractor extractor;
    auto take = [&links](const CodePageString& link) { links.push_back(link); };
    std::size_t at = 0;
    for (unsigned i = 0; at < page.size(); ++i) {
        const std::size_t piece = seed == 0 ? page.size() : 1 + (seed * (i + 1)) % 29;
        const std::size_t length = std::min(piece, page.size() - at);
        extractor.Feed(page.data() + at, length, take);
        at += length;
        if (extractor.Held() > page.size())
            __builtin_trap();
    }
    extractor.Finish(take);
    return links;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned seed = data[0];
    const std::string page = InputBytes(data + 1, size - 1);

    const std::vector<CodePageString> whole = Links(page, 0);
    if (Links(page, seed | 1) != whole)
        __builtin_trap();

    // The page's address: its first line, when it has one.
    const std::string address = page.substr(0, page.find('\n'));
    const TPageAddress pageAddress = PageAddressOf(address);
    const TSpiderSite site = SpiderSiteOf(address);
    TFoundLinks found;
    std::vector<CodePageString> names;
    for (const CodePageString& raw : whole) {
        const CodePageString link = ResolveLink(CleanLink(raw), pageAddress);
        int duplicate = -1;
        if (JudgeLink(link, site, found, duplicate) == TLinkVerdict::Follow) {
            if (duplicate >= 0 || !OnSpiderSite(link, site) || ResolveLink(link, PageAddressOf(link)) != link)
                __builtin_trap();
            const std::string path(SplitReference(link).path);
            if (path.find("/../") != std::string::npos || path.find("/./") != std::string::npos ||
                path.find("//") != std::string::npos)
                __builtin_trap();
            found.Add(link);
        }
        names.push_back(link);
    }
    const long long free = FirstFreeNumber(SpiderSiteWord(address), names);
    if (free < 1)
        __builtin_trap();
    return 0;
}
