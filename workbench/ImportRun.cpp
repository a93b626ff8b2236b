#include "workbench/ImportRun.h"

#include <algorithm>
#include <iterator>

#include "classlib/Classes.h"
#include "classlib/Strings.h"
#include "classlib/Timer.h"
#include "platform/StateChecks.h"
#include "transport/HttpProt.h"

namespace {

using S = TImportState;

constexpr const char* ImportStateNames[] = {"Idle", "Importing", "SpiderReady", "Crawling", "Stopping"};
static_assert(std::size(ImportStateNames) == static_cast<int>(S::Stopping) + 1);

// A page import runs from Idle and ends there, also when it cannot start.
// A crawl is prepared, left for another import or stopped before it starts,
// runs, and ends by itself or through Stopping after its page in flight.
constexpr TStateStep<S> ImportSteps[] = {
    {S::Idle, S::Importing},
    {S::Importing, S::Idle},
    {S::Idle, S::SpiderReady},
    // Import pressed again with the spider chosen prepares the crawl anew.
    {S::SpiderReady, S::SpiderReady},
    {S::SpiderReady, S::Idle},
    {S::SpiderReady, S::Crawling},
    {S::Crawling, S::Idle},
    {S::Crawling, S::Stopping},
    {S::Stopping, S::Idle},
};

constexpr TStateTable<S> ImportStates{"import", ImportStateNames, ImportSteps};

// A status of the page itself: a success, or none at all for a reply that
// came without a header.
bool PageStatus(int status)
{
    return status == 0 || (status >= 200 && status < 300);
}

// A reply the crawl reads as a page: HTML, or of no stated type (a reply
// without a header, or from a server that names none).
bool HtmlReply(const THttpCli& client)
{
    const CodePageString& type = client.ResponseContentType();
    const CodePageString media = Trim(type.substr(0, type.find(';')));
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
CodePageString ResolvedAddress(const CodePageString& url)
{
    return ResolveLink(url, PageAddressOf(url));
}

}  // namespace

bool ImportPageLoaded(const THttpCli& client, std::uint16_t error)
{
    return error == 0 && PageStatus(client.HttpStatus());
}

CodePageString ImportFailureText(const THttpCli& client, std::uint16_t error)
{
    if (error == 0)
        return IntToStr(client.HttpStatus()) + " " + client.StatusText();
    return client.StatusText().empty() ? CodePageString("Error ") + IntToStr(error) : client.StatusText();
}

TImportRun::TImportRun(THttpCli& client, TImportRunView& view)
    : FClient(client), FView(view), FPageTimer(std::make_unique<TTimer>(nullptr))
{
    FPageTimer->SetEnabled(false);
    FPageTimer->OnTimer = [this](TObject*) { PageTimedOut(); };
    FClient.OnDocData = [this](TObject*, const char* buffer, int length) { DocData(buffer, length); };
    FClient.OnDocEnd = [this](TObject*) { DocEnd(); };
    FClient.OnRequestDone = [this](TObject*, THttpRequest, std::uint16_t error) { RequestDone(error); };
}

TImportRun::~TImportRun()
{
    FClient.OnDocData = nullptr;
    FClient.OnDocEnd = nullptr;
    FClient.OnRequestDone = nullptr;
}

bool TImportRun::Step(TImportState to)
{
    return TENVAREL_STEP(ImportStates, FState, to);
}

const char* TImportRun::Name(TImportState state)
{
    return StateName(ImportStates, state);
}

// --- one page ------------------------------------------------------------------------------------

void TImportRun::NewPage()
{
    FScraper = TPageScraper();
    FLinks = TLinkExtractor();
    FScanned = 0;
    FCapped = false;
    FUserAbort = false;
    FPageChecked = false;
    FRefusal.clear();
}

bool TImportRun::ScanLocalPiece(const char* data, std::size_t length)
{
    const std::size_t take = BytesWithinScanLimit(FScanned, length);
    FScanned += take;
    FView.ShowTags(FScraper.Tags(), FScraper.Feed(data, take));
    if (take < length)
        FCapped = true;
    return !FCapped;
}

void TImportRun::AbortImport()
{
    if (FState != S::Importing)
        return;
    FUserAbort = true;
    FClient.Abort();
}

void TImportRun::DocData(const char* buffer, int len)
{
    const TImportState state = FState;
    if (state != S::Importing && state != S::Crawling)
        return;
    // The body of an error reply is the server's page, not the one asked for.
    if (!PageStatus(FClient.HttpStatus()))
        return;
    FView.ShowStatus("Downloading ... " + IntToStr(FClient.ReceivedBytes()));
    const std::size_t length = len > 0 ? static_cast<std::size_t>(len) : 0;
    if (FScanned == 0)
        FScraper.DeclareContentType(FClient.ResponseContentType());
    if (state == S::Crawling && !FPageChecked) {
        FRefusal = RefusalOf();
        if (!FRefusal.empty()) {
            // Nothing of it is read: a picture or a download is not fetched whole.
            FClient.Abort();
            return;
        }
        // Relative links point into the folder of the page as it was finally
        // fetched, after any relocation.
        FPage = PageAddressOf(FClient.EffectiveURL());
    }
    const std::size_t take = BytesWithinScanLimit(FScanned, length);
    FScanned += take;
    const unsigned found = FScraper.Feed(buffer, take);
    FView.ShowTags(FScraper.Tags(), found);
    if (state == S::Crawling)
        FLinks.Feed(buffer, take, [this](const CodePageString& link) { TakeLink(link); });
    if (take < length && !FCapped) {
        // The rest of a page this large is not read: a page that never ends
        // can neither hold the window nor fill the memory.
        FCapped = true;
        FView.ShowStatus(PageScanLimitNote);
        FClient.Abort();
    }
}

void TImportRun::DocEnd()
{
    if (FClient.ReceiveStream) {
        delete FClient.ReceiveStream;
        FClient.ReceiveStream = nullptr;
    }
}

void TImportRun::RequestDone(std::uint16_t error)
{
    switch (FState) {
    case S::Importing:
        Step(S::Idle);
        FView.PageImportDone(error);
        return;
    case S::Crawling:
    case S::Stopping:
        break;
    default:
        return;  // a notice of a request no longer followed
    }

    FPageTimer->SetEnabled(false);
    if (FState == S::Crawling) {
        const CodePageString moved = MovedTo(error);
        if (!moved.empty() && FetchCrawlPage(moved))
            return;
    }
    // A page cut at the scan limit counts as read: its first part is what is taken.
    bool loaded = FCapped || ImportPageLoaded(FClient, error);
    if (loaded && !FPageChecked)
        FRefusal = RefusalOf();
    if (!FRefusal.empty())
        loaded = false;
    if (loaded)
        FLinks.Finish([this](const CodePageString& link) { TakeLink(link); });
    else if (FState == S::Crawling)
        FView.ShowSpiderStatus("Not saved: " + FClient.URL + " (" +
                               (FRefusal.empty() ? ImportFailureText(FClient, error) : FRefusal) + ")");
    if (loaded && FView.SaveCrawledPage())
        ++FSaved;
    if (FState == S::Crawling)
        CrawlNextPage();
    else
        FinishCrawl(false);
}

// --- the crawl -----------------------------------------------------------------------------------

void TImportRun::PrepareCrawl()
{
    FQueue.clear();
    FFound.Clear();
    Step(S::SpiderReady);
}

void TImportRun::StartCrawl(const CodePageString& start, const CodePageString& siteWord)
{
    if (FState != S::SpiderReady)
        return;
    FQueue.clear();
    FFound.Clear();
    FQueue.push_back(start);
    const int startIndex = FFound.Add(start);
    // Links back to the start page come resolved: they find it as a duplicate.
    FFound.AddAlias(ResolvedAddress(start), startIndex);
    FSiteWord = siteWord;
    FSite = SpiderSiteOf(start);
    FSaved = 0;
    Step(S::Crawling);
    FView.CrawlStarted();
    CrawlNextPage();
}

void TImportRun::CrawlNextPage()
{
    if (FState != S::Crawling)
        return;
    // A page whose request can't even start is passed over; the loop keeps
    // the crawl going without a request-done to come back on.
    while (!FQueue.empty()) {
        const CodePageString url = FQueue.front();
        FQueue.pop_front();
        FView.CrawlPageNext(FSiteWord, Fetched());
        FRelocations = 0;
        if (FetchCrawlPage(url))
            return;
    }
    FinishCrawl(true);
}

bool TImportRun::FetchCrawlPage(const CodePageString& url)
{
    FClient.URL = url;
    NewPage();
    FView.CrawlPageFetching(url);
    try {
        FClient.GetAsync();
    } catch (const EHttpException& e) {
        FView.ShowSpiderStatus("Not saved: " + url + " (" + e.Message + ")");
        return false;
    }
    ArmPageTimer(PageTimeoutSeconds(FView.CrawlTimeout()));
    return true;
}

void TImportRun::PageTimedOut()
{
    FPageTimer->SetEnabled(false);
    if (FState != S::Crawling || FClient.State() == httpReady)
        return;
    // A page whose reply stops coming is given up, and the crawl goes on.
    FRefusal = "no reply within " + IntToStr(PageTimeoutSeconds(FView.CrawlTimeout())) + " seconds";
    FClient.Abort();
}

void TImportRun::ArmPageTimer(int seconds)
{
    FPageTimer->SetEnabled(false);
    FPageTimer->SetInterval(static_cast<unsigned>(seconds) * 1000u);
    FPageTimer->SetEnabled(true);
}

void TImportRun::TakeLink(const CodePageString& raw)
{
    const CodePageString link = ResolveLink(CleanLink(raw), FPage);
    int duplicate = -1;
    const TLinkVerdict verdict = JudgeLink(link, FSite, FFound, duplicate);
    if (duplicate >= 0)
        FView.ShowSpiderStatus("Checking Duplicates " + IntToStr(duplicate));
    if (verdict != TLinkVerdict::Follow)
        return;
    FFound.Add(link);
    FQueue.push_back(link);
    FView.ShowLinksFound(FFound.Count());
}

void TImportRun::FinishCrawl(bool completed)
{
    Step(S::Idle);
    FPageTimer->SetEnabled(false);
    FView.CrawlDone(completed);
}

void TImportRun::Stop()
{
    switch (FState) {
    case S::Crawling:
        // The page in flight ends in its request-done, which ends the crawl.
        Step(S::Stopping);
        FClient.Abort();
        break;
    case S::SpiderReady:
        Step(S::Idle);
        break;
    default:
        break;  // a page import or nothing: the client is not the spider's
    }
}

// Why the reply in flight is no page of the crawl to save, or empty: not
// HTML, or relocated to a page found under its own address before, or (for
// any page but the start) off the site. A relocation to a page not found yet
// makes its address find this page.
CodePageString TImportRun::RefusalOf()
{
    FPageChecked = true;
    if (!HtmlReply(FClient))
        return "not an HTML page: " + FClient.ResponseContentType();
    if (FClient.EffectiveURL() == FClient.URL)
        return {};
    const CodePageString target = ResolvedAddress(FClient.EffectiveURL());
    const int current = FFound.IndexOf(FClient.URL);
    int duplicate = -1;
    const TLinkVerdict verdict = JudgeLink(target, FSite, FFound, duplicate);
    if (duplicate >= 0 && duplicate != current)
        return "moved to " + FFound.Link(duplicate) + ", found before";
    if (verdict == TLinkVerdict::OtherSite && current != 0)
        return "moved off the site to " + target;
    if (duplicate < 0 && current >= 0)
        FFound.AddAlias(target, current);
    return {};
}

// The address to fetch in place of a reply that moved and ended at its
// header (a server may send a folder's relocation with an empty body, which
// the client does not follow), or empty. It is followed as the client follows
// one: on the site, not found as another page, at most MaxRelocations times
// for one page.
CodePageString TImportRun::MovedTo(std::uint16_t error)
{
    const int status = FClient.HttpStatus();
    if (error != 0 || status < 300 || status > 399 || FClient.EffectiveURL() == FClient.URL ||
        FRelocations >= TCustomHttpCli::MaxRelocations)
        return {};
    const CodePageString target = ResolvedAddress(FClient.EffectiveURL());
    const int current = FFound.IndexOf(FClient.URL);
    int duplicate = -1;
    const TLinkVerdict verdict = JudgeLink(target, FSite, FFound, duplicate);
    const bool samePage = verdict == TLinkVerdict::Duplicate && duplicate == current;
    if (current < 0 || (verdict != TLinkVerdict::Follow && !samePage))
        return {};
    if (duplicate < 0)
        FFound.AddAlias(target, current);
    ++FRelocations;
    return target;
}
