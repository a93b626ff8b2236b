// Process plumbing of the benchmarks that measure each figure in a process of
// its own: the program starts itself in another role (a server, a sender).
// Runs that are timed go through bench/Rounds.h.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace bench {

// This program's own path, for starting itself in another role.
inline std::string SelfPath(const char* fallback)
{
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string(fallback);
}

inline void ExecOrExit(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// A server in a child process that prints its ports on its standard output
// once it listens, and serves until its standard input closes: that happens
// when this object goes, which then waits for the child's end.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& args)
    {
        int toServer[2], fromServer[2];
        if (::pipe(toServer) != 0)
            return;
        if (::pipe(fromServer) != 0) {
            ::close(toServer[0]);
            ::close(toServer[1]);
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toServer[0], 0);
            ::dup2(fromServer[1], 1);
            ::close(toServer[1]);
            ::close(fromServer[0]);
            ExecOrExit(args);
        }
        ::close(toServer[0]);
        ::close(fromServer[1]);
        input_ = toServer[1];
        output_ = fromServer[0];
    }
    ~ServerProcess()
    {
        if (input_ >= 0)
            ::close(input_);
        if (pid_ > 0) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // The first block the server printed (its ports); empty when it printed nothing.
    std::string ReadPorts()
    {
        char text[256] = {};
        const ssize_t n = output_ >= 0 ? ::read(output_, text, sizeof text - 1) : -1;
        return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

}  // namespace bench
