// The main window's "Ranking" page: the keyword, the site and the depth of
// the check, and the list of the ranking engines.
#include "workbench/SubmitMain.h"

#include "classlib/ImgList.h"
#include "classlib/StdCtrls.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"

namespace {

// The ranking list's twelve engines, in row order.
constexpr const char* RankEngines[] = {"Altavista", "Anzwers", "DirectHit", "Excite",     "GoTo",      "Google",
                                       "HotBot",    "Lycos",   "MSN",       "NBCi (Snap)", "Webcrawler", "Yahoo"};

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
    for (const char* engine : RankEngines) {
        TListItem* row = RankView->Items()->Add();
        row->SetCaption(engine);
        for (int i = 0; i < 3; ++i)
            row->SubItems()->Add("");
    }
    RankView->Items()->EndUpdate();

    Memo1 = Place<TMemo>(this, page, "Memo1", 0, 0, 40, 20);
    Memo1->SetVisible(false);
    ListBox1 = PlaceHiddenList(this, page, "ListBox1");
}
