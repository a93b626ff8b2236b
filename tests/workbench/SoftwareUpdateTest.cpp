// The software update from end to end: a database update announces a new
// version, the user agrees, the main window writes the updater it carries
// into the application folder and starts it with that version, and closes;
// the updater, a process of its own, downloads the new program from the
// loopback update server, puts it in place, records the version and starts
// it, and the new version runs. Declining changes nothing.
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MainFixture.h"
#include "StartProcess.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/Menus.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/Rar4Writer.h"
#include "workbench/SubmitMain.h"

namespace fs = std::filesystem;

namespace {

// The new version: it writes down where it runs and that it ran.
const char* const NewProgram = "#!/bin/sh\necho \"new version in $PWD\" > started.txt\n";

const MessageBoxCall SoftwareQuestion(const std::string& version)
{
    return {"Software Updater Has Detected a Software Update v" + version +
                "\n Make sure you have saved any projects you are currently working on before you update the "
                "software\nDo you want to continue to do the software update?",
            "Software Updater", MB_YESNO | MB_ICONQUESTION};
}

class SoftwareUpdate : public ::testing::Test {
protected:
    SoftwareUpdate()
    {
        TIniFile(folder.File("wkt.ini")).WriteString("Update", "Server", server.Url(""));
        folder.Write("Tenvarel", "#!/bin/sh\necho old > started.txt\n");
        fs::permissions(folder.File("Tenvarel"), fs::perms(0755));
        GetHooks().startProcess = [this](const ProcessStartCall& call) {
            starts.push_back(call);
            return true;
        };
    }
    void AnnounceVersion(const std::string& info)
    {
        server.Script("/qev/data.zrc",
                      HttpTestReply::Ok(Rar4Bytes({Rar4Entry::File("data.czc", folder.Read("data/data.czc")),
                                                   Rar4Entry::File("un.pac", ""), Rar4Entry::File("softup.ini", info)}),
                                        "application/octet-stream"));
    }
    std::string Version() const { return TIniFile(folder.File("wkt.ini")).ReadString("rur", "version", ""); }

    HttpTestServer server;
    TInstallFolder folder;
    TBoxRecorder boxes{IDYES};
    std::vector<ProcessStartCall> starts;
};

TEST_F(SoftwareUpdate, TheUpdaterReplacesTheProgramAndTheNewVersionRuns)
{
    AnnounceVersion("[rur]\r\nversion2=2.0\r\n");
    server.Script("/vorna/softup.zrc", HttpTestReply::Ok(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram)}),
                                                         "application/octet-stream"));
    {
        TRunningProgram program(folder);
        SubmitMain->Show();
        SubmitMain->UpdateDatabase1->Click();
        EXPECT_EQ(boxes.Boxes.back(), SoftwareQuestion("2.0"));
        EXPECT_TRUE(boxes.Errors.empty());
        EXPECT_TRUE(Application->Terminated());  // the main window closed
    }
    // The updater, written out executable, started in the application
    // folder with the new version; the version is not recorded yet.
    ASSERT_EQ(starts.size(), 1u);
    const ProcessStartCall updater = starts[0];
    EXPECT_EQ(fs::canonical(updater.program), fs::canonical(folder.File("updater")));
    EXPECT_EQ(fs::canonical(updater.directory), fs::canonical(folder.Path()));
    EXPECT_EQ(updater.args, (std::vector<std::string>{"2.0"}));
    struct stat st{};
    ASSERT_EQ(::stat(updater.program.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0111, 0111u);
    EXPECT_EQ(Version(), "1.0");

    // The updater runs as the process it is, with the real process start.
    ResetHooks();
    std::vector<std::string> env = ProgramEnvironment();
    env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<std::string> argv = {updater.program};
    argv.insert(argv.end(), updater.args.begin(), updater.args.end());
    const TRun run = RunProgram(argv, env, updater.directory, 60000);
    EXPECT_EQ(run.status, 0) << run.output;

    EXPECT_EQ(folder.Read("Tenvarel"), NewProgram);
    EXPECT_EQ(Version(), "2.0");
    for (const char* gone : {"softup.zrc", "softup.exe"})
        EXPECT_FALSE(fs::exists(folder.File(gone))) << gone;
    ASSERT_TRUE(RunUntil([&] { return folder.Read("started.txt").find("new version") != std::string::npos; }, 20000))
        << folder.Read("started.txt");
    EXPECT_EQ(folder.Read("started.txt"), "new version in " + fs::canonical(folder.Path()).string() + "\n");
}

TEST_F(SoftwareUpdate, OnlyAnotherVersionIsOfferedAndDecliningChangesNothing)
{
    const struct {
        const char* info;
        std::optional<MessageBoxCall> question;
    } cases[] = {
        {"[rur]\r\nversion2=1.0\r\n", std::nullopt},
        {"[rur]\r\nversion2=1.00\r\n", SoftwareQuestion("1.00")},  // no ordering of versions
        {"[rur]\r\n", SoftwareQuestion("Empty")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.info);
        AnnounceVersion(c.info);
        boxes.Boxes.clear();
        boxes.Answers = {IDNO, IDNO};  // no reload, no software update
        TRunningProgram program(folder);
        SubmitMain->Show();
        SubmitMain->UpdateDatabase1->Click();
        ASSERT_FALSE(boxes.Boxes.empty());
        EXPECT_EQ(boxes.Boxes.size(), c.question ? 2u : 1u);
        if (c.question) {
            EXPECT_EQ(boxes.Boxes.back(), *c.question);
        }
        EXPECT_FALSE(Application->Terminated());
        EXPECT_TRUE(starts.empty());
        EXPECT_EQ(Version(), "1.0");
        EXPECT_FALSE(fs::exists(folder.File("data/softup.ini")));
        EXPECT_FALSE(fs::exists(folder.File("updater")));
    }
}

// The updater killed at each step of its update, then started again: the
// program is whole all along (the old one until the one rename that puts the
// new one in place), it runs, and the next update finishes and leaves none
// of the first one's files behind.
TEST_F(SoftwareUpdate, AKilledUpdaterLeavesAWholeProgramAndTheNextUpdateFinishes)
{
    const std::string oldProgram = folder.Read("Tenvarel");
    server.Script("/vorna/softup.zrc",
                  HttpTestReply::Ok(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram),
                                               Rar4Entry::File("padding.bin", std::string(300000, 'p'))}),
                                    "application/octet-stream"));
    fs::copy_file(TENVAREL_BUILD_DIR "/updater", folder.File("updater"), fs::copy_options::overwrite_existing);
    auto runUpdater = [&](const std::string& crashAt) {
        std::vector<std::string> env = ProgramEnvironment();
        env.push_back("QT_QPA_PLATFORM=offscreen");
        if (!crashAt.empty())
            env.push_back("TENVAREL_CRASH_AT=" + crashAt);
        return RunProgram({folder.File("updater"), "2.0"}, env, folder.Path(), 60000);
    };
    for (const char* step : {"download", "extract", "rename", "replace"}) {
        SCOPED_TRACE(step);
        folder.Write("Tenvarel", oldProgram);
        fs::permissions(folder.File("Tenvarel"), fs::perms(0755));
        TIniFile(folder.File("wkt.ini")).WriteString("rur", "version", "1.0");
        folder.Remove("started.txt");

        EXPECT_EQ(runUpdater(step).status, -1);  // killed there
        EXPECT_EQ(folder.Read("Tenvarel"), oldProgram);
        EXPECT_EQ(Version(), "1.0");
        const TRun old = RunProgram({folder.File("Tenvarel")}, {}, folder.Path(), 20000);
        EXPECT_EQ(old.status, 0) << old.output;
        EXPECT_EQ(folder.Read("started.txt"), "old\n");

        const TRun again = runUpdater("");
        EXPECT_EQ(again.status, 0) << again.output;
        EXPECT_EQ(folder.Read("Tenvarel"), NewProgram);
        EXPECT_EQ(Version(), "2.0");
        for (const char* gone : {"softup.zrc", "softup.exe", "softup.tmp"})
            EXPECT_FALSE(fs::exists(folder.File(gone))) << gone;
        EXPECT_TRUE(RunUntil([&] { return folder.Read("started.txt").find("new version") != std::string::npos; }, 20000));
    }
}

}  // namespace
