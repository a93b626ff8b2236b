// Large INI files: the project list read and written as the project page
// does on every start and save, a ".zro" import of a file with many
// sections, and a section of many keys listed. Each should grow in
// proportion to the file; the reported complexity shows whether it does.
//   bench_ini_large --benchmark_filter=ProjectList
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "classlib/IniFiles.h"
#include "workbench/ProjectData.h"

namespace {

std::vector<CodePageString> Names(int count)
{
    std::vector<CodePageString> names;
    for (int i = 0; i < count; ++i)
        names.push_back("Project " + std::to_string(100000 + i));
    return names;
}

void ProjectListRead(benchmark::State& state)
{
    const std::string bytes = ProjectListBytes("", Names(static_cast<int>(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadProjectListBytes(bytes));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ProjectListRead)->RangeMultiplier(2)->Range(1000, 8000)->Unit(benchmark::kMillisecond)->Complexity();

void ProjectListWrite(benchmark::State& state)
{
    const std::vector<CodePageString> names = Names(static_cast<int>(state.range(0)));
    const std::string existing = ProjectListBytes("", names);
    for (auto _ : state)
        benchmark::DoNotOptimize(ProjectListBytes(existing, names));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ProjectListWrite)->RangeMultiplier(2)->Range(1000, 8000)->Unit(benchmark::kMillisecond)->Complexity();

void ZroImportManySections(benchmark::State& state)
{
    std::string bytes;
    for (int i = 0; i < state.range(0); ++i)
        bytes += "[Section " + std::to_string(i) + "]\r\nurl=http://www.example.com/\r\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(ImportZro(bytes));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ZroImportManySections)->RangeMultiplier(2)->Range(10000, 80000)->Unit(benchmark::kMillisecond)->Complexity();

void SectionOfManyKeys(benchmark::State& state)
{
    std::string bytes = "[k]\r\n";
    for (int i = 0; i < state.range(0); ++i)
        bytes += "key" + std::to_string(i) + "=v\r\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(IniSectionKeys(bytes, "k"));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(SectionOfManyKeys)->RangeMultiplier(2)->Range(10000, 80000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
