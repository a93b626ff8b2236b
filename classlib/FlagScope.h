// TFlagScope: raises a "busy with this" flag for the length of a scope.
#pragma once

// Holds a flag raised for the length of a call, and lowers it however the call
// ends, so an exception from a handler never leaves its owner believing it is
// still inside the call.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};
