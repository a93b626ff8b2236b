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
#include "platform/Hooks.h"

TEST(SysUtils, StrToInt)
{
    const struct {
        const char* text;
        int value;
    } good[] = {
        {"0", 0},          {"-12", -12},   {"+7", 7},         {"007", 7},           {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1}, {"$FF", 255},     {"0x1f", 31},         {"0X10", 16},
        {"-$10", -16},     {"$FFFFFFFF", -1},
    };
    for (const auto& c : good) {
        EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
        int value = 0;
        EXPECT_TRUE(TryStrToInt(c.text, value));
    }
    for (const char* bad : {"", " 1", "1 ", "1 2", "\t5", "2147483648", "-2147483649", "abc", "$", "0x", "+", "-",
                            "1e3", "$100000000", "12abc", "--1"}) {
        EXPECT_THROW(StrToInt(bad), EConvertError) << '"' << bad << '"';
        EXPECT_EQ(StrToIntDef(bad, -99), -99) << bad;
    }
    try {
        StrToInt("abc");
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message, "'abc' is not a valid integer value");
    }
}

TEST(SysUtils, StringHelpers)
{
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0") << "only bytes up to the blank are cut";
    EXPECT_EQ(Copy("abcdef", 0, 2), "ab");
    EXPECT_EQ(Copy("abcdef", 5, 10), "ef");
    EXPECT_EQ(Copy("abc", 9, 1), "");
    EXPECT_EQ(Copy("abc", 2, -1), "");
    EXPECT_EQ(Pos("cd", "abcdcd"), 3);
    EXPECT_EQ(Pos("", "abc"), 0);
    EXPECT_LT(CompareText("a", "B"), 0);
    EXPECT_LT(CompareText("Z", "_"), 0);
    EXPECT_LT(CompareText("_", "\x80"), 0);
    EXPECT_EQ(CompareText("MiXed", "mixED"), 0);
    EXPECT_LT(CompareText("ab", "ABC"), 0);
    EXPECT_LT(CompareStr("B", "a"), 0);
    EXPECT_LT(CompareStr("a", "\xE9"), 0) << "bytes compare unsigned";
}

TEST(SysUtils, Paths)
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
TEST(SysUtils, SyncFilesFlushesTheNamedFilesAndTheirFolderOnly)
{
    QTemporaryDir dir;
    const AnsiString folder = dir.path().toStdString();
    const std::vector<AnsiString> files = {folder + "/a.zro", folder + "/b.zro"};
    for (const AnsiString& file : files)
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

TEST(SysUtils, WriteFileAtomicReplacesWholeAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const AnsiString folder = dir.path().toStdString();
    const AnsiString path = folder + "/data.czc";
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
        const AnsiString longName = folder + "/" + std::string(length - 4, 'n') + ".htm";
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
TEST(SysUtils, ReadFileBytesReadsRegularFilesOnly)
{
    QTemporaryDir dir;
    const AnsiString fifo = dir.path().toStdString() + "/pipe.html";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        AnsiString path;
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

TEST(SysUtils, RenameFileRefusesToReplace)
{
    QTemporaryDir dir;
    const AnsiString a = dir.path().toStdString() + "/a";
    const AnsiString b = dir.path().toStdString() + "/b";
    WriteFileAtomic(a, "A");
    WriteFileAtomic(b, "B");
    EXPECT_FALSE(RenameFile(a, b));
    EXPECT_EQ(ReadFileBytes(b), "B");
    ASSERT_TRUE(DeleteFile(b));
    EXPECT_TRUE(RenameFile(a, b));
    EXPECT_FALSE(FileExists(a));
}

TEST(SysUtils, DatesEncodeAndDecode)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
    EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);

    int y, m, d, h, n, s, ms;
    DecodeDate(-1.25, y, m, d);
    DecodeTime(-1.25, h, n, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n}), (std::vector<int>{1899, 12, 29, 6, 0}));
    // A hair before midnight rounds to the next day, not to 24:00.
    const TDateTime almost = EncodeDate(2000, 1, 1) - 1e-10;
    DecodeDate(almost, y, m, d);
    DecodeTime(almost, h, n, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, ms}), (std::vector<int>{2000, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(DayOfWeek(EncodeDate(2003, 7, 4)), 6);  // a Friday

    GetHooks().now = [] { return 36526.75; };
    EXPECT_EQ(Now(), 36526.75);
    EXPECT_EQ(Date(), 36526.0);
    EXPECT_EQ(Time(), 0.75);
    ResetHooks();
}

class FormatDateTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TFormatSettings& fs = FormatSettings();
        fs = TFormatSettings();
        fs.DateSeparator = '-';
        fs.TimeSeparator = '.';
        fs.TimePMString = "nachm.";
        fs.ShortTimeFormat = "hh:nn";
    }
    void TearDown() override { ResetFormatSettings(); }
};

TEST_F(FormatDateTimeTest, PatternLetters)
{
    const TDateTime afternoon = EncodeDate(2003, 7, 4) + EncodeTime(15, 5, 9, 45);
    const TDateTime midnight = EncodeDate(2010, 12, 25);
    const struct {
        const char* format;
        TDateTime when;
        const char* expected;
    } cases[] = {
        {"d dd ddd dddd", afternoon, "4 04 Fri Friday"},
        {"m mm mmm mmmm", afternoon, "7 07 Jul July"},
        {"yy yyyy", afternoon, "03 2003"},
        {"h hh n nn s ss z zzz", afternoon, "15 15 5 05 9 09 45 045"},
        {"hh:mm", afternoon, "15.05"},  // m after h is minutes
        {"yyyy/mm/dd", afternoon, "2003-07-04"},
        {"h:nn am/pm", afternoon, "3.05 pm"},
        {"h:nn AM/PM", afternoon, "3.05 PM"},
        {"h a/p", afternoon, "3 p"},
        {"hh ampm", afternoon, "03 nachm."},
        {"h ampm", midnight, "12 AM"},
        {"'mm' \"dd\" m", afternoon, "mm dd 7"},
        {"c", afternoon, "7-4-2003 3.05.09 nachm."},
        {"c", midnight, "12-25-2010"},
        {"", midnight, "12-25-2010"},
        {"ddddd t", afternoon, "7-4-2003 15.05"},
        {"tt", afternoon, "3.05.09 nachm."},
        {"dddddd", midnight, "Saturday, December 25, 2010"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.format, c.when), c.expected) << c.format;

    FormatSettings().ShortDateFormat = "dd/mm/yy";
    EXPECT_EQ(DateToStr(afternoon), "04-07-03");
}

TEST_F(FormatDateTimeTest, LocaleFormatsConvert)
{
    const struct {
        const char* posix;
        bool isTime;
        const char* pattern;
        char separator;
    } cases[] = {
        {"%d.%m.%Y", false, "dd/mm/yyyy", '.'}, {"%m/%d/%y", false, "mm/dd/yy", '/'},
        {"%Y-%m-%d", false, "yyyy/mm/dd", '-'}, {"%D", false, "mm/dd/yy", '/'},
        {"%H:%M:%S", true, "hh:nn:ss", ':'},    {"%r", true, "hh:nn:ss AMPM", ':'},
        {"%Q", false, "", 0},
    };
    for (const auto& c : cases) {
        char separator = 'x';
        EXPECT_EQ(PatternFromPosixFormat(c.posix, c.isTime, separator), c.pattern) << c.posix;
        EXPECT_EQ(separator, c.separator) << c.posix;
    }
    // Literal letters are quoted so they stay letters.
    char separator = 0;
    const AnsiString pattern = PatternFromPosixFormat("%e de %B", false, separator);
    EXPECT_EQ(FormatDateTime(pattern, EncodeDate(2003, 7, 4)), "4 de July");
}

TEST_F(FormatDateTimeTest, CLocaleGivesTheDefaults)
{
    const char* saved = std::getenv("LC_ALL");
    const std::string keep = saved ? saved : "";
    setenv("LC_ALL", "C", 1);
    ResetFormatSettings();
    EXPECT_EQ(FormatSettings().ShortDateFormat, TFormatSettings().ShortDateFormat);
    EXPECT_EQ(FormatSettings().LongTimeFormat, TFormatSettings().LongTimeFormat);
    EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
    if (saved)
        setenv("LC_ALL", keep.c_str(), 1);
    else
        unsetenv("LC_ALL");
}
