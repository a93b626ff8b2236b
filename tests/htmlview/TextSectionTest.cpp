#include <gtest/gtest.h>

#include <functional>

#include "DocumentFixture.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlTextSection.h"

namespace {

using TextSectionTest = DocumentTest;

const std::string Img(1, ImagePlaceholder);

TEST_F(TextSectionTest, LineBreaking)
{
    server.AddBitmap("float.bmp", 30, 20);
    server.AddBitmap("inline.bmp", 30, 20);
    struct Case {
        const char* name;
        int width;
        std::function<void(TSection&)> build;
        std::vector<std::string> lines;
        std::vector<int> indents;
    };
    const auto text = [](const char* s) { return [s](TSection& sec) { sec.AddText(s); }; };
    const Case cases[] = {
        {"words wrap at the last blank that fits", 70, text("aaa bbb ccc ddd"), {"aaa bbb ", "ccc ddd"}, {0, 0}},
        {"blanks after a fitting word stay on its line", 56, text("aaa bbb ccc"), {"aaa bbb ", "ccc"}, {0, 0}},
        {"a word that ends at the edge takes the blank after it", 49, text("aaa bbb ccc"), {"aaa bbb ", "ccc"},
         {0, 0}},
        {"a blank after the edge makes no line of its own", 49, text("aaaaaaa "), {"aaaaaaa "}, {0}},
        {"the blank after an image at the edge stays on its line", 58,
         [](TSection& sec) {
             sec.AddText("aaaa");
             sec.AddImage(ImageSpecOf(Tag("<img src=inline.bmp>")));
             sec.AddText(" bbbb");
         },
         {"aaaa" + Img + " ", "bbbb"}, {0, 0}},
        {"a word longer than the line overflows whole", 35, text("abcdefghij klm"), {"abcdefghij ", "klm"}, {0, 0}},
        {"a non-breaking space joins words", 35, text("aaa\xA0" "bbb ccc"), {"aaa\xA0" "bbb ", "ccc"}, {0, 0}},
        {"an ordinary blank between the same words breaks", 35, text("aaa bbb ccc"), {"aaa ", "bbb ", "ccc"},
         {0, 0, 0}},
        {"a line may end after an image without a blank", 100,
         [](TSection& sec) {
             sec.AddText("aaaa");
             sec.AddImage(ImageSpecOf(Tag("<img src=inline.bmp>")));
             sec.AddText("bbbbbbbb");
         },
         {"aaaa" + Img, "bbbbbbbb"}, {0, 0}},
        {"text flows right of a left float", 100,
         [](TSection& sec) {
             sec.AddImage(ImageSpecOf(Tag("<img src=float.bmp align=left>")));
             sec.AddText(" aaa bbb ccc ddd eee fff");
         },
         {Img + "aaa bbb ", "ccc ddd ", "eee fff"}, {35, 35, 0}},
        {"text flows left of a right float", 100,
         [](TSection& sec) {
             sec.AddImage(ImageSpecOf(Tag("<img src=float.bmp align=right>")));
             sec.AddText("aaa bbb ccc ddd eee fff");
         },
         {Img + "aaa bbb ", "ccc ddd ", "eee fff"}, {0, 0, 0}},
        {"a float met after text goes below its line", 100,
         [](TSection& sec) {
             sec.AddText("aaa ");
             sec.AddImage(ImageSpecOf(Tag("<img src=float.bmp align=left>")));
             sec.AddText("bbb ccc ddd eee fff ggg hhh");
         },
         {"aaa " + Img + "bbb ccc ", "ddd eee ", "fff ggg ", "hhh"}, {0, 35, 35, 0}},
    };
    for (const Case& c : cases) {
        root.Clear();
        auto section = std::make_unique<TSection>(&root, 0, font, nullptr, jLeft);
        c.build(*section);
        TSection* sec = section.get();
        root.Add(std::move(section));
        Layout(c.width);
        EXPECT_EQ(LineTexts(*sec), c.lines) << c.name;
        std::vector<int> indents;
        for (const LineRec& line : sec->Lines)
            indents.push_back(line.LineIndent);
        EXPECT_EQ(indents, c.indents) << c.name;
    }
}

TEST_F(TextSectionTest, LongParagraphsBreakAndPaintByLines)
{
    std::string words;
    for (int i = 0; i < 400; ++i)
        words += "abcd ";
    TSection* sec = Text(words);
    Layout(70);
    ASSERT_EQ(sec->Lines.size(), 200u);
    for (const std::string& line : LineTexts(*sec))
        ASSERT_EQ(line, "abcd abcd ");

    // Only the lines in the band asked for are painted.
    canvas.Clear();
    root.Draw(&canvas, Rect(0, 160, 1000, 200), 70, 5, 0);
    std::vector<TPoint> at;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text))
        at.push_back(op.points.front());
    EXPECT_EQ(at, (std::vector<TPoint>{{5, 160}, {5, 176}, {5, 192}}));
    EXPECT_EQ(sec->Lines[150].PaintLeft, 5) << "lines passed over still record their place";
}

TEST_F(TextSectionTest, FloatsAreRecordedAndPaintedAtTheirEdge)
{
    server.AddBitmap("float.bmp", 30, 20);
    TSection* left = Text("");
    left->AddImage(ImageSpecOf(Tag("<img src=float.bmp align=left hspace=8>")));
    left->AddText("x");
    TSection* right = Text("");
    right->AddImage(ImageSpecOf(Tag("<img src=float.bmp align=right>")));
    right->AddText("y");
    Layout(200);
    EXPECT_EQ(left->Images[0]->Indent, 0);
    EXPECT_EQ(left->Lines[0].LineIndent, 38) << "the image, then its HSPACE";
    EXPECT_EQ(right->Images[0]->Indent, 170);
    EXPECT_EQ(right->YValue, 16) << "the next section starts below the line, beside the float";
    EXPECT_EQ(right->Lines[0].LineIndent, 38);

    Paint(200);
    const auto pictures = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].rect, Bounds(0, 0, 30, 20));
    EXPECT_EQ(pictures[1].rect, Bounds(170, 16, 30, 20));
    EXPECT_EQ(TextPositions().at("x"), Point(38, 0));
}

TEST_F(TextSectionTest, ClearMovesTextBelowTheFloats)
{
    server.AddBitmap("tall.bmp", 30, 50);
    struct Case {
        const char* br;
        const char* align;
        int textTop;
        int indent;
    } cases[] = {
        {"<br>", "left", 16, 35},
        {"<br clear=all>", "left", 50, 0},
        {"<br clear=left>", "left", 50, 0},
        {"<br clear=right>", "left", 16, 35},
        {"<br>", "right", 16, 0},
        {"<br clear=left>", "right", 16, 0},
        {"<br clear=right>", "right", 50, 0},
        {"<br clear=both>", "right", 50, 0},
    };
    for (const Case& c : cases) {
        root.Clear();
        TSection* first = Text("");
        first->AddImage(ImageSpecOf(Tag(std::string("<img src=tall.bmp align=") + c.align + ">")));
        first->AddText("x");
        TSection* second = Text("yyy");
        second->SetClear(ClearOf(Tag(c.br)));
        const int height = Layout(200);
        EXPECT_EQ(first->PaintHeight, 50) << c.br << " " << c.align << ": the float reaches below its line";
        Paint(200);
        const TPoint at = TextPositions().at("yyy");
        EXPECT_EQ(at.y, c.textTop) << c.br << " " << c.align;
        EXPECT_EQ(at.x, c.indent) << c.br << " " << c.align;
        EXPECT_EQ(height, std::max(50, c.textTop + 16)) << c.br << " " << c.align;
    }
}

TEST_F(TextSectionTest, Justification)
{
    struct Case {
        const char* text;
        TJustify justify;
        int indent;
    } cases[] = {
        {"abc", jLeft, 0},
        {"abc", jCentre, 39},
        {"abc ", jCentre, 39},  // trailing blanks do not count
        {"abc", jRight, 78},
        {"abc ", jRight, 78},
        {"abcdefghijklmnop", jCentre, 0},  // wider than the room: from the left indent
    };
    for (const Case& c : cases) {
        root.Clear();
        TSection* sec = Text(c.text, c.justify);
        Layout(100);
        ASSERT_EQ(sec->Lines.size(), 1u) << c.text;
        EXPECT_EQ(sec->Lines[0].LineIndent, c.indent) << c.text << " " << int(c.justify);
    }
}

TEST_F(TextSectionTest, TextIsCollectedWithSingleBlanksUpToTheCap)
{
    TSection* sec = Text("a ");
    sec->AddText(" b");
    sec->AddText(" ");
    sec->AddText(" c");
    EXPECT_EQ(sec->Buff, "a b c");

    TSection* leading = Text(" x");
    EXPECT_EQ(leading->Buff, "x") << "a section starts without a blank";

    server.AddBitmap("f.bmp", 10, 10);
    TSection* afterFloat = Text("");
    afterFloat->AddImage(ImageSpecOf(Tag("<img src=f.bmp align=left>")));
    afterFloat->AddText(" y");
    EXPECT_EQ(afterFloat->Buff, Img + "y");
    TSection* afterImage = Text("");
    afterImage->AddImage(ImageSpecOf(Tag("<img src=f.bmp>")));
    afterImage->AddText(" y");
    EXPECT_EQ(afterImage->Buff, Img + " y");

    TSection* full = Text(std::string(MaxSectionText, 'a'));
    full->AddText("bcd");  // the test is on the length before adding
    EXPECT_EQ(full->Len, MaxSectionText + 3);
    full->AddText("e");
    EXPECT_EQ(full->Len, MaxSectionText + 3);
    EXPECT_EQ(full->AddImage(ImageSpecOf(Tag("<img src=f.bmp>"))), nullptr) << "no placeholders beyond the cap either";

    auto pre = std::make_unique<TPreFormated>(&root, 0, font, nullptr, jLeft);
    pre->AddText("  two  blanks ");
    EXPECT_EQ(pre->Buff, "  two  blanks ");
    pre->AddText(std::string(MaxSectionText, 'p'));
    pre->AddText("q");
    EXPECT_EQ(pre->Len, 14 + MaxSectionText);

    TSection* empty = Text("");
    empty->AddBlankIfEmpty();
    EXPECT_EQ(empty->Buff, " ");
    Layout(500);
    EXPECT_EQ(empty->BlockHeight, 16) << "an empty line keeps the height of its font";
}

TEST_F(TextSectionTest, ListMarkers)
{
    struct Case {
        char type;
        int number;
        const char* marker;
    } cases[] = {
        {'1', 7, "7."}, {'A', 1, "A."}, {'A', 27, "Z."}, {'a', 3, "c."}, {'I', 4, "IV."},
        {'i', 19, "xix."}, {'i', 25, "xx."}, {'i', 0, "."}, {'x', 12, "12."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TSection::ListMarker(c.type, c.number), c.marker) << c.type << c.number;

    TOListItem* numbered = Add<TOListItem>(1, font, nullptr, 'I', 4);
    numbered->AddText("four");
    TUListItem* bullet = Add<TUListItem>(1, font, nullptr);
    bullet->AddText("dot");
    TDListItem* definition = Add<TDListItem>(1, font, nullptr);
    definition->AddText("term");
    TUListItem* plain = Add<TUListItem>(2, font, nullptr);
    plain->NoBullet = true;
    plain->AddText("plain");
    root.SetBackground(clWhite);
    Layout(400);
    EXPECT_EQ(numbered->Lines[0].LineIndent, 35);
    EXPECT_EQ(plain->Lines[0].LineIndent, 70);
    Paint(400);
    // "IV." is 21 wide and ends 5 pixels left of the text.
    EXPECT_EQ(TextPositions().at("IV."), Point(35 - 5 - 21, 0));
    const auto dots = canvas.OpsOf(TCanvasOp::Ellipse);
    ASSERT_EQ(dots.size(), 1u) << "one bullet: the definition and the plain item have none";
    EXPECT_EQ(dots[0].rect, Rect(25, 16 + 6, 30, 16 + 11));
    EXPECT_EQ(dots[0].brushColor, clNavy) << "level 1 on a white page";
    EXPECT_EQ(dots[0].brushStyle, bsSolid);

    root.SetBackground(clBlack);
    root.FontColor = clYellow;
    Paint(400);
    const auto hollow = canvas.OpsOf(TCanvasOp::Ellipse);
    ASSERT_EQ(hollow.size(), 1u);
    EXPECT_EQ(hollow[0].brushStyle, bsClear) << "on a dark page the bullet is hollow";
    EXPECT_EQ(hollow[0].penColor, PaletteRelative(clYellow));
}

TEST_F(TextSectionTest, RunsSubscriptsAndSelectionPaint)
{
    TSection* sec = Text("ab");
    root.InlineStyle.StyleOverrides << fsBold;
    root.InlineStyle.SubSupState = SubScript;
    sec->ChangeFont(font);
    sec->AddText("cd");
    root.InlineStyle.StyleOverrides = TFontStyles();
    root.InlineStyle.SubSupState = SuperScript;
    sec->ChangeFont(font);
    sec->AddText("ef");
    root.InlineStyle.SubSupState = NoScript;
    sec->ChangeFont(font);
    sec->AddText("gh");
    ASSERT_EQ(sec->Fonts.Count(), 4);
    EXPECT_TRUE(sec->Fonts[1]->TheFont->Style().Contains(fsBold));
    EXPECT_EQ(sec->Fonts[1]->TheFont->NormalSize, 9) << "three quarters of the size in force";
    EXPECT_EQ(sec->Fonts[1]->TheFont->Size(), 9);
    EXPECT_FALSE(sec->Fonts[2]->TheFont->Style().Contains(fsBold));

    root.SelectionBegin = 5;  // from "f" to before "h"
    root.SelectionEnd = 7;
    Layout(400);
    Paint(400);
    const auto at = TextPositions();
    EXPECT_EQ(at.at("ab"), Point(0, 0));
    EXPECT_EQ(at.at("cd"), Point(14, 3)) << "lowered by half the descent and one";
    EXPECT_EQ(at.at("e"), Point(28, -5)) << "raised by a third of the height";
    EXPECT_EQ(at.at("f"), Point(35, -5));
    EXPECT_EQ(at.at("g"), Point(42, 0));
    EXPECT_EQ(at.at("h"), Point(49, 0));
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text)) {
        const bool selected = op.text == "f" || op.text == "g";
        EXPECT_EQ(op.brushStyle, selected ? bsSolid : bsClear) << op.text;
        if (selected) {
            EXPECT_EQ(op.brushColor, PaletteRelative(clBlack)) << "the text colour behind";
            EXPECT_EQ(op.fontColor, PaletteRelative(root.Background)) << "the page colour in front";
        }
    }
}

TEST_F(TextSectionTest, LinksUnderThePointer)
{
    server.AddBitmap("map.bmp", 20, 20);
    TSection* sec = Text("see ");
    TUrlTarget link{"page.htm", "frame"};
    sec->HRef(HtmlSymbol::Href, font, link);
    sec->AddText("here");
    sec->AddImage(ImageSpecOf(Tag("<img src=map.bmp ismap>")));
    sec->HRef(HtmlSymbol::AEnd, font, link);
    sec->AddText(" now");
    Layout(400);
    Paint(400);

    const auto linkAt = [&](int x, int y) {
        TUrlTarget url;
        TFormControlObj* control = nullptr;
        return root.LinkAtPoint(&canvas, x, y, url, control) ? url.URL + "|" + url.Target : CodePageString("none");
    };
    EXPECT_EQ(linkAt(3, 5), "none");
    EXPECT_EQ(linkAt(30, 5), "page.htm|frame");
    EXPECT_EQ(linkAt(55, 5), "page.htm|frame");
    EXPECT_EQ(linkAt(57 + 3, 7 + 1), "page.htm?3,7|frame") << "a click in a linked ISMAP image adds its point";
    EXPECT_EQ(linkAt(90, 10), "none");
    ASSERT_EQ(sec->Images.Count(), 1);
    EXPECT_TRUE(sec->Images[0]->HasBorder) << "an image in a link is framed";
    EXPECT_EQ(sec->Images[0]->ImageWidth, 22);
}

TEST_F(TextSectionTest, SearchSelectAndCopyAcrossSections)
{
    TSection* first = Text("Hello world");
    Add<TParagraphSpace>();
    TSection* second = Text("Second line here");
    auto cell = std::make_unique<TCellObj>(&root, 0, CellSpecOf(Tag("<td>")));
    auto inCell = std::make_unique<TSection>(&root, 0, font, nullptr, jLeft);
    inCell->AddText("Second to last");
    cell->Cell->Add(std::move(inCell));
    ThtmlTable* table = Add<ThtmlTable>(TableSpecOf(Tag("<table>")), jLeft, &root, 0);
    table->Rows.Add(std::make_unique<TCellList>())->Add(std::move(cell));
    Text("The end");
    Layout(600);
    EXPECT_EQ(second->FirstPosition, 11);
    EXPECT_EQ(table->FirstPosition, 27);
    EXPECT_EQ(table->Len, 14);

    EXPECT_EQ(root.SearchText(0, "second", false), 11);
    EXPECT_EQ(root.SearchText(0, "second", true), -1);
    EXPECT_EQ(root.SearchText(12, "SECOND", false), 27) << "found inside the table's cell";
    EXPECT_EQ(root.SearchText(28, "second", false), -1);
    EXPECT_EQ(root.SearchText(0, "end", true), 45);

    root.SelectionBegin = root.SearchText(0, "world", false);
    root.SelectionEnd = root.SearchText(0, "line", false);
    EXPECT_EQ(root.SelectedText(), "world\r\n\r\nSecond ");
    root.SelectionBegin = 0;
    root.SelectionEnd = 100;
    EXPECT_EQ(root.SelectedText(), "Hello world\r\n\r\nSecond line here\r\nSecond to last\r\nThe end\r\n");

    char ch = 0;
    TSectionBase* holder = nullptr;
    ASSERT_TRUE(root.CharAtPosition(29, ch, holder));
    EXPECT_EQ(ch, 'c');
    EXPECT_EQ(holder, table->Rows[0]->Items(0)->Cell->Items(0));

    // Positions and points agree with what was painted.
    Paint(600);
    int x = 0;
    int y = 0;
    ASSERT_TRUE(root.PointAtPosition(&canvas, 14, x, y));
    EXPECT_EQ(x, 21);
    EXPECT_EQ(y, first->BlockHeight + 14);
    int xr = 0;
    int yr = 0;
    int caret = 0;
    TCell* sCell = nullptr;
    bool inText = false;
    EXPECT_EQ(root.PositionAtPoint(&canvas, 23, y + 3, xr, yr, caret, sCell, inText), 14);
    EXPECT_EQ(xr, 21);
    EXPECT_EQ(yr, y);
    EXPECT_EQ(caret, 16);
    EXPECT_EQ(sCell, &root);
    EXPECT_TRUE(inText);
    EXPECT_EQ(root.PositionAtPoint(&canvas, 25, y + 3, xr, yr, caret, sCell, inText), 15) << "past the middle";
    sCell = nullptr;
    const int inTable = root.PositionAtPoint(&canvas, 3 + 7 * 3 + 1, table->YValue + 3 + 2, xr, yr, caret, sCell,
                                             inText);
    EXPECT_EQ(inTable, 30);
    EXPECT_EQ(sCell, table->Rows[0]->Items(0)->Cell.get());
    EXPECT_EQ(yr, table->YValue + 3);
    EXPECT_EQ(xr, 3 + 21);
}

}  // namespace
