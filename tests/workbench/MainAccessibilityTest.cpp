// What assistive technology finds of the main window, walked in process
// through the toolkit's accessibility interfaces.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>

#include <functional>
#include <map>
#include <set>

#include "MainFixture.h"
#include "classlib/Forms.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "support/ControlWindows.h"
#include "workbench/SubmitMain.h"

namespace {

std::string Text(QAccessibleInterface* iface, QAccessible::Text what)
{
    return iface ? iface->text(what).toStdString() : std::string();
}

// Every control the window owns, by its component name.
std::map<std::string, TControl*> OwnedControls(TComponent& owner)
{
    std::map<std::string, TControl*> controls;
    for (int i = 0; i < owner.ComponentCount(); ++i)
        if (auto* control = dynamic_cast<TControl*>(owner.Components(i)))
            controls[control->Name] = control;
    return controls;
}

TEST(MainAccessibility, EveryControlCarriesItsComponentName)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    SubmitMain->Show();

    const auto controls = OwnedControls(*SubmitMain);
    ASSERT_GT(controls.size(), 100u);
    for (const auto& [name, control] : controls) {
        QAccessibleInterface* iface = AccessibleOf(control);
        ASSERT_NE(iface, nullptr) << name;
        EXPECT_EQ(Text(iface, QAccessible::Description), name);
    }

    // Walking down from the window reaches every one of them.
    std::set<std::string> found;
    std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* iface, int depth) {
        if (!iface || depth > 40)
            return;
        found.insert(Text(iface, QAccessible::Description));
        for (int i = 0; i < iface->childCount(); ++i)
            walk(iface->child(i), depth + 1);
    };
    walk(AccessibleOf(SubmitMain), 0);
    for (const auto& [name, control] : controls)
        EXPECT_TRUE(found.count(name)) << name << " is not reached from the window";
}

TEST(MainAccessibility, OwnDrawnControlsTellWhatTheyShow)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    SubmitMain->Show();
    const auto of = AccessibleOf;

    // The LED counters read as their number.
    QAccessibleInterface* total = of(SubmitMain->TotalDis);
    EXPECT_EQ(Text(total, QAccessible::Name), "29");
    EXPECT_EQ(Text(total, QAccessible::Value), "29");
    EXPECT_EQ(Text(of(SubmitMain->ManLED), QAccessible::Name), "3");

    // The image buttons are push buttons with a press action.
    QAccessibleInterface* submit = of(SubmitMain->Button6);
    EXPECT_EQ(submit->role(), QAccessible::Button);
    EXPECT_EQ(Text(submit, QAccessible::Name), "Submit");
    ASSERT_NE(submit->actionInterface(), nullptr);
    EXPECT_TRUE(submit->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));

    // The bitmap check boxes are check boxes with their state.
    QAccessibleInterface* classifieds = of(SubmitMain->BitCheckBox5);
    EXPECT_EQ(classifieds->role(), QAccessible::CheckBox);
    EXPECT_EQ(Text(classifieds, QAccessible::Name), "Classifieds");
    EXPECT_TRUE(classifieds->state().checked);
    EXPECT_FALSE(of(SubmitMain->BitCheckBox4)->state().checked);

    // The engine list is a table of its cells.
    QAccessibleInterface* list = of(SubmitMain->ExListView2);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::Table);
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 8);
    EXPECT_EQ(table->columnCount(), 5);
    EXPECT_EQ(Text(table->cellAt(0, 0), QAccessible::Name), "Acorn Search");
    EXPECT_EQ(Text(table->cellAt(5, 4), QAccessible::Name), "Batch->25");
    EXPECT_NE(Text(table->cellAt(1, 1), QAccessible::Name).find("dir.example.net/submit/"), std::string::npos);
}

}  // namespace
