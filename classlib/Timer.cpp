#include "classlib/Timer.h"

namespace {
constexpr std::uintptr_t kTimerId = 1;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner)
{
    FWindowHandle = AllocateHWnd([this](TMessage& message) { WndProc(message); });
    UpdateTimer();
}

TTimer::~TTimer()
{
    // Also stops the platform timer and drops a tick still queued.
    DeallocateHWnd(FWindowHandle);
}

void TTimer::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned value)
{
    if (value == FInterval)
        return;
    FInterval = value;
    UpdateTimer();
}

void TTimer::UpdateTimer()
{
    KillTimer(FWindowHandle, kTimerId);
    if (FEnabled && FInterval != 0)
        SetTimer(FWindowHandle, kTimerId, FInterval);
}

void TTimer::Timer()
{
    // A copy, so that the handler may replace OnTimer or free this timer.
    if (TNotifyEvent handler = OnTimer)
        handler(this);
}

void TTimer::WndProc(TMessage& message)
{
    // Nothing may touch this object after Timer(): it may be gone.
    if (message.Msg == WM_TIMER && message.WParam == kTimerId && FEnabled)
        Timer();
}
