#include <gtest/gtest.h>

#include <map>

#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "htmlview/HtmlGif.h"
#include "htmlview/HtmlImages.h"
#include "platform/Hooks.h"
#include "support/GifWriter.h"
#include "support/TempDir.h"

namespace {

class ImagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetHooks().screenColorBits = [this] { return screenBits; };
        ResetImageUnit();
    }
    void TearDown() override
    {
        ResetImageUnit();
        ResetHooks();
    }
    int screenBits = 24;
    // The fetches' cache, as a viewer owns one.
    TStringBitmapList cache;
};

void Put16(std::string& s, int v)
{
    s.push_back(char(v & 255));
    s.push_back(char((v >> 8) & 255));
}

void Put32(std::string& s, int v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, (v >> 16) & 0xFFFF);
}

// A bitmap file with an info header; pixels are the rows as stored.
std::string BmpFile(int width, int height, int bits, const std::vector<std::uint32_t>& palette, const std::string& rows,
                int compression = 0)
{
    std::string s = "BM";
    const int offset = 14 + 40 + int(palette.size()) * 4;
    Put32(s, offset + int(rows.size()));
    Put32(s, 0);
    Put32(s, offset);
    Put32(s, 40);
    Put32(s, width);
    Put32(s, height);
    Put16(s, 1);
    Put16(s, bits);
    Put32(s, compression);
    Put32(s, int(rows.size()));
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, int(palette.size()));
    Put32(s, 0);
    for (std::uint32_t c : palette)
        Put32(s, int(c));
    return s + rows;
}

std::unique_ptr<TBitmap> FromStream(const std::string& bytes, TransparencyKind& transparent,
                                    std::unique_ptr<TBitmap>& mask)
{
    TMemoryStream stream;
    stream.Write(bytes.data(), std::int64_t(bytes.size()));
    return LoadPictureFromStream(&stream, transparent, mask);
}

std::unique_ptr<TBitmap> FromStream(const std::string& bytes)
{
    TransparencyKind transparent = NotTransp;
    std::unique_ptr<TBitmap> mask;
    return FromStream(bytes, transparent, mask);
}

TEST_F(ImagesTest, KindComesFromTheFirstBytes)
{
    const std::string pad(11, '\0');
    struct Case {
        std::string data;
        ImageKind kind;
    };
    const Case cases[] = {
        {"GIF89a" + pad, Gif89}, {"GIF87a" + pad, Gif},  {"GIF8xa" + pad, Gif},        {"BM" + pad, Bmp},
        {"\x89PNG" + pad, Png},  {"\xFF\xD8" + pad, Jpg}, {"GIF89a1234", NoImage},      {"JFIF" + pad, NoImage},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetImageKind(c.data), c.kind) << c.data.substr(0, 6);
}

TEST_F(ImagesTest, BitmapVariantsLoad)
{
    const TColor red = RGB(255, 0, 0), blue = RGB(0, 0, 255), green = RGB(0, 255, 0);
    const std::vector<std::uint32_t> pal = {0x00FF0000, 0x000000FF, 0x0000FF00};  // red, blue, green as BGRA words
    struct Case {
        const char* what;
        std::string file;
        TColor topLeft, topRight, bottomLeft;
    };
    const Case cases[] = {
        // Rows bottom-up unless the height is negative; rows padded to 4 bytes.
        {"24 bits", BmpFile(2, 2, 24, {}, std::string("\0\0\xFF\xFF\0\0\0\0", 8) + std::string("\0\xFF\0\0\0\xFF\0\0", 8)),
         green, red, red},
        {"24 bits top-down", BmpFile(2, -2, 24, {}, std::string("\0\xFF\0\0\0\xFF\0\0", 8) + std::string("\0\0\xFF\xFF\0\0\0\0", 8)),
         green, red, red},
        {"8 bits", BmpFile(2, 2, 8, pal, std::string("\x00\x01\0\0", 4) + std::string("\x02\x00\0\0", 4)), green, red, red},
        {"4 bits", BmpFile(2, 2, 4, pal, std::string("\x01\0\0\0", 4) + std::string("\x20\0\0\0", 4)), green, red, red},
        {"1 bit", BmpFile(2, 2, 1, {0x00FF0000, 0x000000FF}, std::string("\x40\0\0\0", 4) + std::string("\x80\0\0\0", 4)),
         blue, red, red},
        {"32 bits", BmpFile(1, 1, 32, {}, std::string("\xFF\0\0\0", 4)), blue, blue, blue},
        {"RLE 8", BmpFile(2, 2, 8, pal, std::string("\x02\x00\0\0\x01\x02\x01\x00\0\x01", 10), 1), green, red, red},
    };
    for (const Case& c : cases) {
        auto bitmap = FromStream(c.file);
        ASSERT_TRUE(bitmap) << c.what;
        EXPECT_EQ(bitmap->GetPixel(0, 0), c.topLeft) << c.what;
        EXPECT_EQ(bitmap->GetPixel(bitmap->Width() - 1, 0), c.topRight) << c.what;
        EXPECT_EQ(bitmap->GetPixel(0, bitmap->Height() - 1), c.bottomLeft) << c.what;
    }
}

TEST_F(ImagesTest, BadOrHugeBitmapsGiveNothing)
{
    const std::string ok = BmpFile(1, 1, 24, {}, std::string("\0\0\xFF\0", 4));
    EXPECT_TRUE(FromStream(ok));
    EXPECT_FALSE(FromStream(ok.substr(0, 19))) << "under 20 bytes";
    EXPECT_FALSE(FromStream(BmpFile(100000, 100000, 24, {}, std::string(16, '\0')))) << "refused before reading";
    EXPECT_FALSE(FromStream(BmpFile(0, 5, 24, {}, std::string(16, '\0'))));
    EXPECT_FALSE(FromStream(ok.substr(0, 40)));
    EXPECT_FALSE(FromStream("\x89PNG\r\n\x1a\n" + std::string(40, '\0'))) << "PNG pictures are never decoded";
    TransparencyKind transparent = NotTransp;
    std::unique_ptr<TBitmap> mask;
    EXPECT_FALSE(LoadPictureFromStream(nullptr, transparent, mask));
}

TEST_F(ImagesTest, JpegLoadsThroughTheClassLibrary)
{
    TPixels pixels;
    pixels.Width = 8;
    pixels.Height = 8;
    pixels.Data.assign(64, 0xFF2040C0u);
    TransparencyKind transparent = LLCorner;
    std::unique_ptr<TBitmap> mask;
    auto bitmap = FromStream(EncodeJpeg(pixels, 95), transparent, mask);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->Width(), 8);
    EXPECT_EQ(transparent, NotTransp) << "a JPEG is never transparent";
    EXPECT_FALSE(mask);
    const TColor c = bitmap->GetPixel(4, 4);
    EXPECT_NEAR(GetRValue(c), 0x20, 4);
    EXPECT_NEAR(GetGValue(c), 0x40, 4);
    EXPECT_NEAR(GetBValue(c), 0xC0, 4);
    EXPECT_FALSE(FromStream(std::string("\xFF\xD8") + std::string(30, 'x')));
}

TEST_F(ImagesTest, CornerMaskAndColorMask)
{
    TBitmap image(3, 2);
    image.Canvas()->Brush()->SetColor(clBlue);
    image.Canvas()->FillRect(Rect(0, 0, 3, 2));
    image.SetPixel(2, 0, clRed);
    auto corner = MakeColorMask(image, false, 0);
    EXPECT_EQ(corner->GetPixel(0, 1), clWhite);
    EXPECT_EQ(corner->GetPixel(1, 0), clWhite);
    EXPECT_EQ(corner->GetPixel(2, 0), clBlack);
    auto byColor = MakeColorMask(image, true, PaletteRelative(clRed));
    EXPECT_EQ(byColor->GetPixel(2, 0), clWhite);
    EXPECT_EQ(byColor->GetPixel(0, 0), clBlack);
}

TEST_F(ImagesTest, TransparentColorProbes)
{
    GifSpec spec;
    spec.width = 1;
    spec.height = 1;
    spec.globalPalette = {1, 2, 3, 40, 50, 60};
    GifFrameSpec f;
    f.width = f.height = 1;
    f.indices = {1};
    f.transparentIndex = 1;
    spec.frames = {f};
    TMemoryStream gif;
    const std::string bytes = WriteGif(spec);
    gif.Write(bytes.data(), std::int64_t(bytes.size()));
    gif.SetPosition(5);
    TColor color = clNone;
    EXPECT_TRUE(GifTransparentColor(gif, color));
    EXPECT_EQ(color, RGB(40, 50, 60));
    EXPECT_EQ(gif.Position(), 5);

    // Without a global table, the index is one of the first image's own table.
    GifSpec local = spec;
    local.globalPalette.clear();
    local.frames[0].localPalette = {7, 8, 9, 70, 80, 90};
    TMemoryStream ownTable;
    const std::string localBytes = WriteGif(local);
    ownTable.Write(localBytes.data(), std::int64_t(localBytes.size()));
    color = clNone;
    EXPECT_TRUE(GifTransparentColor(ownTable, color));
    EXPECT_EQ(color, RGB(70, 80, 90));
    local.frames[0].localPalette.clear();  // no table at all: no colour
    TMemoryStream noTable;
    const std::string noTableBytes = WriteGif(local);
    noTable.Write(noTableBytes.data(), std::int64_t(noTableBytes.size()));
    EXPECT_FALSE(GifTransparentColor(noTable, color));

    spec.version = "87a";
    TMemoryStream old;
    const std::string oldBytes = WriteGif(spec);
    old.Write(oldBytes.data(), std::int64_t(oldBytes.size()));
    EXPECT_FALSE(GifTransparentColor(old, color));

    // A palette PNG whose first alpha is below 127; only the chunks are read.
    const auto chunk = [](const std::string& type, const std::string& data) {
        std::string s;
        const auto n = std::uint32_t(data.size());
        s += char(n >> 24);
        s += char(n >> 16);
        s += char(n >> 8);
        s += char(n);
        return s + type + data + "CRC!";
    };
    const std::string ihdr = std::string("\0\0\0\1\0\0\0\1\x08\x03\0\0\0", 13);
    const std::string png = "\x89PNG\r\n\x1a\n" + chunk("IHDR", ihdr) + chunk("PLTE", "\x0A\x0B\x0C\x01\x02\x03") +
                            chunk("tRNS", std::string("\x10", 1)) + chunk("IEND", "");
    TMemoryStream pngStream;
    pngStream.Write(png.data(), std::int64_t(png.size()));
    EXPECT_TRUE(PngTransparentColor(pngStream, color));
    EXPECT_EQ(color, RGB(10, 11, 12));
    const std::string opaque = "\x89PNG\r\n\x1a\n" + chunk("IHDR", ihdr) + chunk("PLTE", "\x0A\x0B\x0C") +
                               chunk("tRNS", "\xC8") + chunk("IEND", "");
    TMemoryStream opaqueStream;
    opaqueStream.Write(opaque.data(), std::int64_t(opaque.size()));
    EXPECT_FALSE(PngTransparentColor(opaqueStream, color));
    // A chunk length that points far past the end ends the walk.
    std::string huge = "\x89PNG\r\n\x1a\n" + chunk("IHDR", ihdr);
    huge += "\x7F\xFF\xFF\xFFzTXt";
    TMemoryStream hugeStream;
    hugeStream.Write(huge.data(), std::int64_t(huge.size()));
    EXPECT_FALSE(PngTransparentColor(hugeStream, color));
}

TEST_F(ImagesTest, SharedPaletteOnlyOnEightBitDisplays)
{
    EXPECT_EQ(DisplayColorBits(), 24);
    EXPECT_FALSE(SharedPalette());
    for (auto [bits, normal] : {std::pair{1, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 24}, {32, 24}}) {
        screenBits = bits;
        ResetImageUnit();
        EXPECT_EQ(DisplayColorBits(), normal) << bits;
        EXPECT_EQ(SharedPalette() != nullptr, normal == 8) << bits;
    }

    const TPalette p = MakeSharedPalette();
    ASSERT_EQ(p.size(), 256u);
    EXPECT_EQ(p[10], (TPaletteEntry{55, 55, 55, 0}));
    EXPECT_EQ(p[11], (TPaletteEntry{115, 55, 55, 0})) << "red changes fastest";
    EXPECT_EQ(p[16], (TPaletteEntry{55, 115, 55, 0}));
    EXPECT_EQ(p[224], (TPaletteEntry{235, 255, 255, 0})) << "white is left out of the cube";
    EXPECT_EQ(p[225], (TPaletteEntry{135, 135, 135, 0}));
    EXPECT_EQ(p[248], (TPaletteEntry{250, 250, 250, 0}));
    EXPECT_EQ(p[255], (TPaletteEntry{255, 255, 255, 0}));

    // On an 8-bit display pictures take the palette's nearest colours.
    screenBits = 8;
    ResetImageUnit();
    auto bitmap = std::make_unique<TBitmap>(1, 1);
    bitmap->SetPixel(0, 0, RGB(60, 110, 170));
    bitmap = ConvertToDisplayPalette(std::move(bitmap));
    EXPECT_EQ(bitmap->GetPixel(0, 0), RGB(55, 115, 165));
    auto clone = ClonePalette(SharedPalette());
    ASSERT_TRUE(clone);
    EXPECT_EQ(*clone, p);
    EXPECT_FALSE(ClonePalette(nullptr));
}

TEST_F(ImagesTest, PlaceholderPicturesAndCursorsComeFromTheResources)
{
    ASSERT_TRUE(DefaultBitmap());
    EXPECT_FALSE(DefaultBitmap()->Empty());
    ASSERT_TRUE(BrokenImageBitmap());
    ASSERT_TRUE(BrokenImageMask());
    EXPECT_EQ(BrokenImageMask()->Width(), BrokenImageBitmap()->Width());
    EXPECT_EQ(BrokenImageMask()->Height(), BrokenImageBitmap()->Height());
    EXPECT_TRUE(Screen->HasCursorImage(1));
    EXPECT_TRUE(Screen->HasCursorImage(2));
    for (int id : {1001, 1002, 1003, 1005, 1006, 1077, 8019}) {
        TBitmap picture;
        EXPECT_NO_THROW(picture.LoadFromResourceID(id)) << id;
        EXPECT_FALSE(picture.Empty()) << id;
    }
    TBitmap none;
    EXPECT_THROW(none.LoadFromResourceID(4242), EInvalidGraphic);
}

// --- the cache and the image fetch ---------------------------------------------------------

std::string StillGif()
{
    GifSpec spec = GifScreen(2, 1, 4);
    GifFrameSpec f = GifSolidFrame(0, 0, 2, 1, 1);
    f.indices = {1, 2};
    f.transparentIndex = 2;
    spec.frames = {f};
    return WriteGif(spec);
}

std::string AnimatedGif()
{
    GifSpec spec = GifScreen(1, 1, 4);
    spec.frames = {GifSolidFrame(0, 0, 1, 1, 1), GifSolidFrame(0, 0, 1, 1, 1)};
    return WriteGif(spec);
}

// Serves pictures by name, counting the requests.
struct Server {
    std::map<CodePageString, std::string> pictures;
    bool later = false;
    int requests = 0;
    TMemoryStream stream;
    TGetImageEvent Handler()
    {
        return [this](TObject*, const CodePageString& source, TMemoryStream*& out) {
            ++requests;
            if (later) {
                out = LaterStream();
                return;
            }
            const auto it = pictures.find(source);
            if (it == pictures.end())
                return;
            stream.Clear();
            stream.Write(it->second.data(), std::int64_t(it->second.size()));
            out = &stream;
        };
    }
};

struct Fetch {
    TPersistent* picture = nullptr;
    TransparencyKind transparent = NotTransp;
    bool later = false;
    bool cached = false;
    TBitmap* mask = nullptr;
};

Fetch Get(TStringBitmapList& cache, const CodePageString& name, const TGetImageEvent& handler,
          TransparencyKind asked = NotTransp)
{
    Fetch f;
    f.transparent = asked;
    f.picture = GetTheImage(cache, name, handler, nullptr, f.transparent, f.later, f.cached, f.mask);
    return f;
}

TEST_F(ImagesTest, FetchThroughTheRequestHandler)
{
    Server server;
    server.pictures["still.gif"] = StillGif();
    server.pictures["moving.gif"] = AnimatedGif();
    server.pictures["short.bmp"] = std::string(19, 'B');
    server.pictures["picture.bmp"] = BmpFile(1, 1, 24, {}, std::string("\0\0\xFF\0", 4));
    const TGetImageEvent handler = server.Handler();

    const Fetch still = Get(cache, "still.gif", handler);
    ASSERT_TRUE(dynamic_cast<TBitmap*>(still.picture)) << "a still GIF becomes a plain bitmap";
    EXPECT_EQ(still.transparent, TrGif);
    ASSERT_TRUE(still.mask);
    EXPECT_EQ(still.mask->GetPixel(1, 0), clWhite);
    EXPECT_FALSE(still.cached);

    const Fetch moving = Get(cache, "moving.gif", handler);
    EXPECT_TRUE(dynamic_cast<TGIFImage*>(moving.picture)) << "an animated GIF stays one";

    EXPECT_FALSE(Get(cache, "short.bmp", handler).picture);
    EXPECT_FALSE(Get(cache, "missing.bmp", handler).picture) << "no stream, no picture";
    EXPECT_TRUE(dynamic_cast<TBitmap*>(Get(cache, "picture.bmp", handler).picture));
    EXPECT_FALSE(Get(cache, "", handler).picture);

    // The same name in another letter case or with blanks is the same entry.
    const int before = server.requests;
    const Fetch again = Get(cache, "  STILL.GIF \t", handler);
    EXPECT_TRUE(again.cached);
    EXPECT_EQ(again.picture, still.picture);
    EXPECT_EQ(again.transparent, TrGif);
    EXPECT_EQ(server.requests, before);

    server.later = true;
    const Fetch later = Get(cache, "new.gif", handler);
    EXPECT_TRUE(later.later);
    EXPECT_FALSE(later.picture);
}

// A still GIF whose frame does not cover its screen keeps the screen's
// size, with the frame in its place and the page showing around it.
TEST_F(ImagesTest, AStillFrameSmallerThanItsScreenKeepsItsPlace)
{
    GifSpec spec = GifScreen(4, 3, 4);
    spec.frames = {GifSolidFrame(1, 1, 2, 1, 1)};
    Server server;
    server.pictures["small.gif"] = WriteGif(spec);
    const Fetch small = Get(cache, "small.gif", server.Handler());
    auto* bitmap = dynamic_cast<TBitmap*>(small.picture);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->Width(), 4);
    EXPECT_EQ(bitmap->Height(), 3);
    const auto palette = TestPalette(4);
    EXPECT_EQ(bitmap->GetPixel(1, 1), RGB(palette[3], palette[4], palette[5]));
    ASSERT_TRUE(small.mask);
    EXPECT_EQ(small.transparent, TrGif);
    EXPECT_EQ(small.mask->GetPixel(1, 1), clBlack);
    EXPECT_EQ(small.mask->GetPixel(0, 0), clWhite);
    EXPECT_EQ(small.mask->GetPixel(3, 2), clWhite);
}

TEST_F(ImagesTest, CornerMaskIsMadeOnceAndKept)
{
    Server server;
    server.pictures["a.bmp"] = BmpFile(2, 1, 24, {}, std::string("\0\0\xFF\0\xFF\0\0\0", 8));
    const Fetch plain = Get(cache, "a.bmp", server.Handler());
    EXPECT_FALSE(plain.mask);
    const Fetch corner = Get(cache, "a.bmp", server.Handler(), LLCorner);
    ASSERT_TRUE(corner.mask);
    EXPECT_EQ(corner.mask->GetPixel(0, 0), clWhite);
    EXPECT_EQ(corner.mask->GetPixel(1, 0), clBlack);
    EXPECT_EQ(Get(cache, "a.bmp", server.Handler()).mask, corner.mask);
}

TEST_F(ImagesTest, FetchFromFiles)
{
    TempDir dir;
    const CodePageString gifPath = dir.Path() + "/pic.GIF";
    WriteFileAtomic(gifPath, StillGif());
    const CodePageString bmpPath = dir.Path() + "/pic.bmp";
    WriteFileAtomic(bmpPath, BmpFile(1, 1, 24, {}, std::string("\0\0\xFF\0", 4)));
    const Fetch gif = Get(cache, gifPath, nullptr);
    ASSERT_TRUE(dynamic_cast<TBitmap*>(gif.picture));
    EXPECT_EQ(gif.transparent, TrGif);
    const Fetch bmp = Get(cache, bmpPath, nullptr);
    ASSERT_TRUE(dynamic_cast<TBitmap*>(bmp.picture));
    EXPECT_EQ(static_cast<TBitmap*>(bmp.picture)->GetPixel(0, 0), clRed);
    EXPECT_FALSE(Get(cache, dir.Path() + "/none.bmp", nullptr).picture);
    EXPECT_EQ(GetImageKindOfFile(bmpPath), Bmp);
    EXPECT_EQ(GetImageKindOfFile(dir.Path() + "/none.bmp"), NoImage);

    TransparencyKind transparent = LLCorner;
    std::unique_ptr<TBitmap> mask;
    auto picture = LoadPictureWithMask(bmpPath, transparent, mask);
    ASSERT_TRUE(picture);
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->GetPixel(0, 0), clWhite);
}

TEST_F(ImagesTest, CacheAgesEntriesNobodyHolds)
{
    const auto add = [&](const char* name) {
        cache.AddItem(name, new TBitmapItem(std::make_unique<TBitmap>(1, 1), nullptr, NotTransp));
    };
    add("UNUSED");
    add("HELD");
    cache.ReleaseEntry("UNUSED");
    cache.SetKeepLoads(5);
    // An image no document uses survives five more loads, not six.
    for (int load = 1; load <= 5; ++load) {
        cache.AgeCache();
        EXPECT_GE(cache.IndexOf("UNUSED"), 0) << load;
    }
    cache.AgeCache();
    EXPECT_LT(cache.IndexOf("UNUSED"), 0);
    EXPECT_GE(cache.IndexOf("HELD"), 0) << "an entry in use is never aged out";

    // Fetching makes an entry young again.
    add("FRESH");
    cache.ReleaseEntry("FRESH");
    cache.AgeCache();
    cache.FetchEntry(cache.IndexOf("FRESH"));
    cache.ReleaseEntry("FRESH");
    cache.SetKeepLoads(0);
    EXPECT_GE(cache.IndexOf("FRESH"), 0) << "fetched since the last load";
    cache.AgeCache();
    EXPECT_LT(cache.IndexOf("FRESH"), 0);

    cache.ReleaseEntry("HELD");
    cache.DropUnused();
    EXPECT_EQ(cache.Count(), 0);
}

// --- image maps ----------------------------------------------------------------------

std::vector<TAreaAttribute> Area(const char* shape, const char* coords, const char* href = "link")
{
    std::vector<TAreaAttribute> a;
    if (href)
        a.push_back({TAreaAttribute::Href, href});
    else
        a.push_back({TAreaAttribute::NoHref, ""});
    if (shape)
        a.push_back({TAreaAttribute::Shape, shape});
    a.push_back({TAreaAttribute::Coords, coords});
    a.push_back({TAreaAttribute::Target, "frame"});
    return a;
}

TEST(ImageMaps, AreasAreHitInDocumentOrder)
{
    struct Case {
        const char* shape;
        const char* coords;
        std::vector<TPoint> inside;
        std::vector<TPoint> outside;
    };
    const Case cases[] = {
        {"CIRCLE", "10,10,5", {{5, 10}, {15, 10}, {10, 5}, {10, 15}, {10, 10}}, {{4, 10}, {16, 10}, {5, 5}, {15, 15}}},
        {nullptr, "1,2,3,4", {{1, 2}, {3, 4}}, {{0, 2}, {4, 4}, {1, 5}}},
        {"rectangle", " 1 , 2 ,3 ,4 ", {{1, 2}, {3, 4}}, {{4, 4}}},
        {"rect", "0, 0, 50, 50", {{25, 25}, {50, 50}}, {{51, 50}}},  // blanks after the commas, as pages write them
        {"circle", "20,  20,\t10", {{20, 20}, {28, 20}}, {{31, 20}}},
        {"polygon", "0,0,10,0,0,10", {{1, 1}, {4, 4}}, {{8, 8}, {11, 0}}},
        {"circ", "x,10,5", {{0, 10}, {5, 10}}, {{6, 10}}},  // bad numbers count as 0
    };
    for (const Case& c : cases) {
        TMapItem map;
        map.AddArea(Area(c.shape, c.coords));
        ASSERT_EQ(map.AreaCount(), 1) << c.coords;
        CodePageString url, target;
        for (TPoint p : c.inside) {
            EXPECT_TRUE(map.HitTest(p.x, p.y, url, target)) << c.coords << " " << p.x << "," << p.y;
            EXPECT_EQ(url, "link");
            EXPECT_EQ(target, "frame");
        }
        for (TPoint p : c.outside)
            EXPECT_FALSE(map.HitTest(p.x, p.y, url, target)) << c.coords << " " << p.x << "," << p.y;
    }
}

TEST(ImageMaps, TooFewNumbersAndNoHref)
{
    TMapItem map;
    map.AddArea(Area("poly", "0,0,10,0,5"));
    map.AddArea(Area("rect", "1,2,3"));
    map.AddArea(Area("circle", "1,2"));
    map.AddArea(Area("rect", "1,,3,4"));  // reading stops at the empty part
    EXPECT_EQ(map.AreaCount(), 0);

    map.AddArea(Area("rect", "0,0,10,10", nullptr));
    map.AddArea(Area("rect", "0,0,20,20", "below"));
    CodePageString url, target;
    EXPECT_FALSE(map.HitTest(5, 5, url, target)) << "an earlier NOHREF area hides the later one";
    EXPECT_TRUE(map.HitTest(15, 15, url, target));
    EXPECT_EQ(url, "below");

    // Huge numbers neither overflow nor make the region slow.
    TMapItem huge;
    huge.AddArea(Area("circle", "2147483647,2147483647,2147483647"));
    huge.AddArea(Area("rect", "-2147483648,-2147483648,2147483647,2147483647"));
    EXPECT_TRUE(huge.HitTest(0, 0, url, target));
}

}  // namespace
