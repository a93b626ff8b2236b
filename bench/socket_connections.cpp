// Connections per second against one loopback listener made of TWSocket, in
// a process of its own: each connection connects, sends one line, reads the
// echoed line and closes. One side is a client made of TWSocket, the other a
// plain blocking loop doing the same (socket, linger off as TWSocket sets it,
// connect, send, receive, close). Both sides are timed over the same region,
// their connections one after the other ("seconds", "connections_per_s"), in
// interleaved rounds (bench/Rounds.h).
//
//   bench_socket_connections [rounds]          the rounds (default 7; starts the listener)
//   bench_socket_connections --serve           the listener: prints its port, serves until stdin closes
//   bench_socket_connections tw|plain PORT N   one side: N connections
#include <QCoreApplication>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

int Report(std::chrono::steady_clock::time_point start, int connections)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bench::PrintFigure("seconds", seconds);
    bench::PrintFigure("connections_per_s", connections / seconds);
    return 0;
}

int ClientWithTWSocket(int argc, char** argv, int connections)
{
    QCoreApplication app(argc, argv);
    const AnsiString port = argv[2];
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

    const auto start = std::chrono::steady_clock::now();
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
    return Report(start, connections);
}

int PlainClient(const char* port, int connections)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port)));
    const linger off{1, 0};
    const auto start = std::chrono::steady_clock::now();
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
    return Report(start, connections);
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
    std::printf("%d connections per run: connect, one line each way, close (target: connections_per_s ratio >= 0.6)\n",
                kConnections);
    bench::TRoundsOptions options;
    options.Rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    const std::string count = std::to_string(kConnections);
    return bench::CompareSides({"TWSocket", {self, "tw", port, count}}, {"plain", {self, "plain", port, count}},
                               options);
    // The listener ends when its input closes, with `server`.
}
