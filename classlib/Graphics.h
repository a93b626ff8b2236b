// Colours, fonts, brushes, pens, the canvas and pictures.
//
// TCanvas is the one narrow drawing interface of the system: controls that
// draw themselves, the list view's cells and the HTML viewer measure and draw
// only through it. The class library implements it over the windowing
// system; tests use a canvas with fixed metrics instead. No toolkit type
// appears in this header.
//
// Properties are read with X() and written with SetX(v). Owned sub-objects
// (a canvas's Font, Brush and Pen) are reached through their getter and keep
// their identity; SetFont and friends copy into them.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Strings.h"

// --- geometry --------------------------------------------------------------

struct TPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const TSize&, const TSize&) = default;
};

// Right and Bottom lie just outside the rectangle, as the class library has it.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(const TPoint& p) const { return p.x >= Left && p.x < Right && p.y >= Top && p.y < Bottom; }
    TPoint TopLeft() const { return {Left, Top}; }
    TPoint BottomRight() const { return {Right, Bottom}; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

inline TPoint Point(int x, int y) { return {x, y}; }
inline TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }
inline TRect Bounds(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }
TRect IntersectRect(const TRect& a, const TRect& b);  // empty (all 0) when they do not meet
TRect InflateRect(const TRect& r, int dx, int dy);
TRect OffsetRect(const TRect& r, int dx, int dy);

// --- colours ---------------------------------------------------------------

// 0x00BBGGRR, or a system colour: 0x80000000 + the system colour index.
using TColor = std::int32_t;

constexpr TColor RGB(int r, int g, int b) { return TColor((r & 255) | ((g & 255) << 8) | ((b & 255) << 16)); }
constexpr int GetRValue(TColor c) { return c & 255; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 255; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 255; }

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;

constexpr TColor SystemColor(int index) { return TColor(0x80000000u | unsigned(index)); }
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clInactiveCaption = SystemColor(3);
constexpr TColor clMenu = SystemColor(4);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clMenuText = SystemColor(7);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clActiveBorder = SystemColor(10);
constexpr TColor clInactiveBorder = SystemColor(11);
constexpr TColor clAppWorkSpace = SystemColor(12);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInactiveCaptionText = SystemColor(19);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor cl3DDkShadow = SystemColor(21);
constexpr TColor cl3DLight = SystemColor(22);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// A colour with the palette-relative flag: on a display with a palette it is
// drawn with the nearest colour of the selected palette, elsewhere it is the
// plain RGB colour (ColorToRGB drops the flag).
constexpr TColor PaletteFlag = 0x02000000;
constexpr TColor PaletteRelative(TColor color) { return color < 0 ? color : (color | PaletteFlag); }
constexpr TColor PaletteRGB(int r, int g, int b) { return RGB(r, g, b) | PaletteFlag; }

// A logical palette: up to 256 entries.
struct TPaletteEntry {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    std::uint8_t Flags = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
using TPalette = std::vector<TPaletteEntry>;
// The index of the entry nearest to color (squared RGB distance, the first
// of equals); -1 for an empty palette.
int GetNearestPaletteIndex(const TPalette& palette, TColor color);

// A system colour becomes its RGB value (the classic desktop scheme, fixed so
// that pictures are the same everywhere); an RGB colour stays as it is.
TColor ColorToRGB(TColor color);

// The colour constants by name ("clRed", "clBtnFace", ...; case ignored).
bool IdentToColor(const CodePageString& name, TColor& color);
CodePageString ColorToString(TColor color);  // a name where one exists, else "$00BBGGRR"

// --- fonts, brushes, pens ----------------------------------------------------

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of font styles: TFontStyles() << fsBold << fsItalic.
class TFontStyles {
public:
    TFontStyles() = default;
    TFontStyles(std::initializer_list<TFontStyle> styles);
    bool Contains(TFontStyle s) const { return (FBits & Bit(s)) != 0; }
    bool Empty() const { return FBits == 0; }
    TFontStyles& operator<<(TFontStyle s) { FBits |= Bit(s); return *this; }
    TFontStyles& operator>>(TFontStyle s) { FBits &= ~Bit(s); return *this; }
    friend bool operator==(const TFontStyles&, const TFontStyles&) = default;

private:
    static unsigned Bit(TFontStyle s) { return 1u << unsigned(s); }
    unsigned FBits = 0;
};

enum TFontPitch { fpDefault, fpVariable, fpFixed };

constexpr int ANSI_CHARSET = 0;
constexpr int DEFAULT_CHARSET = 1;

// Base of fonts, brushes and pens: tells its owner when it changes.
class TGraphicsObject : public TPersistent {
public:
    TNotifyEvent OnChange;
    // Grows by one on every change; canvases use it to cache what they derived.
    unsigned Serial() const { return FSerial; }

protected:
    void Changed();

private:
    unsigned FSerial = 0;
};

// Fonts are measured at 96 pixels per inch: Size is in points, Height in
// pixels (negative: the character height without internal leading, the way
// Size gives it). The Windows font names that forms use map to the
// metric-compatible Liberation fonts.
class TFont : public TGraphicsObject {
public:
    TFont();
    TFont(const TFont& other);
    TFont& operator=(const TFont& other);
    void Assign(const TFont& source);

    CodePageString Name() const { return FName; }
    void SetName(const CodePageString& name);
    int Size() const;
    void SetSize(int points);
    int Height() const { return FHeight; }
    void SetHeight(int pixels);
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles style);
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch pitch);
    int Charset() const { return FCharset; }
    void SetCharset(int charset);
    // The angle of the text's baseline, in tenths of a degree counterclockwise
    // (0: horizontal). Text is measured as if unrotated and drawn turned about
    // its top left corner.
    int Orientation() const { return FOrientation; }
    void SetOrientation(int tenths);
    static constexpr int PixelsPerInch = 96;

    friend bool operator==(const TFont& a, const TFont& b);

private:
    CodePageString FName = "MS Sans Serif";
    int FHeight = -11;  // 8 points
    TColor FColor = clWindowText;
    TFontStyles FStyle;
    TFontPitch FPitch = fpDefault;
    int FCharset = DEFAULT_CHARSET;
    int FOrientation = 0;
};

// The installed family a font name is drawn with ("Arial" -> "Liberation Sans").
CodePageString MapFontFamily(const CodePageString& name);

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBitmap;

class TBrush : public TGraphicsObject {
public:
    TBrush() = default;
    TBrush(const TBrush& other);
    TBrush& operator=(const TBrush& other);
    void Assign(const TBrush& source);

    TColor Color() const { return FColor; }
    void SetColor(TColor color);  // a solid brush, unless a bitmap is set
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle style);
    // A pattern bitmap that fills instead of the colour (not owned).
    TBitmap* Bitmap() const { return FBitmap; }
    void SetBitmap(TBitmap* bitmap);

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
    TBitmap* FBitmap = nullptr;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode { pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen,
                pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor };

class TPen : public TGraphicsObject {
public:
    TPen() = default;
    TPen(const TPen& other);
    TPen& operator=(const TPen& other);
    void Assign(const TPen& source);

    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    int Width() const { return FWidth; }
    void SetWidth(int width);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle style);
    TPenMode Mode() const { return FMode; }
    void SetMode(TPenMode mode);

private:
    TColor FColor = clBlack;
    int FWidth = 1;
    TPenStyle FStyle = psSolid;
    TPenMode FMode = pmCopy;
};

// --- regions ---------------------------------------------------------------------

// A set of pixels: a rectangle, an ellipse or a polygon, less the rectangles
// subtracted from it. Membership is computed from the shape, so a region of
// any size costs nothing until it is filled, and filling touches only the
// part inside the clip.
class TRegion {
public:
    TRegion() = default;
    static TRegion FromRect(const TRect& rect);
    // The ellipse inscribed in bounds (right and bottom outside, as for rectangles).
    static TRegion FromEllipse(const TRect& bounds);
    // The polygon's inside by the winding rule; the last point joins the first.
    static TRegion FromPolygon(const std::vector<TPoint>& points);

    bool Empty() const { return FKind == Kind::None || FBounds.IsEmpty(); }
    TRect Bounds() const { return FBounds; }
    bool Contains(int x, int y) const;
    void Subtract(const TRect& rect);
    // The region's pixels inside clip as rectangles, top to bottom.
    std::vector<TRect> RectsWithin(const TRect& clip) const;

private:
    enum class Kind { None, Rect, Ellipse, Polygon };
    // The runs of row y that belong to the shape, before subtraction.
    void ShapeRuns(int y, std::vector<std::pair<int, int>>& runs) const;
    Kind FKind = Kind::None;
    TRect FBounds;
    std::vector<TPoint> FPoints;
    std::vector<TRect> FHoles;
};

// --- text metrics ------------------------------------------------------------------

// The metrics of the canvas's font, in pixels: Height = Ascent + Descent.
struct TTextMetric {
    int Height = 0;
    int Ascent = 0;
    int Descent = 0;
    int InternalLeading = 0;
    int ExternalLeading = 0;
    int AveCharWidth = 0;
    int Overhang = 0;
};

// --- text drawing flags (DrawText) ---------------------------------------------

constexpr unsigned DT_TOP = 0x0000;
constexpr unsigned DT_LEFT = 0x0000;
constexpr unsigned DT_CENTER = 0x0001;
constexpr unsigned DT_RIGHT = 0x0002;
constexpr unsigned DT_VCENTER = 0x0004;
constexpr unsigned DT_BOTTOM = 0x0008;
constexpr unsigned DT_WORDBREAK = 0x0010;
constexpr unsigned DT_SINGLELINE = 0x0020;
constexpr unsigned DT_EXPANDTABS = 0x0040;
constexpr unsigned DT_TABSTOP = 0x0080;
constexpr unsigned DT_NOCLIP = 0x0100;
constexpr unsigned DT_EXTERNALLEADING = 0x0200;
constexpr unsigned DT_CALCRECT = 0x0400;
constexpr unsigned DT_NOPREFIX = 0x0800;
constexpr unsigned DT_INTERNAL = 0x1000;
constexpr unsigned DT_EDITCONTROL = 0x2000;
constexpr unsigned DT_PATH_ELLIPSIS = 0x4000;
constexpr unsigned DT_END_ELLIPSIS = 0x8000;
constexpr unsigned DT_MODIFYSTRING = 0x10000;
constexpr unsigned DT_WORD_ELLIPSIS = 0x40000;

// --- the canvas ----------------------------------------------------------------

class TGraphic;

// The drawing interface. Coordinates are pixels of the surface; rectangles
// exclude their right and bottom edges, lines exclude their end point.
// Text is bytes in the Windows-1252 code page; (X, Y) is the top-left corner
// of the text cell. While the brush is solid, TextOut and TextRect first fill
// the text's cell in the brush colour; with bsClear the text is drawn alone.
class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TFont* Font() const { return FFont.get(); }
    TBrush* Brush() const { return FBrush.get(); }
    TPen* Pen() const { return FPen.get(); }
    void SetFont(const TFont* font) { FFont->Assign(*font); }
    void SetBrush(const TBrush* brush) { FBrush->Assign(*brush); }
    void SetPen(const TPen* pen) { FPen->Assign(*pen); }

    // Measuring, in the current font.
    virtual TSize TextExtent(const CodePageString& text) = 0;
    int TextWidth(const CodePageString& text) { return TextExtent(text).cx; }
    int TextHeight(const CodePageString& text) { return TextExtent(text).cy; }
    // The current font's metrics. The base answers from TextExtent alone.
    virtual TTextMetric TextMetrics();

    // Text.
    virtual void TextOut(int x, int y, const CodePageString& text) = 0;
    // Text clipped to rect; with a solid brush, rect is filled first.
    virtual void TextRect(const TRect& rect, int x, int y, const CodePageString& text) = 0;
    // Formatted text with the DT_* flags, built on TextExtent and TextRect.
    // Returns the height of the text; with DT_CALCRECT, only measures and
    // sets rect's Right and Bottom.
    int DrawText(const CodePageString& text, TRect& rect, unsigned format);

    // Shapes, filled with the brush and outlined with the pen.
    virtual void FillRect(const TRect& rect) = 0;         // brush only
    virtual void FrameRect(const TRect& rect) = 0;        // one-pixel frame in the brush colour
    virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
    virtual void Polygon(const TPoint* points, int count) = 0;
    void Polygon(const std::vector<TPoint>& points) { Polygon(points.data(), int(points.size())); }
    virtual void Polyline(const TPoint* points, int count) = 0;
    void Polyline(const std::vector<TPoint>& points) { Polyline(points.data(), int(points.size())); }
    void MoveTo(int x, int y) { FPenPos = {x, y}; }
    virtual void LineTo(int x, int y) = 0;  // from PenPos; PenPos becomes (x, y)
    TPoint PenPos() const { return FPenPos; }
    void SetPenPos(const TPoint& p) { FPenPos = p; }
    // The dotted rectangle of the keyboard focus (drawn inverting).
    virtual void DrawFocusRect(const TRect& rect) = 0;
    // Fills a region with the brush, as rectangles inside the clip.
    void FillRegion(const TRegion& region);

    // Pictures: Draw places a graphic at its own size, StretchDraw scales it.
    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const TRect& rect, TGraphic* graphic);
    // The one bitmap primitive: copies source (part of bitmap) into dest,
    // scaled; with transparent set, pixels of transparentColor are left out.
    virtual void DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source, bool transparent,
                            TColor transparentColor) = 0;
    // Copies part of a bitmap leaving out the pixels of color (the brush-copy
    // of the class library).
    void BrushCopy(const TRect& dest, const TBitmap& bitmap, const TRect& source, TColor color)
    {
        DrawBitmap(dest, bitmap, source, true, color);
    }
    // Copies source (part of bitmap) into dest, scaled, through a mask of the
    // bitmap's size: where the mask is white the surface is left as it was,
    // where it is black the bitmap's pixel is drawn. The base draws a copy
    // whose masked pixels are fully transparent.
    virtual void DrawMasked(const TRect& dest, const TBitmap& bitmap, const TRect& source, const TBitmap& mask);

    // Pixels; reading gives clNone where the surface cannot be read.
    virtual TColor Pixel(int x, int y) = 0;
    virtual void SetPixel(int x, int y, TColor color) = 0;

    // Clipping: the part of the surface that drawing can reach.
    virtual TRect ClipRect() = 0;
    // Narrows the clip (and returns the previous one); RestoreClip puts a
    // saved clip back.
    virtual TRect IntersectClip(const TRect& rect) = 0;
    virtual void RestoreClip(const TRect& saved) = 0;

private:
    std::unique_ptr<TFont> FFont;
    std::unique_ptr<TBrush> FBrush;
    std::unique_ptr<TPen> FPen;
    TPoint FPenPos;
};

// --- pictures --------------------------------------------------------------------

class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// The most pixels a JPEG picture may have: 128 MB of decoded pixels, far
// more than the program ever shows of one (the toolkit's readers hold bitmaps
// to the same 128 MB). A larger picture is refused with EInvalidGraphic
// before its pixels are taken.
inline constexpr long long MaxPicturePixels = 32LL * 1024 * 1024;

// A picture of some format.
class TGraphic : public TPersistent {
public:
    ~TGraphic() override = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const { return Width() == 0 || Height() == 0; }
    bool Transparent() const { return FTransparent; }
    virtual void SetTransparent(bool transparent);
    // Draws the picture scaled into rect.
    virtual void Draw(TCanvas* canvas, const TRect& rect) = 0;
    // Whole files or byte images of the format; EInvalidGraphic or the file
    // errors when they fail.
    virtual void LoadFromFile(const CodePageString& fileName);
    virtual void SaveToFile(const CodePageString& fileName) const;
    virtual void LoadFromBytes(const std::string& bytes) = 0;
    virtual std::string SaveToBytes() const = 0;
    virtual std::unique_ptr<TGraphic> Clone() const = 0;

    TNotifyEvent OnChange;

protected:
    void Changed();

private:
    bool FTransparent = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };
enum TTransparentMode { tmAuto, tmFixed };

struct TBitmapImage;  // the pixels, private to the class library

// A bitmap of 32-bit pixels. LoadFromFile and SaveToFile read and write BMP
// files (PNG is read as well); other formats have their own TGraphic.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height);
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    ~TBitmap() override;
    void Assign(const TBitmap& source);

    int Width() const override;
    int Height() const override;
    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);  // new pixels are white

    // A canvas that draws on the bitmap; it lives as long as the bitmap.
    TCanvas* Canvas();

    // Transparency: tmAuto takes the colour of the bottom-left pixel.
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);  // also sets tmFixed
    TTransparentMode TransparentMode() const { return FTransparentMode; }
    void SetTransparentMode(TTransparentMode mode);
    TPixelFormat PixelFormat() const { return pf32bit; }
    void SetPixelFormat(TPixelFormat) {}  // pixels are always 32 bits

    // Row y of the pixels: Width() values 0xAARRGGBB (blue in the low byte
    // in memory order B, G, R, A). Nullptr for a row out of range.
    std::uint32_t* ScanLine(int y);
    const std::uint32_t* ScanLine(int y) const;
    TColor GetPixel(int x, int y) const;  // clNone out of range
    void SetPixel(int x, int y, TColor color);

    void Draw(TCanvas* canvas, const TRect& rect) override;
    void LoadFromBytes(const std::string& bytes) override;
    // One of the program's own pictures, by its resource number;
    // EInvalidGraphic when there is none.
    void LoadFromResourceID(int id);
    // Letter case ignored; "#" and a number names a numbered resource.
    void LoadFromResourceName(const CodePageString& name);
    std::string SaveToBytes() const override;  // BMP
    std::unique_ptr<TGraphic> Clone() const override;
    void SavePngFile(const CodePageString& fileName) const;

    // Internal: the class library's image behind the bitmap.
    TBitmapImage& Image() const;

private:
    void FlushCanvas() const;
    std::unique_ptr<TBitmapImage> FImage;
    std::unique_ptr<TCanvas> FCanvas;
    TColor FTransparentColor = clDefault;
    TTransparentMode FTransparentMode = tmAuto;
};

// A JPEG picture, decoded and encoded with libjpeg. Drawing draws the decoded
// pixels; saving encodes them at CompressionQuality (1..100).
class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    TJPEGImage(const TJPEGImage& other);
    ~TJPEGImage() override;
    void Assign(const TBitmap& bitmap);  // takes the pixels to encode

    int Width() const override;
    int Height() const override;
    int CompressionQuality() const { return FQuality; }
    void SetCompressionQuality(int quality);
    bool Grayscale() const { return FGrayscale; }
    void SetGrayscale(bool grayscale);
    // The decoded pixels.
    const TBitmap& Bitmap() const { return *FBitmap; }

    void Draw(TCanvas* canvas, const TRect& rect) override;
    void LoadFromBytes(const std::string& bytes) override;  // EInvalidGraphic "JPEG error #n"
    std::string SaveToBytes() const override;
    std::unique_ptr<TGraphic> Clone() const override;

private:
    std::unique_ptr<TBitmap> FBitmap;
    int FQuality = 90;
    bool FGrayscale = false;
};

// The JPEG codec as free functions over plain pixels: 0xAARRGGBB values,
// row after row. Decoding throws EInvalidGraphic on a bad stream, and on a
// picture of more pixels than MaxPicturePixels or than its bytes can hold.
struct TPixels {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Data;
};
TPixels DecodeJpeg(const std::string& bytes);
std::string EncodeJpeg(const TPixels& pixels, int quality, bool grayscale = false);

// A holder of one graphic of any format, chosen by the file extension when
// loading (.bmp, .png: TBitmap; .jpg, .jpeg, .jpe: TJPEGImage).
class TPicture : public TPersistent {
public:
    TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;
    ~TPicture() override;
    void Assign(const TPicture* source);  // copies the graphic; nullptr empties

    TGraphic* Graphic() const { return FGraphic.get(); }
    void SetGraphic(const TGraphic* graphic);  // copies; nullptr empties
    void TakeGraphic(std::unique_ptr<TGraphic> graphic);
    // The graphic as a bitmap: a non-bitmap graphic is replaced by a new,
    // empty bitmap, the way the class library does it.
    TBitmap* Bitmap();
    int Width() const;
    int Height() const;

    // EInvalidGraphic "Unknown picture file extension (.ext)" for an
    // unknown extension; the format's own errors otherwise.
    void LoadFromFile(const CodePageString& fileName);
    void SaveToFile(const CodePageString& fileName) const;

    TNotifyEvent OnChange;

private:
    void Changed();
    std::unique_ptr<TGraphic> FGraphic;
};
