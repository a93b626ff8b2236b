#include "StartProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "support/TempDir.h"

// The test programs' leak suppressions (tests/support/Sanitizers.cpp).
extern "C" const char* __lsan_default_suppressions();

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

[[noreturn]] void Exec(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    for (const std::string& entry : env)
        putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

}  // namespace

TRun RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& dir,
                int watchdogMs)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        // Its own process group, so that the watchdog ends its children too.
        setpgid(0, 0);
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(126);
        Exec(argv, env);
    }
    close(out[1]);
    TRun run;
    const auto deadline = Clock::now() + std::chrono::milliseconds(watchdogMs);
    bool killed = false;
    for (;;) {
        const int left = MsLeft(deadline);
        if (left == 0) {
            kill(-pid, SIGKILL);
            killed = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, left) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> ProgramEnvironment()
{
    static const TempDir dir("tenvarel-lsan");
    static const std::string file = dir.Write("program.supp", __lsan_default_suppressions());
    return {"LSAN_OPTIONS=suppressions=" + file};
}

TRun InstallInto(const std::string& prefix)
{
    return RunProgram({"cmake", "--install", TENVAREL_BUILD_DIR, "--prefix", prefix}, {}, "", 60000);
}

TXServer::TXServer()
{
    // Xvfb picks a free display and writes its number to the descriptor.
    int fds[2];
    if (pipe(fds) != 0) {
        FFailure = "no pipe";
        return;
    }
    FPid = fork();
    if (FPid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        Exec({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {});
    }
    close(fds[1]);
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, MsLeft(deadline)) <= 0)
            break;
        char buffer[64];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        FFailure = "Xvfb did not start";
        return;
    }
    FDisplay = ":" + number.substr(0, number.find('\n'));
}

TXServer::~TXServer()
{
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        waitpid(FPid, nullptr, 0);
    }
}
