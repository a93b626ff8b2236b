// Real SOCKS servers for the transport tests, started on 127.0.0.1 with a
// configuration written into a temporary folder of their own, and killed
// (with everything they forked) when the object goes. The port is picked
// free; a server that cannot start says why in Error().
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/TempDir.h"

class SocksServerProcess {
public:
    // microsocks, SOCKS 5; with a user name, only that user and password get in.
    static std::unique_ptr<SocksServerProcess> Microsocks(const std::string& user = "", const std::string& password = "");
    // dante's danted, SOCKS 4 and 5 without authentication, to 127.0.0.0/8 only.
    static std::unique_ptr<SocksServerProcess> Dante();

    ~SocksServerProcess();
    SocksServerProcess(const SocksServerProcess&) = delete;
    SocksServerProcess& operator=(const SocksServerProcess&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    // Empty when the server is up and accepting.
    const std::string& Error() const { return error_; }

private:
    SocksServerProcess() = default;
    // Starts the program (args[0] is its name, found on the path) and waits
    // until it accepts connections on port_.
    bool Launch(const std::vector<std::string>& args);
    void Stop();

    TempDir folder_{"tenvarel-socks"};
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
    std::string error_;
};
