#include "htmlview/HtmlDocument.h"

#include <algorithm>
#include <climits>

#include "classlib/Controls.h"
#include "classlib/Panels.h"
#include "classlib/Strings.h"
#include "classlib/Timer.h"
#include "htmlview/HtmlGif.h"
#include "htmlview/HtmlTextSection.h"

namespace {

void PictureSize(const TPersistent* picture, int& width, int& height)
{
    width = 0;
    height = 0;
    if (const auto* gif = dynamic_cast<const TGIFImage*>(picture)) {
        width = gif->Width();
        height = gif->Height();
    } else if (const auto* graphic = dynamic_cast<const TGraphic*>(picture)) {
        width = graphic->Width();
        height = graphic->Height();
    }
}

// a * b / c for a size: 0 when c is 0, and never outside 0 .. MaxPixelSize.
int ScaledSize(int a, int b, int c)
{
    if (c == 0)
        return 0;
    return std::clamp(MulDiv(a, b, c), 0, MaxPixelSize);
}

}  // namespace

// --- the section interface ---------------------------------------------------------------

int TSectionBase::LayOutBlock(TCanvas* /*canvas*/, int y, IndentManager& imgr, int& maxWidth, int& curs)
{
    YValue = y;
    FirstPosition = curs;
    PaintHeight = BlockHeight;
    maxWidth = imgr.Width;
    return BlockHeight;
}

int TSectionBase::Draw(TCanvas* /*canvas*/, const TRect& /*aRect*/, IndentManager& /*imgr*/, int /*x*/, int y)
{
    // Its place stays the layout's: the cell finds what to paint by it.
    return y + BlockHeight;
}

// --- the cell --------------------------------------------------------------------------------

void TCell::Add(std::unique_ptr<TSectionBase> section)
{
    if (!section)
        return;
    if (auto* pre = dynamic_cast<TPreFormated*>(section.get()); pre && pre->Len == 0)
        pre->AddText(" ");
    section->RootDocument = Document;
    section->UpdateSize();
    TFreeList::Add(std::move(section));
}

int TCell::LayOutAll(TCanvas* canvas, int y, int width, int& maxWidth, int& curs)
{
    const unsigned pass = Document ? Document->LayoutPass() : 0;
    if (pass != 0 && pass == FLayoutPass && width == Width && FLaidOutCount == Count()) {
        // The same layout: its lines, tables and floats are as they were,
        // only further down and further on in the text.
        MoveBy(y - YValue, curs - FirstPosition);
        curs += Len;
        maxWidth = FLayoutMaxWidth;
        return FLayoutHeight;
    }
    IndentManager imgr;
    imgr.Reset(0, width);
    imgr.Width = width;
    YValue = y;
    FirstPosition = curs;
    maxWidth = 0;
    FPaintReach = 0;
    int total = 0;
    for (const auto& section : *this) {
        int w = 0;
        total += section->LayOutBlock(canvas, y + total, imgr, w, curs);
        maxWidth = std::max(maxWidth, w);
        FPaintReach = std::max(FPaintReach, section->PaintHeight - section->BlockHeight);
    }
    Len = curs - FirstPosition;
    Width = width;
    FLayoutPass = pass;
    FLaidOutCount = Count();
    FLayoutMaxWidth = maxWidth;
    FLayoutHeight = std::max(total, imgr.FloatsBottom() - YValue);
    return FLayoutHeight;
}

void TCell::MoveBy(int dy, int dcurs)
{
    if (dy == 0 && dcurs == 0)
        return;
    YValue += dy;
    FirstPosition += dcurs;
    for (const auto& section : *this)
        section->MoveBy(dy, dcurs);
}

void TCell::WidthRange(TCanvas* canvas, int& min, int& max)
{
    const unsigned pass = Document ? Document->LayoutPass() : 0;
    if (pass != 0 && pass == FRangePass) {
        min = FRangeMin;
        max = FRangeMax;
        return;
    }
    min = 0;
    max = 0;
    for (const auto& section : *this) {
        int mn = 0;
        int mx = 0;
        section->WidthRange(canvas, mn, mx);
        min = std::max(min, mn);
        max = std::max(max, mx);
    }
    FRangePass = pass;
    FRangeMin = min;
    FRangeMax = max;
}

int TCell::Draw(TCanvas* canvas, const TRect& aRect, int /*width*/, int x, int y)
{
    // The layout's indents are relative to the edges, so the same indents
    // serve wherever the cell is painted.
    IndentManager imgr;
    imgr.Reset(x, x + Width);
    imgr.Width = Width;
    const int count = Count();
    if (count == 0 || FLaidOutCount != count) {
        for (const auto& section : *this)
            y = section->Draw(canvas, aRect, imgr, x, y);
        return y;
    }
    // The sections lie down the cell in order, each where the layout put it:
    // those above the clip, even with what they paint below their room, and
    // those below it are passed over.
    const int scrollTop = Document ? Document->ScrollTop : 0;
    const int above = aRect.Top + scrollTop - y - FPaintReach;  // relative to the cell's top
    auto first = std::upper_bound(begin(), end(), above,
                                  [this](int top, const auto& section) { return top < section->YValue - YValue; });
    if (first != begin())
        --first;
    for (auto it = first; it != end(); ++it) {
        TSectionBase* section = it->get();
        const int top = y + section->YValue - YValue;
        if (top - scrollTop >= aRect.Bottom)
            break;
        section->Draw(canvas, aRect, imgr, x, top);
    }
    const TSectionBase* last = Last();
    return y + last->YValue - YValue + last->BlockHeight;
}

bool TCell::LinkAtPoint(TCanvas* canvas, int x, int y, TUrlTarget& urlTarget, TFormControlObj*& formControl)
{
    int top = 0;
    for (const auto& section : *this) {
        if (y >= top && y < top + section->PaintHeight &&
            section->LinkAtPoint(canvas, x, y - top, urlTarget, formControl))
            return true;
        top += section->BlockHeight;
    }
    return false;
}

bool TCell::ObjectAtPoint(int x, int y, TImageObj*& obj, int& ix, int& iy)
{
    int top = 0;
    for (const auto& section : *this) {
        if (y >= top && y < top + section->PaintHeight && section->ObjectAtPoint(x, y - top, obj, ix, iy))
            return true;
        top += section->BlockHeight;
    }
    return false;
}

TSectionBase* TCell::SectionAtY(int y, int& sectionTop, int& index)
{
    int top = 0;
    for (int i = 0; i < Count(); ++i) {
        TSectionBase* section = Items(i);
        if (top + section->BlockHeight > y) {
            sectionTop = top;
            index = i;
            return section;
        }
        top += section->BlockHeight;
    }
    return nullptr;
}

int TCell::PositionAtPoint(TCanvas* canvas, int x, int y, int& xr, int& yr, int& caretHeight, TCell*& sCell,
                           bool& inText)
{
    int top = 0;
    int index = 0;
    TSectionBase* section = SectionAtY(y, top, index);
    if (!section)
        return -1;
    const int position = section->PositionAtPoint(canvas, x, y - top, xr, yr, caretHeight, sCell, inText);
    if (position >= 0) {
        yr += top;
        if (!sCell)
            sCell = this;
    }
    return position;
}

int TCell::SearchText(int from, const CodePageString& toFind, bool matchCase)
{
    for (const auto& section : *this) {
        const int found = section->SearchText(from, toFind, matchCase);
        if (found >= 0)
            return found;
    }
    return -1;
}

bool TCell::PointAtPosition(TCanvas* canvas, int cursor, int& x, int& y)
{
    for (const auto& section : *this)
        if (section->PointAtPosition(canvas, cursor, x, y))
            return true;
    return false;
}

bool TCell::CharAtPosition(int pos, char& ch, TSectionBase*& obj)
{
    if (pos < FirstPosition || pos > FirstPosition + Len)
        return false;
    for (const auto& section : *this)
        if (section->CharAtPosition(pos, ch, obj))
            return true;
    return false;
}

void TCell::CopySelection()
{
    if (!Document || Document->SelectionEnd <= Document->SelectionBegin)
        return;
    for (const auto& section : *this) {
        if (section->FirstPosition >= Document->SelectionEnd)
            break;
        if (section->FirstPosition + section->Len > Document->SelectionBegin)
            section->CopySelection();
    }
}

void TCell::RefreshFonts()
{
    for (const auto& section : *this)
        section->RefreshFonts();
}

// --- fonts -----------------------------------------------------------------------------------------

void TMyFont::SetNormalSize(const TSectionList* list, int size)
{
    NormalSize = size;
    SetSize(MulDiv(list->FontSize, size, 12));
}

void TMyFont::SetFont(const TSectionList* list, TColor color)
{
    if (!OwnFace)
        SetName(Fixed ? list->PreFontName() : list->FontName());
    SetCharset(list->Charset);
    SetSize(MulDiv(list->FontSize, NormalSize, 12));
    if (!OwnColor)
        SetColor(PaletteRelative(color));
}

TFontObj::TFontObj(int pos, std::shared_ptr<const TMyFont> font, const TUrlTarget& link)
    : Pos(pos), TheFont(std::move(font)), UrlTarget(link)
{
}

void TFontObj::UpdateFont(TSectionList* list)
{
    TMyFont font = *TheFont;
    font.SetFont(list, UrlTarget.URL.empty() ? list->FontColor : list->HotSpotColor);
    TheFont = list->SharedFont(font);
}

void TFontObj::Measure(TCanvas* canvas)
{
    if (FMeasuredOn == canvas && FMeasuredFont == TheFont.get() && FMeasuredSerial == TheFont->Serial())
        return;
    canvas->SetFont(TheFont.get());
    const TTextMetric tm = canvas->TextMetrics();
    tmHeight = tm.Height;
    FontHeight = tm.Height + tm.ExternalLeading;
    Ascent = tm.Ascent;
    Descent = tm.Descent;
    Overhang = tm.Overhang;
    FMeasuredOn = canvas;
    FMeasuredFont = TheFont.get();
    FMeasuredSerial = TheFont->Serial();
}

void TFontList::RefreshFonts(TSectionList* list)
{
    for (const auto& run : *this)
        run->UpdateFont(list);
}

void TFontList::MeasureAll(TCanvas* canvas)
{
    for (const auto& run : *this)
        run->Measure(canvas);
}

TFontObj* TFontList::RunAt(int pos, int& index) const
{
    // Runs are in increasing Pos: the last one that starts at or before pos.
    auto it = std::upper_bound(begin(), end(), pos, [](int p, const auto& run) { return p < run->Pos; });
    if (it == begin()) {
        index = Empty() ? -1 : 0;
        return Empty() ? nullptr : Items(0);
    }
    --it;
    index = int(it - begin());
    return it->get();
}

TFontObj* TFontList::FontAt(int pos, int& overhang) const
{
    int index = 0;
    TFontObj* run = RunAt(pos, index);
    overhang = run ? run->Overhang : 0;
    return run;
}

int TFontList::RunCharsAt(int pos, int len) const
{
    auto it = std::upper_bound(begin(), end(), pos, [](int p, const auto& run) { return p < run->Pos; });
    return it == end() ? len - pos : (*it)->Pos - pos;
}

// --- inline images ---------------------------------------------------------------------------------

TImageObj::TImageObj(TSectionList* document, int pos, const TImageSpec& spec)
    : Pos(pos),
      GivenHeight(spec.GivenHeight),
      GivenWidth(spec.GivenWidth),
      PercentWidth(spec.PercentWidth),
      Source(spec.Source),
      Alt(spec.Alt),
      VertAlign(spec.VertAlign),
      NoBorder(spec.NoBorder),
      Document(document),
      Transparent(spec.CornerTransparent ? LLCorner : NotTransp),
      IsMap(spec.IsMap),
      UseMap(spec.UseMap),
      MapName(spec.MapName),
      HSpace(spec.HSpace)
{
}

TImageObj::~TImageObj()
{
    if (!FCacheKey.empty())
        Document->Host().ImageCache().ReleaseEntry(FCacheKey);
}

TGIFImage* TImageObj::AnimatedImage() const
{
    return dynamic_cast<TGIFImage*>(Image);
}

void TImageObj::FetchImage()
{
    if (Source.empty()) {
        // Nothing to ask for: what an unknown picture shows.
        Image = BrokenImageBitmap();
        Mask = BrokenImageMask();
        Transparent = LLCorner;
        return;
    }
    TViewerHost& host = Document->Host();
    if (!host.ImageRequest())
        Source = host.ExpandLinkFileName(Source);
    const CodePageString pendingKey = UpperCase(Source);
    if (Document->PendingImages.IndexOf(pendingKey) >= 0) {
        Image = DefaultBitmap();
        Document->PendingImages.AddObject(pendingKey, this);
        return;
    }
    TransparencyKind transparent = Transparent;
    bool later = false;
    bool wasCached = false;
    TBitmap* mask = nullptr;
    TPersistent* picture = GetTheImage(host.ImageCache(), Source, host.ImageRequest(), host.EventSender(), transparent,
                                       later, wasCached, mask);
    if (picture) {
        FCacheKey = ImageCacheKey(Source);
        Transparent = transparent;
        Mask = mask;
        if (auto* gif = dynamic_cast<TGIFImage*>(picture)) {
            // Every occurrence of an animation runs on its own.
            if (wasCached) {
                FOwnGif = gif->Duplicate();
                picture = FOwnGif.get();
            }
            Document->AnimatedImages.push_back(this);
        }
        Image = picture;
    } else if (later) {
        Image = DefaultBitmap();
        Document->PendingImages.AddObject(pendingKey, this);
    } else {
        Image = BrokenImageBitmap();
        Mask = BrokenImageMask();
        Transparent = LLCorner;
    }
}

bool TImageObj::BoxMode(const TPersistent* picture) const
{
    return !Document->ShowImages || picture == BrokenImageBitmap() || picture == DefaultBitmap();
}

void TImageObj::LayOutBlock(TCanvas* canvas, const TFontObj* fontObj, int availableWidth)
{
    if (Document->ShowImages && !Image)
        FetchImage();
    const TPersistent* picture = Document->ShowImages ? Image : DefaultBitmap();
    if (!SizeKnown) {
        int pw = 0;
        int ph = 0;
        PictureSize(picture, pw, ph);
        if (picture == BrokenImageBitmap() || picture == DefaultBitmap()) {
            if (GivenHeight > 0 && GivenWidth > 0 && !PercentWidth) {
                BoxWidth = GivenWidth;
                BoxHeight = GivenHeight;
                SizeKnown = true;
            } else {
                BoxWidth = pw;
                BoxHeight = ph;
            }
        } else if (PercentWidth) {
            BoxWidth = ScaledSize(availableWidth, GivenWidth, 100);
            BoxHeight = GivenHeight > 0 ? GivenHeight : ph;
        } else {
            if (GivenHeight > 0 && GivenWidth > 0) {
                BoxWidth = GivenWidth;
                BoxHeight = GivenHeight;
            } else if (GivenHeight > 0) {
                BoxHeight = GivenHeight;
                BoxWidth = ScaledSize(GivenHeight, pw, ph);
            } else if (GivenWidth > 0) {
                BoxWidth = GivenWidth;
                BoxHeight = ScaledSize(GivenWidth, ph, pw);
            } else {
                BoxWidth = pw;
                BoxHeight = ph;
            }
            SizeKnown = true;
        }
        if (BoxMode(picture) && !SizeKnown) {
            canvas->Font()->SetName("Arial");
            canvas->Font()->SetSize(8);
            BoxWidth = std::max(BoxWidth, Alt.empty() ? 24 : canvas->TextWidth(Alt) + 2 + 24);
            BoxHeight = std::max(BoxHeight, std::max(24, canvas->TextHeight(Alt)));
        }
    }
    HasBorder = fontObj && !fontObj->UrlTarget.URL.empty() && !NoBorder;
    const int border = HasBorder ? 2 : 0;
    ImageWidth = BoxWidth + border;
    ImageHeight = BoxHeight + border;
}

void TImageObj::Draw(TCanvas* canvas, int x, const TFontObj* fontObj, int baselineY, int topY)
{
    TPersistent* picture = Document->ShowImages ? Image : DefaultBitmap();
    const TBitmap* mask = Document->ShowImages ? Mask : nullptr;
    if (!picture)
        picture = DefaultBitmap();
    const bool box = BoxMode(picture);
    canvas->Brush()->SetStyle(bsClear);
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetSize(8);
    canvas->Font()->SetColor(clBlack);

    int top = topY;
    if (VertAlign == AMiddle)
        top = baselineY + (fontObj ? fontObj->Descent - fontObj->tmHeight / 2 : 0) - ImageHeight / 2;
    else if (VertAlign == ABottom)
        top = baselineY - ImageHeight;
    const int screenTop = top - Document->ScrollTop;
    const int border = HasBorder ? 1 : 0;
    const int d = (box ? 4 : 0) + border;
    DrawX = x + border;
    PaintTop = top + border;

    if (!box || (BoxWidth >= 24 && BoxHeight >= 24)) {
        const int px = x + d;
        const int py = screenTop + d;
        if (auto* gif = dynamic_cast<TGIFImage*>(picture)) {
            Painted = true;
            gif->SetShown(true);
            gif->Draw(canvas, px, py, BoxWidth, BoxHeight);
        } else if (auto* bitmap = dynamic_cast<TBitmap*>(picture)) {
            const bool placeholder = bitmap == BrokenImageBitmap() || bitmap == DefaultBitmap();
            if (mask && (Transparent != NotTransp || bitmap == BrokenImageBitmap())) {
                if (bitmap == BrokenImageBitmap())
                    TransparentStretchDraw(canvas, *bitmap, *mask, px, py, bitmap->Width(), bitmap->Height());
                else
                    TransparentStretchDraw(canvas, *bitmap, *mask, px, py, BoxWidth, BoxHeight);
            } else if (placeholder) {
                canvas->Draw(px, py, bitmap);
            } else {
                canvas->StretchDraw(Bounds(px, py, BoxWidth, BoxHeight), bitmap);
            }
        }
    }
    if (box && !HasBorder) {
        DrawWrapped(canvas, x + 24, screenTop + d, x + BoxWidth - 2, screenTop + BoxHeight - 1, Alt);
        Draw3DFrame(Document->Background, canvas, x, screenTop, x + BoxWidth - 1, screenTop + BoxHeight - 1, false);
    }
    if (HasBorder) {
        const TColor linkColor = fontObj ? fontObj->TheFont->Color() : Document->HotSpotColor;
        canvas->Pen()->SetColor(linkColor);
        canvas->Font()->SetColor(linkColor);
        if (box)
            DrawWrapped(canvas, x + 24, screenTop + d, x + BoxWidth - 2, screenTop + BoxHeight - 1, Alt);
        canvas->Brush()->SetStyle(bsClear);
        canvas->Rectangle(x, screenTop, x + ImageWidth, screenTop + ImageHeight);
    }
}

namespace {

auto FirstImageAtOrAfter(const TImageObjList& list, int pos)
{
    return std::lower_bound(list.begin(), list.end(), pos, [](const auto& img, int p) { return img->Pos < p; });
}

}  // namespace

TImageObj* TImageObjList::FindImage(int pos) const
{
    auto it = FirstImageAtOrAfter(*this, pos);
    return it != end() && (*it)->Pos == pos ? it->get() : nullptr;
}

int TImageObjList::HeightAt(int pos, TImageAlign& align) const
{
    const TImageObj* img = FindImage(pos);
    if (!img)
        return -1;
    align = img->VertAlign;
    return img->ImageHeight;
}

int TImageObjList::WidthAt(int pos, TImageAlign& align) const
{
    const TImageObj* img = FindImage(pos);
    if (!img)
        return -1;
    align = img->VertAlign;
    return img->ImageWidth;
}

int TImageObjList::CharsToNextImage(int pos) const
{
    auto it = FirstImageAtOrAfter(*this, pos);
    return it == end() ? 9999 : (*it)->Pos - pos;
}

bool TImageObjList::ImageAtPoint(int x, int y, int& ix, int& iy, TFormControlObj*& formControl, bool& uMap,
                                 const TMapItem*& mapItem, bool& isMap, int& imagePos) const
{
    for (const auto& img : *this) {
        const int border = img->HasBorder ? 2 : 0;
        const int px = x - img->DrawX;
        const int py = y - img->PaintTop;
        if (px < 0 || py < 0 || px >= img->ImageWidth - border || py >= img->ImageHeight - border)
            continue;
        ix = px;
        iy = py;
        formControl = img->OwnControl;
        isMap = img->IsMap;
        imagePos = img->Pos;
        uMap = false;
        mapItem = nullptr;
        if (img->UseMap) {
            mapItem = img->Document->FindMap(img->MapName);
            uMap = mapItem != nullptr;
        }
        return true;
    }
    return false;
}

bool TImageObjList::ObjectAtPoint(int x, int y, TImageObj*& obj, int& ix, int& iy) const
{
    for (const auto& img : *this) {
        const int border = img->HasBorder ? 2 : 0;
        const int px = x - img->DrawX;
        const int py = y - img->PaintTop;
        if (px >= 0 && py >= 0 && px < img->ImageWidth - border && py < img->ImageHeight - border) {
            obj = img.get();
            ix = px;
            iy = py;
            return true;
        }
    }
    return false;
}

void UpdateImage(IndentManager& imgr, int y, TImageObj& img)
{
    if (img.VertAlign == ALeft) {
        img.Indent = imgr.LeftEdgeAt(y) - imgr.LeftEdge;
        imgr.LeftList.push_back({img.Indent + img.ImageWidth + img.HSpace, y, y + img.ImageHeight, 0});
    } else if (img.VertAlign == ARight) {
        const int x = imgr.RightEdgeAt(y) - imgr.RightEdge - (img.ImageWidth + img.HSpace);
        imgr.RightList.push_back({x, y, y + img.ImageHeight, 0});
        // The side facing the text keeps the space.
        img.Indent = imgr.RightEdge + x + img.HSpace;
    }
}

// --- the document root ---------------------------------------------------------------------------

TSectionList::TSectionList(TViewerHost& host)
    : TCell(this), FHost(&host), FTimer(std::make_unique<TTimer>(nullptr))
{
    FTimer->SetEnabled(false);
    FTimer->SetInterval(50);
    FTimer->OnTimer = [this](TObject*) { AnimationStep(); };
}

TSectionList::~TSectionList()
{
    Clear();
}

void TSectionList::Clear()
{
    BackgroundBitmap = nullptr;
    if (!FBackgroundKey.empty()) {
        FHost->ImageCache().ReleaseEntry(FBackgroundKey);
        FBackgroundKey.clear();
    }
    BitmapName.clear();
    BitmapLoaded = false;
    OwnFontColor.reset();
    OwnHotSpotColor.reset();
    OwnBackground.reset();
    // Each control leaves the document's list as its form frees it.
    FFormList.Clear();
    FFormControlList.Clear();
    AnimatedImages.clear();
    SelectionBegin = 0;
    SelectionEnd = 0;
    MapList.Clear();
    PendingImages.Clear();
    TCell::Clear();
    FFonts.clear();
}

void TSectionList::SetDefaultFonts(const CodePageString& name, const CodePageString& preName, int size, TColor color,
                                   TColor hotSpotColor, TColor background)
{
    FFontName = name.substr(0, 32);
    FPreFontName = preName.substr(0, 32);
    FontSize = size;
    FontColor = OwnFontColor.value_or(color);
    HotSpotColor = OwnHotSpotColor.value_or(hotSpotColor);
    SetBackground(OwnBackground.value_or(background));
    RefreshFonts();
}

void TSectionList::SetBackground(TColor color)
{
    Background = color;
    FHost->BackgroundChanged(color);
}

void TSectionList::SetBackgroundBitmap(const CodePageString& name)
{
    BackgroundBitmap = nullptr;
    if (!FBackgroundKey.empty()) {
        FHost->ImageCache().ReleaseEntry(FBackgroundKey);
        FBackgroundKey.clear();
    }
    BitmapName = name;
    BitmapLoaded = false;
}

TBitmap* TSectionList::GetBackgroundBitmap()
{
    if (ShowImages && !BitmapLoaded && !BitmapName.empty()) {
        CodePageString name = BitmapName;
        if (!FHost->ImageRequest())
            name = FHost->ExpandLinkFileName(name);
        TransparencyKind transparent = NotTransp;
        bool later = false;
        bool wasCached = false;
        TBitmap* mask = nullptr;
        TPersistent* picture = GetTheImage(FHost->ImageCache(), name, FHost->ImageRequest(), FHost->EventSender(),
                                           transparent, later, wasCached, mask);
        if (auto* bitmap = dynamic_cast<TBitmap*>(picture)) {
            BackgroundBitmap = bitmap;
            FBackgroundKey = ImageCacheKey(name);
        } else if (picture) {
            // An animation is no background: let the cache free it when its time comes.
            FHost->ImageCache().ReleaseEntry(ImageCacheKey(name));
        } else if (later) {
            PendingImages.AddObject(UpperCase(name), this);
        }
        BitmapLoaded = true;
    }
    return BackgroundBitmap;
}

void TSectionList::SetScrollTop(int y)
{
    if (y == ScrollTop)
        return;
    ScrollTop = y;
    YOffChange = true;
    for (TFormControlObj* control : FFormControlList)
        control->OnScreen = false;
}

int TSectionList::SectionTopOf(int index) const
{
    const int last = std::min(index, Count() - 1);
    int top = 0;
    for (int i = 0; i < last; ++i)
        top += Items(i)->BlockHeight;
    return top;
}

std::shared_ptr<const TMyFont> TSectionList::SharedFont(const TMyFont& font)
{
    std::size_t hash = std::hash<CodePageString>()(font.Name());
    for (const long long part : {(long long)font.Height(), (long long)font.Color(), (long long)font.Charset(),
                                 (long long)font.Pitch(), (long long)font.NormalSize, (long long)font.Fixed})
        hash = hash * 1000003u ^ std::hash<long long>()(part);
    for (const TFontStyle style : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
        hash = hash * 31u + (font.Style().Contains(style) ? 1u : 0u);
    auto& fonts = FFonts[hash];
    for (const auto& shared : fonts)
        if (shared->SameAs(font))
            return shared;
    return fonts.emplace_back(std::make_shared<const TMyFont>(font));
}

const TMapItem* TSectionList::FindMap(const CodePageString& name) const
{
    for (const auto& map : MapList)
        if (SameText(map->MapTitle, name))
            return map.get();
    return nullptr;
}

void TSectionList::StartTimerIfAnimated()
{
    if (!AnimatedImages.empty())
        FTimer->SetEnabled(true);
}

int TSectionList::LayOutAll(TCanvas* canvas, int y, int width, int& maxWidth, int& curs)
{
    FTimer->SetEnabled(false);
    for (const auto& form : FFormList)
        form->MeasureAll(canvas);
    struct Pass {
        bool& InLayout;
        Pass(bool& inLayout, unsigned& number) : InLayout(inLayout)
        {
            // 0 stands for no layout: a cell laid out outside one is never reused.
            if (++number == 0)
                ++number;
            InLayout = true;
        }
        ~Pass() { InLayout = false; }
    };
    int height = 0;
    {
        const Pass pass(FInLayout, FLayoutNumber);
        height = TCell::LayOutAll(canvas, y, width, maxWidth, curs);
    }
    for (TImageObj* img : AnimatedImages) {
        if (TGIFImage* gif = img->AnimatedImage()) {
            gif->GoToFrame(1);
            gif->SetRunning(false);
            gif->SetRunning(true);
        }
    }
    StartTimerIfAnimated();
    HideControls();
    return height;
}

int TSectionList::Draw(TCanvas* canvas, const TRect& aRect, int width, int x, int y)
{
    FTimer->SetEnabled(false);
    for (TImageObj* img : AnimatedImages)
        img->Painted = false;
    const int bottom = TCell::Draw(canvas, aRect, width, x, y);
    if (YOffChange)
        HideControls();
    YOffChange = false;
    StartTimerIfAnimated();
    return bottom;
}

void TSectionList::AnimationStep()
{
    for (TImageObj* img : AnimatedImages)
        if (img->Painted)
            if (TGIFImage* gif = img->AnimatedImage())
                gif->StepIfDue(FHost->PaintPanel());
    FTimer->SetInterval(50);
}

void TSectionList::HideControls()
{
    if (FFormControlList.Count() > 0)
        HideControlsNotOnScreen(FFormControlList);
}

void TSectionList::FormControlExited(TFormControlObj* /*obj*/)
{
    HideControls();
}

CodePageString TSectionList::SelectedText()
{
    ClipBuffer.Clear();
    CopySelection();
    return ClipBuffer.DataString();
}

void PaintDocumentBackground(TCanvas& canvas, const TRect& clip, TBitmap* tile, int hpos, int scrollTop,
                             TColor color)
{
    if (tile && tile->Width() > 0 && tile->Height() > 0) {
        const int tw = tile->Width();
        const int th = tile->Height();
        const int x0 = -(hpos % tw);
        const int y0 = -(scrollTop % th);
        const int firstX = x0 + ((clip.Left - x0) / tw) * tw;
        const int firstY = y0 + ((clip.Top - y0) / th) * th;
        for (int y = firstY; y < clip.Bottom; y += th)
            for (int x = firstX; x < clip.Right; x += tw)
                canvas.DrawBitmap(Bounds(x, y, tw, th), *tile, Rect(0, 0, tw, th), false, clNone);
    } else {
        canvas.Brush()->SetStyle(bsSolid);
        canvas.Brush()->SetColor(color);
        canvas.FillRect(clip);
    }
}
