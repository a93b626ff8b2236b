#include <gtest/gtest.h>

#include <vector>

#include "classlib/Classes.h"
#include "htmlview/HtmlParse.h"
#include "htmlview/HtmlUtil.h"
#include "support/FixedCanvas.h"

TEST(IndentManager, EmptyManagerGivesItsEdges)
{
    IndentManager m;
    m.Reset(10, 500);
    EXPECT_EQ(m.LeftEdgeAt(0), 10);
    EXPECT_EQ(m.RightEdgeAt(0), 500);
    EXPECT_EQ(m.FloatsBottom(), 0);
    int cl = -1, cr = -1;
    m.ClearLines(cl, cr);
    EXPECT_EQ(cl, 0);
    EXPECT_EQ(cr, 0);
    EXPECT_EQ(m.NextLeftY(), 1);
}

TEST(IndentManager, FloatsApplyOverTheirBand)
{
    IndentManager m;
    m.Reset(10, 500);
    m.AddFloat(0, 100, jLeft, 50);
    m.AddFloat(20, 60, jLeft, 10);    // beside the first: its edge is past it
    m.AddFloat(5, 80, jRight, 100);
    m.AddFloat(0, 999, jCentre, 999);  // a centred block floats nowhere

    const struct {
        int y, left, right;
    } rows[] = {
        {-1, 10, 500}, {0, 110, 500}, {5, 110, 420}, {20, 170, 420}, {29, 170, 420},
        {30, 110, 420}, {49, 110, 420}, {50, 10, 420}, {104, 10, 420}, {105, 10, 500},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(m.LeftEdgeAt(r.y), r.left) << "y " << r.y;
        EXPECT_EQ(m.RightEdgeAt(r.y), r.right) << "y " << r.y;
    }
    EXPECT_EQ(m.FloatsBottom(), 105);
    int cl = 0, cr = 0;
    m.ClearLines(cl, cr);
    EXPECT_EQ(cl, 51);
    EXPECT_EQ(cr, 106);

    m.Clear();
    EXPECT_EQ(m.LeftEdgeAt(0), 10);
    EXPECT_EQ(m.FloatsBottom(), 0);
}

TEST(IndentManager, ListLevelsOpenAndClose)
{
    IndentManager m;
    m.Reset(0, 400);
    m.SetListLevel(10, 2);
    ASSERT_EQ(m.LeftList.size(), 2u);
    EXPECT_EQ(m.LeftList[0], (IndentRec{35, 10, IndentManager::OpenEndY, 1}));
    EXPECT_EQ(m.LeftList[1], (IndentRec{70, 10, IndentManager::OpenEndY, 2}));
    EXPECT_EQ(m.LeftEdgeAt(10), 70);
    EXPECT_EQ(m.LeftEdgeAt(9), 0);
    EXPECT_EQ(m.FloatsBottom(), 0) << "open list levels are no floats";

    // An image floated inside the inner level ends before the levels do.
    m.LeftList.push_back({m.LeftEdgeAt(20) + 40, 20, 60, 0});
    EXPECT_EQ(m.NextLeftY(), 61);

    m.SetListLevel(100, 1);
    EXPECT_EQ(m.LeftList[1], (IndentRec{70, 10, 99, 0}));
    EXPECT_EQ(m.LeftList[0].EndY, IndentManager::OpenEndY);
    EXPECT_EQ(m.LeftEdgeAt(100), 35);

    m.SetListLevel(200, 0);
    EXPECT_EQ(m.LeftList[0], (IndentRec{35, 10, 199, 0}));
    EXPECT_EQ(m.CurrentLevel, 0);
    EXPECT_EQ(m.LeftEdgeAt(200), 0);
    EXPECT_EQ(m.FloatsBottom(), 199) << "closed levels count as floats";

    // A level opened beside a float indents past it.
    IndentManager f;
    f.Reset(0, 400);
    f.AddFloat(0, 100, jLeft, 50);
    f.SetListLevel(10, 1);
    EXPECT_EQ(f.LeftEdgeAt(10), 135);
}

namespace {

struct Counted {
    explicit Counted(int& alive) : Alive(alive) { ++Alive; }
    ~Counted() { --Alive; }
    int& Alive;
};

}  // namespace

TEST(FreeList, FreesItsItemsWhenClearedAndDestroyed)
{
    int alive = 0;
    {
        TFreeList<Counted> list;
        for (int i = 0; i < 3; ++i)
            list.Add(std::make_unique<Counted>(alive));
        EXPECT_EQ(alive, 3);
        list.Delete(1);
        EXPECT_EQ(alive, 2);
        std::unique_ptr<Counted> kept = list.Extract(0);
        EXPECT_EQ(list.Count(), 1);
        list.Clear();
        EXPECT_EQ(alive, 1);
        EXPECT_THROW(list.Items(0), EListError);
        list.Add(std::make_unique<Counted>(alive));
    }
    EXPECT_EQ(alive, 0);
}

TEST(AttributeList, FindSymbolGivesTheFirst)
{
    TAttributeList list;
    list.Add(HtmlSymbol::UnknownAttr, 0, "u");
    list.Add(HtmlSymbol::Value, 1, "first");
    list.Add(HtmlSymbol::Value, 2, "second");
    TAttribute* found = nullptr;
    ASSERT_TRUE(list.FindSymbol(HtmlSymbol::Value, found));
    EXPECT_EQ(found->Text, "first");
    EXPECT_FALSE(list.FindSymbol(HtmlSymbol::Href, found));
    EXPECT_EQ(found->Text, "first") << "a miss leaves the out value alone";
}

TEST(UrlTarget, AssignKeepsTheAbsentPart)
{
    TUrlTarget t;
    t.Assign(CodePageString("a.htm"), CodePageString("main"));
    t.Assign(CodePageString("b.htm"), std::nullopt);
    EXPECT_EQ(t.URL, "b.htm");
    EXPECT_EQ(t.Target, "main");
    t.Clear();
    EXPECT_EQ(t.URL, "");
    EXPECT_EQ(t.Target, "");
}

TEST(HtmlUtil, UrlToLocalPath)
{
    const struct {
        const char* url;
        const char* path;
    } cases[] = {
        {"file:///C|/dir/a%20b.htm", "C:/dir/a b.htm"},
        {"file:///home/ann/site/logo.gif", "/home/ann/site/logo.gif"},  // the root stays
        {"file:///", "/"},
        {"FILE://Host/Share/X.htm", "Host/Share/X.htm"},  // the case of a file name is kept
        {"%41bc", "%41bc"},                 // a "%" in the first position stops the decoding
        {"a%41%42", "aAB"},
        {"a%2541", "aA"},                   // a decoded "%" starts the next escape
        {"a%zz%41", "a%zz%41"},             // a pair that is not hexadecimal stops it
        {"a%4", "a%4"},
        {"Page.HTM", "Page.HTM"},           // no "/": decoded only
        {"Dir/Page.HTM", "Dir/Page.HTM"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlToLocalPath(c.url), c.path) << c.url;
    EXPECT_EQ(UrlToServerPath("/docs/A.htm", "/srv/root"), "/srv/root/docs/A.htm");
    EXPECT_EQ(UrlToServerPath("docs/a.htm", "/srv/root"), "docs/a.htm");
    EXPECT_EQ(UrlToServerPath("File:///home/ann/a.htm", "/srv/root"), "/home/ann/a.htm") << "not under the root";
}

TEST(HtmlUtil, DrawWrappedBreaksAtWordsAndStopsAtTheBottom)
{
    // 7 pixels a character: ten characters to a line of 70 pixels, 16 pixels high.
    const struct {
        int bottom;
        std::vector<CodePageString> lines;
    } cases[] = {
        {40, {"aaa bbb ", "ccc "}},
        {48, {"aaa bbb ", "ccc ", "dddddddddddddd "}},
        {15, {}},
    };
    for (const auto& c : cases) {
        TFixedCanvas canvas;
        canvas.Brush()->SetStyle(bsSolid);
        DrawWrapped(&canvas, 10, 0, 80, c.bottom, "  aaa bbb ccc dddddddddddddd eee");
        const std::vector<TCanvasOp> ops = canvas.OpsOf(TCanvasOp::TextClipped);
        ASSERT_EQ(ops.size(), c.lines.size()) << c.bottom;
        for (std::size_t i = 0; i < ops.size(); ++i) {
            EXPECT_EQ(ops[i].text, c.lines[i]);
            EXPECT_EQ(ops[i].points[0], Point(10, int(i) * 16));
            EXPECT_EQ(ops[i].rect, Rect(10, 0, 80, c.bottom));
            EXPECT_EQ(ops[i].brushStyle, bsClear) << "no line wipes the one above";
        }
        EXPECT_EQ(canvas.Brush()->Style(), bsSolid);
    }
}

TEST(HtmlUtil, Draw3DFrameColours)
{
    const struct {
        TColor background;
        bool raised;
        TColor topLeft, bottomRight;
    } cases[] = {
        {PaletteRelative(clWhite), true, clSilver, clBtnShadow},
        {clWhite, false, clBtnShadow, clSilver},
        {clWindow, true, clSilver, clBtnShadow},
        {PaletteRelative(clYellow), true, clBtnHighlight, clBtnShadow},
        {clBtnFace, false, clBtnShadow, clBtnHighlight},
    };
    for (const auto& c : cases) {
        TFixedCanvas canvas;
        Draw3DFrame(c.background, &canvas, 1, 2, 30, 40, c.raised);
        const std::vector<TCanvasOp> lines = canvas.OpsOf(TCanvasOp::Line);
        ASSERT_EQ(lines.size(), 4u);
        const std::vector<std::vector<TPoint>> path = {
            {{1, 40}, {1, 2}}, {{1, 2}, {30, 2}}, {{30, 2}, {30, 40}}, {{30, 40}, {1, 40}}};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(lines[i].points, path[i]);
            EXPECT_EQ(lines[i].penColor, i < 2 ? c.topLeft : c.bottomRight) << std::hex << c.background;
        }
    }
}

TEST(HtmlUtil, TextWidthAndWriteLine)
{
    TFixedCanvas canvas;
    EXPECT_EQ(TextWidth(&canvas, "abcdef", 4), 28);
    EXPECT_EQ(TextWidth(&canvas, "abc", 10), 21);
    EXPECT_EQ(TextWidth(&canvas, "abc", -1), 0);

    TMemoryStream stream;
    WriteLine(stream, "abcdef", 3);
    WriteLine(stream, "", 0);
    WriteLine(stream, "xy", 5);
    EXPECT_EQ(stream.DataString(), "abc\r\n\r\nxy\r\n");
}
