#include "transport/WSocket.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/Assertions.h"
#include "platform/StateChecks.h"
#include "platform/Hooks.h"

namespace ws = winsock;

// ================================================================================
// TCustomWSocket
// ================================================================================

namespace {

constexpr const char* SocketStateNames[] = {"wsInvalidState", "wsOpened",    "wsBound",     "wsConnecting",
                                              "wsConnected",    "wsAccepting", "wsListening", "wsClosed"};
static_assert(std::size(SocketStateNames) == wsClosed + 1);

// A socket may close from any state; no state leads to wsInvalidState or
// wsAccepting.
constexpr TStateStep<TSocketState> SocketSteps[] = {
    // A close of a closed socket (Close, Abort and a failed connect repeat it).
    {wsClosed, wsClosed},
    {wsInvalidState, wsClosed}, {wsOpened, wsClosed},     {wsBound, wsClosed},      {wsConnecting, wsClosed},
    {wsConnected, wsClosed},    {wsAccepting, wsClosed},  {wsListening, wsClosed},  {wsClosed, wsOpened},
    {wsClosed, wsBound},        {wsOpened, wsBound},      {wsOpened, wsConnecting}, {wsBound, wsListening},
    {wsClosed, wsConnected},    {wsOpened, wsConnected},  {wsConnecting, wsConnected},
    {wsListening, wsConnected},
};

constexpr TStateTable<TSocketState> SocketStates{"socket", SocketStateNames, SocketSteps};

}  // namespace

TCustomWSocket::TCustomWSocket(TComponent* AOwner) : TComponent(AOwner)
{
    FWindowHandle = AllocateHWnd([this](TMessage& Msg) { WndProc(Msg); });
    FChunkSize = 1460;
    MultiCastIpTTL = 1;
    TCustomWSocket::SetDefaults();
    HoldWinsockLibrary();
}

TCustomWSocket::~TCustomWSocket()
{
    FDestroying = true;
    *FAlive = false;
    // Nothing escapes a destructor: a failing cancel or close has nobody to
    // tell any more.
    try {
        CancelHostLookup();
    } catch (const std::exception&) {
    }
    try {
        if (FState != wsClosed || FHSocket != ws::INVALID_SOCKET)
            TCustomWSocket::CloseAndNotify(true, 0);
        if (FHSocket != ws::INVALID_SOCKET)
            WSocket_closesocket(FHSocket);
    } catch (const std::exception&) {
    }
    FBufList.clear();
    ReleaseWinsockLibrary();
    DeallocateHWnd(FWindowHandle);
}

void TCustomWSocket::SetDefaults()
{
    Fsin = {};
    Fsin.sin_family = static_cast<std::int16_t>(ws::AF_INET);
    FProtoStr = "tcp";
    FProtoAssigned = true;
    FProtoResolved = false;
    FProto = ws::IPPROTO_TCP;
    FType = ws::SOCK_STREAM;
    FAddrAssigned = false;
    FAddrResolved = false;
    FPortAssigned = false;
    FPortResolved = false;
    FLocalPortResolved = false;
    FLocalPortStr = "0";
    FLocalPortNum = 0;
    FLocalAddr = "0.0.0.0";
    LingerOnOff = wsLingerOn;
    LingerTimeout = 0;
    FHSocket = ws::INVALID_SOCKET;
    FSelectEvent = 0;
    FState = wsClosed;
    FReadyToSend = true;
    FReadCount = 0;
    FPaused = false;
    FCloseInvoked = false;
    FSending = false;
    FlushTimeout = 60;
}

// --- properties ----------------------------------------------------------------

// Addr, Port and Proto change only while closed; a changed value must be resolved again.
void TCustomWSocket::AssignTarget(CodePageString& Field, bool& Assigned, bool& Resolved, const CodePageString& Value,
                                  const char* Name)
{
    const CodePageString v = Trim(Value);
    if (Assigned && v == Field)
        return;
    if (FState != wsClosed) {
        RaiseSocketException(CodePageString("Cannot change ") + Name + " if not closed");
        return;
    }
    Field = v;
    Assigned = true;
    Resolved = false;
}

void TCustomWSocket::SetAddr(const CodePageString& Value)
{
    AssignTarget(FAddrStr, FAddrAssigned, FAddrResolved, Value, "Addr");
}

void TCustomWSocket::SetPort(const CodePageString& Value)
{
    AssignTarget(FPortStr, FPortAssigned, FPortResolved, Value, "Port");
}

void TCustomWSocket::SetProto(const CodePageString& Value)
{
    AssignTarget(FProtoStr, FProtoAssigned, FProtoResolved, Value, "Proto");
}

void TCustomWSocket::SetLocalPort(const CodePageString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Cannot change LocalPort if not closed");
        return;
    }
    FLocalPortStr = Trim(Value);
    FLocalPortResolved = false;
}

void TCustomWSocket::SetLocalAddr(const CodePageString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Cannot change LocalAddr if not closed");
        return;
    }
    CodePageString v = Trim(Value);
    if (v.empty())
        v = "0.0.0.0";
    if (!IsDottedAddress(v)) {
        RaiseSocketException("SetLocalAddr(): Invalid IP address");
        return;
    }
    FLocalAddr = v;
}

void TCustomWSocket::SetBufSize(int Value)
{
    FChunkSize = Value > 0 ? Value : 1460;
}

TSocketSendFlags TCustomWSocket::SendFlags() const
{
    if (FSendFlags != wsSendNormal && FSendFlags != wsSendUrgent)
        throw ESocketException("Invalid internal SendFlags");
    return FSendFlags;
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value)
{
    if (Value != wsSendNormal && Value != wsSendUrgent) {
        RaiseSocketException("Invalid SendFlags");
        return;
    }
    FSendFlags = Value;
}

// --- errors -----------------------------------------------------------------------

void TCustomWSocket::RaiseSocketException(const CodePageString& Msg)
{
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(Msg);
}

void TCustomWSocket::SocketError(const CodePageString& SockFunc)
{
    const int error = WSocket_WSAGetLastError();
    const CodePageString line =
        "Error " + IntToStr(error) + " in function " + SockFunc + "\r\n" + WinsockErrorText(error);
    if (error == ws::WSAECONNRESET || error == ws::WSAENOTCONN) {
        if (FHSocket != ws::INVALID_SOCKET)
            WSocket_closesocket(FHSocket);
        FHSocket = ws::INVALID_SOCKET;
        if (FState != wsClosed)
            TriggerSessionClosed(static_cast<std::uint16_t>(error));
        ChangeState(wsClosed);
    }
    FLastError = error;
    RaiseSocketException(line);
}

void TCustomWSocket::ReportBackgroundException(const std::exception& E)
{
    bool canClose = true;
    FireEvent(OnBgException, this, E, canClose);
    if (canClose)
        Abort();
}

// --- events -------------------------------------------------------------------------

void TCustomWSocket::ChangeState(TSocketState NewState)
{
    const TSocketState old = FState;
    if (!TENVAREL_STEP(SocketStates, FState, NewState))
        return;
    // A destructor calls nobody back.
    if (!FDestroying)
        TriggerChangeState(old, NewState);
}

bool TCustomWSocket::TriggerDataAvailable(std::uint16_t Error)
{
    return FireEvent(OnDataAvailable, this, Error);
}

void TCustomWSocket::TriggerSessionAvailable(std::uint16_t Error)
{
    FireEvent(OnSessionAvailable, this, Error);
}

void TCustomWSocket::TriggerSessionConnected(std::uint16_t Error)
{
    FireEvent(OnSessionConnected, this, Error);
}

void TCustomWSocket::TriggerSessionClosed(std::uint16_t Error)
{
    FireEvent(OnSessionClosed, this, Error);
}

void TCustomWSocket::TriggerDataSent(std::uint16_t Error)
{
    FireEvent(OnDataSent, this, Error);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState)
{
    FireEvent(OnChangeState, this, OldState, NewState);
}

void TCustomWSocket::TriggerDnsLookupDone(std::uint16_t Error)
{
    FireEvent(OnDnsLookupDone, this, Error);
}

void TCustomWSocket::TriggerError()
{
    FireEvent(OnError, this);
}

// --- the window ---------------------------------------------------------------------

void TCustomWSocket::WndProc(TMessage& Msg)
{
    try {
        MessageHandler(Msg);
    } catch (const std::exception& E) {
        ReportBackgroundException(E);
    } catch (...) {
        ReportBackgroundException(ESocketException("Unknown exception"));
    }
}

void TCustomWSocket::MessageHandler(TMessage& Msg)
{
    switch (Msg.Msg) {
    case WM_ASYNCSELECT:
        WMAsyncSelect(Msg);
        break;
    case WM_ASYNCGETHOSTBYNAME:
        WMAsyncGetHostByName(Msg);
        break;
    case WM_ASYNCGETHOSTBYADDR:
        WMAsyncGetHostByAddr(Msg);
        break;
    case WM_CLOSE_DELAYED:
        Close();
        break;
    case WM_WSOCKET_RELEASE:
        // Nothing of this object may be touched after this.
        delete this;
        return;
    case WM_TRIGGER_EXCEPTION:
        throw ESocketException("Test exception in WSocket");
    default:
        break;
    }
}

void TCustomWSocket::WMAsyncSelect(TMessage& Msg)
{
    if (static_cast<TSocket>(Msg.WParam) != FHSocket || FPaused)
        return;
    const long event = ws::WSAGETSELECTEVENT(Msg.LParam);
    const auto error = static_cast<std::uint16_t>(ws::WSAGETSELECTERROR(Msg.LParam));
    const TSocket socket = FHSocket;
    // One message carries one event from Winsock, several only when posted by
    // ourselves; a handler that closed the socket ends the rest.
    if (event & ws::FD_CONNECT)
        DoFdConnect(error);
    if ((event & ws::FD_READ) && FHSocket == socket)
        DoFdRead(error);
    if ((event & ws::FD_WRITE) && FHSocket == socket)
        DoFdWrite(error);
    if ((event & ws::FD_ACCEPT) && FHSocket == socket)
        TriggerSessionAvailable(error);
    if ((event & ws::FD_CLOSE) && FHSocket == socket)
        DoFdClose(error);
}

void TCustomWSocket::DoFdConnect(std::uint16_t Error)
{
    if (FState == wsConnected)
        return;
    ChangeState(wsConnected);
    TriggerSessionConnected(Error);
    if (Error != 0 && FState != wsClosed)
        Close();
}

void TCustomWSocket::DoFdRead(std::uint16_t Error)
{
    if (FState != wsConnected) {
        ChangeState(wsConnected);
        TriggerSessionConnected(Error);
    }
    ASyncReceive(Error, ComponentOptions);
}

void TCustomWSocket::DoFdWrite(std::uint16_t Error)
{
    TryToSend();
    // A send that failed closed the socket: nothing was sent to report.
    if (FReadyToSend && FHSocket != ws::INVALID_SOCKET)
        TriggerDataSent(Error);
}

void TCustomWSocket::DoFdClose(std::uint16_t Error)
{
    if (FState == wsConnecting)
        return;
    ASyncReceive(0, ComponentOptions & ~wsoNoReceiveLoop);
    // A data handler that closed the socket has already told of the close.
    if (FHSocket == ws::INVALID_SOCKET || FState == wsClosed)
        return;
    if (!FCloseInvoked) {
        FCloseInvoked = true;
        TriggerSessionClosed(Error);
    }
    if (FState != wsClosed)
        Close();
}

void TCustomWSocket::ASyncReceive(std::uint16_t Error, TWSocketOptions Options)
{
    for (;;) {
        FLastError = 0;
        try {
            if (!TriggerDataAvailable(Error)) {
                // Nobody wants the data: read it away so that the socket drains.
                char scratch[1024];
                if (Receive(scratch, sizeof scratch) < 0 && FLastError == ws::WSAEWOULDBLOCK) {
                    FLastError = 0;
                    break;
                }
            }
        } catch (const std::exception&) {
            // The data handler's exception ends this round and goes no further.
            break;
        }
        if (Options & wsoNoReceiveLoop)
            break;
        if (FLastError != 0)
            break;
        if (FHSocket == ws::INVALID_SOCKET)
            break;
        ws::u_long count = 0;
        if (WSocket_ioctlsocket(FHSocket, ws::FIONREAD, count) == ws::SOCKET_ERROR) {
            FLastError = WSocket_WSAGetLastError();
            break;
        }
        if (count == 0 && HeldAboveSocket() <= 0)
            break;
    }
}

// --- lookups ------------------------------------------------------------------------

void TCustomWSocket::WMAsyncGetHostByName(TMessage& Msg)
{
    if (FDnsLookupHandle == 0) {
        // Came before LookupHost stored the request's handle.
        FEarlyReply = Msg;
        FEarlyReplyPending = true;
        return;
    }
    HandleLookupReply(Msg.WParam, Msg.LParam, false);
}

void TCustomWSocket::WMAsyncGetHostByAddr(TMessage& Msg)
{
    if (FDnsLookupHandle == 0)
        return;
    HandleLookupReply(Msg.WParam, Msg.LParam, true);
}

void TCustomWSocket::HandleLookupReply(WPARAM Request, LPARAM Reply, bool ByAddress)
{
    if (static_cast<ws::HANDLE>(Request) != FDnsLookupHandle)
        return;
    FDnsLookupHandle = 0;
    const int error = ws::WSAGETASYNCERROR(Reply);
    if (error == 0) {
        const auto* entry = reinterpret_cast<const ws::hostent*>(FDnsLookupBuffer);
        if (ByAddress) {
            FDnsResult = entry->h_name ? entry->h_name : "";
            FDnsResultList.Add(FDnsResult);
        } else {
            for (char** address = entry->h_addr_list; address && *address; ++address) {
                ws::in_addr in;
                std::memcpy(&in.s_addr, *address, 4);
                FDnsResultList.Add(WSocket_inet_ntoa(in));
            }
            if (FDnsResultList.Count() > 0)
                FDnsResult = FDnsResultList[0];
        }
    }
    TriggerDnsLookupDone(static_cast<std::uint16_t>(error));
}

// Refuses a bad name (reported and completed with WSAEINVAL), otherwise cancels a lookup still running and
// forgets the last result.
bool TCustomWSocket::BeginLookup(bool NameValid, const char* BadNameMsg)
{
    if (!NameValid) {
        RaiseSocketException(BadNameMsg);
        TriggerDnsLookupDone(ws::WSAEINVAL);
        return false;
    }
    if (FDnsLookupHandle != 0)
        CancelHostLookup();
    FDnsResult.clear();
    FDnsResultList.Clear();
    return true;
}

void TCustomWSocket::LookupNotStarted(const CodePageString& Name)
{
    RaiseSocketExceptionFmt(Name + ": can't start DNS lookup, error #" + IntToStr(WSocket_WSAGetLastError()));
}

void TCustomWSocket::LookupHost(const CodePageString& HostName)
{
    if (!BeginLookup(!HostName.empty(), "DNS lookup: invalid host name."))
        return;
    const std::uint32_t address = WSocket_inet_addr(HostName.c_str());
    if (address != ws::INADDR_NONE) {
        ws::in_addr in{address};
        FDnsResult = WSocket_inet_ntoa(in);
        TriggerDnsLookupDone(0);
        return;
    }
    FEarlyReplyPending = false;
    FDnsLookupHandle = WSocket_WSAAsyncGetHostByName(FWindowHandle, WM_ASYNCGETHOSTBYNAME, HostName.c_str(),
                                                     FDnsLookupBuffer, sizeof FDnsLookupBuffer);
    if (FDnsLookupHandle == 0) {
        LookupNotStarted(HostName);
        return;
    }
    if (FEarlyReplyPending) {
        FEarlyReplyPending = false;
        HandleLookupReply(FEarlyReply.WParam, FEarlyReply.LParam, false);
    }
}

void TCustomWSocket::ReverseDnsLookup(const CodePageString& HostAddr)
{
    if (!BeginLookup(!HostAddr.empty() && HostAddr.size() < 257, "ReverseDnsLookup: Invalid host name."))
        return;
    const std::uint32_t address = WSocket_inet_addr(HostAddr.c_str());
    FDnsLookupHandle =
        WSocket_WSAAsyncGetHostByAddr(FWindowHandle, WM_ASYNCGETHOSTBYADDR, reinterpret_cast<const char*>(&address), 4,
                                      ws::AF_INET, FDnsLookupBuffer, sizeof FDnsLookupBuffer);
    if (FDnsLookupHandle == 0)
        LookupNotStarted(HostAddr);
}

void TCustomWSocket::CancelHostLookup()
{
    if (FDnsLookupHandle == 0)
        return;
    if (WSocket_WSACancelAsyncRequest(FDnsLookupHandle) != 0) {
        FDnsLookupHandle = 0;
        SocketError("WSACancelAsyncRequest");
        return;
    }
    FDnsLookupHandle = 0;
    if (!FDestroying)
        TriggerDnsLookupDone(ws::WSAEINTR);
}

// --- connecting ----------------------------------------------------------------------

// Resolves what is not resolved yet of Proto, Port, the local port (WithLocalPort) and Addr; a failure is
// reported with Prefix before the reason.
bool TCustomWSocket::ResolveTarget(const CodePageString& Prefix, bool WithLocalPort)
{
    try {
        if (!FProtoResolved) {
            FProto = WSocketResolveProto(FProtoStr);
            FType = FProto == ws::IPPROTO_UDP ? ws::SOCK_DGRAM : ws::SOCK_STREAM;
            FProtoResolved = true;
        }
        if (!FPortResolved) {
            Fsin.sin_port = WSocket_htons(WSocketResolvePort(FPortStr, FProtoStr));
            FPortResolved = true;
        }
        if (WithLocalPort && !FLocalPortResolved) {
            FLocalPortNum = WSocketResolvePort(FLocalPortStr, FProtoStr);
            FLocalPortResolved = true;
        }
        if (!FAddrResolved) {
            Fsin.sin_addr.s_addr = WSocketResolveHost(FAddrStr);
            FAddrResolved = true;
        }
    } catch (const std::exception& E) {
        RaiseSocketException(Prefix + E.what());
        return false;
    }
    return true;
}

void TCustomWSocket::SetLingerOption()
{
    if (LingerOnOff == wsLingerNoSet)
        return;
    if (FHSocket == ws::INVALID_SOCKET) {
        RaiseSocketException("Cannot set linger option at this time");
        return;
    }
    const ws::linger value{static_cast<ws::u_short>(LingerOnOff == wsLingerOn ? 1 : 0),
                           static_cast<ws::u_short>(std::clamp(LingerTimeout, 0, 65535))};
    if (WSocket_setsockopt(FHSocket, ws::SOL_SOCKET, ws::SO_LINGER, &value, sizeof value) == ws::SOCKET_ERROR)
        SocketError("setsockopt(SO_LINGER)");
}

void TCustomWSocket::BindLocal()
{
    TSockAddrIn local{};
    local.sin_family = static_cast<std::int16_t>(ws::AF_INET);
    local.sin_port = WSocket_htons(static_cast<std::uint16_t>(FLocalPortNum));
    local.sin_addr.s_addr = WSocketResolveHost(FLocalAddr);
    if (WSocket_bind(FHSocket, local, sizeof local) != 0) {
        RaiseSocketExceptionFmt("winsock.bind failed, error #" + IntToStr(WSocket_WSAGetLastError()));
        return;
    }
    int len = sizeof local;
    if (WSocket_getsockname(FHSocket, local, len) != 0) {
        RaiseSocketExceptionFmt("winsock.getsockname failed, error #" + IntToStr(WSocket_WSAGetLastError()));
        return;
    }
    FLocalPortNum = WSocket_ntohs(local.sin_port);
    FLocalPortStr = IntToStr(FLocalPortNum);
}

void TCustomWSocket::Connect()
{
    if (FHSocket != ws::INVALID_SOCKET && FState != wsClosed) {
        RaiseSocketException("Connect: Socket already in use");
        return;
    }
    if (!FPortAssigned) {
        RaiseSocketException("Connect: No Port Specified");
        return;
    }
    if (!FAddrAssigned) {
        RaiseSocketException("Connect: No IP Address Specified");
        return;
    }
    if (!FProtoAssigned) {
        RaiseSocketException("Connect: No Protocol Specified");
        return;
    }
    if (!ResolveTarget("connect: ", true))
        return;

    DeleteBufferedData();
    FHSocket = WSocket_socket(ws::AF_INET, FType, FProto);
    if (FHSocket == ws::INVALID_SOCKET) {
        SocketError("Connect (socket)");
        return;
    }
    ChangeState(wsOpened);

    const int on = 1;
    if (FType == ws::SOCK_STREAM) {
        if (WSocket_setsockopt(FHSocket, ws::SOL_SOCKET, ws::SO_REUSEADDR, &on, sizeof on) == ws::SOCKET_ERROR) {
            SocketError("setsockopt(SO_REUSEADDR)");
            return;
        }
        if ((ComponentOptions & wsoTcpNoDelay) &&
            WSocket_setsockopt(FHSocket, ws::IPPROTO_TCP, ws::TCP_NODELAY, &on, sizeof on) == ws::SOCKET_ERROR) {
            SocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
            return;
        }
        SetLingerOption();
        if (WSocket_setsockopt(FHSocket, ws::SOL_SOCKET, ws::SO_KEEPALIVE, &on, sizeof on) == ws::SOCKET_ERROR) {
            SocketError("setsockopt(SO_KEEPALIVE)");
            return;
        }
        if (FLocalPortNum != 0 || FLocalAddr != "0.0.0.0")
            BindLocal();
    } else {
        BindLocal();
        // The multicast and broadcast options call the library directly.
        if (MultiCast && MultiCastIpTTL != 1) {
            const int ttl = MultiCastIpTTL;
            if (ws::setsockopt(FHSocket, ws::IPPROTO_IP, ws::IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl),
                               sizeof ttl) == ws::SOCKET_ERROR) {
                SocketError("setsockopt(IP_MULTICAST_TTL)");
                return;
            }
        }
        if (Fsin.sin_addr.s_addr == ws::htonl(ws::INADDR_BROADCAST)) {
            if (ws::setsockopt(FHSocket, ws::SOL_SOCKET, ws::SO_BROADCAST, reinterpret_cast<const char*>(&on),
                               sizeof on) == ws::SOCKET_ERROR) {
                SocketError("setsockopt(SO_BROADCAST)");
                return;
            }
        }
    }

    FSelectEvent = ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;
    if (WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) != 0) {
        SocketError("WSAAsyncSelect");
        return;
    }

    if (FType == ws::SOCK_STREAM) {
        if (WSocket_connect(FHSocket, Fsin, sizeof Fsin) != 0) {
            const int error = WSocket_WSAGetLastError();
            if (error != ws::WSAEWOULDBLOCK) {
                FLastError = error;
                SocketError("Connect");
                return;
            }
        }
        ChangeState(wsConnecting);
    } else {
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
    }
}

void TCustomWSocket::Listen()
{
    if (!FPortAssigned) {
        WSocket_WSASetLastError(ws::WSAEINVAL);
        SocketError("listen: port not assigned");
        return;
    }
    if (!FProtoAssigned) {
        WSocket_WSASetLastError(ws::WSAEINVAL);
        SocketError("listen: protocol not assigned");
        return;
    }
    if (!FAddrAssigned) {
        WSocket_WSASetLastError(ws::WSAEINVAL);
        SocketError("listen: address not assigned");
        return;
    }
    if (!ResolveTarget("listen: ", false))
        return;

    DeleteBufferedData();
    FHSocket = WSocket_socket(ws::AF_INET, FType, FProto);
    if (FHSocket == ws::INVALID_SOCKET) {
        SocketError("socket");
        return;
    }
    const int on = 1;
    if (FType == ws::SOCK_DGRAM && ReuseAddr &&
        WSocket_setsockopt(FHSocket, ws::SOL_SOCKET, ws::SO_REUSEADDR, &on, sizeof on) == ws::SOCKET_ERROR) {
        SocketError("setsockopt(SO_REUSEADDR)");
        return;
    }
    if (WSocket_bind(FHSocket, Fsin, sizeof Fsin) != 0) {
        // The socket is not open for anyone yet: it goes before the report,
        // which may raise.
        const int error = WSocket_WSAGetLastError();
        WSocket_closesocket(FHSocket);
        FHSocket = ws::INVALID_SOCKET;
        WSocket_WSASetLastError(error);
        SocketError("Bind");
        return;
    }
    ChangeState(wsBound);

    if (FType == ws::SOCK_DGRAM) {
        if (MultiCast) {
            ws::ip_mreq request{};
            request.imr_multiaddr.s_addr = ws::inet_addr(MultiCastAddrStr.c_str());
            request.imr_interface.s_addr = ws::htonl(ws::INADDR_ANY);
            if (ws::setsockopt(FHSocket, ws::IPPROTO_IP, ws::IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&request),
                               sizeof request) == ws::SOCKET_ERROR) {
                SocketError("setsockopt(IP MULTICAST)");
                return;
            }
        }
        ChangeState(wsListening);
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
    } else {
        if (WSocket_listen(FHSocket, 5) == ws::SOCKET_ERROR) {
            SocketError("Listen");
            return;
        }
        ChangeState(wsListening);
    }

    FSelectEvent = ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CLOSE;
    if (WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) != 0)
        SocketError("WSAASyncSelect");
}

TSocket TCustomWSocket::Accept()
{
    if (FState != wsListening) {
        WSocket_WSASetLastError(ws::WSAEINVAL);
        SocketError("not a listening socket");
        return ws::INVALID_SOCKET;
    }
    int len = sizeof Fsin;
    FASocket = WSocket_accept(FHSocket, &Fsin, &len);
    if (FASocket == ws::INVALID_SOCKET) {
        SocketError("Accept");
        return ws::INVALID_SOCKET;
    }
    return FASocket;
}

void TCustomWSocket::Dup(TSocket NewHSocket)
{
    if (NewHSocket == 0 || NewHSocket == ws::INVALID_SOCKET) {
        WSocket_WSASetLastError(ws::WSAEINVAL);
        SocketError("Dup");
        return;
    }
    if (FState != wsClosed) {
        if (WSocket_closesocket(FHSocket) != 0) {
            SocketError("Dup (closesocket)");
            return;
        }
        ChangeState(wsClosed);
    }
    FHSocket = NewHSocket;
    SetLingerOption();
    FSelectEvent = ws::FD_READ | ws::FD_WRITE | ws::FD_CONNECT | ws::FD_CLOSE;
    if (WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) != 0) {
        SocketError("WSAAsyncSelect");
        return;
    }
    ChangeState(wsConnected);
}

// --- closing -------------------------------------------------------------------------

void TCustomWSocket::Close()
{
    CloseAndNotify(true, 0);
}

void TCustomWSocket::PostClose()
{
    PostMessage(FWindowHandle, WM_CLOSE_DELAYED, 0, 0);
}

void TCustomWSocket::Release()
{
    PostMessage(FWindowHandle, WM_WSOCKET_RELEASE, 0, 0);
}

void TCustomWSocket::CloseAndNotify(bool DoShutdown, std::uint16_t Error)
{
    if (FHSocket == ws::INVALID_SOCKET) {
        if (FState != wsClosed) {
            ChangeState(wsClosed);
            SetDefaults();
        }
        return;
    }
    if (FState == wsClosed)
        return;
    if (DoShutdown)
        WSocket_shutdown(FHSocket, ws::SD_SEND);
    const TSocket socket = FHSocket;
    FHSocket = ws::INVALID_SOCKET;
    const auto alive = FAlive;
    while (WSocket_closesocket(socket) != 0) {
        FLastError = WSocket_WSAGetLastError();
        if (FLastError == ws::WSAEWOULDBLOCK) {
            PumpMessages();
            if (!*alive)
                return;
            continue;
        }
        if (FLastError == ws::WSANOTINITIALISED)
            break;
        SocketError("Disconnect (closesocket)");
        return;
    }
    ChangeState(wsClosed);
    if (FDestroying || FCloseInvoked) {
        SetDefaults();
        return;
    }
    FCloseInvoked = true;
    TriggerSessionClosed(Error);
    // A handler that connected again keeps its new socket.
    if (FHSocket == ws::INVALID_SOCKET && FState == wsClosed)
        SetDefaults();
}

void TCustomWSocket::Abort()
{
    CancelHostLookup();
    DeleteBufferedData();
    if (FState == wsConnected && FType == ws::SOCK_STREAM) {
        LingerOnOff = wsLingerOff;
        SetLingerOption();
    }
    CloseAndNotify(false, 0);
}

void TCustomWSocket::Shutdown(int How)
{
    if (FHSocket != ws::INVALID_SOCKET)
        WSocket_shutdown(FHSocket, How);
}

void TCustomWSocket::WaitForClose()
{
    const auto alive = FAlive;
    while (FHSocket != ws::INVALID_SOCKET && FState != wsClosed) {
        PumpMessages();
        if (!*alive || FHSocket == ws::INVALID_SOCKET)
            return;
        ws::u_long count = 0;
        if (WSocket_ioctlsocket(FHSocket, ws::FIONREAD, count) == ws::SOCKET_ERROR)
            break;
        if (count > 0 && !TriggerDataAvailable(0)) {
            char scratch[1024];
            Receive(scratch, sizeof scratch);
        }
        if (!*alive || FHSocket == ws::INVALID_SOCKET)
            return;
        char probe;
        if (WSocket_recv(FHSocket, &probe, 0, 0) == ws::SOCKET_ERROR &&
            WSocket_WSAGetLastError() != ws::WSAEWOULDBLOCK)
            break;
        WaitForEvents(10);
        if (!*alive)
            return;
    }
}

// --- pausing -------------------------------------------------------------------------

void TCustomWSocket::Pause()
{
    FPaused = true;
    if (FHSocket != ws::INVALID_SOCKET)
        WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, 0, 0);
}

void TCustomWSocket::Resume()
{
    FPaused = false;
    if (FHSocket != ws::INVALID_SOCKET)
        WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent);
}

void TCustomWSocket::PumpMessages()
{
    // One queue serves the whole program, so the private pump of a
    // multithreaded socket and the application's are the same here.
    ProcessMessages();
    NoteQuitMessage();
}

void TCustomWSocket::WaitForEvents(int MaxWaitMs)
{
    WaitAndProcessMessages(MaxWaitMs);
    NoteQuitMessage();
}

void TCustomWSocket::NoteQuitMessage()
{
    if (QuitMessagePosted())
        FTerminated = true;
}

// --- sending -------------------------------------------------------------------------

void TCustomWSocket::DeleteBufferedData()
{
    FBufList.clear();
    FReadyToSend = true;
}

bool TCustomWSocket::SendQueueEmpty() const
{
    for (const auto& chunk : FBufList) {
        int len;
        if (chunk->Peek(len))
            return false;
    }
    return true;
}

void TCustomWSocket::PutDataInSendBuffer(const void* Data, int Len)
{
    const char* bytes = static_cast<const char*>(Data);
    if (FBufList.empty())
        FBufList.push_back(std::make_unique<TBuffer>(FChunkSize));
    while (Len > 0) {
        const int written = FBufList.back()->Write(bytes, Len);
        bytes += written;
        Len -= written;
        if (Len > 0)
            FBufList.push_back(std::make_unique<TBuffer>(FChunkSize));
    }
}

int TCustomWSocket::Send(const void* Data, int Len)
{
    if (FState != wsConnected) {
        WSocket_WSASetLastError(ws::WSAENOTCONN);
        SocketError("Send");
        return -1;
    }
    if (Len <= 0)
        return 0;
    FReadyToSend = false;
    PutDataInSendBuffer(Data, Len);
    TryToSend();
    // OnDataSent always comes from the message loop, never from inside Send.
    if (FHSocket != ws::INVALID_SOCKET && SendQueueEmpty())
        PostMessage(FWindowHandle, WM_ASYNCSELECT, FHSocket, ws::WSAMAKESELECTREPLY(ws::FD_WRITE, 0));
    return Len;
}

int TCustomWSocket::SendTo(const TSockAddrIn& Dest, int DestLen, const void* Data, int Len)
{
    const int count = WSocket_sendto(FHSocket, Data, Len, FSendFlags == wsSendUrgent ? ws::MSG_OOB : 0, Dest, DestLen);
    if (count > 0)
        FireEvent(OnSendData, this, count);
    return count;
}

int TCustomWSocket::RawSend(const void* Data, int Len)
{
    const int flags = FSendFlags == wsSendUrgent ? ws::MSG_OOB : 0;
    int count;
    if (FType == ws::SOCK_DGRAM)
        count = WSocket_sendto(FHSocket, Data, Len, flags, Fsin, sizeof Fsin);
    else
        count = WSocket_send(FHSocket, Data, Len, flags);
    if (count > 0)
        FireEvent(OnSendData, this, count);
    return count;
}

void TCustomWSocket::TryToSend()
{
    // An OnSendData handler that sends again only adds to the queue: the loop
    // running below it sends that too.
    if (FHSocket == ws::INVALID_SOCKET || FBufList.empty() || FSending)
        return;
    const auto alive = FAlive;
    FSending = true;
    struct SendingGuard {
        bool& flag;
        const std::shared_ptr<bool>& alive;
        ~SendingGuard()
        {
            if (*alive)
                flag = false;
        }
    } guard{FSending, alive};
    for (;;) {
        TBuffer& chunk = *FBufList.front();
        int len;
        const char* data = chunk.Peek(len);
        if (len <= 0) {
            if (FBufList.size() > 1) {
                FBufList.pop_front();
                continue;
            }
            // The last chunk stays, for the next Send to reuse.
            FReadyToSend = true;
            break;
        }
        const int count = RawSend(data, len);
        if (!*alive || FHSocket == ws::INVALID_SOCKET)
            return;
        if (count == 0)
            break;
        if (count == ws::SOCKET_ERROR) {
            const int error = WSocket_WSAGetLastError();
            if (error == ws::WSAECONNRESET || error == ws::WSAENOTSOCK || error == ws::WSAENOTCONN ||
                error == ws::WSAEINVAL || error == ws::WSAECONNABORTED) {
                FCloseInvoked = true;
                Close();
                TriggerSessionClosed(static_cast<std::uint16_t>(error));
            } else if (error != ws::WSAEWOULDBLOCK) {
                SocketError("TryToSend failed");
            }
            break;
        }
        chunk.Remove(count);
        if (count < len)
            break;  // Winsock tells with FD_WRITE when there is room again
    }
}

void TCustomWSocket::Flush()
{
    const auto alive = FAlive;
    while (FHSocket != ws::INVALID_SOCKET && !FReadyToSend) {
        TryToSend();
        if (!*alive || FReadyToSend || FHSocket == ws::INVALID_SOCKET)
            return;
        // Room comes as FD_WRITE: wait for it rather than spin.
        WaitForEvents(10);
        if (!*alive)
            return;
    }
}

// --- receiving -----------------------------------------------------------------------

int TCustomWSocket::GetRcvdCount()
{
    ws::u_long count = 0;
    if (WSocket_ioctlsocket(FHSocket, ws::FIONREAD, count) == ws::SOCKET_ERROR) {
        SocketError("ioctlSocket");
        return -1;
    }
    return static_cast<int>(std::min<ws::u_long>(count, INT_MAX));
}

int TCustomWSocket::RawReceive(void* Buffer, int BufferSize, int Flags)
{
    return WSocket_recv(FHSocket, Buffer, BufferSize, Flags);
}

int TCustomWSocket::RawReceiveFrom(void* Buffer, int BufferSize, TSockAddrIn& From, int& FromLen)
{
    return WSocket_recvfrom(FHSocket, Buffer, BufferSize, 0, From, FromLen);
}

int TCustomWSocket::CountReceived(int Count)
{
    if (Count < 0)
        FLastError = WSocket_WSAGetLastError();
    else
        FReadCount += Count;
    return Count;
}

int TCustomWSocket::Receive(void* Buffer, int BufferSize)
{
    return CountReceived(RawReceive(Buffer, BufferSize, 0));
}

CodePageString TCustomWSocket::ReceiveText()
{
    int count = GetRcvdCount();
    if (count < 0)
        return CodePageString();
    if (count == 0)
        count = 255;
    CodePageString text(static_cast<std::size_t>(count), '\0');
    const int received = Receive(text.data(), count);
    if (received <= 0)
        return CodePageString();
    text.resize(static_cast<std::size_t>(received));
    return text;
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int BufferSize, TSockAddrIn& From, int& FromLen)
{
    return CountReceived(RawReceiveFrom(Buffer, BufferSize, From, FromLen));
}

// --- queries -------------------------------------------------------------------------

// Reads the peer's (Peer) or this end's address; false while the socket has none or when the call fails.
bool TCustomWSocket::SocketAddress(bool Peer, TSockAddrIn& Addr, const char* Func)
{
    const bool known = Peer ? FState == wsConnected
                            : (FState == wsBound || FState == wsConnected || FState == wsListening);
    if (!known)
        return false;
    int len = sizeof Addr;
    const int rc = Peer ? WSocket_getpeername(FHSocket, Addr, len) : WSocket_getsockname(FHSocket, Addr, len);
    if (rc != 0) {
        SocketError(Func);
        return false;
    }
    return true;
}

CodePageString TCustomWSocket::GetPeerAddr()
{
    TSockAddrIn peer{};
    return SocketAddress(true, peer, "GetPeerName") ? WSocket_inet_ntoa(peer.sin_addr) : CodePageString("error");
}

CodePageString TCustomWSocket::GetPeerPort()
{
    TSockAddrIn peer{};
    return SocketAddress(true, peer, "GetPeerPort") ? IntToStr(WSocket_ntohs(peer.sin_port)) : CodePageString("error");
}

int TCustomWSocket::GetPeerName(TSockAddrIn& Name, int NameLen)
{
    if (FState != wsConnected)
        return -1;
    return WSocket_getpeername(FHSocket, Name, NameLen);
}

int TCustomWSocket::GetSockName(TSockAddrIn& SockAddr, int& SockAddrLen)
{
    return WSocket_getsockname(FHSocket, SockAddr, SockAddrLen);
}

CodePageString TCustomWSocket::GetLocalAddr()
{
    TSockAddrIn local{};
    return SocketAddress(false, local, "GetLocalAddr") ? WSocket_inet_ntoa(local.sin_addr) : CodePageString("error");
}

CodePageString TCustomWSocket::GetLocalPort()
{
    TSockAddrIn local{};
    return SocketAddress(false, local, "GetLocalPort") ? IntToStr(WSocket_ntohs(local.sin_port)) : CodePageString("error");
}
