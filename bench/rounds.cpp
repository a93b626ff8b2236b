// Interleaved rounds of any two commands, each run as a whole process:
//
//   bench_rounds [-n ROUNDS] [-w WARMUP] [--names A,B] [--setup 'CMD'] 'COMMAND A' 'COMMAND B'
//
// ROUNDS (default 7, at least 5) rounds A B A B after WARMUP (default 1)
// rounds that are not counted; --setup runs before every run, outside its
// time. Commands are split into words as the shell would (quotes, $VARS),
// without running a shell; use `env NAME=value program` for an environment.
// Printed: each round, then for every figure (wall_s and peak_MB of the
// whole process, and every "figure <name> <value>" line both sides print)
// the median and range of each side and of the per-round ratio A / B.
// Exit status 1 when a run fails (it did not start, was killed, or ended
// with a status other than 0).
#include <wordexp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Rounds.h"

namespace {

bool SplitWords(const char* command, std::vector<std::string>& words)
{
    wordexp_t expanded{};
    if (::wordexp(command, &expanded, WRDE_NOCMD | WRDE_SHOWERR) != 0) {
        std::fprintf(stderr, "cannot read the command: %s\n", command);
        return false;
    }
    words.assign(expanded.we_wordv, expanded.we_wordv + expanded.we_wordc);
    ::wordfree(&expanded);
    return !words.empty();
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: bench_rounds [-n ROUNDS] [-w WARMUP] [--names A,B] [--setup 'CMD'] 'COMMAND A' 'COMMAND B'\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::TRoundsOptions options;
    std::string names = "A,B";
    std::vector<std::string> setup;
    std::vector<const char*> commands;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-n" && hasValue)
            options.Rounds = std::max(5, std::atoi(argv[++i]));
        else if (arg == "-w" && hasValue)
            options.Warmup = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--names" && hasValue)
            names = argv[++i];
        else if (arg == "--setup" && hasValue) {
            if (!SplitWords(argv[++i], setup))
                return Usage();
        } else if (!arg.empty() && arg[0] == '-')
            return Usage();
        else
            commands.push_back(argv[i]);
    }
    if (commands.size() != 2)
        return Usage();
    bench::TSide a, b;
    const auto comma = names.find(',');
    a.Name = names.substr(0, comma);
    b.Name = comma == std::string::npos ? "B" : names.substr(comma + 1);
    if (!SplitWords(commands[0], a.Args) || !SplitWords(commands[1], b.Args))
        return Usage();
    if (!setup.empty())
        options.Setup = [&] {
            bench::TRun run;
            std::string error;
            if (!bench::RunCommand(setup, run, error)) {
                std::fprintf(stderr, "setup failed: %s\n", error.c_str());
                std::exit(1);
            }
        };
    return bench::CompareSides(a, b, options);
}
