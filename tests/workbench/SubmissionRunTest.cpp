// The submission run as a plain object, with no window: its work list given
// as values, its requests sent to loopback servers, its results, counters
// and end told through its view; its state steps, and the flashing hint's.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "SubmitRunFixture.h"
#include "support/Assertions.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/ShopProject.h"
#include "support/TinyProxy.h"
#include "workbench/FlashHint.h"
#include "workbench/SubmissionRun.h"

namespace {

// The value part of an engine's record line, as the run takes it.
CodePageString RecordValue(const TestEngine& engine)
{
    const std::string line = engine.Record();
    return line.substr(line.find('=') + 1);
}

// What a run told its view.
struct TSeen {
    std::map<std::size_t, SubmissionResult> results;  // by entry
    std::map<ResultClass, long long> counts;            // the last value told
    std::vector<std::size_t> started;                   // entries, in start order
    int peakInFlight = 0;
    int projectsDone = 0;
    int stops = 0;
};

// A run whose view records what it is told, and ends the run where the main
// window would: when its one project is done or its stop has finished.
struct TWatchedRun {
    TSubmissionRun run;
    TSeen seen;

    TWatchedRun(int ports, int timeout)
    {
        run.Options = {ports, timeout};
        TSubmissionRun::TView& view = run.View;
        view.CountChanged = [this](ResultClass kind, long long value) { seen.counts[kind] = value; };
        view.RequestStarted = [this](std::size_t entry, int) {
            seen.started.push_back(entry);
            seen.peakInFlight = std::max(seen.peakInFlight, run.RunningCount());
        };
        view.RowResult = [this](std::size_t entry, const SubmissionResult& result) {
            EXPECT_EQ(seen.results.count(entry), 0u) << "entry " << entry << " answered twice";
            seen.results[entry] = result;
        };
        view.ProjectDone = [this] {
            ++seen.projectsDone;
            run.End();
        };
        view.Stopped = [this] {
            ++seen.stops;
            run.End();
        };
    }
    // Builds the list from the engines and starts the shop project.
    void Start(const std::vector<TSubmissionEntry>& entries)
    {
        run.BeginBuild();
        for (const TSubmissionEntry& entry : entries)
            run.AddEntry(entry);
        run.QueueProjects({"Shop"});
        run.StartProject(ShopProject());
    }
};

TSubmissionEntry EntryOf(const TestEngine& engine, long long sites = 1)
{
    return {engine.name, RecordValue(engine), sites};
}

}  // namespace

TEST(SubmissionRun, ARunCountsSuccessesFailuresAndTimeOuts)
{
    HttpTestServer server;
    struct TCase {
        const char* path;
        HttpTestReply reply;
        long long sites;
        ResultClass kind;
        const char* result;  // nullptr: a connection error, "(Error #" in its text
    };
    const TCase cases[] = {
        {"/ok", HttpTestReply::Ok("thanks"), 1, ResultClass::Successful, "OK"},
        {"/moved", HttpTestReply::Redirect("/thanks"), 1, ResultClass::Successful, "OK"},
        {"/batch", HttpTestReply::Ok("ok"), 10, ResultClass::Successful, "OK"},  // a batch counts its sites
        {"/missing", HttpTestReply::Status("HTTP/1.0 404 Not Found"), 1, ResultClass::Failed, "Not Found"},
        {"/broken", HttpTestReply::Status("HTTP/1.0 500 Oops"), 1, ResultClass::Failed, "Oops"},
        {"/refused", {}, 1, ResultClass::Failed, nullptr},
        {"/held", HeldReply(), 1, ResultClass::TimedOut, "Request Timeout"},
    };
    const int closedPort = FreeLoopbackPort();
    std::vector<TSubmissionEntry> entries;
    for (const TCase& c : cases) {
        std::string url = server.Url(c.path);
        if (std::string(c.path) == "/refused")
            url = "http://127.0.0.1:" + std::to_string(closedPort) + c.path;
        else
            server.Script(c.path, c.reply);
        entries.push_back(EntryOf(TestEngine::Get(c.path + 1, url), c.sites));
    }
    server.Script("/thanks", HttpTestReply::Ok("done"));

    TWatchedRun watched(/*ports=*/3, /*timeout=*/1);
    TSubmissionRun& run = watched.run;
    watched.Start(entries);
    EXPECT_EQ(run.State(), TSubmissionRun::TState::Running);
    // Everything but the held request ends on its own; only then do the
    // seconds go by, so the held one is the only one they can time out.
    ASSERT_TRUE(RunUntil([&] { return watched.seen.results.size() == entries.size() - 1; }, 10000));
    ASSERT_EQ(run.RunningCount(), 1);
    EXPECT_EQ(run.Seconds(), 1);  // the counter starts at Timeout
    for (int tick = 0; tick < 3 && watched.seen.projectsDone == 0; ++tick) {
        run.Tick();
        RunUntil([&] { return watched.seen.projectsDone == 1; }, 200);
    }
    ASSERT_TRUE(RunUntil([&] { return watched.seen.projectsDone == 1; }, 5000));

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].path);
        ASSERT_EQ(watched.seen.results.count(i), 1u);
        const SubmissionResult& result = watched.seen.results[i];
        EXPECT_EQ(ClassifyResult(result.status), cases[i].kind);
        if (cases[i].result)
            EXPECT_EQ(result.text, cases[i].result);
        else
            EXPECT_NE(result.text.find("(Error #"), CodePageString::npos) << result.text;
    }
    EXPECT_EQ(run.Count(ResultClass::Successful), 12);
    EXPECT_EQ(run.Count(ResultClass::Failed), 3);
    EXPECT_EQ(run.Count(ResultClass::TimedOut), 1);
    // The view was told every counter's last value.
    for (const ResultClass kind : {ResultClass::Successful, ResultClass::Failed, ResultClass::TimedOut})
        EXPECT_EQ(watched.seen.counts[kind], run.Count(kind));
    EXPECT_LE(watched.seen.peakInFlight, 3);
    EXPECT_EQ(watched.seen.started.size(), entries.size());
    EXPECT_EQ(watched.seen.projectsDone, 1);
    EXPECT_EQ(run.State(), TSubmissionRun::TState::Idle);
    EXPECT_EQ(run.InFlight(), 0);
    EXPECT_EQ(run.RunningCount(), 0);

    // The next project's list starts its counters again at 0.
    run.BeginBuild();
    for (const ResultClass kind : {ResultClass::Successful, ResultClass::Failed, ResultClass::TimedOut}) {
        EXPECT_EQ(run.Count(kind), 0);
        EXPECT_EQ(watched.seen.counts[kind], 0);
    }
}

// Entries dropped (their rows deleted) are never sent, whether they are
// dropped before the run starts or while it runs; the others all are, once.
TEST(SubmissionRun, DroppedEntriesAreNeverSent)
{
    HttpTestServer server;
    HttpTestReply held = HttpTestReply::Ok("ok");
    held.replyOnRelease = true;
    server.SetDefault(held);
    std::vector<TSubmissionEntry> entries;
    for (const TestEngine& engine : NumberedEngines(server, 6))
        entries.push_back(EntryOf(engine));

    TWatchedRun watched(/*ports=*/2, /*timeout=*/40);
    TSubmissionRun& run = watched.run;
    run.BeginBuild();
    for (const TSubmissionEntry& entry : entries)
        run.AddEntry(entry);
    run.DropEntry(1);
    run.QueueProjects({"Shop"});
    run.StartProject(ShopProject());
    ASSERT_TRUE(RunUntil([&] { return server.InFlight() == 2 && server.RequestCount() == 2; }, 10000));
    EXPECT_EQ(watched.seen.started, (std::vector<std::size_t>{0, 2}));
    run.DropEntry(0);  // sent already: its result still counts
    run.DropEntry(5);
    EXPECT_EQ(run.EntriesLeft(), 2);
    server.Release(4);
    ASSERT_TRUE(RunUntil([&] { return watched.seen.projectsDone == 1; }, 10000));

    EXPECT_EQ(watched.seen.started, (std::vector<std::size_t>{0, 2, 3, 4}));
    std::vector<std::string> paths;
    for (const HttpTestRequest& r : server.Requests())
        paths.push_back(r.target.substr(0, r.target.find('?')));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"/e0", "/e2", "/e3", "/e4"}));
    EXPECT_EQ(run.Count(ResultClass::Successful), 4);
}

// A stop aborts every request still waiting with "Submission Stopped",
// counted as failed, and is told once nothing is in flight any more.
TEST(SubmissionRun, AStopEndsEveryRequestInFlight)
{
    HttpTestServer server;
    server.SetDefault(HeldReply());
    std::vector<TSubmissionEntry> entries;
    for (const TestEngine& engine : NumberedEngines(server, 5))
        entries.push_back(EntryOf(engine));

    TWatchedRun watched(/*ports=*/3, /*timeout=*/40);
    TSubmissionRun& run = watched.run;
    watched.Start(entries);
    ASSERT_TRUE(RunUntil([&] { return server.InFlight() == 3 && server.RequestCount() == 3; }, 10000));
    ASSERT_TRUE(run.Stop());
    EXPECT_EQ(run.State(), TSubmissionRun::TState::Stopping);
    EXPECT_FALSE(run.Stop());  // stopping already
    run.Dispatch();
    ASSERT_TRUE(RunUntil([&] { return watched.seen.stops == 1; }, 5000));

    EXPECT_EQ(watched.seen.results.size(), 3u);
    for (const auto& [entry, result] : watched.seen.results)
        EXPECT_EQ(result.text, "Submission Stopped") << entry;
    EXPECT_EQ(run.Count(ResultClass::Failed), 3);
    EXPECT_EQ(run.Count(ResultClass::Successful), 0);
    EXPECT_EQ(watched.seen.projectsDone, 0);
    EXPECT_EQ(run.State(), TSubmissionRun::TState::Idle);
    EXPECT_EQ(run.InFlight(), 0);
    EXPECT_EQ(server.RequestCount(), 3u);
}

namespace {

// The run's state changes through one setter, which catches a step that no
// path of a run takes and names both its ends.
struct TSteppedRun : TSubmissionRun {
    using TSubmissionRun::SetState;
};

}  // namespace

TEST(SubmissionRun, AStepNoRunTakesIsRefusedWithItsEnds)
{
    using S = TSubmissionRun::TState;
    struct TCase {
        std::vector<S> path;  // from Idle; the last step is the one under test
        const char* report;   // nullptr: every step is valid
    };
    const TCase cases[] = {
        // Two projects, the second one stopped while it runs.
        {{S::Building, S::Running, S::Building, S::Running, S::Stopping, S::Idle}, nullptr},
        {{S::Building, S::Stopping, S::Idle}, nullptr},  // stopped while the list is built
        {{S::Building, S::Idle}, nullptr},               // no project checked
        {{S::Building, S::Running, S::Idle}, nullptr},   // the last project done
        {{S::Running}, "submission run: no step from Idle to Running"},  // running without a list
        {{S::Stopping}, "submission run: no step from Idle to Stopping"},  // nothing to stop
        {{S::Idle}, "submission run: no step from Idle to Idle"},
        {{S::Building, S::Stopping, S::Running}, "submission run: no step from Stopping to Running"},
        {{S::Building, S::Running, S::Stopping, S::Building}, "submission run: no step from Stopping to Building"},
        {{S::Building, S::Building}, "submission run: no step from Building to Building"},
    };
    for (const TCase& c : cases) {
        TSteppedRun run;
        TCaughtChecks caught;
        for (const S state : c.path)
            run.SetState(state);
        SCOPED_TRACE(std::string("ends in ") + TSubmissionRun::StateName(c.path.back()));
        if (c.report)
            EXPECT_EQ(caught.Checks, std::vector<std::string>{c.report});
        else
            EXPECT_TRUE(caught.Checks.empty()) << caught.Checks.front();
        EXPECT_EQ(run.State(), c.path.back());  // a refused step is reported and still taken
    }

    // Through the run's own calls: a project started with no list built.
    TSubmissionRun run;
    TCaughtChecks caught;
    run.StartProject(ShopProject());
    EXPECT_EQ(caught.Checks, std::vector<std::string>{"submission run: no step from Idle to Running"});
}

TEST(FlashHint, EveryWorkTakesTheHintOverAndNoneIsOnlyHandedBack)
{
    using T = TFlashTarget;
    struct TCase {
        T from;
        T to;
        const char* report;  // nullptr: a listed step
    };
    const TCase cases[] = {
        {T::None, T::ImportButton, nullptr},
        {T::ProjectList, T::SubmitButton, nullptr},   // a run starts after the "no project" hint
        {T::SubmitButton, T::ImportButton, nullptr},  // a page import during a run
        {T::SubmitButton, T::SubmitButton, nullptr},  // the run's next project
        {T::RankStart, T::RankStart, nullptr},        // a second check after the first ended
        {T::SubmitButton, T::WizardImport, nullptr},
        {T::WizardImport, T::SubmitButton, nullptr},  // handed back by a fetch that could not start
        {T::WizardImport, T::None, nullptr},          // the same, with no hint before it
        {T::SubmitButton, T::None, "flashing hint: no step from SubmitButton to None"},
        {T::None, T::None, "flashing hint: no step from None to None"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(FlashTargetName(c.from)) + " -> " + FlashTargetName(c.to));
        TFlashHint hint;
        if (c.from != T::None)
            hint.Show(c.from);
        TCaughtChecks caught;
        hint.Show(c.to);
        EXPECT_EQ(hint.Target(), c.to);
        if (c.report)
            EXPECT_EQ(caught.Checks, std::vector<std::string>{c.report});
        else
            EXPECT_TRUE(caught.Checks.empty()) << caught.Checks.front();
    }
}
