#include "support/Loop.h"

#include <chrono>

#include <QCoreApplication>
#include <QTimer>

#include "platform/Messages.h"

bool RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        WaitAndProcessMessages(10);
    }
    return true;
}

bool RunUntilPostedMessagesDispatched(int timeoutMs)
{
    bool dispatched = false;
    const HWND witness = AllocateHWnd([&dispatched](TMessage&) { dispatched = true; });
    const bool posted = PostMessage(witness, WM_USER, 0, 0);
    const bool done = posted && RunUntil([&] { return dispatched; }, timeoutMs);
    DeallocateHWnd(witness);
    return done;
}

bool RunIntervals(int intervalMs, int count, int timeoutMs)
{
    int fired = 0;
    QTimer witness;
    witness.setTimerType(Qt::PreciseTimer);
    witness.setInterval(intervalMs);
    QObject::connect(&witness, &QTimer::timeout, [&fired] { ++fired; });
    witness.start();
    return RunUntil([&] { return fired >= count; }, timeoutMs);
}

bool RunPendingEvents(int timeoutMs)
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return RunUntilPostedMessagesDispatched(timeoutMs);
}
