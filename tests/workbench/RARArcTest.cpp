// The archive component over the real libunrar.so, loaded by name from the
// folder it is created in, on archives from the tests' writer: every kind
// of archive the update can be handed, as one table, then the filters, Stop,
// the events and a missing library.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "classlib/Files.h"
#include "support/Rar4Writer.h"
#include "support/TempDir.h"
#include "workbench/RARArc.h"

namespace fs = std::filesystem;

namespace {

// A folder holding the library (when asked) in which the component is
// created, the way both programs create theirs in the application folder.
class TArchiveFolder {
public:
    explicit TArchiveFolder(bool withLibrary = true) : FDir("tenvarel-rar")
    {
        if (withLibrary)
            fs::copy_file(TENVAREL_BUILD_DIR "/libunrar.so", FDir.File("libunrar.so"));
        const CodePageString old = GetCurrentDir();
        SetCurrentDir(FDir.Path());
        Rar = std::make_unique<TRAR>(nullptr);
        SetCurrentDir(old);
        Rar->OnError = [this](TObject*, int error) { Errors.push_back(error); };
        Rar->OnExtract = [this](TObject*, const RARHeaderData& h, bool ok) { Extracted.emplace_back(h.FileName, ok); };
        Rar->OnTested = [this](TObject*, const RARHeaderData& h, bool ok) { Tested.emplace_back(h.FileName, ok); };
        Rar->TargetDir = FDir.File("out");
        fs::create_directories(Rar->TargetDir);
    }
    std::string Archive(const std::string& bytes)
    {
        Rar->ArchiveName = FDir.Write("archive.rar", bytes);
        return Rar->ArchiveName;
    }
    // Every file below the target folder, by relative path.
    std::map<std::string, std::string> Files() const
    {
        std::map<std::string, std::string> files;
        for (const auto& item : fs::recursive_directory_iterator(Rar->TargetDir)) {
            if (!item.is_regular_file())
                continue;
            std::ifstream in(item.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            files[fs::relative(item.path(), Rar->TargetDir).string()] = bytes.str();
        }
        return files;
    }
    const TempDir& Dir() const { return FDir; }
    void Reset()
    {
        Errors.clear();
        Extracted.clear();
        Tested.clear();
    }

    std::unique_ptr<TRAR> Rar;
    std::vector<int> Errors;
    std::vector<std::pair<std::string, bool>> Extracted;
    std::vector<std::pair<std::string, bool>> Tested;

private:
    TempDir FDir;
};

std::string Cut(const std::string& bytes, std::size_t size)
{
    return bytes.substr(0, size);
}

Rar4Entry WithCrc(Rar4Entry e, std::uint32_t crc)
{
    e.crc = crc;
    return e;
}

Rar4Entry WithHeaderCrc(Rar4Entry e, std::uint16_t crc)
{
    e.headerCrc = crc;
    return e;
}

Rar4Entry Encrypted(Rar4Entry e)
{
    e.flags |= RHDF_ENCRYPTED;
    return e;
}

struct TArchiveCase {
    const char* what;
    std::function<std::string()> bytes;
    bool tests;
    std::vector<int> testErrors;
    bool extracts;
    std::vector<int> extractErrors;
    std::map<std::string, std::string> files;  // the whole target folder afterwards
};

const Rar4Entry A = Rar4Entry::File("a.txt", "first");
const Rar4Entry B = Rar4Entry::File("b.txt", "second");
const Rar4Entry C = Rar4Entry::File("c.txt", "third");

std::vector<TArchiveCase> ArchiveCases()
{
    Rar4Archive abc;
    abc.entries = {A, B, C};
    const Rar4Image three = WriteRar4(abc);
    Rar4Archive unended;
    unended.entries = {A, B};
    unended.endBlock = false;
    return {
        {"folders and mixed-case names",
         [] {
             return Rar4Bytes({Rar4Entry::Folder("Data"), Rar4Entry::File("Data\\Engines.TXT", "engines"),
                               Rar4Entry::File("ReadMe.txt", "read me"),
                               Rar4Entry::File("Sub/Deep\\MiXed.Bin", std::string("\0\1\2", 3))});
         },
         true, {}, true, {},
         {{"Data/Engines.TXT", "engines"}, {"ReadMe.txt", "read me"}, {"Sub/Deep/MiXed.Bin", std::string("\0\1\2", 3)}}},
        {"a wrong data CRC in the middle entry", [] { return Rar4Bytes({A, WithCrc(B, 0xDEADBEEF), C}); }, false, {12},
         false, {12}, {{"a.txt", "first"}, {"c.txt", "third"}}},
        {"a damaged header", [] { return Rar4Bytes({A, WithHeaderCrc(B, 0x1234), C}); }, false, {12}, false, {12},
         {{"a.txt", "first"}}},
        // Older archivers wrote no end block; a file that ends after a whole
        // entry is a whole archive.
        {"cut at an entry boundary, without its end block", [three] { return Cut(three.bytes, three.endStart); }, true,
         {}, true, {}, {{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}}},
        {"no end block", [unended] { return WriteRar4(unended).bytes; }, true, {}, true, {},
         {{"a.txt", "first"}, {"b.txt", "second"}}},
        {"cut inside the end block", [three] { return Cut(three.bytes, three.endStart + 4); }, false, {12}, false, {12},
         {{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}}},
        // Test fails what extract cannot create, so an update never starts on
        // an archive it cannot finish.
        {"a file where a folder must be", [] { return Rar4Bytes({A, Rar4Entry::File("a.txt\\x", "below a file"), C}); },
         false, {16}, false, {16}, {{"a.txt", "first"}, {"c.txt", "third"}}},
        {"a control character in a name", [] { return Rar4Bytes({Rar4Entry::File("evil\x1b]0;x\x07", "x"), C}); },
         false, {12}, false, {12}, {{"c.txt", "third"}}},
        {"cut in the middle of data", [three] { return Cut(three.bytes, three.dataStart[1] + 3); }, false, {12, 12},
         false, {12, 12}, {{"a.txt", "first"}}},
        {"an HTML error page", [] { return std::string("<html><head><title>404 Not Found</title></head></html>"); },
         false, {13}, false, {13}, {}},
        {"an empty file", [] { return std::string(); }, false, {13}, false, {13}, {}},
        {"an archive without entries", [] { return Rar4Bytes({}); }, true, {}, true, {}, {}},
        // No password is known: the walk ends at the encrypted entry.
        {"an encrypted entry", [] { return Rar4Bytes({A, Encrypted(B), C}); }, false, {22}, false, {22},
         {{"a.txt", "first"}}},
        {"names that leave the folder",
         [] {
             return Rar4Bytes({Rar4Entry::File("..\\evil", "up"), Rar4Entry::File("/abs", "root"),
                               Rar4Entry::File("C:\\x", "drive"), Rar4Entry::File("ok.txt", "kept")});
         },
         false, {12, 12, 12}, false, {12, 12, 12}, {{"ok.txt", "kept"}}},
    };
}

TEST(RARArc, EveryKindOfArchiveTestsAndExtractsAsItShould)
{
    for (const TArchiveCase& c : ArchiveCases()) {
        SCOPED_TRACE(c.what);
        TArchiveFolder folder;
        folder.Archive(c.bytes());
        EXPECT_EQ(folder.Rar->Test(), c.tests);
        EXPECT_EQ(folder.Errors, c.testErrors);
        EXPECT_TRUE(folder.Files().empty());  // a test writes nothing
        folder.Reset();
        EXPECT_EQ(folder.Rar->Extract(), c.extracts);
        EXPECT_EQ(folder.Errors, c.extractErrors);
        EXPECT_EQ(folder.Files(), c.files);
        // Nothing beside the target folder and the archive.
        std::vector<std::string> beside;
        for (const auto& item : fs::directory_iterator(folder.Dir().Path()))
            beside.push_back(item.path().filename().string());
        std::sort(beside.begin(), beside.end());
        EXPECT_EQ(beside, (std::vector<std::string>{"archive.rar", "libunrar.so", "out"}));
        EXPECT_FALSE(fs::exists("/abs"));
    }
}

TEST(RARArc, WithoutTheLibraryEveryOperationReportsError50)
{
    TArchiveFolder folder(false);
    EXPECT_FALSE(folder.Rar->LoadedDLL());
    folder.Archive(Rar4Bytes({A}));
    EXPECT_FALSE(folder.Rar->Test());
    EXPECT_FALSE(folder.Rar->Extract());
    EXPECT_EQ(folder.Errors, (std::vector<int>{50, 50}));

    TArchiveFolder loaded;
    EXPECT_TRUE(loaded.Rar->LoadedDLL());
    EXPECT_FALSE(loaded.Rar->Extract());  // no archive name
    EXPECT_EQ(loaded.Errors, (std::vector<int>{13}));
}

TEST(RARArc, FiltersNameEntriesInAnyLetterCase)
{
    TArchiveFolder folder;
    folder.Archive(Rar4Bytes({A, B, WithCrc(C, 1)}));
    TStringList only;
    only.Add("B.TXT");
    folder.Rar->SetFilesToExtract(only);
    EXPECT_TRUE(folder.Rar->Extract());  // the damaged entry is skipped, never read
    EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"b.txt", "second"}}));
    EXPECT_EQ(folder.Extracted, (std::vector<std::pair<std::string, bool>>{{"b.txt", true}}));
    only.Clear();
    only.Add("c.txt");
    folder.Rar->SetFilesToTest(only);
    EXPECT_FALSE(folder.Rar->Test());
    EXPECT_EQ(folder.Tested, (std::vector<std::pair<std::string, bool>>{{"c.txt", false}}));
}

TEST(RARArc, StopEndsTheWalkBeforeTheNextEntry)
{
    TArchiveFolder folder;
    folder.Archive(Rar4Bytes({A, B, C}));
    folder.Rar->OnExtracting = [&](TObject*, const RARHeaderData&) { folder.Rar->Stop = true; };
    EXPECT_TRUE(folder.Rar->Extract());
    EXPECT_FALSE(folder.Rar->Stop);
    EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"a.txt", "first"}}));
}

TEST(RARArc, ProgressPasswordAndCommentEvents)
{
    TArchiveFolder folder;
    Rar4Archive archive;
    archive.comment = "update of May";
    archive.entries = {Rar4Entry::File("big.bin", std::string(3 << 20, 'x')), Encrypted(B)};
    folder.Archive(WriteRar4(archive).bytes);
    std::vector<int> positions;
    std::vector<std::string> comments;
    std::vector<std::string> asked;
    folder.Rar->OnProcessData = [&](TObject*, char*, int size, int position) {
        positions.push_back(position);
        EXPECT_GT(size, 0);
        return 1;
    };
    folder.Rar->OnComment = [&](TObject*, TComment& comment) { comments.emplace_back(comment.Buffer, comment.Size); };
    folder.Rar->OnReqPassword = [&](TObject*, const RARHeaderData& h, CodePageString& password) {
        asked.push_back(h.FileName);
        password = "guess";
    };
    EXPECT_FALSE(folder.Rar->Test());
    EXPECT_TRUE(positions.empty());  // Test never reports data
    EXPECT_EQ(folder.Errors, (std::vector<int>{ERAR_NO_DECRYPTION}));
    folder.Reset();
    EXPECT_FALSE(folder.Rar->Extract());
    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), 3 << 20);
    EXPECT_EQ(comments, (std::vector<std::string>{"update of May", "update of May"}));
    EXPECT_EQ(asked, (std::vector<std::string>{"b.txt", "b.txt"}));
    EXPECT_EQ(folder.Errors, (std::vector<int>{ERAR_NO_DECRYPTION}));
}

}  // namespace
