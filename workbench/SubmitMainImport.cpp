// The main window's "Import Wizard" sheet on the "Projects" page: building
// it; a page's title, description and keywords imported from a URL or a
// local HTML file; project files handed to the project file import; and the
// site spider. The import and the crawl run in a TImportRun on HttpMap, one
// page at a time; this sheet and the spider window show it, and each crawled
// page is saved as a project through the project page's save.
#include "workbench/SubmitMain.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Dialogs.h"
#include "classlib/Forms.h"
#include "classlib/ImgList.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "transport/HttpProt.h"
#include "transport/HttpUtil.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/ImportData.h"
#include "workbench/ProjectData.h"
#include "workbench/Spider.h"
#include "workbench/SpiderData.h"

namespace {

CodePageString UrlHost(const CodePageString& url)
{
    CodePageString proto, user, password, host, port, path;
    SplitURL(url, proto, user, password, host, port, path);
    return host;
}

constexpr int ImportRestGlyph = 0;
constexpr int SpiderStartRestGlyph = 2;

// A local page is read in pieces of this size, with the window kept alive between them.
constexpr std::size_t LocalPagePiece = 64 * 1024;

}  // namespace

void TSubmitMain::BuildImportSheet()
{
    TabSheet6 = NewComponent<TTabSheet>(this, "TabSheet6");
    TabSheet6->SetCaption("Import Wizard");
    TabSheet6->SetPageControl(PageControl1);
    TWinControl* sheet = TabSheet6;
    constexpr int field = 100;
    constexpr int wide = 380;
    constexpr int led = 490;
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
}

// --- imports -------------------------------------------------------------------------------------

TSubmitMain::TFileImport TSubmitMain::ImportFromFile(CodePageString& FileName)
{
    if (!OpenDialog1->Execute())
        return TFileImport::Cancelled;
    FileName = OpenDialog1->FileName;
    // Substring tests, as the program always made them: "site.sav.txt" is a ".sav" file.
    if (Pos(".sav", FileName) > 0) {
        ImportSavFile(FileName);
        return TFileImport::Project;
    }
    if (Pos(".zro", FileName) > 0) {
        ImportProjectFile(FileName);
        return TFileImport::Project;
    }
    return TFileImport::Page;
}

bool TSubmitMain::ShowImport(const std::function<ProjectImport()>& read)
{
    ProjectImport imported;
    try {
        imported = read();
    } catch (const std::exception& e) {
        Application->ShowException(&e);
        return false;
    }
    ShowProject(imported.record);
    PageControl1->SetActivePage(TabSheet1);
    if (imported.refusedName)
        ShowProjectMessage(imported.refusedName->id);
    return true;
}

void TSubmitMain::ImportSavFile(const CodePageString& FileName)
{
    if (ShowImport([&] { return ::ImportSavFile(FileName, PageProject(), ProjectNames(), UrlHost); }))
        ShowProjectMessage(ProjectMessageId::SelectCategory);
}

void TSubmitMain::ImportProjectFile(const CodePageString& FileName)
{
    // A file without a section fails here, before any field changes.
    ShowImport([&] { return ImportZroFile(FileName); });
}

TSubmitMain::TImportState TSubmitMain::ImportState() const
{
    // The run goes before the window's components do.
    return FImport ? FImport->State() : TImportState::Idle;
}

int TSubmitMain::SavedPages() const
{
    return FImport ? FImport->Saved() : 0;
}

void TSubmitMain::WireImportPage()
{
    FImportShown = std::make_unique<TImportShown>(*this);
    FImport = std::make_unique<TImportRun>(*HttpMap, *FImportShown);
    Button3->OnClick = Calls(&TSubmitMain::Button3Click);
    Button4->OnClick = Calls(&TSubmitMain::Button4Click);
    Button5->OnClick = Calls(&TSubmitMain::Button5Click);
    FromUrl->OnClick = Calls(&TSubmitMain::FromUrlClick);
    FromFile->OnClick = Calls(&TSubmitMain::FromFileClick);
}

// --- the wizard's buttons -------------------------------------------------------------------

void TSubmitMain::FromUrlClick(TObject*)
{
    SpiderCK->SetEnabled(true);
}

void TSubmitMain::FromFileClick(TObject*)
{
    SpiderCK->SetChecked(false);
    SpiderCK->SetEnabled(false);
}

void TSubmitMain::Button3Click(TObject*)
{
    // One import or crawl at a time: HttpMap serves one page.
    const TImportState state = FImport->State();
    if (state != TImportState::Idle && state != TImportState::SpiderReady)
        return;
    TitleImp->SetText("");
    DescriptionImp->SetText("");
    Key1Imp->SetText("");

    if (FromFile->Checked()) {
        LeaveSpiderReady();
        CodePageString fileName;
        if (ImportFromFile(fileName) == TFileImport::Page)
            ImportLocalPage(fileName);
        return;
    }
    const CodePageString url = UrlImp->Text();
    if (url.empty()) {
        Application->MessageBox("You must enter a url to Import", "Import Incomplete!", MB_OK);
        return;
    }
    if (!SpiderCK->Checked()) {
        LeaveSpiderReady();
        StartPageImport(url);
        return;
    }
    // The crawl is started from the spider window.
    if (Spider) {
        Spider->Button1->SetEnabled(true);
        Spider->Button2->SetEnabled(false);
        Spider->LedImp1->SetText("0");
        Spider->LedImp2->SetText("0");
        Spider->SetStatus("Idle");
    }
    FImport->PrepareCrawl();
    if (Spider)
        Spider->Show();
}

void TSubmitMain::Button4Click(TObject*)
{
    FImport->AbortImport();
}

void TSubmitMain::Button5Click(TObject*)
{
    title->SetText(TitleImp->Text());
    Description->SetText(DescriptionImp->Text());
    Key1->SetText(Key1Imp->Text());
    if (!SpiderCK->Checked())
        ShowPage(pgProjects, PageControl1, TabSheet1);
}

// --- page import ----------------------------------------------------------------------------

void TSubmitMain::LeaveSpiderReady()
{
    // A crawl prepared and then left for another import can't be started any more.
    if (FImport->State() != TImportState::SpiderReady)
        return;
    FImport->Step(TImportState::Idle);
    if (Spider)
        Spider->Button1->SetEnabled(false);
}

void TSubmitMain::TImportShown::ShowStatus(const CodePageString& text)
{
    const TImportState state = FWindow.FImport->State();
    if ((state == TImportState::Crawling || state == TImportState::Stopping) && Spider)
        Spider->SetStatus(text);
    else
        FWindow.Label13->SetCaption(text);
}

void TSubmitMain::SetImportControls(bool busy)
{
    Button3->SetEnabled(!busy);
    Button4->SetEnabled(busy && FImport->State() == TImportState::Importing);
    // The source and the spider choice stay as they are while a page is read.
    FromUrl->SetEnabled(!busy);
    FromFile->SetEnabled(!busy);
    SpiderCK->SetEnabled(!busy && FromUrl->Checked());
}

void TSubmitMain::StartPageImport(const CodePageString& url)
{
    FImport->NewPage();
    FImport->Step(TImportState::Importing);
    SetImportControls(true);
    Hint.Show(TFlashTarget::ImportButton);
    Timer1->SetEnabled(true);
    HttpMap->URL = url;
    Label13->SetCaption("Contacting ... " + url);
    try {
        HttpMap->GetAsync();
    } catch (const EHttpException& e) {
        // The client refused to start (it is still busy); nothing will follow.
        FImport->Step(TImportState::Idle);
        SetImportControls(false);
        Timer1->SetEnabled(false);
        ShowButtonGlyph(*Button3, *ImageList2, ImportRestGlyph);
        Button3->Tag = ImportRestGlyph;
        Label13->SetCaption(e.Message);
    }
}

void TSubmitMain::ImportLocalPage(const CodePageString& fileName)
{
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyNone);
    } catch (const std::exception& e) {
        Application->ShowException(&e);
        return;
    }
    FImport->NewPage();
    FImport->Step(TImportState::Importing);
    SetImportControls(true);
    std::string piece(LocalPagePiece, '\0');
    bool more = true;
    try {
        while (more && !FImport->UserAborted()) {
            const std::int64_t read = file->Read(piece.data(), static_cast<std::int64_t>(piece.size()));
            const std::size_t length = static_cast<std::size_t>(std::max<std::int64_t>(read, 0));
            const bool within = FImport->ScanLocalPiece(piece.data(), length);
            more = read > 0 && within;
            // A large file keeps the window alive; Button3 is disabled meanwhile.
            Application->ProcessMessages();
        }
    } catch (const std::exception& e) {
        Application->ShowException(&e);
    }
    if (FImport->Capped())
        Label13->SetCaption(PageScanLimitNote);
    FImport->Step(TImportState::Idle);
    SetImportControls(false);
}

void TSubmitMain::TImportShown::ShowTags(const PageTags& tags, unsigned found)
{
    if ((found & TPageScraper::FoundTitle) && FWindow.TitleImpCk->Checked())
        FWindow.TitleImp->SetText(tags.title);
    if ((found & TPageScraper::FoundDescription) && FWindow.DescriptionImpCk->Checked())
        FWindow.DescriptionImp->SetText(tags.description);
    if ((found & TPageScraper::FoundKeywords) && FWindow.Key1ImpCk->Checked())
        FWindow.Key1Imp->SetText(tags.keywords);
}

void TSubmitMain::TImportShown::PageImportDone(std::uint16_t error)
{
    FWindow.FinishPageImport(error);
}

void TSubmitMain::FinishPageImport(std::uint16_t error)
{
    SetImportControls(false);
    Button5->SetEnabled(true);
    Timer1->SetEnabled(false);
    ShowButtonGlyph(*Button3, *ImageList2, ImportRestGlyph);
    Button3->Tag = ImportRestGlyph;
    const bool capped = FImport->Capped();
    if (FImport->UserAborted() && !capped) {
        Label13->SetCaption("Aborted");
        return;
    }
    if (!capped && !ImportPageLoaded(*HttpMap, error)) {
        // A page that could not be read is said so, not reported as imported.
        const CodePageString reason = ImportFailureText(*HttpMap, error);
        Label13->SetCaption("Failed: " + reason);
        Application->MessageBox("The page could not be read: " + reason, "Import Failed", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    Label13->SetCaption(capped ? CodePageString(PageScanLimitNote) : CodePageString("Done"));
    Application->MessageBox("Import Completed", "Import Completed", MB_OK);
}

// --- the spider ---------------------------------------------------------------------------------

void TSubmitMain::StartCrawl()
{
    if (!FImport || FImport->State() != TImportState::SpiderReady || !Spider)
        return;
    const CodePageString start = UrlImp->Text();
    // Every page is saved under the site word and a number: a word that
    // can't make a project name is refused before anything is fetched.
    const CodePageString word = SpiderSiteWord(UrlHost(start));
    if (const auto refusal = ValidateProjectName(word + "1")) {
        ShowProjectMessage(refusal->id);
        return;
    }

    Spider->Button1->SetEnabled(false);
    Spider->Button2->SetEnabled(true);
    FImport->StartCrawl(start, word);
}

void TSubmitMain::TImportShown::CrawlStarted()
{
    FWindow.SetImportControls(true);
    FWindow.Hint.Show(TFlashTarget::SpiderStart);
    FWindow.Timer1->SetEnabled(true);
}

void TSubmitMain::TImportShown::CrawlPageNext(const CodePageString& siteWord, int fetched)
{
    // The site fields as clearing them leaves them (the contact details
    // kept), but with the page's URL and project name: the last page's
    // title, description and keywords never stand beside this page's
    // address while it loads.
    FWindow.EmptyPageTexts();
    if (Spider)
        Spider->LedImp2->SetText(IntToStr(fetched));
    FWindow.Session_Name->SetText(siteWord + IntToStr(FWindow.FreeProjectNumber(siteWord)));
    FWindow.Key1Imp->SetText("");
    FWindow.TitleImp->SetText("");
    FWindow.DescriptionImp->SetText("");
}

void TSubmitMain::TImportShown::CrawlPageFetching(const CodePageString& url)
{
    FWindow.urllist->SetText(url);
}

void TSubmitMain::TImportShown::ShowSpiderStatus(const CodePageString& text)
{
    if (Spider)
        Spider->SetStatus(text);
}

bool TSubmitMain::TImportShown::SaveCrawledPage()
{
    FWindow.Button5Click(&FWindow);
    const int before = FWindow.SesList->Items()->Count();
    FWindow.SiteAdd->Click();
    return FWindow.SesList->Items()->Count() > before;
}

int TSubmitMain::TImportShown::CrawlTimeout()
{
    return FWindow.FRun->Options.Timeout;
}

void TSubmitMain::TImportShown::ShowLinksFound(int found)
{
    const CodePageString count = IntToStr(found);
    FWindow.Label13->SetCaption("Extracting Urls.." + count);
    if (Spider)
        Spider->LedImp1->SetText(count);
}

void TSubmitMain::TImportShown::CrawlDone(bool completed)
{
    FWindow.FinishCrawl(completed);
}

void TSubmitMain::EmptyPageTexts()
{
    title->SetText("");
    Description->SetText("");
    Key1->SetText("");
}

void TSubmitMain::FinishCrawl(bool completed)
{
    CommitProjectSaves();
    SetImportControls(false);
    if (Spider) {
        Spider->Button1->SetEnabled(false);
        Spider->Button2->SetEnabled(false);
        ShowButtonGlyph(*Spider->Button1, *ImageList2, SpiderStartRestGlyph);
        Spider->Button1->Tag = SpiderStartRestGlyph;
    }
    Timer1->SetEnabled(false);
    ShowButtonGlyph(*Button3, *ImageList2, ImportRestGlyph);
    Button3->Tag = ImportRestGlyph;
    if (!completed)
        return;
    if (Spider)
        Spider->SetStatus("Done. " + IntToStr(FImport->Saved()) + " Urls Found and saved");
    Application->MessageBox("Import Completed", "Import Completed", MB_OK);
}

void TSubmitMain::StopCrawl()
{
    if (Spider) {
        Spider->Button1->SetEnabled(false);
        Spider->Button2->SetEnabled(false);
        Spider->SetStatus("Idle");
    }
    if (FImport)
        FImport->Stop();
    if (Hint.Target() == TFlashTarget::SpiderStart) {
        Timer1->SetEnabled(false);
        if (Spider) {
            ShowButtonGlyph(*Spider->Button1, *ImageList2, SpiderStartRestGlyph);
            Spider->Button1->Tag = SpiderStartRestGlyph;
        }
    }
}
