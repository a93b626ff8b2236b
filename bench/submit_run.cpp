// The submission run through the real windows, headless, against loopback
// engines: one project to N engines at a given Ports, as a person starts it
// with Submit, until "Submission Complete", with the settings as shipped
// (reports on). The engines' servers run in a process of their own; every
// Tenvarel run is a whole process of its own (start-up, the run, the
// report), and curl is its own program sending the very same requests.
//
//   bench_submit_run [rounds] [gap] [pairs] [memory]
//       the figures (all three parts when none is named; 7 rounds):
//       gap     the largest gap between ticks of a 50 ms timer during a run
//               of 2,000 engines (target under 250 ms)
//       pairs   10,000 engines at Ports 10, 100 and 300 against
//               curl --parallel --parallel-max at the same width, both as
//               whole processes in interleaved rounds (bench/Rounds.h)
//       memory  100,000 engines at Ports 100: peak memory (target under 250 MB)
//   bench_submit_run --serve S          S servers: prints their ports, serves until stdin closes
//   bench_submit_run --client FOLDER    one run in that installation folder
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/Rounds.h"
#include "classlib/CheckListBox.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "support/HttpTestServer.h"
#include "support/ShopProject.h"
#include "workbench/EngineData.h"
#include "workbench/ProjectData.h"
#include "workbench/SubmitData.h"
#include "workbench/SubmitMain.h"
#include "workbench/Tenvarel.h"

namespace {

constexpr int ServerCount = 4;

std::string SelfPath()
{
    return bench::SelfPath("bench_submit_run");
}

void RaiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Engine i: a GET to its own path on one of the servers.
std::string EngineUrl(const std::vector<int>& ports, int i)
{
    return "http://127.0.0.1:" + std::to_string(ports[std::size_t(i) % ports.size()]) + "/e" + std::to_string(i);
}

std::string EngineRecordValue(const std::string& url)
{
    std::vector<std::string> values(38);
    values[0] = "Engine";
    values[2] = url;
    values[3] = "title";
    values[4] = "url";
    values[5] = "email";
    values[6] = "desc";
    values[9] = "name";
    values[20] = "GET";
    values[21] = "keywords";
    std::string out;
    for (const std::string& v : values)
        out += v + "|";
    return out;
}

std::string EngineName(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "E%06d", i);
    return name;
}

// --- the servers' process --------------------------------------------------------

int Serve(int count)
{
    RaiseOpenFileLimit();
    std::vector<std::unique_ptr<HttpTestServer>> servers;
    for (int i = 0; i < count; ++i) {
        servers.push_back(std::make_unique<HttpTestServer>());
        servers.back()->SetRecording(false);
        servers.back()->SetDefault(HttpTestReply::Ok("<html>Thank you for your submission</html>"));
        std::printf("%d ", servers.back()->Port());
    }
    std::printf("\n");
    std::fflush(stdout);
    char scratch[64];
    while (::read(0, scratch, sizeof scratch) > 0) {
    }
    return 0;
}

// --- one Tenvarel run ------------------------------------------------------------

// The installation folder of a run: the settings as shipped with Ports set,
// the engines, and the project "Bench" in the project list. Written once,
// before the rounds.
std::string MakeInstallation(int engines, int ports, const std::vector<int>& serverPorts)
{
    char pattern[] = "/tmp/tenvarel-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    namespace fs = std::filesystem;
    fs::create_directories(folder + "/data/session");
    fs::create_directories(folder + "/reports");
    std::string text;
    text.reserve(std::size_t(engines) * 120);
    for (int i = 0; i < engines; ++i)
        text += EngineName(i) + "=" + EngineRecordValue(EngineUrl(serverPorts, i)) + "\r\n";
    WriteFileAtomic(folder + "/data/data.czc", ScrambleBytes(text, EngineCipherStart));
    WriteFileAtomic(folder + "/data/datac.czc", "");
    WriteFileAtomic(folder + "/data/datam.czc", "");
    WriteFileAtomic(folder + "/data/catagory.zro", "[SubCat1]\r\nBusiness=Business\r\n");
    const std::string shipped = ReadFileBytes(TENVAREL_SOURCE_DIR "/appdata/wkt.ini");
    WriteFileAtomic(folder + "/wkt.ini", IniWriteValue(shipped, "SubOptions", "Ports", std::to_string(ports)));
    WriteProjectFile(folder, ShopProject("Bench"));
    SaveProjectList(folder, {"Bench"});
    return folder;
}

// Each run starts from the same folder: the report of the run before goes.
void ClearReports(const std::string& folder)
{
    std::error_code ignored;
    std::filesystem::remove_all(folder + "/reports", ignored);
    std::filesystem::create_directories(folder + "/reports", ignored);
}

int Client(const std::string& folder)
{
    RaiseOpenFileLimit();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "bench_submit_run";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    bool complete = false;
    GetHooks().messageBox = [&](const MessageBoxCall& call) {
        if (call.caption == "Submission Complete")
            complete = true;
        else
            std::fprintf(stderr, "message: %s: %s\n", call.caption.c_str(), call.text.c_str());
        return IDOK;
    };
    GetHooks().errorBox = [](const std::string& message) { std::fprintf(stderr, "error: %s\n", message.c_str()); };

    SetCurrentDir(folder);
    CreateProgramForms();
    if (SubmitMain->SesList->Items()->Count() != 1 || !SubmitMain->GenReportCk->Checked()) {
        std::fprintf(stderr, "the installation is not as shipped\n");
        return 1;
    }
    SubmitMain->SesList->SetChecked(0, true);
    TListItems* rows = SubmitMain->ExListView2->Items();
    for (int i = 0; i < rows->Count(); ++i)
        rows->Item(i)->SetChecked(true);
    ProcessMessages();

    // The window's liveliness: a 50 ms timer, and the largest gap between its ticks.
    TTimer ticker(nullptr);
    ticker.SetInterval(50);
    auto lastTick = std::chrono::steady_clock::now();
    double maxGapMs = 0;
    ticker.OnTimer = [&](TObject*) {
        const auto now = std::chrono::steady_clock::now();
        maxGapMs = std::max(maxGapMs, std::chrono::duration<double, std::milli>(now - lastTick).count());
        lastTick = now;
    };

    const auto begin = std::chrono::steady_clock::now();
    lastTick = begin;
    ticker.SetEnabled(true);
    SubmitMain->Button6Click(SubmitMain->Button6);
    while (!complete)
        WaitAndProcessMessages(100);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ticker.SetEnabled(false);

    int failures = 0;
    // Counted now: the rows go with the windows below.
    const int requests = rows->Count();
    for (int i = 0; i < requests; ++i)
        if (rows->Item(i)->SubItemRef(1) != "OK")
            ++failures;
    const bool reported = !std::filesystem::is_empty(folder + "/reports");
    bench::PrintFigure("run_s", seconds);
    bench::PrintFigure("requests_per_s", requests / seconds);
    bench::PrintFigure("max_tick_gap_ms", maxGapMs);
    std::fflush(stdout);
    Application->Reset();
    if (failures > 0 || !reported) {
        std::fprintf(stderr, "%d of %d requests failed%s\n", failures, requests,
                     reported ? "" : ", and no report was written");
        return 1;
    }
    return 0;
}

// --- the figures -------------------------------------------------------------------

std::vector<int> ServerPorts;

double Figure(const bench::TRun& run, const char* name)
{
    for (const auto& [n, v] : run.Printed)
        if (n == name)
            return v;
    return 0;
}

int TickGap()
{
    const std::string folder = MakeInstallation(2000, 10, ServerPorts);
    bench::TRun run;
    std::string error;
    const bool ok = bench::RunCommand({SelfPath(), "--client", folder}, run, error);
    std::filesystem::remove_all(folder);
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("largest gap between 50 ms ticks during a run of 2,000 engines at Ports 10: %.1f ms (target < 250)\n",
                Figure(run, "max_tick_gap_ms"));
    return 0;
}

// The same requests the run sends: each engine's URL with the project's form data.
std::string CurlConfig(int engines)
{
    const std::string config = "/tmp/tenvarel-bench-curl-" + std::to_string(::getpid()) + ".txt";
    std::ofstream out(config);
    const ProjectRecord project = ShopProject("Bench");
    for (int i = 0; i < engines; ++i) {
        const std::string url = EngineUrl(ServerPorts, i);
        std::string data = BuildSubmissionRequest(EngineRecordValue(url), project, nullptr).data;
        std::replace(data.begin(), data.end(), ' ', '+');
        out << "url = \"" << url << "?" << data << "\"\noutput = \"/dev/null\"\n";
    }
    return config;
}

int Pairs(int rounds)
{
    constexpr int Engines = 10000;
    const std::string config = CurlConfig(Engines);
    int status = 0;
    for (const int ports : {10, 100, 300}) {
        std::printf("\n10,000 engines, Ports %d, against curl at the same width%s\n", ports,
                    ports == 100 ? " (target: wall_s ratio <= 1.5)" : "");
        const std::string folder = MakeInstallation(Engines, ports, ServerPorts);
        bench::TRoundsOptions options;
        options.Rounds = rounds;
        options.Setup = [&] { ClearReports(folder); };
        status |= bench::CompareSides({"Tenvarel", {SelfPath(), "--client", folder}},
                                      {"curl",
                                       {"curl", "--silent", "--show-error", "--fail", "--parallel", "--parallel-max",
                                        std::to_string(ports), "--http1.0", "--config", config}},
                                      options);
        std::filesystem::remove_all(folder);
    }
    std::remove(config.c_str());
    return status;
}

int Memory()
{
    const std::string folder = MakeInstallation(100000, 100, ServerPorts);
    bench::TRun run;
    std::string error;
    const bool ok = bench::RunCommand({SelfPath(), "--client", folder}, run, error);
    std::filesystem::remove_all(folder);
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("\n100,000 engines, Ports 100: peak memory %.1f MB (target < 250), the run %.2f s (%.0f requests/s)\n",
                run.PeakMB, Figure(run, "run_s"), Figure(run, "requests_per_s"));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--serve") == 0)
        return Serve(std::atoi(argv[2]));
    if (argc >= 3 && std::strcmp(argv[1], "--client") == 0)
        return Client(argv[2]);
    RaiseOpenFileLimit();

    int rounds = 7;
    std::vector<std::string> parts;
    for (int i = 1; i < argc; ++i) {
        if (std::isdigit(static_cast<unsigned char>(argv[i][0])))
            rounds = std::max(5, std::atoi(argv[i]));
        else
            parts.push_back(argv[i]);
    }
    auto wanted = [&](const char* part) {
        return parts.empty() || std::find(parts.begin(), parts.end(), part) != parts.end();
    };

    bench::ServerProcess server({SelfPath(), "--serve", std::to_string(ServerCount)});
    const std::string portText = server.ReadPorts();
    const char* cursor = portText.c_str();
    for (int i = 0; i < ServerCount; ++i) {
        char* next = nullptr;
        const long port = std::strtol(cursor, &next, 10);
        cursor = next;
        if (port > 0)
            ServerPorts.push_back(static_cast<int>(port));
    }
    if (ServerPorts.size() != std::size_t(ServerCount)) {
        std::fprintf(stderr, "the servers did not start\n");
        return 1;
    }

    int status = 0;
    if (wanted("gap"))
        status |= TickGap();
    if (wanted("pairs"))
        status |= Pairs(rounds);
    if (wanted("memory"))
        status |= Memory();
    std::fflush(stdout);
    return status;  // the servers end when their input closes, with `server`
}
