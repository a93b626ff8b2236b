// Renders the main window on each page (and each sheet of the two pages that
// hold sheets) and the wait window to PNG files for a person to look at:
// TENVAREL_SCREENSHOT_DIR, or screenshots/ in the build folder. The cases of
// MainWindowShotsForLooking only draw (ctest label "look"); those of
// MainWindowScreenshots also check what the window did on the way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/TabbedNotebook.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "platform/Hooks.h"
#include "support/ControlWindows.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/ShopProject.h"
#include "workbench/ProjectData.h"
#include "workbench/Proxyset.h"
#include "workbench/Spider.h"
#include "workbench/SubmitData.h"
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
    EXPECT_TRUE(RunPendingEvents());  // the pending layouts and paints
    ASSERT_TRUE(SaveFormScreenshot(form, file.string())) << file;
    EXPECT_GT(fs::file_size(file), 1000u) << file;
}

TEST(MainWindowShotsForLooking, EveryPageAndTheWaitWindow)
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

// The three lists with the rows a person sees: the engine list after a run,
// one row selected; the ranking list with its markup cells; the manual list.
TEST(MainWindowShotsForLooking, TheThreeListsWithRows)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    SubmitMain->Show();
    const fs::path dir = ScreenshotDir();

    TExListView* engines = SubmitMain->ExListView2;
    const CodePageString when = "12/10/2026 11:21:24 AM";  // short date and long time
    const struct {
        int image;
        const char* result;
    } results[] = {{RowImageSuccessful, "OK"},
                   {RowImageFailed, "can't resolve hostname to IP address"},
                   {RowImageSuccessful, "OK"},
                   {RowImageTimedOut, "Timed Out"},
                   {RowImageFailed, "Not Found"},
                   {RowImageSuccessful, "OK"},
                   {RowImageRunning, ""}};
    for (int i = 0; i < engines->Items()->Count() && i < int(std::size(results)); ++i) {
        engines->SetCellText(2, i, results[i].result);
        engines->SetCellText(3, i, results[i].result[0] ? when : "");
        engines->Items()->Item(i)->SetImageIndex(results[i].image);
    }
    engines->Items()->Item(1)->SetSelected(true);
    SubmitMain->ShowPage(pgSubmit, SubmitMain->PageControl2, SubmitMain->TabSheet2);
    Save(SubmitMain, dir / "list-engines-after-run.png");
    // The list is wider than its page: the same rows scrolled to the Date and Type columns.
    engines->Scroll(1 << 20, 0);
    Save(SubmitMain, dir / "list-engines-after-run-right.png");
    engines->Scroll(-(1 << 20), 0);

    TExListView* rank = SubmitMain->RankView;
    const CodePageString query = "http://www.google.com/search?q=web+promotion&hl=en&lr=&safe=off&start=0&sa=N";
    rank->SetCellText(1, 5, "<IMG src=\"idx:2\"><a href=\"" + query + "\">You Ranked #3</a> | " +
                                "<IMG src=\"idx:2\"><a href=\"" + query + "\">You Ranked #7</a> | ");
    rank->SetCellText(2, 5, "12/10/2026");
    rank->Items()->Item(5)->SetImageIndex(RowImageSuccessful);
    rank->SetCellText(1, 11, "<IMG src=\"idx:0\"><b></b>URL not found in top <b>10</b> Results");
    rank->SetCellText(2, 11, "12/10/2026");
    rank->Items()->Item(11)->SetImageIndex(RowImageFailed);
    rank->Items()->Item(7)->SetImageIndex(RowImageRunning);
    SubmitMain->ShowPage(pgRanking);
    Save(SubmitMain, dir / "list-ranking.png");

    TExListView* manual = SubmitMain->ExListView1;
    if (manual->Items()->Count() > 1)
        manual->Items()->Item(1)->SetSelected(true);
    SubmitMain->ShowPage(pgSubmit, SubmitMain->PageControl2, SubmitMain->TabSheet3);
    Save(SubmitMain, dir / "list-manual.png");
    EXPECT_TRUE(boxes.Errors.empty());
}

// The import wizard after a page was imported, and the spider window in the
// middle of a crawl (its fourth page held back by the server).
TEST(MainWindowScreenshots, ImportWizardAndSpider)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    HttpTestServer server;
    SubmitMain->Show();
    const fs::path dir = ScreenshotDir();

    server.Script("/shop.htm",
                  HttpTestReply::Ok("<html><head><title>Fine Shop for Cats</title>"
                                    "<meta name=\"description\" content=\"Everything a cat wants, sold with care "
                                    "by people who know cats\"><meta name=\"keywords\" content=\"cats, mice, toys, "
                                    "baskets, scratching posts\"></head><body></body></html>"));
    SubmitMain->ImportWizard1Click(SubmitMain->ImportWizard1);
    SubmitMain->UrlImp->SetText(server.Url("/shop.htm"));
    SubmitMain->Button3Click(SubmitMain->Button3);
    ASSERT_TRUE(RunUntil([] { return SubmitMain->ImportState() == TSubmitMain::TImportState::Idle; }));
    Save(SubmitMain, dir / "main-0-projects-import-done.png");

    for (int i = 0; i < 6; ++i) {
        const std::string next = "p" + std::to_string(i + 1) + ".htm";
        server.Script("/site/p" + std::to_string(i) + ".htm",
                      HttpTestReply::Ok("<title>Page " + std::to_string(i) + "</title><a href=\"" + next +
                                        "\">n</a><a href=\"x" + next + "\">x</a>"));
    }
    server.Script("/site/p3.htm", HttpTestReply::Held());
    server.SetDefault(HttpTestReply::Status("HTTP/1.0 404 Not Found"));
    SubmitMain->SpiderCK->SetChecked(true);
    SubmitMain->UrlImp->SetText(server.Url("/site/p0.htm"));
    SubmitMain->Button3Click(SubmitMain->Button3);
    ASSERT_NE(Spider, nullptr);
    Spider->Button1Click(Spider->Button1);
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() >= 7; }));
    Save(Spider, dir / "spider-running.png");
    Save(SubmitMain, dir / "main-0-projects-import-spidering.png");
    Spider->Button2Click(Spider->Button2);
    ASSERT_TRUE(RunUntil([] { return SubmitMain->ImportState() == TSubmitMain::TImportState::Idle; }));
    EXPECT_TRUE(boxes.Errors.empty());
}

// The MetaTags page after Generate Tags, its block coloured by the viewer's rules.
TEST(MainWindowShotsForLooking, TheMetaTagsPageWithAGeneratedBlock)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    SubmitMain->Show();
    SubmitMain->title->SetText("Handmade Cat Toys - \"Whisker Works\"");
    SubmitMain->Description->SetText("Knitted mice, feather wands and catnip pillows, made to order.");
    SubmitMain->Key1->SetText("cat toys,catnip,knitted mice,feather wand");
    SubmitMain->name->SetText("Ann");
    SubmitMain->LastN->SetText("Lee");
    SubmitMain->Company->SetText("Whisker Works Ltd");
    SubmitMain->DistCk->SetChecked(true);
    SubmitMain->RobotsCk->SetChecked(true);
    PressGenerateTags();
    Save(SubmitMain, ScreenshotDir() / "main-4-metatags-generated.png");
    EXPECT_TRUE(boxes.Errors.empty());
}

// The MetaTags page after a project with long texts was loaded: every field
// shows its first letters.
TEST(MainWindowShotsForLooking, TheMetaTagsPageFilledByAProject)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    WriteProjectFile(folder.Path(), LongTextsProject());
    SaveProjectList(folder.Path(), {"Acme"});
    TRunningProgram program(folder);
    SubmitMain->Show();
    SubmitMain->SesList->SetItemIndex(0);
    SubmitMain->SesListClick(SubmitMain->SesList);
    SubmitMain->ShowPage(pgMetaTags);
    Save(SubmitMain, ScreenshotDir() / "main-4-metatags-project.png");
    EXPECT_TRUE(boxes.Errors.empty());
}

// The proxy window refusing a port at Save, with its message box as the
// toolkit shows it over the window (the box's caption drawn above it, since
// the offscreen platform draws no window frames).
TEST(MainWindowScreenshots, TheProxyWindowRefusingAPort)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    SubmitMain->Show();
    Proxyset->Show();
    Proxyset->RadioButton2->SetChecked(true);
    Proxyset->HttpProxy->SetText("proxy.example.com");
    Proxyset->HttpPort->SetText("99999");
    Proxyset->HttpUsername->SetText("ann");
    Proxyset->HttpPass->SetText("secret");
    EXPECT_TRUE(RunPendingEvents());
    const QPixmap window = QPixmap::fromImage(PictureOf(Proxyset));

    GetHooks().messageBox = nullptr;  // the real box
    QPixmap box;
    QString caption;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!shown)
            return;
        poll.stop();
        shown->ensurePolished();
        box = shown->grab();
        caption = shown->windowTitle();
        shown->button(QMessageBox::Ok)->click();
    });
    poll.start(5);
    Proxyset->Button1->Click();
    ASSERT_FALSE(box.isNull());
    EXPECT_EQ(caption, "Proxy Settings");

    const int bar = 20;
    // The box over the foot of the window, so that the fields stay in sight.
    const int boxTop = window.height() - 24;
    QPixmap shot(std::max(window.width(), box.width() + 40), boxTop + bar + box.height() + 12);
    shot.fill(Qt::darkGray);
    QPainter painter(&shot);
    painter.drawPixmap(0, 0, window);
    const QRect frame((shot.width() - box.width()) / 2, boxTop, box.width(), box.height() + bar);
    painter.fillRect(frame.adjusted(-1, -1, 1, 1), Qt::black);
    painter.fillRect(QRect(frame.left(), frame.top(), frame.width(), bar), QColor(0, 0, 128));
    painter.setPen(Qt::white);
    painter.drawText(QRect(frame.left() + 6, frame.top(), frame.width() - 6, bar), Qt::AlignVCenter, caption);
    painter.drawPixmap(frame.left(), frame.top() + bar, box);
    painter.end();
    const fs::path file = ScreenshotDir() / "proxy-port-refused.png";
    ASSERT_TRUE(shot.save(QString::fromStdString(file.string())));
    EXPECT_GT(fs::file_size(file), 1000u);
    // Nothing was stored.
    EXPECT_EQ(TIniFile(folder.File("wkt.ini")).ReadString("Proxy", "ProxyPort", "none"), "none");
    EXPECT_TRUE(boxes.Errors.empty());
}

}  // namespace
