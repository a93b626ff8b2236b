#include "support/HttpTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace {

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string Lower(std::string s)
{
    for (auto& ch : s)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

std::string TrimBlanks(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// Where the request head ends (after its empty line), or npos while incomplete.
std::size_t HeadEnd(const std::string& in)
{
    const auto crlf = in.find("\r\n\r\n");
    const auto lf = in.find("\n\n");
    std::size_t end = std::string::npos;
    if (crlf != std::string::npos)
        end = crlf + 4;
    if (lf != std::string::npos && (end == std::string::npos || lf + 2 < end))
        end = lf + 2;
    return end;
}

HttpTestRequest ParseRequest(const std::string& raw, std::size_t headEnd, int connection)
{
    HttpTestRequest r;
    r.connection = connection;
    r.raw = raw;
    r.head = raw.substr(0, headEnd);
    r.body = raw.substr(headEnd);
    std::size_t at = 0;
    bool first = true;
    while (at < r.head.size()) {
        auto lf = r.head.find('\n', at);
        if (lf == std::string::npos)
            lf = r.head.size();
        std::string line = r.head.substr(at, lf - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        at = lf + 1;
        if (line.empty())
            break;
        if (first) {
            r.requestLine = line;
            const auto sp1 = line.find(' ');
            r.method = line.substr(0, sp1);
            if (sp1 != std::string::npos) {
                const auto sp2 = line.find(' ', sp1 + 1);
                r.target = line.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
            }
            first = false;
        } else {
            r.headers.push_back(line);
        }
    }
    return r;
}

}  // namespace

// --- replies -----------------------------------------------------------------

HttpTestReply HttpTestReply::Ok(std::string body, std::string contentType)
{
    HttpTestReply r;
    if (!contentType.empty())
        r.headers.push_back("Content-Type: " + contentType);
    r.body = std::move(body);
    return r;
}

HttpTestReply HttpTestReply::Status(std::string statusLine, std::string body)
{
    HttpTestReply r;
    r.statusLine = std::move(statusLine);
    r.body = std::move(body);
    return r;
}

HttpTestReply HttpTestReply::Redirect(std::string location, std::string statusLine)
{
    HttpTestReply r;
    r.statusLine = std::move(statusLine);
    r.headers.push_back("Location: " + location);
    r.body = "<html>moved</html>";
    return r;
}

HttpTestReply HttpTestReply::Raw(std::string bytes)
{
    HttpTestReply r;
    r.raw = std::move(bytes);
    return r;
}

HttpTestReply HttpTestReply::Held()
{
    HttpTestReply r;
    r.ending = Ending::Hold;
    r.holdBeforeReply = true;
    return r;
}

std::string HttpTestRequest::Header(const std::string& name) const
{
    const std::string wanted = Lower(name);
    for (const auto& line : headers) {
        const auto colon = line.find(':');
        if (colon != std::string::npos && Lower(line.substr(0, colon)) == wanted)
            return TrimBlanks(line.substr(colon + 1));
    }
    return {};
}

bool HttpTestRequest::HasHeader(const std::string& name) const
{
    const std::string wanted = Lower(name);
    for (const auto& line : headers) {
        const auto colon = line.find(':');
        if (colon != std::string::npos && Lower(line.substr(0, colon)) == wanted)
            return true;
    }
    return false;
}

// --- connections ---------------------------------------------------------------

struct HttpTestServer::Connection {
    enum class Phase { Reading, Writing, Draining, Holding };

    int fd = -1;
    int id = 0;
    Phase phase = Phase::Reading;
    std::string in;
    HttpTestReply reply;
    std::string out;
    std::size_t headerEnd = 0;  // bytes of out that make the status line and header
    std::size_t sent = 0;
    std::size_t pauseAt = std::string::npos;
    std::size_t stopAt = 0;     // where the ending takes over
    long long wakeAt = 0;       // no writing before this
    long long drainUntil = 0;
    std::size_t bodyStart = 0;  // where the body starts in out
    std::size_t pieceEnd = std::string::npos;  // where the piece being sent ends
    bool awaitingRelease = false;
    bool inFlight = true;
    bool closed = false;
};

HttpTestServer::HttpTestServer()
{
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (FListen < 0)
        throw std::runtime_error("HttpTestServer: socket failed");
    const int on = 1;
    ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(FListen, 4096) != 0) {
        ::close(FListen);
        throw std::runtime_error("HttpTestServer: bind or listen failed");
    }
    socklen_t len = sizeof addr;
    ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
    FPort = ntohs(addr.sin_port);
    if (::pipe2(FWake, O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(FListen);
        throw std::runtime_error("HttpTestServer: pipe failed");
    }
    FThread = std::thread([this] { Run(); });
}

HttpTestServer::~HttpTestServer()
{
    FStop.store(true);
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(FWake[1], &byte, 1);
    if (FThread.joinable())
        FThread.join();
    for (auto* c : FConnections) {
        if (!c->closed)
            ::close(c->fd);
        delete c;
    }
    ::close(FListen);
    ::close(FWake[0]);
    ::close(FWake[1]);
}

std::string HttpTestServer::HostPort() const
{
    return "127.0.0.1:" + std::to_string(FPort);
}

std::string HttpTestServer::Url(const std::string& path) const
{
    return "http://" + HostPort() + path;
}

void HttpTestServer::Script(const std::string& path, HttpTestReply reply)
{
    std::lock_guard<std::mutex> lock(FLock);
    FScripts[path] = std::move(reply);
}

void HttpTestServer::SetDefault(HttpTestReply reply)
{
    std::lock_guard<std::mutex> lock(FLock);
    FDefault = std::move(reply);
}

std::vector<HttpTestRequest> HttpTestServer::Requests() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FRequests;
}

HttpTestRequest HttpTestServer::Request(std::size_t index) const
{
    std::lock_guard<std::mutex> lock(FLock);
    return index < FRequests.size() ? FRequests[index] : HttpTestRequest{};
}

std::size_t HttpTestServer::RequestCount() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FRequestCount;
}

void HttpTestServer::ClearRequests()
{
    std::lock_guard<std::mutex> lock(FLock);
    FRequests.clear();
    FRequestCount = 0;
}

void HttpTestServer::SetRecording(bool on)
{
    std::lock_guard<std::mutex> lock(FLock);
    FRecording = on;
}

HttpTestReply HttpTestServer::Lookup(const std::string& target) const
{
    std::vector<std::string> keys{target, target.substr(0, target.find('?'))};
    const auto scheme = target.find("://");
    if (scheme != std::string::npos) {
        const auto slash = target.find('/', scheme + 3);
        const std::string path = slash == std::string::npos ? "/" : target.substr(slash);
        keys.push_back(path);
        keys.push_back(path.substr(0, path.find('?')));
    }
    std::lock_guard<std::mutex> lock(FLock);
    for (const auto& key : keys) {
        const auto found = FScripts.find(key);
        if (found != FScripts.end())
            return found->second;
    }
    return FDefault;
}

// --- the server thread ---------------------------------------------------------

void HttpTestServer::Run()
{
    std::vector<pollfd> fds;
    while (!FStop.load()) {
        const long long now = NowMs();
        long long timeout = 200;
        fds.clear();
        fds.push_back({FWake[0], POLLIN, 0});
        fds.push_back({FListen, POLLIN, 0});
        for (auto* c : FConnections) {
            short events = 0;
            if (c->phase == Connection::Phase::Reading || c->phase == Connection::Phase::Holding)
                events = POLLIN;
            else if (c->phase == Connection::Phase::Writing) {
                // Only this thread takes credits, so one seen is one to take.
                if (c->awaitingRelease && FReleaseCredits.load() > 0) {
                    --FReleaseCredits;
                    c->awaitingRelease = false;
                }
                // A connection awaiting a release is woken by Release.
                if (!c->awaitingRelease) {
                    if (c->wakeAt <= now)
                        events = POLLOUT;
                    else
                        timeout = std::min(timeout, c->wakeAt - now);
                }
            } else if (c->phase == Connection::Phase::Draining)
                timeout = std::min<long long>(timeout, 2);
            fds.push_back({c->fd, events, 0});
        }
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(timeout, 0)));
        if (FStop.load())
            break;
        if (fds[0].revents) {
            char scratch[64];
            while (::read(FWake[0], scratch, sizeof scratch) > 0) {
            }
        }
        if (fds[1].revents & POLLIN)
            Accept();

        const long long later = NowMs();
        // Connections accepted in this round come after the ones polled.
        const std::size_t polled = fds.size() - 2;
        for (std::size_t i = 0; i < polled && i < FConnections.size(); ++i) {
            Connection& c = *FConnections[i];
            const short revents = fds[i + 2].revents;
            if (c.closed)
                continue;
            if (c.phase == Connection::Phase::Reading || c.phase == Connection::Phase::Holding) {
                if (revents & (POLLIN | POLLHUP | POLLERR))
                    OnReadable(c);
            } else if (c.phase == Connection::Phase::Writing) {
                if (!c.awaitingRelease && c.wakeAt <= later && (revents & (POLLOUT | POLLHUP | POLLERR)))
                    OnWritable(c, later);
            } else if (c.phase == Connection::Phase::Draining) {
                int queued = 0;
                if (::ioctl(c.fd, SIOCOUTQ, &queued) != 0 || queued == 0 || later >= c.drainUntil)
                    CloseConnection(c, true);
            }
        }
        auto gone = std::remove_if(FConnections.begin(), FConnections.end(), [](Connection* c) {
            if (!c->closed)
                return false;
            delete c;
            return true;
        });
        FConnections.erase(gone, FConnections.end());
    }
}

void HttpTestServer::Accept()
{
    for (;;) {
        const int fd = ::accept4(FListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;  // EAGAIN, or a connection that went before we took it
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto* c = new Connection;
        c->fd = fd;
        c->id = ++FAccepted;
        const int open = ++FOpen;
        int peakOpen = FPeakOpen.load();
        while (open > peakOpen && !FPeakOpen.compare_exchange_weak(peakOpen, open)) {
        }
        const int now = ++FInFlight;
        int peak = FPeakInFlight.load();
        while (now > peak && !FPeakInFlight.compare_exchange_weak(peak, now)) {
        }
        FConnections.push_back(c);
    }
}

void HttpTestServer::OnReadable(Connection& c)
{
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            if (c.phase == Connection::Phase::Reading)
                c.in.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0 && errno == EINTR)
            continue;
        // The peer closed or reset: nothing more will come.
        CloseConnection(c, false);
        return;
    }
    if (c.phase != Connection::Phase::Reading)
        return;
    const std::size_t headEnd = HeadEnd(c.in);
    if (headEnd == std::string::npos) {
        if (c.in.size() > (1u << 20))
            CloseConnection(c, false);
        return;
    }
    HttpTestRequest request = ParseRequest(c.in.substr(0, headEnd), headEnd, c.id);
    std::size_t bodyLength = 0;
    const std::string declared = request.Header("Content-Length");
    if (!declared.empty())
        bodyLength = std::strtoull(declared.c_str(), nullptr, 10);
    if (c.in.size() < headEnd + bodyLength)
        return;
    request.receivedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
    request.raw = c.in.substr(0, headEnd + bodyLength);
    request.body = request.raw.substr(headEnd);
    const std::string target = request.target;
    {
        std::lock_guard<std::mutex> lock(FLock);
        ++FRequestCount;
        if (FRecording)
            FRequests.push_back(std::move(request));
    }
    StartReply(c, target, NowMs());
}

void HttpTestServer::StartReply(Connection& c, const std::string& target, long long nowMs)
{
    c.in.clear();
    c.reply = Lookup(target);
    const HttpTestReply& r = c.reply;
    if (r.ending == HttpTestReply::Ending::CloseNoReply || r.ending == HttpTestReply::Ending::ResetNoReply) {
        CloseConnection(c, r.ending == HttpTestReply::Ending::ResetNoReply);
        return;
    }
    if (r.ending == HttpTestReply::Ending::Hold && r.holdBeforeReply) {
        c.phase = Connection::Phase::Holding;
        return;
    }
    if (!r.raw.empty()) {
        c.out = r.raw;
        c.headerEnd = 0;
    } else if (r.headerless) {
        c.out = r.body;
        c.headerEnd = 0;
    } else {
        c.out = r.statusLine + "\r\n";
        for (const auto& h : r.headers)
            c.out += h + "\r\n";
        if (r.contentLength)
            c.out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
        if (r.longHeaderLine > 0)
            c.out += "X-Long: " + std::string(r.longHeaderLine > 8 ? r.longHeaderLine - 8 : 0, 'x') + "\r\n";
        c.out += "\r\n";
        c.headerEnd = c.out.size();
        c.out += r.body;
    }
    const std::size_t bodyStart = r.raw.empty() ? c.headerEnd : 0;
    c.bodyStart = bodyStart;
    c.pieceEnd = r.pieceSize > 0 ? bodyStart + r.pieceSize : std::string::npos;
    c.awaitingRelease = r.replyOnRelease;
    c.pauseAt = r.pauseAfter == std::string::npos ? std::string::npos : bodyStart + r.pauseAfter;
    c.stopAt = r.cutAfter == std::string::npos ? c.out.size() : std::min(c.out.size(), bodyStart + r.cutAfter);
    c.sent = 0;
    c.wakeAt = nowMs + r.headerDelayMs;
    c.phase = Connection::Phase::Writing;
    if (c.headerEnd == 0 && r.headerDelayMs == 0 && !r.replyOnRelease)
        EndInFlight(c);
}

void HttpTestServer::OnWritable(Connection& c, long long nowMs)
{
    for (;;) {
        const bool pausePending = c.pauseAt != std::string::npos && c.pauseAt < c.stopAt;
        if (pausePending && c.sent >= c.pauseAt) {
            c.pauseAt = std::string::npos;
            c.wakeAt = nowMs + c.reply.pauseMs;
            return;
        }
        if (c.pieceEnd != std::string::npos && c.sent >= c.pieceEnd && c.sent < c.stopAt) {
            // One piece is out: the next goes after its pause or its release.
            c.pieceEnd += c.reply.pieceSize;
            if (c.reply.piecesOnRelease) {
                if (FReleaseCredits.load() > 0)
                    --FReleaseCredits;
                else {
                    c.awaitingRelease = true;
                    return;
                }
            }
            if (c.reply.pieceMs > 0) {
                c.wakeAt = nowMs + c.reply.pieceMs;
                return;
            }
        }
        std::size_t limit = pausePending ? c.pauseAt : c.stopAt;
        if (c.pieceEnd != std::string::npos)
            limit = std::min(limit, c.pieceEnd);
        if (c.sent >= limit)
            break;
        const ssize_t n = ::send(c.fd, c.out.data() + c.sent, limit - c.sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            if (errno == EINTR)
                continue;
            CloseConnection(c, false);
            return;
        }
        c.sent += static_cast<std::size_t>(n);
        if (c.sent >= c.headerEnd)
            EndInFlight(c);
    }
    EndInFlight(c);
    switch (c.reply.ending) {
    case HttpTestReply::Ending::Reset:
        // Let what was written reach the peer before the reset throws it away.
        c.phase = Connection::Phase::Draining;
        c.drainUntil = nowMs + 2000;
        break;
    case HttpTestReply::Ending::Hold:
        c.phase = Connection::Phase::Holding;
        break;
    default:
        CloseConnection(c, false);
        break;
    }
}

void HttpTestServer::Release(int count)
{
    FReleaseCredits += count;
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(FWake[1], &byte, 1);
}

void HttpTestServer::EndInFlight(Connection& c)
{
    if (c.inFlight) {
        c.inFlight = false;
        --FInFlight;
    }
}

void HttpTestServer::CloseConnection(Connection& c, bool reset)
{
    if (c.closed)
        return;
    if (reset) {
        const linger hard{1, 0};
        ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    } else {
        // Bytes left unread would turn the orderly close into a reset.
        char scratch[4096];
        while (::recv(c.fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
        }
    }
    ::close(c.fd);
    c.closed = true;
    EndInFlight(c);
    --FOpen;
}
