// HTML forms inside a viewed document. Each INPUT, SELECT and TEXTAREA is a
// control object that owns a real window control (edit, button, check box,
// radio button in a panel, list box, combo box, memo) on the viewer's paint
// surface; every control belongs to one form, which gathers the controls'
// name=value pairs on submit and hands them to the viewer. The document's
// TFormControlList answers the line breaker's questions about the room a
// control takes.
//
// Everything runs on the GUI thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "htmlview/HtmlFormHost.h"
#include "htmlview/HtmlUtil.h"

class TButton;
class TCheckBox;
class TComboBox;
class TEdit;
class TListBox;
class TMemo;
class TPanel;
class TRadioButton;
class TWinControl;
class TFormControlKeeper;

// Bounds on the sizes that attributes give, so that no SIZE, COLS or ROWS
// makes a control wider or taller than a page can use (or overflows a width).
inline constexpr int MaxControlChars = 1000;  // SIZE of an edit, COLS, the longest option
inline constexpr int MaxControlLines = 200;   // ROWS, SIZE of a list box
inline constexpr int MaxEditLength = 32767;   // MAXLENGTH

// --- what the document gives -------------------------------------------------------

enum class TFormControlKind : std::uint8_t { Edit, Button, Radio, CheckBox, Hidden, Image, ListBox, Combo, TextArea };

// A control as the document gives it, read from its tag by the builder.
struct TFormControlSpec {
    TFormControlKind Kind = TFormControlKind::Edit;
    CodePageString Type;  // an INPUT's TYPE, lower case, at most 20 characters
    CodePageString Name;  // NAME
    CodePageString Value;  // VALUE
    bool HasValue = false;  // VALUE was given, even empty
    bool Checked = false;   // CHECKED
    bool Multiple = false;  // MULTIPLE
    int SizeChars = 20;     // an edit's SIZE, 1 .. MaxControlChars
    int VisibleLines = -1;  // a list box's SIZE, 1 .. MaxControlLines; -1 when not given
    int MaxLength = 0;      // MAXLENGTH, 1 .. MaxEditLength; 0 for no limit
    int Rows = 5;           // ROWS, 1 .. MaxControlLines
    int Cols = 30;          // COLS, 1 .. MaxControlChars
    bool WordWrap = false;  // WRAP=SOFT or HARD
    CodePageString ClickScript;  // ONCLICK
};

// A FORM as the document gives it.
struct TFormSpec {
    CodePageString Method = "Get";  // at most 4 characters
    CodePageString Action;
    CodePageString Target;
    CodePageString EncType;
};

// --- controls ----------------------------------------------------------------------

// One form control of the document. Pos is the position of its placeholder
// character in its text section.
class TFormControlObj : public TObject {
public:
    ~TFormControlObj() override;
    TFormControlObj(const TFormControlObj&) = delete;
    TFormControlObj& operator=(const TFormControlObj&) = delete;

    int Pos = 0;
    TFormDocumentHost* Document = nullptr;
    ThtmlForm* OwnerForm = nullptr;
    CodePageString Value;  // VALUE
    CodePageString Name;   // NAME
    // 1 for check boxes and radio buttons, which stand on the baseline.
    std::uint8_t TickBox = 0;
    // Placed on screen by the last paint (the painting code sets it).
    bool OnScreen = false;

    // The window control, or none (hidden fields and image inputs have none).
    TWinControl* WinControl() const;
    // The window control that takes the keyboard focus.
    virtual TWinControl* FocusControl() const { return WinControl(); }
    // Back to the state the document gave.
    virtual void Restore() {}
    // The Index-th name=value pair; false past the last. An empty S adds
    // nothing. Pairs are asked for in order from 0.
    virtual bool SubmitPair(int Index, CodePageString& S);
    // Sizes the window control for the canvas's text metrics.
    virtual void Measure(TCanvas* Canvas);

protected:
    TFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);

    // Creates the window control of type T on the paint panel, out of sight
    // at Top -400, with a component name that assistive technology shows.
    template <class T>
    T* NewWindowControl(const CodePageString& componentName);
    // A second window control inside the first (the radio button in its panel).
    template <class T>
    T* NewInnerControl(TWinControl* parent, const CodePageString& componentName);
    // The edit, list and memo font: the document's face at size 10.
    void UseDocumentFont(TWinControl* control) const;
    // Connects the focus control's entry and exit to the document.
    void ConnectFocus();
    // The kind's word, for the component name of a control without NAME.
    CodePageString ComponentName(const char* kind) const;

    // Set while the program itself changes a state, so that the change
    // raises no click of the document.
    bool FRestoring = false;

private:
    std::unique_ptr<TFormControlKeeper> FKeeper;
};

// INPUT TYPE=IMAGE. The picture itself is an image of the text section; a
// click on it submits the form with the point clicked.
class TImageFormControlObj : public TFormControlObj {
public:
    TImageFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);

    // Where the mouse was last over the picture, in the picture. The
    // section's hit test records it on every move as well as on a click.
    int MouseX = -1;
    int MouseY = -1;
    void SetMousePoint(int x, int y)
    {
        MouseX = x;
        MouseY = y;
    }
    // The point of the click to be submitted; ClickX is -1 when none waits.
    int ClickX = -1;
    int ClickY = -1;

    // A click on the picture: the last mouse point becomes the click point
    // and the form is submitted without a button value. The point goes out
    // with this submission only.
    void ImageClicked();
    bool SubmitPair(int Index, CodePageString& S) override;
};

// INPUT TYPE=HIDDEN: a pair and nothing on screen.
class THiddenFormControlObj : public TFormControlObj {
public:
    THiddenFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);
    bool SubmitPair(int Index, CodePageString& S) override;
};

// INPUT TYPE=TEXT and PASSWORD (and any unknown TYPE).
class TEditFormControlObj : public TFormControlObj {
public:
    TEditFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);
    int SizeChars = 20;
    TEdit* Edit() const;
    void Restore() override;
    bool SubmitPair(int Index, CodePageString& S) override;
    void Measure(TCanvas* Canvas) override;
};

// INPUT TYPE=SUBMIT, RESET and BUTTON.
class TButtonFormControlObj : public TFormControlObj {
public:
    enum TButtonKind : std::uint8_t { bkSubmit = 0, bkReset = 1, bkPlain = 2 };
    TButtonFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);
    TButtonKind Kind = bkPlain;
    CodePageString ClickScript;  // ONCLICK
    // The caption as shown: VALUE, or the kind's own word without one.
    const CodePageString& Caption() const { return FCaption; }
    TButton* Button() const;
    void Measure(TCanvas* Canvas) override;

private:
    void Clicked();
    CodePageString FCaption;
};

// INPUT TYPE=RADIO. Each radio button sits in a panel of its own, so that
// the form, not the window, decides which buttons exclude each other.
class TRadioButtonFormControlObj : public TFormControlObj {
public:
    TRadioButtonFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);
    bool InitiallyChecked = false;
    CodePageString ClickScript;
    TPanel* Panel() const;  // the window control
    TRadioButton* RadioButton() const;
    bool Checked() const;
    void SetChecked(bool checked);
    TWinControl* FocusControl() const override;
    void Restore() override;
    bool SubmitPair(int Index, CodePageString& S) override;

private:
    void Clicked();
    TRadioButton* FRadio = nullptr;
};

// INPUT TYPE=CHECKBOX.
class TCheckBoxFormControlObj : public TFormControlObj {
public:
    TCheckBoxFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);
    bool InitiallyChecked = false;
    CodePageString ClickScript;
    TCheckBox* CheckBox() const;
    void Restore() override;
    bool SubmitPair(int Index, CodePageString& S) override;

private:
    void Clicked();
};

// One OPTION of a SELECT.
class TOptionObj : public TObject {
public:
    CodePageString Value;  // empty when the option has no VALUE: its text is sent
    bool Selected = false;
};

// SELECT with MULTIPLE, or with a SIZE above 1.
class TListBoxFormControlObj : public TFormControlObj {
public:
    TListBoxFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);
    ~TListBoxFormControlObj() override;

    // The option texts, each with its TOptionObj (owned here).
    TStringList Options;
    int VisibleLines = -1;  // from SIZE; -1 when not given
    int LongestOption = 3;  // characters

    void AddOption(const CodePageString& Text, const CodePageString& Value, bool Selected);
    TOptionObj* Option(int index) const { return static_cast<TOptionObj*>(Options.Objects(index)); }
    TListBox* ListBox() const;
    void Restore() override;
    bool SubmitPair(int Index, CodePageString& S) override;
    void Measure(TCanvas* Canvas) override;

protected:
    struct ComboTag {};
    // The drop-down form, for TComboFormControlObj.
    TListBoxFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec, ComboTag);
    // Name=the option's value (or text) for option i.
    CodePageString OptionPair(int index) const;

private:
    std::vector<std::unique_ptr<TOptionObj>> FOptionRecords;
};

// Any other SELECT: a drop-down list without typing.
class TComboFormControlObj : public TListBoxFormControlObj {
public:
    TComboFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);
    TComboBox* ComboBox() const;
    void Restore() override;
    bool SubmitPair(int Index, CodePageString& S) override;
    void Measure(TCanvas* Canvas) override;
};

// TEXTAREA.
class TTextAreaFormControlObj : public TFormControlObj {
public:
    TTextAreaFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec);
    int Rows = 5;
    int Cols = 30;
    TStringList InitialLines;  // the element's lines as parsed

    void AddLine(const CodePageString& S) { InitialLines.Add(S); }
    TMemo* Memo() const;
    void Restore() override;
    bool SubmitPair(int Index, CodePageString& S) override;
    void Measure(TCanvas* Canvas) override;

private:
    TStringList FSubmitLines;  // the memo's lines, taken when pair 0 is asked for
};

// --- the document's list of controls ----------------------------------------------

// Form controls in document order, not owned. A text section keeps one of
// the controls placed in it; the document keeps one of all its controls.
class TFormControlList {
public:
    int Count() const { return int(FItems.size()); }
    // EListError outside 0 .. Count - 1.
    TFormControlObj* Items(int index) const;
    void Add(TFormControlObj* control) { FItems.push_back(control); }
    void Remove(TFormControlObj* control);
    void Clear() { FItems.clear(); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

    // The control at text position Pos, or none.
    TFormControlObj* ControlAt(int Pos) const;
    // The window control's height with the control's TickBox; -1 when no
    // control with a window control stands at Pos.
    int HeightAt(int Pos, std::uint8_t& TickBox) const;
    // The window control's width, or -1.
    int WidthAt(int Pos) const;
    // Characters from Pos to the nearest control at or after it; 9999 when
    // there is none.
    int CharsToNextControl(int Pos) const;

private:
    std::vector<TFormControlObj*> FItems;
};

// Shows every control that the last paint did not place, out of sight at
// X -4000, so that the keyboard focus can move through controls that are
// scrolled away.
void ShowControlsOutOfSight(const TFormControlList& controls);
// After a layout, a scroll or a focus exit: while one of the controls has the
// keyboard focus, the controls that the last paint did not place stay shown
// at X -4000; otherwise they are hidden.
void HideControlsNotOnScreen(const TFormControlList& controls);

// --- forms -----------------------------------------------------------------------------

class ThtmlForm : public TObject {
public:
    // A new form of the document, kept in the document's form list, as its
    // FORM tag gives it (the defaults for a form made for a control outside
    // any FORM).
    static ThtmlForm* Create(TFormDocumentHost& document, const TFormSpec& spec = {});
    ThtmlForm(TFormDocumentHost& document, const TFormSpec& spec);
    ~ThtmlForm() override;
    ThtmlForm(const ThtmlForm&) = delete;
    ThtmlForm& operator=(const ThtmlForm&) = delete;

    TFormDocumentHost* Document;
    CodePageString Method;  // at most 4 characters
    CodePageString Action;
    CodePageString Target;
    CodePageString EncType;
    TFreeList<TFormControlObj> Controls;  // in document order
    int VisibleCount = 0;  // controls that are not hidden fields

    // Takes the control: appended to Controls and counted.
    TFormControlObj* AddControl(std::unique_ptr<TFormControlObj> control);
    // When the viewer has an OnFormSubmit handler: every control's pairs in
    // document order, then ButtonValue when it is not empty, go to the viewer
    // with the form's Action, Target, EncType and Method. Nothing is encoded.
    void Submit(const CodePageString& ButtonValue);
    void ResetAll();
    void MeasureAll(TCanvas* Canvas);
    // Clears the other radio buttons of the form whose name equals Radio's,
    // ignoring case; nothing for a radio button without a name.
    void UncheckSiblings(TRadioButtonFormControlObj* Radio);
    // An edit's key handler: Enter submits a form that shows nothing but
    // that edit.
    void EditKeyPress(TObject* Sender, char& Key);
};

// The form that controls join while a document is built: the builder sets
// it at FORM and clears it at the end of the FORM and at the start of every
// parse. A form that is freed stops being the open form.
ThtmlForm* OpenForm();
void SetOpenForm(ThtmlForm* form);

// --- creating controls ---------------------------------------------------------------

struct InputTypeEntry {
    std::string_view Type;  // lower case
    TFormControlKind Kind;
};
// The TYPE of an INPUT; any other TYPE, or none, is an edit.
inline constexpr std::array<InputTypeEntry, 9> InputTypes = {{
    {"text", TFormControlKind::Edit},
    {"password", TFormControlKind::Edit},
    {"submit", TFormControlKind::Button},
    {"reset", TFormControlKind::Button},
    {"button", TFormControlKind::Button},
    {"radio", TFormControlKind::Radio},
    {"checkbox", TFormControlKind::CheckBox},
    {"hidden", TFormControlKind::Hidden},
    {"image", TFormControlKind::Image},
}};

// Creates the control of spec's kind at position pos of its text section:
// it joins the open form (a new form of the document is opened when there
// is none, or when the open one is another document's) and the document's
// control list.
TFormControlObj* CreateFormControl(TFormDocumentHost& document, int pos, const TFormControlSpec& spec);
