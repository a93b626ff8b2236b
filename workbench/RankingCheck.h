// The ranking check without its window: the queue of (engine, page) queries
// of one check, run one at a time on a client, each started by the end of
// the one before; what the check found, as the cells of each engine's row;
// and the check's state, which changes only through its table of steps.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "classlib/Strings.h"
#include "workbench/RankData.h"

class THttpCli;
class TMemoryStream;

// Idle; a check that runs with no query in flight (between two queries);
// a check with its query in flight.
enum class TRankCheckState { Idle, Waiting, Querying };

// What the window shows of a check.
class TRankingCheckView {
public:
    virtual ~TRankingCheckView() = default;
    // The cells of an engine's row changed.
    virtual void ShowRankCell(int engine, const TRankCell& cell) = 0;
    // Every query ran: the check ended by itself (not stopped).
    virtual void RankCheckComplete() = 0;
};

class TRankingCheck {
public:
    // The check runs its queries on client, whose page, size and end events it
    // takes while it lives.
    TRankingCheck(THttpCli& client, TRankingCheckView& view);
    ~TRankingCheck();
    TRankingCheck(const TRankingCheck&) = delete;
    TRankingCheck& operator=(const TRankingCheck&) = delete;

    TRankCheckState State() const { return FState; }
    bool Running() const { return FState != TRankCheckState::Idle; }
    bool QueryInFlight() const { return FState == TRankCheckState::Querying; }

    // Prepares a check: every query of the checked rows to the depth, and
    // what the pages are scanned for (the site, the depth), read once so that
    // a page that arrives later is scanned as the first. Every cell is
    // emptied. Throws EConvertError for a depth that is no number or too
    // deep, before anything changes. The first query starts with RunQueries.
    void Start(const std::vector<TRankRow>& rows, const CodePageString& keyword, const CodePageString& depthText,
               const CodePageString& site);
    // Starts the next query; a query that cannot start is told in its row and
    // the next one is tried. Ends the check when none is left.
    void RunQueries();
    // Stops the check: the query in flight is aborted and its row tells so;
    // the pending queries are dropped at the next Start.
    void Stop();

    // The queries not yet started, in the order they run.
    const std::deque<TRankQuery>& Pending() const { return FPending; }
    // What the check found for an engine (index into RankEngines).
    const TRankCell& Cell(int engine) const;
    // Every cell emptied (the list reset).
    void ClearCells();

    // The one setter of the state: a step its table does not list fails a
    // check naming both ends. Its handlers take every step through it.
    bool Step(TRankCheckState to);
    static const char* Name(TRankCheckState state);

    // A result page is some tens of kilobytes; a reply far beyond that is no
    // result page, and is not kept whole in memory.
    static constexpr std::int64_t MaxPageBytes = 8 << 20;

private:
    void PageData();
    void QueryDone(std::uint16_t error);
    void FailQuery(const CodePageString& reason);
    void SetCell(int engine, const TRankCell& cell);

    THttpCli& FClient;
    TRankingCheckView& FView;
    TRankCheckState FState = TRankCheckState::Idle;
    std::deque<TRankQuery> FPending;
    std::array<TRankCell, RankEngineCount> FCells;
    CodePageString FSite;
    CodePageString FDepthText;
    int FDepth = 0;
    // The query in flight (while Querying) and the stream its page arrives in.
    TRankQuery FQuery{-1, 0, {}};
    bool FTooLarge = false;  // stopped for a page beyond the size a result page has
    std::unique_ptr<TMemoryStream> FPage;
};
