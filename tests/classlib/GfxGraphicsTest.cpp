// Text mapping, fonts, canvas semantics and pictures of the class library.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <jpeglib.h>

#include <algorithm>

#include "classlib/Graphics.h"
#include "classlib/QtBridge.h"
#include "support/FixedCanvas.h"
#include "support/TempDir.h"

namespace {

TEST(GfxText, EveryByteSurvivesTheTripThroughUnicode)
{
    CodePageString all;
    for (int b = 0; b < 256; ++b)
        all.push_back(char(b));
    const QString unicode = ToQString(all);
    ASSERT_EQ(unicode.size(), 256);
    EXPECT_EQ(FromQString(unicode), all);
    // The defined upper controls are the code page's; undefined bytes keep their value.
    EXPECT_EQ(unicode.at(0x80).unicode(), 0x20AC);
    EXPECT_EQ(unicode.at(0x92).unicode(), 0x2019);
    EXPECT_EQ(unicode.at(0x81).unicode(), 0x0081);
    EXPECT_EQ(unicode.at(0x9D).unicode(), 0x009D);
    EXPECT_EQ(unicode.at(0xE9).unicode(), 0x00E9);
}

TEST(GfxText, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(FromQString(QString::fromUtf8("a\xE2\x82\xAC" "b\xE4\xB8\xAD")), "a\x80" "b?");
    EXPECT_EQ(FromQString(QString(QChar(0x0080))), "?");  // U+0080 has no byte: 0x80 is the euro sign
}

TEST(GfxFont, SizeAndHeightAreTwoViewsOfOneValue)
{
    struct Case {
        int size;
        int height;
    };
    const Case cases[] = {{8, -11}, {9, -12}, {10, -13}, {12, -16}, {14, -19}, {24, -32}};
    for (const Case& c : cases) {
        TFont f;
        f.SetSize(c.size);
        EXPECT_EQ(f.Height(), c.height) << c.size;
        EXPECT_EQ(f.Size(), c.size) << c.size;
    }
    TFont f;
    EXPECT_EQ(f.Name(), "MS Sans Serif");
    EXPECT_EQ(f.Size(), 8);
    int changes = 0;
    f.OnChange = [&](TObject*) { ++changes; };
    f.SetColor(clRed);
    f.SetColor(clRed);
    f.SetStyle(TFontStyles() << fsBold);
    EXPECT_EQ(changes, 2);
}

TEST(GfxFont, WindowsNamesMapToTheLiberationFamilies)
{
    const std::pair<const char*, const char*> cases[] = {
        {"MS Sans Serif", "Liberation Sans"}, {"MS Shell Dlg", "Liberation Sans"}, {"Arial", "Liberation Sans"},
        {"tahoma", "Liberation Sans"},        {"Verdana", "Liberation Sans"},      {"Times New Roman", "Liberation Serif"},
        {"Courier New", "Liberation Mono"},   {"Wingdings", "Liberation Sans"},
    };
    for (const auto& [name, family] : cases)
        EXPECT_EQ(MapFontFamily(name), family) << name;
}

TEST(GfxFont, TextIsMeasuredWithTheMetricCompatibleFonts)
{
    auto canvas = CreateMeasureCanvas();
    // The default dialog font: 8 points at 96 DPI is a 13-pixel line.
    EXPECT_EQ(canvas->TextHeight("Wg"), 13);
    // Widths add up: a text measures as the sum of its pieces.
    EXPECT_EQ(canvas->TextWidth("AVAV"), 2 * canvas->TextWidth("AV"));
    EXPECT_EQ(canvas->TextWidth("AV"), canvas->TextWidth("A") + canvas->TextWidth("V"));
    TFont courier;
    courier.SetName("Courier New");
    courier.SetSize(10);
    canvas->SetFont(&courier);
    EXPECT_EQ(canvas->TextWidth("iiii"), canvas->TextWidth("WWWW"));
}

// What the canvas draws, read back from a bitmap.
struct BitmapCanvas : ::testing::Test {
    TBitmap bitmap{20, 20};
    TCanvas* canvas = bitmap.Canvas();
    TColor At(int x, int y) { return bitmap.GetPixel(x, y); }
};

TEST_F(BitmapCanvas, RectanglesAndLinesLeaveOutTheirRightAndBottomEdges)
{
    canvas->Brush()->SetColor(clRed);
    canvas->FillRect(Rect(2, 2, 6, 5));
    EXPECT_EQ(At(2, 2), clRed);
    EXPECT_EQ(At(5, 4), clRed);
    EXPECT_EQ(At(6, 4), clWhite);
    EXPECT_EQ(At(5, 5), clWhite);

    canvas->Pen()->SetColor(clBlue);
    canvas->Brush()->SetColor(clLime);
    canvas->Rectangle(10, 10, 15, 14);
    EXPECT_EQ(At(10, 10), clBlue);
    EXPECT_EQ(At(14, 13), clBlue);
    EXPECT_EQ(At(12, 12), clLime);
    EXPECT_EQ(At(15, 13), clWhite);

    canvas->Pen()->SetColor(clBlack);
    canvas->MoveTo(0, 18);
    canvas->LineTo(5, 18);
    EXPECT_EQ(At(0, 18), clBlack);
    EXPECT_EQ(At(4, 18), clBlack);
    EXPECT_EQ(At(5, 18), clWhite);
    EXPECT_EQ(canvas->PenPos(), Point(5, 18));
}

TEST_F(BitmapCanvas, LinesCoverEachPixelFromTheirStartUpToTheirEnd)
{
    // Every direction, the shortest lines, lines running off the bitmap,
    // wide, dotted and XOR pens, and a diagonal: each covers exactly the
    // pixels a step at a time from its start, its end left out.
    struct Case {
        TPoint from, to;
        int width;
        TPenStyle style;
        TPenMode mode;
    };
    const Case cases[] = {
        {{2, 3}, {9, 3}, 1, psSolid, pmCopy},    {{9, 3}, {2, 3}, 1, psSolid, pmCopy},
        {{4, 1}, {4, 12}, 1, psSolid, pmCopy},   {{4, 12}, {4, 1}, 1, psSolid, pmCopy},
        {{5, 5}, {6, 5}, 1, psSolid, pmCopy},    {{5, 5}, {5, 4}, 1, psSolid, pmCopy},
        {{-5, 7}, {30, 7}, 1, psSolid, pmCopy},  {{7, 25}, {7, -3}, 0, psSolid, pmCopy},
        {{3, 9}, {11, 9}, 1, psSolid, pmXor},    {{1, 2}, {1, 9}, 1, psDot, pmCopy},
        {{2, 2}, {10, 10}, 1, psSolid, pmCopy},
    };
    for (const Case& c : cases) {
        canvas->Brush()->SetColor(clWhite);
        canvas->FillRect(Rect(0, 0, 20, 20));
        canvas->Pen()->SetColor(clRed);
        canvas->Pen()->SetWidth(c.width);
        canvas->Pen()->SetStyle(c.style);
        canvas->Pen()->SetMode(c.mode);
        canvas->MoveTo(c.from.x, c.from.y);
        canvas->LineTo(c.to.x, c.to.y);
        const int n = std::max(std::abs(c.to.x - c.from.x), std::abs(c.to.y - c.from.y));
        const int sx = c.to.x > c.from.x ? 1 : c.to.x < c.from.x ? -1 : 0;
        const int sy = c.to.y > c.from.y ? 1 : c.to.y < c.from.y ? -1 : 0;
        const auto covered = [&](int x, int y) {
            for (int i = 0; i < n; ++i)
                if (x == c.from.x + i * sx && y == c.from.y + i * sy)
                    return true;
            return false;
        };
        // A dotted pen leaves gaps.
        int drawn = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool ink = At(x, y) != clWhite;
                drawn += ink;
                if (ink || c.style == psSolid) {
                    EXPECT_EQ(ink, covered(x, y)) << c.from.x << "," << c.from.y << " to " << c.to.x << ","
                                                  << c.to.y << ": pixel " << x << "," << y;
                }
            }
        EXPECT_GT(drawn, 0);
        EXPECT_EQ(canvas->PenPos(), c.to);
    }
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetMode(pmCopy);
}

TEST_F(BitmapCanvas, TextOutFillsItsCellOnlyWithASolidBrush)
{
    canvas->Brush()->SetColor(clYellow);
    canvas->TextOut(0, 0, "x");
    const int w = canvas->TextWidth("x");
    EXPECT_EQ(At(w - 1, 0), clYellow);  // the cell's corner holds no ink
    EXPECT_EQ(At(w + 1, 0), clWhite);
    canvas->Brush()->SetStyle(bsClear);
    canvas->TextOut(0, 14, "x");
    EXPECT_EQ(At(w - 1, 14), clWhite);
}

// A turned font draws the text turned about the cell's top left corner,
// counterclockwise: at 90 degrees the word runs up from where it starts.
TEST(GfxCanvas, TurnedTextRunsAlongItsAngle)
{
    const auto inkBox = [](int orientation) {
        TBitmap bitmap(200, 200);
        TCanvas* canvas = bitmap.Canvas();
        canvas->Brush()->SetStyle(bsClear);
        canvas->Font()->SetColor(clBlack);
        canvas->Font()->SetSize(12);
        canvas->Font()->SetOrientation(orientation);
        canvas->TextOut(100, 100, "WWWW");
        TRect box = Rect(200, 200, -1, -1);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x)
                if (bitmap.GetPixel(x, y) != clWhite) {
                    box.Left = std::min(box.Left, x);
                    box.Top = std::min(box.Top, y);
                    box.Right = std::max(box.Right, x + 1);
                    box.Bottom = std::max(box.Bottom, y + 1);
                }
        return box;
    };
    const TRect flat = inkBox(0);
    const TRect up = inkBox(900);
    ASSERT_FALSE(flat.IsEmpty());
    ASSERT_FALSE(up.IsEmpty());
    EXPECT_GE(flat.Left, 100);
    EXPECT_GE(flat.Top, 100);
    EXPECT_GT(flat.Width(), flat.Height());
    // Turned: above the start point, at most a cell's height to its right.
    EXPECT_LE(up.Bottom, 101);
    EXPECT_GE(up.Left, 100);
    EXPECT_GT(up.Height(), up.Width());
    EXPECT_NEAR(up.Height(), flat.Width(), 2);
}

// The "Symbol" font shows its own characters: its 0xB7 is a bullet, its
// letters are Greek; the same bytes in another font are the code page's.
TEST(GfxCanvas, TheSymbolFontShowsItsOwnCharacters)
{
    EXPECT_EQ(CanvasText(TFont(), "\xB7" "ap"), QString::fromUtf8("\u00B7ap"));
    TFont symbol;
    symbol.SetName("symbol");
    EXPECT_EQ(CanvasText(symbol, "\xB7" "ap 1\xA5\x80"), QString::fromUtf8("\u2022\u03B1\u03C0 1\u221E\u20AC"));
    TBitmap bitmap(40, 40);
    bitmap.Canvas()->SetFont(&symbol);
    EXPECT_GT(bitmap.Canvas()->TextWidth("\xB7"), 0);
}

TEST_F(BitmapCanvas, TransparentBitmapsLeaveOutTheirKeyColour)
{
    TBitmap glyph(2, 1);
    glyph.SetPixel(0, 0, clFuchsia);
    glyph.SetPixel(1, 0, clNavy);
    canvas->BrushCopy(Rect(0, 0, 2, 1), glyph, Rect(0, 0, 2, 1), clFuchsia);
    EXPECT_EQ(At(0, 0), clWhite);
    EXPECT_EQ(At(1, 0), clNavy);
    canvas->StretchDraw(Rect(4, 4, 8, 6), &glyph);
    EXPECT_EQ(At(4, 4), clFuchsia);
    EXPECT_EQ(At(7, 5), clNavy);
}

TEST(GfxCanvas, DrawTextLaysOutLinesOnTheCanvasMetrics)
{
    TFixedCanvas canvas;
    struct Case {
        const char* text;
        unsigned flags;
        TRect rect;
        std::vector<CodePageString> lines;
        std::vector<TPoint> at;
    };
    const Case cases[] = {
        {"abc", DT_SINGLELINE | DT_CENTER | DT_VCENTER, Rect(0, 0, 70, 40), {"abc"}, {{24, 12}}},
        {"abc", DT_SINGLELINE | DT_RIGHT | DT_BOTTOM, Rect(0, 0, 70, 40), {"abc"}, {{49, 24}}},
        {"one two three", DT_WORDBREAK, Rect(10, 0, 10 + 7 * 8, 100), {"one two", "three"}, {{10, 0}, {10, 16}}},
        {"a\r\nb", 0, Rect(0, 0, 50, 50), {"a", "b"}, {{0, 0}, {0, 16}}},
        {"abcdefghij", DT_SINGLELINE | DT_END_ELLIPSIS, Rect(0, 0, 49, 16), {"abcd..."}, {{0, 0}}},
        {"&File", DT_SINGLELINE, Rect(0, 0, 100, 16), {"File"}, {{0, 0}}},
        {"&File", DT_SINGLELINE | DT_NOPREFIX, Rect(0, 0, 100, 16), {"&File"}, {{0, 0}}},
    };
    for (const Case& c : cases) {
        canvas.Clear();
        TRect r = c.rect;
        canvas.DrawText(c.text, r, c.flags);
        const auto texts = canvas.OpsOf(TCanvasOp::Text);
        ASSERT_EQ(texts.size(), c.lines.size()) << c.text;
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i].text, c.lines[i]) << c.text;
            EXPECT_EQ(texts[i].points[0], c.at[i]) << c.text;
            EXPECT_EQ(texts[i].clip, IntersectRect(Rect(0, 0, 1000, 1000), c.rect)) << c.text;
        }
    }
    TRect measure = Rect(5, 5, 200, 5);
    EXPECT_EQ(canvas.DrawText("ab\ncdef", measure, DT_CALCRECT), 32);
    EXPECT_EQ(measure, Rect(5, 5, 5 + 28, 37));
}

// --- pictures ------------------------------------------------------------------------------

TPixels Fixture(int w, int h)
{
    // Flat blocks of colour, which JPEG keeps close to their values.
    TPixels p;
    p.Width = w;
    p.Height = h;
    p.Data.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t r = (x / 16) % 2 ? 0xE0 : 0x20, g = (y / 16) % 2 ? 0xC0 : 0x40, b = 0x80;
            p.Data[size_t(y) * size_t(w) + size_t(x)] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    return p;
}

int MaxChannelDifference(std::uint32_t a, std::uint32_t b)
{
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
    return worst;
}

TEST(GfxJpeg, EncodedPixelsDecodeBackCloseToTheirValues)
{
    const TPixels original = Fixture(64, 48);
    const std::string jpeg = EncodeJpeg(original, 95);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    const TPixels decoded = DecodeJpeg(jpeg);
    ASSERT_EQ(decoded.Width, 64);
    ASSERT_EQ(decoded.Height, 48);
    // Inside the blocks (away from the edges where colours meet).
    for (const auto& [x, y] : {std::pair{4, 4}, {20, 4}, {4, 20}, {40, 40}, {60, 28}})
        EXPECT_LE(MaxChannelDifference(decoded.Data[size_t(y) * 64 + size_t(x)], original.Data[size_t(y) * 64 + size_t(x)]), 8)
            << x << "," << y;
}

TEST(GfxJpeg, APictureFileLoadsByItsExtension)
{
    TempDir dir;
    const std::string path = dir.Write("logo.jpg", EncodeJpeg(Fixture(32, 16), 90));
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TObject*) { ++changes; };
    picture.LoadFromFile(path);
    ASSERT_NE(dynamic_cast<TJPEGImage*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 32);
    EXPECT_EQ(picture.Height(), 16);
    EXPECT_EQ(changes, 1);

    // And saves again through the same codec.
    picture.SaveToFile(dir.File("copy.jpg"));
    TJPEGImage copy;
    copy.LoadFromFile(dir.File("copy.jpg"));
    EXPECT_EQ(copy.Width(), 32);
}

TEST(GfxJpeg, BrokenPicturesRaiseTheGraphicError)
{
    const std::string good = EncodeJpeg(Fixture(16, 16), 90);
    TJPEGImage image;
    EXPECT_THROW(image.LoadFromBytes(""), EInvalidGraphic);
    EXPECT_THROW(image.LoadFromBytes("not a picture at all"), EInvalidGraphic);
    EXPECT_THROW(image.LoadFromBytes(good.substr(0, 40)), EInvalidGraphic);
    TempDir dir;
    TPicture picture;
    try {
        picture.LoadFromFile(dir.Write("x.gifx", "GIF89a"));
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message, "Unknown picture file extension (.gifx)");
    }
    EXPECT_THROW(picture.LoadFromFile(dir.File("missing.jpg")), Exception);
    EXPECT_EQ(picture.Graphic(), nullptr);
}

// A grey progressive picture of `scans` scans after its first: each a DC
// refinement of ten bytes and no data, which the decoder still runs over
// every block. Thousands of them in a small file take minutes to decode.
std::string ProgressiveJpeg(int width, int height, int scans)
{
    auto bytes = [](std::initializer_list<int> list) {
        std::string s;
        for (int b : list)
            s += static_cast<char>(b);
        return s;
    };
    std::string j = bytes({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00}) + std::string(64, '\1');
    j += bytes({0xFF, 0xC2, 0x00, 0x0B, 0x08, height >> 8, height & 255, width >> 8, width & 255, 0x01, 0x01, 0x11,
                0x00});
    j += bytes({0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01}) + std::string(16, '\0');  // one DC code: "0" for 0
    j += bytes({0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01});
    for (int i = 0; i < scans; ++i)
        j += bytes({0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x00, 0x10});
    return j + bytes({0xFF, 0xD9});
}

TEST(GfxJpeg, PicturesOfEndlessScansAreRefused)
{
    const TPixels few = DecodeJpeg(ProgressiveJpeg(64, 32, 10));
    EXPECT_EQ(few.Width, 64);
    EXPECT_EQ(few.Height, 32);
    try {
        DecodeJpeg(ProgressiveJpeg(64, 32, 5000));
        FAIL() << "decoded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message, "JPEG image has too many scans");
    }
}

// A picture as libjpeg writes it: flat grey, or noise in every pixel so that
// each scan carries data.
std::string LibjpegPicture(int width, int height, int components, bool progressive, bool noise)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.optimize_coding = TRUE;  // the smallest file a flat picture can have
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(size_t(width) * size_t(components), 128);
    std::uint32_t seed = 1;
    while (cinfo.next_scanline < cinfo.image_height) {
        for (unsigned char& b : row)
            if (noise)
                b = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 24);
        unsigned char* rowPtr = row.data();
        jpeg_write_scanlines(&cinfo, &rowPtr, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

// The same bytes with the frame header claiming another size.
std::string Claiming(std::string jpeg, int width, int height)
{
    for (std::size_t at = 2; at + 9 < jpeg.size();) {
        const unsigned char marker = static_cast<unsigned char>(jpeg[at + 1]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            jpeg[at + 5] = char(height >> 8), jpeg[at + 6] = char(height & 255);
            jpeg[at + 7] = char(width >> 8), jpeg[at + 8] = char(width & 255);
            return jpeg;
        }
        at += 2 + std::size_t(static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]));
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

// The same picture carrying `bytes` more of comment segments after its start.
std::string Padded(const std::string& jpeg, std::size_t bytes)
{
    std::string comments;
    while (comments.size() < bytes) {
        const std::size_t length = std::min<std::size_t>(bytes - comments.size(), 60000) + 2;
        comments += "\xFF\xFE";
        comments += char(length >> 8);
        comments += char(length & 255);
        comments += std::string(length - 2, 'c');
    }
    return jpeg.substr(0, 2) + comments + jpeg.substr(2);
}

TEST(GfxJpeg, PicturesBeyondTheirDataOrTheirUseAreRefused)
{
    // A truncated progressive picture of 3 KB that claims 8192 x 8192.
    const std::string cut = LibjpegPicture(256, 256, 3, true, true).substr(0, 3000);
    const TPixels partial = DecodeJpeg(cut);  // its own size: the part that came shows
    EXPECT_EQ(partial.Width, 256);
    try {
        DecodeJpeg(Claiming(cut, 8192, 8192));
        ADD_FAILURE() << "decoded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message, "JPEG image is too large");
    }
    TJPEGImage image;
    EXPECT_THROW(image.LoadFromBytes(Claiming(cut, 8192, 8192)), EInvalidGraphic);
    EXPECT_EQ(image.Width(), 0);

    // Flat pictures, the densest there are, still load.
    for (const auto& [components, progressive] : {std::pair{1, true}, {1, false}, {3, true}, {3, false}}) {
        const std::string flat = LibjpegPicture(2048, 2048, components, progressive, false);
        SCOPED_TRACE(testing::Message() << components << " components, " << flat.size() << " bytes");
        EXPECT_EQ(DecodeJpeg(flat).Height, 2048);
    }

    // Past the most pixels the program takes, however many bytes come along.
    const int wide = 8192, high = int(MaxPicturePixels / wide) + 1;
    const std::string big = Claiming(Padded(LibjpegPicture(64, 64, 1, false, false), 40000), wide, high);
    EXPECT_THROW(DecodeJpeg(big), EInvalidGraphic);
}

TEST(GfxBitmap, BitmapsKeepTheirPixelsThroughBmpBytes)
{
    TBitmap bmp(3, 2);
    bmp.SetPixel(0, 0, clRed);
    bmp.SetPixel(2, 1, clBlue);
    bmp.Canvas()->Brush()->SetColor(clLime);
    bmp.Canvas()->FillRect(Rect(1, 0, 2, 1));
    TBitmap copy;
    copy.LoadFromBytes(bmp.SaveToBytes());
    ASSERT_EQ(copy.Width(), 3);
    EXPECT_EQ(copy.GetPixel(0, 0), clRed);
    EXPECT_EQ(copy.GetPixel(1, 0), clLime);
    EXPECT_EQ(copy.GetPixel(2, 1), clBlue);
    EXPECT_EQ(copy.TransparentColor(), copy.GetPixel(0, 1));  // bottom-left, in automatic mode
    EXPECT_THROW(copy.LoadFromBytes("BMnonsense"), EInvalidGraphic);
}

// Copies share their pixels until one side writes; every way of writing
// (the canvas, a pixel, a row, a resize) leaves the other side as it was.
TEST(GfxBitmap, CopiesKeepTheirOwnPixelsWhicheverSideWrites)
{
    using Write = void (*)(TBitmap&);
    const std::pair<const char*, Write> writes[] = {
        {"canvas", [](TBitmap& b) { b.Canvas()->Brush()->SetColor(clRed); b.Canvas()->FillRect(Rect(0, 0, 4, 4)); }},
        {"pixel", [](TBitmap& b) { b.SetPixel(1, 1, clRed); }},
        {"row", [](TBitmap& b) { b.ScanLine(1)[1] = 0xFFFF0000u; }},
        {"resize", [](TBitmap& b) { b.SetSize(2, 2); }},
    };
    for (const auto& [name, write] : writes) {
        SCOPED_TRACE(name);
        TBitmap original(4, 4);
        original.Canvas()->Brush()->SetColor(clBlue);
        original.Canvas()->FillRect(Rect(0, 0, 4, 4));
        for (bool writeCopy : {true, false}) {
            TBitmap copy(original);
            TBitmap assigned;
            assigned.Assign(original);
            TBitmap& target = writeCopy ? copy : original;
            write(target);
            const TBitmap& untouched = writeCopy ? original : copy;
            EXPECT_EQ(untouched.Width(), 4);
            EXPECT_EQ(untouched.GetPixel(1, 1), clBlue);
            if (writeCopy) {
                EXPECT_EQ(assigned.GetPixel(1, 1), clBlue);
                EXPECT_TRUE(target.Width() != 4 || target.GetPixel(1, 1) != clBlue);  // the write took
            }
            write(assigned);
            EXPECT_EQ(untouched.GetPixel(1, 1), clBlue);
        }
    }
}

}  // namespace
