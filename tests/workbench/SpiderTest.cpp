// The site spider of the real program against a loopback site served in
// small pieces: every page of the site becomes a project named after the
// site, one page at a time; links to other hosts, ports and folders,
// fragments, queries and duplicates are never fetched; a page that fails is
// not saved; Stop ends the crawl after the page in flight.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "ImportFixture.h"
#include "classlib/Accessibility.h"
#include "classlib/CheckLst.h"
#include "classlib/ComCtrls.h"
#include "classlib/IniFiles.h"
#include "classlib/StatusBar.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/LedLbl.h"
#include "workbench/ImportData.h"
#include "workbench/ProjectData.h"
#include "workbench/Spider.h"

namespace {

std::string PageName(int i)
{
    return (i < 10 ? "p0" : "p") + std::to_string(i) + ".htm";
}

// A site of `pages` pages under /site/, each linking on to the next two, and
// to what the spider must leave alone.
void ServeSite(HttpTestServer& server, int otherPort, int pages, std::size_t piece)
{
    const std::string self = server.HostPort();
    for (int i = 0; i < pages; ++i) {
        std::string page = "<html><head><title>Page " + std::to_string(i) +
                           "</title>\r\n<meta name=\"description\" content=\"About page " + std::to_string(i) +
                           "\">\r\n<meta name=\"keywords\" content=\"page, number " + std::to_string(i) +
                           "\"></head>\r\n<body>\r\n";
        if (i + 1 < pages)
            page += "<a href=\"" + PageName(i + 1) + "\">next</a>\r\n";
        page += "<A HREF=\"/site/" + PageName((i + 2) % pages) + "\">skip</A>\r\n"
                "<a href=\"http://" + self + "/site/p00.htm\">home</a>\r\n"
                "<a href=\"" + PageName((i + 1) % pages) + "#top\">fragment</a>\r\n"
                "<a href=\"http://localhost:" + std::to_string(server.Port()) + "/site/" + PageName(i) + "\">name</a>\r\n"
                "<a href=\"http://127.0.0.1:" + std::to_string(otherPort) + "/site/p01.htm\">port</a>\r\n"
                "<a href=\"/sitemap.htm\">beside</a> <a href=\"../outside.htm\">up</a>\r\n"
                "<a href=\"mailto:ann@example.com\">mail</a> <a href=\"p01.htm?x=1\">query</a>\r\n";
        if (i == 7)
            page += "<a href=\"broken.htm\">broken</a>\r\n";
        page += "</body></html>\r\n";
        HttpTestReply reply = HttpTestReply::Ok(page);
        reply.pieceSize = piece;
        server.Script("/site/" + PageName(i), reply);
    }
    server.Script("/site/broken.htm", HttpTestReply::Status("HTTP/1.0 404 Not Found", "<title>Gone</title>"));
}

class SpiderRun : public ImportFixture {
protected:
    void SetUp() override
    {
        ImportFixture::SetUp();
        ASSERT_NE(Spider, nullptr);
        // The contact details every crawled page takes as its own.
        SubmitMain->name->SetText("Ann");
        SubmitMain->email->SetText("ann@example.com");
        SubmitMain->catagory->SetText("Business");
    }
    static void SaveProject(const std::string& projectName)
    {
        SubmitMain->Session_Name->SetText(projectName);
        SubmitMain->SiteAdd->Click();
        SubmitMain->ImportWizard1Click(SubmitMain->ImportWizard1);
    }
    // "Spider URL" with Import, then Start in the spider window.
    static void StartCrawl(const std::string& url)
    {
        SubmitMain->SpiderCK->SetChecked(true);
        ImportUrl(url);
        ASSERT_EQ(SubmitMain->ImportState(), TSubmitMain::TImportState::SpiderReady);
        ASSERT_TRUE(Spider->Visible());
        EXPECT_EQ(Spider->Status(), "Idle");
        EXPECT_TRUE(Spider->Button1->Enabled());
        EXPECT_FALSE(Spider->Button2->Enabled());
        Press(Spider->Button1);
    }
    std::map<std::string, std::string> Project(const std::string& projectName) const
    {
        const ProjectRecord record = LoadProjectFile(folder.Path(), projectName);
        return {{"url", record.url},           {"title", record.title}, {"description", record.description},
                {"key1", record.key1},         {"name", record.name},   {"email", record.email},
                {"catagory", record.catagory}};
    }
    // With the crawl past two saves and held on its third page: the list's
    // name is taken by a folder, so that the rename over it fails, until the
    // failed commit is told; then it is freed.
    void FailOneListCommit()
    {
        ASSERT_TRUE(RunUntil([&] { return SubmitMain->SavedPages() == 2 && server.RequestCount() == 3; }));
        const AnsiString list = ProjectListPath(folder.Path());
        ASSERT_EQ(std::remove(list.c_str()), 0);
        ASSERT_TRUE(ForceDirectories(list));
        ASSERT_TRUE(RunUntil([&] { return boxes.Errors.size() == 1; }));
        ASSERT_EQ(::rmdir(list.c_str()), 0);
    }
    // The project list as the file on disk names it, in the window's order.
    std::vector<std::string> ListedOnDisk() const
    {
        std::vector<std::string> names;
        for (const AnsiString& name : LoadProjectList(folder.Path()))
            names.push_back(name);
        return names;
    }
    std::vector<std::string> Listed() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < SubmitMain->SesList->Items()->Count(); ++i)
            names.push_back(SubmitMain->SesList->Items()->Strings(i));
        return names;
    }
};

TEST_F(SpiderRun, EveryPageOfTheSiteBecomesOneProjectFetchedOneAtATime)
{
    constexpr int Pages = 30;
    HttpTestServer otherPort;
    ServeSite(server, otherPort.Port(), Pages, 16);
    // The site word of 127.0.0.1 is "127"; it already names two projects.
    SaveProject("1271");
    SaveProject("1272");

    StartCrawl(server.Url("/site/p00.htm"));
    EXPECT_EQ(SubmitMain->ImportState(), TSubmitMain::TImportState::Crawling);
    EXPECT_FALSE(Spider->Button1->Enabled());
    EXPECT_TRUE(Spider->Button2->Enabled());
    EXPECT_FALSE(SubmitMain->Button3->Enabled());  // no second import while the crawl runs
    EXPECT_EQ(SubmitMain->Timer1->Tag, 2);         // the Start button flashes
    ASSERT_TRUE(WaitUntilIdle(60000));

    // Each page once, the broken one too; nothing else; never two at once.
    std::multiset<std::string> fetched;
    for (const HttpTestRequest& request : server.Requests())
        fetched.insert(request.target);
    std::multiset<std::string> expected = {"/site/broken.htm"};
    for (int i = 0; i < Pages; ++i)
        expected.insert("/site/" + PageName(i));
    EXPECT_EQ(fetched, expected);
    EXPECT_EQ(server.PeakOpen(), 1);
    EXPECT_EQ(otherPort.RequestCount(), 0u);

    // One project per page that loaded, numbered on from the two there were.
    const std::vector<std::string> listed = Listed();
    EXPECT_EQ(listed.size(), std::size_t(Pages + 2));
    int number = 3;
    for (const HttpTestRequest& request : server.Requests()) {
        if (request.target == "/site/broken.htm")
            continue;
        const std::string projectName = "127" + std::to_string(number++);
        ASSERT_NE(std::find(listed.begin(), listed.end(), projectName), listed.end()) << projectName;
        const int page = std::stoi(request.target.substr(7, 2));
        const std::map<std::string, std::string> want = {
            {"url", server.Url(request.target)},
            {"title", "Page " + std::to_string(page)},
            {"description", "About page " + std::to_string(page)},
            {"key1", "page, number " + std::to_string(page)},
            {"name", "Ann"},
            {"email", "ann@example.com"},
            {"catagory", "Business"}};
        EXPECT_EQ(Project(projectName), want) << projectName;
    }

    // The crawl's saves are committed when it ends: the list on disk names them all.
    EXPECT_EQ(ListedOnDisk(), listed);

    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{ImportCompletedBox});
    EXPECT_EQ(Spider->Status(), "Done. 30 Urls Found and saved");
    EXPECT_EQ(Spider->LedImp1->Text(), "31");
    EXPECT_EQ(Spider->LedImp2->Text(), "31");
    EXPECT_EQ(SubmitMain->SavedPages(), Pages);
    EXPECT_FALSE(SubmitMain->Timer1->Enabled());
    EXPECT_TRUE(SubmitMain->Button3->Enabled());
    EXPECT_FALSE(Spider->Button2->Enabled());
    EXPECT_TRUE(boxes.Errors.empty());
}

// After a crawl the page shows the last page it saved, with its counters and
// mirrors; a project deleted before the next crawl gives its number back.
TEST_F(SpiderRun, TheLastPageStaysShownAndADeletedProjectsNumberIsTakenAgain)
{
    ServeSite(server, server.Port(), 2, 64);
    StartCrawl(server.Url("/site/p00.htm"));
    ASSERT_TRUE(WaitUntilIdle());
    ASSERT_EQ(Listed(), (std::vector<std::string>{"1271", "1272"}));
    const std::string last = server.Url("/site/p01.htm");
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "1272");
    EXPECT_EQ(SubmitMain->urllist->Text(), last);
    EXPECT_EQ(SubmitMain->UrlImp->Text(), last);
    EXPECT_EQ(SubmitMain->RankUrl->Text(), last);
    EXPECT_EQ(SubmitMain->title->Text(), "Page 1");
    EXPECT_EQ(SubmitMain->TitleMet->Text(), "Page 1");
    EXPECT_EQ(SubmitMain->CLED2->Text(), "6");
    EXPECT_EQ(SubmitMain->Key1Met->Text(), "page, number 1");
    EXPECT_EQ(SubmitMain->CLED4->Text(), "2");
    EXPECT_EQ(SubmitMain->LedLabel1->Text(), "2");

    SubmitMain->SesList->SetItemIndex(0);
    SubmitMain->SiteDel->Click();
    ASSERT_EQ(Listed(), (std::vector<std::string>{"1272"}));
    SubmitMain->ImportWizard1Click(SubmitMain->ImportWizard1);
    server.ClearRequests();
    StartCrawl(server.Url("/site/p00.htm"));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(Listed(), (std::vector<std::string>{"1271", "1272", "1273"}));
    EXPECT_EQ(Project("1271")["url"], server.Url("/site/p00.htm"));
    EXPECT_EQ(Project("1273")["url"], last);
    EXPECT_EQ(ListedOnDisk(), Listed());
}

// A last page that can't be read is not saved, and leaves the page's texts,
// counters and mirrors empty under its URL and the name it would have had.
TEST_F(SpiderRun, ALastPageThatFailsLeavesThePageEmpty)
{
    server.Script("/site/p00.htm", HttpTestReply::Ok("<title>Start</title><meta name=\"keywords\" content=\"a, b\">"
                                                     "<a href=\"gone.htm\">gone</a>"));
    server.Script("/site/gone.htm", HttpTestReply::Status("HTTP/1.0 404 Not Found", "<title>Gone</title>"));
    StartCrawl(server.Url("/site/p00.htm"));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(Listed(), (std::vector<std::string>{"1271"}));
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "1272");
    EXPECT_EQ(SubmitMain->urllist->Text(), server.Url("/site/gone.htm"));
    for (TControl* field : std::initializer_list<TControl*>{SubmitMain->title, SubmitMain->Description, SubmitMain->Key1,
                                                            SubmitMain->TitleMet, SubmitMain->DescriptionMet,
                                                            SubmitMain->Key1Met, SubmitMain->TitleImp, SubmitMain->Key1Imp})
        EXPECT_EQ(field->Text(), "") << field->Name;
    EXPECT_EQ(SubmitMain->CLED2->Text(), "0");
    EXPECT_EQ(SubmitMain->CLED4->Text(), "0");
    EXPECT_EQ(Project("1271")["key1"], "a, b");
}

TEST_F(SpiderRun, StopEndsTheCrawlWithThePageInFlightUnsaved)
{
    ServeSite(server, server.Port(), 5, 64);
    server.Script("/site/p02.htm", HttpTestReply::Held());
    StartCrawl(server.Url("/site/p00.htm"));
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 3; }));
    ASSERT_TRUE(RunUntil([&] { return SubmitMain->SavedPages() == 2; }));
    // A crawl held up on a page still commits what it saved: the list on disk
    // comes to name the saved pages while the page in flight waits.
    ASSERT_TRUE(RunUntil([&] { return ListedOnDisk().size() == 2; }));
    EXPECT_EQ(ListedOnDisk(), (std::vector<std::string>{"1271", "1272"}));
    // While a page loads, the project page shows its address and name, and
    // none of the last page's texts beside them.
    EXPECT_EQ(SubmitMain->urllist->Text(), server.Url("/site/p02.htm"));
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "1273");
    for (TControl* field : std::initializer_list<TControl*>{SubmitMain->title, SubmitMain->Description, SubmitMain->Key1,
                                                            SubmitMain->TitleMet, SubmitMain->Key1Met})
        EXPECT_EQ(field->Text(), "") << field->Name;
    EXPECT_EQ(SubmitMain->CLED2->Text(), "0");

    Press(Spider->Button2);
    EXPECT_FALSE(Spider->Visible());
    EXPECT_EQ(Spider->Status(), "Idle");
    EXPECT_FALSE(Spider->Button1->Enabled());
    EXPECT_FALSE(Spider->Button2->Enabled());
    EXPECT_FALSE(SubmitMain->Timer1->Enabled());
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(Listed(), (std::vector<std::string>{"1271", "1272"}));
    EXPECT_EQ(ListedOnDisk(), Listed());
    EXPECT_EQ(server.RequestCount(), 3u);
    EXPECT_TRUE(boxes.Boxes.empty());  // a stopped crawl ends without the closing message
    EXPECT_TRUE(SubmitMain->Button3->Enabled());
}

// A list that can't be written during a crawl is told once, not every
// second; the saves stay pending, and the crawl's end writes a list that
// names every page it saved.
TEST_F(SpiderRun, AListThatCanNotBeWrittenIsToldOnceAndWrittenWhenTheCrawlEnds)
{
    // Three pages; the last is held, and then fails, so nothing is saved
    // after the failed commit.
    ServeSite(server, server.Port(), 3, 64);
    HttpTestReply held = HttpTestReply::Status("HTTP/1.0 404 Not Found");
    held.replyOnRelease = true;
    server.Script("/site/p02.htm", held);
    StartCrawl(server.Url("/site/p00.htm"));
    ASSERT_NO_FATAL_FAILURE(FailOneListCommit());

    server.Release();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(boxes.Errors.size(), 1u);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"1271", "1272"}));
    EXPECT_EQ(ListedOnDisk(), Listed());
}

// Once a failed list write's cause is gone, the list on disk catches up
// within the crawl, without waiting for its end.
TEST_F(SpiderRun, AListWrittenAgainAfterAFailedCommitCatchesUpDuringTheCrawl)
{
    ServeSite(server, server.Port(), 5, 64);
    HttpTestReply held = HttpTestReply::Ok("<title>held</title><a href=\"p03.htm\">n</a>");
    held.replyOnRelease = true;
    server.Script("/site/p02.htm", held);
    HttpTestReply last = HttpTestReply::Ok("<title>last</title>");
    last.replyOnRelease = true;
    server.Script("/site/p04.htm", last);
    StartCrawl(server.Url("/site/p00.htm"));
    ASSERT_NO_FATAL_FAILURE(FailOneListCommit());

    server.Release();  // p02, then p03; p04 is held
    ASSERT_TRUE(RunUntil([&] { return SubmitMain->SavedPages() == 4; }));
    EXPECT_TRUE(RunUntil([&] { return ListedOnDisk().size() == 4; }));
    server.Release();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(boxes.Errors.size(), 1u);
    EXPECT_EQ(ListedOnDisk(), Listed());
}

TEST_F(SpiderRun, APageThatNeverEndsIsReadToItsFirstMegabyteAndTheCrawlGoesOn)
{
    // The endless page links on early, and once more past its first megabyte;
    // its connection stays open after the body as if more were to come.
    server.Script("/site/p00.htm", HttpTestReply::Ok("<title>Start</title><a href=\"big.htm\">big</a>"
                                                     "<a href=\"held.htm\">held</a>"));
    HttpTestReply endless = HttpTestReply::Ok("<title>Endless</title><a href=\"early.htm\">early</a>" +
                                              std::string(3 * PageScanLimit / 2, ' ') +
                                              "<a href=\"late.htm\">late</a><meta name=\"keywords\" content=\"late\">");
    endless.contentLength = false;
    endless.ending = HttpTestReply::Ending::Hold;
    server.Script("/site/big.htm", endless);
    server.Script("/site/held.htm", HttpTestReply::Held());
    server.Script("/site/early.htm", HttpTestReply::Ok("<title>Early</title>"));

    StartCrawl(server.Url("/site/p00.htm"));
    // The crawl has left the endless page for the next one, which the server holds.
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 3; }, 30000));
    EXPECT_EQ(server.Request(2).target, "/site/held.htm");
    EXPECT_EQ(Spider->Status(), PageScanLimitNote);
    EXPECT_EQ(Spider->LedImp1->Text(), "4");  // p00, big, held and early: not late
    EXPECT_EQ(Project("1272")["title"], "Endless");
    EXPECT_EQ(Project("1272")["key1"], "");

    Press(Spider->Button2);
    ASSERT_TRUE(WaitUntilIdle());
    std::vector<std::string> fetched;
    for (const HttpTestRequest& request : server.Requests())
        fetched.push_back(request.target);
    EXPECT_EQ(fetched, (std::vector<std::string>{"/site/p00.htm", "/site/big.htm", "/site/held.htm"}));
    EXPECT_EQ(Listed(), (std::vector<std::string>{"1271", "1272"}));
}

TEST_F(SpiderRun, ASiteThatCanNotNameProjectsIsRefusedBeforeAnyFetch)
{
    SubmitMain->SpiderCK->SetChecked(true);
    ImportUrl("http://bad]name.example/");
    Press(Spider->Button1);
    EXPECT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes.at(0).caption, "Invalid Session Name");
    EXPECT_EQ(SubmitMain->ImportState(), TSubmitMain::TImportState::SpiderReady);
    EXPECT_TRUE(Spider->Button1->Enabled());

    // Closing the window leaves nothing prepared.
    Spider->Close();
    EXPECT_EQ(SubmitMain->ImportState(), TSubmitMain::TImportState::Idle);
    Press(Spider->Button1);
    EXPECT_EQ(SubmitMain->ImportState(), TSubmitMain::TImportState::Idle);
}

// Assistive technology finds the import wizard's and the spider window's
// controls by their component names, and reads the spider's status line
// and counters as they change.
TEST_F(SpiderRun, TheWindowsAreReadByTheirComponentNames)
{
    const auto byName = [](TControl* root) {
        std::map<std::string, TAccessibleNode> found;
        for (const TAccessibleNode& node : WalkAccessibleTree(root))
            if (!node.Description.empty())
                found.emplace(node.Description, node);
        return found;
    };
    auto wizard = byName(SubmitMain->TabSheet6);
    for (const char* name : {"FromUrl", "FromFile", "UrlImp", "TitleImpCk", "DescriptionImpCk", "Key1ImpCk",
                             "SpiderCK", "TitleImp", "DescriptionImp", "Key1Imp", "Button3", "Button4", "Button5"})
        EXPECT_TRUE(wizard.count(name)) << name;
    EXPECT_TRUE(wizard["TitleImpCk"].Checked);
    EXPECT_FALSE(wizard["SpiderCK"].Checked);
    EXPECT_EQ(wizard["Button3"].Name, "Import");

    server.Script("/site/p00.htm", HttpTestReply::Ok("<title>Start</title><a href=\"p01.htm\">next</a>"));
    server.Script("/site/p01.htm", HttpTestReply::Ok("<title>Next</title>"));
    StartCrawl(server.Url("/site/p00.htm"));
    ASSERT_TRUE(WaitUntilIdle());
    auto spider = byName(Spider);
    for (const char* name : {"StatusBar1", "LedImp1", "LedImp2", "Button1", "Button2"})
        EXPECT_TRUE(spider.count(name)) << name;
    EXPECT_EQ(spider["StatusBar1"].Name, "Done. 2 Urls Found and saved");
    EXPECT_EQ(spider["LedImp1"].Name, "2");
    EXPECT_EQ(Spider->FindComponent("StatusBar1"), static_cast<TComponent*>(Spider->StatusBar1));
}

}  // namespace
