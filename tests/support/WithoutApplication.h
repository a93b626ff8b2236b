// Tests of what happens before an application exists and between two: the
// test program runs the test again in a child process that starts without an
// application (TestMain), where the test's body makes and ends its own.
#pragma once

#include <string>

// True in the child, where the body runs. In the test program itself it runs
// the child with the current test alone, adds a failure with the child's
// output when that fails, and returns false.
bool RunningWithoutApplication();
