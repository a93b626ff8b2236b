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
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <QTimer>

#include <gtest/gtest.h>

#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/ProgressBar.h"
#include "platform/Hooks.h"
#include "support/FileSizeLimit.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/Rar4Writer.h"
#include "support/TempDir.h"
#include "support/TinyProxy.h"
#include "updater/UpdaterWindow.h"
#include "workbench/RARArc.h"
#include "workbench/UpdateData.h"

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
    void Run(const std::function<bool()>& ended = [] { return Application->Terminated(); },
             const std::function<void()>& beforeShow = {})
    {
        const CodePageString old = GetCurrentDir();
        SetCurrentDir(work.Path());
        Application->CreateForm(Form1);
        SetCurrentDir(old);
        Form1->NewVersion = "2.0";
        if (beforeShow)
            beforeShow();
        Form1->Show();
        EXPECT_TRUE(RunUntil(ended, 20000));
    }
    // Every file and folder of the work folder but the archive library, with
    // the bytes of each file.
    std::map<std::string, std::string> Folder() const
    {
        std::map<std::string, std::string> files;
        for (const auto& item : fs::recursive_directory_iterator(work.Path())) {
            const std::string name = fs::relative(item.path(), work.Path()).string();
            if (name != "libunrar.so")
                files[name] = item.is_directory() ? "<folder>" : Read(name);
        }
        return files;
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
        // Its test fails it: extracting it could never finish.
        {"an entry that cannot be created after the new program",
         [](Updater& t) {
             t.Serve(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram), Rar4Entry::File("softup.exe\\x", "x")}));
         },
         "Status: Extracting", {"Archive is corrupted"}},
        {"the download ends short of its length, at an entry's end",
         [](Updater& t) {
             HttpTestReply cut = HttpTestReply::Ok(
                 Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram), Rar4Entry::File("more.bin", "more")}),
                 "application/octet-stream");
             cut.cutAfter = Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram)}).size() - 7;  // without its end block
             t.server.Script("/vorna/softup.zrc", cut);
         },
         "Status: Failed", {"No Update Available at this time... Please try again later."}},
        // A new program left by an earlier update that failed is never installed.
        {"a new program left from before, and none in the archive",
         [](Updater& t) {
             t.work.Write("softup.exe", "#!/bin/sh\necho leftover\n");
             t.Serve(Rar4Bytes({Rar4Entry::File("readme.txt", "x")}));
         },
         "Status: Extracting", {"Archive is corrupted"}},
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

// The archive is the update server's to write: only its new program is
// taken. Entries named like the settings, the program, the updater, the
// archive library or the data change nothing, and neither does a name in an
// archived wkt.ini.
TEST_F(Updater, OnlyTheNewProgramIsTakenFromTheArchive)
{
    work.Write("updater", "the updater");
    work.Write("data/data.czc", "the engines");
    work.Write("data/session/session.zro", "[List]\r\n0=Mine\r\n");
    const std::map<std::string, std::string> before = Folder();
    const Rar4Entry junk = Rar4Entry::File("Tenvarel", "junk over the program");
    const Rar4Entry program = Rar4Entry::File("softup.exe", NewProgram);
    const std::vector<std::vector<Rar4Entry>> archives = {
        {junk,
         Rar4Entry::File("wkt.ini", "[rur]\r\nappname=../x\r\nversion=9\r\n[Proxy]\r\nProxyPassword=stolen\r\n"),
         program, Rar4Entry::File("updater", "another updater"), Rar4Entry::File("libunrar.so", "another library"),
         Rar4Entry::File("data/data.czc", "other engines"), Rar4Entry::File("data\\session\\session.zro", "[List]\r\n"),
         Rar4Entry::File("extra.txt", "extra")},
        // Extracted in place, the program was overwritten by the junk, and
        // the entry whose place is the data folder failed after it.
        {junk, program, Rar4Entry::File("data", "a file where the data folder is")},
    };
    for (const std::vector<Rar4Entry>& archive : archives) {
        SCOPED_TRACE(archive.size());
        Application->Reset();
        Boxes.clear();
        Started.clear();
        fs::remove(work.File("Tenvarel"));
        work.Write("Tenvarel", OldProgram);
        Serve(Rar4Bytes(archive));
        Run();
        std::map<std::string, std::string> expected = before;
        expected["Tenvarel"] = NewProgram;
        std::map<std::string, std::string> after = Folder();
        // The settings are the installed ones, with the version recorded.
        const TIniFile settings(work.File("wkt.ini"));
        EXPECT_EQ(settings.ReadString("rur", "appname", ""), "Tenvarel");
        EXPECT_EQ(Version(), "2.0");
        EXPECT_EQ(settings.ReadString("Proxy", "ProxyPassword", "none"), "none");
        expected.erase("wkt.ini");
        after.erase("wkt.ini");
        EXPECT_EQ(after, expected);
        EXPECT_TRUE(Boxes.empty());
        EXPECT_EQ(Started, (std::vector<std::string>{Restart()}));
        EXPECT_FALSE(fs::exists(work.File("../x")));
        TIniFile(work.File("wkt.ini")).WriteString("rur", "version", "1.0");
    }
}

// An extraction that fails part-way, here on a full disk after the entries
// named like the program and like the new program came out, leaves the old
// program byte for byte.
TEST_F(Updater, AFailedExtractionLeavesTheProgramByteForByte)
{
    const std::string big(200000, 'b');
    Serve(Rar4Bytes({Rar4Entry::File("Tenvarel", "junk over the program"), Rar4Entry::File("softup.exe", NewProgram),
                     Rar4Entry::File("big.bin", big)}));
    std::optional<TFileSizeLimit> full;
    Run([] { return Application->Terminated(); },
        [&] {
            Form1->RAR1->OnExtracting = [&, shown = Form1->RAR1->OnExtracting](TObject* sender, const RARHeaderData& entry) {
                if (std::string(entry.FileName) == "big.bin")
                    full.emplace(64 * 1024);  // the disk fills up from here on
                shown(sender, entry);
            };
        });
    full.reset();
    EXPECT_EQ(Boxes, (std::vector<std::string>{"The update could not be extracted.\nA file could not be written: the disk "
                                               "may be full."}));
    EXPECT_EQ(Read("Tenvarel"), OldProgram);
    EXPECT_EQ(Version(), "1.0");
    EXPECT_EQ(Started, (std::vector<std::string>{Restart()}));
    for (const char* gone : {"softup.exe", "softup.zrc", "softup.tmp"})
        EXPECT_FALSE(fs::exists(work.File(gone))) << gone;
}

TEST_F(Updater, AFullDiskDuringTheDownloadIsSaidAsSuch)
{
    Serve(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram), Rar4Entry::File("big.bin", std::string(200000, 'b'))}));
    {
        const TFileSizeLimit full(64 * 1024);
        Run();
    }
    EXPECT_EQ(Boxes, (std::vector<std::string>{"The update could not be written to disk: File too large."}));
    EXPECT_EQ(Form1->Label1->Caption(), "Status: Failed : cannot write " + work.File("softup.zrc") + ": File too large");
    EXPECT_EQ(Read("Tenvarel"), OldProgram);
    EXPECT_EQ(Started, (std::vector<std::string>{Restart()}));
    EXPECT_FALSE(fs::exists(work.File("softup.zrc")));
}

// appname comes from the installed settings and names a file of this
// folder, or nothing is written and nothing is started.
TEST_F(Updater, AProgramNameOutsideTheFolderUpdatesNothing)
{
    TIniFile(work.File("wkt.ini")).WriteString("rur", "appname", "../x");
    Serve(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram)}));
    const std::map<std::string, std::string> before = Folder();
    Run();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].find("[rur] appname"), std::string::npos) << Boxes[0];
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_TRUE(Started.empty());
    EXPECT_EQ(Folder(), before);
    EXPECT_FALSE(fs::exists(work.File("../x")));
}

TEST(UpdaterProgramName, OnlyAPlainFileNameOfTheFolderIsOne)
{
    const struct {
        const char* appname;
        const char* plain;
    } cases[] = {
        {"Tenvarel", "Tenvarel"}, {"Empty", "Empty"}, {"tenvarel.bin", "tenvarel.bin"}, {"..x", "..x"},
        {"../x", ""},  {"/tmp/x", ""}, {"a/b", ""}, {"a\\b", ""}, {"..", ""}, {".", ""}, {"", ""},
        {"x\ty", ""}, {"wkt.ini", ""}, {"WKT.INI", ""}, {"libunrar.so", ""}, {"updater", ""}, {"data", ""},
        {"softup.tmp", ""}, {"softup.exe", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlainProgramName(c.appname), c.plain) << c.appname;
}

TEST_F(Updater, TheDownloadGoesThroughTheProxy)
{
    TinyProxy proxy("joe", "secret", "ViaProxyName \"tenvarel-test\"\n");
    ASSERT_TRUE(proxy.Running()) << "tinyproxy did not start";
    proxy.UseIn(work.File("wkt.ini"));
    Serve(Rar4Bytes({Rar4Entry::File("softup.exe", NewProgram)}));
    Run();
    EXPECT_EQ(Read("Tenvarel"), NewProgram);
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Request(0).Header("Via").find("tenvarel-test"), std::string::npos);
}

}  // namespace
