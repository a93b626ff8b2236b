// The SOCKS layer against real servers (microsocks, dante) and against
// scripted peers that answer byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/Loop.h"
#include "support/PeerScript.h"
#include "support/PeerSockets.h"
#include "support/SocketWitness.h"
#include "support/SocksServers.h"
#include "transport/WSocket.h"

namespace {

// What a socket told through the SOCKS handshake, in order.
struct SocksEvents {
    std::vector<std::string> log;
    std::string data;
    int reads = 0;  // data events
    int connects = 0;
    int closes = 0;

    explicit SocksEvents(TWSocket& s) { Attach(s); }
    void Attach(TWSocket& s)
    {
        s.OnSocksConnected = [this](TObject*, std::uint16_t e) { log.push_back("socks connected " + std::to_string(e)); };
        s.OnSocksError = [this](TObject*, int e, const CodePageString& msg) {
            log.push_back("socks error " + std::to_string(e) + " " + msg);
        };
        s.OnSocksAuthState = [this](TObject*, TSocksAuthState state) {
            static const char* const kNames[] = {"started", "succeeded", "failed", "not required"};
            log.push_back(std::string("auth ") + kNames[state]);
        };
        s.OnSessionConnected = [this](TObject*, std::uint16_t e) {
            log.push_back("connected " + std::to_string(e));
            ++connects;
        };
        s.OnSessionClosed = [this](TObject*, std::uint16_t e) {
            log.push_back("closed " + std::to_string(e));
            ++closes;
        };
        s.OnDataAvailable = [this, &s](TObject*, std::uint16_t) {
            ++reads;
            data += s.ReceiveText();
        };
    }
};

void AimThroughSocks(TWSocket& client, const CodePageString& level, const CodePageString& socksPort, const CodePageString& destPort,
                     const CodePageString& destAddr = "127.0.0.1")
{
    client.SetProto("tcp");
    client.SetAddr(destAddr);
    client.SetPort(destPort);
    client.SetSocksServer("127.0.0.1");
    client.SetSocksPort(socksPort);
    client.SetSocksLevel(level);
}

void AuthenticateAs(TWSocket& client, const CodePageString& user, const CodePageString& password, bool authenticate = true)
{
    client.SocksUsercode = user;
    client.SocksPassword = password;
    client.SocksAuthentication = authenticate ? socksAuthenticateUsercode : socksNoAuthentication;
}

// Starts `peer` and connects `client` through it, as through a SOCKS 5
// server, to port 80 of 127.0.0.1 (as bob when it authenticates).
void ConnectThroughScript(PeerScript& peer, TWSocket& client, bool authenticate)
{
    peer.Start();
    AimThroughSocks(client, "5", peer.PortText(), "80");
    AuthenticateAs(client, "bob", "secret", authenticate);
    client.Connect();
}

// An echo server made of TWSocket.
class EchoServer : public PeerListener {
public:
    EchoServer()
    {
        OnAccept = [](TWSocket& s) {
            s.OnDataAvailable = [&s](TObject*, std::uint16_t) {
                const CodePageString text = s.ReceiveText();
                if (!text.empty())
                    s.SendStr(text);
            };
        };
    }
};

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

// --- real servers ---------------------------------------------------------------

TEST(SocksServersTest, ConnectAndEchoThroughEachServer)
{
    struct Case {
        const char* server;
        const char* level;
    };
    for (const Case& c : {Case{"microsocks", "5"}, Case{"dante", "5"}, Case{"dante", "4"}}) {
        SCOPED_TRACE(std::string(c.server) + " level " + c.level);
        auto socks = std::string(c.server) == "microsocks" ? SocksServerProcess::Microsocks() : SocksServerProcess::Dante();
        ASSERT_EQ(socks->Error(), "");
        EchoServer echo;
        TWSocket client;
        SocksEvents events(client);
        client.OnSessionConnected = [&](TObject*, std::uint16_t e) {
            events.log.push_back("connected " + std::to_string(e));
            ++events.connects;
            if (e == 0)
                client.SendStr("through the proxy");
        };
        AimThroughSocks(client, c.level, socks->PortText(), echo.port);
        client.Connect();
        ASSERT_TRUE(RunUntil([&] { return events.data == "through the proxy" || events.closes > 0; }, 10000));
        EXPECT_EQ(events.data, "through the proxy");
        ASSERT_GE(events.log.size(), 2u);
        EXPECT_EQ(events.log[0], "socks connected 0");
        EXPECT_EQ(events.log[1], "connected 0");
        EXPECT_EQ(echo.accepted.size(), 1u);
        client.Close();
        EXPECT_EQ(client.SocksServer(), "") << "a close forgets the SOCKS server";
    }
}

TEST(SocksServersTest, MicrosocksWithUserAndPassword)
{
    auto socks = SocksServerProcess::Microsocks("bob", "secret");
    ASSERT_EQ(socks->Error(), "");
    EchoServer echo;
    struct Case {
        const char* name;
        bool authenticate;
        const char* password;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"right password", true, "secret", {"socks connected 0", "auth started", "auth succeeded", "connected 0"}},
        {"wrong password", true, "guess",
         {"socks connected 0", "auth started", "socks error 20015 socks authentication failed", "connected 20015",
          "closed 20015"}},
        {"no authentication offered", false, "",
         {"socks connected 0", "socks error 20003 authentification method not acceptable", "connected 20003",
          "closed 20003"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TWSocket client;
        SocksEvents events(client);
        AimThroughSocks(client, "5", socks->PortText(), echo.port);
        AuthenticateAs(client, "bob", c.password, c.authenticate);
        client.Connect();
        ASSERT_TRUE(RunUntil([&] { return events.connects == 1 && (events.closes == 1 || c.log.size() == 4); }, 10000));
        ASSERT_TRUE(SocketWitness().Await());
        EXPECT_EQ(events.log, c.log);
    }
}

// --- scripted servers -----------------------------------------------------------

struct FailureCase {
    std::string name;
    std::string level;
    bool authenticate;
    std::vector<std::pair<std::size_t, std::string>> script;  // read so many bytes, then answer
    int error;
    std::string message;
};

std::vector<FailureCase> FailureCases()
{
    // The request of SOCKS 5 for "127.0.0.1" is 5 + 9 + 2 bytes; SOCKS 4 with
    // the user "me" is 8 + 3.
    const std::size_t r5 = 16;
    const std::size_t r4 = 11;
    std::vector<FailureCase> cases = {
        {"method refused", "5", false, {{3, Bytes({5, 0xff})}}, 20003, "authentification method not acceptable"},
        {"method reply version", "5", false, {{3, Bytes({4, 0})}}, 20002, "socks version error"},
        {"auth refused", "5", true, {{3, Bytes({5, 2})}, {12, Bytes({1, 1})}}, 20015, "socks authentication failed"},
        {"auth reply version", "5", true, {{3, Bytes({5, 2})}, {12, Bytes({2, 0})}}, 20002, "socks version error"},
        {"auth reply too long", "5", true, {{3, Bytes({5, 2})}, {12, Bytes({1, 0, 0})}}, 20001,
         "too much data availaible"},
        {"reply version", "5", false, {{3, Bytes({5, 0})}, {r5, Bytes({4, 0, 0, 1, 0, 0, 0, 0, 0, 0})}}, 20002,
         "socks version error"},
        {"reply address type", "5", false, {{3, Bytes({5, 0})}, {r5, Bytes({5, 0, 0, 5, 0})}}, 20011,
         "address type not supported"},
        {"v4 rejected", "4", false, {{r4, Bytes({0, 91, 0, 0, 0, 0, 0, 0})}}, 20016, "request rejected or failed"},
        {"v4 refused", "4", false, {{r4, Bytes({0, 92, 0, 0, 0, 0, 0, 0})}}, 20008, "connection refused"},
        {"v4 ident failed", "4", false, {{r4, Bytes({0, 93, 0, 0, 0, 0, 0, 0})}}, 20015, "authentification failed"},
        {"v4 unassigned", "4", false, {{r4, Bytes({0, 95, 0, 0, 0, 0, 0, 0})}}, 20012, "unassigned error #95"},
        {"v4 version", "4", false, {{r4, Bytes({1, 90, 0, 0, 0, 0, 0, 0})}}, 20002, "socks version error"},
    };
    const char* const texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                                 "network unreachable",          "host unreachable",
                                 "connection refused",           "time to live expired",
                                 "command not supported",        "address type not supported"};
    for (int code = 1; code <= 9; ++code) {
        cases.push_back({"reply code " + std::to_string(code), "5", false,
                         {{3, Bytes({5, 0})}, {r5, Bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0})}},
                         code <= 8 ? 20003 + code : 20012,
                         code <= 8 ? texts[code - 1] : "unassigned error #9"});
    }
    return cases;
}

TEST(SocksScriptedTest, FailureRepliesEachFailWithTheirCode)
{
    for (const FailureCase& c : FailureCases()) {
        SCOPED_TRACE(c.name);
        PeerScript peer;
        for (const auto& [count, answer] : c.script)
            peer.Read(count).Write(answer);
        peer.ReadUntilClosed();
        peer.Start();
        TWSocket client;
        SocksEvents events(client);
        AimThroughSocks(client, c.level, peer.PortText(), "80");
        AuthenticateAs(client, c.level == "4" ? "me" : "bob", "secret", c.authenticate);
        client.Connect();
        ASSERT_TRUE(RunUntil([&] { return events.closes == 1; }));
        const std::string code = std::to_string(c.error);
        ASSERT_GE(events.log.size(), 3u);
        EXPECT_EQ(events.log[events.log.size() - 3], "socks error " + code + " " + c.message);
        EXPECT_EQ(events.log[events.log.size() - 2], "connected " + code);
        EXPECT_EQ(events.log.back(), "closed " + code);
        EXPECT_EQ(client.State(), wsClosed);
        ASSERT_TRUE(RunUntil([&] { return peer.Finished(); }));
        EXPECT_EQ(peer.Error(), "");
    }
}

TEST(SocksScriptedTest, Socks5RequestIsByteExactAndDataBehindTheReplyIsDelivered)
{
    const std::string name = "abcdefghijklmnop";
    PeerScript peer;
    peer.Read(3)
        .Write(Bytes({5, 0}))
        .Read(5 + 16 + 2)
        .Write(Bytes({5, 0, 0, 1, 10, 0, 0, 7, 0x1f, 0x90}) + "twelve bytes")
        .ReadUntilClosed();
    peer.Start();
    TWSocket client;
    SocksEvents events(client);
    std::string firstRead;
    client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        const CodePageString text = client.ReceiveText();
        if (firstRead.empty())
            firstRead = text;
        events.data += text;
    };
    AimThroughSocks(client, "5", peer.PortText(), "80", name);
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return events.data.size() == 12; }));
    EXPECT_EQ(firstRead, "twelve bytes") << "the first read after the connection gets the bytes";
    EXPECT_EQ(events.log, (std::vector<std::string>{"socks connected 0", "connected 0"}));
    EXPECT_EQ(client.BoundAddr(), "10.0.0.7");
    EXPECT_EQ(client.BoundPort(), "8080");
    EXPECT_EQ(peer.Received(), Bytes({5, 1, 0}) + Bytes({5, 1, 0, 3, 16}) + name + Bytes({0, 80}));
}

// Some servers answer ahead: the method reply comes in one packet with the
// reply that follows it, and nothing of the second may be lost.
TEST(SocksScriptedTest, RepliesThatShareAPacketWithTheMethodReply)
{
    const std::string connectReply = Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 80});
    struct Case {
        const char* name;
        bool authenticate;
        std::function<void(PeerScript&)> script;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"method and connect reply", false,
         [&](PeerScript& peer) { peer.Read(3).Write(Bytes({5, 0}) + connectReply + "data").Read(16); },
         {"socks connected 0", "connected 0"}},
        {"method and authentication reply", true,
         [&](PeerScript& peer) {
             peer.Read(3).Write(Bytes({5, 2, 1, 0})).Read(12).Read(16).Write(connectReply + "data");
         },
         {"socks connected 0", "auth started", "auth succeeded", "connected 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeerScript peer;
        c.script(peer);
        peer.ReadUntilClosed();
        TWSocket client;
        SocksEvents events(client);
        ConnectThroughScript(peer, client, c.authenticate);
        ASSERT_TRUE(RunUntil([&] { return events.data == "data" || events.closes > 0; }));
        EXPECT_EQ(events.data, "data");
        EXPECT_EQ(events.log, c.log);
        // The request went out whole after the early reply.
        const std::size_t sent = c.authenticate ? 3 + 12 + 16 : 3 + 16;
        EXPECT_TRUE(RunUntil([&] { return peer.Received().size() == sent; }));
        EXPECT_EQ(peer.Received().substr(sent - 16), Bytes({5, 1, 0, 3, 9}) + "127.0.0.1" + Bytes({0, 80}));
    }
}

TEST(SocksScriptedTest, ADomainNameReplyOfTheLongestSizeIsAccepted)
{
    const std::string bound(255, 'd');
    PeerScript peer;
    peer.Read(3)
        .Write(Bytes({5, 0}))
        .Read(16)
        .Write(Bytes({5, 0, 0, 3, 255}) + bound + Bytes({0x12, 0x34}) + "after")
        .ReadUntilClosed();
    peer.Start();
    TWSocket client;
    SocksEvents events(client);
    AimThroughSocks(client, "5", peer.PortText(), "80");
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return events.data == "after" || events.closes > 0; }));
    EXPECT_EQ(events.data, "after");
    EXPECT_EQ(events.log, (std::vector<std::string>{"socks connected 0", "connected 0"}));
    EXPECT_EQ(client.BoundAddr(), bound);
    EXPECT_EQ(client.BoundPort(), "4660");
}

TEST(SocksScriptedTest, Socks4And4ARequestsAndDataBehindTheReply)
{
    struct Case {
        const char* level;
        const char* addr;
        std::string request;
    };
    const Case cases[] = {
        {"4", "127.0.0.1", Bytes({4, 1, 0, 80, 127, 0, 0, 1}) + "me" + Bytes({0})},
        {"4a", "peer.test", Bytes({4, 1, 0, 80, 0, 0, 0, 1}) + "me" + Bytes({0}) + "peer.test" + Bytes({0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        PeerScript peer;
        peer.Read(c.request.size()).Write(Bytes({0, 90, 0, 80, 127, 0, 0, 1}) + "extra").ReadUntilClosed();
        peer.Start();
        TWSocket client;
        SocksEvents events(client);
        AimThroughSocks(client, c.level, peer.PortText(), "80", c.addr);
        EXPECT_EQ(client.SocksLevel(), UpperCase(c.level));
        client.SocksUsercode = "me";
        client.Connect();
        ASSERT_TRUE(RunUntil([&] { return events.data == "extra" || events.closes > 0; }));
        EXPECT_EQ(events.data, "extra") << "bytes after the 8-byte reply are not lost";
        EXPECT_EQ(events.log, (std::vector<std::string>{"socks connected 0", "connected 0"}));
        EXPECT_EQ(peer.Received(), c.request);
    }
}

TEST(SocksScriptedTest, Socks5UserAndPasswordGoByteExactAndTheOutcomeIsTold)
{
    struct Case {
        const char* name;
        std::function<void(PeerScript&)> script;
        std::function<bool(const SocksEvents&)> over;
        std::vector<std::string> log;
        int reads;  // data events
    };
    const Case cases[] = {
        {"accepted",
         [](PeerScript& peer) {
             peer.Read(3)
                 .Write(Bytes({5, 2}))
                 .Read(1 + 1 + 3 + 1 + 6)
                 .Write(Bytes({1, 0}))
                 .Read(16)
                 .Write(Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 80}))
                 .ReadUntilClosed();
         },
         [](const SocksEvents& events) { return events.connects == 1; },
         {"socks connected 0", "auth started", "auth succeeded", "connected 0"},
         // Nothing came behind the reply: the data handler still runs once.
         1},
        {"server closes during authentication",
         [](PeerScript& peer) { peer.Read(3).Write(Bytes({5, 2})).Read(12).Close(); },
         [](const SocksEvents& events) { return events.closes == 1; },
         {"socks connected 0", "auth started", "auth failed", "closed 0"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeerScript peer;
        c.script(peer);
        TWSocket client;
        SocksEvents events(client);
        ConnectThroughScript(peer, client, true);
        ASSERT_TRUE(RunUntil([&] { return c.over(events); }));
        EXPECT_EQ(events.log, c.log);
        EXPECT_EQ(events.reads, c.reads);
        EXPECT_EQ(events.data, "");
        EXPECT_EQ(peer.Received().substr(0, 15), Bytes({5, 1, 2, 1, 3}) + "bob" + Bytes({6}) + "secret");
    }
}

TEST(SocksScriptedTest, MisuseAndFieldsTooLongAreRefused)
{
    auto raised = [](auto fn) -> std::string {
        try {
            fn();
        } catch (const ESocketException& e) {
            return e.what();
        }
        return "";
    };
    PeerScript peer;  // never reached: every connect below is refused first
    TWSocket client;
    AimThroughSocks(client, "5", peer.PortText(), "80", std::string(256, 'h'));
    EXPECT_EQ(raised([&] { client.Connect(); }), "Socks host name too long (255 bytes at most)");
    AimThroughSocks(client, "5", peer.PortText(), "80");
    client.SocksAuthentication = socksAuthenticateUsercode;
    client.SocksUsercode = std::string(256, 'u');
    EXPECT_EQ(raised([&] { client.Connect(); }), "Socks usercode too long (255 bytes at most)");
    client.SocksUsercode = "bob";
    client.SocksPassword = std::string(300, 'p');
    EXPECT_EQ(raised([&] { client.Connect(); }), "Socks password too long (255 bytes at most)");
    client.SetProto("udp");
    EXPECT_EQ(raised([&] { client.Connect(); }), "tcp is the only protocol supported thru socks server");
    client.SetProto("tcp");
    EXPECT_EQ(raised([&] { client.Listen(); }), "Listening is not supported thru socks server");
    EXPECT_EQ(client.State(), wsClosed);
}

}  // namespace
