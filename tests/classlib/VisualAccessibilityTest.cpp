// What assistive technology finds on a form: every control with its
// component name as description; self-drawn controls with their own role,
// name, state and actions; the list view as a table of cells.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>

#include <map>

#include "classlib/Accessibility.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "classlib/Panels.h"
#include "classlib/StatusBar.h"
#include "support/ControlWindows.h"

namespace {

// A self-drawn push button, as the controls unit makes its image button.
class TPressable : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::PushButton; }
    std::vector<CodePageString> AccessibleActions() const override { return {AccessiblePressAction}; }
};

// A self-drawn check box with its state.
class TTick : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    bool checked = true;
    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::CheckBox; }
    TAccessibleState AccessibleState() const override
    {
        TAccessibleState s;
        s.Checkable = true;
        s.Checked = checked;
        return s;
    }
};

// A counter that tells its text as name and value.
class TCounter : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    CodePageString text = "1234";
    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::StaticText; }
    CodePageString AccessibleName() const override { return text; }
    CodePageString AccessibleValue() const override { return text; }
};

struct AccessibleForm : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(Application);
        form->Name = "SubmitMain";
        form->SetCaption("Tenvarel v1.0");
        form->SetBounds(0, 0, 500, 400);
    }
    void TearDown() override { delete form; }

    template <class T>
    T* Make(const char* name, int left, int top, int width, int height, TWinControl* parent = nullptr)
    {
        auto* c = new T(form);
        c->Name = name;
        c->SetParent(parent ? parent : form);
        c->SetBounds(left, top, width, height);
        return c;
    }

    std::map<CodePageString, TAccessibleNode> ByDescription(const std::vector<TAccessibleNode>& nodes)
    {
        std::map<CodePageString, TAccessibleNode> out;
        for (const auto& n : nodes)
            if (!n.Description.empty())
                out.emplace(n.Description, n);
        return out;
    }

    TForm* form = nullptr;
};

TEST_F(AccessibleForm, EveryControlIsFoundByItsComponentName)
{
    auto* label = Make<TLabel>("Label5", 10, 12, 60, 13);
    label->SetCaption("Title:");
    auto* title = Make<TEdit>("title", 80, 10, 200, 21);
    auto* submit = Make<TButton>("Button13", 10, 40, 75, 25);
    submit->SetCaption("&Preview");
    auto* panel = Make<TPanel>("Panel1", 10, 80, 300, 100);
    auto* image = Make<TPressable>("Button6", 5, 5, 80, 22, panel);
    image->SetCaption("Submit");
    auto* tick = Make<TTick>("BitCheckBox5", 5, 40, 97, 17, panel);
    tick->SetCaption("Classifieds");
    auto* led = Make<TCounter>("TotalDis", 120, 5, 60, 34, panel);
    auto* projects = Make<TCheckListBox>("SesList", 320, 10, 150, 100);
    projects->Items()->Add("Shop");
    form->Show();

    const auto nodes = WalkAccessibleTree(form);
    auto found = ByDescription(nodes);
    for (const char* name : {"title", "Button13", "Panel1", "Button6", "BitCheckBox5", "TotalDis", "SesList", "Label5"})
        EXPECT_TRUE(found.count(name)) << name;

    EXPECT_EQ(found["title"].Name, "Title:");  // the label beside it names the edit
    EXPECT_EQ(found["Button13"].Name, "Preview");
    EXPECT_EQ(found["Button6"].Role, "Button");
    EXPECT_EQ(found["Button6"].Name, "Submit");
    EXPECT_EQ(found["Button6"].Actions, std::vector<CodePageString>{"Press"});
    EXPECT_EQ(found["BitCheckBox5"].Role, "CheckBox");
    EXPECT_TRUE(found["BitCheckBox5"].Checked);
    EXPECT_EQ(found["TotalDis"].Name, "1234");
    EXPECT_EQ(found["TotalDis"].Value, "1234");
    EXPECT_EQ(found["Panel1"].Role, "Pane");
    (void)title;
    (void)led;
    (void)projects;

    // The press action runs the control's click.
    int clicks = 0;
    image->OnClick = [&](TObject*) { ++clicks; };
    QAccessibleInterface* iface = AccessibleOf(image);
    ASSERT_NE(iface, nullptr);
    ASSERT_NE(iface->actionInterface(), nullptr);
    iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
}

TEST_F(AccessibleForm, TheListViewIsATableOfItsCells)
{
    auto* list = Make<TListView>("ExListView2", 10, 10, 400, 200);
    list->SetViewStyle(vsReport);
    list->SetCheckboxes(true);
    list->SetOwnerDraw(true);
    for (const char* c : {"Engines", "URL", "Type"})
        list->Columns()->Add()->SetCaption(c);
    TListItem* row = list->Items()->Add();
    row->SetCaption("Example Engine");
    row->SubItems()->Add("http://www.example.com/add.html");
    row->SubItems()->Add("Engine");
    form->Show();

    QAccessibleInterface* table = AccessibleOf(list);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->role(), QAccessible::Table);
    EXPECT_EQ(table->text(QAccessible::Description), "ExListView2");
    QAccessibleTableInterface* cells = table->tableInterface();
    ASSERT_NE(cells, nullptr);
    EXPECT_EQ(cells->rowCount(), 1);
    EXPECT_EQ(cells->columnCount(), 3);
    QAccessibleInterface* cell = cells->cellAt(0, 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "http://www.example.com/add.html");
    EXPECT_EQ(cells->columnDescription(2), "Type");
}

// A status bar sits along the bottom of its form, its last panel reaching the
// right edge, and reads out the texts of its panels.
TEST_F(AccessibleForm, AStatusBarShowsItsPanelsAlongTheBottom)
{
    auto* bar = new TStatusBar(form);
    bar->Name = "StatusBar1";
    bar->SetParent(form);
    TStatusPanel* first = bar->Panels()->Add();
    first->SetWidth(120);
    first->SetText("Idle");
    bar->Panels()->Add()->SetText("12 found");
    form->Show();

    EXPECT_EQ(bar->Top() + bar->Height(), form->ClientHeight());
    EXPECT_EQ(bar->Width(), form->ClientWidth());
    const std::vector<TRect> rects = bar->PanelRects();
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(rects[0].Right - rects[0].Left, 120);
    EXPECT_EQ(rects[1].Right, bar->ClientWidth());
    EXPECT_THROW(bar->Panels()->Items(2), EListError);

    auto found = ByDescription(WalkAccessibleTree(form));
    ASSERT_TRUE(found.count("StatusBar1"));
    EXPECT_EQ(found["StatusBar1"].Role, "StatusBar");
    EXPECT_EQ(found["StatusBar1"].Name, "Idle | 12 found");
    first->SetText("Done");
    bar->SetSimplePanel(true);
    bar->SetSimpleText("Only this");
    EXPECT_EQ(ByDescription(WalkAccessibleTree(form))["StatusBar1"].Name, "Only this");
}

}  // namespace
