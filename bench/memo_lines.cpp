// A memo's lines, as the custom engine wizard fills its hidden option memo
// from a category list of 5,000 and 20,000 options: all at once, one line at
// a time, and reading every line back by Count and the line's index. Each
// figure is timed over the operation alone, in rounds, on a memo placed on
// a shown form; printed as median and range (targets: at once and reading
// back under 0.1 s; one at a time grows with the count, not its square).
//
//   bench_memo_lines [rounds [count...]]    (default 7 rounds of 5000 and 20000)
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Rounds.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"

namespace {

template <class F>
double Seconds(F&& f)
{
    const auto begin = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

void PrintFigure(const char* what, int count, const std::vector<double>& seconds)
{
    const bench::TStat s = bench::Stats(seconds);
    std::printf("%-22s %6d lines: median %8.4f s [%.4f .. %.4f]\n", what, count, s.Median, s.Min, s.Max);
    std::fflush(stdout);
}

void Measure(TMemo& memo, int count, int rounds)
{
    std::vector<CodePageString> options;
    for (int i = 0; i < count; ++i)
        options.push_back("Category option " + std::to_string(i));
    TStrings& lines = *memo.Lines();
    std::vector<double> atOnce, oneByOne, readBack;
    for (int round = 0; round < rounds; ++round) {
        lines.Clear();
        atOnce.push_back(Seconds([&] { lines.AddStrings(options); }));
        lines.Clear();
        oneByOne.push_back(Seconds([&] {
            for (const CodePageString& option : options)
                lines.Add(option);
        }));
        std::size_t bytes = 0;
        readBack.push_back(Seconds([&] {
            for (int i = 0; i < lines.Count(); ++i)
                bytes += lines.Strings(i).size();
        }));
        if (lines.Count() != count || bytes == 0) {
            std::fprintf(stderr, "the memo holds %d of %d lines\n", lines.Count(), count);
            std::exit(1);
        }
    }
    PrintFigure("all at once", count, atOnce);
    PrintFigure("one line at a time", count, oneByOne);
    PrintFigure("Count and every line", count, readBack);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i)
        counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty())
        counts = {5000, 20000};
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    auto* memo = new TMemo(&form);
    memo->SetParent(&form);
    memo->SetBounds(4, 4, 280, 180);
    form.Show();
    for (const int count : counts)
        Measure(*memo, count, rounds);
    return 0;
}
