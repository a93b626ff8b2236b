#include "unrar/Archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "unrar/Crc32.h"
#include "unrar/EntryName.h"

namespace unrar {

namespace {

// libarchive's read size: large blocks keep the stored data moving in few calls.
constexpr std::size_t UnpackerBlockSize = 1 << 20;
// A stored comment is read whole to check its CRC; none is nearly this long.
constexpr std::uint64_t MaxCommentSize = 1 << 24;

void CopyName(char (&to)[260], const std::string& from)
{
    const std::size_t n = std::min(from.size(), sizeof to - 1);
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

std::string WithSlashes(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool PlainAscii(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// Whether a file system can hold the path at all: no name longer than a
// file name may be, and the whole path shorter than a path may be.
bool FitsFileSystem(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return false;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end - start > NAME_MAX)
            return false;
        start = end + 1;
    }
    return true;
}

// What a failed create or write says: a full disk is a write error, so
// that the walk stops there, and anything else is a file that cannot be made.
int CreateError()
{
    return errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? ERAR_EWRITE : ERAR_ECREATE;
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : FFd(fd) {}
    ~Descriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(FFd, other.FFd);
        return *this;
    }
    int Get() const { return FFd; }
    int Release() { return std::exchange(FFd, -1); }
    // The close result: a write that failed late shows up here.
    bool Close()
    {
        const int fd = std::exchange(FFd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int FFd;
};

// The folder at path, created with its parents when missing.
int OpenFolder(const std::string& path, Descriptor& folder)
{
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() < 0 && errno == ENOENT) {
        std::string partial;
        std::size_t at = 0;
        while (at != std::string::npos) {
            at = path.find('/', at + 1);
            partial = path.substr(0, at);
            if (!partial.empty() && ::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
                return CreateError();
        }
        fd = Descriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (fd.Get() < 0)
        return ERAR_ECREATE;
    folder = std::move(fd);
    return ERAR_SUCCESS;
}

// Walks down the folders of a relative path below root, creating each that
// is missing. A link on the way is refused, whatever it points at, so that
// nothing is written outside root.
int DescendFolders(Descriptor& at, const std::string& relative, bool lastToo, std::string& leaf)
{
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = relative.find('/', start);
        parts.push_back(relative.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    leaf = lastToo ? std::string() : parts.back();
    if (!lastToo)
        parts.pop_back();
    for (const std::string& part : parts) {
        if (::mkdirat(at.Get(), part.c_str(), 0777) != 0 && errno != EEXIST)
            return CreateError();
        Descriptor next(::openat(at.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.Get() < 0)
            return ERAR_ECREATE;
        at = std::move(next);
    }
    return ERAR_SUCCESS;
}

// An entry's file, written under a temporary name beside its place and
// renamed over it only once the whole entry has checked out: a damaged entry
// never replaces a good file.
class OutputFile {
public:
    ~OutputFile()
    {
        if (!FTemp.empty()) {
            FFile.Close();
            ::unlinkat(FFolder.Get(), FTemp.c_str(), 0);
        }
    }

    int Create(const char* destPath, const std::string& relative, const char* destName, mode_t mode)
    {
        if (destName && *destName) {
            const std::string exact = destName;
            const std::size_t slash = exact.rfind('/');
            FLeaf = slash == std::string::npos ? exact : exact.substr(slash + 1);
            if (FLeaf.empty())
                return ERAR_ECREATE;
            if (const int r = OpenFolder(slash == std::string::npos ? "." : exact.substr(0, std::max<std::size_t>(slash, 1)), FFolder))
                return r;
        } else {
            if (const int r = OpenFolder(destPath && *destPath ? destPath : ".", FFolder))
                return r;
            if (const int r = DescendFolders(FFolder, relative, false, FLeaf))
                return r;
        }
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            // Formatted without std::to_string, whose digit table would keep
            // the library from ever being unloaded.
            char name[64];
            std::snprintf(name, sizeof name, ".unrar-%ld-%u.part", static_cast<long>(::getpid()), counter++);
            FTemp = name;
            const int fd = ::openat(FFolder.Get(), FTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                    mode);
            if (fd >= 0) {
                FFile = Descriptor(fd);
                return ERAR_SUCCESS;
            }
            if (errno != EEXIST)
                break;
        }
        const int error = CreateError();
        FTemp.clear();
        return error;
    }

    int Write(const void* data, std::size_t size)
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(FFile.Get(), p, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return ERAR_EWRITE;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return ERAR_SUCCESS;
    }

    int Commit(std::time_t modified)
    {
        if (modified != -1) {
            const timespec times[2] = {{0, UTIME_OMIT}, {modified, 0}};
            ::futimens(FFile.Get(), times);
        }
        if (!FFile.Close())
            return ERAR_EWRITE;
        if (::renameat(FFolder.Get(), FTemp.c_str(), FFolder.Get(), FLeaf.c_str()) != 0)
            return ERAR_ECREATE;
        FTemp.clear();
        return ERAR_SUCCESS;
    }

private:
    Descriptor FFolder;
    Descriptor FFile;
    std::string FLeaf;
    std::string FTemp;
};

mode_t ModeOf(const Rar4File& entry)
{
    if (entry.hostOS == HostUnix)
        return static_cast<mode_t>(entry.attr & 0777);
    return (entry.attr & 0x01) ? 0444 : 0666;  // the read-only attribute
}

}  // namespace

void Archive::UnpackerFree::operator()(archive* a) const
{
    archive_read_free(a);
}

Archive::Archive(int fd, std::uint64_t size, std::string name, unsigned mode)
    : FFd(fd), FSize(size), FName(std::move(name)), FMode(mode)
{
}

Archive::~Archive()
{
    FUnpacker.reset();
    ::close(FFd);
}

std::unique_ptr<Archive> Archive::Open(RAROpenArchiveData& data)
{
    data.OpenResult = ERAR_EOPEN;
    data.CmtSize = 0;
    data.CmtState = 0;
    if (!data.ArcName)
        return nullptr;
    const int fd = ::open(data.ArcName, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return OpenDescriptor(fd, data.ArcName, data);
}

std::unique_ptr<Archive> Archive::OpenDescriptor(int fd, const std::string& name, RAROpenArchiveData& data)
{
    data.OpenResult = ERAR_EOPEN;
    data.CmtSize = 0;
    data.CmtState = 0;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // libarchive reads from the descriptor's position; the headers are read by offset.
    ::lseek(fd, 0, SEEK_SET);
    std::unique_ptr<Archive> archive(new Archive(fd, static_cast<std::uint64_t>(st.st_size), name, data.OpenMode));
    data.OpenResult = static_cast<unsigned>(archive->Start(data));
    if (data.OpenResult != ERAR_SUCCESS)
        return nullptr;
    return archive;
}

int Archive::Start(RAROpenArchiveData& data)
{
    char signature[8] = {};
    const std::size_t got = ReadAt(0, signature, sizeof signature);
    const std::string_view start(signature, got);
    if (start.substr(0, Rar5Signature.size()) == Rar5Signature)
        return ERAR_UNKNOWN_FORMAT;
    if (start.substr(0, Rar4Signature.size()) != Rar4Signature)
        return ERAR_BAD_ARCHIVE;

    Rar4Block main;
    if (const int r = ReadBlockAt(Rar4Signature.size(), main, nullptr))
        return r;
    if (main.type != BlockMain)
        return ERAR_BAD_ARCHIVE;
    if (main.flags & MainEncryptedHeaders)
        return ERAR_NO_DECRYPTION;
    FNext = Rar4Signature.size() + main.headSize + main.dataSize;
    if (data.CmtBuf)
        ReadComment(data, main.flags);
    return ERAR_SUCCESS;
}

void Archive::ReadComment(RAROpenArchiveData& data, std::uint16_t mainFlags)
{
    if (mainFlags & MainOldComment) {
        data.CmtState = ERAR_PACKED_COMMENT;
        return;
    }
    // A comment is a "CMT" sub block right after the main header.
    Rar4Block block;
    Rar4File comment;
    if (ReadBlockAt(FNext, block, &comment) != ERAR_SUCCESS || block.type != BlockSub || comment.name != "CMT")
        return;
    if (comment.method != MethodStored || comment.packSize != comment.unpSize) {
        data.CmtState = ERAR_PACKED_COMMENT;
        return;
    }
    const std::uint64_t start = FNext + block.headSize;
    if (comment.packSize > MaxCommentSize || start + comment.packSize > FSize) {
        data.CmtState = ERAR_BAD_DATA;
        return;
    }
    std::string text(static_cast<std::size_t>(comment.packSize), '\0');
    if (ReadAt(start, text.data(), text.size()) != text.size() || Crc32(0, text.data(), text.size()) != comment.fileCRC) {
        data.CmtState = ERAR_BAD_DATA;
        return;
    }
    const std::size_t fits = std::min<std::size_t>(text.size(), data.CmtBufSize);
    std::memcpy(data.CmtBuf, text.data(), fits);
    if (fits < data.CmtBufSize)
        data.CmtBuf[fits] = '\0';
    data.CmtSize = static_cast<unsigned>(fits);
    data.CmtState = fits < text.size() ? ERAR_SMALL_BUF : 1;
}

std::size_t Archive::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(FFd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

int Archive::ReadBlockAt(std::uint64_t offset, Rar4Block& block, Rar4File* file)
{
    // A block that would start past the end, or be cut by it, is a truncated archive.
    if (offset >= FSize)
        return ERAR_BAD_DATA;
    std::string header(BlockStartSize, '\0');
    if (ReadAt(offset, header.data(), header.size()) != header.size())
        return ERAR_BAD_DATA;
    if (ReadBlockStart(header, block) != Rar4Status::Ok)
        return ERAR_BAD_DATA;
    header.resize(block.headSize);
    if (ReadAt(offset + BlockStartSize, header.data() + BlockStartSize, header.size() - BlockStartSize) !=
        header.size() - BlockStartSize)
        return ERAR_BAD_DATA;
    if (!HeaderCrcMatches(header, block.type, block.flags))
        return ERAR_BAD_DATA;
    if (ReadBlock(header, block, file) != Rar4Status::Ok)
        return ERAR_BAD_DATA;
    return ERAR_SUCCESS;
}

int Archive::ReadHeader(RARHeaderData& header)
{
    FHaveEntry = false;
    if (FStuck)
        return FStuck;
    if (FEnded)
        return ERAR_END_ARCHIVE;
    for (;;) {
        // Older archivers wrote no end block: a file that ends exactly after
        // a whole block ends the archive. A download cut short is caught by
        // its length before it comes here.
        if (FNext == FSize) {
            FEnded = true;
            return ERAR_END_ARCHIVE;
        }
        Rar4Block block;
        Rar4File file;
        if (const int r = ReadBlockAt(FNext, block, &file)) {
            FStuck = r;
            return r;
        }
        const std::uint64_t dataStart = FNext + block.headSize;
        // A 64-bit data size may be anything; past the file's end is all that matters.
        const std::uint64_t end =
            block.dataSize > FSize || dataStart > FSize - block.dataSize ? FSize + 1 : dataStart + block.dataSize;
        if (block.type == BlockEnd) {
            FEnded = true;
            return ERAR_END_ARCHIVE;
        }
        if (block.type != BlockFile) {
            if (end > FSize) {
                FStuck = ERAR_BAD_DATA;
                return FStuck;
            }
            FNext = end;
            continue;
        }
        ++FEntryIndex;
        FEntry = std::move(file);
        FEntryTruncated = end > FSize;
        FNext = end;
        FHaveEntry = true;

        char* const commentBuffer = header.CmtBuf;
        const unsigned commentSize = header.CmtBufSize;
        header = RARHeaderData{};
        header.CmtBuf = commentBuffer;
        header.CmtBufSize = commentSize;
        header.CmtState = (FEntry.flags & FileComment) ? ERAR_PACKED_COMMENT : 0;
        CopyName(header.ArcName, FName);
        CopyName(header.FileName, WithSlashes(FEntry.name));
        header.Flags = FEntry.flags & 0x7FFF;
        header.PackSize = static_cast<unsigned>(FEntry.packSize);
        header.UnpSize = static_cast<unsigned>(FEntry.unpSize);
        header.HostOS = FEntry.hostOS;
        header.FileCRC = FEntry.fileCRC;
        header.FileTime = FEntry.fileTime;
        header.UnpVer = FEntry.unpVer;
        header.Method = FEntry.method;
        header.FileAttr = FEntry.attr;
        return ERAR_SUCCESS;
    }
}

int Archive::ProcessFile(int operation, const char* destPath, const char* destName)
{
    if (!FHaveEntry)
        return ERAR_UNKNOWN;
    FHaveEntry = false;
    if (operation == RAR_SKIP)
        return ERAR_SUCCESS;
    if ((operation != RAR_TEST && operation != RAR_EXTRACT) || FMode == RAR_OM_LIST)
        return ERAR_UNKNOWN;

    // Neither test nor extract ever reads an encrypted entry's data, so no
    // ciphertext can come back as if it were the file.
    if (FEntry.flags & FileEncrypted)
        return FPasswordSet ? ERAR_NO_DECRYPTION : ERAR_MISSING_PASSWORD;
    if (FEntry.flags & (FileSplitBefore | FileSplitAfter))
        return ERAR_NO_VOLUME_CHANGE;
    // Test refuses what extract refuses (the names, links and devices, a
    // file where a folder is), so that an archive that passes its test can
    // be extracted whole into an empty folder. A name stored with its
    // Unicode form is written under that form.
    const std::string path =
        SafeRelativePath(FEntry.unicodeName.empty() ? FEntry.name : FEntry.unicodeName);
    if (path.empty())
        return ERAR_BAD_DATA;
    if (!FitsFileSystem(path))
        return ERAR_ECREATE;
    const bool exact = destName && *destName;
    if (FEntry.IsDirectory()) {
        if (const int r = CheckPlace(path, true))
            return r;
        if (operation == RAR_EXTRACT && !exact) {
            Descriptor folder;
            if (const int r = OpenFolder(destPath && *destPath ? destPath : ".", folder))
                return r;
            std::string none;
            if (const int r = DescendFolders(folder, path, true, none))
                return r;
        }
        RecordPlace(path, true);
        return ERAR_SUCCESS;
    }
    if (FEntry.IsSpecial())
        return ERAR_ECREATE;  // only files and folders are written
    if (FEntry.method < MethodStored || FEntry.method > MethodStored + 5)
        return ERAR_UNKNOWN_FORMAT;
    if (FEntryTruncated)
        return ERAR_BAD_DATA;
    if (!exact)
        if (const int r = CheckPlace(path, false))
            return r;
    const int r = Unpack(operation, path, destPath, destName);
    if (r == ERAR_SUCCESS && !exact)
        RecordPlace(path, false);
    return r;
}

int Archive::CheckPlace(const std::string& path, bool folder) const
{
    // A folder above it that an entry made a file.
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const auto parent = FPlaces.find(std::string_view(path).substr(0, slash));
        if (parent != FPlaces.end() && !parent->second)
            return ERAR_ECREATE;
    }
    const auto same = FPlaces.find(path);
    if (same != FPlaces.end())
        return same->second != folder ? ERAR_ECREATE : ERAR_SUCCESS;
    // A file where the entries below it made a folder.
    if (!folder) {
        const auto below = FPlaces.lower_bound(path + '/');
        if (below != FPlaces.end() && below->first.compare(0, path.size() + 1, path + '/') == 0)
            return ERAR_ECREATE;
    }
    return ERAR_SUCCESS;
}

void Archive::RecordPlace(const std::string& path, bool folder)
{
    FPlaces[path] = folder;
}

bool Archive::UnpackerAtEntry()
{
    if (FUnpackerLost)
        return false;
    if (!FUnpacker) {
        FUnpacker.reset(archive_read_new());
        if (!FUnpacker || archive_read_support_format_rar(FUnpacker.get()) != ARCHIVE_OK ||
            archive_read_open_fd(FUnpacker.get(), FFd, UnpackerBlockSize) != ARCHIVE_OK) {
            FUnpackerLost = true;
            return false;
        }
    }
    while (FUnpackerEntries <= FEntryIndex) {
        const int r = archive_read_next_header(FUnpacker.get(), &FUnpackerEntry);
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            FUnpackerLost = true;
            return false;
        }
        ++FUnpackerEntries;
    }
    // libarchive must stand at the entry read here: same size, and for a
    // plain name the same name.
    const bool sizeMatches = !archive_entry_size_is_set(FUnpackerEntry) ||
                             static_cast<std::uint64_t>(archive_entry_size(FUnpackerEntry)) == FEntry.unpSize;
    bool nameMatches = true;
    if (!(FEntry.flags & FileUnicode) && PlainAscii(FEntry.name)) {
        const char* theirs = archive_entry_pathname(FUnpackerEntry);
        nameMatches = theirs && WithSlashes(theirs) == WithSlashes(FEntry.name);
    }
    if (!sizeMatches || !nameMatches) {
        FUnpackerLost = true;
        return false;
    }
    return true;
}

int Archive::Unpack(int operation, const std::string& path, const char* destPath, const char* destName)
{
    if (!UnpackerAtEntry())
        return ERAR_BAD_DATA;
    std::unique_ptr<OutputFile> out;
    if (operation == RAR_EXTRACT) {
        out = std::make_unique<OutputFile>();
        if (const int r = out->Create(destPath, path, destName, ModeOf(FEntry)))
            return r;
    }

    static const char zeros[4096] = {};
    std::uint32_t crc = 0;
    std::uint64_t done = 0;
    auto take = [&](const void* data, std::size_t size) -> int {
        // Never more than the header declares, not even one block's worth.
        if (size > FEntry.unpSize - done)
            return ERAR_BAD_DATA;
        crc = Crc32(crc, data, size);
        done += size;
        if (out)
            if (const int r = out->Write(data, size))
                return r;
        if (FProcessData && FProcessData(static_cast<unsigned char*>(const_cast<void*>(data)), static_cast<int>(size)) <= 0)
            return ERAR_STOPPED;
        return ERAR_SUCCESS;
    };
    for (;;) {
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(FUnpacker.get(), &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK) {
            if (r == ARCHIVE_FATAL)
                FUnpackerLost = true;
            return ERAR_BAD_DATA;
        }
        if (offset < 0 || static_cast<std::uint64_t>(offset) < done || static_cast<std::uint64_t>(offset) > FEntry.unpSize)
            return ERAR_BAD_DATA;
        while (done < static_cast<std::uint64_t>(offset)) {  // a hole the unpacker left
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof zeros, offset - done));
            if (const int e = take(zeros, n))
                return e;
        }
        if (size > 0)
            if (const int e = take(block, size))
                return e;
    }
    if (done != FEntry.unpSize || crc != FEntry.fileCRC)
        return ERAR_BAD_DATA;
    return out ? out->Commit(DosTimeToUnix(FEntry.fileTime)) : ERAR_SUCCESS;
}

}  // namespace unrar
