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
#include "classlib/CheckListBox.h"
#include "classlib/Files.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
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
        const CodePageString list = ProjectListPath(folder.Path());
        ASSERT_EQ(std::remove(list.c_str()), 0);
        ASSERT_TRUE(ForceDirectories(list));
        ASSERT_TRUE(RunUntil([&] { return boxes.Errors.size() == 1; }));
        ASSERT_EQ(::rmdir(list.c_str()), 0);
    }
    // The project list as the file on disk names it, in the window's order.
    std::vector<std::string> ListedOnDisk() const
    {
        std::vector<std::string> names;
        for (const CodePageString& name : LoadProjectList(folder.Path()))
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
    // The paths the server was asked for, as many times as it was.
    std::multiset<std::string> Fetched() const
    {
        std::multiset<std::string> targets;
        for (const HttpTestRequest& request : server.Requests())
            targets.insert(request.target);
        return targets;
    }
    // The paths of the crawl's saved projects, as many times as they were saved.
    std::multiset<std::string> SavedPaths() const
    {
        std::multiset<std::string> paths;
        const std::string origin = server.Url("");
        for (const std::string& name : Listed()) {
            const std::string url = Project(name)["url"];
            paths.insert(url.rfind(origin, 0) == 0 ? url.substr(origin.size()) : url);
        }
        return paths;
    }
    // A folder's address without its "/", answered the way some servers
    // answer it: a relocation to the folder with an empty body.
    void ServeMovedFolder(const std::string& path)
    {
        HttpTestReply moved = HttpTestReply::Redirect(server.Url(path + "/"), "HTTP/1.0 301 Moved Permanently");
        moved.body.clear();
        server.Script(path, moved);
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
    EXPECT_FALSE(ImportEnabled());  // no second import while the crawl runs
    EXPECT_EQ(SubmitMain->Hint.Target(), TFlashTarget::SpiderStart);  // the Start button flashes
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
    EXPECT_TRUE(ImportEnabled());
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
    EXPECT_EQ(ProjectCount(), "2");

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
    EXPECT_TRUE(ImportEnabled());
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

TEST_F(SpiderRun, APageThatNeverEndsIsReadToTheScanLimitAndTheCrawlGoesOn)
{
    // The endless page links on early, and once more past the scan limit;
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

// One page under many spellings is fetched and saved once, at the address
// the ordinary rules of references give it: "." and ".." taken out,
// repeated "/" collapsed, ".." climbing from the page's own folder and never
// out of the start's folder, "//host" naming another host.
TEST_F(SpiderRun, OnePageUnderManySpellingsIsOnePageOfTheStartsFolder)
{
    server.SetDefault(HttpTestReply::Status("HTTP/1.0 404 Not Found"));
    server.Script("/en/index.html", HttpTestReply::Ok(
        "<title>Start</title><a href=\"./a.htm\">1</a><a href=\".//a.htm\">2</a><a href=\"b/../a.htm\">3</a>"
        "<a href=\"/en/./a.htm\">4</a><a href=\"a.htm\">5</a><a href=\"platform/y.html\">6</a>"
        "<a href=\"/en/../secret/x.htm\">7</a><a href=\"%2e%2e/secret/z.htm\">8</a>"
        "<a href=\"//other.example/x.html\">9</a><a href=\"//other.example\">10</a>"));
    // A page whose links spell the next pages with "./" and "//": each is one page.
    server.Script("/en/a.htm", HttpTestReply::Ok("<title>A</title><a href=\"./n/1.htm\">1</a><a href=\".//n//1.htm\">1</a>"));
    server.Script("/en/n/1.htm", HttpTestReply::Ok("<title>1</title><a href=\"./2.htm\">2</a><a href=\".//2.htm\">2</a>"
                                                  "<a href=\"..//a.htm\">a</a><a href=\"././1.htm\">1</a>"));
    server.Script("/en/n/2.htm", HttpTestReply::Ok("<title>2</title><a href=\"./1.htm\">1</a><a href=\"//2.htm\">2</a>"));
    server.Script("/en/platform/y.html", HttpTestReply::Ok("<title>Y</title><a href=\"../mod/x.html\">x</a>"
                                                          "<a href=\"../../secret/y.htm\">s</a>"));
    server.Script("/en/mod/x.html", HttpTestReply::Ok("<title>X</title>"));

    StartCrawl(server.Url("/en/index.html"));
    ASSERT_TRUE(WaitUntilIdle(30000));
    const std::multiset<std::string> pages = {"/en/index.html", "/en/a.htm", "/en/n/1.htm", "/en/n/2.htm",
                                              "/en/platform/y.html", "/en/mod/x.html"};
    EXPECT_EQ(Fetched(), pages);
    EXPECT_EQ(SavedPaths(), pages);
    EXPECT_EQ(Spider->Status(), "Done. 6 Urls Found and saved");
}

// A link that starts with "//" names another host, whatever the start's folder.
TEST_F(SpiderRun, AProtocolRelativeLinkNamesAnotherHost)
{
    server.Script("/index.html", HttpTestReply::Ok("<title>Top</title><a href=\"//other.example/x.html\">x</a>"
                                                   "<a href=\"//" + server.HostPort() + "/y.htm\">y</a>"));
    // Served, should the link be taken for a path on this host.
    server.Script("//other.example/x.html", HttpTestReply::Ok("<title>Other</title>"));
    server.Script("/y.htm", HttpTestReply::Ok("<title>Y</title>"));
    StartCrawl(server.Url("/index.html"));
    ASSERT_TRUE(WaitUntilIdle(30000));
    EXPECT_EQ(Fetched(), (std::multiset<std::string>{"/index.html", "/y.htm"}));
    EXPECT_EQ(SavedPaths(), (std::multiset<std::string>{"/index.html", "/y.htm"}));
}

// A folder link reaches the folder's page, fetched as it is written; the
// folder and its index page are one page. A folder written without its
// "/", which the server relocates with an empty body, is followed there.
TEST_F(SpiderRun, AFolderLinkReachesTheFoldersPageOnce)
{
    server.SetDefault(HttpTestReply::Status("HTTP/1.0 404 Not Found"));
    server.Script("/docs/index.html", HttpTestReply::Ok("<title>Manual</title><a href=\"mod/\">m</a>"
                                                        "<a href=\"mod/index.html\">m</a><a href=\"guide\">g</a>"
                                                        "<a href=\"./\">top</a><a href=\"../docs/\">top</a>"));
    server.Script("/docs/mod/", HttpTestReply::Ok("<title>Modules</title><a href=\"core.html\">c</a>"
                                                  "<a href=\"../guide/\">g</a><a href=\"./index.html\">m</a>"));
    server.Script("/docs/mod/core.html", HttpTestReply::Ok("<title>Core</title>"));
    ServeMovedFolder("/docs/guide");
    server.Script("/docs/guide/", HttpTestReply::Ok("<title>Guide</title><a href=\"start.html\">s</a>"));
    server.Script("/docs/guide/start.html", HttpTestReply::Ok("<title>Start</title>"));

    StartCrawl(server.Url("/docs/index.html"));
    ASSERT_TRUE(WaitUntilIdle(30000));
    EXPECT_EQ(Fetched(), (std::multiset<std::string>{"/docs/index.html", "/docs/mod/", "/docs/mod/core.html",
                                                     "/docs/guide", "/docs/guide/", "/docs/guide/start.html"}));
    EXPECT_EQ(SavedPaths(), (std::multiset<std::string>{"/docs/index.html", "/docs/mod/", "/docs/mod/core.html",
                                                        "/docs/guide/", "/docs/guide/start.html"}));
    const std::map<std::string, std::string> titles = {{"1271", "Manual"}, {"1272", "Modules"}};
    for (const auto& [name, title] : titles)
        EXPECT_EQ(Project(name)["title"], title) << name;
}

// A page relocated (with a body) to a page found under its own address is
// not saved twice, and neither is one relocated off the site.
TEST_F(SpiderRun, APageRelocatedToAPageFoundBeforeOrOffTheSiteIsNotSavedAgain)
{
    HttpTestServer other;
    other.Script("/away.htm", HttpTestReply::Ok("<title>Away</title>"));
    server.Script("/s/index.html", HttpTestReply::Ok("<title>Start</title><a href=\"new.htm\">n</a>"
                                                     "<a href=\"old.htm\">o</a><a href=\"gone.htm\">g</a>"));
    server.Script("/s/new.htm", HttpTestReply::Ok("<title>New</title>"));
    server.Script("/s/old.htm", HttpTestReply::Redirect("/s/new.htm"));
    server.Script("/s/gone.htm", HttpTestReply::Redirect(other.Url("/away.htm")));

    StartCrawl(server.Url("/s/index.html"));
    ASSERT_TRUE(WaitUntilIdle(30000));
    EXPECT_EQ(SavedPaths(), (std::multiset<std::string>{"/s/index.html", "/s/new.htm"}));
    EXPECT_EQ(Listed().size(), 2u);
}

// A page whose reply stops coming fails after the time-out of "Options >
// Timeouts/Ports", and the crawl goes on with the next link.
TEST_F(SpiderRun, AStalledPageFailsAfterTheTimeOutAndTheCrawlGoesOn)
{
    SubmitMain->Run().Options.Timeout = 1;
    server.Script("/s/index.html", HttpTestReply::Ok("<title>Start</title><a href=\"silent.htm\">s</a>"
                                                     "<a href=\"stalled.htm\">t</a><a href=\"last.htm\">l</a>"));
    server.Script("/s/silent.htm", HttpTestReply::Held());
    HttpTestReply stalled = HttpTestReply::Ok("<title>Stalled</title><a href=\"early.htm\">e</a>");
    stalled.contentLength = false;
    stalled.ending = HttpTestReply::Ending::Hold;  // the body stops, the connection stays
    server.Script("/s/stalled.htm", stalled);
    server.Script("/s/early.htm", HttpTestReply::Ok("<title>Early</title>"));
    server.Script("/s/last.htm", HttpTestReply::Ok("<title>Last</title>"));

    StartCrawl(server.Url("/s/index.html"));
    ASSERT_TRUE(WaitUntilIdle(30000));
    EXPECT_EQ(Fetched(), (std::multiset<std::string>{"/s/index.html", "/s/silent.htm", "/s/stalled.htm",
                                                     "/s/last.htm", "/s/early.htm"}));
    EXPECT_EQ(SavedPaths(), (std::multiset<std::string>{"/s/index.html", "/s/last.htm", "/s/early.htm"}));
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{ImportCompletedBox});
}

// A site's table of contents may be megabytes long: its links are followed
// to the same 8 MB as every page the program reads.
TEST_F(SpiderRun, AContentsPageOfMegabytesIsReadToItsEnd)
{
    std::string contents = "<title>Contents</title><a href=\"first.htm\">first</a>";
    while (contents.size() < (5u << 19))
        contents += "<p>An entry of the contents, with words to read past.</p>\r\n";
    contents += "<a href=\"late.htm\">late</a>";
    server.Script("/s/index.html", HttpTestReply::Ok(contents));
    server.Script("/s/first.htm", HttpTestReply::Ok("<title>First</title>"));
    server.Script("/s/late.htm", HttpTestReply::Ok("<title>Late</title>"));

    StartCrawl(server.Url("/s/index.html"));
    ASSERT_TRUE(WaitUntilIdle(30000));
    EXPECT_EQ(SavedPaths(), (std::multiset<std::string>{"/s/index.html", "/s/first.htm", "/s/late.htm"}));
    EXPECT_EQ(Project("1271")["title"], "Contents");
}

// Only HTML pages become projects: style sheets, pictures and downloads are
// not sites. A link that holds a double quote, "<", ">" or a control
// character is not followed, so no markup of a page's making reaches a
// project's URL and every doorway page and submission made from it.
TEST_F(SpiderRun, OnlyHtmlPagesUnderCleanAddressesBecomeProjects)
{
    server.SetDefault(HttpTestReply::Status("HTTP/1.0 404 Not Found"));
    server.Script("/s/index.html", HttpTestReply::Ok(
        "<title>Start</title><link href=\"style.css\"><a href=\"pic.png\">p</a><a href=\"manual.pdf\">d</a>"
        "<a href=\"utf.htm\">u</a><a href=\"plain.htm\">t</a><a href=\"bare.htm\">b</a>"
        "<a href=/s/x\"+alert(1)+\".htm>x</a><a href=\"/s/y\x01.htm\">y</a><a href=\"/s/t\tab.htm\">t</a>"));
    // A server that answers any address, the one of a link with markup in it too.
    server.Script("/s/x\"+alert(1)+\".htm", HttpTestReply::Ok("<title>X</title>"));
    server.Script("/s/style.css", HttpTestReply::Ok("a { color: red }", "text/css"));
    server.Script("/s/pic.png", HttpTestReply::Ok(std::string("\x89PNG\r\n\x1a\n", 8), "image/png"));
    server.Script("/s/manual.pdf", HttpTestReply::Ok("%PDF-1.4 <title>No</title>", "application/pdf"));
    server.Script("/s/utf.htm", HttpTestReply::Ok("<title>Utf</title>", "Text/HTML; charset=utf-8"));
    server.Script("/s/plain.htm", HttpTestReply::Ok("<title>Plain</title>", "text/plain"));
    server.Script("/s/bare.htm", HttpTestReply::Ok("<title>Bare</title>", ""));

    StartCrawl(server.Url("/s/index.html"));
    ASSERT_TRUE(WaitUntilIdle(30000));
    EXPECT_EQ(Fetched(), (std::multiset<std::string>{"/s/index.html", "/s/style.css", "/s/pic.png",
                                                     "/s/manual.pdf", "/s/utf.htm", "/s/plain.htm", "/s/bare.htm"}));
    EXPECT_EQ(SavedPaths(), (std::multiset<std::string>{"/s/index.html", "/s/utf.htm", "/s/bare.htm"}));
}

// A generated site of 1,000 pages in ten folders, linked by folder links,
// "./", ".//" and "../" spellings and by whole paths with "./" inside, one
// folder linked without its "/" and relocated with an empty body, one page
// that never answers: every page is asked for once, and every page that
// answered is saved once.
TEST_F(SpiderRun, AThousandPageSiteIsCrawledOncePerPage)
{
    SubmitMain->Run().Options.Timeout = 1;
    server.SetDefault(HttpTestReply::Status("HTTP/1.0 404 Not Found"));
    constexpr int Folders = 10;
    constexpr int PerFolder = 100;
    const auto pageName = [](int n) { return std::string(n < 10 ? "p0" : "p") + std::to_string(n) + ".htm"; };
    const auto folder = [](int k) { return "f" + std::to_string(k); };
    std::string start = "<title>Site</title>";
    for (int k = 0; k < Folders; ++k)
        start += k == 3 ? "<a href=\"f3\">f3</a>" : "<a href=\"" + folder(k) + "/\">" + folder(k) + "</a>";
    server.Script("/site/index.html", HttpTestReply::Ok(start));
    ServeMovedFolder("/site/f3");
    std::multiset<std::string> pages = {"/site/index.html"};
    for (int k = 0; k < Folders; ++k) {
        const std::string f = folder(k);
        const std::string next = folder((k + 1) % Folders);
        server.Script("/site/" + f + "/", HttpTestReply::Ok("<title>" + f + "</title><a href=\"./p00.htm\">1</a>"
                                                            "<a href=\"../" + next + "/index.html\">n</a>"
                                                            "<a href=\"../index.html\">up</a>"));
        pages.insert("/site/" + f + "/");
        for (int n = 0; n < PerFolder; ++n) {
            std::string page = "<title>" + f + " " + std::to_string(n) + "</title>";
            page += "<a href=\"./" + pageName((n + 1) % PerFolder) + "\">1</a>";
            page += "<a href=\".//" + pageName((n + 2) % PerFolder) + "\">2</a>";
            page += "<a href=\"../" + f + "/" + pageName((n + 3) % PerFolder) + "\">3</a>";
            page += "<a href=\"/site/./" + f + "//" + pageName(n) + "\">self</a>";
            page += "<a href=\"../" + next + "/\">next folder</a><a href=\"../../site/\">top</a>";
            const std::string path = "/site/" + f + "/" + pageName(n);
            server.Script(path, k == 5 && n == 50 ? HttpTestReply::Held() : HttpTestReply::Ok(page));
            pages.insert(path);
        }
    }

    StartCrawl(server.Url("/site/index.html"));
    ASSERT_TRUE(WaitUntilIdle(120000));
    std::multiset<std::string> asked = pages;
    asked.insert("/site/f3");  // the relocated folder, then its page
    EXPECT_EQ(Fetched(), asked);
    std::multiset<std::string> saved = pages;
    saved.erase("/site/f5/p50.htm");
    EXPECT_EQ(SavedPaths(), saved);
    EXPECT_EQ(SubmitMain->SavedPages(), Folders * PerFolder + Folders);
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
