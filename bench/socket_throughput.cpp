// Throughput over loopback: 1 GiB from a sender process to a receiver
// process, the receiver reading in pieces of a given size. One side is made
// of TWSocket (the sender queues 1 MiB at a time on OnDataSent, the send
// queue sends it in chunks of 1460 bytes; the receiver reads once per
// FD_READ), the other of plain blocking POSIX sockets doing the same sends
// and reads. Both sides are timed over the same region, from starting the
// sender to the last byte received ("seconds", "MiB_per_s"), in interleaved
// rounds (bench/Rounds.h), for reads of 1460 bytes and of 64 KiB.
//
//   bench_socket_throughput [rounds]            the rounds (default 7)
//   bench_socket_throughput tw|plain READ       one side: receives, with its sender
//   bench_socket_throughput send-tw|send-plain PORT
#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ChildProcess.h"
#include "Rounds.h"
#include "platform/Messages.h"
#include "transport/WSocket.h"

namespace {

constexpr long long kTotal = 1LL << 30;  // 1 GiB
constexpr int kStep = 1 << 20;           // queued per OnDataSent
constexpr int kChunk = 1460;             // the send queue's chunk size

std::string Block(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 31 + 7);
    return bytes;
}

// Starts this program as the sender of a side; its process id.
pid_t StartSender(const char* self, const char* role, int port)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        bench::ExecOrExit({self, role, std::to_string(port)});
    return pid;
}

bool SenderSucceeded(pid_t pid)
{
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int Report(std::chrono::steady_clock::time_point start, long long received, pid_t sender)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!SenderSucceeded(sender) || received != kTotal) {
        std::fprintf(stderr, "received %lld of %lld bytes\n", received, kTotal);
        return 1;
    }
    bench::PrintFigure("seconds", seconds);
    bench::PrintFigure("MiB_per_s", static_cast<double>(kTotal) / (1024.0 * 1024.0) / seconds);
    return 0;
}

// --- TWSocket ----------------------------------------------------------------

int SendWithTWSocket(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string block = Block(kStep);
    TWSocket sender;
    long long queued = 0;
    bool sent = false;
    bool closed = false;
    auto feed = [&] {
        if (queued < kTotal) {
            const int n = static_cast<int>(std::min<long long>(kStep, kTotal - queued));
            sender.Send(block.data(), n);
            queued += n;
        } else {
            sent = true;
        }
    };
    sender.OnSessionConnected = [&](TObject*, std::uint16_t error) {
        if (error)
            closed = true;
        else
            feed();
    };
    sender.OnDataSent = [&](TObject*, std::uint16_t) { feed(); };
    // The socket closes abortively, which would drop what the system still
    // holds: the receiver closes first, once it has every byte.
    sender.OnSessionClosed = [&](TObject*, std::uint16_t) { closed = true; };
    sender.SetAddr("127.0.0.1");
    sender.SetPort(argv[2]);
    sender.Connect();
    while (!closed)
        WaitAndProcessMessages(100);
    return sent ? 0 : 1;
}

int ReceiveWithTWSocket(int argc, char** argv, int readSize)
{
    QCoreApplication app(argc, argv);
    TWSocket listener;
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    std::unique_ptr<TWSocket> receiver;
    long long received = 0;
    bool closed = false;
    std::string buffer(static_cast<std::size_t>(readSize), '\0');
    listener.OnSessionAvailable = [&](TObject*, std::uint16_t) {
        receiver = std::make_unique<TWSocket>();
        receiver->OnDataAvailable = [&](TObject*, std::uint16_t) {
            const int n = receiver->Receive(buffer.data(), readSize);
            if (n > 0)
                received += n;
        };
        receiver->OnSessionClosed = [&](TObject*, std::uint16_t) { closed = true; };
        receiver->Dup(listener.Accept());
    };
    listener.Listen();
    const auto start = std::chrono::steady_clock::now();
    const pid_t sender = StartSender(argv[0], "send-tw", std::atoi(listener.GetLocalPort().c_str()));
    while (received < kTotal && !closed)
        WaitAndProcessMessages(100);
    if (receiver)
        receiver->Close();
    return Report(start, received, sender);
}

// --- plain blocking sockets ----------------------------------------------------

int SendPlain(const char* port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port)));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return 1;
    const std::string block = Block(kStep);
    long long sent = 0;
    std::size_t offset = 0;
    while (sent < kTotal) {
        const std::size_t n = static_cast<std::size_t>(std::min<long long>(kChunk, kTotal - sent));
        if (offset + n > block.size())
            offset = 0;
        const ssize_t w = ::send(fd, block.data() + offset, n, 0);
        if (w <= 0)
            return 1;
        sent += w;
        offset += static_cast<std::size_t>(w);
    }
    // As the other side's sender: the receiver closes first.
    char end;
    ::recv(fd, &end, 1, 0);
    ::close(fd);
    return 0;
}

int ReceivePlain(const char* self, int readSize)
{
    const int listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listenFd < 0 || ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd, 1) != 0 || ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t sender = StartSender(self, "send-plain", ntohs(a.sin_port));
    const int fd = ::accept(listenFd, nullptr, nullptr);
    ::close(listenFd);
    long long received = 0;
    std::string buffer(static_cast<std::size_t>(readSize), '\0');
    while (fd >= 0 && received < kTotal) {
        const ssize_t r = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (r <= 0)
            break;
        received += r;
    }
    if (fd >= 0)
        ::close(fd);
    return Report(start, received, sender);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string role = argc > 1 ? argv[1] : "";
    if (argc > 2 && role == "send-tw")
        return SendWithTWSocket(argc, argv);
    if (argc > 2 && role == "send-plain")
        return SendPlain(argv[2]);
    if (argc > 2 && role == "tw")
        return ReceiveWithTWSocket(argc, argv, std::max(1, std::atoi(argv[2])));
    if (argc > 2 && role == "plain")
        return ReceivePlain(argv[0], std::max(1, std::atoi(argv[2])));

    bench::TRoundsOptions options;
    options.Rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    const std::string self = bench::SelfPath(argv[0]);
    int status = 0;
    for (const int readSize : {kChunk, 64 * 1024}) {
        const std::string size = std::to_string(readSize);
        std::printf("\n1 GiB over loopback, sends of %d bytes, reads of %d bytes%s\n", kChunk, readSize,
                    readSize == kChunk ? " (target: MiB_per_s ratio >= 0.6)" : "");
        status |= bench::CompareSides({"TWSocket", {self, "tw", size}}, {"plain", {self, "plain", size}}, options);
    }
    return status;
}
