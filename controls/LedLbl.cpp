#include "controls/LedLbl.h"

#include <algorithm>

std::uint8_t LedSegmentCode(char c)
{
    for (const TLedGlyph& glyph : LedGlyphs)
        if (glyph.Character == c)
            return glyph.Code;
    return 0;
}

AnsiString LedCellText(const AnsiString& text, int numChars, TTextAlign alignment)
{
    const std::size_t cells = static_cast<std::size_t>(std::max(numChars, 1));
    if (text.size() >= cells)
        return text.substr(0, cells);
    const AnsiString blanks(cells - text.size(), ' ');
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
    SetText("8");
    SetBounds(Left(), Top(), 15, 34);
}

void TLedLabel::SetAlignment(TTextAlign value)
{
    FAlignment = value;
    Invalidate();
}

void TLedLabel::SetBorderGap(int value)
{
    FGeometry.BorderGap = value;
    Invalidate();
}

void TLedLabel::SetSegmentThickness(int value)
{
    FGeometry.SegmentThickness = value;
    Invalidate();
}

void TLedLabel::SetHorzMargine(int value)
{
    FGeometry.HorzMargine = value;
    Invalidate();
}

void TLedLabel::SetVertMargine(int value)
{
    FGeometry.VertMargine = value;
    Invalidate();
}

void TLedLabel::SetOnColor(TColor value)
{
    FOnColor = value;
    Invalidate();
}

void TLedLabel::SetBackGroundColor(TColor value)
{
    FBackGroundColor = value;
    Invalidate();
}

void TLedLabel::SetOffColor(TColor value)
{
    FOffColor = value;
    Invalidate();
}

void TLedLabel::SetSegmentBorderColor(TColor value)
{
    FSegmentBorderColor = value;
    Invalidate();
}

void TLedLabel::SetNumChars(int value)
{
    FNumChars = std::max(value, 1);
    Invalidate();
}

void TLedLabel::TextChanged()
{
    // The text is the value too; setting it already repaints and renames.
    AccessibleChanged(TAccessibleChange::Value);
}

void TLedLabel::Paint()
{
    TCanvas* canvas = Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(FBackGroundColor);
    canvas->FillRect(ClientRect());

    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetWidth(1);
    const AnsiString cells = LedCellText(Text(), FNumChars, FAlignment);
    for (int i = 0; i < FNumChars; ++i) {
        const TRect cell = LedCellRect(ClientWidth(), ClientHeight(), FNumChars, i);
        const std::uint8_t code = LedSegmentCode(cells[static_cast<std::size_t>(i)]);
        for (int segment = 1; segment <= LedSegmentCount; ++segment) {
            const bool lit = LedSegmentLit(code, segment);
            canvas->Brush()->SetColor(lit ? FOnColor : FOffColor);
            canvas->Pen()->SetColor(lit ? FSegmentBorderColor : FOffColor);
            canvas->Polygon(LedSegmentPolygon(cell, segment, FGeometry));
        }
    }
}
