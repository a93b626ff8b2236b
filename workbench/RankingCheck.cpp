#include "workbench/RankingCheck.h"

#include <exception>
#include <iterator>
#include <string>

#include "classlib/Classes.h"
#include "classlib/Dates.h"
#include "classlib/Strings.h"
#include "platform/StateChecks.h"
#include "transport/HttpProt.h"

namespace {

using S = TRankCheckState;

constexpr const char* RankCheckStateNames[] = {"Idle", "Waiting", "Querying"};
static_assert(std::size(RankCheckStateNames) == static_cast<int>(S::Querying) + 1);

// A check starts waiting for its first query; each query ends back in
// Waiting; the check ends from Waiting when no query is left, and Stop ends
// it from either.
constexpr TStateStep<S> RankCheckSteps[] = {
    {S::Idle, S::Waiting},
    {S::Waiting, S::Querying},
    {S::Querying, S::Waiting},
    {S::Waiting, S::Idle},
    {S::Querying, S::Idle},
};

constexpr TStateTable<S> RankCheckStates{"ranking check", RankCheckStateNames, RankCheckSteps};

}  // namespace

TRankingCheck::TRankingCheck(THttpCli& client, TRankingCheckView& view) : FClient(client), FView(view)
{
    FClient.OnRequestDone = [this](TObject*, THttpRequest, std::uint16_t error) { QueryDone(error); };
    FClient.OnDocData = [this](TObject*, const char*, int) { PageData(); };
}

TRankingCheck::~TRankingCheck()
{
    FClient.OnRequestDone = nullptr;
    FClient.OnDocData = nullptr;
    FClient.ReceiveStream = nullptr;
}

bool TRankingCheck::Step(TRankCheckState to)
{
    return TENVAREL_STEP(RankCheckStates, FState, to);
}

const char* TRankingCheck::Name(TRankCheckState state)
{
    return StateName(RankCheckStates, state);
}

const TRankCell& TRankingCheck::Cell(int engine) const
{
    static const TRankCell none;
    return engine >= 0 && engine < RankEngineCount ? FCells[static_cast<std::size_t>(engine)] : none;
}

void TRankingCheck::SetCell(int engine, const TRankCell& cell)
{
    if (engine < 0 || engine >= RankEngineCount)
        return;
    FCells[static_cast<std::size_t>(engine)] = cell;
    FView.ShowRankCell(engine, cell);
}

void TRankingCheck::ClearCells()
{
    FCells.fill(TRankCell{});
}

void TRankingCheck::Start(const std::vector<TRankRow>& rows, const CodePageString& keyword, const CodePageString& depthText,
                          const CodePageString& site)
{
    if (Running())
        return;
    std::vector<TRankQuery> queries = BuildRankQueries(rows, keyword, depthText);
    const int depth = RankDepth(depthText);
    FPending.assign(queries.begin(), queries.end());
    FDepthText = depthText;
    FDepth = depth;
    FSite = site;
    ClearCells();
    Step(S::Waiting);
}

void TRankingCheck::RunQueries()
{
    for (;;) {
        if (FState != S::Waiting)
            return;  // stopped, or a query is in flight
        if (FPending.empty()) {
            Step(S::Idle);
            FView.RankCheckComplete();
            return;
        }
        FQuery = FPending.front();
        FPending.pop_front();
        FTooLarge = false;
        TRankCell cell = Cell(FQuery.Engine);
        cell.Image = RankImageRunning;
        SetCell(FQuery.Engine, cell);

        FClient.URL = FQuery.Url;
        FPage = std::make_unique<TMemoryStream>();
        FClient.ReceiveStream = FPage.get();
        Step(S::Querying);
        try {
            FClient.GetAsync();
            return;
        } catch (const std::exception& e) {
            FailQuery(e.what());
            Step(S::Waiting);
        }
    }
}

void TRankingCheck::Stop()
{
    const bool inFlight = FState == S::Querying;
    if (!Running())
        return;
    // The stopped query's end is not waited for: its row tells so now, and
    // the end, when it comes, finds the check idle.
    Step(S::Idle);
    if (inFlight) {
        FClient.Abort();
        FailQuery(FClient.StatusText().empty() ? CodePageString("Connection aborted on request") : FClient.StatusText());
    }
}

void TRankingCheck::PageData()
{
    if (FState == S::Querying && !FTooLarge && FClient.ReceivedBytes() > MaxPageBytes) {
        FTooLarge = true;
        FClient.Abort();
    }
}

void TRankingCheck::FailQuery(const CodePageString& reason)
{
    const TRankQuery query = FQuery;
    FQuery = {-1, 0, {}};
    FClient.ReceiveStream = nullptr;
    FPage.reset();
    if (query.Engine < 0)
        return;
    TRankCell cell = Cell(query.Engine);
    ApplyRankFailure(cell, query.Page, reason, DateToStr(Now()));
    SetCell(query.Engine, cell);
}

void TRankingCheck::QueryDone(std::uint16_t error)
{
    if (FState != S::Querying)
        return;  // the end of a stopped query
    const int status = FClient.HttpStatus();
    if (FTooLarge) {
        FailQuery("The page is larger than a result page (" + IntToStr(MaxPageBytes >> 20) + " MB)");
    } else if (error != 0) {
        FailQuery(FClient.StatusText());
    } else if (status >= 400) {
        FailQuery(IntToStr(status) + " " + FClient.StatusText());
    } else {
        const TRankQuery query = FQuery;
        const std::string page(static_cast<const char*>(FPage->Memory()), std::size_t(FPage->Size()));
        FQuery = {-1, 0, {}};
        FClient.ReceiveStream = nullptr;
        FPage.reset();
        TRankCell cell = Cell(query.Engine);
        const TRankPageScan scan = {RankFirstOfPage(query.Page), FDepth, FDepthText, FClient.URL, DateToStr(Now())};
        ScanRankPage(cell, page, RankEngines[query.Engine], RankTargets(FSite), scan);
        SetCell(query.Engine, cell);
    }
    Step(S::Waiting);
    RunQueries();
}
