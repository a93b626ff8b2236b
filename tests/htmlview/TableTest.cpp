#include <gtest/gtest.h>

#include "DocumentFixture.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlTextSection.h"

namespace {

struct CellSpec {
    std::string tag;   // "<td ...>"
    std::string text;  // none: the cell has no content
    int vAlign = 1;
};
using Grid = std::vector<std::vector<CellSpec>>;

CellSpec C(std::string text)
{
    return {"<td>", std::move(text)};
}

class TableTest : public DocumentTest {
protected:
    // A table in cell (the document when none), its rows made of specs.
    ThtmlTable* MakeTable(const std::string& tag, const Grid& rows, TCell* cell = nullptr)
    {
        TCell* owner = cell ? cell : &root;
        auto table = std::make_unique<ThtmlTable>(&root, TableSpecOf(Tag(tag)), jLeft, owner, 0);
        for (const auto& specs : rows) {
            TCellList* row = table->Rows.Add(std::make_unique<TCellList>());
            for (const CellSpec& spec : specs) {
                auto obj = std::make_unique<TCellObj>(&root, spec.vAlign, CellSpecOf(Tag(spec.tag)));
                if (!spec.text.empty())
                    AddText(*obj->Cell, spec.text);
                row->Add(std::move(obj));
            }
        }
        ThtmlTable* raw = table.get();
        owner->Add(std::move(table));
        return raw;
    }
    static std::vector<int> Widths(const ThtmlTable& t)
    {
        return std::vector<int>(t.Widths.begin(), t.Widths.begin() + t.NumCols);
    }
};

TEST_F(TableTest, ColumnWidthsAndHeights)
{
    const std::string word = "aaaa bbbb cccc";  // Min 32, Max 102 with the padding
    struct Case {
        const char* name;
        const char* table;
        Grid rows;
        int avail;
        std::vector<int> widths;
        int gridWidth;
        int height;
    };
    std::vector<Case> cases = {
        {"content that fits takes every column's maximum", "<table>", {{C("aaa"), C("bbbbb")}}, 600, {25, 39}, 66, 22},
        {"a negative WIDTH is no width", "<table width=-100>", {{C("aaa"), C("bbbbb")}}, 600, {25, 39}, 66, 22},
        {"a span shares its width over its columns", "<table>",
         {{{"<td colspan=2>", "aaaaaaaaaa"}}, {C("a"), C("b")}}, 600, {37, 37}, 76, 42},
        {"percentages of a table WIDTH keep their ratio", "<table width=50%>",
         {{{"<td width=30%>", "a"}, {"<td width=20%>", "b"}}}, 600, {178, 120}, 300, 22},
        {"a pixel WIDTH shares the rest by what each column could use", "<table width=300>",
         {{C("a"), C("bbb")}}, 600, {142, 156}, 300, 22},
        {"a huge WIDTH is cut", "<table width=99999>", {{C("a")}}, 600, {MaxPixelSize - 2}, MaxPixelSize, 22},
        {"a cell WIDTH in pixels is its column's width", "<table>",
         {{{"<td width=100>", "a"}, C("bbb")}}, 600, {104, 25}, 131, 22},
        {"too little room gives every column its minimum", "<table>", {{C("aaaa bbbb"), C("cc")}}, 40, {32, 18},
         52, 38},
        {"room between minimum and maximum is shared by the difference", "<table>", {{C(word), C("dd ee")}}, 100,
         {69, 29}, 100, 38},
        {"a percentage column in a table that fits", "<table>", {{{"<td width=25%>", "aa"}, C("bb")}}, 600,
         {18, 54}, 74, 22},
        {"a percentage column in a table wider than the room", "<table>",
         {{{"<td width=60%>", word}, C("dd ee")}}, 100, {59, 39}, 100, 54},
        {"a cell spanning rows fills both", "<table>", {{{"<td rowspan=2>", "a"}, C("b")}, {C("c")}}, 600,
         {11, 11}, 24, 42},
        {"a row span beyond the last row is cut", "<table>",
         {{C("a")}, {{"<td rowspan=5>", "b"}, C("c")}, {C("d")}}, 600, {11, 11}, 24, 62},
        {"a tall spanning cell spreads over its rows", "<table>",
         {{{"<td rowspan=2 height=100>", "a"}, C("b")}, {C("c")}}, 600, {11, 11}, 24, 104},
        {"HEIGHT makes a row taller", "<table>", {{{"<td height=100>", "a"}}}, 600, {11}, 13, 104},
        {"a huge HEIGHT is cut", "<table>", {{{"<td height=99999999>", "a"}}}, 600, {11}, 13,
         MaxPixelSize - 2 + 4 + 2},
        {"CELLPADDING 80 acts as 50", "<table cellpadding=80>", {{C("a")}}, 600, {109}, 111, 120},
        {"CELLSPACING 60 acts as 40", "<table cellspacing=60>", {{C("a")}}, 600, {49}, 89, 98},
        {"BORDER with CELLSPACING 0 spaces by 2", "<table border=1 cellspacing=0>", {{C("a")}}, 600, {11}, 13, 22},
        {"BORDER adds 2 to the spacing", "<table border>", {{C("a")}}, 600, {13}, 17, 26},
    };
    for (const Case& c : cases) {
        root.Clear();
        ThtmlTable* table = MakeTable(c.table, c.rows);
        EXPECT_EQ(Layout(c.avail), c.height) << c.name;
        EXPECT_EQ(Widths(*table), c.widths) << c.name;
        EXPECT_EQ(table->GridWidth, c.gridWidth) << c.name;
        EXPECT_EQ(table->BlockHeight, c.height) << c.name;
    }
}

TEST_F(TableTest, CellsArePlacedInTheirRows)
{
    struct Case {
        const char* name;
        const char* table;
        Grid rows;
        std::map<std::string, TPoint> at;
    };
    const Case cases[] = {
        {"cells start past the spacing and padding", "<table>", {{C("aaa"), C("bbbbb")}},
         {{"aaa", {3, 3}}, {"bbbbb", {28, 3}}}},
        {"a centred table is indented by half the free room", "<table align=center>", {{C("aaa"), C("bbbbb")}},
         {{"aaa", {270, 3}}, {"bbbbb", {295, 3}}}},
        {"vertical alignment in a row made tall by its neighbour", "<table>",
         {{{"<td>", "top", 0}, {"<td>", "mid", 1}, {"<td>", "bot", 2}, {"<td height=100>", "x", 0}}},
         {{"top", {3, 3}}, {"mid", {28, 44}}, {"bot", {53, 85}}, {"x", {78, 3}}}},
        {"a spanning cell sits over its columns", "<table>", {{{"<td colspan=2>", "aaaaaaaaaa"}}, {C("a"), C("b")}},
         {{"aaaaaaaaaa", {3, 3}}, {"a", {3, 23}}, {"b", {40, 23}}}},
        {"a cell below a row span moves right", "<table>", {{{"<td rowspan=2>", "a"}, C("b")}, {C("c")}},
         {{"a", {3, 13}}, {"b", {14, 3}}, {"c", {14, 23}}}},
    };
    for (const Case& c : cases) {
        root.Clear();
        MakeTable(c.table, c.rows);
        Layout(600);
        Paint(600);
        EXPECT_EQ(TextPositions(), c.at) << c.name;
    }
}

TEST_F(TableTest, NestedTablesAndCaptions)
{
    ThtmlTable* outer = MakeTable("<table>", {{C("")}});
    TCell& outerCell = *outer->Rows[0]->Items(0)->Cell;
    ThtmlTable* inner = MakeTable("<table>", {{C("abc")}}, &outerCell);
    EXPECT_EQ(Layout(600), 28);
    EXPECT_EQ(Widths(*outer), std::vector<int>{31});
    EXPECT_EQ(Widths(*inner), std::vector<int>{25});
    EXPECT_EQ(inner->YValue, 3);
    Paint(600);
    EXPECT_EQ(TextPositions().at("abc"), Point(6, 6));

    root.Clear();
    ThtmlTable* top = MakeTable("<table>", {{C("a")}});
    AddText(*top->Caption->Cell, "cccccccccc");
    ThtmlTable* bottom = MakeTable("<table>", {{C("b")}});
    AddText(*bottom->Caption->Cell, "dddddddddd");
    bottom->TopCaption = false;
    Layout(600);
    EXPECT_EQ(top->TableWidth, 70) << "as wide as its caption";
    EXPECT_EQ(top->GridIndent, 28) << "the grid centred under it";
    EXPECT_EQ(top->BlockHeight, 38);
    EXPECT_EQ(top->CaptionHeight, 16);
    EXPECT_EQ(bottom->TableHeight, 22);
    int min = 0;
    int max = 0;
    top->WidthRange(&canvas, min, max);
    EXPECT_EQ(min, 70);
    EXPECT_EQ(max, 70);
    Paint(600);
    const auto at = TextPositions();
    EXPECT_EQ(at.at("cccccccccc"), Point(0, 0));
    EXPECT_EQ(at.at("a"), Point(31, 19));
    EXPECT_EQ(at.at("b"), Point(31, 38 + 3));
    EXPECT_EQ(at.at("dddddddddd"), Point(0, 38 + 22));
    // The caption comes first in the text order of a top caption.
    EXPECT_EQ(top->FirstPosition, 0);
    EXPECT_EQ(root.SearchText(0, "a", true), 10);
    EXPECT_EQ(root.SearchText(0, "d", true), 12);

    int xr = 0;
    int yr = 0;
    int caret = 0;
    TCell* sCell = nullptr;
    bool inText = false;
    EXPECT_EQ(root.PositionAtPoint(&canvas, 8, 5, xr, yr, caret, sCell, inText), 1) << "in the top caption";
    EXPECT_EQ(sCell, top->Caption->Cell.get());
    sCell = nullptr;
    EXPECT_EQ(root.PositionAtPoint(&canvas, 1, 38 + 22 + 4, xr, yr, caret, sCell, inText), 12);
    EXPECT_EQ(yr, 38 + 22);
    EXPECT_EQ(root.PositionAtPoint(&canvas, 200, 5, xr, yr, caret, sCell, inText), -1) << "beside the table";
}

TEST_F(TableTest, FloatingTablesLetTextFlowBeside)
{
    ThtmlTable* left = MakeTable("<table align=left>", {{C("aaa"), C("bbbbb")}});
    TSection* beside = Text("next");
    Layout(600);
    EXPECT_EQ(left->BlockHeight, 0);
    EXPECT_EQ(left->PaintHeight, 22);
    EXPECT_EQ(beside->YValue, 0) << "the next paragraph starts at the table's top";
    EXPECT_EQ(beside->Lines[0].LineIndent, 66 + 5 + 1);

    root.Clear();
    ThtmlTable* right = MakeTable("<table align=right hspace=10>", {{C("aaa"), C("bbbbb")}});
    beside = Text("next", jRight);
    EXPECT_EQ(Layout(600), 22) << "the float lengthens the document";
    EXPECT_EQ(right->Indent, 600 - 66);
    EXPECT_EQ(beside->Lines[0].LineIndent, 600 - 77 - 28 - 1);
    Paint(600);
    EXPECT_EQ(TextPositions().at("aaa"), Point(534 + 3, 3));
}

TEST_F(TableTest, BordersBackgroundsAndEmptyCells)
{
    MakeTable("<table border=1 bgcolor=red>", {{C("a"), C("")}});
    Layout(600);
    Paint(600);
    // Spacing 4 and padding 1: the columns are 13 and 6 (the empty cell's
    // padding) wide. Both cells are filled (pages make bars of colour out of
    // empty cells), only the cell with content is framed, then the grid is
    // framed raised.
    const auto fills = canvas.OpsOf(TCanvasOp::Fill);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0].rect, Rect(4, 4, 13, 22));
    EXPECT_EQ(fills[0].brushColor, PaletteRGB(255, 0, 0));
    EXPECT_EQ(fills[1].rect, Rect(17, 4, 19, 22));
    EXPECT_EQ(fills[1].brushColor, PaletteRGB(255, 0, 0));
    const auto lines = canvas.OpsOf(TCanvasOp::Line);
    ASSERT_EQ(lines.size(), 8u) << "no frame for the empty cell";
    EXPECT_EQ(lines[0].points, (std::vector<TPoint>{{3, 22}, {3, 3}})) << "sunken around the cell";
    EXPECT_EQ(lines[0].penColor, clBtnShadow);
    EXPECT_EQ(lines[4].points, (std::vector<TPoint>{{0, 25}, {0, 0}})) << "raised around the grid";
    EXPECT_EQ(lines[4].penColor, clSilver);
    EXPECT_EQ(lines[6].points, (std::vector<TPoint>{{22, 0}, {22, 25}}));

    root.Clear();
    MakeTable("<table bordercolor=blue>", {{C("a"), C("b")}});
    Layout(600);
    Paint(600);
    int area = 0;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Fill)) {
        EXPECT_EQ(op.brushColor, PaletteRGB(0, 0, 255));
        EXPECT_TRUE(IntersectRect(op.rect, Rect(2, 2, 11, 20)).IsEmpty());
        EXPECT_TRUE(IntersectRect(op.rect, Rect(13, 2, 22, 20)).IsEmpty());
        area += op.rect.Width() * op.rect.Height();
    }
    EXPECT_EQ(area, 24 * 22 - 2 * 9 * 18) << "the spacing between the cells is filled";

    // An empty cell's colour is not painted over by the spacing's.
    root.Clear();
    MakeTable("<table bordercolor=blue>", {{C("a"), CellSpec{"<td bgcolor=yellow>", ""}}});
    Layout(600);
    Paint(600);
    const auto colours = canvas.OpsOf(TCanvasOp::Fill);
    ASSERT_FALSE(colours.empty());
    EXPECT_EQ(colours.front().brushColor, PaletteRGB(255, 255, 0));
    const TRect bar = colours.front().rect;
    EXPECT_FALSE(bar.IsEmpty());
    for (std::size_t i = 1; i < colours.size(); ++i)
        EXPECT_TRUE(IntersectRect(colours[i].rect, bar).IsEmpty()) << i;
}

TEST_F(TableTest, OversizedGridsAreCutToTheLimit)
{
    const auto cells = [](int n, const std::string& wide) {
        std::vector<CellSpec> row(std::size_t(n), C("a"));
        if (!wide.empty())
            row[3].tag = wide;
        return row;
    };
    struct Case {
        const char* name;
        std::vector<CellSpec> row;
        int columns;
    } cases[] = {
        {"thirty columns are kept", cells(30, ""), 30},
        {"a thirty-first column is cut", cells(31, ""), 30},
        {"a span that passes the last column is cut", cells(29, "<td colspan=3>"), 30},
        {"a huge span stops at the last column", cells(5, "<td colspan=2000000000>"), 30},
    };
    for (const Case& c : cases) {
        root.Clear();
        ThtmlTable* table = MakeTable("<table>", {c.row});
        Layout(600);
        EXPECT_EQ(table->NumCols, c.columns) << c.name;
        EXPECT_LE(table->Rows[0]->Count(), MaxTableColumns) << c.name;
        for (int p = 0; p < table->Rows[0]->Count(); ++p)
            EXPECT_LE(p + table->Rows[0]->Items(p)->ColSpan, MaxTableColumns) << c.name << " at " << p;
    }

    // Every cell spanning everything: the grid stays within the limit.
    root.Clear();
    Grid rows(100, {{"<td colspan=2000000000 rowspan=2000000000>", "x"}});
    ThtmlTable* table = MakeTable("<table>", rows);
    Layout(600);
    EXPECT_EQ(table->NumCols, MaxTableColumns);
    for (const auto& row : table->Rows)
        EXPECT_LE(row->Count(), MaxTableColumns);
    EXPECT_EQ(table->Rows[0]->Items(0)->RowSpan, 100);
}

TEST_F(TableTest, DeeplyNestedTablesStopAtTheDepthLimit)
{
    TCell* cell = &root;
    for (int depth = 1; depth <= 15; ++depth) {
        ThtmlTable* table = MakeTable("<table>", {{C("L" + std::to_string(depth))}}, cell);
        cell = table->Rows[0]->Items(0)->Cell.get();
    }
    Layout(600);
    Paint(600);
    const auto at = TextPositions();
    for (int depth = 1; depth <= 15; ++depth)
        EXPECT_EQ(at.count("L" + std::to_string(depth)), depth <= MaxTableDepth ? 1u : 0u) << depth;
    EXPECT_EQ(root.SearchText(0, "L12", true), -1) << "the text of a table left empty is not found either";
}

TEST_F(TableTest, EachCellIsLaidOutOncePerLayoutWhateverTheNestingOrSpan)
{
    // Tables nested as deep as they may: text beside a cell that holds the
    // next table, and in the innermost cell a section that counts. Each table
    // lays a cell out to measure its row, then in place; in place it is only
    // moved there.
    TCell* cell = &root;
    std::vector<ThtmlTable*> tables;
    for (int depth = 1; depth <= MaxTableDepth; ++depth) {
        tables.push_back(MakeTable("<table>", {{C("L" + std::to_string(depth)), C("")}}, cell));
        cell = tables.back()->Rows[0]->Items(1)->Cell.get();
    }
    auto* inner = AddText<TCountingSection>(*cell, "inner");
    Layout(600);
    EXPECT_EQ(inner->Layouts, 1);
    EXPECT_EQ(inner->Ranges, 1) << "and measured once";
    Layout(400);
    EXPECT_EQ(inner->Layouts, 2) << "a second layout lays it out once more";
    EXPECT_EQ(inner->Ranges, 2);

    // Moved to the same place a layout there gives: each table 3 pixels
    // (spacing and padding) inside its cell, the text after the 8 beside it.
    for (std::size_t d = 0; d < tables.size(); ++d) {
        const TCell& holder = *tables[d]->Rows[0]->Items(1)->Cell;
        EXPECT_EQ(tables[d]->YValue, int(3 * d)) << "table " << d + 1;
        EXPECT_EQ(holder.YValue, tables[d]->YValue + 3) << "table " << d + 1;
        EXPECT_EQ(holder.FirstPosition, int(2 * d + 2)) << "table " << d + 1;
    }
    EXPECT_EQ(inner->YValue, 3 * MaxTableDepth);
    EXPECT_EQ(inner->FirstPosition, 2 * MaxTableDepth);
    EXPECT_EQ(root.SearchText(0, "inner", true), 2 * MaxTableDepth);
    Paint(400);
    EXPECT_EQ(TextPositions().at("inner").y, 3 * MaxTableDepth);
    EXPECT_EQ(inner->Draws, 1);

    // A cell spanning every row is laid out once too, as is each row's cell.
    root.Clear();
    Grid rows(50, {C("row")});
    rows[0].insert(rows[0].begin(), {"<td rowspan=50>", ""});
    rows[49] = {C("")};
    ThtmlTable* table = MakeTable("<table>", rows);
    auto* spanning = AddText<TCountingSection>(*table->Rows[0]->Items(0)->Cell, "side");
    auto* last = AddText<TCountingSection>(*table->Rows[49]->Items(0)->Cell, "end");
    Layout(600);
    EXPECT_EQ(spanning->Layouts, 1);
    EXPECT_EQ(last->Layouts, 1);
    EXPECT_EQ(table->Rows[0]->Items(0)->Ht, 50 * 20) << "over all the rows";
    EXPECT_EQ(last->YValue, 49 * 20 + 3);
}

TEST_F(TableTest, LinksInCells)
{
    ThtmlTable* table = MakeTable("<table>", {{C("plain"), C("")}});
    TSection* linked = AddText(*table->Rows[0]->Items(1)->Cell, "");
    TUrlTarget link{"cell.htm", ""};
    linked->HRef(HtmlSymbol::Href, font, link);
    linked->AddText("go");
    Layout(600);
    Paint(600);
    const auto linkAt = [&](int x, int y) {
        TUrlTarget url;
        TFormControlObj* control = nullptr;
        return root.LinkAtPoint(&canvas, x, y, url, control) ? url.URL : CodePageString("none");
    };
    EXPECT_EQ(linkAt(10, 8), "none");
    EXPECT_EQ(linkAt(39 + 5, 8), "cell.htm");
    EXPECT_EQ(linkAt(39 + 5, 30), "none") << "below the table";
}

}  // namespace
