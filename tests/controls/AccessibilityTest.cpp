// What assistive technology sees of the controls that draw themselves, found
// through the toolkit's accessibility as a screen reader would.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleTableInterface>

#include <algorithm>
#include <map>

#include "classlib/Accessibility.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "support/ControlWindows.h"
#include "support/Loop.h"

namespace {

std::string Text(QAccessibleInterface* node, QAccessible::Text what)
{
    return node ? node->text(what).toStdString() : std::string("<no interface>");
}

struct AccessFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 500, 400);
        form->Show();
    }
    void TearDown() override { delete form; }
    template <class T>
    T* Place(const char* name)
    {
        T* control = new T(form);
        control->Name = name;
        control->SetParent(form);
        return control;
    }
    TForm* form = nullptr;
};

TEST_F(AccessFixture, TheLedLabelReadsItsText)
{
    TLedLabel* led = Place<TLedLabel>("TotalDis");
    led->SetNumChars(4);
    led->SetText("1234");
    QAccessibleInterface* node = AccessibleOf(led);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(Text(node, QAccessible::Name), "1234");
    EXPECT_EQ(Text(node, QAccessible::Value), "1234");
    EXPECT_EQ(Text(node, QAccessible::Description), "TotalDis");
    led->SetText("77");
    EXPECT_EQ(Text(node, QAccessible::Name), "77");
}

TEST_F(AccessFixture, TheImageButtonIsAButtonThatPresses)
{
    TImgBtn* button = Place<TImgBtn>("Button6");
    button->SetCaption("Submit");
    int clicks = 0;
    button->OnClick = [&](TObject*) { ++clicks; };
    QAccessibleInterface* node = AccessibleOf(button);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->role(), QAccessible::Button);
    EXPECT_EQ(Text(node, QAccessible::Name), "Submit");
    EXPECT_EQ(Text(node, QAccessible::Description), "Button6");
    QAccessibleActionInterface* actions = node->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
}

TEST_F(AccessFixture, TheBitmapCheckBoxIsACheckBoxWithItsState)
{
    TBitCheckBox* box = Place<TBitCheckBox>("Live");
    box->SetCaption("&Live Results");
    QAccessibleInterface* node = AccessibleOf(box);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->role(), QAccessible::CheckBox);
    EXPECT_EQ(Text(node, QAccessible::Name), "Live Results");
    EXPECT_EQ(Text(node, QAccessible::Description), "Live");
    EXPECT_TRUE(node->state().checkable);
    EXPECT_FALSE(node->state().checked);
    box->SetChecked(true);
    EXPECT_TRUE(node->state().checked);
    box->SetState(cbGrayed);
    EXPECT_TRUE(node->state().checkStateMixed);

    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    QAccessibleActionInterface* actions = node->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    actions->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(box->State(), cbChecked);
    EXPECT_EQ(clicks, 1);
}

TEST_F(AccessFixture, TheListViewIsATableOfItsCells)
{
    TExListView* list = Place<TExListView>("ExListView2");
    list->SetBounds(0, 0, 400, 200);
    list->SetOwnerDraw(true);
    list->SetCheckboxes(true);
    for (const char* caption : {"Engines", "URL"})
        list->Columns()->Add()->SetCaption(caption);
    TListItem* item = list->Items()->Add();
    item->SetCaption("Alpha");
    item->SubItems()->Add("http://alpha.example/");
    ASSERT_TRUE(RunUntil([&] { return list->Showing(); }));

    QAccessibleInterface* node = AccessibleOf(list);
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(node->role() == QAccessible::Table || node->role() == QAccessible::Tree);
    EXPECT_EQ(Text(node, QAccessible::Description), "ExListView2");
    QAccessibleTableInterface* table = node->tableInterface();
    ASSERT_NE(table, nullptr);
    // The view lays its rows out once the loop runs.
    EXPECT_TRUE(RunUntil([&] { return table->rowCount() == 1; }));
    EXPECT_EQ(table->columnCount(), 2);
    EXPECT_EQ(Text(table->cellAt(0, 0), QAccessible::Name), "Alpha");
    EXPECT_EQ(Text(table->cellAt(0, 1), QAccessible::Name), "http://alpha.example/");
}

// A walk over the whole window finds every control by its component name.
TEST_F(AccessFixture, AWalkFindsEachControlByItsName)
{
    Place<TLedLabel>("ManLED")->SetText("3");
    Place<TImgBtn>("Button8")->SetCaption("Start");
    Place<TBitCheckBox>("CustomCk")->SetCaption("Custom Engines");
    TExListView* list = Place<TExListView>("ExListView1");
    list->SetBounds(0, 100, 300, 100);
    list->Columns()->Add()->SetCaption("Engines");
    list->Items()->Add()->SetCaption("Manual one");
    ASSERT_TRUE(RunPendingEvents());

    std::map<std::string, TAccessibleNode> byName;
    std::vector<std::string> cells;
    for (const TAccessibleNode& node : WalkAccessibleTree(form)) {
        if (!node.Description.empty())
            byName[node.Description] = node;
        if (node.Role == "Cell")
            cells.push_back(node.Name);
    }
    ASSERT_TRUE(byName.count("ManLED") && byName.count("Button8") && byName.count("CustomCk") &&
                byName.count("ExListView1"));
    EXPECT_EQ(byName["ManLED"].Name, "3");
    EXPECT_EQ(byName["ManLED"].Value, "3");
    EXPECT_EQ(byName["Button8"].Role, "Button");
    EXPECT_EQ(byName["Button8"].Name, "Start");
    EXPECT_EQ(byName["CustomCk"].Role, "CheckBox");
    EXPECT_EQ(byName["CustomCk"].Name, "Custom Engines");
    EXPECT_EQ(byName["ExListView1"].Role, "Table");
    EXPECT_NE(std::find(cells.begin(), cells.end(), "Manual one"), cells.end());
}

}  // namespace
