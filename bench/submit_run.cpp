// The submission run through the real windows, headless, against loopback
// engines: one project to N engines at a given Ports, as a person starts it
// with Submit, until "Submission Complete". Each figure is measured in a
// process of its own: the engines' servers run in one, each Tenvarel run in
// another (so its peak memory is that run's alone), and curl is its own
// program, sending the very same requests.
//
//   bench_submit_run                         the benchmarks (start the others)
//   bench_submit_run --serve S               S servers: prints their ports, serves until stdin closes
//   bench_submit_run --client N P PORTS...   one run of N engines at Ports P on those servers; prints
//                                            "wall_ns maxrss_kB failures max_tick_gap_ms"
//
// Figures: the largest gap between ticks of a 50 ms timer during a run of
// 2,000 engines (target under 250 ms); 10,000 engines at Ports 10, 100 and
// 300 with wall time, requests/s and peak memory, beside curl --parallel
// --parallel-max at the same width; 100,000 engines at Ports 100, peak memory
// (target under 250 MB).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ChildProcess.h"
#include "classlib/CheckLst.h"
#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "classlib/SysUtils.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "controls/ExListV.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "support/HttpTestServer.h"
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

ProjectRecord BenchProject()
{
    ProjectRecord p;
    p.SessionName = "Bench";
    p.url = "http://shop.example.com/?a=1&b=2";
    p.title = "Tom & Jerry's shop";
    p.email = "tom@example.com";
    p.description = "Fine goods for cats and mice";
    p.catagory = "Business";
    p.name = "Tom";
    p.key1 = "cats, mice";
    return p;
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

int Client(int argc, char** argv)
{
    const int engines = std::atoi(argv[2]);
    const int ports = std::atoi(argv[3]);
    std::vector<int> serverPorts;
    for (int i = 4; i < argc; ++i)
        serverPorts.push_back(std::atoi(argv[i]));
    RaiseOpenFileLimit();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    char pattern[] = "/tmp/tenvarel-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    namespace fs = std::filesystem;
    fs::create_directories(folder + "/data/session");
    fs::create_directories(folder + "/reports");
    {
        std::string text;
        text.reserve(std::size_t(engines) * 120);
        for (int i = 0; i < engines; ++i)
            text += EngineName(i) + "=" + EngineRecordValue(EngineUrl(serverPorts, i)) + "\r\n";
        WriteFileAtomic(folder + "/data/data.czc", ScrambleBytes(text, EngineCipherStart));
        WriteFileAtomic(folder + "/data/datac.czc", "");
        WriteFileAtomic(folder + "/data/datam.czc", "");
        WriteFileAtomic(folder + "/data/catagory.zro", "[SubCat1]\r\nBusiness=Business\r\n");
        WriteFileAtomic(folder + "/wkt.ini", "[rur]\r\napp=Tenvarel\r\nversion=1.0\r\nhome=http://www.example.com\r\n"
                                             "\r\n[SubOptions]\r\nPorts=" +
                                                 std::to_string(ports) + "\r\nTimeout=60\r\n\r\n[Reports]\r\nGenReport=0\r\n");
    }
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
    SubmitMain->GenReportCk->SetChecked(false);
    WriteProjectFile(folder, BenchProject());
    SubmitMain->SesList->Items()->Add("Bench");
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
    const auto wall = std::chrono::steady_clock::now() - begin;
    ticker.SetEnabled(false);

    int failures = 0;
    for (int i = 0; i < rows->Count(); ++i)
        if (rows->Item(i)->SubItemRef(1) != "OK")
            ++failures;
    failures += engines - rows->Count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld %ld %d %.1f\n", static_cast<long long>(std::chrono::nanoseconds(wall).count()),
                usage.ru_maxrss, failures, maxGapMs);
    std::fflush(stdout);
    Application->Reset();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}

// --- the benchmarks ----------------------------------------------------------------

std::vector<int> ServerPorts;

using bench::RunProgram;

struct RunFigures {
    double seconds = 0;
    long maxRssKb = 0;
    int failures = -1;
    double maxGapMs = 0;
};

bool RunTenvarel(int engines, int ports, RunFigures& figures, std::string& error)
{
    std::vector<std::string> args = {SelfPath(), "--client", std::to_string(engines), std::to_string(ports)};
    for (const int port : ServerPorts)
        args.push_back(std::to_string(port));
    double processWall = 0;
    const std::string out = RunProgram(args, processWall, false);
    long long wallNs = 0;
    if (std::sscanf(out.c_str(), "%lld %ld %d %lf", &wallNs, &figures.maxRssKb, &figures.failures,
                    &figures.maxGapMs) != 4 ||
        figures.failures != 0) {
        error = "run failed: " + out;
        return false;
    }
    figures.seconds = static_cast<double>(wallNs) / 1e9;
    return true;
}

std::map<int, double> TenvarelSeconds, CurlSeconds;
std::map<int, long> TenvarelRss;
double GapMs = 0;
long HundredThousandRssKb = 0;

void BM_TickGapDuringRun(benchmark::State& state)
{
    for (auto _ : state) {
        RunFigures f;
        std::string error;
        if (!RunTenvarel(2000, 10, f, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(f.seconds);
        GapMs = std::max(GapMs, f.maxGapMs);
    }
    state.counters["max_tick_gap_ms"] = GapMs;
}

void BM_SubmitTenThousand(benchmark::State& state)
{
    const int ports = static_cast<int>(state.range(0));
    for (auto _ : state) {
        RunFigures f;
        std::string error;
        if (!RunTenvarel(10000, ports, f, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(f.seconds);
        TenvarelSeconds[ports] = f.seconds;
        TenvarelRss[ports] = f.maxRssKb;
        state.counters["requests/s"] = 10000 / f.seconds;
        state.counters["peak_rss_kB"] = static_cast<double>(f.maxRssKb);
        state.counters["max_tick_gap_ms"] = f.maxGapMs;
    }
}

void BM_CurlTenThousand(benchmark::State& state)
{
    const int ports = static_cast<int>(state.range(0));
    // The same 10,000 requests the run sends: each engine's URL with the project's form data.
    const std::string config = "/tmp/tenvarel-bench-curl-" + std::to_string(::getpid()) + ".txt";
    {
        std::ofstream out(config);
        const ProjectRecord project = BenchProject();
        for (int i = 0; i < 10000; ++i) {
            const std::string url = EngineUrl(ServerPorts, i);
            std::string data = BuildSubmissionRequest(EngineRecordValue(url), project, nullptr).data;
            std::replace(data.begin(), data.end(), ' ', '+');
            out << "url = \"" << url << "?" << data << "\"\noutput = \"/dev/null\"\n";
        }
    }
    for (auto _ : state) {
        double wall = 0;
        RunProgram({"curl", "--silent", "--show-error", "--fail", "--parallel", "--parallel-max",
                    std::to_string(ports), "--http1.0", "--config", config},
                   wall, true);
        state.SetIterationTime(wall);
        CurlSeconds[ports] = wall;
        state.counters["requests/s"] = 10000 / wall;
    }
    std::remove(config.c_str());
}

void BM_SubmitHundredThousandMemory(benchmark::State& state)
{
    for (auto _ : state) {
        RunFigures f;
        std::string error;
        if (!RunTenvarel(100000, 100, f, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(f.seconds);
        HundredThousandRssKb = f.maxRssKb;
        state.counters["peak_rss_kB"] = static_cast<double>(f.maxRssKb);
        state.counters["requests/s"] = 100000 / f.seconds;
    }
}

BENCHMARK(BM_TickGapDuringRun)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SubmitTenThousand)->Arg(10)->Arg(100)->Arg(300)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlTenThousand)->Arg(10)->Arg(100)->Arg(300)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SubmitHundredThousandMemory)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--serve") == 0)
        return Serve(std::atoi(argv[2]));
    if (argc >= 5 && std::strcmp(argv[1], "--client") == 0)
        return Client(argc, argv);
    RaiseOpenFileLimit();

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

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nlargest gap between 50 ms ticks during a run of 2,000 engines: %.1f ms (target < 250)\n", GapMs);
    for (const auto& [ports, seconds] : TenvarelSeconds) {
        const double curl = CurlSeconds.count(ports) ? CurlSeconds[ports] : 0;
        std::printf("10,000 engines, Ports %d: Tenvarel %.2f s (%.0f req/s, peak RSS %ld kB), curl %.2f s (%.0f req/s)"
                    ", ratio %.2f%s\n",
                    ports, seconds, 10000 / seconds, TenvarelRss[ports], curl, curl > 0 ? 10000 / curl : 0,
                    curl > 0 ? seconds / curl : 0, ports == 100 ? " (target <= 1.5)" : "");
    }
    if (HundredThousandRssKb > 0)
        std::printf("100,000 engines, Ports 100: peak RSS %ld kB (target < 256000)\n", HundredThousandRssKb);
    std::fflush(stdout);
    return 0;  // the servers end when their input closes, with `server`
}
