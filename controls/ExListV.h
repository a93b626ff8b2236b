// The enhanced report list view: owner-drawn rows in selection colours with
// their own check boxes, row and cell images; cells that open web and mail
// addresses, cells of markup with anchors (ExListVMarkup) and of rich text
// (ExListVRich); header clicks that sort by typed comparisons (ExListVSort);
// in-place editing of sub-items, cell selection, rows dragged to a new place;
// cell and scroll hints; the header's owner drawing, notices and filter bar;
// clipboard keys; column widths kept in a settings file; a detail line under
// each row; the delimited text files (ElvUtil). Printing and HTML export are
// not built: only their settings are.
#pragma once

#include <functional>
#include <memory>

#include "classlib/Controls.h"
#include "classlib/Dates.h"
#include "classlib/Graphics.h"
#include "classlib/ListView.h"
#include "controls/ExListVMarkup.h"
#include "controls/ExListVRich.h"
#include "controls/ExListVSort.h"
#include "platform/Messages.h"

class TExListView;

// The component's own error ("File cannot be opened").
class EExListViewError : public Exception {
public:
    using Exception::Exception;
};

enum TVAlignment { vtaCenter, vtaTop, vtaBottom };
enum TSortDirection { sdAscending, sdDescending };
enum TSortIndicator { siLeft, siRight };

// --- the settings objects --------------------------------------------------------------

enum TPrintPosition { ppNone, ppTopLeft, ppTopRight, ppTopCenter, ppBottomLeft, ppBottomRight, ppBottomCenter };
enum TPrintBorders { pbNoborder, pbSingle, pbDouble, pbVertical, pbHorizontal };
enum TPrinterOrientation { poPortrait, poLandscape };
enum TFitToPage { fpNever, fpGrow, fpShrink, fpAlways, fpCustom };
enum TSizeStorage { stInifile, stRegistry };

// Page layout for printing (printing itself is not built).
class TPrintsettings : public TPersistent {
public:
    int FooterSize = 0;
    int HeaderSize = 0;
    TPrintPosition Time = ppNone;
    TPrintPosition Date = ppNone;
    TPrintPosition PageNr = ppNone;
    TPrintPosition Title = ppNone;
    CodePageString DateFormat = "dd/mm/yyyy";
    CodePageString TitleText;
    TPrintBorders Borders = pbNoborder;
    TPenStyle BorderStyle = psSolid;
    bool Centered = false;
    bool RepeatHeaders = false;
    int LeftSize = 0;
    int RightSize = 0;
    int ColumnSpacing = 0;
    int RowSpacing = 0;
    TPrinterOrientation Orientation = poPortrait;
    CodePageString PagePrefix;
    CodePageString PageSuffix;
    int FixedWidth = 0;
    int FixedHeight = 0;
    bool UseFixedHeight = false;
    bool UseFixedWidth = false;
    TFitToPage FitToPage = fpNever;
    CodePageString JobName;
    CodePageString PageNumSep = "/";

    TFont* Font() { return &FFont; }
    TFont* HeaderFont() { return &FHeaderFont; }
    TFont* FooterFont() { return &FFooterFont; }
    void SetFont(const TFont* font) { FFont.Assign(*font); }
    void SetHeaderFont(const TFont* font) { FHeaderFont.Assign(*font); }
    void SetFooterFont(const TFont* font) { FFooterFont.Assign(*font); }

private:
    TFont FFont;
    TFont FHeaderFont;
    TFont FFooterFont;
};

// HTML export settings (the export itself is not built).
class THTMLSettings : public TPersistent {
public:
    int BorderSize = 1;
    int CellSpacing = 0;
    bool SaveColor = true;
    bool SaveFonts = true;
    CodePageString FooterFile;
    CodePageString HeaderFile;
    CodePageString TableStyle;
    CodePageString PrefixTag;
    CodePageString SuffixTag;
    int Width = 100;
};

// Where the column widths are written when the list view goes: under
// "col0", "col1", ... in section Section of the INI file Key (a name without
// a folder lies in the application folder), or of the registry key Key.
// Nothing is written unless Save is set and Key and Section are not empty.
class TColumnSize : public TPersistent {
public:
    explicit TColumnSize(TExListView* owner) : FOwner(owner) {}
    bool Save = false;
    CodePageString Key;
    CodePageString Section;
    bool Stretch = false;  // stored only
    TSizeStorage Storage = stInifile;
    TExListView* Owner() const { return FOwner; }

private:
    TExListView* FOwner;
};

// The detail line: the bottom Height pixels of each owner-drawn row show the
// text of column Column, indented by Indent, in Font, under a line when
// SplitLine is set. Every setter repaints the list.
class TDetails : public TPersistent {
public:
    explicit TDetails(TExListView* owner);
    bool Visible() const { return FVisible; }
    void SetVisible(bool v);
    int Column() const { return FColumn; }
    void SetColumn(int v);  // negative and unchanged values are ignored
    TFont* Font() { return &FFont; }
    void SetFont(const TFont* font) { FFont.Assign(*font); }
    int Height() const { return FHeight; }
    void SetHeight(int v);  // negative and unchanged values are ignored
    int Indent() const { return FIndent; }
    void SetIndent(int v);
    bool SplitLine() const { return FSplitLine; }
    void SetSplitLine(bool v);

private:
    void Changed();
    TExListView* FOwner;
    bool FVisible = false;
    int FColumn = 0;
    TFont FFont;
    int FHeight = 16;
    int FIndent = 0;
    bool FSplitLine = false;
};

// --- cells, as free functions ----------------------------------------------------

bool IsRichText(const CodePageString& text);    // starts with "{\"
bool IsMarkupText(const CodePageString& text);  // holds "</"
// A cell drawn as a link and opened on click: it holds "://" or "mailto:"
// and is no markup cell.
bool IsUrlText(const CodePageString& text);
// What a link cell shows: unless full, without its protocol part (everything
// up to and including "://", and up to and including "mailto:").
CodePageString ShownUrlText(const CodePageString& text, bool urlFull);
// Addresses that a cell or an anchor may hand to the shell: http, https and
// mailto only, so that a cell can never start a program or open a file.
bool IsShellAddress(const CodePageString& address);

// The link cursor over web and mail cells and anchors: the program's cursor
// resource 8019, as the screen cursor of that number.
inline constexpr TCursor crListLink = 8019;

// Where an owner-drawn cell puts its parts.
inline constexpr int CheckBoxSize = 14;    // the drawn check box
inline constexpr int CheckBoxZone = 15;    // the first pixels of a row that toggle it
inline constexpr int IndentWidth = 16;     // per indent level of an item
inline constexpr int MarkupInset = 2;      // markup starts this much right of the text's place
// A selected rich-text cell shows this many of its first characters in the
// selection's text colour (unless it keeps its own); the rest keep theirs.
inline constexpr int SelectedRichTextColored = 255;
struct TCellLayout {
    TRect CheckBox;  // empty when none is drawn
    TRect Image;     // empty when none is drawn
    TRect Text;
};
// cell: the cell's rectangle; column 0 carries the check box, the image and
// the indent. imageWidth and imageHeight are those of the small images (0:
// no image for this cell).
TCellLayout LayoutCell(const TRect& cell, int column, bool checkboxes, int imageWidth, int imageHeight,
                       int indent, TVAlignment alignment);

// The clipboard texts: one line per row (its cells joined by TAB, ended by
// CR LF), and the rows of a pasted text (lines at CR, LF or CR LF; cells at TAB).
CodePageString RowsClipboardText(const std::vector<std::vector<CodePageString>>& rows);
std::vector<std::vector<CodePageString>> ClipboardRows(const CodePageString& text);

// --- the control ---------------------------------------------------------------------

using TCheckboxClickEvent = std::function<void(TObject* Sender, int iItem, bool state)>;
using TCellClickEvent = std::function<void(TObject* Sender, int iItem, int iSubItem)>;
using TDrawItemPropEvent = std::function<void(TObject* Sender, int itemindex, int subitemindex,
                                              TOwnerDrawState AState, TBrush* ABrush, TFont* AFont,
                                              const CodePageString& ItemText)>;
using TExDrawItemEvent =
    std::function<void(TObject* Sender, TCanvas* aCanvas, int itemindex, const TRect& Rect, TOwnerDrawState State)>;
using TGetFormatEvent = std::function<void(TObject* Sender, int ACol, TSortStyle& AStyle, CodePageString& aPrefix,
                                           CodePageString& aSuffix)>;
using TCustomCompareEvent =
    std::function<void(TObject* Sender, int ACol, const CodePageString& str1, const CodePageString& str2, int& res)>;
using TRawCompareEvent = std::function<void(TObject* Sender, int col, int row1, int row2, int& res)>;
using TSortStartEvent = std::function<void(TObject* Sender, int column, bool& enable)>;
using TColumnEvent = std::function<void(TObject* Sender, int column)>;
using TColumnTrackEvent = std::function<void(TObject* Sender, int column, bool& Allow)>;
using TCanEditCellEvent = std::function<void(TObject* Sender, int iItem, int iSubItem, bool& allow)>;
using TAnchorEvent = std::function<void(TObject* Sender, const CodePageString& Anchor)>;
using TPrintPageEvent =
    std::function<void(TObject* Sender, TCanvas* Canvas, int pagenr, int pagexsize, int pageysize)>;
using TFitToPageEvent = std::function<void(TObject* Sender, double& scalefactor, bool& allow)>;
using TPrintSetColumnWidthEvent = std::function<void(TObject* Sender, int aCol, int& width)>;
using TPrintNewPageEvent = std::function<void(TObject* Sender, int aRow, bool& newpage)>;

class TExListView : public TListView {
public:
    explicit TExListView(TComponent* AOwner);
    ~TExListView() override;

    // --- settings objects
    TPrintsettings* PrintSettings() { return &FPrintSettings; }
    THTMLSettings* HTMLSettings() { return &FHTMLSettings; }
    TColumnSize* ColumnSize() { return &FColumnSize; }
    TDetails* DetailView() { return &FDetailView; }

    // --- the header
    bool HeaderHotTrack() const { return FHeaderHotTrack; }
    void SetHeaderHotTrack(bool v);
    bool HeaderDragDrop() const { return FHeaderDragDrop; }
    void SetHeaderDragDrop(bool v);
    // Flat header items are no buttons: they do not click.
    bool HeaderFlatStyle() const { return FHeaderFlatStyle; }
    void SetHeaderFlatStyle(bool v);
    // The component paints the header items (DrawHeaderItem), in HeaderFont.
    bool HeaderOwnerDraw() const { return FHeaderOwnerDraw; }
    void SetHeaderOwnerDraw(bool v);
    // The header font's height in pixels; takes effect while HeaderOwnerDraw is set.
    int HeaderHeight() const { return FHeaderHeight; }
    void SetHeaderHeight(int v);
    // Images 0 and 1 are the ascending and descending sort indicators.
    TImageList* HeaderImages() const { return TListView::HeaderImages(); }
    void SetHeaderImages(TImageList* images);
    TFont* HeaderFont() { return &FHeaderFont; }
    void SetHeaderFont(const TFont* font) { FHeaderFont.Assign(*font); }
    bool FilterBar() const { return TListView::FilterBar(); }
    void SetFilterBar(bool v) { TListView::SetFilterBar(v); }
    int FilterTimeOut() const { return TListView::FilterTimeOut(); }
    void SetFilterTimeOut(int ms) { TListView::SetFilterTimeOut(ms); }

    // --- rows and cells
    // Row height of owner-drawn rows; values below 1 are ignored.
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int value);
    // Owner-drawn rows are painted by DrawItem, with their own check boxes.
    void SetOwnerDraw(bool value);
    bool SubImages() const { return FSubImages; }
    void SetSubImages(bool value);
    // Tiled behind the rows; cells are then drawn transparently over it.
    TBitmap* Wallpaper() { return &FWallpaper; }
    void SetWallpaper(const TBitmap* bitmap);
    bool FlatScrollBar() const { return FFlatScrollBar; }
    void SetFlatScrollBar(bool v) { FFlatScrollBar = v; }
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    TVAlignment VAlignment() const { return FVAlignment; }
    void SetVAlignment(TVAlignment value);
    TColor SelectionColor() const { return FSelectionColor; }
    void SetSelectionColor(TColor value);
    TColor SelectionTextColor() const { return FSelectionTextColor; }
    void SetSelectionTextColor(TColor value);
    // Selected rich-text cells keep their own colours.
    bool SelectionRTFKeep() const { return FSelectionRTFKeep; }
    void SetSelectionRTFKeep(bool value);
    // Cells holding "://" or "mailto:" are drawn as links and open on click.
    bool URLShow() const { return FURLShow; }
    void SetURLShow(bool value);
    bool URLFull() const { return FURLFull; }
    void SetURLFull(bool value);
    TColor URLColor() const { return FURLColor; }
    void SetURLColor(TColor value);

    // --- sorting
    TSortDirection SortDirection() const { return FSortDirection; }
    void SetSortDirection(TSortDirection v) { FSortDirection = v; }
    // Header clicks sort, and the sort indicator shows.
    bool SortShow() const { return FSortShow; }
    void SetSortShow(bool v);
    TSortIndicator SortIndicator() const { return FSortIndicator; }
    void SetSortIndicator(TSortIndicator v);
    // The indicator pictures; used only when both hold a picture.
    TBitmap* SortUpGlyph() { return &FSortUpGlyph; }
    TBitmap* SortDownGlyph() { return &FSortDownGlyph; }
    void SetSortUpGlyph(const TBitmap* b) { FSortUpGlyph.Assign(*b); }
    void SetSortDownGlyph(const TBitmap* b) { FSortDownGlyph.Assign(*b); }
    // The sorted column, -1 before any sort; setting it sorts by that
    // column in SortDirection, as a header click does but without its events.
    int SortColumn() const { return FSortColumn; }
    void SetSortColumn(int column);
    // The sub-item index the comparisons read: the column minus one (-1 the
    // captions), -2 before any sort.
    int SortedSubItem() const { return FSortedSubItem; }

    // --- behaviour
    // A hint shows the whole text of a cell that does not fit.
    bool AutoHint() const { return FAutoHint; }
    void SetAutoHint(bool v) { FAutoHint = v; }
    // While the scroll thumb is dragged, a hint shows the caption of the row at the thumb.
    bool ScrollHint() const { return FScrollHint; }
    void SetScrollHint(bool v) { FScrollHint = v; }
    bool ReArrangeItems() const { return FReArrangeItems; }
    void SetReArrangeItems(bool v) { FReArrangeItems = v; }
    bool SubItemEdit() const { return FSubItemEdit; }
    void SetSubItemEdit(bool v) { FSubItemEdit = v; }
    bool SubItemSelect() const { return FSubItemSelect; }
    void SetSubItemSelect(bool v) { FSubItemSelect = v; }
    bool ClipboardEnable() const { return FClipboardEnable; }
    void SetClipboardEnable(bool v) { FClipboardEnable = v; }
    // The list grows and shrinks with its form.
    bool SizeWithForm() const { return FSizeWithForm; }
    void SetSizeWithForm(bool v) { FSizeWithForm = v; }
    int HoverTime() const { return TListView::HoverTime(); }
    void SetHoverTime(int ms) { TListView::SetHoverTime(ms); }

    // --- delimited text files (ElvUtil): the header line on saving and loading.
    bool SaveHeader() const { return FSaveHeader; }
    void SetSaveHeader(bool value) { FSaveHeader = value; }
    bool LoadHeader() const { return FLoadHeader; }
    void SetLoadHeader(bool value) { FLoadHeader = value; }
    // The file's delimiter; 0 until one is chosen or detected by a load.
    char Delimiter = 0;
    void SaveToDelimitedFile(const CodePageString& fileName);
    void LoadFromDelimitedFile(const CodePageString& fileName);

    // Cell text: the caption for column 0, else sub-item column - 1 (empty
    // when the row has fewer). Setting a sub-item beyond the count first
    // appends empty ones. Rows out of range read empty and are not written.
    CodePageString CellText(int column, int row) const;
    void SetCellText(int column, int row, const CodePageString& text);
    // The cell under the last click (and, with SubItemSelect, moved by the arrows).
    int CurrentColumn() const { return FCurrentColumn; }
    int CurrentRow() const { return FCurrentRow; }
    // The rectangle that markup in a cell is laid out in (item-area coordinates).
    TRect MarkupRect(int column, int row) const;
    // The anchor of a markup cell under a point of the item area; empty when none.
    CodePageString AnchorAt(int x, int y) const;
    // What an anchor's click does: an address holding "://" goes to the shell
    // (http, https and mailto only), any other is handed to OnAnchorClick.
    void ActivateAnchor(const CodePageString& anchor);

    // The clipboard commands of the clipboard keys.
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    // Starts the in-place edit of a cell, as F2 does (OnCanEditCell may refuse).
    bool EditSubItem(int row, int column);
    // One step of the 300 ms timer while a row is dragged: scrolls a line up
    // near the top of the rows, a line down near the bottom.
    void DragScrollStep();
    int DraggedRow() const { return FDragRow; }

    int VersionNumber() const { return (53 << 16) | 1; }
    CodePageString VersionText() const { return "1.53, February 2001"; }

    // The owner form's resize handler from before the list took the form's
    // resize event over; called after SizeWithForm has done its work.
    // Hides the control's own OnResize.
    TNotifyEvent OnResize;
    // A row's check box changed by a click (or the space bar, or assistive technology).
    TCheckboxClickEvent OnCheckboxClick;
    TCellClickEvent OnLeftClickCell;
    TCellClickEvent OnRightClickCell;
    // Before an owner-drawn cell is painted and before a cell hint is
    // measured; may change brush and font.
    TDrawItemPropEvent OnDrawItemProp;
    // After an owner-drawn row is painted, so the owner can paint over it.
    // Hides the list view's own OnDrawItem.
    TExDrawItemEvent OnDrawItem;
    // Sorting: the style of a comparison, and the comparisons of styles 8 and
    // 10. Their column is the sorted sub-item index (-1 the captions).
    TGetFormatEvent OnGetFormat;
    TCustomCompareEvent OnCustomCompare;
    TRawCompareEvent OnRawCompare;
    // A header click that sorts (column index itself), and its end.
    TSortStartEvent OnSortStart;
    TColumnEvent OnSortDone;
    TColumnEvent OnColumnSized;
    TColumnEvent OnColumnRClick;
    TColumnTrackEvent OnStartColumnTrack;
    TColumnEvent OnEndColumnTrack;
    TCanEditCellEvent OnCanEditCell;
    TColumnEvent OnFilterChange;
    TColumnEvent OnFilterBtnClick;
    // Markup anchors: a click on one without "://", the mouse entering and leaving one.
    TAnchorEvent OnAnchorClick;
    TAnchorEvent OnAnchorEnter;
    TAnchorEvent OnAnchorExit;
    // Printing is not built; its events are kept for the owner's handlers.
    TPrintPageEvent OnPrintPage;
    TFitToPageEvent OnFitToPage;
    TPrintSetColumnWidthEvent OnPrintSetColumnWidth;
    TPrintNewPageEvent OnPrintNewPage;

    // Assistive technology: a cell reads as it shows; a check box cell
    // toggles, and each link of a cell opens.
    CodePageString CellAccessibleText(int row, int column) const override;
    std::vector<CodePageString> CellAccessibleActions(int row, int column) const override;
    void DoCellAccessibleAction(int row, int column, const CodePageString& action) override;

protected:
    void DrawItem(TListItem* item, const TRect& rect, TOwnerDrawState state) override;
    virtual void ItemSelected(int /*index*/) {}
    virtual void DrawItemProp(int item, int subItem, TOwnerDrawState state, TBrush* brush, TFont* font,
                              const CodePageString& text);
    virtual void LeftClickCell(int item, int subItem);
    virtual void RightClickCell(int item, int subItem);
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseLeave() override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void ColClick(TListColumn* column) override;
    void Change(TListItem* item, TItemChange change) override;
    void ColumnResized(int column) override;
    void ColumnRightClick(int column) override;
    void ColumnTrackStart(int column, bool& allow) override;
    void ColumnTrackEnd(int column) override;
    void ColumnDividerDblClick(int column) override;
    void FilterChanged(int column) override;
    void FilterButtonClick(int column) override;
    void DrawHeaderItem(int column, TCanvas* canvas, const TRect& rect, bool pressed) override;
    bool CellHint(int x, int y, CodePageString& text, TPoint& screen, TFont& font) override;
    void ScrollTracking(int topRow) override;
    void ScrollTrackEnded() override;
    void Scrolled() override;
    void CellEdited(int row, int column, const CodePageString& text) override;
    void CheckToggled(int row) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    struct TFormLink;
    void ApplyItemHeight();
    void ApplyHeaderLook();
    void ApplySortIndicator(int column);
    void ClearSortIndicator(int column);
    void SortItems();
    int Compare(const TSortEntry& a, const TSortEntry& b);
    void ToggleCheck(int row);
    void DrawCheckBox(TCanvas* canvas, const TRect& box, bool checked);
    void DrawDetail(TCanvas* canvas, TListItem* item, const TRect& rect, bool selected);
    void OpenAddress(const CodePageString& address);
    void SetOwnCursor(TCursor cursor);
    void RestoreCursor();
    void EndDrag();
    void DropRow(int from, int target);
    // The list's message window: the drag timer and the row dropped later.
    HWND Window();
    void FormResized(TObject* sender);
    void SaveColumnWidths();
    TCellLayout CellLayoutOf(int column, int row, const TRect& cell) const;
    TMarkupResult MeasureMarkup(const CodePageString& text, const TRect& rect, TMarkupMode mode, TPoint point) const;
    void RepaintFocusedRow();

    TPrintsettings FPrintSettings;
    THTMLSettings FHTMLSettings;
    TColumnSize FColumnSize;
    TDetails FDetailView;
    TFont FHeaderFont;
    TBitmap FWallpaper;
    TBitmap FSortUpGlyph;
    TBitmap FSortDownGlyph;
    mutable TExRichEdit FRichEdit;

    bool FHeaderHotTrack = false;
    bool FHeaderDragDrop = false;
    bool FHeaderFlatStyle = false;
    bool FHeaderOwnerDraw = false;
    int FHeaderHeight = 13;
    int FItemHeight = 13;
    bool FSubImages = false;
    bool FFlatScrollBar = false;
    bool FWordWrap = false;
    TVAlignment FVAlignment = vtaCenter;
    TColor FSelectionColor = clHighlight;
    TColor FSelectionTextColor = clHighlightText;
    bool FSelectionRTFKeep = false;
    bool FURLShow = false;
    bool FURLFull = false;
    TColor FURLColor = clBlue;
    TSortDirection FSortDirection = sdAscending;
    bool FSortShow = false;
    TSortIndicator FSortIndicator = siLeft;
    bool FAutoHint = false;
    bool FScrollHint = false;
    bool FReArrangeItems = false;
    bool FSubItemEdit = false;
    bool FSubItemSelect = false;
    bool FClipboardEnable = false;
    bool FSizeWithForm = false;
    bool FSaveHeader = false;
    bool FLoadHeader = false;

    // Sorting: the column, the sub-item index the comparisons read and the
    // direction sign, all of this list only.
    int FSortColumn = -1;
    int FSortedSubItem = -2;
    int FSortSign = 1;
    // Numbers and dates read from the rows during one sort, for the format
    // they were read with.
    struct TSortKey {
        unsigned Generation = 0;
        bool IsNumber = false;
        double Value = 0;
    };
    std::vector<TSortKey> FSortKeys;
    // The sorted column's texts, copied side by side so that comparing them
    // does not wander over every row's own memory.
    std::string FSortArena;
    std::vector<std::string_view> FSortTexts;
    TSortFormat FKeyFormat;
    TFormatSettings FSortSettings;
    unsigned FKeyGeneration = 0;

    int FCurrentColumn = 0;
    int FCurrentRow = -1;
    int FDragRow = -1;
    TPoint FLastMouse;
    int FHintColumn = -1;
    int FHintRow = -1;
    CodePageString FAnchor;
    bool FInAnchor = false;
    bool FOwnCursor = false;
    TCursor FRestCursor = crDefault;
    TCursor FLinkCursor = crListLink;
    bool FHeaderTracking = false;
    HWND FWindow = 0;
    bool FDropSelected = false;  // the dragged row's selection when the button came up
    std::shared_ptr<TFormLink> FFormLink;
};
