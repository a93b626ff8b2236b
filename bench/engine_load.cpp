// Start-up on a large engine database: the installed program, started as a
// whole process until its main window is shown (TENVAREL_QUIT_AFTER_SHOW),
// on a database of 100,000 engines against the same program on the data it
// ships with, in interleaved rounds (bench/Rounds.h). Both installations are
// made with `cmake --install` from this build, before the rounds.
//
// Then, in this process, the main window's start-up on the same database
// with the wait window watched: the largest gap between two of its paints
// (target at most 33 ms) and what it shows last (the last record).
//
//   bench_engine_load [rounds]    (default 7; target: wall_s ratio <= 4)
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Rounds.h"
#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "controls/ExListV.h"
#include "platform/Hooks.h"
#include "workbench/EngineData.h"
#include "workbench/SubmitMain.h"
#include "workbench/WaitWindow.h"

namespace fs = std::filesystem;

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

// The database in random record order, scrambled as the installation keeps it.
std::string LargeDatabase()
{
    std::vector<std::string> records;
    records.reserve(RecordCount);
    for (int i = 0; i < RecordCount; ++i)
        records.push_back(Record(i));
    std::shuffle(records.begin(), records.end(), std::mt19937(7316));
    std::string text;
    for (const std::string& r : records)
        text += r + "\r\n";
    return ScrambleBytes(text, EngineCipherStart);
}

bool Install(const std::string& build, const fs::path& prefix)
{
    bench::TRun run;
    std::string error;
    if (!bench::RunCommand({"cmake", "--install", build, "--prefix", prefix.string()}, run, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

// The wait window's paints during the main window's start-up in this process.
class TPaintWatch : public QObject {
public:
    double LargestGapMs = 0;
    int Paints = 0;
    AnsiString LastName, LastCount;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(object);
        if (event->type() == QEvent::Paint && widget &&
            widget->window()->windowTitle() == "Please wait while database loads") {
            if (Paints++ > 0)
                LargestGapMs = std::max(LargestGapMs, static_cast<double>(FSince.nsecsElapsed()) / 1e6);
            FSince.restart();
            if (SubmitMain)
                if (auto* wait = dynamic_cast<TWaitWindow*>(SubmitMain->FindComponent("WaitWindow"))) {
                    LastName = wait->EngineValue->Caption();
                    LastCount = wait->CountValue->Caption();
                }
        }
        return false;
    }

private:
    QElapsedTimer FSince;
};

int WatchWaitWindow(const fs::path& folder, int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    GetHooks().errorBox = [](const std::string& message) { std::fprintf(stderr, "error box: %s\n", message.c_str()); };
    TPaintWatch watch;
    app.installEventFilter(&watch);
    SetCurrentDir(folder.string());
    Application->CreateForm(SubmitMain);
    const int rows = SubmitMain->ExListView2->Items()->Count();
    const TStringList& list = *SubmitMain->EngineList;
    const AnsiString lastName = list.Count() > 0 ? SplitEngineLine(list.StringRef(list.Count() - 1)).name : "";
    const AnsiString lastCount = IntToStr(list.Count() - 1);
    std::printf("\nthe wait window during a start-up on %d engines, in one process: %d paints, largest gap %.1f ms "
                "(target <= 33), last shown \"%s\" %s (the last record: \"%s\" %s)\n",
                rows, watch.Paints, watch.LargestGapMs, watch.LastName.c_str(), watch.LastCount.c_str(),
                lastName.c_str(), lastCount.c_str());
    Application->Reset();
    return watch.LastName == lastName && watch.LastCount == lastCount ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const fs::path self = bench::SelfPath(argv[0]);
    const std::string build = self.parent_path().parent_path().string();
    const fs::path work = fs::temp_directory_path() / ("tenvarel-start-bench-" + std::to_string(::getpid()));
    const fs::path shipped = work / "shipped";
    const fs::path large = work / "large";
    if (!Install(build, shipped) || !Install(build, large)) {
        fs::remove_all(work);
        return 1;
    }
    std::ofstream(large / "data" / "data.czc", std::ios::binary) << LargeDatabase();

    setenv("TENVAREL_QUIT_AFTER_SHOW", "1", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::printf("the installed program, from its start to its main window shown: %d engines against the data it "
                "ships with (target: wall_s ratio <= 4)\n",
                RecordCount);
    for (const fs::path& folder : {large, shipped}) {
        bench::TRun run;
        std::string error;
        if (!bench::RunCommand({(folder / "Tenvarel").string()}, run, error) ||
            run.Out.find("main window shown") == std::string::npos) {
            std::fprintf(stderr, "the program in %s did not show its window: %s%s\n", folder.c_str(), error.c_str(),
                         run.Out.c_str());
            fs::remove_all(work);
            return 1;
        }
    }
    bench::TRoundsOptions options;
    options.Rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    int status = bench::CompareSides({"100,000 engines", {(large / "Tenvarel").string()}},
                                     {"as shipped", {(shipped / "Tenvarel").string()}}, options);
    unsetenv("TENVAREL_QUIT_AFTER_SHOW");
    if (status == 0)
        status = WatchWaitWindow(large, argc, argv);
    fs::remove_all(work);
    return status;
}
