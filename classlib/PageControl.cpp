// The page control and its tab sheets, over the toolkit's tab widget.
#include "classlib/PageControl.h"

#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

#include "classlib/QtBridge.h"

// --- page control --------------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner)
{
    OwnWidget()->setAutoFillBackground(false);
}

TTabSheet::~TTabSheet()
{
    if (FPageControl)
        FPageControl->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* pageControl)
{
    if (pageControl == FPageControl)
        return;
    if (FPageControl)
        FPageControl->RemovePage(this);
    FPageControl = pageControl;
    SetParent(pageControl);
    if (pageControl)
        pageControl->InsertPage(this);
}

int TTabSheet::PageIndex() const
{
    if (!FPageControl)
        return -1;
    const auto& pages = FPageControl->FPages;
    auto it = std::find(pages.begin(), pages.end(), this);
    return it == pages.end() ? -1 : int(it - pages.begin());
}

void TTabSheet::SetTabVisible(bool v)
{
    FTabVisible = v;
    if (FPageControl)
        FPageControl->SyncTabs();
}

void TTabSheet::ApplyText()
{
    if (FPageControl)
        FPageControl->SyncTabs();
}

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* tabs = new QTabWidget;
    tabs->setDocumentMode(false);
    tabs->setUsesScrollButtons(true);
    ConnectControl(this, tabs, &QTabWidget::currentChanged,
                     [this](int index) { SafeCall([&] { HandleCurrentChanged(index); }); });
    AttachWidget(tabs);
    SetTabStop(true);
    SetBounds(0, 0, 289, 193);
}

TPageControl::~TPageControl()
{
    SetDestroying();
    for (TTabSheet* page : FPages)
        page->FPageControl = nullptr;
    FPages.clear();
}

TTabSheet* TPageControl::Pages(int index) const
{
    if (index < 0 || index >= PageCount())
        throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return FPages[size_t(index)];
}

void TPageControl::InsertPage(TTabSheet* page)
{
    FPages.push_back(page);
    SyncTabs();
    if (!FActive)
        SetActivePage(page);
}

void TPageControl::RemovePage(TTabSheet* page)
{
    auto it = std::find(FPages.begin(), FPages.end(), page);
    if (it == FPages.end())
        return;
    FPages.erase(it);
    if (FActive == page)
        FActive = nullptr;
    if (!Destroying()) {
        auto* tabs = static_cast<QTabWidget*>(OwnWidget());
        FSyncing = true;
        const int i = tabs->indexOf(WidgetOf(page));
        if (i >= 0)
            tabs->removeTab(i);
        FSyncing = false;
        if (!FActive && !FPages.empty())
            SetActivePage(FPages.front());
    }
}

void TPageControl::SyncTabs()
{
    auto* tabs = static_cast<QTabWidget*>(OwnWidget());
    FSyncing = true;
    for (size_t i = 0; i < FPages.size(); ++i) {
        TTabSheet* page = FPages[i];
        QWidget* w = WidgetOf(page);
        int at = tabs->indexOf(w);
        if (at < 0)
            at = tabs->insertTab(int(i), w, ToQString(page->Caption()));
        else
            tabs->setTabText(at, ToQString(page->Caption()));
        tabs->setTabVisible(at, page->TabVisible());
    }
    if (FActive)
        tabs->setCurrentWidget(WidgetOf(FActive));
    FSyncing = false;
}

TTabSheet* TPageControl::ActivePage() const
{
    return FActive;
}

void TPageControl::SetActivePage(TTabSheet* page)
{
    if (page && page->PageControl() != this)
        return;
    TTabSheet* old = FActive;
    FActive = page;
    auto* tabs = static_cast<QTabWidget*>(OwnWidget());
    FSyncing = true;
    if (page)
        tabs->setCurrentWidget(WidgetOf(page));
    FSyncing = false;
    if (old != page) {
        if (old)
            FireEvent(old->OnHide, old);
        if (page)
            FireEvent(page->OnShow, page);
    }
}

int TPageControl::ActivePageIndex() const
{
    return FActive ? FActive->PageIndex() : -1;
}

void TPageControl::SetActivePageIndex(int index)
{
    if (index < 0 || index >= PageCount())
        SetActivePage(nullptr);
    else
        SetActivePage(FPages[size_t(index)]);
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* current, bool goForward, bool checkTabVisible) const
{
    const int n = PageCount();
    if (n == 0)
        return nullptr;
    int start = current ? current->PageIndex() : -1;
    if (start < 0)
        start = goForward ? n - 1 : 0;
    int i = start;
    for (int step = 0; step < n; ++step) {
        i = goForward ? (i + 1) % n : (i + n - 1) % n;
        if (!checkTabVisible || FPages[size_t(i)]->TabVisible())
            return FPages[size_t(i)];
    }
    return nullptr;
}

void TPageControl::SelectNextPage(bool goForward)
{
    TTabSheet* next = FindNextPage(FActive, goForward, true);
    if (!next || next == FActive)
        return;
    bool allow = true;
    FireEvent(OnChanging, this, allow);
    if (!allow)
        return;
    SetActivePage(next);
    FireEvent(OnChange, this);
}

void TPageControl::HandleCurrentChanged(int tabIndex)
{
    if (FSyncing || Destroying())
        return;
    auto* tabs = static_cast<QTabWidget*>(OwnWidget());
    QWidget* w = tabs->widget(tabIndex);
    TTabSheet* page = nullptr;
    for (TTabSheet* p : FPages)
        if (WidgetOf(p) == w)
            page = p;
    if (page == FActive)
        return;
    bool allow = true;
    FireEvent(OnChanging, this, allow);
    if (!allow) {
        FSyncing = true;
        if (FActive)
            tabs->setCurrentWidget(WidgetOf(FActive));
        FSyncing = false;
        return;
    }
    SetActivePage(page);
    FireEvent(OnChange, this);
}
