// Renders the main window on each page (and each sheet of the two pages that
// hold sheets) and the wait window to PNG files for a person to look at:
// TENVAREL_SCREENSHOT_DIR, or screenshots/ in the build folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "MainFixture.h"
#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "classlib/TabNotBk.h"
#include "support/Loop.h"
#include "workbench/SubmitMain.h"
#include "workbench/WaitWindow.h"

namespace fs = std::filesystem;

namespace {

fs::path ScreenshotDir()
{
    const char* dir = std::getenv("TENVAREL_SCREENSHOT_DIR");
    fs::path path = dir && *dir ? fs::path(dir) : fs::path(TENVAREL_BUILD_DIR) / "screenshots";
    fs::create_directories(path);
    return path;
}

void Save(TForm* form, const fs::path& file)
{
    RunFor(50);  // let the pending paints happen
    ASSERT_TRUE(SaveFormScreenshot(form, file.string())) << file;
    EXPECT_GT(fs::file_size(file), 1000u) << file;
}

TEST(MainWindowScreenshots, EveryPageAndTheWaitWindow)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    SubmitMain->Show();
    const fs::path dir = ScreenshotDir();

    struct TShot {
        TMainPage page;
        TPageControl* pages;
        TTabSheet* sheet;
        const char* file;
    };
    const TShot shots[] = {
        {pgProjects, SubmitMain->PageControl1, SubmitMain->TabSheet1, "main-0-projects-information.png"},
        {pgProjects, SubmitMain->PageControl1, SubmitMain->TabSheet6, "main-0-projects-import.png"},
        {pgSubmit, SubmitMain->PageControl2, SubmitMain->TabSheet2, "main-1-submit-auto.png"},
        {pgSubmit, SubmitMain->PageControl2, SubmitMain->TabSheet3, "main-1-submit-manual.png"},
        {pgRanking, nullptr, nullptr, "main-2-ranking.png"},
        {pgReports, nullptr, nullptr, "main-3-reports.png"},
        {pgMetaTags, nullptr, nullptr, "main-4-metatags.png"},
        {pgDoorwayPages, nullptr, nullptr, "main-5-doorway.png"},
        {pgAbout, nullptr, nullptr, "main-6-about.png"},
    };
    for (const TShot& shot : shots) {
        SubmitMain->ShowPage(shot.page, shot.pages, shot.sheet);
        Save(SubmitMain, dir / shot.file);
    }

    TWaitWindow wait(SubmitMain, "Please wait while database loads");
    wait.SetItemCount(8);
    wait.Progress("Fjord Batch Service", 5);
    wait.Finish();
    Save(&wait, dir / "wait-window.png");
    EXPECT_TRUE(boxes.Errors.empty());
}

}  // namespace
