// The main window's "Submit" page and its view of the submission run:
// building the page, the live window's check box, Submit and Stop, each
// project's work list taken from the checked rows, and the run's results in
// the rows and on the LEDs. The run itself (SubmissionRun.cpp) keeps the
// queue, the requests in flight and the counters.
//
// The run processes messages between requests, so every path here is
// written to be entered again: every step checks the run's state again after
// a call that pumps messages.
#include "workbench/SubmitMain.h"

#include <optional>
#include <vector>

#include "classlib/CheckListBox.h"
#include "classlib/Dates.h"
#include "classlib/FileListBox.h"
#include "classlib/Files.h"
#include "classlib/ImgList.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "platform/Hooks.h"
#include "workbench/EngineData.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/LiveResult.h"
#include "workbench/SubmitData.h"
#include "workbench/WaitWindow.h"

namespace {

inline constexpr const char* CategoryMapFileName = "\\data\\catagory.zro";

// Columns of an engine row (sub-items).
constexpr int UrlColumn = 0;
constexpr int ResultColumn = 1;
constexpr int DateColumn = 2;
constexpr int TypeColumn = 3;

// The Submit button's resting glyph in ImageList2.
constexpr int SubmitRestGlyph = 6;

// The record of an engine row: the value part of its EngineList line, found
// by binary search in the sorted list (lines sharing the prefix "name=" lie
// together there); "" when the engine is not in the list. Two records may
// share a name: the one that also has the row's type and address is the
// row's, else the first of the name.
CodePageString EngineRecordOf(const TStringList& engines, const CodePageString& name, const CodePageString& type,
                          const CodePageString& url)
{
    const CodePageString key = name + "=";
    const auto isRows = [&](const CodePageString& line) {
        const EngineLine engine = SplitEngineLine(line);
        return engine.type == type && engine.url == url;
    };
    if (engines.Sorted()) {
        int index = 0;
        engines.Find(key, index);
        int first = -1;
        for (int i = index; i < engines.Count(); ++i) {
            const CodePageString& line = engines.StringRef(i);
            if (line.size() < key.size() || !SameText(line.substr(0, key.size()), key))
                break;
            if (first < 0)
                first = i;
            if (isRows(line))
                return line.substr(key.size());
        }
        return first < 0 ? CodePageString() : engines.StringRef(first).substr(key.size());
    }
    const int index = engines.IndexOfName(name);
    return index < 0 ? CodePageString() : engines.StringRef(index).substr(key.size());
}

// Writes a cell of an engine row, adding the cells before it when missing.
void SetResultCell(TListItem& row, int column, const CodePageString& text)
{
    TStrings* cells = row.SubItems();
    while (cells->Count() <= column)
        cells->Add("");
    if (row.SubItemRef(column) != text)
        cells->SetStrings(column, text);
}

}  // namespace

// --- the page --------------------------------------------------------------------------------

void TSubmitMain::BuildSubmitPage(TWinControl* page)
{
    PageControl2 = PlaceClient<TPageControl>(this, page, "PageControl2", page->ClientWidth(), page->ClientHeight());

    TabSheet2 = NewComponent<TTabSheet>(this, "TabSheet2");
    TabSheet2->SetCaption("Auto Submit Engines");
    TabSheet2->SetPageControl(PageControl2);
    TWinControl* sheet = TabSheet2;

    BitCheckBox4 = PlaceBitCheck(this, sheet, "BitCheckBox4", "Search Engines", 8, 8, 116, false);
    BitCheckBox5 = PlaceBitCheck(this, sheet, "BitCheckBox5", "Classifieds", 128, 8, 96, true);
    BitCheckBox6 = PlaceBitCheck(this, sheet, "BitCheckBox6", "FFA/Classifieds", 228, 8, 118, true);
    BitCheckBox7 = PlaceBitCheck(this, sheet, "BitCheckBox7", "Batch Sites", 350, 8, 96, true);
    CustomCk = PlaceBitCheck(this, sheet, "CustomCk", "Custom Engines", 450, 8, 124, false);
    BitCheckBox4->OnClick = Calls(&TSubmitMain::BitCheckBox4Click);
    BitCheckBox5->OnClick = Calls(&TSubmitMain::BitCheckBox5Click);
    BitCheckBox6->OnClick = Calls(&TSubmitMain::BitCheckBox6Click);
    BitCheckBox7->OnClick = Calls(&TSubmitMain::BitCheckBox7Click);
    CustomCk->OnClick = Calls(&TSubmitMain::CustomCkClick);

    ExListView2 = Place<TExListView>(this, sheet, "ExListView2", 8, 32, 588, 406);
    DressListView(*ExListView2, true);
    // Wide enough for a run's longest result ("can't resolve hostname to IP
    // address") and a whole date and time; the list scrolls sideways to Type.
    AddColumns(*ExListView2, {{"Engines", 150}, {"URL", 160}, {"Result", 185}, {"Date", 128}, {"Type", 95}});
    ExListView2->SetSmallImages(ImageList1);
    ExListView2->SetPopupMenu(PopupMenu1);
    ExListView2->OnCheckboxClick = [this](TObject* sender, int item, bool state) {
        ExListView2CheckboxClick(sender, item, state);
    };

    struct TCounter {
        TLedLabel** led;
        const char* name;
        const char* caption;
        const char* labelName;
        TLedTone tone;
    };
    const TCounter counters[] = {{&TotalDis, "TotalDis", "Sites Checked", "Label27", RedLed},
                                 {&LedLabel2, "LedLabel2", "Successful", "Label28", GreenLed},
                                 {&LedLabel3, "LedLabel3", "Failed", "Label29", RedLed},
                                 {&LedLabel4, "LedLabel4", "Timed Out", "Label30", YellowLed}};
    int left = 8;
    for (const TCounter& c : counters) {
        PlaceLabel(this, sheet, c.labelName, c.caption, left, 446);
        *c.led = PlaceLed(this, sheet, c.name, left, 462, 6, 15, 30, c.tone);
        left += 102;
    }

    Button6 = PlaceButton(this, sheet, "Button6", "Submit", 428, 446);
    Button7 = PlaceButton(this, sheet, "Button7", "Stop", 516, 446);
    Button7->SetEnabled(false);
    // Submission: Submit and Stop, and rows deleted during a run (SubmitMainSubmit.cpp).
    Button6->OnClick = Calls(&TSubmitMain::Button6Click);
    Button7->OnClick = Calls(&TSubmitMain::Button7Click);
    ExListView2->OnDeletion = [this](TObject*, TListItem* row) { EngineRowDeleted(row); };
    Live = PlaceBitCheck(this, sheet, "Live", "Live Results", 428, 474, 120, false);
    Live->OnClick = Calls(&TSubmitMain::LiveClick);

    TabSheet3 = NewComponent<TTabSheet>(this, "TabSheet3");
    TabSheet3->SetCaption("Manual Engines");
    TabSheet3->SetPageControl(PageControl2);
    sheet = TabSheet3;
    ExListView1 = Place<TExListView>(this, sheet, "ExListView1", 8, 8, 588, 430);
    DressListView(*ExListView1, false);
    AddColumns(*ExListView1, {{"Engines", 150}, {"Home Page", 200}, {"Submit Here", 226}});
    ExListView1->SetPopupMenu(PopupMenu1);
    PlaceLabel(this, sheet, "Label31", "Manual Engines", 8, 446);
    ManLED = PlaceLed(this, sheet, "ManLED", 8, 462, 5, 15, 30);

    PageControl2->SetActivePage(TabSheet2);
}

void TSubmitMain::LiveClick(TObject*)
{
    if (!LiveResult)
        return;
    // The window only shows the run; hiding it leaves the requests running.
    if (Live->Checked()) {
        // At the screen's corner, not where the window would first place itself.
        LiveResult->SetPosition(poDesigned);
        LiveResult->SetTop(0);
        LiveResult->SetLeft(0);
        LiveResult->Show();
        LiveResult->Tag = 1;
    } else {
        LiveResult->Hide();
        LiveResult->Tag = 0;
    }
}

// --- the run's view ------------------------------------------------------------------------

void TSubmitMain::WireSubmissionRun()
{
    TSubmissionRun::TView& view = FRun->View;
    view.CountChanged = [this](ResultClass kind, long long value) {
        TLedLabel* led = kind == ResultClass::Successful ? LedLabel2
                         : kind == ResultClass::Failed   ? LedLabel3
                                                         : LedLabel4;
        if (led)
            led->SetText(IntToStr(value));
    };
    view.RequestStarted = [this](std::size_t entry, int second) {
        TListItem* row = entry < FEntryRows.size() ? FEntryRows[entry] : nullptr;
        if (LiveResult)
            LiveResult->RequestStarted(row, second);
        if (row)
            row->SetImageIndex(RowImageRunning);
    };
    view.RequestEnded = [](std::size_t place) {
        if (LiveResult)
            LiveResult->RequestEnded(place);
    };
    view.RowResult = [this](std::size_t entry, const SubmissionResult& result) {
        TListItem* row = entry < FEntryRows.size() ? FEntryRows[entry] : nullptr;
        if (!row)
            return;  // the row was deleted while its request ran
        SetResultCell(*row, ResultColumn, result.text);
        row->SetImageIndex(RowImageOfResult(result.status));
        SetResultCell(*row, DateColumn, DateTimeToStr(Now()));
    };
    view.ProjectDone = [this] { FinishProject(); };
    view.Stopped = [this] { FinishRun(true); };
}

// --- Submit and Stop -------------------------------------------------------------------------

void TSubmitMain::Button6Click(TObject*)
{
    switch (FRun->State()) {
    case TRunState::Idle:
        break;
    case TRunState::Stopping:
        // The stopped run still has requests ending; the new one starts when
        // they are all done, so that none of them writes into its rows.
        FStartAfterStop = true;
        return;
    case TRunState::Building:
    case TRunState::Running:
        return;  // one run at a time
    }

    if (SesList->Items()->Count() == 0) {
        Application->MessageBox("You have no saved Projects to Submit!\n\rPlease go back and save your project "
                                "before submitting",
                                "No Project Selected", MB_OK);
        ShowPage(pgProjects, PageControl1, TabSheet1);
        return;
    }
    // Stored options that would let a run start no request at all.
    for (const auto& [value, what] :
         {std::pair{FRun->Options.Ports, "Ports"}, std::pair{FRun->Options.Timeout, "Timeout"}}) {
        int checked = 0;
        if (const auto refusal = CheckSubmitOption(IntToStr(value), what, checked)) {
            Application->MessageBox(*refusal + "\nPlease set it under Options, Timeouts/Ports.", "Submit Options",
                                    MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    StartProject(true);
}

void TSubmitMain::Button7Click(TObject*)
{
    // A list being built is dropped by the build itself, which ends the run.
    const bool building = FRun->State() == TRunState::Building;
    if (!FRun->Stop())
        return;
    Button7->SetEnabled(false);
    Button6->SetEnabled(true);
    if (LiveResult)
        LiveResult->Timer5->SetEnabled(false);
    // Every aborted request comes back through its done event, which calls
    // the dispatcher; with nothing running the run ends here.
    if (!building)
        FRun->Dispatch();
}

// --- projects ----------------------------------------------------------------------------------

namespace {

// The checked projects, in list order, that still have a project file: one
// deleted while it waited is skipped, never submitted with empty values.
std::vector<CodePageString> CheckedProjects(const TCheckListBox& list, const CodePageString& appFolder)
{
    std::vector<CodePageString> queue;
    for (int i = 0; i < list.Items()->Count(); ++i) {
        if (!list.Checked(i))
            continue;
        const CodePageString name = list.Items()->Strings(i);
        if (ValidateProjectName(name) || !FileExists(ProjectFilePath(appFolder, name)))
            continue;
        queue.push_back(name);
    }
    return queue;
}

}  // namespace

bool TSubmitMain::StartProject(bool firstOfRun)
{
    // The list is built, and the counters and the last run's results
    // cleared, before the projects are looked at, even when none is checked.
    if (!BuildSubmissionList()) {
        // Stopped while the list was being built; nothing was sent.
        FinishRun(true);
        return false;
    }
    FRun->QueueProjects(CheckedProjects(*SesList, AppFolder));
    if (FRun->ProjectQueue().empty()) {
        if (!firstOfRun) {
            FinishRun(false);
            return false;
        }
        FRun->End();
        Button6->SetEnabled(true);
        Hint.Show(TFlashTarget::ProjectList);
        Timer1->SetEnabled(true);
        Application->MessageBox("There is no project selected to submit!\n\rChecking the box beside the Project Name "
                                "will allow you to submit.\n\r\n\rHint: Select One of the Flashing Projects",
                                "No Project Selected", MB_OK);
        return false;
    }

    Button6->SetEnabled(false);
    Button7->SetEnabled(true);
    Hint.Show(TFlashTarget::SubmitButton);
    Timer1->SetEnabled(true);
    if (LiveResult)
        LiveResult->Timer5->SetEnabled(true);
    LoadSubmitProject();
    FReportDue = true;
    FRun->SetCategoryMapFile(AppPath(AppFolder, CategoryMapFileName));
    FRun->StartProject(SubmitRecord);
    return true;
}

bool TSubmitMain::BuildSubmissionList()
{
    FRun->BeginBuild();  // the counters go to 0 on the LEDs
    Button6->SetEnabled(false);
    FEntryRows.clear();
    FEntryOfRow.clear();
    ClearEngineResults();

    TWaitWindow wait(this, "Please wait while Building Submission List");
    TListItems* rows = ExListView2->Items();
    wait.SetItemCount(rows->Count());
    wait.SetCaption("Please Wait While Submission Builds Data");
    // The count and the rows are read again on every turn: a row deleted
    // while messages are processed moves the ones after it up (FBuildRow
    // follows it, see EngineRowDeleted).
    for (FBuildRow = 0; FBuildRow < rows->Count(); ++FBuildRow) {
        TListItem* row = rows->Item(FBuildRow);
        if (row->Checked()) {
            const CodePageString& type = row->SubItemRef(TypeColumn);
            std::optional<CodePageString> malformed;  // a malformed batch count counts as one site
            const long long sites = SitesOfType(type, malformed);
            const std::size_t entry = FRun->AddEntry(
                {row->Caption(), EngineRecordOf(*EngineList, row->CaptionRef(), type, row->SubItemRef(UrlColumn)),
                 sites});
            FEntryRows.push_back(row);
            FEntryOfRow[row] = entry;
        }
        // Messages are processed (and may stop the run) only now and then.
        if (wait.Progress(row->CaptionRef(), FBuildRow) && FRun->State() != TRunState::Building)
            break;
    }
    FBuildRow = -1;
    wait.Finish();
    return FRun->State() == TRunState::Building;
}

void TSubmitMain::LoadSubmitProject()
{
    CurrentProject = FRun->CurrentProject();
    SubmitRecord = LoadProjectFile(AppFolder, CurrentProject);
}

void TSubmitMain::ClearEngineResults()
{
    TListItems* rows = ExListView2->Items();
    rows->BeginUpdate();
    for (int i = 0; i < rows->Count(); ++i) {
        TListItem* row = rows->Item(i);
        TStrings* cells = row->SubItems();
        for (const int column : {ResultColumn, DateColumn})
            if (column < cells->Count() && !row->SubItemRef(column).empty())
                cells->SetStrings(column, "");
        if (row->ImageIndex() != -1)
            row->SetImageIndex(-1);
    }
    rows->EndUpdate();
}

// --- the end of a project and of the run ------------------------------------------------------

void TSubmitMain::FinishProject()
{
    // The finished project loses its check mark; its report is written
    // before the next project clears the rows.
    for (int line = 0; line < SesList->Items()->Count(); ++line)
        if (SesList->Items()->Strings(line) == CurrentProject) {
            SesList->SetChecked(line, false);
            break;
        }
    FRun->QueueProjects(CheckedProjects(*SesList, AppFolder));
    if (FRun->ProjectQueue().empty()) {
        FinishRun(false);
        return;
    }
    FReportDue = false;
    WriteSubmissionReport();
    StartProject(false);
}

void TSubmitMain::FinishRun(bool stopped)
{
    FRun->End();
    Button6->SetEnabled(true);
    Button7->SetEnabled(false);
    if (LiveResult)
        LiveResult->Timer5->SetEnabled(false);
    if (FReportDue) {
        FReportDue = false;
        WriteSubmissionReport();
    }
    FileListBox1->Update();
    Timer1->SetEnabled(false);
    if (stopped)
        Application->MessageBox("Your Submission has been stopped", "Submission Stopped", MB_OK);
    else
        Application->MessageBox("Your Submission is Complete", "Submission Complete", MB_OK);
    ShowButtonGlyph(*Button6, *ImageList2, SubmitRestGlyph);
    Button6->Tag = SubmitRestGlyph;

    if (FStartAfterStop && FRun->State() == TRunState::Idle) {
        FStartAfterStop = false;
        Button6Click(Button6);
    }
    FStartAfterStop = false;
}

// --- engine rows deleted during a run ----------------------------------------------------------

void TSubmitMain::EngineRowDeleted(TListItem* row)
{
    // The run goes before the rows when the window is freed.
    if (!FRun || FRun->State() == TRunState::Idle)
        return;
    if (FBuildRow >= 0 && row->Index() <= FBuildRow)
        --FBuildRow;  // the build goes on with the row that moves into place
    if (const auto found = FEntryOfRow.find(row); found != FEntryOfRow.end()) {
        FRun->DropEntry(found->second);
        FEntryRows[found->second] = nullptr;
        FEntryOfRow.erase(found);
    }
    if (LiveResult)
        LiveResult->RowDeleted(row);
}
