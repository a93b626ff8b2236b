// The installed program: `cmake --install` lays out an installation folder,
// and Tenvarel started in it opens its main window headless and ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "StartProcess.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

TEST(StartInstalled, TheInstalledProgramOpensItsMainWindow)
{
    TempDir prefix("tenvarel-installed");
    const TRun install = InstallInto(prefix.Path());
    ASSERT_EQ(install.status, 0) << install.output;
    for (const char* file : {"Tenvarel", "updater", "libunrar.so", "wkt.ini", "logo.jpg", "data/data.czc", "data/datac.czc", "data/datam.czc",
                             "data/catagory.zro", "data/session/session.zro"})
        EXPECT_TRUE(fs::is_regular_file(fs::path(prefix.Path()) / file)) << file;
    EXPECT_TRUE(fs::is_directory(fs::path(prefix.Path()) / "reports"));
    EXPECT_TRUE(fs::is_directory(fs::path(prefix.Path()) / "doorways"));

    // Started from elsewhere: the program works in its own folder.
    std::vector<std::string> env = ProgramEnvironment();
    env.insert(env.end(), {"QT_QPA_PLATFORM=offscreen", "TENVAREL_QUIT_AFTER_SHOW=1"});
    const TRun run = RunProgram({prefix.File("Tenvarel")}, env, "/", 30000);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Tenvarel: main window shown"), std::string::npos) << run.output;
}

}  // namespace
