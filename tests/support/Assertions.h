// The program's failed checks in the tests. Every test program installs a
// handler that fails the running test at the check; a TCaughtChecks catches
// them instead, for a test that shows an invalid step is caught.
#pragma once

#include <string>
#include <vector>

// Makes a failed check fail the running test (the test programs' main).
void FailTestsOnFailedChecks();

// For its lifetime, failed checks are recorded here instead.
class TCaughtChecks {
public:
    TCaughtChecks();
    ~TCaughtChecks();
    TCaughtChecks(const TCaughtChecks&) = delete;
    TCaughtChecks& operator=(const TCaughtChecks&) = delete;

    std::vector<std::string> Checks;  // the text of each failed check, in order
};
