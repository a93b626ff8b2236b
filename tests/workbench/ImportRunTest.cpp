// The import run without a window: a crawl of a small loopback site through
// the plain object, page by page with its queue and counters; Stop with a
// page in flight; and the steps its state may take.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/Assertions.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "transport/HttpProt.h"
#include "workbench/ImportRun.h"

namespace {

using S = TImportState;

// What the run told its view, and the run's state when it did.
struct TRecordedView : TImportRunView {
    const TImportRun* Run = nullptr;
    std::vector<std::string> Fetching;        // every request, in order
    std::vector<std::string> SavedTitles;     // the title of each page saved
    std::vector<std::string> SpiderStatus;
    std::vector<int> FetchedCounts;           // as each page was taken from the queue
    std::vector<S> StartedIn;
    std::vector<bool> Done;                   // each end: completed or stopped
    std::string Title;                        // of the page in flight

    void ShowTags(const PageTags& tags, unsigned found) override
    {
        if (found & TPageScraper::FoundTitle)
            Title = tags.title;
    }
    void ShowStatus(const CodePageString&) override {}
    void ShowSpiderStatus(const CodePageString& text) override { SpiderStatus.push_back(text); }
    void ShowLinksFound(int) override {}
    void CrawlStarted() override { StartedIn.push_back(Run->State()); }
    void CrawlPageNext(const CodePageString&, int fetched) override
    {
        FetchedCounts.push_back(fetched);
        Title.clear();
    }
    void CrawlPageFetching(const CodePageString& url) override { Fetching.push_back(url); }
    bool SaveCrawledPage() override
    {
        SavedTitles.push_back(Title);
        return true;
    }
    int CrawlTimeout() override { return 40; }
    void PageImportDone(std::uint16_t) override {}
    void CrawlDone(bool completed) override { Done.push_back(completed); }
};

std::string Link(const std::string& href)
{
    return "<a href=\"" + href + "\">x</a>\r\n";
}

class ImportRunCrawl : public ::testing::Test {
protected:
    void SetUp() override { view.Run = &run; }
    void Page(const std::string& path, const std::string& title, const std::string& links)
    {
        server.Script(path, HttpTestReply::Ok("<html><head><title>" + title + "</title></head><body>\r\n" + links +
                                              "</body></html>\r\n"));
    }
    void Crawl(const std::string& start)
    {
        run.PrepareCrawl();
        ASSERT_EQ(run.State(), S::SpiderReady);
        run.StartCrawl(server.Url(start), "127");
    }

    HttpTestServer server;
    THttpCli client{nullptr};
    TRecordedView view;
    TImportRun run{client, view};
};

// A site of three pages and a broken link; links back, off the site and
// into another folder are never queued.
TEST_F(ImportRunCrawl, EveryPageOfTheSiteIsFetchedOnceAndTheLoadedOnesSaved)
{
    HttpTestServer other;
    Page("/s/a.htm", "A", Link("b.htm") + Link("c.htm") + Link("/elsewhere/d.htm") + Link(other.Url("/s/b.htm")));
    Page("/s/b.htm", "B", Link("a.htm") + Link("c.htm") + Link("gone.htm"));
    Page("/s/c.htm", "C", Link("b.htm#top") + Link(server.Url("/s/a.htm")));
    server.Script("/s/gone.htm", HttpTestReply::Status("HTTP/1.0 404 Not Found", "<title>Gone</title>"));

    Crawl("/s/a.htm");
    EXPECT_EQ(view.StartedIn, std::vector<S>{S::Crawling});
    EXPECT_EQ(run.State(), S::Crawling);
    ASSERT_TRUE(RunUntil([&] { return !view.Done.empty(); }, 20000));

    EXPECT_EQ(run.State(), S::Idle);
    EXPECT_EQ(view.Done, std::vector<bool>{true});
    std::vector<std::string> targets;
    for (const HttpTestRequest& request : server.Requests())
        targets.push_back(request.target);
    EXPECT_EQ(targets, (std::vector<std::string>{"/s/a.htm", "/s/b.htm", "/s/c.htm", "/s/gone.htm"}));
    EXPECT_EQ(server.PeakOpen(), 1);  // one page at a time
    EXPECT_EQ(other.RequestCount(), 0u);
    EXPECT_EQ(view.SavedTitles, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(view.FetchedCounts, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(run.Saved(), 3);
    EXPECT_EQ(run.Found(), 4);
    EXPECT_EQ(run.Fetched(), 4);
    EXPECT_TRUE(run.Queue().empty());
    ASSERT_FALSE(view.SpiderStatus.empty());
    EXPECT_NE(std::find(view.SpiderStatus.begin(), view.SpiderStatus.end(),
                        "Not saved: " + server.Url("/s/gone.htm") + " (404 Not Found)"),
              view.SpiderStatus.end());
}

// Stop with a page in flight: the run waits in Stopping for that page's
// end, saves nothing of it, fetches nothing more and ends as stopped.
TEST_F(ImportRunCrawl, StopEndsTheCrawlAfterThePageInFlight)
{
    Page("/s/a.htm", "A", Link("b.htm") + Link("c.htm"));
    server.Script("/s/b.htm", HttpTestReply::Held());
    Page("/s/c.htm", "C", "");
    Crawl("/s/a.htm");
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 2; }));
    EXPECT_EQ(run.Saved(), 1);
    EXPECT_EQ(run.Queue(), std::deque<CodePageString>{server.Url("/s/c.htm")});

    run.Stop();
    EXPECT_EQ(run.State(), S::Stopping);
    ASSERT_TRUE(RunUntil([&] { return run.State() == S::Idle; }));
    EXPECT_EQ(view.Done, std::vector<bool>{false});
    EXPECT_EQ(run.Saved(), 1);
    EXPECT_EQ(server.RequestCount(), 2u);
}

TEST(ImportRun, StepsAreCheckedAgainstTheTable)
{
    struct TCase {
        std::vector<S> path;  // from Idle
        const char* report;   // nullptr: every step is listed
    };
    const TCase cases[] = {
        {{S::SpiderReady, S::Crawling, S::Stopping, S::Idle}, nullptr},
        {{S::SpiderReady, S::Crawling, S::Idle}, nullptr},
        {{S::SpiderReady, S::SpiderReady, S::Idle}, nullptr},  // prepared anew, then left
        {{S::Importing, S::Idle}, nullptr},
        {{S::Crawling}, "import: no step from Idle to Crawling"},
        {{S::Importing, S::Stopping}, "import: no step from Importing to Stopping"},
        {{S::SpiderReady, S::Crawling, S::Stopping, S::Crawling}, "import: no step from Stopping to Crawling"},
        {{S::Idle}, "import: no step from Idle to Idle"},
    };
    for (const TCase& c : cases) {
        THttpCli client(nullptr);
        TRecordedView view;
        TImportRun run(client, view);
        TCaughtChecks caught;
        for (S to : c.path)
            run.Step(to);
        EXPECT_EQ(run.State(), c.path.back());
        if (c.report)
            EXPECT_EQ(caught.Checks, std::vector<std::string>{c.report});
        else
            EXPECT_TRUE(caught.Checks.empty()) << caught.Checks.front();
    }
    EXPECT_STREQ(TImportRun::Name(S::SpiderReady), "SpiderReady");
}

}  // namespace
