// The event-driven socket on which all network traffic runs, in four layers:
//
//   TCustomWSocket       TCP/UDP over Winsock, one hidden message window per
//                        socket, a queue of TBuffer chunks for sending;
//   TCustomSocksWSocket  reaching the destination through a SOCKS 4, 4A or 5
//                        server, invisible to the layers above;
//   TCustomLineWSocket   received bytes delivered one line at a time, with
//                        echo and simple editing;
//   TCustomSyncWSocket   waiting, with the message loop running, for a flag;
//
// and TWSocket, the whole stack. Everything runs on the GUI thread: Winsock
// reports to the socket's window through the message queue and the socket
// turns the messages into events. Winsock is reached by name through
// "wsock32.dll", loaded on first use and released when the last socket
// object is destroyed.
//
// The sources: WSocketBinding.cpp (the text helpers, the error texts, the
// Winsock entry points and resolution), WSocket.cpp (the asynchronous socket),
// WSocketSocks.cpp (the SOCKS layer) and WSocketLine.cpp (line mode and the
// synchronous wait).
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "platform/Messages.h"
#include "platform/Winsock.h"
#include "transport/WSockBuf.h"

using TSocket = winsock::SOCKET;
using TSockAddrIn = winsock::sockaddr_in;

// What the socket layer raises. With OnError assigned a socket raises nothing
// and fires OnError instead; LastError then tells the code.
class ESocketException : public Exception {
public:
    using Exception::Exception;
};

// Messages of a socket's window.
constexpr UINT WM_ASYNCSELECT = WM_USER + 1;         // 1025 Winsock event
constexpr UINT WM_ASYNCGETHOSTBYNAME = WM_USER + 2;  // 1026 name lookup reply
constexpr UINT WM_ASYNCGETHOSTBYADDR = WM_USER + 3;  // 1027 address lookup reply
constexpr UINT WM_CLOSE_DELAYED = WM_USER + 4;       // 1028 PostClose
constexpr UINT WM_WSOCKET_RELEASE = WM_USER + 5;     // 1029 Release
constexpr UINT WM_TRIGGER_EXCEPTION = WM_USER + 6;   // 1030 raise a test exception
constexpr UINT WM_TRIGGER_DATA_AVAILABLE = WM_USER + 20;  // 1044 line-mode redelivery

// Socket errors of the SOCKS layer.
constexpr int socksNoError = 20000;
constexpr int socksProtocolError = 20001;
constexpr int socksVersionError = 20002;
constexpr int socksAuthMethodError = 20003;
constexpr int socksGeneralFailure = 20004;
constexpr int socksConnectionNotAllowed = 20005;
constexpr int socksNetworkUnreachable = 20006;
constexpr int socksHostUnreachable = 20007;
constexpr int socksConnectionRefused = 20008;
constexpr int socksTtlExpired = 20009;
constexpr int socksUnknownCommand = 20010;
constexpr int socksUnknownAddressType = 20011;
constexpr int socksUnassignedError = 20012;
constexpr int socksInternalError = 20013;
constexpr int socksAuthenticationFailed = 20015;
constexpr int socksRejectedOrFailed = 20016;

// WaitForFlag's result when it stops before the flag is set.
constexpr int WSA_WSOCKET_TIMEOUT = 12001;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

// A set of options, one bit each.
using TWSocketOptions = unsigned;
constexpr TWSocketOptions wsoNoReceiveLoop = 1u << 0;
constexpr TWSocketOptions wsoTcpNoDelay = 1u << 1;

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { authStarted, authSucceeded, authFailed, authNotRequired };

using TWSocketErrorEvent = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TDataAvailable = TWSocketErrorEvent;
using TDataSent = TWSocketErrorEvent;
using TSessionClosed = TWSocketErrorEvent;
using TSessionAvailable = TWSocketErrorEvent;
using TSessionConnected = TWSocketErrorEvent;
using TDnsLookupDone = TWSocketErrorEvent;
using TSendData = std::function<void(TObject* Sender, int BytesSent)>;
using TChangeState = std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TObject* Sender, const std::exception& E, bool& CanClose)>;
using TSocksErrorEvent = std::function<void(TObject* Sender, int Error, const CodePageString& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;
using TLineLimitExceeded = std::function<void(TObject* Sender, int RcvdLength, bool& ClearData)>;

// --- text helpers ---------------------------------------------------------------

// Leading blanks, then decimal digits up to the first other character; 0 for
// none. -1 when the number does not fit an int.
int ParseDecimal(const CodePageString& S);
bool IsDecimalDigit(char C);
// A dotted-quad IPv4 address, blanks allowed around it, each part at most 255.
bool IsDottedAddress(const CodePageString& S);

// "No Error", the text of a Winsock error number, or "Not a WinSock error".
CodePageString WinsockErrorText(int ErrCode);

// Blocking resolution, raising ESocketException. The address comes in network
// byte order, the port in host order.
std::uint32_t WSocketResolveHost(const CodePageString& Host);
std::uint16_t WSocketResolvePort(const CodePageString& Port, const CodePageString& Proto);
int WSocketResolveProto(const CodePageString& Proto);

// --- the Winsock binding ----------------------------------------------------------

// Loads and starts "wsock32.dll" when needed, then resolves ProcName (nullptr
// for an empty name). Raises ESocketException when the library, its start or
// the entry point fails.
void* LoadWinsockEntry(const CodePageString& ProcName);
void UnloadWinsockLibrary();
bool WinsockLibraryLoaded();
// Every socket object holds the library while it lives; when the last one
// goes, the library is unloaded.
void HoldWinsockLibrary();
void ReleaseWinsockLibrary();
// Live socket objects.
int WSocketCount();

// Each wrapper resolves its entry point by name on first call.
int WSocket_WSAStartup(winsock::WORD Version, winsock::WSADATA& Data);
int WSocket_WSACleanup();
void WSocket_WSASetLastError(int Error);
int WSocket_WSAGetLastError();
int WSocket_WSACancelAsyncRequest(winsock::HANDLE Request);
winsock::HANDLE WSocket_WSAAsyncGetHostByName(HWND Wnd, UINT Msg, const char* Name, char* Buf, int BufLen);
winsock::HANDLE WSocket_WSAAsyncGetHostByAddr(HWND Wnd, UINT Msg, const char* Addr, int Len, int Type, char* Buf,
                                              int BufLen);
int WSocket_WSAAsyncSelect(TSocket S, HWND Wnd, UINT Msg, long Event);
winsock::servent* WSocket_getservbyname(const char* Name, const char* Proto);
winsock::protoent* WSocket_getprotobyname(const char* Name);
winsock::hostent* WSocket_gethostbyname(const char* Name);
TSocket WSocket_socket(int Af, int Struct, int Protocol);
int WSocket_shutdown(TSocket S, int How);
int WSocket_setsockopt(TSocket S, int Level, int OptName, const void* OptVal, int OptLen);
int WSocket_sendto(TSocket S, const void* Buf, int Len, int Flags, const TSockAddrIn& To, int ToLen);
int WSocket_send(TSocket S, const void* Buf, int Len, int Flags);
std::uint16_t WSocket_ntohs(std::uint16_t NetShort);
int WSocket_listen(TSocket S, int Backlog);
int WSocket_ioctlsocket(TSocket S, long Cmd, winsock::u_long& Arg);
CodePageString WSocket_inet_ntoa(winsock::in_addr InAddr);
std::uint32_t WSocket_inet_addr(const char* Cp);
std::uint16_t WSocket_htons(std::uint16_t HostShort);
int WSocket_getsockname(TSocket S, TSockAddrIn& Name, int& NameLen);
int WSocket_getpeername(TSocket S, TSockAddrIn& Name, int& NameLen);
int WSocket_connect(TSocket S, const TSockAddrIn& Name, int NameLen);
int WSocket_closesocket(TSocket S);
int WSocket_bind(TSocket S, const TSockAddrIn& Addr, int NameLen);
TSocket WSocket_accept(TSocket S, TSockAddrIn* Addr, int* AddrLen);
int WSocket_recv(TSocket S, void* Buf, int Len, int Flags);
int WSocket_recvfrom(TSocket S, void* Buf, int Len, int Flags, TSockAddrIn& From, int& FromLen);

// Whether the application is shutting down, for the waits of the socket layer.
// They always see the quit message that Application->Terminate posts; this
// adds a check of the caller's own. The default says no.
void SetWSocketTerminatedCheck(std::function<bool()> Check);

// --- the asynchronous socket ----------------------------------------------------

class TCustomWSocket : public TComponent {
public:
    explicit TCustomWSocket(TComponent* AOwner);
    ~TCustomWSocket() override;

    // Opens the socket and starts connecting (TCP) or makes a UDP socket
    // ready; the outcome arrives as OnSessionConnected(Error).
    virtual void Connect();
    // Shuts down sending, closes and fires OnSessionClosed. With the default
    // linger (on, 0 seconds) the system closes hard, as Winsock does: bytes it
    // has not sent yet are dropped and the peer may see a reset after the
    // close. Set LingerOnOff to wsLingerOff before Connect to close gently.
    virtual void Close();
    // Close and free the object later, from the socket's own window.
    virtual void PostClose();
    virtual void Release();
    // Drops the queue and closes without shutting down first.
    virtual void Abort();
    // Pushes the send queue out before returning.
    virtual void Flush();
    virtual void WaitForClose();
    virtual void Listen();
    // One pending connection of a listening socket, for another socket's Dup.
    virtual TSocket Accept();
    virtual void Dup(TSocket NewHSocket);
    virtual void Shutdown(int How);
    // Stop and restart the delivery of socket events.
    virtual void Pause();
    virtual void Resume();

    // Queue data; Len (0 for Len <= 0), or -1 when not connected.
    virtual int Send(const void* Data, int Len);
    int SendStr(const CodePageString& Str) { return Send(Str.data(), static_cast<int>(Str.size())); }
    int SendText(const CodePageString& Str) { return SendStr(Str); }
    // UDP: one datagram to Dest.
    virtual int SendTo(const TSockAddrIn& Dest, int DestLen, const void* Data, int Len);

    // What is waiting, used inside OnDataAvailable.
    virtual int Receive(void* Buffer, int BufferSize);
    // The waiting bytes (up to 255 when the count is not known) as a string.
    virtual CodePageString ReceiveText();
    virtual int ReceiveFrom(void* Buffer, int BufferSize, TSockAddrIn& From, int& FromLen);

    virtual void LookupHost(const CodePageString& HostName);
    virtual void ReverseDnsLookup(const CodePageString& HostAddr);
    virtual void CancelHostLookup();

    virtual CodePageString GetPeerAddr();
    virtual CodePageString GetPeerPort();
    virtual int GetPeerName(TSockAddrIn& Name, int NameLen);
    virtual CodePageString GetLocalAddr();
    virtual CodePageString GetLocalPort();
    virtual int GetSockName(TSockAddrIn& SockAddr, int& SockAddrLen);
    virtual void PumpMessages();

    // Properties. Addr, Port, Proto, LocalAddr and LocalPort can be changed only
    // while the socket is closed, and every close forgets Addr and Port.
    const CodePageString& Addr() const { return FAddrStr; }
    void SetAddr(const CodePageString& Value);
    const CodePageString& Port() const { return FPortStr; }
    virtual void SetPort(const CodePageString& Value);
    const CodePageString& Proto() const { return FProtoStr; }
    virtual void SetProto(const CodePageString& Value);
    const CodePageString& LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const CodePageString& Value);
    const CodePageString& LocalPort() const { return FLocalPortStr; }
    void SetLocalPort(const CodePageString& Value);
    CodePageString PeerAddr() { return GetPeerAddr(); }
    CodePageString PeerPort() { return GetPeerPort(); }
    const CodePageString& DnsResult() const { return FDnsResult; }
    TStrings* DnsResultList() { return &FDnsResultList; }
    TSocketState State() const { return FState; }
    TSocket HSocket() const { return FHSocket; }
    HWND Handle() const { return FWindowHandle; }
    // Bytes received through Receive and ReceiveFrom since the last close;
    // 64 bits, since one connection may carry more than 2 GiB.
    std::int64_t ReadCount() const { return FReadCount; }
    int RcvdCount() { return GetRcvdCount(); }
    int LastError() const { return FLastError; }
    bool AllSent() const { return FReadyToSend; }
    int BufSize() const { return FChunkSize; }
    void SetBufSize(int Value);
    TSocketSendFlags SendFlags() const;
    void SetSendFlags(TSocketSendFlags Value);

    bool MultiThreaded = false;
    bool MultiCast = false;
    CodePageString MultiCastAddrStr;
    int MultiCastIpTTL = 1;
    bool ReuseAddr = false;
    TWSocketOptions ComponentOptions = 0;
    int FlushTimeout = 60;  // kept for callers; nothing here reads it
    TSocketLingerOnOff LingerOnOff = wsLingerOn;
    int LingerTimeout = 0;

    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSendData OnSendData;
    TSessionClosed OnSessionClosed;
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TChangeState OnChangeState;
    TDnsLookupDone OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;
    TNotifyEvent OnLineTooLong;  // kept for callers; never fired

protected:
    virtual void MessageHandler(TMessage& Msg);
    virtual void SetDefaults();
    virtual void CloseAndNotify(bool DoShutdown, std::uint16_t Error);
    virtual int GetRcvdCount();
    virtual void BindLocal();
    virtual int RawSend(const void* Data, int Len);
    virtual void RaiseSocketExceptionFmt(const CodePageString& Msg) { RaiseSocketException(Msg); }
    virtual void RaiseSocketException(const CodePageString& Msg);
    virtual void ReportBackgroundException(const std::exception& E);
    // False when nobody took the data (no OnDataAvailable handler).
    virtual bool TriggerDataAvailable(std::uint16_t Error);
    virtual void TriggerSessionAvailable(std::uint16_t Error);
    virtual void TriggerSessionConnected(std::uint16_t Error);
    virtual void TriggerSessionClosed(std::uint16_t Error);
    virtual void TriggerDataSent(std::uint16_t Error);
    virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
    virtual void TriggerDnsLookupDone(std::uint16_t Error);
    virtual void TriggerError();
    virtual int RawReceive(void* Buffer, int BufferSize, int Flags);
    virtual int RawReceiveFrom(void* Buffer, int BufferSize, TSockAddrIn& From, int& FromLen);
    // Bytes held above the socket that the receive loop must still hand out
    // (the SOCKS layer's leftover).
    virtual int HeldAboveSocket() { return 0; }

    // The one step through which every state change goes.
    void ChangeState(TSocketState NewState);
    void SocketError(const CodePageString& SockFunc);
    void ASyncReceive(std::uint16_t Error, TWSocketOptions Options);
    void TryToSend();
    void DeleteBufferedData();
    bool SendQueueEmpty() const;
    void SetLingerOption();
    // Waits for the next event (up to MaxWaitMs) and runs what is pending.
    void WaitForEvents(int MaxWaitMs);
    // Terminated once the pump has met the quit message: the waits end.
    void NoteQuitMessage();
    bool Destroying() const { return FDestroying; }
    // Cleared by the destructor: a loop that pumps messages holds a copy and
    // stops when its object was freed by a message it ran.
    std::shared_ptr<bool> AliveFlag() const { return FAlive; }

    TSocket FHSocket = winsock::INVALID_SOCKET;
    HWND FWindowHandle = 0;
    TSockAddrIn Fsin{};
    CodePageString FAddrStr;
    bool FAddrAssigned = false;
    bool FAddrResolved = false;
    CodePageString FPortStr;
    bool FPortAssigned = false;
    bool FPortResolved = false;
    int FPortNum = 0;
    CodePageString FProtoStr = "tcp";
    bool FProtoAssigned = true;
    bool FProtoResolved = false;
    int FProto = 6;
    int FType = winsock::SOCK_STREAM;
    CodePageString FLocalAddr = "0.0.0.0";
    CodePageString FLocalPortStr = "0";
    bool FLocalPortResolved = false;
    int FLocalPortNum = 0;
    TSocketState FState = wsClosed;
    int FLastError = 0;
    std::int64_t FReadCount = 0;
    bool FPaused = false;
    bool FCloseInvoked = false;  // the closed event has been sent
    bool FTerminated = false;  // the pump met the quit message
    bool FReadyToSend = true;
    bool FSending = false;  // TryToSend is running
    long FSelectEvent = 0;
    int FChunkSize = 1460;
    TSocketSendFlags FSendFlags = wsSendNormal;
    TSocket FASocket = winsock::INVALID_SOCKET;

private:
    void WndProc(TMessage& Msg);
    void DoFdConnect(std::uint16_t Error);
    void DoFdRead(std::uint16_t Error);
    void DoFdWrite(std::uint16_t Error);
    void DoFdClose(std::uint16_t Error);
    void WMAsyncSelect(TMessage& Msg);
    void WMAsyncGetHostByName(TMessage& Msg);
    void WMAsyncGetHostByAddr(TMessage& Msg);
    void HandleLookupReply(WPARAM Request, LPARAM Reply, bool ByAddress);
    void PutDataInSendBuffer(const void* Data, int Len);
    bool ResolveTarget(const CodePageString& Prefix, bool WithLocalPort);
    void AssignTarget(CodePageString& Field, bool& Assigned, bool& Resolved, const CodePageString& Value, const char* Name);
    int CountReceived(int Count);
    bool BeginLookup(bool NameValid, const char* BadNameMsg);
    void LookupNotStarted(const CodePageString& Name);
    bool SocketAddress(bool Peer, TSockAddrIn& Addr, const char* Func);

    std::deque<std::unique_ptr<TBuffer>> FBufList;
    TStringList FDnsResultList;
    CodePageString FDnsResult;
    winsock::HANDLE FDnsLookupHandle = 0;
    alignas(winsock::hostent) char FDnsLookupBuffer[winsock::MAXGETHOSTSTRUCT + 1] = {};
    bool FEarlyReplyPending = false;
    TMessage FEarlyReply;
    bool FDestroying = false;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

// --- the SOCKS client layer -------------------------------------------------------

class TCustomSocksWSocket : public TCustomWSocket {
public:
    explicit TCustomSocksWSocket(TComponent* AOwner);

    void Connect() override;
    void Listen() override;

    const CodePageString& SocksLevel() const { return FSocksLevel; }
    void SetSocksLevel(const CodePageString& Value);
    const CodePageString& SocksServer() const { return FSocksServer; }
    virtual void SetSocksServer(const CodePageString& Value);
    const CodePageString& SocksPort() const { return FSocksPort; }
    virtual void SetSocksPort(const CodePageString& Value);
    // What the server reported as its end of the connection (SOCKS 5).
    const CodePageString& BoundAddr() const { return FBoundAddr; }
    const CodePageString& BoundPort() const { return FBoundPort; }

    CodePageString SocksUsercode;
    CodePageString SocksPassword;
    TSocksAuthentication SocksAuthentication = socksNoAuthentication;

    TSessionConnected OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

protected:
    // The steps of the SOCKS handshake.
    enum class TSocksStep { None, ConnectingServer, Authenticating, RequestSent };

    void SetDefaults() override;
    int GetRcvdCount() override;
    bool TriggerDataAvailable(std::uint16_t Error) override;
    void TriggerSessionConnected(std::uint16_t Error) override;
    void TriggerSessionClosed(std::uint16_t Error) override;
    int RawReceive(void* Buffer, int BufferSize, int Flags) override;
    int HeldAboveSocket() override { return FLeftover; }
    virtual void TriggerSocksConnected(std::uint16_t Error);
    virtual void TriggerSocksError(int Error, const CodePageString& Msg);
    virtual void TriggerSocksAuthState(TSocksAuthState AuthState);

    bool SocksHandshakeRunning() const { return FSocksStep != TSocksStep::None; }
    // The one step through which every handshake step changes.
    void SetSocksStep(TSocksStep Step);

private:
    void SocksFailed(int Error, const CodePageString& Msg);
    void SocksDone(int ReplyLength);
    void SendSocks5Request();
    void SendSocks5Authenticate();
    void SendSocks4Request();
    void HandleSocks5MethodReply();
    void HandleSocks5AuthReply();
    void HandleSocks5Reply();
    void HandleSocks4Reply();
    bool SocksLevelIs5() const { return FSocksLevel == "5"; }

    CodePageString FSocksLevel = "5";
    CodePageString FSocksServer;
    CodePageString FSocksPort;
    TSocksStep FSocksStep = TSocksStep::None;
    int FSocksRequestedMethod = 0;
    // The longest SOCKS 5 reply, a domain name of 255 bytes, takes 262 bytes.
    char FRcvBuf[512] = {};
    int FRcvCnt = 0;
    int FLeftover = 0;     // bytes after the reply not yet read by the user
    int FLeftoverPos = 0;  // where they start in FRcvBuf
    std::uint16_t FTargetPort = 0;  // network byte order
    CodePageString FBoundAddr;
    CodePageString FBoundPort;
};

// --- line mode ------------------------------------------------------------------

class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    explicit TCustomLineWSocket(TComponent* AOwner);

    bool LineMode() const { return FLineMode; }
    virtual void SetLineMode(bool Value);
    // The bytes received and not yet delivered as a line.
    int HeldCount() const { return static_cast<int>(FRcvdPtr.size()); }

    int LineLimit = 65536;  // 0 or less: no limit
    CodePageString LineEnd = "\r\n";
    bool LineEcho = false;
    bool LineEdit = false;

    TLineLimitExceeded OnLineLimitExceeded;

protected:
    void MessageHandler(TMessage& Msg) override;
    void SetDefaults() override;
    int GetRcvdCount() override;
    int RawReceive(void* Buffer, int BufferSize, int Flags) override;
    bool TriggerDataAvailable(std::uint16_t Error) override;
    void TriggerSessionClosed(std::uint16_t Error) override;
    virtual void TriggerLineLimitExceeded(int Cnt, bool& ClearData);
    // Backspace and tab editing of the bytes from From on; returns the lowest
    // position that changed (From when nothing did).
    virtual std::size_t EditLine(std::size_t From);

private:
    bool LineModeActive() const;
    // Hands out every complete line of the held bytes, searching from Start.
    void DeliverLines(std::size_t Start);
    // Offers the ready line until it is read; a handler that reads nothing
    // gets it once.
    void OfferLine();
    void CheckLineLimit();
    void RedeliverHeld();

    bool FLineMode = false;
    std::string FRcvdPtr;      // the held bytes
    int FLineLength = 0;       // the ready line still to be read, terminator included
    bool FLineClearData = true;  // false when the limit handler chose to keep the bytes
};

// --- the synchronous wait ---------------------------------------------------------

class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    explicit TCustomSyncWSocket(TComponent* AOwner);

    // Runs the message loop until Flag is true (0), or until WaitTimeout
    // milliseconds have passed or the application terminates (12001).
    virtual int WaitForFlag(bool& Flag);
    // Flag := false, Proc, then WaitForFlag.
    virtual int CallAndWait(const std::function<void()>& Proc, bool& Flag);

    int WaitTimeout = 0;  // milliseconds; 0 waits without limit
};

class TWSocket : public TCustomSyncWSocket {
public:
    explicit TWSocket(TComponent* AOwner = nullptr) : TCustomSyncWSocket(AOwner) {}
};
