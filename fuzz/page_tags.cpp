// The page import's tag scraper over arbitrary bytes: the page fed whole and
// fed in pieces of varying size must give the same title, description and
// keywords, the scraper never holds more than the page, and the texts it
// gives hold no line end and no markup of their own. The first byte cuts
// the page and picks the reply's Content-Type.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"
#include "workbench/ImportData.h"

namespace {

bool HoldsMarkupOrLineEnds(const CodePageString& text)
{
    return text.find_first_of("<>\"\r\n") != CodePageString::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned seed = data[0];
    static const char* const contentTypes[] = {"", "text/html", "text/html; charset=utf-8",
                                               "text/html; charset=\"iso-8859-1\""};
    const CodePageString contentType = contentTypes[seed >> 6];
    const std::string page = InputBytes(data + 1, size - 1);

    const PageTags whole = ScrapePage(page, contentType);
    TPageScraper pieces;
    pieces.DeclareContentType(contentType);
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
    // Each byte grows to a reference of at most six ("&quot;").
    if (whole.title.size() > 6 * page.size() || whole.description.size() > 6 * page.size())
        __builtin_trap();
    if (HoldsMarkupOrLineEnds(whole.title) || HoldsMarkupOrLineEnds(whole.description) ||
        HoldsMarkupOrLineEnds(whole.keywords))
        __builtin_trap();
    // The code page text of any bytes is never longer than they are.
    if (Utf8ToCodePage(page).size() > page.size())
        __builtin_trap();
    KeywordsOfValue(page);
    CharsetOf(page);
    return 0;
}
