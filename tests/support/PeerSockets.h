// Peers built from TWSocket itself: a listener on 127.0.0.1 that hands every
// connection to a TWSocket of its own through Accept and Dup.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "transport/WSocket.h"

class PeerListener {
public:
    // Called with each new socket before it takes the connection, so that its
    // handlers see the first events.
    std::function<void(TWSocket&)> OnAccept;

    PeerListener()
    {
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.SetProto("tcp");
        listener.OnSessionAvailable = [this](TObject*, std::uint16_t) {
            auto socket = std::make_unique<TWSocket>();
            if (OnAccept)
                OnAccept(*socket);
            socket->Dup(listener.Accept());
            accepted.push_back(std::move(socket));
        };
        listener.Listen();
        port = listener.GetLocalPort();
    }

    TWSocket& Last() { return *accepted.back(); }

    TWSocket listener;
    std::vector<std::unique_ptr<TWSocket>> accepted;
    CodePageString port;
};

// Sets a client up for 127.0.0.1:port.
inline void PeerAim(TWSocket& client, const CodePageString& port, const CodePageString& addr = "127.0.0.1")
{
    client.SetProto("tcp");
    client.SetAddr(addr);
    client.SetPort(port);
}
