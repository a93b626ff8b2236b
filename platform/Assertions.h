// Checks of the program's own invariants, such as a state machine's
// transitions. They run in debug builds and in every build with the tests
// (TENVAREL_ASSERTIONS), and are compiled out of the program's release build.
//
// A failed check calls the assertion handler: by default it prints the check
// and aborts. The test programs replace it, so that a failed check fails the
// test that caused it and a test can show that an invalid step is caught.
#pragma once

#if defined(TENVAREL_ASSERTIONS) || !defined(NDEBUG)
#define TENVAREL_ASSERTIONS_ON 1
#else
#define TENVAREL_ASSERTIONS_ON 0
#endif

using TAssertionHandler = void (*)(const char* check, const char* file, int line);

// Installs a handler (nullptr: the default) and returns the one it replaces.
TAssertionHandler SetAssertionHandler(TAssertionHandler handler);
// Calls the handler; the program goes on when the handler returns.
void AssertionFailed(const char* check, const char* file, int line);

#if TENVAREL_ASSERTIONS_ON
#define TENVAREL_ASSERT(check) ((check) ? static_cast<void>(0) : AssertionFailed(#check, __FILE__, __LINE__))
#else
#define TENVAREL_ASSERT(check) static_cast<void>(0)
#endif
