// Form controls as real controls on a paint panel, headless: the pairs each
// kind submits, radio groups, the Enter key, reset, image clicks, list
// selection, buttons, the sizes attributes give, the document's control list,
// focus, lifetime and what assistive technology finds.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "classlib/Accessibility.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "classlib/Panels.h"
#include "htmlview/HtmlBuild.h"
#include "htmlview/HtmlForms.h"
#include "htmlview/HtmlParse.h"
#include "htmlview/HtmlViewerHost.h"
#include "support/FixedCanvas.h"
#include "support/UserClick.h"

namespace {

using Pairs = std::vector<CodePageString>;

Pairs LinesOf(const TStrings& list)
{
    Pairs out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list[i]);
    return out;
}

// The document and its viewer: records submissions, clicks and focus changes.
class TTestHost : public TFormDocumentHost, public TStandaloneHost {
public:
    explicit TTestHost(TWinControl* panel) { Panel = panel; }
    ~TTestHost() override { Forms.Clear(); }

    struct TSubmission {
        CodePageString Action, Target, EncType, Method;
        Pairs Results;
    };

    TFreeList<ThtmlForm>& FormList() override { return Forms; }
    TFormControlList& FormControlList() override { return Controls; }
    TViewerHost& Viewer() override { return *this; }
    CodePageString FontName() const override { return "Arial"; }
    bool FormSubmitAssigned() const override { return SubmitAssigned; }
    void FormSubmit(const CodePageString& Action, const CodePageString& Target, const CodePageString& EncType,
                    const CodePageString& Method, std::unique_ptr<TStringList> Results) override
    {
        Submissions.push_back({Action, Target, EncType, Method, LinesOf(*Results)});
    }
    void ObjectClick(TFormControlObj* Obj, const CodePageString& OnClick) override { Clicks.push_back({Obj, OnClick}); }
    void FormControlEntered(TFormControlObj* Obj) override { Entered.push_back(Obj); }
    void FormControlExited(TFormControlObj* Obj) override { Exited.push_back(Obj); }

    // The pairs of the last submission; none when nothing was submitted.
    std::optional<Pairs> LastPairs() const
    {
        if (Submissions.empty())
            return std::nullopt;
        return Submissions.back().Results;
    }

    TFreeList<ThtmlForm> Forms;
    TFormControlList Controls;
    bool SubmitAssigned = true;
    std::vector<TSubmission> Submissions;
    std::vector<std::pair<TFormControlObj*, CodePageString>> Clicks;
    std::vector<TFormControlObj*> Entered;
    std::vector<TFormControlObj*> Exited;
};

void CopyAttributes(const HtmlToken& token, TAttributeList& list)
{
    for (const TAttribute& a : token.Attributes)
        list.Add(a.Symbol, a.Value, a.Text);
}

class FormsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetOpenForm(nullptr);
        nextPos = 0;
        window = new TForm(Application);
        window->SetBounds(0, 0, 640, 480);
        panel = new TPanel(window);
        panel->SetParent(window);
        panel->SetAlign(alClient);
        host = std::make_unique<TTestHost>(panel);
    }
    void TearDown() override
    {
        host.reset();
        delete window;
        SetOpenForm(nullptr);
    }

    // A new document on a new window, for the next case of a table.
    void Restart()
    {
        TearDown();
        SetUp();
    }

    // Builds the forms of a page as the document builder does: FORM opens a
    // form and its end closes it; INPUT, SELECT and TEXTAREA make their
    // controls at consecutive positions; OPTION texts go to the open SELECT
    // and text to the open TEXTAREA as lines; both take their initial state
    // at their end tag.
    void Build(const std::string& html)
    {
        TListBoxFormControlObj* select = nullptr;
        TTextAreaFormControlObj* area = nullptr;
        bool optionOpen = false;
        CodePageString optionText, optionValue;
        bool optionSelected = false;
        auto completeOption = [&] {
            if (select && optionOpen && !Trim(optionText).empty())
                select->AddOption(Trim(optionText), optionValue, optionSelected);
            optionOpen = false;
        };
        for (const HtmlToken& token : TokenizeHtml(html)) {
            TAttributeList attributes;
            CopyAttributes(token, attributes);
            switch (token.Symbol) {
            case HtmlSymbol::Form:
                SetOpenForm(ThtmlForm::Create(*host, FormSpecOf(attributes)));
                break;
            case HtmlSymbol::FormEnd:
                SetOpenForm(nullptr);
                break;
            case HtmlSymbol::Input:
            case HtmlSymbol::Select:
            case HtmlSymbol::TextArea: {
                TFormControlObj* control = CreateFormControl(*host, nextPos++, FormControlSpecOf(token.Symbol, attributes));
                if (token.Symbol == HtmlSymbol::Select)
                    select = static_cast<TListBoxFormControlObj*>(control);
                if (token.Symbol == HtmlSymbol::TextArea)
                    area = static_cast<TTextAreaFormControlObj*>(control);
                break;
            }
            case HtmlSymbol::Option: {
                completeOption();
                optionOpen = true;
                optionText.clear();
                TAttribute* a = nullptr;
                optionValue = attributes.FindSymbol(HtmlSymbol::Value, a) ? a->Text : CodePageString();
                optionSelected = attributes.FindSymbol(HtmlSymbol::Selected, a);
                break;
            }
            case HtmlSymbol::OptionEnd:
                completeOption();
                break;
            case HtmlSymbol::SelectEnd:
                completeOption();
                if (select)
                    select->Restore();
                select = nullptr;
                break;
            case HtmlSymbol::TextAreaEnd:
                if (area)
                    area->Restore();
                area = nullptr;
                break;
            case HtmlSymbol::Text:
                if (optionOpen)
                    optionText += token.Text;
                else if (area && !Trim(token.Text).empty())
                    area->AddLine(Trim(token.Text));
                break;
            default:
                break;
            }
        }
    }

    ThtmlForm* Form(int index = 0) { return host->Forms[index]; }
    template <class T = TFormControlObj>
    T* Control(int index)
    {
        auto* control = dynamic_cast<T*>(host->Controls.Items(index));
        EXPECT_NE(control, nullptr) << "control " << index;
        return control;
    }
    // What the first form submits now, with an empty button value.
    std::optional<Pairs> SubmitNow(int form = 0)
    {
        host->Submissions.clear();
        Form(form)->Submit("");
        return host->LastPairs();
    }

    TForm* window = nullptr;
    TPanel* panel = nullptr;
    std::unique_ptr<TTestHost> host;
    int nextPos = 0;
};

// --- submission pairs ---------------------------------------------------------------

TEST_F(FormsTest, EveryKindSubmitsItsPairs)
{
    struct Case {
        const char* html;
        Pairs pairs;
    };
    const Case cases[] = {
        {"<input type=hidden name=h value=\"a b&amp;c\">", {"h=a b&c"}},  // not encoded
        {"<input name=q value=cats>", {"q=cats"}},
        {"<input type=password name=p value=s3cret>", {"p=s3cret"}},
        {"<input type=unknown name=u value=v>", {"u=v"}},
        {"<input type=checkbox name=c>", {}},
        {"<input type=checkbox name=c checked>", {"c=On"}},
        {"<input type=checkbox name=c value=yes checked>", {"c=yes"}},
        {"<input type=radio name=r value=1><input type=radio name=r value=2 checked>", {"r=2"}},
        {"<select name=s><option>One<option value=2 selected>Two</select>", {"s=2"}},
        {"<select name=s><option>One<option>Two</select>", {"s=One"}},
        {"<select name=s><option selected>One<option selected>Two<option>Three</select>", {"s=Two"}},
        {"<select name=s size=3><option>One<option selected>Two<option>Three</select>", {"s=Two"}},
        {"<select name=s size=3><option>One<option>Two</select>", {"s=One"}},
        {"<select name=m multiple><option selected>A<option>B<option value=c selected>C</select>", {"m=A", "m=c"}},
        {"<select name=m multiple><option>A<option>B</select>", {}},
        {"<textarea name=t>one</textarea>", {"t=one"}},
        {"<textarea name=t></textarea>", {}},
        {"<input type=submit name=go value=Go><input type=reset name=r><input type=button name=b value=x>", {}},
        {"<input type=image name=go src=go.gif>", {}},
        {"<input type=hidden value=nameless>", {"=nameless"}},
    };
    for (const Case& c : cases) {
        Restart();
        Build(c.html);
        EXPECT_EQ(SubmitNow(), c.pairs) << c.html;
    }
}

TEST_F(FormsTest, TypedTextAndEveryLineOfATextAreaAreSubmitted)
{
    Build("<form><input name=q value=cats><textarea name=t>x</textarea></form>");
    Control<TEditFormControlObj>(0)->Edit()->SetText("dogs & mice");
    auto* area = Control<TTextAreaFormControlObj>(1);
    area->Memo()->SetText("one\r\ntwo\r\nthree");
    EXPECT_EQ(SubmitNow(), (Pairs{"q=dogs & mice", "t=one", "t=two", "t=three"}));
}

TEST_F(FormsTest, ASubmitButtonSendsTheFormWithItsOwnPairLast)
{
    Build("<form action=/find method=postal target=_top enctype=text/plain>"
          "<input type=submit name=go value=Go><input name=q value=x><input type=hidden name=h value=1>"
          "<input type=submit value=Anonymous></form>");
    Control<TButtonFormControlObj>(0)->Button()->Click();
    ASSERT_EQ(host->Submissions.size(), 1u);
    const auto& sent = host->Submissions.back();
    EXPECT_EQ(sent.Action, "/find");
    EXPECT_EQ(sent.Target, "_top");
    EXPECT_EQ(sent.EncType, "text/plain");
    EXPECT_EQ(sent.Method, "post");  // at most four characters
    EXPECT_EQ(sent.Results, (Pairs{"q=x", "h=1", "go=Go"}));

    // A button without a name adds nothing of its own.
    Control<TButtonFormControlObj>(3)->Button()->Click();
    EXPECT_EQ(host->LastPairs(), (Pairs{"q=x", "h=1"}));

    // A form without attributes submits with GET and no address.
    Build("<form><input type=submit></form>");
    Control<TButtonFormControlObj>(4)->Button()->Click();
    EXPECT_EQ(host->Submissions.back().Method, "Get");
    EXPECT_EQ(host->Submissions.back().Action, "");
}

TEST_F(FormsTest, WithoutASubmitHandlerNothingIsSubmitted)
{
    host->SubmitAssigned = false;
    Build("<form><input name=q><input type=submit name=go></form>");
    Control<TButtonFormControlObj>(1)->Button()->Click();
    char enter = '\r';
    Form()->EditKeyPress(Control<TEditFormControlObj>(0)->Edit(), enter);
    EXPECT_TRUE(host->Submissions.empty());
}

// --- radio groups --------------------------------------------------------------------

TEST_F(FormsTest, RadioButtonsOfOneNameExcludeEachOtherWithinTheirFormOnly)
{
    Build("<form><input type=radio name=a value=1 checked onclick=\"pick(2)\"><input type=radio name=A value=2>"
          "<input type=radio value=3 checked><input type=radio value=4></form>"
          "<form><input type=radio name=a value=5 checked></form>");
    window->Show();
    auto* first = Control<TRadioButtonFormControlObj>(0);
    auto* second = Control<TRadioButtonFormControlObj>(1);
    auto* otherForm = Control<TRadioButtonFormControlObj>(4);

    ClickAt(second->RadioButton(), 6, 7);
    EXPECT_TRUE(second->Checked());
    EXPECT_FALSE(first->Checked());   // "a" and "A" are one group
    EXPECT_TRUE(otherForm->Checked());  // another form keeps its own
    EXPECT_EQ(SubmitNow(0), (Pairs{"A=2", "=3"}));

    ClickAt(first->RadioButton(), 6, 7);
    EXPECT_FALSE(second->Checked());

    // Radio buttons without a name clear nobody.
    ClickAt(Control<TRadioButtonFormControlObj>(3)->RadioButton(), 6, 7);
    EXPECT_TRUE(Control<TRadioButtonFormControlObj>(2)->Checked());
    EXPECT_TRUE(Control<TRadioButtonFormControlObj>(3)->Checked());

    // Each click raises the document's click event with the ONCLICK text.
    ASSERT_EQ(host->Clicks.size(), 3u);
    EXPECT_EQ(host->Clicks[0].first, second);
    EXPECT_EQ(host->Clicks[1].first, first);
    EXPECT_EQ(host->Clicks[1].second, "pick(2)");
}

TEST_F(FormsTest, ACheckBoxClickRaisesTheClickEvent)
{
    Build("<input type=checkbox name=c onclick=\"tick()\">");
    window->Show();
    auto* box = Control<TCheckBoxFormControlObj>(0);
    ClickAt(box->CheckBox(), 6, 6);
    EXPECT_TRUE(box->CheckBox()->Checked());
    ASSERT_EQ(host->Clicks.size(), 1u);
    EXPECT_EQ(host->Clicks[0], std::make_pair(static_cast<TFormControlObj*>(box), CodePageString("tick()")));
    EXPECT_EQ(SubmitNow(), Pairs{"c=On"});
}

// --- the Enter key ----------------------------------------------------------------------

TEST_F(FormsTest, EnterSubmitsAFormThatShowsOnlyTheEdit)
{
    struct Case {
        const char* html;
        char key;
        std::optional<Pairs> submitted;
    };
    const Case cases[] = {
        {"<form><input name=q value=x><input type=hidden name=h value=1></form>", '\r', Pairs{"q=x", "h=1"}},
        {"<form><input type=password name=p value=x></form>", '\r', Pairs{"p=x"}},
        {"<form><input name=q><input name=r></form>", '\r', std::nullopt},
        {"<form><input name=q><input type=submit name=go></form>", '\r', std::nullopt},
        {"<form><input name=q><input type=checkbox name=c></form>", '\r', std::nullopt},
        {"<form><input name=q value=x></form>", 'a', std::nullopt},
    };
    for (const Case& c : cases) {
        Restart();
        Build(c.html);
        char key = c.key;
        Control<TEditFormControlObj>(0)->Edit()->HandleKeyPress(key);
        EXPECT_EQ(host->LastPairs(), c.submitted) << c.html;
    }

    // Only an edit's key submits.
    Restart();
    Build("<form><textarea name=t>x</textarea></form>");
    char enter = '\r';
    Form()->EditKeyPress(Control<TTextAreaFormControlObj>(0)->Memo(), enter);
    EXPECT_TRUE(host->Submissions.empty());
}

// --- reset ---------------------------------------------------------------------------------

TEST_F(FormsTest, ResetRestoresEveryKind)
{
    Build("<form><input name=q value=start><input type=checkbox name=c checked><input type=checkbox name=d>"
          "<input type=radio name=r value=1 checked><input type=radio name=r value=2>"
          "<select name=s><option>A<option selected>B<option>C</select>"
          "<select name=l size=4><option>A<option>B<option selected>C</select>"
          "<select name=m multiple><option selected>A<option>B<option selected>C</select>"
          "<textarea name=t>first</textarea><input type=reset onclick=\"again()\"></form>");
    host->SubmitAssigned = true;
    const auto initial = SubmitNow();
    ASSERT_EQ(initial, (Pairs{"q=start", "c=On", "r=1", "s=B", "l=C", "m=A", "m=C", "t=first"}));

    Control<TEditFormControlObj>(0)->Edit()->SetText("typed");
    Control<TCheckBoxFormControlObj>(1)->CheckBox()->SetChecked(false);
    Control<TCheckBoxFormControlObj>(2)->CheckBox()->SetChecked(true);
    Control<TRadioButtonFormControlObj>(4)->RadioButton()->SetChecked(true);
    Control<TComboFormControlObj>(5)->ComboBox()->SetItemIndex(2);
    Control<TListBoxFormControlObj>(6)->ListBox()->SetItemIndex(0);
    auto* multiple = Control<TListBoxFormControlObj>(7)->ListBox();
    multiple->SetSelected(0, false);
    multiple->SetSelected(1, true);
    Control<TTextAreaFormControlObj>(8)->Memo()->SetText("second\r\nthird");
    ASSERT_EQ(SubmitNow(), (Pairs{"q=typed", "d=On", "r=2", "s=C", "l=A", "m=B", "m=C", "t=second", "t=third"}));

    // Reset works without a submit handler, and raises no click of its own
    // for the boxes it puts back.
    host->SubmitAssigned = false;
    host->Clicks.clear();
    Control<TButtonFormControlObj>(9)->Button()->Click();
    ASSERT_EQ(host->Clicks.size(), 1u);
    EXPECT_EQ(host->Clicks[0].second, "again()");
    host->SubmitAssigned = true;
    EXPECT_EQ(SubmitNow(), initial);
    EXPECT_EQ(Control<TTextAreaFormControlObj>(8)->Memo()->SelStart(), 0);
}

// --- image inputs -------------------------------------------------------------------------

TEST_F(FormsTest, AnImageClickSendsItsPointOnce)
{
    Build("<form><input type=image name=go src=go.gif><input type=submit name=s value=S></form>"
          "<form><input type=image src=x.gif></form>");
    auto* image = Control<TImageFormControlObj>(0);
    EXPECT_EQ(image->WinControl(), nullptr);

    // Moving over the picture alone sends nothing.
    image->SetMousePoint(3, 4);
    Control<TButtonFormControlObj>(1)->Button()->Click();
    EXPECT_EQ(host->LastPairs(), Pairs{"s=S"});

    image->SetMousePoint(12, 34);
    image->ImageClicked();
    EXPECT_EQ(host->LastPairs(), (Pairs{"go.x=12", "go.y=34"}));
    Control<TButtonFormControlObj>(1)->Button()->Click();
    EXPECT_EQ(host->LastPairs(), Pairs{"s=S"});

    // Without a handler the point is not kept for a later submission.
    host->SubmitAssigned = false;
    image->ImageClicked();
    host->SubmitAssigned = true;
    Control<TButtonFormControlObj>(1)->Button()->Click();
    EXPECT_EQ(host->LastPairs(), Pairs{"s=S"});

    auto* nameless = Control<TImageFormControlObj>(2);
    nameless->SetMousePoint(0, 7);
    nameless->ImageClicked();
    EXPECT_EQ(host->LastPairs(), (Pairs{"x=0", "y=7"}));
}

// --- list boxes and buttons -----------------------------------------------------------------------

TEST_F(FormsTest, ListBoxesSubmitTheirSelectionOrTheirCurrentItem)
{
    Build("<form><select name=one size=3><option>A<option value=b>B<option>C</select>"
          "<select name=many multiple><option>A<option value=b>B<option>C</select></form>");
    TListBox* one = Control<TListBoxFormControlObj>(0)->ListBox();
    TListBox* many = Control<TListBoxFormControlObj>(1)->ListBox();
    EXPECT_FALSE(one->MultiSelect());
    EXPECT_TRUE(many->MultiSelect());
    EXPECT_TRUE(many->ExtendedSelect());
    EXPECT_EQ(many->ItemIndex(), 0);  // the first is current, not selected
    EXPECT_EQ(many->SelCount(), 0);

    one->SetItemIndex(1);
    many->SetSelected(0, true);
    many->SetSelected(2, true);
    EXPECT_EQ(SubmitNow(), (Pairs{"one=b", "many=A", "many=C"}));

    // Moving the current item of a multiple list keeps its selection.
    many->SetItemIndex(1);
    EXPECT_EQ(SubmitNow(), (Pairs{"one=b", "many=A", "many=C"}));
}

TEST_F(FormsTest, ButtonsTakeTheirKindAndCaptionFromTypeAndValue)
{
    struct Case {
        const char* html;
        TButtonFormControlObj::TButtonKind kind;
        const char* caption;
    };
    const Case cases[] = {
        {"<input type=submit>", TButtonFormControlObj::bkSubmit, "Submit"},
        {"<input type=SUBMIT value=Search>", TButtonFormControlObj::bkSubmit, "Search"},
        {"<input type=reset>", TButtonFormControlObj::bkReset, "Reset"},
        {"<input type=button>", TButtonFormControlObj::bkPlain, "Button"},
        {"<input type=submit value=\"\">", TButtonFormControlObj::bkSubmit, ""},
        {"<input type=button value=\"Terms &amp; Conditions\">", TButtonFormControlObj::bkPlain,
         "Terms & Conditions"},
    };
    for (const Case& c : cases) {
        Restart();
        Build(c.html);
        auto* button = Control<TButtonFormControlObj>(0);
        EXPECT_EQ(button->Kind, c.kind) << c.html;
        EXPECT_EQ(button->Caption(), c.caption) << c.html;
    }

    // A plain button raises only the click event.
    Build("<form><input type=button value=x onclick=\"go()\"><input name=q></form>");
    auto* plain = Control<TButtonFormControlObj>(1);
    plain->Button()->Click();
    EXPECT_TRUE(host->Submissions.empty());
    ASSERT_EQ(host->Clicks.size(), 1u);
    EXPECT_EQ(host->Clicks[0].second, "go()");
}

// --- sizes --------------------------------------------------------------------------------------

TEST_F(FormsTest, AttributesGiveSaneSizes)
{
    // The fixed canvas: "A" is 7 by 16.
    struct Case {
        const char* html;
        int width;
        int height;
    };
    const TSize square = CheckBoxIndicatorSize();
    const TSize circle = RadioButtonIndicatorSize();
    const Case cases[] = {
        {"<input>", 7 * 20 + 5, 20},
        {"<input size=5>", 7 * 5 + 5, 20},
        {"<input size=0>", 7 * 20 + 5, 20},
        {"<input size=-3>", 7 * 20 + 5, 20},
        {"<input size=abc>", 7 * 20 + 5, 20},
        {"<input size=\"30,2\">", 7 * 30 + 5, 20},
        {"<input size=\"30 2\">", 7 * 30 + 5, 20},
        {"<input size=\",30\">", 7 * 20 + 5, 20},
        {"<input size=\"x,2\">", 7 * 20 + 5, 20},
        {"<input size=\"-4,2\">", 7 * 20 + 5, 20},
        {"<input size=2147483647>", 7 * MaxControlChars + 5, 20},
        {"<input size=\"99999999999,2\">", 7 * 20 + 5, 20},
        {"<textarea>", 7 * 30 + 5, 16 * 5 + 5},
        {"<textarea cols=10 rows=2>", 7 * 10 + 5, 16 * 2 + 5},
        {"<textarea cols=-4 rows=0>", 7 * 30 + 5, 16 * 5 + 5},
        {"<textarea cols=x rows=\"3,4\">", 7 * 30 + 5, 16 * 5 + 5},
        {"<textarea cols=99999 rows=2147483647>", 7 * MaxControlChars + 5, 16 * MaxControlLines + 5},
        {"<select multiple></select>", 7 * 3 + 15, 16},
        {"<select multiple><option>A<option>B<option>C<option>D<option>E<option>F"
         "<option>G<option>H<option>I<option>J<option>K<option>Twelve</select>",
         7 * 6 + 15, 16 * 8},
        {"<select size=3><option>A</select>", 7 * 3 + 15, 16 * 3},
        {"<select multiple size=-2><option>A<option>B</select>", 7 * 3 + 15, 16 * 2},
        {"<select size=100000></select>", 7 * 3 + 15, 16 * MaxControlLines},
        {"<input type=submit>", 7 * 6 + 20, 16 + 8},
        // Tick boxes: 13 by 13 and 13 by 14, or as large as the style draws them.
        {"<input type=checkbox>", std::max(13, square.cx), std::max(13, square.cy)},
        {"<input type=radio>", std::max(13, circle.cx), std::max(14, circle.cy)},
    };
    TFixedCanvas canvas;
    for (const Case& c : cases) {
        Restart();
        Build(c.html);
        Form()->MeasureAll(&canvas);
        std::uint8_t tick = 9;
        EXPECT_EQ(host->Controls.WidthAt(0), c.width) << c.html;
        EXPECT_EQ(host->Controls.HeightAt(0, tick), c.height) << c.html;
    }

    // A drop-down list is as wide as its longest option, in the screen font.
    Restart();
    Build("<select><option>Longer one</select>");
    Form()->MeasureAll(&canvas);
    EXPECT_EQ(host->Controls.WidthAt(0), 7 * 10 + 30);
}

TEST_F(FormsTest, MaxLengthKeepsASaneLimit)
{
    struct Case {
        const char* html;
        int maxLength;
    };
    const Case cases[] = {
        {"<input>", 0},
        {"<input maxlength=8>", 8},
        {"<input maxlength=-1>", 0},
        {"<input maxlength=many>", 0},
        {"<input maxlength=2147483647>", MaxEditLength},
    };
    for (const Case& c : cases) {
        Restart();
        Build(c.html);
        EXPECT_EQ(Control<TEditFormControlObj>(0)->Edit()->MaxLength(), c.maxLength) << c.html;
    }
    Restart();
    Build("<input type=password maxlength=3 value=abcdef>");
    EXPECT_EQ(Control<TEditFormControlObj>(0)->Edit()->PasswordChar(), '*');
}

// --- the document's list of controls ---------------------------------------------------------------

TEST_F(FormsTest, TheControlListAnswersTheLineBreaker)
{
    Build("<input type=checkbox><input>");
    TFixedCanvas canvas;
    Form()->MeasureAll(&canvas);
    // Placed at characters 10 and 4 of their section, out of order.
    TFormControlList list;
    host->Controls.Items(0)->Pos = 10;
    host->Controls.Items(1)->Pos = 4;
    list.Add(host->Controls.Items(0));
    list.Add(host->Controls.Items(1));

    std::uint8_t tick = 9;
    EXPECT_EQ(list.ControlAt(10), host->Controls.Items(0));
    EXPECT_EQ(list.ControlAt(5), nullptr);
    EXPECT_EQ(list.HeightAt(10, tick), std::max(13, CheckBoxIndicatorSize().cy));
    EXPECT_EQ(tick, 1);
    EXPECT_EQ(list.HeightAt(4, tick), 20);
    EXPECT_EQ(tick, 0);
    tick = 9;
    EXPECT_EQ(list.HeightAt(5, tick), -1);
    EXPECT_EQ(tick, 9);
    EXPECT_EQ(list.WidthAt(4), 7 * 20 + 5);
    EXPECT_EQ(list.WidthAt(0), -1);

    struct Case {
        int pos;
        int chars;
    };
    for (const Case c : {Case{0, 4}, Case{4, 0}, Case{5, 5}, Case{10, 0}, Case{11, 9999}}) {
        EXPECT_EQ(list.CharsToNextControl(c.pos), c.chars) << c.pos;
    }
    EXPECT_EQ(TFormControlList().CharsToNextControl(0), 9999);
}

// --- forms, lifetime and focus ---------------------------------------------------------------------

TEST_F(FormsTest, EveryControlHasAForm)
{
    Build("<input type=hidden name=a><input name=b><form><input name=c></form><input name=d>");
    ASSERT_EQ(host->Forms.Count(), 3);
    EXPECT_EQ(Form(0)->Controls.Count(), 2);  // controls before any FORM share one made for them
    EXPECT_EQ(Form(0)->VisibleCount, 1);      // the hidden field is not counted
    EXPECT_EQ(Form(1)->Controls.Count(), 1);
    EXPECT_EQ(Form(2)->Controls.Count(), 1);  // after the FORM's end, a new one
    EXPECT_EQ(Control(3)->OwnerForm, Form(2));

    // A form that goes stops being the open form, and takes its controls
    // out of the document's list and off the panel.
    const int onPanel = panel->ControlCount();
    EXPECT_EQ(OpenForm(), Form(2));
    host->Forms.Delete(2);
    EXPECT_EQ(OpenForm(), nullptr);
    EXPECT_EQ(host->Controls.Count(), 3);
    EXPECT_EQ(panel->ControlCount(), onPanel - 1);

    // Another document's open form is never joined.
    TTestHost other(panel);
    SetOpenForm(Form(1));
    TFormControlObj* control = CreateFormControl(other, 0, TFormControlSpec{});
    EXPECT_EQ(control->OwnerForm->Document, &other);
    EXPECT_EQ(other.Forms.Count(), 1);
}

TEST_F(FormsTest, ControlsOutliveThePanelTheyWereOn)
{
    Build("<form><input name=q value=x><input type=radio name=r checked><select name=s><option>A</select>"
          "<input type=submit></form>");
    delete panel;  // destroys the window controls inside it
    panel = nullptr;
    host->Panel = nullptr;
    for (TFormControlObj* control : host->Controls)
        EXPECT_EQ(control->WinControl(), nullptr);
    EXPECT_EQ(Control<TRadioButtonFormControlObj>(1)->RadioButton(), nullptr);
    TFixedCanvas canvas;
    Form()->MeasureAll(&canvas);
    Form()->ResetAll();
    EXPECT_EQ(SubmitNow(), Pairs{"q=x"});
    std::uint8_t tick = 0;
    EXPECT_EQ(host->Controls.HeightAt(0, tick), -1);
    host->Forms.Clear();
    EXPECT_EQ(host->Controls.Count(), 0);
}

TEST_F(FormsTest, FocusShowsTheControlsScrolledAwayOutOfSight)
{
    Build("<form><input name=a><input type=radio name=r><input name=c></form>");
    window->Show();
    auto* a = Control<TEditFormControlObj>(0);
    auto* radio = Control<TRadioButtonFormControlObj>(1);
    auto* c = Control<TEditFormControlObj>(2);
    a->OnScreen = true;
    a->Edit()->SetBounds(30, 40, 145, 20);
    for (TFormControlObj* control : host->Controls)
        if (!control->OnScreen)
            control->WinControl()->Hide();

    radio->RadioButton()->HandleFocusIn();
    ASSERT_EQ(host->Entered, std::vector<TFormControlObj*>{radio});
    EXPECT_EQ(a->Edit()->Left(), 30);  // placed by the paint, left alone
    for (TFormControlObj* away : {static_cast<TFormControlObj*>(radio), static_cast<TFormControlObj*>(c)}) {
        EXPECT_TRUE(away->WinControl()->Visible());
        EXPECT_EQ(away->WinControl()->Left(), -4000);
        EXPECT_EQ(away->WinControl()->Top(), -400);
    }

    radio->RadioButton()->HandleFocusOut();
    EXPECT_EQ(host->Exited, std::vector<TFormControlObj*>{radio});
    HideControlsNotOnScreen(host->Controls);  // nothing of the document has the focus
    EXPECT_FALSE(c->WinControl()->Visible());
    EXPECT_FALSE(radio->WinControl()->Visible());
    EXPECT_TRUE(a->Edit()->Visible());
}

TEST_F(FormsTest, AssistiveTechnologyFindsEveryControlByName)
{
    Build("<form><input name=q value=cats><input type=checkbox name=agree checked>"
          "<input type=radio name=size value=s><input type=submit value=Search><input type=reset>"
          "<input type=button name=terms value=\"Terms &amp; Conditions\">"
          "<select name=pick><option>One</select><textarea name=notes>hi</textarea></form>");
    window->Show();
    std::map<CodePageString, TAccessibleNode> found;
    for (const TAccessibleNode& node : WalkAccessibleTree(window))
        if (!node.Description.empty())
            found.emplace(node.Description, node);
    for (const char* name : {"q", "agree", "size", "Submit", "Reset", "pick", "notes"})
        EXPECT_TRUE(found.count(name)) << name;
    EXPECT_EQ(found["q"].Value, "cats");
    EXPECT_TRUE(found["agree"].Checked);
    EXPECT_EQ(found["Submit"].Name, "Search");
    EXPECT_EQ(found["Reset"].Name, "Reset");
    EXPECT_EQ(found["terms"].Name, "Terms & Conditions");  // no accelerator made of the "&"
}

}  // namespace
