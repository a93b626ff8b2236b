// The page control and its tab sheets.
#pragma once

#include "classlib/Classes.h"
#include "classlib/Controls.h"

class TPageControl;

// One page of a page control. Give it its page control with SetPageControl;
// its controls go on it as on any window.
class TTabSheet : public TWinControl {
public:
    explicit TTabSheet(TComponent* AOwner);
    ~TTabSheet() override;
    TPageControl* PageControl() const { return FPageControl; }
    void SetPageControl(TPageControl* pageControl);
    int PageIndex() const;
    bool TabVisible() const { return FTabVisible; }
    void SetTabVisible(bool v);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int v) { FImageIndex = v; }
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

protected:
    void ApplyText() override;
    void ApplyGeometry() override {}  // the page control places its pages
    void ApplyVisibility() override {}

private:
    friend class TPageControl;
    TPageControl* FPageControl = nullptr;
    bool FTabVisible = true;
    int FImageIndex = -1;
};

class TPageControl : public TWinControl {
public:
    explicit TPageControl(TComponent* AOwner);
    ~TPageControl() override;
    int PageCount() const { return int(FPages.size()); }
    TTabSheet* Pages(int index) const;  // EListError when out of range
    TTabSheet* ActivePage() const;
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);
    void SelectNextPage(bool goForward);
    TTabSheet* FindNextPage(TTabSheet* current, bool goForward, bool checkTabVisible) const;

    TNotifyEvent OnChange;
    using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;
    TTabChangingEvent OnChanging;

    // Internal: the toolkit switched to a page.
    void HandleCurrentChanged(int tabIndex);

private:
    friend class TTabSheet;
    void InsertPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    void SyncTabs();
    std::vector<TTabSheet*> FPages;
    TTabSheet* FActive = nullptr;
    bool FSyncing = false;
};
