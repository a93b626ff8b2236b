// The standard controls: labels, edits, memos, buttons, check boxes, radio
// buttons, group boxes, combo boxes, list boxes and scroll bars.
//
// Each stands on a control of the windowing system. Text goes in and out as
// Windows-1252 bytes. Events follow the class library: OnChange fires when
// the text changes (also when the program sets it, for edits and memos),
// OnClick when a check box or radio button changes state (also when the
// program sets Checked) and when the user picks an item of a list.
#pragma once

#include <functional>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Controls.h"

enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

// A static text. AutoSize (the default) fits the control to its caption.
class TLabel : public TGraphicControl {
public:
    explicit TLabel(TComponent* AOwner);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment a);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool v);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);
    TTextLayout Layout() const { return FLayout; }
    void SetLayout(TTextLayout layout);
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool v);
    // The control that the label names (its accelerator focuses it, and
    // assistive technology reads the label as that control's name).
    TWinControl* FocusControl() const { return FFocusControl; }
    void SetFocusControl(TWinControl* control);

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::StaticText; }

protected:
    void ApplyText() override;
    void ApplyFont() override;
    void ApplyColor() override;
    void ApplyEnabled() override;
    // A caption kept back is measured as it goes in (ApplyText).
    void TextChanged() override
    {
        if (!TextPending())
            AdjustSize();
    }
    void FontChanged() override { AdjustSize(); }
    // Laying out and measuring a caption costs far more than setting it, and
    // counters show a new one for every step of their work: the window
    // takes the latest once, before it is next painted or read.
    bool DefersText() const override { return true; }

private:
    void AdjustSize();
    void ApplyAlignment();
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSize = true;
    bool FWordWrap = false;
    bool FTransparent = false;
    TTextLayout FLayout = tlTop;
    bool FShowAccelChar = true;
    TWinControl* FFocusControl = nullptr;
};

// What the one-line and the multi-line edit have in common: read-only,
// length limit, the modified mark, the selection and the change event.
class TCustomEdit : public TWinControl {
public:
    explicit TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {}

    bool ReadOnly() const { return FReadOnly; }
    virtual void SetReadOnly(bool v) = 0;
    int MaxLength() const { return FMaxLength; }
    virtual void SetMaxLength(int n) { FMaxLength = n; }
    bool Modified() const { return FModified; }
    void SetModified(bool v) { FModified = v; }
    virtual int SelStart() const = 0;
    virtual void SetSelStart(int start) = 0;
    virtual int SelLength() const = 0;
    virtual void SetSelLength(int length) = 0;
    virtual CodePageString SelText() const = 0;
    virtual void SetSelText(const CodePageString& text) = 0;
    virtual void SelectAll() = 0;
    void Clear() { SetText(""); }

    TNotifyEvent OnChange;

protected:
    void ApplyColor() override;
    virtual void Change();

    // The text a field shows is laid out by its window, which costs far
    // more than the program's setting it: the window takes it once, before it
    // is next painted or read.
    bool DefersText() const override { return true; }

    bool FReadOnly = false;
    int FMaxLength = 0;
    bool FModified = false;
    bool FSettingText = false;  // the text is being set by the program, not typed
    // The text ApplyText last put into the window, while the window still
    // holds it unchanged (no edit since): setting it again lays nothing out.
    CodePageString FAppliedText;
    bool FAppliedValid = false;
};

class TEdit : public TCustomEdit {
public:
    explicit TEdit(TComponent* AOwner);
    ~TEdit() override;

    void SetMaxLength(int n) override;
    void SetReadOnly(bool v) override;
    char PasswordChar() const { return FPasswordChar; }
    void SetPasswordChar(char c);
    TEditCharCase CharCase() const { return FCharCase; }
    void SetCharCase(TEditCharCase c);
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool v) { FAutoSelect = v; }
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle style);
    int SelStart() const override;
    void SetSelStart(int start) override;
    int SelLength() const override;
    void SetSelLength(int length) override;
    CodePageString SelText() const override;
    void SetSelText(const CodePageString& text) override;
    void SelectAll() override;

protected:
    CodePageString GetText() const override;
    void ApplyText() override;
    void TextKeptBack(const CodePageString& shownBefore) override;

private:
    // A text as the window holds it once set: in the edit's case, cut at
    // its length limit.
    CodePageString ShownText(const CodePageString& text) const;
    char FPasswordChar = 0;
    TEditCharCase FCharCase = ecNormal;
    bool FAutoSelect = true;
    TBorderStyle FBorderStyle = bsSingle;
};

class TMemo;

// The lines of a memo, read from and written to its window.
class TMemoStrings : public TStrings {
public:
    explicit TMemoStrings(TMemo* memo) : FMemo(memo) {}
    int Count() const override;
    void Insert(int index, const CodePageString& s) override;
    void Delete(int index) override;
    void Clear() override;

protected:
    CodePageString Get(int index) const override;
    void Put(int index, const CodePageString& s) override;
    void AddLines(std::vector<CodePageString> lines, std::vector<TObject*> objects) override;

private:
    // Document positions and text, where a line break is one LF.
    void Replace(int from, int to, const CodePageString& text);
    void Append(const CodePageString& text);  // as new lines after the last
    TMemo* FMemo;
};

// A multi-line edit. Its Text joins the lines with CR LF.
class TMemo : public TCustomEdit {
public:
    explicit TMemo(TComponent* AOwner);
    ~TMemo() override;

    TStrings* Lines() const { return FLines.get(); }
    void SetLines(const TStrings* lines) { FLines->Assign(*lines); }
    void SetReadOnly(bool v) override;
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool v);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle s);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment a);
    int SelStart() const override;
    void SetSelStart(int start) override;
    int SelLength() const override;
    void SetSelLength(int length) override;
    CodePageString SelText() const override;
    void SetSelText(const CodePageString& text) override;
    void SelectAll() override;
    // A TAB typed goes into the text; without it Tab and Shift+Tab move the
    // focus to the next and the previous control, as in a dialog. Off by
    // default: a memo that must take TABs says so where it is made.
    bool WantTabs() const { return FWantTabs; }
    void SetWantTabs(bool v);

    // The edit control's queries. Positions count characters of Text, where
    // a line break is CR LF, two characters (so do SelStart and SelLength);
    // lines are the text's lines, each of them one or more rows when the
    // words wrap.
    int LineFromChar(int pos) const;  // the line of a position; the last line past the end
    int LineIndex(int line) const;    // where the line starts; -1 past the last line
    int LineLength(int line) const;   // the line's characters without its break; 0 past the last line
    int FirstVisibleLine() const;
    int LastVisibleLine() const;      // the last line the text area shows, even in part
    // The top left corner of a character's cell in the text area, whose
    // coordinates are those of the mouse events.
    TPoint PosFromChar(int pos) const;
    int CharFromPos(int x, int y) const;  // the character nearest to a point of the text area
    // The cursor over the text area; crDefault gives the edit's own.
    void SetTextAreaCursor(TCursor cursor);
    // Asks for the text area to be painted again.
    void InvalidateText();

    // Internal: called by the windowing glue after the text area painted
    // and after it scrolled.
    void HandlePaintOver(TCanvas* canvas);
    void HandleScrolled(bool vertical);

protected:
    CodePageString GetText() const override;
    void ApplyText() override;
    void TextKeptBack(const CodePageString& shownBefore) override;
    // A memo that paints over its text area overrides it: the canvas draws
    // on the text area, after the edit control painted it.
    virtual void PaintOver(TCanvas*) {}
    virtual void Scrolled(bool /*vertical*/) {}

private:
    friend class TMemoStrings;
    // A position of Text as a position of the edit control's document, where
    // a line break is one character; a position inside a line break is its line's end.
    int DocumentPosition(int pos) const;
    std::unique_ptr<TMemoStrings> FLines;
    bool FWantTabs = false;
    bool FWordWrap = true;
    TScrollStyle FScrollBars = ssNone;
    TAlignment FAlignment = taLeftJustify;
};

class TButton : public TWinControl {
public:
    explicit TButton(TComponent* AOwner);
    ~TButton() override;
    bool Default() const { return FDefault; }
    void SetDefault(bool v);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool v) { FCancel = v; }
    // A non-zero result closes a modal form with it when the button is clicked.
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int r) { FModalResult = r; }
    void Click() override;

protected:
    void ApplyText() override;
    bool ClicksOnMouseUp() const override { return false; }

private:
    bool FDefault = false;
    bool FCancel = false;
    int FModalResult = 0;
};

class TCheckBox : public TWinControl {
public:
    explicit TCheckBox(TComponent* AOwner);
    ~TCheckBox() override;
    bool Checked() const { return FState == cbChecked; }
    void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const { return FState; }
    void SetState(TCheckBoxState state);  // fires OnClick when it changes
    bool AllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool v);
    TLeftRight Alignment() const { return FAlignment; }
    void SetAlignment(TLeftRight a);
    // Internal: the user toggled the box.
    void HandleToggled();

protected:
    void ApplyText() override;
    bool ClicksOnMouseUp() const override { return false; }

private:
    TCheckBoxState FState = cbUnchecked;
    bool FAllowGrayed = false;
    TLeftRight FAlignment = taRightJustify;
};

// The tick square of a check box and the circle of a radio button in the
// windowing system's style: a control no smaller than this shows them whole.
TSize CheckBoxIndicatorSize();
TSize RadioButtonIndicatorSize();

// Radio buttons in the same window form one group.
class TRadioButton : public TWinControl {
public:
    explicit TRadioButton(TComponent* AOwner);
    ~TRadioButton() override;
    bool Checked() const;
    void SetChecked(bool v);  // checking fires OnClick and unchecks the others
    TLeftRight Alignment() const { return FAlignment; }
    void SetAlignment(TLeftRight a) { FAlignment = a; }
    void HandleToggled(bool checked);

protected:
    void ApplyText() override;
    bool ClicksOnMouseUp() const override { return false; }

private:
    TLeftRight FAlignment = taRightJustify;
    bool FSetting = false;
};

// A frame with a caption; its controls sit inside.
class TGroupBox : public TWinControl {
public:
    explicit TGroupBox(TComponent* AOwner);

protected:
    void ApplyText() override;
    TRect AdjustedClientRect() const override;
};

// The lines of a list control, with one object and one state per line.
class TListControlStrings : public TStrings {
public:
    struct Line {
        CodePageString text;
        TObject* object = nullptr;
        int state = 0;       // check state for check list boxes
        bool enabled = true;
    };
    // The control's side: told about every change, after it is stored.
    struct Sink {
        std::function<void(int index)> inserted;
        std::function<void(int index)> changed;
        std::function<void(int index)> deleted;
        std::function<void()> reset;
    };
    explicit TListControlStrings(Sink sink) : FSink(std::move(sink)) {}

    int Count() const override { return int(FLines.size()); }
    int Add(const CodePageString& s) override;
    int AddObject(const CodePageString& s, TObject* object) override;
    void Insert(int index, const CodePageString& s) override;
    void InsertObject(int index, const CodePageString& s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    void Exchange(int index1, int index2) override;
    int IndexOf(const CodePageString& s) const override;

    // Sorted lists insert in CompareText order (equal lines after the others).
    bool Sorted() const { return FSorted; }
    void SetSorted(bool sorted);
    Line& LineAt(int index);
    const Line& LineAt(int index) const;

protected:
    CodePageString Get(int index) const override;
    void Put(int index, const CodePageString& s) override;
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* object) override;
    void AddLines(std::vector<CodePageString> lines, std::vector<TObject*> objects) override;

private:
    int SortedPosition(const CodePageString& s) const;
    void CheckIndex(int index) const;
    Sink FSink;
    std::vector<Line> FLines;
    bool FSorted = false;
};

class TComboBox : public TWinControl {
public:
    explicit TComboBox(TComponent* AOwner);
    ~TComboBox() override;

    TStrings* Items() const { return FItems.get(); }
    void SetItems(const TStrings* items) { FItems->Assign(*items); }
    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle style);
    int ItemIndex() const;
    void SetItemIndex(int index);  // -1 clears
    bool Sorted() const { return FItems->Sorted(); }
    void SetSorted(bool v) { FItems->SetSorted(v); }
    int DropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int n);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int n);
    void Clear();
    bool DroppedDown() const;
    void SetDroppedDown(bool v);

    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDropDown;

    // Internal: the user picked an item or edited the text.
    void HandleActivated(int index);
    void HandleEdited();

protected:
    CodePageString GetText() const override;
    void ApplyText() override;
    void ApplyColor() override;
    virtual void Change();
    bool ClicksOnMouseUp() const override { return false; }

private:
    std::unique_ptr<TListControlStrings> FItems;
    TComboBoxStyle FStyle = csDropDown;
    int FDropDownCount = 8;
    int FMaxLength = 0;
};

class TCustomListBox : public TWinControl {
public:
    explicit TCustomListBox(TComponent* AOwner);
    ~TCustomListBox() override;

    TStrings* Items() const { return FItems.get(); }
    void SetItems(const TStrings* items) { FItems->Assign(*items); }
    int ItemIndex() const;
    // -1 clears the selection; with MultiSelect another index only moves the focus.
    void SetItemIndex(int index);
    bool Sorted() const { return FItems->Sorted(); }
    void SetSorted(bool v) { FItems->SetSorted(v); }
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool v);
    bool ExtendedSelect() const { return FExtendedSelect; }
    void SetExtendedSelect(bool v);
    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    int SelCount() const;
    int TopIndex() const;
    void SetTopIndex(int index);
    int ItemHeight() const;  // the rows' height, as the list box lays them out
    TListBoxStyle Style() const { return FStyle; }
    void SetStyle(TListBoxStyle s) { FStyle = s; }
    int ItemAtPos(const TPoint& p, bool existing) const;
    TRect ItemRect(int index) const;
    void Clear();

    // Internal: the user changed the selection.
    void HandleSelectionChanged();

protected:
    void ApplyColor() override;
    bool ClicksOnMouseUp() const override { return false; }
    virtual void LineInserted(int index);
    virtual void LineChanged(int index);
    TListControlStrings* Lines() const { return FItems.get(); }

private:
    std::unique_ptr<TListControlStrings> FItems;
    bool FMultiSelect = false;
    bool FExtendedSelect = true;
    TListBoxStyle FStyle = lbStandard;
    bool FSyncing = false;
};

class TListBox : public TCustomListBox {
public:
    explicit TListBox(TComponent* AOwner) : TCustomListBox(AOwner) {}
};

using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

class TScrollBar : public TWinControl {
public:
    explicit TScrollBar(TComponent* AOwner);
    ~TScrollBar() override;
    TScrollBarKind Kind() const { return FKind; }
    void SetKind(TScrollBarKind kind);
    int Min() const { return FMin; }
    int Max() const { return FMax; }
    int Position() const { return FPosition; }
    void SetMin(int v) { SetParams(FPosition, v, FMax); }
    void SetMax(int v) { SetParams(FPosition, FMin, v); }
    void SetPosition(int v) { SetParams(v, FMin, FMax); }
    void SetParams(int position, int min, int max);
    int SmallChange() const { return FSmallChange; }
    void SetSmallChange(int v);
    int LargeChange() const { return FLargeChange; }
    void SetLargeChange(int v);
    int PageSize() const { return FPageSize; }
    void SetPageSize(int v);

    TNotifyEvent OnChange;
    TScrollEvent OnScroll;

    // Internal: the user moved the bar.
    void HandleAction(int action);
    void HandleMoved(int value);

protected:
    bool ClicksOnMouseUp() const override { return false; }

private:
    void Sync();
    TScrollBarKind FKind = sbHorizontal;
    int FMin = 0;
    int FMax = 100;
    int FPosition = 0;
    int FSmallChange = 1;
    int FLargeChange = 1;
    int FPageSize = 0;
    bool FSyncing = false;
    TScrollCode FPendingCode = scPosition;
};
