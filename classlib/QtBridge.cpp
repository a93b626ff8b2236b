#include "classlib/QtBridge.h"

#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>

// --- colours, fonts, cursors ----------------------------------------------------

namespace {

// The symbol font's own encoding: what each byte from 0x20 on shows, as a
// Unicode character (0: no character there, shown as the code page has it).
// Text in the "Symbol" font is read through it, so that its Greek letters,
// bullet and signs show as they do in that font.
constexpr std::array<char16_t, 0xE0> SymbolEncoding = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B,
    0x002C, 0x2212, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x2245, 0x0391, 0x0392, 0x03A7,
    0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B,
    0x2234, 0x005D, 0x22A5, 0x005F, 0xF8E5, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3,
    0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0x20AC, 0x03D2, 0x2032, 0x2264,
    0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248,
    0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,
    0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, 0x2220, 0x2207, 0x00AE, 0x00A9,
    0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3,
    0x23A7, 0x23A8, 0x23A9, 0x23AA, 0, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F,
    0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0,
};

}  // namespace

QString CanvasText(const TFont& font, const CodePageString& text)
{
    if (!SameText(font.Name(), "Symbol"))
        return ToQString(text);
    QString out = ToQString(text);
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[std::size_t(i)]);
        if (byte >= 0x20 && SymbolEncoding[byte - 0x20] != 0)
            out[i] = QChar(SymbolEncoding[byte - 0x20]);
    }
    return out;
}

QColor ToQColor(TColor color)
{
    if (color == clNone)
        return QColor(Qt::transparent);
    const TColor rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& color)
{
    return RGB(color.red(), color.green(), color.blue());
}

QFont ToQFont(const TFont& font)
{
    QFont f(ToQString(MapFontFamily(font.Name())));
    // A positive height is the whole cell; the Liberation fonts' cell is
    // about 1.117 em, so that gives the character height.
    int pixels = font.Height() < 0 ? -font.Height() : int(std::lround(font.Height() / 1.117));
    if (pixels < 1)
        pixels = 1;
    f.setPixelSize(pixels);
    const TFontStyles st = font.Style();
    f.setBold(st.Contains(fsBold));
    f.setItalic(st.Contains(fsItalic));
    f.setUnderline(st.Contains(fsUnderline));
    f.setStrikeOut(st.Contains(fsStrikeOut));
    // Text is measured piece by piece by layout code; without kerning the
    // width of a text is the sum of the widths of its parts.
    f.setKerning(false);
    // Whole-pixel advances, as the desktop the forms were made on measures
    // them: a text is exactly as wide as its characters together.
    f.setHintingPreference(QFont::PreferFullHinting);
    if (font.Pitch() == fpFixed)
        f.setFixedPitch(true);
    return f;
}

int FontCellHeight(const QFont& font)
{
    const QFontMetricsF fm(font);
    return int(std::ceil(fm.ascent() - 1e-6)) + int(std::ceil(fm.descent() - 1e-6));
}

Qt::CursorShape ToQtCursor(TCursor cursor)
{
    switch (cursor) {
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass:
    case crSQLWait: return Qt::WaitCursor;
    case crDrag:
    case crMultiDrag: return Qt::DragCopyCursor;
    case crNoDrop:
    case crNo: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    case crNone: return Qt::BlankCursor;
    default: return Qt::ArrowCursor;
    }
}

namespace {

std::map<TCursor, QCursor>& CustomCursors()
{
    static std::map<TCursor, QCursor> cursors;
    return cursors;
}

}  // namespace

QCursor ToQCursor(TCursor cursor)
{
    const auto it = CustomCursors().find(cursor);
    return it != CustomCursors().end() ? it->second : QCursor(ToQtCursor(cursor));
}

void SetCustomCursor(TCursor cursor, const QCursor& shape)
{
    CustomCursors()[cursor] = shape;
}

bool HasCustomCursor(TCursor cursor)
{
    return CustomCursors().count(cursor) != 0;
}

TShiftState ShiftFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    TShiftState s;
    if (modifiers & Qt::ShiftModifier) s << ssShift;
    if (modifiers & Qt::AltModifier) s << ssAlt;
    if (modifiers & Qt::ControlModifier) s << ssCtrl;
    if (buttons & Qt::LeftButton) s << ssLeft;
    if (buttons & Qt::RightButton) s << ssRight;
    if (buttons & Qt::MiddleButton) s << ssMiddle;
    return s;
}

WORD VirtualKeyFromQt(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return WORD('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return WORD('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return WORD(VK_F1 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
    }
}

// --- the Qt canvas ------------------------------------------------------------------

namespace {

QPainter::CompositionMode ModeFor(TPenMode mode)
{
    switch (mode) {
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmNotCopy: return QPainter::RasterOp_NotSource;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    default: return QPainter::CompositionMode_SourceOver;
    }
}

Qt::BrushStyle BrushStyleFor(TBrushStyle style)
{
    switch (style) {
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
    }
}

}  // namespace

TQtCanvas::TQtCanvas(QPainter* painter, const TRect& clip) : FPainter(painter), FClip(clip)
{
    if (FPainter && FPainter->isActive())
        FPainter->setClipRect(ToQRect(clip));
}

TQtCanvas::~TQtCanvas() = default;

void TQtCanvas::SyncFont()
{
    if (FFontSerial == Font()->Serial() && FFontSerial != ~0u)
        return;
    FFontSerial = Font()->Serial();
    // Layout code selects the same few fonts again and again; only a font
    // that really differs is made again.
    const TFont& f = *Font();
    if (FHasSyncedFont && FSyncedFont.Name() == f.Name() && FSyncedFont.Height() == f.Height() &&
        FSyncedFont.Style() == f.Style() && FSyncedFont.Pitch() == f.Pitch() && FSyncedFont.Charset() == f.Charset())
        return;
    FSyncedFont = *Font();
    FHasSyncedFont = true;
    FQFont = ToQFont(*Font());
    FMeasuredText.reset();
    FAscent = int(std::ceil(QFontMetricsF(FQFont).ascent() - 1e-6));
    FCellHeight = FontCellHeight(FQFont);
}

void TQtCanvas::SyncPen()
{
    Prepare();
    const TPen* pen = Pen();
    if (pen->Style() == psClear) {
        FPainter->setPen(Qt::NoPen);
    } else {
        QPen p(ToQColor(pen->Color()));
        p.setWidth(pen->Width() <= 1 ? 0 : pen->Width());  // 0: one-pixel cosmetic pen
        switch (pen->Style()) {
        case psDash: p.setStyle(Qt::DashLine); break;
        case psDot: p.setStyle(Qt::DotLine); break;
        case psDashDot: p.setStyle(Qt::DashDotLine); break;
        case psDashDotDot: p.setStyle(Qt::DashDotDotLine); break;
        default: p.setStyle(Qt::SolidLine); break;
        }
        FPainter->setPen(p);
    }
    FPainter->setCompositionMode(ModeFor(pen->Mode()));
}

void TQtCanvas::SyncBrush()
{
    const TBrush* brush = Brush();
    if (brush->Bitmap() && !brush->Bitmap()->Empty()) {
        FPainter->setBrush(QBrush(brush->Bitmap()->Image().image));
    } else {
        QBrush b(ToQColor(brush->Color()), BrushStyleFor(brush->Style()));
        FPainter->setBrush(b);
    }
}

TSize TQtCanvas::TextExtent(const CodePageString& text)
{
    SyncFont();
    // Text is often measured twice in a row (drawn, then stepped over), so
    // the last width is kept until the text or the font differs.
    if (!FMeasuredText || *FMeasuredText != text) {
        FMeasuredText = text;
        FMeasuredWidth = QFontMetrics(FQFont).horizontalAdvance(CanvasText(*Font(), text));
    }
    return {FMeasuredWidth, FCellHeight};
}

TTextMetric TQtCanvas::TextMetrics()
{
    SyncFont();
    QFontMetrics fm(FQFont);
    TTextMetric tm;
    tm.Height = FCellHeight;
    tm.Ascent = FAscent;
    tm.Descent = FCellHeight - FAscent;
    tm.InternalLeading = std::max(0, FCellHeight - std::abs(FQFont.pixelSize() > 0 ? FQFont.pixelSize() : FCellHeight));
    tm.ExternalLeading = std::max(0, fm.leading());
    tm.AveCharWidth = fm.averageCharWidth();
    return tm;
}

void TQtCanvas::DrawTextCell(int x, int y, const CodePageString& text, const TRect* clip)
{
    Prepare();
    SyncFont();
    const QString s = CanvasText(*Font(), text);
    QFontMetrics fm(FQFont);
    FPainter->save();
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (clip)
        FPainter->setClipRect(ToQRect(*clip), Qt::IntersectClip);
    const int orientation = Font()->Orientation();
    if (Brush()->Style() != bsClear) {
        if (clip || orientation == 0) {
            const QRect cell = clip ? ToQRect(*clip) : QRect(x, y, fm.horizontalAdvance(s), FCellHeight);
            FPainter->fillRect(cell, ToQColor(Brush()->Color()));
        }
    }
    // A turned font turns the text cell about its top left corner; the
    // screen's y runs down, so a counterclockwise angle turns by its negative.
    QPoint origin(x, y);
    if (orientation != 0) {
        FPainter->translate(x, y);
        FPainter->rotate(-orientation / 10.0);
        origin = QPoint(0, 0);
        if (Brush()->Style() != bsClear && !clip)
            FPainter->fillRect(QRect(0, 0, fm.horizontalAdvance(s), FCellHeight), ToQColor(Brush()->Color()));
    }
    FPainter->setFont(FQFont);
    FPainter->setPen(ToQColor(Font()->Color()));
    FPainter->drawText(origin + QPoint(0, FAscent), s);
    FPainter->restore();
}

void TQtCanvas::TextOut(int x, int y, const CodePageString& text)
{
    DrawTextCell(x, y, text, nullptr);
    SetPenPos({x + TextWidth(text), y});
}

void TQtCanvas::TextRect(const TRect& rect, int x, int y, const CodePageString& text)
{
    DrawTextCell(x, y, text, &rect);
}

void TQtCanvas::FillRect(const TRect& rect)
{
    Prepare();
    if (rect.IsEmpty())
        return;
    const TBrush* brush = Brush();
    if (brush->Bitmap() && !brush->Bitmap()->Empty())
        FPainter->fillRect(ToQRect(rect), QBrush(brush->Bitmap()->Image().image));
    else if (brush->Style() != bsClear)
        FPainter->fillRect(ToQRect(rect), QBrush(ToQColor(brush->Color()), BrushStyleFor(brush->Style())));
}

void TQtCanvas::FrameRect(const TRect& rect)
{
    Prepare();
    if (rect.IsEmpty())
        return;
    const QColor c = ToQColor(Brush()->Color());
    const QRect r = ToQRect(rect);
    FPainter->fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
    FPainter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
    FPainter->fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
    FPainter->fillRect(QRect(r.right(), r.top(), 1, r.height()), c);
}

void TQtCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    SyncPen();
    SyncBrush();
    if (Pen()->Style() == psClear)
        FPainter->drawRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
    else
        FPainter->drawRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1);
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::Ellipse(int x1, int y1, int x2, int y2)
{
    SyncPen();
    SyncBrush();
    FPainter->drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::Polygon(const TPoint* points, int count)
{
    if (count <= 0)
        return;
    SyncPen();
    SyncBrush();
    QPolygon poly;
    poly.reserve(count);
    for (int i = 0; i < count; ++i)
        poly << QPoint(points[i].x, points[i].y);
    FPainter->drawPolygon(poly);
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::Polyline(const TPoint* points, int count)
{
    if (count <= 0)
        return;
    // Segment by segment, each without its end point, as lines are drawn;
    // the pen position is left where it was.
    const TPoint saved = PenPos();
    SetPenPos(points[0]);
    for (int i = 1; i < count; ++i)
        LineTo(points[i].x, points[i].y);
    SetPenPos(saved);
}

void TQtCanvas::LineTo(int x, int y)
{
    const TPoint from = PenPos();
    SetPenPos({x, y});
    const int dx = x - from.x, dy = y - from.y;
    const int n = std::max(std::abs(dx), std::abs(dy));
    if (n == 0)
        return;
    SyncPen();
    // The end point itself is not drawn.
    const int ex = from.x + int(std::lround(double(dx) * (n - 1) / n));
    const int ey = from.y + int(std::lround(double(dy) * (n - 1) / n));
    if ((dx == 0 || dy == 0) && IsPlainPixelPen()) {
        // A one-pixel solid line along an axis covers exactly the pixels from
        // its start to its last point. Filled as one rectangle, a vertical
        // line is not rasterised as a span per row (which the toolkit hands
        // to its thread pool on some image formats: table borders made
        // painting several times slower).
        FPainter->fillRect(QRect(QPoint(std::min(from.x, ex), std::min(from.y, ey)),
                                 QPoint(std::max(from.x, ex), std::max(from.y, ey))),
                           FPainter->pen().color());
    } else {
        FPainter->drawLine(from.x, from.y, ex, ey);
    }
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

bool TQtCanvas::IsPlainPixelPen() const
{
    const TPen* pen = Pen();
    if (pen->Style() != psSolid || pen->Width() > 1 || pen->Mode() != pmCopy ||
        FPainter->testRenderHint(QPainter::Antialiasing))
        return false;
    // Only whole-pixel shifts keep the pixels a line covers.
    const QTransform& t = FPainter->deviceTransform();
    return t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) && t.dy() == std::floor(t.dy());
}

void TQtCanvas::DrawFocusRect(const TRect& rect)
{
    Prepare();
    if (rect.IsEmpty())
        return;
    FPainter->save();
    FPainter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QPen p(Qt::white);
    p.setWidth(0);
    p.setStyle(Qt::DotLine);
    FPainter->setPen(p);
    FPainter->setBrush(Qt::NoBrush);
    FPainter->drawRect(rect.Left, rect.Top, rect.Width() - 1, rect.Height() - 1);
    FPainter->restore();
}

void TQtCanvas::DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source, bool transparent,
                           TColor transparentColor)
{
    Prepare();
    if (dest.IsEmpty() || bitmap.Empty())
        return;
    const QImage& img = bitmap.Image().image;
    const QRect src = ToQRect(source).intersected(img.rect());
    if (src.isEmpty())
        return;
    FPainter->save();
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (transparent) {
        QImage part = img.copy(src).convertToFormat(QImage::Format_ARGB32);
        const QRgb key = ToQColor(transparentColor).rgb() & 0xFFFFFF;
        for (int y = 0; y < part.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(part.scanLine(y));
            for (int x = 0; x < part.width(); ++x)
                if ((line[x] & 0xFFFFFF) == key)
                    line[x] = 0;
        }
        FPainter->drawImage(ToQRect(dest), part);
    } else {
        FPainter->drawImage(ToQRect(dest), img, src);
    }
    FPainter->restore();
}

TColor TQtCanvas::Pixel(int x, int y)
{
    Prepare();
    if (!FImage || !FImage->rect().contains(x, y))
        return clNone;
    return FromQColor(QColor(FImage->pixel(x, y)));
}

void TQtCanvas::SetPixel(int x, int y, TColor color)
{
    Prepare();
    FPainter->save();
    FPainter->setCompositionMode(QPainter::CompositionMode_Source);
    FPainter->fillRect(QRect(x, y, 1, 1), ToQColor(color));
    FPainter->restore();
}

TRect TQtCanvas::ClipRect()
{
    return FClip;
}

TRect TQtCanvas::IntersectClip(const TRect& rect)
{
    Prepare();
    const TRect saved = FClip;
    FClip = IntersectRect(FClip, rect);
    FPainter->setClipRect(ToQRect(FClip));
    return saved;
}

void TQtCanvas::RestoreClip(const TRect& saved)
{
    Prepare();
    FClip = saved;
    FPainter->setClipRect(ToQRect(FClip));
}

// --- measuring -----------------------------------------------------------------------

namespace {

class TMeasureCanvas : public TQtCanvas {
public:
    TMeasureCanvas() : TQtCanvas(nullptr, Rect(0, 0, 1, 1)), FImage(1, 1, QImage::Format_ARGB32)
    {
        FImage.fill(Qt::white);
        FPainterObj.begin(&FImage);
        SetPainter(&FPainterObj);
        SetImage(&FImage);
    }
    ~TMeasureCanvas() override { FPainterObj.end(); }

private:
    QImage FImage;
    QPainter FPainterObj;
};

}  // namespace

std::unique_ptr<TCanvas> CreateMeasureCanvas()
{
    return std::make_unique<TMeasureCanvas>();
}
