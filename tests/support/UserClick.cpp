#include "support/UserClick.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include "classlib/Controls.h"

void ClickAt(TControl* control, int x, int y)
{
    QWidget* w = control->Widget();
    const QPointF p(x, y);
    QMouseEvent press(QEvent::MouseButtonPress, p, w->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}
