#include "support/SocketWitness.h"

#include "platform/Messages.h"
#include "support/Loop.h"

namespace ws = winsock;

namespace {

constexpr UINT kWitnessMsg = WM_USER + 7;

ws::sockaddr_in Loopback(std::uint16_t port)
{
    ws::sockaddr_in a{};
    a.sin_family = ws::AF_INET;
    a.sin_port = ws::htons(port);
    a.sin_addr.s_addr = ws::htonl(ws::INADDR_LOOPBACK);
    return a;
}

}  // namespace

SocketWitness::SocketWitness()
{
    started_ = ws::WSAStartup(0x0101, &data_) == 0;
    wnd_ = AllocateHWnd([this](TMessage& m) {
        if (m.Msg != kWitnessMsg)
            return;
        const long event = ws::WSAGETSELECTEVENT(m.LParam);
        if (event == ws::FD_ACCEPT)
            accepted_ = true;
        else if (event == ws::FD_CONNECT)
            connected_ = ws::WSAGETSELECTERROR(m.LParam) == 0;
        else if (event == ws::FD_READ && static_cast<ws::SOCKET>(m.WParam) == client_)
            ++reads_;
    });
}

SocketWitness::~SocketWitness()
{
    for (ws::SOCKET s : {client_, server_, listener_})
        if (s != ws::INVALID_SOCKET)
            ws::closesocket(s);
    DeallocateHWnd(wnd_);
    if (started_)
        ws::WSACleanup();
}

bool SocketWitness::Connect(int timeoutMs)
{
    listener_ = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    ws::sockaddr_in a = Loopback(0);
    int len = sizeof a;
    if (listener_ == ws::INVALID_SOCKET || ws::bind(listener_, reinterpret_cast<ws::sockaddr*>(&a), sizeof a) != 0 ||
        ws::listen(listener_, 1) != 0 || ws::getsockname(listener_, reinterpret_cast<ws::sockaddr*>(&a), &len) != 0 ||
        ws::WSAAsyncSelect(listener_, wnd_, kWitnessMsg, ws::FD_ACCEPT) != 0)
        return false;
    client_ = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    if (client_ == ws::INVALID_SOCKET ||
        ws::WSAAsyncSelect(client_, wnd_, kWitnessMsg, ws::FD_CONNECT | ws::FD_READ) != 0)
        return false;
    const int rc = ws::connect(client_, reinterpret_cast<ws::sockaddr*>(&a), sizeof a);
    if (rc != 0 && ws::WSAGetLastError() != ws::WSAEWOULDBLOCK)
        return false;
    if (!RunUntil([this] { return accepted_ && connected_; }, timeoutMs))
        return false;
    server_ = ws::accept(listener_, nullptr, nullptr);
    return server_ != ws::INVALID_SOCKET;
}

bool SocketWitness::Await(int timeoutMs)
{
    if (!started_ || !wnd_)
        return false;
    if (server_ == ws::INVALID_SOCKET && !Connect(timeoutMs))
        return false;
    const int told = reads_;
    if (ws::send(server_, "w", 1, 0) != 1)
        return false;
    if (!RunUntil([&] { return reads_ > told; }, timeoutMs))
        return false;
    char byte;
    if (ws::recv(client_, &byte, 1, 0) != 1)  // rearms the next FD_READ
        return false;
    return RunUntilPostedMessagesDispatched(timeoutMs);
}
