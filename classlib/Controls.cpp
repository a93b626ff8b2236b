#include "classlib/Controls.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <utility>
#include <vector>

#include "classlib/Accessibility.h"
#include "classlib/FlagScope.h"
#include "classlib/QtBridge.h"
#include "classlib/Strings.h"

// --- TShiftState ----------------------------------------------------------------------

TShiftState::TShiftState(std::initializer_list<TShiftStateFlag> flags)
{
    for (TShiftStateFlag f : flags)
        FBits |= 1u << unsigned(f);
}

// --- texts kept back ------------------------------------------------------------------

namespace {

// The controls holding a text back from their windows. A program that sets
// a field on every step of a job (a page read, a link found) would otherwise
// have the window lay out every text, most of which no one ever sees.
std::vector<TControl*> PendingTexts;

// Whether an event delivered to a window shows it, gives it input or reads
// it: the texts kept back go in first. Timers, layout and the other
// housekeeping of a window read nothing a person sees.
bool ReadsWindow(QEvent::Type type)
{
    switch (type) {
    case QEvent::Paint:
    case QEvent::UpdateRequest:
    case QEvent::UpdateLater:
    case QEvent::Expose:
    case QEvent::Show:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::FocusAboutToChange:
    case QEvent::InputMethod:
    case QEvent::InputMethodQuery:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::ToolTip:
    case QEvent::WhatsThis:
    case QEvent::QueryWhatsThis:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::Gesture:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

// Puts the texts kept back into their windows before any window is
// painted, given input or read through the toolkit: a paint shows the
// latest text (painted less often, never older). Assistive technology that
// starts listening may read any window: every text kept back goes in then.
class TTextFlusher : public QObject, public QAccessible::ActivationObserver {
public:
    TTextFlusher() { QAccessible::installActivationObserver(this); }
    ~TTextFlusher() override { QAccessible::removeActivationObserver(this); }
    void accessibilityActiveChanged(bool active) override
    {
        if (active)
            TControl::FlushTexts();
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (!PendingTexts.empty() && (object->isWidgetType() || object->isWindowType()) &&
            ReadsWindow(event->type()))
            TControl::FlushTexts();
        return false;
    }
};

void WatchPendingTexts()
{
    static QPointer<TTextFlusher> flusher;
    if (flusher)
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    flusher = new TTextFlusher;
    flusher->setParent(app);
    app->installEventFilter(flusher);
}

void ForgetPendingText(TControl* control)
{
    PendingTexts.erase(std::remove(PendingTexts.begin(), PendingTexts.end(), control), PendingTexts.end());
}

}  // namespace

void TControl::FlushTexts()
{
    // A window's text may set another's (nothing does today): every text
    // kept back meanwhile goes in too.
    while (!PendingTexts.empty()) {
        TControl* control = PendingTexts.back();
        control->FlushText();
    }
}

void TControl::FlushText()
{
    if (!FTextPending)
        return;
    FTextPending = false;
    ForgetPendingText(this);
    if (FDestroying)
        return;
    const TFlagScope flushing(FFlushingText);
    ApplyText();
}

// --- TControl ---------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner)
    : TComponent(AOwner), FImpl(std::make_unique<TControlImpl>()), FFont(std::make_unique<TFont>())
{
    EnsureToolkit();
    FFont->OnChange = [this](TObject*) {
        if (!FApplyingFont)
            FParentFont = false;
        ApplyFont();
        FontChanged();
        Invalidate();
    };
}

TControl::~TControl()
{
    FDestroying = true;
    if (FTextPending) {
        FTextPending = false;
        ForgetPendingText(this);
    }
    if (FParent) {
        TWinControl* parent = FParent;
        auto& list = parent->FControls;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        FParent = nullptr;
        if (!parent->Destroying()) {
            parent->ControlRemoved(this);
            if (FAlign != alNone)
                parent->Realign();
        }
    }
    if (QWidget* w = FImpl->widget) {
        ForgetWidget(w);
        if (FImpl->filter) {
            w->removeEventFilter(FImpl->filter);
            delete FImpl->filter;
            FImpl->filter = nullptr;
        }
        delete w;
    }
}

QWidget* TControl::OwnWidget() const
{
    if (FTextPending)
        const_cast<TControl*>(this)->FlushText();
    return FImpl->widget;
}

void TControl::AttachWidget(QWidget* widget)
{
    QWidget* old = FImpl->widget;
    if (old) {
        ForgetWidget(old);
        if (FImpl->filter)
            old->removeEventFilter(FImpl->filter);
        if (FImpl->client == old)
            FImpl->client = nullptr;
        delete old;
    }
    FImpl->widget = widget;
    if (!FImpl->client)
        FImpl->client = widget;
    if (!widget)
        return;
    RouteInput(this, *FImpl, widget);
    widget->hide();
    SyncOpaquePaint();
    ApplyFont();
    ApplyGeometry();
    ApplyVisibility();
}

void TControl::SetDestroying()
{
    FDestroying = true;
    if (FTextPending) {
        FTextPending = false;
        ForgetPendingText(this);
    }
    for (const QMetaObject::Connection& c : FImpl->connections)
        QObject::disconnect(c);
    FImpl->connections.clear();
}

void TControl::AddInputWidget(QWidget* widget)
{
    if (!widget)
        return;
    RouteInput(this, *FImpl, widget);
    QObject::connect(widget, &QObject::destroyed, [widget] { ForgetWidget(widget); });
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == FParent)
        return;
    if (parent == this)
        throw Exception("A control cannot have itself as its parent");
    if (FParent) {
        TWinControl* old = FParent;
        auto& list = old->FControls;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        FParent = nullptr;
        old->ControlRemoved(this);
        if (FAlign != alNone)
            old->Realign();
    }
    FParent = parent;
    if (QWidget* w = FImpl->widget) {
        if (!w->isWindow() || parent)
            w->setParent(parent ? ClientWidgetOf(parent) : nullptr);
    }
    if (parent) {
        parent->FControls.push_back(this);
        if (auto* wc = dynamic_cast<TWinControl*>(this); wc && wc->FTabOrder < 0) {
            int order = 0;
            for (TControl* sibling : parent->FControls)
                if (sibling != this && dynamic_cast<TWinControl*>(sibling))
                    ++order;
            wc->FTabOrder = order;
        }
        if (FParentFont)
            ParentFontChanged();
        if (FParentColor)
            ParentColorChanged();
    }
    ApplyFont();
    ApplyColor();
    ApplyGeometry();
    ApplyVisibility();
    ApplyEnabled();
    if (parent) {
        parent->ControlAdded(this);
        if (FAlign != alNone)
            parent->Realign();
        ApplyAccessibleDescription(this);
    }
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    width = std::max(0, width);
    height = std::max(0, height);
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight)
        return;
    const bool resized = width != FWidth || height != FHeight;
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    ApplyGeometry();
    if (resized)
        Resize();
    if (FParent && FAlign != alNone && !FParent->FAligning)
        FParent->Realign();
}

void TControl::HandleWidgetResized(int width, int height)
{
    QWidget* w = FImpl->widget;
    if (!w)
        return;
    const QRect g = w->geometry();
    const bool resized = width != FWidth || height != FHeight;
    FLeft = g.x();
    FTop = g.y();
    FWidth = width;
    FHeight = height;
    if (resized)
        Resize();
}

void TControl::ApplyGeometry()
{
    if (QWidget* w = FImpl->widget; w && !w->isWindow())
        w->setGeometry(FLeft, FTop, FWidth, FHeight);
}

void TControl::ApplyVisibility()
{
    QWidget* w = FImpl->widget;
    if (!w)
        return;
    const bool show = FVisible && FParent != nullptr;
    if (show != !w->isHidden())
        w->setVisible(show);
}

TPoint TControl::ClientToScreen(const TPoint& p) const
{
    QWidget* w = FImpl->client ? FImpl->client.data() : FImpl->widget.data();
    if (!w)
        return p;
    const QPoint g = w->mapToGlobal(QPoint(p.x, p.y));
    return {g.x(), g.y()};
}

TPoint TControl::ScreenToClient(const TPoint& p) const
{
    QWidget* w = FImpl->client ? FImpl->client.data() : FImpl->widget.data();
    if (!w)
        return p;
    const QPoint l = w->mapFromGlobal(QPoint(p.x, p.y));
    return {l.x(), l.y()};
}

void TControl::SetAlign(TAlign align)
{
    if (align == FAlign)
        return;
    const TAlign old = FAlign;
    FAlign = align;
    if (FParent && (old != alNone || align != alNone))
        FParent->Realign();
}

void TControl::SetVisible(bool visible)
{
    if (visible == FVisible)
        return;
    FVisible = visible;
    ApplyVisibility();
    VisibleChanged();
    if (FParent && FAlign != alNone)
        FParent->Realign();
}

bool TControl::Showing() const
{
    QWidget* w = FImpl->widget;
    return w && w->isVisible();
}

void TControl::SetEnabled(bool enabled)
{
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    ApplyEnabled();
    EnabledChanged();
    Invalidate();
    AccessibleChanged(TAccessibleChange::State);
}

void TControl::ApplyEnabled()
{
    if (QWidget* w = FImpl->widget)
        w->setEnabled(FEnabled);
}

void TControl::SetText(const CodePageString& text)
{
    // A text set again as it was needs no repaint (counters and status
    // lines are told their value far more often than it changes).
    // A text is kept back only while the message loop runs, which paints the
    // windows: code that drives them without it (a script, a test stepping
    // them) finds each text in the window at once. While assistive
    // technology listens, it may read a window whenever it likes: the text
    // goes in at once too.
    if (DefersText() && !FDestroying && FImpl->widget && QThread::currentThread()->loopLevel() > 0 &&
        !QAccessible::isActive()) {
        const CodePageString shownBefore = GetText();
        const CodePageString before = std::exchange(FText, text);
        if (!FTextPending) {
            FTextPending = true;
            PendingTexts.push_back(this);
            WatchPendingTexts();
        }
        TextKeptBack(shownBefore);
        TextChanged();
        // The window's next paint puts the text in, also the same text over
        // one the user typed since.
        if (before != FText)
            RepaintText(before);
        else
            Invalidate();
        AccessibleChanged(TAccessibleChange::Name);
        return;
    }
    FlushText();  // a text kept back goes in first: the change notices compare with it
    const CodePageString before = std::exchange(FText, text);
    ApplyText();
    TextChanged();
    if (before != FText)
        RepaintText(before);
    AccessibleChanged(TAccessibleChange::Name);
}

void TControl::SetParentFont(bool v)
{
    FParentFont = v;
    if (v && FParent)
        ParentFontChanged();
}

void TControl::ParentFontChanged()
{
    if (!FParent || !FParentFont)
        return;
    const TFlagScope applying(FApplyingFont);
    FFont->Assign(*FParent->Font());
}

void TControl::ApplyFont()
{
    QWidget* w = FImpl->widget;
    if (!w)
        return;
    w->setFont(ToQFont(*FFont));
    QPalette pal = w->palette();
    const QColor c = ToQColor(FFont->Color());
    pal.setColor(QPalette::Active, QPalette::WindowText, c);
    pal.setColor(QPalette::Inactive, QPalette::WindowText, c);
    pal.setColor(QPalette::Active, QPalette::Text, c);
    pal.setColor(QPalette::Inactive, QPalette::Text, c);
    pal.setColor(QPalette::Active, QPalette::ButtonText, c);
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, c);
    w->setPalette(pal);
}

void TControl::SetColor(TColor color)
{
    FParentColor = false;
    if (color == FColor)
        return;
    FColor = color;
    SyncOpaquePaint();
    ApplyColor();
    ColorChanged();
    Invalidate();
}

void TControl::SetParentColor(bool v)
{
    FParentColor = v;
    if (v && FParent)
        ParentColorChanged();
}

void TControl::ParentColorChanged()
{
    if (!FParent || !FParentColor)
        return;
    if (FParent->Color() == FColor)
        return;
    FColor = FParent->Color();
    SyncOpaquePaint();
    ApplyColor();
    ColorChanged();
    Invalidate();
}

void TControl::ApplyColor() {}

void TControl::SetHint(const CodePageString& hint)
{
    FHint = hint;
    if (QWidget* w = FImpl->widget)
        w->setToolTip(FShowHint ? ToQString(hint) : QString());
}

void TControl::SetShowHint(bool v)
{
    FShowHint = v;
    SetHint(FHint);
}

void TControl::SetCursor(TCursor cursor)
{
    FCursor = cursor;
    if (QWidget* w = FImpl->widget) {
        if (cursor == crDefault)
            w->unsetCursor();
        else
            w->setCursor(ToQCursor(cursor));
    }
}

void TControl::SetPopupMenu(TPopupMenu* menu)
{
    FPopupMenu = menu;
}

void TControl::SetControlStyle(unsigned style)
{
    FControlStyle = style;
    SyncOpaquePaint();
    Invalidate();
}

// A self-drawn control that fills its background tells the toolkit so, and
// what lies behind it is not painted first every time it is painted.
void TControl::SyncOpaquePaint()
{
    if (QWidget* w = FImpl->widget; w && IsPaintWidget(w))
        w->setAttribute(Qt::WA_OpaquePaintEvent, (FControlStyle & csOpaque) && FColor != clNone);
}

void TControl::Invalidate()
{
    if (QWidget* w = FImpl->widget) {
        w->update();
        // A scrolling window draws its content in its viewport.
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            area->viewport()->update();
    }
}

void TControl::InvalidateRect(const TRect& rect)
{
    if (rect.IsEmpty())
        return;
    if (QWidget* w = FImpl->widget) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            area->viewport()->update(ToQRect(rect));
        else
            w->update(ToQRect(rect));
    }
}

void TControl::Repaint()
{
    if (QWidget* w = FImpl->widget) {
        RepaintNow(w);
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            RepaintNow(area->viewport());
    }
}

void TControl::Update()
{
    Repaint();
}

void TControl::BringToFront()
{
    if (QWidget* w = FImpl->widget)
        w->raise();
}

void TControl::SendToBack()
{
    if (QWidget* w = FImpl->widget)
        w->lower();
}

bool TControl::Focused() const
{
    return false;
}

void TControl::Click()
{
    FireEvent(OnClick, this);
}

void TControl::DblClick()
{
    FireEvent(OnDblClick, this);
}

void TControl::Resize()
{
    FireEvent(OnResize, this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    FireEvent(OnMouseDown, this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y)
{
    FireEvent(OnMouseMove, this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    FireEvent(OnMouseUp, this, button, shift, x, y);
}

void TControl::HandleMouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (!FEnabled)
        return;
    if (button == mbLeft)
        FPressedInside = true;
    MouseDown(button, shift, x, y);
}

void TControl::HandleMouseMove(TShiftState shift, int x, int y)
{
    if (!FEnabled)
        return;
    MouseMove(shift, x, y);
}

void TControl::HandleMouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (!FEnabled)
        return;
    if (button == mbLeft && FPressedInside) {
        FPressedInside = false;
        if (ClicksOnMouseUp() && ClientRect().Contains({x, y}))
            Click();
        if (Destroying())
            return;
    }
    MouseUp(button, shift, x, y);
}

void TControl::HandleDblClick(TMouseButton button, TShiftState shift, int x, int y)
{
    if (!FEnabled)
        return;
    FPressedInside = false;
    if (button == mbLeft && (FControlStyle & csDoubleClicks))
        DblClick();
    MouseDown(button, shift << ssDouble, x, y);
}

void TControl::HandleMouseEnter()
{
    MouseEnter();
}

void TControl::HandleMouseLeave()
{
    MouseLeave();
}

void TControl::DoAccessibleAction(const CodePageString& action)
{
    if (action == AccessiblePressAction)
        Click();
}

void TControl::AccessibleChanged(TAccessibleChange what)
{
    NotifyAccessibleChange(this, what);
}

// --- TWinControl ---------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner)
{
    auto* w = new QWidget;
    AttachWidget(w);
}

TWinControl::~TWinControl()
{
    SetDestroying();
    // Destroying a window destroys the controls in it, as the class library
    // does, whoever owns them.
    while (!FControls.empty()) {
        TControl* child = FControls.back();
        delete child;  // removes itself from FControls
    }
}

TControl* TWinControl::Controls(int index) const
{
    if (index < 0 || index >= ControlCount())
        throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return FControls[size_t(index)];
}

bool TWinControl::ContainsControl(const TControl* control) const
{
    for (const TControl* c = control; c; c = c->Parent())
        if (c == this)
            return true;
    return false;
}

void TWinControl::SetClientWidget(QWidget* widget)
{
    FImpl->client = widget;
    if (widget && widget != FImpl->widget)
        AddInputWidget(widget);
}

void TWinControl::SetTabOrder(int order)
{
    FTabOrder = order;
    if (Parent())
        Parent()->ApplyTabOrder();
}

void TWinControl::ApplyTabOrder()
{
    std::vector<TWinControl*> stops;
    for (TControl* c : FControls)
        if (auto* wc = dynamic_cast<TWinControl*>(c); wc && WidgetOf(wc))
            stops.push_back(wc);
    std::stable_sort(stops.begin(), stops.end(),
                     [](const TWinControl* a, const TWinControl* b) { return a->FTabOrder < b->FTabOrder; });
    for (size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(WidgetOf(stops[i - 1]), WidgetOf(stops[i]));
}

void TWinControl::SetTabStop(bool v)
{
    FTabStop = v;
    if (QWidget* w = OwnWidget()) {
        Qt::FocusPolicy policy = w->focusPolicy();
        if (v)
            policy = Qt::FocusPolicy(policy | Qt::TabFocus | Qt::ClickFocus);
        else
            policy = Qt::FocusPolicy(policy & ~Qt::TabFocus);
        w->setFocusPolicy(policy);
    }
}

bool TWinControl::CanFocus() const
{
    for (const TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled())
            return false;
    return true;
}

void TWinControl::SetFocus()
{
    if (QWidget* w = OwnWidget()) {
        if (w->isWindow())
            w->activateWindow();
        w->setFocus(Qt::OtherFocusReason);
    }
}

bool TWinControl::Focused() const
{
    QWidget* w = OwnWidget();
    return w && w->hasFocus();
}

void TWinControl::EnableAlign()
{
    if (FAlignLock > 0 && --FAlignLock == 0 && FAlignPending)
        Realign();
}

void TWinControl::Realign()
{
    if (FAlignLock > 0 || Destroying()) {
        FAlignPending = true;
        return;
    }
    if (FAligning)
        return;
    FAlignPending = false;
    const TFlagScope aligning(FAligning);
    AlignControls();
}

void TWinControl::AlignControls()
{
    TRect rect = AdjustedClientRect();
    auto pick = [&](TAlign align) {
        std::vector<TControl*> list;
        for (TControl* c : FControls)
            if (c->Align() == align && c->Visible())
                list.push_back(c);
        std::stable_sort(list.begin(), list.end(), [align](const TControl* a, const TControl* b) {
            switch (align) {
            case alTop: return a->Top() < b->Top();
            case alBottom: return a->Top() + a->Height() > b->Top() + b->Height();
            case alLeft: return a->Left() < b->Left();
            case alRight: return a->Left() + a->Width() > b->Left() + b->Width();
            default: return false;
            }
        });
        return list;
    };
    for (TControl* c : pick(alTop)) {
        c->SetBounds(rect.Left, rect.Top, rect.Width(), c->Height());
        rect.Top += c->Height();
    }
    for (TControl* c : pick(alBottom)) {
        c->SetBounds(rect.Left, rect.Bottom - c->Height(), rect.Width(), c->Height());
        rect.Bottom -= c->Height();
    }
    for (TControl* c : pick(alLeft)) {
        c->SetBounds(rect.Left, rect.Top, c->Width(), std::max(0, rect.Height()));
        rect.Left += c->Width();
    }
    for (TControl* c : pick(alRight)) {
        c->SetBounds(rect.Right - c->Width(), rect.Top, c->Width(), std::max(0, rect.Height()));
        rect.Right -= c->Width();
    }
    for (TControl* c : pick(alClient))
        c->SetBounds(rect.Left, rect.Top, std::max(0, rect.Width()), std::max(0, rect.Height()));
}

void TWinControl::Resize()
{
    Realign();
    TControl::Resize();
}

void TWinControl::ApplyFont()
{
    TControl::ApplyFont();
}

void TWinControl::FontChanged()
{
    for (TControl* c : FControls)
        c->ParentFontChanged();
}

void TWinControl::ApplyColor()
{
    QWidget* w = OwnWidget();
    if (!w)
        return;
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, ToQColor(Color()));
    w->setPalette(pal);
}

void TWinControl::ColorChanged()
{
    for (TControl* c : FControls)
        c->ParentColorChanged();
}

void TWinControl::ApplyEnabled()
{
    TControl::ApplyEnabled();
}

bool TWinControl::HandleKeyDown(WORD& key, TShiftState shift)
{
    TWinControl* top = this;
    while (top->Parent())
        top = top->Parent();
    // Alt and a letter or digit: the control whose caption has it as its
    // accelerator takes it.
    if (shift.Contains(ssAlt) && !shift.Contains(ssCtrl) &&
        ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) && top->DialogChar(char(key))) {
        key = 0;
        return true;
    }
    if (top != this && top->KeyPreviewOn()) {
        top->KeyDown(key, shift);
        if (key == 0)
            return true;
    }
    KeyDown(key, shift);
    return key == 0;
}

bool TWinControl::HandleKeyPress(char& key)
{
    TWinControl* top = this;
    while (top->Parent())
        top = top->Parent();
    if (top != this && top->KeyPreviewOn()) {
        top->KeyPress(key);
        if (key == 0)
            return true;
    }
    KeyPress(key);
    return key == 0;
}

bool TWinControl::HandleKeyUp(WORD& key, TShiftState shift)
{
    TWinControl* top = this;
    while (top->Parent())
        top = top->Parent();
    if (top != this && top->KeyPreviewOn()) {
        top->KeyUp(key, shift);
        if (key == 0)
            return true;
    }
    KeyUp(key, shift);
    return key == 0;
}

void TWinControl::KeyDown(WORD& key, TShiftState shift)
{
    FireEvent(OnKeyDown, this, key, shift);
}

void TWinControl::KeyPress(char& key)
{
    FireEvent(OnKeyPress, this, key);
}

void TWinControl::KeyUp(WORD& key, TShiftState shift)
{
    FireEvent(OnKeyUp, this, key, shift);
}

void TWinControl::HandleFocusIn()
{
    DoEnter();
}

void TWinControl::HandleFocusOut()
{
    DoExit();
}

void TWinControl::DoEnter()
{
    FireEvent(OnEnter, this);
}

void TWinControl::DoExit()
{
    FireEvent(OnExit, this);
}

bool TWinControl::DialogChar(char key)
{
    for (TControl* c : FControls)
        if (auto* wc = dynamic_cast<TWinControl*>(c); wc && wc->Visible() && wc->Enabled() && wc->DialogChar(key))
            return true;
    return false;
}

// --- self-drawn controls ---------------------------------------------------------------------

TCanvas* TSelfPaintCanvas::Get(const TFont* font) const
{
    if (FPaint)
        return FPaint;
    if (!FMeasure) {
        FMeasure = CreateMeasureCanvas();
        FMeasure->SetFont(font);
    }
    return FMeasure.get();
}

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner)
{
    AttachWidget(CreatePaintWidget(this));
}

TGraphicControl::~TGraphicControl() = default;

TCanvas* TGraphicControl::Canvas() const
{
    return FCanvas.Get(Font());
}

void TGraphicControl::PaintTo(TCanvas* canvas)
{
    FCanvas.Paint(canvas, Font(), Color(), [this] { Paint(); });
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner)
{
    AttachWidget(CreatePaintWidget(this));
    SetControlStyle(ControlStyle() | csOpaque);
}

TCustomControl::~TCustomControl() = default;

TCanvas* TCustomControl::Canvas() const
{
    return FCanvas.Get(Font());
}

void TCustomControl::PaintTo(TCanvas* canvas)
{
    FCanvas.Paint(canvas, Font(), Color(), [this] { Paint(); });
}

TPoint GetCursorPos()
{
    const QPoint p = QCursor::pos();
    return {p.x(), p.y()};
}
