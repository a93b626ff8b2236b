// The live submission window: sends the submission requests, shows them
// running, and edits the two submission options Timeout and Ports.
//
// Every request has its own client. Its result is taken from the status line
// as soon as the header has arrived, the transfer is aborted there (the body
// is never read), and the request-done event writes the result into the
// engine's row and hands the free place back to the dispatcher.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "classlib/Forms.h"
#include "platform/Messages.h"
#include "workbench/ReportData.h"
#include "workbench/SubmitData.h"

class TComboBox;
class TGroupBox;
class TImgBtn;
class TListBox;
class TListItem;
class TMemoryStream;
class TSTHttpCli;
class TSkinForm;
class TTimer;
class TTranPanel;

class TLiveResult : public TForm {
public:
    explicit TLiveResult(TComponent* AOwner);
    ~TLiveResult() override;

    TTranPanel* TranPanel1;
    TGroupBox* GroupBox1;
    TComboBox* TimeOuts;  // "Timeout in sec"
    TGroupBox* GroupBox2;
    TComboBox* Ports;     // "Submit on how many Ports"
    TImgBtn* Button1;     // store the options
    TImgBtn* Button3;     // closes the window
    TListBox* ListBox4;   // engine rows of the running requests
    TListBox* ListBox5;   // their start seconds
    TTimer* Timer5;
    TSkinForm* SkinForm1;
    TSTHttpCli* HttpCli1;  // holds the proxy settings; sends nothing

    // One running request.
    struct TRequest {
        std::unique_ptr<TSTHttpCli> Client;
        std::unique_ptr<TMemoryStream> PostStream;
        TListItem* Row = nullptr;  // nullptr once its row was deleted
        int StartSecond = 0;
        long long Sites = 1;       // the sites its row stands for (a batch counts N)
        // Set at header end, time-out, stop or a failed start; kept until the
        // request's own done event writes it.
        std::optional<SubmissionResult> Result;
    };
    // The running requests, in start order. ListBox4 and ListBox5 hold their
    // row indexes and start seconds at the same positions.
    std::vector<std::unique_ptr<TRequest>> Clients;
    // Second counter of the run: set to Timeout when a project starts, one up per Timer5 tick.
    int Seconds = 0;

    // Starts one request for the engine row. Called by the dispatcher, which
    // has counted it in flight.
    void SubmitRequest(const AnsiString& URL, const AnsiString& Data, const AnsiString& Referer,
                       const AnsiString& Method, int RowIndex);
    void SubmitRequestDone(TObject* Sender);
    // Aborts every running request that has no result yet with "Submission Stopped".
    void StopSubmissions();
    void Timer5Timer(TObject* Sender);
    void Button1Click(TObject* Sender);
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);

    int RunningCount() const { return static_cast<int>(Clients.size()); }
    // An engine row is being deleted: a request for it still runs, but its
    // result no longer goes into any row, and ListBox4 follows the new indexes.
    void RowDeleted(TListItem* row);

    // The proxy the submission requests go through (LoadProxySettings hands
    // it over). Switched off, every request from the next one on goes
    // direct, and HttpCli1 holds no proxy.
    void SetSubmitProxy(const ProxySettings& settings);
    const ProxySettings& SubmitProxy() const { return FProxy; }

private:
    void HeaderEnded(TSTHttpCli* client);
    TRequest* FindRequest(const TObject* client, int* index = nullptr);
    void WndProc(TMessage& msg);
    void FinishLater(std::unique_ptr<TRequest> request);

    HWND FWindow = 0;
    ProxySettings FProxy;
    // Requests whose done event has run; freed from the message loop once
    // their own done handler has returned.
    std::vector<std::unique_ptr<TRequest>> FFinished;
    std::vector<const TRequest*> FInDone;  // requests whose done handler is on the stack
    bool FFreePosted = false;
};

extern TLiveResult* LiveResult;
