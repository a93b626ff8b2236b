#include "transport/HttpProt.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "classlib/Files.h"
#include "platform/StateChecks.h"
#include "transport/WSocket.h"

// What the builds do differently; everything else is one engine.
//                                  name                 splitter  document  zero-length  POST     relocation  header end  binds
//                                                       has base  name cuts ends at the  becomes  clears      on early    LocalAddr
//                                                                 query     header       GET      header      close
const THttpBuild HttpBuildMain{      "THttpCli",         true,     true,     true,        true,    true,       true,       true};
const THttpBuild HttpBuildSubmission{"TSTHttpCli",       false,    false,    false,       false,   false,      false,      false};
const THttpBuild HttpBuildUpdater{   "updater THttpCli", false,    false,    false,       false,   false,      false,      false};

namespace {

constexpr std::uint16_t ErrInvalidArgument = winsock::WSAEINVAL;

constexpr const char* HttpStateNames[] = {"httpReady",         "httpNotConnected",  "httpConnected",
                                            "httpDnsLookup",     "httpDnsLookupDone", "httpWaitingHeader",
                                            "httpWaitingBody",   "httpAborting"};
static_assert(std::size(HttpStateNames) == httpAborting + 1);

// The steps a request may take. Ready is entered from any other state (an
// end, a failure or an abort); a relocation goes from WaitingHeader back to
// DnsLookup; an abort may come at any step of a running request.
constexpr TStateStep<THttpState> HttpSteps[] = {
    {httpNotConnected, httpReady},       {httpConnected, httpReady},        {httpDnsLookup, httpReady},
    {httpDnsLookupDone, httpReady},      {httpWaitingHeader, httpReady},    {httpWaitingBody, httpReady},
    {httpAborting, httpReady},           {httpReady, httpNotConnected},     {httpNotConnected, httpDnsLookup},
    {httpWaitingHeader, httpDnsLookup},  {httpDnsLookup, httpDnsLookupDone}, {httpDnsLookupDone, httpConnected},
    {httpConnected, httpWaitingHeader},  {httpWaitingHeader, httpWaitingBody},
    {httpNotConnected, httpAborting},    {httpConnected, httpAborting},     {httpDnsLookup, httpAborting},
    {httpDnsLookupDone, httpAborting},   {httpWaitingHeader, httpAborting}, {httpWaitingBody, httpAborting},
};

constexpr TStateTable<THttpState> HttpStates{"HTTP client", HttpStateNames, HttpSteps};

CodePageString PortSuffix(const CodePageString& port)
{
    return port.empty() ? CodePageString() : ":" + port;
}

// "http://host", with ":port" unless it is the default.
CodePageString HttpOrigin(const CodePageString& host, const CodePageString& port)
{
    return "http://" + host + (port.empty() || port == "80" ? CodePageString() : ":" + port);
}

CodePageString WinsockFailureText(std::uint16_t error)
{
    return WinsockErrorText(error) + " (Error #" + IntToStr(error) + ")";
}

}  // namespace

TCustomHttpCli::TCustomHttpCli(TComponent* AOwner, const THttpBuild& build)
    : TComponent(AOwner), FBuild(build)
{
    FWindow = AllocateHWnd([this](TMessage& msg) { WndProc(msg); });
    FSocket = std::make_unique<TWSocket>(nullptr);
    FSocket->OnSessionConnected = [this](TObject*, std::uint16_t error) { SocketSessionConnected(error); };
    FSocket->OnDataAvailable = [this](TObject*, std::uint16_t error) { SocketDataAvailable(error); };
    FSocket->OnDataSent = [this](TObject*, std::uint16_t error) { SocketDataSent(error); };
    FSocket->OnDnsLookupDone = [this](TObject*, std::uint16_t error) { SocketDnsLookupDone(error); };
    FSocket->OnSessionClosed = [this](TObject*, std::uint16_t error) { SocketSessionClosed(error); };
}

TCustomHttpCli::~TCustomHttpCli()
{
    // The socket may still report a close while it goes; nobody is left to hear it.
    FSocket->OnSessionConnected = nullptr;
    FSocket->OnDataAvailable = nullptr;
    FSocket->OnDataSent = nullptr;
    FSocket->OnDnsLookupDone = nullptr;
    FSocket->OnSessionClosed = nullptr;
    FSocket.reset();
    DeallocateHWnd(FWindow);
}

// --- state and messages --------------------------------------------------------

void TCustomHttpCli::SetState(THttpState NewState)
{
    if (!TENVAREL_STEP(HttpStates, FState, NewState))
        return;
    if (NewState == httpReady) {
        // The request is over: its connection goes too, so that the next
        // request starts on a closed socket whatever the server still sends.
        CloseSocket();
        Post(WM_HTTP_REQUEST_DONE);
    }
    FireEvent(OnStateChange, this);
}

void TCustomHttpCli::Post(UINT Msg)
{
    PostMessage(FWindow, Msg, FSerial, 0);
}

bool TCustomHttpCli::Running(std::uint32_t serial) const
{
    return serial == FSerial && FState != httpReady && FState != httpAborting && !FFailed;
}

void TCustomHttpCli::WndProc(TMessage& Msg)
{
    const bool current = Msg.WParam == FSerial;
    switch (Msg.Msg) {
    case WM_HTTP_REQUEST_DONE:
        if (current && FState == httpReady && !FDoneFired) {
            FDoneFired = true;
            FireEvent(OnRequestDone, this, FRequestKind, FDoneError);  // may free this object: nothing after it
        }
        return;
    case WM_HTTP_SET_READY:
        if (current && FState != httpReady)
            SetState(httpReady);
        return;
    case WM_HTTP_NEXT_STEP:
        if (current && Running(FSerial))
            StartConnection();
        return;
    default:
        return;
    }
}

// --- starting a request --------------------------------------------------------

void TCustomHttpCli::Split(const CodePageString& url, CodePageString& proto, CodePageString& user, CodePageString& password,
                           CodePageString& host, CodePageString& port, CodePageString& path) const
{
    if (FBuild.splitterHasBase)
        SplitURL(url, proto, user, password, host, port, path);
    else
        SplitURLNoBase(url, proto, user, password, host, port, path);
}

void TCustomHttpCli::ClearResponse()
{
    FHeaderLines.Clear();
    FAuthenticateList.Clear();
    FDoneError = 0;
    FDocumentName.clear();
    FHttpStatus = 0;
    FStatusText.clear();
    FReceivedBytes = 0;
    FSentBytes = 0;
    FHeaderLineCount = 0;
    FBodyChunkCount = 0;
    FDocLength = -1;
    FResponseContentType.clear();
    FSendingBody = false;
    FEffectiveURL = URL;
}

void TCustomHttpCli::StartRequest(THttpRequest Kind)
{
    if (FState != httpReady)
        throw EHttpException("HTTP component is busy", 1);
    if (Kind == httpPOST && !PostStream)
        throw EHttpException("HTTP component has nothing to post", 2);

    ++FSerial;
    const std::uint32_t serial = FSerial;
    FDoneFired = false;
    FFailed = false;
    FReplyDone = false;
    FRelocating = false;
    FClosedByUs = false;
    FConnected = false;
    FLocationSeen = false;
    FLocationRefusal.clear();
    FInsideHeader = false;
    FRelocations = 0;
    FLineLen = 0;
    FLineHandler = TLineHandler::None;
    FRequestUser.clear();
    FRequestPassword.clear();
    // A socket left open by the previous request is shut before this one starts.
    CloseSocket();
    FSocket->OnSessionClosed = [this](TObject*, std::uint16_t error) { SocketSessionClosed(error); };

    FRequestKind = Kind;
    ClearResponse();
    SetState(httpNotConnected);
    if (!Running(serial))
        return;

    CodePageString proto, user, password, host, port, path;
    if (Proxy.empty()) {
        path = FPathToSend;  // a relative URL resolves against the previous request's path
        Split(URL, proto, user, password, host, port, path);
        FPathToSend = RequestPath(path);
        FHostHeader = host;
        if (port.empty())
            port = "80";
        FTargetHost = host;
        FTargetPort = port;
    } else {
        Split(URL, proto, user, password, host, port, path);
        FHostHeader = host;
        // The absolute URL as it came: a proxy takes one without a path.
        FPathToSend = (proto.empty() ? CodePageString("http") : proto) + "://" + host + PortSuffix(port) + path;
        CodePageString pProto, pUser, pPassword, pHost, pPort, pPath;
        Split(Proxy, pProto, pUser, pPassword, pHost, pPort, pPath);
        FTargetHost = pHost;
        FTargetPort = pPort.empty() ? ProxyPort : pPort;
    }
    FRequestUser = user;
    FRequestPassword = password;
    if (Kind == httpPOST)
        FPostStart = PostStream->Position();

    FDocumentName = DocumentNameOfPath(path, FBuild.documentNameCutsQuery);
    StartConnection();
}

void TCustomHttpCli::StartConnection()
{
    const std::uint32_t serial = FSerial;
    FConnectionEnded = false;
    FClosedByUs = false;
    SetState(httpDnsLookup);
    if (!Running(serial))
        return;
    if (FTargetHost.empty()) {
        FailRequest(ErrInvalidArgument, "can't resolve hostname to IP address");
        return;
    }
    try {
        if (FBuild.bindsLocalAddr)
            FSocket->SetLocalAddr(LocalAddr);
        FSocket->LookupHost(FTargetHost);
    } catch (const Exception& e) {
        // A name the lookup refuses or a local address that is no address:
        // the request ends with the reason instead of staying busy.
        if (Running(serial) && FState == httpDnsLookup)
            FailRequest(ErrInvalidArgument, e.Message);
    }
}

void TCustomHttpCli::RequestAndWait(THttpRequest Kind)
{
    StartRequest(Kind);
    const std::uint32_t serial = FSerial;
    // Abort sets Ready at once, so a timer or a Cancel button always ends the wait.
    while (FState != httpReady && serial == FSerial) {
        if (MultiThreaded)
            FSocket->PumpMessages();
        else
            WaitAndProcessMessages(50);
    }
    if (FHttpStatus >= 400)
        throw EHttpException(FStatusText, static_cast<std::uint16_t>(FHttpStatus));
}

void TCustomHttpCli::Abort()
{
    if (FState == httpReady) {
        CloseSocket();
        return;
    }
    const bool wasLookup = FState == httpDnsLookup;
    SetState(httpAborting);
    if (wasLookup)
        FSocket->CancelHostLookup();
    FHttpStatus = 404;
    FStatusText = "Connection aborted on request";
    FDoneError = httperrAborted;
    FFailed = true;
    if (wasLookup)
        ConnectionEnded(0);
    else
        CloseSocket();
    if (FState != httpReady)
        SetState(httpReady);
}

// --- socket events -------------------------------------------------------------

void TCustomHttpCli::SocketDnsLookupDone(std::uint16_t Error)
{
    if (FState != httpDnsLookup)
        return;  // an abort cancelled it
    const std::uint32_t serial = FSerial;
    if (Error != 0) {
        FailRequest(Error, "can't resolve hostname to IP address");
        return;
    }
    SetState(httpDnsLookupDone);
    if (!Running(serial))
        return;
    try {
        FSocket->SetAddr(FSocket->DnsResult());
        if (FBuild.bindsLocalAddr)
            FSocket->SetLocalAddr(LocalAddr);
        FSocket->SetPort(FTargetPort);
        FSocket->SetProto("tcp");
        FSocket->MultiThreaded = MultiThreaded;
        FSocket->Connect();
    } catch (const Exception& e) {
        // A port that is no port, or a socket the system refuses: the request
        // ends here with the reason, instead of hanging in DnsLookupDone.
        if (Running(serial)) {
            const int code = FSocket->LastError();
            FailRequest(code > 0 ? static_cast<std::uint16_t>(code) : ErrInvalidArgument, e.Message);
        }
    }
}

void TCustomHttpCli::SocketSessionConnected(std::uint16_t Error)
{
    if (FState != httpDnsLookupDone)
        return;
    const std::uint32_t serial = FSerial;
    if (Error != 0) {
        FailRequest(Error, WinsockFailureText(Error));
        return;
    }
    FConnected = true;
    SetState(httpConnected);
    if (!Running(serial))
        return;
    FireSessionConnected();
    if (!Running(serial))
        return;
    FLineHandler = TLineHandler::Header;
    FLineLen = 0;
    SetState(httpWaitingHeader);
    if (!Running(serial))
        return;
    switch (FRequestKind) {
    case httpPOST:
        SendRequest("POST");
        if (!Running(serial))
            return;
        FireSendBegin();
        if (!Running(serial))
            return;
        FSentBytes = 0;
        FSendingBody = true;
        SendBodyBlock();
        break;
    case httpHEAD:
        SendRequest("HEAD");
        break;
    default:
        SendRequest("GET");
        break;
    }
}

void TCustomHttpCli::SocketDataSent(std::uint16_t)
{
    if (FSendingBody && Running(FSerial))
        SendBodyBlock();
}

void TCustomHttpCli::SocketSessionClosed(std::uint16_t Error)
{
    if (FRelocating) {
        FRelocating = false;
        FConnectionEnded = true;
        Restart();
        return;
    }
    ConnectionEnded(Error);
}

void TCustomHttpCli::ConnectionEnded(std::uint16_t Error)
{
    FConnected = false;
    if (FConnectionEnded || FState == httpReady)
        return;
    FConnectionEnded = true;
    const std::uint32_t serial = FSerial;

    // A connection that ends on the server's side must have brought a whole
    // reply: a reset, no reply at all, or a reply short of its header's end
    // or of its Content-Length is a failure, not a success with what came.
    if (!FFailed && !FClosedByUs && !FReplyDone && FState != httpAborting) {
        const bool inBody = FState == httpWaitingBody;
        // A HEAD reply, a 204 and a 304 end at their header: a Content-Length
        // there tells the size of a document that is not sent.
        const bool noBody = FRequestKind == httpHEAD || FHttpStatus == 204 || FHttpStatus == 304;
        const bool lengthReached = noBody || FDocLength < 0 || FReceivedBytes >= FDocLength;
        const bool bodyComplete = inBody && FDocLength >= 0 && lengthReached;
        if (Error != 0 && !bodyComplete)
            FailRequest(Error, WinsockFailureText(Error));
        else if (FHeaderLineCount == 0 && !inBody)
            FailRequest(httperrNoReply, "Connection closed without a reply");
        else if (!inBody || !lengthReached)
            FailRequest(httperrIncomplete, "Connection closed before the reply was complete");
        if (serial != FSerial || FState == httpReady)
            return;
    }

    if (FInsideHeader && FBuild.headerEndOnEarlyClose) {
        FireHeaderEnd();
        if (serial != FSerial || FState == httpReady)
            return;
    }
    if (FBodyChunkCount > 0) {
        FireDocEnd();
        if (serial != FSerial || FState == httpReady)
            return;
    }
    Post(WM_HTTP_SET_READY);
}

void TCustomHttpCli::FailRequest(std::uint16_t Error, const CodePageString& Text)
{
    if (FState == httpReady || FFailed)
        return;
    FFailed = true;
    FHttpStatus = 404;
    FStatusText = Text;
    FDoneError = Error;
    FRelocating = false;
    if (!FConnectionEnded) {
        CloseSocket();
        // A socket that never opened reports no close: end the request here.
        if (!FConnectionEnded)
            ConnectionEnded(0);
    }
}

void TCustomHttpCli::CloseSocket()
{
    FClosedByUs = true;
    if (FSocket->State() != wsClosed) {
        try {
            FSocket->Close();
        } catch (const Exception&) {
            // A close that fails leaves nothing to save: the socket is dropped.
            FSocket->Abort();
        }
    }
}

void TCustomHttpCli::CloseConnection()
{
    CloseSocket();
}

// --- the request ---------------------------------------------------------------

void TCustomHttpCli::AddRequestLine(const CodePageString& S)
{
    CodePageString line = S;
    FireEvent(OnCommand, this, line);
    if (!line.empty())
        FRequestStream.WriteBuffer(line.data(), static_cast<std::int64_t>(line.size()));
    FRequestStream.WriteBuffer("\r\n", 2);
}

void TCustomHttpCli::SendRequest(const CodePageString& Method)
{
    FRequestStream.Clear();
    FireRequestHeaderBegin();
    AddRequestLine(Method + " " + FPathToSend + " HTTP/1.0");
    if (!Sender.empty())
        AddRequestLine("From: " + Sender);
    if (!Accept.empty())
        AddRequestLine("Accept: " + Accept);
    if (!Reference.empty())
        AddRequestLine("Referer: " + Reference);
    if (FRequestKind == httpPOST && !ContentTypePost.empty())
        AddRequestLine("Content-Type: " + ContentTypePost);
    if (!Agent.empty())
        AddRequestLine("User-Agent: " + Agent);
    AddRequestLine("Host: " + FHostHeader);
    if (NoCache)
        AddRequestLine("Pragma: no-cache");
    if (FRequestKind == httpPOST)
        AddRequestLine("Content-Length: " + IntToStr(std::max<std::int64_t>(0, PostStream->Size() - FPostStart)));
    if (ModifiedSince != 0)
        AddRequestLine("If-Modified-Since: " + RFC1123Date(ModifiedSince) + " GMT");
    const CodePageString user = FRequestUser.empty() ? Username : FRequestUser;
    const CodePageString password = FRequestPassword.empty() ? Password : FRequestPassword;
    if (!user.empty())
        AddRequestLine("Authorization: Basic " + Base64Of(user + ":" + password));
    if (!Proxy.empty() && !ProxyUsername.empty())
        AddRequestLine("Proxy-Authorization: Basic " + Base64Of(ProxyUsername + ":" + ProxyPassword));
    if (!Cookie.empty())
        AddRequestLine("Cookie: " + Cookie);
    if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
        AddRequestLine("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
        ContentRangeBegin.clear();
        ContentRangeEnd.clear();
    }
    FAcceptRanges.clear();
    FireRequestHeaderEnd();
    AddRequestLine("");
    FSocket->Send(FRequestStream.Memory(), static_cast<int>(FRequestStream.Size()));
    FRequestStream.Clear();
}

void TCustomHttpCli::SendBodyBlock()
{
    const std::int64_t count = PostStream ? PostStream->Read(FSendBuffer.data(), SendBufferSize) : 0;
    if (count <= 0) {
        FSendingBody = false;
        FireSendEnd();
        return;
    }
    FSentBytes += count;
    const std::uint32_t serial = FSerial;
    FireSendData(FSendBuffer.data(), static_cast<int>(count));
    if (Running(serial))
        FSocket->Send(FSendBuffer.data(), static_cast<int>(count));
}

// --- the response --------------------------------------------------------------

void TCustomHttpCli::SocketDataAvailable(std::uint16_t)
{
    const std::uint32_t serial = FSerial;
    try {
        const int room = LineBufferSize - 1 - FLineLen;
        const int count = room > 0 ? FSocket->Receive(FLineBuffer.data() + FLineLen, room) : 0;
        if (FSerial == 0 || count <= 0)
            return;
        FLineLen += count;
        FLineBuffer[FLineLen] = '\0';

        if (FState == httpWaitingBody) {
            const int len = FLineLen;
            FLineLen = 0;
            BodyData(FLineBuffer.data(), len);
            return;
        }
        while (FLineLen > 0 && serial == FSerial && !FFailed) {
            const char* start = FLineBuffer.data();
            const char* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<std::size_t>(FLineLen)));
            if (!lf) {
                if (FLineLen >= LineBufferSize - 1 && FState != httpWaitingBody)
                    // Nothing more fits and no line ends: the request ends
                    // here rather than waiting for room that never comes.
                    FailRequest(httperrLineTooLong, "HTTP line too long");
                break;
            }
            int lineLen = static_cast<int>(lf - start);
            const int consumed = lineLen + 1;
            if (lineLen > 0 && start[lineLen - 1] == '\r')
                --lineLen;
            FCurrentLine.assign(start, static_cast<std::size_t>(lineLen));
            FLineLen -= consumed;
            std::memmove(FLineBuffer.data(), FLineBuffer.data() + consumed, static_cast<std::size_t>(FLineLen));
            FLineBuffer[FLineLen] = '\0';
            if (FState == httpWaitingHeader || FState == httpWaitingBody) {
                if (FLineHandler == TLineHandler::None)
                    Post(WM_HTTP_SET_READY);
                else
                    HandleLine();
            } else {
                FireEvent(OnDataAvailable, this, 0);
            }
        }
    } catch (const EConvertError& e) {
        if (serial == FSerial)
            FailRequest(httperrBadReply, e.Message);
    } catch (const EHttpException& e) {
        if (serial == FSerial)
            FailRequest(e.ErrorCode, e.Message);
    } catch (const Exception& e) {
        // An exception here would die in the socket's receive loop and leave
        // the request running; it ends the request instead.
        if (serial == FSerial)
            FailRequest(httperrBadReply, e.Message);
    }
}

void TCustomHttpCli::HandleLine()
{
    if (FLineHandler == TLineHandler::Body)
        BodyData(FCurrentLine.data(), static_cast<int>(FCurrentLine.size()));
    else
        HeaderLine(FCurrentLine);
}

void TCustomHttpCli::HeaderLine(const CodePageString& Line)
{
    const std::uint32_t serial = FSerial;
    if (FHeaderLineCount == 0) {
        // After a relocation the moved reply's length and type stand until
        // the new reply begins; what its header does not say is not known
        // (a length kept from the moved reply would cut the new body).
        FDocLength = -1;
        FResponseContentType.clear();
        FireHeaderBegin();
        if (!Running(serial))
            return;
    }
    ++FHeaderLineCount;

    if (IsHeaderlessStart(Line)) {
        if (FResponseContentType.empty())
            FResponseContentType = "text/html";
        SetState(httpWaitingBody);
        if (!Running(serial))
            return;
        FLineHandler = TLineHandler::Body;
        FireHeaderEnd();
        if (!Running(serial))
            return;
        BodyData(Line.data(), static_cast<int>(Line.size()));
        return;
    }

    if (Line.empty()) {
        HeaderEnd(serial);
        return;
    }

    if (FHeaderLines.Count() >= MaxHeaderLines) {
        FailRequest(httperrHeaderTooLarge, "HTTP header too large");
        return;
    }
    FHeaderLines.Add(Line);
    CodePageString name, value;
    int status = 0;
    CodePageString reason;
    if (ParseStatusLine(Line, status, reason)) {
        FHttpStatus = status;
        FStatusText = reason;
    } else if (SplitHeaderField(Line, name, value)) {
        HeaderField(name, value);
        if (!Running(serial))
            return;
    }
    FireEvent(OnHeaderData, this);
    if (!Running(serial))
        return;
    if (FHttpStatus >= 400 && FState != httpReady)
        CloseSocket();
}

void TCustomHttpCli::HeaderField(const CodePageString& Name, const CodePageString& Value)
{
    if (Name == "location") {
        FLocationSeen = true;
        CodePageString location;
        FLocationRefusal.clear();
        if (!CleanLocation(Value, location)) {
            FLocationRefusal = "Invalid relocation address";
        } else if (NamesOtherScheme(location)) {
            // An https: or ftp: address fetched over plain HTTP would reach
            // the wrong server or port, or a page that relocates again.
            FLocationRefusal = "Relocation to another protocol than http";
        } else {
            ComputeRelocation(location);
        }
    } else if (Name == "content-length") {
        FDocLength = ReplyNumber(Value);
    } else if (Name == "content-range") {
        ParseContentRange(Value, ContentRangeBegin, ContentRangeEnd);
    } else if (Name == "accept-ranges") {
        FAcceptRanges = Value;
    } else if (Name == "content-type") {
        FResponseContentType = LowerCase(Value);
    } else if (Name == "www-authenticate") {
        FAuthenticateList.Add(Value);
    } else if (Name == "set-cookie") {
        bool accept = true;
        FireCookie(Value, accept);
    }
}

void TCustomHttpCli::HeaderEnd(std::uint32_t serial)
{
    if (FBuild.zeroLengthEndsAtHeader && FDocLength == 0) {
        FReplyDone = true;
        FireHeaderEnd();
        if (serial == FSerial && FState != httpReady)
            Post(WM_HTTP_SET_READY);
        return;
    }
    if (FLocationSeen) {
        Relocate(serial);
        return;
    }
    if (LowerCase(ExtractFileExt(FDocumentName)) == ".exe" && FResponseContentType == "text/html")
        ReplaceExtension(FDocumentName, "htm");
    SetState(httpWaitingBody);
    if (!Running(serial))
        return;
    FLineHandler = TLineHandler::Body;
    FireHeaderEnd();
    if (!Running(serial))
        return;
    if (FLineLen > 0) {
        const int len = FLineLen;
        FLineLen = 0;
        BodyData(FLineBuffer.data(), len);
    }
}

void TCustomHttpCli::BodyData(const char* Data, int Len)
{
    const std::uint32_t serial = FSerial;
    if (FBodyChunkCount == 0) {
        FireDocBegin();
        if (!Running(serial))
            return;
    }
    ++FBodyChunkCount;
    FReceivedBytes += Len;
    if (ReceiveStream)
        ReceiveStream->WriteBuffer(Data, Len);
    FireDocData(Data, Len);
}

// --- relocation ----------------------------------------------------------------

void TCustomHttpCli::ComputeRelocation(const CodePageString& Location)
{
    CodePageString proto, user, password, host, port, path;
    const CodePageString oldHost = FHostHeader;
    if (Proxy.empty()) {
        if (!Location.empty() && Location[0] == '/') {
            FPathToSend = Location;
            FEffectiveURL = HttpOrigin(FTargetHost, FTargetPort) + FPathToSend;
            return;
        }
        path = FPathToSend;
        Split(Location, proto, user, password, host, port, path);
        if (!proto.empty() && !host.empty()) {
            FTargetHost = host;
            FTargetPort = port.empty() ? CodePageString("80") : port;
            FHostHeader = host;
            FPathToSend = RequestPath(path);
            FEffectiveURL = proto + "://" + host + PortSuffix(port) + FPathToSend;
        } else if (path.empty()) {
            // A bare name: fetched by its absolute URL from the same server.
            FEffectiveURL = HttpOrigin(FHostHeader, FTargetPort) + "/" + host;
            FTargetHost = FHostHeader;
            FPathToSend = FEffectiveURL;
        } else if (!host.empty()) {
            FTargetHost = host;
            FTargetPort = port.empty() ? CodePageString("80") : port;
            FHostHeader = host;
            FPathToSend = RequestPath(path);
            FEffectiveURL = "http://" + host + PortSuffix(port) + FPathToSend;
        } else {
            // A relative location stays on the server and its port.
            FPathToSend = RequestPath(path);
            FEffectiveURL = HttpOrigin(FHostHeader, FTargetPort) + FPathToSend;
            FTargetHost = FHostHeader;
        }
    } else {
        // Through a proxy the socket keeps going to the proxy; only the
        // absolute URL of the request line changes.
        CodePageString cProto, cUser, cPassword, cHost, cPort, cPath;
        Split(FPathToSend, cProto, cUser, cPassword, cHost, cPort, cPath);
        if (cProto.empty())
            cProto = "http";
        if (!Location.empty() && Location[0] == '/') {
            FEffectiveURL = cProto + "://" + cHost + PortSuffix(cPort) + Location;
        } else {
            path = cPath;
            Split(Location, proto, user, password, host, port, path);
            if (!proto.empty() && !host.empty()) {
                FHostHeader = host;
                FEffectiveURL = proto + "://" + host + PortSuffix(port) + path;
            } else if (path.empty()) {
                FEffectiveURL = "http://" + FHostHeader + PortSuffix(cPort) + "/" + host;
            } else if (!host.empty()) {
                FHostHeader = host;
                FEffectiveURL = "http://" + host + PortSuffix(port) + path;
            } else {
                FEffectiveURL = cProto + "://" + cHost + PortSuffix(cPort) + path;
            }
        }
        FPathToSend = FEffectiveURL;
    }
    // Credentials that came with the URL are not handed to another host.
    if (!SameText(oldHost, FHostHeader)) {
        FRequestUser.clear();
        FRequestPassword.clear();
    }
}

void TCustomHttpCli::Relocate(std::uint32_t serial)
{
    FireHeaderEnd();
    if (!Running(serial))
        return;
    if (!FLocationRefusal.empty()) {
        FailRequest(httperrRelocation, FLocationRefusal);
        return;
    }
    if (++FRelocations > MaxRelocations) {
        FailRequest(httperrRelocation, "Too many relocations");
        return;
    }
    FLineLen = 0;
    FHeaderLineCount = 0;
    FBodyChunkCount = 0;
    FRelocating = true;
    FSocket->OnSessionClosed = [this](TObject*, std::uint16_t error) { SocketSessionClosed(error); };
    CloseSocket();
    if (FRelocating) {
        // The socket was closed already and reported nothing.
        FRelocating = false;
        Restart();
    }
}

void TCustomHttpCli::Restart()
{
    const std::uint32_t serial = FSerial;
    FConnected = false;
    FLocationSeen = false;
    FLocationRefusal.clear();
    if (FRequestKind == httpPOST) {
        if (FBuild.postBecomesGet)
            FRequestKind = httpGET;
        else
            PostStream->SetPosition(FPostStart);  // the body goes again, from its start
    }
    FireEvent(OnLocationChange, this);
    if (!Running(serial))
        return;
    if (FBuild.restartClearsHeaderLines)
        FHeaderLines.Clear();
    Post(WM_HTTP_NEXT_STEP);
}

// --- triggers ------------------------------------------------------------------

namespace {

// Each trigger is a hook a descendant may override; by default it calls its event when one is set.
template <class Handler, class... Args>
void CallIfSet(const Handler& OnEvent, Args&&... A)
{
    FireEvent(OnEvent, std::forward<Args>(A)...);
}

}  // namespace

void TCustomHttpCli::FireCookie(const CodePageString& Data, bool& Accept)
{
    CallIfSet(OnCookie, this, Data, Accept);
}

void TCustomHttpCli::FireSessionConnected()
{
    CallIfSet(OnSessionConnected, this);
}

void TCustomHttpCli::FireRequestHeaderBegin()
{
    CallIfSet(OnRequestHeaderBegin, this);
}

void TCustomHttpCli::FireRequestHeaderEnd()
{
    CallIfSet(OnRequestHeaderEnd, this);
}

void TCustomHttpCli::FireHeaderBegin()
{
    FInsideHeader = true;
    CallIfSet(OnHeaderBegin, this);
}

void TCustomHttpCli::FireHeaderEnd()
{
    FInsideHeader = false;
    CallIfSet(OnHeaderEnd, this);
}

void TCustomHttpCli::FireDocBegin()
{
    CallIfSet(OnDocBegin, this);
}

void TCustomHttpCli::FireDocData(const char* Buffer, int Len)
{
    CallIfSet(OnDocData, this, Buffer, Len);
}

void TCustomHttpCli::FireDocEnd()
{
    CallIfSet(OnDocEnd, this);
}

void TCustomHttpCli::FireSendBegin()
{
    CallIfSet(OnSendBegin, this);
}

void TCustomHttpCli::FireSendData(const char* Buffer, int Len)
{
    CallIfSet(OnSendData, this, Buffer, Len);
}

void TCustomHttpCli::FireSendEnd()
{
    CallIfSet(OnSendEnd, this);
}

// --- THttpCli ------------------------------------------------------------------

THttpCli::THttpCli(TComponent* AOwner) : TCustomHttpCli(AOwner, HttpBuildMain) {}

void THttpCli::GetAsync()
{
    StartRequest(httpGET);
}

void THttpCli::Get()
{
    RequestAndWait(httpGET);
}
