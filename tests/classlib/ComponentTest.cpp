#include <algorithm>

#include <gtest/gtest.h>

#include "classlib/Classes.h"

namespace {

// Records its own destruction and the removals it is told of.
class Probe : public TComponent {
public:
    Probe(TComponent* owner, const char* name, std::vector<CodePageString>& log) : TComponent(owner), FLog(log)
    {
        Name = name;
    }
    ~Probe() override { FLog.push_back("free " + Name); }

    TComponent* watched = nullptr;

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        TComponent::Notification(component, operation);
        if (operation == TOperation::opRemove && component == watched) {
            FLog.push_back(Name + " lost " + component->Name);
            watched = nullptr;
        }
    }

private:
    std::vector<CodePageString>& FLog;
};

}  // namespace

TEST(Component, OwnerFreesItsComponentsLastFirst)
{
    std::vector<CodePageString> log;
    auto* form = new Probe(nullptr, "Form1", log);
    new Probe(form, "Button6", log);
    auto* panel = new Probe(form, "Panel1", log);
    new Probe(panel, "Label1", log);
    EXPECT_EQ(form->ComponentCount(), 2);
    EXPECT_EQ(form->Components(1), panel);
    EXPECT_EQ(panel->Owner(), form);
    delete form;
    EXPECT_EQ(log, (std::vector<CodePageString>{"free Form1", "free Panel1", "free Label1", "free Button6"}));
}

TEST(Component, ComponentFreedFirstLeavesItsOwner)
{
    std::vector<CodePageString> log;
    Probe form(nullptr, "Form1", log);
    auto* timer = new Probe(&form, "Timer1", log);
    auto* list = new Probe(&form, "urllist", log);
    list->watched = timer;  // a sibling that refers to the timer is told it went
    delete timer;
    EXPECT_EQ(form.ComponentCount(), 1);
    EXPECT_EQ(form.Components(0), list);
    EXPECT_EQ(log, (std::vector<CodePageString>{"free Timer1", "urllist lost Timer1"}));
    try {
        form.Components(1);
        FAIL() << "no exception";
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message, "List index out of bounds (1)");
    }
}

TEST(Component, FindComponentIgnoresCase)
{
    std::vector<CodePageString> log;
    Probe form(nullptr, "Form1", log);
    auto* led = new Probe(&form, "LedLabel2", log);
    EXPECT_EQ(form.FindComponent("ledlabel2"), led);
    EXPECT_EQ(form.FindComponent("LEDLABEL2"), led);
    EXPECT_EQ(form.FindComponent("LedLabel"), nullptr);
    EXPECT_EQ(form.FindComponent(""), nullptr);
}

TEST(Component, FreeNotificationAcrossOwners)
{
    std::vector<CodePageString> log;
    Probe formA(nullptr, "A", log);
    auto* menu = new Probe(nullptr, "PopupMenu1", log);
    auto* user = new Probe(&formA, "ListView1", log);
    user->watched = menu;
    user->FreeNotification(menu);
    delete menu;
    EXPECT_EQ(user->watched, nullptr);

    // The link goes when the watcher goes first: freeing the other later is safe.
    auto* other = new Probe(nullptr, "Other", log);
    user->FreeNotification(other);
    delete user;
    delete other;
    EXPECT_EQ(formA.ComponentCount(), 0);
}

TEST(Component, InsertMovesBetweenOwners)
{
    std::vector<CodePageString> log;
    Probe a(nullptr, "A", log);
    Probe b(nullptr, "B", log);
    auto* c = new Probe(&a, "C", log);
    b.InsertComponent(c);
    EXPECT_EQ(a.ComponentCount(), 0);
    EXPECT_EQ(c->Owner(), &b);
    b.DestroyComponents();
    EXPECT_EQ(b.ComponentCount(), 0);
    EXPECT_EQ(log, (std::vector<CodePageString>{"free C"}));
}
