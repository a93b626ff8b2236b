#include "support/UserClick.h"

#include <QApplication>
#include <QEnterEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QWidget>

#include "classlib/BasicControls.h"
#include "support/ControlWindows.h"

namespace {

void SendButton(TControl* control, QEvent::Type type, int x, int y)
{
    QWidget* w = WindowOf(control);
    const QPointF p(x, y);
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, p, w->mapToGlobal(p), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

}  // namespace

void ClickAt(TControl* control, int x, int y)
{
    PressAt(control, x, y);
    ReleaseAt(control, x, y);
}

void PressAt(TControl* control, int x, int y)
{
    SendButton(control, QEvent::MouseButtonPress, x, y);
}

void ReleaseAt(TControl* control, int x, int y)
{
    SendButton(control, QEvent::MouseButtonRelease, x, y);
}

void ClickLine(TCustomListBox* list, int row)
{
    static_cast<QListWidget*>(WindowOf(list))->setCurrentRow(row);
}

void PointerEnters(TControl* control, int x, int y)
{
    QWidget* w = WindowOf(control);
    const QPointF p(x, y);
    QEnterEvent event(p, p, w->mapToGlobal(p));
    QApplication::sendEvent(w, &event);
}

void PointerLeaves(TControl* control)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(WindowOf(control), &event);
}
