#include "htmlview/HtmlImages.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_map>

#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "htmlview/HtmlGif.h"
#include "platform/Resources.h"

// --- kinds ---------------------------------------------------------------------------

ImageKind GetImageKind(const std::string& data)
{
    if (data.size() < 11)
        return NoImage;
    if (data.compare(0, 4, "GIF8") == 0)
        return data[4] == '9' ? Gif89 : Gif;
    if (data.compare(0, 2, "BM") == 0)
        return Bmp;
    if (data.compare(0, 4, "\x89PNG") == 0)
        return Png;
    if (std::uint8_t(data[0]) == 0xFF && std::uint8_t(data[1]) == 0xD8)
        return Jpg;
    return NoImage;
}

namespace {

std::string ReadHead(const CodePageString& fileName, std::size_t count)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    std::string head(count, '\0');
    head.resize(std::size_t(std::max<std::int64_t>(0, file.Read(head.data(), std::int64_t(count)))));
    return head;
}

}  // namespace

ImageKind GetImageKindOfFile(const CodePageString& fileName)
{
    try {
        return GetImageKind(ReadHead(fileName, 11));
    } catch (const std::exception&) {
        return NoImage;
    }
}

// --- loading -------------------------------------------------------------------------

namespace {

// Bitmaps larger than this are refused before the pixels are read.
constexpr long long kMaxBitmapPixels = 64LL * 1024 * 1024;
constexpr int kMaxBitmapSide = 32768;

int ReadInt32(const std::string& d, std::size_t at)
{
    return int(std::uint32_t(std::uint8_t(d[at])) | (std::uint32_t(std::uint8_t(d[at + 1])) << 8) |
               (std::uint32_t(std::uint8_t(d[at + 2])) << 16) | (std::uint32_t(std::uint8_t(d[at + 3])) << 24));
}

// The size a bitmap file declares is checked before its pixels are taken.
bool BitmapSizeAcceptable(const std::string& bytes)
{
    if (bytes.size() < 26)
        return false;
    const int headerSize = ReadInt32(bytes, 14);
    long long width, height;
    if (headerSize == 12) {  // the old core header: 16-bit sizes
        width = std::uint8_t(bytes[18]) | (std::uint8_t(bytes[19]) << 8);
        height = std::uint8_t(bytes[20]) | (std::uint8_t(bytes[21]) << 8);
    } else {
        width = ReadInt32(bytes, 18);
        height = ReadInt32(bytes, 22);
    }
    if (height < 0)
        height = -height;  // top-down rows
    return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
           width * height <= kMaxBitmapPixels;
}

std::unique_ptr<TBitmap> BitmapFromBytes(const std::string& bytes)
{
    if (!BitmapSizeAcceptable(bytes))
        return nullptr;
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->LoadFromBytes(bytes);
    return bitmap;
}

std::unique_ptr<TBitmap> JpegFromBytes(const std::string& bytes)
{
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(bytes);
    auto bitmap = std::make_unique<TBitmap>(jpeg.Bitmap());
    // A display of 8 bits or fewer shows colour pictures in the shared palette.
    if (DisplayColorBits() <= 8 && !jpeg.Grayscale())
        bitmap = ConvertToDisplayPalette(std::move(bitmap));
    return bitmap;
}

// A bitmap or JPEG picture from its bytes; none for other kinds.
std::unique_ptr<TBitmap> PictureFromBytes(const std::string& bytes)
{
    switch (GetImageKind(bytes)) {
    case Bmp: return BitmapFromBytes(bytes);
    case Jpg: return JpegFromBytes(bytes);
    default: return nullptr;
    }
}

}  // namespace

std::unique_ptr<TBitmap> LoadPictureFile(const CodePageString& fileName, bool convert)
{
    try {
        auto bitmap = PictureFromBytes(ReadFileBytes(fileName));
        if (bitmap && convert)
            bitmap = ConvertToDisplayPalette(std::move(bitmap));
        return bitmap;
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::unique_ptr<TBitmap> LoadPictureWithMask(const CodePageString& fileName, TransparencyKind& transparent,
                                             std::unique_ptr<TBitmap>& mask)
{
    mask.reset();
    if (!FileExists(fileName))
        return nullptr;
    const CodePageString ext = LowerCase(ExtractFileExt(fileName));
    TColor color = clBlack;
    if (ext == ".gif" && GifTransparentColor(fileName, color))
        transparent = TrGif;
    else if (ext == ".png" && PngTransparentColor(fileName, color))
        transparent = TrPng;
    if (transparent == NotTransp)
        return LoadPictureFile(fileName, true);
    auto plain = LoadPictureFile(fileName, false);
    if (!plain)
        return nullptr;
    mask = transparent == LLCorner ? MakeColorMask(*plain, false, 0) : MakeColorMask(*plain, true, color);
    return LoadPictureFile(fileName, true);
}

std::unique_ptr<TBitmap> LoadPictureFromStream(TMemoryStream* stream, TransparencyKind& transparent,
                                               std::unique_ptr<TBitmap>& mask)
{
    mask.reset();
    if (!stream || stream->Size() < 20)
        return nullptr;
    stream->SetPosition(0);
    const std::string& bytes = stream->DataString();
    const ImageKind kind = GetImageKind(bytes);
    if (kind != Bmp && kind != Jpg)
        return nullptr;
    try {
        auto bitmap = PictureFromBytes(bytes);
        if (!bitmap)
            return nullptr;
        if (kind == Jpg)
            transparent = NotTransp;
        if (transparent == LLCorner)
            mask = MakeColorMask(*bitmap, false, 0);
        return ConvertToDisplayPalette(std::move(bitmap));
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::unique_ptr<TBitmap> MakeColorMask(const TBitmap& image, bool useColor, TColor color)
{
    const int w = image.Width(), h = image.Height();
    if (!useColor)
        color = image.GetPixel(0, h - 1);
    TColor key = ColorToRGB(color);
    // On a palette display the colour is the palette's nearest one, as the
    // picture's pixels are.
    if (const TPalette* palette = SharedPalette()) {
        const TPaletteEntry& e = (*palette)[size_t(GetNearestPaletteIndex(*palette, key))];
        key = RGB(e.Red, e.Green, e.Blue);
    }
    const std::uint32_t keyPixel =
        (std::uint32_t(GetRValue(key)) << 16) | (std::uint32_t(GetGValue(key)) << 8) | std::uint32_t(GetBValue(key));
    auto mask = std::make_unique<TBitmap>(w, h);
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* in = image.ScanLine(y);
        std::uint32_t* out = mask->ScanLine(y);
        for (int x = 0; x < w; ++x)
            out[x] = (in[x] & 0xFFFFFF) == keyPixel ? 0xFFFFFFFFu : 0xFF000000u;
    }
    return mask;
}

namespace {

// Reads up to count bytes from the stream's start, putting the position back.
std::string ReadStart(TStream& stream, std::size_t count)
{
    const std::int64_t saved = stream.Position();
    stream.SetPosition(0);
    std::string bytes(count, '\0');
    bytes.resize(std::size_t(std::max<std::int64_t>(0, stream.Read(bytes.data(), std::int64_t(count)))));
    stream.SetPosition(saved);
    return bytes;
}

template <class F>
bool WithFile(const CodePageString& fileName, F probe)
{
    try {
        TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
        return probe(file);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool GifTransparentColor(TStream& stream, TColor& color)
{
    // The screen descriptor, a global table of 256 entries at most, the
    // graphic control block and, without a global table, the first image
    // descriptor with a local table of 256 entries at most.
    const std::string d = ReadStart(stream, 800);
    if (GetImageKind(d) != Gif89 || d.size() < 13)
        return false;
    const int flags = std::uint8_t(d[10]);
    const std::size_t tableBytes = std::size_t(3) << ((flags & 7) + 1);
    const bool global = (flags & 0x80) != 0;
    std::size_t table = 13;
    const std::size_t block = global ? table + tableBytes : table;
    if (block + 7 > d.size() || d[block] != '!' || std::uint8_t(d[block + 1]) != 0xF9)
        return false;
    if (!(std::uint8_t(d[block + 3]) & 1))
        return false;
    const std::size_t index = std::uint8_t(d[block + 6]);
    std::size_t tableEnd = block;
    if (!global) {
        // The index is one of the first image's own table.
        const std::size_t image = block + 3 + std::uint8_t(d[block + 2]) + 1;
        if (image + 10 > d.size() || d[image] != ',')
            return false;
        const int imageFlags = std::uint8_t(d[image + 9]);
        if (!(imageFlags & 0x80))
            return false;
        table = image + 10;
        tableEnd = table + (std::size_t(3) << ((imageFlags & 7) + 1));
    }
    const std::size_t entry = table + index * 3;
    if (entry + 3 > tableEnd || entry + 3 > d.size())
        return false;
    color = RGB(std::uint8_t(d[entry]), std::uint8_t(d[entry + 1]), std::uint8_t(d[entry + 2]));
    return true;
}

bool GifTransparentColor(const CodePageString& fileName, TColor& color)
{
    return WithFile(fileName, [&](TStream& s) { return GifTransparentColor(s, color); });
}

bool PngTransparentColor(TStream& stream, TColor& color)
{
    const std::int64_t saved = stream.Position();
    const auto restore = [&](bool result) {
        stream.SetPosition(saved);
        return result;
    };
    stream.SetPosition(0);
    unsigned char signature[8];
    if (stream.Read(signature, 8) != 8 || std::memcmp(signature, "\x89PNG\r\n\x1a\n", 8) != 0)
        return restore(false);
    std::int64_t at = 8;
    int colorType = -1;
    bool paletteSeen = false;
    const std::int64_t size = stream.Size();
    while (at + 8 <= size) {
        stream.SetPosition(at);
        unsigned char head[8];
        if (stream.Read(head, 8) != 8)
            break;
        const std::uint32_t length = (std::uint32_t(head[0]) << 24) | (std::uint32_t(head[1]) << 16) |
                                     (std::uint32_t(head[2]) << 8) | head[3];
        const std::string type(reinterpret_cast<const char*>(head + 4), 4);
        if (type == "IEND" || type == "IDAT")
            break;
        unsigned char data[13];
        if (type == "IHDR") {
            if (stream.Read(data, 13) != 13)
                break;
            colorType = data[9];
            if (colorType != 3)
                break;
        } else if (type == "PLTE" && colorType == 3) {
            if (stream.Read(data, 3) != 3)
                break;
            color = RGB(data[0], data[1], data[2]);
            paletteSeen = true;
        } else if (type == "tRNS" && colorType == 3) {
            if (stream.Read(data, 1) != 1)
                break;
            if (data[0] < 127 && paletteSeen)
                return restore(true);
        }
        at += 8 + std::int64_t(length) + 4;
    }
    return restore(false);
}

bool PngTransparentColor(const CodePageString& fileName, TColor& color)
{
    return WithFile(fileName, [&](TStream& s) { return PngTransparentColor(s, color); });
}

std::unique_ptr<TBitmap> ConvertToDisplayPalette(std::unique_ptr<TBitmap> bitmap)
{
    const TPalette* palette = SharedPalette();
    if (!bitmap || !palette)
        return bitmap;
    std::unordered_map<std::uint32_t, std::uint32_t> nearest;
    for (int y = 0; y < bitmap->Height(); ++y) {
        std::uint32_t* row = bitmap->ScanLine(y);
        for (int x = 0; x < bitmap->Width(); ++x) {
            const std::uint32_t rgb = row[x] & 0xFFFFFF;
            auto it = nearest.find(rgb);
            if (it == nearest.end()) {
                const TPaletteEntry& e =
                    (*palette)[size_t(GetNearestPaletteIndex(*palette, RGB(int(rgb >> 16), int((rgb >> 8) & 255),
                                                                           int(rgb & 255))))];
                it = nearest.emplace(rgb, (std::uint32_t(e.Red) << 16) | (std::uint32_t(e.Green) << 8) | e.Blue)
                         .first;
            }
            row[x] = (row[x] & 0xFF000000u) | it->second;
        }
    }
    return bitmap;
}

std::unique_ptr<TPalette> ClonePalette(const TPalette* palette)
{
    if (!palette || palette->empty())
        return nullptr;
    return std::make_unique<TPalette>(palette->begin(), palette->begin() + std::min<size_t>(palette->size(), 256));
}

void TransparentStretchDraw(TCanvas* canvas, const TBitmap& image, const TBitmap& mask, int x, int y, int w, int h)
{
    canvas->DrawMasked(Bounds(x, y, w, h), image, Rect(0, 0, image.Width(), image.Height()), mask);
}

// --- unit-wide state ---------------------------------------------------------------------

namespace {

struct ImageUnit {
    int displayBits = 24;
    std::unique_ptr<TPalette> palette;
    std::unique_ptr<TBitmap> defaultBitmap;
    std::unique_ptr<TBitmap> brokenBitmap;
    std::unique_ptr<TBitmap> brokenMask;
    bool picturesLoaded = false;
    TMemoryStream later;
};

std::unique_ptr<ImageUnit>& UnitSlot()
{
    static std::unique_ptr<ImageUnit> unit;
    return unit;
}

ImageUnit& Unit()
{
    auto& unit = UnitSlot();
    if (!unit) {
        unit = std::make_unique<ImageUnit>();
        const int bits = Screen->ColorBits();
        unit->displayBits = bits < 5 ? 4 : bits > 8 ? 24 : 8;
        if (unit->displayBits == 8)
            unit->palette = std::make_unique<TPalette>(MakeSharedPalette());
    }
    return *unit;
}

std::unique_ptr<TBitmap> ResourceBitmap(int id)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->LoadFromResourceID(id);
    return bitmap;
}

void InstallCursor(TCursor index, int id)
{
    TBitmap picture;
    picture.LoadFromResourceID(id);
    int x = 0, y = 0;
    ResourceHotSpot(id, x, y);
    Screen->SetCursorImage(index, picture, {x, y});
}

ImageUnit& UnitWithPictures()
{
    ImageUnit& unit = Unit();
    if (!unit.picturesLoaded) {
        unit.picturesLoaded = true;
        unit.defaultBitmap = ResourceBitmap(1002);
        unit.brokenBitmap = ResourceBitmap(1001);
        unit.brokenMask = ResourceBitmap(1005);
        InstallCursor(1, 1003);
        InstallCursor(2, 1006);
    }
    return unit;
}

}  // namespace

int DisplayColorBits()
{
    return Unit().displayBits;
}

const TPalette* SharedPalette()
{
    return Unit().palette.get();
}

TPalette MakeSharedPalette()
{
    // The system palette of an 8-bit display: its twenty static colours at
    // both ends, the rest free.
    static constexpr TPaletteEntry kStatic[20] = {
        {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
        {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
        {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
        {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
    };
    TPalette palette(256);
    for (int i = 0; i < 10; ++i) {
        palette[size_t(i)] = kStatic[i];
        palette[size_t(246 + i)] = kStatic[10 + i];
    }
    static constexpr std::uint8_t kLevels[6] = {55, 115, 165, 205, 235, 255};
    size_t at = 10;
    for (std::uint8_t b : kLevels)
        for (std::uint8_t g : kLevels)
            for (std::uint8_t r : kLevels)
                if (!(r == 255 && g == 255 && b == 255))
                    palette[at++] = {r, g, b, 0};
    for (int i = 1; i <= 24; ++i) {
        const auto grey = std::uint8_t(130 + 5 * i);
        palette[at++] = {grey, grey, grey, 0};
    }
    return palette;
}

TBitmap* DefaultBitmap()
{
    return UnitWithPictures().defaultBitmap.get();
}

TBitmap* BrokenImageBitmap()
{
    return UnitWithPictures().brokenBitmap.get();
}

TBitmap* BrokenImageMask()
{
    return UnitWithPictures().brokenMask.get();
}

TMemoryStream* LaterStream()
{
    return &Unit().later;
}

void InitImageUnit()
{
    UnitWithPictures();
}

void ResetImageUnit()
{
    UnitSlot().reset();
}

// --- the image cache -----------------------------------------------------------------

TBitmapItem::TBitmapItem(std::unique_ptr<TPersistent> picture, std::unique_ptr<TBitmap> mask,
                         TransparencyKind maskKind)
    : MaskKind(maskKind), Picture(std::move(picture)), Mask(std::move(mask))
{
}

TStringBitmapList::TStringBitmapList()
{
    SetSorted(true);
}

TStringBitmapList::~TStringBitmapList()
{
    Clear();
}

CodePageString ImageCacheKey(const CodePageString& name)
{
    return Trim(UpperCase(name));
}

int TStringBitmapList::AddItem(const CodePageString& name, TBitmapItem* item)
{
    const int index = AddObject(name, item);
    if (Objects(index) != item) {
        delete item;  // an entry of that name is there already
        return index;
    }
    ++item->HolderCount;
    return index;
}

TPersistent* TStringBitmapList::FetchEntry(int index)
{
    TBitmapItem* item = Item(index);
    item->LoadsSinceUse = 0;
    ++item->HolderCount;
    return item->Picture.get();
}

void TStringBitmapList::ReleaseEntry(const CodePageString& name)
{
    const int index = IndexOf(name);
    if (index >= 0)
        --Item(index)->HolderCount;
}

void TStringBitmapList::Remove(int index)
{
    delete Item(index);
    Delete(index);
}

void TStringBitmapList::AgeCache()
{
    for (int i = Count() - 1; i >= 0; --i) {
        TBitmapItem* item = Item(i);
        ++item->LoadsSinceUse;
        if (item->LoadsSinceUse > FKeepLoads && item->HolderCount < 1)
            Remove(i);
    }
}

void TStringBitmapList::SetKeepLoads(int loads)
{
    for (int i = Count() - 1; i >= 0; --i) {
        TBitmapItem* item = Item(i);
        if (item->LoadsSinceUse > loads && item->HolderCount < 1)
            Remove(i);
    }
    FKeepLoads = loads;
}

void TStringBitmapList::DropUnused()
{
    for (int i = Count() - 1; i >= 0; --i)
        if (Item(i)->HolderCount < 1)
            Remove(i);
}

void TStringBitmapList::Clear()
{
    for (int i = 0; i < Count(); ++i)
        delete Item(i);
    TStringList::Clear();
}

// --- the image fetch -----------------------------------------------------------------

TPersistent* GetTheImage(TStringBitmapList& cache, const CodePageString& name, const TGetImageEvent& request,
                         TObject* viewer, TransparencyKind& transparent, bool& later, bool& wasCached, TBitmap*& mask)
{
    mask = nullptr;
    later = false;
    wasCached = false;
    if (name.empty())
        return nullptr;
    const CodePageString key = ImageCacheKey(name);
    // Pictures nobody shows give their memory back when a GIF cannot be
    // decoded whole.
    const auto dropUnused = [&cache] { cache.DropUnused(); };

    int index = cache.IndexOf(key);
    if (index >= 0) {
        TPersistent* picture = cache.FetchEntry(index);
        wasCached = true;
        TBitmapItem* item = cache.Item(index);
        if (auto* bitmap = dynamic_cast<TBitmap*>(picture)) {
            if (item->MaskKind == TrGif || item->MaskKind == TrPng) {
                transparent = item->MaskKind;
            } else if (transparent == LLCorner && !item->Mask) {
                item->Mask = MakeColorMask(*bitmap, false, 0);
                item->MaskKind = LLCorner;
            }
            mask = item->Mask.get();
        }
        return picture;
    }

    std::unique_ptr<TPersistent> picture;
    std::unique_ptr<TBitmap> newMask;
    std::unique_ptr<TGIFImage> gif;
    bool still = true;
    if (request) {
        TMemoryStream* stream = nullptr;
        request(viewer, name, stream);
        if (stream == LaterStream()) {
            later = true;
            return nullptr;
        }
        if (stream && stream->Size() >= 1) {
            const ImageKind kind = GetImageKind(stream->DataString());
            if (kind == Gif || kind == Gif89)
                gif = LoadGifStream(still, stream, dropUnused);
            if (!gif)
                picture = LoadPictureFromStream(stream, transparent, newMask);
        }
    } else {
        if (SameText(ExtractFileExt(name).substr(0, 6), ".gif"))
            gif = LoadGifFile(name, still, dropUnused);
        if (!gif)
            picture = LoadPictureWithMask(name, transparent, newMask);
    }

    if (gif) {
        if (gif->Animated()) {
            picture = std::move(gif);
        } else {
            // A still GIF is a plain bitmap from here on: its frame drawn on
            // its screen, where what the frame does not cover shows the page.
            auto bitmap = std::make_unique<TBitmap>(gif->Composite());
            if (gif->CompositeMask()) {
                newMask = std::make_unique<TBitmap>(*gif->CompositeMask());
                transparent = TrGif;
            } else if (transparent == LLCorner) {
                newMask = MakeColorMask(*bitmap, false, 0);
            }
            picture = std::move(bitmap);
        }
    }
    if (!picture)
        return nullptr;
    TPersistent* result = picture.get();
    mask = newMask.get();
    const TransparencyKind maskKind = newMask ? transparent : NotTransp;
    cache.AddItem(key, new TBitmapItem(std::move(picture), std::move(newMask), maskKind));
    return result;
}

// --- image maps ----------------------------------------------------------------------

namespace {

enum class AreaShape { Rect, Circle, Poly };

constexpr int kMaxCoords = 201;

}  // namespace

void TMapItem::AddArea(const std::vector<TAreaAttribute>& attributes)
{
    CodePageString link, target;
    AreaShape shape = AreaShape::Rect;
    std::vector<int> coords;
    for (const TAreaAttribute& a : attributes) {
        switch (a.Name) {
        case TAreaAttribute::Href: link = a.Text; break;
        case TAreaAttribute::NoHref: link.clear(); break;
        case TAreaAttribute::Target: target = a.Text; break;
        case TAreaAttribute::Shape: {
            const CodePageString s = LowerCase(a.Text).substr(0, 4);
            shape = s == "circ" ? AreaShape::Circle : s == "poly" ? AreaShape::Poly : AreaShape::Rect;
            break;
        }
        case TAreaAttribute::Coords: {
            coords.clear();
            std::size_t start = 0;
            while (int(coords.size()) < kMaxCoords) {
                std::size_t comma = a.Text.find(',', start);
                CodePageString part = a.Text.substr(start, comma == CodePageString::npos ? CodePageString::npos : comma - start);
                // Pages write "0, 0, 50, 50": the blanks around a number go.
                part = Trim(TrimLeft(part).substr(0, 20));
                if (part.empty())
                    break;
                coords.push_back(StrToIntDef(part, 0));
                if (comma == CodePageString::npos)
                    break;
                start = comma + 1;
            }
            break;
        }
        case TAreaAttribute::Other: break;
        }
    }

    // Right and bottom edges belong to the area: one more, kept in range.
    const auto plusOne = [](int v) { return v == INT_MAX ? v : v + 1; };
    const auto clampInt = [](long long v) { return int(std::clamp<long long>(v, INT_MIN, INT_MAX)); };
    TRegion region;
    const int n = int(coords.size());
    if (shape == AreaShape::Rect && n >= 4) {
        region = TRegion::FromRect({coords[0], coords[1], plusOne(coords[2]), plusOne(coords[3])});
    } else if (shape == AreaShape::Circle && n >= 3) {
        const long long x = coords[0], y = coords[1], r = coords[2];
        region = TRegion::FromEllipse(
            {clampInt(x - r), clampInt(y - r), clampInt(x + r + 1), clampInt(y + r + 1)});
    } else if (shape == AreaShape::Poly && n >= 6) {
        std::vector<TPoint> points;
        for (int i = 0; i + 1 < n; i += 2)
            points.push_back({coords[size_t(i)], coords[size_t(i) + 1]});
        region = TRegion::FromPolygon(points);
    } else {
        return;  // too few numbers
    }
    FAreas.push_back({std::move(region), link, target});
}

bool TMapItem::HitTest(int x, int y, CodePageString& url, CodePageString& target) const
{
    for (const Area& area : FAreas) {
        if (!area.Region.Contains(x, y))
            continue;
        if (area.Link.empty())
            return false;
        url = area.Link;
        target = area.Target;
        return true;
    }
    return false;
}
