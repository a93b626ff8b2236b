// The update window as a person sees it: during the download, with its
// status and the abort button, and during the extraction, with its bar.
#include <gtest/gtest.h>

#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "controls/ImgBtn.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/Rar4Writer.h"
#include "workbench/RARArc.h"
#include "workbench/SubmitMain.h"
#include "workbench/UpdateBox.h"

namespace fs = std::filesystem;

namespace {

fs::path ScreenshotFile(const char* name)
{
    const char* dir = std::getenv("TENVAREL_SCREENSHOT_DIR");
    const fs::path path = dir && *dir ? fs::path(dir) : fs::path(TENVAREL_BUILD_DIR) / "screenshots";
    fs::create_directories(path);
    return path / name;
}

TEST(MainWindowScreenshots, TheUpdateWindowDownloadingAndExtracting)
{
    HttpTestServer server;
    TInstallFolder folder;
    TIniFile(folder.File("wkt.ini")).WriteString("Update", "Server", server.Url(""));
    HttpTestReply held = HttpTestReply::Ok(
        Rar4Bytes({Rar4Entry::File("data.czc", std::string(3 << 20, 'd')), Rar4Entry::File("un.pac", "")}),
        "application/octet-stream");
    held.cutAfter = 48000;
    held.ending = HttpTestReply::Ending::Hold;
    server.Script("/qev/data.zrc", held);
    TBoxRecorder boxes(IDNO);
    TRunningProgram program(folder);
    SubmitMain->Show();

    bool downloadShot = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (UpdateBox->InfoLabel->Caption() != "Status: 48000")
            return;
        poll.stop();
        EXPECT_TRUE(RunPendingEvents());
        downloadShot = SaveFormScreenshot(UpdateBox, ScreenshotFile("update-download.png").string());
        UpdateBox->UpdateAbort->Click();
    });
    poll.start(5);
    SubmitMain->UpdateDatabase1->Click();
    EXPECT_TRUE(downloadShot);

    // The whole archive this time; the picture is taken halfway through the entry.
    server.Script("/qev/data.zrc", HttpTestReply::Ok(Rar4Bytes({Rar4Entry::File("data.czc", std::string(3 << 20, 'd')),
                                                                Rar4Entry::File("un.pac", "")}),
                                                     "application/octet-stream"));
    bool extractShot = false;
    const TProcessDataProcN shown = SubmitMain->RAR1->OnProcessData;
    SubmitMain->RAR1->OnProcessData = [&](TObject* sender, char* addr, int size, int position) {
        const int result = shown(sender, addr, size, position);
        if (!extractShot && position >= (1 << 20)) {
            EXPECT_TRUE(RunPendingEvents());
            extractShot = SaveFormScreenshot(UpdateBox, ScreenshotFile("update-extracting.png").string());
            EXPECT_TRUE(UpdateBox->UpdateBar1->Visible());
            EXPECT_EQ(UpdateBox->InfoLabel->Caption(), "Status: Extracting");
        }
        return result;
    };
    SubmitMain->UpdateDatabase1->Click();
    EXPECT_TRUE(extractShot);
    for (const char* name : {"update-download.png", "update-extracting.png"})
        EXPECT_GT(fs::file_size(ScreenshotFile(name)), 1000u) << name;
}

}  // namespace
