// Building forms in code: each component gets its designer name before it is
// placed, so that assistive technology finds it by that name from the start.
#pragma once

#include <array>
#include <functional>
#include <initializer_list>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"

template <class T>
T* NewComponent(TComponent* owner, const char* name)
{
    T* component = new T(owner);
    component->Name = name;
    return component;
}

template <class T>
T* Place(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width, int height)
{
    T* control = NewComponent<T>(owner, name);
    control->SetBounds(left, top, width, height);
    control->SetParent(parent);
    return control;
}

// A tool window in the middle of the screen, named and captioned, with this client area.
class TForm;
void MakeToolWindow(TForm& form, const char* name, const CodePageString& caption, int clientWidth, int clientHeight);
// Escape pressed anywhere in the window closes it, as its Close button does.
void CloseOnEscape(TForm& form);

// A control that fills its parent's client area, placed first at that size.
template <class T>
T* PlaceClient(TComponent* owner, TWinControl* parent, const char* name, int width, int height)
{
    T* control = Place<T>(owner, parent, name, 0, 0, width, height);
    control->SetAlign(alClient);
    return control;
}

// A label placed with its caption; with a control it names that control.
class TLabel;
TLabel* PlaceLabel(TComponent* owner, TWinControl* parent, const char* name, const CodePageString& caption, int left,
                   int top, TWinControl* names = nullptr);

// Every window's skin step: when the skin control holds no skin of its own,
// it is pointed at the skin file of the application folder.
class TSkinForm;
void ApplyDefaultSkin(TSkinForm& skin, const CodePageString& appFolder);
// The main window's application folder; the current directory while there
// is no main window (a window made on its own).
CodePageString MainAppFolder();

// --- the pieces the main window's pages are built from ---------------------------------------

class TListView;
class TExListView;
class TLedLabel;
class TBitCheckBox;
class TComboBox;
class TListBox;
class TMenuItem;

struct TColumnSpec {
    const char* Caption;
    int Width;
};
void AddColumns(TListView& list, std::initializer_list<TColumnSpec> columns);

// The enhanced list views of the main window share their look.
void DressListView(TExListView& list, bool checkboxes);

// The LED counters' colours: lit segments bright, unlit ones dim enough
// that the digits stand out.
struct TLedTone {
    TColor On;
    TColor Off;
};
inline constexpr TLedTone RedLed = {clRed, RGB(64, 0, 0)};
inline constexpr TLedTone GreenLed = {clLime, RGB(0, 56, 0)};
inline constexpr TLedTone YellowLed = {clYellow, RGB(60, 60, 0)};

TLedLabel* PlaceLed(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int digits,
                    int digitWidth = 15, int height = 26, TLedTone tone = RedLed);
TBitCheckBox* PlaceBitCheck(TComponent* owner, TWinControl* parent, const char* name, const CodePageString& caption,
                            int left, int top, int width, bool checked);
TComboBox* PlaceCombo(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width,
                      std::initializer_list<const char*> items, const CodePageString& text);
// A list the window keeps its working lines in; never shown.
TListBox* PlaceHiddenList(TComponent* owner, TWinControl* parent, const char* name);
TMenuItem* AddMenuItem(TComponent* owner, TMenuItem* parent, const char* name, const CodePageString& caption,
                       TNotifyEvent onClick = {});
void AddMenuLine(TComponent* owner, TMenuItem* parent, const char* name);

// --- the contact block ------------------------------------------------------------------------

// The contact fields a project and a custom engine record both hold, each
// an edit named as the record's field is, in the project page's order.
enum TContactField { cfName, cfLastName, cfCompany, cfAddress1, cfAddress2, cfCity, cfState, cfZip, cfCountry,
                     cfPhone, cfFax };
inline constexpr int ContactFieldCount = cfFax + 1;

class TEdit;
// Where the block's edits are kept: one member a field, by TContactField.
using TContactMembers = std::array<TEdit**, ContactFieldCount>;
// The members of a window that names its contact edits as the record does.
template <class TWindow>
TContactMembers ContactMembersOf(TWindow& window)
{
    return {&window.name, &window.LastN, &window.Company, &window.Address1, &window.Address2, &window.City,
            &window.State, &window.Zip, &window.Country, &window.Phone, &window.Fax};
}

// Where a contact field goes, from the block's origin: its edit, and the
// left of its label (which stands 3 below the edit's top).
struct TContactCell {
    TRect Edit;
    int LabelLeft = 0;
};
// How a window lays the block out.
struct TContactLayout {
    // The fields in the order they are placed, which is their tab order.
    std::vector<TContactField> Order;
    // Each field's cell, asked once per field in Order.
    std::function<TContactCell(TContactField)> Cell;
    // Whether each edit has a label that names it.
    bool Labelled = false;
    // Asked before each field is placed: a window whose own fields stand
    // between the contact fields places them here, keeping its tab order.
    std::function<void(TContactField)> Before;
};

// Creates the contact edits (and their labels) on parent, each cell moved
// by origin, and keeps each edit in its member.
void PlaceContactBlock(TComponent* owner, TWinControl* parent, TPoint origin, const TContactLayout& layout,
                       const TContactMembers& members);
