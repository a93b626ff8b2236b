#include "platform/Hooks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Shell.h"
#include "support/Loop.h"

namespace {

class HooksTest : public ::testing::Test {
protected:
    void TearDown() override { ResetHooks(); }
};

TEST_F(HooksTest, ReplacedHooksAreCalledAndResetRestoresDefaults)
{
    std::vector<MessageBoxCall> boxes;
    std::vector<std::string> errors;
    GetHooks().messageBox = [&](const MessageBoxCall& call) {
        boxes.push_back(call);
        return IDNO;
    };
    GetHooks().errorBox = [&](const std::string& message) { errors.push_back(message); };
    GetHooks().tickCount = [] { return 0xFFFFFFF0u; };

    EXPECT_EQ(ShowMessageBox("Delete it?", "Confirm", MB_YESNO | MB_ICONQUESTION), IDNO);
    ShowErrorBox("Disk full");
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Delete it?");
    EXPECT_EQ(boxes[0].caption, "Confirm");
    EXPECT_EQ(boxes[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(errors, std::vector<std::string>{"Disk full"});

    ResetHooks();
    using BoxFn = int (*)(const MessageBoxCall&);
    EXPECT_NE(GetHooks().messageBox.target<BoxFn>(), nullptr);
    EXPECT_NE(GetTickCount(), 0xFFFFFFF0u);
}

// Presses a button of the message box that is about to open, and records
// what the box showed.
struct BoxDriver {
    QMessageBox::StandardButton press;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;

    void Arm()
    {
        auto* poll = new QTimer;
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, [this, poll] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible())
                    continue;
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                if (QAbstractButton* b = box->button(press))
                    b->click();
                else
                    box->reject();
                poll->deleteLater();
                return;
            }
        });
        poll->start();
    }
};

struct BoxCase {
    unsigned flags;
    QMessageBox::StandardButton press;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    int answer;
};

TEST_F(HooksTest, DefaultMessageBoxMapsFlagsAndAnswers)
{
    const BoxCase cases[] = {
        {MB_OK, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::NoIcon, IDOK},
        {MB_OKCANCEL | MB_ICONINFORMATION, QMessageBox::Cancel, QMessageBox::Ok | QMessageBox::Cancel,
         QMessageBox::Information, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Yes, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question,
         IDYES},
        {MB_YESNO | MB_ICONERROR, QMessageBox::No, QMessageBox::Yes | QMessageBox::No, QMessageBox::Critical, IDNO},
        {MB_YESNOCANCEL | MB_ICONWARNING, QMessageBox::Cancel,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Warning, IDCANCEL},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.flags);
        BoxDriver driver{c.press, {}, {}, QMessageBox::NoIcon, {}};
        driver.Arm();
        // Bytes are Windows-1252: 0x80 is the euro sign, 0xE9 an e acute.
        EXPECT_EQ(ShowMessageBox("Price \x80 caf\xE9", "Caption", c.flags), c.answer);
        EXPECT_EQ(driver.title, "Caption");
        EXPECT_EQ(driver.text, QString::fromUtf8("Price \u20AC caf\u00E9"));
        EXPECT_EQ(driver.icon, c.icon);
        EXPECT_EQ(driver.buttons, c.buttons);
    }
}

TEST_F(HooksTest, DefaultErrorBoxIsCriticalUnderTheApplicationsTitle)
{
    SetErrorBoxCaption("Tenvarel v1.0");
    BoxDriver driver{QMessageBox::Ok, {}, {}, QMessageBox::NoIcon, {}};
    driver.Arm();
    ShowErrorBox("File not found");
    EXPECT_EQ(driver.title, "Tenvarel v1.0");
    EXPECT_EQ(driver.text, "File not found");
    EXPECT_EQ(driver.icon, QMessageBox::Critical);

    // Without a title, the program's name.
    SetErrorBoxCaption("");
    driver.Arm();
    ShowErrorBox("File not found");
    EXPECT_EQ(driver.title, QCoreApplication::applicationName());
}

TEST_F(HooksTest, DefaultClockIsLocalDaysSince1899)
{
    const QDateTime local = QDateTime::currentDateTime();
    const double expected = QDate(1899, 12, 30).daysTo(local.date()) + local.time().msecsSinceStartOfDay() / 86400000.0;
    EXPECT_NEAR(GetHooks().now(), expected, 2.0 / 86400);
}

TEST_F(HooksTest, DefaultTickCountCountsMilliseconds)
{
    // The counter is the monotonic clock in whole milliseconds: read between
    // two readings of that clock, and around the clock's own move of 30 ms, it
    // moves by no less than that and no more than the clock did.
    using namespace std::chrono;
    auto clockMs = [] { return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count(); };
    const long long clockStart = clockMs();
    const std::uint32_t start = GetTickCount();
    const long long clockAfterStart = clockMs();
    while (clockMs() - clockAfterStart < 30)  // until the clock itself has moved 30 ms
        std::this_thread::yield();
    const std::uint32_t elapsed = GetTickCount() - start;  // wraps like the real counter
    const long long clockElapsed = clockMs() - clockStart;
    EXPECT_GE(elapsed, 30u);
    EXPECT_LE(elapsed, static_cast<std::uint32_t>(clockElapsed));
}

struct NameCase {
    const char* host;
    int error;
    const char* address;  // expected among the results, or nullptr
};

TEST_F(HooksTest, DefaultResolverAnswersLocallyKnownNames)
{
    // Only names the machine answers itself: nothing goes to a name server.
    const NameCase cases[] = {
        {"localhost", 0, "127.0.0.1"},
        {"127.0.0.1", 0, "127.0.0.1"},
        {"127.1.2.3", 0, "127.1.2.3"},
        {"no-such-host.invalid", 11001, nullptr},
        {"NO-SUCH-HOST.INVALID.", 11001, nullptr},
        {"", 11001, nullptr},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.host);
        const ResolveResult r = GetHooks().resolveName(c.host);
        EXPECT_EQ(r.error, c.error);
        if (c.address) {
            EXPECT_FALSE(r.officialName.empty());
            EXPECT_NE(std::find(r.addresses.begin(), r.addresses.end(), inet_addr(c.address)), r.addresses.end());
        } else {
            EXPECT_TRUE(r.addresses.empty());
        }
    }
}

TEST_F(HooksTest, DefaultReverseResolverNamesLoopback)
{
    const ResolveResult r = GetHooks().resolveAddress(inet_addr("127.0.0.1"));
    EXPECT_EQ(r.error, 0);
    EXPECT_FALSE(r.officialName.empty());
    EXPECT_EQ(r.addresses, std::vector<std::uint32_t>{inet_addr("127.0.0.1")});
}

bool FileHolds(const std::string& path, const std::string& text)
{
    std::ifstream in(path);
    std::string line;
    return std::getline(in, line) && line == text;
}

TEST_F(HooksTest, DefaultStartProcessRunsDetachedInTheDirectory)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    ProcessStartCall call{"/bin/sh", {"-c", "pwd > where.txt"}, folder};
    ASSERT_TRUE(GetHooks().startProcess(call));
    ASSERT_TRUE(RunUntil([&] { return FileHolds(folder + "/where.txt", folder); }));
    // The program is not our child: nothing is left for us to reap.
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    EXPECT_FALSE(GetHooks().startProcess({"/no/such/program", {}, ""}));
    EXPECT_FALSE(GetHooks().startProcess({"/bin/sh", {"-c", "true"}, folder + "/missing"}));
    EXPECT_FALSE(GetHooks().startProcess({"", {}, ""}));
}

struct ShellCase {
    const char* name;
    const char* verb;
    std::string file;
    const char* params;
    int result;
    std::vector<std::string> started;  // program then arguments; empty: nothing started
};

TEST_F(HooksTest, ShellExecuteOpensThroughTheShellHook)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string report = folder + "/report.html";
    const std::string program = folder + "/prog";
    std::ofstream(report) << "<html>";
    std::ofstream(program) << "#!/bin/sh\n";
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);

    std::vector<ProcessStartCall> starts;
    GetHooks().startProcess = [&](const ProcessStartCall& call) {
        starts.push_back(call);
        return true;
    };
    const ShellCase cases[] = {
        {"url", "open", "http://127.0.0.1/x?a=1", "", 42, {"xdg-open", "http://127.0.0.1/x?a=1"}},
        {"empty verb", "", "mailto:me@example.invalid", "", 42, {"xdg-open", "mailto:me@example.invalid"}},
        {"file", "open", report, "", 42, {"xdg-open", report}},
        {"relative file", "open", "report.html", "", 42, {"xdg-open", "report.html"}},
        {"program", "open", "prog", "-u \"two words\" x", 42, {program, "-u", "two words", "x"}},
        {"missing file", "open", folder + "/none.html", "", SE_ERR_NOASSOC, {}},
        {"other verb", "print", report, "", SE_ERR_NOASSOC, {}},
        {"no file", "open", "", "", SE_ERR_FNF, {}},
    };
    for (const ShellCase& c : cases) {
        SCOPED_TRACE(c.name);
        starts.clear();
        EXPECT_EQ(ShellExecute(0, c.verb, c.file, c.params, folder, SW_SHOWNORMAL), c.result);
        if (c.started.empty()) {
            EXPECT_TRUE(starts.empty());
            continue;
        }
        ASSERT_EQ(starts.size(), 1u);
        std::vector<std::string> got{starts[0].program};
        got.insert(got.end(), starts[0].args.begin(), starts[0].args.end());
        EXPECT_EQ(got, c.started);
        EXPECT_EQ(starts[0].directory, folder);
    }

    GetHooks().shellOpen = [](const ShellOpenCall&) { return false; };
    EXPECT_LE(ShellExecute(0, "open", "http://127.0.0.1/", "", "", SW_SHOWNORMAL), 32);
}

}  // namespace
