#include "support/ControlWindows.h"

#include <QAccessible>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "classlib/Menus.h"
#include "classlib/QtBridge.h"

QWidget* WindowOf(const TControl* control)
{
    return WidgetOf(control);
}

QAction* MenuActionOf(const TMenuItem* item)
{
    return ActionOf(item);
}

QAccessibleInterface* AccessibleOf(const TControl* control)
{
    QWidget* window = WidgetOf(control);
    return window ? QAccessible::queryAccessibleInterface(window) : nullptr;
}

QImage PictureOf(const TControl* control)
{
    QWidget* window = WidgetOf(control);
    return window ? window->grab().toImage() : QImage();
}
