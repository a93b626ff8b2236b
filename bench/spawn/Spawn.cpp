// Runs one command and tells what it cost, for bench/Rounds.h:
//
//   bench_spawn REPORT_FD command [args...]
//
// The command runs as a child of this small program, with this program's
// standard input, output and error. When it ends, one line goes to
// REPORT_FD: its wait status, the wall time from its start to its end in
// nanoseconds, its user and system CPU time in microseconds and its peak
// resident memory in kilobytes. The exit status is 0 when that line was
// written, 127 when the command could not be started.
//
// Why a program of its own: the kernel counts into a process's peak memory
// the memory it had before it ran its program, which for a forked child is
// its parent's. A benchmark's side forked from the benchmark itself would be
// charged with the benchmark's own memory; forked from this program, which
// is linked statically and holds next to nothing, it is charged only with
// its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const int report = std::atoi(argv[1]);
    if (report < 3 || ::fcntl(report, F_SETFD, FD_CLOEXEC) != 0)
        return 2;
    timespec begin{}, end{};
    ::clock_gettime(CLOCK_MONOTONIC, &begin);
    const pid_t pid = ::fork();
    if (pid < 0)
        return 127;
    if (pid == 0) {
        ::execvp(argv[2], argv + 2);
        std::fprintf(stderr, "cannot run %s: %s\n", argv[2], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t waited;
    do
        waited = ::wait4(pid, &status, 0, &usage);
    while (waited < 0 && errno == EINTR);
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    if (waited < 0)
        return 127;
    const long long wallNs = (end.tv_sec - begin.tv_sec) * 1000000000LL + (end.tv_nsec - begin.tv_nsec);
    const long long userUs = usage.ru_utime.tv_sec * 1000000LL + usage.ru_utime.tv_usec;
    const long long systemUs = usage.ru_stime.tv_sec * 1000000LL + usage.ru_stime.tv_usec;
    char line[160];
    const int n = std::snprintf(line, sizeof line, "%d %lld %lld %lld %ld\n", status, wallNs, userUs, systemUs,
                                usage.ru_maxrss);
    return ::write(report, line, static_cast<std::size_t>(n)) == n ? 0 : 2;
}
