#include "support/Loop.h"

#include <chrono>

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

void RunFor(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline)
        WaitAndProcessMessages(5);
}
