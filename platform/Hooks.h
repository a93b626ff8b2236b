// Replaceable entry points to the outside world. Each has a production
// default; tests swap one in to record and answer, and call ResetHooks after.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Message box flags and answers (the Windows values, which stored code relies on).
constexpr unsigned MB_OK = 0x0000;
constexpr unsigned MB_OKCANCEL = 0x0001;
constexpr unsigned MB_YESNOCANCEL = 0x0003;
constexpr unsigned MB_YESNO = 0x0004;
constexpr unsigned MB_ICONERROR = 0x0010;
constexpr unsigned MB_ICONQUESTION = 0x0020;
constexpr unsigned MB_ICONEXCLAMATION = 0x0030;
constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr unsigned MB_ICONINFORMATION = 0x0040;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;

struct MessageBoxCall {
    std::string text;
    std::string caption;
    unsigned flags = MB_OK;
};

struct ShellOpenCall {
    std::string verb;       // "open"
    std::string file;       // a path or a URL
    std::string params;
    std::string directory;
    int show = SW_SHOWNORMAL;
};

struct ProcessStartCall {
    std::string program;
    std::vector<std::string> args;
    std::string directory;  // empty: the current one
};

// Result of a name lookup: IPv4 addresses in network byte order, or a
// Winsock error number (11001 host not found, ...).
struct ResolveResult {
    int error = 0;
    std::string officialName;
    std::vector<std::uint32_t> addresses;
};

struct Hooks {
    // Modal message box; returns IDOK, IDYES, ...
    std::function<int(const MessageBoxCall&)> messageBox;
    // The application's standard error box for an exception's message.
    std::function<void(const std::string& message)> errorBox;
    // The shell's verb on a file or URL; true when it was started.
    std::function<bool(const ShellOpenCall&)> shellOpen;
    // Local time as a day count since 1899-12-30.
    std::function<double()> now;
    // Milliseconds since some fixed start, wrapping at 2^32.
    std::function<std::uint32_t()> tickCount;
    // Host name to addresses; runs on the resolver's worker thread.
    std::function<ResolveResult(const std::string& host)> resolveName;
    // Address (network byte order) to name; runs on the worker thread.
    std::function<ResolveResult(std::uint32_t address)> resolveAddress;
    // Starts a program detached; true when it started.
    std::function<bool(const ProcessStartCall&)> startProcess;
    // Bits per pixel of the screen; unset: the class library asks the
    // windowing system.
    std::function<int()> screenColorBits;
    // The clipboard's text: reading gives false when it holds no text.
    std::function<bool(std::string& text)> clipboardGetText;
    std::function<void(const std::string& text)> clipboardSetText;
    // The INI file that stands in for the registry.
    std::function<std::string()> registryFile;
};

// The hooks in force. Production defaults are installed at first use.
Hooks& GetHooks();
// Puts every production default back.
void ResetHooks();

// Convenience callers, used by the class library and the platform.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);
void ShowErrorBox(const std::string& message);
// The caption of the default error box: the application's title, which the
// class library passes on here; the program's name while it is empty.
void SetErrorBoxCaption(const std::string& caption);
std::uint32_t GetTickCount();
// The multimedia clock that steps animations: the tick count's clock, so that
// a test moves both with one hook.
std::uint32_t timeGetTime();

// A place where a test may have the process killed, to see what a crash at
// that step leaves on disk: when the environment variable TENVAREL_CRASH_AT
// is "name" or "name:N", the process ends there with SIGKILL, as a kill or
// a power cut ends it, on the first or the Nth pass. Nothing otherwise.
void CrashPoint(const char* name);
