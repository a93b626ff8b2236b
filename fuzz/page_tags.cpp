// The page import's tag scraper over arbitrary bytes: the page fed whole and
// fed in pieces of varying size must give the same title, description and
// keywords, and the scraper never holds more than the page.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "workbench/ImportData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses how the page is cut.
    const unsigned seed = data[0];
    const std::string page = InputBytes(data + 1, size - 1);

    const PageTags whole = ScrapePage(page);
    TPageScraper pieces;
    std::size_t at = 0;
    for (unsigned i = 0; at < page.size(); ++i) {
        const std::size_t piece = 1 + (seed * (i + 1)) % 23;
        pieces.Feed(page.data() + at, std::min(piece, page.size() - at));
        at += piece;
        if (pieces.Held() > page.size())
            __builtin_trap();
    }
    const PageTags& cut = pieces.Tags();
    if (cut.hasTitle != whole.hasTitle || cut.title != whole.title || cut.hasDescription != whole.hasDescription ||
        cut.description != whole.description || cut.hasKeywords != whole.hasKeywords || cut.keywords != whole.keywords)
        __builtin_trap();
    if (whole.title.size() > page.size() || whole.description.size() > page.size())
        __builtin_trap();
    KeywordsOfValue(page);
    return 0;
}
