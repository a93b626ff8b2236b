#include "controls/ExListV.h"

#include <algorithm>

#include "classlib/ImgList.h"
#include "controls/ElvUtil.h"
#include "platform/Hooks.h"
#include "platform/Shell.h"

namespace {

bool Holds(const AnsiString& text, const char* part) { return text.find(part) != AnsiString::npos; }

// Drops everything up to and including the first occurrence of marker.
AnsiString AfterMarker(const AnsiString& text, const char* marker)
{
    const std::size_t at = text.find(marker);
    if (at == AnsiString::npos)
        return text;
    return text.substr(at + std::char_traits<char>::length(marker));
}

int VerticalOffset(int room, int size, TVAlignment alignment)
{
    if (room <= size)
        return 0;
    switch (alignment) {
    case vtaTop:
        return 0;
    case vtaBottom:
        return room - size;
    case vtaCenter:
        break;
    }
    return (room - size) / 2;
}

unsigned VerticalFlag(TVAlignment alignment)
{
    switch (alignment) {
    case vtaTop:
        return DT_TOP;
    case vtaBottom:
        return DT_BOTTOM;
    case vtaCenter:
        break;
    }
    return DT_VCENTER;
}

unsigned HorizontalFlag(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify:
        return DT_RIGHT;
    case taCenter:
        return DT_CENTER;
    case taLeftJustify:
        break;
    }
    return DT_LEFT;
}

}  // namespace

bool IsMarkupText(const AnsiString& text) { return Holds(text, "</"); }

bool IsUrlText(const AnsiString& text)
{
    return (Holds(text, "://") || Holds(text, "mailto:")) && !IsMarkupText(text);
}

AnsiString ShownUrlText(const AnsiString& text, bool urlFull)
{
    if (urlFull)
        return text;
    return AfterMarker(AfterMarker(text, "://"), "mailto:");
}

TCellLayout LayoutCell(const TRect& cell, int column, bool checkboxes, int imageWidth, int imageHeight,
                       int indent, TVAlignment alignment)
{
    TCellLayout layout;
    int x = cell.Left;
    if (column == 0 && checkboxes) {
        const int top = cell.Top + VerticalOffset(cell.Height(), CheckBoxSize, alignment);
        layout.CheckBox = Bounds(cell.Left + 2, top, CheckBoxSize, CheckBoxSize);
        x = layout.CheckBox.Right;
    }
    if (column == 0)
        x += IndentWidth * std::max(indent, 0);
    if (imageWidth > 0 && imageHeight > 0) {
        const int top = cell.Top + VerticalOffset(cell.Height(), imageHeight, alignment);
        layout.Image = Bounds(x, top, imageWidth, imageHeight);
        x = layout.Image.Right;
    }
    const int textLeft = std::min(x + 2, cell.Right);
    layout.Text = Rect(textLeft, cell.Top, std::max(cell.Right - 2, textLeft), cell.Bottom);
    return layout;
}

// --- the control --------------------------------------------------------------------------

TExListView::TExListView(TComponent* AOwner) : TListView(AOwner)
{
    SetViewStyle(vsReport);
}

TExListView::~TExListView() = default;

void TExListView::ApplyItemHeight() { SetRowHeight(OwnerDraw() ? FItemHeight : 0); }

void TExListView::SetItemHeight(int value)
{
    if (value < 1)
        return;
    FItemHeight = value;
    ApplyItemHeight();
}

void TExListView::SetOwnerDraw(bool value)
{
    TListView::SetOwnerDraw(value);
    ApplyItemHeight();
}

void TExListView::SetURLShow(bool value)
{
    FURLShow = value;
    Invalidate();
}

void TExListView::SetURLFull(bool value)
{
    FURLFull = value;
    Invalidate();
}

void TExListView::SetURLColor(TColor value)
{
    FURLColor = value;
    Invalidate();
}

void TExListView::SetSubImages(bool value)
{
    FSubImages = value;
    Invalidate();
}

void TExListView::SetWordWrap(bool value)
{
    FWordWrap = value;
    Invalidate();
}

void TExListView::SetVAlignment(TVAlignment value)
{
    FVAlignment = value;
    Invalidate();
}

void TExListView::SetSelectionColor(TColor value)
{
    FSelectionColor = value;
    Invalidate();
}

void TExListView::SetSelectionTextColor(TColor value)
{
    FSelectionTextColor = value;
    Invalidate();
}

void TExListView::SaveToDelimitedFile(const AnsiString& fileName) { ::SaveToDelimitedFile(*this, fileName); }

void TExListView::LoadFromDelimitedFile(const AnsiString& fileName) { ::LoadFromDelimitedFile(*this, fileName); }

AnsiString TExListView::CellText(int column, int row) const
{
    if (row < 0 || row >= Items()->Count() || column < 0)
        return AnsiString();
    const TListItem* item = Items()->Item(row);
    return column == 0 ? item->Caption() : item->SubItemRef(column - 1);
}

void TExListView::SetCellText(int column, int row, const AnsiString& text)
{
    if (row < 0 || row >= Items()->Count() || column < 0)
        return;
    TListItem* item = Items()->Item(row);
    if (column == 0) {
        item->SetCaption(text);
        return;
    }
    TStrings* subItems = item->SubItems();
    while (subItems->Count() < column)
        subItems->Add(AnsiString());
    subItems->SetStrings(column - 1, text);
}

void TExListView::ToggleCheck(int row)
{
    TListItem* item = Items()->Item(row);
    const bool checked = !item->Checked();
    item->SetChecked(checked);
    if (OnCheckboxClick)
        OnCheckboxClick(this, row, checked);
}

void TExListView::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    int row = -1, column = -1;
    if (!GetCellAt(x, y, row, column)) {
        TListView::MouseDown(button, shift, x, y);
        return;
    }
    if (button == mbRight) {
        TListView::MouseDown(button, shift, x, y);
        RightClickCell(row, column);
        return;
    }
    if (button != mbLeft) {
        TListView::MouseDown(button, shift, x, y);
        return;
    }

    const bool checkedBefore = Items()->Item(row)->Checked();
    const AnsiString text = CellText(column, row);
    FCurrentColumn = 0;
    if (FURLShow && IsUrlText(text))
        ShellExecute(0, "open", text, "", "", SW_SHOWNORMAL);  // a failure to open is not the list's business

    TListView::MouseDown(button, shift, x, y);
    if (row >= Items()->Count())
        return;  // a handler took the row away

    // Owner-drawn rows draw their own check box in the first pixels of the
    // caption cell; the list toggles it there. Either road fires one event.
    if (Items()->Item(row)->Checked() != checkedBefore) {
        if (OnCheckboxClick)
            OnCheckboxClick(this, row, Items()->Item(row)->Checked());
    } else if (Checkboxes() && OwnerDraw() && column == 0 && x - ColumnLeft(0) < CheckBoxZone) {
        ToggleCheck(row);
    }
    if (row >= Items()->Count())
        return;
    FCurrentColumn = column;
    FCurrentRow = row;
    LeftClickCell(row, column);
}

void TExListView::KeyDown(WORD& key, TShiftState shift)
{
    TListView::KeyDown(key, shift);
    // The space bar toggles the focused row's own check box, as a click on it does.
    if (key == VK_SPACE && shift.Empty() && Checkboxes() && OwnerDraw())
        if (TListItem* item = ItemFocused())
            ToggleCheck(item->Index());
}

void TExListView::LeftClickCell(int item, int subItem)
{
    if (OnLeftClickCell)
        OnLeftClickCell(this, item, subItem);
}

void TExListView::RightClickCell(int item, int subItem)
{
    if (OnRightClickCell)
        OnRightClickCell(this, item, subItem);
}

void TExListView::DrawItemProp(int item, int subItem, TOwnerDrawState state, TBrush* brush, TFont* font,
                               const AnsiString& text)
{
    if (OnDrawItemProp)
        OnDrawItemProp(this, item, subItem, state, brush, font, text);
}

void TExListView::DrawCheckBox(TCanvas* canvas, const TRect& box, bool checked)
{
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(clWindow);
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetWidth(1);
    canvas->Pen()->SetColor(clBtnShadow);
    canvas->Rectangle(box);
    if (!checked)
        return;
    // A tick, two pixels thick, inside the frame.
    canvas->Pen()->SetColor(clWindowText);
    for (int dy = 0; dy < 2; ++dy) {
        const TPoint tick[] = {{box.Left + 3, box.Top + 6 + dy},
                               {box.Left + 5, box.Top + 8 + dy},
                               {box.Left + 10, box.Top + 3 + dy}};
        canvas->Polyline(tick, 3);
    }
}

void TExListView::DrawItem(TListItem* item, const TRect& rect, TOwnerDrawState state)
{
    TCanvas* canvas = Canvas();
    const int row = item->Index();
    const bool selected = state.Contains(odSelected);

    TFont rowFont(*Font());
    TBrush rowBrush;
    rowBrush.SetColor(Color());
    if (selected) {
        rowBrush.SetColor(FSelectionColor);
        rowFont.SetColor(FSelectionTextColor);
    }

    TImageList* images = SmallImages();
    const int columns = std::max(1, Columns()->Count());
    for (int column = 0; column < columns; ++column) {
        const int left = ColumnLeft(column);
        const int width = Columns()->Count() > 0 ? Columns()->Items(column)->Width() : rect.Width();
        const TRect cell = Rect(left, rect.Top, left + width, rect.Bottom);
        if (IntersectRect(cell, canvas->ClipRect()).IsEmpty())
            continue;  // scrolled out of sight

        const AnsiString text = CellText(column, row);
        TBrush brush(rowBrush);
        TFont font(rowFont);
        DrawItemProp(row, column, state, &brush, &font, text);

        AnsiString shown = text;
        if (FURLShow && IsUrlText(text)) {
            shown = ShownUrlText(text, FURLFull);
            if (!(selected && RowSelect())) {
                font.SetStyle(font.Style() << fsUnderline);
                font.SetColor(FURLColor);
            }
        }

        canvas->SetBrush(&brush);
        canvas->SetFont(&font);
        canvas->FillRect(cell);

        int image = -1;
        if (images)
            image = column == 0 ? item->ImageIndex() : FSubImages ? item->SubItemImages(column - 1) : -1;
        // Column 0 keeps room for an image on every row, so its texts line up.
        const bool imageRoom = images && (column == 0 || image >= 0);
        const TCellLayout layout =
            LayoutCell(cell, column, Checkboxes(), imageRoom ? images->Width() : 0, imageRoom ? images->Height() : 0,
                       item->Indent(), FVAlignment);

        const TRect saved = canvas->IntersectClip(cell);
        if (!layout.CheckBox.IsEmpty()) {
            DrawCheckBox(canvas, layout.CheckBox, item->Checked());
            canvas->SetBrush(&brush);
        }
        if (image >= 0 && !layout.Image.IsEmpty())
            images->Draw(canvas, layout.Image.Left, layout.Image.Top, image, Enabled());

        unsigned format = DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL | VerticalFlag(FVAlignment);
        if (shown.find('\r') == AnsiString::npos)
            format |= DT_END_ELLIPSIS;
        format |= FWordWrap ? DT_WORDBREAK : DT_SINGLELINE;
        if (Columns()->Count() > 0)
            format |= HorizontalFlag(Columns()->Items(column)->Alignment());
        TRect textRect = layout.Text;
        canvas->Brush()->SetStyle(bsClear);
        canvas->DrawText(shown, textRect, format);
        canvas->Brush()->SetStyle(bsSolid);
        canvas->RestoreClip(saved);
    }

    canvas->SetFont(&rowFont);
    canvas->SetBrush(&rowBrush);
    if (state.Contains(odFocused) && selected && Focused())
        canvas->DrawFocusRect(rect);
    if (OnDrawItem)
        OnDrawItem(this, canvas, row, rect, state);
}
