#include "support/PeerScript.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

// Longest time the peer waits for anything.
constexpr int kStepTimeoutMs = 10000;

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

PeerScript::PeerScript()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd_, 4) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        Fail(std::string("cannot listen: ") + std::strerror(errno));
        return;
    }
    port_ = ntohs(a.sin_port);
}

PeerScript::~PeerScript()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

PeerScript& PeerScript::Read(std::size_t count)
{
    steps_.push_back({Kind::Read, count, {}});
    return *this;
}

PeerScript& PeerScript::Skip(std::uint64_t count)
{
    steps_.push_back({Kind::Skip, count, {}});
    return *this;
}

PeerScript& PeerScript::Write(std::string bytes)
{
    steps_.push_back({Kind::Write, 0, std::move(bytes)});
    return *this;
}

PeerScript& PeerScript::WriteZeros(std::uint64_t count)
{
    steps_.push_back({Kind::WriteZeros, count, {}});
    return *this;
}

PeerScript& PeerScript::Close()
{
    steps_.push_back({Kind::Close, 0, {}});
    return *this;
}

PeerScript& PeerScript::Reset()
{
    steps_.push_back({Kind::Reset, 0, {}});
    return *this;
}

PeerScript& PeerScript::ReadUntilClosed()
{
    steps_.push_back({Kind::ReadUntilClosed, 0, {}});
    return *this;
}

void PeerScript::Start()
{
    thread_ = std::thread([this] { Run(); });
}

std::string PeerScript::Error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

std::string PeerScript::Received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::string PeerScript::PeerEnd() const
{
    std::lock_guard lock(mutex_);
    return peerEnd_;
}

void PeerScript::Fail(const std::string& error)
{
    std::lock_guard lock(mutex_);
    if (error_.empty())
        error_ = error;
}

// Waits in short slices so that the destructor can stop the thread.
bool PeerScript::WaitFor(int fd, short events)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStepTimeoutMs);
    while (!stop_) {
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, 20);
        if (rc > 0)
            return true;
        if (rc < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            Fail("peer timed out");
            return false;
        }
    }
    return false;
}

bool PeerScript::SendAll(int fd, std::uint64_t total,
                         const std::function<std::pair<const char*, std::size_t>(std::uint64_t sent)>& piece)
{
    std::uint64_t sent = 0;
    while (sent < total) {
        if (!WaitFor(fd, POLLOUT))
            return false;
        const auto [data, size] = piece(sent);
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            Fail("connection ended while writing");
            return false;
        }
        sent += static_cast<std::uint64_t>(n);
    }
    return true;
}

void PeerScript::Run()
{
    if (listenFd_ < 0 || !WaitFor(listenFd_, POLLIN)) {
        finished_ = true;
        return;
    }
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        Fail("accept failed");
        finished_ = true;
        return;
    }
    for (const Step& step : steps_) {
        bool ok = true;
        switch (step.kind) {
        case Kind::Read:
        case Kind::Skip: {
            std::uint64_t got = 0;
            char buf[65536];
            while (ok && got < step.count) {
                if (!WaitFor(fd, POLLIN)) {
                    ok = false;
                    break;
                }
                const std::uint64_t left = step.count - got;
                const ssize_t n = ::recv(fd, buf, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, left)), 0);
                if (n <= 0) {
                    Fail("connection ended while reading");
                    ok = false;
                    break;
                }
                got += static_cast<std::uint64_t>(n);
                if (step.kind == Kind::Read) {
                    std::lock_guard lock(mutex_);
                    received_.append(buf, static_cast<std::size_t>(n));
                }
            }
            break;
        }
        case Kind::Write:
            ok = SendAll(fd, step.bytes.size(), [&](std::uint64_t sent) {
                return std::pair(step.bytes.data() + sent, static_cast<std::size_t>(step.bytes.size() - sent));
            });
            break;
        case Kind::WriteZeros: {
            static const std::vector<char> zeros(1 << 20, '\0');
            ok = SendAll(fd, step.count, [&](std::uint64_t sent) {
                const std::uint64_t left = step.count - sent;
                return std::pair(zeros.data(), static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), left)));
            });
            break;
        }
        case Kind::Close:
            ::shutdown(fd, SHUT_WR);
            [[fallthrough]];
        case Kind::ReadUntilClosed: {
            char buf[4096];
            for (;;) {
                if (!WaitFor(fd, POLLIN)) {
                    ok = false;
                    break;
                }
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n > 0) {
                    std::lock_guard lock(mutex_);
                    received_.append(buf, static_cast<std::size_t>(n));
                    continue;
                }
                std::lock_guard lock(mutex_);
                peerEnd_ = n == 0 ? "close" : (errno == ECONNRESET ? "reset" : std::strerror(errno));
                break;
            }
            break;
        }
        case Kind::Reset: {
            linger l{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            ::close(fd);
            fd = -1;
            break;
        }
        }
        if (!ok)
            break;
        ++stepsDone_;
        if (fd < 0)
            break;
    }
    if (fd >= 0)
        ::close(fd);
    finished_ = true;
}

std::uint16_t PeerUnusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

PeerRefusedPort::PeerRefusedPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port_ = ntohs(a.sin_port);
}

PeerRefusedPort::~PeerRefusedPort()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool PeerPortAccepts(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}
