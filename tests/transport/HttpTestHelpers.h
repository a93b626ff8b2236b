// Helpers of the HTTP client tests: an event log attached to a client, and a
// probe that reaches the engine's POST and HEAD for every build.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "transport/HttpProt.h"

// Records the client's events in order as short words:
//   connected rqbegin rqend sbegin send:N sent hbegin hdata hend dbegin
//   data:N dend relocate sN (state N, only with states on) done:E
struct HttpEventLog {
    std::vector<std::string> events;
    std::vector<std::string> blocks;  // the OnDocData blocks
    std::vector<int> sendBlocks;      // the OnSendData lengths
    std::string body;
    int done = 0;
    THttpRequest kind = httpGET;
    std::uint16_t error = 0;
    bool states = false;

    void Attach(TCustomHttpCli& cli)
    {
        cli.OnSessionConnected = [this](TObject*) { events.push_back("connected"); };
        cli.OnRequestHeaderBegin = [this](TObject*) { events.push_back("rqbegin"); };
        cli.OnRequestHeaderEnd = [this](TObject*) { events.push_back("rqend"); };
        cli.OnSendBegin = [this](TObject*) { events.push_back("sbegin"); };
        cli.OnSendData = [this](TObject*, const char*, int len) {
            events.push_back("send:" + std::to_string(len));
            sendBlocks.push_back(len);
        };
        cli.OnSendEnd = [this](TObject*) { events.push_back("sent"); };
        cli.OnHeaderBegin = [this](TObject*) { events.push_back("hbegin"); };
        cli.OnHeaderData = [this](TObject*) { events.push_back("hdata"); };
        cli.OnHeaderEnd = [this](TObject*) { events.push_back("hend"); };
        cli.OnDocBegin = [this](TObject*) { events.push_back("dbegin"); };
        cli.OnDocData = [this](TObject*, const char* data, int len) {
            events.push_back("data:" + std::to_string(len));
            blocks.emplace_back(data, static_cast<std::size_t>(len));
            body.append(data, static_cast<std::size_t>(len));
        };
        cli.OnDocEnd = [this](TObject*) { events.push_back("dend"); };
        cli.OnLocationChange = [this](TObject*) { events.push_back("relocate"); };
        cli.OnStateChange = [this, &cli](TObject*) {
            if (states)
                events.push_back("s" + std::to_string(static_cast<int>(cli.State())));
        };
        cli.OnRequestDone = [this](TObject*, THttpRequest rq, std::uint16_t err) {
            events.push_back("done:" + std::to_string(err));
            ++done;
            kind = rq;
            error = err;
        };
    }

    // The events joined by blanks, without the data lengths when `lengths` is off.
    std::string Joined(bool lengths = true) const
    {
        std::string all;
        for (const auto& e : events) {
            std::string word = e;
            if (!lengths) {
                const auto colon = word.find(':');
                if (colon != std::string::npos && word.compare(0, 4, "done") != 0)
                    word.erase(colon);
            }
            if (!all.empty())
                all += ' ';
            all += word;
        }
        return all;
    }
    explicit HttpEventLog(bool withStates = false) : states(withStates) {}
    explicit HttpEventLog(TCustomHttpCli& cli, bool withStates = false) : states(withStates) { Attach(cli); }
    bool WaitDone(int count = 1, int timeoutMs = 5000)
    {
        return RunUntil([&] { return done >= count; }, timeoutMs);
    }
};

// Starts a GET of `url` on a client with `log` attached and waits for its request-done.
template <class Client>
bool GetAndWait(Client& cli, HttpEventLog& log, const std::string& url, int timeoutMs = 5000)
{
    cli.URL = url;
    cli.GetAsync();
    return log.WaitDone(1, timeoutMs);
}

// Sends the client's requests through the HTTP proxy on 127.0.0.1:port.
inline void UseLoopbackProxy(TCustomHttpCli& cli, int port)
{
    cli.Proxy = "127.0.0.1";
    cli.ProxyPort = std::to_string(port);
}

// `call` must raise an EHttpException with this code and message.
template <class Call>
void ExpectHttpException(Call call, int code, const std::string& message)
{
    try {
        call();
        ADD_FAILURE() << "no EHttpException; expected " << code << " " << message;
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.ErrorCode, code);
        EXPECT_EQ(e.Message, message);
    }
}

// Every build of the engine, with its request operations in reach.
class THttpProbe : public TCustomHttpCli {
public:
    THttpProbe(const THttpBuild& build) : TCustomHttpCli(nullptr, build) {}
    using TCustomHttpCli::LocalAddr;
    using TCustomHttpCli::RequestAndWait;
    using TCustomHttpCli::StartRequest;
};
