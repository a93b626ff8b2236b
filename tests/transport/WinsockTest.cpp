// The Winsock emulation on its own: the notification rules of WSAAsyncSelect,
// handles, errors and the asynchronous lookups.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "platform/Winsock.h"
#include "support/Loop.h"
#include "support/PeerScript.h"
#include "support/WithoutApplication.h"

namespace ws = winsock;

namespace {

constexpr UINT kSocketMsg = WM_USER + 1;
constexpr UINT kLookupMsg = WM_USER + 2;

struct Note {
    ws::SOCKET socket;
    long event;
    int error;
};

// A message window that records what Winsock tells it.
class Recorder {
public:
    Recorder()
    {
        wnd = AllocateHWnd([this](TMessage& m) {
            if (m.Msg == kSocketMsg)
                notes.push_back({m.WParam, ws::WSAGETSELECTEVENT(m.LParam), ws::WSAGETSELECTERROR(m.LParam)});
            if (m.Msg == kLookupMsg) {
                lookupHandle = m.WParam;
                lookupReply = m.LParam;
                lookupThread = std::this_thread::get_id();
                ++lookups;
            }
        });
    }
    ~Recorder() { DeallocateHWnd(wnd); }

    int Count(ws::SOCKET s, long event) const
    {
        int n = 0;
        for (const Note& note : notes)
            n += note.socket == s && note.event == event;
        return n;
    }
    std::vector<Note> For(ws::SOCKET s) const
    {
        std::vector<Note> result;
        for (const Note& note : notes)
            if (note.socket == s)
                result.push_back(note);
        return result;
    }
    const Note* Find(ws::SOCKET s, long event) const
    {
        for (const Note& note : notes)
            if (note.socket == s && note.event == event)
                return &note;
        return nullptr;
    }

    HWND wnd = 0;
    std::vector<Note> notes;
    ws::HANDLE lookupHandle = 0;
    LPARAM lookupReply = 0;
    std::thread::id lookupThread;
    int lookups = 0;
};

constexpr long kAllEvents = ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;

ws::sockaddr_in Loopback(std::uint16_t port)
{
    ws::sockaddr_in a{};
    a.sin_family = ws::AF_INET;
    a.sin_port = ws::htons(port);
    a.sin_addr.s_addr = ws::htonl(ws::INADDR_LOOPBACK);
    return a;
}

const ws::sockaddr* Sa(const ws::sockaddr_in& a)
{
    return reinterpret_cast<const ws::sockaddr*>(&a);
}

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0); }
    void TearDown() override
    {
        for (ws::SOCKET s : open)
            ws::closesocket(s);
        ws::WSACleanup();
        ResetHooks();
    }

    ws::SOCKET Track(ws::SOCKET s)
    {
        open.push_back(s);
        return s;
    }

    // A selected listener on an ephemeral port.
    ws::SOCKET Listen(std::uint16_t& port)
    {
        const ws::SOCKET s = Track(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0));
        ws::sockaddr_in a = Loopback(0);
        EXPECT_EQ(ws::bind(s, Sa(a), sizeof a), 0);
        EXPECT_EQ(ws::listen(s, 5), 0);
        int len = sizeof a;
        EXPECT_EQ(ws::getsockname(s, reinterpret_cast<ws::sockaddr*>(&a), &len), 0);
        port = ws::ntohs(a.sin_port);
        EXPECT_EQ(ws::WSAAsyncSelect(s, rec.wnd, kSocketMsg, ws::FD_ACCEPT), 0);
        return s;
    }

    // A connected pair: a selected client and the accepted server end.
    void Pair(ws::SOCKET& client, ws::SOCKET& server, long serverEvents = kAllEvents)
    {
        std::uint16_t port = 0;
        const ws::SOCKET listener = Listen(port);
        client = Track(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0));
        ASSERT_EQ(ws::WSAAsyncSelect(client, rec.wnd, kSocketMsg, kAllEvents), 0);
        const ws::sockaddr_in a = Loopback(port);
        const int rc = ws::connect(client, Sa(a), sizeof a);
        ASSERT_TRUE(rc == 0 || ws::WSAGetLastError() == ws::WSAEWOULDBLOCK);
        ASSERT_TRUE(RunUntil([&] { return rec.Find(listener, ws::FD_ACCEPT) && rec.Find(client, ws::FD_CONNECT); }));
        server = Track(ws::accept(listener, nullptr, nullptr));
        ASSERT_NE(server, ws::INVALID_SOCKET);
        ASSERT_EQ(ws::WSAAsyncSelect(server, rec.wnd, kSocketMsg, serverEvents), 0);
    }

    // Returns once every notification that was due before the call has been
    // told: all sockets are watched through one readiness set, so a byte sent
    // now between a pair of the witness's own is told with or after them, and
    // the queue is then run past it.
    void AwaitWitness()
    {
        if (witnessClient == ws::INVALID_SOCKET) {
            ASSERT_NO_FATAL_FAILURE(Pair(witnessClient, witnessServer));
            ASSERT_TRUE(RunUntil([&] { return rec.Find(witnessClient, ws::FD_WRITE); }));
        }
        const int told = rec.Count(witnessClient, ws::FD_READ);
        ASSERT_EQ(ws::send(witnessServer, "w", 1, 0), 1);
        ASSERT_TRUE(RunUntil([&] { return rec.Count(witnessClient, ws::FD_READ) > told; }));
        char byte;
        ASSERT_EQ(ws::recv(witnessClient, &byte, 1, 0), 1);  // rearms its FD_READ
        ASSERT_TRUE(RunUntilPostedMessagesDispatched());
    }

    ws::WSADATA data{};
    Recorder rec;
    std::vector<ws::SOCKET> open;
    ws::SOCKET witnessClient = ws::INVALID_SOCKET;
    ws::SOCKET witnessServer = ws::INVALID_SOCKET;
};

TEST_F(WinsockTest, ConnectComesFirstThenOneWrite)
{
    ws::SOCKET client, server;
    Pair(client, server);
    ASSERT_TRUE(RunUntil([&] { return rec.Find(client, ws::FD_WRITE) && rec.Find(server, ws::FD_WRITE); }));
    ASSERT_NO_FATAL_FAILURE(AwaitWitness());
    const auto notes = rec.For(client);
    ASSERT_GE(notes.size(), 2u);
    EXPECT_EQ(notes[0].event, ws::FD_CONNECT);
    EXPECT_EQ(notes[0].error, 0);
    EXPECT_EQ(rec.Count(client, ws::FD_WRITE), 1);
    // The accepted socket owes its one FD_WRITE to its first selection.
    EXPECT_EQ(rec.Count(server, ws::FD_WRITE), 1);
    EXPECT_EQ(rec.Count(server, ws::FD_CONNECT), 0);
}

TEST_F(WinsockTest, AddressReuseAskedForBeforeBindHoldsOnceBound)
{
    // Two sockets that both ask for address reuse share a local port as long
    // as neither listens; the option is asked for before either binds.
    ws::SOCKET first = Track(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0));
    ws::SOCKET second = Track(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0));
    const int on = 1;
    for (ws::SOCKET s : {first, second}) {
        ASSERT_EQ(ws::setsockopt(s, ws::SOL_SOCKET, ws::SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on), 0);
        int value = 0;
        int len = sizeof value;
        ASSERT_EQ(ws::getsockopt(s, ws::SOL_SOCKET, ws::SO_REUSEADDR, reinterpret_cast<char*>(&value), &len), 0);
        EXPECT_EQ(value, 1);
    }
    ws::sockaddr_in a = Loopback(0);
    ASSERT_EQ(ws::bind(first, Sa(a), sizeof a), 0);
    int len = sizeof a;
    ASSERT_EQ(ws::getsockname(first, reinterpret_cast<ws::sockaddr*>(&a), &len), 0);
    EXPECT_EQ(ws::bind(second, Sa(a), sizeof a), 0) << ws::WSAGetLastError();
    int value = 0;
    len = sizeof value;
    ASSERT_EQ(ws::getsockopt(second, ws::SOL_SOCKET, ws::SO_REUSEADDR, reinterpret_cast<char*>(&value), &len), 0);
    EXPECT_EQ(value, 1);
}

TEST_F(WinsockTest, ALoopbackConnectIsToldInOrderAfterConnectReturns)
{
    // A connection to the loopback is made while connect runs; its
    // FD_CONNECT and FD_WRITE still come through the queue, in that order,
    // and only after connect has returned.
    std::uint16_t port = 0;
    Listen(port);
    const ws::SOCKET client = Track(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0));
    ASSERT_EQ(ws::WSAAsyncSelect(client, rec.wnd, kSocketMsg, kAllEvents), 0);
    const ws::sockaddr_in a = Loopback(port);
    ASSERT_EQ(ws::connect(client, Sa(a), sizeof a), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
    EXPECT_TRUE(rec.For(client).empty());
    ASSERT_TRUE(RunUntil([&] { return rec.Find(client, ws::FD_WRITE); }));
    const auto notes = rec.For(client);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].event, ws::FD_CONNECT);
    EXPECT_EQ(notes[0].error, 0);
    EXPECT_EQ(notes[1].event, ws::FD_WRITE);
}

TEST_F(WinsockTest, ReadIsRearmedByRecv)
{
    ws::SOCKET client, server;
    Pair(client, server);
    ASSERT_EQ(ws::send(server, "0123456789", 10, 0), 10);
    ASSERT_TRUE(RunUntil([&] { return rec.Count(client, ws::FD_READ) == 1; }));
    ASSERT_EQ(ws::send(server, "abc", 3, 0), 3);
    ASSERT_NO_FATAL_FAILURE(AwaitWitness());  // the three bytes have been seen
    EXPECT_EQ(rec.Count(client, ws::FD_READ), 1) << "no second FD_READ before recv";

    char buf[64];
    ASSERT_EQ(ws::recv(client, buf, 4, 0), 4);
    ASSERT_TRUE(RunUntil([&] { return rec.Count(client, ws::FD_READ) == 2; })) << "data remains after recv";
    ws::u_long waiting = 0;
    ASSERT_EQ(ws::ioctlsocket(client, ws::FIONREAD, &waiting), 0);
    EXPECT_EQ(waiting, 9u);
    ASSERT_EQ(ws::recv(client, buf, sizeof buf, 0), 9);
    ASSERT_NO_FATAL_FAILURE(AwaitWitness());
    EXPECT_EQ(rec.Count(client, ws::FD_READ), 2);
    EXPECT_EQ(ws::recv(client, buf, sizeof buf, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
}

// A socket asked again and again while data waits learns the count with each
// read instead: the answers stay exact across reads, and the peer's close
// after the last byte is not counted as a byte.
TEST_F(WinsockTest, BytesWaitingStayExactAcrossReadsAndThePeersClose)
{
    ws::SOCKET client, server;
    Pair(client, server);
    const std::string bytes(3000, 'x');
    ASSERT_EQ(ws::send(server, bytes.data(), 3000, 0), 3000);
    ws::u_long waiting = 0;
    ASSERT_TRUE(RunUntil([&] { return ws::ioctlsocket(client, ws::FIONREAD, &waiting) == 0 && waiting == 3000; }));
    char buf[4096];
    const struct {
        int read;
        ws::u_long left;
    } steps[] = {{1000, 2000}, {1500, 500}, {499, 1}, {1, 0}};
    for (const auto& step : steps) {
        ASSERT_EQ(ws::recv(client, buf, step.read, 0), step.read);
        ASSERT_EQ(ws::ioctlsocket(client, ws::FIONREAD, &waiting), 0);
        EXPECT_EQ(waiting, step.left) << step.read;
    }

    // Bytes that come while nobody reads are counted; after the peer's close
    // the count is of bytes only, not of the close.
    ASSERT_EQ(ws::send(server, "abc", 3, 0), 3);
    ASSERT_TRUE(RunUntil([&] { return ws::ioctlsocket(client, ws::FIONREAD, &waiting) == 0 && waiting == 3; }));
    ASSERT_EQ(ws::send(server, "de", 2, 0), 2);
    ASSERT_EQ(ws::shutdown(server, ws::SD_SEND), 0);
    ASSERT_TRUE(RunUntil([&] { return ws::ioctlsocket(client, ws::FIONREAD, &waiting) == 0 && waiting == 5; }));
    ASSERT_EQ(ws::recv(client, buf, 2, 0), 2);
    ASSERT_EQ(ws::ioctlsocket(client, ws::FIONREAD, &waiting), 0);
    EXPECT_EQ(waiting, 3u);
    ASSERT_EQ(ws::recv(client, buf, sizeof buf, 0), 3);
    ASSERT_EQ(ws::ioctlsocket(client, ws::FIONREAD, &waiting), 0);
    EXPECT_EQ(waiting, 0u);
    EXPECT_EQ(ws::recv(client, buf, sizeof buf, 0), 0);
}

// Readiness of all sockets is watched together: a hundred ready at once are
// each told once, and one closed meanwhile is told nothing.
TEST_F(WinsockTest, ManySocketsReadyAtOnceAreEachToldOnce)
{
    constexpr int Pairs = 100;
    std::vector<ws::SOCKET> clients(Pairs), servers(Pairs);
    for (int i = 0; i < Pairs; ++i)
        Pair(clients[std::size_t(i)], servers[std::size_t(i)]);
    for (ws::SOCKET server : servers)
        ASSERT_EQ(ws::send(server, "x", 1, 0), 1);
    const ws::SOCKET closed = clients.back();
    ASSERT_EQ(ws::closesocket(closed), 0);
    open.erase(std::find(open.begin(), open.end(), closed));
    clients.pop_back();
    ASSERT_TRUE(RunUntil([&] {
        return std::all_of(clients.begin(), clients.end(), [&](ws::SOCKET c) { return rec.Count(c, ws::FD_READ) > 0; });
    }));
    for (ws::SOCKET c : clients)
        EXPECT_EQ(rec.Count(c, ws::FD_READ), 1) << c;
    EXPECT_EQ(rec.Count(closed, ws::FD_READ), 0);
}

TEST_F(WinsockTest, WriteComesAgainOnlyAfterASendThatWouldHaveBlocked)
{
    ws::SOCKET client, server;
    Pair(client, server, ws::FD_CLOSE);  // the server end reads only when told below
    ASSERT_TRUE(RunUntil([&] { return rec.Count(client, ws::FD_WRITE) == 1; }));

    std::string block(64 * 1024, 'x');
    long long sent = 0;
    for (;;) {
        const int n = ws::send(client, block.data(), static_cast<int>(block.size()), 0);
        if (n == ws::SOCKET_ERROR) {
            ASSERT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
            break;
        }
        sent += n;
        ASSERT_LT(sent, 1LL << 30) << "the send buffer never filled";
    }
    ASSERT_NO_FATAL_FAILURE(AwaitWitness());
    EXPECT_EQ(rec.Count(client, ws::FD_WRITE), 1);

    long long received = 0;
    char buf[65536];
    ASSERT_TRUE(RunUntil([&] {
        int n;
        while ((n = ws::recv(server, buf, sizeof buf, 0)) > 0)
            received += n;
        return received == sent;
    }));
    ASSERT_TRUE(RunUntil([&] { return rec.Count(client, ws::FD_WRITE) == 2; }));
    ASSERT_NO_FATAL_FAILURE(AwaitWitness());
    EXPECT_EQ(rec.Count(client, ws::FD_WRITE), 2);
}

TEST_F(WinsockTest, CloseCarriesZeroForOrderlyAndResetForAbortive)
{
    struct Case {
        const char* name;
        bool reset;
        int error;
    };
    for (const Case& c : {Case{"orderly", false, 0}, Case{"reset", true, ws::WSAECONNRESET}}) {
        SCOPED_TRACE(c.name);
        ws::SOCKET client, server;
        Pair(client, server);
        ASSERT_EQ(ws::send(server, "tail", 4, 0), 4);
        if (c.reset) {
            const ws::linger hard{1, 0};
            ASSERT_EQ(ws::setsockopt(server, ws::SOL_SOCKET, ws::SO_LINGER, reinterpret_cast<const char*>(&hard),
                                     sizeof hard),
                      0);
        }
        ASSERT_EQ(ws::closesocket(server), 0);
        // The caller reads the end itself (0, or the reset) before Winsock
        // has told of it: FD_CLOSE still comes, with the same error.
        std::string got;
        int last = 0;
        ASSERT_TRUE(RunUntil([&] {
            char buf[16];
            while ((last = ws::recv(client, buf, sizeof buf, 0)) > 0)
                got.append(buf, static_cast<std::size_t>(last));
            return last == 0 || ws::WSAGetLastError() != ws::WSAEWOULDBLOCK;
        }));
        EXPECT_EQ(got, "tail") << "data before the close is still delivered";
        EXPECT_EQ(last == 0 ? 0 : ws::WSAGetLastError(), c.error);
        ASSERT_TRUE(RunUntil([&] { return rec.Find(client, ws::FD_CLOSE); }));
        EXPECT_EQ(rec.Find(client, ws::FD_CLOSE)->error, c.error);
        ASSERT_NO_FATAL_FAILURE(AwaitWitness());
        EXPECT_EQ(rec.Count(client, ws::FD_CLOSE), 1);
    }
}

// The peer sends its last bytes and ends at once, so that both wait together
// when the socket is first told. However the caller takes the bytes, it
// gets them whole, one FD_READ for each time data was left waiting, and one
// FD_CLOSE without an error after them.
TEST_F(WinsockTest, ThePeersEndAfterItsLastBytesIsToldOnce)
{
    struct Case {
        const char* name;
        std::vector<int> reads;  // sizes of the reads, one per FD_READ; negative: a peek
        bool askWaiting;         // FIONREAD after each read, as the socket layer does
        bool readTheEnd;         // one more read, which meets the end
        int fdReads;
    };
    const Case cases[] = {
        {"all, then asks what waits", {64}, true, false, 1},
        {"all, asks nothing", {64}, false, false, 1},
        {"all, then reads the end", {64}, true, true, 1},
        {"in two parts, asking", {3, 64}, true, false, 2},
        {"in two parts, not asking", {3, 64}, false, false, 2},
        {"a peek, then all", {-64, 64}, true, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ws::SOCKET client, server;
        Pair(client, server);
        ASSERT_EQ(ws::send(server, "payload", 7, 0), 7);
        ASSERT_EQ(ws::shutdown(server, ws::SD_SEND), 0);
        std::string got;
        char buf[64];
        for (std::size_t i = 0; i < c.reads.size(); ++i) {
            ASSERT_TRUE(RunUntil([&] { return rec.Count(client, ws::FD_READ) == int(i) + 1; }));
            const bool peek = c.reads[i] < 0;
            const int n = ws::recv(client, buf, std::abs(c.reads[i]), peek ? ws::MSG_PEEK : 0);
            ASSERT_GT(n, 0);
            if (!peek)
                got.append(buf, std::size_t(n));
            if (c.askWaiting) {
                ws::u_long waiting = 99;
                ASSERT_EQ(ws::ioctlsocket(client, ws::FIONREAD, &waiting), 0);
                EXPECT_EQ(waiting, 7u - got.size());
            }
        }
        if (c.readTheEnd) {
            EXPECT_EQ(ws::recv(client, buf, sizeof buf, 0), 0);
        }
        ASSERT_TRUE(RunUntil([&] { return rec.Find(client, ws::FD_CLOSE); }));
        ASSERT_NO_FATAL_FAILURE(AwaitWitness());
        EXPECT_EQ(got, "payload");
        EXPECT_EQ(rec.Count(client, ws::FD_READ), c.fdReads);
        EXPECT_EQ(rec.Count(client, ws::FD_CLOSE), 1);
        EXPECT_EQ(rec.Find(client, ws::FD_CLOSE)->error, 0);
        ws::u_long waiting = 99;
        ASSERT_EQ(ws::ioctlsocket(client, ws::FIONREAD, &waiting), 0);
        EXPECT_EQ(waiting, 0u);
        EXPECT_EQ(ws::recv(client, buf, sizeof buf, 0), 0);
    }
}

// An urgent byte stops a read, and the system's count of what waits, short
// of the bytes after it: the peer's end is told only once those are read too.
TEST_F(WinsockTest, BytesAfterAnUrgentByteComeBeforeThePeersEnd)
{
    ws::SOCKET client, server;
    Pair(client, server);
    ASSERT_EQ(ws::send(server, "abc", 3, 0), 3);
    ASSERT_EQ(ws::send(server, "U", 1, ws::MSG_OOB), 1);
    ASSERT_EQ(ws::send(server, "defgh", 5, 0), 5);
    ASSERT_EQ(ws::shutdown(server, ws::SD_SEND), 0);
    std::string got;
    char buf[64];
    for (int handled = 0; !rec.Find(client, ws::FD_CLOSE);) {
        ASSERT_TRUE(RunUntil([&] { return rec.Count(client, ws::FD_READ) > handled || rec.Find(client, ws::FD_CLOSE); }));
        for (; handled < rec.Count(client, ws::FD_READ); ++handled) {
            const int n = ws::recv(client, buf, sizeof buf, 0);
            if (n > 0)
                got.append(buf, std::size_t(n));
        }
    }
    EXPECT_EQ(got, "abcdefgh");
    EXPECT_EQ(rec.Find(client, ws::FD_CLOSE)->error, 0);
    EXPECT_EQ(ws::recv(client, buf, sizeof buf, 0), 0);
}

// A socket never selected blocks like a Winsock socket in blocking mode: the
// connect returns connected and a read waits for the peer's bytes; switched
// to non-blocking it says so instead of waiting, and back again it waits.
TEST_F(WinsockTest, AnUnselectedSocketBlocksUntilMadeNonBlocking)
{
    PeerScript peer;
    peer.Read(4).Write("pong").Read(4).Close();
    peer.Start();
    const ws::SOCKET s = Track(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0));
    const ws::sockaddr_in a = Loopback(peer.Port());
    ASSERT_EQ(ws::connect(s, Sa(a), sizeof a), 0) << ws::WSAGetLastError();
    ASSERT_EQ(ws::send(s, "ping", 4, 0), 4);
    char buf[16];
    ASSERT_EQ(ws::recv(s, buf, sizeof buf, 0), 4) << ws::WSAGetLastError();
    EXPECT_EQ(std::string(buf, 4), "pong");

    ws::u_long mode = 1;
    ASSERT_EQ(ws::ioctlsocket(s, ws::FIONBIO, &mode), 0);
    EXPECT_EQ(ws::recv(s, buf, sizeof buf, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
    mode = 0;
    ASSERT_EQ(ws::ioctlsocket(s, ws::FIONBIO, &mode), 0);
    ASSERT_EQ(ws::send(s, "more", 4, 0), 4);
    EXPECT_EQ(ws::recv(s, buf, sizeof buf, 0), 0) << "waits for the peer's close";
    ASSERT_EQ(ws::closesocket(s), 0);
    open.clear();
    ASSERT_TRUE(RunUntil([&] { return peer.Finished(); }));
    EXPECT_EQ(peer.Error(), "");
}

TEST_F(WinsockTest, RefusedConnectIsTheOnlyNotification)
{
    const ws::SOCKET s = Track(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0));
    ASSERT_EQ(ws::WSAAsyncSelect(s, rec.wnd, kSocketMsg, kAllEvents), 0);
    const PeerRefusedPort refused;
    const ws::sockaddr_in a = Loopback(refused.Port());
    EXPECT_EQ(ws::connect(s, Sa(a), sizeof a), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
    ASSERT_TRUE(RunUntil([&] { return rec.Find(s, ws::FD_CONNECT); }));
    EXPECT_EQ(rec.Find(s, ws::FD_CONNECT)->error, ws::WSAECONNREFUSED);
    ASSERT_NO_FATAL_FAILURE(AwaitWitness());
    EXPECT_EQ(rec.For(s).size(), 1u);
}

TEST_F(WinsockTest, EventsOfADeselectedSocketWaitForTheNextSelection)
{
    ws::SOCKET client, server;
    Pair(client, server);
    ASSERT_TRUE(RunUntil([&] { return rec.Count(client, ws::FD_WRITE) == 1; }));
    ASSERT_EQ(ws::WSAAsyncSelect(client, rec.wnd, 0, 0), 0);
    ASSERT_EQ(ws::send(server, "x", 1, 0), 1);
    ASSERT_NO_FATAL_FAILURE(AwaitWitness());  // the byte has been seen
    EXPECT_EQ(rec.Count(client, ws::FD_READ), 0);
    ASSERT_EQ(ws::WSAAsyncSelect(client, rec.wnd, kSocketMsg, kAllEvents), 0);
    ASSERT_TRUE(RunUntil([&] { return rec.Count(client, ws::FD_READ) == 1; }));
    EXPECT_EQ(rec.Count(client, ws::FD_WRITE), 1) << "selecting again owes no FD_WRITE";
}

TEST_F(WinsockTest, HandlesAreNeverReused)
{
    const ws::SOCKET first = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    ASSERT_NE(first, ws::INVALID_SOCKET);
    ASSERT_EQ(ws::closesocket(first), 0);
    const ws::SOCKET second = Track(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0));
    EXPECT_GT(second, first);
    char c;
    EXPECT_EQ(ws::recv(first, &c, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTSOCK);
    EXPECT_EQ(ws::closesocket(first), ws::SOCKET_ERROR);
}

TEST_F(WinsockTest, ErrnoMapsToWinsockNumbers)
{
    EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WinsockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WinsockErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(WinsockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(WinsockErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(WinsockErrorFromErrno(ENOTCONN), 10057);
    ws::SOCKET s = ws::socket(ws::AF_INET + 1, ws::SOCK_STREAM, 0);
    EXPECT_EQ(s, ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEAFNOSUPPORT);
}

TEST_F(WinsockTest, CallsNeedStartup)
{
    // This test's own start is undone; nobody else in the process started it.
    ws::WSACleanup();
    EXPECT_EQ(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
    ws::WSADATA d{};
    EXPECT_EQ(ws::WSAStartup(0x0001, &d), ws::WSAVERNOTSUPPORTED);
    ASSERT_EQ(ws::WSAStartup(0x0202, &d), 0);
    EXPECT_EQ(d.wVersion, 0x0101);
}

TEST_F(WinsockTest, LookupRunsTheHookOnAWorkerAndRepliesOnTheGuiThread)
{
    std::thread::id hookThread;
    GetHooks().resolveName = [&](const std::string& host) {
        hookThread = std::this_thread::get_id();
        ResolveResult r;
        r.officialName = host + ".example";
        r.addresses = {ws::htonl(0x7f000005), ws::htonl(0x7f000006)};
        return r;
    };
    alignas(ws::hostent) char buf[ws::MAXGETHOSTSTRUCT];
    const ws::HANDLE h = ws::WSAAsyncGetHostByName(rec.wnd, kLookupMsg, "peer", buf, sizeof buf);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(rec.lookups, 0) << "the reply never comes inside the call";
    ASSERT_TRUE(RunUntil([&] { return rec.lookups == 1; }));
    EXPECT_EQ(rec.lookupHandle, h);
    EXPECT_EQ(ws::WSAGETASYNCERROR(rec.lookupReply), 0);
    EXPECT_NE(hookThread, std::this_thread::get_id());
    EXPECT_EQ(rec.lookupThread, std::this_thread::get_id());
    const auto* entry = reinterpret_cast<const ws::hostent*>(buf);
    EXPECT_STREQ(entry->h_name, "peer.example");
    ASSERT_NE(entry->h_addr_list[0], nullptr);
    ASSERT_NE(entry->h_addr_list[1], nullptr);
    EXPECT_EQ(entry->h_addr_list[2], nullptr);
    ws::in_addr second;
    std::memcpy(&second.s_addr, entry->h_addr_list[1], 4);
    EXPECT_STREQ(ws::inet_ntoa(second), "127.0.0.6");
    EXPECT_EQ(ws::WSACancelAsyncRequest(h), ws::SOCKET_ERROR) << "a finished request cannot be cancelled";
}

TEST_F(WinsockTest, LookupErrorsAndCancel)
{
    GetHooks().resolveName = [](const std::string&) {
        ResolveResult r;
        r.error = ws::WSAHOST_NOT_FOUND;
        return r;
    };
    alignas(ws::hostent) char buf[ws::MAXGETHOSTSTRUCT];
    ws::WSAAsyncGetHostByName(rec.wnd, kLookupMsg, "nowhere", buf, sizeof buf);
    ASSERT_TRUE(RunUntil([&] { return rec.lookups == 1; }));
    EXPECT_EQ(ws::WSAGETASYNCERROR(rec.lookupReply), ws::WSAHOST_NOT_FOUND);

    GetHooks().resolveName = [](const std::string&) {
        ResolveResult r;
        r.officialName = std::string(300, 'n');
        r.addresses = {ws::htonl(0x7f000001)};
        return r;
    };
    ws::WSAAsyncGetHostByName(rec.wnd, kLookupMsg, "long", buf, 64);
    ASSERT_TRUE(RunUntil([&] { return rec.lookups == 2; }));
    EXPECT_EQ(ws::WSAGETASYNCERROR(rec.lookupReply), ws::WSAENOBUFS);
    EXPECT_GT(ws::WSAGETASYNCBUFLEN(rec.lookupReply), 64);

    // The cancelled request's resolver is held until the cancel, then let go;
    // its answer is posted as it returns, so the queue is run past it and past
    // a later request's reply.
    std::atomic<bool> cancelDone{false};
    std::atomic<bool> resolved{false};
    GetHooks().resolveName = [&](const std::string&) {
        while (!cancelDone)
            std::this_thread::yield();
        resolved = true;
        ResolveResult r;
        r.addresses = {ws::htonl(0x7f000001)};
        return r;
    };
    const ws::HANDLE cancelled = ws::WSAAsyncGetHostByName(rec.wnd, kLookupMsg, "gone", buf, sizeof buf);
    EXPECT_EQ(ws::WSACancelAsyncRequest(cancelled), 0);
    cancelDone = true;
    ASSERT_TRUE(RunUntil([&] { return resolved.load(); }));
    const ws::HANDLE after = ws::WSAAsyncGetHostByName(rec.wnd, kLookupMsg, "after", buf, sizeof buf);
    ASSERT_TRUE(RunUntil([&] { return rec.lookupHandle == after; }));
    ASSERT_TRUE(RunUntilPostedMessagesDispatched());
    EXPECT_EQ(rec.lookups, 3) << "a cancelled request never replies";
}

TEST_F(WinsockTest, DatabaseLookups)
{
    const ws::servent* http = ws::getservbyname("http", "tcp");
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(ws::ntohs(static_cast<ws::u_short>(http->s_port)), 80);
    EXPECT_EQ(ws::getservbyname("no-such-service", "tcp"), nullptr);
    const ws::protoent* udp = ws::getprotobyname("udp");
    ASSERT_NE(udp, nullptr);
    EXPECT_EQ(udp->p_proto, 17);
    EXPECT_EQ(ws::inet_addr("10.1.2.3"), ws::htonl(0x0a010203));
    EXPECT_EQ(ws::inet_addr("bad"), ws::INADDR_NONE);
}

// The waits of the socket layer (a socket's wait for events, a test's
// RunUntil) end on an event of their own: a dispatch that a message posted
// by a handler scheduled, made needless by the pump that ran the message,
// does not end the next wait at once. The timer is the only event to come.
TEST(SocketLayerWaits, AWaitAfterAPumpWaitsForAnEventOfItsOwn)
{
    if (!QCoreApplication::instance())
        return;
    std::vector<WPARAM> ran;
    HWND wnd = 0;
    wnd = AllocateHWnd([&](TMessage& m) {
        ran.push_back(m.WParam);
        if (m.WParam == 1)
            PostMessage(wnd, WM_USER, 2, 0);
    });
    PostMessage(wnd, WM_USER, 1, 0);
    ProcessMessages();
    ASSERT_EQ(ran, (std::vector<WPARAM>{1, 2}));
    bool fired = false;
    QTimer::singleShot(1, [&] { fired = true; });
    WaitAndProcessMessages(5000);
    EXPECT_TRUE(fired);
    DeallocateHWnd(wnd);
}

}  // namespace

// A socket selected before the application object exists is told of its
// events once an application's loop runs, and so is a message posted then;
// a socket selected while one application lived gets its events in the
// next. Only the toolkit's own loop runs here, as in the program's main loop.
TEST(WinsockApplications, EventsReachSocketsMadeBeforeOrBetweenApplications)
{
    if (!RunningWithoutApplication())
        return;
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    ws::WSADATA data{};
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    std::function<bool()> done;
    Recorder rec;
    std::vector<WPARAM> posted;
    const HWND other = AllocateHWnd([&](TMessage& m) { posted.push_back(m.WParam); });
    // Runs the toolkit's loop until done() holds, under a watchdog.
    const auto runLoop = [&] {
        QEventLoop events;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done())
                events.quit();
        });
        check.start(1);
        QTimer::singleShot(10000, &events, &QEventLoop::quit);
        events.exec();
        return done();
    };

    const ws::SOCKET listener = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    ws::sockaddr_in a = Loopback(0);
    ASSERT_EQ(ws::bind(listener, Sa(a), sizeof a), 0);
    ASSERT_EQ(ws::listen(listener, 5), 0);
    int len = sizeof a;
    ASSERT_EQ(ws::getsockname(listener, reinterpret_cast<ws::sockaddr*>(&a), &len), 0);
    ASSERT_EQ(ws::WSAAsyncSelect(listener, rec.wnd, kSocketMsg, ws::FD_ACCEPT), 0);
    const ws::SOCKET client = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    ASSERT_EQ(ws::connect(client, Sa(a), sizeof a), 0);  // unselected: a blocking connect
    PostMessage(other, WM_USER, 7, 0);

    ws::SOCKET server = ws::INVALID_SOCKET;
    {
        int argc = 1;
        char name[] = "first";
        char* argv[] = {name, nullptr};
        QCoreApplication first(argc, argv);
        done = [&] { return rec.Find(listener, ws::FD_ACCEPT) && !posted.empty(); };
        EXPECT_TRUE(runLoop()) << "accept seen " << (rec.Find(listener, ws::FD_ACCEPT) != nullptr)
                               << ", message seen " << !posted.empty();
        server = ws::accept(listener, nullptr, nullptr);
        ASSERT_NE(server, ws::INVALID_SOCKET);
        ASSERT_EQ(ws::WSAAsyncSelect(server, rec.wnd, kSocketMsg, ws::FD_READ), 0);
    }
    {
        int argc = 1;
        char name[] = "second";
        char* argv[] = {name, nullptr};
        QCoreApplication second(argc, argv);
        ASSERT_EQ(ws::send(client, "hello", 5, 0), 5);
        done = [&] { return rec.Find(server, ws::FD_READ) != nullptr; };
        EXPECT_TRUE(runLoop());
        char buffer[8];
        EXPECT_EQ(ws::recv(server, buffer, sizeof buffer, 0), 5);
    }
    for (const ws::SOCKET s : {server, client, listener})
        ws::closesocket(s);
    DeallocateHWnd(other);
    ws::WSACleanup();
}
