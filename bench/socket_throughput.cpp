// Throughput over loopback: 1 GiB between two TWSocket objects, fed to the
// sender's queue in steps, against the same bytes between two plain blocking
// POSIX sockets that write and read in the send buffer's chunk size.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "platform/Messages.h"
#include "transport/WSocket.h"

namespace {

constexpr long long kTotal = 1LL << 30;     // 1 GiB
constexpr int kStep = 1 << 20;               // queued per OnDataSent
constexpr int kChunk = 1460;                 // the send buffer's chunk size

double gSocketRate = 0;  // MiB/s, TWSocket with 64 KiB reads
double gPlainRate = 0;   // MiB/s, plain sockets

std::string Block(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 31 + 7);
    return bytes;
}

// Sends kTotal bytes from one TWSocket to another; the receiver reads in
// pieces of readSize. Returns the seconds it took.
double RunSockets(int readSize)
{
    const std::string block = Block(kStep);
    TWSocket listener;
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    std::unique_ptr<TWSocket> receiver;
    long long received = 0;
    std::string buffer(static_cast<std::size_t>(readSize), '\0');
    listener.OnSessionAvailable = [&](TObject*, std::uint16_t) {
        receiver = std::make_unique<TWSocket>();
        receiver->OnDataAvailable = [&](TObject*, std::uint16_t) {
            const int n = receiver->Receive(buffer.data(), readSize);
            if (n > 0)
                received += n;
        };
        receiver->Dup(listener.Accept());
    };
    listener.Listen();

    TWSocket sender;
    long long queued = 0;
    auto feed = [&] {
        if (queued < kTotal) {
            const int n = static_cast<int>(std::min<long long>(kStep, kTotal - queued));
            sender.Send(block.data(), n);
            queued += n;
        }
    };
    sender.OnSessionConnected = [&](TObject*, std::uint16_t) { feed(); };
    sender.OnDataSent = [&](TObject*, std::uint16_t) { feed(); };
    sender.SetAddr("127.0.0.1");
    sender.SetPort(listener.GetLocalPort());
    const auto start = std::chrono::steady_clock::now();
    sender.Connect();
    while (received < kTotal)
        WaitAndProcessMessages(100);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count();
}

double RunPlain()
{
    const int listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listenFd, 1);
    ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const int server = ::accept(listenFd, nullptr, nullptr);
    ::close(listenFd);

    const std::string block = Block(kStep);
    const auto start = std::chrono::steady_clock::now();
    std::thread writer([&] {
        long long sent = 0;
        std::size_t offset = 0;
        while (sent < kTotal) {
            const std::size_t n = static_cast<std::size_t>(std::min<long long>(kChunk, kTotal - sent));
            if (offset + n > block.size())
                offset = 0;
            const ssize_t w = ::send(client, block.data() + offset, n, 0);
            if (w <= 0)
                break;
            sent += w;
            offset += static_cast<std::size_t>(w);
        }
    });
    long long received = 0;
    char buf[kChunk];
    while (received < kTotal) {
        const ssize_t r = ::recv(server, buf, sizeof buf, 0);
        if (r <= 0)
            break;
        received += r;
    }
    writer.join();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    ::close(client);
    ::close(server);
    return elapsed.count();
}

void Report(benchmark::State& state, double seconds, double* rate)
{
    state.SetIterationTime(seconds);
    state.SetBytesProcessed(kTotal);
    const double mibPerSecond = static_cast<double>(kTotal) / (1024.0 * 1024.0) / seconds;
    state.counters["MiB/s"] = mibPerSecond;
    if (rate)
        *rate = mibPerSecond;
}

void BM_TWSocket_1GiB_Read64K(benchmark::State& state)
{
    for (auto _ : state)
        Report(state, RunSockets(64 * 1024), &gSocketRate);
}

void BM_TWSocket_1GiB_Read1460(benchmark::State& state)
{
    for (auto _ : state)
        Report(state, RunSockets(kChunk), nullptr);
}

void BM_PlainBlocking_1GiB_Chunk1460(benchmark::State& state)
{
    for (auto _ : state)
        Report(state, RunPlain(), &gPlainRate);
}

BENCHMARK(BM_TWSocket_1GiB_Read64K)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TWSocket_1GiB_Read1460)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainBlocking_1GiB_Chunk1460)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gSocketRate > 0 && gPlainRate > 0)
        std::printf("TWSocket %.0f MiB/s, plain sockets %.0f MiB/s, ratio %.2f\n", gSocketRate, gPlainRate,
                    gSocketRate / gPlainRate);
    return 0;
}
