// Renders the doorway page of a sample project and a few pages of tables,
// fonts, lists and pictures in the HTML viewer, 800 pixels wide, to PNG files
// for a person to look at: TENVAREL_SCREENSHOT_DIR/html, or
// screenshots/html in the build folder. Each page's HTML is written beside
// its picture, so that scripts/compare-chromium can render the same file in
// a browser at the same width.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "classlib/Forms.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlPane.h"
#include "support/GifWriter.h"
#include "support/Loop.h"
#include "workbench/DoorwayData.h"

namespace fs = std::filesystem;

namespace {

constexpr int PageWidth = 800;

fs::path HtmlDir()
{
    const char* dir = std::getenv("TENVAREL_SCREENSHOT_DIR");
    fs::path path = (dir && *dir ? fs::path(dir) : fs::path(TENVAREL_BUILD_DIR) / "screenshots") / "html";
    fs::create_directories(path);
    return path;
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

const char* const TablesPage = R"(<html><head><title>Tables</title></head><body>
<h2>Tables</h2>
<table border=1 cellpadding=4 width=90%>
<caption>A caption above the grid</caption>
<tr bgcolor=silver><th>Name<th>Kind<th width=30%>Notes
<tr><td>Spade<td align=center>Tool<td>Digs the <b>whole</b> garden, row after row, from spring to autumn.
<tr><td colspan=2 bgcolor=yellow>Two columns wide<td rowspan=2 valign=bottom>Two rows
<tr><td>Rake<td align=right>Tool
</table>
<p>A table that floats on the left, with the text flowing beside it:
<table align=left border cellspacing=0 bgcolor="#CCEEFF"><tr><td>left<td>float</table>
This paragraph runs beside the floating table and then below it when the table ends; it is long
enough to wrap around several times at this width, so that the flow is plain to see.
<br clear=all>
<center><table border=2 cellpadding=2><tr><td><table border bgcolor=#FFDDDD><tr><td>nested<td>inner</table><td>outer</table></center>
</body></html>
)";

const char* const FontsPage = R"(<html><head><title>Fonts</title></head><body>
<h1>Heading one</h1><h2>Heading two</h2><h3>Heading three</h3><h4>Heading four</h4><h5>Heading five</h5>
<h6>Heading six</h6>
<p><font size=1>size 1</font> <font size=2>size 2</font> <font size=3>size 3</font> <font size=4>size 4</font>
<font size=5>size 5</font> <font size=6>size 6</font> <font size=7>size 7</font>
<p><b>bold</b>, <i>italic</i>, <u>underlined</u>, <s>struck</s>, <tt>fixed</tt>, <big>big</big>, <small>small</small>,
H<sub>2</sub>O and x<sup>2</sup>.
<p><font color=red>red</font>, <font color="#008000">green</font>, <font color=navy face="Arial">navy Arial</font>,
<a href="other.htm">a link</a>.
<pre>
preformatted   text
  keeps    its blanks
</pre>
<center>centred text</center><div align=right>text on the right</div>
<hr><hr size=6 width=50% align=left noshade><hr color=red width=200>
</body></html>
)";

const char* const ListsPage = R"(<html><head><title>Lists</title></head><body>
<ul><li>First bullet<li>Second bullet<ul><li>Inner bullet<li>Another<ul><li>Deeper</ul></ul><li>Third</ul>
<ol><li>One<li>Two<li>Three</ol>
<ol type=A start=3><li>Letter C<li>Letter D</ol>
<ol type=i><li>Roman one<li>Roman two<li>Roman three<li>Roman four</ol>
<dl><dt>Term<dd>Its definition, long enough to run onto a second line when the page is narrow enough for it.
<dt>Other term<dd>Another definition.</dl>
<blockquote>A quotation set in from the left margin.</blockquote>
</body></html>
)";

const char* const ImagesPage = R"(<html><head><title>Pictures</title></head><body>
<p><img src="red.gif" width=60 height=40 align=left hspace=8>Text beside a picture floating on the left.
It wraps beside the picture and goes on below it once the picture ends, which takes a few lines at this size.
<br clear=all>
<p><img src="blue.jpg" align=right>A JPEG picture on the right, at its own size.
<br clear=all>
<p>Inline: <img src="red.gif" align=middle> middle, <img src="green.bmp" width=32 height=32> bottom,
<a href="x.htm"><img src="green.bmp"></a> linked with its border, <img src="missing.gif" alt="no picture"> broken.
</body></html>
)";

struct TPage {
    const char* name;
    std::string html;
    bool viewImages;
};

void Render(const fs::path& dir, const TPage& page)
{
    WriteFile(dir / (std::string(page.name) + ".html"), page.html);
    auto* form = new TForm(Application);
    form->SetBounds(0, 0, PageWidth + 40, 1400);
    auto* viewer = new THtmlPane(form);
    viewer->Name = "Viewer";
    viewer->SetParent(form);
    viewer->SetBounds(0, 0, PageWidth, 1300);
    viewer->SetViewImages(page.viewImages);
    viewer->SetDefBackground(clWhite);
    viewer->SetDefFontColor(clBlack);
    viewer->SetBorderStyle(htNone);
    form->Show();
    viewer->LoadHtmlFile((dir / (std::string(page.name) + ".html")).string());
    // As tall as the page, so that the picture shows all of it.
    viewer->SetHeight(std::min(3000, viewer->DocHeight() + 4));
    form->SetHeight(viewer->Height() + 40);
    EXPECT_TRUE(RunPendingEvents());
    const fs::path png = dir / (std::string(page.name) + ".viewer.png");
    EXPECT_TRUE(SaveControlScreenshot(viewer, png.string())) << png;
    delete form;
}

TEST(HtmlPreviewShotsForLooking, PagesBesideTheirHtml)
{
    const fs::path dir = HtmlDir();

    GifSpec red = GifScreen(30, 20, 4);
    red.globalPalette = {0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255};
    red.frames = {GifSolidFrame(0, 0, 30, 20, 1)};
    WriteFile(dir / "red.gif", WriteGif(red));
    TPixels blue{80, 50, std::vector<std::uint32_t>(80 * 50, 0xFF3050C0)};
    WriteFile(dir / "blue.jpg", EncodeJpeg(blue, 90));
    TBitmap green(24, 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            green.SetPixel(x, y, RGB(40, 160, 60));
    WriteFile(dir / "green.bmp", green.SaveToBytes());

    DoorwayProject project{"Garden Tools", "Everything for the garden, from spades to seed trays.",
                           "spades, rakes, hoes, watering cans", "http://www.example.com/", "Tenvarel", false};
    std::string doorway;
    for (const CodePageString& line : DoorwayPageLines(project))
        doorway += line + "\r\n";

    const TPage pages[] = {
        {"doorway", doorway, false},
        {"tables", TablesPage, true},
        {"fonts", FontsPage, true},
        {"lists", ListsPage, true},
        {"images", ImagesPage, true},
    };
    for (const TPage& page : pages)
        Render(dir, page);
}

}  // namespace
