// The engine list of the real main window: the type check boxes, the counts
// and Delete Engine, against a temporary installation folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/LedLbl.h"
#include "platform/Messages.h"
#include "workbench/CustomDatabase.h"
#include "workbench/EngineData.h"
#include "workbench/SubmitMain.h"

namespace fs = std::filesystem;

namespace {

// Caption -> checked, for every engine row.
std::map<std::string, bool> Checks()
{
    std::map<std::string, bool> checks;
    TListItems* rows = SubmitMain->ExListView2->Items();
    for (int i = 0; i < rows->Count(); ++i)
        checks[rows->Item(i)->Caption()] = rows->Item(i)->Checked();
    return checks;
}

// The user ticks or clears a row's own check box.
void ClickRowCheck(const std::string& caption)
{
    TListItem* row = RowOf(caption);
    ASSERT_NE(row, nullptr) << caption;
    row->SetChecked(!row->Checked());
    SubmitMain->ExListView2->OnCheckboxClick(SubmitMain->ExListView2, row->Index(), row->Checked());
}

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

const std::string Acorn = "Acorn Search", Blue = "Blue Directory", Cedar = "Cedar Classifieds",
                  Delta = "Delta Links FFA", Echo = "Echo Free Links", Fjord = "Fjord Batch Service",
                  Granite = "Granite Market Ads", Harbor = "Harbor Custom Search";

TEST(EngineList, TypeCheckBoxesCheckTheirGroups)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    TSubmitMain& main = *SubmitMain;

    // Start-up applied every rule: classifieds, FFA and batch on; engines and custom off.
    EXPECT_EQ(Checks(), (std::map<std::string, bool>{{Acorn, false}, {Blue, false}, {Cedar, true}, {Delta, true},
                                                      {Echo, true}, {Fjord, true}, {Granite, true}, {Harbor, false}}));

    // The user's own tick on an engine row survives a click that does not govern it.
    ClickRowCheck(Acorn);
    EXPECT_EQ(main.TotalDis->Text(), "30");
    main.BitCheckBox5->Click();  // Classifieds off
    EXPECT_FALSE(RowOf(Cedar)->Checked());
    EXPECT_FALSE(RowOf(Granite)->Checked());
    EXPECT_TRUE(RowOf(Acorn)->Checked());
    EXPECT_TRUE(RowOf(Fjord)->Checked());  // the batch rule applies to every click
    EXPECT_EQ(main.TotalDis->Text(), "28");

    struct TStep {
        TBitCheckBox* box;
        std::map<std::string, bool> changed;  // rows whose mark the click sets
        const char* total;
    };
    const TStep steps[] = {
        {main.BitCheckBox4, {{Acorn, true}, {Blue, true}}, "29"},
        {main.CustomCk, {{Harbor, true}}, "30"},                  // custom search engines need both boxes
        {main.BitCheckBox7, {{Fjord, false}}, "5"},               // batch rows off, whatever the user set
        {main.BitCheckBox4, {{Acorn, false}, {Blue, false}, {Harbor, false}}, "2"},
        {main.BitCheckBox7, {{Fjord, true}}, "27"},
        {main.BitCheckBox6, {{Delta, false}, {Echo, false}}, "25"},
    };
    for (const TStep& step : steps) {
        std::map<std::string, bool> expected = Checks();
        for (const auto& [caption, checked] : step.changed)
            expected[caption] = checked;
        step.box->Click();
        EXPECT_EQ(Checks(), expected) << step.box->Name;
        EXPECT_EQ(main.TotalDis->Text(), step.total) << step.box->Name;
    }

    // A row click recounts: a batch row counts its sites.
    ClickRowCheck(Fjord);
    EXPECT_EQ(main.TotalDis->Text(), "0");
    ClickRowCheck(Fjord);
    ClickRowCheck(Cedar);
    EXPECT_EQ(main.TotalDis->Text(), "26");
    EXPECT_TRUE(boxes.Errors.empty());
}

// Passes over the rows let messages through now and then. A click handled
// then asks for a pass of its own, which runs once the running pass is done,
// never inside it: every row ends as the last click says.
TEST(EngineList, AClickHandledDuringAPassWaitsForItsEnd)
{
    unsigned now = 0;  // outlives the hooks, which the recorder resets
    constexpr int Ads = 500;
    TInstallFolder folder;
    std::vector<std::string> records;
    for (int i = 0; i < Ads; ++i)
        records.push_back("Ad " + std::to_string(i) + "=Classified|http://ads.example.com/|http://ads.example.com/post|t|u|e|d||Cat2|");
    folder.Write("data/data.czc", ScrambledEngineFile(records));
    TBoxRecorder boxes;
    GetHooks().tickCount = [&] { return ++now; };
    TRunningProgram program(folder);
    TSubmitMain& main = *SubmitMain;
    ASSERT_TRUE(main.BitCheckBox5->Checked());

    // The second click waits in the queue, and comes while the first pass runs.
    int clicks = 0;
    const HWND again = AllocateHWnd([&](TMessage&) {
        ++clicks;
        main.BitCheckBox5->Click();
    });
    PostMessage(again, WM_USER, 0, 0);
    main.BitCheckBox5->Click();  // Classifieds off, and at once on again
    DeallocateHWnd(again);

    ASSERT_EQ(clicks, 1);
    EXPECT_TRUE(main.BitCheckBox5->Checked());
    TListItems* rows = main.ExListView2->Items();
    int checked = 0;
    for (int i = 0; i < rows->Count(); ++i)
        checked += rows->Item(i)->Checked();
    EXPECT_EQ(checked, Ads);  // the custom engine stays off
    EXPECT_EQ(main.TotalDis->Text(), std::to_string(Ads));
    EXPECT_TRUE(boxes.Errors.empty());
}

// A batch type whose count is not a number counts as one site, and the error
// is shown once per pass, however many rows hold it.
TEST(EngineList, AMalformedBatchCountIsShownOncePerPass)
{
    TInstallFolder folder;
    folder.Write("data/data.czc", ScrambledEngineFile({
                                      "Bad One=Batch->many|http://bad1.example.com/|x|",
                                      "Bad Two=Batch->|http://bad2.example.com/|x|",
                                      "Good=Batch->10|http://good.example.com/|x|",
                                  }));
    TBoxRecorder boxes;
    TRunningProgram program(folder);

    EXPECT_EQ(boxes.Errors, std::vector<std::string>{"'many' is not a valid integer value."});
    EXPECT_EQ(SubmitMain->TotalDis->Text(), "12");

    boxes.Errors.clear();
    ClickRowCheck("Good");
    EXPECT_EQ(boxes.Errors.size(), 1u);
    EXPECT_EQ(SubmitMain->TotalDis->Text(), "2");

    boxes.Errors.clear();
    SubmitMain->BitCheckBox7->Click();  // batch off: no row is counted, nothing to report
    EXPECT_TRUE(boxes.Errors.empty());
    EXPECT_EQ(SubmitMain->TotalDis->Text(), "0");
}

TEST(EngineList, DeletingADatabaseEngineRewritesOnlyTheDatabase)
{
    TInstallFolder folder;
    const std::vector<std::string> before = EngineFileLines(folder.File("data/data.czc"));
    const std::string customBytes = folder.Read("data/datac.czc");
    TBoxRecorder boxes;
    TRunningProgram program(folder);

    SubmitMain->AutoSubmitEngines1Click(nullptr);
    SubmitMain->ExListView2->SetSelected(RowOf(Blue));
    SubmitMain->DeleteEngine1->Click();

    EXPECT_EQ(RowOf(Blue), nullptr);
    EXPECT_LT(SubmitMain->EngineList->IndexOfName(Blue), 0);
    std::vector<std::string> expected;
    for (const std::string& line : before)
        if (line.rfind(Blue + "=", 0) != 0)
            expected.push_back(line);
    // Every other record is kept, the marker too; custom engines stay out.
    EXPECT_EQ(Sorted(EngineFileLines(folder.File("data/data.czc"))), Sorted(expected));
    EXPECT_EQ(folder.Read("data/datac.czc"), customBytes);
    EXPECT_EQ(SubmitMain->TotalDis->Text(), "29");
    EXPECT_TRUE(boxes.Boxes.empty());

    // Deleting a checked engine lowers the count.
    SubmitMain->ExListView2->SetSelected(RowOf(Cedar));
    SubmitMain->DeleteEngine1->Click();
    EXPECT_EQ(SubmitMain->TotalDis->Text(), "28");
    EXPECT_EQ(EngineFileLines(folder.File("data/data.czc")).size(), before.size() - 2);
}

TEST(EngineList, DeletingACustomEngineRemovesItFromTheWizardAndTheCustomFile)
{
    TInstallFolder folder;
    const std::string databaseBytes = folder.Read("data/data.czc");
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    ASSERT_EQ(CustomDatabase->KeyList->Items()->Count(), 1);

    SubmitMain->ExListView2->SetSelected(RowOf(Harbor));
    SubmitMain->DeleteEngine1->Click();

    EXPECT_EQ(RowOf(Harbor), nullptr);
    EXPECT_EQ(CustomDatabase->KeyList->Items()->Count(), 0);
    EXPECT_TRUE(EngineFileLines(folder.File("data/datac.czc")).empty());
    EXPECT_EQ(folder.Read("data/data.czc"), databaseBytes);
    EXPECT_TRUE(boxes.Boxes.empty());
}

// A custom engine may share its name with a database engine: the wizard's
// delete and its rewrite of the custom file keep to the custom records.
TEST(EngineList, ACustomEngineNamedLikeADatabaseEngineKeepsBothApart)
{
    TInstallFolder folder;
    const std::string databaseBytes = folder.Read("data/data.czc");
    const std::string harbor = EngineFileLines(folder.File("data/datac.czc")).at(0);
    // "Classified" sorts before "Custom->", so the database record comes first.
    const std::string cedar = Cedar + "=Custom->Classified|http://cedar.example.net/add|http://cedar.example.net/go|";
    folder.Write("data/datac.czc", ScrambledEngineFile({harbor, cedar}));
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    TListBox& keys = *CustomDatabase->KeyList;
    ASSERT_EQ(keys.Items()->Count(), 2);
    const auto rowsNamed = [](const std::string& caption, const std::string& type) {
        int n = 0;
        TListItems* rows = SubmitMain->ExListView2->Items();
        for (int i = 0; i < rows->Count(); ++i)
            n += rows->Item(i)->Caption() == caption && rows->Item(i)->SubItems()->Strings(3) == type;
        return n;
    };
    ASSERT_EQ(rowsNamed(Cedar, "Classified"), 1);
    ASSERT_EQ(rowsNamed(Cedar, "Custom->Classified"), 1);

    // The rewrite after deleting Harbor keeps the custom Cedar record.
    keys.SetItemIndex(keys.Items()->IndexOf(Harbor));
    CustomDatabase->Delete1Click(nullptr);
    EXPECT_EQ(EngineFileLines(folder.File("data/datac.czc")), std::vector<std::string>{cedar});

    // Deleting the custom Cedar takes its own record and row, not the database's.
    keys.SetItemIndex(keys.Items()->IndexOf(Cedar));
    CustomDatabase->Delete1Click(nullptr);
    EXPECT_TRUE(EngineFileLines(folder.File("data/datac.czc")).empty());
    EXPECT_EQ(rowsNamed(Cedar, "Classified"), 1);
    EXPECT_EQ(rowsNamed(Cedar, "Custom->Classified"), 0);
    const int line = SubmitMain->EngineList->IndexOfName(Cedar);
    ASSERT_GE(line, 0);
    EXPECT_EQ(SplitEngineLine(SubmitMain->EngineList->Strings(line)).type, "Classified");
    EXPECT_EQ(SubmitMain->EngineList->IndexOf(cedar), -1);
    EXPECT_EQ(folder.Read("data/data.czc"), databaseBytes);
    EXPECT_TRUE(boxes.Boxes.empty());
}

// The database as the installation has it, plus what the list does not
// hold: a custom record, a repeated line, blank lines and lines that are no
// engine records.
TEST(EngineList, DeletingADatabaseEngineTakesOnlyItsOwnLine)
{
    TInstallFolder folder;
    const std::string installed = UnscrambleBytes(folder.Read("data/data.czc"), EngineCipherStart);
    const std::string acorn = installed.substr(0, installed.find("\r\n") + 2);
    ASSERT_EQ(acorn.rfind(Acorn + "=", 0), 0u);
    const std::string text = installed + acorn + "\r\n\r\nnot an engine record\r\n" +
                             "Stray Custom=Custom->FFA|http://c.example.com/|http://c.example.com/go|\r\n" +
                             "\x01\x02|||\r\n\r\n";
    folder.Write("data/data.czc", ScrambleBytes(text, EngineCipherStart));
    const std::string customBytes = folder.Read("data/datac.czc");
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{{"2 lines of data.czc are not engine records and were left out.",
                                                          "Engine File", MB_OK | MB_ICONEXCLAMATION}}));
    EXPECT_NE(RowOf("Stray Custom"), nullptr);
    EXPECT_EQ(SubmitMain->ExListView2->Items()->Count(), 9);  // the installation's 8 and the stray custom one

    SubmitMain->AutoSubmitEngines1Click(nullptr);
    SubmitMain->ExListView2->SetSelected(RowOf(Blue));
    SubmitMain->DeleteEngine1->Click();
    EXPECT_EQ(RowOf(Blue), nullptr);
    std::string expected = text;
    const std::size_t blue = expected.find(Blue + "=");
    ASSERT_NE(blue, std::string::npos);
    expected.erase(blue, expected.find("\r\n", blue) + 2 - blue);
    EXPECT_EQ(UnscrambleBytes(folder.Read("data/data.czc"), EngineCipherStart), expected);
    EXPECT_EQ(folder.Read("data/datac.czc"), customBytes);

    // A repeated line is one engine: deleting it takes every copy, or it would come back.
    SubmitMain->ExListView2->SetSelected(RowOf(Acorn));
    SubmitMain->DeleteEngine1->Click();
    std::string withoutAcorn = expected;
    for (std::size_t at = withoutAcorn.find(acorn); at != std::string::npos; at = withoutAcorn.find(acorn))
        withoutAcorn.erase(at, acorn.size());
    EXPECT_EQ(UnscrambleBytes(folder.Read("data/data.czc"), EngineCipherStart), withoutAcorn);
    EXPECT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_TRUE(boxes.Errors.empty());
}

TEST(EngineList, AnEngineFileOfRandomBytesIsToldOnceAndGivesNoJunkRows)
{
    TInstallFolder folder;
    std::mt19937 random(20261209);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xFF);
    folder.Write("data/data.czc", noise);
    TBoxRecorder boxes;
    TRunningProgram program(folder);

    ASSERT_EQ(boxes.Boxes.size(), 1u);
    const MessageBoxCall& box = boxes.Boxes[0];
    EXPECT_EQ(box.caption, "Engine File");
    const std::string tail = " lines of data.czc are not engine records and were left out.";
    ASSERT_GT(box.text.size(), tail.size());
    EXPECT_EQ(box.text.substr(box.text.size() - tail.size()), tail);
    EXPECT_GT(std::stoi(box.text), 100);
    // The custom engine of the installation, and hardly a line of noise that happens to look like a record.
    EXPECT_NE(RowOf(Harbor), nullptr);
    EXPECT_LE(SubmitMain->ExListView2->Items()->Count(), 3);
}

TEST(EngineList, DeletingWithoutASelectionSaysSo)
{
    TInstallFolder folder;
    const std::string manualBytes = folder.Read("data/datam.czc");
    TBoxRecorder boxes;
    TRunningProgram program(folder);

    SubmitMain->AutoSubmitEngines1Click(nullptr);
    SubmitMain->DeleteEngine1->Click();
    SubmitMain->ManualEngines1Click(nullptr);
    SubmitMain->DeleteEngine1->Click();

    ASSERT_EQ(boxes.Boxes.size(), 2u);
    for (const MessageBoxCall& box : boxes.Boxes) {
        EXPECT_EQ(box.text, "You have not selected an item to Delete");
        EXPECT_EQ(box.caption, "No Item");
        EXPECT_EQ(box.flags, MB_OK | MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(SubmitMain->ExListView2->Items()->Count(), 8);
    EXPECT_EQ(folder.Read("data/datam.czc"), manualBytes);
}

TEST(EngineList, DeletingManualEnginesRewritesTheManualListDownToEmpty)
{
    TInstallFolder folder;
    {
        TBoxRecorder boxes;
        TRunningProgram program(folder);
        SubmitMain->ManualEngines1Click(nullptr);
        TListItems* rows = SubmitMain->ExListView1->Items();

        SubmitMain->ExListView1->SetSelected(rows->Item(1));
        SubmitMain->DeleteEngine1->Click();
        EXPECT_EQ(folder.Read("data/datam.czc"),
                  "Kestrel Web Guide,http://guide.example.com/,http://guide.example.com/suggest.html\r\n"
                  "Meadow Links,http://meadow.example.org/,http://meadow.example.org/submit\r\n");
        EXPECT_EQ(SubmitMain->ManLED->Text(), "2");

        while (rows->Count() > 0) {
            SubmitMain->ExListView1->SetSelected(rows->Item(0));
            SubmitMain->DeleteEngine1->Click();
        }
        EXPECT_EQ(SubmitMain->ManLED->Text(), "0");
        EXPECT_TRUE(fs::exists(folder.File("data/datam.czc")));
        EXPECT_EQ(fs::file_size(folder.File("data/datam.czc")), 0u);
        EXPECT_TRUE(boxes.Boxes.empty());
        // No temporary file is left beside it.
        int files = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.File("data")))
            ++files;
        EXPECT_EQ(files, 5);  // the four data files and the session folder
    }
    // The deleted engines do not come back at the next start.
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    EXPECT_EQ(SubmitMain->ExListView1->Items()->Count(), 0);
    EXPECT_EQ(SubmitMain->ManLED->Text(), "0");
}

// Lines the list view can not give back as they are: one of more than 1,024
// fields, an unclosed quote, text after a closing quote; and line ends of
// every kind.
TEST(EngineList, DeletingAManualEngineLeavesEveryOtherLineAsItWas)
{
    TInstallFolder folder;
    std::string wide = "Wide Engine";
    for (int field = 0; field < 2000; ++field)
        wide += ",f" + std::to_string(field);
    std::vector<std::string> lines = {
        "Kestrel Web Guide,http://guide.example.com/,http://guide.example.com/suggest.html\r\n",
        wide + "\r\n",
        "\"Unclosed,http://u.example.com/,http://u.example.com/add\r\n",
        "\"Quoted\" and more,http://q.example.com/,http://q.example.com/add\r\n",
        "Meadow Links,http://meadow.example.org/,http://meadow.example.org/submit\n",
        "Last Row,http://last.example.com/,http://last.example.com/add",
    };
    const auto joined = [&] {
        std::string bytes;
        for (const std::string& line : lines)
            bytes += line;
        return bytes;
    };
    folder.Write("data/datam.czc", joined());
    {
        TBoxRecorder boxes;
        TRunningProgram program(folder);
        SubmitMain->ManualEngines1Click(nullptr);
        TListItems* rows = SubmitMain->ExListView1->Items();
        ASSERT_EQ(rows->Count(), 6);

        for (const int row : {0, 3, 3}) {  // Kestrel, then Meadow, then the last row
            SCOPED_TRACE(row);
            SubmitMain->ExListView1->SetSelected(rows->Item(row));
            SubmitMain->DeleteEngine1->Click();
            lines.erase(lines.begin() + row);
            EXPECT_EQ(folder.Read("data/datam.czc"), joined());
            EXPECT_EQ(SubmitMain->ManLED->Text(), std::to_string(lines.size()));
        }
        EXPECT_TRUE(boxes.Boxes.empty());
        EXPECT_TRUE(boxes.Errors.empty());
    }
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    EXPECT_EQ(SubmitMain->ExListView1->Items()->Count(), 3);
}

// An engine file that could not be read at start is never rewritten from the
// lists, which lack its records: the delete says so and changes nothing.
TEST(EngineList, AFileThatFailedToLoadIsNotRewritten)
{
    struct TCase {
        const char* missing;  // the file that is not there at start
        const char* other;    // the file that is, with a record of the other kind
        std::string record;
        const char* caption;
    };
    const TCase cases[] = {
        {"data/data.czc", "data/datac.czc", "Stray Engine=Engine|http://stray.example.com/|x|", "Stray Engine"},
        {"data/datac.czc", "data/data.czc", "Stray Custom=Custom->FFA|http://stray.example.com/|x|",
         "Stray Custom"},
    };
    for (const TCase& c : cases) {
        TInstallFolder folder;
        folder.Remove(c.missing);
        folder.Write(c.other, ScrambledEngineFile({c.record}));
        TBoxRecorder boxes;
        TRunningProgram program(folder);
        ASSERT_EQ(boxes.Errors.size(), 1u);

        SubmitMain->ExListView2->SetSelected(RowOf(c.caption));
        SubmitMain->DeleteEngine1->Click();

        ASSERT_EQ(boxes.Boxes.size(), 1u) << c.caption;
        EXPECT_EQ(boxes.Boxes[0].caption, "Engine File Not Loaded");
        EXPECT_NE(boxes.Boxes[0].text.find(folder.File(c.missing)), std::string::npos) << boxes.Boxes[0].text;
        EXPECT_NE(RowOf(c.caption), nullptr);
        EXPECT_FALSE(fs::exists(folder.File(c.missing)));
        EXPECT_EQ(EngineFileLines(folder.File(c.other)), std::vector<std::string>{c.record});
    }
}

}  // namespace
