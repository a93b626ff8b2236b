// The loopback test server itself, driven by a blocking POSIX client: what
// later tests rely on (recording, scripted endings, the in-flight count).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/HttpTestServer.h"

namespace {

// A blocking loopback client with a receive time-out, so a broken server
// fails the test instead of hanging it.
class RawClient {
public:
    explicit RawClient(int port)
    {
        FFd = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{5, 0};
        ::setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        FConnected = ::connect(FFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawClient() { ::close(FFd); }
    bool Connected() const { return FConnected; }
    void Send(const std::string& bytes) { ::send(FFd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Everything until the server closes; error is the errno that ended it (0 for a clean close).
    std::string ReadAll(int& error)
    {
        std::string all;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
            if (n > 0) {
                all.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            error = n == 0 ? 0 : errno;
            return all;
        }
    }

private:
    int FFd = -1;
    bool FConnected = false;
};

}  // namespace

TEST(HttpTestServer, RecordsRequestsAndAnswersScripts)
{
    HttpTestServer server;
    server.Script("/page", HttpTestReply::Ok("hello"));
    RawClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    const std::string request = "POST /page?x=1 HTTP/1.0\r\nHost: h\r\nContent-Length: 3\r\n\r\nabc";
    client.Send(request);
    int error = -1;
    EXPECT_EQ(client.ReadAll(error),
              "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(error, 0);
    ASSERT_EQ(server.RequestCount(), 1u);
    const HttpTestRequest r = server.Request(0);
    EXPECT_EQ(r.raw, request);
    EXPECT_EQ(r.requestLine, "POST /page?x=1 HTTP/1.0");
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/page?x=1");
    EXPECT_EQ(r.headers, (std::vector<std::string>{"Host: h", "Content-Length: 3"}));
    EXPECT_EQ(r.Header("content-length"), "3");
    EXPECT_EQ(r.body, "abc");
    EXPECT_EQ(r.connection, 1);
}

TEST(HttpTestServer, ScriptedEndings)
{
    HttpTestServer server;
    HttpTestReply cut = HttpTestReply::Ok("0123456789", "");
    cut.cutAfter = 4;
    server.Script("/cut", cut);
    HttpTestReply reset = cut;
    reset.ending = HttpTestReply::Ending::Reset;
    server.Script("/reset", reset);
    HttpTestReply silent;
    silent.ending = HttpTestReply::Ending::CloseNoReply;
    server.Script("/silent", silent);
    HttpTestReply headerless;
    headerless.headerless = true;
    headerless.body = "<HTML>x";
    server.Script("/bare", headerless);
    HttpTestReply longLine = HttpTestReply::Ok("", "");
    longLine.contentLength = false;
    longLine.longHeaderLine = 9000;
    server.Script("/long", longLine);
    server.Script("http://elsewhere/abs", HttpTestReply::Ok("absolute", ""));
    HttpTestReply late = HttpTestReply::Ok("late", "");
    late.headerDelayMs = 50;
    late.pauseAfter = 2;
    late.pauseMs = 50;
    server.Script("/late", late);

    struct {
        const char* target;
        const char* expected;  // exact reply, or nullptr when only its size is checked
        bool reset;
    } cases[] = {
        {"/cut", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n0123", false},
        {"/reset", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n0123", true},
        {"/silent", "", false},
        {"/bare", "<HTML>x", false},
        {"http://elsewhere/abs", "HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\nabsolute", false},
        {"/late", "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nlate", false},
        {"/long", nullptr, false},
    };
    for (const auto& c : cases) {
        RawClient client(server.Port());
        client.Send(std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n");
        int error = -1;
        const std::string reply = client.ReadAll(error);
        if (c.expected)
            EXPECT_EQ(reply, c.expected) << c.target;
        else
            EXPECT_EQ(reply.size(), std::string("HTTP/1.0 200 OK\r\n\r\n").size() + 9000 + 2) << c.target;
        EXPECT_EQ(error, c.reset ? ECONNRESET : 0) << c.target;
    }
}

TEST(HttpTestServer, CountsConnectionsInFlightUntilTheHeaderIsSent)
{
    HttpTestServer server;
    server.Script("/held", HttpTestReply::Held());
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 200; ++i) {
        clients.push_back(std::make_unique<RawClient>(server.Port()));
        clients.back()->Send("GET /held HTTP/1.0\r\n\r\n");
    }
    // The server thread catches up on its own; poll its counters under a deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (server.RequestCount() < 200 && std::chrono::steady_clock::now() < deadline)
        ::poll(nullptr, 0, 5);
    EXPECT_EQ(server.RequestCount(), 200u);
    EXPECT_EQ(server.InFlight(), 200);
    EXPECT_EQ(server.PeakInFlight(), 200);
    clients.clear();
    while (server.OpenConnections() > 0 && std::chrono::steady_clock::now() < deadline)
        ::poll(nullptr, 0, 5);
    EXPECT_EQ(server.InFlight(), 0);
    EXPECT_EQ(server.PeakInFlight(), 200);
    EXPECT_EQ(server.ConnectionCount(), 200);
}
