#include "classlib/Graphics.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "classlib/Files.h"
#include "classlib/Menus.h"
#include "classlib/QtBridge.h"
#include "classlib/Strings.h"
#include "platform/Resources.h"

// --- geometry --------------------------------------------------------------------

TRect IntersectRect(const TRect& a, const TRect& b)
{
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
    if (r.IsEmpty())
        return {};
    return r;
}

TRect InflateRect(const TRect& r, int dx, int dy)
{
    return {r.Left - dx, r.Top - dy, r.Right + dx, r.Bottom + dy};
}

TRect OffsetRect(const TRect& r, int dx, int dy)
{
    return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}

// --- colours -------------------------------------------------------------------------

namespace {

// The classic desktop scheme, by system colour index.
constexpr std::array<TColor, 25> kSystemColors = {
    RGB(212, 208, 200),  // scroll bar
    RGB(58, 110, 165),   // background
    RGB(10, 36, 106),    // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(212, 208, 200),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(212, 208, 200),  // active border
    RGB(212, 208, 200),  // inactive border
    RGB(128, 128, 128),  // application workspace
    RGB(10, 36, 106),    // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(212, 208, 200),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // gray text
    RGB(0, 0, 0),        // button text
    RGB(212, 208, 200),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(64, 64, 64),     // 3D dark shadow
    RGB(212, 208, 200),  // 3D light
    RGB(0, 0, 0),        // info text
    RGB(255, 255, 225),  // info background
};

struct ColorName {
    const char* name;
    TColor color;
};

constexpr ColorName kColorNames[] = {
    {"clBlack", clBlack}, {"clMaroon", clMaroon}, {"clGreen", clGreen}, {"clOlive", clOlive},
    {"clNavy", clNavy}, {"clPurple", clPurple}, {"clTeal", clTeal}, {"clGray", clGray},
    {"clSilver", clSilver}, {"clRed", clRed}, {"clLime", clLime}, {"clYellow", clYellow},
    {"clBlue", clBlue}, {"clFuchsia", clFuchsia}, {"clAqua", clAqua}, {"clWhite", clWhite},
    {"clScrollBar", clScrollBar}, {"clBackground", clBackground}, {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption}, {"clMenu", clMenu}, {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame}, {"clMenuText", clMenuText}, {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText}, {"clActiveBorder", clActiveBorder}, {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace}, {"clHighlight", clHighlight}, {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace}, {"clBtnShadow", clBtnShadow}, {"clGrayText", clGrayText},
    {"clBtnText", clBtnText}, {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight}, {"cl3DDkShadow", cl3DDkShadow}, {"cl3DLight", cl3DLight},
    {"clInfoText", clInfoText}, {"clInfoBk", clInfoBk}, {"clNone", clNone}, {"clDefault", clDefault},
};

}  // namespace

TColor ColorToRGB(TColor color)
{
    if (color < 0) {
        const unsigned index = unsigned(color) & 0xFF;
        if (index < kSystemColors.size())
            return kSystemColors[index];
        return clBlack;
    }
    if (color == clNone)
        return clWhite;
    if (color == clDefault)
        return clBlack;
    return color & 0xFFFFFF;
}

bool IdentToColor(const CodePageString& name, TColor& color)
{
    for (const auto& entry : kColorNames) {
        if (SameText(name, entry.name)) {
            color = entry.color;
            return true;
        }
    }
    return false;
}

CodePageString ColorToString(TColor color)
{
    for (const auto& entry : kColorNames)
        if (entry.color == color)
            return entry.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", unsigned(color));
    return buf;
}

int GetNearestPaletteIndex(const TPalette& palette, TColor color)
{
    const TColor rgb = ColorToRGB(color);
    const int r = GetRValue(rgb), g = GetGValue(rgb), b = GetBValue(rgb);
    int best = -1;
    long bestDistance = 0;
    for (size_t i = 0; i < palette.size(); ++i) {
        const long dr = palette[i].Red - r, dg = palette[i].Green - g, db = palette[i].Blue - b;
        const long distance = dr * dr + dg * dg + db * db;
        if (best < 0 || distance < bestDistance) {
            best = int(i);
            bestDistance = distance;
            if (distance == 0)
                break;
        }
    }
    return best;
}

// --- regions -------------------------------------------------------------------------

namespace {

int ClampToInt(long long v)
{
    return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

TRegion TRegion::FromRect(const TRect& rect)
{
    TRegion r;
    r.FKind = Kind::Rect;
    r.FBounds = rect;
    return r;
}

TRegion TRegion::FromEllipse(const TRect& bounds)
{
    TRegion r;
    r.FKind = Kind::Ellipse;
    r.FBounds = bounds;
    return r;
}

TRegion TRegion::FromPolygon(const std::vector<TPoint>& points)
{
    TRegion r;
    if (points.size() < 3)
        return r;
    r.FKind = Kind::Polygon;
    r.FPoints = points;
    long long left = points[0].x, top = points[0].y, right = left, bottom = top;
    for (const TPoint& p : points) {
        left = std::min<long long>(left, p.x);
        top = std::min<long long>(top, p.y);
        right = std::max<long long>(right, p.x);
        bottom = std::max<long long>(bottom, p.y);
    }
    r.FBounds = {ClampToInt(left), ClampToInt(top), ClampToInt(right + 1), ClampToInt(bottom + 1)};
    return r;
}

void TRegion::ShapeRuns(int y, std::vector<std::pair<int, int>>& runs) const
{
    runs.clear();
    if (Empty() || y < FBounds.Top || y >= FBounds.Bottom)
        return;
    switch (FKind) {
    case Kind::None:
        return;
    case Kind::Rect:
        runs.emplace_back(FBounds.Left, FBounds.Right);
        return;
    case Kind::Ellipse: {
        // Pixels whose centre lies inside the ellipse.
        const double cx = (double(FBounds.Left) + FBounds.Right) / 2, cy = (double(FBounds.Top) + FBounds.Bottom) / 2;
        const double rx = (double(FBounds.Right) - FBounds.Left) / 2, ry = (double(FBounds.Bottom) - FBounds.Top) / 2;
        const double dy = (y + 0.5 - cy) / ry;
        const double t = 1 - dy * dy;
        if (t < 0)
            return;
        const double half = rx * std::sqrt(t);
        // x + 0.5 within [cx - half, cx + half]
        const long long from = (long long)std::ceil(cx - half - 0.5);
        const long long to = (long long)std::floor(cx + half - 0.5) + 1;
        if (to > from)
            runs.emplace_back(ClampToInt(std::max<long long>(from, FBounds.Left)),
                              ClampToInt(std::min<long long>(to, FBounds.Right)));
        return;
    }
    case Kind::Polygon: {
        // Crossings of the scan line through the pixel centres, with the
        // direction of each edge for the winding count.
        const double sy = y + 0.5;
        std::vector<std::pair<double, int>> crossings;
        const size_t n = FPoints.size();
        for (size_t i = 0; i < n; ++i) {
            const TPoint a = FPoints[i], b = FPoints[(i + 1) % n];
            if (a.y == b.y)
                continue;
            const bool down = a.y < b.y;
            const double y0 = down ? a.y : b.y, y1 = down ? b.y : a.y;
            if (sy < y0 || sy >= y1)
                continue;
            const double x = a.x + (sy - a.y) * (double(b.x) - a.x) / (double(b.y) - a.y);
            crossings.emplace_back(x, down ? 1 : -1);
        }
        std::sort(crossings.begin(), crossings.end());
        int winding = 0;
        double start = 0;
        for (const auto& [x, dir] : crossings) {
            const int before = winding;
            winding += dir;
            if (before == 0 && winding != 0) {
                start = x;
            } else if (before != 0 && winding == 0) {
                const long long from = (long long)std::ceil(start - 0.5);
                const long long to = (long long)std::ceil(x - 0.5);
                if (to > from)
                    runs.emplace_back(ClampToInt(from), ClampToInt(to));
            }
        }
        return;
    }
    }
}

bool TRegion::Contains(int x, int y) const
{
    for (const TRect& hole : FHoles)
        if (hole.Contains({x, y}))
            return false;
    if (!FBounds.Contains({x, y}))
        return false;
    if (FKind == Kind::Rect)
        return true;
    std::vector<std::pair<int, int>> runs;
    ShapeRuns(y, runs);
    for (const auto& [from, to] : runs)
        if (x >= from && x < to)
            return true;
    return false;
}

void TRegion::Subtract(const TRect& rect)
{
    if (!rect.IsEmpty())
        FHoles.push_back(rect);
}

std::vector<TRect> TRegion::RectsWithin(const TRect& clip) const
{
    std::vector<TRect> out;
    const TRect area = IntersectRect(FBounds, clip);
    if (Empty() || area.IsEmpty())
        return out;
    std::vector<std::pair<int, int>> runs, cut;
    std::vector<std::pair<int, int>> previous;
    size_t previousStart = 0;  // the rectangles of the row before, to grow downwards
    for (int y = area.Top; y < area.Bottom; ++y) {
        ShapeRuns(y, runs);
        for (auto& run : runs) {
            run.first = std::max(run.first, area.Left);
            run.second = std::min(run.second, area.Right);
        }
        for (const TRect& hole : FHoles) {
            if (y < hole.Top || y >= hole.Bottom)
                continue;
            cut.clear();
            for (const auto& [from, to] : runs) {
                if (hole.Right <= from || hole.Left >= to) {
                    cut.emplace_back(from, to);
                    continue;
                }
                if (from < hole.Left)
                    cut.emplace_back(from, hole.Left);
                if (hole.Right < to)
                    cut.emplace_back(hole.Right, to);
            }
            runs.swap(cut);
        }
        std::erase_if(runs, [](const std::pair<int, int>& r) { return r.second <= r.first; });
        if (runs == previous && !runs.empty()) {
            for (size_t i = previousStart; i < out.size(); ++i)
                out[i].Bottom = y + 1;
            continue;
        }
        previousStart = out.size();
        for (const auto& [from, to] : runs)
            out.push_back({from, y, to, y + 1});
        previous = runs;
    }
    return out;
}

// --- fonts, brushes, pens ------------------------------------------------------------------

TFontStyles::TFontStyles(std::initializer_list<TFontStyle> styles)
{
    for (TFontStyle s : styles)
        FBits |= Bit(s);
}

void TGraphicsObject::Changed()
{
    ++FSerial;
    FireEvent(OnChange, this);
}

TFont::TFont() = default;

TFont::TFont(const TFont& other) : TGraphicsObject()
{
    FName = other.FName;
    FHeight = other.FHeight;
    FColor = other.FColor;
    FStyle = other.FStyle;
    FPitch = other.FPitch;
    FCharset = other.FCharset;
    FOrientation = other.FOrientation;
}

TFont& TFont::operator=(const TFont& other)
{
    Assign(other);
    return *this;
}

void TFont::Assign(const TFont& source)
{
    if (&source == this || source == *this)
        return;
    FName = source.FName;
    FHeight = source.FHeight;
    FColor = source.FColor;
    FStyle = source.FStyle;
    FPitch = source.FPitch;
    FCharset = source.FCharset;
    FOrientation = source.FOrientation;
    Changed();
}

bool operator==(const TFont& a, const TFont& b)
{
    return a.FName == b.FName && a.FHeight == b.FHeight && a.FColor == b.FColor && a.FStyle == b.FStyle &&
           a.FPitch == b.FPitch && a.FCharset == b.FCharset && a.FOrientation == b.FOrientation;
}

void TFont::SetName(const CodePageString& name)
{
    if (name.empty() || name == FName)
        return;
    FName = name;
    Changed();
}

int TFont::Size() const
{
    // Height = -Size * 96 / 72, rounded the way the class library rounds it.
    const int h = FHeight < 0 ? -FHeight : FHeight;
    const int size = int(std::lround(h * 72.0 / PixelsPerInch));
    return FHeight < 0 ? size : -size;
}

void TFont::SetSize(int points)
{
    SetHeight(-int(std::lround(points * double(PixelsPerInch) / 72.0)));
}

void TFont::SetHeight(int pixels)
{
    if (pixels == FHeight)
        return;
    FHeight = pixels;
    Changed();
}

void TFont::SetColor(TColor color)
{
    if (color == FColor)
        return;
    FColor = color;
    Changed();
}

void TFont::SetStyle(TFontStyles style)
{
    if (style == FStyle)
        return;
    FStyle = style;
    Changed();
}

void TFont::SetPitch(TFontPitch pitch)
{
    if (pitch == FPitch)
        return;
    FPitch = pitch;
    Changed();
}

void TFont::SetCharset(int charset)
{
    if (charset == FCharset)
        return;
    FCharset = charset;
    Changed();
}

void TFont::SetOrientation(int tenths)
{
    if (tenths == FOrientation)
        return;
    FOrientation = tenths;
    Changed();
}

CodePageString MapFontFamily(const CodePageString& name)
{
    struct Mapping {
        const char* windowsName;
        const char* family;
    };
    static constexpr Mapping kMap[] = {
        {"MS Sans Serif", "Liberation Sans"}, {"MS Shell Dlg", "Liberation Sans"},
        {"MS Shell Dlg 2", "Liberation Sans"}, {"Microsoft Sans Serif", "Liberation Sans"},
        {"Arial", "Liberation Sans"}, {"Helvetica", "Liberation Sans"}, {"Tahoma", "Liberation Sans"},
        {"Verdana", "Liberation Sans"}, {"System", "Liberation Sans"}, {"Small Fonts", "Liberation Sans"},
        {"Times New Roman", "Liberation Serif"}, {"Times", "Liberation Serif"}, {"MS Serif", "Liberation Serif"},
        {"Georgia", "Liberation Serif"}, {"Courier New", "Liberation Mono"}, {"Courier", "Liberation Mono"},
        {"Fixedsys", "Liberation Mono"}, {"Lucida Console", "Liberation Mono"}, {"Terminal", "Liberation Mono"},
        {"Liberation Sans", "Liberation Sans"}, {"Liberation Serif", "Liberation Serif"},
        {"Liberation Mono", "Liberation Mono"},
    };
    for (const auto& m : kMap)
        if (SameText(name, m.windowsName))
            return m.family;
    // Every other name is drawn in the sans family, so metrics never depend on
    // what else happens to be installed.
    return "Liberation Sans";
}

TBrush::TBrush(const TBrush& other) : TGraphicsObject()
{
    FColor = other.FColor;
    FStyle = other.FStyle;
    FBitmap = other.FBitmap;
}

TBrush& TBrush::operator=(const TBrush& other)
{
    Assign(other);
    return *this;
}

void TBrush::Assign(const TBrush& source)
{
    if (&source == this)
        return;
    FColor = source.FColor;
    FStyle = source.FStyle;
    FBitmap = source.FBitmap;
    Changed();
}

void TBrush::SetColor(TColor color)
{
    FColor = color;
    if (FStyle == bsClear)
        FStyle = bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle style)
{
    FStyle = style;
    Changed();
}

void TBrush::SetBitmap(TBitmap* bitmap)
{
    FBitmap = bitmap;
    Changed();
}

TPen::TPen(const TPen& other) : TGraphicsObject()
{
    FColor = other.FColor;
    FWidth = other.FWidth;
    FStyle = other.FStyle;
    FMode = other.FMode;
}

TPen& TPen::operator=(const TPen& other)
{
    Assign(other);
    return *this;
}

void TPen::Assign(const TPen& source)
{
    if (&source == this)
        return;
    FColor = source.FColor;
    FWidth = source.FWidth;
    FStyle = source.FStyle;
    FMode = source.FMode;
    Changed();
}

void TPen::SetColor(TColor color)
{
    FColor = color;
    Changed();
}

void TPen::SetWidth(int width)
{
    FWidth = width < 0 ? 0 : width;
    Changed();
}

void TPen::SetStyle(TPenStyle style)
{
    FStyle = style;
    Changed();
}

void TPen::SetMode(TPenMode mode)
{
    FMode = mode;
    Changed();
}

// --- canvas ---------------------------------------------------------------------------

TCanvas::TCanvas()
    : FFont(std::make_unique<TFont>()), FBrush(std::make_unique<TBrush>()), FPen(std::make_unique<TPen>())
{
}

TCanvas::~TCanvas() = default;

TTextMetric TCanvas::TextMetrics()
{
    TTextMetric tm;
    const TSize cell = TextExtent("Wg");
    tm.Height = cell.cy;
    tm.Descent = cell.cy / 4;
    tm.Ascent = tm.Height - tm.Descent;
    tm.AveCharWidth = TextWidth("x");
    return tm;
}

void TCanvas::FillRegion(const TRegion& region)
{
    for (const TRect& r : region.RectsWithin(ClipRect()))
        FillRect(r);
}

void TCanvas::DrawMasked(const TRect& dest, const TBitmap& bitmap, const TRect& source, const TBitmap& mask)
{
    const TRect part = IntersectRect(source, Rect(0, 0, bitmap.Width(), bitmap.Height()));
    if (dest.IsEmpty() || part.IsEmpty())
        return;
    // A destination narrower than the source keeps its scale for the part.
    const TRect scaled = source == part ? dest
                                        : TRect{dest.Left + MulDiv(part.Left - source.Left, dest.Width(), source.Width()),
                                                dest.Top + MulDiv(part.Top - source.Top, dest.Height(), source.Height()),
                                                dest.Left + MulDiv(part.Right - source.Left, dest.Width(), source.Width()),
                                                dest.Top + MulDiv(part.Bottom - source.Top, dest.Height(), source.Height())};
    // Only the surface pixels that can show are made, each from the source
    // pixel under its centre: a large picture drawn small, or mostly outside
    // the clip, costs what is shown and not its own size (a GIF of a few
    // bytes may claim a screen of 16 M pixels).
    const TRect shown = IntersectRect(scaled, ClipRect());
    if (shown.IsEmpty() || scaled.IsEmpty())
        return;
    const auto sourceAt = [](int offset, int sourceSize, int scaledSize) {
        return int((2LL * offset + 1) * sourceSize / (2LL * scaledSize));
    };
    std::vector<int> columns(std::size_t(shown.Width()));
    for (int x = 0; x < shown.Width(); ++x)
        columns[std::size_t(x)] = part.Left + sourceAt(shown.Left + x - scaled.Left, part.Width(), scaled.Width());
    TBitmap through(shown.Width(), shown.Height());
    for (int y = 0; y < shown.Height(); ++y) {
        const int sy = part.Top + sourceAt(shown.Top + y - scaled.Top, part.Height(), scaled.Height());
        const std::uint32_t* from = bitmap.ScanLine(sy);
        const std::uint32_t* masked = mask.ScanLine(sy);
        std::uint32_t* to = through.ScanLine(y);
        for (int x = 0; x < shown.Width(); ++x) {
            const int sx = columns[std::size_t(x)];
            const bool clear = masked && sx < mask.Width() && (masked[sx] & 0xFFFFFF) != 0;
            to[x] = clear ? 0 : (from[sx] | 0xFF000000u);
        }
    }
    DrawBitmap(shown, through, Rect(0, 0, shown.Width(), shown.Height()), false, clNone);
}

void TCanvas::Draw(int x, int y, TGraphic* graphic)
{
    if (graphic && !graphic->Empty())
        graphic->Draw(this, Bounds(x, y, graphic->Width(), graphic->Height()));
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic)
{
    if (graphic && !graphic->Empty())
        graphic->Draw(this, rect);
}

namespace {

CodePageString ExpandTabs(const CodePageString& s)
{
    CodePageString out;
    for (char c : s) {
        if (c == '\t') {
            do
                out.push_back(' ');
            while (out.size() % 8 != 0);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// The text as it is drawn: hotkey marks taken out, tabs expanded, as asked.
CodePageString DrawnText(const CodePageString& input, unsigned format)
{
    CodePageString text = input;
    if (!(format & DT_NOPREFIX))
        text = StripHotkey(text);
    if (format & DT_EXPANDTABS)
        text = ExpandTabs(text);
    return text;
}

// One line with every line break left out, or one line per CR LF, CR or LF.
std::vector<CodePageString> SplitLines(const CodePageString& text, bool singleLine)
{
    std::vector<CodePageString> lines;
    if (singleLine) {
        CodePageString one;
        for (char c : text)
            if (c != '\r' && c != '\n')
                one.push_back(c);
        lines.push_back(one);
        return lines;
    }
    CodePageString current;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            lines.push_back(current);
            current.clear();
            if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current.push_back(text[i]);
        }
    }
    return lines;
}

// Each line broken into runs of whole words that fit the width. A word wider
// than the width is broken inside an edit control, and runs over otherwise.
template <class Measure>
std::vector<CodePageString> WrapLines(const std::vector<CodePageString>& lines, int width, bool editControl,
                                  const Measure& textWidth)
{
    std::vector<CodePageString> wrapped;
    for (const CodePageString& line : lines) {
        CodePageString rest = line;
        if (rest.empty()) {
            wrapped.push_back(rest);
            continue;
        }
        while (!rest.empty()) {
            if (textWidth(rest) <= width) {
                wrapped.push_back(rest);
                break;
            }
            // The longest run of whole words that fits.
            size_t cut = 0;
            for (size_t i = 1; i <= rest.size(); ++i) {
                if (i == rest.size() || rest[i] == ' ') {
                    if (textWidth(rest.substr(0, i)) <= width)
                        cut = i;
                    else
                        break;
                }
            }
            if (cut == 0) {
                size_t end = rest.find(' ');
                if (end == CodePageString::npos)
                    end = rest.size();
                if (editControl) {
                    size_t fit = 1;
                    while (fit < end && textWidth(rest.substr(0, fit + 1)) <= width)
                        ++fit;
                    end = fit;
                }
                cut = end;
            }
            wrapped.push_back(rest.substr(0, cut));
            size_t next = cut;
            while (next < rest.size() && rest[next] == ' ')
                ++next;
            rest = rest.substr(next);
        }
    }
    return wrapped;
}

// Every line wider than the width ends in "..." where it is cut.
template <class Measure>
void EndWithEllipsis(std::vector<CodePageString>& lines, int width, const Measure& textWidth)
{
    for (CodePageString& line : lines) {
        if (textWidth(line) <= width)
            continue;
        CodePageString cut = line;
        while (!cut.empty() && textWidth(cut + "...") > width)
            cut.pop_back();
        line = cut + "...";
    }
}

// Where a line starts across the rectangle, by its alignment.
template <class Measure>
int LineLeft(const TRect& rect, const CodePageString& line, unsigned format, const Measure& textWidth)
{
    if (format & DT_CENTER)
        return rect.Left + (rect.Width() - textWidth(line)) / 2;
    if (format & DT_RIGHT)
        return rect.Right - textWidth(line);
    return rect.Left;
}

// Where the first line starts down the rectangle: a single line may be
// centred or put at the bottom.
int FirstLineTop(const TRect& rect, int lineHeight, unsigned format)
{
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            return rect.Top + (rect.Height() - lineHeight) / 2;
        if (format & DT_BOTTOM)
            return rect.Bottom - lineHeight;
    }
    return rect.Top;
}

}  // namespace

int TCanvas::DrawText(const CodePageString& input, TRect& rect, unsigned format)
{
    const auto textWidth = [this](const CodePageString& s) { return TextWidth(s); };
    const CodePageString text = DrawnText(input, format);
    const int lineHeight = TextHeight("Wg");
    const int width = rect.Width();
    std::vector<CodePageString> lines = SplitLines(text, format & DT_SINGLELINE);
    if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE))
        lines = WrapLines(lines, width, format & DT_EDITCONTROL, textWidth);
    if (format & DT_END_ELLIPSIS)
        EndWithEllipsis(lines, width, textWidth);
    const int total = lineHeight * int(lines.size());

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const CodePageString& line : lines)
            widest = std::max(widest, TextWidth(line));
        rect.Right = rect.Left + widest;
        rect.Bottom = rect.Top + total;
        return total;
    }

    TRect saved{};
    const bool clip = !(format & DT_NOCLIP);
    if (clip)
        saved = IntersectClip(rect);
    int y = FirstLineTop(rect, lineHeight, format);
    for (const CodePageString& line : lines) {
        TextOut(LineLeft(rect, line, format, textWidth), y, line);
        y += lineHeight;
    }
    if (clip)
        RestoreClip(saved);
    return total;
}

// --- pictures -----------------------------------------------------------------------------

void TGraphic::SetTransparent(bool transparent)
{
    if (transparent == FTransparent)
        return;
    FTransparent = transparent;
    Changed();
}

void TGraphic::Changed()
{
    FireEvent(OnChange, this);
}

void TGraphic::LoadFromFile(const CodePageString& fileName)
{
    LoadFromBytes(ReadFileBytes(fileName));
}

void TGraphic::SaveToFile(const CodePageString& fileName) const
{
    WriteFileAtomic(fileName, SaveToBytes());
}

namespace {

// Draws on a bitmap; the painter opens at the first drawing and closes
// whenever the bitmap is read, resized or copied.
class TBitmapCanvas : public TQtCanvas {
public:
    explicit TBitmapCanvas(TBitmapImage* image) : TQtCanvas(nullptr, Rect(0, 0, 0, 0)), FImage(image) {}
    ~TBitmapCanvas() override { Flush(); }

    void Flush()
    {
        if (FPainterObj.isActive())
            FPainterObj.end();
    }

    TRect ClipRect() override
    {
        Prepare();
        return TQtCanvas::ClipRect();
    }

protected:
    void Prepare() override
    {
        if (FPainterObj.isActive())
            return;
        if (FImage->image.isNull())
            FImage->image = QImage(1, 1, QImage::Format_ARGB32);
        FPainterObj.begin(&FImage->image);
        SetPainter(&FPainterObj);
        SetImage(&FImage->image);
        TQtCanvas::RestoreClip(Rect(0, 0, FImage->image.width(), FImage->image.height()));
    }

private:
    TBitmapImage* FImage;
    QPainter FPainterObj;
};

QImage NewImage(int width, int height)
{
    if (width <= 0 || height <= 0)
        return QImage();
    QImage img(width, height, QImage::Format_ARGB32);
    img.fill(QColor(255, 255, 255));
    return img;
}

}  // namespace

TBitmap::TBitmap() : FImage(std::make_unique<TBitmapImage>()) {}

TBitmap::TBitmap(int width, int height) : TBitmap()
{
    FImage->image = NewImage(width, height);
}

TBitmap::TBitmap(const TBitmap& other) : TGraphic(), FImage(std::make_unique<TBitmapImage>())
{
    other.FlushCanvas();
    // The pixels are shared until either side draws or writes a row: a
    // painter and a writable row each take a copy of their own first.
    FImage->image = other.FImage->image;
    FTransparentColor = other.FTransparentColor;
    FTransparentMode = other.FTransparentMode;
    TGraphic::SetTransparent(other.Transparent());
}

TBitmap& TBitmap::operator=(const TBitmap& other)
{
    Assign(other);
    return *this;
}

TBitmap::~TBitmap()
{
    FCanvas.reset();
}

void TBitmap::Assign(const TBitmap& source)
{
    if (&source == this)
        return;
    FlushCanvas();
    source.FlushCanvas();
    FImage->image = source.FImage->image;  // shared until either side writes
    FTransparentColor = source.FTransparentColor;
    FTransparentMode = source.FTransparentMode;
    TGraphic::SetTransparent(source.Transparent());
    Changed();
}

void TBitmap::FlushCanvas() const
{
    if (FCanvas)
        static_cast<TBitmapCanvas*>(FCanvas.get())->Flush();
}

int TBitmap::Width() const
{
    return FImage->image.isNull() ? 0 : FImage->image.width();
}

int TBitmap::Height() const
{
    return FImage->image.isNull() ? 0 : FImage->image.height();
}

void TBitmap::SetWidth(int width)
{
    SetSize(width, Height());
}

void TBitmap::SetHeight(int height)
{
    SetSize(Width(), height);
}

void TBitmap::SetSize(int width, int height)
{
    if (width == Width() && height == Height())
        return;
    FlushCanvas();
    QImage next = NewImage(width, height);
    if (!next.isNull() && !FImage->image.isNull()) {
        QPainter p(&next);
        p.drawImage(0, 0, FImage->image);
    }
    FImage->image = next;
    Changed();
}

TCanvas* TBitmap::Canvas()
{
    if (!FCanvas)
        FCanvas = std::make_unique<TBitmapCanvas>(FImage.get());
    return FCanvas.get();
}

TColor TBitmap::TransparentColor() const
{
    if (FTransparentMode == tmFixed && FTransparentColor != clDefault)
        return FTransparentColor;
    if (Empty())
        return clDefault;
    return GetPixel(0, Height() - 1);
}

void TBitmap::SetTransparentColor(TColor color)
{
    FTransparentColor = color;
    FTransparentMode = color == clDefault ? tmAuto : tmFixed;
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode mode)
{
    FTransparentMode = mode;
    if (mode == tmAuto)
        FTransparentColor = clDefault;
    Changed();
}

std::uint32_t* TBitmap::ScanLine(int y)
{
    FlushCanvas();
    if (y < 0 || y >= Height())
        return nullptr;
    return reinterpret_cast<std::uint32_t*>(FImage->image.scanLine(y));
}

const std::uint32_t* TBitmap::ScanLine(int y) const
{
    FlushCanvas();
    if (y < 0 || y >= Height())
        return nullptr;
    return reinterpret_cast<const std::uint32_t*>(FImage->image.constScanLine(y));
}

TColor TBitmap::GetPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return clNone;
    const std::uint32_t argb = ScanLine(y)[x];
    return RGB(int((argb >> 16) & 255), int((argb >> 8) & 255), int(argb & 255));
}

void TBitmap::SetPixel(int x, int y, TColor color)
{
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return;
    const TColor rgb = ColorToRGB(color);
    ScanLine(y)[x] = 0xFF000000u | (std::uint32_t(GetRValue(rgb)) << 16) | (std::uint32_t(GetGValue(rgb)) << 8) |
                     std::uint32_t(GetBValue(rgb));
}

void TBitmap::Draw(TCanvas* canvas, const TRect& rect)
{
    FlushCanvas();
    if (canvas == FCanvas.get())
        return;  // a bitmap cannot draw itself onto itself
    canvas->DrawBitmap(rect, *this, Rect(0, 0, Width(), Height()), Transparent(), TransparentColor());
}

void TBitmap::LoadFromBytes(const std::string& bytes)
{
    QImage img;
    if (!img.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), qsizetype(bytes.size())))
        throw EInvalidGraphic("Bitmap image is not valid");
    FlushCanvas();
    FImage->image = img.convertToFormat(QImage::Format_ARGB32);
    Changed();
}

void TBitmap::LoadFromResourceID(int id)
{
    std::string bytes;
    if (!LoadResourceData(id, bytes))
        throw EInvalidGraphic("Resource " + IntToStr(id) + " not found");
    LoadFromBytes(bytes);
}

void TBitmap::LoadFromResourceName(const CodePageString& name)
{
    std::string bytes;
    if (!LoadResourceData(std::string_view(name), bytes))
        throw EInvalidGraphic("Resource " + name + " not found");
    LoadFromBytes(bytes);
}

std::string TBitmap::SaveToBytes() const
{
    FlushCanvas();
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    FImage->image.convertToFormat(QImage::Format_RGB32).save(&buf, "BMP");
    return std::string(out.constData(), size_t(out.size()));
}

void TBitmap::SavePngFile(const CodePageString& fileName) const
{
    FlushCanvas();
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    FImage->image.save(&buf, "PNG");
    WriteFileAtomic(fileName, std::string(out.constData(), size_t(out.size())));
}

std::unique_ptr<TGraphic> TBitmap::Clone() const
{
    return std::make_unique<TBitmap>(*this);
}

TBitmapImage& TBitmap::Image() const
{
    FlushCanvas();
    return *FImage;
}

// --- picture ----------------------------------------------------------------------------

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed()
{
    FireEvent(OnChange, this);
}

void TPicture::Assign(const TPicture* source)
{
    if (source == this)
        return;
    SetGraphic(source ? source->Graphic() : nullptr);
}

void TPicture::SetGraphic(const TGraphic* graphic)
{
    TakeGraphic(graphic ? graphic->Clone() : nullptr);
}

void TPicture::TakeGraphic(std::unique_ptr<TGraphic> graphic)
{
    FGraphic = std::move(graphic);
    if (FGraphic)
        FGraphic->OnChange = [this](TObject*) { Changed(); };
    Changed();
}

TBitmap* TPicture::Bitmap()
{
    auto* bitmap = dynamic_cast<TBitmap*>(FGraphic.get());
    if (!bitmap) {
        auto fresh = std::make_unique<TBitmap>();
        bitmap = fresh.get();
        TakeGraphic(std::move(fresh));
    }
    return bitmap;
}

int TPicture::Width() const
{
    return FGraphic ? FGraphic->Width() : 0;
}

int TPicture::Height() const
{
    return FGraphic ? FGraphic->Height() : 0;
}

void TPicture::LoadFromFile(const CodePageString& fileName)
{
    const CodePageString ext = LowerCase(ExtractFileExt(fileName));
    std::unique_ptr<TGraphic> graphic;
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe" || ext == ".jfif")
        graphic = std::make_unique<TJPEGImage>();
    else if (ext == ".bmp" || ext == ".png" || ext == ".dib")
        graphic = std::make_unique<TBitmap>();
    else
        throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
    graphic->LoadFromFile(fileName);
    TakeGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const CodePageString& fileName) const
{
    if (FGraphic)
        FGraphic->SaveToFile(fileName);
}
