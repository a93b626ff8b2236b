// The tabbed notebook: named pages with tabs, switched by PageIndex.
#pragma once

#include <memory>

#include "classlib/BasicControls.h"

class TTabbedNotebook;

// One page of a tabbed notebook; controls go on it as on any window.
class TTabPage : public TWinControl {
public:
    explicit TTabPage(TComponent* AOwner);

protected:
    void ApplyGeometry() override {}  // the notebook places its pages
    void ApplyVisibility() override {}
};

using TPageChangeEvent = std::function<void(TObject* Sender, int NewTab, bool& AllowChange)>;

class TTabbedNotebook : public TWinControl {
public:
    explicit TTabbedNotebook(TComponent* AOwner);
    ~TTabbedNotebook() override;

    // The page names; adding a name adds a page, deleting one frees it.
    TStrings* Pages() const { return FPages.get(); }
    void SetPages(const TStrings* pages) { FPages->Assign(*pages); }
    int PageCount() const { return FPages->Count(); }
    // The page window at index (EListError out of range).
    TTabPage* Page(int index) const;
    // The page with that name (case ignored), or nullptr.
    TTabPage* PageNamed(const CodePageString& name) const;
    int PageIndex() const { return FPageIndex; }
    void SetPageIndex(int index);
    CodePageString ActivePage() const;
    void SetActivePage(const CodePageString& name);
    int TabsPerRow() const { return FTabsPerRow; }
    void SetTabsPerRow(int n) { FTabsPerRow = n; }

    // Before a page change (by the user or the program); may refuse it.
    TPageChangeEvent OnChange;
    // OnClick comes after every click on a tab, the one shown included.

    // Internal: the user clicked a tab.
    void HandleTabClicked(int index);

private:
    void ShowPage(int index);
    std::unique_ptr<TListControlStrings> FPages;
    int FPageIndex = -1;
    int FTabsPerRow = 3;
    bool FSyncing = false;
};
