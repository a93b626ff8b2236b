// Line mode and the synchronous wait, on a connected pair of TWSocket.
#include <gtest/gtest.h>

#include "classlib/Forms.h"
#include "classlib/Timer.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "support/Loop.h"
#include "support/PeerSockets.h"
#include "support/SocketWitness.h"
#include "transport/WSocket.h"

namespace {

class LineModeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.OnAccept = [this](TWSocket& s) {
            s.OnDataAvailable = [this, &s](TObject*, std::uint16_t) { echoed += s.ReceiveText(); };
        };
        client.OnDataAvailable = [this](TObject*, std::uint16_t) { lines.push_back(client.ReceiveText()); };
        client.OnSessionClosed = [this](TObject*, std::uint16_t) { closed = true; };
        PeerAim(client, server.port);
        client.Connect();
        ASSERT_TRUE(RunUntil([&] { return client.State() == wsConnected && !server.accepted.empty(); }));
        client.SetLineMode(true);
    }
    void TearDown() override { SetWSocketTerminatedCheck(nullptr); }

    TWSocket& End() { return server.Last(); }

    PeerListener server;
    TWSocket client;
    std::vector<std::string> lines;
    std::string echoed;
    bool closed = false;
};

TEST_F(LineModeTest, OneLinePerEventTheRestHeld)
{
    End().SendStr("ab\r\ncd");
    ASSERT_TRUE(RunUntil([&] { return lines.size() == 1 && client.HeldCount() == 2; }));
    EXPECT_EQ(lines[0], "ab\r\n");
    End().SendStr("\r\nef\r\ngh");
    ASSERT_TRUE(RunUntil([&] { return lines.size() == 3; }));
    EXPECT_EQ(lines[1], "cd\r\n");
    EXPECT_EQ(lines[2], "ef\r\n");
    EXPECT_EQ(client.HeldCount(), 2);
}

TEST_F(LineModeTest, ATerminatorSplitAcrossReceptionsIsFound)
{
    End().SendStr("ab\r");
    ASSERT_TRUE(RunUntil([&] { return client.HeldCount() == 3; }));
    EXPECT_TRUE(lines.empty());
    End().SendStr("\ncd");
    ASSERT_TRUE(RunUntil([&] { return lines.size() == 1; }));
    EXPECT_EQ(lines[0], "ab\r\n");
    EXPECT_EQ(client.HeldCount(), 2);

    client.LineEnd = "END";
    End().SendStr("xE");
    ASSERT_TRUE(RunUntil([&] { return client.HeldCount() == 4; }));
    End().SendStr("ND");
    ASSERT_TRUE(RunUntil([&] { return lines.size() == 2; }));
    EXPECT_EQ(lines[1], "cdxEND");
}

TEST_F(LineModeTest, LineLimit)
{
    struct Case {
        const char* name;
        bool keep;
    };
    for (const Case& c : {Case{"discarded", false}, Case{"kept by the handler", true}}) {
        SCOPED_TRACE(c.name);
        lines.clear();
        client.LineLimit = 10;
        std::vector<int> exceeded;
        client.OnLineLimitExceeded = [&](TObject*, int count, bool& clearData) {
            EXPECT_TRUE(clearData);
            exceeded.push_back(count);
            if (c.keep)
                clearData = false;
        };
        End().SendStr("123456789012");
        ASSERT_TRUE(RunUntil([&] { return !exceeded.empty(); }));
        EXPECT_EQ(exceeded[0], 12);
        EXPECT_EQ(client.HeldCount(), c.keep ? 12 : 0);
        End().SendStr("\r\n");
        ASSERT_TRUE(RunUntil([&] { return lines.size() == 1; }));
        EXPECT_EQ(lines[0], c.keep ? "123456789012\r\n" : "\r\n");
    }
}

TEST_F(LineModeTest, EchoAndEditing)
{
    struct Case {
        const char* name;
        bool edit;
        std::string sent;
        std::string line;
        std::string echo;
    };
    const Case cases[] = {
        {"echo only", false, "ab\bc\r\n", "ab\bc\r\n", "ab\bc\r\n"},
        {"backspace", true, "ab\bc\r\n", "ac\r\n", "ab\b \bc\r\n"},
        {"tab", true, "a\tb\r\n", "a       b\r\n", "a       b\r\n"},
        {"tab after eight", true, "12345678\tx\r\n", "12345678        x\r\n", "12345678        x\r\n"},
        {"backspace at the start", true, "\bz\r\n", "z\r\n", "z\r\n"},
    };
    client.LineEcho = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lines.clear();
        echoed.clear();
        client.LineEdit = c.edit;
        End().SendStr(c.sent);
        ASSERT_TRUE(RunUntil([&] { return lines.size() == 1 && echoed.size() >= c.echo.size(); }));
        EXPECT_EQ(lines[0], c.line);
        EXPECT_EQ(echoed, c.echo);
    }
}

TEST_F(LineModeTest, HeldBytesAreDeliveredAgainAfterAModeChange)
{
    End().SendStr("partial");
    ASSERT_TRUE(RunUntil([&] { return client.HeldCount() == 7; }));
    client.SetLineMode(false);
    EXPECT_TRUE(lines.empty()) << "redelivery comes from the message loop";
    ASSERT_TRUE(RunUntil([&] { return lines.size() == 1; }));
    EXPECT_EQ(lines[0], "partial");

    // Switched off inside the handler: the rest comes as it is.
    lines.clear();
    client.SetLineMode(true);
    client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        lines.push_back(client.ReceiveText());
        if (lines.size() == 1)
            client.SetLineMode(false);
    };
    End().SendStr("one\r\ntwo\r\nrest");
    ASSERT_TRUE(RunUntil([&] { return !lines.empty() && client.HeldCount() == 0 && lines.back().find("rest") != std::string::npos; }));
    EXPECT_EQ(lines[0], "one\r\n");
    std::string rest;
    for (std::size_t i = 1; i < lines.size(); ++i)
        rest += lines[i];
    EXPECT_EQ(rest, "two\r\nrest");
}

TEST_F(LineModeTest, AHandlerThatDoesNotReadGetsEachLineOnce)
{
    int calls = 0;
    client.OnDataAvailable = [&](TObject*, std::uint16_t) { ++calls; };
    End().SendStr("a\r\nb\r\n");
    ASSERT_TRUE(RunUntil([&] { return calls == 2 && client.HeldCount() == 0; }));
    ASSERT_TRUE(SocketWitness().Await());
    EXPECT_EQ(calls, 2);
}

TEST_F(LineModeTest, TheLastBytesAreALineWhenTheConnectionCloses)
{
    End().SendStr("line\r\nlast");
    End().Close();
    ASSERT_TRUE(RunUntil([&] { return closed; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"line\r\n", "last"}));
    EXPECT_EQ(client.HeldCount(), 0);
}

TEST_F(LineModeTest, AllThatWaitsIsTakenAsOneReception)
{
    // The peer's bytes are all in before the socket hears of them (it is
    // paused until they are): however many reads they take, the lines come
    // one per event and in order, an unfinished line over the limit is
    // reported once at its whole length, and a close after the data comes
    // after the last line, the unfinished rest being that line.
    std::string lineRun;
    std::vector<std::string> runLines;
    for (int i = 0; i < 300; ++i) {
        runLines.push_back("line " + std::to_string(i) + std::string(40, '.') + "\r\n");
        lineRun += runLines.back();
    }
    const std::string longLine = std::string(10000, 'x') + "\r\n";
    struct Case {
        const char* name;
        std::string sent;
        bool peerCloses;
        std::vector<std::string> lines;
        std::vector<int> exceeded;
    };
    const Case cases[] = {
        {"one line longer than a read", longLine, false, {longLine}, {}},
        {"many lines in many reads", lineRun, false, runLines, {}},
        {"an unfinished line over the limit", std::string(20000, 'y'), false, {}, {20000}},
        {"lines, the rest and the peer's close", lineRun + "rest", true, {}, {}},
    };
    std::vector<int> exceeded;
    client.OnLineLimitExceeded = [&](TObject*, int count, bool&) { exceeded.push_back(count); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lines.clear();
        exceeded.clear();
        client.LineLimit = c.exceeded.empty() ? 0 : 10;
        client.SetLineMode(false);
        client.Pause();
        End().SendStr(c.sent);
        if (c.peerCloses)
            End().Close();
        ASSERT_TRUE(RunUntil([&] { return client.RcvdCount() == static_cast<int>(c.sent.size()); }));
        client.SetLineMode(true);
        client.Resume();
        std::vector<std::string> expected = c.lines;
        if (c.peerCloses) {
            expected = runLines;
            expected.push_back("rest");
            ASSERT_TRUE(RunUntil([&] { return closed; }));
        } else if (!c.exceeded.empty()) {
            ASSERT_TRUE(RunUntil([&] { return !exceeded.empty(); }));
            ASSERT_TRUE(SocketWitness().Await());
        } else {
            ASSERT_TRUE(RunUntil([&] { return lines.size() >= expected.size(); }));
        }
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(exceeded, c.exceeded);
        EXPECT_EQ(client.HeldCount(), 0);
    }
}

TEST_F(LineModeTest, WaitForFlagEndsByFlagTimeOutOrTermination)
{
    bool answered = false;
    client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        lines.push_back(client.ReceiveText());
        answered = true;
    };
    server.Last().OnDataAvailable = [this](TObject*, std::uint16_t) {
        const CodePageString text = End().ReceiveText();
        End().SendStr("re: " + text);
    };
    EXPECT_EQ(client.CallAndWait([&] { client.SendStr("ping\r\n"); }, answered), 0);
    EXPECT_EQ(lines.back(), "re: ping\r\n");

    bool never = false;
    client.WaitTimeout = 100;
    const std::uint32_t start = GetTickCount();
    EXPECT_EQ(client.WaitForFlag(never), 12001);
    EXPECT_GE(GetTickCount() - start, 100u);

    client.WaitTimeout = 0;
    SetWSocketTerminatedCheck([] { return true; });
    EXPECT_EQ(client.WaitForFlag(never), 12001);
}

// Application->Terminate from a handler run inside the wait ends it, with the
// private pump of a multithreaded socket as with the application's. A timer
// sets the flag a second later: a wait that missed the termination ends with 0.
TEST(SyncWSocketTest, WaitForFlagEndsWhenTheApplicationTerminates)
{
    for (const bool multiThreaded : {false, true}) {
        SCOPED_TRACE(multiThreaded ? "private pump" : "application's pump");
        TWSocket waiter;
        waiter.MultiThreaded = multiThreaded;
        bool flag = false;
        TTimer late(nullptr);
        late.SetInterval(1000);
        late.OnTimer = [&](TObject*) { flag = true; };
        const HWND window = AllocateHWnd([](TMessage&) { Application->Terminate(); });
        PostMessage(window, WM_USER, 0, 0);
        late.SetEnabled(true);
        EXPECT_EQ(waiter.WaitForFlag(flag), 12001);
        EXPECT_TRUE(Application->Terminated());
        DeallocateHWnd(window);
        Application->Reset();
    }
}

}  // namespace
