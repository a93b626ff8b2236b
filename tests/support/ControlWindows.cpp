#include "support/ControlWindows.h"

#include <QAccessible>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "classlib/Menus.h"
#include "classlib/Controls.h"

QWidget* WindowOf(const TControl* control)
{
    return control->Widget();
}

QAction* MenuActionOf(const TMenuItem* item)
{
    return item->Action();
}

QAccessibleInterface* AccessibleOf(const TControl* control)
{
    QWidget* window = control->Widget();
    return window ? QAccessible::queryAccessibleInterface(window) : nullptr;
}

QImage PictureOf(const TControl* control)
{
    QWidget* window = control->Widget();
    return window ? window->grab().toImage() : QImage();
}
