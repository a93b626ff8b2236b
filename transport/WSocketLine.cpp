// Line mode of the socket, and the synchronous wait on top of it.
#include "transport/WSocket.h"

#include <algorithm>
#include <cstring>

#include "platform/Hooks.h"

namespace {

std::function<bool()> gTerminatedCheck;

// The first read of a reception, the most one read takes when the reads
// before it came back full, and the most one reception takes from a peer
// that sends as fast as it is read (the receive loop reads on after it).
constexpr int kLineReadFirst = 4096;
constexpr int kLineReadMost = 1 << 20;
constexpr std::size_t kLineReceptionMost = std::size_t(8) << 20;

bool ApplicationTerminated()
{
    return QuitMessagePosted() || (gTerminatedCheck && gTerminatedCheck());
}

}  // namespace

void SetWSocketTerminatedCheck(std::function<bool()> Check)
{
    gTerminatedCheck = std::move(Check);
}

// ================================================================================
// TCustomLineWSocket
// ================================================================================

TCustomLineWSocket::TCustomLineWSocket(TComponent* AOwner) : TCustomSocksWSocket(AOwner) {}

void TCustomLineWSocket::SetDefaults()
{
    TCustomSocksWSocket::SetDefaults();
    FRcvdPtr.clear();
    FRcvdPtr.shrink_to_fit();
    FLineLength = 0;
    FLineClearData = true;
}

bool TCustomLineWSocket::LineModeActive() const
{
    return FLineMode && !LineEnd.empty() && !SocksHandshakeRunning();
}

void TCustomLineWSocket::SetLineMode(bool Value)
{
    if (FLineMode == Value)
        return;
    FLineMode = Value;
    // What is held is handed out again under the new mode, once the current
    // handler has returned.
    if (!FRcvdPtr.empty() || FLineLength > 0)
        PostMessage(FWindowHandle, WM_TRIGGER_DATA_AVAILABLE, 0, 0);
}

void TCustomLineWSocket::MessageHandler(TMessage& Msg)
{
    if (Msg.Msg == WM_TRIGGER_DATA_AVAILABLE) {
        RedeliverHeld();
        return;
    }
    TCustomSocksWSocket::MessageHandler(Msg);
}

void TCustomLineWSocket::RedeliverHeld()
{
    const auto alive = AliveFlag();
    while (!FRcvdPtr.empty() && FLineLength == 0) {
        if (LineModeActive()) {
            DeliverLines(0);
            if (*alive)
                CheckLineLimit();
            return;
        }
        const std::size_t before = FRcvdPtr.size();
        if (!TriggerDataAvailable(0)) {
            FRcvdPtr.clear();  // nobody takes data: it goes, as it would from the socket
            return;
        }
        if (!*alive || FRcvdPtr.size() == before)
            return;  // a handler that took nothing reads the rest when it wants
    }
}

int TCustomLineWSocket::GetRcvdCount()
{
    if (FLineMode)
        return FLineLength;
    if (!FRcvdPtr.empty())
        return static_cast<int>(FRcvdPtr.size());
    return TCustomSocksWSocket::GetRcvdCount();
}

int TCustomLineWSocket::RawReceive(void* Buffer, int BufferSize, int Flags)
{
    if (BufferSize <= 0)
        return TCustomSocksWSocket::RawReceive(Buffer, BufferSize, Flags);
    std::size_t count = 0;
    if (FLineMode && FLineLength > 0) {
        count = std::min<std::size_t>(static_cast<std::size_t>(BufferSize), static_cast<std::size_t>(FLineLength));
        FLineLength -= static_cast<int>(count);
    } else if (!FLineMode && !FRcvdPtr.empty()) {
        count = std::min<std::size_t>(static_cast<std::size_t>(BufferSize), FRcvdPtr.size());
    } else {
        return TCustomSocksWSocket::RawReceive(Buffer, BufferSize, Flags);
    }
    std::memcpy(Buffer, FRcvdPtr.data(), count);
    FRcvdPtr.erase(0, count);
    return static_cast<int>(count);
}

void TCustomLineWSocket::TriggerLineLimitExceeded(int Cnt, bool& ClearData)
{
    FireEvent(OnLineLimitExceeded, this, Cnt, ClearData);
}

std::size_t TCustomLineWSocket::EditLine(std::size_t From)
{
    // A line still being read by a handler further up is not edited.
    const std::size_t floor = static_cast<std::size_t>(FLineLength);
    CodePageString edited = FRcvdPtr.substr(0, From);
    CodePageString echo;
    std::size_t lowest = From;
    bool changed = false;
    for (std::size_t i = From; i < FRcvdPtr.size(); ++i) {
        const char c = FRcvdPtr[i];
        if (c == '\b') {
            changed = true;
            if (edited.size() > floor) {
                if (LineEcho)
                    echo += "\b \b";
                edited.pop_back();
                lowest = std::min(lowest, edited.size());
            }
        } else if (c == '\t') {
            changed = true;
            const std::size_t next = (edited.size() / 8 + 1) * 8;
            const std::size_t blanks = next - edited.size();
            edited.append(blanks, ' ');
            if (LineEcho)
                echo.append(blanks, ' ');
        } else {
            edited += c;
            if (LineEcho)
                echo += c;
        }
    }
    if (changed)
        FRcvdPtr = std::move(edited);
    if (!echo.empty() && FState == wsConnected)
        SendStr(echo);
    return changed ? lowest : From;
}

bool TCustomLineWSocket::TriggerDataAvailable(std::uint16_t Error)
{
    if (!LineModeActive())
        return TCustomSocksWSocket::TriggerDataAvailable(Error);
    // Everything waiting is taken, as one reception: reads go on while they
    // fill what they are given, which spares asking how much waits first.
    const std::size_t held = FRcvdPtr.size();
    std::size_t taken = 0;
    int room = kLineReadFirst;
    for (;;) {
        FRcvdPtr.resize(held + taken + static_cast<std::size_t>(room));
        const int received = TCustomSocksWSocket::RawReceive(FRcvdPtr.data() + held + taken, room, 0);
        if (received <= 0) {
            // A failure after data is the next reception's: a reset read here
            // is told by the close that follows.
            if (received < 0 && taken == 0)
                FLastError = WSocket_WSAGetLastError();
            break;
        }
        taken += static_cast<std::size_t>(received);
        if (received < room || taken >= kLineReceptionMost)
            break;
        room = std::min(room * 2, kLineReadMost);
    }
    FRcvdPtr.resize(held + taken);
    if (taken == 0)
        return true;

    const auto alive = AliveFlag();
    std::size_t changed = held;
    if (LineEdit) {
        changed = EditLine(held);
    } else if (LineEcho && FState == wsConnected) {
        const CodePageString echo = FRcvdPtr.substr(held);
        SendStr(echo);
    }
    if (!*alive || !LineModeActive())
        return true;
    changed = std::min(changed, FRcvdPtr.size());

    // A handler further up is still reading its line (it pumped messages):
    // the new bytes wait for its delivery loop.
    if (FLineLength > 0) {
        CheckLineLimit();
        return true;
    }
    DeliverLines(changed >= LineEnd.size() ? changed - LineEnd.size() : 0);
    if (*alive)
        CheckLineLimit();
    return true;
}

void TCustomLineWSocket::DeliverLines(std::size_t Start)
{
    const auto alive = AliveFlag();
    std::size_t from = Start;
    while (LineModeActive()) {
        const std::size_t pos = FRcvdPtr.find(LineEnd, from);
        if (pos == CodePageString::npos)
            break;
        FLineLength = static_cast<int>(pos + LineEnd.size());
        OfferLine();
        if (!*alive)
            return;
        if (!LineModeActive()) {
            // Switched off inside the handler: what it left of the line stays held.
            FLineLength = 0;
            break;
        }
        from = 0;
    }
}

void TCustomLineWSocket::OfferLine()
{
    const auto alive = AliveFlag();
    while (FLineLength > 0) {
        const int before = FLineLength;
        bool handled;
        try {
            handled = TCustomSocksWSocket::TriggerDataAvailable(0);
        } catch (...) {
            if (*alive) {
                FRcvdPtr.erase(0, std::min<std::size_t>(static_cast<std::size_t>(FLineLength), FRcvdPtr.size()));
                FLineLength = 0;
            }
            throw;
        }
        if (!*alive || !FLineMode)
            return;
        // No handler, or one that did not read its line: the line goes, so
        // that it is not offered for ever.
        if (!handled || FLineLength == before) {
            FRcvdPtr.erase(0, std::min<std::size_t>(static_cast<std::size_t>(FLineLength), FRcvdPtr.size()));
            FLineLength = 0;
        }
    }
}

void TCustomLineWSocket::CheckLineLimit()
{
    if (LineLimit <= 0 || FRcvdPtr.size() <= static_cast<std::size_t>(LineLimit))
        return;
    bool clearData = true;
    TriggerLineLimitExceeded(static_cast<int>(std::min<std::size_t>(FRcvdPtr.size(), INT_MAX)), clearData);
    FLineClearData = clearData;
    if (clearData) {
        FRcvdPtr.clear();
        FLineLength = 0;
    }
}

void TCustomLineWSocket::TriggerSessionClosed(std::uint16_t Error)
{
    const auto alive = AliveFlag();
    if (!FRcvdPtr.empty()) {
        // The last bytes are a line of their own; a line that a handler
        // further up is still reading is left to it.
        if (FLineMode && FLineClearData && FLineLength == 0) {
            FLineLength = static_cast<int>(FRcvdPtr.size());
            OfferLine();
            if (!*alive)
                return;
        }
        FRcvdPtr.clear();
        FRcvdPtr.shrink_to_fit();
        FLineLength = 0;
    }
    TCustomSocksWSocket::TriggerSessionClosed(Error);
}

// ================================================================================
// TCustomSyncWSocket
// ================================================================================

TCustomSyncWSocket::TCustomSyncWSocket(TComponent* AOwner) : TCustomLineWSocket(AOwner) {}

int TCustomSyncWSocket::WaitForFlag(bool& Flag)
{
    const auto alive = AliveFlag();
    const std::uint32_t start = GetTickCount();
    while (!Flag) {
        int waitMs = 50;
        if (WaitTimeout > 0) {
            const std::uint32_t elapsed = GetTickCount() - start;  // wraps correctly
            if (elapsed >= static_cast<std::uint32_t>(WaitTimeout))
                return WSA_WSOCKET_TIMEOUT;
            waitMs = static_cast<int>(std::min<std::uint32_t>(50, static_cast<std::uint32_t>(WaitTimeout) - elapsed));
        }
        if (FTerminated || ApplicationTerminated())
            return WSA_WSOCKET_TIMEOUT;
        WaitForEvents(std::max(waitMs, 1));
        // The object may have been freed by a message run in the wait; the
        // flag then belongs to a caller that is gone too.
        if (!*alive)
            return WSA_WSOCKET_TIMEOUT;
    }
    return 0;
}

int TCustomSyncWSocket::CallAndWait(const std::function<void()>& Proc, bool& Flag)
{
    Flag = false;
    if (Proc)
        Proc();
    return WaitForFlag(Flag);
}
