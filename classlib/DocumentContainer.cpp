#include "classlib/DocumentContainer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "classlib/Files.h"
#include "platform/Hooks.h"

namespace {

struct PackageRegistry {
    std::mutex mutex;
    std::map<std::string, std::string_view> packages;
};

PackageRegistry& Packages()
{
    static PackageRegistry* registry = new PackageRegistry;  // filled by static initialisers
    return *registry;
}

// Writes the program through a temporary file, executable from the start, and
// renames it over an older copy: a running copy keeps its own file, and a
// failed write leaves the older one.
void WriteProgram(const std::string& path, std::string_view bytes)
{
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0)
        throw EOleError("Cannot write \"" + path + "\". " + std::strerror(errno));
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    int error = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, 0755) != 0 && !error)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.c_str());
        throw EOleError("Cannot write \"" + path + "\". " + std::strerror(error));
    }
}

}  // namespace

void RegisterPackage(const std::string& name, std::string_view bytes)
{
    PackageRegistry& r = Packages();
    std::lock_guard lock(r.mutex);
    r.packages[name] = bytes;
}

bool FindPackage(const std::string& name, std::string_view& bytes)
{
    PackageRegistry& r = Packages();
    std::lock_guard lock(r.mutex);
    const auto it = r.packages.find(name);
    if (it == r.packages.end())
        return false;
    bytes = it->second;
    return true;
}

TOleContainer::TOleContainer(TComponent* AOwner) : TComponent(AOwner) {}

TOleContainer::~TOleContainer() = default;

void TOleContainer::DoVerb(int verb)
{
    if (verb != ovPrimary)
        throw EOleError("Invalid verb");
    std::string_view program;
    if (!FindPackage(PackageName, program) || program.empty())
        throw EOleError("The package \"" + PackageName + "\" is not part of this program.");
    const CodePageString folder = GetCurrentDir();
    const CodePageString path = folder + "/" + PackageName;
    WriteProgram(path, program);
    ProcessStartCall call;
    call.program = path;
    call.args = Parameters;
    call.directory = folder;
    const auto& start = GetHooks().startProcess;
    if (!start || !start(call))
        throw EOleError("Cannot start \"" + path + "\".");
}
