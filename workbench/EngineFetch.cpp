#include "workbench/EngineFetch.h"

#include <iterator>

#include "platform/StateChecks.h"

namespace {

using S = TEngineFetchState;

constexpr const char* FetchStateNames[] = {"Idle", "Fetching", "Analysing"};
static_assert(std::size(FetchStateNames) == static_cast<int>(S::Analysing) + 1);

// A fetch that cannot start, fails, is stopped or is too large goes back to
// Idle from Fetching; a fetched page is analysed and then ends.
constexpr TStateStep<S> FetchSteps[] = {
    {S::Idle, S::Fetching},
    {S::Fetching, S::Idle},
    {S::Fetching, S::Analysing},
    {S::Analysing, S::Idle},
};

constexpr TStateTable<S> FetchStates{"custom engine fetch", FetchStateNames, FetchSteps};

}  // namespace

bool TEngineFetch::Step(TEngineFetchState to)
{
    return TENVAREL_STEP(FetchStates, FState, to);
}

const char* TEngineFetch::Name(TEngineFetchState state)
{
    return StateName(FetchStates, state);
}
