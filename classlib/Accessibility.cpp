#include "classlib/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QMetaEnum>
#include <QPointer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <limits>

#include "classlib/BasicControls.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/QtBridge.h"

namespace {

QAccessible::Role RoleFor(TAccessibleRole role)
{
    switch (role) {
    case TAccessibleRole::StaticText: return QAccessible::StaticText;
    case TAccessibleRole::PushButton: return QAccessible::Button;
    case TAccessibleRole::CheckBox: return QAccessible::CheckBox;
    case TAccessibleRole::RadioButton: return QAccessible::RadioButton;
    case TAccessibleRole::Graphic: return QAccessible::Graphic;
    case TAccessibleRole::Grouping: return QAccessible::Grouping;
    case TAccessibleRole::Pane: return QAccessible::Pane;
    case TAccessibleRole::Table: return QAccessible::Table;
    case TAccessibleRole::List: return QAccessible::List;
    case TAccessibleRole::ProgressBar: return QAccessible::ProgressBar;
    case TAccessibleRole::Indicator: return QAccessible::Indicator;
    case TAccessibleRole::Window: return QAccessible::Window;
    case TAccessibleRole::Document: return QAccessible::Document;
    case TAccessibleRole::StatusBar: return QAccessible::StatusBar;
    default: return QAccessible::Client;
    }
}

// One link of a control that shows a document: a child without a window of
// its own, which assistive technology can activate.
class TLinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TLinkAccessible(QWidget* owner, int index, TAccessibleLink link)
        : FOwner(owner), FIndex(index), FLink(std::move(link))
    {
    }

    bool isValid() const override { return FOwner && ControlOfWidget(FOwner); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return FOwner ? FOwner->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(FOwner); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name: return ToQString(FLink.Name);
        case QAccessible::Value:
        case QAccessible::Description: return ToQString(FLink.Target);
        default: return QString();
        }
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        QAccessibleInterface* p = parent();
        return p ? p->rect() : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.linked = true;
        s.focusable = true;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& actionName) override
    {
        TControl* c = FOwner ? ControlOfWidget(FOwner) : nullptr;
        if (c && c->Enabled() && actionName == pressAction())
            SafeCall([&] { c->ActivateAccessibleLink(FIndex); });
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    const TAccessibleLink& Link() const { return FLink; }

private:
    QPointer<QWidget> FOwner;
    int FIndex;
    TAccessibleLink FLink;
};

// The accessible face of a control that draws itself: everything comes from
// the control's Accessible* members. A control that shows a document also
// offers its text and its links.
class TControlAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TControlAccessible(QWidget* widget) : QAccessibleWidget(widget) {}
    ~TControlAccessible() override { DropLinks(); }

    TControl* Control() const { return ControlOfWidget(widget()); }

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface) {
            TControl* c = Control();
            return c && c->HasAccessibleText() ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
        }
        return QAccessibleWidget::interface_cast(t);
    }

    // The windows inside come first, then the links.
    int childCount() const override { return QAccessibleWidget::childCount() + int(Links().size()); }
    QAccessibleInterface* child(int index) const override
    {
        const int windows = QAccessibleWidget::childCount();
        if (index < windows)
            return QAccessibleWidget::child(index);
        const auto& links = Links();
        const std::size_t i = std::size_t(index - windows);
        return i < links.size() ? QAccessible::accessibleInterface(links[i]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto& links = Links();
        for (std::size_t i = 0; i < links.size(); ++i)
            if (QAccessible::accessibleInterface(links[i]) == child)
                return QAccessibleWidget::childCount() + int(i);
        return QAccessibleWidget::indexOfChild(child);
    }

    // The text interface: the control's text, read only.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        const QString all = Text();
        startOffset = std::clamp(startOffset, 0, int(all.size()));
        endOffset = endOffset < 0 ? int(all.size()) : std::clamp(endOffset, startOffset, int(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(Text().size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return QString();
    }

    QAccessible::Role role() const override
    {
        TControl* c = Control();
        return c ? RoleFor(c->AccessibleRole()) : QAccessible::Client;
    }

    QString text(QAccessible::Text t) const override
    {
        TControl* c = Control();
        if (!c)
            return QAccessibleWidget::text(t);
        switch (t) {
        case QAccessible::Name: {
            const CodePageString name = c->AccessibleName();
            if (!name.empty())
                return ToQString(StripHotkey(name));
            return QAccessibleWidget::text(t);
        }
        case QAccessible::Description: return ToQString(c->AccessibleDescription());
        case QAccessible::Value: return ToQString(c->AccessibleValue());
        default: return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        TControl* c = Control();
        if (!c)
            return s;
        const TAccessibleState a = c->AccessibleState();
        s.checkable = a.Checkable;
        s.checked = a.Checked;
        s.checkStateMixed = a.Mixed;
        s.pressed = a.Pressed;
        if (a.Focusable)
            s.focusable = true;
        s.readOnly = a.ReadOnly;
        if (!c->Enabled())
            s.disabled = true;
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (TControl* c = Control())
            for (const CodePageString& a : c->AccessibleActions())
                names << ToQString(a);
        return names;
    }

    void doAction(const QString& actionName) override
    {
        TControl* c = Control();
        if (!c || !c->Enabled())
            return;
        const CodePageString action = FromQString(actionName);
        SafeCall([&] { c->DoAccessibleAction(action); });
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QString Text() const
    {
        TControl* c = Control();
        return c && c->HasAccessibleText() ? ToQString(c->AccessibleText()) : QString();
    }
    // The link children, made again whenever the control's links change.
    const std::vector<QAccessible::Id>& Links() const
    {
        TControl* c = Control();
        std::vector<TAccessibleLink> now = c ? c->AccessibleLinks() : std::vector<TAccessibleLink>();
        if (now != FLinkData) {
            DropLinks();
            FLinkData = std::move(now);
            for (std::size_t i = 0; i < FLinkData.size(); ++i)
                FLinks.push_back(QAccessible::registerAccessibleInterface(
                    new TLinkAccessible(widget(), int(i), FLinkData[i])));
        }
        return FLinks;
    }
    void DropLinks() const
    {
        for (QAccessible::Id id : FLinks)
            QAccessible::deleteAccessibleInterface(id);
        FLinks.clear();
        FLinkData.clear();
    }
    mutable std::vector<QAccessible::Id> FLinks;
    mutable std::vector<TAccessibleLink> FLinkData;
};

QAccessibleInterface* ControlFactory(const QString&, QObject* object)
{
    if (object && object->isWidgetType() && IsPaintWidget(object))
        return new TControlAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

// Controls whose accessible name comes from the label beside them.
bool NeedsLabel(const TControl* c)
{
    return dynamic_cast<const TEdit*>(c) || dynamic_cast<const TMemo*>(c) || dynamic_cast<const TComboBox*>(c) ||
           dynamic_cast<const TCustomListBox*>(c) || dynamic_cast<const TListView*>(c);
}

bool HasBuddy(const std::vector<TLabel*>& labels, const TControl* c)
{
    for (TLabel* l : labels)
        if (auto* q = static_cast<QLabel*>(WidgetOf(l)); q && q->buddy() == WidgetOf(c))
            return true;
    return false;
}

// The label that names a control: on its line to the left, else just above it.
TLabel* LabelBeside(const std::vector<TLabel*>& labels, const TControl* c)
{
    TLabel* best = nullptr;
    int bestDistance = std::numeric_limits<int>::max();
    for (TLabel* l : labels) {
        if (l->Parent() != c->Parent() || !l->Visible() || l->Caption().empty())
            continue;
        const int labelMid = l->Top() + l->Height() / 2;
        if (l->Left() + l->Width() <= c->Left() + 4 && labelMid >= c->Top() - 4 && labelMid <= c->Top() + c->Height() + 4) {
            const int d = c->Left() - (l->Left() + l->Width());
            if (d < 120 && d < bestDistance) {
                best = l;
                bestDistance = d;
            }
        }
    }
    if (best)
        return best;
    for (TLabel* l : labels) {
        if (l->Parent() != c->Parent() || !l->Visible() || l->Caption().empty())
            continue;
        const int d = c->Top() - (l->Top() + l->Height());
        if (d >= -2 && d < 24 && l->Left() >= c->Left() - 10 && l->Left() < c->Left() + c->Width()) {
            if (d < bestDistance) {
                best = l;
                bestDistance = d;
            }
        }
    }
    return best;
}

void CollectControls(TControl* c, std::vector<TControl*>& out)
{
    out.push_back(c);
    if (auto* wc = dynamic_cast<TWinControl*>(c))
        for (int i = 0; i < wc->ControlCount(); ++i)
            CollectControls(wc->Controls(i), out);
}

CodePageString RoleName(QAccessible::Role role)
{
    const QMetaEnum e = QMetaEnum::fromType<QAccessible::Role>();
    const char* key = e.valueToKey(int(role));
    return key ? CodePageString(key) : IntToStr(int(role));
}

void Walk(QAccessibleInterface* iface, int depth, int maxNodes, std::vector<TAccessibleNode>& out)
{
    if (!iface || !iface->isValid() || int(out.size()) >= maxNodes)
        return;
    TAccessibleNode node;
    node.Role = RoleName(iface->role());
    node.Name = FromQString(iface->text(QAccessible::Name));
    node.Description = FromQString(iface->text(QAccessible::Description));
    node.Value = FromQString(iface->text(QAccessible::Value));
    node.Checked = iface->state().checked;
    node.Depth = depth;
    if (QAccessibleActionInterface* actions = iface->actionInterface())
        for (const QString& a : actions->actionNames())
            node.Actions.push_back(FromQString(a));
    out.push_back(node);
    const int n = iface->childCount();
    for (int i = 0; i < n && int(out.size()) < maxNodes; ++i)
        Walk(iface->child(i), depth + 1, maxNodes, out);
}

}  // namespace

void InstallAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(&ControlFactory);
}

void ApplyAccessibleDescription(TControl* control)
{
    if (!control)
        return;
    if (QWidget* w = WidgetOf(control))
        if (!IsPaintWidget(w))
            w->setAccessibleDescription(ToQString(control->AccessibleDescription()));
}

void PrepareAccessibility(TControl* control)
{
    if (!control)
        return;
    std::vector<TControl*> all;
    CollectControls(control, all);
    std::vector<TLabel*> labels;
    for (TControl* c : all) {
        if (QWidget* w = WidgetOf(c))
            if (!IsPaintWidget(w))
                w->setAccessibleDescription(ToQString(c->AccessibleDescription()));
        if (auto* l = dynamic_cast<TLabel*>(c))
            labels.push_back(l);
    }
    // Edits and lists are named by the label beside them, as a person reads
    // the form; a label's own FocusControl wins.
    for (TControl* c : all) {
        if (!NeedsLabel(c) || HasBuddy(labels, c))
            continue;
        if (TLabel* label = LabelBeside(labels, c))
            if (auto* q = static_cast<QLabel*>(WidgetOf(label)); q && !q->buddy())
                q->setBuddy(WidgetOf(c));
    }
}

void NotifyAccessibleChange(TControl* control, TAccessibleChange what)
{
    if (!QAccessible::isActive() || !control || control->Destroying())
        return;
    QWidget* w = WidgetOf(control);
    if (!w)
        return;
    switch (what) {
    case TAccessibleChange::Name: {
        QAccessibleEvent ev(w, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&ev);
        break;
    }
    case TAccessibleChange::Value: {
        QAccessibleEvent ev(w, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&ev);
        QAccessibleValueChangeEvent vev(w, ToQString(control->AccessibleValue()));
        QAccessible::updateAccessibility(&vev);
        break;
    }
    case TAccessibleChange::State: {
        QAccessible::State changed;
        changed.checked = true;
        changed.checkStateMixed = true;
        changed.pressed = true;
        changed.disabled = true;
        QAccessibleStateChangeEvent ev(w, changed);
        QAccessible::updateAccessibility(&ev);
        break;
    }
    }
}

CodePageString AccessibleTextOf(TControl* control)
{
    if (!control || !WidgetOf(control))
        return CodePageString();
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(WidgetOf(control));
    QAccessibleTextInterface* text = iface ? iface->textInterface() : nullptr;
    return text ? FromQString(text->text(0, text->characterCount())) : CodePageString();
}

namespace {

QAccessibleInterface* FindNamed(QAccessibleInterface* iface, const QString& name, int depth)
{
    if (!iface || !iface->isValid() || depth > 64)
        return nullptr;
    if (iface->text(QAccessible::Name) == name)
        return iface;
    const int n = iface->childCount();
    for (int i = 0; i < n; ++i)
        if (QAccessibleInterface* found = FindNamed(iface->child(i), name, depth + 1))
            return found;
    return nullptr;
}

}  // namespace

bool DoAccessibleActionNamed(TControl* root, const CodePageString& name, const CodePageString& action)
{
    if (!root || !WidgetOf(root))
        return false;
    PrepareAccessibility(root);
    QAccessibleInterface* node = FindNamed(QAccessible::queryAccessibleInterface(WidgetOf(root)), ToQString(name), 0);
    QAccessibleActionInterface* actions = node ? node->actionInterface() : nullptr;
    if (!actions || !actions->actionNames().contains(ToQString(action)))
        return false;
    actions->doAction(ToQString(action));
    return true;
}

std::vector<TAccessibleNode> WalkAccessibleTree(TControl* root, int maxNodes)
{
    std::vector<TAccessibleNode> out;
    if (!root || !WidgetOf(root))
        return out;
    PrepareAccessibility(root);
    Walk(QAccessible::queryAccessibleInterface(WidgetOf(root)), 0, maxNodes, out);
    return out;
}
