// The submission run's tests share this: an installation whose engine file
// holds engines played by loopback servers, the program started in it, the
// message boxes recorded, the clock and the date format pinned.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/SocketWitness.h"
#include "support/TinyProxy.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MainFixture.h"
#include "classlib/CheckListBox.h"
#include "classlib/Dates.h"
#include "classlib/ListView.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "workbench/ProjectData.h"
#include "workbench/SubmitMain.h"

// One engine of the test's engine file.
struct TestEngine {
    std::string name;
    std::string type = "Engine";
    std::string referer;
    std::string url;
    std::string method = "GET";
    // (field number, form field name): the title and the URL by default.
    std::vector<std::pair<int, std::string>> fields = {{4, "title"}, {5, "url"}};

    static TestEngine Get(std::string name, std::string url)
    {
        TestEngine e;
        e.name = std::move(name);
        e.url = std::move(url);
        return e;
    }
    static TestEngine Post(std::string name, std::string url)
    {
        TestEngine e = Get(std::move(name), std::move(url));
        e.method = "POST";
        return e;
    }
    // "name=" and the 38 fields, each ended by "|".
    std::string Record() const
    {
        std::vector<std::string> values(38);
        values[0] = type;
        values[1] = referer;
        values[2] = url;
        values[20] = method;
        for (const auto& [field, text] : fields)
            values[std::size_t(field - 1)] = text;
        std::string out = name + "=";
        for (const std::string& v : values)
            out += v + "|";
        return out;
    }
};

// Names that sort in their number's order.
inline std::string EngineName(std::size_t i)
{
    char name[32];
    std::snprintf(name, sizeof name, "E%04zu", i);
    return name;
}

// Engines E0000 to E<count - 1> of the server, each on its own path /e<i>.
inline std::vector<TestEngine> NumberedEngines(const HttpTestServer& server, int count)
{
    std::vector<TestEngine> engines;
    for (int i = 0; i < count; ++i)
        engines.push_back(TestEngine::Get(EngineName(std::size_t(i)), server.Url("/e" + std::to_string(i))));
    return engines;
}

// A reply that never comes: its request stays in flight until it is aborted.
inline HttpTestReply HeldReply()
{
    HttpTestReply held;
    held.ending = HttpTestReply::Ending::Hold;
    held.holdBeforeReply = true;
    return held;
}

// Many requests at once need many descriptors: the client's and the server's end of each.
inline void RaiseOpenFileLimit(rlim_t wanted)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min(wanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// What the Date column shows with the clock and the formats pinned below.
inline constexpr const char* PinnedDateText = "12/9/2026 10:30:00";

class SubmitRunFixture : public ::testing::Test {
protected:
    TInstallFolder folder;
    TBoxRecorder boxes;
    std::unique_ptr<TRunningProgram> program;

    void SetUp() override
    {
        FormatSettings().ShortDateFormat = "m/d/yyyy";
        FormatSettings().LongTimeFormat = "hh:nn:ss";
        FormatSettings().DateSeparator = '/';
        FormatSettings().TimeSeparator = ':';
        GetHooks().now = [] { return EncodeDate(2026, 12, 9) + EncodeTime(10, 30, 0, 0); };
        FPostWindow = AllocateHWnd([this](TMessage& msg) {
            if (msg.WParam < FPosted.size() && FPosted[msg.WParam]) {
                auto action = std::move(FPosted[msg.WParam]);
                action();
            }
        });
    }
    void TearDown() override
    {
        program.reset();
        DeallocateHWnd(FPostWindow);
        ResetFormatSettings();
        EXPECT_TRUE(boxes.Errors.empty()) << (boxes.Errors.empty() ? "" : boxes.Errors.front());
    }

    // Writes the engine file and the options, and starts the program.
    void Start(const std::vector<TestEngine>& engines, int ports, int timeout)
    {
        std::vector<std::string> records;
        for (const TestEngine& e : engines)
            records.push_back(e.Record());
        folder.Write("data/data.czc", ScrambledEngineFile(records));
        folder.Write("data/datac.czc", ScrambledEngineFile({}));
        folder.Write("wkt.ini", "[rur]\r\napp=Tenvarel\r\nversion=1.0\r\nhome=http://www.example.com/tenvarel\r\n\r\n"
                                "[SubOptions]\r\nPorts=" +
                                    std::to_string(ports) + "\r\nTimeout=" + std::to_string(timeout) +
                                    "\r\n\r\n[Reports]\r\nGenReport=0\r\n");
        program = std::make_unique<TRunningProgram>(folder);
        SubmitMain->GenReportCk->SetChecked(false);
    }
    void Restart(const std::vector<TestEngine>& engines, int ports, int timeout)
    {
        program.reset();
        boxes.Boxes.clear();
        for (const char* name : {"Shop", "First", "Second", "Third"})
            DeleteProjectFile(folder.Path(), name);
        Start(engines, ports, timeout);
    }

    // Saves the project and puts it in the project list.
    void AddProject(const ProjectRecord& project, bool checked)
    {
        WriteProjectFile(folder.Path(), project);
        TStrings* names = SubmitMain->SesList->Items();
        if (names->IndexOf(project.SessionName) < 0)
            names->Add(project.SessionName);
        SubmitMain->SesList->SetChecked(names->IndexOf(project.SessionName), checked);
    }

    // The shop project checked in the project list and every engine row checked.
    void ReadyShopProject()
    {
        AddProject(ShopProject(), true);
        CheckAllRows();
    }

    void CheckAllRows()
    {
        TListItems* rows = SubmitMain->ExListView2->Items();
        for (int i = 0; i < rows->Count(); ++i)
            rows->Item(i)->SetChecked(true);
    }

    const MessageBoxCall* FindBox(const std::string& caption) const
    {
        for (const MessageBoxCall& box : boxes.Boxes)
            if (box.caption == caption)
                return &box;
        return nullptr;
    }
    bool HasBox(const std::string& caption) const { return FindBox(caption) != nullptr; }
    int CountBoxes(const std::string& caption) const
    {
        int n = 0;
        for (const MessageBoxCall& box : boxes.Boxes)
            n += box.caption == caption;
        return n;
    }

    // Submits the shop project to `engines` numbered engines of server, whose
    // replies never come, and waits until the first `ports` requests hang.
    void SubmitIntoHeldReplies(HttpTestServer& server, int engines, int ports)
    {
        server.SetDefault(HeldReply());
        Start(NumberedEngines(server, engines), ports, 40);
        ReadyShopProject();
        PressSubmit();
        ASSERT_TRUE(RunUntil(
            [&] { return server.InFlight() == ports && server.RequestCount() == std::size_t(ports); },
            10000));
    }

    // Waits for the end of a run that sent `requests` requests, every one a
    // success, and checks that it ended once with nothing left in flight.
    void ExpectOneCompleteRun(const HttpTestServer& server, int requests)
    {
        ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));
        ASSERT_TRUE(SocketWitness().Await());  // past what the run's connections still told
        EXPECT_EQ(CountBoxes("Submission Complete"), 1);
        EXPECT_EQ(server.RequestCount(), std::size_t(requests));
        EXPECT_EQ(SucceededCount(), std::to_string(requests));
        EXPECT_EQ(SubmitMain->InFlight(), 0);
    }

    // Runs the action from the message queue, at the first message processing after now.
    void PostToLoop(std::function<void()> action)
    {
        FPosted.push_back(std::move(action));
        PostMessage(FPostWindow, WM_USER, FPosted.size() - 1, 0);
    }

private:
    HWND FPostWindow = 0;
    std::vector<std::function<void()>> FPosted;
};
