#include "htmlview/HtmlGif.h"

#include <algorithm>
#include <cstring>

#include "classlib/Files.h"
#include "htmlview/HtmlImages.h"
#include "platform/Hooks.h"

// --- LZW ---------------------------------------------------------------------------

namespace {

constexpr int kMaxCodes = 4096;

// Gathers the data sub-blocks from pos up to the zero-length one (or the end
// of the data) into one run of bytes; pos ends after them.
void GatherSubBlocks(const std::uint8_t* data, std::size_t size, std::size_t& pos, std::vector<std::uint8_t>& out)
{
    out.clear();
    while (pos < size) {
        const std::size_t length = data[pos++];
        if (length == 0)
            return;
        const std::size_t take = std::min(length, size - pos);
        out.insert(out.end(), data + pos, data + pos + take);
        pos += take;
    }
}

void SkipSubBlocks(const std::uint8_t* data, std::size_t size, std::size_t& pos)
{
    while (pos < size) {
        const std::size_t length = data[pos++];
        if (length == 0)
            return;
        pos += std::min(length, size - pos);
    }
}

struct LzwTables {
    std::uint16_t prefix[kMaxCodes];
    std::uint16_t length[kMaxCodes];
    std::uint8_t suffix[kMaxCodes];
    std::uint8_t first[kMaxCodes];
};

}  // namespace

TLzwResult DecodeGifLzw(const std::uint8_t* data, std::size_t size, std::size_t& pos, std::uint8_t* out,
                        std::size_t count, std::size_t& written)
{
    written = 0;
    if (pos >= size)
        return TLzwResult::OutOfData;
    const int codeSize = data[pos++];
    std::vector<std::uint8_t> bytes;
    GatherSubBlocks(data, size, pos, bytes);
    if (codeSize < 1 || codeSize > 8)
        return TLzwResult::BadCodeSize;

    auto tables = std::make_unique<LzwTables>();
    const int clearCode = 1 << codeSize;
    const int endCode = clearCode + 1;
    for (int i = 0; i < clearCode; ++i) {
        tables->suffix[i] = std::uint8_t(i);
        tables->first[i] = std::uint8_t(i);
        tables->length[i] = 1;
        tables->prefix[i] = 0;
    }
    int width = codeSize + 1;
    int freeCode = clearCode + 2;
    int previous = -1;

    // Codes come least significant bit first.
    std::uint64_t bits = 0;
    int bitCount = 0;
    std::size_t next = 0;
    const std::size_t available = bytes.size();
    const std::uint8_t* in = bytes.data();
    std::size_t at = 0;

    while (at < count) {
        while (bitCount < width) {
            if (next >= available) {
                written = at;
                return TLzwResult::OutOfData;
            }
            bits |= std::uint64_t(in[next++]) << bitCount;
            bitCount += 8;
        }
        const int code = int(bits & ((1u << width) - 1));
        bits >>= width;
        bitCount -= width;

        if (code == clearCode) {
            width = codeSize + 1;
            freeCode = clearCode + 2;
            previous = -1;
            continue;
        }
        if (code == endCode)
            break;

        int string;      // the code whose string is written
        int tail = -1;   // a character written after it (the code not yet in the table)
        if (previous < 0) {
            if (code >= clearCode) {
                written = at;
                return TLzwResult::BadCode;
            }
            string = code;
        } else if (code < freeCode) {
            string = code;
        } else if (code == freeCode && freeCode < kMaxCodes) {
            string = previous;
            tail = tables->first[previous];
        } else {
            written = at;
            return TLzwResult::BadCode;
        }

        // Written back to front along the prefix chain; only what fits in
        // the frame is stored.
        const std::size_t length = tables->length[string];
        const std::size_t total = length + (tail >= 0 ? 1 : 0);
        if (at + total <= count) {
            std::uint8_t* p = out + at + length - 1;
            int c = string;
            while (c >= clearCode) {
                *p-- = tables->suffix[c];
                c = tables->prefix[c];
            }
            *p = std::uint8_t(c);
            if (tail >= 0)
                out[at + length] = std::uint8_t(tail);
        } else {
            std::size_t i = at + length - 1;
            int c = string;
            while (c >= clearCode) {
                if (i < count)
                    out[i] = tables->suffix[c];
                --i;
                c = tables->prefix[c];
            }
            if (i < count)
                out[i] = std::uint8_t(c);
            if (tail >= 0 && at + length < count)
                out[at + length] = std::uint8_t(tail);
        }

        if (previous >= 0 && freeCode < kMaxCodes) {
            tables->prefix[freeCode] = std::uint16_t(previous);
            tables->suffix[freeCode] = tail >= 0 ? std::uint8_t(tail) : tables->first[code];
            tables->first[freeCode] = tables->first[previous];
            tables->length[freeCode] = std::uint16_t(tables->length[previous] + 1);
            ++freeCode;
            if (freeCode == (1 << width) && width < 12)
                ++width;
        }
        previous = code;
        at = std::min(at + total, count);
    }
    written = at;
    return TLzwResult::Done;
}

int InterlacedRow(int n, int height)
{
    // Rows of pass 1 are every 8th from 0, pass 2 every 8th from 4, pass 3
    // every 4th from 2, pass 4 every 2nd from 1.
    const int pass1 = (height + 7) / 8;
    if (n < pass1)
        return n * 8;
    n -= pass1;
    const int pass2 = (height + 3) / 8;
    if (n < pass2)
        return 4 + n * 8;
    n -= pass2;
    const int pass3 = (height + 1) / 4;
    if (n < pass3)
        return 2 + n * 4;
    n -= pass3;
    return 1 + n * 2;
}

// --- pictures ------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

void FillPixels(TBitmap& bitmap, const TRect& rect, std::uint32_t value)
{
    const TRect r = IntersectRect(rect, Rect(0, 0, bitmap.Width(), bitmap.Height()));
    for (int y = r.Top; y < r.Bottom; ++y)
        std::fill_n(bitmap.ScanLine(y) + r.Left, r.Width(), value);
}

// Copies the pixels of from (at its origin) to rect of to.
void CopyPixels(const TBitmap& from, TBitmap& to, const TRect& rect)
{
    const TRect r = IntersectRect(IntersectRect(rect, Bounds(rect.Left, rect.Top, from.Width(), from.Height())),
                                  Rect(0, 0, to.Width(), to.Height()));
    for (int y = r.Top; y < r.Bottom; ++y)
        std::memcpy(to.ScanLine(y) + r.Left, from.ScanLine(y - rect.Top) + (r.Left - rect.Left), size_t(r.Width()) * 4);
}

std::unique_ptr<TBitmap> CopyArea(const TBitmap& from, const TRect& rect)
{
    auto copy = std::make_unique<TBitmap>(rect.Width(), rect.Height());
    for (int y = 0; y < rect.Height(); ++y) {
        const std::uint32_t* src = from.ScanLine(rect.Top + y);
        if (src)
            std::memcpy(copy->ScanLine(y), src + rect.Left, size_t(rect.Width()) * 4);
    }
    return copy;
}

int Word(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

}  // namespace

void PaintImageBackground(TCanvas* canvas, const TRect& rect, const TImageBackground& background)
{
    if (rect.IsEmpty())
        return;
    const TBitmap* tile = background.Tile;
    if (!tile || tile->Empty()) {
        canvas->Brush()->SetColor(PaletteRelative(background.Color));
        canvas->Brush()->SetStyle(bsSolid);
        canvas->FillRect(rect);
        return;
    }
    // Tiles line up with the page: the first one starts at the page origin
    // plus a whole number of tiles.
    const int tw = tile->Width(), th = tile->Height();
    const auto firstTile = [](int from, int origin, int step) {
        const int offset = ((from - origin) % step + step) % step;
        return from - offset;
    };
    const TRect saved = canvas->IntersectClip(rect);
    for (int y = firstTile(rect.Top, background.PageOrigin.y, th); y < rect.Bottom; y += th)
        for (int x = firstTile(rect.Left, background.PageOrigin.x, tw); x < rect.Right; x += tw)
            canvas->DrawBitmap(Bounds(x, y, tw, th), *tile, Rect(0, 0, tw, th), false, clNone);
    canvas->RestoreClip(saved);
}

// --- TGIFImage -----------------------------------------------------------------------

TGIFImage::TGIFImage() = default;
TGIFImage::~TGIFImage() = default;

void TGIFImage::ClearFrames()
{
    FFrames.clear();
    FFrameIndex = 1;
    FLoopCount = 1;
    FPass = 1;
    FSkipStep = true;
    FUnloaded = true;
    FHasTransparency = false;
    FShowsPage = false;
    FAnimated = false;
    FPixelsHeld = 0;
}

bool TGIFImage::LoadGif()
{
    ClearFrames();
    const auto* data = reinterpret_cast<const std::uint8_t*>(FData.Memory());
    const std::size_t size = std::size_t(FData.Size());
    if (size < 3 || std::memcmp(data, "GIF", 3) != 0)
        return false;
    if (size < 13)
        return false;
    const int screenWidth = Word(data + 6), screenHeight = Word(data + 8);
    if (screenWidth > kMaxGifSide || screenHeight > kMaxGifSide ||
        (long long)screenWidth * screenHeight > kMaxGifScreenPixels)
        return false;
    const int screenFlags = data[10];
    FPos = 13;
    FGlobalPalette.fill(0);
    FGlobalColorBits = 0;
    if (screenFlags & 0x80) {
        FGlobalColorBits = (screenFlags & 7) + 1;
        const std::size_t tableBytes = std::size_t(3) << FGlobalColorBits;
        const std::size_t take = std::min(tableBytes, size - FPos);
        std::memcpy(FGlobalPalette.data(), data + FPos, take);
        FPos += take;
    }

    std::uint8_t graphicControl[6] = {};
    CodePageString comment;
    while (FPos < size) {
        const std::uint8_t introducer = data[FPos++];
        if (introducer == '!') {
            if (FPos >= size)
                break;
            const std::uint8_t label = data[FPos++];
            if (label == 0x01) {
                SkipSubBlocks(data, size, FPos);
            } else if (label == 0xF9) {
                // The first sub-block holds flags, delay and transparent index.
                std::memset(graphicControl, 0, sizeof graphicControl);
                if (FPos < size) {
                    const std::size_t length = data[FPos];
                    graphicControl[0] = std::uint8_t(length);
                    for (std::size_t i = 0; i < 4 && i < length && FPos + 1 + i < size; ++i)
                        graphicControl[1 + i] = data[FPos + 1 + i];
                }
                SkipSubBlocks(data, size, FPos);
            } else if (label == 0xFE) {
                std::vector<std::uint8_t> text;
                GatherSubBlocks(data, size, FPos, text);
                comment.append(text.begin(), text.end());
            } else if (label == 0xFF) {
                const std::size_t start = FPos;
                if (start < size && data[start] == 11 && start + 12 <= size &&
                    std::memcmp(data + start + 1, "NETSCAPE2.0", 11) == 0) {
                    FPos = start + 12;
                    if (FPos + 4 <= size && data[FPos] >= 3 && data[FPos + 1] == 1)
                        FLoopCount = Word(data + FPos + 2);
                }
                SkipSubBlocks(data, size, FPos);
            } else {
                break;
            }
        } else if (introducer == 0x2C) {
            if (int(FFrames.size()) >= kMaxGifFrames)
                break;
            auto frame = std::make_unique<TFrame>();
            frame->Owner = this;
            if (!ReadFrame(*frame, graphicControl))
                break;
            FGlobalColorBits = std::max(FGlobalColorBits, frame->LocalColorBits);
            if (frame->Transparent)
                FHasTransparency = true;
            frame->Comment = comment;
            comment.clear();
            std::memset(graphicControl, 0, sizeof graphicControl);
            FFrames.push_back(std::move(frame));
        } else {
            break;  // the trailer, or a block this reader does not know
        }
    }
    if (FFrames.empty())
        return false;

    FWidth = screenWidth;
    FHeight = screenHeight;
    for (const auto& f : FFrames) {
        FWidth = std::max(FWidth, f->Left + f->Width);
        FHeight = std::max(FHeight, f->Top + f->Height);
    }
    // The page shows through wherever no frame has drawn yet, or a frame was
    // taken away again: those places need the composite's mask, opaque
    // frames or not.
    FShowsPage = FHasTransparency || FFrames.front()->Area() != Rect(0, 0, FWidth, FHeight) ||
                 std::any_of(FFrames.begin(), FFrames.end(), [](const auto& f) { return f->Disposal >= 2; });
    FAnimated = FFrames.size() > 1;
    FUnloaded = false;
    if (!FProbeOnly) {
        MakeComposite();
        DrawFrame();
        FData.Clear();
    }
    return true;
}

bool TGIFImage::ReadFrame(TFrame& frame, const std::uint8_t* graphicControl)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(FData.Memory());
    const std::size_t size = std::size_t(FData.Size());
    if (FPos + 9 > size)
        return false;
    const std::uint8_t* d = data + FPos;
    frame.Left = Word(d);
    frame.Top = Word(d + 2);
    frame.Width = Word(d + 4);
    frame.Height = Word(d + 6);
    const int flags = d[8];
    FPos += 9;
    if (frame.Left + frame.Width > kMaxGifSide || frame.Top + frame.Height > kMaxGifSide)
        return false;
    const long long pixels = (long long)frame.Width * frame.Height;
    if (FPixelsHeld + pixels > kMaxGifPixels)
        return false;
    FPixelsHeld += pixels;

    if (flags & 0x80) {
        frame.HasLocalTable = true;
        frame.LocalColorBits = (flags & 7) + 1;
        const std::size_t tableBytes = std::size_t(3) << frame.LocalColorBits;
        const std::size_t take = std::min(tableBytes, size - FPos);
        if (!FProbeOnly)
            std::memcpy(frame.ColorTable.data(), data + FPos, take);
        FPos += take;
    } else {
        frame.ColorTable = FGlobalPalette;
    }
    frame.Interlaced = (flags & 0x40) != 0;
    const int controlFlags = graphicControl[1];
    frame.Disposal = (controlFlags >> 2) & 7;
    if (frame.Disposal > 3)
        frame.Disposal = 2;
    frame.Delay = Word(graphicControl + 2) * 10;
    frame.Transparent = (controlFlags & 1) != 0;
    frame.TransparentIndex = graphicControl[4];

    if (FProbeOnly) {
        if (FPos < size)
            ++FPos;  // the code size
        SkipSubBlocks(data, size, FPos);
    } else {
        const std::size_t count = std::size_t(pixels);
        std::vector<std::uint8_t> indices(count);
        std::size_t written = 0;
        DecodeGifLzw(data, size, FPos, indices.data(), count, written);

        // The table's colours, or the nearest ones of the shared palette on
        // a display that has one; the transparent index is black.
        std::uint32_t colors[256];
        const TPalette* palette = SharedPalette();
        for (int i = 0; i < 256; ++i) {
            int r = frame.ColorTable[size_t(i) * 3], g = frame.ColorTable[size_t(i) * 3 + 1],
                b = frame.ColorTable[size_t(i) * 3 + 2];
            if (palette) {
                const TPaletteEntry& e = (*palette)[size_t(GetNearestPaletteIndex(*palette, RGB(r, g, b)))];
                r = e.Red;
                g = e.Green;
                b = e.Blue;
            }
            colors[i] = kBlack | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(b);
        }
        if (frame.Transparent)
            colors[frame.TransparentIndex] = kBlack;

        auto bitmap = std::make_shared<TBitmap>(frame.Width, frame.Height);
        std::shared_ptr<TBitmap> mask;
        if (frame.Transparent)
            mask = std::make_shared<TBitmap>(frame.Width, frame.Height);
        for (int n = 0; n < frame.Height; ++n) {
            const int row = frame.Interlaced ? InterlacedRow(n, frame.Height) : n;
            const std::uint8_t* line = indices.data() + size_t(n) * size_t(frame.Width);
            std::uint32_t* out = bitmap->ScanLine(row);
            for (int x = 0; x < frame.Width; ++x)
                out[x] = colors[line[x]];
            if (mask) {
                std::uint32_t* bits = mask->ScanLine(row);
                for (int x = 0; x < frame.Width; ++x)
                    bits[x] = line[x] == frame.TransparentIndex ? kWhite : kBlack;
            }
        }
        frame.Bitmap = std::move(bitmap);
        frame.Mask = std::move(mask);
    }
    // Padding zeros after a frame's data are not a block of their own.
    while (FPos < size && data[FPos] == 0)
        ++FPos;
    return true;
}

void TGIFImage::MakeComposite()
{
    FComposite.SetSize(FWidth, FHeight);
    FillPixels(FComposite, Rect(0, 0, FWidth, FHeight), kBlack);
    FCompositeMask.reset();
    if (FShowsPage)
        FCompositeMask = std::make_unique<TBitmap>(FWidth, FHeight);  // white: nothing drawn yet
}

void TGIFImage::DrawFrame()
{
    if (FProbeOnly || FFrames.empty() || FComposite.Empty())
        return;
    TFrame& f = Frame(FFrameIndex);
    const TRect area = IntersectRect(f.Area(), Rect(0, 0, FWidth, FHeight));
    if (area.IsEmpty() || !f.Bitmap)
        return;
    if (f.Disposal == 3) {
        f.SavedImage = CopyArea(FComposite, area);
        if (FCompositeMask)
            f.SavedMask = CopyArea(*FCompositeMask, area);
    }
    for (int y = area.Top; y < area.Bottom; ++y) {
        const std::uint32_t* src = f.Bitmap->ScanLine(y - f.Top) + (area.Left - f.Left);
        std::uint32_t* dst = FComposite.ScanLine(y) + area.Left;
        std::uint32_t* dstMask = FCompositeMask ? FCompositeMask->ScanLine(y) + area.Left : nullptr;
        if (f.Transparent && f.Mask) {
            // Transparent pixels of the frame leave what was there.
            const std::uint32_t* bits = f.Mask->ScanLine(y - f.Top) + (area.Left - f.Left);
            for (int x = 0; x < area.Width(); ++x) {
                if (bits[x] == kBlack) {
                    dst[x] = src[x];
                    if (dstMask)
                        dstMask[x] = kBlack;
                }
            }
        } else {
            std::memcpy(dst, src, size_t(area.Width()) * 4);
            if (dstMask)
                std::fill_n(dstMask, area.Width(), kBlack);
        }
    }
}

void TGIFImage::UndoFrame()
{
    if (FProbeOnly || FFrames.empty() || FComposite.Empty())
        return;
    TFrame& f = Frame(FFrameIndex);
    const TRect area = IntersectRect(f.Area(), Rect(0, 0, FWidth, FHeight));
    if (f.Disposal == 2) {
        FillPixels(FComposite, area, kBlack);
        if (FCompositeMask)
            FillPixels(*FCompositeMask, area, kWhite);
    } else if (f.Disposal == 3) {
        if (f.SavedImage)
            CopyPixels(*f.SavedImage, FComposite, area);
        if (f.SavedMask && FCompositeMask)
            CopyPixels(*f.SavedMask, *FCompositeMask, area);
    }
}

void TGIFImage::Draw(TCanvas* canvas, int x, int y, int w, int h, const TImageBackground* background)
{
    FDrawRect = Bounds(x, y, w, h);
    if (!FShown || FUnloaded || FProbeOnly || FFrames.empty() || FComposite.Empty() || w <= 0 || h <= 0)
        return;
    const TRect dest = FDrawRect;
    const TRect whole = Rect(0, 0, FWidth, FHeight);
    if (!FCompositeMask) {
        canvas->DrawBitmap(dest, FComposite, whole, false, clNone);
        return;
    }
    if (Frame(FFrameIndex).Disposal >= 2 || !background || (long long)w * h > kMaxGifScreenPixels) {
        canvas->DrawMasked(dest, FComposite, whole, *FCompositeMask);
        return;
    }
    // Composed over what lies under the image, then copied in one piece. The
    // background is painted anew each time, so that a scrolled page or a
    // scaled image never shows a stale copy.
    FBackground.SetSize(w, h);
    TCanvas* off = FBackground.Canvas();
    TImageBackground shifted = *background;
    shifted.PageOrigin = {background->PageOrigin.x - x, background->PageOrigin.y - y};
    PaintImageBackground(off, Rect(0, 0, w, h), shifted);
    off->DrawMasked(Rect(0, 0, w, h), FComposite, whole, *FCompositeMask);
    canvas->DrawBitmap(dest, FBackground, Rect(0, 0, w, h), false, clNone);
}

std::uint32_t TGIFImage::IntervalOf(const TFrame& frame, bool rounded) const
{
    const int delay = frame.Delay > 0 ? frame.Delay : kZeroDelayMs;
    int interval;
    if (rounded)
        interval = MulDiv(delay, 100, FSpeedPercent);
    else
        interval = FSpeedPercent > 0 ? delay * 100 / FSpeedPercent : -1;
    return std::uint32_t(std::max(1, interval));
}

bool TGIFImage::StepIfDue(TControl* control)
{
    // A speed of 0 or less holds the animation where it is.
    if (!FRunning || FUnloaded || FProbeOnly || FFrames.empty() || FSpeedPercent <= 0)
        return false;
    const std::uint32_t now = timeGetTime();
    // Unsigned difference: the clock may wrap.
    if (now - FStepTime < FStepInterval)
        return false;
    FStepTime = now;
    if (FLoopCount >= 1 && FFrameIndex == FrameCount()) {
        if (FPass >= FLoopCount) {
            FRunning = false;
            return false;
        }
        ++FPass;
    }
    bool stepped = false;
    if (FSkipStep) {
        FSkipStep = false;
    } else {
        UndoFrame();
        FFrameIndex = FFrameIndex >= FrameCount() ? 1 : FFrameIndex + 1;
        DrawFrame();
        if (control)
            control->InvalidateRect(FDrawRect);
        stepped = true;
    }
    FStepInterval = IntervalOf(Frame(FFrameIndex), true);
    return stepped;
}

void TGIFImage::SetRunning(bool running)
{
    if (running == FRunning)
        return;
    FRunning = running;
    FPass = 1;
    if (running && FrameCount() > 1) {
        FStepInterval = IntervalOf(Frame(FFrameIndex), false);
        FStepTime = timeGetTime();
    }
}

void TGIFImage::GoToFrame(int index)
{
    if (index == FFrameIndex || FFrames.empty())
        return;
    UndoFrame();
    if (index > FrameCount())
        index = 1;
    else if (index < 1)
        index = FrameCount();
    FFrameIndex = index;
    DrawFrame();
}

const TBitmap* TGIFImage::FirstFrameBitmap() const
{
    if (FUnloaded || FProbeOnly || FFrames.empty())
        return nullptr;
    return FFrames.front()->Bitmap.get();
}

const TBitmap* TGIFImage::FirstFrameMask() const
{
    if (FUnloaded || FProbeOnly || FFrames.empty() || !FHasTransparency)
        return nullptr;
    return FFrames.front()->Mask.get();
}

std::unique_ptr<TGIFImage> TGIFImage::Duplicate() const
{
    auto copy = std::make_unique<TGIFImage>();
    copy->FAnimated = FAnimated;
    copy->FUnloaded = FUnloaded;
    copy->FWidth = FWidth;
    copy->FHeight = FHeight;
    copy->FLoopCount = FLoopCount;
    copy->FSpeedPercent = FSpeedPercent;
    copy->FHasTransparency = FHasTransparency;
    copy->FShowsPage = FShowsPage;
    copy->FShown = FShown;
    copy->FGlobalColorBits = FGlobalColorBits;
    copy->FGlobalPalette = FGlobalPalette;
    copy->FSkipStep = FSkipStep;
    copy->FStepInterval = FStepInterval;
    copy->FCopied = true;
    for (const auto& f : FFrames) {
        auto frame = std::make_unique<TFrame>();
        frame->Left = f->Left;
        frame->Top = f->Top;
        frame->Width = f->Width;
        frame->Height = f->Height;
        frame->LocalColorBits = f->LocalColorBits;
        frame->Delay = f->Delay;
        frame->Disposal = f->Disposal;
        frame->HasLocalTable = f->HasLocalTable;
        frame->Interlaced = f->Interlaced;
        frame->Transparent = f->Transparent;
        frame->TransparentIndex = f->TransparentIndex;
        frame->ColorTable = f->ColorTable;
        frame->Bitmap = f->Bitmap;
        frame->Mask = f->Mask;
        frame->Owner = copy.get();
        frame->Comment = f->Comment;
        copy->FFrames.push_back(std::move(frame));
    }
    copy->MakeComposite();
    copy->FFrameIndex = 1;
    copy->FPass = 1;
    copy->DrawFrame();
    return copy;
}

// --- loading -------------------------------------------------------------------------

namespace {

std::unique_ptr<TGIFImage> LoadGifData(bool& still, const std::string& bytes, const std::function<void()>& incomplete)
{
    still = true;
    try {
        auto image = std::make_unique<TGIFImage>();
        image->Data().Write(bytes.data(), std::int64_t(bytes.size()));
        image->SetProbeOnly(true);
        if (!image->LoadGif())
            return nullptr;
        image->SetRunning(false);
        image->SetShown(false);
        still = !image->Animated();
        image->SetProbeOnly(false);
        bool loaded = false;
        try {
            loaded = image->LoadGif();
        } catch (...) {
            loaded = false;
        }
        if (!loaded) {
            if (incomplete)
                incomplete();
            return nullptr;
        }
        return image;
    } catch (const std::exception&) {
        return nullptr;  // the image fetch shows the broken-image picture instead
    }
}

}  // namespace

std::unique_ptr<TGIFImage> LoadGifFile(const CodePageString& fileName, bool& still,
                                       const std::function<void()>& incomplete)
{
    still = true;
    std::string bytes;
    try {
        bytes = ReadFileBytes(fileName);
    } catch (const std::exception&) {
        return nullptr;
    }
    return LoadGifData(still, bytes, incomplete);
}

std::unique_ptr<TGIFImage> LoadGifStream(bool& still, TMemoryStream* stream, const std::function<void()>& incomplete)
{
    still = true;
    if (!stream)
        return nullptr;
    return LoadGifData(still, stream->DataString(), incomplete);
}
