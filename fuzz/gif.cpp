// The GIF decoder on any bytes: loading (both passes), every frame with its
// disposal, painting through the mask, duplicates, and the transparent-colour
// probe of the image fetch.
#include <cstddef>
#include <cstdint>

#include "htmlview/HtmlGif.h"
#include "htmlview/HtmlImages.h"
#include "platform/Hooks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool once = [] {
        // No display: the decoder maps colours as for a true-colour screen.
        GetHooks().screenColorBits = [] { return 24; };
        return true;
    }();
    (void)once;

    TMemoryStream stream;
    stream.Write(data, std::int64_t(size));
    TColor color = clNone;
    GifTransparentColor(stream, color);

    bool still = true;
    auto gif = LoadGifStream(still, &stream);
    if (!gif)
        return 0;
    gif->SetShown(true);
    TBitmap page(16, 16);
    TImageBackground background;
    for (int i = 1; i <= gif->FrameCount(); ++i) {
        gif->GoToFrame(i);
        gif->Draw(page.Canvas(), 1, 1, 7, 9, i % 2 ? &background : nullptr);
    }
    auto copy = gif->Duplicate();
    copy->GoToFrame(copy->FrameCount());
    gif->FirstFrameBitmap();
    gif->FirstFrameMask();
    return 0;
}
