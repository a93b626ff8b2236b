// The live submission window: shows the submission run's requests running,
// ticks the run's second counter, and edits the two submission options
// Timeout and Ports. The run (TSubmissionRun, held by the main window) sends
// the requests and keeps the options; this window reaches both through it.
#pragma once

#include <cstddef>
#include <vector>

#include "classlib/Forms.h"
#include "workbench/ReportData.h"
#include "workbench/SubmitData.h"

class TComboBox;
class TGroupBox;
class TImgBtn;
class TListBox;
class TListItem;
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

    // The run's second counter: Timeout when a project starts, one up per Timer5 tick.
    int Seconds() const;

    // The run has started a request for an engine row (nullptr: its row
    // is gone) at a second, and ended the one at a place in start order.
    // ListBox4 and ListBox5 follow: the rows' indexes and the start seconds
    // of the running requests, in start order.
    void RequestStarted(TListItem* row, int second);
    void RequestEnded(std::size_t place);
    void Timer5Timer(TObject* Sender);
    void Button1Click(TObject* Sender);
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);

    // The run's requests started and not yet ended.
    int RunningCount() const;
    // An engine row is being deleted: a request for it still runs, but
    // ListBox4 shows -1 for it and follows the new indexes of the others.
    void RowDeleted(TListItem* row);

    // The proxy of the submission requests (LoadProxySettings hands it to
    // the run and here). HttpCli1 holds it; switched off, it holds none.
    void SetSubmitProxy(const ProxySettings& settings);
    const ProxySettings& SubmitProxy() const { return FProxy; }

private:
    ProxySettings FProxy;
    std::vector<TListItem*> FRunningRows;  // the rows of ListBox4's lines
};

extern TLiveResult* LiveResult;
