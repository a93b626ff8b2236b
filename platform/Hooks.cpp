// The production defaults of the hooks: Qt message boxes, xdg-open, the
// system clock, the C library's resolver, a detached process start, the
// desktop's clipboard and the registry file beside the program.
#include "platform/Hooks.h"
#include "platform/Calendar.h"
#include "platform/QtText.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QMessageBox>
#include <QString>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string_view>

namespace {

bool HaveGui()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

struct ButtonAnswer {
    QMessageBox::StandardButton button;
    int answer;
};

int DefaultMessageBox(const MessageBoxCall& call)
{
    const unsigned buttons = call.flags & 0x0F;
    if (!HaveGui()) {
        std::cerr << call.caption << ": " << call.text << '\n';
        // Nobody can answer: take the choice that changes nothing.
        switch (buttons) {
        case MB_OKCANCEL:
        case MB_YESNOCANCEL:
            return IDCANCEL;
        case MB_YESNO:
            return IDNO;
        default:
            return IDOK;
        }
    }

    QMessageBox box;
    box.setWindowTitle(ToQString(call.caption));
    box.setText(ToQString(call.text));
    switch (call.flags & 0xF0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONEXCLAMATION:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (buttons) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    }
    static constexpr ButtonAnswer kAnswers[] = {
        {QMessageBox::Ok, IDOK},
        {QMessageBox::Cancel, IDCANCEL},
        {QMessageBox::Yes, IDYES},
        {QMessageBox::No, IDNO},
    };
    const int pressed = box.exec();
    for (const ButtonAnswer& a : kAnswers)
        if (pressed == a.button)
            return a.answer;
    return buttons == MB_OK ? IDOK : IDCANCEL;
}

std::string& ErrorBoxCaption()
{
    static std::string caption;
    return caption;
}

void DefaultErrorBox(const std::string& message)
{
    if (!HaveGui()) {
        std::cerr << message << '\n';
        return;
    }
    const std::string& caption = ErrorBoxCaption();
    QMessageBox::critical(nullptr, caption.empty() ? QCoreApplication::applicationName() : ToQString(caption),
                          ToQString(message));
}

// Splits a parameter string the way a command line does: blanks separate,
// double quotes group.
std::vector<std::string> SplitParams(const std::string& params)
{
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool haveArg = false;
    for (char c : params) {
        if (c == '"') {
            inQuotes = !inQuotes;
            haveArg = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (haveArg)
                args.push_back(std::move(current));
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg)
        args.push_back(std::move(current));
    return args;
}

// The absolute path of file when it names an executable regular file (taken
// relative to directory when it is relative), empty otherwise.
std::string ExecutablePath(const std::string& file, const std::string& directory)
{
    std::error_code ec;
    std::filesystem::path path(file);
    if (path.is_relative() && !directory.empty())
        path = std::filesystem::path(directory) / path;
    path = std::filesystem::absolute(path, ec);
    if (ec)
        return {};
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0)
        return {};
    return path.string();
}

// "http://...", "mailto:..." and the like: a scheme of two or more letters.
bool HasUrlScheme(const std::string& name)
{
    const auto colon = name.find(':');
    if (colon == std::string::npos || colon < 2)
        return false;
    if (!std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

bool DefaultShellOpen(const ShellOpenCall& call)
{
    if (!call.verb.empty() && call.verb != "open")
        return false;
    if (call.file.empty())
        return false;
    if (!HasUrlScheme(call.file)) {
        std::filesystem::path path(call.file);
        if (path.is_relative() && !call.directory.empty())
            path = std::filesystem::path(call.directory) / path;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            return false;
    }
    ProcessStartCall start;
    start.directory = call.directory;
    if (std::string program = ExecutablePath(call.file, call.directory); !program.empty()) {
        // "open" on a program runs it with the parameters, as the shell does.
        start.program = program;
        start.args = SplitParams(call.params);
    } else {
        start.program = "xdg-open";
        start.args = {call.file};
    }
    return GetHooks().startProcess ? GetHooks().startProcess(start) : false;
}

double DefaultNow()
{
    using namespace std::chrono;
    const auto stamp = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(stamp);
    const auto ms = duration_cast<milliseconds>(stamp.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    const long long days = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                         static_cast<unsigned>(local.tm_mday)) -
                           DateTimeEpochDays;
    const double secondsOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + (ms < 0 ? 0 : ms) / 1000.0;
    return static_cast<double>(days) + secondsOfDay / 86400.0;
}

std::uint32_t DefaultTickCount()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

struct ResolverError {
    int gai;
    int winsock;
};

int WinsockErrorFromGai(int code)
{
    static constexpr ResolverError kErrors[] = {
        {EAI_NONAME, 11001},  // WSAHOST_NOT_FOUND
        {EAI_AGAIN, 11002},   // WSATRY_AGAIN
        {EAI_FAIL, 11003},    // WSANO_RECOVERY
#ifdef EAI_NODATA
        {EAI_NODATA, 11004},  // WSANO_DATA
#endif
#ifdef EAI_ADDRFAMILY
        {EAI_ADDRFAMILY, 11004},
#endif
    };
    for (const ResolverError& e : kErrors)
        if (e.gai == code)
            return e.winsock;
    return 11003;
}

// Names under the special-use ".invalid" domain never exist; they are
// answered here instead of being sent to a name server.
bool IsInvalidDomain(std::string host)
{
    for (char& c : host)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    constexpr std::string_view kInvalid = "invalid";
    return host == kInvalid || (host.size() > kInvalid.size() && host.ends_with(".invalid"));
}

ResolveResult DefaultResolveName(const std::string& host)
{
    ResolveResult result;
    if (host.empty() || IsInvalidDomain(host)) {
        result.error = 11001;
        return result;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        result.error = WinsockErrorFromGai(rc);
        return result;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> guard(list, &::freeaddrinfo);
    result.officialName = list->ai_canonname ? list->ai_canonname : host;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr || ai->ai_addrlen < sizeof(sockaddr_in))
            continue;
        const std::uint32_t address = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
        if (std::find(result.addresses.begin(), result.addresses.end(), address) == result.addresses.end())
            result.addresses.push_back(address);
    }
    if (result.addresses.empty())
        result.error = 11004;
    return result;
}

ResolveResult DefaultResolveAddress(std::uint32_t address)
{
    ResolveResult result;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    char name[NI_MAXHOST] = {};
    const int rc = ::getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, name, sizeof name, nullptr, 0,
                                 NI_NAMEREQD);
    if (rc != 0) {
        result.error = WinsockErrorFromGai(rc);
        return result;
    }
    result.officialName = name;
    result.addresses.push_back(address);
    return result;
}

void WriteErrno(int fd, int error)
{
    [[maybe_unused]] const ssize_t n = ::write(fd, &error, sizeof error);
}

// Starts the program in a new session through a double fork: the middle
// process exits at once and is reaped here, so the program is adopted by init
// and never becomes our zombie. A pipe closed on exec reports whether the
// exec worked.
bool DefaultStartProcess(const ProcessStartCall& call)
{
    if (call.program.empty())
        return false;
    // Everything the children need is built before fork: after it, only
    // async-signal-safe calls.
    std::vector<std::string> strings;
    strings.reserve(call.args.size() + 1);
    strings.push_back(call.program);
    strings.insert(strings.end(), call.args.begin(), call.args.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const char* directory = call.directory.empty() ? nullptr : call.directory.c_str();

    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return false;
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(status[0]);
        ::close(status[1]);
        return false;
    }
    if (middle == 0) {
        ::close(status[0]);
        ::setsid();
        const pid_t program = ::fork();
        if (program < 0) {
            WriteErrno(status[1], errno);
            ::_exit(127);
        }
        if (program > 0)
            ::_exit(0);
        if (directory && ::chdir(directory) != 0) {
            WriteErrno(status[1], errno);
            ::_exit(127);
        }
        ::execvp(argv[0], argv.data());
        WriteErrno(status[1], errno);
        ::_exit(127);
    }
    ::close(status[1]);
    int middleStatus = 0;
    while (::waitpid(middle, &middleStatus, 0) < 0 && errno == EINTR) {
    }
    int childError = 0;
    ssize_t n;
    do {
        n = ::read(status[0], &childError, sizeof childError);
    } while (n < 0 && errno == EINTR);
    ::close(status[0]);
    return n == 0;
}

bool DefaultClipboardGetText(std::string& text)
{
    if (!HaveGui())
        return false;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return false;
    text = FromQString(data->text());
    return true;
}

void DefaultClipboardSetText(const std::string& text)
{
    if (HaveGui())
        QGuiApplication::clipboard()->setText(ToQString(text));
}

// Beside the program, in the application folder.
std::string DefaultRegistryFile()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    const std::string exe = n > 0 ? std::string(buf, size_t(n)) : std::string();
    const auto slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/registry.ini";
}

Hooks Defaults()
{
    Hooks h;
    h.messageBox = DefaultMessageBox;
    h.errorBox = DefaultErrorBox;
    h.shellOpen = DefaultShellOpen;
    h.now = DefaultNow;
    h.tickCount = DefaultTickCount;
    h.resolveName = DefaultResolveName;
    h.resolveAddress = DefaultResolveAddress;
    h.startProcess = DefaultStartProcess;
    h.clipboardGetText = DefaultClipboardGetText;
    h.clipboardSetText = DefaultClipboardSetText;
    h.registryFile = DefaultRegistryFile;
    return h;
}

}  // namespace

Hooks& GetHooks()
{
    static Hooks hooks = Defaults();
    return hooks;
}

void ResetHooks()
{
    GetHooks() = Defaults();
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    const auto& hook = GetHooks().messageBox;
    return hook ? hook({text, caption, flags}) : DefaultMessageBox({text, caption, flags});
}

void ShowErrorBox(const std::string& message)
{
    const auto& hook = GetHooks().errorBox;
    hook ? hook(message) : DefaultErrorBox(message);
}

void SetErrorBoxCaption(const std::string& caption)
{
    ErrorBoxCaption() = caption;
}

std::uint32_t GetTickCount()
{
    const auto& hook = GetHooks().tickCount;
    return hook ? hook() : DefaultTickCount();
}

std::uint32_t timeGetTime()
{
    return GetTickCount();
}

void CrashPoint(const char* name)
{
    const char* setting = std::getenv("TENVAREL_CRASH_AT");
    if (!setting || !*setting)
        return;
    const std::string wanted = setting;
    const std::size_t colon = wanted.find(':');
    if (wanted.compare(0, colon, name) != 0)
        return;
    static std::map<std::string, long> passes;
    const long pass = ++passes[name];
    const long kill = colon == std::string::npos ? 1 : std::atol(wanted.c_str() + colon + 1);
    if (pass == kill)
        ::raise(SIGKILL);
}
