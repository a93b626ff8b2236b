// The custom engine wizard's fetch of a submit page: idle, fetching the page,
// or analysing the fetched page (the questions it asks included). Import is
// refused unless idle. The state changes only through Step, checked against
// the wizard's table of steps.
#pragma once

enum class TEngineFetchState { Idle, Fetching, Analysing };

class TEngineFetch {
public:
    TEngineFetchState State() const { return FState; }
    // Takes the step; a step the table does not list fails a check naming its
    // two ends. True when the state changed.
    bool Step(TEngineFetchState to);
    // The machine's printable name of a state.
    static const char* Name(TEngineFetchState state);

    // Stop was pressed for the fetch in flight.
    bool StopAsked = false;
    // The page grew beyond any submit page and was stopped.
    bool TooLarge = false;

private:
    TEngineFetchState FState = TEngineFetchState::Idle;
};
