#include "classlib/Timer.h"

#include <memory>

#include <gtest/gtest.h>

#include "platform/Messages.h"
#include "support/Loop.h"

namespace {

TEST(TimerTest, DefaultsAreOneSecondAndEnabled)
{
    TTimer timer(nullptr);
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_TRUE(timer.Enabled());
}

TEST(TimerTest, FiresOnTimerWithItselfAsSender)
{
    TTimer timer(nullptr);
    int ticks = 0;
    TObject* sender = nullptr;
    timer.OnTimer = [&](TObject* s) {
        sender = s;
        ++ticks;
    };
    timer.SetInterval(10);
    ASSERT_TRUE(RunUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(sender, &timer);
}

TEST(TimerTest, DisabledOrZeroIntervalDoesNotFire)
{
    for (bool disable : {true, false}) {
        SCOPED_TRACE(disable);
        TTimer timer(nullptr);
        int ticks = 0;
        timer.OnTimer = [&](TObject*) { ++ticks; };
        timer.SetInterval(10);
        if (disable)
            timer.SetEnabled(false);
        else
            timer.SetInterval(0);
        // A running 10 ms timer would have fired by the witness's third tick.
        ASSERT_TRUE(RunIntervals(10, 3));
        EXPECT_EQ(ticks, 0);
    }
}

TEST(TimerTest, HandlerMayDisableReconfigureOrFreeTheTimer)
{
    {
        TTimer timer(nullptr);
        int ticks = 0;
        timer.OnTimer = [&](TObject*) {
            ++ticks;
            timer.SetEnabled(false);
        };
        timer.SetInterval(10);
        ASSERT_TRUE(RunUntil([&] { return ticks == 1; }));
        ASSERT_TRUE(RunIntervals(10, 3));  // its next ticks were due by then
        EXPECT_EQ(ticks, 1);
        // Enabled again, it runs again.
        timer.SetEnabled(true);
        ASSERT_TRUE(RunUntil([&] { return ticks == 2; }));
    }
    {
        TTimer timer(nullptr);
        int ticks = 0;
        timer.OnTimer = [&](TObject*) {
            ++ticks;
            timer.SetInterval(20);
            timer.OnTimer = [&](TObject*) { ticks += 100; };  // replaces the running handler
        };
        timer.SetInterval(10);
        ASSERT_TRUE(RunUntil([&] { return ticks > 100; }));
        EXPECT_EQ(timer.Interval(), 20u);
    }
    {
        auto* timer = new TTimer(nullptr);
        int ticks = 0;
        timer->OnTimer = [&, timer](TObject*) {
            ++ticks;
            delete timer;
        };
        timer->SetInterval(10);
        ASSERT_TRUE(RunUntil([&] { return ticks == 1; }));
        ASSERT_TRUE(RunIntervals(10, 3));  // its next ticks were due by then
        EXPECT_EQ(ticks, 1);
    }
}

TEST(TimerTest, OwnerFreesTheTimerAndItsPendingTick)
{
    auto owner = std::make_unique<TComponent>(nullptr);
    auto* timer = new TTimer(owner.get());
    int ticks = 0;
    timer->OnTimer = [&](TObject*) { ++ticks; };
    timer->SetInterval(10);
    SuspendQueueDispatch(true);
    ASSERT_TRUE(RunUntil([] { return PendingMessageCount() == 1; }));
    owner.reset();
    EXPECT_EQ(PendingMessageCount(), 0u);
    SuspendQueueDispatch(false);
    // The dropped tick would have been dispatched, and the next one due.
    ASSERT_TRUE(RunUntilPostedMessagesDispatched());
    ASSERT_TRUE(RunIntervals(10, 3));
    EXPECT_EQ(ticks, 0);
}

}  // namespace
