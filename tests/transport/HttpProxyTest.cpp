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

#include "transport/HttpTestHelpers.h"
#include "transport/UpdHttpProt.h"

namespace {

int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool Accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// tinyproxy in the foreground with its files in a temporary folder; stopped
// and reaped by the destructor.
class TinyProxy {
public:
    TinyProxy(const std::string& user, const std::string& password)
    {
        char pattern[] = "/tmp/tenvarel-tinyproxy-XXXXXX";
        FDir = ::mkdtemp(pattern);
        FPort = FreeLoopbackPort();
        const std::string conf = FDir + "/tinyproxy.conf";
        std::ofstream(conf) << "Port " << FPort << "\n"
                            << "Listen 127.0.0.1\n"
                            << "Timeout 30\n"
                            << "MaxClients 50\n"
                            << "LogLevel Info\n"
                            << "LogFile \"" << FDir << "/tinyproxy.log\"\n"
                            << "PidFile \"" << FDir << "/tinyproxy.pid\"\n"
                            << "Allow 127.0.0.1\n"
                            << "DisableViaHeader Yes\n"
                            << "BasicAuth " << user << " " << password << "\n";
        FPid = ::fork();
        if (FPid == 0) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
            ::execlp("tinyproxy", "tinyproxy", "-d", "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (FPid > 0 && !Accepts(FPort) && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;  // it died: the tests see Running() false
                break;
            }
            ::poll(nullptr, 0, 10);
        }
        FRunning = FPid > 0 && Accepts(FPort);
    }
    ~TinyProxy()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            int status = 0;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (::waitpid(FPid, &status, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() >= deadline) {
                    ::kill(FPid, SIGKILL);
                    ::waitpid(FPid, &status, 0);
                    break;
                }
                ::poll(nullptr, 0, 10);
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(FDir, ignored);
    }
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    bool Running() const { return FRunning; }
    int Port() const { return FPort; }

private:
    std::string FDir;
    int FPort = 0;
    pid_t FPid = -1;
    bool FRunning = false;
};

}  // namespace

TEST(HttpProxy, TinyproxyWithBasicAuth)
{
    TinyProxy proxy("joe", "secret");
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
        HttpEventLog log;
        log.Attach(cli);
        cli.Proxy = "127.0.0.1";
        cli.ProxyPort = std::to_string(proxy.Port());
        cli.ProxyUsername = c.user;
        cli.ProxyPassword = c.password;
        cli.URL = server.Url(c.path);
        cli.GetAsync();
        ASSERT_TRUE(log.WaitDone(1, 10000));
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
    try {
        cli.Get();
        FAIL() << "Get through the proxy without credentials";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.ErrorCode, 407);
        EXPECT_EQ(e.Message, "Proxy Authentication Required");
    }
}
