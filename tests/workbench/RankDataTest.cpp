// The ranking check's data: queries, the site's URL forms, and what a result
// page of each engine does to its row.
#include <gtest/gtest.h>

#include "RankPages.h"
#include "workbench/RankData.h"

namespace {

constexpr const char* Site = "http://www.site.example/";

TRankPageScan ScanOf(int page, int depth)
{
    return {RankFirstOfPage(page), depth, IntToStr(depth), "http://q.example/" + IntToStr(page), "12/9/2026"};
}

// The numbers a page lists the site under, as its row would show them.
std::vector<int> ListingsOn(int engine, const std::string& pageBytes, int page, int depth)
{
    CodePageString flat = FlattenRankPage(pageBytes);
    NumberRankResults(flat, RankEngines[engine], RankFirstOfPage(page), depth);
    return FindRankListings(flat, RankEngines[engine], RankTargets(Site), RankFirstOfPage(page));
}

TEST(RankQueries, KeywordIsSentAsAFormValue)
{
    // Blanks as "+", everything that could end the value or add a parameter as %XX.
    EXPECT_EQ(RankQueryUrl(RankEngines[5], "web promotion", 1),
              "http://www.google.com/search?q=web+promotion&hl=en&lr=&safe=off&start=0&sa=N");
    EXPECT_EQ(RankQueryUrl(RankEngines[5], "a&start=90#x+y {O}", 2),
              "http://www.google.com/search?q=a%26start%3D90%23x%2By+%7BO%7D&hl=en&lr=&safe=off&start=10&sa=N");
    EXPECT_EQ(RankQueryUrl(RankEngines[11], "caf\xE9", 3), "http://search.yahoo.com/bin/query?p=caf%E9&b=21&hc=0&hs=0");
}

TEST(RankQueries, ByRowThenPageForCheckedEnginesOnly)
{
    const std::vector<TRankRow> rows = {{"Altavista", true}, {"Anzwers", false}, {"Nobody", true},
                                        {"Webcrawler", true}, {"google", true}};
    const auto queries = BuildRankQueries(rows, "k", "25");
    ASSERT_EQ(queries.size(), 4u);
    const std::pair<int, int> expected[] = {{0, 1}, {0, 2}, {10, 1}, {10, 2}};
    for (std::size_t i = 0; i < queries.size(); ++i) {
        EXPECT_EQ(queries[i].Engine, expected[i].first) << i;
        EXPECT_EQ(queries[i].Page, expected[i].second) << i;
        EXPECT_EQ(queries[i].Url, RankQueryUrl(RankEngines[expected[i].first], "k", expected[i].second)) << i;
    }
    // Webcrawler keeps its own query on Excite's host.
    EXPECT_NE(queries[2].Url.find("http://search.excite.com/search.gw?s=k&c=web&showSummary=false&start=0"),
              CodePageString::npos);
}

TEST(RankQueries, Depths)
{
    const std::vector<TRankRow> one = {{"Google", true}};
    EXPECT_TRUE(BuildRankQueries(one, "k", "5").empty());
    EXPECT_TRUE(BuildRankQueries(one, "k", "-20").empty());
    EXPECT_EQ(BuildRankQueries(one, "k", "10").size(), 1u);
    EXPECT_EQ(BuildRankQueries(one, "k", "1000").size(), 100u);
    EXPECT_THROW(BuildRankQueries(one, "k", "abc"), EConvertError);
    EXPECT_THROW(BuildRankQueries(one, "k", ""), EConvertError);
    // A depth no engine serves would be a request per ten results: refused.
    EXPECT_THROW(BuildRankQueries(one, "k", "1001"), EConvertError);
    EXPECT_THROW(BuildRankQueries(one, "k", "2000000000"), EConvertError);
}

TEST(RankTargets, FormsOfTheSiteUrl)
{
    struct Case {
        const char* typed;
        const char* text;
        const char* noSlash;
        const char* escaped;
    } cases[] = {
        {"http://www.site.example", "http://www.site.example/", "http://www.site.example",
         "http%3A%2F%2Fwww%2Esite%2Eexample%2F"},
        {"http://www.site.example/", "http://www.site.example/", "http://www.site.example",
         "http%3A%2F%2Fwww%2Esite%2Eexample%2F"},
        {"http://www.site.example/a/b.html", "http://www.site.example/a/b.html", "http://www.site.example/a/b.html",
         "http%3A%2F%2Fwww%2Esite%2Eexample%2Fa%2Fb%2Ehtml"},
        {"x", "x/", "x", "x%2F"},  // one character, whose "next-to-last" is none
        {"xy", "xy/", "xy", "xy%2F"},
    };
    for (const Case& c : cases) {
        const TRankTargets t = RankTargets(c.typed);
        EXPECT_EQ(t.Text, c.text) << c.typed;
        EXPECT_EQ(t.NoSlash, c.noSlash) << c.typed;
        EXPECT_EQ(t.Escaped, c.escaped) << c.typed;
    }
}

// Every engine's own page, scanned: where the site stands, twice, as
// another of its pages, and on the second page.
TEST(RankPagesOfEachEngine, ListingsFound)
{
    using rankpages::Page;
    for (int e = 0; e < RankEngineCount; ++e) {
        SCOPED_TRACE(RankEngines[e].Caption);
        EXPECT_EQ(ListingsOn(e, Page(e, 1, {"", Site}), 1, 10), std::vector<int>{2});
        EXPECT_EQ(ListingsOn(e, Page(e, 1, {"", Site, "", "", Site}), 1, 10), (std::vector<int>{2, 5}));
        EXPECT_EQ(ListingsOn(e, Page(e, 2, {Site}), 2, 20), std::vector<int>{11});
        EXPECT_EQ(ListingsOn(e, Page(e, 1, {}), 1, 10), std::vector<int>{});
        // Another page of the site: only Altavista's needle ends with the
        // site's URL, so it counts there alone.
        const auto other = ListingsOn(e, Page(e, 1, {"", "", "http://www.site.example/other.html"}), 1, 10);
        EXPECT_EQ(other, e == 0 ? std::vector<int>{3} : std::vector<int>{});
        // A site typed without its "/" is found all the same.
        CodePageString flat = FlattenRankPage(Page(e, 1, {"", Site}));
        NumberRankResults(flat, RankEngines[e], 1, 10);
        EXPECT_EQ(FindRankListings(flat, RankEngines[e], RankTargets("http://www.site.example"), 1),
                  std::vector<int>{2});
    }
}

TEST(RankPagesOfEachEngine, NumberingStopsAtTheDepthAndAtTheLastMarker)
{
    const std::string page = rankpages::Page(5, 1, {"", "", "", "", "", "", "", Site});
    EXPECT_EQ(ListingsOn(5, page, 1, 5), std::vector<int>{});   // result 8 is beyond the depth
    EXPECT_EQ(ListingsOn(5, page, 1, 50), std::vector<int>{8});  // ten markers for fifty numbers
    // A marker cut off at the page's end is numbered without reading past it.
    CodePageString cut = "align=left colspan=2><a href=";
    NumberRankResults(cut, RankEngines[1], 1, 10);
    EXPECT_EQ(cut, "<results1>");
}

TEST(RankCells, WhatPagesWriteIntoTheRow)
{
    TRankCell cell;
    // Found twice: two links to the page, the date, the found image.
    ApplyRankListings(cell, RankEngines[5], {2, 5}, ScanOf(1, 10));
    EXPECT_EQ(cell.Ranking, "<IMG src=\"idx:2\"><a href=\"http://q.example/1\">You Ranked #2</a> | "
                            "<IMG src=\"idx:2\"><a href=\"http://q.example/1\">You Ranked #5</a> | ");
    EXPECT_EQ(cell.Image, RankImageFound);
    EXPECT_EQ(cell.Date, "12/9/2026");

    // Not found in the top 10.
    TRankCell none;
    ApplyRankListings(none, RankEngines[5], {}, ScanOf(1, 10));
    EXPECT_EQ(none.Ranking, "<IMG src=\"idx:0\"><b></b>URL not found in top <b>10</b> Results");
    EXPECT_EQ(none.Image, RankImageNotFound);
    EXPECT_EQ(none.Date, "12/9/2026");

    // Depth 25: the numbers tested never reach 25, so the cell stays empty.
    TRankCell deep;
    ApplyRankListings(deep, RankEngines[5], {}, ScanOf(1, 25));
    ApplyRankListings(deep, RankEngines[5], {}, ScanOf(2, 25));
    EXPECT_EQ(deep.Ranking, "");
    EXPECT_EQ(deep.Image, RankImageNotFound);

    // HotBot's row keeps its date when the site is not on the page.
    TRankCell hotbot;
    ApplyRankListings(hotbot, RankEngines[6], {}, ScanOf(1, 10));
    EXPECT_EQ(hotbot.Date, "");
    EXPECT_EQ(hotbot.Image, RankImageNotFound);
}

TEST(RankCells, FailedPagesAreToldApartFromNotFound)
{
    // A page that failed: its reason, shown as text even when it looks like markup.
    TRankCell cell;
    ApplyRankFailure(cell, 1, "Bad <a href=x>Gateway</a> & co", "12/9/2026");
    EXPECT_EQ(cell.Ranking, "<IMG src=\"idx:0\">Page <b>1</b> not checked: Bad &lt;a href=x&gt;Gateway&lt;/a&gt; "
                            "&amp; co | ");
    EXPECT_EQ(cell.Image, RankImageNotFound);
    EXPECT_EQ(cell.Date, "12/9/2026");
    // The page after it without the site: no not-found text, no found image.
    const CodePageString failed = cell.Ranking;
    ApplyRankListings(cell, RankEngines[5], {}, ScanOf(2, 20));
    EXPECT_EQ(cell.Ranking, failed);
    EXPECT_EQ(cell.Image, RankImageNotFound);

    // Found on page 1, failed on page 2: both are told.
    TRankCell both;
    ApplyRankListings(both, RankEngines[5], {3}, ScanOf(1, 20));
    ApplyRankFailure(both, 2, "Connection aborted on request", "12/9/2026");
    EXPECT_EQ(both.Ranking, "<IMG src=\"idx:2\"><a href=\"http://q.example/1\">You Ranked #3</a> | "
                            "<IMG src=\"idx:0\">Page <b>2</b> not checked: Connection aborted on request | ");
    // The row's picture still tells of the listing.
    EXPECT_EQ(both.Image, RankImageFound);
}

TEST(RankPagesOfEachEngine, FlatteningDropsLineBreaksAndNulsOnly)
{
    static const char bytes[] = "<p><a\r\n href=x>\0a\rb\nc";
    EXPECT_EQ(FlattenRankPage(std::string(bytes, sizeof bytes - 1)), "<p><a href=x>abc");
}

}  // namespace
