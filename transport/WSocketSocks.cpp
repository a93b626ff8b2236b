// The SOCKS client layer of the socket: SOCKS 4, 4A and 5, with the user
// name and password of SOCKS 5, between the connect and the caller.
#include "transport/WSocket.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/StateChecks.h"

namespace ws = winsock;

// ================================================================================
// TCustomSocksWSocket
// ================================================================================

namespace {

struct SocksReplyText {
    int code;
    int error;
    const char* text;
};

// SOCKS 5 reply codes 1 to 8.
constexpr SocksReplyText kSocks5Replies[] = {
    {1, socksGeneralFailure, "general SOCKS server failure"},
    {2, socksConnectionNotAllowed, "connection not allowed by ruleset"},
    {3, socksNetworkUnreachable, "network unreachable"},
    {4, socksHostUnreachable, "host unreachable"},
    {5, socksConnectionRefused, "connection refused"},
    {6, socksTtlExpired, "time to live expired"},
    {7, socksUnknownCommand, "command not supported"},
    {8, socksUnknownAddressType, "address type not supported"},
};

// SOCKS 4 reply codes other than 90 (granted).
constexpr SocksReplyText kSocks4Replies[] = {
    {91, socksRejectedOrFailed, "request rejected or failed"},
    {92, socksConnectionRefused, "connection refused"},
    {93, socksAuthenticationFailed, "authentification failed"},
};

constexpr std::size_t kSocksFieldMax = 255;  // SOCKS 5 carries lengths in one byte

CodePageString Ipv6Text(const unsigned char* b)
{
    static constexpr char kHex[] = "0123456789abcdef";
    CodePageString text;
    for (int i = 0; i < 16; i += 2) {
        if (i)
            text += ':';
        const unsigned value = (b[i] << 8) | b[i + 1];
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = (value >> shift) & 0xf;
            if (digit || started || shift == 0) {
                text += kHex[digit];
                started = true;
            }
        }
    }
    return text;
}

}  // namespace

TCustomSocksWSocket::TCustomSocksWSocket(TComponent* AOwner) : TCustomWSocket(AOwner) {}

void TCustomSocksWSocket::SetDefaults()
{
    TCustomWSocket::SetDefaults();
    FSocksServer.clear();
    FSocksPort.clear();
    FSocksLevel = "5";
    FSocksStep = TSocksStep::None;
    FRcvCnt = 0;
    FLeftover = 0;
    FLeftoverPos = 0;
}

void TCustomSocksWSocket::SetSocksStep(TSocksStep Step)
{
    static constexpr const char* names[] = {"None", "ConnectingServer", "Authenticating", "RequestSent"};
    static_assert(std::size(names) == static_cast<std::size_t>(TSocksStep::RequestSent) + 1);
    // The steps of a handshake go forward only; None ends one at any step.
    static constexpr TStateStep<TSocksStep> steps[] = {
        // A close or a reset ends the handshake whether one runs or not.
        {TSocksStep::None, TSocksStep::None},
        {TSocksStep::ConnectingServer, TSocksStep::None},
        {TSocksStep::Authenticating, TSocksStep::None},
        {TSocksStep::RequestSent, TSocksStep::None},
        {TSocksStep::None, TSocksStep::ConnectingServer},
        {TSocksStep::ConnectingServer, TSocksStep::Authenticating},
        {TSocksStep::ConnectingServer, TSocksStep::RequestSent},
        {TSocksStep::Authenticating, TSocksStep::RequestSent},
    };
    static constexpr TStateTable<TSocksStep> table{"SOCKS handshake", names, steps};
    TENVAREL_STEP(table, FSocksStep, Step);
}

void TCustomSocksWSocket::SetSocksLevel(const CodePageString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Can't change socks level if not closed");
        return;
    }
    if (Value != "4" && Value != "4A" && Value != "4a" && Value != "5") {
        RaiseSocketException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    FSocksLevel = UpperCase(Value);
}

void TCustomSocksWSocket::SetSocksServer(const CodePageString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Can't change socks server if not closed");
        return;
    }
    FSocksServer = Trim(Value);
}

void TCustomSocksWSocket::SetSocksPort(const CodePageString& Value)
{
    if (FState != wsClosed) {
        RaiseSocketException("Can't change socks port if not closed");
        return;
    }
    FSocksPort = Trim(Value);
}

void TCustomSocksWSocket::Listen()
{
    if (!FSocksServer.empty()) {
        RaiseSocketException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::Connect()
{
    // The plain checks (socket in use, Port and Addr missing) come first.
    if (FSocksServer.empty() || (FHSocket != ws::INVALID_SOCKET && FState != wsClosed) || !FPortAssigned ||
        !FAddrAssigned || !FProtoAssigned) {
        TCustomWSocket::Connect();
        return;
    }
    if (LowerCase(FProtoStr) != "tcp") {
        RaiseSocketException("tcp is the only protocol supported thru socks server");
        return;
    }
    // SOCKS 5 sends these with a one-byte length: longer ones are refused
    // rather than sent with a wrong length.
    if (SocksLevelIs5()) {
        if (FAddrStr.size() > kSocksFieldMax) {
            RaiseSocketException("Socks host name too long (255 bytes at most)");
            return;
        }
        if (SocksAuthentication == socksAuthenticateUsercode && SocksUsercode.size() > kSocksFieldMax) {
            RaiseSocketException("Socks usercode too long (255 bytes at most)");
            return;
        }
        if (SocksAuthentication == socksAuthenticateUsercode && SocksPassword.size() > kSocksFieldMax) {
            RaiseSocketException("Socks password too long (255 bytes at most)");
            return;
        }
    }
    try {
        if (!FPortResolved) {
            Fsin.sin_port = WSocket_htons(WSocketResolvePort(FSocksPort, FProtoStr));
            FPortResolved = true;
        }
        if (!FAddrResolved) {
            Fsin.sin_addr.s_addr = WSocketResolveHost(FSocksServer);
            FAddrResolved = true;
        }
        FTargetPort = WSocket_htons(WSocketResolvePort(FPortStr, FProtoStr));
    } catch (const std::exception& E) {
        RaiseSocketException(CodePageString("connect: ") + E.what());
        return;
    }
    SetSocksStep(TSocksStep::ConnectingServer);
    FRcvCnt = 0;
    FLeftover = 0;
    FLeftoverPos = 0;
    TCustomWSocket::Connect();
}

void TCustomSocksWSocket::TriggerSocksConnected(std::uint16_t Error)
{
    FireEvent(OnSocksConnected, this, Error);
}

void TCustomSocksWSocket::TriggerSocksError(int Error, const CodePageString& Msg)
{
    FireEvent(OnSocksError, this, Error, Msg);
}

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState AuthState)
{
    FireEvent(OnSocksAuthState, this, AuthState);
}

void TCustomSocksWSocket::TriggerSessionConnected(std::uint16_t Error)
{
    if (FSocksStep != TSocksStep::ConnectingServer) {
        TCustomWSocket::TriggerSessionConnected(Error);
        return;
    }
    TriggerSocksConnected(Error);
    if (Error != 0) {
        SetSocksStep(TSocksStep::None);
        TCustomWSocket::TriggerSessionConnected(Error);
        return;
    }
    if (FState != wsConnected || FSocksStep != TSocksStep::ConnectingServer)
        return;  // the handler closed the socket
    if (SocksLevelIs5()) {
        FSocksRequestedMethod = SocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
        const char offer[3] = {5, 1, static_cast<char>(FSocksRequestedMethod)};
        Send(offer, sizeof offer);
    } else {
        SendSocks4Request();
    }
}

void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t Error)
{
    if (FSocksStep == TSocksStep::Authenticating)
        TriggerSocksAuthState(authFailed);
    TCustomWSocket::TriggerSessionClosed(Error);
}

void TCustomSocksWSocket::SendSocks5Request()
{
    CodePageString request;
    request += '\x05';  // version
    request += '\x01';  // CONNECT
    request += '\x00';
    request += '\x03';  // the destination as a name, never resolved here
    request += static_cast<char>(FAddrStr.size());
    request += FAddrStr;
    request.append(reinterpret_cast<const char*>(&FTargetPort), 2);
    SetSocksStep(TSocksStep::RequestSent);
    SendStr(request);
}

void TCustomSocksWSocket::SendSocks5Authenticate()
{
    SetSocksStep(TSocksStep::Authenticating);
    TriggerSocksAuthState(authStarted);
    if (FState != wsConnected || FSocksStep != TSocksStep::Authenticating)
        return;
    CodePageString request;
    request += '\x01';
    request += static_cast<char>(SocksUsercode.size());
    request += SocksUsercode;
    request += static_cast<char>(SocksPassword.size());
    request += SocksPassword;
    SendStr(request);
}

void TCustomSocksWSocket::SendSocks4Request()
{
    std::uint32_t address;
    if (FSocksLevel == "4A")
        address = ws::htonl(1);  // 0.0.0.1: the server resolves the name that follows
    else
        address = WSocketResolveHost(FAddrStr);
    CodePageString request;
    request += '\x04';
    request += '\x01';  // CONNECT
    request.append(reinterpret_cast<const char*>(&FTargetPort), 2);
    request.append(reinterpret_cast<const char*>(&address), 4);
    request += SocksUsercode;
    request += '\0';
    if (FSocksLevel == "4A") {
        request += FAddrStr;
        request += '\0';
    }
    SetSocksStep(TSocksStep::RequestSent);
    SendStr(request);
}

bool TCustomSocksWSocket::TriggerDataAvailable(std::uint16_t Error)
{
    if (FSocksStep == TSocksStep::None)
        return TCustomWSocket::TriggerDataAvailable(Error);
    if (Error != 0) {
        SocksFailed(Error, "data receive error");
        return true;
    }
    const int room = static_cast<int>(sizeof FRcvBuf) - FRcvCnt;
    if (room <= 0) {
        // Never read with no room: the socket would stay readable for ever.
        SocksFailed(socksProtocolError, "too much data availaible");
        return true;
    }
    const int count = TCustomWSocket::RawReceive(FRcvBuf + FRcvCnt, room, 0);
    if (count < 0) {
        FLastError = WSocket_WSAGetLastError();
        return true;
    }
    if (count == 0)
        return true;
    FRcvCnt += count;
    for (;;) {
        const TSocksStep step = FSocksStep;
        switch (step) {
        case TSocksStep::ConnectingServer:
            HandleSocks5MethodReply();
            break;
        case TSocksStep::Authenticating:
            HandleSocks5AuthReply();
            break;
        case TSocksStep::RequestSent:
            if (SocksLevelIs5())
                HandleSocks5Reply();
            else
                HandleSocks4Reply();
            break;
        case TSocksStep::None:
            SocksFailed(socksInternalError, "internal error");
            break;
        }
        // A server may send its next reply in the same packet as the method
        // reply: the bytes kept behind it go to the step that follows.
        if (FSocksStep == step || FSocksStep == TSocksStep::None || FRcvCnt == 0 || FState != wsConnected)
            break;
    }
    return true;
}

void TCustomSocksWSocket::HandleSocks5MethodReply()
{
    if (FRcvCnt < 2)
        return;
    const char version = FRcvBuf[0];
    const auto method = static_cast<unsigned char>(FRcvBuf[1]);
    FRcvCnt -= 2;
    std::memmove(FRcvBuf, FRcvBuf + 2, static_cast<std::size_t>(FRcvCnt));
    if (!SocksLevelIs5()) {
        SocksFailed(socksProtocolError, "TWSocket logic error");
        return;
    }
    if (version != 5) {
        SocksFailed(socksVersionError, "socks version error");
        return;
    }
    if (method == 0) {
        if (FSocksRequestedMethod != 0) {
            TriggerSocksAuthState(authNotRequired);
            if (FState != wsConnected || FSocksStep != TSocksStep::ConnectingServer)
                return;
        }
        SendSocks5Request();
    } else if (method == 2) {
        SendSocks5Authenticate();
    } else {
        SocksFailed(socksAuthMethodError, "authentification method not acceptable");
    }
}

void TCustomSocksWSocket::HandleSocks5AuthReply()
{
    if (FRcvBuf[0] != 1) {
        SocksFailed(socksVersionError, "socks version error");
        return;
    }
    if (FRcvCnt > 2) {
        SocksFailed(socksProtocolError, "too much data availaible");
        return;
    }
    if (FRcvCnt < 2)
        return;
    if (FRcvBuf[1] != 0) {
        SocksFailed(socksAuthenticationFailed, "socks authentication failed");
        return;
    }
    FRcvCnt = 0;
    TriggerSocksAuthState(authSucceeded);
    if (FState != wsConnected || FSocksStep != TSocksStep::Authenticating)
        return;
    SendSocks5Request();
}

void TCustomSocksWSocket::HandleSocks5Reply()
{
    const auto* reply = reinterpret_cast<const unsigned char*>(FRcvBuf);
    if (reply[0] != 5) {
        SocksFailed(socksVersionError, "socks version error");
        return;
    }
    if (FRcvCnt < 2)
        return;
    if (reply[1] != 0) {
        for (const SocksReplyText& r : kSocks5Replies) {
            if (r.code == reply[1]) {
                SocksFailed(r.error, r.text);
                return;
            }
        }
        SocksFailed(socksUnassignedError, "unassigned error #" + IntToStr(reply[1]));
        return;
    }
    if (FRcvCnt < 5)
        return;
    int length;
    switch (reply[3]) {
    case 1:
        length = 10;
        break;
    case 3:
        length = reply[4] + 7;
        break;
    case 4:
        length = 22;  // a server that reached the destination over IPv6
        break;
    default:
        SocksFailed(socksUnknownAddressType, "address type not supported");
        return;
    }
    if (FRcvCnt < length)
        return;
    switch (reply[3]) {
    case 1:
        FBoundAddr = IntToStr(reply[4]) + "." + IntToStr(reply[5]) + "." + IntToStr(reply[6]) + "." + IntToStr(reply[7]);
        break;
    case 3:
        FBoundAddr.assign(FRcvBuf + 5, reply[4]);
        break;
    default:
        FBoundAddr = Ipv6Text(reply + 4);
        break;
    }
    FBoundPort = IntToStr((reply[length - 2] << 8) | reply[length - 1]);
    SocksDone(length);
}

void TCustomSocksWSocket::HandleSocks4Reply()
{
    if (FRcvCnt < 8)
        return;
    const auto* reply = reinterpret_cast<const unsigned char*>(FRcvBuf);
    if (reply[0] != 0) {
        FRcvCnt = 0;
        SocksFailed(socksVersionError, "socks version error");
        return;
    }
    if (reply[1] == 90) {
        SocksDone(8);
        return;
    }
    FRcvCnt = 0;
    for (const SocksReplyText& r : kSocks4Replies) {
        if (r.code == reply[1]) {
            SocksFailed(r.error, r.text);
            return;
        }
    }
    SocksFailed(socksUnassignedError, "unassigned error #" + IntToStr(reply[1]));
}

void TCustomSocksWSocket::SocksDone(int ReplyLength)
{
    // Bytes that came behind the reply in the same read belong to the user.
    FLeftover = std::max(0, FRcvCnt - ReplyLength);
    FLeftoverPos = ReplyLength;
    FRcvCnt = 0;
    SetSocksStep(TSocksStep::None);
    TCustomWSocket::TriggerSessionConnected(0);
    if (FState != wsConnected)
        return;
    // The user's data handler runs once now, whether or not bytes came
    // behind the reply: it is where a user of the socket starts reading.
    TriggerDataAvailable(0);
}

void TCustomSocksWSocket::SocksFailed(int Error, const CodePageString& Msg)
{
    TriggerSocksError(Error, Msg);
    SetSocksStep(TSocksStep::None);
    TCustomWSocket::TriggerSessionConnected(static_cast<std::uint16_t>(Error));
    CloseAndNotify(true, static_cast<std::uint16_t>(Error));
}

int TCustomSocksWSocket::GetRcvdCount()
{
    if (FLeftover > 0)
        return FLeftover;
    return TCustomWSocket::GetRcvdCount();
}

int TCustomSocksWSocket::RawReceive(void* Buffer, int BufferSize, int Flags)
{
    if (FLeftover > 0 && BufferSize > 0) {
        const int count = std::min(BufferSize, FLeftover);
        std::memcpy(Buffer, FRcvBuf + FLeftoverPos, static_cast<std::size_t>(count));
        FLeftoverPos += count;
        FLeftover -= count;
        return count;
    }
    return TCustomWSocket::RawReceive(Buffer, BufferSize, Flags);
}
