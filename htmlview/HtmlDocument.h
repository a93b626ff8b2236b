// The HTML viewer's document model: the section interface, the cell (a list
// of sections laid out one below the other), the document root with its
// document-wide state, the fonts of text sections, their inline images and
// the builder's inline style. The text sections are in HtmlTextSection.h,
// the tables in HtmlTables.h.
//
// Everything is measured and drawn through the canvas. Coordinates are
// pixels; a document Y is measured from the top of the document and a screen
// Y is a document Y less the root's ScrollTop. Text positions count
// characters from the start of the document; an inline image or form
// control is one character.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Strings.h"
#include "htmlview/HtmlFormHost.h"
#include "htmlview/HtmlForms.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlUtil.h"
#include "htmlview/HtmlViewerHost.h"

class TCell;
class TControl;
class TFormControlObj;
class TGIFImage;
class TImageObj;
class TSection;
class TSectionList;
class TTimer;
class TWinControl;

// --- limits on what a document can ask for -------------------------------------------

// A text section takes no more text once it holds more than this many
// characters (the last text accepted may end beyond it).
inline constexpr int MaxSectionText = 20000;
// List levels deeper than this indent no further.
inline constexpr int MaxListLevel = 20;
// Tables nested deeper than this inside one another are left empty.
inline constexpr int MaxTableDepth = 8;
// WIDTH, HEIGHT and the like in pixels are cut to this, so that no sum of
// them overflows.
inline constexpr int MaxPixelSize = 10000;
// The line width of preformatted text, which is never wrapped.
inline constexpr int PreformattedWidth = 32000;

// --- the section interface -----------------------------------------------------------

class TSectionBase : public TObject {
public:
    explicit TSectionBase(TSectionList* document) : RootDocument(document) {}
    TSectionBase(const TSectionBase&) = delete;
    TSectionBase& operator=(const TSectionBase&) = delete;

    TSectionList* RootDocument;
    int BlockHeight = 0;    // the height it takes in the flow of its cell
    int PaintHeight = 0;    // the height it paints: more where floats reach below
    int YValue = 0;         // document Y of its top, set by layout
    int FirstPosition = 0;  // text position of its first character
    int Len = 0;            // its characters

    // Appends the selected part to the root's ClipBuffer.
    virtual void CopySelection() {}
    // Lays the section out with its top at document Y: MaxWidth receives the
    // width it needs, Curs is advanced past its characters. Returns its height.
    virtual int LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs);
    // Paints with its top at document Y inside aRect (screen coordinates);
    // returns the Y of the next section.
    virtual int Draw(TCanvas* canvas, const TRect& aRect, IndentManager& imgr, int x, int y);
    // The link under a point (Y relative to the section's top).
    virtual bool LinkAtPoint(TCanvas* /*canvas*/, int /*x*/, int /*y*/, TUrlTarget& /*urlTarget*/,
                             TFormControlObj*& /*formControl*/)
    {
        return false;
    }
    // The inline image under a point, with the point inside the image.
    virtual bool ObjectAtPoint(int /*x*/, int /*y*/, TImageObj*& /*obj*/, int& /*ix*/, int& /*iy*/) { return false; }
    // The text position under a point (Y relative to the section) with the
    // caret's place and height; -1 when none.
    virtual int PositionAtPoint(TCanvas* /*canvas*/, int /*x*/, int /*y*/, int& /*xr*/, int& /*yr*/,
                                int& /*caretHeight*/, TCell*& /*sCell*/, bool& /*inText*/)
    {
        return -1;
    }
    // The position of the first match at or after From, or -1.
    virtual int SearchText(int /*from*/, const CodePageString& /*toFind*/, bool /*matchCase*/) { return -1; }
    // The point of a text position: X relative to the cell, Y in the document.
    virtual bool PointAtPosition(TCanvas* /*canvas*/, int /*cursor*/, int& /*x*/, int& /*y*/) { return false; }
    // The character at a text position and the section holding it.
    virtual bool CharAtPosition(int /*pos*/, char& /*ch*/, TSectionBase*& /*obj*/) { return false; }
    // The root's default fonts or colours changed.
    virtual void RefreshFonts() { UpdateSize(); }
    // Recomputes a height that follows the default font size.
    virtual void UpdateSize() {}
    // The narrowest width the section can be laid out in, and the width it
    // takes without any line break.
    virtual void WidthRange(TCanvas* /*canvas*/, int& min, int& max)
    {
        min = 0;
        max = 0;
    }
    // Moves a laid-out section down by dy and its text positions on by
    // dcurs, as laying it out again there would place it.
    virtual void MoveBy(int dy, int dcurs)
    {
        YValue += dy;
        FirstPosition += dcurs;
    }
};

// --- the cell ------------------------------------------------------------------------------

// Sections laid out one below the other, with the indent manager of their
// layout: the document root, a table cell or a caption.
class TCell : public TObject, public TFreeList<TSectionBase> {
public:
    explicit TCell(TSectionList* document) : Document(document) {}

    TSectionList* Document;
    int YValue = 0;  // document Y of its top at the last layout
    int FirstPosition = 0;
    int Len = 0;
    int Width = 0;  // the width of the last layout, which painting keeps to
    bool BackFilled = false;  // a background of its own (table cells)
    TColor BackColor = clWhite;
    // How many tables this cell lies inside (0 for the document itself).
    int TableDepth = 0;

    // Appends a section (none is ignored). Preformatted text without any
    // character gets one blank first.
    void Add(std::unique_ptr<TSectionBase> section);

    // Lays every section out from document Y within width, with an indent
    // manager of its own; returns the height, which floats reaching below the
    // last section lengthen. A cell laid out again in the same layout of the
    // document at the same width is only moved to its new place: a table
    // lays each cell out to measure its row and again in place, and so does
    // every table around it.
    virtual int LayOutAll(TCanvas* canvas, int y, int width, int& maxWidth, int& curs);
    // The largest Min and the largest Max of its sections (found once per
    // layout of the document).
    virtual void WidthRange(TCanvas* canvas, int& min, int& max);
    // Paints the sections that meet aRect, from document Y at x; returns the
    // Y after the cell.
    virtual int Draw(TCanvas* canvas, const TRect& aRect, int width, int x, int y);
    // Moves the laid-out cell and its sections (see TSectionBase::MoveBy).
    void MoveBy(int dy, int dcurs);
    // Queries with Y relative to the cell's top.
    virtual bool LinkAtPoint(TCanvas* canvas, int x, int y, TUrlTarget& urlTarget, TFormControlObj*& formControl);
    bool ObjectAtPoint(int x, int y, TImageObj*& obj, int& ix, int& iy);
    // SCell receives the innermost cell that answered, when it is still none.
    int PositionAtPoint(TCanvas* canvas, int x, int y, int& xr, int& yr, int& caretHeight, TCell*& sCell,
                        bool& inText);
    int SearchText(int from, const CodePageString& toFind, bool matchCase);
    bool PointAtPosition(TCanvas* canvas, int cursor, int& x, int& y);
    bool CharAtPosition(int pos, char& ch, TSectionBase*& obj);
    void CopySelection();
    void RefreshFonts();
    // The first section whose bottom lies below Y, with its top and index.
    TSectionBase* SectionAtY(int y, int& sectionTop, int& index);

private:
    // The document's layout that laid the cell out last (0 for one outside
    // any), with what it gave; and the sections it placed, whose places
    // painting then relies on.
    unsigned FLayoutPass = 0;
    int FLayoutHeight = 0;
    int FLayoutMaxWidth = 0;
    int FLaidOutCount = -1;
    // How far a section paints below the room it takes (a float), at most.
    int FPaintReach = 0;
    unsigned FRangePass = 0;
    int FRangeMin = 0;
    int FRangeMax = 0;
};

// --- fonts ------------------------------------------------------------------------------------

// A font that remembers its size on the document's scale (12 is the
// viewer's default size) and whether it is the preformatted face.
class TMyFont : public TFont {
public:
    TMyFont() = default;
    TMyFont(const TMyFont& other) = default;
    TMyFont& operator=(const TMyFont& other) = default;

    int NormalSize = 12;
    bool Fixed = false;
    // The document chose this face (FONT FACE) or colour (FONT COLOR): a
    // change of the viewer's default fonts keeps them.
    bool OwnFace = false;
    bool OwnColor = false;

    void Assign(const TMyFont& source) { *this = source; }
    void Assign(const TFont& source) { TFont::Assign(source); }
    // Every setting the same: the document's runs share such fonts.
    bool SameAs(const TMyFont& other) const
    {
        return NormalSize == other.NormalSize && Fixed == other.Fixed && *this == other;
    }
    // Size on the document's scale; the real size follows the root's FontSize.
    void SetNormalSize(const TSectionList* list, int size);
    // The root's face (or preformatted face), character set and size, in
    // color; a face or colour of the document's own stays.
    void SetFont(const TSectionList* list, TColor color);
};

enum TSubSup : std::uint8_t { NoScript = 0, SubScript = 1, SuperScript = 2 };

// One font run of a text section: from character Pos up to the next run.
class TFontObj : public TObject {
public:
    TFontObj(int pos, std::shared_ptr<const TMyFont> font, const TUrlTarget& link);
    TFontObj(int pos, const TMyFont& font, const TUrlTarget& link)
        : TFontObj(pos, std::make_shared<const TMyFont>(font), link)
    {
    }

    int Pos;
    // Never changed in place: the runs of a document with the same font share
    // it (TSectionList::SharedFont), and a run whose font changes takes another.
    std::shared_ptr<const TMyFont> TheFont;
    // Metrics of the font, read through the canvas of the last layout.
    int FontHeight = 0;  // text height + external leading
    int tmHeight = 0;
    int Ascent = 0;
    int Descent = 0;
    int Overhang = 0;
    TSubSup SScript = NoScript;
    TUrlTarget UrlTarget;  // empty URL when the run is no link

    // The hot-spot colour for a link, else the text colour.
    void UpdateFont(TSectionList* list);
    // Reads the metrics when the font changed since they were read.
    void Measure(TCanvas* canvas);
    // Selects the run's font into the canvas.
    void Select(TCanvas* canvas) const { canvas->SetFont(TheFont.get()); }

private:
    const TMyFont* FMeasuredFont = nullptr;
    unsigned FMeasuredSerial = 0;
    TCanvas* FMeasuredOn = nullptr;
};

class TFontList : public TFreeList<TFontObj> {
public:
    void RefreshFonts(TSectionList* list);
    void MeasureAll(TCanvas* canvas);
    // The run holding character pos.
    TFontObj* FontAt(int pos, int& overhang) const;
    // Characters from pos to the start of the next run (len - pos in the last).
    int RunCharsAt(int pos, int len) const;
    TFontObj* RunAt(int pos, int& index) const;
};

// --- inline images --------------------------------------------------------------------------

enum TImageAlign : std::uint8_t { ATop = 0, AMiddle = 1, ABottom = 2, ALeft = 3, ARight = 4 };

// What an IMG (or an INPUT TYPE=IMAGE) asks for, as the builder read it
// from the tag: sizes already cut to MaxPixelSize, a percentage width within
// 1 .. 100, the map name without its "#" and in upper case.
struct TImageSpec {
    CodePageString Source;
    CodePageString Alt;
    TImageAlign VertAlign = ABottom;
    bool NoBorder = false;       // BORDER=0
    int GivenWidth = 0;          // 0 when absent
    bool PercentWidth = false;   // GivenWidth is a percentage
    int GivenHeight = 0;         // 0 when absent, else at least 1
    int HSpace = 5;              // at most 20
    bool CornerTransparent = false;  // TRANSP: the lower-left pixel's colour is transparent
    bool IsMap = false;
    bool UseMap = false;
    CodePageString MapName;
};

// One IMG of a text section.
class TImageObj : public TObject {
public:
    TImageObj(TSectionList* document, int pos, const TImageSpec& spec);
    ~TImageObj() override;
    TImageObj(const TImageObj&) = delete;
    TImageObj& operator=(const TImageObj&) = delete;

    int Pos;                 // its placeholder character in the section
    int GivenHeight = 0;     // HEIGHT, 0 when absent
    int GivenWidth = 0;      // WIDTH, 0 when absent (a percentage with PercentWidth)
    bool PercentWidth = false;
    int BoxHeight = 0;       // the picture's displayed size
    int BoxWidth = 0;
    bool SizeKnown = false;  // the displayed size is settled
    int ImageHeight = 0;     // the displayed size plus the border
    int ImageWidth = 0;
    CodePageString Source;
    CodePageString Alt;
    TImageAlign VertAlign = ABottom;
    bool NoBorder = false;
    // The picture: a bitmap, an animated TGIFImage or a placeholder picture.
    TPersistent* Image = nullptr;
    TBitmap* Mask = nullptr;
    TSectionList* Document;
    TransparencyKind Transparent = NotTransp;
    bool IsMap = false;
    bool UseMap = false;
    bool HasBorder = false;  // a one-pixel frame in the link colour
    int DrawX = 0;           // where the picture was painted last (document Y)
    int PaintTop = 0;
    int Indent = 0;          // a float's X relative to its cell
    CodePageString MapName;
    int HSpace = 5;
    TFormControlObj* OwnControl = nullptr;  // the INPUT TYPE=IMAGE it shows
    bool Painted = false;    // an animated picture was painted by the last paint

    bool Floating() const { return VertAlign == ALeft || VertAlign == ARight; }
    TGIFImage* AnimatedImage() const;
    // Fetches the picture once and sizes it for availableWidth; fontObj is
    // the run at the image.
    void LayOutBlock(TCanvas* canvas, const TFontObj* fontObj, int availableWidth);
    // Paints at x; baselineY and topY are document Ys of the line.
    void Draw(TCanvas* canvas, int x, const TFontObj* fontObj, int baselineY, int topY);

private:
    void FetchImage();
    bool BoxMode(const TPersistent* picture) const;
    std::unique_ptr<TGIFImage> FOwnGif;  // a private copy of a cached animation
    CodePageString FCacheKey;                // the cache entry held, released with the image
};

class TImageObjList : public TFreeList<TImageObj> {
public:
    TImageObj* FindImage(int pos) const;
    // The image's height (or width) and alignment; -1 when no image stands at pos.
    int HeightAt(int pos, TImageAlign& align) const;
    int WidthAt(int pos, TImageAlign& align) const;
    // Characters from pos to the next image at or after it; 9999 when none.
    int CharsToNextImage(int pos) const;
    // The image under a point (document coordinates). Map is the image map of
    // a USEMAP image (none when it has no map of that name).
    bool ImageAtPoint(int x, int y, int& ix, int& iy, TFormControlObj*& formControl, bool& uMap,
                      const TMapItem*& mapItem, bool& isMap, int& imagePos) const;
    bool ObjectAtPoint(int x, int y, TImageObj*& obj, int& ix, int& iy) const;
};

// Records a floating image at y in the indent manager; Img's Indent becomes
// its X relative to the cell. Images that do not float record nothing.
void UpdateImage(IndentManager& imgr, int y, TImageObj& img);

// --- the document root ---------------------------------------------------------------------

// The builder's current inline style, which the text sections it fills take
// on as they are made and as their font changes.
struct TInlineStyle {
    TFontStyles StyleOverrides;  // bold, italic, underline, strikeout added to every run
    TSubSup SubSupState = NoScript;
};

// The document root. It is also what its form controls see of the document
// (TFormDocumentHost): their forms, their list, and the host of the viewer
// that shows it.
class TSectionList : public TCell, public TFormDocumentHost {
public:
    // The host gives the document its paint panel, its image cache and the
    // viewer's handlers; it must outlive the document.
    explicit TSectionList(TViewerHost& host);
    ~TSectionList() override;

    TViewerHost& Host() const { return *FHost; }
    bool ShowImages = true;
    int FontSize = 12;
    // The default and the preformatted face, set with SetDefaultFonts.
    CodePageString FontName() const override { return FFontName; }
    CodePageString PreFontName() const { return FPreFontName; }
    TColor FontColor = clBlack;
    TColor HotSpotColor = clBlue;
    TColor Background = clWhite;
    // The colours the document's BODY gave its text, links and background:
    // they stay when the viewer's defaults change.
    std::optional<TColor> OwnFontColor;
    std::optional<TColor> OwnHotSpotColor;
    std::optional<TColor> OwnBackground;
    int Charset = DEFAULT_CHARSET;
    int ScrollTop = 0;
    bool YOffChange = false;
    // The selection: from SelectionBegin up to, not including, SelectionEnd.
    int SelectionBegin = 0;
    int SelectionEnd = 0;
    // Collects the selected text as it is copied.
    TMemoryStream ClipBuffer;
    TInlineStyle InlineStyle;
    // The animated images in use.
    std::vector<TImageObj*> AnimatedImages;
    TFreeList<TMapItem> MapList;
    // Upper-cased source -> the TImageObj (or this root, for the
    // background) waiting for its picture.
    TStringList PendingImages;
    TTimer* Timer() const { return FTimer.get(); }
    TBitmap* BackgroundBitmap = nullptr;  // belongs to the image cache
    CodePageString BitmapName;
    bool BitmapLoaded = false;

    // The forms of the document, and every form control in document order.
    TFreeList<ThtmlForm>& FormList() override { return FFormList; }
    TFormControlList& FormControlList() override { return FFormControlList; }
    TViewerHost& Viewer() override { return *FHost; }
    void FormControlExited(TFormControlObj* obj) override;

    // Frees the document: sections, maps, pending images, the background.
    void Clear();
    // Faces at most 32 characters each; the BODY's own colours win over
    // color, hotSpotColor and background.
    void SetDefaultFonts(const CodePageString& name, const CodePageString& preName, int size, TColor color,
                         TColor hotSpotColor, TColor background);
    void SetBackground(TColor color);
    void SetBackgroundBitmap(const CodePageString& name);
    TBitmap* GetBackgroundBitmap();
    void SetScrollTop(int y);
    // The sum of the heights of the sections before index.
    int SectionTopOf(int index) const;
    // The map of that name (upper case), or none.
    const TMapItem* FindMap(const CodePageString& name) const;
    // The document's one copy of a font, which every run with the same
    // settings shares: a table of a million cells holds a handful of fonts.
    std::shared_ptr<const TMyFont> SharedFont(const TMyFont& font);

    int LayOutAll(TCanvas* canvas, int y, int width, int& maxWidth, int& curs) override;
    int Draw(TCanvas* canvas, const TRect& aRect, int width, int x, int y) override;
    // The layout of the document under way, numbered; 0 while none is.
    unsigned LayoutPass() const { return FInLayout ? FLayoutNumber : 0; }
    // The animation timer's step: the images painted last move on.
    void AnimationStep();
    // The selected text, as CopySelection writes it.
    CodePageString SelectedText();

private:
    void StartTimerIfAnimated();
    // Controls that the last paint did not place are put out of the way.
    void HideControls();
    TViewerHost* FHost;
    CodePageString FFontName = "Times New Roman";
    CodePageString FPreFontName = "Courier New";
    std::unique_ptr<TTimer> FTimer;
    unsigned FLayoutNumber = 0;
    bool FInLayout = false;
    CodePageString FBackgroundKey;  // the cache entry the background holds
    TFreeList<ThtmlForm> FFormList;
    TFormControlList FFormControlList;
    // The shared fonts, by a hash of their settings.
    std::unordered_map<std::size_t, std::vector<std::shared_ptr<const TMyFont>>> FFonts;
};

// Fills the clip with a document's background as its window shows it: the
// tile, anchored to the document so that it scrolls with it, or else the
// plain colour. `hpos` and `scrollTop` are how far the window has scrolled.
void PaintDocumentBackground(TCanvas& canvas, const TRect& clip, TBitmap* tile, int hpos, int scrollTop,
                             TColor color);
