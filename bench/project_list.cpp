// The project list of the real main window with 1,000, 10,000 and 20,000
// projects: start-up's part of it (reading the list file into the project
// list, which then becomes sorted), saving a new project from the project
// page, and deleting it again (the next project is then loaded into the
// page); and the imports of a ".zro" file of 40,000 sections and of a
// ".sav" file of 40,000 sections, half of them copies. Each figure is timed
// over the window's own handler, in rounds; printed as median and range
// (targets: reading and sorting the list under 0.2 s, a save, a delete or an
// import under 0.1 s).
//
// Beside them, a whole start-up: the installed program (`cmake --install`
// from this build), from its start to its main window shown
// (TENVAREL_QUIT_AFTER_SHOW), with 20,000 projects against the same program
// as shipped, each a process of its own in interleaved rounds
// (bench/Rounds.h).
//
//   bench_project_list [rounds]    (default 7)
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Rounds.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/Menus.h"
#include "platform/Hooks.h"
#include "support/ShopProject.h"
#include "workbench/ProjectData.h"
#include "workbench/SubmitMain.h"

namespace fs = std::filesystem;

namespace {

template <class F>
double Seconds(F&& f)
{
    const auto begin = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

void PrintFigure(const char* what, int count, const char* unit, const std::vector<double>& seconds, double target)
{
    const bench::TStat s = bench::Stats(seconds);
    std::printf("%-26s %6d %-8s: median %8.4f s [%.4f .. %.4f] (target < %.1f s)\n", what, count, unit, s.Median,
                s.Min, s.Max, target);
    std::fflush(stdout);
}

// An installation folder with `count` projects, their files and the list.
fs::path MakeFolder(int count)
{
    char pattern[] = "/tmp/tenvarel-projects-XXXXXX";
    const fs::path folder = ::mkdtemp(pattern);
    fs::create_directories(folder / "data" / "session");
    fs::create_directories(folder / "reports");
    WriteFileAtomic((folder / "wkt.ini").string(), "[rur]\r\napp=Tenvarel\r\nversion=1.0\r\n");
    for (const char* file : {"data/data.czc", "data/datac.czc", "data/datam.czc"})
        WriteFileAtomic((folder / file).string(), "");
    std::vector<CodePageString> names;
    for (int i = 0; i < count; ++i) {
        names.push_back("Project " + std::to_string(100000 + i));
        WriteProjectFile(folder.string(), ShopProject(names.back()));
    }
    SaveProjectList(folder.string(), names);
    return folder;
}

void MeasureList(int count, int rounds)
{
    const fs::path folder = MakeFolder(count);
    SetCurrentDir(folder.string());
    Application->CreateForm(SubmitMain);
    TSubmitMain& main = *SubmitMain;
    if (main.SesList->Items()->Count() != count) {
        std::fprintf(stderr, "the list holds %d of %d projects\n", main.SesList->Items()->Count(), count);
        std::exit(1);
    }

    std::vector<double> startup, save, remove;
    for (int round = 0; round < rounds; ++round) {
        // Start-up's steps on the list: read it into SesList, which then becomes sorted.
        main.SesList->SetSorted(false);
        main.SesList->Items()->Clear();
        startup.push_back(Seconds([&] {
            main.LoadSesList();
            main.SesList->SetSorted(true);
        }));

        // A new project, saved from the page as the menu item does.
        const CodePageString name = "New project " + std::to_string(round);
        main.ShowProject(ShopProject(name));
        save.push_back(Seconds([&] { main.SiteAddClick(main.SiteAdd); }));

        // And deleted again.
        main.SesList->SetItemIndex(main.SesList->Items()->IndexOf(name));
        remove.push_back(Seconds([&] { main.SiteDelClick(main.SiteDel); }));
        if (main.SesList->Items()->Count() != count || LoadProjectList(folder.string()).size() != std::size_t(count)) {
            std::fprintf(stderr, "the save and the delete did not give the list back\n");
            std::exit(1);
        }
    }
    PrintFigure("reading and sorting the list", count, "projects", startup, 0.2);
    PrintFigure("saving a new project", count, "projects", save, 0.1);
    PrintFigure("deleting it", count, "projects", remove, 0.1);
    Application->Reset();
    fs::remove_all(folder);
}

void MeasureImports(int sections, int rounds)
{
    std::string zro, sav;
    for (int i = 0; i < sections; ++i) {
        zro += "[Section " + std::to_string(i) + "]\r\nurl=http://www.example.com/\r\ntitle=Title\r\nkey1=a\r\n";
        // Half of them copies of another, in another letter case, which the load drops.
        sav += (i % 2 ? "[tag " : "[TAG ") + std::to_string(i / 2) + "]\r\nline " + std::to_string(i) + "\r\n";
    }
    sav += "[URL]\r\nhttp://www.example.com/\r\n";
    std::vector<double> zroSeconds, savSeconds;
    for (int round = 0; round < rounds; ++round) {
        zroSeconds.push_back(Seconds([&] {
            if (ImportZro(zro).record.SessionName != "Section 0")
                std::exit(1);
        }));
        savSeconds.push_back(Seconds([&] {
            const ProjectImport import = ImportSav(sav, ProjectRecord(), {}, [](const CodePageString&) { return "example"; });
            if (import.record.url != "http://www.example.com/")
                std::exit(1);
        }));
    }
    PrintFigure("a .zro import", sections, "sections", zroSeconds, 0.1);
    PrintFigure("a .sav import", sections, "sections", savSeconds, 0.1);
}

// The whole program's start-up with `count` projects against the program as
// shipped, each installed from this build.
int MeasureStartup(const std::string& self, int count, int rounds)
{
    const fs::path build = fs::path(self).parent_path().parent_path();
    char pattern[] = "/tmp/tenvarel-start-projects-XXXXXX";
    const fs::path work = ::mkdtemp(pattern);
    const fs::path shipped = work / "shipped", many = work / "projects";
    for (const fs::path& prefix : {shipped, many}) {
        bench::TRun run;
        std::string error;
        if (!bench::RunCommand({"cmake", "--install", build.string(), "--prefix", prefix.string()}, run, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            fs::remove_all(work);
            return 1;
        }
    }
    std::vector<CodePageString> names;
    for (int i = 0; i < count; ++i) {
        names.push_back("Project " + std::to_string(100000 + i));
        WriteProjectFile(many.string(), ShopProject(names.back()));
    }
    SaveProjectList(many.string(), names);
    setenv("TENVAREL_QUIT_AFTER_SHOW", "1", 1);
    std::printf("\nthe installed program, from its start to its main window shown, with %d projects against the "
                "program as shipped\n",
                count);
    bench::TRoundsOptions options;
    options.Rounds = rounds;
    const int status = bench::CompareSides({std::to_string(count) + " projects", {(many / "Tenvarel").string()}},
                                           {"as shipped", {(shipped / "Tenvarel").string()}}, options);
    unsetenv("TENVAREL_QUIT_AFTER_SHOW");
    fs::remove_all(work);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // The installation has no logo, which start-up tells; any other error ends the run.
    GetHooks().errorBox = [](const std::string& message) {
        std::fprintf(stderr, "error box: %s\n", message.c_str());
        if (message.find("logo.jpg") == std::string::npos)
            std::exit(1);
    };
    GetHooks().messageBox = [](const MessageBoxCall& call) {
        std::fprintf(stderr, "message box: %s: %s\n", call.caption.c_str(), call.text.c_str());
        std::exit(1);
        return IDOK;
    };
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    const CodePageString before = GetCurrentDir();
    for (const int count : {1000, 10000, 20000})
        MeasureList(count, rounds);
    SetCurrentDir(before);
    MeasureImports(40000, rounds);
    return MeasureStartup(bench::SelfPath(argv[0]), 20000, rounds);
}
