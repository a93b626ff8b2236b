// The database update of the real program against the loopback update
// server: "Database/Software Update's" downloads the archive, tests it,
// installs the scrambled files, offers the reload and reloads; every way it
// can fail leaves the old database byte for byte, with its own message; the
// update window shows the download and aborts it; a second update and
// closing the window wait for the first.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QTimer>

#include <gtest/gtest.h>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "support/FileSizeLimit.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/Rar4Writer.h"
#include "support/TinyProxy.h"
#include "transport/HttpProt.h"
#include "workbench/EngineData.h"
#include "workbench/RARArc.h"
#include "workbench/SubmitMain.h"
#include "workbench/UpdateBox.h"
#include "workbench/UpdateData.h"

namespace fs = std::filesystem;

namespace {

const std::string FreshEngine =
    "Fresh Engine=Engine|http://fresh.example.com/add.html|http://fresh.example.com/cgi-bin/add|title|url|email|"
    "description|||name||||||||||||GET|keywords||||||||||||||||country|";
const std::string FreshMarker = "TARVEN=Engine|http://marker.example.com/|||||||||||||||||||||||||||||||||||||";

std::string FreshDatabase()
{
    return FreshEngine + "\r\n" + FreshMarker + "\r\n";
}

// The archive the update server hands out: the plain engine file, the list
// of files to scramble and the update info.
std::vector<Rar4Entry> UpdateEntries(const std::string& unpackList = "data.czc\r\n",
                                     const std::string& version = "1.0")
{
    return {Rar4Entry::File("data.czc", FreshDatabase()), Rar4Entry::File("un.pac", unpackList),
            Rar4Entry::File("softup.ini", "[rur]\r\nversion2=" + version + "\r\n")};
}

// Every file of the data folder and the settings, by relative path.
std::map<std::string, std::string> Snapshot(const TInstallFolder& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(folder.File("data")))
        if (item.is_regular_file())
            files[fs::relative(item.path(), folder.Path()).string()] = folder.Read(fs::relative(item.path(), folder.Path()));
    files["wkt.ini"] = folder.Read("wkt.ini");
    return files;
}

// Runs action once from the message loop as soon as ready() holds; the
// watchdog aborts the update's download so that a broken test cannot hang.
class TWhen {
public:
    TWhen(std::function<bool()> ready, std::function<void()> action) : FReady(std::move(ready)), FAction(std::move(action))
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            if (FDone || !FReady())
                return;
            FDone = true;
            FAction();
        });
        FTimer.start();
        FWatchdog.setSingleShot(true);
        QObject::connect(&FWatchdog, &QTimer::timeout, [] {
            if (SubmitMain)
                SubmitMain->HttpCli2->Abort();
        });
        FWatchdog.start(30000);
    }
    bool Done() const { return FDone; }

private:
    std::function<bool()> FReady;
    std::function<void()> FAction;
    QTimer FTimer;
    QTimer FWatchdog;
    bool FDone = false;
};

class DatabaseUpdate : public ::testing::Test {
public:
    DatabaseUpdate()
    {
        TIniFile(folder.File("wkt.ini")).WriteString("Update", "Server", server.Url(""));
    }
    void Start()
    {
        program.emplace(folder);
        SubmitMain->Show();
        before = Snapshot(folder);
    }
    void Serve(const std::string& archive)
    {
        server.Script("/qev/data.zrc", HttpTestReply::Ok(archive, "application/octet-stream"));
    }
    void Update() { SubmitMain->UpdateDatabase1->Click(); }
    std::string Status() const { return UpdateBox->InfoLabel->Caption(); }
    // What every update leaves behind, however it ended.
    void ExpectCleanEnd()
    {
        EXPECT_FALSE(fs::exists(folder.File("data/pro.zrc")));
        EXPECT_FALSE(fs::exists(folder.File("data/update.tmp")));
        EXPECT_FALSE(fs::exists(folder.File("data/update.old")));
        EXPECT_FALSE(UpdateBox->Visible());
        EXPECT_FALSE(SubmitMain->Updating());
        EXPECT_TRUE(SubmitMain->UpdateDatabase1->Enabled());
    }

    HttpTestServer server;
    TInstallFolder folder;
    TBoxRecorder boxes{IDYES};
    std::optional<TRunningProgram> program;
    std::map<std::string, std::string> before;
    std::size_t fileLimit = 0;  // a size no file may grow past during the update: a full disk
};

const MessageBoxCall ReloadQuestion{"Update Complete.\n Do you wish to Load the updated database  ?", "Update Complete",
                                    MB_YESNO | MB_ICONQUESTION};
const MessageBoxCall NoUpdate{"No Update Available at this time... Please try again later.", "No Update",
                              MB_OK | MB_ICONEXCLAMATION};
const MessageBoxCall Corrupted{"Archive is corrupted", "Information", MB_OK | MB_ICONINFORMATION};

TEST_F(DatabaseUpdate, TheNewDatabaseIsScrambledInstalledAndReloaded)
{
    Serve(Rar4Bytes(UpdateEntries()));
    Start();
    const std::string customEngines = folder.Read("data/datac.czc");
    Update();

    EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{ReloadQuestion}));  // the same version: no software question
    EXPECT_TRUE(boxes.Errors.empty());
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(server.Request(0).requestLine, "GET /qev/data.zrc HTTP/1.0");
    // The plain file of the archive arrived scrambled, as the program reads it.
    EXPECT_EQ(EngineFileLines(folder.File("data/data.czc")), (std::vector<std::string>{FreshEngine, FreshMarker}));
    EXPECT_EQ(folder.Read("data/datac.czc"), customEngines);
    for (const char* gone : {"data/un.pac", "data/softup.ini"})
        EXPECT_FALSE(fs::exists(folder.File(gone))) << gone;
    ExpectCleanEnd();

    // The reload: both files, the marker kept in the list but given no row.
    EXPECT_GE(SubmitMain->EngineList->IndexOf(FreshMarker), 0);
    ASSERT_NE(RowOf("Fresh Engine"), nullptr);
    EXPECT_EQ(RowOf("Fresh Engine")->SubItems()->Strings(0), "http://fresh.example.com/add.html");
    EXPECT_EQ(RowOf("TARVEN"), nullptr);
    const int rows = SubmitMain->ExListView2->Items()->Count();
    EXPECT_EQ(rows, 1 + static_cast<int>(EngineFileLines(folder.File("data/datac.czc")).size()));
    EXPECT_EQ(Status(), "Reloading database");
}

TEST_F(DatabaseUpdate, DecliningTheReloadKeepsTheListUntilTheNextStart)
{
    Serve(Rar4Bytes(UpdateEntries()));
    boxes.Answers = {IDNO};
    Start();
    const int rows = SubmitMain->ExListView2->Items()->Count();
    Update();
    EXPECT_EQ(SubmitMain->ExListView2->Items()->Count(), rows);
    EXPECT_EQ(RowOf("Fresh Engine"), nullptr);
    EXPECT_EQ(EngineFileLines(folder.File("data/data.czc")), (std::vector<std::string>{FreshEngine, FreshMarker}));
    ExpectCleanEnd();
}

TEST_F(DatabaseUpdate, AFailedUpdateLeavesTheOldDatabaseByteForByte)
{
    Rar4Entry badCrc = Rar4Entry::File("data.czc", FreshDatabase());
    badCrc.crc = 1;
    const Rar4Image whole = [] {
        Rar4Archive a;
        a.entries = UpdateEntries();
        return WriteRar4(a);
    }();
    struct TCase {
        const char* what;
        std::function<void(DatabaseUpdate&)> arrange;
        std::string status;  // the update window's last status line (a prefix)
        std::vector<MessageBoxCall> boxes;
        std::string error;   // in the application's error box (a part of it)
    };
    const std::vector<TCase> cases = {
        {"the server answers 404",
         [](DatabaseUpdate& t) { t.server.Script("/qev/data.zrc", HttpTestReply::Status("HTTP/1.0 404 Not Found")); },
         "Status: Failed : 404 Not Found", {NoUpdate}, ""},
        {"the server cannot be reached",
         [](DatabaseUpdate& t) { TIniFile(t.folder.File("wkt.ini")).WriteString("Update", "Server", "http://127.0.0.1:1"); },
         "Status: Failed : 404 ", {NoUpdate}, ""},
        {"an entry with a wrong CRC",
         [&](DatabaseUpdate& t) { t.Serve(Rar4Bytes({badCrc, UpdateEntries()[1], UpdateEntries()[2]})); },
         "Status: Extracting", {Corrupted}, ""},
        {"the archive is cut short", [&](DatabaseUpdate& t) { t.Serve(whole.bytes.substr(0, whole.dataStart[2] + 4)); },
         "Status: Extracting", {Corrupted}, ""},
        {"an error page instead of the archive", [](DatabaseUpdate& t) { t.Serve("<html>Service Unavailable</html>"); },
         "Status: Extracting", {Corrupted}, ""},
        {"the RAR library is missing",
         [](DatabaseUpdate& t) {
             t.folder.Remove("libunrar.so");
             t.Serve(Rar4Bytes(UpdateEntries()));
         },
         "Status: Extracting",
         {{"The RAR library libunrar.so could not be loaded.", "Error", MB_OK | MB_ICONERROR}}, ""},
        {"an archive entry leaves the data folder",
         [](DatabaseUpdate& t) {
             std::vector<Rar4Entry> entries = UpdateEntries();
             entries.push_back(Rar4Entry::File("..\\wkt.ini", "[rur]\r\nversion=hacked\r\n"));
             t.Serve(Rar4Bytes(entries));
         },
         "Status: Extracting", {Corrupted}, ""},
        // Its test fails it: extracting it could never finish.
        {"an entry that cannot be created",
         [](DatabaseUpdate& t) {
             std::vector<Rar4Entry> entries = UpdateEntries();
             entries.push_back(Rar4Entry::File("un.pac\\x", "under a file"));
             t.Serve(Rar4Bytes(entries));
         },
         "Status: Extracting", {Corrupted}, ""},
        {"the download ends short of its length, at an entry's end",
         [&](DatabaseUpdate& t) {
             HttpTestReply cut = HttpTestReply::Ok(whole.bytes, "application/octet-stream");
             cut.cutAfter = whole.entryStart[2];
             t.server.Script("/qev/data.zrc", cut);
         },
         "Status: Failed", {NoUpdate}, ""},
        {"the disk is full during the download",
         [](DatabaseUpdate& t) {
             std::vector<Rar4Entry> entries = UpdateEntries();
             entries.push_back(Rar4Entry::File("padding.bin", std::string(200000, 'p')));
             t.Serve(Rar4Bytes(entries));
             t.fileLimit = 64 * 1024;
         },
         "Status: Failed : cannot write",
         {{"The update could not be written to disk: File too large.", "Error", MB_OK | MB_ICONERROR}}, ""},
        // The files move in the order of their names: the last one finds a
        // file where its folder must be, after the others have moved.
        {"a file cannot be installed after the others",
         [](DatabaseUpdate& t) {
             t.folder.Write("data/zz", "a file of the data folder");
             std::vector<Rar4Entry> entries = UpdateEntries();
             entries.push_back(Rar4Entry::File("zz\\y.txt", "below a file of the data folder"));
             t.Serve(Rar4Bytes(entries));
         },
         "Status: Extracting", {}, "Cannot create"},
        {"a file of the archive where the data folder has a folder",
         [](DatabaseUpdate& t) {
             t.folder.Write("data/engines/mine.txt", "a file in a folder of the data folder");
             std::vector<Rar4Entry> entries = UpdateEntries();
             entries.push_back(Rar4Entry::File("Engines", "a file over the folder"));
             t.Serve(Rar4Bytes(entries));
         },
         "Status: Extracting", {}, "not a plain file"},
        {"the update list is missing",
         [](DatabaseUpdate& t) { t.Serve(Rar4Bytes({UpdateEntries()[0], UpdateEntries()[2]})); },
         "Status: Extracting", {}, "un.pac"},
        {"the update list names a file outside the data folder",
         [](DatabaseUpdate& t) { t.Serve(Rar4Bytes(UpdateEntries("data.czc\r\n..\\wkt.ini\r\n"))); },
         "Status: Extracting", {}, "outside the data folder"},
        {"the update list names a file the archive lacks",
         [](DatabaseUpdate& t) { t.Serve(Rar4Bytes(UpdateEntries("datac.czc\r\ndata.czc\r\n"))); },
         "Status: Extracting", {}, "datac.czc"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        DatabaseUpdate& t = *this;  // the cases arrange through it
        program.reset();
        boxes.Boxes.clear();
        boxes.Errors.clear();
        TIniFile(folder.File("wkt.ini")).WriteString("Update", "Server", server.Url(""));
        if (!fs::exists(folder.File("libunrar.so")))
            fs::copy_file(TENVAREL_BUILD_DIR "/libunrar.so", folder.File("libunrar.so"));
        fileLimit = 0;
        c.arrange(t);
        Start();
        {
            std::optional<TFileSizeLimit> full;
            if (fileLimit)
                full.emplace(fileLimit);
            Update();
        }
        EXPECT_EQ(Status().substr(0, c.status.size()), c.status);
        EXPECT_EQ(boxes.Boxes, c.boxes);
        if (c.error.empty()) {
            EXPECT_TRUE(boxes.Errors.empty());
        } else {
            ASSERT_EQ(boxes.Errors.size(), 1u);
            EXPECT_NE(boxes.Errors[0].find(c.error), std::string::npos) << boxes.Errors[0];
        }
        EXPECT_EQ(Snapshot(folder), before);
        ExpectCleanEnd();
    }
}

TEST_F(DatabaseUpdate, TheWindowShowsTheDownloadAndItsAbortEndsIt)
{
    std::vector<Rar4Entry> entries = UpdateEntries();
    entries.push_back(Rar4Entry::File("padding.bin", std::string(100000, 'p')));
    HttpTestReply held = HttpTestReply::Ok(Rar4Bytes(entries), "application/octet-stream");
    held.cutAfter = 1000;
    held.ending = HttpTestReply::Ending::Hold;
    server.Script("/qev/data.zrc", held);
    Start();
    std::vector<std::string> seen;
    TWhen abort([&] { return Status() == "Status: 1000"; },
                [&] {
                    seen.push_back(Status());
                    EXPECT_TRUE(UpdateBox->Visible());
                    EXPECT_TRUE(UpdateBox->UpdateAbort->Enabled());
                    EXPECT_FALSE(SubmitMain->UpdateDatabase1->Enabled());
                    // A second update waits for the first, and the window stays.
                    SubmitMain->UpdateDatabase1Click(nullptr);
                    SubmitMain->Close();
                    EXPECT_TRUE(SubmitMain->Visible());
                    EXPECT_FALSE(Application->Terminated());
                    UpdateBox->UpdateAbort->Click();
                });
    Update();
    EXPECT_TRUE(abort.Done());
    EXPECT_EQ(seen, (std::vector<std::string>{"Status: 1000"}));
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(Status(), "Status: Failed : 404 Connection aborted on request");
    EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{NoUpdate}));
    EXPECT_EQ(Snapshot(folder), before);
    ExpectCleanEnd();
    // Once it is over the window closes again.
    SubmitMain->Close();
    EXPECT_TRUE(Application->Terminated());
}

// Every file of the archive lands in the data folder but the user's own:
// the custom engines and the projects with their list.
TEST_F(DatabaseUpdate, TheUsersOwnFilesAreNeverReplaced)
{
    folder.Write("data/session/Mine.zro", "[Mine]\r\nurl=http://mine.example.com/\r\n");
    std::vector<Rar4Entry> entries = UpdateEntries();
    entries.push_back(Rar4Entry::File("DATAC.CZC", "other custom engines"));
    entries.push_back(Rar4Entry::File("session\\session.zro", "[List]\r\n"));
    entries.push_back(Rar4Entry::File("Session/Mine.zro", "[Mine]\r\nurl=http://else.example.com/\r\n"));
    entries.push_back(Rar4Entry::File("catagory.zro", "[Sub1]\r\n"));
    // The update's own working files are no more the archive's to write.
    entries.push_back(Rar4Entry::File("update.old\\journal", "1\tx\tsession/session.zro\r\n"));
    entries.push_back(Rar4Entry::File("Update.TMP/x", "x"));
    entries.push_back(Rar4Entry::File("PRO.ZRC", "x"));
    Serve(Rar4Bytes(entries));
    Start();
    Update();
    std::map<std::string, std::string> expected = before;
    std::map<std::string, std::string> after = Snapshot(folder);
    for (const char* updated : {"data/data.czc", "data/catagory.zro"})
        after.erase(updated), expected.erase(updated);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(folder.Read("data/catagory.zro"), "[Sub1]\r\n");
    EXPECT_EQ(EngineFileLines(folder.File("data/data.czc")), (std::vector<std::string>{FreshEngine, FreshMarker}));
    ExpectCleanEnd();
}

// An extraction that fails part-way (the disk fills up) leaves the data
// folder as it was; the message says why.
TEST_F(DatabaseUpdate, AFullDiskDuringTheExtractionLeavesTheOldDatabase)
{
    std::vector<Rar4Entry> entries = UpdateEntries();
    entries.push_back(Rar4Entry::File("padding.bin", std::string(200000, 'p')));
    Serve(Rar4Bytes(entries));
    Start();
    std::optional<TFileSizeLimit> full;
    SubmitMain->RAR1->OnExtracting = [&, shown = SubmitMain->RAR1->OnExtracting](TObject* sender,
                                                                                  const RARHeaderData& entry) {
        if (std::string(entry.FileName) == "padding.bin")
            full.emplace(64 * 1024);
        shown(sender, entry);
    };
    Update();
    full.reset();
    EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{{"The update could not be extracted into the data folder.\nA "
                                                         "file could not be written: the disk may be full.",
                                                         "Error", MB_OK | MB_ICONERROR}}));
    EXPECT_EQ(Snapshot(folder), before);
    ExpectCleanEnd();
}

// The install killed after each of its moves, then the program started
// again: the old database is there byte for byte, and nothing of the update
// is left.
TEST_F(DatabaseUpdate, AnInstallKilledPartWayIsUndoneAtTheNextStart)
{
    folder.Write("data/catagory.zro", "[Sub1]\r\nold=1\r\n");
    const std::map<std::string, std::string> old = Snapshot(folder);
    const std::string data = folder.File("data");
    for (int kill = 1; kill <= 6; ++kill) {
        SCOPED_TRACE(kill);
        // What the update stages: a file that replaces one, a new one in a
        // new folder, and one more that replaces.
        folder.Write("data/update.tmp/data.czc", "new engines");
        folder.Write("data/update.tmp/more/new.txt", "a new file");
        folder.Write("data/update.tmp/catagory.zro", "[Sub1]\r\nnew=1\r\n");
        folder.Write("data/pro.zrc", "the downloaded archive");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("TENVAREL_CRASH_AT", ("install:" + std::to_string(kill)).c_str(), 1);
            try {
                InstallStagedFiles(data + "/update.tmp", data, data + "/update.old");
            } catch (...) {
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        // Five moves: two for each file that replaces one (the old file out,
        // the new one in), one for the new file. A sixth pass never comes,
        // and the install ends whole.
        const bool killed = kill <= 5;
        EXPECT_EQ(WIFSIGNALED(status), killed);
        if (killed) {
            EXPECT_TRUE(fs::exists(folder.File("data/update.old/journal")));
            Start();
            EXPECT_TRUE(boxes.Errors.empty());
            EXPECT_EQ(Snapshot(folder), old);
            program.reset();
        } else {
            EXPECT_EQ(folder.Read("data/more/new.txt"), "a new file");
            fs::remove_all(folder.File("data/more"));
            fs::remove_all(folder.File("data/update.tmp"));  // the caller's to remove
            for (const auto& [name, bytes] : old)
                folder.Write(name, bytes);
        }
        for (const char* gone : {"data/update.tmp", "data/update.old"})
            EXPECT_FALSE(fs::exists(folder.File(gone))) << gone;
        if (killed) {
            EXPECT_FALSE(fs::exists(folder.File("data/pro.zrc")));
        }
        fs::remove(folder.File("data/pro.zrc"));
    }
}

TEST_F(DatabaseUpdate, TheDownloadGoesThroughTheProxy)
{
    TinyProxy proxy("joe", "secret", "ViaProxyName \"tenvarel-test\"\n");
    ASSERT_TRUE(proxy.Running()) << "tinyproxy did not start";
    proxy.UseIn(folder.File("wkt.ini"));
    Serve(Rar4Bytes(UpdateEntries()));
    Start();
    Update();
    EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{ReloadQuestion}));
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Request(0).Header("Via").find("tenvarel-test"), std::string::npos);
    EXPECT_EQ(EngineFileLines(folder.File("data/data.czc")), (std::vector<std::string>{FreshEngine, FreshMarker}));
}

// A start cleans what an update killed before its install left: the
// staging folder, a backup without a journal, the downloaded archive.
TEST_F(DatabaseUpdate, AStartRemovesWhatAnUpdateLeft)
{
    const std::map<std::string, std::string> old = Snapshot(folder);
    folder.Write("data/update.tmp/data.czc", "half extracted");
    folder.Write("data/update.old/data.czc", "a backup whose install had finished");
    folder.Write("data/pro.zrc", "the downloaded archive");
    Start();
    EXPECT_TRUE(boxes.Errors.empty());
    EXPECT_EQ(Snapshot(folder), old);
    for (const char* gone : {"data/update.tmp", "data/update.old", "data/pro.zrc"})
        EXPECT_FALSE(fs::exists(folder.File(gone))) << gone;
}

}  // namespace
