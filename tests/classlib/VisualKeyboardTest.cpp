// The keyboard in the standard controls: Tab and Shift+Tab through a window,
// a text the program sets, and what is typed into an editable combo box.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "support/ControlWindows.h"
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

// A text the program sets into an edit shows from its first character, the
// cursor before it, however long the text and wherever the cursor was.
TEST_F(KeyboardFixture, AnEditShowsATextSetByTheProgramFromItsStart)
{
    auto* edit = Make<TEdit>("DescriptionMet", 8);
    edit->SetWidth(120);
    ASSERT_TRUE(ShowActive(form));
    auto* line = static_cast<QLineEdit*>(WindowOf(edit));
    const CodePageString text = "Acme makes the finest widgets, gadgets and gizmos of the whole valley since 1921";
    for (const CodePageString& before : {CodePageString(), CodePageString("short"), text + " and more"}) {
        SCOPED_TRACE(before);
        edit->SetText(before);
        line->end(false);
        edit->SetText(text);
        EXPECT_EQ(edit->SelStart(), 0);
        EXPECT_EQ(edit->SelLength(), 0);
        // The first character is in sight at the left edge.
        EXPECT_LT(line->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(), 8);
    }
    // Typing goes on where the user puts the cursor, as always.
    edit->SetFocus();
    line->end(false);
    TypeText("!");
    EXPECT_EQ(edit->Text(), text + "!");
}

// What the user types into an editable combo box is what it holds: no item
// that begins so completes it.
TEST_F(KeyboardFixture, AComboBoxKeepsWhatIsTyped)
{
    auto* timeouts = Make<TComboBox>("TimeOuts", 8);
    for (int seconds = 10; seconds <= 90; seconds += 10)
        timeouts->Items()->Add(IntToStr(seconds));
    auto* category = Make<TComboBox>("catagory", 40);
    for (const char* item : {"Miscellaneous", "Automotive", "Business"})
        category->Items()->Add(item);
    ASSERT_TRUE(ShowActive(form));

    struct Case {
        TComboBox* combo;
        const char* typed;
    } cases[] = {{timeouts, "5"}, {timeouts, "2"}, {timeouts, "100"}, {category, "auto"}, {category, "Bus"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        c.combo->SetText("");
        c.combo->SetFocus();
        TypeText(c.typed);
        EXPECT_EQ(c.combo->Text(), c.typed);
        PressKey(Qt::Key_Tab);
        EXPECT_EQ(c.combo->Text(), c.typed);
    }
    // An item is still picked by choosing it.
    timeouts->SetItemIndex(4);
    EXPECT_EQ(timeouts->Text(), "50");
}

}  // namespace
