// The site spider over a loopback site of 1,000 pages: Tenvarel's windows
// as a whole process against Debian's wget fetching the same site once, page
// by page (--recursive --level=inf --no-parent -e robots=off: one GET per
// page, as the spider sends; --spider would send a HEAD and a GET for each),
// in interleaved rounds. The pages are files served by Debian's lighttpd,
// which the benchmark starts on 127.0.0.1 for the rounds.
//
//   bench_spider_site [rounds]     default 7 rounds after one warm-up round
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
// Figures: the rounds' whole-process wall time, CPU time and peak memory of
// each side (bench/Rounds.h); each side's seconds per page (whole-process
// wall time over the pages it fetched: the projects Tenvarel saved, the
// files wget wrote) with the per-round ratio Tenvarel / wget. Target: a
// ratio of at most 1.5.
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/Rounds.h"
#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"
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

// A free port on the loopback, for the server to take.
int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// lighttpd in the foreground, serving `root` on 127.0.0.1:port until the
// object goes.
class TLighttpd {
public:
    TLighttpd(const fs::path& scratch, const fs::path& root, int port)
    {
        const fs::path config = scratch / "lighttpd.conf";
        std::ofstream(config) << "server.document-root = \"" << root.string() << "\"\n"
                              << "server.bind = \"127.0.0.1\"\nserver.port = " << port << "\n"
                              << "server.errorlog = \"" << (scratch / "lighttpd-error.log").string() << "\"\n"
                              << "mimetype.assign = (\".htm\" => \"text/html\")\n";
        FPid = ::fork();
        if (FPid == 0) {
            bench::ExecOrExit({"/usr/sbin/lighttpd", "-D", "-f", config.string()});
        }
    }
    ~TLighttpd()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            int status = 0;
            ::waitpid(FPid, &status, 0);
        }
    }
    TLighttpd(const TLighttpd&) = delete;
    TLighttpd& operator=(const TLighttpd&) = delete;
    bool Started() const { return FPid > 0; }

private:
    pid_t FPid = -1;
};

// Files under a folder, at any depth.
std::size_t CountFiles(const fs::path& folder)
{
    std::size_t count = 0;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        count += it->is_regular_file();
    return count;
}

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

    if (::access("/usr/sbin/lighttpd", X_OK) != 0) {
        std::fprintf(stderr, "lighttpd is not installed (apt-get install lighttpd)\n");
        fs::remove_all(scratch);
        return 1;
    }
    const int port = FreePort();
    const fs::path root = scratch / "www";
    fs::create_directories(root / "site");
    for (int i = 0; i < Pages; ++i)
        std::ofstream(root / "site" / PageName(i), std::ios::binary) << SitePage(i, port);
    TLighttpd server(scratch, root, port);
    const std::string start = "http://127.0.0.1:" + std::to_string(port) + "/site/" + PageName(0);
    // The server is up once it answers.
    for (int tries = 0; tries < 100; ++tries) {
        bench::TRun probe;
        if (bench::RunCommand({"wget", "-q", "-O", "/dev/null", start}, probe, error))
            break;
        ::usleep(50000);
    }

    const fs::path wgetFolder = scratch / "wget";
    const bench::TSide tenvarel{"Tenvarel", {"env", "QT_QPA_PLATFORM=offscreen", bench::SelfPath("bench_spider_site"),
                                             "--crawl", install.string(), start}};
    const bench::TSide wget{"wget", {"wget", "--recursive", "--level=inf", "--no-parent", "-e", "robots=off", "-q",
                                     "--directory-prefix", wgetFolder.string(), start}};

    // Each run's pages are counted before the next run starts: the projects
    // Tenvarel saved, the files wget wrote.
    std::vector<std::size_t> oursPages, theirsPages;
    int sessionFolders = 0;
    options.Setup = [&] {
        ResetProjects(install, pristineList);
        ++sessionFolders;
        std::error_code ignored;
        fs::rename(wgetFolder, scratch / ("wget-" + std::to_string(sessionFolders)), ignored);
    };
    options.AfterRun = [&](bool sideA, int round) {
        if (round < 0)
            return;
        if (sideA)
            oursPages.push_back(CountFiles(install / "data" / "session") - 1);  // less the list itself
        else
            theirsPages.push_back(CountFiles(wgetFolder));
    };
    bench::TPairResult result;
    if (!bench::RunPair(tenvarel, wget, options, result, error)) {
        std::fprintf(stderr, "rounds stopped: %s\n", error.c_str());
        fs::remove_all(scratch);
        return 1;
    }
    bench::PrintPair(tenvarel, wget, result);

    std::vector<double> oursPerPage, theirsPerPage, ratio;
    for (std::size_t i = 0; i < result.A.size(); ++i) {
        const std::string& out = result.A[i].Out;
        if (out.find("spider done: Done. ") == std::string::npos) {
            std::fprintf(stderr, "Tenvarel's run %zu did not finish its crawl:\n%s", i + 1, out.c_str());
            fs::remove_all(scratch);
            return 1;
        }
        oursPerPage.push_back(result.A[i].WallSeconds / double(std::max<std::size_t>(1, oursPages[i])));
        theirsPerPage.push_back(result.B[i].WallSeconds / double(std::max<std::size_t>(1, theirsPages[i])));
        ratio.push_back(oursPerPage.back() / theirsPerPage.back());
    }
    std::printf("\npages per run: Tenvarel saved %zu projects, wget wrote %zu files\n",
                oursPages.empty() ? 0 : oursPages.back(), theirsPages.empty() ? 0 : theirsPages.back());
    PrintStat("Tenvarel seconds per page (whole process)", oursPerPage, "s");
    PrintStat("wget seconds per page (whole process)", theirsPerPage, "s");
    PrintStat("ratio Tenvarel / wget (target <= 1.5)", ratio, "");
    std::fflush(stdout);
    fs::remove_all(scratch);
    return 0;
}
