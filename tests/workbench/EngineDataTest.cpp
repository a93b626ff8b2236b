#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/Files.h"
#include "controls/ElvUtil.h"
#include "support/TempDir.h"
#include "workbench/EngineData.h"

namespace fs = std::filesystem;

namespace {

TEST(StreamCipher, KnownBytes)
{
    // Fixed by the installed data files: a change here breaks every database.
    EXPECT_EQ(ScrambleBytes("AB\r\n", EngineCipherStart), std::string("\x5d\xd4\xe6\xbf"));
    EXPECT_EQ(UnscrambleBytes(std::string("\x5d\xd4\xe6\xbf"), EngineCipherStart), "AB\r\n");
}

TEST(StreamCipher, RoundTripsEveryByte)
{
    std::string all;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
    for (std::uint16_t start : {std::uint16_t(0), EngineCipherStart, std::uint16_t(65535)}) {
        const std::string scrambled = ScrambleBytes(all, start);
        EXPECT_NE(scrambled, all);
        EXPECT_EQ(UnscrambleBytes(scrambled, start), all);
    }
    EXPECT_EQ(ScrambleBytes("", EngineCipherStart), "");
}

// A block unscrambled at once (in pieces side by side when it is large)
// gives the bytes and leaves the key that byte after byte would, whatever the
// block's length against the pieces and however a text is cut into blocks.
TEST(StreamCipher, BlocksUnscrambleAsByteAfterByte)
{
    std::string text(300000, '\0');
    unsigned seed = 12345;
    for (char& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    const std::string scrambled = ScrambleBytes(text, EngineCipherStart);
    const struct {
        std::size_t first, second;  // two blocks, one after the other
    } cases[] = {{0, 0},         {1, 0},          {7, 9},         {32767, 1},     {32768, 0},
                 {32768, 32768}, {32769, 100007}, {65543, 65536}, {300000, 0},    {131072, 168928},
                 {5, 299995},    {299999, 1},     {40001, 40002}, {32768 * 8, 7}, {8 * 4096 - 1, 8 * 4096 + 1}};
    for (const auto& c : cases) {
        const std::string_view part(scrambled.data(), c.first + c.second);
        TStreamCipher bytewise(EngineCipherStart);
        std::string expected(part);
        for (char& b : expected)
            b = static_cast<char>(bytewise.Unscramble(static_cast<unsigned char>(b)));
        TStreamCipher blocks(EngineCipherStart);
        std::string got(part);
        blocks.UnscrambleBlock(got.data(), c.first);
        blocks.UnscrambleBlock(got.data() + c.first, c.second);
        EXPECT_EQ(got, expected) << c.first << " + " << c.second;
        EXPECT_EQ(got, text.substr(0, part.size())) << c.first << " + " << c.second;
        // The key goes on as it would: the next byte comes out the same.
        EXPECT_EQ(blocks.Unscramble(0x5a), bytewise.Unscramble(0x5a)) << c.first << " + " << c.second;
    }
}

TEST(ScrambledStrings, SaveThenLoadIsByteExact)
{
    TempDir dir;
    TStringList lines;
    lines.Add("Beta=Engine|http://b.example.com/|x|");
    lines.Add("alpha=FFA|http://a.example.org/|y|");
    lines.Add("");  // an empty line survives
    SaveScrambledStrings(lines, dir.File("data.czc"), EngineCipherStart);

    const std::string raw = ReadFileBytes(dir.File("data.czc"));
    EXPECT_EQ(UnscrambleBytes(raw, EngineCipherStart),
              "Beta=Engine|http://b.example.com/|x|\r\nalpha=FFA|http://a.example.org/|y|\r\n\r\n");

    TStringList back;
    LoadScrambledStrings(dir.File("data.czc"), back, EngineCipherStart);
    EXPECT_EQ(back.Text(), lines.Text());

    // Scrambling the file in place gives the same bytes as scrambling the text.
    WriteFileAtomic(dir.File("plain.txt"), lines.Text());
    ScrambleFile(dir.File("plain.txt"), dir.File("plain.txt"), EngineCipherStart);
    EXPECT_EQ(ReadFileBytes(dir.File("plain.txt")), raw);
}

TEST(ScrambledStrings, EmptyAndMissingFiles)
{
    TempDir dir;
    TStringList empty;
    SaveScrambledStrings(empty, dir.File("datam.czc"), EngineCipherStart);
    ASSERT_TRUE(fs::exists(dir.File("datam.czc")));
    EXPECT_EQ(fs::file_size(dir.File("datam.czc")), 0u);

    TStringList list;
    LoadScrambledStrings(dir.File("datam.czc"), list, EngineCipherStart);
    EXPECT_EQ(list.Count(), 0);

    EXPECT_THROW(LoadScrambledStrings(dir.File("absent.czc"), list, EngineCipherStart), EFOpenError);
    EXPECT_THROW(SaveScrambledStrings(list, dir.File("no/such/folder/x.czc"), EngineCipherStart), EFCreateError);
}

TEST(ScrambledStrings, SortedListKeepsEqualLinesOnce)
{
    TempDir dir;
    TStringList source;
    for (const char* line : {"b=Engine|", "A=FFA|", "B=Engine|", "a=FFA|", "c=Batch->5|"})
        source.Add(line);
    SaveScrambledStrings(source, dir.File("d.czc"), EngineCipherStart);

    TStringList engines;
    engines.SetSorted(true);
    LoadScrambledStrings(dir.File("d.czc"), engines, EngineCipherStart);
    ASSERT_EQ(engines.Count(), 3);
    EXPECT_EQ(engines.Strings(0), "A=FFA|");
    EXPECT_EQ(engines.Strings(1), "b=Engine|");
    EXPECT_EQ(engines.Strings(2), "c=Batch->5|");
}

TEST(EngineRecord, Fields)
{
    const CodePageString line = "Acorn=Engine|http://s.example.com/add|http://s.example.com/go|title|url|||||||";
    const EngineLine row = SplitEngineLine(line);
    EXPECT_EQ(row.name, "Acorn");
    EXPECT_EQ(row.type, "Engine");
    EXPECT_EQ(row.url, "http://s.example.com/add");

    const CodePageString value = line.substr(line.find('=') + 1);
    EXPECT_EQ(EngineRecordField(value, efFormAction), "http://s.example.com/go");
    EXPECT_EQ(EngineRecordField(value, efUrl), "url");
    EXPECT_EQ(EngineRecordField(value, efEmail), "");
    EXPECT_EQ(EngineRecordField(value, efCountry), "");  // short record
    EXPECT_EQ(EngineRecordField(value, 0), "");

    // The name ends at the first "=", the type may hold "=" signs no more.
    EXPECT_EQ(SplitEngineLine("a=b=c|u|").name, "a");
    EXPECT_EQ(SplitEngineLine("a=b=c|u|").type, "b=c");
    EXPECT_EQ(SplitEngineLine("no equals").name, "no equals");
    EXPECT_EQ(SplitEngineLine("no equals").type, "");
}

TEST(EngineRecord, WhatCountsAsARecord)
{
    const struct {
        const char* line;
        bool record;
    } cases[] = {
        {"Acorn=Engine|http://a.example.com/|http://a.example.com/go|", true},
        {"TARVEN=Engine||||||||||||||||||||||||||||||||||||||", true},
        {"a=b=c|||", true},  // "=" in the type
        {"x=|||", true},     // empty fields are fields
        {"Acorn=Engine|http://a.example.com/|http://a.example.com/go| \t", true},
        {"Acorn=Engine|http://a.example.com/|", false},  // type and page only
        {"Acorn=Engine|http://a.example.com/|http://a.example.com/go|more", false},  // the last field is not ended
        {"=Engine|a|b|", false},                         // no name
        {"no equals |a|b|c|", false},
        {"", false},
        {"\x9e\x01=\xff", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsEngineRecord(c.line), c.record) << c.line;
}

TEST(EngineFileText, RemovingLinesKeepsEveryOtherByte)
{
    const auto dropIndex = [](std::size_t gone) {
        return [gone](std::size_t index, std::string_view) { return index == gone; };
    };
    const struct {
        const char* what;
        std::string text;
        std::size_t gone;
        std::string kept;
    } cases[] = {
        {"CR LF", "a\r\nb\r\nc\r\n", 1, "a\r\nc\r\n"},
        {"mixed ends kept as they are", "a\nb\rc\r\nd", 2, "a\nb\rd"},
        {"a last line without an end", "a\r\nb", 1, "a\r\n"},
        {"the first line", "a\r\nb", 0, "b"},
        {"empty lines count", "a\r\n\r\n\r\nb\r\n", 2, "a\r\n\r\nb\r\n"},
        {"LF CR is two line ends", "a\n\rb", 1, "a\nb"},
        {"no such line", "a\r\n", 1, "a\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RemoveTextLines(c.text, dropIndex(c.gone)), c.kept) << c.what;
}

TEST(EngineFileText, LoadingLeavesOutLinesThatAreNoRecords)
{
    TempDir dir;
    const std::string text = "b=Engine|http://b/|http://b/go|\r\n"
                             "\r\n"                                  // blank: left out without a word
                             "junk without an equals sign\r\n"
                             "a=Custom->FFA|http://a/|http://a/go|\n"
                             "short=Engine|http://s/|\r"
                             "B=Engine|http://b/|http://b/go|\r\n"    // the first one again, in other case
                             "=|||\r\n"
                             "c=Batch->5|http://c/|http://c/go|";
    WriteFileAtomic(dir.File("data.czc"), ScrambleBytes(text, EngineCipherStart));
    TStringList engines;
    engines.SetSorted(true);
    EXPECT_EQ(LoadEngineRecords(dir.File("data.czc"), engines, EngineCipherStart), 3u);
    EXPECT_EQ(engines.Text(), "a=Custom->FFA|http://a/|http://a/go|\r\nb=Engine|http://b/|http://b/go|\r\n"
                              "c=Batch->5|http://c/|http://c/go|\r\n");
    EXPECT_THROW(LoadEngineRecords(dir.File("absent.czc"), engines, EngineCipherStart), EFOpenError);

    // Deleting one record takes its lines, in any case, and nothing else.
    DeleteEngineRecordFromFile(dir.File("data.czc"), "b=Engine|http://b/|http://b/go|", EngineCipherStart);
    EXPECT_EQ(UnscrambleBytes(ReadFileBytes(dir.File("data.czc")), EngineCipherStart),
              "\r\njunk without an equals sign\r\na=Custom->FFA|http://a/|http://a/go|\nshort=Engine|http://s/|\r"
              "=|||\r\nc=Batch->5|http://c/|http://c/go|");
    // A record the file does not hold writes nothing.
    const auto before = fs::last_write_time(dir.File("data.czc"));
    const std::string bytes = ReadFileBytes(dir.File("data.czc"));
    DeleteEngineRecordFromFile(dir.File("data.czc"), "zz=Engine|u|v|", EngineCipherStart);
    EXPECT_EQ(ReadFileBytes(dir.File("data.czc")), bytes);
    EXPECT_EQ(fs::last_write_time(dir.File("data.czc")), before);
}

// Files longer than the blocks the loader reads them in, with every line end
// there is, shifted a byte at a time: each block border falls once on every
// byte of the repeating lines, between a CR and its LF too.
TEST(EngineFileText, LoadingALargeFileGivesTheRecordsOfItsLines)
{
    TempDir dir;
    const std::string group = "e=Engine|u|v|\r\n"
                              "junk\n"
                              "f=FFA|u|v|\r"
                              "\r\n"
                              "g=Classified|u|v|\n"
                              "h=Batch->2|u|v|\r\r\n";
    for (std::size_t shift = 0; shift < group.size(); ++shift) {
        std::string text = std::string(shift, 'x') + "=Engine|u|v|\r\n";
        while (text.size() < 300 * 1024)
            text += group;
        std::vector<std::string> expected;
        std::size_t junk = 0;
        for (std::string_view line : SplitTextLines(text)) {
            if (IsEngineRecord(line))
                expected.emplace_back(line);
            else
                junk += !line.empty();
        }
        WriteFileAtomic(dir.File("data.czc"), ScrambleBytes(text, EngineCipherStart));
        TStringList engines;
        ASSERT_EQ(LoadEngineRecords(dir.File("data.czc"), engines, EngineCipherStart), junk) << shift;
        ASSERT_EQ(engines.Count(), static_cast<int>(expected.size())) << shift;
        for (int i = 0; i < engines.Count(); ++i)
            ASSERT_EQ(engines.StringRef(i), expected[static_cast<std::size_t>(i)]) << shift << " line " << i;
    }
}

using S = TypeFilterSender;

struct FilterCase {
    const char* name;
    S sender;
    TypeChecks checks;
    std::vector<EngineRowState> rows;
    std::vector<bool> expected;
    long long total;
    bool error;
};

TEST(EngineTypeFilter, Rules)
{
    const TypeChecks start;  // Search Engines off, Classifieds, FFA and Batch on, Custom off
    TypeChecks allOn{true, true, true, true, true};
    TypeChecks noBatch = start;
    noBatch.batchSites = false;
    TypeChecks customOn = start;
    customOn.custom = true;

    const FilterCase cases[] = {
        {"start-up applies every rule", S::MainWindow, start,
         {{"Engine", true}, {"Classified", false}, {"FFA", false}, {"Batch->25", false}, {"Custom->FFA", true}},
         {false, true, true, true, false}, 1 + 1 + 25, false},
        {"Classifieds changes only Classified rows and the shared rules", S::Classifieds, start,
         {{"Engine", true}, {"Classified", false}, {"FFA", false}, {"Batch->2", false}, {"Custom->Classified", true}},
         {true, true, false, true, false}, 1 + 1 + 2, false},
        {"unchecking Batch Sites unchecks every batch row", S::BatchSites, noBatch,
         {{"Batch->25", true}, {"Batch->3", true}, {"Engine", true}},
         {false, false, true}, 1, false},
        {"custom rows need the custom box and their type's box", S::CustomEngines, customOn,
         {{"Custom->Engine", false}, {"Custom->Classified", false}, {"Custom->FFA", false}},
         {false, true, true}, 2, false},
        {"every box on", S::MainWindow, allOn,
         {{"Engine", false}, {"Custom->Engine", false}, {"Batch->10", false}},
         {true, true, true}, 12, false},
        {"a type no rule names keeps its state", S::MainWindow, start,
         {{"Other", true}, {"Other", false}},
         {true, false}, 1, false},
        {"a malformed batch count counts one site", S::MainWindow, start,
         {{"Batch->x", false}, {"Batch->", false}, {"Batch", false}, {"Batch->-2", false}, {"Batch->4", false}},
         {true, true, true, true, true}, 1 + 1 + 1 + 1 + 4, true},
        {"a batch of no sites counts none", S::MainWindow, start,
         {{"Batch->0", false}, {"Batch->3", true}}, {true, true}, 0 + 3, false},
    };
    for (const auto& c : cases) {
        auto rows = c.rows;
        const EngineCountResult result = FilterEngineRows(rows, c.sender, c.checks);
        ASSERT_EQ(rows.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].checked, c.expected[i]) << c.name << " row " << i;
        EXPECT_EQ(result.total, c.total) << c.name;
        EXPECT_EQ(result.error.has_value(), c.error) << c.name;
    }
}

TEST(EngineTypeFilter, Count)
{
    const std::vector<EngineRowState> rows = {
        {"Engine", true}, {"Batch->25", true}, {"Batch->7", false}, {"Custom->FFA", true}, {"FFA", false}};
    EngineCountResult result = CountEngineRows(rows);
    EXPECT_EQ(result.total, 1 + 25 + 1);
    EXPECT_FALSE(result.error);

    result = CountEngineRows({{"Batch->abc", true}, {"Batch->12x", true}, {"Engine", true}});
    EXPECT_EQ(result.total, 3);
    ASSERT_TRUE(result.error);
    EXPECT_NE(result.error->find("abc"), CodePageString::npos);  // the first bad count is the one reported

    EXPECT_EQ(CountEngineRows({}).total, 0);
    result = CountEngineRows({{"Batch->0", true}, {"Engine", true}});
    EXPECT_EQ(result.total, 1);
    EXPECT_FALSE(result.error);
}

}  // namespace

namespace {

// The installation's engine files are scrambled at build time from readable
// sources; reading them back must give the sources, line for line.
TEST(InstalledEngineData, MatchesItsSources)
{
    const std::string source = TENVAREL_SOURCE_DIR;
    const std::string build = TENVAREL_BUILD_DIR;
    for (auto [text, data] : {std::pair{"engines.txt", "data.czc"}, std::pair{"custom-engines.txt", "datac.czc"}}) {
        TStringList expected;
        expected.LoadFromFile(source + "/appdata/" + text);
        TStringList loaded;
        LoadScrambledStrings(build + "/appdata/data/" + data, loaded, EngineCipherStart);
        EXPECT_EQ(loaded.Text(), expected.Text()) << data;
        for (int i = 0; i < loaded.Count(); ++i) {
            const CodePageString line = loaded.Strings(i);
            EXPECT_EQ(std::count(line.begin(), line.end(), '|'), EngineFieldCount) << line;
            // Sample engines live on the reserved documentation domains only.
            for (const char* http = std::strstr(line.c_str(), "http://"); http; http = std::strstr(http + 1, "http://")) {
                const std::string host(http + 7, std::strcspn(http + 7, "/|"));
                const bool reserved = host.ends_with("example.com") || host.ends_with("example.net") ||
                                      host.ends_with("example.org");
                EXPECT_TRUE(reserved) << host;
            }
        }
    }
}

}  // namespace
