#include "support/SocksServers.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/Loop.h"
#include "support/PeerScript.h"

extern char** environ;

namespace {

// Attempts with a fresh port, for a port taken by someone else meanwhile.
constexpr int kAttempts = 3;
constexpr int kStartTimeoutMs = 10000;

std::string FindProgram(const std::string& name)
{
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/usr/bin:/sbin:/bin:/usr/local/sbin:/usr/local/bin";
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty())
            continue;
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::unique_ptr<SocksServerProcess> SocksServerProcess::Microsocks(const std::string& user, const std::string& password)
{
    std::unique_ptr<SocksServerProcess> server(new SocksServerProcess);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        server->port_ = PeerUnusedPort();
        std::vector<std::string> args{"microsocks", "-i", "127.0.0.1", "-p", server->PortText()};
        if (!user.empty()) {
            args.insert(args.end(), {"-u", user, "-P", password});
        }
        if (server->Launch(args))
            break;
    }
    return server;
}

std::unique_ptr<SocksServerProcess> SocksServerProcess::Dante()
{
    std::unique_ptr<SocksServerProcess> server(new SocksServerProcess);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        server->port_ = PeerUnusedPort();
        std::ostringstream out;
        out << "logoutput: " << server->folder_.File("danted.log") << "\n"
            << "internal: 127.0.0.1 port = " << server->port_ << "\n"
            << "external: 127.0.0.1\n"
            << "clientmethod: none\n"
            << "socksmethod: none\n";
        if (::geteuid() == 0)
            out << "user.privileged: root\n"
                << "user.unprivileged: nobody\n";
        out << "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
            << "socks pass {\n  from: 127.0.0.0/8 to: 127.0.0.0/8\n  command: connect\n  protocol: tcp\n}\n";
        const std::string config = server->folder_.Write("danted.conf", out.str());
        if (server->Launch({"danted", "-f", config, "-p", server->folder_.File("danted.pid")}))
            break;
    }
    return server;
}

bool SocksServerProcess::Launch(const std::vector<std::string>& args)
{
    Stop();
    error_.clear();
    const std::string program = FindProgram(args[0]);
    if (program.empty()) {
        error_ = args[0] + " is not installed (scripts/setup installs microsocks and dante-server)";
        return false;
    }
    const std::string log = folder_.File(args[0] + ".out");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own, so that the server and whatever it forks go together.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        pid_ = -1;
        error_ = "cannot start " + program;
        return false;
    }
    bool exited = false;
    RunUntil(
        [&] {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited = true;
                return true;
            }
            return PeerPortAccepts(port_);
        },
        kStartTimeoutMs);
    if (exited) {
        pid_ = -1;
        error_ = args[0] + " exited at start: " + ReadText(log);
        return false;
    }
    if (!PeerPortAccepts(port_)) {
        error_ = args[0] + " does not accept connections on port " + PortText() + ": " + ReadText(log);
        Stop();
        return false;
    }
    return true;
}

void SocksServerProcess::Stop()
{
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        int status;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

SocksServerProcess::~SocksServerProcess()
{
    Stop();
}
