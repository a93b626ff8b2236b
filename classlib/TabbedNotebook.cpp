#include "classlib/TabbedNotebook.h"

#include <QTabWidget>

#include "classlib/QtBridge.h"

TTabPage::TTabPage(TComponent* AOwner) : TWinControl(AOwner) {}

TTabbedNotebook::TTabbedNotebook(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* tabs = new QTabWidget;
    tabs->setUsesScrollButtons(true);
    TListControlStrings::Sink sink;
    sink.inserted = [this, tabs](int index) {
        auto* page = new TTabPage(this);
        auto& line = FPages->LineAt(index);
        line.object = page;
        page->SetParent(this);
        FSyncing = true;
        tabs->insertTab(index, WidgetOf(page), ToQString(line.text));
        FSyncing = false;
        if (FPageIndex < 0)
            ShowPage(0);
        else if (index <= FPageIndex)
            ++FPageIndex;
    };
    sink.changed = [this, tabs](int index) {
        FSyncing = true;
        tabs->setTabText(index, ToQString(FPages->LineAt(index).text));
        FSyncing = false;
    };
    sink.deleted = [this, tabs](int index) {
        FSyncing = true;
        QWidget* w = tabs->widget(index);
        tabs->removeTab(index);
        FSyncing = false;
        for (int i = 0; i < ControlCount(); ++i)
            if (WidgetOf(Controls(i)) == w) {
                delete Controls(i);
                break;
            }
        if (FPageIndex >= FPages->Count())
            FPageIndex = FPages->Count() - 1;
        else if (index < FPageIndex)
            --FPageIndex;
        ShowPage(FPageIndex);
    };
    sink.reset = [this, tabs] {
        // The lines are the new page list; pages are rebuilt to match it.
        FSyncing = true;
        while (tabs->count() > 0)
            tabs->removeTab(0);
        FSyncing = false;
        while (ControlCount() > 0)
            delete Controls(ControlCount() - 1);
        FPageIndex = -1;
        for (int i = 0; i < FPages->Count(); ++i) {
            auto* page = new TTabPage(this);
            FPages->LineAt(i).object = page;
            page->SetParent(this);
            FSyncing = true;
            tabs->addTab(WidgetOf(page), ToQString(FPages->LineAt(i).text));
            FSyncing = false;
        }
        if (FPages->Count() > 0)
            ShowPage(0);
    };
    FPages = std::make_unique<TListControlStrings>(std::move(sink));
    ConnectControl(this, tabs, &QTabWidget::currentChanged, [this](int index) {
        if (!FSyncing && !Destroying())
            SafeCall([&] { HandleTabClicked(index); });
    });
    // A click on the tab already shown changes no page, and is a click all the same.
    ConnectControl(this, tabs, &QTabWidget::tabBarClicked, [this](int index) {
        if (!FSyncing && !Destroying() && index == FPageIndex)
            SafeCall([&] { Click(); });
    });
    AttachWidget(tabs);
    SetTabStop(true);
    SetBounds(0, 0, 300, 250);
}

TTabbedNotebook::~TTabbedNotebook()
{
    SetDestroying();
}

TTabPage* TTabbedNotebook::Page(int index) const
{
    return static_cast<TTabPage*>(FPages->Objects(index));
}

TTabPage* TTabbedNotebook::PageNamed(const CodePageString& name) const
{
    const int index = FPages->IndexOf(name);
    return index < 0 ? nullptr : Page(index);
}

void TTabbedNotebook::ShowPage(int index)
{
    FPageIndex = index;
    auto* tabs = static_cast<QTabWidget*>(OwnWidget());
    FSyncing = true;
    if (index >= 0 && index < tabs->count())
        tabs->setCurrentIndex(index);
    FSyncing = false;
}

void TTabbedNotebook::SetPageIndex(int index)
{
    if (index == FPageIndex || index < 0 || index >= FPages->Count())
        return;
    bool allow = true;
    FireEvent(OnChange, this, index, allow);
    if (allow)
        ShowPage(index);
}

CodePageString TTabbedNotebook::ActivePage() const
{
    return FPageIndex >= 0 && FPageIndex < FPages->Count() ? FPages->Strings(FPageIndex) : CodePageString();
}

void TTabbedNotebook::SetActivePage(const CodePageString& name)
{
    const int index = FPages->IndexOf(name);
    if (index >= 0)
        SetPageIndex(index);
}

void TTabbedNotebook::HandleTabClicked(int index)
{
    if (index == FPageIndex)
        return;
    bool allow = true;
    FireEvent(OnChange, this, index, allow);
    if (allow) {
        FPageIndex = index;
    } else {
        ShowPage(FPageIndex);
    }
    Click();
}
