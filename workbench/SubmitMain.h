// The main window: the whole workbench on seven notebook pages, its menus,
// its start-up from the installation folder and the flashing hint timer.
//
// The class is declared once, here. SubmitMain.cpp holds the construction,
// the menus, the About page, the start-up and the timer; every other feature
// has a source file of its own, SubmitMain<Feature>.cpp, that builds its page
// (Build...Page), wires its controls and holds its handlers: Projects, Import,
// Submit, Engines, Ranking, Reports, MetaTags, Doorway, Proxy, Update.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Forms.h"
#include "workbench/EngineCatalog.h"
#include "workbench/FlashHint.h"
#include "workbench/ImportRun.h"
#include "workbench/ProjectData.h"
#include "workbench/RankingCheck.h"
#include "workbench/SubmissionRun.h"

class TBitCheckBox;
class TButton;
class TCheckListBox;
class TColorMemo;
class TComboBox;
class TEdit;
class TExListView;
class TFileListBox;
class TGroupBox;
class THtmlPane;
class THttpCli;
class TImage;
class TImageList;
class TImgBtn;
class TLabel;
class TLedLabel;
class TListItem;
class TListBox;
class TMainMenu;
class TMemo;
class TMenuItem;
class TOleContainer;
class TProgressBar;
class TPageControl;
class TPanel;
class TPopupMenu;
class TRAR;
struct RARHeaderData;
class TRadioButton;
class TSaveDialog;
class TSkinForm;
class TTabSheet;
class TTabbedNotebook;
class TTimer;
class TWinControl;

// Data files of the installation, relative to the application folder.
inline constexpr const char* SettingsFileName = "\\wkt.ini";
inline constexpr const char* EngineDatabaseFileName = "\\data\\data.czc";
inline constexpr const char* ManualEngineFileName = "/data/datam.czc";
inline constexpr const char* ReportsFolderName = "\\reports";
inline constexpr const char* LogoFileName = "/logo.jpg";

// One value of an INI file, read on its own: the fallback when the key is
// absent, and an empty value when the read fails, so that a bad read leaves
// only its own value empty.
CodePageString ReadSettingOrEmpty(const CodePageString& fileName, const CodePageString& section, const CodePageString& key,
                              const CodePageString& fallback);

// The notebook's pages, in order.
enum TMainPage {
    pgProjects = 0,
    pgSubmit = 1,
    pgRanking = 2,
    pgReports = 3,
    pgMetaTags = 4,
    pgDoorwayPages = 5,
    pgAbout = 6,
};

class TSubmitMain : public TForm, public TFlashSwitch {
public:
    explicit TSubmitMain(TComponent* AOwner);
    ~TSubmitMain() override;

    // --- menus ---------------------------------------------------------------------------
    TMainMenu* MainMenu1;
    TMenuItem* Projects1;
    TMenuItem* ProjectInformation1;
    TMenuItem* ImportWizard1;
    TMenuItem* SiteClear;  // "New"
    TMenuItem* SiteAdd;    // "Save"
    TMenuItem* SiteDel;    // "Delete"
    TMenuItem* Submit1;
    TMenuItem* AutoSubmitEngines1;
    TMenuItem* ManualEngines1;
    TMenuItem* EngineDatabase1;  // "Add to Database"
    TMenuItem* Ranking2;
    TMenuItem* Ranking1;
    TMenuItem* ResetList1;
    TMenuItem* MetaTags1;
    TMenuItem* GenerateTags1;
    TMenuItem* ApplyTags1;
    TMenuItem* Reports2;
    TMenuItem* Reports1;
    TMenuItem* Preview1;
    TMenuItem* Apply1;
    TMenuItem* DoorwayPages2;
    TMenuItem* DoorwayPages1;
    TMenuItem* Save1;  // "Save As"
    TMenuItem* Options1;
    TMenuItem* SubmitOptions1;   // "Timeouts/Ports"
    TMenuItem* Proxy1;           // "Proxy Settings"
    TMenuItem* UpdateDatabase1;  // "Database/Software Update's"
    TMenuItem* Help1;
    TMenuItem* OnlineManual1;
    TPopupMenu* PopupMenu1;  // the engine lists
    TMenuItem* DeleteEngine1;
    TPopupMenu* PopupMenu2;  // the saved reports
    TMenuItem* ViewReport1;
    TMenuItem* DeleteReport1;

    // --- beside the notebook -------------------------------------------------------------
    TPanel* ProjectPanel;
    TLabel* Label1;
    TCheckListBox* SesList;
    TLabel* Label3;
    TLedLabel* LedLabel1;  // projects
    TTabbedNotebook* TabbedNotebook1;

    // --- page "Projects" ---------------------------------------------------------------------
    TPageControl* PageControl1;
    TTabSheet* TabSheet1;  // "Project Information"
    TEdit* Session_Name;
    TEdit* urllist;
    TEdit* title;
    TLedLabel* CLED2;
    TMemo* Description;
    TLedLabel* CLED3;
    TMemo* Key1;
    TLedLabel* CLED4;
    TComboBox* catagory;
    TEdit* email;
    TGroupBox* ContactBox;
    TEdit* name;
    TEdit* LastN;
    TEdit* Company;
    TEdit* Address1;
    TEdit* Address2;
    TEdit* City;
    TEdit* State;
    TEdit* Zip;
    TEdit* Country;
    TEdit* Phone;
    TEdit* Fax;
    TImgBtn* ImgBtn1;  // New
    TImgBtn* ImgBtn2;  // Save
    TTabSheet* TabSheet6;  // "Import Wizard"
    TRadioButton* FromUrl;
    TRadioButton* FromFile;
    TEdit* UrlImp;
    TBitCheckBox* TitleImpCk;
    TBitCheckBox* DescriptionImpCk;
    TBitCheckBox* Key1ImpCk;
    TBitCheckBox* SpiderCK;
    TEdit* TitleImp;
    TLedLabel* CLED2Imp;
    TMemo* DescriptionImp;
    TLedLabel* CLED3Imp;
    TMemo* Key1Imp;
    TLedLabel* CLED4Imp;
    TImgBtn* Button3;  // Import
    TImgBtn* Button4;  // Abort
    TImgBtn* Button5;  // Apply
    TLabel* Label13;   // import status
    // Hidden and unused: the form keeps them; the crawl's queue and the pages
    // it found are its own (TImportRun).
    TListBox* SiteToCr;
    TListBox* SiteList;

    // --- page "Submit" -----------------------------------------------------------------------
    TPageControl* PageControl2;
    TTabSheet* TabSheet2;  // "Auto Submit Engines"
    TBitCheckBox* BitCheckBox4;  // "Search Engines"
    TBitCheckBox* BitCheckBox5;  // "Classifieds"
    TBitCheckBox* BitCheckBox6;  // "FFA/Classifieds"
    TBitCheckBox* BitCheckBox7;  // "Batch Sites"
    TBitCheckBox* CustomCk;      // "Custom Engines"
    TExListView* ExListView2;    // the engine list
    TLedLabel* TotalDis;         // checked sites
    TLedLabel* LedLabel2;        // successful
    TLedLabel* LedLabel3;        // failed
    TLedLabel* LedLabel4;        // timed out
    TImgBtn* Button6;            // Submit
    TImgBtn* Button7;            // Stop
    TBitCheckBox* Live;          // "Live Results"
    TTabSheet* TabSheet3;  // "Manual Engines"
    TExListView* ExListView1;  // the manual engine list
    TLedLabel* ManLED;

    // --- page "Ranking" ----------------------------------------------------------------------
    TComboBox* ComboBox1;  // keyword
    TEdit* RankUrl;
    TComboBox* ComboBox2;  // depth
    TImgBtn* Button8;      // Start
    TImgBtn* Button9;      // Stop
    TLabel* Label15;       // "Reset List"
    TExListView* RankView;
    // Hidden and unused: the form keeps them; the check's queue is its own
    // (TRankingCheck::Pending).
    TMemo* Memo1;
    TListBox* ListBox1;

    // --- page "Reports" ----------------------------------------------------------------------
    TBitCheckBox* GenReportCk;
    TGroupBox* GroupBox1;  // "Settings"
    TBitCheckBox* HeaderCk;
    TEdit* Header;
    TButton* SpeedButton1;
    TBitCheckBox* FooterCk;
    TEdit* Footer;
    TButton* SpeedButton2;
    TBitCheckBox* TitleRepCk;
    TEdit* TitleRep;
    TImgBtn* Button14;  // Apply
    TImgBtn* Button13;  // Preview
    TLabel* Label12;
    TGroupBox* GroupBox2;  // "Saved Reports"
    TFileListBox* FileListBox1;

    // --- page "MetaTags" ---------------------------------------------------------------------
    TBitCheckBox* TitleCk;
    TEdit* TitleMet;
    TLedLabel* CLED1Met;
    TBitCheckBox* DescriptionCk;
    TEdit* DescriptionMet;
    TLedLabel* CLED2Met;
    TBitCheckBox* Key1Ck;
    TEdit* Key1Met;
    TLedLabel* CLED3Met;
    TBitCheckBox* AuthorCk;
    TEdit* Author;
    TBitCheckBox* CopyrightCk;
    TEdit* CopyRight;
    TBitCheckBox* DistCk;
    TComboBox* Distribution;
    TBitCheckBox* RevisitCk;
    TComboBox* Revisit;
    TBitCheckBox* RatingCk;
    TComboBox* Rating;
    TBitCheckBox* RobotsCk;
    TComboBox* Robots;
    TPanel* ViewerBox;  // holds the generated tags' viewer
    TColorMemo* Viewer; // the generated block, its tags coloured
    TImgBtn* Button10;  // Generate Tags
    TImgBtn* Button12;  // Apply Tags

    // --- page "Doorway Pages" ----------------------------------------------------------------
    THtmlPane* Doorway;  // the doorway page's preview
    TSaveDialog* SaveDialog1;  // where "Save As" writes the doorway page

    // --- page "About" ------------------------------------------------------------------------
    TImage* Image1;  // the logo
    TLabel* AboutTitle;
    TLabel* AboutText;
    TLabel* AboutHome;

    // --- components without a window ---------------------------------------------------------
    TImageList* ImageList1;  // row images
    TImageList* ImageList2;  // glyphs of the flashing buttons
    TTimer* Timer1;  // flashes what Hint points at
    TSkinForm* SkinForm1;
    THttpCli* HttpMap;   // page import and spider
    THttpCli* HttpRank;  // ranking queries
    THttpCli* HttpCli2;  // database update
    TRAR* RAR1;          // tests and extracts the database update
    TOleContainer* Ole1; // the updater package

    // --- state -----------------------------------------------------------------------------
    CodePageString AppFolder;     // the current directory when the window was created
    CodePageString AppTitle;      // [rur] app + " v" + [rur] version
    CodePageString HomeLocation;  // [rur] home
    CodePageString AppName;       // [rur] app
    // Every engine record of both engine files, and the custom engines'
    // file state; the engine list view (ExListView2) shows it.
    TEngineCatalog Engines;
    // The catalog's records, sorted; lives as long as the window.
    TStringList* const EngineList = &Engines.Records();
    std::unique_ptr<TStringList> ProjectQueue;  // a scratch list of the engine files' load
    // The project being submitted, which the submission report is written for.
    CodePageString CurrentProject;
    // Whether each engine file was read whole at start. A file that was not
    // is never rewritten from the lists, which lack its records.
    bool EngineDatabaseLoaded = false;
    bool ManualEngineListLoaded = false;
    // What Timer1 flashes.
    TFlashHint Hint;
    // The flashing as the other windows ask for it: Hint and Timer1.
    TState FlashState() const override;
    void StartFlashing(TFlashTarget target) override;
    void RestoreFlashing(TState state) override;
    void StopFlashing(TFlashTarget target) override;

    // --- handlers: construction, start-up, timer, menus (SubmitMain.cpp) ------------------------
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void Timer1Timer(TObject* Sender);
    void ProjectInformation1Click(TObject* Sender);
    void ImportWizard1Click(TObject* Sender);
    void AutoSubmitEngines1Click(TObject* Sender);
    void ManualEngines1Click(TObject* Sender);
    void Ranking1Click(TObject* Sender);
    void Reports1Click(TObject* Sender);
    void DoorwayPages1Click(TObject* Sender);
    void EngineDatabase1Click(TObject* Sender);
    void SubmitOptions1Click(TObject* Sender);
    void OnlineManual1Click(TObject* Sender);
    // Turns the notebook to a page, and a page control on it to one of its sheets.
    void ShowPage(TMainPage page, TPageControl* pages = nullptr, TTabSheet* sheet = nullptr);

    // --- handlers: the engine list (SubmitMainEngines.cpp) ----------------------------------------
    // Fills ExListView2 from EngineList, one row per record, marker records
    // skipped, progress in the wait window or on the bar when one is given.
    void FillEngineList(class TWaitWindow* progress, TProgressBar* bar = nullptr);
    void FilterEngineList(TObject* Sender);
    void CountEngineTypes();
    void BitCheckBox4Click(TObject* Sender);
    void BitCheckBox5Click(TObject* Sender);
    void BitCheckBox6Click(TObject* Sender);
    void BitCheckBox7Click(TObject* Sender);
    void CustomCkClick(TObject* Sender);
    void ExListView2CheckboxClick(TObject* Sender, int iItem, bool state);
    void DeleteEngine1Click(TObject* Sender);
    // Takes the manual engine row's line out of the manual engine list file;
    // every other line keeps its bytes.
    void DeleteManualEngineLine(int row);
    // True when the engine file was read whole at start; otherwise tells the
    // user that it is left alone and what was therefore not done, and
    // returns false.
    bool MayRewriteEngineFile(bool loaded, const char* fileName, const char* notDone = "nothing was deleted");

    // --- Submission: the submission run (SubmitMainSubmit.cpp) -------------------------------------
    // Every checked project to every checked engine row, up to Ports
    // requests in flight. The run (Run()) owns the state, the queue and the
    // counters; this window builds each project's list from the rows, shows
    // the results in the rows and the counters on the LEDs, and forwards
    // Submit and Stop. A Submit press while a run is being built or runs is
    // ignored, and one pressed while a stop is finishing starts a new run
    // once it is done.
    using TRunState = TSubmissionRun::TState;
    TSubmissionRun& Run() { return *FRun; }
    TRunState RunState() const { return FRun->State(); }
    // Requests of the run that are started and not yet done.
    int InFlight() const { return FRun->InFlight(); }
    void LiveClick(TObject* Sender);     // shows or hides the live window
    void Button6Click(TObject* Sender);  // Submit
    void Button7Click(TObject* Sender);  // Stop
    // Starts requests while there is room.
    void DispatchSubmissions() { FRun->Dispatch(); }
    // CurrentProject, the first of the run's queue, into SubmitRecord.
    void LoadSubmitProject();
    // Empties the Result and Date columns and the image of every engine row.
    void ClearEngineResults();
    // The current project's values (ProjectRecord).
    ProjectRecord SubmitRecord;


    // --- Projects: the project page, its counters and mirrors and the project list
    // (SubmitMainProjects.cpp); the import wizard's project file imports
    // (SubmitMainImport.cpp) ---------------------------------------------------------------------
    class TOpenDialog* OpenDialog1;  // the import wizard's file
    // Saves the page as a project. Every sender is refused a reserved, empty
    // or unsafe project name with its message.
    void SiteAddClick(TObject* Sender);
    // Empties the site fields; from the menu item SiteClear the contact
    // fields and the category too.
    void SiteClearClick(TObject* Sender);
    void SiteDelClick(TObject* Sender);
    // Loads the selected project into the page.
    void SesListClick(TObject* Sender);
    // The controls of a length counter, found by name once, when the page is wired.
    struct TCounterControls {
        const struct LengthCounter* counter;
        TControl* field;
        TLedLabel* led;    // nullptr when the counter's control is no LED
        TControl* mirror;  // nullptr when the field has no mirror
    };
    TCounterControls CounterControls(const struct LengthCounter& counter) const;
    // A field of ProjectCounters or MetaCounters changed: its counter, its colours, its mirror.
    void LengthCounterChange(const TCounterControls& controls);
    void nameChange(TObject* Sender);  // name and LastN: the meta tag author
    void CompanyChange(TObject* Sender);
    void urllistChange(TObject* Sender);
    // Imports into the page without saving; the project name is checked
    // like a typed one, and a refused one is shown and left empty.
    void ImportSavFile(const CodePageString& FileName);
    void ImportProjectFile(const CodePageString& FileName);
    // The import wizard's "From File": runs OpenDialog1 and imports a chosen
    // ".sav" or ".zro" file. Page: the chosen file is a web page, in FileName,
    // for the page import.
    enum class TFileImport { Cancelled, Project, Page };
    TFileImport ImportFromFile(CodePageString& FileName);
    // Start-up: the project list into SesList.
    void LoadSesList();
    // The page's fields as a project, and a project into them.
    struct ProjectRecord PageProject() const;
    void ShowProject(const struct ProjectRecord& project);
    std::vector<CodePageString> ProjectNames() const;  // the lines of SesList
    // Whether SesList holds the name (letter case counts), and the first
    // number free after the word among its names. Each answers from what it
    // gathered from SesList's lines until the lines change; a name the page
    // adds itself is folded in (NoteProjectAdded) instead of gathering again.
    bool ProjectListed(const CodePageString& name);
    long long FreeProjectNumber(const CodePageString& word);
    void NoteProjectAdded(const CodePageString& name, std::uint64_t changeBefore);
    std::unordered_set<CodePageString> FListedNames;
    std::uint64_t FListedChange = 0;                     // SesList's ChangeCount FListedNames holds for
    bool FListedValid = false;
    std::unique_ptr<class TNameNumbers> FNameNumbers;  // nullptr: nothing gathered
    std::uint64_t FNumbersChange = 0;                    // SesList's ChangeCount FNameNumbers holds for
    // The page's controls of ProjectFileFields, in that order (wiring).
    std::vector<TControl*> FProjectFieldControls;
    // Gives the page's controls their handlers (construction).
    void WireProjectPage();

    // --- Import: the import wizard's page import and the site spider, both
    // through HttpMap (SubmitMainImport.cpp) -------------------------------------------------
    // What HttpMap does for the import wizard (TImportRun owns it).
    using TImportState = ::TImportState;
    TImportState ImportState() const;
    // The import and crawl the wizard and the spider window show.
    const TImportRun& ImportRun() const { return *FImport; }
    void Button3Click(TObject* Sender);  // Import
    void Button4Click(TObject* Sender);  // Abort
    // Takes the imported title, description and keywords over into the project.
    void Button5Click(TObject* Sender);
    void FromUrlClick(TObject* Sender);
    void FromFileClick(TObject* Sender);
    // The spider window's Start, and its Stop or close.
    void StartCrawl();
    void StopCrawl();
    // Pages of the current or last crawl saved as projects.
    int SavedPages() const;
    void WireImportPage();  // construction

    // --- Reports: the submission report, the report settings and the saved
    // reports (SubmitMainReports.cpp) -----------------------------------------------------------
    // Writes the report of CurrentProject from the checked rows of
    // ExListView2 into the reports folder and refreshes FileListBox1, when
    // GenReportCk is checked. The submission run calls it after each project.
    // A report that cannot be written is shown in the error box; it never
    // ends the run.
    void WriteSubmissionReport();
    // The report writer: with Sender Button6 the report of CurrentProject
    // (SubmitRecord's url) into the reports folder; with any other sender
    // the same lines into "sample2.htm" of the current directory, opened
    // with the shell.
    void Button13Click(TObject* Sender);
    void Button14Click(TObject* Sender);  // Apply: the controls into [Reports]
    void GenReportCkClick(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);  // browse for the header
    void SpeedButton2Click(TObject* Sender);  // browse for the footer
    void FileListBox1DblClick(TObject* Sender);
    void ViewReport1Click(TObject* Sender);
    void DeleteReport1Click(TObject* Sender);
    // The report's lines from the controls and the checked rows; a header or
    // footer file that cannot be read is told once and left out.
    std::vector<CodePageString> SubmissionReport();
    struct ReportSettings ReportControls() const;
    void ShowReportSettings(const struct ReportSettings& settings);
    // Start-up: [Reports] into the report controls.
    void LoadReportSettings(const class TIniFile& settings);
    void ChooseReportPart(TEdit& field);
    void WireReportsPage();  // construction

    // --- Ranking: the ranking check (SubmitMainRanking.cpp) ---------------------------------
    // Every checked engine of RankView, page by page to the depth, one query
    // at a time on HttpRank, each started by the end of the one before.
    void Button8Click(TObject* Sender);   // Start
    void Button9Click(TObject* Sender);   // Stop
    // Reset List (and the menu item ResetList1): every row cleared and checked.
    void Label15Click(TObject* Sender);
    // Clears every row's cells and image; checks every row unless Sender is Button8.
    void ResetRankList(TObject* Sender);
    // The check the page shows: its queue, state and what it found.
    const TRankingCheck& RankingCheck() const { return *FRankCheck; }
    void WireRanking();  // construction

    // --- MetaTags: the meta block and its injection into a page (SubmitMainMetaTags.cpp) --------
    void Button10Click(TObject* Sender);  // Generate Tags (also the menu item GenerateTags1)
    void Button12Click(TObject* Sender);  // Apply Tags (also the menu item ApplyTags1)
    // The block from the page's fields into Viewer.
    void BuildMetaTags();
    // Viewer's block into the head of the page file, which keeps its first
    // copy as FileName + ".bac"; a page without a head is left alone.
    void InjectMetaTags(const CodePageString& FileName);
    void WireMetaTags();  // construction

    // --- Proxy: the proxy window's settings and the clients that use them
    // (SubmitMainProxy.cpp) ---------------------------------------------------------------------
    // Reads [Proxy] into the proxy window and hands it to HttpMap, HttpRank,
    // the live window (HttpCli1 and every submission request from the next
    // one on) and the wizard's Http1. Switched off, each of them goes direct
    // at once.
    void LoadProxySettings();
    void Proxy1Click(TObject* Sender);  // shows the proxy window
    void WireProxyMenu();  // construction

    // --- Doorway: the doorway page of the selected project, its preview and
    // its file (SubmitMainDoorway.cpp) --------------------------------------------------------
    // Makes the doorway page from the project page's fields, shows it in
    // Doorway and fills the Ranking page's keyword box; with Sender Save1 it
    // also writes it to SaveDialog1's file. A file that cannot be written is
    // shown in the error box and changes nothing else.
    void BuildDoorwayPage(TObject* Sender);
    void Save1Click(TObject* Sender);  // Doorway Pages > Save As
    // The notebook clicked on the Doorway Pages page shows the short help.
    void TabbedNotebook1Click(TObject* Sender);
    void WireDoorway();  // construction

    // --- Update: the database and software update (SubmitMainUpdate.cpp) -----------------
    // Downloads the database archive, tests it, extracts, scrambles and
    // installs it, offers the reload and checks for a software update. One
    // update at a time, and the window does not close while it runs.
    void UpdateDatabase1Click(TObject* Sender);
    bool Updating() const { return FUpdating; }
    // When the update info that came with the database announces another
    // version and the user agrees, starts the updater with that version.
    // True when the updater was started (the window then closes).
    bool CheckSoftwareUpdate();
    void HttpCli2DocData(TObject* Sender, const char* Buffer, int Len);
    void RAR1Extracting(TObject* Sender, const RARHeaderData& eFile);
    int RAR1ProcessData(TObject* Sender, char* Addr, int BlockSize, int Position);
    void WireUpdate();  // construction

private:
    // One of this window's handlers as an event, for wiring the controls.
    TNotifyEvent Calls(void (TSubmitMain::*handler)(TObject*));
    // Shows the import that read gives on the project page, with the
    // refusal of its name; false, with the exception shown and the page
    // untouched, when read fails.
    bool ShowImport(const std::function<struct ProjectImport()>& read);
    // Construction: each page is built in its feature's source file.
    void BuildMenus();                          // SubmitMain.cpp
    void BuildAboutPage(TWinControl* page);     // SubmitMain.cpp
    void BuildProjectPanel();                   // SubmitMainProjects.cpp
    void BuildProjectsPage(TWinControl* page);  // SubmitMainProjects.cpp
    void BuildImportSheet();                    // SubmitMainImport.cpp
    void BuildSubmitPage(TWinControl* page);    // SubmitMainSubmit.cpp
    void BuildRankingPage(TWinControl* page);   // SubmitMainRanking.cpp
    void BuildReportsPage(TWinControl* page);   // SubmitMainReports.cpp
    void BuildMetaTagsPage(TWinControl* page);  // SubmitMainMetaTags.cpp
    void BuildDoorwayViewer(TWinControl* page); // SubmitMainDoorway.cpp
    // Lines of each engine file that are not engine records, left out of the list.
    struct TLeftOutLines {
        std::size_t database = 0;
        std::size_t custom = 0;
    };
    // Both engine files into EngineList and the list view; progress in the
    // wait window or on a progress bar, when given.
    TLeftOutLines LoadEngineFiles(class TWaitWindow* progress, TProgressBar* bar = nullptr);
    void TellLeftOutLines(const TLeftOutLines& leftOut);
    // The update's steps (SubmitMainUpdate.cpp). True when the updater was started.
    bool RunDatabaseUpdate();
    bool InstallDatabaseUpdate(const CodePageString& staging);
    void ReloadEngineDatabase();
    bool FUpdating = false;

    // A crawl's new projects are committed in groups: each project file is
    // renamed into place at once, the disk is synced once for the group, and
    // only then is the project list rewritten, so the list on disk never names
    // a project whose file a crash could lose. A group is committed a second
    // after its first save at the latest, when the crawl ends, before any
    // other write of the list, and when the window closes
    // (SubmitMainProjects.cpp).
    bool GroupingSaves() const;
    // Commits a crawl's pending saves, telling a failure. The timer's
    // retries (`retry`) tell one only once until a commit succeeds.
    void CommitProjectSaves(bool retry = false);
    void SaveSesList();
    bool FSavesPending = false;
    std::vector<CodePageString> FPendingFiles;  // the project files a pending commit makes durable
    bool FCommitFailureShown = false;
    std::unique_ptr<TTimer> FSaveTimer;

    // The import wizard's run on HttpMap, and what shows it on the sheet and
    // in the spider window (SubmitMainImport.cpp).
    class TImportShown : public TImportRunView {
    public:
        explicit TImportShown(TSubmitMain& window) : FWindow(window) {}
        void ShowTags(const PageTags& tags, unsigned found) override;
        void ShowStatus(const CodePageString& text) override;
        void ShowSpiderStatus(const CodePageString& text) override;
        void ShowLinksFound(int found) override;
        void CrawlStarted() override;
        void CrawlPageNext(const CodePageString& siteWord, int fetched) override;
        void CrawlPageFetching(const CodePageString& url) override;
        bool SaveCrawledPage() override;
        int CrawlTimeout() override;
        void PageImportDone(std::uint16_t error) override;
        void CrawlDone(bool completed) override;

    private:
        TSubmitMain& FWindow;
    };
    std::unique_ptr<TImportShown> FImportShown;
    std::unique_ptr<TImportRun> FImport;
    void LeaveSpiderReady();
    void StartPageImport(const CodePageString& url);
    void ImportLocalPage(const CodePageString& fileName);
    void FinishPageImport(std::uint16_t error);
    void FinishCrawl(bool completed);
    // The crawled page's title, description and keywords on the project page emptied.
    void EmptyPageTexts();
    void SetImportControls(bool busy);

    // Filter and count passes over the rows process messages after every
    // row, so a click can ask for another pass while one runs; such a pass
    // waits and runs when the running one is done.
    struct TEnginePass {
        bool Count;  // a count, else a filter pass
        int Sender;  // TypeFilterSender of a filter pass
    };
    void RequestEnginePass(TEnginePass pass);
    void RunFilterPass(int sender);
    void RunCountPass();
    std::deque<TEnginePass> FPendingPasses;
    // The catalog's callbacks (construction): its custom rows and counts in
    // ExListView2, its refusals told as the other engine files' are.
    void WireEngineCatalog();
    // The button a flash target flashes; nullptr for none or a window not there.
    TImgBtn* FlashButton(TFlashTarget target) const;

    // The submission run and the rows of its current project's entries
    // (SubmitMainSubmit.cpp).
    bool StartProject(bool firstOfRun);
    bool BuildSubmissionList();
    void FinishProject();
    void FinishRun(bool stopped);
    void EngineRowDeleted(TListItem* row);
    // The run's callbacks (construction).
    void WireSubmissionRun();
    std::unique_ptr<TSubmissionRun> FRun;
    std::vector<TListItem*> FEntryRows;  // by entry number; nullptr once the row was deleted
    std::unordered_map<TListItem*, std::size_t> FEntryOfRow;
    int FBuildRow = -1;           // the row the list build is at, -1 when none runs
    bool FReportDue = false;      // the current project's report is not yet written
    bool FStartAfterStop = false;
    bool FPassRunning = false;
    // The ranking check on HttpRank, and what shows it on the page
    // (SubmitMainRanking.cpp).
    class TRankingShown : public TRankingCheckView {
    public:
        explicit TRankingShown(TSubmitMain& window) : FWindow(window) {}
        void ShowRankCell(int engine, const TRankCell& cell) override;
        void RankCheckComplete() override;

    private:
        TSubmitMain& FWindow;
    };
    void EndRankCheck();
    std::unique_ptr<TRankingShown> FRankShown;
    std::unique_ptr<TRankingCheck> FRankCheck;
};

extern TSubmitMain* SubmitMain;
