// The archive library's reader on any bytes: open, read every header, test
// every entry (which unpacks it through libarchive and checks its CRC), and
// once in a while skip instead. Nothing may crash, hang or leak, and no
// entry that tests good may have handed the data callback more than its size.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "unrar/Archive.h"

namespace {

std::uint64_t Delivered = 0;

int Count(unsigned char*, int size)
{
    Delivered += static_cast<std::uint64_t>(size);
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = ::memfd_create("archive", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n <= 0) {
            ::close(fd);
            return 0;
        }
        written += static_cast<std::size_t>(n);
    }
    char comment[256];
    RAROpenArchiveData open{};
    open.OpenMode = RAR_OM_EXTRACT;
    open.CmtBuf = comment;
    open.CmtBufSize = sizeof comment;
    auto archive = unrar::Archive::OpenDescriptor(fd, "fuzz.rar", open);
    if (!archive)
        return 0;
    if (open.CmtState == 1 && open.CmtSize > sizeof comment)
        __builtin_trap();
    archive->SetProcessDataProc(&Count);
    RARHeaderData header{};
    for (int entry = 0; archive->ReadHeader(header) == ERAR_SUCCESS; ++entry) {
        Delivered = 0;
        // A few bytes of packed data may claim gigabytes; those are only skipped.
        const bool small = header.UnpSize <= (16u << 20) && !(header.Flags & 0x100);  // 0x100: 64-bit sizes
        const int operation = (entry % 4 == 3 || !small) ? RAR_SKIP : RAR_TEST;
        if (archive->ProcessFile(operation, nullptr, nullptr) == ERAR_SUCCESS && operation == RAR_TEST &&
            Delivered > header.UnpSize)
            __builtin_trap();
    }
    return 0;
}
