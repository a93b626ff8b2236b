#include "classlib/Menus.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>

#include <algorithm>

#include "classlib/QtBridge.h"
#include "classlib/Strings.h"

struct TMenuItemImpl {
    std::unique_ptr<QAction> action;
    std::unique_ptr<QMenu> submenu;
};

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), FImpl(std::make_unique<TMenuItemImpl>())
{
    EnsureToolkit();
    FImpl->action = std::make_unique<QAction>();
    QObject::connect(FImpl->action.get(), &QAction::triggered, FImpl->action.get(), [this](bool) {
        // The item keeps its own check state; the toolkit's toggling is undone.
        FImpl->action->setChecked(FChecked);
        SafeCall([this] { Click(); });
    });
    Sync();
}

TMenuItem::~TMenuItem()
{
    while (!FItems.empty())
        delete FItems.back();  // each removes itself
    if (FParent)
        FParent->Remove(this);
    FImpl->submenu.reset();
    FImpl->action.reset();
}

QAction* ActionOf(const TMenuItem* item)
{
    return item->FImpl->action.get();
}

void TMenuItem::Sync()
{
    QAction* a = FImpl->action.get();
    // A separator keeps its "-" caption for the program, but the toolkit
    // would draw the text of a separator beside its line.
    a->setSeparator(IsLine());
    a->setText(IsLine() ? QString() : ToQString(FCaption));
    a->setCheckable(FChecked || FRadioItem || FAutoCheck);
    a->setChecked(FChecked);
    a->setEnabled(FEnabled);
    a->setVisible(FVisible);
    if (FShortCut != 0) {
        int key = FShortCut & 0xFF;
        if (key >= 'A' && key <= 'Z')
            key = Qt::Key_A + (key - 'A');
        else if (key >= 0x70 && key <= 0x87)
            key = Qt::Key_F1 + (key - 0x70);
        else if (key == 0x2E)
            key = Qt::Key_Delete;
        else if (key == 0x2D)
            key = Qt::Key_Insert;
        int mods = 0;
        if (FShortCut & scShift) mods |= Qt::SHIFT;
        if (FShortCut & scCtrl) mods |= Qt::CTRL;
        if (FShortCut & scAlt) mods |= Qt::ALT;
        a->setShortcut(QKeySequence(key | mods));
    } else {
        a->setShortcut(QKeySequence());
    }
}

// Only the one action that came or went changes in the toolkit's submenu:
// a menu is not rebuilt for each of its items as they are added at start-up
// or taken away at exit, nor is a menu bar on the screen measured again for
// each.
void TMenuItem::SubmenuInserted(const TMenuItem* item, std::size_t index)
{
    if (!FImpl->submenu) {
        FImpl->submenu = std::make_unique<QMenu>();
        FImpl->action->setMenu(FImpl->submenu.get());
    }
    QAction* before = index + 1 < FItems.size() ? ActionOf(FItems[index + 1]) : nullptr;
    FImpl->submenu->insertAction(before, ActionOf(item));
    if (FMenu)
        FireEvent(FMenu->OnItemsChanged);
}

void TMenuItem::SubmenuRemoved(const TMenuItem* item)
{
    if (FItems.empty()) {
        FImpl->action->setMenu(nullptr);
        FImpl->submenu.reset();
    } else if (FImpl->submenu) {
        FImpl->submenu->removeAction(ActionOf(item));
    }
    if (FMenu)
        FireEvent(FMenu->OnItemsChanged);
}

void TMenuItem::SetCaption(const CodePageString& caption)
{
    FCaption = caption;
    Sync();
}

void TMenuItem::SetChecked(bool checked)
{
    FChecked = checked;
    if (checked && FRadioItem && FParent) {
        for (TMenuItem* sibling : FParent->FItems)
            if (sibling != this && sibling->FRadioItem && sibling->FGroupIndex == FGroupIndex && sibling->FChecked) {
                sibling->FChecked = false;
                sibling->Sync();
            }
    }
    Sync();
}

void TMenuItem::SetEnabled(bool enabled)
{
    FEnabled = enabled;
    Sync();
}

void TMenuItem::SetVisible(bool visible)
{
    FVisible = visible;
    Sync();
}

void TMenuItem::SetRadioItem(bool v)
{
    FRadioItem = v;
    Sync();
}

void TMenuItem::SetShortCut(TShortCut shortCut)
{
    FShortCut = shortCut;
    Sync();
}

TMenuItem* TMenuItem::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return FItems[size_t(index)];
}

void TMenuItem::Add(TMenuItem* item)
{
    Insert(Count(), item);
}

void TMenuItem::Insert(int index, TMenuItem* item)
{
    if (!item)
        return;
    if (item->FParent)
        throw Exception("Menu inserted twice");
    index = std::clamp(index, 0, Count());
    FItems.insert(FItems.begin() + index, item);
    item->FParent = this;
    SubmenuInserted(item, std::size_t(index));
}

void TMenuItem::Remove(TMenuItem* item)
{
    auto it = std::find(FItems.begin(), FItems.end(), item);
    if (it == FItems.end())
        return;
    FItems.erase(it);
    item->FParent = nullptr;
    SubmenuRemoved(item);
}

void TMenuItem::Delete(int index)
{
    Remove(Items(index));
}

void TMenuItem::Clear()
{
    while (!FItems.empty())
        delete FItems.back();
}

int TMenuItem::IndexOf(const TMenuItem* item) const
{
    auto it = std::find(FItems.begin(), FItems.end(), item);
    return it == FItems.end() ? -1 : int(it - FItems.begin());
}

int TMenuItem::MenuIndex() const
{
    return FParent ? FParent->IndexOf(this) : -1;
}

TMenu* TMenuItem::GetParentMenu() const
{
    const TMenuItem* item = this;
    while (item->FParent)
        item = item->FParent;
    return item->FMenu;
}

TMenuItem* TMenuItem::Find(const CodePageString& caption) const
{
    for (TMenuItem* item : FItems)
        if (SameText(StripHotkey(item->FCaption), StripHotkey(caption)))
            return item;
    return nullptr;
}

void TMenuItem::Click()
{
    if (FAutoCheck)
        SetChecked(!FChecked);
    FireEvent(OnClick, this);
}

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), FItems(new TMenuItem(nullptr))
{
    FItems->FMenu = this;
}

TMenu::~TMenu()
{
    OnItemsChanged = nullptr;
    delete FItems;
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}

TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::Popup(int x, int y)
{
    FireEvent(OnPopup, this);
    QMenu menu;
    TMenuItem* root = Items();
    for (int i = 0; i < root->Count(); ++i)
        menu.addAction(ActionOf(root->Items(i)));
    if (menu.isEmpty())
        return;
    menu.exec(QPoint(x, y));
}

TShortCut ShortCut(unsigned short key, bool shift, bool ctrl, bool alt)
{
    TShortCut s = TShortCut(key & 0xFF);
    if (shift) s |= scShift;
    if (ctrl) s |= scCtrl;
    if (alt) s |= scAlt;
    return s;
}

// "&&" is a literal ampersand; any other '&' marks the next character as the hotkey.
CodePageString StripHotkey(const CodePageString& caption)
{
    CodePageString out;
    out.reserve(caption.size());
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                out.push_back('&');
                ++i;
            }
            continue;
        }
        out.push_back(caption[i]);
    }
    return out;
}
