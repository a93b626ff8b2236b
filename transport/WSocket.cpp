#include "transport/WSocket.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>

#include "platform/Hooks.h"
#include "platform/Library.h"

namespace ws = winsock;

// ================================================================================
// Text helpers
// ================================================================================

bool IsDecimalDigit(char C)
{
    return C >= '0' && C <= '9';
}

int ParseDecimal(const AnsiString& S)
{
    std::size_t i = 0;
    while (i < S.size() && S[i] == ' ')
        ++i;
    long long value = 0;
    for (; i < S.size() && IsDecimalDigit(S[i]); ++i) {
        value = value * 10 + (S[i] - '0');
        if (value > INT_MAX)
            return -1;
    }
    return static_cast<int>(value);
}

bool IsDottedAddress(const AnsiString& S)
{
    const std::size_t n = S.size();
    std::size_t i = 0;
    while (i < n && S[i] == ' ')
        ++i;
    if (i >= n || S[i] == '.')
        return false;
    int dots = 0;
    int part = 0;
    while (i < n) {
        const char c = S[i];
        if (IsDecimalDigit(c)) {
            // Kept small: anything above 255 is refused anyway.
            part = std::min(part * 10 + (c - '0'), 1000);
            ++i;
        } else if (c == '.') {
            ++dots;
            if (dots > 3 || part > 255 || i + 1 >= n || !IsDecimalDigit(S[i + 1]))
                return false;
            part = 0;
            ++i;
        } else {
            while (i < n && S[i] == ' ')
                ++i;
            if (i < n)
                return false;
            break;
        }
    }
    return dots == 3 && part <= 255;
}

namespace {

struct ErrorText {
    int code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "No Error"},
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Address not available"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Connection aborted"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references: can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network sub-system is unusable"},
    {10092, "WinSock DLL cannot support this application"},
    {10093, "WinSock not initialized"},
    {11001, "Host not found"},
    {11002, "Non-authoritative host not found"},
    {11003, "Non-recoverable error"},
    {11004, "No Data"},
};

}  // namespace

AnsiString WinsockErrorText(int ErrCode)
{
    for (const ErrorText& e : kErrorTexts)
        if (e.code == ErrCode)
            return e.text;
    return "Not a WinSock error";
}

// ================================================================================
// The Winsock binding
// ================================================================================

namespace {

constexpr const char* kWinsockDll = "wsock32.dll";
// The system's codes for a module and an entry point that are not there.
constexpr int kModuleNotFound = 126;
constexpr int kProcNotFound = 127;

HMODULE gLibraryHandle = 0;
ws::WSADATA gStartupData{};
int gSocketCount = 0;
std::function<bool()> gTerminatedCheck;

enum EntryId {
    eWSAStartup,
    eWSACleanup,
    eWSASetLastError,
    eWSAGetLastError,
    eWSACancelAsyncRequest,
    eWSAAsyncGetHostByName,
    eWSAAsyncGetHostByAddr,
    eWSAAsyncSelect,
    egetservbyname,
    egetprotobyname,
    egethostbyname,
    esocket,
    eshutdown,
    esetsockopt,
    esendto,
    esend,
    entohs,
    elisten,
    eioctlsocket,
    einet_ntoa,
    einet_addr,
    ehtons,
    egetsockname,
    egetpeername,
    econnect,
    eclosesocket,
    ebind,
    eaccept,
    erecv,
    erecvfrom,
    eEntryCount
};

struct EntrySlot {
    const char* name;
    void* address;
};

EntrySlot gEntries[eEntryCount] = {
    {"WSAStartup", nullptr},
    {"WSACleanup", nullptr},
    {"WSASetLastError", nullptr},
    {"WSAGetLastError", nullptr},
    {"WSACancelAsyncRequest", nullptr},
    {"WSAAsyncGetHostByName", nullptr},
    {"WSAAsyncGetHostByAddr", nullptr},
    {"WSAAsyncSelect", nullptr},
    {"getservbyname", nullptr},
    {"getprotobyname", nullptr},
    {"gethostbyname", nullptr},
    {"socket", nullptr},
    {"shutdown", nullptr},
    {"setsockopt", nullptr},
    {"sendto", nullptr},
    {"send", nullptr},
    {"ntohs", nullptr},
    {"listen", nullptr},
    {"ioctlsocket", nullptr},
    {"inet_ntoa", nullptr},
    {"inet_addr", nullptr},
    {"htons", nullptr},
    {"getsockname", nullptr},
    {"getpeername", nullptr},
    {"connect", nullptr},
    {"closesocket", nullptr},
    {"bind", nullptr},
    {"accept", nullptr},
    {"recv", nullptr},
    {"recvfrom", nullptr},
};

// The entry point of a wrapper, resolved on its first call.
template <typename Fn>
Fn Entry(EntryId id, Fn)
{
    EntrySlot& slot = gEntries[id];
    if (!slot.address)
        slot.address = LoadWinsockEntry(slot.name);
    return reinterpret_cast<Fn>(slot.address);
}

// The unit's finalization: the library goes with the program.
struct WinsockFinalization {
    ~WinsockFinalization() { UnloadWinsockLibrary(); }
} gFinalization;

}  // namespace

void* LoadWinsockEntry(const AnsiString& ProcName)
{
    if (gLibraryHandle == 0) {
        RegisterWinsockLibrary();
        gLibraryHandle = LoadLibrary(kWinsockDll);
        if (gLibraryHandle == 0)
            throw ESocketException("Unable to load " + AnsiString(kWinsockDll) + " Error #" + IntToStr(kModuleNotFound));
        auto startup = reinterpret_cast<decltype(&ws::WSAStartup)>(GetProcAddress(gLibraryHandle, "WSAStartup"));
        const int result = startup ? startup(0x0101, &gStartupData) : kProcNotFound;
        if (result != 0)
            throw ESocketException(AnsiString(kWinsockDll) + ": WSAStartup error #" + IntToStr(result));
    }
    if (ProcName.empty())
        return nullptr;
    void* address = GetProcAddress(gLibraryHandle, ProcName);
    if (!address)
        throw ESocketException("Procedure " + ProcName + " not found in " + kWinsockDll + " Error #" +
                               IntToStr(kProcNotFound));
    return address;
}

void UnloadWinsockLibrary()
{
    if (gLibraryHandle != 0) {
        // Through the wrapper, which needs the library still loaded.
        try {
            WSocket_WSACleanup();
        } catch (const ESocketException&) {
            // A table without WSACleanup: there is nothing to clean up.
        }
        FreeLibrary(gLibraryHandle);
        gLibraryHandle = 0;
        for (EntrySlot& slot : gEntries)
            slot.address = nullptr;
    }
    gSocketCount = 0;
}

bool WinsockLibraryLoaded()
{
    return gLibraryHandle != 0;
}

int WSocketCount()
{
    return gSocketCount;
}

void SetWSocketTerminatedCheck(std::function<bool()> Check)
{
    gTerminatedCheck = std::move(Check);
}

namespace {
bool ApplicationTerminated()
{
    return QuitMessagePosted() || (gTerminatedCheck && gTerminatedCheck());
}
}  // namespace

int WSocket_WSAStartup(ws::WORD Version, ws::WSADATA& Data)
{
    return Entry(eWSAStartup, &ws::WSAStartup)(Version, &Data);
}
int WSocket_WSACleanup()
{
    return Entry(eWSACleanup, &ws::WSACleanup)();
}
void WSocket_WSASetLastError(int Error)
{
    Entry(eWSASetLastError, &ws::WSASetLastError)(Error);
}
int WSocket_WSAGetLastError()
{
    return Entry(eWSAGetLastError, &ws::WSAGetLastError)();
}
int WSocket_WSACancelAsyncRequest(ws::HANDLE Request)
{
    return Entry(eWSACancelAsyncRequest, &ws::WSACancelAsyncRequest)(Request);
}
ws::HANDLE WSocket_WSAAsyncGetHostByName(HWND Wnd, UINT Msg, const char* Name, char* Buf, int BufLen)
{
    return Entry(eWSAAsyncGetHostByName, &ws::WSAAsyncGetHostByName)(Wnd, Msg, Name, Buf, BufLen);
}
ws::HANDLE WSocket_WSAAsyncGetHostByAddr(HWND Wnd, UINT Msg, const char* Addr, int Len, int Type, char* Buf,
                                         int BufLen)
{
    return Entry(eWSAAsyncGetHostByAddr, &ws::WSAAsyncGetHostByAddr)(Wnd, Msg, Addr, Len, Type, Buf, BufLen);
}
int WSocket_WSAAsyncSelect(TSocket S, HWND Wnd, UINT Msg, long Event)
{
    return Entry(eWSAAsyncSelect, &ws::WSAAsyncSelect)(S, Wnd, Msg, Event);
}
ws::servent* WSocket_getservbyname(const char* Name, const char* Proto)
{
    return Entry(egetservbyname, &ws::getservbyname)(Name, Proto);
}
ws::protoent* WSocket_getprotobyname(const char* Name)
{
    return Entry(egetprotobyname, &ws::getprotobyname)(Name);
}
ws::hostent* WSocket_gethostbyname(const char* Name)
{
    return Entry(egethostbyname, &ws::gethostbyname)(Name);
}
TSocket WSocket_socket(int Af, int Struct, int Protocol)
{
    return Entry(esocket, &ws::socket)(Af, Struct, Protocol);
}
int WSocket_shutdown(TSocket S, int How)
{
    return Entry(eshutdown, &ws::shutdown)(S, How);
}
int WSocket_setsockopt(TSocket S, int Level, int OptName, const void* OptVal, int OptLen)
{
    return Entry(esetsockopt, &ws::setsockopt)(S, Level, OptName, static_cast<const char*>(OptVal), OptLen);
}
int WSocket_sendto(TSocket S, const void* Buf, int Len, int Flags, const TSockAddrIn& To, int ToLen)
{
    return Entry(esendto, &ws::sendto)(S, static_cast<const char*>(Buf), Len, Flags,
                                       reinterpret_cast<const ws::sockaddr*>(&To), ToLen);
}
int WSocket_send(TSocket S, const void* Buf, int Len, int Flags)
{
    return Entry(esend, &ws::send)(S, static_cast<const char*>(Buf), Len, Flags);
}
std::uint16_t WSocket_ntohs(std::uint16_t NetShort)
{
    return Entry(entohs, &ws::ntohs)(NetShort);
}
int WSocket_listen(TSocket S, int Backlog)
{
    return Entry(elisten, &ws::listen)(S, Backlog);
}
int WSocket_ioctlsocket(TSocket S, long Cmd, ws::u_long& Arg)
{
    return Entry(eioctlsocket, &ws::ioctlsocket)(S, Cmd, &Arg);
}
AnsiString WSocket_inet_ntoa(ws::in_addr InAddr)
{
    const char* text = Entry(einet_ntoa, &ws::inet_ntoa)(InAddr);
    return text ? text : "";
}
std::uint32_t WSocket_inet_addr(const char* Cp)
{
    return Entry(einet_addr, &ws::inet_addr)(Cp);
}
std::uint16_t WSocket_htons(std::uint16_t HostShort)
{
    return Entry(ehtons, &ws::htons)(HostShort);
}
int WSocket_getsockname(TSocket S, TSockAddrIn& Name, int& NameLen)
{
    return Entry(egetsockname, &ws::getsockname)(S, reinterpret_cast<ws::sockaddr*>(&Name), &NameLen);
}
int WSocket_getpeername(TSocket S, TSockAddrIn& Name, int& NameLen)
{
    return Entry(egetpeername, &ws::getpeername)(S, reinterpret_cast<ws::sockaddr*>(&Name), &NameLen);
}
int WSocket_connect(TSocket S, const TSockAddrIn& Name, int NameLen)
{
    return Entry(econnect, &ws::connect)(S, reinterpret_cast<const ws::sockaddr*>(&Name), NameLen);
}
int WSocket_closesocket(TSocket S)
{
    return Entry(eclosesocket, &ws::closesocket)(S);
}
int WSocket_bind(TSocket S, const TSockAddrIn& Addr, int NameLen)
{
    return Entry(ebind, &ws::bind)(S, reinterpret_cast<const ws::sockaddr*>(&Addr), NameLen);
}
TSocket WSocket_accept(TSocket S, TSockAddrIn* Addr, int* AddrLen)
{
    return Entry(eaccept, &ws::accept)(S, reinterpret_cast<ws::sockaddr*>(Addr), AddrLen);
}
int WSocket_recv(TSocket S, void* Buf, int Len, int Flags)
{
    return Entry(erecv, &ws::recv)(S, static_cast<char*>(Buf), Len, Flags);
}
int WSocket_recvfrom(TSocket S, void* Buf, int Len, int Flags, TSockAddrIn& From, int& FromLen)
{
    return Entry(erecvfrom, &ws::recvfrom)(S, static_cast<char*>(Buf), Len, Flags,
                                           reinterpret_cast<ws::sockaddr*>(&From), &FromLen);
}

// ================================================================================
// Resolution
// ================================================================================

std::uint32_t WSocketResolveHost(const AnsiString& Host)
{
    if (Host.empty() || Host.size() >= 257)
        throw ESocketException("WSocketResolveHost: '" + Host + "' Invalid Hostname.");
    if (IsDottedAddress(Host)) {
        const AnsiString dotted = Trim(Host);
        const std::uint32_t address = WSocket_inet_addr(dotted.c_str());
        if (address == ws::INADDR_NONE && dotted != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + Host + "' Invalid IP address.");
        return address;
    }
    const ws::hostent* entry = WSocket_gethostbyname(Host.c_str());
    if (!entry || !entry->h_addr_list || !entry->h_addr_list[0] || entry->h_length != 4) {
        const int error = entry ? ws::WSANO_DATA : WSocket_WSAGetLastError();
        throw ESocketException("WSocketResolveHost: Cannot convert host address '" + Host + "', Error #" +
                               IntToStr(error));
    }
    std::uint32_t address;
    std::memcpy(&address, entry->h_addr_list[0], 4);
    return address;
}

std::uint16_t WSocketResolvePort(const AnsiString& Port, const AnsiString& Proto)
{
    if (Port.empty() || Port.size() >= 32)
        throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (Proto.empty() || Proto.size() >= 32)
        throw ESocketException("WSocketResolvePort: Invalid Proto.");
    if (IsDecimalDigit(Port[0])) {
        const int value = ParseDecimal(Port);
        if (value < 0 || value > 65535)
            throw ESocketException("WSocketResolvePort: Invalid Port.");
        return static_cast<std::uint16_t>(value);
    }
    const ws::servent* entry = WSocket_getservbyname(Port.c_str(), Proto.c_str());
    if (!entry)
        throw ESocketException("WSocketResolvePort: Cannot convert port '" + Port + "', Error #" +
                               IntToStr(WSocket_WSAGetLastError()));
    return WSocket_ntohs(static_cast<std::uint16_t>(entry->s_port));
}

int WSocketResolveProto(const AnsiString& Proto)
{
    if (Proto.empty() || Proto.size() >= 32)
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    if (IsDecimalDigit(Proto[0])) {
        const int value = ParseDecimal(Proto);
        if (value < 0 || value > 255)
            throw ESocketException("WSocketResolveProto: Invalid Protocol.");
        return value;
    }
    const ws::protoent* entry = WSocket_getprotobyname(Proto.c_str());
    if (!entry)
        throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + Proto + "', Error #" +
                               IntToStr(WSocket_WSAGetLastError()));
    return entry->p_proto;
}

// ================================================================================
// TCustomWSocket
// ================================================================================

namespace {

[[maybe_unused]] bool IsValidTransition(TSocketState from, TSocketState to)
{
    switch (to) {
    case wsClosed:
        return true;
    case wsOpened:
        return from == wsClosed;
    case wsBound:
        return from == wsClosed || from == wsOpened;
    case wsConnecting:
        return from == wsOpened;
    case wsListening:
        return from == wsBound;
    case wsConnected:
        return from == wsClosed || from == wsOpened || from == wsConnecting || from == wsListening;
    case wsInvalidState:
    case wsAccepting:
        return false;
    }
    return false;
}

}  // namespace

TCustomWSocket::TCustomWSocket(TComponent* AOwner) : TComponent(AOwner)
{
    FWindowHandle = AllocateHWnd([this](TMessage& Msg) { WndProc(Msg); });
    FChunkSize = 1460;
    MultiCastIpTTL = 1;
    TCustomWSocket::SetDefaults();
    ++gSocketCount;
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
    if (--gSocketCount < 1) {
        UnloadWinsockLibrary();
        gSocketCount = 0;
    }
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
void TCustomWSocket::AssignTarget(AnsiString& Field, bool& Assigned, bool& Resolved, const AnsiString& Value,
                                  const char* Name)
{
    const AnsiString v = Trim(Value);
    if (Assigned && v == Field)
        return;
    if (FState != wsClosed) {
        RaiseSocketException(AnsiString("Cannot change ") + Name + " if not closed");
        return;
    }
    Field = v;
    Assigned = true;
    Resolved = false;
}

void TCustomWSocket::SetAddr(const AnsiString& Value)
{
    AssignTarget(FAddrStr, FAddrAssigned, FAddrResolved, Value, "Addr");
}

void TCustomWSocket::SetPort(const AnsiString& Value)
{
    AssignTarget(FPortStr, FPortAssigned, FPortResolved, Value, "Port");
}

void TCustomWSocket::SetProto(const AnsiString& Value)
{
    AssignTarget(FProtoStr, FProtoAssigned, FProtoResolved, Value, "Proto");
}

void TCustomWSocket::SetLocalPort(const AnsiString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Cannot change LocalPort if not closed");
        return;
    }
    FLocalPortStr = Trim(Value);
    FLocalPortResolved = false;
}

void TCustomWSocket::SetLocalAddr(const AnsiString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Cannot change LocalAddr if not closed");
        return;
    }
    AnsiString v = Trim(Value);
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

void TCustomWSocket::RaiseSocketException(const AnsiString& Msg)
{
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(Msg);
}

void TCustomWSocket::SocketError(const AnsiString& SockFunc)
{
    const int error = WSocket_WSAGetLastError();
    const AnsiString line =
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
    if (OnBgException) {
        auto handler = OnBgException;
        handler(this, E, canClose);
    }
    if (canClose)
        Abort();
}

// --- events -------------------------------------------------------------------------

void TCustomWSocket::ChangeState(TSocketState NewState)
{
    const TSocketState old = FState;
    if (old == NewState)
        return;
    assert(IsValidTransition(old, NewState));
    FState = NewState;
    // A destructor calls nobody back.
    if (!FDestroying)
        TriggerChangeState(old, NewState);
}

bool TCustomWSocket::TriggerDataAvailable(std::uint16_t Error)
{
    if (!OnDataAvailable)
        return false;
    auto handler = OnDataAvailable;
    handler(this, Error);
    return true;
}

void TCustomWSocket::TriggerSessionAvailable(std::uint16_t Error)
{
    if (auto handler = OnSessionAvailable)
        handler(this, Error);
}

void TCustomWSocket::TriggerSessionConnected(std::uint16_t Error)
{
    if (auto handler = OnSessionConnected)
        handler(this, Error);
}

void TCustomWSocket::TriggerSessionClosed(std::uint16_t Error)
{
    if (auto handler = OnSessionClosed)
        handler(this, Error);
}

void TCustomWSocket::TriggerDataSent(std::uint16_t Error)
{
    if (auto handler = OnDataSent)
        handler(this, Error);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState)
{
    if (auto handler = OnChangeState)
        handler(this, OldState, NewState);
}

void TCustomWSocket::TriggerDnsLookupDone(std::uint16_t Error)
{
    if (auto handler = OnDnsLookupDone)
        handler(this, Error);
}

void TCustomWSocket::TriggerError()
{
    if (auto handler = OnError)
        handler(this);
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

void TCustomWSocket::LookupNotStarted(const AnsiString& Name)
{
    RaiseSocketExceptionFmt(Name + ": can't start DNS lookup, error #" + IntToStr(WSocket_WSAGetLastError()));
}

void TCustomWSocket::LookupHost(const AnsiString& HostName)
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

void TCustomWSocket::ReverseDnsLookup(const AnsiString& HostAddr)
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
bool TCustomWSocket::ResolveTarget(const AnsiString& Prefix, bool WithLocalPort)
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
    if (count > 0 && OnSendData) {
        auto handler = OnSendData;
        handler(this, count);
    }
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
    if (count > 0 && OnSendData) {
        auto handler = OnSendData;
        handler(this, count);
    }
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

AnsiString TCustomWSocket::ReceiveText()
{
    int count = GetRcvdCount();
    if (count < 0)
        return AnsiString();
    if (count == 0)
        count = 255;
    AnsiString text(static_cast<std::size_t>(count), '\0');
    const int received = Receive(text.data(), count);
    if (received <= 0)
        return AnsiString();
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

AnsiString TCustomWSocket::GetPeerAddr()
{
    TSockAddrIn peer{};
    return SocketAddress(true, peer, "GetPeerName") ? WSocket_inet_ntoa(peer.sin_addr) : AnsiString("error");
}

AnsiString TCustomWSocket::GetPeerPort()
{
    TSockAddrIn peer{};
    return SocketAddress(true, peer, "GetPeerPort") ? IntToStr(WSocket_ntohs(peer.sin_port)) : AnsiString("error");
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

AnsiString TCustomWSocket::GetLocalAddr()
{
    TSockAddrIn local{};
    return SocketAddress(false, local, "GetLocalAddr") ? WSocket_inet_ntoa(local.sin_addr) : AnsiString("error");
}

AnsiString TCustomWSocket::GetLocalPort()
{
    TSockAddrIn local{};
    return SocketAddress(false, local, "GetLocalPort") ? IntToStr(WSocket_ntohs(local.sin_port)) : AnsiString("error");
}

// ================================================================================
// TCustomSocksWSocket
// ================================================================================

namespace {

struct SocksReplyText {
    int code;
    int error;
    const char* text;
};

// SOCKS 5 reply codes 1 to 8.
constexpr SocksReplyText kSocks5Replies[] = {
    {1, socksGeneralFailure, "general SOCKS server failure"},
    {2, socksConnectionNotAllowed, "connection not allowed by ruleset"},
    {3, socksNetworkUnreachable, "network unreachable"},
    {4, socksHostUnreachable, "host unreachable"},
    {5, socksConnectionRefused, "connection refused"},
    {6, socksTtlExpired, "time to live expired"},
    {7, socksUnknownCommand, "command not supported"},
    {8, socksUnknownAddressType, "address type not supported"},
};

// SOCKS 4 reply codes other than 90 (granted).
constexpr SocksReplyText kSocks4Replies[] = {
    {91, socksRejectedOrFailed, "request rejected or failed"},
    {92, socksConnectionRefused, "connection refused"},
    {93, socksAuthenticationFailed, "authentification failed"},
};

constexpr std::size_t kSocksFieldMax = 255;  // SOCKS 5 carries lengths in one byte

AnsiString Ipv6Text(const unsigned char* b)
{
    static constexpr char kHex[] = "0123456789abcdef";
    AnsiString text;
    for (int i = 0; i < 16; i += 2) {
        if (i)
            text += ':';
        const unsigned value = (b[i] << 8) | b[i + 1];
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = (value >> shift) & 0xf;
            if (digit || started || shift == 0) {
                text += kHex[digit];
                started = true;
            }
        }
    }
    return text;
}

}  // namespace

TCustomSocksWSocket::TCustomSocksWSocket(TComponent* AOwner) : TCustomWSocket(AOwner) {}

void TCustomSocksWSocket::SetDefaults()
{
    TCustomWSocket::SetDefaults();
    FSocksServer.clear();
    FSocksPort.clear();
    FSocksLevel = "5";
    FSocksStep = TSocksStep::None;
    FRcvCnt = 0;
    FLeftover = 0;
    FLeftoverPos = 0;
}

void TCustomSocksWSocket::SetSocksStep(TSocksStep Step)
{
#ifndef NDEBUG
    const TSocksStep from = FSocksStep;
    bool valid = false;
    switch (Step) {
    case TSocksStep::None:
        valid = true;
        break;
    case TSocksStep::ConnectingServer:
        valid = from == TSocksStep::None;
        break;
    case TSocksStep::Authenticating:
        valid = from == TSocksStep::ConnectingServer;
        break;
    case TSocksStep::RequestSent:
        valid = from == TSocksStep::ConnectingServer || from == TSocksStep::Authenticating;
        break;
    }
    assert(valid);
#endif
    FSocksStep = Step;
}

void TCustomSocksWSocket::SetSocksLevel(const AnsiString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Can't change socks level if not closed");
        return;
    }
    if (Value != "4" && Value != "4A" && Value != "4a" && Value != "5") {
        RaiseSocketException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    FSocksLevel = UpperCase(Value);
}

void TCustomSocksWSocket::SetSocksServer(const AnsiString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Can't change socks server if not closed");
        return;
    }
    FSocksServer = Trim(Value);
}

void TCustomSocksWSocket::SetSocksPort(const AnsiString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Can't change socks port if not closed");
        return;
    }
    FSocksPort = Trim(Value);
}

void TCustomSocksWSocket::Listen()
{
    if (!FSocksServer.empty()) {
        RaiseSocketException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::Connect()
{
    // The plain checks (socket in use, Port and Addr missing) come first.
    if (FSocksServer.empty() || (FHSocket != ws::INVALID_SOCKET && FState != wsClosed) || !FPortAssigned ||
        !FAddrAssigned || !FProtoAssigned) {
        TCustomWSocket::Connect();
        return;
    }
    if (LowerCase(FProtoStr) != "tcp") {
        RaiseSocketException("tcp is the only protocol supported thru socks server");
        return;
    }
    // SOCKS 5 sends these with a one-byte length: longer ones are refused
    // rather than sent with a wrong length.
    if (SocksLevelIs5()) {
        if (FAddrStr.size() > kSocksFieldMax) {
            RaiseSocketException("Socks host name too long (255 bytes at most)");
            return;
        }
        if (SocksAuthentication == socksAuthenticateUsercode && SocksUsercode.size() > kSocksFieldMax) {
            RaiseSocketException("Socks usercode too long (255 bytes at most)");
            return;
        }
        if (SocksAuthentication == socksAuthenticateUsercode && SocksPassword.size() > kSocksFieldMax) {
            RaiseSocketException("Socks password too long (255 bytes at most)");
            return;
        }
    }
    try {
        if (!FPortResolved) {
            Fsin.sin_port = WSocket_htons(WSocketResolvePort(FSocksPort, FProtoStr));
            FPortResolved = true;
        }
        if (!FAddrResolved) {
            Fsin.sin_addr.s_addr = WSocketResolveHost(FSocksServer);
            FAddrResolved = true;
        }
        FTargetPort = WSocket_htons(WSocketResolvePort(FPortStr, FProtoStr));
    } catch (const std::exception& E) {
        RaiseSocketException(AnsiString("connect: ") + E.what());
        return;
    }
    SetSocksStep(TSocksStep::ConnectingServer);
    FRcvCnt = 0;
    FLeftover = 0;
    FLeftoverPos = 0;
    TCustomWSocket::Connect();
}

void TCustomSocksWSocket::TriggerSocksConnected(std::uint16_t Error)
{
    if (auto handler = OnSocksConnected)
        handler(this, Error);
}

void TCustomSocksWSocket::TriggerSocksError(int Error, const AnsiString& Msg)
{
    if (auto handler = OnSocksError)
        handler(this, Error, Msg);
}

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState AuthState)
{
    if (auto handler = OnSocksAuthState)
        handler(this, AuthState);
}

void TCustomSocksWSocket::TriggerSessionConnected(std::uint16_t Error)
{
    if (FSocksStep != TSocksStep::ConnectingServer) {
        TCustomWSocket::TriggerSessionConnected(Error);
        return;
    }
    TriggerSocksConnected(Error);
    if (Error != 0) {
        SetSocksStep(TSocksStep::None);
        TCustomWSocket::TriggerSessionConnected(Error);
        return;
    }
    if (FState != wsConnected || FSocksStep != TSocksStep::ConnectingServer)
        return;  // the handler closed the socket
    if (SocksLevelIs5()) {
        FSocksRequestedMethod = SocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
        const char offer[3] = {5, 1, static_cast<char>(FSocksRequestedMethod)};
        Send(offer, sizeof offer);
    } else {
        SendSocks4Request();
    }
}

void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t Error)
{
    if (FSocksStep == TSocksStep::Authenticating)
        TriggerSocksAuthState(authFailed);
    TCustomWSocket::TriggerSessionClosed(Error);
}

void TCustomSocksWSocket::SendSocks5Request()
{
    AnsiString request;
    request += '\x05';  // version
    request += '\x01';  // CONNECT
    request += '\x00';
    request += '\x03';  // the destination as a name, never resolved here
    request += static_cast<char>(FAddrStr.size());
    request += FAddrStr;
    request.append(reinterpret_cast<const char*>(&FTargetPort), 2);
    SetSocksStep(TSocksStep::RequestSent);
    SendStr(request);
}

void TCustomSocksWSocket::SendSocks5Authenticate()
{
    SetSocksStep(TSocksStep::Authenticating);
    TriggerSocksAuthState(authStarted);
    if (FState != wsConnected || FSocksStep != TSocksStep::Authenticating)
        return;
    AnsiString request;
    request += '\x01';
    request += static_cast<char>(SocksUsercode.size());
    request += SocksUsercode;
    request += static_cast<char>(SocksPassword.size());
    request += SocksPassword;
    SendStr(request);
}

void TCustomSocksWSocket::SendSocks4Request()
{
    std::uint32_t address;
    if (FSocksLevel == "4A")
        address = ws::htonl(1);  // 0.0.0.1: the server resolves the name that follows
    else
        address = WSocketResolveHost(FAddrStr);
    AnsiString request;
    request += '\x04';
    request += '\x01';  // CONNECT
    request.append(reinterpret_cast<const char*>(&FTargetPort), 2);
    request.append(reinterpret_cast<const char*>(&address), 4);
    request += SocksUsercode;
    request += '\0';
    if (FSocksLevel == "4A") {
        request += FAddrStr;
        request += '\0';
    }
    SetSocksStep(TSocksStep::RequestSent);
    SendStr(request);
}

bool TCustomSocksWSocket::TriggerDataAvailable(std::uint16_t Error)
{
    if (FSocksStep == TSocksStep::None)
        return TCustomWSocket::TriggerDataAvailable(Error);
    if (Error != 0) {
        SocksFailed(Error, "data receive error");
        return true;
    }
    const int room = static_cast<int>(sizeof FRcvBuf) - FRcvCnt;
    if (room <= 0) {
        // Never read with no room: the socket would stay readable for ever.
        SocksFailed(socksProtocolError, "too much data availaible");
        return true;
    }
    const int count = TCustomWSocket::RawReceive(FRcvBuf + FRcvCnt, room, 0);
    if (count < 0) {
        FLastError = WSocket_WSAGetLastError();
        return true;
    }
    if (count == 0)
        return true;
    FRcvCnt += count;
    for (;;) {
        const TSocksStep step = FSocksStep;
        switch (step) {
        case TSocksStep::ConnectingServer:
            HandleSocks5MethodReply();
            break;
        case TSocksStep::Authenticating:
            HandleSocks5AuthReply();
            break;
        case TSocksStep::RequestSent:
            if (SocksLevelIs5())
                HandleSocks5Reply();
            else
                HandleSocks4Reply();
            break;
        case TSocksStep::None:
            SocksFailed(socksInternalError, "internal error");
            break;
        }
        // A server may send its next reply in the same packet as the method
        // reply: the bytes kept behind it go to the step that follows.
        if (FSocksStep == step || FSocksStep == TSocksStep::None || FRcvCnt == 0 || FState != wsConnected)
            break;
    }
    return true;
}

void TCustomSocksWSocket::HandleSocks5MethodReply()
{
    if (FRcvCnt < 2)
        return;
    const char version = FRcvBuf[0];
    const auto method = static_cast<unsigned char>(FRcvBuf[1]);
    FRcvCnt -= 2;
    std::memmove(FRcvBuf, FRcvBuf + 2, static_cast<std::size_t>(FRcvCnt));
    if (!SocksLevelIs5()) {
        SocksFailed(socksProtocolError, "TWSocket logic error");
        return;
    }
    if (version != 5) {
        SocksFailed(socksVersionError, "socks version error");
        return;
    }
    if (method == 0) {
        if (FSocksRequestedMethod != 0) {
            TriggerSocksAuthState(authNotRequired);
            if (FState != wsConnected || FSocksStep != TSocksStep::ConnectingServer)
                return;
        }
        SendSocks5Request();
    } else if (method == 2) {
        SendSocks5Authenticate();
    } else {
        SocksFailed(socksAuthMethodError, "authentification method not acceptable");
    }
}

void TCustomSocksWSocket::HandleSocks5AuthReply()
{
    if (FRcvBuf[0] != 1) {
        SocksFailed(socksVersionError, "socks version error");
        return;
    }
    if (FRcvCnt > 2) {
        SocksFailed(socksProtocolError, "too much data availaible");
        return;
    }
    if (FRcvCnt < 2)
        return;
    if (FRcvBuf[1] != 0) {
        SocksFailed(socksAuthenticationFailed, "socks authentication failed");
        return;
    }
    FRcvCnt = 0;
    TriggerSocksAuthState(authSucceeded);
    if (FState != wsConnected || FSocksStep != TSocksStep::Authenticating)
        return;
    SendSocks5Request();
}

void TCustomSocksWSocket::HandleSocks5Reply()
{
    const auto* reply = reinterpret_cast<const unsigned char*>(FRcvBuf);
    if (reply[0] != 5) {
        SocksFailed(socksVersionError, "socks version error");
        return;
    }
    if (FRcvCnt < 2)
        return;
    if (reply[1] != 0) {
        for (const SocksReplyText& r : kSocks5Replies) {
            if (r.code == reply[1]) {
                SocksFailed(r.error, r.text);
                return;
            }
        }
        SocksFailed(socksUnassignedError, "unassigned error #" + IntToStr(reply[1]));
        return;
    }
    if (FRcvCnt < 5)
        return;
    int length;
    switch (reply[3]) {
    case 1:
        length = 10;
        break;
    case 3:
        length = reply[4] + 7;
        break;
    case 4:
        length = 22;  // a server that reached the destination over IPv6
        break;
    default:
        SocksFailed(socksUnknownAddressType, "address type not supported");
        return;
    }
    if (FRcvCnt < length)
        return;
    switch (reply[3]) {
    case 1:
        FBoundAddr = IntToStr(reply[4]) + "." + IntToStr(reply[5]) + "." + IntToStr(reply[6]) + "." + IntToStr(reply[7]);
        break;
    case 3:
        FBoundAddr.assign(FRcvBuf + 5, reply[4]);
        break;
    default:
        FBoundAddr = Ipv6Text(reply + 4);
        break;
    }
    FBoundPort = IntToStr((reply[length - 2] << 8) | reply[length - 1]);
    SocksDone(length);
}

void TCustomSocksWSocket::HandleSocks4Reply()
{
    if (FRcvCnt < 8)
        return;
    const auto* reply = reinterpret_cast<const unsigned char*>(FRcvBuf);
    if (reply[0] != 0) {
        FRcvCnt = 0;
        SocksFailed(socksVersionError, "socks version error");
        return;
    }
    if (reply[1] == 90) {
        SocksDone(8);
        return;
    }
    FRcvCnt = 0;
    for (const SocksReplyText& r : kSocks4Replies) {
        if (r.code == reply[1]) {
            SocksFailed(r.error, r.text);
            return;
        }
    }
    SocksFailed(socksUnassignedError, "unassigned error #" + IntToStr(reply[1]));
}

void TCustomSocksWSocket::SocksDone(int ReplyLength)
{
    // Bytes that came behind the reply in the same read belong to the user.
    FLeftover = std::max(0, FRcvCnt - ReplyLength);
    FLeftoverPos = ReplyLength;
    FRcvCnt = 0;
    SetSocksStep(TSocksStep::None);
    TCustomWSocket::TriggerSessionConnected(0);
    if (FState != wsConnected)
        return;
    if (FLeftover > 0)
        TriggerDataAvailable(0);
}

void TCustomSocksWSocket::SocksFailed(int Error, const AnsiString& Msg)
{
    TriggerSocksError(Error, Msg);
    SetSocksStep(TSocksStep::None);
    TCustomWSocket::TriggerSessionConnected(static_cast<std::uint16_t>(Error));
    CloseAndNotify(true, static_cast<std::uint16_t>(Error));
}

int TCustomSocksWSocket::GetRcvdCount()
{
    if (FLeftover > 0)
        return FLeftover;
    return TCustomWSocket::GetRcvdCount();
}

int TCustomSocksWSocket::RawReceive(void* Buffer, int BufferSize, int Flags)
{
    if (FLeftover > 0 && BufferSize > 0) {
        const int count = std::min(BufferSize, FLeftover);
        std::memcpy(Buffer, FRcvBuf + FLeftoverPos, static_cast<std::size_t>(count));
        FLeftoverPos += count;
        FLeftover -= count;
        return count;
    }
    return TCustomWSocket::RawReceive(Buffer, BufferSize, Flags);
}

// ================================================================================
// TCustomLineWSocket
// ================================================================================

TCustomLineWSocket::TCustomLineWSocket(TComponent* AOwner) : TCustomSocksWSocket(AOwner) {}

void TCustomLineWSocket::SetDefaults()
{
    TCustomSocksWSocket::SetDefaults();
    FRcvdPtr.clear();
    FRcvdPtr.shrink_to_fit();
    FLineLength = 0;
    FLineClearData = true;
}

bool TCustomLineWSocket::LineModeActive() const
{
    return FLineMode && !LineEnd.empty() && !SocksHandshakeRunning();
}

void TCustomLineWSocket::SetLineMode(bool Value)
{
    if (FLineMode == Value)
        return;
    FLineMode = Value;
    // What is held is handed out again under the new mode, once the current
    // handler has returned.
    if (!FRcvdPtr.empty() || FLineLength > 0)
        PostMessage(FWindowHandle, WM_TRIGGER_DATA_AVAILABLE, 0, 0);
}

void TCustomLineWSocket::MessageHandler(TMessage& Msg)
{
    if (Msg.Msg == WM_TRIGGER_DATA_AVAILABLE) {
        RedeliverHeld();
        return;
    }
    TCustomSocksWSocket::MessageHandler(Msg);
}

void TCustomLineWSocket::RedeliverHeld()
{
    const auto alive = AliveFlag();
    while (!FRcvdPtr.empty() && FLineLength == 0) {
        if (LineModeActive()) {
            DeliverLines(0);
            if (*alive)
                CheckLineLimit();
            return;
        }
        const std::size_t before = FRcvdPtr.size();
        if (!TriggerDataAvailable(0)) {
            FRcvdPtr.clear();  // nobody takes data: it goes, as it would from the socket
            return;
        }
        if (!*alive || FRcvdPtr.size() == before)
            return;  // a handler that took nothing reads the rest when it wants
    }
}

int TCustomLineWSocket::GetRcvdCount()
{
    if (FLineMode)
        return FLineLength;
    if (!FRcvdPtr.empty())
        return static_cast<int>(FRcvdPtr.size());
    return TCustomSocksWSocket::GetRcvdCount();
}

int TCustomLineWSocket::RawReceive(void* Buffer, int BufferSize, int Flags)
{
    if (BufferSize <= 0)
        return TCustomSocksWSocket::RawReceive(Buffer, BufferSize, Flags);
    std::size_t count = 0;
    if (FLineMode && FLineLength > 0) {
        count = std::min<std::size_t>(static_cast<std::size_t>(BufferSize), static_cast<std::size_t>(FLineLength));
        FLineLength -= static_cast<int>(count);
    } else if (!FLineMode && !FRcvdPtr.empty()) {
        count = std::min<std::size_t>(static_cast<std::size_t>(BufferSize), FRcvdPtr.size());
    } else {
        return TCustomSocksWSocket::RawReceive(Buffer, BufferSize, Flags);
    }
    std::memcpy(Buffer, FRcvdPtr.data(), count);
    FRcvdPtr.erase(0, count);
    return static_cast<int>(count);
}

void TCustomLineWSocket::TriggerLineLimitExceeded(int Cnt, bool& ClearData)
{
    if (auto handler = OnLineLimitExceeded)
        handler(this, Cnt, ClearData);
}

std::size_t TCustomLineWSocket::EditLine(std::size_t From)
{
    // A line still being read by a handler further up is not edited.
    const std::size_t floor = static_cast<std::size_t>(FLineLength);
    AnsiString edited = FRcvdPtr.substr(0, From);
    AnsiString echo;
    std::size_t lowest = From;
    bool changed = false;
    for (std::size_t i = From; i < FRcvdPtr.size(); ++i) {
        const char c = FRcvdPtr[i];
        if (c == '\b') {
            changed = true;
            if (edited.size() > floor) {
                if (LineEcho)
                    echo += "\b \b";
                edited.pop_back();
                lowest = std::min(lowest, edited.size());
            }
        } else if (c == '\t') {
            changed = true;
            const std::size_t next = (edited.size() / 8 + 1) * 8;
            const std::size_t blanks = next - edited.size();
            edited.append(blanks, ' ');
            if (LineEcho)
                echo.append(blanks, ' ');
        } else {
            edited += c;
            if (LineEcho)
                echo += c;
        }
    }
    if (changed)
        FRcvdPtr = std::move(edited);
    if (!echo.empty() && FState == wsConnected)
        SendStr(echo);
    return changed ? lowest : From;
}

bool TCustomLineWSocket::TriggerDataAvailable(std::uint16_t Error)
{
    if (!LineModeActive())
        return TCustomSocksWSocket::TriggerDataAvailable(Error);
    int count = TCustomSocksWSocket::GetRcvdCount();
    if (count < 0)
        return true;
    if (count == 0)
        count = 255;
    const std::size_t held = FRcvdPtr.size();
    FRcvdPtr.resize(held + static_cast<std::size_t>(count));
    const int received = TCustomSocksWSocket::RawReceive(FRcvdPtr.data() + held, count, 0);
    if (received <= 0) {
        FRcvdPtr.resize(held);
        if (received < 0)
            FLastError = WSocket_WSAGetLastError();
        return true;
    }
    FRcvdPtr.resize(held + static_cast<std::size_t>(received));

    const auto alive = AliveFlag();
    std::size_t changed = held;
    if (LineEdit) {
        changed = EditLine(held);
    } else if (LineEcho && FState == wsConnected) {
        const AnsiString echo = FRcvdPtr.substr(held);
        SendStr(echo);
    }
    if (!*alive || !LineModeActive())
        return true;
    changed = std::min(changed, FRcvdPtr.size());

    // A handler further up is still reading its line (it pumped messages):
    // the new bytes wait for its delivery loop.
    if (FLineLength > 0) {
        CheckLineLimit();
        return true;
    }
    DeliverLines(changed >= LineEnd.size() ? changed - LineEnd.size() : 0);
    if (*alive)
        CheckLineLimit();
    return true;
}

void TCustomLineWSocket::DeliverLines(std::size_t Start)
{
    const auto alive = AliveFlag();
    std::size_t from = Start;
    while (LineModeActive()) {
        const std::size_t pos = FRcvdPtr.find(LineEnd, from);
        if (pos == AnsiString::npos)
            break;
        FLineLength = static_cast<int>(pos + LineEnd.size());
        OfferLine();
        if (!*alive)
            return;
        if (!LineModeActive()) {
            // Switched off inside the handler: what it left of the line stays held.
            FLineLength = 0;
            break;
        }
        from = 0;
    }
}

void TCustomLineWSocket::OfferLine()
{
    const auto alive = AliveFlag();
    while (FLineLength > 0) {
        const int before = FLineLength;
        bool handled;
        try {
            handled = TCustomSocksWSocket::TriggerDataAvailable(0);
        } catch (...) {
            if (*alive) {
                FRcvdPtr.erase(0, std::min<std::size_t>(static_cast<std::size_t>(FLineLength), FRcvdPtr.size()));
                FLineLength = 0;
            }
            throw;
        }
        if (!*alive || !FLineMode)
            return;
        // No handler, or one that did not read its line: the line goes, so
        // that it is not offered for ever.
        if (!handled || FLineLength == before) {
            FRcvdPtr.erase(0, std::min<std::size_t>(static_cast<std::size_t>(FLineLength), FRcvdPtr.size()));
            FLineLength = 0;
        }
    }
}

void TCustomLineWSocket::CheckLineLimit()
{
    if (LineLimit <= 0 || FRcvdPtr.size() <= static_cast<std::size_t>(LineLimit))
        return;
    bool clearData = true;
    TriggerLineLimitExceeded(static_cast<int>(std::min<std::size_t>(FRcvdPtr.size(), INT_MAX)), clearData);
    FLineClearData = clearData;
    if (clearData) {
        FRcvdPtr.clear();
        FLineLength = 0;
    }
}

void TCustomLineWSocket::TriggerSessionClosed(std::uint16_t Error)
{
    const auto alive = AliveFlag();
    if (!FRcvdPtr.empty()) {
        // The last bytes are a line of their own; a line that a handler
        // further up is still reading is left to it.
        if (FLineMode && FLineClearData && FLineLength == 0) {
            FLineLength = static_cast<int>(FRcvdPtr.size());
            OfferLine();
            if (!*alive)
                return;
        }
        FRcvdPtr.clear();
        FRcvdPtr.shrink_to_fit();
        FLineLength = 0;
    }
    TCustomSocksWSocket::TriggerSessionClosed(Error);
}

// ================================================================================
// TCustomSyncWSocket
// ================================================================================

TCustomSyncWSocket::TCustomSyncWSocket(TComponent* AOwner) : TCustomLineWSocket(AOwner) {}

int TCustomSyncWSocket::WaitForFlag(bool& Flag)
{
    const auto alive = AliveFlag();
    const std::uint32_t start = GetTickCount();
    while (!Flag) {
        int waitMs = 50;
        if (WaitTimeout > 0) {
            const std::uint32_t elapsed = GetTickCount() - start;  // wraps correctly
            if (elapsed >= static_cast<std::uint32_t>(WaitTimeout))
                return WSA_WSOCKET_TIMEOUT;
            waitMs = static_cast<int>(std::min<std::uint32_t>(50, static_cast<std::uint32_t>(WaitTimeout) - elapsed));
        }
        if (FTerminated || ApplicationTerminated())
            return WSA_WSOCKET_TIMEOUT;
        WaitForEvents(std::max(waitMs, 1));
        // The object may have been freed by a message run in the wait; the
        // flag then belongs to a caller that is gone too.
        if (!*alive)
            return WSA_WSOCKET_TIMEOUT;
    }
    return 0;
}

int TCustomSyncWSocket::CallAndWait(const std::function<void()>& Proc, bool& Flag)
{
    Flag = false;
    if (Proc)
        Proc();
    return WaitForFlag(Flag);
}
