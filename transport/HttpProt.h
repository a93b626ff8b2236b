// The HTTP/1.0 client: one request at a time over its own TWSocket, directly
// or through an HTTP proxy, with basic authentication, cookies, byte ranges,
// POST bodies sent in paced blocks and relocations. The end of each request
// comes from the message loop as OnRequestDone.
//
// One engine (TCustomHttpCli) serves the three builds of the client: THttpCli
// here, TSTHttpCli (StHttpProt) that the submission window uses, and the
// updater's THttpCli (UpdHttpProt). What differs between them is one row of
// THttpBuild each; everything else is shared.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "classlib/Classes.h"
#include "classlib/Dates.h"
#include "platform/Messages.h"
#include "transport/HttpUtil.h"

class TWSocket;

enum THttpRequest { httpGET = 1, httpPOST = 2, httpHEAD = 3 };

enum THttpState {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpAborting,
};

// The Error of OnRequestDone: 0 for a finished request, a Winsock error number
// for a failed lookup, connect or a reset, or one of these.
constexpr std::uint16_t httperrAborted = 3;          // "Connection aborted on request"
constexpr std::uint16_t httperrLineTooLong = 4;      // "HTTP line too long"
constexpr std::uint16_t httperrNoReply = 5;          // the server closed without a reply
constexpr std::uint16_t httperrIncomplete = 6;       // the reply ended short of its end
constexpr std::uint16_t httperrRelocation = 7;       // "Too many relocations", "Invalid relocation address",
                                                     // "Relocation to another protocol than http"
constexpr std::uint16_t httperrBadReply = 8;         // a status or length that is not a number
constexpr std::uint16_t httperrHeaderTooLarge = 9;   // more header lines than MaxHeaderLines

// What differs between the builds of the client.
struct THttpBuild {
    const char* name;
    bool splitterHasBase;           // SplitURL resolves "./" and "../" (else SplitURLNoBase)
    bool documentNameCutsQuery;     // the document name is cut at "?" before anything else
    bool zeroLengthEndsAtHeader;    // content-length 0 ends the request at the empty line
    bool postBecomesGet;            // a relocated POST is fetched with GET
    bool restartClearsHeaderLines;  // a relocation clears HeaderLines
    bool headerEndOnEarlyClose;     // OnHeaderEnd when the connection ends inside the header
    bool bindsLocalAddr;            // LocalAddr is given to the socket
};

extern const THttpBuild HttpBuildMain;        // THttpCli of the main program
extern const THttpBuild HttpBuildSubmission;  // TSTHttpCli
extern const THttpBuild HttpBuildUpdater;     // the updater's THttpCli

using THttpDataEvent = std::function<void(TObject* Sender, const char* Buffer, int Len)>;
using THttpRequestDone = std::function<void(TObject* Sender, THttpRequest RqType, std::uint16_t Error)>;
using THttpCommandEvent = std::function<void(TObject* Sender, CodePageString& S)>;
using THttpCookieEvent = std::function<void(TObject* Sender, const CodePageString& Data, bool& Accept)>;
using THttpErrorEvent = std::function<void(TObject* Sender, std::uint16_t Error)>;

class TCustomHttpCli : public TComponent {
public:
    // Window messages of the client (WM_USER + 1 to 3). WParam carries the
    // number of the request they belong to, so a notice of an earlier request
    // never reaches a later one.
    static constexpr UINT WM_HTTP_REQUEST_DONE = WM_USER + 1;
    static constexpr UINT WM_HTTP_SET_READY = WM_USER + 2;
    static constexpr UINT WM_HTTP_NEXT_STEP = WM_USER + 3;

    static constexpr int LineBufferSize = 8193;  // at most 8192 bytes held
    static constexpr int SendBufferSize = 8193;  // one POST block
    static constexpr int MaxRelocations = 10;
    static constexpr int MaxHeaderLines = 500;

    TCustomHttpCli(TComponent* AOwner, const THttpBuild& build);
    ~TCustomHttpCli() override;

    // Published.
    CodePageString URL;
    CodePageString Proxy;
    CodePageString ProxyPort = "80";
    CodePageString Sender;
    CodePageString Agent = "Mozilla/3.0 (compatible)";
    CodePageString Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    CodePageString Reference;
    CodePageString Username;
    CodePageString Password;
    CodePageString ProxyUsername;
    CodePageString ProxyPassword;
    bool NoCache = false;
    TDateTime ModifiedSince = 0;
    CodePageString Cookie;
    CodePageString ContentTypePost = "application/x-www-form-urlencoded";
    CodePageString ContentRangeBegin;
    CodePageString ContentRangeEnd;
    bool MultiThreaded = false;

    TNotifyEvent OnTrace;  // never fired
    TNotifyEvent OnSessionConnected;
    TNotifyEvent OnHeaderData;
    THttpCommandEvent OnCommand;
    TNotifyEvent OnHeaderBegin;
    TNotifyEvent OnHeaderEnd;
    TNotifyEvent OnRequestHeaderBegin;
    TNotifyEvent OnRequestHeaderEnd;
    TNotifyEvent OnDocBegin;
    THttpDataEvent OnDocData;
    TNotifyEvent OnDocEnd;
    TNotifyEvent OnSendBegin;
    THttpDataEvent OnSendData;
    TNotifyEvent OnSendEnd;
    TNotifyEvent OnStateChange;
    THttpRequestDone OnRequestDone;
    TNotifyEvent OnLocationChange;
    THttpCookieEvent OnCookie;
    // Unpublished: a line received while the client waits for neither a header nor a body.
    THttpErrorEvent OnDataAvailable;

    // Caller-owned streams: the body goes to ReceiveStream; a POST body is
    // read from PostStream's position to its end.
    TStream* ReceiveStream = nullptr;
    TStream* PostStream = nullptr;

    // Results of the last request.
    int HttpStatus() const { return FHttpStatus; }
    const CodePageString& StatusText() const { return FStatusText; }
    // The byte counts are 64 bits: a download or a POST may pass 2 GiB.
    std::int64_t DocLength() const { return FDocLength; }  // -1 when the reply gave none
    std::int64_t ReceivedBytes() const { return FReceivedBytes; }
    std::int64_t SentBytes() const { return FSentBytes; }
    const CodePageString& ResponseContentType() const { return FResponseContentType; }
    const CodePageString& DocumentName() const { return FDocumentName; }
    const CodePageString& AcceptRanges() const { return FAcceptRanges; }
    TStrings& HeaderLines() { return FHeaderLines; }
    TStrings& AuthenticateList() { return FAuthenticateList; }
    THttpState State() const { return FState; }
    const THttpBuild& Build() const { return FBuild; }
    // The absolute URL being fetched, updated by relocations.
    const CodePageString& EffectiveURL() const { return FEffectiveURL; }

    // Ends the running request: OnRequestDone(kind, 3) follows from the
    // message loop, with status 404 "Connection aborted on request".
    void Abort();

protected:
    // The request operations each build publishes.
    void StartRequest(THttpRequest Kind);
    // Starts a request and runs the message loop until it has ended; raises
    // EHttpException(StatusText, HttpStatus) for a status of 400 or more.
    void RequestAndWait(THttpRequest Kind);

    CodePageString LocalAddr = "0.0.0.0";  // published by the builds that bind it

    virtual void AddRequestLine(const CodePageString& S);
    virtual void StartConnection();
    virtual void CloseConnection();
    virtual void ClearResponse();
    virtual void Restart();
    virtual void FireCookie(const CodePageString& Data, bool& Accept);
    virtual void FireSessionConnected();
    virtual void FireRequestHeaderBegin();
    virtual void FireRequestHeaderEnd();
    virtual void FireHeaderBegin();
    virtual void FireHeaderEnd();
    virtual void FireDocBegin();
    virtual void FireDocData(const char* Buffer, int Len);
    virtual void FireDocEnd();
    virtual void FireSendBegin();
    virtual void FireSendData(const char* Buffer, int Len);
    virtual void FireSendEnd();

    // The one step through which every state change goes.
    void SetState(THttpState NewState);

private:
    enum class TLineHandler { None, Header, Body };

    void WndProc(TMessage& Msg);
    void Post(UINT Msg);
    // True while the request numbered `serial` is still running, i.e. no event
    // handler ended or replaced it.
    bool Running(std::uint32_t serial) const;

    void SocketDnsLookupDone(std::uint16_t Error);
    void SocketSessionConnected(std::uint16_t Error);
    void SocketDataAvailable(std::uint16_t Error);
    void SocketDataSent(std::uint16_t Error);
    void SocketSessionClosed(std::uint16_t Error);
    void ConnectionEnded(std::uint16_t Error);

    void SendRequest(const CodePageString& Method);
    void SendBodyBlock();
    void HandleLine();
    void HeaderLine(const CodePageString& Line);
    void HeaderField(const CodePageString& Name, const CodePageString& Value);
    void HeaderEnd(std::uint32_t serial);
    void BodyData(const char* Data, int Len);
    void ComputeRelocation(const CodePageString& Location);
    void Relocate(std::uint32_t serial);
    void FailRequest(std::uint16_t Error, const CodePageString& Text);
    void CloseSocket();
    void Split(const CodePageString& URL, CodePageString& Proto, CodePageString& User, CodePageString& Password,
               CodePageString& Host, CodePageString& Port, CodePageString& Path) const;

    const THttpBuild& FBuild;
    HWND FWindow = 0;
    std::unique_ptr<TWSocket> FSocket;
    THttpState FState = httpReady;
    std::uint32_t FSerial = 0;  // number of the current request; 0 before the first

    bool FConnected = false;
    bool FLocationSeen = false;
    CodePageString FLocationRefusal;  // why the last "location" line is not followed; empty when it is
    bool FInsideHeader = false;
    bool FSendingBody = false;
    bool FRelocating = false;      // the socket's close leads to Restart
    bool FClosedByUs = false;      // the client closed the connection itself
    bool FFailed = false;          // a failure is noted; it wins over later ones
    bool FConnectionEnded = false; // the closed handling ran for this connection
    bool FDoneFired = false;
    bool FReplyDone = false;       // the reply ended at its header; only Ready is to come
    int FRelocations = 0;

    CodePageString FTargetHost;
    CodePageString FTargetPort;
    CodePageString FHostHeader;
    CodePageString FEffectiveURL;
    CodePageString FPathToSend;
    CodePageString FRequestUser;      // credentials from the URL, for this request only
    CodePageString FRequestPassword;
    THttpRequest FRequestKind = httpGET;
    std::uint16_t FDoneError = 0;
    std::int64_t FPostStart = 0;  // where PostStream's body starts, for a repeated POST

    std::array<char, SendBufferSize> FSendBuffer{};
    TMemoryStream FRequestStream;
    std::array<char, LineBufferSize> FLineBuffer{};
    int FLineLen = 0;
    CodePageString FCurrentLine;
    int FHeaderLineCount = 0;
    int FBodyChunkCount = 0;
    TLineHandler FLineHandler = TLineHandler::None;

    int FHttpStatus = 0;
    CodePageString FStatusText;
    std::int64_t FDocLength = -1;
    std::int64_t FReceivedBytes = 0;
    std::int64_t FSentBytes = 0;
    CodePageString FResponseContentType;
    CodePageString FDocumentName;
    CodePageString FAcceptRanges;
    TStringList FHeaderLines;
    TStringList FAuthenticateList;
};

// The client of the main program: page import, spider, ranking queries, the
// custom engine wizard and the database update.
class THttpCli : public TCustomHttpCli {
public:
    explicit THttpCli(TComponent* AOwner);

    using TCustomHttpCli::LocalAddr;

    // Starts a GET; the end arrives as OnRequestDone(httpGET, Error).
    void GetAsync();
    // A GET that runs the message loop until it has ended, and raises
    // EHttpException(StatusText, HttpStatus) for a status of 400 or more,
    // local failures included (404). Abort ends it from a timer or a button.
    void Get();
};
