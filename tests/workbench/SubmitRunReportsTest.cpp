// The submission run with its reports (two projects in one run) and through
// an HTTP proxy (tinyproxy), switched on and off in the proxy window.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "SubmitRunFixture.h"
#include "classlib/BasicControls.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "transport/StHttpProt.h"
#include "workbench/LiveResult.h"
#include "workbench/Proxyset.h"

namespace {

std::string ReportOf(const std::string& project, const std::vector<std::vector<std::string>>& rows)
{
    std::string r;
    const auto line = [&](const std::string& text) { r += text + "\r\n"; };
    line("<BLOCKQUOTE><P ALIGN=\"center\"><B><FONT SIZE=\"5\" COLOR=\"#00779E\">");
    line("Submission Results");
    line("</FONT><FONT COLOR=\"#2400AA\" SIZE=\"5\"><BR>");
    line("<A HREF=\"http://www.example.com/tenvarel\" TARGET=\"_top\"></A><BR>");
    line("</FONT></B><FONT SIZE=\"3\" COLOR=\"#00639D\"></FONT></P> </BLOCKQUOTE>");
    line("<center><b><FONT SIZE=\"5\" COLOR=\"#00779E\">http://shop.example.com/?a=1&amp;b=2 (" + project +
         ")</font></b></center><br>");
    line("<table border=\"1\" cellspacing=\"0\" width=\"100%\">");
    line("<tr><td BGCOLOR=\"#C0C0C0\"><B>Buscador</B></td>");
    line("<td BGCOLOR=\"#C0C0C0\"><B>URL</B></td>");
    line("<td BGCOLOR=\"#C0C0C0\"><B>Resultado</B></td>");
    line("<td BGCOLOR=\"#C0C0C0\"><B>Fecha</B></td>");
    line("<td BGCOLOR=\"#C0C0C0\"><B>Tipo</B></td></tr>");
    for (const auto& row : rows) {
        line("<tr><td>" + row[0] + "&nbsp;</td>");
        line("<td><A HREF=\"" + row[1] + "\">" + row[1] + "</A>&nbsp;</td>");
        line("<td>" + row[2] + "&nbsp;</td>");
        line("<td>" + std::string(PinnedDateText) + "&nbsp;</td>");
        line("<td>Engine&nbsp;</td></tr>");
    }
    line("</table>");
    return r;
}

}  // namespace

TEST_F(SubmitRunFixture, TwoProjectsInOneRunEachWithItsReport)
{
    HttpTestServer server;
    server.Script("/a", HttpTestReply::Ok("ok"));
    server.Script("/b", HttpTestReply::Status("HTTP/1.0 404 Not <Found>"));
    server.Script("/c", HttpTestReply::Ok("ok"));
    TestEngine a = TestEngine::Get("A", server.Url("/a"));
    a.referer = "http://a.example.com/add.html";
    TestEngine b = TestEngine::Get("B", server.Url("/b"));
    b.referer = "http://b.example.com/";
    TestEngine c = TestEngine::Get("C", server.Url("/c"));
    Start({a, b, c}, 10, 40);
    SubmitMain->GenReportCk->SetChecked(true);
    SubmitMain->HeaderCk->SetChecked(false);
    SubmitMain->FooterCk->SetChecked(false);
    SubmitMain->TitleRepCk->SetChecked(true);
    SubmitMain->TitleRep->SetText("Submission Results");
    ProjectRecord first = ShopProject();
    first.SessionName = "First";
    ProjectRecord second = ShopProject();
    second.SessionName = "Second";
    second.title = "Another";
    AddProject(first, true);
    AddProject(second, true);
    CheckAllRows();
    RowOf("C")->SetChecked(false);  // unchecked rows stay out of the report

    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));

    // Each project went to both engines once, with its own values.
    ASSERT_EQ(server.RequestCount(), 4u);
    EXPECT_NE(server.Request(0).target.find("title=Tom"), std::string::npos);
    EXPECT_NE(server.Request(3).target.find("title=Another"), std::string::npos);

    const std::vector<std::vector<std::string>> rows = {{"A", "http://a.example.com/add.html", "OK"},
                                                        {"B", "http://b.example.com/", "Not &lt;Found&gt;"}};
    EXPECT_EQ(folder.Read("reports/First12-9-2026.htm"), ReportOf("First", rows));
    EXPECT_EQ(folder.Read("reports/Second12-9-2026.htm"), ReportOf("Second", rows));
    // The second project started with fresh counters, and both lost their check marks.
    EXPECT_EQ(SucceededCount(), "1");
    EXPECT_EQ(FailedCount(), "1");
    EXPECT_FALSE(SubmitMain->SesList->Checked(0));
    EXPECT_FALSE(SubmitMain->SesList->Checked(1));
    EXPECT_EQ(CountBoxes("Submission Complete"), 1);
}

TEST_F(SubmitRunFixture, SubmissionsGoThroughTheProxyUntilItIsSwitchedOff)
{
    TinyProxy proxy("joe", "secret");
    ASSERT_TRUE(proxy.Running()) << "tinyproxy did not start";
    HttpTestServer server;
    server.SetDefault(HttpTestReply::Ok("ok"));
    TestEngine get = TestEngine::Get("A Get", server.Url("/get"));
    TestEngine post = TestEngine::Post("B Post", server.Url("/post"));
    Start({get, post}, 10, 40);

    Proxyset->HttpProxy->SetText("127.0.0.1");
    Proxyset->HttpPort->SetText(std::to_string(proxy.Port()));
    Proxyset->HttpUsername->SetText("joe");
    Proxyset->HttpPass->SetText("secret");
    Proxyset->RadioButton2->SetChecked(true);
    Proxyset->Button1->Click();

    ReadyShopProject();
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 15000));
    EXPECT_EQ(RowOf("A Get")->SubItemRef(1), "OK");
    EXPECT_EQ(RowOf("B Post")->SubItemRef(1), "OK");
    ASSERT_EQ(server.RequestCount(), 2u);
    for (const HttpTestRequest& r : server.Requests()) {
        EXPECT_TRUE(r.HasHeader("Via")) << r.head;
        EXPECT_FALSE(r.HasHeader("Proxy-Authorization")) << r.head;
    }

    // Off: the very next run goes direct, without restarting anything.
    Proxyset->RadioButton3->SetChecked(true);
    Proxyset->Button1->Click();
    server.ClearRequests();
    boxes.Boxes.clear();
    AddProject(ShopProject(), true);
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 15000));
    ASSERT_EQ(server.RequestCount(), 2u);
    for (const HttpTestRequest& r : server.Requests())
        EXPECT_FALSE(r.HasHeader("Via")) << r.head;
    EXPECT_EQ(LiveResult->HttpCli1->Proxy, "");
}
