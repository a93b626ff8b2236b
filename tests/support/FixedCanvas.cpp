#include "support/FixedCanvas.h"

TFixedCanvas::TFixedCanvas(int width, int height, int charWidth, int charHeight)
    : FClip(Rect(0, 0, width, height)), FCharWidth(charWidth), FCharHeight(charHeight)
{
}

TCanvasOp TFixedCanvas::Start(TCanvasOp::Kind kind) const
{
    TCanvasOp op;
    op.kind = kind;
    op.penColor = Pen()->Color();
    op.penStyle = Pen()->Style();
    op.penWidth = Pen()->Width();
    op.brushColor = Brush()->Color();
    op.brushStyle = Brush()->Style();
    op.fontColor = Font()->Color();
    op.fontStyle = Font()->Style();
    op.fontName = Font()->Name();
    op.fontHeight = Font()->Height();
    op.fontOrientation = Font()->Orientation();
    op.clip = FClip;
    return op;
}

TSize TFixedCanvas::TextExtent(const CodePageString& text)
{
    return {int(text.size()) * FCharWidth, FCharHeight};
}

TTextMetric TFixedCanvas::TextMetrics()
{
    TTextMetric tm;
    tm.Height = FCharHeight;
    tm.Descent = FCharHeight / 4;
    tm.Ascent = FCharHeight - tm.Descent;
    tm.AveCharWidth = FCharWidth;
    return tm;
}

void TFixedCanvas::TextOut(int x, int y, const CodePageString& text)
{
    TCanvasOp op = Start(TCanvasOp::Text);
    op.points = {{x, y}};
    op.text = text;
    FOps.push_back(op);
    SetPenPos({x + TextWidth(text), y});
}

void TFixedCanvas::TextRect(const TRect& rect, int x, int y, const CodePageString& text)
{
    TCanvasOp op = Start(TCanvasOp::TextClipped);
    op.rect = rect;
    op.points = {{x, y}};
    op.text = text;
    FOps.push_back(op);
}

void TFixedCanvas::FillRect(const TRect& rect)
{
    TCanvasOp op = Start(TCanvasOp::Fill);
    op.rect = rect;
    FOps.push_back(op);
}

void TFixedCanvas::FrameRect(const TRect& rect)
{
    TCanvasOp op = Start(TCanvasOp::Frame);
    op.rect = rect;
    FOps.push_back(op);
}

void TFixedCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    TCanvasOp op = Start(TCanvasOp::Rectangle);
    op.rect = {x1, y1, x2, y2};
    FOps.push_back(op);
}

void TFixedCanvas::Ellipse(int x1, int y1, int x2, int y2)
{
    TCanvasOp op = Start(TCanvasOp::Ellipse);
    op.rect = {x1, y1, x2, y2};
    FOps.push_back(op);
}

void TFixedCanvas::Polygon(const TPoint* points, int count)
{
    TCanvasOp op = Start(TCanvasOp::Polygon);
    op.points.assign(points, points + count);
    FOps.push_back(op);
}

void TFixedCanvas::Polyline(const TPoint* points, int count)
{
    TCanvasOp op = Start(TCanvasOp::Polyline);
    op.points.assign(points, points + count);
    FOps.push_back(op);
}

void TFixedCanvas::LineTo(int x, int y)
{
    TCanvasOp op = Start(TCanvasOp::Line);
    op.points = {PenPos(), {x, y}};
    FOps.push_back(op);
    SetPenPos({x, y});
}

void TFixedCanvas::DrawFocusRect(const TRect& rect)
{
    TCanvasOp op = Start(TCanvasOp::FocusRect);
    op.rect = rect;
    FOps.push_back(op);
}

void TFixedCanvas::DrawBitmap(const TRect& dest, const TBitmap&, const TRect& source, bool transparent,
                              TColor transparentColor)
{
    TCanvasOp op = Start(TCanvasOp::Bitmap);
    op.rect = dest;
    op.source = source;
    op.transparent = transparent;
    op.color = transparentColor;
    FOps.push_back(op);
}

void TFixedCanvas::DrawMasked(const TRect& dest, const TBitmap&, const TRect& source, const TBitmap&)
{
    TCanvasOp op = Start(TCanvasOp::Bitmap);
    op.rect = dest;
    op.source = source;
    op.masked = true;
    FOps.push_back(op);
}

TColor TFixedCanvas::Pixel(int, int)
{
    return clNone;
}

void TFixedCanvas::SetPixel(int x, int y, TColor color)
{
    TCanvasOp op = Start(TCanvasOp::Pixel);
    op.points = {{x, y}};
    op.color = color;
    FOps.push_back(op);
}

TRect TFixedCanvas::IntersectClip(const TRect& rect)
{
    const TRect saved = FClip;
    FClip = IntersectRect(FClip, rect);
    return saved;
}

std::vector<TCanvasOp> TFixedCanvas::OpsOf(TCanvasOp::Kind kind) const
{
    std::vector<TCanvasOp> out;
    for (const TCanvasOp& op : FOps)
        if (op.kind == kind)
            out.push_back(op);
    return out;
}

std::vector<CodePageString> TFixedCanvas::Texts() const
{
    std::vector<CodePageString> out;
    for (const TCanvasOp& op : FOps)
        if (op.kind == TCanvasOp::Text || op.kind == TCanvasOp::TextClipped)
            out.push_back(op.text);
    return out;
}
