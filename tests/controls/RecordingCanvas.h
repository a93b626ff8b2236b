// A canvas of fixed metrics that records what is drawn on it: every
// character is 7 pixels wide and 16 high, so positions can be asserted exactly.
#pragma once

#include <vector>

#include "classlib/Graphics.h"

struct CanvasOp {
    enum Kind { Fill, Frame, Rectangle, Polygon, Polyline, Line, Text, Bitmap, FocusRect, Ellipse, Pixel };
    Kind kind = Fill;
    TRect rect;                  // the shape's rectangle, a text's clip, a bitmap's destination
    std::vector<TPoint> points;  // polygons and lines
    AnsiString text;
    TPoint at;                   // a text's top-left corner
    TRect source;                // a bitmap's source cell
    bool transparent = false;
    TColor transparentColor = clNone;
    TColor brush = clNone;
    TBrushStyle brushStyle = bsSolid;
    TColor pen = clNone;
    TColor fontColor = clNone;
    TFontStyles fontStyle;
};

class RecordingCanvas : public TCanvas {
public:
    static constexpr int CharWidth = 7;
    static constexpr int LineHeight = 16;

    explicit RecordingCanvas(TRect clip = Rect(0, 0, 10000, 10000)) : FClip(clip) {}

    std::vector<CanvasOp> Ops;

    std::vector<CanvasOp> OfKind(CanvasOp::Kind kind) const
    {
        std::vector<CanvasOp> found;
        for (const CanvasOp& op : Ops)
            if (op.kind == kind)
                found.push_back(op);
        return found;
    }

    TSize TextExtent(const AnsiString& text) override { return {CharWidth * int(text.size()), LineHeight}; }
    void TextOut(int x, int y, const AnsiString& text) override
    {
        CanvasOp op = Op(CanvasOp::Text);
        op.at = {x, y};
        op.text = text;
        op.rect = Bounds(x, y, CharWidth * int(text.size()), LineHeight);
        Ops.push_back(op);
    }
    void TextRect(const TRect& rect, int x, int y, const AnsiString& text) override
    {
        CanvasOp op = Op(CanvasOp::Text);
        op.rect = rect;
        op.at = {x, y};
        op.text = text;
        Ops.push_back(op);
    }
    void FillRect(const TRect& rect) override { Shape(CanvasOp::Fill, rect); }
    void FrameRect(const TRect& rect) override { Shape(CanvasOp::Frame, rect); }
    void Rectangle(int x1, int y1, int x2, int y2) override { Shape(CanvasOp::Rectangle, Rect(x1, y1, x2, y2)); }
    void Ellipse(int x1, int y1, int x2, int y2) override { Shape(CanvasOp::Ellipse, Rect(x1, y1, x2, y2)); }
    void Polygon(const TPoint* points, int count) override { Points(CanvasOp::Polygon, points, count); }
    void Polyline(const TPoint* points, int count) override { Points(CanvasOp::Polyline, points, count); }
    void LineTo(int x, int y) override
    {
        const TPoint line[] = {PenPos(), {x, y}};
        Points(CanvasOp::Line, line, 2);
        SetPenPos({x, y});
    }
    void DrawFocusRect(const TRect& rect) override { Shape(CanvasOp::FocusRect, rect); }
    void DrawBitmap(const TRect& dest, const TBitmap&, const TRect& source, bool transparent,
                    TColor transparentColor) override
    {
        CanvasOp op = Op(CanvasOp::Bitmap);
        op.rect = dest;
        op.source = source;
        op.transparent = transparent;
        op.transparentColor = transparentColor;
        Ops.push_back(op);
    }
    TColor Pixel(int, int) override { return clNone; }
    void SetPixel(int x, int y, TColor) override { Shape(CanvasOp::Pixel, Bounds(x, y, 1, 1)); }
    TRect ClipRect() override { return FClip; }
    TRect IntersectClip(const TRect& rect) override
    {
        const TRect old = FClip;
        FClip = IntersectRect(FClip, rect);
        return old;
    }
    void RestoreClip(const TRect& saved) override { FClip = saved; }

private:
    CanvasOp Op(CanvasOp::Kind kind) const
    {
        CanvasOp op;
        op.kind = kind;
        op.brush = Brush()->Color();
        op.brushStyle = Brush()->Style();
        op.pen = Pen()->Color();
        op.fontColor = Font()->Color();
        op.fontStyle = Font()->Style();
        return op;
    }
    void Shape(CanvasOp::Kind kind, const TRect& rect)
    {
        CanvasOp op = Op(kind);
        op.rect = rect;
        Ops.push_back(op);
    }
    void Points(CanvasOp::Kind kind, const TPoint* points, int count)
    {
        CanvasOp op = Op(kind);
        op.points.assign(points, points + count);
        Ops.push_back(op);
    }

    TRect FClip;
};
