#include "workbench/FormBuild.h"

#include <algorithm>
#include <utility>

#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/LedLbl.h"

void MakeToolWindow(TForm& form, const char* name, const CodePageString& caption, int clientWidth, int clientHeight)
{
    form.Name = name;
    form.SetCaption(caption);
    form.SetBorderStyle(bsToolWindow);
    form.SetPosition(poScreenCenter);
    form.SetClientWidth(clientWidth);
    form.SetClientHeight(clientHeight);
}

void CloseOnEscape(TForm& form)
{
    // The window sees its controls' keys first; a key it takes goes no further.
    form.SetKeyPreview(true);
    form.OnKeyDown = [&form, previous = std::move(form.OnKeyDown)](TObject* sender, WORD& key, TShiftState shift) {
        if (key == VK_ESCAPE && shift.Empty()) {
            key = 0;
            form.Close();
            return;
        }
        if (previous)
            previous(sender, key, shift);
    };
}

TLabel* PlaceLabel(TComponent* owner, TWinControl* parent, const char* name, const CodePageString& caption, int left,
                   int top, TWinControl* names)
{
    TLabel* label = NewComponent<TLabel>(owner, name);
    label->SetCaption(caption);
    label->SetLeft(left);
    label->SetTop(top);
    label->SetParent(parent);
    if (names)
        label->SetFocusControl(names);
    return label;
}

void AddColumns(TListView& list, std::initializer_list<TColumnSpec> columns)
{
    for (const TColumnSpec& spec : columns) {
        TListColumn* column = list.Columns()->Add();
        column->SetCaption(spec.Caption);
        column->SetWidth(spec.Width);
    }
}

void DressListView(TExListView& list, bool checkboxes)
{
    list.SetViewStyle(vsReport);
    list.SetOwnerDraw(true);
    list.SetURLShow(true);
    list.SetCheckboxes(checkboxes);
    list.SetGridLines(true);
    list.SetRowSelect(true);
    list.SetReadOnly(true);
    list.SetHideSelection(false);
    list.SetItemHeight(17);
}

TLedLabel* PlaceLed(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int digits,
                    int digitWidth, int height, TLedTone tone)
{
    TLedLabel* led = Place<TLedLabel>(owner, parent, name, left, top, digits * digitWidth + 4, height);
    // Segments of thickness 0 are lines in their outline's colour, which is
    // how the length counters' warning colour shows.
    led->SetSegmentThickness(0);
    led->SetNumChars(digits);
    led->SetOnColor(tone.On);
    led->SetOffColor(tone.Off);
    led->SetSegmentBorderColor(tone.On);
    led->SetText("0");
    return led;
}

TBitCheckBox* PlaceBitCheck(TComponent* owner, TWinControl* parent, const char* name, const CodePageString& caption,
                            int left, int top, int width, bool checked)
{
    TBitCheckBox* box = Place<TBitCheckBox>(owner, parent, name, left, top, width, 18);
    box->SetCaption(caption);
    box->SetChecked(checked);
    // As wide as the glyph and the caption, so that the box's face ends
    // where its text does.
    const int fit = box->UncheckedGlyph()->Width() + 4 + box->Canvas()->TextWidth(caption) + 4;
    box->SetWidth(std::min(width, fit));
    return box;
}

TComboBox* PlaceCombo(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width,
                      std::initializer_list<const char*> items, const CodePageString& text)
{
    TComboBox* combo = Place<TComboBox>(owner, parent, name, left, top, width, 21);
    for (const char* item : items)
        combo->Items()->Add(item);
    combo->SetText(text);
    return combo;
}

TListBox* PlaceHiddenList(TComponent* owner, TWinControl* parent, const char* name)
{
    TListBox* list = Place<TListBox>(owner, parent, name, 0, 0, 40, 20);
    list->SetVisible(false);
    return list;
}

TMenuItem* AddMenuItem(TComponent* owner, TMenuItem* parent, const char* name, const CodePageString& caption,
                       TNotifyEvent onClick)
{
    TMenuItem* item = NewComponent<TMenuItem>(owner, name);
    item->SetCaption(caption);
    item->OnClick = std::move(onClick);
    parent->Add(item);
    return item;
}

void AddMenuLine(TComponent* owner, TMenuItem* parent, const char* name)
{
    AddMenuItem(owner, parent, name, "-");
}

// --- the contact block ------------------------------------------------------------------------

namespace {

struct TContactName {
    const char* Edit;
    const char* Caption;  // of its label
    const char* Label;    // the label's name
};
// By TContactField.
constexpr TContactName ContactNames[ContactFieldCount] = {
    {"name", "First Name", "Label16"}, {"LastN", "Last Name", "Label17"}, {"Company", "Company", "Label18"},
    {"Address1", "Address 1", "Label19"}, {"Address2", "Address 2", "Label20"}, {"City", "City", "Label21"},
    {"State", "State", "Label22"}, {"Zip", "Zip", "Label23"}, {"Country", "Country", "Label24"},
    {"Phone", "Phone", "Label25"}, {"Fax", "Fax", "Label26"},
};

}  // namespace

void PlaceContactBlock(TComponent* owner, TWinControl* parent, TPoint origin, const TContactLayout& layout,
                       const TContactMembers& members)
{
    for (const TContactField field : layout.Order) {
        if (layout.Before)
            layout.Before(field);
        const TContactName& names = ContactNames[field];
        const TContactCell cell = layout.Cell(field);
        const TRect& bounds = cell.Edit;
        TEdit* edit = Place<TEdit>(owner, parent, names.Edit, origin.x + bounds.Left, origin.y + bounds.Top,
                                   bounds.Width(), bounds.Height());
        if (layout.Labelled)
            PlaceLabel(owner, parent, names.Label, names.Caption, origin.x + cell.LabelLeft, origin.y + bounds.Top + 3,
                       edit);
        *members[field] = edit;
    }
}
