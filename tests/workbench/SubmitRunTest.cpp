// The submission run end to end through the real windows, headless: engines
// played by loopback servers (many engines on a few servers, each engine its
// own path and scripted reply), the rows, the LED counters, the bound on
// requests in flight, Stop, the project queue and the re-entrant paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MainFixture.h"
#include "SubmitRunFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/TabbedNotebook.h"
#include "classlib/Timer.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "support/Assertions.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/SocketWitness.h"
#include "workbench/LiveResult.h"
#include "workbench/SubmitMain.h"

namespace {

// Replies by kind, and what the row and the counters show for each.
struct ReplyCase {
    const char* kind;
    HttpTestReply reply;
    const char* result;  // nullptr: checked by prefix below
    int image;
    int led;  // 2 successful, 3 failed, 4 timed out
};

}  // namespace

TEST_F(SubmitRunFixture, EveryReplyKindGivesItsRowAndCounter)
{
    HttpTestServer a;
    HttpTestServer b;
    const HttpTestReply held = HeldReply();
    HttpTestReply reset;
    reset.ending = HttpTestReply::Ending::ResetNoReply;
    HttpTestReply emptyReason = HttpTestReply::Status("HTTP/1.0 200");

    const std::vector<ReplyCase> cases = {
        {"200", HttpTestReply::Ok("<html>thanks</html>"), "OK", 2, 2},
        {"empty reason", emptyReason, "OK", 2, 2},
        {"302", HttpTestReply::Redirect("/thanks"), "OK", 2, 2},
        {"303", HttpTestReply::Redirect("/thanks", "HTTP/1.0 303 See Other"), "OK", 2, 2},
        {"404", HttpTestReply::Status("HTTP/1.0 404 Not Found"), "Not Found", 0, 3},
        // The whole header in one read, with no reason text.
        {"404 empty reason", HttpTestReply::Raw("HTTP/1.0 404\r\n\r\n"), "404", 0, 3},
        {"500", HttpTestReply::Status("HTTP/1.0 500 Internal Server Error"), "Internal Server Error", 0, 3},
        {"held past Timeout", held, "Request Timeout", 3, 4},
        {"refused", {}, nullptr, 0, 3},
        {"reset", reset, nullptr, 0, 3},
    };
    const int closedPort = FreeLoopbackPort();
    std::vector<TestEngine> engines;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        HttpTestServer& server = i % 2 ? b : a;
        const std::string path = "/e" + std::to_string(i);
        std::string url = server.Url(path);
        if (std::string(cases[i].kind) == "refused")
            url = "http://127.0.0.1:" + std::to_string(closedPort) + path;
        else
            server.Script(path, cases[i].reply);
        engines.push_back(TestEngine::Get(EngineName(i), url));
    }
    a.Script("/thanks", HttpTestReply::Ok("done"));
    // A batch row stands for its N sites in the counter.
    a.Script("/batch", HttpTestReply::Ok("ok"));
    TestEngine batch = TestEngine::Get("Z Batch", a.Url("/batch"));
    batch.type = "Batch->10";
    engines.push_back(batch);
    TestEngine empty = TestEngine::Get("Z Empty Batch", a.Url("/batch"));
    empty.type = "Batch->0";  // a batch of no sites counts none
    engines.push_back(empty);

    Start(engines, /*ports=*/10, /*timeout=*/1);
    ReadyShopProject();
    PressSubmit();
    // Everything but the held request ends on its own; the time-out ticks
    // are driven here rather than waited for.
    ASSERT_TRUE(RunUntil([&] { return LiveResult->RunningCount() == 1; }, 10000));
    for (int tick = 0; tick < 3 && !HasBox("Submission Complete"); ++tick) {
        LiveResult->Timer5Timer(nullptr);
        RunUntil([&] { return HasBox("Submission Complete"); }, 200);
    }
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 5000));

    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].kind);
        TListItem* row = RowOf(EngineName(i));
        ASSERT_NE(row, nullptr);
        const std::string result = row->SubItemRef(1);
        if (cases[i].result)
            EXPECT_EQ(result, cases[i].result);
        else
            EXPECT_NE(result.find("(Error #"), std::string::npos) << result;
        EXPECT_EQ(row->ImageIndex(), cases[i].image);
        EXPECT_EQ(row->SubItemRef(2), PinnedDateText);
    }
    const int successful = 4 + 10 + 0;
    EXPECT_EQ(SucceededCount(), std::to_string(successful));
    EXPECT_EQ(FailedCount(), "5");
    EXPECT_EQ(TimedOutCount(), "1");
    EXPECT_EQ(RowOf("Z Batch")->SubItemRef(1), "OK");
    EXPECT_EQ(RowOf("Z Empty Batch")->SubItemRef(1), "OK");

    // The run is over: Submit again possible, the project unchecked, nothing in flight.
    EXPECT_TRUE(SubmitEnabled());
    EXPECT_FALSE(StopSubmissionEnabled());
    EXPECT_EQ(SubmitMain->InFlight(), 0);
    EXPECT_EQ(LiveResult->RunningCount(), 0);
    EXPECT_FALSE(SubmitMain->SesList->Checked(0));
    EXPECT_FALSE(LiveResult->Timer5->Enabled());
    EXPECT_EQ(CountBoxes("Submission Complete"), 1);
    const MessageBoxCall* done = FindBox("Submission Complete");
    EXPECT_EQ(done->text, "Your Submission is Complete");
}

TEST_F(SubmitRunFixture, RequestsAreExact)
{
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    TestEngine post = TestEngine::Post("A Post", server.Url("/cgi-bin/add"));
    post.referer = "http://127.0.0.1/add.html";
    post.fields = {{4, "title"}, {5, "url"}, {6, "email"}, {7, "desc"}, {8, "cat"}, {9, "Cat1"},
                   {10, "name"}, {11, "&lang=en x"}, {12, "last"}, {22, "kw"}, {38, "country"}};
    TestEngine get = TestEngine::Get("B Get", server.Url("/ffa/add"));
    get.referer = "http://127.0.0.1/ffa/";
    get.fields = {{5, "u"}, {8, "c"}, {9, "Cat3"}};
    Start({post, get}, 10, 40);
    // The category map is installation data and goes out as stored.
    folder.Write("data/catagory.zro", "[SubCat1]\r\nBusiness=biz&1\r\n[SubCat3]\r\nBusiness=B3\r\n");
    ProjectRecord shop = ShopProject();
    AddProject(shop, true);
    CheckAllRows();
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));

    ASSERT_EQ(server.RequestCount(), 2u);
    std::map<std::string, HttpTestRequest> byPath;
    for (const HttpTestRequest& r : server.Requests())
        byPath[r.target.substr(0, r.target.find('?'))] = r;
    const std::string body =
        "title=Tom+%26+Jerry%27s+100%25+shop&url=http%3A%2F%2Fshop.example.com%2F%3Fa%3D1%26b%3D2"
        "&email=tom%2Bshop%40example.com&desc=Fine+goods&cat=biz&1&name=Tom&lang=en+x&last=Cat"
        "&kw=cats%2C+mice&country=US";
    EXPECT_EQ(byPath["/cgi-bin/add"].raw,
              "POST /cgi-bin/add HTTP/1.0\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
              "Referer: http://127.0.0.1/add.html\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "User-Agent: Mozilla/3.0 (compatible)\r\n"
              "Host: 127.0.0.1\r\n"
              "Content-Length: " +
                  std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(byPath["/ffa/add"].raw,
              "GET /ffa/add?&u=http%3A%2F%2Fshop.example.com%2F%3Fa%3D1%26b%3D2&c=B3 HTTP/1.0\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
              "Referer: http://127.0.0.1/ffa/\r\n"
              "User-Agent: Mozilla/3.0 (compatible)\r\n"
              "Host: 127.0.0.1\r\n\r\n");
}

// Two records may share a name; each row goes out with its own record.
TEST_F(SubmitRunFixture, EnginesSharingANameEachSendTheirOwnRecord)
{
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    TestEngine ads = TestEngine::Get("Twin", server.Url("/ads"));
    ads.type = "Classified";
    ads.referer = "http://127.0.0.1/ads.html";
    TestEngine search = TestEngine::Get("Twin", server.Url("/search"));
    search.referer = "http://127.0.0.1/search.html";
    Start({ads, search}, 10, 40);
    ASSERT_EQ(SubmitMain->ExListView2->Items()->Count(), 2);
    ReadyShopProject();
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));

    std::vector<std::string> paths;
    for (const HttpTestRequest& r : server.Requests())
        paths.push_back(r.target.substr(0, r.target.find('?')));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"/ads", "/search"}));
}

TEST_F(SubmitRunFixture, NeverMoreThanPortsInFlightAndEveryEntryOnce)
{
    RaiseOpenFileLimit(4096);
    struct Case {
        int ports;
        int engines;
    };
    for (const Case c : {Case{1, 6}, Case{3, 15}, Case{50, 130}}) {
        SCOPED_TRACE("Ports " + std::to_string(c.ports));
        HttpTestServer server;
        HttpTestReply held = HttpTestReply::Ok("ok");
        held.replyOnRelease = true;
        server.SetDefault(held);
        std::vector<TestEngine> engines = NumberedEngines(server, c.engines);
        // One more engine, unchecked: never sent.
        engines.push_back(TestEngine::Get("ZZ Unchecked", server.Url("/unchecked")));
        Restart(engines, c.ports, 40);
        ReadyShopProject();
        RowOf("ZZ Unchecked")->SetChecked(false);

        // Every reply is held until the run has Ports requests waiting at
        // the server; then they all go, and the rest of the run is answered
        // at once, so the bound is both reached and kept.
        int peakClient = 0;
        auto notePeak = [&] {
            peakClient = std::max({peakClient, LiveResult->RunningCount(), SubmitMain->InFlight()});
        };
        PressSubmit();
        ASSERT_TRUE(RunUntil(
            [&] {
                notePeak();
                return server.InFlight() == c.ports && server.RequestCount() == static_cast<std::size_t>(c.ports);
            },
            10000));
        server.Release(c.engines);
        ASSERT_TRUE(RunUntil(
            [&] {
                notePeak();
                return HasBox("Submission Complete");
            },
            10000));
        EXPECT_LE(peakClient, c.ports);
        EXPECT_EQ(server.PeakInFlight(), c.ports);
        std::map<std::string, int> sent;
        for (const HttpTestRequest& r : server.Requests())
            ++sent[r.target.substr(0, r.target.find('?'))];
        EXPECT_EQ(static_cast<int>(sent.size()), c.engines);
        for (const auto& [path, count] : sent)
            EXPECT_EQ(count, 1) << path;
        EXPECT_EQ(sent.count("/unchecked"), 0u);
        EXPECT_EQ(SucceededCount(), std::to_string(c.engines));
        EXPECT_EQ(SubmitMain->InFlight(), 0);
    }
}

TEST_F(SubmitRunFixture, StopWithRequestsRunning)
{
    HttpTestServer server;
    ASSERT_NO_FATAL_FAILURE(SubmitIntoHeldReplies(server, 12, 5));
    EXPECT_EQ(LiveResult->RunningCount(), 5);
    EXPECT_EQ(LiveResult->ListBox4->Items()->Count(), 5);

    PressStopSubmission();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Stopped"); }, 5000));
    EXPECT_EQ(FindBox("Submission Stopped")->text, "Your Submission has been stopped");
    int stopped = 0;
    for (int i = 0; i < 12; ++i) {
        TListItem* row = RowOf(EngineName(i));
        if (row->SubItemRef(1).empty()) {
            EXPECT_EQ(row->ImageIndex(), -1);
            continue;
        }
        EXPECT_EQ(row->SubItemRef(1), "Submission Stopped");
        EXPECT_EQ(row->ImageIndex(), 0);
        ++stopped;
    }
    EXPECT_EQ(stopped, 5);
    EXPECT_EQ(FailedCount(), "5");
    EXPECT_EQ(SubmitMain->InFlight(), 0);
    EXPECT_EQ(LiveResult->RunningCount(), 0);
    EXPECT_EQ(LiveResult->ListBox4->Items()->Count(), 0);
    EXPECT_TRUE(SubmitEnabled());
    EXPECT_FALSE(StopSubmissionEnabled());
    // A stopped project keeps its check mark, ready for the next run.
    EXPECT_TRUE(SubmitMain->SesList->Checked(0));
    ASSERT_TRUE(SocketWitness().Await());  // past what the stopped connections still told
    EXPECT_EQ(CountBoxes("Submission Stopped"), 1);
    EXPECT_EQ(server.RequestCount(), 5u);
}

TEST_F(SubmitRunFixture, SubmitPressedWhileAStopIsFinishingStartsAfterIt)
{
    HttpTestServer server;
    ASSERT_NO_FATAL_FAILURE(SubmitIntoHeldReplies(server, 8, 4));

    // Stop, and Submit at once, while the four aborted requests have not
    // yet come back: the new run waits for them.
    server.SetDefault(HttpTestReply::Ok("ok"));
    PressStopSubmission();
    EXPECT_EQ(SubmitMain->InFlight(), 4);
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));
    EXPECT_EQ(CountBoxes("Submission Stopped"), 1);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(RowOf(EngineName(i))->SubItemRef(1), "OK") << i;
        EXPECT_EQ(RowOf(EngineName(i))->ImageIndex(), 2) << i;
    }
    EXPECT_EQ(SucceededCount(), "8");
    EXPECT_EQ(FailedCount(), "0");
    EXPECT_EQ(SubmitMain->InFlight(), 0);
    EXPECT_EQ(server.RequestCount(), 4u + 8u);
}

TEST_F(SubmitRunFixture, SubmitPressedWhileTheListIsBuiltIsIgnored)
{
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    Start(NumberedEngines(server, 20), 3, 40);
    ReadyShopProject();
    // Queued now, run by the first message processing of the list build.
    int presses = 0;
    PostToLoop([&] {
        ++presses;
        EXPECT_EQ(SubmitMain->RunState(), TSubmitMain::TRunState::Building);
        SubmitMain->Button6Click(SubmitMain->Button6);
    });
    PressSubmit();
    ASSERT_NO_FATAL_FAILURE(ExpectOneCompleteRun(server, 20));
    EXPECT_EQ(presses, 1);
}

TEST_F(SubmitRunFixture, NestedDispatchTakingTheLastEntry)
{
    // Replies that come at once end requests inside the dispatcher's own
    // message processing; their dispatch must not start a second request
    // for the same entry nor end the project while requests still run.
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    std::vector<TestEngine> engines = NumberedEngines(server, 7);
    for (const int ports : {2, 10}) {
        SCOPED_TRACE(ports);
        server.ClearRequests();
        Restart(engines, ports, 40);
        ReadyShopProject();
        // The first pass of the dispatcher pumps messages before each
        // request: one that takes the last entry first comes from here.
        PostToLoop([&] { SubmitMain->DispatchSubmissions(); });
        PressSubmit();
        ASSERT_NO_FATAL_FAILURE(ExpectOneCompleteRun(server, 7));
    }
}

TEST_F(SubmitRunFixture, EngineDeletedDuringARunKeepsEveryResultInItsRow)
{
    HttpTestServer server;
    HttpTestReply slow = HttpTestReply::Ok("ok");
    slow.replyOnRelease = true;
    server.Script("/a", slow);
    server.Script("/b", HttpTestReply::Status("HTTP/1.0 404 Not Found"));
    server.Script("/c", HttpTestReply::Ok("ok"));
    HttpTestReply slowFail = HttpTestReply::Status("HTTP/1.0 500 Oops");
    slowFail.replyOnRelease = true;
    server.Script("/d", slowFail);
    server.Script("/e", HttpTestReply::Status("HTTP/1.0 404 Gone"));
    server.Script("/f", HttpTestReply::Ok("ok"));
    Start({TestEngine::Get("A", server.Url("/a")), TestEngine::Get("B", server.Url("/b")),
           TestEngine::Get("C", server.Url("/c")), TestEngine::Get("D", server.Url("/d")),
           TestEngine::Get("E", server.Url("/e")), TestEngine::Get("F", server.Url("/f"))},
          2, 40);
    ReadyShopProject();
    PressSubmit();
    // A and D run together once B and C are done (the slow ones hold their places).
    ASSERT_TRUE(RunUntil([&] { return server.InFlight() == 2 && server.RequestCount() == 4; }, 10000));
    ASSERT_TRUE(RowOf("A")->ImageIndex() == 1 && RowOf("D")->ImageIndex() == 1);
    // Delete the running A and the waiting E: the rows after them move up.
    TListItems* rows = SubmitMain->ExListView2->Items();
    rows->Delete(RowOf("E")->Index());
    rows->Delete(RowOf("A")->Index());
    EXPECT_EQ(LiveResult->ListBox4->Items()->Strings(0), "-1");
    EXPECT_EQ(LiveResult->ListBox4->Items()->Strings(1), std::to_string(RowOf("D")->Index()));

    server.Release(2);
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));
    EXPECT_EQ(RowOf("B")->SubItemRef(1), "Not Found");
    EXPECT_EQ(RowOf("C")->SubItemRef(1), "OK");
    EXPECT_EQ(RowOf("D")->SubItemRef(1), "Oops");
    EXPECT_EQ(RowOf("F")->SubItemRef(1), "OK");
    EXPECT_EQ(RowOf("F")->ImageIndex(), 2);
    // A still counts: it was sent. E never was.
    EXPECT_EQ(SucceededCount(), "3");
    EXPECT_EQ(FailedCount(), "2");
    for (const HttpTestRequest& r : server.Requests())
        EXPECT_NE(r.target.substr(0, 2), "/e");
    EXPECT_EQ(server.RequestCount(), 5u);
    EXPECT_EQ(SubmitMain->InFlight(), 0);
}

TEST_F(SubmitRunFixture, OptionsOfZeroOrNotANumberAreRefused)
{
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    Start({TestEngine::Get("A", server.Url("/a"))}, 10, 40);
    const std::string settingsBefore = folder.Read("wkt.ini");

    struct Case {
        const char* timeout;
        const char* ports;
        const char* word;  // named in the refusal
    };
    for (const Case c : {Case{"0", "10", "Timeout"}, Case{"-5", "10", "Timeout"}, Case{"abc", "10", "Timeout"},
                         Case{"40", "0", "Ports"}, Case{"40", "x1", "Ports"}, Case{"40", "", "Ports"}}) {
        SCOPED_TRACE(std::string(c.timeout) + " / " + c.ports);
        boxes.Boxes.clear();
        LiveResult->TimeOuts->SetText(c.timeout);
        LiveResult->Ports->SetText(c.ports);
        LiveResult->Button1->Click();
        ASSERT_EQ(boxes.Boxes.size(), 1u);
        EXPECT_NE(boxes.Boxes[0].text.find(c.word), std::string::npos) << boxes.Boxes[0].text;
        EXPECT_EQ(folder.Read("wkt.ini"), settingsBefore);
        EXPECT_EQ(SubmitMain->Run().Options.Ports, 10);
        EXPECT_EQ(SubmitMain->Run().Options.Timeout, 40);
    }

    boxes.Boxes.clear();
    LiveResult->TimeOuts->SetText("20");
    LiveResult->Ports->SetText("1");
    LiveResult->Button1->Click();
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(SubmitMain->Run().Options.Ports, 1);
    EXPECT_EQ(SubmitMain->Run().Options.Timeout, 20);
    const std::string settings = folder.Read("wkt.ini");
    EXPECT_NE(settings.find("[SubOptions]\r\nPorts=1\r\nTimeout=20\r\n"), std::string::npos) << settings;

    // A stored 0 (written by hand) gives no run that starts nothing.
    ReadyShopProject();
    SubmitMain->Run().Options.Ports = 0;
    PressSubmit();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_NE(boxes.Boxes[0].text.find("Ports"), std::string::npos);
    EXPECT_EQ(SubmitMain->RunState(), TSubmitMain::TRunState::Idle);
    EXPECT_TRUE(SubmitEnabled());
    ASSERT_TRUE(SocketWitness().Await());  // a request would have been begun by then
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(SubmitRunFixture, AProjectDeletedWhileQueuedIsSkipped)
{
    HttpTestServer server;
    HttpTestReply held = HttpTestReply::Ok("ok");
    held.replyOnRelease = true;
    server.SetDefault(held);
    Start({TestEngine::Get("A", server.Url("/a")), TestEngine::Get("B", server.Url("/b"))}, 10, 40);
    ProjectRecord first = ShopProject();
    first.SessionName = "First";
    ProjectRecord second = ShopProject();
    second.SessionName = "Second";
    second.title = "second";
    ProjectRecord third = ShopProject();
    third.SessionName = "Third";
    AddProject(first, true);
    AddProject(second, true);
    AddProject(third, true);
    CheckAllRows();
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return server.InFlight() == 2 && server.RequestCount() == 2; }, 10000));
    // Second goes from the list and its file; Third only loses its file.
    TStrings* names = SubmitMain->SesList->Items();
    names->Delete(names->IndexOf("Second"));
    DeleteProjectFile(folder.Path(), "Second");
    DeleteProjectFile(folder.Path(), "Third");

    // Enough for every request a wrong run would send, so it ends and shows.
    server.Release(6);
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));
    EXPECT_EQ(server.RequestCount(), 2u);
    for (const HttpTestRequest& r : server.Requests())
        EXPECT_NE(r.target.find("title=Tom"), std::string::npos) << r.target;
    // The rows keep the first project's results.
    EXPECT_EQ(RowOf("A")->SubItemRef(1), "OK");
    EXPECT_EQ(RowOf("B")->SubItemRef(1), "OK");
    EXPECT_EQ(SucceededCount(), "2");
}

// A checked project whose file is gone when Submit is pressed is skipped:
// submitted, it would send empty values to every engine.
TEST_F(SubmitRunFixture, AProjectWhoseFileIsMissingAtSubmitIsSkipped)
{
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    Start({TestEngine::Get("A", server.Url("/a"))}, 10, 40);
    ProjectRecord first = ShopProject();
    first.SessionName = "First";
    ProjectRecord second = ShopProject();
    second.SessionName = "Second";
    second.title = "second";
    AddProject(first, true);
    AddProject(second, true);
    CheckAllRows();
    DeleteProjectFile(folder.Path(), "First");
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Requests()[0].target.find("title=second"), std::string::npos) << server.Requests()[0].target;
}

TEST_F(SubmitRunFixture, NothingToSubmit)
{
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    Start({TestEngine::Get("A", server.Url("/a"))}, 10, 40);

    // No project saved: told so, and the project page is shown.
    PressSubmit();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].caption, "No Project Selected");
    EXPECT_EQ(boxes.Boxes[0].text,
              "You have no saved Projects to Submit!\n\rPlease go back and save your project before submitting");
    EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), pgProjects);

    // A project, not checked: the project list flashes.
    boxes.Boxes.clear();
    AddProject(ShopProject(), false);
    PressSubmit();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].text, "There is no project selected to submit!\n\rChecking the box beside the Project "
                                   "Name will allow you to submit.\n\r\n\rHint: Select One of the Flashing Projects");
    EXPECT_EQ(SubmitMain->Hint.Target(), TFlashTarget::ProjectList);
    EXPECT_TRUE(SubmitEnabled());

    // Checked, with no engine checked: the project ends at once.
    boxes.Boxes.clear();
    AddProject(ShopProject(), true);
    SubmitMain->ExListView2->Items()->Item(0)->SetChecked(false);
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 5000));
    EXPECT_FALSE(SubmitMain->SesList->Checked(0));
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_EQ(SubmitMain->RunState(), TSubmitMain::TRunState::Idle);

    // A run leaves its results on screen; Submit with no project checked
    // clears them and the counters before it says so.
    SubmitMain->ExListView2->Items()->Item(0)->SetChecked(true);
    SubmitMain->SesList->SetChecked(0, true);
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return CountBoxes("Submission Complete") == 2; }, 5000));
    TListItem* row = RowOf("A");
    ASSERT_EQ(row->SubItemRef(1), "OK");
    ASSERT_EQ(SucceededCount(), "1");
    SubmitMain->LedLabel3->SetText("3");
    SubmitMain->LedLabel4->SetText("2");
    boxes.Boxes.clear();
    PressSubmit();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].caption, "No Project Selected");
    for (TLedLabel* led : {SubmitMain->LedLabel2, SubmitMain->LedLabel3, SubmitMain->LedLabel4})
        EXPECT_EQ(led->Text(), "0") << led->Name;
    EXPECT_EQ(row->SubItemRef(1), "");
    EXPECT_EQ(row->SubItemRef(2), "");
    EXPECT_EQ(row->ImageIndex(), -1);
    EXPECT_EQ(SubmitMain->RunState(), TSubmitMain::TRunState::Idle);
    EXPECT_TRUE(SubmitEnabled());
    EXPECT_FALSE(StopSubmissionEnabled());
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(SubmitRunFixture, StopWhileTheListIsBuiltSendsNothing)
{
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    Start(NumberedEngines(server, 10), 10, 40);
    ReadyShopProject();
    PostToLoop([&] { SubmitMain->Button7Click(SubmitMain->Button7); });
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Stopped"); }, 5000));
    ASSERT_TRUE(SocketWitness().Await());  // a request would have been begun by then
    EXPECT_EQ(CountBoxes("Submission Stopped"), 1);
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_EQ(SubmitMain->RunState(), TSubmitMain::TRunState::Idle);
    EXPECT_TRUE(SubmitEnabled());
    EXPECT_FALSE(StopSubmissionEnabled());
    EXPECT_EQ(SubmitMain->InFlight(), 0);
}

// The largest stored Timeout: the second counter starts there and must not wrap.
TEST_F(SubmitRunFixture, TheLargestTimeoutNeverWrapsTheSecondCounter)
{
    HttpTestServer server;
    server.SetDefault(HeldReply());
    Start({TestEngine::Get("A", server.Url("/a"))}, 10, std::numeric_limits<int>::max());
    ReadyShopProject();
    PressSubmit();
    LiveResult->Timer5->SetEnabled(false);  // ticks are driven here
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 1; }, 5000));
    EXPECT_EQ(LiveResult->Seconds(), std::numeric_limits<int>::max());
    for (int tick = 0; tick < 3; ++tick)
        LiveResult->Timer5Timer(nullptr);
    ASSERT_TRUE(SocketWitness().Await());  // past what the ticks set going
    EXPECT_EQ(LiveResult->Seconds(), std::numeric_limits<int>::max());
    EXPECT_EQ(RowOf("A")->ImageIndex(), 1);  // still running
    PressStopSubmission();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Stopped"); }, 5000));
}

TEST_F(SubmitRunFixture, ARequestTimesOutOnTheTickAfterTimeoutSeconds)
{
    // Timeout 40: a request started as the project begins (second 40) is
    // aborted on the tick at which the counter reaches 81, the oldest first,
    // one per tick.
    HttpTestServer server;
    const HttpTestReply held = HeldReply();
    server.SetDefault(held);
    Start({TestEngine::Get("A", server.Url("/a")), TestEngine::Get("B", server.Url("/b"))}, 10, 40);
    ReadyShopProject();
    SubmitMain->Run().Options.Ports = 1;
    PressSubmit();
    LiveResult->Timer5->SetEnabled(false);  // ticks are driven here
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 1; }, 5000));
    EXPECT_EQ(LiveResult->Seconds(), 40);
    while (LiveResult->Seconds() < 80)
        LiveResult->Timer5Timer(nullptr);
    ASSERT_TRUE(SocketWitness().Await());  // past what the ticks set going
    EXPECT_EQ(RowOf("A")->ImageIndex(), 1);
    LiveResult->Timer5Timer(nullptr);
    ASSERT_TRUE(RunUntil([&] { return !RowOf("A")->SubItemRef(1).empty(); }, 5000));
    EXPECT_EQ(RowOf("A")->SubItemRef(1), "Request Timeout");
    EXPECT_EQ(RowOf("A")->ImageIndex(), 3);
    // B started at 81 and goes at 122.
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 2; }, 5000));
    while (LiveResult->Seconds() < 122)
        LiveResult->Timer5Timer(nullptr);
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 5000));
    EXPECT_EQ(TimedOutCount(), "2");
}
