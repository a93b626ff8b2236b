// Tables: a grid of rows of cells, each cell a TCell of sections, with an
// optional caption. The grid is made rectangular out of COLSPAN and ROWSPAN;
// each column's minimum, maximum and percentage widths come from its cells,
// the room is shared out over the columns, and the rows are laid out with
// their cells' vertical alignment. A table aligned left or right floats, and
// the text that follows flows beside it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "htmlview/HtmlDocument.h"

// A table has at most this many columns; positions beyond them are cut.
inline constexpr int MaxTableColumns = 30;

// What a TD or TH asks for, as the builder read it from the tag.
struct TCellSpec {
    int ColSpan = 1;  // at most MaxTableColumns
    int RowSpan = 1;
    int AskedWidth = 0;  // pixels, or tenths of a percent
    bool AsPercent = false;
    int AskedHeight = 0;
    bool BackFilled = false;  // a BGCOLOR that is a colour
    TColor BackColor = clWhite;
};

// What a TABLE asks for, as the builder read it from the tag.
struct TTableSpec {
    bool Border = false;
    int CellPadding = 1;  // 0 .. 50
    int CellSpacing = 2;  // 0 .. 40, before a border widens it
    int HSpace = 5;       // at most 20
    std::optional<TJustify> Align;  // none: the alignment around the table
    bool Float = false;   // ALIGN=LEFT or RIGHT
    int WidthAttr = 0;    // pixels, or tenths of a percent
    bool AsPercent = false;
    bool BackFilled = false;
    TColor BackColor = clWhite;
    bool BdrOn = false;
    TColor BdrColor = clBlack;
};

// One grid position: a real cell, or a filler covered by a spanning cell.
class TCellObj : public TObject {
public:
    // A cell of a TD or TH; vAlign 0 top, 1 middle, 2 bottom.
    TCellObj(TSectionList* document, int vAlign, const TCellSpec& spec);
    // A cell with nothing asked of it (a caption).
    explicit TCellObj(TSectionList* document) : Cell(std::make_unique<TCell>(document)) {}
    // A position covered by a spanning cell.
    static std::unique_ptr<TCellObj> NewFiller(TSectionList* document, int rowSpan);

    int ColSpan = 1;  // 0 marks a filler
    int RowSpan = 1;
    int Wd = 0;       // width over its spanned columns
    int Ht = 0;       // height over its spanned rows
    int VSize = 0;    // height of its content
    int AskedHeight = 0;
    int YIndent = 0;  // vertical offset of its content
    int VAlign = 0;
    int AskedWidth = 0;  // pixels, or tenths of a percent
    bool AsPercent = false;
    std::unique_ptr<TCell> Cell;

    bool Filler() const { return ColSpan == 0; }
    bool HasContent() const { return !Cell->Empty(); }
};

// One row.
class TCellList : public TFreeList<TCellObj> {
public:
    bool BackFilled = false;
    TColor BackColor = clWhite;
    int RowHeight = 0;
    int RowSpanHeight = 0;  // the tallest cell starting in the row, over its rows
    // The TR's BGCOLOR.
    void SetBackground(TColor color);
};

class ThtmlTable : public TSectionBase {
public:
    ThtmlTable(TSectionList* document, const TTableSpec& spec, TJustify justify, TCell* ownerCell, int level);

    TFreeList<TCellList> Rows;
    std::unique_ptr<TCellObj> Caption;  // its cell holds the CAPTION
    bool TopCaption = true;
    bool Initialized = false;
    int NumCols = 0;
    bool HasFixedCells = false;  // some cell has a WIDTH in pixels
    bool Border = false;
    int CellPadding = 1;
    int CellSpacing = 2;
    int HSpace = 5;
    TJustify Justify = jLeft;
    bool Float = false;
    int WidthAttr = 0;  // pixels, or tenths of a percent
    bool AsPercent = false;
    bool BackFilled = false;
    TColor BackColor = clWhite;
    bool BdrOn = false;
    TColor BdrColor = clBlack;
    int Level = 0;
    TCell* OwnerCell;

    std::array<int, MaxTableColumns + 1> Widths{};
    std::array<int, MaxTableColumns + 1> Percents{};  // tenths of a percent, 0 for none
    int GridWidth = 0;
    int TableWidth = 0;
    int CaptionMinWidth = 0;
    int CaptionHeight = 0;
    int TableHeight = 0;  // the grid without the caption
    int Indent = 0;       // X of the table's box relative to the cell
    int GridIndent = 0;
    int TableX = 0;       // where it was painted last
    int TableY = 0;

    void CopySelection() override;
    int LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) override;
    int Draw(TCanvas* canvas, const TRect& aRect, IndentManager& imgr, int x, int y) override;
    bool LinkAtPoint(TCanvas* canvas, int x, int y, TUrlTarget& urlTarget, TFormControlObj*& formControl) override;
    bool ObjectAtPoint(int x, int y, TImageObj*& obj, int& ix, int& iy) override;
    int PositionAtPoint(TCanvas* canvas, int x, int y, int& xr, int& yr, int& caretHeight, TCell*& sCell,
                        bool& inText) override;
    int SearchText(int from, const CodePageString& toFind, bool matchCase) override;
    bool PointAtPosition(TCanvas* canvas, int cursor, int& x, int& y) override;
    bool CharAtPosition(int pos, char& ch, TSectionBase*& obj) override;
    void RefreshFonts() override;
    void WidthRange(TCanvas* canvas, int& min, int& max) override;
    void MoveBy(int dy, int dcurs) override;

    // Makes the grid rectangular, once.
    void Initialize();
    // Nested too deep to be laid out: the table stays empty.
    bool TooDeep() const { return FDepth > MaxTableDepth; }

private:
    struct ColumnRange {
        std::array<int, MaxTableColumns + 1> Min{};
        std::array<int, MaxTableColumns + 1> Max{};
        int TotalMin = 0;
        int TotalMax = 0;
        void Sum(int columns);
    };
    void GetMinMaxWithPercents(TCanvas* canvas, int tableWidth, ColumnRange& range);
    void GetMinMaxPixels(TCanvas* canvas, ColumnRange& range);
    void CellRange(TCanvas* canvas, TCellObj& cell, int& min, int& max) const;
    // Calls f(cell, column, span, min, max) for every real cell with its
    // width range, in passes by span: the cells spanning one column first.
    template <class F>
    void ForEachCellBySpan(TCanvas* canvas, F f);
    void WidthsForWidth(int net, const ColumnRange& range);
    // False when the widths are still to be shared out plainly.
    bool WidthsForPercents(int net, ColumnRange& range);
    void PlainWidths(int net, const ColumnRange& range);
    int CellWidth(int column, const TCellObj& cell) const;
    // The real cell under a point of the grid (y relative to the grid's
    // top), with the Y of its content's top within the grid.
    TCellObj* CellAtPoint(int x, int y, int& contentTop) const;
    // The caption and the cells in text order.
    std::vector<TCell*> CellsInTextOrder() const;
    // Which part a point relative to the table's top falls in: the grid or
    // the caption (y is made relative to it), or none.
    enum class TPart { None, Grid, Caption };
    TPart PartAt(int x, int& y) const;
    // The first row whose cells, or those of a row above it, reach below y
    // (relative to the grid's top); the count of rows when none does.
    int FirstRowReaching(int y) const;
    // A row's top from the last layout (relative to the grid's top), 0 before any.
    int RowTop(int row) const;

    int FDepth = 1;  // tables around it, itself included
    // From the last layout, relative to the grid's top: each row's top (and
    // the grid's rows' bottom after them), and the lowest any cell of a row
    // or of the rows above it reaches. A table of many rows paints and hit-
    // tests only the rows at the place asked.
    std::vector<int> FRowTops;
    std::vector<int> FRowReach;
};
