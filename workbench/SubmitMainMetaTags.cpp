// The main window's "MetaTags" page: the tags to write, each with its
// check box, the viewer of the generated block, and the block's injection
// into the head of a page the user picks.
#include "workbench/SubmitMain.h"

#include <exception>

#include "classlib/BasicControls.h"
#include "classlib/Dialogs.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/Panels.h"
#include "classlib/ProgressBar.h"
#include "controls/Btchkbox.h"
#include "controls/ColMemo.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/MetaData.h"

namespace {

void SetLines(TStrings& strings, std::initializer_list<const char*> lines)
{
    TStringList list;
    for (const char* line : lines)
        list.Add(line);
    strings.Assign(list);
}

// The viewer's colours: comments in teal and quoted texts in green above
// the tags, META tags in purple, LINK REV and HTML LANG tags in navy, and
// the head and title tags in navy.
void DressViewer(TColorMemo& viewer)
{
    TColorRule* texts = viewer.ColorRules()->Add();
    texts->SetZOrder(2);
    texts->SetDefKeyColor(clGreen);
    SetLines(*texts->KeyBegEndLst(), {"<!--;-->;teal", "\";\""});

    TColorRule* tags = viewer.ColorRules()->Add();
    SetLines(*tags->KeyBegEndLst(), {"<META;>;purple", "<meta;>;purple", "<LINK REV;>;navy", "<HTML LANG;>;navy"});

    TColorRule* words = viewer.ColorRules()->Add();
    words->SetKeyDrawingType(dtKeyShow);
    words->SetPartWord(true);
    SetLines(*words->Keywords(), {"<HEAD>;navy", "</HEAD>;navy", "<TITLE>;navy", "</TITLE>;navy"});

    // Hot spots on, with the character 0 as their marker: none is ever found.
    viewer.HotSpot()->SetBeginChar(0);
    viewer.HotSpot()->SetEndChar(0);
    viewer.HotSpot()->SetActive(true);
    viewer.HotSpot()->SetUnderlined(false);
}

}  // namespace

void TSubmitMain::BuildMetaTagsPage(TWinControl* page)
{
    struct TTagRow {
        TBitCheckBox** check;
        const char* checkName;
        const char* caption;
        TEdit** edit;
        const char* editName;
        TLedLabel** led;
        const char* ledName;
    };
    const TTagRow rows[] = {
        {&TitleCk, "TitleCk", "Title", &TitleMet, "TitleMet", &CLED1Met, "CLED1Met"},
        {&DescriptionCk, "DescriptionCk", "Description", &DescriptionMet, "DescriptionMet", &CLED2Met, "CLED2Met"},
        {&Key1Ck, "Key1Ck", "Keywords", &Key1Met, "Key1Met", &CLED3Met, "CLED3Met"},
        {&AuthorCk, "AuthorCk", "Author", &Author, "Author", nullptr, nullptr},
        {&CopyrightCk, "CopyrightCk", "Copyright", &CopyRight, "CopyRight", nullptr, nullptr},
    };
    int top = 10;
    for (const TTagRow& row : rows) {
        *row.check = PlaceBitCheck(this, page, row.checkName, row.caption, 8, top + 2, 100, true);
        *row.edit = Place<TEdit>(this, page, row.editName, 112, top, 380, 21);
        if (row.led)
            *row.led = PlaceLed(this, page, row.ledName, 500, top - 2, 5, 15, 25);
        top += 28;
    }

    struct TChoiceRow {
        TBitCheckBox** check;
        const char* checkName;
        const char* caption;
        TComboBox** combo;
        const char* comboName;
        std::initializer_list<const char*> items;
        const char* text;
        int left;
        int top;
    };
    const TChoiceRow choices[] = {
        {&DistCk, "DistCk", "Distribution", &Distribution, "Distribution", {"Global", "Local"}, "Global", 8, top},
        {&RevisitCk, "RevisitCk", "Revisit", &Revisit, "Revisit", {"7 Days", "14 Days", "30 Days", "60 Days"},
         "14 Days", 236, top},
        {&RatingCk, "RatingCk", "Rating", &Rating, "Rating", {"General", "Mature", "14 years", "Restricted"},
         "General", 8, top + 28},
        {&RobotsCk, "RobotsCk", "Robots", &Robots, "Robots", {"NoIndex", "All", "Index", "NoFollow"}, "All", 236,
         top + 28},
    };
    for (const TChoiceRow& row : choices) {
        *row.check = PlaceBitCheck(this, page, row.checkName, row.caption, row.left, row.top + 2, 100, false);
        *row.combo = PlaceCombo(this, page, row.comboName, row.left + 104, row.top, 110, row.items, row.text);
    }

    Button10 = PlaceButton(this, page, "Button10", "Generate Tags", 478, top, 110);
    Button12 = PlaceButton(this, page, "Button12", "Apply Tags", 478, top + 28, 110);

    ViewerBox = Place<TPanel>(this, page, "ViewerBox", 8, top + 62, 592, 518 - (top + 62));
    ViewerBox->SetBevelOuter(bvLowered);
    ViewerBox->SetColor(clWindow);
    Viewer = PlaceClient<TColorMemo>(this, ViewerBox, "Viewer", ViewerBox->ClientWidth(), ViewerBox->ClientHeight());
    Viewer->SetWordWrap(false);
    Viewer->SetScrollBars(ssBoth);
    Viewer->Font()->SetName("Courier New");
    Viewer->Font()->SetSize(10);
    DressViewer(*Viewer);
}

void TSubmitMain::WireMetaTags()
{
    Button10->OnClick = Calls(&TSubmitMain::Button10Click);
    GenerateTags1->OnClick = Calls(&TSubmitMain::Button10Click);
    Button12->OnClick = Calls(&TSubmitMain::Button12Click);
    ApplyTags1->OnClick = Calls(&TSubmitMain::Button12Click);
    for (const LengthCounter& counter : MetaCounters) {
        auto* field = dynamic_cast<TEdit*>(FindComponent(counter.field));
        if (!field)
            throw std::logic_error(std::string("no edit control ") + counter.field);
        const TCounterControls controls = CounterControls(counter);
        field->OnChange = [this, controls](TObject*) { LengthCounterChange(controls); };
        LengthCounterChange(controls);
    }
}

void TSubmitMain::BuildMetaTags()
{
    MetaTagFields fields;
    fields.title = TitleMet->Text();
    fields.keywords = Key1Met->Text();
    fields.description = DescriptionMet->Text();
    fields.author = Author->Text();
    fields.copyright = CopyRight->Text();
    fields.creator = AppName;
    fields.distribution = Distribution->Text();
    fields.rating = Rating->Text();
    fields.robots = Robots->Text();
    fields.keywordsOn = Key1Ck->Checked();
    fields.descriptionOn = DescriptionCk->Checked();
    fields.authorOn = AuthorCk->Checked();
    fields.copyrightOn = CopyrightCk->Checked();
    fields.distributionOn = DistCk->Checked();
    fields.ratingOn = RatingCk->Checked();
    fields.robotsOn = RobotsCk->Checked();
    TStringList lines;
    for (const CodePageString& line : BuildMetaBlock(fields))
        lines.Add(line);
    Viewer->Lines()->Assign(lines);
}

void TSubmitMain::Button10Click(TObject*)
{
    ShowPage(pgMetaTags);
    BuildMetaTags();
}

void TSubmitMain::Button12Click(TObject*)
{
    ShowPage(pgMetaTags);
    BuildMetaTags();
    // The import wizard shares the dialog: its own settings come back after.
    const CodePageString filter = OpenDialog1->Filter;
    const CodePageString title = OpenDialog1->Title;
    const CodePageString initialDir = OpenDialog1->InitialDir;
    const int filterIndex = OpenDialog1->FilterIndex;
    OpenDialog1->InitialDir = AppFolder;
    OpenDialog1->Title = "Inject Html Document";
    OpenDialog1->Filter = "Html Document|*.htm;*.html|*.htm *.html|*.htm;*.html|*.shtm *.shtml|*.shtm;*.shtml|"
                          "*.asp |*.asp|All Files|*.*";
    OpenDialog1->FilterIndex = 1;
    const bool chosen = OpenDialog1->Execute();
    OpenDialog1->Filter = filter;
    OpenDialog1->Title = title;
    OpenDialog1->InitialDir = initialDir;
    OpenDialog1->FilterIndex = filterIndex;
    if (chosen)
        InjectMetaTags(OpenDialog1->FileName);
}

void TSubmitMain::InjectMetaTags(const CodePageString& FileName)
{
    std::vector<CodePageString> block;
    for (int i = 0; i < Viewer->Lines()->Count(); ++i)
        block.push_back(Viewer->Lines()->Strings(i));
    TMetaInjected done;
    try {
        done = InjectMetaBlockIntoFile(FileName, block);
    } catch (const std::exception& e) {
        Application->ShowException(&e);
        return;
    }
    if (done.how == MetaInjection::NoHead) {
        Application->MessageBox("The head of the page could not be found; the page was not changed.",
                                "Inject Html Document", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // The preview keeps what went into the page after the head's start tag
    // until the block is generated again.
    if (done.how == MetaInjection::InjectedBeforeScript && Viewer->Lines()->Count() > 0)
        Viewer->Lines()->Delete(Viewer->Lines()->Count() - 1);
    if (Viewer->Lines()->Count() > 0)
        Viewer->Lines()->Delete(0);
    // The copy is made once, of the page before its first injection; a later
    // injection tells where that copy still is.
    const CodePageString copy = done.backupSaved ? "A Copy of your injected File Has been saved as \r\n"
                                             : "The page as it was before its first injection is still kept in \r\n";
    Application->MessageBox("Your Injection Was Successful \r\n" + copy + FileName + ".bac", "Injection complete!",
                            MB_OK);
}
