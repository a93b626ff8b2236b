#include "workbench/LiveResult.h"

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>

#include "classlib/ComCtrls.h"
#include "classlib/IniFiles.h"
#include "classlib/Skin.h"
#include "classlib/StdCtrls.h"
#include "classlib/Timer.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "controls/Tranpanl.h"
#include "platform/Hooks.h"
#include "transport/StHttpProt.h"
#include "workbench/EngineData.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/Proxyset.h"
#include "workbench/StrKit.h"
#include "workbench/SubmitMain.h"

TLiveResult* LiveResult = nullptr;

namespace {

// Frees the requests whose done event has run.
constexpr UINT WM_FREE_FINISHED = WM_USER + 40;
// Ends a request whose client never started (LParam: the client).
constexpr UINT WM_END_UNSTARTED = WM_USER + 41;

// Columns of an engine row (sub-items).
constexpr int ResultColumn = 1;
constexpr int DateColumn = 2;
constexpr int TypeColumn = 3;

void SetCell(TListItem& row, int column, const AnsiString& text)
{
    TStrings* cells = row.SubItems();
    while (cells->Count() <= column)
        cells->Add("");
    if (row.SubItemRef(column) != text)
        cells->SetStrings(column, text);
}

// Adds to the number a LED counter shows.
void RaiseLed(TLedLabel& led, long long by)
{
    // A counter holds only numbers this window and the run wrote into it.
    long long shown = 0;
    try {
        shown = std::stoll(led.Text());
    } catch (const std::exception&) {
        shown = 0;
    }
    led.SetText(IntToStr(shown + by));
}

}  // namespace

TLiveResult::TLiveResult(TComponent* AOwner) : TForm(AOwner)
{
    MakeToolWindow(*this, "LiveResult", "Submit Options", 300, 124);

    TranPanel1 = PlaceClient<TTranPanel>(this, this, "TranPanel1", 300, 124);

    GroupBox1 = Place<TGroupBox>(this, TranPanel1, "GroupBox1", 8, 6, 138, 52);
    GroupBox1->SetCaption("Timeout in sec");
    TimeOuts = Place<TComboBox>(this, GroupBox1, "TimeOuts", 10, 20, 118, 22);
    for (int seconds = 10; seconds <= 90; seconds += 10)
        TimeOuts->Items()->Add(IntToStr(seconds));

    GroupBox2 = Place<TGroupBox>(this, TranPanel1, "GroupBox2", 154, 6, 138, 52);
    GroupBox2->SetCaption("Submit on how many Ports");
    Ports = Place<TComboBox>(this, GroupBox2, "Ports", 10, 20, 118, 22);
    for (const int ports : {1, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50})
        Ports->Items()->Add(IntToStr(ports));

    Button1 = PlaceButton(this, TranPanel1, "Button1", "Save", 120, 92);
    Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };
    Button3 = PlaceButton(this, TranPanel1, "Button3", "Close", 208, 92);
    Button3->OnClick = [this](TObject*) { Close(); };
    CloseOnEscape(*this);

    // Two parallel first-in-first-out lists of the running requests; never shown.
    ListBox4 = Place<TListBox>(this, TranPanel1, "ListBox4", 8, 66, 40, 20);
    ListBox4->SetVisible(false);
    ListBox5 = Place<TListBox>(this, TranPanel1, "ListBox5", 52, 66, 40, 20);
    ListBox5->SetVisible(false);

    Timer5 = NewComponent<TTimer>(this, "Timer5");
    Timer5->SetEnabled(false);
    Timer5->SetInterval(1000);
    Timer5->OnTimer = [this](TObject* sender) { Timer5Timer(sender); };

    HttpCli1 = NewComponent<TSTHttpCli>(this, "HttpCli1");

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    FWindow = AllocateHWnd([this](TMessage& msg) { WndProc(msg); });
    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnShow = [this](TObject* sender) { FormShow(sender); };
}

TLiveResult::~TLiveResult()
{
    DeallocateHWnd(FWindow);
    // The clients go before the components their handlers refer to; their
    // queued messages die with them.
    for (const auto& request : Clients) {
        request->Client->OnHeaderEnd = nullptr;
        request->Client->OnRequestDone = nullptr;
    }
    Clients.clear();
    FFinished.clear();
    DestroyComponents();
    if (LiveResult == this)
        LiveResult = nullptr;
}

void TLiveResult::FormCreate(TObject*)
{
    // The main window is created first and has read [SubOptions] by now.
    if (!SubmitMain)
        return;
    TimeOuts->SetText(IntToStr(SubmitMain->Timeout));
    Ports->SetText(IntToStr(SubmitMain->Ports));
}

void TLiveResult::FormShow(TObject*)
{
    ApplyDefaultSkin(*SkinForm1, MainAppFolder());
}

// --- the options ---------------------------------------------------------------------------

void TLiveResult::Button1Click(TObject*)
{
    // Both are checked before either is stored: a refused value writes
    // nothing, so a run can never be set to start no request at all.
    int timeout = 0;
    int ports = 0;
    for (const auto& [text, what, value] :
         {std::tuple{TimeOuts->Text(), "Timeout", &timeout}, std::tuple{Ports->Text(), "Ports", &ports}}) {
        if (const auto refusal = CheckSubmitOption(text, what, *value)) {
            Application->MessageBox(*refusal, "Submit Options", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    const AnsiString folder = MainAppFolder();
    TIniFile settings(AppPath(folder, SettingsFileName));
    // Both in one rewrite: a failed save leaves neither half of it.
    settings.WriteValues({{"SubOptions", "Timeout", IntToStr(timeout)}, {"SubOptions", "Ports", IntToStr(ports)}});
    if (SubmitMain) {
        SubmitMain->Ports = ports;
        SubmitMain->Timeout = timeout;
    }
}

// --- the proxy -----------------------------------------------------------------------------

void TLiveResult::SetSubmitProxy(const ProxySettings& settings)
{
    FProxy = settings;
    HandProxyTo(*HttpCli1, settings);
}

// --- requests ------------------------------------------------------------------------------

void TLiveResult::SubmitRequest(const AnsiString& URL, const AnsiString& Data, const AnsiString& Referer,
                                const AnsiString& Method, int RowIndex)
{
    auto owned = std::make_unique<TRequest>();
    TRequest& request = *owned;
    request.Client = std::make_unique<TSTHttpCli>(nullptr);
    request.PostStream = std::make_unique<TMemoryStream>();
    request.StartSecond = Seconds;
    TSTHttpCli& client = *request.Client;
    client.Name = "SubmitClient";
    client.PostStream = request.PostStream.get();
    client.OnHeaderEnd = [this](TObject* sender) { HeaderEnded(static_cast<TSTHttpCli*>(sender)); };
    client.OnRequestDone = [this](TObject* sender, THttpRequest, std::uint16_t) { SubmitRequestDone(sender); };
    HandProxyTo(client, FProxy);

    if (SubmitMain) {
        TListItems* rows = SubmitMain->ExListView2->Items();
        if (RowIndex >= 0 && RowIndex < rows->Count()) {
            request.Row = rows->Item(RowIndex);
            std::optional<AnsiString> malformed;  // a malformed batch count counts as one site
            request.Sites = SitesOfType(request.Row->SubItemRef(TypeColumn), malformed);
        }
    }
    Clients.push_back(std::move(owned));
    ListBox4->Items()->Add(IntToStr(RowIndex));
    ListBox5->Items()->Add(IntToStr(Seconds));

    try {
        client.Tag = RowIndex;
        if (request.Row)
            request.Row->SetImageIndex(RowImageRunning);
        client.Reference = Referer;
        // The form data comes fully encoded; only blanks in the installation's
        // own parts (the fixed parameters, the category value) are left.
        AnsiString data = Data;
        ReplaceAll(data, " ", "+", false);
        if (Method == "POST") {
            client.URL = URL;
            client.Stream = data;
            client.PostAsync();
        } else {
            client.URL = URL + "?" + data;
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

TLiveResult::TRequest* TLiveResult::FindRequest(const TObject* client, int* index)
{
    for (std::size_t i = 0; i < Clients.size(); ++i)
        if (Clients[i]->Client.get() == client) {
            if (index)
                *index = static_cast<int>(i);
            return Clients[i].get();
        }
    return nullptr;
}

void TLiveResult::HeaderEnded(TSTHttpCli* client)
{
    TRequest* request = FindRequest(client);
    if (!request || request->Result)
        return;
    request->Result = ResultOfHeader(client->HttpStatus(), client->StatusText());
    // The status line is all a submission needs; the body is never read.
    client->Abort();
}

void TLiveResult::SubmitRequestDone(TObject* Sender)
{
    int index = -1;
    TRequest* request = FindRequest(Sender, &index);
    if (!request)
        return;  // ended already
    FInDone.push_back(request);
    std::unique_ptr<TRequest> owned = std::move(Clients[std::size_t(index)]);
    Clients.erase(Clients.begin() + index);
    ListBox4->Items()->Delete(index);
    ListBox5->Items()->Delete(index);

    // A request that ends without a result of its own failed before any
    // header: its client's status and text tell why.
    const SubmissionResult result =
        request->Result ? *request->Result
                        : SubmissionResult{request->Client->HttpStatus(), request->Client->StatusText()};
    // The rows go with the main window, which may close while requests run.
    if (request->Row && SubmitMain) {
        SetCell(*request->Row, ResultColumn, result.text);
        request->Row->SetImageIndex(RowImageOfResult(result.status));
        SetCell(*request->Row, DateColumn, DateTimeToStr(Now()));
    }
    if (SubmitMain) {
        switch (ClassifyResult(result.status)) {
        case ResultClass::Successful:
            RaiseLed(*SubmitMain->LedLabel2, request->Sites);
            break;
        case ResultClass::Failed:
            RaiseLed(*SubmitMain->LedLabel3, request->Sites);
            break;
        case ResultClass::TimedOut:
            RaiseLed(*SubmitMain->LedLabel4, request->Sites);
            break;
        }
    }
    FinishLater(std::move(owned));

    if (SubmitMain)
        SubmitMain->SubmissionDone();
    FInDone.pop_back();
    if (!FFinished.empty() && !FFreePosted) {
        FFreePosted = true;
        PostMessage(FWindow, WM_FREE_FINISHED, 0, 0);
    }
}

void TLiveResult::FinishLater(std::unique_ptr<TRequest> request)
{
    // The client is inside its own done event now; it is freed from the
    // message loop, after that event has returned.
    request->Client->OnHeaderEnd = nullptr;
    request->Client->OnRequestDone = nullptr;
    FFinished.push_back(std::move(request));
}

void TLiveResult::WndProc(TMessage& msg)
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
        SubmitRequestDone(reinterpret_cast<TObject*>(msg.LParam));
        return;
    }
}

void TLiveResult::StopSubmissions()
{
    // The done events come afterwards as messages, so the list does not
    // change during the walk. A request whose result is in already keeps it.
    for (const auto& request : Clients) {
        if (request->Result)
            continue;
        request->Result = StoppedResult;
        request->Client->Abort();
    }
}

void TLiveResult::Timer5Timer(TObject*)
{
    // The counter starts at the stored Timeout, which may be as large as an
    // int holds: it stops there rather than wrap (such a timeout never ends
    // a request anyway).
    if (Seconds < std::numeric_limits<int>::max())
        ++Seconds;
    if (!SubmitMain)
        return;
    // The oldest request still waiting for its result; at most one per tick.
    for (const auto& request : Clients) {
        if (request->Result)
            continue;
        if (static_cast<long long>(request->StartSecond) < static_cast<long long>(Seconds) - SubmitMain->Timeout) {
            request->Result = TimeoutResult;
            request->Client->Abort();
        }
        break;
    }
}

void TLiveResult::RowDeleted(TListItem* row)
{
    // Called while the row is being deleted: the rows after it move up by
    // one once it is gone. A request whose row is gone shows -1.
    const int gone = row->Index();
    for (std::size_t i = 0; i < Clients.size(); ++i) {
        TRequest& request = *Clients[i];
        if (request.Row == row)
            request.Row = nullptr;
        int index = request.Row ? request.Row->Index() : -1;
        if (index > gone)
            --index;
        if (request.Client->Tag != index) {
            request.Client->Tag = index;
            ListBox4->Items()->SetStrings(static_cast<int>(i), IntToStr(index));
        }
    }
}
