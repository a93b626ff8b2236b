#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Accessibility.h"
#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlPane.h"
#include "htmlview/HtmlTextSection.h"
#include "platform/Hooks.h"
#include "support/FixedCanvas.h"
#include "support/Loop.h"
#include "support/TempDir.h"

namespace {

// A viewer of 300 x 200 pixels on a form, laid out on the fixed-metrics
// canvas: every character 7 pixels wide, every line 16 high.
class HtmlPaneTest : public ::testing::Test {
protected:
    HtmlPaneTest()
    {
        form = new TForm(Application);
        form->SetBounds(0, 0, 400, 300);
        viewer = new THtmlPane(form);
        viewer->Name = "Viewer";
        viewer->SetParent(form);
        viewer->SetLayoutCanvas(&canvas);
        viewer->SetBounds(0, 0, 300, 200);
    }
    ~HtmlPaneTest() override
    {
        delete form;
        ResetHooks();
    }
    void Load(const std::string& html)
    {
        TStringList lines;
        lines.SetText(html);
        viewer->LoadStrings(lines);
    }
    // Paints the document on the fixed canvas, as the panel would.
    void Paint()
    {
        canvas.Clear();
        viewer->PaintDocument(&canvas);
    }
    // Where a text was drawn, in panel coordinates.
    TPoint DrawnAt(const std::string& text)
    {
        for (const TCanvasOp& op : canvas.Ops())
            if ((op.kind == TCanvasOp::Text || op.kind == TCanvasOp::TextClipped) && TrimRight(op.text) == text)
                return op.points.front();
        ADD_FAILURE() << "not drawn: " << text;
        return {};
    }
    void Click(int x, int y)
    {
        viewer->HtmlMouseDown(mbLeft, {}, x, y);
        viewer->HtmlMouseUp(mbLeft, {}, x, y);
    }

    TFixedCanvas canvas{1000, 1000};
    TForm* form = nullptr;
    THtmlPane* viewer = nullptr;
};

TEST_F(HtmlPaneTest, ScrollBarsFollowTheDocument)
{
    Load("short");
    EXPECT_FALSE(viewer->VScrollBar()->Visible()) << "a document shorter than the window";
    EXPECT_FALSE(viewer->HScrollBar()->Visible());
    EXPECT_EQ(viewer->PaintPanel()->BoundsRect(), Rect(1, 1, 299, 199));
    Paint();
    EXPECT_EQ(DrawnAt("short"), Point(10, 5)) << "inside the margins";

    Load("<pre>" + std::string(100, 'x') + "</pre>");
    EXPECT_TRUE(viewer->HScrollBar()->Visible()) << "one line wider than the window";
    EXPECT_EQ(viewer->HScrollBar()->Max(), 700 + 2 * 10);
    EXPECT_EQ(viewer->PaintPanel()->Height(), 198 - viewer->ScrollBarWidth());
    WORD key = VK_RIGHT;
    viewer->HandleKeyDown(key, {});
    Paint();
    EXPECT_EQ(DrawnAt(std::string(100, 'x')).x, 10 - 15) << "scrolled by the small change";

    std::string tall;
    for (int i = 0; i < 50; ++i)
        tall += "line " + std::to_string(i) + "<br>";
    Load(tall);
    EXPECT_TRUE(viewer->VScrollBar()->Visible());
    EXPECT_EQ(viewer->DocHeight(), 50 * 16 + 2 * 5);
    viewer->SetPosition(1000000);
    EXPECT_EQ(viewer->Position(), viewer->DocHeight() - viewer->PaintPanel()->Height());
    Paint();
    EXPECT_EQ(DrawnAt("line 49").y, viewer->PaintPanel()->Height() - 5 - 16) << "the bottom margin below it";
    key = VK_HOME;
    viewer->HandleKeyDown(key, {});
    EXPECT_EQ(viewer->Position(), 0);
    key = VK_NEXT;
    viewer->HandleKeyDown(key, {});
    EXPECT_EQ(viewer->Position(), viewer->VScrollBar()->LargeChange());

    viewer->SetBorderStyle(htNone);
    EXPECT_EQ(viewer->PaintPanel()->Left(), 0);
    EXPECT_EQ(viewer->PaintPanel()->Top(), 0);
    EXPECT_EQ(viewer->PaintPanel()->Height(), 200);
}

TEST_F(HtmlPaneTest, LinksAnchorsAndHistory)
{
    TempDir dir;
    std::string filler;
    for (int i = 0; i < 40; ++i)
        filler += "filler<br>";
    const std::string a = dir.Write("a.htm", "<title>A</title><a name=top>Top</a><br>" + filler + "<a name=end>end</a>");
    dir.Write("b.htm", "<title>B</title>" + filler + "<a name=mid>middle</a>" + filler);
    dir.Write("c.htm", "<title>C</title>c");
    dir.Write("notes.txt", "text");
    TPixels pixels{4, 3, std::vector<std::uint32_t>(12, 0xFF336699)};
    dir.Write("pic.jpeg", EncodeJpeg(pixels, 90));

    viewer->SetHistoryMaxCount(5);
    int changes = 0;
    viewer->OnHistoryChange = [&](TObject*) { ++changes; };
    viewer->LoadHtmlFile(a);
    EXPECT_EQ(viewer->LoadedFileName, a);
    EXPECT_EQ(viewer->DocumentTitle, "A");
    EXPECT_TRUE(viewer->JumpToAnchor("END"));
    const int endTop = viewer->Position();
    EXPECT_GT(endTop, 0);

    viewer->HotSpotURL = "#top";
    viewer->HotSpotClick();
    EXPECT_EQ(viewer->Position(), 0);
    ASSERT_EQ(viewer->VisitedFiles.Count(), 2) << "the jump is a history entry";
    const TReadingPosition leftA = viewer->VisitedPositions[0]->Pos;

    viewer->HotSpotURL = "b.htm#mid";
    viewer->HotSpotClick();
    EXPECT_EQ(viewer->DocumentTitle, "B");
    EXPECT_EQ(viewer->LoadedFileName, dir.File("b.htm"));
    EXPECT_GT(viewer->Position(), 0) << "positioned to the anchor";
    const int midTop = viewer->Position();

    viewer->HotSpotURL = "notes.txt";
    viewer->HotSpotClick();
    EXPECT_EQ(viewer->DocumentTitle, "B") << "other files are left alone";

    viewer->HotSpotURL = "c.htm";
    viewer->HotSpotClick();
    EXPECT_EQ(viewer->DocumentTitle, "C");
    ASSERT_GE(viewer->VisitedFiles.Count(), 3);
    EXPECT_EQ(viewer->VisitedFiles[0], dir.File("c.htm"));
    EXPECT_EQ(viewer->VisitedFiles[1], dir.File("b.htm"));
    EXPECT_EQ(viewer->VisitedFiles[2], a);
    EXPECT_EQ(viewer->VisitedTitles[1], "B");
    EXPECT_GT(viewer->VisitedPositions[1]->Pos.Offset + viewer->VisitedPositions[1]->Pos.Section, 0)
        << "B is kept where it was left";
    EXPECT_EQ(viewer->VisitedPositions[2]->Pos, leftA);
    (void)midTop;
    EXPECT_GT(changes, 0);

    viewer->HotSpotURL = "pic.jpeg";
    viewer->HotSpotClick();
    EXPECT_EQ(viewer->LoadedFileKind, fkImage);
    ASSERT_EQ(viewer->Document()->Count(), 1);
    const auto* section = dynamic_cast<TSection*>(viewer->Document()->Items(0));
    ASSERT_NE(section, nullptr);
    ASSERT_EQ(section->Images.Count(), 1);
    EXPECT_EQ(section->Images[0]->ImageWidth, 4);

    viewer->SetHistoryMaxCount(3);
    EXPECT_EQ(viewer->VisitedFiles.Count(), 0) << "lowering the limit empties the history";

    EXPECT_THROW(viewer->LoadHtmlFile(dir.File("missing.htm")), EInOutError);
    EXPECT_EQ(viewer->LoadedFileKind, fkImage) << "the document shown stays";
    EXPECT_FALSE(viewer->Busy());
}

TEST_F(HtmlPaneTest, NothingIsRecordedWithoutAHistory)
{
    TempDir dir;
    viewer->LoadHtmlFile(dir.Write("a.htm", "a"));
    viewer->LoadHtmlFile(dir.Write("b.htm", "b"));
    EXPECT_EQ(viewer->VisitedFiles.Count(), 0);
}

TEST_F(HtmlPaneTest, MetaRefresh)
{
    struct Case {
        const char* content;
        int delay;
        const char* url;
    } cases[] = {
        {"5; URL=Next.htm", 5, "Next.htm"},
        {"10;url=http://Example.com/A", 10, "http://Example.com/A"},
        {"10", 0, ""},
        {"0; URL=x.htm", 0, ""},
        {"5; nothing", 0, ""},
        {"soon; URL=x.htm", 0, ""},
    };
    for (const Case& c : cases) {
        int delay = 0;
        CodePageString url;
        std::vector<std::string> metas;
        viewer->OnMeta = [&](TObject*, const CodePageString& httpEq, const CodePageString&, const CodePageString& content) {
            metas.push_back(httpEq + "=" + content);
        };
        viewer->OnMetaRefresh = [&](TObject*, int d, const CodePageString& u) {
            delay = d;
            url = u;
        };
        Load(std::string("<meta http-equiv=Refresh content=\"") + c.content + "\">page");
        EXPECT_EQ(delay, c.delay) << c.content;
        EXPECT_EQ(url, c.url) << c.content;
        EXPECT_EQ(metas, std::vector<std::string>{std::string("Refresh=") + c.content});
    }
}

TEST_F(HtmlPaneTest, MouseSelectsCopiesAndFollowsLinks)
{
    Load("x caf\xE9-bar y<br><a href=\"#there\">link</a><br><a name=there>there</a>");
    Paint();
    // Inside the word: the third character of "café".
    viewer->HtmlMouseDown(mbLeft, {}, 10 + 3 * 7 + 2, 5 + 8);
    viewer->HtmlDblClick();
    EXPECT_EQ(viewer->SelectedText(), "caf\xE9") << "the accented letter in, the hyphen out";

    std::string clipboard;
    GetHooks().clipboardSetText = [&](const std::string& text) { clipboard = text; };
    viewer->HtmlMouseDown(mbLeft, {}, 10, 5 + 8);
    viewer->HtmlMouseMove(TShiftState{ssLeft}, 10 + 5 * 7 + 1, 5 + 8);
    viewer->HtmlMouseUp(mbLeft, {}, 10 + 5 * 7 + 1, 5 + 8);
    viewer->CopyToClipboard();
    EXPECT_EQ(clipboard, "x caf");

    std::vector<std::string> covered;
    viewer->OnHotSpotCovered = [&](TObject*, const CodePageString& url) { covered.push_back(url); };
    viewer->HtmlMouseMove({}, 10 + 7, 5 + 16 + 8);
    viewer->HtmlMouseMove({}, 200, 5 + 16 + 8);
    EXPECT_EQ(covered, (std::vector<std::string>{"#there", ""}));

    CodePageString clicked;
    viewer->OnHotSpotClick = [&](TObject*, const CodePageString& url, bool& handled) {
        clicked = url;
        handled = true;
    };
    Click(10 + 7, 5 + 16 + 8);
    EXPECT_EQ(clicked, "#there");
}

TEST_F(HtmlPaneTest, PropertiesKeepTheirBounds)
{
    viewer->SetDefFontSize(4);
    EXPECT_EQ(viewer->DefFontSize(), 6);
    viewer->SetImageCacheCount(50);
    EXPECT_EQ(viewer->ImageCacheCount(), 20);
    EXPECT_EQ(viewer->ImageCache().KeepLoads(), 20);
    viewer->SetImageCacheCount(-3);
    EXPECT_EQ(viewer->ImageCacheCount(), 0);
    viewer->SetMarginWidth(60);
    EXPECT_EQ(viewer->MarginWidth(), 10);
    viewer->SetMarginHeight(-1);
    EXPECT_EQ(viewer->MarginHeight(), 5);
    viewer->SetHistoryMaxCount(-2);
    EXPECT_EQ(viewer->HistoryMaxCount(), 0);

    Load("page");
    viewer->SetMarginWidth(30);
    Paint();
    EXPECT_EQ(DrawnAt("page"), Point(30, 5));
    viewer->SetDefFontColor(clRed);
    Paint();
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Text)[0].fontColor & 0xFFFFFF, clRed);
    viewer->SetDefBackground(clYellow);
    EXPECT_EQ(viewer->PaintPanel()->Color() & 0xFFFFFF, clYellow);

    viewer->SetServerRoot(" /srv/site/ ");
    EXPECT_EQ(viewer->ServerRoot(), "/srv/site");
    EXPECT_EQ(viewer->ExpandLinkFileName("/docs/a%20b.htm"), "/srv/site/docs/a b.htm");
    Load("<base href=DosPath>x");
    EXPECT_EQ(viewer->ExpandLinkFileName("rel/a.htm"), "rel/a.htm") << "relative names stay relative";
}

// A file URL names a path of the file system: the picture is found there,
// not under the page's folder or the server root.
TEST_F(HtmlPaneTest, FileUrlsAreAbsolutePaths)
{
    TempDir pages;
    TempDir pictures;
    TBitmap picture(6, 4);
    const std::string logo = pictures.Write("logo.bmp", picture.SaveToBytes());
    const std::string page = pages.Write("page.htm", "<img src=\"file://" + logo + "\">");
    viewer->LoadHtmlFile(page);
    EXPECT_EQ(viewer->ExpandLinkFileName("file://" + logo), logo);
    Paint();
    const auto bitmaps = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].rect.Width(), 6) << "the picture itself, not the broken-image one";
    EXPECT_EQ(bitmaps[0].rect.Height(), 4);
    viewer->SetServerRoot("/srv/site");
    EXPECT_EQ(viewer->ExpandLinkFileName("file://" + logo), logo);
}

// Each viewer keeps the pictures of its own documents: another viewer asks
// for them again, its loads age none of them, and freeing it leaves the
// first viewer's pictures shown.
TEST_F(HtmlPaneTest, EachViewerKeepsThePicturesOfItsOwnDocuments)
{
    const std::string bytes = TBitmap(6, 4).SaveToBytes();
    std::map<TObject*, int> requests;
    std::vector<std::unique_ptr<TMemoryStream>> served;
    const TGetImageEvent serve = [&](TObject* sender, const CodePageString& source, TMemoryStream*& stream) {
        ++requests[sender];
        if (source != "pic.bmp")
            return;
        served.push_back(std::make_unique<TMemoryStream>());
        served.back()->Write(bytes.data(), std::int64_t(bytes.size()));
        stream = served.back().get();
    };
    auto* other = new THtmlPane(form);
    other->SetParent(form);
    other->SetLayoutCanvas(&canvas);
    other->SetBounds(0, 0, 300, 200);
    viewer->SetOnImageRequest(serve);
    other->SetOnImageRequest(serve);

    Load("<img src=pic.bmp>");
    TStringBitmapList& cache = viewer->ImageCache();
    const int entry = cache.IndexOf(ImageCacheKey("pic.bmp"));
    ASSERT_GE(entry, 0);
    EXPECT_EQ(cache.Item(entry)->HolderCount, 1);
    EXPECT_EQ(other->ImageCache().Count(), 0);

    TStringList lines;
    lines.SetText("<img src=pic.bmp>");
    other->LoadStrings(lines);
    EXPECT_EQ(requests[viewer], 1);
    EXPECT_EQ(requests[other], 1) << "the other viewer asks for the picture itself";
    ASSERT_EQ(other->ImageCache().Count(), 1);
    lines.SetText("no pictures");
    for (int load = 0; load < 10; ++load)
        other->LoadStrings(lines);
    EXPECT_EQ(other->ImageCache().Count(), 0) << "the other viewer's cache let its picture go";
    ASSERT_EQ(cache.IndexOf(ImageCacheKey("pic.bmp")), entry);
    EXPECT_EQ(cache.Item(entry)->LoadsSinceUse, 0) << "the other viewer's loads age nothing here";

    delete other;
    Paint();
    const auto bitmaps = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].rect.Width(), 6);
    EXPECT_EQ(requests[viewer], 1);
}

// The document's own FONT faces and colours and its BODY colours stay when
// a font property of the viewer changes after the load.
TEST_F(HtmlPaneTest, FontPropertiesKeepTheDocumentsOwnFontsAndColours)
{
    Load("<body text=green link=red bgcolor=yellow><font color=navy face=Arial>own</font> body "
         "<a href=x.htm>link</a> <tt>fixed</tt>");
    const auto check = [&](const char* after) {
        Paint();
        std::map<std::string, TCanvasOp> drawn;
        for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text))
            drawn[Trim(op.text)] = op;
        ASSERT_EQ(drawn.count("own"), 1u) << after;
        EXPECT_EQ(drawn["own"].fontName, "Arial") << after;
        EXPECT_EQ(drawn["own"].fontColor & 0xFFFFFF, clNavy) << after;
        EXPECT_EQ(drawn["body"].fontColor & 0xFFFFFF, clGreen) << after;
        EXPECT_EQ(drawn["link"].fontColor & 0xFFFFFF, clRed) << after;
        EXPECT_EQ(drawn["fixed"].fontName, viewer->DefPreFontName()) << after;
        EXPECT_EQ(viewer->Document()->Background & 0xFFFFFF, clYellow) << after;
        EXPECT_EQ(viewer->PaintPanel()->Color() & 0xFFFFFF, clYellow) << after;
    };
    check("the load");
    viewer->SetDefFontName("Courier New");
    check("a new face");
    EXPECT_EQ(viewer->Document()->FontName(), "Courier New");
    viewer->SetDefFontSize(16);
    check("a new size");
    viewer->SetDefFontColor(clMaroon);
    check("a new text colour");
    viewer->SetDefHotSpotColor(clPurple);
    check("a new link colour");
    viewer->SetDefPreFontName("Arial");
    check("a new preformatted face");
    viewer->SetCharSet(0);
    check("a new character set");

    // A page without colours of its own takes the new defaults.
    Load("plain <a href=x.htm>link</a>");
    viewer->SetDefFontColor(clMaroon);
    viewer->SetDefHotSpotColor(clPurple);
    Paint();
    std::map<std::string, TColor> colours;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text))
        colours[Trim(op.text)] = op.fontColor & 0xFFFFFF;
    EXPECT_EQ(colours["plain"], clMaroon);
    EXPECT_EQ(colours["link"], clPurple);
}

// A parse error never leaves the viewer dead: what was read shows, and the
// error passes on once.
TEST_F(HtmlPaneTest, ALoadThatFailsLeavesAWorkingViewer)
{
    std::vector<bool> processing;
    viewer->OnProcessing = [&](TObject*, bool on) { processing.push_back(on); };
    EXPECT_THROW(Load("<b>shown</b> before<!-- never closed"), EParseError);
    EXPECT_FALSE(viewer->Busy());
    EXPECT_EQ(processing, (std::vector<bool>{true, false}));
    Paint();
    EXPECT_EQ(DrawnAt("shown"), Point(10, 5));
    form->Show();
    EXPECT_NE(AccessibleTextOf(viewer).find("shown"), std::string::npos);

    // A table far too wide is cut, not refused.
    std::string wide = "<table border><tr>";
    for (int i = 0; i < 200; ++i)
        wide += "<td>c" + std::to_string(i);
    Load(wide + "</table>after");
    Paint();
    DrawnAt("after");
    DrawnAt("c29");

    Load("again");
    Paint();
    EXPECT_EQ(DrawnAt("again"), Point(10, 5));
}

// The reading position is kept across a new layout far down a long document:
// beyond 32,767 sections, and beyond 65,535 pixels into one section.
TEST_F(HtmlPaneTest, TheReadingPositionSurvivesLongDocuments)
{
    std::string html;
    for (int i = 0; i < 40000; ++i)
        html += "<br>";
    html += "<table>";
    for (int i = 0; i < 5000; ++i)
        html += "<tr><td>row " + std::to_string(i);
    html += "</table>";
    Load(html);
    const int tableTop = viewer->Document()->SectionTopOf(viewer->Document()->Count() - 2);
    viewer->SetPosition(tableTop + 90000);
    const TReadingPosition at = viewer->SaveReadingPosition();
    EXPECT_GT(at.Section, 40000);
    EXPECT_EQ(at.Offset, 90000);
    viewer->SetBounds(0, 0, 320, 200);  // a new width lays the document out again
    EXPECT_EQ(viewer->SaveReadingPosition(), at);
    EXPECT_EQ(viewer->Position(), tableTop + 90000);
}

TEST_F(HtmlPaneTest, FormsSubmitAfterTheClick)
{
    std::vector<std::string> submitted;
    viewer->SetOnFormSubmit([&](TObject* sender, const CodePageString& action, const CodePageString&, const CodePageString&,
                                const CodePageString& method, TStringList* results) {
        EXPECT_EQ(sender, viewer);
        submitted.push_back(method + " " + action + " " + results->CommaText());
    });
    Load("<form action=go.cgi method=post><input name=q value=v><input type=submit name=b value=Go></form>");
    TButtonFormControlObj* button = nullptr;
    for (TFormControlObj* c : viewer->Document()->FormControlList())
        if (auto* b = dynamic_cast<TButtonFormControlObj*>(c))
            button = b;
    ASSERT_NE(button, nullptr);
    button->Button()->Click();
    EXPECT_TRUE(submitted.empty()) << "not inside the click";
    ASSERT_TRUE(RunUntil([&] { return !submitted.empty(); }));
    EXPECT_EQ(submitted, std::vector<std::string>{"post go.cgi q=v,b=Go"});
}

TEST_F(HtmlPaneTest, AssistiveTechnologyReadsTheTextAndFollowsTheLinks)
{
    Load("<title>The page</title><script>hidden()</script><!-- a comment -->"
         "<h1>Head</h1><p>First <b>bold</b> line<br><a href=\"next.htm\">Go <i>on</i></a>"
         "<table><tr><td>one<td>two<tr><td>three</table><ul><li>item</ul>");
    form->Show();
    bool found = false;
    for (const TAccessibleNode& node : WalkAccessibleTree(form))
        if (node.Description == "Viewer") {
            found = true;
            EXPECT_EQ(node.Role, "Document");
            EXPECT_EQ(node.Name, "The page");
        }
    EXPECT_TRUE(found);
    EXPECT_EQ(AccessibleTextOf(viewer), "Head\nFirst bold line\nGo on\none\ntwo\nthree\nitem\n");

    CodePageString clicked;
    viewer->OnHotSpotClick = [&](TObject*, const CodePageString& url, bool& handled) {
        clicked = url;
        handled = true;
    };
    EXPECT_TRUE(DoAccessibleActionNamed(form, "Go on", "Press"));
    EXPECT_EQ(clicked, "next.htm");
}

}  // namespace
