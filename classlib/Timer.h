// The class library's timer component: OnTimer every Interval milliseconds
// while Enabled, delivered through the message queue as WM_TIMER.
#pragma once

#include "classlib/Classes.h"
#include "platform/Messages.h"

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    unsigned Interval() const { return FInterval; }
    // 0 stops the timer, as if it were disabled.
    void SetInterval(unsigned value);

    // May change Enabled, Interval and OnTimer, and may free the timer.
    TNotifyEvent OnTimer;

protected:
    virtual void Timer();

private:
    void UpdateTimer();
    void WndProc(TMessage& message);

    bool FEnabled = true;
    unsigned FInterval = 1000;
    HWND FWindowHandle = 0;
};
