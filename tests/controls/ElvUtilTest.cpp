// The delimited text format as bytes <-> cells.
#include <gtest/gtest.h>

#include "controls/ElvUtil.h"

namespace {

using Row = std::vector<CodePageString>;

TDelimitedTable Parse(std::string_view bytes, char& delimiter, std::size_t columns = 3,
                      bool loadHeader = false)
{
    TDelimitedTable table;
    table.Columns.assign(columns, CodePageString());
    ParseDelimitedText(bytes, delimiter, loadHeader, table);
    return table;
}

TEST(ElvUtil, SingleOccurrenceSkipsInnerRunsButNotOneAtTheEnd)
{
    struct Case {
        const char* text;
        int position;
        int count;
    } cases[] = {
        {"", 0, 0},        {"abc", 0, 0},     {"a,b", 2, 1},       {",a", 1, 1},
        {"a,", 2, 1},      {"a,,b", 0, 0},    {",,", 2, 1},        {"a,,", 3, 1},
        {",,,a,b", 5, 1},  {"a,b,c", 2, 2},   {"a,,b,c", 5, 1},    {"a,b,,", 2, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SingleOccurrence(',', c.text), c.position) << c.text;
        EXPECT_EQ(CountSingleOccurrences(',', c.text), c.count) << c.text;
    }
}

TEST(ElvUtil, DetectsTheDelimiterBothLinesAgreeOn)
{
    struct Case {
        const char* line1;
        const char* line2;
        char expected;
    } cases[] = {
        {"a;b;c,d,e", "f;g;h,i,j", ','},  // tie: the earlier candidate wins
        {"a|b|c,d", "e|f|g,h", '|'},      // more wins
        {"a\tb", "c\td", '\t'},
        {"a#b", "c#d", '#'},
        {"a;b;c,d", "e;f;g", ';'},        // the comma counts differ
        {"a,b,c", "d,e", 0},
        {"a,b", "", 0},                   // a one-line file
        {"a,,b", "c,,d", 0},              // doubled commas are no single ones
    };
    for (const Case& c : cases)
        EXPECT_EQ(DetectDelimiter(c.line1, c.line2), c.expected) << c.line1 << " / " << c.line2;
}

TEST(ElvUtil, SplitsLinesAtAnyLineEnd)
{
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(SplitTextLines(""), Lines{});
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("a\r\n"), Lines{"a"});
    EXPECT_EQ(SplitTextLines("\r\n\r\n"), (Lines{"", ""}));
}

TEST(ElvUtil, DataLinesBecomeCaptionAndSubItems)
{
    struct Case {
        const char* line;
        Row row;
    } cases[] = {
        {"whole line", {"whole line"}},
        {"\r\n", {""}},                      // an empty line is an empty item
        {"a,b,c", {"a", "b", "c"}},
        {"a,,b", {"a", "", "b"}},
        {"x,y,", {"x", "y"}},                  // a final delimiter adds nothing
        {"x,y,\"\"", {"x", "y", ""}},          // quotes alone make an empty cell
        {"\"a,b\",c", {"a,b", "c"}},           // a quoted field keeps the delimiter
        {"x,\"a,b\"", {"x", "a,b"}},
        {"\"a\"\"b\",c", {"a\"\"b", "c"}},     // a doubled quote stays doubled
        {"\"abc\"junk,d", {"abc", "d"}},       // text after the closing quote is dropped
        {"\"unclosed,d", {"", "d"}},           // an unterminated quote gives an empty value
        {"a,\"", {"a", ""}},                   // a last field of one quote
        {"\"", {""}},
        {"\"quoted\"", {"quoted"}},
        {",", {""}},
        {",,", {"", ""}},
    };
    for (const Case& c : cases) {
        char delimiter = ',';
        const TDelimitedTable table = Parse(c.line, delimiter);
        ASSERT_EQ(table.Rows.size(), 1u) << c.line;
        EXPECT_EQ(table.Rows[0], c.row) << c.line;
    }
}

TEST(ElvUtil, DetectionHappensOnlyWhileNoDelimiterIsChosen)
{
    char delimiter = 0;
    TDelimitedTable table = Parse("a;b,c;d,e\r\nf;g,h;i,j\r\n", delimiter);
    EXPECT_EQ(delimiter, ',');
    EXPECT_EQ(table.Rows[0], (Row{"a;b", "c;d", "e"}));

    delimiter = 0;
    table = Parse("a;b;c\r\n", delimiter);  // one line: read with ",", nothing remembered
    EXPECT_EQ(delimiter, 0);
    EXPECT_EQ(table.Rows[0], Row{"a;b;c"});

    delimiter = ';';
    table = Parse("a,b,c\r\nd,e,f\r\n", delimiter);
    EXPECT_EQ(delimiter, ';');
    EXPECT_EQ(table.Rows[1], Row{"d,e,f"});
}

TEST(ElvUtil, ColumnsGrowOnlyForUnquotedInnerFields)
{
    struct Case {
        const char* line;
        std::size_t columns;
    } cases[] = {
        {"a", 0}, {"a,b", 0}, {"a,b,c", 1}, {"a,b,c,d", 2}, {"a,\"b\",c,d", 1}, {"a,b,c,d,", 3},
    };
    for (const Case& c : cases) {
        char delimiter = ',';
        EXPECT_EQ(Parse(c.line, delimiter, 0).Columns.size(), c.columns) << c.line;
    }
}

TEST(ElvUtil, HeaderLineRebuildsTheColumns)
{
    char delimiter = ',';
    TDelimitedTable table;
    table.Columns = {"Old"};
    table.Rows = {{"gone"}};
    ParseDelimitedText("Engines,\"Home Page\",Submit Here\r\nx,y,z\r\n", delimiter, true, table);
    EXPECT_EQ(table.Columns, (std::vector<CodePageString>{"Engines", "Home Page", "Submit Here"}));
    ASSERT_EQ(table.Rows.size(), 1u);
    EXPECT_EQ(table.Rows[0], (Row{"x", "y", "z"}));

    table = {};
    ParseDelimitedText("A,\"open,B\r\n", delimiter, true, table);  // never closes
    EXPECT_EQ(table.Columns, (std::vector<CodePageString>{"A", "", "B"}));

    // A last caption that is empty once its quotes are gone names no column.
    const struct {
        const char* header;
        std::vector<CodePageString> columns;
    } ends[] = {
        {"A,B,\"\"", {"A", "B"}},
        {"A,B,\"", {"A", "B"}},
        {"A,B,", {"A", "B"}},
        {"\"\"", {}},
        {"A,B,\"C\"", {"A", "B", "C"}},
        {"A,B,\"\"\"", {"A", "B", "\""}},
    };
    for (const auto& c : ends) {
        table = {};
        ParseDelimitedText(std::string(c.header) + "\r\nx\r\n", delimiter, true, table);
        EXPECT_EQ(table.Columns, c.columns) << c.header;
    }
}

TEST(ElvUtil, LoadingAppendsAfterWhatIsThere)
{
    char delimiter = ',';
    TDelimitedTable table;
    table.Columns.assign(3, "");
    ParseDelimitedText("a,b\r\n", delimiter, false, table);
    ParseDelimitedText("a,b\r\n", delimiter, false, table);
    EXPECT_EQ(table.Rows, (std::vector<Row>{{"a", "b"}, {"a", "b"}}));
}

TEST(ElvUtil, WritesCellsUpToTheColumnCount)
{
    TDelimitedTable table;
    table.Columns = {"Engines", "Home Page", "Submit Here"};
    table.Rows = {{"A", "h", "s"}, {"B"}, {"C", "h"}, {"D", "1", "2", "3", "4"}, {"E", "", ""}};
    EXPECT_EQ(FormatDelimitedText(table, 0, false), "A,h,s\r\nB\r\nC,h\r\nD,1,2,3\r\nE,,\r\n");
    EXPECT_EQ(FormatDelimitedText(table, ';', true),
              "Engines;Home Page;Submit Here\r\nA;h;s\r\nB\r\nC;h\r\nD;1;2;3\r\nE;;\r\n");

    table.Columns.clear();  // no columns: no cells to write
    EXPECT_EQ(FormatDelimitedText(table, 0, true), "");
    EXPECT_EQ(FormatDelimitedText(table, 0, false), "");
}

// A value holding the delimiter is quoted so that it reads back as one cell;
// values the reader could not give back in any form are written as they are.
TEST(ElvUtil, ValuesWithTheDelimiterSurviveARoundTrip)
{
    TDelimitedTable table;
    table.Columns.assign(3, "");
    table.Rows = {{"a,b", "c", "d,e"}, {"x", "say \"hi\", then", "z"}};
    const std::string bytes = FormatDelimitedText(table, ',', false);
    EXPECT_EQ(bytes, "\"a,b\",c,\"d,e\"\r\nx,say \"hi\", then,z\r\n");

    char delimiter = ',';
    const TDelimitedTable back = Parse(bytes, delimiter);
    EXPECT_EQ(back.Rows[0], table.Rows[0]);
}

TEST(ElvUtil, RoundTripKeepsTheBytes)
{
    const std::string files[] = {
        "Engines,Home Page,Submit Here\r\nAlpha,http://a.example/,http://a.example/add\r\n"
        "Beta,,http://b.example/s?x=1&y=2\r\nGamma\r\nDelta,h\r\n",
        "Engines;Home Page;Submit Here\r\nA;h;s\r\nB;i;t\r\n",
        "Engines\tHome Page\tSubmit Here\r\nA\th\ts\r\n",
        "Engines,Home Page,Submit Here\r\n",
    };
    for (const std::string& file : files) {
        char delimiter = 0;
        TDelimitedTable table;
        ParseDelimitedText(file, delimiter, true, table);
        EXPECT_EQ(FormatDelimitedText(table, delimiter, true), file);
    }
}

TEST(ElvUtil, HostileLinesGiveABoundedResult)
{
    char delimiter = ',';
    const std::string commas(2'000'000, ',');
    TDelimitedTable table = Parse("a" + commas + "b", delimiter, 0);
    EXPECT_EQ(table.Columns.size(), MaxLoadedColumns);
    ASSERT_EQ(table.Rows.size(), 1u);
    EXPECT_EQ(table.Rows[0].size(), commas.size() + 1);
    EXPECT_EQ(table.Rows[0].back(), "b");

    table = Parse(commas, delimiter, 0, true);  // a header of two million empty captions
    EXPECT_EQ(table.Columns.size(), MaxLoadedColumns);

    const std::string huge(16 << 20, 'x');
    table = Parse(huge + ",\"" + huge, delimiter);
    EXPECT_EQ(table.Rows[0], (Row{huge, huge}));

    // Every field opens a quote that never closes: each would search the whole
    // rest of the line for its end.
    std::string unclosed;
    for (int i = 0; i < 500'000; ++i)
        unclosed += "\"\"\",";
    table = Parse(unclosed, delimiter, 0);
    ASSERT_EQ(table.Rows.size(), 1u);
    EXPECT_EQ(table.Rows[0].size(), 500'000u);
}

}  // namespace

namespace {

// The reader's splitting written the plain way, deleting from the front of a
// string, to check the linear-time reader against on every short line.
std::vector<TDelimitedField> SplitByDeleting(std::string s, char d)
{
    std::vector<TDelimitedField> fields;
    while (s.find(d) != std::string::npos) {
        TDelimitedField f;
        if (s[0] == '"') {
            s.erase(0, 1);
            const int close = SingleOccurrence('"', s);
            f.Kind = close ? TDelimitedField::dfQuoted : TDelimitedField::dfUnclosed;
            if (close) {
                f.Value = s.substr(0, close - 1);
                s.erase(0, close);
            }
            const std::size_t next = s.find(d);
            if (next != std::string::npos)
                s.erase(0, next + 1);
        } else {
            const std::size_t next = s.find(d);
            f.Value = s.substr(0, next);
            s.erase(0, next + 1);
        }
        fields.push_back(f);
    }
    TDelimitedField last;
    last.Kind = TDelimitedField::dfRest;
    last.Bare = s.empty();
    if (!s.empty() && s[0] == '"')
        s.erase(0, 1);
    if (!s.empty() && s.back() == '"')
        s.pop_back();
    last.Value = s;
    fields.push_back(last);
    return fields;
}

TEST(ElvUtil, SplittingMatchesThePlainAlgorithmOnEveryShortLine)
{
    const char alphabet[] = {'"', ',', 'a'};
    for (int length = 0; length <= 9; ++length) {
        int total = 1;
        for (int i = 0; i < length; ++i)
            total *= 3;
        for (int code = 0; code < total; ++code) {
            std::string line;
            for (int i = 0, c = code; i < length; ++i, c /= 3)
                line += alphabet[c % 3];
            const auto fast = SplitDelimitedLine(line, ',');
            const auto plain = SplitByDeleting(line, ',');
            ASSERT_EQ(fast.size(), plain.size()) << line;
            for (std::size_t k = 0; k < fast.size(); ++k) {
                EXPECT_EQ(fast[k].Kind, plain[k].Kind) << line << " field " << k;
                EXPECT_EQ(fast[k].Value, plain[k].Value) << line << " field " << k;
                EXPECT_EQ(fast[k].Bare, plain[k].Bare) << line << " field " << k;
            }
        }
    }
}

}  // namespace
