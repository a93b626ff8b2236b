// The viewer's GIF reader (87a and 89a) and its animation.
//
// A GIF is loaded into a TGIFImage: its frames, each decoded once into a
// bitmap (transparent pixels black) and, when the frame has a transparent
// colour, a mask (white = transparent); and a composite of the current
// animation state, which every step changes by one frame's area. The
// decoding itself is a pure function over bytes (DecodeGifLzw), so that it
// can be tested and fuzzed on its own.
//
// Everything that comes from the file is bounded here: the LZW code size,
// every code, every write into a frame, the frame and screen sizes, the
// number of frames and the pixels all frames may hold together.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Controls.h"
#include "classlib/Graphics.h"

// At most this many frames; image descriptors after them are ignored.
constexpr int kMaxGifFrames = 256;
// The logical screen and every frame stay within this many pixels a side.
constexpr int kMaxGifSide = 4096;
// All frames of one GIF together hold at most this many pixels; a frame
// that would pass it ends the walk, as an unknown block does.
constexpr long long kMaxGifPixels = 32LL * 1024 * 1024;
// The screen (and so the composite) holds at most this many pixels.
constexpr long long kMaxGifScreenPixels = 16LL * 1024 * 1024;
// A frame delay of 0 is shown this long (milliseconds), so that an animation
// of zero delays does not redraw as fast as the timer fires.
constexpr int kZeroDelayMs = 100;

enum class TLzwResult {
    Done,         // the end code, or every pixel filled
    OutOfData,    // the data ended first; the pixels decoded so far stand
    BadCodeSize,  // the code size byte is not 1 to 8: nothing decoded
    BadCode,      // a code beyond the next free code: decoding stopped there
};

// Decodes one frame's LZW data: the code size byte at pos, then the data
// sub-blocks up to the zero-length one (or the end of the data). Writes at
// most count indices to out, in the order they come (rows of an interlaced
// frame in their passes); written receives how many. pos ends after the
// frame's data, whatever the result.
TLzwResult DecodeGifLzw(const std::uint8_t* data, std::size_t size, std::size_t& pos, std::uint8_t* out,
                        std::size_t count, std::size_t& written);

// The row that the n-th decoded row of an interlaced frame of the given
// height lands on (passes 0, 8, 16 ...; 4, 12 ...; 2, 6 ...; 1, 3 ...).
int InterlacedRow(int n, int height);

class TGIFImage;

// One frame of a GIF.
class TFrame : public TObject {
public:
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    int LocalColorBits = 0;  // 0 without a local table
    int Delay = 0;           // milliseconds
    int Disposal = 0;        // 0 none, 1 leave, 2 restore background, 3 restore previous
    bool HasLocalTable = false;
    bool Interlaced = false;
    bool Transparent = false;
    std::uint8_t TransparentIndex = 0;
    std::array<std::uint8_t, 768> ColorTable{};
    // The frame's pictures, shared by the duplicates of an image.
    std::shared_ptr<const TBitmap> Bitmap;  // transparent pixels black
    std::shared_ptr<const TBitmap> Mask;    // white = transparent; only when Transparent
    // What the frame covered before it was drawn (Disposal 3), per image.
    std::unique_ptr<TBitmap> SavedImage;
    std::unique_ptr<TBitmap> SavedMask;
    TGIFImage* Owner = nullptr;
    CodePageString Comment;

    TRect Area() const { return Bounds(Left, Top, Width, Height); }
};

// What lies under a transparent image on the page: the document's
// background picture tiled from the page origin, or a solid colour (the
// table cell's own colour, or the document's background).
struct TImageBackground {
    const TBitmap* Tile = nullptr;  // none: the colour
    TPoint PageOrigin;              // where the page's (0, 0) lies on the canvas
    TColor Color = clWhite;
};

// Paints the background that lies under rect of the canvas.
void PaintImageBackground(TCanvas* canvas, const TRect& rect, const TImageBackground& background);

class TGIFImage : public TPersistent {
public:
    TGIFImage();
    ~TGIFImage() override;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    // Parses Data; false when there is nothing to show (no "GIF" signature,
    // a screen beyond the size caps, or no frame at all).
    virtual bool LoadGif();

    bool Animated() const { return FAnimated; }
    int FrameIndex() const { return FFrameIndex; }
    bool Unloaded() const { return FUnloaded; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int FrameCount() const { return int(FFrames.size()); }
    // Frame 1 to FrameCount.
    TFrame& Frame(int index) const { return *FFrames.at(size_t(index - 1)); }
    int LoopCount() const { return FLoopCount; }
    int SpeedPercent() const { return FSpeedPercent; }
    void SetSpeedPercent(int percent) { FSpeedPercent = percent; }
    bool HasTransparency() const { return FHasTransparency; }
    // Somewhere the page shows through: a frame with a transparent colour,
    // a first frame smaller than the screen, or a frame taken away again
    // (disposal 2 or 3). The composite then has its mask.
    bool ShowsPage() const { return FShowsPage; }
    bool Shown() const { return FShown; }
    void SetShown(bool shown) { FShown = shown; }
    int GlobalColorBits() const { return FGlobalColorBits; }
    const std::array<std::uint8_t, 768>& GlobalPalette() const { return FGlobalPalette; }
    bool Running() const { return FRunning; }
    int Pass() const { return FPass; }
    bool Copied() const { return FCopied; }
    bool ProbeOnly() const { return FProbeOnly; }
    void SetProbeOnly(bool probe) { FProbeOnly = probe; }
    std::uint32_t StepInterval() const { return FStepInterval; }
    // X, Y, W, H of the last paint.
    TRect DrawRect() const { return FDrawRect; }
    // The current animation state, Width x Height; the mask only where the
    // page shows through (ShowsPage; white = transparent).
    const TBitmap& Composite() const { return FComposite; }
    const TBitmap* CompositeMask() const { return FCompositeMask.get(); }

    // The raw GIF data of a load in progress.
    TMemoryStream& Data() { return FData; }

    // Paints the current state stretched into (X, Y, W, H). A transparent
    // image is drawn through its mask; over a background that is given it
    // is composed off-screen first and copied once, so it never flickers.
    void Draw(TCanvas* canvas, int x, int y, int w, int h, const TImageBackground* background = nullptr);
    // Advances the animation when its time has come (on timeGetTime) and
    // invalidates the last painted rectangle of control (none: no
    // invalidation). True when a new frame is shown.
    bool StepIfDue(TControl* control);
    void SetRunning(bool running);
    void GoToFrame(int index);
    // The first frame as plain pictures; none while Unloaded or ProbeOnly,
    // the mask none unless HasTransparency.
    const TBitmap* FirstFrameBitmap() const;
    const TBitmap* FirstFrameMask() const;
    // A new image sharing this one's frame pictures, with its own composite,
    // so that every occurrence on a page animates on its own.
    std::unique_ptr<TGIFImage> Duplicate() const;

private:
    void ClearFrames();
    bool ReadFrame(TFrame& frame, const std::uint8_t* graphicControl);
    void MakeComposite();
    void DrawFrame();
    void UndoFrame();
    std::uint32_t IntervalOf(const TFrame& frame, bool rounded) const;

    bool FAnimated = false;
    int FFrameIndex = 1;
    bool FUnloaded = true;
    int FWidth = 0;
    int FHeight = 0;
    std::vector<std::unique_ptr<TFrame>> FFrames;
    int FLoopCount = 1;
    int FSpeedPercent = 100;
    bool FHasTransparency = false;
    bool FShowsPage = false;
    bool FShown = true;
    int FGlobalColorBits = 0;
    std::array<std::uint8_t, 768> FGlobalPalette{};
    TBitmap FComposite;
    std::unique_ptr<TBitmap> FCompositeMask;
    TBitmap FBackground;
    TRect FDrawRect;
    bool FRunning = false;
    int FPass = 1;
    bool FSkipStep = true;
    bool FProbeOnly = false;
    bool FCopied = false;
    TMemoryStream FData;
    std::uint32_t FStepTime = 0;
    std::uint32_t FStepInterval = 1;
    // Bounds the reading of Data during LoadGif.
    std::size_t FPos = 0;
    long long FPixelsHeld = 0;
};

// Loads a GIF from a file or from a stream's whole content: a structure-only
// pass first, then the full load. Still tells whether the GIF has a single
// frame. None when the data are not a GIF that can be shown. Incomplete is
// called when the structure was read but the full load failed (short of
// memory, most often): the image fetch then frees the pictures nobody shows.
std::unique_ptr<TGIFImage> LoadGifFile(const CodePageString& fileName, bool& still,
                                       const std::function<void()>& incomplete = {});
std::unique_ptr<TGIFImage> LoadGifStream(bool& still, TMemoryStream* stream,
                                         const std::function<void()>& incomplete = {});
