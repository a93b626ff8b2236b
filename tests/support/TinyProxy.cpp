#include "support/TinyProxy.h"

#include "classlib/IniFiles.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool AcceptsOnLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

TinyProxy::TinyProxy(const std::string& user, const std::string& password, const std::string& extraConfig)
    : FUser(user), FPassword(password)
{
    char pattern[] = "/tmp/tenvarel-tinyproxy-XXXXXX";
    if (!::mkdtemp(pattern))
        return;
    FDir = pattern;
    FPort = FreeLoopbackPort();
    const std::string conf = FDir + "/tinyproxy.conf";
    std::ofstream(conf) << "Port " << FPort << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 50\n"
                        << "LogLevel Info\nLogFile \"" << FDir << "/tinyproxy.log\"\n"
                        << "PidFile \"" << FDir << "/tinyproxy.pid\"\nAllow 127.0.0.1\n"
                        << extraConfig << "BasicAuth " << user << " " << password << "\n";
    FPid = ::fork();
    if (FPid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::execlp("tinyproxy", "tinyproxy", "-d", "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FPid > 0 && !AcceptsOnLoopback(FPort) && std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(FPid, &status, WNOHANG) == FPid) {
            FPid = -1;  // it died: the tests see Running() false
            break;
        }
        ::poll(nullptr, 0, 10);
    }
    FRunning = FPid > 0 && AcceptsOnLoopback(FPort);
}

TinyProxy::~TinyProxy()
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
    if (!FDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(FDir, ignored);
    }
}

void TinyProxy::UseIn(const std::string& settingsFile) const
{
    TIniFile settings(settingsFile);
    settings.WriteString("Proxy", "ProxyHost", "127.0.0.1");
    settings.WriteString("Proxy", "ProxyPort", std::to_string(FPort));
    settings.WriteString("Proxy", "ProxyUserName", FUser);
    settings.WriteString("Proxy", "ProxyPassword", FPassword);
    settings.WriteBool("Proxy", "KeyProxy", true);
}
