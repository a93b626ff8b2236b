// The main window's engine list: filling it, the type filter, the checked
// count, the catalog's custom rows and the Delete Engine command.
#include "workbench/SubmitMain.h"

#include <utility>

#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/FlagScope.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/LedLbl.h"
#include "platform/Hooks.h"
#include "workbench/EngineData.h"
#include "workbench/WaitWindow.h"

namespace {

// The Type column of an engine row (sub-item 3), without a copy.
const CodePageString& RowType(const TListItem& row)
{
    return row.SubItemRef(3);
}

}  // namespace

void TSubmitMain::FillEngineList(TWaitWindow* progress, TProgressBar* bar)
{
    TListItems* rows = ExListView2->Items();
    rows->BeginUpdate();
    if (progress)
        progress->SetItemCount(EngineList->Count());
    if (bar)
        bar->SetMax(EngineList->Count());
    TLoopPump pump;
    // The count is read again on every turn: the messages processed below
    // run other handlers.
    for (int i = 0; i < EngineList->Count(); ++i) {
        // The lines of a large list lie all over the heap, in the order they
        // were read, not in the list's: the line a few rows on is fetched
        // while this one is worked on.
        constexpr int Ahead = 8;
        if (i + Ahead < EngineList->Count())
            __builtin_prefetch(EngineList->StringRef(i + Ahead).data());
        const EngineLineView engine = ViewEngineLine(EngineList->StringRef(i));
        if (!IsMarkerEngine(engine.name)) {
            TListItem* row = rows->Add();
            row->SetCaption(CodePageString(engine.name));
            row->SetImageIndex(-1);
            std::vector<CodePageString> cells;  // URL, Result, Date, Type
            cells.reserve(4);
            cells.emplace_back(engine.url);
            cells.emplace_back();
            cells.emplace_back();
            cells.emplace_back(engine.type);
            row->SetSubItems(std::move(cells));
        }
        if (progress) {
            progress->Progress(engine.name, i);
        } else if (pump.Due()) {
            if (bar)
                bar->SetPosition(i);
            pump.Pump();
        }
    }
    if (progress)
        progress->Finish();
    if (bar && EngineList->Count() > 0)
        bar->SetPosition(EngineList->Count() - 1);
    rows->EndUpdate();
}

// --- the type filter and the count ------------------------------------------------------------

void TSubmitMain::FilterEngineList(TObject* Sender)
{
    TypeFilterSender sender = TypeFilterSender::MainWindow;
    if (Sender == BitCheckBox4)
        sender = TypeFilterSender::SearchEngines;
    else if (Sender == BitCheckBox5)
        sender = TypeFilterSender::Classifieds;
    else if (Sender == BitCheckBox6)
        sender = TypeFilterSender::FFA;
    else if (Sender == BitCheckBox7)
        sender = TypeFilterSender::BatchSites;
    else if (Sender == CustomCk)
        sender = TypeFilterSender::CustomEngines;
    RequestEnginePass({false, static_cast<int>(sender)});
}

void TSubmitMain::CountEngineTypes()
{
    RequestEnginePass({true, 0});
}

void TSubmitMain::RequestEnginePass(TEnginePass pass)
{
    // A count right behind another count would give the same number.
    if (!(pass.Count && !FPendingPasses.empty() && FPendingPasses.back().Count))
        FPendingPasses.push_back(pass);
    if (FPassRunning)
        return;
    const TFlagScope running(FPassRunning);
    while (!FPendingPasses.empty()) {
        const TEnginePass next = FPendingPasses.front();
        FPendingPasses.pop_front();
        if (next.Count)
            RunCountPass();
        else
            RunFilterPass(next.Sender);
    }
}

void TSubmitMain::RunFilterPass(int senderValue)
{
    const auto sender = static_cast<TypeFilterSender>(senderValue);
    TypeChecks checks;
    checks.searchEngines = BitCheckBox4->Checked();
    checks.classifieds = BitCheckBox5->Checked();
    checks.ffa = BitCheckBox6->Checked();
    checks.batchSites = BitCheckBox7->Checked();
    checks.custom = CustomCk->Checked();

    long long total = 0;
    std::optional<CodePageString> error;
    TListItems* rows = ExListView2->Items();
    TLoopPump pump;
    // Rows are looked up again on every turn: a click handled while messages
    // are processed may delete one.
    for (int i = 0; i < rows->Count(); ++i) {
        TListItem* row = rows->Item(i);
        const FilteredRow filtered = FilterEngineRow({RowType(*row), row->Checked()}, sender, checks, error);
        if (row->Checked() != filtered.checked)
            row->SetChecked(filtered.checked);
        total += filtered.sites;
        pump.Step();
    }
    TotalDis->SetText(IntToStr(total));
    // A malformed batch count is told once per pass; its row counted as one site.
    if (error) {
        const EConvertError e(*error);
        Application->ShowException(&e);
    }
}

void TSubmitMain::RunCountPass()
{
    long long total = 0;
    std::optional<CodePageString> error;
    TListItems* rows = ExListView2->Items();
    TLoopPump pump;
    for (int i = 0; i < rows->Count(); ++i) {
        const TListItem* row = rows->Item(i);
        if (row->Checked())
            total += SitesOfType(RowType(*row), error);
        if (pump.Due()) {
            // The list is repainted as the count goes, once per hand-over.
            ExListView2->Invalidate();
            pump.Pump();
        }
    }
    TotalDis->SetText(IntToStr(total));
    if (error) {
        const EConvertError e(*error);
        Application->ShowException(&e);
    }
}

void TSubmitMain::BitCheckBox4Click(TObject* Sender)
{
    FilterEngineList(Sender);
}

void TSubmitMain::BitCheckBox5Click(TObject* Sender)
{
    FilterEngineList(Sender);
}

void TSubmitMain::BitCheckBox6Click(TObject* Sender)
{
    FilterEngineList(Sender);
}

void TSubmitMain::BitCheckBox7Click(TObject* Sender)
{
    FilterEngineList(Sender);
}

void TSubmitMain::CustomCkClick(TObject* Sender)
{
    FilterEngineList(Sender);
}

void TSubmitMain::ExListView2CheckboxClick(TObject*, int, bool)
{
    CountEngineTypes();
}

// --- the catalog's custom engines ----------------------------------------------------------------

void TSubmitMain::WireEngineCatalog()
{
    TEngineCatalog::TView& view = Engines.View;
    view.CustomRowAdded = [this](const CodePageString& name, const CodePageString& url, const CodePageString& type) {
        TListItem* row = ExListView2->Items()->Add();
        row->SetCaption(name);
        row->SetImageIndex(-1);
        TStrings* cells = row->SubItems();
        cells->Add(url);
        cells->Add("");
        cells->Add("");
        cells->Add(type);
    };
    view.CustomRowRemoved = [this](const CodePageString& name) {
        // Letter case ignored, as for the engine's record.
        TListItems& rows = *ExListView2->Items();
        for (int i = 0; i < rows.Count(); ++i)
            if (SameText(rows.Item(i)->CaptionRef(), name) && IsCustomType(RowType(*rows.Item(i)))) {
                rows.Delete(i);
                return;
            }
    };
    view.CountsChanged = [this] { CountEngineTypes(); };
    view.RewriteRefused = [this](const char* fileName, const char* notDone) {
        MayRewriteEngineFile(false, fileName, notDone);
    };
}

// --- deleting ------------------------------------------------------------------------------------

bool TSubmitMain::MayRewriteEngineFile(bool loaded, const char* fileName, const char* notDone)
{
    if (loaded)
        return true;
    Application->MessageBox("The file \"" + AppPath(AppFolder, fileName) +
                                "\" could not be read when Tenvarel started, so it is not rewritten and " + notDone +
                                ".",
                            "Engine File Not Loaded", MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void TSubmitMain::DeleteEngine1Click(TObject*)
{
    if (PageControl2->ActivePage() == TabSheet2) {
        TListItem* row = ExListView2->Selected();
        if (!row) {
            Application->MessageBox("You have not selected an item to Delete", "No Item", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        const CodePageString name = row->Caption();
        const CodePageString type = RowType(*row);
        const CodePageString url = row->SubItems()->Strings(0);

        if (type.find("Custom->") != CodePageString::npos) {
            // Custom engines go through the catalog, which also rewrites their file.
            const int place = Engines.CustomNameIndex(name);
            if (place < 0) {
                Application->MessageBox("You have not selected an item to Delete", "No Item",
                                        MB_OK | MB_ICONEXCLAMATION);
                return;
            }
            Engines.RemoveCustomEngine(place);
            return;
        }
        if (!MayRewriteEngineFile(EngineDatabaseLoaded, EngineDatabaseFileName))
            return;

        // Two records may share a name; the one whose row this is also has
        // the row's type and address.
        int line = -1;
        for (int i = 0; i < EngineList->Count(); ++i) {
            const EngineLine engine = SplitEngineLine(EngineList->StringRef(i));
            if (engine.name != name)
                continue;
            if (line < 0)
                line = i;
            if (engine.type == type && engine.url == url) {
                line = i;
                break;
            }
        }
        CodePageString record;
        if (line >= 0) {
            record = EngineList->Strings(line);
            EngineList->Delete(line);
        }
        ExListView2->Items()->Delete(row->Index());

        // Only the engine's own line leaves the file: what the list does not
        // hold (custom records, repeated and blank lines, lines that are no
        // records) stays as it is.
        if (line >= 0)
            DeleteEngineRecordFromFile(AppPath(AppFolder, EngineDatabaseFileName), record, EngineCipherStart);
        CountEngineTypes();
    } else if (PageControl2->ActivePage() == TabSheet3) {
        TListItem* row = ExListView1->Selected();
        if (!row) {
            Application->MessageBox("You have not selected an item to Delete", "No Item", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        if (!MayRewriteEngineFile(ManualEngineListLoaded, ManualEngineFileName))
            return;
        const int index = row->Index();
        ExListView1->Items()->Delete(index);
        DeleteManualEngineLine(index);
        ManLED->SetText(IntToStr(ExListView1->Items()->Count()));
    }
}

void TSubmitMain::DeleteManualEngineLine(int row)
{
    // Row i of the list is line i of the file, which the list view read
    // without a header line. Saving the rows instead would write back only
    // what the list view kept of each line (a long row cut at its column
    // limit, an unclosed quote as an empty cell).
    const CodePageString path = AppPath(AppFolder, ManualEngineFileName);
    const std::string bytes = ReadFileBytes(path);
    const std::string kept =
        RemoveTextLines(bytes, [&](std::size_t index, std::string_view) { return index == std::size_t(row); });
    if (kept != bytes)
        WriteFileAtomic(path, kept);
}
