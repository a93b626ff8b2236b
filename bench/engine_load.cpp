// Loading a 100,000-record engine database the way the main window's
// start-up does: the scrambled file through the cipher, its engine records
// into the sorted engine list, then one engine list row per record with the
// wait window up and pending messages processed after every record; and the
// whole start-up of the main window on it (which adds the type filter pass
// over every row).
//
// Run each figure in its own process, so that the peak memory is its own:
//   bench_engine_load --benchmark_filter=EngineLoad
//   bench_engine_load --benchmark_filter=MainWindowStartup
// "peak_MB" is the process's peak resident set size when the benchmark ends.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "controls/ExListV.h"
#include "platform/Hooks.h"
#include "workbench/EngineData.h"
#include "workbench/SubmitMain.h"
#include "workbench/WaitWindow.h"

namespace {

constexpr int RecordCount = 100000;

std::string Record(int i)
{
    static const char* const types[] = {"Engine", "Classified", "FFA", "Batch->5", "Custom->Engine"};
    char name[32];
    std::snprintf(name, sizeof name, "Engine %06d", i);
    const std::string host = "http://e" + std::to_string(i) + ".example.com";
    return std::string(name) + "=" + types[i % 5] + "|" + host + "/add.html|" + host +
           "/cgi-bin/add|title|url|email|description|category|Cat1|name||last|company|address1|address2|city|state|"
           "zip|phone|fax|POST|keywords|||||||||||||||country|";
}

// The installation folder of the run: the scrambled database in random
// record order, an empty custom engine file and the settings. Removed at exit.
class TInstallation {
public:
    TInstallation()
    {
        char pattern[] = "/tmp/tenvarel-bench-XXXXXX";
        FPath = mkdtemp(pattern);
        std::vector<std::string> records;
        records.reserve(RecordCount);
        for (int i = 0; i < RecordCount; ++i)
            records.push_back(Record(i));
        std::shuffle(records.begin(), records.end(), std::mt19937(7316));
        std::string text;
        for (const std::string& r : records)
            text += r + "\r\n";
        Write("data/data.czc", ScrambleBytes(text, EngineCipherStart));
        Write("data/datac.czc", "");
        Write("data/datam.czc", "");
        Write("data/session/session.zro", "[List]\r\n");
        Write("wkt.ini", "[rur]\r\napp=Tenvarel\r\nversion=1.0\r\n");
        std::filesystem::create_directories(FPath + "/reports");
    }
    ~TInstallation() { std::filesystem::remove_all(FPath); }
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }

private:
    void Write(const std::string& name, const std::string& bytes)
    {
        std::filesystem::create_directories(std::filesystem::path(File(name)).parent_path());
        std::ofstream(File(name), std::ios::binary) << bytes;
    }
    std::string FPath;
};

const TInstallation& Installation()
{
    static const TInstallation installation;
    return installation;
}

double PeakMegabytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;  // kB
    return 0;
}

void EngineLoad(benchmark::State& state)
{
    const std::string file = Installation().File("data/data.czc");
    for (auto _ : state) {
        state.PauseTiming();
        auto* main = new TSubmitMain(Application);
        state.ResumeTiming();

        {
            TWaitWindow wait(main, "Please wait while database loads");
            main->EngineList->BeginUpdate();
            LoadEngineRecords(file, *main->EngineList, EngineCipherStart);
            main->FillEngineList(&wait);
            main->EngineList->EndUpdate();
        }
        benchmark::DoNotOptimize(main->ExListView2->Items()->Count());

        state.PauseTiming();
        if (main->ExListView2->Items()->Count() != RecordCount)
            state.SkipWithError("rows missing");
        delete main;
        state.ResumeTiming();
    }
    state.counters["records"] = RecordCount;
    state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(EngineLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

void MainWindowStartup(benchmark::State& state)
{
    const std::string folder = Installation().Path();
    const AnsiString before = GetCurrentDir();
    GetHooks().errorBox = [](const std::string& message) { std::fprintf(stderr, "error box: %s\n", message.c_str()); };
    for (auto _ : state) {
        SetCurrentDir(folder);
        Application->CreateForm(SubmitMain);
        state.PauseTiming();
        if (SubmitMain->ExListView2->Items()->Count() != RecordCount)
            state.SkipWithError("rows missing");
        Application->Reset();
        SetCurrentDir(before);
        state.ResumeTiming();
    }
    state.counters["records"] = RecordCount;
    state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(MainWindowStartup)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
