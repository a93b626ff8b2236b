// The main window's "Import Wizard" sheet on the "Projects" page: building
// it; a page's title, description and keywords imported from a URL or a
// local HTML file; project files handed to the project file import; and the
// site spider, whose crawl runs here on HttpMap's events, one page at a
// time, each page saved as a project through the project page's save.
#include "workbench/SubmitMain.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "classlib/CheckLst.h"
#include "classlib/ComCtrls.h"
#include "classlib/Dialogs.h"
#include "classlib/Forms.h"
#include "classlib/ImgList.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"
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

AnsiString UrlHost(const AnsiString& url)
{
    AnsiString proto, user, password, host, port, path;
    SplitURL(url, proto, user, password, host, port, path);
    return host;
}

constexpr int ImportRestGlyph = 0;
constexpr int SpiderStartRestGlyph = 2;

// A local page is read in pieces of this size, with the window kept alive between them.
constexpr std::size_t LocalPagePiece = 64 * 1024;

// Why a page did not load: the reason phrase of a status the server sent,
// or the client's text for a local failure.
AnsiString FailureText(const THttpCli& client, std::uint16_t error)
{
    if (error == 0)
        return IntToStr(client.HttpStatus()) + " " + client.StatusText();
    return client.StatusText().empty() ? AnsiString("Error ") + IntToStr(error) : client.StatusText();
}

// A status of the page itself: a success, or none at all for a reply that
// came without a header.
bool PageStatus(int status)
{
    return status == 0 || (status >= 200 && status < 300);
}

bool PageLoaded(const THttpCli& client, std::uint16_t error)
{
    return error == 0 && PageStatus(client.HttpStatus());
}

// A reply the crawl reads as a page: HTML, or of no stated type (a reply
// without a header, or from a server that names none).
bool HtmlReply(const THttpCli& client)
{
    const AnsiString& type = client.ResponseContentType();
    const AnsiString media = Trim(type.substr(0, type.find(';')));
    return media.empty() || media == "text/html" || media == "application/xhtml+xml";
}

// The seconds a crawled page may take: the time-out of "Options >
// Timeouts/Ports", or its default when the setting is no time.
int PageTimeoutSeconds(int timeout)
{
    constexpr int DefaultSeconds = 40;
    constexpr int MostSeconds = 24 * 60 * 60;
    return timeout >= 1 ? std::min(timeout, MostSeconds) : DefaultSeconds;
}

// The address of a reply as the crawl keys it: resolved as a link is.
AnsiString ResolvedAddress(const AnsiString& url)
{
    return ResolveLink(url, PageAddressOf(url));
}

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

TSubmitMain::TFileImport TSubmitMain::ImportFromFile(AnsiString& FileName)
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

void TSubmitMain::ImportSavFile(const AnsiString& FileName)
{
    if (ShowImport([&] { return ::ImportSavFile(FileName, PageProject(), ProjectNames(), UrlHost); }))
        ShowProjectMessage(ProjectMessageId::SelectCategory);
}

void TSubmitMain::ImportProjectFile(const AnsiString& FileName)
{
    // A file without a section fails here, before any field changes.
    ShowImport([&] { return ImportZroFile(FileName); });
}

// Everything one import or crawl keeps while it runs.
struct TSubmitMain::TImportRun {
    TImportState state = TImportState::Idle;
    TPageScraper scraper;
    TLinkExtractor links;
    std::size_t scanned = 0;   // bytes of the current page read so far
    bool capped = false;       // the page was cut at PageScanLimit
    bool userAbort = false;    // Abort was pressed on a page import
    // The crawl.
    TSpiderSite site;
    TPageAddress page;         // where the current page's relative links point
    TFoundLinks found;         // SiteList's links, for the duplicate test
    AnsiString siteWord;
    int saved = 0;
    // The page in flight: its time-out; whether its reply was judged; why
    // it is not saved (empty while it may be); how many relocations the
    // crawl itself followed for it.
    std::unique_ptr<TTimer> pageTimer = std::make_unique<TTimer>(nullptr);
    bool pageChecked = false;
    AnsiString refusal;
    int relocations = 0;

    void NewPage()
    {
        scraper = TPageScraper();
        links = TLinkExtractor();
        scanned = 0;
        capped = false;
        userAbort = false;
        pageChecked = false;
        refusal.clear();
    }

    // Why the reply in flight is no page of the crawl to save, or empty: not
    // HTML, or relocated to a page found under its own address before, or
    // (for any page but the start) off the site. A relocation to a page not
    // found yet makes its address find this page.
    AnsiString RefusalOf(const THttpCli& client)
    {
        pageChecked = true;
        if (!HtmlReply(client))
            return "not an HTML page: " + client.ResponseContentType();
        if (client.EffectiveURL() == client.URL)
            return {};
        const AnsiString target = ResolvedAddress(client.EffectiveURL());
        const int current = found.IndexOf(client.URL);
        int duplicate = -1;
        const TLinkVerdict verdict = JudgeLink(target, site, found, duplicate);
        if (duplicate >= 0 && duplicate != current)
            return "moved to " + found.Link(duplicate) + ", found before";
        if (verdict == TLinkVerdict::OtherSite && current != 0)
            return "moved off the site to " + target;
        if (duplicate < 0 && current >= 0)
            found.AddAlias(target, current);
        return {};
    }

    // The address to fetch in place of a reply that moved and ended at its
    // header (a server may send a folder's relocation with an empty body,
    // which the client does not follow), or empty. It is followed as the
    // client follows one: on the site, not found as another page, at most
    // MaxRelocations times for one page.
    AnsiString MovedTo(const THttpCli& client, std::uint16_t error)
    {
        const int status = client.HttpStatus();
        if (error != 0 || status < 300 || status > 399 || client.EffectiveURL() == client.URL ||
            relocations >= TCustomHttpCli::MaxRelocations)
            return {};
        const AnsiString target = ResolvedAddress(client.EffectiveURL());
        const int current = found.IndexOf(client.URL);
        int duplicate = -1;
        const TLinkVerdict verdict = JudgeLink(target, site, found, duplicate);
        const bool samePage = verdict == TLinkVerdict::Duplicate && duplicate == current;
        if (current < 0 || (verdict != TLinkVerdict::Follow && !samePage))
            return {};
        if (duplicate < 0)
            found.AddAlias(target, current);
        ++relocations;
        return target;
    }

    void ArmPageTimer(int seconds)
    {
        pageTimer->SetEnabled(false);
        pageTimer->SetInterval(static_cast<unsigned>(seconds) * 1000u);
        pageTimer->SetEnabled(true);
    }
};

void TSubmitMain::TImportRunDeleter::operator()(TImportRun* run) const
{
    delete run;
}

TSubmitMain::TImportState TSubmitMain::ImportState() const
{
    return FImport->state;
}

int TSubmitMain::SavedPages() const
{
    return FImport->saved;
}

void TSubmitMain::WireImportPage()
{
    FImport.reset(new TImportRun);
    FImport->pageTimer->SetEnabled(false);
    FImport->pageTimer->OnTimer = [this](TObject*) { CrawlPageTimedOut(); };
    Button3->OnClick = Calls(&TSubmitMain::Button3Click);
    Button4->OnClick = Calls(&TSubmitMain::Button4Click);
    Button5->OnClick = Calls(&TSubmitMain::Button5Click);
    FromUrl->OnClick = Calls(&TSubmitMain::FromUrlClick);
    FromFile->OnClick = Calls(&TSubmitMain::FromFileClick);
    HttpMap->OnDocData = [this](TObject* sender, const char* buffer, int len) { HttpMapDocData(sender, buffer, len); };
    HttpMap->OnDocEnd = Calls(&TSubmitMain::HttpMapDocEnd);
    HttpMap->OnRequestDone = [this](TObject* sender, THttpRequest kind, std::uint16_t error) {
        HttpMapRequestDone(sender, kind, error);
    };
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
    const TImportState state = FImport->state;
    if (state != TImportState::Idle && state != TImportState::SpiderReady)
        return;
    TitleImp->SetText("");
    DescriptionImp->SetText("");
    Key1Imp->SetText("");

    if (FromFile->Checked()) {
        LeaveSpiderReady();
        AnsiString fileName;
        if (ImportFromFile(fileName) == TFileImport::Page)
            ImportLocalPage(fileName);
        return;
    }
    const AnsiString url = UrlImp->Text();
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
    SiteToCr->Items()->Clear();
    SiteList->Items()->Clear();
    FImport->found.Clear();
    FImport->state = TImportState::SpiderReady;
    if (Spider)
        Spider->Show();
}

void TSubmitMain::Button4Click(TObject*)
{
    if (FImport->state != TImportState::Importing)
        return;
    FImport->userAbort = true;
    HttpMap->Abort();
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
    if (FImport->state != TImportState::SpiderReady)
        return;
    FImport->state = TImportState::Idle;
    if (Spider)
        Spider->Button1->SetEnabled(false);
}

void TSubmitMain::SetImportStatus(const AnsiString& text)
{
    const TImportState state = FImport->state;
    if ((state == TImportState::Crawling || state == TImportState::Stopping) && Spider)
        Spider->SetStatus(text);
    else
        Label13->SetCaption(text);
}

void TSubmitMain::SetImportControls(bool busy)
{
    Button3->SetEnabled(!busy);
    Button4->SetEnabled(busy && FImport->state == TImportState::Importing);
    // The source and the spider choice stay as they are while a page is read.
    FromUrl->SetEnabled(!busy);
    FromFile->SetEnabled(!busy);
    SpiderCK->SetEnabled(!busy && FromUrl->Checked());
}

void TSubmitMain::StartPageImport(const AnsiString& url)
{
    FImport->NewPage();
    FImport->state = TImportState::Importing;
    SetImportControls(true);
    Hint.Show(TFlashTarget::ImportButton);
    Timer1->SetEnabled(true);
    HttpMap->URL = url;
    Label13->SetCaption("Contacting ... " + url);
    try {
        HttpMap->GetAsync();
    } catch (const EHttpException& e) {
        // The client refused to start (it is still busy); nothing will follow.
        FImport->state = TImportState::Idle;
        SetImportControls(false);
        Timer1->SetEnabled(false);
        ShowButtonGlyph(*Button3, *ImageList2, ImportRestGlyph);
        Button3->Tag = ImportRestGlyph;
        Label13->SetCaption(e.Message);
    }
}

void TSubmitMain::ImportLocalPage(const AnsiString& fileName)
{
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyNone);
    } catch (const std::exception& e) {
        Application->ShowException(&e);
        return;
    }
    FImport->NewPage();
    FImport->state = TImportState::Importing;
    SetImportControls(true);
    std::string piece(LocalPagePiece, '\0');
    bool more = true;
    try {
        while (more && !FImport->userAbort) {
            const std::int64_t read = file->Read(piece.data(), static_cast<std::int64_t>(piece.size()));
            more = read > 0;
            const std::size_t take = BytesWithinScanLimit(FImport->scanned, static_cast<std::size_t>(std::max<std::int64_t>(read, 0)));
            FImport->scanned += take;
            ShowScraped(FImport->scraper.Feed(piece.data(), take));
            if (take < static_cast<std::size_t>(std::max<std::int64_t>(read, 0))) {
                FImport->capped = true;
                more = false;
            }
            // A large file keeps the window alive; Button3 is disabled meanwhile.
            Application->ProcessMessages();
        }
    } catch (const std::exception& e) {
        Application->ShowException(&e);
    }
    if (FImport->capped)
        Label13->SetCaption(PageScanLimitNote);
    FImport->state = TImportState::Idle;
    SetImportControls(false);
}

void TSubmitMain::ShowScraped(unsigned found)
{
    const PageTags& tags = FImport->scraper.Tags();
    if ((found & TPageScraper::FoundTitle) && TitleImpCk->Checked())
        TitleImp->SetText(tags.title);
    if ((found & TPageScraper::FoundDescription) && DescriptionImpCk->Checked())
        DescriptionImp->SetText(tags.description);
    if ((found & TPageScraper::FoundKeywords) && Key1ImpCk->Checked())
        Key1Imp->SetText(tags.keywords);
}

void TSubmitMain::HttpMapDocData(TObject*, const char* Buffer, int Len)
{
    const TImportState state = FImport->state;
    if (state != TImportState::Importing && state != TImportState::Crawling)
        return;
    // The body of an error reply is the server's page, not the one asked for.
    if (!PageStatus(HttpMap->HttpStatus()))
        return;
    SetImportStatus("Downloading ... " + IntToStr(HttpMap->ReceivedBytes()));
    const std::size_t length = Len > 0 ? static_cast<std::size_t>(Len) : 0;
    if (FImport->scanned == 0)
        FImport->scraper.DeclareContentType(HttpMap->ResponseContentType());
    if (state == TImportState::Crawling && !FImport->pageChecked) {
        FImport->refusal = FImport->RefusalOf(*HttpMap);
        if (!FImport->refusal.empty()) {
            // Nothing of it is read: a picture or a download is not fetched whole.
            HttpMap->Abort();
            return;
        }
        // Relative links point into the folder of the page as it was finally
        // fetched, after any relocation.
        FImport->page = PageAddressOf(HttpMap->EffectiveURL());
    }
    const std::size_t take = BytesWithinScanLimit(FImport->scanned, length);
    FImport->scanned += take;
    ShowScraped(FImport->scraper.Feed(Buffer, take));
    if (state == TImportState::Crawling)
        FImport->links.Feed(Buffer, take, [this](const AnsiString& link) { TakeLink(link); });
    if (take < length && !FImport->capped) {
        // The rest of a page this large is not read: a page that never ends
        // can neither hold the window nor fill the memory.
        FImport->capped = true;
        SetImportStatus(PageScanLimitNote);
        HttpMap->Abort();
    }
}

void TSubmitMain::HttpMapDocEnd(TObject*)
{
    if (HttpMap->ReceiveStream) {
        delete HttpMap->ReceiveStream;
        HttpMap->ReceiveStream = nullptr;
    }
}

void TSubmitMain::HttpMapRequestDone(TObject*, int, std::uint16_t Error)
{
    TImportRun& run = *FImport;
    switch (run.state) {
    case TImportState::Importing:
        FinishPageImport(Error);
        return;
    case TImportState::Crawling:
    case TImportState::Stopping:
        break;
    default:
        return;  // a notice of a request no longer followed
    }

    run.pageTimer->SetEnabled(false);
    if (run.state == TImportState::Crawling) {
        const AnsiString moved = run.MovedTo(*HttpMap, Error);
        if (!moved.empty() && FetchCrawlPage(moved))
            return;
    }
    // A page cut at the scan limit counts as read: its first part is what is taken.
    bool loaded = run.capped || PageLoaded(*HttpMap, Error);
    if (loaded && !run.pageChecked)
        run.refusal = run.RefusalOf(*HttpMap);
    if (!run.refusal.empty())
        loaded = false;
    if (loaded)
        run.links.Finish([this](const AnsiString& link) { TakeLink(link); });
    else if (run.state == TImportState::Crawling && Spider)
        Spider->SetStatus("Not saved: " + HttpMap->URL + " (" +
                          (run.refusal.empty() ? FailureText(*HttpMap, Error) : run.refusal) + ")");
    if (loaded) {
        Button5Click(this);
        const int before = SesList->Items()->Count();
        SiteAdd->Click();
        if (SesList->Items()->Count() > before)
            ++run.saved;
    }
    if (run.state == TImportState::Crawling)
        CrawlNextPage();
    else
        FinishCrawl(false);
}

void TSubmitMain::FinishPageImport(std::uint16_t error)
{
    TImportRun& run = *FImport;
    run.state = TImportState::Idle;
    SetImportControls(false);
    Button5->SetEnabled(true);
    Timer1->SetEnabled(false);
    ShowButtonGlyph(*Button3, *ImageList2, ImportRestGlyph);
    Button3->Tag = ImportRestGlyph;
    if (run.userAbort && !run.capped) {
        Label13->SetCaption("Aborted");
        return;
    }
    if (!run.capped && !PageLoaded(*HttpMap, error)) {
        // A page that could not be read is said so, not reported as imported.
        const AnsiString reason = FailureText(*HttpMap, error);
        Label13->SetCaption("Failed: " + reason);
        Application->MessageBox("The page could not be read: " + reason, "Import Failed", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    Label13->SetCaption(run.capped ? AnsiString(PageScanLimitNote) : AnsiString("Done"));
    Application->MessageBox("Import Completed", "Import Completed", MB_OK);
}

// --- the spider ---------------------------------------------------------------------------------

void TSubmitMain::StartCrawl()
{
    TImportRun& run = *FImport;
    if (run.state != TImportState::SpiderReady || !Spider)
        return;
    const AnsiString start = UrlImp->Text();
    // Every page is saved under the site word and a number: a word that
    // can't make a project name is refused before anything is fetched.
    const AnsiString word = SpiderSiteWord(UrlHost(start));
    if (const auto refusal = ValidateProjectName(word + "1")) {
        ShowProjectMessage(refusal->id);
        return;
    }

    Spider->Button1->SetEnabled(false);
    Spider->Button2->SetEnabled(true);
    SiteList->Items()->Clear();
    SiteToCr->Items()->Clear();
    run.found.Clear();
    SiteToCr->Items()->Add(start);
    SiteList->Items()->Add(start);
    const int startIndex = run.found.Add(start);
    // Links back to the start page come resolved: they find it as a duplicate.
    run.found.AddAlias(ResolvedAddress(start), startIndex);
    run.siteWord = word;
    run.site = SpiderSiteOf(start);
    run.saved = 0;
    run.state = TImportState::Crawling;
    SetImportControls(true);

    Hint.Show(TFlashTarget::SpiderStart);
    Timer1->SetEnabled(true);
    CrawlNextPage();
}

void TSubmitMain::CrawlNextPage()
{
    TImportRun& run = *FImport;
    if (run.state != TImportState::Crawling)
        return;
    // A page whose request can't even start is passed over; the loop keeps
    // the crawl going without a request-done to come back on.
    while (SiteToCr->Items()->Count() > 0) {
        const AnsiString url = SiteToCr->Items()->Strings(0);
        // The site fields as clearing them leaves them (the contact details
        // kept), but with the page's URL and project name: the last page's
        // title, description and keywords never stand beside this page's
        // address while it loads.
        EmptyPageTexts();
        SiteToCr->Items()->Delete(0);
        if (Spider)
            Spider->LedImp2->SetText(IntToStr(SiteList->Items()->Count() - SiteToCr->Items()->Count()));
        Session_Name->SetText(run.siteWord + IntToStr(FreeProjectNumber(run.siteWord)));
        Key1Imp->SetText("");
        TitleImp->SetText("");
        DescriptionImp->SetText("");
        run.relocations = 0;
        if (FetchCrawlPage(url))
            return;
    }
    FinishCrawl(true);
}

bool TSubmitMain::FetchCrawlPage(const AnsiString& url)
{
    TImportRun& run = *FImport;
    HttpMap->URL = url;
    run.NewPage();
    urllist->SetText(url);
    try {
        HttpMap->GetAsync();
    } catch (const EHttpException& e) {
        if (Spider)
            Spider->SetStatus("Not saved: " + url + " (" + e.Message + ")");
        return false;
    }
    run.ArmPageTimer(PageTimeoutSeconds(FRun->Options.Timeout));
    return true;
}

void TSubmitMain::CrawlPageTimedOut()
{
    TImportRun& run = *FImport;
    run.pageTimer->SetEnabled(false);
    if (run.state != TImportState::Crawling || HttpMap->State() == httpReady)
        return;
    // A page whose reply stops coming is given up, and the crawl goes on.
    run.refusal = "no reply within " + IntToStr(PageTimeoutSeconds(FRun->Options.Timeout)) + " seconds";
    HttpMap->Abort();
}

void TSubmitMain::EmptyPageTexts()
{
    title->SetText("");
    Description->SetText("");
    Key1->SetText("");
}

void TSubmitMain::TakeLink(const AnsiString& raw)
{
    TImportRun& run = *FImport;
    const AnsiString link = ResolveLink(CleanLink(raw), run.page);
    int duplicate = -1;
    const TLinkVerdict verdict = JudgeLink(link, run.site, run.found, duplicate);
    if (duplicate >= 0 && Spider)
        Spider->SetStatus("Checking Duplicates " + IntToStr(duplicate));
    if (verdict != TLinkVerdict::Follow)
        return;
    run.found.Add(link);
    SiteList->Items()->Add(link);
    SiteToCr->Items()->Add(link);
    const AnsiString count = IntToStr(SiteList->Items()->Count());
    Label13->SetCaption("Extracting Urls.." + count);
    if (Spider)
        Spider->LedImp1->SetText(count);
}

void TSubmitMain::FinishCrawl(bool completed)
{
    TImportRun& run = *FImport;
    run.state = TImportState::Idle;
    run.pageTimer->SetEnabled(false);
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
        Spider->SetStatus("Done. " + IntToStr(run.saved) + " Urls Found and saved");
    Application->MessageBox("Import Completed", "Import Completed", MB_OK);
}

void TSubmitMain::StopCrawl()
{
    TImportRun& run = *FImport;
    if (Spider) {
        Spider->Button1->SetEnabled(false);
        Spider->Button2->SetEnabled(false);
        Spider->SetStatus("Idle");
    }
    switch (run.state) {
    case TImportState::Crawling:
        // The page in flight ends in its request-done, which ends the crawl.
        run.state = TImportState::Stopping;
        HttpMap->Abort();
        break;
    case TImportState::SpiderReady:
        run.state = TImportState::Idle;
        break;
    default:
        break;  // a page import or nothing: HttpMap is not the spider's
    }
    if (Hint.Target() == TFlashTarget::SpiderStart) {
        Timer1->SetEnabled(false);
        if (Spider) {
            ShowButtonGlyph(*Spider->Button1, *ImageList2, SpiderStartRestGlyph);
            Spider->Button1->Tag = SpiderStartRestGlyph;
        }
    }
}
