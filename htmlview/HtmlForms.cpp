#include "htmlview/HtmlForms.h"

#include <algorithm>

#include "classlib/BasicControls.h"
#include "classlib/FlagScope.h"
#include "classlib/Panels.h"
#include "htmlview/HtmlViewerHost.h"

// Owns a control object's window controls. Destroying a window destroys the
// controls inside it, whoever owns them, so the paint panel may free them
// before the control object does; the keeper then no longer counts them.
class TFormControlKeeper : public TComponent {
public:
    TFormControlKeeper() : TComponent(nullptr) {}
    ~TFormControlKeeper() override { DestroyComponents(); }

    TWinControl* Main = nullptr;

    bool Alive(const TComponent* component) const
    {
        if (!component)
            return false;
        for (int i = 0; i < ComponentCount(); ++i)
            if (Components(i) == component)
                return true;
        return false;
    }

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        TComponent::Notification(component, operation);
        if (operation == TOperation::opRemove && component == Main)
            Main = nullptr;
    }
};

namespace {

ThtmlForm* TheOpenForm = nullptr;

// The extent of text in font, measured on canvas; the canvas keeps its own font.
TSize ExtentIn(TCanvas* canvas, const TFont& font, const CodePageString& text)
{
    const TFont saved(*canvas->Font());
    canvas->SetFont(&font);
    const TSize size = canvas->TextExtent(text);
    canvas->SetFont(&saved);
    return size;
}

void SetSize(TControl* control, int width, int height)
{
    control->SetBounds(control->Left(), control->Top(), width, height);
}

// A caption shown as written: the class library reads "&" as the mark of an
// accelerator key, which page text never means.
CodePageString LiteralCaption(const CodePageString& text)
{
    CodePageString out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '&')
            out += '&';
    }
    return out;
}

}  // namespace

// --- the base ------------------------------------------------------------------------

TFormControlObj::TFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : Pos(pos), Document(form.Document), OwnerForm(&form), FKeeper(std::make_unique<TFormControlKeeper>())
{
    Value = spec.Value;
    Name = spec.Name;
}

TFormControlObj::~TFormControlObj()
{
    FKeeper.reset();
    if (Document)
        Document->FormControlList().Remove(this);
}

TWinControl* TFormControlObj::WinControl() const
{
    return FKeeper->Main;
}

bool TFormControlObj::SubmitPair(int, CodePageString&)
{
    return false;
}

void TFormControlObj::Measure(TCanvas*) {}

template <class T>
T* TFormControlObj::NewWindowControl(const CodePageString& componentName)
{
    auto* control = new T(FKeeper.get());
    control->Name = componentName;
    control->SetTop(-400);
    control->SetParent(Document->Viewer().PaintPanel());
    FKeeper->Main = control;
    return control;
}

template <class T>
T* TFormControlObj::NewInnerControl(TWinControl* parent, const CodePageString& componentName)
{
    auto* control = new T(FKeeper.get());
    control->Name = componentName;
    control->SetParent(parent);
    return control;
}

void TFormControlObj::UseDocumentFont(TWinControl* control) const
{
    control->SetParentFont(false);
    const CodePageString face = Document->FontName();
    if (!face.empty())
        control->Font()->SetName(face);
    control->Font()->SetSize(10);
}

void TFormControlObj::ConnectFocus()
{
    TWinControl* focus = FocusControl();
    if (!focus)
        return;
    focus->OnEnter = [this](TObject*) {
        Document->Viewer().FormControlEntered(this);
        ShowControlsOutOfSight(Document->FormControlList());
    };
    focus->OnExit = [this](TObject*) { Document->FormControlExited(this); };
}

CodePageString TFormControlObj::ComponentName(const char* kind) const
{
    return Name.empty() ? CodePageString(kind) : Name;
}

// --- image inputs and hidden fields ----------------------------------------------------

TImageFormControlObj::TImageFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TFormControlObj(form, pos, spec)
{
}

void TImageFormControlObj::ImageClicked()
{
    if (MouseX >= 0) {
        ClickX = MouseX;
        ClickY = MouseY;
    }
    OwnerForm->Submit(CodePageString());
    // Sent with this submission or not at all.
    ClickX = -1;
}

bool TImageFormControlObj::SubmitPair(int Index, CodePageString& S)
{
    if (Index > 1)
        return false;
    const CodePageString prefix = Name.empty() ? CodePageString() : Name + ".";
    S.clear();
    if (ClickX >= 0)
        S = Index == 0 ? prefix + "x=" + IntToStr(ClickX) : prefix + "y=" + IntToStr(ClickY);
    if (Index == 1)
        ClickX = -1;
    return true;
}

THiddenFormControlObj::THiddenFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TFormControlObj(form, pos, spec)
{
}

bool THiddenFormControlObj::SubmitPair(int Index, CodePageString& S)
{
    if (Index != 0)
        return false;
    S = Name + "=" + Value;
    return true;
}

// --- edits -------------------------------------------------------------------------------

TEditFormControlObj::TEditFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TFormControlObj(form, pos, spec)
{
    const bool password = spec.Type == "password";
    SizeChars = std::clamp(spec.SizeChars, 1, MaxControlChars);
    auto* edit = NewWindowControl<TEdit>(ComponentName(password ? "password" : "text"));
    SetSize(edit, 120, 20);
    UseDocumentFont(edit);
    if (spec.MaxLength > 0)
        edit->SetMaxLength(std::min(spec.MaxLength, MaxEditLength));
    if (password)
        edit->SetPasswordChar('*');
    edit->SetText(Value);
    edit->OnKeyPress = [this](TObject* sender, char& key) { OwnerForm->EditKeyPress(sender, key); };
    ConnectFocus();
}

TEdit* TEditFormControlObj::Edit() const
{
    return static_cast<TEdit*>(WinControl());
}

void TEditFormControlObj::Restore()
{
    if (TEdit* edit = Edit())
        edit->SetText(Value);
}

bool TEditFormControlObj::SubmitPair(int Index, CodePageString& S)
{
    if (Index != 0)
        return false;
    TEdit* edit = Edit();
    S = Name + "=" + (edit ? edit->Text() : Value);
    return true;
}

void TEditFormControlObj::Measure(TCanvas* Canvas)
{
    if (TEdit* edit = Edit())
        SetSize(edit, ExtentIn(Canvas, *edit->Font(), "A").cx * SizeChars + 5, edit->Height());
}

// --- buttons -------------------------------------------------------------------------------

namespace {

struct ButtonTypeEntry {
    std::string_view Type;
    TButtonFormControlObj::TButtonKind Kind;
    const char* Caption;  // without VALUE
};
constexpr std::array<ButtonTypeEntry, 3> ButtonTypes = {{
    {"submit", TButtonFormControlObj::bkSubmit, "Submit"},
    {"reset", TButtonFormControlObj::bkReset, "Reset"},
    {"", TButtonFormControlObj::bkPlain, "Button"},  // any other TYPE
}};

const ButtonTypeEntry& ButtonTypeOf(const CodePageString& type)
{
    for (const ButtonTypeEntry& entry : ButtonTypes)
        if (entry.Type == type)
            return entry;
    return ButtonTypes.back();
}

}  // namespace

TButtonFormControlObj::TButtonFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TFormControlObj(form, pos, spec)
{
    const ButtonTypeEntry& entry = ButtonTypeOf(spec.Type);
    Kind = entry.Kind;
    ClickScript = spec.ClickScript;
    FCaption = spec.HasValue ? Value : CodePageString(entry.Caption);
    auto* button = NewWindowControl<TButton>(ComponentName(entry.Caption));
    button->SetCaption(LiteralCaption(FCaption));
    button->OnClick = [this](TObject*) { Clicked(); };
    ConnectFocus();
}

TButton* TButtonFormControlObj::Button() const
{
    return static_cast<TButton*>(WinControl());
}

void TButtonFormControlObj::Clicked()
{
    Document->Viewer().ObjectClick(this, ClickScript);
    if (Kind == bkReset)
        OwnerForm->ResetAll();
    else if (Kind == bkSubmit)
        OwnerForm->Submit(Name.empty() ? CodePageString() : Name + "=" + Value);
}

void TButtonFormControlObj::Measure(TCanvas* Canvas)
{
    if (TButton* button = Button())
        SetSize(button, ExtentIn(Canvas, *button->Font(), FCaption).cx + 20,
                ExtentIn(Canvas, *button->Font(), "A").cy + 8);
}

// --- radio buttons and check boxes --------------------------------------------------------

TRadioButtonFormControlObj::TRadioButtonFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TFormControlObj(form, pos, spec)
{
    TickBox = 1;
    InitiallyChecked = spec.Checked;
    ClickScript = spec.ClickScript;
    // 13 by 14, or as large as the style's circle, which must show whole.
    const TSize circle = RadioButtonIndicatorSize();
    const int width = std::max(13, circle.cx);
    const int height = std::max(14, circle.cy);
    auto* panel = NewWindowControl<TPanel>(ComponentName("radio") + "Panel");
    SetSize(panel, width, height);
    panel->SetBevelOuter(bvNone);
    panel->SetBevelInner(bvNone);
    panel->SetParentColor(true);
    FRadio = NewInnerControl<TRadioButton>(panel, ComponentName("radio"));
    FRadio->SetBounds(0, 0, width, height);
    FRadio->SetChecked(InitiallyChecked);
    FRadio->OnClick = [this](TObject*) { Clicked(); };
    ConnectFocus();
}

TPanel* TRadioButtonFormControlObj::Panel() const
{
    return static_cast<TPanel*>(WinControl());
}

TRadioButton* TRadioButtonFormControlObj::RadioButton() const
{
    // The radio button goes with its panel.
    return WinControl() ? FRadio : nullptr;
}

TWinControl* TRadioButtonFormControlObj::FocusControl() const
{
    return RadioButton();
}

bool TRadioButtonFormControlObj::Checked() const
{
    TRadioButton* radio = RadioButton();
    return radio && radio->Checked();
}

void TRadioButtonFormControlObj::SetChecked(bool checked)
{
    if (TRadioButton* radio = RadioButton()) {
        TFlagScope restoring(FRestoring);
        radio->SetChecked(checked);
    }
}

void TRadioButtonFormControlObj::Clicked()
{
    if (FRestoring)
        return;
    OwnerForm->UncheckSiblings(this);
    Document->Viewer().ObjectClick(this, ClickScript);
}

void TRadioButtonFormControlObj::Restore()
{
    SetChecked(InitiallyChecked);
}

bool TRadioButtonFormControlObj::SubmitPair(int Index, CodePageString& S)
{
    if (Index != 0)
        return false;
    S = Checked() ? Name + "=" + Value : CodePageString();
    return true;
}

TCheckBoxFormControlObj::TCheckBoxFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TFormControlObj(form, pos, spec)
{
    TickBox = 1;
    if (!spec.HasValue)
        Value = "On";
    InitiallyChecked = spec.Checked;
    ClickScript = spec.ClickScript;
    // 13 by 13, or as large as the style's tick square, which must show whole.
    const TSize square = CheckBoxIndicatorSize();
    auto* box = NewWindowControl<TCheckBox>(ComponentName("checkbox"));
    SetSize(box, std::max(13, square.cx), std::max(13, square.cy));
    box->SetChecked(InitiallyChecked);
    box->OnClick = [this](TObject*) { Clicked(); };
    ConnectFocus();
}

TCheckBox* TCheckBoxFormControlObj::CheckBox() const
{
    return static_cast<TCheckBox*>(WinControl());
}

void TCheckBoxFormControlObj::Clicked()
{
    if (!FRestoring)
        Document->Viewer().ObjectClick(this, ClickScript);
}

void TCheckBoxFormControlObj::Restore()
{
    if (TCheckBox* box = CheckBox()) {
        TFlagScope restoring(FRestoring);
        box->SetChecked(InitiallyChecked);
    }
}

bool TCheckBoxFormControlObj::SubmitPair(int Index, CodePageString& S)
{
    if (Index != 0)
        return false;
    TCheckBox* box = CheckBox();
    S = box && box->Checked() ? Name + "=" + Value : CodePageString();
    return true;
}

// --- list boxes and combo boxes ---------------------------------------------------------------

TListBoxFormControlObj::TListBoxFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec,
                                               ComboTag)
    : TFormControlObj(form, pos, spec)
{
}

TListBoxFormControlObj::TListBoxFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TFormControlObj(form, pos, spec)
{
    VisibleLines = spec.VisibleLines > 0 ? std::min(spec.VisibleLines, MaxControlLines) : -1;
    auto* list = NewWindowControl<TListBox>(ComponentName("select"));
    UseDocumentFont(list);
    if (spec.Multiple) {
        list->SetMultiSelect(true);
        list->SetExtendedSelect(true);
    }
    ConnectFocus();
}

TListBoxFormControlObj::~TListBoxFormControlObj() = default;

void TListBoxFormControlObj::AddOption(const CodePageString& Text, const CodePageString& Value, bool Selected)
{
    auto option = std::make_unique<TOptionObj>();
    option->Value = Value;
    option->Selected = Selected;
    Options.AddObject(Text, option.get());
    FOptionRecords.push_back(std::move(option));
    LongestOption = std::max(LongestOption, std::min(int(Text.size()), MaxControlChars));
}

TListBox* TListBoxFormControlObj::ListBox() const
{
    return dynamic_cast<TListBox*>(WinControl());
}

CodePageString TListBoxFormControlObj::OptionPair(int index) const
{
    const TOptionObj* option = Option(index);
    return Name + "=" + (option->Value.empty() ? Options[index] : option->Value);
}

void TListBoxFormControlObj::Restore()
{
    TListBox* list = ListBox();
    if (!list)
        return;
    list->Items()->Assign(Options);
    for (int i = 0; i < Options.Count(); ++i)
        if (Option(i)->Selected)
            list->SetSelected(i, true);
    if (list->ItemIndex() < 0 && Options.Count() > 0)
        list->SetItemIndex(0);
    list->SetTopIndex(0);
}

bool TListBoxFormControlObj::SubmitPair(int Index, CodePageString& S)
{
    if (Index < 0 || Index >= Options.Count())
        return false;
    TListBox* list = ListBox();
    const bool chosen = list && Index < list->Items()->Count() &&
                        (list->MultiSelect() ? list->Selected(Index) : list->ItemIndex() == Index);
    S = chosen ? OptionPair(Index) : CodePageString();
    return true;
}

void TListBoxFormControlObj::Measure(TCanvas* Canvas)
{
    TListBox* list = ListBox();
    if (!list)
        return;
    if (VisibleLines == -1)
        VisibleLines = std::clamp(Options.Count(), 1, 8);
    const TSize a = ExtentIn(Canvas, *list->Font(), "A");
    SetSize(list, a.cx * LongestOption + 15, a.cy * VisibleLines);
}

TComboFormControlObj::TComboFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TListBoxFormControlObj(form, pos, spec, ComboTag{})
{
    auto* combo = NewWindowControl<TComboBox>(ComponentName("select"));
    combo->SetStyle(csDropDownList);
    UseDocumentFont(combo);
    ConnectFocus();
}

TComboBox* TComboFormControlObj::ComboBox() const
{
    return static_cast<TComboBox*>(WinControl());
}

void TComboFormControlObj::Restore()
{
    TComboBox* combo = ComboBox();
    if (!combo)
        return;
    combo->Items()->Assign(Options);
    int current = -1;
    for (int i = 0; i < Options.Count(); ++i)
        if (Option(i)->Selected)
            current = i;
    if (current < 0 && Options.Count() > 0)
        current = 0;
    combo->SetItemIndex(current);
}

bool TComboFormControlObj::SubmitPair(int Index, CodePageString& S)
{
    if (Index < 0 || Index >= Options.Count())
        return false;
    TComboBox* combo = ComboBox();
    S = combo && combo->ItemIndex() == Index ? OptionPair(Index) : CodePageString();
    return true;
}

void TComboFormControlObj::Measure(TCanvas* Canvas)
{
    // The drop-down is measured in the screen's default font.
    if (TComboBox* combo = ComboBox())
        SetSize(combo, ExtentIn(Canvas, TFont(), "A").cx * LongestOption + 30, combo->Height());
}

// --- text areas ------------------------------------------------------------------------------------

TTextAreaFormControlObj::TTextAreaFormControlObj(ThtmlForm& form, int pos, const TFormControlSpec& spec)
    : TFormControlObj(form, pos, spec)
{
    Rows = std::clamp(spec.Rows, 1, MaxControlLines);
    Cols = std::clamp(spec.Cols, 1, MaxControlChars);
    const bool wordWrap = spec.WordWrap;
    auto* memo = NewWindowControl<TMemo>(ComponentName("textarea"));
    UseDocumentFont(memo);
    memo->SetWordWrap(wordWrap);
    memo->SetScrollBars(wordWrap ? ssVertical : ssBoth);
    ConnectFocus();
}

TMemo* TTextAreaFormControlObj::Memo() const
{
    return static_cast<TMemo*>(WinControl());
}

void TTextAreaFormControlObj::Restore()
{
    if (TMemo* memo = Memo()) {
        memo->SetLines(&InitialLines);
        memo->SetSelStart(0);
    }
}

bool TTextAreaFormControlObj::SubmitPair(int Index, CodePageString& S)
{
    // The memo's lines are read once per submission: each read of one line
    // would read them all.
    if (Index == 0) {
        TMemo* memo = Memo();
        FSubmitLines.SetText(memo ? memo->Text() : CodePageString());
    }
    if (Index < 0 || Index >= FSubmitLines.Count())
        return false;
    S = Name + "=" + FSubmitLines[Index];
    return true;
}

void TTextAreaFormControlObj::Measure(TCanvas* Canvas)
{
    if (TMemo* memo = Memo()) {
        const TSize a = ExtentIn(Canvas, *memo->Font(), "A");
        SetSize(memo, a.cx * Cols + 5, a.cy * Rows + 5);
    }
}

// --- the list of controls ------------------------------------------------------------------------------

TFormControlObj* TFormControlList::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return FItems[std::size_t(index)];
}

void TFormControlList::Remove(TFormControlObj* control)
{
    const auto it = std::find(FItems.begin(), FItems.end(), control);
    if (it != FItems.end())
        FItems.erase(it);
}

TFormControlObj* TFormControlList::ControlAt(int Pos) const
{
    for (TFormControlObj* control : FItems)
        if (control->Pos == Pos)
            return control;
    return nullptr;
}

int TFormControlList::HeightAt(int Pos, std::uint8_t& TickBox) const
{
    const TFormControlObj* control = ControlAt(Pos);
    const TWinControl* window = control ? control->WinControl() : nullptr;
    if (!window)
        return -1;
    TickBox = control->TickBox;
    return window->Height();
}

int TFormControlList::WidthAt(int Pos) const
{
    const TFormControlObj* control = ControlAt(Pos);
    const TWinControl* window = control ? control->WinControl() : nullptr;
    return window ? window->Width() : -1;
}

int TFormControlList::CharsToNextControl(int Pos) const
{
    int nearest = 9999;
    for (const TFormControlObj* control : FItems)
        if (control->Pos >= Pos)
            nearest = std::min(nearest, control->Pos - Pos);
    return nearest;
}

void ShowControlsOutOfSight(const TFormControlList& controls)
{
    for (TFormControlObj* control : controls)
        if (!control->OnScreen)
            if (TWinControl* window = control->WinControl()) {
                window->SetLeft(-4000);
                window->Show();
            }
}

void HideControlsNotOnScreen(const TFormControlList& controls)
{
    const bool focusInside = std::any_of(controls.begin(), controls.end(), [](const TFormControlObj* control) {
        const TWinControl* focus = control->FocusControl();
        return focus && focus->Focused();
    });
    if (focusInside) {
        ShowControlsOutOfSight(controls);
        return;
    }
    for (TFormControlObj* control : controls)
        if (!control->OnScreen)
            if (TWinControl* window = control->WinControl())
                window->Hide();
}

// --- forms ----------------------------------------------------------------------------------------------

ThtmlForm* ThtmlForm::Create(TFormDocumentHost& document, const TFormSpec& spec)
{
    return document.FormList().Add(std::make_unique<ThtmlForm>(document, spec));
}

ThtmlForm::ThtmlForm(TFormDocumentHost& document, const TFormSpec& spec)
    : Document(&document), Method(spec.Method.substr(0, 4)), Action(spec.Action), Target(spec.Target),
      EncType(spec.EncType)
{
}

ThtmlForm::~ThtmlForm()
{
    if (TheOpenForm == this)
        TheOpenForm = nullptr;
    Controls.Clear();
}

TFormControlObj* ThtmlForm::AddControl(std::unique_ptr<TFormControlObj> control)
{
    if (!dynamic_cast<THiddenFormControlObj*>(control.get()))
        ++VisibleCount;
    return Controls.Add(std::move(control));
}

void ThtmlForm::Submit(const CodePageString& ButtonValue)
{
    if (!Document->Viewer().FormSubmitAssigned())
        return;
    auto results = std::make_unique<TStringList>();
    for (const auto& control : Controls) {
        CodePageString pair;
        for (int index = 0; control->SubmitPair(index, pair); ++index)
            if (!pair.empty())
                results->Add(pair);
    }
    if (!ButtonValue.empty())
        results->Add(ButtonValue);
    Document->Viewer().FormSubmit(Action, Target, EncType, Method, std::move(results));
}

void ThtmlForm::ResetAll()
{
    for (const auto& control : Controls)
        control->Restore();
}

void ThtmlForm::MeasureAll(TCanvas* Canvas)
{
    for (const auto& control : Controls)
        control->Measure(Canvas);
}

void ThtmlForm::UncheckSiblings(TRadioButtonFormControlObj* Radio)
{
    if (!Radio || Radio->Name.empty())
        return;
    for (const auto& control : Controls)
        if (auto* other = dynamic_cast<TRadioButtonFormControlObj*>(control.get()))
            if (other != Radio && SameText(other->Name, Radio->Name))
                other->SetChecked(false);
}

void ThtmlForm::EditKeyPress(TObject* Sender, char& Key)
{
    if (Key == '\r' && dynamic_cast<TEdit*>(Sender) && VisibleCount == 1)
        Submit(CodePageString());
}

ThtmlForm* OpenForm()
{
    return TheOpenForm;
}

void SetOpenForm(ThtmlForm* form)
{
    TheOpenForm = form;
}

// --- creating controls ---------------------------------------------------------------------------------

namespace {

template <class T>
std::unique_ptr<TFormControlObj> MakeControl(ThtmlForm& form, int pos, const TFormControlSpec& spec)
{
    return std::make_unique<T>(form, pos, spec);
}

using TControlFactory = std::unique_ptr<TFormControlObj> (*)(ThtmlForm&, int, const TFormControlSpec&);

// In the order of TFormControlKind.
constexpr std::array<TControlFactory, 9> ControlFactories = {
    MakeControl<TEditFormControlObj>,
    MakeControl<TButtonFormControlObj>,
    MakeControl<TRadioButtonFormControlObj>,
    MakeControl<TCheckBoxFormControlObj>,
    MakeControl<THiddenFormControlObj>,
    MakeControl<TImageFormControlObj>,
    MakeControl<TListBoxFormControlObj>,
    MakeControl<TComboFormControlObj>,
    MakeControl<TTextAreaFormControlObj>,
};
static_assert(std::size_t(TFormControlKind::TextArea) + 1 == ControlFactories.size());

}  // namespace

TFormControlObj* CreateFormControl(TFormDocumentHost& document, int pos, const TFormControlSpec& spec)
{
    ThtmlForm* form = OpenForm();
    if (!form || form->Document != &document) {
        form = ThtmlForm::Create(document);
        SetOpenForm(form);
    }
    const auto kind = std::size_t(spec.Kind);
    if (kind >= ControlFactories.size())
        return nullptr;
    TFormControlObj* added = form->AddControl(ControlFactories[kind](*form, pos, spec));
    document.FormControlList().Add(added);
    return added;
}
