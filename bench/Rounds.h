// Rounds of two commands, for every comparison the benchmarks make.
//
// Each side is a command, run as a process of its own, for the given number
// of rounds after the warm-up rounds; the order alternates from round to
// round (A B, B A, A B, ...), so that neither side always runs on what the
// other left behind (a warm cache, a busy disk). Every run is timed whole,
// from its start to its end ("wall_s"), with the CPU time it used, user plus
// system ("cpu_s"), which a shared machine's load disturbs far less than the
// wall time; its peak resident memory is its own process's ("peak_MB"): each
// command is started by bench/spawn/Spawn.cpp, so that it is not charged with
// the memory of the benchmark it was forked from. A side may also print
// figures that it timed over its own region, one per line:
//     figure <name> <value>
// A printed figure is compared only when both sides print it, so a region is
// never set against a whole process. A run that cannot start, is killed, or
// ends with a status other than 0 stops the rounds with its standard error.
//
// Printed for each figure: both sides' median and range, and the median and
// range of the per-round ratio A / B; with them the machine's load averages
// (/proc/loadavg) when the rounds began and when they ended.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct TSide {
    std::string Name;
    std::vector<std::string> Args;
};

struct TRun {
    double WallSeconds = 0;
    double CpuSeconds = 0;  // user plus system
    double PeakMB = 0;
    std::vector<std::pair<std::string, double>> Printed;  // "figure" lines, in order
    std::string Out;                                      // the rest of standard output
};

struct TStat {
    double Median = 0;
    double Min = 0;
    double Max = 0;
};

inline TStat Stats(std::vector<double> values)
{
    TStat s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.Median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.Min = values.front();
    s.Max = values.back();
    return s;
}

inline std::string CommandText(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& a : args) {
        if (!text.empty())
            text += ' ';
        const bool quote = a.empty() || a.find_first_of(" \t\"'$\\") != std::string::npos;
        text += quote ? "'" + a + "'" : a;
    }
    return text;
}

// The machine's load averages over 1, 5 and 15 minutes, as uptime shows them.
inline std::string LoadAverages()
{
    char text[128] = {};
    const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "unknown";
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    double one = 0, five = 0, fifteen = 0;
    if (n <= 0 || std::sscanf(text, "%lf %lf %lf", &one, &five, &fifteen) != 3)
        return "unknown";
    char out[64];
    std::snprintf(out, sizeof out, "%.2f, %.2f, %.2f", one, five, fifteen);
    return out;
}

// What a pipe brings until its writers close it.
inline std::string ReadToEnd(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// Runs the command to its end, through the spawner; its standard input is
// empty. False, with what went wrong and the end of its standard error, when
// it did not succeed.
inline bool RunCommand(const std::vector<std::string>& args, TRun& run, std::string& error)
{
    run = TRun{};
    int out[2], report[2];
    if (args.empty() || ::pipe2(out, O_CLOEXEC) != 0) {
        error = "cannot start " + CommandText(args);
        return false;
    }
    if (::pipe2(report, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        error = "cannot start " + CommandText(args);
        return false;
    }
    const int errors = ::memfd_create("stderr", MFD_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        ::dup2(out[1], 1);
        if (errors >= 0)
            ::dup2(errors, 2);
        // The spawner's report goes to descriptor 3, which it keeps from the command.
        ::dup2(report[1], 3);
        ::fcntl(3, F_SETFD, 0);
        std::vector<std::string> spawn = {TENVAREL_BENCH_SPAWN, "3"};
        spawn.insert(spawn.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (const std::string& a : spawn)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(report[1]);
    const std::string text = ReadToEnd(out[0]);
    ::close(out[0]);
    const std::string reportText = ReadToEnd(report[0]);
    ::close(report[0]);
    char buffer[4096];
    int spawnStatus = 0;
    pid_t waited;
    do
        waited = pid > 0 ? ::waitpid(pid, &spawnStatus, 0) : -1;
    while (waited < 0 && errno == EINTR);
    int status = 0;
    long long wallNs = 0, userUs = 0, systemUs = 0;
    long peakKB = 0;
    const bool reported = std::sscanf(reportText.c_str(), "%d %lld %lld %lld %ld", &status, &wallNs, &userUs,
                                      &systemUs, &peakKB) == 5;
    run.WallSeconds = static_cast<double>(wallNs) / 1e9;
    run.CpuSeconds = static_cast<double>(userUs + systemUs) / 1e6;
    run.PeakMB = static_cast<double>(peakKB) / 1024.0;

    std::string errorText;
    if (errors >= 0) {
        ::lseek(errors, 0, SEEK_SET);
        ssize_t n;
        while ((n = ::read(errors, buffer, sizeof buffer)) > 0)
            errorText.append(buffer, static_cast<std::size_t>(n));
        ::close(errors);
    }
    if (waited < 0 || !reported || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = CommandText(args) + ": ";
        if (waited < 0 || !reported)
            error += "did not start";
        else if (WIFSIGNALED(status))
            error += "killed by signal " + std::to_string(WTERMSIG(status));
        else
            error += "exit status " + std::to_string(WEXITSTATUS(status));
        if (errorText.size() > 2000)
            errorText = "..." + errorText.substr(errorText.size() - 2000);
        if (!errorText.empty())
            error += "\n" + errorText;
        return false;
    }

    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        char name[128];
        double value = 0;
        if (std::sscanf(line.c_str(), "figure %127s %lf", name, &value) == 2)
            run.Printed.emplace_back(name, value);
        else
            run.Out += line + "\n";
    }
    return true;
}

// Prints one figure for a benchmark's side, in the form the rounds read.
inline void PrintFigure(const char* name, double value)
{
    std::printf("figure %s %.9g\n", name, value);
}

struct TRoundsOptions {
    int Rounds = 7;
    int Warmup = 1;
    // Runs before every run, outside its time (emptying an output folder).
    std::function<void()> Setup;
    // Prints each round's figures as they come.
    bool Verbose = true;
    // Runs after every run, outside its time, with the side that ran (true
    // for A) and its round (negative for the warm-up rounds).
    std::function<void(bool sideA, int round)> AfterRun;
};

struct TPairResult {
    std::vector<TRun> A, B;  // the counted rounds
    std::string LoadBefore, LoadAfter;  // the machine's load averages

    // The figure's values over the rounds; wall_s, cpu_s and peak_MB are always there.
    std::vector<double> Values(const std::vector<TRun>& runs, const std::string& name) const
    {
        std::vector<double> values;
        for (const TRun& run : runs) {
            if (name == "wall_s")
                values.push_back(run.WallSeconds);
            else if (name == "cpu_s")
                values.push_back(run.CpuSeconds);
            else if (name == "peak_MB")
                values.push_back(run.PeakMB);
            else
                for (const auto& [n, v] : run.Printed)
                    if (n == name) {
                        values.push_back(v);
                        break;
                    }
        }
        return values;
    }
    // The per-round ratio A / B of a figure both sides have in every round.
    std::vector<double> Ratios(const std::string& name) const
    {
        const std::vector<double> a = Values(A, name), b = Values(B, name);
        std::vector<double> ratios;
        if (a.size() != A.size() || b.size() != B.size())
            return ratios;
        for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
            ratios.push_back(b[i] != 0 ? a[i] / b[i] : 0);
        return ratios;
    }
    // Figures to compare: the whole-process ones, then those both sides printed in every round.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names = {"wall_s", "cpu_s", "peak_MB"};
        if (A.empty())
            return names;
        for (const auto& [name, value] : A.front().Printed)
            if (std::find(names.begin(), names.end(), name) == names.end() && !Ratios(name).empty())
                names.push_back(name);
        return names;
    }
};

// Runs the rounds, A first in the first round and B first in the next;
// false, with the error, when a run failed.
inline bool RunPair(const TSide& a, const TSide& b, const TRoundsOptions& options, TPairResult& result,
                    std::string& error)
{
    result = TPairResult{};
    result.LoadBefore = LoadAverages();
    const int rounds = std::max(1, options.Rounds);
    const int warmup = std::max(0, options.Warmup);
    for (int round = -warmup; round < rounds; ++round) {
        TRun runA, runB;
        const bool aFirst = (round % 2 + 2) % 2 == 0;  // A first in the first counted round
        for (const bool sideA : {aFirst, !aFirst}) {
            if (options.Setup)
                options.Setup();
            if (!RunCommand(sideA ? a.Args : b.Args, sideA ? runA : runB, error))
                return false;
            if (options.AfterRun)
                options.AfterRun(sideA, round);
        }
        if (options.Verbose) {
            std::printf("%s %d (%s first, load %s): %s %.3f s, %s %.3f s", round < 0 ? "warm-up" : "round",
                        round < 0 ? round + warmup + 1 : round + 1, aFirst ? a.Name.c_str() : b.Name.c_str(),
                        LoadAverages().c_str(), a.Name.c_str(), runA.WallSeconds, b.Name.c_str(), runB.WallSeconds);
            for (const auto& [name, value] : runA.Printed)
                for (const auto& [nameB, valueB] : runB.Printed)
                    if (name == nameB)
                        std::printf("; %s %.4g / %.4g", name.c_str(), value, valueB);
            std::printf("\n");
            std::fflush(stdout);
        }
        if (round >= 0) {
            result.A.push_back(std::move(runA));
            result.B.push_back(std::move(runB));
        }
    }
    result.LoadAfter = LoadAverages();
    return true;
}

inline void PrintPair(const TSide& a, const TSide& b, const TPairResult& result)
{
    std::printf("\nA = %s: %s\nB = %s: %s\n", a.Name.c_str(), CommandText(a.Args).c_str(), b.Name.c_str(),
                CommandText(b.Args).c_str());
    std::printf("%zu rounds, interleaved A B, B A, ...; wall_s, cpu_s (user + system) and peak_MB are whole\n"
                "processes, the other figures are timed by each side over the same region; load averages\n"
                "(1, 5, 15 min) %s before, %s after\n",
                result.A.size(), result.LoadBefore.c_str(), result.LoadAfter.c_str());
    std::printf("%-22s %-30s %-30s %s\n", "figure", ("A " + a.Name + " median [range]").c_str(),
                ("B " + b.Name + " median [range]").c_str(), "ratio A/B median [range]");
    for (const std::string& name : result.Names()) {
        const TStat sa = Stats(result.Values(result.A, name));
        const TStat sb = Stats(result.Values(result.B, name));
        const TStat r = Stats(result.Ratios(name));
        char ca[64], cb[64];
        std::snprintf(ca, sizeof ca, "%.4g [%.4g .. %.4g]", sa.Median, sa.Min, sa.Max);
        std::snprintf(cb, sizeof cb, "%.4g [%.4g .. %.4g]", sb.Median, sb.Min, sb.Max);
        std::printf("%-22s %-30s %-30s %.3f [%.3f .. %.3f]\n", name.c_str(), ca, cb, r.Median, r.Min, r.Max);
    }
    std::fflush(stdout);
}

// Runs and prints the rounds; the exit status for main (1 when a run failed).
inline int CompareSides(const TSide& a, const TSide& b, const TRoundsOptions& options, TPairResult* out = nullptr)
{
    TPairResult result;
    std::string error;
    if (!RunPair(a, b, options, result, error)) {
        std::fprintf(stderr, "rounds stopped: %s\n", error.c_str());
        return 1;
    }
    PrintPair(a, b, result);
    if (out)
        *out = std::move(result);
    return 0;
}

}  // namespace bench
