// The ranking check without a window: its queue from the rows, a check run
// on a client against a loopback server that plays the engines as their
// proxy, what it found per engine, Stop, and the steps its state may take.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "RankPages.h"
#include "classlib/Dates.h"
#include "classlib/Strings.h"
#include "platform/Hooks.h"
#include "support/Assertions.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "transport/HttpProt.h"
#include "workbench/RankingCheck.h"

namespace {

constexpr const char* Site = "http://www.site.example/";

// What the check told its view, in order.
struct TRecordedView : TRankingCheckView {
    std::vector<std::pair<int, TRankCell>> Cells;
    int Completed = 0;
    void ShowRankCell(int engine, const TRankCell& cell) override { Cells.emplace_back(engine, cell); }
    void RankCheckComplete() override { ++Completed; }
};

std::vector<TRankRow> Rows(std::initializer_list<int> checked)
{
    std::vector<TRankRow> rows;
    for (int e = 0; e < RankEngineCount; ++e)
        rows.push_back({RankEngines[e].Caption, std::find(checked.begin(), checked.end(), e) != checked.end()});
    return rows;
}

class RankingCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = GetHooks();
        rankpages::FixTheDayAndTrapLookups(lookups);
        client.Proxy = "127.0.0.1";
        client.ProxyPort = IntToStr(server.Port());
        server.SetDefault(HttpTestReply::Ok(rankpages::Page(5, 1, {})));
    }
    void TearDown() override
    {
        GetHooks() = saved;
        ResetFormatSettings();
        EXPECT_EQ(lookups.load(), 0);
    }
    void Answer(int engine, int page, const std::string& keyword, HttpTestReply reply)
    {
        server.Script(RankQueryUrl(RankEngines[engine], keyword, page), std::move(reply));
    }

    Hooks saved;
    std::atomic<int> lookups{0};
    HttpTestServer server;
    THttpCli client{nullptr};
    TRecordedView view;
    TRankingCheck check{client, view};
};

TEST_F(RankingCheck, TheQueueRunsByRowThenByPageOverTheCheckedRows)
{
    check.Start(Rows({7, 2}), "cats", "30", Site);
    EXPECT_EQ(check.State(), TRankCheckState::Waiting);
    std::vector<std::pair<int, int>> queue;
    for (const TRankQuery& query : check.Pending()) {
        queue.emplace_back(query.Engine, query.Page);
        EXPECT_EQ(query.Url, RankQueryUrl(RankEngines[query.Engine], "cats", query.Page));
    }
    EXPECT_EQ(queue, (std::vector<std::pair<int, int>>{{2, 1}, {2, 2}, {2, 3}, {7, 1}, {7, 2}, {7, 3}}));
    EXPECT_TRUE(server.Requests().empty());  // nothing runs before RunQueries
    check.Stop();
    EXPECT_EQ(check.State(), TRankCheckState::Idle);
}

TEST_F(RankingCheck, ADepthThatIsNoNumberOrTooDeepChangesNothing)
{
    for (const char* depth : {"ten", "1010"}) {
        EXPECT_THROW(check.Start(Rows({0}), "cats", depth, Site), EConvertError) << depth;
        EXPECT_EQ(check.State(), TRankCheckState::Idle);
        EXPECT_TRUE(check.Pending().empty());
    }
}

// Engine 3 lists the site second on its second page; engine 5 does not list
// it; engine 9's page fails. Each finding goes into its engine's cell.
TEST_F(RankingCheck, ACheckTellsPerEngineWhatItFound)
{
    const std::string keyword = "cats";
    Answer(3, 1, keyword, HttpTestReply::Ok(rankpages::Page(3, 1, {})));
    Answer(3, 2, keyword, HttpTestReply::Ok(rankpages::Page(3, 2, {"", Site})));
    Answer(5, 1, keyword, HttpTestReply::Ok(rankpages::Page(5, 1, {})));
    Answer(5, 2, keyword, HttpTestReply::Ok(rankpages::Page(5, 2, {})));
    Answer(9, 1, keyword, HttpTestReply::Status("HTTP/1.0 503 Service Unavailable"));
    Answer(9, 2, keyword, HttpTestReply::Ok(rankpages::Page(9, 2, {})));
    check.Start(Rows({3, 5, 9}), keyword, "20", Site);
    check.RunQueries();
    EXPECT_EQ(check.State(), TRankCheckState::Querying);
    EXPECT_EQ(check.Pending().size(), 5u);
    ASSERT_TRUE(RunUntil([&] { return view.Completed > 0; }, 20000));
    EXPECT_EQ(view.Completed, 1);
    EXPECT_EQ(check.State(), TRankCheckState::Idle);
    EXPECT_EQ(server.PeakOpen(), 1);  // one query at a time
    ASSERT_EQ(server.RequestCount(), 6u);

    EXPECT_EQ(check.Cell(3).Ranking, "<IMG src=\"idx:2\"><a href=\"" + RankQueryUrl(RankEngines[3], keyword, 2) +
                                         "\">You Ranked #12</a> | ");
    EXPECT_EQ(check.Cell(3).Image, RankImageFound);
    EXPECT_EQ(check.Cell(5).Image, RankImageNotFound);
    EXPECT_NE(check.Cell(9).Ranking.find("503"), CodePageString::npos) << check.Cell(9).Ranking;
    EXPECT_EQ(check.Cell(0).Ranking, "");  // an unchecked engine is left alone
    EXPECT_EQ(check.Cell(0).Image, -1);
    // The view was told each change, the running image first, and ends as the cells do.
    ASSERT_FALSE(view.Cells.empty());
    EXPECT_EQ(view.Cells.front().first, 3);
    EXPECT_EQ(view.Cells.front().second.Image, RankImageRunning);
    for (int e : {3, 5, 9}) {
        auto last = std::find_if(view.Cells.rbegin(), view.Cells.rend(), [e](const auto& c) { return c.first == e; });
        ASSERT_NE(last, view.Cells.rend());
        EXPECT_EQ(last->second.Ranking, check.Cell(e).Ranking);
        EXPECT_EQ(last->second.Image, check.Cell(e).Image);
    }
}

// Stop ends the check at once: the query in flight tells so in its cell,
// its late end changes nothing, and no query follows.
TEST_F(RankingCheck, StopEndsTheCheckWithTheQueryInFlight)
{
    Answer(4, 1, "cats", HttpTestReply::Held());
    check.Start(Rows({4, 6}), "cats", "10", Site);
    check.RunQueries();
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 1; }));
    check.Stop();
    EXPECT_EQ(check.State(), TRankCheckState::Idle);
    EXPECT_NE(check.Cell(4).Ranking, "");
    EXPECT_NE(check.Cell(4).Image, RankImageRunning);
    const TRankCell stopped = check.Cell(4);
    ASSERT_TRUE(RunUntil([&] { return client.State() == httpReady; }));
    EXPECT_EQ(check.Cell(4).Ranking, stopped.Ranking);
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(view.Completed, 0);
}

TEST_F(RankingCheck, AStepTheTableDoesNotListIsReportedWithBothEnds)
{
    struct TCase {
        TRankCheckState to;
        const char* report;
    };
    // From Idle only a start is a step.
    const TCase cases[] = {
        {TRankCheckState::Querying, "ranking check: no step from Idle to Querying"},
        {TRankCheckState::Idle, "ranking check: no step from Idle to Idle"},
    };
    for (const TCase& c : cases) {
        TRecordedView quiet;
        THttpCli idle(nullptr);
        TRankingCheck fresh(idle, quiet);
        TCaughtChecks caught;
        fresh.Step(c.to);
        EXPECT_EQ(caught.Checks, std::vector<std::string>{c.report});
    }
    TCaughtChecks caught;
    check.Start(Rows({1}), "cats", "10", Site);
    check.Stop();
    EXPECT_TRUE(caught.Checks.empty()) << caught.Checks.front();
}

}  // namespace
