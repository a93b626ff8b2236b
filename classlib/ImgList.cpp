#include "classlib/ImgList.h"

#include <QImage>

#include "classlib/QtBridge.h"

TImageList::TImageList(TComponent* AOwner) : TComponent(AOwner) {}

TImageList::~TImageList() = default;

void TImageList::Changed()
{
    FireEvent(OnChange, this);
}

void TImageList::SetWidth(int width)
{
    if (width == FWidth || width <= 0)
        return;
    FWidth = width;
    FImages.clear();
    Changed();
}

void TImageList::SetHeight(int height)
{
    if (height == FHeight || height <= 0)
        return;
    FHeight = height;
    FImages.clear();
    Changed();
}

namespace {

// Cuts image number i out of a strip; pixels where the mask is white, or
// where the colour is the key, become transparent.
std::unique_ptr<TBitmap> Cut(const QImage& strip, int i, int w, int h, const QImage* mask, bool useKey, QRgb key)
{
    auto out = std::make_unique<TBitmap>(w, h);
    QImage& img = out->Image().image;
    img.fill(Qt::transparent);
    for (int y = 0; y < h && y < strip.height(); ++y) {
        auto* dst = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int sx = i * w + x;
            if (sx >= strip.width())
                break;
            const QRgb px = strip.pixel(sx, y);
            bool clear = false;
            if (mask && sx < mask->width() && y < mask->height())
                clear = (mask->pixel(sx, y) & 0xFFFFFF) == 0xFFFFFF;
            if (useKey && (px & 0xFFFFFF) == key)
                clear = true;
            dst[x] = clear ? 0 : (px | 0xFF000000u);
        }
    }
    return out;
}

}  // namespace

int TImageList::Add(const TBitmap* image, const TBitmap* mask)
{
    if (!image || image->Empty())
        return -1;
    const QImage& strip = image->Image().image;
    const QImage* m = mask && !mask->Empty() ? &mask->Image().image : nullptr;
    const int n = std::max(1, strip.width() / FWidth);
    const int first = Count();
    for (int i = 0; i < n; ++i)
        FImages.push_back(Cut(strip, i, FWidth, FHeight, m, false, 0));
    Changed();
    return first;
}

int TImageList::AddMasked(const TBitmap* image, TColor maskColor)
{
    if (!image || image->Empty())
        return -1;
    const QImage& strip = image->Image().image;
    const TColor key = maskColor == clDefault ? image->GetPixel(0, image->Height() - 1) : ColorToRGB(maskColor);
    const QRgb qkey = ToQColor(key).rgb() & 0xFFFFFF;
    const int n = std::max(1, strip.width() / FWidth);
    const int first = Count();
    for (int i = 0; i < n; ++i)
        FImages.push_back(Cut(strip, i, FWidth, FHeight, nullptr, true, qkey));
    Changed();
    return first;
}

void TImageList::Replace(int index, const TBitmap* image, const TBitmap* mask)
{
    if (index < 0 || index >= Count() || !image || image->Empty())
        return;
    const QImage* m = mask && !mask->Empty() ? &mask->Image().image : nullptr;
    FImages[size_t(index)] = Cut(image->Image().image, 0, FWidth, FHeight, m, false, 0);
    Changed();
}

void TImageList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    FImages.erase(FImages.begin() + index);
    Changed();
}

void TImageList::Clear()
{
    FImages.clear();
    Changed();
}

bool TImageList::GetBitmap(int index, TBitmap* bitmap) const
{
    if (!bitmap || index < 0 || index >= Count())
        return false;
    bitmap->Assign(*FImages[size_t(index)]);
    return true;
}

const TBitmap* TImageList::Image(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return FImages[size_t(index)].get();
}

void TImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) const
{
    const TBitmap* img = Image(index);
    if (!canvas || !img)
        return;
    if (enabled) {
        canvas->DrawBitmap(Bounds(x, y, FWidth, FHeight), *img, Rect(0, 0, FWidth, FHeight), false, clNone);
        return;
    }
    TBitmap grey(*img);
    QImage& q = grey.Image().image;
    for (int yy = 0; yy < q.height(); ++yy) {
        auto* line = reinterpret_cast<QRgb*>(q.scanLine(yy));
        for (int xx = 0; xx < q.width(); ++xx) {
            const int g = (qGray(line[xx]) + 255) / 2;
            line[xx] = qRgba(g, g, g, qAlpha(line[xx]));
        }
    }
    canvas->DrawBitmap(Bounds(x, y, FWidth, FHeight), grey, Rect(0, 0, FWidth, FHeight), false, clNone);
}
