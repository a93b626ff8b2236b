// The markup of list view cells, laid out on a canvas of fixed metrics: every
// character 7 pixels wide and 16 high unless a test says otherwise.
#include <gtest/gtest.h>

#include "classlib/ImgList.h"
#include "controls/ExListVMarkup.h"
#include "support/FixedCanvas.h"
#include "support/TempDir.h"

namespace {

struct TDrawn {
    CodePageString Text;
    int X;
    int Y;
    TColor Color;
    TFontStyles Style;
    CodePageString Font;
    int FontHeight;
};

std::vector<TDrawn> Drawn(const TFixedCanvas& canvas)
{
    std::vector<TDrawn> out;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text))
        out.push_back({op.text, op.points[0].x, op.points[0].y, op.fontColor, op.fontStyle, op.fontName,
                       op.fontHeight});
    return out;
}

struct MarkupFixture : ::testing::Test {
    MarkupFixture() : canvas(1000, 1000)
    {
        canvas.Font()->SetColor(clBlack);
        context.AnchorColor = clBlue;
    }
    TMarkupResult Paint(const CodePageString& text, const TRect& rect)
    {
        canvas.Clear();
        return RenderMarkup(canvas, text, rect, context, mmPaint);
    }
    CodePageString HitAt(const CodePageString& text, const TRect& rect, TPoint point)
    {
        TFixedCanvas quiet;
        const CodePageString anchor = RenderMarkup(quiet, text, rect, context, mmHitTest, point).Anchor;
        EXPECT_TRUE(quiet.Ops().empty()) << "a hit-test draws nothing";
        return anchor;
    }
    TMarkupResult Measure(const CodePageString& text, const TRect& rect)
    {
        TFixedCanvas quiet;
        return RenderMarkup(quiet, text, rect, context, mmMeasure);
    }

    TFixedCanvas canvas;
    TMarkupContext context;
};

TEST_F(MarkupFixture, AnAnchorIsUnderlinedInItsColourAndFoundWhereItIsDrawn)
{
    const CodePageString text = "Visit <a href=\"x\">here</a> now";
    const TRect rect = Rect(0, 0, 300, 16);
    Paint(text, rect);
    const auto words = Drawn(canvas);
    ASSERT_EQ(words.size(), 4u);  // "Visit ", "here", " " (a word of its own after the tag), "now"
    EXPECT_EQ(words[0].Text, "Visit ");
    EXPECT_EQ(words[0].X, 1);
    EXPECT_EQ(words[1].Text, "here");
    EXPECT_EQ(words[1].X, 43);
    EXPECT_EQ(words[1].Color, clBlue);
    EXPECT_TRUE(words[1].Style.Contains(fsUnderline));
    EXPECT_EQ(words[3].Color, clBlack);  // back to the colour the call began with
    EXPECT_FALSE(words[3].Style.Contains(fsUnderline));

    // "here" spans 43 to 71, both ends included; the band is strictly inside the line.
    EXPECT_EQ(HitAt(text, rect, {43, 8}), "x");
    EXPECT_EQ(HitAt(text, rect, {71, 8}), "x");
    EXPECT_EQ(HitAt(text, rect, {42, 8}), "");
    EXPECT_EQ(HitAt(text, rect, {72, 8}), "");
    EXPECT_EQ(HitAt(text, rect, {50, 0}), "");
    EXPECT_EQ(HitAt(text, rect, {50, 16}), "");
    EXPECT_EQ(Measure(text, rect).PlainText, "Visit here now");
}

TEST_F(MarkupFixture, ARankingCellPlacesItsPictureAtTheTopAndItsTextAtTheBottom)
{
    TFixedCanvas small(1000, 1000, 7, 13);  // a font 13 pixels high
    TImageList images(nullptr);
    TBitmap strip(48, 16);
    images.Add(&strip, nullptr);
    context.Images = &images;
    const CodePageString cell = "<IMG src=\"idx:2\"><a href=\"http://rank/?q=1\">You Ranked #3</a> | ";
    const TRect rect = Rect(10, 20, 400, 37);
    RenderMarkup(small, cell, rect, context, mmPaint);

    const auto pictures = small.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].rect, Rect(11, 20, 27, 36));
    EXPECT_EQ(pictures[0].source, Rect(0, 0, 16, 16));
    const auto words = Drawn(small);
    ASSERT_GE(words.size(), 3u);
    EXPECT_EQ(words[0].Text, "You ");
    EXPECT_EQ(words[0].X, 27);
    EXPECT_EQ(words[0].Y + 13, 20 + 16);  // bottoms meet the picture's

    TFixedCanvas quiet(1000, 1000, 7, 13);
    auto hit = [&](int y) { return RenderMarkup(quiet, cell, rect, context, mmHitTest, {40, y}).Anchor; };
    EXPECT_EQ(hit(32), "http://rank/?q=1");
    EXPECT_EQ(hit(33), "");  // drawn there, but only the 13-pixel band from the top finds it
    EXPECT_EQ(hit(20), "");
}

TEST_F(MarkupFixture, LinesBreakAtBrAndFillTheWidthAsWordsAndPicturesAllow)
{
    const TMarkupResult three = Measure("a<BR><BR>b", Rect(0, 0, 100, 100));
    EXPECT_EQ(three.Height, 48);  // the middle line is as high as "gh"
    EXPECT_EQ(three.PlainText, "a\r\rb");

    // 70 pixels are free (the pen starts 1 right of the left edge).
    const TRect narrow = Rect(0, 0, 71, 100);
    Paint("aaaaa bbbb", narrow);  // 42 + 28: a word that fills the line exactly moves on
    auto words = Drawn(canvas);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[1].Y, 16);
    EXPECT_EQ(words[1].X, 1);

    Paint("ab cccccccccccc d", narrow);  // a word wider than the line stays after the words before it
    words = Drawn(canvas);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[1].X, 22);
    EXPECT_EQ(words[1].Y, 0);
    EXPECT_EQ(words[2].Y, 16);

    TImageList wide(nullptr);
    wide.SetWidth(28);
    TBitmap picture(28, 16);
    wide.Add(&picture, nullptr);
    context.Images = &wide;
    Paint("aaaaa <IMG src=\"idx:0\">", narrow);  // a picture that fills the line exactly stays
    ASSERT_EQ(canvas.OpsOf(TCanvasOp::Bitmap).size(), 1u);
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Bitmap)[0].rect.Left, 43);
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Bitmap)[0].rect.Top, 0);

    // Only the lines that fit are laid out when painting; measuring lays out all.
    Paint("a<BR>b<BR>c", Rect(0, 0, 100, 40));
    words = Drawn(canvas);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[1].Text, "b");
    EXPECT_EQ(Measure("a<BR>b<BR>c", Rect(0, 0, 100, 40)).Height, 48);
}

TEST_F(MarkupFixture, HiddenTextEntitiesAndBlinkingText)
{
    TMarkupResult r = Paint("x<Z>hidden</Z>y", Rect(0, 0, 200, 16));
    auto words = Drawn(canvas);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].Text + words[1].Text, "xy");
    EXPECT_EQ(words[1].X, 8);  // hidden text takes no width
    EXPECT_EQ(Measure("x<Z>hidden</Z>y", Rect(0, 0, 200, 16)).PlainText, "xhiddeny");
    EXPECT_EQ(r.VisibleText, "xy");

    EXPECT_EQ(Measure("&amp;lt;", Rect(0, 0, 200, 16)).PlainText, "<");
    EXPECT_EQ(Measure("&LT;b&gt; &Quot;q&quot; &amp;amp; &nbsp;", Rect(0, 0, 200, 16)).PlainText,
              "<b> \"q\" & &nbsp;");

    canvas.Font()->SetColor(clGreen);
    Paint("<BLINK>on</BLINK>", Rect(0, 0, 200, 16));
    words = Drawn(canvas);
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ(words[0].Color, clGreen);
}

TEST_F(MarkupFixture, FontsComeBackToTheFontTheCallBeganWith)
{
    canvas.Font()->SetName("Tahoma");
    canvas.Font()->SetHeight(-11);
    Paint("<FONT face=\"Arial\" size=\"20\"><FONT color=\"#FF0000\">x</FONT>y</FONT>z"
          "<FONT bgcolor=\"#00FF00\" color=\"clMaroon\">m</FONT>",
          Rect(0, 0, 400, 40));
    const auto words = Drawn(canvas);
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[0].Font, "Arial");
    EXPECT_EQ(words[0].Color, clRed);
    for (int i : {1, 2}) {
        EXPECT_EQ(words[size_t(i)].Font, "Tahoma") << i;
        EXPECT_EQ(words[size_t(i)].FontHeight, -11) << i;
        EXPECT_EQ(words[size_t(i)].Color, clBlack) << i;
    }
    EXPECT_EQ(words[3].Color, 128);  // the colour attribute itself, not bgcolor before it

    TColor color = clNone;
    struct {
        const char* value;
        bool read;
        TColor color;
    } values[] = {{"#FF0000", true, clRed},   {"#00ff80", true, RGB(0, 255, 128)}, {"clMaroon", true, 128},
                  {"clnosuch", true, clBlack}, {"#zz0000", false, clNone},         {"#12", false, clNone},
                  {"red", false, clNone},      {"", false, clNone}};
    for (const auto& v : values) {
        color = clNone;
        EXPECT_EQ(ReadMarkupColor(v.value, color), v.read) << v.value;
        EXPECT_EQ(color, v.color) << v.value;
    }
}

TEST_F(MarkupFixture, ParagraphsAlignListsIndentAndRulesRun)
{
    Paint("<P align=\"right\">abc </P>de", Rect(0, 0, 100, 100));
    auto words = Drawn(canvas);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].X, 79);  // 100 - 21: the trailing blank does not count
    EXPECT_EQ(words[1].X, 86);  // the alignment stays for the lines after
    EXPECT_EQ(words[1].Y, 16);

    Paint("<UL><UL><LI>item", Rect(0, 0, 200, 100));
    words = Drawn(canvas);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].X, 13);  // the bullet: 12 right of the pen
    EXPECT_EQ(words[0].Text, "o");  // level 2: the symbol font's ring
    EXPECT_EQ(words[0].Font, "Symbol");
    EXPECT_EQ(words[1].Text, "item");
    EXPECT_EQ(words[1].X, 25);
    EXPECT_EQ(words[1].Font, canvas.Font()->Name());  // the text keeps its own font

    Paint("<UL><LI>one<LI>two", Rect(0, 0, 200, 100));  // a second item starts a line
    words = Drawn(canvas);
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[0].Text, "\xB7");  // level 1: the symbol font's bullet
    EXPECT_EQ(words[0].Font, "Symbol");
    EXPECT_EQ(words[2].Y, 16);

    Paint("ab<H>cd", Rect(0, 0, 200, 100));
    const auto lines = canvas.OpsOf(TCanvasOp::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].points[0], (TPoint{1, 17}));
    EXPECT_EQ(lines[0].points[1], (TPoint{200, 17}));
    EXPECT_EQ(Drawn(canvas)[1].Y, 16);
}

TEST_F(MarkupFixture, PicturesByIndexOnlyWithinTheList)
{
    TImageList images(nullptr);
    TBitmap strip(80, 16);
    images.Add(&strip, nullptr);  // five images
    context.Images = &images;
    for (const char* src : {"idx:7", "idx:5", "idx:-1", "idx:x", "idx:", "nosuch:1"}) {
        Paint(CodePageString("a<IMG src=\"") + src + "\">b", Rect(0, 0, 200, 16));
        EXPECT_TRUE(canvas.OpsOf(TCanvasOp::Bitmap).empty()) << src;
        const auto words = Drawn(canvas);
        ASSERT_EQ(words.size(), 2u);
        EXPECT_EQ(words[1].X, 8) << src;  // no width taken
    }
    Paint("a<IMG src=\"idx:4\">b", Rect(0, 0, 200, 16));
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Bitmap).size(), 1u);
    EXPECT_EQ(Drawn(canvas)[1].X, 24);

    context.Images = nullptr;
    Paint("a<IMG src=\"idx:0\">b", Rect(0, 0, 200, 16));
    EXPECT_TRUE(canvas.OpsOf(TCanvasOp::Bitmap).empty());
}

// R turns the text after it by its angle a in degrees; /R turns it back.
// The turned words keep their places and widths on the line.
TEST_F(MarkupFixture, RotatedTextIsDrawnTurnedByItsAngle)
{
    Paint("a<R a=\"90\">up <R a=\"-45\">down</R> flat <R a=\"450\">x<R>y", Rect(0, 0, 300, 16));
    std::vector<std::pair<std::string, int>> turned;
    std::vector<int> xs;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text)) {
        turned.push_back({op.text, op.fontOrientation});
        xs.push_back(op.points[0].x);
    }
    EXPECT_EQ(turned, (std::vector<std::pair<std::string, int>>{
                          {"a", 0}, {"up ", 900}, {"down", -450}, {" ", 0}, {"flat ", 0}, {"x", 900}, {"y", 900}}));
    EXPECT_EQ(xs, (std::vector<int>{1, 8, 29, 57, 64, 99, 106}));
    EXPECT_EQ(canvas.Font()->Orientation(), 0);  // the canvas's font as the call found it
    EXPECT_EQ(Measure("a<R a=\"90\">up</R>", Rect(0, 0, 300, 16)).Width, 21);
}

TEST_F(MarkupFixture, PicturesOfTheSystemTheProgramAndLocalFiles)
{
    Paint("<IMG src=\"ssys:1\"><IMG src=\"lsys:/no/such/page.htm\">", Rect(0, 0, 200, 40));
    auto pictures = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].rect, Rect(1, 0, 17, 16));
    EXPECT_EQ(pictures[1].rect, Rect(17, 0, 49, 32));

    // The program's pictures go by name; "#" and a number names a numbered one.
    Paint("<IMG src=\"res://Checked\"><IMG src=\"res://#1001\"><IMG src=\"res://1001\"><IMG src=\"res://#9999\">"
          "<IMG src=\"res://name\"><IMG src=\"res://GRAYED\">",
          Rect(0, 0, 200, 40));
    pictures = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0].rect, Rect(1, 0, 20, 14));
    EXPECT_EQ(pictures[1].rect, Rect(20, 0, 36, 16));
    EXPECT_EQ(pictures[2].rect, Rect(36, 0, 55, 14));

    TempDir dir("markup");
    const std::string file = dir.File("dot.bmp");
    TBitmap(6, 4).SaveToFile(file);
    Paint("<IMG src=\"file://" + file + "\"><IMG src=\"file://" + file + "\" width=\"20\" height=\"10\">"
          "<IMG src=\"file://" + file + "\" WIDTH=\"20\" HEIGHT=\"10\"><IMG src=\"file://elsewhere" + file + "\">",
          Rect(0, 0, 200, 40));
    pictures = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(pictures.size(), 3u);  // another host is never asked
    EXPECT_EQ(pictures[0].rect, Rect(1, 0, 7, 4));
    EXPECT_EQ(pictures[1].rect, Rect(7, 0, 27, 10));  // stretched to width and height
    EXPECT_EQ(pictures[2].rect, Rect(27, 0, 33, 4));  // the upper-case names are not these attributes
}

TEST_F(MarkupFixture, MalformedMarkupNeverRaisesOrHangs)
{
    const char* texts[] = {
        "<b",                          "a<",          "</",          "<<<>>>",         "&",           "&amp",
        "<IMG src=idx:2>",             "<IMG src=\"", "<FONT size=\"big\">x</FONT>", "<FONT size=\"99999999\">x",
        "<IND x=\"abc\">y",            "<IND x=\"-5\">y", "<P align=\"\"></P>", "</UL></UL></a></FONT>",
        "<a href=\"x\"><a href=\"y\">", "<#ff0000>t",  "<FONT color=\"#\">x</F>", "\r\n<BR>\r\n",
        "<UL><UL><UL><LI><LI><LI>",    "<P bgcolor=\"#GGGGGG\">x</P>", "<BODY bgcolor=\"#ffffff\" background=\"file://\">",
    };
    for (const char* text : texts)
        for (TMarkupMode mode : {mmPaint, mmHitTest, mmMeasure}) {
            TFixedCanvas quiet;
            TMarkupResult r;
            EXPECT_NO_THROW(r = RenderMarkup(quiet, text, Rect(0, 0, 50, 100), context, mode, {5, 5})) << text;
            EXPECT_GE(r.Height, 16) << text;
            EXPECT_EQ(*quiet.Font(), *TFixedCanvas().Font()) << text;
        }
    EXPECT_EQ(Measure("ab<b cd", Rect(0, 0, 200, 16)).PlainText, "ab");  // a tag without ">" ends the text
    EXPECT_EQ(Measure("<#ff0000>t", Rect(0, 0, 200, 16)).PlainText, "#ff0000t");

    // In a column too narrow for anything every word is wider than the room, so all stay on one line.
    const TMarkupResult r = Measure("one two three", Rect(0, 0, 0, 16));
    EXPECT_EQ(r.Height, 16);
    EXPECT_EQ(r.Width, 91);
}

TEST_F(MarkupFixture, InASelectedRowTheTextAfterAnAnchorTakesTheSelectionColourAgain)
{
    canvas.Font()->SetColor(clHighlightText);
    Paint("<a href=\"x\">link</a> after", Rect(0, 0, 200, 16));
    const auto words = Drawn(canvas);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].Color, clBlue);
    EXPECT_EQ(words[2].Color, clHighlightText);

    context.KeepColors = true;  // headers and hit-tests: anchors keep the current colour
    Paint("<a href=\"x\">link</a><FONT color=\"clRed\">r</FONT>", Rect(0, 0, 200, 16));
    EXPECT_EQ(Drawn(canvas)[0].Color, clHighlightText);
    EXPECT_TRUE(Drawn(canvas)[0].Style.Contains(fsUnderline));
    EXPECT_EQ(Drawn(canvas)[1].Color, clHighlightText);
}

}  // namespace
