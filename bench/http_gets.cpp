// 10,000 GETs of a small page from a loopback server with 100 requests in
// flight: Tenvarel's submission client (TSTHttpCli, asynchronous) against
// curl --parallel --parallel-max 100 --http1.0, on the same server. The
// server runs in a process of its own; each side is a whole process, timed
// whole, in interleaved rounds (bench/Rounds.h), so each peak memory is that
// side's alone. Either side failing a request fails the rounds (curl --fail).
//
//   bench_http_gets [rounds]          the rounds (default 7; starts the others)
//   bench_http_gets --serve           the server: prints its port, serves until stdin closes
//   bench_http_gets --client PORT N K N GETs with K in flight
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/Rounds.h"
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
        // The same addresses curl's "?[1-N]" asks for.
        cli->URL = url + "?" + std::to_string(started);
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
    const double seconds = std::chrono::duration<double>(wall).count();
    bench::PrintFigure("gets_s", seconds);
    bench::PrintFigure("gets_per_s", total / seconds);
    if (failures > 0) {
        std::fprintf(stderr, "%d of %d requests failed\n", failures, total);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--serve") == 0)
        return Serve();
    if (argc >= 5 && std::strcmp(argv[1], "--client") == 0)
        return Client(argc, argv);

    // The server in a process of its own, reading its port from its output.
    bench::ServerProcess server({SelfPath(), "--serve"});
    const int port = std::atoi(server.ReadPorts().c_str());
    if (port <= 0) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(port) + PagePath;
    std::printf("%d GETs of %s, %d in flight, HTTP/1.0; each side a whole process (target: ratio <= 1.5)\n",
                Requests, PagePath.c_str(), InFlight);
    bench::TRoundsOptions options;
    options.Rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    return bench::CompareSides(
        {"Tenvarel", {SelfPath(), "--client", std::to_string(port), std::to_string(Requests), std::to_string(InFlight)}},
        {"curl",
         {"curl", "--silent", "--show-error", "--fail", "--parallel", "--parallel-max", std::to_string(InFlight),
          "--http1.0", "--output", "/dev/null", base + "?[1-" + std::to_string(Requests) + "]"}},
        options);
    // The server ends when its input closes, with `server`.
}
