// The main window's "Submit" page and its submission run: building the page,
// the live window's check box, Submit and Stop, the entries of each
// project, the project queue and the dispatcher that keeps up to Ports
// requests in flight. The live window sends the requests and calls the
// dispatcher again after every finished one.
//
// Everything runs on the GUI thread, and the dispatcher processes messages
// between requests, so every path is written to be entered again: a nested
// dispatch only asks the running one for another pass, and every step checks
// the run's state again after a call that pumps messages.
#include "workbench/SubmitMain.h"


#include "classlib/CheckLst.h"
#include "classlib/ComCtrls.h"
#include "classlib/FileCtrl.h"
#include "classlib/ImgList.h"
#include "classlib/IniFiles.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "platform/Assertions.h"
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
AnsiString EngineRecordOf(const TStringList& engines, const AnsiString& name, const AnsiString& type,
                          const AnsiString& url)
{
    const AnsiString key = name + "=";
    const auto isRows = [&](const AnsiString& line) {
        const EngineLine engine = SplitEngineLine(line);
        return engine.type == type && engine.url == url;
    };
    if (engines.Sorted()) {
        int index = 0;
        engines.Find(key, index);
        int first = -1;
        for (int i = index; i < engines.Count(); ++i) {
            const AnsiString& line = engines.StringRef(i);
            if (line.size() < key.size() || !SameText(line.substr(0, key.size()), key))
                break;
            if (first < 0)
                first = i;
            if (isRows(line))
                return line.substr(key.size());
        }
        return first < 0 ? AnsiString() : engines.StringRef(first).substr(key.size());
    }
    const int index = engines.IndexOfName(name);
    return index < 0 ? AnsiString() : engines.StringRef(index).substr(key.size());
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

// --- the run's state ---------------------------------------------------------------------------

namespace {

using TRunState = TSubmitMain::TRunState;

// A run is built, then runs its projects (each built again), and ends from
// any of these; a stop comes while it is built or runs, and ends it.
[[maybe_unused]] bool ValidRunStep(TRunState from, TRunState to)
{
    switch (to) {
    case TRunState::Idle:
        return from != TRunState::Idle;
    case TRunState::Building:
        return from == TRunState::Idle || from == TRunState::Running;
    case TRunState::Running:
        return from == TRunState::Building;
    case TRunState::Stopping:
        return from == TRunState::Building || from == TRunState::Running;
    }
    return false;
}

}  // namespace

void TSubmitMain::SetRunState(TRunState state)
{
    TENVAREL_ASSERT(ValidRunStep(FRunState, state));
    FRunState = state;
}

// --- Submit and Stop -------------------------------------------------------------------------

void TSubmitMain::Button6Click(TObject*)
{
    switch (FRunState) {
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
    for (const auto& [value, what] : {std::pair{Ports, "Ports"}, std::pair{Timeout, "Timeout"}}) {
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
    if (FRunState != TRunState::Running && FRunState != TRunState::Building)
        return;
    // A list being built is dropped by the build itself, which ends the run.
    const bool building = FRunState == TRunState::Building;
    SetRunState(TRunState::Stopping);
    Button7->SetEnabled(false);
    Button6->SetEnabled(true);
    if (LiveResult) {
        LiveResult->Timer5->SetEnabled(false);
        LiveResult->StopSubmissions();
    }
    // Every aborted request comes back through its done event, which calls
    // the dispatcher; with nothing running the run ends here.
    if (!building)
        DispatchSubmissions();
}

// --- projects ----------------------------------------------------------------------------------

namespace {

// The checked projects, in list order, that still have a project file: one
// deleted while it waited is skipped, never submitted with empty values.
void QueueCheckedProjects(const TCheckListBox& list, const AnsiString& appFolder, TStringList& queue)
{
    queue.Clear();
    for (int i = 0; i < list.Items()->Count(); ++i) {
        if (!list.Checked(i))
            continue;
        const AnsiString name = list.Items()->Strings(i);
        if (ValidateProjectName(name) || !FileExists(ProjectFilePath(appFolder, name)))
            continue;
        queue.Add(name);
    }
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
    QueueCheckedProjects(*SesList, AppFolder, *ProjectQueue);
    if (ProjectQueue->Count() == 0) {
        if (!firstOfRun) {
            FinishRun(false);
            return false;
        }
        SetRunState(TRunState::Idle);
        Button6->SetEnabled(true);
        Hint.Show(TFlashTarget::ProjectList);
        Timer1->SetEnabled(true);
        Application->MessageBox("There is no project selected to submit!\n\rChecking the box beside the Project Name "
                                "will allow you to submit.\n\r\n\rHint: Select One of the Flashing Projects",
                                "No Project Selected", MB_OK);
        return false;
    }

    SetRunState(TRunState::Running);
    Button6->SetEnabled(false);
    Button7->SetEnabled(true);
    Hint.Show(TFlashTarget::SubmitButton);
    Timer1->SetEnabled(true);
    if (LiveResult)
        LiveResult->Timer5->SetEnabled(true);
    LoadSubmitProject();
    FReportDue = true;
    if (LiveResult)
        LiveResult->Seconds = Timeout;
    TENVAREL_ASSERT(!LiveResult || LiveResult->RunningCount() == 0);
    FInFlight = 0;
    DispatchSubmissions();
    return true;
}

bool TSubmitMain::BuildSubmissionList()
{
    SetRunState(TRunState::Building);
    Button6->SetEnabled(false);
    FEntries.clear();
    FEntryOfRow.clear();
    FNextEntry = 0;
    FDeadEntries = 0;
    FCategoryCache.clear();
    LedLabel3->SetText("0");
    LedLabel2->SetText("0");
    LedLabel4->SetText("0");
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
            FEntryOfRow[row] = FEntries.size();
            FEntries.push_back({row->Caption(), row});
        }
        // Messages are processed (and may stop the run) only now and then.
        if (wait.Progress(row->CaptionRef(), FBuildRow) && FRunState != TRunState::Building)
            break;
    }
    FBuildRow = -1;
    wait.Finish();
    return FRunState == TRunState::Building;
}

void TSubmitMain::LoadSubmitProject()
{
    CurrentProject = ProjectQueue->Count() > 0 ? ProjectQueue->Strings(0) : AnsiString();
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

AnsiString TSubmitMain::CategoryMapValue(const AnsiString& section, const AnsiString& key)
{
    // Each pair is read once per project: a run asks the same one for
    // every engine of a category type.
    const AnsiString id = section + "\n" + key;
    for (const auto& [cached, value] : FCategoryCache)
        if (cached == id)
            return value;
    TIniFile map(AppPath(AppFolder, CategoryMapFileName));
    AnsiString value = map.ReadString(section, key, "");
    FCategoryCache.emplace_back(id, value);
    return value;
}

int TSubmitMain::SubmissionEntriesLeft() const
{
    return static_cast<int>(FEntries.size() - FNextEntry - FDeadEntries);
}

// --- the dispatcher ----------------------------------------------------------------------------

void TSubmitMain::DispatchSubmissions()
{
    // Entered again from the messages it processes (a request ending, a
    // button): the running pass does the work, so nothing is taken twice
    // and no project ends while its requests still run.
    if (FInDispatch) {
        FDispatchAgain = true;
        return;
    }
    const TRaisedFlag dispatching(FInDispatch);

    do {
        FDispatchAgain = false;
        if (FRunState == TRunState::Running) {
            // The second bound is read again after every request, since each
            // one takes an entry.
            while (FRunState == TRunState::Running && SubmissionEntriesLeft() > 0 && FInFlight < Ports &&
                   FInFlight < SubmissionEntriesLeft() + 1) {
                ++FInFlight;
                Application->ProcessMessages();
                // The place is given back when the messages stopped the run
                // or a row deletion took the last entry.
                if (FRunState != TRunState::Running || SubmissionEntriesLeft() == 0) {
                    --FInFlight;
                    continue;
                }
                SubmitNextEngine();
            }
            if (FRunState == TRunState::Running && SubmissionEntriesLeft() == 0 && FInFlight == 0)
                FinishProject();
        } else if (FRunState == TRunState::Stopping && FInFlight == 0) {
            FinishRun(true);
        }
    } while (FDispatchAgain);
}

void TSubmitMain::SubmissionDone()
{
    FInFlight -= 1;
    DispatchSubmissions();
}

void TSubmitMain::SubmitNextEngine()
{
    while (FNextEntry < FEntries.size() && !FEntries[FNextEntry].Row) {
        ++FNextEntry;
        --FDeadEntries;
    }
    if (FNextEntry >= FEntries.size()) {
        --FInFlight;  // nothing left to take the place raised for it
        return;
    }
    const TSubmissionEntry entry = FEntries[FNextEntry++];

    const AnsiString record = EngineRecordOf(*EngineList, entry.Engine, entry.Row->SubItemRef(TypeColumn),
                                             entry.Row->SubItemRef(UrlColumn));
    const SubmissionRequest request = BuildSubmissionRequest(
        record, SubmitRecord,
        [this](const AnsiString& section, const AnsiString& key) { return CategoryMapValue(section, key); });
    if (LiveResult)
        LiveResult->SubmitRequest(request.url, request.data, request.referer, request.method, entry.Row->Index());
}

void TSubmitMain::FinishProject()
{
    // The finished project loses its check mark; its report is written
    // before the next project clears the rows.
    for (int line = 0; line < SesList->Items()->Count(); ++line)
        if (SesList->Items()->Strings(line) == CurrentProject) {
            SesList->SetChecked(line, false);
            break;
        }
    if (ProjectQueue->Count() > 0)
        ProjectQueue->Delete(0);

    QueueCheckedProjects(*SesList, AppFolder, *ProjectQueue);
    if (ProjectQueue->Count() == 0) {
        FinishRun(false);
        return;
    }
    FReportDue = false;
    WriteSubmissionReport();
    StartProject(false);
}

void TSubmitMain::FinishRun(bool stopped)
{
    SetRunState(TRunState::Idle);
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

    if (FStartAfterStop && FRunState == TRunState::Idle) {
        FStartAfterStop = false;
        Button6Click(Button6);
    }
    FStartAfterStop = false;
}

// --- engine rows deleted during a run ----------------------------------------------------------

void TSubmitMain::EngineRowDeleted(TListItem* row)
{
    if (FRunState == TRunState::Idle)
        return;
    if (FBuildRow >= 0 && row->Index() <= FBuildRow)
        --FBuildRow;  // the build goes on with the row that moves into place
    if (const auto found = FEntryOfRow.find(row); found != FEntryOfRow.end()) {
        TSubmissionEntry& entry = FEntries[found->second];
        if (found->second >= FNextEntry && entry.Row)
            ++FDeadEntries;
        entry.Row = nullptr;
        FEntryOfRow.erase(found);
    }
    if (LiveResult)
        LiveResult->RowDeleted(row);
}
