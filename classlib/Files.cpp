#include "classlib/Files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "classlib/Classes.h"
#include "platform/Calendar.h"
#include "platform/Hooks.h"

CodePageString FileError(const char* what, const CodePageString& path, int error)
{
    return CodePageString(what) + " \"" + path + "\". " +
           (error == NotARegularFile ? "It is not a regular file." : std::strerror(error));
}

// --- files and folders -----------------------------------------------------

bool FileExists(const CodePageString& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const CodePageString& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const CodePageString& path)
{
    if (path.empty())
        return false;
    CodePageString dir = path;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (DirectoryExists(dir))
        return true;
    const std::size_t slash = dir.rfind('/');
    if (slash != CodePageString::npos && slash > 0 && !ForceDirectories(dir.substr(0, slash)))
        return false;
    return ::mkdir(dir.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(dir));
}

bool DeleteFile(const CodePageString& path)
{
    return !DirectoryExists(path) && ::unlink(path.c_str()) == 0;
}

bool RenameFile(const CodePageString& from, const CodePageString& to)
{
    // The Windows call refuses to replace an existing file, and callers
    // delete the old one first where they mean to.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

CodePageString GetCurrentDir()
{
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()))
            return CodePageString(buffer.data());
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return CodePageString();
        buffer.resize(buffer.size() * 2);
    }
}

bool SetCurrentDir(const CodePageString& dir)
{
    return ::chdir(dir.c_str()) == 0;
}

CodePageString ExtractFilePath(const CodePageString& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == CodePageString::npos ? CodePageString() : path.substr(0, slash + 1);
}

CodePageString ExtractFileName(const CodePageString& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == CodePageString::npos ? path : path.substr(slash + 1);
}

CodePageString ExtractFileExt(const CodePageString& path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == CodePageString::npos || (slash != CodePageString::npos && dot < slash))
        return CodePageString();
    return path.substr(dot);
}

CodePageString ChangeFileExt(const CodePageString& path, const CodePageString& ext)
{
    const CodePageString current = ExtractFileExt(path);
    return path.substr(0, path.size() - current.size()) + ext;
}

CodePageString PathFromWindows(const CodePageString& name)
{
    CodePageString result = name;
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

CodePageString AppPath(const CodePageString& folder, const CodePageString& relative)
{
    CodePageString rel = PathFromWindows(relative);
    const std::size_t firstNonSlash = rel.find_first_not_of('/');
    rel.erase(0, firstNonSlash == CodePageString::npos ? rel.size() : firstNonSlash);
    CodePageString base = folder;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    const bool root = base.empty() && !folder.empty();
    if (rel.empty())
        return root ? CodePageString("/") : base;
    if (base.empty() && !root)
        return rel;
    return base + "/" + rel;
}

int TryReadFileBytes(const CodePageString& path, std::string& out)
{
    int fd;
    // Without blocking: a named pipe with no writer would wait here forever.
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (!S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : NotARegularFile;
        ::close(fd);
        return error;
    }
    out.clear();
    if (st.st_size > 0)
        out.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 0;
}

std::string ReadFileBytes(const CodePageString& path)
{
    std::string data;
    const int error = TryReadFileBytes(path, data);
    if (error != 0)
        throw EFOpenError(FileError("Cannot open file", path, error));
    return data;
}

void WriteFileAtomic(const CodePageString& path, const std::string& bytes, TWriteSync sync)
{
    static std::atomic<unsigned> counter{0};
    // Drawn once: a random device per write costs more than the write of a small file.
    static const unsigned salt = std::random_device{}() % 1000000u;
    const CodePageString dir = ExtractFilePath(path);
    const CodePageString name = ExtractFileName(path);
    if (name.empty())
        throw EFCreateError(FileError("Cannot create file", path, EISDIR));

    // A name of our own, created exclusively, so two writers never share a
    // temporary file. Open with 0666 so the umask applies as for any file.
    CodePageString temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const std::string suffix = ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                                   std::to_string((salt + static_cast<unsigned>(attempt) * 7919u) % 1000000u);
        // The temporary name is a file name too: a long name is cut so that
        // the two fit in one (the suffix alone keeps it apart).
        constexpr std::size_t FileNameMax = 255;
        temp = dir + "." + name.substr(0, FileNameMax - 1 - suffix.size()) + suffix;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (fd < 0)
        throw EFCreateError(FileError("Cannot create file", path, errno));

    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw EFCreateError(FileError("Cannot create file", path, error));
    };
    // An existing file keeps its permissions, and is replaced durably at
    // once: a deferred sync could leave it empty after a crash.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::fchmod(fd, st.st_mode & 07777);
        sync = TWriteSync::Now;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
    if (sync == TWriteSync::Now && ::fsync(fd) != 0)
        fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw EFCreateError(FileError("Cannot create file", path, error));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw EFCreateError(FileError("Cannot create file", path, error));
    }
    if (sync == TWriteSync::Later)
        return;
    // Make the rename itself durable; a failure here loses nothing written.
    const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

CodePageString LinkTarget(const CodePageString& path)
{
    CodePageString target = path;
    // As many links as the system itself follows in one name.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        std::string next(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
        const ssize_t length = ::readlink(target.c_str(), next.data(), next.size());
        if (length < 0 || static_cast<std::size_t>(length) >= next.size())
            return target;
        next.resize(static_cast<std::size_t>(length));
        target = next.front() == '/' ? CodePageString(next) : ExtractFilePath(target) + next;
    }
    return target;
}

void RefuseReadOnlyFile(const CodePageString& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    int error = 0;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        error = EACCES;
    else if (::access(path.c_str(), W_OK) != 0)
        error = errno;
    if (error != 0)
        throw EFCreateError(FileError("Cannot create file", path, error));
}

void WriteUserFile(const CodePageString& path, const std::string& bytes)
{
    const CodePageString target = LinkTarget(path);
    RefuseReadOnlyFile(target);
    WriteFileAtomic(target, bytes);
}

void SyncFiles(const CodePageString& folder, const std::vector<CodePageString>& files)
{
    const auto failed = [](const CodePageString& path, int error) {
        return EFCreateError(FileError("Cannot save files in", path, error));
    };
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        throw failed(folder, errno);
    // The write-back of every file is started first, so that the disk
    // takes them together; then each is waited for.
    for (const bool wait : {false, true}) {
        for (const CodePageString& file : files) {
            const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                if (errno == ENOENT)
                    continue;
                const int error = errno;
                ::close(dirFd);
                throw failed(file, error);
            }
            const int result = wait ? ::fsync(fd) : ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            const int error = errno;
            ::close(fd);
            if (result != 0 && wait) {
                ::close(dirFd);
                throw failed(file, error);
            }
        }
    }
    const int result = ::fsync(dirFd);
    const int error = errno;
    ::close(dirFd);
    if (result != 0)
        throw failed(folder, error);
}
