// Menus: the main menu of a form, pop-up menus and their items.
//
// Items form a tree: Add puts an item under another one; an item with items
// of its own opens a submenu. A caption of "-" is a separator line; "&"
// marks the accelerator letter ("&&" is an ampersand).
#pragma once

#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Strings.h"

class QAction;  // the windowing system's action (reached only inside the class library)
class QMenu;
struct TMenuItemImpl;
class TMenu;

using TShortCut = unsigned short;
// ShortCut('S', ssCtrl)-style values: a virtual key plus these flags.
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    CodePageString Caption() const { return FCaption; }
    void SetCaption(const CodePageString& caption);
    bool Checked() const { return FChecked; }
    void SetChecked(bool checked);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    bool RadioItem() const { return FRadioItem; }
    void SetRadioItem(bool v);
    bool AutoCheck() const { return FAutoCheck; }
    void SetAutoCheck(bool v) { FAutoCheck = v; }
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int v) { FGroupIndex = v; }
    TShortCut ShortCut() const { return FShortCut; }
    void SetShortCut(TShortCut shortCut);
    CodePageString Hint() const { return FHint; }
    void SetHint(const CodePageString& hint) { FHint = hint; }
    bool IsLine() const { return FCaption == "-"; }

    // The items under this one.
    int Count() const { return int(FItems.size()); }
    TMenuItem* Items(int index) const;  // EListError when out of range
    TMenuItem* operator[](int index) const { return Items(index); }
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    void Remove(TMenuItem* item);
    void Delete(int index);
    void Clear();  // frees the items
    int IndexOf(const TMenuItem* item) const;
    TMenuItem* Parent() const { return FParent; }
    int MenuIndex() const;
    // The menu (main or pop-up) the item belongs to, through its parents.
    TMenu* GetParentMenu() const;
    TMenuItem* Find(const CodePageString& caption) const;  // '&' ignored, case ignored

    // Runs OnClick (AutoCheck toggles Checked first).
    virtual void Click();
    TNotifyEvent OnClick;

private:
    friend class TMenu;
    // The action that stands for the item (classlib/QtBridge.h).
    friend QAction* ActionOf(const TMenuItem* item);
    void Sync();
    void SubmenuInserted(const TMenuItem* item, std::size_t index);
    void SubmenuRemoved(const TMenuItem* item);
    CodePageString FCaption;
    bool FChecked = false;
    bool FEnabled = true;
    bool FVisible = true;
    bool FRadioItem = false;
    bool FAutoCheck = false;
    int FGroupIndex = 0;
    TShortCut FShortCut = 0;
    CodePageString FHint;
    TMenuItem* FParent = nullptr;
    TMenu* FMenu = nullptr;  // set on the root item of a menu
    std::vector<TMenuItem*> FItems;
    std::unique_ptr<TMenuItemImpl> FImpl;
};

class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* AOwner);
    ~TMenu() override;
    // The root of the item tree (owned by the menu).
    TMenuItem* Items() const { return FItems; }
    // Internal: the menu changed its top level; the form rebuilds its bar.
    std::function<void()> OnItemsChanged;

private:
    TMenuItem* FItems;
};

class TMainMenu : public TMenu {
public:
    explicit TMainMenu(TComponent* AOwner) : TMenu(AOwner) {}
};

class TPopupMenu : public TMenu {
public:
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;
    // Shows the menu at a screen position and returns when it closes (the
    // chosen item's OnClick has run by then).
    virtual void Popup(int x, int y);
    // The control that the menu was last popped up for.
    TComponent* PopupComponent() const { return FPopupComponent; }
    void SetPopupComponent(TComponent* c) { FPopupComponent = c; }
    bool AutoPopup() const { return FAutoPopup; }
    void SetAutoPopup(bool v) { FAutoPopup = v; }
    TNotifyEvent OnPopup;

private:
    TComponent* FPopupComponent = nullptr;
    bool FAutoPopup = true;
};

TShortCut ShortCut(unsigned short key, bool shift, bool ctrl, bool alt);
CodePageString StripHotkey(const CodePageString& caption);
