// Windows Sockets 1.1 over POSIX sockets: a table of our own handles, each
// holding a descriptor and the bookkeeping that turns readiness into the
// one-shot, re-armed notifications of WSAAsyncSelect. Readiness of every
// socket is watched through one epoll set, which one QSocketNotifier watches
// on the GUI thread's event loop; every notification is posted to the
// selecting window through the message queue.
#include "platform/Winsock.h"

// The Winsock values of names that the C library also defines as macros,
// taken before its headers are seen.
namespace {
namespace ws = winsock;
constexpr int wsAF_INET = ws::AF_INET;
constexpr int wsSOCK_STREAM = ws::SOCK_STREAM;
constexpr int wsSOCK_DGRAM = ws::SOCK_DGRAM;
constexpr int wsIPPROTO_IP = ws::IPPROTO_IP;
constexpr int wsIPPROTO_TCP = ws::IPPROTO_TCP;
constexpr int wsIPPROTO_UDP = ws::IPPROTO_UDP;
constexpr int wsSOL_SOCKET = ws::SOL_SOCKET;
constexpr int wsSO_DEBUG = ws::SO_DEBUG;
constexpr int wsSO_REUSEADDR = ws::SO_REUSEADDR;
constexpr int wsSO_KEEPALIVE = ws::SO_KEEPALIVE;
constexpr int wsSO_DONTROUTE = ws::SO_DONTROUTE;
constexpr int wsSO_BROADCAST = ws::SO_BROADCAST;
constexpr int wsSO_LINGER = ws::SO_LINGER;
constexpr int wsSO_OOBINLINE = ws::SO_OOBINLINE;
constexpr int wsSO_SNDBUF = ws::SO_SNDBUF;
constexpr int wsSO_RCVBUF = ws::SO_RCVBUF;
constexpr int wsSO_ERROR = ws::SO_ERROR;
constexpr int wsSO_TYPE = ws::SO_TYPE;
constexpr int wsTCP_NODELAY = ws::TCP_NODELAY;
constexpr int wsIP_MULTICAST_IF = ws::IP_MULTICAST_IF;
constexpr int wsIP_MULTICAST_TTL = ws::IP_MULTICAST_TTL;
constexpr int wsIP_MULTICAST_LOOP = ws::IP_MULTICAST_LOOP;
constexpr int wsIP_ADD_MEMBERSHIP = ws::IP_ADD_MEMBERSHIP;
constexpr int wsIP_DROP_MEMBERSHIP = ws::IP_DROP_MEMBERSHIP;
constexpr ws::u_long wsINADDR_NONE = ws::INADDR_NONE;
constexpr long wsFIONREAD = ws::FIONREAD;
constexpr long wsFIONBIO = ws::FIONBIO;
constexpr int wsMSG_OOB = ws::MSG_OOB;
constexpr int wsMSG_PEEK = ws::MSG_PEEK;
constexpr int wsMSG_DONTROUTE = ws::MSG_DONTROUTE;
}  // namespace

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/Hooks.h"
#include "platform/Library.h"
#include "platform/Messages.h"

// The byte-order macros of the C library would rewrite our definitions below.
#undef htons
#undef ntohs
#undef htonl
#undef ntohl

namespace {

using ws::HANDLE;
using ws::SOCKET;
using ws::u_long;
using ws::u_short;

// --- errors -------------------------------------------------------------------

struct ErrnoMapping {
    int posix;
    int winsock;
};

constexpr ErrnoMapping kErrnoMap[] = {
    {EINTR, ws::WSAEINTR},
    {EBADF, ws::WSAEBADF},
    {EACCES, ws::WSAEACCES},
    {EPERM, ws::WSAEACCES},
    {EFAULT, ws::WSAEFAULT},
    {EINVAL, ws::WSAEINVAL},
    {EMFILE, ws::WSAEMFILE},
    {ENFILE, ws::WSAEMFILE},
    {EWOULDBLOCK, ws::WSAEWOULDBLOCK},
    {EINPROGRESS, ws::WSAEINPROGRESS},
    {EALREADY, ws::WSAEALREADY},
    {ENOTSOCK, ws::WSAENOTSOCK},
    {EDESTADDRREQ, ws::WSAEDESTADDRREQ},
    {EMSGSIZE, ws::WSAEMSGSIZE},
    {EPROTOTYPE, ws::WSAEPROTOTYPE},
    {ENOPROTOOPT, ws::WSAENOPROTOOPT},
    {EPROTONOSUPPORT, ws::WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, ws::WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, ws::WSAEOPNOTSUPP},
    {EPFNOSUPPORT, ws::WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, ws::WSAEAFNOSUPPORT},
    {EADDRINUSE, ws::WSAEADDRINUSE},
    {EADDRNOTAVAIL, ws::WSAEADDRNOTAVAIL},
    {ENETDOWN, ws::WSAENETDOWN},
    {ENETUNREACH, ws::WSAENETUNREACH},
    {ENETRESET, ws::WSAENETRESET},
    {ECONNABORTED, ws::WSAECONNABORTED},
    {ECONNRESET, ws::WSAECONNRESET},
    {EPIPE, ws::WSAECONNRESET},  // the peer has gone; a local shutdown is told apart by the caller
    {ENOBUFS, ws::WSAENOBUFS},
    {ENOMEM, ws::WSAENOBUFS},
    {EISCONN, ws::WSAEISCONN},
    {ENOTCONN, ws::WSAENOTCONN},
    {ESHUTDOWN, ws::WSAESHUTDOWN},
    {ETOOMANYREFS, ws::WSAETOOMANYREFS},
    {ETIMEDOUT, ws::WSAETIMEDOUT},
    {ECONNREFUSED, ws::WSAECONNREFUSED},
    {ELOOP, ws::WSAELOOP},
    {ENAMETOOLONG, ws::WSAENAMETOOLONG},
    {EHOSTDOWN, ws::WSAEHOSTDOWN},
    {EHOSTUNREACH, ws::WSAEHOSTUNREACH},
    {ENOTEMPTY, ws::WSAENOTEMPTY},
    {EUSERS, ws::WSAEUSERS},
    {EDQUOT, ws::WSAEDQUOT},
    {ESTALE, ws::WSAESTALE},
    {EREMOTE, ws::WSAEREMOTE},
};

thread_local int tLastError = 0;

int Fail(int error)
{
    tLastError = error;
    return ws::SOCKET_ERROR;
}

int FailErrno(int posixError)
{
    return Fail(WinsockErrorFromErrno(posixError));
}

// --- the socket table ---------------------------------------------------------

enum class Phase { Fresh, Connecting, Connected, Listening, Failed };

struct SocketEntry {
    SOCKET handle = ws::INVALID_SOCKET;
    int fd = -1;
    int type = wsSOCK_STREAM;
    Phase phase = Phase::Fresh;
    // Winsock's mode (blocking until selected or set with FIONBIO), and the
    // descriptor's own O_NONBLOCK, which follows the mode only when a call
    // could block on it (see MatchDescriptor): reads and writes of a
    // non-blocking socket say so with MSG_DONTWAIT, so a socket opened
    // non-blocking and then selected, the usual course, never changes flags.
    bool nonBlocking = false;
    bool fdNonBlocking = false;
    bool shutSend = false;
    bool shutReceive = false;
    bool bound = false;
    // SO_REUSEADDR asked for on a stream socket not yet bound: it takes
    // effect only when a local address is bound, so it is set then (bind,
    // listen), and a connection that binds none spares the call. -1: none.
    int reuseAddr = -1;

    HWND wnd = 0;
    UINT msg = 0;
    long events = 0;

    // One-shot bookkeeping. "Pending" means a notification was due and the
    // re-arming call (recv, accept) has not come yet, so readiness is not
    // watched: the descriptor stays readable until then.
    bool readPending = false;
    bool acceptPending = false;
    bool writeBlocked = false;  // a send would have blocked; watching for room
    bool writeOwed = false;     // an FD_WRITE is due
    bool connectOwed = false;
    int connectError = 0;
    bool closeSeen = false;  // the peer's close or reset has been read off the wire
    bool endRead = false;    // a read met the end of the peer's data: nothing more can come
    bool peerEnded = false;  // the peer's end of sending was reported: it waits after the data
    // Once the peer's end is in, nothing more arrives: the bytes before it,
    // told once by the system, are then counted down by the reads. -1 when
    // not known.
    long long leftBeforeEnd = -1;
    bool closeOwed = false;
    int closeError = 0;

    // What the readiness watch waits for now, and what the socket is
    // registered for in the readiness set (at least as much).
    bool watchRead = false;
    bool watchWrite = false;
    std::uint32_t registered = 0;

    ~SocketEntry();
};

struct Table {
    int startupCount = 0;
    SOCKET lastHandle = 99;
    std::unordered_map<SOCKET, std::unique_ptr<SocketEntry>> sockets;
};

Table& T()
{
    // Never destroyed: sockets may be closed by objects that outlive the
    // order of static destruction.
    static Table* table = new Table;
    return *table;
}

SocketEntry* Find(SOCKET s)
{
    auto& sockets = T().sockets;
    auto it = sockets.find(s);
    return it == sockets.end() ? nullptr : it->second.get();
}

// Looks the socket up for an entry point, setting the error when it can't.
SocketEntry* Enter(SOCKET s)
{
    if (T().startupCount == 0) {
        tLastError = ws::WSANOTINITIALISED;
        return nullptr;
    }
    SocketEntry* entry = Find(s);
    if (!entry)
        tLastError = ws::WSAENOTSOCK;
    return entry;
}

bool Started()
{
    if (T().startupCount > 0)
        return true;
    tLastError = ws::WSANOTINITIALISED;
    return false;
}

void OnReadable(SOCKET s, std::uint32_t ready);
void OnWritable(SOCKET s, std::uint32_t ready);

void Post(SocketEntry& e, long event, int error)
{
    PostMessage(e.wnd, e.msg, e.handle, ws::WSAMAKESELECTREPLY(event, error));
}

// Readiness of every socket, through one epoll set: the event loop sees one
// descriptor (the set's) however many sockets come and go, so that no
// notifier is made, freed or registered with the loop per socket.
// Level-triggered: a socket stays reported while it is ready and in the set.
//
// What a socket waits for changes on every notification and every re-arming
// call (recv, accept), and most of the time it changes back before the set is
// next asked. So the set is told at once only when a socket waits for more
// than it is registered for; a socket that waits for less keeps its
// registration until it is reported for what it no longer waits for, and only
// then is the registration narrowed.
class TReadiness {
public:
    void Watch(SocketEntry& e, bool wantRead, bool wantWrite)
    {
        e.watchRead = wantRead;
        e.watchWrite = wantWrite;
        const std::uint32_t wanted = Mask(e);
        if ((wanted & ~e.registered) == 0)
            return;
        if (!Start())
            return;
        Register(e, wanted);
    }

    // A new application: the set is watched on its loop, and the sockets
    // that waited while there was none (before the first application, or
    // between two) are entered in the set.
    void ApplicationStarted()
    {
        const auto& sockets = T().sockets;
        if (std::none_of(sockets.begin(), sockets.end(), [](const auto& s) { return Mask(*s.second) != 0; }))
            return;
        if (!Start())
            return;
        for (const auto& [handle, e] : sockets)
            if (const std::uint32_t wanted = Mask(*e); wanted & ~e->registered)
                Register(*e, wanted);
    }

    // When the socket's descriptor is closed. Closing it takes it out of the
    // set, so the set is not told. (A child process that inherited the
    // descriptor and has not yet run its program keeps the registration alive
    // meanwhile; what it reports carries a handle the table no longer knows
    // and is skipped.)
    void Forget(SocketEntry& e)
    {
        e.watchRead = e.watchWrite = false;
        e.registered = 0;
    }

private:
    // A stream socket watched for reading is also watched for the peer's end
    // of sending, so that a report without it tells of data without a peek.
    static std::uint32_t Mask(const SocketEntry& e)
    {
        return (e.watchRead ? EPOLLIN | EPOLLRDHUP : 0u) | (e.watchWrite ? EPOLLOUT : 0u);
    }

    // Registers the socket for exactly `events`; a socket that waits for
    // nothing leaves the set, where it would still be reported for a hang-up
    // or an error.
    void Register(SocketEntry& e, std::uint32_t events)
    {
        if (events == e.registered)
            return;
        if (!events) {
            ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, e.fd, nullptr);
            e.registered = 0;
            return;
        }
        epoll_event event{};
        event.events = events;
        event.data.u64 = e.handle;
        if (::epoll_ctl(FEpoll, e.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, e.fd, &event) == 0)
            e.registered = events;
    }

    // The set, and the notifier on the application's event loop; false
    // without an application to deliver to.
    bool Start()
    {
        if (FEpoll < 0)
            FEpoll = ::epoll_create1(EPOLL_CLOEXEC);
        if (FEpoll < 0)
            return false;
        if (!FNotifier) {
            QCoreApplication* app = QCoreApplication::instance();
            if (!app)
                return false;
            // Freed with the application; a later one gets a notifier of its own.
            FNotifier = new QSocketNotifier(FEpoll, QSocketNotifier::Read, app);
            // What the set reports is handled in the same turn of the loop.
            QObject::connect(FNotifier.data(), &QSocketNotifier::activated,
                             [this] { PostAndDispatch([this] { Ready(); }); });
        }
        return true;
    }

    void Ready()
    {
        epoll_event events[64];
        const int count = ::epoll_wait(FEpoll, events, 64, 0);
        for (int i = 0; i < count; ++i) {
            const auto s = static_cast<SOCKET>(events[i].data.u64);
            const std::uint32_t ready = events[i].events;
            SocketEntry* e = Find(s);
            if (!e)
                continue;
            // Reported for what it no longer waits for: it would be reported
            // again and again, so the registration is narrowed now. A hang-up
            // or an error comes unasked; it wakes whichever side is watched.
            const bool read = e->watchRead && (ready & (EPOLLIN | EPOLLHUP | EPOLLERR));
            const bool write = e->watchWrite && (ready & (EPOLLOUT | EPOLLHUP | EPOLLERR));
            if (((ready & EPOLLIN) && !e->watchRead) || ((ready & EPOLLOUT) && !e->watchWrite) || (!read && !write))
                Register(*e, Mask(*e));
            // Looked up again, to be safe: the handlers run only after this
            // pass, but a socket must never be used after its entry is gone.
            if (read)
                OnReadable(s, ready);
            if (write && (e = Find(s)) && e->watchWrite)
                OnWritable(s, ready);
        }
    }

    int FEpoll = -1;
    QPointer<QSocketNotifier> FNotifier;
};

TReadiness& Readiness()
{
    // Never destroyed, like the table.
    static TReadiness* readiness = new TReadiness;
    return *readiness;
}

// Once each application's loop runs, the sockets made before it get their events.
void CatchUpWithApplication()
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { Readiness().ApplicationStarted(); }, Qt::QueuedConnection);
}
Q_COREAPP_STARTUP_FUNCTION(CatchUpWithApplication)

SocketEntry::~SocketEntry()
{
    Readiness().Forget(*this);
    if (fd >= 0)
        ::close(fd);
}

void SetWatch(SocketEntry& e, bool wantRead, bool wantWrite)
{
    Readiness().Watch(e, wantRead, wantWrite);
}

// Watches exactly what can lead to a notification that is still to come.
void UpdateWatch(SocketEntry& e)
{
    bool wantRead = false;
    bool wantWrite = false;
    if (e.events != 0 && e.wnd != 0) {
        switch (e.phase) {
        case Phase::Listening:
            wantRead = !e.acceptPending && (e.events & ws::FD_ACCEPT);
            break;
        case Phase::Connecting:
            wantWrite = true;
            break;
        case Phase::Connected:
            if (e.type == wsSOCK_DGRAM)
                wantRead = !e.readPending && (e.events & ws::FD_READ);
            else
                wantRead = !e.readPending && !e.closeSeen && (e.events & (ws::FD_READ | ws::FD_CLOSE));
            wantWrite = e.writeBlocked;
            break;
        case Phase::Fresh:
        case Phase::Failed:
            break;
        }
    }
    SetWatch(e, wantRead, wantWrite);
}

// Posts what is due and selected, the connect's outcome first.
void Deliver(SocketEntry& e)
{
    if (e.events != 0 && e.wnd != 0) {
        if (e.connectOwed && (e.events & ws::FD_CONNECT)) {
            e.connectOwed = false;
            Post(e, ws::FD_CONNECT, e.connectError);
        }
        if (e.writeOwed && (e.events & ws::FD_WRITE)) {
            e.writeOwed = false;
            Post(e, ws::FD_WRITE, 0);
        }
        if (e.closeOwed && (e.events & ws::FD_CLOSE)) {
            e.closeOwed = false;
            Post(e, ws::FD_CLOSE, e.closeError);
        }
    }
    UpdateWatch(e);
}

// Counts a read of a stream socket down from the bytes left before the
// peer's end, when they are known. A read that took other than what was
// left (an urgent byte, an interruption) makes them unknown again.
void CountRead(SocketEntry& e, int len, int flags, ssize_t n)
{
    if (e.leftBeforeEnd < 0 || len == 0)
        return;
    const long long expected = std::min<long long>(len, e.leftBeforeEnd);
    if (n != expected || (flags & wsMSG_OOB)) {
        e.leftBeforeEnd = -1;
        return;
    }
    if (!(flags & wsMSG_PEEK))
        e.leftBeforeEnd -= n;
}

// Learns, or has counted, the bytes left before the peer's end (which is in:
// `peerEnded`). None left is not yet the end: an urgent byte stops the
// system's count short of the bytes after it, so only a read that meets the
// end ends the data. False when the system can't tell.
bool CountBeforeEnd(SocketEntry& e)
{
    if (e.leftBeforeEnd < 0) {
        int count = 0;
        if (::ioctl(e.fd, FIONREAD, &count) != 0)
            return false;
        e.leftBeforeEnd = count < 0 ? 0 : count;
    }
    return true;
}

// `ready`: the readiness the set reported for the socket.
void OnReadable(SOCKET s, std::uint32_t ready)
{
    SocketEntry* entry = Find(s);
    if (!entry)
        return;
    SocketEntry& e = *entry;
    if (e.phase == Phase::Listening) {
        e.acceptPending = true;
        if (e.events & ws::FD_ACCEPT)
            Post(e, ws::FD_ACCEPT, 0);
    } else if (e.phase == Phase::Connected && e.type == wsSOCK_DGRAM) {
        e.readPending = true;
        if (e.events & ws::FD_READ)
            Post(e, ws::FD_READ, 0);
    } else if (e.phase == Phase::Connected) {
        // Readable without the peer's end or an error: there is data. With
        // the peer's end in and no error, the bytes left before it tell data
        // from the end. Else a peek tells data, the end or the error.
        if ((ready & EPOLLRDHUP) && !e.shutReceive)
            e.peerEnded = true;
        char probe;
        const bool failed = ready & (EPOLLHUP | EPOLLERR);
        ssize_t n;
        if ((ready & EPOLLIN) && !(ready & EPOLLRDHUP) && !failed)
            n = 1;
        else if (e.peerEnded && !failed && e.endRead)
            n = 0;
        else if (e.peerEnded && !failed && CountBeforeEnd(e) && e.leftBeforeEnd > 0)
            n = 1;
        else
            n = ::recv(e.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            e.readPending = true;
            if (e.events & ws::FD_READ)
                Post(e, ws::FD_READ, 0);
        } else if (n == 0) {
            e.closeSeen = true;
            e.closeOwed = true;
            e.closeError = 0;
        } else if (errno != EAGAIN && errno != EINTR) {
            e.closeSeen = true;
            e.closeOwed = true;
            e.closeError = WinsockErrorFromErrno(errno);
        }
    }
    Deliver(e);
}

void OnWritable(SOCKET s, std::uint32_t ready)
{
    SocketEntry* entry = Find(s);
    if (!entry)
        return;
    SocketEntry& e = *entry;
    if (e.phase == Phase::Connecting) {
        // A connect that failed is reported with an error or a hang-up; only
        // then is its error asked for.
        int error = 0;
        socklen_t len = sizeof error;
        if ((ready & (EPOLLERR | EPOLLHUP)) && ::getsockopt(e.fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        e.connectOwed = true;
        if (error == 0) {
            e.phase = Phase::Connected;
            e.connectError = 0;
            e.writeOwed = true;
        } else {
            e.phase = Phase::Failed;
            e.connectError = WinsockErrorFromErrno(error);
        }
    } else if (e.writeBlocked) {
        e.writeBlocked = false;
        e.writeOwed = true;
    }
    Deliver(e);
}

// `nonBlocking`: Winsock's mode; `fdNonBlocking`: the descriptor's.
SOCKET AddSocket(int fd, int type, Phase phase, bool nonBlocking, bool fdNonBlocking)
{
    auto entry = std::make_unique<SocketEntry>();
    entry->fd = fd;
    entry->nonBlocking = nonBlocking;
    entry->fdNonBlocking = fdNonBlocking;
    entry->type = type;
    entry->phase = phase;
    entry->handle = ++T().lastHandle;
    // A datagram socket, and a connection once it is made, owes one FD_WRITE.
    entry->writeOwed = phase == Phase::Connected;
    const SOCKET s = entry->handle;
    T().sockets.emplace(s, std::move(entry));
    return s;
}

// Gives the descriptor the socket's blocking mode, before a call that blocks
// or not by the descriptor's flags alone (connect, accept, and the reads and
// writes of a blocking socket). Every descriptor in the table was opened here
// (socket, accept) with no status flag but O_NONBLOCK, which `fdNonBlocking`
// follows, so the flags are known without asking for them.
bool MatchDescriptor(SocketEntry& e)
{
    if (e.fdNonBlocking == e.nonBlocking)
        return true;
    if (::fcntl(e.fd, F_SETFL, e.nonBlocking ? O_NONBLOCK : 0) != 0)
        return false;
    e.fdNonBlocking = e.nonBlocking;
    return true;
}

int PosixFlags(int flags, const SocketEntry& e)
{
    int result = MSG_NOSIGNAL;
    if (flags & wsMSG_OOB)
        result |= MSG_OOB;
    if (flags & wsMSG_PEEK)
        result |= MSG_PEEK;
    if (flags & wsMSG_DONTROUTE)
        result |= MSG_DONTROUTE;
    if (e.nonBlocking)
        result |= MSG_DONTWAIT;
    return result;
}

bool ToPosix(const ws::sockaddr* name, int nameLen, sockaddr_in& out)
{
    if (!name || nameLen < static_cast<int>(sizeof(ws::sockaddr_in))) {
        tLastError = ws::WSAEFAULT;
        return false;
    }
    const auto* in = reinterpret_cast<const ws::sockaddr_in*>(name);
    if (in->sin_family != wsAF_INET) {
        tLastError = ws::WSAEAFNOSUPPORT;
        return false;
    }
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = in->sin_port;
    out.sin_addr.s_addr = in->sin_addr.s_addr;
    return true;
}

bool FromPosix(const sockaddr_in& in, ws::sockaddr* name, int* nameLen)
{
    if (!name || !nameLen || *nameLen < static_cast<int>(sizeof(ws::sockaddr_in))) {
        tLastError = ws::WSAEFAULT;
        return false;
    }
    ws::sockaddr_in out{};
    out.sin_family = static_cast<std::int16_t>(wsAF_INET);
    out.sin_port = in.sin_port;
    out.sin_addr.s_addr = in.sin_addr.s_addr;
    std::memcpy(name, &out, sizeof out);
    *nameLen = sizeof out;
    return true;
}

// Sets a deferred SO_REUSEADDR before the socket takes a local address;
// false, with errno, when the system refused it.
bool ApplyReuseAddr(SocketEntry& e)
{
    if (e.reuseAddr < 0)
        return true;
    const int value = e.reuseAddr;
    if (::setsockopt(e.fd, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value) != 0)
        return false;
    e.reuseAddr = -1;
    return true;
}

// --- socket options -------------------------------------------------------------

enum class OptKind { Int, Linger, Address, Membership };

struct OptionMapping {
    int wsLevel;
    int wsName;
    int level;
    int name;
    OptKind kind;
};

constexpr OptionMapping kOptions[] = {
    {wsSOL_SOCKET, wsSO_DEBUG, SOL_SOCKET, SO_DEBUG, OptKind::Int},
    {wsSOL_SOCKET, wsSO_REUSEADDR, SOL_SOCKET, SO_REUSEADDR, OptKind::Int},
    {wsSOL_SOCKET, wsSO_KEEPALIVE, SOL_SOCKET, SO_KEEPALIVE, OptKind::Int},
    {wsSOL_SOCKET, wsSO_DONTROUTE, SOL_SOCKET, SO_DONTROUTE, OptKind::Int},
    {wsSOL_SOCKET, wsSO_BROADCAST, SOL_SOCKET, SO_BROADCAST, OptKind::Int},
    {wsSOL_SOCKET, wsSO_LINGER, SOL_SOCKET, SO_LINGER, OptKind::Linger},
    {wsSOL_SOCKET, wsSO_OOBINLINE, SOL_SOCKET, SO_OOBINLINE, OptKind::Int},
    {wsSOL_SOCKET, wsSO_SNDBUF, SOL_SOCKET, SO_SNDBUF, OptKind::Int},
    {wsSOL_SOCKET, wsSO_RCVBUF, SOL_SOCKET, SO_RCVBUF, OptKind::Int},
    {wsSOL_SOCKET, wsSO_ERROR, SOL_SOCKET, SO_ERROR, OptKind::Int},
    {wsSOL_SOCKET, wsSO_TYPE, SOL_SOCKET, SO_TYPE, OptKind::Int},
    {wsIPPROTO_TCP, wsTCP_NODELAY, IPPROTO_TCP, TCP_NODELAY, OptKind::Int},
    {wsIPPROTO_IP, wsIP_MULTICAST_IF, IPPROTO_IP, IP_MULTICAST_IF, OptKind::Address},
    {wsIPPROTO_IP, wsIP_MULTICAST_TTL, IPPROTO_IP, IP_MULTICAST_TTL, OptKind::Int},
    {wsIPPROTO_IP, wsIP_MULTICAST_LOOP, IPPROTO_IP, IP_MULTICAST_LOOP, OptKind::Int},
    {wsIPPROTO_IP, wsIP_ADD_MEMBERSHIP, IPPROTO_IP, IP_ADD_MEMBERSHIP, OptKind::Membership},
    {wsIPPROTO_IP, wsIP_DROP_MEMBERSHIP, IPPROTO_IP, IP_DROP_MEMBERSHIP, OptKind::Membership},
};

const OptionMapping* FindOption(int level, int name)
{
    for (const OptionMapping& o : kOptions)
        if (o.wsLevel == level && o.wsName == name)
            return &o;
    return nullptr;
}

// --- host entries -----------------------------------------------------------------

// Lays a host entry out in buf the way the asynchronous calls return it: the
// structure first, then its pointer arrays, the addresses and the name.
// Returns the size needed; nothing is written when that exceeds bufLen.
int FillHostEntry(char* buf, int bufLen, const std::string& name, const std::vector<std::uint32_t>& addresses)
{
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(buf);
    const std::uintptr_t aligned = (base + alignof(ws::hostent) - 1) & ~(std::uintptr_t(alignof(ws::hostent)) - 1);
    const std::size_t pad = aligned - base;
    const std::size_t count = addresses.size();
    const std::size_t needed =
        pad + sizeof(ws::hostent) + sizeof(char*) * (1 + count + 1) + 4 * count + name.size() + 1;
    if (needed > static_cast<std::size_t>(bufLen < 0 ? 0 : bufLen))
        return static_cast<int>(needed);
    auto* entry = reinterpret_cast<ws::hostent*>(aligned);
    auto** aliases = reinterpret_cast<char**>(aligned + sizeof(ws::hostent));
    char** list = aliases + 1;
    char* bytes = reinterpret_cast<char*>(list + count + 1);
    char* text = bytes + 4 * count;
    aliases[0] = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(bytes + 4 * i, &addresses[i], 4);
        list[i] = bytes + 4 * i;
    }
    list[count] = nullptr;
    std::memcpy(text, name.c_str(), name.size() + 1);
    entry->h_name = text;
    entry->h_aliases = aliases;
    entry->h_addrtype = static_cast<std::int16_t>(wsAF_INET);
    entry->h_length = 4;
    entry->h_addr_list = list;
    return static_cast<int>(needed);
}

// A dotted address answers for itself, without the resolver.
bool DottedAnswer(const char* name, ResolveResult& result)
{
    in_addr address{};
    if (!name || ::inet_pton(AF_INET, name, &address) != 1)
        return false;
    result = {};
    result.officialName = name;
    result.addresses.push_back(address.s_addr);
    return true;
}

// --- asynchronous lookups ---------------------------------------------------------

struct LookupRequest {
    HANDLE handle = 0;
    HWND wnd = 0;
    UINT msg = 0;
    char* buf = nullptr;
    int bufLen = 0;
    bool byAddress = false;
    std::string name;
    std::uint32_t address = 0;
    std::function<ResolveResult(const std::string&)> resolveName;
    std::function<ResolveResult(std::uint32_t)> resolveAddress;
    ResolveResult result;  // written by the worker before it posts the reply
};

constexpr UINT kLookupReply = WM_USER + 1;

struct Lookups {
    HANDLE lastHandle = 0;
    HWND replyWindow = 0;
    std::map<HANDLE, std::shared_ptr<LookupRequest>> running;  // GUI thread only
};

Lookups& L()
{
    static Lookups* lookups = new Lookups;
    return *lookups;
}

// A few threads that run resolver calls, so that one slow lookup does not hold
// up the others. They live as long as the process.
class LookupWorkers {
public:
    void Submit(std::function<void()> job)
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        if (idle_ == 0 && threads_ < kMaxThreads) {
            ++threads_;
            std::thread([this] { Run(); }).detach();
        } else {
            wake_.notify_one();
        }
    }

private:
    static constexpr int kMaxThreads = 4;

    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            wake_.wait(lock, [this] { return !jobs_.empty(); });
            --idle_;
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    int idle_ = 0;
    int threads_ = 0;
};

LookupWorkers& Workers()
{
    static LookupWorkers* workers = new LookupWorkers;
    return *workers;
}

// Runs on the GUI thread, from the queue: a cancelled request is gone from the
// table and its reply is dropped; otherwise the host entry is written into the
// caller's buffer and the caller's window gets its message now.
void OnLookupReply(TMessage& message)
{
    if (message.Msg != kLookupReply)
        return;
    auto it = L().running.find(static_cast<HANDLE>(message.WParam));
    if (it == L().running.end())
        return;
    std::shared_ptr<LookupRequest> request = it->second;
    L().running.erase(it);
    int error = request->result.error;
    int size = 0;
    if (error == 0) {
        size = FillHostEntry(request->buf, request->bufLen, request->result.officialName, request->result.addresses);
        if (size > request->bufLen)
            error = ws::WSAENOBUFS;
    }
    SendMessage(request->wnd, request->msg, request->handle, ws::WSAMAKEASYNCREPLY(size, error));
}

HANDLE StartLookup(std::shared_ptr<LookupRequest> request)
{
    Lookups& l = L();
    if (!l.replyWindow)
        l.replyWindow = AllocateHWnd(OnLookupReply);
    request->handle = ++l.lastHandle;
    l.running.emplace(request->handle, request);
    const HWND replyWindow = l.replyWindow;
    Workers().Submit([request, replyWindow] {
        if (request->byAddress) {
            request->result = request->resolveAddress ? request->resolveAddress(request->address) : ResolveResult{};
        } else if (!DottedAnswer(request->name.c_str(), request->result)) {
            request->result = request->resolveName ? request->resolveName(request->name) : ResolveResult{};
        }
        if (request->result.error == 0 && request->result.addresses.empty())
            request->result.error = ws::WSANO_DATA;
        PostMessage(replyWindow, kLookupReply, request->handle, 0);
    });
    return request->handle;
}

// --- per-thread results of the blocking database calls ---------------------------

struct HostStorage {
    alignas(ws::hostent) char buf[ws::MAXGETHOSTSTRUCT + 1];
};
struct ServStorage {
    ws::servent entry;
    char* aliases[1];
    char name[64];
    char proto[16];
};
struct ProtoStorage {
    ws::protoent entry;
    char* aliases[1];
    char name[64];
};

thread_local HostStorage tHost;
thread_local ServStorage tServ;
thread_local ProtoStorage tProto;
thread_local char tDotted[16];

// Used when the system's services and protocols files lack an entry: services
// with their ports, protocols with their numbers.
struct KnownName {
    const char* name;
    int value;
};
constexpr KnownName kServices[] = {
    {"ftp", 21},     {"telnet", 23}, {"smtp", 25},  {"domain", 53}, {"http", 80},   {"www", 80},
    {"pop3", 110},   {"nntp", 119},  {"imap", 143}, {"https", 443}, {"socks", 1080},
};
constexpr KnownName kProtocols[] = {{"ip", 0}, {"icmp", 1}, {"tcp", 6}, {"udp", 17}};

void CopyName(char* out, std::size_t size, const char* in)
{
    std::strncpy(out, in, size - 1);
    out[size - 1] = '\0';
}

bool NameIs(const char* a, const char* b)
{
    return ::strcasecmp(a, b) == 0;
}

// The value a table knows for a name (case does not matter), or -1.
template <std::size_t N>
int KnownValue(const KnownName (&table)[N], const char* name)
{
    int value = -1;
    for (const KnownName& known : table)
        if (NameIs(known.name, name))
            value = known.value;
    return value;
}

// A database call may go ahead: the library is started and no argument it needs is missing (WSAEFAULT).
bool ReadyWith(std::initializer_list<const void*> arguments)
{
    if (!Started())
        return false;
    for (const void* argument : arguments)
        if (!argument) {
            tLastError = ws::WSAEFAULT;
            return false;
        }
    return true;
}

std::shared_ptr<LookupRequest> NewLookup(HWND wnd, UINT msg, char* buf, int bufLen)
{
    auto request = std::make_shared<LookupRequest>();
    request->wnd = wnd;
    request->msg = msg;
    request->buf = buf;
    request->bufLen = bufLen;
    return request;
}

}  // namespace

// --- the entry points -------------------------------------------------------------

namespace winsock {

int WSAStartup(WORD versionRequested, WSADATA* data)
{
    const int major = versionRequested & 0xff;
    const int minor = (versionRequested >> 8) & 0xff;
    if (!data)
        return WSAEFAULT;
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    std::memset(data, 0, sizeof *data);
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    CopyName(data->szDescription, sizeof data->szDescription, "Tenvarel Windows Sockets 1.1 over POSIX");
    CopyName(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
    data->iMaxSockets = 32767;
    data->iMaxUdpDg = 65467;
    ++T().startupCount;
    return 0;
}

int WSACleanup()
{
    Table& t = T();
    if (t.startupCount == 0)
        return Fail(WSANOTINITIALISED);
    if (--t.startupCount == 0) {
        // The last user is gone: whatever is still open is closed, and lookups
        // still running will find nobody to answer.
        t.sockets.clear();
        L().running.clear();
    }
    return 0;
}

void WSASetLastError(int error)
{
    tLastError = error;
}

int WSAGetLastError()
{
    return tLastError;
}

int WSACancelAsyncRequest(HANDLE request)
{
    if (!Started())
        return SOCKET_ERROR;
    if (L().running.erase(request) == 0)
        return Fail(WSAEINVAL);
    return 0;
}

HANDLE WSAAsyncGetHostByName(HWND wnd, UINT msg, const char* name, char* buf, int bufLen)
{
    if (!ReadyWith({name, buf}))
        return 0;
    auto request = NewLookup(wnd, msg, buf, bufLen);
    request->name = name;
    request->resolveName = GetHooks().resolveName;  // copied here: tests replace hooks on this thread
    return StartLookup(std::move(request));
}

HANDLE WSAAsyncGetHostByAddr(HWND wnd, UINT msg, const char* addr, int len, int type, char* buf, int bufLen)
{
    if (!ReadyWith({addr, buf}))
        return 0;
    if (type != wsAF_INET || len != 4) {
        tLastError = WSAEAFNOSUPPORT;
        return 0;
    }
    auto request = NewLookup(wnd, msg, buf, bufLen);
    request->byAddress = true;
    std::memcpy(&request->address, addr, 4);
    request->resolveAddress = GetHooks().resolveAddress;
    return StartLookup(std::move(request));
}

int WSAAsyncSelect(SOCKET s, HWND wnd, UINT msg, long events)
{
    SocketEntry* entry = Enter(s);
    if (!entry)
        return SOCKET_ERROR;
    SocketEntry& e = *entry;
    e.nonBlocking = true;
    e.wnd = wnd;
    e.msg = msg;
    e.events = events;
    // Selecting again re-enables every event: what is ready now is told anew.
    e.readPending = false;
    e.acceptPending = false;
    Deliver(e);
    return 0;
}

servent* getservbyname(const char* name, const char* proto)
{
    if (!ReadyWith({name}))
        return nullptr;
    int port = -1;
    const char* protoName = proto ? proto : "tcp";
    ::servent result{};
    ::servent* found = nullptr;
    char scratch[1024];
    if (::getservbyname_r(name, proto, &result, scratch, sizeof scratch, &found) == 0 && found) {
        port = ::ntohs(static_cast<std::uint16_t>(found->s_port));
        if (found->s_proto)
            protoName = found->s_proto;
    } else {
        port = KnownValue(kServices, name);
    }
    if (port < 0) {
        tLastError = WSANO_DATA;
        return nullptr;
    }
    CopyName(tServ.name, sizeof tServ.name, name);
    CopyName(tServ.proto, sizeof tServ.proto, protoName);
    tServ.aliases[0] = nullptr;
    tServ.entry.s_name = tServ.name;
    tServ.entry.s_aliases = tServ.aliases;
    tServ.entry.s_port = static_cast<std::int16_t>(htons(static_cast<u_short>(port)));
    tServ.entry.s_proto = tServ.proto;
    return &tServ.entry;
}

protoent* getprotobyname(const char* name)
{
    if (!ReadyWith({name}))
        return nullptr;
    int number = -1;
    ::protoent result{};
    ::protoent* found = nullptr;
    char scratch[1024];
    if (::getprotobyname_r(name, &result, scratch, sizeof scratch, &found) == 0 && found)
        number = found->p_proto;
    else
        number = KnownValue(kProtocols, name);
    if (number < 0) {
        tLastError = WSANO_DATA;
        return nullptr;
    }
    CopyName(tProto.name, sizeof tProto.name, name);
    tProto.aliases[0] = nullptr;
    tProto.entry.p_name = tProto.name;
    tProto.entry.p_aliases = tProto.aliases;
    tProto.entry.p_proto = static_cast<std::int16_t>(number);
    return &tProto.entry;
}

hostent* gethostbyname(const char* name)
{
    if (!ReadyWith({name}))
        return nullptr;
    ResolveResult result;
    if (!DottedAnswer(name, result)) {
        const auto resolve = GetHooks().resolveName;
        if (resolve)
            result = resolve(name);
        if (result.error == 0 && result.addresses.empty())
            result.error = WSANO_DATA;
    }
    if (result.error != 0) {
        tLastError = result.error;
        return nullptr;
    }
    // Keep what fits: a host entry is at most MAXGETHOSTSTRUCT bytes.
    while (FillHostEntry(tHost.buf, sizeof tHost.buf, result.officialName, result.addresses) >
           static_cast<int>(sizeof tHost.buf)) {
        if (result.addresses.size() > 1)
            result.addresses.pop_back();
        else
            result.officialName.resize(result.officialName.size() / 2);
    }
    return reinterpret_cast<hostent*>(
        (reinterpret_cast<std::uintptr_t>(tHost.buf) + alignof(hostent) - 1) & ~(std::uintptr_t(alignof(hostent)) - 1));
}

SOCKET socket(int af, int type, int protocol)
{
    if (!Started())
        return INVALID_SOCKET;
    if (af != wsAF_INET) {
        tLastError = WSAEAFNOSUPPORT;
        return INVALID_SOCKET;
    }
    if (type != wsSOCK_STREAM && type != wsSOCK_DGRAM) {
        tLastError = WSAESOCKTNOSUPPORT;
        return INVALID_SOCKET;
    }
    if (protocol != 0 && protocol != (type == wsSOCK_STREAM ? wsIPPROTO_TCP : wsIPPROTO_UDP)) {
        tLastError = WSAEPROTONOSUPPORT;
        return INVALID_SOCKET;
    }
    // Opened non-blocking: nearly every socket is selected before its first
    // call that could block (see MatchDescriptor).
    const int fd = ::socket(AF_INET, (type == wsSOCK_STREAM ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        FailErrno(errno);
        return INVALID_SOCKET;
    }
    return AddSocket(fd, type, type == wsSOCK_DGRAM ? Phase::Connected : Phase::Fresh, false, true);
}

int shutdown(SOCKET s, int how)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    if (how < SD_RECEIVE || how > SD_BOTH)
        return Fail(WSAEINVAL);
    if (e->type == wsSOCK_STREAM && e->phase != Phase::Connected)
        return Fail(WSAENOTCONN);
    if (::shutdown(e->fd, how == SD_RECEIVE ? SHUT_RD : how == SD_SEND ? SHUT_WR : SHUT_RDWR) != 0)
        return FailErrno(errno);
    if (how != SD_RECEIVE)
        e->shutSend = true;
    if (how != SD_SEND)
        e->shutReceive = true;
    return 0;
}

int setsockopt(SOCKET s, int level, int optName, const char* optVal, int optLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    const OptionMapping* o = FindOption(level, optName);
    if (!o)
        return Fail(WSAENOPROTOOPT);
    if (!optVal || optLen <= 0)
        return Fail(WSAEFAULT);
    int rc = 0;
    switch (o->kind) {
    case OptKind::Int: {
        int value = 0;
        if (optLen >= static_cast<int>(sizeof(int)))
            std::memcpy(&value, optVal, sizeof value);
        else
            value = static_cast<unsigned char>(optVal[0]);  // a one-byte value (multicast TTL and loop)
        if (o->level == SOL_SOCKET && o->name == SO_REUSEADDR && e->type == wsSOCK_STREAM &&
            e->phase == Phase::Fresh && !e->bound) {
            e->reuseAddr = value != 0;
            return 0;
        }
        rc = ::setsockopt(e->fd, o->level, o->name, &value, sizeof value);
        break;
    }
    case OptKind::Linger: {
        if (optLen < static_cast<int>(sizeof(linger)))
            return Fail(WSAEFAULT);
        linger in;
        std::memcpy(&in, optVal, sizeof in);
        ::linger out{in.l_onoff != 0, in.l_linger};
        rc = ::setsockopt(e->fd, o->level, o->name, &out, sizeof out);
        break;
    }
    case OptKind::Address: {
        if (optLen < 4)
            return Fail(WSAEFAULT);
        ::in_addr out{};
        std::memcpy(&out.s_addr, optVal, 4);
        rc = ::setsockopt(e->fd, o->level, o->name, &out, sizeof out);
        break;
    }
    case OptKind::Membership: {
        if (optLen < static_cast<int>(sizeof(ip_mreq)))
            return Fail(WSAEFAULT);
        ip_mreq in;
        std::memcpy(&in, optVal, sizeof in);
        ::ip_mreq out{};
        out.imr_multiaddr.s_addr = in.imr_multiaddr.s_addr;
        out.imr_interface.s_addr = in.imr_interface.s_addr;
        rc = ::setsockopt(e->fd, o->level, o->name, &out, sizeof out);
        break;
    }
    }
    return rc == 0 ? 0 : FailErrno(errno);
}

int getsockopt(SOCKET s, int level, int optName, char* optVal, int* optLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    const OptionMapping* o = FindOption(level, optName);
    if (!o || o->kind == OptKind::Membership)
        return Fail(WSAENOPROTOOPT);
    if (!optVal || !optLen)
        return Fail(WSAEFAULT);
    switch (o->kind) {
    case OptKind::Int: {
        if (*optLen < static_cast<int>(sizeof(int)))
            return Fail(WSAEFAULT);
        int value = 0;
        socklen_t len = sizeof value;
        if (o->level == SOL_SOCKET && o->name == SO_REUSEADDR && e->reuseAddr >= 0)
            value = e->reuseAddr;
        else if (::getsockopt(e->fd, o->level, o->name, &value, &len) != 0)
            return FailErrno(errno);
        if (o->name == SO_ERROR && o->level == SOL_SOCKET)
            value = value == 0 ? 0 : WinsockErrorFromErrno(value);
        else if (o->name == SO_TYPE && o->level == SOL_SOCKET)
            value = e->type;
        std::memcpy(optVal, &value, sizeof value);
        *optLen = sizeof value;
        return 0;
    }
    case OptKind::Linger: {
        if (*optLen < static_cast<int>(sizeof(linger)))
            return Fail(WSAEFAULT);
        ::linger value{};
        socklen_t len = sizeof value;
        if (::getsockopt(e->fd, o->level, o->name, &value, &len) != 0)
            return FailErrno(errno);
        linger out{static_cast<u_short>(value.l_onoff != 0), static_cast<u_short>(value.l_linger)};
        std::memcpy(optVal, &out, sizeof out);
        *optLen = sizeof out;
        return 0;
    }
    case OptKind::Address: {
        if (*optLen < 4)
            return Fail(WSAEFAULT);
        ::in_addr value{};
        socklen_t len = sizeof value;
        if (::getsockopt(e->fd, o->level, o->name, &value, &len) != 0)
            return FailErrno(errno);
        std::memcpy(optVal, &value.s_addr, 4);
        *optLen = 4;
        return 0;
    }
    case OptKind::Membership:
        break;
    }
    return Fail(WSAENOPROTOOPT);
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int toLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    if (e->type == wsSOCK_STREAM || !to)
        return send(s, buf, len, flags);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    ::sockaddr_in target;
    if (!ToPosix(to, toLen, target))
        return SOCKET_ERROR;
    if (!e->nonBlocking && !MatchDescriptor(*e))
        return FailErrno(errno);
    const ssize_t n = ::sendto(e->fd, buf, static_cast<std::size_t>(len), PosixFlags(flags, *e),
                               reinterpret_cast<const ::sockaddr*>(&target), sizeof target);
    if (n < 0) {
        if (errno == EAGAIN && e->nonBlocking) {
            e->writeBlocked = true;
            UpdateWatch(*e);
        }
        return FailErrno(errno);
    }
    return static_cast<int>(n);
}

int send(SOCKET s, const char* buf, int len, int flags)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    if (e->phase != Phase::Connected)
        return Fail(WSAENOTCONN);
    if (e->shutSend)
        return Fail(WSAESHUTDOWN);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    if (!e->nonBlocking && !MatchDescriptor(*e))
        return FailErrno(errno);
    const ssize_t n = ::send(e->fd, buf, static_cast<std::size_t>(len), PosixFlags(flags, *e));
    if (n < 0) {
        if (errno == EAGAIN && e->nonBlocking) {
            e->writeBlocked = true;
            UpdateWatch(*e);
        }
        return FailErrno(errno);
    }
    // A part taken is a send that would have blocked for the rest: tell when
    // there is room again.
    if (n < len && e->nonBlocking) {
        e->writeBlocked = true;
        UpdateWatch(*e);
    }
    return static_cast<int>(n);
}

int listen(SOCKET s, int backlog)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    if (e->type != wsSOCK_STREAM)
        return Fail(WSAEOPNOTSUPP);
    if (e->phase != Phase::Fresh && e->phase != Phase::Listening)
        return Fail(e->phase == Phase::Connected ? WSAEISCONN : WSAEINVAL);
    if (!ApplyReuseAddr(*e) || ::listen(e->fd, backlog < 1 ? 1 : backlog) != 0)
        return FailErrno(errno);
    e->bound = true;
    e->phase = Phase::Listening;
    Deliver(*e);
    return 0;
}

int ioctlsocket(SOCKET s, long cmd, u_long* argp)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    if (!argp)
        return Fail(WSAEFAULT);
    if (cmd == wsFIONREAD) {
        if (e->endRead) {
            *argp = 0;
            return 0;
        }
        const bool final = e->peerEnded && e->type == wsSOCK_STREAM && e->phase == Phase::Connected;
        if (final) {
            if (!CountBeforeEnd(*e))
                return FailErrno(errno);
            *argp = static_cast<u_long>(e->leftBeforeEnd);
            return 0;
        }
        int count = 0;
        if (e->phase == Phase::Connected && ::ioctl(e->fd, FIONREAD, &count) != 0)
            return FailErrno(errno);
        *argp = static_cast<u_long>(count < 0 ? 0 : count);
        return 0;
    }
    if (cmd == wsFIONBIO) {
        const bool on = *argp != 0;
        // A selected socket stays non-blocking.
        if (!on && e->events != 0)
            return Fail(WSAEINVAL);
        e->nonBlocking = on;
        return 0;
    }
    return Fail(WSAEINVAL);
}

int getsockname(SOCKET s, sockaddr* name, int* nameLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    ::sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(e->fd, reinterpret_cast<::sockaddr*>(&local), &len) != 0)
        return FailErrno(errno);
    return FromPosix(local, name, nameLen) ? 0 : SOCKET_ERROR;
}

int getpeername(SOCKET s, sockaddr* name, int* nameLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    ::sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(e->fd, reinterpret_cast<::sockaddr*>(&peer), &len) != 0)
        return FailErrno(errno);
    return FromPosix(peer, name, nameLen) ? 0 : SOCKET_ERROR;
}

int connect(SOCKET s, const sockaddr* name, int nameLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    ::sockaddr_in target;
    if (!ToPosix(name, nameLen, target))
        return SOCKET_ERROR;
    if (e->type == wsSOCK_DGRAM) {
        if (::connect(e->fd, reinterpret_cast<const ::sockaddr*>(&target), sizeof target) != 0)
            return FailErrno(errno);
        return 0;
    }
    switch (e->phase) {
    case Phase::Fresh:
        break;
    case Phase::Connecting:
        return Fail(WSAEALREADY);
    case Phase::Connected:
        return Fail(WSAEISCONN);
    case Phase::Listening:
    case Phase::Failed:
        return Fail(WSAEINVAL);
    }
    if (!MatchDescriptor(*e))
        return FailErrno(errno);
    if (::connect(e->fd, reinterpret_cast<const ::sockaddr*>(&target), sizeof target) == 0) {
        e->phase = Phase::Connected;
        e->writeOwed = true;
        if (e->nonBlocking) {
            e->connectOwed = true;
            e->connectError = 0;
            Deliver(*e);
        }
        return 0;
    }
    const int error = errno;
    if (error == EINPROGRESS && e->nonBlocking) {
        e->phase = Phase::Connecting;
        // A connection to this machine's loopback is made, or refused, while
        // connect runs: one look tells so, and the socket is not watched for it.
        if ((__builtin_bswap32(target.sin_addr.s_addr) >> 24) == 127 && e->wnd != 0 && (e->events & ws::FD_CONNECT)) {
            ::pollfd look{e->fd, POLLOUT, 0};
            if (::poll(&look, 1, 0) == 1 && (look.revents & (POLLOUT | POLLERR | POLLHUP))) {
                static_assert(POLLOUT == EPOLLOUT && POLLERR == EPOLLERR && POLLHUP == EPOLLHUP);
                OnWritable(s, static_cast<std::uint32_t>(look.revents));
                return Fail(WSAEWOULDBLOCK);
            }
        }
        UpdateWatch(*e);
        return Fail(WSAEWOULDBLOCK);
    }
    // On a non-blocking socket the outcome of the attempt always comes as
    // FD_CONNECT, even when the system knew it at once (a refused loopback
    // port).
    const bool outcome = error == ECONNREFUSED || error == ETIMEDOUT || error == ENETUNREACH || error == EHOSTUNREACH;
    if (outcome && e->nonBlocking) {
        e->phase = Phase::Failed;
        e->connectOwed = true;
        e->connectError = WinsockErrorFromErrno(error);
        Deliver(*e);
        return Fail(WSAEWOULDBLOCK);
    }
    if (outcome)
        e->phase = Phase::Failed;
    return FailErrno(error);
}

int closesocket(SOCKET s)
{
    if (!Enter(s))
        return SOCKET_ERROR;
    T().sockets.erase(s);
    return 0;
}

int bind(SOCKET s, const sockaddr* name, int nameLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    ::sockaddr_in local;
    if (!ToPosix(name, nameLen, local))
        return SOCKET_ERROR;
    if (!ApplyReuseAddr(*e) || ::bind(e->fd, reinterpret_cast<const ::sockaddr*>(&local), sizeof local) != 0)
        return FailErrno(errno);
    e->bound = true;
    return 0;
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return INVALID_SOCKET;
    if (e->phase != Phase::Listening) {
        tLastError = WSAEINVAL;
        return INVALID_SOCKET;
    }
    if (addr && (!addrLen || *addrLen < static_cast<int>(sizeof(ws::sockaddr_in)))) {
        tLastError = WSAEFAULT;
        return INVALID_SOCKET;
    }
    if (!MatchDescriptor(*e))
        return FailErrno(errno);
    ::sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int fd = ::accept4(e->fd, reinterpret_cast<::sockaddr*>(&peer), &len,
                             SOCK_CLOEXEC | (e->nonBlocking ? SOCK_NONBLOCK : 0));
    const int error = errno;
    e->acceptPending = false;
    UpdateWatch(*e);
    if (fd < 0) {
        FailErrno(error);
        return INVALID_SOCKET;
    }
    if (addr)
        FromPosix(peer, addr, addrLen);
    return AddSocket(fd, wsSOCK_STREAM, Phase::Connected, e->nonBlocking, e->nonBlocking);
}

int recv(SOCKET s, char* buf, int len, int flags)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    if (e->phase != Phase::Connected)
        return Fail(WSAENOTCONN);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    if (!e->nonBlocking && !MatchDescriptor(*e))
        return FailErrno(errno);
    ssize_t n;
    if (len == 0) {
        // A probe: nothing is taken; tells whether the call would block.
        char probe;
        n = ::recv(e->fd, &probe, 1, MSG_PEEK | PosixFlags(flags, *e));
        if (n > 0)
            n = 0;
    } else {
        n = ::recv(e->fd, buf, static_cast<std::size_t>(len), PosixFlags(flags, *e));
    }
    const int error = errno;
    if (n == 0 && len > 0 && e->type == wsSOCK_STREAM)
        e->endRead = true;
    CountRead(*e, len, flags, n);
    e->readPending = false;
    // A reset read by the caller is gone from the socket: the FD_CLOSE that
    // tells of it carries it all the same.
    if (n < 0 && e->type == wsSOCK_STREAM && error != EAGAIN && error != EINTR && !e->closeSeen) {
        e->closeSeen = true;
        e->closeOwed = true;
        e->closeError = WinsockErrorFromErrno(error);
        Deliver(*e);
    } else {
        UpdateWatch(*e);
    }
    if (n < 0)
        return FailErrno(error);
    return static_cast<int>(n);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromLen)
{
    SocketEntry* e = Enter(s);
    if (!e)
        return SOCKET_ERROR;
    if (e->type == wsSOCK_STREAM && !from)
        return recv(s, buf, len, flags);
    if (e->phase != Phase::Connected)
        return Fail(WSAENOTCONN);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    if (from && (!fromLen || *fromLen < static_cast<int>(sizeof(ws::sockaddr_in))))
        return Fail(WSAEFAULT);
    if (!e->nonBlocking && !MatchDescriptor(*e))
        return FailErrno(errno);
    ::sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    const ssize_t n =
        ::recvfrom(e->fd, buf, static_cast<std::size_t>(len), PosixFlags(flags, *e), reinterpret_cast<::sockaddr*>(&peer),
                   &peerLen);
    const int error = errno;
    if (n == 0 && len > 0 && e->type == wsSOCK_STREAM)
        e->endRead = true;
    CountRead(*e, len, flags, n);
    e->readPending = false;
    UpdateWatch(*e);
    if (n < 0)
        return FailErrno(error);
    if (from)
        FromPosix(peer, from, fromLen);
    return static_cast<int>(n);
}

u_short htons(u_short v)
{
    return __builtin_bswap16(v);
}

u_short ntohs(u_short v)
{
    return __builtin_bswap16(v);
}

u_long htonl(u_long v)
{
    return __builtin_bswap32(v);
}

u_long ntohl(u_long v)
{
    return __builtin_bswap32(v);
}

char* inet_ntoa(in_addr in)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&in.s_addr);
    std::snprintf(tDotted, sizeof tDotted, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return tDotted;
}

u_long inet_addr(const char* cp)
{
    if (!cp)
        return wsINADDR_NONE;
    // The classic parser: a, a.b, a.b.c and a.b.c.d, each part decimal, octal
    // or hexadecimal; trailing blanks end the address.
    ::in_addr address{};
    if (::inet_aton(cp, &address) == 0)
        return wsINADDR_NONE;
    return address.s_addr;
}

}  // namespace winsock

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the byte-order functions assume a little-endian host");

int WinsockErrorFromErrno(int error)
{
    for (const ErrnoMapping& m : kErrnoMap)
        if (m.posix == error)
            return m.winsock;
    return ws::WSAEINVAL;
}

int WinsockOpenSocketCount()
{
    return static_cast<int>(T().sockets.size());
}

std::vector<std::pair<std::string, void*>> WinsockEntryPoints()
{
    auto entry = [](const char* name, auto function) {
        return std::pair<std::string, void*>(name, reinterpret_cast<void*>(function));
    };
    return {
        entry("WSAStartup", &ws::WSAStartup),
        entry("WSACleanup", &ws::WSACleanup),
        entry("WSASetLastError", &ws::WSASetLastError),
        entry("WSAGetLastError", &ws::WSAGetLastError),
        entry("WSACancelAsyncRequest", &ws::WSACancelAsyncRequest),
        entry("WSAAsyncGetHostByName", &ws::WSAAsyncGetHostByName),
        entry("WSAAsyncGetHostByAddr", &ws::WSAAsyncGetHostByAddr),
        entry("WSAAsyncSelect", &ws::WSAAsyncSelect),
        entry("getservbyname", &ws::getservbyname),
        entry("getprotobyname", &ws::getprotobyname),
        entry("gethostbyname", &ws::gethostbyname),
        entry("socket", &ws::socket),
        entry("shutdown", &ws::shutdown),
        entry("setsockopt", &ws::setsockopt),
        entry("getsockopt", &ws::getsockopt),
        entry("sendto", &ws::sendto),
        entry("send", &ws::send),
        entry("ntohs", &ws::ntohs),
        entry("htons", &ws::htons),
        entry("ntohl", &ws::ntohl),
        entry("htonl", &ws::htonl),
        entry("listen", &ws::listen),
        entry("ioctlsocket", &ws::ioctlsocket),
        entry("inet_ntoa", &ws::inet_ntoa),
        entry("inet_addr", &ws::inet_addr),
        entry("getsockname", &ws::getsockname),
        entry("getpeername", &ws::getpeername),
        entry("connect", &ws::connect),
        entry("closesocket", &ws::closesocket),
        entry("bind", &ws::bind),
        entry("accept", &ws::accept),
        entry("recv", &ws::recv),
        entry("recvfrom", &ws::recvfrom),
    };
}

void RegisterWinsockLibrary()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    RegisterBuiltinLibrary("wsock32.dll", WinsockEntryPoints());
}
