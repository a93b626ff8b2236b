#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "DocumentFixture.h"
#include "ModelDump.h"
#include "classlib/Files.h"
#include "htmlview/HtmlBuild.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlTextSection.h"
#include "support/TempDir.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own count of the heap (its allocator replaces the C library's).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

class BuilderTest : public DocumentTest {
protected:
    std::string Build(const std::string& html, const THtmlParseEvents& events = {},
                      std::size_t maxBytes = MaxDocumentBytes)
    {
        root.Clear();
        root.SetDefaultFonts("Times New Roman", "Courier New", 12, clBlack, clBlue, clWhite);
        anchors.Clear();
        ParseHtmlBuffer(root, anchors, html, events, info, maxBytes);
        return modeldump::Dump(root, &anchors, &info);
    }
    TStringList anchors;
    THtmlParseInfo info;
};

// The bytes the program has taken from the heap and not given back.
std::size_t HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

struct GoldenCase {
    const char* name;
    const char* html;
    const char* dump;
};

// Each snippet as the document model it reads into.
const GoldenCase GoldenCases[] = {
    {"paragraph tags in a row give one gap", "<p><p></p><p>text", R"(
text L0 left ""
  @0 Times New Roman 12
paragraph-space
text L0 left "text"
  @0 Times New Roman 12
)"},
    {"text before the first row shows above the table", "<table>before<tr><td>cell</table>", R"(
text L0 left ""
  @0 Times New Roman 12
text L0 left "before"
  @0 Times New Roman 12
table left pad=1 space=2
  row
    cell valign=1
      text L0 left "cell"
        @0 Times New Roman 12
        @4 Times New Roman 12
)"},
    {"a list end tag closes the innermost list", "<ul><li>a<ol><li>b</ul>c</ul>d", R"(
text L0 left ""
  @0 Times New Roman 12
ul-item L1 left "a"
  @0 Times New Roman 12
ol-item type=1 n=1 L2 left "b"
  @0 Times New Roman 12
text L1 left "c"
  @0 Times New Roman 12
text L0 left "d"
  @0 Times New Roman 12
)"},
    {"font sizes are steps from the base size",
     "<font size=+1>a</font><font size=9>b</font>x<basefont size=5>y<font size=+1>z</font>", R"(
text L0 left "abxyz"
  @0 Times New Roman 14
  @1 Times New Roman 36
  @2 Times New Roman 12
  @4 Times New Roman 24
  @5 Times New Roman 12
)"},
    {"BIG at the largest step keeps it and its end tag restores", "<font size=7><big>a</big>b</font>c", R"(
text L0 left "abc"
  @0 Times New Roman 36
  @1 Times New Roman 36
  @2 Times New Roman 12
)"},
    {"headings", "<h2 align=center>Head</h2>after<h9>nine</h9>", R"(
text L0 left ""
  @0 Times New Roman 12
heading-space 2
text L0 centre "Head"
  @0 Times New Roman 18 b
heading-space 2
text L0 left "after"
  @0 Times New Roman 12
heading-space 0
text L0 left "nine"
  @0 Times New Roman 12
heading-space 0
)"},
    {"a text area keeps its markup", "<textarea name=t><b>x</b>\n&lt;two</textarea>after", R"(
text L0 left "{ctl}after"
  @0 Times New Roman 12
  textarea @0 name=t |<b>x</b> |<two
form 0 method=Get controls=1
)"},
    {"preformatted lines keep their blanks, one section a line", "<pre>a  b\n<b>c</b>d<br>e</pre>f", R"(
text L0 left ""
  @0 Times New Roman 12
pre L0 left "a  b"
  @0 Courier New 10 fixed
pre L0 left "cd"
  @0 Courier New 10 b fixed
  @1 Courier New 10 fixed
pre L0 left "e"
  @0 Courier New 10 fixed
text L0 left "f"
  @0 Times New Roman 12
)"},
    {"options: blank ones are dropped", "<select name=s><option>  <option value=2 selected>Two</select>", R"(
text L0 left "{ctl}"
  @0 Times New Roman 12
  combo @0 name=s [Two=2 selected]
form 0 method=Get controls=1
)"},
    {"text before BODY goes, BODY's colours stay", "before<body bgcolor=red text=#00ff00 link=navy>after", R"(
background #FF0000
text #00FF00
link #000080
text L0 left "after"
  @0 Times New Roman 12
)"},
    {"styles are flags, not a stack", "<b><b>x</b>y<i>z</i>", R"(
text L0 left "xyz"
  @0 Times New Roman 12 b
  @1 Times New Roman 12
  @2 Times New Roman 12 i
  @3 Times New Roman 12
)"},
    {"an anchor named before BODY names the body's top", "<a name=top>x</a><body>y<a name=Mid>m</a>", R"(
text L0 left "ym"
  @0 Times New Roman 12
  @2 Times New Roman 12
anchor TOP -> "ym"
anchor MID -> "ym"
)"},
    {"a BR with no section open breaks a line", "<hr><br>x", R"(
text L0 left ""
  @0 Times New Roman 12
hr size=2 centre
text L0 left " "
  @0 Times New Roman 12
text L0 left "x"
  @0 Times New Roman 12
)"},
    {"links and their targets", "<a href=\"a.htm\" target=f>link</a> plain <a href=b.htm>b</a>", R"(
text L0 left "link plain b"
  @0 Times New Roman 12 u #0000FF link=a.htm target=f
  @4 Times New Roman 12
  @11 Times New Roman 12 u #0000FF link=b.htm
  @12 Times New Roman 12
)"},
    {"ordered, bulleted and definition lists", "<ol type=A start=3><li>a<li><p>b</ol><ul plain><li>c</ul><dl><dt>t<dd>d</dl>", R"(
text L0 left ""
  @0 Times New Roman 12
ol-item type=A n=3 L1 left "a"
  @0 Times New Roman 12
ol-item type=A n=4 L1 left "b"
  @0 Times New Roman 12
ul-item plain L1 left "c"
  @0 Times New Roman 12
dl-item L0 left "t"
  @0 Times New Roman 12
dl-item L1 left "d"
  @0 Times New Roman 12
)"},
    {"tables: rows, cells, captions, nesting",
     "<table border width=50% bgcolor=silver><caption align=bottom>cap</caption>"
     "<tr bgcolor=red><th>h<td align=right valign=top colspan=2>d<tr><td><table><td>in</table></table>x", R"(
text L0 left ""
  @0 Times New Roman 12
table left width=500/1000 border pad=1 space=4 bg=#C0C0C0
  caption bottom
    text L0 centre "cap"
      @0 Times New Roman 12
  row bg=#FF0000
    cell valign=1
      text L0 centre "h"
        @0 Times New Roman 12 b
        @1 Times New Roman 12 b
    cell colspan=2 valign=0
      text L0 right "d"
        @0 Times New Roman 12
        @1 Times New Roman 12
  row
    cell valign=1
      table left pad=1 space=2
        row
          cell valign=1
            text L0 left "in"
              @0 Times New Roman 12
              @2 Times New Roman 12
text L0 left "x"
  @0 Times New Roman 12
)"},
    {"CENTER and DIV align their content", "<center>a<div align=right>b</div>c</center>d", R"(
text L0 left ""
  @0 Times New Roman 12
text L0 centre "a"
  @0 Times New Roman 12
text L0 right "b"
  @0 Times New Roman 12
text L0 centre "c"
  @0 Times New Roman 12
text L0 left "d"
  @0 Times New Roman 12
)"},
    {"forms and their controls", "<form action=go method=post><input name=q value=v><input type=hidden name=h value=1>"
                                 "<input type=submit></form><input type=checkbox name=c>", R"(
text L0 left "{ctl}{ctl}{ctl}"
  @0 Times New Roman 12
  edit @0 name=q value=v
  button @1 name=
  checkbox @2 name=c value=On
form 0 method=post action=go controls=3
form 1 method=Get controls=1
)"},
    {"image maps", "<map name=m><area shape=rect coords=0,0,10,10 href=x><area shape=poly coords=1,2></map>z", R"(
text L0 left "z"
  @0 Times New Roman 12
map M areas=1
)"},
    {"a script without a handler is dropped", "<script>if (a<b) document.write(\"</p>\")</script>after", R"(
text L0 left "after"
  @0 Times New Roman 12
)"},
    {"title, base, comments and declarations",
     "<!DOCTYPE html><html><head><title>My  page</title><base href=http://x/ target=t></head><!-- c -->z", R"(
title "My page"
base http://x/
base-target t
text L0 left "z"
  @0 Times New Roman 12
)"},
    {"fixed fonts, sub- and superscripts, addresses", "<tt>t</tt><sub>s</sub><sup>p</sup>n<address>a</address>", R"(
text L0 left "tspn"
  @0 Courier New 10 fixed
  @1 Times New Roman 9 sub
  @2 Times New Roman 9 sup
  @3 Times New Roman 12
text L0 left "a"
  @0 Times New Roman 12 i
)"},
    {"a quoted value holds a \"<!--\" it does not close as text", "<img alt=\"<!--\" src=x.gif>after", R"(
text L0 left "{img}after"
  @0 Times New Roman 12
  img @0 src=x.gif alt=<!-- align=2
)"},
    {"a comment inside a quoted value is removed", "<img alt=\"a<!-- b -->c\" src=x.gif>after", R"(
text L0 left "{img}after"
  @0 Times New Roman 12
  img @0 src=x.gif alt=ac align=2
)"},
    {"a list left open in a cell ends with its cell", "<table><tr><td><ul><li>a<li>b<td>next</table>", R"(
text L0 left ""
  @0 Times New Roman 12
table left pad=1 space=2
  row
    cell valign=1
      ul-item L1 left "a"
        @0 Times New Roman 12
      ul-item L1 left "b"
        @0 Times New Roman 12
    cell valign=1
      text L0 left "next"
        @0 Times New Roman 12
        @4 Times New Roman 12
)"},
    {"a block inside a list keeps the items after it", "<ul><li>a<center>b</center><li>c<div align=right>d<li>e</div></ul>", R"(
text L0 left ""
  @0 Times New Roman 12
ul-item L1 left "a"
  @0 Times New Roman 12
text L1 centre "b"
  @0 Times New Roman 12
text L1 left ""
  @0 Times New Roman 12
ul-item L1 left "c"
  @0 Times New Roman 12
text L1 right "d"
  @0 Times New Roman 12
text L1 left ""
  @0 Times New Roman 12
ul-item L1 left "e"
  @0 Times New Roman 12
)"},
    {"a form around the rows holds their controls",
     "<table><form action=go method=post><tr><td><input name=q></td></tr></form></table><input name=r>", R"(
text L0 left ""
  @0 Times New Roman 12
table left pad=1 space=2
  row
    cell valign=1
      text L0 left "{ctl}"
        @0 Times New Roman 12
        edit @0 name=q
text L0 left "{ctl}"
  @0 Times New Roman 12
  edit @0 name=r
form 0 method=post action=go controls=1
form 1 method=Get controls=1
)"},
    {"style tags between cells style the cells after them",
     "<table><tr><font color=red><b><td>x</td></b></font><td>y<tr><i><td>z</table>w", R"(
text L0 left ""
  @0 Times New Roman 12
table left pad=1 space=2
  row
    cell valign=1
      text L0 left "x"
        @0 Times New Roman 12 b #FF0000
    cell valign=1
      text L0 left "y"
        @0 Times New Roman 12
        @1 Times New Roman 12
  row
    cell valign=1
      text L0 left "z"
        @0 Times New Roman 12 i
        @1 Times New Roman 12 i
text L0 left "w"
  @0 Times New Roman 12
)"},
    {"no empty line after <pre> or before </pre>", "<pre>\r\none\r\ntwo\r\n</pre><pre>a<br></pre>", R"(
text L0 left ""
  @0 Times New Roman 12
pre L0 left "one"
  @0 Courier New 10 fixed
pre L0 left "two"
  @0 Courier New 10 fixed
pre L0 left "a"
  @0 Courier New 10 fixed
)"},
    {"a BODY end before the body ends nothing", "<title></BODY></title><body>x</body>y", R"(
text L0 left "x"
  @0 Times New Roman 12
)"},
    {"images", "<img src=a.gif alt=A width=10 height=20 align=left>t<a href=l><img src=b.gif></a>", R"(
text L0 left "{img}t{img}"
  @0 Times New Roman 12
  @2 Times New Roman 12 u #0000FF link=l
  @3 Times New Roman 12
  img @0 src=a.gif alt=A w=10 h=20 align=3
  img @2 src=b.gif align=2
)"},
};

TEST_F(BuilderTest, GoldenDumps)
{
    const bool print = std::getenv("TENVAREL_PRINT_DUMPS") != nullptr;
    for (const GoldenCase& c : GoldenCases) {
        const std::string dump = Build(c.html);
        if (print)
            std::printf("=== %s\n%s", c.name, dump.c_str());
        EXPECT_EQ("\n" + dump, c.dump) << c.name << "\n" << c.html;
    }
}

TEST_F(BuilderTest, EventsSeeTheDocumentAsItIsRead)
{
    TObject viewer;
    TStandaloneHost host;
    host.Sender = &viewer;
    TSectionList document(host);
    std::vector<std::string> calls;
    THtmlParseEvents events;
    events.Meta = [&](TObject* sender, const CodePageString& httpEq, const CodePageString& name, const CodePageString& content) {
        EXPECT_EQ(sender, &viewer);
        calls.push_back("meta " + httpEq + "|" + name + "|" + content);
    };
    events.Sound = [&](TObject* sender, const CodePageString& source, int loop, bool terminate) {
        EXPECT_EQ(sender, &viewer);
        calls.push_back("sound " + source + " " + std::to_string(loop) + (terminate ? " stop" : ""));
    };
    const std::string included = "<b>in</b>";
    events.Include = [&](TObject*, const CodePageString& command, TStrings* params, const char*& buffer, int& size) {
        calls.push_back("include " + command + " " + params->Text());
        buffer = included.data();
        size = int(included.size());
    };
    host.OnScript = [&](TObject* sender, const CodePageString& language, CodePageString script) {
        EXPECT_EQ(sender, &viewer);
        calls.push_back("script " + language + ": " + script);
    };
    ParseHtmlBuffer(document, anchors,
                    "<meta http-equiv=refresh content=\"5; url=a.htm\"><meta name=keywords>"
                    "<bgsound src=a.wav><bgsound src=b.wav loop=3><bgsound>"
                    "<!--#insert file=\"x\"-->!"
                    "<script language=JavaScript>a<b;\nif (x) {}</script>after",
                    events, info);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "meta refresh||5; url=a.htm",
                         "meta |keywords|",
                         "sound a.wav 1",
                         "sound b.wav 3",
                         "include insert FILE=\"x\"\r\n",
                         "script JavaScript: a<b;\r\nif (x) {}",
                     }));
    EXPECT_EQ(modeldump::Dump(document), R"(text L0 left "in!after"
  @0 Times New Roman 12 b
  @2 Times New Roman 12
)");

    // A script handler that raises stops the document there.
    document.Clear();
    host.OnScript = [](TObject*, const CodePageString&, CodePageString) { throw Exception("script failed"); };
    EXPECT_THROW(ParseHtmlBuffer(document, anchors, "before<script>x</script>after", {}, info), Exception);
    EXPECT_EQ(modeldump::Dump(document), R"(text L0 left "before"
  @0 Times New Roman 12
)");
}

// An open comment at the end stops reading; what was read stays, tables and
// cells included, and every anchor still names a section of the document.
TEST_F(BuilderTest, AnOpenCommentKeepsWhatWasRead)
{
    root.Clear();
    EXPECT_THROW(ParseHtmlBuffer(root, anchors,
                                 "<title>T</title>top<table><tr><td><a name=cell>a</a><ul><li><pre>p\n<!-- open",
                                 {}, info),
                 EParseError);
    EXPECT_EQ(info.TitleText, "T");
    EXPECT_EQ(modeldump::Dump(root, &anchors), R"(text L0 left "top"
  @0 Times New Roman 12
  @3 Times New Roman 12
table left pad=1 space=2
  row
    cell valign=1
      text L0 left "a"
        @0 Times New Roman 12
        @1 Times New Roman 12
      ul-item L1 left ""
        @0 Times New Roman 12
      pre L1 left "p"
        @0 Courier New 10 fixed
anchor CELL -> "a"
)");
    EXPECT_EQ(OpenForm(), nullptr);
}

// Nesting far beyond any real page is read in bounded depth, and the
// document still lays out.
TEST_F(BuilderTest, DeepNestingIsBounded)
{
    for (const char* open : {"<table><tr><td>", "<ul><li>", "<center>", "<div>", "<blockquote>", "<dl><dd><ol><li>"}) {
        std::string html;
        for (int i = 0; i < 5000; ++i)
            html += open;
        html += "deep";
        Build(html);
        Layout(600);
        EXPECT_GE(root.SearchText(0, "deep", true), 0) << open;
        Paint(600);
    }
    std::string wide = "<table><tr>";
    for (int i = 0; i < 2000; ++i)
        wide += "<td>" + std::to_string(i);
    Build(wide);
    Layout(600);
    ASSERT_EQ(root.Count(), 2);
    EXPECT_EQ(static_cast<ThtmlTable*>(root[1])->NumCols, MaxTableColumns);
}

// Tables nested deeper than the layout takes show their text, a line for
// each row and cell, as if their tags were not there.
TEST_F(BuilderTest, TablesNestedTooDeepShowTheirText)
{
    std::string html;
    for (int depth = 1; depth <= MaxTableDepth + 2; ++depth)
        html += "<table><tr><td>L" + std::to_string(depth) + " ";
    html += "<b>a</b><td>b<tr><td><font color=red><i>c";
    for (int depth = 1; depth <= MaxTableDepth + 2; ++depth)
        html += "</table>";
    html += "after";
    Build(html);
    Layout(600);
    Paint(600);
    const auto at = TextPositions();
    for (int depth = 1; depth <= MaxTableDepth + 2; ++depth)
        EXPECT_EQ(at.count("L" + std::to_string(depth) + " "), 1u) << depth;
    EXPECT_EQ(at.count("a"), 1u);
    EXPECT_EQ(at.count("b"), 1u);
    EXPECT_EQ(at.count("c"), 1u);
    EXPECT_EQ(at.at("a").y, at.at("L10 ").y) << "the cell's text runs on";
    EXPECT_GT(at.at("b").y, at.at("a").y) << "each cell on a line of its own";
    EXPECT_GT(at.at("c").y, at.at("b").y);
    ASSERT_EQ(root.Count(), 3);
    const auto* after = dynamic_cast<const TSection*>(root[2]);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->Buff.substr(0, 5), "after");
    EXPECT_EQ(after->Fonts[0]->TheFont->Color() & 0xFFFFFF, clBlack) << "the fonts opened inside are closed";
    EXPECT_FALSE(after->Fonts[0]->TheFont->Style().Contains(fsItalic));
}

TEST_F(BuilderTest, StringsFilesAndPlainText)
{
    TStringList lines;
    lines.Add("<b>one</b>");
    lines.Add("two   three");
    root.Clear();
    ParseHtmlStrings(root, anchors, lines, {}, info);
    const std::string fromStrings = modeldump::Dump(root);
    EXPECT_EQ(fromStrings, R"(text L0 left "one two three "
  @0 Times New Roman 12 b
  @3 Times New Roman 12
)");

    TempDir dir;
    const std::string file = dir.Write("page.htm", "<b>one</b>\r\ntwo   three\r\n");
    root.Clear();
    ParseHtmlFile(root, anchors, file, {}, info);
    EXPECT_EQ(modeldump::Dump(root), fromStrings);
    EXPECT_THROW(ParseHtmlFile(root, anchors, dir.File("missing.htm"), {}, info), EInOutError);

    lines.Clear();
    lines.Add("  <b>kept</b> &amp;");
    lines.Add("<!-- gone -->");
    root.Clear();
    ParseTextStrings(root, anchors, lines);
    EXPECT_EQ(modeldump::Dump(root), R"(text L0 left ""
  @0 Times New Roman 12
pre L0 left "  <b>kept</b> &amp;"
  @0 Courier New 10 fixed
pre L0 left " "
  @0 Courier New 10 fixed
pre L0 left " "
  @0 Courier New 10 fixed
)");
}

TEST_F(BuilderTest, ATableCellTakesLittleMemory)
{
    std::string html = "<table border=1>";
    for (int r = 0; r < 500; ++r) {
        html += "<tr>";
        for (int c = 0; c < 10; ++c)
            html += "<td>cell</td>";
    }
    html += "</table>";
    Build("<p>fonts and the like, made once");
    const std::size_t before = HeapInUse();
    Build(html);
    Layout(800);
    const std::size_t perCell = (HeapInUse() - before) / 5000;
    EXPECT_LT(perCell, 800u) << "a cell with its word, laid out";
}

// The section the text starts in, or none.
const TSection* LastText(const TCell& cell)
{
    return cell.Count() ? dynamic_cast<const TSection*>(cell[cell.Count() - 1]) : nullptr;
}

// A document cut at its limit ends with the notice, below a paragraph gap,
// in the document's own font, outside every link, style, list and block.
void ExpectNoticeAtEnd(const TSectionList& root)
{
    ASSERT_GE(root.Count(), 2);
    const TSection* notice = LastText(root);
    ASSERT_TRUE(notice) << "the notice is a text section of the document itself";
    EXPECT_EQ(typeid(*notice), typeid(TSection)) << "ordinary text, no list item or preformatted line";
    EXPECT_EQ(notice->Buff, CutDocumentNotice);
    EXPECT_EQ(notice->ListLevel, 0);
    EXPECT_EQ(notice->Justify, jLeft);
    ASSERT_EQ(notice->Fonts.Count(), 1);
    EXPECT_EQ(modeldump::Run(root, *notice->Fonts[0]), "@0 Times New Roman 12");
    EXPECT_TRUE(dynamic_cast<const TParagraphSpace*>(root[root.Count() - 2]));
}

// The top of what an operation painted.
int OpTop(const TCanvasOp& op)
{
    if (op.points.empty())
        return op.rect.Top;
    int top = op.points.front().y;
    for (const TPoint& p : op.points)
        top = std::min(top, p.y);
    return top;
}

// Past its limit a page is read no further: what came before stays as it
// was, the document ends with one line that says so and holds nothing that
// came after the cut, not even what the events would have seen. At exactly
// the size it holds, the same page is whole.
TEST_F(BuilderTest, APagePastItsLimitEndsWithALineThatSaysSo)
{
    std::string html = "<center><b><i><a href=x.htm><font color=red size=5>";
    for (int i = 0; i < 25; ++i)
        html += "<p>paragraph " + std::to_string(i);
    html += "<meta name=last>";
    int metas = 0;
    THtmlParseEvents events;
    events.Meta = [&](TObject*, const CodePageString&, const CodePageString&, const CodePageString&) { ++metas; };

    const std::string whole = Build(html, events);
    EXPECT_FALSE(info.Cut);
    EXPECT_EQ(metas, 1);
    const std::size_t bytes = info.Bytes;
    EXPECT_GT(bytes, 25 * 400u) << "each paragraph counts";
    std::vector<std::string> wholeTexts;
    for (const auto& section : root)
        if (const auto* text = dynamic_cast<const TSection*>(section.get()))
            wholeTexts.push_back(text->Buff);

    EXPECT_EQ(Build(html, events, bytes), whole) << "a page as large as its limit is whole";
    EXPECT_FALSE(info.Cut);
    EXPECT_EQ(metas, 2);

    // Just past the limit the last paragraph, which reaches past it, is the
    // last thing built.
    for (const std::size_t limit : {bytes - 1, bytes / 2, std::size_t(0)}) {
        SCOPED_TRACE(limit);
        metas = 0;
        Build(html, events, limit);
        EXPECT_TRUE(info.Cut);
        ExpectNoticeAtEnd(root);
        // The paragraphs before the cut, in order, as they were; the last of
        // them may have been cut short.
        std::vector<std::string> texts;
        for (int i = 0; i + 2 < root.Count(); ++i)
            if (const auto* text = dynamic_cast<const TSection*>(root[i]))
                texts.push_back(text->Buff);
        ASSERT_LE(texts.size(), wholeTexts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i + 1 < texts.size())
                EXPECT_EQ(texts[i], wholeTexts[i]) << i;
            else
                EXPECT_EQ(wholeTexts[i].compare(0, texts[i].size(), texts[i]), 0) << i;
        }
        if (limit < bytes - 1) {
            EXPECT_EQ(metas, 0) << "the rest of the page is not read";
            EXPECT_LT(root.SearchText(0, "paragraph 24", true), 0);
        }
        if (limit == bytes / 2) {
            EXPECT_GE(root.SearchText(0, "paragraph 5", true), 0);
            EXPECT_LT(root.SearchText(0, "paragraph 20", true), 0);
        }

        Layout(600);
        Paint(600);
        const auto at = TextPositions();
        ASSERT_EQ(at.count(CutDocumentNotice), 1u);
        for (const TCanvasOp& op : canvas.Ops())
            EXPECT_LE(OpTop(op), at.at(CutDocumentNotice).y) << "nothing is painted below the notice";
        EXPECT_EQ(at.at(CutDocumentNotice).x, 0) << "at the left, though the page was centred";
    }
}

struct CutCase {
    const char* name;
    std::string html;
    std::size_t limit;
};

std::string Repeat(const std::string& unit, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += unit;
    return out;
}

// A page cut inside a structure still open closes it as the end of the page
// would: the document lays out and paints, with the notice below it all.
TEST_F(BuilderTest, APageCutInsideOpenStructuresLaysOutAndPaints)
{
    const CutCase cases[] = {
        {"a list in a cell of a table in a form",
         "<form action=a.cgi><table border=1><tr><td>cell<ul>" + Repeat("<li>item <input name=q>", 200), 60000},
        {"rows of a table in a table",
         "<table border=1><tr><td><table border=1><tr><td>in" + Repeat("<tr><td>a<td>b<th>c", 500), 20000},
        {"a caption", "<table width=500><tr><td>cell<caption>" + Repeat("<b>bold</b> and ", 2000), 20000},
        {"options of a list", "<form><select name=s>" + Repeat("<option value=v>choice", 2000), 60000},
        {"lines of a text area", "<textarea name=t>" + Repeat("a line\n", 5000), 60000},
        {"one endless line of a text area", "<textarea name=t>" + Repeat("x<y", 50000), 60000},
        {"preformatted lines in a list", "<ol><li><pre>" + Repeat("a line <b>bold</b>\n", 2000), 10000},
        {"a definition list in a centred block", "<center><dl>" + Repeat("<dt>term<dd>definition", 500), 10000},
        {"areas of a map", "<map name=m>" + Repeat("<area href=a.htm coords=\"0, 0, 5, 5\">", 2000), 20000},
        {"a title", "<title>" + Repeat("word ", 20000), 20000},
        {"a table nested past the depth limit",
         Repeat("<table><tr><td>", MaxTableDepth + 2) + Repeat("<tr><td>deep", 500), 20000},
        {"anchors and images", Repeat("<a name=n><img src=a.gif width=5 height=5> text</a>", 2000), 20000},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        Build(c.html, {}, c.limit);
        EXPECT_TRUE(info.Cut);
        EXPECT_LE(info.Bytes, c.limit + 50000) << "nothing much past the limit";
        EXPECT_EQ(OpenForm(), nullptr) << "no form stays open for the next document";
        ExpectNoticeAtEnd(root);
        Layout(600);
        Paint(600);
        const auto at = TextPositions();
        ASSERT_EQ(at.count(CutDocumentNotice), 1u) << modeldump::Dump(root);
        for (const TCanvasOp& op : canvas.Ops())
            EXPECT_LE(OpTop(op), at.at(CutDocumentNotice).y) << "nothing is painted below the notice";
    }

    // Plain text is cut the same way.
    TStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines.Add("line " + std::to_string(i));
    root.Clear();
    ParseTextStrings(root, anchors, lines, 10000);
    ExpectNoticeAtEnd(root);
    EXPECT_LT(root.SearchText(0, "line 100", true), 0);
    Layout(600);
    Paint(600);
    EXPECT_EQ(TextPositions().count(CutDocumentNotice), 1u);
}

// What the limit counts follows what the document really takes from the
// heap, laid out: a page of any kind of content past the limit holds about
// the limit, never much more.
TEST_F(BuilderTest, ACutDocumentTakesAboutItsLimitFromTheHeap)
{
    constexpr std::size_t limit = 2 << 20;
    const CutCase cases[] = {
        {"cells", "<table border=1>" + Repeat("<tr><td>cell<td>cell<td>cell<td>cell<td>cell", 5000), 0},
        {"paragraphs", Repeat("<p>text <b>bold</b> <a href=x.htm>link</a> text", 10000), 0},
        {"breaks", Repeat("x<br>", 20000), 0},
        {"rules and headings", Repeat("<hr><h2>head</h2>", 20000), 0},
        {"images", Repeat("<img src=a.gif><br>", 20000), 0},
        {"list items", "<ul>" + Repeat("<li>item", 20000), 0},
        {"tables", Repeat("<table><tr><td>x</table>", 5000), 0},
        {"edits", Repeat("<input name=q>", 2000), 0},
        {"check boxes and buttons", Repeat("<input type=checkbox name=c><input type=submit>", 2000), 0},
        {"lists", Repeat("<select name=s><option>a<option>b</select>", 500), 0},
        {"text areas", Repeat("<textarea name=t>a</textarea>", 500), 0},
        {"options", "<select name=s size=5>" + Repeat("<option value=a>choice", 20000), 0},
        {"lines of a text area", "<textarea name=t>" + Repeat("a line of text\n", 100000), 0},
        {"hidden fields", Repeat("<input type=hidden name=h value=v>", 20000), 0},
        {"anchors", Repeat("<a name=anchor>x</a>", 40000), 0},
        {"map areas", "<map name=m>" + Repeat("<area href=a.htm coords=0,0,5,5>", 20000), 0},
        {"preformatted lines", "<pre>" + Repeat("line\n", 20000), 0},
    };
    Build("<p>fonts, <b>windows</b> and the like, made once<input name=q><select><option>x</select>");
    Layout(800);
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        root.Clear();
        anchors.Clear();
        const auto before = static_cast<long long>(HeapInUse());
        Build(c.html, {}, limit);
        Layout(800);
        const long long held = static_cast<long long>(HeapInUse()) - before;
        EXPECT_TRUE(info.Cut);
        EXPECT_LT(held, static_cast<long long>(limit + limit / 5)) << "counted " << info.Bytes;
        if (std::getenv("TENVAREL_PRINT_HEAP"))
            std::printf("%-24s held %lld counted %zu\n", c.name, held, info.Bytes);
    }
}

}  // namespace
