// The keyboard in the standard controls: Tab and Shift+Tab through a window.
#include <gtest/gtest.h>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "support/Keyboard.h"

namespace {

struct KeyboardFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(Application);
        form->SetBounds(10, 10, 420, 320);
    }
    void TearDown() override { delete form; }

    template <class T>
    T* Make(const char* name, int top, int height = 21)
    {
        auto* c = new T(form);
        c->Name = name;
        c->SetBounds(8, top, 200, height);
        c->SetParent(form);
        return c;
    }

    TForm* form = nullptr;
};

// A memo lets a keyboard user leave it as every control does; one made to
// want TABs types them and keeps the focus. A list view moves the focus on
// as well: its rows are for the arrows.
TEST_F(KeyboardFixture, TabAndShiftTabLeaveMemosAndListsUnlessAMemoWantsTabs)
{
    auto* title = Make<TEdit>("title", 8);
    auto* description = Make<TMemo>("Description", 34, 50);
    auto* keywords = Make<TMemo>("Key1", 90, 40);
    auto* list = Make<TListView>("ExListView2", 136, 60);
    list->SetViewStyle(vsReport);
    list->Columns()->Add()->SetCaption("Engine");
    for (const char* engine : {"Acorn Search", "Brook Directory"})
        list->Items()->Add()->SetCaption(engine);
    Make<TEdit>("email", 202);
    auto* source = Make<TMemo>("Source", 228, 50);
    source->SetWantTabs(true);
    ASSERT_TRUE(ShowActive(form));

    // The walk ends in the memo that keeps the focus.
    title->SetFocus();
    EXPECT_EQ(TabWalk(), (std::vector<std::string>{"title", "Description", "Key1", "ExListView2", "email", "Source"}));
    EXPECT_EQ(source->Text(), "\t");
    description->SetText("first line");
    description->SetFocus();
    PressKey(Qt::Key_Tab, true);
    EXPECT_EQ(FocusedControl(), "title");
    keywords->SetFocus();
    PressKey(Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(), "ExListView2");
    PressKey(Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(), "email");
    PressKey(Qt::Key_Tab, true);
    EXPECT_EQ(FocusedControl(), "ExListView2");
    PressKey(Qt::Key_Tab, true);
    EXPECT_EQ(FocusedControl(), "Key1");
    EXPECT_EQ(description->Text(), "first line");
    EXPECT_EQ(keywords->Text(), "");

    source->SetText("");
    source->SetFocus();
    TypeText("a");
    PressKey(Qt::Key_Tab);
    TypeText("b");
    EXPECT_EQ(FocusedControl(), "Source");
    EXPECT_EQ(source->Text(), "a\tb");
    EXPECT_FALSE(description->WantTabs());
    EXPECT_TRUE(source->WantTabs());
}

}  // namespace
