#include <gtest/gtest.h>

#include <functional>

#include "DocumentFixture.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlTextSection.h"

namespace {

using BlockSectionTest = DocumentTest;

TEST_F(BlockSectionTest, FixedHeightsFollowTheDefaultFontSize)
{
    struct Case {
        const char* what;
        int fontSize;
        std::function<std::unique_ptr<TSectionBase>(TSectionList*)> make;
        int height;
    };
    const auto heading = [](int level) {
        return [level](TSectionList* d) { return std::make_unique<THeadingSpace>(d, level); };
    };
    const auto rule = [](const char* tag) {
        return [tag](TSectionList* d) { return std::make_unique<THorzLine>(d, RuleSpecOf(Tag(tag))); };
    };
    const auto paragraph = [](TSectionList* d) { return std::make_unique<TParagraphSpace>(d); };
    const Case cases[] = {
        {"paragraph", 12, paragraph, 14},
        {"paragraph", 24, paragraph, 28},
        {"paragraph", 9, paragraph, 11},
        {"H1", 12, heading(1), 16},
        {"H2", 12, heading(2), 12},
        {"H3", 12, heading(3), 10},
        {"H4", 12, heading(4), 8},
        {"H5", 12, heading(5), 6},
        {"H6", 12, heading(6), 4},
        {"H without a level", 12, heading(0), 8},
        {"H9", 12, heading(9), 8},
        {"H1", 18, heading(1), 24},
        {"HR", 12, rule("<hr>"), 20},
        {"HR SIZE=5", 12, rule("<hr size=5>"), 23},
        {"HR SIZE=30 keeps 2", 12, rule("<hr size=30>"), 20},
        {"HR SIZE=0 keeps 2", 12, rule("<hr size=0>"), 20},
        {"HR", 24, rule("<hr>"), 40},
    };
    for (const Case& c : cases) {
        root.Clear();
        root.SetDefaultFonts("Times New Roman", "Courier New", c.fontSize, clBlack, clBlue, clWhite);
        auto section = c.make(&root);
        TSectionBase* raw = section.get();
        root.Add(std::move(section));
        EXPECT_EQ(raw->BlockHeight, c.height) << c.what << " at " << c.fontSize;
        root.SetDefaultFonts("Times New Roman", "Courier New", 12, clBlack, clBlue, clWhite);
        EXPECT_EQ(Layout(400), raw->BlockHeight) << c.what;
    }
    // A change of the default size re-derives every height.
    root.Clear();
    TSectionBase* gap = Add<TParagraphSpace>();
    root.SetDefaultFonts("Arial", "Courier New", 36, clBlack, clBlue, clWhite);
    EXPECT_EQ(gap->BlockHeight, 42);
}

TEST_F(BlockSectionTest, SectionsStackInTheirCell)
{
    struct Row {
        TSectionBase* section;
        int y;
        int height;
    };
    std::vector<Row> rows;
    const auto expect = [&](TSectionBase* s, int y, int height) { rows.push_back({s, y, height}); };
    expect(Text("Title"), 0, 16);
    expect(Add<TParagraphSpace>(), 16, 14);
    expect(Add<THeadingSpace>(1), 30, 16);
    expect(Text("Heading"), 46, 16);
    expect(Add<THeadingSpace>(1), 62, 16);
    expect(Add<THorzLine>(RuleSpecOf(Tag("<hr>"))), 78, 20);
    expect(Pre("  kept  "), 98, 16);
    expect(Pre(""), 114, 16);  // an empty line gets a blank
    TOListItem* one = Add<TOListItem>(1, font, nullptr, '1', 1);
    one->AddText("one");
    expect(one, 130, 16);
    TUListItem* inner = Add<TUListItem>(2, font, nullptr);
    inner->AddText("inner");
    expect(inner, 146, 16);
    expect(Text("after the list"), 162, 16);
    EXPECT_EQ(Layout(400), 178);
    for (const Row& r : rows) {
        EXPECT_EQ(r.section->YValue, r.y);
        EXPECT_EQ(r.section->BlockHeight, r.height) << "at " << r.y;
    }
    EXPECT_EQ(rows[7].section->Len, 1);
    EXPECT_EQ(one->Lines[0].LineIndent, 35);
    EXPECT_EQ(inner->Lines[0].LineIndent, 70);
    EXPECT_EQ(static_cast<TSection*>(rows.back().section)->Lines[0].LineIndent, 0) << "the list's levels are closed";

    Paint(400);
    const auto at = TextPositions();
    EXPECT_EQ(at.at("  kept  "), Point(0, 98)) << "blanks of preformatted text stay";
    EXPECT_EQ(at.at("1."), Point(35 - 5 - 14, 130));

    root.SelectionBegin = 0;
    root.SelectionEnd = root.Len;
    EXPECT_EQ(root.SelectedText(),
              "Title\r\n\r\n\r\nHeading\r\n\r\n\r\n  kept  \r\n \r\n   one\r\n      inner\r\nafter the list\r\n")
        << "spacers copy as line ends, list items with three blanks a level";
}

TEST_F(BlockSectionTest, HorizontalRules)
{
    struct Case {
        const char* tag;
        int x1;
        int x2;
        int top;
        bool filled;
        TColor dark;
        TColor light;
    } cases[] = {
        {"<hr>", 10, 390, 9, false, clBtnShadow, clSilver},
        {"<hr size=6>", 10, 390, 9, false, clBtnShadow, clSilver},
        {"<hr width=50% align=right>", 200, 400, 9, false, clBtnShadow, clSilver},
        {"<hr width=150%>", 10, 390, 9, false, clBtnShadow, clSilver},
        {"<hr width=100 align=LEFT>", 0, 100, 9, false, clBtnShadow, clSilver},
        {"<hr width=100>", 150, 250, 9, false, clBtnShadow, clSilver},
        {"<hr width=-100>", 10, 390, 9, false, clBtnShadow, clSilver},
        {"<hr noshade>", 10, 390, 9, false, clBlack, clBlack},
        {"<hr color=red>", 10, 390, 9, true, 0, 0},
        {"<hr color=nonsense>", 10, 390, 9, false, clBtnShadow, clSilver},
    };
    for (const Case& c : cases) {
        root.Clear();
        THorzLine* line = Add<THorzLine>(RuleSpecOf(Tag(c.tag)));
        Layout(400);
        Paint(400);
        if (c.filled) {
            const auto fills = canvas.OpsOf(TCanvasOp::Fill);
            ASSERT_EQ(fills.size(), 1u) << c.tag;
            EXPECT_EQ(fills[0].rect, Rect(c.x1, c.top, c.x2, c.top + line->VSize)) << c.tag;
            EXPECT_EQ(fills[0].brushColor, PaletteRGB(255, 0, 0)) << c.tag;
            continue;
        }
        const auto lines = canvas.OpsOf(TCanvasOp::Line);
        ASSERT_EQ(lines.size(), 4u) << c.tag;
        const int bottom = c.top + line->VSize;
        EXPECT_EQ(lines[0].points, (std::vector<TPoint>{{c.x1, bottom}, {c.x1, c.top}})) << c.tag;
        EXPECT_EQ(lines[1].points, (std::vector<TPoint>{{c.x1, c.top}, {c.x2, c.top}})) << c.tag;
        EXPECT_EQ(lines[2].points, (std::vector<TPoint>{{c.x2, c.top}, {c.x2, bottom}})) << c.tag;
        EXPECT_EQ(lines[3].points, (std::vector<TPoint>{{c.x2, bottom}, {c.x1, bottom}})) << c.tag;
        EXPECT_EQ(lines[0].penColor, c.dark) << c.tag;
        EXPECT_EQ(lines[2].penColor, c.light) << c.tag;
    }
    root.Clear();
    root.SetBackground(clNavy);
    Add<THorzLine>(RuleSpecOf(Tag("<hr>")));
    Layout(400);
    Paint(400);
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Line)[2].penColor, clBtnHighlight) << "the light edge off a white page";
}

TEST_F(BlockSectionTest, PreformattedTextIsNotWrapped)
{
    TPreFormated* pre = Pre(std::string(143, 'x') + " " + std::string(142, 'y'));  // 2002 pixels
    int min = 0;
    int max = 0;
    pre->WidthRange(&canvas, min, max);
    EXPECT_EQ(max, 2002);
    EXPECT_EQ(min, 500) << "a table column is asked for no more than 500";
    int maxWidth = 0;
    int curs = 0;
    EXPECT_EQ(root.LayOutAll(&canvas, 0, 300, maxWidth, curs), 16);
    EXPECT_EQ(pre->Lines.size(), 1u);
    EXPECT_EQ(maxWidth, 2002);
    IndentManager cellIndents;
    cellIndents.Reset(0, 300);
    cellIndents.Width = 300;
    pre->LayOutBlock(&canvas, 0, cellIndents, maxWidth, curs);
    EXPECT_EQ(cellIndents.Width, 300) << "the cell's width is back after the section";

    TPreFormated* shortPre = Pre("ab");
    shortPre->WidthRange(&canvas, min, max);
    EXPECT_EQ(min, 14);
    EXPECT_EQ(max, 14);

    // The text is clipped to the band of its section.
    Layout(300);
    Paint(300);
    const auto texts = canvas.OpsOf(TCanvasOp::Text);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].clip, Rect(0, 16, 1000, 32));
    EXPECT_EQ(canvas.ClipRect(), Rect(0, 0, 1000, 1000));
}

}  // namespace
