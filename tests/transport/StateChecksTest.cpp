// Every state change of the socket, the SOCKS handshake and the HTTP client
// goes through one setter that checks the step: an invalid step is caught,
// and a valid path through the states is not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Assertions.h"
#include "transport/HttpProt.h"
#include "transport/WSocket.h"

namespace {

struct TStateSocket : TCustomWSocket {
    TStateSocket() : TCustomWSocket(nullptr) {}
    using TCustomWSocket::ChangeState;
};

struct TStepSocket : TCustomSocksWSocket {
    TStepSocket() : TCustomSocksWSocket(nullptr) {}
    using TCustomSocksWSocket::SetSocksStep;
    using TCustomSocksWSocket::TSocksStep;
};

struct TStateClient : THttpCli {
    TStateClient() : THttpCli(nullptr) {}
    using TCustomHttpCli::SetState;
};

// Walks the valid steps, then takes the last one, and reports the checks
// that failed on the way.
template <class Machine, class State, class Setter>
std::vector<std::string> Walk(const std::vector<State>& path, Setter set)
{
    Machine machine;
    TCaughtChecks caught;
    for (State state : path)
        (machine.*set)(state);
    return caught.Checks;
}

TEST(StateChecks, TheSocketCatchesAnInvalidStateChange)
{
    struct TCase {
        std::vector<TSocketState> path;  // the last step is the one under test
        bool valid;
    };
    const TCase cases[] = {
        {{wsOpened, wsBound, wsListening, wsConnected, wsClosed}, true},
        {{wsOpened, wsConnecting, wsConnected, wsClosed}, true},
        {{wsConnecting}, false},  // connecting needs an opened socket
        {{wsListening}, false},   // listening needs a bound one
        {{wsOpened, wsListening}, false},
        {{wsOpened, wsConnecting, wsConnected, wsBound}, false},
        {{wsAccepting}, false},  // no state leads there
    };
    for (const TCase& c : cases) {
        const std::vector<std::string> failed = Walk<TStateSocket>(c.path, &TStateSocket::ChangeState);
        EXPECT_EQ(failed.size(), c.valid ? 0u : 1u) << "path ending in state " << c.path.back();
    }
}

TEST(StateChecks, TheSocksHandshakeCatchesAStepOutOfOrder)
{
    using Step = TStepSocket::TSocksStep;
    struct TCase {
        std::vector<Step> path;
        bool valid;
    };
    const TCase cases[] = {
        {{Step::ConnectingServer, Step::Authenticating, Step::RequestSent, Step::None}, true},
        {{Step::ConnectingServer, Step::RequestSent, Step::None}, true},
        {{Step::Authenticating}, false},  // authenticating before the server is reached
        {{Step::RequestSent}, false},
        {{Step::ConnectingServer, Step::ConnectingServer}, false},
        {{Step::ConnectingServer, Step::RequestSent, Step::Authenticating}, false},
    };
    for (const TCase& c : cases) {
        const std::vector<std::string> failed = Walk<TStepSocket>(c.path, &TStepSocket::SetSocksStep);
        EXPECT_EQ(failed.size(), c.valid ? 0u : 1u) << "path of " << c.path.size() << " steps";
    }
}

TEST(StateChecks, TheHttpClientCatchesAnInvalidStateChange)
{
    struct TCase {
        std::vector<THttpState> path;
        bool valid;
    };
    const TCase cases[] = {
        {{httpNotConnected, httpDnsLookup, httpDnsLookupDone, httpConnected, httpWaitingHeader, httpWaitingBody,
          httpReady},
         true},
        // A relocation looks the next host up; an abort may come at any step of a request.
        {{httpNotConnected, httpDnsLookup, httpDnsLookupDone, httpConnected, httpWaitingHeader, httpDnsLookup,
          httpAborting, httpReady},
         true},
        {{httpWaitingBody}, false},  // a body before any request
        {{httpConnected}, false},
        {{httpAborting}, false},  // nothing to abort
        {{httpReady}, false},     // a change to the state it is in
        {{httpNotConnected, httpWaitingHeader}, false},
    };
    for (const TCase& c : cases) {
        const std::vector<std::string> failed = Walk<TStateClient>(c.path, &TStateClient::SetState);
        EXPECT_EQ(failed.size(), c.valid ? 0u : 1u) << "path ending in state " << c.path.back();
    }
}

TEST(StateChecks, ARefusedStepIsReportedWithTheMachineAndBothStates)
{
    {
        TStateSocket socket;
        TCaughtChecks caught;
        socket.ChangeState(wsListening);
        EXPECT_EQ(caught.Checks, std::vector<std::string>{"socket: no step from wsClosed to wsListening"});
    }
    {
        TStepSocket socket;
        TCaughtChecks caught;
        socket.SetSocksStep(TStepSocket::TSocksStep::Authenticating);
        EXPECT_EQ(caught.Checks, std::vector<std::string>{"SOCKS handshake: no step from None to Authenticating"});
    }
    {
        TStateClient client;
        TCaughtChecks caught;
        client.SetState(httpAborting);
        EXPECT_EQ(caught.Checks, std::vector<std::string>{"HTTP client: no step from httpReady to httpAborting"});
    }
}

}  // namespace
