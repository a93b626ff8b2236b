// A real HTTP proxy for the tests: tinyproxy in the foreground on
// 127.0.0.1, on a free port, with basic authentication and a configuration
// and log of its own in a temporary folder. Stopped and reaped at the end.
#pragma once

#include <string>
#include <sys/types.h>

// A port on 127.0.0.1 that nothing listens on right now.
int FreeLoopbackPort();
// Whether something accepts connections on 127.0.0.1:port.
bool AcceptsOnLoopback(int port);

class TinyProxy {
public:
    // extraConfig: more configuration lines, each ended by "\n".
    TinyProxy(const std::string& user, const std::string& password, const std::string& extraConfig = "");
    ~TinyProxy();
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    bool Running() const { return FRunning; }
    int Port() const { return FPort; }
    // Switches the proxy on in a settings file's [Proxy] section: this one,
    // with its user and password.
    void UseIn(const std::string& settingsFile) const;

private:
    std::string FUser;
    std::string FPassword;
    std::string FDir;
    int FPort = 0;
    pid_t FPid = -1;
    bool FRunning = false;
};
