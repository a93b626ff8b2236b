// The main window's hint timer, its page menus and the live window check box.
#include <gtest/gtest.h>

#include <string>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Forms.h"
#include "classlib/Gauges.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/TabbedNotebook.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "platform/Messages.h"
#include "workbench/CustomDatabase.h"
#include "workbench/LiveResult.h"
#include "workbench/Spider.h"
#include "workbench/SubmitMain.h"
#include "workbench/WaitWindow.h"

namespace {

TEST(MainWindow, FlashRulesAlternateEachPair)
{
    for (const TFlashRule& rule : FlashRules) {
        SCOPED_TRACE(FlashTargetName(rule.Target));
        EXPECT_EQ(FlashRuleOf(rule.Target), &rule);
        EXPECT_NE(rule.RestGlyph, rule.BrightGlyph);
        EXPECT_EQ(NextFlashGlyph(rule, rule.RestGlyph), rule.BrightGlyph);
        EXPECT_EQ(NextFlashGlyph(rule, rule.BrightGlyph), rule.RestGlyph);
        // A button showing some other glyph (a run's leftover) lights up.
        EXPECT_EQ(NextFlashGlyph(rule, 99), rule.BrightGlyph);
    }
    EXPECT_EQ(FlashRuleOf(TFlashTarget::None), nullptr);
    EXPECT_EQ(FlashRuleOf(static_cast<TFlashTarget>(7)), nullptr);
}

TEST(MainWindow, TimerFlashesTheControlTheHintPointsAt)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    TSubmitMain& main = *SubmitMain;

    struct TCase {
        TFlashTarget target;
        TImgBtn* button;
        int first;
        int second;
    };
    const TCase cases[] = {
        {TFlashTarget::ImportButton, main.Button3, 1, 0},
        {TFlashTarget::SpiderStart, Spider->Button1, 3, 2},
        {TFlashTarget::RankStart, main.Button8, 5, 4},
        {TFlashTarget::SubmitButton, main.Button6, 7, 6},
        {TFlashTarget::WizardImport, CustomDatabase->Button1, 1, 0},
    };
    for (const TCase& c : cases) {
        main.Hint.Show(c.target);
        main.Timer1Timer(main.Timer1);
        EXPECT_EQ(c.button->Tag, c.first) << c.button->Name;
        // Both the shown picture and the normal one are the glyph.
        EXPECT_EQ(c.button->Picture()->Width(), 80);
        EXPECT_EQ(c.button->Pic()->Width(), 80);
        main.Timer1Timer(main.Timer1);
        EXPECT_EQ(c.button->Tag, c.second) << c.button->Name;
    }

    main.Hint.Show(TFlashTarget::ProjectList);
    main.Timer1Timer(main.Timer1);
    EXPECT_EQ(main.SesList->Font()->Color(), clRed);
    EXPECT_EQ(main.SesList->Tag, 1);
    main.Timer1Timer(main.Timer1);
    EXPECT_EQ(main.SesList->Font()->Color(), clBlack);
    EXPECT_EQ(main.SesList->Tag, 0);

    // A hint pointed nowhere changes nothing.
    main.Hint = TFlashHint();
    main.Timer1Timer(main.Timer1);
    for (const TCase& c : cases)
        EXPECT_EQ(c.button->Tag, c.second);
    EXPECT_EQ(main.SesList->Tag, 0);
    EXPECT_TRUE(boxes.Errors.empty());
}

TEST(MainWindow, MenusTurnToTheirPages)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    TSubmitMain& main = *SubmitMain;

    struct TCase {
        TMenuItem* item;
        int page;
        TPageControl* pages;
        TTabSheet* sheet;
    };
    const TCase cases[] = {
        {main.ImportWizard1, pgProjects, main.PageControl1, main.TabSheet6},
        {main.ProjectInformation1, pgProjects, main.PageControl1, main.TabSheet1},
        {main.ManualEngines1, pgSubmit, main.PageControl2, main.TabSheet3},
        {main.AutoSubmitEngines1, pgSubmit, main.PageControl2, main.TabSheet2},
        {main.Ranking1, pgRanking, nullptr, nullptr},
        {main.Reports1, pgReports, nullptr, nullptr},
        {main.DoorwayPages1, pgDoorwayPages, nullptr, nullptr},
    };
    for (const TCase& c : cases) {
        c.item->Click();
        EXPECT_EQ(main.TabbedNotebook1->PageIndex(), c.page) << c.item->Caption();
        if (c.pages) {
            EXPECT_EQ(c.pages->ActivePage(), c.sheet) << c.item->Caption();
        }
    }

    main.EngineDatabase1->Click();
    EXPECT_TRUE(CustomDatabase->Visible());
    main.SubmitOptions1->Click();
    EXPECT_TRUE(LiveResult->Visible());

    std::vector<ShellOpenCall> opened;
    GetHooks().shellOpen = [&](const ShellOpenCall& call) {
        opened.push_back(call);
        return true;
    };
    main.OnlineManual1->Click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].verb, "open");
    EXPECT_EQ(opened[0].file, "http://www.example.com/tenvarel/help.htm");
    EXPECT_EQ(opened[0].show, SW_SHOWNORMAL);
}

TEST(MainWindow, LiveResultsShowsAndHidesTheLiveWindow)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    LiveResult->SetLeft(200);
    LiveResult->SetTop(150);

    SubmitMain->Live->Click();
    EXPECT_TRUE(SubmitMain->Live->Checked());
    EXPECT_TRUE(LiveResult->Visible());
    EXPECT_EQ(LiveResult->Left(), 0);
    EXPECT_EQ(LiveResult->Top(), 0);
    EXPECT_EQ(LiveResult->Tag, 1);

    SubmitMain->Live->Click();
    EXPECT_FALSE(LiveResult->Visible());
    EXPECT_EQ(LiveResult->Tag, 0);
}

TEST(MainWindow, WaitWindowKeepsItsGeometryAndLetsMessagesThroughEvery16Ms)
{
    unsigned now = 100000;  // outlives the hooks, which the recorder resets
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    GetHooks().tickCount = [&] { return now; };

    TWaitWindow wait(SubmitMain, "Please wait while database loads");
    EXPECT_EQ(wait.Caption(), "Please wait while database loads");
    EXPECT_TRUE(wait.Visible());
    EXPECT_EQ(wait.Width(), 350);
    EXPECT_EQ(wait.Height(), 85);
    EXPECT_EQ(wait.BorderStyle(), bsToolWindow);
    EXPECT_EQ(wait.Position(), poScreenCenter);
    EXPECT_EQ(wait.WindowState(), wsNormal);
    EXPECT_EQ(wait.Owner(), SubmitMain);
    struct TPlace {
        TLabel* label;
        const char* caption;
        int left, top;
    };
    for (const TPlace& p : {TPlace{wait.EngineLabel, "Engine: ", 10, 10}, TPlace{wait.EngineValue, " ", 110, 10},
                            TPlace{wait.CountLabel, "Count ", 10, 25}, TPlace{wait.CountValue, " ", 110, 25}}) {
        EXPECT_EQ(p.label->Caption(), p.caption);
        EXPECT_EQ(p.label->Left(), p.left);
        EXPECT_EQ(p.label->Top(), p.top);
        EXPECT_EQ(p.label->Height(), 13);
    }
    EXPECT_EQ(wait.Gauge->Align(), alBottom);
    EXPECT_EQ(wait.Gauge->Height(), 16);
    EXPECT_EQ(wait.Gauge->ForeColor(), clNavy);

    // Messages posted before each step are handled by the steps that show.
    int handled = 0;
    const HWND probe = AllocateHWnd([&](TMessage&) { ++handled; });
    wait.SetItemCount(10);
    EXPECT_EQ(wait.Gauge->MaxValue(), 10);
    struct TStep {
        unsigned at;
        const char* name;
        int index;
        const char* shownName;
        const char* shownCount;
    };
    const TStep steps[] = {
        {100000, "First", 0, "First", "0"},   // the first item shows at once
        {100010, "Second", 1, "First", "0"},  // too soon after the last time
        {100016, "Third", 2, "Third", "2"},
        {100031, "Fourth", 3, "Third", "2"},
        {100032, "Fifth", 4, "Fifth", "4"},
        {100040, "Sixth", 5, "Fifth", "4"},
    };
    int posted = 0;
    int expected = 0;
    for (const TStep& step : steps) {
        now = step.at;
        PostMessage(probe, WM_USER, 0, 0);
        ++posted;
        const bool showing = std::string(step.name) == step.shownName;
        EXPECT_EQ(wait.Progress(step.name, step.index), showing) << step.name;
        if (showing)
            expected = posted;
        EXPECT_EQ(handled, expected) << step.name;
        EXPECT_EQ(wait.EngineValue->Caption(), step.shownName) << step.name;
        EXPECT_EQ(wait.CountValue->Caption(), step.shownCount) << step.name;
    }
    // The last item is shown and painted, however soon it came.
    wait.Finish();
    EXPECT_EQ(wait.EngineValue->Caption(), "Sixth");
    EXPECT_EQ(wait.CountValue->Caption(), "5");
    EXPECT_EQ(wait.Gauge->Progress(), 6);
    EXPECT_EQ(handled, posted);
    DeallocateHWnd(probe);
}

}  // namespace
