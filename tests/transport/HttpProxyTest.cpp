// The HTTP client through a real HTTP proxy with basic authentication:
// tinyproxy, started on loopback with a configuration of our own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "support/TinyProxy.h"

#include "transport/HttpTestHelpers.h"
#include "transport/UpdHttpProt.h"

TEST(HttpProxy, TinyproxyWithBasicAuth)
{
    TinyProxy proxy("joe", "secret", "DisableViaHeader Yes\n");
    ASSERT_TRUE(proxy.Running()) << "tinyproxy did not start";
    HttpTestServer server;
    server.Script("/page", HttpTestReply::Ok("<html>through</html>"));
    server.Script("/start", HttpTestReply::Redirect("/end"));
    server.Script("/end", HttpTestReply::Ok("<html>end</html>"));

    struct Case {
        const char* name;
        const char* user;
        const char* password;
        const char* path;
        int status;
        const char* statusText;
        const char* body;
        std::size_t serverRequests;
    } cases[] = {
        {"with credentials", "joe", "secret", "/page", 200, "OK", "<html>through</html>", 1},
        {"relocated", "joe", "secret", "/start", 200, "OK", "<html>end</html>", 2},
        {"without credentials", "", "", "/page", 407, "Proxy Authentication Required", nullptr, 0},
        // tinyproxy answers credentials it refuses with a 401 of its own.
        {"wrong password", "joe", "wrong", "/page", 401, "Unauthorized", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.ClearRequests();
        THttpCli cli(nullptr);
        HttpEventLog log(cli);
        UseLoopbackProxy(cli, proxy.Port());
        cli.ProxyUsername = c.user;
        cli.ProxyPassword = c.password;
        ASSERT_TRUE(GetAndWait(cli, log, server.Url(c.path), 10000));
        EXPECT_EQ(log.error, 0);
        EXPECT_EQ(cli.HttpStatus(), c.status);
        EXPECT_EQ(cli.StatusText(), c.statusText);
        if (c.body) {
            EXPECT_EQ(log.body, c.body);
        }
        ASSERT_EQ(server.RequestCount(), c.serverRequests);
        if (c.serverRequests > 0) {
            // The proxy passes the request on in origin form, without our proxy credentials.
            const HttpTestRequest last = server.Request(c.serverRequests - 1);
            EXPECT_EQ(last.target, c.serverRequests == 2 ? "/end" : "/page");
            EXPECT_FALSE(last.HasHeader("Proxy-Authorization"));
        }
    }

    // A 407 raises from the synchronous Get like any status of 400 or more.
    THttpCli cli(nullptr);
    cli.Proxy = "127.0.0.1:" + std::to_string(proxy.Port());
    cli.URL = server.Url("/page");
    ExpectHttpException([&] { cli.Get(); }, 407, "Proxy Authentication Required");
}
