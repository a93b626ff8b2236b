// Start-up of the real windows against a temporary installation folder.
#include <gtest/gtest.h>

#include "classlib/IniFiles.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/FileListBox.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "classlib/Panels.h"
#include "classlib/Skin.h"
#include "classlib/TabbedNotebook.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/LedLbl.h"
#include "platform/Messages.h"
#include "workbench/EngineData.h"
#include "workbench/LiveResult.h"
#include "workbench/SubmitMain.h"
#include "workbench/WaitWindow.h"

namespace fs = std::filesystem;

namespace {

struct TRow {
    std::string caption, url, result, date, type;
    bool operator==(const TRow&) const = default;
};

std::vector<TRow> EngineRows()
{
    std::vector<TRow> rows;
    TListItems* items = SubmitMain->ExListView2->Items();
    for (int i = 0; i < items->Count(); ++i) {
        TListItem* item = items->Item(i);
        TStrings* cells = item->SubItems();
        EXPECT_EQ(cells->Count(), 4) << item->Caption();
        EXPECT_EQ(item->ImageIndex(), -1);
        rows.push_back({item->Caption(), cells->Strings(0), cells->Strings(1), cells->Strings(2), cells->Strings(3)});
    }
    return rows;
}

// The engine rows that both source files give, in the engine list's order:
// whole lines sorted ignoring case, marker records left out.
std::vector<TRow> ExpectedRows()
{
    TStringList lines;
    lines.SetSorted(true);
    for (const char* file : {"engines.txt", "custom-engines.txt"}) {
        TStringList source;
        source.LoadFromFile(std::string(TENVAREL_SOURCE_DIR "/appdata/") + file);
        lines.AddStrings(source);
    }
    std::vector<TRow> rows;
    for (int i = 0; i < lines.Count(); ++i) {
        const EngineLine engine = SplitEngineLine(lines.Strings(i));
        if (engine.name != "TARVEN")
            rows.push_back({engine.name, engine.url, "", "", engine.type});
    }
    return rows;
}

bool SomeErrorHolds(const std::vector<std::string>& errors, const std::string& part)
{
    return std::any_of(errors.begin(), errors.end(),
                       [&](const std::string& e) { return e.find(part) != std::string::npos; });
}

TEST(Startup, OpensOnTheInstallation)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);

    EXPECT_EQ(SubmitMain->Caption(), "Tenvarel v1.0");
    EXPECT_EQ(Application->Title(), "Tenvarel v1.0");
    EXPECT_EQ(SubmitMain->HomeLocation, "http://www.example.com/tenvarel");
    EXPECT_EQ(fs::path(SubmitMain->AppFolder), fs::path(folder.Path()));

    const std::vector<TRow> rows = EngineRows();
    EXPECT_EQ(rows, ExpectedRows());
    EXPECT_EQ(rows.size(), 8u);
    // Every record stays in the engine list, the marker too.
    EXPECT_EQ(SubmitMain->EngineList->Count(), 9);
    EXPECT_GE(SubmitMain->EngineList->IndexOfName("TARVEN"), 0);

    // Classifieds 2 + FFA 2 + one batch service standing for 25 sites.
    EXPECT_EQ(SubmitMain->TotalDis->Text(), "29");
    EXPECT_EQ(SubmitMain->ManLED->Text(), "3");
    EXPECT_EQ(SubmitMain->ExListView1->Items()->Count(), 3);
    EXPECT_EQ(SubmitMain->ExListView1->Items()->Item(0)->Caption(), "Kestrel Web Guide");
    EXPECT_EQ(ProjectCount(), "0");

    EXPECT_FALSE(SubmitMain->BitCheckBox4->Checked());
    EXPECT_TRUE(SubmitMain->BitCheckBox5->Checked());
    EXPECT_TRUE(SubmitMain->BitCheckBox6->Checked());
    EXPECT_TRUE(SubmitMain->BitCheckBox7->Checked());
    EXPECT_FALSE(SubmitMain->CustomCk->Checked());

    EXPECT_EQ(SubmitMain->Run().Options.Ports, 10);
    EXPECT_EQ(SubmitMain->Run().Options.Timeout, 40);
    EXPECT_EQ(LiveResult->Ports->Text(), "10");
    EXPECT_EQ(LiveResult->TimeOuts->Text(), "40");

    EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), pgAbout);
    EXPECT_TRUE(SubmitMain->Timer1->Enabled());
    EXPECT_EQ(SubmitMain->Hint.Target(), TFlashTarget::None);
    EXPECT_EQ(SubmitMain->Timer1->Interval(), 500u);
    EXPECT_EQ(SubmitMain->SkinForm1->SkinPath, folder.Path() + "/Vov-EZ.skn");
    EXPECT_EQ(SubmitMain->Image1->Picture()->Width(), 480);
    // The report list shows the reports folder, which is now the current one.
    EXPECT_EQ(fs::path(GetCurrentDir()), fs::path(folder.File("reports")));
    EXPECT_TRUE(SubmitMain->SesList->Sorted());

    // The wait window is gone, and only the six windows are left.
    for (int i = 0; i < Screen->FormCount(); ++i)
        EXPECT_NE(Screen->Forms(i)->Name, "WaitWindow");
    EXPECT_TRUE(SubmitMain->EngineDatabaseLoaded);
    EXPECT_TRUE(SubmitMain->Engines.CustomFileLoaded);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(boxes.Errors.empty());
}

// Watches the wait window's paints: the clock's reading and the item shown at each.
class TWaitPaints : public QObject {
public:
    explicit TWaitPaints(const unsigned& clock) : FClock(clock) {}
    std::vector<unsigned> At;
    std::string LastName, LastCount;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(object);
        if (event->type() != QEvent::Paint || !widget || !SubmitMain)
            return false;
        auto* wait = dynamic_cast<TWaitWindow*>(SubmitMain->FindComponent("WaitWindow"));
        if (wait && widget->window()->windowTitle() == "Please wait while database loads") {
            At.push_back(FClock);
            LastName = wait->EngineValue->Caption();
            LastCount = wait->CountValue->Caption();
        }
        return false;
    }

private:
    const unsigned& FClock;
};

// A database of thousands of engines, with a clock that moves a millisecond
// whenever it is read (about once a record): the wait window is painted at
// least every 33 ms and last shows the last record, and the loops let
// messages through every 16 ms or so, not after every record.
TEST(Startup, ALargeDatabaseKeepsTheWaitWindowPaintedToTheLastRecord)
{
    constexpr int Records = 3000;
    unsigned now = 0;  // outlives the hooks, which the recorder resets
    TInstallFolder folder;
    std::vector<std::string> records;
    for (int i = Records; i > 0; --i)
        records.push_back("Engine " + std::to_string(i) + "=" + (i % 2 ? "Engine" : "FFA") +
                          "|http://e.example.com/add|http://e.example.com/cgi|t|u|e|d||Cat1|");
    folder.Write("data/data.czc", ScrambledEngineFile(records));
    TBoxRecorder boxes;
    GetHooks().tickCount = [&] { return ++now; };
    TWaitPaints paints(now);
    qApp->installEventFilter(&paints);
    // Handled once in every round of messages, however many there are.
    int rounds = 0;
    HWND probe = 0;
    probe = AllocateHWnd([&](TMessage&) {
        ++rounds;
        PostMessage(probe, WM_USER, 0, 0);
    });
    PostMessage(probe, WM_USER, 0, 0);
    {
        TRunningProgram program(folder);
        DeallocateHWnd(probe);
        qApp->removeEventFilter(&paints);

        ASSERT_EQ(SubmitMain->ExListView2->Items()->Count(), Records + 1);  // and the custom engine
        ASSERT_GE(paints.At.size(), 2u);
        unsigned largestGap = 0;
        for (std::size_t i = 1; i < paints.At.size(); ++i)
            largestGap = std::max(largestGap, paints.At[i] - paints.At[i - 1]);
        EXPECT_LE(largestGap, 33u);
        const TStringList& list = *SubmitMain->EngineList;
        EXPECT_EQ(paints.LastName, SplitEngineLine(list.Strings(list.Count() - 1)).name);
        EXPECT_EQ(paints.LastCount, std::to_string(list.Count() - 1));
        // The load and the type filter walk 6,001 items between them; a round
        // of messages after each item would be thousands.
        EXPECT_GT(rounds, 0);
        EXPECT_LT(rounds, Records / 2);
        EXPECT_TRUE(boxes.Errors.empty());
    }
}

TEST(Startup, CaptionFromWhatTheSettingsHold)
{
    struct TCase {
        const char* settings;  // nullptr: no settings file
        const char* caption;
    };
    const TCase cases[] = {
        {"[rur]\r\napp=Tenvarel\r\nversion=2.5\r\n", "Tenvarel v2.5"},
        {"[rur]\r\napp=Tenvarel\r\n", "Tenvarel verror"},
        {"[other]\r\napp=x\r\n", "error verror"},
        {nullptr, "error verror"},
    };
    for (const TCase& c : cases) {
        TInstallFolder folder;
        if (c.settings)
            folder.Write("wkt.ini", c.settings);
        else
            folder.Remove("wkt.ini");
        TBoxRecorder boxes;
        TRunningProgram program(folder);
        EXPECT_EQ(SubmitMain->Caption(), c.caption);
        EXPECT_EQ(SubmitMain->Run().Options.Ports, 10);
        EXPECT_EQ(SubmitMain->Run().Options.Timeout, 40);
    }
}

// A missing engine file is reported, and every step after it still runs:
// the other file's engines, the options, the filter, the manual engines
// and the logo.
TEST(Startup, AMissingEngineFileDoesNotCutStartupShort)
{
    struct TCase {
        std::vector<const char*> removed;
        std::vector<std::string> rows;
        const char* checked;
    };
    const TCase cases[] = {
        {{"data/data.czc"}, {"Harbor Custom Search"}, "0"},
        {{"data/datac.czc"},
         {"Acorn Search", "Blue Directory", "Cedar Classifieds", "Delta Links FFA", "Echo Free Links",
          "Fjord Batch Service", "Granite Market Ads"},
         "29"},
        {{"data/data.czc", "data/datac.czc"}, {}, "0"},
    };
    for (const TCase& c : cases) {
        TInstallFolder folder;
        for (const char* file : c.removed)
            folder.Remove(file);
        TIniFile settings(folder.File("wkt.ini"));
        settings.WriteInteger("SubOptions", "Ports", 5);
        settings.WriteInteger("SubOptions", "Timeout", 30);
        TBoxRecorder boxes;
        TRunningProgram program(folder);

        ASSERT_EQ(boxes.Errors.size(), c.removed.size());
        for (const char* file : c.removed)
            EXPECT_TRUE(SomeErrorHolds(boxes.Errors, "Cannot open file \"" + folder.File(file) + "\"")) << file;
        std::vector<std::string> captions;
        for (const TRow& row : EngineRows())
            captions.push_back(row.caption);
        EXPECT_EQ(captions, c.rows);
        EXPECT_EQ(SubmitMain->TotalDis->Text(), c.checked);
        EXPECT_EQ(SubmitMain->Run().Options.Ports, 5);
        EXPECT_EQ(SubmitMain->Run().Options.Timeout, 30);
        EXPECT_EQ(SubmitMain->ManLED->Text(), "3");
        EXPECT_EQ(SubmitMain->Image1->Picture()->Width(), 480);
        EXPECT_EQ(fs::path(GetCurrentDir()), fs::path(folder.File("reports")));
        EXPECT_EQ(SubmitMain->EngineDatabaseLoaded, c.removed.front() != std::string("data/data.czc"));
        for (int i = 0; i < Screen->FormCount(); ++i)
            EXPECT_NE(Screen->Forms(i)->Name, "WaitWindow");
    }
}

TEST(Startup, AMissingLogoOrManualListLeavesOnlyItsOwnPlaceEmpty)
{
    {
        TInstallFolder folder;
        folder.Remove("logo.jpg");
        TBoxRecorder boxes;
        TRunningProgram program(folder);
        ASSERT_EQ(boxes.Errors.size(), 1u);
        EXPECT_NE(boxes.Errors[0].find("logo.jpg"), std::string::npos);
        EXPECT_EQ(SubmitMain->Image1->Picture()->Graphic(), nullptr);
        EXPECT_EQ(ProjectCount(), "0");
        EXPECT_TRUE(SubmitMain->SesList->Sorted());
        EXPECT_EQ(SubmitMain->ManLED->Text(), "3");
    }
    {
        TInstallFolder folder;
        folder.Remove("data/datam.czc");
        TBoxRecorder boxes;
        TRunningProgram program(folder);
        EXPECT_EQ(boxes.Errors, std::vector<std::string>{"File cannot be opened."});
        EXPECT_EQ(SubmitMain->ManLED->Text(), "0");
        EXPECT_EQ(SubmitMain->Image1->Picture()->Width(), 480);
    }
}

}  // namespace
