#include "platform/Messages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Hooks.h"
#include "support/Loop.h"

namespace {

struct Delivery {
    HWND wnd;
    UINT msg;
    WPARAM wParam;
    bool operator==(const Delivery&) const = default;
};

// A window that records what it receives; extra runs after recording.
class Recorder {
public:
    explicit Recorder(std::function<void(TMessage&)> extra = {})
    {
        wnd = AllocateHWnd([this, extra](TMessage& m) {
            log->push_back({wnd, m.Msg, m.WParam});
            if (extra)
                extra(m);
        });
    }
    ~Recorder() { DeallocateHWnd(wnd); }

    HWND wnd = 0;
    std::shared_ptr<std::vector<Delivery>> log = std::make_shared<std::vector<Delivery>>();
};

class MessagesTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SuspendQueueDispatch(false);
        ProcessMessages();
        ResetHooks();
    }
};

TEST_F(MessagesTest, PostedMessagesArriveInOrderAcrossWindows)
{
    auto shared = std::make_shared<std::vector<Delivery>>();
    Recorder a, b;
    a.log = b.log = shared;
    const std::vector<Delivery> posted = {
        {a.wnd, WM_USER + 1, 1}, {b.wnd, WM_USER + 2, 2}, {a.wnd, WM_USER + 3, 3}, {b.wnd, WM_USER + 1, 4}};
    for (const Delivery& d : posted)
        ASSERT_TRUE(PostMessage(d.wnd, d.msg, d.wParam, 0));
    EXPECT_EQ(PendingMessageCount(), posted.size());
    ASSERT_TRUE(RunUntil([&] { return shared->size() == posted.size(); }));
    EXPECT_EQ(*shared, posted);
    EXPECT_EQ(PendingMessageCount(), 0u);
}

TEST_F(MessagesTest, HandlesAreNeverReused)
{
    const HWND first = AllocateHWnd([](TMessage&) {});
    DeallocateHWnd(first);
    const HWND second = AllocateHWnd([](TMessage&) {});
    EXPECT_NE(first, 0u);
    EXPECT_GT(second, first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));
    DeallocateHWnd(second);
}

TEST_F(MessagesTest, MessagesForAFreedWindowAreDropped)
{
    auto survivor = std::make_unique<Recorder>();
    auto doomed = std::make_unique<Recorder>();
    const HWND doomedWnd = doomed->wnd;
    auto doomedLog = doomed->log;
    PostMessage(doomedWnd, WM_USER, 1, 0);
    PostMessage(survivor->wnd, WM_USER, 2, 0);
    PostMessage(doomedWnd, WM_USER, 3, 0);
    doomed.reset();
    EXPECT_EQ(PendingMessageCount(), 1u);
    EXPECT_FALSE(PostMessage(doomedWnd, WM_USER, 4, 0));
    EXPECT_EQ(SendMessage(doomedWnd, WM_USER, 5, 0), 0);
    ASSERT_TRUE(RunUntil([&] { return survivor->log->size() == 1; }));
    ASSERT_TRUE(RunUntilPostedMessagesDispatched());  // past the doomed window's messages
    EXPECT_TRUE(doomedLog->empty());
    EXPECT_EQ(survivor->log->size(), 1u);
}

TEST_F(MessagesTest, HandlerMayFreeItsOwnWindow)
{
    // The handler owns state that must live until it returns, and then go.
    auto state = std::make_shared<int>(0);
    std::weak_ptr<int> watch = state;
    HWND wnd = 0;
    int calls = 0;
    wnd = AllocateHWnd([state, &wnd, &calls](TMessage&) {
        ++calls;
        DeallocateHWnd(wnd);
        *state += 1;  // still alive here
    });
    state.reset();
    PostMessage(wnd, WM_USER, 0, 0);
    PostMessage(wnd, WM_USER, 1, 0);
    ASSERT_TRUE(RunUntil([&] { return calls > 0; }));
    ASSERT_TRUE(RunUntilPostedMessagesDispatched());  // past the second message
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_TRUE(watch.expired());
}

TEST_F(MessagesTest, ProcessMessagesReentersWithoutLossOrDuplicates)
{
    // The first message pumps from inside its handler, twice, and posts more
    // on the way; every message arrives once and in posting order.
    std::vector<WPARAM> order;
    HWND wnd = 0;
    wnd = AllocateHWnd([&](TMessage& m) {
        order.push_back(m.WParam);
        if (m.WParam == 0) {
            PostMessage(wnd, WM_USER, 100, 0);
            ProcessMessages();
            PostMessage(wnd, WM_USER, 101, 0);
            ProcessMessages();
        } else if (m.WParam == 2) {
            ProcessMessages();  // nested two deep
        }
    });
    for (WPARAM i = 0; i < 5; ++i)
        PostMessage(wnd, WM_USER, i, 0);
    ASSERT_TRUE(RunUntil([&] { return order.size() == 7; }));
    ASSERT_TRUE(RunUntilPostedMessagesDispatched());
    EXPECT_EQ(order, (std::vector<WPARAM>{0, 1, 2, 3, 4, 100, 101}));
    DeallocateHWnd(wnd);
}

TEST_F(MessagesTest, ProcessMessagesReturnsWhileHandlersKeepPosting)
{
    int count = 0;
    HWND wnd = 0;
    wnd = AllocateHWnd([&](TMessage&) {
        ++count;
        PostMessage(wnd, WM_USER, 0, 0);
    });
    PostMessage(wnd, WM_USER, 0, 0);
    ProcessMessages();  // must come back despite the endless chain
    EXPECT_GE(count, 1);
    DeallocateHWnd(wnd);
    EXPECT_EQ(PendingMessageCount(), 0u);
}

TEST_F(MessagesTest, QtEventLoopDrainsTheQueueInBatches)
{
    // Driven by a plain Qt event loop: the queue empties, and a Qt timer due
    // at once gets its turn before a long queue is through.
    constexpr int kCount = 1000;
    int delivered = 0;
    int deliveredWhenTimerRan = -1;
    QEventLoop loop;
    const HWND wnd = AllocateHWnd([&](TMessage&) {
        if (++delivered == kCount)
            loop.quit();
    });
    for (int i = 0; i < kCount; ++i)
        PostMessage(wnd, WM_USER, 0, 0);
    QTimer::singleShot(0, [&] { deliveredWhenTimerRan = delivered; });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(delivered, kCount);
    EXPECT_GE(deliveredWhenTimerRan, 0);
    EXPECT_LT(deliveredWhenTimerRan, kCount);
    DeallocateHWnd(wnd);
}

TEST_F(MessagesTest, SendMessageCallsAtOnceAndReturnsResult)
{
    std::vector<UINT> seen;
    const HWND wnd = AllocateHWnd([&](TMessage& m) {
        seen.push_back(m.Msg);
        m.Result = static_cast<LRESULT>(m.WParam) + m.LParam;
    });
    PostMessage(wnd, WM_USER + 1, 0, 0);
    EXPECT_EQ(SendMessage(wnd, WM_USER + 2, 40, 2), 42);
    EXPECT_EQ(seen, std::vector<UINT>{WM_USER + 2});  // the posted one still waits
    EXPECT_EQ(PendingMessageCount(), 1u);
    DeallocateHWnd(wnd);
}

TEST_F(MessagesTest, PostFromWorkerThreadArrivesOnGuiThread)
{
    std::atomic<int> received{0};
    std::vector<WPARAM> order;
    bool onGuiThread = true;
    QThread* gui = QThread::currentThread();
    const HWND wnd = AllocateHWnd([&](TMessage& m) {
        onGuiThread = onGuiThread && QThread::currentThread() == gui;
        order.push_back(m.WParam);
        ++received;
    });
    constexpr int kCount = 200;
    std::thread worker([wnd] {
        for (int i = 0; i < kCount; ++i)
            PostMessage(wnd, WM_USER, static_cast<WPARAM>(i), 0);
    });
    ASSERT_TRUE(RunUntil([&] { return received == kCount; }));
    worker.join();
    EXPECT_TRUE(onGuiThread);
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(order[static_cast<size_t>(i)], static_cast<WPARAM>(i));
    DeallocateHWnd(wnd);
}

TEST_F(MessagesTest, WaitAndProcessWakesOnPostFromAnotherThread)
{
    bool got = false;
    const HWND wnd = AllocateHWnd([&](TMessage&) { got = true; });
    std::thread worker([wnd] { PostMessage(wnd, WM_USER, 0, 0); });
    ASSERT_TRUE(RunUntil([&] { return got; }));
    worker.join();
    DeallocateHWnd(wnd);
}

TEST_F(MessagesTest, ExceptionInPostedHandlerGoesToErrorBoxAndLoopGoesOn)
{
    std::vector<std::string> errors;
    GetHooks().errorBox = [&](const std::string& message) { errors.push_back(message); };
    std::vector<WPARAM> order;
    const HWND wnd = AllocateHWnd([&](TMessage& m) {
        order.push_back(m.WParam);
        if (m.WParam == 1)
            throw std::runtime_error("broken handler");
    });
    PostMessage(wnd, WM_USER, 1, 0);
    PostMessage(wnd, WM_USER, 2, 0);
    ASSERT_TRUE(RunUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(errors, std::vector<std::string>{"broken handler"});
    EXPECT_THROW(SendMessage(wnd, WM_USER, 1, 0), std::runtime_error);
    DeallocateHWnd(wnd);
}

TEST_F(MessagesTest, TimerFiresThroughQueueWithOnePendingAtMost)
{
    Recorder r;
    ASSERT_TRUE(SetTimer(r.wnd, 7, 10));
    SuspendQueueDispatch(true);
    // Let several intervals pass with nothing dispatched: one WM_TIMER waits.
    ASSERT_TRUE(RunIntervals(10, 8));
    EXPECT_EQ(PendingMessageCount(), 1u);
    EXPECT_TRUE(r.log->empty());
    SuspendQueueDispatch(false);
    ASSERT_TRUE(RunUntil([&] { return r.log->size() >= 3; }));
    for (const Delivery& d : *r.log)
        EXPECT_EQ(d, (Delivery{r.wnd, WM_TIMER, 7}));
    EXPECT_TRUE(KillTimer(r.wnd, 7));
    EXPECT_FALSE(KillTimer(r.wnd, 7));
}

TEST_F(MessagesTest, KillTimerStopsItAndDropsThePendingTick)
{
    Recorder r;
    ASSERT_TRUE(SetTimer(r.wnd, 1, 10));
    ASSERT_TRUE(SetTimer(r.wnd, 2, 10));
    SuspendQueueDispatch(true);
    ASSERT_TRUE(RunUntil([] { return PendingMessageCount() == 2; }));
    PostMessage(r.wnd, WM_TIMER, 1, 0);  // posted by hand: not the timer's, stays
    EXPECT_TRUE(KillTimer(r.wnd, 1));
    EXPECT_EQ(PendingMessageCount(), 2u);
    SuspendQueueDispatch(false);
    ASSERT_TRUE(RunUntil([&] { return r.log->size() >= 4; }));
    int fromTimerOne = 0;
    for (const Delivery& d : *r.log)
        fromTimerOne += d.wParam == 1;
    EXPECT_EQ(fromTimerOne, 1);  // only the hand-posted one
}

TEST_F(MessagesTest, FreeingTheWindowStopsItsTimers)
{
    auto r = std::make_unique<Recorder>();
    const HWND wnd = r->wnd;
    ASSERT_TRUE(SetTimer(wnd, 1, 10));
    SuspendQueueDispatch(true);
    ASSERT_TRUE(RunUntil([] { return PendingMessageCount() == 1; }));
    r.reset();
    EXPECT_EQ(PendingMessageCount(), 0u);
    EXPECT_FALSE(KillTimer(wnd, 1));
    EXPECT_FALSE(SetTimer(wnd, 1, 10));
}

TEST_F(MessagesTest, TimerHandlerMayKillItsTimerAndFreeItsWindow)
{
    int ticks = 0;
    HWND wnd = 0;
    wnd = AllocateHWnd([&](TMessage& m) {
        if (m.Msg != WM_TIMER)
            return;
        ++ticks;
        KillTimer(wnd, m.WParam);
        DeallocateHWnd(wnd);
    });
    ASSERT_TRUE(SetTimer(wnd, 3, 10));
    ASSERT_TRUE(RunUntil([&] { return ticks > 0; }));
    ASSERT_TRUE(RunIntervals(10, 3));  // its next ticks were due by then
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(IsWindow(wnd));
}

}  // namespace

TEST_F(MessagesTest, PostAndDispatchRunsWhatIsQueuedBeforeReturning)
{
    // A source's callback posts; what was queued before it runs first, what
    // it posted runs before PostAndDispatch returns, and what the handlers
    // post waits for a later round. Suspended, nothing runs until resumed.
    std::vector<WPARAM> order;
    HWND wnd = 0;
    wnd = AllocateHWnd([&](TMessage& m) {
        order.push_back(m.WParam);
        if (m.WParam == 2)
            PostMessage(wnd, WM_USER, 3, 0);
    });
    PostMessage(wnd, WM_USER, 1, 0);
    PostAndDispatch([&] { PostMessage(wnd, WM_USER, 2, 0); });
    EXPECT_EQ(order, (std::vector<WPARAM>{1, 2}));
    EXPECT_EQ(PendingMessageCount(), 1u);
    ASSERT_TRUE(RunUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order.back(), 3u);

    SuspendQueueDispatch(true);
    PostAndDispatch([&] { PostMessage(wnd, WM_USER, 4, 0); });
    EXPECT_EQ(order.size(), 3u);
    SuspendQueueDispatch(false);
    ASSERT_TRUE(RunUntil([&] { return order.size() == 4; }));

    // A callback that throws after posting leaves no message stranded.
    EXPECT_THROW(PostAndDispatch([&] {
                     PostMessage(wnd, WM_USER, 5, 0);
                     throw std::runtime_error("source failed");
                 }),
                 std::runtime_error);
    QCoreApplication::sendPostedEvents();  // its dispatch is posted: no timer or other post needed
    ASSERT_EQ(order.size(), 5u);
    EXPECT_EQ(order.back(), 5u);
    DeallocateHWnd(wnd);
}
