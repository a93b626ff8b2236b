// How a control's window reaches the control: input, focus, geometry and
// painting events go from the toolkit's window to the control that owns it.
#include "classlib/Controls.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <unordered_map>

#include "classlib/Accessibility.h"
#include "classlib/Menus.h"
#include "classlib/QtBridge.h"

namespace {

std::unordered_map<const QObject*, TControl*>& WidgetMap()
{
    static std::unordered_map<const QObject*, TControl*> map;
    return map;
}

TMouseButton ButtonOf(Qt::MouseButton b)
{
    switch (b) {
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: return mbLeft;
    }
}

// Routes the window's input, focus and geometry events to its control.
class TGlueFilter : public QObject {
public:
    explicit TGlueFilter(TControl* control) : FControl(control) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        TControl* c = FControl;
        if (c->Destroying())
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            Button(c, event, &TControl::HandleMouseDown);
            return false;
        case QEvent::MouseButtonRelease:
            Button(c, event, &TControl::HandleMouseUp);
            return false;
        case QEvent::MouseButtonDblClick:
            Button(c, event, &TControl::HandleDblClick);
            return false;
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint p = me->position().toPoint();
            SafeCall([&] { c->HandleMouseMove(ShiftFromQt(me->modifiers(), me->buttons()), p.x(), p.y()); });
            return false;
        }
        case QEvent::Enter:
            SafeCall([&] { c->HandleMouseEnter(); });
            return false;
        case QEvent::Leave:
            SafeCall([&] { c->HandleMouseLeave(); });
            return false;
        case QEvent::Resize:
        case QEvent::Move:
            if (watched == WidgetOf(c) && !WidgetOf(c)->isWindow()) {
                const QRect g = WidgetOf(c)->geometry();
                if (g != ToQRect(c->BoundsRect()))
                    SafeCall([&] { c->HandleWidgetResized(g.width(), g.height()); });
            }
            return false;
        case QEvent::ContextMenu:
            if (TPopupMenu* menu = c->PopupMenu(); menu && menu->AutoPopup()) {
                auto* ce = static_cast<QContextMenuEvent*>(event);
                menu->SetPopupComponent(c);
                const QPoint g = ce->globalPos();
                SafeCall([&] { menu->Popup(g.x(), g.y()); });
                return true;
            }
            return false;
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* wc = dynamic_cast<TWinControl*>(c);
            if (!wc || QApplication::focusWidget() != watched)
                return false;
            auto* ke = static_cast<QKeyEvent*>(event);
            WORD key = VirtualKeyFromQt(ke->key());
            const TShiftState shift = ShiftFromQt(ke->modifiers(), Qt::NoButton);
            bool consumed = false;
            if (event->type() == QEvent::KeyPress) {
                if (key != 0)
                    SafeCall([&] { consumed = wc->HandleKeyDown(key, shift); });
                const QString text = ke->text();
                if (!consumed && text.size() == 1) {
                    const int b = CharTo1252(text.at(0).unicode());
                    if (b > 0) {
                        char ch = char(b);
                        SafeCall([&] { consumed = wc->HandleKeyPress(ch); });
                    }
                }
            } else if (key != 0) {
                SafeCall([&] { consumed = wc->HandleKeyUp(key, shift); });
            }
            return consumed;
        }
        case QEvent::FocusIn:
            if (auto* wc = dynamic_cast<TWinControl*>(c))
                SafeCall([&] { wc->HandleFocusIn(); });
            return false;
        case QEvent::FocusOut:
            if (auto* wc = dynamic_cast<TWinControl*>(c))
                SafeCall([&] { wc->HandleFocusOut(); });
            return false;
        case QEvent::Show:
            ApplyAccessibleDescription(c);
            return false;
        default:
            return false;
        }
    }

private:
    // Passes a button press, release or double click on to handler with the
    // button, the keys and buttons held, and the point in the window.
    static void Button(TControl* c, QEvent* event, void (TControl::*handler)(TMouseButton, TShiftState, int, int))
    {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = me->position().toPoint();
        SafeCall([&] { (c->*handler)(ButtonOf(me->button()), ShiftFromQt(me->modifiers(), me->buttons()), p.x(), p.y()); });
    }

    TControl* FControl;
};

}  // namespace

void RouteInput(TControl* control, TControlImpl& impl, QWidget* widget)
{
    WidgetMap()[widget] = control;
    if (!impl.filter)
        impl.filter = new TGlueFilter(control);
    widget->installEventFilter(impl.filter);
    widget->setAttribute(Qt::WA_NoMousePropagation);
    widget->setMouseTracking(true);
}

void ForgetWidget(const QObject* widget)
{
    WidgetMap().erase(widget);
}

TControl* ControlOfWidget(const QObject* widget)
{
    auto& map = WidgetMap();
    auto it = map.find(widget);
    return it == map.end() ? nullptr : it->second;
}

// The paint surface of controls that draw themselves.
class TPaintWidget : public QWidget {
public:
    explicit TPaintWidget(TControl* control) : FControl(control) {}
    TControl* Control() const { return FControl; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TControl* FControl;
};

struct TPaintGlue {
    static void Paint(TControl* control, QPainter* painter, const QRect& rect)
    {
        TQtCanvas canvas(painter, FromQRect(rect));
        if (control->ControlStyle() & csOpaque)
            painter->fillRect(rect, ToQColor(control->Color()));
        if (auto* g = dynamic_cast<TGraphicControl*>(control))
            g->PaintTo(&canvas);
        else if (auto* cc = dynamic_cast<TCustomControl*>(control))
            cc->PaintTo(&canvas);
    }
};

void TPaintWidget::paintEvent(QPaintEvent* event)
{
    if (FControl->Destroying())
        return;
    QPainter painter(this);
    SafeCall([&] { TPaintGlue::Paint(FControl, &painter, event->rect()); });
}

QWidget* CreatePaintWidget(TControl* control)
{
    return new TPaintWidget(control);
}

bool IsPaintWidget(const QObject* object)
{
    return dynamic_cast<const TPaintWidget*>(object) != nullptr;
}
