// The three builds of the HTTP client engine differ only in these rows; each
// row runs against every build and names what each must show.
#include <arpa/inet.h>

#include <functional>
#include <gtest/gtest.h>

#include "platform/Hooks.h"
#include "transport/HttpTestHelpers.h"

namespace {

struct Row {
    const char* name;
    std::function<std::string(THttpProbe&, HttpEventLog&, HttpTestServer&)> run;
    const char* expected[3];  // main program, submission, updater
};

ResolveResult NoNames(const std::string&)
{
    ResolveResult r;
    r.error = 11001;
    return r;
}

std::string RunGet(THttpProbe& cli, HttpEventLog& log, const std::string& url, int timeoutMs = 5000)
{
    cli.URL = url;
    cli.StartRequest(httpGET);
    if (!log.WaitDone(1, timeoutMs)) {
        cli.Abort();
        log.WaitDone();
        return "still running";
    }
    return std::to_string(log.error);
}

}  // namespace

TEST(HttpBuilds, DifferencesTable)
{
    GetHooks().resolveName = NoNames;
    HttpTestServer server;
    server.Script("/dir/?q", HttpTestReply::Ok("q"));
    HttpTestReply zeroOpen = HttpTestReply::Ok("", "");
    zeroOpen.ending = HttpTestReply::Ending::Hold;
    server.Script("/zero-open", zeroOpen);
    HttpTestReply zeroMoved = HttpTestReply::Redirect("/next");
    zeroMoved.body.clear();
    server.Script("/zero-moved", zeroMoved);
    server.Script("/next", HttpTestReply::Ok("next"));
    server.Script("/post", HttpTestReply::Redirect("/after"));
    server.Script("/after", HttpTestReply::Ok("after"));
    server.Script("/dir/a.htm", HttpTestReply::Redirect("./b.htm"));
    server.Script("/dir/b.htm", HttpTestReply::Ok("b"));
    server.Script("/moved", HttpTestReply::Redirect("/next"));
    server.Script("/half", HttpTestReply::Raw("HTTP/1.0 200 OK\r\nX-A: b\r\n"));

    const Row rows[] = {
        {"document name of /dir/?q",
         [](THttpProbe& cli, HttpEventLog& log, HttpTestServer& s) {
             RunGet(cli, log, s.Url("/dir/?q"));
             return cli.DocumentName();
         },
         {"dir", "", ""}},
        {"content-length 0 on a connection left open",
         [](THttpProbe& cli, HttpEventLog& log, HttpTestServer& s) {
             return RunGet(cli, log, s.Url("/zero-open"), 300);
         },
         {"0", "still running", "still running"}},
        {"302 with content-length 0",
         [](THttpProbe& cli, HttpEventLog& log, HttpTestServer& s) {
             RunGet(cli, log, s.Url("/zero-moved"));
             return std::to_string(cli.HttpStatus());
         },
         {"302", "200", "200"}},
        {"a relocated POST",
         [](THttpProbe& cli, HttpEventLog& log, HttpTestServer& s) {
             TMemoryStream post;
             post.WriteBuffer("a=1", 3);
             post.SetPosition(0);
             cli.PostStream = &post;
             cli.URL = s.Url("/post");
             cli.StartRequest(httpPOST);
             log.WaitDone();
             cli.PostStream = nullptr;
             const HttpTestRequest second = s.Request(1);
             return second.method + " " + second.Header("Content-Length") + " " + second.body;
         },
         {"GET  ", "POST 3 a=1", "POST 3 a=1"}},
        {"header lines after a relocation",
         [](THttpProbe& cli, HttpEventLog& log, HttpTestServer& s) {
             RunGet(cli, log, s.Url("/moved"));
             return std::to_string(cli.HeaderLines().Count());
         },
         {"3", "6", "6"}},
        {"connection ends inside the header",
         [](THttpProbe& cli, HttpEventLog& log, HttpTestServer& s) {
             const std::string error = RunGet(cli, log, s.Url("/half"));
             return log.Joined(false).find("hend") != std::string::npos ? "hend " + error : error;
         },
         {"hend 6", "6", "6"}},
        {"a LocalAddr that is no address",
         [](THttpProbe& cli, HttpEventLog& log, HttpTestServer& s) {
             cli.LocalAddr = "300.1.1.1";
             return RunGet(cli, log, s.Url("/next")) == "0" ? "fetched" : "failed";
         },
         {"failed", "fetched", "fetched"}},
        {"relocation to ./b.htm",
         [](THttpProbe& cli, HttpEventLog& log, HttpTestServer& s) { return RunGet(cli, log, s.Url("/dir/a.htm")); },
         {"0", "11001", "11001"}},
    };

    const THttpBuild* builds[] = {&HttpBuildMain, &HttpBuildSubmission, &HttpBuildUpdater};
    for (const Row& row : rows) {
        for (int b = 0; b < 3; ++b) {
            server.ClearRequests();
            THttpProbe cli(*builds[b]);
            HttpEventLog log(cli);
            EXPECT_EQ(row.run(cli, log, server), row.expected[b]) << row.name << " / " << builds[b]->name;
        }
    }
    ResetHooks();
}
