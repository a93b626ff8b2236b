// The rule-coloured memo: colour texts, the rules' matches, the colour table
// with its z-orders, hot spots, and the table of a memo as it is shown.
#include <gtest/gtest.h>

#include <QImage>

#include "classlib/Forms.h"
#include "controls/ColMemo.h"
#include "support/ControlWindows.h"
#include "support/Loop.h"

namespace {

constexpr TColor Navy = 0x800000;
constexpr TColor Teal = 0x808000;
constexpr TColor Purple = 0x800080;
constexpr TColor Green = 0x008000;

// A rule without a memo, for its matches alone.
std::unique_ptr<TColorRule> Rule(TKeyDrawingType type, std::initializer_list<const char*> lines, bool keywords = false)
{
    auto rule = std::make_unique<TColorRule>();
    rule->SetKeyDrawingType(type);
    TStringList list;
    for (const char* line : lines)
        list.Add(line);
    if (type == dtKeyShow || keywords)
        rule->SetKeywords(list);
    else if (type == dtBeginLineEnd)
        rule->SetKeyLineEndLst(list);
    else
        rule->SetKeyBegEndLst(list);
    return rule;
}

// Each match as "start-end:colour".
std::vector<std::string> Matches(const TColorRule& rule, const CodePageString& text)
{
    std::vector<std::string> out;
    for (const TKeyDescr& d : rule.Match(text, 0, int(text.size())))
        out.push_back(std::to_string(d.Start) + "-" + std::to_string(d.End) + ":" + std::to_string(d.Color));
    return out;
}

std::string M(int start, int end, TColor color)
{
    return std::to_string(start) + "-" + std::to_string(end) + ":" + std::to_string(color);
}

TEST(RuleColors, NamesAndHexadecimalValues)
{
    const struct {
        const char* text;
        bool ok;
        TColor color;
    } cases[] = {
        {"teal", true, Teal},        {" TEAL ", true, Teal},      {"008080", true, Teal},
        {"#008080", true, Teal},     {"$008080", true, Teal},     {"ff0000", true, 0x0000FF},
        {"Fuchsia", true, 0xFF00FF}, {"FF", true, 0xFF0000},      {"navyblue", false, 0},
        {"#GG0000", false, 0},       {"1234567", false, 0},       {"#", false, 0},
        {"", false, 0},              {"0x123456", false, 0},
    };
    for (const auto& c : cases) {
        TColor color = -7;
        EXPECT_EQ(ReadRuleColor(c.text, color), c.ok) << c.text;
        EXPECT_EQ(color, c.ok ? c.color : -7) << c.text;
    }
}

TEST(ColorRules, KeywordsMatchWholeWordsInAnyCase)
{
    auto rule = Rule(dtKeyShow, {"<HEAD>;navy", "cat"});
    EXPECT_EQ(Matches(*rule, "<head>\r\n</HEAD>x<head>"), std::vector<std::string>{M(0, 5, Navy)});
    // Letters and "@" join words; digits and "_" do not.
    EXPECT_EQ(Matches(*rule, "cat cats bobcat @cat cat_ 9cat Cat"),
              (std::vector<std::string>{M(0, 2, clRed), M(21, 23, clRed), M(27, 29, clRed), M(31, 33, clRed)}));
    rule->SetPartWord(true);
    EXPECT_EQ(Matches(*rule, "bobcats").size(), 1u);
    rule->SetKeyCase(true);
    TStringList lines;
    lines.Add("cat");
    rule->SetKeywords(lines);
    EXPECT_EQ(Matches(*rule, "CAT cat").size(), 1u);
}

TEST(ColorRules, KeywordListsThatOnceBrokeTheRule)
{
    // A keyword holding the list separator, a colour that is no colour, more
    // colours than a rule keeps: each is matched, the odd colours in the default.
    auto rule = Rule(dtKeyShow, {"a*b;teal", "c**;#12345G", ";red", "   "});
    rule->SetDefKeyColor(Purple);
    EXPECT_EQ(Matches(*rule, "a*b c**"), (std::vector<std::string>{M(0, 2, Teal), M(4, 6, Purple)}));
    EXPECT_EQ(rule->IntChar(), "*");

    TStringList many;
    for (int i = 0; i < 45; ++i)
        many.Add("w" + IntToStr(i) + "x;" + IntToStr(100000 + i));
    rule->SetKeywords(many);
    const auto matches = rule->Match("w0x w40x w41x w44x", 0, 18);
    ASSERT_EQ(matches.size(), 4u);
    TColor c40 = 0;
    ASSERT_TRUE(ReadRuleColor("100040", c40));
    EXPECT_EQ(matches[1].Color, c40);       // the 41st colour still fits
    EXPECT_EQ(matches[2].Color, Purple);    // the 42nd does not
    EXPECT_EQ(matches[3].Color, Purple);
}

// An entry's colour is the text after its last ";", in every list.
TEST(ColorRules, TheColourFollowsTheLastSemicolon)
{
    auto keywords = Rule(dtKeyShow, {"kw;x;teal", "a;b;", "c;navy"});
    EXPECT_EQ(Matches(*keywords, "kw a c"), (std::vector<std::string>{M(0, 1, Teal), M(3, 3, clRed), M(5, 5, Navy)}));
    auto pairs = Rule(dtBeginEnd, {"<a;>;x;navy", "[;];teal;", "{;}"});
    EXPECT_EQ(Matches(*pairs, "<a> [b] {c}"),
              (std::vector<std::string>{M(0, 2, Navy), M(4, 6, clRed), M(8, 10, clRed)}));
    auto lineEnds = Rule(dtBeginLineEnd, {"//;x;green"});
    EXPECT_EQ(Matches(*lineEnds, "a // b"), std::vector<std::string>{M(2, 5, Green)});
}

// A rule has entries when a list it reads holds a line: the begin/end list
// counts for every kind, the keywords and line-end markers for their own.
TEST(ColorRules, WhichListsGiveARuleEntries)
{
    const struct {
        TKeyDrawingType type;
        bool keywords, pairs, lineEnds;
        bool has;
    } cases[] = {
        {dtBeginEnd, false, false, false, false}, {dtBeginEnd, false, true, false, true},
        {dtBeginEnd, true, false, true, false},   {dtKeyShow, true, false, false, true},
        {dtKeyShow, false, true, false, true},    {dtKeyShow, false, false, true, false},
        {dtBeginLineEnd, false, false, true, true}, {dtBeginLineEnd, false, true, false, true},
        {dtBeginLineEnd, true, false, false, false}, {dtEventDraw, false, false, false, false},
        {dtEventDraw, false, true, false, true},  {dtEventDraw, true, false, true, false},
    };
    for (const auto& c : cases) {
        TColorRule rule;
        rule.SetKeyDrawingType(c.type);
        TStringList line;
        line.Add("x");  // a line, even one that makes no entry of its own
        if (c.keywords)
            rule.SetKeywords(line);
        if (c.pairs)
            rule.SetKeyBegEndLst(line);
        if (c.lineEnds)
            rule.SetKeyLineEndLst(line);
        EXPECT_EQ(rule.HasEntries(), c.has) << c.type << c.keywords << c.pairs << c.lineEnds;
    }
}

TEST(ColorRules, BeginEndPairs)
{
    struct Case {
        const char* what;
        std::initializer_list<const char*> lines;
        const char* text;
        std::vector<std::string> matches;
    } cases[] = {
        {"quotes in the default colour", {"\";\""}, "a \"b\" c \"d\"", {M(2, 4, clRed), M(8, 10, clRed)}},
        {"a line without \";\" colours nothing", {"\"\""}, "a \"b\"", {}},
        {"a leading \";\" colours nothing", {";\";teal"}, "a \"b\"", {}},
        {"markers keep six characters", {"<!--abcdef;-->;teal"}, "x<!--abXY-->", {M(1, 11, Teal)}},
        {"the first begin wins, then the earlier line",
         {"<M;>;purple", "<!--;-->;teal", "<!;>;navy"},
         "<!-- <M> --> <M>",
         {M(0, 11, Teal), M(13, 15, Purple)}},
        {"case counts", {"<META;>;purple", "<meta;>;navy"}, "<meta a><META b>", {M(0, 7, Navy), M(8, 15, Purple)}},
        {"an open pair ends the rule", {"\";\""}, "\"a\" \"b", {M(0, 2, clRed)}},
        {"an empty end marker is no pair", {"<a;;teal"}, "<a>", {}},
    };
    for (const Case& c : cases) {
        auto rule = Rule(dtBeginEnd, c.lines);
        EXPECT_EQ(Matches(*rule, c.text), c.matches) << c.what;
    }

    // Forty pairs at most.
    TStringList lines;
    for (int i = 0; i < 45; ++i)
        lines.Add("<" + IntToStr(i) + "|;>");
    auto rule = Rule(dtBeginEnd, {});
    rule->SetKeyBegEndLst(lines);
    EXPECT_EQ(Matches(*rule, "<39|> <40|>").size(), 1u);
}

TEST(ColorRules, MarkersToTheLineEnd)
{
    auto rule = Rule(dtBeginLineEnd, {"//;green", "#"});
    EXPECT_EQ(Matches(*rule, "a // b\r\nc // d"), (std::vector<std::string>{M(2, 5, Green), M(10, 13, Green)}));
    // The lists a rule's kind does not use are not read.
    auto pairs = Rule(dtBeginEnd, {"//;green"}, true);
    EXPECT_FALSE(pairs->HasEntries());
    EXPECT_TRUE(Matches(*pairs, "a // b").empty());
}

TEST(ColorTable, HigherZOrderWinsAndLaterOnTies)
{
    const std::vector<TKeyDescr> descriptions = {
        {0, 9, clRed, 2, 0},   // a quoted string
        {3, 5, clBlue, 2, 1},  // a keyword in it, as high and later: wins
        {4, 4, clLime, 1, 0},  // lower: loses
        {8, 20, Navy, 0, 0},   // past the table's end: cut
        {-5, 0, Teal, 3, 0},   // before its start: cut
    };
    const TColorTable table = FillColorTable(descriptions, 0, 12);
    const TColorCell expected[] = {
        {Teal, 3, false},    {clRed, 2, false}, {clRed, 2, false}, {clBlue, 2, true},
        {clBlue, 2, true},   {clBlue, 2, true}, {clRed, 2, false}, {clRed, 2, false},
        {clRed, 2, false},   {clRed, 2, false}, {Navy, 0, false},  {Navy, 0, false},
    };
    ASSERT_EQ(table.Cells.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(table.Cells[i], expected[i]) << i;
    EXPECT_EQ(table.At(12).ZOrder, -1);
}

TEST(ColorTable, RunsSkipSelectionTabsAndLineBreaks)
{
    const CodePageString text = "ab\tc\r\nde";
    const std::vector<TKeyDescr> descriptions = {
        {0, 7, Teal, 2, 1},         // one keyword match over two lines: drawn plainly
        {2, 2, clWhite, ZTab, 0},   // the TAB keeps the edit control's painting
        {7, 7, clBlue, ZSelection, 0},
    };
    const auto runs = PaintedRuns(FillColorTable(descriptions, 0, 8), text);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].Start, 0);
    EXPECT_EQ(runs[0].Length, 2);
    EXPECT_EQ(runs[1].Start, 3);
    EXPECT_EQ(runs[1].Length, 1);
    EXPECT_EQ(runs[2].Start, 6);
    EXPECT_EQ(runs[2].Length, 1);
    for (const TColorRun& run : runs)
        EXPECT_EQ(run.Cell.Color, Teal);
    EXPECT_TRUE(runs[0].Cell.Keyword);
    // The part after the TAB runs over two lines: drawn plainly, no OnDrawKey.
    EXPECT_FALSE(runs[1].Cell.Keyword);
    EXPECT_FALSE(runs[2].Cell.Keyword);
}

struct ColorMemoFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 420, 240);
        memo = new TColorMemo(form);
        memo->Name = "Viewer";
        memo->SetParent(form);
        memo->SetBounds(4, 4, 400, 220);
        memo->SetWordWrap(false);
        form->Show();
    }
    void TearDown() override { delete form; }

    // The main window's three rules for the meta tag preview.
    void MetaTagRules()
    {
        TColorRule* strings = memo->ColorRules()->Add();
        strings->SetZOrder(2);
        strings->SetDefKeyColor(Green);
        TStringList pairs;
        pairs.Add("<!--;-->;teal");
        pairs.Add("\";\"");
        strings->SetKeyBegEndLst(pairs);
        TColorRule* tags = memo->ColorRules()->Add();
        TStringList tagPairs;
        for (const char* line : {"<META;>;purple", "<meta;>;purple", "<LINK REV;>;navy", "<HTML LANG;>;navy"})
            tagPairs.Add(line);
        tags->SetKeyBegEndLst(tagPairs);
        TColorRule* words = memo->ColorRules()->Add();
        words->SetKeyDrawingType(dtKeyShow);
        words->SetPartWord(true);
        TStringList keywords;
        for (const char* line : {"<HEAD>;navy", "</HEAD>;navy", "<TITLE>;navy", "</TITLE>;navy"})
            keywords.Add(line);
        words->SetKeywords(keywords);
    }

    // The colour of every character of a line of the shown table, "." for none.
    std::string Colors(const TColorTable& table, const CodePageString& text, const std::map<TColor, char>& letters)
    {
        std::string out;
        for (int i = 0; i < int(text.size()); ++i) {
            const TColorCell cell = table.At(i);
            out += cell.ZOrder < 0 ? '.' : letters.count(cell.Color) ? letters.at(cell.Color) : '?';
        }
        return out;
    }

    TForm* form = nullptr;
    TColorMemo* memo = nullptr;
};

TEST_F(ColorMemoFixture, TheMetaTagPreviewIsColouredByItsRules)
{
    MetaTagRules();
    const CodePageString text = "<HEAD>\r\n<TITLE>A \"B\"</TITLE>\r\n<META NAME=\"K\" CONTENT=\"x\">\r\n<!-- c -->\r\n</HEAD>";
    memo->SetText(text);
    const TColorTable table = memo->ShownColorTable();
    const std::map<TColor, char> letters = {{Navy, 'n'}, {Green, 'g'}, {Purple, 'p'}, {Teal, 't'}};
    // The quoted strings' rule is higher than the META tags' rule.
    EXPECT_EQ(Colors(table, text, letters), "nnnnnn.."
                                            "nnnnnnn..gggnnnnnnnn.."
                                            "pppppppppppgggpppppppppgggp.."
                                            "tttttttttt.."
                                            "nnnnnnn");
}

TEST_F(ColorMemoFixture, TabsAndTheSelectionKeepTheEditControlsPainting)
{
    MetaTagRules();
    memo->SetWantTabs(true);
    const CodePageString text = "x \"a\tb\" y";
    memo->SetText(text);
    memo->SetSelStart(8);
    memo->SetSelLength(1);
    const TColorTable table = memo->ShownColorTable();
    EXPECT_EQ(table.At(2).Color, Green);
    EXPECT_EQ(table.At(4).ZOrder, ZTab);
    EXPECT_EQ(table.At(5).Color, Green);
    EXPECT_EQ(table.At(8).ZOrder, ZSelection);
    std::vector<int> painted;
    for (const TColorRun& run : PaintedRuns(table, text))
        for (int i = 0; i < run.Length; ++i)
            painted.push_back(run.Start + i);
    EXPECT_EQ(painted, (std::vector<int>{2, 3, 5, 6}));
}

TEST_F(ColorMemoFixture, HotSpotsBetweenTheirMarkers)
{
    MetaTagRules();
    memo->HotSpot()->SetActive(true);
    memo->HotSpot()->SetMarkerColor(clWhite);
    const CodePageString text = "see \x1Ehome\x1F and \x1E\x1F, \x1Eopen";
    memo->SetText(text);
    const TColorTable table = memo->ShownColorTable();
    EXPECT_EQ(table.At(4), (TColorCell{clWhite, ZHotSpotMarker, false}));
    for (int i = 5; i <= 8; ++i)
        EXPECT_EQ(table.At(i), (TColorCell{clBlue, ZHotSpotText, false})) << i;
    EXPECT_EQ(table.At(9), (TColorCell{clWhite, ZHotSpotMarker, false}));
    EXPECT_EQ(table.At(15).ZOrder, ZHotSpotMarker);  // adjacent markers, nothing between
    EXPECT_EQ(table.At(16).ZOrder, ZHotSpotMarker);
    EXPECT_EQ(table.At(19).ZOrder, -1);  // a begin marker with no end: nothing
    EXPECT_EQ(table.At(20).ZOrder, -1);

    CodePageString spot;
    ASSERT_TRUE(memo->HotSpotAt(6, spot));
    EXPECT_EQ(spot, "home");
    EXPECT_FALSE(memo->HotSpotAt(12, spot));
    EXPECT_FALSE(memo->HotSpotAt(21, spot));

    std::vector<CodePageString> clicked;
    memo->OnHotSpotClick = [&](TObject*, const CodePageString& src) { clicked.push_back(src); };
    const TPoint at = memo->PosFromChar(6);
    memo->HandleMouseUp(mbLeft, {}, at.x + 2, at.y + 4);
    EXPECT_EQ(clicked, std::vector<CodePageString>{"home"});

    // Hot spots are painted while some rule has entries: a keyword rule
    // with only a begin/end line is enough, a pair rule with only keywords is not.
    memo->ColorRules()->Clear();
    TColorRule* rule = memo->ColorRules()->Add();
    TStringList line;
    line.Add("zz;yy");
    rule->SetKeywords(line);
    EXPECT_EQ(memo->ShownColorTable().At(5).ZOrder, -1);
    rule->SetKeyDrawingType(dtKeyShow);
    EXPECT_EQ(memo->ShownColorTable().At(5).ZOrder, ZHotSpotText);
    rule->Keywords()->Clear();
    EXPECT_EQ(memo->ShownColorTable().At(5).ZOrder, -1);
    rule->SetKeyBegEndLst(line);
    EXPECT_EQ(memo->ShownColorTable().At(5).ZOrder, ZHotSpotText);

    // Character 0 as the begin marker switches them off.
    memo->HotSpot()->SetBeginChar(0);
    EXPECT_EQ(memo->ShownColorTable().At(5).ZOrder, -1);
}

TEST_F(ColorMemoFixture, OwnerDrawnDescriptionsAreBoundedByTheBuffer)
{
    TColorRule* rule = memo->ColorRules()->Add();
    rule->SetKeyDrawingType(dtEventDraw);
    // An owner-drawn rule takes part once its begin/end list holds a line.
    TStringList pairs;
    pairs.Add("<;>");
    rule->SetKeyBegEndLst(pairs);
    memo->SetText("abcdefgh");
    int calls = 0;
    memo->OnDraw = [&](TObject*, const char* from, std::vector<TKeyDescr>& a, int& count) {
        ++calls;
        EXPECT_EQ(std::string(from), "abcdefgh");
        ASSERT_EQ(a.size(), 2u);
        a[0] = {1, 2, clBlue, 1, 0};
        a[1] = {6, 40, Teal, 1, 0};
        count = 99;  // more than the buffer holds: only the buffer is read
    };
    EXPECT_EQ(memo->ShownColorTable().At(1).ZOrder, -1);  // no buffer yet: OnDraw is not asked
    memo->SetColorLimMax(2);
    const TColorTable table = memo->ShownColorTable();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(table.At(2).Color, clBlue);
    EXPECT_EQ(table.At(7).Color, Teal);
    EXPECT_EQ(table.Cells.size(), 8u);
}

TEST_F(ColorMemoFixture, PositionsCountLineBreaksAsTwoCharacters)
{
    memo->SetText("ab\r\ncd\r\n\r\nef");
    EXPECT_EQ(memo->LineFromChar(5), 1);
    EXPECT_EQ(memo->LineIndex(3), 10);
    EXPECT_EQ(memo->LineLength(2), 0);
    EXPECT_EQ(memo->LineIndex(4), -1);
    memo->SetSelStart(4);
    memo->SetSelLength(7);
    EXPECT_EQ(memo->SelStart(), 4);
    EXPECT_EQ(memo->SelLength(), 7);
    EXPECT_EQ(memo->SelText(), "cd\r\n\r\ne");
    EXPECT_EQ(memo->CharFromPos(memo->PosFromChar(11).x + 1, memo->PosFromChar(11).y + 3), 11);
    EXPECT_GT(memo->PosFromChar(4).y, memo->PosFromChar(0).y);
}

// The coloured pieces reach the screen: the title keyword's pixels are navy.
TEST_F(ColorMemoFixture, PaintsItsColoursOverTheText)
{
    MetaTagRules();
    memo->Font()->SetSize(14);
    memo->SetText("<HEAD>\r\nplain");
    ASSERT_TRUE(RunPendingEvents());
    const QImage image = PictureOf(memo);
    auto hasColor = [&](int top, int bottom, QRgb rgb) {
        for (int y = top; y < bottom && y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF))
                    return true;
        return false;
    };
    const int line2 = memo->PosFromChar(8).y;
    EXPECT_TRUE(hasColor(0, line2, qRgb(0, 0, 0x80)));   // "<HEAD>" in navy
    EXPECT_FALSE(hasColor(line2, image.height(), qRgb(0, 0, 0x80)));
}

}  // namespace
