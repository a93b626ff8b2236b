// Connections against one loopback listener made of TWSocket, in a process
// of its own: each connection connects, sends one line, reads the echoed
// line and closes. One side is a client made of TWSocket, the other a plain
// blocking loop doing the same (socket, the linger setting TWSocket makes,
// connect, send, receive, close). Both sides time the same region, their
// connections one after the other, in interleaved rounds (bench/Rounds.h):
// its wall time ("seconds", "connections_per_s") and the CPU time the
// process spent in it, user plus system ("cpu_us_per_connection"), which on
// a shared machine is far steadier than the wall time.
//
// Then, when strace is installed, the system calls each side makes per
// connection: each side is traced over N and over 2N connections, and the
// difference is divided by N, so that what a process does once (its start,
// its end) falls out.
//
//   bench_socket_connections [rounds]          the rounds (default 7; starts the listener)
//   bench_socket_connections --serve           the listener: prints its port, serves until stdin closes
//   bench_socket_connections tw|plain PORT N   one side: N connections
//
// Target: cpu_us_per_connection ratio TWSocket / plain at most 1.3.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "ChildProcess.h"
#include "Rounds.h"
#include "platform/Messages.h"
#include "transport/WSocket.h"

namespace {

constexpr int kConnections = 5000;
const std::string kLine = "one line of text\r\n";

int Serve(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TWSocket listener;
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.OnSessionAvailable = [&](TObject*, std::uint16_t) {
        // Each end frees itself once its connection is over.
        auto* end = new TWSocket;
        end->SetLineMode(true);
        end->OnDataAvailable = [end](TObject*, std::uint16_t) { end->SendStr(end->ReceiveText()); };
        end->OnSessionClosed = [end](TObject*, std::uint16_t) { end->Release(); };
        end->Dup(listener.Accept());
    };
    listener.Listen();
    std::printf("%s\n", listener.GetLocalPort().c_str());
    std::fflush(stdout);
    // Serves until standard input closes.
    bool done = false;
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char scratch[64];
        if (::read(0, scratch, sizeof scratch) <= 0) {
            input.setEnabled(false);
            done = true;
        }
    });
    while (!done)
        WaitAndProcessMessages(100);
    return 0;
}

// The CPU time this process has used, user plus system, in microseconds.
double CpuMicroseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

struct TRegion {
    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
    double CpuStart = CpuMicroseconds();
};

int Report(const TRegion& region, int connections)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - region.Start).count();
    bench::PrintFigure("seconds", seconds);
    bench::PrintFigure("connections_per_s", connections / seconds);
    bench::PrintFigure("cpu_us_per_connection", (CpuMicroseconds() - region.CpuStart) / connections);
    return 0;
}

int ClientWithTWSocket(int argc, char** argv, int connections)
{
    QCoreApplication app(argc, argv);
    const CodePageString port = argv[2];
    TWSocket client;
    client.SetLineMode(true);
    bool done = false;
    bool failed = false;
    client.OnSessionConnected = [&](TObject*, std::uint16_t error) {
        if (error)
            failed = true;
        else
            client.SendStr(kLine);
    };
    client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        if (client.ReceiveText() == kLine)
            client.Close();
    };
    client.OnSessionClosed = [&](TObject*, std::uint16_t) { done = true; };

    const TRegion region;
    for (int i = 0; i < connections; ++i) {
        done = false;
        client.SetAddr("127.0.0.1");
        client.SetPort(port);
        client.Connect();
        while (!done && !failed)
            WaitAndProcessMessages(100);
        if (failed) {
            std::fprintf(stderr, "connection %d failed\n", i + 1);
            return 1;
        }
    }
    return Report(region, connections);
}

int PlainClient(const char* port, int connections)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port)));
    const linger off{1, 0};
    const TRegion region;
    for (int i = 0; i < connections; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        bool ok = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off) == 0 &&
                  ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 &&
                  ::send(fd, kLine.data(), kLine.size(), 0) == static_cast<ssize_t>(kLine.size());
        std::string echoed;
        while (ok && echoed.size() < kLine.size()) {
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            ok = n > 0;
            if (ok)
                echoed.append(buffer, static_cast<std::size_t>(n));
        }
        if (fd >= 0)
            ::close(fd);
        if (!ok || echoed != kLine) {
            std::fprintf(stderr, "connection %d failed\n", i + 1);
            return 1;
        }
    }
    return Report(region, connections);
}

// strace's summary: calls per system call name.
std::map<std::string, long> TracedCalls(const std::string& self, const char* side, const std::string& port,
                                        int connections)
{
    const std::string summary = "/tmp/tenvarel-bench-strace-" + std::to_string(::getpid()) + ".txt";
    bench::TRun run;
    std::string error;
    std::map<std::string, long> calls;
    if (!bench::RunCommand({"strace", "-f", "-c", "-U", "name,calls", "-o", summary, self, side, port,
                            std::to_string(connections)},
                           run, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return calls;
    }
    std::ifstream in(summary);
    std::string line;
    while (std::getline(in, line)) {
        char name[64];
        long count = 0;
        if (std::sscanf(line.c_str(), " %63s %ld", name, &count) == 2 && name[0] != '-' &&
            std::string(name) != "total")
            calls[name] = count;
    }
    std::remove(summary.c_str());
    return calls;
}

int PrintSystemCalls(const std::string& self, const std::string& port)
{
    if (::access("/usr/bin/strace", X_OK) != 0) {
        std::printf("\n(strace is not installed: no count of system calls)\n");
        return 0;
    }
    constexpr int N = 1000;
    std::printf("\nsystem calls per connection (strace -f over %d and %d connections, the difference / %d)\n", N,
                2 * N, N);
    for (const char* side : {"tw", "plain"}) {
        const auto once = TracedCalls(self, side, port, N);
        const auto twice = TracedCalls(self, side, port, 2 * N);
        if (once.empty() || twice.empty())
            return 1;
        double total = 0;
        std::string text;
        for (const auto& [name, count] : twice) {
            const auto it = once.find(name);
            const double per = double(count - (it == once.end() ? 0 : it->second)) / N;
            if (per < 0.05)
                continue;
            total += per;
            char part[96];
            std::snprintf(part, sizeof part, " %s %.2f", name.c_str(), per);
            text += part;
        }
        std::printf("%-8s %5.2f:%s\n", side == std::string("tw") ? "TWSocket" : "plain", total, text.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string role = argc > 1 ? argv[1] : "";
    if (role == "--serve")
        return Serve(argc, argv);
    if (argc > 3 && role == "tw")
        return ClientWithTWSocket(argc, argv, std::max(1, std::atoi(argv[3])));
    if (argc > 3 && role == "plain")
        return PlainClient(argv[2], std::max(1, std::atoi(argv[3])));

    const std::string self = bench::SelfPath(argv[0]);
    bench::ServerProcess server({self, "--serve"});
    const std::string port = std::to_string(std::atoi(server.ReadPorts().c_str()));
    if (port == "0") {
        std::fprintf(stderr, "the listener did not start\n");
        return 1;
    }
    std::printf("%d connections per run: connect, one line each way, close (target: cpu_us_per_connection ratio "
                "<= 1.3)\n",
                kConnections);
    bench::TRoundsOptions options;
    options.Rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    const std::string count = std::to_string(kConnections);
    int status = bench::CompareSides({"TWSocket", {self, "tw", port, count}}, {"plain", {self, "plain", port, count}},
                                     options);
    if (status == 0)
        status = PrintSystemCalls(self, port);
    return status;
    // The listener ends when its input closes, with `server`.
}
