// A counter shown as seven-segment LED digits.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"

enum TTextAlign { TTALeft, TTARight };

// --- the digits, as data ------------------------------------------------------

// Segments, numbered as the codes' bits: bit k lights segment k (bit 0 unused).
enum TLedSegment {
    lsMiddle = 1,
    lsUpperRight = 2,
    lsTop = 3,
    lsUpperLeft = 4,
    lsLowerLeft = 5,
    lsBottom = 6,
    lsLowerRight = 7,
};
inline constexpr int LedSegmentCount = 7;

struct TLedGlyph {
    char Character;
    std::uint8_t Code;
};
// Every character not listed is an unlit digit (code 0).
inline constexpr TLedGlyph LedGlyphs[] = {
    {'0', 252},  // 2 3 4 5 6 7
    {'1', 132},  // 2 7
    {'2', 110},  // 1 2 3 5 6
    {'3', 206},  // 1 2 3 6 7
    {'4', 150},  // 1 2 4 7
    {'5', 218},  // 1 3 4 6 7
    {'6', 250},  // 1 3 4 5 6 7
    {'7', 140},  // 2 3 7
    {'8', 254},  // all
    {'9', 158},  // 1 2 3 4 7
};

std::uint8_t LedSegmentCode(char c);
constexpr bool LedSegmentLit(std::uint8_t code, int segment) { return ((code >> segment) & 1) != 0; }

// --- layout, as free functions ---------------------------------------------------

// The characters of the numChars cells: the text padded with blanks (on the
// right for TTALeft, on the left for TTARight); a longer text keeps its first
// numChars characters. numChars below 1 counts as 1.
CodePageString LedCellText(const CodePageString& text, int numChars, TTextAlign alignment);

// Cell index (from 0) of numChars equal cells across the client area; the
// pixels left over by the division stay unused at the right.
TRect LedCellRect(int clientWidth, int clientHeight, int numChars, int index);

struct TLedGeometry {
    int BorderGap = 1;
    int SegmentThickness = 2;
    int HorzMargine = 1;
    int VertMargine = 2;
};
// The polygon of one segment (1..7) in a cell: six points for the middle
// segment, four for the others. Thickness 0 collapses it to a line.
std::vector<TPoint> LedSegmentPolygon(const TRect& cell, int segment, const TLedGeometry& geometry);

// --- the control ---------------------------------------------------------------------

class TLedLabel : public TGraphicControl {
public:
    explicit TLedLabel(TComponent* AOwner);

    // Every setter stores the value and repaints when it changed; Text is the
    // control's Text.
    TTextAlign Alignment() const { return FAlignment; }
    void SetAlignment(TTextAlign value);
    int BorderGap() const { return FGeometry.BorderGap; }
    void SetBorderGap(int value);
    int SegmentThickness() const { return FGeometry.SegmentThickness; }
    void SetSegmentThickness(int value);
    int HorzMargine() const { return FGeometry.HorzMargine; }
    void SetHorzMargine(int value);
    int VertMargine() const { return FGeometry.VertMargine; }
    void SetVertMargine(int value);
    TColor OnColor() const { return FOnColor; }
    void SetOnColor(TColor value);
    TColor BackGroundColor() const { return FBackGroundColor; }
    void SetBackGroundColor(TColor value);
    TColor OffColor() const { return FOffColor; }
    void SetOffColor(TColor value);
    TColor SegmentBorderColor() const { return FSegmentBorderColor; }
    void SetSegmentBorderColor(TColor value);
    // At least 1.
    int NumChars() const { return FNumChars; }
    void SetNumChars(int value);

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::StaticText; }
    CodePageString AccessibleName() const override { return Text(); }
    CodePageString AccessibleValue() const override { return Text(); }

protected:
    void Paint() override;
    void TextChanged() override;
    void RepaintText(const CodePageString& before) override;

private:
    template <class T>
    void SetAndRepaint(T& setting, T value);

    TTextAlign FAlignment = TTARight;
    TLedGeometry FGeometry;
    TColor FOnColor = clRed;
    TColor FBackGroundColor = clBlack;
    TColor FOffColor = clMaroon;
    TColor FSegmentBorderColor = clRed;
    int FNumChars = 1;
};
