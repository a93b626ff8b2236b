#include <gtest/gtest.h>

#include "DocumentFixture.h"
#include "classlib/Timer.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlGif.h"
#include "htmlview/HtmlTextSection.h"
#include "support/GifWriter.h"

namespace {

using DocumentModelTest = DocumentTest;

std::string TwoFrameGif()
{
    GifSpec spec = GifScreen(4, 4, 4);
    spec.loopCount = 0;
    GifFrameSpec a = GifSolidFrame(0, 0, 4, 4, 1);
    a.graphicControl = true;
    a.delayCs = 10;
    GifFrameSpec b = GifSolidFrame(0, 0, 4, 4, 2);
    b.graphicControl = true;
    b.delayCs = 10;
    spec.frames = {a, b};
    return WriteGif(spec);
}

TEST_F(DocumentModelTest, FontsFollowTheDocumentsDefaults)
{
    TMyFont heading;
    heading.SetNormalSize(&root, 24);
    heading.SetStyle(TFontStyles{fsBold});
    TSection* sec = Text("plain");
    sec->ChangeFont(heading);
    sec->AddText("big");
    TUrlTarget link{"a.htm", ""};
    sec->HRef(HtmlSymbol::Href, font, link);
    sec->AddText("link");
    TMyFont fixed;
    fixed.Fixed = true;
    fixed.SetNormalSize(&root, 10);
    sec->HRef(HtmlSymbol::AEnd, fixed, link);
    sec->AddText("code");

    root.Charset = 0;
    root.SetDefaultFonts("Arial", "Courier New", 24, clMaroon, clGreen, clWhite);
    ASSERT_EQ(sec->Fonts.Count(), 4);
    struct Expect {
        CodePageString name;
        int size;
        TColor color;
    } expected[] = {
        {"Arial", 24, clMaroon}, {"Arial", 48, clMaroon}, {"Arial", 24, clGreen}, {"Courier New", 20, clMaroon},
    };
    for (int i = 0; i < 4; ++i) {
        const TMyFont& f = *sec->Fonts[i]->TheFont;
        EXPECT_EQ(f.Name(), expected[i].name) << i;
        EXPECT_EQ(f.Size(), expected[i].size) << i;
        EXPECT_EQ(f.Color(), PaletteRelative(expected[i].color)) << i;
        EXPECT_EQ(f.Charset(), 0) << i;
    }
    EXPECT_TRUE(sec->Fonts[1]->TheFont->Style().Contains(fsBold));
    EXPECT_EQ(sec->FirstFont->Size(), 24);
    EXPECT_EQ(sec->FirstFont->Color(), PaletteRelative(clMaroon));

    int overhang = -1;
    EXPECT_EQ(sec->Fonts.FontAt(4, overhang), sec->Fonts[0]);
    EXPECT_EQ(sec->Fonts.FontAt(5, overhang), sec->Fonts[1]);
    EXPECT_EQ(overhang, 0);
    EXPECT_EQ(sec->Fonts.RunCharsAt(5, sec->Len), 3) << "a run starting at the position counts from the next";
    EXPECT_EQ(sec->Fonts.RunCharsAt(13, sec->Len), 3);

    const TMyFont copy = *sec->Fonts[3]->TheFont;
    EXPECT_TRUE(copy.Fixed);
    EXPECT_EQ(copy.NormalSize, 10);
    EXPECT_EQ(root.FontName(), "Arial");
    root.SetDefaultFonts(std::string(40, 'n'), "p", 12, clBlack, clBlue, clWhite);
    EXPECT_EQ(root.FontName().size(), 32u);
}

TEST_F(DocumentModelTest, ImageSizes)
{
    server.AddBitmap("pic.bmp", 100, 50);
    struct Case {
        const char* tag;
        int width;
        int height;
    } cases[] = {
        {"<img src=pic.bmp>", 100, 50},
        {"<img src=pic.bmp width=200>", 200, 100},
        {"<img src=pic.bmp height=25>", 50, 25},
        {"<img src=pic.bmp width=30 height=40>", 30, 40},
        {"<img src=pic.bmp width=50%>", 300, 50},
        {"<img src=pic.bmp width=150%>", 100, 50},  // a percentage beyond 100 is ignored
        {"<img src=pic.bmp width=-40>", 100, 50},   // so are negative and wordy sizes
        {"<img src=pic.bmp width=\"wide\">", 100, 50},
        {"<img src=pic.bmp height=\"tall\">", 100, 50},
        {"<img src=pic.bmp height=-5 width=10>", 10, 1},
        {"<img src=pic.bmp width=99999999>", MaxPixelSize, MaxPixelSize / 2},
        {"<img src=pic.bmp height=2147483647>", MaxPixelSize, MaxPixelSize},
    };
    for (const Case& c : cases) {
        root.Clear();
        TSection* sec = Text("");
        TImageObj* img = sec->AddImage(ImageSpecOf(Tag(c.tag)));
        Layout(600);
        EXPECT_EQ(img->ImageWidth, c.width) << c.tag;
        EXPECT_EQ(img->ImageHeight, c.height) << c.tag;
    }
}

TEST_F(DocumentModelTest, ImageAttributes)
{
    struct Case {
        const char* tag;
        TImageAlign align;
        const char* mapName;
        int hspace;
    } cases[] = {
        {"<img align=top>", ATop, "", 5},
        {"<img align=MIDDLE>", AMiddle, "", 5},
        {"<img align=absmiddle>", AMiddle, "", 5},
        {"<img align=bottom>", ABottom, "", 5},
        {"<img align=sideways>", ABottom, "", 5},
        {"<img align=left hspace=-12>", ALeft, "", 12},
        {"<img align=right hspace=90>", ARight, "", 20},
        {"<img usemap=\" #map1 \">", ABottom, "MAP1", 5},
        {"<img usemap=#>", ABottom, "#", 5},
        {"<img hspace=-2147483648>", ABottom, "", 20},
    };
    for (const Case& c : cases) {
        TImageObj img(&root, 0, ImageSpecOf(Tag(c.tag)));
        EXPECT_EQ(img.VertAlign, c.align) << c.tag;
        EXPECT_EQ(img.MapName, c.mapName) << c.tag;
        EXPECT_EQ(img.HSpace, c.hspace) << c.tag;
    }
    EXPECT_TRUE(TImageObj(&root, 0, ImageSpecOf(Tag("<img border=0>"))).NoBorder);
    EXPECT_FALSE(TImageObj(&root, 0, ImageSpecOf(Tag("<img border>"))).NoBorder);
    EXPECT_EQ(TImageObj(&root, 0, ImageSpecOf(Tag("<img transp>"))).Transparent, LLCorner);
}

TEST_F(DocumentModelTest, ImagesAsBoxesAndPlaceholders)
{
    server.AddBitmap("pic.bmp", 100, 50);
    // Images off: the alternative box, at least 24 high and the text + 26 wide.
    root.ShowImages = false;
    TSection* sec = Text("");
    TImageObj* alt = sec->AddImage(ImageSpecOf(Tag("<img src=pic.bmp alt=\"A picture\">")));
    TImageObj* small = sec->AddImage(ImageSpecOf(Tag("<img src=pic.bmp width=20 height=10>")));
    Layout(600);
    EXPECT_EQ(alt->ImageWidth, 9 * 7 + 26);
    EXPECT_EQ(alt->ImageHeight, 24);
    EXPECT_EQ(small->ImageWidth, 20) << "a placeholder with both sizes takes them";
    EXPECT_EQ(small->ImageHeight, 10);
    EXPECT_EQ(alt->Image, nullptr) << "nothing is fetched while images are off";
    Paint(600);
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Bitmap).size(), 1u) << "no picture in a box under 24 x 24";
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Line).size(), 8u) << "each box is framed sunken";
    EXPECT_EQ(canvas.Texts(), std::vector<CodePageString>{"A picture "}) << "the text wrapped into the box";

    // A missing picture shows the broken picture through its mask; a late
    // one waits with the default picture and is remembered.
    root.Clear();
    root.ShowImages = true;
    server.pictures.erase("pic.bmp");
    bool later = false;
    host.GetImage = [&](TObject*, const CodePageString& name, TMemoryStream*& stream) {
        if (name == "late.bmp" && later)
            stream = LaterStream();
    };
    later = true;
    sec = Text("");
    TImageObj* missing = sec->AddImage(ImageSpecOf(Tag("<img src=gone.bmp>")));
    TImageObj* late = sec->AddImage(ImageSpecOf(Tag("<img src=late.bmp>")));
    TImageObj* lateToo = sec->AddImage(ImageSpecOf(Tag("<img src=late.bmp>")));
    TImageObj* noSource = sec->AddImage(ImageSpecOf(Tag("<img>")));
    Layout(600);
    EXPECT_EQ(missing->Image, BrokenImageBitmap());
    EXPECT_EQ(missing->Mask, BrokenImageMask());
    EXPECT_EQ(noSource->Image, BrokenImageBitmap());
    EXPECT_EQ(late->Image, DefaultBitmap());
    EXPECT_EQ(lateToo->Image, DefaultBitmap());
    ASSERT_EQ(root.PendingImages.Count(), 2);
    EXPECT_EQ(root.PendingImages[0], "LATE.BMP");
    EXPECT_EQ(root.PendingImages.Objects(1), lateToo);
    Paint(600);
    const auto pictures = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_GE(pictures.size(), 1u);
    EXPECT_TRUE(pictures[0].masked);
}

TEST_F(DocumentModelTest, LinkedImagesAndMaps)
{
    server.AddBitmap("pic.bmp", 40, 30);
    auto map = std::make_unique<TMapItem>();
    map->MapTitle = "MAP1";
    map->AddArea({{TAreaAttribute::Shape, "rect"}, {TAreaAttribute::Coords, "0,0,9,9"},
                  {TAreaAttribute::Href, "corner.htm"}});
    root.MapList.Add(std::move(map));
    TSection* sec = Text("");
    TUrlTarget link{"go.htm", ""};
    sec->HRef(HtmlSymbol::Href, font, link);
    TImageObj* framed = sec->AddImage(ImageSpecOf(Tag("<img src=pic.bmp>")));
    TImageObj* plain = sec->AddImage(ImageSpecOf(Tag("<img src=pic.bmp border=0>")));
    TImageObj* mapped = sec->AddImage(ImageSpecOf(Tag("<img src=pic.bmp usemap=#map1 border=0>")));
    Layout(600);
    Paint(600);
    EXPECT_EQ(framed->ImageWidth, 42);
    EXPECT_EQ(mapped->ImageWidth, 40);
    EXPECT_EQ(plain->ImageWidth, 40);
    const auto frames = canvas.OpsOf(TCanvasOp::Rectangle);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].rect, Rect(0, 0, 42, 32));
    EXPECT_EQ(frames[0].penColor, PaletteRelative(clBlack)) << "in the link run's colour";

    const auto linkAt = [&](int x, int y) {
        TUrlTarget url;
        TFormControlObj* control = nullptr;
        return root.LinkAtPoint(&canvas, x, y, url, control) ? url.URL : CodePageString("none");
    };
    EXPECT_EQ(linkAt(10, 10), "go.htm");
    EXPECT_EQ(linkAt(42 + 40 + 5, 2 + 5), "corner.htm");
    EXPECT_EQ(linkAt(42 + 40 + 20, 2 + 20), "none") << "outside every area of the map";

    TImageObj* hit = nullptr;
    int ix = 0;
    int iy = 0;
    ASSERT_TRUE(root.ObjectAtPoint(50, 12, hit, ix, iy));
    EXPECT_EQ(hit, plain);
    EXPECT_EQ(ix, 8);
    EXPECT_EQ(iy, 10);
}

TEST_F(DocumentModelTest, AnimationsRunOnTheirOwnAndBackgroundsDoNotPinThem)
{
    server.pictures["moving.gif"] = TwoFrameGif();
    server.AddBitmap("tile.bmp", 8, 8);
    TSection* sec = Text("");
    TImageObj* first = sec->AddImage(ImageSpecOf(Tag("<img src=moving.gif>")));
    TImageObj* second = sec->AddImage(ImageSpecOf(Tag("<img src=moving.gif>")));
    Layout(600);
    ASSERT_TRUE(first->AnimatedImage());
    ASSERT_TRUE(second->AnimatedImage());
    EXPECT_NE(first->AnimatedImage(), second->AnimatedImage()) << "two occurrences animate independently";
    EXPECT_EQ(root.AnimatedImages.size(), 2u);
    EXPECT_TRUE(first->AnimatedImage()->Running());
    EXPECT_TRUE(root.Timer()->Enabled());
    Paint(600);
    EXPECT_TRUE(first->Painted);

    TStringBitmapList& cache = host.ImageCache();
    const int gifEntry = cache.IndexOf(ImageCacheKey("moving.gif"));
    ASSERT_GE(gifEntry, 0);
    EXPECT_EQ(cache.Item(gifEntry)->HolderCount, 2);

    // An animation as the page's background gives none, and the cache may
    // let it go.
    root.SetBackgroundBitmap("moving.gif");
    EXPECT_EQ(root.GetBackgroundBitmap(), nullptr);
    EXPECT_TRUE(root.BitmapLoaded);
    EXPECT_EQ(cache.Item(gifEntry)->HolderCount, 2);
    root.SetBackgroundBitmap("tile.bmp");
    TBitmap* tile = root.GetBackgroundBitmap();
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->Width(), 8);
    const int tileEntry = cache.IndexOf(ImageCacheKey("tile.bmp"));
    EXPECT_EQ(cache.Item(tileEntry)->HolderCount, 1);

    root.Clear();
    EXPECT_EQ(cache.Item(cache.IndexOf(ImageCacheKey("moving.gif")))->HolderCount, 0);
    EXPECT_EQ(cache.Item(cache.IndexOf(ImageCacheKey("tile.bmp")))->HolderCount, 0);
    EXPECT_TRUE(root.AnimatedImages.empty());
    EXPECT_EQ(root.BackgroundBitmap, nullptr);
    EXPECT_FALSE(root.BitmapLoaded);
}

TEST_F(DocumentModelTest, CellsAndTheirQueries)
{
    server.AddBitmap("tall.bmp", 20, 80);
    TSection* sec = Text("");
    sec->AddImage(ImageSpecOf(Tag("<img src=tall.bmp align=left>")));
    sec->AddText("short");
    EXPECT_EQ(Layout(300), 80) << "a float taller than the text lengthens the cell";
    EXPECT_EQ(root.Len, 6);

    Add<TParagraphSpace>();
    TSection* after = Text("next");
    Layout(300);
    int top = -1;
    int index = -1;
    EXPECT_EQ(root.SectionAtY(15, top, index), sec);
    EXPECT_EQ(root.SectionAtY(16, top, index), root.Items(1));
    EXPECT_EQ(top, 16);
    EXPECT_EQ(root.SectionAtY(30, top, index), after);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(root.SectionAtY(46, top, index), nullptr);
    EXPECT_EQ(root.SectionTopOf(2), 30);
    EXPECT_EQ(root.SectionTopOf(9), 30) << "never past the last section's top";

    root.SetScrollTop(10);
    EXPECT_TRUE(root.YOffChange);
    Paint(300);
    EXPECT_FALSE(root.YOffChange);
    EXPECT_EQ(TextPositions().at("next"), Point(25, 30 - 10)) << "beside the float, scrolled";
}

TEST_F(DocumentModelTest, PaintingVisitsOnlyTheSectionsThatMeetTheClip)
{
    std::vector<TCountingSection*> sections;
    for (int i = 0; i < 1000; ++i)
        sections.push_back(AddText<TCountingSection>(root, "s" + std::to_string(i)));
    EXPECT_EQ(Layout(600), 16000);
    root.SetScrollTop(8000);
    canvas.Clear();
    EXPECT_EQ(root.Draw(&canvas, Rect(0, 0, 600, 100), 600, 0, 0), 16000) << "the Y after the document";
    // The 100 pixels from 8000 on hold sections 500 to 506.
    int visited = 0;
    for (const TCountingSection* section : sections)
        visited += section->Draws;
    EXPECT_LE(visited, 8);
    for (int i = 500; i <= 506; ++i)
        EXPECT_EQ(sections[std::size_t(i)]->Draws, 1) << i;
    const auto at = TextPositions();
    EXPECT_EQ(at.size(), 7u);
    EXPECT_EQ(at.at("s500"), Point(0, 0));
    EXPECT_EQ(at.at("s506"), Point(0, 96));

    // A float paints below the room its section takes: reaching into the
    // clip from far above, it is painted.
    root.Clear();
    server.AddBitmap("tall.bmp", 20, 3000);
    Text("")->AddImage(ImageSpecOf(Tag("<img src=tall.bmp align=left>")));
    for (int i = 0; i < 1000; ++i)
        Text("t" + std::to_string(i));
    Layout(600);
    root.SetScrollTop(2500);
    canvas.Clear();
    root.Draw(&canvas, Rect(0, 0, 600, 100), 600, 0, 0);
    const auto pictures = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].rect.Top, -2500);
    EXPECT_EQ(TextPositions().at("t156"), Point(25, 2496 - 2500)) << "with the text beside it";
}

}  // namespace
