#include "workbench/SubmissionRun.h"

#include <algorithm>
#include <limits>

#include "classlib/Classes.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "platform/Assertions.h"
#include "transport/StHttpProt.h"
#include "workbench/Proxyset.h"
#include "workbench/StrKit.h"

namespace {

using TState = TSubmissionRun::TState;

// Frees the requests whose done event has run.
constexpr UINT WM_FREE_FINISHED = WM_USER + 40;
// Ends a request whose client never started (LParam: the client).
constexpr UINT WM_END_UNSTARTED = WM_USER + 41;

constexpr const char* RunStateNames[] = {"Idle", "Building", "Running", "Stopping"};
constexpr TStateStep<TState> RunSteps[] = {
    {TState::Idle, TState::Building},      // Submit
    {TState::Building, TState::Running},   // the list is built and a project is queued
    {TState::Building, TState::Idle},      // no project checked
    {TState::Building, TState::Stopping},  // Stop while the list is built
    {TState::Running, TState::Building},   // the next project's list
    {TState::Running, TState::Stopping},   // Stop
    {TState::Running, TState::Idle},       // the last project is done
    {TState::Stopping, TState::Idle},      // the stop has finished
};
constexpr TStateTable<TState> RunStates{"submission run", RunStateNames, RunSteps};

}  // namespace

TSubmissionRun::TSubmissionRun()
{
    FWindow = AllocateHWnd([this](TMessage& msg) { WndProc(msg); });
}

TSubmissionRun::~TSubmissionRun()
{
    DeallocateHWnd(FWindow);
    // A run ended by its owner going away: its clients' queued events die
    // with them and reach nobody.
    for (const auto& request : FRequests) {
        request->Client->OnHeaderEnd = nullptr;
        request->Client->OnRequestDone = nullptr;
    }
}

const char* TSubmissionRun::StateName(TState state)
{
    return ::StateName(RunStates, state);
}

const TStateTable<TState>& TSubmissionRun::Steps()
{
    return RunStates;
}

void TSubmissionRun::SetState(TState state)
{
    TENVAREL_STEP(RunStates, FState, state);
}

// --- the work list ---------------------------------------------------------------------------

void TSubmissionRun::BeginBuild()
{
    SetState(TState::Building);
    FEntries.clear();
    FNextEntry = 0;
    FDroppedAhead = 0;
    FCategoryCache.clear();
    for (const ResultClass kind : {ResultClass::Failed, ResultClass::Successful, ResultClass::TimedOut})
        SetCount(kind, 0);
}

std::size_t TSubmissionRun::AddEntry(TSubmissionEntry entry)
{
    FEntries.push_back({std::move(entry), false});
    return FEntries.size() - 1;
}

void TSubmissionRun::DropEntry(std::size_t entry)
{
    if (entry >= FEntries.size() || FEntries[entry].Dropped)
        return;
    FEntries[entry].Dropped = true;
    if (entry >= FNextEntry)
        ++FDroppedAhead;
}

int TSubmissionRun::EntriesLeft() const
{
    return static_cast<int>(FEntries.size() - FNextEntry - FDroppedAhead);
}

CodePageString TSubmissionRun::CategoryMapValue(const CodePageString& section, const CodePageString& key)
{
    // Each pair is read once per project: a run asks the same one for
    // every engine of a category type.
    const CodePageString id = section + "\n" + key;
    for (const auto& [cached, value] : FCategoryCache)
        if (cached == id)
            return value;
    CodePageString value;
    if (!FCategoryMapFile.empty()) {
        TIniFile map(FCategoryMapFile);
        value = map.ReadString(section, key, "");
    }
    FCategoryCache.emplace_back(id, value);
    return value;
}

void TSubmissionRun::SetCount(ResultClass kind, long long value)
{
    FCounts[static_cast<std::size_t>(kind)] = value;
    if (View.CountChanged)
        View.CountChanged(kind, value);
}

// --- the run ---------------------------------------------------------------------------------

void TSubmissionRun::StartProject(const ProjectRecord& project)
{
    SetState(TState::Running);
    FProject = project;
    FSeconds = Options.Timeout;
    TENVAREL_ASSERT(FRequests.empty());
    FInFlight = 0;
    Dispatch();
}

bool TSubmissionRun::Stop()
{
    if (FState != TState::Running && FState != TState::Building)
        return false;
    SetState(TState::Stopping);
    // The done events come afterwards as messages, so the list does not
    // change during the walk. A request whose result is in already keeps it.
    for (const auto& request : FRequests) {
        if (request->Result)
            continue;
        request->Result = StoppedResult;
        request->Client->Abort();
    }
    return true;
}

void TSubmissionRun::End()
{
    SetState(TState::Idle);
}

void TSubmissionRun::Dispatch()
{
    // Entered again from the messages it processes (a request ending, a
    // button): the running pass does the work, so nothing is taken twice
    // and no project ends while its requests still run.
    if (FInDispatch) {
        FDispatchAgain = true;
        return;
    }
    FInDispatch = true;
    struct TLower {
        bool& Flag;
        ~TLower() { Flag = false; }
    } lower{FInDispatch};

    do {
        FDispatchAgain = false;
        if (FState == TState::Running) {
            // The second bound is read again after every request, since each
            // one takes an entry.
            while (FState == TState::Running && EntriesLeft() > 0 && FInFlight < Options.Ports &&
                   FInFlight < EntriesLeft() + 1) {
                ++FInFlight;
                Application->ProcessMessages();
                // The place is given back when the messages stopped the run
                // or a dropped entry was the last one.
                if (FState != TState::Running || EntriesLeft() == 0) {
                    --FInFlight;
                    continue;
                }
                SendNext();
            }
            if (FState == TState::Running && EntriesLeft() == 0 && FInFlight == 0 && View.ProjectDone)
                View.ProjectDone();
        } else if (FState == TState::Stopping && FInFlight == 0 && View.Stopped) {
            View.Stopped();
        }
    } while (FDispatchAgain);
}

// --- requests ----------------------------------------------------------------------------------

void TSubmissionRun::SendNext()
{
    while (FNextEntry < FEntries.size() && FEntries[FNextEntry].Dropped) {
        ++FNextEntry;
        --FDroppedAhead;
    }
    if (FNextEntry >= FEntries.size()) {
        --FInFlight;  // nothing left to take the place raised for it
        return;
    }
    const std::size_t entryNumber = FNextEntry++;
    const TSubmissionEntry& entry = FEntries[entryNumber].Values;
    const SubmissionRequest sent = BuildSubmissionRequest(
        entry.Record, FProject,
        [this](const CodePageString& section, const CodePageString& key) { return CategoryMapValue(section, key); });

    auto owned = std::make_unique<TRequest>();
    TRequest& request = *owned;
    request.Client = std::make_unique<TSTHttpCli>(nullptr);
    request.PostStream = std::make_unique<TMemoryStream>();
    request.Entry = entryNumber;
    request.StartSecond = FSeconds;
    request.Sites = entry.Sites;
    TSTHttpCli& client = *request.Client;
    client.Name = "SubmitClient";
    client.PostStream = request.PostStream.get();
    client.OnHeaderEnd = [this](TObject* sender) { HeaderEnded(static_cast<TSTHttpCli*>(sender)); };
    client.OnRequestDone = [this](TObject* sender, THttpRequest, std::uint16_t) { RequestDone(sender); };
    HandProxyTo(client, FProxy);
    FRequests.push_back(std::move(owned));
    if (View.RequestStarted)
        View.RequestStarted(entryNumber, FSeconds);

    try {
        client.Reference = sent.referer;
        // The form data comes fully encoded; only blanks in the installation's
        // own parts (the fixed parameters, the category value) are left.
        CodePageString data = sent.data;
        ReplaceAll(data, " ", "+", false);
        if (sent.method == "POST") {
            client.URL = sent.url;
            client.Stream = data;
            client.PostAsync();
        } else {
            client.URL = sent.url + "?" + data;
            client.GetAsync();
        }
    } catch (const std::exception&) {
        request.Result = SocketErrorResult;
        const bool running = client.State() != httpReady;
        client.Abort();
        // A client that never started reports no end of its own; the
        // request is ended from the message loop like any other.
        if (!running)
            PostMessage(FWindow, WM_END_UNSTARTED, 0, reinterpret_cast<LPARAM>(static_cast<TObject*>(&client)));
    }
}

TSubmissionRun::TRequest* TSubmissionRun::FindRequest(const TObject* client, std::size_t* place)
{
    for (std::size_t i = 0; i < FRequests.size(); ++i)
        if (FRequests[i]->Client.get() == client) {
            if (place)
                *place = i;
            return FRequests[i].get();
        }
    return nullptr;
}

void TSubmissionRun::HeaderEnded(TSTHttpCli* client)
{
    TRequest* request = FindRequest(client);
    if (!request || request->Result)
        return;
    request->Result = ResultOfHeader(client->HttpStatus(), client->StatusText());
    // The status line is all a submission needs; the body is never read.
    client->Abort();
}

void TSubmissionRun::RequestDone(TObject* client)
{
    std::size_t place = 0;
    TRequest* request = FindRequest(client, &place);
    if (!request)
        return;  // ended already
    FInDone.push_back(request);
    std::unique_ptr<TRequest> owned = std::move(FRequests[place]);
    FRequests.erase(FRequests.begin() + static_cast<std::ptrdiff_t>(place));
    if (View.RequestEnded)
        View.RequestEnded(place);

    // A request that ends without a result of its own failed before any
    // header: its client's status and text tell why.
    const SubmissionResult result =
        request->Result ? *request->Result
                        : SubmissionResult{request->Client->HttpStatus(), request->Client->StatusText()};
    if (View.RowResult)
        View.RowResult(request->Entry, result);
    const ResultClass kind = ClassifyResult(result.status);
    SetCount(kind, Count(kind) + request->Sites);
    FinishLater(std::move(owned));

    FInFlight -= 1;
    Dispatch();
    FInDone.pop_back();
    if (!FFinished.empty() && !FFreePosted) {
        FFreePosted = true;
        PostMessage(FWindow, WM_FREE_FINISHED, 0, 0);
    }
}

void TSubmissionRun::FinishLater(std::unique_ptr<TRequest> request)
{
    // The client is inside its own done event now; it is freed from the
    // message loop, after that event has returned.
    request->Client->OnHeaderEnd = nullptr;
    request->Client->OnRequestDone = nullptr;
    FFinished.push_back(std::move(request));
}

void TSubmissionRun::WndProc(TMessage& msg)
{
    if (msg.Msg == WM_FREE_FINISHED) {
        FFreePosted = false;
        // Run from a loop nested inside done handlers (the dispatcher
        // processes messages): their requests stay until those handlers
        // have returned, and the end of each posts this again.
        std::erase_if(FFinished, [this](const std::unique_ptr<TRequest>& finished) {
            return std::find(FInDone.begin(), FInDone.end(), finished.get()) == FInDone.end();
        });
        return;
    }
    if (msg.Msg == WM_END_UNSTARTED) {
        RequestDone(reinterpret_cast<TObject*>(msg.LParam));
        return;
    }
}

void TSubmissionRun::Tick()
{
    // The counter starts at the stored Timeout, which may be as large as an
    // int holds: it stops there rather than wrap (such a timeout never ends
    // a request anyway).
    if (FSeconds < std::numeric_limits<int>::max())
        ++FSeconds;
    // The oldest request still waiting for its result; at most one per tick.
    for (const auto& request : FRequests) {
        if (request->Result)
            continue;
        if (static_cast<long long>(request->StartSecond) < static_cast<long long>(FSeconds) - Options.Timeout) {
            request->Result = TimeoutResult;
            request->Client->Abort();
        }
        break;
    }
}
