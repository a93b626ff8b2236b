// The site spider over a loopback site of 1,000 pages: Tenvarel's windows
// as a whole process against Debian's wget walking the same site from the
// same server (--recursive --level=inf --no-parent --spider -e robots=off),
// in interleaved rounds. The server, in this process, counts each side's
// requests and notes when each arrived.
//
//   bench_spider_site [rounds]     default 7 rounds after one warm-up round, A B A B
//                                  (scratch folder under $TMPDIR, else /tmp)
//
// Tenvarel's side is this program started again as
//   bench_spider_site --crawl <installation folder> <start address>
// which starts the program's six windows in an installation laid out by
// `cmake --install`, the way the program entry does, and spiders the site
// as a person does: "Spider URL" on the import wizard, Import, then Start in
// the spider window, one page in flight. The crawl's closing message box
// ends the process.
//
// Figures: the rounds' whole-process wall time and peak memory of each side
// (bench/Rounds.h); each side's seconds per page (whole-process wall time
// over the pages it fetched) with the per-round ratio Tenvarel / wget; the
// same from the server's view (first to last request); and how long
// Tenvarel's last 100 pages took against its first 100. Targets: a ratio of
// at most 2, and at most 2 for last / first.
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/Rounds.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "support/HttpTestServer.h"
#include "workbench/Spider.h"
#include "workbench/SubmitMain.h"
#include "workbench/Tenvarel.h"

namespace fs = std::filesystem;

namespace {

constexpr int Pages = 1000;

std::string PageName(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "p%04d.htm", i);
    return name;
}

// Page i links on to the next two pages (one relative, one by its path), back
// to the first by its whole address, and to what a crawl leaves alone: a
// fragment of a page it has, another host name, a mail address, the parent folder.
std::string SitePage(int i, int port)
{
    const std::string self = "127.0.0.1:" + std::to_string(port);
    std::string page = "<html><head><title>Page " + std::to_string(i) +
                       "</title>\r\n<meta name=\"description\" content=\"About page " + std::to_string(i) +
                       "\">\r\n<meta name=\"keywords\" content=\"page, number " + std::to_string(i) +
                       ", site\"></head>\r\n<body><p>";
    for (int k = 0; k < 6; ++k)
        page += "Some words of the page that a crawler reads past on its way to the links. ";
    page += "</p>\r\n";
    if (i + 1 < Pages)
        page += "<a href=\"" + PageName(i + 1) + "\">next</a>\r\n";
    if (i + 2 < Pages)
        page += "<A HREF=\"/site/" + PageName(i + 2) + "\">skip</A>\r\n";
    page += "<a href=\"http://" + self + "/site/" + PageName(0) + "\">home</a>\r\n"
            "<a href=\"" + PageName((i + 1) % Pages) + "#top\">part</a>\r\n"
            "<a href=\"http://localhost:" + std::to_string(port) + "/site/" + PageName(i) + "\">name</a>\r\n"
            "<a href=\"mailto:ann@example.com\">mail</a> <a href=\"../outside.htm\">up</a>\r\n"
            "</body></html>\r\n";
    return page;
}

// The requests of one run, as each side's figures.
struct TServed {
    std::size_t requests = 0;
    std::vector<long long> pageTimes;  // arrival of the first GET of each page, in order
};

TServed Served(const std::vector<HttpTestRequest>& requests)
{
    TServed served;
    served.requests = requests.size();
    std::vector<std::string> seen;
    for (const HttpTestRequest& request : requests) {
        if (request.method != "GET" || std::find(seen.begin(), seen.end(), request.target) != seen.end())
            continue;
        seen.push_back(request.target);
        served.pageTimes.push_back(request.receivedNs);
    }
    return served;
}

double ServerSecondsPerPage(const TServed& served)
{
    const std::size_t pages = served.pageTimes.size();
    return pages > 1 ? double(served.pageTimes.back() - served.pageTimes.front()) / 1e9 / double(pages - 1) : 0;
}

// The time the last 100 pages took over the time the first 100 took.
double LastOverFirst(const TServed& served)
{
    const std::vector<long long>& t = served.pageTimes;
    if (t.size() < 202)
        return 0;
    const double first = double(t[100] - t[0]);
    return first > 0 ? double(t[t.size() - 1] - t[t.size() - 101]) / first : 0;
}

// The installed program's projects are put back as they were installed, so
// that every round saves the same thousand projects into the same list. The
// last round's folder is moved aside, not emptied, and removed with the
// scratch folder at the end: on a file system without a journal, a thousand
// files deleted just before a round would make every file the next round
// creates nearby cost more, which is the harness's cost, not the program's.
void ResetProjects(const fs::path& install, const std::string& pristineList)
{
    static int rounds = 0;
    const fs::path session = install / "data" / "session";
    fs::rename(session, install.parent_path() / ("session-" + std::to_string(++rounds)));
    fs::create_directory(session);
    std::ofstream(session / "session.zro", std::ios::binary) << pristineList;
}

void PrintStat(const char* what, const std::vector<double>& values, const char* unit)
{
    const bench::TStat s = bench::Stats(values);
    std::printf("%-44s median %.4g %s [%.4g .. %.4g]\n", what, s.Median, unit, s.Min, s.Max);
}


// Tenvarel's side: the windows started in the installation, the crawl run
// from the message loop once the main window is on the screen. Prints
// "spider done: " and the spider's status line when the crawl's closing
// message comes; ends with status 1 when the crawl can't start.
int Crawl(const std::string& install, const std::string& start)
{
    Application->Initialize();
    SetCurrentDir(install);
    CreateProgramForms();
    int status = 0;
    GetHooks().messageBox = [&status](const MessageBoxCall& box) {
        if (box.caption != "Import Completed") {
            std::fprintf(stderr, "unexpected box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
            status = 1;
        } else
            std::printf("spider done: %s\n", Spider->Status().c_str());
        Application->Terminate();
        return IDOK;
    };
    constexpr UINT StartCrawl = WM_USER + 1;
    HWND starter = 0;
    starter = AllocateHWnd([&](TMessage& message) {
        if (message.Msg != StartCrawl)
            return;
        if (!SubmitMain->Showing()) {
            PostMessage(starter, StartCrawl, 0, 0);
            return;
        }
        SubmitMain->ImportWizard1Click(SubmitMain);
        SubmitMain->FromUrl->SetChecked(true);
        SubmitMain->SpiderCK->SetChecked(true);
        SubmitMain->UrlImp->SetText(start);
        SubmitMain->Button3->Click();
        Spider->Button1->Click();
        if (SubmitMain->ImportState() != TSubmitMain::TImportState::Crawling) {
            std::fprintf(stderr, "the crawl did not start\n");
            status = 1;
            Application->Terminate();
        }
    });
    PostMessage(starter, StartCrawl, 0, 0);
    Application->Run();
    DeallocateHWnd(starter);
    Application->Reset();
    std::fflush(stdout);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--crawl")
        return Crawl(argv[2], argv[3]);
    bench::TRoundsOptions options;
    options.Rounds = argc >= 2 ? std::max(5, std::atoi(argv[1])) : 7;
    const fs::path build = fs::path(bench::SelfPath("bench_spider_site")).parent_path().parent_path();

    // The scratch folder (the installation and wget's folder) goes under
    // $TMPDIR when it is set, else /tmp: on a file system without a journal,
    // creating a file costs more in a folder where many files were recently
    // deleted, so the folder is a choice of the one who measures.
    const char* tmp = std::getenv("TMPDIR");
    std::string scratchName = std::string(tmp && *tmp ? tmp : "/tmp") + "/tenvarel-spider-XXXXXX";
    if (!::mkdtemp(scratchName.data())) {
        std::fprintf(stderr, "no scratch folder\n");
        return 1;
    }
    const fs::path scratch = scratchName;
    const fs::path install = scratch / "install";
    bench::TRun installRun;
    std::string error;
    if (!bench::RunCommand({"cmake", "--install", build.string(), "--prefix", install.string()}, installRun, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::string pristineList;
    {
        std::ifstream in(install / "data" / "session" / "session.zro", std::ios::binary);
        pristineList.assign(std::istreambuf_iterator<char>(in), {});
    }

    HttpTestServer server;
    for (int i = 0; i < Pages; ++i)
        server.Script("/site/" + PageName(i), HttpTestReply::Ok(SitePage(i, server.Port())));
    server.SetDefault(HttpTestReply::Status("HTTP/1.0 404 Not Found"));
    const std::string start = server.Url("/site/" + PageName(0));

    const bench::TSide tenvarel{"Tenvarel", {"env", "QT_QPA_PLATFORM=offscreen", bench::SelfPath("bench_spider_site"),
                                             "--crawl", install.string(), start}};
    const bench::TSide wget{"wget", {"wget", "--recursive", "--level=inf", "--no-parent", "--spider", "-e",
                                     "robots=off", "-q", "--directory-prefix", (scratch / "wget").string(), start}};

    // Each run's requests are taken from the server before the next run starts.
    std::vector<std::vector<HttpTestRequest>> runs;
    bool first = true;
    options.Setup = [&] {
        if (!first)
            runs.push_back(server.Requests());
        first = false;
        server.ClearRequests();
        ResetProjects(install, pristineList);
    };
    bench::TPairResult result;
    if (!bench::RunPair(tenvarel, wget, options, result, error)) {
        std::fprintf(stderr, "rounds stopped: %s\n", error.c_str());
        return 1;
    }
    runs.push_back(server.Requests());
    bench::PrintPair(tenvarel, wget, result);

    // The counted rounds are the last ones, A B A B.
    const std::size_t counted = result.A.size();
    const std::size_t firstCounted = runs.size() - 2 * counted;
    std::vector<double> oursPerPage, theirsPerPage, ratio, oursServer, theirsServer, serverRatio, lastOverFirst;
    std::size_t oursPages = 0, theirsPages = 0, oursRequests = 0, theirsRequests = 0;
    for (std::size_t i = 0; i < counted; ++i) {
        const std::string& out = result.A[i].Out;
        if (out.find("spider done: Done. ") == std::string::npos) {
            std::fprintf(stderr, "Tenvarel's run %zu did not finish its crawl:\n%s", i + 1, out.c_str());
            return 1;
        }
        const TServed ours = Served(runs[firstCounted + 2 * i]);
        const TServed theirs = Served(runs[firstCounted + 2 * i + 1]);
        oursPages = ours.pageTimes.size();
        theirsPages = theirs.pageTimes.size();
        oursRequests = ours.requests;
        theirsRequests = theirs.requests;
        oursPerPage.push_back(result.A[i].WallSeconds / double(std::max<std::size_t>(1, oursPages)));
        theirsPerPage.push_back(result.B[i].WallSeconds / double(std::max<std::size_t>(1, theirsPages)));
        ratio.push_back(oursPerPage.back() / theirsPerPage.back());
        oursServer.push_back(ServerSecondsPerPage(ours));
        theirsServer.push_back(ServerSecondsPerPage(theirs));
        serverRatio.push_back(theirsServer.back() > 0 ? oursServer.back() / theirsServer.back() : 0);
        lastOverFirst.push_back(LastOverFirst(ours));
    }
    std::printf("\nthe server saw, per run: Tenvarel %zu pages in %zu requests, wget %zu pages in %zu requests\n",
                oursPages, oursRequests, theirsPages, theirsRequests);
    PrintStat("Tenvarel seconds per page (whole process)", oursPerPage, "s");
    PrintStat("wget seconds per page (whole process)", theirsPerPage, "s");
    PrintStat("ratio Tenvarel / wget (target <= 2)", ratio, "");
    PrintStat("Tenvarel seconds per page (at the server)", oursServer, "s");
    PrintStat("wget seconds per page (at the server)", theirsServer, "s");
    PrintStat("ratio at the server", serverRatio, "");
    PrintStat("Tenvarel last 100 / first 100 (target <= 2)", lastOverFirst, "");
    std::fflush(stdout);
    fs::remove_all(scratch);
    return 0;
}
