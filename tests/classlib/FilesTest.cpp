#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "classlib/Classes.h"
#include "classlib/Files.h"
#include "platform/Hooks.h"

TEST(Files, Paths)
{
    EXPECT_EQ(PathFromWindows("\\data\\session\\x.zro"), "/data/session/x.zro");
    const struct {
        const char* folder;
        const char* relative;
        const char* path;
    } cases[] = {
        {"/opt/app", "\\data\\data.czc", "/opt/app/data/data.czc"},
        {"/opt/app/", "/data/datam.czc", "/opt/app/data/datam.czc"},
        {"/opt/app//", "wkt.ini", "/opt/app/wkt.ini"},
        {"/", "\\wkt.ini", "/wkt.ini"},
        {"/opt/app", "", "/opt/app"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppPath(c.folder, c.relative), c.path) << c.folder << " + " << c.relative;
    EXPECT_EQ(ExtractFilePath("/a/b.c/d.txt"), "/a/b.c/");
    EXPECT_EQ(ExtractFileName("/a/b.c/d.txt"), "d.txt");
    EXPECT_EQ(ExtractFileExt("/a/b.c/d"), "");
    EXPECT_EQ(ChangeFileExt("/a/d.txt", ".bak"), "/a/d.bak");
}

// Files written to be synced later are flushed by name, with their folder,
// and never by flushing the whole file system (which waits for every other
// program's unwritten data): a process in which syncing a file system is
// refused still syncs them.
TEST(Files, SyncFilesFlushesTheNamedFilesAndTheirFolderOnly)
{
    QTemporaryDir dir;
    const CodePageString folder = dir.path().toStdString();
    const std::vector<CodePageString> files = {folder + "/a.zro", folder + "/b.zro"};
    for (const CodePageString& file : files)
        WriteFileAtomic(file, "[a]\n", TWriteSync::Later);
    // A file deleted since its write has nothing left to sync.
    EXPECT_NO_THROW(SyncFiles(folder, {files[0], folder + "/deleted.zro", files[1]}));

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_syncfs, 2, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_sync, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        };
        sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            ::_exit(2);
        try {
            SyncFiles(folder, files);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the sync failed; 2: no filter";
}

TEST(Files, WriteFileAtomicReplacesWholeAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const CodePageString folder = dir.path().toStdString();
    const CodePageString path = folder + "/data.czc";
    WriteFileAtomic(path, "first version, longer");
    WriteFileAtomic(path, std::string("second\0bytes", 12));
    EXPECT_EQ(ReadFileBytes(path), std::string("second\0bytes", 12));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // A write synced later is whole under its name at once; the sync of a
    // folder that is not there is an error, not a silent success.
    WriteFileAtomic(path, "third", TWriteSync::Later);
    EXPECT_EQ(ReadFileBytes(path), "third");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_NO_THROW(SyncFiles(folder, {path}));
    EXPECT_THROW(SyncFiles(folder + "/missing", {path}), EFCreateError);

    try {
        WriteFileAtomic(folder + "/missing/x.txt", "x");
        ADD_FAILURE() << "no exception";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message.rfind("Cannot create file \"" + folder + "/missing/x.txt\". ", 0), 0u) << e.Message;
    }
    // A name as long as a file name may be is written and replaced too (its
    // temporary name would be longer), and one longer than that is refused.
    for (const std::size_t length : {200u, 240u, 255u}) {
        const CodePageString longName = folder + "/" + std::string(length - 4, 'n') + ".htm";
        WriteFileAtomic(longName, "long");
        WriteFileAtomic(longName, "longer");
        EXPECT_EQ(ReadFileBytes(longName), "longer") << length;
        EXPECT_TRUE(DeleteFile(longName)) << length;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << length;
    }
    EXPECT_THROW(WriteFileAtomic(folder + "/" + std::string(256, 'n'), "x"), EFCreateError);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // Renaming over a folder fails after the data was written: the temporary goes.
    ASSERT_TRUE(ForceDirectories(folder + "/taken"));
    EXPECT_THROW(WriteFileAtomic(folder + "/taken", "x"), EFCreateError);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    try {
        ReadFileBytes(folder + "/none");
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message, "Cannot open file \"" + folder + "/none\". No such file or directory");
    }
}

// A pipe with no writer would block the read for ever, and a device may never
// end: neither is read, nor opened as a stream, and a folder is told as one.
TEST(Files, ReadFileBytesReadsRegularFilesOnly)
{
    QTemporaryDir dir;
    const CodePageString fifo = dir.path().toStdString() + "/pipe.html";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        CodePageString path;
        const char* reason;
    } cases[] = {
        {fifo, "It is not a regular file."},
        {"/dev/zero", "It is not a regular file."},
        {dir.path().toStdString(), "Is a directory"},
    };
    for (const auto& c : cases) {
        try {
            ReadFileBytes(c.path);
            ADD_FAILURE() << c.path << ": no exception";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Message, "Cannot open file \"" + c.path + "\". " + c.reason);
        }
        try {
            TFileStream stream(c.path, fmOpenRead | fmShareDenyNone);
            ADD_FAILURE() << c.path << ": the stream opened";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Message, "Cannot open file \"" + c.path + "\". " + c.reason);
        }
    }
    // Writing into a pipe nobody reads would wait as long.
    EXPECT_THROW(TFileStream(fifo, fmCreate), EFCreateError);
}

TEST(Files, RenameFileRefusesToReplace)
{
    QTemporaryDir dir;
    const CodePageString a = dir.path().toStdString() + "/a";
    const CodePageString b = dir.path().toStdString() + "/b";
    WriteFileAtomic(a, "A");
    WriteFileAtomic(b, "B");
    EXPECT_FALSE(RenameFile(a, b));
    EXPECT_EQ(ReadFileBytes(b), "B");
    ASSERT_TRUE(DeleteFile(b));
    EXPECT_TRUE(RenameFile(a, b));
    EXPECT_FALSE(FileExists(a));
}
