// The socket layer's way to Winsock: the address and port text helpers, the
// error texts, the entry points resolved by name from "wsock32.dll", and the
// blocking resolution of hosts, ports and protocols.
#include "transport/WSocket.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/Library.h"

namespace ws = winsock;

// ================================================================================
// Text helpers
// ================================================================================

bool IsDecimalDigit(char C)
{
    return C >= '0' && C <= '9';
}

int ParseDecimal(const CodePageString& S)
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

bool IsDottedAddress(const CodePageString& S)
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

CodePageString WinsockErrorText(int ErrCode)
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

void* LoadWinsockEntry(const CodePageString& ProcName)
{
    if (gLibraryHandle == 0) {
        RegisterWinsockLibrary();
        gLibraryHandle = LoadLibrary(kWinsockDll);
        if (gLibraryHandle == 0)
            throw ESocketException("Unable to load " + CodePageString(kWinsockDll) + " Error #" + IntToStr(kModuleNotFound));
        auto startup = reinterpret_cast<decltype(&ws::WSAStartup)>(GetProcAddress(gLibraryHandle, "WSAStartup"));
        const int result = startup ? startup(0x0101, &gStartupData) : kProcNotFound;
        if (result != 0)
            throw ESocketException(CodePageString(kWinsockDll) + ": WSAStartup error #" + IntToStr(result));
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

void HoldWinsockLibrary()
{
    ++gSocketCount;
}

void ReleaseWinsockLibrary()
{
    if (--gSocketCount < 1) {
        UnloadWinsockLibrary();
        gSocketCount = 0;
    }
}

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
CodePageString WSocket_inet_ntoa(ws::in_addr InAddr)
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

std::uint32_t WSocketResolveHost(const CodePageString& Host)
{
    if (Host.empty() || Host.size() >= 257)
        throw ESocketException("WSocketResolveHost: '" + Host + "' Invalid Hostname.");
    if (IsDottedAddress(Host)) {
        const CodePageString dotted = Trim(Host);
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

std::uint16_t WSocketResolvePort(const CodePageString& Port, const CodePageString& Proto)
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

int WSocketResolveProto(const CodePageString& Proto)
{
    if (Proto.empty() || Proto.size() >= 32)
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    if (IsDecimalDigit(Proto[0])) {
        const int value = ParseDecimal(Proto);
        if (value < 0 || value > 255)
            throw ESocketException("WSocketResolveProto: Invalid Protocol.");
        return value;
    }
    // A name is looked up once: the lookup reads the system's protocol table
    // from its file, and every socket asks for "tcp" again.
    static std::mutex cacheLock;
    static std::map<CodePageString, int> known;
    {
        const std::lock_guard lock(cacheLock);
        if (const auto found = known.find(Proto); found != known.end())
            return found->second;
    }
    const ws::protoent* entry = WSocket_getprotobyname(Proto.c_str());
    if (!entry)
        throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + Proto + "', Error #" +
                               IntToStr(WSocket_WSAGetLastError()));
    const int number = entry->p_proto;
    const std::lock_guard lock(cacheLock);
    known.emplace(Proto, number);
    return number;
}
