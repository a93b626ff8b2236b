// Connections per second against a loopback listener made of TWSocket: each
// connection connects, sends one line, reads the echoed line and closes.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <chrono>

#include "platform/Messages.h"
#include "transport/WSocket.h"

namespace {

void BM_ConnectLineClose(benchmark::State& state)
{
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
    const AnsiString port = listener.GetLocalPort();

    TWSocket client;
    client.SetLineMode(true);
    bool done = false;
    bool failed = false;
    client.OnSessionConnected = [&](TObject*, std::uint16_t error) {
        if (error)
            failed = true;
        else
            client.SendStr("one line of text\r\n");
    };
    client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        if (client.ReceiveText() == "one line of text\r\n")
            client.Close();
    };
    client.OnSessionClosed = [&](TObject*, std::uint16_t) { done = true; };

    for (auto _ : state) {
        done = false;
        client.SetAddr("127.0.0.1");
        client.SetPort(port);
        client.Connect();
        while (!done && !failed)
            WaitAndProcessMessages(100);
        if (failed) {
            state.SkipWithError("connect failed");
            break;
        }
    }
    // Let the server ends see their closes and free themselves.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < until)
        WaitAndProcessMessages(20);
    state.counters["connections/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ConnectLineClose)->Iterations(5000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
