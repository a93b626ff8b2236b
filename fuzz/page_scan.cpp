// Pages read from outside on any bytes: a result page of each ranking engine
// scanned for a site (numbered, searched, written into its row), and a page
// picked for the meta tags with the block spliced into its head. The first
// byte picks the engine and the depth.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "workbench/MetaData.h"
#include "workbench/RankData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int engine = data[0] % RankEngineCount;
    const int page = 1 + (data[0] >> 4) % 3;
    const int depth = 10 * (1 + data[0] % 20);
    const std::string bytes = InputBytes(data + 1, size - 1);

    TRankCell cell;
    const TRankPageScan scan = {RankFirstOfPage(page), depth, IntToStr(depth), "http://q.example/", "1/1/2026"};
    ScanRankPage(cell, bytes, RankEngines[engine], RankTargets("http://www.site.example"), scan);
    ApplyRankFailure(cell, page, bytes.substr(0, 64), "1/1/2026");

    static const std::vector<CodePageString> block = {"<HEAD>", "<TITLE>T</TITLE>", "</HEAD>"};
    if (const auto spliced = SpliceMetaBlock(bytes, block))
        if (spliced->page.size() > bytes.size() + 64)
            __builtin_trap();  // the block replaces the head; it never grows the page by more
    return 0;
}
