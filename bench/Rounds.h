// Rounds of two commands, for every comparison the benchmarks make.
//
// Each side is a command, run as a process of its own, A B A B ... for the
// given number of rounds after the warm-up rounds. Every run is timed whole,
// from its start to its end ("wall_s"), and its peak resident memory is taken
// from the kernel ("peak_MB"). A side may also print figures that it timed
// over its own region, one per line:
//     figure <name> <value>
// A printed figure is compared only when both sides print it, so a region is
// never set against a whole process. A run that cannot start, is killed, or
// ends with a status other than 0 stops the rounds with its standard error.
//
// Printed for each figure: both sides' median and range, and the median and
// range of the per-round ratio A / B.
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

// Runs the command to its end; its standard input is empty. False, with what
// went wrong and the end of its standard error, when it did not succeed.
inline bool RunCommand(const std::vector<std::string>& args, TRun& run, std::string& error)
{
    run = TRun{};
    int out[2];
    if (args.empty() || ::pipe2(out, O_CLOEXEC) != 0) {
        error = "cannot start " + CommandText(args);
        return false;
    }
    const int errors = ::memfd_create("stderr", MFD_CLOEXEC);
    const auto begin = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        ::dup2(out[1], 1);
        if (errors >= 0)
            ::dup2(errors, 2);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    pid_t waited;
    do
        waited = pid > 0 ? ::wait4(pid, &status, 0, &usage) : -1;
    while (waited < 0 && errno == EINTR);
    run.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    run.PeakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;

    std::string errorText;
    if (errors >= 0) {
        ::lseek(errors, 0, SEEK_SET);
        ssize_t n;
        while ((n = ::read(errors, buffer, sizeof buffer)) > 0)
            errorText.append(buffer, static_cast<std::size_t>(n));
        ::close(errors);
    }
    if (waited < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = CommandText(args) + ": ";
        if (waited < 0)
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
};

struct TPairResult {
    std::vector<TRun> A, B;  // the counted rounds

    // The figure's values over the rounds; wall_s and peak_MB are always there.
    std::vector<double> Values(const std::vector<TRun>& runs, const std::string& name) const
    {
        std::vector<double> values;
        for (const TRun& run : runs) {
            if (name == "wall_s")
                values.push_back(run.WallSeconds);
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
        std::vector<std::string> names = {"wall_s", "peak_MB"};
        if (A.empty())
            return names;
        for (const auto& [name, value] : A.front().Printed)
            if (std::find(names.begin(), names.end(), name) == names.end() && !Ratios(name).empty())
                names.push_back(name);
        return names;
    }
};

// Runs the rounds; false, with the error, when a run failed.
inline bool RunPair(const TSide& a, const TSide& b, const TRoundsOptions& options, TPairResult& result,
                    std::string& error)
{
    result = TPairResult{};
    const int rounds = std::max(1, options.Rounds);
    for (int round = -std::max(0, options.Warmup); round < rounds; ++round) {
        TRun runA, runB;
        for (auto [side, run] : {std::pair{&a, &runA}, std::pair{&b, &runB}}) {
            if (options.Setup)
                options.Setup();
            if (!RunCommand(side->Args, *run, error))
                return false;
        }
        if (options.Verbose) {
            std::printf("%s %d: %s %.3f s, %s %.3f s", round < 0 ? "warm-up" : "round", round < 0 ? -round : round + 1,
                        a.Name.c_str(), runA.WallSeconds, b.Name.c_str(), runB.WallSeconds);
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
    return true;
}

inline void PrintPair(const TSide& a, const TSide& b, const TPairResult& result)
{
    std::printf("\nA = %s: %s\nB = %s: %s\n", a.Name.c_str(), CommandText(a.Args).c_str(), b.Name.c_str(),
                CommandText(b.Args).c_str());
    std::printf("%zu rounds, interleaved A B A B; wall_s and peak_MB are whole processes, the other figures\n"
                "are timed by each side over the same region\n",
                result.A.size());
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
