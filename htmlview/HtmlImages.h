// The viewer's pictures: image kinds, the loaders for bitmaps and JPEG
// pictures, transparency masks, the shared display palette, the image cache
// (each viewer owns one) with the image fetch GetTheImage, and client-side
// image maps.
//
// Pictures are TBitmaps (or a TGIFImage for an animated GIF). A mask is a
// TBitmap of the picture's size, white where the picture is transparent and
// black where it is opaque. Everything runs on the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"

class TGIFImage;

// The kind of picture, from the first bytes of its data.
enum ImageKind : std::uint8_t { NoImage = 0, Bmp = 1, Gif = 2, Gif89 = 3, Png = 4, Jpg = 5 };

// How an image is transparent.
enum TransparencyKind : std::uint8_t {
    NotTransp = 0,  // opaque
    LLCorner = 1,   // the colour of the lower-left pixel is transparent (TRANSP)
    TrGif = 2,      // the GIF's own transparent colour
    TrPng = 3,      // a palette PNG whose palette entry 0 is transparent
};

// The kind of picture in data (at least 11 bytes, else none).
ImageKind GetImageKind(const std::string& data);
ImageKind GetImageKindOfFile(const CodePageString& fileName);

// Loaders: none for data they cannot read, never an exception.
std::unique_ptr<TBitmap> LoadPictureFile(const CodePageString& fileName, bool convert);
std::unique_ptr<TBitmap> LoadPictureWithMask(const CodePageString& fileName, TransparencyKind& transparent,
                                             std::unique_ptr<TBitmap>& mask);
std::unique_ptr<TBitmap> LoadPictureFromStream(TMemoryStream* stream, TransparencyKind& transparent,
                                               std::unique_ptr<TBitmap>& mask);

// A mask of image: white where the pixel has the colour (with useColor
// false, the colour of the lower-left pixel), black elsewhere.
std::unique_ptr<TBitmap> MakeColorMask(const TBitmap& image, bool useColor, TColor color);

// The transparent colour of a GIF 89a's first graphic control block, or of
// the first palette entry of a palette PNG whose first alpha is below 127.
// The stream's position is kept; the file forms answer false on any error.
bool GifTransparentColor(TStream& stream, TColor& color);
bool GifTransparentColor(const CodePageString& fileName, TColor& color);
bool PngTransparentColor(TStream& stream, TColor& color);
bool PngTransparentColor(const CodePageString& fileName, TColor& color);

// The bitmap with its colours mapped to the shared palette (unchanged where
// the display has none).
std::unique_ptr<TBitmap> ConvertToDisplayPalette(std::unique_ptr<TBitmap> bitmap);
std::unique_ptr<TPalette> ClonePalette(const TPalette* palette);  // none when empty
// Paints image through mask, stretched into (x, y, w, h).
void TransparentStretchDraw(TCanvas* canvas, const TBitmap& image, const TBitmap& mask, int x, int y, int w, int h);

// --- unit-wide pictures ------------------------------------------------------------

// The display's colour depth, normalised to 4, 8 or 24.
int DisplayColorBits();
// The palette pictures are mapped to on an 8-bit display; none elsewhere.
const TPalette* SharedPalette();
// The 256 entries of the shared palette: the system colours, a colour cube
// of six levels and 24 greys.
TPalette MakeSharedPalette();
// Stand-ins: an image not shown (yet), an image that failed, and its mask.
TBitmap* DefaultBitmap();
TBitmap* BrokenImageBitmap();
TBitmap* BrokenImageMask();
// An image request handler that returns this very stream says "later".
TMemoryStream* LaterStream();
// Loads the pictures and installs the viewer's cursors: number 1 (a link)
// and number 2 (the viewer's own).
void InitImageUnit();
// Frees the unit's state; the next use reads the display depth again.
void ResetImageUnit();

// --- the image cache -----------------------------------------------------------------

// One cached picture.
class TBitmapItem : public TObject {
public:
    TBitmapItem(std::unique_ptr<TPersistent> picture, std::unique_ptr<TBitmap> mask, TransparencyKind maskKind);
    int LoadsSinceUse = 0;  // documents loaded since it was last fetched
    int HolderCount = 0;    // image objects of live documents that hold it
    TransparencyKind MaskKind = NotTransp;
    std::unique_ptr<TPersistent> Picture;  // a TBitmap, or a TGIFImage for an animated GIF
    std::unique_ptr<TBitmap> Mask;
};

// The cache: a sorted list of upper-cased, trimmed source names owning one
// TBitmapItem each.
class TStringBitmapList : public TStringList {
public:
    TStringBitmapList();
    ~TStringBitmapList() override;

    int KeepLoads() const { return FKeepLoads; }
    TBitmapItem* Item(int index) const { return static_cast<TBitmapItem*>(Objects(index)); }
    // Adds an entry (taking the item) held once.
    int AddItem(const CodePageString& name, TBitmapItem* item);
    // The entry's picture, now used by one more holder.
    TPersistent* FetchEntry(int index);
    // One holder fewer for the entry of that name.
    void ReleaseEntry(const CodePageString& name);
    // At every document load: entries nobody holds that were not used for
    // more than KeepLoads loads are freed.
    void AgeCache();
    void SetKeepLoads(int loads);
    // Frees every entry that nobody holds.
    void DropUnused();
    void Clear() override;

private:
    void Remove(int index);
    int FKeepLoads = 4;
};

// The cache's key for a source name.
CodePageString ImageCacheKey(const CodePageString& name);

// The viewer's image request event: sets stream to the picture's bytes, to
// LaterStream() for "not yet", or leaves it none.
using TGetImageEvent = std::function<void(TObject* sender, const CodePageString& source, TMemoryStream*& stream)>;

// The image fetch of the document: the picture for a source name, from the
// cache given, from the request handler when there is one, else from the file of
// that name. The picture and mask belong to the cache. Transparent comes in
// as LLCorner when the caller asks for a corner mask and goes out as the
// picture's kind; later is set when the handler will deliver it later.
TPersistent* GetTheImage(TStringBitmapList& cache, const CodePageString& name, const TGetImageEvent& request,
                         TObject* viewer, TransparencyKind& transparent, bool& later, bool& wasCached, TBitmap*& mask);

// --- image maps ----------------------------------------------------------------------

// The attributes of one AREA tag that an image map reads, in tag order.
struct TAreaAttribute {
    enum Kind { Href, NoHref, Target, Shape, Coords, Other };
    Kind Name = Other;
    CodePageString Text;
};

// One MAP: its areas as regions, hit-tested in document order.
class TMapItem : public TObject {
public:
    CodePageString MapTitle;
    // Adds the area of one AREA tag; one with too few numbers adds nothing.
    void AddArea(const std::vector<TAreaAttribute>& attributes);
    // The link of the first area that holds the point: true with its URL
    // and target, false when that area has no link or no area holds it.
    bool HitTest(int x, int y, CodePageString& url, CodePageString& target) const;
    int AreaCount() const { return int(FAreas.size()); }
    const TRegion& AreaRegion(int index) const { return FAreas.at(size_t(index)).Region; }

private:
    struct Area {
        TRegion Region;
        CodePageString Link;
        CodePageString Target;
    };
    std::vector<Area> FAreas;
};
