// Windows Sockets 1.1 over POSIX sockets.
//
// The names, structures, constants and error numbers are those of Winsock 1.1;
// the socket layer reaches them by name through the built-in library
// "wsock32.dll" (RegisterWinsockLibrary). Socket handles are our own numbers,
// never reused, so a notification still queued for a closed socket can never
// be mistaken for one of a newer socket.
//
// WSAAsyncSelect posts its notifications to a message window the way Winsock
// does:
//   - FD_CONNECT comes first, once, with the outcome of the connect;
//   - FD_READ comes once per arrival and is re-armed by recv and recvfrom;
//   - FD_ACCEPT likewise, re-armed by accept;
//   - FD_WRITE comes once when the socket is connected (or accepted, or is a
//     datagram socket), and again only after a send that would have blocked
//     has room again;
//   - FD_CLOSE comes once, with 0 for an orderly close by the peer and
//     WSAECONNRESET for a reset.
// An event that happens while the socket is not selected for it is kept and
// posted by the next WSAAsyncSelect that asks for it.
//
// Name lookups (WSAAsyncGetHostByName, WSAAsyncGetHostByAddr) run the resolver
// hook (platform/Hooks.h) on a worker thread; the reply is delivered on the
// GUI thread, from the queue, to the window that asked.
//
// Everything except the lookups' worker runs on the GUI thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Messages.h"

// The C library defines some of these names as macros. The Winsock names are
// declared with the macros set aside, so this header may be included before or
// after the POSIX socket headers; in a file that includes both, the POSIX
// macros win, and such a file uses the Winsock constants by value only through
// the socket layer.
#pragma push_macro("AF_INET")
#pragma push_macro("PF_INET")
#pragma push_macro("AF_UNSPEC")
#pragma push_macro("SOCK_STREAM")
#pragma push_macro("SOCK_DGRAM")
#pragma push_macro("SOCK_RAW")
#pragma push_macro("IPPROTO_IP")
#pragma push_macro("IPPROTO_TCP")
#pragma push_macro("IPPROTO_UDP")
#pragma push_macro("SOL_SOCKET")
#pragma push_macro("SO_DEBUG")
#pragma push_macro("SO_REUSEADDR")
#pragma push_macro("SO_KEEPALIVE")
#pragma push_macro("SO_DONTROUTE")
#pragma push_macro("SO_BROADCAST")
#pragma push_macro("SO_LINGER")
#pragma push_macro("SO_OOBINLINE")
#pragma push_macro("SO_SNDBUF")
#pragma push_macro("SO_RCVBUF")
#pragma push_macro("SO_ERROR")
#pragma push_macro("SO_TYPE")
#pragma push_macro("TCP_NODELAY")
#pragma push_macro("IP_MULTICAST_IF")
#pragma push_macro("IP_MULTICAST_TTL")
#pragma push_macro("IP_MULTICAST_LOOP")
#pragma push_macro("IP_ADD_MEMBERSHIP")
#pragma push_macro("IP_DROP_MEMBERSHIP")
#pragma push_macro("INADDR_ANY")
#pragma push_macro("INADDR_NONE")
#pragma push_macro("INADDR_LOOPBACK")
#pragma push_macro("INADDR_BROADCAST")
#pragma push_macro("FIONREAD")
#pragma push_macro("FIONBIO")
#pragma push_macro("MSG_OOB")
#pragma push_macro("MSG_PEEK")
#pragma push_macro("MSG_DONTROUTE")
#pragma push_macro("SOMAXCONN")
#pragma push_macro("htons")
#pragma push_macro("ntohs")
#pragma push_macro("htonl")
#pragma push_macro("ntohl")
#undef AF_INET
#undef PF_INET
#undef AF_UNSPEC
#undef SOCK_STREAM
#undef SOCK_DGRAM
#undef SOCK_RAW
#undef IPPROTO_IP
#undef IPPROTO_TCP
#undef IPPROTO_UDP
#undef SOL_SOCKET
#undef SO_DEBUG
#undef SO_REUSEADDR
#undef SO_KEEPALIVE
#undef SO_DONTROUTE
#undef SO_BROADCAST
#undef SO_LINGER
#undef SO_OOBINLINE
#undef SO_SNDBUF
#undef SO_RCVBUF
#undef SO_ERROR
#undef SO_TYPE
#undef TCP_NODELAY
#undef IP_MULTICAST_IF
#undef IP_MULTICAST_TTL
#undef IP_MULTICAST_LOOP
#undef IP_ADD_MEMBERSHIP
#undef IP_DROP_MEMBERSHIP
#undef INADDR_ANY
#undef INADDR_NONE
#undef INADDR_LOOPBACK
#undef INADDR_BROADCAST
#undef FIONREAD
#undef FIONBIO
#undef MSG_OOB
#undef MSG_PEEK
#undef MSG_DONTROUTE
#undef SOMAXCONN
#undef htons
#undef ntohs
#undef htonl
#undef ntohl

namespace winsock {

using SOCKET = std::uintptr_t;
using HANDLE = std::uintptr_t;  // an asynchronous request; 0 is none
using WORD = std::uint16_t;
using u_short = std::uint16_t;
using u_long = std::uint32_t;

constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_UNSPEC = 0;
constexpr int AF_INET = 2;
constexpr int PF_INET = AF_INET;

constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int SOCK_RAW = 3;

constexpr int IPPROTO_IP = 0;
constexpr int IPPROTO_TCP = 6;
constexpr int IPPROTO_UDP = 17;

constexpr int SOL_SOCKET = 0xffff;
constexpr int SO_DEBUG = 0x0001;
constexpr int SO_REUSEADDR = 0x0004;
constexpr int SO_KEEPALIVE = 0x0008;
constexpr int SO_DONTROUTE = 0x0010;
constexpr int SO_BROADCAST = 0x0020;
constexpr int SO_LINGER = 0x0080;
constexpr int SO_OOBINLINE = 0x0100;
constexpr int SO_SNDBUF = 0x1001;
constexpr int SO_RCVBUF = 0x1002;
constexpr int SO_ERROR = 0x1007;
constexpr int SO_TYPE = 0x1008;

constexpr int TCP_NODELAY = 0x0001;

// Option numbers of the 1.1 library for IPPROTO_IP.
constexpr int IP_MULTICAST_IF = 2;
constexpr int IP_MULTICAST_TTL = 3;
constexpr int IP_MULTICAST_LOOP = 4;
constexpr int IP_ADD_MEMBERSHIP = 5;
constexpr int IP_DROP_MEMBERSHIP = 6;

constexpr u_long INADDR_ANY = 0x00000000;
constexpr u_long INADDR_LOOPBACK = 0x7f000001;
constexpr u_long INADDR_BROADCAST = 0xffffffff;
constexpr u_long INADDR_NONE = 0xffffffff;

constexpr long FIONREAD = 0x4004667f;
constexpr long FIONBIO = static_cast<long>(0x8004667eu);

constexpr int MSG_OOB = 0x1;
constexpr int MSG_PEEK = 0x2;
constexpr int MSG_DONTROUTE = 0x4;

constexpr int SOMAXCONN = 5;

constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

// WSAAsyncSelect event bits.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

constexpr int MAXGETHOSTSTRUCT = 1024;

// Error numbers.
constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

struct in_addr {
    u_long s_addr;  // network byte order
};

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    std::int16_t sin_family;
    u_short sin_port;  // network byte order
    in_addr sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16);

struct linger {
    u_short l_onoff;
    u_short l_linger;  // seconds
};

struct ip_mreq {
    in_addr imr_multiaddr;
    in_addr imr_interface;
};

struct hostent {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list;  // h_length bytes each, network order; ends with nullptr
};

struct servent {
    char* s_name;
    char** s_aliases;
    std::int16_t s_port;  // network byte order
    char* s_proto;
};

struct protoent {
    char* p_name;
    char** p_aliases;
    std::int16_t p_proto;
};

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    u_short iMaxSockets;
    u_short iMaxUdpDg;
    char* lpVendorInfo;
};

// The reply of an asynchronous lookup and the notification of WSAAsyncSelect.
constexpr LPARAM WSAMAKEASYNCREPLY(int bufLen, int error)
{
    return static_cast<LPARAM>((static_cast<std::uint32_t>(error & 0xffff) << 16) | (bufLen & 0xffff));
}
constexpr LPARAM WSAMAKESELECTREPLY(long event, int error)
{
    return static_cast<LPARAM>((static_cast<std::uint32_t>(error & 0xffff) << 16) | (event & 0xffff));
}
constexpr int WSAGETASYNCERROR(LPARAM lParam) { return static_cast<int>((lParam >> 16) & 0xffff); }
constexpr int WSAGETASYNCBUFLEN(LPARAM lParam) { return static_cast<int>(lParam & 0xffff); }
constexpr long WSAGETSELECTEVENT(LPARAM lParam) { return static_cast<long>(lParam & 0xffff); }
constexpr int WSAGETSELECTERROR(LPARAM lParam) { return static_cast<int>((lParam >> 16) & 0xffff); }

// --- the entry points of the library ---------------------------------------

int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
void WSASetLastError(int error);
int WSAGetLastError();
int WSACancelAsyncRequest(HANDLE request);
HANDLE WSAAsyncGetHostByName(HWND wnd, UINT msg, const char* name, char* buf, int bufLen);
HANDLE WSAAsyncGetHostByAddr(HWND wnd, UINT msg, const char* addr, int len, int type, char* buf, int bufLen);
int WSAAsyncSelect(SOCKET s, HWND wnd, UINT msg, long events);

servent* getservbyname(const char* name, const char* proto);
protoent* getprotobyname(const char* name);
// Blocking; the result lives until the next call on the same thread.
hostent* gethostbyname(const char* name);

SOCKET socket(int af, int type, int protocol);
int shutdown(SOCKET s, int how);
int setsockopt(SOCKET s, int level, int optName, const char* optVal, int optLen);
int getsockopt(SOCKET s, int level, int optName, char* optVal, int* optLen);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int toLen);
int send(SOCKET s, const char* buf, int len, int flags);
int listen(SOCKET s, int backlog);
int ioctlsocket(SOCKET s, long cmd, u_long* argp);
int getsockname(SOCKET s, sockaddr* name, int* nameLen);
int getpeername(SOCKET s, sockaddr* name, int* nameLen);
int connect(SOCKET s, const sockaddr* name, int nameLen);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr* name, int nameLen);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrLen);
int recv(SOCKET s, char* buf, int len, int flags);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromLen);

u_short htons(u_short v);
u_short ntohs(u_short v);
u_long htonl(u_long v);
u_long ntohl(u_long v);
// The dotted text lives until the next call on the same thread.
char* inet_ntoa(in_addr in);
u_long inet_addr(const char* cp);

}  // namespace winsock

// The entry points above by their Winsock names.
std::vector<std::pair<std::string, void*>> WinsockEntryPoints();
// Registers the entry points as the built-in library "wsock32.dll" (once;
// later calls do nothing, so a test may register a table of its own after).
void RegisterWinsockLibrary();
// The Winsock number for a POSIX errno value (WSAEINVAL for one without a
// Winsock counterpart).
int WinsockErrorFromErrno(int error);
// Sockets of the emulation still open (tests).
int WinsockOpenSocketCount();

#pragma pop_macro("AF_INET")
#pragma pop_macro("PF_INET")
#pragma pop_macro("AF_UNSPEC")
#pragma pop_macro("SOCK_STREAM")
#pragma pop_macro("SOCK_DGRAM")
#pragma pop_macro("SOCK_RAW")
#pragma pop_macro("IPPROTO_IP")
#pragma pop_macro("IPPROTO_TCP")
#pragma pop_macro("IPPROTO_UDP")
#pragma pop_macro("SOL_SOCKET")
#pragma pop_macro("SO_DEBUG")
#pragma pop_macro("SO_REUSEADDR")
#pragma pop_macro("SO_KEEPALIVE")
#pragma pop_macro("SO_DONTROUTE")
#pragma pop_macro("SO_BROADCAST")
#pragma pop_macro("SO_LINGER")
#pragma pop_macro("SO_OOBINLINE")
#pragma pop_macro("SO_SNDBUF")
#pragma pop_macro("SO_RCVBUF")
#pragma pop_macro("SO_ERROR")
#pragma pop_macro("SO_TYPE")
#pragma pop_macro("TCP_NODELAY")
#pragma pop_macro("IP_MULTICAST_IF")
#pragma pop_macro("IP_MULTICAST_TTL")
#pragma pop_macro("IP_MULTICAST_LOOP")
#pragma pop_macro("IP_ADD_MEMBERSHIP")
#pragma pop_macro("IP_DROP_MEMBERSHIP")
#pragma pop_macro("INADDR_ANY")
#pragma pop_macro("INADDR_NONE")
#pragma pop_macro("INADDR_LOOPBACK")
#pragma pop_macro("INADDR_BROADCAST")
#pragma pop_macro("FIONREAD")
#pragma pop_macro("FIONBIO")
#pragma pop_macro("MSG_OOB")
#pragma pop_macro("MSG_PEEK")
#pragma pop_macro("MSG_DONTROUTE")
#pragma pop_macro("SOMAXCONN")
#pragma pop_macro("htons")
#pragma pop_macro("ntohs")
#pragma pop_macro("htonl")
#pragma pop_macro("ntohl")
