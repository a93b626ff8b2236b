// The list view: its items, sub-items and columns, and the control.
//
// TListView keeps its items in its own vector and shows them through a light
// model of a toolkit item view, so a hundred thousand rows load quickly
// between Items()->BeginUpdate() and EndUpdate(), and keyboard, scrolling
// and accessibility come from the toolkit. Only the report style is drawn
// (the other view styles show as report too).
//
// Coordinates of the list view (mouse events, GetItemAt, CellRect, the
// rectangles handed to DrawItem) are those of the item area: (0, 0) is the
// top-left corner of the first visible row, below the column headers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Controls.h"
#include "classlib/ImgList.h"

class TListView;
class TListItems;
class TListItem;
struct TListViewImpl;

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum TItemChange { ctText, ctImage, ctState };
enum TSortType { stNone, stData, stText, stBoth };
enum TDisplayCode { drBounds, drIcon, drLabel, drSelectBounds };

// The sub-items of a row: a string list that tells its row when it changes.
// The texts are the row's own (TListItem::SubItemRef); this list, made when
// a row's SubItems() is first asked for, reads and changes them.
class TListSubItems : public TStrings {
public:
    explicit TListSubItems(TListItem* item) : FItem(item) {}
    int Count() const override;
    void Insert(int index, const CodePageString& s) override;
    void Delete(int index) override;
    void Clear() override;
    // Reference to a line, without a copy; an empty string when out of range.
    const CodePageString& StringRef(int index) const;

protected:
    CodePageString Get(int index) const override;
    void Put(int index, const CodePageString& s) override;
    void AddLines(std::vector<CodePageString> lines, std::vector<TObject*> objects) override;

private:
    void Touched();
    std::vector<CodePageString>& Lines();
    const std::vector<CodePageString>& Lines() const;
    TListItem* FItem;
};

class TListItem {
public:
    TListItem(const TListItem&) = delete;
    TListItem& operator=(const TListItem&) = delete;
    ~TListItem();
    // Rows come from blocks of many (ListView.cpp): a list of a hundred
    // thousand rows costs a few hundred allocations, not a hundred thousand.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size);

    TListItems* Owner() const { return FOwner; }
    TListView* ListView() const;
    int Index() const { return FIndex; }

    CodePageString Caption() const { return FCaption; }
    const CodePageString& CaptionRef() const { return FCaption; }
    void SetCaption(const CodePageString& caption);
    TStrings* SubItems();
    // Sub-item index without a copy; an empty string when there is none.
    const CodePageString& SubItemRef(int index) const;
    // Puts texts in place of every sub-item, as SubItems()->Clear() and
    // AddStrings(texts) in one update would; a row filled this way costs no
    // sub-item list until SubItems() is asked for.
    void SetSubItems(std::vector<CodePageString> texts);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index);
    int StateIndex() const { return FStateIndex; }
    void SetStateIndex(int index);
    int Indent() const { return FIndent; }
    void SetIndent(int indent);
    bool Checked() const { return FChecked; }
    void SetChecked(bool checked);
    void* Data() const { return FData; }
    void SetData(void* data) { FData = data; }
    // The image of sub-item index (-1: none), for lists with sub-item images.
    int SubItemImages(int index) const;
    void SetSubItemImages(int index, int image);

    bool Selected() const;
    void SetSelected(bool selected);
    bool Focused() const;
    void SetFocused(bool focused);

    // Copies caption, sub-items, images, check state and data.
    void Assign(const TListItem& source);
    void Delete();
    void MakeVisible(bool partialOK = true);
    TRect DisplayRect(TDisplayCode code) const;
    // Redraws the row.
    void Update();

private:
    friend class TListItems;
    friend class TListSubItems;
    explicit TListItem(TListItems* owner);
    void RowChanged(TItemChange change);

    TListItems* FOwner;
    int FIndex = 0;
    CodePageString FCaption;
    std::vector<CodePageString> FSubTexts;
    // Made on the first SubItems(): most rows of a large list never need one.
    std::unique_ptr<TListSubItems> FSubItems;
    int FImageIndex = -1;
    int FStateIndex = -1;
    int FIndent = 0;
    bool FChecked = false;
    void* FData = nullptr;
    std::unique_ptr<std::vector<int>> FSubImages;
};

class TListItems {
public:
    explicit TListItems(TListView* owner) : FOwner(owner) {}
    TListItems(const TListItems&) = delete;
    TListItems& operator=(const TListItems&) = delete;
    ~TListItems();

    TListView* Owner() const { return FOwner; }
    int Count() const { return int(FItems.size()); }
    // EListError "List index out of bounds (i)" when out of range.
    TListItem* Item(int index) const;
    TListItem* operator[](int index) const { return Item(index); }
    TListItem* Add();
    TListItem* Insert(int index);
    void Delete(int index);
    void Clear();
    int IndexOf(const TListItem* item) const;
    void Exchange(int index1, int index2);
    // Reorders the items with a stable sort (a negative result puts a first).
    void Sort(const std::function<int(TListItem* a, TListItem* b)>& compare);

    // Between BeginUpdate and the last EndUpdate, changes are not shown;
    // EndUpdate shows them all at once.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

private:
    friend class TListItem;
    friend class TListView;
    friend class TListColumns;
    void Renumber(int from);
    void RefuseWhileSorting() const;
    TListView* FOwner;
    std::vector<std::unique_ptr<TListItem>> FItems;
    int FUpdateCount = 0;
};

class TListColumns;

class TListColumn {
public:
    TListColumn(const TListColumn&) = delete;
    TListColumn& operator=(const TListColumn&) = delete;

    int Index() const { return FIndex; }
    CodePageString Caption() const { return FCaption; }
    void SetCaption(const CodePageString& caption);
    // Pixels; the user's resizing shows here.
    int Width() const;
    void SetWidth(int width);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    int MinWidth() const { return FMinWidth; }
    void SetMinWidth(int w) { FMinWidth = w; }
    int MaxWidth() const { return FMaxWidth; }
    void SetMaxWidth(int w) { FMaxWidth = w; }
    // The header item's picture: a bitmap of its own (not owned), else image
    // ImageIndex of the list's HeaderImages (-1: none); on the left of the
    // caption, or on its right.
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index);
    const TBitmap* HeaderBitmap() const { return FHeaderBitmap; }
    void SetHeaderBitmap(const TBitmap* bitmap);
    bool ImageOnRight() const { return FImageOnRight; }
    void SetImageOnRight(bool v);
    // The list view paints the header item itself (TListView::DrawHeaderItem).
    bool HeaderOwnerDraw() const { return FHeaderOwnerDraw; }
    void SetHeaderOwnerDraw(bool v);

private:
    friend class TListColumns;
    friend class TListView;
    explicit TListColumn(TListColumns* owner) : FOwner(owner) {}
    void HeaderLookChanged();
    TListColumns* FOwner;
    int FIndex = 0;
    CodePageString FCaption;
    int FWidth = 50;
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSize = false;
    int FMinWidth = 0;
    int FMaxWidth = 0;
    int FImageIndex = -1;
    const TBitmap* FHeaderBitmap = nullptr;
    bool FImageOnRight = false;
    bool FHeaderOwnerDraw = false;
};

class TListColumns {
public:
    explicit TListColumns(TListView* owner) : FOwner(owner) {}
    TListColumns(const TListColumns&) = delete;
    TListColumns& operator=(const TListColumns&) = delete;

    TListView* Owner() const { return FOwner; }
    int Count() const { return int(FColumns.size()); }
    TListColumn* Items(int index) const;  // EListError when out of range
    TListColumn* operator[](int index) const { return Items(index); }
    TListColumn* Add();
    void Delete(int index);
    void Clear();

private:
    friend class TListColumn;
    TListView* FOwner;
    std::vector<std::unique_ptr<TListColumn>> FColumns;
};

using TLVChangeEvent = std::function<void(TObject* Sender, TListItem* Item, TItemChange Change)>;
using TLVSelectItemEvent = std::function<void(TObject* Sender, TListItem* Item, bool Selected)>;
using TLVColumnClickEvent = std::function<void(TObject* Sender, TListColumn* Column)>;
using TLVDeletedEvent = std::function<void(TObject* Sender, TListItem* Item)>;
using TLVDrawItemEvent =
    std::function<void(TObject* Sender, TListItem* Item, const TRect& Rect, TOwnerDrawState State)>;
using TLVCompareEvent = std::function<void(TObject* Sender, TListItem* Item1, TListItem* Item2, int Data, int& Compare)>;

class TListView : public TWinControl {
public:
    explicit TListView(TComponent* AOwner);
    ~TListView() override;

    TListColumns* Columns() const { return FColumns.get(); }
    TListItems* Items() const { return FItems.get(); }

    TViewStyle ViewStyle() const { return FViewStyle; }
    void SetViewStyle(TViewStyle style);
    bool Checkboxes() const { return FCheckboxes; }
    void SetCheckboxes(bool v);
    bool GridLines() const { return FGridLines; }
    void SetGridLines(bool v);
    bool RowSelect() const { return FRowSelect; }
    void SetRowSelect(bool v);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool v) { FReadOnly = v; }
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool v);
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool v) { FHideSelection = v; }
    bool ShowColumnHeaders() const { return FShowColumnHeaders; }
    void SetShowColumnHeaders(bool v);
    bool ColumnClick() const { return FColumnClick; }
    void SetColumnClick(bool v);
    // The owner draws every row (DrawItem / OnDrawItem); the list then draws
    // no check boxes of its own and clicks do not toggle them.
    bool OwnerDraw() const { return FOwnerDraw; }
    void SetOwnerDraw(bool v);
    TImageList* SmallImages() const { return FSmallImages; }
    void SetSmallImages(TImageList* images);
    TImageList* LargeImages() const { return FLargeImages; }
    void SetLargeImages(TImageList* images) { FLargeImages = images; }
    TImageList* StateImages() const { return FStateImages; }
    void SetStateImages(TImageList* images) { FStateImages = images; }
    TSortType SortType() const { return FSortType; }
    void SetSortType(TSortType type);
    // Height of every row in pixels (0: from the font and the small images).
    int RowHeight() const;
    void SetRowHeight(int height);

    // The first selected item, or nullptr; setting it selects only that one.
    TListItem* Selected() const;
    void SetSelected(TListItem* item);
    int SelCount() const;
    void ClearSelection();
    void SelectAll();
    TListItem* ItemFocused() const;
    void SetItemFocused(TListItem* item);
    TListItem* TopItem() const;
    int VisibleRowCount() const;
    TListItem* GetItemAt(int x, int y) const;
    // The cell under a point: true with the row and the column (0 = caption).
    bool GetCellAt(int x, int y, int& item, int& column) const;
    // A cell's rectangle; an empty rectangle for a hidden or missing cell.
    TRect CellRect(int item, int column) const;
    // The left edge of a column in item-area coordinates (scrolling counted).
    int ColumnLeft(int column) const;
    void Scroll(int dx, int dy);
    // Shows a sort arrow on a column header (-1 removes it).
    void SetSortIndicator(int column, bool descending);
    // The screen position of a point of the item area.
    TPoint ItemAreaToScreen(const TPoint& p) const;
    int ItemAreaHeight() const;
    int HeaderHeight() const;

    // Reorders the items with a stable merge sort: whatever the comparison
    // answers (a negative result puts a first), every item is compared a
    // bounded number of times and the sort ends. While it runs, an item's
    // Index() is still its place before the sort.
    void AlphaSort();
    void CustomSort(const std::function<int(TListItem* a, TListItem* b)>& compare);
    // The same sort over the items' present indexes, for comparisons that
    // keep what they compare by index.
    void SortIndexes(const std::function<int(int a, int b)>& compare);
    // The same again, each index sorted with a number of its item's beside
    // it (keys, one per item), which the comparison is handed: a comparison
    // that can often decide by the numbers alone does not reach into each
    // item's memory, which for many items is what a sort spends most on.
    struct TSortEntry {
        std::uint64_t Key;
        int Index;
    };
    void SortEntries(const std::vector<std::uint64_t>& keys,
                     const std::function<int(const TSortEntry& a, const TSortEntry& b)>& compare);
    bool Sorting() const { return FSorting; }

    // The column headers.
    TImageList* HeaderImages() const { return FHeaderImages; }
    void SetHeaderImages(TImageList* images);
    // Hot tracking lights the header item under the mouse; drag-and-drop
    // lets the user reorder the columns; without buttons the header items
    // are flat and do not click.
    void SetHeaderHotTrack(bool v);
    void SetHeaderDragDrop(bool v);
    void SetHeaderButtons(bool v);
    // The header's font; nullptr gives it the system font again. pixels > 0
    // fixes the header's height.
    void SetHeaderFont(const TFont* font, int heightPixels = 0);
    // The filter bar: an edit line under each header item, and its button.
    bool FilterBar() const { return FFilterBar; }
    void SetFilterBar(bool v);
    CodePageString FilterText(int column) const;
    void SetFilterText(int column, const CodePageString& text);
    // Milliseconds between the last key typed in a filter and its change notice.
    int FilterTimeOut() const { return FFilterTimeOut; }
    void SetFilterTimeOut(int ms);
    // A picture tiled behind the rows (nullptr: the plain Color).
    void SetBackgroundBitmap(const TBitmap* bitmap);
    // Milliseconds the mouse rests before a cell hint shows.
    int HoverTime() const { return FHoverTime; }
    void SetHoverTime(int ms);

    // In-place editing of one cell: a multi-line edit box on the cell holds
    // text; Enter or leaving the box keeps the edit (CellEdited), Escape
    // drops it. False when the cell is not on the list.
    bool EditCell(int row, int column, const CodePageString& text);
    void EndCellEdit(bool keep);
    bool CellEditing() const;
    // The edit box's text while an edit runs (for tests and the owner).
    CodePageString CellEditText() const;
    void SetCellEditText(const CodePageString& text);

    // The list's hint window: text at a screen point, in a font, on the
    // application's hint colour. Hidden by HideHintWindow, a click, the
    // mouse leaving the list, or after ten seconds.
    void ShowHintWindow(const CodePageString& text, const TPoint& screen, const TFont& font);
    void HideHintWindow();
    bool HintWindowVisible() const;
    CodePageString HintWindowText() const;
    TPoint HintWindowPos() const;

    // The canvas of owner drawing; valid while DrawItem runs, a measuring
    // canvas otherwise.
    TCanvas* Canvas() const;

    TLVChangeEvent OnChange;
    TLVSelectItemEvent OnSelectItem;
    TLVColumnClickEvent OnColumnClick;
    TLVDeletedEvent OnDeletion;
    TLVDeletedEvent OnInsert;
    TLVDrawItemEvent OnDrawItem;
    TLVCompareEvent OnCompare;

    // Internal: the toolkit side calls these.
    void PaintRow(int row, const TRect& rect, TOwnerDrawState state, TCanvas* canvas);
    void HandleColumnClick(int column);
    void HandleColumnResized(int column, int width);
    void HandleColumnRightClick(int column);
    void HandleSelectionChanged(const std::vector<int>& selected, const std::vector<int>& deselected);
    void HandleCheckToggled(int row);
    bool HandleColumnTrackStart(int column);
    void HandleColumnTrackEnd(int column);
    void HandleColumnDividerDblClick(int column);
    void HandleFilterChanged(int column);
    void HandleFilterButton(int column);
    void HandlePaintHeaderItem(int column, const TRect& rect, bool pressed, TCanvas* canvas);
    void HandleToolTip(int x, int y);
    void HandleScrollTracking(int value);
    void HandleScrollEnded();
    void HandleScrolled();
    void HandleCellEditDone(bool keep);
    TListViewImpl* Impl() const { return FView.get(); }

    // What assistive technology reads of a cell: its name (the text shown)
    // and the actions it offers, which DoCellAccessibleAction carries out.
    // The default offers "Toggle" on a check box cell.
    virtual CodePageString CellAccessibleText(int row, int column) const;
    virtual std::vector<CodePageString> CellAccessibleActions(int row, int column) const;
    virtual void DoCellAccessibleAction(int row, int column, const CodePageString& action);

protected:
    // Paints one owner-drawn row; the default runs OnDrawItem.
    virtual void DrawItem(TListItem* item, const TRect& rect, TOwnerDrawState state);
    virtual void ColClick(TListColumn* column);
    virtual void Change(TListItem* item, TItemChange change);
    virtual void ColumnResized(int /*column*/) {}
    virtual void ColumnRightClick(int /*column*/) {}
    // The user starts (allow false forbids it) and ends resizing a column.
    virtual void ColumnTrackStart(int /*column*/, bool& /*allow*/) {}
    virtual void ColumnTrackEnd(int /*column*/) {}
    virtual void ColumnDividerDblClick(int /*column*/) {}
    virtual void FilterChanged(int /*column*/) {}
    virtual void FilterButtonClick(int /*column*/) {}
    // Paints a header item marked HeaderOwnerDraw; the canvas is clipped to rect.
    virtual void DrawHeaderItem(int /*column*/, TCanvas* /*canvas*/, const TRect& /*rect*/, bool /*pressed*/) {}
    // The mouse rested at (x, y) of the item area: true with a text, the
    // screen point and the font of a hint to show there.
    virtual bool CellHint(int /*x*/, int /*y*/, CodePageString& /*text*/, TPoint& /*screen*/, TFont& /*font*/)
    {
        return false;
    }
    // The vertical scroll thumb is dragged (the row now at the top), let go,
    // or the rows moved by any scrolling.
    virtual void ScrollTracking(int /*topRow*/) {}
    virtual void ScrollTrackEnded() {}
    virtual void Scrolled() {}
    // An in-place edit was kept; the default does nothing.
    virtual void CellEdited(int /*row*/, int /*column*/, const CodePageString& /*text*/) {}
    // A row's check box changed by the user (a click, the keyboard or
    // assistive technology); the check state is already stored.
    virtual void CheckToggled(int /*row*/) {}
    virtual void Delete(TListItem* item);
    virtual void InsertItem(TListItem* item);
    void ApplyFont() override;
    void ApplyColor() override;

private:
    friend class TListItem;
    friend class TListItems;
    friend class TListColumn;
    friend class TListColumns;
    friend class TListSubItems;
    void ItemChanged(TListItem* item, TItemChange change);
    void UpdateRowHeight();
    void StructureChanged();
    void ColumnsChanged();
    void ApplyColumnWidth(TListColumn* column);
    int ColumnWidthFromView(const TListColumn* column) const;

    std::unique_ptr<TListViewImpl> FView;
    std::unique_ptr<TListColumns> FColumns;
    std::unique_ptr<TListItems> FItems;
    TViewStyle FViewStyle = vsIcon;
    bool FCheckboxes = false;
    bool FGridLines = false;
    bool FRowSelect = false;
    bool FReadOnly = false;
    bool FMultiSelect = false;
    bool FHideSelection = true;
    bool FShowColumnHeaders = true;
    bool FColumnClick = true;
    bool FOwnerDraw = false;
    TImageList* FSmallImages = nullptr;
    TImageList* FLargeImages = nullptr;
    TImageList* FStateImages = nullptr;
    TImageList* FHeaderImages = nullptr;
    TSortType FSortType = stNone;
    int FRowHeight = 0;
    int FFilterTimeOut = 500;
    int FHoverTime = 400;
    bool FFilterBar = false;
    bool FHeaderButtons = true;
    bool FSorting = false;
    TSelfPaintCanvas FCanvas;
    bool FClearing = false;
};
