// A scripted TCP peer on 127.0.0.1 for the transport tests. It runs on a
// thread of its own, accepts one connection (or connects to a port) and plays
// its steps in order: read an exact number of bytes, write bytes, close
// orderly or with a reset, or read until the other side closes. Every wait of
// the thread is bounded, so a test that goes wrong fails instead of hanging.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PeerScript {
public:
    // Listens on an ephemeral port of 127.0.0.1.
    PeerScript();
    ~PeerScript();
    PeerScript(const PeerScript&) = delete;
    PeerScript& operator=(const PeerScript&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }

    PeerScript& Read(std::size_t count);
    // Reads so many bytes and keeps none of them (transfers of gigabytes).
    PeerScript& Skip(std::uint64_t count);
    PeerScript& Write(std::string bytes);
    // Streams so many zero bytes without holding them (transfers of gigabytes).
    PeerScript& WriteZeros(std::uint64_t count);
    // Shuts down sending, then reads until the other side closes.
    PeerScript& Close();
    // Abortive close: the other side sees a reset.
    PeerScript& Reset();
    PeerScript& ReadUntilClosed();

    // Starts the thread: accepts one connection and plays the steps.
    void Start();

    bool Finished() const { return finished_; }
    // Empty while everything went as scripted.
    std::string Error() const;
    std::string Received() const;
    // How the other side ended the connection, once ReadUntilClosed saw it:
    // "close" for an orderly close, "reset" for a reset.
    std::string PeerEnd() const;
    // Steps completed so far.
    int StepsDone() const { return stepsDone_; }

private:
    enum class Kind { Read, Skip, Write, WriteZeros, Close, Reset, ReadUntilClosed };
    struct Step {
        Kind kind;
        std::uint64_t count = 0;
        std::string bytes;
    };
    void Run();
    void Fail(const std::string& error);
    bool WaitFor(int fd, short events);
    // Sends `total` bytes; piece(sent) gives where the next ones are and how
    // many of them may go at once.
    bool SendAll(int fd, std::uint64_t total,
                 const std::function<std::pair<const char*, std::size_t>(std::uint64_t sent)>& piece);

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<Step> steps_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> stepsDone_{0};
    mutable std::mutex mutex_;
    std::string error_;
    std::string received_;
    std::string peerEnd_;
};

// A port of 127.0.0.1 that nothing listens on (bound, then released), for a
// server that is to take it next. A test that wants a connection refused
// holds a PeerRefusedPort instead: a released port may be taken by a
// parallel test before the connection is made.
std::uint16_t PeerUnusedPort();

// A port of 127.0.0.1 that refuses every connection for the object's life:
// it stays bound without listening (and without SO_REUSEADDR), so no other
// socket can bind it meanwhile.
class PeerRefusedPort {
public:
    PeerRefusedPort();
    ~PeerRefusedPort();
    PeerRefusedPort(const PeerRefusedPort&) = delete;
    PeerRefusedPort& operator=(const PeerRefusedPort&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    // http://127.0.0.1:port + path.
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + PortText() + path; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};
// True when something accepts connections on 127.0.0.1:port.
bool PeerPortAccepts(std::uint16_t port);
