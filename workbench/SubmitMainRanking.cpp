// The main window's "Ranking" page: the keyword, the site and the depth of
// the check, the list of the ranking engines, and the check itself, a
// TRankingCheck on HttpRank whose findings the list shows.
#include "workbench/SubmitMain.h"

#include <exception>

#include "classlib/BasicControls.h"
#include "classlib/ImgList.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/TabbedNotebook.h"
#include "classlib/Timer.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "transport/HttpProt.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/RankData.h"

namespace {

// The resting glyph of the Start button in ImageList2.
constexpr int RankStartGlyph = 4;

void ShowRankCell(TExListView& list, int row, const TRankCell& cell)
{
    list.SetCellText(1, row, cell.Ranking);
    list.SetCellText(2, row, cell.Date);
    list.Items()->Item(row)->SetImageIndex(cell.Image);
}

int RowOfCaption(const TExListView& list, const CodePageString& caption)
{
    for (int row = 0; row < list.Items()->Count(); ++row)
        if (list.Items()->Item(row)->Caption() == caption)
            return row;
    return -1;
}

}  // namespace

void TSubmitMain::BuildRankingPage(TWinControl* page)
{
    ComboBox1 = PlaceCombo(this, page, "ComboBox1", 140, 10, 240, {}, "");
    PlaceLabel(this, page, "Label32", "Keyword", 8, 13, ComboBox1);
    RankUrl = Place<TEdit>(this, page, "RankUrl", 140, 36, 240, 21);
    RankUrl->SetText("http://");
    PlaceLabel(this, page, "Label33", "URL", 8, 39, RankUrl);
    ComboBox2 = PlaceCombo(this, page, "ComboBox2", 140, 62, 80, {"10", "20", "50", "100", "150", "200"}, "10");
    PlaceLabel(this, page, "Label34", "Check Ranking in Top", 8, 65, ComboBox2);

    Button8 = PlaceButton(this, page, "Button8", "Start", 410, 10);
    Button9 = PlaceButton(this, page, "Button9", "Stop", 410, 36);
    Button9->SetEnabled(false);
    Label15 = PlaceLabel(this, page, "Label15", "Reset List", 410, 66);
    Label15->Font()->SetStyle(TFontStyles{fsBold, fsUnderline});
    Label15->Font()->SetColor(clBlue);
    Label15->SetCursor(crHandPoint);
    Label15->SetEnabled(false);

    RankView = Place<TExListView>(this, page, "RankView", 8, 92, 592, 426);
    DressListView(*RankView, true);
    AddColumns(*RankView,
               {{"Engines", 110}, {"Current Ranking      Click Result To Show Listing", 340}, {"Date Ranked", 120}});
    RankView->SetSmallImages(ImageList1);
    RankView->SetStateImages(ImageList1);
    RankView->Items()->BeginUpdate();
    for (const TRankEngine& engine : RankEngines) {
        TListItem* row = RankView->Items()->Add();
        row->SetCaption(engine.Caption);
        for (int i = 0; i < 3; ++i)
            row->SubItems()->Add("");
    }
    RankView->Items()->EndUpdate();

    Memo1 = Place<TMemo>(this, page, "Memo1", 0, 0, 40, 20);
    Memo1->SetVisible(false);
    ListBox1 = PlaceHiddenList(this, page, "ListBox1");
}

void TSubmitMain::WireRanking()
{
    Button8->OnClick = Calls(&TSubmitMain::Button8Click);
    Button9->OnClick = Calls(&TSubmitMain::Button9Click);
    Label15->OnClick = Calls(&TSubmitMain::Label15Click);
    ResetList1->OnClick = Calls(&TSubmitMain::Label15Click);
    FRankShown = std::make_unique<TRankingShown>(*this);
    FRankCheck = std::make_unique<TRankingCheck>(*HttpRank, *FRankShown);
}

// --- the list ------------------------------------------------------------------------------------

void TSubmitMain::ResetRankList(TObject* Sender)
{
    for (int row = 0; row < RankView->Items()->Count(); ++row) {
        TListItem* item = RankView->Items()->Item(row);
        for (int cell = 1; cell <= 3; ++cell)
            RankView->SetCellText(cell, row, "");
        item->SetImageIndex(-1);
        if (Sender != Button8)
            item->SetChecked(true);
    }
    FRankCheck->ClearCells();
}

void TSubmitMain::Label15Click(TObject*)
{
    ShowPage(pgRanking);
    ResetRankList(this);
    Label15->SetCaption("");
    Label15->SetEnabled(false);
}

// --- the check -----------------------------------------------------------------------------------

void TSubmitMain::TRankingShown::ShowRankCell(int engine, const TRankCell& cell)
{
    TExListView& list = *FWindow.RankView;
    const int row = RowOfCaption(list, RankEngines[engine].Caption);
    if (row >= 0)
        ::ShowRankCell(list, row, cell);
}

void TSubmitMain::TRankingShown::RankCheckComplete()
{
    FWindow.EndRankCheck();
    FWindow.Button9->SetEnabled(false);
    FWindow.Label15->SetEnabled(true);
    FWindow.Label15->SetCaption("Restablecer Lista");
    Application->MessageBox("Ranking is Complete", "Ranking Complete!", MB_OK);
}

void TSubmitMain::Button8Click(TObject*)
{
    if (FRankCheck->Running())
        return;  // a check runs
    // Without a keyword every engine would be asked for nothing and the site
    // reported as not found everywhere.
    if (Trim(ComboBox1->Text()).empty()) {
        Application->MessageBox("Type the Keyword to check the ranking for.", "No Keyword",
                                MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::vector<TRankRow> rows;
    for (int row = 0; row < RankView->Items()->Count(); ++row) {
        const TListItem* item = RankView->Items()->Item(row);
        rows.push_back({item->Caption(), item->Checked()});
    }
    try {
        FRankCheck->Start(rows, ComboBox1->Text(), ComboBox2->Text(), RankUrl->Text());
    } catch (const std::exception& e) {
        Application->ShowException(&e);
        return;
    }
    ResetRankList(Button8);
    Button8->SetEnabled(false);
    Button9->SetEnabled(true);
    Hint.Show(TFlashTarget::RankStart);
    Timer1->SetEnabled(true);
    FRankCheck->RunQueries();
}

void TSubmitMain::EndRankCheck()
{
    Timer1->SetEnabled(false);
    ShowButtonGlyph(*Button8, *ImageList2, RankStartGlyph);
    Button8->Tag = RankStartGlyph;
    Button8->SetEnabled(true);
}

void TSubmitMain::Button9Click(TObject*)
{
    Button9->SetEnabled(false);
    FRankCheck->Stop();
    EndRankCheck();
    Label15->SetEnabled(true);
    Label15->SetCaption("Reset List");
}
