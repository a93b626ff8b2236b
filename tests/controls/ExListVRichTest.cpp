// Rich-text cells: the reader of the subset that cells hold, and its layout
// on a canvas of fixed metrics.
#include <gtest/gtest.h>

#include "controls/ExListVRich.h"
#include "support/FixedCanvas.h"

namespace {

struct TRunView {
    CodePageString Text;
    CodePageString Font;
    int Size;
    bool Bold, Italic, Underline;
    TColor Color;
    friend bool operator==(const TRunView&, const TRunView&) = default;
};

std::vector<std::vector<TRunView>> Runs(const CodePageString& rtf)
{
    std::vector<std::vector<TRunView>> out;
    for (const TRichParagraph& p : ParseRichText(rtf).Paragraphs) {
        out.emplace_back();
        for (const TRichRun& r : p.Runs)
            out.back().push_back({r.Text, r.FontName, r.Size, r.Style.Contains(fsBold), r.Style.Contains(fsItalic),
                                  r.Style.Contains(fsUnderline), r.Color});
    }
    return out;
}

TEST(ExListViewRichText, TheReaderKeepsTheFormattingCellsUse)
{
    const CodePageString rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
        "{\\*\\generator Riched20;}\\viewkind4\\uc1\\pard\\f0\\fs20 Plain \\b bold\\b0  "
        "{\\i italic} \\ul under\\ulnone\\par"
        "\\cf1\\f1\\fs32 Red\\tab big\\cf0 \\'e9t\\'e9 \\{x\\}\\par}";
    const auto runs = Runs(rtf);
    ASSERT_EQ(runs.size(), 3u);  // the closing paragraph mark opens an empty one
    const std::vector<TRunView> first = {
        {"Plain ", "Arial", 10, false, false, false, clDefault}, {"bold", "Arial", 10, true, false, false, clDefault},
        {" ", "Arial", 10, false, false, false, clDefault},     {"italic", "Arial", 10, false, true, false, clDefault},
        {" ", "Arial", 10, false, false, false, clDefault},     {"under", "Arial", 10, false, false, true, clDefault},
    };
    EXPECT_EQ(runs[0], first);
    const std::vector<TRunView> second = {
        {"Red\tbig", "Times New Roman", 16, false, false, false, clRed},
        {"\xE9t\xE9 {x}", "Times New Roman", 16, false, false, false, clDefault},
    };
    EXPECT_EQ(runs[1], second);
    EXPECT_EQ(RichPlainText(ParseRichText(rtf)), "Plain bold italic under\r\nRed\tbig\xE9t\xE9 {x}");
}

TEST(ExListViewRichText, OtherGroupsAreSkippedWhole)
{
    const struct {
        const char* rtf;
        const char* plain;
    } cases[] = {
        {"{\\rtf1{\\stylesheet{\\s0 Normal;}}{\\info{\\title secret}}a}", "a"},
        {"{\\rtf1{\\*\\unknown{\\nested text}}b}", "b"},
        {"{\\rtf1{\\pict\\wmetafile8 0102ab}c}", "c"},
        {"{\\rtf1\\bin3 {}}d}", "d"},                        // binary data, even braces
        {"{\\rtf1 e\\plain\\b f}", "ef"},
        {"{\\rtf1 g\\line h}", "g\r\nh"},
        {"{\\rtf1 unclosed {\\b group", "unclosed group"},   // no raise at the end
        {"}}}{\\rtf1 i}", "i"},
        {"{\\rtf1 \\'zz\\'4 j\\", "j"},                      // bad escapes are dropped
        {"{\\rtf1\\fs999999999999 k\\cf-5 l}", "kl"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RichPlainText(ParseRichText(c.rtf)), c.plain) << c.rtf;

    CodePageString deep = "{\\rtf1 ";
    for (int i = 0; i < 10000; ++i)
        deep += "{";
    deep += "lost";
    for (int i = 0; i < 10000; ++i)
        deep += "}";
    deep += " kept}";
    EXPECT_EQ(RichPlainText(ParseRichText(deep)), " kept");
}

TEST(ExListViewRichText, TheRendererWrapsAtTheCellsRightEdge)
{
    TExRichEdit edit;
    edit.SetRichText("{\\rtf1 one two three\\par {\\b four}}");
    TFixedCanvas canvas;
    canvas.Font()->SetColor(clBlack);
    const TExRichEdit::TFormatted f = edit.Format(canvas, Rect(10, 0, 66, 100), clYellow, false);
    std::vector<std::pair<CodePageString, TPoint>> placed;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text))
        placed.push_back({op.text, op.points[0]});
    const std::vector<std::pair<CodePageString, TPoint>> expected = {
        {"one ", {10, 0}}, {"two ", {38, 0}}, {"three", {10, 16}}, {"four", {10, 32}}};
    EXPECT_EQ(placed, expected);
    EXPECT_EQ(f.Height, 48);
    ASSERT_FALSE(canvas.OpsOf(TCanvasOp::Fill).empty());
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Fill)[0].brushColor, clYellow);
    EXPECT_TRUE(canvas.OpsOf(TCanvasOp::Text)[3].fontStyle.Contains(fsBold));
    EXPECT_EQ(canvas.Font()->Color(), clBlack);

    canvas.Clear();
    edit.SetRichText("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\cf1 red}");
    edit.RecolorStart(255, clWhite);
    edit.Format(canvas, Rect(0, 0, 100, 16), clNone, false);
    ASSERT_EQ(canvas.OpsOf(TCanvasOp::Text).size(), 1u);
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Text)[0].fontColor, clWhite);  // a selected cell: recoloured
    EXPECT_TRUE(canvas.OpsOf(TCanvasOp::Fill).empty());
    EXPECT_EQ(edit.Text(), "red");
}

// Only the first characters take the selection's colour, counted over the
// text as Text gives it (a paragraph break is CR LF); the run that holds the
// boundary is split there, and loading the text again brings its colours back.
TEST(ExListViewRichText, RecolouringStopsAfterItsCount)
{
    const CodePageString rtf = "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\cf1 abcd\\par efgh}";
    const auto colours = [&](int count) {
        TExRichEdit edit;
        edit.SetRichText(rtf);
        edit.RecolorStart(count, clWhite);
        std::string out;
        for (const TRichParagraph& p : edit.Document().Paragraphs)
            for (const TRichRun& run : p.Runs)
                out += std::string(run.Text) + (run.Color == clWhite ? "=w " : "=r ");
        return out;
    };
    EXPECT_EQ(colours(0), "abcd=r efgh=r ");
    EXPECT_EQ(colours(2), "ab=w cd=r efgh=r ");
    EXPECT_EQ(colours(4), "abcd=w efgh=r ");
    EXPECT_EQ(colours(7), "abcd=w e=w fgh=r ");
    EXPECT_EQ(colours(255), "abcd=w efgh=w ");
    TExRichEdit edit;
    edit.SetRichText(rtf);
    edit.RecolorStart(255, clWhite);
    edit.SetRichText(rtf);
    EXPECT_EQ(edit.Document().Paragraphs[0].Runs[0].Color, clRed);
}

}  // namespace
