#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "classlib/Files.h"
#include "platform/Hooks.h"
#include "support/TempDir.h"
#include "workbench/LargeIni.h"

namespace {

namespace fs = std::filesystem;

class LargeIniFiles : public ::testing::Test {
protected:
    void TearDown() override { ResetHooks(); }
    CodePageString Write(const char* name, const std::string& bytes) { return tmp.Write(name, bytes); }
    static std::string Read(const CodePageString& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    TempDir tmp{"largeini"};
    CodePageString dir = tmp.Path();
};

// What a load keeps, in the layout the file is written back in.
std::string Stored(const std::string& bytes, void (*options)(TLargeIniFile&) = nullptr)
{
    TLargeIniFile ini("");
    if (options)
        options(ini);
    ini.LoadBytes(bytes);
    TStringList out;
    ini.WriteToStrings(out);
    return out.Text();
}

TEST(LargeIni, LoadKeepsLinesAsRead)
{
    const std::string longValue(300, 'v');
    struct Case {
        const char* what;
        std::string file;
        std::string stored;
    };
    const Case cases[] = {
        {"lines before the first section are dropped", "x=1\r\n[S]\r\nk=v\r\n", "[S]\r\nk=v\r\n\r\n"},
        {"a blank after the bracket makes an ordinary line", "[S]\r\nk=v\r\n[T] \r\nm=n\r\n",
         "[S]\r\nk=v\r\n[T] \r\nm=n\r\n\r\n"},
        {"lines without '=' and blanks around it stay", "[S]\r\nfree text\r\n k = v \r\n",
         "[S]\r\nfree text\r\n k = v \r\n\r\n"},
        {"empty and Ctrl-Z lines are skipped", "[S]\r\n\r\n\x1A\r\nk=v\r\n\x1A", "[S]\r\nk=v\r\n\r\n"},
        {"LF and CR line ends", "[S]\nk=v\r[T]\nm=n", "[S]\r\nk=v\r\n\r\n[T]\r\nm=n\r\n\r\n"},
        {"a section without lines is not written", "[Empty]\r\n[S]\r\nk=v\r\n", "[S]\r\nk=v\r\n\r\n"},
        {"a long line is cut to 255 bytes", "[S]\r\nk=" + longValue + "\r\nn=1\r\n",
         "[S]\r\nk=" + longValue.substr(0, 253) + "\r\nn=1\r\n\r\n"},
        {"a cut section line is no section", "[" + longValue + "]\r\nk=v\r\n", ""},
        {"NUL bytes stay in the line", std::string("[S]\r\nk=a\0b\r\n", 12), std::string("[S]\r\nk=a\0b\r\n\r\n", 14)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Stored(c.file), c.stored) << c.what;
}

TEST(LargeIni, LoadOptions)
{
    const std::string file = "[S]\r\n; note\r\n k \t= \t'v' \r\nbare\r\n=x\r\n";
    EXPECT_EQ(Stored(file, [](TLargeIniFile& i) { i.DropComments = true; }),
              "[S]\r\n k \t= \t'v' \r\nbare\r\n=x\r\n\r\n");
    EXPECT_EQ(Stored(file, [](TLargeIniFile& i) { i.DropLinesWithoutEquals = true; }),
              "[S]\r\n k \t= \t'v' \r\n=x\r\n\r\n");
    EXPECT_EQ(Stored(file, [](TLargeIniFile& i) { i.StripBlanksAroundEquals = true; }),
              "[S]\r\n; note\r\n k='v' \r\nbare\r\n=x\r\n\r\n");
    // Quotes are looked at before the line end is trimmed: a blank after
    // them keeps them.
    EXPECT_EQ(Stored(file,
                     [](TLargeIniFile& i) {
                         i.StripBlanksAroundEquals = true;
                         i.StripValueQuotes = true;
                         i.TrimLineEnd = true;
                     }),
              "[S]\r\n; note\r\n k='v'\r\nbare\r\n=x\r\n\r\n");
    EXPECT_EQ(Stored("[S]\r\nk=\"v\"\r\nq=\"\r\nm='v\"\r\n", [](TLargeIniFile& i) { i.StripValueQuotes = true; }),
              "[S]\r\nk=v\r\nq=\"\r\nm='v\"\r\n\r\n");
}

TEST_F(LargeIniFiles, DuplicateSectionsFirstWinsAndFileStays)
{
    const std::string file = "[A]\r\nk=first\r\n[B]\r\nk=b\r\n[a]\r\nk=second\r\nz=1\r\n";
    const CodePageString path = Write("dup.ini", file);
    {
        TLargerIniFile ini(path);
        TStringList names;
        ini.ReadSections(names);
        EXPECT_EQ(names.Text(), "A\r\nB\r\n");
        EXPECT_EQ(ini.ReadString("a", "K", "-"), "first");
        EXPECT_EQ(ini.ReadString("A", "z", "-"), "-");
        EXPECT_FALSE(ini.Modified);
    }
    EXPECT_EQ(Read(path), file);

    TLargeIniFile other("");
    other.SetFileName(path);
    EXPECT_FALSE(other.Modified);

    // A chooser that answers false keeps the later one, in its own place.
    std::vector<std::string> asked;
    TLargeIniFile chosen("");
    chosen.DuplicateSectionChooser = [&](const CodePageString& name, TStringList* kept, TStringList* dropped) {
        asked.push_back(name + ":" + kept->Text() + "|" + dropped->Text());
        return false;
    };
    chosen.LoadBytes(file);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "A:k=first\r\n|k=second\r\nz=1\r\n");
    TStringList out;
    chosen.WriteToStrings(out);
    EXPECT_EQ(out.Text(), "[B]\r\nk=b\r\n\r\n[a]\r\nk=second\r\nz=1\r\n\r\n");
}

TEST_F(LargeIniFiles, WritesAndTheFileWrittenBack)
{
    const CodePageString path = Write("w.ini", "[S]\r\nk=v\r\nfree\r\n[Gone]\r\nx=1\r\n");
    {
        TLargeIniFile ini(path);
        ini.WriteString("S", "k", "v");
        EXPECT_FALSE(ini.Modified);  // same value: no change
        ini.WriteString("s", "K", "v");
        EXPECT_TRUE(ini.Modified);  // the key's spelling counts
        ini.Modified = false;
        ini.WriteString("S", "new", "1");
        EXPECT_TRUE(ini.Modified);
        ini.WriteString("T", "long", std::string(300, 'x'));
        ini.WriteString("Gone", "", "anything");  // an empty key erases the section
        ini.DeleteKey("Missing", "k");            // creates an empty section, never written
        ini.WriteInteger("T", "i", -5);
        ini.WriteBool("T", "b", true);
    }
    EXPECT_EQ(Read(path), "[S]\r\nK=v\r\nfree\r\nnew=1\r\n\r\n[T]\r\nlong=" + std::string(250, 'x') +
                              "\r\ni=-5\r\nb=1\r\n\r\n");
}

TEST(LargeIni, Numbers)
{
    TLargerIniFile ini("");
    ini.LoadBytes("[N]\r\nhex=0x1F\r\ndollar=$1f\r\ndec=-12\r\nbad=abc\r\nblank=\r\nflag=2\r\nbig=0x1FFFFFFFF\r\nword=xyz\r\n");
    struct Case {
        const char* key;
        int expected;
    };
    for (const Case& c : {Case{"hex", 31}, Case{"dollar", 31}, Case{"dec", -12}, Case{"bad", 7}, Case{"blank", 7},
                          Case{"missing", 7}, Case{"big", 7}})
        EXPECT_EQ(ini.ReadInteger("N", c.key, 7), c.expected) << c.key;
    EXPECT_TRUE(ini.ReadBool("N", "flag", false));
    EXPECT_TRUE(ini.ReadBool("N", "missing", true));

    ini.WriteHexInteger("N", "h", 255);
    ini.WriteHexInteger("N", "neg", -1);
    EXPECT_EQ(ini.ReadString("N", "h", ""), "000000FF");
    EXPECT_EQ(ini.ReadString("N", "neg", ""), "FFFFFFFF");
    EXPECT_EQ(ini.ReadHexInteger("N", "neg", 0), -1);
    EXPECT_EQ(ini.ReadHexInteger("N", "missing", -2), -2);  // the default goes through its hex text
    EXPECT_EQ(ini.ReadHexInteger("N", "bad", 0), 0xABC);
    EXPECT_THROW(ini.ReadHexInteger("N", "word", 0), EConvertError);
    EXPECT_THROW(ini.ReadHexInteger("N", "hex", 0), EConvertError);  // "$0x1F"
}

TEST(LargeIni, SectionReads)
{
    TLargeIniFile ini("");
    ini.LoadBytes("[A]\r\nk=1\r\nno equals\r\n=x\r\n[B]\r\nm=2\r\n");
    TStringList keys;
    ini.ReadSection("a", keys);
    EXPECT_EQ(keys.Text(), "k\r\n\r\n\r\n");
    TStringList values;
    values.Add("kept");
    ini.ReadSectionValues("A", values);
    EXPECT_EQ(values.Text(), "kept\r\nk=1\r\nno equals\r\n=x\r\n");
    ini.ReadSectionValues("missing", values);
    EXPECT_EQ(values.Count(), 4);
}

// Every resumed lookup must start inside the list it searches, whatever
// happened to the list since the last search.
TEST_F(LargeIniFiles, LookupsSurviveAShrunkenList)
{
    const CodePageString three = Write("three.ini", "[A]\r\na=1\r\n[B]\r\nb=2\r\n[C]\r\nc=3\r\n");
    const CodePageString one = Write("one.ini", "[Z]\r\nz=9\r\n");
    TLargeIniFile ini(three);
    TStringList lines;
    ini.ReadSectionValues("C", lines);  // resumed list lookup now at 2
    EXPECT_EQ(ini.ReadString("C", "c", ""), "3");  // value lookup at 2
    EXPECT_EQ(ini.SectionList().LastIndex, 2);

    ini.SetFileName(one);
    EXPECT_EQ(ini.SectionList().LastIndex, 0);
    lines.Clear();
    ini.ReadSectionValues("Z", lines);
    EXPECT_EQ(lines.Text(), "z=9\r\n");
    EXPECT_EQ(ini.ReadString("Z", "z", ""), "9");

    // A missing file loads nothing; the lookups still start at the front.
    ini.ReadString("Z", "z", "");
    ini.SetFileName(dir + "/missing.ini");
    ini.WriteString("New", "k", "v");
    EXPECT_EQ(ini.ReadString("new", "k", ""), "v");
    ini.Modified = false;

    // Indexes set from outside are put back in range.
    ini.CurrentSection = 99;
    ini.SectionList().LastIndex = 99;
    EXPECT_EQ(ini.ReadString("New", "k", ""), "v");
    EXPECT_EQ(ini.SectionList().IndexOf("new"), 0);
    ini.EraseSection("New");
    EXPECT_EQ(ini.SectionList().IndexOf("new"), -1);
    EXPECT_EQ(ini.ReadString("New", "k", "gone"), "gone");
}

TEST_F(LargeIniFiles, LongPathIsNotCut)
{
    const std::string folder = dir + "/" + std::string(200, 'd');
    fs::create_directories(folder);
    const CodePageString path = folder + "/" + std::string(100, 'f') + ".ini";
    std::ofstream(path, std::ios::binary) << "[S]\r\nk=v\r\n";
    {
        TLargeIniFile ini(path);
        EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
        ini.WriteString("S", "k", "w");
    }
    EXPECT_EQ(Read(path), "[S]\r\nk=w\r\n\r\n");
}

TEST_F(LargeIniFiles, FailedWriteIsReportedAndKept)
{
    std::vector<std::string> errors;
    GetHooks().errorBox = [&](const std::string& message) { errors.push_back(message); };
    {
        TLargeIniFile ini("");
        ini.SetFileName(dir + "/no/such/folder/x.ini");
        ini.WriteString("S", "k", "v");
        EXPECT_THROW(ini.UpdateFile(), EInOutError);
        EXPECT_TRUE(ini.Modified);  // still there to be written
    }
    // The destructor's write fails the same way and can only report it.
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("x.ini"), std::string::npos);
}

}  // namespace
