#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "classlib/Files.h"
#include "classlib/IniFiles.h"

namespace {

class IniFileTest : public ::testing::Test {
protected:
    // Writes the initial bytes (none: the file is missing) and returns the path.
    CodePageString Prepare(const std::optional<std::string>& bytes)
    {
        const CodePageString path = dir.path().toStdString() + "/settings.ini";
        DeleteFile(path);
        if (bytes)
            WriteFileAtomic(path, *bytes);
        return path;
    }

    QTemporaryDir dir;
};

std::vector<CodePageString> Lines(const TStrings& list)
{
    std::vector<CodePageString> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list[i]);
    return out;
}

}  // namespace

TEST_F(IniFileTest, WritesFollowTheProfileRules)
{
    const struct {
        const char* what;
        std::optional<std::string> before;
        std::function<void(TIniFile&)> op;
        std::string after;
    } cases[] = {
        {"missing file", std::nullopt, [](TIniFile& f) { f.WriteString("Proxy", "Host", "h"); },
         "[Proxy]\r\nHost=h\r\n"},
        {"empty file", "", [](TIniFile& f) { f.WriteString("c", "k", "v"); }, "[c]\r\nk=v\r\n"},
        {"rewrite in place, names ignore case", "[Sect]\nKey = old\nnext=1\n",
         [](TIniFile& f) { f.WriteString("sECT", "KEY", "new"); }, "[Sect]\r\nKey=new\r\nnext=1\r\n"},
        {"new key after the section's last line, before its blank lines",
         "[a]\r\nx=1\r\ny=2\r\n\r\n[b]\r\nz=3\r\n", [](TIniFile& f) { f.WriteString("a", "new", "4"); },
         "[a]\r\nx=1\r\ny=2\r\nnew=4\r\n\r\n[b]\r\nz=3\r\n"},
        {"new key in an empty section", "[a]\r\n\r\n[b]\r\n", [](TIniFile& f) { f.WriteInteger("a", "n", -5); },
         "[a]\r\nn=-5\r\n\r\n[b]\r\n"},
        {"new section after one empty line", "[a]\r\nx=1", [](TIniFile& f) { f.WriteBool("c", "k", true); },
         "[a]\r\nx=1\r\n\r\n[c]\r\nk=1\r\n"},
        {"no second empty line", "[a]\r\nx=1\r\n\r\n", [](TIniFile& f) { f.WriteBool("c", "k", false); },
         "[a]\r\nx=1\r\n\r\n[c]\r\nk=0\r\n"},
        {"CR line ends, other lines kept", "  [ a ]  \r; note\rx = 1 \r",
         [](TIniFile& f) { f.WriteString("A", "y", "2"); }, "  [ a ]  \r\n; note\r\nx = 1 \r\ny=2\r\n"},
        {"erase removes the whole section, every copy", "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n[A]\r\nw=0\r\n",
         [](TIniFile& f) { f.EraseSection("a"); }, "[b]\r\ny=2\r\n"},
        {"delete key", "[a]\r\nx=1\r\ny=2\r\n", [](TIniFile& f) { f.DeleteKey("a", "X"); }, "[a]\r\ny=2\r\n"},
        {"the first of duplicate sections is written", "[s]\r\nk=1\r\n[s]\r\nj=2\r\n",
         [](TIniFile& f) { f.WriteString("s", "j", "9"); }, "[s]\r\nk=1\r\nj=9\r\n[s]\r\nj=2\r\n"},
        {"a value cannot add lines", "[a]\r\n", [](TIniFile& f) { f.WriteString("a", "k", "one\r\n[b]"); },
         "[a]\r\nk=one  [b]\r\n"},
    };
    for (const auto& c : cases) {
        const CodePageString path = Prepare(c.before);
        TIniFile ini(path);
        c.op(ini);
        EXPECT_EQ(ReadFileBytes(path), c.after) << c.what;
    }
}

TEST_F(IniFileTest, DeletingFromAMissingFileCreatesNothing)
{
    const CodePageString path = Prepare(std::nullopt);
    TIniFile ini(path);
    ini.DeleteKey("a", "b");
    ini.EraseSection("a");
    EXPECT_FALSE(FileExists(path));
}

TEST_F(IniFileTest, ReadsTrimUnquoteAndTakeTheFirstDuplicate)
{
    const std::string file =
        "k=outside\r\n"
        "[S]\r\n"
        "Plain =  v  \r\n"
        "quoted=\" padded \"\r\n"
        "half=\"x\r\n"
        "inner=\"a\"b\"\r\n"
        "lone=\"\r\n"
        ";comment=1\r\n"
        "dup=1\n"
        "dup=2\r"
        "[s]\n"
        "later=3\n";
    const CodePageString path = Prepare(file);
    TIniFile ini(path);
    const struct {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"s", "plain", "v"},          {"S", "quoted", " padded "}, {"S", "half", "\"x"},
        {"S", "inner", "a\"b"},       {"S", "lone", "\""},         {"S", ";comment", "<default>"},
        {"S", "dup", "1"},            {"S", "later", "<default>"}, {"", "k", "<default>"},
        {"none", "plain", "<default>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.expected) << c.section << "/" << c.key;

    TIniFile missing(path + ".missing");
    EXPECT_EQ(missing.ReadString("S", "plain", "d"), "d");
    EXPECT_FALSE(missing.SectionExists("S"));
}

TEST_F(IniFileTest, NumbersAndBooleans)
{
    const CodePageString path = Prepare("[n]\r\nten=10\r\nhex= 0x1F \r\nbad=12abc\r\nzero=0\r\ntwo=2\r\nyes=yes\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("n", "ten", -1), 10);
    EXPECT_EQ(ini.ReadInteger("n", "hex", -1), 31);
    EXPECT_EQ(ini.ReadInteger("n", "bad", -1), -1);
    EXPECT_EQ(ini.ReadInteger("n", "missing", 7), 7);
    EXPECT_FALSE(ini.ReadBool("n", "zero", true));
    EXPECT_TRUE(ini.ReadBool("n", "two", false));
    EXPECT_TRUE(ini.ReadBool("n", "yes", true));
    EXPECT_FALSE(ini.ReadBool("n", "yes", false));
}

TEST_F(IniFileTest, SectionListings)
{
    const CodePageString path =
        Prepare("[List]\r\n2=b\r\n0=a\r\nEmpty=\r\n0=again\r\n\r\n[Session]\r\nCount=2\r\n[bare]\r\n[list]\r\nx=1\r\n");
    TIniFile ini(path);
    TStringList list;
    list.Add("stale");
    ini.ReadSection("LIST", list);
    EXPECT_EQ(Lines(list), (std::vector<CodePageString>{"2", "0", "Empty"}));
    ini.ReadSectionValues("list", list);
    EXPECT_EQ(Lines(list), (std::vector<CodePageString>{"2=b", "0=a", "Empty="}));
    ini.ReadSections(list);
    EXPECT_EQ(Lines(list), (std::vector<CodePageString>{"List", "Session", "bare"}));
    EXPECT_TRUE(ini.SectionExists("session"));
    EXPECT_FALSE(ini.SectionExists("bare")) << "a section without keys reads as absent";
    EXPECT_TRUE(ini.ValueExists("List", "empty"));
    EXPECT_FALSE(ini.ValueExists("List", "x"));
    EXPECT_EQ(ini.FileName(), path);
}

TEST_F(IniFileTest, FailedWriteThrowsAndKeepsWhatIsThere)
{
    TIniFile nowhere(dir.path().toStdString() + "/no/such/folder/x.ini");
    EXPECT_THROW(nowhere.WriteString("a", "b", "c"), EFCreateError);

    // A path we can't read is not overwritten with one key.
    const CodePageString folder = dir.path().toStdString() + "/folder.ini";
    ASSERT_TRUE(ForceDirectories(folder));
    TIniFile blocked(folder);
    EXPECT_THROW(blocked.WriteString("a", "b", "c"), EFCreateError);
    EXPECT_TRUE(DirectoryExists(folder));

    // A named pipe with no writer is neither waited on nor replaced: reads
    // give the defaults, writes are refused.
    const CodePageString pipe = dir.path().toStdString() + "/pipe.ini";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    TIniFile piped(pipe);
    EXPECT_EQ(piped.ReadString("a", "b", "default"), "default");
    try {
        piped.WriteString("a", "b", "c");
        ADD_FAILURE() << "a pipe was written";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message, "Cannot create file \"" + pipe + "\". It is not a regular file.");
    }
    struct stat st {};
    ASSERT_EQ(::stat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(IniFileTest, AReadOnlyFileIsRefusedAndKept)
{
    const std::string bytes = "[a]\r\nx=1\r\ny=2\r\n";
    const CodePageString path = Prepare(bytes);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    TIniFile ini(path);
    const std::string refusal = "Cannot create file \"" + path + "\". " + std::strerror(EACCES);
    const std::function<void()> writes[] = {
        [&] { ini.WriteString("a", "x", "changed"); },
        [&] { ini.WriteValues({{"a", "x", "1"}, {"b", "new", "v"}}); },
        [&] { ini.EraseSection("a"); },
        [&] { ini.DeleteKey("a", "y"); },
    };
    for (const auto& write : writes) {
        try {
            write();
            ADD_FAILURE() << "a read-only file was written";
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.Message, refusal);
        }
    }
    EXPECT_EQ(ReadFileBytes(path), bytes);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no temporary file left
    // Nothing to change is no write, and no error.
    EXPECT_NO_THROW(ini.WriteString("a", "x", "1"));
    EXPECT_EQ(ini.ReadString("a", "y", ""), "2");
}

TEST_F(IniFileTest, WriteValuesStoresTheKeysInOrderInOneRewrite)
{
    const CodePageString path = Prepare("[Proxy]\r\nProxyPort=1\r\n");
    TIniFile ini(path);
    ini.WriteValues({{"Proxy", "ProxyHost", "h"}, {"proxy", "PROXYPORT", "8"}, {"Other", "k", "v\r\nw"}});
    EXPECT_EQ(ReadFileBytes(path), "[Proxy]\r\nProxyPort=8\r\nProxyHost=h\r\n\r\n[Other]\r\nk=v  w\r\n");
}

TEST(IniBytes, WritingManyKeysGivesTheBytesOfWritingThemOneByOne)
{
    using Pairs = std::vector<std::pair<CodePageString, CodePageString>>;
    const struct {
        const char* what;
        std::string before;
        const char* section;
        Pairs values;
    } cases[] = {
        {"new section", "", "List", {{"0", "a"}, {"1", "b"}}},
        {"new section after a blank line", "[a]\r\nx=1", " List ", {{"0", "a"}}},
        {"rewrites in place, in any case, new keys after the last line",
         "[s]\r\nKey=old\r\nx=1\r\n\r\n\r\n[t]\r\ny=2\r\n", "S", {{"key", "new"}, {"z", "3"}, {"w", "4"}}},
        {"a key twice: the later value in the first one's line", "[s]\r\n", "s", {{"k", "1"}, {"K", "2"}, {"j", "3"}}},
        {"the first of duplicate keys and sections", "[s]\r\nk=1\r\nk=2\r\n[s]\r\nk=3\r\n", "s", {{"k", "9"}}},
        {"line breaks in values and CR line ends", "[s]\rk=1\r", "s", {{"k", "a\r\nb"}, {"n", "\n"}}},
        {"keys that read back differently", "[s]\r\n", "s", {{"[t]", "1"}, {"x", "2"}, {"a=b", "3"}, {"", "4"}, {"", "5"}}},
        {"a comment key", "[s]\r\n", "s", {{";c", "1"}, {"y", "2"}}},
        {"a section name with ]", "", "a]b", {{"k", "1"}, {"j", "2"}}},
        {"nothing to write", "[a]\nx=1\n", "b", {}},
    };
    for (const auto& c : cases) {
        std::string oneByOne = c.before;
        for (const auto& [key, value] : c.values)
            oneByOne = IniWriteValue(oneByOne, c.section, key, value);
        EXPECT_EQ(IniWriteValues(c.before, c.section, c.values), oneByOne) << c.what;
    }
}

// Listing, erasing and writing a file of a hundred thousand sections and keys
// each parse it once; comparing every name with the ones before it took
// minutes here.
TEST(IniBytes, LargeFilesInOnePass)
{
    constexpr int count = 100000;
    std::string sections, copies, keys = "[k]\r\n";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        sections += "[s" + n + "]\r\n";
        copies += "[List]\r\n" + n + "=x\r\n[Other" + n + "]\r\n";
        keys += "key" + n + "=" + n + "\r\n";
    }
    keys += "KEY7=again\r\n";

    const std::vector<CodePageString> names = IniSectionNames(sections + "[S7]\r\n");
    ASSERT_EQ(names.size(), std::size_t(count));
    EXPECT_EQ(names.back(), "s99999");

    const std::string erased = IniEraseSection(copies, "list");
    EXPECT_EQ(erased.find("[List]"), std::string::npos);
    EXPECT_EQ(IniSectionNames(erased).size(), std::size_t(count));

    const auto values = IniSectionValues(keys, "K");
    ASSERT_EQ(values.size(), std::size_t(count));
    EXPECT_EQ(values[7], (std::pair<CodePageString, CodePageString>("key7", "7")));

    std::vector<std::pair<CodePageString, CodePageString>> rewrite;
    for (int i = 0; i < count; ++i)
        rewrite.emplace_back("KEY" + std::to_string(i), "v");
    rewrite.emplace_back("new", "n");
    const std::string written = IniWriteValues(keys, "k", rewrite);
    const auto after = IniSectionValues(written, "k");
    ASSERT_EQ(after.size(), std::size_t(count) + 1);
    EXPECT_EQ(after[7], (std::pair<CodePageString, CodePageString>("key7", "v")));
    EXPECT_TRUE(written.ends_with("key99999=v\r\nKEY7=again\r\nnew=n\r\n"));
}
