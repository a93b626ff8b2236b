// Sanitizer settings built into every test program and fuzz target, so that
// no environment variable is needed under ctest or scripts/fuzz.
extern "C" {

// The one leak that is not ours to mend: fontconfig keeps a few small blocks
// of its configuration for the life of the process. The library is built
// without frame pointers, so the recorded stack of such a block ends inside
// it, and the line matches only what fontconfig allocated itself. Nothing is
// suppressed for passing through the toolkit: a leak of ours is reported
// whoever called the code that made it. Programs the tests start get the
// same list (tests/workbench/StartProcess.cpp).
const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

}
