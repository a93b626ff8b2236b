// The proxy window of the real program: [Proxy] stored as typed, handed to
// every client at once, and a real request through tinyproxy with basic
// authentication made by a client that got its proxy that way.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "support/TinyProxy.h"
#include <optional>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/IniFiles.h"
#include "classlib/Menus.h"
#include "classlib/Skin.h"
#include "controls/ImgBtn.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/UserClick.h"
#include "transport/HttpProt.h"
#include "transport/StHttpProt.h"
#include "workbench/CustomDatabase.h"
#include "workbench/LiveResult.h"
#include "workbench/Proxyset.h"
#include "workbench/SubmitMain.h"

namespace fs = std::filesystem;

namespace {

struct TProxyOfClient {
    std::string host, port, user, password;
    bool operator==(const TProxyOfClient&) const = default;
};

void PrintTo(const TProxyOfClient& p, std::ostream* os)
{
    *os << "{" << p.host << ", " << p.port << ", " << p.user << ", " << p.password << "}";
}

TProxyOfClient ProxyOf(const TCustomHttpCli& client)
{
    return {client.Proxy, client.ProxyPort, client.ProxyUsername, client.ProxyPassword};
}

// Every client that goes out to the web with the user's proxy.
std::vector<std::pair<const char*, TProxyOfClient>> ProxiesOfClients()
{
    const ProxySettings& submit = LiveResult->SubmitProxy();
    std::vector<std::pair<const char*, TProxyOfClient>> clients = {
        {"HttpMap", ProxyOf(*SubmitMain->HttpMap)},
        {"HttpRank", ProxyOf(*SubmitMain->HttpRank)},
        {"HttpCli1", ProxyOf(*LiveResult->HttpCli1)},
        {"submission requests",
         submit.on ? TProxyOfClient{submit.host, submit.port, submit.userName, submit.password} : TProxyOfClient{"", "80", "", ""}},
    };
    auto* wizard = dynamic_cast<TCustomHttpCli*>(CustomDatabase->FindComponent("Http1"));
    EXPECT_NE(wizard, nullptr);
    if (wizard)
        clients.push_back({"Http1", ProxyOf(*wizard)});
    return clients;
}

void ExpectEveryClient(const TProxyOfClient& expected)
{
    for (const auto& [name, proxy] : ProxiesOfClients())
        EXPECT_EQ(proxy, expected) << name;
}

void Type(const char* host, const char* port, const char* user, const char* password, bool on)
{
    Proxyset->HttpProxy->SetText(host);
    Proxyset->HttpPort->SetText(port);
    Proxyset->HttpUsername->SetText(user);
    Proxyset->HttpPass->SetText(password);
    (on ? Proxyset->RadioButton2 : Proxyset->RadioButton3)->SetChecked(true);
}

std::string ProxySection(const TInstallFolder& folder)
{
    TStringList lines;
    TIniFile(folder.File("wkt.ini")).ReadSectionValues("Proxy", lines);
    return lines.Text();
}

class ProxyWindow : public ::testing::Test {
protected:
    ProxyWindow() { Start(); }
    void Restart()
    {
        program.reset();
        Start();
    }
    void Start()
    {
        program.emplace(folder);
        // The wizard's page client, until the wizard builds its own.
        if (!CustomDatabase->FindComponent("Http1"))
            (new THttpCli(CustomDatabase))->Name = "Http1";
        SubmitMain->Show();  // loads the proxy settings
    }

    TInstallFolder folder;
    TBoxRecorder boxes;
    std::optional<TRunningProgram> program;
};

TEST_F(ProxyWindow, FreshSettingsShowNoProxy)
{
    for (TEdit* field : {Proxyset->HttpProxy, Proxyset->HttpPort, Proxyset->HttpUsername, Proxyset->HttpPass})
        EXPECT_EQ(field->Text(), "") << field->Name;
    EXPECT_TRUE(Proxyset->RadioButton3->Checked());
    EXPECT_EQ(Proxyset->RadioButton3->Caption(), "I am not behind a firewall or proxy");
    EXPECT_FALSE(Proxyset->RadioButton2->Checked());
    ExpectEveryClient({"", "80", "", ""});
}

TEST_F(ProxyWindow, StoreHandsTheProxyToEveryClientAndOffTakesEffectAtOnce)
{
    Proxyset->Show();
    Type("proxy.example", "3128", "joe", "p&ss w=rd", true);
    Proxyset->Button1->Click();

    // Stored as typed, the password in plain text, in this key order.
    EXPECT_EQ(ProxySection(folder), "ProxyHost=proxy.example\r\nProxyPassword=p&ss w=rd\r\nProxyPort=3128\r\n"
                                    "ProxyUserName=joe\r\nKeyProxy=1\r\n");
    ExpectEveryClient({"proxy.example", "3128", "joe", "p&ss w=rd"});
    EXPECT_TRUE(Proxyset->Showing());  // the window stays open

    // Off: stored as off, and no client keeps the proxy until a restart.
    Proxyset->RadioButton3->SetChecked(true);
    Proxyset->Button1->Click();
    EXPECT_EQ(ProxySection(folder), "ProxyHost=proxy.example\r\nProxyPassword=p&ss w=rd\r\nProxyPort=3128\r\n"
                                    "ProxyUserName=joe\r\nKeyProxy=0\r\n");
    ExpectEveryClient({"", "80", "", ""});
    EXPECT_EQ(Proxyset->HttpProxy->Text(), "proxy.example");  // the fields keep what was typed

    // The next start shows what was stored; on again, the clients get it.
    Restart();
    EXPECT_EQ(Proxyset->HttpProxy->Text(), "proxy.example");
    EXPECT_EQ(Proxyset->HttpPort->Text(), "3128");
    EXPECT_EQ(Proxyset->HttpUsername->Text(), "joe");
    EXPECT_EQ(Proxyset->HttpPass->Text(), "p&ss w=rd");
    EXPECT_TRUE(Proxyset->RadioButton3->Checked());
    ExpectEveryClient({"", "80", "", ""});
    Proxyset->RadioButton2->SetChecked(true);
    Proxyset->Button1->Click();
    ExpectEveryClient({"proxy.example", "3128", "joe", "p&ss w=rd"});
    Restart();
    EXPECT_TRUE(Proxyset->RadioButton2->Checked());
    ExpectEveryClient({"proxy.example", "3128", "joe", "p&ss w=rd"});
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(boxes.Errors.empty());
}

// A settings file its user made read-only is not replaced by either window's
// save: the save tells why, as for a folder that can't be written, and stores
// none of its keys.
TEST_F(ProxyWindow, AReadOnlySettingsFileIsNotReplaced)
{
    const std::string path = folder.File("wkt.ini");
    const std::string before = folder.Read("wkt.ini");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string refusal = "Cannot create file \"" + path + "\". Permission denied.";

    Proxyset->Show();
    Type("proxy.example", "3128", "joe", "secret", true);
    ClickAt(Proxyset->Button1, 5, 5);
    EXPECT_EQ(boxes.Errors, std::vector<std::string>{refusal});

    LiveResult->TimeOuts->SetText("20");
    LiveResult->Ports->SetText("5");
    ClickAt(LiveResult->Button1, 5, 5);
    EXPECT_EQ(boxes.Errors, (std::vector<std::string>{refusal, refusal}));
    EXPECT_EQ(SubmitMain->Run().Options.Timeout, 40);
    EXPECT_EQ(SubmitMain->Run().Options.Ports, 10);

    EXPECT_EQ(folder.Read("wkt.ini"), before);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ExpectEveryClient({"", "80", "", ""});

    // Writable again: one save stores all five keys.
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    ClickAt(Proxyset->Button1, 5, 5);
    EXPECT_EQ(ProxySection(folder), "ProxyHost=proxy.example\r\nProxyPassword=secret\r\nProxyPort=3128\r\n"
                                    "ProxyUserName=joe\r\nKeyProxy=1\r\n");
    EXPECT_EQ(boxes.Errors.size(), 2u);
    boxes.Errors.clear();
}

// A port that no connection could use is refused at Save, naming the field,
// and nothing of the window is stored or handed on; the ports a socket takes
// are stored.
TEST_F(ProxyWindow, SaveRefusesAPortThatIsNotOneAndStoresNothing)
{
    Proxyset->Show();
    Type("proxy.example", "3128", "joe", "secret", true);
    Proxyset->Button1->Click();
    const std::string stored = folder.Read("wkt.ini");
    for (const char* port : {"99999", "abc", "0", "65536", "-1", "31 28", "3128x", "$C38", "+3128", "1e3"}) {
        SCOPED_TRACE(port);
        boxes.Boxes.clear();
        Type("other.example", port, "ann", "other", true);
        Proxyset->Button1->Click();
        EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{
                                   {"Port must be a whole number from 1 to 65535, not \"" + std::string(port) + "\".",
                                    "Proxy Settings", MB_OK | MB_ICONEXCLAMATION}}));
        EXPECT_EQ(folder.Read("wkt.ini"), stored);
        ExpectEveryClient({"proxy.example", "3128", "joe", "secret"});
        EXPECT_EQ(Proxyset->HttpPort->Text(), port);  // left for the user to mend
    }
    boxes.Boxes.clear();
    for (const char* port : {"1", "65535", "8080", " 3129 "}) {
        SCOPED_TRACE(port);
        Type("proxy.example", port, "joe", "secret", true);
        Proxyset->Button1->Click();
        EXPECT_TRUE(boxes.Boxes.empty());
        EXPECT_EQ(TIniFile(folder.File("wkt.ini")).ReadString("Proxy", "ProxyPort", "none"), Trim(port));
        ExpectEveryClient({"proxy.example", Trim(port), "joe", "secret"});
    }
}

TEST_F(ProxyWindow, MenuShowsTheWindowAndItsSkin)
{
    SubmitMain->Proxy1->Click();
    EXPECT_TRUE(Proxyset->Showing());
    EXPECT_EQ(Proxyset->Caption(), "Proxy Settings");
    EXPECT_EQ(Proxyset->SkinForm1->SkinPath, folder.Path() + "/Vov-EZ.skn");
}

// --- through a real proxy ------------------------------------------------------------------------

// One GET by the main window's page import client; its status.
int FetchWithHttpMap(const std::string& url)
{
    THttpCli& client = *SubmitMain->HttpMap;
    bool done = false;
    client.OnRequestDone = [&](TObject*, THttpRequest, std::uint16_t) { done = true; };
    client.URL = url;
    client.GetAsync();
    EXPECT_TRUE(RunUntil([&] { return done; }, 10000));
    client.OnRequestDone = nullptr;
    return client.HttpStatus();
}

TEST_F(ProxyWindow, RequestGoesThroughTinyproxyWithBasicAuth)
{
    TinyProxy proxy("joe", "secret", "ViaProxyName \"tenvarel-test\"\n");
    ASSERT_TRUE(proxy.Running()) << "tinyproxy did not start";
    HttpTestServer server;
    server.Script("/page", HttpTestReply::Ok("<html>far</html>"));

    Type("127.0.0.1", std::to_string(proxy.Port()).c_str(), "joe", "secret", true);
    Proxyset->Button1->Click();
    EXPECT_EQ(FetchWithHttpMap(server.Url("/page")), 200);
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Request(0).Header("Via").find("tenvarel-test"), std::string::npos);
    EXPECT_FALSE(server.Request(0).HasHeader("Proxy-Authorization"));

    // Switched off, the very next request goes direct.
    Proxyset->RadioButton3->SetChecked(true);
    Proxyset->Button1->Click();
    EXPECT_EQ(FetchWithHttpMap(server.Url("/page")), 200);
    ASSERT_EQ(server.RequestCount(), 2u);
    EXPECT_FALSE(server.Request(1).HasHeader("Via"));
    EXPECT_EQ(server.Request(1).target, "/page");
}

}  // namespace
