// The updater's window in this process, against the loopback update server:
// it replaces the program named by [rur] appname in one rename, records the
// version it was given and starts the program again; every failure before
// the rename starts the old program unchanged with its own message; Cancel
// starts it at once; a failed rename shows why and leaves everything.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <QTimer>

#include <gtest/gtest.h>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/StdCtrls.h"
#include "platform/Hooks.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/Rar4Writer.h"
#include "support/TempDir.h"
#include "updater/Unit1.h"

namespace fs = std::filesystem;

namespace {

const char* const OldProgram = "#!/bin/sh\necho old\n";
const char* const NewProgram = "#!/bin/sh\necho new\n";

bool Executable(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0111) == 0111;
}

class Updater : public ::testing::Test {
public:
    Updater() : work("tenvarel-updater")
    {
        work.Write("wkt.ini", "[rur]\r\napp=Tenvarel\r\nversion=1.0\r\nappname=Tenvarel\r\n\r\n[Update]\r\nServer=" +
                                  server.Url("") + "\r\n");
        work.Write("Tenvarel", OldProgram);
        fs::permissions(work.File("Tenvarel"), fs::perms(0755));
        fs::copy_file(TENVAREL_BUILD_DIR "/libunrar.so", work.File("libunrar.so"));
        GetHooks().messageBox = [this](const MessageBoxCall& call) {
            Boxes.push_back(call.text);
            return IDOK;
        };
        GetHooks().errorBox = [this](const std::string& message) { Errors.push_back(message); };
        GetHooks().shellOpen = [this](const ShellOpenCall& call) {
            Started.push_back(call.verb + " " + call.file);
            return true;
        };
    }
    ~Updater() override
    {
        Application->Reset();
        ResetHooks();
    }
    void Serve(const std::string& archive)
    {
        server.Script("/vorna/softup.zrc", HttpTestReply::Ok(archive, "application/octet-stream"));
    }
    // Creates the window in the work folder, the way the main program starts
    // the updater, and shows it; the update runs from the message loop until
    // it has ended (by default: the updater closed).
    void Run(const std::function<bool()>& ended = [] { return Application->Terminated(); })
    {
        const AnsiString old = GetCurrentDir();
        SetCurrentDir(work.Path());
        Application->CreateForm(Form1);
        SetCurrentDir(old);
        Form1->NewVersion = "2.0";
        Form1->Show();
        EXPECT_TRUE(RunUntil(ended, 20000));
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(work.File(name), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    std::string Version() const { return TIniFile(work.File("wkt.ini")).ReadString("rur", "version", ""); }
    std::string Restart() const { return "open " + work.File("Tenvarel"); }

    HttpTestServer server;
    TempDir work;
    std::vector<std::string> Boxes;
    std::vector<std::string> Errors;
    std::vector<std::string> Started;
};

TEST_F(Updater, ReplacesTheProgramRecordsTheVersionAndStartsIt)
{
    Serve(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram)}));
    Run();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(Read("Tenvarel"), NewProgram);
    EXPECT_TRUE(Executable(work.File("Tenvarel")));
    EXPECT_FALSE(fs::exists(work.File("softup.exe")));
    EXPECT_FALSE(fs::exists(work.File("softup.zrc")));
    EXPECT_EQ(Version(), "2.0");
    EXPECT_EQ(Started, (std::vector<std::string>{Restart()}));
    EXPECT_TRUE(Boxes.empty());
    EXPECT_TRUE(Errors.empty());
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(server.Request(0).requestLine, "GET /vorna/softup.zrc HTTP/1.0");
    EXPECT_EQ(Form1->Label2->Caption(), std::to_string(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram)}).size()));
    // Activating the window again starts nothing.
    Form1->FormActivate(Form1);
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(Updater, AFailureBeforeTheRenameStartsTheOldProgramUnchanged)
{
    Rar4Entry bad = Rar4Entry::File("softup.exe", NewProgram);
    bad.crc = 7;
    struct TCase {
        const char* what;
        std::function<void(Updater&)> arrange;
        std::string status;
        std::vector<std::string> boxes;
    };
    const std::vector<TCase> cases = {
        {"the server answers 404",
         [](Updater& t) { t.server.Script("/vorna/softup.zrc", HttpTestReply::Status("HTTP/1.0 404 Not Found")); },
         "Status: Failed : 404 Not Found", {"No Update Available at this time... Please try again later."}},
        {"the server cannot be reached",
         [](Updater& t) { TIniFile(t.work.File("wkt.ini")).WriteString("Update", "Server", "http://127.0.0.1:1"); },
         "Status: Failed : 404 ", {"No Update Available at this time... Please try again later."}},
        {"a wrong CRC", [&](Updater& t) { t.Serve(Rar4Bytes({bad})); }, "Status: Extracting", {"Archive is corrupted"}},
        {"an entry that cannot be written after the new program",
         [](Updater& t) {
             t.Serve(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram), Rar4Entry::File("softup.exe\\x", "x")}));
         },
         "Status: Extracting", {"The update could not be extracted."}},
        {"no new program in the archive",
         [](Updater& t) { t.Serve(Rar4Bytes({Rar4Entry::File("readme.txt", "x")})); }, "Status: Extracting",
         {"Archive is corrupted"}},
        {"no RAR library",
         [](Updater& t) {
             fs::remove(t.work.File("libunrar.so"));
             t.Serve(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram)}));
         },
         "Status: Extracting", {"The RAR library libunrar.so could not be loaded."}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        Updater& t = *this;  // the cases arrange through it
        Application->Reset();
        Boxes.clear();
        Started.clear();
        TIniFile(work.File("wkt.ini")).WriteString("Update", "Server", server.Url(""));
        if (!fs::exists(work.File("libunrar.so")))
            fs::copy_file(TENVAREL_BUILD_DIR "/libunrar.so", work.File("libunrar.so"));
        c.arrange(t);
        Run();
        EXPECT_TRUE(Application->Terminated());
        EXPECT_EQ(Form1->Label1->Caption().substr(0, c.status.size()), c.status);
        EXPECT_EQ(Boxes, c.boxes);
        EXPECT_EQ(Read("Tenvarel"), OldProgram);
        EXPECT_EQ(Version(), "1.0");
        EXPECT_EQ(Started, (std::vector<std::string>{Restart()}));
        EXPECT_FALSE(fs::exists(work.File("softup.zrc")));
        EXPECT_FALSE(fs::exists(work.File("softup.exe")));
        EXPECT_TRUE(Errors.empty());
    }
}

TEST_F(Updater, CancelStartsTheOldProgramAtOnce)
{
    HttpTestReply held = HttpTestReply::Ok(std::string(100000, 'x'), "application/octet-stream");
    held.cutAfter = 1000;
    held.ending = HttpTestReply::Ending::Hold;
    server.Script("/vorna/softup.zrc", held);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (Form1 && Form1->Label1->Caption() == "Status: Received 1000 bytes") {
            poll.stop();
            EXPECT_EQ(Form1->UpdateBar1->Max(), 100000);
            EXPECT_EQ(Form1->UpdateBar1->Position(), 1000);
            Form1->UpdateAbort->Click();
        }
    });
    poll.start(5);
    Run();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(Started, (std::vector<std::string>{Restart()}));  // by the cancel, once
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Read("Tenvarel"), OldProgram);
    EXPECT_EQ(Version(), "1.0");
    EXPECT_FALSE(fs::exists(work.File("softup.zrc")));
}

TEST_F(Updater, AFailedRenameShowsWhyAndLeavesEverything)
{
    // The program's name is taken by a folder, which no file can replace.
    fs::remove(work.File("Tenvarel"));
    fs::create_directories(work.File("Tenvarel/in-use"));
    Serve(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram)}));
    Run([this] { return !Errors.empty(); });
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_NE(Errors[0].find("Cannot rename"), std::string::npos) << Errors[0];
    EXPECT_FALSE(Application->Terminated());  // the window stays
    EXPECT_TRUE(Form1->Visible());
    EXPECT_TRUE(Started.empty());
    EXPECT_EQ(Read("softup.exe"), NewProgram);
    EXPECT_TRUE(fs::exists(work.File("softup.zrc")));
    EXPECT_EQ(Version(), "1.0");
}

}  // namespace
