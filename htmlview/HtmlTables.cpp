#include "htmlview/HtmlTables.h"

#include <algorithm>

#include "htmlview/HtmlDocument.h"

namespace {

// The percentage distribution of a table without WIDTH narrows its
// percentages pass by pass until they fit; past this many passes the room is
// shared out plainly instead.
constexpr int MaxPercentPasses = 10;

}  // namespace

// --- cells and rows --------------------------------------------------------------------------

TCellObj::TCellObj(TSectionList* document, int vAlign, const TCellSpec& spec)
    : ColSpan(spec.ColSpan),
      RowSpan(spec.RowSpan),
      AskedHeight(spec.AskedHeight),
      VAlign(vAlign),
      AskedWidth(spec.AskedWidth),
      AsPercent(spec.AsPercent),
      Cell(std::make_unique<TCell>(document))
{
    Cell->BackFilled = spec.BackFilled;
    Cell->BackColor = spec.BackColor;
}

std::unique_ptr<TCellObj> TCellObj::NewFiller(TSectionList* document, int rowSpan)
{
    auto filler = std::make_unique<TCellObj>(document);
    filler->ColSpan = 0;
    filler->RowSpan = rowSpan;
    return filler;
}

void TCellList::SetBackground(TColor color)
{
    BackFilled = true;
    BackColor = color;
}

// --- the table ---------------------------------------------------------------------------------

ThtmlTable::ThtmlTable(TSectionList* document, const TTableSpec& spec, TJustify justify, TCell* ownerCell,
                       int level)
    : TSectionBase(document),
      Caption(std::make_unique<TCellObj>(document)),
      Border(spec.Border),
      CellPadding(spec.CellPadding),
      CellSpacing(spec.CellSpacing),
      HSpace(spec.HSpace),
      Justify(spec.Align.value_or(justify)),
      Float(spec.Float),
      WidthAttr(spec.WidthAttr),
      AsPercent(spec.AsPercent),
      BackFilled(spec.BackFilled),
      BackColor(spec.BackColor),
      BdrOn(spec.BdrOn),
      BdrColor(spec.BdrColor),
      Level(std::clamp(level, 0, MaxListLevel)),
      OwnerCell(ownerCell)
{
    if (Border)
        CellSpacing = std::max(1, CellSpacing + 2);
}

void ThtmlTable::Initialize()
{
    if (Initialized)
        return;
    Initialized = true;
    FDepth = (OwnerCell ? OwnerCell->TableDepth : 0) + 1;
    Caption->Cell->TableDepth = FDepth;
    if (TooDeep())
        return;
    if (!BackFilled && OwnerCell && OwnerCell->BackFilled) {
        BackFilled = true;
        BackColor = OwnerCell->BackColor;
    }

    for (const auto& row : Rows) {
        // Cells past the last column are cut, and spans that reach past it
        // end there, so that no filler is made beyond the limit.
        int column = 0;
        int kept = 0;
        for (; kept < row->Count() && column < MaxTableColumns; ++kept) {
            TCellObj* cell = row->Items(kept);
            cell->ColSpan = std::min(cell->ColSpan, MaxTableColumns - column);
            column += cell->ColSpan;
        }
        while (row->Count() > kept)
            row->Delete(row->Count() - 1);
        for (const auto& cell : *row) {
            TCell& content = *cell->Cell;
            content.TableDepth = FDepth;
            if (!content.BackFilled && row->BackFilled) {
                content.BackFilled = true;
                content.BackColor = row->BackColor;
            }
            if (!content.BackFilled && BackFilled) {
                content.BackFilled = true;
                content.BackColor = BackColor;
            }
            if (!cell->AsPercent && cell->AskedWidth > 0)
                HasFixedCells = true;
        }
        for (int i = row->Count() - 1; i >= 0; --i) {
            const TCellObj* cell = row->Items(i);
            for (int k = 1; k < cell->ColSpan; ++k)
                row->Insert(i + 1, TCellObj::NewFiller(RootDocument, cell->RowSpan));
        }
    }

    // Row spans: each spanned row gets a filler at the cell's column. Rows
    // never grow past the last column, whatever the spans ask.
    for (int c = 0; c < MaxTableColumns; ++c) {
        for (int r = 0; r < Rows.Count(); ++r) {
            TCellList* row = Rows[r];
            if (row->Count() <= c)
                continue;
            TCellObj* cell = row->Items(c);
            cell->RowSpan = std::min(cell->RowSpan, Rows.Count() - r);
            for (int k = r + 1; k < r + cell->RowSpan; ++k) {
                TCellList* next = Rows[k];
                while (next->Count() < c)
                    next->Add(TCellObj::NewFiller(RootDocument, 0));
                next->Insert(c, TCellObj::NewFiller(RootDocument, 0));
                while (next->Count() > MaxTableColumns)
                    next->Delete(next->Count() - 1);
            }
        }
    }

    NumCols = 0;
    for (const auto& row : Rows) {
        NumCols = std::max(NumCols, row->Count());
        for (int p = 0; p < row->Count(); ++p) {
            TCellObj* cell = row->Items(p);
            cell->Cell->TableDepth = FDepth;
            if (!cell->Filler())
                cell->ColSpan = std::min(cell->ColSpan, MaxTableColumns - p);
        }
    }
}

void ThtmlTable::ColumnRange::Sum(int columns)
{
    TotalMin = 0;
    TotalMax = 0;
    for (int c = 0; c < columns; ++c) {
        TotalMin += Min[std::size_t(c)];
        TotalMax += Max[std::size_t(c)];
    }
}

void ThtmlTable::CellRange(TCanvas* canvas, TCellObj& cell, int& min, int& max) const
{
    cell.Cell->WidthRange(canvas, min, max);
    const int pad = 2 * CellPadding + CellSpacing;
    min += pad;
    max += pad;
}

template <class F>
void ThtmlTable::ForEachCellBySpan(TCanvas* canvas, F f)
{
    int largestSpan = 1;
    for (const auto& row : Rows)
        for (const auto& cell : *row)
            largestSpan = std::max(largestSpan, cell->ColSpan);
    for (int span = 1; span <= largestSpan; ++span) {
        for (const auto& row : Rows) {
            for (int p = 0; p < row->Count(); ++p) {
                TCellObj* cell = row->Items(p);
                if (cell->ColSpan != span)
                    continue;
                int cellMin = 0;
                int cellMax = 0;
                CellRange(canvas, *cell, cellMin, cellMax);
                f(*cell, std::size_t(p), span, cellMin, cellMax);
            }
        }
    }
}

void ThtmlTable::GetMinMaxWithPercents(TCanvas* canvas, int tableWidth, ColumnRange& range)
{
    range = ColumnRange();
    Percents.fill(0);
    auto& mins = range.Min;
    auto& maxs = range.Max;
    ForEachCellBySpan(canvas, [&](TCellObj& cell, std::size_t p, int span, int cellMin, int cellMax) {
        int pct = 0;
        if (cell.AsPercent)
            pct = cell.AskedWidth;
        else if (tableWidth > 0)
            pct = std::min(1000, MulDiv(cell.AskedWidth, 1000, tableWidth));
        if (span == 1) {
            mins[p] = std::max(mins[p], cellMin);
            maxs[p] = std::max(maxs[p], cellMax);
            Percents[p] = std::max(Percents[p], pct);
            return;
        }
        const std::size_t first = p;
        const std::size_t last = first + std::size_t(span);
        int sumMin = 0;
        int sumMax = 0;
        int sumPct = 0;
        int withoutPct = 0;
        std::array<bool, MaxTableColumns + 1> noPct{};
        for (std::size_t c = first; c < last; ++c) {
            sumMin += mins[c];
            sumMax += maxs[c];
            if (Percents[c] > 0) {
                sumPct += Percents[c];
            } else {
                noPct[c] = true;
                ++withoutPct;
            }
        }
        const int excessMin = cellMin - sumMin;
        const int excessMax = cellMax - sumMax;
        if (pct < 1 && sumPct < 1) {
            // Shared in proportion to what the columns have.
            for (std::size_t c = first; c < last; ++c) {
                if (excessMin > 0)
                    mins[c] = sumMin == 0 ? cellMin / span : MulDiv(cellMin, mins[c], sumMin);
                if (excessMax >= 1)
                    maxs[c] = sumMax == 0 ? cellMax / span : MulDiv(cellMax, maxs[c], sumMax);
            }
            return;
        }
        if (withoutPct == 0 && pct > sumPct) {
            for (std::size_t c = first; c < last; ++c)
                Percents[c] = MulDiv(Percents[c], pct, sumPct);
        } else if (withoutPct > 0) {
            for (std::size_t c = first; c < last; ++c)
                if (noPct[c])
                    Percents[c] = std::max(0, (pct - sumPct) / withoutPct);
        }
        const int total = std::max(sumPct, pct);
        int noPctMax = 0;
        for (std::size_t c = first; c < last; ++c)
            if (noPct[c])
                noPctMax += maxs[c];
        for (std::size_t c = first; c < last; ++c) {
            if (excessMin > 0) {
                if (withoutPct >= 1) {
                    if (noPct[c])
                        mins[c] += noPctMax > 0 ? MulDiv(excessMin, maxs[c], noPctMax) : excessMin / withoutPct;
                } else {
                    mins[c] = std::max(mins[c], MulDiv(cellMin, Percents[c], total));
                }
            }
            if (excessMax >= 1) {
                if (withoutPct >= 1) {
                    if (noPct[c])
                        maxs[c] += excessMax / withoutPct;
                } else {
                    maxs[c] = std::max(maxs[c], MulDiv(cellMax, Percents[c], total));
                }
            }
        }
    });
    range.Sum(NumCols);
}

void ThtmlTable::GetMinMaxPixels(TCanvas* canvas, ColumnRange& range)
{
    range = ColumnRange();
    Percents.fill(0);
    auto& mins = range.Min;
    auto& maxs = range.Max;
    const int pad = 2 * CellPadding + CellSpacing;
    ForEachCellBySpan(canvas, [&](TCellObj& cell, std::size_t p, int span, int cellMin, int cellMax) {
        if (!cell.AsPercent && cell.AskedWidth >= 1) {
            cellMin = std::max(cellMin, cell.AskedWidth + pad);
            cellMax = cellMin;
        }
        if (span == 1) {
            mins[p] = std::max(mins[p], cellMin);
            maxs[p] = std::max(maxs[p], cellMax);
            return;
        }
        const std::size_t first = p;
        const std::size_t last = first + std::size_t(span);
        int sumMin = 0;
        int sumMax = 0;
        for (std::size_t c = first; c < last; ++c) {
            sumMin += mins[c];
            sumMax += maxs[c];
        }
        for (std::size_t c = first; c < last; ++c) {
            if (sumMin < cellMin)
                mins[c] += sumMin > 0 ? MulDiv(mins[c], cellMin - sumMin, sumMin) : (cellMin - sumMin) / span;
            if (sumMax < cellMax)
                maxs[c] += sumMax > 0 ? MulDiv(maxs[c], cellMax - sumMax, sumMax) : (cellMax - sumMax) / span;
        }
    });
    range.Sum(NumCols);
}

void ThtmlTable::WidthRange(TCanvas* canvas, int& min, int& max)
{
    min = 0;
    max = 0;
    Initialize();
    if (TooDeep())
        return;
    ColumnRange range;
    if (!HasFixedCells || WidthAttr > 0)
        GetMinMaxWithPercents(canvas, AsPercent ? 0 : WidthAttr, range);
    else
        GetMinMaxPixels(canvas, range);
    min = range.TotalMin + CellSpacing;
    max = range.TotalMax + CellSpacing;
    if (!AsPercent) {
        min = std::max(min, WidthAttr);
        max = std::max(max, WidthAttr);
    }
    int captionMax = 0;
    Caption->Cell->WidthRange(canvas, CaptionMinWidth, captionMax);
    min = std::max(min, CaptionMinWidth);
    max = std::max(max, CaptionMinWidth);
}

void ThtmlTable::WidthsForWidth(int net, const ColumnRange& range)
{
    std::array<bool, MaxTableColumns + 1> fixed{};
    bool everyPct = true;
    int sum = 0;
    for (int c = 0; c < NumCols; ++c) {
        const std::size_t i = std::size_t(c);
        if (Percents[i] > 0) {
            int w = MulDiv(net, Percents[i], 1000);
            if (w < range.Min[i]) {
                w = range.Min[i];
                fixed[i] = true;
            }
            Widths[i] = w;
        } else {
            Widths[i] = range.Min[i];
            everyPct = false;
        }
        sum += Widths[i];
    }
    int excess = sum - net;
    if (excess < 0) {
        const int room = -excess;
        if (everyPct) {
            int pctSum = 0;
            for (int c = 0; c < NumCols; ++c)
                if (!fixed[std::size_t(c)])
                    pctSum += Percents[std::size_t(c)];
            if (pctSum > 0)
                for (int c = 0; c < NumCols; ++c)
                    if (!fixed[std::size_t(c)])
                        Widths[std::size_t(c)] += MulDiv(room, Percents[std::size_t(c)], pctSum);
        } else {
            int spread = 0;
            int count = 0;
            for (int c = 0; c < NumCols; ++c) {
                if (Percents[std::size_t(c)] <= 0) {
                    spread += range.Max[std::size_t(c)] - range.Min[std::size_t(c)];
                    ++count;
                }
            }
            for (int c = 0; c < NumCols; ++c) {
                const std::size_t i = std::size_t(c);
                if (Percents[i] > 0)
                    continue;
                Widths[i] += spread >= 1 ? MulDiv(room, range.Max[i] - range.Min[i], spread) : room / count;
            }
        }
    } else if (excess >= 1) {
        // Taken from the percentage columns that are not at their minimum yet.
        for (int pass = 0; pass < 4 && excess > 0; ++pass) {
            int pctSum = 0;
            for (int c = 0; c < NumCols; ++c)
                if (Percents[std::size_t(c)] > 0 && !fixed[std::size_t(c)])
                    pctSum += Percents[std::size_t(c)];
            if (pctSum < 1)
                break;
            int taken = 0;
            for (int c = 0; c < NumCols; ++c) {
                const std::size_t i = std::size_t(c);
                if (Percents[i] <= 0 || fixed[i])
                    continue;
                int cut = MulDiv(excess, Percents[i], pctSum);
                if (Widths[i] - cut < range.Min[i]) {
                    cut = Widths[i] - range.Min[i];
                    fixed[i] = true;
                }
                Widths[i] -= cut;
                taken += cut;
            }
            excess -= taken;
        }
    }
    sum = 0;
    for (int c = 0; c < NumCols; ++c)
        sum += Widths[std::size_t(c)];
    if (sum < net) {
        Widths[0] += net - sum;
    } else if (sum > net) {
        for (int c = 0; c < NumCols; ++c) {
            const std::size_t i = std::size_t(c);
            if (!fixed[i]) {
                Widths[i] = std::max(0, Widths[i] - (sum - net));
                break;
            }
        }
    }
}

bool ThtmlTable::WidthsForPercents(int net, ColumnRange& range)
{
    int pctSum = 0;
    int othersMax = 0;
    for (int c = 0; c < NumCols; ++c) {
        pctSum += Percents[std::size_t(c)];
        if (Percents[std::size_t(c)] <= 0)
            othersMax += range.Max[std::size_t(c)];
    }
    if (pctSum < 1 || pctSum > 1000)
        return false;
    // The width the table wants: what makes every percentage column as wide
    // as its Max, and the other columns their Maxes in the rest.
    int wanted = 0;
    for (int c = 0; c < NumCols; ++c)
        if (Percents[std::size_t(c)] > 0)
            wanted = std::max(wanted, MulDiv(range.Max[std::size_t(c)], 1000, Percents[std::size_t(c)]));
    if (pctSum == 1000)
        wanted = std::max(wanted, othersMax > 0 ? 30000 : 0);
    else
        wanted = std::max(wanted, MulDiv(othersMax, 1000, 1000 - pctSum));

    if (net >= wanted) {
        const int othersShare = MulDiv(wanted, 1000 - pctSum, 1000);
        for (int c = 0; c < NumCols; ++c) {
            const std::size_t i = std::size_t(c);
            if (Percents[i] > 0)
                Widths[i] = MulDiv(wanted, Percents[i], 1000);
            else
                Widths[i] = othersMax >= 1 ? MulDiv(othersShare, range.Max[i], othersMax) : 0;
        }
        return true;
    }
    for (int pass = 0; pass < MaxPercentPasses; ++pass) {
        bool anyKept = false;
        for (int c = 0; c < NumCols; ++c) {
            const std::size_t i = std::size_t(c);
            if (Percents[i] <= 0)
                continue;
            if (range.Min[i] > MulDiv(net, Percents[i], 1000) - 1)
                Percents[i] = 0;
            else
                anyKept = true;
        }
        if (!anyKept)
            return false;
        int keptWidth = 0;
        int otherMins = 0;
        for (int c = 0; c < NumCols; ++c) {
            const std::size_t i = std::size_t(c);
            if (Percents[i] > 0)
                keptWidth += MulDiv(net, Percents[i], 1000);
            else
                otherMins += range.Min[i];
        }
        if (net >= keptWidth + otherMins) {
            for (int c = 0; c < NumCols; ++c) {
                const std::size_t i = std::size_t(c);
                if (Percents[i] > 0)
                    range.Min[i] = range.Max[i] = MulDiv(net, Percents[i], 1000);
            }
            range.Sum(NumCols);
            return false;
        }
        for (int c = 0; c < NumCols; ++c) {
            const std::size_t i = std::size_t(c);
            if (Percents[i] > 0)
                Percents[i] = int(static_cast<long long>(Percents[i]) * (net - otherMins) / keptWidth);
        }
    }
    return false;
}

void ThtmlTable::PlainWidths(int net, const ColumnRange& range)
{
    const bool between = net < range.TotalMax && range.TotalMax != range.TotalMin;
    for (int c = 0; c < NumCols; ++c) {
        const std::size_t i = std::size_t(c);
        Widths[i] = between ? range.Min[i] + MulDiv(range.Max[i] - range.Min[i], net - range.TotalMin,
                                                    range.TotalMax - range.TotalMin)
                            : range.Max[i];
    }
}

int ThtmlTable::CellWidth(int column, const TCellObj& cell) const
{
    int width = 0;
    for (int c = column; c < column + cell.ColSpan && c < MaxTableColumns; ++c)
        width += Widths[std::size_t(c)];
    return width;
}

int ThtmlTable::LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs)
{
    YValue = y;
    FirstPosition = curs;
    imgr.SetListLevel(y, Level);
    Initialize();
    if (TooDeep()) {
        BlockHeight = PaintHeight = Len = maxWidth = 0;
        return 0;
    }
    const int avail = imgr.RightEdgeAt(y) - imgr.LeftEdgeAt(y);
    const bool hasWidth = WidthAttr > 0;
    const int target = !hasWidth ? avail : AsPercent ? MulDiv(avail, WidthAttr, 1000) : WidthAttr;
    const int net = std::max(target - CellSpacing, 20);

    Widths.fill(0);
    ColumnRange range;
    if (!HasFixedCells || hasWidth) {
        GetMinMaxWithPercents(canvas, net, range);
        if (net <= range.TotalMin)
            std::copy(range.Min.begin(), range.Min.end(), Widths.begin());
        else if (hasWidth)
            WidthsForWidth(net, range);
        else if (!WidthsForPercents(net, range))
            PlainWidths(net, range);
    } else {
        GetMinMaxPixels(canvas, range);
        for (int c = 0; c < NumCols; ++c) {
            const std::size_t i = std::size_t(c);
            if (range.TotalMin >= net)
                Widths[i] = range.Min[i];
            else if (range.TotalMax <= net)
                Widths[i] = range.Max[i];
            else if (range.TotalMax - range.TotalMin < 1)
                Widths[i] = range.Min[i] + MulDiv(range.Min[i], net - range.TotalMin, range.TotalMin);
            else
                Widths[i] = range.Min[i] + MulDiv(range.Max[i] - range.Min[i], net - range.TotalMin,
                                                  range.TotalMax - range.TotalMin);
        }
    }
    GridWidth = CellSpacing;
    for (int c = 0; c < NumCols; ++c)
        GridWidth += Widths[std::size_t(c)];
    int captionMax = 0;
    Caption->Cell->WidthRange(canvas, CaptionMinWidth, captionMax);
    TableWidth = std::max(GridWidth, CaptionMinWidth);

    // Row heights, by how many rows the cells span; a cell spanning several
    // rows that needs more than they give spreads the rest over them. Only
    // the spans the rows hold are visited, the rows of one span in order: a
    // row without a cell of that span changes nothing.
    const int padding = 2 * CellPadding;
    const int around = padding + CellSpacing;
    std::vector<std::pair<int, int>> spans;  // (rows spanned, row) of every row's cells
    for (int r = 0; r < Rows.Count(); ++r) {
        TCellList* row = Rows[r];
        for (int p = 0; p < row->Count(); ++p) {
            TCellObj* cell = row->Items(p);
            if (cell->Filler())
                continue;
            cell->Wd = CellWidth(p, *cell);
            if (cell->RowSpan > 1)
                spans.emplace_back(cell->RowSpan, r);
        }
    }
    std::sort(spans.begin(), spans.end());
    spans.erase(std::unique(spans.begin(), spans.end()), spans.end());
    std::vector<int> heights(std::size_t(Rows.Count()), 0);
    const auto rowHeight = [&](int r, int span) {
        TCellList* row = Rows[r];
        int h = 0;
        for (const auto& cell : *row) {
            if (cell->Filler() || cell->RowSpan != span)
                continue;
            int scratch = 0;
            int width = 0;
            cell->VSize = cell->Cell->LayOutAll(canvas, 0, std::max(0, cell->Wd - around), width, scratch);
            h = std::max(h, std::max(cell->VSize, cell->AskedHeight - padding));
        }
        return h + around;
    };
    for (int r = 0; r < Rows.Count(); ++r)
        heights[std::size_t(r)] = rowHeight(r, 1);
    for (const auto& [span, r] : spans) {
        const int h = rowHeight(r, span);
        int spanned = 0;
        for (int k = r; k < r + span; ++k)
            spanned += heights[std::size_t(k)];
        if (h > spanned) {
            const int more = h - spanned;
            for (int k = r; k < r + span; ++k)
                heights[std::size_t(k)] += more / span;
            heights[std::size_t(r + span - 1)] += more % span;
        }
    }

    int rowY = y;
    BlockHeight = 0;
    CaptionHeight = 0;
    FRowTops.assign(std::size_t(Rows.Count()) + 1, 0);
    FRowReach.assign(std::size_t(Rows.Count()), 0);
    if (TopCaption) {
        int width = 0;
        CaptionHeight = Caption->Cell->LayOutAll(canvas, rowY, TableWidth, width, curs);
        BlockHeight = CaptionHeight;
        rowY += CaptionHeight;
    }
    for (int r = 0; r < Rows.Count(); ++r) {
        TCellList* row = Rows[r];
        row->RowHeight = heights[std::size_t(r)];
        row->RowSpanHeight = 0;
        for (const auto& cell : *row) {
            if (cell->Filler())
                continue;
            cell->Ht = 0;
            for (int k = r; k < r + cell->RowSpan; ++k)
                cell->Ht += heights[std::size_t(k)];
            row->RowSpanHeight = std::max(row->RowSpanHeight, cell->Ht);
        }
        for (const auto& cell : *row) {
            if (cell->Filler() || !cell->HasContent())
                continue;
            const int free = cell->Ht - cell->VSize - around;
            cell->YIndent = cell->VAlign == 1 ? free / 2 : cell->VAlign == 2 ? free : 0;
            int width = 0;
            cell->Cell->LayOutAll(canvas, rowY + CellSpacing + CellPadding + cell->YIndent,
                                  std::max(0, cell->Wd - around), width, curs);
        }
        const int top = FRowTops[std::size_t(r)];
        FRowReach[std::size_t(r)] = std::max(r > 0 ? FRowReach[std::size_t(r - 1)] : 0, top + row->RowSpanHeight);
        FRowTops[std::size_t(r) + 1] = top + row->RowHeight;
        rowY += row->RowHeight;
        BlockHeight += row->RowHeight;
    }
    BlockHeight += CellSpacing;
    TableHeight = BlockHeight - CaptionHeight;
    if (!TopCaption) {
        int width = 0;
        CaptionHeight = Caption->Cell->LayOutAll(canvas, YValue + TableHeight, TableWidth, width, curs);
        BlockHeight += CaptionHeight;
    }

    Indent = 0;
    if (TableWidth < avail) {
        if (Justify == jCentre)
            Indent = (avail - TableWidth) / 2;
        else if (Justify == jRight)
            Indent = avail - TableWidth;
    }
    Indent += imgr.LeftEdgeAt(YValue);
    GridIndent = Indent + (TableWidth - GridWidth) / 2;
    Len = curs - FirstPosition;
    maxWidth = TableWidth;
    PaintHeight = BlockHeight;
    if (!Float)
        return BlockHeight;
    // The text that follows flows beside a floating table.
    imgr.AddFloat(YValue, TableWidth + HSpace + 1, Justify, BlockHeight);
    BlockHeight = 0;
    return 0;
}

int ThtmlTable::Draw(TCanvas* canvas, const TRect& aRect, IndentManager& /*imgr*/, int x, int y)
{
    const int scrollTop = RootDocument->ScrollTop;
    TableX = x + GridIndent;
    TableY = y;
    if (TooDeep() || y - scrollTop >= aRect.Bottom || y - scrollTop + PaintHeight <= aRect.Top)
        return y + BlockHeight;
    int rowY = y;
    if (TopCaption) {
        Caption->Cell->Draw(canvas, aRect, TableWidth, x + Indent, rowY);
        rowY += CaptionHeight;
    }
    const int gridTop = rowY;
    TRegion spacing;
    if (BdrOn)
        spacing = TRegion::FromRect(Rect(TableX, std::max(aRect.Top - 1, gridTop - scrollTop), TableX + GridWidth,
                                         std::min(aRect.Bottom, gridTop + TableHeight - scrollTop)));
    const int firstRow = FirstRowReaching(aRect.Top - (gridTop - scrollTop));
    rowY = gridTop + RowTop(firstRow);
    for (int r = firstRow; r < Rows.Count(); ++r) {
        const TCellList* row = Rows[r];
        const int screenY = rowY - scrollTop;
        if (screenY >= aRect.Bottom)
            break;
        if (screenY + row->RowSpanHeight > aRect.Top) {
            int cellX = TableX;
            for (int p = 0; p < row->Count(); ++p) {
                const TCellObj* cell = row->Items(p);
                // An empty cell shows only its colour: pages make bars of
                // colour out of empty cells.
                const bool filled = !cell->Filler() && cell->Cell->BackFilled;
                const TRect box = Rect(cellX + CellSpacing, screenY + CellSpacing, cellX + cell->Wd, screenY + cell->Ht);
                if (filled) {
                    canvas->Brush()->SetStyle(bsSolid);
                    canvas->Brush()->SetColor(PaletteRelative(cell->Cell->BackColor));
                    canvas->FillRect(box);
                    if (BdrOn && !cell->HasContent())
                        spacing.Subtract(box);
                }
                if (!cell->Filler() && cell->HasContent()) {
                    cell->Cell->Draw(canvas, aRect, cell->Wd - CellSpacing - 2 * CellPadding,
                                     cellX + CellSpacing + CellPadding,
                                     rowY + CellSpacing + CellPadding + cell->YIndent);
                    if (Border)
                        Draw3DFrame(RootDocument->Background, canvas, box.Left - 1, box.Top - 1, box.Right, box.Bottom,
                                    false);
                    if (BdrOn)
                        spacing.Subtract(Border ? InflateRect(box, 1, 1) : box);
                }
                cellX += Widths[std::size_t(p)];
            }
        }
        rowY += row->RowHeight;
    }
    if (BdrOn) {
        canvas->Brush()->SetStyle(bsSolid);
        canvas->Brush()->SetColor(PaletteRelative(BdrColor));
        canvas->FillRegion(spacing);
    }
    const int gridBottom = gridTop + RowTop(Rows.Count());
    if (Border)
        Draw3DFrame(RootDocument->Background, canvas, TableX, gridTop - scrollTop, TableX + GridWidth - 1,
                    gridBottom + CellSpacing - scrollTop - 1, true);
    if (!TopCaption)
        Caption->Cell->Draw(canvas, aRect, TableWidth, x + Indent, gridTop + TableHeight);
    return y + BlockHeight;
}

// --- hit tests and text order --------------------------------------------------------------------

ThtmlTable::TPart ThtmlTable::PartAt(int x, int& y) const
{
    if (TooDeep() || y < 0 || y >= PaintHeight)
        return TPart::None;
    const bool inGrid = x >= TableX && x <= TableX + GridWidth;
    const int captionLeft = TableX + Indent - GridIndent;
    const bool inCaption = x >= captionLeft && x < captionLeft + TableWidth;
    if (TopCaption) {
        if (y < CaptionHeight)
            return inCaption ? TPart::Caption : TPart::None;
        y -= CaptionHeight;
        return inGrid ? TPart::Grid : TPart::None;
    }
    if (y < TableHeight)
        return inGrid ? TPart::Grid : TPart::None;
    y -= TableHeight;
    return inCaption ? TPart::Caption : TPart::None;
}

int ThtmlTable::RowTop(int row) const
{
    return std::size_t(row) < FRowTops.size() ? FRowTops[std::size_t(row)] : 0;
}

int ThtmlTable::FirstRowReaching(int y) const
{
    if (FRowReach.size() != std::size_t(Rows.Count()))
        return 0;  // not laid out: every row is looked at
    return int(std::upper_bound(FRowReach.begin(), FRowReach.end(), y) - FRowReach.begin());
}

TCellObj* ThtmlTable::CellAtPoint(int x, int y, int& contentTop) const
{
    const int firstRow = FirstRowReaching(y);
    int rowTop = RowTop(firstRow);
    for (int r = firstRow; r < Rows.Count() && rowTop <= y; ++r) {
        const TCellList* row = Rows[r];
        int cellX = TableX;
        for (int p = 0; p < row->Count(); ++p) {
            TCellObj* cell = row->Items(p);
            if (!cell->Filler() && x >= cellX && x < cellX + cell->Wd && y >= rowTop && y < rowTop + cell->Ht) {
                contentTop = rowTop + CellSpacing + CellPadding + cell->YIndent;
                return cell;
            }
            cellX += Widths[std::size_t(p)];
        }
        rowTop += row->RowHeight;
    }
    return nullptr;
}

std::vector<TCell*> ThtmlTable::CellsInTextOrder() const
{
    std::vector<TCell*> cells;
    if (TooDeep())
        return cells;
    if (TopCaption)
        cells.push_back(Caption->Cell.get());
    for (const auto& row : Rows)
        for (const auto& cell : *row)
            if (!cell->Filler())
                cells.push_back(cell->Cell.get());
    if (!TopCaption)
        cells.push_back(Caption->Cell.get());
    return cells;
}

bool ThtmlTable::LinkAtPoint(TCanvas* canvas, int x, int y, TUrlTarget& urlTarget, TFormControlObj*& formControl)
{
    switch (PartAt(x, y)) {
    case TPart::Caption:
        return Caption->Cell->LinkAtPoint(canvas, x, y, urlTarget, formControl);
    case TPart::Grid: {
        int top = 0;
        TCellObj* cell = CellAtPoint(x, y, top);
        return cell && cell->Cell->LinkAtPoint(canvas, x, y - top, urlTarget, formControl);
    }
    default:
        return false;
    }
}

bool ThtmlTable::ObjectAtPoint(int x, int y, TImageObj*& obj, int& ix, int& iy)
{
    switch (PartAt(x, y)) {
    case TPart::Caption:
        return Caption->Cell->ObjectAtPoint(x, y, obj, ix, iy);
    case TPart::Grid: {
        int top = 0;
        TCellObj* cell = CellAtPoint(x, y, top);
        return cell && cell->Cell->ObjectAtPoint(x, y - top, obj, ix, iy);
    }
    default:
        return false;
    }
}

int ThtmlTable::PositionAtPoint(TCanvas* canvas, int x, int y, int& xr, int& yr, int& caretHeight, TCell*& sCell,
                                bool& inText)
{
    const int tableY = y;
    switch (PartAt(x, y)) {
    case TPart::Caption: {
        const int position = Caption->Cell->PositionAtPoint(canvas, x, y, xr, yr, caretHeight, sCell, inText);
        if (position >= 0)
            yr += tableY - y;
        return position;
    }
    case TPart::Grid: {
        int top = 0;
        TCellObj* cell = CellAtPoint(x, y, top);
        if (!cell)
            return -1;
        const int position = cell->Cell->PositionAtPoint(canvas, x, y - top, xr, yr, caretHeight, sCell, inText);
        if (position >= 0)
            yr += tableY - y + top;
        return position;
    }
    default:
        return -1;
    }
}

int ThtmlTable::SearchText(int from, const CodePageString& toFind, bool matchCase)
{
    for (TCell* cell : CellsInTextOrder()) {
        const int found = cell->SearchText(from, toFind, matchCase);
        if (found >= 0)
            return found;
    }
    return -1;
}

bool ThtmlTable::PointAtPosition(TCanvas* canvas, int cursor, int& x, int& y)
{
    if (cursor < FirstPosition || cursor >= FirstPosition + Len)
        return false;
    for (TCell* cell : CellsInTextOrder())
        if (cell->PointAtPosition(canvas, cursor, x, y))
            return true;
    return false;
}

bool ThtmlTable::CharAtPosition(int pos, char& ch, TSectionBase*& obj)
{
    if (pos < FirstPosition || pos >= FirstPosition + Len)
        return false;
    for (TCell* cell : CellsInTextOrder())
        if (cell->CharAtPosition(pos, ch, obj))
            return true;
    return false;
}

void ThtmlTable::CopySelection()
{
    for (TCell* cell : CellsInTextOrder())
        cell->CopySelection();
}

void ThtmlTable::MoveBy(int dy, int dcurs)
{
    TSectionBase::MoveBy(dy, dcurs);
    Caption->Cell->MoveBy(dy, dcurs);
    for (const auto& row : Rows)
        for (const auto& cell : *row)
            cell->Cell->MoveBy(dy, dcurs);
}

void ThtmlTable::RefreshFonts()
{
    Caption->Cell->RefreshFonts();
    for (const auto& row : Rows)
        for (const auto& cell : *row)
            cell->Cell->RefreshFonts();
}
