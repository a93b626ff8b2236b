// What a keyboard user meets in the program's windows: the Tab order of
// every window, read as a person reads the window, and Shift+Tab the same
// way back; the tool windows that Close and Escape close; what is typed into
// the submission options.
#include <gtest/gtest.h>

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "controls/ImgBtn.h"
#include "platform/Hooks.h"
#include "support/HttpTestServer.h"
#include "support/Keyboard.h"
#include "support/Loop.h"
#include "support/TempDir.h"
#include "support/UserClick.h"
#include "updater/UpdaterWindow.h"
#include "workbench/CustomDatabase.h"
#include "workbench/LiveResult.h"
#include "workbench/Proxyset.h"
#include "workbench/Spider.h"
#include "workbench/SubmitMain.h"
#include "workbench/UpdateBox.h"

namespace {

using Names = std::vector<std::string>;

// The main window's stops before and after a page's own: the project list
// beside the notebook, and the notebook's tabs.
Names MainWindow(std::initializer_list<const char*> page)
{
    Names names = {"SesList", "TabbedNotebook1"};
    names.insert(names.end(), page.begin(), page.end());
    return names;
}

// Runs check while the updater's window stands in the middle of its
// download, which the server holds, and cancels the update after it.
void DuringAnUpdate(HttpTestServer& server, TempDir& work, const std::function<void()>& check)
{
    work.Write("wkt.ini", "[rur]\r\nappname=Tenvarel\r\n[Update]\r\nServer=" + server.Url("") + "\r\n");
    server.Script("/vorna/softup.zrc", HttpTestReply::Held());
    GetHooks().shellOpen = [](const ShellOpenCall&) { return true; };  // the old program, started again
    const CodePageString old = GetCurrentDir();
    SetCurrentDir(work.Path());
    Application->CreateForm(Form1);
    SetCurrentDir(old);
    // The download waits in a loop of its own: the keys are pressed from it.
    bool checked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (checked || server.RequestCount() == 0)
            return;
        checked = true;
        poll.stop();
        check();
        Form1->UpdateAbort->Click();
    });
    poll.start(5);
    Form1->Show();
    EXPECT_TRUE(RunUntil([&] { return checked && !Form1->Showing(); }, 20000));
}

TEST(Keyboard, EveryWindowTabsInReadingOrderAndShiftTabsBack)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    HttpTestServer server;
    TempDir updaterFolder("tenvarel-updater");
    TRunningProgram program(folder);
    SubmitMain->Show();

    struct TWindowCase {
        const char* what;
        std::function<TForm*()> open;  // shows the window as the user finds it; returns it
        std::function<TWinControl*()> first;
        Names order;
        // Runs the check at the moment the window is in the state to look
        // at; by default at once.
        std::function<void(const std::function<void()>&)> during = [](const std::function<void()>& check) { check(); };
    };
    auto page = [](TMainPage index, TPageControl* pages = nullptr, TTabSheet* sheet = nullptr) {
        return [=] {
            SubmitMain->ShowPage(index, pages, sheet);
            return static_cast<TForm*>(SubmitMain);
        };
    };
    auto projectList = [] { return static_cast<TWinControl*>(SubmitMain->SesList); };
    auto none = [] { return static_cast<TWinControl*>(nullptr); };
    const TWindowCase cases[] = {
        {"Project Information", page(pgProjects, SubmitMain->PageControl1, SubmitMain->TabSheet1), projectList,
         MainWindow({"PageControl1", "Session_Name", "urllist", "title", "Description", "Key1", "catagory", "email",
                     // the contact box, one column after the other
                     "name", "LastN", "Company", "Address1", "Address2", "City", "State", "Zip", "Country", "Phone",
                     "Fax"})},
        {"Import Wizard", page(pgProjects, SubmitMain->PageControl1, SubmitMain->TabSheet6), projectList,
         // the radio buttons are one stop, the arrows choose among them
         MainWindow({"PageControl1", "FromUrl", "UrlImp", "TitleImpCk", "TitleImp", "DescriptionImpCk",
                     "DescriptionImp", "Key1ImpCk", "Key1Imp", "SpiderCK"})},
        {"Auto Submit Engines", page(pgSubmit, SubmitMain->PageControl2, SubmitMain->TabSheet2), projectList,
         MainWindow({"PageControl2", "BitCheckBox4", "BitCheckBox5", "BitCheckBox6", "BitCheckBox7", "CustomCk",
                     "ExListView2", "Live"})},
        {"Manual Engines", page(pgSubmit, SubmitMain->PageControl2, SubmitMain->TabSheet3), projectList,
         MainWindow({"PageControl2", "ExListView1"})},
        {"Ranking", page(pgRanking), projectList, MainWindow({"ComboBox1", "RankUrl", "ComboBox2", "RankView"})},
        {"Reports", page(pgReports), projectList,
         MainWindow({"GenReportCk", "HeaderCk", "Header", "SpeedButton1", "FooterCk", "Footer", "SpeedButton2",
                     "TitleRepCk", "TitleRep", "FileListBox1"})},
        {"MetaTags", page(pgMetaTags), projectList,
         MainWindow({"TitleCk", "TitleMet", "DescriptionCk", "DescriptionMet", "Key1Ck", "Key1Met", "AuthorCk",
                     "Author", "CopyrightCk", "CopyRight", "DistCk", "Distribution", "RevisitCk", "Revisit",
                     "RatingCk", "Rating", "RobotsCk", "Robots", "Viewer"})},
        {"Doorway Pages", page(pgDoorwayPages), projectList, MainWindow({"Doorway"})},
        {"About", page(pgAbout), projectList, MainWindow({})},
        // Its buttons are pictures that the mouse presses; nothing takes the focus.
        {"the spider", [] { return static_cast<TForm*>(Spider); }, none, {}},
        {"Submit Options", [] { return static_cast<TForm*>(LiveResult); }, none, {"TimeOuts", "Ports"}},
        {"the custom engine wizard", [] { return static_cast<TForm*>(CustomDatabase); }, none,
         {"KeyList", "SearchCk", "FFACK", "CustomUrl"}},
        {"Proxy Settings", [] { return static_cast<TForm*>(Proxyset); }, none,
         {"RadioButton2", "HttpProxy", "HttpPort", "HttpUsername", "HttpPass"}},
        {"the update window", [] { return static_cast<TForm*>(UpdateBox); }, none, {}},
        {"the updater", [] { return static_cast<TForm*>(Form1); }, none, {"UpdateAbort"},
         [&](const std::function<void()>& check) { DuringAnUpdate(server, updaterFolder, check); }},
    };
    for (const TWindowCase& c : cases) {
        SCOPED_TRACE(c.what);
        c.during([&] {
            TForm* window = c.open();
            const Names order = TabOrderOf(window, c.first());
            EXPECT_EQ(order, c.order);
            if (!order.empty()) {
                // Shift+Tab from the first stop: the last one, and so on back.
                Names back = TabWalk(true);
                std::reverse(back.begin() + 1, back.end());
                EXPECT_EQ(back, c.order);
            }
            if (window != SubmitMain)
                window->Hide();
        });
    }
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(boxes.Errors.empty());
}

// The proxy window and the Submit Options window float over the engine
// list: their Close button closes them, and so does Escape wherever the
// focus is in them. Escape in the main window closes nothing.
TEST(Keyboard, CloseAndEscapeCloseTheToolWindows)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    SubmitMain->Show();
    struct TToolWindow {
        TForm* window;
        TImgBtn* close;
        std::vector<TWinControl*> fields;
    } windows[] = {
        {Proxyset, Proxyset->Button2, {Proxyset->HttpProxy, Proxyset->HttpPass, Proxyset->RadioButton3}},
        {LiveResult, LiveResult->Button3, {LiveResult->TimeOuts, LiveResult->Ports}},
    };
    for (const TToolWindow& w : windows) {
        SCOPED_TRACE(w.window->Caption());
        EXPECT_EQ(w.close->Caption(), "Close");
        ASSERT_TRUE(ShowActive(w.window));
        ClickAt(w.close, 5, 5);
        EXPECT_FALSE(w.window->Showing());
        for (TWinControl* field : w.fields) {
            SCOPED_TRACE(field->Name);
            ASSERT_TRUE(ShowActive(w.window));
            field->SetFocus();
            PressKey(Qt::Key_Escape);
            EXPECT_FALSE(w.window->Showing());
        }
    }
    ASSERT_TRUE(ShowActive(SubmitMain));
    SubmitMain->Session_Name->SetFocus();
    PressKey(Qt::Key_Escape);
    EXPECT_TRUE(SubmitMain->Showing());
    EXPECT_FALSE(Application->Terminated());
    // Nothing was stored on the way out.
    EXPECT_EQ(TIniFile(folder.File("wkt.ini")).ReadString("Proxy", "KeyProxy", "none"), "none");
    EXPECT_TRUE(boxes.Boxes.empty());
}

// The time-out and the port count as a user types them: "5" is stored as 5
// and "2" as 2, not as the first item that begins so.
TEST(Keyboard, TheSubmitOptionsStoreWhatIsTyped)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    SubmitMain->Show();
    ASSERT_TRUE(ShowActive(LiveResult));
    LiveResult->TimeOuts->SetFocus();
    for (int i = 0; i < 2; ++i)
        PressKey(Qt::Key_Backspace);
    TypeText("5");
    PressKey(Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(), "Ports");
    for (int i = 0; i < 2; ++i)
        PressKey(Qt::Key_Backspace);
    TypeText("2");
    ClickAt(LiveResult->Button1, 5, 5);
    const TIniFile settings(folder.File("wkt.ini"));
    EXPECT_EQ(settings.ReadString("SubOptions", "Timeout", ""), "5");
    EXPECT_EQ(settings.ReadString("SubOptions", "Ports", ""), "2");
    EXPECT_EQ(SubmitMain->Run().Options.Timeout, 5);
    EXPECT_EQ(SubmitMain->Run().Options.Ports, 2);
    EXPECT_TRUE(boxes.Boxes.empty());
}

}  // namespace
