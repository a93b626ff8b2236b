// The import wizard's import and the site spider without their windows: what
// the client does for the wizard (TImportState), the crawl's queue of pages,
// the links found, the page counters, and one page's reading (its tags, its
// links, its scan limit, its time-out). A page import or a crawl runs on the
// client handed in, one page at a time; what it finds and how it ends goes
// to a view. The state changes only through Step, checked against a table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "classlib/Strings.h"
#include "workbench/ImportData.h"
#include "workbench/SpiderData.h"

class THttpCli;
class TTimer;

// Nothing; one page to import; a crawl prepared in the spider window,
// running, or stopping with its last page still in flight. Every handler
// checks it, so a stale notice of the client or a second press never starts
// the same work twice.
enum class TImportState { Idle, Importing, SpiderReady, Crawling, Stopping };

// What the windows show of an import or a crawl.
class TImportRunView {
public:
    virtual ~TImportRunView() = default;
    // Tags of the page complete with its latest bytes (TPageScraper's bits).
    virtual void ShowTags(const PageTags& tags, unsigned found) = 0;
    // The reading of the page in flight: "Downloading ...", the scan limit.
    virtual void ShowStatus(const CodePageString& text) = 0;
    // The spider window's status line.
    virtual void ShowSpiderStatus(const CodePageString& text) = 0;
    // A link to follow was found; found counts every page found so far.
    virtual void ShowLinksFound(int found) = 0;
    // The crawl started: the page of the start address comes next.
    virtual void CrawlStarted() = 0;
    // The crawl takes its next page from the queue; fetched counts the pages
    // taken so far, this one included.
    virtual void CrawlPageNext(const CodePageString& siteWord, int fetched) = 0;
    // A crawled page's request starts (again after a relocation).
    virtual void CrawlPageFetching(const CodePageString& url) = 0;
    // A crawled page loaded: it is saved as a project. True when one was added.
    virtual bool SaveCrawledPage() = 0;
    // The seconds of "Options > Timeouts/Ports" (any value: the crawl bounds it).
    virtual int CrawlTimeout() = 0;
    // A page import ended (error as the client's request-done gives it).
    virtual void PageImportDone(std::uint16_t error) = 0;
    // The crawl ended: completed, or stopped.
    virtual void CrawlDone(bool completed) = 0;
};

class TImportRun {
public:
    // The run reads pages on client, whose page, end and request-done events
    // it takes while it lives.
    TImportRun(THttpCli& client, TImportRunView& view);
    ~TImportRun();
    TImportRun(const TImportRun&) = delete;
    TImportRun& operator=(const TImportRun&) = delete;

    TImportState State() const { return FState; }
    // The one setter of the state: a step its table does not list fails a
    // check naming both ends.
    bool Step(TImportState to);
    static const char* Name(TImportState state);

    // --- a page import ---
    // A new page is read: its scraper and limits fresh.
    void NewPage();
    // Feeds a piece of a local page; false when the scan limit cut it.
    bool ScanLocalPiece(const char* data, std::size_t length);
    // Abort of a page import: the client's request ends as aborted.
    void AbortImport();
    bool UserAborted() const { return FUserAbort; }
    // The page was cut at PageScanLimit.
    bool Capped() const { return FCapped; }

    // --- the crawl ---
    // Prepares a crawl for the spider window (from Idle or SpiderReady).
    void PrepareCrawl();
    // Crawls the site of start from SpiderReady; every page is saved under
    // siteWord and a number. Fetches the first page.
    void StartCrawl(const CodePageString& start, const CodePageString& siteWord);
    // A crawl stops after its page in flight; a prepared one is dropped.
    void Stop();
    // Pages of the current or last crawl saved as projects.
    int Saved() const { return FSaved; }
    // Pages found (the start included) and pages taken from the queue.
    int Found() const { return FFound.Count(); }
    int Fetched() const { return FFound.Count() - static_cast<int>(FQueue.size()); }
    // The pages found and not yet fetched, in the order they are fetched.
    const std::deque<CodePageString>& Queue() const { return FQueue; }

private:
    void DocData(const char* buffer, int length);
    void DocEnd();
    void RequestDone(std::uint16_t error);
    void CrawlNextPage();
    bool FetchCrawlPage(const CodePageString& url);
    void PageTimedOut();
    void FinishCrawl(bool completed);
    void TakeLink(const CodePageString& raw);
    CodePageString RefusalOf();
    CodePageString MovedTo(std::uint16_t error);
    void ArmPageTimer(int seconds);

    THttpCli& FClient;
    TImportRunView& FView;
    TImportState FState = TImportState::Idle;
    TPageScraper FScraper;
    TLinkExtractor FLinks;
    std::size_t FScanned = 0;  // bytes of the current page read so far
    bool FCapped = false;
    bool FUserAbort = false;
    // The crawl.
    TSpiderSite FSite;
    TPageAddress FPage;       // where the current page's relative links point
    TFoundLinks FFound;       // every page found, for the duplicate test
    std::deque<CodePageString> FQueue;
    CodePageString FSiteWord;
    int FSaved = 0;
    // The page in flight: its time-out; whether its reply was judged; why it
    // is not saved (empty while it may be); how many relocations the crawl
    // itself followed for it.
    std::unique_ptr<TTimer> FPageTimer;
    bool FPageChecked = false;
    CodePageString FRefusal;
    int FRelocations = 0;
};

// Whether the client's reply is the page: no local failure and a success
// status, or none at all for a reply that came without a header.
bool ImportPageLoaded(const THttpCli& client, std::uint16_t error);
// Why a page did not load: the reason phrase of a status the server sent,
// or the client's text for a local failure.
CodePageString ImportFailureText(const THttpCli& client, std::uint16_t error);
