// The main window: construction of its components, start-up, the flashing
// hint timer and the page-switching menus.
#include "workbench/SubmitMain.h"

#include <algorithm>
#include <exception>

#include "classlib/CheckLst.h"
#include "classlib/ComCtrls.h"
#include "classlib/ExtCtrls.h"
#include "classlib/FileCtrl.h"
#include "classlib/ImgList.h"
#include "classlib/IniFiles.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"
#include "classlib/TabNotBk.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "platform/Hooks.h"
#include "platform/Shell.h"
#include "platform/Skin.h"
#include "transport/HttpProt.h"
#include "workbench/CustomDatabase.h"
#include "workbench/EngineData.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/LiveResult.h"
#include "workbench/Spider.h"
#include "workbench/WaitWindow.h"

TSubmitMain* SubmitMain = nullptr;

const TFlashRule* FlashRuleOf(int timerTag)
{
    for (const TFlashRule& rule : FlashRules)
        if (rule.Tag == timerTag)
            return &rule;
    return nullptr;
}

namespace {

// The notebook's page names, by TMainPage.
constexpr const char* PageNames[] = {"Projects", "Submit", "Ranking", "Reports", "MetaTags", "Doorway Pages", "About"};

// The project categories, in the order the combo box offers them
// ("Miscellaneous" is offered twice, first and in its alphabetical place).
constexpr const char* Categories[] = {
    "Miscellaneous", "Automotive",    "Business",      "Communications", "Community",  "Computers",
    "Consumer",      "Education",     "Employment",    "Entertainment",  "Finance",    "Government",
    "Health",        "Internet",      "Manufacturing", "Media",          "Medical",    "Miscellaneous",
    "News",          "Opportunities", "Personal",      "Politics",       "Publishing", "Recreation",
    "Reference",     "Religion",      "Sci-Tech",      "Services",       "Transportation", "Travel",
    "Web_Stuff",
};

// The ranking list's twelve engines, in row order.
constexpr const char* RankEngines[] = {"Altavista", "Anzwers", "DirectHit", "Excite",     "GoTo",      "Google",
                                       "HotBot",    "Lycos",   "MSN",       "NBCi (Snap)", "Webcrawler", "Yahoo"};

struct TColumnSpec {
    const char* Caption;
    int Width;
};

void AddColumns(TListView& list, std::initializer_list<TColumnSpec> columns)
{
    for (const TColumnSpec& spec : columns) {
        TListColumn* column = list.Columns()->Add();
        column->SetCaption(spec.Caption);
        column->SetWidth(spec.Width);
    }
}

// The three enhanced list views of the window share their look.
void DressListView(TExListView& list, bool checkboxes)
{
    list.SetViewStyle(vsReport);
    list.SetOwnerDraw(true);
    list.SetURLShow(true);
    list.SetCheckboxes(checkboxes);
    list.SetGridLines(true);
    list.SetRowSelect(true);
    list.SetReadOnly(true);
    list.SetHideSelection(false);
    list.SetItemHeight(17);
}

// The LED counters' colours: lit segments bright, unlit ones dim enough
// that the digits stand out.
struct TLedTone {
    TColor On;
    TColor Off;
};
constexpr TLedTone RedLed = {clRed, RGB(64, 0, 0)};
constexpr TLedTone GreenLed = {clLime, RGB(0, 56, 0)};
constexpr TLedTone YellowLed = {clYellow, RGB(60, 60, 0)};

TLedLabel* PlaceLed(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int digits,
                    int digitWidth = 15, int height = 26, TLedTone tone = RedLed)
{
    TLedLabel* led = Place<TLedLabel>(owner, parent, name, left, top, digits * digitWidth + 4, height);
    // Segments of thickness 0 are lines in their outline's colour, which is
    // how the length counters' warning colour shows.
    led->SetSegmentThickness(0);
    led->SetNumChars(digits);
    led->SetOnColor(tone.On);
    led->SetOffColor(tone.Off);
    led->SetSegmentBorderColor(tone.On);
    led->SetText("0");
    return led;
}

TBitCheckBox* PlaceBitCheck(TComponent* owner, TWinControl* parent, const char* name, const AnsiString& caption,
                            int left, int top, int width, bool checked)
{
    TBitCheckBox* box = Place<TBitCheckBox>(owner, parent, name, left, top, width, 18);
    box->SetCaption(caption);
    box->SetChecked(checked);
    // As wide as the glyph and the caption, so that the box's face ends
    // where its text does.
    const int fit = box->UncheckedGlyph()->Width() + 4 + box->Canvas()->TextWidth(caption) + 4;
    box->SetWidth(std::min(width, fit));
    return box;
}

TComboBox* PlaceCombo(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width,
                      std::initializer_list<const char*> items, const AnsiString& text)
{
    TComboBox* combo = Place<TComboBox>(owner, parent, name, left, top, width, 21);
    for (const char* item : items)
        combo->Items()->Add(item);
    combo->SetText(text);
    return combo;
}

TListBox* PlaceHiddenList(TComponent* owner, TWinControl* parent, const char* name)
{
    TListBox* list = Place<TListBox>(owner, parent, name, 0, 0, 40, 20);
    list->SetVisible(false);
    return list;
}

TMenuItem* AddMenuItem(TComponent* owner, TMenuItem* parent, const char* name, const AnsiString& caption,
                       TNotifyEvent onClick = {})
{
    TMenuItem* item = NewComponent<TMenuItem>(owner, name);
    item->SetCaption(caption);
    item->OnClick = std::move(onClick);
    parent->Add(item);
    return item;
}

void AddMenuLine(TComponent* owner, TMenuItem* parent, const char* name)
{
    AddMenuItem(owner, parent, name, "-");
}

// Runs one step of the start-up: a failure is shown in the application's
// error box and the steps after it still run, so that one missing file
// leaves only its own part of the window empty.
template <class F>
bool StartupStep(F&& step)
{
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        Application->ShowException(&e);
    }
    return false;
}

}  // namespace

// --- construction ------------------------------------------------------------------------------

TSubmitMain::TSubmitMain(TComponent* AOwner)
    : TForm(AOwner),
      EngineList(std::make_unique<TStringList>()),
      ProjectQueue(std::make_unique<TStringList>())
{
    Name = "SubmitMain";
    EngineList->SetSorted(true);
    SetCaption("Tenvarel");
    SetPosition(poScreenCenter);

    ImageList1 = NewComponent<TImageList>(this, "ImageList1");
    FillRowImages(*ImageList1);
    ImageList2 = NewComponent<TImageList>(this, "ImageList2");
    FillFlashGlyphs(*ImageList2);

    BuildMenus();
    SetClientWidth(800);
    SetClientHeight(560);

    BuildProjectPanel();

    TabbedNotebook1 = Place<TTabbedNotebook>(this, this, "TabbedNotebook1", 184, 4, 612, 552);
    TabbedNotebook1->SetTabsPerRow(7);
    for (const char* page : PageNames)
        TabbedNotebook1->Pages()->Add(page);
    BuildProjectsPage(TabbedNotebook1->Page(pgProjects));
    BuildSubmitPage(TabbedNotebook1->Page(pgSubmit));
    BuildRankingPage(TabbedNotebook1->Page(pgRanking));
    BuildReportsPage(TabbedNotebook1->Page(pgReports));
    BuildMetaTagsPage(TabbedNotebook1->Page(pgMetaTags));
    BuildDoorwayPage(TabbedNotebook1->Page(pgDoorwayPages));
    BuildAboutPage(TabbedNotebook1->Page(pgAbout));
    TabbedNotebook1->SetPageIndex(pgAbout);

    Timer1 = NewComponent<TTimer>(this, "Timer1");
    Timer1->SetInterval(500);
    Timer1->Tag = 0;
    Timer1->OnTimer = [this](TObject* sender) { Timer1Timer(sender); };
    Timer1->SetEnabled(true);

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    HttpMap = NewComponent<THttpCli>(this, "HttpMap");
    HttpRank = NewComponent<THttpCli>(this, "HttpRank");
    HttpCli2 = NewComponent<THttpCli>(this, "HttpCli2");
    WireProjectPage();
    WireReportsPage();
    WireProxyMenu();
    WireUpdate();

    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnShow = [this](TObject* sender) { FormShow(sender); };
    OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
}

TSubmitMain::~TSubmitMain()
{
    // The components' handlers refer to this window; they go first.
    DestroyComponents();
    if (SubmitMain == this)
        SubmitMain = nullptr;
}

TNotifyEvent TSubmitMain::Calls(void (TSubmitMain::*handler)(TObject*))
{
    return [this, handler](TObject* sender) { (this->*handler)(sender); };
}

void TSubmitMain::BuildMenus()
{
    MainMenu1 = NewComponent<TMainMenu>(this, "MainMenu1");
    TMenuItem* root = MainMenu1->Items();

    Projects1 = AddMenuItem(this, root, "Projects1", "&Projects");
    ProjectInformation1 = AddMenuItem(this, Projects1, "ProjectInformation1", "Project Information",
                                      Calls(&TSubmitMain::ProjectInformation1Click));
    ImportWizard1 = AddMenuItem(this, Projects1, "ImportWizard1", "Import Wizard",
                                Calls(&TSubmitMain::ImportWizard1Click));
    AddMenuLine(this, Projects1, "N1");
    SiteClear = AddMenuItem(this, Projects1, "SiteClear", "New");
    SiteAdd = AddMenuItem(this, Projects1, "SiteAdd", "Save");
    SiteDel = AddMenuItem(this, Projects1, "SiteDel", "Delete");

    Submit1 = AddMenuItem(this, root, "Submit1", "&Submit");
    AutoSubmitEngines1 = AddMenuItem(this, Submit1, "AutoSubmitEngines1", "Auto Submit Engines",
                                     Calls(&TSubmitMain::AutoSubmitEngines1Click));
    ManualEngines1 = AddMenuItem(this, Submit1, "ManualEngines1", "Manual Engines",
                                 Calls(&TSubmitMain::ManualEngines1Click));
    AddMenuLine(this, Submit1, "N2");
    EngineDatabase1 = AddMenuItem(this, Submit1, "EngineDatabase1", "Add to Database",
                                  Calls(&TSubmitMain::EngineDatabase1Click));

    Ranking2 = AddMenuItem(this, root, "Ranking2", "&Ranking");
    Ranking1 = AddMenuItem(this, Ranking2, "Ranking1", "Ranking", Calls(&TSubmitMain::Ranking1Click));
    ResetList1 = AddMenuItem(this, Ranking2, "ResetList1", "Reset List");

    MetaTags1 = AddMenuItem(this, root, "MetaTags1", "&MetaTags");
    GenerateTags1 = AddMenuItem(this, MetaTags1, "GenerateTags1", "Generate Tags");
    ApplyTags1 = AddMenuItem(this, MetaTags1, "ApplyTags1", "Apply Tags");

    Reports2 = AddMenuItem(this, root, "Reports2", "R&eports");
    Reports1 = AddMenuItem(this, Reports2, "Reports1", "Reports", Calls(&TSubmitMain::Reports1Click));
    Preview1 = AddMenuItem(this, Reports2, "Preview1", "Preview");
    Apply1 = AddMenuItem(this, Reports2, "Apply1", "Apply");

    DoorwayPages2 = AddMenuItem(this, root, "DoorwayPages2", "&Doorway Pages");
    DoorwayPages1 = AddMenuItem(this, DoorwayPages2, "DoorwayPages1", "Doorway Pages",
                                Calls(&TSubmitMain::DoorwayPages1Click));
    Save1 = AddMenuItem(this, DoorwayPages2, "Save1", "Save As");

    Options1 = AddMenuItem(this, root, "Options1", "&Options");
    SubmitOptions1 = AddMenuItem(this, Options1, "SubmitOptions1", "Timeouts/Ports",
                                 Calls(&TSubmitMain::SubmitOptions1Click));
    Proxy1 = AddMenuItem(this, Options1, "Proxy1", "Proxy Settings");
    UpdateDatabase1 = AddMenuItem(this, Options1, "UpdateDatabase1", "Database/Software Update's");

    Help1 = AddMenuItem(this, root, "Help1", "&Help");
    OnlineManual1 = AddMenuItem(this, Help1, "OnlineManual1", "Online Manual", Calls(&TSubmitMain::OnlineManual1Click));

    SetMenu(MainMenu1);

    PopupMenu1 = NewComponent<TPopupMenu>(this, "PopupMenu1");
    DeleteEngine1 = AddMenuItem(this, PopupMenu1->Items(), "DeleteEngine1", "Delete Engine",
                                Calls(&TSubmitMain::DeleteEngine1Click));
    PopupMenu2 = NewComponent<TPopupMenu>(this, "PopupMenu2");
    ViewReport1 = AddMenuItem(this, PopupMenu2->Items(), "ViewReport1", "View Report");
    DeleteReport1 = AddMenuItem(this, PopupMenu2->Items(), "DeleteReport1", "Delete Report");
}

void TSubmitMain::BuildProjectPanel()
{
    ProjectPanel = Place<TPanel>(this, this, "ProjectPanel", 4, 4, 176, 552);
    ProjectPanel->SetBevelOuter(bvLowered);
    Label1 = PlaceLabel(this, ProjectPanel, "Label1", "Projects", 8, 8);
    Label1->Font()->SetStyle(TFontStyles{fsBold});
    SesList = Place<TCheckListBox>(this, ProjectPanel, "SesList", 6, 26, 164, 474);
    Label1->SetFocusControl(SesList);
    LedLabel1 = PlaceLed(this, ProjectPanel, "LedLabel1", 100, 514, 4);
    Label3 = PlaceLabel(this, ProjectPanel, "Label3", "Projects saved", 8, 520);
}

void TSubmitMain::BuildProjectsPage(TWinControl* page)
{
    PageControl1 = PlaceClient<TPageControl>(this, page, "PageControl1", page->ClientWidth(), page->ClientHeight());

    TabSheet1 = NewComponent<TTabSheet>(this, "TabSheet1");
    TabSheet1->SetCaption("Project Information");
    TabSheet1->SetPageControl(PageControl1);
    TWinControl* sheet = TabSheet1;
    constexpr int field = 100;
    constexpr int wide = 380;
    constexpr int led = 490;

    Session_Name = Place<TEdit>(this, sheet, "Session_Name", field, 8, 200, 21);
    PlaceLabel(this, sheet, "Label4", "Project Name", 8, 11, Session_Name);
    urllist = Place<TEdit>(this, sheet, "urllist", field, 34, wide, 21);
    urllist->SetText("http://");
    PlaceLabel(this, sheet, "Label5", "URL", 8, 37, urllist);
    title = Place<TEdit>(this, sheet, "title", field, 60, wide, 21);
    PlaceLabel(this, sheet, "Label6", "Title", 8, 63, title);
    CLED2 = PlaceLed(this, sheet, "CLED2", led, 58, 3);
    Description = Place<TMemo>(this, sheet, "Description", field, 86, wide, 54);
    PlaceLabel(this, sheet, "Label7", "Description", 8, 89, Description);
    CLED3 = PlaceLed(this, sheet, "CLED3", led, 88, 3);
    Key1 = Place<TMemo>(this, sheet, "Key1", field, 146, wide, 40);
    PlaceLabel(this, sheet, "Label8", "Keywords", 8, 149, Key1);
    CLED4 = PlaceLed(this, sheet, "CLED4", led, 146, 3);
    catagory = Place<TComboBox>(this, sheet, "catagory", field, 192, 200, 21);
    // Editable, so that a stored or imported category that is not one of the
    // items is shown and saved back as it is, never dropped.
    catagory->SetStyle(csDropDown);
    for (const char* category : Categories)
        catagory->Items()->Add(category);
    catagory->SetItemIndex(-1);
    PlaceLabel(this, sheet, "Label9", "Category", 8, 195, catagory);
    email = Place<TEdit>(this, sheet, "email", field, 218, wide, 21);
    PlaceLabel(this, sheet, "Label10", "E-mail", 8, 221, email);

    ContactBox = Place<TGroupBox>(this, sheet, "ContactBox", 8, 250, 588, 172);
    ContactBox->SetCaption("Contact");
    struct TContactField {
        TEdit** edit;
        const char* name;
        const char* label;
        const char* labelName;
    };
    const TContactField left[] = {{&name, "name", "First Name", "Label16"},   {&LastN, "LastN", "Last Name", "Label17"},
                                  {&Company, "Company", "Company", "Label18"}, {&Address1, "Address1", "Address 1", "Label19"},
                                  {&Address2, "Address2", "Address 2", "Label20"}};
    const TContactField right[] = {{&City, "City", "City", "Label21"},       {&State, "State", "State", "Label22"},
                                   {&Zip, "Zip", "Zip", "Label23"},          {&Country, "Country", "Country", "Label24"},
                                   {&Phone, "Phone", "Phone", "Label25"},    {&Fax, "Fax", "Fax", "Label26"}};
    int top = 20;
    for (const TContactField& f : left) {
        *f.edit = Place<TEdit>(this, ContactBox, f.name, 80, top, 190, 21);
        PlaceLabel(this, ContactBox, f.labelName, f.label, 10, top + 3, *f.edit);
        top += 24;
    }
    top = 20;
    for (const TContactField& f : right) {
        *f.edit = Place<TEdit>(this, ContactBox, f.name, 362, top, 214, 21);
        PlaceLabel(this, ContactBox, f.labelName, f.label, 298, top + 3, *f.edit);
        top += 24;
    }

    ImgBtn1 = PlaceButton(this, sheet, "ImgBtn1", "New", 412, 468);
    ImgBtn2 = PlaceButton(this, sheet, "ImgBtn2", "Save", 500, 468);

    TabSheet6 = NewComponent<TTabSheet>(this, "TabSheet6");
    TabSheet6->SetCaption("Import Wizard");
    TabSheet6->SetPageControl(PageControl1);
    sheet = TabSheet6;
    FromUrl = Place<TRadioButton>(this, sheet, "FromUrl", field, 8, 100, 18);
    FromUrl->SetCaption("From URL");
    FromFile = Place<TRadioButton>(this, sheet, "FromFile", field + 110, 8, 100, 18);
    FromFile->SetCaption("From File");
    FromUrl->SetChecked(true);
    UrlImp = Place<TEdit>(this, sheet, "UrlImp", field, 34, wide, 21);
    UrlImp->SetText("http://");
    PlaceLabel(this, sheet, "Label11", "URL", 8, 37, UrlImp);
    TitleImpCk = PlaceBitCheck(this, sheet, "TitleImpCk", "Title", 8, 63, 90, true);
    TitleImp = Place<TEdit>(this, sheet, "TitleImp", field, 60, wide, 21);
    CLED2Imp = PlaceLed(this, sheet, "CLED2Imp", led, 58, 3);
    DescriptionImpCk = PlaceBitCheck(this, sheet, "DescriptionImpCk", "Description", 8, 89, 90, true);
    DescriptionImp = Place<TMemo>(this, sheet, "DescriptionImp", field, 86, wide, 60);
    CLED3Imp = PlaceLed(this, sheet, "CLED3Imp", led, 88, 3);
    Key1ImpCk = PlaceBitCheck(this, sheet, "Key1ImpCk", "Keywords", 8, 155, 90, true);
    Key1Imp = Place<TMemo>(this, sheet, "Key1Imp", field, 152, wide, 48);
    CLED4Imp = PlaceLed(this, sheet, "CLED4Imp", led, 152, 3);
    SpiderCK = PlaceBitCheck(this, sheet, "SpiderCK", "Spider URL", field, 210, 120, false);
    Button3 = PlaceButton(this, sheet, "Button3", "Import", field, 240);
    Button4 = PlaceButton(this, sheet, "Button4", "Abort", field + 88, 240);
    Button4->SetEnabled(false);
    Button5 = PlaceButton(this, sheet, "Button5", "Apply", field + 176, 240);
    Label13 = PlaceLabel(this, sheet, "Label13", "", field, 272);
    SiteToCr = PlaceHiddenList(this, sheet, "SiteToCr");
    SiteList = PlaceHiddenList(this, sheet, "SiteList");

    PageControl1->SetActivePage(TabSheet1);
}

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

void TSubmitMain::BuildReportsPage(TWinControl* page)
{
    GenReportCk = PlaceBitCheck(this, page, "GenReportCk", "Generate Reports", 8, 8, 150, true);

    GroupBox1 = Place<TGroupBox>(this, page, "GroupBox1", 8, 32, 592, 176);
    GroupBox1->SetCaption("Settings");
    HeaderCk = PlaceBitCheck(this, GroupBox1, "HeaderCk", "Header", 10, 24, 80, true);
    Header = Place<TEdit>(this, GroupBox1, "Header", 96, 22, 440, 21);
    SpeedButton1 = Place<TButton>(this, GroupBox1, "SpeedButton1", 542, 22, 30, 21);
    SpeedButton1->SetCaption("...");
    FooterCk = PlaceBitCheck(this, GroupBox1, "FooterCk", "Footer", 10, 52, 80, true);
    Footer = Place<TEdit>(this, GroupBox1, "Footer", 96, 50, 440, 21);
    SpeedButton2 = Place<TButton>(this, GroupBox1, "SpeedButton2", 542, 50, 30, 21);
    SpeedButton2->SetCaption("...");
    TitleRepCk = PlaceBitCheck(this, GroupBox1, "TitleRepCk", "Title", 10, 80, 80, true);
    TitleRep = Place<TEdit>(this, GroupBox1, "TitleRep", 96, 78, 476, 21);
    TitleRep->SetText("Submission Results");
    Label12 = PlaceLabel(this, GroupBox1, "Label12",
                         "Reports are automaticaly generated each time a submission has completed. Changes to the "
                         "Header,Footer and Title will take affect on the next submitted Project.",
                         10, 110);
    Label12->SetAutoSize(false);
    Label12->SetWordWrap(true);
    Label12->SetBounds(10, 110, 380, 56);
    Button14 = PlaceButton(this, GroupBox1, "Button14", "Apply", 404, 140);
    Button13 = PlaceButton(this, GroupBox1, "Button13", "Preview", 492, 140);

    GroupBox2 = Place<TGroupBox>(this, page, "GroupBox2", 8, 216, 592, 302);
    GroupBox2->SetCaption("Saved Reports");
    FileListBox1 = Place<TFileListBox>(this, GroupBox2, "FileListBox1", 10, 20, 572, 272);
    FileListBox1->SetMask("*.htm");
    FileListBox1->SetPopupMenu(PopupMenu2);
}

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
}

void TSubmitMain::BuildDoorwayPage(TWinControl* page)
{
    DoorwayBox = PlaceClient<TPanel>(this, page, "DoorwayBox", page->ClientWidth(), page->ClientHeight());
    DoorwayBox->SetBevelOuter(bvLowered);
    DoorwayBox->SetColor(clWindow);
}

void TSubmitMain::BuildAboutPage(TWinControl* page)
{
    Image1 = Place<TImage>(this, page, "Image1", 64, 24, 480, 150);
    Image1->SetStretch(true);
    AboutTitle = PlaceLabel(this, page, "AboutTitle", "Tenvarel", 64, 192);
    AboutTitle->Font()->SetName("Arial");
    AboutTitle->Font()->SetSize(14);
    AboutTitle->Font()->SetStyle(TFontStyles{fsBold});
    AboutText = PlaceLabel(this, page, "AboutText",
                           "Describe a web site once as a project, and Tenvarel submits it to search engines, "
                           "directories, classified-ad sites, free-for-all link pages and batch submission services, "
                           "many requests at a time, and shows every result as it comes in. It also checks where the "
                           "site ranks, writes its meta tags and doorway pages, and keeps a report of every run.",
                           64, 226);
    AboutText->SetAutoSize(false);
    AboutText->SetWordWrap(true);
    AboutText->SetBounds(64, 226, 480, 80);
    AboutHome = PlaceLabel(this, page, "AboutHome", "", 64, 316);
}

// --- start-up ------------------------------------------------------------------------------------

void TSubmitMain::FormCreate(TObject*)
{
    // 1. Every data path is the application folder plus a relative name.
    AppFolder = GetCurrentDir();

    // 2. The skin.
    ApplyDefaultSkin(*SkinForm1, AppFolder);

    // 3. The program's name, version and home.
    {
        TIniFile settings(AppPath(AppFolder, SettingsFileName));
        InFlight = 0;
        AnsiString app;
        AnsiString version;
        // Each read stands alone: one that fails leaves its value empty and
        // the caption is built from what was read.
        try {
            app = settings.ReadString("rur", "app", "error");
        } catch (const std::exception&) {
        }
        try {
            version = settings.ReadString("rur", "version", "error");
        } catch (const std::exception&) {
        }
        AppTitle = app + " v" + version;
        Application->SetTitle(AppTitle);
        try {
            HomeLocation = settings.ReadString("rur", "home", "error");
        } catch (const std::exception&) {
        }
        SetCaption(AppTitle);
        AboutTitle->SetCaption(AppTitle);
        AboutHome->SetCaption(HomeLocation);
    }

    // 4 to 8. Both engine files into the engine list, with the wait window up.
    TLeftOutLines leftOut;
    {
        TWaitWindow wait(this, "Please wait while database loads");
        leftOut = LoadEngineFiles(&wait);
    }
    TellLeftOutLines(leftOut);

    // 9. The report folder (this also makes it the current directory, where
    // the report preview is written).
    StartupStep([&] { FileListBox1->SetDirectory(AppPath(AppFolder, ReportsFolderName)); });

    // 10. The report settings and the submission options.
    {
        TIniFile settings(AppPath(AppFolder, SettingsFileName));
        LoadReportSettings(settings);
        Ports = settings.ReadInteger("SubOptions", "Ports", 10);
        Timeout = settings.ReadInteger("SubOptions", "Timeout", 40);
    }

    // 11. (The ranking list is reset here.)

    // 12. Every type rule, and the checked count.
    FilterEngineList(this);

    // 13. The manual engines.
    ManualEngineListLoaded = StartupStep([&] {
        ExListView1->LoadFromDelimitedFile(AppPath(AppFolder, ManualEngineFileName));
    });
    ManLED->SetText(IntToStr(ExListView1->Items()->Count()));

    // 14. The project list.
    StartupStep([&] { LoadSesList(); });

    // 15. The logo; a missing picture leaves the place empty.
    StartupStep([&] { Image1->Picture()->LoadFromFile(AppPath(AppFolder, LogoFileName)); });

    // 16.
    LedLabel1->SetText(IntToStr(SesList->Items()->Count()));
    SesList->SetSorted(true);
}

TSubmitMain::TLeftOutLines TSubmitMain::LoadEngineFiles(TWaitWindow* progress, TProgressBar* bar)
{
    TLeftOutLines leftOut;
    EngineList->BeginUpdate();
    // A file that cannot be read is reported, and start-up goes on with the
    // other one; the flags keep either from being rewritten from a list that
    // lacks its records.
    EngineDatabaseLoaded = StartupStep([&] {
        leftOut.database =
            LoadEngineRecords(AppPath(AppFolder, EngineDatabaseFileName), *EngineList, EngineCipherStart);
    });
    // The custom engines go through the project queue, unused until a run.
    CustomEngineFileLoaded = StartupStep([&] {
        leftOut.custom = LoadEngineRecords(AppPath(AppFolder, CustomEngineFileName), *ProjectQueue, EngineCipherStart);
    });
    EngineList->AddStrings(*ProjectQueue);
    ProjectQueue->Clear();

    FillEngineList(progress, bar);
    EngineList->EndUpdate();
    TotalDis->SetText(IntToStr(ExListView2->Items()->Count()));
    return leftOut;
}

void TSubmitMain::TellLeftOutLines(const TLeftOutLines& leftOut)
{
    // Lines that hold no engine (a damaged or foreign file) are told once per file.
    for (const auto& [count, fileName] : {std::pair{leftOut.database, EngineDatabaseFileName},
                                          std::pair{leftOut.custom, CustomEngineFileName}})
        if (count > 0)
            Application->MessageBox(IntToStr(static_cast<long long>(count)) + " lines of " +
                                        ExtractFileName(PathFromWindows(fileName)) +
                                        " are not engine records and were left out.",
                                    "Engine File", MB_OK | MB_ICONEXCLAMATION);
}

void TSubmitMain::FormShow(TObject*)
{
    LoadProxySettings();
    ApplyDefaultSkin(*SkinForm1, AppFolder);
    Repaint();
}

void TSubmitMain::FormClose(TObject*, TCloseAction&)
{
    // Closing the main window ends the program. The lists stay until the
    // window is freed: messages still queued (a request's end, a pass over
    // the rows) may reach them until then.
    Timer1->SetEnabled(false);
}

// --- the flashing hint ---------------------------------------------------------------------------

void TSubmitMain::Timer1Timer(TObject*)
{
    const TFlashRule* rule = FlashRuleOf(Timer1->Tag);
    if (!rule)
        return;
    auto flash = [&](TImgBtn* button) {
        if (!button)
            return;
        const int next = NextFlashGlyph(*rule, button->Tag);
        ShowButtonGlyph(*button, *ImageList2, next);
        button->Tag = next;
    };
    switch (rule->Target) {
    case TFlashTarget::None:
        break;
    case TFlashTarget::ImportButton:
        flash(Button3);
        break;
    case TFlashTarget::SpiderStart:
        flash(Spider ? Spider->Button1 : nullptr);
        break;
    case TFlashTarget::RankStart:
        flash(Button8);
        break;
    case TFlashTarget::SubmitButton:
        flash(Button6);
        break;
    case TFlashTarget::WizardImport:
        flash(CustomDatabase ? CustomDatabase->Button1 : nullptr);
        break;
    case TFlashTarget::ProjectList:
        if (SesList->Tag != 1) {
            SesList->Font()->SetColor(clRed);
            SesList->Tag = 1;
        } else {
            SesList->Font()->SetColor(clBlack);
            SesList->Tag = 0;
        }
        break;
    }
}

// --- menus and the live window ------------------------------------------------------------------

void TSubmitMain::ShowPage(TMainPage page, TPageControl* pages, TTabSheet* sheet)
{
    TabbedNotebook1->SetPageIndex(page);
    if (pages && sheet)
        pages->SetActivePage(sheet);
}

void TSubmitMain::ProjectInformation1Click(TObject*)
{
    ShowPage(pgProjects, PageControl1, TabSheet1);
}

void TSubmitMain::ImportWizard1Click(TObject*)
{
    ShowPage(pgProjects, PageControl1, TabSheet6);
}

void TSubmitMain::AutoSubmitEngines1Click(TObject*)
{
    ShowPage(pgSubmit, PageControl2, TabSheet2);
}

void TSubmitMain::ManualEngines1Click(TObject*)
{
    ShowPage(pgSubmit, PageControl2, TabSheet3);
}

void TSubmitMain::Ranking1Click(TObject*)
{
    ShowPage(pgRanking);
}

void TSubmitMain::Reports1Click(TObject*)
{
    ShowPage(pgReports);
}

void TSubmitMain::DoorwayPages1Click(TObject*)
{
    ShowPage(pgDoorwayPages);
}

void TSubmitMain::EngineDatabase1Click(TObject*)
{
    if (CustomDatabase)
        CustomDatabase->Show();
}

void TSubmitMain::SubmitOptions1Click(TObject*)
{
    if (LiveResult)
        LiveResult->Show();
}

void TSubmitMain::OnlineManual1Click(TObject*)
{
    ShellExecute(0, "open", HomeLocation + "/help.htm", "", "", SW_SHOWNORMAL);
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
