// The main window's "Ranking" page: the keyword, the site and the depth of
// the check, the list of the ranking engines, and the check itself: one
// query at a time on HttpRank, each started by the end of the one before.
#include "workbench/SubmitMain.h"

#include <exception>

#include "classlib/ImgList.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"
#include "classlib/TabNotBk.h"
#include "classlib/Timer.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "transport/HttpProt.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/RankData.h"

namespace {

// A result page is some tens of kilobytes; a reply far beyond that is no
// result page, and is not kept whole in memory.
constexpr std::int64_t MaxRankPageBytes = 8 << 20;

// The resting glyph of the Start button in ImageList2.
constexpr int RankStartGlyph = 4;

// The cells of a row of the ranking list.
TRankCell RankCellOf(const TExListView& list, int row)
{
    return {list.CellText(1, row), list.CellText(2, row), list.Items()->Item(row)->ImageIndex()};
}

void ShowRankCell(TExListView& list, int row, const TRankCell& cell)
{
    list.SetCellText(1, row, cell.Ranking);
    list.SetCellText(2, row, cell.Date);
    list.Items()->Item(row)->SetImageIndex(cell.Image);
}

int RowOfCaption(const TExListView& list, const AnsiString& caption)
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
    HttpRank->OnRequestDone = [this](TObject* sender, THttpRequest kind, std::uint16_t error) {
        HttpRankRequestDone(sender, kind, error);
    };
    HttpRank->OnDocData = [this](TObject*, const char*, int) {
        if (RankQueryRunning() && HttpRank->ReceivedBytes() > MaxRankPageBytes && !FRankQuery.TooLarge) {
            FRankQuery.TooLarge = true;
            HttpRank->Abort();
        }
    };
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
}

void TSubmitMain::Label15Click(TObject*)
{
    ShowPage(pgRanking);
    ResetRankList(this);
    Label15->SetCaption("");
    Label15->SetEnabled(false);
}

// --- the check -----------------------------------------------------------------------------------

void TSubmitMain::BuildRankQueries()
{
    Memo1->Lines()->Clear();
    ListBox1->Items()->Clear();
    std::vector<TRankRow> rows;
    for (int row = 0; row < RankView->Items()->Count(); ++row) {
        const TListItem* item = RankView->Items()->Item(row);
        rows.push_back({item->Caption(), item->Checked()});
    }
    TStringList queries;
    TStringList pages;
    for (const TRankQuery& query : ::BuildRankQueries(rows, ComboBox1->Text(), ComboBox2->Text())) {
        queries.Add(AnsiString(RankEngines[query.Engine].Caption) + "=" + query.Url);
        pages.Add(IntToStr(query.Page));
    }
    Memo1->Lines()->Assign(queries);
    ListBox1->Items()->Assign(pages);
}

void TSubmitMain::Button8Click(TObject*)
{
    if (Button9->Enabled() || RankQueryRunning())
        return;  // a check runs
    // Without a keyword every engine would be asked for nothing and the site
    // reported as not found everywhere.
    if (Trim(ComboBox1->Text()).empty()) {
        Application->MessageBox("Type the Keyword to check the ranking for.", "No Keyword",
                                MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    try {
        BuildRankQueries();
        // What the check looks for is read once: a page that arrives later
        // is scanned for the same site and depth as the first.
        FRankDepthText = ComboBox2->Text();
        FRankDepth = RankDepth(FRankDepthText);
        FRankSite = RankUrl->Text();
    } catch (const std::exception& e) {
        Application->ShowException(&e);
        return;
    }
    ResetRankList(Button8);
    Button8->SetEnabled(false);
    Button9->SetEnabled(true);
    Hint.Show(TFlashTarget::RankStart);
    Timer1->SetEnabled(true);
    NextRankQuery();
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
    if (RankQueryRunning()) {
        HttpRank->Abort();
        // The stopped query's end is not waited for: its row tells so now,
        // and the end, when it comes, finds no query in flight.
        FailRankQuery(HttpRank->StatusText().empty() ? AnsiString("Connection aborted on request")
                                                       : HttpRank->StatusText());
    }
    EndRankCheck();
    Label15->SetEnabled(true);
    Label15->SetCaption("Reset List");
}

void TSubmitMain::FailRankQuery(const AnsiString& reason)
{
    const int row = FRankQuery.Row;
    FRankQuery = {};
    HttpRank->ReceiveStream = nullptr;
    FRankPage.reset();
    if (row < 0 || row >= RankView->Items()->Count())
        return;
    TRankCell cell = RankCellOf(*RankView, row);
    ApplyRankFailure(cell, HttpRank->Tag, reason, DateToStr(Now()));
    ShowRankCell(*RankView, row, cell);
}

void TSubmitMain::NextRankQuery()
{
    // A query that cannot start is told in its row, and the next one is tried.
    for (;;) {
        if (Memo1->Lines()->Count() == 0) {
            EndRankCheck();
            Button9->SetEnabled(false);
            Label15->SetEnabled(true);
            Label15->SetCaption("Restablecer Lista");
            Application->MessageBox("Ranking is Complete", "Ranking Complete!", MB_OK);
            return;
        }
        if (!Button9->Enabled())
            return;  // stopped: the pending queries stay until the next Start

        const AnsiString line = Memo1->Lines()->Strings(0);
        const std::size_t equals = line.find('=');
        const AnsiString engine = line.substr(0, equals);
        HttpRank->URL = equals == AnsiString::npos ? AnsiString() : line.substr(equals + 1);
        HttpRank->Tag = ListBox1->Items()->Count() > 0 ? StrToIntDef(ListBox1->Items()->Strings(0), 1) : 1;
        Memo1->Lines()->Delete(0);
        if (ListBox1->Items()->Count() > 0)
            ListBox1->Items()->Delete(0);
        const int row = RowOfCaption(*RankView, engine);
        if (row < 0)
            continue;
        RankView->Items()->Item(row)->SetImageIndex(RankImageRunning);

        FRankQuery = {row, HttpRank->Tag, false};
        FRankPage = std::make_unique<TMemoryStream>();
        HttpRank->ReceiveStream = FRankPage.get();
        try {
            HttpRank->GetAsync();
            return;
        } catch (const std::exception& e) {
            FailRankQuery(e.what());
        }
    }
}

void TSubmitMain::HttpRankRequestDone(TObject*, int, std::uint16_t Error)
{
    if (!RankQueryRunning())
        return;  // the end of a stopped query
    const int status = HttpRank->HttpStatus();
    if (FRankQuery.TooLarge) {
        FailRankQuery("The page is larger than a result page (" + IntToStr(MaxRankPageBytes >> 20) + " MB)");
    } else if (Error != 0) {
        FailRankQuery(HttpRank->StatusText());
    } else if (status >= 400) {
        FailRankQuery(IntToStr(status) + " " + HttpRank->StatusText());
    } else {
        const int row = FRankQuery.Row;
        const int engine = RankEngineIndex(RankView->Items()->Item(row)->Caption());
        const std::string page(static_cast<const char*>(FRankPage->Memory()), std::size_t(FRankPage->Size()));
        FRankQuery = {};
        HttpRank->ReceiveStream = nullptr;
        FRankPage.reset();
        if (engine >= 0) {
            TRankCell cell = RankCellOf(*RankView, row);
            const TRankPageScan scan = {RankFirstOfPage(HttpRank->Tag), FRankDepth, FRankDepthText, HttpRank->URL,
                                        DateToStr(Now())};
            ScanRankPage(cell, page, RankEngines[engine], RankTargets(FRankSite), scan);
            ShowRankCell(*RankView, row, cell);
        }
    }
    NextRankQuery();
}
