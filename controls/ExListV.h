// The enhanced report list view: owner-drawn rows with their own check boxes,
// row images and sub-items, cells that open web and mail addresses, and the
// delimited text files (ElvUtil).
#pragma once

#include <functional>

#include "classlib/ComCtrls.h"
#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"

// The component's own error ("File cannot be opened").
class EExListViewError : public Exception {
public:
    using Exception::Exception;
};

enum TVAlignment { vtaCenter, vtaTop, vtaBottom };

// --- cells, as free functions ----------------------------------------------------

// A cell drawn as a link and opened on click: it holds a web or mail address
// and is no markup cell.
bool IsMarkupText(const AnsiString& text);  // holds "</"
bool IsUrlText(const AnsiString& text);     // holds "://" or "mailto:", and no "</"
// What a link cell shows: unless full, without its protocol part (everything
// up to and including "://", and up to and including "mailto:").
AnsiString ShownUrlText(const AnsiString& text, bool urlFull);

// Where an owner-drawn cell puts its parts.
inline constexpr int CheckBoxSize = 14;    // the drawn check box
inline constexpr int CheckBoxZone = 15;    // the first pixels of a row that toggle it
inline constexpr int IndentWidth = 16;     // per indent level of an item
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

// --- the control ---------------------------------------------------------------------

using TCheckboxClickEvent = std::function<void(TObject* Sender, int iItem, bool state)>;
using TCellClickEvent = std::function<void(TObject* Sender, int iItem, int iSubItem)>;
using TDrawItemPropEvent = std::function<void(TObject* Sender, int itemindex, int subitemindex,
                                              TOwnerDrawState AState, TBrush* ABrush, TFont* AFont,
                                              const AnsiString& ItemText)>;
using TExDrawItemEvent =
    std::function<void(TObject* Sender, TCanvas* aCanvas, int itemindex, const TRect& Rect, TOwnerDrawState State)>;

class TExListView : public TListView {
public:
    explicit TExListView(TComponent* AOwner);
    ~TExListView() override;

    // Row height of owner-drawn rows; values below 1 are ignored.
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int value);
    // Owner-drawn rows are painted by DrawItem, with their own check boxes.
    void SetOwnerDraw(bool value);
    // Cells holding "://" or "mailto:" are drawn as links and open on click.
    bool URLShow() const { return FURLShow; }
    void SetURLShow(bool value);
    bool URLFull() const { return FURLFull; }
    void SetURLFull(bool value);
    TColor URLColor() const { return FURLColor; }
    void SetURLColor(TColor value);
    // Sub-items may carry images.
    bool SubImages() const { return FSubImages; }
    void SetSubImages(bool value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    TVAlignment VAlignment() const { return FVAlignment; }
    void SetVAlignment(TVAlignment value);
    TColor SelectionColor() const { return FSelectionColor; }
    void SetSelectionColor(TColor value);
    TColor SelectionTextColor() const { return FSelectionTextColor; }
    void SetSelectionTextColor(TColor value);

    // Delimited text files (ElvUtil): the header line on saving and loading.
    bool SaveHeader() const { return FSaveHeader; }
    void SetSaveHeader(bool value) { FSaveHeader = value; }
    bool LoadHeader() const { return FLoadHeader; }
    void SetLoadHeader(bool value) { FLoadHeader = value; }
    // The file's delimiter; 0 until one is chosen or detected by a load.
    char Delimiter = 0;
    void SaveToDelimitedFile(const AnsiString& fileName);
    void LoadFromDelimitedFile(const AnsiString& fileName);

    // Cell text: the caption for column 0, else sub-item column - 1 (empty
    // when the row has fewer). Setting a sub-item beyond the count first
    // appends empty ones. Rows out of range read empty and are not written.
    AnsiString CellText(int column, int row) const;
    void SetCellText(int column, int row, const AnsiString& text);
    // The cell under the last click.
    int CurrentColumn() const { return FCurrentColumn; }
    int CurrentRow() const { return FCurrentRow; }

    int VersionNumber() const { return (53 << 16) | 1; }
    AnsiString VersionText() const { return "1.53, February 2001"; }

    // A row's check box changed by a click (or the space bar).
    TCheckboxClickEvent OnCheckboxClick;
    TCellClickEvent OnLeftClickCell;
    TCellClickEvent OnRightClickCell;
    // Before an owner-drawn cell is painted; may change brush and font.
    TDrawItemPropEvent OnDrawItemProp;
    // After an owner-drawn row is painted, so the owner can paint over it.
    // Hides the list view's own OnDrawItem.
    TExDrawItemEvent OnDrawItem;

protected:
    void DrawItem(TListItem* item, const TRect& rect, TOwnerDrawState state) override;
    virtual void DrawItemProp(int item, int subItem, TOwnerDrawState state, TBrush* brush, TFont* font,
                              const AnsiString& text);
    virtual void LeftClickCell(int item, int subItem);
    virtual void RightClickCell(int item, int subItem);
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void KeyDown(WORD& key, TShiftState shift) override;

private:
    void ApplyItemHeight();
    void ToggleCheck(int row);
    void DrawCheckBox(TCanvas* canvas, const TRect& box, bool checked);

    int FItemHeight = 13;
    bool FURLShow = false;
    bool FURLFull = false;
    TColor FURLColor = clBlue;
    bool FSubImages = false;
    bool FWordWrap = false;
    TVAlignment FVAlignment = vtaCenter;
    TColor FSelectionColor = clHighlight;
    TColor FSelectionTextColor = clHighlightText;
    bool FSaveHeader = false;
    bool FLoadHeader = false;
    int FCurrentColumn = 0;
    int FCurrentRow = -1;
};
