#include "controls/LedLbl.h"

#include <algorithm>

std::uint8_t LedSegmentCode(char c)
{
    for (const TLedGlyph& glyph : LedGlyphs)
        if (glyph.Character == c)
            return glyph.Code;
    return 0;
}

CodePageString LedCellText(const CodePageString& text, int numChars, TTextAlign alignment)
{
    const std::size_t cells = static_cast<std::size_t>(std::max(numChars, 1));
    if (text.size() >= cells)
        return text.substr(0, cells);
    const CodePageString blanks(cells - text.size(), ' ');
    return alignment == TTALeft ? text + blanks : blanks + text;
}

TRect LedCellRect(int clientWidth, int clientHeight, int numChars, int index)
{
    const int cellWidth = clientWidth / std::max(numChars, 1);
    return Rect(index * cellWidth, 0, (index + 1) * cellWidth, clientHeight);
}

std::vector<TPoint> LedSegmentPolygon(const TRect& cell, int segment, const TLedGeometry& geometry)
{
    const int g = geometry.BorderGap;
    const int t = geometry.SegmentThickness;
    const int h = geometry.HorzMargine;
    const int v = geometry.VertMargine;
    const int L = cell.Left + g;
    const int R = cell.Right - g - 1;
    const int T = cell.Top + g;
    const int H = (cell.Height() - 2 * g - 1) / 2;  // C++ division rounds toward zero, as wanted
    const int M = T + H;                             // the middle line
    const int s = t / 2;

    switch (segment) {
    case lsMiddle:
        return {{L + h, M}, {L + h + s, M - s}, {R - h - s, M - s}, {R - h, M}, {R - h - s, M + s}, {L + h + s, M + s}};
    case lsUpperRight:
        return {{R, T + v}, {R, M - v}, {R - t, M - v - t}, {R - t, T + v + t}};
    case lsTop:
        return {{L + h, T}, {R - h, T}, {R - h - t, T + t}, {L + h + t, T + t}};
    case lsUpperLeft:
        return {{L, T + v}, {L, M - v}, {L + t, M - v - t}, {L + t, T + v + t}};
    case lsLowerLeft:
        return {{L, T + v + H}, {L, M + H - v}, {L + t, M + H - v - t}, {L + t, T + v + H + t}};
    case lsBottom:
        return {{L + h, T + 2 * H}, {R - h, T + 2 * H}, {R - h - t, T + 2 * H - t}, {L + h + t, T + 2 * H - t}};
    case lsLowerRight:
        return {{R, T + v + H}, {R, M + H - v}, {R - t, M + H - v - t}, {R - t, T + v + H + t}};
    default:
        return {};
    }
}

TLedLabel::TLedLabel(TComponent* AOwner) : TGraphicControl(AOwner)
{
    // Paint fills the whole client area.
    SetControlStyle(ControlStyle() | csOpaque);
    SetText("8");
    SetBounds(Left(), Top(), 15, 34);
}

// A counter is told its colours again with every value it shows: only a
// setting that changes asks for the control to be painted again.
template <class T>
void TLedLabel::SetAndRepaint(T& setting, T value)
{
    if (setting == value)
        return;
    setting = value;
    Invalidate();
}

void TLedLabel::SetAlignment(TTextAlign value)
{
    SetAndRepaint(FAlignment, value);
}

void TLedLabel::SetBorderGap(int value)
{
    SetAndRepaint(FGeometry.BorderGap, value);
}

void TLedLabel::SetSegmentThickness(int value)
{
    SetAndRepaint(FGeometry.SegmentThickness, value);
}

void TLedLabel::SetHorzMargine(int value)
{
    SetAndRepaint(FGeometry.HorzMargine, value);
}

void TLedLabel::SetVertMargine(int value)
{
    SetAndRepaint(FGeometry.VertMargine, value);
}

void TLedLabel::SetOnColor(TColor value)
{
    SetAndRepaint(FOnColor, value);
}

void TLedLabel::SetBackGroundColor(TColor value)
{
    SetAndRepaint(FBackGroundColor, value);
}

void TLedLabel::SetOffColor(TColor value)
{
    SetAndRepaint(FOffColor, value);
}

void TLedLabel::SetSegmentBorderColor(TColor value)
{
    SetAndRepaint(FSegmentBorderColor, value);
}

void TLedLabel::SetNumChars(int value)
{
    SetAndRepaint(FNumChars, std::max(value, 1));
}

void TLedLabel::TextChanged()
{
    // The text is the value too; setting it already repaints and renames.
    AccessibleChanged(TAccessibleChange::Value);
}

// A counter that counts on changes its last digit or two: only the cells
// whose character changed are painted again.
void TLedLabel::RepaintText(const CodePageString& before)
{
    const CodePageString was = LedCellText(before, FNumChars, FAlignment);
    const CodePageString cells = LedCellText(Text(), FNumChars, FAlignment);
    for (int i = 0; i < FNumChars; ++i)
        if (was[std::size_t(i)] != cells[std::size_t(i)])
            InvalidateRect(LedCellRect(ClientWidth(), ClientHeight(), FNumChars, i));
}

void TLedLabel::Paint()
{
    TCanvas* canvas = Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(FBackGroundColor);
    canvas->FillRect(ClientRect());

    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetWidth(1);
    const CodePageString cells = LedCellText(Text(), FNumChars, FAlignment);
    const TRect clip = canvas->ClipRect();
    for (int i = 0; i < FNumChars; ++i) {
        const TRect cell = LedCellRect(ClientWidth(), ClientHeight(), FNumChars, i);
        if (IntersectRect(cell, clip).IsEmpty())
            continue;
        const std::uint8_t code = LedSegmentCode(cells[static_cast<std::size_t>(i)]);
        for (int segment = 1; segment <= LedSegmentCount; ++segment) {
            const bool lit = LedSegmentLit(code, segment);
            canvas->Brush()->SetColor(lit ? FOnColor : FOffColor);
            canvas->Pen()->SetColor(lit ? FSegmentBorderColor : FOffColor);
            canvas->Polygon(LedSegmentPolygon(cell, segment, FGeometry));
        }
    }
}
