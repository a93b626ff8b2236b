// Controls: the common base of everything placed on a form.
//
// A control is a component (owned by its owner, usually the form) that also
// sits in a parent window (Parent). Left, Top, Width and Height are pixels
// relative to the parent's client area. Properties are read with X() and
// written with SetX(v); events are public std::function members whose first
// argument is the sender.
//
// TGraphicControl and TCustomControl are the bases of controls that draw
// themselves: they override Paint and draw only through Canvas(). PaintTo
// runs Paint on any canvas, so tests can paint on a canvas of fixed metrics.
//
// Behind each control stands a window of the windowing system. Only the class
// library reaches it (WidgetOf in classlib/QtBridge.h); this header names its
// type only for the calls by which a control attaches its windows, so code
// outside the class library needs no toolkit header.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Strings.h"

class QWidget;  // the windowing system's window (reached only inside the class library)
class TWinControl;
class TPopupMenu;
struct TControlImpl;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
using TLeftRight = TAlignment;  // taLeftJustify or taRightJustify
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

// Shift keys and mouse buttons held during an input event.
enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
class TShiftState {
public:
    TShiftState() = default;
    TShiftState(std::initializer_list<TShiftStateFlag> flags);
    bool Contains(TShiftStateFlag f) const { return (FBits & (1u << unsigned(f))) != 0; }
    bool Empty() const { return FBits == 0; }
    TShiftState& operator<<(TShiftStateFlag f) { FBits |= 1u << unsigned(f); return *this; }
    TShiftState& operator>>(TShiftStateFlag f) { FBits &= ~(1u << unsigned(f)); return *this; }
    friend bool operator==(const TShiftState&, const TShiftState&) = default;

private:
    unsigned FBits = 0;
};

using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

// Virtual key codes of the key events (letters and digits are their ASCII
// upper-case codes).
using WORD = unsigned short;
constexpr WORD VK_BACK = 0x08;
constexpr WORD VK_TAB = 0x09;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_SHIFT = 0x10;
constexpr WORD VK_CONTROL = 0x11;
constexpr WORD VK_MENU = 0x12;
constexpr WORD VK_ESCAPE = 0x1B;
constexpr WORD VK_SPACE = 0x20;
constexpr WORD VK_PRIOR = 0x21;
constexpr WORD VK_NEXT = 0x22;
constexpr WORD VK_END = 0x23;
constexpr WORD VK_HOME = 0x24;
constexpr WORD VK_LEFT = 0x25;
constexpr WORD VK_UP = 0x26;
constexpr WORD VK_RIGHT = 0x27;
constexpr WORD VK_DOWN = 0x28;
constexpr WORD VK_INSERT = 0x2D;
constexpr WORD VK_DELETE = 0x2E;
constexpr WORD VK_F1 = 0x70;
constexpr WORD VK_F2 = 0x71;
constexpr WORD VK_F3 = 0x72;
constexpr WORD VK_F4 = 0x73;
constexpr WORD VK_F5 = 0x74;

// Mouse messages, for controls whose events hand on the message record.
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned CM_MOUSEENTER = 0xB013;
constexpr unsigned CM_MOUSELEAVE = 0xB014;
constexpr unsigned MK_LBUTTON = 0x0001;
constexpr unsigned MK_RBUTTON = 0x0002;
constexpr unsigned MK_SHIFT = 0x0004;
constexpr unsigned MK_CONTROL = 0x0008;
constexpr unsigned MK_MBUTTON = 0x0010;
struct TWMMouse {
    unsigned Msg = 0;
    unsigned Keys = 0;  // MK_* flags
    int XPos = 0;
    int YPos = 0;
    long Result = 0;
};

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// Control styles.
constexpr unsigned csAcceptsControls = 0x0001;
constexpr unsigned csCaptureMouse = 0x0002;
constexpr unsigned csClickEvents = 0x0008;
constexpr unsigned csFramed = 0x0010;
constexpr unsigned csSetCaption = 0x0020;
constexpr unsigned csOpaque = 0x0040;   // the background is filled in Color before Paint
constexpr unsigned csDoubleClicks = 0x0080;

// What a control tells assistive technology about itself. The class
// library's standard controls get this from the windowing system; controls
// that draw themselves override the Accessible* members.
enum class TAccessibleRole {
    Client,
    StaticText,
    PushButton,
    CheckBox,
    RadioButton,
    Graphic,
    Grouping,
    Pane,
    Table,
    List,
    ProgressBar,
    Indicator,
    Window,
    Document,
    StatusBar,
};
struct TAccessibleState {
    bool Checkable = false;
    bool Checked = false;
    bool Mixed = false;  // a grayed check box
    bool Pressed = false;
    bool Focusable = false;
    bool ReadOnly = false;
};
enum class TAccessibleChange { Name, Value, State };
// A link inside a control that shows a document: its text, where it leads,
// and where its characters lie in the control's accessible text.
struct TAccessibleLink {
    CodePageString Name;
    CodePageString Target;
    int Start = 0;
    int End = 0;
    friend bool operator==(const TAccessibleLink&, const TAccessibleLink&) = default;
};
// The action names assistive technology knows.
inline const CodePageString AccessiblePressAction = "Press";
inline const CodePageString AccessibleToggleAction = "Toggle";

class TControl : public TComponent {
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    // The window this control sits in; nullptr takes it out of any window.
    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* parent);

    // A control sized by its text measures a text kept back before its
    // place or size is read.
    int Left() const { return SettleSize(), FLeft; }
    int Top() const { return SettleSize(), FTop; }
    int Width() const { return SettleSize(), FWidth; }
    int Height() const { return SettleSize(), FHeight; }
    void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const { return SettleSize(), Bounds(FLeft, FTop, FWidth, FHeight); }
    void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
    // The drawing area, at (0, 0). Forms and bordered windows make it smaller.
    virtual int ClientWidth() const { return Width(); }
    virtual int ClientHeight() const { return Height(); }
    TRect ClientRect() const { return Rect(0, 0, ClientWidth(), ClientHeight()); }
    virtual void SetClientWidth(int w) { SetWidth(w); }
    virtual void SetClientHeight(int h) { SetHeight(h); }
    TPoint ClientToScreen(const TPoint& p) const;
    TPoint ScreenToClient(const TPoint& p) const;

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign align);

    // Visible is the control's own flag; Showing also needs every parent visible.
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Showing() const;
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);

    // Caption and Text are one value, as in the class library.
    CodePageString Caption() const { return GetText(); }
    void SetCaption(const CodePageString& text) { SetText(text); }
    CodePageString Text() const { return GetText(); }
    void SetText(const CodePageString& text);

    // The control's font; changing it (or any of its properties) redraws.
    TFont* Font() const { return FFont.get(); }
    void SetFont(const TFont* font) { FFont->Assign(*font); }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool v);
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool v);

    CodePageString Hint() const { return FHint; }
    void SetHint(const CodePageString& hint);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool v);
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor cursor);
    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* menu);
    unsigned ControlStyle() const { return FControlStyle; }
    void SetControlStyle(unsigned style);

    // Redrawing: Invalidate asks for a repaint later, Repaint draws now.
    void Invalidate();
    // Asks for a repaint of a part of the client area later.
    void InvalidateRect(const TRect& rect);
    void Repaint();
    virtual void Update();
    void Refresh() { Repaint(); }
    void BringToFront();
    void SendToBack();
    virtual bool Focused() const;

    // Runs OnClick (and whatever the control does on a click).
    virtual void Click();

    // Assistive technology.
    virtual TAccessibleRole AccessibleRole() const { return TAccessibleRole::Client; }
    virtual CodePageString AccessibleName() const { return Caption(); }
    virtual CodePageString AccessibleValue() const { return CodePageString(); }
    virtual CodePageString AccessibleDescription() const { return Name; }
    virtual TAccessibleState AccessibleState() const { return {}; }
    virtual std::vector<CodePageString> AccessibleActions() const { return {}; }
    virtual void DoAccessibleAction(const CodePageString& action);
    // A control that shows a document: its text as assistive technology
    // reads it, and the links in it, each of which can be activated.
    virtual bool HasAccessibleText() const { return false; }
    virtual CodePageString AccessibleText() const { return CodePageString(); }
    virtual std::vector<TAccessibleLink> AccessibleLinks() const { return {}; }
    virtual void ActivateAccessibleLink(int /*index*/) {}
    // Tells assistive technology that the name, value or state changed.
    void AccessibleChanged(TAccessibleChange what);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnResize;

    // Internal: puts a text kept back into the control's window now.
    void FlushText();
    // Internal: puts every text kept back into its window, as the windows
    // are about to be painted, given input or read.
    static void FlushTexts();
    // Internal: input and paint entry points called by the windowing glue.
    void HandleMouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void HandleMouseMove(TShiftState shift, int x, int y);
    void HandleMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    void HandleDblClick(TMouseButton button, TShiftState shift, int x, int y);
    void HandleMouseEnter();
    void HandleMouseLeave();
    void HandleWidgetResized(int width, int height);
    bool Destroying() const { return FDestroying; }
    TControlImpl* ControlImpl() const { return FImpl.get(); }

protected:
    // Called by the derived constructor: the window that stands for the
    // control. The control owns it.
    void AttachWidget(QWidget* widget);
    // The window, for the control's own work on it: its own text kept back
    // goes in first, those of other controls stay back.
    QWidget* OwnWidget() const;
    virtual CodePageString GetText() const { return FText; }
    // Puts the text into the window; the default does nothing.
    virtual void ApplyText() {}
    // A control whose window is slow to take a text says yes: SetText then
    // keeps the text back and ApplyText runs once, with the latest text,
    // before the window is next painted, given input or read (WidgetOf and
    // FlushTexts). Text() must give at once what the window will hold, and
    // TextKeptBack sends the change notice that ApplyText would have sent.
    virtual bool DefersText() const { return false; }
    // In place of ApplyText for a text kept back; shownBefore is what Text()
    // gave before the set.
    virtual void TextKeptBack(const CodePageString& shownBefore) { (void)shownBefore; }
    // Whether a text is kept back; whether ApplyText runs for one (and so
    // must send no change notice: TextKeptBack sent it).
    bool TextPending() const { return FTextPending; }
    bool FlushingText() const { return FFlushingText; }
    // A control whose size follows its text (an auto-sized label) says so:
    // reading its place or size puts a text kept back in and measures it.
    void SetSizeFollowsText(bool v) { FSizeFollowsText = v; }
    virtual void ApplyFont();
    virtual void ApplyColor();
    virtual void ApplyEnabled();
    // Notices, after the change is stored.
    virtual void Resize();
    virtual void TextChanged() {}
    // Asks for the repaint a new text needs, given the text before it; the
    // default repaints the whole control. Called only when the text changed.
    virtual void RepaintText(const CodePageString& before)
    {
        (void)before;
        Invalidate();
    }
    virtual void FontChanged() {}
    virtual void ColorChanged() {}
    virtual void EnabledChanged() {}
    virtual void VisibleChanged() {}
    virtual void DblClick();
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    // Whether a left press and release make a click (controls that click on
    // their own, like buttons, say no).
    virtual bool ClicksOnMouseUp() const { return (FControlStyle & csClickEvents) != 0; }
    // Called when the parent's font or colour changes, for ParentFont/ParentColor.
    virtual void ParentFontChanged();
    virtual void ParentColorChanged();
    // Puts the stored geometry and visibility into the window.
    virtual void ApplyGeometry();
    virtual void ApplyVisibility();
    // Marks the control as going away and cuts it off from its window's
    // signals. Every class that connects to window signals calls it first
    // thing in its destructor.
    void SetDestroying();
    // Routes the input events of one more window (a scroll area's viewport,
    // an inner edit) to this control. Mouse positions are those of that window.
    void AddInputWidget(QWidget* widget);
    // Stores new bounds that the window already has (no window call, no event).
    void SetBoundsFields(int left, int top, int width, int height)
    {
        FLeft = left;
        FTop = top;
        FWidth = width;
        FHeight = height;
    }
    // Stores the visibility flag without showing or hiding the window.
    void SetVisibleField(bool visible) { FVisible = visible; }

    CodePageString FText;
    std::unique_ptr<TControlImpl> FImpl;

private:
    void SyncOpaquePaint();
    friend class TWinControl;
    TWinControl* FParent = nullptr;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    TAlign FAlign = alNone;
    bool FVisible = true;
    bool FEnabled = true;
    bool FParentFont = true;
    bool FParentColor = true;
    bool FShowHint = false;
    bool FDestroying = false;
    bool FPressedInside = false;
    bool FApplyingFont = false;
    bool FTextPending = false;
    bool FFlushingText = false;
    bool FSizeFollowsText = false;
    void SettleSize() const
    {
        if (FTextPending && FSizeFollowsText)
            const_cast<TControl*>(this)->FlushText();
    }
    TColor FColor = clBtnFace;
    CodePageString FHint;
    TCursor FCursor = crDefault;
    TPopupMenu* FPopupMenu = nullptr;
    unsigned FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    std::unique_ptr<TFont> FFont;
};

// A control that can hold other controls and take the keyboard focus.
class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    int ControlCount() const { return int(FControls.size()); }
    TControl* Controls(int index) const;  // EListError when out of range
    void InsertControl(TControl* control) { control->SetParent(this); }
    void RemoveControl(TControl* control) { if (control->Parent() == this) control->SetParent(nullptr); }
    bool ContainsControl(const TControl* control) const;

    int TabOrder() const { return FTabOrder; }
    void SetTabOrder(int order);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool v);
    virtual bool CanFocus() const;
    virtual void SetFocus();
    bool Focused() const override;
    bool HandleAllocated() const { return true; }

    // Lays out the children that have an Align; runs by itself on changes.
    void Realign();
    void DisableAlign() { ++FAlignLock; }
    void EnableAlign();

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;

    // Internal: key and focus entry points called by the windowing glue.
    // They return true when the key was consumed (Key set to 0).
    bool HandleKeyDown(WORD& key, TShiftState shift);
    bool HandleKeyPress(char& key);
    bool HandleKeyUp(WORD& key, TShiftState shift);
    void HandleFocusIn();
    void HandleFocusOut();
    // Internal: the accelerator key of Alt+key; true when a control took it.
    virtual bool DialogChar(char key);

protected:
    // The area left for aligned children.
    virtual TRect AdjustedClientRect() const { return ClientRect(); }
    virtual void AlignControls();
    void Resize() override;
    void SetClientWidget(QWidget* widget);
    virtual void KeyDown(WORD& key, TShiftState shift);
    virtual void KeyPress(char& key);
    virtual void KeyUp(WORD& key, TShiftState shift);
    virtual void DoEnter();
    virtual void DoExit();
    void ApplyFont() override;
    void ApplyColor() override;
    void ApplyEnabled() override;
    void FontChanged() override;
    void ColorChanged() override;
    // Internal: a child was added to or removed from FControls.
    virtual void ControlAdded(TControl*) {}
    virtual void ControlRemoved(TControl*) {}
    // A form with KeyPreview sees its controls' keys first.
    virtual bool KeyPreviewOn() const { return false; }

private:
    friend class TControl;
    void ApplyTabOrder();
    std::vector<TControl*> FControls;
    int FTabOrder = -1;
    bool FTabStop = false;
    int FAlignLock = 0;
    bool FAligning = false;
    bool FAlignPending = false;
};

// The canvas of a control that draws itself: while it paints, the surface it
// paints on; otherwise a canvas, made on first use, for measuring text in the
// control's font.
class TSelfPaintCanvas {
public:
    TCanvas* Get(const TFont* font) const;
    // Runs draw with canvas as the current canvas, its font set to font and
    // its brush to color. The canvas that was current before is current again
    // afterwards, also when draw throws.
    template <class F>
    void Paint(TCanvas* canvas, const TFont* font, TColor color, F&& draw)
    {
        struct Restore {
            TCanvas*& slot;
            TCanvas* saved;
            ~Restore() { slot = saved; }
        } restore{FPaint, FPaint};
        FPaint = canvas;
        canvas->SetFont(font);
        canvas->Brush()->SetColor(color);
        draw();
    }
    // Keeps the measuring canvas, once made, in the given font.
    void FontChanged(const TFont* font)
    {
        if (FMeasure)
            FMeasure->SetFont(font);
    }

private:
    TCanvas* FPaint = nullptr;
    mutable std::unique_ptr<TCanvas> FMeasure;
};

// A control without a window of its own that draws itself (labels, images,
// the LED label). Override Paint and draw through Canvas().
class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;

    // The canvas: while painting, the paint surface; otherwise a canvas for
    // measuring text in the control's font.
    TCanvas* Canvas() const;
    // Runs Paint on the given canvas, with its font set to the control's Font
    // and its brush to Color.
    void PaintTo(TCanvas* canvas);

protected:
    virtual void Paint() {}

private:
    friend struct TPaintGlue;
    TSelfPaintCanvas FCanvas;
};

// A window control that draws itself (the bitmap check box, the transparent
// panel). Override Paint and draw through Canvas(). Opaque by default: the
// background is filled in Color before Paint unless csOpaque is removed.
class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;

    TCanvas* Canvas() const;
    void PaintTo(TCanvas* canvas);

protected:
    virtual void Paint() {}

private:
    friend struct TPaintGlue;
    TSelfPaintCanvas FCanvas;
};

// The state of an owner-drawn row or item.
enum TOwnerDrawStateFlag { odSelected, odGrayed, odDisabled, odChecked, odFocused, odDefault, odHotLight, odInactive,
                           odNoAccel, odNoFocusRect, odComboBoxEdit };
class TOwnerDrawState {
public:
    TOwnerDrawState() = default;
    TOwnerDrawState(std::initializer_list<TOwnerDrawStateFlag> flags)
    {
        for (auto f : flags)
            FBits |= 1u << unsigned(f);
    }
    bool Contains(TOwnerDrawStateFlag f) const { return (FBits & (1u << unsigned(f))) != 0; }
    bool Empty() const { return FBits == 0; }
    TOwnerDrawState& operator<<(TOwnerDrawStateFlag f) { FBits |= 1u << unsigned(f); return *this; }
    TOwnerDrawState& operator>>(TOwnerDrawStateFlag f) { FBits &= ~(1u << unsigned(f)); return *this; }
    friend bool operator==(const TOwnerDrawState&, const TOwnerDrawState&) = default;

private:
    unsigned FBits = 0;
};

// Mouse position on the screen.
TPoint GetCursorPos();
