// The Ranking page of the real program against a loopback server that plays
// all twelve search engines. The program reaches them through its proxy
// setting, so every engine keeps its own host: the server is the proxy, and
// answers each request by its request line. Nothing is looked up.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>

#include <atomic>
#include <map>

#include "MainFixture.h"
#include "RankPages.h"
#include "classlib/BasicControls.h"
#include "classlib/Dates.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/TabbedNotebook.h"
#include "classlib/Timer.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "support/ControlWindows.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/SocketWitness.h"
#include "transport/HttpProt.h"
#include "workbench/RankData.h"
#include "workbench/SubmitMain.h"

namespace {

constexpr const char* Site = "http://www.site.example/";
constexpr const char* Today = "12/9/2026";

class RankingPage : public ::testing::Test {
protected:
    TInstallFolder folder;
    TBoxRecorder boxes;
    HttpTestServer server;  // the proxy, and every engine behind it
    std::unique_ptr<TRunningProgram> program;
    std::atomic<int> lookups{0};

    void SetUp() override
    {
        rankpages::FixTheDayAndTrapLookups(lookups);
        folder.Write("wkt.ini", folder.Read("wkt.ini") + "\r\n[Proxy]\r\nKeyProxy=1\r\nProxyHost=127.0.0.1\r\nProxyPort=" +
                                    std::to_string(server.Port()) + "\r\n");
        server.SetDefault(HttpTestReply::Ok(rankpages::Page(5, 1, {})));
        program = std::make_unique<TRunningProgram>(folder);
        SubmitMain->Show();  // hands the proxy to the clients
    }
    void TearDown() override
    {
        program.reset();
        ResetFormatSettings();
        EXPECT_EQ(lookups.load(), 0);
        EXPECT_TRUE(boxes.Errors.empty()) << (boxes.Errors.empty() ? "" : boxes.Errors.front());
    }

    TExListView& Rows() { return *SubmitMain->RankView; }
    std::string Ranking(int row) { return Rows().CellText(1, row); }
    std::string Date(int row) { return Rows().CellText(2, row); }
    int Image(int row) { return Rows().Items()->Item(row)->ImageIndex(); }

    void CheckOnly(std::initializer_list<int> rows)
    {
        for (int row = 0; row < RankEngineCount; ++row)
            Rows().Items()->Item(row)->SetChecked(std::find(rows.begin(), rows.end(), row) != rows.end());
    }
    void Answer(int engine, int page, const std::string& keyword, HttpTestReply reply)
    {
        server.Script(RankQueryUrl(RankEngines[engine], keyword, page), std::move(reply));
    }
    int CompletionBoxes() const
    {
        int n = 0;
        for (const MessageBoxCall& box : boxes.Boxes)
            n += box == MessageBoxCall{"Ranking is Complete", "Ranking Complete!", MB_OK};
        return n;
    }
    // Starts a check and waits for its completion box.
    void RunCheck(const std::string& keyword, const std::string& depth, const std::string& site = Site)
    {
        SubmitMain->ComboBox1->SetText(keyword);
        SubmitMain->ComboBox2->SetText(depth);
        SubmitMain->RankUrl->SetText(site);
        const int before = CompletionBoxes();
        StartRankingCheck();
        ASSERT_TRUE(RunUntil([&] { return CompletionBoxes() > before; }, 20000));
    }
    std::string Link(int engine, const std::string& keyword, int page, int n)
    {
        return "<IMG src=\"idx:2\"><a href=\"" + RankQueryUrl(RankEngines[engine], keyword, page) +
               "\">You Ranked #" + std::to_string(n) + "</a> | ";
    }
};

TEST_F(RankingPage, EveryRowIsCheckedAtStart)
{
    ASSERT_EQ(Rows().Items()->Count(), RankEngineCount);
    for (int row = 0; row < RankEngineCount; ++row) {
        EXPECT_EQ(Rows().Items()->Item(row)->Caption(), RankEngines[row].Caption);
        EXPECT_TRUE(Rows().Items()->Item(row)->Checked()) << row;
    }
    EXPECT_EQ(SubmitMain->HttpRank->Proxy, "127.0.0.1");
}

// The site second on the first page of every engine, with a keyword that
// holds what would end or extend a query.
TEST_F(RankingPage, SecondOnThePageOfEachEngine)
{
    const std::string keyword = "cats & dogs #1";
    for (int e = 0; e < RankEngineCount; ++e)
        Answer(e, 1, keyword, HttpTestReply::Ok(rankpages::Page(e, 1, {"", Site})));
    RunCheck(keyword, "10");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), std::size_t(RankEngineCount));
    for (int e = 0; e < RankEngineCount; ++e) {
        SCOPED_TRACE(RankEngines[e].Caption);
        EXPECT_EQ(requests[std::size_t(e)].requestLine,
                  "GET " + RankQueryUrl(RankEngines[e], keyword, 1) + " HTTP/1.0");
        EXPECT_EQ(Ranking(e), Link(e, keyword, 1, 2));
        EXPECT_EQ(Image(e), RankImageFound);
        EXPECT_EQ(Date(e), Today);
    }
    EXPECT_EQ(requests[5].requestLine,
              "GET http://www.google.com/search?q=cats+%26+dogs+%231&hl=en&lr=&safe=off&start=0&sa=N HTTP/1.0");
    EXPECT_EQ(requests[5].Header("Host"), "www.google.com");
    // The check is over: Start again, Stop off, the list can be reset.
    EXPECT_TRUE(StartRankingEnabled());
    EXPECT_FALSE(StopRankingEnabled());
    EXPECT_TRUE(SubmitMain->Label15->Enabled());
    EXPECT_EQ(SubmitMain->Label15->Caption(), "Restablecer Lista");
    EXPECT_FALSE(SubmitMain->Timer1->Enabled());
}

// Assistive technology reads a ranking cell as it is drawn, and every row's check box.
TEST_F(RankingPage, CellsReadAsDrawnAndRowsTellTheirChecks)
{
    CheckOnly({3, 5, 11});
    Answer(5, 1, "pets", HttpTestReply::Ok(rankpages::Page(5, 1, {"", Site, "", Site})));
    Answer(11, 1, "pets", HttpTestReply::Ok(rankpages::Page(11, 1, {"", Site})));
    RunCheck("pets", "10");
    SubmitMain->ShowPage(pgRanking);
    QAccessibleInterface* list = AccessibleOf(&Rows());
    ASSERT_NE(list, nullptr);
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(RunUntil([&] { return table->rowCount() == RankEngineCount; }));
    auto name = [&](int row, int column) { return table->cellAt(row, column)->text(QAccessible::Name).toStdString(); };
    EXPECT_EQ(name(11, 1), "You Ranked #2 |");
    EXPECT_EQ(name(5, 1), "You Ranked #2 | You Ranked #4 |");
    EXPECT_EQ(name(3, 1), "URL not found in top 10 Results");
    EXPECT_EQ(name(5, 2), Today);
    EXPECT_EQ(name(5, 0), "Google");
    for (int row = 0; row < RankEngineCount; ++row) {
        const QAccessible::State state = table->cellAt(row, 0)->state();
        EXPECT_TRUE(state.checkable) << row;
        EXPECT_EQ(bool(state.checked), row == 3 || row == 5 || row == 11) << row;
    }
}

// Depth 20, the site first on page 2: number 11, and each engine's offset
// rule in the request lines of its two pages.
TEST_F(RankingPage, FirstOnTheSecondPageWithEachEnginesOffsets)
{
    const std::pair<const char*, const char*> offsets[RankEngineCount] = {
        {"&stq=0", "&stq=10"},           {"?firstresult=0&", "?firstresult=10&"}, {"&base=0", "&base=10"},
        {"&start=0", "&start=1"},        {"&view=1+0&", "&view=1+1&"},            {"&start=0&", "&start=10&"},
        {"&RPN=1&", "&RPN=2&"},          {"&first=1", "&first=11"},              {"?ba=(0.0)0&", "?ba=(0.10)0&"},
        {"&start=0", "&start=10"},       {"&start=0&", "&start=1&"},             {"&b=1&", "&b=11&"},
    };
    for (int e = 0; e < RankEngineCount; ++e) {
        Answer(e, 1, "pets", HttpTestReply::Ok(rankpages::Page(e, 1, {})));
        Answer(e, 2, "pets", HttpTestReply::Ok(rankpages::Page(e, 2, {Site})));
    }
    RunCheck("pets", "20");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), std::size_t(2 * RankEngineCount));
    for (int e = 0; e < RankEngineCount; ++e) {
        SCOPED_TRACE(RankEngines[e].Caption);
        const std::string host = std::string("GET http://") + RankEngines[e].Host + "/";
        for (int page = 1; page <= 2; ++page) {
            const std::string& line = requests[std::size_t(2 * e + page - 1)].requestLine;
            EXPECT_EQ(line.rfind(host, 0), 0u) << line;
            EXPECT_NE(line.find(page == 1 ? offsets[e].first : offsets[e].second), std::string::npos) << line;
        }
        EXPECT_EQ(Ranking(e), Link(e, "pets", 2, 11));
        EXPECT_EQ(Image(e), RankImageFound);
    }
}

// Twice on one page, and another page of the site that only Altavista's
// needle cannot tell from the site.
TEST_F(RankingPage, TwoListingsAndAnotherPageOfTheSite)
{
    for (int e = 0; e < RankEngineCount; ++e)
        Answer(e, 1, "pets",
               HttpTestReply::Ok(rankpages::Page(e, 1, {"", "", Site, "", "", "", "", "http://www.site.example/b.html",
                                                        "", Site})));
    RunCheck("pets", "10");
    for (int e = 0; e < RankEngineCount; ++e) {
        SCOPED_TRACE(RankEngines[e].Caption);
        std::string expected = Link(e, "pets", 1, 3);
        if (e == 0)
            expected += Link(e, "pets", 1, 8);
        expected += Link(e, "pets", 1, 10);
        EXPECT_EQ(Ranking(e), expected);
    }
}

TEST_F(RankingPage, NotFoundInTheTopTen)
{
    RunCheck("pets", "10");  // every engine answers a page without the site
    for (int e = 0; e < RankEngineCount; ++e) {
        SCOPED_TRACE(RankEngines[e].Caption);
        EXPECT_EQ(Ranking(e), "<IMG src=\"idx:0\"><b></b>URL not found in top <b>10</b> Results");
        EXPECT_EQ(Image(e), RankImageNotFound);
        EXPECT_EQ(Date(e), e == 6 ? "" : Today);  // HotBot's row keeps its date
    }
}

TEST_F(RankingPage, Depths)
{
    CheckOnly({5});
    // Under ten: no page to ask for, the check is complete at once.
    RunCheck("pets", "5");
    EXPECT_EQ(server.RequestCount(), 0u);

    // 25: two pages; the numbers tested end at 21, so no not-found text.
    RunCheck("pets", "25");
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_EQ(Ranking(5), "");
    EXPECT_EQ(Image(5), RankImageNotFound);
    EXPECT_EQ(Image(4), -1);  // unchecked rows are left alone

    // Not a number: the error box, no request, the buttons as they were.
    SubmitMain->ComboBox2->SetText("abc");
    StartRankingCheck();
    ASSERT_TRUE(SocketWitness().Await());  // a request would have been begun by then
    ASSERT_EQ(boxes.Errors.size(), 1u);
    EXPECT_NE(boxes.Errors[0].find("'abc' is not a valid integer value"), std::string::npos);
    boxes.Errors.clear();
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_TRUE(StartRankingEnabled());
    EXPECT_FALSE(StopRankingEnabled());
    EXPECT_EQ(CompletionBoxes(), 2);
}

// Without a keyword the check does not start: a message says one is
// needed, no engine is asked and the list and buttons stay as they were.
TEST_F(RankingPage, AnEmptyKeywordStartsNoCheck)
{
    CheckOnly({5, 11});
    Answer(5, 1, "pets", HttpTestReply::Ok(rankpages::Page(5, 1, {"", Site})));
    RunCheck("pets", "10");
    const std::string found = Ranking(5);
    ASSERT_NE(found, "");
    const std::size_t requests = server.RequestCount();
    const MessageBoxCall needed{"Type the Keyword to check the ranking for.", "No Keyword",
                                MB_OK | MB_ICONEXCLAMATION};
    for (const char* keyword : {"", " ", "   "}) {
        SCOPED_TRACE(std::string("\"") + keyword + "\"");
        boxes.Boxes.clear();
        SubmitMain->ComboBox1->SetText(keyword);
        StartRankingCheck();
        ASSERT_TRUE(SocketWitness().Await());  // a request would have been begun by then
        EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{needed});
        EXPECT_EQ(server.RequestCount(), requests);
        EXPECT_EQ(Ranking(5), found);
        EXPECT_EQ(Image(11), RankImageNotFound);
        EXPECT_TRUE(StartRankingEnabled());
        EXPECT_FALSE(StopRankingEnabled());
        EXPECT_FALSE(SubmitMain->Timer1->Enabled());
    }
}

// Stop while a page is held: the request is aborted, its row says so, no
// other request comes and the check does not complete. Start at once after
// Stop, before the aborted request's end has come, runs a check of its own.
TEST_F(RankingPage, StopWhileAPageIsHeldAndStartAgainAtOnce)
{
    CheckOnly({5, 11});
    HttpTestReply held;
    held.ending = HttpTestReply::Ending::Hold;
    held.holdBeforeReply = true;
    Answer(5, 1, "pets", held);
    SubmitMain->ComboBox1->SetText("pets");
    SubmitMain->RankUrl->SetText(Site);
    StartRankingCheck();
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 1 && server.InFlight() == 1; }));
    EXPECT_EQ(Image(5), RankImageRunning);
    EXPECT_EQ(SubmitMain->Hint.Target(), TFlashTarget::RankStart);
    EXPECT_TRUE(SubmitMain->Timer1->Enabled());
    EXPECT_FALSE(StartRankingEnabled());

    StopRankingCheck();
    EXPECT_EQ(Ranking(5), "<IMG src=\"idx:0\">Page <b>1</b> not checked: Connection aborted on request | ");
    EXPECT_EQ(Image(5), RankImageNotFound);
    ASSERT_TRUE(RunUntil([&] { return server.OpenConnections() == 0; }));
    ASSERT_TRUE(SocketWitness().Await());  // past what the aborted connection told, and a next request's start
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(CompletionBoxes(), 0);
    EXPECT_EQ(Image(11), -1);
    EXPECT_TRUE(StartRankingEnabled());
    EXPECT_FALSE(SubmitMain->Timer1->Enabled());
    EXPECT_EQ(SubmitMain->Button8->Tag, 4);
    EXPECT_TRUE(SubmitMain->Label15->Enabled());
    EXPECT_EQ(SubmitMain->Label15->Caption(), "Reset List");

    // Again, and Start right after Stop.
    StartRankingCheck();
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 2 && server.InFlight() == 1; }));
    StopRankingCheck();
    Answer(5, 1, "pets", HttpTestReply::Ok(rankpages::Page(5, 1, {"", Site})));
    Answer(11, 1, "pets", HttpTestReply::Ok(rankpages::Page(11, 1, {"", "", "", Site})));
    StartRankingCheck();
    ASSERT_TRUE(RunUntil([&] { return CompletionBoxes() == 1; }));
    ASSERT_TRUE(SocketWitness().Await());  // past what the finished connections told
    EXPECT_EQ(server.RequestCount(), 4u);
    EXPECT_EQ(Ranking(5), Link(5, "pets", 1, 2));
    EXPECT_EQ(Ranking(11), Link(11, "pets", 1, 4));
    EXPECT_EQ(CompletionBoxes(), 1);
}

// A request that fails, an error status and a reply far larger than a
// result page each tell so in their row, and the check goes on.
TEST_F(RankingPage, FailedPagesAreToldAndTheCheckGoesOn)
{
    CheckOnly({1, 5, 8, 11});
    HttpTestReply reset;
    reset.ending = HttpTestReply::Ending::ResetNoReply;
    Answer(1, 1, "pets", reset);
    Answer(5, 1, "pets", HttpTestReply::Status("HTTP/1.0 503 Service <b>Unavailable</b>"));
    Answer(8, 1, "pets", HttpTestReply::Ok(rankpages::Page(8, 1, {Site}) + std::string(9 << 20, ' ')));
    Answer(11, 1, "pets", HttpTestReply::Ok(rankpages::Page(11, 1, {Site})));
    RunCheck("pets", "10");
    EXPECT_EQ(Ranking(1), "<IMG src=\"idx:0\">Page <b>1</b> not checked: Connection reset by peer (Error #10054) | ");
    EXPECT_EQ(Ranking(5),
              "<IMG src=\"idx:0\">Page <b>1</b> not checked: 503 Service &lt;b&gt;Unavailable&lt;/b&gt; | ");
    EXPECT_EQ(Ranking(8), "<IMG src=\"idx:0\">Page <b>1</b> not checked: The page is larger than a result page "
                          "(8 MB) | ");
    for (int row : {1, 5, 8}) {
        EXPECT_EQ(Image(row), RankImageNotFound);
        EXPECT_EQ(Date(row), Today);
    }
    EXPECT_EQ(Ranking(11), Link(11, "pets", 1, 1));
}

// Found on the first page, and the second page fails: the row tells both,
// and its picture is still the found one.
TEST_F(RankingPage, AFailedPageAfterAListingKeepsTheFoundPicture)
{
    CheckOnly({5, 11});
    Answer(5, 1, "pets", HttpTestReply::Ok(rankpages::Page(5, 1, {"", Site})));
    Answer(5, 2, "pets", HttpTestReply::Status("HTTP/1.0 503 Service Unavailable"));
    Answer(11, 1, "pets", HttpTestReply::Ok(rankpages::Page(11, 1, {})));
    Answer(11, 2, "pets", HttpTestReply::Status("HTTP/1.0 503 Service Unavailable"));
    RunCheck("pets", "20");
    EXPECT_EQ(Ranking(5),
              Link(5, "pets", 1, 2) + "<IMG src=\"idx:0\">Page <b>2</b> not checked: 503 Service Unavailable | ");
    EXPECT_EQ(Image(5), RankImageFound);
    EXPECT_EQ(Image(11), RankImageNotFound);
}

// A site typed as one character is looked for with its "/", as any bare host.
TEST_F(RankingPage, AOneCharacterSiteGetsItsSlash)
{
    CheckOnly({5});
    Answer(5, 1, "pets", HttpTestReply::Ok(rankpages::Page(5, 1, {"", "", "x/"})));
    RunCheck("pets", "10", "x");
    EXPECT_EQ(Ranking(5), Link(5, "pets", 1, 3));
}

// A keyword that names an engine, or holds a piece of another engine's
// query, files each page under the engine that was asked.
TEST_F(RankingPage, AKeywordNamingAnEngineFilesNothingUnderIt)
{
    CheckOnly({3, 5, 10});
    const std::string keyword = "altavista google.com en&lk=webcrawler&next=";
    for (int e : {3, 5, 10})
        Answer(e, 1, keyword, HttpTestReply::Ok(rankpages::Page(e, 1, {"", "", Site})));
    RunCheck(keyword, "10");
    EXPECT_EQ(Ranking(0), "");
    for (int e : {3, 5, 10})
        EXPECT_EQ(Ranking(e), Link(e, keyword, 1, 3)) << RankEngines[e].Caption;
}

TEST_F(RankingPage, StartKeepsTheChecksResetListChecksEveryRow)
{
    CheckOnly({5});
    RunCheck("pets", "10");
    EXPECT_FALSE(Rows().Items()->Item(0)->Checked());
    RunCheck("pets", "10");
    EXPECT_FALSE(Rows().Items()->Item(0)->Checked());
    EXPECT_NE(Ranking(5), "");

    SubmitMain->ShowPage(pgAbout);
    SubmitMain->ResetList1->Click();
    EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), pgRanking);
    for (int row = 0; row < RankEngineCount; ++row) {
        EXPECT_TRUE(Rows().Items()->Item(row)->Checked()) << row;
        EXPECT_EQ(Ranking(row), "");
        EXPECT_EQ(Image(row), -1);
    }
    EXPECT_EQ(SubmitMain->Label15->Caption(), "");
    EXPECT_FALSE(SubmitMain->Label15->Enabled());
}

}  // namespace
