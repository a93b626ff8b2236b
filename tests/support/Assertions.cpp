#include "support/Assertions.h"

#include <gtest/gtest.h>

#include "platform/Assertions.h"

namespace {

TCaughtChecks* gCatcher = nullptr;

void FailTest(const char* check, const char* file, int line)
{
    ADD_FAILURE_AT(file, line) << "check failed: " << check;
}

void Catch(const char* check, const char*, int)
{
    gCatcher->Checks.emplace_back(check);
}

}  // namespace

void FailTestsOnFailedChecks()
{
    SetAssertionHandler(FailTest);
}

TCaughtChecks::TCaughtChecks()
{
    gCatcher = this;
    SetAssertionHandler(Catch);
}

TCaughtChecks::~TCaughtChecks()
{
    FailTestsOnFailedChecks();
    gCatcher = nullptr;
}
