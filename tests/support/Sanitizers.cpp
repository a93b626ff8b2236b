// Sanitizer settings built into every test program and fuzz target, so that
// no environment variable is needed under ctest or scripts/fuzz.
extern "C" {

// Allocations that the toolkit and the font machinery keep for the life of
// the process and report as leaks at exit.
const char* __lsan_default_suppressions()
{
    return "leak:libQt6Core\n"
           "leak:libQt6Gui\n"
           "leak:libQt6Widgets\n"
           "leak:libQt6DBus\n"
           "leak:libQt6XcbQpa\n"
           "leak:libfontconfig\n"
           "leak:libfreetype\n"
           "leak:libglib-2.0\n"
           "leak:libgobject-2.0\n"
           "leak:libdbus-1\n"
           "leak:libxcb\n"
           "leak:libX11\n";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

}
