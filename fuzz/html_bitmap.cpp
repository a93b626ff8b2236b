// A whole page as the viewer shows it, on the class library's own bitmap
// canvas, with its real fonts and pictures: read by the document builder,
// laid out at the width the input chooses and at the screen's, and its first
// screens painted into an 800x600 bitmap (over its background tiles, as the
// viewer paints), then once more through a small clip; searched, hit-tested
// and selected with the canvas's text metrics. Every picture the page asks
// for is one of a few small ones made here (an animated GIF, a GIF with a
// transparent colour, a BMP, a JPEG, a PNG with alpha), chosen by the
// length of its name, or "later" for a name that starts so; no file of the
// input's naming is read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DocumentProbe.h"
#include "FuzzSupport.h"
#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlBuild.h"
#include "htmlview/HtmlTables.h"

namespace {

constexpr int ScreenWidth = 800;
constexpr int ScreenHeight = 600;
constexpr int MarginWidth = 10;
constexpr int MarginHeight = 5;
constexpr int MaxDocWidth = 2000;  // as the viewer paints

// Four frames, each disposed a different way, looping.
const char AnimatedGif[] =
    "\x47\x49\x46\x38\x39\x61\x04\x00\x03\x00\x91\x00\x00\x01\x02\x03"
    "\x04\x07\x0a\x07\x0c\x11\x0a\x11\x18\x21\xff\x0b\x4e\x45\x54\x53"
    "\x43\x41\x50\x45\x32\x2e\x30\x03\x01\x00\x00\x00\x2c\x00\x00\x00"
    "\x00\x04\x00\x03\x00\x00\x02\x05\xc4\x14\x86\x1a\x05\x00\x2c\x00"
    "\x00\x00\x00\x03\x00\x02\x00\x00\x02\x03\xc4\x14\x56\x00\x21\xf9"
    "\x04\x05\x01\x00\x00\x00\x2c\x01\x00\x00\x00\x03\x00\x02\x00\x00"
    "\x02\x03\xc4\x14\x56\x00\x21\xf9\x04\x08\x02\x00\x00\x00\x2c\x00"
    "\x00\x00\x00\x03\x00\x02\x00\x00\x02\x03\xc4\x14\x56\x00\x21\xf9"
    "\x04\x0c\x03\x00\x00\x00\x2c\x01\x00\x00\x00\x03\x00\x02\x00\x00"
    "\x02\x03\xc4\x14\x56\x00\x3b";
// A still picture whose frames leave a transparent colour.
const char TransparentGif[] =
    "\x47\x49\x46\x38\x39\x61\x04\x00\x03\x00\x91\x00\x00\x01\x02\x03"
    "\x04\x07\x0a\x07\x0c\x11\x0a\x11\x18\x21\xf9\x04\x01\x00\x00\x01"
    "\x00\x2c\x00\x00\x00\x00\x04\x00\x03\x00\x00\x02\x05\xc4\x14\x86"
    "\x1a\x05\x00\x21\xf9\x04\x08\x00\x00\x00\x00\x2c\x01\x00\x01\x00"
    "\x02\x00\x02\x00\x80\x01\x02\x03\x04\x07\x0a\x02\x03\xc4\x14\x05"
    "\x00\x3b";

std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes)
{
    auto stream = std::make_unique<TMemoryStream>();
    stream->Write(bytes.data(), std::int64_t(bytes.size()));
    return stream;
}

// The pictures served to the page, made once.
const std::vector<std::unique_ptr<TMemoryStream>>& Pictures()
{
    static const std::vector<std::unique_ptr<TMemoryStream>> pictures = [] {
        std::vector<std::unique_ptr<TMemoryStream>> made;
        made.push_back(StreamOf(std::string(AnimatedGif, sizeof AnimatedGif - 1)));
        made.push_back(StreamOf(std::string(TransparentGif, sizeof TransparentGif - 1)));

        TBitmap bitmap(12, 9);
        bitmap.Canvas()->Brush()->SetColor(clNavy);
        bitmap.Canvas()->FillRect(Rect(2, 2, 10, 7));
        bitmap.SetPixel(0, 8, clFuchsia);
        made.push_back(StreamOf(bitmap.SaveToBytes()));

        TJPEGImage jpeg;
        jpeg.Assign(bitmap);
        made.push_back(StreamOf(jpeg.SaveToBytes()));

        // Half the pixels see-through.
        for (int y = 0; y < bitmap.Height(); ++y) {
            std::uint32_t* row = bitmap.ScanLine(y);
            for (int x = 0; x < bitmap.Width(); ++x)
                if ((x + y) % 2)
                    row[x] &= 0x00FFFFFFu;
        }
        const std::string path = WriteScratchFile("picture.png", "");
        bitmap.SavePngFile(path);
        auto png = std::make_unique<TMemoryStream>();
        png->LoadFromFile(path);
        made.push_back(std::move(png));
        return made;
    }();
    return pictures;
}

void ServePicture(TObject*, const CodePageString& source, TMemoryStream*& stream)
{
    if (source.rfind("later", 0) == 0) {
        stream = LaterStream();
        return;
    }
    const auto& pictures = Pictures();
    stream = pictures[source.size() % pictures.size()].get();
    stream->SetPosition(0);
}

// One screen of the document from its top `scrollTop`, as the viewer paints
// its window: the background (tiled, or the plain colour), then the sections.
void PaintScreen(TSectionList& root, TCanvas* canvas, int scrollTop)
{
    root.SetScrollTop(scrollTop);
    const TRect clip = canvas->ClipRect();
    PaintDocumentBackground(*canvas, clip, root.GetBackgroundBitmap(), 0, scrollTop, clWindow);
    root.Draw(canvas, clip, MaxDocWidth, MarginWidth, MarginHeight);
}

// The screen every input is painted on, made once: a new 800x600 bitmap for
// each input would cost most of an input's time. Each input starts it as a
// new one starts: white, unclipped, with the canvas's first font, brush and pen.
TBitmap& Screen()
{
    static TBitmap screen(ScreenWidth, ScreenHeight);
    TCanvas* canvas = screen.Canvas();
    const TFont font;
    const TBrush brush;
    const TPen pen;
    canvas->RestoreClip(Rect(0, 0, ScreenWidth, ScreenHeight));
    canvas->SetBrush(&brush);
    canvas->FillRect(canvas->ClipRect());
    canvas->SetFont(&font);
    canvas->SetPen(&pen);
    canvas->MoveTo(0, 0);
    return screen;
}

void LayOutAndPaint(TSectionList& root, TBitmap& screen, int width)
{
    TCanvas* canvas = screen.Canvas();
    int maxWidth = 0;
    int curs = 0;
    const int height = root.LayOutAll(canvas, MarginHeight, width, maxWidth, curs);
    PaintScreen(root, canvas, 0);
    PaintScreen(root, canvas, height > ScreenHeight ? ScreenHeight : height / 2);

    // A small exposed strip part way across, as when a window above moves.
    const TRect saved = canvas->IntersectClip(Rect(ScreenWidth / 3, 100, ScreenWidth / 3 + 150, 180));
    PaintScreen(root, canvas, height / 3);
    canvas->RestoreClip(saved);
    root.SetScrollTop(0);

    ProbeDocument(root, canvas, width, height);
}

void Read(const std::string& bytes)
{
    // The input's first byte chooses the first width, 40 to 805 pixels.
    const int width = bytes.empty() ? 400 : 40 + static_cast<unsigned char>(bytes[0]) * 3;
    TBitmap& screen = Screen();
    // The pictures of one input go with its host, not kept for the next.
    TStandaloneHost host;
    host.GetImage = ServePicture;
    TSectionList root(host);
    TStringList anchors;
    THtmlParseInfo info;
    try {
        ParseHtmlBuffer(root, anchors, bytes, {}, info);
    } catch (const EParseError&) {
    }
    LayOutAndPaint(root, screen, width);
    LayOutAndPaint(root, screen, ScreenWidth - 2 * MarginWidth);
    root.Clear();
    SetOpenForm(nullptr);
}

}  // namespace

// The toolkit, its fonts and the pictures start once, with every kind of
// form control, before the inputs are counted: what they keep for the life
// of the process is no leak of an input.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Read("<body background=tile.gif><form><input><input type=checkbox><input type=radio><input type=submit>"
         "<select><option>a</select><select size=3><option>b</select><textarea>c</textarea></form>"
         "<img src=a.gif><img src=ab.gif><img src=abc.bmp><img src=abcd.jpg><img src=abcde.png>"
         "<img src=later.gif></body>");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Read(InputBytes(data, size));
    return 0;
}
