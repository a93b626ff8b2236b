// The HTTP clients against the loopback test server: the bytes they send,
// how they read replies, relocations, failures and Abort.
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>
#include <memory>

#include "classlib/Dates.h"
#include "classlib/Timer.h"
#include "platform/Hooks.h"
#include "support/PeerScript.h"
#include "support/SocketWitness.h"
#include "transport/HttpProt.h"
#include "transport/HttpTestHelpers.h"
#include "transport/StHttpProt.h"
#include "transport/UpdHttpProt.h"

namespace {

const std::string DefaultAccept = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n";
const std::string DefaultAgent = "User-Agent: Mozilla/3.0 (compatible)\r\n";

// Names ending in ".test" are this machine, except "nohost.test"; nothing
// else resolves, so no lookup ever leaves the machine.
ResolveResult FakeResolve(const std::string& host)
{
    ResolveResult r;
    const std::string suffix = ".test";
    if (host != "nohost.test" && host.size() > suffix.size() &&
        host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0) {
        r.officialName = host;
        r.addresses.push_back(htonl(INADDR_LOOPBACK));
    } else {
        r.error = 11001;
    }
    return r;
}

class HttpCli : public ::testing::Test {
protected:
    void SetUp() override { GetHooks().resolveName = FakeResolve; }
    void TearDown() override { ResetHooks(); }
};

}  // namespace

// --- the request -----------------------------------------------------------------

TEST_F(HttpCli, RequestHeadersAreByteExactAndInOrder)
{
    HttpTestServer server;
    struct Case {
        const char* name;
        std::function<void(THttpCli&)> setup;
        std::string path;
        std::string expected;  // the whole request
        const char* documentName;
    };
    const std::string host = "Host: 127.0.0.1\r\n";
    const Case cases[] = {
        {"defaults", [](THttpCli&) {}, "/dir/page.htm",
         "GET /dir/page.htm HTTP/1.0\r\n" + DefaultAccept + DefaultAgent + host + "\r\n", "page.htm"},
        {"no path", [](THttpCli&) {}, "", "GET / HTTP/1.0\r\n" + DefaultAccept + DefaultAgent + host + "\r\n",
         "document.htm"},
        {"folder", [](THttpCli&) {}, "/dir/", "GET /dir/ HTTP/1.0\r\n" + DefaultAccept + DefaultAgent + host + "\r\n",
         "dir"},
        {"query without a path", [](THttpCli&) {}, "?q=1",
         "GET /?q=1 HTTP/1.0\r\n" + DefaultAccept + DefaultAgent + host + "\r\n", "document.htm"},
        {"every option",
         [](THttpCli& c) {
             c.Sender = "me@site.test";
             c.Reference = "http://ref.test/";
             c.NoCache = true;
             c.ModifiedSince = EncodeDate(2026, 12, 9) + EncodeTime(8, 5, 3, 0);
             c.Username = "joe";
             c.Cookie = "a=b";
             c.ContentRangeBegin = "100";
         },
         "/p",
         "GET /p HTTP/1.0\r\nFrom: me@site.test\r\n" + DefaultAccept + "Referer: http://ref.test/\r\n" + DefaultAgent +
             host +
             "Pragma: no-cache\r\nIf-Modified-Since: Wed, 09 Dec 2026 08:05:03 GMT\r\n"
             "Authorization: Basic am9lOg==\r\nCookie: a=b\r\nRange: bytes=100-\r\n\r\n",
         "p"},
        {"empty agent and accept",
         [](THttpCli& c) {
             c.Agent.clear();
             c.Accept.clear();
             c.ContentRangeEnd = "9";
         },
         "/q", "GET /q HTTP/1.0\r\n" + host + "Range: bytes=-9\r\n\r\n", "q"},
        {"OnCommand rewrites a line",
         [](THttpCli& c) {
             c.OnCommand = [](TObject*, CodePageString& s) {
                 if (s.compare(0, 7, "Accept:") == 0)
                     s = "Accept: text/html";
             };
         },
         "/c", "GET /c HTTP/1.0\r\nAccept: text/html\r\n" + DefaultAgent + host + "\r\n", "c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.ClearRequests();
        THttpCli cli(nullptr);
        HttpEventLog log(cli);
        c.setup(cli);
        ASSERT_TRUE(GetAndWait(cli, log, server.Url(c.path)));
        EXPECT_EQ(log.error, 0);
        ASSERT_EQ(server.RequestCount(), 1u);
        EXPECT_EQ(server.Request(0).raw, c.expected);
        EXPECT_EQ(cli.DocumentName(), c.documentName);
        EXPECT_TRUE(cli.ContentRangeBegin.empty() && cli.ContentRangeEnd.empty());
    }
}

TEST_F(HttpCli, ProxyGetsTheAbsoluteURLAndItsCredentials)
{
    HttpTestServer proxy;
    struct {
        const char* proxySetting;  // "@" stands for the proxy's port
        bool portInProxyProperty;
    } forms[] = {{"127.0.0.1", true}, {"127.0.0.1:@", false}, {"http://127.0.0.1:@", false}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.proxySetting);
        proxy.ClearRequests();
        THttpCli cli(nullptr);
        HttpEventLog log(cli);
        std::string setting = form.proxySetting;
        const auto at = setting.find('@');
        if (at != std::string::npos)
            setting.replace(at, 1, std::to_string(proxy.Port()));
        cli.Proxy = setting;
        cli.ProxyPort = form.portInProxyProperty ? std::to_string(proxy.Port()) : "1";
        cli.ProxyUsername = "pu";
        cli.ProxyPassword = "pp";
        ASSERT_TRUE(GetAndWait(cli, log, "http://www.example.test:8080/a/b.htm?x=1"));
        EXPECT_EQ(log.error, 0);
        ASSERT_EQ(proxy.RequestCount(), 1u);
        EXPECT_EQ(proxy.Request(0).raw, "GET http://www.example.test:8080/a/b.htm?x=1 HTTP/1.0\r\n" + DefaultAccept +
                                            DefaultAgent +
                                            "Host: www.example.test\r\nProxy-Authorization: Basic cHU6cHA=\r\n\r\n");
        EXPECT_EQ(cli.DocumentName(), "b.htm");
    }

    // An absolute URL without a path goes as it came: the proxy adds none.
    const struct {
        const char* url;
        const char* requestLine;
    } bare[] = {
        {"http://www.example.test", "GET http://www.example.test HTTP/1.0"},
        {"http://www.example.test:8080?q=1", "GET http://www.example.test:8080?q=1 HTTP/1.0"},
    };
    for (const auto& b : bare) {
        SCOPED_TRACE(b.url);
        proxy.ClearRequests();
        THttpCli cli(nullptr);
        HttpEventLog log(cli);
        UseLoopbackProxy(cli, proxy.Port());
        ASSERT_TRUE(GetAndWait(cli, log, b.url));
        EXPECT_EQ(proxy.Request(0).requestLine, b.requestLine);
        EXPECT_EQ(proxy.Request(0).Header("Host"), "www.example.test");
    }
}

TEST_F(HttpCli, CredentialsFromTheURLServeThatRequestOnly)
{
    HttpTestServer server;
    THttpCli cli(nullptr);
    HttpEventLog log(cli);
    cli.URL = "http://joe:pw@127.0.0.1:" + std::to_string(server.Port()) + "/a";
    cli.GetAsync();
    ASSERT_TRUE(log.WaitDone(1));
    EXPECT_EQ(server.Request(0).Header("Authorization"), "Basic am9lOnB3");
    EXPECT_EQ(cli.Username, "");
    EXPECT_EQ(cli.Password, "");

    cli.URL = "http://other.test:" + std::to_string(server.Port()) + "/b";
    cli.GetAsync();
    ASSERT_TRUE(log.WaitDone(2));
    EXPECT_EQ(log.error, 0);
    EXPECT_FALSE(server.Request(1).HasHeader("Authorization"));

    cli.Username = "prop";
    cli.URL = "http://other.test:" + std::to_string(server.Port()) + "/c";
    cli.GetAsync();
    ASSERT_TRUE(log.WaitDone(3));
    EXPECT_EQ(server.Request(2).Header("Authorization"), "Basic cHJvcDo=");
}

TEST_F(HttpCli, PostAsyncSendsStreamWithItsLength)
{
    HttpTestServer server;
    TSTHttpCli cli(nullptr);
    HttpEventLog log(cli);
    TMemoryStream post;
    cli.PostStream = &post;
    cli.Stream = "a=1&b=2";
    cli.URL = server.Url("/form");
    cli.PostAsync();
    ASSERT_TRUE(log.WaitDone());
    EXPECT_EQ(log.error, 0);
    EXPECT_EQ(log.kind, httpPOST);
    EXPECT_EQ(server.Request(0).raw, "POST /form HTTP/1.0\r\n" + DefaultAccept +
                                         "Content-Type: application/x-www-form-urlencoded\r\n" + DefaultAgent +
                                         "Host: 127.0.0.1\r\nContent-Length: 7\r\n\r\na=1&b=2");
    EXPECT_EQ(cli.SentBytes(), 7);
    EXPECT_NE(log.Joined().find("rqbegin rqend sbegin send:7 sent"), std::string::npos) << log.Joined();

    TSTHttpCli nothing(nullptr);
    ExpectHttpException([&] { nothing.PostAsync(); }, 2, "HTTP component has nothing to post");
}

TEST_F(HttpCli, LargePostGoesInBlocksPacedBySending)
{
    HttpTestServer server;
    THttpProbe cli(HttpBuildMain);
    HttpEventLog log(cli);
    std::string body(20000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + i % 26);
    TMemoryStream post;
    post.WriteBuffer(body.data(), static_cast<std::int64_t>(body.size()));
    post.SetPosition(0);
    cli.PostStream = &post;
    cli.URL = server.Url("/big");
    cli.StartRequest(httpPOST);
    ASSERT_TRUE(log.WaitDone());
    EXPECT_EQ(log.error, 0);
    EXPECT_EQ(log.sendBlocks, (std::vector<int>{8193, 8193, 3614}));
    EXPECT_EQ(server.Request(0).Header("Content-Length"), "20000");
    EXPECT_EQ(server.Request(0).body, body);
    EXPECT_EQ(cli.SentBytes(), 20000);
}

TEST_F(HttpCli, BusyClientRefusesASecondRequest)
{
    HttpTestServer server;
    server.Script("/held", HttpTestReply::Held());
    THttpCli cli(nullptr);
    HttpEventLog log(cli);
    cli.URL = server.Url("/held");
    cli.GetAsync();
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 1; }));
    ExpectHttpException([&] { cli.GetAsync(); }, 1, "HTTP component is busy");
    EXPECT_EQ(cli.State(), httpWaitingHeader);
    EXPECT_EQ(server.RequestCount(), 1u);
    cli.Abort();
    ASSERT_TRUE(log.WaitDone());
}

TEST_F(HttpCli, ADoneHandlerThatReplacesItselfRunsToItsEnd)
{
    // The handler's first line frees the closure it runs in, text and all;
    // the client calls a copy, so the rest of the handler still reads it.
    HttpTestServer server;
    THttpCli cli(nullptr);
    cli.URL = server.Url("/page");
    std::string seen;
    bool done = false;
    cli.OnRequestDone = [&, text = std::string(100, 'a')](TObject*, THttpRequest, std::uint16_t) {
        cli.OnRequestDone = nullptr;
        seen = text;
        done = true;
    };
    cli.GetAsync();
    ASSERT_TRUE(RunUntil([&] { return done; }));
    EXPECT_EQ(seen, std::string(100, 'a'));
}

// --- the response ----------------------------------------------------------------

TEST_F(HttpCli, EventsAndResultsOfAPlainReply)
{
    HttpTestServer server;
    server.Script("/page", HttpTestReply::Ok("<html>hello</html>", "Text/HTML"));
    THttpCli cli(nullptr);
    HttpEventLog log(cli, true);
    TMemoryStream received;
    cli.ReceiveStream = &received;
    ASSERT_TRUE(GetAndWait(cli, log, server.Url("/page")));
    // The body came in the header's block: its start follows OnHeaderEnd at once.
    EXPECT_EQ(log.Joined(), "s1 s3 s4 s2 connected s5 rqbegin rqend hbegin hdata hdata hdata s6 hend dbegin data:18 "
                            "dend s0 done:0");
    EXPECT_EQ(log.kind, httpGET);
    EXPECT_EQ(cli.HttpStatus(), 200);
    EXPECT_EQ(cli.StatusText(), "OK");
    EXPECT_EQ(cli.DocLength(), 18);
    EXPECT_EQ(cli.ReceivedBytes(), 18);
    EXPECT_EQ(cli.ResponseContentType(), "text/html");
    EXPECT_EQ(cli.HeaderLines().Text(), "HTTP/1.0 200 OK\r\nContent-Type: Text/HTML\r\nContent-Length: 18\r\n");
    EXPECT_EQ(received.DataString(), "<html>hello</html>");
    EXPECT_EQ(cli.State(), httpReady);
}

TEST_F(HttpCli, HeaderFieldsFillTheResults)
{
    HttpTestServer server;
    HttpTestReply reply = HttpTestReply::Ok("12345", "text/html");
    reply.statusLine = "HTTP/1.1 206 Partial Content";
    reply.headers.push_back("Content-Range: bytes 100-199/1000");
    reply.headers.push_back("Accept-Ranges: bytes");
    reply.headers.push_back("WWW-Authenticate: Basic realm=\"a\"");
    reply.headers.push_back("Set-Cookie: id=7; path=/");
    server.Script("/a/b.exe", reply);
    THttpCli cli(nullptr);
    HttpEventLog log(cli);
    std::vector<std::string> cookies;
    cli.OnCookie = [&](TObject*, const CodePageString& data, bool& accept) {
        EXPECT_TRUE(accept);
        cookies.push_back(data);
    };
    ASSERT_TRUE(GetAndWait(cli, log, server.Url("/a/b.exe")));
    EXPECT_EQ(cli.HttpStatus(), 206);
    EXPECT_EQ(cli.StatusText(), "Partial Content");
    EXPECT_EQ(cli.ContentRangeBegin, "100");
    EXPECT_EQ(cli.ContentRangeEnd, "199");
    EXPECT_EQ(cli.AcceptRanges(), "bytes");
    EXPECT_EQ(cli.AuthenticateList().Text(), "Basic realm=\"a\"\r\n");
    EXPECT_EQ(cookies, (std::vector<std::string>{"id=7; path=/"}));
    EXPECT_EQ(cli.DocumentName(), "b.htm");  // an HTML reply to a .exe
}

TEST_F(HttpCli, HeaderlessReplyGivesItsLinesAsBlocks)
{
    HttpTestServer server;
    HttpTestReply bare = HttpTestReply::Raw("<html>\r\n<p>one\r\n<p>two\r\n<p>th" "ree</html>\r\n");
    bare.pauseAfter = std::string("<html>\r\n<p>one\r\n<p>two\r\n<p>th").size();
    bare.pauseMs = 150;
    server.Script("/bare", bare);
    THttpCli cli(nullptr);
    HttpEventLog log(cli);
    ASSERT_TRUE(GetAndWait(cli, log, server.Url("/bare")));
    EXPECT_EQ(log.error, 0);
    EXPECT_EQ(cli.HttpStatus(), 0);
    EXPECT_EQ(cli.ResponseContentType(), "text/html");
    EXPECT_EQ(log.blocks, (std::vector<std::string>{"<html>", "<p>one", "<p>two", "<p>three</html>\r\n"}));
    EXPECT_EQ(cli.ReceivedBytes(), 6 + 6 + 6 + 17);
    EXPECT_EQ(log.Joined(false), "connected rqbegin rqend hbegin hend dbegin data data data data dend done:0");
}

TEST_F(HttpCli, ZeroLengthEndsAtTheHeaderEvenWithALocation)
{
    HttpTestServer server;
    HttpTestReply empty = HttpTestReply::Ok("", "");
    empty.statusLine = "HTTP/1.0 302 Found";
    empty.headers.push_back("Location: /elsewhere");
    empty.ending = HttpTestReply::Ending::Hold;  // only the header's end can end it
    server.Script("/empty", empty);
    THttpCli cli(nullptr);
    HttpEventLog log(cli);
    ASSERT_TRUE(GetAndWait(cli, log, server.Url("/empty")));
    EXPECT_EQ(log.error, 0);
    EXPECT_EQ(cli.HttpStatus(), 302);
    EXPECT_EQ(cli.DocLength(), 0);
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(log.Joined(false), "connected rqbegin rqend hbegin hdata hdata hdata hend done:0");
}

TEST_F(HttpCli, StatusOf400OrMoreEndsTheRequestAndGetRaises)
{
    HttpTestServer server;
    HttpTestReply missing = HttpTestReply::Status("HTTP/1.0 404 Not Found", "<html>nope</html>");
    missing.ending = HttpTestReply::Ending::Hold;  // the client closes, not the server
    server.Script("/missing", missing);
    THttpCli cli(nullptr);
    HttpEventLog log(cli);
    ASSERT_TRUE(GetAndWait(cli, log, server.Url("/missing")));
    EXPECT_EQ(log.error, 0);
    EXPECT_EQ(cli.HttpStatus(), 404);
    EXPECT_EQ(cli.StatusText(), "Not Found");

    ExpectHttpException([&] { cli.Get(); }, 404, "Not Found");
    server.Script("/fine", HttpTestReply::Ok("fine"));
    cli.URL = server.Url("/fine");
    EXPECT_NO_THROW(cli.Get());
    EXPECT_EQ(cli.HttpStatus(), 200);
}

TEST_F(HttpCli, FailuresEndWithAnErrorAndTheClientStaysUsable)
{
    HttpTestServer server;
    auto scripted = [&](const char* path, HttpTestReply r) {
        server.Script(path, std::move(r));
        return server.Url(path);
    };
    HttpTestReply cut = HttpTestReply::Ok("0123456789", "");
    cut.cutAfter = 4;
    HttpTestReply reset = cut;
    reset.ending = HttpTestReply::Ending::Reset;
    HttpTestReply silent;
    silent.ending = HttpTestReply::Ending::CloseNoReply;
    HttpTestReply silentReset;
    silentReset.ending = HttpTestReply::Ending::ResetNoReply;
    HttpTestReply longLine = HttpTestReply::Ok("", "");
    longLine.contentLength = false;
    longLine.longHeaderLine = 9000;
    longLine.ending = HttpTestReply::Ending::Hold;  // only the client can end it
    HttpTestReply halfHeader = HttpTestReply::Raw("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n");
    HttpTestReply badStatus = HttpTestReply::Raw("HTTP/1.0 2x0 OK\r\n\r\nbody");
    badStatus.ending = HttpTestReply::Ending::Hold;
    HttpTestReply manyLines = HttpTestReply::Ok("", "");
    for (int i = 0; i < 600; ++i)
        manyLines.headers.push_back("X-Line: " + std::to_string(i));
    manyLines.ending = HttpTestReply::Ending::Hold;

    const std::string port = std::to_string(server.Port());
    const PeerRefusedPort refused;  // bound for the whole table, so no other test takes it
    struct Case {
        const char* name;
        std::string url;
        std::uint16_t error;
        std::string statusText;  // empty: not checked
    } cases[] = {
        {"body cut short", scripted("/cut", cut), httperrIncomplete, "Connection closed before the reply was complete"},
        {"reset mid-body", scripted("/reset", reset), 10054, "Connection reset by peer (Error #10054)"},
        {"closed without a reply", scripted("/silent", silent), httperrNoReply, "Connection closed without a reply"},
        {"reset without a reply", scripted("/silentreset", silentReset), 10054, ""},
        {"header cut short", scripted("/half", halfHeader), httperrIncomplete, ""},
        {"line too long", scripted("/long", longLine), httperrLineTooLong, "HTTP line too long"},
        {"status not a number", scripted("/bad", badStatus), httperrBadReply, ""},
        {"header without end", scripted("/many", manyLines), httperrHeaderTooLarge, "HTTP header too large"},
        {"empty host", "http:///x", 10022, "can't resolve hostname to IP address"},
        {"empty proxy-less URL", "", 10022, ""},
        {"unknown host", "http://nohost.test/", 11001, "can't resolve hostname to IP address"},
        {"port not a number", "http://127.0.0.1:abc/", 0, ""},
        {"nothing listening", refused.Url("/"), 10061,
         "Connection refused (Error #10061)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        THttpCli cli(nullptr);
        HttpEventLog log(cli);
        cli.URL = c.url;
        ASSERT_NO_THROW(cli.GetAsync());
        ASSERT_TRUE(log.WaitDone());
        if (c.error != 0) {
            EXPECT_EQ(log.error, c.error);
        } else {
            EXPECT_NE(log.error, 0);
        }
        EXPECT_EQ(cli.HttpStatus(), 404);
        if (!c.statusText.empty()) {
            EXPECT_EQ(cli.StatusText(), c.statusText);
        }
        EXPECT_EQ(cli.State(), httpReady);
        // Nothing of the failed request follows, and the client takes the next one.
        ASSERT_TRUE(SocketWitness().Await());
        EXPECT_EQ(log.done, 1);
        cli.URL = server.Url("/next");
        ASSERT_NO_THROW(cli.GetAsync());
        ASSERT_TRUE(log.WaitDone(2));
        EXPECT_EQ(log.error, 0);
        EXPECT_EQ(cli.HttpStatus(), 200);
    }
}

// Servers send numbers with blanks around them; only what is not a number
// fails the request, in every build.
TEST_F(HttpCli, NumbersInTheReplyMayHaveBlanksAround)
{
    HttpTestServer server;
    const struct {
        const char* path;
        const char* reply;
        std::uint16_t error;
        int status;
        std::int64_t docLength;
    } cases[] = {
        {"/trailing", "HTTP/1.0 200 OK\r\nContent-Length: 5 \r\n\r\nhello", 0, 200, 5},
        {"/tabs", "HTTP/1.0 200 OK\r\nContent-Length:\t5\t\r\n\r\nhello", 0, 200, 5},
        {"/status", "HTTP/1.1  201 Created\r\nContent-Length: 5\r\n\r\nhello", 0, 201, 5},
        {"/letters", "HTTP/1.0 200 OK\r\nContent-Length: 5x\r\n\r\nhello", httperrBadReply, 404, -1},
    };
    for (const auto& c : cases)
        server.Script(c.path, HttpTestReply::Raw(c.reply));
    for (const THttpBuild* build : {&HttpBuildMain, &HttpBuildSubmission, &HttpBuildUpdater}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(build->name) + " " + c.path);
            THttpProbe cli(*build);
            HttpEventLog log(cli);
            cli.URL = server.Url(c.path);
            cli.StartRequest(httpGET);
            ASSERT_TRUE(log.WaitDone());
            EXPECT_EQ(log.error, c.error) << cli.StatusText();
            EXPECT_EQ(cli.HttpStatus(), c.status);
            EXPECT_EQ(cli.DocLength(), c.docLength);
            if (c.error == 0) {
                EXPECT_EQ(log.body, "hello");
            } else {
                EXPECT_EQ(cli.StatusText(), "'5x' is not a valid integer value");
            }
        }
    }
}

// A 304 or a 204 carries no body, whatever its Content-Length says: the close
// after its header ends the request well, in either build.
TEST_F(HttpCli, BodylessStatusWithContentLengthEndsWell)
{
    HttpTestServer server;
    server.Script("/304", HttpTestReply::Raw("HTTP/1.0 304 Not Modified\r\nContent-Length: 1234\r\n\r\n"));
    server.Script("/204", HttpTestReply::Raw("HTTP/1.0 204 No Content\r\nContent-Length: 5\r\n\r\n"));
    for (const char* path : {"/304", "/204"}) {
        SCOPED_TRACE(path);
        const int status = std::atoi(path + 1);
        THttpCli cli(nullptr);
        HttpEventLog log(cli);
        cli.URL = server.Url(path);
        cli.GetAsync();
        ASSERT_TRUE(log.WaitDone());
        EXPECT_EQ(log.error, 0);
        EXPECT_EQ(cli.HttpStatus(), status);

        TSTHttpCli st(nullptr);
        HttpEventLog stLog(st);
        st.URL = server.Url(path);
        st.GetAsync();
        ASSERT_TRUE(stLog.WaitDone());
        EXPECT_EQ(stLog.error, 0);
        EXPECT_EQ(st.HttpStatus(), status);
    }
}

// A download past 2 GiB on one connection counts on: the length, the bytes
// received and the check that the body is complete are 64 bits wide.
TEST_F(HttpCli, ABodyPastTwoGiBIsCountedWhole)
{
    const std::uint64_t size = (std::uint64_t{1} << 31) + 100;
    const std::string request = "GET /big HTTP/1.0\r\n" + DefaultAccept + DefaultAgent + "Host: 127.0.0.1\r\n\r\n";
    PeerScript peer;
    peer.Read(request.size())
        .Write("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n")
        .WriteZeros(size)
        .Close();
    peer.Start();
    THttpCli cli(nullptr);
    HttpEventLog log;
    log.Attach(cli);
    cli.OnDocData = nullptr;  // no copy of two gigabytes in the log
    ASSERT_TRUE(GetAndWait(cli, log, "http://127.0.0.1:" + peer.PortText() + "/big", 60000));
    EXPECT_EQ(log.error, 0) << cli.StatusText();
    EXPECT_EQ(cli.DocLength(), static_cast<std::int64_t>(size));
    EXPECT_EQ(cli.ReceivedBytes(), static_cast<std::int64_t>(size));
    EXPECT_EQ(peer.Error(), "");
}

// A POST body of `size` zero bytes that takes no memory.
class TZeroStream : public TStream {
public:
    explicit TZeroStream(std::int64_t size) : FSize(size) {}
    std::int64_t Read(void* buffer, std::int64_t count) override
    {
        const std::int64_t n = std::max<std::int64_t>(0, std::min(count, FSize - FPosition));
        std::memset(buffer, 0, static_cast<std::size_t>(n));
        FPosition += n;
        return n;
    }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override
    {
        FPosition = (origin == soBeginning ? 0 : origin == soCurrent ? FPosition : FSize) + offset;
        return FPosition;
    }

private:
    std::int64_t FSize;
    std::int64_t FPosition = 0;
};

TEST_F(HttpCli, APostPastTwoGiBIsCountedWhole)
{
    const std::uint64_t size = (std::uint64_t{1} << 31) + 100;
    const std::string request = "POST /up HTTP/1.0\r\n" + DefaultAccept +
                                "Content-Type: application/x-www-form-urlencoded\r\n" + DefaultAgent +
                                "Host: 127.0.0.1\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    PeerScript peer;
    peer.Read(request.size()).Skip(size).Write("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok").Close();
    peer.Start();
    THttpProbe cli(HttpBuildMain);
    HttpEventLog log;
    log.Attach(cli);
    cli.OnSendData = nullptr;
    TZeroStream post(static_cast<std::int64_t>(size));
    cli.PostStream = &post;
    cli.URL = "http://127.0.0.1:" + peer.PortText() + "/up";
    cli.StartRequest(httpPOST);
    // Two gigabytes through the loopback take a minute under the sanitizers on a
    // busy machine; the bound is there to end a hang, not to time the send.
    ASSERT_TRUE(log.WaitDone(1, 110000));  // under ctest's 120 s
    EXPECT_EQ(log.error, 0) << cli.StatusText();
    EXPECT_EQ(cli.SentBytes(), static_cast<std::int64_t>(size));
    EXPECT_EQ(peer.Received(), request);
    EXPECT_EQ(peer.Error(), "");
}

// --- relocation --------------------------------------------------------------------

TEST_F(HttpCli, RelocationsFollowTheLocation)
{
    HttpTestServer server;
    HttpTestServer other;
    server.Script("/dir/a.htm", HttpTestReply::Redirect("@"));
    server.Script("/new", HttpTestReply::Ok("new"));
    server.Script("/dir/b.htm", HttpTestReply::Ok("b"));
    other.Script("/other", HttpTestReply::Ok("other"));
    struct Case {
        const char* name;
        std::string location;
        HttpTestServer* second;  // where the second request must arrive
        std::string target;
        std::string hostHeader;
        std::string effectiveURL;
        const char* body;
    } cases[] = {
        {"absolute path", "/new", &server, "/new", "127.0.0.1", server.Url("/new"), "new"},
        {"relative path", "./b.htm", &server, "/dir/b.htm", "127.0.0.1", server.Url("/dir/b.htm"), "b"},
        {"absolute URL with a port", other.Url("/other"), &other, "/other", "127.0.0.1", other.Url("/other"),
         "other"},
        {"absolute URL, other host", "http://other.test:" + std::to_string(other.Port()) + "/other", &other,
         "/other", "other.test", "http://other.test:" + std::to_string(other.Port()) + "/other", "other"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.ClearRequests();
        other.ClearRequests();
        server.Script("/dir/a.htm", HttpTestReply::Redirect(c.location));
        THttpCli cli(nullptr);
        HttpEventLog log(cli);
        ASSERT_TRUE(GetAndWait(cli, log, server.Url("/dir/a.htm")));
        EXPECT_EQ(log.error, 0);
        EXPECT_EQ(log.body, c.body);
        EXPECT_EQ(cli.HttpStatus(), 200);
        const HttpTestRequest second = c.second->Request(c.second == &server ? 1 : 0);
        EXPECT_EQ(second.target, c.target);
        EXPECT_EQ(second.Header("Host"), c.hostHeader);
        EXPECT_EQ(cli.EffectiveURL(), c.effectiveURL);
        // Only the new reply's lines are kept.
        EXPECT_EQ(cli.HeaderLines().Strings(0), "HTTP/1.0 200 OK");
        EXPECT_EQ(log.Joined(false), "connected rqbegin rqend hbegin hdata hdata hdata hend relocate connected rqbegin "
                                     "rqend hbegin hdata hdata hdata hend dbegin data dend done:0");
    }
}

// The length and the type of the reply that moved stand through the
// relocation; the next reply starts from nothing, so a length it does not
// send is unknown, never the old one (which would cut or fail its body).
TEST_F(HttpCli, TheMovedReplysLengthAndTypeStandUntilTheNextReplyBegins)
{
    HttpTestServer server;
    HttpTestReply moved = HttpTestReply::Redirect("/plain");
    moved.headers.push_back("Content-Type: text/html");
    server.Script("/moved", moved);
    server.Script("/plain", HttpTestReply::Raw("HTTP/1.0 200 OK\r\n\r\nbody"));
    for (const THttpBuild* build : {&HttpBuildMain, &HttpBuildSubmission}) {
        SCOPED_TRACE(build->name);
        THttpProbe cli(*build);
        HttpEventLog log(cli);
        std::vector<std::string> atRelocation;
        cli.OnLocationChange = [&](TObject*) {
            atRelocation.push_back(std::to_string(cli.DocLength()) + " '" + cli.ResponseContentType() + "'");
        };
        cli.URL = server.Url("/moved");
        cli.StartRequest(httpGET);
        ASSERT_TRUE(log.WaitDone());
        EXPECT_EQ(log.error, 0);
        EXPECT_EQ(atRelocation, (std::vector<std::string>{"18 'text/html'"}));
        EXPECT_EQ(cli.DocLength(), -1);
        EXPECT_EQ(cli.ResponseContentType(), "");
        EXPECT_EQ(log.body, "body");
    }
}

TEST_F(HttpCli, AbsoluteLocationWithoutAPortGoesToPort80)
{
    HttpTestServer server;
    server.Script("/go", HttpTestReply::Redirect("http://noport.test/x"));
    for (int build = 0; build < 2; ++build) {
        THttpProbe cli(build == 0 ? HttpBuildMain : HttpBuildSubmission);
        HttpEventLog log(cli);
        cli.URL = server.Url("/go");
        cli.StartRequest(httpGET);
        ASSERT_TRUE(log.WaitDone());
        // Nothing listens on port 80 here: the refusal shows where it went.
        EXPECT_EQ(log.error, 10061) << cli.Build().name;
        EXPECT_EQ(cli.EffectiveURL(), "http://noport.test/x") << cli.Build().name;
    }
}

TEST_F(HttpCli, RelocationsAreBounded)
{
    HttpTestServer server;
    server.Script("/loop", HttpTestReply::Redirect("/loop"));
    THttpCli cli(nullptr);
    HttpEventLog log(cli);
    ASSERT_TRUE(GetAndWait(cli, log, server.Url("/loop")));
    EXPECT_EQ(server.RequestCount(), 1u + TCustomHttpCli::MaxRelocations);
    EXPECT_EQ(log.error, httperrRelocation);
    EXPECT_EQ(cli.HttpStatus(), 404);
    EXPECT_EQ(cli.StatusText(), "Too many relocations");
}

TEST_F(HttpCli, RelocationThroughAProxyStaysWithTheProxy)
{
    HttpTestServer proxy;
    const std::string origin = "http://www.example.test:8080";
    struct Case {
        const char* location;
        std::string secondLine;
        std::string hostHeader;
    } cases[] = {
        {"http://other.test:9090/y", "GET http://other.test:9090/y HTTP/1.0", "other.test"},
        {"http://other.test:9090", "GET http://other.test:9090 HTTP/1.0", "other.test"},
        {"/z", "GET " + origin + "/z HTTP/1.0", "www.example.test"},
        {"./w.htm", "GET " + origin + "/dir/w.htm HTTP/1.0", "www.example.test"},
        {"/a b.htm", "GET " + origin + "/a%20b.htm HTTP/1.0", "www.example.test"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        proxy.ClearRequests();
        proxy.Script("/dir/start", HttpTestReply::Redirect(c.location));
        THttpCli cli(nullptr);
        HttpEventLog log(cli);
        UseLoopbackProxy(cli, proxy.Port());
        ASSERT_TRUE(GetAndWait(cli, log, origin + "/dir/start"));
        EXPECT_EQ(log.error, 0);
        ASSERT_EQ(proxy.RequestCount(), 2u);
        EXPECT_EQ(proxy.Request(0).requestLine, "GET " + origin + "/dir/start HTTP/1.0");
        EXPECT_EQ(proxy.Request(1).requestLine, c.secondLine);
        EXPECT_EQ(proxy.Request(1).Header("Host"), c.hostHeader);
    }
}

// A relocation address is the server's text: a control byte in it ends the
// request before anything of it reaches a request line (a CR there would
// start a header of the server's choosing), and blanks go as %20. The
// submission client repeats its POST, so it must not carry the form anywhere
// such an address points.
TEST_F(HttpCli, RelocationAddressesAreCheckedBeforeTheyAreSent)
{
    HttpTestServer server;
    server.Script("/next%20page.htm", HttpTestReply::Ok("next"));
    const struct {
        const char* name;
        std::string location;
        const char* secondTarget;  // nullptr: refused
    } cases[] = {
        {"CR inside", server.Url("/next") + " HTTP/1.0\rX-Injected: yes", nullptr},
        {"tab inside", "/next\tpage.htm", nullptr},
        {"other control byte", "/next\x01page.htm", nullptr},
        {"delete", "/next\x7fpage.htm", nullptr},
        {"blank inside", "/next page.htm", "/next%20page.htm"},
        {"blanks at the end", server.Url("/next page.htm") + " \t ", "/next%20page.htm"},
    };
    const std::string form = "name=joe&email=joe%40example.test";
    for (const THttpBuild* build : {&HttpBuildMain, &HttpBuildSubmission}) {
        const bool post = build == &HttpBuildSubmission;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(build->name) + ", " + c.name);
            server.ClearRequests();
            server.Script("/start", HttpTestReply::Redirect(c.location));
            THttpProbe cli(*build);
            HttpEventLog log(cli);
            TMemoryStream body;
            body.WriteBuffer(form.data(), static_cast<std::int64_t>(form.size()));
            body.SetPosition(0);
            cli.PostStream = &body;
            cli.URL = server.Url("/start");
            cli.StartRequest(post ? httpPOST : httpGET);
            ASSERT_TRUE(log.WaitDone());
            if (!c.secondTarget) {
                EXPECT_EQ(log.error, httperrRelocation);
                EXPECT_EQ(cli.HttpStatus(), 404);
                EXPECT_EQ(cli.StatusText(), "Invalid relocation address");
                ASSERT_TRUE(SocketWitness().Await());  // a second connection would have been begun by then
                EXPECT_EQ(server.RequestCount(), 1u);
                EXPECT_EQ(log.Joined(false).find("relocate"), std::string::npos) << log.Joined(false);
            } else {
                EXPECT_EQ(log.error, 0) << cli.StatusText();
                ASSERT_EQ(server.RequestCount(), 2u);
                EXPECT_EQ(server.Request(1).requestLine,
                          std::string(post ? "POST " : "GET ") + c.secondTarget + " HTTP/1.0");
                EXPECT_EQ(server.Request(1).body, post ? form : "");
                EXPECT_EQ(log.body, "next");
            }
        }
    }
}

// The clients speak HTTP only: a relocation to another scheme ends the
// request as a failure, directly and through a proxy, instead of fetching
// the address over plain HTTP from whatever server and port it names.
TEST_F(HttpCli, RelocationsAreFollowedOnlyToHttpAddresses)
{
    HttpTestServer server;
    server.Script("/next", HttpTestReply::Ok("next"));
    const std::string hostPort = server.HostPort();
    const struct {
        std::string location;
        bool followed;
    } cases[] = {
        {"https://" + hostPort + "/next", false},
        {"HTTPS://" + hostPort + "/next", false},
        {"ftp://" + hostPort + "/next", false},
        {"mailto:ann@example.com", false},
        {"javascript:go()", false},
        {"news:comp.lang", false},
        {"HTTP://" + hostPort + "/next", true},
        {hostPort + "/next", true},  // a host and its port, no scheme
        {"/next", true},
    };
    for (const bool proxied : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.location + (proxied ? " through a proxy" : ""));
            server.ClearRequests();
            server.Script("/start", HttpTestReply::Redirect(c.location));
            THttpCli cli(nullptr);
            HttpEventLog log(cli);
            if (proxied)
                UseLoopbackProxy(cli, server.Port());
            ASSERT_TRUE(GetAndWait(cli, log, server.Url("/start")));
            if (!c.followed) {
                EXPECT_EQ(log.error, httperrRelocation);
                EXPECT_EQ(cli.HttpStatus(), 404);
                EXPECT_EQ(cli.StatusText(), "Relocation to another protocol than http");
                EXPECT_EQ(server.RequestCount(), 1u);
            } else {
                EXPECT_EQ(log.error, 0) << cli.StatusText();
                EXPECT_EQ(log.body, "next");
            }
        }
    }
}

// --- Abort -----------------------------------------------------------------------

TEST_F(HttpCli, AbortInEveryStateEndsWithError3Once)
{
    HttpTestServer server;
    server.Script("/page", HttpTestReply::Ok("<html>page</html>"));
    const THttpState states[] = {httpNotConnected, httpDnsLookup,     httpDnsLookupDone,
                                 httpConnected,    httpWaitingHeader, httpWaitingBody};
    for (const bool restart : {false, true}) {
        for (const THttpState state : states) {
            SCOPED_TRACE(std::string(restart ? "restarted" : "left") + " after abort in state " +
                         std::to_string(static_cast<int>(state)));
            THttpCli cli(nullptr);
            HttpEventLog log(cli);
            bool aborted = false;
            std::string eventsAtAbort;
            cli.OnStateChange = [&](TObject*) {
                if (cli.State() != state || aborted)
                    return;
                aborted = true;
                cli.Abort();
                EXPECT_EQ(cli.State(), httpReady);
                EXPECT_EQ(cli.HttpStatus(), 404);
                EXPECT_EQ(cli.StatusText(), "Connection aborted on request");
                eventsAtAbort = log.Joined(false);
                if (restart) {
                    cli.URL = server.Url("/page");
                    cli.GetAsync();
                }
            };
            ASSERT_TRUE(GetAndWait(cli, log, server.Url("/page")));
            ASSERT_TRUE(SocketWitness().Await());  // past whatever the aborted connection still told
            ASSERT_TRUE(aborted);
            EXPECT_EQ(log.done, 1);
            if (restart) {
                // Only the new request reports, with its own result.
                EXPECT_EQ(log.error, 0);
                EXPECT_EQ(cli.HttpStatus(), 200);
                EXPECT_EQ(log.body, "<html>page</html>");
            } else {
                EXPECT_EQ(log.error, httperrAborted);
                EXPECT_EQ(log.kind, httpGET);
                // After the abort, only its request-done follows.
                EXPECT_EQ(log.Joined(false), eventsAtAbort + (eventsAtAbort.empty() ? "" : " ") + "done:3");
            }
        }
    }
}

TEST_F(HttpCli, AbortFromTheLoopAndANewRequestRightAfter)
{
    HttpTestServer server;
    server.Script("/page", HttpTestReply::Ok("<html>page</html>"));
    server.Script("/held", HttpTestReply::Held());
    HttpTestReply slow = HttpTestReply::Ok("0123456789", "");
    slow.pauseAfter = 3;
    slow.pauseMs = 2000;
    server.Script("/slow", slow);

    struct Case {
        const char* name;
        std::string url;
        std::function<bool(THttpCli&, HttpEventLog&)> reached;  // the state to abort in
    } cases[] = {
        {"name lookup", "http://slow.test:" + std::to_string(server.Port()) + "/page",
         [](THttpCli& c, HttpEventLog&) { return c.State() == httpDnsLookup; }},
        {"waiting for the header", server.Url("/held"),
         [&](THttpCli&, HttpEventLog&) { return server.RequestCount() > 0; }},
        {"inside the body", server.Url("/slow"), [](THttpCli&, HttpEventLog& l) { return !l.blocks.empty(); }},
    };
    for (const auto& c : cases) {
        for (const bool restart : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (restart ? ", restarted" : ""));
            server.ClearRequests();
            THttpCli cli(nullptr);
            HttpEventLog log(cli);
            cli.URL = c.url;
            cli.GetAsync();
            ASSERT_TRUE(RunUntil([&] { return c.reached(cli, log); }));
            cli.Abort();
            if (restart) {
                cli.URL = server.Url("/page");
                cli.GetAsync();
            }
            ASSERT_TRUE(log.WaitDone());
            ASSERT_TRUE(SocketWitness().Await());  // past whatever the aborted connection still told
            EXPECT_EQ(log.done, 1);
            EXPECT_EQ(log.error, restart ? 0 : httperrAborted);
            if (restart) {
                ASSERT_GE(log.body.size(), 17u);
                EXPECT_EQ(log.body.substr(log.body.size() - 17), "<html>page</html>");
            }
        }
    }
}

TEST_F(HttpCli, SynchronousGetEndsOnAbortFromATimer)
{
    HttpTestServer server;
    server.Script("/held", HttpTestReply::Held());
    TTimer cancel(nullptr);
    cancel.SetInterval(50);
    // Aborts `client` once, 50 ms from now.
    const auto abortSoon = [&](TCustomHttpCli& client) {
        cancel.OnTimer = [&cancel, &client](TObject*) {
            cancel.SetEnabled(false);
            client.Abort();
        };
        cancel.SetEnabled(true);
    };
    THttpCli cli(nullptr);
    abortSoon(cli);
    cli.URL = server.Url("/held");
    ExpectHttpException([&] { cli.Get(); }, 404, "Connection aborted on request");
    EXPECT_EQ(cli.State(), httpReady);

    // The updater's build waits the same way.
    UpdHttp::THttpCli updater(nullptr);
    abortSoon(updater);
    updater.URL = server.Url("/held");
    EXPECT_THROW(updater.Get(), EHttpException);
}
