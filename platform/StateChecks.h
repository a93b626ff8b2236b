// One checked setter for every state machine. A machine lists its states'
// printable names and its valid steps as data; every change of its state
// goes through TENVAREL_STEP, which reports a step the table does not list
// with the machine's name and the step's two ends.
//
// The rule for a step to the state the machine is in: it changes nothing and
// fires nothing. The check refuses it unless the table lists it; a listed
// self-step carries a comment saying why callers repeat it.
//
// A refused step is reported and then still taken, so that a build with the
// checks compiled out behaves as a build with them.
#pragma once

#include <cstddef>
#include <span>

#include "platform/Assertions.h"

// A step a machine may take, as a table row.
template <class S>
struct TStateStep {
    S From;
    S To;
};

// A machine's name, its states' printable names (indexed by the state's
// value) and its valid steps.
template <class S>
struct TStateTable {
    const char* Machine;
    std::span<const char* const> Names;
    std::span<const TStateStep<S>> Steps;
};

// The state's printable name; "?" for a value the table does not name.
template <class S>
const char* StateName(const TStateTable<S>& table, S state)
{
    const auto index = static_cast<std::size_t>(state);
    return index < table.Names.size() ? table.Names[index] : "?";
}

template <class S>
constexpr bool Listed(const TStateTable<S>& table, S from, S to)
{
    for (const TStateStep<S>& step : table.Steps)
        if (step.From == from && step.To == to)
            return true;
    return false;
}

// Reports "<machine>: no step from <from> to <to>" as a failed check at the
// caller's file and line.
void StepRefused(const char* machine, const char* from, const char* to, const char* file, int line);

// Takes the step. True when the state changed; only then does the caller
// fire its change event.
template <class S>
bool TakeStep([[maybe_unused]] const TStateTable<S>& table, S& state, S to,
              [[maybe_unused]] const char* file, [[maybe_unused]] int line)
{
#if TENVAREL_ASSERTIONS_ON
    if (!Listed(table, state, to))
        StepRefused(table.Machine, StateName(table, state), StateName(table, to), file, line);
#endif
    if (state == to)
        return false;
    state = to;
    return true;
}

#define TENVAREL_STEP(table, state, to) TakeStep((table), (state), (to), __FILE__, __LINE__)
