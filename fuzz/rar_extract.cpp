// The archive library's extraction on any bytes, into a scratch folder that
// sits alone inside a folder of its own. Nothing may be written beside the
// scratch folder (a name that climbs out), nothing but plain files and
// folders may come out (no link, device or pipe), and no entry may hand out
// or leave a file larger than its header declares.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "unrar/Archive.h"

namespace fs = std::filesystem;

namespace {

std::uint64_t Delivered = 0;

int Count(unsigned char*, int size)
{
    Delivered += static_cast<std::uint64_t>(size);
    return 1;
}

// base/1/2/3/inside: the library writes below inside, and each folder
// above it holds only the next one, so that a climb of up to four levels
// shows.
struct TScratch {
    TScratch()
    {
        char name[] = "/tmp/tenvarel-fuzz-extract-XXXXXX";
        if (!::mkdtemp(name))
            std::abort();
        base = name;
        std::error_code ec;
        fs::create_directories(base / "1" / "2" / "3", ec);
        inside = (base / "1" / "2" / "3" / "inside").string();
    }
    ~TScratch()
    {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
    fs::path base;
    std::string inside;
};

TScratch& Scratch()
{
    static TScratch scratch;
    return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TScratch& scratch = Scratch();
    std::error_code ec;
    fs::remove_all(scratch.inside, ec);
    fs::create_directory(scratch.inside, ec);

    const int fd = ::memfd_create("archive", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return 0;
    }
    RAROpenArchiveData open{};
    open.OpenMode = RAR_OM_EXTRACT;
    auto archive = unrar::Archive::OpenDescriptor(fd, "fuzz.rar", open);
    if (!archive)
        return 0;
    archive->SetProcessDataProc(&Count);
    std::uint64_t largest = 0;
    RARHeaderData header{};
    for (int entry = 0; entry < 64 && archive->ReadHeader(header) == ERAR_SUCCESS; ++entry) {
        Delivered = 0;
        // A few bytes of packed data may claim gigabytes; those are only skipped.
        const bool small = header.UnpSize <= (1u << 20) && !(header.Flags & 0x100);  // 0x100: 64-bit sizes
        if (!small) {
            archive->ProcessFile(RAR_SKIP, nullptr, nullptr);
            continue;
        }
        largest = std::max<std::uint64_t>(largest, header.UnpSize);
        archive->ProcessFile(RAR_EXTRACT, scratch.inside.data(), nullptr);
        if (Delivered > header.UnpSize)
            __builtin_trap();  // handed out more than the entry declares
    }
    archive.reset();

    fs::path level = scratch.base;
    for (const char* next : {"1", "2", "3", "inside"}) {
        for (const auto& item : fs::directory_iterator(level, ec))
            if (item.path().filename() != next)
                __builtin_trap();  // written outside the scratch folder
        level /= next;
    }
    for (auto it = fs::recursive_directory_iterator(scratch.inside, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        struct stat st{};
        if (::lstat(it->path().c_str(), &st) != 0)
            continue;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            __builtin_trap();  // a link, device or pipe came out
        if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > largest)
            __builtin_trap();  // a file larger than any entry declares
    }
    return 0;
}
