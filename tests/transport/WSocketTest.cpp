// The asynchronous socket against peers built from TWSocket itself and
// against scripted loopback peers.
#include <gtest/gtest.h>

#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "platform/Winsock.h"
#include "support/Loop.h"
#include "support/PeerScript.h"
#include "support/PeerSockets.h"
#include "support/SocketWitness.h"
#include "transport/WSocket.h"

namespace {

// What a socket told, in order, and what it read.
struct Events {
    std::vector<std::string> log;
    std::string data;
    int connects = 0;
    int closes = 0;
    int sent = 0;
    int connectError = -1;
    int closeError = -1;

    Events() = default;
    explicit Events(TWSocket& s) { Attach(s); }
    void Attach(TWSocket& s)
    {
        s.OnSessionConnected = [this](TObject*, std::uint16_t e) {
            log.push_back("connected " + std::to_string(e));
            connectError = e;
            ++connects;
        };
        s.OnSessionClosed = [this](TObject*, std::uint16_t e) {
            log.push_back("closed " + std::to_string(e));
            closeError = e;
            ++closes;
        };
        s.OnDataSent = [this](TObject*, std::uint16_t) { ++sent; };
        s.OnDataAvailable = [this, &s](TObject*, std::uint16_t) {
            char buf[65536];
            const int n = s.Receive(buf, sizeof buf);
            if (n > 0)
                data.append(buf, static_cast<std::size_t>(n));
        };
    }
};

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

// Aims `client` at a loopback port, connects it and waits for its OnSessionConnected.
bool ConnectAndWait(TWSocket& client, const Events& events, const CodePageString& port)
{
    PeerAim(client, port);
    client.Connect();
    return RunUntil([&] { return events.connects == 1; });
}

class WSocketTest : public ::testing::Test {
protected:
    void TearDown() override { ResetHooks(); }
};

TEST_F(WSocketTest, LargeDataBothWaysThroughTheChunkedQueue)
{
    PeerListener server;
    Events serverEvents;
    server.OnAccept = [&](TWSocket& s) {
        serverEvents.Attach(s);
        // An echo: whatever comes in goes back out through the queue.
        s.OnDataAvailable = [&serverEvents, &s](TObject*, std::uint16_t) {
            char buf[32768];
            const int n = s.Receive(buf, sizeof buf);
            if (n > 0) {
                serverEvents.data.append(buf, static_cast<std::size_t>(n));
                s.Send(buf, n);
            }
        };
    };
    const std::string payload = Pattern(4 * 1024 * 1024 + 123);
    TWSocket client;
    Events clientEvents(client);
    long long reported = 0;
    client.OnSendData = [&](TObject*, int bytes) { reported += bytes; };
    int sentBeforeSend = -1;
    client.OnSessionConnected = [&](TObject*, std::uint16_t e) {
        clientEvents.connectError = e;
        ASSERT_TRUE(RunUntil([&] { return clientEvents.sent == 1; })) << "one OnDataSent after connecting";
        sentBeforeSend = clientEvents.sent;
        EXPECT_EQ(client.Send(payload.data(), static_cast<int>(payload.size())), static_cast<int>(payload.size()));
        EXPECT_EQ(clientEvents.sent, sentBeforeSend) << "OnDataSent never comes from inside Send";
    };
    PeerAim(client, server.port);
    client.Connect();
    EXPECT_EQ(client.State(), wsConnecting);
    ASSERT_TRUE(RunUntil([&] { return clientEvents.data.size() >= payload.size(); }, 30000));
    EXPECT_EQ(clientEvents.connectError, 0);
    EXPECT_TRUE(serverEvents.data == payload);
    EXPECT_TRUE(clientEvents.data == payload);
    EXPECT_EQ(reported, static_cast<long long>(payload.size()));
    ASSERT_TRUE(RunUntil([&] { return client.AllSent(); }));
    ASSERT_TRUE(SocketWitness().Await());  // the write notifications after the last byte have been told
    EXPECT_EQ(clientEvents.sent, sentBeforeSend + 1) << "one OnDataSent after the last byte went out";
    EXPECT_EQ(client.ReadCount(), static_cast<std::int64_t>(payload.size()));

    client.Close();
    EXPECT_EQ(client.State(), wsClosed);
    EXPECT_EQ(clientEvents.closes, 1);
    ASSERT_TRUE(RunUntil([&] { return serverEvents.closes == 1; }));
    EXPECT_EQ(serverEvents.closeError, 0);
    EXPECT_EQ(server.Last().State(), wsClosed);
}

// One connection may carry more than 2 GiB; the read count goes on past it.
TEST_F(WSocketTest, ReadCountPassesTwoGiB)
{
    const std::uint64_t size = (std::uint64_t{1} << 31) + 100;
    PeerScript peer;
    peer.WriteZeros(size).Close();
    peer.Start();
    TWSocket client;
    Events events(client);
    std::uint64_t received = 0;
    std::int64_t countAtClose = -1;
    std::vector<char> buf(65536);
    client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        const int n = client.Receive(buf.data(), static_cast<int>(buf.size()));
        if (n > 0)
            received += static_cast<std::uint64_t>(n);
    };
    client.OnSessionClosed = [&](TObject*, std::uint16_t) {
        countAtClose = client.ReadCount();
        ++events.closes;
    };
    ASSERT_TRUE(ConnectAndWait(client, events, peer.PortText()));
    ASSERT_TRUE(RunUntil([&] { return events.closes == 1; }, 60000));
    EXPECT_EQ(received, size);
    EXPECT_EQ(countAtClose, static_cast<std::int64_t>(size));
    EXPECT_EQ(peer.Error(), "");
}

TEST_F(WSocketTest, PeerCloseAndResetEndTheSession)
{
    struct Case {
        const char* name;
        bool reset;
        int error;
    };
    for (const Case& c : {Case{"orderly", false, 0}, Case{"reset", true, 10054}}) {
        SCOPED_TRACE(c.name);
        PeerScript peer;
        peer.Write("bye");
        if (c.reset)
            peer.Reset();
        else
            peer.Close();
        peer.Start();
        TWSocket client;
        Events events(client);
        PeerAim(client, peer.PortText());
        client.Connect();
        ASSERT_TRUE(RunUntil([&] { return events.closes == 1; }));
        EXPECT_EQ(events.data, "bye");
        EXPECT_EQ(events.closeError, c.error);
        EXPECT_EQ(client.State(), wsClosed);
        EXPECT_EQ(events.log.front(), "connected 0");
    }
}

TEST_F(WSocketTest, OurCloseIsOrderlyForThePeer)
{
    PeerScript peer;
    peer.Read(5).ReadUntilClosed();
    peer.Start();
    TWSocket client;
    Events events(client);
    client.OnSessionConnected = [&](TObject*, std::uint16_t) { client.SendStr("hello"); };
    PeerAim(client, peer.PortText());
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return peer.StepsDone() >= 1; }));
    client.Close();
    ASSERT_TRUE(RunUntil([&] { return peer.Finished(); }));
    EXPECT_EQ(peer.Error(), "");
    EXPECT_EQ(peer.Received(), "hello");
    EXPECT_EQ(peer.PeerEnd(), "close");
}

TEST_F(WSocketTest, RefusedPort)
{
    TWSocket client;
    Events events(client);
    const PeerRefusedPort refused;
    PeerAim(client, refused.PortText());
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return events.closes == 1; }));
    EXPECT_EQ(events.log, (std::vector<std::string>{"connected 10061", "closed 0"}));
    EXPECT_EQ(client.State(), wsClosed);
    EXPECT_EQ(client.Addr(), "127.0.0.1");
    client.OnError = [](TObject*) {};
    client.Connect();
    EXPECT_EQ(client.State(), wsClosed) << "a close forgets Addr and Port";
}

TEST_F(WSocketTest, PauseHoldsEventsUntilResume)
{
    PeerListener server;
    Events serverEvents;
    server.OnAccept = [&](TWSocket& s) { serverEvents.Attach(s); };
    TWSocket client;
    Events clientEvents(client);
    PeerAim(client, server.port);
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return clientEvents.connects == 1 && !server.accepted.empty(); }));
    TWSocket& end = server.Last();
    end.Pause();
    client.SendStr("while paused");
    ASSERT_TRUE(SocketWitness().Await());  // the bytes have reached the paused end
    EXPECT_EQ(serverEvents.data, "");
    end.Resume();
    ASSERT_TRUE(RunUntil([&] { return serverEvents.data == "while paused"; }));
}

// A socket whose destruction can be watched.
class WatchedSocket : public TWSocket {
public:
    explicit WatchedSocket(bool& destroyed) : destroyed_(destroyed) {}
    ~WatchedSocket() override { destroyed_ = true; }

private:
    bool& destroyed_;
};

TEST_F(WSocketTest, PostCloseAndReleaseActAfterTheHandlerReturns)
{
    PeerListener server;
    Events serverEvents;
    TSocketState stateAfterPostClose = wsInvalidState;
    server.OnAccept = [&](TWSocket& s) {
        serverEvents.Attach(s);
        s.OnDataAvailable = [&serverEvents, &s, &stateAfterPostClose](TObject*, std::uint16_t) {
            serverEvents.data += s.ReceiveText();
            s.PostClose();
            stateAfterPostClose = s.State();
        };
    };
    bool destroyed = false;
    auto* client = new WatchedSocket(destroyed);
    Events clientEvents(*client);
    bool stillThere = false;
    client->OnSessionClosed = [&](TObject*, std::uint16_t) {
        client->Release();
        stillThere = !destroyed;
    };
    client->OnSessionConnected = [&](TObject*, std::uint16_t) { client->SendStr("x"); };
    PeerAim(*client, server.port);
    client->Connect();
    ASSERT_TRUE(RunUntil([&] { return destroyed; }));
    EXPECT_EQ(serverEvents.data, "x");
    EXPECT_EQ(stateAfterPostClose, wsConnected);
    EXPECT_EQ(serverEvents.closes, 1);
    EXPECT_TRUE(stillThere);
}

TEST_F(WSocketTest, UdpDatagramsBothWays)
{
    TWSocket receiver;
    receiver.SetProto("udp");
    receiver.SetAddr("127.0.0.1");
    receiver.SetPort("0");
    std::string got;
    TSockAddrIn from{};
    receiver.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[1500];
        int len = sizeof from;
        const int n = receiver.ReceiveFrom(buf, sizeof buf, from, len);
        if (n > 0)
            got.assign(buf, static_cast<std::size_t>(n));
    };
    Events receiverEvents;
    receiver.OnSessionConnected = [&](TObject*, std::uint16_t e) { receiverEvents.connectError = e; };
    receiver.Listen();
    EXPECT_EQ(receiver.State(), wsConnected);
    EXPECT_EQ(receiverEvents.connectError, 0);

    TWSocket sender;
    sender.SetProto("udp");
    sender.SetAddr("127.0.0.1");
    sender.SetPort(receiver.GetLocalPort());
    Events senderEvents(sender);
    sender.Connect();
    EXPECT_EQ(sender.State(), wsConnected);
    EXPECT_EQ(senderEvents.connects, 1) << "a datagram socket is connected at once";
    EXPECT_EQ(sender.SendStr("ping"), 4);
    ASSERT_TRUE(RunUntil([&] { return got == "ping"; }));
    EXPECT_EQ(IntToStr(winsock::ntohs(from.sin_port)), sender.GetLocalPort());

    EXPECT_EQ(receiver.SendTo(from, sizeof from, "pong", 4), 4);
    ASSERT_TRUE(RunUntil([&] { return senderEvents.data == "pong"; }));
}

TEST_F(WSocketTest, BackgroundExceptions)
{
    struct Case {
        const char* name;
        bool keepOpen;
    };
    for (const Case& c : {Case{"aborts by default", false}, Case{"kept open by the handler", true}}) {
        SCOPED_TRACE(c.name);
        PeerListener server;
        TWSocket client;
        Events events(client);
        std::string message;
        client.OnBgException = [&](TObject*, const std::exception& e, bool& canClose) {
            message = e.what();
            if (c.keepOpen)
                canClose = false;
        };
        ASSERT_TRUE(ConnectAndWait(client, events, server.port));
        PostMessage(client.Handle(), WM_TRIGGER_EXCEPTION, 0, 0);
        ASSERT_TRUE(RunUntil([&] { return !message.empty(); }));
        EXPECT_EQ(message, "Test exception in WSocket");
        EXPECT_EQ(client.State(), c.keepOpen ? wsConnected : wsClosed);
    }
}

TEST_F(WSocketTest, HandlerExceptions)
{
    PeerListener server;
    TWSocket client;
    std::string background;
    client.OnBgException = [&](TObject*, const std::exception& e, bool&) { background = e.what(); };
    int dataCalls = 0;
    client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        ++dataCalls;
        client.ReceiveText();
        throw Exception("from the data handler");
    };
    client.OnSessionConnected = [&](TObject*, std::uint16_t) { throw Exception("from the connect handler"); };
    PeerAim(client, server.port);
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return !background.empty(); }));
    EXPECT_EQ(background, "from the connect handler");
    EXPECT_EQ(client.State(), wsClosed) << "the exception aborted the socket";

    // One thrown by the data handler is swallowed by the receive loop.
    background.clear();
    client.OnSessionConnected = nullptr;
    PeerAim(client, server.port);
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return client.State() == wsConnected && !server.accepted.empty(); }));
    server.Last().SendStr("data");
    ASSERT_TRUE(RunUntil([&] { return dataCalls == 1; }));
    ASSERT_TRUE(SocketWitness().Await());
    EXPECT_EQ(background, "");
    EXPECT_EQ(client.State(), wsConnected);
}

TEST_F(WSocketTest, LookupThroughTheResolverHook)
{
    GetHooks().resolveName = [](const std::string& host) {
        ResolveResult r;
        if (host != "peer.test") {
            r.error = 11001;
            return r;
        }
        r.officialName = "peer.test";
        r.addresses = {winsock::htonl(0x7f000001), winsock::htonl(0x7f000002)};
        return r;
    };
    GetHooks().resolveAddress = [](std::uint32_t address) {
        ResolveResult r;
        r.officialName = "reverse.test";
        r.addresses = {address};
        return r;
    };
    TWSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TObject*, std::uint16_t e) { done.push_back(e); };

    s.LookupHost("peer.test");
    EXPECT_TRUE(done.empty()) << "a name lookup ends from the message loop";
    ASSERT_TRUE(RunUntil([&] { return done.size() == 1; }));
    EXPECT_EQ(done[0], 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    EXPECT_EQ(s.DnsResultList()->Text(), "127.0.0.1\r\n127.0.0.2\r\n");

    s.LookupHost("unknown.test");
    ASSERT_TRUE(RunUntil([&] { return done.size() == 2; }));
    EXPECT_EQ(done[1], 11001);
    EXPECT_EQ(s.DnsResult(), "");

    s.LookupHost("10.1.2.3");
    ASSERT_EQ(done.size(), 3u) << "a dotted address ends inside the call";
    EXPECT_EQ(done[2], 0);
    EXPECT_EQ(s.DnsResult(), "10.1.2.3");
    EXPECT_EQ(s.DnsResultList()->Count(), 0);

    s.ReverseDnsLookup("127.0.0.9");
    ASSERT_TRUE(RunUntil([&] { return done.size() == 4; }));
    EXPECT_EQ(s.DnsResult(), "reverse.test");

    s.LookupHost("peer.test");
    s.CancelHostLookup();
    ASSERT_EQ(done.size(), 5u);
    EXPECT_EQ(done[4], 10004);
    // A later lookup's answer, and the queue run past it: the cancelled one,
    // started first, would have answered by then.
    s.LookupHost("unknown.test");
    ASSERT_TRUE(RunUntil([&] { return done.back() == 11001; }));
    ASSERT_TRUE(RunUntilPostedMessagesDispatched());
    EXPECT_EQ(done.size(), 6u) << "a cancelled lookup does not answer";

    try {
        s.LookupHost("");
        ADD_FAILURE() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "DNS lookup: invalid host name.");
    }

    // Connect resolves a name through the same hook.
    PeerListener server;
    TWSocket client;
    Events events(client);
    PeerAim(client, server.port, "peer.test");
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return events.connects == 1; }));
    EXPECT_EQ(events.connectError, 0);
    EXPECT_EQ(client.GetPeerAddr(), "127.0.0.1");
    EXPECT_EQ(client.GetPeerPort(), server.port);
}

// The message of what a call raised, or "" when it raised nothing.
template <typename Fn>
std::string Raised(Fn fn)
{
    try {
        fn();
    } catch (const ESocketException& e) {
        return e.what();
    }
    return "";
}

TEST_F(WSocketTest, MisuseIsRefusedWithItsText)
{
    TWSocket s;
    EXPECT_EQ(Raised([&] { s.Connect(); }), "Connect: No Port Specified");
    s.SetPort("80");
    EXPECT_EQ(Raised([&] { s.Connect(); }), "Connect: No IP Address Specified");
    EXPECT_EQ(Raised([&] { s.SendStr("x"); }), "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(Raised([&] { s.SetLocalAddr("1.2.3"); }), "SetLocalAddr(): Invalid IP address");
    EXPECT_EQ(Raised([&] { s.SetSendFlags(static_cast<TSocketSendFlags>(7)); }), "Invalid SendFlags");
    EXPECT_EQ(Raised([&] { s.SetSocksLevel("6"); }), "Invalid socks level. Must be 4, 4A or 5.");
    EXPECT_EQ(Raised([&] { s.Accept(); }), "Error 10022 in function not a listening socket\r\nInvalid argument");

    struct PortCase {
        const char* port;
        const char* error;
    };
    for (const PortCase& c : {PortCase{"70000", "connect: WSocketResolvePort: Invalid Port."},
                              PortCase{"99999999999999999999", "connect: WSocketResolvePort: Invalid Port."},
                              PortCase{"no-such-service", "connect: WSocketResolvePort: Cannot convert port "
                                                          "'no-such-service', Error #11004"}}) {
        TWSocket p;
        p.SetAddr("127.0.0.1");
        p.SetPort(c.port);
        EXPECT_EQ(Raised([&] { p.Connect(); }), c.error) << c.port;
    }

    // Protocol names found are kept; one the system does not know is told every time.
    for (int attempt = 0; attempt < 2; ++attempt) {
        TWSocket p;
        p.SetAddr("127.0.0.1");
        p.SetPort("80");
        p.SetProto("no-such-protocol");
        EXPECT_EQ(Raised([&] { p.Connect(); }).rfind(
                      "connect: WSocketResolveProto: Cannot convert protocol 'no-such-protocol', Error #", 0),
                  0u)
            << attempt;
    }

    // With OnError assigned nothing is raised; LastError tells the code.
    int errors = 0;
    s.OnError = [&](TObject*) { ++errors; };
    EXPECT_EQ(s.SendStr("x"), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.LastError(), 10057);

    PeerListener server;
    TWSocket client;
    Events events(client);
    ASSERT_TRUE(ConnectAndWait(client, events, server.port));
    EXPECT_EQ(Raised([&] { client.SetAddr("127.0.0.2"); }), "Cannot change Addr if not closed");
    EXPECT_EQ(Raised([&] { client.SetAddr("127.0.0.1"); }), "") << "the same value is no change";
    EXPECT_EQ(Raised([&] { client.Connect(); }), "Connect: Socket already in use");
    EXPECT_EQ(Raised([&] { client.SetSocksServer("x"); }), "Can't change socks server if not closed");
}

TEST_F(WSocketTest, ListenOnAPortInUseLeavesNothingOpen)
{
    PeerListener first;
    TWSocket second;
    second.SetAddr("127.0.0.1");
    second.SetPort(first.port);
    const int open = WinsockOpenSocketCount();
    EXPECT_EQ(Raised([&] { second.Listen(); }), "Error 10048 in function Bind\r\nAddress already in use");
    EXPECT_EQ(second.State(), wsClosed);
    EXPECT_EQ(WinsockOpenSocketCount(), open);
}

TEST_F(WSocketTest, ReconnectFromTheClosedEventKeepsTheNewConnection)
{
    PeerListener server;
    TWSocket client;
    Events events(client);
    client.OnSessionClosed = [&](TObject*, std::uint16_t) {
        ++events.closes;
        if (events.closes == 1) {
            PeerAim(client, server.port);
            client.Connect();
        }
    };
    ASSERT_TRUE(ConnectAndWait(client, events, server.port));
    client.Close();
    ASSERT_TRUE(RunUntil([&] { return events.connects == 2; }));
    EXPECT_EQ(events.connectError, 0);
    EXPECT_EQ(client.State(), wsConnected);
}

TEST_F(WSocketTest, FlushPushesTheQueueOut)
{
    PeerListener server;
    Events serverEvents;
    server.OnAccept = [&](TWSocket& s) { serverEvents.Attach(s); };
    TWSocket client;
    Events events(client);
    ASSERT_TRUE(ConnectAndWait(client, events, server.port));
    const std::string payload = Pattern(8 * 1024 * 1024);
    client.Send(payload.data(), static_cast<int>(payload.size()));
    client.Flush();
    EXPECT_TRUE(client.AllSent());
    ASSERT_TRUE(RunUntil([&] { return serverEvents.data.size() == payload.size(); }, 30000));
    EXPECT_TRUE(serverEvents.data == payload);
}

TEST_F(WSocketTest, TheLibraryGoesWithTheLastSocket)
{
    {
        TWSocket s;
        s.LookupHost("1.2.3.4");
        EXPECT_TRUE(WinsockLibraryLoaded());
    }
    if (WSocketCount() > 0)
        GTEST_SKIP() << "other sockets are alive";
    EXPECT_FALSE(WinsockLibraryLoaded());
    PeerListener server;
    EXPECT_TRUE(WinsockLibraryLoaded());
    TWSocket client;
    Events events(client);
    ASSERT_TRUE(ConnectAndWait(client, events, server.port));
    EXPECT_EQ(events.connectError, 0);
}

}  // namespace
