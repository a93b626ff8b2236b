// A loopback HTTP/1.0 server for tests and benchmarks. It plays engines,
// search engines, pages to import, HTTP proxies and the update server: it
// records every request byte for byte and answers each path from a script
// (status line, headers, body, delays, resets, closes without a reply, broken
// replies). It runs its own thread with poll, on 127.0.0.1 and a free port,
// serves hundreds of connections at once and stops in its destructor.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HttpTestReply {
    enum class Ending {
        Close,         // the whole reply, then an orderly close
        Reset,         // the reply (or its first cutAfter body bytes), then a reset (SO_LINGER 0)
        CloseNoReply,  // read the request, close without a byte
        ResetNoReply,  // read the request, reset without a byte
        Hold,          // the reply (or nothing, with holdBeforeReply), then keep the connection open
    };

    std::string statusLine = "HTTP/1.0 200 OK";
    std::vector<std::string> headers;  // "Name: value", in order, after the status line
    std::string body;
    bool contentLength = true;         // a "Content-Length:" of the whole body after the headers
    bool headerless = false;           // only the body: no status line, no header
    std::size_t longHeaderLine = 0;    // one more header line of this many bytes
    std::string raw;                   // when not empty: exactly these bytes are the reply

    int headerDelayMs = 0;             // before the first byte of the reply
    bool replyOnRelease = false;       // the first byte waits for Release()
    std::size_t pauseAfter = std::string::npos;  // body bytes sent before a pause...
    int pauseMs = 0;                             // ...of this long
    std::size_t cutAfter = std::string::npos;    // body bytes sent before the ending (short of Content-Length)
    Ending ending = Ending::Close;
    bool holdBeforeReply = false;      // with Ending::Hold: send nothing at all
    // The body in pieces of at most pieceSize bytes, each its own send: a page
    // that reaches the client in small reads.
    std::size_t pieceSize = 0;
    int pieceMs = 0;                   // between two pieces
    bool piecesOnRelease = false;      // each piece after the first waits for Release()

    // Convenience builders.
    static HttpTestReply Ok(std::string body, std::string contentType = "text/html");
    static HttpTestReply Status(std::string statusLine, std::string body = {});
    static HttpTestReply Redirect(std::string location, std::string statusLine = "HTTP/1.0 302 Found");
    static HttpTestReply Raw(std::string bytes);
    static HttpTestReply Held();  // reads the request, answers nothing and keeps the connection open
};

struct HttpTestRequest {
    int connection = 0;        // number of the connection it came on, from 1 in accept order
    std::string raw;           // every byte, head and body
    std::string head;          // request line and header lines, through the empty line
    std::string requestLine;   // without its line end
    std::string method;
    std::string target;        // as sent: a path or an absolute URL
    std::vector<std::string> headers;  // header lines without line ends, in order
    std::string body;
    long long receivedNs = 0;  // when the request was complete, on the steady clock

    // Value of the first header of that name (any case), blanks trimmed; empty when none.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int Port() const { return FPort; }
    std::string HostPort() const;                      // "127.0.0.1:port"
    std::string Url(const std::string& path = "/") const;  // "http://127.0.0.1:port" + path

    // The reply for a path. A request matches its target exactly, else its
    // target without the query, else (for an absolute URL, as proxies get it)
    // its path with and without the query; otherwise the default reply.
    void Script(const std::string& path, HttpTestReply reply);
    void SetDefault(HttpTestReply reply);

    // Requests recorded, in the order they were complete.
    std::vector<HttpTestRequest> Requests() const;
    HttpTestRequest Request(std::size_t index) const;  // an empty request when out of range
    std::size_t RequestCount() const;
    void ClearRequests();
    void SetRecording(bool on);  // off: requests are counted, not kept (benchmarks)

    int ConnectionCount() const { return FAccepted.load(); }  // accepted so far
    int OpenConnections() const { return FOpen.load(); }
    // Connections from accept until their reply's header went out (or they ended).
    int InFlight() const { return FInFlight.load(); }
    int PeakInFlight() const { return FPeakInFlight.load(); }
    void ResetPeak() { FPeakInFlight.store(FInFlight.load()); }
    // The most connections open at once, from accept to close.
    int PeakOpen() const { return FPeakOpen.load(); }
    // Lets count replies held by replyOnRelease, or pieces of piecesOnRelease
    // replies, go: those waiting first, then the next to wait.
    void Release(int count = 1);

private:
    struct Connection;
    void Run();
    void Accept();
    void OnReadable(Connection& c);
    void OnWritable(Connection& c, long long nowMs);
    void StartReply(Connection& c, const std::string& target, long long nowMs);
    void EndInFlight(Connection& c);
    void CloseConnection(Connection& c, bool reset);
    HttpTestReply Lookup(const std::string& target) const;

    int FListen = -1;
    int FWake[2] = {-1, -1};
    int FPort = 0;
    std::thread FThread;
    std::atomic<bool> FStop{false};

    mutable std::mutex FLock;
    std::map<std::string, HttpTestReply> FScripts;
    HttpTestReply FDefault;
    std::vector<HttpTestRequest> FRequests;
    std::size_t FRequestCount = 0;
    bool FRecording = true;

    std::atomic<int> FAccepted{0};
    std::atomic<int> FOpen{0};
    std::atomic<int> FInFlight{0};
    std::atomic<int> FPeakInFlight{0};
    std::atomic<int> FPeakOpen{0};
    std::atomic<int> FReleaseCredits{0};

    std::vector<Connection*> FConnections;  // the server thread's only
};
