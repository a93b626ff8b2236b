// A canvas with fixed text metrics that records what is drawn on it, so that
// layout and painting code can be tested to the pixel without fonts: every
// character is CharWidth pixels wide (7 by default) and every text
// CharHeight pixels high (16 by default), with a descent of a quarter of it.
#pragma once

#include <vector>

#include "classlib/Graphics.h"

struct TCanvasOp {
    enum Kind { Text, TextClipped, Fill, Frame, Rectangle, Ellipse, Polygon, Polyline, Line, FocusRect, Bitmap, Pixel };
    Kind kind = Text;
    TRect rect;                 // Fill, Frame, Rectangle, Ellipse, FocusRect, Bitmap dest, TextClipped clip
    TRect source;               // Bitmap source
    std::vector<TPoint> points; // Polygon, Polyline, Line (from, to), Text (x, y), Pixel
    CodePageString text;
    TColor penColor = clBlack;
    TPenStyle penStyle = psSolid;
    int penWidth = 1;
    TColor brushColor = clWhite;
    TBrushStyle brushStyle = bsSolid;
    TColor fontColor = clBlack;
    TFontStyles fontStyle;
    CodePageString fontName;
    int fontHeight = 0;
    int fontOrientation = 0;    // tenths of a degree
    bool transparent = false;   // Bitmap
    bool masked = false;        // Bitmap drawn through a mask
    TColor color = clNone;      // Bitmap transparent colour, Pixel colour
    TRect clip;                 // the clip in force
};

class TFixedCanvas : public TCanvas {
public:
    explicit TFixedCanvas(int width = 1000, int height = 1000, int charWidth = 7, int charHeight = 16);

    TSize TextExtent(const CodePageString& text) override;
    TTextMetric TextMetrics() override;
    void TextOut(int x, int y, const CodePageString& text) override;
    void TextRect(const TRect& rect, int x, int y, const CodePageString& text) override;
    void FillRect(const TRect& rect) override;
    void FrameRect(const TRect& rect) override;
    void Rectangle(int x1, int y1, int x2, int y2) override;
    void Ellipse(int x1, int y1, int x2, int y2) override;
    void Polygon(const TPoint* points, int count) override;
    void Polyline(const TPoint* points, int count) override;
    void LineTo(int x, int y) override;
    void DrawFocusRect(const TRect& rect) override;
    void DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source, bool transparent,
                    TColor transparentColor) override;
    void DrawMasked(const TRect& dest, const TBitmap& bitmap, const TRect& source, const TBitmap& mask) override;
    TColor Pixel(int x, int y) override;
    void SetPixel(int x, int y, TColor color) override;
    TRect ClipRect() override { return FClip; }
    TRect IntersectClip(const TRect& rect) override;
    void RestoreClip(const TRect& saved) override { FClip = saved; }

    using TCanvas::Polygon;
    using TCanvas::Polyline;
    using TCanvas::Rectangle;

    const std::vector<TCanvasOp>& Ops() const { return FOps; }
    void Clear() { FOps.clear(); }
    // The operations of one kind, in order.
    std::vector<TCanvasOp> OpsOf(TCanvasOp::Kind kind) const;
    // The texts drawn, in order.
    std::vector<CodePageString> Texts() const;

    int CharWidth() const { return FCharWidth; }
    int CharHeight() const { return FCharHeight; }

private:
    TCanvasOp Start(TCanvasOp::Kind kind) const;
    std::vector<TCanvasOp> FOps;
    TRect FClip;
    int FCharWidth;
    int FCharHeight;
};
