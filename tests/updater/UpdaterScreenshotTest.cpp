// The updater's window during its download, for a person to look at:
// TENVAREL_SCREENSHOT_DIR, or screenshots/ in the build folder.
#include <gtest/gtest.h>

#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "platform/Hooks.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/TempDir.h"
#include "updater/UpdaterWindow.h"

namespace fs = std::filesystem;

namespace {

TEST(UpdaterScreenshots, TheUpdaterWindowDuringItsDownload)
{
    const char* dir = std::getenv("TENVAREL_SCREENSHOT_DIR");
    const fs::path shots = dir && *dir ? fs::path(dir) : fs::path(TENVAREL_BUILD_DIR) / "screenshots";
    fs::create_directories(shots);
    const fs::path file = shots / "updater-download.png";

    HttpTestServer server;
    TempDir work("tenvarel-updater");
    work.Write("wkt.ini", "[rur]\r\nappname=Tenvarel\r\n[Update]\r\nServer=" + server.Url("") + "\r\n");
    HttpTestReply held = HttpTestReply::Ok(std::string(120000, 'x'), "application/octet-stream");
    held.cutAfter = 48000;
    held.ending = HttpTestReply::Ending::Hold;
    server.Script("/vorna/softup.zrc", held);
    GetHooks().shellOpen = [](const ShellOpenCall&) { return true; };

    const CodePageString old = GetCurrentDir();
    SetCurrentDir(work.Path());
    Application->CreateForm(Form1);
    SetCurrentDir(old);
    bool shot = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (Form1->Label1->Caption() != "Status: Received 48000 bytes")
            return;
        poll.stop();
        EXPECT_TRUE(RunPendingEvents());
        shot = SaveFormScreenshot(Form1, file.string());
        Form1->UpdateAbort->Click();
    });
    poll.start(5);
    Form1->Show();
    EXPECT_TRUE(RunUntil([] { return Application->Terminated(); }, 20000));
    EXPECT_TRUE(shot);
    EXPECT_GT(fs::file_size(file), 1000u);
    Application->Reset();
    ResetHooks();
}

}  // namespace
