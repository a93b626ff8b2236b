// 10,000 GETs of a small page from a loopback server with 100 requests in
// flight: Tenvarel's submission client (TSTHttpCli, asynchronous) against
// curl --parallel --parallel-max 100 --http1.0, in the same run, on the same
// server. Each figure is measured in a process of its own: the server runs
// in one, each Tenvarel run in another (so its peak memory is the client's
// alone), and curl is its own program.
//
//   bench_http_gets                   the benchmark (starts the others)
//   bench_http_gets --serve           the server: prints its port, serves until stdin closes
//   bench_http_gets --client PORT N K N GETs with K in flight; prints "wall_ns maxrss_kB failures"
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bench/ChildProcess.h"
#include "platform/Messages.h"
#include "support/HttpTestServer.h"
#include "transport/StHttpProt.h"

namespace {

constexpr int Requests = 10000;
constexpr int InFlight = 100;
const std::string PagePath = "/small.htm";

std::string SelfPath()
{
    return bench::SelfPath("bench_http_gets");
}

// --- the server process ------------------------------------------------------

int Serve()
{
    HttpTestServer server;
    server.SetRecording(false);
    std::string page = "<html><head><title>small</title></head><body>";
    while (page.size() < 480)
        page += "<p>a small page of about half a kilobyte</p>";
    page += "</body></html>";
    server.Script(PagePath, HttpTestReply::Ok(page));
    std::printf("%d\n", server.Port());
    std::fflush(stdout);
    char scratch[64];
    while (::read(0, scratch, sizeof scratch) > 0) {
    }
    std::fprintf(stderr, "server: %zu requests, peak in flight %d\n", server.RequestCount(), server.PeakInFlight());
    return 0;
}

// --- the Tenvarel client process ---------------------------------------------

int Client(int argc, char** argv)
{
    const int port = std::atoi(argv[2]);
    const int total = std::atoi(argv[3]);
    const int inFlight = std::atoi(argv[4]);
    QCoreApplication app(argc, argv);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + PagePath;

    int started = 0, finished = 0, failures = 0;
    std::vector<TSTHttpCli*> finishedClients;  // freed from the loop, never inside their own event
    std::function<void()> startOne = [&] {
        auto* cli = new TSTHttpCli(nullptr);
        cli->URL = url;
        cli->OnRequestDone = [&, cli](TObject*, THttpRequest, std::uint16_t error) {
            ++finished;
            if (error != 0 || cli->HttpStatus() != 200)
                ++failures;
            finishedClients.push_back(cli);
            if (started < total) {
                ++started;
                startOne();
            }
        };
        cli->GetAsync();
    };

    const auto begin = std::chrono::steady_clock::now();
    for (; started < std::min(inFlight, total);) {
        ++started;
        startOne();
    }
    while (finished < total) {
        WaitAndProcessMessages(100);
        for (auto* cli : finishedClients)
            delete cli;
        finishedClients.clear();
    }
    const auto wall = std::chrono::steady_clock::now() - begin;
    for (auto* cli : finishedClients)
        delete cli;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld %ld %d\n", static_cast<long long>(std::chrono::nanoseconds(wall).count()), usage.ru_maxrss,
                failures);
    return 0;
}

// --- the benchmark process ---------------------------------------------------

int ServerPort = 0;
double TenvarelSeconds = 0, CurlSeconds = 0;
long TenvarelMaxRssKb = 0;

using bench::RunProgram;

void BM_TenvarelGets(benchmark::State& state)
{
    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        double processWall = 0;
        const std::string out = RunProgram({SelfPath(), "--client", std::to_string(ServerPort),
                                            std::to_string(Requests), std::to_string(InFlight)},
                                           processWall, false);
        long long wallNs = 0;
        long maxRss = 0;
        int failures = -1;
        if (std::sscanf(out.c_str(), "%lld %ld %d", &wallNs, &maxRss, &failures) != 3 || failures != 0) {
            state.SkipWithError(("client failed: " + out).c_str());
            return;
        }
        const double seconds = static_cast<double>(wallNs) / 1e9;
        state.SetIterationTime(seconds);
        total += seconds;
        ++runs;
        TenvarelMaxRssKb = std::max(TenvarelMaxRssKb, maxRss);
    }
    TenvarelSeconds = total / runs;
    state.counters["requests/s"] = Requests / TenvarelSeconds;
    state.counters["peak_rss_kB"] = static_cast<double>(TenvarelMaxRssKb);
}

void BM_CurlGets(benchmark::State& state)
{
    double total = 0;
    int runs = 0;
    const std::string url = "http://127.0.0.1:" + std::to_string(ServerPort) + PagePath + "?[1-" +
                            std::to_string(Requests) + "]";
    for (auto _ : state) {
        double wall = 0;
        RunProgram({"curl", "--silent", "--show-error", "--fail", "--parallel", "--parallel-max",
                    std::to_string(InFlight), "--http1.0", "--output", "/dev/null", url},
                   wall, true);
        state.SetIterationTime(wall);
        total += wall;
        ++runs;
    }
    CurlSeconds = total / runs;
    state.counters["requests/s"] = Requests / CurlSeconds;
}

BENCHMARK(BM_TenvarelGets)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlGets)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--serve") == 0)
        return Serve();
    if (argc >= 5 && std::strcmp(argv[1], "--client") == 0)
        return Client(argc, argv);

    // The server in a process of its own, reading its port from its output.
    bench::ServerProcess server({SelfPath(), "--serve"});
    ServerPort = std::atoi(server.ReadPorts().c_str());
    if (ServerPort <= 0) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (TenvarelSeconds > 0 && CurlSeconds > 0)
        std::printf("\n%d GETs, %d in flight: Tenvarel %.3f s, curl %.3f s, ratio %.2f (target <= 1.5); "
                    "Tenvarel peak RSS %ld kB\n",
                    Requests, InFlight, TenvarelSeconds, CurlSeconds, TenvarelSeconds / CurlSeconds,
                    TenvarelMaxRssKb);
    std::fflush(stdout);
    return 0;  // the server ends when its input closes, with `server`
}
