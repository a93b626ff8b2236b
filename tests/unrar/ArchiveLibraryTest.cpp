// The archive library through its entry points, on archives from the
// tests' writer: what the archive component does not show (open results,
// comments, the header record, links, exact destinations, callbacks), and
// the pure pieces it stands on (the CRC, the name rule, the block reader).
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FileSizeLimit.h"
#include "support/Rar4Writer.h"
#include "support/TempDir.h"
#include "unrar/Crc32.h"
#include "unrar/EntryName.h"
#include "unrar/Rar4Format.h"
#include "unrar/UnRAR.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Delivered;
int Keep(unsigned char* data, int size)
{
    Delivered.append(reinterpret_cast<char*>(data), static_cast<std::size_t>(size));
    return 1;
}
int Refuse(unsigned char*, int)
{
    return 0;
}

// An open archive, closed at the end.
class TOpened {
public:
    explicit TOpened(const std::string& path, unsigned mode = RAR_OM_EXTRACT, std::size_t commentSize = 0)
        : FPath(path), FComment(commentSize + 1, '\0')
    {
        Data.ArcName = FPath.data();
        Data.OpenMode = mode;
        if (commentSize > 0) {
            Data.CmtBuf = FComment.data();
            Data.CmtBufSize = static_cast<unsigned>(commentSize);
        }
        Handle = RAROpenArchive(&Data);
    }
    ~TOpened()
    {
        if (Handle)
            RARCloseArchive(Handle);
    }
    TOpened(const TOpened&) = delete;
    TOpened& operator=(const TOpened&) = delete;
    std::string Comment() const { return FComment.substr(0, Data.CmtSize); }
    int Next() { return RARReadHeader(Handle, &Header); }
    int Process(int operation, const std::string& dest = "", const char* exactName = nullptr)
    {
        std::string folder = dest;
        std::string exact = exactName ? exactName : "";
        return RARProcessFile(Handle, operation, folder.empty() ? nullptr : folder.data(),
                              exactName ? exact.data() : nullptr);
    }

    RAROpenArchiveData Data{};
    RARHeaderData Header{};
    void* Handle = nullptr;

private:
    std::string FPath;
    std::string FComment;
};

TEST(ArchiveCrc, MatchesZlibAtEveryLengthAlignmentAndJoin)
{
    std::mt19937 random(7);
    std::string bytes(5000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t size = 0; size + offset <= bytes.size(); size += (size < 300 ? 1 : 97)) {
            const auto* p = reinterpret_cast<const Bytef*>(bytes.data() + offset);
            const auto expected = static_cast<std::uint32_t>(::crc32(0x5EED, p, static_cast<uInt>(size)));
            ASSERT_EQ(unrar::Crc32(0x5EED, p, size), expected) << "offset " << offset << " size " << size;
        }
    }
    // Fed in pieces it is the same as whole.
    const std::uint32_t whole = unrar::Crc32(0, bytes.data(), bytes.size());
    EXPECT_EQ(unrar::Crc32(unrar::Crc32(0, bytes.data(), 1000), bytes.data() + 1000, 4000), whole);
}

TEST(ArchiveNames, OnlyNamesThatStayBelowTheirFolderAreWritten)
{
    const struct {
        const char* name;
        const char* path;  // "" refused
    } cases[] = {
        {"a.txt", "a.txt"},
        {"dir\\Sub.TXT", "dir/Sub.TXT"},
        {"./a//b/.", "a/b"},
        {"...", "..."},
        {"a..b/..c", "a..b/..c"},
        {"..\\evil", ""},
        {"../evil", ""},
        {"a/../../b", ""},
        {"a\\..", ""},
        {"/abs", ""},
        {"\\\\server\\share", ""},
        {"C:\\x", ""},
        {"c:x", ""},
        {"", ""},
        {"./.", ""},
        {"bad\x01name", ""},
        {"tab\there", ""},
        {"dir/\x1b[31mred", ""},
        {"line\nbreak", ""},
        {"caf\xC3\xA9/na\xC3\xAFve", "caf\xC3\xA9/na\xC3\xAFve"},  // bytes above 127 are names like any
    };
    for (const auto& c : cases)
        EXPECT_EQ(unrar::SafeRelativePath(c.name), c.path) << c.name;
}

TEST(ArchiveNames, UnicodeFormsDecodeToUtf8)
{
    const struct {
        const char* what;
        std::string narrow;  // the 8-bit name an archiver would store beside it
        std::u16string wide;
        const char* utf8;
    } cases[] = {
        {"plain ASCII, one run", "readme.txt", u"readme.txt", "readme.txt"},
        // Shift-JIS: the second byte of the first character is 0x5C, "\".
        {"Japanese in Shift-JIS", "\x95\x5C\x8E\xA6\\\x83\x65\x83\x58\x83\x67.txt", u"表示\\テスト.txt",
         "\xE8\xA1\xA8\xE7\xA4\xBA\\\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.txt"},
        {"Cyrillic in Windows-1251, a shifted run", "\xCF\xF0\xE8\xE2\xE5\xF2.txt", u"Привет.txt",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt"},
        {"several pages", "a???", u"aé€中", "a\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"},
        {"a pair of surrogates", "?.txt", u"\U0001F600.txt", "\xF0\x9F\x98\x80.txt"},
        {"a lone surrogate", "?", std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},
        {"longer than its 8-bit form", "ab", u"abcdef", "abcdef"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string field = c.narrow + '\0' + EncodeRar4UnicodeName(c.narrow, c.wide);
        EXPECT_EQ(unrar::DecodeUnicodeName(field), c.utf8);
        // Cut anywhere, the field decodes to a part of the name, never more.
        for (std::size_t cut = c.narrow.size() + 1; cut < field.size(); ++cut)
            EXPECT_LE(unrar::DecodeUnicodeName(field.substr(0, cut)).size(), std::string(c.utf8).size());
    }
    // Without a NUL the field is UTF-8 already.
    EXPECT_EQ(unrar::DecodeUnicodeName("caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(ArchiveBlocks, SizesThatContradictEachOtherAreMalformed)
{
    using unrar::Rar4Status;
    unrar::Rar4Block block;
    EXPECT_EQ(unrar::ReadBlockStart(std::string("\0\0\x74\0\0", 5), block), Rar4Status::Short);
    // A header size below the seven bytes every header has, or below eleven with a data size.
    EXPECT_EQ(unrar::ReadBlockStart(std::string("\0\0\x7B\0\0\x06\0", 7), block), Rar4Status::Malformed);
    EXPECT_EQ(unrar::ReadBlockStart(std::string("\0\0\x77\0\x80\x0A\0", 7), block), Rar4Status::Malformed);

    // A file header whose name runs past the header's end.
    Rar4Archive one;
    one.entries = {Rar4Entry::File("name.txt", "x")};
    const Rar4Image image = WriteRar4(one);
    std::string header = image.bytes.substr(image.entryStart[0], image.dataStart[0] - image.entryStart[0]);
    unrar::Rar4File file;
    ASSERT_EQ(unrar::ReadBlock(header, block, &file), Rar4Status::Ok);
    EXPECT_EQ(file.name, "name.txt");
    header[26] = 9;  // the name size
    EXPECT_EQ(unrar::ReadBlock(header, block, &file), Rar4Status::Malformed);
    EXPECT_EQ(unrar::ReadBlock(header.substr(0, 20), block, &file), Rar4Status::Short);
}

TEST(ArchiveLibrary, OpenTellsWhatIsWrongWithTheFile)
{
    TempDir dir;
    Rar4Archive encryptedHeaders;
    encryptedHeaders.mainFlags = 0x0080;
    std::string badMain = Rar4Bytes({});
    badMain[7] ^= 1;  // the main header's CRC
    const struct {
        const char* name;
        std::string bytes;
        unsigned result;
    } cases[] = {
        {"empty.rar", "", ERAR_BAD_ARCHIVE},
        {"page.rar", "<html><body>404 Not Found</body></html>", ERAR_BAD_ARCHIVE},
        {"later.rar", std::string("Rar!\x1A\x07\x01\x00", 8) + std::string(20, '\0'), ERAR_UNKNOWN_FORMAT},
        {"badmain.rar", badMain, ERAR_BAD_DATA},
        {"locked.rar", WriteRar4(encryptedHeaders).bytes, ERAR_NO_DECRYPTION},
        {"good.rar", Rar4Bytes({}), ERAR_SUCCESS},
    };
    for (const auto& c : cases) {
        TOpened archive(dir.Write(c.name, c.bytes));
        EXPECT_EQ(archive.Data.OpenResult, c.result) << c.name;
        EXPECT_EQ(archive.Handle != nullptr, c.result == ERAR_SUCCESS) << c.name;
    }
    TOpened missing(dir.File("missing.rar"));
    EXPECT_EQ(missing.Data.OpenResult, static_cast<unsigned>(ERAR_EOPEN));
    EXPECT_EQ(RARCloseArchive(nullptr), ERAR_ECLOSE);
}

TEST(ArchiveLibrary, StoredCommentsAreReadAndOthersSaySo)
{
    TempDir dir;
    Rar4Archive commented;
    commented.comment = "Engine database of May";
    const std::string good = WriteRar4(commented).bytes;
    std::string damaged = good;
    damaged[damaged.find("May")] = 'J';  // the comment's CRC no longer matches
    Rar4Archive old;
    old.mainFlags = 0x0002;  // an old packed comment inside the main header

    TOpened whole(dir.Write("a.rar", good), RAR_OM_EXTRACT, 100);
    EXPECT_EQ(whole.Data.CmtState, 1u);
    EXPECT_EQ(whole.Comment(), "Engine database of May");
    TOpened cut(dir.Write("b.rar", good), RAR_OM_EXTRACT, 6);
    EXPECT_EQ(cut.Data.CmtState, static_cast<unsigned>(ERAR_SMALL_BUF));
    EXPECT_EQ(cut.Comment(), "Engine");
    TOpened broken(dir.Write("c.rar", damaged), RAR_OM_EXTRACT, 100);
    EXPECT_EQ(broken.Data.CmtState, static_cast<unsigned>(ERAR_BAD_DATA));
    TOpened packed(dir.Write("d.rar", WriteRar4(old).bytes), RAR_OM_EXTRACT, 100);
    EXPECT_EQ(packed.Data.CmtState, static_cast<unsigned>(ERAR_PACKED_COMMENT));
    TOpened none(dir.Write("e.rar", Rar4Bytes({})), RAR_OM_EXTRACT, 100);
    EXPECT_EQ(none.Data.CmtState, 0u);
    // The comment block is no entry.
    ASSERT_NE(whole.Handle, nullptr);
    EXPECT_EQ(whole.Next(), ERAR_END_ARCHIVE);
}

TEST(ArchiveLibrary, TheHeaderRecordDescribesTheEntry)
{
    TempDir dir;
    Rar4Entry entry = Rar4Entry::File("Folder\\Name.TXT", "twelve bytes");
    entry.hostOS = 3;
    entry.attr = 0100640;
    TOpened archive(dir.Write("a.rar", Rar4Bytes({entry})));
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    const RARHeaderData& h = archive.Header;
    EXPECT_STREQ(h.ArcName, dir.File("a.rar").c_str());
    EXPECT_STREQ(h.FileName, "Folder/Name.TXT");
    EXPECT_EQ(h.PackSize, 12u);
    EXPECT_EQ(h.UnpSize, 12u);
    EXPECT_EQ(h.HostOS, 3u);
    EXPECT_EQ(h.FileCRC, static_cast<unsigned>(::crc32(0, reinterpret_cast<const Bytef*>("twelve bytes"), 12)));
    EXPECT_EQ(h.FileTime, 0x5A210000u);
    EXPECT_EQ(h.Method, 0x30u);
    EXPECT_EQ(h.FileAttr, 0100640u);
    EXPECT_EQ(h.Flags & RHDF_DIRECTORY, 0u);
    ASSERT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_SUCCESS);
    EXPECT_EQ(ReadFile(dir.File("out/Folder/Name.TXT")), "twelve bytes");
    EXPECT_EQ(fs::status(dir.File("out/Folder/Name.TXT")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Processing twice, or before a header, is out of order.
    EXPECT_EQ(archive.Process(RAR_TEST), ERAR_UNKNOWN);
    EXPECT_EQ(archive.Next(), ERAR_END_ARCHIVE);
    EXPECT_EQ(archive.Next(), ERAR_END_ARCHIVE);
}

TEST(ArchiveLibrary, ExtractionNeverFollowsALinkOutOfTheFolder)
{
    TempDir dir;
    fs::create_directories(dir.File("out"));
    fs::create_directories(dir.File("elsewhere"));
    fs::create_directory_symlink(dir.File("elsewhere"), dir.File("out/sub"));
    Rar4Entry link = Rar4Entry::File("link", "/etc/passwd");
    link.hostOS = 3;
    link.attr = 0120777;  // a symbolic link of a Unix archive
    TOpened archive(dir.Write("a.rar", Rar4Bytes({Rar4Entry::File("sub\\file", "x"), link,
                                                 Rar4Entry::File("kept", "k")})));
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    EXPECT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_ECREATE);
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    EXPECT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_ECREATE);
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    EXPECT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_SUCCESS);
    EXPECT_TRUE(fs::is_empty(dir.File("elsewhere")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("out/link"))));
    EXPECT_EQ(ReadFile(dir.File("out/kept")), "k");
}

TEST(ArchiveLibrary, AUnicodeNameIsWrittenInUtf8AndTheHeaderKeepsItsEightBitForm)
{
    TempDir dir;
    Rar4Entry japanese = Rar4Entry::File("\x95\x5C\x8E\xA6\\\x83\x65.txt", "hello");
    japanese.unicodeName = u"表示\\テ.txt";
    TOpened archive(dir.Write("a.rar", Rar4Bytes({japanese})));
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    EXPECT_EQ(std::string(archive.Header.FileName), "\x95/\x8E\xA6/\x83\x65.txt");
    EXPECT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_SUCCESS);
    EXPECT_EQ(ReadFile(dir.File("out/\xE8\xA1\xA8\xE7\xA4\xBA/\xE3\x83\x86.txt")), "hello");
    // One folder, not the ones the 0x5C byte inside a character would make.
    std::vector<std::string> top;
    for (const auto& item : fs::directory_iterator(dir.File("out")))
        top.push_back(item.path().filename().string());
    EXPECT_EQ(top, std::vector<std::string>{"\xE8\xA1\xA8\xE7\xA4\xBA"});
    EXPECT_EQ(archive.Next(), ERAR_END_ARCHIVE);
}

TEST(ArchiveLibrary, AnArchiveEndsAfterItsLastWholeBlockWithOrWithoutAnEndBlock)
{
    TempDir dir;
    Rar4Archive two;
    two.entries = {Rar4Entry::File("a", "first"), Rar4Entry::File("b", "second")};
    const Rar4Image image = WriteRar4(two);
    const struct {
        const char* what;
        std::size_t size;
        std::vector<int> reads;  // each header read, with a test of each entry read
    } cases[] = {
        {"with its end block", image.bytes.size(), {0, 0, 10}},
        {"without one", image.endStart, {0, 0, 10}},
        {"cut inside the end block", image.endStart + 3, {0, 0, 12}},
        {"cut inside the second header", image.entryStart[1] + 10, {0, 12}},
        {"cut inside the second entry's data", image.dataStart[1] + 2, {0, 0, 12}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TOpened archive(dir.Write("a.rar", image.bytes.substr(0, c.size)));
        std::vector<int> reads;
        for (int r = ERAR_SUCCESS; r == ERAR_SUCCESS;) {
            r = archive.Next();
            reads.push_back(r);
            if (r == ERAR_SUCCESS && archive.Process(RAR_TEST) != ERAR_SUCCESS)
                reads.push_back(-1);
        }
        // An entry cut short fails its test before the end is found.
        std::vector<int> expected = c.reads;
        if (c.size == image.dataStart[1] + 2)
            expected = {0, 0, -1, 12};
        EXPECT_EQ(reads, expected);
    }
}

TEST(ArchiveLibrary, TestRefusesWhatExtractCannotCreate)
{
    Rar4Entry link = Rar4Entry::File("link", "target");
    link.hostOS = 3;
    link.attr = 0120777;
    const struct {
        const char* what;
        std::vector<Rar4Entry> entries;
        std::vector<int> results;  // of each entry, the same for test and for extract
    } cases[] = {
        {"a file, then a file below it", {Rar4Entry::File("a", "x"), Rar4Entry::File("a\\b", "y")}, {0, 16}},
        {"a file, then a folder of its name", {Rar4Entry::File("a", "x"), Rar4Entry::Folder("a")}, {0, 16}},
        {"a folder, then a file of its name", {Rar4Entry::Folder("d"), Rar4Entry::File("d", "x")}, {0, 16}},
        {"a file in a folder, then a file of the folder's name",
         {Rar4Entry::File("d\\f", "x"), Rar4Entry::File("d", "y")}, {0, 16}},
        {"a symbolic link", {link, Rar4Entry::File("kept", "k")}, {16, 0}},
        {"a name longer than a file name may be", {Rar4Entry::File(std::string(300, 'n'), "x")}, {16}},
        {"a path longer than a path may be", {Rar4Entry::Folder([] {
             std::string deep;
             for (int i = 0; i < 3000; ++i)
                 deep += "a/";
             return deep;
         }())},
         {16}},
        {"a control character only in the Unicode form", {[] {
             Rar4Entry e = Rar4Entry::File("ok.txt", "x");
             e.unicodeName = u"ok\x01.txt";
             return e;
         }()},
         {12}},
        {"a folder twice, and files in it", {Rar4Entry::Folder("d"), Rar4Entry::File("d/f", "x"), Rar4Entry::Folder("d")},
         {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const int operation : {RAR_TEST, RAR_EXTRACT}) {
            TempDir dir;
            TOpened archive(dir.Write("a.rar", Rar4Bytes(c.entries)));
            std::vector<int> results;
            while (archive.Next() == ERAR_SUCCESS)
                results.push_back(archive.Process(operation, dir.File("out")));
            EXPECT_EQ(results, c.results) << (operation == RAR_TEST ? "test" : "extract");
        }
    }
}

TEST(ArchiveLibrary, AnEntryNeverDeliversMoreThanItsDeclaredSize)
{
    TempDir dir;
    Rar4Entry longer = Rar4Entry::File("a", std::string(100000, 'x'));
    longer.unpSize = 1000;  // the header claims less than the stored data holds
    TOpened archive(dir.Write("a.rar", Rar4Bytes({longer})));
    Delivered.clear();
    RARSetProcessDataProc(archive.Handle, &Keep);
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    EXPECT_NE(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_SUCCESS);
    EXPECT_LE(Delivered.size(), 1000u);
    EXPECT_FALSE(fs::exists(dir.File("out/a")));
}

TEST(ArchiveLibrary, AFullDiskStopsTheEntryAndLeavesNoPartialFile)
{
    TempDir dir;
    dir.Write("out/big", "the old file");
    TOpened archive(dir.Write("a.rar", Rar4Bytes({Rar4Entry::File("big", std::string(300000, 'b'))})));
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    int result = 0;
    {
        // Files of this process may grow to 64 KiB: a write past it fails
        // the way a full disk does.
        const TFileSizeLimit limit(64 * 1024);
        result = archive.Process(RAR_EXTRACT, dir.File("out"));
    }
    EXPECT_EQ(result, ERAR_EWRITE);
    EXPECT_EQ(ReadFile(dir.File("out/big")), "the old file");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("out")), fs::directory_iterator()), 1);
}

// Archives written by a real archiver, with compressed entries: every entry
// comes out as bsdtar -xf gives it (size and CRC32 of each file), the link
// is refused by test and extract alike, and the folders are made.
TEST(ArchiveLibrary, CompressedArchivesOfARealArchiverExtractEntryByEntry)
{
    struct TFile {
        std::size_t size;
        std::uint32_t crc;
    };
    const struct {
        const char* archive;
        std::vector<std::pair<std::string, int>> results;  // each entry's name and result, test and extract alike
        std::map<std::string, TFile> files;
        std::vector<std::string> folders;
    } cases[] = {
        {"compress_normal.rar",
         {{"LibarchiveAddingTest.html", 0}, {"testlink", 16}, {"testdir/test.txt", 0},
          {"testdir/LibarchiveAddingTest.html", 0}, {"testdir", 0}, {"testemptydir", 0}},
         {{"LibarchiveAddingTest.html", {20111, 0x5e05a663}},
          {"testdir/LibarchiveAddingTest.html", {20111, 0x5e05a663}},
          {"testdir/test.txt", {20, 0xbec8a242}}},
         {"testdir", "testemptydir"}},
        {"windows.rar",
         {{"testdir/test.txt", 0}, {"test.txt", 0}, {"testshortcut.lnk", 0}, {"testdir", 0}, {"testemptydir", 0}},
         {{"test.txt", {16, 0x97d612f1}}, {"testdir/test.txt", {16, 0x97d612f1}}, {"testshortcut.lnk", {441, 0x5b5cd737}}},
         {"testdir", "testemptydir"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        for (const int operation : {RAR_TEST, RAR_EXTRACT}) {
            TempDir dir;
            TOpened archive(std::string(TENVAREL_SOURCE_DIR "/tests/fixtures/rar/") + c.archive);
            ASSERT_EQ(archive.Data.OpenResult, 0u);
            std::vector<std::pair<std::string, int>> results;
            while (archive.Next() == ERAR_SUCCESS)
                results.emplace_back(archive.Header.FileName, archive.Process(operation, dir.File("out")));
            EXPECT_EQ(results, c.results);
            if (operation == RAR_TEST)
                continue;
            std::map<std::string, TFile> files;
            std::vector<std::string> folders;
            for (const auto& item : fs::recursive_directory_iterator(dir.File("out"))) {
                const std::string name = fs::relative(item.path(), dir.File("out")).string();
                ASSERT_FALSE(item.is_symlink()) << name;
                if (item.is_directory()) {
                    folders.push_back(name);
                    continue;
                }
                const std::string bytes = ReadFile(item.path().string());
                files[name] = {bytes.size(), unrar::Crc32(0, bytes.data(), bytes.size())};
            }
            std::sort(folders.begin(), folders.end());
            EXPECT_EQ(folders, c.folders);
            ASSERT_EQ(files.size(), c.files.size());
            for (const auto& [name, file] : c.files) {
                ASSERT_TRUE(files.count(name)) << name;
                EXPECT_EQ(files[name].size, file.size) << name;
                EXPECT_EQ(files[name].crc, file.crc) << name;
            }
        }
    }
}

TEST(ArchiveLibrary, ADamagedEntryLeavesTheFileItWouldReplace)
{
    TempDir dir;
    dir.Write("out/data.czc", "the old database");
    Rar4Entry bad = Rar4Entry::File("data.czc", "the new database");
    bad.crc = 1;
    TOpened archive(dir.Write("a.rar", Rar4Bytes({bad})));
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    EXPECT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_BAD_DATA);
    EXPECT_EQ(ReadFile(dir.File("out/data.czc")), "the old database");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("out")), fs::directory_iterator()), 1);  // no leftovers
}

TEST(ArchiveLibrary, CallbacksSeeTheDataAndCanStopAnEntry)
{
    TempDir dir;
    const std::string data(300000, 'd');
    TOpened archive(dir.Write("a.rar", Rar4Bytes({Rar4Entry::File("a", data), Rar4Entry::File("b", data)})));
    Delivered.clear();
    RARSetProcessDataProc(archive.Handle, &Keep);
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    EXPECT_EQ(archive.Process(RAR_TEST), ERAR_SUCCESS);
    EXPECT_EQ(Delivered, data);
    RARSetProcessDataProc(archive.Handle, &Refuse);
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    EXPECT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_STOPPED);
    EXPECT_FALSE(fs::exists(dir.File("out/b")));
}

TEST(ArchiveLibrary, WhatItCannotDoHasItsOwnCode)
{
    TempDir dir;
    Rar4Entry secret = Rar4Entry::File("secret", "ciphertext");
    secret.flags = RHDF_ENCRYPTED;
    Rar4Entry split = Rar4Entry::File("split", "first half");
    split.flags = RHDF_SPLITAFTER;
    const std::string path = dir.Write("a.rar", Rar4Bytes({secret, secret, split}));
    {
        TOpened archive(path);
        ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
        EXPECT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_MISSING_PASSWORD);
        std::string password = "guess";
        RARSetPassword(archive.Handle, password.data());
        ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
        EXPECT_EQ(archive.Process(RAR_TEST), ERAR_NO_DECRYPTION);
        ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
        EXPECT_EQ(archive.Process(RAR_EXTRACT, dir.File("out")), ERAR_NO_VOLUME_CHANGE);
        EXPECT_FALSE(fs::exists(dir.File("out/secret")));
        EXPECT_FALSE(fs::exists(dir.File("out/split")));
    }
    // A listing reads headers and skips, nothing else.
    TOpened listing(path, RAR_OM_LIST);
    ASSERT_EQ(listing.Next(), ERAR_SUCCESS);
    EXPECT_EQ(listing.Process(RAR_TEST), ERAR_UNKNOWN);
    ASSERT_EQ(listing.Next(), ERAR_SUCCESS);
    EXPECT_EQ(listing.Process(RAR_SKIP), ERAR_SUCCESS);
}

TEST(ArchiveLibrary, AnExactDestinationNameIsUsedAsItStands)
{
    TempDir dir;
    fs::create_directories(dir.File("there"));
    TOpened archive(dir.Write("a.rar", Rar4Bytes({Rar4Entry::File("softup.exe", "new program")})));
    ASSERT_EQ(archive.Next(), ERAR_SUCCESS);
    const std::string exact = dir.File("there/Tenvarel.new");
    EXPECT_EQ(archive.Process(RAR_EXTRACT, "", exact.c_str()), ERAR_SUCCESS);
    EXPECT_EQ(ReadFile(exact), "new program");
}

}  // namespace
