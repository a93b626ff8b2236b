// The main window: construction of its components, start-up, the flashing
// hint timer and the page-switching menus.
#include "workbench/SubmitMain.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>

#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/FileListBox.h"
#include "classlib/Files.h"
#include "classlib/ImgList.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/Panels.h"
#include "classlib/ProgressBar.h"
#include "classlib/Skin.h"
#include "classlib/TabbedNotebook.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "platform/Hooks.h"
#include "platform/Memory.h"
#include "platform/Shell.h"
#include "transport/HttpProt.h"
#include "workbench/CustomDatabase.h"
#include "workbench/EngineData.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/LiveResult.h"
#include "workbench/Spider.h"
#include "workbench/SpiderData.h"
#include "workbench/UpdateData.h"
#include "workbench/WaitWindow.h"

TSubmitMain* SubmitMain = nullptr;

namespace {

// The notebook's page names, by TMainPage.
constexpr const char* PageNames[] = {"Projects", "Submit", "Ranking", "Reports", "MetaTags", "Doorway Pages", "About"};

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
      ProjectQueue(std::make_unique<TStringList>())
{
    Name = "SubmitMain";
    FRun = std::make_unique<TSubmissionRun>();
    WireSubmissionRun();
    WireEngineCatalog();
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
    BuildDoorwayViewer(TabbedNotebook1->Page(pgDoorwayPages));
    BuildAboutPage(TabbedNotebook1->Page(pgAbout));
    TabbedNotebook1->SetPageIndex(pgAbout);

    Timer1 = NewComponent<TTimer>(this, "Timer1");
    Timer1->SetInterval(500);
    Timer1->OnTimer = [this](TObject* sender) { Timer1Timer(sender); };
    Timer1->SetEnabled(true);
    FSaveTimer = std::make_unique<TTimer>(nullptr);
    FSaveTimer->SetEnabled(false);
    FSaveTimer->SetInterval(1000);
    FSaveTimer->OnTimer = [this](TObject*) { CommitProjectSaves(true); };

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    HttpMap = NewComponent<THttpCli>(this, "HttpMap");
    HttpRank = NewComponent<THttpCli>(this, "HttpRank");
    HttpCli2 = NewComponent<THttpCli>(this, "HttpCli2");
    WireProjectPage();
    WireImportPage();
    WireReportsPage();
    WireProxyMenu();
    WireUpdate();
    WireDoorway();
    WireRanking();
    WireMetaTags();

    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnShow = [this](TObject* sender) { FormShow(sender); };
    OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
}

TSubmitMain::~TSubmitMain()
{
    // A crawl's saves still pending (the window closed with them failing,
    // or a page finished after it closed) are committed now; an error has no
    // window left to be shown in.
    if (FSavesPending) {
        try {
            SaveSesList();
        } catch (const std::exception&) {
        }
    }
    FSaveTimer.reset();
    // The run's requests write into the rows; they go before them.
    FRun.reset();
    // The ranking check and the import run hold HttpRank's and HttpMap's
    // handlers; they go before the clients do.
    FRankCheck.reset();
    FImport.reset();
    // The wizard shows the catalog's names; it may outlive the catalog.
    if (CustomDatabase && CustomDatabase->AttachedEngines() == &Engines)
        CustomDatabase->Attach(nullptr, nullptr);
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
    // Every data path is the application folder plus a relative name.
    AppFolder = GetCurrentDir();
    Engines.Folder = AppFolder;
    ApplyDefaultSkin(*SkinForm1, AppFolder);
    // A database update stopped part-way is undone before anything is read.
    StartupStep([&] { RecoverUpdate(AppFolder); });

    // The program's name and version make the title; a value that cannot be
    // read is left empty and the title is built from the rest.
    const CodePageString settingsFile = AppPath(AppFolder, SettingsFileName);
    AppName = ReadSettingOrEmpty(settingsFile, "rur", "app", "error");
    AppTitle = AppName + " v" + ReadSettingOrEmpty(settingsFile, "rur", "version", "error");
    HomeLocation = ReadSettingOrEmpty(settingsFile, "rur", "home", "error");
    Application->SetTitle(AppTitle);
    SetCaption(AppTitle);
    AboutTitle->SetCaption(AppTitle);
    AboutHome->SetCaption(HomeLocation);

    TLeftOutLines leftOut;
    {
        TWaitWindow wait(this, "Please wait while database loads");
        leftOut = LoadEngineFiles(&wait);
    }
    TellLeftOutLines(leftOut);

    // Showing the report folder also makes it the current directory, where
    // the report preview is written.
    StartupStep([&] { FileListBox1->SetDirectory(AppPath(AppFolder, ReportsFolderName)); });
    {
        const TIniFile settings(settingsFile);
        LoadReportSettings(settings);
        FRun->Options.Ports = settings.ReadInteger("SubOptions", "Ports", 10);
        FRun->Options.Timeout = settings.ReadInteger("SubOptions", "Timeout", 40);
    }

    ResetRankList(this);
    FilterEngineList(this);

    ManualEngineListLoaded = StartupStep([&] {
        ExListView1->LoadFromDelimitedFile(AppPath(AppFolder, ManualEngineFileName));
    });
    ManLED->SetText(IntToStr(ExListView1->Items()->Count()));
    StartupStep([&] { LoadSesList(); });
    // A logo that cannot be read leaves its place empty.
    StartupStep([&] { Image1->Picture()->LoadFromFile(AppPath(AppFolder, LogoFileName)); });

    LedLabel1->SetText(IntToStr(SesList->Items()->Count()));
    SesList->SetSorted(true);
}

CodePageString ReadSettingOrEmpty(const CodePageString& fileName, const CodePageString& section, const CodePageString& key,
                              const CodePageString& fallback)
{
    try {
        return TIniFile(fileName).ReadString(section, key, fallback);
    } catch (const std::exception&) {
        return CodePageString();
    }
}

namespace {

// What loading the engine files adds to the heap, about: each record's line
// in the engine list and its row in the list view.
std::size_t EngineLoadBytes(const std::vector<CodePageString>& files)
{
    std::uintmax_t total = 0;
    for (const CodePageString& file : files) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(file.c_str(), error);
        if (!error)
            total += size;
    }
    return static_cast<std::size_t>(std::min<std::uintmax_t>(total, SIZE_MAX / 4) * 4);
}

}  // namespace

TSubmitMain::TLeftOutLines TSubmitMain::LoadEngineFiles(TWaitWindow* progress, TProgressBar* bar)
{
    const THeapRoom room(EngineLoadBytes(
        {AppPath(AppFolder, EngineDatabaseFileName), AppPath(AppFolder, CustomEngineFileName)}));
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
    Engines.CustomFileLoaded = StartupStep([&] {
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
    // The crawl's last saves are committed while an error can still be shown.
    CommitProjectSaves();
}

// --- the flashing hint ---------------------------------------------------------------------------

TImgBtn* TSubmitMain::FlashButton(TFlashTarget target) const
{
    switch (target) {
    case TFlashTarget::ImportButton:
        return Button3;
    case TFlashTarget::SpiderStart:
        return Spider ? Spider->Button1 : nullptr;
    case TFlashTarget::RankStart:
        return Button8;
    case TFlashTarget::SubmitButton:
        return Button6;
    case TFlashTarget::WizardImport:
        return CustomDatabase ? CustomDatabase->Button1 : nullptr;
    case TFlashTarget::None:
    case TFlashTarget::ProjectList:
        break;
    }
    return nullptr;
}

void TSubmitMain::Timer1Timer(TObject*)
{
    const TFlashRule* rule = FlashRuleOf(Hint.Target());
    if (!rule)
        return;
    if (rule->Target == TFlashTarget::ProjectList) {
        if (SesList->Tag != 1) {
            SesList->Font()->SetColor(clRed);
            SesList->Tag = 1;
        } else {
            SesList->Font()->SetColor(clBlack);
            SesList->Tag = 0;
        }
        return;
    }
    if (TImgBtn* button = FlashButton(rule->Target)) {
        const int next = NextFlashGlyph(*rule, button->Tag);
        ShowButtonGlyph(*button, *ImageList2, next);
        button->Tag = next;
    }
}

TFlashSwitch::TState TSubmitMain::FlashState() const
{
    return {Hint.Target(), Timer1->Enabled()};
}

void TSubmitMain::StartFlashing(TFlashTarget target)
{
    Hint.Show(target);
    Timer1->SetEnabled(true);
}

void TSubmitMain::RestoreFlashing(TState state)
{
    Hint.Show(state.Target);
    Timer1->SetEnabled(state.Running);
}

void TSubmitMain::StopFlashing(TFlashTarget target)
{
    Timer1->SetEnabled(false);
    const TFlashRule* rule = FlashRuleOf(target);
    TImgBtn* button = FlashButton(target);
    if (rule && button) {
        ShowButtonGlyph(*button, *ImageList2, rule->RestGlyph);
        button->Tag = rule->RestGlyph;
    }
}

// --- menus ---------------------------------------------------------------------------------------

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
