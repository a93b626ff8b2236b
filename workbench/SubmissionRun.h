// The submission run: one project after another to a list of engines, up to
// Ports requests in flight, each request's result taken from the status line
// of its reply, and the counts of successes, failures and time-outs.
//
// The run owns its state, the project queue, the work list of the current
// project (taken as plain values when the project's list is built), the
// requests in flight, the second counter that times them out and the three
// counters. It shows nothing: it tells its view through the callbacks of
// View, and the main window, which holds one, shows the rows and the LEDs
// from them and forwards its buttons to it.
//
// Everything runs on the GUI thread, and the dispatcher processes messages
// between requests, so every path is written to be entered again: a nested
// dispatch only asks the running one for another pass, and every step checks
// the run's state again after a call that pumps messages.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "classlib/Strings.h"
#include "platform/Messages.h"
#include "platform/StateChecks.h"
#include "workbench/ProjectData.h"
#include "workbench/ReportData.h"
#include "workbench/SubmitData.h"

class TMemoryStream;
class TObject;
class TSTHttpCli;

// [SubOptions]: the requests a run keeps in flight, and the seconds a
// request may take before it is counted as timed out.
struct TSubmitOptions {
    int Ports = DefaultPorts;
    int Timeout = DefaultTimeout;
};

// One engine of a project's work list.
struct TSubmissionEntry {
    CodePageString Engine;    // its name
    CodePageString Record;    // the value part of its engine file line (the text after "name=")
    long long Sites = 1;  // the sites it stands for in the counters (a batch counts N)
};

class TSubmissionRun {
public:
    // A run is built, then runs its projects (each built again), and ends
    // from any of these; a stop comes while it is built or runs, and ends it.
    enum class TState { Idle, Building, Running, Stopping };

    // What the run tells its view; each callback may be left empty. Entries
    // are named by their number in the current project's list.
    struct TView {
        // A counter changed: its class and its new value.
        std::function<void(ResultClass, long long)> CountChanged;
        // The entry's request has started, at the given second.
        std::function<void(std::size_t entry, int second)> RequestStarted;
        // The entry's request has its result (before its counter changes).
        std::function<void(std::size_t entry, const SubmissionResult& result)> RowResult;
        // The request at this place of the running ones (in start order) is gone.
        std::function<void(std::size_t place)> RequestEnded;
        // Every entry of the project is answered and nothing is in flight.
        std::function<void()> ProjectDone;
        // A stop has finished: nothing is in flight any more.
        std::function<void()> Stopped;
    };

    TSubmissionRun();
    ~TSubmissionRun();
    TSubmissionRun(const TSubmissionRun&) = delete;
    TSubmissionRun& operator=(const TSubmissionRun&) = delete;

    TView View;
    TSubmitOptions Options;

    TState State() const { return FState; }
    static const char* StateName(TState state);
    static const TStateTable<TState>& Steps();

    // --- a project's work list ---------------------------------------------------------------
    // Starts building the list of a project (the first, or the next after one
    // is done): the list is emptied and the counters go to 0.
    void BeginBuild();
    // Adds an entry to the list being built; returns its number.
    std::size_t AddEntry(TSubmissionEntry entry);
    // The entry is not to be sent (its row is gone). One sent already still
    // counts when its result comes.
    void DropEntry(std::size_t entry);
    // Entries of the current project not yet sent.
    int EntriesLeft() const;

    // --- projects ----------------------------------------------------------------------------
    // The projects still to submit, the current one first.
    void QueueProjects(std::vector<CodePageString> names) { FProjects = std::move(names); }
    const std::vector<CodePageString>& ProjectQueue() const { return FProjects; }
    // The first project of the queue; "" when it is empty.
    CodePageString CurrentProject() const { return FProjects.empty() ? CodePageString() : FProjects.front(); }
    // Where the CategoryMap is read from (data/catagory.zro of the installation).
    void SetCategoryMapFile(const CodePageString& fileName) { FCategoryMapFile = fileName; }

    // --- the run -----------------------------------------------------------------------------
    // The list is built: its requests go out with the project's values. The
    // second counter starts at Timeout.
    void StartProject(const ProjectRecord& project);
    // Stops a run that is built or runs: every request without a result is
    // aborted with "Submission Stopped". False, changing nothing, when no
    // run is built or runs. The caller dispatches once the stop is shown,
    // unless the list was being built (the build ends the run itself).
    bool Stop();
    // The run is over (done, stopped, or nothing to submit).
    void End();
    // Starts requests while there is room; tells the view when the project
    // is done or a stop has finished.
    void Dispatch();
    // One second: the counter goes up, and the oldest request still waiting
    // for its result past Timeout is aborted as timed out (one per tick).
    void Tick();

    int Seconds() const { return FSeconds; }
    // Requests counted in flight by the dispatcher.
    int InFlight() const { return FInFlight; }
    // Requests started and not yet ended, in start order.
    int RunningCount() const { return static_cast<int>(FRequests.size()); }
    // The entry of the running request at a place, in start order.
    std::size_t RunningEntry(std::size_t place) const { return FRequests[place]->Entry; }
    long long Count(ResultClass kind) const { return FCounts[static_cast<std::size_t>(kind)]; }

    // The proxy every request from the next one on goes through.
    void SetProxy(const ProxySettings& settings) { FProxy = settings; }
    const ProxySettings& Proxy() const { return FProxy; }

protected:
    // The one step through which the state changes; a step the run's table
    // does not list fails a check that names both ends.
    void SetState(TState state);

private:
    struct TRequest {
        std::unique_ptr<TSTHttpCli> Client;
        std::unique_ptr<TMemoryStream> PostStream;
        std::size_t Entry = 0;
        int StartSecond = 0;
        long long Sites = 1;
        // Set at header end, time-out, stop or a failed start; kept until the
        // request's own done event takes it.
        std::optional<SubmissionResult> Result;
    };
    struct TListedEntry {
        TSubmissionEntry Values;
        bool Dropped = false;
    };

    void SendNext();
    void HeaderEnded(TSTHttpCli* client);
    void RequestDone(TObject* client);
    TRequest* FindRequest(const TObject* client, std::size_t* place = nullptr);
    void FinishLater(std::unique_ptr<TRequest> request);
    void WndProc(TMessage& msg);
    void SetCount(ResultClass kind, long long value);
    CodePageString CategoryMapValue(const CodePageString& section, const CodePageString& key);

    TState FState = TState::Idle;
    std::vector<CodePageString> FProjects;
    ProjectRecord FProject;
    std::vector<TListedEntry> FEntries;
    std::size_t FNextEntry = 0;    // first entry not yet sent
    std::size_t FDroppedAhead = 0; // entries from FNextEntry on that were dropped
    int FInFlight = 0;
    int FSeconds = 0;
    long long FCounts[3] = {0, 0, 0};
    bool FInDispatch = false;
    bool FDispatchAgain = false;
    ProxySettings FProxy;
    CodePageString FCategoryMapFile;
    std::vector<std::pair<CodePageString, CodePageString>> FCategoryCache;  // "section\nkey", value

    HWND FWindow = 0;
    std::vector<std::unique_ptr<TRequest>> FRequests;
    // Requests whose done event has run; freed from the message loop once
    // their own done handler has returned.
    std::vector<std::unique_ptr<TRequest>> FFinished;
    std::vector<const TRequest*> FInDone;  // requests whose done handler is on the stack
    bool FFreePosted = false;
};
