// Starting programs from the start-up tests: the installer, the installed
// program, the X server and the screen reader's probe.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct TRun {
    int status = -1;  // exit status; -1 when the watchdog had to kill it
    std::string output;  // standard output and error
};

// Runs a program (looked up in PATH) with extra environment entries
// ("NAME=value") in dir (empty: this one), and waits for it, killing it when
// it outlives the watchdog.
TRun RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& dir,
                int watchdogMs);

// The environment entries every started Tenvarel gets: under the
// sanitizers, the leak suppressions the test programs carry built in.
std::vector<std::string> ProgramEnvironment();

// Installs the build into prefix with `cmake --install`.
TRun InstallInto(const std::string& prefix);

// A headless X server on a display of its own, ended with the object.
class TXServer {
public:
    TXServer();
    ~TXServer();
    TXServer(const TXServer&) = delete;
    TXServer& operator=(const TXServer&) = delete;
    bool Running() const { return FPid > 0 && !FDisplay.empty(); }
    const std::string& Display() const { return FDisplay; }  // ":N"
    const std::string& Failure() const { return FFailure; }

private:
    pid_t FPid = -1;
    std::string FDisplay;
    std::string FFailure;
};
