// A list view cell's text on any bytes: the markup laid out in each of its
// three modes (painting, finding the anchor under a point, measuring), and the
// rich-text reader with its layout. Cell texts come from files the user
// loads and from the pages the ranking check reads.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/ImgList.h"
#include "controls/ExListVMarkup.h"
#include "controls/ExListVRich.h"

namespace {

// Every character 7 pixels wide and 16 high; drawing draws nothing.
class TNullCanvas : public TCanvas {
public:
    TSize TextExtent(const AnsiString& text) override { return {int(text.size()) * 7, 16}; }
    void TextOut(int, int, const AnsiString&) override {}
    void TextRect(const TRect&, int, int, const AnsiString&) override {}
    void FillRect(const TRect&) override {}
    void FrameRect(const TRect&) override {}
    void Rectangle(int, int, int, int) override {}
    void Ellipse(int, int, int, int) override {}
    void Polygon(const TPoint*, int) override {}
    void Polyline(const TPoint*, int) override {}
    void LineTo(int, int) override {}
    void DrawFocusRect(const TRect&) override {}
    void DrawBitmap(const TRect&, const TBitmap&, const TRect&, bool, TColor) override {}
    TColor Pixel(int, int) override { return clNone; }
    void SetPixel(int, int, TColor) override {}
    TRect ClipRect() override { return FClip; }
    TRect IntersectClip(const TRect& rect) override
    {
        const TRect saved = FClip;
        FClip = IntersectRect(FClip, rect);
        return saved;
    }
    void RestoreClip(const TRect& saved) override { FClip = saved; }

private:
    TRect FClip = Rect(0, 0, 400, 200);
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TImageList* images = [] {
        auto* list = new TImageList(nullptr);
        TBitmap strip(48, 16);
        list->Add(&strip, nullptr);
        return list;
    }();
    const AnsiString text(reinterpret_cast<const char*>(data), size);
    TNullCanvas canvas;
    TMarkupContext context;
    context.Images = images;
    const TRect cell = Rect(4, 0, 180, 40);
    RenderMarkup(canvas, text, cell, context, mmPaint);
    RenderMarkup(canvas, text, cell, context, mmHitTest, {30, 8});
    context.KeepColors = true;
    RenderMarkup(canvas, text, cell, context, mmMeasure);

    TExRichEdit rich;
    rich.SetRichText(text);
    rich.Format(canvas, cell, clWhite, false);
    RichPlainText(rich.Document());
    return 0;
}
