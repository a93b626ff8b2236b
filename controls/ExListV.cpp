#include "controls/ExListV.h"

#include <algorithm>

#include "classlib/Dates.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/ImgList.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Registry.h"
#include "classlib/Strings.h"
#include "controls/ElvUtil.h"
#include "platform/Clipboard.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "platform/Shell.h"

namespace {

constexpr int LinkCursorResource = 8019;
constexpr int DragScrollInterval = 300;  // milliseconds
constexpr std::uintptr_t DragTimerId = 1222;
constexpr UINT WM_DROPROW = WM_USER + 1;
constexpr int RowHeightAfterDrag = 13;
constexpr int ScrollHintOffset = 10;     // pixels right of the cursor
constexpr int HintMargin = 4;            // a cell hint shows when the text is this much wider than the column

bool Holds(const CodePageString& text, const char* part) { return text.find(part) != CodePageString::npos; }

// Drops everything up to and including the first occurrence of marker.
CodePageString AfterMarker(const CodePageString& text, const char* marker)
{
    const std::size_t at = text.find(marker);
    if (at == CodePageString::npos)
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

int Sign(int value) { return value > 0 ? 1 : value < 0 ? -1 : 0; }

bool IsNumericStyle(TSortStyle style) { return style == ssNumber || style == ssThousands; }
bool IsDateStyle(TSortStyle style)
{
    return style == ssDateTime || style == ssDayMonthYear || style == ssMonthDayYear;
}

// A text for a reader: line breaks as the reader's own, no blanks at the end.
CodePageString ReadableText(CodePageString text)
{
    std::replace(text.begin(), text.end(), '\r', '\n');
    return TrimRight(text);
}

const CodePageString OpenLinkAction = "Open link";

}  // namespace

// --- cells ---------------------------------------------------------------------------------------

bool IsRichText(const CodePageString& text) { return text.rfind("{\\", 0) == 0; }

bool IsMarkupText(const CodePageString& text) { return Holds(text, "</"); }

bool IsUrlText(const CodePageString& text)
{
    return (Holds(text, "://") || Holds(text, "mailto:")) && !IsMarkupText(text);
}

CodePageString ShownUrlText(const CodePageString& text, bool urlFull)
{
    if (urlFull)
        return text;
    return AfterMarker(AfterMarker(text, "://"), "mailto:");
}

bool IsShellAddress(const CodePageString& address)
{
    const CodePageString lower = LowerCase(Trim(address));
    for (const char* scheme : {"http://", "https://", "mailto:"})
        if (lower.rfind(scheme, 0) == 0 && lower.size() > std::char_traits<char>::length(scheme))
            return true;
    return false;
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

CodePageString RowsClipboardText(const std::vector<std::vector<CodePageString>>& rows)
{
    CodePageString text;
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i > 0)
                text += '\t';
            text += row[i];
        }
        text += "\r\n";
    }
    return text;
}

std::vector<std::vector<CodePageString>> ClipboardRows(const CodePageString& text)
{
    std::vector<std::vector<CodePageString>> rows;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        const size_t lineEnd = end == CodePageString::npos ? text.size() : end;
        std::vector<CodePageString> fields;
        size_t field = start;
        for (;;) {
            const size_t tab = text.find('\t', field);
            if (tab == CodePageString::npos || tab >= lineEnd) {
                fields.push_back(text.substr(field, lineEnd - field));
                break;
            }
            fields.push_back(text.substr(field, tab - field));
            field = tab + 1;
        }
        rows.push_back(std::move(fields));
        if (end == CodePageString::npos)
            break;
        // The character after a CR is skipped when it is the LF of a CR LF.
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return rows;
}

// --- the detail line's settings ----------------------------------------------------------------

TDetails::TDetails(TExListView* owner) : FOwner(owner)
{
    FFont.SetColor(clBlue);
    FFont.OnChange = [this](TObject*) { Changed(); };
}

void TDetails::Changed()
{
    if (FOwner)
        FOwner->Invalidate();
}

void TDetails::SetVisible(bool v)
{
    FVisible = v;
    Changed();
}

void TDetails::SetColumn(int v)
{
    if (v < 0 || v == FColumn)
        return;
    FColumn = v;
    Changed();
}

void TDetails::SetHeight(int v)
{
    if (v < 0 || v == FHeight)
        return;
    FHeight = v;
    Changed();
}

void TDetails::SetIndent(int v)
{
    FIndent = v;
    Changed();
}

void TDetails::SetSplitLine(bool v)
{
    FSplitLine = v;
    Changed();
}

// --- construction ------------------------------------------------------------------------------

// The list's hold on its form's resize event. It outlives the list: once the
// list is gone the form's event still reaches the handler the list took over.
struct TExListView::TFormLink {
    TExListView* List = nullptr;
    TNotifyEvent Saved;
    bool HadSaved = false;
    int Width = 0;
    int Height = 0;
};

TExListView::TExListView(TComponent* AOwner) : TListView(AOwner), FColumnSize(this), FDetailView(this)
{
    if (Screen && !Screen->HasCursorImage(crListLink)) {
        try {
            TBitmap picture;
            picture.LoadFromResourceID(LinkCursorResource);
            int x = 0, y = 0;
            ResourceHotSpot(LinkCursorResource, x, y);
            Screen->SetCursorImage(crListLink, picture, {x, y});
        } catch (const EInvalidGraphic&) {
            // A program built without its cursor: links show the toolkit's hand.
        }
    }
    FLinkCursor = Screen && Screen->HasCursorImage(crListLink) ? crListLink : crHandPoint;
    FHeaderFont.OnChange = [this](TObject*) { ApplyHeaderLook(); };
    FWallpaper.OnChange = [this](TObject*) { SetBackgroundBitmap(FWallpaper.Empty() ? nullptr : &FWallpaper); };
    FSortUpGlyph.OnChange = [this](TObject*) { ApplySortIndicator(FSortColumn); };
    FSortDownGlyph.OnChange = [this](TObject*) { ApplySortIndicator(FSortColumn); };
    TListView::SetFilterTimeOut(500);

    if (auto* form = dynamic_cast<TForm*>(AOwner)) {
        FFormLink = std::make_shared<TFormLink>();
        FFormLink->List = this;
        FFormLink->Saved = form->OnResize;
        FFormLink->HadSaved = bool(form->OnResize);
        FFormLink->Width = form->Width();
        FFormLink->Height = form->Height();
        OnResize = form->OnResize;
        form->OnResize = [link = FFormLink](TObject* sender) {
            if (link->List)
                link->List->FormResized(sender);
            else if (link->Saved)
                link->Saved(sender);
        };
    }
    SetViewStyle(vsReport);
}

TExListView::~TExListView()
{
    SaveColumnWidths();
    if (FFormLink)
        FFormLink->List = nullptr;
    if (FWindow)
        DeallocateHWnd(FWindow);
}

void TExListView::FormResized(TObject* sender)
{
    auto* form = dynamic_cast<TForm*>(Owner());
    if (form) {
        const int dw = form->Width() - FFormLink->Width;
        const int dh = form->Height() - FFormLink->Height;
        FFormLink->Width = form->Width();
        FFormLink->Height = form->Height();
        if (FSizeWithForm && (dw != 0 || dh != 0) && Width() + dw > 0 && Height() + dh > 0)
            SetBounds(Left(), Top(), Width() + dw, Height() + dh);
    }
    if (FFormLink->HadSaved)
        FireEvent(OnResize, sender);
}

void TExListView::SaveColumnWidths()
{
    if (!FColumnSize.Save || FColumnSize.Key.empty() || FColumnSize.Section.empty())
        return;
    try {
        if (FColumnSize.Storage == stRegistry) {
            TRegistryIniFile registry(FColumnSize.Key);
            for (int i = 0; i < Columns()->Count(); ++i)
                registry.WriteInteger(FColumnSize.Section, "col" + IntToStr(i), Columns()->Items(i)->Width());
        } else {
            CodePageString path = PathFromWindows(FColumnSize.Key);
            if (path.find('/') == CodePageString::npos && Application)
                path = ExtractFilePath(Application->ExeName()) + path;
            TIniFile ini(path);
            for (int i = 0; i < Columns()->Count(); ++i)
                ini.WriteInteger(FColumnSize.Section, "col" + IntToStr(i), Columns()->Items(i)->Width());
        }
    } catch (const std::exception&) {
        // A list that goes away has nobody to tell; its widths are simply not kept.
    }
}

void TExListView::Notification(TComponent* component, TOperation operation)
{
    TListView::Notification(component, operation);
    if (operation == TOperation::opRemove && component == TListView::HeaderImages())
        TListView::SetHeaderImages(nullptr);
}

// --- properties ------------------------------------------------------------------------------------

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

void TExListView::ApplyHeaderLook()
{
    TListView::SetHeaderHotTrack(FHeaderHotTrack);
    TListView::SetHeaderDragDrop(FHeaderDragDrop);
    TListView::SetHeaderButtons(!FHeaderFlatStyle);
    for (int i = 0; i < Columns()->Count(); ++i)
        Columns()->Items(i)->SetHeaderOwnerDraw(FHeaderOwnerDraw);
    if (FHeaderOwnerDraw) {
        TFont font(FHeaderFont);
        font.SetHeight(FHeaderHeight);
        TListView::SetHeaderFont(&font, FHeaderHeight + 6);
    } else {
        TListView::SetHeaderFont(nullptr, 0);
    }
}

void TExListView::SetHeaderHotTrack(bool v)
{
    FHeaderHotTrack = v;
    ApplyHeaderLook();
}

void TExListView::SetHeaderDragDrop(bool v)
{
    FHeaderDragDrop = v;
    ApplyHeaderLook();
}

void TExListView::SetHeaderFlatStyle(bool v)
{
    FHeaderFlatStyle = v;
    ApplyHeaderLook();
}

void TExListView::SetHeaderOwnerDraw(bool v)
{
    FHeaderOwnerDraw = v;
    ApplyHeaderLook();
}

void TExListView::SetHeaderHeight(int v)
{
    FHeaderHeight = v;
    ApplyHeaderLook();
}

void TExListView::SetHeaderImages(TImageList* images)
{
    if (TImageList* old = TListView::HeaderImages())
        RemoveFreeNotification(old);
    TListView::SetHeaderImages(images);
    if (images)
        FreeNotification(images);
    ApplySortIndicator(FSortColumn);
}

void TExListView::SetWallpaper(const TBitmap* bitmap)
{
    if (bitmap)
        FWallpaper.Assign(*bitmap);
    else
        FWallpaper.SetSize(0, 0);
    SetBackgroundBitmap(FWallpaper.Empty() ? nullptr : &FWallpaper);
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

void TExListView::SetSelectionRTFKeep(bool value)
{
    FSelectionRTFKeep = value;
    Invalidate();
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

void TExListView::SetSortShow(bool v)
{
    FSortShow = v;
    if (v)
        ApplySortIndicator(FSortColumn);
    else
        ClearSortIndicator(FSortColumn);
}

void TExListView::SetSortIndicator(TSortIndicator v)
{
    FSortIndicator = v;
    ApplySortIndicator(FSortColumn);
}

void TExListView::SaveToDelimitedFile(const CodePageString& fileName) { ::SaveToDelimitedFile(*this, fileName); }

void TExListView::LoadFromDelimitedFile(const CodePageString& fileName) { ::LoadFromDelimitedFile(*this, fileName); }

// --- cells ---------------------------------------------------------------------------------------------

CodePageString TExListView::CellText(int column, int row) const
{
    if (row < 0 || row >= Items()->Count() || column < 0)
        return CodePageString();
    const TListItem* item = Items()->Item(row);
    return column == 0 ? item->Caption() : item->SubItemRef(column - 1);
}

void TExListView::SetCellText(int column, int row, const CodePageString& text)
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
        subItems->Add(CodePageString());
    subItems->SetStrings(column - 1, text);
}

TCellLayout TExListView::CellLayoutOf(int column, int row, const TRect& cell) const
{
    TImageList* images = SmallImages();
    const TListItem* item = Items()->Item(row);
    int image = -1;
    if (images)
        image = column == 0 ? item->ImageIndex() : FSubImages ? item->SubItemImages(column - 1) : -1;
    // Column 0 keeps room for an image on every row, so its texts line up.
    const bool imageRoom = images && (column == 0 || image >= 0);
    return LayoutCell(cell, column, Checkboxes(), imageRoom ? images->Width() : 0, imageRoom ? images->Height() : 0,
                      item->Indent(), FVAlignment);
}

TRect TExListView::MarkupRect(int column, int row) const
{
    if (row < 0 || row >= Items()->Count() || column < 0 || column >= std::max(1, Columns()->Count()))
        return {};
    const TRect rowRect = CellRect(row, 0);
    const int left = ColumnLeft(column);
    const int width = Columns()->Count() > 0 ? Columns()->Items(column)->Width() : rowRect.Width();
    TRect text = CellLayoutOf(column, row, Rect(left, rowRect.Top, left + width, rowRect.Bottom)).Text;
    text.Left += MarkupInset;
    return text;
}

TMarkupResult TExListView::MeasureMarkup(const CodePageString& text, const TRect& rect, TMarkupMode mode,
                                         TPoint point) const
{
    TCanvas* canvas = Canvas();
    canvas->SetFont(Font());
    TMarkupContext context;
    context.Images = SmallImages();
    context.AnchorColor = FURLColor;
    context.KeepColors = true;
    return RenderMarkup(*canvas, text, rect, context, mode, point);
}

CodePageString TExListView::AnchorAt(int x, int y) const
{
    int row = -1, column = -1;
    if (!GetCellAt(x, y, row, column))
        return CodePageString();
    const CodePageString text = CellText(column, row);
    if (!IsMarkupText(text))
        return CodePageString();
    return MeasureMarkup(text, MarkupRect(column, row), mmHitTest, {x, y}).Anchor;
}

void TExListView::OpenAddress(const CodePageString& address)
{
    // Only web and mail addresses leave the list: a cell that names a file or
    // any other kind of address does nothing. A failure to open is not the
    // list's business.
    if (IsShellAddress(address))
        ShellExecute(0, "open", Trim(address), "", "", SW_SHOWNORMAL);
}

void TExListView::ActivateAnchor(const CodePageString& anchor)
{
    if (anchor.empty())
        return;
    if (Holds(anchor, "://"))
        OpenAddress(anchor);
    else
        FireEvent(OnAnchorClick, this, anchor);
}

void TExListView::ToggleCheck(int row)
{
    TListItem* item = Items()->Item(row);
    item->SetChecked(!item->Checked());
    CheckToggled(row);
}

void TExListView::CheckToggled(int row)
{
    if (OnCheckboxClick && row >= 0 && row < Items()->Count())
        FireEvent(OnCheckboxClick, this, row, Items()->Item(row)->Checked());
}

void TExListView::Change(TListItem* item, TItemChange change)
{
    TListView::Change(item, change);
    if (change == ctState && item->Index() < Items()->Count() && item->Selected())
        ItemSelected(item->Index());
}

// --- the mouse -------------------------------------------------------------------------------------

void TExListView::SetOwnCursor(TCursor cursor)
{
    if (!FOwnCursor) {
        FRestCursor = Cursor();
        FOwnCursor = true;
    }
    if (Cursor() != cursor)
        SetCursor(cursor);
}

void TExListView::RestoreCursor()
{
    if (!FOwnCursor)
        return;
    FOwnCursor = false;
    SetCursor(FRestCursor);
}

void TExListView::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    HideHintWindow();
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

    const CodePageString text = CellText(column, row);
    if (IsMarkupText(text)) {
        const CodePageString anchor = MeasureMarkup(text, MarkupRect(column, row), mmHitTest, {x, y}).Anchor;
        ActivateAnchor(anchor);
        if (row >= Items()->Count())
            return;  // a handler took the row away
    }
    if (FReArrangeItems) {
        FDragRow = row;
        FLastMouse = {x, y};
        SetTimer(Window(), DragTimerId, DragScrollInterval);
    }
    if (!FSubItemEdit && !FSubItemSelect)
        FCurrentColumn = 0;
    if (FURLShow && IsUrlText(text))
        OpenAddress(text);

    TListView::MouseDown(button, shift, x, y);
    if (row >= Items()->Count())
        return;

    // Owner-drawn rows draw their own check box in the first pixels of the
    // caption cell; the list toggles it there.
    if (Checkboxes() && OwnerDraw() && column == 0 && x - ColumnLeft(0) < CheckBoxZone) {
        ToggleCheck(row);
        if (row >= Items()->Count())
            return;
    }
    FCurrentColumn = column;
    FCurrentRow = row;
    if (FSubItemEdit || FSubItemSelect)
        Items()->Item(row)->Update();
    LeftClickCell(row, column);
}

void TExListView::MouseMove(TShiftState shift, int x, int y)
{
    FLastMouse = {x, y};
    int row = -1, column = -1;
    const bool onCell = GetCellAt(x, y, row, column);
    const CodePageString text = onCell ? CellText(column, row) : CodePageString();
    bool cursorSet = false;
    bool overUrl = false;
    if (FURLShow && FDragRow < 0 && IsUrlText(text)) {
        SetOwnCursor(FLinkCursor);
        cursorSet = true;
        overUrl = true;
    }
    CodePageString anchor;
    if (onCell && IsMarkupText(text)) {
        anchor = MeasureMarkup(text, MarkupRect(column, row), mmHitTest, {x, y}).Anchor;
        if (!anchor.empty()) {
            SetOwnCursor(FLinkCursor);
            cursorSet = true;
            if (!FInAnchor && anchor != FAnchor) {
                FAnchor = anchor;
                FInAnchor = true;
                FireEvent(OnAnchorEnter, this, anchor);
            }
        }
    }
    if (FInAnchor && anchor.empty() && !overUrl) {
        const CodePageString left = FAnchor;
        FAnchor.clear();
        FInAnchor = false;
        FireEvent(OnAnchorExit, this, left);
    }
    if (FDragRow >= 0)
        SetOwnCursor(crDrag);
    else if (!cursorSet)
        RestoreCursor();
    if (HintWindowVisible() && (!onCell || column != FHintColumn || row != FHintRow)) {
        HideHintWindow();
        FHintColumn = FHintRow = -1;
    }
    TListView::MouseMove(shift, x, y);
}

void TExListView::EndDrag()
{
    FDragRow = -1;
    if (FWindow)
        KillTimer(FWindow, DragTimerId);
    RestoreCursor();
}

void TExListView::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button == mbLeft && FDragRow >= 0) {
        const int from = FDragRow;
        EndDrag();
        TListItem* over = GetItemAt(x, y);
        const int target = over ? over->Index() : -1;
        // The row moves once the toolkit is done with the button: its own
        // handling of the release would select the row under the mouse.
        if (target != from && from < Items()->Count()) {
            FDropSelected = Items()->Item(from)->Selected();
            PostMessage(Window(), WM_DROPROW, WPARAM(from), LPARAM(target));
        }
    }
    TListView::MouseUp(button, shift, x, y);
}

void TExListView::DropRow(int from, int target)
{
    TListItems* items = Items();
    if (from < 0 || from >= items->Count() || target >= items->Count() || target == from)
        return;
    TListItem* moved = target < 0 ? items->Add() : items->Insert(target);
    const int source = target >= 0 && target <= from ? from + 1 : from;
    moved->Assign(*items->Item(source));
    items->Delete(source);
    moved->SetSelected(FDropSelected);
    moved->SetFocused(true);
    SetItemHeight(RowHeightAfterDrag);
}

HWND TExListView::Window()
{
    if (!FWindow)
        FWindow = AllocateHWnd([this](TMessage& message) {
            if (message.Msg == WM_TIMER && message.WParam == DragTimerId)
                DragScrollStep();
            else if (message.Msg == WM_DROPROW)
                DropRow(int(message.WParam), int(message.LParam));
        });
    return FWindow;
}

void TExListView::MouseLeave()
{
    if (FDragRow >= 0)
        EndDrag();
    TListView::MouseLeave();
}

void TExListView::DragScrollStep()
{
    if (FDragRow < 0)
        return;
    const int line = std::max(1, RowHeight());
    if (FLastMouse.y < line)
        Scroll(0, -line);
    else if (FLastMouse.y > ItemAreaHeight() - line)
        Scroll(0, line);
}

// --- keys --------------------------------------------------------------------------------------------

void TExListView::RepaintFocusedRow()
{
    if (TListItem* item = ItemFocused())
        item->Update();
}

void TExListView::KeyDown(WORD& key, TShiftState shift)
{
    const bool cells = FSubItemEdit || FSubItemSelect;
    if (cells && shift.Empty()) {
        const int last = std::max(0, Columns()->Count() - 1);
        switch (key) {
        case VK_LEFT:
        case VK_RIGHT: {
            const int next = key == VK_LEFT ? std::max(0, FCurrentColumn - 1) : std::min(last, FCurrentColumn + 1);
            // A cell that cannot move leaves the key its default handling.
            if (next == FCurrentColumn)
                break;
            FCurrentColumn = next;
            RepaintFocusedRow();
            key = 0;  // the cell moves, not the row's focus
            return;
        }
        case VK_SPACE:
        case VK_F2:
            RepaintFocusedRow();
            if (FSubItemEdit) {
                if (TListItem* item = ItemFocused())
                    EditSubItem(item->Index(), FCurrentColumn);
                key = 0;
                return;
            }
            break;
        default:
            break;
        }
    }
    if (FClipboardEnable) {
        const bool ctrl = shift.Contains(ssCtrl) && !shift.Contains(ssShift) && !shift.Contains(ssAlt);
        const bool onlyShift = shift.Contains(ssShift) && !shift.Contains(ssCtrl) && !shift.Contains(ssAlt);
        if ((ctrl && key == 'X') || (onlyShift && key == VK_DELETE)) {
            CutToClipboard();
            key = 0;
            return;
        }
        if ((ctrl && key == 'C') || (ctrl && key == VK_INSERT)) {
            CopyToClipboard();
            key = 0;
            return;
        }
        if ((ctrl && key == 'V') || (onlyShift && key == VK_INSERT)) {
            PasteFromClipboard();
            key = 0;
            return;
        }
    }
    TListView::KeyDown(key, shift);
    // The space bar toggles the focused row's own check box, as a click on it does.
    if (key == VK_SPACE && shift.Empty() && Checkboxes() && OwnerDraw() && !FSubItemEdit)
        if (TListItem* item = ItemFocused())
            ToggleCheck(item->Index());
}

// --- in-place editing ------------------------------------------------------------------------------

bool TExListView::EditSubItem(int row, int column)
{
    if (row < 0 || row >= Items()->Count() || column < 0 || column >= std::max(1, Columns()->Count()))
        return false;
    bool allow = true;
    FireEvent(OnCanEditCell, this, row, column, allow);
    if (!allow)
        return false;
    return EditCell(row, column, CellText(column, row));
}

void TExListView::CellEdited(int row, int column, const CodePageString& text)
{
    SetCellText(column, row, text);
}

// --- the clipboard ------------------------------------------------------------------------------------

void TExListView::CopyToClipboard()
{
    if (FSubItemSelect || FSubItemEdit) {
        if (TListItem* item = Selected())
            ClipboardSetText(CellText(FCurrentColumn, item->Index()));
        return;
    }
    std::vector<std::vector<CodePageString>> rows;
    for (int i = 0; i < Items()->Count(); ++i) {
        TListItem* item = Items()->Item(i);
        if (!item->Selected())
            continue;
        std::vector<CodePageString> cells{item->Caption()};
        for (int j = 0; j < item->SubItems()->Count(); ++j)
            cells.push_back(item->SubItems()->Strings(j));
        rows.push_back(std::move(cells));
    }
    if (!rows.empty())
        ClipboardSetText(RowsClipboardText(rows));
}

void TExListView::CutToClipboard()
{
    if (FSubItemSelect || FSubItemEdit) {
        // One cell went to the clipboard: that cell is emptied, its row stays.
        if (TListItem* item = Selected()) {
            CopyToClipboard();
            SetCellText(FCurrentColumn, item->Index(), CodePageString());
        }
        return;
    }
    if (SelCount() == 0)
        return;
    CopyToClipboard();
    Items()->BeginUpdate();
    for (int i = Items()->Count() - 1; i >= 0; --i)
        if (Items()->Item(i)->Selected())
            Items()->Delete(i);
    Items()->EndUpdate();
}

void TExListView::PasteFromClipboard()
{
    if (!ClipboardHasText())
        return;
    const CodePageString text = ClipboardGetText();
    if (FSubItemSelect || FSubItemEdit) {
        if (TListItem* item = Selected())
            SetCellText(FCurrentColumn, item->Index(), text);
        return;
    }
    const auto rows = ClipboardRows(text);
    if (rows.empty())
        return;
    if (!MultiSelect())
        ClearSelection();
    TListItem* last = nullptr;
    for (const auto& fields : rows) {
        while (int(fields.size()) > Columns()->Count())
            Columns()->Add();
        TListItem* item = Items()->Add();
        item->SetImageIndex(-1);
        item->SetCaption(fields[0]);
        for (size_t k = 1; k < fields.size(); ++k)
            item->SubItems()->Add(fields[k]);
        item->SetSelected(true);
        last = item;
    }
    if (last) {
        last->MakeVisible(false);
        last->SetFocused(true);
    }
}

// --- sorting -------------------------------------------------------------------------------------------

void TExListView::ClearSortIndicator(int column)
{
    TListView::SetSortIndicator(-1, false);
    if (column < 0 || column >= Columns()->Count())
        return;
    TListColumn* c = Columns()->Items(column);
    c->SetHeaderBitmap(nullptr);
    c->SetImageIndex(-1);
    c->SetImageOnRight(false);
}

void TExListView::ApplySortIndicator(int column)
{
    if (!FSortShow || column < 0 || column >= Columns()->Count())
        return;
    const bool descending = FSortDirection == sdDescending;
    TListColumn* c = Columns()->Items(column);
    c->SetImageOnRight(FSortIndicator == siRight);
    if (!FSortUpGlyph.Empty() && !FSortDownGlyph.Empty()) {
        TListView::SetSortIndicator(-1, false);
        c->SetImageIndex(-1);
        c->SetHeaderBitmap(descending ? &FSortDownGlyph : &FSortUpGlyph);
        if (FHeaderOwnerDraw)
            c->SetHeaderOwnerDraw(true);
    } else if (TListView::HeaderImages()) {
        TListView::SetSortIndicator(-1, false);
        c->SetHeaderBitmap(nullptr);
        c->SetImageIndex(descending ? 1 : 0);
    } else {
        // Without pictures of its own the list shows the toolkit's arrow.
        c->SetHeaderBitmap(nullptr);
        c->SetImageIndex(-1);
        TListView::SetSortIndicator(column, descending);
    }
}

void TExListView::ColClick(TListColumn* column)
{
    if (FSortShow) {
        const int index = column->Index();
        if (index == FSortColumn)
            FSortDirection = FSortDirection == sdAscending ? sdDescending : sdAscending;
        bool enable = true;
        FireEvent(OnSortStart, this, index, enable);
        if (enable && index < Columns()->Count()) {
            ClearSortIndicator(FSortColumn);
            FSortColumn = index;
            FSortedSubItem = index - 1;
            ApplySortIndicator(index);
            SortItems();
            FireEvent(OnSortDone, this, index);
        }
    }
    TListView::ColClick(column);
}

void TExListView::SetSortColumn(int column)
{
    if (column < 0 || column >= std::max(1, Columns()->Count()))
        return;
    ClearSortIndicator(FSortColumn);
    FSortColumn = column;
    FSortedSubItem = column - 1;
    ApplySortIndicator(column);
    SortItems();
}

void TExListView::SortItems()
{
    FSortSign = FSortDirection == sdDescending ? -1 : 1;
    FSortSettings = FormatSettings();
    TListItems* items = Items();
    const int count = items->Count();
    FSortKeys.assign(size_t(count), TSortKey{});
    FKeyFormat = TSortFormat{};
    ++FKeyGeneration;
    size_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        const TListItem* item = items->Item(i);
        bytes += (FSortedSubItem < 0 ? item->CaptionRef() : item->SubItemRef(FSortedSubItem)).size();
    }
    FSortArena.clear();
    FSortArena.reserve(bytes);
    std::vector<size_t> starts(size_t(count) + 1);
    for (int i = 0; i < count; ++i) {
        const TListItem* item = items->Item(i);
        starts[size_t(i)] = FSortArena.size();
        FSortArena += FSortedSubItem < 0 ? item->CaptionRef() : item->SubItemRef(FSortedSubItem);
    }
    starts[size_t(count)] = FSortArena.size();
    FSortTexts.resize(size_t(count));
    // Beside each row in the sort, eight bytes of its text as one number
    // (zero-filled): the eight after what every text of the column begins
    // with (an address column's "http://"). Two texts whose numbers differ
    // compare byte-wise as the numbers do.
    for (size_t i = 0; i < size_t(count); ++i)
        FSortTexts[i] = std::string_view(FSortArena).substr(starts[i], starts[i + 1] - starts[i]);
    size_t shared = count > 0 ? FSortTexts[0].size() : 0;
    for (size_t i = 1; i < size_t(count) && shared > 0; ++i) {
        const std::string_view text = FSortTexts[i];
        size_t k = 0;
        while (k < shared && k < text.size() && text[k] == FSortTexts[0][k])
            ++k;
        shared = k;
    }
    std::vector<std::uint64_t> prefixes(static_cast<size_t>(count));
    for (size_t i = 0; i < size_t(count); ++i) {
        const std::string_view text = FSortTexts[i];
        std::uint64_t prefix = 0;
        for (size_t k = shared; k < shared + 8; ++k)
            prefix = prefix << 8 | (k < text.size() ? static_cast<unsigned char>(text[k]) : 0u);
        prefixes[i] = prefix;
    }
    struct Release {
        TExListView& list;
        ~Release()
        {
            std::vector<TSortKey>().swap(list.FSortKeys);
            std::vector<std::string_view>().swap(list.FSortTexts);
            std::string().swap(list.FSortArena);
        }
    } release{*this};
    SortEntries(prefixes, [this](const TSortEntry& a, const TSortEntry& b) { return Compare(a, b); });
}

namespace {

// A text prefix as CompareNoCase sees it: the letters a to z upper-cased.
std::uint64_t UpperPrefix(std::uint64_t prefix)
{
    std::uint64_t upper = 0;
    for (int shift = 56; shift >= 0; shift -= 8) {
        unsigned c = unsigned(prefix >> shift) & 0xFF;
        if (c >= 'a' && c <= 'z')
            c -= 'a' - 'A';
        upper = upper << 8 | c;
    }
    return upper;
}

}  // namespace

int TExListView::Compare(const TSortEntry& ea, const TSortEntry& eb)
{
    const int a = ea.Index;
    const int b = eb.Index;
    if (a < 0 || b < 0 || size_t(a) >= FSortTexts.size() || size_t(b) >= FSortTexts.size())
        return 0;
    TSortFormat format;
    FireEvent(OnGetFormat, this, FSortedSubItem, format.Style, format.Prefix, format.Suffix);

    int result = 0;
    if (format.Style == ssCustom) {
        result = 1;
        auto text = [&](int row) -> const CodePageString& {
            const TListItem* item = Items()->Item(row);
            return FSortedSubItem < 0 ? item->CaptionRef() : item->SubItemRef(FSortedSubItem);
        };
        FireEvent(OnCustomCompare, this, FSortedSubItem, text(a), text(b), result);
    } else if (format.Style == ssRaw) {
        result = 1;
        FireEvent(OnRawCompare, this, FSortedSubItem, a, b, result);
    } else if (IsNumericStyle(format.Style) || IsDateStyle(format.Style)) {
        // What a row reads is kept for the rest of the sort, as long as the
        // format asked for stays the same.
        if (!(format == FKeyFormat)) {
            FKeyFormat = format;
            ++FKeyGeneration;
        }
        auto key = [&](int row, std::string_view text) -> const TSortKey& {
            TSortKey& k = FSortKeys[size_t(row)];
            if (k.Generation != FKeyGeneration) {
                k.Generation = FKeyGeneration;
                if (IsNumericStyle(format.Style)) {
                    k.IsNumber = SortNumber(text, format, FSortSettings, k.Value);
                } else {
                    k.IsNumber = true;
                    k.Value = SortDate(text, format.Style, FSortSettings);
                }
            }
            return k;
        };
        const TSortKey& k1 = key(a, FSortTexts[size_t(a)]);
        const TSortKey& k2 = key(b, FSortTexts[size_t(b)]);
        if (k1.IsNumber && k2.IsNumber)
            result = k1.Value > k2.Value ? 1 : k1.Value < k2.Value ? -1 : 0;
    } else if ((format.Style == ssText || format.Style == ssTextCase) && ea.Key != eb.Key) {
        result = ea.Key > eb.Key ? 1 : -1;
    } else if (format.Style == ssTextNoCase && UpperPrefix(ea.Key) != UpperPrefix(eb.Key)) {
        result = UpperPrefix(ea.Key) > UpperPrefix(eb.Key) ? 1 : -1;
    } else {
        result = CompareSortTexts(FSortTexts[size_t(a)], FSortTexts[size_t(b)], format, FSortSettings);
    }
    return Sign(result) * FSortSign;
}

// --- the header ------------------------------------------------------------------------------------------

void TExListView::ColumnResized(int column)
{
    // An item change of the header.
    if (!FHeaderTracking && FHeaderOwnerDraw && column >= 0 && column < Columns()->Count())
        Columns()->Items(column)->SetHeaderOwnerDraw(true);
    if (FDetailView.Visible())
        Invalidate();
}

void TExListView::ColumnDividerDblClick(int column)
{
    ColumnResized(column);
}

void TExListView::ColumnRightClick(int column)
{
    FireEvent(OnColumnRClick, this, column);
}

void TExListView::ColumnTrackStart(int column, bool& allow)
{
    FHeaderTracking = true;
    FireEvent(OnStartColumnTrack, this, column, allow);
    if (!allow)
        FHeaderTracking = false;
}

void TExListView::ColumnTrackEnd(int column)
{
    FHeaderTracking = false;
    FireEvent(OnEndColumnTrack, this, column);
    if (column == FSortColumn)
        ApplySortIndicator(column);
    FireEvent(OnColumnSized, this, column);
}

void TExListView::FilterChanged(int column)
{
    FireEvent(OnFilterChange, this, column);
}

void TExListView::FilterButtonClick(int column)
{
    FireEvent(OnFilterBtnClick, this, column);
}

void TExListView::DrawHeaderItem(int column, TCanvas* canvas, const TRect& rect, bool)
{
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(clBtnFace);
    canvas->FillRect(rect);
    TRect inner = InflateRect(rect, -2, -1);
    const bool glyphs = !FSortUpGlyph.Empty() && !FSortDownGlyph.Empty();
    if (FSortShow && glyphs && column == FSortColumn) {
        const TBitmap& glyph = FSortDirection == sdDescending ? FSortDownGlyph : FSortUpGlyph;
        const int top = inner.Top + (FHeaderHeight - glyph.Height()) / 2;
        const int left = FSortIndicator == siRight ? inner.Right - glyph.Width() : inner.Left;
        canvas->DrawBitmap(Bounds(left, top, glyph.Width(), glyph.Height()), glyph,
                           Rect(0, 0, glyph.Width(), glyph.Height()), true, glyph.TransparentColor());
        if (FSortIndicator == siRight)
            inner.Right -= glyph.Width() + 2;
        else
            inner.Left += glyph.Width() + 2;
    }
    TFont font(FHeaderFont);
    font.SetHeight(FHeaderHeight);
    canvas->SetFont(&font);
    TMarkupContext context;
    context.Images = SmallImages();
    context.AnchorColor = FURLColor;
    context.KeepColors = true;
    RenderMarkup(*canvas, Columns()->Items(column)->Caption(), inner, context, mmPaint);
}

// --- hints and scrolling -------------------------------------------------------------------------------

bool TExListView::CellHint(int x, int y, CodePageString& text, TPoint& screen, TFont& font)
{
    if (!FAutoHint)
        return false;
    int row = -1, column = -1;
    if (!GetCellAt(x, y, row, column))
        return false;
    const CodePageString cell = CellText(column, row);
    if (cell.empty())
        return false;
    FHintColumn = column;
    FHintRow = row;
    TBrush brush;
    brush.SetColor(Color());
    DrawItemProp(row, column, {}, &brush, &font, cell);

    TCanvas* canvas = Canvas();
    canvas->SetFont(&font);
    int width = 0;
    if (IsRichText(cell)) {
        FRichEdit.SetRichText(cell);
        width = FRichEdit.Format(*canvas, Rect(0, 0, 1 << 20, 1 << 20), clNone, true).Width;
        text = FRichEdit.Text();
    } else if (IsMarkupText(cell)) {
        TMarkupContext context;
        context.Images = SmallImages();
        context.KeepColors = true;
        const TMarkupResult r = RenderMarkup(*canvas, cell, Rect(0, 0, 1 << 20, 1 << 20), context, mmMeasure);
        width = r.Width;
        text = r.PlainText;
    } else {
        width = canvas->TextWidth(cell);
        text = cell;
    }
    canvas->SetFont(Font());
    const int columnWidth = Columns()->Count() > 0 ? Columns()->Items(column)->Width() : Width();
    if (columnWidth >= width + HintMargin)
        return false;
    std::replace(text.begin(), text.end(), '\r', '\n');
    const TRect cellRect = CellRect(row, column);
    const int left = column == 0 ? ColumnLeft(0) : cellRect.Left;
    screen = ItemAreaToScreen({left, cellRect.Top});
    return true;
}

void TExListView::ScrollTracking(int topRow)
{
    if (!FScrollHint || topRow < 0 || topRow >= Items()->Count())
        return;
    const TPoint cursor = GetCursorPos();
    ShowHintWindow(Items()->Item(topRow)->Caption(), {cursor.x + ScrollHintOffset, cursor.y}, *Font());
}

void TExListView::ScrollTrackEnded()
{
    if (FScrollHint)
        HideHintWindow();
}

void TExListView::Scrolled()
{
    // Scrolling moves the painted rows, and a wallpaper whose tiles do not
    // line up with the rows would move with them.
    if (!FWallpaper.Empty() && FWallpaper.Height() != FItemHeight)
        Invalidate();
}

// --- assistive technology ---------------------------------------------------------------------------

CodePageString TExListView::CellAccessibleText(int row, int column) const
{
    const CodePageString text = CellText(column, row);
    if (IsRichText(text)) {
        FRichEdit.SetRichText(text);
        return FRichEdit.Text();
    }
    if (IsMarkupText(text))
        return ReadableText(MeasureMarkup(text, Rect(0, 0, 1 << 20, 1 << 20), mmMeasure, {}).VisibleText);
    if (FURLShow && IsUrlText(text))
        return ShownUrlText(text, FURLFull);
    return text;
}

std::vector<CodePageString> TExListView::CellAccessibleActions(int row, int column) const
{
    std::vector<CodePageString> actions = TListView::CellAccessibleActions(row, column);
    const CodePageString text = CellText(column, row);
    if (IsMarkupText(text)) {
        const TMarkupResult r = MeasureMarkup(text, Rect(0, 0, 1 << 20, 1 << 20), mmMeasure, {});
        for (size_t i = 0; i < r.Anchors.size(); ++i) {
            const CodePageString name = Trim(r.Anchors[i].Text).empty() ? r.Anchors[i].Href : Trim(r.Anchors[i].Text);
            actions.push_back("Open " + name + (r.Anchors.size() > 1 ? " (" + IntToStr(long(i) + 1) + ")" : ""));
        }
    } else if (FURLShow && IsUrlText(text)) {
        actions.push_back(OpenLinkAction);
    }
    return actions;
}

void TExListView::DoCellAccessibleAction(int row, int column, const CodePageString& action)
{
    const CodePageString text = CellText(column, row);
    if (action == OpenLinkAction && FURLShow && IsUrlText(text)) {
        OpenAddress(text);
        return;
    }
    if (IsMarkupText(text)) {
        const std::vector<CodePageString> actions = CellAccessibleActions(row, column);
        const TMarkupResult r = MeasureMarkup(text, Rect(0, 0, 1 << 20, 1 << 20), mmMeasure, {});
        const size_t first = actions.size() - r.Anchors.size();
        for (size_t i = 0; i < r.Anchors.size(); ++i)
            if (actions[first + i] == action) {
                ActivateAnchor(r.Anchors[i].Href);
                return;
            }
    }
    TListView::DoCellAccessibleAction(row, column, action);
}

// --- painting -------------------------------------------------------------------------------------------

void TExListView::LeftClickCell(int item, int subItem)
{
    FireEvent(OnLeftClickCell, this, item, subItem);
}

void TExListView::RightClickCell(int item, int subItem)
{
    FireEvent(OnRightClickCell, this, item, subItem);
}

void TExListView::DrawItemProp(int item, int subItem, TOwnerDrawState state, TBrush* brush, TFont* font,
                               const CodePageString& text)
{
    FireEvent(OnDrawItemProp, this, item, subItem, state, brush, font, text);
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

void TExListView::DrawDetail(TCanvas* canvas, TListItem* item, const TRect& rect, bool selected)
{
    const int columns = Columns()->Count();
    const int right = columns > 0 ? ColumnLeft(columns - 1) + Columns()->Items(columns - 1)->Width() : rect.Right;
    TRect box = Rect(rect.Left, rect.Top + FItemHeight - FDetailView.Height(), right, rect.Bottom);
    TFont font(*FDetailView.Font());
    if (selected)
        font.SetColor(FSelectionTextColor);
    canvas->SetFont(&font);
    if (FDetailView.SplitLine()) {
        canvas->Pen()->SetColor(clBlack);
        canvas->Pen()->SetStyle(psSolid);
        canvas->Pen()->SetWidth(1);
        canvas->MoveTo(box.Left, box.Top);
        canvas->LineTo(box.Right, box.Top);
        ++box.Top;
    }
    box.Left += FDetailView.Indent();
    const int column = FDetailView.Column();
    const CodePageString text = column == 0 ? item->Caption() : item->SubItemRef(column - 1);
    canvas->Brush()->SetStyle(bsClear);
    if (IsMarkupText(text)) {
        TMarkupContext context;
        context.Images = SmallImages();
        context.AnchorColor = FURLColor;
        RenderMarkup(*canvas, text, box, context, mmPaint);
    } else {
        canvas->DrawText(text, box, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_EDITCONTROL);
    }
    canvas->Brush()->SetStyle(bsSolid);
}

void TExListView::DrawItem(TListItem* item, const TRect& rect, TOwnerDrawState state)
{
    TCanvas* canvas = Canvas();
    const int row = item->Index();
    const bool selected = state.Contains(odSelected);
    const bool wallpaper = !FWallpaper.Empty();
    // With cell selection only the current cell of the selected row is drawn selected.
    const bool cellSelection = FSubItemSelect || FSubItemEdit;

    TFont rowFont(*Font());
    TBrush rowBrush;
    rowBrush.SetColor(Color());
    TFont selectedFont(rowFont);
    selectedFont.SetColor(FSelectionTextColor);
    TBrush selectedBrush;
    selectedBrush.SetColor(FSelectionColor);

    TImageList* images = SmallImages();
    const int columns = std::max(1, Columns()->Count());
    for (int column = 0; column < columns; ++column) {
        const int left = ColumnLeft(column);
        const int width = Columns()->Count() > 0 ? Columns()->Items(column)->Width() : rect.Width();
        const TRect cell = Rect(left, rect.Top, left + width, rect.Bottom);
        if (IntersectRect(cell, canvas->ClipRect()).IsEmpty())
            continue;  // scrolled out of sight, or another cell's turn

        const bool cellSelected = selected && (!cellSelection || column == FCurrentColumn);
        const CodePageString text = CellText(column, row);
        TBrush brush(cellSelected ? selectedBrush : rowBrush);
        TFont font(cellSelected ? selectedFont : rowFont);
        DrawItemProp(row, column, state, &brush, &font, text);

        CodePageString shown = text;
        if (FURLShow && IsUrlText(text)) {
            shown = ShownUrlText(text, FURLFull);
            if (!(cellSelected && RowSelect())) {
                font.SetStyle(font.Style() << fsUnderline);
                font.SetColor(FURLColor);
            }
        }

        canvas->SetBrush(&brush);
        canvas->SetFont(&font);
        if (!wallpaper)
            canvas->FillRect(cell);

        int image = -1;
        if (images)
            image = column == 0 ? item->ImageIndex() : FSubImages ? item->SubItemImages(column - 1) : -1;
        const TCellLayout layout = CellLayoutOf(column, row, cell);

        const TRect saved = canvas->IntersectClip(cell);
        if (!layout.CheckBox.IsEmpty()) {
            DrawCheckBox(canvas, layout.CheckBox, item->Checked());
            canvas->SetBrush(&brush);
        }
        if (image >= 0 && !layout.Image.IsEmpty())
            images->Draw(canvas, layout.Image.Left, layout.Image.Top, image, Enabled());

        if (IsRichText(text)) {
            const bool recolor = cellSelected && !FSelectionRTFKeep;
            const TColor background = wallpaper ? clNone : recolor ? FSelectionColor : Color();
            FRichEdit.SetRichText(text);
            if (recolor)
                FRichEdit.RecolorStart(SelectedRichTextColored, FSelectionTextColor);
            FRichEdit.Format(*canvas, layout.Text, background, false);
        } else if (IsMarkupText(text)) {
            TRect box = layout.Text;
            box.Left += MarkupInset;
            TMarkupContext context;
            context.Images = images;
            context.AnchorColor = FURLColor;
            RenderMarkup(*canvas, text, box, context, mmPaint);
        } else {
            unsigned format = DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL | VerticalFlag(FVAlignment);
            if (shown.find('\r') == CodePageString::npos)
                format |= DT_END_ELLIPSIS;
            format |= FWordWrap ? DT_WORDBREAK : DT_SINGLELINE;
            if (Columns()->Count() > 0)
                format |= HorizontalFlag(Columns()->Items(column)->Alignment());
            TRect textRect = layout.Text;
            canvas->Brush()->SetStyle(bsClear);
            canvas->DrawText(shown, textRect, format);
            canvas->Brush()->SetStyle(bsSolid);
        }
        canvas->RestoreClip(saved);
    }

    if (FDetailView.Visible())
        DrawDetail(canvas, item, rect, selected);
    canvas->SetFont(&rowFont);
    canvas->SetBrush(&rowBrush);
    if (state.Contains(odFocused) && selected && Focused())
        canvas->DrawFocusRect(rect);
    FireEvent(OnDrawItem, this, canvas, row, rect, state);
}
