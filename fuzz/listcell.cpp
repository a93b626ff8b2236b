// A list view cell's text on any bytes: the markup laid out in each of its
// three modes (painting, finding the anchor under a point, measuring), and the
// rich-text reader with its layout, plain and recoloured as a selected cell
// shows it. Cell texts come from files the user loads and from the pages the
// ranking check reads. Besides crashes, what the renderers promise is held:
// the canvas's font and brush come back as they were, hit-testing and
// measuring draw nothing, and recolouring keeps the text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "classlib/ImgList.h"
#include "controls/ExListVMarkup.h"
#include "controls/ExListVRich.h"
#include "fuzz/FuzzSupport.h"
#include "support/FixedCanvas.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

// Lays text out and checks that the canvas is left as it was found.
TMarkupResult Render(TFixedCanvas& canvas, const CodePageString& text, const TRect& cell, const TMarkupContext& context,
                     TMarkupMode mode, TPoint point = {})
{
    const TFont font(*canvas.Font());
    const TColor brush = canvas.Brush()->Color();
    const TBrushStyle brushStyle = canvas.Brush()->Style();
    canvas.Clear();
    TMarkupResult result = RenderMarkup(canvas, text, cell, context, mode, point);
    Require(*canvas.Font() == font, "the markup leaves the canvas's font changed");
    Require(canvas.Brush()->Color() == brush && canvas.Brush()->Style() == brushStyle,
            "the markup leaves the canvas's brush changed");
    Require(mode == mmPaint || canvas.Ops().empty(), "hit-testing or measuring drew");
    Require(result.Height >= 0 && result.Width >= 0, "a negative size");
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TImageList* images = [] {
        auto* list = new TImageList(nullptr);
        TBitmap strip(48, 16);
        list->Add(&strip, nullptr);
        return list;
    }();
    const CodePageString text = InputBytes(data, size);
    TFixedCanvas canvas(400, 200);
    canvas.Font()->SetColor(clBlack);
    TMarkupContext context;
    context.Images = images;
    const TRect cell = Rect(4, 0, 180, 40);
    Render(canvas, text, cell, context, mmPaint);
    context.KeepColors = true;
    // The anchor under the point is not checked against the listed anchors: on
    // hostile markup whose quotes span a line's cut, the painting pass can read
    // a tag differently from the measuring pass that lists them.
    Render(canvas, text, cell, context, mmHitTest, {30, 8});
    const TMarkupResult measured = Render(canvas, text, cell, context, mmMeasure);
    Require(measured.VisibleText.size() <= measured.PlainText.size(), "more visible text than text");

    TExRichEdit rich;
    rich.SetRichText(text);
    const CodePageString plain = rich.Text();
    const TFont font(*canvas.Font());
    rich.Format(canvas, cell, clWhite, false);
    rich.RecolorStart(255, clWhite);
    Require(rich.Text() == plain, "recolouring changed the text");
    rich.Format(canvas, cell, clNone, false);
    rich.Format(canvas, Rect(0, 0, 1 << 20, 1 << 20), clNone, true);
    Require(*canvas.Font() == font, "the rich text leaves the canvas's font changed");
    return 0;
}
